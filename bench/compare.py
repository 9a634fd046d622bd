#!/usr/bin/env python3
"""Times readers side by side, interleaved: every round runs each command once, in turn, so
that a change in the machine's load falls on all of them alike. Prints the median of each,
zaxtar's ratio to each, zaxtar's peak memory and the targets.

usage: compare.py WORKDIR ZAXTAR ENGINE_RUN ENGINE_LIB ZLIB_ENGINE_LIB
                  [WINE_RUN WIN64_ENGINE_RUN WIN64_ENGINE_LIB [WIN64_CONTROL_RUN WIN64_OCX]]
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

RUNS = int(os.environ.get("BENCH_RUNS", "5"))
# BENCH_ONLY=one,include,listing runs only those sections (large, formats, many, one,
# include, listing); the targets of the others show as not run.
ONLY = set(filter(None, os.environ.get("BENCH_ONLY", "").split(",")))


class Figures(dict):
    """Medians or peaks by label; a label that was not run reads as NaN."""

    def __missing__(self, label):
        return float("nan")
work, zaxtar, engine_run, engine_lib, zlib_engine_lib = sys.argv[1:6]
win64 = sys.argv[6:9] if len(sys.argv) >= 9 else None
win64_control = sys.argv[9:11] if len(sys.argv) >= 11 else None
out = os.path.join(work, "out")
# A folder on a tmpfs, where a tool's own work shows rather than the disk's.
tmpfs_out = os.path.join("/dev/shm", f"zaxtar-bench-{os.getpid()}")


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
    for folder in (out, tmpfs_out):
        shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(out)
    if os.path.isdir("/dev/shm"):
        os.makedirs(tmpfs_out)
    subprocess.run(["sync"], check=True)


def compare(title, commands, runs=RUNS, once=(), section=None):
    """commands: [(label, shell command, needs a fresh output folder)]"""
    if ONLY and section not in ONLY:
        return Figures(), Figures()
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
    shutil.rmtree(tmpfs_out, ignore_errors=True)
    return Figures(medians), Figures(memory)


def verdict(name, value, limit, unit=""):
    if value != value:  # NaN: a figure of a section not run
        print(f"  {name}: not run (target <= {limit}{unit})")
        return
    print(f"  {name}: {value:.2f}{unit} (target <= {limit}{unit}) {'met' if value <= limit else 'NOT met'}")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


large = os.path.join(work, "large.tar.gz")
many = os.path.join(work, "many.tar.gz")
million = os.path.join(work, "million-gnu.tar.gz")
python_extract = "python3 -c 'import tarfile,sys; tarfile.open(sys.argv[1]).extractall(sys.argv[2])'"


def extraction(archive, into=None):
    into = into or out
    return [
        ("zaxtar", f"{zaxtar} extract {archive} {into}", True),
        ("bsdtar -x", f"bsdtar -xf {archive} -C {into}", True),
        ("GNU tar -x", f"tar -xzf {archive} -C {into}", True),
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
large_medians, large_memory = compare("large files: extraction", commands, section="large")

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
    medians, memory = compare(f"large files, {title}: extraction", format_commands, section="formats")
    format_results.append((title, tool, window, medians, memory))
many_medians, many_memory = compare("many small files: extraction", extraction(many), section="many")

# One member: what a job costs whatever its size (process start, the engine's deployment,
# the job's start and the news of its end).
one = os.path.join(work, "one.tar.gz")
one_commands = [
    ("zaxtar", f"{zaxtar} extract {one} {out}", True),
    ("bsdtar -x", f"bsdtar -xf {one} -C {out}", True),
    ("GNU tar -x", f"tar -xzf {one} -C {out}", True),
]
if win64_control:
    control_run, ocx = win64_control
    one_commands += [
        ("win64 control under Wine, waiting",
         f"{wine_run} {control_run} '{windows_path(ocx)}' extract '{windows_path(one)}' '{windows_path(out)}'", True),
        ("empty win64 process under Wine", f"{wine_run} {control_run}", False),
    ]
one_medians, _ = compare("one member: extraction, whole process", one_commands, runs=max(RUNS, 15),
                        section="one")

# /usr/include as a .tgz: thousands of small files, on the disk and on a tmpfs.
usr_include = os.path.join(work, "usr-include.tar.gz")
include_disk, _ = compare("/usr/include: extraction to the disk", extraction(usr_include)[:3],
                          section="include")
include_tmpfs = None
if os.path.isdir("/dev/shm"):
    include_tmpfs, _ = compare("/usr/include: extraction to a tmpfs", extraction(usr_include, tmpfs_out)[:3],
                               section="include")

listing = [
    ("zaxtar", f"{zaxtar} list {million} > /dev/null", False),
    ("bsdtar -t", f"bsdtar -tf {million} > /dev/null", False),
    ("bsdtar -tv", f"bsdtar -tvf {million} > /dev/null", False),
    ("GNU tar -t", f"tar -tzf {million} > /dev/null", False),
    ("gzip -dc (inflate alone)", f"gzip -dc {million} > /dev/null", False),
    ("igzip -dc (ISA-L inflate alone)", f"igzip -dc {million} > /dev/null", False),
    ("python tarfile (one run)", f"python3 -c 'import tarfile,sys; tarfile.open(sys.argv[1]).getmembers()' {million}",
     False),
]
if win64_control:
    listing += [
        ("win64 control under Wine, C++ sink",
         f"{wine_run} {control_run} '{windows_path(ocx)}' list '{windows_path(million)}'", False),
        ("empty win64 process under Wine", f"{wine_run} {control_run}", False),
    ]
list_medians, list_memory = compare("1,001,000 entries: listing", listing, once=("python tarfile (one run)",),
                                   section="listing")

entries = 1_001_000
print("\n== targets")
verdict("large files, zaxtar / bsdtar", large_medians["zaxtar"] / large_medians["bsdtar -x"], 0.6)
verdict("large files, zaxtar / igzip -dc", large_medians["zaxtar"] / large_medians["igzip -dc (ISA-L inflate alone)"], 1.3)
fastest = min(many_medians["bsdtar -x"], many_medians["GNU tar -x"])
verdict("many files, zaxtar / fastest of bsdtar and GNU tar", many_medians["zaxtar"] / fastest, 0.8)
verdict("one member, zaxtar / bsdtar", one_medians["zaxtar"] / one_medians["bsdtar -x"], 3.0)
verdict("/usr/include on the disk, zaxtar / fastest of bsdtar and GNU tar",
        include_disk["zaxtar"] / min(include_disk["bsdtar -x"], include_disk["GNU tar -x"]), 0.8)
if include_tmpfs:
    verdict("/usr/include on a tmpfs, zaxtar / fastest of bsdtar and GNU tar",
            include_tmpfs["zaxtar"] / min(include_tmpfs["bsdtar -x"], include_tmpfs["GNU tar -x"]), 0.3)
verdict("listing, zaxtar / bsdtar -t", list_medians["zaxtar"] / list_medians["bsdtar -t"], 0.8)
print(f"  (listing, zaxtar / bsdtar -tv, which prints what zaxtar prints: "
      f"{list_medians['zaxtar'] / list_medians['bsdtar -tv']:.2f})")
verdict("listing, zaxtar's peak memory per entry", list_memory["zaxtar"] * 1024 / entries, 100, " bytes")
if win64_control:
    empty = list_medians["empty win64 process under Wine"]
    verdict("listing through the win64 control under Wine to a C++ sink / native zaxtar, Wine's start subtracted",
            (list_medians["win64 control under Wine, C++ sink"] - empty) / list_medians["zaxtar"], 1.5)
    print(f"  (one member through the win64 control under Wine, waiting, Wine's start subtracted: "
          f"{(one_medians['win64 control under Wine, waiting'] - one_medians['empty win64 process under Wine']) * 1000:.0f} ms)")
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
