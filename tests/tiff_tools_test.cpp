// The TIFF reader against files that independent programs wrote (netpbm,
// libtiff's tiffcp, ImageMagick, Pillow, and files shipped in Debian
// packages), and the TIFF writer against independent readers (tiffinfo -D,
// which decodes every strip, tifftopnm, ImageMagick).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "codecs/tiff.h"
#include "support/library_test.h"
#include "tiff_support.h"

using namespace tifftest;

namespace {

class TiffTools : public vctest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        for (const char *t : {"pamtotiff", "tiffcp", "tiffinfo", "tifftopnm"})
            if (!tool(std::string("command -v ") + t + " >/dev/null")) GTEST_SKIP() << t << " is not installed";
    }
    std::string q(const std::string &name) { return "'" + path(name) + "'"; }

    // Loads through the exports; the result and the pixels.
    int32_t load(const std::string &file, Pixels *pixels = nullptr, ConvBitmapInfoHeader *header = nullptr) {
        ConvImageRecord rec{};
        uint8_t format = 0;
        int32_t r = LoadConvImage(nullptr, file.c_str(), &rec, &format, 0, nullptr);
        if (r == CONV_OK) {
            if (header) std::memcpy(header, vc::plat::memLock(rec.image), 40), vc::plat::memUnlock(rec.image);
            if (pixels) *pixels = blockPixels(rec.image);
            vc::plat::memFree(rec.image);
        }
        return r;
    }

    // A PPM of w x h whose colour is colour(x, y).
    std::string ppm(const std::string &name, int w, int h, std::function<Rgb(int, int)> colour) {
        std::string text = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        Bytes b(text.begin(), text.end());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                Rgb c = colour(x, y);
                b.insert(b.end(), {c.r, c.g, c.b});
            }
        return writeFile(name, b);
    }
};

Rgb photo(int x, int y) { return {uint8_t(x * 3 + y), uint8_t(y * 5), uint8_t((x ^ y) * 7)}; }
Rgb twelve(int x, int y) {
    static const Rgb colours[12] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},   {0, 255, 0},
                                    {0, 0, 255},   {9, 99, 199},    {250, 1, 128}, {17, 34, 51},
                                    {200, 200, 0}, {0, 128, 128},   {77, 7, 177},  {128, 128, 128}};
    return colours[(x / 3 + y / 2) % 12];
}
Rgb four(int x, int y) { return twelve((x + y) % 4 * 3, 0); }
Rgb grey(int x, int y) {
    uint8_t v = uint8_t(x * 5 + y * 11);
    return {v, v, v};
}
Rgb bilevel(int x, int y) { return ((x * x + y) % 5) < 2 ? Rgb{0, 0, 0} : Rgb{255, 255, 255}; }

TEST_F(TiffTools, WritersOfOtherProgramsFeedTheReader) {
    struct Case {
        std::string name;
        std::function<Rgb(int, int)> colour;
        std::string command;  // makes out.tif from src.ppm
        int32_t result;
    };
    const std::string src = "'" + path("src.ppm") + "'", out = "'" + path("out.tif") + "'";
    const std::string grey8 = "pamtopnm -assume " + src + " | ppmtopgm";
    const std::string bits1 = "ppmtopgm " + src + " | pgmtopbm -threshold";
    const std::vector<Case> cases = {
        {"pamtotiff -lzw rgb", photo, "pamtotiff -lzw " + src + " > " + out, CONV_OK},
        {"pamtotiff -packbits rgb", photo, "pamtotiff -packbits " + src + " > " + out, CONV_OK},
        {"pamtotiff -lzw -indexbits=4", twelve, "pamtotiff -lzw -indexbits=4 " + src + " > " + out, CONV_OK},
        {"pamtotiff -packbits -indexbits=8", twelve, "pamtotiff -packbits -indexbits=8 " + src + " > " + out, CONV_OK},
        {"pamtotiff -indexbits=2 is refused", four, "pamtotiff -indexbits=1,2 " + src + " > " + out, CONV_E_UNSUPPORTED},
        {"pamtotiff grey", grey, "ppmtopgm " + src + " | pamtotiff -lzw > " + out, CONV_OK},
        {"pamtotiff bilevel", bilevel, bits1 + " | pamtotiff -packbits > " + out, CONV_OK},
        {"tiffcp -c lzw -B -r 3", photo,
         "pamtotiff -none " + src + " > " + q("a.tif") + " && tiffcp -c lzw -B -r 3 " + q("a.tif") + " " + out, CONV_OK},
        {"tiffcp -c packbits -B -r 1", twelve,
         "pamtotiff -indexbits=8 " + src + " > " + q("a.tif") + " && tiffcp -c packbits -B -r 1 " + q("a.tif") + " " + out,
         CONV_OK},
        {"tiffcp -c none -B -r 7", grey,
         "ppmtopgm " + src + " | pamtotiff > " + q("a.tif") + " && tiffcp -c none -B -r 7 " + q("a.tif") + " " + out, CONV_OK},
        {"tiffcp -c lzw -L -r 2 bilevel", bilevel,
         bits1 + " | pamtotiff > " + q("a.tif") + " && tiffcp -c lzw -r 2 " + q("a.tif") + " " + out, CONV_OK},
        {"ImageMagick msb lzw", photo,
         // Its LZW files predict by default; the reader uses strips as stored.
         "/usr/bin/convert " + src + " -define tiff:endian=msb -define tiff:predictor=1 -compress lzw " + out, CONV_OK},
        {"ImageMagick msb rle palette", twelve,
         "/usr/bin/convert " + src + " -define tiff:endian=msb -type Palette -compress RLE " + out, CONV_OK},
        {"ImageMagick grey none", grey, "/usr/bin/convert " + src + " -colorspace Gray -depth 8 -compress None " + out,
         CONV_OK},
        {"Pillow lzw", photo,
         "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + path("src.ppm") + "').save('" + path("out.tif") +
             "', compression='tiff_lzw')\"",
         CONV_OK},
        {"Pillow packbits palette", twelve,
         "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + path("src.ppm") +
             "').quantize(16).save('" + path("out.tif") + "', compression='packbits')\"",
         CONV_OK},
        {"Pillow raw bilevel", bilevel,
         "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + path("src.ppm") + "').convert('1').save('" +
             path("out.tif") + "', compression='raw')\"",
         CONV_OK},
        {"Pillow deflate is refused", photo,
         "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + path("src.ppm") + "').save('" + path("out.tif") +
             "', compression='tiff_adobe_deflate')\"",
         CONV_E_DATA},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (auto [w, h] : {std::pair{37, 23}, std::pair{301, 97}}) {
            std::string s = ppm("src.ppm", w, h, c.colour);
            std::filesystem::remove(path("out.tif"));
            ASSERT_TRUE(tool(c.command)) << c.command;
            Pixels px;
            ASSERT_EQ(load(path("out.tif"), &px), c.result) << w << "x" << h;
            if (c.result != CONV_OK) continue;
            Pixels expected = readPnm(s);
            ASSERT_EQ(px.size(), expected.size());
            for (size_t i = 0; i < px.size(); ++i)
                ASSERT_EQ(px[i], expected[i]) << "pixel " << i % w << "," << i / w << " of " << w << "x" << h;
        }
    }
}

TEST_F(TiffTools, IndependentReadersReadWhatTheWriterWrites) {
    auto pattern = [](int x, int y) { return uint32_t(x / 3 + y * y / 7 + (x * y) % 5); };
    const std::vector<Rgb> palette16 = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},    {0, 255, 0},
                                        {0, 0, 255},   {9, 99, 199},    {250, 1, 128},  {17, 34, 51},
                                        {200, 200, 0}, {0, 128, 128},   {77, 7, 177},   {128, 128, 128},
                                        {1, 2, 3},     {4, 5, 6},       {250, 251, 252}, {60, 70, 80}};
    std::vector<Rgb> palette256;
    for (int i = 0; i < 256; ++i) palette256.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    struct Kind {
        uint16_t depth;
        std::vector<Rgb> colours;
    };
    const std::vector<Kind> kinds = {{1, {{255, 255, 255}, {0, 0, 0}}},
                                     {1, {{10, 20, 30}, {200, 100, 0}}},  // written black-is-zero, colours dropped
                                     {4, palette16},
                                     {8, palette256},
                                     {24, {}}};
    for (const Kind &k : kinds)
        for (uint32_t compression : {1u, 5u, 32773u})
            for (auto [w, h] : {std::pair{1, 1}, std::pair{33, 17}, std::pair{517, 300}}) {
                SCOPED_TRACE(std::to_string(k.depth) + " bits, compression " + std::to_string(compression) + ", " +
                             std::to_string(w) + "x" + std::to_string(h));
                vc::MemHandle m = makeBlock(
                    w, h, k.depth,
                    [&](int x, int y) { return k.depth == 24 ? pattern(x, y) * 0x010305u : pattern(x, y); }, k.colours);
                Pixels mine = blockPixels(m);
                auto *hd = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(m));
                vc::TiffSaveOptions o{hd->biBitCount, compression, 8};
                vc::plat::memUnlock(m);
                ASSERT_EQ(vc::SaveTiffImage(path("w.tif").c_str(), m, o), CONV_OK);
                vc::plat::memFree(m);
                // tiffinfo -D decodes every strip; besides its remarks on the
                // fixed layout (entry order, the zero entry, the padded
                // Software text) it must have nothing to say.
                tool("tiffinfo -D " + q("w.tif") + " 2>&1 >/dev/null | grep -v -e 'not sorted in ascending' -e "
                     "'tag 0 (0x0)' -e 'Tag 0' -e 'contains null byte' > " + q("remarks.txt"));
                Bytes remarks = readBytes(path("remarks.txt"));
                ASSERT_EQ(std::string(remarks.begin(), remarks.end()), "");
                ASSERT_TRUE(tool("tifftopnm " + q("w.tif") + " > " + q("w.pnm")));
                Pixels theirs = readPnm(path("w.pnm"));
                if (k.depth == 1 && k.colours[0].r != 255) {
                    // Black-is-zero: the reader shows index 0 black, 1 white.
                    for (Rgb &c : mine) c = c == k.colours[0] ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
                }
                ASSERT_EQ(theirs.size(), mine.size());
                for (size_t i = 0; i < mine.size(); ++i) ASSERT_EQ(theirs[i], mine[i]) << "pixel " << i;
                // Our own reader gives back the same pixels.
                Pixels back;
                ASSERT_EQ(load(path("w.tif"), &back), CONV_OK);
                ASSERT_EQ(back, theirs);
                if (k.depth == 4 || k.depth == 8) {
                    // ImageMagick reads the palette kinds (the zero twentieth
                    // entry of the other kinds is an unknown tag to it). It
                    // takes a map value v * 256 as v * 256 / 65535, up to one
                    // step below v: a fuzz just over a step.
                    tool("{ /usr/bin/compare -quiet -fuzz 0.5% -metric AE " + q("w.tif") + " " + q("w.pnm") +
                         " null: 2>" + q("ae.txt") + "; }");
                    Bytes ae = readBytes(path("ae.txt"));
                    EXPECT_EQ(std::string(ae.begin(), ae.end()), "0");
                }
            }
}

TEST_F(TiffTools, FilesFromDebianPackagesInPlace) {
    const std::string go = "/usr/share/gocode/src/golang.org/x/image/testdata/";
    if (!std::filesystem::exists(go)) GTEST_SKIP() << "golang-golang-x-image-dev is not installed";
    struct Case {
        std::string file;
        int32_t result;
    };
    const std::vector<Case> cases = {
        {go + "video-001-uncompressed.tiff", CONV_OK},    // big-endian RGB
        {go + "blue-purple-pink.lzwcompressed.tiff", CONV_OK},
        {go + "bw-packbits.tiff", CONV_OK},               // white-is-zero bilevel
        {go + "bw-uncompressed.tiff", CONV_OK},
        {go + "video-001-gray.tiff", CONV_OK},
        {go + "no_rps.tiff", CONV_E_UNSUPPORTED},         // no RowsPerStrip, but RGBA
        {go + "no_compress.tiff", CONV_E_UNSUPPORTED},    // RGBA: ExtraSamples
        {go + "bw-deflate.tiff", CONV_E_DATA},
        {go + "video-001.tiff", CONV_E_DATA},             // Deflate
        {go + "video-001-paletted.tiff", CONV_E_DATA},
        {go + "bw-gopher_ccittGroup3.tiff", CONV_E_DATA},
        {go + "bw-gopher_ccittGroup4.tiff", CONV_E_DATA},
        {go + "video-001-tile-64x64.tiff", CONV_E_UNSUPPORTED},
        {go + "video-001-gray-16bit.tiff", CONV_E_UNSUPPORTED},
        {go + "video-001-16bit.tiff", CONV_E_UNSUPPORTED},
        {"/usr/libexec/installed-tests/SDL2_image/sample.tif", CONV_OK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        if (!std::filesystem::exists(c.file)) {
            ADD_FAILURE() << "missing";
            continue;
        }
        Pixels px;
        ASSERT_EQ(load(c.file, &px), c.result);
        if (c.result != CONV_OK) continue;
        ASSERT_TRUE(tool("tifftopnm '" + c.file + "' > " + q("ref.pnm")));
        Pixels ref = readPnm(path("ref.pnm"));
        ASSERT_EQ(px.size(), ref.size());
        for (size_t i = 0; i < px.size(); ++i) ASSERT_EQ(px[i], ref[i]) << "pixel " << i;
    }
    // The big-endian file and its little-endian LZW twin hold the same picture.
    Pixels be, le;
    ASSERT_EQ(load(go + "video-001-uncompressed.tiff", &be), CONV_OK);
    ASSERT_TRUE(tool("tiffcp -c lzw -L '" + go + "video-001-uncompressed.tiff' " + q("le.tif")));
    ASSERT_EQ(load(path("le.tif"), &le), CONV_OK);
    EXPECT_EQ(be, le);
}

}  // namespace
