#!/usr/bin/env python3
"""Draws the news-list pictures as small PNG files (run once; the files are committed)."""
import math
import struct
import zlib
from pathlib import Path

OUT = Path(__file__).resolve().parent / "images"


def write_png(name, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            r, g, b, a = pixel(x + 0.5, y + 0.5)
            rows += bytes((int(r), int(g), int(b), int(a)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    (OUT / (name + ".png")).write_bytes(png)


def solid(color):
    return lambda x, y: color


def ring(cx, cy, r_out, r_in, color, gap_from=None, gap_to=None):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if not (r_in <= d <= r_out):
            return False
        if gap_from is not None:
            angle = math.degrees(math.atan2(y - cy, x - cx)) % 360
            if gap_from <= angle <= gap_to:
                return False
        return True
    return inside


def triangle(points):
    (x1, y1), (x2, y2), (x3, y3) = points

    def inside(x, y):
        d1 = (x - x2) * (y1 - y2) - (x1 - x2) * (y - y2)
        d2 = (x - x3) * (y2 - y3) - (x2 - x3) * (y - y3)
        d3 = (x - x1) * (y3 - y1) - (x3 - x1) * (y - y1)
        neg = d1 < 0 or d2 < 0 or d3 < 0
        pos = d1 > 0 or d2 > 0 or d3 > 0
        return not (neg and pos)
    return inside


def shapes(background, *layers):
    def pixel(x, y):
        color = background
        for test, c in layers:
            if test(x, y):
                color = c
        return color
    return pixel


CLEAR = (0, 0, 0, 0)
GREY = (150, 150, 150, 255)
RED = (210, 34, 34, 255)
WHITE = (255, 255, 255, 255)


def main():
    OUT.mkdir(exist_ok=True)
    write_png("CellSelectedBg", 300, 70, solid((236, 236, 236, 255)))
    write_png("CellNOSelectedBg", 300, 70, lambda x, y: (230, 230, 230, 255) if y > 69 else (255, 255, 255, 255))
    frame = lambda x, y: x < 1 or y < 1 or x > 69 or y > 49
    write_png("placeholder", 70, 50, shapes((238, 238, 238, 255), (frame, (220, 220, 220, 255)),
                                            (ring(35, 25, 9, 6, (205, 205, 205, 255)), (205, 205, 205, 255))))
    write_png("placeholder_iphone", 70, 50, shapes((242, 242, 242, 255), (frame, (225, 225, 225, 255))))
    write_png("browserIOS7_ipad_toolbar_refreshACTIVE", 70, 50,
              shapes((245, 245, 245, 255), (ring(35, 25, 10, 7, GREY, 300, 360), GREY),
                     (triangle([(44, 17), (48, 26), (40, 25)]), GREY)))
    bubble = lambda x, y: (1 <= x <= 11 and 1 <= y <= 7) or triangle([(3, 7), (6, 7), (3, 10)])(x, y)
    write_png("iPadTable_hadReadCell_CommentCount_night", 12, 10, shapes(CLEAR, (bubble, (170, 170, 170, 255))))
    disc = lambda x, y: math.hypot(x - 10, y - 10) <= 9.5
    write_png("SlideLeft", 20, 20, shapes(CLEAR, (disc, (0, 0, 0, 110)), (triangle([(13, 5), (13, 15), (6, 10)]), WHITE)))
    write_png("SlideRight", 20, 20, shapes(CLEAR, (disc, (0, 0, 0, 110)), (triangle([(7, 5), (7, 15), (14, 10)]), WHITE)))
    logo_box = lambda x, y: 1 <= x <= 59 and 2 <= y <= 23
    logo_mark = lambda x, y: (8 <= x <= 22 and 6 <= y <= 9) or (13 <= x <= 17 and 6 <= y <= 19) or (27 <= x <= 52 and 11 <= y <= 14)
    write_png("TidwenLogo", 60, 25, shapes(CLEAR, (logo_box, RED), (logo_mark, WHITE)))
    write_png("TOPRefresh", 40, 40, shapes(CLEAR, (ring(20, 20, 9, 7, (90, 90, 90, 255), 290, 340), (90, 90, 90, 255)),
                                           (triangle([(27, 10), (31, 18), (23, 17)]), (90, 90, 90, 255))))
    handle = lambda x, y: abs((x - y)) <= 1.5 and 23 <= x <= 30
    write_png("TOPSearch", 40, 40, shapes(CLEAR, (ring(17, 17, 8, 6, (90, 90, 90, 255)), (90, 90, 90, 255)),
                                          (handle, (90, 90, 90, 255))))
    write_png("TOPGold", 20, 20, shapes(CLEAR, (disc, (240, 180, 40, 255))))
    plus = lambda x, y: (19 <= x <= 21 and 12 <= y <= 28) or (12 <= x <= 28 and 19 <= y <= 21)
    write_png("editColumn", 40, 40, shapes(CLEAR, (plus, (90, 90, 90, 255))))


if __name__ == "__main__":
    main()
