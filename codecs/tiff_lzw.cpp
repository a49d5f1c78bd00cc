#include "codecs/tiff_lzw.h"

#include <cstring>

#include "common/lzw.h"

namespace vc::tifflzw {

size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity) {
    // A damaged strip is no failure: whatever the status, what was decoded
    // stays.
    const lzw::DecodeResult r = lzw::decode(in, size, out, capacity, {8, lzw::BitOrder::MsbFirst, 1, true});
    return r.produced < capacity ? size_t(r.produced) : capacity;
}

// ---- Encoder -------------------------------------------------------------------
//
// Per input byte the encoder either extends the current string (a hit) or
// writes the string's code and adds the string plus the byte (a miss). Two
// costs dominate: the chain from one byte's table lookup to the next byte's
// address, and the choice between hit and miss, which no branch predictor
// gets right about once per string (a flat-coloured picture's strings are
// four or five bytes long, a photograph's one or two). So the walk makes no
// branch on that choice: every byte runs the same instructions, and the
// choice becomes two conditional moves and counters that advance by 0 or 1.
//
// - The string table is a hash of the strings' (prefix code, byte) keys with
//   a 16-bit code in each place (0 for a free place). The first place of a
//   key is byte * 256 + code, so the load that finds the next code is
//   addressed from the row of the byte (known early, from the input) and the
//   code itself: nothing but the load lies between one code and the next.
//   Extensions of codes made one after another lie side by side, so flat
//   pictures keep revisiting a few cache lines. 69632 places for at most
//   4094 strings keep taken places rare.
// - The key of every code is kept in its own array and checked off the
//   chain. A free place reads as code 0, whose key is set to the key looked
//   up, so only a place taken by another string fails the check; that rare
//   case leaves the walk for a probe in steps of a hash of the key.
// - Every byte writes its place back (the code found, or the new code on a
//   miss), the key and place of the next free code, and the current code to
//   the code list; the counters decide which of these count.
// - The walk runs in stretches of bytes that can neither fill the table nor
//   the code list, so the per-byte loop checks neither.
// - Codes go to a list and are packed afterwards: their widths follow from
//   their order alone (after a Clear, 254 codes of 9 bits, 512 of 10, 1024
//   of 11, then 12 bits up to the next Clear), so packing runs in stretches
//   of one width.
// - Without the branch, one byte's lookup waits for the previous one's load,
//   and the processor has little else to do. A save therefore codes strips
//   in pairs, interleaving the two walks byte by byte; each has its own
//   table, and the bytes are those of coding each strip alone.
// - Places are zero between strips: the block is allocated zeroed, and at
//   each Clear and at the end of a strip the encoder frees only the places
//   it took, whose numbers it keeps per code.

namespace {

constexpr uint32_t kPlaces = 256 * 256 + 4096;  // byte * 256 + code, for every byte and code
constexpr uint32_t kFull = 4095;                // next free code once 4094 strings are in
constexpr size_t kCodeList = 8192;              // codes held before they are packed

// Codes packed most significant bit first; whole 32-bit words go out as
// they fill.
struct Packer {
    uint8_t *out = nullptr;
    size_t o = 0;
    uint64_t acc = 0;
    unsigned bits = 0;
    uint32_t next = kFirstFree;  // the next free code when the next code was written

    void put(uint32_t code, unsigned width) {
        acc = (acc << width) | code;
        bits += width;
        if (bits >= 32) {
            bits -= 32;
            const uint32_t v = uint32_t(acc >> bits);
            const uint8_t word[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            std::memcpy(out + o, word, 4);
            o += 4;
        }
    }
    unsigned width() const { return next < 512 ? 9 : next < 1024 ? 10 : next < 2048 ? 11 : 12; }
    template <unsigned W>
    void stretch(const uint16_t *list, size_t m) {
        for (size_t j = 0; j < m; ++j) put(list[j], W);
    }
    // Codes from the walk, in order: each but a Clear added one string.
    void codes(const uint16_t *list, size_t m) {
        while (m != 0) {
            if (next == kFull) {  // the Clear that follows a full table
                put(list[0], 12);
                ++list, --m;
                next = kFirstFree;
                continue;
            }
            // The codes up to the next width change, or up to the Clear.
            const unsigned w = width();
            const uint32_t limit = w == 12 ? kFull : 1u << w;
            const size_t k = limit - next < m ? limit - next : m;
            switch (w) {
            case 9: stretch<9>(list, k); break;
            case 10: stretch<10>(list, k); break;
            case 11: stretch<11>(list, k); break;
            default: stretch<12>(list, k); break;
            }
            list += k, m -= k;
            next += uint32_t(k);
        }
    }
    void finish() {
        while (bits >= 8) {
            bits -= 8;
            out[o++] = uint8_t(acc >> bits);
        }
        if (bits != 0) out[o++] = uint8_t(acc << (8 - bits));  // the last byte, completed with zero bits
        bits = 0;
    }
};

}  // namespace

struct EncodeState {
    uint32_t keyOf[4096];  // (prefix code << 8) | byte, per code; keyOf[0] is scratch
    uint32_t placeOf[4096];
    uint16_t codes[kCodeList];
    uint16_t places[kPlaces];
    Packer packer;
};

namespace {

void freePlaces(EncodeState &s, uint32_t next) {
    for (uint32_t code = kFirstFree; code < next; ++code) s.places[s.placeOf[code]] = 0;
}

// The place of a key whose first place is taken by another string, in the
// low half, and its code (0 when it is not in the table, the place then
// being the free one where it belongs) in the high half. The steps are odd
// and not multiples of 17, so they visit all 69632 places.
[[gnu::noinline]] uint64_t probe(const EncodeState &s, uint32_t h, uint32_t key) {
    uint32_t step = ((key * 0x9E3779B1u) >> 16) | 1;
    if (step % 17 == 0) step += 2;
    uint32_t c;
    do {
        h = h >= step ? h - step : h + kPlaces - step;
        c = s.places[h];
    } while (c != 0 && s.keyOf[c] != key);
    return uint64_t(c) << 32 | h;
}

// Keeps the compiler from folding a row pointer into the index arithmetic,
// so the load stays addressed as row + code.
template <typename T>
inline void keepInRegister(T &v) {
#if defined(__GNUC__)
    asm("" : "+r"(v));
#else
    (void)v;
#endif
}

// The three outcomes of a lookup without a branch: the next current code
// (c, or the byte on a miss), what the place holds afterwards (c, or the new
// code on a miss), and 1 on a miss.
inline void decide(uintptr_t c, uintptr_t byte, uintptr_t next, uintptr_t &current, uintptr_t &place,
                   uintptr_t &miss) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    current = c;
    place = c;
    miss = 0;
    asm("test %[c], %[c]\n\t"
        "cmovz %[byte], %[cur]\n\t"
        "cmovz %[next], %[place]\n\t"
        "setz %b[miss]"
        : [cur] "+&r"(current), [place] "+&r"(place), [miss] "+&q"(miss)
        : [c] "r"(c), [byte] "r"(byte), [next] "r"(next)
        : "cc");
#else
    miss = c == 0;
    current = miss ? byte : c;
    place = miss ? next : c;
#endif
}

// One strip's walk through its input.
struct Walk {
    EncodeState *s;
    const uint8_t *p, *end;
    uintptr_t current, next = kFirstFree;
    size_t n = 0;  // codes in the list

    Walk(EncodeState &state, const uint8_t *in, size_t size, uint8_t *out)
        : s(&state), p(in + 1), end(in + size), current(in[0]) {
        s->packer = Packer{out};
        s->packer.put(kClear, 9);
    }
    // Bytes that may follow without a full table or a full list: each adds
    // at most one string and one code.
    size_t room() const {
        size_t m = size_t(end - p);
        if (m > kFull - next) m = kFull - next;
        if (m > kCodeList - 1 - n) m = kCodeList - 1 - n;
        return m;
    }
    [[gnu::always_inline]] inline void step() {
        uint16_t *const places = s->places;
        uint32_t *const keyOf = s->keyOf;
        const uintptr_t k = *p++;
        const uintptr_t row = k << 8;
        const uint16_t *first = places + row;
        keepInRegister(first);
        uintptr_t c = first[current];
        const uint32_t key = uint32_t(current << 8 | k);
        uintptr_t h = row + current;
        keyOf[0] = key;  // a free place passes the check
        if (keyOf[c] != key) [[unlikely]] {
            const uint64_t r = probe(*s, uint32_t(h), key);
            c = uintptr_t(r >> 32);
            h = uint32_t(r);
        }
        uintptr_t following, place, miss;
        decide(c, k, next, following, place, miss);
        s->codes[n] = uint16_t(current);
        n += miss;
        places[h] = uint16_t(place);
        keyOf[next] = key;
        s->placeOf[next] = uint32_t(h);
        next += miss;
        current = following;
    }
    // After a stretch: Clear a full table, pack a full list.
    void settle() {
        if (next == kFull) {
            // Table full: Clear at the full width, then start over.
            s->codes[n++] = kClear;
            freePlaces(*s, kFull);
            next = kFirstFree;
        }
        if (n >= kCodeList - 2) {
            s->packer.codes(s->codes, n);
            n = 0;
        }
    }
    void run() {
        while (p != end) {
            Walk w = *this;  // a copy that stays in registers
            for (size_t m = room(); m != 0; --m) w.step();
            *this = w;
            settle();
        }
    }
    size_t finish() {
        freePlaces(*s, uint32_t(next));
        Packer &w = s->packer;
        w.codes(s->codes, n);
        const unsigned width = w.width();
        w.put(uint32_t(current), width);
        w.put(kEnd, width);
        w.finish();
        return w.o;
    }
};

size_t emptyStrip(uint8_t *out) {
    Packer w{out};
    w.put(kClear, 9);
    w.put(kEnd, 9);
    w.finish();
    return w.o;
}

}  // namespace

bool encodeTableAlloc(EncodeTable &t) {
    // Two tables, one per strip of a pair; zeroed, so every place is free.
    t.state = t.block.alloc(2 * sizeof(EncodeState)) ? t.block.as<EncodeState>() : nullptr;
    return t.state != nullptr;
}

void encodeTableFree(EncodeTable &t) {
    t.block.reset();
    t.state = nullptr;
}

size_t encodeStrip(const uint8_t *in, size_t size, uint8_t *out, EncodeTable &t) {
    if (size == 0) return emptyStrip(out);
    Walk w(t.state[0], in, size, out);
    w.run();
    return w.finish();
}

void encodeStripPair(const uint8_t *in0, size_t size0, uint8_t *out0, size_t &length0, const uint8_t *in1,
                     size_t size1, uint8_t *out1, size_t &length1, EncodeTable &t) {
    if (size0 == 0 || size1 == 0) {
        length0 = encodeStrip(in0, size0, out0, t);
        length1 = encodeStrip(in1, size1, out1, t);
        return;
    }
    Walk a(t.state[0], in0, size0, out0), b(t.state[1], in1, size1, out1);
    while (a.p != a.end && b.p != b.end) {
        const size_t ma = a.room(), mb = b.room();
        Walk x = a, y = b;  // copies that stay in registers
        for (size_t m = ma < mb ? ma : mb; m != 0; --m) {
            x.step();
            y.step();
        }
        a = x, b = y;
        a.settle();
        b.settle();
    }
    a.run();
    b.run();
    length0 = a.finish();
    length1 = b.finish();
}

}  // namespace vc::tifflzw
