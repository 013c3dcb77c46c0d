// One connection's turn on a reader that other tabs of the origin may use
// too: what keeps every answer with its command. The control keeps the same
// rule between pages and processes.
//
// - Every exchange (a command and its answer, or a CA download's whole
//   sequence of blocks) runs while the connection holds the reader's lock.
// - Write-ahead: before the first report of a command is sent, the holder
//   marks that the reader owes an answer, since when; it clears the mark
//   once the answer's last report was read. An exchange that ended
//   otherwise (its time limit, DevClose or DevOpen during it, an unplugged
//   reader, a tab closed or crashed while holding the lock, which the
//   browser then releases) leaves the mark for the next holder, in this tab
//   or another. A holder that gives an answer up restamps the mark with the
//   moment it did. A command that never reached the reader whole is owed
//   nothing: its mark is cleared.
// - A holder that finds the mark set drains before it sends: it drops the
//   reports that arrived before the owed command was sent (answers to
//   earlier commands), reads on up to a report that ends a message, drops
//   those too, clears the mark, and sends its own command once the reports
//   still queued are dropped.
// - The drain is bounded by the call's own time limit (the turn is then not
//   given, nothing is sent, and the mark stays) and by LATE_ANSWER_GRACE_MS
//   after the mark's moment: then the owed answer is taken to be lost, the
//   mark is cleared and the turn is given.
//
// Its limits: an answer later than the grace still shifts one answer onto a
// later command. A tab that opened the reader after the owed answer had
// arrived holds no copy of it, and waits for the grace. Two readers of one
// model share a lock and a mark (reader-sharing.js).
import { LAST_REPORT, skipToEndOfMessage } from "./framing.js";
import { sharedNow } from "./reader-sharing.js";

/** How long an answer nobody waits for may still come before it is taken to be lost. */
export const LATE_ANSWER_GRACE_MS = 10000;

function graceOver(mark) {
  const elapsed = sharedNow() - mark.since;
  return elapsed < 0 || elapsed >= LATE_ANSWER_GRACE_MS; // a clock set back: its moment is unknown
}

const toLocal = (sharedTime) => sharedTime - performance.timeOrigin;

/** The holder's side of the rule, handed to the exchange. */
class ReaderTurn {
  #marks;
  #name;
  #link;
  #mark = null; // set by this turn and not cleared yet
  #commandWhole = false; // the last report of the command was handed to the reader

  constructor(marks, name, link) {
    this.#marks = marks;
    this.#name = name;
    this.#link = link;
    // The framing writes through this, so that the turn knows whether the
    // command reached the reader whole.
    this.link = {
      reportLen: link.reportLen,
      readReport: () => link.readReport(),
      writeReport: (report) => {
        if (report[0] & LAST_REPORT) this.#commandWhole = true;
        return link.writeReport(report);
      },
    };
  }

  // True when the turn may send: nothing is owed (any more). The mark of
  // this turn's first command is written in the same step (write-ahead).
  async settle() {
    const mine = this.#fresh();
    const mark = await this.#marks.claim(this.#name, mine);
    if (!mark) {
      this.#mark = mine;
      return true;
    }
    if (!graceOver(mark)) {
      const link = this.#link;
      const deadline = link.deadline;
      link.dropArrivedBefore(toLocal(mark.sentAt));
      link.deadline = Math.min(deadline, toLocal(mark.since + LATE_ANSWER_GRACE_MS));
      const drained = await skipToEndOfMessage(link);
      link.deadline = deadline;
      if (!drained && !graceOver(mark)) return false; // closed, or out of time: the mark stays
    }
    this.#mark = this.#fresh();
    await this.#marks.write(this.#name, this.#mark);
    return true;
  }

  #fresh() {
    const now = sharedNow();
    return { sentAt: now, since: now };
  }

  /** Before the first report of a command. */
  async commandSent() {
    this.#commandWhole = false;
    if (this.#mark) return; // written when the turn was given, nothing sent since
    this.#mark = this.#fresh();
    await this.#marks.write(this.#name, this.#mark);
  }

  /** After an answer was read, with what readMessage gave. */
  async answerRead({ ended }) {
    if (!ended || !this.#mark) return;
    this.#mark = null;
    await this.#marks.write(this.#name, null);
  }

  // The answer still owed is given up now; a command cut short owes none.
  async end() {
    if (!this.#mark) return;
    await this.#marks.write(this.#name, this.#commandWhole ? { ...this.#mark, since: sharedNow() } : null);
  }
}

// Aborted when `signal` is, or at `deadline` (performance.now() time).
function waitSignal(signal, deadline) {
  const controller = new AbortController();
  const abort = () => controller.abort();
  signal.addEventListener("abort", abort, { once: true });
  if (signal.aborted) abort();
  const timer = deadline === Infinity ? undefined : setTimeout(abort, Math.max(0, deadline - performance.now()));
  const stop = () => {
    clearTimeout(timer);
    signal.removeEventListener("abort", abort);
  };
  return { signal: controller.signal, stop };
}

/**
 * Runs `exchange(turn)` in this connection's turn on the reader `name`:
 * with its lock held (`sharing.locks`) and no answer owed (`sharing.marks`).
 * The wait for the lock and the drain end at `link.deadline` or when
 * `signal` aborts. Gives { given: true, result } or { given: false }.
 */
export async function inReaderTurn({ sharing, name, link, signal }, exchange) {
  const wait = waitSignal(signal, link.deadline);
  try {
    return await sharing.locks.request(name, { signal: wait.signal }, async () => {
      wait.stop();
      const turn = new ReaderTurn(sharing.marks, name, link);
      if (!(await turn.settle())) return { given: false };
      try {
        return { given: true, result: await exchange(turn) };
      } finally {
        await turn.end();
      }
    });
  } catch (error) {
    if (wait.signal.aborted && error?.name === "AbortError") return { given: false };
    throw error;
  } finally {
    wait.stop();
  }
}
