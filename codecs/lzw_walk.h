// The LZW encoders' string walk, shared by the TIFF strip coder and the GIF
// image coder (which differ in bit order, code widths and when the table
// is cleared, all of which lie outside the walk).
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
//   4096 strings keep taken places rare.
// - The key of every code is kept in its own array and checked off the
//   chain. A free place reads as code 0, whose key is set to the key looked
//   up, so only a place taken by another string fails the check; that rare
//   case leaves the walk for a probe in steps of a hash of the key.
// - Every byte writes its place back (the code found, or the new code on a
//   miss), the key and place of the next free code, and the current code to
//   the code list; the counters decide which of these count.
// - The walk runs in stretches of bytes that can neither fill the table nor
//   the code list, so the per-byte loop checks neither. Codes go to a list
//   and are packed afterwards, in the coder's own bit order and widths.
// - Places are zero between images: the table starts zeroed, and the coder
//   frees only the places it took, whose numbers it keeps per code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vc::lzwwalk {

constexpr uint32_t kPlaces = 256 * 256 + 4096;  // byte * 256 + code, for every byte and code
constexpr size_t kCodeList = 8192;              // codes held before they are packed

struct Table {
    uint32_t keyOf[4096];  // (prefix code << 8) | byte, per code; keyOf[0] is scratch
    uint32_t placeOf[4096];
    uint16_t codes[kCodeList];
    uint16_t places[kPlaces];
};

// Empties the places of codes first .. next - 1.
inline void freePlaces(Table &s, uint32_t first, uint32_t next) {
    for (uint32_t code = first; code < next; ++code) s.places[s.placeOf[code]] = 0;
}

// The place of a key whose first place is taken by another string, in the
// low half, and its code (0 when it is not in the table, the place then
// being the free one where it belongs) in the high half. The steps are odd
// and not multiples of 17, so they visit all 69632 places.
[[gnu::noinline]] inline uint64_t probe(const Table &s, uint32_t h, uint32_t key) {
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

// Where a walk stands: its table, the bytes left, the current string's
// code, the next free code and the codes in the list. Small enough to be
// copied into registers for a stretch.
struct Cursor {
    Table *s;
    const uint8_t *p, *end;
    uintptr_t current, next;
    size_t n = 0;  // codes in the list

    // Bytes that may follow while next stays at most `last` (each byte adds
    // at most one string) and the list keeps one place spare.
    size_t room(uint32_t last) const {
        size_t m = size_t(end - p);
        if (m > last - next) m = last - next;
        if (m > kCodeList - 1 - n) m = kCodeList - 1 - n;
        return m;
    }
    // One byte, hit or miss, without a branch on which. next must be below
    // 4096.
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
    // The code of the current string extended by byte k, 0 when the table
    // lacks it.
    uint32_t find(uint32_t k) const {
        const uint32_t key = uint32_t(current << 8 | k), h = uint32_t(k << 8 | 0) + uint32_t(current);
        const uint32_t c = s->places[h];
        if (c == 0 || s->keyOf[c] == key) return c;
        return uint32_t(probe(*s, h, key) >> 32);
    }
};

}  // namespace vc::lzwwalk
