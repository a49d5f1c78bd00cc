#!/usr/bin/python3
"""Draws the cursors of an X cursor theme in a grid, as libXcursor reads them.

  scripts/theme_grid.py THEME-DIR OUT.png NAME[:ROLE]...

One row per X cursor name given (names the theme lacks are left out): the
name and role, then the first image of each nominal size, then, for an animated
cursor, the next frames of its largest size. Every image comes from
libXcursor's XcursorFilenameLoadAllImages (premultiplied ARGB, made
straight for the picture), drawn over a grey checkerboard so that its
transparency shows.
"""
import ctypes
import os
import sys

from PIL import Image, ImageDraw, ImageFont


class XcursorImage(ctypes.Structure):
    _fields_ = [("version", ctypes.c_uint), ("size", ctypes.c_uint), ("width", ctypes.c_uint),
                ("height", ctypes.c_uint), ("xhot", ctypes.c_uint), ("yhot", ctypes.c_uint),
                ("delay", ctypes.c_uint), ("pixels", ctypes.POINTER(ctypes.c_uint32))]


class XcursorImages(ctypes.Structure):
    _fields_ = [("nimage", ctypes.c_int), ("images", ctypes.POINTER(ctypes.POINTER(XcursorImage))),
                ("name", ctypes.c_char_p)]


CELL = 72
LABEL = 230
FRAMES = 7  # frames of an animated cursor drawn after its sizes


def load(lib, path):
    """Every image of the file: (nominal size, delay, RGBA picture), in file order."""
    all_images = lib.XcursorFilenameLoadAllImages(path.encode())
    if not all_images:
        return []
    out = []
    for i in range(all_images.contents.nimage):
        m = all_images.contents.images[i].contents
        pixels = bytearray()
        for p in m.pixels[: m.width * m.height]:
            a, r, g, b = p >> 24, (p >> 16) & 255, (p >> 8) & 255, p & 255
            if a:
                r, g, b = (min(255, (c * 255 + a // 2) // a) for c in (r, g, b))
            pixels += bytes((r, g, b, a))
        out.append((m.size, m.delay, Image.frombytes("RGBA", (m.width, m.height), bytes(pixels))))
    lib.XcursorImagesDestroy(all_images)
    return out


def checkerboard(size):
    board = Image.new("RGBA", (size, size), (236, 236, 236, 255))
    draw = ImageDraw.Draw(board)
    for y in range(0, size, 8):
        for x in range(0, size, 8):
            if (x + y) // 8 % 2:
                draw.rectangle([x, y, x + 7, y + 7], fill=(204, 204, 204, 255))
    return board


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    theme, output, names = sys.argv[1], sys.argv[2], sys.argv[3:]
    lib = ctypes.CDLL("libXcursor.so.1")
    lib.XcursorFilenameLoadAllImages.restype = ctypes.POINTER(XcursorImages)
    lib.XcursorFilenameLoadAllImages.argtypes = [ctypes.c_char_p]
    lib.XcursorImagesDestroy.argtypes = [ctypes.POINTER(XcursorImages)]
    try:
        font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 13)
    except OSError:
        font = ImageFont.load_default()
    rows = []
    for given in names:
        name, _, role = given.partition(":")
        path = os.path.join(theme, "cursors", name)
        if not os.path.exists(path):
            continue
        images = load(lib, path)
        if not images:
            continue
        sizes = sorted({s for s, _, _ in images})
        cells = [(next(im for s, _, im in images if s == size), "%d" % size) for size in sizes]
        largest = [(im, d) for s, d, im in images if s == sizes[-1]]
        for k, (im, delay) in enumerate(largest[1:FRAMES + 1], start=2):
            cells.append((im, "#%d %d ms" % (k, delay)))
        frames = len(largest)
        rows.append((name, (role + ": " if role else "") + "%d size%s%s" % (len(sizes), "" if len(sizes) == 1 else "s",
                                            ", %d frames" % frames if frames > 1 else ""), cells))
    if not rows:
        sys.exit("no cursor of those names in %s" % theme)
    width = LABEL + max(len(cells) for _, _, cells in rows) * (CELL + 6) + 6
    grid = Image.new("RGBA", (width, len(rows) * (CELL + 22) + 8), (255, 255, 255, 255))
    draw = ImageDraw.Draw(grid)
    for r, (name, summary, cells) in enumerate(rows):
        top = 4 + r * (CELL + 22)
        draw.text((8, top + CELL // 2 - 16), name, fill=(0, 0, 0, 255), font=font)
        draw.text((8, top + CELL // 2 + 2), summary, fill=(90, 90, 90, 255), font=font)
        for c, (im, caption) in enumerate(cells):
            left = LABEL + c * (CELL + 6)
            tile = checkerboard(CELL)
            fit = im if max(im.size) <= CELL else im.resize(
                (im.width * CELL // max(im.size), im.height * CELL // max(im.size)), Image.LANCZOS)
            tile.alpha_composite(fit, ((CELL - fit.width) // 2, (CELL - fit.height) // 2))
            grid.paste(tile, (left, top))
            draw.text((left + 2, top + CELL + 3), caption, fill=(90, 90, 90, 255), font=font)
    grid.convert("RGB").save(output)
    print("  %s: %d cursors drawn as libXcursor reads them" % (output, len(rows)))


if __name__ == "__main__":
    main()
