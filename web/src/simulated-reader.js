// A simulated card reader behind a simulated navigator.hid, for tests and
// demos where no reader is attached. A reader is described by the same line
// as the control's simulated readers ("155B 4612 65 echo", "6A8A 0801 33 ca
// 1 refuse 3", "... delay 300 echo then ca 1"): the format and every
// behaviour are documented in tools/fakehid/veldorinsim.h. Here an endless
// answer ends at the next command or when the reader is closed.
//
// Each opening starts the behaviour afresh; a reader that unplugs stays gone.

import { frameMessage, makeReport, makeResponder, parseReaderLine, patternBytes } from "./simulated-behaviours.js";

export { frameMessage, makeReport, parseReaderLine, patternBytes };

const PAYLOAD_OFFSET = 2;

function notAllowed(message) {
  return typeof DOMException === "function" ? new DOMException(message, "NotAllowedError") : new Error(message);
}

/**
 * A simulated reader that looks to a page like a HIDDevice: vendorId,
 * productId, productName, collections, opened, open(), close(), forget(),
 * sendReport() and "inputreport" events. `received` lists the command
 * messages it took (Uint8Arrays), `problems` what its CA reader found wrong.
 */
export class SimulatedReader extends EventTarget {
  #description;
  #responder = null;
  #assembledMessage = null; // the message being received, or null between messages
  #endless = null;
  #timers = new Set();
  #gone = false;
  #onUnplug;

  constructor(description, onUnplug = () => {}) {
    super();
    this.#description = typeof description === "string" ? parseReaderLine(description) : description;
    const { vendorId, productId, reportLength } = this.#description;
    this.vendorId = vendorId;
    this.productId = productId;
    this.productName = "Simulated card reader";
    this.opened = false;
    this.received = [];
    this.problems = [];
    this.#onUnplug = onUnplug;
    // One vendor-defined collection whose reports are reportLength - 1 bytes
    // (the report id is not part of them).
    const reports = [{ reportId: 0, items: [{ reportSize: 8, reportCount: Math.max(reportLength - 1, 0) }] }];
    this.collections = reportLength > 0
      ? [{ usagePage: 0xff00, usage: 1, inputReports: reports, outputReports: reports, featureReports: [] }]
      : [];
  }

  get reportLength() {
    return this.#description.reportLength;
  }

  get gone() {
    return this.#gone;
  }

  async open() {
    if (this.#gone || this.#description.unopenable) throw notAllowed("Failed to open the device.");
    if (this.opened) return;
    this.opened = true;
    this.problems = [];
    this.#responder = makeResponder(this.#description.behaviour, this.problems);
    this.#assembledMessage = null;
  }

  async close() {
    this.opened = false;
    this.#stopAnswering();
  }

  async forget() {
    await this.close();
  }

  async sendReport(reportId, data) {
    if (!this.opened || this.#gone) throw notAllowed("Failed to write the report.");
    const bytes = data instanceof ArrayBuffer ? new Uint8Array(data)
      : new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    if (reportId !== 0 || bytes.length !== this.reportLength - 1) throw new TypeError("wrong report size");
    this.#take(bytes);
  }

  /** The reader disappears: its pending answers stop and the HID object says "disconnect". */
  unplug() {
    if (this.#gone) return;
    this.#gone = true;
    this.opened = false;
    this.#stopAnswering();
    this.#onUnplug(this);
  }

  #stopAnswering() {
    for (const timer of this.#timers) clearTimeout(timer);
    this.#timers.clear();
    this.#endless = null;
  }

  // One output report (without its id): put together the command message.
  #take(data) {
    this.#endless = null; // a new command ends an endless answer
    const control = data[0];
    const count = Math.min(control & 0x3f, data.length - 1);
    const first = (control & 0xc0) === 0;
    if (first) this.#assembledMessage = [];
    else if (!this.#assembledMessage) return; // a stray report outside any message
    this.#assembledMessage.push(...data.subarray(1, 1 + count));
    if (first || (control & 0xc0) === 0x40) return;
    const command = Uint8Array.from(this.#assembledMessage);
    this.#assembledMessage = null;
    this.received.push(command);
    this.#reply(this.#responder(command, this.reportLength));
  }

  #reply(reply) {
    const send = () => {
      for (const report of reply.reports) this.#dispatch(report);
      if (reply.then === "unplug") this.unplug();
      if (reply.then === "endless") this.#sendEndless();
    };
    if (!reply.delayMs) return send();
    const timer = setTimeout(() => {
      this.#timers.delete(timer);
      if (this.opened) send();
    }, reply.delayMs);
    this.#timers.add(timer);
  }

  // Middle reports, a batch at a time so the page keeps running, until the
  // next command, closing or unplugging (or far past any host's patience).
  #sendEndless() {
    const payload = this.reportLength - PAYLOAD_OFFSET;
    const middle = makeReport(this.reportLength, 0x40 | payload, patternBytes(payload));
    const run = { left: 200000 };
    this.#endless = run;
    const batch = () => {
      if (this.#endless !== run || !this.opened) return;
      for (let i = 0; i < 64 && run.left > 0; i++, run.left--) this.#dispatch(middle);
      if (run.left > 0) {
        const timer = setTimeout(() => {
          this.#timers.delete(timer);
          batch();
        }, 0);
        this.#timers.add(timer);
      }
    };
    batch();
  }

  #dispatch(report) {
    if (!this.opened) return;
    const event = new Event("inputreport");
    event.device = this;
    event.reportId = report[0];
    event.data = new DataView(report.buffer.slice(report.byteOffset + 1, report.byteOffset + report.length));
    this.dispatchEvent(event);
  }
}

/**
 * A simulated navigator.hid: getDevices() gives the attached readers this
 * site was granted, requestDevice() stands for the browser's chooser (it
 * grants the first attached reader that matches a filter, or none when
 * `chooser` is "cancel"), and unplugging a reader fires "disconnect".
 */
export class SimulatedHid extends EventTarget {
  readers = [];
  chooser = "first";
  requests = 0;

  /** Attaches the readers of a configuration text (one line each), granted. */
  static fromConfig(text, options) {
    const hid = new SimulatedHid();
    for (const line of text.split(/\r?\n/)) {
      if (parseReaderLine(line)) hid.attach(line, options);
    }
    return hid;
  }

  /** Attaches a reader (a line or a parsed description); granted unless told. */
  attach(description, { granted = true } = {}) {
    const reader = new SimulatedReader(description, (gone) => this.#unplugged(gone));
    reader.granted = granted;
    this.readers.push(reader);
    this.dispatchEvent(Object.assign(new Event("connect"), { device: reader }));
    return reader;
  }

  #unplugged(reader) {
    this.readers = this.readers.filter((r) => r !== reader);
    this.dispatchEvent(Object.assign(new Event("disconnect"), { device: reader }));
  }

  async getDevices() {
    return this.readers.filter((reader) => reader.granted);
  }

  async requestDevice({ filters = [] } = {}) {
    this.requests++;
    if (this.chooser === "cancel") return [];
    const wanted = (reader) => filters.some((f) =>
      (f.vendorId === undefined || f.vendorId === reader.vendorId) &&
      (f.productId === undefined || f.productId === reader.productId));
    const reader = this.readers.find(wanted);
    if (!reader) return [];
    reader.granted = true;
    return [reader];
  }

  /** Puts this object behind navigator.hid (in a browser page). */
  install(target = globalThis.navigator) {
    Object.defineProperty(target, "hid", { value: this, configurable: true });
    return this;
  }
}
