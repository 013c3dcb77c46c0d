// The WebHID demo's script is the control's demo page script with `await`
// added (and IE's event-handler syntax written as attachEvent): nothing
// else may change, so that the demo shows how little moving a page takes.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";

const examples = new URL("../../examples/", import.meta.url);
const read = (name) => readFileSync(new URL(name, examples), "utf8");

function pageScript(html) {
  const start = html.lastIndexOf("<script>") + "<script>\n".length;
  return html.slice(start, html.lastIndexOf("</script>"));
}

// The moved script with `async`/`await` taken out and the handler written back in IE's form.
function unmoved(script) {
  return script
    .replace(/\basync (?=function\b)/g, "")
    .replace(/\bawait (?=\w)/g, "")
    .replace(/^terminal\.attachEvent\("DevCallAsyncBack", function \((\w+)\) \{$/m, "function terminal::DevCallAsyncBack($1) {")
    .replace(/^\}\);$/m, "}");
}

test("the moved demo script differs from the control's only by await", () => {
  const original = pageScript(read("demo.html"));
  const moved = read("demo-webhid.js");
  assert.match(moved, /await terminal\.DevCall\(/);
  assert.equal(unmoved(moved), original);
});
