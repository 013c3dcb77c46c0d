// scripts/demo --web: serves the repository on localhost, runs
// examples/demo-webhid.html in headless Chromium against the simulated
// terminal, prints what the page shows, and can save a screenshot.
//
//   node web/tools/run-demo.js --certificate FILE.js [--screenshot FILE.png]
import { readFile } from "node:fs/promises";
import { parseArgs } from "node:util";

import { launchChromium, REPOSITORY } from "./chromium.js";
import { runDemoPage } from "./demo-page.js";
import { serve } from "./static-server.js";

const { values } = parseArgs({ options: { certificate: { type: "string" }, screenshot: { type: "string" } } });
if (!values.certificate) {
  console.error("usage: run-demo.js --certificate FILE.js [--screenshot FILE.png]");
  process.exit(2);
}

const server = await serve(REPOSITORY, {
  "/examples/demo-certificate.js": await readFile(values.certificate, "utf8"),
});
const chromium = await launchChromium();
let status = 0;
try {
  const page = await chromium.browser.newPage();
  await page.setViewport({ width: 900, height: 560 });
  const lines = await runDemoPage(page, server.url, (line) => console.log(line));
  if (lines.includes("no reader found")) status = 1;
  if (values.screenshot) {
    await page.screenshot({ path: values.screenshot });
    console.log(`== screenshot: ${values.screenshot}`);
  }
} catch (error) {
  console.error(error.message);
  status = 1;
} finally {
  await chromium.close();
  await server.close();
}
process.exit(status);
