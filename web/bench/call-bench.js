// Prints the library's own time for a 4 KiB call in headless Chromium:
// ReaderConnection.call with 4096 bytes each way, against a reader that
// answers at once (its reports made in advance).
//
//   node web/bench/call-bench.js [CALLS]      (npm run bench in web/)
import { launchChromium, REPOSITORY } from "../tools/chromium.js";
import { serve } from "../tools/static-server.js";

const calls = Number(process.argv[2] ?? 2000);
const server = await serve(REPOSITORY);
const chromium = await launchChromium();
try {
  const page = await chromium.browser.newPage();
  await page.goto(`${server.url}/web/bench/bench.html`);
  await page.waitForFunction(() => window.ready === true);
  const rounds = [];
  for (let round = 0; round < 5; round++) rounds.push(await page.evaluate((n) => window.benchmark(n), calls));
  rounds.sort((a, b) => a - b);
  const version = await chromium.browser.version();
  console.log(`4 KiB call, ${calls} calls a round, 5 rounds, ${version}`);
  console.log(`library's own time per call: best ${(rounds[0] * 1000).toFixed(0)} us, ` +
    `median ${(rounds[2] * 1000).toFixed(0)} us`);
} finally {
  await chromium.close();
  await server.close();
}
