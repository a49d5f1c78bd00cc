// The PCX run-length coder: the expansion in its several ways and the
// line coder.
#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Byte shuffles where the processor has them, chosen when first needed.
#if defined(__x86_64__) && defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define VC_RLE_SHUFFLES 1
#include <cpuid.h>
#include <tmmintrin.h>
#else
#define VC_RLE_SHUFFLES 0
#endif
// ... and 64-byte compression; not on Windows, whose stack the compilers do
// not align for 64-byte registers.
#if VC_RLE_SHUFFLES && !defined(_WIN32)
#define VC_RLE_COMPRESS 1
#include <immintrin.h>
#else
#define VC_RLE_COMPRESS 0
#endif

#include "codecs/pcx_rle.h"

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

// One block of 64 input bytes that starts on a token, `counts` marking its
// count bytes: the literals between them and the runs go out in 16-byte
// stores with no branch per byte.
inline void expandBlock(const uint8_t *b, uint64_t counts, uint8_t *out, size_t &i, size_t &o) {
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

// Blocks of 64 input bytes (whose loads reach 16 further), each starting on
// a token, while there is room for all a block can yield. Stores may reach
// past the bytes produced; what lies there is overwritten later or cleared
// at the end.
inline bool blockFits(size_t i, size_t inSize, size_t o, size_t outSize) {
    return i + 80 <= inSize && o + kBlockOutput + kOverreach <= outSize;
}

// The loops below keep their places in locals: stores through a byte
// pointer would otherwise reload them from memory after every store.
void expandBlocks(const uint8_t *in, size_t inSize, size_t &iAt, uint8_t *out, size_t outSize, size_t &oAt) {
    size_t i = iAt, o = oAt;
    while (blockFits(i, inSize, o, outSize)) expandBlock(in + i, countPlaces(highBytes(in + i)), out, i, o);
    iAt = i, oAt = o;
}

void expandBlocksPlain(const uint8_t *in, size_t inSize, size_t &iAt, uint8_t *out, size_t outSize, size_t &oAt) {
    size_t i = iAt, o = oAt;
    while (blockFits(i, inSize, o, outSize)) expandBlock(in + i, countPlaces(highBytesPlain(in + i)), out, i, o);
    iAt = i, oAt = o;
}

// Without 64-bit registers the block masks cost more than they save: bytes
// move a word at a time up to the next count byte.
void expandWords(const uint8_t *in, size_t inSize, size_t &iAt, uint8_t *out, size_t outSize, size_t &oAt) {
    size_t i = iAt, o = oAt;
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
        // Bright areas hold count after count (a lone byte of 192 or more is
        // a run of one); take them in a row.
        do {
            const size_t count = in[i] & 0x3F;
            const uint64_t v = uint64_t(in[i + 1]) * 0x0101010101010101ull;
            for (size_t k = 0; k < count; k += 8) std::memcpy(out + o + k, &v, 8);
            o += count;
            i += 2;
        } while (i + 2 <= inSize && in[i] >= 0xC0 && o + kOverreach + 8 <= outSize);
    }
    iAt = i, oAt = o;
}

#if VC_RLE_SHUFFLES
// For each 8-bit mask, the places of its set bits in order, and how many.
struct Gather {
    uint8_t from[256][8];
    uint8_t size[256];
};
constexpr Gather makeGather() {
    Gather g{};
    for (unsigned m = 0; m < 256; ++m) {
        uint8_t n = 0;
        for (uint8_t k = 0; k < 8; ++k)
            if (m >> k & 1) g.from[m][n++] = k;
        g.size[m] = n;
    }
    return g;
}
alignas(64) constexpr Gather kGather = makeGather();

// The run of the count byte at `token` in 16-byte stores, which reach up to
// 15 bytes past its end; returns its length.
inline size_t storeRun(uint8_t *out, const uint8_t *token) {
    const size_t count = token[0] & 0x3F;
    const __m128i v = _mm_set1_epi8(char(token[1]));
    for (size_t k = 0; k < count; k += 16) _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), v);
    return count;
}

// In a photograph nearly every count is 1 or 2: a bright byte alone, or two
// equal neighbours. So a block shrinks rather than grows: each count of 1
// drops out, each count above it takes its value, counts of 0 drop out with
// their values, and byte shuffles close the gaps 8 bytes at a time. The few
// longer runs then open gaps in what follows for the rest of their bytes.
__attribute__((target("ssse3,popcnt"))) void expandShuffles(const uint8_t *in, size_t inSize, size_t &iAt,
                                                            uint8_t *out, size_t outSize, size_t &oAt) {
    size_t i = iAt, o = oAt;
    const __m128i bits = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i spread = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1);
    const __m128i upperHalf = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 8, 8);
    const __m128i c0 = _mm_set1_epi8(char(0xC0)), c1 = _mm_set1_epi8(char(0xC1)), c3 = _mm_set1_epi8(char(0xC3));
    while (blockFits(i, inSize, o, outSize)) {
        const uint8_t *b = in + i;
        __m128i x[4];
        uint64_t high = 0, ones = 0, zeros = 0, longs = 0;
        for (int k = 0; k < 4; ++k) {
            x[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 16 * k));
            auto mask = [&](__m128i m) { return uint64_t(uint32_t(_mm_movemask_epi8(m))) << (16 * k); };
            high |= mask(_mm_and_si128(x[k], _mm_slli_epi16(x[k], 1)));
            ones |= mask(_mm_cmpeq_epi8(x[k], c1));
            zeros |= mask(_mm_cmpeq_epi8(x[k], c0));
            longs |= mask(_mm_cmpeq_epi8(_mm_max_epu8(x[k], c3), x[k]));
        }
        const uint64_t counts = countPlaces(high);
        // A count in the last place has its value in the next block: it
        // drops out here and its run follows the block.
        const uint64_t last = counts & (1ull << 63), body = counts & ~last;
        const uint64_t empty = body & zeros, longer = body & longs;
        // Blocks of many runs, as in drawings, go faster a token at a time.
        if (const uint64_t rest = longer & (longer - 1); rest & (rest - 1)) {
            expandBlock(b, counts, out, i, o);
            continue;
        }
        const uint64_t keep = ~((body & ones) | empty | (empty << 1) | last);
        // With longer runs the block closes up on the side and goes out in
        // pieces.
        alignas(16) uint8_t packed[80] = {};
        uint8_t *const start = longer ? packed : out + o;
        uint8_t *d = start;
        for (int k = 0; k < 4; ++k) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 16 * k + 1));
            const __m128i t = _mm_shuffle_epi8(_mm_cvtsi32_si128(int(uint16_t(body >> (16 * k)))), spread);
            const __m128i takes = _mm_cmpeq_epi8(_mm_and_si128(t, bits), bits);
            const __m128i z = _mm_or_si128(_mm_and_si128(takes, next), _mm_andnot_si128(takes, x[k]));
            const unsigned lo = uint8_t(keep >> (16 * k)), hi = uint8_t(keep >> (16 * k + 8));
            const __m128i from = _mm_add_epi8(
                _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(kGather.from[lo])),
                                   _mm_loadl_epi64(reinterpret_cast<const __m128i *>(kGather.from[hi]))),
                upperHalf);
            const __m128i s = _mm_shuffle_epi8(z, from);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(d), s);
            d += kGather.size[lo];
            _mm_storel_epi64(reinterpret_cast<__m128i *>(d), _mm_unpackhi_epi64(s, s));
            d += kGather.size[hi];
        }
        if (!longer) {
            o += size_t(d - start);
        } else {
            const size_t size = size_t(d - start);
            size_t done = 0;  // of packed
            for (uint64_t runs = longer; runs; runs &= runs - 1) {
                const unsigned p = unsigned(std::countr_zero(runs));
                const size_t at = size_t(std::popcount(keep & ((1ull << p) - 1)));  // the run's place in packed
                for (size_t k = done; k < at; k += 16) copy16(out + o + (k - done), packed + k);
                o += at - done;
                o += storeRun(out + o, b + p);
                done = at + 2;
            }
            for (size_t k = done; k < size; k += 16) copy16(out + o + (k - done), packed + k);
            o += size - done;
        }
        i += 64;
        if (last) {
            o += storeRun(out + o, b + 63);
            ++i;
        }
    }
    iAt = i, oAt = o;
}

#if VC_RLE_COMPRESS
// Any block in one compression: counts of 0 drop out with their values, and
// the few counts above 2 open a gap in what follows for the rest of their
// run.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) void expandCompress(const uint8_t *in, size_t inSize,
                                                                                   size_t &iAt, uint8_t *out,
                                                                                   size_t outSize, size_t &oAt) {
    size_t i = iAt, o = oAt;
    const __m512i c0 = _mm512_set1_epi8(char(0xC0)), c1 = _mm512_set1_epi8(char(0xC1)),
                  c3 = _mm512_set1_epi8(char(0xC3));
    while (blockFits(i, inSize, o, outSize)) {
        const uint8_t *b = in + i;
        const __m512i x = _mm512_loadu_si512(b);
        const uint64_t counts = countPlaces(_mm512_cmpge_epu8_mask(x, c0));
        // A count in the last place has its value in the next block: it
        // drops out here and its run follows the block.
        const uint64_t last = counts & (1ull << 63), body = counts & ~last;
        const uint64_t empty = body & _mm512_cmpeq_epi8_mask(x, c0);
        const uint64_t keep = ~((body & _mm512_cmpeq_epi8_mask(x, c1)) | empty | (empty << 1) | last);
        const __m512i packed =
            _mm512_maskz_compress_epi8(keep, _mm512_mask_mov_epi8(x, body, _mm512_loadu_si512(b + 1)));
        _mm512_storeu_si512(out + o, packed);
        size_t grown = 0;
        for (uint64_t longer = body & _mm512_cmpge_epu8_mask(x, c3); longer; longer &= longer - 1) {
            const unsigned p = unsigned(std::countr_zero(longer));
            const unsigned at = unsigned(std::popcount(keep & ((1ull << p) - 1)));  // the run's place in packed
            _mm512_storeu_si512(out + o + grown + at, _mm512_set1_epi8(char(b[p + 1])));
            grown += (b[p] & 0x3Fu) - 2;
            if (at + 2 < 64) _mm512_mask_storeu_epi8(out + o + grown, ~0ull << (at + 2), packed);
        }
        o += size_t(std::popcount(keep)) + grown;
        i += 64;
        if (last) {
            o += storeRun(out + o, b + 63);
            ++i;
        }
    }
    iAt = i, oAt = o;
}

bool hasCompress() {
    __builtin_cpu_init();  // the library may be asked before the processor is looked at
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
}
#endif

bool hasShuffles() {
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSSE3) && (c & bit_POPCNT);
}
#endif

RleWay fastestWay() {
#if VC_RLE_COMPRESS
    if (hasCompress()) return RleWay::compress;
#endif
#if VC_RLE_SHUFFLES
    if (hasShuffles()) return RleWay::shuffles;
#endif
    if constexpr (sizeof(void *) < 8) return RleWay::words;
    return RleWay::blocks;
}
}  // namespace

bool rleWayRuns(RleWay way) {
    switch (way) {
        case RleWay::bytes:
        case RleWay::words:
        case RleWay::blocksPlain:
        case RleWay::blocks:
            return true;
        case RleWay::shuffles:
#if VC_RLE_SHUFFLES
            return hasShuffles();
#else
            return false;
#endif
        case RleWay::compress:
#if VC_RLE_COMPRESS
            return hasCompress();
#else
            return false;
#endif
    }
    return false;
}

size_t decodeRle(const uint8_t *in, size_t inSize, uint8_t *out, size_t outSize) {
    RleState state;
    return decodeRle(in, inSize, state, out, outSize);
}

size_t decodeRle(const uint8_t *in, size_t inSize, RleState &state, uint8_t *out, size_t outSize) {
    static const RleWay way = fastestWay();
    return decodeRle(in, inSize, state, out, outSize, way);
}

size_t decodeRle(const uint8_t *in, size_t inSize, RleState &state, uint8_t *out, size_t outSize, RleWay way) {
    size_t i = state.consumed, o = 0;
    if (state.pending) {
        const size_t n = std::min(state.pending, outSize);
        std::memset(out, state.value, n);
        state.pending -= n;
        o = n;
    }
    if constexpr (std::endian::native == std::endian::little) {
        switch (way) {
            case RleWay::bytes:
                break;
            case RleWay::words:
                expandWords(in, inSize, i, out, outSize, o);
                break;
            case RleWay::blocksPlain:
                expandBlocksPlain(in, inSize, i, out, outSize, o);
                break;
            case RleWay::blocks:
                expandBlocks(in, inSize, i, out, outSize, o);
                break;
            case RleWay::shuffles:
#if VC_RLE_SHUFFLES
                expandShuffles(in, inSize, i, out, outSize, o);
#endif
                break;
            case RleWay::compress:
#if VC_RLE_COMPRESS
                expandCompress(in, inSize, i, out, outSize, o);
#endif
                break;
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
