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
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "codecs/packbits.h"
#include "platform/owners.h"
#include "codecs/tiff.h"
#include "codecs/tiff_lzw.h"
#include "common/bytes.h"
#include "ui/services.h"
#include "common/image_block.h"

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

using namespace tiff;

constexpr int kEntries = 20;
constexpr uint32_t kIfdSize = 2 + 12 * kEntries + 4;
constexpr char kSoftwareName[14] = "Velmora V2.5";
constexpr uint32_t kDateTimeSize = 20;

// Writes all bytes or reports failure.
bool writeAll(const plat::File &f, const void *data, uint64_t size) {
    return size <= UINT32_MAX / 2 && f.writeAll(data, uint32_t(size));
}

struct Image {
    const uint8_t *colors;  // blue, green, red, reserved
    uint32_t colorCount;
    const uint8_t *bits;
    uint32_t width, height;
    bool bottomUp;  // the block's rows run bottom up (positive height)
    uint16_t depth;
    int32_t xPelsPerMeter, yPelsPerMeter;
    uint64_t dibRow, row;  // bytes of a block row and of a file row

    // Image row i counted from the top.
    const uint8_t *topRow(uint32_t i) const {
        const uint32_t stored = bottomUp ? height - 1 - i : i;
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
    // Entries of the ColorMap: one per index at depths 4 and 8, none else.
    uint32_t mapColors() const { return depth == 4 || depth == 8 ? 1u << depth : 0; }
};

uint16_t bilevelPhotometric(const Image &im) {
    uint8_t r0, g0, b0, r1, g1, b1;
    im.color(0, r0, g0, b0);
    im.color(1, r1, g1, b1);
    const bool whiteBlack = r0 == 255 && g0 == 255 && b0 == 255 && r1 == 0 && g1 == 0 && b1 == 0;
    return whiteBlack ? 0 : 1;
}

// How the rows are cut into strips, and where each strip went: its offset
// and byte count as LONGs in file order, the values of StripOffsets and
// StripByteCounts.
struct Strips {
    uint32_t rowsPerStrip = 0, count = 0;
    plat::Block offsets, counts;
};

// Rows per strip for the option's strip size, held to what a SHORT holds.
uint32_t rowsPerStrip(const Image &im, const TiffSaveOptions &o) {
    uint64_t rows = uint64_t(o.stripSize) * 1024 / im.row;
    if (rows == 0) rows = 1;
    if (rows > 65535) rows = 65535;
    return uint32_t(rows);
}

// Writes the strips from the current file position (offset 8), advancing
// position. Returns false when a buffer was refused or a write stored fewer
// bytes than asked. LZW strips are coded two at a time (the coder
// interleaves them), so their buffers hold two strips each.
bool writeStrips(const plat::File &f, const Image &im, const TiffSaveOptions &o, Strips &table, uint32_t &position) {
    const uint32_t rowsPerStrip = table.rowsPerStrip, strips = table.count;
    const uint64_t stripBytes = uint64_t(rowsPerStrip) * im.row;
    const bool lzw = o.compression == kLzw;
    const uint32_t group = lzw && strips > 1 ? 2 : 1;
    const size_t lzwBound = tifflzw::encodeBound(size_t(stripBytes));
    plat::Block strip, coded;
    tifflzw::EncodeTable lzwTable;
    bool ok = strip.alloc(group * stripBytes);
    if (ok && lzw) {
        ok = coded.alloc(uint64_t(group) * lzwBound) && tifflzw::encodeTableAlloc(lzwTable);
    } else if (ok && o.compression == kPackBits) {
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
        storeLe32(table.offsets.data() + 4 * size_t(s), position);
        storeLe32(table.counts.data() + 4 * size_t(s), uint32_t(length));
        position += uint32_t(length);
    };
    for (uint32_t s = 0; ok && s < strips; s += group) {
        const size_t placed = place(s, strip.data());
        if (lzw && s + 1 < strips) {
            uint8_t *const second = strip.data() + stripBytes;
            const size_t placed1 = place(s + 1, second);
            size_t length0, length1;
            tifflzw::encodeStripPair(strip.data(), placed, coded.data(), length0, second, placed1,
                                     coded.data() + lzwBound, length1, lzwTable);
            emit(s, coded.data(), length0);
            if (ok) emit(s + 1, coded.data() + lzwBound, length1);
        } else if (lzw) {
            emit(s, coded.data(), tifflzw::encodeStrip(strip.data(), placed, coded.data(), lzwTable));
        } else if (o.compression == kPackBits) {
            size_t length = 0;
            for (size_t r = 0; r < placed; r += size_t(im.row))
                length += packbits::encodeRow(strip.data() + r, size_t(im.row), coded.data() + length);
            emit(s, coded.data(), length);
        } else {
            emit(s, strip.data(), placed);
        }
    }
    return ok;
}

// The IFD: 20 entries in tag order and no next IFD. Values that do not fit
// an entry go to the value area, which starts at valueAt, in the order the
// entries name them; writeValueArea writes them in that order.
void buildIfd(ByteWriter &dir, const Image &im, const TiffSaveOptions &o, const Strips &strips, uint32_t valueAt) {
    auto entry = [&](Tag tag, FieldType type, uint32_t count, uint32_t value) {
        dir.u16(tag);
        dir.u16(type);
        dir.u32(count);
        if (type == kShort && count == 1) {
            dir.u16(value);
            dir.u16(0);
        } else {
            dir.u32(value);
        }
    };
    auto area = [&](uint32_t bytes) {
        const uint32_t at = valueAt;
        valueAt += bytes;
        return at;
    };
    const uint16_t photometric = im.depth == 1 ? bilevelPhotometric(im) : im.depth == 24 ? 2 : 3;
    const uint32_t colors = im.mapColors();
    dir.u16(kEntries);
    entry(kNewSubfileType, kLong, 1, 0);
    entry(kSubfileType, kShort, 1, 1);
    entry(kImageWidth, kLong, 1, im.width);
    entry(kImageLength, kLong, 1, im.height);
    if (im.depth == 24)
        entry(kBitsPerSample, kShort, 3, area(6));
    else
        entry(kBitsPerSample, kShort, 1, im.depth);
    entry(kCompression, kShort, 1, o.compression);
    entry(kPhotometric, kShort, 1, photometric);
    entry(kFillOrder, kShort, 1, 1);
    // One strip keeps its offset and byte count in the entries themselves.
    const bool oneStrip = strips.count == 1;
    entry(kStripOffsets, kLong, strips.count, oneStrip ? loadLe32(strips.offsets.data()) : area(4 * strips.count));
    entry(kOrientation, kShort, 1, 1);
    entry(kSamplesPerPixel, kShort, 1, im.depth == 24 ? 3 : 1);
    entry(kRowsPerStrip, kShort, 1, strips.rowsPerStrip);
    entry(kStripByteCounts, kLong, strips.count, oneStrip ? loadLe32(strips.counts.data()) : area(4 * strips.count));
    const uint32_t xAt = area(8), yAt = area(8);
    entry(kXResolution, kRational, 1, xAt);
    entry(kYResolution, kRational, 1, yAt);
    entry(kPlanarConfiguration, kShort, 1, 1);
    entry(kResolutionUnit, kShort, 1, 3);
    entry(kSoftware, kAscii, sizeof kSoftwareName, area(sizeof kSoftwareName));
    entry(kDateTime, kAscii, kDateTimeSize, area(kDateTimeSize));
    if (colors)
        entry(kColorMap, kShort, 3 * colors, area(6 * colors));
    else
        dir.fill(0, 12);  // the zero entry keeps the count at 20
    dir.u32(0);           // no next IFD
}

// The value area behind the IFD. Returns false when a write stored fewer
// bytes than asked or the ColorMap's block was refused.
bool writeValueArea(const plat::File &f, const Image &im, const Strips &strips) {
    bool ok = true;
    if (im.depth == 24) {
        uint8_t eights[6];
        ByteWriter w(eights, sizeof eights);
        for (int i = 0; i < 3; ++i) w.u16(8);
        ok = writeAll(f, eights, sizeof eights) && ok;
    }
    if (strips.count > 1) {
        ok = writeAll(f, strips.offsets.data(), 4ull * strips.count) && ok;
        ok = writeAll(f, strips.counts.data(), 4ull * strips.count) && ok;
    }
    int year, month, day, hour, minute, second;
    (tiff::gClock ? tiff::gClock : tiff::systemClock)(year, month, day, hour, minute, second);
    char date[kDateTimeSize + 1];
    std::snprintf(date, sizeof date, "%04u:%02u:%02u %02u:%02u:%02u", unsigned(year) % 10000u,
                  unsigned(month) % 100u, unsigned(day) % 100u, unsigned(hour) % 100u, unsigned(minute) % 100u,
                  unsigned(second) % 100u);
    uint8_t tail[8 + 8 + sizeof kSoftwareName + kDateTimeSize];
    ByteWriter w(tail, sizeof tail);
    w.u32(uint32_t(im.xPelsPerMeter));
    w.u32(100);
    w.u32(uint32_t(im.yPelsPerMeter));
    w.u32(100);
    w.bytes(kSoftwareName, sizeof kSoftwareName);
    w.bytes(date, kDateTimeSize);
    ok = writeAll(f, tail, sizeof tail) && ok;

    if (const uint32_t colors = im.mapColors()) {
        // All reds, then all greens, then all blues, each as 16 bits.
        plat::Block map;
        if (!map.alloc(6ull * colors)) return false;
        ByteWriter reds(map.data(), 2 * colors), greens(map.data() + 2 * colors, 2 * colors),
            blues(map.data() + 4 * colors, 2 * colors);
        for (uint32_t i = 0; i < colors; ++i) {
            uint8_t r, g, b;
            im.color(i, r, g, b);
            reds.u16(uint32_t(r) << 8);
            greens.u16(uint32_t(g) << 8);
            blues.u16(uint32_t(b) << 8);
        }
        ok = writeAll(f, map.data(), 6ull * colors) && ok;
    }
    return ok;
}

int16_t saveImage(const char *fileName, const Image &im, const TiffSaveOptions &o) {
    plat::File f;
    if (!f.create(fileName)) return CONV_E_WRITE;
    uint8_t header[8];
    ByteWriter h(header, sizeof header);
    h.u8('I');
    h.u8('I');
    h.u16(42);
    h.u32(0);  // the IFD's offset, once it is known
    if (!writeAll(f, header, sizeof header)) return CONV_E_WRITE;

    Strips strips;
    strips.rowsPerStrip = rowsPerStrip(im, o);
    strips.count = uint32_t((im.height + uint64_t(strips.rowsPerStrip) - 1) / strips.rowsPerStrip);
    if (!strips.offsets.alloc(4ull * strips.count) || !strips.counts.alloc(4ull * strips.count))
        return CONV_E_MEMORY;

    uint32_t position = 8;
    bool ok = writeStrips(f, im, o, strips, position);
    if (position & 1) {
        const uint8_t pad = 0;
        ok = writeAll(f, &pad, 1) && ok;
        ++position;
    }

    const uint32_t ifd = position;
    uint8_t dir[kIfdSize];
    ByteWriter d(dir, sizeof dir);
    buildIfd(d, im, o, strips, ifd + kIfdSize);
    ok = writeAll(f, dir, sizeof dir) && ok;
    ok = writeValueArea(f, im, strips) && ok;

    h.seek(4);
    h.u32(ifd);
    ok = f.seekTo(4) && writeAll(f, header + 4, 4) && ok;
    ok = f.close() && ok;
    return ok ? CONV_OK : CONV_E_WRITE;
}

}  // namespace

int16_t SaveTiffImage(const char *fileName, MemHandle image, const TiffSaveOptions &options) {
    const plat::Lock block(image);
    if (!block) return CONV_E_UNSUPPORTED;
    ConvBitmapInfoHeader h;
    if (block.size() < sizeof h) return CONV_E_UNSUPPORTED;
    std::memcpy(&h, block.data(), sizeof h);
    const bool usable = dibHeaderUsable(h, block.size()) && options.bitCount == h.biBitCount &&
                        (options.compression == kUncompressed || options.compression == kLzw ||
                         options.compression == kPackBits);
    if (!usable) return CONV_E_UNSUPPORTED;
    Image im;
    im.colors = block.data() + kBitmapHeaderSize;
    im.colorCount = dibColorCount(h);
    im.bits = block.data() + dibBitsOffset(h);
    im.width = uint32_t(h.biWidth);
    im.height = uint32_t(h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight);
    im.bottomUp = h.biHeight > 0;
    im.depth = h.biBitCount;
    im.xPelsPerMeter = h.biXPelsPerMeter;
    im.yPelsPerMeter = h.biYPelsPerMeter;
    im.dibRow = dibRowBytes(h.biWidth, h.biBitCount);
    im.row = (uint64_t(h.biBitCount) * im.width + 7) / 8;
    return saveImage(fileName, im, options);
}

int16_t tiffSaveRow(const SaveRequest &request) {
    TiffSaveOptions &o = tiff::saveOptions();
    uint32_t bitCount = 0;
    if (const plat::Lock block(request.image); block) {
        ByteReader header = ByteReader(block.data(), block.size()).at(0, kBitmapHeaderSize);
        header.skip(offsetof(ConvBitmapInfoHeader, biBitCount));
        bitCount = header.u16();  // 0 when the block is too small for a header
    }
    o = TiffSaveOptions{bitCount, kLzw, 8};
    return SaveTiffImage(request.fileName, request.image, o);
}

}  // namespace vc
