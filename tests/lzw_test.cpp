// The shared LZW decoder against a plain reference decoder that follows the
// textbook algorithm step by step (prefix chains reversed through a stack,
// bits appended one byte at a time), over hand-made and generated streams.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/lzw.h"

namespace {

using vc::lzw::BitOrder;

// Packs codes of given widths into bytes.
struct Packer {
    BitOrder order;
    std::vector<uint8_t> bytes;
    uint64_t acc = 0;
    unsigned bits = 0;
    void put(uint32_t code, unsigned width) {
        if (order == BitOrder::LsbFirst) {
            acc |= uint64_t(code) << bits;
            bits += width;
            while (bits >= 8) {
                bytes.push_back(uint8_t(acc));
                acc >>= 8;
                bits -= 8;
            }
        } else {
            acc = (acc << width) | code;
            bits += width;
            while (bits >= 8) {
                bytes.push_back(uint8_t(acc >> (bits - 8)));
                bits -= 8;
            }
        }
    }
    std::vector<uint8_t> finish() {
        if (bits) bytes.push_back(order == BitOrder::LsbFirst ? uint8_t(acc) : uint8_t(acc << (8 - bits)));
        bits = 0;
        return bytes;
    }
};

// The reference: one code at a time, strings reversed through a stack.
vc::lzw::DecodeResult reference(const std::vector<uint8_t> &in, std::vector<uint8_t> &out, size_t capacity,
                                unsigned s, BitOrder order, unsigned early) {
    vc::lzw::DecodeResult r;
    std::vector<uint32_t> prefix(4096);
    std::vector<uint8_t> suffix(4096);
    std::vector<uint8_t> stack;
    const uint32_t clear = 1u << s, end = clear + 1;
    for (uint32_t c = 0; c < clear; ++c) prefix[c] = 4096, suffix[c] = uint8_t(c);
    unsigned width = s + 1;
    uint32_t mask = (1u << width) - 1, next = clear + 2, prev = 4096;
    uint8_t firstChar = 0;
    bool failed = false;
    uint64_t pos = 0;
    out.assign(capacity, 0);
    auto emit = [&](uint8_t b) {
        if (pos < capacity) out[pos] = b;
        ++pos;
    };
    size_t bitPos = 0;
    const size_t totalBits = in.size() * 8;
    while (bitPos + width <= totalBits) {
        uint32_t code = 0;
        for (unsigned i = 0; i < width; ++i, ++bitPos) {
            unsigned bit = order == BitOrder::LsbFirst ? (in[bitPos / 8] >> (bitPos % 8)) & 1
                                                       : (in[bitPos / 8] >> (7 - bitPos % 8)) & 1;
            if (order == BitOrder::LsbFirst)
                code |= bit << i;
            else
                code = (code << 1) | bit;
        }
        code &= mask;
        if (code == end) {
            r.sawEnd = true;
            break;
        }
        if (failed) continue;
        if (code == clear) {
            width = s + 1, mask = (1u << width) - 1, next = clear + 2, prev = 4096;
            continue;
        }
        if (code > next || (prev == 4096 && code >= clear)) {
            failed = true;
            continue;
        }
        if (prev == 4096) {
            emit(suffix[code]);
            firstChar = suffix[code];
            prev = code;
            continue;
        }
        uint32_t c = code;
        if (code == next) stack.push_back(firstChar), c = prev;
        while (c > clear) stack.push_back(suffix[c]), c = prefix[c];
        firstChar = suffix[c];
        stack.push_back(firstChar);
        if (next < 4096) {
            prefix[next] = prev, suffix[next] = firstChar, ++next;
            if (((next + early) & mask) == 0 && next + early < 4096) ++width, mask += next + early;
        }
        prev = code;
        while (!stack.empty()) emit(stack.back()), stack.pop_back();
    }
    r.status = failed ? -6 : 1;
    r.produced = pos;
    return r;
}

// A stream of mostly valid codes, with clears, a table that fills up, and
// (when asked) a bad code now and then.
std::vector<uint8_t> generate(std::mt19937 &rng, unsigned s, BitOrder order, unsigned early, size_t codes,
                              bool withBad, bool withEnd, bool longStrings = false) {
    Packer p{order};
    const uint32_t clear = 1u << s;
    unsigned width = s + 1;
    uint32_t next = clear + 2;
    bool fresh = true;
    p.put(clear, width);
    for (size_t i = 0; i < codes; ++i) {
        uint32_t code;
        unsigned roll = rng() % 1000;
        if (roll < 3 && !longStrings) {
            code = clear;
        } else if (longStrings && !fresh && roll < 900 && next > clear + 2) {
            // Recent entries are the longest strings; the table fills up.
            code = next - rng() % std::min<uint32_t>(8, next - clear - 1);
        } else if (withBad && roll < 5) {
            code = std::min<uint32_t>(next + 1 + rng() % 5, (1u << width) - 1);
        } else if (fresh || roll < 300) {
            code = rng() % clear;
        } else {
            code = clear + 2 + rng() % (next - clear - 1);  // up to next itself
            if (code > next) code = next;
        }
        p.put(code, width);
        if (code == clear) {
            width = s + 1, next = clear + 2, fresh = true;
            continue;
        }
        if (code > next) continue;  // the decoder fails; the widths no longer matter
        if (fresh) {
            fresh = false;
            continue;
        }
        if (next < 4096) {
            ++next;
            if (((next + early) & ((1u << width) - 1)) == 0 && next + early < 4096) ++width;
        }
    }
    if (withEnd) p.put(clear + 1, width);
    return p.finish();
}

TEST(Lzw, SmallStreamWithRepeatedStringAndEnd) {
    // s = 2: clear 4, end 5. "0 0 0 0 1 1": codes 0, 6 (= "00", new), 0... built by hand.
    Packer p{BitOrder::LsbFirst};
    p.put(4, 3);  // clear
    p.put(0, 3);  // "0"
    p.put(6, 3);  // next itself: "00"; entry 6 = "00", next 7
    p.put(1, 3);  // "1"; entry 7 = "001", next 8 -> width 4
    p.put(7, 4);  // "001"; entry 8 = "10"
    p.put(5, 4);  // end
    p.put(0xF, 4);  // never read
    auto in = p.finish();
    std::vector<uint8_t> out(16, 0xAA);
    auto r = vc::lzw::decode(in.data(), in.size(), out.data(), out.size(), {2, BitOrder::LsbFirst, 0});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.sawEnd);
    ASSERT_EQ(r.produced, 7u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 7), (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 1}));
}

TEST(Lzw, FailuresStickAndOutputPastTheBufferIsDropped) {
    Packer p{BitOrder::LsbFirst};
    p.put(4, 3);
    p.put(1, 3);
    p.put(7, 3);  // next is 6: fails
    p.put(4, 3);  // clear after a failure: not decoded
    p.put(2, 3);  // nor this
    auto in = p.finish();
    std::vector<uint8_t> out(4, 0);
    auto r = vc::lzw::decode(in.data(), in.size(), out.data(), out.size(), {2, BitOrder::LsbFirst, 0});
    EXPECT_EQ(r.status, -6);
    EXPECT_FALSE(r.sawEnd);
    EXPECT_EQ(r.produced, 1u);

    // A first code after a clear that is not a root code names no string.
    Packer q{BitOrder::LsbFirst};
    q.put(4, 3), q.put(6, 3), q.put(5, 3);
    in = q.finish();
    r = vc::lzw::decode(in.data(), in.size(), out.data(), out.size(), {2, BitOrder::LsbFirst, 0});
    EXPECT_EQ(r.status, -6);
    EXPECT_TRUE(r.sawEnd);

    // Twelve ones from a capacity of 5: five kept, twelve counted.
    Packer d{BitOrder::LsbFirst};
    d.put(4, 3), d.put(1, 3), d.put(6, 3), d.put(7, 3), d.put(8, 4), d.put(5, 4);
    in = d.finish();
    std::vector<uint8_t> small(5, 9);
    r = vc::lzw::decode(in.data(), in.size(), small.data(), small.size(), {2, BitOrder::LsbFirst, 0});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.produced, 1u + 2 + 3 + 4);
    EXPECT_EQ(small, std::vector<uint8_t>(5, 1));
}

TEST(Lzw, CodeSizesThatWouldOverflowTheTableAreRefused) {
    std::vector<uint8_t> in(16, 0), out(16);
    EXPECT_EQ(vc::lzw::decode(in.data(), in.size(), out.data(), out.size(), {12, BitOrder::LsbFirst, 0}).status,
              -6);
    EXPECT_EQ(vc::lzw::decode(in.data(), in.size(), out.data(), out.size(), {255, BitOrder::LsbFirst, 0}).status,
              -6);
    // An empty stream decodes nothing and does not fail.
    auto r = vc::lzw::decode(nullptr, 0, out.data(), out.size(), {8, BitOrder::LsbFirst, 0});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.produced, 0u);
}

// Generated streams in both bit orders, with and without early change, with
// full tables, clears, bad codes, tight buffers and missing end codes, must
// give what the reference gives, byte for byte.
TEST(Lzw, MatchesTheReferenceOnGeneratedStreams) {
    std::mt19937 rng(12345);
    int cases = 0;
    for (unsigned s : {0u, 1u, 2u, 3u, 4u, 7u, 8u, 11u}) {
        for (auto order : {BitOrder::LsbFirst, BitOrder::MsbFirst}) {
            for (unsigned early : {0u, 1u}) {
                for (int round = 0; round < 6; ++round) {
                    bool bad = round % 3 == 2, withEnd = round % 2 == 0;
                    size_t codes = round < 2 ? 100 : 9000;
                    auto in = generate(rng, s, order, early, codes, bad, withEnd, round >= 4);
                    std::vector<uint8_t> expect;
                    size_t capacity = round == 3 ? 777 : 300000;
                    auto want = reference(in, expect, capacity, s, order, early);
                    std::vector<uint8_t> got(capacity, 0);
                    auto r = vc::lzw::decode(in.data(), in.size(), got.data(), capacity, {s, order, early});
                    ASSERT_EQ(r.status, want.status) << s << " " << int(order) << " " << early << " " << round;
                    ASSERT_EQ(r.produced, want.produced) << s << " " << round;
                    ASSERT_EQ(r.sawEnd, want.sawEnd);
                    // The decoder may scribble past the last string inside the
                    // buffer; only the produced part is output.
                    size_t n = std::min<uint64_t>(capacity, r.produced);
                    ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, expect.begin())) << s << " " << round;
                    ++cases;
                }
            }
        }
    }
    EXPECT_EQ(cases, 8 * 2 * 2 * 6);
}

// Behind the output the word copies leave zeros (so pixels an early end code
// never reached read as index 0) and nothing further; stopWhenFull keeps the
// same bytes as a full decode would, stops at the string that overflows and
// skips the count of the rest. TIFF's settings: MSB first, early change.
TEST(Lzw, BytesBehindTheOutputAndStoppingWhenFull) {
    std::mt19937 rng(99);
    for (int round = 0; round < 20; ++round) {
        const unsigned s = round % 2 ? 8 : 4;
        auto in = generate(rng, s, BitOrder::MsbFirst, 1, 1200, false, true, round % 4 >= 2);
        std::vector<uint8_t> expect;
        const auto want = reference(in, expect, 1u << 22, s, BitOrder::MsbFirst, 1);
        ASSERT_EQ(want.status, 1);
        ASSERT_LT(want.produced + 40, 1u << 22);

        // Room to spare: produced bytes, 16 zeros, then the buffer untouched.
        std::vector<uint8_t> got(size_t(want.produced) + 40, 0xEE);
        auto r = vc::lzw::decode(in.data(), in.size(), got.data(), got.size(), {s, BitOrder::MsbFirst, 1, true});
        ASSERT_EQ(r.produced, want.produced);
        EXPECT_TRUE(r.sawEnd);
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + long(r.produced), expect.begin())) << round;
        EXPECT_EQ(std::vector<uint8_t>(got.begin() + long(r.produced), got.begin() + long(r.produced) + 16),
                  std::vector<uint8_t>(16, 0));
        EXPECT_EQ(std::vector<uint8_t>(got.begin() + long(r.produced) + 16, got.end()), std::vector<uint8_t>(24, 0xEE));

        // Half the room: the same first half either way, counted or not.
        const size_t half = size_t(want.produced / 2);
        for (bool stop : {false, true}) {
            std::vector<uint8_t> part(half + 1, 0xEE);
            r = vc::lzw::decode(in.data(), in.size(), part.data(), half, {s, BitOrder::MsbFirst, 1, stop});
            ASSERT_TRUE(std::equal(part.begin(), part.begin() + long(half), expect.begin())) << round << stop;
            EXPECT_EQ(part[half], 0xEE);
            EXPECT_EQ(r.status, 1);
            if (stop) {
                EXPECT_GE(r.produced, half);
                EXPECT_LT(r.produced, want.produced);
                EXPECT_FALSE(r.sawEnd);
            } else {
                EXPECT_EQ(r.produced, want.produced);
                EXPECT_TRUE(r.sawEnd);
            }
        }
    }
}

// Random bytes are the hostile case: whatever they decode to, the decoder
// agrees with the reference and stays inside the buffer.
TEST(Lzw, RandomBytesAgreeWithTheReference) {
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        unsigned s = rng() % 12;
        std::vector<uint8_t> in(rng() % 400);
        for (auto &b : in) b = uint8_t(rng());
        size_t capacity = rng() % 64;
        std::vector<uint8_t> expect, got(capacity + 1, 0x5A);
        auto want = reference(in, expect, capacity, s, BitOrder::LsbFirst, 0);
        auto r = vc::lzw::decode(in.data(), in.size(), got.data(), capacity, {s, BitOrder::LsbFirst, 0});
        ASSERT_EQ(r.status, want.status);
        ASSERT_EQ(r.produced, want.produced);
        EXPECT_EQ(got[capacity], 0x5A);  // the byte past the buffer is untouched
    }
}

}  // namespace
