#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_dispatch: an empty file and the first
bytes of every kind of file the detectors look at."""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "dispatch")

SEEDS = {
    "empty": b"",
    # One-pixel GIFs, with and without a graphic control extension.
    "gif87a": b"GIF87a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
              b",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;",
    "gif89a": b"GIF89a\x01\x00\x01\x00\x00\x00\x00!\xf9\x04\x01\x0a\x00\x00\x00"
              b",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;",
    "bmp": b"BM" + struct.pack("<IHHI", 58, 0, 0, 54)
           + struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 24, 0, 4, 0, 0, 0, 0) + b"\x00\x00\xff\x00",
    "ani": b"RIFF" + struct.pack("<I", 48) + b"ACONanih" + struct.pack("<I", 36)
           + struct.pack("<9I", 36, 1, 1, 0, 0, 0, 0, 10, 1),
    "avi": b"RIFF" + struct.pack("<I", 256) + b"AVI LIST" + struct.pack("<I", 192) + b"hdrlavih"
           + struct.pack("<I", 56) + bytes(56),
    "wave": b"RIFF" + struct.pack("<I", 36) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8),
    "tiff_le": b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 1)
               + struct.pack("<HHII", 256, 3, 1, 1) + struct.pack("<I", 0),
    "tiff_be": b"MM\x00*" + struct.pack(">I", 8) + struct.pack(">H", 1)
               + struct.pack(">HHIHH", 256, 3, 1, 1, 0) + struct.pack(">I", 0),
    # Version 5, RLE, 8 bits, a 1 x 1 window.
    "pcx": bytes([0x0A, 0x05, 0x01, 0x08]) + struct.pack("<4H", 0, 0, 0, 0) + struct.pack("<2H", 72, 72)
           + bytes(48) + bytes([0, 1]) + struct.pack("<HH", 2, 1) + bytes(58) + b"\xc1\x00",
    "jpeg": b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xff\xd9",
    "ico": struct.pack("<3H", 0, 1, 1) + struct.pack("<4B2H2I", 1, 1, 0, 0, 1, 32, 48, 22)
           + struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 0, 0, 0, 0, 0) + bytes(8),
    "cur": struct.pack("<3H", 0, 2, 1) + struct.pack("<4B2H2I", 32, 32, 2, 0, 16, 16, 304, 22),
    "exe_mz": b"MZ\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xff\xff\x00\x00" + bytes(44) + struct.pack("<I", 64)
              + b"PE\x00\x00",
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
