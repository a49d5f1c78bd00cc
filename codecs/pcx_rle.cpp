// The PCX run-length coder: a count byte (both top bits set) repeats the
// byte after it (count AND 63) times; every other byte stands for itself.
#include <algorithm>
#include <bit>
#include <cstring>

#include "codecs/pcx.h"

namespace vc {

uint32_t PcxPutRun(uint8_t *out, uint8_t value, uint32_t count) {
    if (count == 1 && value < 0xC0) {
        out[0] = value;
        return 1;
    }
    out[0] = uint8_t(0xC0 | count);
    out[1] = value;
    return 2;
}

namespace pcx {

namespace {
// A mask with bit 7 set in every byte of w that is a count byte (>= 192).
inline uint64_t countBytes(uint64_t w) { return w & (w << 1) & 0x8080808080808080ull; }
}  // namespace

size_t decodeRle(const uint8_t *in, size_t inSize, uint8_t *out, size_t outSize) {
    size_t i = 0, o = 0;
    // While there is room for a whole run and a word beyond it, bytes move
    // eight at a time: literal stretches (which dominate photographs) up to
    // the next count byte, and runs as whole words of their value. Words may
    // reach past the bytes produced; what lies there is overwritten later or
    // cleared at the end.
    if constexpr (std::endian::native == std::endian::little) {
        while (i + 9 <= inSize && o + 72 <= outSize) {
            uint64_t w;
            std::memcpy(&w, in + i, 8);
            std::memcpy(out + o, &w, 8);
            const uint64_t c = countBytes(w);
            if (!c) {
                i += 8;
                o += 8;
                continue;
            }
            const size_t n = size_t(std::countr_zero(c)) / 8;  // at most 7: the value byte is in the input
            i += n;
            o += n;
            // Bright areas hold count after count (a lone byte of 192 or
            // more is a run of one); take them in a row.
            do {
                const size_t count = in[i] & 0x3F;
                const uint64_t v = uint64_t(in[i + 1]) * 0x0101010101010101ull;
                for (size_t k = 0; k < count; k += 8) std::memcpy(out + o + k, &v, 8);
                o += count;
                i += 2;
            } while (i + 2 <= inSize && in[i] >= 0xC0 && o + 72 <= outSize);
        }
    }
    const size_t reached = o;
    while (i < inSize && o < outSize) {
        uint8_t b = in[i];
        if (b >= 0xC0) {
            // Both bytes belong to the stream; a count at the very end has
            // no value byte and produces nothing.
            if (i + 1 >= inSize) break;
            size_t n = b & 0x3F;
            if (n > outSize - o) n = outSize - o;
            std::memset(out + o, in[i + 1], n);
            o += n;
            i += 2;
        } else {
            out[o++] = b;
            ++i;
        }
    }
    // Clear what the word-wide writes left beyond the end of the output.
    const size_t spill = std::min(outSize, reached + 72);
    if (spill > o) std::memset(out + o, 0, spill - o);
    return o;
}

size_t encodeLine(const uint8_t *line, size_t n, uint8_t *out) {
    uint8_t *o = out;
    size_t i = 0;
    while (i < n) {
        // Eight literals at once while no byte needs a count and no byte
        // equals its right neighbour (the ninth byte included).
        if constexpr (std::endian::native == std::endian::little) {
            while (i + 9 <= n) {
                uint64_t w, next;
                std::memcpy(&w, line + i, 8);
                std::memcpy(&next, line + i + 1, 8);
                const uint64_t same = w ^ next;
                if (countBytes(w) || ((same - 0x0101010101010101ull) & ~same & 0x8080808080808080ull)) break;
                std::memcpy(o, &w, 8);
                o += 8;
                i += 8;
            }
            if (i >= n) break;
        }
        const uint8_t v = line[i];
        size_t j = i + 1;
        while (j < n && line[j] == v) ++j;
        size_t run = j - i;
        // A long run goes out as runs of 63 and one shorter remainder,
        // exactly as counting byte by byte up to 63 would emit it.
        for (; run >= 63; run -= 63) o += PcxPutRun(o, v, 63);
        if (run) o += PcxPutRun(o, v, uint32_t(run));
        i = j;
    }
    return size_t(o - out);
}

}  // namespace pcx
}  // namespace vc
