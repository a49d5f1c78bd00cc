#include "gif/gif_write.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/services.h"
#include "entry/image_block.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vc {

namespace {

bool put(HFile f, const void *data, uint32_t n) { return n == 0 || plat::fileWrite(f, data, n) == int32_t(n); }

const GifRgbQuad *dibColors(const ConvBitmapInfoHeader *dib) {
    return reinterpret_cast<const GifRgbQuad *>(reinterpret_cast<const uint8_t *>(dib) + dib->biSize);
}

// One entry of the editor's palette. On Windows the handle is an HPALETTE;
// the headless editor's handle points at 256 entries laid out as Windows'
// PALETTEENTRY (red, green, blue, flags).
bool paletteEntry(void *palette, unsigned index, uint8_t &r, uint8_t &g, uint8_t &b) {
    if (!palette || index > 255) return false;
#if defined(_WIN32)
    PALETTEENTRY pe;
    if (GetPaletteEntries(static_cast<HPALETTE>(palette), index, 1, &pe) != 1) return false;
    r = pe.peRed, g = pe.peGreen, b = pe.peBlue;
#else
    const auto *e = static_cast<const uint8_t *>(palette) + 4 * index;
    r = e[0], g = e[1], b = e[2];
#endif
    return true;
}

// ---- LZW encoder -------------------------------------------------------------
//
// Strings are looked up in a hash of (prefix code, pixel) pairs. A pair is
// entered only when it is not in the table, so each pair names at most one
// code and any exact lookup finds the same code as a search of the code
// table would: the output does not depend on the lookup structure.

constexpr unsigned kHashBits = 14;
constexpr uint32_t kHashSize = 1u << kHashBits;
constexpr uint32_t kEmpty = 0;

inline uint32_t hashOf(uint32_t key) { return (key * 2654435761u) >> (32 - kHashBits); }

// Codes packed least-significant bit first into 255-byte sub-blocks, written
// to the file many blocks at a time.
struct CodeWriter {
    HFile file;
    uint64_t acc = 0;
    unsigned bits = 0;
    uint32_t fill = 0;                // bytes in raw
    uint8_t raw[255 * 64];            // code bytes not yet framed
    uint8_t framed[256 * 64];         // the same, as sub-blocks

    void flushRaw() {
        uint32_t out = 0;
        for (uint32_t i = 0; i < fill; i += 255) {
            uint32_t n = std::min<uint32_t>(255, fill - i);
            framed[out++] = uint8_t(n);
            std::memcpy(framed + out, raw + i, n);
            out += n;
        }
        put(file, framed, out);
        fill = 0;
    }
    inline void code(uint32_t c, unsigned width) {
        acc |= uint64_t(c) << bits;
        bits += width;
        if (bits >= 32) {
            if (fill + 4 > sizeof raw) flushRaw();
            uint32_t v = uint32_t(acc);
            std::memcpy(raw + fill, &v, 4);
            fill += 4;
            acc >>= 32;
            bits -= 32;
        }
    }
    // The last partial byte counts only when it holds bits; then the
    // terminator.
    void finish() {
        while (bits > 0) {
            if (fill == sizeof raw) flushRaw();
            raw[fill++] = uint8_t(acc);
            acc >>= 8;
            bits = bits > 8 ? bits - 8 : 0;
        }
        flushRaw();
        uint8_t zero = 0;
        put(file, &zero, 1);
    }
};

unsigned bitLength(uint32_t v) { return v ? 32u - unsigned(__builtin_clz(v)) : 0u; }

int16_t lzwEncode(HFile file, const uint8_t *pixels, uint32_t columns, uint32_t rows, unsigned s, bool progress) {
    MemHandle tableBlock = plat::memAlloc(plat::kMemMoveable, kHashSize * sizeof(uint32_t));
    MemHandle writerBlock = tableBlock ? plat::memAlloc(plat::kMemMoveable, sizeof(CodeWriter)) : nullptr;
    if (!writerBlock) {
        if (tableBlock) plat::memFree(tableBlock);
        return CONV_E_MEMORY;
    }
    auto *table = static_cast<uint32_t *>(plat::memLock(tableBlock));
    auto *out = new (plat::memLock(writerBlock)) CodeWriter;
    out->file = file;

    const uint32_t clear = 1u << s, end = clear + 1;
    const uint32_t pixelMask = clear - 1;
    uint32_t next = clear + 2;
    unsigned width = s + 1;
    std::memset(table, 0, kHashSize * sizeof(uint32_t));
    out->code(clear, width);

    // A slot holds (prefix << 8 | pixel) in its top 20 bits and the code in
    // its low 12; table codes are never 0, so 0 marks an empty slot.
    uint32_t w = kEmpty;
    bool haveW = false;
    for (uint32_t row = 0; row < rows; ++row) {
        if (progress) SetProgress(int32_t(uint64_t(row) * 100 / rows));
        const uint8_t *p = pixels + uint64_t(row) * columns;
        uint32_t x = 0;
        if (!haveW && columns) {
            w = p[0] & pixelMask;
            haveW = true;
            x = 1;
        }
        for (; x < columns; ++x) {
            const uint32_t c = p[x] & pixelMask;
            const uint32_t key = (w << 8) | c;
            uint32_t h = hashOf(key);
            for (;;) {
                const uint32_t slot = table[h];
                if (slot == kEmpty) break;
                if ((slot >> 12) == key) {
                    w = slot & 0xFFF;
                    goto found;
                }
                h = (h + 1) & (kHashSize - 1);
            }
            out->code(w, width);
            if (next == 4096) {
                // Table full: start over after a clear code at 12 bits.
                std::memset(table, 0, kHashSize * sizeof(uint32_t));
                out->code(clear, width);
                next = clear + 2;
                width = s + 1;
            } else {
                table[h] = (key << 12) | next;
                width = std::max(3u, bitLength(next));
                ++next;
            }
            w = c;
        found:;
        }
    }
    if (haveW) out->code(w, width);
    out->code(end, width);
    out->finish();

    out->~CodeWriter();
    plat::memUnlock(writerBlock);
    plat::memFree(writerBlock);
    plat::memUnlock(tableBlock);
    plat::memFree(tableBlock);
    return CONV_OK;
}

}  // namespace

int16_t WriteGifHeader(HFile file, const ConvBitmapInfoHeader *dib, uint16_t screenWidth, uint16_t screenHeight,
                       uint8_t backgroundIndex, bool globalTable) {
    const unsigned d = dib->biBitCount;
    if (d != 1 && d != 4 && d != 8) return CONV_E_DATA;
    uint8_t head[13] = {'G', 'I', 'F', '8', '9', 'a'};
    head[6] = uint8_t(screenWidth), head[7] = uint8_t(screenWidth >> 8);
    head[8] = uint8_t(screenHeight), head[9] = uint8_t(screenHeight >> 8);
    head[10] = uint8_t((globalTable ? 0x80 : 0) + (d - 1) * 0x11);
    head[11] = backgroundIndex;
    head[12] = 0;
    put(file, head, sizeof head);
    if (!globalTable) return CONV_OK;
    const uint32_t full = 1u << d;
    const uint32_t n = std::min(dibColorCount(*dib), full);
    uint8_t rgb[768] = {};
    const GifRgbQuad *colors = dibColors(dib);
    for (uint32_t i = 0; i < n; ++i) {
        rgb[3 * i] = colors[i].red;
        rgb[3 * i + 1] = colors[i].green;
        rgb[3 * i + 2] = colors[i].blue;
    }
    // Short tables are padded with black up to the depth's full size.
    return put(file, rgb, 3 * full) ? int16_t(CONV_OK) : int16_t(CONV_E_WRITE);
}

int16_t WriteGraphicControl(HFile file, int32_t transparent, uint16_t delay, int32_t userInput, uint16_t disposal) {
    uint8_t b[8] = {0x21, 0xF9, 4, 0, uint8_t(delay), uint8_t(delay >> 8), 0, 0};
    b[3] = uint8_t((disposal & 3) * 4 + (userInput > 0 ? 2 : 0) + (transparent >= 0 ? 1 : 0));
    b[6] = transparent >= 0 ? uint8_t(transparent) : 0;
    put(file, b, sizeof b);
    return CONV_OK;
}

int16_t WriteGifExtension(HFile file, uint8_t label, const void *data, uint8_t length, bool terminate) {
    uint8_t head[3] = {0x21, label, length};
    bool ok = put(file, head, 3) && (!data || put(file, data, length));
    if (ok && terminate) {
        uint8_t zero = 0;
        ok = put(file, &zero, 1);
    }
    return ok ? 1 : 0;
}

int16_t WriteGifSubBlock(HFile file, const void *data, uint8_t length, bool terminate) {
    bool ok = true;
    if (data && length) ok = put(file, &length, 1) && put(file, data, length);
    if (ok && terminate) {
        uint8_t zero = 0;
        ok = put(file, &zero, 1);
    }
    return ok ? 1 : 0;
}

int16_t WriteGifImage(HFile file, const ConvBitmapInfoHeader *dib, int32_t left, int32_t top, bool interlaced,
                      bool progress, bool localTable) {
    const unsigned d = dib->biBitCount;
    if (d != 1 && d != 4 && d != 8) return CONV_E_DATA;
    const uint32_t W = uint32_t(std::max(0, dib->biWidth)), H = uint32_t(std::abs(dib->biHeight));
    uint8_t desc[10] = {0x2C,
                        uint8_t(left),
                        uint8_t(left >> 8),
                        uint8_t(top),
                        uint8_t(top >> 8),
                        uint8_t(W),
                        uint8_t(W >> 8),
                        uint8_t(H),
                        uint8_t(H >> 8),
                        uint8_t((interlaced ? 0x40 : 0) + (localTable ? 0x80 : 0) + (d - 1))};
    put(file, desc, sizeof desc);
    if (localTable) {
        uint8_t rgb[768] = {};
        const GifRgbQuad *colors = dibColors(dib);
        const uint32_t n = std::min(dibColorCount(*dib), 1u << d);
        for (uint32_t i = 0; i < n; ++i)
            rgb[3 * i] = colors[i].red, rgb[3 * i + 1] = colors[i].green, rgb[3 * i + 2] = colors[i].blue;
        put(file, rgb, 3u << d);
    }

    const uint64_t pixels = uint64_t(W) * H;
    MemHandle block = pixels <= SIZE_MAX - 1 ? plat::memAlloc(plat::kMemMoveable, size_t(pixels) + 1) : nullptr;
    if (!block) return CONV_E_MEMORY;
    auto *index = static_cast<uint8_t *>(plat::memLock(block));
    // Rows are stored bottom-up in the DIB, top-down (or in pass order) in
    // the file.
    const uint8_t *bits = reinterpret_cast<const uint8_t *>(dib) + dibBitsOffset(*dib);
    const uint64_t stride = dibRowBytes(W, d);
    for (uint32_t r = 0; r < H; ++r) {
        const uint8_t *src = dib->biHeight > 0 ? bits + (H - 1 - r) * stride : bits + r * stride;
        uint8_t *dst = index + uint64_t(interlaced ? gifInterlacedPosition(r, H) : r) * W;
        if (d == 8) {
            std::memcpy(dst, src, W);
        } else if (d == 4) {
            for (uint32_t x = 0; x + 1 < W; x += 2) {
                dst[x] = src[x / 2] >> 4;
                dst[x + 1] = src[x / 2] & 15;
            }
            if (W & 1) dst[W - 1] = src[W / 2] >> 4;
        } else {
            for (uint32_t x = 0; x < W; ++x) dst[x] = (src[x / 8] >> (7 - x % 8)) & 1;
        }
    }
    const uint8_t s = d == 1 ? 2 : uint8_t(d);
    put(file, &s, 1);
    int16_t r = lzwEncode(file, index, W, H, s, progress);
    plat::memUnlock(block);
    plat::memFree(block);
    return r;
}

int32_t NearestPaletteIndex(const GifRgbQuad *table, uint8_t red, uint8_t green, uint8_t blue, int32_t count) {
    int32_t best = 65535, bestIndex = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t dist = std::abs(int(table[i].blue) - blue);
        if (dist >= best) continue;
        dist += std::abs(int(table[i].green) - green);
        if (dist >= best) continue;
        dist += std::abs(int(table[i].red) - red);
        if (dist >= best) continue;
        best = dist, bestIndex = i;
        if (dist <= 1) return i;
    }
    return bestIndex;
}

int16_t FindTransparentIndex(const ConvBitmapInfoHeader *dib, HostCallback callback) {
    if (!callback) return -1;
    uint32_t color = 0;
    if (!callback(HOST_QUERY, reinterpret_cast<intptr_t>(&color), HOST_QUERY_SCREEN_COLOR)) return -1;
    uint8_t r = uint8_t(color), g = uint8_t(color >> 8), b = uint8_t(color >> 16);
    if (color >> 24) {
        void *palette = nullptr;
        callback(HOST_GET_PALETTE, reinterpret_cast<intptr_t>(&palette), 1);
        uint8_t pr, pg, pb;
        if (paletteEntry(palette, color & 0xFFFF, pr, pg, pb)) r = pr, g = pg, b = pb;
    }
    if (dib->biBitCount > 8) return -1;
    const uint32_t n = std::min(dibColorCount(*dib), 1u << dib->biBitCount);
    return int16_t(NearestPaletteIndex(dibColors(dib), r, g, b, int32_t(n)));
}

int16_t SaveGifImage(const char *fileName, MemHandle image, HostCallback callback) {
    HFile f = plat::fileCreate(fileName, 0);
    if (f == kFileError) return CONV_E_CREATE;
    const auto *dib = static_cast<const ConvBitmapInfoHeader *>(plat::memLock(image));
    if (!dib || !dibHeaderUsable(*dib, plat::memSize(image))) {
        if (dib) plat::memUnlock(image);
        plat::fileClose(f);
        return CONV_E_DATA;
    }
    int16_t result = WriteGifHeader(f, dib, uint16_t(dib->biWidth), uint16_t(std::abs(dib->biHeight)), 0);
    if (result > 0) {
        int16_t t = FindTransparentIndex(dib, callback);
        if (t >= 0) WriteGraphicControl(f, t, 0, 0, 0);
        result = WriteGifImage(f, dib, 0, 0, false, true);
        const uint8_t trailer = 0x3B;
        if (!put(f, &trailer, 1)) result = CONV_E_WRITE;
    }
    plat::fileClose(f);
    plat::memUnlock(image);
    return result;
}

int16_t saveGifRow(const SaveRequest &request) {
    return SaveGifImage(request.fileName, request.image, request.callback);
}

}  // namespace vc
