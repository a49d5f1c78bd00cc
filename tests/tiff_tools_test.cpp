// The TIFF reader against files independent programs wrote (netpbm, tiffcp,
// ImageMagick, Pillow, files shipped in Debian packages), and the TIFF
// writer against independent readers (tiffinfo -D, tifftopnm).
#include <filesystem>

#include "codecs/tiff.h"
#include "still_support.h"

using namespace stilltest;

namespace {

class TiffTools : public StillTest {
protected:
    TiffTools() { code = 130; }
    std::string q(const std::string &name) { return "'" + path(name) + "'"; }
};

uint32_t photo(int x, int y) { return rgb(uint8_t(x * 3 + y), uint8_t(y * 5), uint8_t((x ^ y) * 7)); }
const Rgb kColours[16] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x0963C7, 0xFA0180, 0x112233,
                          0xC8C800, 0x008080, 0x4D07B1, 0x808080, 0x010203, 0x040506, 0xFAFBFC, 0x3C4650};
uint32_t twelve(int x, int y) { return kColours[(x / 3 + y / 2) % 12]; }
uint32_t four(int x, int y) { return kColours[(x + y) % 4]; }
uint32_t grey(int x, int y) { return uint8_t(x * 5 + y * 11) * 0x010101u; }
uint32_t bilevel(int x, int y) { return (x * x + y) % 5 < 2 ? 0 : 0xFFFFFF; }

TEST_F(TiffTools, WritersOfOtherProgramsFeedTheReader) {
    const std::string src = q("src.ppm"), out = q("out.tif"), tmp = q("a.tif");
    auto pillow = [&](const std::string &how) {
        return "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + path("src.ppm") + "')" + how + "\"";
    };
    const std::string save = ".save('" + path("out.tif") + "', compression=";
    struct Case {
        std::function<uint32_t(int, int)> colour;
        std::string command;  // makes out.tif from src.ppm
        int32_t result;
    } cases[] = {
        {photo, "pamtotiff -lzw " + src + " > " + out, CONV_OK},
        {photo, "pamtotiff -packbits " + src + " > " + out, CONV_OK},
        {twelve, "pamtotiff -lzw -indexbits=4 " + src + " > " + out, CONV_OK},
        {twelve, "pamtotiff -packbits -indexbits=8 " + src + " > " + out, CONV_OK},
        {four, "pamtotiff -indexbits=1,2 " + src + " > " + out, CONV_E_UNSUPPORTED},
        {photo, "pamtotiff -none " + src + " > " + tmp + " && tiffcp -c lzw -B -r 3 " + tmp + " " + out, CONV_OK},
        {twelve, "pamtotiff -indexbits=8 " + src + " > " + tmp + " && tiffcp -c packbits -B -r 1 " + tmp + " " + out,
         CONV_OK},
        {grey, "ppmtopgm " + src + " | pamtotiff > " + tmp + " && tiffcp -c none -B -r 7 " + tmp + " " + out, CONV_OK},
        {bilevel, "ppmtopgm " + src + " | pgmtopbm -threshold | pamtotiff > " + tmp + " && tiffcp -c lzw -r 2 " + tmp +
                      " " + out, CONV_OK},
        // Its LZW files predict by default; the reader takes strips as stored.
        {photo, "/usr/bin/convert " + src + " -define tiff:endian=msb -define tiff:predictor=1 -compress lzw " + out,
         CONV_OK},
        {twelve, "/usr/bin/convert " + src + " -define tiff:endian=msb -type Palette -compress RLE " + out, CONV_OK},
        {photo, pillow(save + "'tiff_lzw')"), CONV_OK},
        {twelve, pillow(".quantize(16)" + save + "'packbits')"), CONV_OK},
        {bilevel, pillow(".convert('1')" + save + "'raw')"), CONV_OK},
    };
    for (const Case &c : cases)
        for (auto [w, h] : {std::pair{37, 23}, std::pair{301, 97}}) {
            SCOPED_TRACE(c.command + " at " + std::to_string(w));
            Image src = picture(w, h, c.colour);
            writePpm(path("src.ppm"), src);
            std::filesystem::remove(path("out.tif"));
            ASSERT_TRUE(tool(c.command));
            Image img;
            ASSERT_EQ(load(path("out.tif"), &img), c.result);
            if (c.result == CONV_OK) { EXPECT_EQ(worst(img, src), 0); }
        }
}

TEST_F(TiffTools, IndependentReadersReadWhatTheWriterWrites) {
    auto pattern = [](int x, int y) { return uint32_t(x / 3 + y * y / 7 + (x * y) % 5); };
    std::vector<Rgb> palette256;
    for (int i = 0; i < 256; ++i) palette256.push_back(rgb(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
    const std::pair<uint16_t, std::vector<Rgb>> kinds[] = {
        {1, {0xFFFFFF, 0}},
        {1, {0x0A141E, 0xC86400}},  // not black and white: written black-is-zero, colours dropped
        {4, {kColours, kColours + 16}},
        {8, palette256},
        {24, {}}};
    for (const auto &[depth, colours] : kinds)
        for (uint32_t compression : {1u, 5u, 32773u})
            for (auto [w, h] : {std::pair{1, 1}, std::pair{33, 17}, std::pair{517, 300}}) {
                SCOPED_TRACE(std::to_string(depth) + " bits, compression " + std::to_string(compression) + ", " +
                             std::to_string(w) + "x" + std::to_string(h));
                Image mine = picture(
                    w, h, [&](int x, int y) { return depth == 24 ? pattern(x, y) * 0x010305u : pattern(x, y); }, depth,
                    colours);
                void *m = handle(host::toPackedDib(mine));
                ASSERT_EQ(vc::SaveTiffImage(path("w.tif").c_str(), m, {depth, compression, 8}), CONV_OK);
                VcMemFree(m);
                // tiffinfo -D decodes every strip; apart from remarks on the
                // fixed layout (entry order, the zero entry, the padded
                // Software text) it must have nothing to say.
                tool("tiffinfo -D " + q("w.tif") + " 2>&1 >/dev/null | grep -v -e 'not sorted in ascending' -e "
                     "'tag 0 (0x0)' -e 'Tag 0' -e 'contains null byte' > " + q("remarks.txt"));
                ASSERT_EQ(readText(path("remarks.txt")), "");
                Image back;
                ASSERT_EQ(fromDecoder("tifftopnm", path("w.tif"), &back), 0);
                if (depth == 1 && colours[0] != 0xFFFFFF) mine.palette = {0, 0xFFFFFF};
                ASSERT_EQ(worst(back, mine), 0);
            }
}

TEST_F(TiffTools, FilesFromDebianPackagesInPlace) {
    const std::string go = "/usr/share/gocode/src/golang.org/x/image/testdata/";
    const std::pair<std::string, int32_t> cases[] = {
        {go + "video-001-uncompressed.tiff", CONV_OK},  // big-endian RGB
        {go + "blue-purple-pink.lzwcompressed.tiff", CONV_OK},
        {go + "bw-packbits.tiff", CONV_OK},  // white-is-zero bilevel
        {go + "video-001-gray.tiff", CONV_OK},
        {go + "no_rps.tiff", CONV_E_UNSUPPORTED},  // no RowsPerStrip, but RGBA
        {go + "video-001.tiff", CONV_E_DATA},  // Deflate
        {go + "bw-gopher_ccittGroup3.tiff", CONV_E_DATA},
        {go + "bw-gopher_ccittGroup4.tiff", CONV_E_DATA},
        {go + "video-001-tile-64x64.tiff", CONV_E_UNSUPPORTED},
        {go + "video-001-16bit.tiff", CONV_E_UNSUPPORTED},
        {"/usr/libexec/installed-tests/SDL2_image/sample.tif", CONV_OK},
    };
    for (const auto &[file, result] : cases) {
        SCOPED_TRACE(file);
        if (result == CONV_OK) EXPECT_EQ(fromDecoder("tifftopnm", file), 0);
        else EXPECT_EQ(load(file), result);
    }
}

}  // namespace
