// The strip codings on their own: PackBits runs as the writer forms them,
// and TIFF LZW code streams read back code by code (widths, Clear when the
// table is full, End of Information) and decoded, damaged streams included.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codecs/packbits.h"
#include "codecs/tiff_lzw.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes packRow(const Bytes &row) {
    Bytes out(vc::packbits::rowBound(row.size()));
    out.resize(vc::packbits::encodeRow(row.data(), row.size(), out.data()));
    return out;
}

Bytes repeat(size_t n, uint8_t v) { return Bytes(n, v); }
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes &p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

TEST(PackBits, RunsAsTheWriterFormsThem) {
    EXPECT_EQ(packRow({}), Bytes{});
    EXPECT_EQ(packRow({5}), (Bytes{0, 5}));
    EXPECT_EQ(packRow({1, 1, 2, 3, 3}), (Bytes{0xFF, 1, 0, 2, 0xFF, 3}));  // a pair opens a repeat
    EXPECT_EQ(packRow({1, 2, 3}), (Bytes{2, 1, 2, 3}));
    EXPECT_EQ(packRow(repeat(128, 9)), (Bytes{0x81, 9}));
    // The worst case: 4 bytes for every 3.
    Bytes worst;
    for (int i = 0; i < 99; ++i) worst.insert(worst.end(), {uint8_t(2 * i), uint8_t(2 * i + 1), uint8_t(2 * i + 1)});
    EXPECT_EQ(packRow(worst).size(), 396u);
    EXPECT_LE(396u, vc::packbits::rowBound(worst.size()));
    // 129 equal bytes then another: the byte left over is a run of one.
    EXPECT_EQ(packRow(cat({repeat(129, 9), {4, 5}})), (Bytes{0x81, 9, 0, 9, 1, 4, 5}));
    EXPECT_EQ(packRow(repeat(130, 9)), (Bytes{0x81, 9, 0xFF, 9}));
    EXPECT_EQ(packRow(cat({repeat(128, 9), {4, 5}})), (Bytes{0x81, 9, 1, 4, 5}));  // not split: a literal follows
    Bytes ramp(300);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i);
    Bytes packed = packRow(ramp);
    ASSERT_EQ(packed.size(), 303u);  // literals of 128, 128, 44
    EXPECT_EQ(packed[0], 127);
    EXPECT_EQ(packed[129], 127);
    EXPECT_EQ(packed[258], 43);
}

TEST(PackBits, DecodeRoundTripAndOverruns) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Bytes row(rng() % 700);
        for (auto &b : row) b = rng() % 4 ? uint8_t(rng() % 3) : uint8_t(rng());
        Bytes packed = packRow(row);
        EXPECT_LE(packed.size(), vc::packbits::rowBound(row.size()));
        Bytes back(row.size() + 16, 0xEE);
        ASSERT_EQ(vc::packbits::decode(packed.data(), packed.size(), back.data(), row.size()), row.size());
        EXPECT_TRUE(std::equal(row.begin(), row.end(), back.begin()));
        EXPECT_EQ(back[row.size()], 0xEE);  // nothing past the capacity
    }
    Bytes out(4, 0);
    const Bytes longRun = {0x81, 7};  // 128 copies into 4 bytes
    EXPECT_EQ(vc::packbits::decode(longRun.data(), 2, out.data(), 4), 4u);
    const Bytes cut = {0x80, 0x10, 1, 2};  // no-op, then a literal of 17 with 2 bytes left
    EXPECT_EQ(vc::packbits::decode(cut.data(), cut.size(), out.data(), 4), 2u);
    EXPECT_EQ(out[1], 2);
    const Bytes dangling = {0xFE};  // repeat without its byte
    EXPECT_EQ(vc::packbits::decode(dangling.data(), 1, out.data(), 4), 0u);
}

// Reads a TIFF LZW stream code by code, tracking the width as a reader does.
struct CodeReader {
    const Bytes &b;
    size_t bit = 0;
    unsigned width = 9;
    uint32_t next = 258;
    bool first = true;
    std::vector<std::pair<uint32_t, unsigned>> codes;  // code, width

    explicit CodeReader(const Bytes &bytes) : b(bytes) {
        while (bit + width <= b.size() * 8) {
            uint32_t c = 0;
            for (unsigned i = 0; i < width; ++i, ++bit) c = c << 1 | ((b[bit / 8] >> (7 - bit % 8)) & 1);
            codes.push_back({c, width});
            if (c == 257) break;
            if (c == 256) {
                width = 9, next = 258, first = true;
                continue;
            }
            if (!first && next < 4096 && ++next == (1u << width) - 1 && width < 12) ++width;
            first = false;
        }
    }
};

Bytes encode(const Bytes &in) {
    vc::tifflzw::EncodeTable table;
    EXPECT_TRUE(vc::tifflzw::encodeTableAlloc(table));
    Bytes out(vc::tifflzw::encodeBound(in.size()));
    out.resize(vc::tifflzw::encodeStrip(in.data(), in.size(), out.data(), table));
    vc::tifflzw::encodeTableFree(table);
    return out;
}

Bytes decode(const Bytes &in, size_t capacity) {
    Bytes out(capacity, 0xEE);
    out.resize(vc::tifflzw::decodeStrip(in.data(), in.size(), out.data(), capacity));
    return out;
}

TEST(TiffLzw, CodeWidthsClearAndEnd) {
    // Every pair of bytes new: one code per byte, so the stream shows each
    // width change and, past 3836 codes, the Clear of a full table.
    Bytes in;
    std::mt19937 rng(3);
    for (int i = 0; i < 9000; ++i) in.push_back(uint8_t(rng()));
    Bytes coded = encode(in);
    CodeReader r(coded);
    ASSERT_GE(r.codes.size(), 4u);
    EXPECT_EQ(r.codes.front(), (std::pair<uint32_t, unsigned>{256, 9}));
    EXPECT_EQ(r.codes.back().first, 257u);
    // Code i (from 1 after Clear) is written with next free code 257 + i.
    EXPECT_EQ(r.codes[254].second, 9u);
    EXPECT_EQ(r.codes[255].second, 10u);  // after 254 entries the next free code is 512
    size_t clears = 0;
    for (size_t i = 1; i < r.codes.size(); ++i)
        if (r.codes[i].first == 256) {
            EXPECT_EQ(r.codes[i].second, 12u);
            EXPECT_EQ(i, 1 + 3837 * (++clears));  // 3836 entries added, then the code, then Clear
            break;
        }
    EXPECT_EQ(clears, 1u);
    EXPECT_EQ(decode(coded, in.size()), in);

    EXPECT_EQ(encode({}), (Bytes{0x80, 0x40, 0x40}));  // Clear, End, zero bits
    EXPECT_EQ(decode(encode({42}), 1), (Bytes{42}));
}

TEST(TiffLzw, RoundTripsOfRealisticData) {
    std::mt19937 rng(11);
    for (size_t size : {1u, 2u, 3u, 255u, 4096u, 8192u, 70000u}) {
        Bytes in(size);
        uint8_t v = 0;
        for (auto &b : in) {
            if (rng() % 5 == 0) v = uint8_t(rng() % 6);
            b = v;
        }
        Bytes coded = encode(in);
        EXPECT_LE(coded.size(), vc::tifflzw::encodeBound(size));
        EXPECT_EQ(decode(coded, size), in) << size;
        // A smaller output is filled to its end and no further.
        Bytes part(size / 2 + 8, 0xEE);
        size_t got = vc::tifflzw::decodeStrip(coded.data(), coded.size(), part.data(), size / 2);
        EXPECT_EQ(got, size / 2);
        EXPECT_TRUE(std::equal(in.begin(), in.begin() + long(size / 2), part.begin()));
        EXPECT_EQ(part[size / 2], 0xEE);
    }
}

Bytes pack(const std::vector<std::pair<uint32_t, unsigned>> &codes) {
    Bytes out;
    uint64_t acc = 0;
    unsigned n = 0;
    for (auto [c, w] : codes) {
        acc = acc << w | c;
        n += w;
        while (n >= 8) out.push_back(uint8_t(acc >> (n - 8))), n -= 8;
    }
    if (n) out.push_back(uint8_t(acc << (8 - n)));
    return out;
}

TEST(TiffLzw, DamagedStreams) {
    // A full table without Clear keeps decoding at 12 bits with the table as it stands.
    std::vector<std::pair<uint32_t, unsigned>> codes = {{256, 9}};
    Bytes expected;
    unsigned width = 9;
    uint32_t next = 258;
    for (int i = 0; i < 5000; ++i) {
        uint32_t c = uint32_t(i % 7);
        codes.push_back({c, width});
        expected.push_back(uint8_t(c));
        if (i > 0 && next < 4096 && ++next == (1u << width) - 1 && width < 12) ++width;
    }
    ASSERT_EQ(width, 12u);
    codes.push_back({300, 12});  // entry 300: the bytes of codes 42 and 43 (0, 1)
    expected.insert(expected.end(), {0, 1});
    codes.push_back({257, 12});
    EXPECT_EQ(decode(pack(codes), 6000), expected);

    // A first code after Clear that is no single byte ends the strip.
    EXPECT_EQ(decode(pack({{256, 9}, {300, 9}, {65, 9}}), 10), Bytes{});
    // The code equal to the next free code repeats the previous string's first byte.
    EXPECT_EQ(decode(pack({{256, 9}, {65, 9}, {258, 9}, {259, 9}, {257, 9}}), 10), (Bytes{65, 65, 65, 65, 65, 65}));
    // Codes that stop mid-way: the left-over bits are dropped.
    Bytes cut = pack({{256, 9}, {65, 9}, {66, 9}});
    cut.pop_back();
    EXPECT_EQ(decode(cut, 10), (Bytes{65}));
    EXPECT_EQ(decode(Bytes{}, 10), Bytes{});
}

// The coder as the format describes it: 12 extension slots per code, filled
// in the order extensions are added, and a scan of the codes behind them.
Bytes slotEncode(const Bytes &in) {
    std::vector<uint32_t> prefix(4096), slots(4096 * 12, 4096);
    std::vector<uint8_t> suffix(4096);
    std::vector<std::pair<uint32_t, unsigned>> codes = {{256, 9}};
    uint32_t next = 258;
    unsigned width = 9;
    auto find = [&](uint32_t w, uint8_t k) -> uint32_t {
        for (int s = 0; s < 12; ++s) {
            uint32_t c = slots[w * 12 + s];
            if (c == 4096) return 4096;
            if (suffix[c] == k) return c;
        }
        for (uint32_t c = 258; c < next; ++c)
            if (prefix[c] == w && suffix[c] == k) return c;
        return 4096;
    };
    uint32_t w = 4096;
    for (uint8_t k : in) {
        if (w == 4096) {
            w = k;
            continue;
        }
        uint32_t c = find(w, k);
        if (c != 4096) {
            w = c;
            continue;
        }
        codes.push_back({w, width});
        if (next == 4094) {
            codes.push_back({256, width});
            std::fill(slots.begin(), slots.end(), 4096);
            next = 258, width = 9;
        } else {
            prefix[next] = w, suffix[next] = k;
            for (int s = 0; s < 12; ++s)
                if (slots[w * 12 + s] == 4096) {
                    slots[w * 12 + s] = next;
                    break;
                }
            ++next;
            width = next < 512 ? 9 : next < 1024 ? 10 : next < 2048 ? 11 : 12;
        }
        w = k;
    }
    if (w != 4096) codes.push_back({w, width});
    codes.push_back({257, width});
    return pack(codes);
}

TEST(TiffLzw, SameBytesAsTheSlotTable) {
    // Noise, few values (many extensions per code, past 12), long runs and
    // repeats: the hash table must find every string the slot table finds,
    // across Clears of a full table.
    std::mt19937 rng(21);
    for (int kind = 0; kind < 4; ++kind)
        for (size_t size : {0u, 1u, 2u, 600u, 8192u, 70000u}) {
            Bytes in(size);
            uint8_t v = 0;
            for (size_t i = 0; i < size; ++i) {
                if (kind == 0) in[i] = uint8_t(rng());
                else if (kind == 1) in[i] = uint8_t(rng() % 23);
                else if (kind == 2) in[i] = rng() % 9 ? v : (v = uint8_t(rng()));
                else in[i] = i >= 300 && rng() % 50 ? in[i - 300] : uint8_t(rng() % 40);
            }
            EXPECT_EQ(encode(in), slotEncode(in)) << "kind " << kind << " size " << size;
        }
}

}  // namespace
