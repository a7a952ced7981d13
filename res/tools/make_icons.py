#!/usr/bin/env python3
"""Draw Vantrell's icons and write them as Windows .ico files.

Usage: python3 make_icons.py OUTDIR

Writes app.ico, the engine version badges (ie4.ico ... ie9.ico,
iedefault.ico), the taskbar overlay badge (overlay.ico) and preview.png, a magnified contact sheet of every image.
Each .ico holds 16x16, 32x32 and 48x48 images as 32-bit BGRA DIBs with an
AND mask, which every icon loader since Windows 95 understands.

Only the Python standard library is used.
"""

import os
import struct
import sys
import zlib

SIZES = (16, 32, 48)
SS = 4  # supersampling per axis for anti-aliased shapes


# --------------------------------------------------------------------------
# Colours

def hexcol(s, a=1.0):
    s = s.lstrip('#')
    return (int(s[0:2], 16) / 255.0, int(s[2:4], 16) / 255.0,
            int(s[4:6], 16) / 255.0, a)


def mix(c1, c2, t):
    return tuple(c1[i] + (c2[i] - c1[i]) * t for i in range(4))


def lighten(c, t):
    return mix(c, (1.0, 1.0, 1.0, c[3]), t)


def darken(c, t):
    return mix(c, (0.0, 0.0, 0.0, c[3]), t)


# --------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats, painted with coverage-sampled shapes

class Canvas:
    def __init__(self, w, h, bg=None):
        self.w = w
        self.h = h
        px = (0.0, 0.0, 0.0, 0.0)
        if bg is not None:
            px = (bg[0] * bg[3], bg[1] * bg[3], bg[2] * bg[3], bg[3])
        self.px = [list(px) for _ in range(w * h)]

    def blend(self, x, y, col, cov):
        """Composite straight-alpha colour col over pixel (x, y)."""
        if cov <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = col[3] * min(cov, 1.0)
        p = self.px[y * self.w + x]
        k = 1.0 - a
        p[0] = col[0] * a + p[0] * k
        p[1] = col[1] * a + p[1] * k
        p[2] = col[2] * a + p[2] * k
        p[3] = a + p[3] * k

    def fill(self, inside, paint, bbox=None, clip=None):
        """Fill the region where inside(x, y) holds (continuous pixel
        coordinates).  paint is a colour or a function (x, y) -> colour."""
        x0, y0, x1, y1 = bbox if bbox else (0, 0, self.w, self.h)
        x0 = max(0, int(x0))
        y0 = max(0, int(y0))
        x1 = min(self.w, int(x1) + 1)
        y1 = min(self.h, int(y1) + 1)
        step = 1.0 / SS
        offs = [(i + 0.5) * step for i in range(SS)]
        n = float(SS * SS)
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for oy in offs:
                    sy = py + oy
                    for ox in offs:
                        sx = px + ox
                        if inside(sx, sy) and (clip is None or clip(sx, sy)):
                            hits += 1
                if hits:
                    col = paint(px + 0.5, py + 0.5) if callable(paint) else paint
                    self.blend(px, py, col, hits / n)

    def rgba8(self):
        """Straight (non-premultiplied) 8-bit RGBA rows, top row first."""
        out = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a > 1e-6:
                    r, g, b = r / a, g / a, b / a
                else:
                    r = g = b = 0.0
                row += bytes(max(0, min(255, int(round(v * 255))))
                             for v in (r, g, b, a))
            out.append(bytes(row))
        return out


# --------------------------------------------------------------------------
# Shape predicates

def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        dx, dy = x - cx, y - cy
        return dx * dx + dy * dy <= r * r
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    rr = r * r
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= rr


def ring(cx, cy, r, width):
    ro = r * r
    ri = (r - width) ** 2
    return lambda x, y: ri < (x - cx) ** 2 + (y - cy) ** 2 <= ro


def ellipse_ring(cx, cy, rx, ry, width):
    """Outline of an axis-aligned ellipse, about width pixels thick."""
    def inside(x, y):
        if rx <= 0:
            return abs(x - cx) <= width / 2.0
        ox, oy = rx + width / 2.0, ry + width / 2.0
        ix, iy = max(rx - width / 2.0, 0.01), max(ry - width / 2.0, 0.01)
        dx, dy = x - cx, y - cy
        outer = (dx / ox) ** 2 + (dy / oy) ** 2 <= 1.0
        inner = (dx / ix) ** 2 + (dy / iy) ** 2 < 1.0
        return outer and not inner
    return inside


def vgrad(y0, y1, c0, c1):
    def paint(x, y):
        t = 0.0 if y1 == y0 else min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return mix(c0, c1, t)
    return paint


def radial(cx, cy, r, c0, c1):
    def paint(x, y):
        d = (((x - cx) ** 2 + (y - cy) ** 2) ** 0.5) / r
        return mix(c0, c1, min(d, 1.0))
    return paint


# --------------------------------------------------------------------------
# Pixel font for the version labels.  Two faces: a square 3x5 face that is
# scaled up in whole pixels, and a tall 3x7 face used when a label has to
# fit into 16x16 at its natural size.

FONT_3X5 = {
    '0': ['111', '101', '101', '101', '111'],
    '1': ['010', '110', '010', '010', '111'],
    '2': ['111', '001', '111', '100', '111'],
    '3': ['111', '001', '011', '001', '111'],
    '4': ['101', '101', '111', '001', '001'],
    '5': ['111', '100', '111', '001', '111'],
    '6': ['111', '100', '111', '101', '111'],
    '7': ['111', '001', '010', '010', '010'],
    '8': ['111', '101', '111', '101', '111'],
    '9': ['111', '101', '111', '001', '111'],
    'D': ['1110', '1001', '1001', '1001', '1110'],
    '.': ['0', '0', '0', '0', '1'],
    '!': ['1', '1', '1', '0', '1'],
}

FONT_3X7 = {
    '4': ['101', '101', '101', '111', '001', '001', '001'],
    '5': ['111', '100', '100', '111', '001', '001', '111'],
    '6': ['111', '100', '100', '111', '101', '101', '111'],
    '7': ['111', '001', '001', '001', '010', '010', '010'],
    '8': ['111', '101', '101', '111', '101', '101', '111'],
    '9': ['111', '101', '101', '111', '001', '001', '111'],
    'D': ['1110', '1001', '1001', '1001', '1001', '1001', '1110'],
    '.': ['0', '0', '0', '0', '0', '0', '1'],
    '!': ['1', '1', '1', '1', '1', '0', '1'],
}


def text_cells(text, font):
    """Lit cells (col, row) of text set in font, one blank column between
    characters, and the text's width and height in font cells."""
    cells = []
    x = 0
    height = len(next(iter(font.values())))
    for i, ch in enumerate(text):
        glyph = font[ch]
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == '1':
                    cells.append((x + col, row))
        x += len(glyph[0])
        if i != len(text) - 1:
            x += 1
    return cells, x, height


def layout_label(text, size, inner):
    """Pick a face and a whole-pixel scale so that the label fits the
    badge's inner square; returns (cells, scale, width, height)."""
    max_h = size * 0.56 if size > 16 else size * 0.64
    best = None
    for s in range(8, 0, -1):
        cells, w, h = text_cells(text, FONT_3X5)
        if w * s <= inner and h * s <= max_h:
            best = (cells, s, w * s, h * s)
            break
    if best is None or best[1] == 1:
        cells, w, h = text_cells(text, FONT_3X7)
        if w <= inner and h <= max_h:
            best = (cells, 1, w, h)
    return best


# --------------------------------------------------------------------------
# Version badge

BADGE_GEOMETRY = {
    # size: (margin, corner radius, border width)
    16: (0, 3.0, 1),
    32: (1, 6.0, 1),
    48: (2, 9.0, 2),
}


def draw_badge(size, label, base):
    c = Canvas(size, size)
    m, r, bw = BADGE_GEOMETRY[size]
    x0, y0, x1, y1 = m, m, size - m, size - m
    edge = darken(base, 0.45)
    top = lighten(base, 0.30)
    bottom = darken(base, 0.12)

    c.fill(rrect(x0, y0, x1, y1, r), edge)
    c.fill(rrect(x0 + bw, y0 + bw, x1 - bw, y1 - bw, r - bw),
           vgrad(y0 + bw, y1 - bw, top, bottom))
    # a soft gloss over the upper half
    gloss_h = (y1 - y0) * 0.46
    c.fill(rrect(x0 + bw, y0 + bw, x1 - bw, y0 + bw + gloss_h, r - bw),
           vgrad(y0, y0 + gloss_h, (1, 1, 1, 0.30), (1, 1, 1, 0.06)))

    inner = (x1 - x0) - 2 * bw - (2 if size > 16 else 0)
    cells, s, tw, th = layout_label(label, size, inner)
    tx = (size - tw) // 2
    ty = (size - th) // 2
    shadow = darken(base, 0.55)
    shadow = (shadow[0], shadow[1], shadow[2], 0.85 if s > 1 else 0.4)
    sh = max(1, s // 3)
    for (cx, cy) in cells:
        for yy in range(s):
            for xx in range(s):
                c.blend(tx + cx * s + xx + sh, ty + cy * s + yy + sh, shadow, 1.0)
    white = (1.0, 1.0, 1.0, 1.0)
    for (cx, cy) in cells:
        for yy in range(s):
            for xx in range(s):
                c.blend(tx + cx * s + xx, ty + cy * s + yy, white, 1.0)
    return c


VERSIONS = [
    # file name, label, badge colour
    ('ie4.ico', '4', hexcol('#7a5fb0')),
    ('ie5.ico', '5', hexcol('#3f9b3a')),
    ('ie55.ico', '5.5', hexcol('#13a39a')),
    ('ie6.ico', '6', hexcol('#2f6fd6')),
    ('ie7.ico', '7', hexcol('#e3801c')),
    ('ie8.ico', '8', hexcol('#cf3737')),
    ('ie9.ico', '9', hexcol('#c23f97')),
    ('iedefault.ico', 'D', hexcol('#55637a')),
]

# The taskbar overlay while a lost tab's notice shows.
OVERLAY = ('overlay.ico', '!', hexcol('#e0a010'))


# --------------------------------------------------------------------------
# Application icon: two overlapping browser panes with a globe in front

def draw_pane(c, x0, y0, x1, y1, r, bar_h, frame, bar_top, bar_bottom, body):
    c.fill(rrect(x0, y0, x1, y1, r), frame)
    c.fill(rrect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, max(r - 1, 0.5)), body)
    c.fill(rrect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, max(r - 1, 0.5)),
           vgrad(y0 + 1, y0 + 1 + bar_h, bar_top, bar_bottom),
           clip=rect(x0, y0, x1, y0 + 1 + bar_h))


def draw_globe(c, cx, cy, rad, size):
    outline = hexcol('#0b3f7a')
    sea = radial(cx - rad * 0.35, cy - rad * 0.4, rad * 1.5,
                 hexcol('#7fe0f0'), hexcol('#1660c4'))
    c.fill(circle(cx, cy, rad), outline)
    inner = rad - (1.0 if size < 48 else 1.5)
    c.fill(circle(cx, cy, inner), sea)
    clip = circle(cx, cy, inner)
    lw = 1.0 if size <= 16 else (1.1 if size <= 32 else 1.5)
    grid = (1.0, 1.0, 1.0, 0.75 if size > 16 else 0.85)
    # meridians
    c.fill(ellipse_ring(cx, cy, inner * 0.5, inner, lw), grid, clip=clip)
    c.fill(ellipse_ring(cx, cy, 0, inner, lw), grid, clip=clip)
    # equator and, where there is room, two parallels
    c.fill(rect(cx - inner, cy - lw / 2, cx + inner, cy + lw / 2), grid, clip=clip)
    if size > 16:
        for f in (-0.55, 0.55):
            yy = cy + inner * f
            c.fill(rect(cx - inner, yy - lw / 2, cx + inner, yy + lw / 2),
                   grid, clip=clip)
    # highlight
    c.fill(circle(cx - inner * 0.35, cy - inner * 0.4, inner * 0.45),
           radial(cx - inner * 0.35, cy - inner * 0.4, inner * 0.45,
                  (1, 1, 1, 0.45), (1, 1, 1, 0.0)), clip=clip)


APP_LAYOUT = {
    # back pane, front pane (x0, y0, x1, y1), globe (cx, cy, r), bar height
    16: ((5, 0, 16, 10), (0, 4, 11, 15), (11.5, 11.5, 4.6), 2),
    32: ((10, 1, 31, 20), (1, 8, 22, 28), (21.0, 21.0, 10.2), 4),
    48: ((15, 2, 46, 30), (2, 12, 33, 42), (31.5, 31.5, 15.0), 6),
}


def draw_app(size):
    c = Canvas(size, size)
    back, front, globe, bar = APP_LAYOUT[size]
    r = max(1.5, size / 12.0)
    # back pane: teal
    draw_pane(c, *back, r, bar,
              hexcol('#0c6b66'), hexcol('#3fd0c2'), hexcol('#14a396'),
              hexcol('#e4f7f5'))
    # front pane: blue
    draw_pane(c, *front, r, bar,
              hexcol('#123f86'), hexcol('#5a9cf0'), hexcol('#1f5fc4'),
              hexcol('#f4f8ff'))
    # faint content lines in the panes where there is room
    if size >= 32:
        lh = 1 if size == 32 else 2
        for (x0, y0, x1, y1) in (back, front):
            yy = y0 + bar + 3 + (1 if size == 48 else 0)
            col = hexcol('#9fb4cc')
            while yy + lh < y1 - 3:
                right = x1 - 3 - ((yy * 7) % 5) * (size // 16)
                c.fill(rect(x0 + 3, yy, right, yy + lh - 0.01), col)
                yy += lh + (2 if size == 32 else 3)
    draw_globe(c, globe[0], globe[1], globe[2], size)
    return c


# --------------------------------------------------------------------------
# File writers

def ico_bytes(canvases):
    """A .ico file with one 32-bit DIB image per canvas."""
    images = []
    for cv in canvases:
        w, h = cv.w, cv.h
        rows = cv.rgba8()
        header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0,
                             0, 0, 0, 0, 0)
        xor = bytearray()
        for row in reversed(rows):          # DIB rows run bottom-up
            for i in range(0, len(row), 4):
                r, g, b, a = row[i:i + 4]
                xor += bytes((b, g, r, a))
        stride = ((w + 31) // 32) * 4        # mask rows are DWORD aligned
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(stride)
            for x in range(w):
                if row[x * 4 + 3] < 128:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        data = header + bytes(xor) + bytes(mask)
        # record the real image size for loaders that read it
        data = data[:20] + struct.pack('<I', len(xor) + len(mask)) + data[24:]
        images.append((w, h, data))

    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (w, h, data) in images:
        out += struct.pack('<BBBBHHII', w if w < 256 else 0,
                           h if h < 256 else 0, 0, 0, 1, 32,
                           len(data), offset)
        offset += len(data)
    for (_, _, data) in images:
        out += data
    return bytes(out)


def png_bytes(w, h, rows):
    def chunk(kind, data):
        body = kind + data
        return (struct.pack('>I', len(data)) + body +
                struct.pack('>I', zlib.crc32(body) & 0xffffffff))
    raw = b''.join(b'\x00' + r for r in rows)
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) +
            chunk(b'IEND', b''))


def preview(sets, zoom=4):
    """Contact sheet: one row per icon; each size magnified, then at 1:1,
    first on a light and then on a dark background."""
    pad = 8
    cell_w = sum(s * zoom + pad for s in SIZES) + sum(s + pad for s in SIZES)
    width = pad + 2 * cell_w + pad
    row_h = max(SIZES) * zoom + pad
    height = pad + row_h * len(sets)
    bgs = [(236, 236, 236), (40, 44, 52)]
    img = [bytearray() for _ in range(height)]
    for y in range(height):
        for x in range(width):
            bg = bgs[0] if x < pad + cell_w else bgs[1]
            img[y] += bytes((bg[0], bg[1], bg[2], 255))

    def put(ox, oy, cv, z, bg):
        rows = cv.rgba8()
        for y in range(cv.h):
            for x in range(cv.w):
                r, g, b, a = rows[y][x * 4:x * 4 + 4]
                t = a / 255.0
                col = bytes(int(round(bg[i] * (1 - t) + (r, g, b)[i] * t))
                            for i in range(3)) + b'\xff'
                for yy in range(z):
                    line = img[oy + y * z + yy]
                    for xx in range(z):
                        p = (ox + x * z + xx) * 4
                        line[p:p + 4] = col

    for i, canvases in enumerate(sets):
        oy = pad + i * row_h
        for half in range(2):
            ox = pad + half * cell_w
            for cv in canvases:
                put(ox, oy, cv, zoom, bgs[half])
                ox += cv.w * zoom + pad
            for cv in canvases:
                put(ox, oy, cv, 1, bgs[half])
                ox += cv.w + pad
    return png_bytes(width, height, [bytes(r) for r in img])


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make_icons.py OUTDIR\n')
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    sheet = []

    app = [draw_app(s) for s in SIZES]
    with open(os.path.join(outdir, 'app.ico'), 'wb') as f:
        f.write(ico_bytes(app))
    sheet.append(app)

    for name, label, colour in VERSIONS + [OVERLAY]:
        imgs = [draw_badge(s, label, colour) for s in SIZES]
        with open(os.path.join(outdir, name), 'wb') as f:
            f.write(ico_bytes(imgs))
        sheet.append(imgs)

    with open(os.path.join(outdir, 'preview.png'), 'wb') as f:
        f.write(preview(sheet))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
