// The framing against the C++ core's answers: the reports each message
// becomes, and what each stream of reports reads as.
import { test } from "node:test";
import assert from "node:assert/strict";

import { readMessage, writeMessage } from "../src/framing.js";
import { ScriptedLink } from "./scripted-link.js";
import { fromHex, patternBytes, toHex, vectors } from "./vectors.js";

test("every message becomes the reports the control writes", async () => {
  assert.ok(vectors.framingWrites.length > 50);
  for (const c of vectors.framingWrites) {
    const link = new ScriptedLink(c.reportLen, [], { failWritesAfter: c.failWritesAfter });
    const sent = await writeMessage(link, patternBytes(c.length));
    const what = `${c.length} bytes, L ${c.reportLen}, writes failing after ${c.failWritesAfter}`;
    assert.equal(sent, c.sent, what);
    assert.deepEqual(link.written.map(toHex), c.reports, what);
  }
});

test("every stream of reports reads as the control reads it", async () => {
  assert.ok(vectors.framingReads.length > 30);
  for (const c of vectors.framingReads) {
    const link = new ScriptedLink(c.reportLen, c.reports.map(fromHex), { endless: c.endless });
    const { complete, bytes } = await readMessage(link, c.capacity);
    assert.equal(complete, c.complete, c.name);
    assert.equal(toHex(bytes), c.bytes, c.name);
    assert.equal(link.reportsRead, c.reportsRead, `${c.name}: reports taken from the reader`);
  }
});
