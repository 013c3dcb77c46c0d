// CPU time (user + system) of a browser's renderer processes, from /proc:
// on a busy machine wall time counts the time the page waited for a core,
// CPU time only the work done.
import { readdirSync, readFileSync } from "node:fs";

const TICKS_PER_SECOND = 100; // USER_HZ on Linux

function stat(pid) {
  try {
    const text = readFileSync(`/proc/${pid}/stat`, "utf8");
    const fields = text.slice(text.lastIndexOf(")") + 2).split(" "); // fields from the state on
    return { ppid: Number(fields[1]), ticks: Number(fields[11]) + Number(fields[12]) };
  } catch {
    return null; // the process is gone
  }
}

function isRenderer(pid) {
  try {
    return readFileSync(`/proc/${pid}/cmdline`, "utf8").includes("--type=renderer");
  } catch {
    return false;
  }
}

/** Milliseconds of CPU the renderers below `browserPid` have used so far (null off Linux). */
export function rendererCpuMs(browserPid) {
  let pids;
  try {
    pids = readdirSync("/proc").filter((name) => /^\d+$/.test(name)).map(Number);
  } catch {
    return null;
  }
  const stats = new Map(pids.map((pid) => [pid, stat(pid)]).filter(([, s]) => s));
  const descends = (pid) => {
    for (let at = pid, depth = 0; at > 1 && depth < 16; at = stats.get(at)?.ppid ?? 0, depth++) {
      if (at === browserPid) return true;
    }
    return false;
  };
  let ticks = 0;
  for (const [pid, s] of stats) if (descends(pid) && isRenderer(pid)) ticks += s.ticks;
  return (ticks * 1000) / TICKS_PER_SECOND;
}
