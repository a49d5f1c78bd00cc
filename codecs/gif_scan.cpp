// Reading GIF bytes: the scan and the decoding of one image onto a canvas.
// Each structure (signature and screen descriptor, colour table, image
// descriptor, an extension's head and sub-blocks) is taken whole from the
// read window and checked once before any of it is used, so damaged bytes
// never make a read or write outside the record, the canvas or the
// buffers here.
//
// Choices for damaged input, where the format leaves them open:
// - Bytes that do not begin with "GIF" are unsupported, as is a block
//   introducer other than an image, an extension, the trailer or a 0x00
//   between blocks. The version digits are not looked at.
// - Bytes that end inside the screen descriptor, a colour table, an image
//   descriptor, an extension's first sub-block or the image data being
//   skipped, or before the trailer, give readFailed. A scan of the first
//   image only stops after its descriptor and needs nothing beyond it.
// - An extension's later sub-blocks that end early just end the extension;
//   a graphic control block shorter than 4 bytes reads as zeros past its
//   end; a looping block shorter than 3 bytes is ignored.
// - Images past the frame table's kGifMaxFrames entries are checked and
//   skipped, and graphic controls before them dropped.
// - An image is damaged for a code size above 11, a local colour table
//   larger than the canvas's, a code above the next free code, and data
//   that ends without an end code after another number of pixels than the
//   image holds; readFailed when its data sub-blocks are cut by the end of
//   the bytes. Such an image draws nothing: the canvas keeps what it held.
// - An end code before the last pixel is accepted (the missing pixels read
//   as index 0); pixels beyond width x height are dropped.
// - The index buffer of an image of more than a million pixels holds no
//   more pixels than its data could produce, so a descriptor claiming a
//   huge image over a few bytes of data costs no memory; rows beyond the
//   buffer read as index 0. Smaller images, and images decoded straight
//   into a canvas of one index (which have no index buffer), are decoded a
//   sub-block at a time as their data is read.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codecs/gif_parts.h"
#include "common/bytes.h"
#include "common/lzw.h"

namespace vc {

namespace {

// Depth of a colour table from the size field of a packed byte.
uint16_t tableDepth(uint8_t packed) {
    unsigned n = (packed & 7u) + 1;
    return n == 1 ? 1 : n <= 4 ? 4 : 8;
}

// Entries of the colour table a packed byte announces.
uint32_t tableEntries(uint8_t packed) { return 2u << (packed & 7); }

// Reads n RGB triples into the first `room` entries of a table (blue,
// green, red order). Nothing is stored when the file ends first.
template <class Window>
bool readColorTable(Window &in, uint32_t n, uint8_t *table, uint32_t room) {
    ByteReader r = in.take(3 * n);
    const uint8_t *rgb = r.span(3 * n);
    if (!rgb) return false;
    for (uint32_t i = 0; i < n && i < room; ++i, rgb += 3) {
        uint8_t *q = table + 4 * i;
        q[0] = rgb[2], q[1] = rgb[1], q[2] = rgb[0], q[3] = 0;
    }
    return true;
}

struct ImageDescriptor {
    uint16_t left = 0, top = 0, width = 0, height = 0;
    uint8_t packed = 0;
};

template <class Window>
bool readDescriptor(Window &in, ImageDescriptor &d) {
    ByteReader r = in.take(9);
    d.left = r.u16();
    d.top = r.u16();
    d.width = r.u16();
    d.height = r.u16();
    d.packed = r.u8();
    return r.ok();
}

// ---- Scan ---------------------------------------------------------------------------

// Signature, logical screen descriptor and global colour table.
template <class Window>
Result readScreen(Window &in, GifAnimRecord &rec) {
    ByteReader head = in.take(13);
    if (head.size() < 3 || std::memcmp(head.data(), "GIF", 3) != 0) return Result::unsupported;
    head.skip(6);
    const uint16_t width = head.u16(), height = head.u16();
    const uint8_t packed = head.u8(), background = head.u8();
    head.skip(1);  // pixel aspect ratio
    if (!head.ok()) return Result::readFailed;
    rec.screenWidth = width;
    rec.screenHeight = height;
    rec.backgroundIndex = background;
    rec.bitsPerPixel = int16_t(tableDepth(packed));
    rec.globalColorCount = 0;
    if (packed & 0x80) {
        const uint32_t n = tableEntries(packed);
        if (!readColorTable(in, n, reinterpret_cast<uint8_t *>(rec.globalPalette), n)) return Result::readFailed;
        rec.globalColorCount = int16_t(n);
    }
    return Result::ok;
}

void readGraphicControl(const ByteReader &block, GifFrameEntry &e) {
    // A block shorter than its 4 bytes reads as zeros past its end.
    uint8_t fixed[4] = {};
    std::memcpy(fixed, block.data(), std::min<size_t>(block.size(), sizeof fixed));
    ByteReader r(fixed, sizeof fixed);
    const uint8_t flags = r.u8();
    const uint16_t delay = r.u16();
    const uint8_t transparent = r.u8();
    e.transparentIndex = (flags & 1) ? int16_t(transparent) : int16_t(-1);
    e.userInput = (flags >> 1) & 1;
    e.delay = delay;
    e.disposal = (flags >> 2) & 3;
    e.hasGraphicControl = 1;
}

// How a walk over data sub-blocks ended: at the terminator, where its
// taker asked to stop, or at the end of the file (a length byte or a
// sub-block cut short).
enum class Walk { Ended, Stopped, Truncated };

// Every walk over data sub-blocks up to their terminator, an extension's
// or an image's: each whole sub-block is handed to take(bytes, length),
// which returns false to stop there. A sub-block is at most 255 bytes, so
// it lies in the read window and is handed over where it stands.
template <class Window, class Take>
Walk walkSubBlocks(Window &in, Take &&take) {
    for (;;) {
        uint8_t len;
        if (!in.byte(len)) return Walk::Truncated;
        if (len == 0) return Walk::Ended;
        const uint8_t *data = in.take(len).span(len);
        if (!data) return Walk::Truncated;
        if (!take(data, len)) return Walk::Stopped;
    }
}

// Appends a comment sub-block up to the comment's room; an embedded NUL
// ends the piece.
void appendComment(GifAnimRecord &rec, const uint8_t *data, size_t size) {
    const size_t have = strnlen(rec.comment, sizeof rec.comment);
    if (have >= size_t(kGifCommentMax)) return;
    size_t piece = strnlen(reinterpret_cast<const char *>(data), size);
    piece = std::min(piece, size_t(kGifCommentMax) - have);
    std::memcpy(rec.comment + have, data, piece);
    rec.comment[have + piece] = 0;
    rec.commentFlag = 1;
}

}  // namespace

template <class Window>
Result readGifExtension(Window &in, GifAnimRecord &rec) {
    ByteReader head = in.take(2);
    const uint8_t label = head.u8(), len = head.u8();
    if (!head.ok()) return Result::readFailed;
    if (len == 0) return Result::ok;
    const ByteReader block = in.take(len);
    if (!block.ok()) return Result::readFailed;

    const bool comment = label == 0xFE;
    const bool looping = label == 0xFF && len >= 8 && std::memcmp(block.data(), "NETSCAPE", 8) == 0;
    if (label == 0xF9) {
        // Controls for images past the table's end are read and dropped.
        if (rec.frameCount < kGifMaxFrames) readGraphicControl(block, rec.frames[rec.frameCount]);
    } else if (comment) {
        if (!rec.commentFlag) rec.comment[0] = 0;
        appendComment(rec, block.data(), len);
    }
    // The rest of the sub-blocks, up to the terminator or the end of the
    // file: a comment's are appended, and the looping count stands in the
    // first one after the identifier, behind the sub-block's id (not looked
    // at).
    bool first = true;
    walkSubBlocks(in, [&](const uint8_t *data, size_t size) {
        if (comment) appendComment(rec, data, size);
        if (looping && first && size >= 3) {
            rec.repeat = 1;
            rec.loopCount = loadLe16(data + 1);
        }
        first = false;
        return true;
    });
    return Result::ok;
}

template <class Window>
Result skipGifImageData(Window &in) {
    uint8_t s;
    if (!in.byte(s)) return Result::readFailed;  // minimum code size
    const Walk walk = walkSubBlocks(in, [](const uint8_t *, size_t) { return true; });
    return walk == Walk::Ended ? Result::ok : Result::readFailed;
}

namespace {

// One image in the scan, after its separator: its entry (when the table
// has room) and, unless only the first image is wanted, its data skipped.
template <class Window>
Result scanImage(Window &in, GifAnimRecord &rec, bool firstImageOnly) {
    // Images past the table's end are checked and skipped, not recorded.
    GifFrameEntry spare{};
    const bool recorded = rec.frameCount < kGifMaxFrames;
    GifFrameEntry &e = recorded ? rec.frames[rec.frameCount] : spare;
    e.dataPosition = uint32_t(in.tell());
    ImageDescriptor d;
    if (!readDescriptor(in, d)) return Result::readFailed;
    e.left = int16_t(d.left);
    e.top = int16_t(d.top);
    e.width = d.width;
    e.height = d.height;
    e.interlaced = (d.packed >> 6) & 1;
    if (d.packed & 0x80) {
        e.bitsPerPixel = tableDepth(d.packed);
        in.skip(3 * tableEntries(d.packed));
        rec.bitsPerPixel = std::max<int16_t>(rec.bitsPerPixel, int16_t(e.bitsPerPixel));
    } else {
        e.bitsPerPixel = uint16_t(rec.bitsPerPixel);
    }
    if (!firstImageOnly) {
        const Result r = skipGifImageData(in);
        if (r != Result::ok) return r;
    }
    if (recorded) ++rec.frameCount;
    return Result::ok;
}

template <class Window>
Result parseStructure(Window &in, GifAnimRecord &rec, bool firstImageOnly, int32_t *images) {
    Result r = readScreen(in, rec);
    if (r != Result::ok) return r;
    rec.frameCount = 0;
    if (images) *images = 0;
    for (bool done = false; !done;) {
        uint8_t b;
        if (!in.byte(b)) return Result::readFailed;
        switch (b) {
        case 0x00:
            break;
        case 0x3B:
            done = true;
            break;
        case 0x21:
            if (readGifExtension(in, rec) != Result::ok) return Result::readFailed;
            break;
        case 0x2C:
            r = scanImage(in, rec, firstImageOnly);
            if (r != Result::ok) return r;
            if (images) ++*images;
            done = firstImageOnly;
            break;
        default:
            return Result::unsupported;
        }
    }
    // Callers read on after the signature.
    return in.seek(6) ? Result::ok : Result::readFailed;
}

// ---- Decoding -----------------------------------------------------------------------

// An image's data sub-blocks as one span. truncated tells that a
// sub-block (or its length byte) was cut short by the end of the bytes, in
// which case only the whole sub-blocks before it are there.
struct Gathered {
    std::vector<uint8_t> bytes;
    bool truncated = false;
};

// False when the data would pass the largest block.
template <class Window>
bool gatherSubBlocks(Window &in, Gathered &g, const Limits &limits) {
    bool memory = true;
    g.bytes.reserve(65536);
    const Walk walk = walkSubBlocks(in, [&](const uint8_t *data, size_t len) {
        if (g.bytes.size() + len > limits.largestBlock) return memory = false;
        g.bytes.insert(g.bytes.end(), data, data + len);
        return true;
    });
    g.truncated = walk == Walk::Truncated;
    return memory;
}

// The most pixels a code stream of this many bytes can produce: every code
// is at least s + 1 bits, and a string is at most one longer than the
// number of codes before it (and at most 4096).
uint64_t pixelBound(size_t bytes, unsigned s) {
    uint64_t codes = uint64_t(bytes) * 8 / (s + 1);
    return codes <= 4096 ? codes * (codes + 1) / 2 : codes * 4096;
}

// Images of up to this many pixels are decoded into a buffer on the stack
// and drawn from there, also onto a canvas of one index: moving their rows
// in place costs more calls than the copies it saves.
constexpr uint64_t kSmallImage = 4096;

// One image's colour indices, one byte per pixel in the order the file
// stores the rows; `kept` bytes of them (when the data was gathered first,
// the last 256 spare).
struct Indices {
    std::unique_ptr<uint8_t[]> block;
    uint64_t kept = 0;
    // Where the indices stand: block, or for a small image the bytes here.
    uint8_t *data = nullptr;
    uint8_t small[kSmallImage];
};

// The result of decoding an image of `pixels` pixels into out[0 ..
// capacity), whose data ended early when truncated; what the decoder did
// not reach is cleared.
Result decodedImage(const lzw::DecodeResult &lr, bool truncated, uint64_t pixels, uint8_t *out, uint64_t capacity) {
    if (lr.produced < capacity) std::memset(out + lr.produced, 0, size_t(capacity - lr.produced));
    if (lr.sawEnd) return lr.status;
    if (truncated) return Result::readFailed;
    return lr.produced != pixels ? Result::damaged : lr.status;
}

// Reads the code size and the data and decodes them into out[0 .. pixels)
// as they come, each sub-block where the read window holds it: the data is
// neither copied nor held whole. Reading stops at the end code.
// After each piece, decoded(n) is told that out[0 .. n) is final.
struct NothingDecoded {
    void operator()(uint64_t) const {}
};

template <class Window, class Decoded = NothingDecoded>
Result streamIndices(Window &in, uint64_t pixels, uint8_t *out, Decoded &&decoded = {}) {
    uint8_t s;
    if (!in.byte(s)) return Result::readFailed;
    if (s > lzw::kMaxMinCodeSize) return Result::damaged;
    lzw::Decoder decoder(out, size_t(pixels), {s, lzw::BitOrder::LsbFirst, 0});
    // Only whole sub-blocks are decoded.
    const Walk walk = walkSubBlocks(in, [&](const uint8_t *data, size_t len) {
        const bool more = decoder.feed(data, len);
        decoded(decoder.produced());
        return more;
    });
    return decodedImage(decoder.finish(), walk == Walk::Truncated, pixels, out, pixels);
}

// Images of up to this many pixels get an index buffer of their size at
// once, and their data is decoded as it is read: gathering it first cost
// an animation of small frames more than the buffer's bytes. Larger images
// are gathered first, and their buffer is held to what the data can fill.
constexpr uint64_t kStreamedPixels = 1u << 20;

// Gathered data is decoded this many bytes at a time, so that what each
// piece decodes is still in the cache when decoded() draws it.
constexpr size_t kGatheredPiece = 8192;

// Reads the code size and the data and decodes them; decoded() is told
// after each piece how many indices are final (out.data is set before).
template <class Window, class Decoded = NothingDecoded>
Result decodeIndices(Window &in, uint32_t width, uint32_t height, Indices &out, const Limits &limits,
                     Decoded &&decoded = {}) {
    const uint64_t pixels = uint64_t(width) * height;
    if (pixels <= kStreamedPixels && pixels <= limits.largestBlock) {
        out.kept = pixels;
        if (pixels <= kSmallImage) {
            out.data = out.small;
        } else {
            out.block.reset(new uint8_t[size_t(pixels)]);
            out.data = out.block.get();
        }
        return streamIndices(in, pixels, out.data, decoded);
    }
    uint8_t s;
    if (!in.byte(s)) return Result::readFailed;
    if (s > lzw::kMaxMinCodeSize) return Result::damaged;
    Gathered data;
    if (!gatherSubBlocks(in, data, limits)) return Result::noMemory;

    // Width x height bytes and 256 spare, but never more than the data can
    // fill. Not zeroed first: the decoder writes every byte up to where it
    // stops, and only what lies behind that is cleared.
    out.kept = std::min(pixels, pixelBound(data.bytes.size(), s)) + 256;
    if (out.kept > limits.largestBlock) return Result::noMemory;
    out.block.reset(new uint8_t[size_t(out.kept)]);
    out.data = out.block.get();
    lzw::Decoder decoder(out.data, size_t(out.kept), {s, lzw::BitOrder::LsbFirst, 0});
    for (size_t at = 0; at < data.bytes.size(); at += kGatheredPiece) {
        const bool more = decoder.feed(data.bytes.data() + at, std::min(kGatheredPiece, data.bytes.size() - at));
        decoded(decoder.produced());
        if (!more) break;
    }
    return decodedImage(decoder.finish(), data.truncated, pixels, out.data, out.kept);
}

// Whether the image can be decoded straight into the canvas's rows: an
// 8-bit canvas known to hold one index throughout, and an image that lies
// inside it whole, at any position and width, interlaced or not. Such an
// image needs no index buffer: the rows it covers hold at least as many
// bytes as its pixels, so its code stream, whose strings stand in what it
// has decoded, is decoded packed into them and the rows are then put in
// place; what drawIndices would have left of the canvas (the rest of those
// rows, the transparent pixels, or all of them when the image fails) is
// the fill, and is given back. A canvas that holds anything keeps the index
// buffer: an image that fails draws nothing, so its pixels cannot replace
// the canvas's before the last of them is known.
bool decodesInPlace(const ImageDescriptor &d, int32_t left, int32_t top, const GifCanvas &canvas, CanvasFill fill) {
    return uint64_t(d.width) * d.height > kSmallImage && fill.index >= 0 && fill.index <= 255 &&
           canvas.depth == 8 && left >= 0 && top >= 0 && int64_t(left) + d.width <= canvas.width &&
           int64_t(top) + d.height <= canvas.height;
}

// Decodes such an image into the rows it covers (at column left, rows top
// to top + height - 1 from the top). The indices are decoded packed at the
// start of the band of those rows, then each row is moved to where it
// belongs, which puts them bottom up (and out of the interlace's order)
// by following the permutation's cycles with one row held aside; then they
// are spread out to the stride from the last, so that no row is overwritten
// before it has moved. The rest of the band, and the transparent pixels,
// get the fill. An image that fails leaves the band filled.
template <class Window>
Result decodeInPlace(Window &in, const ImageDescriptor &d, int32_t left, int32_t top, const GifCanvas &canvas,
                     int32_t transparent, uint8_t fill) {
    const size_t width = d.width, height = d.height, stride = size_t(canvas.stride), x = size_t(left);
    uint8_t *band = canvas.bits + (size_t(canvas.height) - size_t(top) - height) * stride;
    const Result r = streamIndices(in, uint64_t(width) * height, band);
    if (r != Result::ok) {
        std::memset(band, fill, stride * height);
        return r;
    }
    // Row p of the stream belongs in row `to(p)` of the band, counted from
    // the first in memory (the bottom one): without interlace the rows are
    // turned over, pair by pair.
    const bool interlaced = d.packed & 0x40;
    auto to = [&](size_t p) { return height - 1 - gifInterlacedRow(uint32_t(p), uint32_t(height)); };
    if (!interlaced) {
        for (size_t a = 0, b = height - 1; a < b; ++a, --b)
            std::swap_ranges(band + a * width, band + (a + 1) * width, band + b * width);
    } else if (height > 1) {
        std::vector<uint8_t> held(width);
        std::vector<bool> placed(height);
        for (size_t start = 0; start < height; ++start) {
            if (placed[start] || to(start) == start) continue;
            // The cycle through start: each place takes the row that
            // belongs there, the first one held aside.
            std::memcpy(held.data(), band + start * width, width);
            for (size_t at = start;;) {
                placed[at] = true;
                const size_t from = gifInterlacedPosition(uint32_t(height - 1 - at), uint32_t(height));
                if (from == start) {
                    std::memcpy(band + at * width, held.data(), width);
                    break;
                }
                std::memcpy(band + at * width, band + from * width, width);
                at = from;
            }
        }
    }
    if (stride != width || x != 0)
        for (size_t j = height; j-- > 0;) {
            uint8_t *row = band + j * stride;
            std::memmove(row + x, band + j * width, width);
            std::memset(row, fill, x);
            std::memset(row + x + width, fill, stride - x - width);
        }
    if (transparent >= 0 && transparent <= 255 && transparent != fill) {
        const uint8_t key = uint8_t(transparent);
        for (size_t j = 0; j < height; ++j) {
            uint8_t *row = band + j * stride + x;
            for (size_t i = 0; i < width; ++i) row[i] = row[i] == key ? fill : row[i];
        }
    }
    return Result::ok;
}

// Draws the indices onto the canvas at (left, top), aligned down to a
// whole byte and clipped at the right and the bottom; rows past what the
// buffer kept read as index 0. An image placed left of or above the canvas
// (a frame larger than the picture, pulled back by its overhang) draws
// nothing: the picture keeps what it held.
void drawIndices(const Indices &image, const ImageDescriptor &d, int32_t left, int32_t top, const GifCanvas &canvas,
                 int32_t transparent, int64_t rowFrom = 0, int64_t rowUntil = INT64_MAX) {
    if (left < 0 || top < 0) return;
    const uint16_t depth = canvas.depth;
    const uint32_t width = d.width, height = d.height;
    const int32_t x = ((left * depth) / 8 * 8) / depth;
    const int64_t dibW = canvas.width, dibH = canvas.height;
    const int64_t colTo = std::min<int64_t>(width, dibW - x), rowTo = std::min<int64_t>(height, dibH - top);
    if (colTo <= 0 || rowTo <= 0) return;

    const uint64_t stride = canvas.stride;
    uint8_t *bits = canvas.bits;
    const uint8_t *index = image.data;
    const uint32_t count = uint32_t(colTo);
    const uint64_t dstByte = uint64_t(x) * depth / 8;
    std::vector<uint8_t> scratch;  // a row that runs past the buffer, padded with 0
    for (int64_t r = rowFrom; r < std::min(rowTo, rowUntil); ++r) {
        const uint64_t stored = d.packed & 0x40 ? gifInterlacedPosition(uint32_t(r), height) : uint64_t(r);
        const uint64_t start = stored * width;
        const uint8_t *src;
        if (start + count <= image.kept) {
            src = index + start;
        } else {
            if (scratch.empty()) scratch.resize(size_t(width) + 1);
            std::memset(scratch.data(), 0, count);
            if (start < image.kept) std::memcpy(scratch.data(), index + start, size_t(image.kept - start));
            src = scratch.data();
        }
        uint8_t *dst = bits + uint64_t(dibH - 1 - (top + r)) * stride + dstByte;
        StoreIndexRow(dst, src, count, depth, transparent);
    }
}

template <class Window>
Result decodeImage(Window &in, const GifCanvas &canvas, int32_t transparent, int32_t shiftX, int32_t shiftY,
                   CanvasFill fill, const Limits &limits) {
    const uint16_t depth = canvas.depth;
    if ((depth != 1 && depth != 4 && depth != 8) || canvas.width <= 0 || canvas.height <= 0) return Result::damaged;
    ImageDescriptor d;
    if (!readDescriptor(in, d)) return Result::readFailed;
    if (d.packed & 0x80) {
        // A local table replaces the first colours of the canvas's.
        const uint32_t n = tableEntries(d.packed);
        if (n > (1u << depth)) return Result::damaged;
        if (!readColorTable(in, n, canvas.colors, canvas.colorCount)) return Result::readFailed;
    }
    const int32_t left = int32_t(d.left) - shiftX, top = int32_t(d.top) - shiftY;
    if (decodesInPlace(d, left, top, canvas, fill))
        return decodeInPlace(in, d, left, top, canvas, transparent, uint8_t(fill.index));
    Indices image;
    if (fill.index < 0 || fill.index > 255 || (d.packed & 0x40) || top < 0 || d.width == 0) {
        const Result r = decodeIndices(in, d.width, d.height, image, limits);
        if (r != Result::ok) return r;
        drawIndices(image, d, left, top, canvas, transparent);
        return Result::ok;
    }
    // On a canvas of one index, each row is drawn once it is decoded, while
    // it is still in the cache; should the image fail, the rows drawn are
    // given the fill back, as though it had drawn nothing.
    int64_t drawn = 0;
    const Result r = decodeIndices(in, d.width, d.height, image, limits, [&](uint64_t decoded) {
        const int64_t rows = int64_t(std::min<uint64_t>(decoded / d.width, d.height));
        if (rows > drawn) drawIndices(image, d, left, top, canvas, transparent, drawn, rows);
        drawn = std::max(drawn, rows);
    });
    if (r != Result::ok) {
        const int64_t rows = std::min<int64_t>(drawn, int64_t(canvas.height) - top);
        if (rows > 0)
            fillIndexRows(canvas.bits + uint64_t(canvas.height - top - rows) * canvas.stride,
                          uint64_t(rows) * canvas.stride, canvas.depth, fill.index);
        return r;
    }
    drawIndices(image, d, left, top, canvas, transparent, drawn);
    return Result::ok;
}

}  // namespace

template <class Window>
Result scanGif(Window &in, GifAnimRecord &record, bool firstImageOnly, int32_t *images) {
    if (!in.seek(0)) return Result::readFailed;
    return parseStructure(in, record, firstImageOnly, images);
}

template <class Window>
Result decodeGifImage(Window &in, uint32_t dataPosition, const GifCanvas &canvas, int32_t transparent, int32_t shiftX,
                      int32_t shiftY, CanvasFill fill, const Limits &limits) {
    if (!in.seek(dataPosition)) return Result::readFailed;
    try {
        return decodeImage(in, canvas, transparent, shiftX, shiftY, fill, limits);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

GifCanvas gifCanvas(Picture &picture) {
    GifCanvas c;
    c.bits = picture.pixels.data();
    c.stride = picture.rowBytes();
    c.width = picture.width;
    c.height = picture.height;
    c.depth = picture.bitCount;
    c.colors = reinterpret_cast<uint8_t *>(picture.palette.data());
    c.colorCount = uint32_t(picture.palette.size());
    return c;
}

void fillIndexRows(uint8_t *bits, uint64_t size, uint16_t d, int32_t index) {
    uint8_t fill;
    if (d == 1)
        fill = index > 0 ? 0xFF : 0x00;
    else if (d == 4)
        fill = uint8_t(index * 16 + index);
    else if (d == 8)
        fill = uint8_t(index);
    else
        return;
    std::memset(bits, fill, size_t(size));
}

namespace {

// Sixteen bytes as one value: GCC's and Clang's vectors, which become SSE
// or NEON where the target has them and plain words where it has not. Rows
// are read and written through memcpy, at any address, and no function
// takes or gives a vector, so that targets without SSE keep their calls.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

// Sixteen 8-bit pixels; those of the key keep what dst held.
inline void storeKeyed16(uint8_t *dst, const uint8_t *src, uint8_t key) {
    Bytes16 v, held;
    std::memcpy(&v, src, 16);
    std::memcpy(&held, dst, 16);
    const Bytes16 keep = Bytes16(v == key), out = (held & keep) | (v & ~keep);
    std::memcpy(dst, &out, 16);
}

// Thirty-two indices as sixteen bytes of 4-bit pixels, the first of each
// pair in the high nibble; with keyed, the nibbles of the key keep what
// dst held.
inline void storeNibbles16(uint8_t *dst, const uint8_t *src, bool keyed, uint8_t key) {
    Bytes16 a, b;
    std::memcpy(&a, src, 16);
    std::memcpy(&b, src + 16, 16);
    const Bytes16 hi = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const Bytes16 lo = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    Bytes16 out = (hi << 4) | (lo & 0x0F);
    if (keyed) {
        Bytes16 held;
        std::memcpy(&held, dst, 16);
        const Bytes16 keep = (Bytes16(hi == key) & 0xF0) | (Bytes16(lo == key) & 0x0F);
        out = (held & keep) | (out & ~keep);
    }
    std::memcpy(dst, &out, 16);
}

// Runs step(dst offset) over n output bytes sixteen at a time (n >= 16):
// the last step is moved back to end at n, over bytes the one before
// wrote. Every step gives each byte the same value however often it runs:
// the kept pixels are taken from dst, and where they are kept they are
// what dst held.
template <class Step>
inline void inSixteens(uint32_t n, Step &&step) {
    uint32_t i = 0;
    for (; i + 16 <= n; i += 16) step(i);
    if (i < n) step(n - 16);
}

}  // namespace

// Rows are the reader's busiest work after the code stream itself: sixteen
// bytes of the canvas at a time, without branches on the pixels; rows
// narrower than that a pixel at a time.
void StoreIndexRow(uint8_t *dst, const uint8_t *src, uint32_t count, uint16_t depth, int32_t transparent) {
    const bool keyed = transparent >= 0 && transparent <= 255;
    const uint8_t key = uint8_t(transparent);
    if (depth == 8) {
        if (!keyed)
            std::memcpy(dst, src, count);
        else if (count >= 16)
            inSixteens(count, [&](uint32_t i) { storeKeyed16(dst + i, src + i, key); });
        else
            for (uint32_t i = 0; i < count; ++i) dst[i] = src[i] == key ? dst[i] : src[i];
    } else if (depth == 4) {
        const uint32_t pairs = count / 2;
        if (pairs >= 16) {
            inSixteens(pairs, [&](uint32_t i) { storeNibbles16(dst + i, src + 2 * i, keyed, key); });
        } else if (!keyed) {
            for (uint32_t i = 0; i < pairs; ++i) dst[i] = uint8_t(src[2 * i] << 4 | (src[2 * i + 1] & 0x0F));
        } else {
            for (uint32_t i = 0; i < pairs; ++i) {
                const uint8_t hi = src[2 * i], lo = src[2 * i + 1];
                // The nibbles of the key keep what the DIB held.
                const uint8_t keep = uint8_t((hi == key ? 0xF0 : 0) | (lo == key ? 0x0F : 0));
                dst[i] = uint8_t((dst[i] & keep) | ((hi << 4 | (lo & 0x0F)) & ~keep));
            }
        }
        if (count & 1) {
            const uint8_t hi = src[count - 1];
            if (!keyed || hi != key) dst[pairs] = uint8_t((dst[pairs] & 0x0F) | (hi << 4));
        }
    } else if (depth == 1) {
        // Whole bytes: the transparent index is not honoured at this depth.
        uint32_t i = 0;
#if defined(__SSE2__)
        // Thirty-two pixels at a time: bit 0 of each index moved to the top
        // of its byte and gathered, pixel k in bit k, then the bits of each
        // byte turned over, the first pixel going to the top bit.
        for (; i + 32 <= count; i += 32) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 16));
            uint32_t m = uint32_t(_mm_movemask_epi8(_mm_slli_epi16(a, 7))) |
                         uint32_t(_mm_movemask_epi8(_mm_slli_epi16(b, 7))) << 16;
            m = (m >> 1 & 0x55555555u) | (m & 0x55555555u) << 1;
            m = (m >> 2 & 0x33333333u) | (m & 0x33333333u) << 2;
            m = (m >> 4 & 0x0F0F0F0Fu) | (m & 0x0F0F0F0Fu) << 4;
            std::memcpy(dst + i / 8, &m, 4);
        }
#endif
        // Eight pixels at a time: the multiplication moves bit 0 of byte k
        // to bit 63 - k, with no two partial products meeting.
        for (; i + 8 <= count; i += 8) {
            uint64_t v;
            std::memcpy(&v, src + i, 8);
            dst[i / 8] = uint8_t(((v & 0x0101010101010101ull) * 0x8040201008040201ull) >> 56);
        }
        if (i < count) {
            uint8_t b = 0;
            for (int k = 0; i + k < count; ++k) b = uint8_t(b | ((src[i + k] & 1) << (7 - k)));
            dst[i / 8] = b;
        }
    }
}


template Result scanGif(FileWindow &, GifAnimRecord &, bool, int32_t *);
template Result scanGif(SpanWindow &, GifAnimRecord &, bool, int32_t *);
template Result readGifExtension(FileWindow &, GifAnimRecord &);
template Result readGifExtension(SpanWindow &, GifAnimRecord &);
template Result skipGifImageData(FileWindow &);
template Result skipGifImageData(SpanWindow &);
template Result decodeGifImage(FileWindow &, uint32_t, const GifCanvas &, int32_t, int32_t, int32_t, CanvasFill,
                               const Limits &);
template Result decodeGifImage(SpanWindow &, uint32_t, const GifCanvas &, int32_t, int32_t, int32_t, CanvasFill,
                               const Limits &);

}  // namespace vc
