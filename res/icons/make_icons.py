#!/usr/bin/env python3
"""Draws the tray icons (placeholder artwork: a rounded square) as 256-colour .ico files."""
import struct, sys, os

def bmp_entry(size, colour):
    palette = [(0, 0, 0), (255, 255, 255), colour] + [(0, 0, 0)] * 253
    pixels, mask = [], []
    r = size // 5
    for y in range(size - 1, -1, -1):          # bottom-up rows
        row, mrow = [], []
        for x in range(size):
            cx = min(max(x, r), size - 1 - r); cy = min(max(y, r), size - 1 - r)
            inside = (x - cx) ** 2 + (y - cy) ** 2 <= r * r
            row.append(2 if inside else 0); mrow.append(0 if inside else 1)
        pixels.append(bytes(row)); mask.append(mrow)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b''.join(struct.pack('BBBB', b, g, r_, 0) for (r_, g, b) in palette)
    and_rows = []
    stride = ((size + 31) // 32) * 4
    for mrow in mask:
        bits = bytearray(stride)
        for x, m in enumerate(mrow):
            if m: bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits))
    return header + pal + b''.join(pixels) + b''.join(and_rows)

def write_ico(path, colour):
    images = [(32, bmp_entry(32, colour)), (16, bmp_entry(16, colour))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(d for _, d in images))

here = os.path.dirname(os.path.abspath(__file__))
write_ico(os.path.join(here, 'connected.ico'), (30, 110, 220))
write_ico(os.path.join(here, 'disconnected.ico'), (128, 128, 128))
