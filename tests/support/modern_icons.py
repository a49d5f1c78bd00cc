#!/usr/bin/python3
# Writes icon files as today's tools make them into the folder given: PNG
# entries of Pillow and ImageMagick in their colour types, 32-bit entries
# with alpha (mask empty, missing or their own), damaged PNG entries beside
# a real 16-colour bitmap entry. Beside each file, NAME.N.rgba holds entry
# N as Pillow decodes it: width, height (little-endian 32 bits), RGBA rows
# from the top.
import io, struct, subprocess, sys, warnings, zlib
from PIL import Image

OUT, PNG = sys.argv[1], b"\x89PNG\r\n\x1a\n"
g = Image.radial_gradient("L").resize((128, 128))
# Opaque, partly and fully transparent areas, every channel different.
full = Image.merge("RGBA", (g, g.rotate(90), g.rotate(180), g.point(lambda v: 0 if v > 200 else 255 - v)))


def out(im, fmt="PNG", **options):
    b = io.BytesIO()
    im.save(b, fmt, **options)
    return b.getvalue()


def magick(data, *args, to="png"):
    return subprocess.run(["/usr/bin/convert", "-", *args, to + ":-"], input=data, capture_output=True, check=True).stdout


def entries(data):
    return [(data[6 + 16 * i:22 + 16 * i], data[at:at + size]) for i in range(struct.unpack_from("<H", data, 4)[0])
            for size, at in [struct.unpack_from("<II", data, 14 + 16 * i)]]


def icon(items):
    head, body = struct.pack("<3H", 0, 1, len(items)), b""
    for e, data in items:
        head += e[:8] + struct.pack("<II", len(data), 6 + 16 * len(items) + len(body))
        body += data
    return head + body


def header(w, h):  # PNG signature and an RGBA image header of w x h
    body = b"IHDR" + struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return PNG + struct.pack(">I", 13) + body + struct.pack(">I", zlib.crc32(body))


def save(name, data):
    open(f"{OUT}/{name}", "wb").write(data)
    for i, (e, d) in enumerate(entries(data)):
        try:
            im = Image.open(io.BytesIO(d if d.startswith(PNG) else icon([(e, d)]))).convert("RGBA")
            open(f"{OUT}/{name}.{i}.rgba", "wb").write(struct.pack("<II", *im.size) + im.tobytes())
        except (OSError, SyntaxError, Image.DecompressionBombError):
            pass  # damaged on purpose


save("pillow_png.ico", out(full, "ICO", sizes=[(16, 16), (32, 32), (128, 128)]))
save("pillow_bmp.ico", out(full, "ICO", sizes=[(16, 16), (48, 48)], bitmap_format="bmp"))
save("pillow_odd_png.ico", out(full, "ICO", sizes=[(45, 45)]))
save("pillow_odd_bmp.ico", out(full, "ICO", sizes=[(45, 45)], bitmap_format="bmp"))
save("magick.ico", magick(out(full), "-define", "icon:auto-resize=128,48", to="ico"))
bitmap = entries(open("/usr/share/nsis/Contrib/Graphics/Icons/classic-install.ico", "rb").read())[1]
small = out(full.resize((16, 16)))
for kind, data in {
    "rgba": out(full), "rgb": out(full.convert("RGB")), "bilevel": out(full.convert("1")),
    "palette": out(full.quantize(48, method=Image.Quantize.FASTOCTREE)),
    "grey16": magick(out(full), "-colorspace", "Gray", "-depth", "16"),
    "interlaced": magick(out(full), "-interlace", "PNG"),
    # Cut short; a header claiming more rows than there are; a size no file
    # this small can hold.
    "cut": out(full)[:1500], "lying": header(128, 128) + small[33:], "huge": header(30000, 30000) + small[33:],
}.items():
    w, h = struct.unpack_from(">II", data, 16)
    save(f"mixed_{kind}.ico", icon([bitmap, (struct.pack("<4B2H8x", w % 256, h % 256, 0, 0, 1, 32), data)]))
# Every image 256 x 256, which the directory stores as 0 (no area, and no
# colour count from 8 bits up): the entry whose own header is largest opens,
# here the only one, and in the last file the second of two entries stating
# 0 x 0, a 48 x 48 bitmap before a 256 x 256 PNG image.
big = full.resize((256, 256))
only_png, only_bmp = out(big, "ICO", sizes=[(256, 256)]), out(big, "ICO", sizes=[(256, 256)], bitmap_format="bmp")
save("only256_png.ico", only_png)
save("only256_bmp.ico", only_bmp)
# Pillow warns that the first entry's image is not the 256 x 256 stated.
warnings.filterwarnings("ignore", "Image was not the expected size")
small_bmp = entries(out(full, "ICO", sizes=[(48, 48)], bitmap_format="bmp"))[0]
save("only256_mixed.ico", icon([(b"\0\0\0\0" + small_bmp[0][4:], small_bmp[1]), entries(only_png)[0]]))
