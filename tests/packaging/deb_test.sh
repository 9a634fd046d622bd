#!/usr/bin/env bash
# The Debian package, installed by dpkg into a scratch root (not the system):
#   - it holds what it says and dpkg installs and removes it there;
#   - the installed zaxtar lists and extracts an archive;
#   - a C program built against the installed header and library extracts through it,
#     and the header declares the entry as the engine itself does;
#   - lintian reports nothing that the README does not explain.
#   deb_test.sh PACKAGE.deb
set -euo pipefail
deb=${1:?package}
[ -f "$deb" ] || { echo "missing $deb: build the packages first (scripts/package)" >&2; exit 1; }
root="$(cd "$(dirname "$0")/../.." && pwd)"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zax-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

check "the package holds zaxtar, the library, its header, the README and the manual page" \
  test "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')" = \
  "./usr/bin/zaxtar ./usr/include/untgz.h ./usr/lib/$multiarch/libuntgz.so ./usr/share/doc/zaxtargzip/README.md ./usr/share/doc/zaxtargzip/changelog.gz ./usr/share/doc/zaxtargzip/copyright ./usr/share/man/man1/zaxtar.1.gz "

# A root of dpkg's own, empty but for its database: the libraries the package depends on
# are the system's, so their absence from this database is overlooked.
target="$scratch/root"
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
touch "$target/var/lib/dpkg/status" "$target/var/lib/dpkg/available"
dpkg_root() { dpkg --root="$target" --force-depends --force-not-root --force-script-chrootless "$@" \
  >>"$scratch/dpkg.log" 2>&1; }
check "dpkg installs it into the scratch root" dpkg_root --install "$deb"
check "dpkg knows it as installed there" \
  test "$(dpkg-query --admindir="$target/var/lib/dpkg" -W -f='${Status}' zaxtargzip)" = "install ok installed"
[ "$failures" -eq 0 ] || { sed 's/^/    /' "$scratch/dpkg.log"; exit 1; }

# An archive of a small tree, and the installed zaxtar run on it.
mkdir -p "$scratch/src/docs"
printf 'read me\n' >"$scratch/src/docs/readme.txt"
head -c 70000 /dev/urandom >"$scratch/src/data.bin"
tar -C "$scratch/src" -czf "$scratch/site.tgz" docs data.bin
export TMPDIR="$scratch/tmp"
mkdir -p "$TMPDIR"
zaxtar="$target/usr/bin/zaxtar"
check "the installed zaxtar lists the archive" \
  eval '"$zaxtar" list "$scratch/site.tgz" >"$scratch/list.txt" && grep -q "docs/readme.txt" "$scratch/list.txt" &&
        grep -q "data.bin" "$scratch/list.txt" && tail -n 1 "$scratch/list.txt" | grep -q "^0 No error"'
check "the installed zaxtar extracts it" \
  eval '"$zaxtar" extract "$scratch/site.tgz" "$scratch/out" >/dev/null && diff -r "$scratch/src" "$scratch/out"'

# A C caller of the installed library: one extraction through the entry.
cat >"$scratch/caller.c" <<'C'
#define _DEFAULT_SOURCE
#include <stdio.h>
#include <stdint.h>
#include <unistd.h>
#include <untgz.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  interface1("setflaglist", 0, 0, 0);
  if (interface1("zaxuntar", (intptr_t)argv[1], (intptr_t)argv[2], (intptr_t)"*") != 0) return 3;
  while (interface1("status", 0, 0, 0) == 1) usleep(10000);
  printf("%d\n", (int)interface1("getintret", 0, 0, 0));
  return 0;
}
C
check "a C program builds against the installed header and library" \
  cc -std=c99 -Wall -Werror -I"$target/usr/include" -o "$scratch/caller" "$scratch/caller.c" \
    -L"$target/usr/lib/$multiarch" -luntgz
check "and extracts through it" \
  eval 'test "$(LD_LIBRARY_PATH="$target/usr/lib/$multiarch" "$scratch/caller" "Z:${scratch//\//\\}\\site.tgz" \
          "Z:${scratch//\//\\}\\c-out")" = 0 && diff -r "$scratch/src" "$scratch/c-out"'
# Declared twice in one C++ unit, the two declarations must agree or the compiler refuses.
printf '#include "common/entry.h"\n#include <untgz.h>\nstatic untgz_entry entry = &interface1;\nint main() { return entry == nullptr; }\n' \
  >"$scratch/agree.cpp"
check "the header declares the entry as the engine does" \
  c++ -std=c++17 -fsyntax-only -I"$root" -I"$target/usr/include" "$scratch/agree.cpp"

# Every tag lintian reports is explained in the README.
lintian --pedantic --display-info --display-experimental --no-tag-display-limit "$deb" 2>/dev/null |
  sed -n 's/^[EWIPX]: zaxtargzip[^:]*: \([a-z0-9-]*\).*/\1/p' | sort -u >"$scratch/tags.txt"
echo "lintian's tags: $(tr '\n' ' ' <"$scratch/tags.txt")"
unexplained() {
  local tag missing=0
  while read -r tag; do
    grep -q -- "\`$tag\`" "$root/README.md" || { echo "    not explained in the README: $tag"; missing=1; }
  done <"$scratch/tags.txt"
  return $missing
}
check "lintian reports no tag that the README does not explain" unexplained

check "dpkg removes it from the scratch root" dpkg_root --purge zaxtargzip
check "and no file is left there" test -z "$(find "$target/usr" -type f 2>/dev/null)"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
