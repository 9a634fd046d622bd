#!/usr/bin/env python3
"""Writes one tar stream and the same stream compressed by each format's own tool.

usage: make_compressed_samples.py OUTDIR

OUTDIR/sample.tar holds files (one of them incompressible, one large enough for several
xz blocks and bzip2 streams), folders, a long name and a non-ASCII name. OUTDIR/forms.txt
lists each compressed form, one "FILE" a line; each decompresses to sample.tar. Also written:
hungry.xz, hungry.lzma and hungry.zst, small streams whose dictionary or window (1.5 GiB,
2 GiB) is past any sane memory limit.
"""
import io
import os
import random
import subprocess
import sys
import tarfile

sys.dont_write_bytecode = True  # nothing written into the source tree


def sample_tar():
    random.seed(20261211)
    members = [
        ("docs/", None),
        ("docs/readme.txt", b"read me\n"),
        ("noise.bin", random.randbytes(300_000)),
        ("text.txt", b"".join(b"line %d of a text that compresses well\n" % i for i in range(40_000))),
        ("a-folder-whose-name-is-long-enough/" * 3 + "and-a-file-name-past-one-hundred-bytes.txt", b"long\n"),
        ("caf\u00e9 \u2603/\u00fcber.txt", "\u00fcber\n".encode()),
        ("empty.txt", b""),
    ]
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.GNU_FORMAT) as t:
        for name, data in members:
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime = 1_600_000_000
            if data is None:
                info.type = tarfile.DIRTYPE
                t.addfile(info)
            else:
                info.size = len(data)
                t.addfile(info, io.BytesIO(data))
    return buf.getvalue()


# (file, command reading standard input and writing standard output)
FORMS = [
    ("sample.tar.gz", ["gzip", "-c"]),
    ("sample.tar.bz2", ["bzip2", "-c"]),
    ("sample-pbzip2.tar.bz2", ["pbzip2", "-c", "-b1", "-p2"]),  # a stream per 100k block
    ("sample-lbzip2.tar.bz2", ["lbzip2", "-c", "-n2"]),
    ("sample.tar.xz", ["xz", "-c"]),
    ("sample-blocks.tar.xz", ["xz", "-c", "-T2", "--block-size=256KiB"]),
    ("sample-sha256.tar.xz", ["xz", "-c", "--check=sha256"]),
    ("sample-crc32.tar.xz", ["xz", "-c", "--check=crc32"]),
    ("sample.tar.lzma", ["lzma", "-c"]),
    ("sample.tar.lz", ["lzip", "-c"]),
    ("sample-members.tar.lz", ["lzip", "-c", "-b", "200KiB"]),  # a member per 200 KiB
    ("sample.tar.zst", ["zstd", "-q", "-c"]),
    ("sample-nocheck.tar.zst", ["zstd", "-q", "-c", "--no-check"]),
]

HUNGRY = [
    ("hungry.xz", ["xz", "-c", "--lzma2=dict=1536MiB"]),
    ("hungry.lzma", ["lzma", "-c", "--lzma1=dict=1536MiB"]),
    # From a pipe the size is unknown, so zstd keeps the whole 2 GiB window in the header.
    ("hungry.zst", ["zstd", "-q", "-c", "--long=31"]),
]


def main(out):
    os.makedirs(out, exist_ok=True)
    tar = sample_tar()
    with open(os.path.join(out, "sample.tar"), "wb") as f:
        f.write(tar)
    small = random.randbytes(50_000)
    for name, command, data in [(n, c, tar) for n, c in FORMS] + [(n, c, small) for n, c in HUNGRY]:
        with open(os.path.join(out, name), "wb") as f:
            subprocess.run(command, input=data, stdout=f, check=True)
    with open(os.path.join(out, "forms.txt"), "w") as f:
        for name, _ in FORMS:
            f.write(name + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
