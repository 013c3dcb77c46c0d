// The simulated reader speaks the same configuration lines as the Wine
// readers: every file the other tests and the demo use is read, and wrong
// lines are refused rather than standing in for some other reader.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";

import { parseReaderLine, SimulatedHid } from "../src/simulated-reader.js";

const repository = new URL("../../", import.meta.url);

test("the readers files of the demo and the Wine tests are read", () => {
  for (const file of ["examples/demo-readers.conf", "tests/pages/readers.conf", "tests/win/readers.conf"]) {
    const text = readFileSync(new URL(file, repository), "utf8");
    const lines = text.split("\n").filter((line) => line.replace(/#.*/, "").trim());
    assert.equal(SimulatedHid.fromConfig(text).readers.length, lines.length, file);
  }
});

test("a line gives identifiers, report length and behaviour; wrong lines are refused", () => {
  assert.deepEqual(parseReaderLine("0x155b 4612 65 ca 1 refuse 3  # note"), {
    vendorId: 0x155b, productId: 0x4612, reportLength: 65, behaviour: "ca 1 refuse 3", unopenable: false,
  });
  assert.equal(parseReaderLine("   # only a note"), null);
  for (const line of ["155B 4612 65 hum", "155B 4612 65 echo echo", "155B 4612 65 fixed 9G", "155B 4612 -1 echo",
    "155B 4612 70000 echo", "12345 4612 65 echo", "155B 4612 65 delay", "155B 4612 65 stray 2", "155B 4612 65"]) {
    assert.throws(() => parseReaderLine(line), SyntaxError, line);
  }
});

test("an unopenable reader is listed but cannot be opened", async () => {
  const hid = SimulatedHid.fromConfig("155B 4612 65 unopenable");
  const [reader] = await hid.getDevices();
  await assert.rejects(reader.open());
});
