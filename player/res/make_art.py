#!/usr/bin/env python3
"""Draws the player's artwork: the twelve 25 x 25 tool-bar buttons (Up, Hot, Down, Disabled for play,
stop and full screen), again at 150 and 200 % (38 and 50 pixels) for screens of more dots per inch,
the 4 x 36 tool-bar background and the program icon (48, 32, 24 and 16 pixels, each in 256 colours
and in 32-bit colour). Run it from this folder to remake the files beside it.

Shapes are rendered with 8 x 8 supersampling. The buttons are colour-keyed (olive, 128/128/0, is not
drawn), so their anti-aliased rims are blended against the tool-bar colour of the row they sit on."""

import math
import os
import struct

SS = 8  # samples per pixel edge
OLIVE = (128, 128, 0)
LINE = (108, 115, 153)
BAR_TOP = (240, 243, 250)
BAR_BOTTOM = (203, 210, 228)
BAR_H = 36
BUTTON = 25
PANEL = 35  # the tool bar's height at 100 %
SCALES = (100, 150, 200)  # percent; the buttons are drawn at each


def scaled(pixels, percent):
    """A length at 100 % scaled as the program scales it (rounding halves up)."""
    return (pixels * percent + 50) // 100


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def toolbar_rows():
    rows = []
    for y in range(BAR_H):
        if y == 0 or y == BAR_H - 1:
            rows.append(LINE)
        else:
            rows.append(tuple(round(c) for c in mix(BAR_TOP, BAR_BOTTOM, (y - 1) / (BAR_H - 3))))
    return rows


def background_under_button(rows, percent):
    """The tool-bar colour that shows behind each button row once the bitmap is stretched."""
    size = scaled(BUTTON, percent)
    panel = scaled(PANEL, percent)
    inner = panel - 2  # rows inside the bevel, which show the stretched background
    top = (panel - size) // 2
    out = []
    for j in range(size):
        src = min(BAR_H - 1, max(0, (top + j - 1) * BAR_H // inner))
        out.append(rows[src])
    return out


# --- coverage functions: take a point in pixel units, answer inside or not ---------------------------

def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                hit = not hit
        return hit
    return inside


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def coverage(shape, size):
    cov = [[0.0] * size for _ in range(size)]
    for py in range(size):
        for px in range(size):
            n = 0
            for sy in range(SS):
                for sx in range(SS):
                    if shape(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS):
                        n += 1
            cov[py][px] = n / (SS * SS)
    return cov


# --- glyphs, drawn in a 25 x 25 box and scaled with it ----------------------------------------------

def play_glyph(dx, dy):
    c = 12.5
    return polygon([(c - 3.2 + dx, c - 5.5 + dy), (c + 5.8 + dx, c + dy), (c - 3.2 + dx, c + 5.5 + dy)])


def stop_glyph(dx, dy):
    return rounded_rect(8.0 + dx, 8.0 + dy, 17.0 + dx, 17.0 + dy, 1.5)


def fullscreen_glyph(dx, dy):
    parts = []
    lo, hi, arm, w = 6.5, 18.5, 4.6, 1.9
    for (cx, sx) in ((lo, 1), (hi, -1)):
        for (cy, sy) in ((lo, 1), (hi, -1)):
            xa, xb = sorted((cx, cx + sx * arm))
            ya, yb = sorted((cy, cy + sy * w))
            parts.append(rounded_rect(xa + dx, ya + dy, xb + dx, yb + dy, 0.4))
            xa, xb = sorted((cx, cx + sx * w))
            ya, yb = sorted((cy, cy + sy * arm))
            parts.append(rounded_rect(xa + dx, ya + dy, xb + dx, yb + dy, 0.4))
    return union(*parts)


GLYPHS = {"Play": play_glyph, "Stop": stop_glyph, "FullSize": fullscreen_glyph}

# face gradient top, face gradient bottom, rim, glyph, glyph offset
STATES = {
    "Up": ((252, 253, 255), (214, 220, 234), (118, 127, 162), (46, 55, 86), 0),
    "Hot": ((110, 172, 244), (38, 104, 206), (28, 74, 160), (255, 255, 255), 0),
    "Down": ((28, 78, 168), (64, 126, 214), (20, 56, 128), (236, 242, 255), 1),
    "Disabled": ((242, 244, 248), (226, 230, 238), (180, 185, 200), (176, 182, 198), 0),
}


def scaled_shape(shape, s):
    return lambda x, y: shape(x / s, y / s)


def button(glyph, state, back_rows):
    top, bottom, rim, ink, offset = STATES[state]
    size = len(back_rows)
    s = size / BUTTON

    def cover(shape):
        return coverage(scaled_shape(shape, s) if size != BUTTON else shape, size)

    outer = cover(disc(12.5, 12.5, 11.9))
    face = cover(disc(12.5, 12.5, 10.9))
    sheen = cover(disc(12.5, 8.0, 9.0))
    mark = cover(GLYPHS[glyph](offset * 0.5, offset * 0.5))
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            if outer[y][x] == 0.0:
                row.append(OLIVE)
                continue
            colour = mix(top, bottom, y / (size - 1))
            colour = mix(colour, (255, 255, 255), 0.18 * sheen[y][x] * face[y][x]) if state != "Down" else colour
            colour = mix(rim, colour, face[y][x])
            colour = mix(colour, ink, mark[y][x])
            colour = mix(back_rows[y], colour, outer[y][x])
            rgb = tuple(round(c) for c in colour)
            row.append((rgb[0], rgb[1], rgb[2] + 1) if rgb == OLIVE else rgb)
        pixels.append(row)
    return pixels


# --- file writers -----------------------------------------------------------------------------------

def bmp24(pixels):
    h, w = len(pixels), len(pixels[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + header + data


TILE_TOP = (92, 156, 246)
TILE_BOTTOM = (34, 62, 150)


def palette256():
    """A 6 x 6 x 6 colour cube and a 40-step ramp of the icon tile's own blues."""
    pal = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    pal += [tuple(round(c) for c in mix(TILE_TOP, TILE_BOTTOM, i / 39)) for i in range(40)]
    return pal


def nearest(pal, colour):
    return min(range(len(pal)), key=lambda i: sum((pal[i][k] - colour[k]) ** 2 for k in range(3)))


def and_mask(rgba):
    h, w = len(rgba), len(rgba[0])
    stride = ((w + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rgba):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return out


def icon_image_32(rgba):
    h, w = len(rgba), len(rgba[0])
    data = bytearray()
    for row in reversed(rgba):
        for r, g, b, a in row:
            data += bytes((b, g, r, a))
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + data + and_mask(rgba)


def icon_image_8(rgba):
    h, w = len(rgba), len(rgba[0])
    pal = palette256()
    cache = {}
    stride = (w + 3) & ~3
    data = bytearray()
    for row in reversed(rgba):
        line = bytearray()
        for r, g, b, a in row:
            key = (r, g, b) if a >= 128 else None
            if key not in cache:
                cache[key] = nearest(pal, key) if key else 0
            line.append(cache[key])
        data += line + bytes(stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in pal)
    return header + colours + data + and_mask(rgba)


def ico(images):
    """images: list of (size, bit count, DIB bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, bits, dib in images:
        dim = 0 if size >= 256 else size
        colours = 0
        out += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bits, len(dib), offset + len(body))
        body += dib
    return out + body


# --- the program icon: a blue tile with a film strip and a play mark --------------------------------

def icon(size):
    s = size / 48.0
    tile = coverage(rounded_rect(2 * s, 2 * s, 46 * s, 46 * s, 9 * s), size)
    mark = coverage(polygon([(19 * s, 14 * s), (35 * s, 24 * s), (19 * s, 34 * s)]), size)
    ring = coverage(lambda x, y: (10.5 * s) ** 2 <= (x - 25 * s) ** 2 + (y - 24 * s) ** 2 <= (14.5 * s) ** 2, size)
    holes = []
    if size >= 24:
        for i in range(5):
            y = (8 + i * 8) * s
            holes.append(rounded_rect(5 * s, y, 8.5 * s, y + 4 * s, 0.8 * s))
            holes.append(rounded_rect(39.5 * s, y, 43 * s, y + 4 * s, 0.8 * s))
    perforation = coverage(union(*holes), size) if holes else [[0.0] * size for _ in range(size)]
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            a = tile[y][x]
            colour = mix(TILE_TOP, TILE_BOTTOM, y / max(1, size - 1))
            colour = mix(colour, (12, 24, 70), perforation[y][x] * 0.85)
            colour = mix(colour, (255, 255, 255), max(ring[y][x] * 0.9, mark[y][x]))
            row.append(tuple(round(c) for c in colour) + (round(255 * a),))
        pixels.append(row)
    return pixels


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    rows = toolbar_rows()
    with open(os.path.join(here, "ToolBack.bmp"), "wb") as f:
        f.write(bmp24([[c] * 4 for c in rows]))
    for percent in SCALES:
        back = background_under_button(rows, percent)
        suffix = "" if percent == 100 else str(percent)
        for glyph in GLYPHS:
            for state in STATES:
                with open(os.path.join(here, f"{glyph}{state}{suffix}.bmp"), "wb") as f:
                    f.write(bmp24(button(glyph, state, back)))
    images = []
    for size in (48, 32, 24, 16):
        rgba = icon(size)
        images.append((size, 8, icon_image_8(rgba)))
        images.append((size, 32, icon_image_32(rgba)))
    with open(os.path.join(here, "reelplayer.ico"), "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
