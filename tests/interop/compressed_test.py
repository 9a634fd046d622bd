#!/usr/bin/env python3
"""One tar, compressed by each format's own tool, listed and extracted by the engine.

The tar (GNU tar, gnu format) holds files, folders, a long name, a file with holes and
non-ASCII names. Compressed by gzip, bzip2, pbzip2 (a stream per block), lbzip2, xz,
xz -T2 (several blocks), lzma, lzip, lzip -b (several members) and zstd, each must list as
the plain tar lists and extract to the same tree, holes kept as holes. A damaged or cut-off
form of each gives result 3; a stream whose dictionary or window is past the memory limit
gives result 11 with what it needs; data of another kind gives result 10, naming it, and
no destination is made for it.

usage: compressed_test.py ENGINE_DRIVER
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sparse_files import make_sparse_file  # noqa: E402

DRIVER = sys.argv[1]
failures = []

FORMS = [  # (suffix, command reading standard input, writing standard output)
    ("gz", ["gzip", "-c"]),
    ("bz2", ["bzip2", "-c"]),
    ("pbzip2.bz2", ["pbzip2", "-c", "-b1"]),
    ("lbzip2.bz2", ["lbzip2", "-c"]),
    ("xz", ["xz", "-c"]),
    ("blocks.xz", ["xz", "-c", "-T2", "--block-size=256KiB"]),
    ("lzma", ["lzma", "-c"]),
    ("lz", ["lzip", "-c"]),
    ("members.lz", ["lzip", "-c", "-b", "256KiB"]),
    ("zst", ["zstd", "-q", "-c"]),
]


def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, errors="surrogateescape", **kw)


def make_tree(root):
    os.makedirs(os.path.join(root, "docs", "empty-dir"))
    deep = os.path.join(root, "a" * 40, "b" * 40, "c" * 30)
    os.makedirs(deep)
    files = {
        "docs/readme.txt": b"hello\n",
        "docs/empty.txt": b"",
        "large.bin": os.urandom(200_000) + b"".join(b"line %d\n" % i for i in range(100_000)),
        os.path.join(deep, "long-file-name-" + "x" * 20 + ".txt"): b"deep\n",
        "caf\u00e9 \u2603/\u00fcber-\u041a\u0438\u0440.txt": b"unicode name\n",
    }
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    make_sparse_file(os.path.join(root, "disk.img"), 3 * 1024 * 1024 + 5,
                     [(0, b"boot" * 1000), (2 << 20, os.urandom(30_000))], 1_600_000_000)
    for folder, dirs, names in os.walk(root):
        for name in dirs + names:
            os.utime(os.path.join(folder, name), (1_600_000_000, 1_600_000_000))


def listing(archive):
    out = run([DRIVER, "list", archive]).stdout.splitlines()
    return out[-1], out[:-1]


def extract(archive, dest):
    return run([DRIVER, "extract", archive, dest]).stdout.strip()


def tree(root):
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(folder, d), root)] = ("dir",)
        for f in files:
            path = os.path.join(folder, f)
            with open(path, "rb") as h:
                found[os.path.relpath(path, root)] = ("file", h.read(), int(os.stat(path).st_mtime),
                                                     os.stat(path).st_blocks)
    return found


def expect(label, got, wanted):
    if got != wanted:
        failures.append(f"{label}: {got!r}, not {wanted!r}")


def main():
    with tempfile.TemporaryDirectory(prefix="zax-compressed-") as work:
        src = os.path.join(work, "src")
        make_tree(src)
        tar = os.path.join(work, "tree.tar")
        run(["tar", "--format=gnu", "--sparse", "-cf", tar, "-C", src, "."])
        with open(tar, "rb") as f:
            tar_bytes = f.read()
        plain_result, plain_listing = listing(tar)
        expect("plain tar", plain_result, "result 0")
        extract(tar, os.path.join(work, "plain"))
        plain_tree = tree(os.path.join(work, "plain"))
        if not any(name.endswith("disk.img") for name in plain_tree):
            failures.append("the plain tar extracted no sparse file")

        for suffix, command in FORMS:
            if not shutil.which(command[0]):
                failures.append(f"{command[0]} is not installed (scripts/setup installs it)")
                continue
            label = command[0] + " " + suffix
            archive = os.path.join(work, "tree.tar." + suffix)
            with open(archive, "wb") as f:
                subprocess.run(command, input=tar_bytes, stdout=f, check=True)
            result, entries = listing(archive)
            expect(f"{label}: listing", (result, entries), ("result 0", plain_listing))
            dest = os.path.join(work, "out-" + suffix)
            expect(f"{label}: extraction", extract(archive, dest), "result 0")
            got = tree(dest)
            if got != plain_tree:
                differ = sorted(k for k in got.keys() | plain_tree.keys() if got.get(k) != plain_tree.get(k))
                failures.append(f"{label}: extracted tree differs from the plain tar's at {differ}")
            with open(archive, "rb") as f:
                data = f.read()
            spoiled = bytearray(data)
            spoiled[len(data) // 2] ^= 0x55
            for how, damaged in [("cut", data[: len(data) * 2 // 3]), ("its end cut", data[:-1]),
                                 ("a changed byte", bytes(spoiled))]:
                if how == "a changed byte" and suffix == "lzma":
                    continue  # legacy lzma has no check
                path = os.path.join(work, "damaged")
                with open(path, "wb") as f:
                    f.write(damaged)
                expect(f"{label}, {how}: listing", listing(path)[0], "result 3")
                expect(f"{label}, {how}: extraction", extract(path, os.path.join(work, "d-" + suffix)), "result 3")

        small = os.urandom(20_000)
        for name, command, needs in [("hungry.xz", ["xz", "-c", "--lzma2=dict=1536MiB"], "1537 MiB"),
                                     ("hungry.lzma", ["lzma", "-c", "--lzma1=dict=1536MiB"], "1537 MiB"),
                                     ("hungry.zst", ["zstd", "-q", "-c", "--long=31"], "2048 MiB")]:
            path = os.path.join(work, name)
            with open(path, "wb") as f:
                subprocess.run(command, input=small, stdout=f, check=True)
            expect(f"{name}: listing", listing(path)[0],
                   f"result 11: {needs} needed, the limit is 128 MiB")

        refused = os.path.join(work, "refused")
        os.makedirs(refused)
        with zipfile.ZipFile(os.path.join(refused, "tree.tar.gz"), "w") as z:
            z.writestr("a.txt", "a")
        with open(os.path.join(refused, "tree.tar.lz4"), "wb") as f:
            f.write(bytes([0x04, 0x22, 0x4D, 0x18, 0x64, 0x40, 0xA7]) + os.urandom(600))
        with open(os.path.join(refused, "tree.tar.Z"), "wb") as f:
            f.write(bytes([0x1F, 0x9D, 0x90]) + os.urandom(600))
        for name, what in [("tree.tar.gz", "a zip archive"), ("tree.tar.lz4", "lz4 compressed data"),
                           ("tree.tar.Z", "compress (.Z) data")]:
            path = os.path.join(refused, name)
            expect(f"{name}: listing", listing(path)[0], f"result 10: {what}")
            dest = os.path.join(work, "never-made")
            expect(f"{name}: extraction", extract(path, dest), f"result 10: {what}")
            if os.path.exists(dest):
                failures.append(f"{name}: the destination was made for a file of another kind")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
