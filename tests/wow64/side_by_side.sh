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

# shellcheck source=../lib/checks.sh
source "$(dirname "$0")"/../lib/checks.sh

x64_path=$("$wine64" winepath.exe -w "$x64_ocx")
x86_path=$("$wine64" winepath.exe -w "$x86_ocx")
register_x64() { "$wine64" regsvr32.exe /s "$@" "$x64_path"; }
register_x86() { "$wine32" regsvr32.exe /s "$@" "$x86_path"; }
# page LOADER HOST: 0 when the page created a control; 1 when no control of
# that class is registered for the architecture (COM's "class not
# registered", which makes pagehost refuse to load the page, or a page that
# runs and finds its object null); 2 when it failed otherwise.
page() {
  local output status
  output=$("$1" "$2" --hidden "$page" 2>&1)
  status=$?
  printf '%s\n' "$output"
  case $status in
    0) return 0 ;;
    10) return 1 ;;
    4) grep -q 'could not be created (0x80040154)' <<<"$output" && return 1 ;;
  esac
  return 2
}
page_x64() { page "$wine64" "$x64_host"; }
page_x86() { page "$wine32" "$x86_host"; }
key64() { reg_query "$wine64" "$@" >/dev/null; }
key32() { reg_query "$wine32" "$@" >/dev/null; }

# From a clean state, whatever an earlier run left.
register_x64 /u >/dev/null 2>&1
register_x86 /u >/dev/null 2>&1

check "x64 registered by the 64-bit regsvr32" register_x64
check "x86 registered by the 32-bit regsvr32" register_x86
check "a 64-bit page creates the x64 control" page_x64
check "a 32-bit page creates the x86 control" page_x86
check "the type library under win64 in the 64-bit view" key64 "$library\\win64"
check "the type library under win32 in the 32-bit view" key32 "$library\\win32"

check "x64 unregistered" register_x64 /u
refuses "a 64-bit page no longer finds a control" page_x64
check "a 32-bit page still creates the x86 control" page_x86
check "the ProgID stays for x86" key64 "$progid"
check "the win32 type library stays" key32 "$library\\win32"

check "x64 registered again" register_x64
check "x86 unregistered" register_x86 /u
refuses "a 32-bit page no longer finds a control" page_x86
check "a 64-bit page still creates the x64 control" page_x64
check "the ProgID stays for x64" key64 "$progid"
check "the win64 type library stays" key64 "$library\\win64"

check "x64 unregistered again" register_x64 /u
refuses "with neither registered, the ProgID is gone" key64 "$progid"

((checks_failures == 0))
