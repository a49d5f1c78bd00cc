// Icon and cursor files in memory. Every offset is checked against the
// bytes given before it is used.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - Only the detector looks at the reserved word; any type but 2 (cursor)
//   is read as an icon, and only cursors give a hotspot.
// - A directory that runs past the end of the file is read as far as its
//   entries are whole. The directory's 0 for 256 pixels reads as no area,
//   so where every entry is 256 x 256 (or states neither colours nor an
//   area) the chooser's rule chooses none; then the entry whose own image
//   header (a PNG image's, a bitmap's) states the most pixels is taken.
// - An entry's size 0 means "to the end of the file"; a size past the end
//   is cut at the end; an offset at or past the end gives no image.
// - The image data is either a PNG image or a whole uncompressed bitmap
//   with a 40-byte header, at most one plane, depth 1, 4, 8, 24 or 32,
//   positive size and at most 256 colours, whose colour and mask rows lie
//   inside the data; a 32-bit bitmap may lack its mask rows (some writers
//   leave them out).
// - For the editor, which takes 1, 4, 8 and 24 bits, a 32-bit image becomes
//   24 bits: the alpha bytes are dropped and the mask decides what is
//   transparent. Many writers leave the mask empty and rely on alpha alone;
//   then pixels of alpha below 128 are masked (and black, so that they show
//   the screen rather than invert it), unless every alpha byte is 0, which
//   is an old image with no alpha at all. A 32-bit image without mask rows
//   is read the same way; a PNG image always takes its mask from alpha.
#include "codecs/ico_core.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "common/bytes.h"
#include "common/image_block.h"
#include "common/png.h"

namespace vc {

namespace {

ConvBitmapInfoHeader readHeader(const uint8_t *at, uint64_t size) {
    ByteReader r(at, size_t(std::min<uint64_t>(size, kBitmapHeaderSize)));
    return readBitmapInfoHeader(r);
}

// Alpha below this makes a pixel transparent, wherever alpha becomes a
// mask: the nearest a mask comes to the picture drawn with its alpha.
constexpr uint8_t kShownAlpha = 128;

// Most pixels one byte of PNG data can stand for: deflate expands at most
// 1032 times, and a pixel takes at least one bit. A PNG claiming more is
// damaged or hostile and is refused before anything is allocated for it.
constexpr uint64_t kPngPixelsPerByte = 1032 * 8;

// Where an entry's data lies: size 0 means "to the end of the file"; a
// size past the end is cut to what is there, and the checks on the data
// decide whether that is still a whole image. Empty when the offset is at
// or past the end.
struct Span {
    uint64_t offset = 0, size = 0;
};
Span entrySpan(size_t fileSize, uint64_t offset, uint64_t size) {
    if (offset >= fileSize) return {};
    if (size == 0 || offset + size > fileSize) size = fileSize - offset;
    return {offset, size};
}

// What a bitmap entry's data holds.
enum class Bitmap {
    unusable,
    whole,
    noMask,  // a 32-bit image whose colour rows are whole but whose mask rows are missing
};
Bitmap bitmapKind(const uint8_t *at, uint64_t size) {
    if (size < kBitmapHeaderSize) return Bitmap::unusable;
    const ConvBitmapInfoHeader h = readHeader(at, size);
    const uint64_t need = iconDataBytes(h);
    if (need != 0 && need <= size) return Bitmap::whole;
    const uint64_t mask = dibRowBytes(h.biWidth, 1) * (uint64_t(h.biHeight) / 2);
    return need != 0 && h.biBitCount == 32 && need - mask <= size ? Bitmap::noMask : Bitmap::unusable;
}

// The pixels an entry's own image header states: a PNG image's header, else
// a bitmap header's width by half its height (colour and mask rows count
// together); 0 when neither states a positive size.
uint64_t statedArea(const uint8_t *at, uint64_t size) {
    uint32_t width = 0, height = 0;
    if (plat::pngHeaderSize(at, size_t(size), width, height)) return uint64_t(width) * height;
    if (plat::isPng(at, size_t(size))) return 0;
    const ConvBitmapInfoHeader h = readHeader(at, size);
    return h.biWidth > 0 && h.biHeight > 1 ? uint64_t(h.biWidth) * uint64_t(h.biHeight / 2) : 0;
}

// The bytes of pixels and mask an entry's picture will hold, as its own
// header states them: 4 a pixel for a PNG image, the colour and mask rows
// of a bitmap (at most its data).
uint64_t statedBytes(const uint8_t *at, uint64_t size) {
    uint32_t width = 0, height = 0;
    if (plat::pngHeaderSize(at, size_t(size), width, height)) return 4ull * width * height;
    if (plat::isPng(at, size_t(size))) return 0;
    const ConvBitmapInfoHeader h = readHeader(at, size);
    const uint64_t need = iconDataBytes(h);
    return need ? std::min<uint64_t>(need - kBitmapHeaderSize - 4ull * dibColorCount(h), size) : 0;
}

// A 32-bit picture of BGRA rows of a given size, within the call's limits:
// unsupported when a limit refuses it (as the editor's importer always
// has: no usable image), noMemory when memory is refused.
Result sizeBgra(Picture &p, uint64_t width, uint64_t height, const Limits &limits) {
    const uint64_t pixels = width * height;
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX / 2 || pixels > limits.largestPicture)
        return Result::unsupported;
    // Room for the 24-bit icon image data the editor may be handed as well.
    if (kBitmapHeaderSize + (dibRowBytes(int64_t(width), 24) + dibRowBytes(int64_t(width), 1)) * height >
        limits.largestBlock)
        return Result::unsupported;
    p.width = int32_t(width);
    p.height = int32_t(height);
    p.bitCount = 32;
    p.pixels.assign(size_t(p.rowBytes() * height), 0);
    return Result::ok;
}

// PNG rows into a 32-bit picture, bottom row first.
class PngToPicture final : public plat::PngSink {
public:
    PngToPicture(Picture &p, uint64_t mostPixels, const Limits &limits) : p_(p), most_(mostPixels), limits_(limits) {}
    bool size(uint32_t width, uint32_t height) override {
        if (uint64_t(width) * height > most_) return false;
        try {
            result_ = sizeBgra(p_, width, height, limits_);
        } catch (const std::bad_alloc &) {
            result_ = Result::noMemory;
        }
        return result_ == Result::ok;
    }
    void row(uint32_t y, const uint8_t *bgra) override {
        std::memcpy(p_.rowFromTop(int32_t(y)), bgra, size_t(p_.rowBytes()));
    }
    Result result() const { return result_; }

private:
    Picture &p_;
    uint64_t most_;
    const Limits &limits_;
    Result result_ = Result::damaged;
};

// One entry's image as a picture: a PNG image as 32-bit BGRA, a bitmap at
// its own depth with its palette (as many entries as the depth holds) and
// mask. unsupported when the data is neither a PNG image nor a usable
// bitmap, damaged when the PNG image cannot be decoded.
Result decodeEntry(const uint8_t *at, uint64_t size, const Limits &limits, Picture &out) {
    out = Picture{};
    if (size == 0) return Result::damaged;
    if (plat::isPng(at, size_t(size))) {
        PngToPicture sink(out, size * kPngPixelsPerByte, limits);
        const plat::PngResult r = plat::decodePng(at, size_t(size), sink);
        if (r == plat::PngResult::noMemory || sink.result() == Result::noMemory) return Result::noMemory;
        if (r != plat::PngResult::done) {
            out = Picture{};
            return sink.result() == Result::ok ? Result::damaged : sink.result();
        }
        return Result::ok;
    }
    const Bitmap kind = bitmapKind(at, size);
    if (kind == Bitmap::unusable) return Result::unsupported;
    const ConvBitmapInfoHeader h = readHeader(at, size);
    const uint64_t rows = uint64_t(h.biHeight) / 2, width = uint64_t(h.biWidth);
    if (width * rows > limits.largestPicture) return Result::noMemory;
    const uint32_t colors = dibColorCount(h);
    const uint8_t *table = at + kBitmapHeaderSize, *bits = table + 4ull * colors;
    out.width = int32_t(width);
    out.height = int32_t(rows);
    out.bitCount = h.biBitCount;
    out.xPelsPerMeter = h.biXPelsPerMeter;
    out.yPelsPerMeter = h.biYPelsPerMeter;
    if (h.biBitCount <= 8) {
        const uint32_t n = std::min<uint32_t>(colors, 1u << h.biBitCount);
        for (uint32_t i = 0; i < n; ++i)
            out.palette.push_back({table[4 * i], table[4 * i + 1], table[4 * i + 2], table[4 * i + 3]});
    }
    const uint64_t colourBytes = out.rowBytes() * rows;
    out.pixels.assign(bits, bits + colourBytes);
    if (kind == Bitmap::whole) out.mask.assign(bits + colourBytes, bits + colourBytes + out.maskRowBytes() * rows);
    return Result::ok;
}

bool anyAlpha(const Picture &p) {
    for (size_t i = 3; i < p.pixels.size(); i += 4)
        if (p.pixels[i]) return true;
    return false;
}

// Icon image data of 24 bits from a 32-bit picture, after `head` (the
// header and table, whose depth and image size are set here). With useAlpha
// pixels of alpha below 128 are masked and black; otherwise every pixel
// keeps its colour and the picture's own mask (or none) is the mask.
std::vector<uint8_t> narrow(const Picture &p, std::span<const uint8_t> head, bool useAlpha) {
    const uint64_t rows = uint64_t(p.height), width = uint64_t(p.width);
    const uint64_t to = dibRowBytes(p.width, 24), maskRow = p.maskRowBytes();
    std::vector<uint8_t> out(head.size() + size_t(rows * (to + maskRow)), 0);
    std::copy(head.begin(), head.end(), out.begin());
    storeLe16(out.data() + 14, 24);  // biBitCount
    storeLe32(out.data() + 20, 0);   // biSizeImage
    uint8_t *colour = out.data() + head.size(), *mask = colour + rows * to;
    if (!useAlpha && !p.mask.empty()) std::copy(p.mask.begin(), p.mask.end(), mask);
    for (uint64_t y = 0; y < rows; ++y) {
        const uint8_t *src = p.pixels.data() + y * 4 * width;
        uint8_t *dst = colour + y * to, *m = mask + y * maskRow;
        for (uint64_t x = 0; x < width; ++x) {
            if (useAlpha && src[4 * x + 3] < kShownAlpha) {
                m[x / 8] |= uint8_t(0x80 >> (x & 7));
                continue;  // black
            }
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return out;
}

// The header of icon image data built anew: 40 bytes, one plane, 24 bits,
// the height counting colour and mask rows, nothing else filled in.
std::array<uint8_t, kBitmapHeaderSize> freshHeader(int32_t width, int32_t height) {
    std::array<uint8_t, kBitmapHeaderSize> h{};
    storeLe32(h.data(), kBitmapHeaderSize);
    storeLe32(h.data() + 4, uint32_t(width));
    storeLe32(h.data() + 8, 2 * uint32_t(height));
    storeLe16(h.data() + 12, 1);
    return h;
}

// What making one entry the editor's image came to.
enum class HandOver { done, unusable, noMemory };

// The editor's icon image data of one entry (see IconChoice::data).
HandOver handOver(const uint8_t *at, uint64_t size, const Limits &limits, IconChoice &out) {
    if (size == 0) return HandOver::unusable;
    const bool png = plat::isPng(at, size_t(size));
    const Bitmap kind = png ? Bitmap::unusable : bitmapKind(at, size);
    if (!png && kind == Bitmap::unusable) return HandOver::unusable;
    if (kind == Bitmap::whole && readHeader(at, size).biBitCount != 32) {
        out.data.assign(at, at + size);
        out.built = false;
        return HandOver::done;
    }
    // A bitmap's pixels are all in the file already; only what is built
    // anew is held to the limits.
    Limits unlimited = limits;
    unlimited.largestPicture = UINT64_MAX;
    if (kind == Bitmap::noMask) {
        const ConvBitmapInfoHeader h = readHeader(at, size);
        const uint64_t rows = uint64_t(h.biHeight) / 2;
        if (uint64_t(h.biWidth) * rows > limits.largestPicture ||
            kBitmapHeaderSize + (dibRowBytes(h.biWidth, 24) + dibRowBytes(h.biWidth, 1)) * rows > limits.largestBlock)
            return HandOver::unusable;
    }
    Picture p;
    const Result r = decodeEntry(at, size, png ? limits : unlimited, p);
    if (r == Result::noMemory && png) return HandOver::noMemory;
    if (r != Result::ok) return HandOver::unusable;
    if (kind == Bitmap::whole) {
        // Narrowed behind the file's own header and table.
        const ConvBitmapInfoHeader h = readHeader(at, size);
        const bool fromAlpha = std::all_of(p.mask.begin(), p.mask.end(), [](uint8_t b) { return b == 0; }) && anyAlpha(p);
        out.data = narrow(p, {at, size_t(kBitmapHeaderSize + 4ull * h.biClrUsed)}, fromAlpha);
        out.built = false;
        return HandOver::done;
    }
    const auto head = freshHeader(p.width, p.height);
    out.data = narrow(p, head, png || anyAlpha(p));
    out.built = true;
    return HandOver::done;
}

// Each unusable choice costs another walk of the directory, and a PNG image
// a decode as well. Real files have a few entries at most; past these
// counts of unusable choices the file is damaged or hostile, and what is
// left to choose from is settled at once: every bitmap that is not whole
// is passed over, and after that many PNG failures every PNG image, so
// that the walks stay few whatever the directory holds.
constexpr int kUnusableChoices = 64;
constexpr int kPngFailures = 16;

struct Directory {
    uint16_t type = 0;
    uint32_t entries = 0;  // whole entries there
};
// The header and how many whole entries follow; false when the header is short.
bool readDirectory(std::span<const uint8_t> bytes, Directory &d) {
    ByteReader head(bytes.data(), std::min<size_t>(bytes.size(), kIconHeaderSize));
    head.skip(2);  // reserved
    d.type = head.u16();
    const uint32_t count = head.u16();
    if (!head.ok()) return false;
    d.entries = uint32_t(std::min<uint64_t>(count, (bytes.size() - kIconHeaderSize) / kIconEntrySize));
    return true;
}

IconEntry readEntry(std::span<const uint8_t> bytes, uint32_t i) {
    ByteReader e(bytes.data() + kIconHeaderSize + uint64_t(i) * kIconEntrySize, kIconEntrySize);
    IconEntry d;
    d.width = e.u8(), d.height = e.u8(), d.colorCount = e.u8(), d.reserved = e.u8();
    d.planesOrHotspotX = e.u16(), d.bitCountOrHotspotY = e.u16();
    d.bytesInRes = e.u32(), d.imageOffset = e.u32();
    return d;
}

// Icon image data of one picture: a 40-byte header whose height counts
// colour and mask rows, the palette, the colour rows, the mask rows (a
// 32-bit picture without a mask gets one from its alpha; others without
// one are wholly shown).
std::vector<uint8_t> iconImageData(const Picture &p) {
    const uint64_t rows = uint64_t(p.height), maskRow = p.maskRowBytes();
    const uint32_t colors = p.bitCount <= 8 ? uint32_t(p.palette.size()) : 0;
    const bool defaultTable = p.bitCount <= 8 && colors == (1u << p.bitCount);
    std::vector<uint8_t> out(kBitmapHeaderSize + 4 * size_t(colors) + p.pixels.size() + size_t(maskRow * rows), 0);
    uint8_t *h = out.data();
    storeLe32(h, kBitmapHeaderSize);
    storeLe32(h + 4, uint32_t(p.width));
    storeLe32(h + 8, 2 * uint32_t(p.height));
    storeLe16(h + 12, 1);
    storeLe16(h + 14, p.bitCount);
    storeLe32(h + 20, uint32_t(p.pixels.size() + maskRow * rows));
    storeLe32(h + 24, uint32_t(p.xPelsPerMeter));
    storeLe32(h + 28, uint32_t(p.yPelsPerMeter));
    storeLe32(h + 32, defaultTable ? 0 : colors);
    uint8_t *at = h + kBitmapHeaderSize;
    for (uint32_t i = 0; i < colors; ++i, at += 4)
        at[0] = p.palette[i].blue, at[1] = p.palette[i].green, at[2] = p.palette[i].red, at[3] = p.palette[i].reserved;
    at = std::copy(p.pixels.begin(), p.pixels.end(), at);
    if (!p.mask.empty()) {
        std::copy(p.mask.begin(), p.mask.end(), at);
    } else if (p.bitCount == 32) {
        for (uint64_t y = 0; y < rows; ++y)
            for (int64_t x = 0; x < p.width; ++x)
                if (p.pixels[size_t(y * p.rowBytes() + 4 * uint64_t(x) + 3)] < kShownAlpha)
                    at[y * maskRow + uint64_t(x) / 8] |= uint8_t(0x80 >> (x & 7));
    }
    return out;
}

// The directory entry the one-image writer puts before icon image data.
void writeEntry(ByteWriter &w, const ConvBitmapInfoHeader &h, bool cursor, uint16_t x, uint16_t y, uint32_t size,
                uint32_t offset) {
    // Width, height of the colour rows, colour count, a reserved byte, the
    // hotspot (cursors) and where the data lies.
    w.u8(uint8_t(h.biWidth));
    w.u8(uint8_t(h.biHeight / 2));
    w.u8(h.biBitCount < 32 ? uint8_t(1u << h.biBitCount) : 0);
    w.u8(0);
    w.u16(cursor ? x : 0);
    w.u16(cursor ? y : 0);
    w.u32(size);
    w.u32(offset);
}

}  // namespace

uint64_t iconDataBytes(const ConvBitmapInfoHeader &h) {
    if (h.biSize != kBitmapHeaderSize || h.biPlanes > 1 || h.biCompression != 0) return 0;
    switch (h.biBitCount) {
    case 1: case 4: case 8: case 24: case 32: break;
    default: return 0;
    }
    if (h.biWidth <= 0 || h.biHeight <= 1) return 0;
    const uint32_t colors = dibColorCount(h);
    if (colors > 256) return 0;
    const uint64_t rows = uint64_t(h.biHeight) / 2;
    return kBitmapHeaderSize + 4ull * colors + (dibRowBytes(h.biWidth, h.biBitCount) + dibRowBytes(h.biWidth, 1)) * rows;
}

void pictureToBgra(const Picture &p, std::vector<uint8_t> &out) {
    out.assign(size_t(p.width) * size_t(p.height) * 4, 0);
    const bool alpha = p.bitCount == 32 && anyAlpha(p);
    const uint32_t entries = p.bitCount <= 8 ? 1u << p.bitCount : 0;
    for (int32_t y = 0; y < p.height; ++y) {
        const uint8_t *row = p.rowFromTop(y);
        const uint8_t *mask = p.mask.empty() ? nullptr : p.mask.data() + uint64_t(p.height - 1 - y) * p.maskRowBytes();
        uint8_t *to = out.data() + size_t(y) * size_t(p.width) * 4;
        for (int32_t x = 0; x < p.width; ++x, to += 4) {
            if (p.bitCount >= 24) {
                std::memcpy(to, row + size_t(x) * (p.bitCount / 8), 3);
            } else {
                const uint32_t perByte = 8u / p.bitCount, shift = (perByte - 1 - uint32_t(x) % perByte) * p.bitCount;
                const uint32_t index = (row[uint32_t(x) / perByte] >> shift) & (entries - 1);
                if (index < p.palette.size()) {
                    const Rgbq &q = p.palette[index];
                    to[0] = q.blue, to[1] = q.green, to[2] = q.red;
                }
            }
            to[3] = alpha ? row[4 * x + 3] : 255;
            if (!alpha && mask && (mask[x / 8] & (0x80 >> (x & 7)))) to[3] = 0;
        }
    }
}

Result encodeIconSet(const IconFile &file, const CoreRequest &request, std::vector<uint8_t> &out) {
    out.clear();
    const size_t count = file.images.size();
    if (count == 0 || count > 0xFFFF) return Result::unsupported;
    try {
        const uint64_t directory = kIconHeaderSize + kIconEntrySize * uint64_t(count);
        uint64_t total = directory;
        for (const Picture &p : file.images) {
            if (!p.consistent() || p.height > INT32_MAX / 2) return Result::unsupported;
            // What the entry holds at most: its pixels as 4 bytes, its mask and a header.
            total += kBitmapHeaderSize + 4 * 256 + uint64_t(p.width) * uint64_t(p.height) * 4 + p.maskRowBytes() * uint64_t(p.height);
        }
        if (total > request.limits.largestBlock || total > UINT32_MAX) return Result::noMemory;
        std::vector<std::vector<uint8_t>> data(count);
        std::vector<bool> png(count);
        for (size_t i = 0; i < count; ++i) {
            if (!request.progress(int32_t(i * 100 / count))) return Result::cancelled;
            const Picture &p = file.images[i];
            png[i] = p.width > kIconSetLargestBitmap || p.height > kIconSetLargestBitmap;
            if (png[i]) {
                std::vector<uint8_t> bgra;
                pictureToBgra(p, bgra);
                if (!plat::encodePng(uint32_t(p.width), uint32_t(p.height), bgra.data(), data[i])) return Result::noMemory;
            } else if (p.bitCount == 32 && anyAlpha(p)) {
                // The AND mask matches the alpha: set where nothing shows.
                Picture masked = p;
                masked.mask.assign(size_t(p.maskRowBytes() * uint64_t(p.height)), 0);
                for (int64_t y = 0; y < p.height; ++y)
                    for (int64_t x = 0; x < p.width; ++x)
                        if (p.pixels[size_t(uint64_t(y) * p.rowBytes() + 4 * uint64_t(x) + 3)] == 0)
                            masked.mask[size_t(uint64_t(y) * p.maskRowBytes() + uint64_t(x) / 8)] |= uint8_t(0x80 >> (x & 7));
                data[i] = iconImageData(masked);
            } else {
                data[i] = iconImageData(p);
            }
        }
        out.assign(size_t(directory), 0);
        ByteWriter w(out.data(), out.size());
        w.u16(0);
        w.u16(file.cursor ? kIconTypeCursor : kIconTypeIcon);
        w.u16(uint32_t(count));
        uint64_t offset = directory;
        for (size_t i = 0; i < count; ++i) {
            const Picture &p = file.images[i];
            const uint16_t bits = png[i] ? 32 : p.bitCount;
            w.u8(uint8_t(p.width >= 256 ? 0 : p.width));
            w.u8(uint8_t(p.height >= 256 ? 0 : p.height));
            w.u8(bits < 8 ? uint8_t(1u << bits) : 0);
            w.u8(0);
            w.u16(file.cursor ? uint16_t(p.hotspotX) : 1);
            w.u16(file.cursor ? uint16_t(p.hotspotY) : bits);
            w.u32(uint32_t(data[i].size()));
            w.u32(uint32_t(offset));
            offset += data[i].size();
        }
        if (offset > UINT32_MAX) return Result::noMemory;
        for (const auto &d : data) out.insert(out.end(), d.begin(), d.end());
        if (out.size() & 1) out.push_back(0);
        return request.progress(100) ? Result::ok : Result::cancelled;
    } catch (const std::bad_alloc &) {
        out.clear();
        return Result::noMemory;
    }
}

Result decodeIconEntry(std::span<const uint8_t> bytes, uint32_t index, const CoreRequest &request, Picture &out) {
    out = Picture{};
    Directory dir;
    if (!looksLikeIcon(bytes) || !readDirectory(bytes, dir)) return Result::notFormat;
    if (index >= dir.entries) return Result::noneFound;
    try {
        const IconEntry e = readEntry(bytes, index);
        const Span span = entrySpan(bytes.size(), e.imageOffset, e.bytesInRes);
        const uint8_t *at = bytes.data() + span.offset;
        if (span.size && statedBytes(at, span.size) > request.limits.largestBlock) return Result::noMemory;
        const Result r = decodeEntry(at, span.size, request.limits, out);
        if (r != Result::ok) {
            out = Picture{};
            return r;
        }
        if (dir.type == kIconTypeCursor) {
            out.hasHotspot = true;
            out.hotspotX = e.planesOrHotspotX;
            out.hotspotY = e.bitCountOrHotspotY;
        }
        return Result::ok;
    } catch (const std::bad_alloc &) {
        out = Picture{};
        return Result::noMemory;
    }
}

bool looksLikeIcon(std::span<const uint8_t> bytes) { return bytes.size() >= 2 && bytes[0] == 0 && bytes[1] == 0; }

Result decodeIconFile(std::span<const uint8_t> bytes, const CoreRequest &request, IconFile &out) {
    out = IconFile{};
    Directory dir;
    if (!looksLikeIcon(bytes) || !readDirectory(bytes, dir)) return Result::notFormat;
    if (dir.entries == 0) return Result::noneFound;
    try {
        out.cursor = dir.type == kIconTypeCursor;
        out.images.resize(dir.entries);
        out.entries.resize(dir.entries);
        // The pictures of all entries together stay within one block's
        // bytes: a directory of many entries sharing one large image
        // cannot multiply it.
        uint64_t held = 0;
        Result first = Result::ok, worst = Result::ok;
        bool any = false;
        for (uint32_t i = 0; i < dir.entries; ++i) {
            if (!request.progress(int32_t(uint64_t(i) * 100 / dir.entries))) {
                out = IconFile{};
                return Result::cancelled;
            }
            IconEntry &e = out.entries[i];
            Picture &p = out.images[i];
            e = readEntry(bytes, i);
            const Span span = entrySpan(bytes.size(), e.imageOffset, e.bytesInRes);
            const uint8_t *at = bytes.data() + span.offset;
            e.png = span.size && plat::isPng(at, size_t(span.size));
            // What the picture will hold is known from the headers before
            // anything is decoded: past the budget nothing more is.
            const uint64_t stated = span.size ? statedBytes(at, span.size) : 0;
            if (held + stated > request.limits.largestBlock) {
                e.status = Result::noMemory;
            } else {
                e.status = decodeEntry(at, span.size, request.limits, p);
                if (e.status == Result::ok) held += p.pixels.size() + p.mask.size();
            }
            if (e.status != Result::ok) {
                p = Picture{};
                if (first == Result::ok) first = e.status;
                if (e.status == Result::noMemory) worst = e.status;
                continue;
            }
            any = true;
            if (out.cursor) {
                p.hasHotspot = true;
                p.hotspotX = e.planesOrHotspotX;
                p.hotspotY = e.bitCountOrHotspotY;
            }
        }
        if (!request.progress(100)) {
            out = IconFile{};
            return Result::cancelled;
        }
        if (any) return Result::ok;
        out = IconFile{};
        return worst != Result::ok ? worst : first;
    } catch (const std::bad_alloc &) {
        out = IconFile{};
        return Result::noMemory;
    }
}

Result encodeIconFile(const IconFile &file, const CoreRequest &request, std::vector<uint8_t> &out) {
    out.clear();
    if (file.images.empty() || file.images.size() > 0xFFFF) return Result::unsupported;
    try {
        uint64_t total = kIconHeaderSize + kIconEntrySize * uint64_t(file.images.size());
        for (const Picture &p : file.images) {
            if (!p.consistent() || p.height > INT32_MAX / 2 || uint64_t(p.width) * uint64_t(p.height) > request.limits.largestPicture)
                return Result::unsupported;
            ConvBitmapInfoHeader h{};
            h.biSize = kBitmapHeaderSize, h.biWidth = p.width, h.biHeight = 2 * p.height, h.biBitCount = p.bitCount;
            total += iconDataBytes(h);
        }
        if (total > request.limits.largestBlock || total > UINT32_MAX) return Result::noMemory;
        std::vector<std::vector<uint8_t>> data;
        for (size_t i = 0; i < file.images.size(); ++i) {
            if (!request.progress(int32_t(i * 100 / file.images.size()))) return Result::cancelled;
            data.push_back(iconImageData(file.images[i]));
        }
        const uint64_t directory = kIconHeaderSize + kIconEntrySize * uint64_t(file.images.size());
        out.assign(size_t(directory), 0);
        ByteWriter w(out.data(), out.size());
        w.u16(0);
        w.u16(file.cursor ? kIconTypeCursor : kIconTypeIcon);
        w.u16(uint32_t(file.images.size()));
        uint64_t offset = directory;
        for (size_t i = 0; i < data.size(); ++i) {
            const Picture &p = file.images[i];
            writeEntry(w, readHeader(data[i].data(), data[i].size()), file.cursor, uint16_t(p.hotspotX),
                       uint16_t(p.hotspotY), uint32_t(data[i].size()), uint32_t(offset));
            offset += data[i].size();
        }
        for (const auto &d : data) out.insert(out.end(), d.begin(), d.end());
        if (out.size() & 1) out.push_back(0);
        return request.progress(100) ? Result::ok : Result::cancelled;
    } catch (const std::bad_alloc &) {
        out.clear();
        return Result::noMemory;
    }
}

std::vector<uint8_t> oneImageIconFile(std::span<const uint8_t> iconData, bool cursor, uint16_t hotspotX,
                                      uint16_t hotspotY) {
    ConvBitmapInfoHeader h{};
    if (iconData.size() >= kBitmapHeaderSize) h = readHeader(iconData.data(), iconData.size());
    std::vector<uint8_t> out(size_t(iconFileBytes(iconData.size())), 0);
    ByteWriter w(out.data(), kIconSingleDataOffset);
    w.u16(0);
    w.u16(cursor ? kIconTypeCursor : kIconTypeIcon);
    w.u16(1);
    writeEntry(w, h, cursor, hotspotX, hotspotY, uint32_t(iconData.size()), kIconSingleDataOffset);
    std::copy(iconData.begin(), iconData.end(), out.begin() + kIconSingleDataOffset);
    return out;
}

Result chooseIconImage(std::span<const uint8_t> bytes, const CoreRequest &request, IconChoice &out) {
    out = IconChoice{};
    Directory dir;
    if (!readDirectory(bytes, dir) || dir.entries == 0) return Result::notFormat;
    const size_t fileSize = bytes.size();
    const uint8_t *file = bytes.data();
    try {
        // The choice is made, an unusable entry passed over, and the choice
        // made again among the rest, until an entry is handed over.
        std::vector<bool> passedOver(dir.entries);
        const auto spanOf = [&](uint32_t i) {
            const IconEntry e = readEntry(bytes, i);
            return entrySpan(fileSize, e.imageOffset, e.bytesInRes);
        };
        const auto isPngAt = [&](const Span &s) { return s.size && plat::isPng(file + s.offset, size_t(s.size)); };
        const auto passOverAll = [&](auto unusable) {
            for (uint32_t i = 0; i < dir.entries; ++i)
                if (!passedOver[i] && unusable(spanOf(i))) passedOver[i] = true;
        };
        for (int unusableChoices = 0, pngFailures = 0;;) {
            bool chosen = false;
            uint32_t bestColors = 0, bestArea = 0, choice = 0;
            for (uint32_t i = 0; i < dir.entries; ++i) {
                if (passedOver[i]) continue;
                const IconEntry e = readEntry(bytes, i);
                const uint32_t area = uint32_t(e.width) * e.height;
                if (e.colorCount > bestColors || area > bestArea) {
                    chosen = true;
                    bestColors = std::max<uint32_t>(e.colorCount, 2);
                    bestArea = area;
                    choice = i;
                }
            }
            // The rule chooses nothing when no entry states colours or an
            // area: then the entry whose own image header states the most
            // pixels is taken, the earlier of equals.
            if (!chosen) {
                uint64_t largest = 0;
                for (uint32_t i = 0; i < dir.entries; ++i) {
                    if (passedOver[i]) continue;
                    const Span span = spanOf(i);
                    const uint64_t area = span.size ? statedArea(file + span.offset, span.size) : 0;
                    if (area > largest) largest = area, choice = i, chosen = true;
                }
            }
            if (!chosen) return Result::notFormat;
            const IconEntry c = readEntry(bytes, choice);
            const Span span = spanOf(choice);
            switch (handOver(file + span.offset, span.size, request.limits, out)) {
            case HandOver::done:
                out.index = choice;
                out.cursor = dir.type == kIconTypeCursor;
                out.hotspotX = out.cursor ? c.planesOrHotspotX : 0;
                out.hotspotY = out.cursor ? c.bitCountOrHotspotY : 0;
                return Result::ok;
            case HandOver::noMemory:
                out = IconChoice{};
                return Result::noMemory;
            case HandOver::unusable:
                passedOver[choice] = true;
                if (isPngAt(span) && ++pngFailures == kPngFailures) passOverAll(isPngAt);
                if (++unusableChoices == kUnusableChoices)
                    passOverAll([&](const Span &s) {
                        return s.size == 0 || (!isPngAt(s) && bitmapKind(file + s.offset, s.size) == Bitmap::unusable);
                    });
                break;
            }
        }
    } catch (const std::bad_alloc &) {
        out = IconChoice{};
        return Result::noMemory;
    }
}

}  // namespace vc
