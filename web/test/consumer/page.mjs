// A page's script as a user of the installed package writes it (run in node
// against the simulated reader): it prints what it got.
import { CaResult, createControlLike, x509Sn } from "veldorinctl-webhid";
import { SimulatedHid } from "veldorinctl-webhid/simulated-reader";

const hid = SimulatedHid.fromConfig("155B 4612 65 echo then ca 1");
const terminal = createControlLike({ hid });
const handle = await terminal.DevOpen();
const answer = await terminal.DevCall("AQID");
const loaded = await terminal.LoadCA(1, "MIIB");
await terminal.DevClose(handle);
console.log(JSON.stringify({ opened: handle !== 0, answer, loaded: loaded === CaResult.LOADED, serial: x509Sn("") }));
