// PCX reader and writer: pcxtoppm reads what the core writes, exact bytes
// of headers and runs, the run-length coders against byte-by-byte coding,
// the reader's layout and palette rules, and odd or hostile files end in
// their results (netpbm's files and Debian's pictures: StillFiles in
// still_cores_test.cpp).
#include <filesystem>
#include <tuple>

#include "codecs/pcx_core.h"
#include "stills/pcx.h"
#include "still_support.h"

using namespace stilltest;

namespace {

// The core's result on a file and, when it reads, its picture.
vc::Result read(const Bytes &file, vc::Picture *out = nullptr) {
    vc::Picture p;
    return vc::decodePcx(file, {}, out ? *out : p);
}

// What the core writes of a picture (the save writes the same: StillCore).
Bytes written(const Image &img) {
    Bytes out;
    EXPECT_EQ(vc::encodePcx(pictureOf(img), {}, out), vc::Result::ok);
    return out;
}

class Pcx : public StillTest {
protected:
    Pcx() { code = CONV_FMT_PCX; }
};

TEST(PcxCore, ExactBytesOfHeadersRunsAndPaletteBlock) {
    // 17 x 1 at 8 bits with 100 colours: 18 bytes a line, 8 scan lines (the
    // last 7 blank), a palette block of 100 colours and zeros.
    std::vector<Rgb> colours;
    for (int i = 0; i < 100; ++i) colours.push_back(rgb(uint8_t(i), uint8_t(2 * i), uint8_t(3 * i)));
    Bytes f = written(picture(17, 1, [](int x, int) { return uint32_t(x * 5); }, 8, colours));
    Bytes expected = Bytes{10, 5, 1, 8, 0, 0, 0, 0, 16, 0, 0, 0, 128, 2, 224, 1} + Bytes(49, 0) +
                     Bytes{1, 18, 0, 1, 0} + Bytes(58, 0);
    for (int x = 0; x < 17; ++x) expected.push_back(uint8_t(x * 5));  // all below 192: no counts
    expected.push_back(0);
    for (int i = 0; i < 7; ++i) expected.insert(expected.end(), {0xC0 + 18, 0});
    expected.push_back(12);
    for (Rgb c : colours) expected.insert(expected.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    expected.resize(expected.size() + 3 * 156, 0);
    EXPECT_EQ(f, expected);

    // 4 bits, 10 colours: header palette entries 10-15 zero; widths round to
    // 16 pixels, so 17 takes 4 bytes a plane line.
    Image four = picture(17, 33, [](int, int) { return 9u; }, 4, std::vector<Rgb>(10, rgb(200, 9, 7)));
    f = written(four);
    EXPECT_EQ(Bytes(f.begin() + 16 + 27, f.begin() + 16 + 48 + 2), (Bytes{200, 9, 7} + Bytes(18, 0) + Bytes{0, 4}));
    EXPECT_EQ(f[66], 4);
    vc::Picture back;
    ASSERT_EQ(read(f, &back), vc::Result::ok);
    EXPECT_EQ(imageOf(back).index(16, 32), 9u);

    // At 24 bits the red line's end and the green line's start are one run;
    // scan lines are never joined. Pixels (9, 9, 9) and (9, 9, 4).
    f = written(picture(2, 2, [](int x, int) { return x ? 0x090904u : 0x090909u; }));
    expected = {0xC5, 9, 4, 0xC5, 9, 4};
    for (int i = 0; i < 6; ++i) expected.insert(expected.end(), {0xC6, 0});
    EXPECT_EQ(Bytes(f.begin() + 128, f.end()), expected);
}

// Each way of decoding this processor runs gives what expanding byte by byte
// gives: on hand-made edge cases (a count of 0 yields nothing; a run clipped
// at the output's end; a count as the last byte, seen inside a whole word,
// has no value and what the word-wide copy spilled is cleared), and on long
// streams of each mix of literals, lone bright bytes (count after count),
// empty runs and long runs, with the output cut short or not; whole, and in
// pieces whose runs go on in the next piece.
TEST_F(Pcx, RunLengthDecoderMatchesExpandingByteByByte) {
    auto reference = [](const Bytes &in, size_t capacity) {
        Bytes out;
        for (size_t i = 0; i < in.size() && out.size() < capacity; ++i) {
            if (in[i] < 0xC0) {
                out.push_back(in[i]);
            } else if (i + 1 < in.size()) {
                out.insert(out.end(), std::min<size_t>(in[i] & 0x3F, capacity - out.size()), in[i + 1]);
                ++i;
            }
        }
        return out;
    };
    std::vector<std::pair<Bytes, size_t>> inputs = {  // input, capacity
        {{0xC0, 77, 0xC5, 3, 0xC0, 1, 8}, 8},
        {{0xFF, 1, 0xFF, 2}, 10},
        {{1, 2, 3, 4, 5, 6, 7, 0xC3}, 200},
        {{1, 2, 3, 4, 5, 6, 7, 0xC3, 9}, 200}};
    // Percent of bytes at 192 or more, and of those the percent with counts
    // of any length rather than 1 or 2 (a photograph's).
    const std::pair<int, int> mixes[] = {{0, 100}, {10, 100}, {50, 100}, {90, 100}, {100, 100},
                                         {20, 0},  {50, 1},   {90, 0},   {50, 5},  {3, 0}};
    uint32_t seed = 7;
    for (auto [high, anyCount] : mixes)
        for (size_t capacity : {size_t(300), size_t(5000), size_t(1) << 20}) {
            Bytes in(20000);
            for (uint8_t &b : in) {
                seed = seed * 1103515245u + 12345u;
                const int count = int(seed >> 16) % 100 < anyCount ? int(seed >> 8) % 64 : 1 + int(seed >> 8) % 2;
                b = uint8_t(int(seed >> 25) % 100 < high ? 0xC0 + count : (seed >> 8) % 192);
            }
            inputs.push_back({in, capacity});
        }
    using vc::pcx::RleWay;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const auto &[in, capacity] = inputs[i];
        SCOPED_TRACE(testing::Message() << "input " << i << ", capacity " << capacity);
        const Bytes expected = reference(in, capacity);
        auto same = [&](const Bytes &out, size_t produced) {
            ASSERT_EQ(produced, expected.size());
            EXPECT_EQ(Bytes(out.begin(), out.begin() + long(produced)), expected);
            // Past the bytes produced: what the stores spilled is cleared, nothing past the end.
            EXPECT_TRUE(std::all_of(out.begin() + long(produced), out.begin() + long(capacity),
                                    [](uint8_t b) { return b == 0 || b == 0xEE; }));
            EXPECT_EQ(out[capacity], 0xEE);
        };
        for (auto way : {RleWay::bytes, RleWay::words, RleWay::blocksPlain, RleWay::blocks, RleWay::shuffles,
                         RleWay::compress}) {
            if (!vc::pcx::rleWayRuns(way)) continue;
            SCOPED_TRACE(testing::Message() << "way " << int(way));
            Bytes out(capacity + 100, 0xEE);
            vc::pcx::RleState whole;
            same(out, vc::pcx::decodeRle(in.data(), in.size(), whole, out.data(), capacity, way));
        }
        Bytes out(capacity + 100, 0xEE), pieces(capacity + 1, 0xEE);
        same(out, vc::pcx::decodeRle(in.data(), in.size(), out.data(), capacity));
        vc::pcx::RleState state;
        size_t produced = 0;
        for (size_t at = 0, n; at < capacity; at += n) {
            n = std::min(capacity - at, 97 + at % 3001);
            produced += vc::pcx::decodeRle(in.data(), in.size(), state, pieces.data() + at, n);
        }
        same(pieces, produced);
    }
}

// The line coder's word-wide stretches give the bytes that counting byte by
// byte gives: an equal pair or a byte that needs a count at every place in
// and around a word.
TEST_F(Pcx, LineCoderMatchesCountingByteByByte) {
    auto reference = [](const Bytes &line) {
        Bytes out;
        for (size_t i = 0; i < line.size();) {
            size_t run = 1;
            while (i + run < line.size() && line[i + run] == line[i] && run < 63) ++run;
            if (run > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 + run));
            out.push_back(line[i]);
            i += run;
        }
        return out;
    };
    for (size_t at = 0; at < 20; ++at)
        for (uint8_t odd : {uint8_t(0), uint8_t(0xC1)}) {  // a pair, or a lone byte that needs a count
            Bytes line(30);
            for (size_t k = 0; k < line.size(); ++k) line[k] = uint8_t(k + 1);
            if (odd) line[at] = odd;
            else line[at + 1] = line[at];
            Bytes out(2 * line.size());
            out.resize(vc::pcx::encodeLine(line.data(), line.size(), out.data()));
            EXPECT_EQ(out, reference(line)) << at << " " << int(odd);
        }
}

TEST_F(Pcx, ReaderLayoutAndPaletteRules) {
    // Xmin 10 .. Xmax 19 is 10 wide, not shifted; 300 dpi is still 2953.
    Bytes f = pcxHeader(10, 5, 1, 8, 20, 1, 1, 10, 10);
    f[12] = 44, f[13] = 1;
    Bytes pal(769, 0);
    pal[0] = 12, pal[1 + 42 * 3] = 250;
    f = f + Bytes{0xCA, 42} + pal;
    vc::Picture p;
    ASSERT_EQ(read(f, &p), vc::Result::ok);
    EXPECT_EQ(p.width, 10);
    EXPECT_EQ(imageOf(p).pixel(9, 0), rgb(250, 0, 0));
    EXPECT_EQ(p.xPelsPerMeter, 2953);
    ASSERT_EQ(load(f), CONV_OK);  // the importer's block says every colour matters
    EXPECT_EQ(header.biClrImportant, 256u);
    ASSERT_EQ(load(pcxHeader(10, 5, 0, 8, 1, 1, 3, 2) + Bytes{1, 0, 2, 0, 3, 0}), CONV_OK);
    EXPECT_EQ(header.biClrImportant, 0u);  // 24 bits: none
    f[f.size() - 769] = 13;
    EXPECT_EQ(read(f), vc::Result::unsupported);  // palette marker missing
    // Version 3 takes the default palette over the header's; encoding 2 is
    // run-length; a stream that ends early leaves the rows at index 0.
    f = pcxHeader(10, 3, 2, 1, 8, 2, 1, 2);
    std::fill(f.begin() + 16, f.begin() + 22, 0x55);
    f = f + Bytes{0xC2, 0xF0};
    ASSERT_EQ(read(f, &p), vc::Result::ok);
    EXPECT_EQ(std::tuple(imageOf(p).pixel(0, 0), imageOf(p).pixel(7, 0), imageOf(p).pixel(0, 1)),
              std::tuple(rgb(0, 0, 128), rgb(0, 0, 0), rgb(0, 0, 0)));
    f[1] = 5;
    ASSERT_EQ(read(f, &p), vc::Result::ok);
    EXPECT_EQ(imageOf(p).pixel(0, 0), rgb(0x55, 0x55, 0x55));
    // The default palette colour by colour: 16 pixels 0..15 in four bit planes.
    f = pcxHeader(10, 3, 0, 1, 16, 1, 4, 2) + Bytes{0x55, 0x55, 0x33, 0x33, 0x0F, 0x0F, 0x00, 0xFF};
    ASSERT_EQ(read(f, &p), vc::Result::ok);
    const Rgb ega[16] = {rgb(0, 0, 0),       rgb(0, 0, 128),   rgb(0, 128, 0),   rgb(0, 128, 128),
                         rgb(128, 0, 0),     rgb(128, 0, 128), rgb(128, 128, 0), rgb(128, 128, 128),
                         rgb(192, 192, 192), rgb(0, 0, 255),   rgb(0, 255, 0),   rgb(0, 255, 255),
                         rgb(255, 0, 0),     rgb(255, 0, 255), rgb(255, 255, 0), rgb(255, 255, 255)};
    for (int x = 0; x < 16; ++x) EXPECT_EQ(imageOf(p).pixel(x, 0), ega[x]) << x;
}

TEST_F(Pcx, OddAndHostileFilesEndInResultCodes) {
    using enum vc::Result;
    auto changed = [](Bytes f, size_t at, uint8_t v) { return f[at] = v, f; };
    const Bytes four = pcxHeader(10, 5, 0, 4, 4, 4, 1, 2) + Bytes(8, 0);
    Bytes overrun = pcxHeader(10, 5, 1, 1, 16, 4, 4, 2);
    for (int i = 0; i < 40; ++i) overrun = overrun + Bytes{0xFF, 0xA5};
    const std::tuple<const char *, Bytes, vc::Result> cases[] = {
        {"4 bits in one plane", four, damaged},
        {"2 bits", changed(four, 3, 2), unsupported},
        {"24 bits in one plane", changed(four, 3, 24), damaged},
        {"not a PCX file at all", changed(four, 0, 11), notFormat},
        {"shorter than a header", Bytes(100, 10), readFailed},
        {"shorter than the palette block", pcxHeader(10, 5, 1, 8, 4, 4, 1, 4) + Bytes(372, 0), readFailed},
    };
    for (const auto &[what, file, result] : cases) EXPECT_EQ(read(file), result) << what;
    // Runs that overrun every line.
    vc::Picture p;
    ASSERT_EQ(read(overrun, &p), ok);
    EXPECT_EQ(p.rowFromTop(3)[0] >> 4, 15);  // index 15 at the left
    // The importer's own: a missing file, and no load without an output record.
    void *block = reinterpret_cast<void *>(1);
    EXPECT_EQ(vc::LoadPcxImage(path("missing.pcx").c_str(), &block), openFailed);
    EXPECT_EQ(block, nullptr);
    uint8_t code = 0;
    EXPECT_EQ(LoadConvImage(nullptr, writeFile("g.pcx", four).c_str(), nullptr, &code, 0, nullptr), CONV_E_FORMAT);
}

// (Refused memory: the sweep of every writer.)
TEST_F(Pcx, WriterFailuresAndProgress) {
    Bytes two = host::toPackedDib(picture(40, 9, [](int x, int y) { return uint32_t(x * 0x0107C8 + y * 7); }));
    two[14] = 2;  // a 2-bit block: refused, the file created and left empty
    EXPECT_EQ(StillTest::save(two, path("two.pcx")), CONV_E_UNSUPPORTED);
    EXPECT_EQ(std::filesystem::file_size(path("two.pcx")), 0u);
    EXPECT_EQ(SaveConvImage(nullptr, path("no/dir.pcx").c_str(), nullptr, CONV_FMT_PCX, 0, nullptr), CONV_E_CREATE);
    // Progress: rows 0..50, then lines 50..100.
    std::vector<int32_t> seen;
    Bytes small = host::toPackedDib(picture(3, 4, [](int, int) { return 0x010101u; }));
    EXPECT_EQ(StillTest::save(small, path("p.pcx"), &seen), CONV_OK);
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 12, 25, 37, 50, 56, 62, 68, 75, 81, 87, 93}));
    // Raw planes (encoding 0 in the header) follow the header as they are,
    // and their rows take the whole progress.
    seen.clear();
    vc::CoreRequest request;
    request.progress = {[](void *c, int32_t v) { return static_cast<std::vector<int32_t> *>(c)->push_back(v), true; },
                        &seen};
    Bytes raw;
    ASSERT_EQ(vc::encodePcx(pictureOf(picture(3, 4, [](int, int) { return 0x0A0B0Cu; })), {.encoded = false}, request,
                            raw),
              vc::Result::ok);
    EXPECT_EQ(raw[2], 0);
    EXPECT_EQ(Bytes(raw.begin() + 128, raw.begin() + 134), (Bytes{0x0A, 0x0A, 0x0A, 0, 0x0B, 0x0B}));
    EXPECT_EQ(raw.size(), 128u + 8 * 3 * 4);  // eight scan lines, as coded files have
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 25, 50, 75}));
}

}  // namespace
