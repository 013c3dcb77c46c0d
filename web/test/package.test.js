// The package as users get it: `npm pack` makes the tarball, a scratch
// project installs it (offline: its dependencies come from the copies
// `npm ci` installed here), imports it and runs a page's script, and a
// TypeScript file type-checks against the declarations it ships.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

const web = fileURLToPath(new URL("../", import.meta.url));
const consumerFiles = fileURLToPath(new URL("consumer/", import.meta.url));
const run = (command, args, cwd) => execFileSync(command, args, { cwd, encoding: "utf8", stdio: "pipe" });

// The packages the library needs at run time, from the lock: name -> the
// folder npm ci installed it in.
function runtimePackages() {
  const lock = JSON.parse(readFileSync(join(web, "package-lock.json"), "utf8"));
  return Object.entries(lock.packages)
    .filter(([path, entry]) => path.startsWith("node_modules/") && !entry.dev)
    .map(([path]) => [path.slice("node_modules/".length), join(web, path)]);
}

test("the packed package installs, imports and type-checks in a project of its own", { timeout: 120000 }, (t) => {
  const scratch = mkdtempSync(join(tmpdir(), "veldorinctl-webhid-consumer-"));
  t.after(() => rmSync(scratch, { recursive: true, force: true }));

  const [packed] = JSON.parse(run("npm", ["pack", "--json", "--pack-destination", scratch], web));
  const files = packed.files.map((file) => file.path).sort();
  assert.ok(files.includes("README.md") && files.includes("package.json"), files.join(" "));
  assert.ok(files.includes("src/index.js") && files.includes("src/index.d.ts"));
  assert.deepEqual(files.filter((file) => !/^(README\.md|package\.json|src\/[\w-]+\.(js|d\.ts))$/.test(file)), [],
    "nothing but the README, package.json and the modules");

  const dependencies = { "veldorinctl-webhid": `file:./${packed.filename}` };
  for (const [name, folder] of runtimePackages()) dependencies[name] = `file:${folder}`;
  writeFileSync(join(scratch, "package.json"), JSON.stringify({ name: "consumer", private: true, type: "module", dependencies }));
  for (const file of ["page.mjs", "page.ts", "tsconfig.json"]) copyFileSync(join(consumerFiles, file), join(scratch, file));
  run("npm", ["install", "--offline", "--install-links", "--ignore-scripts", "--no-audit", "--no-fund"], scratch);

  const installed = JSON.parse(readFileSync(join(scratch, "node_modules/veldorinctl-webhid/package.json"), "utf8"));
  assert.equal(installed.version, JSON.parse(readFileSync(join(web, "package.json"), "utf8")).version);
  assert.deepEqual(JSON.parse(run(process.execPath, ["page.mjs"], scratch)),
    { opened: true, answer: "AQID", loaded: true, serial: null });
  // Throws, with the compiler's messages, when it does not type-check.
  run(process.execPath, [join(web, "node_modules/typescript/bin/tsc"), "-p", scratch], scratch);
});

test("every pinned package runs on the Node.js of Debian 12 (18.19)", () => {
  const semver = import("semver");
  const lock = JSON.parse(readFileSync(join(web, "package-lock.json"), "utf8"));
  return semver.then(({ default: { satisfies } }) => {
    const refusing = Object.entries(lock.packages)
      .filter(([, entry]) => entry.engines?.node && !satisfies("18.19.0", entry.engines.node))
      .map(([path, entry]) => `${path || "veldorinctl-webhid"} wants node ${entry.engines.node}`);
    assert.deepEqual(refusing, []);
  });
});
