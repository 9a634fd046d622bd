#!/usr/bin/env python3
"""Draws the control's toolbox bitmap (16x15) and icon (32x32), both in the 16 standard
Windows colours, from the character maps below. Run it when the pictures change; the
build uses the files it writes (toolbox.bmp, ZAXTarGzip.ico) as they are committed."""
import os
import struct

# The standard 16-colour palette, in its usual order (B, G, R).
PALETTE = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0x80), (0x00, 0x80, 0x00), (0x00, 0x80, 0x80),
    (0x80, 0x00, 0x00), (0x80, 0x00, 0x80), (0x80, 0x80, 0x00), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0x00, 0x00, 0xFF), (0x00, 0xFF, 0x00), (0x00, 0xFF, 0xFF),
    (0xFF, 0x00, 0x00), (0xFF, 0x00, 0xFF), (0xFF, 0xFF, 0x00), (0xFF, 0xFF, 0xFF),
]
# Map characters: '.' background (transparent in the icon), 'k' black, 'b' dark yellow
# (box), 'y' yellow (lid), 'w' white, 'r' dark red (letter), 'g' grey.
COLOURS = {".": 7, "k": 0, "b": 3, "y": 11, "w": 15, "r": 1, "g": 8}

TOOLBOX = [  # 16 x 15: a closed archive box with a Z on its side
    "................",
    "...kkkkkkkkkk...",
    "..kyyyyyyyyyyk..",
    ".kyyyyyyyyyyyyk.",
    ".kkkkkkkkkkkkkk.",
    ".kbbbbbbbbbbbbk.",
    ".kbbrrrrrrrrbbk.",
    ".kbbbbbbbrrbbbk.",
    ".kbbbbbbrrbbbbk.",
    ".kbbbbbrrbbbbbk.",
    ".kbbbbrrbbbbbbk.",
    ".kbbbrrrrrrrrbk.",
    ".kbbbbbbbbbbbbk.",
    ".kkkkkkkkkkkkkk.",
    "................",
]


def icon_map():
    """32 x 32: the toolbox picture drawn twice as large, centred."""
    rows = ["." * 32]
    for line in TOOLBOX:
        wide = "".join(c * 2 for c in line)
        rows += [wide, wide]
    rows.append("." * 32)
    return rows[:32]


def packed_rows(rows):
    """4-bit pixels, bottom-up, each row padded to 4 bytes."""
    out = b""
    for line in reversed(rows):
        indices = [COLOURS[c] for c in line]
        if len(indices) % 2:
            indices.append(0)
        row = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, len(indices), 2))
        out += row + b"\0" * (-len(row) % 4)
    return out


def mask_rows(rows):
    """1-bit AND mask, bottom-up, 1 where the background shows through."""
    out = b""
    for line in reversed(rows):
        bits = "".join("1" if c == "." else "0" for c in line)
        row = int(bits, 2).to_bytes(len(bits) // 8, "big")
        out += row + b"\0" * (-len(row) % 4)
    return out


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def palette_bytes():
    return b"".join(bytes((b, g, r, 0)) for b, g, r in PALETTE)


def write_bmp(path, rows):
    pixels = packed_rows(rows)
    header = info_header(len(rows[0]), len(rows), len(pixels)) + palette_bytes()
    offset = 14 + len(header)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset))
        f.write(header + pixels)


def write_ico(path, rows):
    width, height = len(rows[0]), len(rows)
    pixels, mask = packed_rows(rows), mask_rows(rows)
    # An icon's DIB header counts the XOR and AND halves together in its height.
    image = info_header(width, height * 2, len(pixels) + len(mask)) + palette_bytes() + pixels + mask
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16))
        f.write(image)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp(os.path.join(here, "toolbox.bmp"), TOOLBOX)
    write_ico(os.path.join(here, "ZAXTarGzip.ico"), icon_map())
