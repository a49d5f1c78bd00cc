// JPEG through the JPEG library stand-in (the files of cjpeg and Debian's
// packages: StillFiles in still_cores_test.cpp): the core on an
// ImageMagick file and damaged bytes, djpeg reads what it writes, quality
// and sampling are checked in the written bytes, the exporter's rows and
// refusals, other programs' and damaged files give the results of Windows,
// and the library's entries check their record.
#include <filesystem>
#include <random>

#include "codecs/jpeg_core.h"
#include "stills/jpeg.h"
#include "ijl/ijl.h"
#include "still_support.h"
#include "support/jpeg_cases.h"

using namespace stilltest;

namespace {

// A smooth picture with some detail, which JPEG keeps closely.
Image gradient(int w, int h) {
    return picture(w, h, [=](int x, int y) {
        return rgb(uint8_t(x * 255 / std::max(w - 1, 1)), uint8_t(y * 255 / std::max(h - 1, 1)), uint8_t((x + y) * 2));
    });
}

// The body of the first marker segment of a kind before the scan, or none.
Bytes segment(const Bytes &f, uint8_t marker) {
    for (size_t i = 2; i + 4 <= f.size() && f[i] == 0xFF && f[i + 1] != 0xDA;) {
        const size_t len = size_t(f[i + 2]) << 8 | f[i + 3];
        if (f[i + 1] == marker && i + 2 + len <= f.size()) return Bytes(&f[i + 4], &f[i + 2] + len);
        i += 2 + len;
    }
    return {};
}

class Jpeg : public StillTest {
protected:
    Jpeg() { code = CONV_FMT_JPEG; }
};

// Width 1: rows padded with zeros; the file's density is not taken. A start
// marker then garbage, or alone, cannot be read.
TEST_F(Jpeg, AOneColumnFileOfImageMagickIsPaddedAndKeepsNoDensityAndDamageIsRefused) {
    ASSERT_TRUE(tool("/usr/bin/convert -size 1x9 xc:'#3060c0' -density 300 -units PixelsPerInch " + path("d.jpg")));
    vc::Picture p;
    ASSERT_EQ(vc::decodeJpeg(readBytes(path("d.jpg")), {}, p), vc::Result::ok);
    EXPECT_EQ(p.xPelsPerMeter, 0);
    ASSERT_EQ(p.pixels.size(), 4u * 9);
    for (int row = 0; row < 9; ++row) EXPECT_EQ(p.pixels[4 * row + 3], 0) << row;
    EXPECT_LE(worst(imageOf(p), picture(1, 9, [](int, int) { return 0x3060C0u; })), 4);
    Bytes garbage = {0xFF, 0xD8};
    for (int i = 0; i < 300; ++i) garbage.push_back(uint8_t(i * 73 + 5));
    EXPECT_TRUE(vc::looksLikeJpeg(garbage));
    const vc::Result r = vc::decodeJpeg(garbage, {}, p);
    EXPECT_TRUE(r == vc::Result::readFailed || r == vc::Result::unsupported) << vc::resultName(r);
    EXPECT_EQ(vc::decodeJpeg(Bytes{0xFF, 0xD8}, {}, p), vc::Result::readFailed);
    void *none = &p;  // the importer's own: a missing file
    EXPECT_EQ(vc::LoadJpegImage(path("missing.jpg").c_str(), &none), vc::Result::readFailed);
    EXPECT_EQ(none, nullptr);
}

TEST(JpegCore, WritesQuality100With422SamplingAndReadsBackClosely) {
    const Image src = gradient(50, 31);
    Bytes f;
    ASSERT_EQ(vc::encodeJpeg(pictureOf(src), {}, f), vc::Result::ok);
    Bytes dqt = segment(f, 0xDB), sof = segment(f, 0xC0);
    ASSERT_GE(dqt.size(), 65u);
    EXPECT_EQ(Bytes(dqt.begin() + 1, dqt.begin() + 65), Bytes(64, 1));  // quality 100: every step 1
    // Baseline, 31 x 50, three components: luma 2 x 1, chroma 1 x 1.
    EXPECT_EQ(sof, (Bytes{8, 0, 31, 0, 50, 3, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1}));
    vc::Picture back;
    ASSERT_EQ(vc::decodeJpeg(f, {}, back), vc::Result::ok);
    EXPECT_LE(worst(imageOf(back), src), 6);
}

TEST_F(Jpeg, WriterFindsTheRowsAndRefusesWhatItCannotWrite) {
    const Bytes plain = host::toPackedDib(gradient(32, 16));
    Bytes expected;  // what the core writes of the picture
    ASSERT_EQ(vc::encodeJpeg(pictureOf(gradient(32, 16)), {}, expected), vc::Result::ok);
    auto table = [&](uint32_t clrUsed) {  // rows after the table the header declares; none past 256
        Bytes dib = Bytes(plain.begin(), plain.begin() + 40) + Bytes(clrUsed <= 256 ? 4 * clrUsed : 0, 0xEE) +
                    Bytes(plain.begin() + 40, plain.end());
        std::memcpy(&dib[32], &clrUsed, 4);
        return dib;
    };
    Bytes topDown = plain, compressed = plain, backwards = plain;
    const long row = 32 * 3;
    for (long y = 0; y < 16; ++y)
        std::copy(plain.end() - (y + 1) * row, plain.end() - y * row, topDown.begin() + 40 + y * row);
    const int32_t negative = -16;
    std::memcpy(&topDown[8], &negative, 4);  // a negative height: rows top down, the same picture
    compressed[16] = 1;
    backwards[7] = 0xFF;  // a width below zero
    // Not 24 bits, compressed, backwards or one byte short of its rows: refused before the library is asked; no file appears.
    const std::pair<Bytes, int32_t> cases[] = {
        {table(1), CONV_OK},
        {table(16), CONV_OK},
        {table(300), CONV_OK},
        {topDown, CONV_OK},
        {host::toPackedDib(host::withDepth(gradient(32, 16), 8, false)), CONV_E_UNSUPPORTED},
        {compressed, CONV_E_UNSUPPORTED},
        {Bytes(plain.begin(), plain.end() - 1), CONV_E_UNSUPPORTED},
        {backwards, CONV_E_UNSUPPORTED}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        std::filesystem::remove(path("t.jpg"));
        ASSERT_EQ(save(cases[i].first, path("t.jpg")), cases[i].second);
        if (cases[i].second == CONV_OK) {
            EXPECT_EQ(readBytes(path("t.jpg")), expected);
        } else {
            EXPECT_FALSE(std::filesystem::exists(path("t.jpg")));
        }
    }
    EXPECT_EQ(save(plain, path("no/such/dir/x.jpg")), CONV_E_WRITE);  // the library cannot create it
}

// Files of other programs and damaged ones give the result they give on
// Windows; CMYK comes out as Pillow converts it, within its rounding.
TEST_F(Jpeg, OtherProgramsFilesAndDamagedOnesGiveTheResultsOfWindows) {
    const std::string dir = path(""), script = VC_TEST_SUPPORT "/jpeg_files.py";
    if (std::string made = capture("/usr/bin/python3 " + script + " " + dir + " 2>&1"); !made.empty()) GTEST_SKIP() << made;
    for (const vctest::JpegCase &c : vctest::kJpegCases) {
        vc::Picture p;
        EXPECT_EQ(vc::toConvResult(vc::decodeJpeg(readBytes(dir + c.file), {}, p)), c.result) << c.file;
        if (std::string(c.file).rfind("cmyk", 0) == 0) {
            EXPECT_LE(vctest::worstAgainstRgb(dibOf(p), dir + c.file + ".rgb"), 1) << c.file;
        }
    }
}

TEST_F(Jpeg, ALargerFileThanItsPixelsIsWholeAndTheSaveGoesThroughThePlatformsFiles) {
    // Every channel black or white at random: at quality 100 its file is
    // larger than its pixels, so the writer's first buffer is too small.
    std::mt19937 bits(7);
    const Image noise = picture(320, 320, [&](int, int) {
        uint32_t v = 0;
        for (int c = 0; c < 3; ++c) v |= (bits() & 1 ? 0xFFu : 0u) << 8 * c;
        return v;
    });
    Bytes bytes;
    ASSERT_EQ(vc::encodeJpeg(pictureOf(noise), {}, bytes), vc::Result::ok);
    EXPECT_GT(bytes.size(), 3u * 320 * 320 + 4096);
    vc::Picture decoded;
    ASSERT_EQ(vc::decodeJpeg(bytes, {}, decoded), vc::Result::ok);
    ASSERT_TRUE(tool("djpeg " + writeFile("whole.jpg", bytes) + " > " + path("ref.pnm")));  // no warning either
    EXPECT_EQ(worst(imageOf(decoded), readPnm(path("ref.pnm"))), 0);
    // The JPEG library's own file access goes through the platform's files:
    // a save into one held in memory, and a load from it.
    const std::string name = path("only-in-memory.jpg");
    vc::plat::memFileMap(name.c_str(), nullptr, 0);
    ASSERT_EQ(StillTest::save(host::toPackedDib(noise), name), CONV_OK);
    size_t size = 0;
    const uint8_t *saved = vc::plat::memFileData(name.c_str(), &size);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(Bytes(saved, saved + size), bytes);
    EXPECT_FALSE(std::filesystem::exists(name));
    vc::plat::memFileMap(name.c_str(), bytes.data(), bytes.size());
    EXPECT_EQ(load(name), CONV_OK);
    vc::plat::memFileUnmap(name.c_str());
    EXPECT_EQ(Bytes(block.begin() + 40, block.end()), decoded.pixels);
}

TEST(JpegLibrary, EntriesCheckTheRecordAndHonourTheSettings) {
    JlProperties p{}, q{};
    EXPECT_NE(JlInit(nullptr), JL_OK);
    ASSERT_EQ(JlInit(&p), JL_OK);
    const std::string file = (std::filesystem::temp_directory_path() / "vc-jl-test.jpg").string();
    Bytes pixels(3 * 8 * 8, 0x80);
    pixels[0] = pixels[1] = 0, pixels[2] = 255;  // the top-left pixel red, blue first
    p.jpegFile = file.c_str();
    p.dibBytes = pixels.data();
    p.dibWidth = p.jpegWidth = p.dibHeight = p.jpegHeight = 8;
    p.jpegQuality = 100;
    EXPECT_EQ(JlWrite(&p, 7), JL_E_UNSUPPORTED);
    p.jpegSubsampling = JL_SUBSAMPLE_NONE;
    ASSERT_EQ(JlWrite(&p, JL_WRITE_IMAGE), JL_OK);
    const Bytes written = readBytes(file);
    EXPECT_EQ(segment(written, 0xC0).at(7), 0x11);
    // Into memory: the same bytes, their count reported; one byte short of
    // room, refused without a byte past the buffer.
    Bytes out(written.size() + 1, 0xEE);
    p.jpegOutBytes = out.data();
    p.jpegOutSizeBytes = uint32_t(out.size());
    ASSERT_EQ(JlWrite(&p, JL_WRITE_IMAGE), JL_OK);
    ASSERT_EQ(p.jpegOutSizeBytes, written.size());
    EXPECT_EQ(Bytes(out.begin(), out.end() - 1), written);
    out.assign(out.size(), 0xEE);
    p.jpegOutSizeBytes = uint32_t(written.size() - 1);
    EXPECT_EQ(JlWrite(&p, JL_WRITE_IMAGE), JL_E_BUFFER);
    EXPECT_EQ(out[written.size() - 1], 0xEE);
    EXPECT_EQ(JlFree(&p), JL_OK);

    ASSERT_EQ(JlInit(&q), JL_OK);
    q.jpegFile = file.c_str();
    ASSERT_EQ(JlRead(&q, JL_READ_PARAMS), JL_OK);
    Bytes back(3 * 8 * 8 + 8 * 2, 0xAA);
    q.dibBytes = back.data(), q.dibWidth = 8, q.dibHeight = 7;
    EXPECT_EQ(JlRead(&q, JL_READ_IMAGE), JL_E_SIZE);
    q.dibHeight = 8, q.dibPadBytes = 2;
    EXPECT_EQ(JlRead(&q, 1), JL_E_UNSUPPORTED);
    for (int32_t height : {8, -8}) {  // bottom-up, the top row comes last
        q.dibHeight = height;
        back.assign(back.size(), 0xAA);
        ASSERT_EQ(JlRead(&q, JL_READ_IMAGE), JL_OK);
        const size_t top = height < 0 ? 7 * 26 : 0, bottom = 7 * 26 - top;
        EXPECT_TRUE(back[top + 2] > 200 && back[top] < 60 && back[bottom + 2] < 200);  // red in the third byte
        EXPECT_EQ(back[top + 24], 0xAA);  // the padding after the row untouched
    }
    EXPECT_EQ(JlFree(&q), JL_OK);
    EXPECT_NE(JlFree(&q), JL_OK);
    std::remove(file.c_str());
}

// Records with one bad field are refused before any pixel is touched or
// any byte written; those with a bad pixel side are refused for reading
// too.
TEST(JpegLibrary, RecordsWithABadFieldAreRefused) {
    Bytes pixels(3 * 8 * 8, 0x80), out(4096, 0xEE);
    const struct {
        const char *what;
        std::function<void(JlProperties &)> spoil;
        int32_t write;
        bool pixelSide;
    } rows[] = {
        {"not initialised", [](JlProperties &p) { p.magic = 0; }, JL_E_ARGUMENT, true},
        {"no pixels", [](JlProperties &p) { p.dibBytes = nullptr; }, JL_E_ARGUMENT, true},
        {"no height", [](JlProperties &p) { p.dibHeight = 0; }, JL_E_ARGUMENT, true},
        {"four channels", [](JlProperties &p) { p.dibChannels = 4; }, JL_E_ARGUMENT, true},
        {"not BGR", [](JlProperties &p) { p.dibColor = JL_PIXELS_BGR + 1; }, JL_E_ARGUMENT, true},
        {"negative padding", [](JlProperties &p) { p.dibPadBytes = -1; }, JL_E_ARGUMENT, true},
        {"a row past 2 GiB", [](JlProperties &p) { p.dibWidth = p.jpegWidth = 0x2AAAAAAB; }, JL_E_ARGUMENT, true},
        {"rows past 2 GiB", [](JlProperties &p) { p.dibHeight = p.jpegHeight = 0x7FFFFFFF / 24 + 1; }, JL_E_ARGUMENT, true},
        {"widths differ", [](JlProperties &p) { p.jpegWidth = 9; }, JL_E_ARGUMENT, false},
        {"wider than JPEG", [](JlProperties &p) { p.dibWidth = p.jpegWidth = 65501; }, JL_E_ARGUMENT, false},
        {"quality 0", [](JlProperties &p) { p.jpegQuality = 0; }, JL_E_ARGUMENT, false},
        {"quality past 100", [](JlProperties &p) { p.jpegQuality = 101; }, JL_E_ARGUMENT, false},
        {"sampling above", [](JlProperties &p) { p.jpegSubsampling = JL_SUBSAMPLE_422 + 1; }, JL_E_UNSUPPORTED, false},
        {"nothing to read or write", [](JlProperties &p) { p.jpegBytes = p.jpegOutBytes = nullptr; }, JL_E_ARGUMENT, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        JlProperties p{};
        ASSERT_EQ(JlInit(&p), JL_OK);
        p.dibBytes = pixels.data(), p.jpegBytes = p.jpegOutBytes = out.data(), p.jpegOutSizeBytes = p.jpegSizeBytes = 4096;
        p.dibWidth = p.jpegWidth = p.dibHeight = p.jpegHeight = 8;
        r.spoil(p);
        EXPECT_EQ(JlWrite(&p, JL_WRITE_IMAGE), r.write);
        if (r.pixelSide) {
            EXPECT_EQ(JlRead(&p, JL_READ_IMAGE), JL_E_ARGUMENT);
        }
        EXPECT_EQ(out, Bytes(out.size(), 0xEE));
    }
}

}  // namespace
