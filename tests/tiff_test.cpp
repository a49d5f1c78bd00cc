// The TIFF reader on files built tag by tag (both byte orders, the kinds,
// strip arrays, resolutions, refusals in their order, hostile offsets and
// streams), and the TIFF writer's exact bytes, failures and progress.
#include <filesystem>
#include <tuple>

#include "codecs/tiff.h"
#include "still_support.h"

using namespace stilltest;

namespace {

// A TIFF file put together entry by entry: blobs follow the header in the
// order added, the IFD comes last.
struct TiffBuilder {
    bool big = false;
    Bytes blobs;
    std::vector<std::pair<uint16_t, Bytes>> entries;  // tag, its 12 bytes

    Bytes &put(Bytes &b, uint32_t v, int n) const {
        for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> 8 * (big ? n - 1 - i : i)));
        return b;
    }
    uint32_t blob(const Bytes &b) {  // the data's file offset
        blobs = blobs + b;
        return 8 + uint32_t(blobs.size() - b.size());
    }
    uint32_t array(const std::vector<uint32_t> &v, int n) {
        Bytes b;
        for (uint32_t x : v) put(b, x, n);
        return blob(b);
    }
    // One or two SHORTs sit left-justified in the value field.
    void tag(uint16_t tag, uint32_t v, uint16_t type = 4, uint32_t count = 1) {
        std::erase_if(entries, [&](auto &e) { return e.first == tag; });
        Bytes e;
        put(put(put(e, tag, 2), type, 2), count, 4);
        if (type == 3 && count <= 2) put(put(e, v & 0xFFFF, 2), v >> 16, 2);
        else put(e, v, 4);
        entries.push_back({tag, e});
    }
    void shortTag(uint16_t t, uint16_t v) { tag(t, v, 3); }
    Bytes build() const {
        Bytes out = big ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
        uint32_t ifd = 8 + uint32_t(blobs.size());
        put(out, ifd += ifd & 1, 4);
        out = out + blobs;
        out.resize(ifd, 0);
        put(out, uint32_t(entries.size()), 2);
        for (auto &e : entries) out = out + e.second;
        return put(out, 0, 4);
    }
};

// A one-strip image; `data` is the strip as stored.
TiffBuilder simple(bool big, uint32_t w, uint32_t h, uint16_t bits, uint16_t photometric, const Bytes &data,
                   uint16_t compression = 1, uint16_t samples = 1) {
    TiffBuilder t;
    t.big = big;
    uint32_t at = t.blob(data);
    t.tag(256, w), t.tag(257, h);
    if (samples == 3) t.tag(258, t.array({bits, bits, bits}, 2), 3, 3);
    else t.shortTag(258, bits);
    t.shortTag(259, compression), t.shortTag(262, photometric), t.tag(273, at), t.shortTag(277, samples);
    t.tag(279, uint32_t(data.size()));
    return t;
}

class TiffTest : public StillTest {
protected:
    TiffTest() { code = 130; }
};

TEST_F(TiffTest, KindsByteOrdersAndStripArrays) {
    std::vector<std::tuple<Bytes, int, int, Rgb>> cases;  // a file, a pixel and its colour
    for (bool big : {false, true}) {
        cases.push_back({simple(big, 3, 2, 8, 1, {0, 100, 255, 7, 8, 9}).build(), 2, 1, rgb(9, 9, 9)});
        // RGB is stored red first and arrives blue first.
        cases.push_back({simple(big, 2, 1, 8, 2, {1, 2, 3, 4, 5, 6}, 1, 3).build(), 1, 0, rgb(4, 5, 6)});
        // Two one-row strips: offsets as two SHORTs in the field, counts as LONGs elsewhere.
        TiffBuilder t = simple(big, 3, 2, 8, 1, {});
        uint32_t a = t.blob({10, 11, 12}), b = t.blob({20, 21, 22});
        t.tag(273, a | b << 16, 3, 2), t.tag(279, t.array({3, 3}, 4), 4, 2), t.shortTag(278, 1);
        cases.push_back({t.build(), 2, 1, rgb(22, 22, 22)});
    }
    // Three strips in reverse file order, SHORT offsets and counts stored elsewhere.
    TiffBuilder t = simple(false, 2, 3, 8, 1, {});
    uint32_t a = t.blob({1, 2}), b = t.blob({3, 4}), c = t.blob({5, 6});
    t.tag(273, t.array({c, b, a}, 2), 3, 3), t.tag(279, t.array({2, 2, 2}, 2), 3, 3), t.shortTag(278, 1);
    cases.push_back({t.build(), 1, 2, rgb(2, 2, 2)});
    cases.push_back({simple(false, 8, 1, 1, 0, {0x70}).build(), 0, 0, 0xFFFFFF});  // white-is-zero
    cases.push_back({simple(false, 8, 1, 1, 0, {0x70}).build(), 1, 0, 0});
    cases.push_back({simple(false, 2, 1, 4, 1, {0x1F}).build(), 0, 0, rgb(17, 17, 17)});  // a 4-bit ramp
    cases.push_back({simple(false, 2, 1, 4, 0, {0x1F}).build(), 0, 0, rgb(238, 238, 238)});
    // Palette: the high bytes of the 16-bit ColorMap values.
    t = simple(false, 2, 1, 4, 3, {0x01});
    std::vector<uint32_t> map(48, 0);
    map[0] = 0xFF00, map[1] = 0x00FF, map[17] = 0x8000, map[33] = 0x1234;
    t.tag(320, t.array(map, 2), 3, 48);
    cases.push_back({t.build(), 0, 0, rgb(255, 0, 0)});
    cases.push_back({t.build(), 1, 0, rgb(0, 0x80, 0x12)});
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto &[file, x, y, colour] = cases[i];
        Image img;
        ASSERT_EQ(load(file, &img), CONV_OK) << "case " << i;
        EXPECT_EQ(img.pixel(x, y), colour) << "case " << i;
    }
}

TEST_F(TiffTest, ResolutionToPelsPerMetre) {
    // XResolution (none when 0 / 0), ResolutionUnit (none when 0), the pels
    // per metre across, and down for a YResolution of 300. 3/5 and 2921/5
    // land on whole numbers in double precision, just below them in 80 bits.
    const std::tuple<uint32_t, uint32_t, uint16_t, int32_t, int32_t> cases[] = {
        {72, 1, 2, 2834, 11811}, {144, 2, 0, 2834, 11811}, {0, 0, 1, 2953, 11811},
        {0, 0, 2, 0, 11811},     {5, 0, 1, 2953, 11811},   {0xFFFFFFFFu, 1, 3, INT32_MAX, 30000},
        {3, 5, 3, 60, 30000},    {2921, 5, 2, 23000, 11811}};
    for (const auto &[num, den, unit, x, y] : cases) {
        TiffBuilder t = simple(true, 1, 1, 8, 1, {0});
        if (num) t.tag(282, t.array({num, den}, 4), 5);
        t.tag(283, t.array({300, 1}, 4), 5);
        if (unit) t.shortTag(296, unit);
        ASSERT_EQ(load(t.build()), CONV_OK);
        EXPECT_EQ(header.biXPelsPerMeter, x) << num << "/" << den << " unit " << unit;
        EXPECT_EQ(header.biYPelsPerMeter, y);
    }
}

TEST_F(TiffTest, RefusedAndHostileFilesGetTheirCodes) {
    const Bytes good = simple(false, 4, 4, 8, 1, Bytes(16, 9)).build();
    auto patched = [&](size_t at, Bytes bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    auto with = [](std::function<void(TiffBuilder &)> change, Bytes data = Bytes(16, 9), uint16_t compression = 1,
                   uint32_t w = 4, uint32_t h = 4) {
        TiffBuilder t = simple(false, w, h, 8, 1, data, compression);
        change(t);
        return t.build();
    };
    auto set = [&](uint16_t tag, uint16_t v) { return with([=](TiffBuilder &t) { t.shortTag(tag, v); }); };
    auto none = [](TiffBuilder &) {};
    const std::tuple<const char *, Bytes, int32_t> cases[] = {
        {"shorter than a header", Bytes(good.begin(), good.begin() + 7), CONV_E_FORMAT},
        {"42 in the wrong order", {'I', 'I', 0, 42, 8, 0, 0, 0}, CONV_E_FORMAT},
        {"IFD offset 0", patched(4, {0, 0, 0, 0}), CONV_E_UNSUPPORTED},
        {"IFD outside", patched(4, {0xF0, 0xFF, 0, 0}), CONV_E_UNSUPPORTED},
        {"IFD at the last byte", patched(4, {uint8_t(good.size() - 1), 0}), CONV_E_UNSUPPORTED},
        {"entry count past the end", patched(24, {0xFF, 0x7F}), CONV_E_UNSUPPORTED},
        {"CCITT RLE", set(259, 2), CONV_E_DATA},
        {"JPEG", set(259, 7), CONV_E_DATA},
        {"kind before compression", with([](auto &t) { t.shortTag(259, 2), t.shortTag(262, 9); }), CONV_E_UNSUPPORTED},
        {"FillOrder 2", set(266, 2), CONV_E_UNSUPPORTED},
        {"planar", set(284, 2), CONV_E_UNSUPPORTED},
        {"2-bit grey", set(258, 2), CONV_E_UNSUPPORTED},
        {"16-bit grey", set(258, 16), CONV_E_UNSUPPORTED},
        {"three 16-bit samples of a grey pixel",
         with([](TiffBuilder &t) { t.tag(258, t.array({16, 16, 16}, 2), 3, 3); }), CONV_E_UNSUPPORTED},
        {"RGB with a fourth BitsPerSample",
         [] {
             TiffBuilder t = simple(false, 1, 1, 8, 2, {1, 2, 3}, 1, 3);
             t.tag(258, t.array({8, 8, 8, 8}, 2), 3, 4);
             return t.build();
         }(),
         CONV_OK},
        {"RGB of one sample", set(262, 2), CONV_E_UNSUPPORTED},
        {"palette without ColorMap", set(262, 3), CONV_E_UNSUPPORTED},
        {"ColorMap outside", with([](auto &t) { t.shortTag(262, 3), t.tag(320, 9, 3, 768); }), CONV_E_UNSUPPORTED},
        {"no StripOffsets", with([](TiffBuilder &t) { t.entries.erase(t.entries.begin() + 5); }), CONV_E_UNSUPPORTED},
        {"no strips", with([](TiffBuilder &t) { t.tag(273, 8, 4, 0); }), CONV_E_UNSUPPORTED},
        {"huge LZW", with(none, Bytes(16, 9), 5, 0xFFFFFFFFu, 1), CONV_E_UNSUPPORTED},
        {"width 0", with(none, Bytes(16, 9), 1, 0), CONV_E_UNSUPPORTED},
    };
    for (const auto &[what, file, result] : cases) EXPECT_EQ(load(file), result) << what;

    // Damage inside the strips keeps what was read; the rest stays index 0.
    // Clear, 'A' x 4, 'B' x 4 as literals, then code 300 beyond the table.
    const Bytes lzw = packCodes({{256, 9}, {65, 9}, {65, 9}, {65, 9}, {65, 9}, {66, 9}, {66, 9}, {66, 9}, {66, 9},
                                 {300, 9}, {67, 9}});
    // Clear, 'A' x 4, 'B' x 4, Clear, then 258, which names no string yet:
    // 'A', the last byte of what 258 stood for, and decoding goes on.
    const Bytes lzwAgain = packCodes({{256, 9}, {65, 9}, {65, 9}, {65, 9}, {65, 9}, {66, 9}, {66, 9}, {66, 9},
                                      {66, 9}, {256, 9}, {258, 9}, {67, 9}, {67, 9}, {67, 9}});
    const std::tuple<const char *, Bytes, int, int, uint8_t> damages[] = {  // a pixel's grey value
        {"strip offset past the end", with([](TiffBuilder &t) { t.tag(273, 100000); }), 0, 0, 0},
        {"rows cut by the end of the file", patched(26 + 5 * 12 + 8, {uint8_t(good.size() - 6)}), 3, 3, 0},
        {"RowsPerStrip 0 is one strip", set(278, 0), 3, 3, 9},
        {"PackBits run overrunning a row", with(none, {0xFD, 7, 0x7F, 1, 2}, 32773, 4, 2), 3, 0, 7},
        {"PackBits literal overrunning the strip", with(none, {0xFD, 7, 0x7F, 1, 2}, 32773, 4, 2), 2, 1, 0},
        {"byte count past the end", with([](auto &t) { t.tag(279, 0x7FFFFFFF); }, {0xFD, 5}, 32773, 4, 1), 3, 0, 5},
        {"LZW rows before the bad code", with(none, lzw, 5, 4, 3), 3, 1, 66},
        {"LZW rows after the bad code", with(none, lzw, 5, 4, 3), 0, 2, 0},
        {"LZW 258 first after a Clear", with(none, lzwAgain, 5, 4, 3), 0, 2, 65},
        {"LZW decoding on after it", with(none, lzwAgain, 5, 4, 3), 3, 2, 67},
    };
    for (const auto &[what, file, x, y, value] : damages) {
        Image img;
        ASSERT_EQ(load(file, &img), CONV_OK) << what;
        EXPECT_EQ(img.pixel(x, y), rgb(value, value, value)) << what;
    }
    vc::MemHandle missing = nullptr;
    EXPECT_EQ(vc::LoadTiffImage(path("missing.tif").c_str(), &missing), CONV_E_READ);
    // Called directly, without the front door's look at the signature.
    Bytes mixedOrder = simple(true, 4, 4, 8, 1, Bytes(16, 9)).build();
    mixedOrder[0] = 'I';
    const std::string mixed = writeFile("mixed.tif", mixedOrder);
    EXPECT_EQ(vc::LoadTiffImage(mixed.c_str(), &missing), CONV_E_UNSUPPORTED);
}

// ---- Writer -------------------------------------------------------------------------

class TiffWriterTest : public TiffTest {
protected:
    void SetUp() override {
        TiffTest::SetUp();
        vc::tiff::setClock([](int &y, int &mo, int &d, int &h, int &mi, int &s) {
            y = 2026, mo = 3, d = 4, h = 5, mi = 6, s = 7;
        });
    }
    void TearDown() override {
        vc::tiff::setClock(nullptr);
        TiffTest::TearDown();
    }
    // Saves with the writer's own options; the file's bytes.
    Bytes save(const Image &img, uint32_t compression = 1, int16_t expect = CONV_OK) {
        Bytes dib = host::toPackedDib(img);
        std::memcpy(&dib[24], "\x89\x0b\0\0\x61\x0f\0\0", 8);  // 2953 and 3937 pels per metre
        void *m = handle(dib);
        EXPECT_EQ(vc::SaveTiffImage(path("out.tif").c_str(), m, {img.bitCount, compression, 8}), expect);
        VcMemFree(m);
        return readBytes(path("out.tif"));
    }
};

TEST_F(TiffWriterTest, ExactBytesOfAPaletteImage) {
    Bytes f = save(picture(3, 2, [](int x, int y) { return uint32_t(x + 3 * y) % 3; }, 8,
                           {rgb(255, 0, 0), rgb(0, 255, 0), rgb(1, 2, 3)}));
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
}

TEST_F(TiffWriterTest, FailuresAndProgress) {
    Image img = picture(40, 300, [](int x, int y) { return uint32_t(x * y) & 255; }, 8, std::vector<Rgb>(256, 7));
    // The strip arrays refused: only the header; the strip buffer refused: the IFD still comes.
    vc::plat::memFailAt(2);
    EXPECT_EQ(save(img, 5, CONV_E_MEMORY).size(), 8u);
    vc::plat::memFailAt(4);
    EXPECT_GT(save(img, 5, CONV_E_WRITE).size(), 8u + 246u);
    // A depth the writer does not take: nothing is created.
    std::filesystem::remove(path("out.tif"));
    img.bitCount = 16;
    save(img, 5, CONV_E_UNSUPPORTED);
    EXPECT_FALSE(std::filesystem::exists(path("out.tif")));

    // Through SaveConvImage: LZW, 8 KiB strips, one report per row.
    std::vector<int32_t> seen;
    Bytes dib = host::toPackedDib(picture(10, 7, [](int x, int) { return uint32_t(x); }, 4, std::vector<Rgb>(16)));
    EXPECT_EQ(StillTest::save(dib, path("p.tif"), &seen), CONV_OK);
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 14, 28, 42, 57, 71, 85}));
    const vc::TiffSaveOptions &o = vc::tiff::saveOptions();
    EXPECT_EQ(std::tuple(o.bitCount, o.compression, o.stripSize), std::tuple(4u, 5u, 8u));
}

}  // namespace
