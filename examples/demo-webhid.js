// The page talks to the terminal only through the control; every byte
// crosses as Base64 text.
var handle = 0;
var unattended = false;

function show(line) {
  if (typeof host != "undefined") {
    host.echo(line);  // pagehost: the console and the page window
  } else {
    var status = document.getElementById("status");
    status.innerText = status.innerText + line + "\n";
  }
}

async function openReader() {
  handle = await terminal.DevOpen();
  show(handle ? "reader opened (handle " + handle + ")" : "no reader found");
  return handle != 0;
}

// SELECT of the payment directory: 00 A4 04 00 0E "1PAY.SYS.DDF01" 00
var SELECT_PSE = "AKQEAA4xUEFZLlNZUy5EREYwMQA=";
async function selectApplication() {
  show("command  " + SELECT_PSE);
  show("answer   " + await terminal.DevCall(SELECT_PSE));
}

// READ RECORD 1 of SFI 1: 00 B2 01 0C 00, answered by the event below.
var READ_RECORD = "ALIBDAA=";
async function readRecordAsync() {
  show("async    " + READ_RECORD + " (the page goes on; the answer comes as an event)");
  await terminal.DevCallAsync(READ_RECORD);
}

terminal.attachEvent("DevCallAsyncBack", async function (backData) {
  show("event    DevCallAsyncBack(" + backData + ")");
  if (unattended) await continueAfterEvent();
});

async function loadAuthority() {
  var result = await terminal.LoadCA(1, demoCertificate);
  var meaning = { 0: "loaded", 1: "refused by the reader", 160: "unknown variant",
                  177: "not sent", 178: "no answer", 179: "unexpected answer" }[result];
  show("LoadCA   " + result + " (" + meaning + ")");
}

async function showCertificate() {
  var validity = await terminal.GetX509ValidDate(demoCertificate);
  var serial = await terminal.GetX509Sn(demoCertificate);
  show("valid    " + (validity ? validity.replace(",", " to ") : "not a certificate"));
  show("serial   " + (serial ? serial : "not a certificate") + " (Base64, least significant byte first)");
}

async function closeReader() {
  await terminal.DevClose(handle);
  handle = 0;
  show("reader closed");
}

// Unattended: the whole sequence on load.
async function runDemo() {
  unattended = true;
  if (!await openReader()) return finish(1);
  await selectApplication();
  await readRecordAsync();
}

async function continueAfterEvent() {
  await loadAuthority();
  await showCertificate();
  await closeReader();
  finish(0);
}

function finish(code) {
  if (typeof host != "undefined") host.exit(code);
}
