// The PCX run-length coder: a count byte (both top bits set) repeats the
// byte after it (count AND 63) times; every other byte stands for itself.
#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Bit k set when byte k of the 64 at p is 192 or more: bit 7 of each byte
// ANDed with bit 6 (moved up a place within its byte), gathered.
inline uint64_t highBytesPlain(const uint8_t *p) {
    uint64_t m = 0;
    for (int k = 0; k < 8; ++k) {
        uint64_t w;
        std::memcpy(&w, p + 8 * k, 8);
        m |= ((countBytes(w) * 0x0002040810204081ull) >> 56) << (8 * k);
    }
    return m;
}

#if defined(__SSE2__)
inline uint64_t highBytes(const uint8_t *p) {
    uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
        m |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_and_si128(x, _mm_slli_epi16(x, 1))))) << (16 * k);
    }
    return m;
}
#else
inline uint64_t highBytes(const uint8_t *p) { return highBytesPlain(p); }
#endif

// Which high bytes of a block that starts on a token are counts: a stretch
// of high bytes alternates count, value, count ... from its first byte.
// Adding a stretch's first bit to the mask clears the stretch, so the
// stretches that start on even places are the bits that addition clears.
inline uint64_t countPlaces(uint64_t high) {
    constexpr uint64_t even = 0x5555555555555555ull;
    const uint64_t starts = high & ~(high << 1);
    const uint64_t evenRuns = high & ~(high + (starts & even));
    return (evenRuns & even) | ((high ^ evenRuns) & ~even);
}

inline void copy16(uint8_t *dst, const uint8_t *src) { std::memcpy(dst, src, 16); }

// The block loop stores at most this far past the bytes it has produced.
constexpr size_t kOverreach = 64;
// A block of 64 input bytes (and one value byte after it) yields at most 32
// runs of 63.
constexpr size_t kBlockOutput = 32 * 63;
}  // namespace

size_t decodeRle(const uint8_t *in, size_t inSize, uint8_t *out, size_t outSize) {
    RleState state;
    return decodeRle(in, inSize, state, out, outSize);
}

size_t decodeRle(const uint8_t *in, size_t inSize, RleState &state, uint8_t *out, size_t outSize) {
    size_t i = state.consumed, o = 0;
    if (state.pending) {
        const size_t n = std::min(state.pending, outSize);
        std::memset(out, state.value, n);
        state.pending -= n;
        o = n;
    }
    // Blocks of 64 input bytes (whose 16-byte loads reach 15 further), each
    // starting on a token, while there is room for all a block can yield:
    // its count bytes are found at once, and the literals between them and
    // the runs go out in 16-byte stores with no branch per byte. Stores may
    // reach past the bytes produced; what lies there is overwritten later or
    // cleared at the end.
    if constexpr (std::endian::native == std::endian::little && sizeof(void *) < 8) {
        // Without 64-bit registers the block masks cost more than they
        // save: bytes move a word at a time up to the next count byte.
        while (i + 9 <= inSize && o + kOverreach + 8 <= outSize) {
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
            } while (i + 2 <= inSize && in[i] >= 0xC0 && o + kOverreach + 8 <= outSize);
        }
    } else if constexpr (std::endian::native == std::endian::little) {
        while (i + 80 <= inSize && o + kBlockOutput + kOverreach <= outSize) {
            const uint8_t *b = in + i;
            uint64_t counts = countPlaces(highBytes(b));
            size_t at = 0;  // the next literal in the block
            while (counts) {
                const size_t p = unsigned(std::countr_zero(counts));
                counts &= counts - 1;
                // One store covers nearly every literal stretch and run of a
                // photograph; longer ones take a loop.
                copy16(out + o, b + at);
                if (p - at > 16) [[unlikely]]
                    for (size_t k = 16; k < p - at; k += 16) copy16(out + o + k, b + at + k);
                o += p - at;
                const size_t count = b[p] & 0x3F;
                const uint64_t v = b[p + 1] * 0x0101010101010101ull;
                std::memcpy(out + o, &v, 8);
                std::memcpy(out + o + 8, &v, 8);
                if (count > 16) [[unlikely]]
                    for (size_t k = 16; k < count; k += 8) std::memcpy(out + o + k, &v, 8);
                o += count;
                at = p + 2;
            }
            for (size_t k = at; k < 64; k += 16) copy16(out + o + (k - at), b + k);
            if (at < 64) o += 64 - at;
            i += std::max<size_t>(at, 64);
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
            if (n > outSize - o) {
                state.pending = n - (outSize - o);  // the rest of the run opens the next output
                state.value = in[i + 1];
                n = outSize - o;
            }
            std::memset(out + o, in[i + 1], n);
            o += n;
            i += 2;
        } else {
            out[o++] = b;
            ++i;
        }
    }
    // Clear what the block stores left beyond the end of the output.
    const size_t spill = std::min(outSize, reached + kOverreach);
    if (spill > o) std::memset(out + o, 0, spill - o);
    state.consumed = i;
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
