#!/usr/bin/env python3
"""Draws the product's pictures: a rounded square with a white antenna sending radio waves.

    make_icons.py <output folder>

writes connected.ico (blue: the connected tray state and the application icon),
disconnected.ico (gray) and setup-welcome.bmp (the setup's welcome and finish pages).

Each icon size is drawn for itself rather than scaled from one picture: the 16 and 20 px
images are laid out by hand, the others per size with stroke widths, the dot and the
crossbar on whole pixels, so straight edges stay sharp and only curves are smoothed.
The images are 32-bit with alpha; the 256 px one is stored as PNG, as Windows expects.
Standard library only; the build runs it, so the pictures always match this script.
"""
import math
import os
import struct
import sys
import zlib

ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_FROM = 256                      # sizes from here on are stored as PNG
WELCOME_SIZE = (164, 314)           # what the setup's welcome and finish pages show
WHITE = (255, 255, 255)

# Body colours per icon: top and bottom of the fill gradient, and the outline.
THEMES = {
    'connected.ico': {'top': (82, 160, 245), 'bottom': (18, 88, 196), 'edge': (10, 52, 132)},
    'disconnected.ico': {'top': (176, 176, 176), 'bottom': (112, 112, 112), 'edge': (72, 72, 72)},
}


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---- Signed distances (negative inside), in pixels --------------------------------
# Coverage of a pixel by a shape is taken from the distance at its centre: an edge on a
# pixel boundary gives exactly 0 or 1, so strokes laid on whole pixels stay sharp.

def coverage(dist):
    return min(1.0, max(0.0, 0.5 - dist))


def rounded_box(x, y, lo, hi, radius):
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    if lo + radius <= x <= hi - radius or lo + radius <= y <= hi - radius:
        return max(lo - x, x - hi, lo - y, y - hi)
    return math.hypot(x - cx, y - cy) - radius


def segment(x, y, a, b, width):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy) - width / 2


def box(x, y, left, top, right, bottom):
    return max(left - x, x - right, top - y, y - bottom)


def arcs(x, y, centre, radii, width, half_angle):
    """Arcs open to the left and right of the centre, like (( o )), with round ends."""
    dx, dy = abs(x - centre[0]), y - centre[1]
    best = float('inf')
    for r in radii:
        if abs(math.atan2(dy, dx)) <= half_angle:
            d = abs(math.hypot(dx, dy) - r) - width / 2
        else:   # beyond the arc's end: distance to its end point
            ex, ey = r * math.cos(half_angle), r * math.sin(half_angle) * (1 if dy > 0 else -1)
            d = math.hypot(dx - ex, dy - ey) - width / 2
        best = min(best, d)
    return best


# ---- Layout of one size ---------------------------------------------------------------

def layout(size):
    """Geometry of the picture at one size, with strokes and flat edges on whole pixels."""
    unit = size / 16
    stroke = max(1, int(unit + 0.5))                   # legs, crossbar, waves
    outline = max(1, int(size / 32 + 0.5))
    centre_x = size / 2                                # a pixel boundary: sizes are even
    dot = max(2, 2 * int(size * 0.08 + 0.5))           # even, so it sits on whole pixels
    dot_y = int(size * 0.375 + 0.5)
    top = dot_y - dot / 2
    foot = size - outline - max(1, int(unit * 1.5 + 0.5))
    spread = int(size * 0.19 + 0.5)
    bar_top = int(foot - (foot - top) * 0.36 + 0.5)
    gap = max(1, int(unit * 1.1 + 0.5))
    inner = dot / 2 + gap + stroke / 2
    return {
        'radius': max(2, int(size * 0.2 + 0.5)),
        'outline': outline,
        'dot': ((centre_x, dot_y), dot / 2),
        'legs': [((centre_x, dot_y), (centre_x - spread, foot)), ((centre_x, dot_y), (centre_x + spread, foot))],
        'bar': (centre_x - spread * (bar_top + stroke / 2 - dot_y) / (foot - dot_y), bar_top,
                centre_x + spread * (bar_top + stroke / 2 - dot_y) / (foot - dot_y), bar_top + stroke),
        'waves': (inner, inner + gap + stroke),
        'stroke': stroke,
    }


def antenna(x, y, g):
    (cx, cy), r = g['dot']
    d = math.hypot(x - cx, y - cy) - r
    for a, b in g['legs']:
        d = min(d, segment(x, y, a, b, g['stroke']))
    d = min(d, box(x, y, *g['bar']))
    return min(d, arcs(x, y, (cx, cy), g['waves'], g['stroke'], math.radians(40)))


def draw(size, theme):
    """Rows top-down of (r, g, b, a)."""
    if size in HAND_LAID:
        return draw_by_hand(HAND_LAID[size], theme)
    g = layout(size)
    rows = []
    for py in range(size):
        fill = mix(theme['top'], theme['bottom'], py / (size - 1))
        row = []
        for px in range(size):
            x, y = px + 0.5, py + 0.5
            body = rounded_box(x, y, 0, size, g['radius'])
            alpha = coverage(body)
            if alpha == 0:
                row.append((0, 0, 0, 0))
                continue
            colour = mix(theme['edge'], fill, coverage(body + g['outline']))
            colour = mix(colour, WHITE, coverage(antenna(x, y, g)))
            row.append(colour + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


# ---- 16 and 20 px: laid out pixel by pixel --------------------------------------
# '.' transparent, 'E' outline, 'b' body (gradient), 'W' white.
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


ART20 = [
    "..EEEEEEEEEEEEEEEE..",
    ".EbbbbbbbbbbbbbbbbE.",
    "EbbbbbbbbbbbbbbbbbbE",
    "EbbbWbbbbbbbbbbWbbbE",
    "EbbWbbbbbbbbbbbbWbbE",
    "EbWbbbWbbbbbbWbbbWbE",
    "EbWbbWbbbWWbbbWbbWbE",
    "EbWbbWbbWWWWbbWbbWbE",
    "EbWbbWbbWWWWbbWbbWbE",
    "EbWbbWbbbWWbbbWbbWbE",
    "EbWbbbWbbWWbbWbbbWbE",
    "EbbWbbbbWbbWbbbbWbbE",
    "EbbbWbbbWbbWbbbWbbbE",
    "EbbbbbbWWWWWWbbbbbbE",
    "EbbbbbbWbbbbWbbbbbbE",
    "EbbbbbWbbbbbbWbbbbbE",
    "EbbbbbWbbbbbbWbbbbbE",
    "EbbbbbbbbbbbbbbbbbbE",
    ".EbbbbbbbbbbbbbbbbE.",
    "..EEEEEEEEEEEEEEEE..",
]
HAND_LAID = {16: ART16, 20: ART20}


def draw_by_hand(art, theme):
    rows = []
    for y, line in enumerate(art):
        fill = mix(theme['top'], theme['bottom'], y / (len(art) - 1))
        colours = {'.': (0, 0, 0, 0), 'E': theme['edge'] + (255,), 'b': fill + (255,), 'W': WHITE + (255,)}
        rows.append([colours[ch] for ch in line])
    return rows


# ---- Setup artwork --------------------------------------------------------------------

def draw_welcome(theme):
    """The welcome page's left panel: the product's blue, its antenna large, waves fading out."""
    width, height = WELCOME_SIZE
    size = 112
    left, top = (width - size) // 2, 64
    g = layout(size)
    rows = []
    for py in range(height):
        fill = mix(theme['top'], theme['bottom'], py / (height - 1))
        row = []
        for px in range(width):
            x, y = px + 0.5 - left, py + 0.5 - top
            (cx, cy), _ = g['dot']
            # Faint rings around the antenna, fading with distance.
            ring = abs((math.hypot(x - cx, y - cy) - g['waves'][1]) % 26 - 13) - 1.5
            fade = max(0.0, 1 - math.hypot(x - cx, y - cy) / 230)
            colour = mix(fill, WHITE, coverage(ring) * 0.18 * fade)
            colour = mix(colour, WHITE, coverage(antenna(x, y, g)))
            row.append(colour)
        rows.append(row)
    return rows


# ---- File formats -------------------------------------------------------------------

def encode_dib(rows):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), BGRA bottom-up, AND mask."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def encode_png(rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\0' + bytes(v for px in row for v in px) for row in rows)
    ihdr = struct.pack('>IIBBBBB', len(rows[0]), len(rows), 8, 6, 0, 0, 0)   # 8-bit RGBA
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


def write_ico(path, theme):
    blobs = []
    for size in ICON_SIZES:
        rows = draw(size, theme)
        blobs.append((size, encode_png(rows) if size >= PNG_FROM else encode_dib(rows)))
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, data in blobs:
        # A size of 256 is written as 0 in the directory's byte.
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(data for _, data in blobs))


def write_bmp(path, rows):
    """24-bit bottom-up BMP, as NSIS loads it."""
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) & ~3
    pixels = b''.join(bytes(v for (r, g, b) in row for v in (b, g, r)).ljust(stride, b'\0')
                      for row in reversed(rows))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit('usage: make_icons.py <output folder>')
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for name, theme in THEMES.items():
        write_ico(os.path.join(out_dir, name), theme)
    write_bmp(os.path.join(out_dir, 'setup-welcome.bmp'), draw_welcome(THEMES['connected.ico']))
