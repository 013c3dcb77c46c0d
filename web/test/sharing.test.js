// Two tabs on one reader, in node: each tab is a SimulatedHid with a handle
// on the same simulated reader (every input report to every open handle),
// and the tabs take turns through the lock and the marks of this realm, as
// the tabs of one origin do through the browser's.
import { test } from "node:test";
import assert from "node:assert/strict";

import { openReader } from "../src/index.js";
import { encode } from "../src/base64.js";
import { defaultSharing, marksWithFallback, sharedNow, sharedReaderName } from "../src/reader-sharing.js";
import { LATE_ANSWER_GRACE_MS } from "../src/reader-turn.js";
import { SimulatedHid, SimulatedReaderCore } from "../src/simulated-reader.js";
import { patternBytes } from "./vectors.js";

const b64 = (bytes) => encode(bytes);
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// `count` tabs, each with its own handle on one reader.
async function tabsOn(line, count, options = {}) {
  const reader = new SimulatedReaderCore(line);
  const tabs = [];
  for (let i = 0; i < count; i++) {
    const hid = new SimulatedHid();
    hid.attach(reader);
    tabs.push(await openReader({ hid, ...options }));
  }
  return { reader, tabs };
}

// Distinct commands: tab `tab`'s call `i`.
const commandOf = (tab, i) => b64(Uint8Array.of(tab, i >> 8, i & 0xff, ...patternBytes(90)));

test("tabs calling at once each get their own answers, and no message mixes their reports", { timeout: 60000 }, async () => {
  const { reader, tabs } = await tabsOn("155B 4612 65 delay 1 echo", 3);
  const calls = 60;
  const crossed = await Promise.all(tabs.map(async (tab, t) => {
    let wrong = 0;
    const asynchronous = [];
    for (let i = 0; i < calls; i++) {
      if (i % 2) asynchronous.push(tab.callAsync(commandOf(t, i)).then((answer) => answer !== commandOf(t, i)));
      else if ((await tab.call(commandOf(t, i))) !== commandOf(t, i)) wrong++;
    }
    return wrong + (await Promise.all(asynchronous)).filter(Boolean).length;
  }));
  assert.deepEqual(crossed, [0, 0, 0]);
  assert.deepEqual(reader.violations, []);
  assert.equal(reader.received.length, 3 * calls);
});

test("an answer that comes after its call's time limit is drained, in the same tab and in another", { timeout: 20000 }, async () => {
  // The first command is answered after 600 ms, past its limit of 500 ms,
  // and while the second one's answer (200 ms) is awaited; the second call's
  // limit leaves time for the late answer to be drained.
  const same = await tabsOn("155B 4612 65 delay 600 echo then delay 200 echo", 1, { exchangeTimeoutMs: 500 });
  assert.equal(await same.tabs[0].call("AQID"), "");
  assert.equal(await same.tabs[0].call("BAUG"), "BAUG", "not the late AQID");
  assert.deepEqual(same.reader.received.map(b64), ["AQID", "BAUG"]);

  // The other tab holds a copy of every answer: those to earlier commands
  // are not the one owed.
  const reader = new SimulatedReaderCore("155B 4612 65 echo then delay 300 echo then delay 300 echo");
  const [hasty, patient] = [new SimulatedHid(), new SimulatedHid()];
  hasty.attach(reader);
  patient.attach(reader);
  const first = await openReader({ hid: hasty, exchangeTimeoutMs: 150 });
  const second = await openReader({ hid: patient });
  assert.equal(await first.call("AQID"), "AQID");
  assert.equal(await first.call("BAUG"), "");
  assert.equal(await second.call("BwgJ"), "BwgJ");
  assert.deepEqual(reader.received.map(b64), ["AQID", "BAUG", "BwgJ"]);
});

test("a drain that outlasts the call's limit sends nothing, gives \"\" (178 for LoadCA) and leaves the mark", { timeout: 20000 }, async () => {
  const { reader, tabs: [tab] } = await tabsOn("155B 4612 65 delay 600 echo then echo", 1, { exchangeTimeoutMs: 100 });
  assert.equal(await tab.call("AQID"), "");
  assert.equal(await tab.call("BAUG"), "", "the late answer is not there yet");
  assert.equal(await tab.loadCA(b64(patternBytes(200)), 1), 178);
  assert.equal(reader.received.length, 1);
  const mark = await defaultSharing().marks.read(sharedReaderName(tab.device));
  assert.ok(mark.since - mark.sentAt >= 50, "the grace counts from when the answer was given up");
  await pause(600);
  assert.equal(await tab.call("BwgJ"), "BwgJ", "once it came, the next call goes");
});

test("closing during an answer gives \"\", and the tab that comes next gets its own answer", { timeout: 20000 }, async () => {
  const { reader, tabs: [closing, next] } = await tabsOn("155B 4612 65 delay 100 echo then echo", 2);
  const cut = closing.call("AQID");
  await pause(20);
  const own = next.call("BAUG"); // waits for the lock
  await closing.close();
  assert.equal(await cut, "");
  assert.equal(await own, "BAUG");
  assert.deepEqual(reader.received.map(b64), ["AQID", "BAUG"]);
});

test("a wait for the lock ends at the time limit (\"\", 178 for LoadCA) or when the connection is closed", { timeout: 20000 }, async () => {
  const reader = new SimulatedReaderCore("155B 4612 65 silent");
  const [a, b] = [new SimulatedHid(), new SimulatedHid()];
  a.attach(reader);
  b.attach(reader);
  const holder = await openReader({ hid: a });
  const limited = await openReader({ hid: b, exchangeTimeoutMs: 100 });
  const held = holder.call("AQID");
  await pause(10);
  assert.equal(await limited.call("BAUG"), "");
  assert.equal(await limited.loadCA(b64(patternBytes(200)), 1), 178);
  // Without a time limit, only closing ends the wait.
  const c = new SimulatedHid();
  c.attach(reader);
  const unlimited = await openReader({ hid: c });
  const waiting = unlimited.call("BwgJ");
  await pause(20);
  const closedAt = performance.now();
  await unlimited.close();
  assert.equal(await waiting, "");
  assert.ok(performance.now() - closedAt < 1000, "at once");
  assert.equal(reader.received.length, 1, "only the holder's command was sent");
  await holder.close();
  assert.equal(await held, "");
});

test("LoadCA holds the reader for its whole download beside another tab's calls", { timeout: 20000 }, async () => {
  const { reader, tabs: [loading, calling] } = await tabsOn("155B 4612 65 ca 1", 2);
  const certificate = b64(patternBytes(700)); // six blocks
  const answers = [];
  const load = loading.loadCA(certificate, 1);
  for (let i = 0; i < 5; i++) answers.push(await calling.call("AQID"));
  assert.equal(await load, 0);
  assert.deepEqual(answers, Array(5).fill("bQA="), "6D 00: no CA command");
  const blocks = reader.received.filter((command) => command[0] === 0x18).map((command) => command[3] >> 2);
  assert.deepEqual(blocks, [0, 1, 2, 3, 4, 63]);
  assert.equal(reader.problems.length, 5);
  assert.ok(reader.problems.every((problem) => /not a CA download command/.test(problem)), reader.problems.join("; "));
  assert.deepEqual(reader.violations, []);
});

test("a mark past the grace, or from a clock set back, is taken as lost; a fresh one holds the call back", { timeout: 20000 }, async () => {
  const { marks } = defaultSharing();
  for (const age of [LATE_ANSWER_GRACE_MS + 1000, -60000]) {
    const hid = new SimulatedHid();
    const reader = hid.attach("155B 4612 65 silent then echo");
    const now = sharedNow();
    await marks.write(sharedReaderName(reader), { sentAt: now - age - 5, since: now - age });
    const connection = await openReader({ hid, exchangeTimeoutMs: 2000 });
    assert.equal(await connection.call("AQID"), "", `a silent reader, age ${age}: sent at once`);
    assert.equal(await marks.read(sharedReaderName(reader)) !== null, true, "its own call is owed now");
    assert.equal(reader.received.length, 1);
  }
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 echo");
  const fresh = { sentAt: sharedNow(), since: sharedNow() };
  await marks.write(sharedReaderName(reader), fresh);
  const connection = await openReader({ hid, exchangeTimeoutMs: 100 });
  assert.equal(await connection.call("AQID"), "");
  assert.equal(reader.received.length, 0);
  assert.deepEqual(await marks.read(sharedReaderName(reader)), fresh, "the mark stays for the next holder");
});

test("a command that never reached the reader whole owes no answer", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 echo");
  const send = reader.sendReport.bind(reader);
  let reports = 0;
  reader.sendReport = (id, data) => (++reports === 3 ? Promise.reject(new Error("write failed")) : send(id, data));
  const connection = await openReader({ hid, exchangeTimeoutMs: 200 });
  assert.equal(await connection.call(b64(patternBytes(600))), "");
  assert.equal(await defaultSharing().marks.read(sharedReaderName(reader)), null);
  assert.equal(await connection.call("AQID"), "AQID", "sent without waiting for an answer");
});

test("a reader's lock is named by its identity; two handles on one reader share it", () => {
  const reader = new SimulatedReaderCore("155B 4612 65 echo");
  const [a, b] = [new SimulatedHid().attach(reader), new SimulatedHid().attach(reader)];
  assert.equal(sharedReaderName(a), sharedReaderName(b));
  assert.match(sharedReaderName(a), /^veldorinctl-webhid reader 155b:4612 Simulated card reader \d+$/);
  assert.notEqual(sharedReaderName(new SimulatedHid().attach("155B 4612 65 echo")), sharedReaderName(a));
});

test("marks that the browser cannot keep are kept for this realm", async () => {
  const refused = marksWithFallback(Promise.reject(new Error("storage refused")));
  await refused.write("reader", { sentAt: 1, since: 2 });
  assert.deepEqual(await refused.read("reader"), { sentAt: 1, since: 2 });
  const failing = { read: async () => { throw new Error("gone"); }, write: async () => { throw new Error("gone"); } };
  const fallen = marksWithFallback(Promise.resolve(failing));
  await fallen.write("reader", { sentAt: 3, since: 4 });
  assert.deepEqual(await fallen.read("reader"), { sentAt: 3, since: 4 });
});
