// Certificates against the C++ core's answers: the shared vectors (texts and
// refusals), and every one-octet mutation of them, which the strict-DER gate
// must take or refuse exactly as the control's does.
import { test } from "node:test";
import assert from "node:assert/strict";

import { decode } from "../src/base64.js";
import { parseCertificate, serialText, validityText } from "../src/certificate.js";
import { readStrictDerCertificate } from "../src/strict-der.js";
import { fromHex, vectors } from "./vectors.js";

const texts = (der) => {
  const fields = der && parseCertificate(der);
  return fields ? [validityText(fields), serialText(fields)] : [null, null];
};

test("the shared certificate vectors give the control's texts and refusals", () => {
  assert.ok(vectors.certificates.length > 30);
  for (const v of vectors.certificates) {
    assert.deepEqual(texts(decode(v.text, vectors.messageBufferSize)), [v.validity, v.serial], v.name);
  }
});

test("every one-octet mutation is taken or refused as the control's gate does", () => {
  const bases = vectors.mutationBases.map(fromHex);
  assert.ok(vectors.mutations.length > 10000);
  const differences = [];
  for (const [base, at, octet, strict, validity = null, serial = null] of vectors.mutations) {
    const der = bases[base].slice();
    der[at] = octet;
    const taken = readStrictDerCertificate(der) !== null;
    const got = texts(der);
    if (taken !== strict || got[0] !== validity || got[1] !== serial) {
      differences.push({ base, at, octet, strict, taken, expected: [validity, serial], got });
    }
  }
  assert.deepEqual(differences.slice(0, 5), [], `${differences.length} mutations differ`);
});
