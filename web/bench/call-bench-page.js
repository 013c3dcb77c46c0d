// In the page: ReaderConnection.call with a 4096-byte command against a
// reader that answers at once with 4096 bytes, its answer reports made in
// advance, so that what is timed is the library's own work: Base64 both
// ways, framing 66 reports out and 66 in, and the copying between them;
// with `shared`, also the turn among the tabs (a Web Lock, and the mark of
// an answer owed written to IndexedDB and cleared), else a turn within the
// page only.
import { ReaderConnection } from "../src/reader-connection.js";
import { defaultSharing, RealmLocks, RealmMarks } from "../src/reader-sharing.js";
import { encode } from "../src/base64.js";
import { frameMessage, patternBytes } from "../src/simulated-reader.js";

const REPORT_LENGTH = 65;

class InstantReader extends EventTarget {
  opened = true;
  vendorId = 0x155b;
  productId = 0x4612;
  productName = "Instant reader";
  collections = [{ inputReports: [{ reportId: 0, items: [{ reportSize: 8, reportCount: REPORT_LENGTH - 1 }] }] }];
  #answer = frameMessage(patternBytes(4096), REPORT_LENGTH).map((report) => {
    const event = new Event("inputreport");
    event.reportId = 0;
    event.data = new DataView(report.buffer, 1, REPORT_LENGTH - 1);
    return event;
  });

  async sendReport(reportId, data) {
    if ((data[0] & 0x80) === 0) return; // the answer follows the command's last report
    for (const event of this.#answer) this.dispatchEvent(event);
  }

  async close() {}
}

async function measure(calls, shared) {
  const sharing = shared ? defaultSharing() : { locks: new RealmLocks(), marks: new RealmMarks() };
  const connection = new ReaderConnection(new InstantReader(), REPORT_LENGTH, null, { sharing });
  const command = encode(patternBytes(4096));
  const expected = command;
  for (let i = 0; i < 50; i++) await connection.call(command); // warm up
  const started = performance.now();
  for (let i = 0; i < calls; i++) {
    if ((await connection.call(command)) !== expected) throw new Error("wrong answer");
  }
  return (performance.now() - started) / calls;
}

window.benchmark = measure;
window.ready = true;
