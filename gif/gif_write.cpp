#include "gif/gif_write.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "codecs/lzw_walk.h"
#include "common/bytes.h"
#include "ui/services.h"
#include "common/editor_link.h"
#include "common/image_block.h"
#include "platform/owners.h"
#include "platform/platform.h"

namespace vc {

namespace {

[[nodiscard]] bool put(HFile f, const void *data, size_t n) {
    return n == 0 || plat::fileWrite(f, data, uint32_t(n)) == int32_t(n);
}
[[nodiscard]] bool put(HFile f, const ByteWriter &w) { return w.ok() && put(f, w.data(), w.position()); }

const GifRgbQuad *dibColors(const ConvBitmapInfoHeader *dib) {
    return reinterpret_cast<const GifRgbQuad *>(reinterpret_cast<const uint8_t *>(dib) + dib->biSize);
}

// One entry of the editor's palette; false when it has no such entry.
bool paletteEntry(void *palette, unsigned index, uint8_t &r, uint8_t &g, uint8_t &b) {
    plat::PaletteColor colors[256];
    if (index >= plat::paletteEntries(palette, colors, 256)) return false;
    r = colors[index].red, g = colors[index].green, b = colors[index].blue;
    return true;
}

// ---- LZW encoder -------------------------------------------------------------
//
// A (prefix code, pixel) pair is entered in the table only when it is not
// there yet, so each pair names at most one code, and any exact lookup finds
// the code a search of the code table would: the output does not depend on
// the lookup structure. Images of at most 16 distinct colours are looked up
// in a direct table indexed by prefix and the colour's rank among those in
// use, where strings of one colour repeated (runs in flat areas) follow a
// chain of their own without a lookup; others go through the branch-free
// walk the TIFF coder uses too.

// Codes packed least-significant bit first into 255-byte sub-blocks, written
// to the file many blocks at a time. A write that fails is remembered; the
// codes go on, so the image's result tells it once at the end.
struct CodeWriter {
    HFile file;
    bool failed = false;
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
        if (!put(file, framed, out)) failed = true;
        fill = 0;
    }
    inline void code(uint32_t c, unsigned width) {
        acc |= uint64_t(c) << bits;
        bits += width;
        if (bits >= 32) {
            if (fill + 4 > sizeof raw) flushRaw();
            storeLe32(raw + fill, uint32_t(acc));
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
        const uint8_t zero = 0;
        if (!put(file, &zero, 1)) failed = true;
    }
};

struct EncoderState {
    lzwwalk::Table walk;
    // [rank << 12 | prefix] -> code, 0 none: the prefixes in use are mostly
    // recent codes, so one colour's column keeps them on few cache lines.
    uint16_t direct[16 * 4096];
    uint8_t rank[256];          // a colour's place among the colours in use
    uint32_t slotOf[4096];      // where each table code was entered
    // With the direct table: by rank, the codes of the colour repeated 1, 2,
    // ... runLength times (all of them are in the table), so a run is
    // crossed in one step.
    uint16_t runCodes[16][4098];
    uint16_t runLength[16];
    CodeWriter out;
};

// Empties the lookup entries of codes first .. next - 1 (found through the
// places they were entered at).
void forgetCodes(EncoderState &st, uint32_t first, uint32_t next) {
    for (uint32_t k = first; k < next; ++k) st.direct[st.slotOf[k]] = 0;
}

// The coder tables are module state, as one save runs at a time: about
// 450 KB that would otherwise be allocated and zeroed for every image (for
// every frame of an animation). The lookup tables are empty between saves,
// because every save removes the entries it made; the rest is set up by
// each save.
EncoderState gEncoder{};

unsigned bitLength(uint32_t v) { return v ? 32u - unsigned(__builtin_clz(v)) : 0u; }

constexpr uint32_t kNoRun = 256;

// A DIB row of 1 or 4 bits as colour indices, one byte each.
void unpackRow(const uint8_t *src, unsigned depth, uint32_t W, uint8_t *dst) {
    if (depth == 4) {
        for (uint32_t x = 0; x + 1 < W; x += 2) {
            dst[x] = src[x / 2] >> 4;
            dst[x + 1] = src[x / 2] & 15;
        }
        if (W & 1) dst[W - 1] = src[W / 2] >> 4;
        return;
    }
    // Eight pixels per source byte, most significant bit first.
    static const auto spread = [] {
        struct Table {
            uint8_t v[256][8];
        } t{};
        for (int b = 0; b < 256; ++b)
            for (int k = 0; k < 8; ++k) t.v[b][k] = uint8_t((b >> (7 - k)) & 1);
        return t;
    }();
    uint32_t x = 0;
    for (; x + 8 <= W; x += 8) std::memcpy(dst + x, spread.v[src[x / 8]], 8);
    for (; x < W; ++x) dst[x] = (src[x / 8] >> (7 - x % 8)) & 1;
}

// An image's rows of colour indices in the order the file takes them: top
// first, or in the interlace passes (the DIB holds them bottom-up, or
// top-down with a negative height). An 8-bit DIB's rows are read where they
// stand; a row of 1 or 4 bits is unpacked into one row of scratch when it
// is asked for, so no buffer ever holds the whole image.
class Rows {
public:
    Rows(const ConvBitmapInfoHeader *dib, uint32_t width, uint32_t height, bool interlaced, uint8_t *scratch)
        : bits_(reinterpret_cast<const uint8_t *>(dib) + dibBitsOffset(*dib)),
          stride_(dibRowBytes(width, dib->biBitCount)), width_(width), height_(height), depth_(dib->biBitCount),
          bottomUp_(dib->biHeight > 0), interlaced_(interlaced), scratch_(scratch) {}
    // Row k of the file; an unpacked row's pointer holds until the next call.
    const uint8_t *at(uint32_t k) const {
        const uint32_t r = interlaced_ ? gifInterlacedRow(k, height_) : k;
        const uint8_t *src = bits_ + (bottomUp_ ? height_ - 1 - r : r) * stride_;
        if (depth_ == 8) return src;
        unpackRow(src, depth_, width_, scratch_);
        return scratch_;
    }

private:
    const uint8_t *bits_;
    uint64_t stride_;
    uint32_t width_, height_;
    unsigned depth_;
    bool bottomUp_, interlaced_;
    uint8_t *scratch_;
};

void encodeRowsDirect(EncoderState &st, const Rows &pixels, uint32_t columns, uint32_t rows, unsigned s,
                      bool progress) {
    CodeWriter &out = st.out;
    const uint32_t clear = 1u << s, end = clear + 1;
    uint32_t next = clear + 2;
    unsigned width = s + 1;
    out.code(clear, width);

    uint32_t w = 0, runColor = kNoRun;  // runColor: w's string is that colour repeated
    uint32_t runLen = 0;                // ... that many times
    bool haveW = false;
    for (uint32_t row = 0; row < rows; ++row) {
        if (progress) SetProgress(int32_t(uint64_t(row) * 100 / rows));
        const uint8_t *p = pixels.at(row);
        uint32_t x = 0;
        if (!haveW && columns) {
            w = runColor = p[0];
            runLen = 1;
            haveW = true;
            x = 1;
        }
        while (x < columns) {
            const uint32_t c = p[x];
            uint32_t slot = 0;
            if (c == runColor) {
                const uint32_t rc = st.rank[c];
                // Length of the run, eight pixels at a time.
                uint32_t r = 1;
                const uint64_t pattern = 0x0101010101010101ull * c;
                for (;;) {
                    if (x + r + 8 <= columns) {
                        uint64_t v;
                        std::memcpy(&v, p + x + r, 8);
                        v ^= pattern;
                        if (v == 0) {
                            r += 8;
                            continue;
                        }
                        r += unsigned(__builtin_ctzll(v)) >> 3;
                        break;
                    }
                    while (x + r < columns && p[x + r] == c) ++r;
                    break;
                }
                const uint32_t have = st.runLength[rc];
                if (runLen + r <= have) {
                    runLen += r;
                    w = st.runCodes[rc][runLen];
                    x += r;
                    continue;
                }
                // The longest run string there is, then the next pixel
                // is not in the table.
                x += have - runLen;
                runLen = have;
                w = st.runCodes[rc][have];
                slot = (rc << 12) | w;
            } else {
                slot = (uint32_t(st.rank[c]) << 12) | w;
                if (uint32_t code = st.direct[slot]) {
                    w = code;
                    runColor = kNoRun;
                    ++x;
                    continue;
                }
            }
            // Not in the table: emit the prefix and enter the new string.
            out.code(w, width);
            if (next == 4096) {
                // Table full: start over after a clear code at 12 bits.
                forgetCodes(st, clear + 2, next);
                for (auto &n : st.runLength) n = 1;
                out.code(clear, width);
                next = clear + 2;
                width = s + 1;
            } else {
                if (c == runColor) {
                    const uint32_t rc = st.rank[c];
                    st.runCodes[rc][runLen + 1] = uint16_t(next);
                    st.runLength[rc] = uint16_t(runLen + 1);
                }
                st.direct[slot] = uint16_t(next);
                st.slotOf[next] = slot;
                width = std::max(3u, bitLength(next));
                ++next;
            }
            w = runColor = c;
            runLen = 1;
            ++x;
        }
    }
    if (haveW) out.code(w, width);
    out.code(end, width);
    out.finish();
    // The tables go back as they came: empty.
    forgetCodes(st, clear + 2, next);
}

// Images of more than 16 colours: the walk lists the codes, written here
// least significant bit first, each as wide as the last code entered
// before it. A full table is not cleared at once: its strings still grow
// while they are found, and the first miss writes its code, then Clear,
// both at 12 bits.
void encodeRowsWalk(EncoderState &st, const Rows &pixels, uint32_t columns, uint32_t rows, unsigned s, bool progress) {
    CodeWriter &out = st.out;
    lzwwalk::Table &t = st.walk;
    const uint32_t clear = 1u << s, end = clear + 1, first = clear + 2;
    out.code(clear, s + 1);
    lzwwalk::Cursor c{&t, nullptr, nullptr, 0, first};
    uint32_t packed = first;  // the next free code when the next listed code was written
    auto pack = [&] {
        for (size_t j = 0; j < c.n; ++j, ++packed) out.code(t.codes[j], bitLength(packed - 1));
        c.n = 0;
    };
    bool haveW = false;
    for (uint32_t row = 0; row < rows; ++row) {
        if (progress) SetProgress(int32_t(uint64_t(row) * 100 / rows));
        c.p = pixels.at(row);
        c.end = c.p + columns;
        if (!haveW && columns) {
            c.current = *c.p++;
            haveW = true;
        }
        while (c.p != c.end) {
            lzwwalk::Cursor w = c;  // a copy that stays in registers
            for (size_t m = w.room(4096); m != 0; --m) w.step();
            c = w;
            if (c.n >= lzwwalk::kCodeList - 2) pack();
            if (c.next != 4096) continue;
            pack();
            while (c.p != c.end) {
                const uint32_t k = *c.p++;
                if (const uint32_t code = c.find(k)) {
                    c.current = code;
                    continue;
                }
                out.code(uint32_t(c.current), 12);
                out.code(clear, 12);
                lzwwalk::freePlaces(t, first, 4096);
                c.next = packed = first;
                c.current = k;
                break;
            }
        }
    }
    pack();
    const unsigned width = bitLength(packed - 1);
    if (haveW) out.code(uint32_t(c.current), width);
    out.code(end, width);
    out.finish();
    // The table goes back as it came: empty.
    lzwwalk::freePlaces(t, first, uint32_t(c.next));
}

// 1, or -8 when a write failed.
int16_t lzwEncode(HFile file, const Rows &pixels, uint32_t columns, uint32_t rows, unsigned s, bool progress) {
    EncoderState *st = &gEncoder;
    st->out.file = file;
    st->out.failed = false;
    st->out.acc = 0;
    st->out.bits = 0;
    st->out.fill = 0;
    // Few colours in use (always so below 8 bits): rank them for the
    // direct table.
    const uint32_t clear = 1u << s;
    bool used[256] = {};
    if (s <= 4) {
        std::fill(used, used + clear, true);
    } else {
        // Four tallies side by side keep the stores independent. Past 16
        // colours the walk codes the image and needs no ranks, so the count
        // stops there: it is looked at after every 16 Ki pixels.
        bool seen[4][256] = {};
        auto count = [&] {
            unsigned n = 0;
            for (unsigned c = 0; c < 256; ++c) {
                used[c] = seen[0][c] | seen[1][c] | seen[2][c] | seen[3][c];
                n += used[c];
            }
            return n;
        };
        uint32_t sinceCount = 0;
        for (uint32_t row = 0; row < rows; ++row) {
            const uint8_t *p = pixels.at(row);
            uint32_t i = 0;
            for (; i + 4 <= columns; i += 4) {
                seen[0][p[i]] = true;
                seen[1][p[i + 1]] = true;
                seen[2][p[i + 2]] = true;
                seen[3][p[i + 3]] = true;
            }
            for (; i < columns; ++i) seen[0][p[i]] = true;
            if ((sinceCount += columns) >= 16384) {
                sinceCount = 0;
                if (count() > 16) break;
            }
        }
        (void)count();
    }
    unsigned colors = 0;
    for (unsigned c = 0; c < 256; ++c) {
        if (!used[c]) continue;
        if (colors < 16) {
            st->runCodes[colors][1] = uint16_t(c);
            st->runLength[colors] = 1;
        }
        st->rank[c] = uint8_t(colors++);
    }
    if (colors <= 16) {
        encodeRowsDirect(*st, pixels, columns, rows, s, progress);
    } else {
        encodeRowsWalk(*st, pixels, columns, rows, s, progress);
    }
    return st->out.failed ? int16_t(CONV_E_WRITE) : int16_t(CONV_OK);
}

// The RGB triples of a DIB's colour table, padded with black up to
// 2^depth entries.
bool writeColorTable(HFile file, const ConvBitmapInfoHeader *dib) {
    const uint32_t full = 1u << dib->biBitCount;
    const uint32_t n = std::min(dibColorCount(*dib), full);
    uint8_t rgb[768] = {};
    ByteWriter w(rgb, 3 * full);
    const GifRgbQuad *colors = dibColors(dib);
    for (uint32_t i = 0; i < n; ++i) {
        w.u8(colors[i].red);
        w.u8(colors[i].green);
        w.u8(colors[i].blue);
    }
    return put(file, rgb, 3 * full);
}

// The single-image save into an open file: header, graphic control when
// the editor has a transparent colour, the image, the trailer.
int16_t writeSingleImage(HFile f, const ConvBitmapInfoHeader *dib, HostCallback callback) {
    int16_t result = WriteGifHeader(f, dib, uint16_t(dib->biWidth), uint16_t(std::abs(dib->biHeight)), 0);
    if (result <= 0) return result;
    const int16_t t = FindTransparentIndex(dib, callback);
    const bool controlWritten = t < 0 || WriteGraphicControl(f, t, 0, 0, 0) > 0;
    result = WriteGifImage(f, dib, 0, 0, false, true);
    // The trailer follows even an image whose buffers could not be had.
    const uint8_t trailer = 0x3B;
    if (!put(f, &trailer, 1) || (!controlWritten && result > 0)) result = CONV_E_WRITE;
    return result;
}

}  // namespace

int16_t WriteGifHeader(HFile file, const ConvBitmapInfoHeader *dib, uint16_t screenWidth, uint16_t screenHeight,
                       uint8_t backgroundIndex, bool globalTable) {
    const unsigned d = dib->biBitCount;
    if (d != 1 && d != 4 && d != 8) return CONV_E_DATA;
    uint8_t head[13];
    ByteWriter w(head, sizeof head);
    w.bytes("GIF89a", 6);
    w.u16(screenWidth);
    w.u16(screenHeight);
    w.u8((globalTable ? 0x80 : 0) + (d - 1) * 0x11);
    w.u8(backgroundIndex);
    w.u8(0);  // pixel aspect ratio
    if (!put(file, w)) return CONV_E_WRITE;
    if (!globalTable) return CONV_OK;
    return writeColorTable(file, dib) ? int16_t(CONV_OK) : int16_t(CONV_E_WRITE);
}

int16_t WriteGraphicControl(HFile file, int32_t transparent, uint16_t delay, int32_t userInput, uint16_t disposal) {
    uint8_t block[8];
    ByteWriter w(block, sizeof block);
    w.u8(0x21);
    w.u8(0xF9);
    w.u8(4);
    w.u8((disposal & 3) * 4 + (userInput > 0 ? 2 : 0) + (transparent >= 0 ? 1 : 0));
    w.u16(delay);
    w.u8(transparent >= 0 ? uint8_t(transparent) : 0);
    w.u8(0);
    return put(file, w) ? int16_t(CONV_OK) : int16_t(CONV_E_WRITE);
}

int16_t WriteGifExtension(HFile file, uint8_t label, const void *data, uint8_t length, bool terminate) {
    const uint8_t head[3] = {0x21, label, length};
    bool ok = put(file, head, 3) && (!data || put(file, data, length));
    if (ok && terminate) {
        const uint8_t zero = 0;
        ok = put(file, &zero, 1);
    }
    return ok ? 1 : 0;
}

int16_t WriteGifSubBlock(HFile file, const void *data, uint8_t length, bool terminate) {
    bool ok = true;
    if (data && length) ok = put(file, &length, 1) && put(file, data, length);
    if (ok && terminate) {
        const uint8_t zero = 0;
        ok = put(file, &zero, 1);
    }
    return ok ? 1 : 0;
}

int16_t WriteGifImage(HFile file, const ConvBitmapInfoHeader *dib, int32_t left, int32_t top, bool interlaced,
                      bool progress, bool localTable) {
    const unsigned d = dib->biBitCount;
    if (d != 1 && d != 4 && d != 8) return CONV_E_DATA;
    const uint32_t W = uint32_t(std::max(0, dib->biWidth)), H = uint32_t(std::abs(dib->biHeight));
    uint8_t desc[10];
    ByteWriter w(desc, sizeof desc);
    w.u8(0x2C);
    w.u16(uint32_t(left));
    w.u16(uint32_t(top));
    w.u16(W);
    w.u16(H);
    w.u8((interlaced ? 0x40 : 0) + (localTable ? 0x80 : 0) + (d - 1));
    bool written = put(file, w);
    if (localTable) written = writeColorTable(file, dib) && written;

    // Rows below 8 bits are unpacked one at a time into a row of scratch.
    plat::Block scratch;
    if (d != 8 && !scratch.alloc(uint64_t(W) + 1, plat::kMemMoveable)) return CONV_E_MEMORY;
    const Rows rows(dib, W, H, interlaced, scratch.data());
    const uint8_t s = d == 1 ? 2 : uint8_t(d);
    written = put(file, &s, 1) && written;
    const int16_t r = lzwEncode(file, rows, W, H, s, progress);
    return r == CONV_OK && !written ? int16_t(CONV_E_WRITE) : r;
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
    const EditorLink editor(callback);
    uint32_t color = 0;
    if (!editor.screenColor(color)) return -1;
    uint8_t r = uint8_t(color), g = uint8_t(color >> 8), b = uint8_t(color >> 16);
    if (color >> 24) {
        // The handle is the answer: none when the editor has no palette.
        MemHandle palette = nullptr;
        editor.getPalette(palette, 1);
        uint8_t pr, pg, pb;
        if (paletteEntry(palette, color & 0xFFFF, pr, pg, pb)) r = pr, g = pg, b = pb;
    }
    if (dib->biBitCount > 8) return -1;
    const uint32_t n = std::min(dibColorCount(*dib), 1u << dib->biBitCount);
    return int16_t(NearestPaletteIndex(dibColors(dib), r, g, b, int32_t(n)));
}

int16_t SaveGifImage(const char *fileName, MemHandle image, HostCallback callback) {
    plat::File file;
    if (!file.create(fileName)) return CONV_E_CREATE;
    const plat::Lock lock(image);
    const auto *dib = lock.as<const ConvBitmapInfoHeader>();
    if (!dib || !dibHeaderUsable(*dib, lock.size())) return CONV_E_DATA;
    const int16_t result = writeSingleImage(file.handle(), dib, callback);
    // A close that fails may have lost what the system held back.
    if (!file.close() && result > 0) return CONV_E_WRITE;
    return result;
}

int16_t saveGifRow(const SaveRequest &request) {
    return SaveGifImage(request.fileName, request.image, request.callback);
}

}  // namespace vc
