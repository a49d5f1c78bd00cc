#include "codecs/tiff_lzw.h"

#include <cstring>

namespace vc::tifflzw {

namespace {

constexpr uint32_t kTableSize = 4096;

// The 256 single-byte strings, laid out so that a code below 256 is copied
// like any other code (16 bytes at a time; the tail is only over-read).
struct Roots {
    uint8_t bytes[256 + 16];
    constexpr Roots() : bytes() {
        for (int i = 0; i < 256; ++i) bytes[i] = uint8_t(i);
    }
};
constexpr Roots kRoots;

inline void copy16(uint8_t *dst, const uint8_t *src) {
    // Both words are loaded before either is stored: src may end where dst
    // begins.
    uint64_t a, b;
    std::memcpy(&a, src, 8);
    std::memcpy(&b, src + 8, 8);
    std::memcpy(dst, &a, 8);
    std::memcpy(dst + 8, &b, 8);
}

}  // namespace

size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity) {
    // Each code stands for a string that is already in the output (or among
    // the root bytes): where it starts and how long it is. A new code is the
    // previous string plus one byte, and that byte sits right behind the
    // previous string in the output, so no entry needs a string of its own.
    // Clear and End have length 0, which sends them down the slow path with
    // every other rare case (first code after Clear, a code defined by its
    // own use, a string near the end of the output, damage).
    struct Entry {
        const uint8_t *src;
        size_t len;
    };
    Entry table[kTableSize + 1];  // the extra entry takes writes once the table is full
    for (uint32_t c = 0; c < 256; ++c) table[c] = Entry{kRoots.bytes + c, 1};
    table[kClear] = table[kEnd] = Entry{nullptr, 0};

    const uint8_t *p = in;
    const uint8_t *const end = in + size;
    uint64_t bits = 0;  // pending bits, the next code in the top bits
    unsigned count = 0;
    unsigned width = 9;
    uint32_t growAt = 511;  // the width grows one code early
    uint32_t next = kFirstFree;
    uint32_t limit = 0;  // codes below it take the fast path; 0 right after Clear
    size_t prevPos = 0, prevLen = 0;
    size_t o = 0;

    for (;;) {
        if (count < width) {
            if (end - p >= 8) {
                uint64_t word = 0;
                for (int i = 0; i < 8; ++i) word = (word << 8) | p[i];
                bits |= word >> count;
                p += (63 - count) >> 3;
                count |= 56;
            } else {
                while (count <= 56 && p < end) {
                    bits |= uint64_t(*p++) << (56 - count);
                    count += 8;
                }
                if (count < width) break;  // left-over bits are dropped
            }
        }
        const uint32_t code = uint32_t(bits >> (64 - width));
        bits <<= width;
        count -= width;

        Entry e;
        if (code < limit && table[code].len != 0 && capacity - o >= table[code].len + 16) {
            e = table[code];
            copy16(out + o, e.src);
            if (e.len > 16) std::memcpy(out + o + 16, e.src + 16, e.len - 16);
        } else {
            if (code == kClear) {
                next = kFirstFree;
                width = 9;
                growAt = 511;
                limit = 0;
                continue;
            }
            if (code == kEnd) break;
            if (limit == 0) {
                // The first code after Clear must be a single byte; a longer
                // one cannot have been defined yet, so the strip ends here.
                if (code > 255 || o >= capacity) break;
                out[o] = uint8_t(code);
                prevPos = o++;
                prevLen = 1;
                limit = next;
                continue;
            }
            if (code > next) break;  // beyond the table: keep what was decoded
            // Defined by its own use: the previous string and its first
            // byte, which the forward copy repeats from the output.
            e = code == next ? Entry{out + prevPos, prevLen + 1} : table[code];
            if (e.len > capacity - o) {
                for (size_t i = 0; o < capacity; ++i) out[o++] = e.src[i];
                break;  // the output is full
            }
            for (size_t i = 0; i < e.len; ++i) out[o + i] = e.src[i];
        }
        // A full table (4096 entries) takes no new entries: the codes that
        // follow are read at 12 bits with the table as it stands, until a
        // Clear comes.
        table[next] = Entry{out + prevPos, prevLen + 1};
        next += next < kTableSize;
        if (next == growAt) {
            ++width;
            growAt = width < 12 ? (1u << width) - 1 : 0;
        }
        limit = next;
        prevPos = o;
        prevLen = e.len;
        o += e.len;
    }
    // The word copies may have written up to 15 bytes past the last string.
    const size_t tail = capacity - o < 16 ? capacity - o : 16;
    std::memset(out + o, 0, tail);
    return o;
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
