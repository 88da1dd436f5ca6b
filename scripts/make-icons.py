#!/usr/bin/env python3
"""Draws the four small icons of the Settings dialog (resources 120 to 123)
and writes them as .ico files, each with a 16x16 and a 32x32 image of 32
bits per pixel (BGRA, bottom-up, with the 1-bit AND mask).

    scripts/make-icons.py [output folder]   (default: resources/icons)

120 the scanner, 121 a sheet, 122 brightness (a sun), 123 contrast (a
half-dark disc). The pictures are drawn at 32x32 and reduced for 16x16.
"""
import math
import os
import struct
import sys

SIZE = 32
CLEAR = (0, 0, 0, 0)


def blank():
    return [[CLEAR] * SIZE for _ in range(SIZE)]


def rect(img, x0, y0, x1, y1, color):
    for y in range(max(0, y0), min(SIZE, y1)):
        for x in range(max(0, x0), min(SIZE, x1)):
            img[y][x] = color


def disc(img, cx, cy, r, color, half=None):
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            if dx * dx + dy * dy <= r * r and (half is None or (dx < 0) == (half == "left")):
                img[y][x] = color


def scanner():
    img = blank()
    rect(img, 2, 12, 30, 26, (70, 70, 78, 255))       # body
    rect(img, 3, 13, 29, 17, (150, 150, 160, 255))    # lid
    rect(img, 6, 20, 26, 22, (40, 200, 80, 255))      # light line
    rect(img, 8, 4, 24, 13, (250, 250, 250, 255))     # sheet going in
    rect(img, 10, 6, 22, 7, (120, 120, 120, 255))
    rect(img, 10, 9, 20, 10, (120, 120, 120, 255))
    return img


def sheet():
    img = blank()
    rect(img, 7, 2, 25, 30, (90, 90, 90, 255))
    rect(img, 8, 3, 24, 29, (255, 255, 255, 255))
    for y in range(7, 27, 4):
        rect(img, 10, y, 22, y + 1, (60, 90, 200, 255))
    return img


def sun():
    img = blank()
    yellow = (255, 200, 30, 255)
    for k in range(8):
        a = k * math.pi / 4
        for t in range(10, 15):
            x, y = int(16 + t * math.cos(a)), int(16 + t * math.sin(a))
            rect(img, x - 1, y - 1, x + 1, y + 1, yellow)
    disc(img, 16, 16, 8, yellow)
    return img


def contrast():
    img = blank()
    disc(img, 16, 16, 13, (40, 40, 40, 255))
    disc(img, 16, 16, 12, (255, 255, 255, 255), half="left")
    disc(img, 16, 16, 12, (20, 20, 20, 255), half="right")
    return img


def reduce(img):
    """32x32 to 16x16: the average of each 2x2 block."""
    out = []
    for y in range(0, SIZE, 2):
        row = []
        for x in range(0, SIZE, 2):
            px = [img[y + j][x + i] for j in (0, 1) for i in (0, 1)]
            row.append(tuple(sum(p[c] for p in px) // 4 for c in range(4)))
        out.append(row)
    return out


def dib(img):
    n = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(struct.pack("<BBBB", b, g, r, a)
                      for row in reversed(img) for (r, g, b, a) in row)
    stride = ((n + 31) // 32) * 4
    mask = b""
    for row in reversed(img):
        bits = 0
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits |= 1 << (n - 1 - x)
        mask += bits.to_bytes((n + 7) // 8, "big").ljust(stride, b"\0")
    return header + pixels + mask


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = [dib(img) for img in images]
    for img, blob in zip(images, blobs):
        n = len(img)
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons")
    os.makedirs(folder, exist_ok=True)
    for number, draw in ((120, scanner), (121, sheet), (122, sun), (123, contrast)):
        big = draw()
        with open(os.path.join(folder, "icon%d.ico" % number), "wb") as f:
            f.write(ico([reduce(big), big]))


if __name__ == "__main__":
    main()
