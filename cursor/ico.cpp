// Icon and cursor files. A load reads the whole file into one block, a
// preview its first limits().previewRead bytes, and every offset is checked
// against that copy before it is used.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - Only the detector looks at the reserved word; any type but 2 (cursor)
//   is read as an icon, and only cursors give a hotspot.
// - A directory that runs past the end of the file is read as far as its
//   entries are whole. The directory's 0 for 256 pixels reads as no area,
//   so where every entry is 256 x 256 (or states neither colours nor an
//   area) the rule chooses none; then the entry whose own image header (a
//   PNG image's, a bitmap's) states the most pixels is taken. Every file
//   the rule decides opens at the entry the rule chooses.
// - The chosen entry's size 0 means "to the end of the file"; a size past
//   the end is cut at the end; an offset at or past the end gives no image.
// - The image data is either a PNG image or a whole uncompressed bitmap
//   with a 40-byte header, at most one plane, depth 1, 4, 8, 24 or 32,
//   positive size and at most 256 colours, whose colour and mask rows lie
//   inside the data. A chosen entry whose data is neither, or a PNG image
//   the decoder cannot read, is passed over and the choice made again among
//   the others; a directory with no usable entry left holds no usable image:
//   a load answers CONV_E_FORMAT, a preview CONV_E_DATA.
// - A 32-bit image becomes 24 bits: the alpha bytes are dropped and the
//   mask decides what is transparent. Many writers leave the mask empty and
//   rely on alpha alone; then pixels of alpha below 128 are masked (and
//   black, so that they show the screen rather than invert it), unless
//   every alpha byte is 0, which is an old image with no alpha at all. A
//   32-bit image whose mask rows are missing altogether (some writers leave
//   them out) is read the same way.
// - A PNG image becomes 24 bits the same way, its mask from its alpha.
// - A preview of a file shorter than a header and one entry answers
//   CONV_E_READ; an image beyond the preview's read limit is no usable
//   image.
#include "cursor/ico.h"

#include <algorithm>
#include <bitset>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "ui/services.h"
#include "common/whole_file.h"
#include "cursor/cursor_format.h"
#include "common/editor_link.h"
#include "common/image_block.h"
#include "common/png.h"

namespace vc {

namespace {

// The 40-byte header of icon image data; a short header reads as zeros.
ConvBitmapInfoHeader readHeader(ByteReader r) { return readBitmapInfoHeader(r); }

// Alpha below this makes a pixel transparent, wherever alpha becomes a
// mask: the nearest a mask comes to the picture drawn with its alpha.
constexpr uint8_t kShownAlpha = 128;

// Whether any alpha byte of a 32-bit bitmap's colour rows is not 0.
bool anyAlpha(const uint8_t *at) {
    const ConvBitmapInfoHeader h = readHeader(ByteReader(at, kBitmapHeaderSize));
    const uint64_t rows = uint64_t(h.biHeight) / 2, row = dibRowBytes(h.biWidth, 32);
    const uint8_t *bits = at + kBitmapHeaderSize + 4ull * h.biClrUsed;
    for (uint64_t y = 0; y < rows; ++y)
        for (int64_t x = 0; x < h.biWidth; ++x)
            if (bits[y * row + 4 * uint64_t(x) + 3]) return true;
    return false;
}

// The editor takes images of 1, 4, 8 and 24 bits. A 32-bit icon image (an
// alpha channel beside the mask) becomes 24 bits in place: the alpha bytes
// are dropped and the mask rows move up behind the shorter colour rows. The
// data must hold a whole image (checked by the caller). Returns the new
// data size.
size_t narrowTo24Bits(uint8_t *data) {
    const ConvBitmapInfoHeader h = readHeader(ByteReader(data, kBitmapHeaderSize));
    const uint64_t rows = uint64_t(h.biHeight) / 2;
    const uint64_t from = dibRowBytes(h.biWidth, 32), to = dibRowBytes(h.biWidth, 24);
    const uint64_t maskRow = dibRowBytes(h.biWidth, 1);
    const uint64_t bits = kBitmapHeaderSize + 4ull * h.biClrUsed;  // no table for 32 bits unless listed
    // A mask made from alpha goes where the stored mask lies, behind every
    // colour row still to be read, and moves up with it.
    uint8_t *mask = data + bits + rows * from;
    // Many writers leave the mask empty and rely on alpha alone.
    const bool fromAlpha = std::all_of(mask, mask + rows * maskRow, [](uint8_t b) { return b == 0; }) && anyAlpha(data);
    for (uint64_t y = 0; y < rows; ++y) {
        const uint8_t *src = data + bits + y * from;
        uint8_t *dst = data + bits + y * to;
        for (int64_t x = 0; x < h.biWidth; ++x) {
            // Forward in place: dst never passes src (3 bytes out per 4 in).
            if (fromAlpha && src[4 * x + 3] < kShownAlpha) {
                mask[y * maskRow + uint64_t(x) / 8] |= uint8_t(0x80 >> (x & 7));
                dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = 0;
                continue;
            }
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
        for (uint64_t pad = uint64_t(h.biWidth) * 3; pad < to; ++pad) dst[pad] = 0;
    }
    std::memmove(data + bits + rows * to, mask, size_t(rows * maskRow));
    storeLe16(data + 14, 24);  // biBitCount
    storeLe32(data + 20, 0);   // biSizeImage
    return size_t(bits + rows * (to + maskRow));
}

// Most pixels one byte of PNG data can stand for: deflate expands at most
// 1032 times, and a pixel takes at least one bit. A PNG claiming more is
// damaged or hostile and is refused before anything is allocated for it.
constexpr uint64_t kPngPixelsPerByte = 1032 * 8;

// Icon image data of 8-bit BGRA rows (a PNG image, a 32-bit bitmap without
// mask rows): 24 bits with a mask, pixels of alpha below 128 masked and
// black, as for 32-bit bitmaps whose mask is left empty; with every alpha
// byte 0 known beforehand, nothing is masked.
class IconFromRows final : public plat::PngSink {
public:
    IconFromRows(uint64_t mostPixels, bool useAlpha) : mostPixels_(mostPixels), useAlpha_(useAlpha) {}

    bool size(uint32_t width, uint32_t height) override {
        const uint64_t pixels = uint64_t(width) * height;
        if (width > INT32_MAX || height > INT32_MAX / 2 || pixels > mostPixels_ || pixels > limits().largestPicture)
            return false;
        rows_ = height;
        colourRow_ = dibRowBytes(width, 24);
        maskRow_ = dibRowBytes(width, 1);
        maskAt_ = kBitmapHeaderSize + colourRow_ * height;
        bytes_ = maskAt_ + maskRow_ * height;
        if (bytes_ > limits().largestBlock) return false;
        // Past the limits, a refusal is memory running out.
        block_ = makePackedDib({.width = int32_t(width), .height = int32_t(height), .bitCount = 24,
                                .recordImageSize = false});
        if (!block_ || !block_.resize(bytes_)) {
            noMemory_ = true;
            return false;
        }
        storeLe32(block_.data() + 8, 2 * height);  // biHeight counts colour and mask rows
        width_ = width;
        return true;
    }

    void row(uint32_t y, const uint8_t *bgra) override {
        const uint64_t up = rows_ - 1 - y;  // bottom row first
        convert(bgra, block_.data() + kBitmapHeaderSize + up * colourRow_, block_.data() + maskAt_ + up * maskRow_);
    }

    plat::Block &block() { return block_; }
    uint64_t bytes() const { return bytes_; }
    bool noMemory() const { return noMemory_; }

private:
    // Without a branch per pixel: a pixel shown keeps its blue, green and
    // red, one masked becomes 0. Four pixels (16 bytes) go out as 12 bytes
    // in three words, eight make a mask byte; the rest one by one.
    void convert(const uint8_t *bgra, uint8_t *colour, uint8_t *mask) const {
        const uint32_t width = width_, opaque = useAlpha_ ? 0 : 0xFFFFFF;
        // All ones but alpha for a pixel shown, 0 for one masked.
        // Alpha of 128 or more is the alpha byte's top bit.
        static_assert(kShownAlpha == 0x80);
        const auto keep = [opaque](uint32_t p) { return (0u - (p >> 31)) >> 8 | opaque; };
        uint32_t x = 0;
        for (; x + 8 <= width; x += 8, bgra += 32, colour += 24) {
            uint32_t bits = 0;
            for (int half = 0; half < 2; ++half) {
                uint32_t p[4];
                for (int i = 0; i < 4; ++i) {
                    const uint32_t v = loadLe32(bgra + 16 * half + 4 * i), k = keep(v);
                    p[i] = v & k;
                    bits |= (~k & 1) << (7 - 4 * half - i);
                }
                storeLe32(colour + 12 * half, p[0] | p[1] << 24);
                storeLe32(colour + 12 * half + 4, p[1] >> 8 | p[2] << 16);
                storeLe32(colour + 12 * half + 8, p[2] >> 16 | p[3] << 8);
            }
            mask[x / 8] = uint8_t(bits);
        }
        for (; x < width; ++x, bgra += 4, colour += 3) {
            const uint32_t v = loadLe32(bgra), k = keep(v);
            colour[0] = uint8_t(v & k), colour[1] = uint8_t((v & k) >> 8), colour[2] = uint8_t((v & k) >> 16);
            mask[x / 8] |= uint8_t((~k & 1) << (7 - x % 8));
        }
    }

    uint64_t mostPixels_;
    bool useAlpha_;
    plat::Block block_;
    uint32_t width_ = 0;
    uint64_t rows_ = 0, colourRow_ = 0, maskRow_ = 0, maskAt_ = 0, bytes_ = 0;
    bool noMemory_ = false;
};

// Where an entry's data lies in the file image: size 0 means "to the end of
// the file"; a size past the end is cut to what the buffer holds, and the
// checks on the data decide whether that is still a whole image. Empty
// (size 0) when the offset is at or past the end.
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
    const ConvBitmapInfoHeader h = readHeader(ByteReader(at, size_t(size)));
    const uint64_t need = iconDataBytes(h);
    if (need != 0 && need <= size) return Bitmap::whole;
    const uint64_t mask = dibRowBytes(h.biWidth, 1) * (uint64_t(h.biHeight) / 2);
    return need != 0 && h.biBitCount == 32 && need - mask <= size ? Bitmap::noMask : Bitmap::unusable;
}
bool isIconBitmap(const uint8_t *at, uint64_t size) { return bitmapKind(at, size) != Bitmap::unusable; }

// The pixels an entry's own image header states: a PNG image's header, else
// a bitmap header's width by half its height (colour and mask rows count
// together); 0 when neither states a positive size.
uint64_t statedArea(const uint8_t *at, uint64_t size) {
    uint32_t width = 0, height = 0;
    if (plat::pngHeaderSize(at, size_t(size), width, height)) return uint64_t(width) * height;
    if (plat::isPng(at, size_t(size))) return 0;
    const ConvBitmapInfoHeader h = readHeader(ByteReader(at, size_t(size)));
    return h.biWidth > 0 && h.biHeight > 1 ? uint64_t(h.biWidth) * uint64_t(h.biHeight / 2) : 0;
}

// What handing one entry over came to.
enum class HandOver { done, unusable, noMemory };

// Hands decoded rows over as icon image data in a block of their own.
HandOver fromRows(plat::Block &image, IconFromRows &rows, plat::PngResult r, size_t &dataSize) {
    if (r == plat::PngResult::noMemory || rows.noMemory()) return HandOver::noMemory;
    if (r != plat::PngResult::done) return HandOver::unusable;
    dataSize = size_t(rows.bytes());
    image = std::move(rows.block());
    return HandOver::done;
}

// A 32-bit bitmap without mask rows, through the rows' sink.
plat::PngResult feedBitmap(const uint8_t *at, IconFromRows &sink) {
    const ConvBitmapInfoHeader h = readHeader(ByteReader(at, kBitmapHeaderSize));
    const uint32_t rows = uint32_t(h.biHeight / 2), row = uint32_t(dibRowBytes(h.biWidth, 32));
    const uint8_t *bits = at + kBitmapHeaderSize + 4ull * h.biClrUsed;
    if (!sink.size(uint32_t(h.biWidth), rows)) return plat::PngResult::unusable;
    for (uint32_t y = 0; y < rows; ++y) sink.row(y, bits + uint64_t(rows - 1 - y) * row);
    return plat::PngResult::done;
}

// Makes an entry's data the file image's icon image data: a whole bitmap
// moved to the start of the block, 32 bits narrowed; a PNG image decoded
// into a new block that replaces the file's. The block is untouched unless
// it is done.
HandOver handOver(plat::Block &image, Span span, size_t &dataSize) {
    if (span.size == 0) return HandOver::unusable;
    uint8_t *at = image.data() + span.offset;
    if (plat::isPng(at, size_t(span.size))) {
        IconFromRows png(span.size * kPngPixelsPerByte, true);
        return fromRows(image, png, plat::decodePng(at, size_t(span.size), png), dataSize);
    }
    const Bitmap kind = bitmapKind(at, span.size);
    if (kind == Bitmap::unusable) return HandOver::unusable;
    if (kind == Bitmap::noMask) {
        IconFromRows rows(UINT64_MAX, anyAlpha(at));
        return fromRows(image, rows, feedBitmap(at, rows), dataSize);
    }
    std::memmove(image.data(), at, size_t(span.size));
    dataSize = size_t(span.size);
    if (readHeader(ByteReader(image.data(), dataSize)).biBitCount == 32) dataSize = narrowTo24Bits(image.data());
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

}  // namespace

uint64_t iconDataBytes(const ConvBitmapInfoHeader &h) {
    if (h.biSize != kBitmapHeaderSize || h.biPlanes > 1 || h.biCompression != 0) return 0;
    switch (h.biBitCount) {
    case 1: case 4: case 8: case 24: case 32: break;
    default: return 0;
    }
    if (h.biWidth <= 0 || h.biHeight <= 1) return 0;
    uint32_t colors = dibColorCount(h);
    if (colors > 256) return 0;
    uint64_t rows = uint64_t(h.biHeight) / 2;
    return kBitmapHeaderSize + 4ull * colors + (dibRowBytes(h.biWidth, h.biBitCount) + dibRowBytes(h.biWidth, 1)) * rows;
}

bool IsIconFile(HFile file) {
    uint8_t head[4];
    ByteReader r = readFileHead(file, head, sizeof head);
    const uint16_t reserved = r.u16();
    return r.ok() && reserved == 0;
}

int PickIconImage(plat::Block &image, uint32_t *hotspot, size_t fileSize, size_t *dataSize) {
    if (!image.lock()) return 0;
    fileSize = std::min(fileSize, image.size());
    const ByteReader file(image.data(), fileSize);
    ByteReader head = file.at(0, kIconHeaderSize);
    head.skip(2);  // reserved
    const uint16_t type = head.u16();
    const uint32_t count = head.u16();
    if (!head.ok() || count == 0) return 0;
    // A directory that runs past the buffer is read as far as it goes.
    const uint32_t entries = uint32_t(std::min<uint64_t>(count, (fileSize - kIconHeaderSize) / kIconEntrySize));

    struct Entry {
        uint32_t width, height, colors, x, y, bytes, at;
    };
    const auto entry = [&](uint32_t i) {
        ByteReader e = file.at(kIconHeaderSize + uint64_t(i) * kIconEntrySize, kIconEntrySize);
        Entry d{};
        d.width = e.u8(), d.height = e.u8(), d.colors = e.u8();
        e.skip(1);
        d.x = e.u16(), d.y = e.u16();
        d.bytes = e.u32(), d.at = e.u32();
        return d;
    };
    // The choice is made, an unusable entry passed over, and the choice made
    // again among the rest, until an entry is handed over.
    std::bitset<65536> passedOver;
    const auto spanOf = [&](const Entry &e) { return entrySpan(fileSize, e.at, e.bytes); };
    const auto isPngAt = [&](const Span &s) { return plat::isPng(image.data() + s.offset, size_t(s.size)); };
    const auto passOverAll = [&](auto unusable) {
        for (uint32_t i = 0; i < entries; ++i)
            if (!passedOver[i] && unusable(spanOf(entry(i)))) passedOver.set(i);
    };
    for (int unusableChoices = 0, pngFailures = 0;;) {
        bool chosen = false;
        uint32_t bestColors = 0, bestArea = 0, choice = 0;
        for (uint32_t i = 0; i < entries; ++i) {
            if (passedOver[i]) continue;
            const Entry e = entry(i);
            const uint32_t area = e.width * e.height;
            if (e.colors > bestColors || area > bestArea) {
                chosen = true;
                bestColors = std::max<uint32_t>(e.colors, 2);
                bestArea = area;
                choice = i;
            }
        }
        // The rule chooses nothing when no entry states colours or an area,
        // as when every image is 256 x 256, which the directory stores as 0:
        // then the entry whose own image header states the most pixels is
        // taken, the earlier of equals.
        if (!chosen) {
            uint64_t largest = 0;
            for (uint32_t i = 0; i < entries; ++i) {
                if (passedOver[i]) continue;
                const Span span = spanOf(entry(i));
                const uint64_t area = span.size ? statedArea(image.data() + span.offset, span.size) : 0;
                if (area > largest) largest = area, choice = i, chosen = true;
            }
        }
        if (!chosen) return 0;
        const Entry c = entry(choice);
        const Span span = spanOf(c);
        size_t size = 0;
        switch (handOver(image, span, size)) {
        case HandOver::done:
            if (hotspot) *hotspot = type == kIconTypeCursor ? packPoint(int32_t(c.x), int32_t(c.y)) : 0;
            if (dataSize) *dataSize = size;
            return 1;
        case HandOver::noMemory:
            return -1;
        case HandOver::unusable:
            passedOver.set(choice);
            if (span.size && isPngAt(span) && ++pngFailures == kPngFailures)
                passOverAll([&](const Span &s) { return s.size && isPngAt(s); });
            if (++unusableChoices == kUnusableChoices)
                passOverAll([&](const Span &s) {
                    return s.size == 0 || (!isPngAt(s) && !isIconBitmap(image.data() + s.offset, s.size));
                });
            break;
        }
    }
}

int16_t LoadIconFile(const char *fileName, Wnd, HostCallback callback) {
    plat::Block block;
    size_t size = 0;
    if (int16_t r = readWholeFile(fileName, block, size, {.limit = UINT32_MAX, .openFailure = CONV_E_OPEN}); r != CONV_OK)
        return r;
    uint32_t hotspot = 0;
    if (const int picked = PickIconImage(block, &hotspot, size); picked != 1)
        return picked < 0 ? CONV_E_MEMORY : CONV_E_FORMAT;
    const EditorLink link(callback);
    if (!link.addIcon(block.data(), HOST_FRAME_GIF)) return CONV_CANCELLED;
    const int32_t count = link.frameCount();
    if (count >= 1) {
        link.setHotspot(hotspot, count - 1);
        link.noteFile(fileName, CONV_FMT_ICON, count - 1);
    }
    return CONV_OK;
}

int16_t PreviewIconBlock(plat::Block block, size_t fileSize, ConvImageRecord *record) {
    if (const int picked = PickIconImage(block, nullptr, fileSize); picked != 1)
        return picked < 0 ? CONV_E_MEMORY : CONV_E_DATA;
    uint8_t *p = block.data();
    ConvBitmapInfoHeader h = readHeader(ByteReader(p, kBitmapHeaderSize));
    if (h.biClrUsed == 0) {
        h.biClrUsed = h.biBitCount <= 8 ? (1u << h.biBitCount) : 0;
        storeLe32(p + 32, h.biClrUsed);
    }
    h.biHeight /= 2;
    storeLe32(p + 8, uint32_t(h.biHeight));
    if (record) {
        record->bitsOffset = uintptr_t(h.biSize) + 4u * h.biClrUsed;
        record->image = block.release();
    }
    return CONV_OK;
}

int16_t PreviewIconFile(const char *fileName, ConvImageRecord *record) {
    if (record) record->image = nullptr;
    plat::Block block;
    size_t size = 0;
    int16_t r = readWholeFile(fileName, block, size, {.limit = limits().previewRead, .minimum = kIconSingleDataOffset});
    if (r != CONV_OK) return r;
    return PreviewIconBlock(std::move(block), size, record);
}

int WriteIconFile(const plat::File &file, const void *data, uint32_t dataSize, uint32_t hotspot, bool isCursor) {
    ConvBitmapInfoHeader h{};
    if (data && dataSize >= kBitmapHeaderSize) h = readHeader(ByteReader(data, dataSize));
    uint8_t head[kIconSingleDataOffset];
    ByteWriter w(head, sizeof head);
    w.u16(0);
    w.u16(isCursor ? kIconTypeCursor : kIconTypeIcon);
    w.u16(1);
    // The one entry: width, height of the colour rows, colour count, a
    // reserved byte, the hotspot (cursors) and where the data lies.
    w.u8(uint8_t(h.biWidth));
    w.u8(uint8_t(h.biHeight / 2));
    w.u8(h.biBitCount < 32 ? uint8_t(1u << h.biBitCount) : 0);
    w.u8(0);
    w.u16(isCursor ? hotspot & 0xFFFF : 0);
    w.u16(isCursor ? hotspot >> 16 : 0);
    w.u32(dataSize);
    w.u32(kIconSingleDataOffset);
    if (!file.writeAll(head, sizeof head)) return 0;
    if (dataSize && !file.writeAll(data, dataSize)) return 0;
    if ((kIconSingleDataOffset + uint64_t(dataSize)) & 1) {
        const uint8_t pad = 0;
        if (!file.writeAll(&pad, 1)) return 0;
    }
    return 1;
}

namespace {
bool hasCursorExtension(const char *fileName) {
    const char *dot = std::strrchr(fileName, '.');
    if (!dot) return false;
    const char *want = ".cur";
    for (int i = 0; i < 5; ++i) {
        char c = dot[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != want[i]) return false;
    }
    return true;
}
}  // namespace

int16_t SaveIconFile(const char *fileName, Wnd parent, HostCallback callback) {
    const EditorLink link(callback);
    uint16_t wh[2] = {0, 0};
    if (!link.imageSize(wh)) return CONV_E_MEMORY;
    const uint32_t size = SelectCursorSize(parent, callback);
    if (size == kCursorSizeCancelled) return CONV_CANCELLED;
    if (size == 0) return CONV_E_MEMORY;

    uint32_t inOut = size;
    plat::Block block(link.getIcon(inOut, 65535));
    if (!block.lock()) return CONV_E_MEMORY;
    // Never trust the reported size beyond the block itself.
    const uint32_t dataSize = uint32_t(std::min<size_t>(inOut, block.size()));

    plat::File f;
    if (!f.create(fileName)) return CONV_E_CREATE;
    const bool cursor = hasCursorExtension(fileName);
    const uint32_t hotspot = cursor ? link.hotspot(HOST_CURRENT_IMAGE) : 0;
    const bool written = WriteIconFile(f, block.data(), dataSize, hotspot, cursor) != 0;
    // A failed close may have lost bytes the system held back.
    return f.close() && written ? CONV_OK : CONV_E_WRITE;
}

int16_t iconRowLoad(const LoadRequest &request) {
    return LoadIconFile(request.fileName, request.parent, request.callback);
}

int16_t iconRowSave(const SaveRequest &request) {
    return SaveIconFile(request.fileName, request.parent, request.callback);
}

}  // namespace vc
