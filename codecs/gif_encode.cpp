// Writing GIF bytes: the blocks of the format and the LZW coder. Every
// block is appended to the caller's output vector; the coder's tables are
// the caller's GifCoder, so nothing here outlives a call.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "codecs/gif_parts.h"
#include "codecs/lzw_walk.h"
#include "common/bytes.h"

namespace vc {

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

// Codes packed least-significant bit first into 255-byte sub-blocks,
// appended to the output many blocks at a time.
struct GifCodeWriter {
    std::vector<uint8_t> *out = nullptr;
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
        this->out->insert(this->out->end(), framed, framed + out);
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
        out->push_back(0);
    }
};

struct GifCoder::Tables {
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
    GifCodeWriter out;
};

// Empties the lookup entries of codes first .. next - 1 (found through the
// places they were entered at).
namespace {

void forgetCodes(GifCoder::Tables &st, uint32_t first, uint32_t next) {
    for (uint32_t k = first; k < next; ++k) st.direct[st.slotOf[k]] = 0;
}

unsigned bitLength(uint32_t v) { return v ? 32u - unsigned(__builtin_clz(v)) : 0u; }

constexpr uint32_t kNoRun = 256;

// A row of 1 or 4 bits as colour indices, one byte each.
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
// first, or in the interlace passes (the image holds them bottom-up, or
// top-down). An 8-bit image's rows are read where they stand; a row of 1 or 4 bits is unpacked into one row of scratch when it
// is asked for, so no buffer ever holds the whole image.
class Rows {
public:
    Rows(const GifImageView &image, bool interlaced, uint8_t *scratch)
        : bits_(image.bits), stride_(image.stride), width_(image.width), height_(image.height), depth_(image.depth),
          bottomUp_(!image.topDown), interlaced_(interlaced), scratch_(scratch) {}
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

bool encodeRowsDirect(GifCoder::Tables &st, const Rows &pixels, uint32_t columns, uint32_t rows, unsigned s,
                      const Progress *progress) {
    GifCodeWriter &out = st.out;
    const uint32_t clear = 1u << s, end = clear + 1;
    uint32_t next = clear + 2;
    unsigned width = s + 1;
    out.code(clear, width);

    uint32_t w = 0, runColor = kNoRun;  // runColor: w's string is that colour repeated
    uint32_t runLen = 0;                // ... that many times
    bool haveW = false;
    for (uint32_t row = 0; row < rows; ++row) {
        if (progress && !(*progress)(int32_t(uint64_t(row) * 100 / rows))) {
            forgetCodes(st, clear + 2, next);
            return false;
        }
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
    return true;
}

// Images of more than 16 colours: the walk lists the codes, written here
// least significant bit first, each as wide as the last code entered
// before it. A full table is not cleared at once: its strings still grow
// while they are found, and the first miss writes its code, then Clear,
// both at 12 bits.
bool encodeRowsWalk(GifCoder::Tables &st, const Rows &pixels, uint32_t columns, uint32_t rows, unsigned s,
                    const Progress *progress) {
    GifCodeWriter &out = st.out;
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
        if (progress && !(*progress)(int32_t(uint64_t(row) * 100 / rows))) {
            lzwwalk::freePlaces(t, first, uint32_t(c.next));
            return false;
        }
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
    return true;
}

// False when a progress report said stop.
bool lzwEncode(std::vector<uint8_t> &output, GifCoder::Tables &tables, const Rows &pixels, uint32_t columns,
               uint32_t rows, unsigned s, const Progress *progress) {
    GifCoder::Tables *st = &tables;
    st->out.out = &output;
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
    return colors <= 16 ? encodeRowsDirect(*st, pixels, columns, rows, s, progress)
                        : encodeRowsWalk(*st, pixels, columns, rows, s, progress);
}

// The RGB triples of a colour table, padded with black up to 2^depth
// entries.
void writeColorTable(std::vector<uint8_t> &out, const GifImageView &image) {
    const uint32_t full = 1u << image.depth;
    const uint32_t n = std::min(image.colorCount, full);
    const size_t at = out.size();
    out.resize(at + 3 * full, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t *q = image.colors + 4 * i;
        out[at + 3 * i] = q[2];
        out[at + 3 * i + 1] = q[1];
        out[at + 3 * i + 2] = q[0];
    }
}

void putLe16(std::vector<uint8_t> &out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

bool gifDepth(unsigned d) { return d == 1 || d == 4 || d == 8; }

}  // namespace

GifCoder::GifCoder() : tables_(std::make_unique<Tables>()) {}
GifCoder::~GifCoder() = default;

GifImageView gifImageView(const Picture &picture) {
    GifImageView v;
    v.bits = picture.pixels.data();
    v.stride = picture.rowBytes();
    v.width = uint32_t(std::max(0, picture.width));
    v.height = uint32_t(std::max(0, picture.height));
    v.depth = picture.bitCount;
    v.colors = reinterpret_cast<const uint8_t *>(picture.palette.data());
    v.colorCount = uint32_t(picture.palette.size());
    return v;
}

Result writeGifHeader(std::vector<uint8_t> &out, const GifImageView &image, uint16_t screenWidth,
                      uint16_t screenHeight, uint8_t backgroundIndex, bool globalTable) {
    const unsigned d = image.depth;
    if (!gifDepth(d)) return Result::unsupported;
    const uint8_t *signature = reinterpret_cast<const uint8_t *>("GIF89a");
    out.insert(out.end(), signature, signature + 6);
    putLe16(out, screenWidth);
    putLe16(out, screenHeight);
    out.push_back(uint8_t((globalTable ? 0x80 : 0) + (d - 1) * 0x11));
    out.push_back(backgroundIndex);
    out.push_back(0);  // pixel aspect ratio
    if (globalTable) writeColorTable(out, image);
    return Result::ok;
}

void writeGifGraphicControl(std::vector<uint8_t> &out, int32_t transparent, uint16_t delay, bool userInput,
                            uint16_t disposal) {
    const uint8_t head[4] = {0x21, 0xF9, 4,
                             uint8_t((disposal & 3) * 4 + (userInput ? 2 : 0) + (transparent >= 0 ? 1 : 0))};
    out.insert(out.end(), head, head + 4);
    putLe16(out, delay);
    out.push_back(transparent >= 0 ? uint8_t(transparent) : 0);
    out.push_back(0);
}

void writeGifExtension(std::vector<uint8_t> &out, uint8_t label, const void *data, uint8_t length, bool terminate) {
    const uint8_t head[3] = {0x21, label, length};
    out.insert(out.end(), head, head + 3);
    if (data) out.insert(out.end(), static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + length);
    if (terminate) out.push_back(0);
}

void writeGifSubBlock(std::vector<uint8_t> &out, const void *data, uint8_t length, bool terminate) {
    if (data && length) {
        out.push_back(length);
        out.insert(out.end(), static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + length);
    }
    if (terminate) out.push_back(0);
}

void writeGifComment(std::vector<uint8_t> &out, const char *text, size_t length) {
    size_t at = 0;
    bool first = true;
    while (at < length) {
        const char *start = text + at;
        size_t rest = length - at;
        size_t from = *start == '\n' ? 1 : 0;
        const void *lf = from < rest ? std::memchr(start + from, '\n', rest - from) : nullptr;
        size_t piece;
        if (lf && size_t(static_cast<const char *>(lf) - start) + 1 <= 254)
            piece = size_t(static_cast<const char *>(lf) - start) + 1;
        else
            piece = std::min<size_t>(rest, 252);
        const bool last = at + piece >= length;
        if (first)
            writeGifExtension(out, 0xFE, start, uint8_t(piece), last);
        else
            writeGifSubBlock(out, start, uint8_t(piece), last);
        first = false;
        at += piece;
    }
}

void writeGifLooping(std::vector<uint8_t> &out, uint16_t loopCount) {
    writeGifExtension(out, 0xFF, "NETSCAPE2.0", 11, false);
    const uint8_t loop[3] = {1, uint8_t(loopCount), uint8_t(loopCount >> 8)};  // the sub-block's id, the count
    writeGifSubBlock(out, loop, 3, true);
}

Result writeGifImage(std::vector<uint8_t> &out, GifCoder &coder, const GifImageView &image, int32_t left, int32_t top,
                     bool interlaced, const Progress *progress, bool localTable) {
    const unsigned d = image.depth;
    if (!gifDepth(d)) return Result::unsupported;
    const uint32_t W = image.width, H = image.height;
    out.push_back(0x2C);
    putLe16(out, uint32_t(left));
    putLe16(out, uint32_t(top));
    putLe16(out, W);
    putLe16(out, H);
    out.push_back(uint8_t((interlaced ? 0x40 : 0) + (localTable ? 0x80 : 0) + (d - 1)));
    if (localTable) writeColorTable(out, image);

    // Rows below 8 bits are unpacked one at a time into a row of scratch.
    std::vector<uint8_t> scratch(d != 8 ? size_t(W) + 1 : 0);
    const Rows rows(image, interlaced, scratch.data());
    const uint8_t s = d == 1 ? 2 : uint8_t(d);
    out.push_back(s);
    return lzwEncode(out, coder.tables(), rows, W, H, s, progress) ? Result::ok : Result::cancelled;
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

}  // namespace vc
