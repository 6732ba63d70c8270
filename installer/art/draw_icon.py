#!/usr/bin/env python3
"""Draws the installer's icon: a monitor showing a slideshow picture, with an arrow dropping into
it. Writes saverinstall.ico beside this script: 48, 32, 24 and 16 pixels, 32 bits with alpha.
Shapes are described in a unit square and sampled 4 x 4 per pixel, so every size is drawn from the
same picture rather than scaled from another image."""

import math
import struct
from pathlib import Path

SIZES = (48, 32, 24, 16)
SAMPLES = 4


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1
    return inside


def polygon(points):
    def inside(x, y):
        crossings = False
        for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                crossings = not crossings
        return crossings
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def sky(x, y):
    # Dusk: deep blue at the top of the screen to warm orange at the horizon.
    t = min(max((y - 0.16) / 0.40, 0.0), 1.0)
    top, bottom = (40, 70, 160), (250, 170, 90)
    return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))


# Painted back to front: (shape, colour or colour function).
LAYERS = [
    (rounded_rect(0.30, 0.80, 0.70, 0.92, 0.03), (70, 74, 86)),     # foot
    (rounded_rect(0.44, 0.70, 0.56, 0.84, 0.0), (90, 94, 108)),     # neck
    (rounded_rect(0.04, 0.08, 0.96, 0.76, 0.07), (43, 47, 58)),     # case
    (rounded_rect(0.10, 0.14, 0.90, 0.68, 0.02), sky),              # screen
    (circle(0.64, 0.40, 0.09), (255, 236, 150)),                    # sun
    (polygon([(0.10, 0.68), (0.36, 0.36), (0.56, 0.58), (0.66, 0.50), (0.90, 0.68)]),
     (52, 110, 80)),                                                # hills
    (polygon([(0.22, 0.04), (0.42, 0.04), (0.42, 0.30), (0.52, 0.30), (0.32, 0.52),
              (0.12, 0.30), (0.22, 0.30)]), (255, 255, 255)),       # arrow outline
    (polygon([(0.25, 0.07), (0.39, 0.07), (0.39, 0.33), (0.45, 0.33), (0.32, 0.47),
              (0.19, 0.33), (0.25, 0.33)]), (40, 170, 70)),         # arrow
]


def pixel(px, py, size):
    total = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            colour = None
            for inside, paint in LAYERS:
                if inside(x, y):
                    colour = paint(x, y) if callable(paint) else paint
            if colour:
                for i in range(3):
                    total[i] += colour[i]
                total[3] += 1
    if total[3] == 0:
        return (0, 0, 0, 0)
    alpha = total[3] / (SAMPLES * SAMPLES)
    return tuple(round(c / total[3]) for c in total[:3]) + (round(255 * alpha),)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for py in reversed(range(size)):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", b, g, r, a)
                             for r, g, b, a in (pixel(px, py, size) for px in range(size))))
    mask_row = bytes(math.ceil(size / 32) * 4)  # alpha decides; the mask is all opaque
    return header + b"".join(rows) + mask_row * size


def main():
    images = [image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    (Path(__file__).with_name("saverinstall.ico")).write_bytes(out)


if __name__ == "__main__":
    main()
