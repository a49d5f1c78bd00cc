// The shared LZW decoder: hand-made streams for its rules, and a plain
// reference decoder (one code at a time, strings reversed through a stack,
// bits taken one at a time) on generated and random streams.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "common/lzw.h"
#include "still_support.h"

namespace {

using vc::Result;
using vc::lzw::BitOrder;
using stilltest::Codes;

vc::lzw::DecodeResult reference(const std::vector<uint8_t> &in, std::vector<uint8_t> &out, size_t capacity,
                                unsigned s, BitOrder order, unsigned early) {
    vc::lzw::DecodeResult r;
    std::vector<uint32_t> prefix(4096);
    std::vector<uint8_t> suffix(4096), stack;
    const uint32_t clear = 1u << s, end = clear + 1, none = 4096;
    for (uint32_t c = 0; c < clear; ++c) prefix[c] = none, suffix[c] = uint8_t(c);
    unsigned width = s + 1;
    uint32_t mask = (1u << width) - 1, next = clear + 2, prev = none;
    uint8_t firstChar = 0;
    bool failed = false;
    out.assign(capacity, 0);
    auto emit = [&](uint8_t b) {
        if (r.produced < capacity) out[r.produced] = b;
        ++r.produced;
    };
    for (size_t bitPos = 0; bitPos + width <= in.size() * 8;) {
        uint32_t code = 0;
        for (unsigned i = 0; i < width; ++i, ++bitPos) {
            const unsigned sh = order == BitOrder::LsbFirst ? bitPos % 8 : 7 - bitPos % 8;
            const unsigned bit = (in[bitPos / 8] >> sh) & 1;
            code = order == BitOrder::LsbFirst ? code | bit << i : code << 1 | bit;
        }
        code &= mask;
        if (code == end) {
            r.sawEnd = true;
            break;
        }
        if (failed) continue;
        if (code == clear) {
            width = s + 1, mask = (1u << width) - 1, next = clear + 2, prev = none;
            continue;
        }
        if (code > next) {
            failed = true;
            continue;
        }
        if (prev == none) {
            // One byte, its suffix; the code then stands for that byte's
            // root code (the suffix of a non-root code is always a root).
            emit(firstChar = suffix[code]);
            prev = firstChar;
            continue;
        }
        uint32_t c = code;
        if (code == next) stack.push_back(firstChar), c = prev;
        while (c > clear) stack.push_back(suffix[c]), c = prefix[c];
        stack.push_back(firstChar = suffix[c]);
        if (next < 4096) {
            prefix[next] = prev, suffix[next] = firstChar, ++next;
            if (((next + early) & mask) == 0 && next + early < 4096) ++width, mask += next + early;
        }
        prev = code;
        while (!stack.empty()) emit(stack.back()), stack.pop_back();
    }
    r.status = failed ? vc::Result::damaged : vc::Result::ok;
    return r;
}

// Mostly valid codes with clears, bad codes when asked, and (longStrings)
// recent entries again and again so that strings grow and the table fills;
// with runs, mostly the next free code (a run grows by one byte) or a code
// seen before.
std::vector<uint8_t> generate(std::mt19937 &rng, unsigned s, BitOrder order, unsigned early, size_t codes,
                              bool withBad, bool withEnd, bool longStrings, bool runs = false) {
    Codes p;
    const uint32_t clear = 1u << s;
    unsigned width = s + 1;
    uint32_t next = clear + 2;
    bool fresh = true;
    std::vector<uint32_t> seen;
    p.push_back({clear, width});
    for (size_t i = 0; i < codes; ++i) {
        uint32_t code;
        const unsigned roll = rng() % 1000;
        if (roll < 3 && !longStrings)
            code = clear;
        else if (runs && !fresh && roll < 900)
            code = roll < 800 || seen.empty() ? next : seen[rng() % seen.size()];
        else if (longStrings && !fresh && roll < 900 && next > clear + 2)
            code = next - rng() % std::min<uint32_t>(8, next - clear - 1);
        else if (withBad && fresh && roll < 100 && (clear + 2) >> width == 0)
            code = clear + 2;  // names no string yet
        else if (withBad && roll < 5)
            code = std::min<uint32_t>(next + 1 + rng() % 5, (1u << width) - 1);
        else if (fresh || roll < 300)
            code = rng() % clear;
        else
            code = std::min<uint32_t>(clear + 2 + rng() % (next - clear - 1), next);
        p.push_back({code, width});
        if (code == clear) {
            width = s + 1, next = clear + 2, fresh = true, seen.clear();
        } else if (code <= next && !std::exchange(fresh, false) && next < 4096) {
            ++next;
            if (((next + early) & ((1u << width) - 1)) == 0 && next + early < 4096) ++width;
        }
        if (runs && code != clear && code < next) seen.push_back(code);
    }
    if (withEnd) p.push_back({clear + 1, width});
    return stilltest::packCodes(p, order == BitOrder::LsbFirst);
}

// s = 2 in all but the last case: clear 4, end 5, codes 3 bits wide. The
// code width's growth, the end code, a failure and a full buffer are the
// reference test's, which meets each in every round.
TEST(Lzw, RulesOnHandMadeStreams) {
    const struct {
        const char *what;
        unsigned s;
        Codes codes;
        size_t capacity;
        vc::lzw::DecodeResult want;  // status, produced, sawEnd
        std::vector<uint8_t> out;
    } cases[] = {
        {"the next free code first: the last byte of its string before the clear, then one byte of its own", 2,
         {{4, 3}, {1, 3}, {2, 3}, {4, 3}, {6, 3}, {3, 3}, {6, 3}, {5, 4}}, 8, {Result::ok, 6, true}, {1, 2, 2, 3, 2, 3}},
        {"the next free code after two clears: the string of the run before the last one, not the last one's", 2,
         {{4, 3}, {1, 3}, {2, 3}, {4, 3}, {3, 3}, {4, 3}, {6, 3}, {5, 3}}, 8, {Result::ok, 4, true}, {1, 2, 3, 2}},
        {"the next free code first in the stream: 0, and again as code == next", 2,
         {{6, 3}, {6, 3}, {5, 3}}, 4, {Result::ok, 3, true}, {0, 0, 0}},
        {"code size 12 would overflow the table", 12, {{0, 13}, {1, 13}, {4097, 13}}, 16, {Result::damaged, 0, false}, {}},
    };
    for (const auto &c : cases) {
        const auto in = stilltest::packCodes(c.codes, true);
        std::vector<uint8_t> out(c.capacity);
        auto r = vc::lzw::decode(in.data(), in.size(), out.data(), c.capacity, {c.s, BitOrder::LsbFirst, 0});
        const auto &w = c.want;
        EXPECT_EQ((std::tuple{r.status, r.produced, r.sawEnd}), (std::tuple{w.status, w.produced, w.sawEnd})) << c.what;
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + long(c.out.size())), c.out) << c.what;
    }
}

// Both bit orders, with and without early change, full tables, clears, bad
// codes, tight buffers, missing end codes and plain random bytes: the same
// result as the reference, 16 zeros behind the output (pixels an early end
// never reached read as index 0) and nothing past the buffer. stopWhenFull
// keeps the same bytes and stops counting at the string that overflows.
TEST(Lzw, MatchesTheReference) {
    std::mt19937 rng(12345);
    auto check = [](const std::vector<uint8_t> &in, size_t capacity, vc::lzw::DecodeParams p, int round) {
        std::vector<uint8_t> expect;
        const auto want = reference(in, expect, capacity, p.minCodeSize, p.order, p.earlyChange);
        const size_t n = std::min<uint64_t>(capacity, want.produced);
        std::vector<uint8_t> tail(std::min<size_t>(16, capacity - n), 0);
        tail.resize(capacity + 16 - n, 0x5A);
        for (bool stop : {false, true}) {
            p.stopWhenFull = stop;
            std::vector<uint8_t> got(capacity + 16, 0x5A);
            const auto r = vc::lzw::decode(in.data(), in.size(), got.data(), capacity, p);
            SCOPED_TRACE(testing::Message() << p.minCodeSize << "/" << int(p.order) << "/" << p.earlyChange << "/"
                                            << round << "/" << stop);
            if (!stop || want.produced <= capacity)
                ASSERT_EQ((std::tuple{r.status, r.produced, r.sawEnd}),
                          (std::tuple{want.status, want.produced, want.sawEnd}));
            else
                ASSERT_TRUE(!r.sawEnd && r.produced >= capacity && r.produced <= want.produced);
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + long(n), expect.begin()));
            ASSERT_EQ(std::vector<uint8_t>(got.begin() + long(n), got.end()), tail);
            // With one table kept across every stream of the test, of every
            // minimum code size and bit order, as the TIFF reader keeps one
            // for a picture's strips: the same result.
            static vc::lzw::Table kept;
            std::vector<uint8_t> reused(capacity + 16, 0x5A);
            const auto k = vc::lzw::decode(in.data(), in.size(), reused.data(), capacity, p, kept);
            ASSERT_EQ((std::tuple{k.status, k.produced, k.sawEnd}), (std::tuple{r.status, r.produced, r.sawEnd}));
            ASSERT_EQ(reused, got);
            // The same stream fed in pieces (an empty one first, then up to
            // 300 bytes, or 0 to 2 in some rounds), as the GIF reader feeds
            // its sub-blocks: the same output.
            if (stop) continue;
            std::vector<uint8_t> again(capacity + 16, 0x5A);
            vc::lzw::Decoder d(again.data(), capacity, p);
            for (size_t at = 0, k = 0; at < in.size(); ++k) {
                const size_t piece = std::min(in.size() - at, k * 37 % (round % 4 == 1 ? 3 : 301));
                if (!d.feed(in.data() + at, piece)) break;
                at += piece;
            }
            const auto fed = d.finish();
            ASSERT_EQ((std::tuple{fed.status, fed.produced, fed.sawEnd}), (std::tuple{r.status, r.produced, r.sawEnd}));
            ASSERT_EQ(again, got);
        }
    };
    for (unsigned s : {0u, 1u, 2u, 3u, 4u, 7u, 8u, 11u})
        for (auto order : {BitOrder::LsbFirst, BitOrder::MsbFirst})
            for (unsigned early : {0u, 1u})
                for (int round = 0; round < 8; ++round)
                    check(generate(rng, s, order, early, round < 2 ? 100 : 9000, round % 3 == 2, round % 2 == 0,
                                   round == 4 || round == 5, round >= 6),
                          round == 3 || round == 7 ? 7777 : 300000, {s, order, early}, round);
    // A flat row as TIFF codes it, most significant bit first: a root, then
    // a chain of codes that each name the entry just made, up to and past a
    // change of code width, ended by a code that names no entry yet.
    for (unsigned early : {0u, 1u})
        for (unsigned k = 236; k < 262; ++k) {
            Codes p{{256, 9}, {7, 9}};
            unsigned width = 9;
            for (uint32_t next = 258; next < 258 + k;) {
                p.push_back({next, width});
                if (((++next + early) & ((1u << width) - 1)) == 0) ++width;
            }
            p.push_back({258 + k + 1, width});
            p.push_back({257, width});
            check(stilltest::packCodes(p), 40000, {8, BitOrder::MsbFirst, early}, int(k));
        }
    // Nearly a run: k 7s and a byte one bit apart from 7, then the code
    // that names that string followed by its first byte.
    for (uint32_t odd : {0x87u, 0x06u})
        for (uint32_t k = 2; k < 16; ++k) {
            Codes p{{256, 9}, {7, 9}};
            for (uint32_t c = 258; c < 258 + k - 1; ++c) p.push_back({c, 9});
            for (uint32_t c : {odd, 258 + k - 1, 258 + k + 1, 257u}) p.push_back({c, 9});
            check(stilltest::packCodes(p), 400, {8, BitOrder::MsbFirst, 1}, int(k));
        }
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> in(rng() % 400);
        for (auto &b : in) b = uint8_t(rng());
        const unsigned s = rng() % 12;
        check(in, rng() % 64, {s, BitOrder::LsbFirst, 0}, round);
    }
}

}  // namespace
