// TIFF: the reader on files built tag by tag (both byte orders, the kinds,
// strip arrays, resolutions, refusals in their order, hostile offsets and
// streams); the writer's exact bytes, failures and progress (tifftopnm
// reading what it writes: StillCore); the strip codings on their own
// (PackBits, and LZW against a plain dictionary coder, damaged streams
// included).
#include <filesystem>
#include <random>
#include <tuple>
#include <unordered_map>

#include "codecs/packbits.h"
#include "codecs/tiff_core.h"
#include "stills/tiff.h"
#include "codecs/tiff_lzw.h"
#include "still_support.h"

using namespace stilltest;

namespace {

// The core's result on a file and, when it reads, its picture.
vc::Result read(const Bytes &file, Image *img = nullptr) {
    vc::Picture p;
    const vc::Result r = vc::decodeTiff(file, vc::CoreRequest{}, p);
    if (img) *img = imageOf(p);
    return r;
}

class TiffTest : public StillTest {
protected:
    TiffTest() { code = CONV_FMT_TIFF; }
};

TEST(TiffCore, KindsByteOrdersAndStripArrays) {
    std::vector<std::tuple<Bytes, int, int, Rgb>> cases;  // a file, a pixel and its colour
    for (bool big : {false, true}) {
        cases.push_back({tiffOf(big, 3, 2, 8, 1, {0, 100, 255, 7, 8, 9}).build(), 2, 1, rgb(9, 9, 9)});
        // RGB is stored red first and arrives blue first.
        cases.push_back({tiffOf(big, 2, 1, 8, 2, {1, 2, 3, 4, 5, 6}, 1, 3).build(), 1, 0, rgb(4, 5, 6)});
        // Two one-row strips: offsets as two SHORTs in the field, counts as LONGs elsewhere.
        TiffBuilder t = tiffOf(big, 3, 2, 8, 1, {});
        uint32_t a = t.blob({10, 11, 12}), b = t.blob({20, 21, 22});
        t.tag(273, a | b << 16, 3, 2), t.tag(279, t.array({3, 3}, 4), 4, 2), t.shortTag(278, 1);
        cases.push_back({t.build(), 2, 1, rgb(22, 22, 22)});
    }
    // Three strips in reverse file order, SHORT offsets and counts stored elsewhere.
    TiffBuilder t = tiffOf(false, 2, 3, 8, 1, {});
    uint32_t a = t.blob({1, 2}), b = t.blob({3, 4}), c = t.blob({5, 6});
    t.tag(273, t.array({c, b, a}, 2), 3, 3), t.tag(279, t.array({2, 2, 2}, 2), 3, 3), t.shortTag(278, 1);
    cases.push_back({t.build(), 1, 2, rgb(2, 2, 2)});
    cases.push_back({tiffOf(false, 8, 1, 1, 0, {0x70}).build(), 0, 0, 0xFFFFFF});  // white-is-zero
    cases.push_back({tiffOf(false, 8, 1, 1, 0, {0x70}).build(), 1, 0, 0});
    cases.push_back({tiffOf(false, 2, 1, 4, 1, {0x1F}).build(), 0, 0, rgb(17, 17, 17)});  // a 4-bit ramp
    cases.push_back({tiffOf(false, 2, 1, 4, 0, {0x1F}).build(), 0, 0, rgb(238, 238, 238)});
    // Palette: the high bytes of the 16-bit ColorMap values.
    t = tiffOf(false, 2, 1, 4, 3, {0x01});
    std::vector<uint32_t> map(48, 0);
    map[0] = 0xFF00, map[1] = 0x00FF, map[17] = 0x8000, map[33] = 0x1234;
    t.tag(320, t.array(map, 2), 3, 48);
    cases.push_back({t.build(), 0, 0, rgb(255, 0, 0)});
    cases.push_back({t.build(), 1, 0, rgb(0, 0x80, 0x12)});
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto &[file, x, y, colour] = cases[i];
        Image img;
        ASSERT_EQ(read(file, &img), vc::Result::ok) << "case " << i;
        EXPECT_EQ(img.pixel(x, y), colour) << "case " << i;
    }
}

TEST(TiffCore, ResolutionToPelsPerMetre) {
    // XResolution (none when 0 / 0), ResolutionUnit (none when 0), the pels
    // per metre across, and down for a YResolution of 300. 3/5 and 2921/5
    // land on whole numbers in double precision, just below them in 80 bits.
    const std::tuple<uint32_t, uint32_t, uint16_t, int32_t, int32_t> cases[] = {
        {72, 1, 2, 2834, 11811}, {144, 2, 0, 2834, 11811}, {0, 0, 1, 2953, 11811},
        {0, 0, 2, 0, 11811},     {5, 0, 1, 2953, 11811},   {0xFFFFFFFFu, 1, 3, INT32_MAX, 30000},
        {3, 5, 3, 60, 30000},    {2921, 5, 2, 23000, 11811}};
    for (const auto &[num, den, unit, x, y] : cases) {
        TiffBuilder t = tiffOf(true, 1, 1, 8, 1, {0});
        if (num) t.tag(282, t.array({num, den}, 4), 5);
        t.tag(283, t.array({300, 1}, 4), 5);
        if (unit) t.shortTag(296, unit);
        vc::Picture p;
        ASSERT_EQ(vc::decodeTiff(t.build(), {}, p), vc::Result::ok);
        EXPECT_EQ(std::pair(p.xPelsPerMeter, p.yPelsPerMeter), std::pair(x, y)) << num << "/" << den << " unit " << unit;
    }
}

TEST(TiffCore, RefusedAndHostileFilesGetTheirCodes) {
    using enum vc::Result;
    const Bytes good = tiffOf(false, 4, 4, 8, 1, Bytes(16, 9)).build();
    auto patched = [&](size_t at, Bytes bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    auto with = [](std::function<void(TiffBuilder &)> change, Bytes data = Bytes(16, 9), uint16_t compression = 1,
                   uint32_t w = 4, uint32_t h = 4) {
        TiffBuilder t = tiffOf(false, w, h, 8, 1, data, compression);
        change(t);
        return t.build();
    };
    auto set = [&](uint16_t tag, uint16_t v) { return with([=](TiffBuilder &t) { t.shortTag(tag, v); }); };
    auto none = [](TiffBuilder &) {};
    const std::tuple<const char *, Bytes, vc::Result> cases[] = {
        {"shorter than a header", Bytes(good.begin(), good.begin() + 7), notFormat},
        {"42 in the wrong order", {'I', 'I', 0, 42, 8, 0, 0, 0}, notFormat},
        {"byte orders mixed", {'I', 'X', 42, 0, 8, 0, 0, 0}, notFormat},
        {"IFD offset 0", patched(4, {0, 0, 0, 0}), unsupported},
        {"IFD outside", patched(4, {0xF0, 0xFF, 0, 0}), unsupported},
        {"IFD at the last byte", patched(4, {uint8_t(good.size() - 1), 0}), unsupported},
        {"entry count past the end", patched(24, {0xFF, 0x7F}), unsupported},
        {"CCITT RLE", set(259, 2), damaged},
        {"JPEG", set(259, 7), damaged},
        {"kind before compression", with([](auto &t) { t.shortTag(259, 2), t.shortTag(262, 9); }), unsupported},
        {"FillOrder 2", set(266, 2), unsupported},
        {"planar", set(284, 2), unsupported},
        {"2-bit grey", set(258, 2), unsupported},
        {"16-bit grey", set(258, 16), unsupported},
        {"three 16-bit samples of a grey pixel",
         with([](TiffBuilder &t) { t.tag(258, t.array({16, 16, 16}, 2), 3, 3); }), unsupported},
        {"RGB with a fourth BitsPerSample",
         [] {
             TiffBuilder t = tiffOf(false, 1, 1, 8, 2, {1, 2, 3}, 1, 3);
             t.tag(258, t.array({8, 8, 8, 8}, 2), 3, 4);
             return t.build();
         }(),
         ok},
        {"RGB of one sample", set(262, 2), unsupported},
        {"palette without ColorMap", set(262, 3), unsupported},
        {"ColorMap outside", with([](auto &t) { t.shortTag(262, 3), t.tag(320, 9, 3, 768); }), unsupported},
        {"no StripOffsets", with([](TiffBuilder &t) { t.entries.erase(t.entries.begin() + 5); }), unsupported},
        {"no strips", with([](TiffBuilder &t) { t.tag(273, 8, 4, 0); }), unsupported},
        {"huge LZW", with(none, Bytes(16, 9), 5, 0xFFFFFFFFu, 1), unsupported},
        {"width 0", with(none, Bytes(16, 9), 1, 0), unsupported},
        {"1-bit page 2400 times its file's size",
         with([](auto &t) { t.shortTag(258, 1); }, {0x9D, 0}, 32773, 800, 2000), ok},
    };
    for (const auto &[what, file, result] : cases) EXPECT_EQ(read(file), result) << what;
    // A compression not read is told before the picture is allocated.
    vc::CoreRequest small;
    small.limits.largestPicture = 15;
    vc::Picture p;
    EXPECT_EQ(vc::decodeTiff(set(259, 7), small, p), damaged);

    // Damage inside the strips keeps what was read; the rest stays index 0.
    // Clear, 'A' x 4, 'B' x 4 as literals, then code 300 beyond the table.
    const Bytes lzw = packCodes({{256, 9}, {65, 9}, {65, 9}, {65, 9}, {65, 9}, {66, 9}, {66, 9}, {66, 9}, {66, 9},
                                 {300, 9}, {67, 9}});
    const std::tuple<const char *, Bytes, int, int, uint8_t> damages[] = {  // a pixel's grey value
        {"strip offset past the end", with([](TiffBuilder &t) { t.tag(273, 100000); }), 0, 0, 0},
        {"rows cut by the end of the file", patched(26 + 5 * 12 + 8, {uint8_t(good.size() - 6)}), 3, 3, 0},
        {"RowsPerStrip 0 is one strip", set(278, 0), 3, 3, 9},
        {"PackBits run overrunning a row", with(none, {0xFD, 7, 0x7F, 1, 2}, 32773, 4, 2), 3, 0, 7},
        {"PackBits literal overrunning the strip", with(none, {0xFD, 7, 0x7F, 1, 2}, 32773, 4, 2), 2, 1, 0},
        {"byte count past the end", with([](auto &t) { t.tag(279, 0x7FFFFFFF); }, {0xFD, 5}, 32773, 4, 1), 3, 0, 5},
        {"LZW rows before the bad code", with(none, lzw, 5, 4, 3), 3, 1, 66},
        {"LZW rows after the bad code", with(none, lzw, 5, 4, 3), 0, 2, 0},
    };
    for (const auto &[what, file, x, y, value] : damages) {
        Image img;
        ASSERT_EQ(read(file, &img), ok) << what;
        EXPECT_EQ(img.pixel(x, y), rgb(value, value, value)) << what;
    }
}

// ---- Writer -------------------------------------------------------------------------

TEST(TiffCore, ExactBytesOfAnUncompressedPaletteImage) {
    vc::Picture p = pictureOf(picture(3, 2, [](int x, int y) { return uint32_t(x + 3 * y) % 3; }, 8,
                                      {rgb(255, 0, 0), rgb(0, 255, 0), rgb(1, 2, 3)}));
    p.xPelsPerMeter = 2953, p.yPelsPerMeter = 3937;
    Bytes f;
    ASSERT_EQ(vc::encodeTiff(p, {vc::tiff::kUncompressed, 8, fixedClock}, {}, f), vc::Result::ok);
    Bytes expected = {'I', 'I', 42, 0, 14, 0, 0, 0, 0, 1, 2, 0, 1, 2, 20, 0};
    const uint32_t entries[20][4] = {
        {254, 4, 1, 0},   {255, 3, 1, 1},   {256, 4, 1, 3},     {257, 4, 1, 2},     {258, 3, 1, 8},
        {259, 3, 1, 1},   {262, 3, 1, 3},   {266, 3, 1, 1},     {273, 4, 1, 8},     {274, 3, 1, 1},
        {277, 3, 1, 1},   {278, 3, 1, 2730}, {279, 4, 1, 6},    {282, 5, 1, 260},   {283, 5, 1, 268},
        {284, 3, 1, 1},   {296, 3, 1, 3},   {305, 2, 14, 276},  {306, 2, 20, 290},  {320, 3, 768, 310}};
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) expected.push_back(uint8_t(v >> 8 * i));
    };
    for (auto &e : entries) put(e[0], 2), put(e[1], 2), put(e[2], 4), put(e[3], 4);
    put(0, 4);
    for (uint32_t v : {2953, 100, 3937, 100}) put(v, 4);
    const char text[] = "Velmora V2.5\0\0" "2026:03:04 05:06:07";
    expected.insert(expected.end(), text, text + sizeof text);
    Bytes map(1536, 0);
    map[1] = 0xFF, map[512 + 3] = 0xFF;                 // red 0, green 1: 0xFF00
    map[5] = 1, map[512 + 5] = 2, map[1024 + 5] = 3;  // colour 2: 0x0100, 0x0200, 0x0300
    expected.insert(expected.end(), map.begin(), map.end());
    EXPECT_EQ(f, expected);
    // Rows per strip are held to what a SHORT holds: 64 KiB strips of 1-byte rows.
    p = pictureOf(picture(1, 2, [](int, int) { return 0u; }, 8, {rgb(0, 0, 0)}));
    ASSERT_EQ(vc::encodeTiff(p, {vc::tiff::kUncompressed, 64, fixedClock}, {}, f), vc::Result::ok);
    const uint8_t *rowsPerStrip = f.data() + vc::loadLe32(f.data() + 4) + 2 + 11 * 12;
    EXPECT_EQ(std::tuple(vc::loadLe16(rowsPerStrip), vc::loadLe32(rowsPerStrip + 8)), std::tuple(278, 65535u));
}

// The importer's and the exporter's own rules: a file the importer cannot
// read, and one of mixed byte orders (called directly, without the front
// door's look at the signature); a depth or compression the writer does not
// take, nothing created (refused memory: the sweep of every writer); the
// save's options and progress.
TEST_F(TiffTest, ImporterAndExporterFailuresAndProgress) {
    vc::MemHandle missing = nullptr;
    EXPECT_EQ(vc::LoadTiffImage(path("missing.tif").c_str(), &missing), vc::Result::readFailed);
    Bytes mixedOrder = tiffOf(true, 4, 4, 8, 1, Bytes(16, 9)).build();
    mixedOrder[0] = 'I';
    EXPECT_EQ(vc::LoadTiffImage(writeFile("mixed.tif", mixedOrder).c_str(), &missing), vc::Result::unsupported);

    Image img = picture(40, 300, [](int x, int y) { return uint32_t(x * y) & 255; }, 8, std::vector<Rgb>(256, 7));
    img.bitCount = 16;
    void *block = handle(host::toPackedDib(img));
    EXPECT_EQ(vc::SaveTiffImage(path("out.tif").c_str(), block, {16, vc::tiff::kUncompressed, 8}), vc::Result::unsupported);
    VcMemFree(block);
    EXPECT_FALSE(std::filesystem::exists(path("out.tif")));
    vc::Picture p = pictureOf(picture(4, 4, [](int, int) { return 0u; }));
    Bytes file;
    EXPECT_EQ(vc::encodeTiff(p, {2}, {}, file), vc::Result::unsupported);
    p.bitCount = 32, p.pixels.resize(p.rowBytes() * 4);
    EXPECT_EQ(vc::encodeTiff(p, {}, file), vc::Result::unsupported);

    // Through SaveConvImage: LZW, 8 KiB strips, one report per row.
    std::vector<int32_t> seen;
    Bytes dib = host::toPackedDib(picture(10, 7, [](int x, int) { return uint32_t(x); }, 4, std::vector<Rgb>(16)));
    EXPECT_EQ(StillTest::save(dib, path("p.tif"), &seen), CONV_OK);
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 14, 28, 42, 57, 71, 85}));
    const vc::TiffSaveOptions &o = vc::tiff::saveOptions();
    EXPECT_EQ(std::tuple(o.bitCount, o.compression, o.stripSize), std::tuple(4u, 5u, 8u));
}

// ---- The strip codings ---------------------------------------------------------------

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

Bytes decode(const Bytes &in, size_t capacity) {
    Bytes out(capacity + 16, 0xEE);
    out.resize(vc::tifflzw::decodeStrip(in.data(), in.size(), out.data(), capacity));
    return out;
}

// The coder as the format describes it, on a plain dictionary: the code of
// the longest known string at the width of the next free code, a Clear
// where the table would reach 4094, the End code last.
Bytes plainEncode(const Bytes &in) {
    std::unordered_map<uint32_t, uint32_t> table(8192);  // prefix code << 8 | byte -> code
    Codes codes = {{256, 9}};
    uint32_t next = 258, w = 4096;
    unsigned width = 9;
    for (uint8_t k : in) {
        const auto known = table.find(w << 8 | k);
        if (w == 4096 || known != table.end()) {
            w = w == 4096 ? k : known->second;
            continue;
        }
        codes.push_back({w, width});
        if (next == 4094) {
            codes.push_back({256, width});
            table.clear();
            next = 258, width = 9;
        } else {
            table[w << 8 | k] = next++;
            width = next < 512 ? 9 : next < 1024 ? 10 : next < 2048 ? 11 : 12;
        }
        w = k;
    }
    if (w != 4096) codes.push_back({w, width});
    codes.push_back({257, width});
    return packCodes(codes);
}

TEST(TiffLzw, SameBytesAsThePlainCoder) {
    // Noise, few values (past 12 extensions a code), runs, repeats, long
    // runs of one byte, and runs of about 15 (the decoder starts filling
    // runs at 16 bytes): the coder's table finds every string the dictionary
    // finds, across Clears and past a full code list, alone and with a
    // second strip coded beside it; the decoder gives the bytes back, and
    // fills a smaller output to its end.
    std::mt19937 rng(21);
    vc::tifflzw::EncodeTable table;
    ASSERT_TRUE(vc::tifflzw::encodeTableAlloc(table));
    std::vector<std::pair<Bytes, Bytes>> strips;  // input, as the plain coder codes it
    for (int kind = 0; kind < 6; ++kind)
        for (size_t size : {0u, 1u, 2u, 600u, 8192u, 70000u}) {
            SCOPED_TRACE("kind " + std::to_string(kind) + " size " + std::to_string(size));
            Bytes in(size);
            uint8_t v = 0;
            for (size_t i = 0; i < size; ++i) {
                if (kind == 0) in[i] = uint8_t(rng());
                else if (kind == 1) in[i] = uint8_t(rng() % 23);
                else if (kind == 2) in[i] = rng() % 9 ? v : (v = uint8_t(rng()));
                else if (kind == 3) in[i] = i >= 300 && rng() % 50 ? in[i - 300] : uint8_t(rng() % 40);
                else if (kind == 4) in[i] = rng() % 300 ? v : (v = uint8_t(rng() % 3));  // long runs of three values
                else in[i] = rng() % 15 ? 7 : uint8_t(rng() % 3);  // each run closed by one of three bytes
            }
            Bytes coded(vc::tifflzw::encodeBound(size));
            coded.resize(vc::tifflzw::encodeStrip(in.data(), size, coded.data(), table));
            EXPECT_EQ(coded, plainEncode(in));
            EXPECT_LE(coded.size(), vc::tifflzw::encodeBound(size));
            EXPECT_EQ(decode(coded, size), in);
            Bytes part(size / 2 + 8, 0xEE);
            EXPECT_EQ(vc::tifflzw::decodeStrip(coded.data(), coded.size(), part.data(), size / 2), size / 2);
            EXPECT_TRUE(std::equal(in.begin(), in.begin() + long(size / 2), part.begin()));
            EXPECT_EQ(part[size / 2], 0xEE);
            strips.push_back({in, coded});
        }
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
        const Bytes plain = plainEncode(Bytes(noise.begin(), noise.begin() + long(n)));
        ASSERT_EQ(Bytes(out.begin(), out.begin() + long(length)), plain) << n;
    }
    vc::tifflzw::encodeTableFree(table);
}

TEST(TiffLzw, DamagedStreamsKeepWhatWasDecoded) {
    Bytes cut = packCodes({{256, 9}, {65, 9}, {66, 9}});
    cut.pop_back();  // the last code stops mid-way
    // Clear, 'A' x 4, 'B' x 4, Clear, then 258, which names no string yet:
    // 'A', the last byte of what 258 stood for, and decoding goes on.
    const Codes again = {{256, 9}, {65, 9}, {65, 9}, {65, 9}, {65, 9}, {66, 9}, {66, 9}, {66, 9}, {66, 9},
                         {256, 9}, {258, 9}, {67, 9}, {67, 9}, {67, 9}};
    const std::pair<Bytes, Bytes> cases[] = {
        {packCodes({{256, 9}, {300, 9}, {65, 9}}), {}},  // a first code that is no single byte
        {packCodes(again), Bytes(4, 65) + Bytes(4, 66) + Bytes{65, 67, 67, 67}},
        {packCodes({{256, 9}, {65, 9}, {258, 9}, {259, 9}, {257, 9}}), Bytes(6, 65)},  // codes equal to the next free one
        {packCodes({{256, 9}, {65, 9}, {66, 9}, {400, 9}, {67, 9}}), {65, 66}},  // beyond the table
        {cut, {65}},
        {{}, {}},
    };
    for (const auto &[stream, bytes] : cases) EXPECT_EQ(decode(stream, 12), bytes);
}

}  // namespace
