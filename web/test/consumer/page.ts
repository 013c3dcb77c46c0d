// The same use in TypeScript: it must type-check against the package's
// declarations as installed, and misuse must not.
import { CaResult, createControlLike, openReader, pickControl } from "veldorinctl-webhid";
import type { CaResultCode, ControlLike } from "veldorinctl-webhid";
import { SimulatedHid } from "veldorinctl-webhid/simulated-reader";

export async function page(element: unknown): Promise<string> {
  const hid = SimulatedHid.fromConfig("155B 4612 65 echo");
  const terminal: ControlLike = pickControl(element, { hid, exchangeTimeoutMs: 5000 });
  const handle: number = await terminal.DevOpen();
  const answer: string = await terminal.DevCall("AQID");
  const code: CaResultCode = await createControlLike({ hid }).LoadCA(1, "MIIB");
  const reader = await openReader({ hid, request: false });
  await reader?.close();
  // @ts-expect-error the answer is text
  const wrong: number = await terminal.DevCall("AQID");
  await terminal.DevClose(handle);
  return `${answer} ${code === CaResult.LOADED} ${wrong}`;
}
