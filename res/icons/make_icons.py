#!/usr/bin/env python3
"""Draws the tray icons: a rounded square with a white antenna sending radio waves.

Writes connected.ico (blue) and disconnected.ico (gray) beside this script. Each
holds a 32x32 image drawn with 4x4 supersampling and a 16x16 image laid out by
hand (the tray asks for 16x16, where a scaled-down drawing turns to mush). Both
images are 8-bit with a 256-colour palette and a 1-bit transparency mask.
Standard library only: run `python3 make_icons.py` after changing the artwork.
"""
import math
import os
import struct

WHITE = (255, 255, 255)

# Body colours per icon: top and bottom of the fill gradient, and the outline.
THEMES = {
    'connected.ico': {'top': (82, 160, 245), 'bottom': (18, 88, 196), 'edge': (10, 52, 132)},
    'disconnected.ico': {'top': (176, 176, 176), 'bottom': (112, 112, 112), 'edge': (72, 72, 72)},
}


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---- 32x32: geometry sampled on a 4x4 grid per pixel ------------------------

SIZE32 = 32
SAMPLES = 4
BODY_LO, BODY_HI, BODY_RADIUS = 0.5, 31.5, 6.5
OUTLINE = 1.1
WAVE_CENTRE = (16.0, 12.0)
DOT_RADIUS = 2.6
WAVE_RADII = (6.6, 11.0)
WAVE_WIDTH = 2.0
WAVE_HALF_ANGLE = math.radians(42)
LEG_WIDTH = 1.9
LEGS = [((16.0, 14.0), (10.8, 27.0)), ((16.0, 14.0), (21.2, 27.0)), ((12.6, 22.5), (19.4, 22.5))]


def in_rounded_square(x, y, inset):
    lo, hi, r = BODY_LO + inset, BODY_HI - inset, BODY_RADIUS - inset
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return lo <= x <= hi and lo <= y <= hi and (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def near_segment(x, y, a, b, width):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2


def in_antenna(x, y):
    cx, cy = WAVE_CENTRE
    dx, dy = x - cx, y - cy
    dist = math.hypot(dx, dy)
    if dist <= DOT_RADIUS:
        return True
    if any(near_segment(x, y, a, b, LEG_WIDTH) for a, b in LEGS):
        return True
    # Arcs open to the left and right of the mast top, like (( o )).
    if abs(math.atan2(dy, abs(dx))) <= WAVE_HALF_ANGLE:
        return any(abs(dist - r) <= WAVE_WIDTH / 2 for r in WAVE_RADII)
    return False


def coverage(px, py, test):
    hits = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            if test(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES):
                hits += 1
    return hits / (SAMPLES * SAMPLES)


def draw32(theme):
    """Rows top-down of (r, g, b) or None for transparent."""
    rows = []
    for y in range(SIZE32):
        fill = mix(theme['top'], theme['bottom'], y / (SIZE32 - 1))
        row = []
        for x in range(SIZE32):
            body = coverage(x, y, lambda u, v: in_rounded_square(u, v, 0))
            if body < 0.5:
                row.append(None)
                continue
            inner = coverage(x, y, lambda u, v: in_rounded_square(u, v, OUTLINE))
            colour = mix(theme['edge'], fill, inner)
            colour = mix(colour, WHITE, coverage(x, y, in_antenna))
            row.append(colour)
        rows.append(row)
    return rows


# ---- 16x16: laid out pixel by pixel -----------------------------------------
# '.' transparent, 'E' outline, 'b' body (gradient), 'W' white, 'w' half white.
ART16 = [
    "..EEEEEEEEEEEE..",
    ".EbbbbbbbbbbbbE.",
    "EbbbbbbbbbbbbbbE",
    "EbbWbbbbbbbbWbbE",
    "EbWbbWbbbbWbbWbE",
    "EbWbWbbWWbbWbWbE",
    "EbWbWbbWWbbWbWbE",
    "EbWbbWbbbbWbbWbE",
    "EbbWbbbWWbbbWbbE",
    "EbbbbbbWWbbbbbbE",
    "EbbbbbWbbWbbbbbE",
    "EbbbbbWWWWbbbbbE",
    "EbbbbWbbbbWbbbbE",
    "EbbbbWbbbbWbbbbE",
    ".EbbbbbbbbbbbbE.",
    "..EEEEEEEEEEEE..",
]


def draw16(theme):
    rows = []
    for y, line in enumerate(ART16):
        fill = mix(theme['top'], theme['bottom'], y / 15)
        row = []
        for ch in line:
            row.append({'.': None, 'E': theme['edge'], 'b': fill, 'W': WHITE,
                        'w': mix(fill, WHITE, 0.55)}[ch])
        rows.append(row)
    return rows


# ---- ICO encoding -------------------------------------------------------------

def build_palette(images):
    """Every colour the images use, rounded until 255 entries suffice (index 0 stays black)."""
    step = 1
    while True:
        def q(c):
            return tuple(min(255, (v + step // 2) // step * step) for v in c)
        colours = sorted({q(c) for rows in images for row in rows for c in row if c is not None})
        if len(colours) <= 255:
            return [(0, 0, 0)] + colours + [(0, 0, 0)] * (255 - len(colours)), q
        step *= 2


def encode_image(rows, palette, quantise):
    size = len(rows)
    index = {c: i for i, c in reversed(list(enumerate(palette)))}
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in palette)
    xor = b''
    and_mask = b''
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):   # DIBs are stored bottom-up
        xor += bytes(0 if c is None else index[quantise(c)] for c in row)
        bits = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bytes(bits)
    return header + pal + xor + and_mask


def write_ico(path, theme):
    images = [draw32(theme), draw16(theme)]
    palette, quantise = build_palette(images)
    blobs = [(len(rows), encode_image(rows, palette, quantise)) for rows in images]
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, data in blobs:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(data for _, data in blobs))


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, theme in THEMES.items():
        write_ico(os.path.join(here, name), theme)
