#!/usr/bin/env python3
"""Draws the programs' icon and writes it as a Windows icon file.

    python3 tools/make-icon.py src/resources/updater.ico

The drawing: a blue tile with rounded corners; on it, in white, an arrow
pointing down into an open tray: something arrives and is put in place. It
is drawn at 16, 32 and 48 pixels, each edge smoothed by sampling every pixel
8 x 8 times, and stored as 32-bit images with an alpha channel (and the
1-bit mask older systems read). The output is the same byte for byte on
every run; src/resources/updater.ico is its result.
"""
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 8
TILE = (0x2F, 0x6F, 0xA8)   # red, green, blue
MARK = (0xFF, 0xFF, 0xFF)


def in_tile(x, y):
    """The tile: 0.06 to 0.94 on both axes, corners rounded by 0.18."""
    low, high, radius = 0.06, 0.94, 0.18
    if not (low <= x <= high and low <= y <= high):
        return False
    cx = min(max(x, low + radius), high - radius)
    cy = min(max(y, low + radius), high - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_mark(x, y):
    """The arrow (a shaft and a head) and the tray (a floor and two sides)."""
    shaft = 0.42 <= x <= 0.58 and 0.16 <= y <= 0.50
    head = 0.44 <= y <= 0.70 and abs(x - 0.5) <= (0.70 - y) * (0.27 / 0.26)
    floor = 0.22 <= x <= 0.78 and 0.76 <= y <= 0.85
    sides = (0.22 <= x <= 0.31 or 0.69 <= x <= 0.78) and 0.60 <= y <= 0.85
    return shaft or head or floor or sides


def pixel(size, column, row):
    """The pixel's colour and coverage (0 to 255), top row first."""
    tile = mark = 0
    for i in range(SAMPLES):
        for j in range(SAMPLES):
            x = (column + (i + 0.5) / SAMPLES) / size
            y = (row + (j + 0.5) / SAMPLES) / size
            if in_tile(x, y):
                tile += 1
                if in_mark(x, y):
                    mark += 1
    if tile == 0:
        return (0, 0, 0, 0)
    colour = tuple((TILE[k] * (tile - mark) + MARK[k] * mark) // tile for k in range(3))
    return colour + (tile * 255 // (SAMPLES * SAMPLES),)


def image(size):
    """One icon image: BITMAPINFOHEADER, the BGRA rows bottom up, the mask."""
    rows = [[pixel(size, column, row) for column in range(size)] for row in range(size)]
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for column, (_, _, _, alpha) in enumerate(row):
            if alpha == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


def icon_file():
    images = [image(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(images)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make-icon.py ICON_FILE")
    with open(sys.argv[1], "wb") as out:
        out.write(icon_file())
