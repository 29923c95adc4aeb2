#!/usr/bin/env python3
"""Draws the program's pictures and writes them as PNG files.

Every picture is described twice:
  * as shapes on a 32 x 32 unit grid, rendered with anti-aliasing at 32, 48
    and 256 pixels (edges that lie on whole units stay crisp at 32);
  * as a hand-tuned 16 x 16 pixel grid, because shrinking the shapes to 16
    pixels blurs the slots, the letter and the ruled lines.

The normal-state postbox is also written as a scalable SVG from the same
shapes, for the desktop's icon theme.

Python 3 standard library only. Usage:
    tools/draw-pictures.py [output folder]   (default: resources/pictures)
"""

import math
import os
import struct
import sys
import zlib

# --------------------------------------------------------------------------
# Colours (red, green, blue, alpha)

CLEAR = (0, 0, 0, 0)
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
GREY = (128, 128, 128, 255)
LIGHT_GREY = (200, 200, 200, 255)
DARK_GREY = (64, 64, 64, 255)
SHADOW = (0, 0, 0, 90)

BOX_OUTLINE = (90, 0, 0, 255)
BOX_RED = (210, 16, 16, 255)
BOX_SHADE = (150, 0, 0, 255)
BOX_LIGHT = (255, 110, 90, 255)

GRASS = (40, 168, 40, 255)
GRASS_DARK = (0, 110, 0, 255)
GRASS_LIGHT = (130, 215, 80, 255)

LETTER_EDGE = (150, 105, 0, 255)
LETTER = (255, 226, 40, 255)
LETTER_FOLD = (215, 170, 0, 255)

CROSS = (235, 0, 0, 255)
CROSS_EDGE = WHITE

RULE_BLUE = (110, 150, 225, 255)
STAMP_RED = (200, 40, 40, 255)
STAMP_INNER = (255, 150, 60, 255)

SEA = (40, 110, 225, 255)
SEA_EDGE = (0, 40, 140, 255)
LAND = (50, 175, 60, 255)
CASE = (205, 205, 195, 255)
CASE_EDGE = (70, 70, 70, 255)
SCREEN = (0, 40, 150, 255)
SCREEN_LIGHT = (110, 170, 255, 255)
NOTE = (255, 230, 60, 255)
NOTE_EDGE = (170, 130, 0, 255)
FRAME_RED = (200, 0, 0, 255)

# --------------------------------------------------------------------------
# Shapes on the 32-unit grid


class Rect:
    def __init__(self, x0, y0, x1, y1):
        self.box = (x0, y0, x1, y1)

    def contains(self, x, y):
        x0, y0, x1, y1 = self.box
        return x0 <= x < x1 and y0 <= y < y1


class Ellipse:
    def __init__(self, cx, cy, rx, ry):
        self.c = (cx, cy, rx, ry)
        self.box = (cx - rx, cy - ry, cx + rx, cy + ry)

    def contains(self, x, y):
        cx, cy, rx, ry = self.c
        dx, dy = (x - cx) / rx, (y - cy) / ry
        return dx * dx + dy * dy <= 1.0


class Polygon:
    def __init__(self, points):
        self.points = points
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.box = (min(xs), min(ys), max(xs), max(ys))

    def contains(self, x, y):
        inside = False
        pts = self.points
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y):
                if x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    inside = not inside
            j = i
        return inside


def stroke(x0, y0, x1, y1, width):
    """A straight stroke of the given width, with square ends."""
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    nx, ny = -dy / length * width / 2, dx / length * width / 2
    return Polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])


# --------------------------------------------------------------------------
# Rendering


def render(layers, size):
    """Paints (shape, colour) layers in order; returns rows of RGBA tuples."""
    samples = 4 if size <= 64 else 2
    n = size * samples
    unit = n / 32.0
    buf = [[CLEAR] * n for _ in range(n)]
    for shape, colour in layers:
        x0, y0, x1, y1 = shape.box
        i0 = max(0, int(math.floor(x0 * unit)))
        i1 = min(n, int(math.ceil(x1 * unit)))
        j0 = max(0, int(math.floor(y0 * unit)))
        j1 = min(n, int(math.ceil(y1 * unit)))
        for j in range(j0, j1):
            y = (j + 0.5) / unit
            row = buf[j]
            for i in range(i0, i1):
                if shape.contains((i + 0.5) / unit, y):
                    row[i] = over(colour, row[i])
    return downsample(buf, size, samples)


def over(top, below):
    ta = top[3] / 255.0
    if ta >= 1.0:
        return top
    ba = below[3] / 255.0
    a = ta + ba * (1 - ta)
    if a == 0:
        return CLEAR
    rgb = tuple((top[k] * ta + below[k] * ba * (1 - ta)) / a for k in range(3))
    return (rgb[0], rgb[1], rgb[2], a * 255.0)


def downsample(buf, size, samples):
    rows = []
    count = samples * samples
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0.0
            for j in range(y * samples, (y + 1) * samples):
                for i in range(x * samples, (x + 1) * samples):
                    p = buf[j][i]
                    pa = p[3]
                    r += p[0] * pa
                    g += p[1] * pa
                    b += p[2] * pa
                    a += pa
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(a / count)))
        rows.append(row)
    return rows


def from_grid(grid, palette):
    rows = []
    for line in grid:
        if len(line) != 16:
            raise ValueError("grid row is not 16 wide: %r" % line)
        rows.append([palette[ch] for ch in line])
    if len(rows) != 16:
        raise ValueError("grid is not 16 high")
    return rows


def overlay(base, top):
    return [[t if t[3] else b for b, t in zip(brow, trow)] for brow, trow in zip(base, top)]


def write_png(path, rows):
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((int(r), int(g), int(b), int(a)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def svg_colour(colour):
    r, g, b, a = colour
    fill = 'fill="#%02x%02x%02x"' % (int(r), int(g), int(b))
    if a < 255:
        fill += ' fill-opacity="%.3g"' % (a / 255.0)
    return fill


def svg_number(value):
    return ("%.3f" % value).rstrip("0").rstrip(".")


def write_svg(path, layers):
    """Writes (shape, colour) layers as SVG on the same 32-unit grid; the
    view box clips what overhangs it, as the PNG rendering does."""
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32" stroke="none">',
    ]
    for shape, colour in layers:
        fill = svg_colour(colour)
        if isinstance(shape, Rect):
            x0, y0, x1, y1 = shape.box
            size = (svg_number(v) for v in (x0, y0, x1 - x0, y1 - y0))
            lines.append('  <rect x="%s" y="%s" width="%s" height="%s" %s/>' % (*size, fill))
        elif isinstance(shape, Ellipse):
            cx, cy, rx, ry = (svg_number(v) for v in shape.c)
            lines.append('  <ellipse cx="%s" cy="%s" rx="%s" ry="%s" %s/>' % (cx, cy, rx, ry, fill))
        else:
            points = " ".join("%s,%s" % (svg_number(x), svg_number(y)) for x, y in shape.points)
            lines.append('  <polygon points="%s" %s/>' % (points, fill))
    lines.append("</svg>")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


# --------------------------------------------------------------------------
# The pictures as shapes (32-unit grid)


def postbox(grass=True):
    """A red pillar postbox with two white slots on a post, on green grass."""
    layers = []
    if grass:
        layers += [
            (Ellipse(16, 33, 16, 7), GRASS_DARK),
            (Ellipse(16, 33.5, 15, 6), GRASS),
            (Polygon([(4, 28), (5, 25), (6, 28)]), GRASS),
            (Polygon([(25, 28), (27, 25), (28, 28)]), GRASS),
            (Polygon([(9, 28), (10, 26), (11, 28)]), GRASS_LIGHT),
        ]
    layers += [
        # post
        (Rect(13, 22, 19, 30), DARK_GREY),
        (Rect(14, 22, 15, 30), GREY),
        # body with its outline, shading and highlight
        (Rect(8, 9, 24, 25), BOX_OUTLINE),
        (Rect(9, 10, 23, 24), BOX_RED),
        (Rect(10, 11, 12, 22), BOX_LIGHT),
        (Rect(20, 11, 23, 24), BOX_SHADE),
        # domed cap overhanging the body
        (Ellipse(16, 9, 9, 6), BOX_OUTLINE),
        (Ellipse(16, 9, 8, 5), BOX_RED),
        (Ellipse(13, 7.5, 3, 2), BOX_LIGHT),
        (Rect(7, 9, 25, 12), BOX_OUTLINE),
        (Rect(8, 10, 24, 11), BOX_SHADE),
        # plinth
        (Rect(7, 22, 25, 25), BOX_OUTLINE),
        (Rect(8, 23, 24, 24), BOX_SHADE),
        # the two white slots
        (Rect(12, 14, 20, 16), WHITE),
        (Rect(12, 18, 20, 20), WHITE),
    ]
    return layers


def letter_in_slot():
    """A yellow letter pushed half into the upper slot."""
    return [
        (Rect(10, 4, 22, 16), LETTER_EDGE),
        (Rect(11, 5, 21, 15), LETTER),
        (stroke(11, 5, 16, 10, 1.2), LETTER_FOLD),
        (stroke(16, 10, 21, 5, 1.2), LETTER_FOLD),
        # the slot's lower lip shows below the letter
        (Rect(10, 15, 22, 16), BOX_OUTLINE),
    ]


def cross():
    """A large red X with a white edge, so it shows on the red box."""
    return [
        (stroke(4, 4, 28, 28, 6.5), CROSS_EDGE),
        (stroke(28, 4, 4, 28, 6.5), CROSS_EDGE),
        (stroke(4.5, 4.5, 27.5, 27.5, 4), CROSS),
        (stroke(27.5, 4.5, 4.5, 27.5, 4), CROSS),
    ]


def mail_sheet():
    """A white letter sheet with ruled lines and a small stamp, with a shadow."""
    layers = [
        (Rect(8, 6, 28, 30), SHADOW),
        (Rect(5, 3, 25, 27), GREY),
        (Rect(6, 4, 24, 26), WHITE),
        # stamp with a white perforated margin
        (Rect(17, 5, 23, 12), LIGHT_GREY),
        (Rect(18, 6, 22, 11), STAMP_RED),
        (Rect(19, 7, 21, 9), STAMP_INNER),
    ]
    for y in (13, 16, 19, 22):
        layers.append((Rect(8, y, 22, y + 1), RULE_BLUE))
    layers.append((Rect(8, 7, 15, 8), RULE_BLUE))
    layers.append((Rect(8, 10, 13, 11), RULE_BLUE))
    return layers


def notice_box():
    """Close-up of the postbox head with a big letter in its slot."""
    return [
        (Rect(5, 10, 27, 32), BOX_OUTLINE),
        (Rect(6, 11, 26, 32), BOX_RED),
        (Rect(7, 13, 10, 32), BOX_LIGHT),
        (Rect(22, 13, 26, 32), BOX_SHADE),
        (Ellipse(16, 10, 12.5, 8), BOX_OUTLINE),
        (Ellipse(16, 10, 11.5, 7), BOX_RED),
        (Ellipse(11, 7, 4, 2.5), BOX_LIGHT),
        (Rect(4, 10, 28, 13), BOX_OUTLINE),
        (Rect(5, 11, 27, 12), BOX_SHADE),
        (Rect(9, 20, 23, 23), WHITE),
        (Rect(8, 8, 24, 22), LETTER_EDGE),
        (Rect(9, 9, 23, 21), LETTER),
        (stroke(9, 9, 16, 15, 1.4), LETTER_FOLD),
        (stroke(16, 15, 23, 9, 1.4), LETTER_FOLD),
        (Rect(8, 21, 24, 23), BOX_OUTLINE),
        (Rect(9, 26, 23, 28), WHITE),
    ]


def about_picture():
    """A globe, a computer and a yellow note in a red frame."""
    return [
        (Rect(0, 0, 32, 32), FRAME_RED),
        (Rect(2, 2, 30, 30), WHITE),
        # globe
        (Ellipse(11, 11, 7.5, 7.5), SEA_EDGE),
        (Ellipse(11, 11, 6.5, 6.5), SEA),
        (Polygon([(7, 6), (11, 5), (12, 8), (9, 11), (10, 14), (7, 13), (5, 10)]), LAND),
        (Polygon([(13, 11), (16, 10), (17, 13), (14, 17), (12, 15)]), LAND),
        # computer: monitor, screen, stand, keyboard
        (Rect(15, 12, 29, 24), CASE_EDGE),
        (Rect(16, 13, 28, 23), CASE),
        (Rect(17, 14, 27, 21), SCREEN),
        (Rect(18, 15, 23, 16), SCREEN_LIGHT),
        (Rect(18, 17, 25, 18), SCREEN_LIGHT),
        (Rect(20, 24, 24, 25), CASE_EDGE),
        (Polygon([(15, 29), (17, 25), (28, 25), (30, 29)]), CASE_EDGE),
        (Polygon([(16.5, 28), (18, 26), (27, 26), (28.5, 28)]), CASE),
        # yellow note with a folded corner
        (Polygon([(3, 18), (12, 18), (12, 26), (10, 28), (3, 28)]), NOTE_EDGE),
        (Polygon([(4, 19), (11, 19), (11, 25.5), (9.5, 27), (4, 27)]), NOTE),
        (Polygon([(9.5, 27), (11, 25.5), (9.5, 25.5)]), NOTE_EDGE),
        (Rect(5, 21, 10, 22), NOTE_EDGE),
        (Rect(5, 23, 9, 24), NOTE_EDGE),
    ]


def flying_envelope():
    """An envelope flying to the right, with speed lines behind it."""
    return [
        (Rect(1, 11, 8, 12), DARK_GREY),
        (Rect(3, 15, 8, 16), DARK_GREY),
        (Rect(1, 19, 8, 20), DARK_GREY),
        (Rect(10, 8, 30, 24), BLACK),
        (Rect(11, 9, 29, 23), WHITE),
        (stroke(11, 9, 20, 17, 1.2), BLACK),
        (stroke(20, 17, 29, 9, 1.2), BLACK),
    ]


# --------------------------------------------------------------------------
# The 16 x 16 versions, drawn pixel by pixel

PALETTE = {
    ".": CLEAR,
    "k": BOX_OUTLINE,
    "r": BOX_RED,
    "s": BOX_SHADE,
    "h": BOX_LIGHT,
    "w": WHITE,
    "g": GRASS,
    "G": GRASS_DARK,
    "l": GRASS_LIGHT,
    "p": DARK_GREY,
    "P": GREY,
    "o": LETTER_EDGE,
    "y": LETTER,
    "f": LETTER_FOLD,
    "x": CROSS,
    "e": GREY,
    "E": LIGHT_GREY,
    "b": RULE_BLUE,
    "t": STAMP_RED,
    "T": STAMP_INNER,
    "d": SHADOW,
    "B": BLACK,
    "D": DARK_GREY,
    "S": SEA,
    "n": SEA_EDGE,
    "L": LAND,
    "c": CASE,
    "C": CASE_EDGE,
    "m": SCREEN,
    "M": SCREEN_LIGHT,
    "N": NOTE,
    "O": NOTE_EDGE,
    "F": FRAME_RED,
}

POSTBOX_16 = [
    "................",
    "......kkkk......",
    "....kkrrrrkk....",
    "...krhhrrrrsk...",
    "..kkkkkkkkkkkk..",
    "...khhrrrrssk...",
    "...khwwwwwwsk...",
    "...khrrrrrrsk...",
    "...khwwwwwwsk...",
    "...khrrrrrrsk...",
    "...khrrrrrrsk...",
    "..kkkkkkkkkkkk..",
    "......pPpp......",
    "..l.GgpPppgG.l..",
    ".gglggggggggglg.",
    "GgggggGggggggGgg",
]

LETTER_16 = [
    "................",
    "....oooooooo....",
    "....oyffffyo....",
    "....oyyffyyo....",
    "....oyyyyyyo....",
    "....oyyyyyyo....",
    "...kkkkkkkkkk...",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
]

CROSS_16 = [
    ".ww..........ww.",
    "wxxw........wxxw",
    "wxxxw......wxxxw",
    ".wxxxw....wxxxw.",
    "..wxxxw..wxxxw..",
    "...wxxxwwxxxw...",
    "....wxxxxxxw....",
    ".....wxxxxw.....",
    ".....wxxxxw.....",
    "....wxxxxxxw....",
    "...wxxxwwxxxw...",
    "..wxxxw..wxxxw..",
    ".wxxxw....wxxxw.",
    "wxxxw......wxxxw",
    "wxxw........wxxw",
    ".ww..........ww.",
]

SHEET_16 = [
    "................",
    ".eeeeeeeeeee....",
    ".ewwwwwwEEEe....",
    ".ewbbbwwEtEed...",
    ".ewwwwwwEtEed...",
    ".ewbbwwwEEEed...",
    ".ewwwwwwwwwed...",
    ".ewbbbbbbbwed...",
    ".ewwwwwwwwwed...",
    ".ewbbbbbbbwed...",
    ".ewwwwwwwwwed...",
    ".ewbbbbbbbwed...",
    ".ewwwwwwwwwed...",
    ".eeeeeeeeeeed...",
    "..dddddddddddd..",
    "................",
]

NOTICE_16 = [
    "....kkkkkkkk....",
    "..kkrhhrrrrrkk..",
    ".krhhrrrrrrrrsk.",
    "kkkkkkkkkkkkkkkk",
    ".khoooooooooosk.",
    ".khofyyyyyyfosk.",
    ".khoyfyyyyfyosk.",
    ".khoyyfyyfyyosk.",
    ".khoyyyffyyyosk.",
    ".khoyyyyyyyyosk.",
    ".khkkkkkkkkkksk.",
    ".khrrrrrrrrrrsk.",
    ".khwwwwwwwwwwsk.",
    ".khrrrrrrrrrrsk.",
    ".khrrrrrrrrrrsk.",
    ".khrrrrrrrrrrsk.",
]

ABOUT_16 = [
    "FFFFFFFFFFFFFFFF",
    "FwwnnnwwwwwwwwwF",
    "FwnSLLnwwwwwwwwF",
    "FnSLLSSnwwwwwwwF",
    "FnSSLSSnCCCCCCCF",
    "FnLSSSLnCcccccCF",
    "FwnSSLnwCcmmmcCF",
    "FwwnnnwwCcmMmcCF",
    "FOOOOOwwCcmmmcCF",
    "FONNNNOwCcccccCF",
    "FONOONOwCCCCCCCF",
    "FONNNNOwwwCCwwwF",
    "FONOONOwCCCCCCCF",
    "FONNNNOwCcccccCF",
    "FOOOOOOwCCCCCCCF",
    "FFFFFFFFFFFFFFFF",
]

ENVELOPE_16 = [
    "................",
    "................",
    "................",
    ".....BBBBBBBBBBB",
    "DDD..BBwwwwwwwBB",
    ".....BwBwwwwwBwB",
    "..DD.BwwBwwwBwwB",
    ".....BwwwBwBwwwB",
    "DDD..BwwwwBwwwwB",
    ".....BwwwwwwwwwB",
    ".....BwwwwwwwwwB",
    ".....BBBBBBBBBBB",
    "................",
    "................",
    "................",
    "................",
]


def grid(rows):
    return from_grid(rows, PALETTE)


# --------------------------------------------------------------------------


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "pictures")
    os.makedirs(out, exist_ok=True)

    box16 = grid(POSTBOX_16)
    pictures = {
        "state-normal": (postbox(), box16),
        "state-newmail": (postbox() + letter_in_slot(), overlay(box16, grid(LETTER_16))),
        "state-error": (postbox() + cross(), overlay(box16, grid(CROSS_16))),
        "mailer": (mail_sheet(), grid(SHEET_16)),
        "notice": (notice_box(), grid(NOTICE_16)),
        "about": (about_picture(), grid(ABOUT_16)),
        "cursor-envelope": (flying_envelope(), grid(ENVELOPE_16)),
    }
    for name, (shapes, small) in pictures.items():
        write_png(os.path.join(out, "%s-16.png" % name), small)
        write_png(os.path.join(out, "%s-32.png" % name), render(shapes, 32))
    # Larger renderings of the normal state for desktop icons.
    for size in (48, 256):
        write_png(os.path.join(out, "state-normal-%d.png" % size), render(postbox(), size))
    write_svg(os.path.join(out, "state-normal.svg"), postbox())


if __name__ == "__main__":
    main()
