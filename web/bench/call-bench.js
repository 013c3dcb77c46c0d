// Prints the library's own time for a 4 KiB call in headless Chromium:
// ReaderConnection.call with 4096 bytes each way, against a reader that
// answers at once (its reports made in advance).
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
  const rounds = [];
  const cpuRounds = [];
  for (let round = 0; round < 5; round++) {
    const cpuBefore = rendererCpuMs(browserPid);
    rounds.push(await page.evaluate((n) => window.benchmark(n), calls));
    const cpuAfter = rendererCpuMs(browserPid);
    if (cpuBefore !== null) cpuRounds.push((cpuAfter - cpuBefore) / (calls + 50)); // the warm-up calls too
  }
  const us = (ms) => `${(ms * 1000).toFixed(0)} us`;
  const summary = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    return `best ${us(sorted[0])}, median ${us(sorted[2])}`;
  };
  console.log(`4 KiB call, ${calls} calls a round, 5 rounds, ${await chromium.browser.version()}`);
  console.log(`library's own time per call (wall): ${summary(rounds)}`);
  if (cpuRounds.length) console.log(`renderer CPU per call:              ${summary(cpuRounds)}`);
} finally {
  await chromium.close();
  await server.close();
}
