#include "codecs/tiff_lzw.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

#include "codecs/lzw_walk.h"
#include "common/lzw.h"

namespace vc::tifflzw {

size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity, DecodeTable &table) {
    // A damaged strip is no failure: whatever the status, what was decoded
    // stays.
    const lzw::DecodeResult r = lzw::decode(in, size, out, capacity, {8, lzw::BitOrder::MsbFirst, 1, true}, table);
    return r.produced < capacity ? size_t(r.produced) : capacity;
}

size_t decodeStrip(const uint8_t *in, size_t size, uint8_t *out, size_t capacity) {
    DecodeTable table;
    return decodeStrip(in, size, out, capacity, table);
}

// ---- Encoder -------------------------------------------------------------------
//
// The walk (codecs/lzw_walk.h) finds the codes; here they are packed most
// significant bit first, and the table is cleared as soon as it is full.
// Without a branch, one byte's lookup waits for the previous one's load,
// and the processor has little else to do. A save therefore codes strips in
// pairs, interleaving the two walks byte by byte; each has its own table,
// and the bytes are those of coding each strip alone.

namespace {

using lzwwalk::kCodeList;
constexpr uint32_t kFull = 4095;  // next free code once 4094 strings are in

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

struct EncodeState : lzwwalk::Table {
    Packer packer;
};

namespace {

// One strip's walk through its input.
struct Walk : lzwwalk::Cursor {
    Walk(EncodeState &state, const uint8_t *in, size_t size, uint8_t *out)
        : Cursor{&state, in + 1, in + size, in[0], kFirstFree} {
        packer() = Packer{out};
        packer().put(kClear, 9);
    }
    Packer &packer() const { return static_cast<EncodeState *>(s)->packer; }
    size_t room() const { return Cursor::room(kFull); }
    // After a stretch: Clear a full table, pack a full list.
    void settle() {
        if (next == kFull) {
            // Table full: Clear at the full width, then start over.
            s->codes[n++] = kClear;
            lzwwalk::freePlaces(*s, kFirstFree, kFull);
            next = kFirstFree;
        }
        if (n >= kCodeList - 2) {
            packer().codes(s->codes, n);
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
        lzwwalk::freePlaces(*s, kFirstFree, uint32_t(next));
        Packer &w = packer();
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
    static_assert(std::is_trivially_copyable_v<EncodeState> && alignof(EncodeState) <= alignof(std::max_align_t));
    t.state = nullptr;
    try {
        t.storage.assign(2 * sizeof(EncodeState), 0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    t.state = reinterpret_cast<EncodeState *>(t.storage.data());
    return true;
}

void encodeTableFree(EncodeTable &t) {
    t.storage = {};
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
