// The TIFF core: the reader of the first image of a file and the writer of
// one little-endian, strip-organised file, bytes in and bytes out. Every
// value is read through a checked reader over the bytes it should lie in,
// in the file's byte order; a structure that does not lie inside the file
// is found out before any of it is used.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - An IFD whose entries run past the end of the file, a StripOffsets or
//   StripByteCounts array outside the file, and a palette image whose
//   ColorMap is missing or outside the file are refused as unsupported,
//   like any other file that is not a readable TIFF.
// - A width or height of 0, and an image whose pixel rows could not come
//   from a file of this size by any of the codings read here (more bytes
//   of rows per byte of file than the limits' expansion), are refused the
//   same way.
// - A compression other than none, LZW and PackBits is found before the
//   picture is allocated and told as damage (the strips cannot be read);
//   CCITT and old-style JPEG are told so before the kind is looked at.
// - RowsPerStrip 0 is taken as all rows in one strip, as when it is absent.
// - A resolution whose denominator is 0, or whose value lies outside the
//   file, counts as absent (0).
// - A strip whose offset lies outside the file decodes to nothing; a byte
//   count reaching past the end is cut at the end of the file; the rows of
//   an uncompressed strip stop at the end of the file. Strips for which
//   StripOffsets (or, when compressed, StripByteCounts) has no element are
//   not read. Rows that are not reached stay at colour index 0.
//
// The writer's layout is fixed: the strips from offset 8, then the IFD of
// 20 entries and its value area, so that the editor's older files and new
// ones compare byte for byte.
// - A picture of a depth other than 1, 4, 8 or 24, one whose buffers do
//   not agree with its size, and a compression other than 1, 5 and 32773
//   are refused as unsupported before anything is written.
// - The coded-output buffer is as large as the coding can need in the
//   worst case (LZW: 12 bits per byte plus the Clear and End codes;
//   PackBits: one control byte per 128 bytes of each row), so no strip can
//   overrun it.
// - RowsPerStrip is a SHORT: a strip size that would give more than 65535
//   rows per strip is held at 65535 rows.
#include "codecs/tiff_core.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "codecs/packbits.h"
#include "codecs/tiff_lzw.h"
#include "common/dib.h"
#include "common/bytes.h"
#include "common/exact_double.h"

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
    if (unit != 3 && unit != 2 && value.mantissa == 0) return kDefaultPelsPerMeter;
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

void fillColors(const TiffFile &f, const Tags &t, uint16_t depth, Rgbq *table) {
    const uint32_t n = 1u << depth;
    // ColorMap: all reds, then all greens, then all blues, 16 bits each.
    ByteReader map = f.at(t.colorMap, 6ull << depth);
    ByteReader reds = map.at(0, 2 * n), greens = map.at(2 * n, 2 * n), blues = map.at(4 * n, 2 * n);
    for (uint32_t i = 0; i < n; ++i) {
        Rgbq &c = table[i];
        if (t.photometric == 3) {
            c.red = uint8_t(f.u16(reds) >> 8);
            c.green = uint8_t(f.u16(greens) >> 8);
            c.blue = uint8_t(f.u16(blues) >> 8);
        } else {
            const uint32_t step = depth == 1 ? 255 : depth == 4 ? 17 : 1;
            const uint32_t level = (t.photometric == 0 ? n - 1 - i : i) * step;
            c.blue = c.green = c.red = uint8_t(level);
        }
    }
}

// Places one decoded row (fileRow bytes, of which only `have` are present)
// into the picture's row.
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

// A row as the strips hold it: whole bytes, no padding.
uint64_t fileRowBytes(uint32_t width, uint16_t depth) {
    return depth == 24 ? 3ull * width : (uint64_t(width) * depth + 7) / 8;
}

// Reads the strips into the picture's rows (bits, height rows of the
// picture's row size), reporting progress before each strip and at the end. The compression
// is one that is read (checkImage); fails only when progress says stop.
Result readStrips(const TiffFile &f, const Tags &t, uint16_t depth, uint8_t *bits, const Progress &progress) {
    const uint32_t height = t.length;
    const uint64_t dibRow = pictureRowBytes(t.width, depth);
    const uint64_t fileRow = fileRowBytes(t.width, depth);
    uint64_t rows = t.rowsPerStrip;
    if (rows == 0 || rows > height) rows = height;
    const uint64_t strips = (height + rows - 1) / rows;

    const bool compressed = t.compression != kUncompressed;
    // A picture in one strip is decoded into the picture's own rows and put
    // in order there, so no second picture is held; work is then one row.
    const bool inPlace = compressed && strips == 1;
    const uint64_t workSize = inPlace ? fileRow : (rows + 1) * dibRow;
    std::vector<uint8_t> work(compressed ? size_t(workSize) : 0);
    tifflzw::DecodeTable table;

    for (uint64_t s = 0; s < strips; ++s) {
        if (s >= t.stripOffsets.count || (compressed && s >= t.stripByteCounts.count)) break;
        if (!progress(int32_t(s * 100 / strips))) return Result::cancelled;
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
    return progress(100) ? Result::ok : Result::cancelled;
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

// The depth of an image this reader can read, or a refusal; all of it is
// found before anything the size of the picture is allocated.
Result checkImage(const TiffFile &f, const Tags &t, const Limits &limits, uint16_t &depth) {
    if (!t.stripOffsets.present || !t.stripByteCounts.present) return Result::unsupported;
    const bool faxOrOldJpeg = t.compression == 3 || t.compression == 4 || t.compression == 6;
    if (t.fillOrder != 1 || t.planar != 1 || t.extraSamples != 0 || t.tileWidth != 0 || t.tileLength != 0 ||
        t.stripOffsets.count == 0)
        return Result::unsupported;
    if (!t.stripOffsets.inFile() || !t.stripByteCounts.inFile()) return Result::unsupported;
    if (faxOrOldJpeg) return Result::damaged;

    depth = blockDepth(t);
    if (!depth) return Result::unsupported;
    if (t.photometric == 3 && (!t.hasColorMap || !f.at(t.colorMap, 6ull << depth).ok())) return Result::unsupported;
    if (t.width == 0 || t.length == 0) return Result::unsupported;
    const uint64_t fileRow = fileRowBytes(t.width, depth);
    if (t.length > f.size() * limits.expansion / fileRow) return Result::unsupported;
    if (t.width > INT32_MAX || t.length > INT32_MAX) return Result::noMemory;
    // The other compressions (CCITT, JPEG, Deflate ...) are not read: the
    // strips cannot be decoded, which this reader tells as damage.
    if (t.compression != kUncompressed && t.compression != kLzw && t.compression != kPackBits)
        return Result::damaged;
    // The picture as an image block would hold it, against the limits.
    const uint64_t colors = depth <= 8 ? 1u << depth : 0;
    const uint64_t rowBytes = pictureRowBytes(t.width, depth);
    if (uint64_t(t.width) * t.length > limits.largestPicture) return Result::noMemory;
    if (limits.largestBlock < 40 + 4 * colors) return Result::noMemory;
    if (rowBytes > (limits.largestBlock - 40 - 4 * colors) / t.length) return Result::noMemory;
    return Result::ok;
}

Result readTiff(const TiffFile &f, const CoreRequest &request, const RowsTarget &target, Picture &out) {
    Tags t;
    if (!readIfd(f, t)) return Result::unsupported;
    uint16_t depth = 0;
    if (const Result r = checkImage(f, t, request.limits, depth); r != Result::ok) return r;

    Picture p;
    p.width = int32_t(t.width);
    p.height = int32_t(t.length);
    p.bitCount = depth;
    p.xPelsPerMeter = pelsPerMeter(t.xResolution, t.resolutionUnit);
    p.yPelsPerMeter = pelsPerMeter(t.yResolution, t.resolutionUnit);
    if (depth <= 8) {
        p.palette.resize(size_t(1) << depth);
        fillColors(f, t, depth, p.palette.data());
    }
    uint8_t *rows = rowsOf(target, p);
    if (!rows) return Result::noMemory;
    if (const Result r = readStrips(f, t, depth, rows, request.progress); r != Result::ok) return r;
    out = std::move(p);
    return Result::ok;
}

// ---- Writer ---------------------------------------------------------------

constexpr int kEntries = 20;
constexpr uint32_t kIfdSize = 2 + 12 * kEntries + 4;
constexpr char kSoftwareName[14] = "Velmora V2.5";
constexpr uint32_t kDateTimeSize = 20;

void systemClock(int &year, int &month, int &day, int &hour, int &minute, int &second) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
#ifdef _WIN32
    // The C runtime keeps localtime's result per thread.
    const std::tm *local = std::localtime(&now);
    const bool known = local != nullptr;
    if (known) t = *local;
#else
    const bool known = localtime_r(&now, &t) != nullptr;
#endif
    if (!known) {
        year = 1970, month = 1, day = 1, hour = minute = second = 0;
        return;
    }
    year = t.tm_year + 1900, month = t.tm_mon + 1, day = t.tm_mday;
    hour = t.tm_hour, minute = t.tm_min, second = t.tm_sec;
}

// The picture as the writer walks it: rows counted from the top, the size
// of a row in the file.
struct Image {
    const Picture &p;
    const uint8_t *rows;  // bottom row first, p.rowBytes() each
    uint32_t width, height;
    uint16_t depth;
    uint64_t row;  // bytes of a file row

    Image(const Picture &picture, const uint8_t *bottomUpRows)
        : p(picture), rows(bottomUpRows), width(uint32_t(picture.width)), height(uint32_t(picture.height)),
          depth(picture.bitCount), row((uint64_t(picture.bitCount) * uint32_t(picture.width) + 7) / 8) {}
    const uint8_t *topRow(uint32_t i) const { return rows + uint64_t(height - 1 - i) * p.rowBytes(); }
    Rgbq color(uint32_t i) const { return i < p.palette.size() ? p.palette[i] : Rgbq{}; }
    // Entries of the ColorMap: one per index at depths 4 and 8, none else.
    uint32_t mapColors() const { return depth == 4 || depth == 8 ? 1u << depth : 0; }
};

uint16_t bilevelPhotometric(const Image &im) {
    const Rgbq c0 = im.color(0), c1 = im.color(1);
    const bool whiteBlack = c0.red == 255 && c0.green == 255 && c0.blue == 255 && c1.red == 0 && c1.green == 0 &&
                            c1.blue == 0;
    return whiteBlack ? 0 : 1;
}

// How the rows are cut into strips, and where each strip went: its offset
// and byte count, the values of StripOffsets and StripByteCounts.
struct Strips {
    uint32_t rowsPerStrip = 0, count = 0;
    std::vector<uint32_t> offsets, counts;
};

// Rows per strip for the option's strip size, held to what a SHORT holds.
uint32_t rowsPerStrip(const Image &im, const TiffWriteOptions &o) {
    uint64_t rows = uint64_t(o.stripSize) * 1024 / im.row;
    if (rows == 0) rows = 1;
    if (rows > 65535) rows = 65535;
    return uint32_t(rows);
}

// Appends the strips to out (which holds the header), reporting progress
// before each row. LZW strips are coded two at a time (the coder
// interleaves them), so their buffers hold two strips each.
Result writeStrips(const Image &im, const TiffWriteOptions &o, const Progress &progress, Strips &table,
                   std::vector<uint8_t> &out) {
    const uint32_t rowsPerStrip = table.rowsPerStrip, strips = table.count;
    const uint64_t stripBytes = uint64_t(rowsPerStrip) * im.row;
    const bool lzw = o.compression == kLzw;
    const uint32_t group = lzw && strips > 1 ? 2 : 1;
    const size_t lzwBound = tifflzw::encodeBound(size_t(stripBytes));
    std::vector<uint8_t> strip(size_t(group * stripBytes)), coded;
    tifflzw::EncodeTable lzwTable;
    if (lzw) {
        coded.resize(group * lzwBound);
        if (!tifflzw::encodeTableAlloc(lzwTable)) return Result::noMemory;
    } else if (o.compression == kPackBits) {
        coded.resize(size_t(rowsPerStrip * packbits::rowBound(size_t(im.row))));
    }
    bool go = true;
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
            go = go && progress(int32_t(uint64_t(first + r) * 100 / im.height));
        }
        return size_t(rows * im.row);
    };
    bool fits = true;
    auto emit = [&](uint32_t s, const uint8_t *data, size_t length) {
        if (out.size() + length > UINT32_MAX) fits = false;
        if (!fits) return;
        table.offsets[s] = uint32_t(out.size());
        table.counts[s] = uint32_t(length);
        out.insert(out.end(), data, data + length);
    };
    for (uint32_t s = 0; fits && s < strips; s += group) {
        const size_t placed = place(s, strip.data());
        if (lzw && s + 1 < strips) {
            uint8_t *const second = strip.data() + stripBytes;
            const size_t placed1 = place(s + 1, second);
            if (!go) break;
            size_t length0, length1;
            tifflzw::encodeStripPair(strip.data(), placed, coded.data(), length0, second, placed1,
                                     coded.data() + lzwBound, length1, lzwTable);
            emit(s, coded.data(), length0);
            emit(s + 1, coded.data() + lzwBound, length1);
        } else if (!go) {
            break;
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
    if (!go) return Result::cancelled;
    return fits ? Result::ok : Result::writeFailed;
}

// The IFD: 20 entries in tag order and no next IFD. Values that do not fit
// an entry go to the value area, which starts at valueAt, in the order the
// entries name them; appendValueArea writes them in that order.
void buildIfd(ByteWriter &dir, const Image &im, const TiffWriteOptions &o, const Strips &strips, uint32_t valueAt) {
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
    entry(kStripOffsets, kLong, strips.count, oneStrip ? strips.offsets[0] : area(4 * strips.count));
    entry(kOrientation, kShort, 1, 1);
    entry(kSamplesPerPixel, kShort, 1, im.depth == 24 ? 3 : 1);
    entry(kRowsPerStrip, kShort, 1, strips.rowsPerStrip);
    entry(kStripByteCounts, kLong, strips.count, oneStrip ? strips.counts[0] : area(4 * strips.count));
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

void appendLe16(std::vector<uint8_t> &out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void appendLe32(std::vector<uint8_t> &out, uint32_t v) {
    appendLe16(out, v & 0xFFFF);
    appendLe16(out, v >> 16);
}

// The value area behind the IFD.
void appendValueArea(std::vector<uint8_t> &out, const Image &im, const Strips &strips, const TiffWriteOptions &o) {
    if (im.depth == 24)
        for (int i = 0; i < 3; ++i) appendLe16(out, 8);
    if (strips.count > 1) {
        for (uint32_t v : strips.offsets) appendLe32(out, v);
        for (uint32_t v : strips.counts) appendLe32(out, v);
    }
    int year, month, day, hour, minute, second;
    (o.clock ? o.clock : systemClock)(year, month, day, hour, minute, second);
    char date[kDateTimeSize + 1];
    std::snprintf(date, sizeof date, "%04u:%02u:%02u %02u:%02u:%02u", unsigned(year) % 10000u,
                  unsigned(month) % 100u, unsigned(day) % 100u, unsigned(hour) % 100u, unsigned(minute) % 100u,
                  unsigned(second) % 100u);
    appendLe32(out, uint32_t(im.p.xPelsPerMeter));
    appendLe32(out, 100);
    appendLe32(out, uint32_t(im.p.yPelsPerMeter));
    appendLe32(out, 100);
    out.insert(out.end(), kSoftwareName, kSoftwareName + sizeof kSoftwareName);
    out.insert(out.end(), date, date + kDateTimeSize);

    // ColorMap: all reds, then all greens, then all blues, each as 16 bits.
    const uint32_t colors = im.mapColors();
    for (uint32_t i = 0; i < colors; ++i) appendLe16(out, uint32_t(im.color(i).red) << 8);
    for (uint32_t i = 0; i < colors; ++i) appendLe16(out, uint32_t(im.color(i).green) << 8);
    for (uint32_t i = 0; i < colors; ++i) appendLe16(out, uint32_t(im.color(i).blue) << 8);
}

Result writeTiff(const Picture &picture, const uint8_t *rows, const TiffWriteOptions &o, const CoreRequest &request,
                 std::vector<uint8_t> &out) {
    const uint16_t depth = picture.bitCount;
    const bool usable = fieldsConsistent(picture) && (depth == 1 || depth == 4 || depth == 8 || depth == 24) &&
                        (o.compression == kUncompressed || o.compression == kLzw || o.compression == kPackBits);
    if (!usable) return Result::unsupported;
    const Image im(picture, rows);
    std::vector<uint8_t> file = {'I', 'I', 42, 0, 0, 0, 0, 0};  // the IFD's offset, once it is known
    // Room for the rows as the worst coding leaves them and the directory
    // behind them (only what is written is touched).
    file.reserve(size_t(8 + tifflzw::encodeBound(size_t(im.row * im.height)) + 8ull * im.height + kIfdSize + 4096));
    Strips strips;
    strips.rowsPerStrip = rowsPerStrip(im, o);
    strips.count = uint32_t((im.height + uint64_t(strips.rowsPerStrip) - 1) / strips.rowsPerStrip);
    strips.offsets.resize(strips.count);
    strips.counts.resize(strips.count);
    if (const Result r = writeStrips(im, o, request.progress, strips, file); r != Result::ok) return r;
    if (file.size() & 1) file.push_back(0);

    const uint64_t ifd = file.size();
    const uint64_t valueArea = 6 + 8ull * strips.count + 16 + sizeof kSoftwareName + kDateTimeSize + 6ull * 256;
    if (ifd + kIfdSize + valueArea > UINT32_MAX) return Result::writeFailed;
    uint8_t dir[kIfdSize];
    ByteWriter d(dir, sizeof dir);
    buildIfd(d, im, o, strips, uint32_t(ifd + kIfdSize));
    file.insert(file.end(), dir, dir + sizeof dir);
    appendValueArea(file, im, strips, o);
    storeLe32(file.data() + 4, uint32_t(ifd));
    out = std::move(file);
    return Result::ok;
}

}  // namespace

bool looksLikeTiff(std::span<const uint8_t> bytes) {
    // The byte order, 42 in it, and room for the first IFD's offset.
    ByteReader r(bytes.data(), bytes.size());
    const uint8_t a = r.u8(), b = r.u8();
    const uint16_t magic = a == 'M' ? r.u16be() : r.u16();
    r.skip(4);
    return r.ok() && ((a == 'I' && b == 'I') || (a == 'M' && b == 'M')) && magic == 42;
}

Result decodeTiff(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out,
                  const RowsTarget &target) {
    if (!looksLikeTiff(bytes)) return Result::notFormat;
    TiffFile f{ByteReader(bytes.data(), bytes.size())};
    f.bigEndian = bytes[0] == 'M';
    try {
        return readTiff(f, request, target, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result decodeTiff(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out) {
    return decodeTiff(bytes, request, out, RowsTarget{});
}

Result encodeTiff(const Picture &picture, const uint8_t *rows, const TiffWriteOptions &options,
                  const CoreRequest &request, std::vector<uint8_t> &out) {
    try {
        return writeTiff(picture, rows, options, request, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result encodeTiff(const Picture &picture, const TiffWriteOptions &options, const CoreRequest &request,
                  std::vector<uint8_t> &out) {
    if (!picture.consistent()) return Result::unsupported;
    return encodeTiff(picture, picture.pixels.data(), options, request, out);
}

Result encodeTiff(const Picture &picture, const CoreRequest &request, std::vector<uint8_t> &out) {
    return encodeTiff(picture, TiffWriteOptions{}, request, out);
}

}  // namespace vc
