// The GIF reader. Files are read through a read-ahead window; each
// structure (signature and screen descriptor, colour table, image
// descriptor, an extension's head and sub-blocks) is taken whole and
// checked once before any of it is used, so a damaged file never reads or
// writes outside the record, the DIB or the reader's buffers.
//
// Choices for damaged input, where the format leaves them open:
// - A file that does not begin with "GIF" is refused with
//   CONV_E_UNSUPPORTED, as is a block introducer other than an image, an
//   extension, the trailer or a 0x00 between blocks. The version digits
//   are not looked at.
// - A file that ends inside the screen descriptor, a colour table, an
//   image descriptor, an extension's first sub-block or the image data
//   being skipped, or before the trailer, is refused with CONV_E_READ.
//   Without a callback (the preview) the scan stops after the first image
//   descriptor and needs nothing beyond it.
// - An extension's later sub-blocks that end early just end the extension;
//   a graphic control block shorter than 4 bytes reads as zeros past its
//   end; a looping block shorter than 3 bytes is ignored.
// - Images past the frame table's 256 entries are checked and skipped, and
//   graphic controls before them dropped.
// - An image fails with CONV_E_DATA for a code size above 11, a local
//   colour table larger than the DIB's, a code above the next free code,
//   and data that ends without an end code after another number of pixels
//   than the image holds; with CONV_E_READ when its data sub-blocks are cut
//   by the end of the file. The loaders do not pass this on: the image is
//   delivered as far as it was drawn, the rest keeping its fill (index 0).
// - An end code before the last pixel is accepted (the missing pixels keep
//   index 0); pixels beyond width x height are dropped.
// - The index buffer holds no more pixels than the image's data could
//   produce, so a descriptor claiming a huge image over a few bytes of
//   data costs no memory; rows beyond the buffer read as index 0. An image
//   decoded straight into a blank DIB (see DecodeGifImageAt) has no index
//   buffer, and its data is decoded a sub-block at a time as it is read.
// - A picture of more than limits().largestPicture pixels is refused with
//   CONV_E_MEMORY before anything is allocated; a single image of no
//   pixels, having nothing to hand over, with CONV_E_DATA.
#include "common/limits.h"
#include "gif/gif_read.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/lzw.h"
#include "gif/gif_anim.h"
#include "gif/gif_import.h"

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
bool readColorTable(FileWindow &in, uint32_t n, GifRgbQuad *table, uint32_t room) {
    ByteReader r = in.take(3 * n);
    const uint8_t *rgb = r.span(3 * n);
    if (!rgb) return false;
    for (uint32_t i = 0; i < n && i < room; ++i, rgb += 3) table[i] = GifRgbQuad{rgb[2], rgb[1], rgb[0], 0};
    return true;
}

struct ImageDescriptor {
    uint16_t left = 0, top = 0, width = 0, height = 0;
    uint8_t packed = 0;
};

bool readDescriptor(FileWindow &in, ImageDescriptor &d) {
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
int16_t readScreen(FileWindow &in, GifAnimRecord &rec) {
    ByteReader head = in.take(13);
    if (head.size() < 3 || std::memcmp(head.data(), "GIF", 3) != 0) return CONV_E_UNSUPPORTED;
    head.skip(6);
    const uint16_t width = head.u16(), height = head.u16();
    const uint8_t packed = head.u8(), background = head.u8();
    head.skip(1);  // pixel aspect ratio
    if (!head.ok()) return CONV_E_READ;
    rec.screenWidth = width;
    rec.screenHeight = height;
    rec.backgroundIndex = background;
    rec.bitsPerPixel = int16_t(tableDepth(packed));
    rec.globalColorCount = 0;
    if (packed & 0x80) {
        const uint32_t n = tableEntries(packed);
        if (!readColorTable(in, n, rec.globalPalette, n)) return CONV_E_READ;
        rec.globalColorCount = int16_t(n);
    }
    return CONV_OK;
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
template <class Take>
Walk walkSubBlocks(FileWindow &in, Take &&take) {
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

int16_t ReadGifExtension(FileWindow &in, GifAnimRecord &rec) {
    ByteReader head = in.take(2);
    const uint8_t label = head.u8(), len = head.u8();
    if (!head.ok()) return 0;
    if (len == 0) return 1;
    const ByteReader block = in.take(len);
    if (!block.ok()) return 0;

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
    return 1;
}

int16_t SkipGifImageData(FileWindow &in) {
    uint8_t s;
    if (!in.byte(s)) return CONV_E_READ;  // minimum code size
    const Walk walk = walkSubBlocks(in, [](const uint8_t *, size_t) { return true; });
    return walk == Walk::Ended ? CONV_OK : CONV_E_READ;
}

namespace {

// One image in the scan, after its separator: its entry (when the table
// has room) and, unless only the first image is wanted, its data skipped.
int16_t scanImage(FileWindow &in, GifAnimRecord &rec, bool firstImageOnly) {
    // Images past the table's end are checked and skipped, not recorded.
    GifFrameEntry spare{};
    const bool recorded = rec.frameCount < kGifMaxFrames;
    GifFrameEntry &e = recorded ? rec.frames[rec.frameCount] : spare;
    e.dataPosition = uint32_t(in.tell());
    ImageDescriptor d;
    if (!readDescriptor(in, d)) return CONV_E_READ;
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
        const int16_t r = SkipGifImageData(in);
        if (r != CONV_OK) return r;
    }
    if (recorded) ++rec.frameCount;
    return CONV_OK;
}

int16_t parseStructure(FileWindow &in, GifAnimRecord &rec, bool firstImageOnly, int32_t *images = nullptr) {
    int16_t r = readScreen(in, rec);
    if (r != CONV_OK) return r;
    rec.frameCount = 0;
    if (images) *images = 0;
    for (bool done = false; !done;) {
        uint8_t b;
        if (!in.byte(b)) return CONV_E_READ;
        switch (b) {
        case 0x00:
            break;
        case 0x3B:
            done = true;
            break;
        case 0x21:
            if (ReadGifExtension(in, rec) == 0) return CONV_E_READ;
            break;
        case 0x2C:
            r = scanImage(in, rec, firstImageOnly);
            if (r != CONV_OK) return r;
            if (images) ++*images;
            done = firstImageOnly;
            break;
        default:
            return CONV_E_UNSUPPORTED;
        }
    }
    // Callers read on after the signature.
    return in.seek(6) ? int16_t(CONV_OK) : int16_t(CONV_E_READ);
}

// ---- Decoding -----------------------------------------------------------------------

// An image's data sub-blocks as one span. truncated tells that a
// sub-block (or its length byte) was cut short by the end of the file, in
// which case only the whole sub-blocks before it are there.
struct Gathered {
    plat::Block block;
    size_t size = 0;
    bool truncated = false;
};

// False when memory ran out.
bool gatherSubBlocks(FileWindow &in, Gathered &g) {
    size_t capacity = 0;
    bool memory = true;
    const Walk walk = walkSubBlocks(in, [&](const uint8_t *data, size_t len) {
        if (g.size + len > capacity) {
            const size_t want = capacity ? capacity * 2 : 65536;
            memory = g.block ? g.block.resize(want, plat::kMemMoveable) : g.block.alloc(want, plat::kMemMoveable);
            if (!memory) return false;
            capacity = want;
        }
        std::memcpy(g.block.data() + g.size, data, len);
        g.size += len;
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

// One image's colour indices, one byte per pixel in the order the file
// stores the rows; `kept` bytes of them (the last 256 spare).
struct Indices {
    plat::Block block;
    uint64_t kept = 0;
};

// The result of decoding an image of `pixels` pixels into out[0 ..
// capacity), whose data ended early when truncated; what the decoder did
// not reach is cleared. 1, -3 or -6.
int16_t decodedImage(const lzw::DecodeResult &lr, bool truncated, uint64_t pixels, uint8_t *out, uint64_t capacity) {
    if (lr.produced < capacity) std::memset(out + lr.produced, 0, size_t(capacity - lr.produced));
    if (lr.sawEnd) return int16_t(lr.status);
    if (truncated) return CONV_E_READ;
    return lr.produced != pixels ? int16_t(CONV_E_DATA) : int16_t(lr.status);
}

// Reads the code size and the data and decodes them. 1, -3, -5 or -6.
int16_t decodeIndices(FileWindow &in, uint32_t width, uint32_t height, Indices &out) {
    uint8_t s;
    if (!in.byte(s)) return CONV_E_READ;
    if (s > lzw::kMaxMinCodeSize) return CONV_E_DATA;
    Gathered data;
    if (!gatherSubBlocks(in, data)) return CONV_E_MEMORY;

    // Width x height bytes and 256 spare, but never more than the data can
    // fill. Not zeroed first: the decoder writes every byte up to where it
    // stops, and only what lies behind that is cleared.
    const uint64_t pixels = uint64_t(width) * height;
    out.kept = std::min(pixels, pixelBound(data.size, s)) + 256;
    if (!out.block.alloc(out.kept, plat::kMemMoveable)) return CONV_E_MEMORY;
    const lzw::DecodeResult lr =
        lzw::decode(data.block.data(), data.size, out.block.data(), size_t(out.kept), {s, lzw::BitOrder::LsbFirst, 0});
    return decodedImage(lr, data.truncated, pixels, out.block.data(), out.kept);
}

// Reads the code size and the data and decodes them into out[0 .. pixels)
// as they come, each sub-block where the read window holds it: the data is
// neither copied nor held whole. Reading stops at the end code. 1, -3 or
// -6.
int16_t streamIndices(FileWindow &in, uint64_t pixels, uint8_t *out) {
    uint8_t s;
    if (!in.byte(s)) return CONV_E_READ;
    if (s > lzw::kMaxMinCodeSize) return CONV_E_DATA;
    lzw::Decoder decoder(out, size_t(pixels), {s, lzw::BitOrder::LsbFirst, 0});
    // Only whole sub-blocks are decoded.
    const Walk walk = walkSubBlocks(in, [&](const uint8_t *data, size_t len) { return decoder.feed(data, len); });
    return decodedImage(decoder.finish(), walk == Walk::Truncated, pixels, out, pixels);
}

// Whether the image can be decoded straight into the DIB's bits: an 8-bit
// DIB that is blank (every pixel index 0, as a DIB just made is), an image
// that covers it whole at (0, 0), without interlace and with every pixel
// drawn. Such a picture needs no index buffer: drawIndices would copy every
// row of it and leave nothing of what the DIB held.
bool decodesInPlace(const ImageDescriptor &d, int32_t left, int32_t top, const ConvBitmapInfoHeader &dib,
                    int32_t transparent, bool blank) {
    return blank && dib.biBitCount == 8 && !(d.packed & 0x40) && transparent < 0 && left == 0 && top == 0 &&
           d.width == dib.biWidth && d.height == dib.biHeight;
}

// Decodes such an image into the DIB's bits: rows top first and packed at
// the start, then turned bottom-up and spread out to the DIB's stride in
// place. An image that fails leaves the DIB blank, as drawIndices draws
// nothing then.
int16_t decodeInPlace(FileWindow &in, ConvBitmapInfoHeader *dib) {
    const size_t width = size_t(dib->biWidth), height = size_t(dib->biHeight);
    const size_t stride = size_t(dibRowBytes(dib->biWidth, 8));
    uint8_t *bits = reinterpret_cast<uint8_t *>(dib) + dibBitsOffset(*dib);
    const int16_t r = streamIndices(in, uint64_t(width) * height, bits);
    if (r <= 0) {
        std::memset(bits, 0, stride * height);
        return r;
    }
    for (size_t a = 0, b = height - 1; a < b; ++a, --b)
        std::swap_ranges(bits + a * width, bits + (a + 1) * width, bits + b * width);
    // Row j moves up from j x width to j x stride: the last one first, so
    // no row is overwritten before it has moved. The padding is cleared.
    if (stride != width)
        for (size_t j = height; j-- > 0;) {
            std::memmove(bits + j * stride, bits + j * width, width);
            std::memset(bits + j * stride + width, 0, stride - width);
        }
    return CONV_OK;
}

// Draws the indices into the DIB at (left, top), aligned down to a whole
// byte and clipped at the right and the bottom; rows past what the buffer
// kept read as index 0. An image placed left of or above the DIB (a frame
// larger than the picture, pulled back by its overhang) draws nothing: the
// picture keeps what it held.
void drawIndices(const Indices &image, const ImageDescriptor &d, int32_t left, int32_t top, ConvBitmapInfoHeader *dib,
                 int32_t transparent) {
    if (left < 0 || top < 0) return;
    const uint16_t depth = dib->biBitCount;
    const uint32_t width = d.width, height = d.height;
    const int32_t x = ((left * depth) / 8 * 8) / depth;
    const int64_t dibW = dib->biWidth, dibH = dib->biHeight;
    const int64_t colTo = std::min<int64_t>(width, dibW - x), rowTo = std::min<int64_t>(height, dibH - top);
    if (colTo <= 0 || rowTo <= 0) return;

    const uint64_t stride = dibRowBytes(dib->biWidth, depth);
    uint8_t *bits = reinterpret_cast<uint8_t *>(dib) + dibBitsOffset(*dib);
    const uint8_t *index = image.block.data();
    const uint32_t count = uint32_t(colTo);
    const uint64_t dstByte = uint64_t(x) * depth / 8;
    plat::Block scratch;  // a row that runs past the buffer, padded with 0
    for (int64_t r = 0; r < rowTo; ++r) {
        const uint64_t stored = d.packed & 0x40 ? gifInterlacedPosition(uint32_t(r), height) : uint64_t(r);
        const uint64_t start = stored * width;
        const uint8_t *src;
        if (start + count <= image.kept) {
            src = index + start;
        } else {
            if (!scratch && !scratch.alloc(width + 1)) return;
            std::memset(scratch.data(), 0, count);
            if (start < image.kept) std::memcpy(scratch.data(), index + start, size_t(image.kept - start));
            src = scratch.data();
        }
        uint8_t *dst = bits + uint64_t(dibH - 1 - (top + r)) * stride + dstByte;
        StoreIndexRow(dst, src, count, depth, transparent);
    }
}

int16_t decodeImage(FileWindow &in, ConvBitmapInfoHeader *dib, int32_t transparent, int32_t shiftX, int32_t shiftY,
                    bool blank) {
    const uint16_t depth = dib->biBitCount;
    if ((depth != 1 && depth != 4 && depth != 8) || dib->biWidth <= 0 || dib->biHeight <= 0) return CONV_E_DATA;
    ImageDescriptor d;
    if (!readDescriptor(in, d)) return CONV_E_READ;
    if (d.packed & 0x80) {
        // A local table replaces the first colours of the DIB's.
        const uint32_t n = tableEntries(d.packed);
        if (n > (1u << depth)) return CONV_E_DATA;
        auto *colors = reinterpret_cast<GifRgbQuad *>(reinterpret_cast<uint8_t *>(dib) + dib->biSize);
        if (!readColorTable(in, n, colors, dibColorCount(*dib))) return CONV_E_READ;
    }
    if (decodesInPlace(d, int32_t(d.left) - shiftX, int32_t(d.top) - shiftY, *dib, transparent, blank))
        return decodeInPlace(in, dib);
    Indices image;
    const int16_t r = decodeIndices(in, d.width, d.height, image);
    if (r <= 0) return r;
    drawIndices(image, d, int32_t(d.left) - shiftX, int32_t(d.top) - shiftY, dib, transparent);
    return CONV_OK;
}

// ---- One image to the editor --------------------------------------------------------

// Hands the decoded image to the out-parameter, or, when it is transparent
// and an editor is there, to the editor with its transparent colour and
// the file it came from.
void handOverImage(GifLoad &load, const GifFrameEntry &e) {
    const bool transparent = e.hasGraphicControl && e.transparentIndex >= 0;
    if (load.image && (!transparent || !load.editor)) {
        *load.image = load.dib.release();
        return;
    }
    if (!load.editor) return;
    const auto *dib = load.dib.as<ConvBitmapInfoHeader>();
    // An index beyond the DIB's table names no colour the editor could take.
    if (load.editor.addFrame(dib, HOST_FRAME_GIF) && transparent && uint32_t(e.transparentIndex) < dibColorCount(*dib))
        load.editor.setTransparent(load.dib.data() + dib->biSize + 4 * uint32_t(e.transparentIndex), 0);
    const int32_t n = load.editor.frameCount() - 1;
    if (n >= 0) load.editor.noteFile(load.fileName, CONV_FMT_GIF, n);
}

// The scan, then the import mode's way to the editor.
int16_t readGif(GifLoad &load) {
    GifAnimRecord &rec = load.rec();
    // The default comment stays in the buffer; it counts only if the file
    // has one.
    rec.commentFlag = 0;
    rec.repeat = 0;
    rec.frames[0].disposal = 0;
    const int16_t result = ParseGifStructure(*load.window, rec, !load.editor);
    if (result <= 0) return result;
    rec.selectedFrame = 0;
    // Several images with a callback are the animated import's to decide;
    // one image, or none asked for, go the one-frame way.
    switch (ChooseGifImportMode(load.parent, &rec, load.editor.callback())) {
    case kGifImportFrame:
        return LoadGifSingleImage(load);
    case kGifImportAssembled:
        return ImportGifAssembled(load);
    case kGifImportSequence:
        return ImportGifSequence(load);
    case kGifImportCancel:
        return CONV_CANCELLED;
    default:
        return CONV_E_UNSUPPORTED;
    }
}

}  // namespace

bool DetectGifFile(HFile file) {
    uint8_t head[6];
    ByteReader r = readFileHead(file, head, sizeof head);
    const uint8_t *signature = r.span(3);
    return signature && std::memcmp(signature, "GIF", 3) == 0;
}

int16_t ParseGifStructure(FileWindow &in, GifAnimRecord &record, bool firstImageOnly) {
    if (!in.seek(0)) return CONV_E_READ;
    return parseStructure(in, record, firstImageOnly);
}

int16_t ParseGifStructure(HFile file, GifAnimRecord &record, bool firstImageOnly, int32_t *images) {
    FileWindow in(file, 0, false);
    if (!in.seek(0)) return CONV_E_READ;
    const int16_t r = parseStructure(in, record, firstImageOnly, images);
    if (r == CONV_OK && !in.sync()) return CONV_E_READ;
    return r;
}

// The loops below are written without branches on the pixels so that the
// compiler vectorises them; rows are the reader's busiest work after the
// code stream itself.
void StoreIndexRow(uint8_t *dst, const uint8_t *src, uint32_t count, uint16_t depth, int32_t transparent) {
    const bool keyed = transparent >= 0 && transparent <= 255;
    const uint8_t key = uint8_t(transparent);
    if (depth == 8) {
        if (!keyed) {
            std::memcpy(dst, src, count);
        } else {
            for (uint32_t i = 0; i < count; ++i) dst[i] = src[i] == key ? dst[i] : src[i];
        }
    } else if (depth == 4) {
        const uint32_t pairs = count / 2;
        if (!keyed) {
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
        // Eight pixels at a time: the multiplication moves bit 0 of byte k
        // to bit 63 - k, with no two partial products meeting.
        uint32_t i = 0;
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

int16_t DecodeGifImage(HFile file, ConvBitmapInfoHeader *dib, int32_t transparent, int32_t shiftX, int32_t shiftY) {
    FileWindow in(file);
    return decodeImage(in, dib, transparent, shiftX, shiftY, false);
}

int16_t DecodeGifImageAt(FileWindow &in, uint32_t dataPosition, ConvBitmapInfoHeader *dib, int32_t transparent,
                         int32_t shiftX, int32_t shiftY, bool blank) {
    if (!in.seek(dataPosition)) return CONV_E_READ;
    return decodeImage(in, dib, transparent, shiftX, shiftY, blank);
}

int16_t DecodeGifImageAt(HFile file, uint32_t dataPosition, ConvBitmapInfoHeader *dib, int32_t transparent,
                         int32_t shiftX, int32_t shiftY) {
    FileWindow in(file, 0, false);
    return DecodeGifImageAt(in, dataPosition, dib, transparent, shiftX, shiftY);
}

DibSpec gifDibSpec(uint16_t bitsPerPixel, int32_t width, int32_t height, const GifRgbQuad *palette, int32_t count) {
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitCount = bitsPerPixel;
    spec.colors = bitsPerPixel <= 8 ? (1u << bitsPerPixel) : 0;
    spec.pelsPerMeter = 2953;
    spec.recordImageSize = true;
    spec.palette = palette;
    spec.paletteCount = count > 0 ? uint32_t(count) : 0;
    return spec;
}

void FillPackedDib(ConvBitmapInfoHeader *dib, int32_t index) {
    const uint16_t d = dib->biBitCount;
    uint8_t fill;
    if (d == 1)
        fill = index > 0 ? 0xFF : 0x00;
    else if (d == 4)
        fill = uint8_t(index * 16 + index);
    else if (d == 8)
        fill = uint8_t(index);
    else
        return;
    std::memset(reinterpret_cast<uint8_t *>(dib) + dibBitsOffset(*dib), fill, dib->biSizeImage);
}

int16_t LoadGifSingleImage(GifLoad &load) {
    GifAnimRecord &rec = load.rec();
    const uint32_t selected = rec.selectedFrame < uint32_t(kGifMaxFrames) ? rec.selectedFrame : 0;
    const GifFrameEntry e = rec.frames[selected];
    // A zero-sized image has no pixels to hand over.
    if (e.width == 0 || e.height == 0) return CONV_E_DATA;
    load.dib = makePackedDib(gifDibSpec(e.bitsPerPixel, e.width, e.height, rec.globalPalette, rec.globalColorCount));
    if (!load.dib) return CONV_E_MEMORY;
    // A damaged image is delivered as far as it was decoded.
    (void)DecodeGifImageAt(*load.window, e.dataPosition, load.dib.as<ConvBitmapInfoHeader>(), -1, e.left, e.top,
                           true);
    handOverImage(load, e);

    // A one-frame document, at the image's own corner.
    rec.frameCount = 1;
    rec.outputWidth = e.width;
    rec.outputHeight = e.height;
    if (selected != 0) rec.frames[0] = e;
    rec.frames[0].left = 0;
    rec.frames[0].top = 0;
    return CONV_OK;
}

int16_t LoadGifImage(Wnd parent, const char *fileName, MemHandle *image, uint32_t flags, HostCallback callback) {
    GifLoad load;
    load.parent = parent;
    load.fileName = fileName;
    load.image = image;
    load.flags = flags;
    load.editor = EditorLink(callback);
    if (!load.file.open(fileName, plat::kOpenRead)) return CONV_E_OPEN;
    // A file just opened stands at its start.
    FileWindow window(load.file.handle(), 0, true);
    load.window = &window;
    load.record = NewGifAnimRecord();
    if (!load.record) return CONV_E_MEMORY;
    const int16_t result = readGif(load);
    // All is read: a reader has nothing to lose when the close fails.
    (void)load.file.close();
    if (result > 0 && !image && offerGifRecord(load.record, load.editor)) addGifMenuItems(callback);
    return result;
}

int16_t GetGifPreview(const char *fileName, ConvImageRecord *record) {
    record->image = nullptr;
    MemHandle image = nullptr;
    int16_t r = LoadGifImage(nullptr, fileName, &image, 0, nullptr);
    record->image = image;
    record->bitsOffset = 0;
    return r;
}

bool detectGifRow(HFile file) { return DetectGifFile(file); }

int16_t loadGifRow(const LoadRequest &request) {
    MemHandle *out = request.record ? reinterpret_cast<MemHandle *>(&request.record->image) : nullptr;
    return LoadGifImage(request.parent, request.fileName, out, request.option, request.callback);
}

}  // namespace vc
