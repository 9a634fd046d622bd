#!/usr/bin/env python3
"""Times readers side by side, interleaved: every round runs each command once, in turn, so
that a change in the machine's load falls on all of them alike. Prints the median of each,
zaxtar's ratio to each, zaxtar's peak memory and the targets.

usage: compare.py WORKDIR ZAXTAR ENGINE_RUN ENGINE_LIB ZLIB_ENGINE_LIB
                  [WINE_RUN WIN64_ENGINE_RUN WIN64_ENGINE_LIB]
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

RUNS = int(os.environ.get("BENCH_RUNS", "5"))
work, zaxtar, engine_run, engine_lib, zlib_engine_lib = sys.argv[1:6]
win64 = sys.argv[6:9] if len(sys.argv) >= 9 else None
out = os.path.join(work, "out")


def timed(command):
    """Wall seconds and peak resident memory (KiB) of one run of a shell command (the
    largest of its processes, as GNU time measures it)."""
    peak_file = os.path.join(work, "peak.txt")
    start = time.perf_counter()
    process = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak_file, "bash", "-c", command],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if process.returncode != 0:
        raise SystemExit(f"bench: `{command}` failed ({process.returncode}): {process.stderr.decode()[-400:]}")
    with open(peak_file) as f:
        return elapsed, int(f.read().split()[-1])


def fresh_out():
    # The last extraction's files are removed and the removal written out before the next
    # command starts, so that no command pays for the one before it.
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"], check=True)


def compare(title, commands, runs=RUNS, once=()):
    """commands: [(label, shell command, needs a fresh output folder)]"""
    print(f"\n== {title}")
    times = {label: [] for label, _, _ in commands}
    memory = {label: 0 for label, _, _ in commands}
    for round_number in range(runs + 1):  # the first round only warms the page cache
        for label, command, extracts in commands:
            if label in once and round_number != 1:
                continue
            if extracts:
                fresh_out()
            seconds, peak = timed(command)
            if round_number > 0:
                times[label].append(seconds)
                memory[label] = max(memory[label], peak)
    medians = {label: statistics.median(values) for label, values in times.items() if values}
    ours = medians["zaxtar"]
    print(f"{'command':<34}{'median s':>10}{'zaxtar / it':>13}{'runs':>6}{'peak MiB':>10}")
    for label, _, _ in commands:
        if label not in medians:
            continue
        print(f"{label:<34}{medians[label]:>10.3f}{ours / medians[label]:>13.2f}{len(times[label]):>6}"
              f"{memory[label] / 1024:>10.1f}")
    shutil.rmtree(out, ignore_errors=True)
    return medians, memory


def verdict(name, value, limit, unit=""):
    print(f"  {name}: {value:.2f}{unit} (target <= {limit}{unit}) {'met' if value <= limit else 'NOT met'}")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


large = os.path.join(work, "large.tar.gz")
many = os.path.join(work, "many.tar.gz")
million = os.path.join(work, "million.tar.gz")
python_extract = "python3 -c 'import tarfile,sys; tarfile.open(sys.argv[1]).extractall(sys.argv[2])'"


def extraction(archive):
    return [
        ("zaxtar", f"{zaxtar} extract {archive} {out}", True),
        ("bsdtar -x", f"bsdtar -xf {archive} -C {out}", True),
        ("GNU tar -x", f"tar -xzf {archive} -C {out}", True),
        ("python tarfile", f"{python_extract} {archive} {out}", True),
        ("gzip -dc (inflate alone)", f"gzip -dc {archive} > /dev/null", False),
        ("igzip -dc (ISA-L inflate alone)", f"igzip -dc {archive} > /dev/null", False),
    ]


commands = extraction(large) + [
    ("engine_run native", f"{engine_run} {engine_lib} '{windows_path(large)}' '{windows_path(out)}'", True),
    ("engine_run native, zlib", f"{engine_run} {zlib_engine_lib} '{windows_path(large)}' '{windows_path(out)}'",
     True)]
if win64:
    wine_run, win_engine_run, win_lib = win64
    commands.append(("engine_run win64 under Wine",
                     f"{wine_run} {win_engine_run} '{windows_path(win_lib)}' '{windows_path(large)}' "
                     f"'{windows_path(out)}'",
                     True))
if win64:
    # Wine's own process start: a program that exits at once (engine_run without arguments).
    commands.append(("empty win64 process under Wine", f"{wine_run} {win_engine_run} >/dev/null 2>&1 || true", False))
large_medians, large_memory = compare("large files: extraction", commands)

# The large files in the other compressions: (title, archive, the format's own decompressor,
# the memory its dictionary or window needs).
OTHER_FORMATS = [
    ("xz, one block", "large.tar.xz", "xz -dc -T1", 8),
    ("xz, several blocks", "large-blocks.tar.xz", "xz -dc -T1", 8),
    ("zstd", "large.tar.zst", "zstd -dc", 8),
    ("bzip2", "large.tar.bz2", "bzip2 -dc", 4),
]
format_results = []
for title, name, tool, window in OTHER_FORMATS:
    archive = os.path.join(work, name)
    format_commands = [
        ("zaxtar", f"{zaxtar} extract {archive} {out}", True),
        ("bsdtar -x", f"bsdtar -xf {archive} -C {out}", True),
        ("GNU tar -x", f"tar -xf {archive} -C {out}", True),
        (f"{tool} (alone)", f"{tool} {archive} > /dev/null", False),
        ("engine_run native", f"{engine_run} {engine_lib} '{windows_path(archive)}' '{windows_path(out)}'", True),
    ]
    if win64:
        format_commands += [
            ("engine_run win64 under Wine",
             f"{wine_run} {win_engine_run} '{windows_path(win_lib)}' '{windows_path(archive)}' '{windows_path(out)}'",
             True),
            ("empty win64 process under Wine", f"{wine_run} {win_engine_run} >/dev/null 2>&1 || true", False),
        ]
    medians, memory = compare(f"large files, {title}: extraction", format_commands)
    format_results.append((title, tool, window, medians, memory))
many_medians, many_memory = compare("many small files: extraction", extraction(many))
listing = [
    ("zaxtar", f"{zaxtar} list {million} > /dev/null", False),
    ("bsdtar -t", f"bsdtar -tf {million} > /dev/null", False),
    ("GNU tar -t", f"tar -tzf {million} > /dev/null", False),
    ("gzip -dc (inflate alone)", f"gzip -dc {million} > /dev/null", False),
    ("igzip -dc (ISA-L inflate alone)", f"igzip -dc {million} > /dev/null", False),
    ("python tarfile (one run)", f"python3 -c 'import tarfile,sys; tarfile.open(sys.argv[1]).getmembers()' {million}",
     False),
]
list_medians, list_memory = compare("1,001,000 entries: listing", listing, once=("python tarfile (one run)",))

entries = 1_001_000
print("\n== targets")
verdict("large files, zaxtar / bsdtar", large_medians["zaxtar"] / large_medians["bsdtar -x"], 0.6)
verdict("large files, zaxtar / igzip -dc", large_medians["zaxtar"] / large_medians["igzip -dc (ISA-L inflate alone)"], 1.5)
fastest = min(many_medians["bsdtar -x"], many_medians["GNU tar -x"])
verdict("many files, zaxtar / fastest of bsdtar and GNU tar", many_medians["zaxtar"] / fastest, 0.8)
verdict("listing, zaxtar / bsdtar -t", list_medians["zaxtar"] / list_medians["bsdtar -t"], 1.0)
verdict("listing, zaxtar's peak memory per entry", list_memory["zaxtar"] * 1024 / entries, 150, " bytes")
verdict("extraction, zaxtar's peak memory", max(large_memory["zaxtar"], many_memory["zaxtar"]) / 1024, 32, " MiB")


def wine_ratio(medians):
    """The win64 engine under Wine against the same driver natively, Wine's start taken off."""
    empty = medians["empty win64 process under Wine"]
    return (medians["engine_run win64 under Wine"] - empty) / medians["engine_run native"]


if win64:
    verdict("large files, gzip, win64 engine under Wine / native, Wine's start subtracted",
            wine_ratio(large_medians), 1.2)
    verdict("large files, win64 engine under Wine / native zaxtar",
            large_medians["engine_run win64 under Wine"] / large_medians["zaxtar"], 1.2)
    wine = large_medians["engine_run win64 under Wine"]
    print(f"  (win64 engine under Wine / the same driver native: {wine / large_medians['engine_run native']:.2f}; "
          f"/ the same driver native with zlib, as on Windows: {wine / large_medians['engine_run native, zlib']:.2f})")
for title, tool, window, medians, memory in format_results:
    verdict(f"{title}: zaxtar / bsdtar", medians["zaxtar"] / medians["bsdtar -x"], 0.8)
    limit = 0.65 if title == "xz, several blocks" else 1.15
    verdict(f"{title}: zaxtar / {tool}", medians["zaxtar"] / medians[f"{tool} (alone)"], limit)
    if win64:
        verdict(f"{title}: win64 engine under Wine / native, Wine's start subtracted", wine_ratio(medians), 1.3)
    verdict(f"{title}: zaxtar's peak memory less the {window} MiB its dictionary needs",
            memory["zaxtar"] / 1024 - window, 32, " MiB")
