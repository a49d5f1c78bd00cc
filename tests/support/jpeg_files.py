#!/usr/bin/python3
# Writes JPEG files as other programs make them, and damaged ones, into the
# folder given: CMYK files of ImageMagick and Pillow (both with an Adobe
# marker, samples stored inverted), files cut short in and before their
# scans, progressive files cut or with a scan header that names no valid
# coefficients, a marker inside the scan data, a frame header that gives
# impossible sampling and a scan header that names no component of the
# frame. Beside each CMYK file, NAME.rgb holds Pillow's RGB conversion of it:
# width, height (little-endian 32 bits), RGB rows from the top.
import io, struct, subprocess, sys
from PIL import Image

OUT = sys.argv[1]
im = Image.radial_gradient("L").resize((64, 48))
im = Image.merge("RGB", (im, im.rotate(90), im.transpose(Image.FLIP_LEFT_RIGHT)))


def jpeg(image, **options):
    b = io.BytesIO()
    image.save(b, "JPEG", quality=90, **options)
    return b.getvalue()


def markers(data, code):
    """Offsets of every marker of a kind, scan data skipped only up to the first scan."""
    return [i for i in range(len(data) - 1) if data[i] == 0xFF and data[i + 1] == code]


def write(name, data):
    with open(f"{OUT}/{name}", "wb") as f:
        f.write(data)


base, prog = jpeg(im), jpeg(im, progressive=True)
sos, sof = markers(base, 0xDA)[0], markers(base, 0xC0)[0]
scan = sos + 2 + (base[sos + 2] << 8 | base[sos + 3])

cmyk = {"cmyk_magick.jpg": subprocess.run(["/usr/bin/convert", "-", "-colorspace", "CMYK", "jpg:-"], input=base,
                                          capture_output=True, check=True).stdout,
        "cmyk_pillow.jpg": jpeg(im.convert("CMYK"))}
for name, data in cmyk.items():
    write(name, data)
    rgb = Image.open(io.BytesIO(data)).convert("RGB")
    write(name + ".rgb", struct.pack("<II", *rgb.size) + rgb.tobytes())

write("cut_in_scan.jpg", base[:(scan + len(base)) // 2])
write("cut_before_scan.jpg", base[:sos])
write("progressive_cut.jpg", prog[:len(prog) // 2])
write("progressive_first_scan.jpg", prog[:markers(prog, 0xDA)[1]])
second = markers(prog, 0xDA)[1]
bad = bytearray(prog)
bad[second + 2 + (prog[second + 2] << 8 | prog[second + 3]) - 3] = 70  # spectral selection ending past 63
write("progressive_bad_scan.jpg", bad)
write("marker_in_scan.jpg", base[:scan + 100] + b"\xff\xc4\x00\x01" + base[scan + 104:])
write("bad_sampling.jpg", base[:sof + 11] + b"\x55" + base[sof + 12:])
write("scan_names_no_component.jpg", base[:sos + 5] + b"\x09" + base[sos + 6:])
