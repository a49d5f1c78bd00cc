// The TIFF reader. The whole file is read into one block and every offset
// is checked against that copy before it is used.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - An IFD whose entries run past the end of the file, a StripOffsets or
//   StripByteCounts array outside the file, and a palette image whose
//   ColorMap is missing or outside the file are refused with
//   CONV_E_UNSUPPORTED, like any other file that is not a readable TIFF.
// - A width or height of 0, and an image whose pixel rows could not come
//   from a file of this size by any of the codings read here (more than
//   4096 bytes of rows per byte of file), are refused the same way.
// - RowsPerStrip 0 is taken as all rows in one strip, as when it is absent.
// - A resolution whose denominator is 0, or whose value lies outside the
//   file, counts as absent (0).
// - A strip whose offset lies outside the file decodes to nothing; a byte
//   count reaching past the end is cut at the end of the file; the rows of
//   an uncompressed strip stop at the end of the file. Strips for which
//   StripOffsets (or, when compressed, StripByteCounts) has no element are
//   not read. Rows that are not reached stay at colour index 0.
#include <cstring>

#include "codecs/packbits.h"
#include "platform/owners.h"
#include "codecs/tiff.h"
#include "codecs/tiff_lzw.h"
#include "entry/image_block.h"

namespace vc {

namespace {

constexpr uint16_t kShort = 3;
constexpr uint64_t kMaxExpansion = 4096;  // more than LZW or PackBits can reach

struct FileView {
    const uint8_t *data;
    size_t size;
    bool bigEndian;

    bool has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    uint16_t u16(size_t at) const {
        return bigEndian ? uint16_t(data[at] << 8 | data[at + 1]) : uint16_t(data[at] | data[at + 1] << 8);
    }
    uint32_t u32(size_t at) const {
        return bigEndian ? uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 |
                               data[at + 3]
                         : uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                               uint32_t(data[at + 3]) << 24;
    }
};

// StripOffsets and StripByteCounts: where the elements lie, how many, and
// whether they are SHORTs.
struct ArrayRef {
    bool present = false;
    bool inFile = false;
    size_t pos = 0;
    uint32_t count = 0;
    bool shorts = false;

    uint32_t at(const FileView &f, uint32_t i) const { return shorts ? f.u16(pos + 2 * size_t(i)) : f.u32(pos + 4 * size_t(i)); }
};

struct Rational {
    bool present = false;
    double value = 0;
};

struct Tags {
    uint32_t width = 0, length = 0;
    uint32_t bitsPerSample = 1;
    uint16_t compression = 1, photometric = 0, fillOrder = 1, samplesPerPixel = 1, planar = 1;
    uint16_t resolutionUnit = 2, extraSamples = 0;
    uint32_t rowsPerStrip = 4294967295u;
    uint32_t tileWidth = 0, tileLength = 0;
    ArrayRef stripOffsets, stripByteCounts;
    Rational xResolution, yResolution;
    bool hasColorMap = false;
    uint32_t colorMap = 0;
};

ArrayRef readArray(const FileView &f, size_t entry, uint16_t type, uint32_t count) {
    ArrayRef a;
    a.present = true;
    a.count = count;
    a.shorts = type == kShort;
    const uint64_t bytes = uint64_t(count) * (a.shorts ? 2 : 4);
    a.pos = bytes <= 4 ? entry + 8 : f.u32(entry + 8);
    a.inFile = f.has(a.pos, bytes);
    return a;
}

Rational readRational(const FileView &f, size_t entry) {
    Rational r;
    const uint32_t at = f.u32(entry + 8);
    if (!f.has(at, 8)) return r;
    const uint32_t numerator = f.u32(at), denominator = f.u32(at + 4);
    r.present = true;
    r.value = denominator ? double(numerator) / double(denominator) : 0.0;
    return r;
}

void readEntry(const FileView &f, size_t e, Tags &t) {
    const uint16_t tag = f.u16(e), type = f.u16(e + 2);
    const uint32_t count = f.u32(e + 4);
    const uint16_t shortValue = f.u16(e + 8);
    const uint32_t shortOrLong = type == kShort ? shortValue : f.u32(e + 8);
    switch (tag) {
    case 256: t.width = shortOrLong; break;
    case 257: t.length = shortOrLong; break;
    case 258:
        if (count == 1) {
            t.bitsPerSample = shortValue;
        } else {
            // Several samples: only three or more 8-bit ones are of use.
            t.bitsPerSample = 0;
            const size_t at = count * 2ull <= 4 ? e + 8 : f.u32(e + 8);
            if (count >= 3 && f.has(at, 6) && f.u16(at) == 8 && f.u16(at + 2) == 8 && f.u16(at + 4) == 8)
                t.bitsPerSample = 8;
        }
        break;
    case 259: t.compression = shortValue; break;
    case 262: t.photometric = shortValue; break;
    case 266: t.fillOrder = shortValue; break;
    case 273: t.stripOffsets = readArray(f, e, type, count); break;
    case 277: t.samplesPerPixel = shortValue; break;
    case 278: t.rowsPerStrip = shortOrLong; break;
    case 279: t.stripByteCounts = readArray(f, e, type, count); break;
    case 282: t.xResolution = readRational(f, e); break;
    case 283: t.yResolution = readRational(f, e); break;
    case 284: t.planar = shortValue; break;
    case 296: t.resolutionUnit = shortValue; break;
    case 320:
        t.hasColorMap = true;
        t.colorMap = f.u32(e + 8);
        break;
    case 322: t.tileWidth = shortOrLong; break;
    case 323: t.tileLength = shortOrLong; break;
    case 338: t.extraSamples = shortValue; break;
    default: break;  // Orientation, Predictor and the rest are not used
    }
}

int32_t pelsPerMeter(const Rational &r, uint16_t unit) {
    const double value = r.present ? r.value : 0.0;
    double v;
    if (unit == 3)
        v = value * 100.0;
    else if (unit == 2 || value != 0.0)
        v = value * 39.370078740157474;
    else
        v = 2953;
    return v >= 2147483647.0 ? INT32_MAX : int32_t(v);  // truncates toward zero
}

// Image block depth for the kind, or 0 when the kind is not read.
uint16_t blockDepth(const Tags &t) {
    switch (t.photometric) {
    case 0:
    case 1:
        if (t.samplesPerPixel == 1 && (t.bitsPerSample == 1 || t.bitsPerSample == 4 || t.bitsPerSample == 8))
            return uint16_t(t.bitsPerSample);
        return 0;
    case 2: return t.samplesPerPixel == 3 && t.bitsPerSample == 8 ? 24 : 0;
    case 3:
        return t.samplesPerPixel == 1 && (t.bitsPerSample == 4 || t.bitsPerSample == 8) ? uint16_t(t.bitsPerSample)
                                                                                         : 0;
    default: return 0;
    }
}

void fillColors(const FileView &f, const Tags &t, uint16_t depth, uint8_t *table) {
    const uint32_t n = 1u << depth;
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t *c = table + 4 * i;  // blue, green, red, reserved
        if (t.photometric == 3) {
            c[2] = uint8_t(f.u16(t.colorMap + 2 * i) >> 8);
            c[1] = uint8_t(f.u16(t.colorMap + 2 * (n + i)) >> 8);
            c[0] = uint8_t(f.u16(t.colorMap + 2 * (2 * n + i)) >> 8);
        } else {
            const uint32_t step = depth == 1 ? 255 : depth == 4 ? 17 : 1;
            const uint32_t level = (t.photometric == 0 ? n - 1 - i : i) * step;
            c[0] = c[1] = c[2] = uint8_t(level);
        }
    }
}

// Places one decoded row (fileRow bytes, of which only `have` are present)
// into the image block row.
void placeRow(const uint8_t *src, size_t have, uint8_t *dst, uint16_t depth) {
    if (depth != 24) {
        std::memcpy(dst, src, have);
        return;
    }
    for (size_t x = 0; x + 3 <= have; x += 3) {
        dst[x] = src[x + 2];
        dst[x + 1] = src[x + 1];
        dst[x + 2] = src[x];
    }
}

// Reads the strips into the image block's rows. Fails only when the
// compression is not one that is read or the work buffer is refused.
int16_t readStrips(const FileView &f, const Tags &t, uint16_t depth, uint8_t *bits) {
    const uint32_t height = t.length;
    const uint64_t dibRow = dibRowBytes(t.width, depth);
    const uint64_t fileRow = depth == 24 ? 3ull * t.width : (uint64_t(t.width) * depth + 7) / 8;
    uint64_t rows = t.rowsPerStrip;
    if (rows == 0 || rows > height) rows = height;
    const uint64_t strips = (height + rows - 1) / rows;

    const bool compressed = t.compression != 1;
    if (compressed && t.compression != 5 && t.compression != 32773) return CONV_E_DATA;
    plat::Block work;
    const uint64_t workSize = (rows + 1) * dibRow;
    if (compressed && !work.alloc(workSize)) return CONV_E_DATA;

    for (uint64_t s = 0; s < strips; ++s) {
        if (s >= t.stripOffsets.count || (compressed && s >= t.stripByteCounts.count)) break;
        const uint64_t first = s * rows;
        const uint64_t count = height - first < rows ? height - first : rows;
        const uint32_t offset = t.stripOffsets.at(f, uint32_t(s));
        const uint8_t *source;
        size_t available;
        if (!compressed) {
            source = f.data + (offset < f.size ? offset : f.size);
            available = offset < f.size ? f.size - offset : 0;
        } else {
            size_t produced = 0;
            if (offset < f.size) {
                size_t n = t.stripByteCounts.at(f, uint32_t(s));
                if (n > f.size - offset) n = f.size - offset;
                produced = t.compression == 5 ? tifflzw::decodeStrip(f.data + offset, n, work.data(), size_t(workSize))
                                              : packbits::decode(f.data + offset, n, work.data(), size_t(workSize));
            }
            // The buffer is reused strip after strip: what this strip did
            // not reach reads as zero.
            const size_t wanted = size_t(count * fileRow);
            if (produced < wanted) std::memset(work.data() + produced, 0, wanted - produced);
            source = work.data();
            available = wanted;
        }
        for (uint64_t r = 0; r < count; ++r) {
            const uint64_t at = r * fileRow;
            if (at >= available) break;
            const size_t have = size_t(available - at < fileRow ? available - at : fileRow);
            const uint64_t imageRow = first + r;
            placeRow(source + at, have, bits + (height - 1 - imageRow) * dibRow, depth);
        }
    }
    return CONV_OK;
}

int16_t readTiff(const FileView &f, MemHandle *image) {
    if (f.size < 8) return CONV_E_UNSUPPORTED;
    const uint32_t ifd = f.u32(4);
    if (ifd == 0 || !f.has(ifd, 2)) return CONV_E_UNSUPPORTED;
    const uint16_t entries = f.u16(ifd);
    if (!f.has(ifd + 2ull, 12ull * entries)) return CONV_E_UNSUPPORTED;

    Tags t;
    for (uint32_t i = 0; i < entries; ++i) readEntry(f, ifd + 2 + 12 * size_t(i), t);

    if (!t.stripOffsets.present || !t.stripByteCounts.present) return CONV_E_UNSUPPORTED;
    const bool faxOrOldJpeg = t.compression == 3 || t.compression == 4 || t.compression == 6;
    if (t.fillOrder != 1 || t.planar != 1 || t.extraSamples != 0 || t.tileWidth != 0 || t.tileLength != 0 ||
        t.stripOffsets.count == 0)
        return CONV_E_UNSUPPORTED;
    if (!t.stripOffsets.inFile || !t.stripByteCounts.inFile) return CONV_E_UNSUPPORTED;
    if (faxOrOldJpeg) return CONV_E_DATA;

    const uint16_t depth = blockDepth(t);
    if (!depth) return CONV_E_UNSUPPORTED;
    if (t.photometric == 3 && (!t.hasColorMap || !f.has(t.colorMap, 6ull << depth))) return CONV_E_UNSUPPORTED;
    if (t.width == 0 || t.length == 0) return CONV_E_UNSUPPORTED;
    const uint64_t fileRow = depth == 24 ? 3ull * t.width : (uint64_t(t.width) * depth + 7) / 8;
    if (t.length > f.size * kMaxExpansion / fileRow) return CONV_E_UNSUPPORTED;
    if (t.width > INT32_MAX || t.length > INT32_MAX) return CONV_E_MEMORY;

    MemHandle block = newPackedDib(int32_t(t.width), int32_t(t.length), depth, depth <= 8 ? 1u << depth : 0);
    if (!block) return CONV_E_MEMORY;
    auto *p = static_cast<uint8_t *>(plat::memLock(block));
    if (!p) {
        plat::memFree(block);
        return CONV_E_MEMORY;
    }
    ConvBitmapInfoHeader h;
    std::memcpy(&h, p, sizeof h);
    h.biXPelsPerMeter = pelsPerMeter(t.xResolution, t.resolutionUnit);
    h.biYPelsPerMeter = pelsPerMeter(t.yResolution, t.resolutionUnit);
    std::memcpy(p, &h, sizeof h);
    if (depth <= 8) fillColors(f, t, depth, p + kBitmapHeaderSize);

    const int16_t r = readStrips(f, t, depth, p + dibBitsOffset(h));
    plat::memUnlock(block);
    if (r != CONV_OK) {
        plat::memFree(block);
        return r;
    }
    *image = block;
    return CONV_OK;
}

}  // namespace

bool DetectTiffFile(HFile file) {
    uint8_t head[8];
    plat::fileSeek(file, 0, plat::kSeekSet);
    const int32_t n = plat::fileRead(file, head, sizeof head);
    plat::fileSeek(file, 0, plat::kSeekSet);
    if (n != int32_t(sizeof head)) return false;
    if (head[0] == 'I' && head[1] == 'I') return head[2] == 42 && head[3] == 0;
    if (head[0] == 'M' && head[1] == 'M') return head[2] == 0 && head[3] == 42;
    return false;
}

int16_t LoadTiffImage(const char *fileName, MemHandle *image) {
    MemHandle dummy = nullptr;
    if (!image) image = &dummy;  // the result is still worked out, then dropped
    *image = nullptr;
    const HFile file = plat::fileOpen(fileName, plat::kOpenRead);
    if (file == kFileError) return CONV_E_READ;
    const int32_t size = plat::fileSeek(file, 0, plat::kSeekEnd);
    if (size < 0) {
        plat::fileClose(file);
        return CONV_E_READ;
    }
    plat::Block copy;
    if (!copy.alloc(size_t(size))) {
        plat::fileClose(file);
        return CONV_E_MEMORY;
    }
    const bool whole = plat::fileSeek(file, 0, plat::kSeekSet) == 0 &&
                       plat::fileRead(file, copy.data(), uint32_t(size)) == size;
    plat::fileClose(file);
    if (!whole) return CONV_E_READ;

    FileView f{copy.data(), size_t(size), false};
    if (f.size < 8) return CONV_E_UNSUPPORTED;
    if (copy.data()[0] == 'M' && copy.data()[1] == 'M')
        f.bigEndian = true;
    else if (copy.data()[0] != 'I' || copy.data()[1] != 'I')
        return CONV_E_UNSUPPORTED;
    if (f.u16(2) != 42) return CONV_E_UNSUPPORTED;
    const int16_t r = readTiff(f, image);
    if (image == &dummy && dummy) plat::memFree(dummy);
    return r;
}

int16_t GetTiffPreview(const char *fileName, ConvImageRecord *record) {
    if (!record) return CONV_E_FORMAT;
    record->image = nullptr;
    record->bitsOffset = 0;
    MemHandle image = nullptr;
    const int16_t r = LoadTiffImage(fileName, &image);
    record->image = image;
    return r;
}

int16_t tiffLoadRow(const LoadRequest &request) {
    if (!request.record) return CONV_E_FORMAT;
    MemHandle image = nullptr;
    const int16_t r = LoadTiffImage(request.fileName, &image);
    request.record->image = image;
    return r;
}

}  // namespace vc
