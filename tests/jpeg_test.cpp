// JPEG through the JPEG library stand-in: cjpeg's baseline, progressive and
// greyscale files and Debian's sample picture feed the reader (djpeg decodes
// the same files for reference), djpeg and ImageMagick read what we write,
// the written file's quality and sampling are checked in its bytes, and
// damaged files and refused records end in their result codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/jpeg.h"
#include "host/image.h"
#include "ijl/ijl.h"
#include "support/library_test.h"
#include "velmconv/headless.h"

using namespace vctest;
using host::Image;
using host::Rgb;

namespace {

std::vector<uint8_t> readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool haveTool(const char *path) { return access(path, X_OK) == 0; }
int run(const std::string &command) { return std::system(command.c_str()); }

// A netpbm picture (P5 grey or P6 colour, maxval 255), top row first.
struct Pnm {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
};
Pnm readPnm(const std::string &path) {
    Pnm p;
    std::vector<uint8_t> b = readAll(path);
    b.push_back(0);
    int maxval = 0, consumed = 0;
    char kind = 0;
    if (std::sscanf(reinterpret_cast<const char *>(b.data()), "P%c %d %d %d%n", &kind, &p.width, &p.height,
                    &maxval, &consumed) != 4 ||
        maxval != 255)
        return {};
    const size_t at = size_t(consumed) + 1, n = size_t(p.width) * p.height, bpp = kind == '5' ? 1 : 3;
    if (b.size() < at + n * bpp) return {};
    for (size_t i = 0; i < n; ++i) {
        const uint8_t *q = &b[at + i * bpp];
        p.pixels.push_back(bpp == 1 ? host::rgb(q[0], q[0], q[0]) : host::rgb(q[0], q[1], q[2]));
    }
    return p;
}

// A smooth picture with some detail, which JPEG keeps closely.
Pnm gradient(int w, int h) {
    Pnm p{w, h, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.pixels.push_back(host::rgb(uint8_t(x * 255 / (w > 1 ? w - 1 : 1)), uint8_t(y * 255 / (h > 1 ? h - 1 : 1)),
                                         uint8_t((x + y) * 2)));
    return p;
}
void writePpm(const std::string &path, const Pnm &p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.width << " " << p.height << "\n255\n";
    for (Rgb c : p.pixels) out.put(char(c >> 16)).put(char(c >> 8)).put(char(c));
}

Image toImage(const Pnm &p) {
    Image img;
    img.width = p.width;
    img.height = p.height;
    img.bitCount = 24;
    img.bits.assign(size_t(img.rowBytes()) * img.height, 0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            Rgb c = p.pixels[size_t(y) * p.width + x];
            uint8_t *q = &img.bits[size_t(img.height - 1 - y) * img.rowBytes() + 3 * x];
            q[0] = uint8_t(c), q[1] = uint8_t(c >> 8), q[2] = uint8_t(c >> 16);
        }
    return img;
}

int maxChannelDiff(Rgb a, Rgb b) {
    int m = 0;
    for (int s = 0; s < 24; s += 8) m = std::max(m, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
    return m;
}

// The first marker segment of a kind in a JPEG file, or none.
std::vector<uint8_t> segment(const std::vector<uint8_t> &f, uint8_t marker) {
    for (size_t i = 2; i + 4 <= f.size();) {
        if (f[i] != 0xFF) return {};
        const size_t len = size_t(f[i + 2]) << 8 | f[i + 3];
        if (f[i + 1] == marker && i + 2 + len <= f.size()) return {f.begin() + i + 4, f.begin() + i + 2 + len};
        if (f[i + 1] == 0xDA) return {};
        i += 2 + len;
    }
    return {};
}

class Jpeg : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        DllMain(reinterpret_cast<void *>(0x400000), 1, nullptr);
    }

    int32_t load(const std::string &file, Image &img) {
        ConvImageRecord rec{};
        uint8_t code = 0;
        int32_t r = LoadConvImage(nullptr, file.c_str(), &rec, &code, 0, nullptr);
        if (r == CONV_OK) {
            EXPECT_EQ(code, CONV_FMT_JPEG);
            auto *p = static_cast<uint8_t *>(VcMemLock(rec.image));
            std::memcpy(&header, p, sizeof header);
            block.assign(p, p + VcMemSize(rec.image));
            auto decoded = host::fromPackedDib(p, VcMemSize(rec.image));
            EXPECT_TRUE(decoded.has_value());
            if (decoded) img = *decoded;
            VcMemUnlock(rec.image);
            VcMemFree(rec.image);
        } else {
            EXPECT_EQ(rec.image, nullptr);
        }
        return r;
    }

    int32_t save(const std::vector<uint8_t> &dib, const std::string &file) {
        void *b = VcMemAlloc(VC_MEM_MOVEABLE, dib.size());
        std::memcpy(VcMemLock(b), dib.data(), dib.size());
        VcMemUnlock(b);
        int32_t r = SaveConvImage(nullptr, file.c_str(), b, CONV_FMT_JPEG, 0, nullptr);
        VcMemFree(b);
        return r;
    }

    static void expectSame(const Image &img, const Pnm &ref, int tolerance) {
        ASSERT_EQ(img.width, ref.width);
        ASSERT_EQ(img.height, ref.height);
        int worst = 0;
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x)
                worst = std::max(worst, maxChannelDiff(img.pixel(x, y), ref.pixels[size_t(y) * ref.width + x]));
        EXPECT_LE(worst, tolerance);
    }

    ConvBitmapInfoHeader header{};
    std::vector<uint8_t> block;
};

// ---- Independent writers feed the reader --------------------------------------------

TEST_F(Jpeg, CjpegBaselineProgressiveAndGreyscaleDecodeAsDjpegDoes) {
    if (!haveTool("/usr/bin/cjpeg") || !haveTool("/usr/bin/djpeg")) GTEST_SKIP() << "libjpeg-turbo-progs missing";
    writePpm(path("src.ppm"), gradient(61, 35));
    for (const char *options : {"-quality 90", "-progressive", "-grayscale", "-quality 50 -sample 1x1"}) {
        SCOPED_TRACE(options);
        ASSERT_EQ(run(std::string("cjpeg ") + options + " " + path("src.ppm") + " > " + path("c.jpg")), 0);
        ASSERT_EQ(run("djpeg " + path("c.jpg") + " > " + path("ref.pnm")), 0);
        Image img;
        ASSERT_EQ(load(path("c.jpg"), img), CONV_OK);
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biSizeImage, 0u);
        EXPECT_EQ(header.biClrUsed, 0u);
        EXPECT_EQ(block.size(), 40u + size_t(img.rowBytes()) * 35);
        expectSame(img, readPnm(path("ref.pnm")), 0);
    }
}

TEST_F(Jpeg, DebianSamplePictureMatchesDjpegAndItsPreview) {
    const std::string sample = "/usr/libexec/installed-tests/SDL2_image/sample.jpg";
    if (!std::filesystem::exists(sample) || !haveTool("/usr/bin/djpeg")) GTEST_SKIP() << "sample not installed";
    ASSERT_EQ(run("djpeg " + sample + " > " + path("ref.pnm")), 0);
    Image img;
    ASSERT_EQ(load(sample, img), CONV_OK);
    expectSame(img, readPnm(path("ref.pnm")), 0);
    ConvImageRecord rec{};
    rec.bitsOffset = 99;
    ASSERT_EQ(GetPreviewImage(sample.c_str(), &rec), CONV_OK);
    EXPECT_EQ(rec.bitsOffset, 0u);
    EXPECT_EQ(VcMemSize(rec.image), block.size());
    VcMemFree(rec.image);
}

TEST_F(Jpeg, WidthOneRowsArePaddedAndDensityIsIgnored) {
    if (!haveTool("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
    ASSERT_EQ(run("/usr/bin/convert -size 1x9 xc:'#3060c0' -density 300 -units PixelsPerInch " + path("d.jpg")), 0);
    Image img;
    ASSERT_EQ(load(path("d.jpg"), img), CONV_OK);
    EXPECT_EQ(header.biXPelsPerMeter, 0);
    EXPECT_EQ(header.biYPelsPerMeter, 0);
    ASSERT_EQ(block.size(), 40u + 4 * 9);
    for (int row = 0; row < 9; ++row) EXPECT_EQ(block[40 + 4 * row + 3], 0) << row;
    EXPECT_LE(maxChannelDiff(img.pixel(0, 4), host::rgb(0x30, 0x60, 0xC0)), 4);
}

// ---- What we write --------------------------------------------------------------------

TEST_F(Jpeg, WrittenFilesAreQuality100With422SamplingAndReadBackClosely) {
    Pnm src = gradient(50, 31);
    Image img = toImage(src);
    ASSERT_EQ(save(host::toPackedDib(img), path("w.jpg")), CONV_OK);
    std::vector<uint8_t> f = readAll(path("w.jpg"));
    ASSERT_GE(f.size(), 4u);
    EXPECT_EQ(f[0], 0xFF);
    EXPECT_EQ(f[1], 0xD8);
    // Quality 100: every quantisation step is 1.
    std::vector<uint8_t> dqt = segment(f, 0xDB);
    ASSERT_GE(dqt.size(), 65u);
    for (size_t i = 1; i < 65; ++i) EXPECT_EQ(dqt[i], 1) << i;
    // Baseline frame, 31 x 50, three components: luma 2x1, chroma 1x1.
    std::vector<uint8_t> sof = segment(f, 0xC0);
    ASSERT_EQ(sof.size(), 15u);
    EXPECT_EQ(sof[1] << 8 | sof[2], 31);
    EXPECT_EQ(sof[3] << 8 | sof[4], 50);
    EXPECT_EQ(sof[5], 3);
    EXPECT_EQ(sof[7], 0x21);
    EXPECT_EQ(sof[10], 0x11);
    EXPECT_EQ(sof[13], 0x11);

    if (haveTool("/usr/bin/djpeg")) {
        ASSERT_EQ(run("djpeg " + path("w.jpg") + " > " + path("back.pnm")), 0);
        expectSame(img, readPnm(path("back.pnm")), 6);
    }
    if (haveTool("/usr/bin/compare")) {
        writePpm(path("src.ppm"), src);
        run("/usr/bin/compare -metric PSNR " + path("w.jpg") + " " + path("src.ppm") + " null: 2> " + path("psnr"));
        std::vector<uint8_t> t = readAll(path("psnr"));
        EXPECT_GT(std::atof(std::string(t.begin(), t.end()).c_str()), 40.0);
    }
    Image back;
    ASSERT_EQ(load(path("w.jpg"), back), CONV_OK);
    expectSame(back, src, 6);
}

TEST_F(Jpeg, WriterFindsTheRowsAfterTheColourTableItDeclares) {
    Image img = toImage(gradient(16, 16));
    std::vector<uint8_t> plain = host::toPackedDib(img);
    for (uint32_t clrUsed : {16u, 300u}) {
        SCOPED_TRACE(clrUsed);
        const size_t table = clrUsed <= 256 ? 4 * clrUsed : 0;
        std::vector<uint8_t> dib(plain.begin(), plain.begin() + 40);
        std::memcpy(&dib[32], &clrUsed, 4);
        dib.insert(dib.end(), table, 0xEE);  // a table of bright junk
        dib.insert(dib.end(), plain.begin() + 40, plain.end());
        ASSERT_EQ(save(dib, path("t.jpg")), CONV_OK);
        Image back;
        ASSERT_EQ(load(path("t.jpg"), back), CONV_OK);
        expectSame(back, gradient(16, 16), 10);
    }
    // Not 24 bits: refused before the library is asked; no file appears.
    Image eight = host::withDepth(img, 8, false);
    EXPECT_EQ(save(host::toPackedDib(eight), path("eight.jpg")), CONV_E_UNSUPPORTED);
    EXPECT_FALSE(std::filesystem::exists(path("eight.jpg")));
    std::vector<uint8_t> compressed = plain;
    compressed[16] = 1;
    EXPECT_EQ(save(compressed, path("rle.jpg")), CONV_E_UNSUPPORTED);
    // The library cannot create the file: the write result.
    EXPECT_EQ(save(plain, path("no/such/dir/x.jpg")), CONV_E_WRITE);
    // No pixel buffer.
    vc::plat::memFailAt(2);
    EXPECT_EQ(save(plain, path("m.jpg")), CONV_E_MEMORY);
    vc::plat::memFailAt(0);
}

// ---- Damaged input ------------------------------------------------------------------------

TEST_F(Jpeg, DamagedFilesAndRefusedMemoryEndInResultCodes) {
    std::vector<uint8_t> garbage = {0xFF, 0xD8};
    for (int i = 0; i < 300; ++i) garbage.push_back(uint8_t(i * 73 + 5));
    writeFile("g.jpg", garbage);
    uint8_t code = 0;
    ASSERT_EQ(DetectFileFormat(path("g.jpg").c_str(), &code, 1), CONV_OK);
    EXPECT_EQ(code, CONV_FMT_JPEG);
    Image img;
    int32_t r = load(path("g.jpg"), img);
    EXPECT_TRUE(r == CONV_E_READ || r == CONV_E_UNSUPPORTED) << r;
    EXPECT_EQ(load(writeFile("two.jpg", std::vector<uint8_t>{0xFF, 0xD8}), img), CONV_E_READ);
    // Cut in the middle of the scan: the library fills what is missing.
    Image pic = toImage(gradient(40, 40));
    ASSERT_EQ(save(host::toPackedDib(pic), path("whole.jpg")), CONV_OK);
    std::vector<uint8_t> whole = readAll(path("whole.jpg"));
    whole.resize(whole.size() / 2);
    r = load(writeFile("cut.jpg", whole), img);
    EXPECT_TRUE(r == CONV_OK || r == CONV_E_UNSUPPORTED) << r;
    // A frame header claiming 65000 x 65000 pixels.
    std::vector<uint8_t> big = readAll(path("whole.jpg"));
    for (size_t i = 2; i + 9 < big.size(); ++i)
        if (big[i] == 0xFF && big[i + 1] == 0xC0) {
            big[i + 5] = 0xFD, big[i + 6] = 0xE8, big[i + 7] = 0xFD, big[i + 8] = 0xE8;
            break;
        }
    EXPECT_EQ(load(writeFile("big.jpg", big), img), CONV_E_MEMORY);
    // Memory refused for the pixel buffer, then for the image block.
    for (long n : {1, 2}) {
        vc::plat::memFailAt(n);
        EXPECT_EQ(load(path("whole.jpg"), img), CONV_E_MEMORY) << n;
        vc::plat::memFailAt(0);
    }
    void *none = reinterpret_cast<void *>(1);
    EXPECT_EQ(vc::LoadJpegImage(path("missing.jpg").c_str(), &none), CONV_E_READ);
    EXPECT_EQ(none, nullptr);
}

// ---- The stand-in's own contract ------------------------------------------------------

TEST(JpegLibrary, EntriesCheckTheRecordAndHonourTheSettings) {
    JlProperties p;
    std::memset(&p, 0, sizeof p);
    EXPECT_NE(JlRead(&p, JL_READ_PARAMS), JL_OK);  // not initialised
    EXPECT_NE(JlInit(nullptr), JL_OK);
    ASSERT_EQ(JlInit(&p), JL_OK);
    EXPECT_EQ(p.dibChannels, 3);
    EXPECT_EQ(p.dibPadBytes, 0);
    EXPECT_EQ(p.dibColor, JL_PIXELS_BGR);
    const std::string file = (std::filesystem::temp_directory_path() / "vc-jl-test.jpg").string();
    p.jpegFile = file.c_str();
    std::vector<uint8_t> pixels(3 * 8 * 8, 0x80);
    pixels[0] = 0, pixels[1] = 0, pixels[2] = 255;  // top-left pixel red, blue-green-red order
    p.dibBytes = pixels.data();
    p.dibWidth = p.jpegWidth = 8;
    p.dibHeight = p.jpegHeight = 8;
    p.jpegQuality = 0;
    EXPECT_EQ(JlWrite(&p, JL_WRITE_IMAGE), JL_E_ARGUMENT);
    p.jpegQuality = 100;
    EXPECT_EQ(JlWrite(&p, 7), JL_E_UNSUPPORTED);
    p.jpegSubsampling = JL_SUBSAMPLE_NONE;
    ASSERT_EQ(JlWrite(&p, JL_WRITE_IMAGE), JL_OK);
    std::vector<uint8_t> sof = segment(readAll(file), 0xC0);
    ASSERT_EQ(sof.size(), 15u);
    EXPECT_EQ(sof[7], 0x11);
    EXPECT_EQ(JlFree(&p), JL_OK);

    JlProperties q;
    std::memset(&q, 0, sizeof q);
    ASSERT_EQ(JlInit(&q), JL_OK);
    q.jpegFile = file.c_str();
    ASSERT_EQ(JlRead(&q, JL_READ_PARAMS), JL_OK);
    EXPECT_EQ(q.jpegWidth, 8);
    EXPECT_EQ(q.jpegChannels, 3);
    std::vector<uint8_t> back(3 * 8 * 8 + 8 * 2, 0xAA);
    q.dibBytes = back.data();
    q.dibWidth = 8;
    q.dibHeight = 7;
    EXPECT_EQ(JlRead(&q, JL_READ_IMAGE), JL_E_SIZE);
    q.dibHeight = 8;
    q.dibPadBytes = 2;
    EXPECT_EQ(JlRead(&q, 1), JL_E_UNSUPPORTED);
    ASSERT_EQ(JlRead(&q, JL_READ_IMAGE), JL_OK);
    EXPECT_GT(back[2], 200);  // red stayed in the third byte
    EXPECT_LT(back[0], 60);
    EXPECT_EQ(back[24], 0xAA);  // padding after the first row untouched
    EXPECT_EQ(JlFree(&q), JL_OK);
    EXPECT_NE(JlFree(&q), JL_OK);
    std::remove(file.c_str());
}

}  // namespace
