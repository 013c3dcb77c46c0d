# Sourced by the shell tests that drive Wine programs: named checks, and a
# registry query that tells "not there" from "could not ask".
#
# A Wine program can fail to start, or fail for a reason of its own, and
# exit non-zero just as it does when the key asked for is absent (reg.exe
# exits 1 for both). A check that expects something to be absent must
# therefore see the tool's own "not found" answer; anything else is an error
# of the test run, never a pass.
#
# Status codes of the probes used with these checks:
#   0  there (the check that expects it passes)
#   1  not there, as the tool itself answered (the check that refuses passes)
#   2  could not tell: the command failed otherwise; its output went to stderr

checks_failures=0

checks_ok() { echo "ok    $*"; }
checks_fail() {
  echo "FAIL  $*"
  checks_failures=$((checks_failures + 1))
}

# The last lines of a failed command's output, indented under its check.
checks_report() { printf '%s\n' "$1" | tr -d '\r' | tail -20 | sed 's/^/      /'; }

# check WHAT COMMAND...: passes when the command exits 0.
check() {
  local what=$1 output
  shift
  if output=$("$@" 2>&1); then
    checks_ok "$what"
  else
    checks_fail "$what"
    checks_report "$output"
  fi
}

# refuses WHAT COMMAND...: passes when the command exits 1, its answer for
# "not there" or "refused". Exit 0 fails the check; any other exit fails it
# too, as a probe that could not tell.
refuses() {
  local what=$1 output status
  shift
  output=$("$@" 2>&1)
  status=$?
  case $status in
    1) checks_ok "$what" ;;
    0) checks_fail "$what" ;;
    *)
      checks_fail "$what (could not tell: exit $status)"
      checks_report "$output"
      ;;
  esac
}

# reg_query LOADER ARGUMENTS...: `reg query ARGUMENTS` through the Wine
# loader LOADER (which picks the architecture of reg.exe, and so its
# default registry view). Prints reg's answer and exits 0 when the key or
# value is there, exits 1 when reg answered that it is not, and otherwise
# tries once more before it exits 2 with reg's output on stderr.
reg_query() {
  local loader=$1 output status attempt
  shift
  for attempt in 1 2; do
    output=$("$loader" reg.exe query "$@" 2>&1)
    status=$?
    output=${output//$'\r'/}
    if ((status == 0)); then
      printf '%s\n' "$output"
      return 0
    fi
    # Wine's reg.exe: "reg: Unable to find the specified registry key"
    # (or value); Windows': "ERROR: The system was unable to find the
    # specified registry key or value."
    if grep -qiE 'unable to find the specified registry (key|value)' <<<"$output"; then return 1; fi
    echo "reg query $* failed (attempt $attempt, exit $status):" >&2
    printf '%s\n' "$output" | sed 's/^/  /' >&2
  done
  return 2
}
