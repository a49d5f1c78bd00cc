// The strip codings on their own: PackBits runs, and TIFF LZW streams
// compared with a plain slot-table coder (its code widths, the Clear of a
// full table and the End code included), and damaged.
#include <random>

#include "codecs/packbits.h"
#include "codecs/tiff_lzw.h"
#include "still_support.h"

using namespace stilltest;

namespace {

TEST(PackBits, RunsAsTheWriterFormsThemAndDamagedRuns) {
    Bytes worst, worstPacked, ramp(300);
    for (int i = 0; i < 99; ++i) {  // the worst case: 4 bytes for every 3
        worst = worst + Bytes{uint8_t(2 * i), uint8_t(2 * i + 1), uint8_t(2 * i + 1)};
        worstPacked = worstPacked + Bytes{0, uint8_t(2 * i), 0xFF, uint8_t(2 * i + 1)};
    }
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i);
    auto part = [&](long from, long to) { return Bytes(ramp.begin() + from, ramp.begin() + to); };
    const std::pair<Bytes, Bytes> cases[] = {
        {{}, {}},
        {{5}, {0, 5}},
        {{1, 1, 2, 3, 3}, {0xFF, 1, 0, 2, 0xFF, 3}},  // a pair opens a repeat
        {Bytes(128, 9), {0x81, 9}},
        {Bytes(129, 9) + Bytes{4, 5}, {0x81, 9, 0, 9, 1, 4, 5}},  // the byte left over is a run of one
        {Bytes(130, 9), {0x81, 9, 0xFF, 9}},
        {ramp, Bytes{127} + part(0, 128) + Bytes{127} + part(128, 256) + Bytes{43} + part(256, 300)},
        {worst, worstPacked},
    };
    for (const auto &[row, packed] : cases) {
        Bytes out(vc::packbits::rowBound(row.size()));
        out.resize(vc::packbits::encodeRow(row.data(), row.size(), out.data()));
        EXPECT_EQ(out, packed) << row.size();
    }
    // A byte, then 128 copies into the 3 bytes left; a no-op, then 17 literals with 2 left; a repeat
    // without its byte.
    const std::pair<Bytes, size_t> damaged[] = {{{0, 5, 0x81, 7}, 4}, {{0x80, 0x10, 1, 2}, 2}, {{0xFE}, 0}};
    for (auto &[in, written] : damaged) {
        Bytes out(8, 0xEE);
        EXPECT_EQ(vc::packbits::decode(in.data(), in.size(), out.data(), 4), written);
        EXPECT_EQ(out[4], 0xEE);
    }
}

Bytes encode(const Bytes &in) {
    vc::tifflzw::EncodeTable table;
    EXPECT_TRUE(vc::tifflzw::encodeTableAlloc(table));
    Bytes out(vc::tifflzw::encodeBound(in.size()));
    out.resize(vc::tifflzw::encodeStrip(in.data(), in.size(), out.data(), table));
    vc::tifflzw::encodeTableFree(table);
    return out;
}

Bytes decode(const Bytes &in, size_t capacity) {
    Bytes out(capacity + 16, 0xEE);
    out.resize(vc::tifflzw::decodeStrip(in.data(), in.size(), out.data(), capacity));
    return out;
}

// The coder as the format describes it: 12 extension slots per code, filled
// in the order extensions are added, and a scan of the codes behind them.
Bytes slotEncode(const Bytes &in) {
    std::vector<uint32_t> prefix(4096), slots(4096 * 12, 4096);
    std::vector<uint8_t> suffix(4096);
    Codes codes = {{256, 9}};
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
    return packCodes(codes);
}

TEST(TiffLzw, SameBytesAsTheSlotTable) {
    // Noise, few values (past 12 extensions a code), runs, repeats and long
    // runs of one byte: the
    // hash table finds every string the slot table finds, across Clears and
    // past a full code list, alone and with a second strip coded beside it;
    // the decoder gives the bytes back, and fills a smaller output to its end.
    std::mt19937 rng(21);
    std::vector<std::pair<Bytes, Bytes>> strips;  // input, as the slot table codes it
    for (int kind = 0; kind < 5; ++kind)
        for (size_t size : {0u, 1u, 2u, 600u, 8192u, 70000u}) {
            SCOPED_TRACE("kind " + std::to_string(kind) + " size " + std::to_string(size));
            Bytes in(size);
            uint8_t v = 0;
            for (size_t i = 0; i < size; ++i) {
                if (kind == 0) in[i] = uint8_t(rng());
                else if (kind == 1) in[i] = uint8_t(rng() % 23);
                else if (kind == 2) in[i] = rng() % 9 ? v : (v = uint8_t(rng()));
                else if (kind == 3) in[i] = i >= 300 && rng() % 50 ? in[i - 300] : uint8_t(rng() % 40);
                else in[i] = rng() % 300 ? v : (v = uint8_t(rng() % 3));  // long runs of three values
            }
            const Bytes coded = encode(in);
            EXPECT_EQ(coded, slotEncode(in));
            EXPECT_LE(coded.size(), vc::tifflzw::encodeBound(size));
            EXPECT_EQ(decode(coded, size), in);
            Bytes part(size / 2 + 8, 0xEE);
            EXPECT_EQ(vc::tifflzw::decodeStrip(coded.data(), coded.size(), part.data(), size / 2), size / 2);
            EXPECT_TRUE(std::equal(in.begin(), in.begin() + long(size / 2), part.begin()));
            EXPECT_EQ(part[size / 2], 0xEE);
            strips.push_back({in, coded});
        }
    vc::tifflzw::EncodeTable table;
    ASSERT_TRUE(vc::tifflzw::encodeTableAlloc(table));
    for (size_t i = 0; i < strips.size(); ++i) {
        const auto &[in0, coded0] = strips[i];
        const auto &[in1, coded1] = strips[(i + 7) % strips.size()];
        Bytes out0(vc::tifflzw::encodeBound(in0.size())), out1(vc::tifflzw::encodeBound(in1.size()));
        size_t length0 = 0, length1 = 0;
        vc::tifflzw::encodeStripPair(in0.data(), in0.size(), out0.data(), length0, in1.data(), in1.size(),
                                     out1.data(), length1, table);
        out0.resize(length0), out1.resize(length1);
        EXPECT_EQ(out0, coded0) << i;
        EXPECT_EQ(out1, coded1) << i;
    }
    // Noise cut at every length up to 2600 bytes: the table ends at every
    // size, so the last code and End fall on each side of every width edge.
    Bytes noise(2600), out(vc::tifflzw::encodeBound(noise.size()));
    for (uint8_t &b : noise) b = uint8_t(rng());
    for (size_t n = 1; n <= noise.size(); ++n) {
        const size_t length = vc::tifflzw::encodeStrip(noise.data(), n, out.data(), table);
        const Bytes slots = slotEncode(Bytes(noise.begin(), noise.begin() + long(n)));
        ASSERT_EQ(Bytes(out.begin(), out.begin() + long(length)), slots) << n;
    }
    vc::tifflzw::encodeTableFree(table);
}

TEST(TiffLzw, DamagedStreamsKeepWhatWasDecoded) {
    Bytes cut = packCodes({{256, 9}, {65, 9}, {66, 9}});
    cut.pop_back();  // the last code stops mid-way
    const std::pair<Bytes, Bytes> cases[] = {
        {packCodes({{256, 9}, {300, 9}, {65, 9}}), {}},  // a first code that is no single byte
        {packCodes({{256, 9}, {65, 9}, {258, 9}, {259, 9}, {257, 9}}), Bytes(6, 65)},  // codes equal to the next free one
        {packCodes({{256, 9}, {65, 9}, {66, 9}, {400, 9}, {67, 9}}), {65, 66}},  // beyond the table
        {cut, {65}},
        {{}, {}},
    };
    for (const auto &[stream, bytes] : cases) EXPECT_EQ(decode(stream, 10), bytes);
}

}  // namespace
