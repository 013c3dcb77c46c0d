// A simulated card reader behind a simulated navigator.hid, for tests and
// demos where no reader is attached. A reader is described by the same line
// as the control's simulated readers ("155B 4612 65 echo", "6A8A 0801 33 ca
// 1 refuse 3", "... delay 300 echo then ca 1"): the format and every
// behaviour are documented in tools/fakehid/veldorinsim.h. Here an endless
// answer ends at the next command or when the reader is closed.
//
// One reader (SimulatedReaderCore) may be open through several handles
// (SimulatedReader, the HIDDevice a page sees), as a real one may be open in
// several pages: every input report goes to every open handle, and the
// output reports of all handles feed the one reader. A message whose
// reports came through two handles is recorded as a violation.
//
// The behaviour starts afresh when the first handle opens the reader; a
// reader that unplugs stays gone.

import { frameMessage, makeReport, makeResponder, parseReaderLine, patternBytes } from "./simulated-behaviours.js";

export { frameMessage, makeReport, parseReaderLine, patternBytes };
export { connectSharedReader } from "./simulated-shared-reader.js";

const PAYLOAD_OFFSET = 2;
const FIRST = 0x00;
const MIDDLE = 0x40;
const LAST = 0x80;
const POSITION = 0xc0;

function notAllowed(message) {
  return typeof DOMException === "function" ? new DOMException(message, "NotAllowedError") : new Error(message);
}

let readersMade = 0;

/**
 * The reader itself: takes the output reports of every handle, answers by
 * its behaviour, and sends each input report to every open handle.
 * `received` lists the command messages it took (Uint8Arrays), `problems`
 * what its CA reader found wrong, `violations` the messages that mixed the
 * reports of two handles. `name` tells readers apart (a product name of its
 * own, so that two simulated readers never look like two of one model).
 */
export class SimulatedReaderCore {
  #description;
  #responder = null;
  #assembling = null; // { from, bytes } while a message is being received
  #endless = null;
  #timers = new Set();
  #gone = false;
  #open = new Set(); // handles that have the reader open
  #handles = new Set();
  received = [];
  problems = [];
  violations = [];

  constructor(description, name = `Simulated card reader ${++readersMade}`) {
    this.#description = typeof description === "string" ? parseReaderLine(description) : description;
    this.productName = name;
  }

  get description() {
    return this.#description;
  }

  get gone() {
    return this.#gone;
  }

  /** A handle that may open the reader; told of input reports and of unplugging. */
  attach(handle) {
    this.#handles.add(handle);
  }

  open(handle) {
    if (this.#gone || this.#description.unopenable) throw notAllowed("Failed to open the device.");
    if (this.#open.size === 0) {
      this.problems = [];
      this.#responder = makeResponder(this.#description.behaviour, this.problems);
      this.#assembling = null;
    }
    this.#open.add(handle);
  }

  close(handle) {
    this.#open.delete(handle);
    if (this.#open.size === 0) this.#stopAnswering();
  }

  /** One output report (without its id) from `handle`. */
  take(handle, data) {
    this.#endless = null; // a new command ends an endless answer
    const control = data[0];
    const count = Math.min(control & 0x3f, data.length - 1);
    const position = control & POSITION;
    if (position === FIRST) {
      if (this.#assembling && this.#assembling.from !== handle) this.#violation("a message was cut off by another handle's");
      this.#assembling = { from: handle, bytes: [] };
    } else if (!this.#assembling) {
      return; // a stray report outside any message
    } else if (this.#assembling.from !== handle) {
      this.#violation("a message took reports from two handles");
      this.#assembling.from = handle;
    }
    this.#assembling.bytes.push(...data.subarray(1, 1 + count));
    if (position !== LAST) return;
    const command = Uint8Array.from(this.#assembling.bytes);
    this.#assembling = null;
    this.received.push(command);
    this.#reply(this.#responder(command, this.#description.reportLength));
  }

  /** What the reader recorded so far: { received, problems, violations }. */
  findings() {
    return { received: [...this.received], problems: [...this.problems], violations: [...this.violations] };
  }

  /** The reader disappears: its pending answers stop and every handle is told. */
  unplug() {
    if (this.#gone) return;
    this.#gone = true;
    this.#open.clear();
    this.#stopAnswering();
    for (const handle of this.#handles) handle.unplugged();
  }

  #violation(what) {
    this.violations.push(`message ${this.received.length + 1}: ${what}`);
  }

  #stopAnswering() {
    for (const timer of this.#timers) clearTimeout(timer);
    this.#timers.clear();
    this.#endless = null;
  }

  #later(delayMs, run) {
    const timer = setTimeout(() => {
      this.#timers.delete(timer);
      if (this.#open.size) run();
    }, delayMs);
    this.#timers.add(timer);
  }

  #reply(reply) {
    const send = () => {
      for (const report of reply.reports) this.#dispatch(report);
      if (reply.then === "unplug") this.unplug();
      if (reply.then === "endless") this.#sendEndless();
    };
    if (reply.delayMs) this.#later(reply.delayMs, send);
    else send();
  }

  // Middle reports, a batch at a time so the page keeps running, until the
  // next command, closing or unplugging (or far past any host's patience).
  #sendEndless() {
    const reportLength = this.#description.reportLength;
    const payload = reportLength - PAYLOAD_OFFSET;
    const middle = makeReport(reportLength, MIDDLE | payload, patternBytes(payload));
    const run = { left: 200000 };
    this.#endless = run;
    const batch = () => {
      if (this.#endless !== run) return;
      for (let i = 0; i < 64 && run.left > 0; i++, run.left--) this.#dispatch(middle);
      if (run.left > 0) this.#later(0, batch);
    };
    batch();
  }

  #dispatch(report) {
    for (const handle of [...this.#open]) handle.deliver(report);
  }
}

/**
 * A handle on a simulated reader that looks to a page like a HIDDevice:
 * vendorId, productId, productName, collections, opened, open(), close(),
 * forget(), sendReport() and "inputreport" events. Made from a reader line
 * (a reader of its own) or from a reader that other handles share.
 * `received`, `problems` and `violations` are the reader's.
 */
export class SimulatedReader extends EventTarget {
  #core;
  #onUnplug;

  constructor(lineOrCore, onUnplug = () => {}) {
    super();
    this.#core = typeof lineOrCore?.attach === "function" ? lineOrCore : new SimulatedReaderCore(lineOrCore);
    const { vendorId, productId, reportLength } = this.#core.description;
    this.vendorId = vendorId;
    this.productId = productId;
    this.productName = this.#core.productName;
    this.opened = false;
    this.#onUnplug = onUnplug;
    // One vendor-defined collection whose reports are reportLength - 1 bytes
    // (the report id is not part of them).
    const reports = [{ reportId: 0, items: [{ reportSize: 8, reportCount: Math.max(reportLength - 1, 0) }] }];
    this.collections = reportLength > 0
      ? [{ usagePage: 0xff00, usage: 1, inputReports: reports, outputReports: reports, featureReports: [] }]
      : [];
    this.#core.attach(this);
  }

  /** The reader behind this handle. */
  get core() {
    return this.#core;
  }

  get reportLength() {
    return this.#core.description.reportLength;
  }

  get gone() {
    return this.#core.gone;
  }

  get received() {
    return this.#core.received;
  }

  get problems() {
    return this.#core.problems;
  }

  get violations() {
    return this.#core.violations;
  }

  /** What the reader recorded: { received, problems, violations }. */
  async findings() {
    return this.#core.findings();
  }

  async open() {
    if (this.opened && !this.gone) return;
    await this.#core.open(this);
    this.opened = true;
  }

  async close() {
    this.opened = false;
    await this.#core.close(this);
  }

  async forget() {
    await this.close();
  }

  async sendReport(reportId, data) {
    if (!this.opened || this.gone) throw notAllowed("Failed to write the report.");
    const bytes = data instanceof ArrayBuffer ? new Uint8Array(data)
      : new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    if (reportId !== 0 || bytes.length !== this.reportLength - 1) throw new TypeError("wrong report size");
    await this.#core.take(this, bytes.slice());
  }

  /** The reader disappears, for every handle on it. */
  unplug() {
    this.#core.unplug();
  }

  /** From the reader: an input report (with its id) for this handle. */
  deliver(report) {
    if (!this.opened) return;
    const event = new Event("inputreport");
    event.device = this;
    event.reportId = report[0];
    event.data = new DataView(report.buffer.slice(report.byteOffset + 1, report.byteOffset + report.length));
    this.dispatchEvent(event);
  }

  /** From the reader: it is gone. */
  unplugged() {
    this.opened = false;
    this.#onUnplug(this);
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

  /**
   * Attaches a reader: a line or a parsed description (a reader of its
   * own), or a reader that other SimulatedHids (other pages) attach too (a
   * SimulatedReaderCore, or the page's end of a shared one). Granted unless
   * told.
   */
  attach(reader, { granted = true } = {}) {
    const handle = new SimulatedReader(reader, (gone) => this.#unplugged(gone));
    handle.granted = granted;
    this.readers.push(handle);
    this.dispatchEvent(Object.assign(new Event("connect"), { device: handle }));
    return handle;
  }

  #unplugged(reader) {
    if (!this.readers.includes(reader)) return;
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
