#include "gif/gif_read.h"

#include <algorithm>
#include <cstring>

#include "common/lzw.h"
#include "common/services.h"
#include "entry/image_block.h"
#include "gif/gif_import.h"
#include "resources/strings.h"

namespace vc {

namespace {

// A read-ahead window over the open file: the scan and the decoder read
// many small pieces (one length byte and one sub-block at a time), which
// would otherwise be one file call each. Skips move the logical position
// only; the file is repositioned when the window is refilled.
struct GifInput {
    HFile file;
    int64_t base;  // file offset of buf[0]
    uint32_t pos = 0, len = 0;
    uint8_t buf[16384];
};

void inputStart(GifInput &in, HFile file) {
    in.file = file;
    int32_t at = plat::fileSeek(file, 0, plat::kSeekCur);
    in.base = at < 0 ? 0 : at;
    in.pos = in.len = 0;
}

int64_t inputTell(const GifInput &in) { return in.base + in.pos; }

bool inputRefill(GifInput &in) {
    int64_t at = inputTell(in);
    in.base = at;
    in.pos = in.len = 0;
    if (at > INT32_MAX || plat::fileSeek(in.file, int32_t(at), plat::kSeekSet) != at) return false;
    int32_t got = plat::fileRead(in.file, in.buf, sizeof in.buf);
    if (got <= 0) return false;
    in.len = uint32_t(got);
    return true;
}

// Copies up to n bytes; returns how many there were.
size_t inputRead(GifInput &in, void *dst, size_t n) {
    auto *d = static_cast<uint8_t *>(dst);
    size_t done = 0;
    while (done < n) {
        if (in.pos == in.len && !inputRefill(in)) break;
        size_t k = std::min<size_t>(n - done, in.len - in.pos);
        std::memcpy(d + done, in.buf + in.pos, k);
        in.pos += uint32_t(k);
        done += k;
    }
    return done;
}

bool inputByte(GifInput &in, uint8_t &b) { return inputRead(in, &b, 1) == 1; }

// A relative seek: like the file call it succeeds past the end, and the
// next read then comes back short.
void inputSkip(GifInput &in, uint32_t n) {
    if (uint64_t(in.pos) + n <= in.len) {
        in.pos += n;
    } else {
        in.base = inputTell(in) + n;
        in.pos = in.len = 0;
    }
}

// Leaves the file where the logical position is.
void inputSync(GifInput &in) {
    int64_t at = inputTell(in);
    if (at <= INT32_MAX) plat::fileSeek(in.file, int32_t(at), plat::kSeekSet);
}

uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }

// Depth of a colour table from the size field of a packed byte.
uint16_t tableDepth(uint8_t packed) {
    unsigned n = (packed & 7u) + 1;
    return n == 1 ? 1 : n <= 4 ? 4 : 8;
}

int16_t readExtension(GifInput &in, GifAnimRecord &rec) {
    uint8_t head[2];
    if (inputRead(in, head, 2) != 2) return 0;
    const uint8_t label = head[0];
    uint8_t len = head[1];
    if (len == 0) return 1;
    uint8_t block[256];
    if (inputRead(in, block, len) != len) return 0;

    // Controls for images past the table's end are read and dropped.
    const int index = rec.frameCount;
    if (label == 0xF9 && index < kGifMaxFrames) {
        GifFrameEntry &e = rec.frames[index];
        // Short blocks read as zeros past their end, as a zero-filled
        // buffer would give.
        uint8_t d[4] = {0, 0, 0, 0};
        std::memcpy(d, block, std::min<size_t>(len, 4));
        e.transparentIndex = (d[0] & 1) ? int16_t(d[3]) : int16_t(-1);
        e.userInput = (d[0] >> 1) & 1;
        e.delay = le16(d + 1);
        e.disposal = (d[0] >> 2) & 3;
        e.hasGraphicControl = 1;
    } else if (label == 0xFE) {
        if (!rec.commentFlag) rec.comment[0] = 0;
        for (;;) {
            size_t have = strnlen(rec.comment, sizeof rec.comment);
            if (have >= size_t(kGifCommentMax)) break;
            // An embedded NUL ends this piece.
            size_t piece = strnlen(reinterpret_cast<const char *>(block), len);
            piece = std::min(piece, size_t(kGifCommentMax) - have);
            std::memcpy(rec.comment + have, block, piece);
            rec.comment[have + piece] = 0;
            rec.commentFlag = 1;
            if (!inputByte(in, len)) return 1;
            if (len == 0) return 1;
            if (inputRead(in, block, len) != len) return 1;
        }
    } else if (label == 0xFF) {
        if (len >= 8 && std::memcmp(block, "NETSCAPE", 8) == 0) {
            if (!inputByte(in, len) || len == 0) return 1;
            if (inputRead(in, block, len) != len) return 1;
            if (len >= 3) {
                rec.repeat = 1;
                rec.loopCount = le16(block + 1);
            }
        }
    }
    // The rest of the sub-blocks, up to a terminator or the end of the file.
    for (;;) {
        if (!inputByte(in, len) || len == 0) return 1;
        if (inputRead(in, block, len) != len) return 1;
    }
}

int16_t skipImageData(GifInput &in) {
    uint8_t b;
    if (!inputByte(in, b)) return CONV_E_READ;  // minimum code size
    for (;;) {
        if (!inputByte(in, b)) return CONV_E_READ;
        if (b == 0) return CONV_OK;
        inputSkip(in, b);
    }
}

int16_t parseStructure(GifInput &in, GifAnimRecord &rec, bool firstImageOnly) {
    uint8_t head[13];
    size_t got = inputRead(in, head, 6);
    if (got < 3 || std::memcmp(head, "GIF", 3) != 0) return CONV_E_UNSUPPORTED;
    if (got < 6 || inputRead(in, head + 6, 7) != 7) return CONV_E_READ;
    rec.screenWidth = le16(head + 6);
    rec.screenHeight = le16(head + 8);
    const uint8_t packed = head[10];
    rec.backgroundIndex = head[11];
    rec.bitsPerPixel = int16_t(tableDepth(packed));
    rec.globalColorCount = 0;
    if (packed & 0x80) {
        const unsigned n = 2u << (packed & 7);
        uint8_t rgb[768];
        if (inputRead(in, rgb, 3 * n) != 3 * n) return CONV_E_READ;
        for (unsigned i = 0; i < n; ++i)
            rec.globalPalette[i] = GifRgbQuad{rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0};
        rec.globalColorCount = int16_t(n);
    }
    rec.frameCount = 0;
    for (;;) {
        uint8_t b;
        if (!inputByte(in, b)) return CONV_E_READ;
        if (b == 0x00) continue;
        if (b == 0x3B) break;
        if (b == 0x21) {
            if (readExtension(in, rec) == 0) return CONV_E_READ;
            continue;
        }
        if (b != 0x2C) return CONV_E_UNSUPPORTED;

        // Images past the table's end are checked and skipped, not recorded.
        GifFrameEntry spare{};
        const bool recorded = rec.frameCount < kGifMaxFrames;
        GifFrameEntry &e = recorded ? rec.frames[rec.frameCount] : spare;
        e.dataPosition = uint32_t(inputTell(in));
        uint8_t d[9];
        if (inputRead(in, d, 9) != 9) return CONV_E_READ;
        e.left = int16_t(le16(d));
        e.top = int16_t(le16(d + 2));
        e.width = le16(d + 4);
        e.height = le16(d + 6);
        e.interlaced = (d[8] >> 6) & 1;
        if (d[8] & 0x80) {
            e.bitsPerPixel = tableDepth(d[8]);
            inputSkip(in, 3u * (2u << (d[8] & 7)));
            rec.bitsPerPixel = std::max<int16_t>(rec.bitsPerPixel, int16_t(e.bitsPerPixel));
        } else {
            e.bitsPerPixel = uint16_t(rec.bitsPerPixel);
        }
        if (firstImageOnly) {
            ++rec.frameCount;
            break;
        }
        int16_t r = skipImageData(in);
        if (r != CONV_OK) return r;
        if (recorded) ++rec.frameCount;
    }
    plat::fileSeek(in.file, 6, plat::kSeekSet);
    return CONV_OK;
}

// Blocks from the file never justify images beyond this; the editor works
// on icons and animations, and a bigger block would come from a hostile
// header rather than from pixels.
constexpr uint64_t kMaxDibBytes = 256ull << 20;

// Gathers an image's data sub-blocks into one span. Returns false when
// memory ran out; truncated tells that a sub-block (or its length byte)
// was cut short by the end of the file, in which case only the whole
// sub-blocks before it are gathered.
struct Gathered {
    MemHandle block = nullptr;
    uint8_t *data = nullptr;
    size_t size = 0;
    bool truncated = false;
};

bool gatherSubBlocks(GifInput &in, Gathered &g) {
    size_t cap = 0;
    for (;;) {
        uint8_t len;
        if (!inputByte(in, len)) {
            g.truncated = true;
            break;
        }
        if (len == 0) break;
        if (g.size + len > cap) {
            size_t want = cap ? cap * 2 : 65536;
            MemHandle nb;
            if (g.block) {
                plat::memUnlock(g.block);
                nb = plat::memReAlloc(g.block, want, plat::kMemMoveable);
            } else {
                nb = plat::memAlloc(plat::kMemMoveable, want);
            }
            if (!nb) {
                if (g.block) g.data = static_cast<uint8_t *>(plat::memLock(g.block));
                return false;
            }
            g.block = nb;
            g.data = static_cast<uint8_t *>(plat::memLock(nb));
            if (!g.data) return false;
            cap = want;
        }
        if (inputRead(in, g.data + g.size, len) != len) {
            g.truncated = true;
            break;
        }
        g.size += len;
    }
    return true;
}

void releaseGathered(Gathered &g) {
    if (g.block) {
        plat::memUnlock(g.block);
        plat::memFree(g.block);
    }
    g = Gathered{};
}

// The most pixels a code stream of this many bytes can produce: every code
// is at least s + 1 bits, and a string is at most one longer than the
// number of codes before it (and at most 4096).
uint64_t pixelBound(size_t bytes, unsigned s) {
    uint64_t codes = uint64_t(bytes) * 8 / (s + 1);
    return codes <= 4096 ? codes * (codes + 1) / 2 : codes * 4096;
}

}  // namespace

bool DetectGifFile(HFile file) {
    uint8_t head[6];
    int32_t got = plat::fileRead(file, head, 6);
    plat::fileSeek(file, 0, plat::kSeekSet);
    return got >= 3 && std::memcmp(head, "GIF", 3) == 0;
}

int16_t ParseGifStructure(HFile file, GifAnimRecord &record, bool firstImageOnly) {
    plat::fileSeek(file, 0, plat::kSeekSet);
    GifInput in;
    inputStart(in, file);
    return parseStructure(in, record, firstImageOnly);
}

int16_t ReadGifExtension(HFile file, GifAnimRecord &record) {
    GifInput in;
    inputStart(in, file);
    int16_t r = readExtension(in, record);
    inputSync(in);
    return r;
}

int16_t SkipGifImageData(HFile file) {
    GifInput in;
    inputStart(in, file);
    int16_t r = skipImageData(in);
    inputSync(in);
    return r;
}

void StoreIndexRow(uint8_t *dst, const uint8_t *src, uint32_t count, uint16_t depth, int32_t transparent) {
    if (depth == 8) {
        if (transparent < 0 || transparent > 255) {
            std::memcpy(dst, src, count);
        } else {
            for (uint32_t i = 0; i < count; ++i)
                if (src[i] != transparent) dst[i] = src[i];
        }
    } else if (depth == 4) {
        uint32_t i = 0;
        for (; i + 1 < count; i += 2) {
            uint8_t hi = src[i], lo = src[i + 1];
            uint8_t &b = dst[i / 2];
            if (hi != transparent) b = uint8_t((b & 0x0F) | ((hi & 0x0F) << 4));
            if (lo != transparent) b = uint8_t((b & 0xF0) | (lo & 0x0F));
        }
        if (i < count && src[i] != transparent) dst[i / 2] = uint8_t((dst[i / 2] & 0x0F) | ((src[i] & 0x0F) << 4));
    } else if (depth == 1) {
        // Whole bytes: the transparent index is not honoured at this depth.
        uint32_t i = 0;
        for (; i + 8 <= count; i += 8) {
            uint8_t b = 0;
            for (int k = 0; k < 8; ++k) b = uint8_t(b | ((src[i + k] & 1) << (7 - k)));
            dst[i / 8] = b;
        }
        if (i < count) {
            uint8_t b = 0;
            for (int k = 0; i + k < count; ++k) b = uint8_t(b | ((src[i + k] & 1) << (7 - k)));
            dst[i / 8] = b;
        }
    }
}

int16_t DecodeGifImage(HFile file, ConvBitmapInfoHeader *dib, int32_t transparent, int32_t shiftX, int32_t shiftY) {
    const uint16_t d = dib->biBitCount;
    if ((d != 1 && d != 4 && d != 8) || dib->biWidth <= 0 || dib->biHeight <= 0) return CONV_E_DATA;
    GifInput in;
    inputStart(in, file);
    uint8_t desc[9];
    if (inputRead(in, desc, 9) != 9) return CONV_E_READ;
    const int32_t left = int32_t(le16(desc)) - shiftX;
    const int32_t top = int32_t(le16(desc + 2)) - shiftY;
    const uint32_t width = le16(desc + 4), height = le16(desc + 6);
    const uint8_t packed = desc[8];
    auto *colors = reinterpret_cast<GifRgbQuad *>(reinterpret_cast<uint8_t *>(dib) + dib->biSize);
    const uint32_t dibColors = dibColorCount(*dib);
    if (packed & 0x80) {
        const uint32_t n = 2u << (packed & 7);
        if (n > (1u << d)) return CONV_E_DATA;
        uint8_t rgb[768];
        if (inputRead(in, rgb, 3 * n) != 3 * n) return CONV_E_READ;
        for (uint32_t i = 0; i < n && i < dibColors; ++i) colors[i] = GifRgbQuad{rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0};
    }

    uint8_t s;
    if (!inputByte(in, s)) return CONV_E_READ;
    if (s > lzw::kMaxMinCodeSize) return CONV_E_DATA;
    Gathered g;
    if (!gatherSubBlocks(in, g)) {
        releaseGathered(g);
        return CONV_E_MEMORY;
    }

    // The index buffer: width x height bytes and 256 spare, but never more
    // than the data can fill; rows past what was allocated read as index 0.
    const uint64_t pixels = uint64_t(width) * height;
    const uint64_t kept = std::min(pixels, pixelBound(g.size, s)) + 256;
    MemHandle indexBlock = kept <= SIZE_MAX ? plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, size_t(kept)) : nullptr;
    if (!indexBlock) {
        releaseGathered(g);
        return CONV_E_MEMORY;
    }
    auto *index = static_cast<uint8_t *>(plat::memLock(indexBlock));
    lzw::DecodeResult lr = lzw::decode(g.data, g.size, index, size_t(kept), {s, lzw::BitOrder::LsbFirst, 0});
    int16_t result;
    if (lr.sawEnd)
        result = int16_t(lr.status);
    else if (g.truncated)
        result = CONV_E_READ;
    else
        result = lr.produced != pixels ? int16_t(CONV_E_DATA) : int16_t(lr.status);
    releaseGathered(g);
    if (result <= 0) {
        plat::memUnlock(indexBlock);
        plat::memFree(indexBlock);
        return result;
    }

    // Align x down to a whole byte of the DIB, then clip to it.
    const int32_t x = ((left * d) / 8 * 8) / d;
    const int64_t dibW = dib->biWidth, dibH = dib->biHeight;
    const int64_t colFrom = std::max<int64_t>(0, -int64_t(x)), colTo = std::min<int64_t>(width, dibW - x);
    const int64_t rowFrom = std::max<int64_t>(0, -int64_t(top)), rowTo = std::min<int64_t>(height, dibH - top);
    if (colFrom < colTo && rowFrom < rowTo) {
        const uint64_t stride = dibRowBytes(dib->biWidth, d);
        uint8_t *bits = reinterpret_cast<uint8_t *>(dib) + dibBitsOffset(*dib);
        const uint32_t count = uint32_t(colTo - colFrom);
        // Clipping on the left keeps the byte alignment: colFrom is then -x,
        // a whole number of bytes.
        const uint64_t dstByte = uint64_t((int64_t(x) + colFrom) * d / 8);
        uint8_t *scratch = nullptr;
        MemHandle scratchBlock = nullptr;
        for (int64_t r = rowFrom; r < rowTo; ++r) {
            const uint64_t stored = height && packed & 0x40 ? gifInterlacedPosition(uint32_t(r), height) : uint64_t(r);
            const uint64_t start = stored * width + uint64_t(colFrom);
            const uint8_t *src;
            if (start + count <= kept) {
                src = index + start;
            } else {
                if (!scratchBlock) {
                    scratchBlock = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, width + 1);
                    if (!scratchBlock) break;
                    scratch = static_cast<uint8_t *>(plat::memLock(scratchBlock));
                }
                std::memset(scratch, 0, count);
                if (start < kept) std::memcpy(scratch, index + start, size_t(kept - start));
                src = scratch;
            }
            uint8_t *dst = bits + uint64_t(dibH - 1 - (top + r)) * stride + dstByte;
            StoreIndexRow(dst, src, count, d, transparent);
        }
        if (scratchBlock) {
            plat::memUnlock(scratchBlock);
            plat::memFree(scratchBlock);
        }
    }
    plat::memUnlock(indexBlock);
    plat::memFree(indexBlock);
    return CONV_OK;
}

MemHandle CreatePackedDib(uint16_t bitsPerPixel, int32_t width, int32_t height, const GifRgbQuad *palette,
                          int32_t count) {
    if (width <= 0 || height <= 0) return nullptr;
    const uint32_t colors = bitsPerPixel <= 8 ? (1u << bitsPerPixel) : 0;
    const uint64_t stride = dibRowBytes(width, bitsPerPixel);
    const uint64_t size = kBitmapHeaderSize + 4ull * colors + stride * uint64_t(height);
    if (size > kMaxDibBytes) return nullptr;
    MemHandle h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, size_t(size));
    if (!h) return nullptr;
    auto *p = static_cast<uint8_t *>(plat::memLock(h));
    if (!p) {
        plat::memFree(h);
        return nullptr;
    }
    ConvBitmapInfoHeader hd{};
    hd.biSize = kBitmapHeaderSize;
    hd.biWidth = width;
    hd.biHeight = height;
    hd.biPlanes = 1;
    hd.biBitCount = bitsPerPixel;
    hd.biSizeImage = uint32_t(stride * uint64_t(height));
    hd.biXPelsPerMeter = hd.biYPelsPerMeter = 2953;
    hd.biClrUsed = colors;
    std::memcpy(p, &hd, sizeof hd);
    if (palette && count > 0)
        std::memcpy(p + kBitmapHeaderSize, palette, 4u * std::min<uint32_t>(colors, uint32_t(count)));
    plat::memUnlock(h);
    return h;
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
    GifAnimRecord &rec = *load.record;
    const uint32_t selected = rec.selectedFrame < uint32_t(kGifMaxFrames) ? rec.selectedFrame : 0;
    const GifFrameEntry e = rec.frames[selected];
    // A zero-sized image has no pixels to hand over.
    if (e.width == 0 || e.height == 0) return CONV_E_DATA;
    load.dib = CreatePackedDib(e.bitsPerPixel, e.width, e.height, rec.globalPalette, rec.globalColorCount);
    if (!load.dib) return CONV_E_MEMORY;
    auto *dib = static_cast<ConvBitmapInfoHeader *>(plat::memLock(load.dib));
    plat::fileSeek(load.file, int32_t(e.dataPosition), plat::kSeekSet);
    // A damaged image is delivered as far as it was decoded.
    (void)DecodeGifImage(load.file, dib, -1, e.left, e.top);

    const bool transparent = e.hasGraphicControl && e.transparentIndex >= 0;
    if (load.image && (!transparent || !load.callback)) {
        plat::memUnlock(load.dib);
        *load.image = load.dib;
    } else if (load.callback) {
        HostCallback cb = load.callback;
        if (cb(HOST_ADD_FRAME, reinterpret_cast<intptr_t>(dib), HOST_FRAME_GIF) && transparent &&
            uint32_t(e.transparentIndex) < dibColorCount(*dib)) {
            auto *colors = reinterpret_cast<GifRgbQuad *>(reinterpret_cast<uint8_t *>(dib) + dib->biSize);
            cb(HOST_SET_TRANSPARENT, reinterpret_cast<intptr_t>(&colors[e.transparentIndex]), 0);
        }
        intptr_t n = cb(HOST_QUERY, 0, HOST_QUERY_COUNT) - 1;
        if (n >= 0) cb(HOST_NOTE_FILE, reinterpret_cast<intptr_t>(load.fileName), 0x8100 + (n & 0xFF));
        plat::memUnlock(load.dib);
    } else {
        plat::memUnlock(load.dib);
    }

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
    load.callback = callback;
    load.file = plat::fileOpen(fileName, plat::kOpenRead);
    if (load.file == kFileError) return CONV_E_OPEN;
    load.recordHandle = NewGifAnimRecord();
    if (!load.recordHandle) {
        plat::fileClose(load.file);
        return CONV_E_MEMORY;
    }
    load.record = static_cast<GifAnimRecord *>(plat::memLock(load.recordHandle));
    GifAnimRecord &rec = *load.record;
    // The default comment stays in the buffer; it counts only if the file
    // has one.
    rec.commentFlag = 0;
    rec.repeat = 0;
    rec.frames[0].disposal = 0;

    int16_t result = ParseGifStructure(load.file, rec, callback == nullptr);
    if (result > 0) {
        rec.selectedFrame = 0;
        // How the images reach the editor. Several images with a callback
        // are the animated import's to decide; one image, or none asked
        // for, go the one-frame way.
        int mode = ChooseGifImportMode(parent, load.record, callback);
        switch (mode) {
        case kGifImportFrame:
            result = LoadGifSingleImage(load);
            break;
        case kGifImportAssembled:
            result = ImportGifAssembled(load);
            break;
        case kGifImportSequence:
            result = ImportGifSequence(load);
            break;
        case kGifImportCancel:
            result = CONV_CANCELLED;
            break;
        default:
            result = CONV_E_UNSUPPORTED;
            break;
        }
    }

    plat::fileClose(load.file);
    plat::memUnlock(load.recordHandle);
    if (result > 0 && !image && callback &&
        callback(HOST_NEW_DOCUMENT, reinterpret_cast<intptr_t>(load.recordHandle), 0)) {
        AddHostMenuItem(1, 5, CONV_MENU_BYPOSITION, 0, 0, callback);
        AddHostMenuItem(1, 5, CONV_MENU_BYPOSITION, 0, 0, callback);
        AddHostMenuItem(2, 5, CONV_MENU_BYPOSITION, CONV_CMD_ANIMATION, IDS_MENU_ANIMATION, callback);
    } else {
        plat::memFree(load.recordHandle);
        if (image && *image == load.dib) load.dib = nullptr;
    }
    if (load.dib) plat::memFree(load.dib);
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
