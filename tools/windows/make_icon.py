#!/usr/bin/env python3
"""Writes kestrelwick.ico: the program's icon (ui/platform/desktop.cpp, ProgramIcon) at 32 and
48 pixels, as PNG images inside an ICO file. Run again when the icon changes:
    tools/windows/make_icon.py tools/windows/kestrelwick.ico
"""
import struct
import sys
import zlib


def draw(size):
    scale = size / 32.0
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def put(x, y, colour):
        if 0 <= x < size and 0 <= y < size:
            pixels[y][x] = colour + (255,)

    def rect(x, y, w, h, pen, brush=None):
        x0, y0 = round(x * scale), round(y * scale)
        x1, y1 = round((x + w) * scale), round((y + h) * scale)
        if brush:
            for yy in range(y0, y1 + 1):
                for xx in range(x0, x1 + 1):
                    put(xx, yy, brush)
        for xx in range(x0, x1 + 1):
            put(xx, y0, pen)
            put(xx, y1, pen)
        for yy in range(y0, y1 + 1):
            put(x0, yy, pen)
            put(x1, yy, pen)

    def line(xa, ya, xb, yb, colour, width):
        steps = int(max(abs(xb - xa), abs(yb - ya)) * scale * 2) + 1
        half = width * scale / 2
        for i in range(steps + 1):
            t = i / steps
            cx, cy = (xa + (xb - xa) * t) * scale, (ya + (yb - ya) * t) * scale
            for yy in range(int(cy - half), int(cy + half) + 1):
                for xx in range(int(cx - half), int(cx + half) + 1):
                    put(xx, yy, colour)

    rect(2, 5, 27, 21, (0, 0, 128), (255, 255, 255))
    rect(4, 7, 23, 17, (128, 0, 0))
    rect(17, 19, 10, 5, (128, 0, 0), (0, 128, 128))
    line(6, 20, 14, 10, (0, 0, 255), 2)
    line(14, 10, 20, 14, (0, 0, 255), 2)
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(target):
    images = [png(draw(size)) for size in (16, 32, 48, 256)]
    sizes = (16, 32, 48, 256)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(target, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
