// A SharedWorker that holds simulated readers for every page of the origin
// that connects to it (simulated-shared-reader.js), so that the pages share
// one reader as they would share a real one: each page is a handle on it.
import { SimulatedReaderCore } from "./simulated-reader.js";

const readers = new Map(); // key -> SimulatedReaderCore

function serve(port) {
  let reader = null;
  // The page's handle, as the reader sees it.
  const handle = {
    deliver: (report) => port.postMessage({ op: "input", report }),
    unplugged: () => port.postMessage({ op: "unplugged" }),
  };
  const operations = {
    attach({ line, key }) {
      reader = readers.get(key) ?? new SimulatedReaderCore(line, `Simulated card reader ${key}`);
      readers.set(key, reader);
      reader.attach(handle);
      return { productName: reader.productName, gone: reader.gone };
    },
    open: () => reader.open(handle),
    close: () => reader.close(handle),
    report: ({ data }) => reader.take(handle, data),
    unplug: () => reader.unplug(),
    findings: () => reader.findings(),
  };
  port.onmessage = ({ data: message }) => {
    const reply = (answer) => port.postMessage({ op: "reply", seq: message.seq, ...answer });
    try {
      reply({ value: operations[message.op](message) });
    } catch (error) {
      reply({ error: { name: error.name, message: error.message } });
    }
  };
}

globalThis.onconnect = (event) => serve(event.ports[0]);
