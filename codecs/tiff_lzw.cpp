#include "codecs/tiff_lzw.h"

#include <cstring>

namespace vc::tifflzw {

namespace {

constexpr uint32_t kTableSize = 4096;

// Copies len bytes from an earlier place in out to out + dst, front to back,
// so that a source that overlaps the destination repeats itself (the string
// of a code defined by its own use). Whole 8-byte words are copied when the
// places are far enough apart and the buffer has room for the overshoot; the
// overshoot lands past the string, where the next string overwrites it.
inline void copyString(uint8_t *out, size_t dst, size_t src, size_t len, size_t capacity) {
    uint8_t *d = out + dst;
    const uint8_t *s = out + src;
    if (dst - src >= 8 && capacity - dst >= len + 8) {
        for (;;) {
            std::memcpy(d, s, 8);
            if (len <= 8) return;
            d += 8;
            s += 8;
            len -= 8;
        }
    }
    for (size_t i = 0; i < len; ++i) d[i] = s[i];
}

}  // namespace

size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity) {
    // Each code stands for a string already written to out: where it starts
    // and how long it is. A new code is the previous string plus one byte,
    // and that byte sits right behind the previous string in out, so an
    // entry never needs a string of its own.
    struct Entry {
        uint32_t pos, len;
    };
    Entry table[kTableSize];

    const uint8_t *p = in;
    const uint8_t *const end = in + size;
    uint64_t bits = 0;  // pending bits, the next code in the top bits
    unsigned count = 0;
    unsigned width = 9;
    uint32_t next = kFirstFree;
    bool havePrevious = false;
    size_t prevPos = 0, prevLen = 0;
    size_t o = 0;
    if (capacity > UINT32_MAX) capacity = UINT32_MAX;  // entries hold 32-bit positions

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

        if (code == kClear) {
            next = kFirstFree;
            width = 9;
            havePrevious = false;
            continue;
        }
        if (code == kEnd) break;
        if (!havePrevious) {
            // The first code after Clear must be a single byte; a longer
            // one cannot have been defined yet, so the strip ends here.
            if (code > 255 || o >= capacity) break;
            out[o] = uint8_t(code);
            prevPos = o++;
            prevLen = 1;
            havePrevious = true;
            continue;
        }
        if (code > next) break;  // beyond the table: keep what was decoded

        size_t len;
        if (code < 256) {
            if (o >= capacity) break;
            out[o] = uint8_t(code);
            len = 1;
        } else {
            size_t src;
            if (code < next) {
                src = table[code].pos;
                len = table[code].len;
            } else {
                // Defined by its own use: the previous string and its
                // first byte, which the overlapping copy repeats.
                src = prevPos;
                len = prevLen + 1;
            }
            if (len > capacity - o) {
                // Fill the output to its end and stop.
                for (size_t i = 0; o + i < capacity; ++i) out[o + i] = out[src + i];
                o = capacity;
                break;
            }
            copyString(out, o, src, len, capacity);
        }
        // A full table (4096 entries) takes no new entries: the codes that
        // follow are read at 12 bits with the table as it stands, until a
        // Clear comes.
        if (next < kTableSize) {
            table[next] = Entry{uint32_t(prevPos), uint32_t(prevLen + 1)};
            ++next;
            if (next == (1u << width) - 1 && width < 12) ++width;
        }
        prevPos = o;
        prevLen = len;
        o += len;
    }
    // The word copies may have written up to 7 bytes past the last string.
    const size_t tail = capacity - o < 8 ? capacity - o : 8;
    std::memset(out + o, 0, tail);
    return o;
}

// ---- Encoder -------------------------------------------------------------------

namespace {

// The table is a hash of (prefix code, byte) keys. Each key carries the
// number of the table generation in its top 12 bits, so a Clear only has to
// start a new generation instead of wiping the table; the table is wiped
// when the generation number wraps. The hash holds at most 3836 strings in
// 8192 places, so probes stay short.
constexpr uint32_t kHashBits = 13;
constexpr uint32_t kHashSize = 1u << kHashBits;
constexpr uint32_t kEpochShift = 20;
constexpr uint32_t kEpochMask = 0xFFFu << kEpochShift;
constexpr uint32_t kLastCode = 4093;  // 4094 entries at most

inline uint32_t hashOf(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kHashBits); }

void newGeneration(EncodeTable &t) {
    t.epoch = (t.epoch + 1) & 0xFFF;
    if (t.epoch == 0) {
        std::memset(t.keys, 0, kHashSize * sizeof(uint32_t));
        t.epoch = 1;
    }
}

struct BitWriter {
    uint8_t *out;
    size_t o = 0;
    uint64_t bits = 0;
    unsigned count = 0;

    void put(uint32_t code, unsigned width) {
        bits = (bits << width) | code;
        count += width;
        if (count >= 32) {
            const uint32_t word = uint32_t(bits >> (count - 32));
            out[o] = uint8_t(word >> 24);
            out[o + 1] = uint8_t(word >> 16);
            out[o + 2] = uint8_t(word >> 8);
            out[o + 3] = uint8_t(word);
            o += 4;
            count -= 32;
        }
    }
    void finish() {
        while (count >= 8) {
            out[o++] = uint8_t(bits >> (count - 8));
            count -= 8;
        }
        if (count) out[o++] = uint8_t(bits << (8 - count));
        count = 0;
    }
};

}  // namespace

bool encodeTableAlloc(EncodeTable &t) {
    t.block = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit,
                             kHashSize * (sizeof(uint32_t) + sizeof(uint16_t)));
    if (!t.block) return false;
    void *p = plat::memLock(t.block);
    if (!p) {
        t.block = plat::memFree(t.block);
        return false;
    }
    t.keys = static_cast<uint32_t *>(p);
    t.codes = reinterpret_cast<uint16_t *>(t.keys + kHashSize);
    t.epoch = 0;
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
    BitWriter w{out};
    unsigned width = 9;
    uint32_t next = kFirstFree;
    newGeneration(t);
    uint32_t tag = t.epoch << kEpochShift;
    w.put(kClear, width);
    if (size == 0) {
        w.put(kEnd, width);
        w.finish();
        return w.o;
    }
    uint32_t current = in[0];
    for (size_t i = 1; i < size; ++i) {
        const uint32_t k = in[i];
        const uint32_t key = tag | (current << 8) | k;
        uint32_t h = hashOf(key & ~kEpochMask);
        for (;;) {
            const uint32_t seen = t.keys[h];
            if (seen == key) break;
            if ((seen & kEpochMask) != tag) break;  // empty, or left from an earlier generation
            h = (h + 1) & (kHashSize - 1);
        }
        if (t.keys[h] == key) {
            current = t.codes[h];
            continue;
        }
        w.put(current, width);
        if (next > kLastCode) {
            // Table full: Clear at the full width, then start over.
            w.put(kClear, width);
            newGeneration(t);
            tag = t.epoch << kEpochShift;
            next = kFirstFree;
            width = 9;
        } else {
            t.keys[h] = key;
            t.codes[h] = uint16_t(next);
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
