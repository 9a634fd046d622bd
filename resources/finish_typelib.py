#!/usr/bin/env python3
"""Sets what widl will not write on a dispinterface: a version and the non-extensible flag.

widl refuses the version and nonextensible attributes on a dispinterface, but hosts read the
event interface's type attributes like those of every other type in the library (version
1.0, hidden, non-extensible). This patches the compiled type library (MSFT format) in place:
every pure dispinterface (TKIND_DISPATCH without the dual flag) gets version 1.0 and
TYPEFLAG_FNONEXTENSIBLE.

usage: finish_typelib.py IN.tlb OUT.tlb
"""
import struct
import sys

HEADER_SIZE = 0x54
HELPDLL_FLAG = 0x100
TYPEINFO_BASE_SIZE = 0x64
TKIND_DISPATCH = 4
TYPEFLAG_FDUAL = 0x40
TYPEFLAG_FNONEXTENSIBLE = 0x80
FLAGS_OFFSET = 12 * 4
VERSION_OFFSET = 14 * 4


def main(source, target):
    data = bytearray(open(source, "rb").read())
    if data[:4] != b"MSFT":
        sys.exit(f"{source}: not an MSFT type library")
    varflags, = struct.unpack_from("<i", data, 0x14)
    count, = struct.unpack_from("<i", data, 0x20)
    segdir = HEADER_SIZE + (4 if varflags & HELPDLL_FLAG else 0) + 4 * count
    table_offset, table_length = struct.unpack_from("<ii", data, segdir)
    if table_length != count * TYPEINFO_BASE_SIZE:
        sys.exit(f"{source}: unexpected type info table size {table_length}")
    patched = 0
    for i in range(count):
        base = table_offset + i * TYPEINFO_BASE_SIZE
        kind, = struct.unpack_from("<i", data, base)
        flags, = struct.unpack_from("<i", data, base + FLAGS_OFFSET)
        if kind & 0xF == TKIND_DISPATCH and not flags & TYPEFLAG_FDUAL:
            struct.pack_into("<i", data, base + FLAGS_OFFSET, flags | TYPEFLAG_FNONEXTENSIBLE)
            struct.pack_into("<i", data, base + VERSION_OFFSET, 1)  # major 1, minor 0
            patched += 1
    if patched == 0:
        sys.exit(f"{source}: no dispinterface found")
    open(target, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
