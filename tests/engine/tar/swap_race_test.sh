#!/usr/bin/env bash
# A second process swaps the folders an extraction is filling for links to a folder
# outside the destination, again and again, while the engine writes an archive whose
# members alternate between those folders: two of them (which the engine keeps open), then
# more than it keeps open (so that it reaches them again through what was swapped). Nothing may land outside; every member is
# either written (in the folder it was made in, wherever that was moved) or counted, and
# the result is 0 only when none was counted. Run against the engine of a Windows build
# under Wine, the swap done from the Unix side (where Wine's share modes cannot stop it),
# or against the native engine.
#   swap_race_test.sh ENGINE_RUN ENGINE_LIBRARY [RUNS [MEMBERS]]
# ENGINE_RUN is bench/engine_run of the same build; a .exe runs under Wine's 64-bit loader.
set -euo pipefail
engine_run=${1:?engine_run}
library=${2:?engine library}
runs=${3:-2}
members=${4:-20000}
root="$(cd "$(dirname "$0")/../../.." && pwd)"

runner=()
if [[ "$engine_run" == *.exe ]]; then
  # Exported: wine-run reads the width again, and the 32-bit default is a prefix a machine
  # without 32-bit programs cannot boot.
  export ZAX_WINE_WIDTH=64
  source "$root/scripts/wine-env"
  "$root/scripts/wine-run" cmd /c exit </dev/null >/dev/null 2>&1
  runner=(/usr/lib/wine/wine64)
  # Through the prefix's own loader: the `winepath` wrapper takes the 32-bit one.
  windows_path() {
    local path
    path=$(zax_wine winepath -w "$1" 2>/dev/null | tr -d '\r')
    [ -n "$path" ] || { echo "no Windows path for $1" >&2; exit 1; }
    echo "$path"
  }
fi

work=$(mktemp -d /tmp/zax-race.XXXXXX)
# A swapper left running would hold the test runner's pipe open.
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
for folders in 2 40; do
  python3 - "$work/race$folders.tar" "$members" "$folders" <<'PY'
import io, sys, tarfile
path, members, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with tarfile.open(path, "w", format=tarfile.GNU_FORMAT) as tar:
    for i in range(members):
        info = tarfile.TarInfo(f"d{i % folders}/f{i}")
        info.size = 1
        tar.addfile(info, io.BytesIO(b"x"))
PY
done

failures=0
for run in $(seq 1 "$runs"); do
  folders=$(( run % 2 == 1 ? 2 : 40 ))
  out="$work/out$run" outside="$work/outside$run"
  mkdir -p "$out" "$outside"
  # Swaps each folder once it holds files: renamed away (inside the destination, so what
  # the engine writes into the folder it holds stays countable) and a link put in its place;
  # a link is taken away again, so that the engine makes a new folder to swap.
  python3 - "$out" "$outside" "$work/stop$run" "$folders" <<'PY' &
import os, sys, time
out, outside, stop, folders = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
n = 0
while not os.path.exists(stop):
    for name in (f"d{i}" for i in range(folders)):
        p = os.path.join(out, name)
        try:
            if os.path.islink(p):
                os.unlink(p)
            elif os.path.isdir(p) and os.listdir(p):
                n += 1
                os.rename(p, os.path.join(out, f"moved{n}"))
                os.symlink(outside, p)
        except OSError:
            pass
    time.sleep(0.0005)
open(stop, "w").write(str(n))
PY
  swapper=$!
  if [ ${#runner[@]} -gt 0 ]; then
    archive=$(windows_path "$work/race$folders.tar")
    dest=$(windows_path "$out")
    line=$("${runner[@]}" "$engine_run" "$(windows_path "$library")" "$archive" "$dest" </dev/null || true)
  else
    line=$("$engine_run" "$library" "Z:${work//\//\\}\\race$folders.tar" "Z:${out//\//\\}" </dev/null || true)
  fi
  touch "$work/stop$run"
  wait "$swapper" || true
  line=$(echo "$line" | tr -d '\r')
  result=$(echo "$line" | sed -n 's/^result \([0-9]*\) failed \([0-9]*\)$/\1/p')
  failed=$(echo "$line" | sed -n 's/^result \([0-9]*\) failed \([0-9]*\)$/\2/p')
  outside_count=$(find "$outside" -type f | wc -l)
  inside_count=$(find "$out" -type f | wc -l)
  echo "run $run ($folders folders): $line; $inside_count written inside, $outside_count outside; $(cat "$work/stop$run") folders swapped"
  if [ -z "$result" ]; then echo "FAILED: the engine gave no result"; failures=$((failures + 1)); continue; fi
  [ "$outside_count" = 0 ] || { echo "FAILED: files outside the destination"; failures=$((failures + 1)); }
  [ $((inside_count + failed)) = "$members" ] || { echo "FAILED: members neither written nor counted"; failures=$((failures + 1)); }
  if [ "$failed" != 0 ] && [ "$result" = 0 ]; then echo "FAILED: members counted, yet the result is 0"; failures=$((failures + 1)); fi
done
exit $((failures > 0))
