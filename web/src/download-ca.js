// Loads a CA certificate into the reader in blocks of at most 128 bytes,
// each sent as the command 18 C6 00 P2 Lc data 00 and answered by a
// two-byte status word; the same blocks, numbering and result codes as the
// control.
import { readMessage, writeMessage } from "./framing.js";

/** Result codes, returned to the page unchanged. */
export const CaResult = Object.freeze({
  LOADED: 0, // every block sent, the last one answered 90 00
  REFUSED: 1, // the last block was answered with another status word
  BAD_VARIANT: 160, // the variant is neither 1 nor 2; nothing was sent
  SEND_FAILED: 177, // a block could not be sent; also: nothing to send
  RECEIVE_FAILED: 178, // an answer could not be received
  BAD_ANSWER: 179, // an answer was not two bytes, or an earlier block was refused
});

export const CA_BLOCK_SIZE = 128;
// Block numbers have six bits and 63 marks the last block, so at most 63
// blocks may come before it.
export const MAX_CA_LENGTH = 64 * CA_BLOCK_SIZE;

const LAST_BLOCK_NUMBER = 63;
const ANSWER_AREA = 2048;

function command(p2, block) {
  const bytes = new Uint8Array(block.length + 6);
  bytes.set([0x18, 0xc6, 0x00, p2, block.length & 0xff]); // 128 is sent as 0x80
  bytes.set(block, 5); // and Le 00 last
  return bytes;
}

// "accepted", "refused", "malformed" or "lost".
async function answerOf(link, afterAnswer) {
  const answer = await readMessage(link, ANSWER_AREA);
  await afterAnswer(answer);
  const { complete, bytes } = answer;
  if (!complete) return "lost";
  if (bytes.length !== 2) return "malformed";
  return bytes[0] === 0x90 && bytes[1] === 0x00 ? "accepted" : "refused";
}

/**
 * Sends `certificate` (a Uint8Array) with variant `variant` (1 or 2) over
 * the link and gives a CaResult code. Certificates of 0 bytes or of more
 * than MAX_CA_LENGTH bytes are refused with SEND_FAILED before anything is
 * sent. `beforeCommand()`, when given, runs (and is awaited) before each
 * block is sent, `afterAnswer(answer)` after each answer was read, with
 * what readMessage gave.
 */
export async function downloadCA(link, variant, certificate, { beforeCommand = () => {}, afterAnswer = () => {} } = {}) {
  if (variant !== 1 && variant !== 2) return CaResult.BAD_VARIANT;
  const length = certificate.length;
  if (length === 0 || length > MAX_CA_LENGTH) return CaResult.SEND_FAILED;
  const flag = variant - 1;
  const blocks = Math.ceil(length / CA_BLOCK_SIZE);
  const send = async (p2, block) => {
    await beforeCommand();
    return writeMessage(link, command(p2, block));
  };

  for (let i = 0; i + 1 < blocks; i++) {
    const block = certificate.subarray(i * CA_BLOCK_SIZE, (i + 1) * CA_BLOCK_SIZE);
    if (!(await send(((i << 2) | flag) & 0xff, block))) return CaResult.SEND_FAILED;
    const answer = await answerOf(link, afterAnswer);
    if (answer === "lost") return CaResult.RECEIVE_FAILED;
    if (answer !== "accepted") return CaResult.BAD_ANSWER;
  }

  const last = certificate.subarray((blocks - 1) * CA_BLOCK_SIZE);
  if (!(await send((LAST_BLOCK_NUMBER << 2) | flag, last))) return CaResult.SEND_FAILED;
  switch (await answerOf(link, afterAnswer)) {
    case "accepted": return CaResult.LOADED;
    case "refused": return CaResult.REFUSED;
    case "lost": return CaResult.RECEIVE_FAILED;
    default: return CaResult.BAD_ANSWER;
  }
}
