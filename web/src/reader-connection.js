// A connection to the card reader over WebHID, with the control's methods
// as Promises: the same identities, framing, bounds and results.
import { decode, decodeWhole, encode } from "./base64.js";
import { CaResult, downloadCA } from "./download-ca.js";
import { isReaderReportLength, readMessage, writeMessage } from "./framing.js";
import { HidReportLink, reportLengthOf } from "./hid-link.js";
import { defaultSharing, sharedReaderName } from "./reader-sharing.js";
import { inReaderTurn } from "./reader-turn.js";
import { toInt32, toText } from "./text.js";

/** The reader identities, in the order they are tried. */
export const READER_IDENTITIES = Object.freeze([
  Object.freeze({ vendorId: 0x155b, productId: 0x4612 }),
  Object.freeze({ vendorId: 0x6a8a, productId: 0x0801 }),
]);

/** Every command and every answer fits a buffer of this many bytes. */
export const MESSAGE_BUFFER_SIZE = 4096;
// An asynchronous call's command text is copied into a buffer of
// MESSAGE_BUFFER_SIZE characters with its terminator: longer text is not sent.
const ASYNC_TEXT_LIMIT = MESSAGE_BUFFER_SIZE - 1;
// Asynchronous calls waiting for their answer at most; a page that calls in
// a loop without waiting for the events gets "" beyond it, not unbounded memory.
export const MAX_OUTSTANDING_ASYNC_CALLS = 1024;

export const ASYNC_EVENT = "DevCallAsyncBack";

// CustomEvent where the platform has it (every browser; node from 19 on).
const DetailEvent = globalThis.CustomEvent ?? class extends Event {
  constructor(type, { detail = null, ...options } = {}) {
    super(type, options);
    this.detail = detail;
  }
};

/** The DevCallAsyncBack event carrying `backData`. */
export function asyncBackEvent(backData) {
  return new DetailEvent(ASYNC_EVENT, { detail: backData });
}

let lastHandle = 0;
function nextHandle() {
  lastHandle = (lastHandle + 1) | 0 || 1; // never 0: 0 means "no reader"
  return lastHandle;
}

export class ReaderConnection extends EventTarget {
  #device;
  #hid;
  #link;
  #closed = false;
  #unplugged = false;
  #closing = new AbortController(); // ends a wait for the reader's turn
  #sharing;
  #sharedName;
  #tail = Promise.resolve(); // the last exchange queued: one at a time, in call order
  #outstanding = 0; // asynchronous calls not yet answered
  #timeoutMs;
  #onDisconnect = (event) => {
    if (event.device !== this.#device) return;
    this.#unplugged = true;
    this.close();
  };

  /**
   * Use openReader(). `device` is open; `reportLen` a reader's report length;
   * each exchange must be done within `timeoutMs` (0: no limit), the wait
   * for the reader's turn included; `sharing` ({ locks, marks }) is where
   * the tabs of the origin take turns on the reader.
   */
  constructor(device, reportLen, hid, { timeoutMs = 0, sharing = defaultSharing() } = {}) {
    super();
    this.#timeoutMs = timeoutMs;
    this.#device = device;
    this.#hid = hid;
    this.#link = new HidReportLink(device, reportLen);
    this.#sharing = sharing;
    this.#sharedName = sharedReaderName(device);
    this.handle = nextHandle();
    hid?.addEventListener?.("disconnect", this.#onDisconnect);
  }

  get device() {
    return this.#device;
  }

  get reportLength() {
    return this.#link.reportLen;
  }

  /** True once close() was called or the reader was unplugged. */
  get closed() {
    return this.#closed;
  }

  // Runs `exchange` after every exchange queued before it; `ifClosed` is the
  // result for a connection closed before it starts and, with
  // `emptyOnClose`, for one closed by the page during it (an answer cut
  // short by closing is no answer; cut short by unplugging, what arrived is).
  #inTurn(exchange, ifClosed, emptyOnClose = true) {
    const run = this.#tail.then(async () => {
      if (this.#closed) return ifClosed;
      const result = await exchange();
      return this.#closed && emptyOnClose && !this.#unplugged ? ifClosed : result;
    });
    this.#tail = run.catch(() => {});
    return run;
  }

  // Runs `exchange(turn)` in the reader's turn among the tabs of the origin
  // (reader-turn.js), within the time limit, which starts now. Without the
  // turn, nothing is sent: `ifClosed` when the connection was closed (or the
  // reader unplugged) while waiting for it, `ifTimedOut` when it did not
  // come in time.
  async #inReaderTurn(exchange, { ifClosed, ifTimedOut }) {
    this.#link.startExchange(this.#timeoutMs);
    const turn = await inReaderTurn(
      { sharing: this.#sharing, name: this.#sharedName, link: this.#link, signal: this.#closing.signal },
      exchange,
    );
    if (turn.given) return turn.result;
    return this.#closed ? ifClosed : ifTimedOut;
  }

  #exchange(text) {
    return this.#inTurn(async () => {
      const command = decode(text, MESSAGE_BUFFER_SIZE);
      if (!command || command.length === 0) return "";
      return this.#inReaderTurn(async (turn) => {
        await turn.commandSent();
        // Reports that came before the command answer nothing sent now.
        this.#link.discardQueued();
        if (!(await writeMessage(turn.link, command))) return "";
        // Complete or not (a failed read, one not done in time), what arrived
        // is the answer; a refused one is empty.
        const answer = await readMessage(turn.link, MESSAGE_BUFFER_SIZE);
        await turn.answerRead(answer);
        return encode(answer.bytes);
      }, { ifClosed: "", ifTimedOut: "" });
    }, "");
  }

  /**
   * Sends the command (Base64) and gives the reader's answer (Base64). "" when
   * nothing could be sent (no bytes, more than 4096 bytes, a failed write, a
   * closed connection) or the answer was refused (more than 4096 bytes).
   */
  call(commandBase64) {
    return this.#exchange(toText(commandBase64));
  }

  /**
   * Starts the same exchange and returns at once; the answer comes as a
   * "DevCallAsyncBack" event (a CustomEvent whose detail is the answer),
   * in call order. Text longer than 4095 characters, and a call beyond
   * MAX_OUTSTANDING_ASYNC_CALLS unanswered ones, is answered with "" and
   * nothing is sent. The Promise returned settles with the answer once the
   * event was dispatched.
   */
  callAsync(commandBase64) {
    const text = toText(commandBase64);
    const refused = text.length > ASYNC_TEXT_LIMIT || this.#outstanding >= MAX_OUTSTANDING_ASYNC_CALLS;
    this.#outstanding++;
    const answer = refused ? this.#inTurn(async () => "", "") : this.#exchange(text);
    return answer.then((backData) => {
      this.#outstanding--;
      this.dispatchEvent(asyncBackEvent(backData));
      return backData;
    });
  }

  /**
   * Loads a CA certificate (Base64 of its DER) into the reader; gives the
   * result code: 0 loaded, 1 refused by the reader, 160 variant neither 1
   * nor 2, 177 not sent (also for text that does not decode whole, to no
   * bytes or to more than 4096), 178 no answer, 179 an unexpected answer.
   */
  async loadCA(certBase64, variant) {
    const flag = toInt32(variant);
    if (flag !== 1 && flag !== 2) return CaResult.BAD_VARIANT;
    const certificate = decodeWhole(toText(certBase64), MESSAGE_BUFFER_SIZE);
    if (!certificate || certificate.length === 0) return CaResult.SEND_FAILED;
    return this.#inTurn(() => this.#inReaderTurn((turn) => {
      let blocks = 0;
      return downloadCA(turn.link, flag, certificate, {
        beforeCommand: async () => {
          // The first block shares its time limit with the wait for the turn.
          if (blocks++ > 0) this.#link.startExchange(this.#timeoutMs);
          await turn.commandSent();
          this.#link.discardQueued();
        },
        afterAnswer: (answer) => turn.answerRead(answer),
      });
    }, { ifClosed: CaResult.SEND_FAILED, ifTimedOut: CaResult.RECEIVE_FAILED }),
    CaResult.SEND_FAILED,
    false); // a download cut short tells where: a block not sent, or not answered
  }

  /** Ends pending calls with "" and closes the device. */
  async close() {
    if (this.#closed) return;
    this.#closed = true;
    this.#closing.abort();
    this.#link.close();
    this.#hid?.removeEventListener?.("disconnect", this.#onDisconnect);
    try {
      if (this.#device.opened) await this.#device.close();
    } catch {
      // already gone: nothing left to close
    }
  }
}

function matches(device, identity) {
  return device.vendorId === identity.vendorId && device.productId === identity.productId;
}

async function connect(device, hid, timeoutMs) {
  try {
    if (!device.opened) await device.open();
  } catch {
    return null;
  }
  const reportLen = reportLengthOf(device);
  if (!isReaderReportLength(reportLen)) {
    await device.close().catch(() => {});
    return null; // a device the framing cannot speak to is no reader
  }
  return new ReaderConnection(device, reportLen, hid, { timeoutMs });
}

async function connectFirst(devices, hid, timeoutMs) {
  for (const identity of READER_IDENTITIES) {
    const device = devices.find((candidate) => matches(candidate, identity));
    const connection = device && (await connect(device, hid, timeoutMs));
    if (connection) return connection;
  }
  return null;
}

/**
 * Finds and opens the reader: among the devices this site may already use
 * (navigator.hid.getDevices()) the first identity's reader, else the
 * second's; failing both, asks the user to choose one
 * (navigator.hid.requestDevice(), which needs a user gesture such as a
 * click). Null when no reader could be opened.
 *
 * options.hid: the HID object, or a Promise of it (navigator.hid by default);
 * options.request: false to never show the browser's chooser;
 * options.exchangeTimeoutMs: how long each exchange (a call, a CA block) may
 * take; a call not answered in time gives what arrived before, a CA block
 * 177 (not sent in time) or 178 (not answered in time). 0, the default: no limit.
 */
export async function openReader({
  hid: hidOrPromise = globalThis.navigator?.hid, request = true, exchangeTimeoutMs = 0,
} = {}) {
  const hid = await hidOrPromise;
  if (!hid) return null;
  const granted = await connectFirst(await hid.getDevices(), hid, exchangeTimeoutMs);
  if (granted || !request) return granted;
  let chosen;
  try {
    chosen = await hid.requestDevice({ filters: READER_IDENTITIES.map((identity) => ({ ...identity })) });
  } catch {
    return null; // no user gesture, or the chooser could not be shown
  }
  return connectFirst(chosen, hid, exchangeTimeoutMs);
}
