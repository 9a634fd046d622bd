#!/usr/bin/env python3
"""Archives written by other tools, listed and extracted by the engine.

For every writer and format: the engine's listing must hold exactly the directories and
regular files that Python's tarfile reads from the archive (names, sizes, local times, in
archive order), and extracting must give the same files with the same bytes and
modification times. Sparse files (GNU tar in each of its sparse formats, bsdtar's pax, and
Python's own test archive) must also extract as GNU tar extracts them, holes kept as
holes. A hostile archive must write nothing outside the destination while its ordinary
members are still extracted. Writers that are not installed are skipped.

usage: interop_test.py ENGINE_DRIVER TESTTAR
"""
import gzip
import io
import json
import os
import shutil
import stat
import subprocess
import sys
import tarfile
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from link_rule import link_stays_inside  # noqa: E402
from sparse_files import make_sparse_file  # noqa: E402

DRIVER = sys.argv[1]
TESTTAR = sys.argv[2]  # CPython's Lib/test/testtar.tar, gzip-compressed
failures = []
checked = []


def run(args, **kw):
    # Member names are bytes; those that are not UTF-8 come back as Python's tarfile and
    # os.walk show them.
    return subprocess.run(args, check=True, capture_output=True, text=True, errors="surrogateescape", **kw)


def make_tree(root):
    os.makedirs(os.path.join(root, "docs", "empty-dir"))
    deep = os.path.join(root, "a" * 40, "b" * 40, "c" * 30)
    os.makedirs(deep)
    files = {
        "docs/readme.txt": b"hello\n",
        "docs/empty.txt": b"",
        "block.bin": bytes(range(256)) * 2,
        "large.bin": os.urandom(700_000),
        os.path.relpath(os.path.join(deep, "long-file-name-" + "x" * 20 + ".txt"), root): b"deep\n",
        "caf\u00e9 \u2603.txt": b"unicode name\n",
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    os.symlink("docs/readme.txt", os.path.join(root, "link"))
    # Old, new and odd times.
    os.utime(os.path.join(root, "docs/readme.txt"), (946684800, 946684800))
    os.utime(os.path.join(root, "block.bin"), (1700000000, 1700000000))


def make_sparse_tree(root):
    """Files with holes at the start, in the middle, at the end, and one of holes only."""
    os.makedirs(root)
    def sparse(name, size, stretches):
        make_sparse_file(os.path.join(root, name), size, stretches, 1_500_000_000)
    sparse("disk.img", 24 * 1024 * 1024 + 123, [(0, b"A" * 5000), (1 << 20, os.urandom(70_000)),
                                                (20 << 20, b"Z" * 4096)])
    sparse("tail-hole.img", 6 * 1024 * 1024, [(8192, b"data" * 1000)])
    sparse("holes-only.img", 3 * 1024 * 1024, [])
    sparse("data-at-end.img", 2 * 1024 * 1024 + 7, [(2 * 1024 * 1024, b"1234567")])
    with open(os.path.join(root, "note.txt"), "wb") as f:
        f.write(b"not sparse\n")


def sparse_writers(src, out):
    """(label, producer) for GNU tar's sparse formats and bsdtar's pax."""
    items = []
    if shutil.which("tar"):
        for fmt, version in [("gnu", None), ("posix", "0.0"), ("posix", "0.1"), ("posix", "1.0")]:
            def gnu(fmt=fmt, version=version):
                path = os.path.join(out, f"sparse-gnu-{fmt}-{version or 'old'}.tar.gz")
                extra = [f"--sparse-version={version}"] if version else []
                run(["tar", "--sparse", f"--format={fmt}"] + extra + ["-czf", path, "-C", src, "."])
                return path
            items.append((f"GNU tar --sparse {fmt} {version or ''}".strip(), gnu))
    if shutil.which("bsdtar"):
        def bsd():
            path = os.path.join(out, "sparse-bsdtar-pax.tar")
            run(["bsdtar", "--format", "pax", "-cf", path, "-C", src, "."])
            return path
        items.append(("bsdtar pax sparse", bsd))
    return items


def writers(src, out):
    """(label, archive path, producer) for every writer and format available here."""
    items = []

    def gnu(fmt, compress=False):
        path = os.path.join(out, f"gnu-{fmt}.tar" + (".gz" if compress else ""))
        names = sorted(os.listdir(src))
        if fmt == "v7":  # v7 cannot hold names over 99 characters
            names = [n for n in names if len(n) < 20 and n != "\u0063af\u00e9 \u2603.txt"]
        run(["tar", f"--format={fmt}", "-c" + ("z" if compress else "") + "f", path, "-C", src] + names)
        return path

    if shutil.which("tar"):
        for fmt in ["gnu", "oldgnu", "ustar", "posix", "v7"]:
            items.append((f"GNU tar {fmt}", lambda f=fmt: gnu(f)))
        items.append(("GNU tar posix gzip", lambda: gnu("posix", True)))
    if shutil.which("bsdtar"):
        for fmt in ["ustar", "pax", "gnutar"]:
            def bsd(f=fmt):
                path = os.path.join(out, f"bsd-{f}.tar")
                run(["bsdtar", "--format", f, "-cf", path, "-C", src, "."])
                return path
            items.append((f"bsdtar {fmt}", bsd))
    for fmt_name, fmt in [("GNU", tarfile.GNU_FORMAT), ("PAX", tarfile.PAX_FORMAT)]:
        for mode, ext in [("w", ".tar"), ("w:gz", ".tar.gz")]:
            def py(fmt=fmt, mode=mode, ext=ext, fmt_name=fmt_name):
                path = os.path.join(out, f"python-{fmt_name}{ext}")
                with tarfile.open(path, mode, format=fmt) as t:
                    t.add(src, arcname="pkg")
                return path
            items.append((f"Python tarfile {fmt_name} {mode}", py))
    if shutil.which("npm"):
        def npm():
            pkg = os.path.join(out, "npm-src")
            shutil.copytree(src, pkg, symlinks=True)
            with open(os.path.join(pkg, "package.json"), "w") as f:
                json.dump({"name": "zax-interop", "version": "1.0.0", "files": ["**"]}, f)
            run(["npm", "pack", "--silent", "--pack-destination", out], cwd=pkg,
                env=dict(os.environ, npm_config_update_notifier="false", npm_config_fund="false"))
            return os.path.join(out, "zax-interop-1.0.0.tgz")
        items.append(("npm pack", npm))
    return items


def local_stamp(mtime):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(mtime))


def listed_name(name):
    """A listing hands a host at most 255 characters of a name, never cutting one (a byte
    that is not UTF-8 counts as one, as it does in Python's reading); extraction uses all."""
    return name[:255]


def reference(archive):
    entries = []
    with tarfile.open(archive) as t:
        for m in t.getmembers():
            if m.isdir():
                entries.append(("dir", 0, local_stamp(m.mtime), listed_name(m.name.rstrip("/"))))
            elif m.isreg():
                entries.append(("file", m.size, local_stamp(m.mtime), listed_name(m.name)))
    return entries


def engine_listing(archive):
    out = run([DRIVER, "list", archive]).stdout.splitlines()
    result = out[-1]
    entries = []
    for line in out[:-1]:
        kind, size, stamp, name = line.split("\t", 3)
        entries.append((kind, int(size), stamp, name.rstrip("/") if kind == "dir" else name))
    return result, entries


def tree(root):
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            mode = os.lstat(path).st_mode
            if stat.S_ISLNK(mode):
                found[os.path.relpath(path, root)] = ("link", os.readlink(path))
            elif stat.S_ISDIR(mode):
                found[os.path.relpath(path, root)] = ("dir",)
            elif stat.S_ISREG(mode):
                with open(path, "rb") as h:
                    found[os.path.relpath(path, root)] = ("file", h.read(), int(os.stat(path).st_mtime))
    return found


def extract_reference(archive, where):
    """What the engine must write: folders, files, hard links to files written, and symbolic
    links that stay inside; and whether anything is to be left out (the job's result 9)."""
    with tarfile.open(archive) as t:
        members = t.getmembers()
        written = set()
        keep = []
        for m in members:
            if m.isdir() or m.isreg():
                keep.append(m)
                if m.isreg():
                    written.add(os.path.normpath(m.name))
            elif m.islnk() and os.path.normpath(m.linkname) in written:
                keep.append(m)
        t.extractall(where, members=keep)
        left_out = False
        for m in members:
            if m.issym():
                if link_stays_inside(m):
                    path = os.path.join(where, m.name)
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    if os.path.lexists(path):
                        os.remove(path)
                    os.symlink(m.linkname, path)
                else:
                    left_out = True
            elif not (m.isdir() or m.isreg() or m.islnk()) or (m.islnk() and m not in keep):
                left_out = True
    return left_out


def check(label, archive, work, like_gnu_tar=False):
    result, ours = engine_listing(archive)
    theirs = reference(archive)
    if result != "result 0":
        failures.append(f"{label}: listing ended with {result}")
    if [e[3].removeprefix("./") for e in ours] != [e[3].removeprefix("./") for e in theirs] or ours != theirs:
        failures.append(f"{label}: listing differs\n  ours:   {ours}\n  theirs: {theirs}")
    ours_dir, theirs_dir = os.path.join(work, "ours"), os.path.join(work, "theirs")
    os.makedirs(ours_dir)
    res = run([DRIVER, "extract", archive, ours_dir]).stdout.strip()
    expected = "result 9" if extract_reference(archive, theirs_dir) else "result 0"
    if res != expected:
        failures.append(f"{label}: extraction ended with {res}, not {expected}")
    a, b = tree(ours_dir), tree(theirs_dir)
    if a.keys() != b.keys():
        failures.append(f"{label}: extracted trees differ: only ours {sorted(a.keys() - b.keys())}, "
                        f"only theirs {sorted(b.keys() - a.keys())}")
    for key in a.keys() & b.keys():
        if a[key][0] == "link" and a[key] != b[key]:
            failures.append(f"{label}: {key}: link {a[key]} != {b[key]}")
        if a[key][0] == "file" and a[key] != b[key]:
            what = "bytes" if a[key][1] != b[key][1] else f"time {a[key][2]} != {b[key][2]}"
            failures.append(f"{label}: {key}: {what}")
    if like_gnu_tar:
        same_as_gnu_tar(label, archive, ours_dir, os.path.join(work, "gnu"))
    checked.append(label)


def same_as_gnu_tar(label, archive, ours_dir, gnu_dir):
    """Every file we extract is the file GNU tar extracts, byte for byte and with its time,
    and takes no more blocks on disk (holes stay holes). GNU tar also makes the links and
    devices that we leave out, and may complain of some; its files are what count."""
    if not shutil.which("tar"):
        return
    os.makedirs(gnu_dir)
    subprocess.run(["tar", "-xf", archive, "-C", gnu_dir], capture_output=True)
    a, b = tree(ours_dir), tree(gnu_dir)
    for key in a:
        if a[key][0] != "file":
            continue
        if a.get(key) != b[key]:
            failures.append(f"{label}: {key} differs from GNU tar's extraction")
            continue
        ours_blocks = os.stat(os.path.join(ours_dir, key)).st_blocks
        theirs_blocks = os.stat(os.path.join(gnu_dir, key)).st_blocks
        if ours_blocks > theirs_blocks:
            failures.append(f"{label}: {key} takes {ours_blocks} blocks, GNU tar's {theirs_blocks}")


def hostile(work):
    """Absolute, drive, UNC and parent names stay inside; ordinary members still land; the
    three names with an upward step are left out and counted (result 9)."""
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.GNU_FORMAT) as t:
        for name in ["/etc-evil.txt", "../up.txt", "a/../../up2.txt", "c:/drive.txt", "c:\\drive2.txt",
                     "\\\\server\\share\\unc.txt", "a\\..\\..\\up3.txt", "ok/fine.txt"]:
            data = name.encode()
            info = tarfile.TarInfo(name)
            info.size = len(data)
            t.addfile(info, io.BytesIO(data))
    archive = os.path.join(work, "hostile.tar")
    with open(archive, "wb") as f:
        f.write(buf.getvalue())
    dest = os.path.join(work, "sandbox", "dest")
    os.makedirs(dest)
    res = run([DRIVER, "extract", archive, dest]).stdout.strip()
    outside = [p for p in tree(os.path.join(work, "sandbox")) if not p.startswith("dest")]
    inside = tree(dest)
    if res != "result 9" or outside or inside.get(os.path.join("ok", "fine.txt"), (None, None))[1] != b"ok/fine.txt":
        failures.append(f"hostile archive: {res}, outside {outside}, inside {sorted(inside)}")
    checked.append("hostile names")


def tar_header(name, typeflag=b"0", size=0, mtime=1086091200):
    """One ustar header block, its checksum worked out."""
    h = bytearray(512)
    h[0:len(name)] = name
    h[100:108] = b"0000644\0"
    h[108:116] = h[116:124] = b"0000000\0"
    h[124:136] = b"%011o\0" % size
    h[136:148] = b"%011o\0" % mtime
    h[156:157] = typeflag
    h[257:265] = b"ustar\x0000"
    h[148:156] = b" " * 8
    h[148:156] = b"%06o\0 " % sum(h)
    return bytes(h)


def padded(data):
    return data + b"\0" * (-len(data) % 512)


def pax_record(key, value):
    body = b" " + key + b"=" + value + b"\n"
    length = len(body) + 1
    while len(str(length)) + len(body) != length:
        length += 1
    return str(length).encode() + body


def with_pax(records, *rest):
    return tar_header(b"PaxHeaders/x", b"x", len(records)) + padded(records) + b"".join(rest)


def odd_shapes(work):
    """Archive shapes other readers take, built from bytes, each plain and gzip-compressed:
    the listing and the extracted files must be tarfile's reading, but where the engine
    reads as libarchive does (the header's field where a pax value is unusable; an old
    folder with a size has no data) and where a host's 32-bit size saturates."""
    a_txt = tar_header(b"a.txt", size=3) + padded(b"abc")
    end = b"\0" * 1024
    huge = 4 << 60
    # GNU tar's 0.1 form, which names no version.
    sparse = (pax_record(b"GNU.sparse.name", b"huge") + pax_record(b"GNU.sparse.realsize", str(huge).encode())
              + pax_record(b"GNU.sparse.map", b"0,1"))
    header_time = local_stamp(1086091200)
    # (label, archive, engine's extraction result, what the engine reads differently)
    shapes = [
        ("a first directory without a name", tar_header(b"", b"5") + a_txt + end, "result 9", {}),
        ("a pax time with trailing junk", with_pax(pax_record(b"mtime", b"1748089464.951928467a"), a_txt, end),
         "result 0", {"a.txt": ("time", header_time)}),
        ("a last pax record with an empty value and no newline", with_pax(b"9 mtime=", a_txt, end),
         "result 0", {"a.txt": ("time", header_time)}),
        ("an old folder with a NUL typeflag",
         tar_header(b"d/", b"\0", 1000) + tar_header(b"d/a.txt", size=3) + padded(b"abc") + end, "result 0", {}),
        ("an old folder with typeflag 0",
         tar_header(b"d/", b"0", 1000) + tar_header(b"d/a.txt", size=3) + padded(b"abc") + end, "result 0",
         {"d/": ("dir",), "d/a.txt": ("missing",)}),
        ("a pax sparse file of 4 EiB",
         with_pax(sparse, tar_header(b"GNUSparseFile.0/huge", size=1), padded(b"h"),
                  tar_header(b"after", size=1), padded(b"z"), end),
         "result 9", {"huge": ("size", 2147483647)}),
    ]
    for label, data, extract_result, differences in shapes:
        for compressed in (False, True):
            name = f"{label}{', gzip' if compressed else ''}"
            sub = tempfile.mkdtemp(dir=work)
            archive = os.path.join(sub, "shape.tar" + (".gz" if compressed else ""))
            with open(archive, "wb") as f:
                f.write(gzip.compress(data, mtime=0) if compressed else data)
            theirs = []
            for kind, size, stamp, member in reference(archive):
                change = differences.get(member + ("/" if kind == "dir" else ""), differences.get(member))
                if change == ("dir",):
                    kind, size, member = "dir", 0, member.rstrip("/")
                elif change and change[0] == "time":
                    stamp = change[1]
                elif change and change[0] == "size":
                    size = change[1]
                theirs.append((kind, size, stamp, member))
            # Members tarfile loses and the engine reads.
            theirs += [("file", 3, header_time, m) for m, c in differences.items() if c == ("missing",)]
            result, ours = engine_listing(archive)
            if result != "result 0" or ours != theirs:
                failures.append(f"{name}: listing {result}\n  ours:   {ours}\n  theirs: {theirs}")
            out = os.path.join(sub, "out")
            os.makedirs(out)
            res = run([DRIVER, "extract", archive, out]).stdout.strip()
            if res != extract_result:
                failures.append(f"{name}: extraction ended with {res}, not {extract_result}")
            files = {k: v for k, v in tree(out).items() if v[0] == "file"}
            wanted = {e[3]: e[1] for e in theirs if e[0] == "file" and e[1] < 2147483647}
            if {k: len(v[1]) for k, v in files.items()} != wanted:
                failures.append(f"{name}: extracted {sorted(files)}, wanted {sorted(wanted)}")
            checked.append(name)


def main():
    with tempfile.TemporaryDirectory(prefix="zax-interop-") as work:
        src = os.path.join(work, "src")
        make_tree(src)
        sparse_src = os.path.join(work, "sparse-src")
        make_sparse_tree(sparse_src)
        every = [(label, produce, False) for label, produce in writers(src, work)]
        every += [(label, produce, True) for label, produce in sparse_writers(sparse_src, work)]
        every.append(("Python's testtar.tar", lambda: TESTTAR, True))
        for label, produce, like_gnu_tar in every:
            try:
                archive = produce()
            except subprocess.CalledProcessError as error:
                failures.append(f"{label}: the writer failed: {error.stderr.strip()}")
                continue
            sub = tempfile.mkdtemp(dir=work)
            check(label, archive, sub, like_gnu_tar)
        hostile(work)
        odd_shapes(work)
    print("checked:", ", ".join(checked))
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
