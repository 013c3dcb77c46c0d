// Compiled (not run) by types.test.js: a page's use of the library must
// type-check against the declarations, and misuse must not.
import { CaResult, createControlLike, openReader, pickControl, x509Sn, x509ValidDate } from "veldorinctl-webhid";
import type { CaResultCode, DevCallAsyncBackEvent } from "veldorinctl-webhid";
import { SimulatedHid } from "veldorinctl-webhid/simulated-reader";

async function page(): Promise<void> {
  const hid = SimulatedHid.fromConfig("155B 4612 65 echo").install();
  const reader = await openReader({ hid, request: false });
  if (reader) {
    const answer: string = await reader.call("AQID");
    reader.addEventListener("DevCallAsyncBack", (event: DevCallAsyncBackEvent) => console.log(event.detail, answer));
    const code: CaResultCode = await reader.loadCA("AQID", 1);
    if (code === CaResult.LOADED) await reader.close();
  }
  const terminal = createControlLike({ hid });
  const handle: number = await terminal.DevOpen();
  terminal.attachEvent("DevCallAsyncBack", (backData: string) => console.log(backData));
  await terminal.DevCallAsync("ALIBDAA=");
  const validity: string | null = x509ValidDate("") ?? (await terminal.GetX509ValidDate(""));
  const serial: string | null = x509Sn("");
  await pickControl(document.getElementById("terminal")).DevClose(handle);
  console.log(validity, serial);
}

async function misuse(): Promise<void> {
  const terminal = createControlLike();
  // @ts-expect-error DevCall answers with text, not a number
  const wrong: number = await terminal.DevCall("AQID");
  // @ts-expect-error there is no such method
  terminal.DevSend("AQID");
  // @ts-expect-error the control refuses null as text
  await terminal.DevCall(null);
  // @ts-expect-error pickControl gives the control itself in IE mode: no EventTarget
  pickControl(document.getElementById("terminal")).addEventListener("DevCallAsyncBack", () => {});
  console.log(wrong);
}

void page;
void misuse;
