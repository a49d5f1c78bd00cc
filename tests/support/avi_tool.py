#!/usr/bin/python3
"""The Linux AVI companion (VELMVFW32.so) driven through its functions.

  avi_tool.py write SO FILE        writes 4 frames of 36 x 20 at 24 bits,
                                    ticks 0, 1, 3, 5 at 12 per second
  avi_tool.py read SO FILE REF     reads every frame of FILE and compares
                                    it with REF (top-down BGR frames, one
                                    per tick)
  avi_tool.py ref FILE REF         writes REF from FFmpeg's decoding of
                                    FILE: per tick the picture of the latest
                                    packet at or before it
"""
import ctypes
import struct
import subprocess
import sys

W, H = 36, 20
STRIDE = (W * 24 + 31) // 32 * 4


def library(path):
    lib = ctypes.CDLL(path)
    p = ctypes.c_void_p
    for name, res, args in [("OpenAviFile", p, [ctypes.c_char_p]), ("CloseAviFile", None, [p]),
                            ("GetAviFileInfo", None, [p, p]), ("GetAviFrame", p, [p, ctypes.c_int32]),
                            ("CreateAviFile", p, [ctypes.c_char_p, p, p]),
                            ("InitAviStreamWrite", ctypes.c_int32, [p, p, ctypes.c_uint32, ctypes.c_int32]),
                            ("WriteAviFrame", ctypes.c_int32, [p, p])]:
        getattr(lib, name).restype = res
        getattr(lib, name).argtypes = args
    return lib


def pattern(k):
    return bytes(((i % STRIDE) * 5 // 4 + (i // STRIDE) * 3 + k * 50) & 255 for i in range(STRIDE * H))


def write(lib, name):
    header = ctypes.create_string_buffer(struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, STRIDE * H, 0, 0, 0, 0))
    params = ctypes.create_string_buffer(struct.pack("<HIHHH", 12, STRIDE * H, 0, 0, 1))
    f = lib.CreateAviFile(name.encode(), params, header)
    assert f and lib.InitAviStreamWrite(f, header, 40, 0)
    for k, tick in enumerate([0, 1, 3, 5]):
        bits = ctypes.create_string_buffer(pattern(k))
        rec = ctypes.create_string_buffer(struct.pack("<iiQI4xQ", tick, 1, ctypes.addressof(bits), STRIDE * H, 0))
        assert lib.WriteAviFrame(f, rec)
    lib.CloseAviFile(f)


def read(lib, name, ref):
    f = lib.OpenAviFile(name.encode())
    assert f, "not opened"
    info = ctypes.create_string_buffer(80)
    lib.GetAviFileInfo(f, info)
    count, w, h = struct.unpack_from("<III", info.raw, 64)
    frames = open(ref, "rb").read()
    size = w * h * 3
    assert count * size == len(frames), f"{count} frames of {w} x {h}, reference holds {len(frames) // size}"
    for i in range(count):
        dib = lib.GetAviFrame(f, i)
        assert dib, f"frame {i} not had"
        bits = struct.unpack("<H", ctypes.string_at(dib + 14, 2))[0]
        colours = struct.unpack("<I", ctypes.string_at(dib + 32, 4))[0] if bits <= 8 else 0
        stride = (w * bits + 31) // 32 * 4
        table = ctypes.string_at(dib + 40, 4 * colours)
        pixels = ctypes.string_at(dib + 40 + 4 * colours, stride * h)
        got = bytearray()
        for y in range(h - 1, -1, -1):
            row = pixels[y * stride:(y + 1) * stride]
            got += b"".join(table[4 * row[x]:4 * row[x] + 3] for x in range(w)) if bits == 8 else row[:3 * w]
        assert bytes(got) == frames[i * size:(i + 1) * size], f"frame {i} differs"
    lib.CloseAviFile(f)
    print(f"{name}: {count} frames as in the reference")


def reference(name, out):
    probe = ["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries"]
    w, h = map(int, subprocess.check_output(probe + ["stream=width,height", "-of", "csv=p=0", name]).split(b","))
    # A packet carrying a palette is listed as "tick," and a line of its own.
    # Chunk times (decoding order); the pictures decoded come in display
    # order, the k-th taking the k-th time.
    ticks = [int(t.split(b",")[0]) for t in subprocess.check_output(probe + ["packet=dts", "-of", "csv=p=0", name]).split()
             if t[:1].isdigit()]
    raw = subprocess.check_output(["ffmpeg", "-v", "error", "-i", name, "-map", "0:v", "-fps_mode", "passthrough",
                                   "-f", "rawvideo", "-pix_fmt", "bgr24", "-"])
    size = w * h * 3
    frames = []
    for k, tick in enumerate(ticks):
        frames += [frames[-1]] * (tick - len(frames)) if frames else []
        frames.append(raw[k * size:(k + 1) * size])
    open(out, "wb").write(b"".join(frames))


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "ref":
        reference(*sys.argv[2:4])
    elif mode == "write":
        write(library(sys.argv[2]), sys.argv[3])
    else:
        read(library(sys.argv[2]), sys.argv[3], sys.argv[4])
