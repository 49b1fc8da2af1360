#!/usr/bin/env python3
"""Draws the plug-in's icon, a hovering kestrel on a blue tile, and writes
kestrelworks.ico (32x32 and 16x16, 32-bit with alpha and an AND mask, which
every Windows version reads). Run it again after changing the drawing:
    python3 plugin/shell/make_icon.py plugin/shell/kestrelworks.ico
"""
import struct
import sys

SUPERSAMPLE = 8

SKY_TOP = (76, 141, 214)
SKY_BOTTOM = (28, 76, 150)
EDGE = (16, 44, 92)
BIRD = (196, 98, 45)
BIRD_DARK = (92, 44, 22)


def inside_polygon(x, y, points):
    crossings = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            crossings = not crossings
        j = i
    return crossings


def inside_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def inside_rounded_square(x, y, low, high, radius):
    cx = min(max(x, low + radius), high - radius)
    cy = min(max(y, low + radius), high - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


LEFT_WING = [(16, 12.5), (9, 9.5), (2.5, 8), (1, 9.5), (4, 12.5), (9, 15.5), (16, 17.5)]
RIGHT_WING = [(32 - x, y) for x, y in LEFT_WING]
TAIL = [(14.3, 19), (17.7, 19), (20.5, 27), (16, 28), (11.5, 27)]


def bird_part(x, y):
    """'dark' for the wing tips and the tail band, 'bird' for the rest of the bird, None outside."""
    if inside_ellipse(x, y, 16, 8.4, 2.4, 2.5):
        return "bird"
    if inside_ellipse(x, y, 16, 15.2, 3.1, 5.6) or inside_polygon(x, y, TAIL):
        if y > 25.4 and inside_polygon(x, y, TAIL):
            return "dark"
        return "bird"
    if inside_polygon(x, y, LEFT_WING) or inside_polygon(x, y, RIGHT_WING):
        if x < 5.5 or x > 26.5:
            return "dark"
        return "bird"
    return None


def sample(x, y):
    """Colour and alpha of one point of the 32x32 drawing."""
    if not inside_rounded_square(x, y, 0.5, 31.5, 6):
        return (0, 0, 0), 0.0
    part = bird_part(x, y)
    if part == "bird":
        return BIRD, 1.0
    if part == "dark":
        return BIRD_DARK, 1.0
    if not inside_rounded_square(x, y, 1.6, 30.4, 5):
        return EDGE, 1.0
    t = y / 32.0
    sky = tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_BOTTOM))
    return sky, 1.0


def render(size):
    """Rows of (b, g, r, a), top row first."""
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            coverage = 0.0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) * scale
                    y = (py + (sy + 0.5) / SUPERSAMPLE) * scale
                    colour, alpha = sample(x, y)
                    for c in range(3):
                        total[c] += colour[c] * alpha
                    coverage += alpha
            count = SUPERSAMPLE * SUPERSAMPLE
            if coverage == 0:
                row.append((0, 0, 0, 0))
                continue
            r, g, b = (round(total[c] / coverage) for c in range(3))
            row.append((b, g, r, round(255 * coverage / count)))
        rows.append(row)
    return rows


def icon_image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "kestrelworks.ico"
    sizes = [32, 16]
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
