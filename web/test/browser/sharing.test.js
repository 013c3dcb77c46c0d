// Two tabs of one origin on one reader, in headless Chromium: the reader
// lives in a SharedWorker and each tab holds a handle on it (every input
// report to every tab, the output reports of both to the one reader), and
// the tabs take turns through the browser's Web Locks and IndexedDB.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";

import { launchChromium, REPOSITORY } from "../../tools/chromium.js";
import { serve } from "../../tools/static-server.js";

let server;
let chromium;
let readers = 0;

before(async () => {
  server = await serve(REPOSITORY);
  chromium = await launchChromium();
});

after(async () => {
  await chromium?.close();
  await server?.close();
});

// A tab with the library, its navigator.hid holding a handle on the shared
// reader `key`.
async function tab(line, key) {
  const page = await chromium.browser.newPage();
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error));
  await page.goto(`${server.url}/web/test/browser/harness.html`);
  await page.waitForFunction(() => window.ready === true);
  await page.evaluate(async (line, key) => {
    window.hid = new window.simulated.SimulatedHid().install();
    window.reader = window.hid.attach(await window.simulated.connectSharedReader(line, key));
  }, line, key);
  return page;
}

async function tabs(line, count) {
  const key = `shared-${++readers}`;
  const opened = [];
  for (let i = 0; i < count; i++) opened.push(await tab(line, key));
  return opened;
}

test("two tabs calling at once each get their own answers, and the reader gets no mixed message", { timeout: 120000 }, async () => {
  const pages = await tabs("155B 4612 65 delay 2 echo", 2);
  const calls = 40;
  const wrong = await Promise.all(pages.map((page, t) => page.evaluate(async (t, calls) => {
    const terminal = window.library.createControlLike();
    const events = [];
    terminal.attachEvent("DevCallAsyncBack", (backData) => events.push(backData));
    await terminal.DevOpen();
    const command = (i) => btoa(String.fromCharCode(t, i, ...Array.from({ length: 100 }, (_, k) => (k * 7 + t) % 256)));
    let crossed = 0;
    const sentAsync = [];
    for (let i = 0; i < calls; i++) {
      if (i % 4 === 3) {
        sentAsync.push(command(i));
        await terminal.DevCallAsync(command(i));
      } else if ((await terminal.DevCall(command(i))) !== command(i)) {
        crossed++;
      }
    }
    while (events.length < sentAsync.length) await new Promise((resolve) => setTimeout(resolve, 10));
    return crossed + events.filter((backData, i) => backData !== sentAsync[i]).length;
  }, t, calls)));
  assert.deepEqual(wrong, [0, 0]);
  const findings = await pages[0].evaluate(() => window.reader.findings());
  assert.deepEqual(findings.violations, []);
  assert.equal(findings.received.length, 2 * calls);
  for (const page of pages) {
    assert.deepEqual(page.errors, []);
    await page.close();
  }
});

test("an answer that comes after the call's time limit in one tab is not taken by the other", { timeout: 60000 }, async () => {
  const [hasty, patient] = await tabs("155B 4612 65 delay 300 echo then delay 300 echo", 2);
  const timedOut = await hasty.evaluate(async () => {
    const connection = await window.library.openReader({ exchangeTimeoutMs: 100 });
    return connection.call("AQID");
  });
  assert.equal(timedOut, "");
  const answer = await patient.evaluate(async () => (await window.library.openReader()).call("BAUG"));
  assert.equal(answer, "BAUG");
  const received = await patient.evaluate(async () => (await window.reader.findings()).received.map((c) => btoa(String.fromCharCode(...c))));
  assert.deepEqual(received, ["AQID", "BAUG"]);
  await hasty.close();
  await patient.close();
});

test("a tab closed while it holds the reader: the next tab drains its answer and gets its own", { timeout: 60000 }, async () => {
  const [closing, next] = await tabs("155B 4612 65 delay 400 echo then delay 400 echo", 2);
  await closing.evaluate(async () => {
    const connection = await window.library.openReader();
    window.pending = connection.call("AQID");
  });
  await next.evaluate(async () => {
    const connection = await window.library.openReader();
    await new Promise((resolve) => setTimeout(resolve, 50));
    window.own = connection.call("BAUG"); // waits for the lock the other tab holds
  });
  await closing.close(); // the browser releases its lock; the mark stays
  const own = await next.evaluate(() => window.own);
  assert.equal(own, "BAUG");
  const findings = await next.evaluate(() => window.reader.findings());
  assert.deepEqual(findings.violations, []);
  await next.close();
});
