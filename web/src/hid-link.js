// One opened WebHID device as a report link for the framing: every output
// report is sent with report id 0, and input reports wait in a queue (as the
// HID driver keeps them) until the framing reads them.

// The HID driver queues this many input reports; older ones are dropped.
const QUEUED_REPORTS = 512;

/**
 * The report length of a device, report id included, as the platform gives
 * it: one byte for the id and the bytes of its longest input report. 0 when
 * the device has no input report.
 */
export function reportLengthOf(device) {
  let longest = 0;
  for (const collection of device.collections ?? []) {
    for (const report of collection.inputReports ?? []) {
      const bits = (report.items ?? []).reduce((sum, item) => sum + item.reportSize * item.reportCount, 0);
      longest = Math.max(longest, Math.ceil(bits / 8));
    }
    if (longest) break; // the reader's interface is its first collection
  }
  return longest ? longest + 1 : 0;
}

export class HidReportLink {
  #device;
  #queue = []; // { report, at }: at, performance.now() when it arrived
  #waiter = null;
  #closed = false;
  #deadline = Infinity; // performance.now() by which the current exchange must be done
  #onInput = (event) => this.#received(event);

  constructor(device, reportLen) {
    this.#device = device;
    this.reportLen = reportLen;
    device.addEventListener("inputreport", this.#onInput);
  }

  get closed() {
    return this.#closed;
  }

  #received(event) {
    const data = event.data;
    // A report of another length cannot be framed: reading it fails, as a
    // read of the wrong size does on the platform.
    const report = data && data.byteLength === this.reportLen - 1
      ? new Uint8Array(data.buffer, data.byteOffset, data.byteLength)
      : null;
    if (this.#waiter) {
      const resolve = this.#waiter;
      this.#waiter = null;
      resolve(report);
      return;
    }
    if (this.#queue.length === QUEUED_REPORTS) this.#queue.shift();
    this.#queue.push({ report, at: performance.now() });
  }

  /** Starts an exchange that must be done within `timeoutMs` (0: no limit). */
  startExchange(timeoutMs) {
    this.#deadline = timeoutMs > 0 ? performance.now() + timeoutMs : Infinity;
  }

  /** performance.now() by which reads and writes must be done (Infinity: no limit). */
  get deadline() {
    return this.#deadline;
  }

  set deadline(time) {
    this.#deadline = time;
  }

  // A Promise of `fallback` once the deadline has passed, and how to stop
  // waiting for it.
  #deadlinePassed(fallback) {
    let timer;
    const passed = new Promise((resolve) => {
      timer = setTimeout(() => resolve(fallback), Math.max(0, this.#deadline - performance.now()));
    });
    return { passed, stop: () => clearTimeout(timer) };
  }

  /** Drops input reports that arrived before a command: they answer nothing sent now. */
  discardQueued() {
    this.#queue.length = 0;
  }

  /** Drops the queued input reports that arrived before `time` (performance.now()). */
  dropArrivedBefore(time) {
    const kept = this.#queue.findIndex((entry) => entry.at >= time);
    this.#queue.splice(0, kept < 0 ? this.#queue.length : kept);
  }

  /** Sends one report (without its id) as report 0. */
  async writeReport(report) {
    if (this.#closed || performance.now() >= this.#deadline) return false;
    const sent = this.#device.sendReport(0, report).then(() => true, () => false);
    if (this.#deadline === Infinity) return sent;
    const deadline = this.#deadlinePassed(false);
    const result = await Promise.race([sent, deadline.passed]);
    deadline.stop();
    return result;
  }

  /**
   * The next input report without its id (null once the link is closed): at
   * once when one is waiting, else a Promise of it.
   */
  readReport() {
    if (this.#queue.length) return this.#queue.shift().report;
    if (this.#closed || performance.now() >= this.#deadline) return Promise.resolve(null);
    const report = new Promise((resolve) => {
      this.#waiter = resolve;
    });
    if (this.#deadline === Infinity) return report;
    const deadline = this.#deadlinePassed(null);
    return Promise.race([report, deadline.passed]).then((result) => {
      deadline.stop();
      if (result === null && this.#waiter) this.#waiter = null; // not taken: the next read waits afresh
      return result;
    });
  }

  /**
   * Ends a pending read with null; later writes fail at once, and later
   * reads once the reports that had arrived are read (an unplugged reader's
   * answer is what arrived).
   */
  close() {
    if (this.#closed) return;
    this.#closed = true;
    this.#device.removeEventListener("inputreport", this.#onInput);
    if (this.#waiter) {
      const resolve = this.#waiter;
      this.#waiter = null;
      resolve(null);
    }
  }
}
