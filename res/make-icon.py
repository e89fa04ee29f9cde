#!/usr/bin/env python3
"""Draw the velmora clock icon and write it as a Windows .ico file.

Three images: 16x16 with 8 bits per pixel (palette, AND mask), 32x32 with 24
bits per pixel (AND mask) and 48x48 with 32 bits per pixel (alpha channel).
The picture is a white round clock face with a dark outline and two black
hands pointing to twelve and three, on a transparent background.

Standard library only, and deterministic: the same script always writes the
same bytes.  Usage: make-icon.py [output.ico]   (default: velmora.ico beside
this script)
"""

import math
import os
import struct
import sys

FACE = (255, 255, 255)
OUTLINE = (36, 48, 72)
HAND = (0, 0, 0)
TICK = (96, 104, 120)

SUPERSAMPLE = 8  # samples per pixel along each axis

# Per size, in pixels: outer radius of the face, thickness of its outline,
# the hands (length, width) and the ticks (count, length, width).
# Widths of 2 keep the hands crisp, since the centre lies on a pixel corner.
GEOMETRY = {
    16: dict(radius=7.45, ring=1.5, minute=(5.2, 2.0), hour=(4.2, 2.0),
             ticks=(0, 0.0, 0.0), hub=0.0),
    32: dict(radius=15.45, ring=2.0, minute=(11.0, 2.0), hour=(8.0, 2.0),
             ticks=(4, 2.0, 2.0), hub=0.0),
    48: dict(radius=23.4, ring=2.6, minute=(16.0, 4.0), hour=(11.0, 4.0),
             ticks=(12, 3.0, 2.0), hub=0.0),
}


def _segment_distance(px, py, ax, ay, bx, by):
    """Distance from point p to the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return math.hypot(qx, qy)


def _sample(size, g, x, y):
    """Colour at point (x, y) of the picture, or None where it is transparent.

    y grows downwards, as on screen; twelve o'clock is towards smaller y.
    """
    c = size / 2.0
    r = math.hypot(x - c, y - c)
    if r > g["radius"]:
        return None
    # Hands above everything else: minute hand to twelve, hour hand to three.
    minute_len, minute_w = g["minute"]
    if _segment_distance(x, y, c, c, c, c - minute_len) <= minute_w / 2:
        return HAND
    hour_len, hour_w = g["hour"]
    if _segment_distance(x, y, c, c, c + hour_len, c) <= hour_w / 2:
        return HAND
    if r <= g["hub"]:
        return HAND
    if r > g["radius"] - g["ring"]:
        return OUTLINE
    count, length, width = g["ticks"]
    inner = g["radius"] - g["ring"]
    for k in range(count):
        angle = 2 * math.pi * k / count
        sx, sy = math.sin(angle), -math.cos(angle)
        d = _segment_distance(x, y,
                              c + sx * (inner - length), c + sy * (inner - length),
                              c + sx * inner, c + sy * inner)
        if d <= width / 2:
            return TICK
    return FACE


def render(size):
    """Rows of (r, g, b, coverage) with coverage in 0..1, top row first.

    The colour is the average of the covered samples (straight, not
    premultiplied); it is black where nothing is covered.
    """
    g = GEOMETRY[size]
    n = SUPERSAMPLE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    col = _sample(size, g, px + (sx + 0.5) / n, py + (sy + 0.5) / n)
                    if col is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += col[i]
            if hits:
                rgb = tuple(int(round(v / hits)) for v in acc)
            else:
                rgb = (0, 0, 0)
            row.append(rgb + (hits / (n * n),))
        rows.append(row)
    return rows


def _stride(width, bits):
    return (width * bits + 31) // 32 * 4


def _and_mask(rows, transparent):
    """1-bit mask, bottom row first; a set bit lets the screen through."""
    size = len(rows)
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(_stride(size, 1))
        for x, px in enumerate(row):
            if transparent(px):
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def _masked_colour(px):
    """Colour of a masked (8 or 24 bit) pixel: opaque from half coverage up;
    a transparent pixel is black so that the XOR pass leaves the screen alone."""
    return px[:3] if px[3] >= 0.5 else (0, 0, 0)


def _header(size, bits, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                       image_bytes, 0, 0, 0, 0)


def encode_8bit(rows):
    size = len(rows)
    colours = sorted({_masked_colour(px) for row in rows for px in row} | {(0, 0, 0)})
    if len(colours) > 256:
        raise ValueError("more than 256 colours in the 8-bit image")
    index = {col: i for i, col in enumerate(colours)}
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    palette += bytes(4 * (256 - len(colours)))
    xor = bytearray()
    for row in reversed(rows):
        line = bytearray(_stride(size, 8))
        for x, px in enumerate(row):
            line[x] = index[_masked_colour(px)]
        xor += line
    mask = _and_mask(rows, lambda px: px[3] < 0.5)
    return _header(size, 8, len(xor) + len(mask)) + palette + bytes(xor) + mask


def encode_24bit(rows):
    size = len(rows)
    xor = bytearray()
    for row in reversed(rows):
        line = bytearray(_stride(size, 24))
        for x, px in enumerate(row):
            r, g, b = _masked_colour(px)
            line[3 * x:3 * x + 3] = bytes((b, g, r))
        xor += line
    mask = _and_mask(rows, lambda px: px[3] < 0.5)
    return _header(size, 24, len(xor) + len(mask)) + bytes(xor) + mask


def encode_32bit(rows):
    size = len(rows)
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, cover in row:
            alpha = int(round(cover * 255))
            if alpha == 0:
                r = g = b = 0
            xor += bytes((b, g, r, alpha))
    # The mask only matters to readers that ignore alpha.
    mask = _and_mask(rows, lambda px: int(round(px[3] * 255)) == 0)
    return _header(size, 32, len(xor) + len(mask)) + bytes(xor) + mask


def build_icon():
    images = [(16, 8, encode_8bit(render(16))),
              (32, 24, encode_24bit(render(32))),
              (48, 32, encode_32bit(render(48)))]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def main(argv):
    if len(argv) > 2:
        sys.stderr.write("usage: make-icon.py [output.ico]\n")
        return 2
    path = argv[1] if len(argv) == 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "velmora.ico")
    with open(path, "wb") as f:
        f.write(build_icon())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
