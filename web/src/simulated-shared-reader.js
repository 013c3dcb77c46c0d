// A page's end of a simulated reader that lives in a SharedWorker
// (simulated-reader-worker.js): every page of the origin that connects with
// the same key gets a handle on the same reader. Attach it to the page's
// SimulatedHid: hid.attach(await connectSharedReader(line, key)).
import { parseReaderLine } from "./simulated-behaviours.js";

const WORKER = new URL("./simulated-reader-worker.js", import.meta.url);

function failure({ name, message }) {
  return typeof DOMException === "function" ? new DOMException(message, name) : new Error(message);
}

class SharedReaderEnd {
  #port;
  #handle = null;
  #replies = new Map(); // seq -> { resolve, reject }
  #seq = 0;
  #gone = false;

  constructor(port, description) {
    this.#port = port;
    this.description = description;
    port.onmessage = ({ data }) => this.#received(data);
    port.start();
  }

  get gone() {
    return this.#gone;
  }

  async connect(line, key) {
    const { productName, gone } = await this.#ask("attach", { line, key });
    this.productName = productName;
    this.#gone = gone;
  }

  attach(handle) {
    this.#handle = handle;
  }

  open() {
    return this.#ask("open");
  }

  close() {
    return this.#ask("close");
  }

  take(handle, data) {
    return this.#ask("report", { data });
  }

  unplug() {
    this.#ask("unplug");
  }

  findings() {
    return this.#ask("findings");
  }

  #ask(op, fields = {}) {
    const seq = ++this.#seq;
    return new Promise((resolve, reject) => {
      this.#replies.set(seq, { resolve, reject });
      this.#port.postMessage({ op, seq, ...fields });
    });
  }

  #received(message) {
    if (message.op === "input") {
      this.#handle?.deliver(message.report);
    } else if (message.op === "unplugged") {
      this.#gone = true;
      this.#handle?.unplugged();
    } else if (message.op === "reply") {
      const { resolve, reject } = this.#replies.get(message.seq);
      this.#replies.delete(message.seq);
      if (message.error) reject(failure(message.error));
      else resolve(message.value);
    }
  }
}

/**
 * This page's end of the reader `key` (made from `line` by the first page
 * that asks) in the SharedWorker at `workerUrl`.
 */
export async function connectSharedReader(line, key, workerUrl = WORKER) {
  const worker = new SharedWorker(workerUrl, { type: "module", name: "veldorinctl-webhid simulated readers" });
  const end = new SharedReaderEnd(worker.port, parseReaderLine(line));
  await end.connect(line, key);
  return end;
}
