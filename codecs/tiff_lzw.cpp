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

// The string table is a hash of the strings' (prefix code, byte) keys: one
// 32-bit word per place, the key in the top 20 bits and the code in the low
// 12, 0 for a free place. It holds the same strings as a table of 12
// extension slots per code with a scan behind them, but finds an extension
// with one probe in most cases: the first place is (byte << 6) XOR prefix,
// which puts the extensions of one code side by side and costs no multiply
// on the path from one byte to the next; a taken place sends the probe on
// in odd steps of a multiplicative hash. 3836 strings in 16384 places keep
// taken places rare (a taken place is a mispredicted branch), and the 64 KB
// are wiped at each Clear.
constexpr uint32_t kHashSize = 16384;
constexpr uint32_t kLastCode = 4093;  // 4094 entries at most
constexpr uint32_t kTableWords = kHashSize;

inline uint32_t hashOf(uint32_t key) { return (key * 0x9E3779B1u) >> 18; }  // the top 14 bits

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
    t.block = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, kTableWords * sizeof(uint32_t));
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
    uint32_t *const table = t.keys;
    BitWriter w{out};
    unsigned width = 9;
    uint32_t next = kFirstFree;
    std::memset(table, 0, kTableWords * sizeof(uint32_t));
    w.put(kClear, width);
    if (size == 0) {
        w.put(kEnd, width);
        w.finish();
        return w.o;
    }
    uint32_t current = in[0];
    for (size_t i = 1; i < size; ++i) {
        const uint32_t k = in[i];
        const uint32_t key = (current << 8) | k;
        uint32_t h = (k << 6) ^ current;  // siblings side by side
        uint32_t e = table[h];
        if (e != 0 && (e >> 12) != key) {
            const uint32_t step = hashOf(key) | 1;  // odd: the probes visit every place
            do {
                h = (h - step) & (kHashSize - 1);
                e = table[h];
            } while (e != 0 && (e >> 12) != key);
        }
        if (e != 0) {
            current = e & 0xFFF;
            continue;
        }
        w.put(current, width);
        if (next > kLastCode) {
            // Table full: Clear at the full width, then start over.
            w.put(kClear, width);
            std::memset(table, 0, kTableWords * sizeof(uint32_t));
            next = kFirstFree;
            width = 9;
        } else {
            table[h] = (key << 12) | next;
            ++next;
            if (next == 512 || next == 1024 || next == 2048) ++width;
        }
        current = k;
    }
    w.put(current, width);
    w.put(kEnd, width);
    w.finish();
    return w.o;
}

}  // namespace vc::tifflzw
