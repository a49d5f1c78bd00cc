// The still formats' cores run from memory: real files of Debian's
// packages against each format's independent decoder (pcxtoppm, tifftopnm,
// djpeg), and on every cut and damaged copy of them what the importer hands
// the editor (the same result, the same picture); files other programs wrote
// from a picture read back as it was (StillFiles); what the cores write
// reads back and is what the save writes; progress can stop them; the
// limits they keep are the request's (several threads at once:
// tests/cores/threads_test.cpp).
#include <ctime>
#include <filesystem>
#include <random>

#include "codecs/jpeg_core.h"
#include "codecs/pcx_core.h"
#include "codecs/tiff_core.h"
#include "still_support.h"
#include "stills/tiff.h"

using namespace stilltest;

namespace {

struct Core {
    const char *name;
    uint8_t code;
    const char *extension;
    vc::Result (*decode)(std::span<const uint8_t>, const vc::CoreRequest &, vc::Picture &);
    vc::Result (*decodeInto)(std::span<const uint8_t>, const vc::CoreRequest &, vc::Picture &, const vc::RowsTarget &);
    // Writes with the save's options (variant 0) or another of `variants`.
    std::function<vc::Result(const vc::Picture &, const vc::CoreRequest &, Bytes &, uint16_t variant)> encode;
    bool (*looksLike)(std::span<const uint8_t>);
    const char *decoder;  // an independent one, writing PNM
    std::vector<std::pair<std::string, vc::Result>> realFiles;
    std::vector<uint16_t> depths;  // written; the first is the one every core takes
    bool lossless = true;
    bool encodeReports = true, decodeReports = true;  // progress
    std::vector<uint16_t> variants = {0};
};
void PrintTo(const Core &c, std::ostream *os) { *os << c.name; }


const std::string kGo = "/usr/share/gocode/src/golang.org/x/image/testdata/";
const std::string kSample = "/usr/libexec/installed-tests/SDL2_image/sample.";
const std::string kHeroes = "/usr/share/games/heroes/";

using enum vc::Result;
const Core kCores[] = {
    {"pcx", CONV_FMT_PCX, ".pcx", vc::decodePcx, vc::decodePcx,
     [](const vc::Picture &p, const vc::CoreRequest &r, Bytes &out, uint16_t) { return vc::encodePcx(p, r, out); },
     vc::looksLikePcx, "pcxtoppm",
     {{kSample + "pcx", ok}, {kHeroes + "tilesets/level09.pcx", ok}},
     {24, 1, 4, 8}, true, true, false},
    {"tiff", CONV_FMT_TIFF, ".tif", vc::decodeTiff, vc::decodeTiff,
     [](const vc::Picture &p, const vc::CoreRequest &r, Bytes &out, uint16_t compression) {
         vc::TiffWriteOptions o;
         o.clock = fixedClock;
         if (compression) o.compression = compression;
         return vc::encodeTiff(p, o, r, out);
     },
     vc::looksLikeTiff, "tifftopnm -quiet",
     {{kSample + "tif", ok},
      {kGo + "video-001-uncompressed.tiff", ok},  // big-endian RGB
      {kGo + "blue-purple-pink.lzwcompressed.tiff", ok},
      {kGo + "bw-packbits.tiff", ok},  // white-is-zero bilevel
      {kGo + "video-001-gray.tiff", ok},
      {kGo + "video-001.tiff", damaged},  // Deflate, as the next two
      {kGo + "video-001-paletted.tiff", damaged},
      {kGo + "video-001-strip-64.tiff", damaged},
      {kGo + "bw-gopher_ccittGroup3.tiff", damaged},
      {kGo + "bw-gopher_ccittGroup4.tiff", damaged},
      {kGo + "no_rps.tiff", unsupported},  // no RowsPerStrip, but RGBA
      {kGo + "video-001-tile-64x64.tiff", unsupported},
      {kGo + "video-001-16bit.tiff", unsupported}},
     {24, 1, 4, 8}, true, true, true, {0, vc::tiff::kUncompressed, vc::tiff::kPackBits}},
    {"jpeg", CONV_FMT_JPEG, ".jpg", vc::decodeJpeg, vc::decodeJpeg,
     [](const vc::Picture &p, const vc::CoreRequest &r, Bytes &out, uint16_t) { return vc::encodeJpeg(p, r, out); },
     vc::looksLikeJpeg, "djpeg", {{kSample + "jpg", ok}, {kGo + "go-turns-two-280x360.jpeg", ok}}, {24}, false, false,
     false},
};

class StillCore : public StillTest, public ::testing::WithParamInterface<Core> {
protected:
    void SetUp() override {
        StillTest::SetUp();
        code = GetParam().code;
        vc::tiff::setClock(fixedClock);
    }
    void TearDown() override {
        vc::tiff::setClock(nullptr);
        StillTest::TearDown();
    }
    // The importer's result and block against the core's on the same bytes.
    void sameAsImporter(const Bytes &file, const std::string &what) {
        SCOPED_TRACE(what);
        vc::Picture p;
        const vc::Result r = GetParam().decode(file, vc::CoreRequest{}, p);
        const int32_t imported = load(file);
        if (r == vc::Result::notFormat) {  // the importer is not reached: the detection says so
            EXPECT_FALSE(GetParam().looksLike(file));
            return;
        }
        ASSERT_EQ(vc::toConvResult(r), imported) << vc::resultName(r);
        if (r != vc::Result::ok) return;
        ASSERT_TRUE(p.consistent());
        EXPECT_EQ(std::tuple(p.width, p.height, p.bitCount, p.xPelsPerMeter, p.yPelsPerMeter),
                  std::tuple(header.biWidth, header.biHeight, header.biBitCount, header.biXPelsPerMeter,
                             header.biYPelsPerMeter));
        const uint8_t *table = block.data() + 40, *bits = block.data() + vc::dibBitsOffset(header);
        EXPECT_EQ(Bytes(table, bits), Bytes(reinterpret_cast<const uint8_t *>(p.palette.data()),
                                            reinterpret_cast<const uint8_t *>(p.palette.data() + p.palette.size())));
        EXPECT_EQ(Bytes(bits, bits + (block.size() - (bits - block.data()))), p.pixels);
    }
};

vc::Picture patterned(int32_t w, int32_t h, uint16_t bits) {
    std::vector<Rgb> palette;
    if (bits == 1 && w % 2) palette = {0xFFFFFF, 0};  // at 1 bit an odd width: a TIFF file's white-is-zero kind
    else if (bits <= 8)
        for (uint32_t i = 0; i < (1u << bits); ++i) palette.push_back(rgb(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
    const auto value = [=](int x, int y) { return uint32_t((x * x + y * 3) / 5 + y) * (bits == 24 ? 0x010305u : 1u); };
    vc::Picture p = pictureOf(picture(w, h, value, bits, palette));
    p.xPelsPerMeter = 3937, p.yPelsPerMeter = 2953;
    return p;
}

// Each file as its format's decoder reads it, or refused with the result
// the format's rules give; the preview is the load's block; the file, cut
// and damaged, gives what the importer gives.
TEST_P(StillCore, RealCutAndDamagedFilesMatchTheirDecoderAndTheImporter) {
    std::mt19937 random(37);
    auto files = GetParam().realFiles;
    if (GetParam().code == CONV_FMT_PCX && std::filesystem::exists(kHeroes))  // ten more of the game's pictures
        for (auto &e : std::filesystem::recursive_directory_iterator(kHeroes))
            if (e.path().extension() == ".pcx" && files.size() < 12) files.push_back({e.path().string(), ok});
    for (const auto &[name, result] : files) {
        if (!std::filesystem::exists(name))
            GTEST_SKIP() << "needs the sample pictures of the Debian packages (golang-x-image, SDL2_image tests, heroes)";
        const Bytes f = readBytes(name);
        vc::Picture p;
        ASSERT_EQ(GetParam().decode(f, {}, p), result) << name;
        if (result == ok) {
            ASSERT_TRUE(tool(std::string(GetParam().decoder) + " '" + name + "' > " + path("ref.pnm")));
            EXPECT_EQ(worst(imageOf(p), readPnm(path("ref.pnm"))), 0) << name;
        }
        sameAsImporter(f, name);
        if (result == ok) {
            ConvImageRecord rec{};
            rec.bitsOffset = 99;
            ASSERT_EQ(GetPreviewImage(name.c_str(), &rec), CONV_OK);
            EXPECT_EQ(std::make_tuple(rec.bitsOffset, VcMemSize(rec.image)), std::make_tuple(0u, block.size()));
            VcMemFree(rec.image);
        }
        for (size_t cut : {size_t(0), size_t(3), size_t(8), f.size() / 3, f.size() - 1})
            sameAsImporter(Bytes(f.begin(), f.begin() + long(std::min(cut, f.size()))), name + " cut");
        for (int n = 0; n < 12; ++n) {
            Bytes d = f;
            for (int k = 0; k < 4; ++k) d[random() % std::min<size_t>(d.size(), 512)] = uint8_t(random());
            sameAsImporter(d, name + " damaged " + std::to_string(n));
        }
    }
}

// The format's decoder reads what the core writes as the picture it was
// (JPEG: as the core reads it back) and has nothing to say, but for
// remarks on the TIFF writer's fixed layout (entry order, the zero entry,
// the padded Software text); pcxtoppm reads 8-bit files only at heights
// that fill the groups of 8 scan lines, as it looks for the palette block
// right after the picture's own rows.
TEST_P(StillCore, WhatItWritesReadsBackAsTheDecoderReadsItAndIsWhatTheSaveWrites) {
    const Core &c = GetParam();
    for (uint16_t variant : c.variants)
        for (uint16_t bits : c.depths)
            for (auto [w, h] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{300, 41}}) {
                SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(w) + "x" + std::to_string(h) + ", variant " +
                             std::to_string(variant));
                const vc::Picture p = patterned(w, h, bits);
                Bytes written;
                ASSERT_EQ(c.encode(p, {}, written, variant), ok);
                EXPECT_TRUE(c.looksLike(written));
                vc::Picture back;
                ASSERT_EQ(c.decode(written, {}, back), ok);
                EXPECT_EQ(std::tuple(back.width, back.height, back.bitCount), std::tuple(w, h, bits));
                if (c.lossless) {
                    EXPECT_EQ(back.pixels, p.pixels);
                }
                if (bits > 1) {  // bilevel files keep no colours
                    EXPECT_EQ(back.palette, p.palette);
                }
                if (c.code != CONV_FMT_PCX || bits != 8 || h % 8 == 0) {
                    const std::string file = writeFile("w" + std::string(c.extension), written), ref = path("ref.pnm");
                    const std::string remarks = " | grep -v -e 'not sorted in ascending' -e 'tag 0 (0x0)' -e 'Tag 0' "
                                                "-e 'contains null byte'";
                    ASSERT_EQ(capture(std::string(c.decoder) + " " + file + " 2>&1 >" + ref + remarks), "");
                    // The picture written (JPEG: as we read it); a TIFF file's two colours are black and white.
                    Image expected = imageOf(c.lossless ? p : back);
                    if (c.code == CONV_FMT_TIFF && bits == 1 && w % 2 == 0) expected.palette = {0, 0xFFFFFF};
                    EXPECT_EQ(worst(expected, readPnm(ref)), 0);
                }
                if (variant == 0) {  // the save of the same picture as an image block
                    ASSERT_EQ(save(dibOf(p), path("saved" + std::string(c.extension))), CONV_OK);
                    EXPECT_EQ(readBytes(path("saved" + std::string(c.extension))), written);
                }
            }
}

TEST_P(StillCore, ProgressStopsItAndTheLimitsAreTheRequests) {
    const vc::Picture p = patterned(64, 300, GetParam().depths[0]);
    Bytes written;
    ASSERT_EQ(GetParam().encode(p, {}, written, 0), vc::Result::ok);
    vc::Picture back;
    int calls = 0;
    vc::CoreRequest stop;
    stop.progress = {[](void *c, int32_t) { return ++*static_cast<int *>(c) < 3; }, &calls};
    Bytes none;
    EXPECT_EQ(GetParam().encode(p, stop, none, 0) == vc::Result::cancelled, GetParam().encodeReports);
    calls = 0;
    EXPECT_EQ(GetParam().decode(written, stop, back) == vc::Result::cancelled, GetParam().decodeReports);
    vc::CoreRequest small;
    small.limits.largestPicture = 64 * 300 - 1;
    EXPECT_EQ(GetParam().decode(written, small, back), vc::Result::noMemory);
    small.limits = {};
    small.limits.largestBlock = p.pixels.size();
    EXPECT_EQ(GetParam().decode(written, small, back), vc::Result::noMemory);
    EXPECT_EQ(GetParam().decode(written, vc::CoreRequest{}, back), vc::Result::ok);
    // Rows the caller names and then refuses.
    const vc::RowsTarget refused{[](void *, const vc::Picture &) -> uint8_t * { return nullptr; }, nullptr};
    EXPECT_EQ(GetParam().decodeInto(written, vc::CoreRequest{}, back, refused), vc::Result::noMemory);
}

INSTANTIATE_TEST_SUITE_P(Stills, StillCore, ::testing::ValuesIn(kCores),
                         [](const auto &info) { return std::string(info.param.name); });

// Sixteen colours of every kind: black, white, primaries, near neighbours.
constexpr Rgb kSixteen[16] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x0963C7, 0xFA0180, 0x112233,
                                     0xC8C800, 0x008080, 0x4D07B1, 0x808080, 0x010203, 0x040506, 0xFAFBFC, 0x3C4650};

uint32_t photo(int x, int y) { return rgb(uint8_t(x * 3 + y), uint8_t(y * 5), uint8_t((x ^ y) * 7)); }
uint32_t twelve(int x, int y) { return kSixteen[(x / 3 + y / 2) % 12]; }
uint32_t four(int x, int y) { return kSixteen[(x + y) % 4]; }
uint32_t grey(int x, int y) { return uint8_t(x * 5 + y * 11) * 0x010101u; }
uint32_t bilevel(int x, int y) { return (x * x + y) % 5 < 2 ? 0 : 0xFFFFFF; }

using StillFiles = StillTest;

// Files other programs wrote from a picture: netpbm (every PCX layout; TIFF
// alone and through tiffcp), ImageMagick, Pillow and cjpeg; read pixel for
// pixel (JPEG: as djpeg reads it) at the depth the layout holds, or refused
// with their result.
TEST_F(StillFiles, WritersOfOtherProgramsFeedTheCores) {
    const std::string src = "'" + path("src.ppm") + "'", tmp = "'" + path("a.tif") + "'";
    const std::string toPcx = " > '" + path("out.pcx") + "'", out = "'" + path("out.tif") + "'";
    auto pillow = [&](const std::string &how) {
        return "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + path("src.ppm") + "')" + how + "\"";
    };
    const std::string save = ".save('" + path("out.tif") + "', compression=", toJpeg = " > '" + path("out.jpg") + "'";
    const Core &pcx = kCores[0], &tiff = kCores[1], &jpeg = kCores[2];
    const struct {
        const Core &core;
        std::function<uint32_t(int, int)> colour;
        std::string command;  // makes out.pcx, out.tif or out.jpg from src.ppm
        vc::Result result;
        uint16_t depth = 0;  // 0: any
    } cases[] = {
        {pcx, spread(2), "ppmtopcx " + src + toPcx, ok, 1},
        {pcx, spread(16), "ppmtopcx " + src + toPcx, ok, 4},
        {pcx, spread(2), "ppmtopcx -packed " + src + toPcx, ok, 1},
        {pcx, spread(200), "ppmtopcx -8bit " + src + toPcx, ok, 8},
        {pcx, spread(1000), "ppmtopcx -24bit " + src + toPcx, ok, 24},
        {pcx, spread(5), "ppmtopcx -8bit -packed " + src + toPcx, ok, 8},
        // Sixteen colours packed into one plane: refused as a layout, not as a foreign file.
        {pcx, spread(16), "ppmtopcx -packed " + src + toPcx, damaged},
        {tiff, photo, "pamtotiff -lzw " + src + " > " + out, ok},
        {tiff, photo, "pamtotiff -packbits " + src + " > " + out, ok},
        {tiff, twelve, "pamtotiff -lzw -indexbits=4 " + src + " > " + out, ok},
        {tiff, twelve, "pamtotiff -packbits -indexbits=8 " + src + " > " + out, ok},
        {tiff, four, "pamtotiff -indexbits=1,2 " + src + " > " + out, unsupported},
        {tiff, photo, "pamtotiff -none " + src + " > " + tmp + " && tiffcp -c lzw -B -r 3 " + tmp + " " + out, ok},
        {tiff, twelve, "pamtotiff -indexbits=8 " + src + " > " + tmp + " && tiffcp -c packbits -B -r 1 " + tmp + " " + out,
         ok},
        {tiff, grey, "ppmtopgm " + src + " | pamtotiff > " + tmp + " && tiffcp -c none -B -r 7 " + tmp + " " + out, ok},
        {tiff, bilevel,
         "ppmtopgm " + src + " | pgmtopbm -threshold | pamtotiff > " + tmp + " && tiffcp -c lzw -r 2 " + tmp + " " + out,
         ok},
        // Its LZW files predict by default; the reader takes strips as stored.
        {tiff, photo, "/usr/bin/convert " + src + " -define tiff:endian=msb -define tiff:predictor=1 -compress lzw " + out,
         ok},
        {tiff, twelve, "/usr/bin/convert " + src + " -define tiff:endian=msb -type Palette -compress RLE " + out, ok},
        {tiff, photo, pillow(save + "'tiff_lzw')"), ok},
        {tiff, twelve, pillow(".quantize(16)" + save + "'packbits')"), ok},
        {tiff, bilevel, pillow(".convert('1')" + save + "'raw')"), ok},
        {jpeg, photo, "cjpeg -quality 90 " + src + toJpeg, ok, 24},
        {jpeg, photo, "cjpeg -progressive " + src + toJpeg, ok, 24},
        {jpeg, photo, "cjpeg -grayscale " + src + toJpeg, ok, 24},
        {jpeg, photo, "cjpeg -quality 50 -sample 1x1 " + src + toJpeg, ok, 24},
    };
    for (const auto &c : cases)
        for (auto [w, h] : {std::pair{37, 23}, std::pair{301, 97}}) {
            SCOPED_TRACE(c.command + " at " + std::to_string(w));
            const Image src = picture(w, h, c.colour);
            writePpm(path("src.ppm"), src);
            const std::string file = path("out" + std::string(c.core.extension));
            std::filesystem::remove(file);
            ASSERT_TRUE(tool(c.command));
            vc::Picture p;
            ASSERT_EQ(c.core.decode(readBytes(file), {}, p), c.result);
            if (c.result != ok) continue;
            if (&c.core == &jpeg) {
                ASSERT_TRUE(tool("djpeg '" + file + "' > '" + path("ref.pnm") + "'"));
                EXPECT_EQ(worst(imageOf(p), readPnm(path("ref.pnm"))), 0);
            } else {
                EXPECT_EQ(worst(imageOf(p), src), 0);
            }
            if (&c.core == &pcx) {
                EXPECT_EQ(p.xPelsPerMeter, 2953);
            }
            EXPECT_TRUE(c.depth == 0 || p.bitCount == c.depth) << p.bitCount;
        }
}

// Without a clock of its own the writer stamps the file with the local
// time (the save's tests all install a fixed clock): the DateTime the core
// writes is the minute of the call, field by field.
TEST(TiffCore, ItsDateTimeIsTheLocalTimeOfTheWrite) {
    const auto minute = [] {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        char text[32];
        std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:", &t);
        return std::string(text);
    };
    const std::string before = minute();
    Bytes file;
    ASSERT_EQ(vc::encodeTiff(patterned(4, 4, 24), {}, file), vc::Result::ok);
    const std::string after = minute(), bytes(file.begin(), file.end());
    EXPECT_TRUE(bytes.find(before) != std::string::npos || bytes.find(after) != std::string::npos) << before;
}

}  // namespace
