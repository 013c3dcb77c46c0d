// The TypeScript declarations: a page's use of the library type-checks
// against them (test/types/usage.ts), and they name exactly what the
// modules export.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";

const web = new URL("../", import.meta.url);

test("a page's use of the library type-checks against the declarations", () => {
  const tsc = new URL("node_modules/typescript/bin/tsc", web).pathname;
  // Throws, with the compiler's messages, when it does not.
  execFileSync(process.execPath, [tsc, "-p", new URL("test/types", web).pathname], { encoding: "utf8" });
});

for (const module of ["index", "simulated-reader"]) {
  test(`${module}.d.ts declares what ${module}.js exports`, async () => {
    const declarations = readFileSync(new URL(`src/${module}.d.ts`, web), "utf8");
    const declared = [...declarations.matchAll(/^export (?:const|function|class) (\w+)/gm)].map((m) => m[1]);
    const exported = Object.keys(await import(new URL(`src/${module}.js`, web).href));
    assert.deepEqual([...new Set(declared)].sort(), exported.sort());
  });
}
