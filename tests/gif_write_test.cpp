// The GIF writer: exact bytes against a literal model of the documented
// encoder (12 child slots per prefix, linear search, byte-wise packing into a
// 256-byte block buffer), headers, control blocks, colour matching, save
// failures, and what independent readers make of our files.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "entry/image_block.h"
#include "gif/gif_read.h"
#include "gif/gif_write.h"
#include "gif_support.h"
#include "support/fake_editor.h"
#include "support/library_test.h"

using namespace vctest;
using namespace gifsupport;

namespace {

// ---- The documented encoder, step by step ----------------------------------
struct ModelEncoder {
    std::vector<uint8_t> out;  // sub-blocks and terminator
    uint32_t prefix[4096];
    uint8_t suffix[4096];
    std::vector<uint32_t> child = std::vector<uint32_t>(4096 * 12);
    unsigned s = 0, width = 0;
    uint32_t clear = 0, end = 0, next = 0, w = 4096;
    uint8_t block[256];
    unsigned at = 1, used = 0;

    void reset() {
        std::fill(child.begin(), child.end(), 4096u);
        next = clear + 2;
        for (uint32_t c = 0; c < next; ++c) prefix[c] = 4096, suffix[c] = uint8_t(c);
    }
    void advance() {
        if (++at > 255) {
            out.push_back(255);
            out.insert(out.end(), block + 1, block + 256);
            std::memset(block, 0, sizeof block);
            at = 1;
        }
    }
    void pack(uint32_t code, unsigned wbits) {
        uint32_t v = code << used;
        block[at] |= uint8_t(v);
        if (used + wbits >= 8) advance(), block[at] = uint8_t(v >> 8);
        if (used + wbits >= 16) advance(), block[at] = uint8_t(v >> 16);
        used = (used + wbits) & 7;
    }
    void symbol(uint32_t c) {
        if (w == 4096) {
            for (uint32_t k = 0;; ++k)
                if (prefix[k] == 4096 && suffix[k] == c) {
                    w = k;
                    return;
                }
        }
        bool found = false;
        int free = -1;
        for (int i = 0; i < 12; ++i) {
            uint32_t k = child[w * 12 + i];
            if (k == 4096) {
                free = i;
                break;
            }
            if (suffix[k] == c) {
                w = k, found = true;
                break;
            }
        }
        if (!found && free < 0) {
            for (uint32_t k = clear + 2; k < next; ++k)
                if (prefix[k] == w && suffix[k] == c) {
                    w = k, found = true;
                    break;
                }
        }
        if (found) return;
        if (next == 4096) {
            pack(w, width);
            reset();
            pack(clear, width);
            width = s + 1;
            w = c;
            return;
        }
        prefix[next] = w, suffix[next] = uint8_t(c);
        if (free >= 0) child[w * 12 + free] = next;
        pack(w, width);
        width = std::max(3u, 32u - unsigned(__builtin_clz(next)));
        ++next;
        w = c;
    }
    std::vector<uint8_t> encode(const std::vector<uint8_t> &pixels, unsigned codeSize) {
        s = codeSize, clear = 1u << s, end = clear + 1;
        reset();
        w = 4096, width = s + 1;
        std::memset(block, 0, sizeof block);
        at = 1, used = 0;
        pack(clear, width);
        for (uint8_t p : pixels) symbol(p);
        pack(w, width);
        pack(end, width);
        unsigned n = used == 0 ? at - 1 : at;
        if (n) out.push_back(uint8_t(n)), out.insert(out.end(), block + 1, block + 1 + n);
        out.push_back(0);
        return out;
    }
};

// A packed DIB of the given depth whose pixels (top-down indices) are
// given; colour i is GifBytes::color(i).
std::vector<uint8_t> dibOf(int w, int h, uint16_t bits, const std::vector<uint8_t> &px, uint32_t clrUsed = 0) {
    std::vector<uint8_t> dib = makeDib(w, h, bits, clrUsed);
    auto *hd = reinterpret_cast<ConvBitmapInfoHeader *>(dib.data());
    uint32_t colors = vc::dibColorCount(*hd);
    for (uint32_t i = 0; i < colors; ++i) {
        Rgb c = GifBytes::color(i);
        dib[40 + 4 * i] = c.b, dib[41 + 4 * i] = c.g, dib[42 + 4 * i] = c.r, dib[43 + 4 * i] = 0;
    }
    uint8_t *bitsp = dib.data() + vc::dibBitsOffset(*hd);
    size_t stride = vc::dibRowBytes(w, bits);
    for (int y = 0; y < h; ++y) {
        uint8_t *row = bitsp + stride * size_t(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            uint8_t v = px[size_t(y) * w + x];
            if (bits == 8) row[x] = v;
            if (bits == 4) row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4));
            if (bits == 1) row[x / 8] |= uint8_t((v & 1) << (7 - x % 8));
        }
    }
    return dib;
}

class GifWrite : public LibraryTest {
protected:
    vc::MemHandle block(const std::vector<uint8_t> &bytes) {
        vc::MemHandle h = vc::plat::memAlloc(vc::plat::kMemMoveable, bytes.size());
        std::memcpy(vc::plat::memLock(h), bytes.data(), bytes.size());
        vc::plat::memUnlock(h);
        return h;
    }
    // Saves a DIB as format 129 through the export; the file's bytes.
    std::vector<uint8_t> save(const std::vector<uint8_t> &dib, int *result = nullptr, const std::string &name = "o.gif",
                              HostCallback callback = nullptr) {
        vc::MemHandle h = block(dib);
        int r = SaveConvImage(nullptr, path(name).c_str(), h, 129, 0, callback);
        vc::plat::memFree(h);
        if (result) *result = r;
        return readBytes(path(name));
    }
    // The bytes WriteGifImage produces for a DIB, interlaced or not.
    std::vector<uint8_t> imageBytes(const std::vector<uint8_t> &dib, bool interlaced) {
        vc::HFile f = vc::plat::fileCreate(path("img.bin").c_str(), 0);
        EXPECT_EQ(vc::WriteGifImage(f, reinterpret_cast<const ConvBitmapInfoHeader *>(dib.data()), 3, 4, interlaced,
                                    false),
                  1);
        vc::plat::fileClose(f);
        return readBytes(path("img.bin"));
    }
};

std::vector<uint8_t> randomPixels(std::mt19937 &rng, size_t n, unsigned colors, unsigned runBias) {
    std::vector<uint8_t> v(n);
    uint8_t cur = 0;
    for (auto &p : v) {
        if (rng() % 100 >= runBias) cur = uint8_t(rng() % colors);
        p = cur;
    }
    return v;
}

TEST_F(GifWrite, ImageBytesMatchTheDocumentedEncoderExactly) {
    std::mt19937 rng(99);
    struct Shape {
        int w, h;
        uint16_t bits;
        unsigned runBias;
        unsigned colors = 0;  // distinct values used; 0: all the depth allows
    };
    // Noise fills the table many times over (clear at 4096 codes); runs make
    // long strings and prefixes with more than 12 children; few colours in
    // an 8-bit image take the narrow table; odd sizes test the row
    // unpacking.
    const Shape shapes[] = {{1, 1, 1, 0},    {2, 2, 1, 0},     {37, 5, 1, 50},  {200, 150, 1, 0},
                            {5, 3, 4, 0},    {63, 41, 4, 30},  {301, 97, 4, 0}, {1, 1, 8, 0},
                            {17, 9, 8, 0},   {256, 256, 8, 0}, {320, 200, 8, 90}, {640, 30, 8, 99},
                            {1000, 3, 8, 20},   {400, 300, 8, 97, 9}, {123, 77, 8, 60, 16},
                            {90, 90, 8, 0, 17}};
    for (const auto &sh : shapes) {
        auto px = randomPixels(rng, size_t(sh.w) * sh.h, sh.colors ? sh.colors : 1u << sh.bits, sh.runBias);
        if (sh.colors)  // few colours spread over the whole range
            for (auto &p : px) p = uint8_t(p * 251 / sh.colors + 3);
        auto dib = dibOf(sh.w, sh.h, sh.bits, px);
        for (bool interlaced : {false, true}) {
            std::vector<uint8_t> order(px.size());
            for (int y = 0; y < sh.h; ++y) {
                uint32_t at = interlaced ? vc::gifInterlacedPosition(uint32_t(y), uint32_t(sh.h)) : uint32_t(y);
                std::memcpy(order.data() + size_t(at) * sh.w, px.data() + size_t(y) * sh.w, size_t(sh.w));
            }
            const unsigned s = sh.bits == 1 ? 2 : sh.bits;
            std::vector<uint8_t> want = {0x2C, 3, 0, 4, 0, uint8_t(sh.w), uint8_t(sh.w >> 8), uint8_t(sh.h),
                                         uint8_t(sh.h >> 8), uint8_t((interlaced ? 0x40 : 0) + sh.bits - 1),
                                         uint8_t(s)};
            auto model = ModelEncoder().encode(order, s);
            want.insert(want.end(), model.begin(), model.end());
            auto got = imageBytes(dib, interlaced);
            ASSERT_EQ(got.size(), want.size()) << sh.w << "x" << sh.h << "@" << sh.bits << " " << interlaced;
            ASSERT_TRUE(got == want) << sh.w << "x" << sh.h << "@" << sh.bits << " " << interlaced;
        }
    }
}

TEST_F(GifWrite, TinyFileBytesAndTheBlockEndCase) {
    // 2 x 1, 1 bit, pixels 1 0: clear(4) 1 0 end(5) at 3 bits.
    // bits: 100 | 001 | 000 | 101 -> 0x0C 0x0A
    auto dib = dibOf(2, 1, 1, {1, 0});
    auto bytes = save(dib);
    const std::vector<uint8_t> want = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0,  // screen
                                       0, 255, 0, 1, 254, 7,                                   // two colours
                                       0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0x00, 2,                  // descriptor
                                       2, 0x0C, 0x0A, 0, 0x3B};
    EXPECT_EQ(bytes, want);

    // Find a picture whose code bytes fill whole 255-byte blocks: the last
    // full block is followed directly by the terminator.
    std::mt19937 rng(5);
    bool seen = false;
    for (int n = 200; n < 3000 && !seen; ++n) {
        auto px = randomPixels(rng, size_t(n), 256, 0);
        auto model = ModelEncoder().encode(px, 8);
        if (model.size() % 256 != 1) continue;  // k blocks of 1 + 255, then the 0
        seen = true;
        auto got = imageBytes(dibOf(n, 1, 8, px), false);
        ASSERT_EQ(std::vector<uint8_t>(got.begin() + 11, got.end()), model);
        EXPECT_EQ(got[got.size() - 257], 255);
        EXPECT_EQ(got.back(), 0);
    }
    EXPECT_TRUE(seen);
}

TEST_F(GifWrite, HeaderControlExtensionsAndColourMatching) {
    // biClrUsed 5 at 4 bits: five colours then eleven black ones.
    auto dib = dibOf(3, 2, 4, {0, 1, 2, 3, 4, 0}, 5);
    vc::HFile f = vc::plat::fileCreate(path("h.bin").c_str(), 0);
    EXPECT_EQ(vc::WriteGifHeader(f, reinterpret_cast<const ConvBitmapInfoHeader *>(dib.data()), 300, 2, 9), 1);
    EXPECT_EQ(vc::WriteGraphicControl(f, 7, 0x1234, 1, 6), 1);
    EXPECT_EQ(vc::WriteGraphicControl(f, -1, 5, 0, 3), 1);
    EXPECT_EQ(vc::WriteGifExtension(f, 0xFF, "NETSCAPE2.0", 11, false), 1);
    const uint8_t loop[3] = {1, 0, 0};
    EXPECT_EQ(vc::WriteGifSubBlock(f, loop, 3, true), 1);
    EXPECT_EQ(vc::WriteGifSubBlock(f, nullptr, 0, true), 1);
    vc::plat::fileClose(f);
    auto b = readBytes(path("h.bin"));
    ASSERT_EQ(b.size(), 13u + 48 + 8 + 8 + 14 + 5 + 1);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 6, b.begin() + 13), (std::vector<uint8_t>{44, 1, 2, 0, 0xB3, 9, 0}));
    EXPECT_EQ(b[13 + 3 * 4], 4);  // red of colour 4
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 13 + 15, b.begin() + 61), std::vector<uint8_t>(33, 0));
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 61, b.begin() + 69),
              (std::vector<uint8_t>{0x21, 0xF9, 4, 2 * 4 + 2 + 1, 0x34, 0x12, 7, 0}));
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 69, b.begin() + 77),
              (std::vector<uint8_t>{0x21, 0xF9, 4, 3 * 4, 5, 0, 0, 0}));
    EXPECT_EQ(b[77], 0x21);
    EXPECT_EQ(b[79], 11);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 91, b.end()), (std::vector<uint8_t>{3, 1, 0, 0, 0, 0}));

    // Nearest colour: first exact or off-by-one match wins at once; ties
    // keep the earlier entry; no entries give 0.
    const vc::GifRgbQuad table[5] = {{10, 10, 10, 0}, {0, 0, 0, 0}, {11, 10, 10, 0}, {9, 10, 10, 0}, {1, 0, 0, 0}};
    EXPECT_EQ(vc::NearestPaletteIndex(table, 10, 10, 10, 5), 0);
    EXPECT_EQ(vc::NearestPaletteIndex(table, 0, 0, 1, 5), 1);  // distance 1 stops before the exact 4
    EXPECT_EQ(vc::NearestPaletteIndex(table, 13, 13, 13, 5), 2);
    EXPECT_EQ(vc::NearestPaletteIndex(table, 40, 40, 40, 0), 0);

    // The editor's transparent colour, as a colour and as a palette index.
    auto dib8 = dibOf(2, 2, 8, {0, 1, 2, 3});
    auto *hd = reinterpret_cast<const ConvBitmapInfoHeader *>(dib8.data());
    FakeEditor ed;
    EXPECT_EQ(vc::FindTransparentIndex(hd, FakeEditor::callback()), -1);
    Rgb c = GifBytes::color(77);
    ed.screenColor = uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16;
    EXPECT_EQ(vc::FindTransparentIndex(hd, FakeEditor::callback()), 77);
    uint8_t pal[256 * 4] = {};
    Rgb c2 = GifBytes::color(200);
    pal[4 * 3] = c2.r, pal[4 * 3 + 1] = c2.g, pal[4 * 3 + 2] = c2.b;
    ed.palette = pal;
    ed.screenColor = 0x01000003;  // palette index 3
    EXPECT_EQ(vc::FindTransparentIndex(hd, FakeEditor::callback()), 200);
    EXPECT_EQ(ed.count(HOST_GET_PALETTE), 1u);

    // With a transparent colour the save writes a control block before the
    // image.
    ed.palette = nullptr;
    ed.screenColor = uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16;
    auto bytes = save(dib8, nullptr, "t.gif", FakeEditor::callback());
    const size_t at = 13 + 768;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at) + 8),
              (std::vector<uint8_t>{0x21, 0xF9, 4, 1, 0, 0, 77, 0}));
    EXPECT_EQ(bytes[at + 8], 0x2C);
}

TEST_F(GifWrite, SaveFailures) {
    auto dib24 = makeDib(4, 4, 24);
    int r = 0;
    auto bytes = save(dib24, &r);
    EXPECT_EQ(r, CONV_E_DATA);
    EXPECT_TRUE(bytes.empty());  // created, left empty

    auto dib = dibOf(64, 64, 8, std::vector<uint8_t>(64 * 64, 3));
    vc::MemHandle h = block(dib);
    EXPECT_EQ(SaveConvImage(nullptr, path("no/such/dir.gif").c_str(), h, 129, 0, nullptr), CONV_E_CREATE);
    // A colour that cannot be written; then a trailer that cannot.
    vc::plat::fileFailWritesAfter(100);
    EXPECT_EQ(SaveConvImage(nullptr, path("short.gif").c_str(), h, 129, 0, nullptr), CONV_E_WRITE);
    vc::plat::fileFailWritesAfter(-1);
    const long full = long(readBytes((save(dib), path("o.gif"))).size());
    vc::plat::fileFailWritesAfter(full - 1);
    EXPECT_EQ(SaveConvImage(nullptr, path("short.gif").c_str(), h, 129, 0, nullptr), CONV_E_WRITE);
    vc::plat::fileFailWritesAfter(-1);
    // No memory for the index buffer: -5, and the trailer is still written.
    vc::plat::memFailAt(1);
    EXPECT_EQ(SaveConvImage(nullptr, path("mem.gif").c_str(), h, 129, 0, nullptr), CONV_E_MEMORY);
    vc::plat::memFailAt(0);
    auto m = readBytes(path("mem.gif"));
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back(), 0x3B);
    // With a parent window the save reports progress and closes its window.
    void *parent = VcCreateWindow(nullptr, 0, 0, 300, 200);
    EXPECT_EQ(SaveConvImage(parent, path("p.gif").c_str(), h, 129, 0, nullptr), 1);
    VcDestroyWindow(parent);
    vc::plat::memFree(h);
}

// Our files, read by netpbm, Pillow and ImageMagick, and by our own reader.
TEST_F(GifWrite, IndependentReadersAgree) {
    if (!haveTool("/usr/bin/giftopnm")) GTEST_SKIP() << "netpbm missing";
    std::mt19937 rng(3);
    struct Case {
        int w, h;
        uint16_t bits;
    };
    for (const Case &c : {Case{157, 93, 8}, Case{33, 17, 4}, Case{70, 21, 1}, Case{500, 400, 8}}) {
        // Photo-like indices: smooth with noise, so the table fills and clears.
        std::vector<uint8_t> px(size_t(c.w) * c.h);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                px[size_t(y) * c.w + x] = uint8_t(((x + y * 2) / 3 + rng() % 3) % (1u << c.bits));
        auto dib = dibOf(c.w, c.h, c.bits, px);
        std::string name = "ind" + std::to_string(c.bits) + "_" + std::to_string(c.w) + ".gif";
        int r = 0;
        save(dib, &r, name);
        ASSERT_EQ(r, 1);
        const std::string file = path(name);
        auto ppm = parsePpms(capture("giftopnm " + file + " 2>/dev/null | ppmtoppm 2>/dev/null"));
        ASSERT_EQ(ppm.size(), 1u) << name;
        ASSERT_EQ(ppm[0].width, c.w);
        ASSERT_EQ(ppm[0].height, c.h);
        int bad = 0;
        for (size_t i = 0; i < px.size(); ++i)
            if (!(ppm[0].pixels[i] == GifBytes::color(px[i]))) ++bad;
        EXPECT_EQ(bad, 0) << name;
        if (haveTool("/usr/bin/compare")) {
            writePpm(path("ref.ppm"), ppm[0]);
            std::string ae = capture("/usr/bin/compare -metric AE " + file + " " + path("ref.ppm") + " null: 2>&1");
            EXPECT_EQ(ae.substr(0, 1), "0") << name << ": " << ae;
        }
        if (haveTool("/usr/bin/python3")) {
            std::string sum = capture("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + file +
                                      "'); im.load(); print(im.size[0], im.size[1], sum(im.getdata()))\" 2>&1");
            uint64_t total = 0;
            for (auto p : px) total += p;
            EXPECT_EQ(sum, std::to_string(c.w) + " " + std::to_string(c.h) + " " + std::to_string(total) + "\n")
                << name;
        }
        // And back through our reader.
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, file.c_str(), &rec, &fmt, 0, nullptr), 1);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(rec.image));
        EXPECT_EQ(h->biBitCount, c.bits);
        EXPECT_EQ(0, std::memcmp(reinterpret_cast<uint8_t *>(h) + 40, dib.data() + 40,
                                 dib.size() - 40));  // colours and pixels
        vc::plat::memUnlock(rec.image);
        vc::plat::memFree(rec.image);
    }
}

}  // namespace
