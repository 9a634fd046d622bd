#!/usr/bin/env python3
"""Writes archives of one small tree with other tools, and what a host must be told of each.

usage: make_real_archives.py OUTDIR

OUTDIR/tree holds the tree; OUTDIR/<archive> are written by GNU tar (gnu format, gzip),
GNU tar (pax), bsdtar (ustar, gzip) and Python's tarfile (pax, gzip). OUTDIR/expected.txt
gives, for each archive, a line "archive NAME" followed by the TarFileInformation events a
listing must raise, in the test's rendering, as Python's tarfile reads the archive:
IsDirectory, the modification time in local time, the stored name, the size, and the
archive's numbers of files and of directories.
"""
import os
import random
import shutil
import subprocess
import sys
import tarfile
import time

LONG = "a-folder-whose-name-is-long-enough/" * 3 + "and-a-file-name-past-one-hundred-bytes.txt"
MEMBERS = ["docs/", "docs/readme.txt", "docs/empty.txt", "data.bin", "docs/nested/", LONG]


def make_tree(tree):
    random.seed(20261210)
    contents = {
        "docs/readme.txt": b"read me\n",
        "docs/empty.txt": b"",
        "data.bin": bytes(random.getrandbits(8) for _ in range(150000)),
        LONG: b"long\n",
    }
    for name in MEMBERS:
        path = os.path.join(tree, name)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(contents[name])
    # Times in several seasons, so that a daylight-saving slip would show.
    for i, name in enumerate(reversed(sorted(MEMBERS))):
        stamp = 1_600_000_000 + i * 7_654_321
        os.utime(os.path.join(tree, name.rstrip("/")), (stamp, stamp))


def write_archives(out, tree):
    members = [m.rstrip("/") for m in MEMBERS]
    def gnu(fmt, archive, compress):
        subprocess.run(["tar", f"--format={fmt}", "--no-recursion", "-C", tree,
                        "-c" + ("z" if compress else "") + "f", os.path.join(out, archive)] + members,
                       check=True)
    gnu("gnu", "gnu-tar.tgz", True)
    gnu("pax", "gnu-tar-pax.tar", False)
    subprocess.run(["bsdtar", "--format=ustar", "-n", "-C", tree, "-czf",
                    os.path.join(out, "bsdtar-ustar.tar.gz")] + members, check=True,
                   stderr=subprocess.DEVNULL)
    with tarfile.open(os.path.join(out, "python-pax.tar.gz"), "w:gz", format=tarfile.PAX_FORMAT) as t:
        for m in members:
            t.add(os.path.join(tree, m), arcname=m, recursive=False)
    return ["gnu-tar.tgz", "gnu-tar-pax.tar", "bsdtar-ustar.tar.gz", "python-pax.tar.gz"]


def expected(path):
    with tarfile.open(path) as t:
        entries = [m for m in t.getmembers() if m.isdir() or m.isfile()]
    files = sum(1 for m in entries if m.isfile())
    dirs = len(entries) - files
    lines = []
    for m in entries:
        local = time.localtime(m.mtime)
        name = m.name + "/" if m.isdir() else m.name
        lines.append("TarFileInformation(%d,%d,%d,%d,%d,%d,%d,%s,%d,%d,%d)" % (
            m.isdir(), local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min,
            local.tm_sec, name, 0 if m.isdir() else m.size, files, dirs))
    return lines


def main(out):
    shutil.rmtree(out, ignore_errors=True)
    tree = os.path.join(out, "tree")
    os.makedirs(tree)
    make_tree(tree)
    with open(os.path.join(out, "expected.txt"), "w") as f:
        for archive in write_archives(out, tree):
            f.write("archive " + archive + "\n")
            for line in expected(os.path.join(out, archive)):
                f.write(line + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
