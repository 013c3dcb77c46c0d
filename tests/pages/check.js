// Checks for the test pages. Each check prints one line; finish() ends the
// page with exit code 0 when every check held, 1 otherwise.
var failures = 0;

function show(value) {
  if (value === null) return "null";
  if (typeof value != "string") return String(value);
  return '"' + (value.length > 64 ? value.substr(0, 64) + '..." (' + value.length + " characters)" : value + '"');
}

function check(what, actual, expected) {
  if (actual === expected) {
    host.echo("ok    " + what);
  } else {
    failures++;
    host.echo("FAIL  " + what + ": got " + show(actual) + ", expected " + show(expected));
  }
}

// Lets messages (and the control's events) flow until condition() holds or
// `ms` milliseconds have passed; tells whether it holds.
function waitFor(condition, ms) {
  for (var waited = 0; waited < ms && !condition(); waited += 10) host.wait(10);
  return condition();
}

// A null string result, as JScript hands it to the page: empty text.
function asScriptSees(text) {
  return text === null ? "" : text;
}

// What a call gives, or "refused 8002xxxx" when it throws.
function outcomeOf(call) {
  try {
    return call();
  } catch (e) {
    return "refused " + (e.number >>> 0).toString(16);
  }
}

function repeat(text, times) {
  var out = "";
  for (var i = 0; i < times; i++) out += text;
  return out;
}

function finish() {
  host.echo(failures ? failures + " check(s) failed" : "all checks passed");
  host.exit(failures ? 1 : 0);
}
