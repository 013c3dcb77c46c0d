// The library in real headless Chromium: the page is served from localhost
// (a secure context), the simulated reader stands behind navigator.hid, and
// the library's own code runs in the browser's event loop.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";

import { launchChromium, REPOSITORY } from "../../tools/chromium.js";
import { runDemoPage } from "../../tools/demo-page.js";
import { serve } from "../../tools/static-server.js";
import { vectors } from "../vectors.js";

const demoCertificate = vectors.certificates.find((v) => v.validity && v.name.includes("2049"))
  ?? vectors.certificates.find((v) => v.validity);

let server;
let chromium;

before(async () => {
  server = await serve(REPOSITORY, {
    "/examples/demo-certificate.js": `var demoCertificate = ${JSON.stringify(demoCertificate.text)};\n`,
  });
  chromium = await launchChromium();
});

after(async () => {
  await chromium?.close();
  await server?.close();
});

// A fresh page with the library loaded; `readers` go behind navigator.hid.
async function harness(readers) {
  const page = await chromium.browser.newPage();
  const errors = [];
  page.on("pageerror", (error) => errors.push(error));
  await page.goto(`${server.url}/web/test/browser/harness.html`);
  await page.waitForFunction(() => window.ready === true);
  await page.evaluate((config) => {
    window.hid = window.simulated.SimulatedHid.fromConfig(config).install();
  }, readers);
  page.errors = errors;
  return page;
}

test("the page is a secure context with WebHID", { timeout: 60000 }, async () => {
  const page = await chromium.browser.newPage();
  await page.goto(`${server.url}/web/test/browser/harness.html`);
  const facts = await page.evaluate(() => ({
    secure: window.isSecureContext,
    webHid: typeof HID === "function" && typeof navigator.hid?.requestDevice === "function",
  }));
  assert.deepEqual(facts, { secure: true, webHid: true });
  await page.close();
});

test("with the browser's own WebHID and no gesture, DevOpen finds no reader and asks no chooser", { timeout: 60000 }, async () => {
  const page = await chromium.browser.newPage();
  await page.goto(`${server.url}/web/test/browser/harness.html`); // the load event follows the modules
  // Run as the page's own script would, without the user activation that
  // page.evaluate() grants (then the browser would show its chooser).
  const session = await page.createCDPSession();
  const { result } = await session.send("Runtime.evaluate", {
    expression: `(async () => {
      const refusal = await navigator.hid.requestDevice({ filters: [] }).then(() => "shown", (error) => error.name);
      return { refusal, handle: await window.library.createControlLike().DevOpen() };
    })()`,
    awaitPromise: true,
    returnByValue: true,
    userGesture: false,
  });
  assert.deepEqual(result.value, { refusal: "SecurityError", handle: 0 });
  await page.close();
});

test("every method of the control-like object, with events in call order", { timeout: 60000 }, async () => {
  const page = await harness("155B 4612 65 delay 40 echo then fixed 9000 then echo then ca 2");
  const result = await page.evaluate(async () => {
    const terminal = window.library.createControlLike();
    const events = [];
    terminal.attachEvent("DevCallAsyncBack", (backData) => events.push(backData));
    const handle = await terminal.DevOpen();
    const answer = await terminal.DevCall("AQID");
    await terminal.DevCallAsync("BAUG");
    await terminal.DevCallAsync("");
    await terminal.DevCallAsync("BwgJ");
    const callsReturnedBeforeEvents = events.length === 0;
    await new Promise(function wait(resolve) {
      if (events.length >= 3) resolve();
      else setTimeout(() => wait(resolve), 10);
    });
    const certificate = btoa(String.fromCharCode(...Array.from({ length: 300 }, (_, i) => i % 251)));
    const loaded = await terminal.LoadCA(2, certificate);
    const unknownVariant = await terminal.LoadCA(3, certificate);
    const reader = window.hid.readers[0];
    await terminal.DevClose(handle);
    const afterClose = await terminal.DevCall("AQID");
    return {
      handle, answer, events, callsReturnedBeforeEvents, loaded, unknownVariant, afterClose,
      caProblems: reader.problems, blocks: reader.received.slice(3).map((command) => command[3]),
    };
  });
  assert.notEqual(result.handle, 0);
  assert.equal(result.answer, "AQID", "delayed echo");
  assert.equal(result.callsReturnedBeforeEvents, true);
  assert.deepEqual(result.events, ["kAA=", "", "BwgJ"]);
  assert.equal(result.loaded, 0);
  assert.deepEqual(result.caProblems, []);
  assert.deepEqual(result.blocks, [0x01, 0x05, 0xfd]);
  assert.equal(result.unknownVariant, 160);
  assert.equal(result.afterClose, "");
  assert.deepEqual(page.errors, []);
  await page.close();
});

test("the certificate methods give the shared vectors' texts in the browser", { timeout: 60000 }, async () => {
  const page = await harness("");
  const got = await page.evaluate((texts) => texts.map((text) =>
    [window.library.x509ValidDate(text), window.library.x509Sn(text)]), vectors.certificates.map((v) => v.text));
  assert.deepEqual(got, vectors.certificates.map((v) => [v.validity, v.serial]));
  await page.close();
});

test("closing with calls pending and unplugging end the calls with empty answers", { timeout: 60000 }, async () => {
  const page = await harness("155B 4612 65 silent\n6A8A 0801 9 silent");
  const result = await page.evaluate(async () => {
    const connection = await window.library.openReader();
    const events = [];
    connection.addEventListener("DevCallAsyncBack", (event) => events.push(event.detail));
    const pending = [connection.call("AQID"), connection.callAsync("AQID")];
    await new Promise((resolve) => setTimeout(resolve, 50));
    await connection.close();
    const closed = await Promise.all(pending);

    const second = await window.library.openReader();
    const waiting = second.call("AQID");
    await new Promise((resolve) => setTimeout(resolve, 50));
    window.hid.readers[0].unplug();
    return { closed, events, unplugged: await waiting, secondClosed: second.closed,
      secondReportLength: second.reportLength, reopened: (await window.library.openReader())?.reportLength };
  });
  assert.deepEqual(result.closed, ["", ""]);
  assert.deepEqual(result.events, [""]);
  assert.equal(result.unplugged, "");
  assert.equal(result.secondClosed, true);
  assert.equal(result.secondReportLength, 65, "the first identity's reader again");
  assert.equal(result.reopened, 9, "the unplugged reader is gone: the second identity's is opened");
  await page.close();
});

test("the demo page, moved from the control by adding await, runs the whole road", { timeout: 60000 }, async () => {
  const page = await chromium.browser.newPage();
  const lines = await runDemoPage(page, server.url);
  assert.deepEqual(lines, [
    "reader opened (handle 1)",
    "command  AKQEAA4xUEFZLlNZUy5EREYwMQA=",
    "answer   bxCEDjFQQVkuU1lTLkRERjAxkAA=",
    "async    ALIBDAA= (the page goes on; the answer comes as an event)",
    "event    DevCallAsyncBack(ALIBDAA=)",
    "LoadCA   0 (loaded)",
    `valid    ${demoCertificate.validity.replace(",", " to ")}`,
    `serial   ${demoCertificate.serial} (Base64, least significant byte first)`,
    "reader closed",
  ]);
  await page.close();
});
