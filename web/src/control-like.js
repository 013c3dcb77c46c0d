// The control's own names over the library, so that a page written for the
// control moves by adding `await`: DevOpen, DevClose, DevCall, DevCallAsync,
// LoadCA, GetX509ValidDate and GetX509Sn each return a Promise, and
// attachEvent("DevCallAsyncBack", fn) calls fn(backData). Arguments are
// taken as the control takes them (script-arguments.js): a call the control
// refuses with a script error is rejected with that error.
import { CaResult } from "./download-ca.js";
import { x509Sn, x509ValidDate } from "./x509.js";
import { ASYNC_EVENT, asyncBackEvent, openReader } from "./reader-connection.js";
import { expectArguments, scriptInt32, scriptText } from "./script-arguments.js";

class ControlLike extends EventTarget {
  #options;
  #connection = null;
  #events = Promise.resolve(); // answers are delivered in call order
  #handlers = [];

  constructor(options) {
    super();
    this.#options = options;
  }

  #open() {
    const connection = this.#connection;
    return connection && !connection.closed ? connection : null;
  }

  /** Opens the reader (closing one that was open); its handle, or 0. */
  async DevOpen() {
    expectArguments(arguments, 0, "DevOpen");
    const previous = this.#connection;
    this.#connection = null;
    await previous?.close();
    const connection = await openReader(this.#options);
    this.#connection = connection;
    return connection ? connection.handle : 0;
  }

  /** Closes the open reader when `hDev` is its handle; other values close nothing. */
  async DevClose(hDev) {
    expectArguments(arguments, 1, "DevClose");
    const handle = scriptInt32(hDev);
    const connection = this.#connection;
    if (!connection || handle !== connection.handle) return;
    this.#connection = null;
    await connection.close();
  }

  /** The reader's answer (Base64) to the command (Base64); "" without a reader. */
  async DevCall(cmd) {
    expectArguments(arguments, 1, "DevCall");
    const text = scriptText(cmd);
    const connection = this.#open();
    return connection ? connection.call(text) : "";
  }

  /**
   * Starts the exchange on the reader open now and returns; the answer
   * comes as the DevCallAsyncBack event, in call order.
   */
  async DevCallAsync(cmd) {
    expectArguments(arguments, 1, "DevCallAsync");
    const text = scriptText(cmd);
    const connection = this.#open();
    const answer = connection ? connection.callAsync(text) : Promise.resolve("");
    this.#events = this.#events.then(() => answer).then((backData) => this.#fire(backData));
  }

  /** The CA download's result code (see ReaderConnection.loadCA); 177 without a reader. */
  async LoadCA(nFlag, b64CAData) {
    expectArguments(arguments, 2, "LoadCA");
    const flag = scriptInt32(nFlag);
    const text = scriptText(b64CAData);
    if (flag !== 1 && flag !== 2) return CaResult.BAD_VARIANT;
    const connection = this.#open();
    return connection ? connection.loadCA(text, flag) : CaResult.SEND_FAILED;
  }

  async GetX509ValidDate(b64CAData) {
    expectArguments(arguments, 1, "GetX509ValidDate");
    return x509ValidDate(scriptText(b64CAData));
  }

  async GetX509Sn(b64CAData) {
    expectArguments(arguments, 1, "GetX509Sn");
    return x509Sn(scriptText(b64CAData));
  }

  /** IE's way of handling a control's event; only DevCallAsyncBack exists. */
  attachEvent(name, handler) {
    if (name !== ASYNC_EVENT || typeof handler !== "function") return false;
    this.#handlers.push(handler);
    return true;
  }

  detachEvent(name, handler) {
    const at = name === ASYNC_EVENT ? this.#handlers.indexOf(handler) : -1;
    if (at >= 0) this.#handlers.splice(at, 1);
  }

  #fire(backData) {
    this.dispatchEvent(asyncBackEvent(backData));
    // A handler that fails does not keep the others from the event.
    for (const handler of [...this.#handlers]) {
      try {
        handler(backData);
      } catch (error) {
        globalThis.reportError?.(error);
      }
    }
  }
}

/** An object with the control's methods and event, over WebHID. */
export function createControlLike(options = {}) {
  return new ControlLike(options);
}

// The control itself, where the page runs in IE mode: its methods exist
// (IE reports them as "unknown" to typeof). DevCall is read, not DevOpen:
// the control runs a method that takes no argument when it is read.
function isActiveXControl(element) {
  const kind = typeof element?.DevCall;
  return kind === "unknown" || kind === "function";
}

const METHODS = ["DevOpen", "DevClose", "DevCall", "DevCallAsync", "LoadCA", "GetX509ValidDate", "GetX509Sn"];

// The control's synchronous methods as Promises, so that one script serves both.
function promisedControl(control) {
  const wrapped = {
    attachEvent: (name, handler) => control.attachEvent(name, handler),
    detachEvent: (name, handler) => control.detachEvent(name, handler),
  };
  for (const name of METHODS) {
    wrapped[name] = (...args) => new Promise((resolve) => resolve(control[name](...args)));
  }
  return wrapped;
}

/**
 * The ActiveX control `element` where the page runs in IE mode (its
 * methods then return Promises too), and the library everywhere else.
 */
export function pickControl(element, options = {}) {
  return isActiveXControl(element) ? promisedControl(element) : createControlLike(options);
}
