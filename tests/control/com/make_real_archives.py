#!/usr/bin/env python3
"""Writes archives of one small tree with other tools, and what a host must be told of each.

usage: make_real_archives.py OUTDIR TESTTAR

OUTDIR/tree holds the tree; OUTDIR/<archive> are written by GNU tar (gnu format, gzip),
GNU tar (pax; and that archive through bzip2, xz, lzma, lzip and zstd), bsdtar (ustar,
gzip) and Python's tarfile (pax, gzip). OUTDIR/sparse-tree
holds files with holes, archived by GNU tar in each of its sparse formats. TESTTAR is
CPython's test archive; OUTDIR/testtar-tree is what Python's tarfile extracts of its
folders and regular files, each name as Windows writes it (UTF-8 where it is, else its
cp1252 reading, the ANSI code page of the test prefix). OUTDIR/names-tree holds names in
every script (Latin accents, Greek, Cyrillic, CJK, an emoji, ':' and '?', a path past 300
characters), archived by GNU tar in its gnu and pax formats; names-cp1252.tar holds names
in cp1252, as Windows tools of old wrote them. OUTDIR/expected.txt gives, for each archive,
a line "archive NAME TREE SELECTION" (TREE: the folder its extraction with SELECTION must
equal, "-" for none) followed by the TarFileInformation events a listing must raise, in the
test's rendering, as Python's tarfile reads the archive: IsDirectory, the modification time
in local time, the stored name (its bytes, which a host is handed whole, read as UTF-8
where they are), the size, and the archive's numbers of files and
of directories. Then, for the archives of names, a line "member NAME" for each member in
archive order, its bytes as the archive stores them.
"""
import fnmatch
import io
import os
import random
import shutil
import subprocess
import sys
import tarfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from link_rule import link_stays_inside  # noqa: E402
from sparse_files import make_sparse_file  # noqa: E402

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
    # GNU tar's pax archive once more through each other compression's own tool.
    with open(os.path.join(out, "gnu-tar-pax.tar"), "rb") as f:
        tar = f.read()
    compressed = []
    for suffix, command in COMPRESSORS:
        with open(os.path.join(out, "gnu-tar-pax.tar." + suffix), "wb") as f:
            subprocess.run(command, input=tar, stdout=f, check=True)
        compressed.append("gnu-tar-pax.tar." + suffix)
    return ["gnu-tar.tgz", "gnu-tar-pax.tar", "bsdtar-ustar.tar.gz", "python-pax.tar.gz"] + compressed


# The tar inside each compressed copy.
SOURCE_TAR = {"gnu-tar-pax.tar." + suffix: "gnu-tar-pax.tar" for suffix in ["bz2", "xz", "lzma", "lz", "zst"]}
SOURCE_TAR["sparse-pax-0.0-blocks.tar.xz"] = "sparse-pax-0.0.tar"

# Each compression the engine reads besides gzip, by its own tool: (suffix, command).
COMPRESSORS = [
    ("bz2", ["bzip2", "-c"]),
    ("xz", ["xz", "-c"]),
    ("lzma", ["lzma", "-c"]),
    ("lz", ["lzip", "-c"]),
    ("zst", ["zstd", "-q", "-c"]),
]


def make_sparse_tree(tree):
    os.makedirs(tree)
    def sparse(name, size, stretches):
        make_sparse_file(os.path.join(tree, name), size, stretches, 1_600_000_000)
    random.seed(13)
    sparse("disk.img", 6 * 1024 * 1024 + 99, [(0, b"boot" * 1000), (2 << 20, random.randbytes(50_000)),
                                              (5 << 20, b"Z" * 4096)])
    sparse("tail-hole.img", 3 * 1024 * 1024, [(8192, b"data" * 1000)])
    sparse("data-at-end.img", 1024 * 1024 + 7, [(1024 * 1024, b"1234567")])
    sparse("holes-only.img", 2 * 1024 * 1024, [])


def write_sparse_archives(out, tree):
    names = sorted(os.listdir(tree))
    archives = []
    for fmt, version, archive in [("gnu", None, "sparse-gnu.tgz"), ("posix", "0.0", "sparse-pax-0.0.tar"),
                                  ("posix", "0.1", "sparse-pax-0.1.tar"), ("posix", "1.0", "sparse-pax-1.0.tar.gz")]:
        extra = [f"--sparse-version={version}"] if version else []
        subprocess.run(["tar", "--sparse", f"--format={fmt}"] + extra + ["-C", tree] +
                       ["-c" + ("z" if archive.endswith("gz") else "") + "f", os.path.join(out, archive)] + names,
                       check=True)
        archives.append(archive)
    # Holes in an xz stream of several blocks, as xz -T2 writes it.
    with open(os.path.join(out, "sparse-pax-0.0.tar"), "rb") as f, \
            open(os.path.join(out, "sparse-pax-0.0-blocks.tar.xz"), "wb") as xz:
        subprocess.run(["xz", "-c", "-T2", "--block-size=64KiB"], stdin=f, stdout=xz, check=True)
    archives.append("sparse-pax-0.0-blocks.tar.xz")
    return archives


# Names in every script, each file holding its own name: one path past 300 characters.
DEEP = "long/" + "".join("\u043f\u0430\u043f\u043a\u0430-%d-" % i + "x" * 70 + "/" for i in range(4)) + \
    "\u0444\u0430\u0439\u043b.txt"
NAMES = [
    "Latin/caf\u00e9-na\u00efve-\u00c6r\u00f8-\u00fcber.txt",
    "\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac/\u03b1\u03c1\u03c7\u03b5\u03af\u03bf.txt",
    "\u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430/\u0444\u0430\u0439\u043b.txt",
    "\u6f22\u5b57/\u540d\u524d.txt",
    "emoji/\U0001F600-smile.txt",
    "odd/colon:and?question.txt",
    DEEP,
]
CP1252_NAMES = ["Latin1/", "Latin1/caf\u00e9.txt", "Latin1/\u00c4rger-\u00df-\u20ac.txt"]


def write_name_archives(out):
    tree = os.path.join(out, "names-tree")
    for name in NAMES:
        path = os.path.join(tree, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(name.encode("utf-8"))
        os.utime(path, (1_600_000_000, 1_600_000_000))
    tops = sorted({name.split("/")[0] for name in NAMES})
    for fmt, archive in [("gnu", "names-gnu.tar"), ("pax", "names-pax.tar.gz")]:
        subprocess.run(["tar", f"--format={fmt}", "--sort=name", "-C", tree,
                        "-c" + ("z" if archive.endswith("gz") else "") + "f", os.path.join(out, archive)] + tops,
                       check=True)
    # Python's tarfile writes names in the code page it is told, here cp1252, as Windows tools
    # of old did.
    with tarfile.open(os.path.join(out, "names-cp1252.tar"), "w", format=tarfile.GNU_FORMAT,
                      encoding="cp1252") as t:
        for name in CP1252_NAMES:
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime = 1_600_000_000
            if name.endswith("/"):
                info.type = tarfile.DIRTYPE
                t.addfile(info)
            else:
                data = name.encode("cp1252")
                info.size = len(data)
                t.addfile(info, io.BytesIO(data))
    return ["names-gnu.tar", "names-pax.tar.gz", "names-cp1252.tar"]


# A name as Windows writes it: UTF-8 where the bytes are, else their cp1252 reading.
def windows_name(raw):
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp1252", errors="replace")


def extract_like_tarfile(archive, tree, selection):
    """The tree the control must leave, and how many members it must name as not
    extracted: folders and selected files as tarfile writes them; hard links to files
    written before them (the same file, so its bytes and time); symbolic links whose
    target stays inside and is a file written before them, as copies with the link's time
    (Wine makes no symbolic links); every other link, device or FIFO left out."""
    written = set()
    left_out = 0
    with tarfile.open(archive) as t:
        for m in t.getmembers():
            if not m.isdir() and not (selection in ("*", "*.*") or
                                      fnmatch.fnmatch(os.path.basename(m.name), selection)):
                continue
            path = os.path.join(tree, windows_name(os.fsencode(m.name)))
            if m.isdir():
                os.makedirs(path, exist_ok=True)
                continue
            if m.isreg():
                data = t.extractfile(m).read()
            elif m.islnk() and os.path.normpath(m.linkname) in written:
                data = None
                source = os.path.join(tree, windows_name(os.fsencode(os.path.normpath(m.linkname))))
            elif m.issym() and link_stays_inside(m) and \
                    os.path.normpath(os.path.join(os.path.dirname(m.name), m.linkname)) in written:
                source = os.path.join(tree, windows_name(os.fsencode(
                    os.path.normpath(os.path.join(os.path.dirname(m.name), m.linkname)))))
                with open(source, "rb") as f:
                    data = f.read()
            else:
                left_out += 1
                continue
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if data is None:
                shutil.copy2(source, path)  # a hard link: the target's bytes and time
            else:
                with open(path, "wb") as f:
                    f.write(data)
                os.utime(path, (m.mtime, m.mtime))
            written.add(os.path.normpath(m.name))
    # Folders last, so that writing their files does not move their times.
    with tarfile.open(archive) as t:
        for m in t.getmembers():
            if m.isdir():
                os.utime(os.path.join(tree, windows_name(os.fsencode(m.name))), (m.mtime, m.mtime))
    return left_out


def expected(path):
    with tarfile.open(path) as t:
        entries = [m for m in t.getmembers() if m.isdir() or m.isfile()]
    files = sum(1 for m in entries if m.isfile())
    dirs = len(entries) - files
    lines = []
    for m in entries:
        local = time.localtime(m.mtime)
        raw = os.fsencode(m.name + "/" if m.isdir() else m.name)
        try:
            name = raw.decode("utf-8")
        except UnicodeDecodeError:
            name = os.fsdecode(raw)
        lines.append("TarFileInformation(%d,%d,%d,%d,%d,%d,%d,%s,%d,%d,%d)" % (
            m.isdir(), local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min,
            local.tm_sec, name, 0 if m.isdir() else m.size, files, dirs))
    return lines


def main(out, testtar):
    shutil.rmtree(out, ignore_errors=True)
    tree = os.path.join(out, "tree")
    os.makedirs(tree)
    make_tree(tree)
    archives = [(archive, "tree", "*.*") for archive in write_archives(out, tree)]
    make_sparse_tree(os.path.join(out, "sparse-tree"))
    archives += [(archive, "sparse-tree", "*.*")
                 for archive in write_sparse_archives(out, os.path.join(out, "sparse-tree"))]
    shutil.copy(testtar, os.path.join(out, "testtar.tar.gz"))
    outcomes = {"testtar.tar.gz": extract_like_tarfile(testtar, os.path.join(out, "testtar-tree"), "*.*")}
    archives.append(("testtar.tar.gz", "testtar-tree", "*.*"))
    named = write_name_archives(out)
    archives += [(archive, "-", "*.*") for archive in named]
    # Names are the archive's bytes, as UTF-8 where they are, else as Python shows them.
    with open(os.path.join(out, "expected.txt"), "w", encoding="utf-8", errors="surrogateescape") as f:
        for archive, reference_tree, selection in archives:
            f.write(f"archive {archive} {reference_tree} {selection}\n")
            if outcomes.get(archive):
                f.write("outcome ErrorCode(39,Some files of the archive could not be extracted, "
                        f"files not extracted: {outcomes[archive]})\n")
            # A compressed copy lists as the tar it holds (tarfile reads no zstd or lzip).
            for line in expected(os.path.join(out, SOURCE_TAR.get(archive, archive))):
                f.write(line + "\n")
            if archive in named:
                with tarfile.open(os.path.join(out, archive)) as t:
                    for m in t.getmembers():
                        f.write("member " + m.name + ("/" if m.isdir() else "") + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
