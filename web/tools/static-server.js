// A static file server on 127.0.0.1 (a secure context for the browser) for
// the browser tests, the demo and the benchmark. `overrides` maps URL paths
// to the text served instead of a file.
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize, sep } from "node:path";

const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".json": "application/json",
  ".conf": "text/plain; charset=utf-8",
  ".css": "text/css",
};

export function serve(root, overrides = {}) {
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    const send = (status, type, body) => {
      response.writeHead(status, { "content-type": type, "cache-control": "no-store" });
      response.end(body);
    };
    if (path in overrides) return send(200, TYPES[extname(path)] ?? "text/plain", overrides[path]);
    const file = normalize(join(root, path));
    if (file !== root && !file.startsWith(root.endsWith(sep) ? root : root + sep)) return send(403, "text/plain", "");
    try {
      send(200, TYPES[extname(file)] ?? "application/octet-stream", await readFile(file));
    } catch {
      send(404, "text/plain", "not found");
    }
  });
  return new Promise((resolve) => {
    server.listen(0, "127.0.0.1", () => {
      resolve({
        url: `http://127.0.0.1:${server.address().port}`,
        close: () => new Promise((done) => server.close(done)),
      });
    });
  });
}
