#!/usr/bin/env bash
# The MSI packages in a 64-bit Wine prefix of their own, booted afresh, so that nothing of
# the other tests' registrations is in it and nothing of these is left for them:
#   - the registry entries that installing the x64 package writes are exactly those that
#     regsvr32 writes for the same two files in the same places (both views);
#   - the x64 package installs silently, a 64-bit script host (and a 32-bit one where the
#     machine runs 32-bit programs) creates the control by ProgID and extracts an archive;
#   - a newer build installed over it replaces it in place: one entry in the installed
#     programs, with the newer version; the older one is then refused;
#   - msiexec /x leaves no file and no registry key or value in either view;
#   - where 32-bit programs run, the x86 package likewise, beside the regsvr32 of its control.
#   msi_test.sh X64_MSI X86_MSI OCX64 OCX32 VERSION TYPELIB_VERSION SCRATCH_FOLDER
set -euo pipefail
msi64=${1:?x64 package}
msi86=${2:?x86 package}
ocx64=${3:?64-bit control}
ocx32=${4:?32-bit control}
version=${5:?product version}
typelib_version=${6:?type library version}
scratch=${7:?scratch folder}
for f in "$msi64" "$msi86" "$ocx64" "$ocx32"; do
  [ -f "$f" ] || { echo "missing $f: build the packages first (scripts/package)" >&2; exit 1; }
done

root="$(cd "$(dirname "$0")/../.." && pwd)"
registry="python3 $root/tests/packaging/wine_registry.py"
rm -rf "$scratch"
mkdir -p "$scratch"
export ZAX_WINE_WIDTH=64 ZAX_WINEPREFIX64="$scratch/prefix"
source "$root/scripts/wine-env"
source "$root/tests/support/extract_script.sh"
if why_not_32=$("$root/scripts/runs-32bit"); then run_32=1; else run_32=0; fi
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ "${passed:-0}" = 1 ] && rm -rf "$scratch"
  return 0
}
trap cleanup EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
# Every Wine program runs with no output of ours to hold (the server and the services it
# starts would keep the test runner's pipe open), its output kept in a log.
log="$scratch/wine.log"
wine64() { /usr/lib/wine/wine64 "$@" </dev/null >>"$log" 2>&1; }
wine32() { wine "$@" </dev/null >>"$log" 2>&1; }
winpath() { /usr/lib/wine/wine64 winepath -w "$1" </dev/null 2>/dev/null | tr -d '\r'; }
# The registry as the server has it, once every program ended and the server wrote it out.
snapshot() {  # snapshot NAME
  wineserver -w
  $registry snapshot "$WINEPREFIX" "$scratch/$1.json"
}
classes() { $registry classes "$scratch/$1.json" "$scratch/$2.json"; }
leftovers() { $registry leftovers "$scratch/$1.json" "$scratch/$2.json"; }
programs() { $registry programs "$scratch/$1.json"; }
nothing() { [ ! -s "$1" ] || { sed 's/^/    /' "$1"; return 1; }; }
same() {
  diff "$1" "$2" >"$scratch/diff.txt" && return 0
  echo "    < regsvr32, > package:"
  sed 's/^/    /' "$scratch/diff.txt"
  return 1
}

echo "booting a scratch prefix"
"$root/scripts/wine-prefix" >>"$log" 2>&1
# The script hosts register their own type library the first time they run: let them do
# it before the first reading, so that what they write is not taken for the control's.
printf 'WScript.Echo "ready"\r\n' >"$scratch/ready.vbs"
wine64 'C:\windows\system32\cscript.exe' //nologo "$(winpath "$scratch/ready.vbs")"
[ "$run_32" = 1 ] && wine32 'C:\windows\syswow64\cscript.exe' //nologo "$(winpath "$scratch/ready.vbs")"
drive_c="$WINEPREFIX/drive_c"
folder64="$drive_c/Program Files/ZAXTarGzip"
folder32="$drive_c/Program Files (x86)/ZAXTarGzip"
snapshot fresh

# --- What regsvr32 writes, with the two files where the x64 package puts them. The 32-bit
# one first: the type library's help folder, which 64-bit Windows keeps once for both
# views, is then the 64-bit control's, as the package writes it.
mkdir -p "$folder64" "$folder32"
cp "$ocx64" "$folder64/ZAXTarGzip.ocx"
cp "$ocx32" "$folder32/ZAXTarGzip.ocx"
regsvr64() { wine64 'C:\windows\system32\regsvr32.exe' /s "$@" 'C:\Program Files\ZAXTarGzip\ZAXTarGzip.ocx'; }
regsvr32() { wine32 'C:\windows\syswow64\regsvr32.exe' /s "$@" 'C:\Program Files (x86)\ZAXTarGzip\ZAXTarGzip.ocx'; }
if [ "$run_32" = 1 ]; then
  check "the 32-bit regsvr32 registers the 32-bit control" regsvr32
  snapshot regsvr32
  classes fresh regsvr32 >"$scratch/regsvr32.txt"
fi
check "the 64-bit regsvr32 registers the 64-bit control" regsvr64
snapshot regsvr
classes fresh regsvr >"$scratch/regsvr.txt"
if [ "$run_32" = 1 ]; then
  cp "$scratch/regsvr.txt" "$scratch/expected64.txt"
else
  # The 32-bit control's own entries, derived from the 64-bit one's: its class in the 32-bit
  # view and the type library's win32 entry, both naming the file in Program Files (x86).
  {
    cat "$scratch/regsvr.txt"
    sed -n 's/^\[64\] \(HKCR\\CLSID\\.*\)$/[32] \1/p' "$scratch/regsvr.txt" |
      sed 's/C:\\\\Program Files\\\\/C:\\\\Program Files (x86)\\\\/'
    sed -n 's/^\(\[64\] HKCR\\Typelib\\.*\\409\\\)win64\(.*\)$/\1win32\2/p' "$scratch/regsvr.txt" |
      sed 's/C:\\\\Program Files\\\\/C:\\\\Program Files (x86)\\\\/'
  } | sort -u -f >"$scratch/expected64.txt"
  echo "(the 32-bit control's entries are derived from the 64-bit one's: $why_not_32)"
fi
check "regsvr32 /u takes the registration back" regsvr64 /u
[ "$run_32" = 1 ] && check "the 32-bit regsvr32 /u takes its registration back" regsvr32 /u
rm -rf "$folder64" "$folder32"
snapshot unregistered
leftovers fresh unregistered >"$scratch/left.txt"
check "nothing of regsvr32 is left in the registry" nothing "$scratch/left.txt"

# --- The x64 package.
check "the x64 package installs silently" wine64 msiexec /i "$(winpath "$msi64")" /qn
snapshot installed
classes fresh installed >"$scratch/installed.txt"
sort -f "$scratch/expected64.txt" -o "$scratch/expected64.txt"
sort -f "$scratch/installed.txt" -o "$scratch/installed.txt"
check "its registry entries are those regsvr32 writes ($(wc -l <"$scratch/installed.txt") lines)" \
  same "$scratch/expected64.txt" "$scratch/installed.txt"
check "the 64-bit control is in Program Files" cmp -s "$ocx64" "$folder64/ZAXTarGzip.ocx"
check "the 32-bit control is in Program Files (x86)" cmp -s "$ocx32" "$folder32/ZAXTarGzip.ocx"
check "one installed program: ZAXTarGzip $version" test "$(programs installed)" = "ZAXTarGzip $version"

# Extracts an archive with a script host of one width; true when the control answered 0 and
# the tree is exact.
work="$scratch/work"
mkdir -p "$work/src/docs"
printf 'read me\n' >"$work/src/docs/readme.txt"
head -c 70000 /dev/urandom >"$work/src/data.bin"
tar -C "$work/src" -czf "$work/site.tgz" docs data.bin
extracts() {  # extracts 32|64 NAME
  local out="$work/$2" script="$work/$2.vbs" said
  rm -rf "$out"
  write_extract_script "$script" "$(winpath "$work/site.tgz")" "$(winpath "$out")"
  if [ "$1" = 64 ]; then
    said=$(/usr/lib/wine/wine64 'C:\windows\system32\cscript.exe' //nologo "$(winpath "$script")" \
      </dev/null 2>>"$log" | tr -d '\r' | tail -n 1)
  else
    said=$(wine 'C:\windows\syswow64\cscript.exe' //nologo "$(winpath "$script")" \
      </dev/null 2>>"$log" | tr -d '\r' | tail -n 1)
  fi
  [ "$said" = "Extracted=0" ] || { echo "    the script said: '$said'"; return 1; }
  diff -r "$work/src" "$out" >/dev/null
}
check "a 64-bit script extracts through the installed control" extracts 64 out64
if [ "$run_32" = 1 ]; then
  check "a 32-bit script extracts through the installed control" extracts 32 out32
else
  echo "(no 32-bit script host: $why_not_32)"
fi

# --- A newer build over it: the same files, the version one step up.
IFS=. read -r major minor patch _ <<<"$version.0.0"
newer="$major.$minor.$((patch + 1))"
"$root/packaging/make-msi" x64 "$newer" "$typelib_version" "$ocx64" "$ocx32" "$scratch/newer.msi"
check "the newer package ($newer) installs over it silently" wine64 msiexec /i "$(winpath "$scratch/newer.msi")" /qn
snapshot upgraded
check "one installed program: ZAXTarGzip $newer" test "$(programs upgraded)" = "ZAXTarGzip $newer"
classes fresh upgraded | sort -f >"$scratch/upgraded.txt"
check "the registry entries are the same after the upgrade" same "$scratch/installed.txt" "$scratch/upgraded.txt"
check "a 64-bit script still extracts" extracts 64 out64-newer
check "the older package is refused now" eval '! wine64 msiexec /i "$(winpath "$msi64")" /qn'
snapshot refused
check "and changes nothing" test "$(programs refused)" = "ZAXTarGzip $newer"

# --- Removal.
check "msiexec /x removes it silently" wine64 msiexec /x "$(winpath "$scratch/newer.msi")" /qn
snapshot removed
check "no program is left installed" test -z "$(programs removed)"
leftovers fresh removed >"$scratch/left.txt"
check "no registry key or value is left in either view" nothing "$scratch/left.txt"
check "no folder is left in Program Files" test ! -e "$folder64"
check "no folder is left in Program Files (x86)" test ! -e "$folder32"

# --- The x86 package, for 32-bit Windows: what 32-bit regsvr32 alone writes.
if [ "$run_32" = 1 ]; then
  check "the x86 package installs silently" wine32 'C:\windows\syswow64\msiexec.exe' /i "$(winpath "$msi86")" /qn
  snapshot installed86
  classes fresh installed86 | sort -f >"$scratch/installed86.txt"
  # Under WOW64 the 32-bit regsvr32 registers the interfaces in the 64-bit view as well; a
  # package for 32-bit Windows has no 64-bit view to write (and a 64-bit host cannot load
  # the 32-bit control in any case).
  grep -v '^\[64\] HKCR\\Interface\\' "$scratch/regsvr32.txt" | sort -f >"$scratch/expected86.txt"
  check "its registry entries are those the 32-bit regsvr32 writes in the 32-bit view" \
    same "$scratch/expected86.txt" "$scratch/installed86.txt"
  check "a 32-bit script extracts through it" extracts 32 out86
  check "msiexec /x removes it silently" wine32 'C:\windows\syswow64\msiexec.exe' /x "$(winpath "$msi86")" /qn
  snapshot removed86
  leftovers fresh removed86 >"$scratch/left.txt"
  check "no registry key or value is left" nothing "$scratch/left.txt"
  check "no folder is left in Program Files (x86)" test ! -e "$folder32"
else
  echo "(the x86 package was not installed: $why_not_32; scripts check its tables)"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed; the prefix and logs stay in $scratch"; exit 1; }
passed=1
