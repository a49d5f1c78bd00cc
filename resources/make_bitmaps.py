#!/usr/bin/env python3
"""Writes the library's bitmap resources as BMP files into a folder.

  100 sprocket.bmp   60 x 10, 8 bits: the film strip's sprocket bands,
                     five periods of 12 columns
  101 pages.bmp      200 x 34, 4 bits: the page buttons of the cursor
                     animation dialog, normal look above, active below
  102 play.bmp       48 x 48, 4 bits: its stop and play buttons, likewise

Usage: make_bitmaps.py OUTDIR
"""
import os
import struct
import sys

# The 16 colours of the 4-bit pictures (red, green, blue).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, LIGHT, DARK, YELLOW, WHITE = 0, 7, 8, 11, 15


def write_bmp(path, width, height, bits, palette, pixels):
    """pixels: rows top first, each a list of palette indices."""
    row_bytes = (width * bits + 31) // 32 * 4
    data = bytearray()
    for row in reversed(pixels):
        packed = bytearray(row_bytes)
        for x, v in enumerate(row):
            if bits == 8:
                packed[x] = v
            else:
                packed[x // 2] |= v << (4 if x % 2 == 0 else 0)
        data += packed
    colors = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835, len(palette), 0)
    offset = 14 + len(info) + len(colors)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + colors + bytes(data))


# ---- 100: sprocket bands ------------------------------------------------------------
def sprockets():
    palette = [(48, 48, 48), (128, 128, 0), (128, 128, 128), (192, 192, 192), (255, 255, 255)]
    D, O, G, L, W = range(5)
    edge = [D, O, O] * 4  # the band's outer row: dark every third column
    inner = [O, D, D] * 4
    hole = lambda mid: [D, D, D] + mid + [D, D, D, D]
    period = [
        edge,
        inner,
        [D] * 12,
        hole([G, G, G, G, G]),
        hole([G, L, W, W, L]),
        hole([G, W, W, W, W]),
        hole([G, L, W, W, L]),
        [D] * 12,
        inner,
        edge,
    ]
    return 60, 10, 8, palette, [row * 5 for row in period]


# ---- A small font for the words on the page buttons ------------------------------
FONT = {
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "y": ["00000", "00000", "10001", "10001", "01111", "00001", "01110"],
    "c": ["00000", "00000", "01110", "10000", "10000", "10001", "01110"],
    "l": ["01100", "00100", "00100", "00100", "00100", "00100", "01110"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "o": ["00000", "00000", "01110", "10001", "10001", "10001", "01110"],
    "t": ["01000", "01000", "11100", "01000", "01000", "01001", "00110"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "n": ["00000", "00000", "10110", "11001", "10001", "10001", "10001"],
}


class Canvas:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.rows = [[fill] * width for _ in range(height)]

    def put(self, x, y, v):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = v

    def rect(self, x, y, w, h, v):
        for j in range(y, y + h):
            for i in range(x, x + w):
                self.put(i, j, v)

    def text(self, x, y, word, v):
        for ch in word:
            for j, line in enumerate(FONT[ch]):
                for i, bit in enumerate(line):
                    if bit == "1":
                        self.put(x + i, y + j, v)
            x += 6

    def shape(self, x, y, lines, v):
        """Lines of '#' (v) and '.' (white) drawn from (x, y)."""
        for j, line in enumerate(lines):
            for i, c in enumerate(line):
                if c == "#":
                    self.put(x + i, y + j, v)
                elif c == ".":
                    self.put(x + i, y + j, WHITE)

    def paste(self, other, x0, y0):
        for j in range(other.height):
            for i in range(other.width):
                self.put(x0 + i, y0 + j, other.rows[j][i])


SMALL_ARROW = ["#", "##", "#.#", "#..#", "#.###", "##", "#"]
ARROW = [
    "#", "##", "#.#", "#..#", "#...#", "#....#", "#.....#", "#..####", "#.#", "##.#", "#..#",
]


def page_picture(which, face, ink):
    c = Canvas(100, 17, face)
    if which == 0:
        # A film strip of three frames, each with a small cursor, and "Cycle".
        c.rect(4, 1, 46, 15, BLACK)
        for x in range(5, 50, 4):
            c.rect(x, 2, 2, 1, face)
            c.rect(x, 14, 2, 1, face)
        for k in range(3):
            c.rect(6 + k * 15, 4, 12, 9, WHITE)
            c.shape(9 + k * 15 + k, 5, SMALL_ARROW, BLACK)
        c.text(58, 5, "Cycle", ink)
    else:
        # An arrow pointer with motion lines behind it, and "Motion".
        for j, length in ((4, 10), (7, 14), (10, 10)):
            c.rect(24 - length, j, length - 2, 1, ink)
        c.shape(27, 3, ARROW, BLACK)
        c.text(52, 5, "Motion", ink)
    return c


def pages():
    c = Canvas(200, 34, LIGHT)
    for which in (0, 1):
        c.paste(page_picture(which, LIGHT, BLACK), 100 * which, 0)
        c.paste(page_picture(which, DARK, YELLOW), 100 * which, 17)
    return 200, 34, 4, VGA, c.rows


def play():
    c = Canvas(48, 48, LIGHT)
    for row, face in ((0, LIGHT), (1, DARK)):
        y = 24 * row
        c.rect(0, y, 48, 24, face)
        c.rect(7, y + 7, 10, 10, BLACK)  # stop: a square
        for j in range(13):  # play: a triangle pointing right
            half = min(j, 12 - j)
            c.rect(31, y + 6 + j, half + 1, 1, BLACK)
    return 48, 48, 4, VGA, c.rows


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, make in (("sprocket.bmp", sprockets), ("pages.bmp", pages), ("play.bmp", play)):
        width, height, bits, palette, rows = make()
        write_bmp(os.path.join(out, name), width, height, bits, palette, rows)


if __name__ == "__main__":
    main()
