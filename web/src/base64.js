// Base64 as the control speaks it: plain RFC 4648 encoding, and lenient
// decoding that ends quietly at the first "=" or at the first character
// outside the alphabet, keeping what came before (a lone character after the
// last whole group is dropped). Decoding is bounded: text that would decode
// to more bytes than the caller's buffer holds is refused as a whole.

const ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const OUTSIDE = 0xff;

// The value of every character code below 128; OUTSIDE for the rest.
const VALUES = new Uint8Array(128).fill(OUTSIDE);
for (let i = 0; i < ALPHABET.length; i++) VALUES[ALPHABET.charCodeAt(i)] = i;

function valueOf(text, index) {
  const code = text.charCodeAt(index);
  return code < 128 ? VALUES[code] : OUTSIDE;
}

/** Number of leading characters that belong to the alphabet. */
function acceptedLength(text) {
  let n = 0;
  while (n < text.length && valueOf(text, n) !== OUTSIDE) n++;
  return n;
}

function bytesFor(accepted) {
  return Math.floor(accepted / 4) * 3 + [0, 0, 1, 2][accepted % 4];
}

/** The Base64 text of `bytes` (a Uint8Array). */
export function encode(bytes) {
  const parts = [];
  let chunk = "";
  let i = 0;
  for (; i + 3 <= bytes.length; i += 3) {
    const group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    chunk += ALPHABET[group >> 18] + ALPHABET[(group >> 12) & 63] + ALPHABET[(group >> 6) & 63] + ALPHABET[group & 63];
    if (chunk.length >= 4096) {
      parts.push(chunk);
      chunk = "";
    }
  }
  const rest = bytes.length - i;
  if (rest !== 0) {
    const group = (bytes[i] << 16) | (rest === 2 ? bytes[i + 1] << 8 : 0);
    chunk += ALPHABET[group >> 18] + ALPHABET[(group >> 12) & 63];
    chunk += rest === 2 ? ALPHABET[(group >> 6) & 63] + "=" : "==";
  }
  parts.push(chunk);
  return parts.join("");
}

function decodeAccepted(text, accepted) {
  const out = new Uint8Array(bytesFor(accepted));
  let o = 0;
  let i = 0;
  for (; i + 4 <= accepted; i += 4) {
    const group =
      (valueOf(text, i) << 18) | (valueOf(text, i + 1) << 12) | (valueOf(text, i + 2) << 6) | valueOf(text, i + 3);
    out[o++] = group >> 16;
    out[o++] = (group >> 8) & 0xff;
    out[o++] = group & 0xff;
  }
  const rest = accepted - i;
  if (rest >= 2) {
    const group = (valueOf(text, i) << 18) | (valueOf(text, i + 1) << 12) | (rest === 3 ? valueOf(text, i + 2) << 6 : 0);
    out[o++] = group >> 16;
    if (rest === 3) out[o++] = (group >> 8) & 0xff;
  }
  return out;
}

/**
 * Decodes `text` leniently. Returns the bytes, or null when they would not
 * fit `capacity` bytes (the whole text is then refused, nothing is cut).
 */
export function decode(text, capacity) {
  const accepted = acceptedLength(text);
  if (bytesFor(accepted) > capacity) return null;
  return decodeAccepted(text, accepted);
}

/**
 * Decodes `text` only when all of it is one Base64 encoding: characters of
 * the alphabet, then the padding they need or none, nothing after it, and
 * the unused bits of the last character zero. Null otherwise, or when the
 * bytes would not fit `capacity`. For text whose shortened decoding must not
 * be taken for the real thing (a certificate to load into the reader).
 */
export function decodeWhole(text, capacity) {
  const accepted = acceptedLength(text);
  if (accepted % 4 === 1) return null;
  const padding = (4 - (accepted % 4)) % 4;
  const rest = text.slice(accepted);
  if (rest !== "" && rest !== "==".slice(0, padding)) return null;
  if (accepted > 0 && (valueOf(text, accepted - 1) & [0, 0, 0x0f, 0x03][accepted % 4]) !== 0) return null;
  return decode(text.slice(0, accepted), capacity);
}
