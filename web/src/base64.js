// Base64 as the control speaks it: plain RFC 4648 encoding, and lenient
// decoding that ends quietly at the first "=" or at the first character
// outside the alphabet, keeping what came before (a lone character after the
// last whole group is dropped). Decoding is bounded: text that would decode
// to more bytes than the caller's buffer holds is refused as a whole.

const ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const OUTSIDE = 0xff;

// The value of every byte of the text's UTF-8 form; OUTSIDE for the rest
// (every character past ASCII becomes bytes of 0x80 and above, so it stops
// decoding as the character itself would).
const VALUES = new Uint8Array(256).fill(OUTSIDE);
for (let i = 0; i < ALPHABET.length; i++) VALUES[ALPHABET.charCodeAt(i)] = i;
const utf8 = new TextEncoder();

/** Number of leading codes that belong to the alphabet. */
function acceptedLength(codes) {
  let n = 0;
  while (n < codes.length && VALUES[codes[n]] !== OUTSIDE) n++;
  return n;
}

function bytesFor(accepted) {
  return Math.floor(accepted / 4) * 3 + [0, 0, 1, 2][accepted % 4];
}

// Encoding: the character codes of every 12-bit value, so three bytes
// become four characters in two look-ups; the text is made from the codes
// in one step.
const PAIRS = new Uint16Array(4096);
for (let i = 0; i < 4096; i++) PAIRS[i] = ALPHABET.charCodeAt(i >> 6) | (ALPHABET.charCodeAt(i & 63) << 8);
const EQUALS = 0x3d;
const ascii = new TextDecoder("latin1");

/** The Base64 text of `bytes` (a Uint8Array). */
export function encode(bytes) {
  const out = new Uint8Array(Math.ceil(bytes.length / 3) * 4);
  const pairs = new Uint16Array(out.buffer, 0, out.length >> 1); // little-endian: first character first
  const little = new Uint8Array(Uint16Array.of(1).buffer)[0] === 1;
  let i = 0;
  let p = 0;
  if (little) {
    for (; i + 3 <= bytes.length; i += 3, p += 2) {
      const group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
      pairs[p] = PAIRS[group >> 12];
      pairs[p + 1] = PAIRS[group & 0xfff];
    }
  }
  let o = p * 2;
  for (; i + 3 <= bytes.length; i += 3) {
    const group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out[o++] = ALPHABET.charCodeAt(group >> 18);
    out[o++] = ALPHABET.charCodeAt((group >> 12) & 63);
    out[o++] = ALPHABET.charCodeAt((group >> 6) & 63);
    out[o++] = ALPHABET.charCodeAt(group & 63);
  }
  const rest = bytes.length - i;
  if (rest !== 0) {
    const group = (bytes[i] << 16) | (rest === 2 ? bytes[i + 1] << 8 : 0);
    out[o++] = ALPHABET.charCodeAt(group >> 18);
    out[o++] = ALPHABET.charCodeAt((group >> 12) & 63);
    out[o++] = rest === 2 ? ALPHABET.charCodeAt((group >> 6) & 63) : EQUALS;
    out[o++] = EQUALS;
  }
  return ascii.decode(out);
}

function decodeAccepted(codes, accepted) {
  const out = new Uint8Array(bytesFor(accepted));
  let o = 0;
  let i = 0;
  for (; i + 4 <= accepted; i += 4) {
    const group = (VALUES[codes[i]] << 18) | (VALUES[codes[i + 1]] << 12) | (VALUES[codes[i + 2]] << 6) |
      VALUES[codes[i + 3]];
    out[o++] = group >> 16;
    out[o++] = (group >> 8) & 0xff;
    out[o++] = group & 0xff;
  }
  const rest = accepted - i;
  if (rest >= 2) {
    const group = (VALUES[codes[i]] << 18) | (VALUES[codes[i + 1]] << 12) | (rest === 3 ? VALUES[codes[i + 2]] << 6 : 0);
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
  const codes = utf8.encode(text);
  const accepted = acceptedLength(codes);
  if (bytesFor(accepted) > capacity) return null;
  return decodeAccepted(codes, accepted);
}

/**
 * Decodes `text` only when all of it is one Base64 encoding: characters of
 * the alphabet, then the padding they need or none, nothing after it, and
 * the unused bits of the last character zero. Null otherwise, or when the
 * bytes would not fit `capacity`. For text whose shortened decoding must not
 * be taken for the real thing (a certificate to load into the reader).
 */
export function decodeWhole(text, capacity) {
  const codes = utf8.encode(text);
  const accepted = acceptedLength(codes);
  if (accepted % 4 === 1) return null;
  const padding = (4 - (accepted % 4)) % 4;
  const rest = text.slice(accepted);
  if (rest !== "" && rest !== "==".slice(0, padding)) return null;
  if (accepted > 0 && (VALUES[codes[accepted - 1]] & [0, 0, 0x0f, 0x03][accepted % 4]) !== 0) return null;
  if (bytesFor(accepted) > capacity) return null;
  return decodeAccepted(codes, accepted);
}
