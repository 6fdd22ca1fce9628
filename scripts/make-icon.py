#!/usr/bin/env python3
"""Writes resources/icon.png: the program's 64x64 icon, a small motion graph (three clip nodes
joined by transitions) above a floor line, drawn with the standard library only."""
import math
import struct
import sys
import zlib
from pathlib import Path

SIZE = 64


def blend(img, x, y, colour, alpha):
    if 0 <= x < SIZE and 0 <= y < SIZE and alpha > 0:
        r, g, b, a = img[y][x]
        cr, cg, cb = colour
        na = alpha + a * (1 - alpha)
        if na <= 0:
            return
        mix = lambda c, o: (c * alpha + o * a * (1 - alpha)) / na
        img[y][x] = (mix(cr, r), mix(cg, g), mix(cb, b), na)


def coverage(dist, half_width):
    return max(0.0, min(1.0, half_width + 0.5 - dist))


def draw_disc(img, cx, cy, radius, colour):
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            blend(img, x, y, colour, coverage(d - radius, 0))


def draw_line(img, x0, y0, x1, y1, width, colour):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length2))
            d = math.hypot(px - (x0 + t * dx), py - (y0 + t * dy))
            blend(img, x, y, colour, coverage(d, width / 2))


def rounded_square(img, margin, radius, colour):
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            qx = max(margin + radius - px, 0, px - (SIZE - margin - radius))
            qy = max(margin + radius - py, 0, py - (SIZE - margin - radius))
            d = math.hypot(qx, qy) - radius
            blend(img, x, y, colour, coverage(d, 0))


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "icon.png"
    img = [[(0, 0, 0, 0.0)] * SIZE for _ in range(SIZE)]
    rounded_square(img, 2, 10, (24, 32, 64))
    draw_line(img, 8, 52, 56, 52, 1.5, (90, 100, 120))          # the floor
    nodes = [(18, 20), (46, 18), (32, 40)]
    for (ax, ay), (bx, by) in [(nodes[0], nodes[1]), (nodes[1], nodes[2]), (nodes[2], nodes[0])]:
        draw_line(img, ax, ay, bx, by, 3, (240, 200, 60))
    for (x, y), colour in zip(nodes, [(230, 60, 60), (60, 200, 90), (70, 140, 240)]):
        draw_disc(img, x, y, 7, (255, 255, 255))
        draw_disc(img, x, y, 5.5, colour)
    raw = b"".join(b"\x00" + b"".join(struct.pack("BBBB", *(int(round(c)) for c in p[:3]), int(round(p[3] * 255))) for p in row) for row in img)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    target.write_bytes(png)
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
