// Starts the system's Chromium headless through puppeteer-core, with a
// profile of its own that is removed when the browser is closed. Never a
// downloaded browser: CHROMIUM names another executable.
import { mkdtemp, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

export const CHROMIUM = process.env.CHROMIUM || "/usr/bin/chromium";

export async function launchChromium() {
  const profile = await mkdtemp(join(tmpdir(), "veldorinctl-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: [
      "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      `--user-data-dir=${profile}`,
    ],
  });
  return {
    browser,
    async close() {
      await browser.close();
      await rm(profile, { recursive: true, force: true });
    },
  };
}

/** The root of the repository, which the pages are served from. */
export const REPOSITORY = new URL("../../", import.meta.url).pathname;
