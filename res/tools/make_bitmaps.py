#!/usr/bin/env python3
"""Draw Vantrell's ribbon artwork and write it as 24-bit .bmp strips.

Usage: python3 make_bitmaps.py OUTDIR [--preview DIR]

Writes into OUTDIR:
  ribbon_small.bmp  34 images of 16x16 side by side (ribbon buttons)
  ribbon_large.bmp  the same 34 images at 32x32
  app_button.bmp    32x32 glyph for the round application button
  panel_icons.bmp   32 images of 16x16 shown by collapsed ribbon panels
  main_large.bmp    16 images of 32x32 for the application menu
  main_small.bmp    the same 16 images at 16x16

Every image is drawn procedurally: shapes are described by signed distance
functions in a 16 x 16 unit box, scaled to the target size, and pixels that
lie on an edge are sampled 4 x 4 times and box-filtered.  Magenta
RGB(255, 0, 255) marks transparent pixels; edge pixels that are at least half
covered are blended against the light blue-grey of the ribbon so they look
smooth when the program draws them with a transparent colour key.

With --preview, enlarged PNG contact sheets are written to DIR as well.

Only the Python standard library is used.
"""

import math
import os
import struct
import sys
import zlib

sys.dont_write_bytecode = True   # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_icons import VERSIONS, darken, hexcol, lighten, mix  # noqa: E402  (shared colours)

SS = 4                      # samples per axis on edge pixels
MAGENTA = (255, 0, 255)
EDGE_BG = (220, 230, 242)   # what half-covered edge pixels are blended onto
INF = float('inf')


# --------------------------------------------------------------------------
# Colours: straight RGBA floats

def alpha(c, a):
    return (c[0], c[1], c[2], a)


WHITE = (1.0, 1.0, 1.0, 1.0)
BADGE = {label: colour for (_, label, colour) in VERSIONS}

# window frames
WIN_LINE = hexcol('#2c5489')
WIN_T0 = hexcol('#8cc0f4')
WIN_T1 = hexcol('#2e69bd')
WIN_B0 = hexcol('#ffffff')
WIN_B1 = hexcol('#e2eaf5')
# pages
PAGE_LINE = hexcol('#6a7c96')
PAGE_B0 = hexcol('#ffffff')
PAGE_B1 = hexcol('#dfe7f1')
TEXT_LINE = hexcol('#9fb0c6')
# red crosses and stop signs
RED_LINE = hexcol('#7c0e08')
RED_0 = hexcol('#ff7a62')
RED_1 = hexcol('#c8180c')
# green ticks and arrows
GREEN_LINE = hexcol('#1b5a10')
GREEN_0 = hexcol('#9be86a')
GREEN_1 = hexcol('#2d9a1c')
# gold stars
GOLD_LINE = hexcol('#9a5e00')
GOLD_0 = hexcol('#fff29a')
GOLD_1 = hexcol('#f0a000')
# steel gears
STEEL_LINE = hexcol('#3a475a')
STEEL_0 = hexcol('#e6ebf2')
STEEL_1 = hexcol('#7d8ba0')
# teal round buttons
TEAL_LINE = hexcol('#0b5664')
TEAL_0 = hexcol('#7ae6cf')
TEAL_1 = hexcol('#0f7f98')


# --------------------------------------------------------------------------
# Shapes: a signed distance function in unit coordinates (negative inside)
# and a bounding box (x0, y0, x1, y1) that holds the inside.

class Shape:
    __slots__ = ('f', 'bb')

    def __init__(self, f, bb):
        self.f = f
        self.bb = bb


def rect(x0, y0, x1, y1):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0, (y1 - y0) / 2.0

    def f(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0)
    return Shape(f, (x0, y0, x1, y1))


def rrect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def f(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        return (math.hypot(max(qx, 0.0), max(qy, 0.0)) +
                min(max(qx, qy), 0.0) - r)
    return Shape(f, (x0, y0, x1, y1))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r,
                 (cx - r, cy - r, cx + r, cy + r))


def ellipse(cx, cy, rx, ry):
    m = min(rx, ry)

    def f(x, y):
        return (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * m
    return Shape(f, (cx - rx, cy - ry, cx + rx, cy + ry))


def seg(x0, y0, x1, y1, w):
    """A stroke of width w with round caps."""
    ex, ey = x1 - x0, y1 - y0
    ll = ex * ex + ey * ey or 1e-9
    r = w / 2.0

    def f(x, y):
        wx, wy = x - x0, y - y0
        t = min(max((wx * ex + wy * ey) / ll, 0.0), 1.0)
        return math.hypot(wx - ex * t, wy - ey * t) - r
    return Shape(f, (min(x0, x1) - r, min(y0, y1) - r,
                     max(x0, x1) + r, max(y0, y1) + r))


def polyline(pts, w):
    return union(*[seg(pts[i][0], pts[i][1], pts[i + 1][0], pts[i + 1][1], w)
                   for i in range(len(pts) - 1)])


def poly(pts):
    n = len(pts)
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]

    def f(x, y):
        d = INF
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = pts[i]
            xj, yj = pts[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            ll = ex * ex + ey * ey
            t = 0.0 if ll == 0 else min(max((wx * ex + wy * ey) / ll, 0.0), 1.0)
            dx, dy = wx - ex * t, wy - ey * t
            dd = dx * dx + dy * dy
            if dd < d:
                d = dd
            if (yi > y) != (yj > y) and x < ex * (y - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        d = math.sqrt(d)
        return -d if inside else d
    return Shape(f, (min(xs), min(ys), max(xs), max(ys)))


def arc(cx, cy, r, w, a0, a1):
    """Stroke along a circle from angle a0 to a1 (degrees, counter-clockwise,
    y axis up), round caps."""
    p0 = (cx + r * math.cos(math.radians(a0)), cy - r * math.sin(math.radians(a0)))
    p1 = (cx + r * math.cos(math.radians(a1)), cy - r * math.sin(math.radians(a1)))
    span = (a1 - a0) % 360.0
    hw = w / 2.0

    def f(x, y):
        ang = math.degrees(math.atan2(-(y - cy), x - cx))
        if (ang - a0) % 360.0 <= span:
            return abs(math.hypot(x - cx, y - cy) - r) - hw
        return min(math.hypot(x - p0[0], y - p0[1]),
                   math.hypot(x - p1[0], y - p1[1])) - hw
    R = r + hw
    return Shape(f, (cx - R, cy - R, cx + R, cy + R))


def union(*shapes):
    fs = [s.f for s in shapes]

    def f(x, y):
        return min(g(x, y) for g in fs)
    bbs = [s.bb for s in shapes]
    return Shape(f, (min(b[0] for b in bbs), min(b[1] for b in bbs),
                     max(b[2] for b in bbs), max(b[3] for b in bbs)))


def inter(a, b):
    fa, fb = a.f, b.f
    bb = (max(a.bb[0], b.bb[0]), max(a.bb[1], b.bb[1]),
          min(a.bb[2], b.bb[2]), min(a.bb[3], b.bb[3]))
    return Shape(lambda x, y: max(fa(x, y), fb(x, y)), bb)


def sub(a, b):
    fa, fb = a.f, b.f
    return Shape(lambda x, y: max(fa(x, y), -fb(x, y)), a.bb)


def grow(a, d):
    """Offset the outline by d units (negative shrinks)."""
    fa = a.f
    bb = a.bb if d < 0 else (a.bb[0] - d, a.bb[1] - d, a.bb[2] + d, a.bb[3] + d)
    return Shape(lambda x, y: fa(x, y) - d, bb)


def star_pts(cx, cy, ro, ri, n=5, rot=-90.0):
    pts = []
    for i in range(2 * n):
        a = math.radians(rot + i * 180.0 / n)
        r = ro if i % 2 == 0 else ri
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def gear_shape(cx, cy, ro, ri, n, hole, top=0.42):
    pts = []
    hp = math.pi / n
    for i in range(n):
        a = 2 * math.pi * i / n - math.pi / 2
        for (da, r) in ((-0.95, ri), (-top, ro), (top, ro), (0.95, ri)):
            pts.append((cx + r * math.cos(a + da * hp),
                        cy + r * math.sin(a + da * hp)))
    g = poly(pts)
    return sub(g, circle(cx, cy, hole)) if hole > 0 else g


# --------------------------------------------------------------------------
# Paints: a colour or a function of unit coordinates

def vgrad(y0, y1, c0, c1):
    def paint(x, y):
        t = 0.0 if y1 == y0 else min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return mix(c0, c1, t)
    return paint


def dgrad(x0, y0, x1, y1, c0, c1):
    ex, ey = x1 - x0, y1 - y0
    ll = ex * ex + ey * ey

    def paint(x, y):
        t = ((x - x0) * ex + (y - y0) * ey) / ll
        return mix(c0, c1, min(max(t, 0.0), 1.0))
    return paint


def radial(cx, cy, r, c0, c1):
    def paint(x, y):
        return mix(c0, c1, min(math.hypot(x - cx, y - cy) / r, 1.0))
    return paint


# --------------------------------------------------------------------------
# Pixel font for badge labels (3 x 5 cells, scaled in whole pixels)

FONT = {
    '0': ['111', '101', '101', '101', '111'],
    '1': ['010', '110', '010', '010', '111'],
    '4': ['101', '101', '111', '001', '001'],
    '5': ['111', '100', '111', '001', '111'],
    '6': ['111', '100', '111', '101', '111'],
    '7': ['111', '001', '010', '010', '010'],
    '8': ['111', '101', '111', '101', '111'],
    '9': ['111', '101', '111', '001', '111'],
    'D': ['110', '101', '101', '101', '110'],
    '.': ['0', '0', '0', '0', '1'],
    ' ': ['0', '0', '0', '0', '0'],
    'A': ['010', '101', '111', '101', '101'],
    'N': ['1001', '1101', '1011', '1001', '1001'],
    'P': ['110', '101', '110', '100', '100'],
    'a': ['000', '011', '101', '101', '011'],
    'b': ['100', '110', '101', '101', '110'],
    'e': ['000', '010', '111', '100', '011'],
    'i': ['1', '0', '1', '1', '1'],
    'l': ['1', '1', '1', '1', '1'],
    'o': ['000', '010', '101', '101', '010'],
    'r': ['000', '101', '110', '100', '100'],
    'v': ['000', '101', '101', '101', '010'],
    'w': ['00000', '10001', '10101', '10101', '01010'],
}


def text_cells(text):
    cells = []
    x = 0
    for i, ch in enumerate(text):
        glyph = FONT[ch]
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == '1':
                    cells.append((x + col, row))
        x += len(glyph[0]) + (1 if i != len(text) - 1 else 0)
    return cells, x, 5


# --------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats

class Draw:
    """One image of size x size pixels, addressed in a 16 x 16 unit box."""

    def __init__(self, size):
        self.size = size
        self.k = size / 16.0
        self.px = 1.0 / self.k          # one pixel in units
        self.buf = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def blend(self, x, y, col, cov):
        if cov <= 0.0 or not (0 <= x < self.size and 0 <= y < self.size):
            return
        a = col[3] * min(cov, 1.0)
        p = self.buf[y * self.size + x]
        k = 1.0 - a
        p[0] = col[0] * a + p[0] * k
        p[1] = col[1] * a + p[1] * k
        p[2] = col[2] * a + p[2] * k
        p[3] = a + p[3] * k

    def fill(self, shape, paint):
        k = self.k
        f = shape.f
        x0 = max(0, int(math.floor(shape.bb[0] * k)) - 1)
        y0 = max(0, int(math.floor(shape.bb[1] * k)) - 1)
        x1 = min(self.size, int(math.ceil(shape.bb[2] * k)) + 1)
        y1 = min(self.size, int(math.ceil(shape.bb[3] * k)) + 1)
        edge = 0.75 * self.px
        step = self.px / SS
        offs = [(i + 0.5) * step - 0.5 * self.px for i in range(SS)]
        n = float(SS * SS)
        for py in range(y0, y1):
            uy = (py + 0.5) / k
            for px in range(x0, x1):
                ux = (px + 0.5) / k
                d = f(ux, uy)
                if d > edge:
                    continue
                if d < -edge:
                    cov = 1.0
                else:
                    hits = 0
                    for oy in offs:
                        for ox in offs:
                            if f(ux + ox, uy + oy) <= 0.0:
                                hits += 1
                    if not hits:
                        continue
                    cov = hits / n
                col = paint(ux, uy) if callable(paint) else paint
                self.blend(px, py, col, cov)

    def outlined(self, shape, paint, line, width=None):
        """Fill shape with line colour, then its inside (width pixels in)
        with paint."""
        w = self.px if width is None else width
        self.fill(shape, line)
        self.fill(grow(shape, -w), paint)

    def gloss(self, shape, y0, y1, a0=0.55, a1=0.08):
        """A soft white sheen over the part of shape between y0 and y1."""
        self.fill(inter(shape, rect(-1, y0, 17, y1)),
                  vgrad(y0, y1, alpha(WHITE, a0), alpha(WHITE, a1)))

    def text(self, label, cx, cy, col, shadow=None, scale=None):
        """Pixel-font label centred on unit point (cx, cy), each font cell
        `scale` pixels wide (by default one per 16 pixels of image)."""
        s = scale if scale else max(1, self.size // 16)
        cells, w, h = text_cells(label)
        tx = int(round(cx * self.k - w * s / 2.0))
        ty = int(round(cy * self.k - h * s / 2.0))
        for layer, c in ((1, shadow), (0, col)):
            if c is None:
                continue
            for (x, y) in cells:
                for yy in range(s):
                    for xx in range(s):
                        self.blend(tx + x * s + xx + layer, ty + y * s + yy + layer,
                                   c, 1.0)

    def label_size(self, label):
        s = max(1, self.size // 16)
        _, w, h = text_cells(label)
        return w * s * self.px, h * s * self.px

    def rgba(self):
        out = []
        for p in self.buf:
            a = p[3]
            if a > 1e-6:
                out.append((p[0] / a, p[1] / a, p[2] / a, a))
            else:
                out.append((0.0, 0.0, 0.0, 0.0))
        return out


# --------------------------------------------------------------------------
# Building blocks

def page(d, x0, y0, x1, y1, fold=4.0, lines=True):
    body = poly([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    d.outlined(body, vgrad(y0, y1, PAGE_B0, PAGE_B1), PAGE_LINE)
    corner = poly([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)])
    d.outlined(corner, vgrad(y0, y0 + fold, hexcol('#ffffff'), hexcol('#c9d4e2')),
               PAGE_LINE)
    if lines:
        y = math.floor(y0) + 3.0
        gap = 2.0 if d.size <= 16 else 1.5
        i = 0
        while y + d.px < y1 - 1.5:
            right = x1 - 2.0 - (fold - 1.0 if y < y0 + fold else 0.0)
            right -= (1.5 if i % 3 == 2 else 0.0)
            left = x0 + 2.0
            if right - left > 1.0:
                d.fill(rect(left, y, right, y + d.px), TEXT_LINE)
            y += gap
            i += 1


def window(d, x0, y0, x1, y1, bar=3.0, t0=WIN_T0, t1=WIN_T1, line=WIN_LINE,
           lines=True, body=None):
    r = 1.0 if d.size <= 16 else 1.25
    outer = rrect(x0, y0, x1, y1, r)
    d.fill(outer, line)
    inner = grow(outer, -d.px)
    d.fill(inner, body or vgrad(y0, y1, WIN_B0, WIN_B1))
    head = inter(inner, rect(x0 - 1, y0 - 1, x1 + 1, y0 + bar))
    d.fill(head, vgrad(y0, y0 + bar, t0, t1))
    d.gloss(head, y0, y0 + bar * 0.5, 0.45, 0.15)
    d.fill(rect(x0, y0 + bar, x1, y0 + bar + d.px), alpha(darken(t1, 0.3), 0.9))
    if d.size > 16 and x1 - x0 > 8:
        # three caption buttons and an address box
        bx = x1 - 1.25
        for _ in range(2):
            d.fill(rect(bx - 1.0, y0 + 1.0, bx, y0 + bar - 1.0),
                   alpha(WHITE, 0.85))
            bx -= 1.5
        d.fill(rect(x0 + 1.0, y0 + 1.0, bx - 0.5, y0 + bar - 1.0),
               alpha(WHITE, 0.55))
    if lines and y1 - y0 - bar > 4:
        y = y0 + bar + 2.0
        i = 0
        while y + d.px < y1 - 1.0:
            right = x1 - 2.0 - (2.0 if i % 2 else 0.0)
            if right - (x0 + 2.0) > 1.0:
                d.fill(rect(x0 + 2.0, y, right, y + d.px), TEXT_LINE)
            y += 2.0
            i += 1


def badge(d, label, colour, right=16.0, bottom=16.0):
    """Version badge in the colours of the tab icons, anchored at the
    bottom-right corner."""
    tw, th = d.label_size(label)
    padx = 2.0 * d.px if d.size <= 16 else 3.0 * d.px
    pady = 1.0 * d.px if d.size <= 16 else 2.0 * d.px
    x1, y1 = right, bottom
    x0, y0 = x1 - tw - 2 * padx, y1 - th - 2 * pady
    r = 1.5 if d.size <= 16 else 1.75
    shape = rrect(x0, y0, x1, y1, r)
    d.fill(shape, darken(colour, 0.45))
    inner = grow(shape, -d.px)
    d.fill(inner, vgrad(y0, y1, lighten(colour, 0.30), darken(colour, 0.12)))
    d.gloss(inner, y0, (y0 + y1) / 2.0, 0.35, 0.08)
    d.text(label, (x0 + x1) / 2.0, (y0 + y1) / 2.0, WHITE,
           alpha(darken(colour, 0.55), 0.55))


def globe(d, cx, cy, r):
    d.fill(circle(cx, cy, r), hexcol('#0b3f7a'))
    inner_r = r - d.px
    clip = circle(cx, cy, inner_r)
    d.fill(clip, radial(cx - r * 0.35, cy - r * 0.4, r * 1.5,
                        hexcol('#8fe6f4'), hexcol('#1660c4')))
    # land masses
    land = union(ellipse(cx - r * 0.35, cy - r * 0.15, r * 0.35, r * 0.5),
                 ellipse(cx + r * 0.45, cy + r * 0.35, r * 0.3, r * 0.35))
    d.fill(inter(land, clip), alpha(hexcol('#3fae4a'), 0.85))
    lw = d.px * (0.9 if d.size <= 16 else 1.0)
    grid = alpha(WHITE, 0.55)
    mer = sub(ellipse(cx, cy, inner_r * 0.5 + lw / 2, inner_r + lw),
              ellipse(cx, cy, max(inner_r * 0.5 - lw / 2, 0.1), inner_r))
    d.fill(inter(mer, clip), grid)
    d.fill(inter(rect(cx - lw / 2, cy - r, cx + lw / 2, cy + r), clip), grid)
    d.fill(inter(rect(cx - r, cy - lw / 2, cx + r, cy + lw / 2), clip), grid)
    d.fill(inter(circle(cx - r * 0.3, cy - r * 0.35, r * 0.55), clip),
           radial(cx - r * 0.3, cy - r * 0.35, r * 0.55,
                  alpha(WHITE, 0.6), alpha(WHITE, 0.0)))


def gear(d, cx, cy, ro, ri, n, hole, c0=STEEL_0, c1=STEEL_1, line=STEEL_LINE):
    small = d.size <= 16
    if small:
        # fewer, squarer teeth and a light body so the gear survives 16 px
        c1 = mix(c0, c1, 0.55)
        ri = ri + (ro - ri) * 0.15
        hole = hole * 0.7 if ro >= 5 else 0.0
    g = gear_shape(cx, cy, ro, ri, n, hole, 0.6 if small else 0.42)
    d.outlined(g, dgrad(cx - ro, cy - ro, cx + ro, cy + ro, c0, c1), line)
    if hole == 0.0:
        d.fill(rect(cx - 0.5, cy - 0.5, cx + 0.5, cy + 0.5), line)
    if d.size > 16:
        d.fill(sub(circle(cx, cy, hole + (ri - hole) * 0.55),
                   circle(cx, cy, hole + (ri - hole) * 0.55 - d.px)),
               alpha(line, 0.35))


def red_x(d, cx, cy, h, w=None):
    if d.size <= 16:
        # set pixel by pixel: two three-pixel diagonals with a dark rim
        n = 2 * int(round(h)) + 1
        ox = int(math.floor(cx)) - n // 2
        oy = int(math.floor(cy)) - n // 2

        def on(i, j):
            return (0 <= i < n and 0 <= j < n and
                    min(abs(i - j), abs(i + j - (n - 1))) <= 1)
        for j in range(-1, n + 1):
            for i in range(-1, n + 1):
                if not on(i, j) and any(on(i + a, j + b) for (a, b) in
                                        ((-1, 0), (1, 0), (0, -1), (0, 1))):
                    d.blend(ox + i, oy + j, alpha(RED_LINE, 0.85), 1.0)
        for j in range(n):
            for i in range(n):
                if on(i, j):
                    d.blend(ox + i, oy + j, mix(RED_0, RED_1, j / (n - 1.0)), 1.0)
        return
    w = w if w is not None else (2.6 if d.size <= 16 else 2.4)
    x = union(seg(cx - h, cy - h, cx + h, cy + h, w),
              seg(cx - h, cy + h, cx + h, cy - h, w))
    d.outlined(x, vgrad(cy - h, cy + h, RED_0, RED_1), RED_LINE)


def tick(d, pts, w=None):
    w = w if w is not None else (2.8 if d.size <= 16 else 2.6)
    t = polyline(pts, w)
    d.outlined(t, vgrad(t.bb[1], t.bb[3], GREEN_0, GREEN_1), GREEN_LINE)


NO_SIGN_16 = [
    # a 9 x 9 prohibition sign laid out pixel by pixel for the small size,
    # where a smooth ring would blur into a blot
    '..rrrrr..',
    '.rrwwwwr.',
    'rrrrwwwwr',
    'rwrrrwwwr',
    'rwwrrrwwr',
    'rwwwrrrwr',
    'rwwwwrrrr',
    '.rwwwwrr.',
    '..rrrrr..',
]


def no_sign(d, cx=11.5, cy=11.5, r=4.4):
    """Red prohibition sign over the lower-right corner."""
    if d.size <= 16:
        ox, oy = 7, 7
        top, bottom = hexcol('#ff5a40'), hexcol('#b80c04')
        for y, row in enumerate(NO_SIGN_16):
            for x, ch in enumerate(row):
                if ch == '.':
                    continue
                # one pixel of white halo around the sign
                for (hx, hy) in ((-1, 0), (1, 0), (0, -1), (0, 1)):
                    nx, ny = x + hx, y + hy
                    if not (0 <= nx < 9 and 0 <= ny < 9) or NO_SIGN_16[ny][nx] == '.':
                        d.blend(ox + nx, oy + ny, alpha(WHITE, 0.9), 1.0)
        for y, row in enumerate(NO_SIGN_16):
            for x, ch in enumerate(row):
                if ch == 'r':
                    d.blend(ox + x, oy + y, mix(top, bottom, y / 8.0), 1.0)
                elif ch == 'w':
                    d.blend(ox + x, oy + y, WHITE, 1.0)
        return
    w = 1.4
    d.fill(circle(cx, cy, r + d.px), alpha(WHITE, 0.9))
    ring = sub(circle(cx, cy, r), circle(cx, cy, r - w))
    dx = (r - w * 0.5) * math.sqrt(0.5)
    bar = inter(seg(cx - dx, cy - dx, cx + dx, cy + dx, w), circle(cx, cy, r - 0.1))
    shape = union(ring, bar)
    d.fill(shape, vgrad(cy - r, cy + r, hexcol('#ff5a40'), hexcol('#c01008')))
    d.fill(sub(circle(cx, cy, r), circle(cx, cy, r - d.px * 0.8)),
           alpha(RED_LINE, 0.6))


def star(d, cx, cy, ro, ri, c0=GOLD_0, c1=GOLD_1, line=GOLD_LINE):
    s = poly(star_pts(cx, cy, ro, ri))
    d.outlined(s, radial(cx - ro * 0.2, cy - ro * 0.3, ro * 1.2, c0, c1), line)
    d.gloss(grow(s, -d.px), cy - ro, cy, 0.45, 0.0)


def magnifier(d, cx, cy, r, hx, hy):
    w = 1.7 if d.size <= 16 else 1.5
    hw = 2.6 if d.size <= 16 else 2.4
    ang = math.atan2(hy - cy, hx - cx)
    sx, sy = cx + (r + 0.3) * math.cos(ang), cy + (r + 0.3) * math.sin(ang)
    handle = seg(sx, sy, hx, hy, hw)
    d.outlined(handle, dgrad(sx, sy, hx, hy, hexcol('#8a6a4a'), hexcol('#3a2414')),
               hexcol('#24160a'))
    d.fill(circle(cx, cy, r - w * 0.5), radial(cx - r * 0.4, cy - r * 0.4, r * 1.4,
                                               alpha(hexcol('#ffffff'), 0.9),
                                               alpha(hexcol('#9cc8f0'), 0.85)))
    ring = sub(circle(cx, cy, r), circle(cx, cy, r - w))
    d.fill(ring, hexcol('#2a4a72'))
    d.fill(sub(circle(cx, cy, r - d.px), circle(cx, cy, r - w + d.px)),
           vgrad(cy - r, cy + r, hexcol('#c8d8ea'), hexcol('#5a7aa0')))


def round_button(d, cx, cy, r):
    c = circle(cx, cy, r)
    d.fill(c, TEAL_LINE)
    inner = grow(c, -d.px)
    d.fill(inner, vgrad(cy - r, cy + r, TEAL_0, TEAL_1))
    d.fill(inter(inner, ellipse(cx, cy - r * 0.45, r * 0.75, r * 0.5)),
           vgrad(cy - r, cy, alpha(WHITE, 0.65), alpha(WHITE, 0.1)))


def arrow_pts(cx, cy, length, head_len, head_w, shaft_w, direction):
    """Horizontal arrow centred on (cx, cy) pointing right (+1) or left (-1)."""
    s = direction
    tip = cx + s * length / 2.0
    tail = cx - s * length / 2.0
    neck = tip - s * head_len
    return [(tail, cy - shaft_w / 2), (neck, cy - shaft_w / 2),
            (neck, cy - head_w / 2), (tip, cy), (neck, cy + head_w / 2),
            (neck, cy + shaft_w / 2), (tail, cy + shaft_w / 2)]


def nav_button(d, direction):
    round_button(d, 8.0, 8.0, 7.4)
    pts = arrow_pts(8.0, 8.0, 9.0, 4.2, 8.0, 3.2, direction)
    a = poly(pts)
    d.fill(poly([(x + 0.0, y + d.px) for (x, y) in pts]), alpha(TEAL_LINE, 0.6))
    d.fill(a, vgrad(4.0, 12.0, WHITE, hexcol('#d8eef0')))


def stack(d, colours, faded=()):
    frames = [(5.0, 0.0, 16.0, 9.0), (2.0, 3.0, 13.0, 12.0), (0.0, 6.0, 11.0, 15.0)]
    for i, (fr, col) in enumerate(zip(frames, colours)):
        if i in faded:
            window(d, *fr, t0=hexcol('#e0e4ea'), t1=hexcol('#a2acba'),
                   line=hexcol('#7a8698'), lines=False,
                   body=vgrad(fr[1], fr[3], hexcol('#f4f6f8'), hexcol('#dde2e8')))
        else:
            window(d, *fr, t0=lighten(col, 0.45), t1=col,
                   line=darken(col, 0.45), lines=(i == len(frames) - 1))


# --------------------------------------------------------------------------
# Ribbon glyphs

def g_page(d):
    page(d, 2.0, 0.0, 14.0, 16.0)


def g_folder(d):
    c0, c1, line = hexcol('#ffe59a'), hexcol('#e8a82a'), hexcol('#946010')
    back = poly([(1.0, 2.0), (6.0, 2.0), (7.0, 3.0), (15.0, 3.0),
                 (15.0, 14.0), (1.0, 14.0)])
    d.outlined(back, vgrad(2, 14, darken(c0, 0.05), darken(c1, 0.15)), line)
    d.fill(rect(2.0, 5.0, 14.0, 10.0), hexcol('#ffffff'))
    d.fill(rect(2.0, 5.0, 14.0, 5.0 + d.px), hexcol('#c0c8d4'))
    front = poly([(1.0, 14.0), (2.5, 7.0), (16.0, 7.0), (15.0, 14.0)])
    d.outlined(front, vgrad(7.0, 14.0, c0, c1), line)
    d.gloss(grow(front, -d.px), 7.0, 10.0, 0.5, 0.05)


def g_spare_star(d):
    star(d, 8.0, 8.6, 7.8, 3.3, hexcol('#e4f0ff'), hexcol('#4a82d0'),
         hexcol('#1e4a86'))


def g_back(d):
    nav_button(d, -1)


def g_forward(d):
    nav_button(d, +1)


def g_refresh(d):
    cx, cy, r = 8.0, 8.0, 5.0
    w = 2.6 if d.size <= 16 else 2.4
    shapes = []
    for a_end, a_start in ((25.0, 150.0), (205.0, 330.0)):
        th = math.radians(a_end)
        px, py = cx + r * math.cos(th), cy - r * math.sin(th)
        tx, ty = math.sin(th), math.cos(th)          # clockwise tangent
        nx, ny = math.cos(th), -math.sin(th)         # outward normal
        hl, hw = 3.6, 3.2
        head = poly([(px + nx * hw - tx * 0.4, py + ny * hw - ty * 0.4),
                     (px + tx * hl, py + ty * hl),
                     (px - nx * hw - tx * 0.4, py - ny * hw - ty * 0.4)])
        shapes.append(union(arc(cx, cy, r, w, a_end + 8.0, a_start), head))
    for s in shapes:
        d.outlined(s, vgrad(1.0, 15.0, GREEN_0, GREEN_1), GREEN_LINE)


def g_stop(d):
    pts = []
    for i in range(8):
        a = math.radians(22.5 + 45 * i)
        pts.append((8.0 + 7.9 * math.cos(a), 8.0 + 7.9 * math.sin(a)))
    o = poly(pts)
    d.outlined(o, vgrad(0.5, 15.5, RED_0, RED_1), RED_LINE)
    d.gloss(grow(o, -d.px), 0.5, 7.0, 0.45, 0.05)
    h = 3.0
    x = union(seg(8 - h, 8 - h, 8 + h, 8 + h, 2.3), seg(8 - h, 8 + h, 8 + h, 8 - h, 2.3))
    d.fill(grow(x, d.px * 0.6), alpha(RED_LINE, 0.35))
    d.fill(x, WHITE)


def g_home(d):
    wall_l, wall_c0, wall_c1 = hexcol('#7a5a2a'), hexcol('#fff6dc'), hexcol('#e2c894')
    d.outlined(rect(11.0, 2.0, 13.0, 7.0), vgrad(2, 7, hexcol('#d87a5a'),
                                                   hexcol('#9a3a20')), hexcol('#5a1a0a'))
    d.outlined(rect(3.0, 7.0, 13.0, 15.0), vgrad(7.0, 15.0, wall_c0, wall_c1), wall_l)
    d.outlined(rect(6.0, 10.0, 10.0, 15.0), vgrad(10, 15, hexcol('#c8834a'),
                                                   hexcol('#7a4218')), hexcol('#4a2608'))
    if d.size > 16:
        d.outlined(rect(10.5, 9.0, 12.0, 11.5), hexcol('#bfe4ff'), wall_l)
    roof = poly([(8.0, 0.8), (15.8, 8.2), (13.8, 8.8), (8.0, 3.6), (2.2, 8.8), (0.2, 8.2)])
    d.outlined(roof, vgrad(0.8, 8.8, hexcol('#ff8a5a'), hexcol('#c02a14')),
               hexcol('#6a1206'))


def g_favorites(d):
    star(d, 8.0, 8.6, 7.8, 3.3)


def g_close(d):
    page(d, 1.0, 0.0, 12.0, 16.0, fold=4.0)
    red_x(d, 11.5, 11.5, 2.8)


def g_check_version(d):
    globe(d, 7.0, 7.0, 6.5)
    tick(d, [(7.8, 10.8), (10.2, 13.4), (14.6, 7.4)])


def g_internet_options(d):
    globe(d, 7.0, 7.0, 6.5)
    gear(d, 11.5, 11.5, 4.5, 3.2, 6 if d.size <= 16 else 8, 1.4)


def g_configure(d):
    small = d.size <= 16
    gear(d, 6.5, 6.5, 6.2, 4.6, 8 if small else 9, 1.9)
    gear(d, 12.0, 12.0, 3.9, 2.8, 6 if small else 7, 1.2, hexcol('#d8e6f8'), hexcol('#5a7aa8'),
         hexcol('#243c62'))


def g_print(d):
    page(d, 4.0, 0.0, 12.0, 8.0, fold=2.0, lines=False)
    body = rrect(0.0, 5.0, 16.0, 12.0, 1.5)
    d.outlined(body, vgrad(5.0, 12.0, hexcol('#eef2f7'), hexcol('#8e9aac')),
               hexcol('#404b5c'))
    d.fill(rect(2.0, 9.0, 14.0, 10.0), hexcol('#3a4454'))
    d.fill(circle(13.5, 7.5, 0.75 if d.size <= 16 else 0.6), hexcol('#3cd03c'))
    out = rect(3.0, 10.0, 13.0, 16.0)
    d.outlined(out, vgrad(10, 16, PAGE_B0, PAGE_B1), PAGE_LINE)
    d.fill(rect(5.0, 12.0, 11.0, 12.0 + d.px), TEXT_LINE)
    d.fill(rect(5.0, 14.0, 9.0, 14.0 + d.px), TEXT_LINE)


def g_print_preview(d):
    page(d, 0.0, 0.0, 11.0, 15.0, fold=4.0)
    magnifier(d, 9.5, 8.5, 4.2, 14.8, 14.8)


def g_version(label):
    def draw(d):
        window(d, 0.0, 1.0, 15.0, 13.0)
        badge(d, label, BADGE[label])
    return draw


def g_all_versions(d):
    stack(d, [BADGE['7'], BADGE['8'], BADGE['6']])


def g_default(d):
    window(d, 0.0, 1.0, 15.0, 13.0, lines=False)
    globe(d, 6.0, 8.3, 3.6)
    badge(d, 'D', BADGE['D'])


def g_dev_panel(d):
    window(d, 0.0, 1.0, 16.0, 15.0, lines=False)
    side = rect(d.px, 4.0 + d.px, 6.0, 15.0 - d.px)
    d.fill(side, vgrad(4.0, 15.0, hexcol('#d8e6f6'), hexcol('#a8c0de')))
    d.fill(rect(6.0, 4.0, 6.0 + d.px, 15.0), WIN_LINE)
    y = 6.0
    while y < 13.0:
        d.fill(rect(1.8, y, 4.8, y + d.px), hexcol('#4a6a98'))
        d.fill(rect(8.0, y, 14.0 - (2.0 if y > 9 else 0), y + d.px), TEXT_LINE)
        y += 2.0


def g_close_all(d):
    stack(d, [WIN_T1, WIN_T1, WIN_T1])
    red_x(d, 12.0, 12.0, 2.8)


def g_close_others(d):
    stack(d, [WIN_T1, WIN_T1, hexcol('#2e9a4c')], faded=(0, 1))
    red_x(d, 12.5, 3.5, 2.3, 2.0)


def g_view_source(d):
    w = 2.4 if d.size <= 16 else 2.1
    lt = polyline([(5.0, 3.5), (1.3, 8.0), (5.0, 12.5)], w)
    gt = polyline([(11.0, 3.5), (14.7, 8.0), (11.0, 12.5)], w)
    sl = seg(9.6, 2.5, 6.4, 13.5, w * 0.85)
    blue = vgrad(2.5, 13.5, hexcol('#6aa8f0'), hexcol('#1a4ea8'))
    d.outlined(lt, blue, hexcol('#10306a'))
    d.outlined(gt, blue, hexcol('#10306a'))
    d.outlined(sl, vgrad(2.5, 13.5, hexcol('#ffb04a'), hexcol('#d06010')),
               hexcol('#6a3000'))


def g_text_size(d):
    w = 2.6 if d.size <= 16 else 2.3
    big = union(polyline([(0.9, 14.8), (5.6, 1.4), (10.3, 14.8)], w),
                seg(3.1, 10.4, 8.1, 10.4, w * 0.8))
    d.outlined(big, vgrad(1.4, 14.8, hexcol('#4a7ad0'), hexcol('#102a6a')),
               hexcol('#0a1a44'))
    sw = 1.5 if d.size <= 16 else 1.3
    small = union(sub(circle(12.5, 12.6, 2.4), circle(12.5, 12.6, 2.4 - sw)),
                  rect(14.9 - sw, 10.2, 14.9, 15.0))
    d.fill(small, hexcol('#1a3a7a'))


def g_disable_cache(d):
    c0, c1, line = hexcol('#e8eef6'), hexcol('#7f92ae'), hexcol('#34445c')
    body = union(rect(1.5, 3.5, 12.5, 12.5), ellipse(7.0, 12.5, 5.5, 2.0))
    d.outlined(body, dgrad(1.5, 0, 12.5, 0, c0, c1), line)
    for y in (6.8, 9.8):
        band = sub(ellipse(7.0, y, 5.5, 2.0), ellipse(7.0, y - d.px, 5.5, 2.0))
        d.fill(inter(band, rect(1.5, y, 12.5, y + 3)), alpha(line, 0.6))
    top = ellipse(7.0, 3.5, 5.5, 2.0)
    d.outlined(top, vgrad(1.5, 5.5, hexcol('#ffffff'), hexcol('#b8c6da')), line)
    no_sign(d)


def g_disable_media(d):
    frame = rect(0.5, 1.5, 14.5, 12.5)
    d.outlined(frame, hexcol('#f4f4f0'), hexcol('#5a6472'))
    pic = rect(2.0, 3.0, 13.0, 11.0)
    d.fill(pic, vgrad(3.0, 11.0, hexcol('#5aa8f0'), hexcol('#c8e6ff')))
    d.fill(inter(circle(10.2, 5.3, 1.5), pic), hexcol('#ffd23a'))
    d.fill(inter(poly([(2.0, 11.0), (5.5, 5.5), (8.5, 9.0), (10.0, 7.5), (13.5, 11.0)]),
                 pic), vgrad(5.5, 11, hexcol('#6ad04a'), hexcol('#2a7a1a')))
    no_sign(d)


def g_disable_engines(d):
    gear(d, 6.5, 6.5, 6.2, 4.6, 8 if d.size <= 16 else 9, 1.9, hexcol('#fff0c8'), hexcol('#c88a2a'),
         hexcol('#6a4210'))
    no_sign(d)


def g_navigate(d):
    cx, cy = 8.0, 8.0
    outer = circle(cx, cy, 7.6)
    d.outlined(outer, vgrad(0.4, 15.6, hexcol('#c8d4e4'), hexcol('#4a5e7e')),
               hexcol('#26334a'))
    face = circle(cx, cy, 6.0)
    d.outlined(face, radial(cx - 2, cy - 2, 9, hexcol('#ffffff'), hexcol('#d4dfec')),
               hexcol('#4a5e7e'))
    if d.size > 16:
        for i in range(8):
            a = math.radians(45 * i)
            rr = 5.2 if i % 2 else 4.6
            d.fill(seg(cx + rr * math.cos(a), cy + rr * math.sin(a),
                       cx + 5.6 * math.cos(a), cy + 5.6 * math.sin(a), d.px),
                   hexcol('#6a7e9e'))
    n = (cx + 3.9, cy - 3.9)
    s = (cx - 3.9, cy + 3.9)
    a = (cx - 1.3, cy - 1.3)
    b = (cx + 1.3, cy + 1.3)
    d.fill(poly([n, b, a]), dgrad(a[0], a[1], b[0], b[1], hexcol('#ff6a4a'),
                                  hexcol('#b01408')))
    d.fill(poly([s, a, b]), dgrad(a[0], a[1], b[0], b[1], hexcol('#5a8ad8'),
                                  hexcol('#1a3a7a')))
    d.fill(circle(cx, cy, 0.9), hexcol('#26334a'))


def g_magnifier(d):
    magnifier(d, 6.5, 6.5, 5.3, 14.6, 14.6)


def g_compare(d):
    """Two pages side by side, each in its version's colour."""
    for (x0, x1, label) in ((0.0, 7.5, '6'), (8.5, 16.0, '8')):
        col = BADGE[label]
        window(d, x0, 1.0, x1, 15.0, t0=lighten(col, 0.45), t1=col,
               line=darken(col, 0.45))


def chain_link(d, cx, cy, angle, colour0, colour1, line):
    """One oval chain link around (cx, cy), tilted by `angle` degrees."""
    a = math.radians(angle)
    ca, sa = math.cos(a), math.sin(a)
    rx, ry, w = 4.8, 2.9, 1.9

    def local(f):
        def g(x, y):
            dx, dy = x - cx, y - cy
            return f(dx * ca + dy * sa, -dx * sa + dy * ca)
        return g
    outer = ellipse(0.0, 0.0, rx, ry)
    inner = ellipse(0.0, 0.0, rx - w, ry - w * 0.7)
    ring = sub(outer, inner)
    reach = rx + 1.0
    shape = Shape(local(ring.f), (cx - reach, cy - reach, cx + reach, cy + reach))
    d.outlined(shape, vgrad(cy - ry, cy + ry, colour0, colour1), line)


def g_link(d):
    chain_link(d, 5.6, 10.4, -45.0, STEEL_0, STEEL_1, STEEL_LINE)
    chain_link(d, 10.4, 5.6, -45.0, lighten(WIN_T0, 0.2), WIN_T1, WIN_LINE)


RIBBON = [
    g_page, g_folder, g_spare_star, g_back, g_forward, g_refresh, g_stop,
    g_home, g_favorites, g_close, g_check_version, g_internet_options,
    g_configure, g_print, g_print_preview, g_version('5.5'), g_version('6'),
    g_version('7'), g_version('8'), g_all_versions, g_default, g_dev_panel,
    g_close_all, g_close_others, g_view_source, g_text_size,
    g_disable_cache, g_disable_media, g_disable_engines, g_navigate,
    g_version('9'), g_magnifier, g_compare, g_link,
]
assert len(RIBBON) == 34


# --------------------------------------------------------------------------
# Panel icons, application menu, application button

def g_panel(d):
    """A ribbon group: a framed box with two buttons and a caption strip."""
    frame = rrect(1.0, 1.0, 15.0, 15.0, 2.0)
    d.outlined(frame, vgrad(1.0, 15.0, hexcol('#ffffff'), hexcol('#dce8f6')),
               hexcol('#4a6a96'))
    inner = grow(frame, -d.px)
    d.fill(inter(inner, rect(0, 11.0, 16, 16)),
           vgrad(11.0, 15.0, hexcol('#a8c8ee'), hexcol('#5a8ccc')))
    d.fill(rect(1.0, 11.0, 15.0, 11.0 + d.px), hexcol('#7a98c0'))
    d.fill(rect(5.0, 12.0, 11.0, 13.0 - d.px * 0.0 if d.size <= 16 else 12.5),
           alpha(WHITE, 0.85))
    big = rrect(3.0, 3.0, 8.0, 9.0, 1.0)
    d.outlined(big, vgrad(3.0, 9.0, hexcol('#ffe08a'), hexcol('#e8901a')),
               hexcol('#8a5206'))
    for y in (3.0, 6.0):
        d.outlined(rect(9.0, y, 13.0, y + 2.0),
                   vgrad(y, y + 2.0, hexcol('#9ad4ff'), hexcol('#2a72c8')),
                   hexcol('#1e4a86'))


def g_new_window(d):
    window(d, 0.0, 1.0, 15.0, 13.0)
    plus = union(rect(11.0, 9.0, 14.0, 16.0), rect(9.0, 11.0, 16.0, 14.0))
    d.outlined(plus, vgrad(9.0, 16.0, GREEN_0, GREEN_1), GREEN_LINE)


def g_exit(d):
    frame = rect(1.0, 0.5, 10.0, 15.5)
    d.outlined(frame, hexcol('#4a5a70'), hexcol('#1a2230'))
    door = poly([(1.5, 1.0), (7.5, 2.5), (7.5, 15.5), (1.5, 15.0)])
    d.outlined(door, dgrad(1.5, 0, 7.5, 0, hexcol('#e0a060'), hexcol('#8a4a1a')),
               hexcol('#4a2608'))
    d.fill(circle(6.3, 8.8, 0.7), hexcol('#ffe070'))
    pts = arrow_pts(11.5, 8.5, 9.0, 4.0, 8.0, 3.0, +1)
    a = poly(pts)
    d.outlined(a, vgrad(4.5, 12.5, GREEN_0, GREEN_1), GREEN_LINE)


def g_app_button(d):
    # drawn at 32 x 32; the unit box keeps the 16-unit coordinates
    frame = rrect(1.0, 2.0, 15.0, 14.0, 1.6)
    d.fill(grow(frame, d.px), alpha(hexcol('#0a2040'), 0.35))
    window(d, 1.0, 2.0, 15.0, 14.0, bar=3.0, lines=False,
           body=vgrad(2.0, 14.0, hexcol('#ffffff'), hexcol('#d6e4f6')))
    v = poly([(3.2, 5.6), (6.4, 5.6), (8.0, 10.4), (9.6, 5.6), (12.8, 5.6),
              (9.7, 13.0), (6.3, 13.0)])
    d.fill(grow(v, d.px), alpha(WHITE, 0.9))
    d.outlined(v, vgrad(5.6, 13.0, hexcol('#ffb040'), hexcol('#d8500c')),
               hexcol('#6a2400'))
    d.gloss(grow(v, -d.px), 5.6, 8.6, 0.55, 0.1)


def panel_strip():
    imgs = [g_panel] * 32
    imgs[28] = g_favorites
    imgs[29] = g_navigate
    imgs[30] = g_new_window
    return imgs


def main_strip():
    imgs = [g_page] * 16
    imgs[9] = g_close
    imgs[15] = g_exit
    return imgs


# --------------------------------------------------------------------------
# Output

def g_no_preview(d):
    """The taskbar thumbnail of a tab whose page cannot be pictured."""
    d.fill(rect(0, 0, 16, 16), WHITE)
    d.fill(sub(rect(0, 0, 16, 16), rect(d.px, d.px, 16 - d.px, 16 - d.px)),
           hexcol('#a0a0a0'))
    red_x(d, 8.0, 6.0, 3.0, 1.5)
    grey = hexcol('#404040')
    d.text('No Preview', 8.0, 11.4, grey, scale=2)
    d.text('Available', 8.0, 13.4, grey, scale=2)


def render(fn, size):
    d = Draw(size)
    fn(d)
    return d


def key_pixels(d):
    """24-bit colours with magenta where the image is (mostly) transparent."""
    out = []
    for (r, g, b, a) in d.rgba():
        if a < 0.5:
            out.append(MAGENTA)
            continue
        c = tuple(int(round(min(max(v, 0.0), 1.0) * 255 * a + bg * (1.0 - a)))
                  for v, bg in zip((r, g, b), EDGE_BG))
        if c == MAGENTA:
            c = (254, 0, 255)
        out.append(c)
    return out


def strip(images, size):
    """Rows (top first) of the images laid side by side."""
    width = size * len(images)
    rows = [[None] * width for _ in range(size)]
    for i, d in enumerate(images):
        px = key_pixels(d)
        for y in range(size):
            rows[y][i * size:(i + 1) * size] = px[y * size:(y + 1) * size]
    return rows


def bmp_bytes(rows):
    h = len(rows)
    w = len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):                 # bottom-up
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        data += line
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data),
                       2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(data), 0, 0,
                       14 + len(info))
    return head + info + bytes(data)


def png_bytes(rows):
    h = len(rows)
    w = len(rows[0])

    def chunk(kind, data):
        body = kind + data
        return (struct.pack('>I', len(data)) + body +
                struct.pack('>I', zlib.crc32(body) & 0xffffffff))
    raw = b''.join(b'\0' + bytes(v for px in row for v in px) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def preview_rows(rows, size, zoom, per_line):
    """Magnified sheet: magenta shown as a light ribbon background, the
    images wrapped per_line to a line, with a gap between them."""
    bg = (223, 233, 245)
    sep = (190, 200, 214)
    n = len(rows[0]) // size
    gap = 4
    lines = (n + per_line - 1) // per_line
    cw = size * zoom + gap
    W = gap + per_line * cw
    H = gap + lines * (size * zoom + gap)
    out = [[sep] * W for _ in range(H)]
    for i in range(n):
        ox = gap + (i % per_line) * cw
        oy = gap + (i // per_line) * (size * zoom + gap)
        for y in range(size):
            for x in range(size):
                c = rows[y][i * size + x]
                if c == MAGENTA:
                    c = bg
                for yy in range(zoom):
                    line = out[oy + y * zoom + yy]
                    for xx in range(zoom):
                        line[ox + x * zoom + xx] = c
    return out


def main(argv):
    args = argv[1:]
    preview_dir = None
    if '--preview' in args:
        i = args.index('--preview')
        preview_dir = args[i + 1]
        del args[i:i + 2]
    if len(args) != 1:
        sys.stderr.write('usage: make_bitmaps.py OUTDIR [--preview DIR]\n')
        return 2
    outdir = args[0]
    os.makedirs(outdir, exist_ok=True)

    jobs = [
        ('ribbon_small', RIBBON, 16),
        ('ribbon_large', RIBBON, 32),
        ('app_button', [g_app_button], 32),
        ('panel_icons', panel_strip(), 16),
        ('main_large', main_strip(), 32),
        ('main_small', main_strip(), 16),
        ('no_preview', [g_no_preview], 103),
    ]
    for name, fns, size in jobs:
        rows = strip([render(fn, size) for fn in fns], size)
        with open(os.path.join(outdir, name + '.bmp'), 'wb') as f:
            f.write(bmp_bytes(rows))
        if preview_dir:
            os.makedirs(preview_dir, exist_ok=True)
            zoom = 8 if size == 16 else 4
            sheet = preview_rows(rows, size, zoom, 8)
            with open(os.path.join(preview_dir, 'preview-%s.png' % name), 'wb') as f:
                f.write(png_bytes(sheet))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
