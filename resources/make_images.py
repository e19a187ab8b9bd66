#!/usr/bin/env python3
"""Draws the program's pictures: the window header and frame, buttons in three states, the
skinned drop button, check marks, the program icon and a handful of skin backgrounds.

Everything is computed here (no source artwork): shapes are signed-distance functions sampled
4 x 4 per pixel for smooth edges. PNG is written with zlib and struct; the JPEG and GIF skins
are converted from PNG by ImageMagick's `convert`, which must be on the path.

Run from anywhere: python3 resources/make_images.py  (writes resources/images and resources/Skins)
"""
import math
import os
import random
import shutil
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, "images")
SKINS = os.path.join(HERE, "Skins")
# The desktop's icon theme sizes, installed with the package.
THEME_ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def png_write(path, width, height, pixels):
    """pixels: list of rows of (r, g, b, a) tuples in 0..255."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(c1, c2, t):
    t = clamp(t)
    return tuple(a + (b - a) * t for a, b in zip(c1, c2))


def hexc(text, alpha=1.0):
    text = text.lstrip("#")
    return (int(text[0:2], 16) / 255.0, int(text[2:4], 16) / 255.0, int(text[4:6], 16) / 255.0, alpha)


def over(dst, src):
    sa = src[3]
    da = dst[3] * (1 - sa)
    a = sa + da
    if a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((src[i] * sa + dst[i] * da) / a for i in range(3)) + (a,)


def sd_round_rect(x, y, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - r


def sd_circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def sd_segment(x, y, ax, ay, bx, by, r):
    px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
    h = clamp((px * vx + py * vy) / (vx * vx + vy * vy))
    return math.hypot(px - vx * h, py - vy * h) - r


def render(width, height, shade, ss=4):
    """shade(x, y) -> straight-alpha (r, g, b, a) floats; sampled ss x ss per pixel."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    r, g, b, a = shade(px + (sx + 0.5) / ss, py + (sy + 0.5) / ss)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = ss * ss
            a = acc[3] / n
            if a > 0:
                color = tuple(int(round(clamp(acc[i] / acc[3]) * 255)) for i in range(3))
            else:
                color = (0, 0, 0)
            row.append(color + (int(round(a * 255)),))
        rows.append(row)
    return rows


def save(folder, name, width, height, shade, ss=4):
    os.makedirs(folder, exist_ok=True)
    png_write(os.path.join(folder, name), width, height, render(width, height, shade, ss))


def converted(name, folder, width, height, shade, ss=2, options=()):
    """Renders to a temporary PNG and lets ImageMagick write the other format."""
    convert = shutil.which("convert")
    if not convert:
        raise SystemExit("ImageMagick's convert is needed for the JPEG and GIF skins")
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "source.png")
        png_write(source, width, height, render(width, height, shade, ss))
        subprocess.run([convert, source, *options, "-strip", os.path.join(folder, name)], check=True)


CLEAR = (0.0, 0.0, 0.0, 0.0)


def fill(sd, color):
    """A shape's colour where it covers the sample, else nothing."""
    return color if sd <= 0 else CLEAR


# The window header: dark slate with a soft sheen and a thin light edge at the top.
def header(x, y):
    base = mix(hexc("#44586f"), hexc("#1c2735"), y / 32)
    if y < 1:
        base = mix(base, hexc("#8ea3bb"), 0.6)
    sheen = 0.10 * clamp(1 - y / 14)
    base = mix(base, hexc("#ffffff"), sheen)
    if y > 31:
        base = hexc("#0f1620")
    return base


# The frame around the body: a faint light line just inside the window's rounded outline.
def body(x, y):
    d = sd_round_rect(x, y, 0.5, -20, 31.5, 31.5, 10)
    if -1.2 <= d <= 0:
        return hexc("#ffffff", 0.22)
    return CLEAR


def button(top, bottom, border, glow=None):
    def shade(x, y):
        outer = sd_round_rect(x, y, 0.5, 0.5, 47.5, 27.5, 6)
        inner = sd_round_rect(x, y, 1.5, 1.5, 46.5, 26.5, 5)
        c = CLEAR
        if glow is not None:
            g = sd_round_rect(x, y, 0.0, 0.0, 48, 28, 6.5)
            c = fill(g, glow)
        c = over(c, fill(outer, border))
        face = mix(top, bottom, (y - 1.5) / 25)
        if y < 13.5:
            face = mix(face, hexc("#ffffff"), 0.25 * (1 - y / 13.5))
        c = over(c, fill(inner, face))
        return c
    return shade


def combo(top, bottom, border):
    body_shade = button(top, bottom, border)

    def shade(x, y):
        c = body_shade(x * 48 / 26, y * 28 / 24)
        # A small down-pointing triangle in the middle.
        cx, cy = 13, 12.5
        if cy - 2.5 <= y <= cy + 2.5 and abs(x - cx) <= (cy + 2.5 - y) * 1.1:
            c = over(c, hexc("#36404c"))
        return c
    return shade


def check(checked):
    def shade(x, y):
        box = sd_round_rect(x, y, 0.5, 0.5, 15.5, 15.5, 3)
        inner = sd_round_rect(x, y, 1.5, 1.5, 14.5, 14.5, 2)
        c = fill(box, hexc("#5b6b7d"))
        face = mix(hexc("#ffffff"), hexc("#e4e9ef"), y / 16)
        c = over(c, fill(inner, face))
        if checked:
            mark = min(sd_segment(x, y, 4, 8.2, 6.8, 11, 1.2), sd_segment(x, y, 6.8, 11, 12, 4.6, 1.2))
            c = over(c, fill(mark, hexc("#1f8a70")))
        return c
    return shade


# The program icon: a clock face in teal and blue whose amber wedge is the day's allowance.
def icon(size):
    s = size / 48.0

    def shade(x, y):
        x, y = x / s, y / s
        cx, cy = 24, 24
        c = fill(sd_circle(x, y, cx, cy + 0.8, 22.5), hexc("#000000", 0.35))
        c = over(c, fill(sd_circle(x, y, cx, cy, 22), mix(hexc("#2fc3b0"), hexc("#1d5f9e"), y / 48)))
        c = over(c, fill(sd_circle(x, y, cx, cy, 17.5), hexc("#f7fafc")))
        angle = math.atan2(x - cx, -(y - cy))  # 0 at twelve o'clock, clockwise
        if sd_circle(x, y, cx, cy, 16) <= 0 and 0 <= angle <= math.pi * 2 / 3:
            c = over(c, hexc("#ffb238", 0.9))
        for hour in range(12):
            a = hour * math.pi / 6
            tx, ty = cx + math.sin(a) * 15, cy - math.cos(a) * 15
            ix, iy = cx + math.sin(a) * 12.8, cy - math.cos(a) * 12.8
            c = over(c, fill(sd_segment(x, y, ix, iy, tx, ty, 0.9), hexc("#23384d")))
        c = over(c, fill(sd_segment(x, y, cx, cy, cx, cy - 11, 1.6), hexc("#23384d")))
        c = over(c, fill(sd_segment(x, y, cx, cy, cx + 8, cy + 3, 1.6), hexc("#23384d")))
        c = over(c, fill(sd_circle(x, y, cx, cy, 2.4), hexc("#e0533d")))
        return c
    return shade


# A white list panel with rounded corners and a soft edge; the dark texts lie on it.
def panel(x, y):
    c = fill(sd_round_rect(x, y, 0.5, 1.0, 31.5, 31.5, 8), hexc("#000000", 0.25))
    c = over(c, fill(sd_round_rect(x, y, 0.5, 0.5, 31.5, 31, 8), hexc("#c4ccd6")))
    c = over(c, fill(sd_round_rect(x, y, 1.5, 1.5, 30.5, 30, 7), hexc("#ffffff")))
    return c


# Skins. Each tiles seamlessly: patterns repeat with the tile's own period.
def skin_blue(x, y):
    # Deep blue with light diagonal bands; partly transparent so the chosen colour shows through.
    t = (math.sin((x + y) * 2 * math.pi / 48) + 1) / 2
    c = mix(hexc("#123a6b"), hexc("#1f5a9a"), t * 0.7)
    return c[:3] + (0.82,)


def skin_graphite(x, y):
    # A woven carbon look of 8 x 8 cells.
    cx, cy = int(x // 8), int(y // 8)
    fx, fy = (x % 8) / 8, (y % 8) / 8
    along = fx if (cx + cy) % 2 == 0 else fy
    shade = 0.5 + 0.5 * math.sin(along * math.pi)
    return mix(hexc("#1b1e22"), hexc("#3a3f46"), shade * 0.8)


def skin_sunset(x, y):
    # Dusk rather than full sunset: white text keeps a contrast of 4.5:1 down to the last row.
    stops = [(0, "#1b2a4a"), (0.45, "#5b3a6e"), (0.75, "#a8485c"), (1.0, "#a85530")]
    t = y / 600
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(hexc(c0), hexc(c1), (t - t0) / (t1 - t0))
    return hexc(stops[-1][1])


def skin_ocean(x, y):
    wave = math.sin(x * 2 * math.pi / 128 + math.sin(y * 2 * math.pi / 64) * 1.5)
    ripple = math.sin(y * 2 * math.pi / 16 + wave * 2)
    return mix(hexc("#0b3c49"), hexc("#1f7a8c"), 0.5 + 0.25 * wave + 0.15 * ripple)


def skin_dots(x, y):
    c = hexc("#2d3436")
    fx, fy = x % 24, y % 24
    if sd_circle(fx, fy, 12, 12, 4.5) <= 0:
        c = hexc("#5e6b70")
    return c


random.seed(7)
LINEN_NOISE = [[random.random() for _ in range(64)] for _ in range(64)]


def skin_linen(x, y):
    n = LINEN_NOISE[int(y) % 64][int(x) % 64]
    thread = 0.5 + 0.25 * math.sin(x * math.pi / 2) + 0.25 * math.sin(y * math.pi / 2)
    return mix(hexc("#3b352e"), hexc("#5a5147"), 0.6 * thread + 0.4 * n)


def theme_icons():
    for size in THEME_ICON_SIZES:
        folder = os.path.join(HERE, "icons", "hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        save(folder, "tallyhour.png", size, size, icon(size))


def main():
    save(IMAGES, "header.png", 64, 32, header)
    save(IMAGES, "body.png", 32, 32, body)
    save(IMAGES, "panel.png", 32, 32, panel)
    save(IMAGES, "button_normal.png", 48, 28, button(hexc("#fbfcfd"), hexc("#d3dae2"), hexc("#7d8b99")))
    save(IMAGES, "button_hot.png", 48, 28,
         button(hexc("#ffffff"), hexc("#dce9f7"), hexc("#3d8bd9"), glow=hexc("#7fb8f0", 0.55)))
    save(IMAGES, "button_pressed.png", 48, 28, button(hexc("#b9c4d0"), hexc("#dfe5eb"), hexc("#51606f")))
    save(IMAGES, "combo_normal.png", 26, 24, combo(hexc("#fbfcfd"), hexc("#d3dae2"), hexc("#7d8b99")))
    save(IMAGES, "combo_hot.png", 26, 24, combo(hexc("#ffffff"), hexc("#dce9f7"), hexc("#3d8bd9")))
    save(IMAGES, "combo_pressed.png", 26, 24, combo(hexc("#b9c4d0"), hexc("#dfe5eb"), hexc("#51606f")))
    save(IMAGES, "check_on.png", 16, 16, check(True))
    save(IMAGES, "check_off.png", 16, 16, check(False))
    for size in (16, 24, 48, 64):
        save(IMAGES, "icon%d.png" % size, size, size, icon(size))
    theme_icons()

    save(SKINS, "Blue.png", 96, 96, skin_blue, ss=2)
    save(SKINS, "Graphite.png", 32, 32, skin_graphite)
    converted("Sunset.jpg", SKINS, 16, 600, skin_sunset, options=("-quality", "92"))
    converted("Ocean.jpg", SKINS, 128, 128, skin_ocean, options=("-quality", "90"))
    converted("Dots.gif", SKINS, 24, 24, skin_dots)
    converted("Linen.jpg", os.path.join(SKINS, "Textures"), 64, 64, skin_linen, ss=1, options=("-quality", "90"))


if __name__ == "__main__":
    main()
