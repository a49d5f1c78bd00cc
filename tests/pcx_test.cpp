// PCX reader and writer: files written by netpbm and found in Debian
// packages feed the reader, pcxtoppm and ImageMagick read what we write,
// exact bytes for the header and the run-length edge cases, and hostile
// files that must end in their documented result codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/pcx.h"
#include "host/image.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
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

// A P6 file as netpbm writes it (maxval 255).
struct Ppm {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
};
Ppm readPpm(const std::string &path) {
    Ppm p;
    std::vector<uint8_t> b = readAll(path);
    int maxval = 0;
    int consumed = 0;
    if (std::sscanf(reinterpret_cast<const char *>(b.data()), "P6 %d %d %d%n", &p.width, &p.height, &maxval,
                    &consumed) != 3)
        return {};
    size_t at = size_t(consumed) + 1;
    if (maxval != 255 || b.size() < at + size_t(p.width) * p.height * 3) return {};
    for (size_t i = 0; i < size_t(p.width) * p.height; ++i)
        p.pixels.push_back(host::rgb(b[at + 3 * i], b[at + 3 * i + 1], b[at + 3 * i + 2]));
    return p;
}
void writePpm(const std::string &path, const Ppm &p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.width << " " << p.height << "\n255\n";
    for (Rgb c : p.pixels) out.put(char(c >> 16)).put(char(c >> 8)).put(char(c));
}

// A picture with `colors` distinct colours in a pattern that has runs and
// single pixels, at an odd width.
Ppm pattern(int width, int height, int colors) {
    Ppm p{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int i = ((x / 3) * 7 + y * 5 + (x * y) % 4) % colors;
            p.pixels.push_back(host::rgb(uint8_t(i * 37 + 11), uint8_t(255 - i * 13), uint8_t(i * 91)));
        }
    return p;
}

// A PCX header with the fields the reader looks at.
std::vector<uint8_t> pcxHeader(uint8_t manufacturer, uint8_t version, uint8_t encoding, uint8_t bits, uint16_t w,
                               uint16_t h, uint8_t planes, uint16_t bytesPerLine) {
    std::vector<uint8_t> hdr(128, 0);
    hdr[0] = manufacturer;
    hdr[1] = version;
    hdr[2] = encoding;
    hdr[3] = bits;
    hdr[8] = uint8_t(w - 1);
    hdr[9] = uint8_t((w - 1) >> 8);
    hdr[10] = uint8_t(h - 1);
    hdr[11] = uint8_t((h - 1) >> 8);
    hdr[65] = planes;
    hdr[66] = uint8_t(bytesPerLine);
    hdr[67] = uint8_t(bytesPerLine >> 8);
    return hdr;
}

class Pcx : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        DllMain(reinterpret_cast<void *>(0x400000), 1, nullptr);
    }

    // Loads through the export; the result code, and the picture on success.
    int32_t load(const std::string &file, Image &img, bool raw = false) {
        ConvImageRecord rec{};
        uint8_t code = 0;
        int32_t r = LoadConvImage(nullptr, file.c_str(), &rec, &code, 0, nullptr);
        if (r == CONV_OK) {
            EXPECT_EQ(code, CONV_FMT_PCX);
            void *p = VcMemLock(rec.image);
            auto decoded = host::fromPackedDib(static_cast<uint8_t *>(p), VcMemSize(rec.image));
            EXPECT_TRUE(decoded.has_value());
            if (decoded) img = *decoded;
            if (raw) {
                std::memcpy(&lastHeader, p, sizeof lastHeader);
                lastBlock.assign(static_cast<uint8_t *>(p), static_cast<uint8_t *>(p) + VcMemSize(rec.image));
            }
            VcMemUnlock(rec.image);
            VcMemFree(rec.image);
        } else {
            EXPECT_EQ(rec.image, nullptr);
        }
        return r;
    }

    std::string save(const Image &img, const std::string &name, int32_t expect = CONV_OK) {
        std::vector<uint8_t> dib = host::toPackedDib(img);
        void *block = VcMemAlloc(VC_MEM_MOVEABLE, dib.size());
        std::memcpy(VcMemLock(block), dib.data(), dib.size());
        VcMemUnlock(block);
        std::string out = path(name);
        EXPECT_EQ(SaveConvImage(nullptr, out.c_str(), block, CONV_FMT_PCX, 0, nullptr), expect);
        VcMemFree(block);
        return out;
    }

    static void expectSamePixels(const Image &img, const Ppm &ppm) {
        ASSERT_EQ(img.width, ppm.width);
        ASSERT_EQ(img.height, ppm.height);
        int wrong = 0;
        for (int y = 0; y < ppm.height; ++y)
            for (int x = 0; x < ppm.width; ++x)
                if (img.pixel(x, y) != ppm.pixels[size_t(y) * ppm.width + x] && ++wrong < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << img.pixel(x, y) << " vs "
                                  << ppm.pixels[size_t(y) * ppm.width + x];
        EXPECT_EQ(wrong, 0);
    }

    ConvBitmapInfoHeader lastHeader{};
    std::vector<uint8_t> lastBlock;
};

// ---- Independent writers and real files feed the reader --------------------------

TEST_F(Pcx, NetpbmFilesOfEveryLayoutReadBackPixelForPixel) {
    if (!haveTool("/usr/bin/ppmtopcx")) GTEST_SKIP() << "netpbm is not installed";
    struct Case {
        const char *options;
        int colors;
        uint16_t depth;
    } cases[] = {
        {"", 2, 1},           {"", 16, 4},           {"-packed", 2, 1}, {"-8bit", 200, 8},
        {"-24bit", 1000, 24}, {"-8bit -packed", 5, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("ppmtopcx ") + c.options + " colours " + std::to_string(c.colors));
        Ppm src = pattern(37, 21, c.colors);
        writePpm(path("src.ppm"), src);
        ASSERT_EQ(run(std::string("ppmtopcx ") + c.options + " " + path("src.ppm") + " > " + path("n.pcx") +
                      " 2>/dev/null"),
                  0);
        Image img;
        ASSERT_EQ(load(path("n.pcx"), img, true), CONV_OK);
        EXPECT_EQ(img.bitCount, c.depth);
        expectSamePixels(img, src);
        EXPECT_EQ(lastHeader.biXPelsPerMeter, 2953);
    }
    // Sixteen colours packed into one 4-bit plane is a layout the reader
    // refuses as such, not as a foreign file.
    writePpm(path("src.ppm"), pattern(9, 4, 16));
    ASSERT_EQ(run("ppmtopcx -packed " + path("src.ppm") + " > " + path("p4.pcx") + " 2>/dev/null"), 0);
    Image img;
    EXPECT_EQ(load(path("p4.pcx"), img), CONV_E_DATA);
}

TEST_F(Pcx, PicturesFromDebianPackagesMatchPcxtoppm) {
    if (!haveTool("/usr/bin/pcxtoppm")) GTEST_SKIP() << "netpbm is not installed";
    std::vector<std::string> files;
    if (std::filesystem::exists("/usr/libexec/installed-tests/SDL2_image/sample.pcx"))
        files.push_back("/usr/libexec/installed-tests/SDL2_image/sample.pcx");
    if (std::filesystem::exists("/usr/share/games/heroes"))
        for (auto &e : std::filesystem::recursive_directory_iterator("/usr/share/games/heroes"))
            if (e.path().extension() == ".pcx" && files.size() < 12) files.push_back(e.path().string());
    if (files.empty()) GTEST_SKIP() << "no sample pictures installed";
    for (const std::string &f : files) {
        SCOPED_TRACE(f);
        ASSERT_EQ(run("pcxtoppm " + f + " > " + path("ref.ppm") + " 2>/dev/null"), 0);
        Ppm ref = readPpm(path("ref.ppm"));
        Image img;
        ConvImageRecord rec{};
        ASSERT_EQ(GetPreviewImage(f.c_str(), &rec), CONV_OK);
        EXPECT_EQ(rec.bitsOffset, 0u);
        VcMemFree(rec.image);
        ASSERT_EQ(load(f, img), CONV_OK);
        expectSamePixels(img, ref);
    }
}

// ---- Independent readers check what we write --------------------------------------

TEST_F(Pcx, WrittenFilesOfEveryDepthReadBackThroughPcxtoppmImageMagickAndOurReader) {
    if (!haveTool("/usr/bin/pcxtoppm")) GTEST_SKIP() << "netpbm is not installed";
    for (uint16_t depth : {1, 4, 8, 24}) {
        for (int w : {1, 17, 33}) {
            SCOPED_TRACE("depth " + std::to_string(depth) + " width " + std::to_string(w));
            // Scan lines are written in groups of 8; netpbm and ImageMagick
            // look for the palette block right after the picture's own rows,
            // so they read 8-bit files only at heights that fill the groups.
            Ppm src = pattern(w, depth == 8 ? 16 : 13, depth == 24 ? 400 : depth == 8 ? 100 : 1 << depth);
            writePpm(path("src.ppm"), src);
            Image img;
            img.width = src.width;
            img.height = src.height;
            img.bitCount = 24;
            img.bits.assign(size_t(img.rowBytes()) * img.height, 0);
            for (int y = 0; y < img.height; ++y)
                for (int x = 0; x < img.width; ++x) {
                    Rgb c = src.pixels[size_t(y) * w + x];
                    uint8_t *p = &img.bits[size_t(img.height - 1 - y) * img.rowBytes() + 3 * x];
                    p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
                }
            Image typed = host::withDepth(img, depth, false);
            std::string out = save(typed, "out.pcx");
            ASSERT_EQ(run("pcxtoppm " + out + " > " + path("back.ppm") + " 2>/dev/null"), 0);
            Ppm back = readPpm(path("back.ppm"));
            expectSamePixels(typed, back);
            // ImageMagick shows 2-colour files in black and white whatever
            // their header palette says; pcxtoppm speaks for them.
            if (depth != 1 && haveTool("/usr/bin/compare")) {
                std::string ae = path("ae.txt");
                run("/usr/bin/compare -metric AE " + out + " " + path("back.ppm") + " null: 2> " + ae);
                std::vector<uint8_t> t = readAll(ae);
                EXPECT_EQ(std::string(t.begin(), t.end()).substr(0, 1), "0");
            }
            Image again;
            ASSERT_EQ(load(out, again), CONV_OK);
            EXPECT_EQ(again.bitCount, depth);
            expectSamePixels(again, back);
        }
    }
}

// ---- Exact bytes -----------------------------------------------------------------------

TEST_F(Pcx, HeaderPlaneBufferAndPaletteBlockBytes) {
    // 17 x 1 at 8 bits with 100 colours: 18 bytes per line, 8 scan lines
    // (the last 7 zero), and a palette block of 100 colours and 156 zeros.
    Image img;
    img.width = 17;
    img.height = 1;
    img.bitCount = 8;
    for (int i = 0; i < 100; ++i) img.palette.push_back(host::rgb(uint8_t(i), uint8_t(2 * i), uint8_t(3 * i)));
    img.bits.assign(img.rowBytes(), 0);
    for (int x = 0; x < 17; ++x) img.bits[x] = uint8_t(x * 5);
    std::vector<uint8_t> f = readAll(save(img, "p8.pcx"));
    ASSERT_GE(f.size(), 128u + 769u);
    const uint8_t expectHead[] = {10, 5, 1, 8, 0, 0, 0, 0, 16, 0, 0, 0, 128, 2, 224, 1};
    EXPECT_EQ(0, std::memcmp(f.data(), expectHead, sizeof expectHead));
    EXPECT_EQ(f[65], 1);
    EXPECT_EQ(f[66] | f[67] << 8, 18);
    EXPECT_EQ(f[68] | f[69] << 8, 1);
    for (int i = 16; i < 64; ++i) EXPECT_EQ(f[i], 0) << i;
    // Row: 0 alone, then 5..80 (all below 192), one zero of padding.
    // The seven blank scan lines are runs of 18 zeros: C0+18, 0 each.
    std::vector<uint8_t> expectData;
    for (int x = 0; x < 17; ++x) expectData.push_back(uint8_t(x * 5));
    expectData.push_back(0);
    for (int i = 0; i < 7; ++i) expectData.insert(expectData.end(), {0xC0 + 18, 0});
    ASSERT_EQ(f.size(), 128 + expectData.size() + 769);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 128, f.end() - 769), expectData);
    const uint8_t *pal = f.data() + f.size() - 769;
    EXPECT_EQ(pal[0], 12);
    EXPECT_EQ(pal[1 + 3 * 99], 99);
    EXPECT_EQ(pal[2 + 3 * 99], 198);
    EXPECT_EQ(pal[3 + 3 * 99], uint8_t(297));
    for (int i = 100 * 3 + 1; i < 769; ++i) ASSERT_EQ(pal[i], 0);

    // A 4-bit picture with 10 colours: header palette entries 10-15 zero;
    // widths round to 16 pixels, so width 17 has 4 bytes per plane line.
    Image four;
    four.width = 17;
    four.height = 33;
    four.bitCount = 4;
    for (int i = 0; i < 10; ++i) four.palette.push_back(host::rgb(200, uint8_t(i), 7));
    four.bits.assign(size_t(four.rowBytes()) * 33, 0x99);
    std::vector<uint8_t> g = readAll(save(four, "p4.pcx"));
    EXPECT_EQ(g[16 + 3 * 9], 200);
    EXPECT_EQ(g[17 + 3 * 9], 9);
    for (int i = 16 + 30; i < 64; ++i) EXPECT_EQ(g[i], 0) << i;
    EXPECT_EQ(g[65], 4);
    EXPECT_EQ(g[66], 4);
    Image back;
    ASSERT_EQ(load(path("p4.pcx"), back), CONV_OK);
    EXPECT_EQ(back.height, 33);
    EXPECT_EQ(back.index(16, 32), 9u);
}

TEST_F(Pcx, RunLengthCodingEdgeCases) {
    uint8_t out[8];
    EXPECT_EQ(vc::PcxPutRun(out, 191, 1), 1u);
    EXPECT_EQ(out[0], 191);
    EXPECT_EQ(vc::PcxPutRun(out, 200, 1), 2u);
    EXPECT_EQ(out[0], 0xC1);
    EXPECT_EQ(out[1], 200);
    EXPECT_EQ(vc::PcxPutRun(out, 7, 63), 2u);
    EXPECT_EQ(out[0], 255);

    auto enc = [](std::vector<uint8_t> line) {
        std::vector<uint8_t> o(line.size() * 2 + 2);
        o.resize(vc::pcx::encodeLine(line.data(), line.size(), o.data()));
        return o;
    };
    EXPECT_EQ(enc(std::vector<uint8_t>(64, 5)), (std::vector<uint8_t>{255, 5, 5}));
    EXPECT_EQ(enc(std::vector<uint8_t>(64, 222)), (std::vector<uint8_t>{255, 222, 0xC1, 222}));
    EXPECT_EQ(enc(std::vector<uint8_t>(126, 1)), (std::vector<uint8_t>{255, 1, 255, 1}));
    EXPECT_EQ(enc({1, 2, 2, 192}), (std::vector<uint8_t>{1, 0xC2, 2, 0xC1, 192}));

    // Through the writer: at 24 bits the red line's last byte and the green
    // line's first byte are one run; two scan lines are never joined.
    Image img;
    img.width = 2;
    img.height = 2;
    img.bitCount = 24;
    img.bits.assign(size_t(img.rowBytes()) * 2, 0);
    // Both rows: pixel 0 = (r 9, g 9, b 9), pixel 1 = (r 9, g 9, b 4).
    for (int row = 0; row < 2; ++row) {
        uint8_t *p = &img.bits[size_t(row) * img.rowBytes()];
        p[0] = 9, p[1] = 9, p[2] = 9, p[3] = 4, p[4] = 9, p[5] = 9;
    }
    std::vector<uint8_t> f = readAll(save(img, "runs.pcx"));
    // Scan line: R 9 9 | G 9 9 | B 9 4 -> one run of five 9s, then 4.
    std::vector<uint8_t> expect;
    for (int i = 0; i < 2; ++i) expect.insert(expect.end(), {0xC5, 9, 4});
    for (int i = 0; i < 6; ++i) expect.insert(expect.end(), {0xC6, 0});
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 128, f.end()), expect);

    // Decoder: a count of 192 yields nothing; a run crosses plane lines.
    uint8_t dst[8] = {};
    const uint8_t stream[] = {0xC0, 77, 0xC5, 3, 0xC0, 1, 8};
    EXPECT_EQ(vc::pcx::decodeRle(stream, sizeof stream, dst, sizeof dst), 6u);
    EXPECT_EQ(std::vector<uint8_t>(dst, dst + 6), (std::vector<uint8_t>{3, 3, 3, 3, 3, 8}));
    // A run that overruns the output is clipped, never written past it.
    const uint8_t longRun[] = {0xFF, 1, 0xFF, 2};
    uint8_t small[10];
    EXPECT_EQ(vc::pcx::decodeRle(longRun, sizeof longRun, small, sizeof small), 10u);
    // A count as the last input byte, seen inside a whole word, has no value.
    const std::vector<uint8_t> lastCount = {1, 2, 3, 4, 5, 6, 7, 0xC3};
    std::vector<uint8_t> wide(200, 0xEE);
    EXPECT_EQ(vc::pcx::decodeRle(lastCount.data(), lastCount.size(), wide.data(), wide.size()), 7u);
    EXPECT_EQ(wide[6], 7);
    EXPECT_EQ(wide[7], 0);  // what the word-wide copy spilled is cleared
    const std::vector<uint8_t> lastRun = {1, 2, 3, 4, 5, 6, 7, 0xC3, 9};
    EXPECT_EQ(vc::pcx::decodeRle(lastRun.data(), lastRun.size(), wide.data(), wide.size()), 10u);
    EXPECT_EQ(wide[9], 9);
    EXPECT_EQ(wide[10], 0);
}

TEST_F(Pcx, ReaderLayoutRulesPaletteRulesAndProgress) {
    // 205: packed plane lines, the bytes-per-line field has no effect;
    // 10 with the same field skips padding after each plane line.
    // 24 bits, width 2, height 2, raw, bytes-per-line 3.
    std::vector<uint8_t> rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (uint8_t manufacturer : {205, 10}) {
        std::vector<uint8_t> f = pcxHeader(manufacturer, 5, 0, 8, 2, 2, 3, 3);
        if (manufacturer == 205) {
            f.insert(f.end(), rows.begin(), rows.end());
        } else {
            for (size_t i = 0; i < rows.size(); i += 2) f.insert(f.end(), {rows[i], rows[i + 1], 0xEE});
        }
        Image img;
        ASSERT_EQ(load(writeFile("m.pcx", f), img), CONV_OK) << int(manufacturer);
        EXPECT_EQ(img.pixel(0, 0), host::rgb(1, 3, 5));
        EXPECT_EQ(img.pixel(1, 1), host::rgb(8, 10, 12));
    }
    // Xmin 10 .. Xmax 19 is 10 wide, not shifted; 300 dpi is still 2953.
    {
        std::vector<uint8_t> f = pcxHeader(10, 5, 1, 8, 20, 1, 1, 10);
        f[4] = 10;
        f[12] = 44, f[13] = 1;
        f.insert(f.end(), {0xCA, 42});
        std::vector<uint8_t> pal(769, 0);
        pal[0] = 12;
        pal[1 + 42 * 3] = 250;
        f.insert(f.end(), pal.begin(), pal.end());
        Image img;
        ASSERT_EQ(load(writeFile("x.pcx", f), img, true), CONV_OK);
        EXPECT_EQ(img.width, 10);
        EXPECT_EQ(img.pixel(0, 0), host::rgb(250, 0, 0));
        EXPECT_EQ(lastHeader.biXPelsPerMeter, 2953);
        EXPECT_EQ(lastHeader.biClrImportant, 256u);
        // The marker missing: the format result.
        f[f.size() - 769] = 13;
        EXPECT_EQ(load(writeFile("x.pcx", f), img), CONV_E_UNSUPPORTED);
    }
    // Version 3 replaces the header palette; encoding 2 is run-length; a
    // stream that ends early leaves the remaining rows at index 0.
    {
        std::vector<uint8_t> f = pcxHeader(10, 3, 2, 1, 8, 2, 1, 2);
        for (int i = 16; i < 22; ++i) f[i] = 0x55;
        f.insert(f.end(), {0xC2, 0xF0});
        Image img;
        ASSERT_EQ(load(writeFile("v3.pcx", f), img, true), CONV_OK);
        EXPECT_EQ(img.pixel(0, 0), host::rgb(0, 0, 128));
        EXPECT_EQ(img.pixel(7, 0), host::rgb(0, 0, 0));
        EXPECT_EQ(img.pixel(0, 1), host::rgb(0, 0, 0));
        EXPECT_EQ(lastBlock[40 + 4 + 0], 128);  // dark blue's blue byte
        f[1] = 5;
        ASSERT_EQ(load(writeFile("v5.pcx", f), img), CONV_OK);
        EXPECT_EQ(img.pixel(0, 0), host::rgb(0x55, 0x55, 0x55));
    }
    // Depth and layout refusals.
    {
        Image img;
        std::vector<uint8_t> f = pcxHeader(10, 5, 0, 4, 4, 4, 1, 2);
        f.resize(f.size() + 8);
        EXPECT_EQ(load(writeFile("d.pcx", f), img), CONV_E_DATA);
        f[3] = 2;
        EXPECT_EQ(load(writeFile("d.pcx", f), img), CONV_E_UNSUPPORTED);
        f[3] = 24;
        EXPECT_EQ(load(writeFile("d.pcx", f), img), CONV_E_DATA);
        f[0] = 11;
        EXPECT_EQ(load(writeFile("d.pcx", f), img), CONV_E_FORMAT);  // not detected at all
        void *block = reinterpret_cast<void *>(1);
        EXPECT_EQ(vc::LoadPcxImage(path("d.pcx").c_str(), &block), CONV_E_UNSUPPORTED);
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(load(writeFile("short.pcx", std::vector<uint8_t>(100, 10)), img), CONV_E_READ);
        EXPECT_EQ(vc::LoadPcxImage(path("missing.pcx").c_str(), &block), CONV_E_OPEN);
        // 256 colours but shorter than the palette block.
        std::vector<uint8_t> g = pcxHeader(10, 5, 1, 8, 4, 4, 1, 4);
        g.resize(500);
        EXPECT_EQ(load(writeFile("g.pcx", g), img), CONV_E_READ);
        // Without an output record a still picture is not loaded.
        uint8_t code = 0;
        EXPECT_EQ(LoadConvImage(nullptr, path("g.pcx").c_str(), nullptr, &code, 0, nullptr), CONV_E_FORMAT);
    }
    // Writer progress: rows 0..50 then lines 50..100, in integer steps.
    {
        UiRecorder ui;
        void *parent = VcCreateWindow(nullptr, 0, 0, 400, 300);
        Image img;
        img.width = 3;
        img.height = 4;
        img.bitCount = 24;
        img.bits.assign(size_t(img.rowBytes()) * 4, 1);
        std::vector<uint8_t> dib = host::toPackedDib(img);
        void *block = VcMemAlloc(VC_MEM_MOVEABLE, dib.size());
        std::memcpy(VcMemLock(block), dib.data(), dib.size());
        VcMemUnlock(block);
        EXPECT_EQ(SaveConvImage(parent, path("pr.pcx").c_str(), block, CONV_FMT_PCX, 0, nullptr), CONV_OK);
        VcMemFree(block);
        VcDestroyWindow(parent);
        std::vector<int32_t> seen;
        for (auto &e : ui.progress)
            if (e.window && e.visible) seen.push_back(e.percent);
        EXPECT_EQ(seen, (std::vector<int32_t>{0, 12, 25, 37, 50, 56, 62, 68, 75, 81, 87, 93}));
    }
}

TEST_F(Pcx, WriterFailuresLeaveTheFileAsWrittenAndNothingAllocated) {
    Image img;
    img.width = 40;
    img.height = 9;
    img.bitCount = 24;
    img.bits.assign(size_t(img.rowBytes()) * 9, 0);
    for (size_t i = 0; i < img.bits.size(); ++i) img.bits[i] = uint8_t(i % 3 ? i * 7 : 0xC8);
    // A 2-bit block: refused, the file created and left empty.
    {
        std::vector<uint8_t> dib = host::toPackedDib(img);
        dib[14] = 2;
        void *block = VcMemAlloc(VC_MEM_MOVEABLE, dib.size());
        std::memcpy(VcMemLock(block), dib.data(), dib.size());
        VcMemUnlock(block);
        EXPECT_EQ(SaveConvImage(nullptr, path("two.pcx").c_str(), block, CONV_FMT_PCX, 0, nullptr),
                  CONV_E_UNSUPPORTED);
        VcMemFree(block);
        EXPECT_TRUE(std::filesystem::exists(path("two.pcx")));
        EXPECT_EQ(std::filesystem::file_size(path("two.pcx")), 0u);
    }
    // Short pixel write: the header stays on disk.
    vc::plat::fileFailWritesAfter(200);
    save(img, "short.pcx", CONV_E_WRITE);
    vc::plat::fileFailWritesAfter(-1);
    EXPECT_EQ(std::filesystem::file_size(path("short.pcx")), 200u);
    // No plane buffer, then no output block.
    for (long n : {1, 2}) {
        vc::plat::memFailAt(n + 1);  // after the test's own block
        save(img, "mem.pcx", CONV_E_MEMORY);
        vc::plat::memFailAt(0);
    }
    EXPECT_EQ(std::filesystem::file_size(path("mem.pcx")), 128u);
    EXPECT_EQ(SaveConvImage(nullptr, path("no/such/dir.pcx").c_str(), nullptr, CONV_FMT_PCX, 0, nullptr),
              CONV_E_CREATE);
    // The raw form: the whole plane buffer, 16 scan lines of 3 x 40 bytes.
    std::vector<uint8_t> dib = host::toPackedDib(img);
    void *block = VcMemAlloc(VC_MEM_MOVEABLE, dib.size());
    std::memcpy(VcMemLock(block), dib.data(), dib.size());
    VcMemUnlock(block);
    EXPECT_EQ(vc::SavePcxImage(path("raw.pcx").c_str(), block, vc::PcxSaveOptions{5, 24, 0}), CONV_OK);
    VcMemFree(block);
    EXPECT_EQ(std::filesystem::file_size(path("raw.pcx")), 128u + 16 * 3 * 40);
    Image back;
    ASSERT_EQ(load(path("raw.pcx"), back), CONV_OK);
    EXPECT_EQ(back.pixel(39, 8), img.pixel(39, 8));
    EXPECT_EQ(back.pixel(3, 0), img.pixel(3, 0));
}

TEST_F(Pcx, HostileHeadersAndStreamsEndInResultCodes) {
    // Huge window, tiny file: either refused for memory or read with empty
    // rows, never touched beyond what the data reaches.
    Image img;
    std::vector<uint8_t> f = pcxHeader(10, 5, 1, 8, 0, 0, 3, 0xFFFF);
    f.insert(f.end(), {0xFF, 1, 0xFF, 2, 0xC3});
    int32_t r = load(writeFile("huge.pcx", f), img);
    EXPECT_TRUE(r == CONV_E_MEMORY || r == CONV_OK) << r;
    // Reversed window.
    f = pcxHeader(10, 5, 1, 1, 4, 4, 1, 2);
    f[4] = 9;
    EXPECT_EQ(load(writeFile("rev.pcx", f), img), CONV_E_UNSUPPORTED);
    // Runs that overrun every line, and memory refused at each step.
    f = pcxHeader(10, 5, 1, 1, 16, 4, 4, 2);
    for (int i = 0; i < 40; ++i) f.insert(f.end(), {0xFF, 0xA5});
    writeFile("over.pcx", f);
    ASSERT_EQ(load(path("over.pcx"), img), CONV_OK);
    EXPECT_EQ(img.index(0, 3), 15u);
    for (long n = 1; n <= 3; ++n) {
        vc::plat::memFailAt(n);
        EXPECT_EQ(load(path("over.pcx"), img), CONV_E_MEMORY) << n;
        vc::plat::memFailAt(0);
    }
}

}  // namespace
