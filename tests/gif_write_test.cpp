// The GIF writer: image bytes against a plain model encoder, exact bytes of
// small files, the transparent colour, failures, and independent readers.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <map>
#include <random>

#include "entry/image_block.h"
#include "gif/gif_write.h"
#include "gif_support.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;
using namespace gifsupport;

namespace {

// The encoder at its plainest: a map as string table (a pair is entered only
// when absent, so no lookup structure can change the output), a clear code
// at 12 bits once code 4095 is taken, codes packed LSB first into 255-byte
// sub-blocks and the terminator.
std::vector<uint8_t> modelEncode(const std::vector<uint8_t> &pixels, unsigned s) {
    std::vector<uint8_t> data;
    uint64_t acc = 0;
    unsigned bits = 0, width = s + 1;
    auto pack = [&](uint32_t code) {
        acc |= uint64_t(code) << bits;
        for (bits += width; bits >= 8; bits -= 8) data.push_back(uint8_t(acc)), acc >>= 8;
    };
    const uint32_t clear = 1u << s;
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
    uint32_t next = clear + 2, w = pixels.at(0);
    pack(clear);
    for (size_t i = 1; i < pixels.size(); ++i) {
        const uint8_t c = pixels[i];
        if (auto it = table.find({w, c}); it != table.end()) {
            w = it->second;
            continue;
        }
        pack(w);
        if (next == 4096) {
            table.clear();
            pack(clear);
            next = clear + 2, width = s + 1;
        } else {
            table[{w, c}] = next;
            width = std::max(3u, unsigned(std::bit_width(next++)));
        }
        w = c;
    }
    pack(w);
    pack(clear + 1);
    if (bits) data.push_back(uint8_t(acc));
    return GifBytes().subBlocks(data).b;
}

// A packed DIB with the given indices (top row first); colour i is
// GifBytes::color(i).
std::vector<uint8_t> dibOf(int w, int h, uint16_t bits, const std::vector<uint8_t> &px, uint32_t clrUsed = 0) {
    std::vector<uint8_t> dib = makeDib(w, h, bits, clrUsed);
    auto *hd = reinterpret_cast<ConvBitmapInfoHeader *>(dib.data());
    for (uint32_t i = 0; i < vc::dibColorCount(*hd); ++i) {
        Rgb c = GifBytes::color(i);
        dib[40 + 4 * i] = c.b, dib[41 + 4 * i] = c.g, dib[42 + 4 * i] = c.r;
    }
    for (int y = 0; y < h; ++y) {
        uint8_t *row = dib.data() + vc::dibBitsOffset(*hd) + vc::dibRowBytes(w, bits) * size_t(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const uint8_t v = px[size_t(y) * w + x];
            if (bits == 8) row[x] = v;
            if (bits == 4) row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4));
            if (bits == 1) row[x / 8] |= uint8_t((v & 1) << (7 - x % 8));
        }
    }
    return dib;
}

std::vector<uint8_t> randomPixels(std::mt19937 &rng, size_t n, unsigned colors, unsigned runBias) {
    std::vector<uint8_t> v(n);
    uint8_t cur = 0;
    for (auto &p : v) p = cur = rng() % 100 >= runBias ? uint8_t(rng() % colors) : cur;
    return v;
}

class GifWrite : public LibraryTest {
protected:
    vc::MemHandle block(const std::vector<uint8_t> &bytes) {
        vc::MemHandle h = vc::plat::memAlloc(vc::plat::kMemMoveable, bytes.size());
        std::memcpy(vc::plat::memLock(h), bytes.data(), bytes.size());
        (void)vc::plat::memUnlock(h);
        return h;
    }
    // Saves a DIB as format 129; the file's bytes.
    std::vector<uint8_t> save(const std::vector<uint8_t> &dib, int *result = nullptr, const std::string &name = "o.gif",
                              HostCallback callback = nullptr) {
        vc::MemHandle h = block(dib);
        int r = SaveConvImage(nullptr, path(name).c_str(), h, 129, 0, callback);
        (void)vc::plat::memFree(h);
        if (result) *result = r;
        return readBytes(path(name));
    }
    // What WriteGifImage writes for a DIB at (3, 4).
    std::vector<uint8_t> imageBytes(const std::vector<uint8_t> &dib, bool interlaced) {
        vc::HFile f = vc::plat::fileCreate(path("img.bin").c_str(), 0);
        auto *hd = reinterpret_cast<const ConvBitmapInfoHeader *>(dib.data());
        EXPECT_EQ(vc::WriteGifImage(f, hd, 3, 4, interlaced, false), 1);
        (void)vc::plat::fileClose(f);
        return readBytes(path("img.bin"));
    }
};

TEST_F(GifWrite, ImageBytesMatchTheModelEncoderExactly) {
    std::mt19937 rng(99);
    // Noise refills the table many times (clear at 4096 codes); runs make
    // long strings and prefixes with many children; at most 16 colours in
    // use and 17 take different lookups; odd sizes test the row unpacking.
    const struct {
        int w, h;
        uint16_t bits;
        unsigned runBias, colors;  // colors 0: all the depth allows
    } shapes[] = {{1, 1, 1, 0, 0},     {37, 5, 1, 50, 0},    {200, 150, 1, 0, 0}, {5, 3, 4, 0, 0},
                  {63, 41, 4, 30, 0},  {301, 97, 4, 0, 0},   {1, 1, 8, 0, 0},     {256, 256, 8, 0, 0},
                  {320, 200, 8, 90, 0}, {640, 30, 8, 99, 0}, {1000, 3, 8, 20, 0}, {400, 300, 8, 97, 9},
                  {123, 77, 8, 60, 16}, {90, 90, 8, 0, 17}};
    const std::vector<std::pair<int, int>> passes[2] = {{{0, 1}}, {{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto &sh : shapes) {
        auto px = randomPixels(rng, size_t(sh.w) * sh.h, sh.colors ? sh.colors : 1u << sh.bits, sh.runBias);
        if (sh.colors)  // few colours spread over the whole range
            for (auto &p : px) p = uint8_t(p * 251 / sh.colors + 3);
        const auto dib = dibOf(sh.w, sh.h, sh.bits, px);
        for (bool interlaced : {false, true}) {
            std::vector<uint8_t> order;
            for (auto [first, step] : passes[interlaced])
                for (int y = first; y < sh.h; y += step)
                    order.insert(order.end(), px.begin() + long(y) * sh.w, px.begin() + long(y + 1) * sh.w);
            const unsigned s = sh.bits == 1 ? 2 : sh.bits;
            std::vector<uint8_t> want = {0x2C, 3, 0, 4, 0, uint8_t(sh.w), uint8_t(sh.w >> 8), uint8_t(sh.h),
                                         uint8_t(sh.h >> 8), uint8_t((interlaced ? 0x40 : 0) + sh.bits - 1),
                                         uint8_t(s)};
            auto model = modelEncode(order, s);
            want.insert(want.end(), model.begin(), model.end());
            ASSERT_TRUE(imageBytes(dib, interlaced) == want) << sh.w << "x" << sh.h << "@" << sh.bits << interlaced;
        }
    }
    // Code bytes filling whole 255-byte blocks: the terminator follows the
    // last full block directly.
    int n = 200;
    std::vector<uint8_t> px, model;
    do px = randomPixels(rng, size_t(++n), 256, 0), model = modelEncode(px, 8);
    while (model.size() % 256 != 1 && n < 3000);
    auto got = imageBytes(dibOf(n, 1, 8, px), false);
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 11, got.end()), model);
    EXPECT_EQ(got.at(got.size() - 257), 255);
}

// 2 x 1 at 4 bits with five colours (padded with eleven black ones), pixels
// 1 0, the editor's transparent colour that of index 1: a graphic control,
// then clear(16) 1 0 end(17) in 5-bit codes. The animation tests hold the
// other block writers' bytes.
TEST_F(GifWrite, ATinyFileHasExactBytes) {
    FakeEditor ed;
    ed.screenColor = 0x07FE01;
    std::vector<uint8_t> want = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0xB3, 0, 0};
    for (unsigned i = 0; i < 16; ++i) {
        Rgb c = i < 5 ? GifBytes::color(i) : Rgb{0, 0, 0};
        want.insert(want.end(), {c.r, c.g, c.b});
    }
    want.insert(want.end(), {0x21, 0xF9, 4, 1, 0, 0, 1, 0,                 // transparent 1
                             0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 3,              // descriptor
                             4, 3, 0x30, 0x80, 0x08, 0, 0x3B});
    EXPECT_EQ(save(dibOf(2, 1, 4, {1, 0}, 5), nullptr, "o.gif", FakeEditor::callback()), want);
}

TEST_F(GifWrite, GraphicControlBytes) {
    // packed = disposal (two bits) x 4, + 2 for user input, + 1 for a
    // transparent index; no transparency writes index 0.
    const struct {
        int32_t transparent;
        uint16_t delay;
        int32_t userInput;
        uint16_t disposal;
        std::vector<uint8_t> want;
    } cases[] = {{-1, 0, 0, 0, {0x21, 0xF9, 4, 0, 0, 0, 0, 0}},
                 {-1, 0x1234, 1, 2, {0x21, 0xF9, 4, 0x0A, 0x34, 0x12, 0, 0}},
                 {7, 10, 0, 1, {0x21, 0xF9, 4, 0x05, 10, 0, 7, 0}},
                 {255, 0, -1, 7, {0x21, 0xF9, 4, 0x0D, 0, 0, 255, 0}}};
    for (const auto &c : cases) {
        vc::HFile f = vc::plat::fileCreate(path("gce.bin").c_str(), 0);
        EXPECT_EQ(vc::WriteGraphicControl(f, c.transparent, c.delay, c.userInput, c.disposal), 1);
        (void)vc::plat::fileClose(f);
        EXPECT_EQ(readBytes(path("gce.bin")), c.want) << c.transparent << " " << c.disposal;
    }
}

TEST_F(GifWrite, NearestColourAndTheEditorsTransparentColour) {
    // The first match within one wins at once; else the nearest. (The tiny
    // file has the editor's colour given directly.)
    const vc::GifRgbQuad table[5] = {{10, 10, 10, 0}, {0, 0, 0, 0}, {11, 10, 10, 0}, {9, 10, 10, 0}, {1, 0, 0, 0}};
    EXPECT_EQ(vc::NearestPaletteIndex(table, 10, 10, 10, 5), 0);
    EXPECT_EQ(vc::NearestPaletteIndex(table, 0, 0, 1, 5), 1);  // distance 1 stops before the exact 4
    EXPECT_EQ(vc::NearestPaletteIndex(table, 13, 13, 13, 5), 2);
    EXPECT_EQ(vc::NearestPaletteIndex(table, 40, 40, 40, 0), 0);

    auto dib8 = dibOf(2, 2, 8, {0, 1, 2, 3});
    auto *hd = reinterpret_cast<const ConvBitmapInfoHeader *>(dib8.data());
    FakeEditor ed;
    EXPECT_EQ(vc::FindTransparentIndex(hd, FakeEditor::callback()), -1);
    const Rgb c2 = GifBytes::color(200);
    uint8_t pal[256 * 4] = {};  // as index 3 of the editor's palette, which holds colour 200
    pal[12] = c2.r, pal[13] = c2.g, pal[14] = c2.b;
    ed.palette = pal;
    ed.screenColor = 0x01000003;
    EXPECT_EQ(vc::FindTransparentIndex(hd, FakeEditor::callback()), 200);
    EXPECT_EQ(ed.count(HOST_GET_PALETTE), 1u);
}

TEST_F(GifWrite, SaveFailures) {
    int r = 0;
    EXPECT_TRUE(save(makeDib(4, 4, 24), &r).empty());  // created, left empty
    EXPECT_EQ(r, CONV_E_DATA);
    auto dib = dibOf(64, 64, 8, std::vector<uint8_t>(64 * 64, 3));
    vc::MemHandle h = block(dib);
    auto saveTo = [&](const char *name) { return SaveConvImage(nullptr, path(name).c_str(), h, 129, 0, nullptr); };
    EXPECT_EQ(saveTo("no/such/dir.gif"), CONV_E_CREATE);
    // No memory for the index buffer: -5, and the trailer is still written.
    vc::plat::memFailAt(1);
    EXPECT_EQ(saveTo("mem.gif"), CONV_E_MEMORY);
    vc::plat::memFailAt(0);
    EXPECT_EQ(readBytes(path("mem.gif")).back(), 0x3B);
    // With a parent the progress window opens and is closed (the fixture
    // checks), going through the rows: 64 of them, the last at 98 %.
    vctest::UiRecorder ui;
    void *parent = VcCreateWindow(nullptr, 0, 0, 300, 200);
    EXPECT_EQ(SaveConvImage(parent, path("p.gif").c_str(), h, 129, 0, nullptr), 1);
    VcDestroyWindow(parent);
    int32_t last = -1;
    for (const auto &e : ui.progress)
        if (e.window) last = std::max(last, e.percent);
    EXPECT_EQ(last, 98);
    (void)vc::plat::memFree(h);
}

// Our files, read by netpbm, ImageMagick and Pillow; smooth indices with
// noise, so that the table fills and clears.
TEST_F(GifWrite, IndependentReadersAgree) {
    if (!haveTool("/usr/bin/giftopnm")) GTEST_SKIP() << "netpbm missing";
    std::mt19937 rng(3);
    for (auto [w, h, bits] : {std::tuple{157, 93, 8}, {33, 17, 4}, {70, 21, 1}, {500, 400, 8}}) {
        std::vector<uint8_t> px(size_t(w) * h);
        std::vector<Rgb> want;
        uint64_t total = 0;
        for (size_t i = 0; i < px.size(); ++i) {
            px[i] = uint8_t(((i % w + i / w * 2) / 3 + rng() % 3) % (1u << bits));
            want.push_back(GifBytes::color(px[i])), total += px[i];
        }
        const std::string name = "ind" + std::to_string(w) + ".gif", file = path(name), ref = path("ref.ppm");
        int r = 0;
        save(dibOf(w, h, uint16_t(bits), px), &r, name);
        ASSERT_EQ(r, 1);
        auto ppm = parsePpms(capture("giftopnm " + file + " 2>/dev/null | ppmtoppm 2>/dev/null | tee " + ref));
        ASSERT_EQ(ppm.size(), 1u) << file;
        EXPECT_TRUE(ppm[0].width == w && ppm[0].pixels == want) << file;
        std::string ae = capture("/usr/bin/compare -metric AE " + file + " " + ref + " null: 2>&1");
        EXPECT_EQ(ae.substr(0, 1), "0") << file << ": " << ae;
        EXPECT_EQ(capture("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + file +
                          "'); im.load(); print(im.size[0], im.size[1], sum(im.getdata()))\" 2>&1"),
                  std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(total) + "\n");
    }
}

}  // namespace
