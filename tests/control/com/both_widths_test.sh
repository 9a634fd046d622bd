#!/usr/bin/env bash
# The 32-bit and the 64-bit control registered in one Wine prefix, as on a 64-bit Windows
# where hosts of both widths run: each width's regsvr32 registers its own module, a script
# host of each width extracts through its own control, each control deploys an engine file
# of its own width without touching the other's, and unregistering one width leaves the
# other working.
#   both_widths_test.sh WIN32_OCX WIN64_OCX VERSION
set -euo pipefail
ocx32=${1:?32-bit control}
ocx64=${2:?64-bit control}
version=${3:?type library version}
[ -f "$ocx64" ] || { echo "no 64-bit control at $ocx64: build the win64 preset first" >&2; exit 1; }

root="$(cd "$(dirname "$0")/../../.." && pwd)"
ZAX_WINE_WIDTH=32
source "$root/scripts/wine-env"
source "$root/tests/support/extract_script.sh"
# The prefix booted, a persistent server, and the session's services started by a program
# with no output: services started by one of the programs below would inherit its output
# and hold the test runner's pipe open.
"$root/scripts/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
wine32() { wine "$@" </dev/null; }
wine64() { /usr/lib/wine/wine64 "$@" </dev/null; }
system_folder() { [ "$1" = 32 ] && echo syswow64 || echo system32; }
tool32() { wine32 "C:\\windows\\syswow64\\$1" "${@:2}"; }
tool64() { wine64 "C:\\windows\\system32\\$1" "${@:2}"; }
winpath() { wine64 winepath -w "$1" | tr -d '\r'; }

work=$(mktemp -d /tmp/zax-both-widths.XXXXXX)
trap 'tool64 regsvr32.exe /s /u "$(winpath "$ocx64")"; tool32 regsvr32.exe /s /u "$(winpath "$ocx32")"; rm -rf "$work"' EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

mkdir -p "$work/src/docs"
printf 'read me\n' >"$work/src/docs/readme.txt"
head -c 100000 /dev/urandom >"$work/src/data.bin"
tar -C "$work/src" -czf "$work/site.tgz" docs data.bin

temp=$(wine64 "C:\\windows\\system32\\cmd.exe" /c echo %TEMP% | tr -d '\r')
deployed=$(wine64 winepath -u "$temp\\ZAXSoftware" | tr -d '\r')
engine32="$deployed/zaxtargzips200.zax"
engine64="$deployed/zaxtargzips200_64.zax"
rm -f "$engine32" "$engine64"

# Extracts site.tgz into out<N> with the script host of one width; true when the control
# answered 0 and the tree is exact.
extracts() {  # extracts 32|64 N
  local out="$work/out$2" script="$work/extract$2.vbs"
  rm -rf "$out"
  write_extract_script "$script" "$(winpath "$work/site.tgz")" "$(winpath "$out")"
  local said status=0
  said=$("wine$1" "C:\\windows\\$(system_folder "$1")\\cscript.exe" //nologo "$(winpath "$script")" \
    2>"$work/cscript.err" | tr -d '\r' | tail -n 1) || status=$?
  if [ "$said" != "Extracted=0" ]; then
    echo "  the $1-bit script host ended with $status and said: '$said'; its errors:"
    sed 's/^/    /' "$work/cscript.err"
    return 1
  fi
  diff -r "$work/src" "$out" >/dev/null
}

is_module() {  # is_module FILE pei-i386|pei-x86-64
  [ -f "$1" ] && x86_64-w64-mingw32-objdump -f "$1" | grep -q "file format $2\$"
}

typelib_entry() {  # typelib_entry 32|64 win32|win64: the entry as that width's registry shows it
  tool"$1" reg.exe query 'HKCR\TypeLib\{DB57B80A-8D2D-4B7D-B329-8F234775D929}\'"$version"'\409\'"$2" >/dev/null
}

check "the 32-bit regsvr32 registers the 32-bit control" tool32 regsvr32.exe /s "$(winpath "$ocx32")"
check "the 64-bit regsvr32 registers the 64-bit control" tool64 regsvr32.exe /s "$(winpath "$ocx64")"
check "a 32-bit script extracts through the 32-bit control" extracts 32 1
check "the 32-bit control deployed a 32-bit engine" is_module "$engine32" pei-i386
sum32=$(cksum <"$engine32")
check "a 64-bit script extracts through the 64-bit control" extracts 64 2
check "the 64-bit control deployed a 64-bit engine of its own" is_module "$engine64" pei-x86-64
check "the 32-bit engine file is left as it was" test "$(cksum <"$engine32")" = "$sum32"
sum64=$(cksum <"$engine64")
check "the 32-bit control still extracts" extracts 32 3
check "the 64-bit engine file is left as it was" test "$(cksum <"$engine64")" = "$sum64"

check "the 64-bit control unregisters" tool64 regsvr32.exe /s /u "$(winpath "$ocx64")"
check "its win64 type library entry is gone" eval '! typelib_entry 64 win64'
check "the win32 type library entry stays" typelib_entry 32 win32
check "the 32-bit control still extracts after the 64-bit one is gone" extracts 32 4

check "the 64-bit control registers again" tool64 regsvr32.exe /s "$(winpath "$ocx64")"
check "the 32-bit control unregisters" tool32 regsvr32.exe /s /u "$(winpath "$ocx32")"
check "its win32 type library entry is gone" eval '! typelib_entry 32 win32'
check "the win64 type library entry stays" typelib_entry 64 win64
check "the 64-bit control still extracts after the 32-bit one is gone" extracts 64 5

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
