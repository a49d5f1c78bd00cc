// The TIFF writer: one little-endian file, the strips from offset 8, then
// the IFD of 20 entries and its value area. The layout is fixed so that the
// editor's older files and new ones compare byte for byte.
//
// Choices for what the file format leaves open:
// - An image block that cannot be locked or whose header is not usable
//   (depth other than 1, 4, 8 or 24, sizes that do not fit the block), an
//   option record whose bit count disagrees with the block, or a
//   compression other than 1, 5 and 32773 is refused with
//   CONV_E_UNSUPPORTED before the file is created.
// - The LZW string table and the strip buffers are allocated once per save
//   and reused for every strip; when one of them is refused no strip is
//   written, the IFD still is, and the result is CONV_E_WRITE.
// - The coded-output block is as large as the coding can need in the worst
//   case (LZW: 12 bits per byte plus the Clear and End codes; PackBits: one
//   control byte per 128 bytes of each row), so no strip can overrun it.
// - RowsPerStrip is a SHORT: a strip size that would give more than 65535
//   rows per strip is held at 65535 rows.
// - A top-down image block (negative height) is written top row first too.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "codecs/packbits.h"
#include "platform/owners.h"
#include "codecs/tiff.h"
#include "codecs/tiff_lzw.h"
#include "common/services.h"
#include "entry/image_block.h"

namespace vc {

namespace tiff {

TiffSaveOptions &saveOptions() {
    static TiffSaveOptions options{0, 5, 8};
    return options;
}

namespace {
Clock gClock = nullptr;

void systemClock(int &year, int &month, int &day, int &hour, int &minute, int &second) {
    const std::time_t now = std::time(nullptr);
    const std::tm *t = std::localtime(&now);
    if (!t) {
        year = 1970, month = 1, day = 1, hour = minute = second = 0;
        return;
    }
    year = t->tm_year + 1900, month = t->tm_mon + 1, day = t->tm_mday;
    hour = t->tm_hour, minute = t->tm_min, second = t->tm_sec;
}
}  // namespace

void setClock(Clock clock) { gClock = clock; }

}  // namespace tiff

namespace {

constexpr uint16_t kAscii = 2, kShort = 3, kLong = 4, kRational = 5;
constexpr int kEntries = 20;
constexpr uint32_t kIfdSize = 2 + 12 * kEntries + 4;
constexpr char kSoftware[14] = "Velmora V2.5";

void put16(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

// Writes all bytes or reports failure.
bool writeAll(HFile f, const void *data, uint64_t size) {
    return size <= UINT32_MAX / 2 && plat::fileWrite(f, data, uint32_t(size)) == int32_t(size);
}

struct Image {
    const ConvBitmapInfoHeader *header;
    const uint8_t *colors;  // blue, green, red, reserved
    uint32_t colorCount;
    const uint8_t *bits;
    uint32_t width, height;
    uint16_t depth;
    uint64_t dibRow, row;  // bytes of a block row and of a file row

    // Image row i counted from the top.
    const uint8_t *topRow(uint32_t i) const {
        const uint32_t stored = header->biHeight > 0 ? height - 1 - i : i;
        return bits + stored * dibRow;
    }
    bool color(uint32_t i, uint8_t &r, uint8_t &g, uint8_t &b) const {
        if (i >= colorCount) {
            r = g = b = 0;
            return false;
        }
        b = colors[4 * i], g = colors[4 * i + 1], r = colors[4 * i + 2];
        return true;
    }
};

uint16_t bilevelPhotometric(const Image &im) {
    uint8_t r0, g0, b0, r1, g1, b1;
    im.color(0, r0, g0, b0);
    im.color(1, r1, g1, b1);
    const bool whiteBlack = r0 == 255 && g0 == 255 && b0 == 255 && r1 == 0 && g1 == 0 && b1 == 0;
    return whiteBlack ? 0 : 1;
}

// Writes the strips from the current file position (offset 8). Returns false
// when a buffer was refused or a write stored fewer bytes than asked. LZW
// strips are coded two at a time (the coder interleaves them), so their
// buffers hold two strips each.
bool writeStrips(HFile f, const Image &im, const TiffSaveOptions &o, uint32_t rowsPerStrip, uint32_t strips,
                 uint8_t *offsets, uint8_t *counts, uint32_t &position) {
    const uint64_t stripBytes = uint64_t(rowsPerStrip) * im.row;
    const bool lzw = o.compression == 5;
    const uint32_t group = lzw && strips > 1 ? 2 : 1;
    const size_t lzwBound = tifflzw::encodeBound(size_t(stripBytes));
    plat::Block strip, coded;
    tifflzw::EncodeTable table;
    bool ok = strip.alloc(group * stripBytes);
    if (ok && lzw) {
        ok = coded.alloc(uint64_t(group) * lzwBound) && tifflzw::encodeTableAlloc(table);
    } else if (ok && o.compression == 32773) {
        ok = coded.alloc(uint64_t(rowsPerStrip) * packbits::rowBound(size_t(im.row)));
    }
    // Strip s's rows, top first, as the file holds them; returns their bytes.
    auto place = [&](uint32_t s, uint8_t *dst) {
        const uint32_t first = s * rowsPerStrip;
        const uint32_t rows = im.height - first < rowsPerStrip ? im.height - first : rowsPerStrip;
        for (uint32_t r = 0; r < rows; ++r, dst += im.row) {
            const uint8_t *src = im.topRow(first + r);
            if (im.depth == 24) {
                for (uint64_t x = 0; x < im.row; x += 3) {
                    dst[x] = src[x + 2];
                    dst[x + 1] = src[x + 1];
                    dst[x + 2] = src[x];
                }
            } else {
                std::memcpy(dst, src, size_t(im.row));
            }
            SetProgress(int32_t(uint64_t(first + r) * 100 / im.height));
        }
        return size_t(rows * im.row);
    };
    auto emit = [&](uint32_t s, const uint8_t *data, size_t length) {
        if (!writeAll(f, data, length) || uint64_t(position) + length > UINT32_MAX) ok = false;
        put32(offsets + 4 * size_t(s), position);
        put32(counts + 4 * size_t(s), uint32_t(length));
        position += uint32_t(length);
    };
    for (uint32_t s = 0; ok && s < strips; s += group) {
        const size_t placed = place(s, strip.data());
        if (lzw && s + 1 < strips) {
            uint8_t *const second = strip.data() + stripBytes;
            const size_t placed1 = place(s + 1, second);
            size_t length0, length1;
            tifflzw::encodeStripPair(strip.data(), placed, coded.data(), length0, second, placed1,
                                     coded.data() + lzwBound, length1, table);
            emit(s, coded.data(), length0);
            if (ok) emit(s + 1, coded.data() + lzwBound, length1);
        } else if (lzw) {
            emit(s, coded.data(), tifflzw::encodeStrip(strip.data(), placed, coded.data(), table));
        } else if (o.compression == 32773) {
            size_t length = 0;
            for (size_t r = 0; r < placed; r += size_t(im.row))
                length += packbits::encodeRow(strip.data() + r, size_t(im.row), coded.data() + length);
            emit(s, coded.data(), length);
        } else {
            emit(s, strip.data(), placed);
        }
    }
    tifflzw::encodeTableFree(table);
    return ok;
}

int16_t saveLocked(const char *fileName, const Image &im, const TiffSaveOptions &o) {
    const uint16_t photometric = im.depth == 1 ? bilevelPhotometric(im) : im.depth == 24 ? 2 : 3;

    const HFile f = plat::fileCreate(fileName, 0);
    if (f == kFileError) return CONV_E_WRITE;
    uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    if (!writeAll(f, header, sizeof header)) {
        plat::fileClose(f);
        return CONV_E_WRITE;
    }

    uint64_t rowsPerStrip = uint64_t(o.stripSize) * 1024 / im.row;
    if (rowsPerStrip == 0) rowsPerStrip = 1;
    if (rowsPerStrip > 65535) rowsPerStrip = 65535;
    const uint32_t strips = uint32_t((im.height + rowsPerStrip - 1) / rowsPerStrip);
    plat::Block offsets, counts;
    if (!offsets.alloc(4ull * strips) || !counts.alloc(4ull * strips)) {
        plat::fileClose(f);
        return CONV_E_MEMORY;
    }

    uint32_t position = 8;
    bool ok = writeStrips(f, im, o, uint32_t(rowsPerStrip), strips, offsets.data(), counts.data(), position);

    if (position & 1) {
        const uint8_t pad = 0;
        ok = writeAll(f, &pad, 1) && ok;
        ++position;
    }
    const uint32_t ifd = position;
    uint32_t value = ifd + kIfdSize;  // next free offset in the value area

    uint8_t dir[kIfdSize] = {};
    put16(dir, kEntries);
    uint8_t *e = dir + 2;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t v) {
        put16(e, tag);
        put16(e + 2, type);
        put32(e + 4, count);
        if (type == kShort && count == 1)
            put16(e + 8, v);
        else
            put32(e + 8, v);
        e += 12;
    };
    auto area = [&](uint32_t bytes) {
        const uint32_t at = value;
        value += bytes;
        return at;
    };
    const uint32_t colors = im.depth == 4 || im.depth == 8 ? 1u << im.depth : 0;
    entry(254, kLong, 1, 0);
    entry(255, kShort, 1, 1);
    entry(256, kLong, 1, im.width);
    entry(257, kLong, 1, im.height);
    if (im.depth == 24)
        entry(258, kShort, 3, area(6));
    else
        entry(258, kShort, 1, im.depth);
    entry(259, kShort, 1, o.compression);
    entry(262, kShort, 1, photometric);
    entry(266, kShort, 1, 1);
    auto get32 = [](const uint8_t *p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    // One strip keeps its offset and byte count in the entries themselves.
    entry(273, kLong, strips, strips == 1 ? get32(offsets.data()) : area(4 * strips));
    entry(274, kShort, 1, 1);
    entry(277, kShort, 1, im.depth == 24 ? 3 : 1);
    entry(278, kShort, 1, uint32_t(rowsPerStrip));
    entry(279, kLong, strips, strips == 1 ? get32(counts.data()) : area(4 * strips));
    const uint32_t xAt = area(8), yAt = area(8);
    entry(282, kRational, 1, xAt);
    entry(283, kRational, 1, yAt);
    entry(284, kShort, 1, 1);
    entry(296, kShort, 1, 3);
    entry(305, kAscii, sizeof kSoftware, area(sizeof kSoftware));
    entry(306, kAscii, 20, area(20));
    if (colors)
        entry(320, kShort, 3 * colors, area(6 * colors));
    else
        e += 12;  // the zero entry keeps the count at 20
    put32(e, 0);  // no next IFD

    ok = writeAll(f, dir, sizeof dir) && ok;
    if (im.depth == 24) {
        const uint8_t eights[6] = {8, 0, 8, 0, 8, 0};
        ok = writeAll(f, eights, sizeof eights) && ok;
    }
    if (strips > 1) {
        ok = writeAll(f, offsets.data(), 4ull * strips) && ok;
        ok = writeAll(f, counts.data(), 4ull * strips) && ok;
    }
    uint8_t tail[8 + 8 + sizeof kSoftware + 20] = {};
    put32(tail, uint32_t(im.header->biXPelsPerMeter));
    put32(tail + 4, 100);
    put32(tail + 8, uint32_t(im.header->biYPelsPerMeter));
    put32(tail + 12, 100);
    std::memcpy(tail + 16, kSoftware, sizeof kSoftware);
    int year, month, day, hour, minute, second;
    (tiff::gClock ? tiff::gClock : tiff::systemClock)(year, month, day, hour, minute, second);
    char date[21];
    std::snprintf(date, sizeof date, "%04u:%02u:%02u %02u:%02u:%02u", unsigned(year) % 10000u,
                  unsigned(month) % 100u, unsigned(day) % 100u, unsigned(hour) % 100u, unsigned(minute) % 100u,
                  unsigned(second) % 100u);
    std::memcpy(tail + 16 + sizeof kSoftware, date, 20);
    ok = writeAll(f, tail, sizeof tail) && ok;
    if (colors) {
        plat::Block map;
        if (map.alloc(6ull * colors)) {
            for (uint32_t i = 0; i < colors; ++i) {
                uint8_t r, g, b;
                im.color(i, r, g, b);
                put16(map.data() + 2 * i, uint32_t(r) << 8);
                put16(map.data() + 2 * (colors + i), uint32_t(g) << 8);
                put16(map.data() + 2 * (2 * colors + i), uint32_t(b) << 8);
            }
            ok = writeAll(f, map.data(), 6ull * colors) && ok;
        } else {
            ok = false;
        }
    }
    put32(header + 4, ifd);
    ok = plat::fileSeek(f, 4, plat::kSeekSet) == 4 && writeAll(f, header + 4, 4) && ok;
    plat::fileClose(f);
    return ok ? CONV_OK : CONV_E_WRITE;
}

}  // namespace

int16_t SaveTiffImage(const char *fileName, MemHandle image, const TiffSaveOptions &options) {
    auto *p = static_cast<uint8_t *>(plat::memLock(image));
    if (!p) return CONV_E_UNSUPPORTED;
    const size_t blockSize = plat::memSize(image);
    int16_t result = CONV_E_UNSUPPORTED;
    ConvBitmapInfoHeader h;
    if (blockSize >= sizeof h) std::memcpy(&h, p, sizeof h);
    const bool usable = blockSize >= sizeof h && dibHeaderUsable(h, blockSize) && options.bitCount == h.biBitCount &&
                        (options.compression == 1 || options.compression == 5 || options.compression == 32773);
    if (usable) {
        Image im;
        im.header = reinterpret_cast<const ConvBitmapInfoHeader *>(p);
        im.colors = p + kBitmapHeaderSize;
        im.colorCount = dibColorCount(h);
        im.bits = p + dibBitsOffset(h);
        im.width = uint32_t(h.biWidth);
        im.height = uint32_t(h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight);
        im.depth = h.biBitCount;
        im.dibRow = dibRowBytes(h.biWidth, h.biBitCount);
        im.row = (uint64_t(h.biBitCount) * im.width + 7) / 8;
        result = saveLocked(fileName, im, options);
    }
    plat::memUnlock(image);
    return result;
}

int16_t tiffSaveRow(const SaveRequest &request) {
    TiffSaveOptions &o = tiff::saveOptions();
    uint32_t bitCount = 0;
    if (auto *p = static_cast<const uint8_t *>(plat::memLock(request.image))) {
        if (plat::memSize(request.image) >= kBitmapHeaderSize)
            bitCount = uint32_t(p[14]) | uint32_t(p[15]) << 8;  // biBitCount
        plat::memUnlock(request.image);
    }
    o = TiffSaveOptions{bitCount, 5, 8};
    return SaveTiffImage(request.fileName, request.image, o);
}

}  // namespace vc
