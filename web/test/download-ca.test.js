// The CA download against the C++ core's answers: the commands sent, block
// by block, and the result code, for readers that accept, refuse, answer
// wrongly, fall silent or fail to take a block.
import { test } from "node:test";
import assert from "node:assert/strict";

import { downloadCA } from "../src/download-ca.js";
import { readMessage } from "../src/framing.js";
import { ScriptedLink } from "./scripted-link.js";
import { fromHex, patternBytes, toHex, vectors } from "./vectors.js";

// The reports a reader sends for `message`, as the simulators frame them.
function frame(message, reportLen) {
  const payload = reportLen - 2;
  const reports = [];
  for (let offset = 0; offset < message.length || offset === 0; offset += payload) {
    const chunk = message.subarray(offset, offset + payload);
    const first = offset === 0;
    const last = !first && offset + chunk.length === message.length;
    const report = new Uint8Array(reportLen);
    report[1] = (first ? 0 : last ? 0x80 : 0x40) | chunk.length;
    report.set(chunk, 2);
    reports.push(report);
    if (message.length === 0) break;
  }
  if (reports.length === 1) reports.push(Uint8Array.of(0, 0x80, ...new Uint8Array(reportLen - 2)));
  return reports;
}

// The whole messages the reader received, put back together from the reports.
async function messagesIn(reports, reportLen) {
  const link = new ScriptedLink(reportLen, reports);
  const messages = [];
  for (;;) {
    const { complete, bytes } = await readMessage(link, 4096);
    if (!complete) return messages;
    messages.push(toHex(bytes));
  }
}

test("every download sends the control's blocks and gives its result code", async () => {
  assert.ok(vectors.caDownloads.length > 20);
  for (const c of vectors.caDownloads) {
    const answers = c.answers.flatMap((answer) => frame(fromHex(answer), 65));
    const link = new ScriptedLink(65, answers, { failWritesAfter: c.failWritesAfter });
    let commands = 0;
    const result = await downloadCA(link, c.variant, patternBytes(c.length), { beforeCommand: () => commands++ });
    const what = `${c.name}: variant ${c.variant}, ${c.length} bytes`;
    assert.equal(result, c.result, what);
    assert.equal(link.written.length, c.reportsWritten, what);
    assert.deepEqual(await messagesIn(link.written, 65), c.commands, what);
    assert.ok(commands >= c.commands.length, `${what}: each block is announced before it is sent`);
  }
});
