// The LZW decoder shared by the GIF reader and the TIFF reader.
//
// Contract of lzw::decode:
// - Input is the code stream, whole (decode) or in pieces of any size
//   (Decoder::feed, for a GIF image's data sub-blocks as they are read);
//   the output is the same either way. Codes are read least-significant bit
//   first (GIF) or most-significant bit first (TIFF).
// - Minimum code size s (0..11): root codes 0 .. 2^s - 1, clear code 2^s,
//   end code 2^s + 1, first free code 2^s + 2, codes start s + 1 bits wide.
//   Larger sizes would index past the 4096-entry table and are refused
//   (status Result::damaged, nothing decoded).
// - After a new table entry the next free code n is checked: when
//   (n + earlyChange) AND mask is 0 and n + earlyChange < 4096, the code
//   width grows by one and mask += n + earlyChange. GIF uses earlyChange 0,
//   TIFF 1. Codes never grow past 12 bits; once the table holds 4096 entries
//   nothing is added until a clear code. (For s of 0 and 1 that rule
//   makes masks that are not all ones; only the bits inside the current
//   code width are ever taken.)
// - A code above the next free code fails the stream (status
//   Result::damaged). After a failure the remaining codes are read (an end
//   code still ends the stream) but not decoded: the failure sticks, clear
//   codes included.
// - The first code after a clear (or at the start) is output as one byte
//   and becomes the previous code, without a new entry. A root code gives
//   its own byte. The only other code allowed there, the next free code
//   (2^s + 2), names no string yet; it gives the last byte of the string
//   that code stood for before the clear, or 0 when it has stood for none
//   in this stream, and from then on counts as that one byte: the next
//   entry is that byte followed by the first byte of the next string, so no
//   entry ever refers to itself.
// - The end code stops decoding at once; the rest of the input is not
//   looked at (sawEnd is set), and feed asks for no more.
// - Output goes to out[0 .. capacity); what would land past capacity is
//   dropped, but still counted in produced, so a caller can compare the
//   pixel count it expected. With stopWhenFull, decoding stops instead at
//   the first string that does not fit whole, once its head has filled the
//   output to the end (produced still counts the whole string, so it may
//   pass capacity).
// - Strings are copied as whole 16-byte words, which may write up to 15
//   bytes past the last string; before returning, the bytes from the end of
//   the output up to 16 past it (inside the buffer) are set to zero. The
//   rest of the buffer is left as it was.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/result.h"

namespace vc::lzw {

static_assert(std::endian::native == std::endian::little, "the bit readers load little-endian words");

enum class BitOrder : uint8_t { LsbFirst, MsbFirst };

constexpr unsigned kMaxCodes = 4096;
constexpr unsigned kMaxMinCodeSize = 11;

struct DecodeParams {
    unsigned minCodeSize = 8;
    BitOrder order = BitOrder::LsbFirst;
    unsigned earlyChange = 0;
    bool stopWhenFull = false;  // for callers that have no use for the dropped count
};

struct DecodeResult {
    Result status = Result::ok;  // damaged once a code could not be decoded
    uint64_t produced = 0;  // output position reached, dropped output included
    bool sawEnd = false;    // stopped at an end code
};

namespace detail {

// The single-byte strings, laid out so that a root code is copied like any
// other code (16 bytes at a time; the tail is only over-read).
struct Roots {
    uint8_t bytes[256 + 16];
    constexpr Roots() : bytes() {
        for (int i = 0; i < 256; ++i) bytes[i] = uint8_t(i);
    }
};
inline constexpr Roots kRoots;

// A table entry is where its string already stands, in the output or among
// the root bytes, and its length. A new code is the previous string plus the
// first byte of the current one, and that byte stands right behind the
// previous string in the output, so no entry needs bytes of its own. Clear
// and end send the code down the slow path: for GIF they have length 0,
// for TIFF length kStop, which also fails the room check of a stretch
// (outputs are smaller than kStop there).
struct Entry {
    const uint8_t *src;
    size_t len;
};

// With run tracking, a length may carry kRun: every byte of the string but
// the last is its first byte. Strings copied whole are marked from 16 bytes
// on (shorter ones copy as fast as they fill); the entries a chain of runs
// makes (decodeChain) from 3 bytes on. Such a string is written as a
// fill, without loading the bytes of strings written a few codes earlier
// (those loads wait for the stores in flight). The bit also keeps these
// entries out of the copy path, whose room check it fails.
constexpr size_t kRun = size_t(1) << (sizeof(size_t) * 8 - 1);
constexpr size_t kRunFrom = 16;
constexpr size_t kStop = kRun >> 1;

// Whether an entry made ahead (2 bytes or more) is a run but perhaps its
// last byte, of the byte `first` (the first byte of its string), as far as
// 16 bytes tell. Entries that short carry no kRun (a copy is as fast as a
// fill), so a chain of runs that starts short is told by its bytes.
inline bool shortRun(const Entry &e, uint8_t first) {
    const size_t len = e.len;
    if (len > 16) return false;
    // Two bytes: the first is `first`, the last may be any (and nothing is
    // loaded from the output the code before has just written).
    if (len == 2) return true;
    uint64_t a, b;
    std::memcpy(&a, e.src, 8);
    std::memcpy(&b, e.src + 8, 8);
    const uint64_t all = first * 0x0101010101010101u;
    // The bytes to compare: len - 1 of them, 8 or fewer in the first word
    // and 7 or fewer in the second.
    const unsigned inA = len - 1 < 8 ? unsigned(len - 1) : 8, inB = unsigned(len - 1) - inA;
    const uint64_t maskA = inA == 8 ? ~uint64_t(0) : (uint64_t(1) << 8 * inA) - 1;
    const uint64_t maskB = (uint64_t(1) << 8 * inB) - 1;
    return ((a ^ all) & maskA) == 0 && ((b ^ all) & maskB) == 0;
}

// Whether the first 15 bytes of the 16 in words a, b are all the first one
// (the first string long enough to be filled is 15 bytes).
inline bool sameFifteen(uint64_t a, uint64_t b) {
    const uint64_t all = (a & 0xFF) * 0x0101010101010101u;
    return a == all && ((b ^ all) << 8) == 0;
}

inline void copy16(uint8_t *dst, const uint8_t *src) {
    // Both words are loaded before either is stored: src may end where dst
    // begins.
    uint64_t a, b;
    std::memcpy(&a, src, 8);
    std::memcpy(&b, src + 8, 8);
    std::memcpy(dst, &a, 8);
    std::memcpy(dst + 8, &b, 8);
}

template <BitOrder Order>
struct BitReader {
    const uint8_t *p;
    const uint8_t *end;
    uint64_t acc = 0;
    unsigned bits = 0;

    // Ensures at least `need` bits (need <= 12) unless the input ran out;
    // false then.
    inline bool fill(unsigned need) {
        if (bits >= need) return true;
        if (end - p >= 8) {
            uint64_t v;
            std::memcpy(&v, p, 8);
            if constexpr (Order == BitOrder::LsbFirst)
                acc |= v << bits;
            else
                acc |= __builtin_bswap64(v) >> bits;
            p += (63 - bits) >> 3;
            bits |= 56;
            return true;
        }
        while (bits < need && p < end) {
            if constexpr (Order == BitOrder::LsbFirst)
                acc |= uint64_t(*p) << bits;
            else
                acc |= uint64_t(*p) << (56 - bits);
            ++p;
            bits += 8;
        }
        return bits >= need;
    }
    inline uint32_t take(unsigned width, uint32_t mask) {
        uint32_t code;
        if constexpr (Order == BitOrder::LsbFirst) {
            code = uint32_t(acc) & mask;
            acc >>= width;
        } else {
            code = uint32_t(acc >> (64 - width)) & mask;
            acc <<= width;
        }
        bits -= width;
        return code;
    }
};

// Where a decode stands between pieces of its input.
struct Progress {
    uint64_t acc = 0;   // bits read but not yet taken
    unsigned bits = 0;  // how many
    unsigned width = 0;
    uint32_t mask = 0, codeMask = 0, next = 0;
    // What the first free code gives as the first string after a clear: the
    // last byte of what it last stood for, taken at the clear that ended it.
    uint8_t firstFreeByte = 0;
    uint32_t limit = 0;  // codes below it take the fast path; 0 until a string follows a clear
    size_t o = 0;  // never past capacity: what does not fit is counted in dropped
    uint64_t dropped = 0;
    bool failed = false;
    bool ended = false;  // an end code, or the output full with stopWhenFull
    bool sawEnd = false;
};

inline bool validParams(const DecodeParams &params) {
    return params.minCodeSize <= kMaxMinCodeSize && params.earlyChange <= 1;
}

// The entries of the 256 root bytes, copied in as a block: a GIF decodes a
// stream for every frame, and for animations of small frames writing them
// one by one measured a tenth of the time.
struct RootEntries {
    Entry e[256];
    constexpr RootEntries() : e() {
        for (int i = 0; i < 256; ++i) e[i] = Entry{kRoots.bytes + i, 1};
    }
};
inline constexpr RootEntries kRootEntries;

// The entries every stream of these parameters starts with: the roots, clear
// and end. Decoding writes none of them.
inline void writeRoots(const DecodeParams &params, Entry *table) {
    const uint32_t clear = 1u << params.minCodeSize;
    // Whole blocks of 256 (the table has room for them, and entries above
    // the end code are made before they are read): a copy of a constant
    // size is the library's fast one, a variable one a slow string move.
    for (uint32_t c = 0; c < clear; c += 256) std::memcpy(table + c, kRootEntries.e, sizeof kRootEntries.e);
    table[clear] = table[clear + 1] = Entry{nullptr, params.order == BitOrder::MsbFirst ? kStop : 0};
}

// Starts a decode: the first code width and free code.
inline void start(Progress &st, const DecodeParams &params) {
    st.width = params.minCodeSize + 1;
    st.mask = st.codeMask = (1u << st.width) - 1;
    st.next = (1u << params.minCodeSize) + 2;
}

// What a stretch did with a code.
enum : int { kDone, kLeft, kChain };

// Where a stretch stands: the bit position in the whole input, the next
// free code and the output position.
struct StretchState {
    uint64_t bit;
    uint32_t next;
    size_t o;
};

// The bits from `at` on, the first at the top (most significant bit first)
// or at the bottom; in holds 8 bytes from at / 8 on.
template <BitOrder Order>
inline uint64_t bitsAt(const uint8_t *in, uint64_t at) {
    uint64_t v;
    std::memcpy(&v, in + (at >> 3), 8);
    if constexpr (Order == BitOrder::LsbFirst)
        return v >> (at & 7);
    else
        return __builtin_bswap64(v) << (at & 7);
}

// Where a chain stands: see decodeChain.
struct ChainState {
    uint64_t bit;
    Entry *made;
    uint8_t *dst;
};

// A flat area longer than every run the table knows: each code names the
// entry made just before it, a run one byte longer than the last, so j such
// codes are j entries and j * m + j(j-1)/2 bytes of one value. The entries
// are made load by load while the codes go on so, K at a time (as many as
// one load holds) with m in a register, and the bytes are written once, as
// one fill, when they stop: nothing reads them before. Called by a stretch
// of width W at a code that names the run made just before it (the entry
// at cs.made, whose first byte is first); the codes taken lie inside the
// stretch (below bitEnd). A group of K is compared as one sum only when all
// K lie inside: then n + K - 1 stays below the next change of width and the
// sum has no carries. False leaves that code unread: the run has no room
// before end. Not inlined, to keep its values out of the stretch's
// registers.
template <BitOrder Order, unsigned W>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
bool decodeChain(const uint8_t *in, Entry *table, uint8_t first, uint64_t bitEnd, uint64_t end, ChainState &cs) {
    constexpr unsigned K = 57 / W;
    // The codes n, n + 1, ..., n + K - 1 side by side as they lie in the
    // stream: n * kSpread + kClimb.
    constexpr uint64_t kSpread = [] {
        uint64_t sum = 0;
        for (unsigned j = 0; j < K; ++j) sum += uint64_t(1) << W * j;
        return sum;
    }();
    constexpr uint64_t kClimb = [] {
        uint64_t sum = 0;
        for (unsigned j = 0; j < K; ++j) sum += uint64_t(j) << W * (Order == BitOrder::LsbFirst ? j : K - 1 - j);
        return sum;
    }();
    auto chainIn = [](uint64_t v) {
        if constexpr (Order == BitOrder::LsbFirst)
            return v & ((uint64_t(1) << K * W) - 1);
        else
            return v >> (64 - K * W);
    };
    uint64_t bit = cs.bit;
    Entry *made = cs.made;
    uint8_t *dst = cs.dst;
    const uint64_t n = uint64_t(made - table);
    uint64_t expect = n * kSpread + kClimb;
    uint64_t v = bitsAt<Order>(in, bit);
    // The first group: the codes that go on so, up to K and the end of the
    // stretch (the first one does). They are compared one by one: past the
    // end of the stretch, n + K - 1 may reach the next width, and a carry
    // in `expect` would match a code that names no entry yet.
    const unsigned left = unsigned(std::min<uint64_t>(K, (bitEnd - bit) / W));
    unsigned j = 1;
    while (j < left) {
        const uint64_t code = Order == BitOrder::LsbFirst ? (v >> j * W) & ((1u << W) - 1) : (v << j * W) >> (64 - W);
        if (code != n + j) break;
        ++j;
    }
    size_t m = made->len & ~kRun;
    uint8_t *const from = dst;
    // Each entry is written as one pair of words: where its string starts
    // and its length. The next entry starts `step` later and is one byte
    // longer.
    typedef uintptr_t Pair __attribute__((vector_size(2 * sizeof(uintptr_t))));
    static_assert(sizeof(Pair) == sizeof(Entry));
    Pair entry = {uintptr_t(dst), uintptr_t((m + 1) | kRun)}, step = {uintptr_t(m), 1};
    // The next j codes: false when they have no room.
    auto group = [&](unsigned j) __attribute__((always_inline)) {
        const uint64_t bytes = j * uint64_t(m) + j * (j - 1) / 2;
        if (uint64_t(uintptr_t(dst)) + bytes > end) return false;
        for (unsigned i = 0; i < j; ++i) {
            std::memcpy(made + i + 1, &entry, sizeof entry);
            entry += step;
            step += Pair{1, 0};
        }
        made += j;
        dst += bytes;
        m += j;
        bit += j * W;
        return true;
    };
    if (j < K)
        group(j);
    else
        while (group(K) && bitEnd - bit >= K * W) {
            v = bitsAt<Order>(in, bit);
            expect += K * kSpread;
            if (chainIn(v) != expect) break;
        }
    std::memset(from, first, size_t(dst - from));
    cs = ChainState{bit, made, dst};
    return dst != from;
}

// A stretch of a stream given whole: up to `count` codes of width W that
// neither change the code width nor fill the table, each read straight from
// the input (which holds 8 bytes from every code's first byte on) and each
// a known string or run with room behind it (fastEnd is capacity - 16,
// and the output position starts at or before it: dst stays there, and the
// entry made ahead, read as a word, starts at or before dst).
// Codes are taken without the bit reader's refills, the growth check or
// the checks of the slow path, which is what the per-code cost is made of
// on pictures that hardly compress. The first code that needs more than
// that (clear, end, damage, a string near the end of the output) is left
// unread for the caller's loop. Chains of runs go to decodeChain. Not
// inlined: in the caller's loop its values would share the registers with
// the slow path's.
template <BitOrder Order, bool Runs, unsigned W>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void decodeStretch(const uint8_t *in, uint8_t *out, size_t fastEnd, Entry *table, StretchState &st, uint32_t count) {
    static_assert(4 * W + 7 <= 57, "four codes lie in the bits one load gives");
    uint64_t bit = st.bit;
    const uint64_t bitEnd = bit + uint64_t(count) * W;
    // The entry made ahead for the next free code; a code past it fails.
    Entry *made = table + st.next;
    uint8_t *dst = out + st.o;
    // Room is checked as an address: where the room for strings ends. The
    // sums are 64-bit, so that a length with kRun or kStop fails the check
    // without wrapping around in a 32-bit process too.
    const uint64_t end = uintptr_t(out + fastEnd);
    // The first byte of the entry made ahead, kept here so that a chain
    // (codes that each name the run made just before, as a flat row gives)
    // does not wait for the load of a byte the code before has just
    // stored.
    uint8_t madeFirst = made->src[0];
    // Decodes one code: kDone, kLeft (left unread) or, for a code that
    // names the run made just before it, kChain (nothing done yet: the
    // chain is decoded by decodeChain).
    auto one = [&](uint32_t code) __attribute__((always_inline)) {
        const Entry *e = table + code;
        const uint8_t *src = e->src;
        size_t len = e->len;
        // The entry made ahead: its string ends in the byte its copy writes
        // first, which the copy's first word has loaded before storing it.
        bool itself = false;
        if (__builtin_expect(e >= made, 0)) {
            if (e > made) return kLeft;
            if (Runs && (len & kRun || shortRun(*made, madeFirst))) return kChain;
            itself = true;
        }
        if (__builtin_expect(uint64_t(uintptr_t(dst)) + len > end, 0)) {
            // Clear, end, a string near the end, or a run.
            if (!Runs || !(len & kRun)) return kLeft;
            len &= ~kRun;
            if (uint64_t(uintptr_t(dst)) + len > end) return kLeft;
            // Not the entry made ahead: a code naming that run is a chain.
            const uint8_t first = src[0];
            const uint64_t all = first * 0x0101010101010101u;
            for (uint8_t *d = dst, *stop = dst + len; d < stop; d += 16) {
                std::memcpy(d, &all, 8);
                std::memcpy(d + 8, &all, 8);
            }
            const uint8_t lastByte = src[len - 1];
            dst[len - 1] = lastByte;
            ++made;
            *made = Entry{dst, (len + 1) | (lastByte == first ? kRun : 0)};
            madeFirst = first;
            dst += len;
            return kDone;
        }
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + 8, &b, 8);
        if (__builtin_expect(len > 16, 0))
            for (size_t k = 16; k < len; k += 16) copy16(dst + k, src + k);
        else if (__builtin_expect(itself, 0))
            dst[len - 1] = uint8_t(a);
        ++made;
        *made = Entry{dst, Runs && __builtin_expect(len == kRunFrom - 1, 0) && sameFifteen(a, b) ? kRunFrom | kRun
                                                                                                  : len + 1};
        madeFirst = uint8_t(a);
        dst += len;
        return kDone;
    };
    auto bitsAt = [&](uint64_t at) __attribute__((always_inline)) { return lzw::detail::bitsAt<Order>(in, at); };
    auto codeIn = [](uint64_t v, unsigned k) __attribute__((always_inline)) {
        if constexpr (Order == BitOrder::LsbFirst)
            return uint32_t(v >> (k * W)) & ((1u << W) - 1);
        else
            return uint32_t((v << (k * W)) >> (64 - W));
    };
    auto runChain = [&]() __attribute__((always_inline)) {
        ChainState cs{bit, made, dst};
        const bool went = decodeChain<Order, W>(in, table, madeFirst, bitEnd, end, cs);
        bit = cs.bit;
        made = cs.made;
        dst = cs.dst;
        return went;
    };
    // Four codes to a load.
    while (bitEnd - bit >= 4 * W) {
        const uint64_t v = bitsAt(bit);
        int r;
        if ((r = one(codeIn(v, 0))) != kDone) goto stopped;
        if ((r = one(codeIn(v, 1))) != kDone) { bit += W; goto stopped; }
        if ((r = one(codeIn(v, 2))) != kDone) { bit += 2 * W; goto stopped; }
        if ((r = one(codeIn(v, 3))) != kDone) { bit += 3 * W; goto stopped; }
        bit += 4 * W;
        continue;
    stopped:
        if (r == kLeft || !runChain()) goto done;
    }
    while (bit != bitEnd) {
        const int r = one(codeIn(bitsAt(bit), 0));
        if (r == kDone)
            bit += W;
        else if (r == kLeft || !runChain())
            break;
    }
done:
    st.bit = bit;
    st.next = uint32_t(made - table);
    st.o = size_t(dst - out);
}

// Only TIFF strips, given whole, take stretches: GIF's photographs measured
// slower with them (17 % to 36 %, with the clear and end codes' length the
// stretch needs), and GIF's streamed pieces have no bytes behind a code to
// load from.
template <BitOrder Order, bool Whole>
inline constexpr bool kStretches = Whole && Order == BitOrder::MsbFirst;

// Decodes the codes that lie whole in the bits held and in[0 .. inSize),
// and holds the bits of a code cut at the end. The state lives in locals
// while the loop runs and is written back once: stores through st inside
// the loop cost the TIFF strips a tenth of their speed. Whole: in is the
// whole stream, and the loop needs no check for an earlier failure.
//
// table has kMaxCodes + 1 entries: the last one takes the writes once the
// table is full.
template <BitOrder Order, bool Runs, bool Whole>
void decodeWith(const uint8_t *in, size_t inSize, uint8_t *out, size_t capacity, const DecodeParams &params,
                Entry *table, Progress &st) {
    const unsigned s = params.minCodeSize, early = params.earlyChange;
    const bool stopWhenFull = params.stopWhenFull;
    constexpr bool Stretches = kStretches<Order, Whole>;
    const uint32_t clear = 1u << s, endCode = clear + 1;
    unsigned width = st.width;
    uint32_t mask = st.mask, codeMask = st.codeMask, next = st.next;
    uint8_t firstFreeByte = st.firstFreeByte;
    uint32_t limit = st.limit;
    size_t o = st.o;
    uint64_t dropped = st.dropped;
    bool failed = st.failed, ended = false, sawEnd = false;
    BitReader<Order> br{in, in + inSize, st.acc, st.bits};
    // One more entry: the next free code moves on, and the code width grows
    // where it is due.
    auto grow = [&](uint32_t n) {
        if (n < kMaxCodes) {
            ++n;
            const uint32_t g = n + early;
            if ((g & mask) == 0 && g < kMaxCodes) {
                ++width;
                mask += g;
                codeMask = mask & ((1u << width) - 1);
            }
        }
        return n;
    };

    // A failure in an earlier piece goes straight to the look for an end
    // code; a stream given whole has had none.
    // Stretches need 8 bytes of input from each code's first byte on, room
    // for a word behind the string, and outputs smaller than kStop. Codes
    // that start in the input's last kTail bytes (or in all of a shorter
    // input) read from a copy of them with zeros behind: a stretch goes on
    // to the end of the input, and a short stream, as a flat strip is, is
    // one stretch.
    constexpr size_t kTail = 256;
    const bool stretches = Stretches && inSize >= 8 && capacity >= 16 && capacity < kStop;
    const size_t tailSize = std::min(inSize, kTail);
    const uint64_t tailBits = stretches ? (inSize - tailSize) * 8 : 0, allBits = stretches ? inSize * 8 : 0;
    uint8_t tail[kTail + 8];
    if constexpr (Stretches) {
        if (tailSize) std::memcpy(tail, in + inSize - tailSize, tailSize);
        std::memset(tail + tailSize, 0, 8);
    }
    while ((Whole || !failed) && br.fill(width)) {
        if (Stretches && limit != 0 && width >= 9 && codeMask == (1u << width) - 1) {
            // The codes up to the one that grows the code width (or fills
            // the table) go in a stretch; that one takes the loop below.
            const uint32_t growAt = width == 12 ? kMaxCodes : (1u << width) - early;
            const uint64_t bit = uint64_t(br.p - in) * 8 - br.bits;
            // The stretch starts with room for a word (which the entry made
            // ahead, at or before out + o, is read as).
            if (next + 1 < growAt && bit + width <= allBits && capacity - o >= 16) {
                const bool inTail = bit >= tailBits;
                const uint8_t *const from = inTail ? tail : in;
                const uint64_t base = inTail ? tailBits : 0;
                const uint64_t byInput = inTail ? (allBits - bit) / width : (tailBits - bit + width - 1) / width;
                const uint32_t count = uint32_t(std::min<uint64_t>(growAt - 1 - next, byInput));
                StretchState sst{bit - base, next, o};
                switch (width) {
                case 9: decodeStretch<Order, Runs, 9>(from, out, capacity - 16, table, sst, count); break;
                case 10: decodeStretch<Order, Runs, 10>(from, out, capacity - 16, table, sst, count); break;
                case 11: decodeStretch<Order, Runs, 11>(from, out, capacity - 16, table, sst, count); break;
                default: decodeStretch<Order, Runs, 12>(from, out, capacity - 16, table, sst, count); break;
                }
                sst.bit += base;
                next = sst.next;
                o = sst.o;
                limit = next + 1;
                // The bit reader picks up where the stretch stopped.
                br.p = in + (sst.bit >> 3);
                br.acc = 0;
                br.bits = 0;
                if (!br.fill(width)) break;
                if (sst.bit & 7) br.take(unsigned(sst.bit & 7), 0);
                // A stretch that ran to the input's last kTail bytes goes
                // on from the copy of them.
                if (!inTail && sst.bit >= tailBits) continue;
                if (!br.fill(width)) break;
            }
        }
        const uint32_t code = br.take(width, codeMask);
        const size_t pos = o;
        Entry e;
        if (code < limit && (Order == BitOrder::MsbFirst ? table[code].len < kStop : table[code].len != 0) &&
            capacity - o >= table[code].len + 16) {
            // A known string with room behind it for the word copies, the
            // next free code included (its entry is made ahead, below).
            // Every source byte that lies in the output before out + o
            // stays as it is, and words end at most 15 bytes past the
            // string.
            e = table[code];
            uint8_t *dst = out + o;
            uint64_t a, b;
            std::memcpy(&a, e.src, 8);
            std::memcpy(&b, e.src + 8, 8);
            std::memcpy(dst, &a, 8);
            std::memcpy(dst + 8, &b, 8);
            for (size_t k = 16; k < e.len; k += 16) copy16(dst + k, e.src + k);
            // The next free code's string ends in the byte its copy wrote
            // first (its source runs up to out + o), which the first word
            // had loaded before it was stored; any other string's last byte
            // is written again unchanged. (A branch on the next free code
            // instead measured up to a quarter slower on GIF photographs,
            // where such codes are frequent and unforeseeable.)
            dst[e.len - 1] = e.src[e.len - 1];
            o += e.len;
            if (Runs && e.len == kRunFrom - 1 && sameFifteen(a, b)) {
                // The first string long enough to be filled: the entry made
                // ahead is this run plus one byte.
                next = grow(next);
                table[next] = Entry{out + pos, kRunFrom | kRun};
                limit = next + 1;
                continue;
            }
        } else if (Runs && code < limit && (table[code].len & kRun) &&
                   capacity - o >= (table[code].len & ~kRun) + 16) {
            // A run but perhaps its last byte, with room behind it for whole
            // words.
            e = table[code];
            e.len &= ~kRun;
            uint8_t *dst = out + o;
            const uint8_t first = e.src[0];
            const uint64_t all = first * 0x0101010101010101u;
            for (size_t k = 0; k < e.len; k += 16) {
                std::memcpy(dst + k, &all, 8);
                std::memcpy(dst + k + 8, &all, 8);
            }
            // Read after the fill: the next free code's last byte is the
            // one written first.
            const uint8_t last = e.src[e.len - 1];
            dst[e.len - 1] = last;
            o += e.len;
            if (last == first) {
                // A whole run: the entry made ahead is one again.
                next = grow(next);
                table[next] = Entry{out + pos, (e.len + 1) | kRun};
                limit = next + 1;
                continue;
            }
        } else {
            // Every rare case: clear, end, the first string after a clear, a
            // string near the end of the buffer, and damage.
            if (code == clear) {
                // The first free code's entry is only ever rewritten by the
                // entry made ahead after a first string; its string lies
                // inside the output while the output has room.
                if (next > clear + 2 && o < capacity) {
                    const Entry &f = table[clear + 2];
                    firstFreeByte = f.src[(f.len & ~kRun) - 1];
                }
                width = s + 1;
                mask = (1u << width) - 1;
                codeMask = mask;
                next = clear + 2;
                limit = 0;
                continue;
            }
            if (code == endCode) {
                sawEnd = ended = true;
                break;
            }
            if (code > next) {
                failed = true;
                break;
            }
            if (limit == 0) {
                // The first string after a clear is one byte: a root code,
                // or the first free code.
                if (o < capacity) {
                    out[o++] = code < clear ? uint8_t(code) : firstFreeByte;
                } else {
                    ++dropped;
                    if (stopWhenFull) {
                        ended = true;
                        break;
                    }
                }
                table[next] = Entry{out + pos, 2};
                limit = next + 1;
                continue;
            }
            // A string that does not fit whole.
            e = table[code];
            e.len &= ~kRun;
            const size_t room = capacity - o;
            const size_t n = e.len < room ? e.len : room;
            for (size_t i = 0; i < n; ++i) out[o + i] = e.src[i];
            o += n;
            if (n < e.len) {
                // The buffer is full from here on: later strings write
                // nothing, so the entries made from now on are never read.
                dropped += e.len - n;
                if (stopWhenFull) {
                    ended = true;
                    break;
                }
            }
        }
        // table[next] already holds its string: the previous one followed
        // by this one's first byte.
        next = grow(next);
        // The entry the next free code will get, made now so that a code
        // naming it (a string followed by its own first byte) is copied
        // like any other.
        table[next] = Entry{out + pos, e.len + 1};
        limit = next + 1;
    }
    if (failed && !ended) {
        // The failure sticks: the rest is only looked through for an end code.
        while (br.fill(width)) {
            if (br.take(width, codeMask) == endCode) {
                sawEnd = ended = true;
                break;
            }
        }
    }
    st.acc = br.acc;
    st.bits = br.bits;
    st.width = width;
    st.mask = mask;
    st.codeMask = codeMask;
    st.next = next;
    st.firstFreeByte = firstFreeByte;
    st.limit = limit;
    st.o = o;
    st.dropped = dropped;
    st.failed = failed;
    st.ended = ended;
    st.sawEnd = sawEnd;
}

}  // namespace detail

namespace detail {

// Decodes one piece with the loop that fits the parameters.
template <bool Whole>
void feedWith(const DecodeParams &params, const uint8_t *in, size_t size, uint8_t *out, size_t capacity,
              Entry *table, Progress &st) {
    if (params.order == BitOrder::LsbFirst)
        decodeWith<BitOrder::LsbFirst, false, Whole>(in, size, out, capacity, params, table, st);
    // Runs are tracked for TIFF strips, where flat areas make strings of
    // hundreds of one byte. kRun must fail the copy path's room check.
    else if (capacity < kRun)
        decodeWith<BitOrder::MsbFirst, true, Whole>(in, size, out, capacity, params, table, st);
    else
        decodeWith<BitOrder::MsbFirst, false, Whole>(in, size, out, capacity, params, table, st);
}

// The result once the input is all fed; the bytes behind the output are
// cleared as the contract says.
inline DecodeResult finishWith(const Progress &st, uint8_t *out, size_t capacity) {
    const size_t o = st.o, tail = std::min(capacity - o, size_t(16));
    if (tail) std::memset(out + o, 0, tail);
    return DecodeResult{st.failed ? Result::damaged : Result::ok, o + st.dropped, st.sawEnd};
}

}  // namespace detail

// One code stream decoded from pieces of any size; see the contract above.
// Holds its table (about 64 KiB), so it lives on the stack of the call
// that decodes.
class Decoder {
public:
    Decoder(uint8_t *out, size_t capacity, const DecodeParams &params)
        : out_(out), capacity_(capacity), params_(params), valid_(detail::validParams(params)) {
        if (valid_) {
            detail::writeRoots(params, table_);
            detail::start(st_, params);
        }
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Decodes the next piece of the stream. False once the stream has ended
    // (an end code, or a full output with stopWhenFull) or the parameters
    // are refused: later pieces would not be looked at.
    // Whole: this piece is the whole stream (decode's case).
    template <bool Whole = false>
    bool feed(const uint8_t *in, size_t size) {
        if (!valid_ || st_.ended) return false;
        detail::feedWith<Whole>(params_, in, size, out_, capacity_, table_, st_);
        return !st_.ended;
    }

    // The result once the input is all fed (or feed has asked for no
    // more).
    DecodeResult finish() {
        if (!valid_) return DecodeResult{Result::damaged, 0, false};
        return detail::finishWith(st_, out_, capacity_);
    }

    // How much of the output is final: out[0 .. produced()) holds what the
    // codes fed so far stand for, and later pieces write only past it.
    size_t produced() const { return st_.o; }

private:
    uint8_t *out_;
    size_t capacity_;
    DecodeParams params_;
    bool valid_;
    detail::Progress st_;
    detail::Entry table_[kMaxCodes + 1];
};

// Decodes one code stream given whole; see the contract above. Uses about
// 64 KiB of stack for its table.
inline DecodeResult decode(const uint8_t *in, size_t inSize, uint8_t *out, size_t capacity,
                           const DecodeParams &params) {
    Decoder d(out, capacity, params);
    d.feed<true>(in, inSize);
    return d.finish();
}

// A table kept by a caller that decodes many short streams one after
// another, as TIFF strips are: its root entries are written by the first
// decode of a kind (minimum code size and bit order) and then reused, which
// saves a few percent of a strip of 8 KB. About 64 KiB.
class Table {
public:
    Table() = default;
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

private:
    friend DecodeResult decode(const uint8_t *, size_t, uint8_t *, size_t, const DecodeParams &, Table &);
    detail::Entry entries_[kMaxCodes + 1];
    int rootedFor_ = -1;  // minimum code size * 2 + bit order of the roots written, -1 for none
};

// As decode above, with the caller's table.
inline DecodeResult decode(const uint8_t *in, size_t inSize, uint8_t *out, size_t capacity,
                           const DecodeParams &params, Table &table) {
    if (!detail::validParams(params)) return DecodeResult{Result::damaged, 0, false};
    const int kind = int(params.minCodeSize) * 2 + int(params.order);
    if (table.rootedFor_ != kind) {
        detail::writeRoots(params, table.entries_);
        table.rootedFor_ = kind;
    }
    detail::Progress st;
    detail::start(st, params);
    detail::feedWith<true>(params, in, inSize, out, capacity, table.entries_, st);
    return detail::finishWith(st, out, capacity);
}

}  // namespace vc::lzw
