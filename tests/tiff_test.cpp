// The TIFF reader on files built tag by tag (both byte orders, the kinds,
// the colour tables, resolutions, the refusals in their order, hostile
// offsets and streams), and the TIFF writer's exact bytes, strip geometry,
// failures and progress.
#include <gtest/gtest.h>

#include <cstring>

#include "codecs/tiff.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "tiff_support.h"

using namespace tifftest;

namespace {

class TiffTest : public vctest::LibraryTest {
protected:
    // Loads bytes through the exports; the header and pixels of the result.
    int32_t load(const Bytes &file, ConvBitmapInfoHeader *header = nullptr, Pixels *pixels = nullptr,
                 Bytes *table = nullptr) {
        std::string p = writeFile("in.tif", file);
        ConvImageRecord rec{};
        uint8_t format = 0;
        int32_t r = LoadConvImage(nullptr, p.c_str(), &rec, &format, 0, nullptr);
        if (r == CONV_OK) {
            EXPECT_EQ(format, 130);
            auto *b = static_cast<const uint8_t *>(vc::plat::memLock(rec.image));
            if (header) std::memcpy(header, b, 40);
            if (table) table->assign(b + 40, b + 40 + 4 * reinterpret_cast<const ConvBitmapInfoHeader *>(b)->biClrUsed);
            EXPECT_EQ(vc::plat::memSize(rec.image),
                      vc::dibPackedSize(*reinterpret_cast<const ConvBitmapInfoHeader *>(b)));
            vc::plat::memUnlock(rec.image);
            if (pixels) *pixels = blockPixels(rec.image);
            vc::plat::memFree(rec.image);
        } else {
            EXPECT_EQ(rec.image, nullptr);
        }
        return r;
    }
};

Bytes grey3x2() { return {0, 100, 255, 7, 8, 9}; }

TEST_F(TiffTest, BothByteOrdersGiveTheSameImage) {
    ConvBitmapInfoHeader le{}, be{};
    Pixels pl, pb;
    ASSERT_EQ(load(simpleTiff(false, 3, 2, 8, 1, grey3x2()).build(), &le, &pl), CONV_OK);
    ASSERT_EQ(load(simpleTiff(true, 3, 2, 8, 1, grey3x2()).build(), &be, &pb), CONV_OK);
    EXPECT_EQ(0, std::memcmp(&le, &be, 40));
    EXPECT_EQ(pl, pb);
    EXPECT_EQ(le.biSize, 40u);
    EXPECT_EQ(le.biWidth, 3);
    EXPECT_EQ(le.biHeight, 2);  // bottom-up
    EXPECT_EQ(le.biBitCount, 8);
    EXPECT_EQ(le.biClrUsed, 256u);
    EXPECT_EQ(le.biSizeImage, 8u);
    EXPECT_EQ(pl[1], (Rgb{100, 100, 100}));  // black-is-zero ramp, no RowsPerStrip: one strip
    EXPECT_EQ(pl[5], (Rgb{9, 9, 9}));

    // RGB is stored red, green, blue and arrives as blue, green, red.
    for (bool big : {false, true}) {
        Pixels px;
        ConvBitmapInfoHeader h{};
        ASSERT_EQ(load(simpleTiff(big, 2, 1, 8, 2, {1, 2, 3, 4, 5, 6}, 1, 3).build(), &h, &px), CONV_OK);
        EXPECT_EQ(h.biBitCount, 24);
        EXPECT_EQ(h.biClrUsed, 0u);
        EXPECT_EQ(px, (Pixels{{1, 2, 3}, {4, 5, 6}}));
    }
}

TEST_F(TiffTest, StripArraysInTheEntryAndInTheFile) {
    // Two one-row strips: offsets as two SHORTs in the field, counts as LONGs at an offset.
    for (bool big : {false, true}) {
        TiffBuilder t = simpleTiff(big, 3, 2, 8, 1, {});
        uint32_t a = t.blob({10, 11, 12}), b = t.blob({20, 21, 22});
        t.shortTag(273, {uint16_t(a), uint16_t(b)});
        t.longTag(279, t.longs({3, 3}), 4, 2);
        t.shortTag(278, {1});
        Pixels px;
        ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
        EXPECT_EQ(px[0].r, 10);
        EXPECT_EQ(px[5].r, 22);
    }
    // Three one-row strips in reverse file order, SHORT offsets stored at an offset.
    TiffBuilder t = simpleTiff(false, 2, 3, 8, 1, {});
    uint32_t a = t.blob({1, 2}), b = t.blob({3, 4}), c = t.blob({5, 6});
    t.longTag(273, t.shorts({uint16_t(c), uint16_t(b), uint16_t(a)}), 3, 3);
    t.longTag(279, t.shorts({2, 2, 2}), 3, 3);
    t.shortTag(278, {1});
    Pixels px;
    ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
    EXPECT_EQ(px[0].r, 5);
    EXPECT_EQ(px[2].r, 3);
    EXPECT_EQ(px[5].r, 2);
}

TEST_F(TiffTest, KindsAndColourTables) {
    Bytes table;
    Pixels px;
    // White-is-zero bilevel: colour 0 white, 1 black, bits as stored.
    ASSERT_EQ(load(simpleTiff(false, 8, 1, 1, 0, {0xF0}).build(), nullptr, &px, &table), CONV_OK);
    EXPECT_EQ(table, (Bytes{255, 255, 255, 0, 0, 0, 0, 0}));
    EXPECT_EQ(px[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(px[7], (Rgb{255, 255, 255}));
    // 4-bit grey ramp 0, 17, ..., 255.
    ASSERT_EQ(load(simpleTiff(false, 2, 1, 4, 1, {0x1F}).build(), nullptr, &px, &table), CONV_OK);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(table[4 * i], 17 * i);
    EXPECT_EQ(px[0].g, 17);
    EXPECT_EQ(px[1].g, 255);
    // 4-bit white-is-zero reverses it.
    ASSERT_EQ(load(simpleTiff(false, 1, 1, 4, 0, {0}).build(), nullptr, nullptr, &table), CONV_OK);
    EXPECT_EQ(table[0], 255);
    EXPECT_EQ(table[60], 0);
    // Palette: high bytes of the 16-bit values.
    TiffBuilder t = simpleTiff(false, 2, 1, 4, 3, {0x01});
    std::vector<uint16_t> map(48, 0);
    map[0] = 0xFF00;       // red 0
    map[1] = 0x00FF;       // red 1
    map[16 + 1] = 0x8000;  // green 1
    map[32 + 1] = 0x1234;  // blue 1
    t.longTag(320, t.shorts(map), 3, 48);
    ASSERT_EQ(load(t.build(), nullptr, &px, &table), CONV_OK);
    EXPECT_EQ(px[0], (Rgb{255, 0, 0}));
    EXPECT_EQ(px[1], (Rgb{0, 0x80, 0x12}));

    // Refused kinds.
    EXPECT_EQ(load(simpleTiff(false, 8, 1, 1, 3, {0}).build()), CONV_E_UNSUPPORTED);   // 1-bit palette
    EXPECT_EQ(load(simpleTiff(false, 1, 1, 8, 4, {0}).build()), CONV_E_UNSUPPORTED);   // photometric 4
    EXPECT_EQ(load(simpleTiff(false, 1, 1, 2, 1, {0}).build()), CONV_E_UNSUPPORTED);   // 2-bit grey
    EXPECT_EQ(load(simpleTiff(false, 1, 1, 8, 2, {0, 0, 0}).build()), CONV_E_UNSUPPORTED);  // RGB, 1 sample
    TiffBuilder rgb16 = simpleTiff(false, 1, 1, 8, 2, {0, 0, 0}, 1, 3);
    rgb16.longTag(258, rgb16.shorts({8, 8, 16}), 3, 3);
    EXPECT_EQ(load(rgb16.build()), CONV_E_UNSUPPORTED);
    EXPECT_EQ(load(simpleTiff(false, 1, 1, 8, 3, {0}).build()), CONV_E_UNSUPPORTED);  // palette, no ColorMap
    TiffBuilder outside = simpleTiff(false, 1, 1, 8, 3, {0});
    outside.longTag(320, 9, 3, 768);  // map would run past the end
    EXPECT_EQ(load(outside.build()), CONV_E_UNSUPPORTED);
}

TEST_F(TiffTest, ResolutionConversion) {
    struct Case {
        bool hasX;
        uint32_t num, den;
        int unit;  // 0 absent
        int32_t expected;
    } cases[] = {{true, 72, 1, 2, 2834}, {true, 72, 1, 3, 7200}, {true, 72, 1, 1, 2834}, {false, 0, 0, 1, 2953},
                 {false, 0, 0, 2, 0},    {false, 0, 0, 0, 0},    {true, 144, 2, 0, 2834}, {true, 5, 0, 1, 2953},
                 {true, 4294967295u, 1, 3, INT32_MAX}};
    for (const Case &c : cases) {
        TiffBuilder t = simpleTiff(true, 1, 1, 8, 1, {0});
        if (c.hasX) t.rational(282, c.num, c.den);
        t.rational(283, 300, 1);
        if (c.unit) t.shortTag(296, {uint16_t(c.unit)});
        ConvBitmapInfoHeader h{};
        ASSERT_EQ(load(t.build(), &h), CONV_OK);
        EXPECT_EQ(h.biXPelsPerMeter, c.expected) << c.num << "/" << c.den << " unit " << c.unit;
        EXPECT_EQ(h.biYPelsPerMeter, c.unit == 3 ? 30000 : 11811);
    }
}

TEST_F(TiffTest, RefusalsInTheirOrder) {
    auto with = [](uint16_t tag, uint16_t v, uint16_t tag2 = 0, uint16_t v2 = 0) {
        TiffBuilder t = simpleTiff(false, 1, 1, 8, 1, {0});
        t.shortTag(tag, {v});
        if (tag2) t.shortTag(tag2, {v2});
        return t.build();
    };
    EXPECT_EQ(load(with(259, 2)), CONV_E_DATA);
    EXPECT_EQ(load(with(259, 7)), CONV_E_DATA);
    EXPECT_EQ(load(with(259, 4)), CONV_E_DATA);
    EXPECT_EQ(load(with(259, 6)), CONV_E_DATA);
    EXPECT_EQ(load(with(259, 4, 266, 2)), CONV_E_UNSUPPORTED);  // the layout checks come first
    EXPECT_EQ(load(with(266, 2)), CONV_E_UNSUPPORTED);
    EXPECT_EQ(load(with(284, 2)), CONV_E_UNSUPPORTED);
    EXPECT_EQ(load(with(338, 1)), CONV_E_UNSUPPORTED);
    EXPECT_EQ(load(with(322, 16)), CONV_E_UNSUPPORTED);
    EXPECT_EQ(load(with(323, 16)), CONV_E_UNSUPPORTED);
    EXPECT_EQ(load(with(259, 2, 262, 9)), CONV_E_UNSUPPORTED);  // kind before the strips' compression
    TiffBuilder t = simpleTiff(false, 1, 1, 8, 1, {0});
    t.remove(273);
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
    t = simpleTiff(false, 1, 1, 8, 1, {0});
    t.remove(279);
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
    t = simpleTiff(false, 1, 1, 8, 1, {0});
    t.longTag(273, 8, 4, 0);  // no strips
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
}

TEST_F(TiffTest, HostileFilesNeverReadOutside) {
    const Bytes good = simpleTiff(false, 4, 4, 8, 1, Bytes(16, 9)).build();
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    EXPECT_EQ(load(Bytes(good.begin(), good.begin() + 7)), CONV_E_FORMAT);  // too short to be detected
    EXPECT_EQ(load(patched(4, {0, 0, 0, 0})), CONV_E_UNSUPPORTED);          // IFD offset 0
    EXPECT_EQ(load(patched(4, {0xF0, 0xFF, 0, 0})), CONV_E_UNSUPPORTED);    // IFD outside
    EXPECT_EQ(load(patched(4, {uint8_t(good.size() - 1), 0, 0, 0})), CONV_E_UNSUPPORTED);
    EXPECT_EQ(load(patched(24, {0xFF, 0x7F})), CONV_E_UNSUPPORTED);  // entry count past the end

    Pixels px;
    // Strip offset past the end: the image comes, its rows stay at index 0.
    TiffBuilder t = simpleTiff(false, 4, 4, 8, 1, Bytes(16, 9));
    t.longTag(273, 100000);
    ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
    EXPECT_EQ(px[0].r, 0);
    // Uncompressed rows stop at the end of the file.
    t = simpleTiff(false, 4, 4, 8, 1, Bytes(16, 9));
    Bytes b = t.build();
    t.longTag(273, uint32_t(b.size() - 6));  // the last bytes of the IFD
    ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
    EXPECT_EQ(px[15].r, 0);
    // StripOffsets array, StripByteCounts array outside the file.
    t = simpleTiff(false, 4, 4, 8, 1, Bytes(16, 9));
    t.longTag(273, 0xFFFFFFF0u, 4, 4);
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
    t = simpleTiff(false, 4, 4, 8, 1, Bytes(16, 9));
    t.longTag(279, 0x10, 4, 0x40000000u);
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
    // RowsPerStrip 0 reads as one strip.
    t = simpleTiff(false, 4, 4, 8, 1, Bytes(16, 9));
    t.shortTag(278, {0});
    ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
    EXPECT_EQ(px[15].r, 9);
    // Sizes no file of this length can hold, and zero sizes.
    t = simpleTiff(false, 100000, 100000, 8, 1, Bytes(16, 9));
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
    t = simpleTiff(false, 0xFFFFFFFFu, 1, 8, 1, Bytes(16, 9), 5);
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
    t = simpleTiff(false, 0, 4, 8, 1, Bytes(16, 9));
    EXPECT_EQ(load(t.build()), CONV_E_UNSUPPORTED);
    // PackBits runs that overrun the strip and the rows: what fits is kept.
    t = simpleTiff(false, 4, 2, 8, 1, {0xFD, 7, 0x7F, 1, 2}, 32773);
    ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
    EXPECT_EQ(px[0].r, 7);
    EXPECT_EQ(px[3].r, 7);
    EXPECT_EQ(px[4].r, 1);
    EXPECT_EQ(px[6].r, 0);
    // Byte count past the end of the file is cut there.
    t = simpleTiff(false, 4, 1, 8, 1, {0xFD, 5}, 32773);
    t.longTag(279, 0x7FFFFFFF);
    ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
    EXPECT_EQ(px[3].r, 5);
    // An LZW code beyond the table keeps the rows decoded before it:
    // Clear, 'A' x4 (row 1), 'B' x 4 as literals, then code 300 (9 bits each).
    std::vector<uint32_t> codes = {256, 65, 65, 65, 65, 66, 66, 66, 66, 300, 67};
    Bytes lzw;
    uint64_t acc = 0;
    int n = 0;
    for (uint32_t c : codes) {
        acc = acc << 9 | c;
        n += 9;
        while (n >= 8) lzw.push_back(uint8_t(acc >> (n - 8))), n -= 8;
    }
    if (n) lzw.push_back(uint8_t(acc << (8 - n)));
    t = simpleTiff(false, 4, 3, 8, 1, lzw, 5);
    ASSERT_EQ(load(t.build(), nullptr, &px), CONV_OK);
    EXPECT_EQ(px[3].r, 65);
    EXPECT_EQ(px[7].r, 66);
    EXPECT_EQ(px[8].r, 0);
}

TEST_F(TiffTest, DetectionAndPreview) {
    std::string p = writeFile("x.bin", simpleTiff(true, 1, 1, 8, 1, {0}).build());
    uint8_t format = 0;
    EXPECT_EQ(DetectFileFormat(p.c_str(), &format, 1), CONV_OK);
    EXPECT_EQ(format, 130);
    writeFile("bad.bin", Bytes{'I', 'I', 0, 42, 8, 0, 0, 0});  // 42 in the wrong order
    EXPECT_EQ(DetectFileFormat(path("bad.bin").c_str(), &format, 1), CONV_E_FORMAT);
    ConvImageRecord rec{reinterpret_cast<void *>(1), 77, nullptr, 0};
    ASSERT_EQ(GetPreviewImage(p.c_str(), &rec), CONV_OK);
    EXPECT_EQ(rec.bitsOffset, 0u);
    ASSERT_NE(rec.image, nullptr);
    vc::plat::memFree(rec.image);
    EXPECT_EQ(vc::LoadTiffImage(path("missing.tif").c_str(), &rec.image), CONV_E_READ);
    EXPECT_EQ(rec.image, nullptr);
}

// ---- Writer -------------------------------------------------------------------------

void fixedClock(int &y, int &mo, int &d, int &h, int &mi, int &s) { y = 2026, mo = 3, d = 4, h = 5, mi = 6, s = 7; }

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
};

Bytes le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes ifdBytes(const std::vector<Entry> &entries) {
    Bytes b = le16(20);
    for (const Entry &e : entries) {
        for (Bytes part : {le16(e.tag), le16(e.type), le32(e.count), le32(e.value)}) b.insert(b.end(), part.begin(), part.end());
    }
    b.resize(2 + 240 + 4, 0);
    return b;
}

class TiffWriterTest : public TiffTest {
protected:
    void SetUp() override {
        TiffTest::SetUp();
        vc::tiff::setClock(fixedClock);
    }
    void TearDown() override {
        vc::tiff::setClock(nullptr);
        TiffTest::TearDown();
    }
    Bytes save(vc::MemHandle m, uint32_t compression = 5, int16_t expect = CONV_OK, uint32_t stripSize = 8) {
        auto *p = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(m));
        vc::TiffSaveOptions o{p->biBitCount, compression, stripSize};
        vc::plat::memUnlock(m);
        EXPECT_EQ(vc::SaveTiffImage(path("out.tif").c_str(), m, o), expect);
        vc::plat::memFree(m);
        return readBytes(path("out.tif"));
    }
};

TEST_F(TiffWriterTest, ExactBytesOfAPaletteImage) {
    std::vector<Rgb> colors = {{255, 0, 0}, {0, 255, 0}, {1, 2, 3}};
    Bytes f = save(makeBlock(3, 2, 8, [](int x, int y) { return uint32_t(x + 3 * y) % 3; }, colors), 1);
    Bytes expected = {'I', 'I', 42, 0, 14, 0, 0, 0, 0, 1, 2, 0, 1, 2};
    Bytes ifd = ifdBytes({{254, 4, 1, 0},    {255, 3, 1, 1},   {256, 4, 1, 3},   {257, 4, 1, 2},
                          {258, 3, 1, 8},    {259, 3, 1, 1},   {262, 3, 1, 3},   {266, 3, 1, 1},
                          {273, 4, 1, 8},    {274, 3, 1, 1},   {277, 3, 1, 1},   {278, 3, 1, 8192 / 3},
                          {279, 4, 1, 6},    {282, 5, 1, 260}, {283, 5, 1, 268}, {284, 3, 1, 1},
                          {296, 3, 1, 3},    {305, 2, 14, 276}, {306, 2, 20, 290}, {320, 3, 768, 310}});
    expected.insert(expected.end(), ifd.begin(), ifd.end());
    for (Bytes part : {le32(2953), le32(100), le32(3937), le32(100)}) expected.insert(expected.end(), part.begin(), part.end());
    const char *text = "Velmora V2.5\0\0" "2026:03:04 05:06:07";
    expected.insert(expected.end(), text, text + 34);  // with the DateTime's zero byte
    Bytes map(1536, 0);
    map[1] = 0xFF;         // red 0: 0xFF00
    map[512 + 3] = 0xFF;   // green 1
    map[4] = 0x00, map[5] = 0x01;  // red 2: 0x0100
    map[512 + 5] = 0x02;
    map[1024 + 5] = 0x03;
    expected.insert(expected.end(), map.begin(), map.end());
    ASSERT_EQ(f.size(), expected.size());
    for (size_t i = 0; i < f.size(); ++i) ASSERT_EQ(f[i], expected[i]) << "byte " << i;
}

TEST_F(TiffWriterTest, StripGeometryOfAnRgbImage) {
    // 100 x 100 at 24 bits: rows of 300 bytes, 27 rows per strip, 4 strips, the last of 19 rows.
    Bytes f = save(makeBlock(100, 100, 24, [](int x, int y) { return uint32_t(x * 2 + y * 0x10300); }), 1);
    auto u16 = [&](size_t at) { return uint32_t(f[at] | f[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const uint32_t ifd = u32(4);
    EXPECT_EQ(ifd, 8u + 30000u);
    ASSERT_EQ(u16(ifd), 20u);
    auto entry = [&](int i) { return Entry{uint16_t(u16(ifd + 2 + 12 * i)), uint16_t(u16(ifd + 4 + 12 * i)), u32(ifd + 6 + 12 * i), u32(ifd + 10 + 12 * i)}; };
    const uint32_t area = ifd + 246;
    EXPECT_EQ(entry(4).count, 3u);
    EXPECT_EQ(entry(4).value, area);
    EXPECT_EQ(u16(area), 8u);
    EXPECT_EQ(u16(area + 4), 8u);
    EXPECT_EQ(entry(6).value, 2u);
    EXPECT_EQ(entry(10).value, 3u);
    EXPECT_EQ(entry(11).value, 27u);
    EXPECT_EQ(entry(8).count, 4u);
    EXPECT_EQ(entry(8).value, area + 6);
    EXPECT_EQ(entry(12).value, area + 22);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(u32(area + 6 + 4 * s), 8u + 8100u * s);
        EXPECT_EQ(u32(area + 22 + 4 * s), s < 3 ? 8100u : 5700u);
    }
    EXPECT_EQ(entry(13).value, area + 38);
    EXPECT_EQ(entry(19).tag, 0);
    EXPECT_EQ(entry(19).count, 0u);
    EXPECT_EQ(f.size(), area + 38 + 16 + 34);
    EXPECT_EQ(f[8], 0);  // top row first, red first: pixel (0,0) is 0
    EXPECT_EQ(f[8 + 300 * 99 + 0], 0x64);  // row 99 red: 99 * 0x10300 = 0x642900
    EXPECT_EQ(f[8 + 300 * 99 + 1], 0x29);
    EXPECT_EQ(f[8 + 300 * 99 + 5], 2);      // pixel 1 blue
}

TEST_F(TiffWriterTest, BilevelPhotometricAndPadByte) {
    auto pattern = [](int x, int y) { return uint32_t((x + y) % 3 == 0); };
    Bytes a = save(makeBlock(9, 3, 1, pattern, {{255, 255, 255}, {0, 0, 0}}), 1);
    Bytes b = save(makeBlock(9, 3, 1, pattern, {{0, 0, 0}, {255, 255, 255}}), 1);
    Bytes c = save(makeBlock(9, 3, 1, pattern, {{255, 255, 255}, {255, 0, 0}}), 1);
    // 6 strip bytes from 8: offset 14 is even, no pad; photometric is entry 7.
    EXPECT_EQ(a[4], 14);
    EXPECT_EQ(a[14 + 2 + 6 * 12 + 8], 0);
    EXPECT_EQ(b[14 + 2 + 6 * 12 + 8], 1);
    EXPECT_EQ(c[14 + 2 + 6 * 12 + 8], 1);
    EXPECT_TRUE(std::equal(a.begin() + 8, a.begin() + 14, b.begin() + 8));
    EXPECT_TRUE(std::equal(a.begin() + 8, a.begin() + 14, c.begin() + 8));
    EXPECT_EQ(a[14 + 2 + 11 * 12 + 8], 0x00);  // RowsPerStrip 4096 = 8192 / 2
    EXPECT_EQ(a[14 + 2 + 11 * 12 + 9], 0x10);
    // 8 pixels wide: 8192 rows per strip; 5 rows = 5 bytes, odd: one pad byte.
    Bytes d = save(makeBlock(8, 5, 1, pattern, {{0, 0, 0}, {255, 255, 255}}), 1);
    EXPECT_EQ(d[4], 14);
    EXPECT_EQ(d[13], 0);
    EXPECT_EQ(d[14 + 2 + 11 * 12 + 9], 0x20);
    EXPECT_EQ(d[14 + 2 + 8 * 12 + 8], 8);  // the one strip's offset and count in their entries
    EXPECT_EQ(d[14 + 2 + 12 * 12 + 8], 5);
}

TEST_F(TiffWriterTest, FailuresAndProgress) {
    auto block = [] { return makeBlock(40, 300, 8, [](int x, int y) { return uint32_t(x * y); }); };
    // A short write: -8, the partly written file stays.
    vc::plat::fileFailWritesAfter(20);
    Bytes f = save(block(), 5, CONV_E_WRITE);
    vc::plat::fileFailWritesAfter(-1);
    EXPECT_GE(f.size(), 8u);
    // The strip arrays refused: -5 and only the header in the file.
    vc::MemHandle m = block();
    vc::plat::memFailAt(1);
    save(m, 5, CONV_E_MEMORY);
    EXPECT_EQ(readBytes(path("out.tif")).size(), 8u);
    // The strip buffer refused: the IFD is still written, -8.
    m = block();
    vc::plat::memFailAt(3);
    f = save(m, 5, CONV_E_WRITE);
    EXPECT_GT(f.size(), 8u + 246u);
    vc::plat::memFailAt(0);
    // A depth the writer does not take: nothing is created.
    std::filesystem::remove(path("out.tif"));
    m = vc::newPackedDib(4, 4, 16, 0);
    save(m, 5, CONV_E_UNSUPPORTED);
    EXPECT_FALSE(std::filesystem::exists(path("out.tif")));

    // Progress through SaveConvImage: one report per row, (row * 100) / height.
    vctest::UiRecorder ui;
    void *parent = VcCreateWindow(nullptr, 0, 0, 400, 300);
    m = makeBlock(10, 7, 4, [](int x, int) { return uint32_t(x); });
    EXPECT_EQ(SaveConvImage(parent, path("p.tif").c_str(), m, 130, 0, nullptr), CONV_OK);
    std::vector<int32_t> seen;
    for (auto &e : ui.progress)
        if (e.window && e.visible) seen.push_back(e.percent);
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 14, 28, 42, 57, 71, 85}));
    const vc::TiffSaveOptions &o = vc::tiff::saveOptions();
    EXPECT_EQ(o.bitCount, 4u);
    EXPECT_EQ(o.compression, 5u);
    EXPECT_EQ(o.stripSize, 8u);
    vc::plat::memFree(m);
    VcDestroyWindow(parent);
}

}  // namespace
