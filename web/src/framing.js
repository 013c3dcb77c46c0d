// Messages of any length as sequences of fixed-size reports, exactly as the
// control frames them.
//
// A report is `reportLen` bytes: byte 0 the report id (0 on output), byte 1
// the control byte, then the payload. Control byte bits 0-5: payload count;
// bit 6: middle report; bit 7: last report; neither: first report. A message
// is one first report, any middle reports and one last report; a message
// that fits one report is followed by an empty last report.
//
// The link the framing works on moves one whole report per call, given and
// taken without the report id, as WebHID moves reports (output reports go
// with id 0; the id of input reports is not looked at):
//   link.reportLen            the report length, report id included
//   link.writeReport(bytes)   -> Promise<boolean>; `bytes` (reportLen - 1) may
//                                be reused once the Promise has settled
//   link.readReport()         -> Uint8Array (reportLen - 1 bytes) | null, or a
//                                Promise of one (null: the read failed); a link
//                                may give a report that is waiting at once

export const MIDDLE_REPORT = 0x40;
export const LAST_REPORT = 0x80;
export const COUNT_MASK = 0x3f;

// Report lengths the framing can carry: at least one payload byte, and a
// count that fits the control byte's six bits.
export const MIN_REPORT_LENGTH = 3;
export const MAX_REPORT_LENGTH = 65;

// The longest answer followed to its end before a reader that never
// finishes a message is given up on (stray reports count too).
export const MAX_MESSAGE_BYTES = 64 * 1024;

const PAYLOAD_OFFSET = 2;
// Offsets within a report without its id.
const CONTROL = 0;
const PAYLOAD = 1;

export function isReaderReportLength(length) {
  return Number.isInteger(length) && length >= MIN_REPORT_LENGTH && length <= MAX_REPORT_LENGTH;
}

/**
 * Sends `message` (a Uint8Array) as one message. False for an empty message
 * (nothing is sent) and at the first report that cannot be written.
 */
export async function writeMessage(link, message) {
  const length = message.length;
  if (length === 0) return false;
  const payload = link.reportLen - PAYLOAD_OFFSET;
  // One output area for every report, as the report is copied when sent.
  const report = new Uint8Array(link.reportLen - 1);
  const send = (control, offset, size) => {
    report[CONTROL] = control;
    report.set(message.subarray(offset, offset + size), PAYLOAD);
    report.fill(0, PAYLOAD + size); // stale bytes of the last report are not the reader's business
    return link.writeReport(report);
  };
  if (length <= payload) return (await send(length, 0, length)) && send(LAST_REPORT, 0, 0);
  let offset = 0;
  let position = 0; // the first report carries no position bit
  while (length - offset > payload) {
    if (!(await send(position | payload, offset, payload))) return false;
    offset += payload;
    position = MIDDLE_REPORT;
  }
  return send(LAST_REPORT | (length - offset), offset, length - offset);
}

const isStartOfMessage = (control) => (control & (MIDDLE_REPORT | LAST_REPORT)) === 0;
const isMiddle = (control) => (control & (MIDDLE_REPORT | LAST_REPORT)) === MIDDLE_REPORT;

/**
 * Waits for one message of at most `capacity` bytes. Reports that cannot
 * start a message (middle or last) are skipped.
 *
 * Returns { complete, ended, bytes }: complete once the message's last
 * report has arrived and the message was taken; ended once its last report
 * was read, taken or refused (the reader owes nothing more); when a read
 * fails, bytes holds what was collected so far. An
 * answer that does not fit `capacity`, or a report claiming more payload
 * than a report holds, is read on to its last report (so the next exchange
 * starts in step with the reader) and refused: not complete, no bytes. A
 * reader that never ends a message is given up on after MAX_MESSAGE_BYTES
 * worth of reports, also without bytes.
 */
export async function readMessage(link, capacity) {
  const payload = link.reportLen - PAYLOAD_OFFSET;
  const buffer = new Uint8Array(capacity);
  let count = 0;
  let spoiled = false;
  let reportsLeft = Math.floor(MAX_MESSAGE_BYTES / payload) + 2;
  const result = (ended) => ({
    complete: ended && !spoiled,
    ended,
    bytes: spoiled ? new Uint8Array(0) : buffer.slice(0, count),
  });
  // Stored one after another: a short report before the last leaves no gap.
  const store = (bytes) => {
    const size = bytes[CONTROL] & COUNT_MASK;
    if (size > payload || size > capacity - count) spoiled = true;
    if (spoiled) return;
    buffer.set(bytes.subarray(PAYLOAD, PAYLOAD + size), count);
    count += size;
  };

  let current;
  do { // nothing is collected until a report starts a message
    if (reportsLeft-- === 0) return result(false);
    current = link.readReport();
    // A report already waiting is taken without a turn of the event loop.
    if (typeof current?.then === "function") current = await current;
    if (!current) return result(false);
  } while (!isStartOfMessage(current[CONTROL]));

  store(current);
  do {
    if (reportsLeft-- === 0) {
      spoiled = true;
      return result(false);
    }
    current = link.readReport();
    if (typeof current?.then === "function") current = await current;
    if (!current) return result(false);
    store(current);
  } while (isMiddle(current[CONTROL]));
  return result(true);
}

/**
 * Reads reports up to one that ends a message (a last report), dropping
 * them: the rest of an answer nobody waits for. False when a read fails
 * before.
 */
export async function skipToEndOfMessage(link) {
  for (;;) {
    let report = link.readReport();
    if (typeof report?.then === "function") report = await report;
    if (!report) return false;
    if (report[CONTROL] & LAST_REPORT) return true;
  }
}
