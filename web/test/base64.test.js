// Base64 against the C++ codec's answers (lenient decoding with the buffer
// bound, encoding), and the whole-text decoding that certificate loading uses.
import { test } from "node:test";
import assert from "node:assert/strict";

import { decode, decodeWhole, encode } from "../src/base64.js";
import { fromHex, toHex, vectors } from "./vectors.js";

test("decoding gives the control's bytes, and refuses what would not fit", () => {
  assert.ok(vectors.base64Decode.length > 40);
  for (const c of vectors.base64Decode) {
    const bytes = decode(c.text, c.capacity);
    assert.equal(bytes === null ? null : toHex(bytes), c.bytes, `${JSON.stringify(c.text.slice(0, 24))} into ${c.capacity}`);
  }
});

test("encoding gives the control's text", () => {
  for (const c of vectors.base64Encode) assert.equal(encode(fromHex(c.bytes)), c.text, `${c.bytes.length / 2} bytes`);
});

test("whole-text decoding takes what the control's strict decoding takes", () => {
  for (const c of vectors.base64Decode) {
    const bytes = decodeWhole(c.text, c.capacity);
    assert.equal(bytes === null ? null : toHex(bytes), c.whole, `${JSON.stringify(c.text.slice(0, 24))} into ${c.capacity}`);
  }
});

test("whole-text decoding takes only one complete encoding", () => {
  const cases = {
    "": "", "AQID": "010203", "AQI": "0102", "AQI=": "0102", "AQ": "01", "AQ==": "01",
    "AQ=": null, "AQI==": null, "A": null, "AQID\n": null, "AQ==AQ==": null, "AR==": null, "AQJ=": null,
    "AQ\u00e9": null, " AQID": null,
  };
  for (const [text, hex] of Object.entries(cases)) {
    const bytes = decodeWhole(text, 4096);
    assert.equal(bytes === null ? null : toHex(bytes), hex, JSON.stringify(text));
  }
  assert.equal(decodeWhole("A".repeat(5464), 4096), null, "4098 bytes do not fit");
  assert.equal(decodeWhole("A".repeat(5460) + "AA==", 4096).length, 4096);
});
