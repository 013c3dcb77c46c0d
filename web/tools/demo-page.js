// Runs examples/demo-webhid.html against the simulated terminal of
// examples/demo-readers.conf and gives the lines the page shows, as they
// appear. Shared by scripts/demo --web and the browser tests.
const DONE = /^(reader closed|no reader found)$/m;

export const DEMO_PATH = "/examples/demo-webhid.html?simulated=demo-readers.conf";

/** Loads the demo at `origin` in `page`; calls onLine(line) for each line; gives all lines. */
export async function runDemoPage(page, origin, onLine = () => {}, timeoutMs = 20000) {
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  await page.goto(origin + DEMO_PATH);
  const lines = [];
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const text = await page.$eval("#status", (status) => status.innerText);
    const shown = text.split("\n").filter(Boolean);
    for (const line of shown.slice(lines.length)) {
      lines.push(line);
      onLine(line);
    }
    if (errors.length) throw new Error(`the page failed: ${errors.join("; ")}`);
    if (DONE.test(text)) return lines;
    if (Date.now() > deadline) throw new Error(`the demo did not finish; it showed:\n${text}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}
