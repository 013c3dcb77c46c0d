// Messages of any length as sequences of fixed-size reports, exactly as the
// control frames them.
//
// A report is `reportLen` bytes: byte 0 the report id (0 on output), byte 1
// the control byte, then the payload. Control byte bits 0-5: payload count;
// bit 6: middle report; bit 7: last report; neither: first report. A message
// is one first report, any middle reports and one last report; a message
// that fits one report is followed by an empty last report.
//
// The link the framing works on moves one whole report per call:
//   link.reportLen            the report length, report id included
//   link.writeReport(bytes)   -> Promise<boolean>
//   link.readReport()         -> Promise<Uint8Array | null> (null: the read failed)

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

export function isReaderReportLength(length) {
  return Number.isInteger(length) && length >= MIN_REPORT_LENGTH && length <= MAX_REPORT_LENGTH;
}

function report(reportLen, control, chunk) {
  const bytes = new Uint8Array(reportLen); // unused payload stays zero
  bytes[1] = control;
  if (chunk) bytes.set(chunk, PAYLOAD_OFFSET);
  return bytes;
}

/**
 * Sends `message` (a Uint8Array) as one message. False for an empty message
 * (nothing is sent) and at the first report that cannot be written.
 */
export async function writeMessage(link, message) {
  const length = message.length;
  if (length === 0) return false;
  const payload = link.reportLen - PAYLOAD_OFFSET;
  if (length <= payload) {
    return (await link.writeReport(report(link.reportLen, length, message))) &&
      link.writeReport(report(link.reportLen, LAST_REPORT));
  }
  let offset = 0;
  let position = 0; // the first report carries no position bit
  while (length - offset > payload) {
    const chunk = message.subarray(offset, offset + payload);
    if (!(await link.writeReport(report(link.reportLen, position | payload, chunk)))) return false;
    offset += payload;
    position = MIDDLE_REPORT;
  }
  const rest = message.subarray(offset);
  return link.writeReport(report(link.reportLen, LAST_REPORT | rest.length, rest));
}

const isStartOfMessage = (control) => (control & (MIDDLE_REPORT | LAST_REPORT)) === 0;
const isMiddle = (control) => (control & (MIDDLE_REPORT | LAST_REPORT)) === MIDDLE_REPORT;

/**
 * Waits for one message of at most `capacity` bytes. Reports that cannot
 * start a message (middle or last) are skipped.
 *
 * Returns { complete, bytes }: complete once the message's last report has
 * arrived; when a read fails, bytes holds what was collected so far. An
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
  const result = (complete) => ({
    complete: complete && !spoiled,
    bytes: spoiled ? new Uint8Array(0) : buffer.slice(0, count),
  });
  // Stored one after another: a short report before the last leaves no gap.
  const store = (bytes) => {
    const size = bytes[1] & COUNT_MASK;
    if (size > payload || size > capacity - count) spoiled = true;
    if (spoiled) return;
    buffer.set(bytes.subarray(PAYLOAD_OFFSET, PAYLOAD_OFFSET + size), count);
    count += size;
  };

  let current;
  do { // nothing is collected until a report starts a message
    if (reportsLeft-- === 0) return result(false);
    current = await link.readReport();
    if (!current) return result(false);
  } while (!isStartOfMessage(current[1]));

  store(current);
  do {
    if (reportsLeft-- === 0) {
      spoiled = true;
      return result(false);
    }
    current = await link.readReport();
    if (!current) return result(false);
    store(current);
  } while (isMiddle(current[1]));
  return result(true);
}
