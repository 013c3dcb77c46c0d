// The library's methods against simulated readers, in node: finding the
// reader, calls and their bounds, the event order, CA downloads, closing
// with calls pending, unplugging, and the control-like object.
import { test } from "node:test";
import assert from "node:assert/strict";

import { createControlLike, openReader, pickControl } from "../src/index.js";
import { encode } from "../src/base64.js";
import { SimulatedHid } from "../src/simulated-reader.js";
import { patternBytes, vectors } from "./vectors.js";

const b64 = (bytes) => encode(bytes);
const asyncAnswers = (target) => {
  const answers = [];
  target.addEventListener("DevCallAsyncBack", (event) => answers.push(event.detail));
  return answers;
};

test("the first identity's reader is opened before the second's, and unfit report lengths are no reader", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const second = hid.attach("6A8A 0801 33 echo");
  assert.equal((await openReader({ hid })).device, second);
  const first = hid.attach("155B 4612 65 echo");
  assert.equal((await openReader({ hid })).device, first);

  for (const length of [0, 2, 66, 130]) {
    const lone = new SimulatedHid();
    lone.attach(`155B 4612 ${length} echo`);
    assert.equal(await openReader({ hid: lone }), null, `report length ${length}`);
  }
  const fallback = new SimulatedHid();
  fallback.attach("155B 4612 66 echo");
  const fit = fallback.attach("6A8A 0801 3 echo");
  assert.equal((await openReader({ hid: fallback })).device, fit);
});

test("without a granted reader the chooser is asked, once, with both identities", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("6A8A 0801 65 echo", { granted: false });
  assert.equal((await openReader({ hid, request: false })), null);
  assert.equal(hid.requests, 0);
  assert.equal((await openReader({ hid })).device, reader);
  assert.equal(hid.requests, 1);
  hid.chooser = "cancel";
  hid.attach("155B 4612 65 echo", { granted: false });
  assert.equal((await openReader({ hid })).device, reader, "the granted reader needs no chooser");
  assert.equal(hid.requests, 1);
});

test("calls frame, bound and answer as the control does", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 echo");
  const connection = await openReader({ hid });
  assert.ok(connection.handle !== 0);

  const full = patternBytes(4096);
  assert.equal(await connection.call(b64(full)), b64(full), "4096 bytes go whole");
  assert.equal(await connection.call(b64(patternBytes(4097))), "", "4097 bytes are not sent");
  assert.equal(await connection.call(""), "");
  assert.equal(await connection.call(null), "");
  assert.equal(await connection.call("AQID\r\nBAUG"), "AQID", "decoding stops at the line break");
  assert.equal(reader.received.length, 2, "refused commands send nothing");
  assert.equal(reader.received[1].length, 3);
});

test("answers over the buffer, stray reports and count-over give the control's texts", { timeout: 20000 }, async () => {
  const answerOf = async (behaviour, reportLen = 65) => {
    const hid = new SimulatedHid();
    hid.attach(`155B 4612 ${reportLen} ${behaviour}`);
    return (await openReader({ hid })).call("AQID");
  };
  assert.equal(await answerOf("length 4097"), "");
  assert.equal(await answerOf("length 4096"), b64(patternBytes(4096)));
  assert.equal(await answerOf("stray 3 fixed 9000"), "kAA=");
  assert.equal(await answerOf("count-over", 9), "");
  assert.equal(await answerOf("count-over", 65), b64(patternBytes(63)));
  assert.equal(await answerOf("endless", 65), "");
});

test("input that arrived before a command is discarded", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 echo");
  const connection = await openReader({ hid });
  // A late answer to nothing: a whole message the reader sends unasked.
  const event = new Event("inputreport");
  Object.assign(event, { reportId: 0, data: new DataView(Uint8Array.of(0x02, 0xaa, 0xbb, ...new Uint8Array(61)).buffer) });
  reader.dispatchEvent(event);
  assert.equal(await connection.call("AQID"), "AQID");
});

test("asynchronous answers come as events in call order, one exchange at a time", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 delay 30 echo then echo");
  const connection = await openReader({ hid });
  const answers = asyncAnswers(connection);
  const texts = ["AQ==", "", "AgI=", "A".repeat(4096), "AwMD"];
  await Promise.all(texts.map((text) => connection.callAsync(text)));
  assert.deepEqual(answers, ["AQ==", "", "AgI=", "", "AwMD"]);
  assert.deepEqual(reader.received.map((m) => b64(m)), ["AQ==", "AgI=", "AwMD"]);
});

test("asynchronous calls beyond the bound are answered empty, in their turn, and not sent", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 echo");
  const connection = await openReader({ hid });
  const answers = await Promise.all(Array.from({ length: 1026 }, () => connection.callAsync("AQID")));
  assert.deepEqual(answers.slice(1022), ["AQID", "AQID", "", ""]);
  assert.equal(reader.received.length, 1024);
  assert.equal(await connection.callAsync("AQID"), "AQID", "answered calls leave room");
});

test("closing ends pending calls with empty answers; unplugging closes the connection", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  hid.attach("155B 4612 65 silent");
  const connection = await openReader({ hid });
  const answers = asyncAnswers(connection);
  const pending = [connection.call("AQID"), connection.callAsync("AQID"), connection.call("AQID")];
  await new Promise((resolve) => setTimeout(resolve, 20));
  await connection.close();
  assert.deepEqual(await Promise.all(pending), ["", "", ""]);
  assert.deepEqual(answers, [""]);
  assert.equal(await connection.call("AQID"), "");
  assert.equal(await connection.loadCA("AQID", 1), 177);

  const unplugging = new SimulatedHid();
  const reader = unplugging.attach("155B 4612 65 silent");
  const second = await openReader({ hid: unplugging });
  const waiting = second.call("AQID");
  await new Promise((resolve) => setTimeout(resolve, 20));
  reader.unplug();
  assert.equal(await waiting, "");
  assert.equal(second.closed, true);
  assert.equal(await openReader({ hid: unplugging }), null, "an unplugged reader is gone");
});

test("a reader unplugged part-way through its answer gives what arrived", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  hid.attach("155B 4612 65 unplug-after 1 length 200");
  const connection = await openReader({ hid });
  assert.equal(await connection.call("AQID"), b64(patternBytes(63)));
  assert.equal(connection.closed, true);
});

test("CA downloads: blocks, numbering and result codes against the simulated CA reader", { timeout: 20000 }, async () => {
  const load = async (behaviour, text, variant = 1) => {
    const hid = new SimulatedHid();
    const reader = hid.attach(`155B 4612 65 ${behaviour}`);
    const connection = await openReader({ hid });
    return { result: await connection.loadCA(text, variant), reader };
  };
  const certificate = patternBytes(300);
  const loaded = await load("ca 2", b64(certificate), 2);
  assert.equal(loaded.result, 0);
  assert.deepEqual(loaded.reader.problems, []);
  assert.deepEqual(loaded.reader.received.map((c) => c[3]), [0x01, 0x05, 0xfd]);
  assert.equal((await load("ca 1 refuse 2", b64(certificate))).result, 1);
  assert.equal((await load("ca 1 refuse 0", b64(certificate))).result, 179);
  assert.equal((await load("ca 1 wrong-length 2", b64(certificate))).result, 179);
  assert.equal((await load("fixed 9000 then unplug-on-command", b64(certificate))).result, 178);
  assert.equal((await load("fixed 900000", b64(certificate))).result, 179);
  for (const variant of [0, 3, -1]) assert.equal((await load("ca 1", b64(certificate), variant)).result, 160);
});

test("LoadCA sends nothing for text that does not decode whole", { timeout: 20000 }, async () => {
  const whole = b64(patternBytes(200));
  for (const text of ["", whole + "\n", whole.slice(0, -1) + "==", whole + "AAAA=", b64(patternBytes(4097)), "AR==", "AQ=x"]) {
    const hid = new SimulatedHid();
    const reader = hid.attach("155B 4612 65 ca 1");
    const connection = await openReader({ hid });
    assert.equal(await connection.loadCA(text, 1), 177, JSON.stringify(text.slice(-8)));
    assert.equal(reader.received.length, 0);
  }
});

test("the certificate methods give the shared vectors' texts without a reader", { timeout: 20000 }, async () => {
  const control = createControlLike({ hid: new SimulatedHid() });
  for (const v of vectors.certificates) {
    assert.equal(await control.GetX509ValidDate(v.text), v.validity, v.name);
    assert.equal(await control.GetX509Sn(v.text), v.serial, v.name);
  }
});

test("the control-like object: handles, closing, events in order across connections", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  hid.attach("155B 4612 65 delay 20 echo");
  const control = createControlLike({ hid });
  const events = [];
  assert.equal(control.attachEvent("DevCallAsyncBack", (backData) => events.push(backData)), true);
  assert.equal(control.attachEvent("DoClick", () => {}), false);
  control.attachEvent("DevCallAsyncBack", () => { throw new Error("a failing handler"); });
  const seen = [];
  control.attachEvent("DevCallAsyncBack", (backData) => seen.push(backData));

  assert.equal(await control.DevCall("AQID"), "", "no reader open yet");
  assert.equal(await control.LoadCA(1, "AQID"), 177);
  assert.equal(await control.LoadCA(3, "AQID"), 160);
  await control.DevCallAsync("AQID");
  const handle = await control.DevOpen();
  assert.notEqual(handle, 0);
  await control.DevCallAsync("BAUG");
  await control.DevClose(handle + 1);
  assert.equal(await control.DevCall("AQID"), "AQID", "another handle closes nothing");
  await control.DevCallAsync("BwgJ");
  await control.DevClose(handle);
  assert.equal(await control.DevCall("AQID"), "");
  while (events.length < 3) await new Promise((resolve) => setTimeout(resolve, 10));
  assert.deepEqual(events, ["", "BAUG", ""], "the call pending at DevClose ends empty");
  assert.deepEqual(seen, events, "a failing handler does not keep the next from the event");
  assert.equal(await control.DevOpen() !== handle, true, "a new connection, a new handle");
});

test("pickControl takes a live ActiveX control and the library elsewhere", { timeout: 20000 }, async () => {
  const calls = [];
  const activeX = {
    DevOpen: () => 7,
    DevCall: (cmd) => { calls.push(cmd); return "kAA="; },
    attachEvent: (name) => calls.push(name),
  };
  let opened = 0;
  const activeXWithReads = { ...activeX, get DevOpen() { opened++; return () => 7; } };
  pickControl(activeXWithReads);
  assert.equal(opened, 0, "picking does not read DevOpen, which the control runs when it is read");
  const picked = pickControl(activeX);
  assert.equal(await picked.DevOpen(), 7);
  assert.equal(await picked.DevCall("AQID"), "kAA=");
  picked.attachEvent("DevCallAsyncBack", () => {});
  assert.deepEqual(calls, ["AQID", "DevCallAsyncBack"]);

  assert.equal("addEventListener" in picked, false, "the control's events are no DOM events: attachEvent only");

  const library = pickControl({ tagName: "OBJECT" }, { hid: new SimulatedHid() });
  assert.equal(await library.DevOpen(), 0);
  assert.equal(pickControl(null, {}).constructor.name, "ControlLike");
});

test("the control-like object takes arguments as the control does: null and wrong counts are refused", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 echo then echo then ca 2");
  const control = createControlLike({ hid });
  const events = asyncAnswers(control);
  const refusal = (promise) => promise.then(() => "accepted", (error) => `${error.name} ${(error.number >>> 0).toString(16)}`);
  const mismatch = "TypeError 80020005";
  const handle = await control.DevOpen();
  assert.equal(await refusal(control.DevCall(null)), mismatch);
  assert.equal(await refusal(control.DevCallAsync(null)), mismatch);
  assert.equal(await refusal(control.GetX509ValidDate(null)), mismatch);
  assert.equal(await refusal(control.LoadCA(1, null)), mismatch);
  assert.equal(await refusal(control.LoadCA(null, "AQID")), mismatch);
  assert.equal(await refusal(control.DevClose(null)), mismatch);
  assert.equal(await refusal(control.DevClose("one")), mismatch);
  assert.equal(await refusal(control.DevClose(2 ** 31)), "RangeError 8002000a");
  assert.equal(await refusal(control.DevCall()), "TypeError 8002000e");
  assert.equal(await refusal(control.DevCall("AQID", "BAUG")), "TypeError 8002000e");
  assert.equal(await refusal(control.DevOpen(1)), "TypeError 8002000e");
  assert.equal(reader.received.length, 0, "a refused call sends nothing");

  assert.equal(await control.DevCall(undefined), "", "undefined is empty text");
  assert.equal(await control.DevCall(1234), "1234", "a number is sent as its text");
  await control.DevCallAsync(undefined);
  assert.equal(await control.GetX509Sn(undefined), null);
  assert.equal(await control.LoadCA(1, undefined), 177);
  assert.equal(await control.LoadCA(undefined, "AQID"), 160, "undefined is 0");
  assert.equal(await control.LoadCA(" 9 ", "AQID"), 160);
  assert.equal(await control.LoadCA(0.5, "AQID"), 160, "halves round to even: 0");
  await control.DevClose(undefined);
  assert.equal(await control.DevCall("AQID"), "AQID", "DevClose(undefined) closes nothing");
  assert.equal(await control.LoadCA(2.5, encode(patternBytes(200))), 0, "halves round to even: 2");
  await control.DevClose(String(handle));
  assert.equal(await control.DevCall("AQID"), "", "a handle given as text closes");
  while (events.length < 1) await new Promise((resolve) => setTimeout(resolve, 10));
  assert.deepEqual(events, [""], "one event, for the call with undefined");
});

test("with a time limit, a silent reader's call ends empty, the answer it owes holds the next back, and a CA block unanswered gives 178", { timeout: 20000 }, async () => {
  const hid = new SimulatedHid();
  const reader = hid.attach("155B 4612 65 silent then echo");
  const connection = await openReader({ hid, exchangeTimeoutMs: 100 });
  const started = performance.now();
  assert.equal(await connection.call("AQID"), "");
  assert.ok(performance.now() - started < 5000);
  assert.equal(await connection.call("BAUG"), "", "the answer still owed is waited for, within the call's own limit");
  assert.equal(reader.received.length, 1, "and nothing more is sent meanwhile");

  const ca = new SimulatedHid();
  ca.attach("155B 4612 65 fixed 9000 then silent");
  const loading = await openReader({ hid: ca, exchangeTimeoutMs: 100 });
  assert.equal(await loading.loadCA(encode(patternBytes(300)), 1), 178);
});
