#!/usr/bin/python3
"""Writes icon files as today's tools make them (PNG-compressed entries from
Pillow and ImageMagick in their colour types, 32-bit entries with alpha, a
damaged PNG entry beside a bitmap one) into the folder given, and beside
each file the pixels of every entry as Pillow decodes them: NAME.N.rgba holds
width and height (little-endian 32 bits) and then RGBA rows from the top."""
import io
import struct
import subprocess
import sys
import zlib

from PIL import Image

OUT = sys.argv[1]
PNG = b"\x89PNG\r\n\x1a\n"
# A real 32 x 32 16-colour entry (the second) to stand beside the PNG ones.
BITMAP = "/usr/share/nsis/Contrib/Graphics/Icons/classic-install.ico"


def picture(size):
    """Opaque, partly and fully transparent areas, every channel different."""
    g = Image.radial_gradient("L").resize((size, size))
    return Image.merge("RGBA", (g, g.rotate(90), g.rotate(180), g.point(lambda v: 0 if v > 200 else 255 - v)))


def encoded(im, **options):
    b = io.BytesIO()
    im.save(b, "PNG", **options)
    return b.getvalue()


def magick(im, *args):
    return subprocess.run(["/usr/bin/convert", "png:-", *args, "png:-"], input=encoded(im),
                          capture_output=True, check=True).stdout


def entries(data):
    """(directory entry, image data) of every entry of an icon file."""
    found = []
    for i in range(struct.unpack_from("<H", data, 4)[0]):
        e = data[6 + 16 * i:22 + 16 * i]
        size, at = struct.unpack_from("<II", e, 8)
        found.append((e, data[at:at + size]))
    return found


def icon(items):
    head, body = struct.pack("<3H", 0, 1, len(items)), b""
    for e, data in items:
        head += e[:8] + struct.pack("<II", len(data), 6 + 16 * len(items) + len(body))
        body += data
    return head + body


def huge_header(w, h):
    """PNG signature and an RGBA image header of w x h, with its checksum."""
    body = b"IHDR" + struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return PNG + struct.pack(">I", 13) + body + struct.pack(">I", zlib.crc32(body))


def png_entry(data):
    w, h = struct.unpack_from(">II", data, 16)
    return struct.pack("<4B2H8x", w % 256, h % 256, 0, 0, 1, 32), data


def save(name, data):
    with open(f"{OUT}/{name}", "wb") as f:
        f.write(data)
    for i, (e, d) in enumerate(entries(data)):
        try:
            im = Image.open(io.BytesIO(d if d.startswith(PNG) else icon([(e, d)]))).convert("RGBA")
        except (OSError, SyntaxError, Image.DecompressionBombError):
            continue  # damaged on purpose
        with open(f"{OUT}/{name}.{i}.rgba", "wb") as f:
            f.write(struct.pack("<II", *im.size) + im.tobytes())


def written(**options):
    b = io.BytesIO()
    picture(128).save(b, "ICO", **options)
    return b.getvalue()


save("pillow_png.ico", written(sizes=[(16, 16), (32, 32), (128, 128)]))
save("pillow_bmp.ico", written(sizes=[(16, 16), (48, 48)], bitmap_format="bmp"))
save("pillow_odd_png.ico", written(sizes=[(45, 45)]))
save("pillow_odd_bmp.ico", written(sizes=[(45, 45)], bitmap_format="bmp"))
save("magick.ico", subprocess.run(["/usr/bin/convert", "png:-", "-define", "icon:auto-resize=128,48", "ico:-"],
                                  input=encoded(picture(128)), capture_output=True, check=True).stdout)
bitmap = entries(open(BITMAP, "rb").read())[1]
full = picture(128)
for kind, data in {
    "rgba": encoded(full),
    "rgb": encoded(full.convert("RGB")),
    "palette": encoded(full.quantize(48, method=Image.Quantize.FASTOCTREE)),
    "bilevel": encoded(full.convert("1")),
    "grey16": magick(full, "-colorspace", "Gray", "-depth", "16"),
    "interlaced": magick(full, "-interlace", "PNG"),
    "cut": encoded(full)[:1500],
    # An image header whose size the rows do not have, and one claiming a
    # size no file this small can hold.
    "lying": encoded(full.resize((16, 16)))[:16] + huge_header(128, 128)[16:33] + encoded(full.resize((16, 16)))[33:],
    "huge": huge_header(30000, 30000) + encoded(full.resize((16, 16)))[33:],
}.items():
    save(f"mixed_{kind}.ico", icon([bitmap, png_entry(data)]))
