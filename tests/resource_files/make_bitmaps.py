#!/usr/bin/python3
"""Writes the bitmaps the test program files are built from, and the
script of the program with 150 bitmaps, into the folder given."""
import os
import struct
import sys


def bmp(path, width, height, bits, palette, pixel, core=False):
    """A bottom-up BMP file; palette holds (r, g, b); pixel(x, y) gives an
    index, or (r, g, b) at 24 bits."""
    row = ((width * bits + 31) // 32) * 4
    rows = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        if bits == 24:
            for x in range(width):
                r, g, b = pixel(x, y)
                line += bytes((b, g, r))
        else:
            acc, n = 0, 0
            for x in range(width):
                acc = acc << bits | pixel(x, y)
                n += bits
                if n == 8:
                    line.append(acc)
                    acc, n = 0, 0
            if n:
                line.append(acc << (8 - n))
        rows += line + bytes(row - len(line))
    if core:
        header = struct.pack('<IHHHH', 12, width, height, 1, bits)
        table = b''.join(bytes((b, g, r)) for r, g, b in palette)
    else:
        header = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, len(rows), 0, 0, 0, 0)
        table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + len(header) + len(table)
    with open(path, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', offset + len(rows), 0, 0, offset) + header + table + rows)


def main(out):
    os.makedirs(out, exist_ok=True)
    vga = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    grey = [(i, i, i) for i in range(256)]
    bmp(f'{out}/b32x32x4.bmp', 32, 32, 4, vga, lambda x, y: (x // 8 + 4 * (y // 8)) % 16)
    bmp(f'{out}/b200x100x24.bmp', 200, 100, 24, [], lambda x, y: (255 if x < 100 else 0, y * 2, 255 if y >= 50 else 0))
    bmp(f'{out}/core8.bmp', 20, 10, 8, grey, lambda x, y: (x * 12 + y) % 256, core=True)
    bmp(f'{out}/b16x8x8.bmp', 16, 8, 8, grey, lambda x, y: x * 16 + y)
    with open(f'{out}/many.rc', 'w') as f:
        f.write('LANGUAGE 9, 1\n')
        for i in range(150):
            f.write(f'{1000 + i} BITMAP "b16x8x8.bmp"\n')


if __name__ == '__main__':
    main(sys.argv[1])
