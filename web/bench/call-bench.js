// Prints the library's own time for a 4 KiB call in headless Chromium:
// ReaderConnection.call with 4096 bytes each way, against a reader that
// answers at once (its reports made in advance), with the turn among the
// tabs of the origin (Web Locks and IndexedDB) and with a turn within the
// page only, in the same run.
//
//   node web/bench/call-bench.js [CALLS]      (npm run bench in web/)
import { launchChromium, REPOSITORY } from "../tools/chromium.js";
import { serve } from "../tools/static-server.js";
import { rendererCpuMs } from "./process-cpu.js";

const calls = Number(process.argv[2] ?? 2000);
const server = await serve(REPOSITORY);
const chromium = await launchChromium();
try {
  const page = await chromium.browser.newPage();
  await page.goto(`${server.url}/web/bench/bench.html`);
  await page.waitForFunction(() => window.ready === true);
  const browserPid = chromium.browser.process()?.pid;
  const us = (ms) => `${(ms * 1000).toFixed(0)} us`;
  const summary = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    return `best ${us(sorted[0])}, median ${us(sorted[2])}`;
  };
  console.log(`4 KiB call, ${calls} calls a round, 5 rounds, ${await chromium.browser.version()}`);
  for (const [shared, what] of [[true, "turn among tabs"], [false, "turn within the page"]]) {
    const rounds = [];
    const cpuRounds = [];
    for (let round = 0; round < 5; round++) {
      const cpuBefore = rendererCpuMs(browserPid);
      rounds.push(await page.evaluate((n, s) => window.benchmark(n, s), calls, shared));
      const cpuAfter = rendererCpuMs(browserPid);
      if (cpuBefore !== null) cpuRounds.push((cpuAfter - cpuBefore) / (calls + 50)); // the warm-up calls too
    }
    console.log(`${what}: library's own time per call (wall): ${summary(rounds)}`);
    if (cpuRounds.length) console.log(`${what}: renderer CPU per call:              ${summary(cpuRounds)}`);
  }
} finally {
  await chromium.close();
  await server.close();
}
