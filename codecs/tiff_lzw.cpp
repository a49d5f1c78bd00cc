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

namespace {

// The string table is a hash of the strings' (prefix code, byte) keys with
// 65536 places of one 16-bit code each (0 for a free place), beside an array
// that holds the key of every code. It holds the same strings as a table of
// 12 extension slots per code with a scan behind them.
//
// Per input byte the encoder either extends the current string (a hit) or
// writes its code and adds a string (a miss). What costs time is the chain
// from one byte's lookup to the next byte's address, and the branch between
// hit and miss, which no predictor gets right once per string. So:
// - the first place is (byte << 8) XOR code: one XOR on the chain, and the
//   extensions of codes made one after another lie side by side, so flat
//   pictures keep revisiting a few cache lines;
// - 65536 places for at most 3836 strings keep taken places rare (a taken
//   place is one more mispredicted branch); a taken place sends the probe on
//   in odd steps of a multiplicative hash of the key, outside the hot loop;
// - the key check reads the code's key from its own array, off the chain:
//   the next byte's address depends only on the code loaded.
// The places are zero between strips: the block is allocated zeroed, and at
// each Clear and at the end of a strip the encoder sets back to zero only
// the places it took, whose numbers it keeps beside the keys. A strip of
// 8 KB takes some two thousand places, so this costs far less than wiping
// all 128 KB for every strip.
constexpr uint32_t kPlaces = 65536;
constexpr uint32_t kLastCode = 4093;  // 4094 entries at most

// The block: the key of each code, the place each code took, the places.
inline uint16_t *takenOf(const EncodeTable &t) { return reinterpret_cast<uint16_t *>(t.keys + 4096); }
inline uint16_t *placesOf(const EncodeTable &t) { return takenOf(t) + 4096; }

void freePlaces(uint16_t *places, const uint16_t *taken, uint32_t next) {
    for (uint32_t code = kFirstFree; code < next; ++code) places[taken[code]] = 0;
}

// The place of a key whose first place is taken by another string, or the
// free place where it belongs; *code is its code or 0.
[[gnu::noinline]] uint32_t probe(const uint16_t *places, const uint32_t *keyOf, uint32_t h, uint32_t key,
                                 uint32_t *code) {
    const uint32_t step = ((key * 0x9E3779B1u) >> 16) | 1;  // odd: the probes visit every place
    uint32_t c;
    do {
        h = (h - step) & (kPlaces - 1);
        c = places[h];
    } while (c != 0 && keyOf[c] != key);
    *code = c;
    return h;
}

// Codes packed most significant bit first into a 64-bit word kept flush
// with its top; each code is followed by one 8-byte store, of which only the
// whole bytes count (the output has room for the overshoot).
struct BitWriter {
    uint8_t *out;
    size_t o = 0;
    uint64_t bits = 0;
    unsigned count = 0;

    void put(uint32_t code, unsigned width) {
        bits |= uint64_t(code) << (64 - count - width);
        count += width;
        uint8_t word[8];
        for (int i = 0; i < 8; ++i) word[i] = uint8_t(bits >> (56 - 8 * i));
        std::memcpy(out + o, word, 8);
        o += count >> 3;
        bits <<= count & ~7u;
        count &= 7;
    }
    void finish() {
        if (count) out[o++] = uint8_t(bits >> 56);  // the last byte, completed with zero bits
        count = 0;
    }
};

}  // namespace

bool encodeTableAlloc(EncodeTable &t) {
    // The keys of 4096 codes, the place each code took, then the places,
    // all zero.
    t.block = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit,
                             4096 * sizeof(uint32_t) + 4096 * sizeof(uint16_t) + kPlaces * sizeof(uint16_t));
    if (!t.block) return false;
    t.keys = static_cast<uint32_t *>(plat::memLock(t.block));
    if (!t.keys) {
        t.block = plat::memFree(t.block);
        return false;
    }
    return true;
}

void encodeTableFree(EncodeTable &t) {
    if (t.block) {
        plat::memUnlock(t.block);
        plat::memFree(t.block);
    }
    t = EncodeTable{};
}

size_t encodeStrip(const uint8_t *in, size_t size, uint8_t *out, EncodeTable &t) {
    uint16_t *const places = placesOf(t);
    uint16_t *const taken = takenOf(t);
    uint32_t *const keyOf = t.keys;
    BitWriter w{out};
    unsigned width = 9;
    uint32_t next = kFirstFree;
    w.put(kClear, width);
    if (size == 0) {
        w.put(kEnd, width);
        w.finish();
        return w.o;
    }
    uint32_t current = in[0];
    for (const uint8_t *p = in + 1, *const end = in + size; p != end; ++p) {
        const uint32_t k = *p;
        uint32_t h = (k << 8) ^ current;
        uint32_t c = places[h];
        if (c != 0) {
            const uint32_t key = (current << 8) | k;
            if (keyOf[c] == key) [[likely]] {
                current = c;
                continue;
            }
            uint32_t found;
            h = probe(places, keyOf, h, key, &found);
            if (found != 0) {
                current = found;
                continue;
            }
        }
        w.put(current, width);
        if (next > kLastCode) [[unlikely]] {
            // Table full: Clear at the full width, then start over.
            w.put(kClear, width);
            freePlaces(places, taken, next);
            next = kFirstFree;
            width = 9;
        } else {
            places[h] = uint16_t(next);
            keyOf[next] = (current << 8) | k;
            taken[next] = uint16_t(h);
            ++next;
            if (next == 512 || next == 1024 || next == 2048) ++width;
        }
        current = k;
    }
    w.put(current, width);
    w.put(kEnd, width);
    w.finish();
    freePlaces(places, taken, next);
    return w.o;
}

}  // namespace vc::tifflzw
