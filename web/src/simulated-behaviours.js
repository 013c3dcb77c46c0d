// The behaviours of a simulated reader, read from the line that describes
// it (the format is documented in tools/fakehid/veldorinsim.h), and the reader's side of the
// report framing, written apart from the library's so that a mistake in one
// is not mirrored in the other.

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

/**
 * A fresh responder for a behaviour text: (command, reportLen) -> reply.
 * `problems` collects what a CA reader finds wrong with the blocks.
 */
export function makeResponder(text, problems = []) {
  const tokens = text.split(/\s+/).filter(Boolean);
  const responder = parseBehaviour(tokens, problems);
  if (tokens.length) throw new SyntaxError(`unexpected "${tokens.join(" ")}" after the behaviour`);
  return responder;
}
