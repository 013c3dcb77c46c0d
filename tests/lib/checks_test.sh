#!/usr/bin/env bash
# The check helpers of checks.sh read a probe's answer, not merely its exit
# code: reg.exe's own "not found" is absence, and a program that did not
# start (or failed otherwise) is neither presence nor absence. Stand-in
# loaders play reg.exe's answers.
set -uo pipefail
cd "$(dirname "$0")"
source ./checks.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# stand_in NAME EXIT OUTPUT: a "loader" that prints OUTPUT and exits EXIT,
# counting its runs in NAME.runs.
stand_in() {
  printf '#!/bin/sh\necho run >>"%s/%s.runs"\nprintf "%%s\\r\\n" "%s"\nexit %s\n' "$work" "$1" "$3" "$2" >"$work/$1"
  chmod +x "$work/$1"
}
stand_in found 0 'HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{X}'
stand_in missing_key 1 'reg: Unable to find the specified registry key'
stand_in missing_value 1 'reg: Unable to find the specified registry value'
stand_in windows_missing 1 'ERROR: The system was unable to find the specified registry key or value.'
stand_in not_started 1 'wine: could not load kernel32.dll, status c0000135'
stand_in crashed 139 ''

failed=0
expect() {  # expect WHAT ACTUAL WANTED
  if [[ $2 == "$3" ]]; then echo "ok    $1"; else echo "FAIL  $1: got $2, wanted $3"; failed=1; fi
}
status_of() { "$@" >/dev/null 2>&1; echo $?; }
runs() { wc -l <"$work/$1.runs" 2>/dev/null || echo 0; }

expect "a key that is there" "$(status_of reg_query "$work/found" 'HKLM\X')" 0
expect "reg's answer is passed on without carriage returns" \
  "$(reg_query "$work/found" 'HKLM\X' | od -c | grep -c '\\r')" 0
expect "reg's own 'no such key' is absence" "$(status_of reg_query "$work/missing_key" 'HKLM\X')" 1
expect "reg's own 'no such value' is absence" "$(status_of reg_query "$work/missing_value" 'HKLM\X' /v Y)" 1
expect "Windows' wording is absence too" "$(status_of reg_query "$work/windows_missing" 'HKLM\X')" 1
expect "a program that did not start is not absence" "$(status_of reg_query "$work/not_started" 'HKLM\X')" 2
expect "and was tried once more" "$(runs not_started)" 2
expect "a crash is not absence" "$(status_of reg_query "$work/crashed" 'HKLM\X')" 2
expect "absence is not asked twice" "$(runs missing_key)" 1

# The checks built on them: a probe that could not tell fails both.
checks_failures=0
check "present" reg_query "$work/found" 'HKLM\X' >/dev/null
refuses "absent" reg_query "$work/missing_key" 'HKLM\X' >/dev/null
expect "check and refuses pass on a clear answer" "$checks_failures" 0
refuses "absent?" reg_query "$work/not_started" 'HKLM\X' >/dev/null
expect "refuses fails when the probe could not tell" "$checks_failures" 1
check "present?" reg_query "$work/crashed" 'HKLM\X' >/dev/null
expect "check fails when the probe could not tell" "$checks_failures" 2
refuses "absent?" reg_query "$work/found" 'HKLM\X' >/dev/null
expect "refuses fails when it is there" "$checks_failures" 3

exit "$failed"
