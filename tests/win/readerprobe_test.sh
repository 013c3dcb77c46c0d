#!/usr/bin/env bash
# readerprobe as a support engineer runs it, under Wine against the
# simulated readers: its report of the interfaces, the reader, the
# registration (registered, a missing file, the kill bit), the machine
# policy with each entry kept or dropped, --url, --call, --json and every
# documented exit code. Run by CTest from a shell that sourced
# scripts/wine-env.
#
#   readerprobe_test.sh WINE BIN_DIR OCX VIEW READERS_CONF
#
# BIN_DIR holds readerprobe.exe, with_policy.exe and the fake DLLs; VIEW is
# the registry view the OCX registers in ("64-bit" or "32-bit").
set -uo pipefail

wine=$1 bin=$2 ocx=$3 view=$4 readers=$5
clsid='{CB1C5DCB-4EF9-4010-9781-2C8DBE9A8392}'
killbit_key="HKLM\\SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\$clsid"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=../lib/checks.sh
source "$(dirname "$0")"/../lib/checks.sh

export WINEDLLOVERRIDES=setupapi,hid=n,b VELDORINCTL_SIM_CONFIG=$readers

# probe [with_policy options --] readerprobe options: the report in
# $work/out.txt (CR LF made LF), the exit code in $status.
probe() {
  local policy=()
  if [[ " $* " == *" -- "* ]]; then
    while [[ $1 != -- ]]; do
      policy+=("$1")
      shift
    done
    shift
  fi
  if ((${#policy[@]})); then
    "$wine" "$bin/with_policy.exe" "${policy[@]}" -- readerprobe.exe "$@" >"$work/out.raw" 2>&1
  else
    "$wine" "$bin/readerprobe.exe" "$@" >"$work/out.raw" 2>&1
  fi
  status=$?
  tr -d '\r' <"$work/out.raw" >"$work/out.txt"
}

# says WHAT TEXT: the last report holds TEXT (a fixed string).
says() { check "$1" grep -qF -- "$2" "$work/out.txt"; }
# exits WHAT CODE: the last probe exited with CODE.
exits() {
  if ((status == $2)); then checks_ok "$1 (exit $2)"; else
    checks_fail "$1: exit $status, not $2"
    checks_report "$(cat "$work/out.txt")"
  fi
}
# json WHAT EXPRESSION: EXPRESSION holds for the last report read as JSON
# (`d` in Python).
json() {
  check "$1" python3 -c "import json, sys; d = json.load(open(sys.argv[1], encoding='utf-8')); assert $2, d" \
    "$work/out.txt"
}

echo "== the report, no policy, nothing registered"
probe
exits "a reader is found" 0
says "the unopenable interface, with the system's error" "not a reader: cannot be opened (error 2: "
says "another device" "1234:5678, usage page FF00 usage 0001, reports of 65 bytes in, 65 out, 0 feature"
says "the reader DevOpen takes" "reader 6A8A:0801 at "
says "not registered in the $view view" "machine, $view view: not registered"
says "no kill bit" "kill bit, $view view: not set"
says "no policy" "none: every page may use the readers, no time limit"
says "the trace's default folder" "\\AppData\\LocalLow\\VELDORINCTL (the default, for this user)"

echo "== registered, then its file gone, then killed"
cp "$ocx" "$work/VELDORINCTL.OCX"
ocx_path=$("$wine" winepath.exe -w "$work/VELDORINCTL.OCX" | tr -d '\r')
check "regsvr32 registers a copy" "$wine" regsvr32.exe /s "$ocx_path"
probe
says "the class" "machine, $view view: \"VELDORINCTL Control\", threading model Apartment"
says "the server and its version" "server        $ocx_path, version "
says "the type library and its file" "type library  {2426E663-5FCC-45E0-ABAA-3D4DDE0BA54B}: "
mv "$work/VELDORINCTL.OCX" "$work/moved.OCX"
probe
says "a server that is not there" "server        $ocx_path: MISSING"
mv "$work/moved.OCX" "$work/VELDORINCTL.OCX"
check "regsvr32 /u removes it again" "$wine" regsvr32.exe /s /u "$ocx_path"
for reg_view in 64 32; do
  check "the kill bit set in the $reg_view-bit view" "$wine" reg.exe add "$killbit_key" /v "Compatibility Flags" \
    /t REG_DWORD /d 0x400 /f "/reg:$reg_view"
done
probe
says "the kill bit, 64-bit view" "kill bit, 64-bit view: SET (Compatibility Flags 0x00000400)"
says "the kill bit, 32-bit view" "kill bit, 32-bit view: SET (Compatibility Flags 0x00000400)"
for reg_view in 64 32; do
  check "the kill bit removed ($reg_view-bit)" "$wine" reg.exe delete "$killbit_key" /f "/reg:$reg_view"
done

echo "== the machine policy and --url"
sites=(--site https://terminal.example.com/ --site https://a.example/cashdesk --site "  https://*.branches.example")
probe "${sites[@]}" --timeout 30 --trace-level 2 -- --url "https://terminal.example.com/cashdesk?session=1"
exits "an allowed page" 0
says "an entry copied from the address bar is kept" "    kept     https://terminal.example.com/"
says "a wildcard kept, without the spaces around it" "    kept     https://*.branches.example"
says "an entry with a path is dropped, with why" '    dropped  "https://a.example/cashdesk": has a path other than /'
says "the time limit" "ExchangeTimeoutSeconds  30 s for each exchange"
says "the trace level" "TraceLevel              2: also every method call"
says "the verdict and the entry that decided it" "  allowed by the entry https://terminal.example.com/"
says "the page's origin" "  origin https://terminal.example.com:443"
probe "${sites[@]}" -- --url "https://terminal.example.com.evil.example/"
exits "a refused page" 3
says "why it is refused" "  refused: no entry allows this origin"
probe --site https://a.example/cashdesk -- --url "https://a.example/cashdesk"
exits "every entry dropped" 3
says "the likeliest mistake, named" "refused: no entry of AllowedSites can be read"
probe --site https://a.example --trace-level 9 -- --url "https://u@a.example/"
exits "a page URL with a user name" 3
says "the URL's problem" "refused: the page's URL has a user name"
says "a bad trace level" "TraceLevel              9: not 0 to 3, no trace"

echo "== --call"
probe --call AQID
exits "an exchange" 0
says "the answer" "DevCall answer AQID"
says "the control's trace of it" "    DevCall handle=1 out=3 in=3 last=0203 ms="
probe --site https://a.example -- --url https://b.example/ --call AQID
exits "the call of a refused page" 3
says "refused as that page" "failure=\"refused: the site lock refused the page\""
printf '6A8A 0801 33 silent\n' >"$work/silent.conf"
VELDORINCTL_SIM_CONFIG=$work/silent.conf probe --timeout 1 -- --call AQID
exits "a reader that never answers" 4
says "timed out, as the trace says" 'failure="timed out (ExchangeTimeoutSeconds)"'
: >"$work/none.conf"
VELDORINCTL_SIM_CONFIG=$work/none.conf probe
exits "no reader" 1
says "says so" "no reader"
probe --frobnicate
exits "an unknown option" 2
says "the usage" "usage: readerprobe [--json] [--url URL] [--call BASE64]"
probe --url
exits "--url without its URL" 2

echo "== --json"
probe --site https://terminal.example.com/ --site https://a.example/x -- --json --url https://terminal.example.com/ --call AQID
exits "as JSON" 0
json "the exit code in the document" "d['exitCode'] == 0"
json "three interfaces" "len(d['interfaces']) == 3 and [i['reader'] for i in d['interfaces']] == [False, False, True]"
json "the open error" "d['interfaces'][0]['openError'] == 2 and d['interfaces'][0]['openErrorText']"
json "the reader" "d['reader']['identity'] == '6A8A:0801' and d['reader']['reportLength'] == 33"
json "four registrations and two kill bits" "len(d['registration']) == 4 and len(d['killBits']) == 2"
json "the dropped entry" "d['policy']['allowedSites']['dropped'] == [{'entry': 'https://a.example/x', 'reason': 'has a path other than /'}]"
json "the verdict" "d['url']['allowed'] and d['url']['entry'] == 'https://terminal.example.com/'"
json "the call" "d['call']['answer'] == 'AQID' and 'DevCall handle=1' in d['call']['trace']"

((checks_failures == 0)) || { echo "$checks_failures readerprobe check(s) failed"; exit 1; }
echo "all readerprobe checks passed"
