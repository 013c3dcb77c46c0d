// What every tab of one origin that uses a reader shares: a lock per reader
// (the Web Locks API) and, beside it, the reader's mark of an answer still
// owed, kept where every tab of the origin reads it (IndexedDB). Where the
// browser offers neither (node, an old browser, storage refused), both live
// in this realm only: the rule then holds between the connections of one
// page.
//
// A tab reads and writes a reader's mark only while it holds the reader's
// lock, so the mark needs no locking of its own. IndexedDB, not
// localStorage: a change to localStorage reaches another tab's process some
// time after it was made, and the next holder of the lock might read the
// mark as it was before; an IndexedDB transaction that has completed is seen
// by every transaction begun after it.

/** Milliseconds on a clock that every tab of the browser reads alike. */
export function sharedNow() {
  return performance.timeOrigin + performance.now();
}

/**
 * The name of a reader's lock and mark. WebHID tells a tab a device's
 * vendor id, product id and product name, and nothing that tells two
 * readers of one model apart (no serial number, no path): such readers share
 * one lock and one mark.
 */
export function sharedReaderName(device) {
  const hex = (value) => value.toString(16).padStart(4, "0");
  return `veldorinctl-webhid reader ${hex(device.vendorId)}:${hex(device.productId)} ${device.productName ?? ""}`;
}

function abortError(signal) {
  return signal.reason ?? new DOMException("The wait for the reader was ended.", "AbortError");
}

/** navigator.locks' request(name, { signal }, callback), among the connections of this realm. */
export class RealmLocks {
  #queues = new Map(); // name -> waiting requests; the first one holds the lock

  request(name, { signal } = {}, callback) {
    return new Promise((resolve, reject) => {
      if (signal?.aborted) return reject(abortError(signal));
      const queue = this.#queues.get(name) ?? [];
      this.#queues.set(name, queue);
      const onAbort = () => {
        queue.splice(queue.indexOf(request), 1);
        reject(abortError(signal));
      };
      const request = () => {
        signal?.removeEventListener("abort", onAbort);
        Promise.resolve()
          .then(() => callback({ name, mode: "exclusive" }))
          .then(resolve, reject)
          .finally(() => this.#release(name));
      };
      signal?.addEventListener("abort", onAbort, { once: true });
      queue.push(request);
      if (queue.length === 1) request();
    });
  }

  #release(name) {
    const queue = this.#queues.get(name);
    queue.shift();
    if (queue.length) queue[0]();
    else this.#queues.delete(name);
  }
}

/**
 * Marks kept in this realm: { read(name), write(name, mark | null),
 * claim(name, mark) }. claim writes `mark` when none is there and gives
 * null, else gives the mark that is there, in one step.
 */
export class RealmMarks {
  #marks = new Map();

  async read(name) {
    return this.#marks.get(name) ?? null;
  }

  async claim(name, mark) {
    const there = this.#marks.get(name) ?? null;
    if (!there) this.#marks.set(name, { ...mark });
    return there;
  }

  async write(name, mark) {
    if (mark) this.#marks.set(name, { ...mark });
    else this.#marks.delete(name);
  }
}

const DATABASE = "veldorinctl-webhid";
const STORE = "owed-answers";

function completed(request) {
  return new Promise((resolve, reject) => {
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}

/** Marks every tab of the origin reads alike. */
export class IndexedDbMarks {
  #database;

  constructor(database) {
    this.#database = database;
  }

  static async open(indexedDB) {
    const opening = indexedDB.open(DATABASE, 1);
    opening.onupgradeneeded = () => opening.result.createObjectStore(STORE);
    return new IndexedDbMarks(await completed(opening));
  }

  async read(name) {
    const store = this.#database.transaction(STORE, "readonly").objectStore(STORE);
    return (await completed(store.get(name))) ?? null;
  }

  async write(name, mark) {
    await this.#change((store) => (mark ? store.put({ ...mark }, name) : store.delete(name)));
  }

  async claim(name, mark) {
    let there = null;
    await this.#change((store) => {
      store.get(name).onsuccess = (event) => {
        there = event.target.result ?? null;
        if (!there) store.put({ ...mark }, name);
      };
    });
    return there;
  }

  // Done once the transaction has completed: then every tab sees it. A mark
  // need not outlive the computer: it is not flushed to disk first.
  #change(work) {
    return new Promise((resolve, reject) => {
      const transaction = this.#database.transaction(STORE, "readwrite", { durability: "relaxed" });
      work(transaction.objectStore(STORE));
      transaction.oncomplete = () => resolve();
      transaction.onerror = () => reject(transaction.error);
      transaction.onabort = () => reject(transaction.error);
    });
  }
}

// Marks that fall back to this realm's from the first failure of `shared`
// (a Promise of marks) on: a mark that cannot be kept for every tab is
// still kept for this one.
class MarksWithFallback {
  #shared;
  #realm = new RealmMarks();

  constructor(shared) {
    this.#shared = shared;
  }

  async read(name) {
    return this.#use((marks) => marks.read(name));
  }

  async write(name, mark) {
    return this.#use((marks) => marks.write(name, mark));
  }

  async claim(name, mark) {
    return this.#use((marks) => marks.claim(name, mark));
  }

  async #use(operation) {
    if (this.#shared) {
      try {
        return await operation(await this.#shared);
      } catch {
        this.#shared = null;
      }
    }
    return operation(this.#realm);
  }
}

/** Marks kept by `shared` (a Promise of marks), or in this realm once that fails. */
export function marksWithFallback(shared) {
  return new MarksWithFallback(shared);
}

let realmSharing = null;

/**
 * The sharing of this realm: { locks, marks }, the browser's where it has
 * them (navigator.locks, indexedDB), else this realm's own.
 */
export function defaultSharing() {
  if (realmSharing) return realmSharing;
  const locks = globalThis.navigator?.locks ?? new RealmLocks();
  let idb = null;
  try {
    idb = globalThis.indexedDB ? IndexedDbMarks.open(globalThis.indexedDB) : null;
    idb?.catch(() => {}); // seen, and given up, at the first use
  } catch {
    idb = null; // storage refused to this page
  }
  realmSharing = { locks, marks: marksWithFallback(idb) };
  return realmSharing;
}
