// The TIFF reader. The whole file is read into one block, and every value
// is read from it through a checked reader over the bytes it should lie in,
// in the file's byte order; a structure that does not lie inside the file
// is found out before any of it is used.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - An IFD whose entries run past the end of the file, a StripOffsets or
//   StripByteCounts array outside the file, and a palette image whose
//   ColorMap is missing or outside the file are refused with
//   CONV_E_UNSUPPORTED, like any other file that is not a readable TIFF.
// - A width or height of 0, and an image whose pixel rows could not come
//   from a file of this size by any of the codings read here (more bytes
//   of rows per byte of file than limits().expansion), are refused the
//   same way.
// - RowsPerStrip 0 is taken as all rows in one strip, as when it is absent.
// - A resolution whose denominator is 0, or whose value lies outside the
//   file, counts as absent (0).
// - A strip whose offset lies outside the file decodes to nothing; a byte
//   count reaching past the end is cut at the end of the file; the rows of
//   an uncompressed strip stop at the end of the file. Strips for which
//   StripOffsets (or, when compressed, StripByteCounts) has no element are
//   not read. Rows that are not reached stay at colour index 0.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "codecs/packbits.h"
#include "codecs/tiff.h"
#include "codecs/tiff_lzw.h"
#include "common/whole_file.h"
#include "common/bytes.h"
#include "common/exact_double.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "common/image_block.h"
#include "platform/owners.h"

namespace vc {

namespace {

using namespace tiff;

// The file's bytes in the byte order its header names.
struct TiffFile {
    ByteReader bytes;
    bool bigEndian = false;

    size_t size() const { return bytes.size(); }
    // length bytes from offset; failed when any of them lies outside.
    ByteReader at(uint64_t offset, uint64_t length) const { return bytes.at(offset, length); }
    uint16_t u16(ByteReader &r) const { return bigEndian ? r.u16be() : r.u16(); }
    uint32_t u32(ByteReader &r) const { return bigEndian ? r.u32be() : r.u32(); }
    // One value at an offset the caller has checked; 0 outside the file.
    uint16_t u16At(uint64_t offset) const {
        ByteReader r = at(offset, 2);
        return u16(r);
    }
    uint32_t u32At(uint64_t offset) const {
        ByteReader r = at(offset, 4);
        return u32(r);
    }
};

// StripOffsets and StripByteCounts: their elements' bytes (failed when they
// do not all lie in the file), how many, and whether they are SHORTs.
struct ArrayRef {
    bool present = false;
    ByteReader elements;
    uint32_t count = 0;
    bool shorts = false;

    bool inFile() const { return elements.ok(); }
    uint32_t at(const TiffFile &f, uint32_t i) const {
        const uint32_t width = shorts ? 2 : 4;
        ByteReader e = elements.at(uint64_t(i) * width, width);
        return shorts ? f.u16(e) : f.u32(e);
    }
};

struct Rational {
    bool present = false;
    uint32_t numerator = 0, denominator = 0;
};

struct Tags {
    uint32_t width = 0, length = 0;
    uint32_t bitsPerSample = 1;
    uint16_t compression = kUncompressed, photometric = 0, fillOrder = 1, samplesPerPixel = 1, planar = 1;
    uint16_t resolutionUnit = 2, extraSamples = 0;
    uint32_t rowsPerStrip = 4294967295u;
    uint32_t tileWidth = 0, tileLength = 0;
    ArrayRef stripOffsets, stripByteCounts;
    Rational xResolution, yResolution;
    bool hasColorMap = false;
    uint32_t colorMap = 0;
};

// One IFD entry: its fields, and where its 4-byte value field lies.
struct Entry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    uint64_t valueAt = 0;
};

ArrayRef readArray(const TiffFile &f, const Entry &e) {
    ArrayRef a;
    a.present = true;
    a.count = e.count;
    a.shorts = e.type == kShort;
    const uint64_t bytes = uint64_t(e.count) * (a.shorts ? 2 : 4);
    a.elements = f.at(bytes <= 4 ? e.valueAt : f.u32At(e.valueAt), bytes);
    return a;
}

Rational readRational(const TiffFile &f, const Entry &e) {
    Rational r;
    ByteReader v = f.at(f.u32At(e.valueAt), 8);
    const uint32_t numerator = f.u32(v), denominator = f.u32(v);
    if (!v.ok()) return r;
    r.present = true;
    r.numerator = numerator;
    r.denominator = denominator;
    return r;
}

// BitsPerSample of several samples: only three or more 8-bit ones are of
// use (8), anything else is not (0).
uint32_t readSampleBits(const TiffFile &f, const Entry &e) {
    if (e.count < 3) return 0;
    ByteReader v = f.at(f.u32At(e.valueAt), 6);
    const bool eights = f.u16(v) == 8 && f.u16(v) == 8 && f.u16(v) == 8;
    return v.ok() && eights ? 8 : 0;
}

void readEntry(const TiffFile &f, uint64_t at, Tags &t) {
    ByteReader r = f.at(at, 12);
    Entry e;
    e.tag = f.u16(r);
    e.type = f.u16(r);
    e.count = f.u32(r);
    e.valueAt = at + 8;
    const uint16_t shortValue = f.u16At(e.valueAt);
    const uint32_t shortOrLong = e.type == kShort ? shortValue : f.u32At(e.valueAt);
    switch (e.tag) {
    case kImageWidth: t.width = shortOrLong; break;
    case kImageLength: t.length = shortOrLong; break;
    case kBitsPerSample: t.bitsPerSample = e.count == 1 ? shortValue : readSampleBits(f, e); break;
    case kCompression: t.compression = shortValue; break;
    case kPhotometric: t.photometric = shortValue; break;
    case kFillOrder: t.fillOrder = shortValue; break;
    case kStripOffsets: t.stripOffsets = readArray(f, e); break;
    case kSamplesPerPixel: t.samplesPerPixel = shortValue; break;
    case kRowsPerStrip: t.rowsPerStrip = shortOrLong; break;
    case kStripByteCounts: t.stripByteCounts = readArray(f, e); break;
    case kXResolution: t.xResolution = readRational(f, e); break;
    case kYResolution: t.yResolution = readRational(f, e); break;
    case kPlanarConfiguration: t.planar = shortValue; break;
    case kResolutionUnit: t.resolutionUnit = shortValue; break;
    case kColorMap:
        t.hasColorMap = true;
        t.colorMap = f.u32At(e.valueAt);
        break;
    case kTileWidth: t.tileWidth = shortOrLong; break;
    case kTileLength: t.tileLength = shortOrLong; break;
    case kExtraSamples: t.extraSamples = shortValue; break;
    default: break;  // Orientation, Predictor and the rest are not used
    }
}

// The value in double precision times 100 (per centimetre) or 39.37...
// (per inch, and when the unit says nothing), truncated toward zero; 2953
// (75 per inch) when neither unit nor value is given.
int32_t pelsPerMeter(const Rational &r, uint16_t unit) {
    const ExactDouble value = r.present ? exactRatio(r.numerator, r.denominator) : ExactDouble{};
    if (unit != 3 && unit != 2 && value.mantissa == 0) return 2953;
    const ExactDouble factor = unit == 3 ? ExactDouble{100, 0} : ExactDouble{0x13AF5EBD7AF5EB, -47};
    return int32_t(exactTruncated(exactProduct(value, factor), INT32_MAX));
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

void fillColors(const TiffFile &f, const Tags &t, uint16_t depth, uint8_t *table) {
    const uint32_t n = 1u << depth;
    // ColorMap: all reds, then all greens, then all blues, 16 bits each.
    ByteReader map = f.at(t.colorMap, 6ull << depth);
    ByteReader reds = map.at(0, 2 * n), greens = map.at(2 * n, 2 * n), blues = map.at(4 * n, 2 * n);
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t *c = table + 4 * i;  // blue, green, red, reserved
        if (t.photometric == 3) {
            c[2] = uint8_t(f.u16(reds) >> 8);
            c[1] = uint8_t(f.u16(greens) >> 8);
            c[0] = uint8_t(f.u16(blues) >> 8);
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
int16_t readStrips(const TiffFile &f, const Tags &t, uint16_t depth, uint8_t *bits) {
    const uint32_t height = t.length;
    const uint64_t dibRow = dibRowBytes(t.width, depth);
    const uint64_t fileRow = depth == 24 ? 3ull * t.width : (uint64_t(t.width) * depth + 7) / 8;
    uint64_t rows = t.rowsPerStrip;
    if (rows == 0 || rows > height) rows = height;
    const uint64_t strips = (height + rows - 1) / rows;

    const bool compressed = t.compression != kUncompressed;
    if (compressed && t.compression != kLzw && t.compression != kPackBits) return CONV_E_DATA;
    // A picture in one strip is decoded into the block's own rows and put
    // in order there, so no second picture is held; work is then one row.
    const bool inPlace = compressed && strips == 1;
    plat::Block work;
    const uint64_t workSize = inPlace ? fileRow : (rows + 1) * dibRow;
    if (compressed && !work.alloc(workSize)) return CONV_E_DATA;
    tifflzw::DecodeTable table;

    for (uint64_t s = 0; s < strips; ++s) {
        if (s >= t.stripOffsets.count || (compressed && s >= t.stripByteCounts.count)) break;
        const uint64_t first = s * rows;
        const uint64_t count = height - first < rows ? height - first : rows;
        // From the strip's offset to the end of the file; empty when the
        // offset lies at or past the end.
        const ByteReader strip = f.bytes.from(t.stripOffsets.at(f, uint32_t(s)));
        const uint8_t *source;
        size_t available;
        if (!compressed) {
            source = strip.data();
            available = strip.size();
        } else {
            size_t produced = 0;
            uint8_t *target = inPlace ? bits : work.data();
            const size_t capacity = size_t(inPlace ? height * dibRow : workSize);
            if (strip.size()) {
                size_t n = t.stripByteCounts.at(f, uint32_t(s));
                if (n > strip.size()) n = strip.size();
                produced = t.compression == kLzw ? tifflzw::decodeStrip(strip.data(), n, target, capacity, table)
                                                 : packbits::decode(strip.data(), n, target, capacity);
            }
            // The buffer is reused strip after strip: what this strip did
            // not reach reads as zero.
            const size_t wanted = size_t(count * fileRow);
            if (produced < wanted) std::memset(target + produced, 0, wanted - produced);
            source = target;
            available = wanted;
        }
        if (inPlace) {
            // Last row first, each through the row buffer to its place in
            // top-down order (never over a row not yet moved), its padding
            // cleared; then the rows turned bottom-up.
            for (uint64_t r = count; r-- > 0;) {
                std::memcpy(work.data(), source + r * fileRow, size_t(fileRow));
                placeRow(work.data(), size_t(fileRow), bits + r * dibRow, depth);
                std::memset(bits + r * dibRow + fileRow, 0, size_t(dibRow - fileRow));
            }
            for (uint64_t r = 0; r < height / 2; ++r)
                std::swap_ranges(bits + r * dibRow, bits + (r + 1) * dibRow, bits + (height - 1 - r) * dibRow);
            break;
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

// The first IFD's tags; false when the IFD does not lie in the file.
bool readIfd(const TiffFile &f, Tags &t) {
    const uint32_t ifd = f.u32At(4);
    ByteReader dir = f.at(ifd, 2);
    const uint16_t entries = f.u16(dir);
    if (ifd == 0 || !dir.ok()) return false;
    if (!f.at(ifd + 2ull, 12ull * entries).ok()) return false;
    for (uint32_t i = 0; i < entries; ++i) readEntry(f, ifd + 2 + 12ull * i, t);
    return true;
}

// The block depth of an image this reader can read, or a refusal.
int16_t checkImage(const TiffFile &f, const Tags &t, uint16_t &depth) {
    if (!t.stripOffsets.present || !t.stripByteCounts.present) return CONV_E_UNSUPPORTED;
    const bool faxOrOldJpeg = t.compression == 3 || t.compression == 4 || t.compression == 6;
    if (t.fillOrder != 1 || t.planar != 1 || t.extraSamples != 0 || t.tileWidth != 0 || t.tileLength != 0 ||
        t.stripOffsets.count == 0)
        return CONV_E_UNSUPPORTED;
    if (!t.stripOffsets.inFile() || !t.stripByteCounts.inFile()) return CONV_E_UNSUPPORTED;
    if (faxOrOldJpeg) return CONV_E_DATA;

    depth = blockDepth(t);
    if (!depth) return CONV_E_UNSUPPORTED;
    if (t.photometric == 3 && (!t.hasColorMap || !f.at(t.colorMap, 6ull << depth).ok())) return CONV_E_UNSUPPORTED;
    if (t.width == 0 || t.length == 0) return CONV_E_UNSUPPORTED;
    const uint64_t fileRow = depth == 24 ? 3ull * t.width : (uint64_t(t.width) * depth + 7) / 8;
    if (t.length > f.size() * limits().expansion / fileRow) return CONV_E_UNSUPPORTED;
    if (t.width > INT32_MAX || t.length > INT32_MAX) return CONV_E_MEMORY;
    return CONV_OK;
}

int16_t readTiff(const TiffFile &f, plat::Block &block) {
    if (f.size() < 8) return CONV_E_UNSUPPORTED;
    Tags t;
    if (!readIfd(f, t)) return CONV_E_UNSUPPORTED;
    uint16_t depth = 0;
    if (const int16_t r = checkImage(f, t, depth); r != CONV_OK) return r;

    DibSpec spec;
    spec.width = int32_t(t.width);
    spec.height = int32_t(t.length);
    spec.bitCount = depth;
    spec.colors = depth <= 8 ? 1u << depth : 0;
    block = makePackedDib(spec);
    if (!block) return CONV_E_MEMORY;
    ByteWriter resolution(block.data() + offsetof(ConvBitmapInfoHeader, biXPelsPerMeter), 8);
    resolution.u32(uint32_t(pelsPerMeter(t.xResolution, t.resolutionUnit)));
    resolution.u32(uint32_t(pelsPerMeter(t.yResolution, t.resolutionUnit)));
    if (depth <= 8) fillColors(f, t, depth, block.data() + kBitmapHeaderSize);
    const uint64_t bitsOffset = kBitmapHeaderSize + 4ull * spec.colors;

    const int16_t r = readStrips(f, t, depth, block.data() + bitsOffset);
    if (r != CONV_OK) block.reset();
    return r;
}

}  // namespace

bool DetectTiffFile(HFile file) {
    uint8_t head[8];
    ByteReader r = readFileHead(file, head, sizeof head);
    if (r.size() != sizeof head) return false;
    const uint8_t a = r.u8(), b = r.u8();
    if (a == 'I' && b == 'I') return r.u16() == 42;
    if (a == 'M' && b == 'M') return r.u16be() == 42;
    return false;
}

int16_t LoadTiffImage(const char *fileName, MemHandle *image) {
    if (image) *image = nullptr;  // without one the result is still worked out
    plat::Block copy;
    size_t size = 0;
    if (const int16_t r = readWholeFile(fileName, copy, size); r != CONV_OK) return r;

    TiffFile f{ByteReader(copy.data(), size)};
    ByteReader head = f.at(0, 4);
    const uint8_t a = head.u8(), b = head.u8();
    if (!head.ok()) return CONV_E_UNSUPPORTED;
    if (a == 'M' && b == 'M')
        f.bigEndian = true;
    else if (a != 'I' || b != 'I')
        return CONV_E_UNSUPPORTED;
    if (f.u16(head) != 42) return CONV_E_UNSUPPORTED;
    plat::Block block;
    const int16_t r = readTiff(f, block);
    if (r == CONV_OK && image) *image = block.release();
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
