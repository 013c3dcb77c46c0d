#!/usr/bin/env bash
# The x64 and the x86 OCX side by side in one 64-bit Wine prefix (WoW64), as
# on a 64-bit Windows: each registered by the regsvr32 of its architecture, a
# 64-bit and a 32-bit pagehost each creating its own by class id, and
# unregistering one leaving the other working. Run by CTest from a shell that
# sourced scripts/wine-env.
#
#   side_by_side.sh X64_OCX X64_PAGEHOST X86_OCX X86_PAGEHOST PAGE
set -uo pipefail

x64_ocx=$1 x64_host=$2 x86_ocx=$3 x86_host=$4 page=$5
for file in "$@"; do
  if [[ ! -f $file ]]; then
    echo "skipped: $file is not built (build the mingw and mingw32 presets)"
    exit 77
  fi
done

if ! "$(dirname "$0")"/../../scripts/can-run-32bit || [[ ! -x /usr/lib/wine/wine ]]; then
  echo "skipped: no 32-bit Wine on this machine"
  exit 77
fi

# The loaders of the two architectures: each starts programs of its own, and
# they see the registry view of their own.
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
progid='HKCR\VELDORINCTL.VELDORINCTLCtrl.1'
library='HKCR\TypeLib\{2426E663-5FCC-45E0-ABAA-3D4DDE0BA54B}\1.0\0'

failures=0
expect() {  # expect WHAT COMMAND...: the command succeeds
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then echo "ok      $what"; else echo "FAILED  $what"; failures=$((failures + 1)); fi
}
refuse() {  # refuse WHAT COMMAND...: the command fails
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then echo "FAILED  $what"; failures=$((failures + 1)); else echo "ok      $what"; fi
}

x64_path=$(winepath -w "$x64_ocx")
x86_path=$(winepath -w "$x86_ocx")
register_x64() { "$wine64" regsvr32.exe /s "$@" "$x64_path"; }
register_x86() { "$wine32" regsvr32.exe /s "$@" "$x86_path"; }
page_x64() { "$wine64" "$x64_host" --hidden "$page"; }
page_x86() { "$wine32" "$x86_host" --hidden "$page"; }

# From a clean state, whatever an earlier run left.
register_x64 /u >/dev/null 2>&1
register_x86 /u >/dev/null 2>&1

expect "x64 registered by the 64-bit regsvr32" register_x64
expect "x86 registered by the 32-bit regsvr32" register_x86
expect "a 64-bit page creates the x64 control" page_x64
expect "a 32-bit page creates the x86 control" page_x86
expect "the type library under win64 in the 64-bit view" "$wine64" reg query "$library\\win64"
expect "the type library under win32 in the 32-bit view" "$wine32" reg query "$library\\win32"

expect "x64 unregistered" register_x64 /u
refuse "a 64-bit page no longer finds a control" page_x64
expect "a 32-bit page still creates the x86 control" page_x86
expect "the ProgID stays for x86" "$wine64" reg query "$progid"
expect "the win32 type library stays" "$wine32" reg query "$library\\win32"

expect "x64 registered again" register_x64
expect "x86 unregistered" register_x86 /u
refuse "a 32-bit page no longer finds a control" page_x86
expect "a 64-bit page still creates the x64 control" page_x64
expect "the ProgID stays for x64" "$wine64" reg query "$progid"
expect "the win64 type library stays" "$wine64" reg query "$library\\win64"

expect "x64 unregistered again" register_x64 /u
refuse "with neither registered, the ProgID is gone" "$wine64" reg query "$progid"

((failures == 0))
