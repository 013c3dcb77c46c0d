// A simulated card reader behind a simulated navigator.hid, for tests and
// demos where no reader is attached. A reader is described by the same line
// as the control's simulated readers:
//
//     vendor product report-length behaviour      e.g.  155B 4612 65 echo
//
// vendor and product hexadecimal, the report length (report id included)
// decimal. Behaviours:
//
//     echo                 answers each command with the command itself
//     silent               takes commands and never answers
//     fixed HEX            answers with these bytes, e.g. fixed 9000
//     length N             answers with N bytes 00 01 02 ... (modulo 251)
//     ca V [refuse B] [wrong-length B]
//                          accepts CA download blocks of variant V, answers
//                          90 00, refuses block B with 6A 80 or answers
//                          block B with three bytes
//     count-over           answers with a first report claiming 63 bytes
//     endless              answers with a first report, then middle reports
//                          until the next command or until it is closed
//     unplug-on-command    unplugs when a command arrives
//     unopenable           is listed, but opening it fails
//     stray N B            sends N stray middle/last reports, then as B
//     unplug-after N B     sends the first N reports of B's answer, unplugs
//     delay MS B           waits MS milliseconds, then answers as B
//     B1 then B2           answers the first command as B1, later ones as B2
//
// Each opening starts the behaviour afresh; a reader that unplugs stays gone.

const PAYLOAD_OFFSET = 2;

export function patternBytes(length) {
  const bytes = new Uint8Array(length);
  for (let i = 0; i < length; i++) bytes[i] = i % 251;
  return bytes;
}

function fromHex(hex) {
  if (!/^([0-9a-fA-F]{2})*$/.test(hex)) throw new SyntaxError(`not hexadecimal bytes: ${hex}`);
  return Uint8Array.from(hex.match(/../g) ?? [], (pair) => parseInt(pair, 16));
}

/** A report of `reportLen` bytes (report id 0) with this control byte and payload. */
export function makeReport(reportLen, control, payload = new Uint8Array(0)) {
  const report = new Uint8Array(reportLen);
  report[1] = control;
  report.set(payload.subarray(0, reportLen - PAYLOAD_OFFSET), PAYLOAD_OFFSET);
  return report;
}

/** The reports of one message as the reader sends it. */
export function frameMessage(message, reportLen) {
  const payload = reportLen - PAYLOAD_OFFSET;
  if (message.length === 0) return [makeReport(reportLen, 0x00), makeReport(reportLen, 0x80)];
  const reports = [];
  for (let offset = 0; offset < message.length; offset += payload) {
    const chunk = message.subarray(offset, offset + payload);
    const first = offset === 0;
    const last = !first && offset + chunk.length === message.length;
    reports.push(makeReport(reportLen, (first ? 0x00 : last ? 0x80 : 0x40) | chunk.length, chunk));
  }
  if (reports.length === 1) reports.push(makeReport(reportLen, 0x80));
  return reports;
}

// ---- Behaviours: each makes a responder, (command, reportLen) -> reply,
// where a reply is { reports, then: "listen" | "unplug" | "endless", delayMs }.

const answer = (message, reportLen) => ({ reports: frameMessage(message, reportLen), then: "listen" });

// `problems` collects what the reader finds wrong with the blocks.
function caReader(variant, refuseBlock, wrongLengthBlock, problems) {
  let blocks = 0;
  let nextNumber = 0;
  return (command, reportLen) => {
    const index = blocks++;
    const problem = (what) => problems.push(`block ${index}: ${what}`);
    if (command.length < 7 || command[0] !== 0x18 || command[1] !== 0xc6 || command[2] !== 0x00) {
      problem("not a CA download command");
      return answer(Uint8Array.of(0x6d, 0x00), reportLen);
    }
    const lc = command[4];
    if (command.length !== lc + 6 || lc === 0 || lc > 128) problem("Lc does not match the block");
    if (command[command.length - 1] !== 0x00) problem("Le is not 00");
    if ((command[3] & 0x03) !== variant - 1) problem("P2 carries the wrong variant");
    const number = command[3] >> 2;
    if (number === 63) {
      nextNumber = 0; // the download is complete; another may follow
    } else {
      if (number !== nextNumber) problem(`block number ${number} out of order`);
      if (lc !== 128) problem("a block before the last is not full");
      nextNumber++;
    }
    if (index === wrongLengthBlock) return answer(Uint8Array.of(0x90, 0x00, 0x00), reportLen);
    if (index === refuseBlock) return answer(Uint8Array.of(0x6a, 0x80), reportLen);
    return answer(Uint8Array.of(0x90, 0x00), reportLen);
  };
}

/** Reads one behaviour from `tokens` (consumed); "then" binds loosest. */
function parseBehaviour(tokens, problems) {
  const first = parseSingle(tokens, problems);
  if (tokens[0] !== "then") return first;
  tokens.shift();
  const rest = parseBehaviour(tokens, problems);
  let commands = 0;
  return (command, reportLen) => (commands++ === 0 ? first : rest)(command, reportLen);
}

function number(tokens, what) {
  const value = Number(tokens.shift());
  if (!Number.isInteger(value) || value < 0) throw new SyntaxError(`${what} needs a whole number`);
  return value;
}

function parseSingle(tokens, problems) {
  const word = tokens.shift();
  switch (word) {
    case "echo": return (command, reportLen) => answer(command, reportLen);
    case "silent": return () => ({ reports: [], then: "listen" });
    case "fixed": {
      const bytes = fromHex(tokens.shift() ?? "");
      return (command, reportLen) => answer(bytes, reportLen);
    }
    case "length": {
      const bytes = patternBytes(number(tokens, "length"));
      return (command, reportLen) => answer(bytes, reportLen);
    }
    case "ca": {
      const variant = number(tokens, "ca");
      const options = { refuse: -1, "wrong-length": -1 };
      while (tokens[0] === "refuse" || tokens[0] === "wrong-length") {
        const option = tokens.shift();
        options[option] = number(tokens, option);
      }
      return caReader(variant, options.refuse, options["wrong-length"], problems);
    }
    case "count-over":
      return (command, reportLen) => ({
        reports: [makeReport(reportLen, 0x3f, patternBytes(63)), makeReport(reportLen, 0x80)],
        then: "listen",
      });
    case "endless":
      return (command, reportLen) => ({
        reports: [makeReport(reportLen, reportLen - PAYLOAD_OFFSET, patternBytes(reportLen - PAYLOAD_OFFSET))],
        then: "endless",
      });
    case "unplug-on-command": return () => ({ reports: [], then: "unplug" });
    case "stray": {
      const count = number(tokens, "stray");
      const inner = parseSingle(tokens, problems);
      return (command, reportLen) => {
        const reply = inner(command, reportLen);
        const stray = Array.from({ length: count }, (_, i) =>
          makeReport(reportLen, i % 2 ? 0x81 : 0x42, Uint8Array.of(0xee, 0xee)));
        return { ...reply, reports: [...stray, ...reply.reports] };
      };
    }
    case "unplug-after": {
      const count = number(tokens, "unplug-after");
      const inner = parseSingle(tokens, problems);
      return (command, reportLen) => {
        const reply = inner(command, reportLen);
        return { ...reply, reports: reply.reports.slice(0, count), then: "unplug" };
      };
    }
    case "delay": {
      const delayMs = number(tokens, "delay");
      const inner = parseSingle(tokens, problems);
      return (command, reportLen) => ({ ...inner(command, reportLen), delayMs });
    }
    default:
      throw new SyntaxError(`unknown reader behaviour: ${word ?? "(none)"}`);
  }
}

/**
 * Reads one reader line: { vendorId, productId, reportLength, behaviour,
 * unopenable }, where behaviour is the text after the report length. Null
 * for a blank or comment line. Throws a SyntaxError for a wrong line.
 */
export function parseReaderLine(line) {
  const tokens = line.replace(/#.*/, "").trim().split(/\s+/).filter(Boolean);
  if (tokens.length === 0) return null;
  const [vendor, product, length, ...behaviour] = tokens;
  const hex = (text) => {
    const value = parseInt(text.replace(/^0x/i, ""), 16);
    if (!/^(0x)?[0-9a-f]{1,4}$/i.test(text)) throw new SyntaxError(`not a 16-bit hexadecimal identifier: ${text}`);
    return value;
  };
  const reportLength = Number(length);
  if (!Number.isInteger(reportLength) || reportLength < 0 || reportLength > 65535) {
    throw new SyntaxError(`not a report length: ${length}`);
  }
  const text = behaviour.join(" ");
  const unopenable = text === "unopenable";
  if (!unopenable) makeResponder(text); // a wrong behaviour is found now, not at the first command
  return { vendorId: hex(vendor), productId: hex(product), reportLength, behaviour: text, unopenable };
}

function makeResponder(text, problems = []) {
  const tokens = text.split(/\s+/).filter(Boolean);
  const responder = parseBehaviour(tokens, problems);
  if (tokens.length) throw new SyntaxError(`unexpected "${tokens.join(" ")}" after the behaviour`);
  return responder;
}

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
