// The answers of the C++ core, written as JSON by write_web_vectors
// (tests/web_vectors/) before these tests run. VELDORINCTL_WEB_VECTORS names
// the file; by default it lies in the native build tree.
import { readFileSync } from "node:fs";
import { fileURLToPath } from "node:url";

const defaultPath = fileURLToPath(new URL("../../build/native/web/vectors.json", import.meta.url));
const path = process.env.VELDORINCTL_WEB_VECTORS || defaultPath;

let text;
try {
  text = readFileSync(path, "utf8");
} catch (error) {
  throw new Error(`no vectors at ${path}: build and run write_web_vectors first (scripts/test does) (${error.message})`);
}

export const vectors = JSON.parse(text);

export const fromHex = (hex) => Uint8Array.from(Buffer.from(hex, "hex"));
export const toHex = (bytes) => Buffer.from(bytes).toString("hex");

/** Bytes 0, 1, 2, ... (mod 251), as the C++ vectors make them. */
export function patternBytes(length) {
  const bytes = new Uint8Array(length);
  for (let i = 0; i < length; i++) bytes[i] = i % 251;
  return bytes;
}
