#!/usr/bin/env python3
"""Makes every picture, sound and the character table of the game, into assets/, and its desktop icons.

    python3 tools/assets/generate.py [--out assets] [--icons packaging/icons]

Pictures are drawn with Pillow (python3-pil), supersampled and reduced for smooth edges; text pictures use
the installed IPA Gothic and Liberation Sans fonts. Sounds are synthesised here in plain Python and encoded to
MP3 with lame (constant bit rate, mono, fixed flags). Nothing depends on the clock or on unseeded randomness,
so two runs on one machine write the same bytes; the outputs are committed so that building and running the
game need neither Python nor lame (`scripts/deps --tools` installs python3-pil, lame and sox).

Sizes are in pixels at the game's content scale 2 (a picture of N points is 2N pixels, design space 320 x 568
points), except the desktop icons, which are drawn anew at each size the desktop asks for. Pictures swapped
on one sprite share one pixel size, because a sprite keeps the texture rect of its first picture: every player
and character picture is CREATURE_PX square.

Before writing, the generator checks its own outputs: chara.csv is parsed the way the game reads it, every
picture it names exists, and every swapped group has one size. A failed check stops with an AssertionError.
"""

import argparse
import colorsys
import io
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave
from multiprocessing import Pool

try:
    from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont
except ImportError:
    # A private Python ahead of the system one on PATH may lack Pillow; the Debian one has it.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("generate.py: Pillow is missing; run scripts/deps --tools")

JP_FONT = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"
LATIN_BOLD = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf"

SCREEN = (640, 1136)
CREATURE_PX = 320      # every player and field character picture (160 x 160 points)
ZUKAN_PX = 260         # catalogue portrait, shown at scale 0.9
SS = 4                 # supersampling factor of drawn pictures

# ---------------------------------------------------------------------------------------------------------------
# colours


def rgb(h, a=255):
    h = h.lstrip("#")
    return (int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16), a)


def mix(c1, c2, t, a=None):
    out = tuple(int(round(c1[i] + (c2[i] - c1[i]) * t)) for i in range(3))
    return out + ((c1[3] if len(c1) > 3 else 255) if a is None else a,)


def vivid(hue, value):
    r, g, b = colorsys.hsv_to_rgb(hue % 1.0, 0.78, value)
    return (int(round(r * 255)), int(round(g * 255)), int(round(b * 255)), 255)


def alpha(c, a):
    return c[:3] + (a,)


WHITE = (255, 255, 255, 255)
INK = rgb("#4a2f2a")       # eyes, mouths, icon strokes
STAR_YELLOW = rgb("#ffe066")
STAR_EDGE = rgb("#e39a2d")

# One look per form (level): body colour, outline, cheeks, accent, body shape, radii and what it wears.
FORMS = [
    dict(body="#ffcdb5", line="#b8604a", cheek="#ff8f8f", accent="#ff9e7a", shape="round", rx=94, ry=86,
         extras=["curl"]),
    dict(body="#c4efc2", line="#4e8f5a", cheek="#ff9aa2", accent="#69c46d", shape="drop", rx=92, ry=90,
         extras=["leaf"]),
    dict(body="#ffe08f", line="#b58a2c", cheek="#ff9f80", accent="#ffb38a", shape="wide", rx=102, ry=86,
         extras=["bear", "belly"]),
    dict(body="#b3ddff", line="#4677a8", cheek="#ff9fb8", accent="#ffc2d1", shape="round", rx=96, ry=88,
         extras=["cat"]),
    dict(body="#ffb877", line="#b35c26", cheek="#ff7f7f", accent="#fff1d0", shape="egg", rx=90, ry=96,
         extras=["horns", "belly"]),
    dict(body="#dcc9ff", line="#7458b0", cheek="#ff9fc8", accent="#ffffff", shape="round", rx=96, ry=90,
         extras=["wings"]),
    dict(body="#93e2d4", line="#2f8f80", cheek="#ff9f9f", accent="#ffd36e", shape="wide", rx=104, ry=84,
         extras=["spikes", "belly"]),
    dict(body="#ffbcd9", line="#b04f7f", cheek="#ff7fa6", accent="#ffe6f0", shape="egg", rx=92, ry=94,
         extras=["bunny"]),
    dict(body="#9aa6ff", line="#3e4aa8", cheek="#ff9fd0", accent="#fff08a", shape="round", rx=98, ry=92,
         extras=["halo", "starmarks"]),
    dict(body="#ffeab0", line="#b88a1e", cheek="#ff8fa3", accent="#ffc53d", shape="round", rx=100, ry=94,
         extras=["aura", "goldwings", "crown", "sparkles"]),
]
for _f in FORMS:
    _f["body_c"] = rgb(_f["body"])
    _f["line_c"] = rgb(_f["line"])
    _f["cheek_c"] = rgb(_f["cheek"])
    _f["accent_c"] = rgb(_f["accent"])
    _f["shade_c"] = mix(_f["body_c"], _f["line_c"], 0.35)
    _f["light_c"] = mix(_f["body_c"], WHITE, 0.55)

# ---------------------------------------------------------------------------------------------------------------
# drawing helpers: a Pen draws in picture pixels on a canvas SS times larger


def reduce_rgba(img, factor):
    """Supersampled RGBA down to its final size, filtering with premultiplied alpha."""
    if factor == 1:
        return img
    return img.convert("RGBa").reduce(factor).convert("RGBA")


class Pen:
    def __init__(self, img, k):
        self.img = img
        self.k = k
        self.d = ImageDraw.Draw(img)

    def P(self, pts):
        return [(x * self.k, y * self.k) for x, y in pts]

    def box(self, cx, cy, rx, ry):
        k = self.k
        return [(cx - rx) * k, (cy - ry) * k, (cx + rx) * k, (cy + ry) * k]

    def ellipse(self, cx, cy, rx, ry, fill=None, outline=None, width=0):
        self.d.ellipse(self.box(cx, cy, rx, ry), fill=fill, outline=outline,
                       width=int(round(width * self.k)) if outline else 0)

    def poly(self, pts, fill):
        self.d.polygon(self.P(pts), fill=fill)

    def line(self, pts, width, fill):
        w = width * self.k
        self.d.line(self.P(pts), fill=fill, width=max(1, int(round(w))), joint="curve")
        for x, y in (pts[0], pts[-1]):
            self.d.ellipse([x * self.k - w / 2, y * self.k - w / 2, x * self.k + w / 2, y * self.k + w / 2], fill=fill)

    def rrect(self, x0, y0, x1, y1, r, fill=None, outline=None, width=0):
        k = self.k
        self.d.rounded_rectangle([x0 * k, y0 * k, x1 * k, y1 * k], radius=r * k, fill=fill, outline=outline,
                                 width=int(round(width * k)) if outline else 0)

    def text(self, xy, s, size, fill, font=JP_FONT, stroke=0, stroke_fill=None, anchor="mm"):
        f = ImageFont.truetype(font, int(round(size * self.k)))
        self.d.text((xy[0] * self.k, xy[1] * self.k), s, font=f, fill=fill, anchor=anchor,
                    stroke_width=int(round(stroke * self.k)), stroke_fill=stroke_fill)


def overlay(img, k, draw_fn):
    """Draws translucent shapes on their own layer and blends it in (plain drawing would replace pixels)."""
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    draw_fn(Pen(layer, k))
    img.alpha_composite(layer)


def ellipse_pts(cx, cy, rx, ry, rot=0.0, n=72):
    c, s = math.cos(math.radians(rot)), math.sin(math.radians(rot))
    out = []
    for i in range(n):
        t = 2 * math.pi * i / n
        x, y = rx * math.cos(t), ry * math.sin(t)
        out.append((cx + x * c - y * s, cy + x * s + y * c))
    return out


def star_pts(cx, cy, r_out, r_in, n=5, rot=-90.0):
    out = []
    for i in range(2 * n):
        r = r_out if i % 2 == 0 else r_in
        a = math.radians(rot + i * 180.0 / n)
        out.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return out


def bezier(p0, p1, p2, p3, n=40):
    out = []
    for i in range(n + 1):
        t = i / n
        u = 1 - t
        out.append((u ** 3 * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t ** 3 * p3[0],
                    u ** 3 * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t ** 3 * p3[1]))
    return out


def offset_pts(pts, d):
    """Moves a closed counter-clockwise-or-not outline outward by d along its normals."""
    n = len(pts)
    cx = sum(p[0] for p in pts) / n
    cy = sum(p[1] for p in pts) / n
    out = []
    for i in range(n):
        ax, ay = pts[i - 1]
        bx, by = pts[(i + 1) % n]
        tx, ty = bx - ax, by - ay
        ln = math.hypot(tx, ty) or 1.0
        nx, ny = ty / ln, -tx / ln
        px, py = pts[i]
        if (px - cx) * nx + (py - cy) * ny < 0:
            nx, ny = -nx, -ny
        out.append((px + nx * d, py + ny * d))
    return out


def outlined_poly(pen, pts, fill, line, width):
    pen.poly(offset_pts(pts, width), line)
    pen.poly(pts, fill)


def outlined_ellipse(pen, cx, cy, rx, ry, fill, line, width, rot=0.0):
    if rot == 0.0:
        pen.ellipse(cx, cy, rx + width, ry + width, fill=line)
        pen.ellipse(cx, cy, rx, ry, fill=fill)
    else:
        pen.poly(ellipse_pts(cx, cy, rx + width, ry + width, rot), line)
        pen.poly(ellipse_pts(cx, cy, rx, ry, rot), fill)


def tapered_stroke(pen, pts, w0, w1, fill):
    n = len(pts)
    for i, (x, y) in enumerate(pts):
        w = w0 + (w1 - w0) * i / max(1, n - 1)
        pen.ellipse(x, y, w / 2, w / 2, fill=fill)


def sparkle(pen, cx, cy, r, fill):
    pen.poly(star_pts(cx, cy, r, r * 0.28, 4, -90), fill)


def soft_shadow(size, k, draw_fn, blur, offset, opacity):
    """A blurred dark copy of some shapes, for buttons and cards."""
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    draw_fn(Pen(layer, k), (40, 25, 20, opacity))
    layer = layer.filter(ImageFilter.GaussianBlur(blur * k))
    return ImageChops.offset(layer, int(offset[0] * k), int(offset[1] * k))


# ---------------------------------------------------------------------------------------------------------------
# the creatures


class Body:
    """The blob outline of one form in one pose, in picture pixels of a 320 canvas."""

    def __init__(self, form, cx, cy, sx, sy):
        self.f = form
        self.cx, self.cy = cx, cy
        self.rx, self.ry = form["rx"] * sx, form["ry"] * sy

    def point(self, deg):
        t = math.radians(deg)
        c, up = math.cos(t), math.sin(t)
        shape = self.f["shape"]
        x, y = c, up
        if up < 0:
            y = up * 0.9                     # a softly flattened seat
            x = math.copysign(abs(c) ** 0.85, c)
        elif shape == "drop":
            x = c * (1 - 0.42 * up ** 2.2)
            y = up * (1 + 0.16 * up ** 4)
        elif shape == "egg":
            x = c * (1 - 0.12 * up)
        return (self.cx + x * self.rx, self.cy - y * self.ry)

    def outline(self, n=180):
        return [self.point(360.0 * i / n) for i in range(n)]

    @property
    def bottom(self):
        return self.cy + 0.9 * self.ry

    @property
    def top(self):
        return self.point(90)[1]


POSES = {
    "idou":    dict(sx=1.03, sy=0.97, step=-1, eyes="open", mouth="smile", wing=18),
    "idou2":   dict(sx=0.97, sy=1.03, step=1, eyes="open", mouth="smile", wing=-8),
    "taiki":   dict(sx=1.05, sy=0.95, step=0, eyes="happy", mouth="smile", wing=6),
    "kougeki": dict(sx=1.0, sy=1.0, step=0, eyes="angry", mouth="shout", rot=12, fx="attack", wing=24),
    "kyusyu":  dict(sx=1.07, sy=0.97, step=0, eyes="squint", mouth="suck", fx="absorb", wing=14),
    "futtobi": dict(sx=1.0, sy=1.0, step=0, eyes="x", mouth="wavy", rot=-30, fx="knock", wing=30),
    "kizetsu": dict(sx=1.2, sy=0.72, step=0, eyes="swirl", mouth="wavy", fx="dizzy", wing=-20, flat=True),
}


def draw_behind(pen, form, body, pose):
    f = form
    lw = 4.0
    ex = f["extras"]
    if "leaf" in ex:
        tx, ty = body.point(90)
        stem = [(tx, ty + 6), (tx + 2, ty - 10), (tx + 4, ty - 20)]
        pen.line(stem, 10, f["line_c"])
        pen.line(stem, 4.5, f["accent_c"])
        for side, rot in ((-1, -30), (1, 30)):
            lx, ly = tx + 4 + side * 22, ty - 28
            outlined_ellipse(pen, lx, ly, 24, 11, f["accent_c"], f["line_c"], lw, rot=rot)
            pen.line([(lx - side * 16 * math.cos(math.radians(rot)), ly - 16 * math.sin(math.radians(rot)) * side),
                      (lx + side * 12 * math.cos(math.radians(rot)), ly + 12 * math.sin(math.radians(rot)) * side)],
                     2.5, mix(f["accent_c"], f["line_c"], 0.45))
    if "bear" in ex:
        for deg in (128, 52):
            x, y = body.point(deg)
            outlined_ellipse(pen, x, y, 25, 25, f["body_c"], f["line_c"], lw)
            pen.ellipse(x, y + 1, 13, 13, fill=f["accent_c"])
    if "cat" in ex:
        for deg, side in ((122, -1), (58, 1)):
            bx, by = body.point(deg)
            a0, a1 = body.point(deg - 17 * side), body.point(deg + 17 * side)
            tip = (bx + side * 14, by - 46)
            outlined_poly(pen, [a0, tip, a1, (bx, by + 14)], f["body_c"], f["line_c"], lw)
            inner = [(a0[0] * 0.6 + tip[0] * 0.4, a0[1] * 0.6 + tip[1] * 0.4 + 6), (tip[0], tip[1] + 16),
                     (a1[0] * 0.6 + tip[0] * 0.4, a1[1] * 0.6 + tip[1] * 0.4 + 6), (bx, by + 6)]
            pen.poly(inner, f["accent_c"])
    if "horns" in ex:
        for deg, side in ((116, -1), (64, 1)):
            bx, by = body.point(deg)
            local = bezier((-13, 8), (-6, -20), (6, -36), (14, -42), 16) + bezier((14, -42), (16, -20), (12, -6),
                                                                                   (13, 8), 16)
            outlined_poly(pen, [(bx + side * x * 0.8, by + 4 + y * 0.62) for x, y in local], f["accent_c"],
                          f["line_c"], lw)
    if "bunny" in ex:
        for deg, tilt in ((104, -12), (76, 12)):
            bx, by = body.point(deg)
            cx = bx + math.sin(math.radians(tilt)) * 44
            cy = by - math.cos(math.radians(tilt)) * 44
            outlined_ellipse(pen, cx, cy, 17, 50, f["body_c"], f["line_c"], lw, rot=tilt)
            pen.poly(ellipse_pts(cx, cy + 4, 8, 36, tilt), f["accent_c"])
    if "spikes" in ex:
        for deg, size in ((104, 22), (78, 25), (52, 22), (28, 17)):
            bx, by = body.point(deg)
            nx, ny = math.cos(math.radians(deg)), -math.sin(math.radians(deg))
            tx, ty = -ny, nx
            pts = [(bx + tx * size * 0.8 - nx * 6, by + ty * size * 0.8 - ny * 6),
                   (bx + nx * size * 1.3, by + ny * size * 1.3),
                   (bx - tx * size * 0.8 - nx * 6, by - ty * size * 0.8 - ny * 6)]
            outlined_poly(pen, pts, f["accent_c"], f["line_c"], lw)
    if "wings" in ex or "goldwings" in ex:
        gold = "goldwings" in ex
        col = WHITE if not gold else rgb("#fff7d6")
        for side in (-1, 1):
            bx, by = body.point(180 if side < 0 else 0)
            ox, oy = bx - side * 14, by - 16
            a = math.radians(-pose["wing"])
            parts = [(30, -26, 34, 18, -30), (22, -4, 14, 12, 0), (40, -8, 13, 11, 0), (56, -18, 12, 10, 0)]
            shapes = []
            for dx, dy, rx, ry, rot in parts:
                x = dx * math.cos(a) - dy * math.sin(a)
                y = dx * math.sin(a) + dy * math.cos(a)
                shapes.append((ox + side * x, oy + y, rx, ry, side * (rot - pose["wing"])))
            for x, y, rx, ry, rot in shapes:
                pen.poly(ellipse_pts(x, y, rx + lw, ry + lw, rot), f["line_c"])
            for x, y, rx, ry, rot in shapes:
                pen.poly(ellipse_pts(x, y, rx, ry, rot), col)
            for x, y, rx, ry, rot in shapes[1:]:
                pen.line([(x - side * 2, y + ry * 0.2), (x + side * rx * 0.5, y - ry * 0.3)], 2.2,
                         mix(col, f["line_c"], 0.35))


def draw_front(pen, form, body):
    f = form
    ex = f["extras"]
    lw = 4.0
    if "curl" in ex:
        tx, ty = body.point(95)
        pen.line(bezier((tx + 2, ty + 4), (tx - 6, ty - 16), (tx + 14, ty - 22), (tx + 10, ty - 8), 20), 5.5,
                 f["line_c"])
    if "starmarks" in ex:
        for (dx, dy, r) in ((0.62, -0.1, 11), (0.45, 0.35, 8), (0.74, 0.28, 6)):
            x, y = body.cx + dx * body.rx, body.cy + dy * body.ry
            pen.poly(star_pts(x, y, r, r * 0.45), alpha(f["accent_c"], 255))
    if "crown" in ex:
        tx, ty = body.point(90)
        base_y = ty + 10
        pts = [(tx - 34, base_y), (tx - 40, base_y - 34), (tx - 18, base_y - 16), (tx, base_y - 44),
               (tx + 18, base_y - 16), (tx + 40, base_y - 34), (tx + 34, base_y)]
        outlined_poly(pen, pts, f["accent_c"], f["line_c"], lw)
        for gx, gy, r, c in ((tx, base_y - 10, 6, rgb("#ff6f91")), (tx - 22, base_y - 7, 4, rgb("#6fd3ff")),
                             (tx + 22, base_y - 7, 4, rgb("#6fd3ff"))):
            pen.ellipse(gx, gy, r, r, fill=c)
        for x, y in ((tx - 40, base_y - 36), (tx, base_y - 46), (tx + 40, base_y - 36)):
            outlined_ellipse(pen, x, y, 5, 5, rgb("#fff3b0"), f["line_c"], 3)


def draw_halo(pen, form, body):
    tx, ty = body.point(90)
    c = form["accent_c"]
    pen.ellipse(tx, ty - 26, 44, 13, outline=form["line_c"], width=10)
    pen.ellipse(tx, ty - 26, 42, 11, outline=c, width=6)


def draw_face(pen, form, body, pose, fx):
    f = form
    ry = body.ry
    ey = body.cy + 0.02 * ry
    if pose.get("flat"):
        ey = body.cy - 0.05 * ry
    gap = 0.27 * body.rx
    eyes = [(fx - gap, ey), (fx + gap, ey)]
    style = pose["eyes"]
    # cheeks under the eyes
    overlay(pen.img, pen.k, lambda p: [p.ellipse(x + (-1 if i == 0 else 1) * 12, ey + 24, 15, 8.5,
                                                 fill=alpha(f["cheek_c"], 150)) for i, (x, _) in enumerate(eyes)])
    if style == "open":
        for x, y in eyes:
            pen.ellipse(x, y, 9, 13, fill=INK)
            pen.ellipse(x + 2.8, y - 5, 3.8, 3.8, fill=WHITE)
            pen.ellipse(x - 2.8, y + 5, 1.8, 1.8, fill=WHITE)
        if "sparkles" in f["extras"]:
            for x, y in eyes:
                sparkle(pen, x + 2.5, y - 4.5, 5.5, WHITE)
    elif style == "happy":
        for x, y in eyes:
            pts = [(x + 9 * math.cos(math.radians(a)), y + 3 - 9 * math.sin(math.radians(a)))
                   for a in range(0, 181, 15)]
            pen.line(pts, 5, INK)
    elif style == "angry":
        for i, (x, y) in enumerate(eyes):
            pen.ellipse(x, y + 2, 7.5, 9.5, fill=INK)
            pen.ellipse(x + 2.2, y - 2, 3, 3, fill=WHITE)
            s = 1 if i == 0 else -1
            pen.line([(x - s * 11, y - 18), (x + s * 7, y - 11)], 5, INK)
    elif style == "squint":
        for i, (x, y) in enumerate(eyes):
            s = 1 if i == 0 else -1
            pen.line([(x - s * 8, y - 9), (x + s * 6, y), (x - s * 8, y + 9)], 5, INK)
    elif style == "x":
        for x, y in eyes:
            pen.line([(x - 8, y - 8), (x + 8, y + 8)], 5, INK)
            pen.line([(x - 8, y + 8), (x + 8, y - 8)], 5, INK)
    elif style == "swirl":
        for x, y in eyes:
            pts = [(x + (1.2 + a / 90.0) * math.cos(math.radians(a)), y + (1.2 + a / 90.0) * math.sin(math.radians(a)))
                   for a in range(0, 720 + 1, 20)]
            pen.line(pts, 3.6, INK)

    my = ey + 22
    mouth = pose["mouth"]
    red = rgb("#c8454f")
    if mouth == "smile":
        for s in (-1, 1):
            pts = [(fx + s * 5 + 5.5 * math.cos(math.radians(a)), my - 1 + 5 * math.sin(math.radians(a)))
                   for a in range(0, 181, 15)]
            pen.line(pts, 3.6, INK)
    elif mouth == "shout":
        pts = [(fx - 11, my - 4), (fx + 11, my - 4), (fx + 7, my + 9), (fx, my + 12), (fx - 7, my + 9)]
        outlined_poly(pen, pts, red, INK, 3)
        pen.ellipse(fx, my + 7, 5, 3.5, fill=rgb("#ff8c94"))
    elif mouth == "suck":
        mx = fx - 0.2 * body.rx
        outlined_ellipse(pen, mx, my + 2, 13, 14, red, INK, 3.5)
        pen.ellipse(mx, my + 7, 8, 5, fill=rgb("#ff8c94"))
    elif mouth == "wavy":
        pts = [(fx - 12 + i, my + 3 * math.sin(i / 24.0 * 2 * math.pi * 1.5)) for i in range(0, 25, 2)]
        pen.line(pts, 3.6, INK)


def soft_mask(size, k, draw_fn, blur):
    """A blurred L mask drawn at picture resolution (cheap) and scaled up to the canvas."""
    w, h = int(size[0] / k), int(size[1] / k)
    m = Image.new("L", (w, h), 0)
    draw_fn(Pen(m, 1.0))
    return m.filter(ImageFilter.GaussianBlur(blur)).resize(size, Image.BICUBIC)


def tint(img, mask, colour, opacity):
    layer = Image.new("RGBA", img.size, colour[:3] + (0,))
    layer.putalpha(mask.point(lambda v: v * opacity // 255))
    img.alpha_composite(layer)


def draw_body(pen, form, body):
    f = form
    pts = body.outline()
    pen.poly(offset_pts(pts, 4.5), f["line_c"])
    pen.poly(pts, f["body_c"])
    k = pen.k
    size = pen.img.size
    # shading, belly and light, clipped to the body
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).polygon(pen.P(pts), fill=255)
    shade = soft_mask(size, k, lambda p: p.ellipse(body.cx + 0.45 * body.rx, body.cy + 0.95 * body.ry,
                                                   1.25 * body.rx, 0.75 * body.ry, fill=255), 14)
    tint(pen.img, ImageChops.multiply(shade, mask), f["shade_c"], 170)
    if "belly" in f["extras"]:
        belly = Image.new("L", size, 0)
        Pen(belly, k).ellipse(body.cx - 0.08 * body.rx, body.cy + 0.52 * body.ry, 0.52 * body.rx, 0.4 * body.ry,
                              fill=255)
        tint(pen.img, ImageChops.multiply(belly, mask), f["light_c"], 255)
    glow = soft_mask(size, k, lambda p: p.ellipse(body.cx - 0.35 * body.rx, body.cy - 0.45 * body.ry,
                                                  0.5 * body.rx, 0.35 * body.ry, fill=255), 10)
    tint(pen.img, ImageChops.multiply(glow, mask), WHITE, 90)
    shine = Image.new("L", size, 0)
    sp = Pen(shine, k)
    sp.poly(ellipse_pts(body.cx - 0.5 * body.rx, body.cy - 0.56 * body.ry, 0.2 * body.rx, 0.1 * body.ry, -28), 255)
    sp.ellipse(body.cx - 0.24 * body.rx, body.cy - 0.72 * body.ry, 0.045 * body.rx, 0.045 * body.rx, fill=255)
    tint(pen.img, ImageChops.multiply(shine, mask), WHITE, 200)


def draw_feet(pen, form, body, step):
    y = body.bottom - 1
    for side in (-1, 1):
        lift = 7 if step == side else 0
        fwd = -6 if step == side else (3 if step == -side else 0)
        outlined_ellipse(pen, body.cx + side * 0.42 * body.rx + fwd, y - lift, 21, 12, form["shade_c"],
                         form["line_c"], 4)


def draw_fx(pen, form, body, pose_name, fx):
    if pose_name == "kougeki":
        pen.poly(star_pts(40, 176, 30, 14, 8, -90), STAR_EDGE)
        pen.poly(star_pts(40, 176, 24, 10, 8, -90), STAR_YELLOW)
        for y, x0 in ((132, 262), (170, 276), (208, 266)):
            pen.line([(x0, y), (x0 + 36, y)], 5, alpha(form["line_c"], 255))
    elif pose_name == "kyusyu":
        mx, my = fx - 0.2 * body.rx, body.cy + 0.02 * body.ry + 24
        for (sx, sy, c1, c2) in ((4, 120, (-10, 40), (40, -10)), (2, 200, (10, -10), (40, 10)),
                                 (10, 270, (0, -40), (50, -30))):
            pts = bezier((sx, sy), (sx + 30 + c1[0], sy + c1[1]), (mx - 40 + c2[0], my + c2[1]), (mx - 16, my), 140)
            tapered_stroke(pen, pts, 3, 13, alpha(form["line_c"], 255))
            tapered_stroke(pen, pts, 1, 7, form["accent_c"] if form["accent_c"][:3] != (255, 255, 255)
                           else form["light_c"])
        for x, y, r in ((24, 160, 8), (40, 236, 6), (14, 250, 5)):
            sparkle(pen, x, y, r * 1.6, STAR_YELLOW)
        for x, y, r in ((56, 140, 5), (62, 250, 4)):
            outlined_ellipse(pen, x, y, r, r, rgb("#ffcdb5"), rgb("#b8604a"), 2)
    elif pose_name == "futtobi":
        for x, y, r in ((70, 70, 15), (230, 62, 12), (262, 130, 10)):
            pen.poly(star_pts(x, y, r + 3, (r + 3) * 0.45), STAR_EDGE)
            pen.poly(star_pts(x, y, r, r * 0.45), STAR_YELLOW)
        for y, x0 in ((200, 24), (236, 14), (272, 30)):
            pen.line([(x0, y), (x0 + 34, y - 8)], 5, form["line_c"])
    elif pose_name == "kizetsu":
        cy = body.top - 18
        pen.ellipse(body.cx, cy, 70, 18, outline=alpha(form["line_c"], 255), width=3)
        for x, y, r in ((body.cx - 58, cy + 6, 12), (body.cx + 18, cy - 17, 10), (body.cx + 60, cy + 8, 11)):
            pen.poly(star_pts(x, y, r + 3, (r + 3) * 0.45), STAR_EDGE)
            pen.poly(star_pts(x, y, r, r * 0.45), STAR_YELLOW)
    if "sparkles" in form["extras"] and pose_name not in ("futtobi", "kizetsu"):
        for x, y, r in ((36, 60, 12), (286, 92, 9), (292, 230, 7), (26, 262, 7)):
            sparkle(pen, x, y, r + 3, STAR_EDGE)
            sparkle(pen, x, y, r, rgb("#fff6c2"))


def creature(form_index, pose_name, size=CREATURE_PX, shadow=True):
    f = FORMS[form_index]
    pose = POSES[pose_name]
    S = size * SS
    k = size / 320.0 * SS
    img = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    base_cy = 186
    body = Body(f, 160, base_cy, pose["sx"], pose["sy"])
    # keep the seat on the ground line whatever the squash
    ground = 186 + 0.9 * f["ry"] + 10
    body.cy = ground - 10 - 0.9 * body.ry
    if pose_name == "kizetsu":
        body.cy += 6
    pen = Pen(img, k)
    if shadow:
        overlay(img, k, lambda p: p.ellipse(160, ground + 4, 0.95 * body.rx, 13, fill=(60, 40, 40, 60)))
    if "aura" in f["extras"]:
        tint(img, soft_mask((S, S), k, lambda p: p.ellipse(body.cx, body.cy - 14, body.rx + 16, body.ry + 30,
                                                          fill=255), 12), rgb("#ffe27a"), 150)
    layer = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    lp = Pen(layer, k)
    fx = body.cx - 0.13 * body.rx
    draw_behind(lp, f, body, pose)
    draw_feet(lp, f, body, pose["step"])
    draw_body(lp, f, body)
    if pose_name == "kougeki":
        outlined_ellipse(lp, body.cx - body.rx - 4, body.cy + 0.25 * body.ry, 17, 15, f["body_c"], f["line_c"], 4)
    else:
        for side in (-1, 1):
            outlined_ellipse(lp, body.cx + side * (body.rx - 3), body.cy + 0.3 * body.ry, 11, 13, f["body_c"],
                             f["line_c"], 3.5)
    draw_front(lp, f, body)
    if "halo" in f["extras"]:
        draw_halo(lp, f, body)
    draw_face(lp, f, body, pose, fx)
    if pose.get("rot"):
        layer = layer.rotate(pose["rot"], resample=Image.BICUBIC, center=(160 * k, ground * k))
    img.alpha_composite(layer)
    draw_fx(pen, f, body, pose_name, fx)
    return reduce_rgba(img, SS)


# ---------------------------------------------------------------------------------------------------------------
# text pictures


def caption(text, colour, line, size=(360, 120), tilt=-6):
    W, H = size
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    for i, (x, y, r) in enumerate(((26, 30, 11), (W - 24, 34, 9), (W - 34, H - 24, 7), (30, H - 28, 8))):
        sparkle(pen, x, y, r + 3, line)
        sparkle(pen, x, y, r, STAR_YELLOW)
    size = 58
    while ImageFont.truetype(JP_FONT, size * SS).getlength(text) / SS > W - 60:
        size -= 2
    pen.text((W / 2, H / 2), text, size, colour, font=JP_FONT, stroke=9, stroke_fill=WHITE)
    pen.text((W / 2, H / 2), text, size, colour, font=JP_FONT, stroke=2.2, stroke_fill=colour)
    img = img.rotate(tilt, resample=Image.BICUBIC, center=(W * SS / 2, H * SS / 2))
    # a thin dark rim under the white one keeps the word readable on light backgrounds
    rim = img.getchannel("A").filter(ImageFilter.MaxFilter(9))
    under = Image.new("RGBA", img.size, line[:3] + (0,))
    under.putalpha(rim)
    under.alpha_composite(img)
    return reduce_rgba(under, SS)


ATTACK_WORDS = ["ぽかっ!", "ぺちっ!", "ぽこっ!", "ばしっ!", "どかっ!", "ばさっ!", "がおーっ!", "ぴしっ!", "きらーん!",
                "どどーん!"]
ABSORB_WORDS = ["ちゅるん!", "もぐもぐ!", "ぱくっ!", "ごくん!", "もぐっ!", "ふわっ!", "がぶっ!", "ちゅーっ!",
                "すいこみ!", "きゅうしゅう!"]


def versionup():
    # shown at (10, 530) points over the gauge caption, which it must hide down to its lowest line
    W, H = 480, 72
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    img.alpha_composite(soft_shadow(img.size, SS, lambda p, c: p.rrect(6, 4, W - 6, H - 1, 30, fill=c), 2,
                                    (0, 1), 80))
    pen.rrect(4, 2, W - 4, H - 3, 31, fill=rgb("#e0873a"))
    pen.rrect(8, 6, W - 8, H - 7, 27, fill=rgb("#fff4d6"))
    pen.text((W / 2 + 10, H / 2 - 1), "つづきは バージョンアップで!", 30, rgb("#c2562f"), stroke=0.8,
             stroke_fill=rgb("#c2562f"))
    sparkle(pen, 28, H / 2 - 1, 12, STAR_EDGE)
    sparkle(pen, 28, H / 2 - 1, 9, STAR_YELLOW)
    return reduce_rgba(img, SS)


def number_strip():
    W, H = 240, 30
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    for d in range(10):
        cx = 24 * d + 12
        pen.text((cx, 15.5), str(d), 29, rgb("#5a3a20"), font=LATIN_BOLD, stroke=3.0, stroke_fill=rgb("#5a3a20"))
        pen.text((cx, 15.5), str(d), 29, WHITE, font=LATIN_BOLD)
    return reduce_rgba(img, SS)


# ---------------------------------------------------------------------------------------------------------------
# buttons: white rounded plates with a warm rim and a simple icon

BTN_RIM = rgb("#e0873a")
BTN_FACE = rgb("#fffaf0")
BTN_INK = rgb("#7a4424")


def plate(W, H, r, draw_icon, rim=BTN_RIM):
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    img.alpha_composite(soft_shadow(img.size, SS, lambda p, c: p.rrect(4, 6, W - 4, H - 2, r, fill=c), 2.5,
                                    (0, 0), 110))
    pen.rrect(3, 2, W - 3, H - 6, r, fill=rim)
    pen.rrect(8, 7, W - 8, H - 11, max(1, r - 5), fill=BTN_FACE)
    overlay(img, SS, lambda p: p.rrect(12, 9, W - 12, 9 + (H - 20) * 0.4, max(1, r - 9), fill=(255, 255, 255, 150)))
    draw_icon(pen, W / 2, (H - 4) / 2)
    return reduce_rgba(img, SS)


def icon_book(pen, cx, cy):
    for side in (-1, 1):
        pts = [(cx, cy - 12), (cx + side * 8, cy - 16), (cx + side * 26, cy - 16), (cx + side * 26, cy + 14),
               (cx + side * 8, cy + 14), (cx, cy + 18)]
        outlined_poly(pen, pts, rgb("#ffd27a") if side < 0 else rgb("#9ed4ff"), BTN_INK, 3.5)
        for i in range(3):
            y = cy - 7 + i * 7
            pen.line([(cx + side * 6, y), (cx + side * 20, y)], 2.5, BTN_INK)
    pen.line([(cx, cy - 12), (cx, cy + 18)], 3.5, BTN_INK)


def icon_speaker(on):
    def draw(pen, cx, cy):
        pts = [(cx - 16, cy - 7), (cx - 8, cy - 7), (cx + 2, cy - 16), (cx + 2, cy + 16), (cx - 8, cy + 7),
               (cx - 16, cy + 7)]
        outlined_poly(pen, pts, BTN_INK, BTN_INK, 1.5)
        if on:
            for r in (8, 15):
                pts = [(cx + 2 + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
                       for a in range(-45, 46, 9)]
                pen.line(pts, 3.5, rgb("#e0873a"))
        else:
            pen.line([(cx + 8, cy - 7), (cx + 20, cy + 7)], 4, rgb("#d9534f"))
            pen.line([(cx + 8, cy + 7), (cx + 20, cy - 7)], 4, rgb("#d9534f"))
    return draw


def icon_share(pen, cx, cy):
    # a little camera with an arrow leaving it: save the picture and send it
    pen.rrect(cx - 17, cy - 9, cx + 13, cy + 13, 5, fill=BTN_INK)
    pen.rrect(cx - 10, cy - 13, cx + 2, cy - 7, 2, fill=BTN_INK)
    pen.ellipse(cx - 2, cy + 2, 7.5, 7.5, fill=BTN_FACE)
    pen.ellipse(cx - 2, cy + 2, 4.5, 4.5, fill=rgb("#7fc8f8"))
    pen.line([(cx + 8, cy - 6), (cx + 19, cy - 17)], 3.5, rgb("#e0873a"))
    pen.poly([(cx + 21, cy - 19), (cx + 11, cy - 18), (cx + 20, cy - 9)], rgb("#e0873a"))


def icon_video(pen, cx, cy):
    pen.rrect(cx - 18, cy - 13, cx + 18, cy + 13, 6, fill=rgb("#7fc8f8"), outline=BTN_INK, width=3.5)
    pen.poly([(cx - 5, cy - 8), (cx + 9, cy), (cx - 5, cy + 8)], WHITE)
    pen.line([(cx - 5, cy - 8), (cx + 9, cy), (cx - 5, cy + 8), (cx - 5, cy - 8)], 2.5, BTN_INK)


def icon_bear(pen, cx, cy):
    # the other app's mascot: a small bear with a wing
    brown, dark = rgb("#c98b5a"), rgb("#6b3f22")
    for side in (-1, 1):
        outlined_ellipse(pen, cx + side * 11, cy - 11, 6.5, 6.5, brown, dark, 2.5)
    outlined_ellipse(pen, cx + 15, cy + 1, 9, 6, WHITE, dark, 2.2, rot=-30)
    outlined_ellipse(pen, cx, cy + 1, 14, 12.5, brown, dark, 2.5)
    pen.ellipse(cx, cy + 6, 6, 4.5, fill=rgb("#f3d2b3"))
    pen.ellipse(cx, cy + 4, 2, 1.5, fill=dark)
    for side in (-1, 1):
        pen.ellipse(cx + side * 5, cy - 1, 1.8, 2.2, fill=dark)


def icon_close(pen, cx, cy):
    pen.line([(cx - 10, cy - 10), (cx + 10, cy + 10)], 6, BTN_INK)
    pen.line([(cx - 10, cy + 10), (cx + 10, cy - 10)], 6, BTN_INK)


def sdk_close():
    """The popup ad's close button: a white ring and cross on a dark disc, 37 x 33 points."""
    W, H = 74, 66
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    cx, cy, r = W / 2, H / 2, 28
    pen.ellipse(cx, cy, r, r, fill=(30, 30, 30, 200), outline=(255, 255, 255, 255), width=5)
    pen.line([(cx - 12, cy - 12), (cx + 12, cy + 12)], 6, (255, 255, 255, 255))
    pen.line([(cx - 12, cy + 12), (cx + 12, cy - 12)], 6, (255, 255, 255, 255))
    return reduce_rgba(img, SS)


def wall_close(highlight=False):
    """The offer wall's close button: a light rounded plate with a cross, 36 x 30 points; darker when held."""
    W, H = 72, 60
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    plate_c = (200, 206, 214, 255) if highlight else (246, 248, 250, 255)
    pen.rrect(6, 8, W - 6, H - 8, 10, fill=plate_c, outline=(120, 128, 140, 255), width=2)
    cx, cy = W / 2, H / 2
    pen.line([(cx - 9, cy - 9), (cx + 9, cy + 9)], 5, (70, 76, 88, 255))
    pen.line([(cx - 9, cy + 9), (cx + 9, cy - 9)], 5, (70, 76, 88, 255))
    return reduce_rgba(img, SS)


def wall_close_highlight():
    return wall_close(True)


def wall_bar():
    """The offer wall's toolbar: a green vertical gradient with a light top edge, 320 x 44 points."""
    img = vgradient((640, 88), [(0.0, rgb("#7fdc3a")), (1.0, rgb("#2f9e0a"))]).convert("RGBA")
    ImageDraw.Draw(img).rectangle([0, 0, 639, 1], fill=(214, 246, 190, 255))
    return img


def wall_error():
    """The not-found page's picture: a grey cloud with a cut cable, 160 x 140 CSS pixels at 2x."""
    W, H = 320, 280
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    grey, ink = (176, 182, 190, 255), (96, 102, 112, 255)
    for cx, cy, r in ((110, 120, 52), (170, 96, 66), (226, 128, 46)):
        pen.ellipse(cx, cy, r, r, fill=grey)
    pen.rrect(62, 120, 268, 172, 26, fill=grey)
    pen.line([(100, 200), (140, 230), (150, 214)], 7, ink)
    pen.line([(170, 214), (182, 232), (222, 204)], 7, ink)
    pen.line([(150, 200), (164, 222)], 5, (220, 70, 60, 255))
    pen.line([(164, 200), (150, 222)], 5, (220, 70, 60, 255))
    return reduce_rgba(img, SS)


# The offer wall pages' style sheets (bundle files beside the pictures): the tile layout, the list layout,
# each with a base sheet, a first sheet linked at load and the fourth the page switches to when ready.
WALL_STYLES = {
    "ziz_wall_base.css": """@charset "UTF-8";
html, body, div, header, article, h1, p, a, img { margin: 0; padding: 0; border: 0; }
body { background: #f4f6f1; color: #333; font: 12px/1.3 "IPAGothic", "IPAPGothic", sans-serif; -webkit-text-size-adjust: none; }
a { color: inherit; text-decoration: none; }
.site_header { background: #3aa412; color: #fff; text-align: center; }
.site_header h1 { font-size: 16px; line-height: 36px; }
.app_list { overflow: hidden; padding: 4px; }
""",
    "ziz_wall_1.css": """@charset "UTF-8";
.app_list article { float: left; width: 25%; text-align: center; }
.app_icon { width: 57px; height: 57px; border-radius: 10px; }
""",
    "ziz_wall_4.css": """@charset "UTF-8";
.app_list article { float: left; box-sizing: border-box; width: 50%; height: 150px; padding: 6px; text-align: center; overflow: hidden; }
.app_list article a { display: block; }
.app_icon { display: block; margin: 0 auto 6px; width: 96px; height: 96px; border-radius: 18px; background: #dfe4da; box-shadow: 0 1px 3px rgba(0, 0, 0, 0.3); }
.app_list article h1 { font-size: 12px; line-height: 16px; height: 32px; overflow: hidden; }
""",
    "ziz_list_base.css": """@charset "UTF-8";
html, body, div, header, article, h1, p, a, img, span { margin: 0; padding: 0; border: 0; }
body { background: #eef1ea; color: #333; font: 12px/1.4 "IPAGothic", "IPAPGothic", sans-serif; -webkit-text-size-adjust: none; }
a { color: inherit; text-decoration: none; }
.site_header { background: #3aa412; color: #fff; text-align: center; }
.site_header h1 { font-size: 16px; line-height: 36px; }
.clearfix:after { content: ""; display: block; clear: both; }
""",
    "ziz_list_1.css": """@charset "UTF-8";
.app_list article { padding: 4px 8px; border-bottom: 1px solid #ccc; }
.app_icon { width: 57px; height: 57px; }
""",
    "ziz_list_4.css": """@charset "UTF-8";
.app_list article { margin: 6px; padding: 8px; background: #fff; border-radius: 8px; box-shadow: 0 1px 2px rgba(0, 0, 0, 0.2); }
.app_name { font-size: 14px; margin-bottom: 6px; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
.free { display: inline-block; margin-right: 6px; padding: 0 6px; background: #e8483b; color: #fff; border-radius: 3px; font-size: 11px; }
.app_box .app_icon { float: left; width: 64px; height: 64px; border-radius: 12px; background: #dfe4da; }
.app_info { margin-left: 74px; }
.app_info p { height: 36px; overflow: hidden; color: #666; }
.dl_button { display: block; margin-top: 6px; width: 120px; line-height: 28px; text-align: center; color: #fff; background: #3aa412; border-radius: 14px; }
""",
}


def write_wall_styles(out):
    for name, text in sorted(WALL_STYLES.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(text.encode("utf-8"))
    return len(WALL_STYLES)


def arrow_tab(direction):
    W, H = 48, 160
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    img.alpha_composite(soft_shadow(img.size, SS, lambda p, c: p.rrect(4, 6, W - 4, H - 2, 18, fill=c), 2.5,
                                    (0, 0), 110))
    pen.rrect(3, 2, W - 3, H - 6, 20, fill=BTN_RIM)
    pen.rrect(8, 7, W - 8, H - 11, 15, fill=BTN_FACE)
    cx, cy = W / 2, (H - 4) / 2
    s = -1 if direction == "left" else 1
    pen.line([(cx - s * 7, cy - 18), (cx + s * 7, cy), (cx - s * 7, cy + 18)], 7, BTN_INK)
    return reduce_rgba(img, SS)


# ---------------------------------------------------------------------------------------------------------------
# HUD pictures


def next_frame():
    W, H = 416, 56                     # 208 x 28 points; the bar sits in its lower part
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    # centred 5 points above the bar, so the 400 x 16 px bar lands at x 8..408, y 30..46 of this picture
    overlay(img, SS, lambda p: p.rrect(7, 28, W - 7, 48, 10, fill=(255, 255, 255, 60)))
    pen.rrect(4, 25.5, W - 4, 50.5, 12.5, outline=rgb("#5a3a20"), width=3)
    pen.rrect(6, 27.5, W - 6, 48.5, 10.5, outline=WHITE, width=2)
    pen.text((8, 12), "NEXT", 22, rgb("#5a3a20"), font=LATIN_BOLD, stroke=3.5, stroke_fill=rgb("#5a3a20"), anchor="lm")
    pen.text((8, 12), "NEXT", 22, WHITE, font=LATIN_BOLD, anchor="lm")
    return reduce_rgba(img, SS)


def next_bar():
    W, H = 400, 16
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    pen.rrect(0, 0, W, H, 8, fill=rgb("#ff8fb1"))
    overlay(img, SS, lambda p: [p.rrect(0, H * 0.52, W, H, 8, fill=rgb("#f0608f", 120)),
                                p.rrect(6, 2.5, W - 6, 6.5, 2, fill=(255, 255, 255, 150))])
    for i in range(12, W, 28):
        overlay(img, SS, lambda p, i=i: p.poly([(i, H), (i + 8, 0), (i + 16, 0), (i + 8, H)], (255, 255, 255, 45)))
    mask = Image.new("L", img.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, W * SS, H * SS], radius=8 * SS, fill=255)
    img.putalpha(ImageChops.multiply(img.getchannel("A"), mask))
    return reduce_rgba(img, SS)


def bubble():
    W, H = 320, 120                    # 160 x 60 points; the text line sits 5 points above the centre
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    body = (6, 6, W - 6, 92)
    tail = [(W / 2 - 22, 86), (W / 2 + 6, 86), (W / 2 - 14, H - 6)]
    edge = rgb("#6b4a3a")
    pen.rrect(body[0] - 4, body[1] - 4, body[2] + 4, body[3] + 4, 44, fill=edge)
    pen.poly(offset_pts(tail, 4), edge)
    pen.rrect(*body, 40, fill=WHITE)
    pen.poly(tail, WHITE)
    return reduce_rgba(img, SS)


# ---------------------------------------------------------------------------------------------------------------
# catalogue pictures

CARD_W, CARD_H = 560, 832              # 280 x 416 points, centred at (160, 304): x 20..300, y 96..512


def popup_card():
    W, H = CARD_W, CARD_H
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    img.alpha_composite(soft_shadow(img.size, SS, lambda p, c: p.rrect(8, 12, W - 8, H - 4, 40, fill=c), 5,
                                    (0, 0), 120))
    pen.rrect(4, 4, W - 4, H - 10, 40, fill=rgb("#c98b5a"))
    pen.rrect(12, 12, W - 12, H - 18, 34, fill=rgb("#fff8ea"))
    # name ribbon; the name label is centred 58 points below the card's top
    pen.rrect(40, 92, W - 40, 142, 25, fill=rgb("#ffe1c2"))
    # completion: the number is centred at (500, 46) of the card
    pen.text((466, 47), "たっせいりつ", 20, rgb("#8a5a3a"), anchor="rm")
    pen.text((530, 48), "%", 20, rgb("#8a5a3a"), anchor="lm")
    # portrait circle under the character picture, centred at (160, 356)
    pen.ellipse(160, 356, 124, 124, fill=rgb("#ffeedd"))
    pen.ellipse(160, 356, 124, 124, outline=rgb("#f2c9a5"), width=4)
    # badge for the number (detail 1), centred at (524, 196)
    pen.text((524, 160), "No.", 16, rgb("#8a5a3a"))
    pen.ellipse(524, 196, 23, 23, fill=rgb("#ffd27a"))
    # dotted guides under the three right-aligned details (their centres at y 266, 336, 406)
    for y in (284, 354, 424):
        for x in range(300, 532, 10):
            pen.ellipse(x, y, 2, 2, fill=rgb("#e6c7a8"))
    return reduce_rgba(img, SS)


def ruled_line():
    W, H = 520, 4
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    pen = Pen(img, SS)
    for x in range(4, W, 12):
        pen.rrect(x, 0.5, x + 7, 3.5, 1.5, fill=rgb("#d9b48f"))
    return reduce_rgba(img, SS)


def portrait(form_index):
    S = ZUKAN_PX
    img = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    img.alpha_composite(creature(form_index, "taiki", size=S, shadow=True))
    return img


# ---------------------------------------------------------------------------------------------------------------
# full-screen pictures

THEMES = [
    # sky top, sky bottom, ground top, ground bottom, hill colours, decoration
    dict(sky=("#bfe6ff", "#fff4e0"), ground=("#c8ecb0", "#9fd68c"), hills=("#b2e29e", "#a4d98f"), deco="flowers"),
    dict(sky=("#c9f0e4", "#f3fff0"), ground=("#bfe8b8", "#8fcf94"), hills=("#7cc48a", "#94d3a0"), deco="trees"),
    dict(sky=("#ffe9a8", "#fff8e6"), ground=("#e5f0a0", "#c9df80"), hills=("#d7e98e", "#c3db7a"), deco="sunflowers"),
    dict(sky=("#9fd8ff", "#e8f7ff"), ground=("#fbe6bf", "#f2d39b"), hills=("#6fc5e8", "#8fd5f0"), deco="sea"),
    dict(sky=("#ffd1a6", "#fff0df"), ground=("#f5c78d", "#e7a86a"), hills=("#f0a868", "#e8955a"), deco="leaves"),
    dict(sky=("#d8c6f5", "#ffe3ef"), ground=("#e6d7f7", "#cdb8ee"), hills=("#c2a9ea", "#b69ae3"), deco="clouds"),
    dict(sky=("#a8ece2", "#eafff8"), ground=("#b5e6c9", "#86cfa8"), hills=("#5fbfa5", "#79ccb3"), deco="rocks"),
    dict(sky=("#ffd6e6", "#fff3f7"), ground=("#dff2c8", "#bfe3a6"), hills=("#ffc2d8", "#f7aecb"), deco="petals"),
    dict(sky=("#2c2f6b", "#5a4f99"), ground=("#3d4a8a", "#2e3670"), hills=("#4b5aa0", "#414f92"), deco="stars"),
    dict(sky=("#fff1bf", "#ffe0ee"), ground=("#fff6d8", "#ffe6a8"), hills=("#ffffff", "#fff3c9"), deco="kingdom"),
]


def vgradient(size, stops):
    """Rows of one colour each, blended through the given (position, colour) stops; compresses well as PNG."""
    W, H = size
    col = Image.new("RGB", (1, H))
    px = []
    for y in range(H):
        t = y / (H - 1)
        for i in range(len(stops) - 1):
            if stops[i][0] <= t <= stops[i + 1][0]:
                a, b = stops[i], stops[i + 1]
                u = (t - a[0]) / max(1e-9, b[0] - a[0])
                u = u * u * (3 - 2 * u)
                px.append(mix(a[1], b[1], u)[:3])
                break
    col.putdata(px)
    return col.resize((W, H), Image.NEAREST)


def aa_shape(size, draw_fn, ss=4):
    """An antialiased mask of shapes drawn in final pixels."""
    m = Image.new("L", (size[0] * ss, size[1] * ss), 0)
    pen = Pen(m, ss)
    draw_fn(pen)
    return m.reduce(ss)


def paint(img, mask, colour):
    layer = Image.new("RGB", img.size, colour[:3])
    img.paste(layer, (0, 0), mask)


def hill_pts(W, base, amp, phase, waves, n=90):
    pts = [(-10, SCREEN[1] + 10)]
    for i in range(n + 1):
        x = -10 + (W + 20) * i / n
        pts.append((x, base - amp * (0.6 * math.sin(x / W * math.pi * waves + phase) + 0.4 * math.sin(
            x / W * math.pi * waves * 2.3 + phase * 1.7))))
    pts.append((W + 10, SCREEN[1] + 10))
    return pts


def background(level):
    th = THEMES[level - 1]
    W, H = SCREEN
    horizon = 250                      # pixels from the top; characters walk far below it
    rnd = random.Random(1000 + level)
    sky = vgradient((W, H), [(0.0, rgb(th["sky"][0])), (horizon / H, rgb(th["sky"][1])), (1.0, rgb(th["sky"][1]))])
    img = sky
    deco = th["deco"]
    if deco in ("stars",):
        for i in range(46):
            x, y, r = rnd.uniform(10, W - 10), rnd.uniform(10, horizon + 20), rnd.choice((1.5, 2.0, 2.5, 3.5))
            paint(img, aa_shape((W, H), lambda p: sparkle(p, x, y, r * 2.2, 255)), rgb("#fff6c8"))
        paint(img, aa_shape((W, H), lambda p: p.ellipse(520, 120, 44, 44, fill=255)), rgb("#fff3c4"))
        paint(img, aa_shape((W, H), lambda p: p.ellipse(540, 108, 40, 40, fill=255)), rgb(th["sky"][0]))
    else:
        sun = {"flowers": "#fff6cf", "sunflowers": "#fff2a8", "leaves": "#ffe6c2", "sea": "#fff9e0"}.get(deco)
        if sun:
            paint(img, aa_shape((W, H), lambda p: p.ellipse(500, 110, 58, 58, fill=255)), rgb(sun))
        for i in range(3):
            cx, cy, s = 90 + i * 210 + rnd.uniform(-30, 30), 70 + rnd.uniform(0, 110), rnd.uniform(0.7, 1.1)
            paint(img, aa_shape((W, H), lambda p: [p.ellipse(cx + dx * s, cy + dy * s, r * s, r * s, fill=255) for
                                                   dx, dy, r in ((-40, 8, 26), (0, -4, 36), (40, 8, 26),
                                                                 (0, 14, 30))]), (255, 255, 255))
    # far and near hills, then the ground where everyone walks
    paint(img, aa_shape((W, H), lambda p: p.poly(hill_pts(W, horizon - 10, 36, level * 0.9, 2.2), 255)),
          rgb(th["hills"][0]))
    if deco == "sea":
        paint(img, aa_shape((W, H), lambda p: p.rrect(-10, horizon - 4, W + 10, horizon + 70, 0, fill=255)),
              rgb("#7fd0f0"))
        for i in range(7):
            x = 40 + i * 92
            paint(img, aa_shape((W, H), lambda p: p.line([(x, horizon + 30), (x + 30, horizon + 30)], 4, 255)),
                  (255, 255, 255))
    if deco == "trees":
        for i in range(7):
            x = 30 + i * 98 + rnd.uniform(-20, 20)
            r = rnd.uniform(34, 52)
            paint(img, aa_shape((W, H), lambda p: [p.rrect(x - 6, horizon - 20, x + 6, horizon + 30, 4, fill=255)]),
                  rgb("#8a6a4a"))
            paint(img, aa_shape((W, H), lambda p: p.ellipse(x, horizon - 20 - r * 0.7, r * 0.8, r, fill=255)),
                  rgb("#5fae6e"))
    if deco == "kingdom":
        for i in range(4):
            x = 70 + i * 170
            paint(img, aa_shape((W, H), lambda p: [p.ellipse(x + dx, horizon + 10 + dy, r, r * 0.75, fill=255) for
                                                   dx, dy, r in ((-50, 0, 50), (0, -20, 64), (50, 0, 50))]),
                  (255, 255, 255))
    ground_top = horizon + 40
    ground = vgradient((W, H), [(0.0, rgb(th["ground"][0])), (ground_top / H, rgb(th["ground"][0])),
                                (1.0, rgb(th["ground"][1]))])
    gmask = aa_shape((W, H), lambda p: p.poly(hill_pts(W, ground_top, 18, level * 1.7 + 1, 1.4), 255))
    img.paste(ground, (0, 0), gmask)
    paint(img, aa_shape((W, H), lambda p: p.poly(hill_pts(W, ground_top + 330, 22, level * 0.6 + 2, 1.1), 255)),
          mix(rgb(th["ground"][0]), rgb(th["ground"][1]), 0.5))
    # a few small things on the ground, kept sparse so the creatures stand out
    spots = []
    while len(spots) < 14:
        x, y = rnd.uniform(20, W - 20), rnd.uniform(ground_top + 40, H - 140)
        if all(math.hypot(x - a, y - b) > 90 for a, b in spots):
            spots.append((x, y))
    for x, y in spots:
        if deco in ("flowers", "petals", "sunflowers"):
            col = {"flowers": rnd.choice(("#ffffff", "#ffd6e0", "#fff3a0")), "petals": "#ffc2d8",
                   "sunflowers": "#ffd84d"}[deco]
            paint(img, aa_shape((W, H), lambda p: [p.ellipse(x + 7 * math.cos(a * math.pi / 2.5),
                                                             y + 7 * math.sin(a * math.pi / 2.5), 6, 6, fill=255)
                                                   for a in range(5)]), rgb(col))
            paint(img, aa_shape((W, H), lambda p: p.ellipse(x, y, 4.5, 4.5, fill=255)), rgb("#ffb84d"))
        elif deco in ("stars",):
            paint(img, aa_shape((W, H), lambda p: sparkle(p, x, y, 7, 255)), rgb("#8fa0ff"))
        elif deco == "leaves":
            paint(img, aa_shape((W, H), lambda p: p.poly(ellipse_pts(x, y, 10, 5, rnd.uniform(0, 180)), 255)),
                  rgb(rnd.choice(("#e0733a", "#f2b441", "#d85f4a"))))
        elif deco == "rocks":
            paint(img, aa_shape((W, H), lambda p: p.ellipse(x, y, 14, 8, fill=255)), rgb("#6fbfa0"))
        elif deco == "sea":
            paint(img, aa_shape((W, H), lambda p: p.poly(star_pts(x, y, 9, 4, 5), 255)), rgb("#ffb38a"))
        else:
            paint(img, aa_shape((W, H), lambda p: [p.line([(x - 6, y + 4), (x - 3, y - 6)], 3, 255),
                                                   p.line([(x + 2, y + 4), (x + 5, y - 7)], 3, 255)]),
                  mix(rgb(th["ground"][1]), rgb("#000000"), 0.12))
    return img.convert("RGB")


def splash_launch():
    W, H = SCREEN
    img = vgradient((W, H), [(0.0, rgb("#fff6ea")), (1.0, rgb("#ffe3d3"))]).convert("RGBA")
    c = creature(0, "taiki", size=320)
    img.alpha_composite(c.resize((360, 360), Image.LANCZOS), (W // 2 - 180, H // 2 - 200))
    return img.convert("RGB")


def splash_title():
    W, H = SCREEN
    img = vgradient((W, H), [(0.0, rgb("#bfe6ff")), (0.55, rgb("#fff4e0")), (1.0, rgb("#ffd9c7"))]).convert("RGBA")
    big = Image.new("RGBA", (W * 2, H * 2), (0, 0, 0, 0))
    pen = Pen(big, 2)
    pen.text((W / 2, 300), "ぽてまる", 120, rgb("#ff8a6b"), stroke=16, stroke_fill=WHITE)
    pen.text((W / 2, 300), "ぽてまる", 120, rgb("#ff8a6b"), stroke=3, stroke_fill=rgb("#ff8a6b"))
    pen.text((W / 2, 410), "すいこんで しんかしよう!", 36, rgb("#7a4424"), stroke=6, stroke_fill=WHITE)
    for x, y, r in ((110, 200, 18), (540, 230, 14), (520, 380, 10), (120, 400, 11)):
        sparkle(pen, x, y, r + 4, STAR_EDGE)
        sparkle(pen, x, y, r, STAR_YELLOW)
    img.alpha_composite(reduce_rgba(big, 2))
    for i, (form, x, y, s) in enumerate(((1, 130, 690, 230), (4, 510, 680, 240), (0, 320, 790, 340))):
        c = creature(form, "taiki" if i == 2 else "idou", size=320).resize((s, s), Image.LANCZOS)
        if i == 1:
            c = c.transpose(Image.FLIP_LEFT_RIGHT)
        img.alpha_composite(c, (int(x - s / 2), int(y - s / 2)))
    return img.convert("RGB")


# ---------------------------------------------------------------------------------------------------------------
# the desktop icon: the first form on a rounded tile, drawn anew at each size the desktop asks for

ICON_SIZES = (48, 64, 128, 256)


def app_icon(n):
    """An n x n icon; shapes are placed in a 256 design square."""
    k = n / 256.0 * SS
    S = n * SS
    tile = lambda p, c: p.rrect(10, 10, 246, 246, 56, fill=c)
    img = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    img.alpha_composite(soft_shadow(img.size, k, lambda p, c: p.rrect(12, 16, 244, 250, 56, fill=c), 4, (0, 0),
                                    90))
    rim = Image.new("L", (S, S), 0)
    tile(Pen(rim, k), 255)
    img.paste(Image.new("RGBA", (S, S), BTN_RIM), (0, 0), rim)
    face = Image.new("L", (S, S), 0)
    Pen(face, k).rrect(18, 18, 238, 238, 48, fill=255)
    sky = vgradient((S, S), [(0.0, rgb("#bfe6ff")), (0.6, rgb("#fff4e0")), (1.0, rgb("#ffd9c7"))])
    img.paste(sky.convert("RGBA"), (0, 0), face)
    pen = Pen(img, k)
    for x, y, r in ((52, 58, 15), (206, 70, 11)):
        sparkle(pen, x, y, r + 4, STAR_EDGE)
        sparkle(pen, x, y, r, STAR_YELLOW)
    # the creature's canvas is larger than the tile so that its body fills the lower middle; what overhangs
    # the tile is cut off with the tile's own shape
    c = creature(0, "taiki", size=round(n * 1.2) * SS)
    body = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    body.alpha_composite(c, (round(-0.1 * S), round(-0.12 * S)))
    body.putalpha(ImageChops.multiply(body.getchannel("A"), face))
    img.alpha_composite(body)
    return reduce_rgba(img, SS)


# ---------------------------------------------------------------------------------------------------------------
# the character table

CSV_HEADER = ("No,なまえ,はいけい,おんがく,しょうさい1,しょうさい2,しょうさい3,しょうさい4,せつめい,ひつようポイント,メモ,"
              "セリフ1,セリフ2,セリフ3,おおきさ,")
CHARACTERS = [
    # name, background, music, detail 1..4, caption, points needed, speech 1..3, scale in tenths
    ("ぽてまる", 1, 1, "01", "まんまる族", "たかさ 12cm", "おもさ 300g",
     "まんまるで やわらかい ふしぎな いきもの。なかまを すいこむと すこしずつ おおきくなる。", 0,
     "ぽてっ!", "なにか すいこみたいぽて", "おなか ぺこぺこぽて", 10),
    ("ぽてリーフ", 2, 2, "02", "はっぱ族", "たかさ 15cm", "おもさ 450g",
     "あたまに はっぱが はえた。おひさまを あびると ごきげんに なって よく うたう。", 15,
     "はっぱ そよそよ〜", "もっと すいこむぽて!", "ひなたぼっこ したいぽて", 11),
    ("ぽてぐま", 3, 3, "03", "もこもこ族", "たかさ 19cm", "おもさ 700g",
     "まるい みみが じまん。あまい においが すると どこまでも ついていく。", 25,
     "くんくん… あまい におい", "がおー… なんちゃって", "もこもこ してきたぽて", 12),
    ("ぽてにゃん", 4, 4, "04", "ねこみみ族", "たかさ 24cm", "おもさ 1.1kg",
     "ねこのような みみで ちいさな おとも ききのがさない。きまぐれで あまえんぼう。", 35,
     "にゃんぽて〜", "ねむたいにゃ…", "つぎの えものは どこにゃ?", 12),
    ("ぽておに", 5, 5, "05", "つの族", "たかさ 30cm", "おもさ 1.8kg",
     "ちいさな つのが はえて ちょっぴり つよきに なった。でも ほんとうは こわがり。", 50,
     "つの ぴかぴかぽて!", "こわくないぽて… たぶん", "えいえい おー!", 13),
    ("ぽてパタ", 6, 6, "06", "はね族", "たかさ 38cm", "おもさ 2.6kg",
     "せなかに はねが はえた。まだ とべないけれど まいにち パタパタ れんしゅうちゅう。", 60,
     "パタパタ… とべない", "いつか そらへ いくぽて", "かぜが きもちいい〜", 14),
    ("ぽてザウルス", 7, 7, "07", "とげとげ族", "たかさ 47cm", "おもさ 4kg",
     "せなかに やわらかい とげが ならぶ。おおきな こえで ほえるのが とくい。", 75,
     "がおーっ!", "とげとげ でも やさしいぽて", "まだまだ たべられるぽて", 15),
    ("ぽてうさ", 8, 8, "08", "みみなが族", "たかさ 58cm", "おもさ 6kg",
     "ながい みみで とおくの なかまの こえを きく。ぴょんと はねると じめんが ゆれる。", 90,
     "ぴょんぴょん!", "みみが いい かんじぽて", "だれか よんだ?", 16),
    ("ぽてスター", 9, 9, "09", "おほしさま族", "たかさ 72cm", "おもさ 9kg",
     "からだに ほしの もようが うかび あたまには ひかりの わっか。よるに なると かがやく。", 110,
     "きらきら〜ん", "よぞらが ふるさとぽて", "ねがいごと ある?", 17),
    ("キングぽてまる", 10, 10, "10", "おうさま族", "たかさ 99cm", "おもさ 15kg",
     "すべての なかまを すいこんだ おうさま。かんむりと はねで せかいを やさしく つつむ。", 130,
     "よは まんぞくじゃ", "みんな いっしょぽて!", "ここまで ありがとう!", 18),
]


def chara_csv():
    rows = []
    for n, c in enumerate(CHARACTERS, start=1):
        name, bg, bgm, d1, d2, d3, d4, cap, need, l1, l2, l3, scale = c
        fields = [str(n), name, str(bg), str(bgm), d1, d2, d3, d4, cap, str(need), "-", l1, l2, l3, str(scale)]
        rows.append(",".join(fields) + ",z")
    return (CSV_HEADER + "z" + "".join("\n" + r for r in rows) + "\n").encode("utf-8")


def read_column(data, column, as_int):
    """The game's own reading of one column of all ten rows, step by step."""
    t = data.decode("utf-8")
    p = t.find("z")
    if p >= 0:
        t = t[p + 1:]
    out = {}
    for i in range(1, 11):
        for _ in range(column):
            q = t.find(",")
            if q >= 0:
                t = t[q + 1:]
        e = t.find("z")
        assert e >= 0, "row %d has no end" % i
        rest = t[e + 1:]
        t = t[:e]
        f = t.find(",")
        assert f >= 0, "row %d column %d lacks its separator" % (i, column)
        field = t[:f]
        if as_int:
            s = field.lstrip(" \t\n\r\f\v")
            sign = -1 if s[:1] == "-" else 1
            s = s[1:] if s[:1] in ("+", "-") else s
            digits = ""
            for ch in s:
                if ch not in "0123456789":
                    break
                digits += ch
            out[i] = sign * int(digits) if digits else 0
        else:
            out[i] = field
        t = rest
    return out


def check_csv(data, out_dir):
    text = data.decode("utf-8")
    assert text.count("z") == 11, "chara.csv must hold exactly eleven lower-case z (header and ten rows)"
    for i, c in enumerate(CHARACTERS):
        for cell in c:
            if isinstance(cell, str):
                assert "," not in cell and "z" not in cell, "cell %r of row %d breaks the grammar" % (cell, i + 1)
    ints = {col: read_column(data, col, True) for col in (2, 3, 9, 14)}
    texts = {col: read_column(data, col, False) for col in (1, 4, 5, 6, 7, 8, 11, 12, 13)}
    for n, c in enumerate(CHARACTERS, start=1):
        name, bg, bgm, d1, d2, d3, d4, cap, need, l1, l2, l3, scale = c
        read = (texts[1][n], ints[2][n], ints[3][n], texts[4][n], texts[5][n], texts[6][n], texts[7][n],
                texts[8][n], ints[9][n], texts[11][n], texts[12][n], texts[13][n], ints[14][n])
        assert read == c, "row %d reads back as %r" % (n, read)
        assert need % 5 == 0 and (n == 1 or need > ints[9][n - 1]), "points needed must grow in steps of 5"
        assert 5 <= scale <= 20
        for line in (l1, l2, l3):
            assert 0 < len(line) <= 14, "speech line too long for the bubble: %r" % line
        assert os.path.exists(os.path.join(out_dir, "bg%d.png" % bg)), "bg%d.png missing" % bg
        assert os.path.exists(os.path.join(out_dir, "bgm%d.mp3" % bgm)), "bgm%d.mp3 missing" % bgm


# ---------------------------------------------------------------------------------------------------------------
# sounds

RATE = 44100
TABLE = 4096


def wavetable(harmonics):
    t = [0.0] * TABLE
    for h, a in harmonics:
        for i in range(TABLE):
            t[i] += a * math.sin(2 * math.pi * h * i / TABLE)
    peak = max(abs(v) for v in t)
    return [v / peak for v in t]


INSTRUMENTS = {
    # harmonics, attack s, decay time constant s (None: held), release s, length s
    "bell": dict(h=((1, 1.0), (2, 0.35), (3, 0.12), (4, 0.06), (6, 0.03)), attack=0.004, tau=0.45, length=1.4),
    "pluck": dict(h=((1, 1.0), (2, 0.5), (3, 0.22), (4, 0.1)), attack=0.006, tau=0.22, length=0.9),
    "pad": dict(h=((1, 1.0), (2, 0.25), (3, 0.1)), attack=0.35, tau=None, release=0.6),
    "bass": dict(h=((1, 1.0), (2, 0.3), (3, 0.08)), attack=0.01, tau=0.55, length=1.4),
    "flute": dict(h=((1, 1.0), (2, 0.12), (3, 0.05)), attack=0.06, tau=None, release=0.18),
}
_tables = {}


def note_samples(inst, freq, held):
    voice = INSTRUMENTS[inst]
    if inst not in _tables:
        _tables[inst] = wavetable(voice["h"])
    tbl = _tables[inst]
    if voice["tau"] is None:
        n = int((held + voice["release"]) * RATE)
        att, rel, hold_n = voice["attack"] * RATE, voice["release"] * RATE, held * RATE
        env = [min(1.0, i / att) * (1.0 if i < hold_n else max(0.0, 1 - (i - hold_n) / rel)) for i in range(n)]
    else:
        n = int(voice["length"] * RATE)
        att, tau = voice["attack"] * RATE, voice["tau"] * RATE
        env = [min(1.0, i / att) * math.exp(-i / tau) * min(1.0, (n - i) / 2000.0) for i in range(n)]
    inc = freq * TABLE / RATE
    vib = inst in ("flute", "pad")
    out = []
    ph = 0.0
    for i in range(n):
        if vib:
            ph += inc * (1 + 0.003 * math.sin(2 * math.pi * 5.0 * i / RATE))
        else:
            ph += inc
        out.append(tbl[int(ph) & (TABLE - 1)] * env[i])
    return out


def midi_hz(m):
    return 440.0 * 2 ** ((m - 69) / 12.0)


SCALES = {"major": (0, 2, 4, 5, 7, 9, 11), "minor": (0, 2, 3, 5, 7, 8, 10), "dorian": (0, 2, 3, 5, 7, 9, 10),
          "lydian": (0, 2, 4, 6, 7, 9, 11), "mixolydian": (0, 2, 4, 5, 7, 9, 10)}

# key root (midi), scale, tempo, bars of 4 beats, chord degrees (one per bar), lead instrument, extras
TRACKS = [
    dict(root=60, scale="major", bpm=100, prog=(0, 4, 5, 3, 0, 4, 3, 4), lead="bell", arp=True, drum=True),
    dict(root=65, scale="major", bpm=84, prog=(0, 2, 3, 4, 0, 2, 3, 4)[:6], lead="flute", arp=True, drum=False),
    dict(root=67, scale="mixolydian", bpm=108, prog=(0, 6, 3, 0, 0, 6, 3, 4), lead="pluck", arp=False, drum=True),
    dict(root=62, scale="major", bpm=76, prog=(0, 5, 3, 4), lead="bell", arp=True, drum=False),
    dict(root=57, scale="minor", bpm=98, prog=(0, 5, 2, 6, 0, 5, 3, 4), lead="pluck", arp=True, drum=True),
    dict(root=63, scale="lydian", bpm=72, prog=(0, 1, 0, 1), lead="flute", arp=True, drum=False),
    dict(root=64, scale="dorian", bpm=104, prog=(0, 3, 0, 3, 5, 3, 6, 4), lead="pluck", arp=False, drum=True),
    dict(root=58, scale="major", bpm=100, prog=(0, 3, 1, 4, 0, 3, 4, 0), lead="bell", arp=True, drum=True),
    dict(root=61, scale="major", bpm=66, prog=(0, 3, 5, 4), lead="bell", arp=True, drum=False),
    dict(root=60, scale="major", bpm=116, prog=(0, 3, 4, 0, 5, 3, 4, 4), lead="flute", arp=True, drum=True),
]


def render_track(index):
    tr = TRACKS[index]
    rnd = random.Random(7000 + index)
    beat = 60.0 / tr["bpm"]
    bars = len(tr["prog"])
    total = int(round(bars * 4 * beat * RATE))
    buf = [0.0] * total
    scale = SCALES[tr["scale"]]
    root = tr["root"]

    def degree_pitch(deg, octave=0):
        return root + 12 * (octave + deg // 7) + scale[deg % 7]

    def add(start_s, midi, inst, held, gain):
        s0 = int(round(start_s * RATE))
        for i, v in enumerate(note_samples_cached(inst, midi, held)):
            buf[(s0 + i) % total] += v * gain   # tails wrap round so the loop joins seamlessly

    for bar, deg in enumerate(tr["prog"]):
        t0 = bar * 4 * beat
        chord = [deg, deg + 2, deg + 4]
        for d in chord:
            add(t0, degree_pitch(d, -1), "pad", 4 * beat - 0.05, 0.10)
        add(t0, degree_pitch(deg, -2), "bass", 0, 0.32)
        add(t0 + 2 * beat, degree_pitch(deg + (4 if bar % 2 else 0), -2), "bass", 0, 0.24)
        if tr["arp"]:
            pattern = (0, 1, 2, 1, 0, 1, 2, 3) if tr["bpm"] < 90 else (0, 2, 1, 2, 0, 2, 1, 3)
            for s, p in enumerate(pattern):
                d = chord[p] if p < 3 else deg + 7
                add(t0 + s * beat / 2, degree_pitch(d, 0), "pluck", 0, 0.07)
        if tr["drum"]:
            for b in range(4):
                add_kick(buf, total, t0 + b * beat, 0.22 if b % 2 == 0 else 0.0)
                add_tick(buf, total, t0 + b * beat + beat / 2, 0.05, rnd)
    # the tune: a four-bar phrase made once and repeated with a new ending
    phrase = []
    cur = 9
    for bar in range(min(4, bars)):
        deg = tr["prog"][bar]
        tones = [deg + 7, deg + 9, deg + 11]
        s = 0
        while s < 8:
            length = rnd.choice((1, 2, 2, 2, 3, 4)) if s % 2 == 0 else 1
            length = min(length, 8 - s)
            if rnd.random() < (0.78 if s % 4 == 0 else 0.55):
                if s % 4 == 0:
                    cur = min(tones, key=lambda x: abs(x - cur) + rnd.random())
                else:
                    cur = max(7, min(15, cur + rnd.choice((-2, -1, -1, 1, 1, 2))))
                phrase.append((bar, s, cur, length))
            s += length
    lead = tr["lead"]
    gain = {"bell": 0.2, "pluck": 0.22, "flute": 0.16}[lead]
    for rep in range(max(1, bars // 4)):
        for (bar, s, d, length) in phrase:
            if rep > 0 and bar == 3 and s >= 4:
                continue
            t = (rep * 4 + bar) * 4 * beat + s * beat / 2
            add(t, degree_pitch(d, 0), lead, length * beat / 2 * 0.9, gain)
        if rep > 0:
            t = (rep * 4 + 3) * 4 * beat + 2 * beat
            add(t, degree_pitch(tr["prog"][(rep * 4 + 3) % bars] + 7, 0), lead, beat * 1.8, gain)
    return buf, tr


_note_cache = {}


def note_samples_cached(inst, midi, held):
    key = (inst, midi, round(held, 4))
    if key not in _note_cache:
        _note_cache[key] = note_samples(inst, midi_hz(midi), held)
    return _note_cache[key]


def add_kick(buf, total, t, gain):
    if gain <= 0:
        return
    s0 = int(round(t * RATE))
    ph = 0.0
    for i in range(int(0.18 * RATE)):
        f = 55 + 90 * math.exp(-i / (0.03 * RATE))
        ph += 2 * math.pi * f / RATE
        buf[(s0 + i) % total] += math.sin(ph) * math.exp(-i / (0.06 * RATE)) * gain


def add_tick(buf, total, t, gain, rnd):
    s0 = int(round(t * RATE))
    prev = 0.0
    for i in range(int(0.05 * RATE)):
        x = rnd.uniform(-1, 1)
        hp = x - prev
        prev = x
        buf[(s0 + i) % total] += hp * math.exp(-i / (0.012 * RATE)) * gain


def sweep(f0, f1, dur, env_fn, harmonics=((1, 1.0),), wobble=0.0, wobble_hz=0.0, curve="exp"):
    n = int(dur * RATE)
    out = []
    ph = 0.0
    for i in range(n):
        u = i / n
        f = f0 * (f1 / f0) ** u if curve == "exp" else f0 + (f1 - f0) * u
        f *= 1 + wobble * math.sin(2 * math.pi * wobble_hz * i / RATE)
        ph += 2 * math.pi * f / RATE
        v = sum(a * math.sin(h * ph) for h, a in harmonics)
        out.append(v * env_fn(u, i / RATE))
    return out


def mixdown(*parts):
    n = max(len(p[1]) + int(p[0] * RATE) for p in parts)
    out = [0.0] * n
    for start, samples, gain in parts:
        s0 = int(start * RATE)
        for i, v in enumerate(samples):
            out[s0 + i] += v * gain
    return out


def effect(name):
    if name == "kougeki":
        body = sweep(520, 150, 0.26, lambda u, t: min(1, t / 0.003) * math.exp(-t / 0.07),
                     ((1, 1.0), (2, 0.3)))
        pop = sweep(1400, 700, 0.08, lambda u, t: min(1, t / 0.002) * math.exp(-t / 0.02), ((1, 1.0),))
        rnd = random.Random(11)
        noise = []
        lp = 0.0
        for i in range(int(0.06 * RATE)):
            lp += 0.25 * (rnd.uniform(-1, 1) - lp)
            noise.append(lp * math.exp(-i / (0.012 * RATE)))
        return mixdown((0.0, body, 0.8), (0.0, pop, 0.35), (0.0, noise, 0.9)), 0.3
    if name == "kyusyu":
        slurp = sweep(260, 1300, 0.42, lambda u, t: math.sin(math.pi * min(1, u * 1.15)) ** 0.8 * (0.6 + 0.4 * u),
                      ((1, 1.0), (2, 0.25), (3, 0.1)), wobble=0.06, wobble_hz=22)
        pop = sweep(1700, 2100, 0.1, lambda u, t: min(1, t / 0.002) * math.exp(-t / 0.03), ((1, 1.0), (2, 0.2)))
        return mixdown((0.0, slurp, 0.7), (0.4, pop, 0.5)), 0.55
    if name == "btn_touch":
        blip = sweep(820, 1040, 0.1, lambda u, t: min(1, t / 0.002) * math.exp(-t / 0.025), ((1, 1.0), (2, 0.2)))
        return mixdown((0.0, blip, 0.8)), 0.1
    if name == "close_btn_touch":
        a = sweep(1046.5, 1046.5, 0.08, lambda u, t: min(1, t / 0.002) * math.exp(-t / 0.03), ((1, 1.0), (2, 0.2)))
        b = sweep(784.0, 784.0, 0.11, lambda u, t: min(1, t / 0.002) * math.exp(-t / 0.035), ((1, 1.0), (2, 0.2)))
        return mixdown((0.0, a, 0.7), (0.07, b, 0.7)), 0.18
    raise ValueError(name)


def write_wav(path, samples, peak=0.7):
    m = max(1e-9, max(abs(v) for v in samples))
    scale = peak / m * 32767
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(round(v * scale))) for v in samples))


def encode_mp3(samples, out_path, kbps, peak):
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "in.wav")
        write_wav(wav, samples, peak)
        subprocess.run(["lame", "--quiet", "--noreplaygain", "-m", "m", "--cbr", "-b", str(kbps), "-q", "2",
                        wav, out_path], check=True)


def make_music(args):
    index, out_dir = args
    buf, tr = render_track(index)
    encode_mp3(buf, os.path.join(out_dir, "bgm%d.mp3" % (index + 1)), 64, 0.6)
    return index, len(buf) / RATE


def make_effect(args):
    name, out_dir = args
    samples, length = effect(name)
    samples = samples[:int(length * RATE)]
    fade = int(0.008 * RATE)
    for i in range(fade):
        samples[-1 - i] *= i / fade
    encode_mp3(samples, os.path.join(out_dir, name + ".mp3"), 96, 0.75)
    return name, len(samples) / RATE


# ---------------------------------------------------------------------------------------------------------------
# writing and checking

def save_png(img, path):
    buf = io.BytesIO()
    img.save(buf, "PNG", optimize=True)
    with open(path, "wb") as f:
        f.write(buf.getvalue())


def picture_jobs():
    jobs = []
    for n in range(1, 11):
        for pose, name in (("idou", "idou_%d.png"), ("idou2", "idou_%d_2.png"), ("taiki", "taiki_%d.png"),
                           ("kougeki", "kougeki_%d.png"), ("kyusyu", "kyusyu_%d.png")):
            jobs.append((name % n, "creature", (n - 1, pose)))
        jobs.append(("zukan%d.png" % n, "portrait", (n - 1,)))
        jobs.append(("bg%d.png" % n, "background", (n,)))
        line = FORMS[n - 1]["line_c"]
        # attack words in warm reds, absorb words in pinks and purples, each tinted by its form
        jobs.append(("kougeki_%d_txt.png" % n, "caption", (ATTACK_WORDS[n - 1], vivid(0.0 + 0.011 * n, 0.85), line)))
        jobs.append(("kyusyu_%d_txt.png" % n, "caption", (ABSORB_WORDS[n - 1], vivid(0.93 - 0.017 * n, 0.7), line)))
    jobs += [
        ("futtobi_1.png", "creature", (0, "futtobi")),
        ("kizetsu_1.png", "creature", (0, "kizetsu")),
        ("Default-568h@2x.png", "splash_launch", ()),
        ("splash2_1136.png", "splash_title", ()),
        ("number.png", "number_strip", ()),
        ("txt_versionup.png", "versionup", ()),
        ("next.png", "next_frame", ()),
        ("nextbar.png", "next_bar", ()),
        ("fukidashi.png", "bubble", ()),
        ("popup_zukan.png", "popup_card", ()),
        ("line_zukan.png", "ruled_line", ()),
        ("btn_zukan.png", "button", ("zukan",)),
        ("btn_sound_on.png", "button", ("sound_on",)),
        ("btn_sound_off.png", "button", ("sound_off",)),
        ("btn_tweet.png", "button", ("tweet",)),
        ("btn_youtube.png", "button", ("youtube",)),
        ("btn_tobikuma.png", "button", ("tobikuma",)),
        ("btn_close.png", "button", ("close",)),
        ("adfrinters_close@2x.png", "sdk_close", ()),
        ("adfrwall_close@2x.png", "wall_close", ()),
        ("adfrwall_close_highlight@2x.png", "wall_close_highlight", ()),
        ("adfrwall_bar@2x.png", "wall_bar", ()),
        ("adfr_wall_error.png", "wall_error", ()),
        ("btn_left.png", "arrow", ("left",)),
        ("btn_right.png", "arrow", ("right",)),
    ]
    return jobs


BUTTONS = {
    # name: (width px, height px, corner, icon)
    "zukan": (128, 80, 22, icon_book),
    "sound_on": (80, 80, 22, icon_speaker(True)),
    "sound_off": (80, 80, 22, icon_speaker(False)),
    "tweet": (88, 88, 24, icon_share),
    "youtube": (88, 88, 24, icon_video),
    "tobikuma": (88, 88, 24, icon_bear),
    "close": (200, 80, 30, icon_close),
}


def make_icon(job):
    n, icons_dir = job
    img = app_icon(n)
    save_png(img, os.path.join(icons_dir, "icon-%d.png" % n))
    return n, img.size


def make_picture(job):
    name, kind, args = job[0], job[1], job[2]
    out_dir = job[3]
    if kind == "creature":
        img = creature(*args)
    elif kind == "portrait":
        img = portrait(*args)
    elif kind == "background":
        img = background(*args)
    elif kind == "caption":
        img = caption(*args)
    elif kind == "button":
        w, h, r, icon = BUTTONS[args[0]]
        img = plate(w, h, r, icon)
    elif kind == "arrow":
        img = arrow_tab(*args)
    else:
        img = globals()[kind]()
    save_png(img, os.path.join(out_dir, name))
    return name, img.size


SOUND_EFFECTS = ("kougeki", "kyusyu", "btn_touch", "close_btn_touch")


def check_layout(sizes):
    """The rules the engine and the screens put on picture sizes."""
    first = sizes["idou_1_2.png"]
    for n in range(1, 11):
        for pat in ("idou_%d.png", "idou_%d_2.png", "taiki_%d.png", "kougeki_%d.png", "kyusyu_%d.png"):
            assert sizes[pat % n] == first, "%s must match idou_1_2.png" % (pat % n)
    for name in ("idou_1.png", "taiki_1.png", "futtobi_1.png", "kizetsu_1.png"):
        assert sizes[name] == first, "field character picture %s must match idou_1_2.png" % name
    assert sizes["btn_sound_on.png"] == sizes["btn_sound_off.png"]
    for name in ["Default-568h@2x.png", "splash2_1136.png"] + ["bg%d.png" % n for n in range(1, 11)]:
        assert sizes[name] == SCREEN, name
    assert sizes["number.png"] == (240, 30)
    assert sizes["adfrinters_close@2x.png"] == (74, 66), "the popup's close picture is 37 x 33 points"
    assert sizes["adfrwall_close@2x.png"] == sizes["adfrwall_close_highlight@2x.png"]
    assert sizes["adfrwall_close@2x.png"][1] <= 88, "the wall's close button fits its 44-point bar"
    assert sizes["adfrwall_bar@2x.png"] == (640, 88), "the wall's bar is 320 x 44 points"
    # A held tap on the catalogue button must not land on the catalogue's right arrow: both stand at the right
    # edge, the button at y 55..55+h and the arrow at y h'+20..2h'+20 (points).
    zh = sizes["btn_zukan.png"][1] / 2
    ah = sizes["btn_right.png"][1] / 2
    assert ah + 20 > 55 + zh, "catalogue button and right arrow overlap"
    assert sizes["btn_left.png"] == sizes["btn_right.png"]
    # the close button must clear the 50-point black strip that covers the banner area
    assert sizes["btn_close.png"][1] / 2 + 10 >= 50
    # the gauge bar sits inside the caption frame drawn over it
    bw, bh = (v / 2 for v in sizes["nextbar.png"])
    nw, nh = (v / 2 for v in sizes["next.png"])
    assert nw >= bw and nh >= bh + 10


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets"))
    ap.add_argument("--icons", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                    "packaging", "icons"),
                    help="folder for the desktop icons icon-<N>.png (installed by the build, not read by the game)")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = ap.parse_args()
    out = os.path.abspath(args.out)
    if shutil.which("lame") is None:
        sys.exit("generate.py: lame is missing; run scripts/deps --tools")
    icons_dir = os.path.abspath(args.icons)
    os.makedirs(out, exist_ok=True)
    os.makedirs(icons_dir, exist_ok=True)
    with Pool(args.jobs) as pool:
        music = pool.map_async(make_music, [(i, out) for i in range(len(TRACKS))])
        effects = pool.map_async(make_effect, [(n, out) for n in SOUND_EFFECTS])
        icons = pool.map_async(make_icon, [(n, icons_dir) for n in ICON_SIZES])
        sizes = dict(pool.map(make_picture, [j + (out,) for j in picture_jobs()]))
        icon_sizes = icons.get()
        music_lengths = music.get()
        effect_lengths = effects.get()
    for i, secs in music_lengths:
        assert 8.0 <= secs <= 20.0, "bgm%d lasts %.1f s" % (i + 1, secs)
    for name, secs in effect_lengths:
        assert 0.1 <= secs <= 0.6, "%s lasts %.2f s" % (name, secs)
    check_layout(sizes)
    for n, size in icon_sizes:
        assert size == (n, n), "icon-%d.png is %d x %d" % ((n,) + size)
    styles = write_wall_styles(out)
    data = chara_csv()
    with open(os.path.join(out, "chara.csv"), "wb") as f:
        f.write(data)
    check_csv(data, out)
    total = sum(os.path.getsize(os.path.join(out, f)) for f in os.listdir(out))
    print("generate.py: %d pictures, %d sounds, %d style sheets, chara.csv; %.2f MB in %s; %d icons in %s" %
          (len(sizes), len(music_lengths) + len(effect_lengths), styles, total / 1e6, out, len(icon_sizes),
           icons_dir))


if __name__ == "__main__":
    main()
