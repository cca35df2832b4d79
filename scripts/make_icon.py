#!/usr/bin/env python3
"""Draws the Keyward program icon and writes it as a multi-size .ico file.

The design: a blue rounded square holding a white key cap with an upward arrow (input that
reaches elevated windows). Each size is rendered from the same vector description with 4x4
supersampling. Sizes below 256 are stored as 32-bit bitmaps with an AND mask, 256 as PNG.

Usage: make_icon.py [OUTPUT]   (default: src/resources/keyward.ico beside this script's repo)
"""
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 128, 256)
SAMPLES = 4

TOP = (0x2B, 0x7B, 0xF0)
BOTTOM = (0x15, 0x4E, 0xB8)
WHITE = (0xFF, 0xFF, 0xFF)
ARROW = (0x1D, 0x62, 0xD6)


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_arrow(x, y):
    if 0.44 <= x <= 0.56 and 0.48 <= y <= 0.64:
        return True
    # Triangle with its tip at (0.5, 0.30) and its base on y = 0.50 from 0.34 to 0.66.
    if 0.30 <= y <= 0.50:
        half = (y - 0.30) / 0.20 * 0.16
        return abs(x - 0.5) <= half
    return False


def colour_at(x, y):
    """Colour of the design at unit coordinates, or None outside it."""
    if not in_rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.2):
        return None
    if in_rounded_rect(x, y, 0.22, 0.20, 0.78, 0.76, 0.09):
        return ARROW if in_arrow(x, y) else WHITE
    t = y
    return tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM))


def render(size):
    """Rows of (r, g, b, a) from top to bottom."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                  (py + (sy + 0.5) / SAMPLES) / size)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        covered += 1
            if covered:
                row.append((r // covered, g // covered, b // covered, covered * 255 // n))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap_entry(size, rows):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png_entry(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


def build_icon():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_entry(size, rows) if size >= 256 else bitmap_entry(size, rows)))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'src', 'resources',
                                                                 'keyward.ico')
    with open(target, 'wb') as f:
        f.write(build_icon())


if __name__ == '__main__':
    main()
