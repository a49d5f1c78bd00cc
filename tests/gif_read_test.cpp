// The GIF reader: the scan into the document record, the decoding of one
// image into a DIB (clipping, alignment, transparency, interlace), the load
// and preview entries with their callback sequences, files written by
// independent tools, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "entry/image_block.h"
#include "gif/gif_read.h"
#include "gif_support.h"
#include "support/fake_editor.h"
#include "support/library_test.h"

using namespace vctest;
using namespace gifsupport;

namespace {

class GifRead : public LibraryTest {
protected:
    // Scans a file into a fresh record; returns the scan's result.
    int16_t scan(const std::vector<uint8_t> &bytes, vc::GifAnimRecord &rec, bool firstOnly = false) {
        std::string p = writeFile("scan.gif", bytes);
        std::memset(&rec, 0, sizeof rec);
        rec.formatCode = 167;
        vc::HFile f = vc::plat::fileOpen(p.c_str(), vc::plat::kOpenRead);
        int16_t r = vc::ParseGifStructure(f, rec, firstOnly);
        vc::plat::fileClose(f);
        return r;
    }

    // Decodes the first image of a file onto a DIB prepared by the caller.
    int16_t decodeOnto(const std::vector<uint8_t> &bytes, vc::MemHandle dib, int32_t transparent, int sx = 0,
                       int sy = 0) {
        std::string p = writeFile("decode.gif", bytes);
        vc::GifAnimRecord rec{};
        vc::HFile f = vc::plat::fileOpen(p.c_str(), vc::plat::kOpenRead);
        vc::ParseGifStructure(f, rec, true);
        vc::plat::fileSeek(f, int32_t(rec.frames[0].dataPosition), vc::plat::kSeekSet);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(dib));
        int16_t r = vc::DecodeGifImage(f, h, transparent, sx, sy);
        vc::plat::memUnlock(dib);
        vc::plat::fileClose(f);
        return r;
    }
};

// Pixel index of a locked DIB at (x, y), y counted from the top.
unsigned pixelAt(const ConvBitmapInfoHeader *h, int x, int y) {
    const uint8_t *bits = reinterpret_cast<const uint8_t *>(h) + vc::dibBitsOffset(*h);
    const uint8_t *row = bits + vc::dibRowBytes(h->biWidth, h->biBitCount) * (h->biHeight - 1 - y);
    switch (h->biBitCount) {
    case 8: return row[x];
    case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    }
    return 0;
}

std::vector<uint8_t> ramp(size_t n, unsigned modulo) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i * 7 + i / 5) % modulo);
    return v;
}

TEST_F(GifRead, ScanRecordsScreenImagesControlsCommentAndLooping) {
    GifBytes g;
    g.header(40, 30, 1, 3);  // 4 colours: depth 4
    g.u8(0), g.u8(0);        // stray zero bytes between blocks are skipped
    g.comment("first ").comment("second");
    g.looping(7);
    g.control(0x10 | 0x02 | 0x01, 25, 9);  // disposal 4 keeps two bits: 0
    g.image(2, 3, 5, 4, ramp(20, 4), 2);
    g.control(0x08, 100, 0);
    g.image(0, 0, 8, 2, ramp(16, 16), 4, true, 3);  // local table of 16 colours
    g.trailer();
    vc::GifAnimRecord rec;
    ASSERT_EQ(scan(g.b, rec), 1);
    EXPECT_EQ(rec.screenWidth, 40);
    EXPECT_EQ(rec.screenHeight, 30);
    EXPECT_EQ(rec.backgroundIndex, 3);
    EXPECT_EQ(rec.globalColorCount, 4);
    EXPECT_EQ(rec.globalPalette[2].red, 2);
    EXPECT_EQ(rec.globalPalette[2].green, 253);
    EXPECT_EQ(rec.globalPalette[2].blue, 14);
    EXPECT_EQ(rec.frameCount, 2);
    EXPECT_EQ(rec.bitsPerPixel, 4);
    EXPECT_STREQ(rec.comment, "first second");
    EXPECT_EQ(rec.commentFlag, 1u);
    EXPECT_EQ(rec.repeat, 1u);
    EXPECT_EQ(rec.loopCount, 7u);
    const auto &a = rec.frames[0], &b = rec.frames[1];
    EXPECT_EQ(a.left, 2);
    EXPECT_EQ(a.top, 3);
    EXPECT_EQ(a.width, 5);
    EXPECT_EQ(a.height, 4);
    EXPECT_EQ(a.bitsPerPixel, 4);
    EXPECT_EQ(a.hasGraphicControl, 1u);
    EXPECT_EQ(a.transparentIndex, 9);
    EXPECT_EQ(a.userInput, 1u);
    EXPECT_EQ(a.delay, 25);
    EXPECT_EQ(a.disposal, 0);
    EXPECT_EQ(g.b[a.dataPosition - 1], 0x2C);
    EXPECT_EQ(b.transparentIndex, -1);
    EXPECT_EQ(b.disposal, 2);
    EXPECT_EQ(b.interlaced, 1u);
    EXPECT_EQ(b.bitsPerPixel, 4);
    EXPECT_EQ(g.b[b.dataPosition - 1], 0x2C);

    // First-image-only: one entry, no trailer needed.
    std::vector<uint8_t> cut(g.b.begin(), g.b.begin() + long(b.dataPosition));
    ASSERT_EQ(scan(cut, rec, true), 1);
    EXPECT_EQ(rec.frameCount, 1);
    EXPECT_EQ(scan(cut, rec, false), CONV_E_READ);
}

TEST_F(GifRead, ScanDepthRuleCommentLimitLoopingAndBadBlocks) {
    vc::GifAnimRecord rec;
    const int depths[8] = {1, 4, 4, 4, 8, 8, 8, 8};
    for (int field = 0; field < 8; ++field) {
        GifBytes g;
        g.header(1, 1, field).trailer();
        ASSERT_EQ(scan(g.b, rec), 1);
        EXPECT_EQ(rec.bitsPerPixel, depths[field]) << field;
        EXPECT_EQ(rec.globalColorCount, 2 << field);
    }
    // Comments stop growing at 1020 characters; a short looping block is
    // not looping.
    GifBytes g;
    g.header(1, 1, 0).comment(std::string(700, 'a')).comment(std::string(700, 'b')).looping(3, 2).trailer();
    ASSERT_EQ(scan(g.b, rec), 1);
    EXPECT_EQ(std::strlen(rec.comment), 1020u);
    EXPECT_EQ(rec.comment[699], 'a');
    EXPECT_EQ(rec.comment[700], 'b');
    EXPECT_EQ(rec.repeat, 0u);

    GifBytes notGif;
    notGif.header(1, 1, 0, 0, "GIT89a").trailer();
    EXPECT_EQ(scan(notGif.b, rec), CONV_E_UNSUPPORTED);
    GifBytes anyVersion;
    anyVersion.header(1, 1, 0, 0, "GIF12x").trailer();
    EXPECT_EQ(scan(anyVersion.b, rec), 1);
    GifBytes badBlock;
    badBlock.header(1, 1, 0).u8(0x22);
    EXPECT_EQ(scan(badBlock.b, rec), CONV_E_UNSUPPORTED);
    GifBytes aboveTrailer;
    aboveTrailer.header(1, 1, 0).u8(0x3C);
    EXPECT_EQ(scan(aboveTrailer.b, rec), CONV_E_UNSUPPORTED);

    // More than 256 images: the table keeps the first 256; controls past it
    // are dropped.
    GifBytes many;
    many.header(2, 2, 0);
    for (int i = 0; i < 300; ++i) many.control(0x01, unsigned(i), 1).image(0, 0, 2, 2, {0, 1, 1, 0}, 2);
    many.trailer();
    ASSERT_EQ(scan(many.b, rec), 1);
    EXPECT_EQ(rec.frameCount, 256);
    EXPECT_EQ(rec.frames[255].delay, 255);
    EXPECT_EQ(rec.comment[0], 0);  // nothing ran past the frame table
}

TEST_F(GifRead, DecodeClipsAlignsAndHonoursTransparencyAndInterlace) {
    // 4 bits, odd drawn count, transparent index 3: the last pixel goes into
    // the high nibble only, and transparent pixels keep what was there.
    {
        vc::MemHandle dib = vc::CreatePackedDib(4, 6, 2, nullptr, 0);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(dib));
        vc::FillPackedDib(h, 0xA);
        vc::plat::memUnlock(dib);
        GifBytes g;
        g.header(5, 2, 3).image(0, 0, 5, 2, {1, 3, 2, 4, 5, 3, 3, 6, 7, 3}, 4).trailer();
        ASSERT_EQ(decodeOnto(g.b, dib, 3), 1);
        h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(dib));
        const unsigned want[2][6] = {{1, 0xA, 2, 4, 5, 0xA}, {0xA, 0xA, 6, 7, 0xA, 0xA}};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 6; ++x) EXPECT_EQ(pixelAt(h, x, y), want[y][x]) << x << "," << y;
        vc::plat::memUnlock(dib);
        vc::plat::memFree(dib);
    }
    // 1 bit: left 5 aligns down to 0; the transparent index is ignored.
    {
        vc::MemHandle dib = vc::CreatePackedDib(1, 12, 1, nullptr, 0);
        GifBytes g;
        g.header(16, 1, 0).image(5, 0, 10, 1, {1, 0, 1, 1, 0, 0, 1, 1, 1, 1}, 2).trailer();
        ASSERT_EQ(decodeOnto(g.b, dib, 1), 1);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(dib));
        const unsigned want[12] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0};
        for (int x = 0; x < 12; ++x) EXPECT_EQ(pixelAt(h, x, 0), want[x]) << x;
        vc::plat::memUnlock(dib);
        vc::plat::memFree(dib);
    }
    // Interlaced, taller than the DIB: the top rows come from their places
    // in the full-height pass order. Row r holds value r.
    {
        const unsigned H = 10, W = 3;
        std::vector<uint8_t> stored;
        for (unsigned p = 0; p < H; ++p)
            for (unsigned r = 0; r < H; ++r)
                if (vc::gifInterlacedPosition(r, H) == p) stored.insert(stored.end(), W, uint8_t(r + 1));
        GifBytes g;
        g.header(W, H, 3).image(0, 0, W, H, stored, 4, true).trailer();
        vc::MemHandle dib = vc::CreatePackedDib(8, 4, 6, nullptr, 0);
        ASSERT_EQ(decodeOnto(g.b, dib, -1, 0, -1), 1);  // shifted one row down
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(dib));
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 3; ++x) EXPECT_EQ(pixelAt(h, x, y), y == 0 ? 0u : unsigned(y)) << x << "," << y;
            EXPECT_EQ(pixelAt(h, 3, y), 0u);
        }
        vc::plat::memUnlock(dib);
        vc::plat::memFree(dib);
    }
    // Wholly right of or below the DIB: nothing drawn, success. Partly left
    // of it (a shift past the image's position): only the visible part.
    {
        vc::MemHandle dib = vc::CreatePackedDib(8, 4, 4, nullptr, 0);
        GifBytes right, below, left;
        right.header(10, 10, 3).image(4, 0, 2, 2, {1, 1, 1, 1}, 4).trailer();
        below.header(10, 10, 3).image(0, 4, 2, 2, {1, 1, 1, 1}, 4).trailer();
        left.header(10, 10, 3).image(0, 0, 3, 1, {5, 6, 7}, 4).trailer();
        EXPECT_EQ(decodeOnto(right.b, dib, -1), 1);
        EXPECT_EQ(decodeOnto(below.b, dib, -1), 1);
        EXPECT_EQ(decodeOnto(left.b, dib, -1, 2, 0), 1);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(dib));
        EXPECT_EQ(pixelAt(h, 0, 0), 7u);
        unsigned sum = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) sum += pixelAt(h, x, y);
        EXPECT_EQ(sum, 7u);
        vc::plat::memUnlock(dib);
        vc::plat::memFree(dib);
    }
}

TEST_F(GifRead, DecodeFailuresLeaveTheDibAsItWas) {
    vc::MemHandle dib = vc::CreatePackedDib(4, 4, 4, nullptr, 0);
    // A local table larger than the DIB's.
    GifBytes big;
    big.header(4, 4, 0).image(0, 0, 2, 2, {1, 2, 3, 4}, 4, false, 4).trailer();
    EXPECT_EQ(decodeOnto(big.b, dib, -1), CONV_E_DATA);
    // A code beyond the next free code.
    GifBytes bad;
    bad.header(4, 4, 3);
    bad.u8(0x2C), bad.u16(0), bad.u16(0), bad.u16(2), bad.u16(2), bad.u8(0), bad.u8(4);
    bad.subBlocks({0x10 | 0x1F << 5 & 0xFF, 0x03});  // clear (16), then 31
    bad.trailer();
    EXPECT_EQ(decodeOnto(bad.b, dib, -1), CONV_E_DATA);
    // Data ending without an end code: right pixel count succeeds, short fails.
    GifBytes noEnd, shortNoEnd, earlyEnd;
    auto raw = [](GifBytes &g, unsigned w, const std::vector<uint8_t> &px, bool end) {
        g.header(4, 4, 3);
        g.u8(0x2C), g.u16(0), g.u16(0), g.u16(w), g.u16(1), g.u8(0), g.u8(4);
        g.subBlocks(plainLzw(px, 4, end));
        g.trailer();
    };
    raw(noEnd, 3, {1, 2, 3}, false);
    raw(shortNoEnd, 4, {1, 2, 3}, false);
    raw(earlyEnd, 4, {1, 2, 3}, true);
    EXPECT_EQ(decodeOnto(noEnd.b, dib, -1), 1);
    EXPECT_EQ(decodeOnto(shortNoEnd.b, dib, -1), CONV_E_DATA);
    EXPECT_EQ(decodeOnto(earlyEnd.b, dib, -1), 1);
    // Code sizes 0 and 12 up: 0 is read as the stream says; 12 is refused.
    GifBytes size12;
    size12.header(4, 4, 3);
    size12.u8(0x2C), size12.u16(0), size12.u16(0), size12.u16(2), size12.u16(2), size12.u8(0), size12.u8(12);
    size12.subBlocks({0xFF, 0xFF, 0xFF}).trailer();
    EXPECT_EQ(decodeOnto(size12.b, dib, -1), CONV_E_DATA);
    // A sub-block running past the end of the file.
    std::vector<uint8_t> cut = earlyEnd.b;
    cut.erase(cut.end() - 4, cut.end());
    EXPECT_EQ(decodeOnto(cut, dib, -1), CONV_E_READ);
    vc::plat::memFree(dib);
}

TEST_F(GifRead, LoadHandsOverThroughRecordOrCallbackWithTheDocumentRecord) {
    GifBytes g;
    g.header(6, 3, 2).comment("hello").control(0x05, 7, 4).image(1, 1, 4, 2, ramp(8, 8), 3).trailer();
    std::string file = writeFile("t.gif", g.b);

    // Transparent, with a record and a callback: the image goes to the
    // editor (2, 17, 0, 21) and the record stays empty.
    {
        FakeEditor ed;
        ConvImageRecord out{};
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, file.c_str(), &out, &fmt, 0, FakeEditor::callback()), 1);
        EXPECT_EQ(fmt, 129);
        EXPECT_EQ(out.image, nullptr);
        EXPECT_EQ(ed.commands(), (std::vector<int32_t>{2, 17, 0, 21}));
        ASSERT_EQ(ed.images.size(), 1u);
        EXPECT_EQ(ed.images[0].flags, 0x11);
        ASSERT_EQ(ed.transparents.size(), 1u);
        EXPECT_EQ(ed.transparents[0].entry[2], 4);  // red of colour 4
        EXPECT_EQ(ed.transparents[0].value, 0);
        ASSERT_EQ(ed.notes.size(), 1u);
        EXPECT_EQ(ed.notes[0].value, 0x8100);
        EXPECT_EQ(ed.notes[0].fileName, file);
    }
    // Without a record: the image, then the document and its menu items.
    {
        FakeEditor ed;
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, file.c_str(), nullptr, &fmt, 0, FakeEditor::callback()), 1);
        EXPECT_EQ(fmt, 167);
        EXPECT_EQ(ed.commands(), (std::vector<int32_t>{2, 17, 0, 21, 11, 14, 14, 14}));
        ASSERT_EQ(ed.documents.size(), 1u);
        auto *rec = static_cast<vc::GifAnimRecord *>(vc::plat::memLock(ed.documents[0]));
        EXPECT_EQ(rec->formatCode, 167);
        EXPECT_EQ(rec->frameCount, 1);
        EXPECT_EQ(rec->outputWidth, 4);
        EXPECT_EQ(rec->outputHeight, 2);
        EXPECT_EQ(rec->frames[0].left, 0);
        EXPECT_EQ(rec->frames[0].top, 0);
        EXPECT_EQ(rec->frames[0].delay, 7);
        EXPECT_EQ(rec->frames[0].disposal, 1);
        EXPECT_EQ(rec->frames[0].transparentIndex, 4);
        EXPECT_STREQ(rec->comment, "hello");
        EXPECT_EQ(rec->repeat, 0u);
        vc::plat::memUnlock(ed.documents[0]);
        ASSERT_EQ(ed.menuItems.size(), 3u);
        EXPECT_EQ(ed.menuItems[0].slot, 1);
        EXPECT_EQ(ed.menuItems[0].commandId, 0u);
        EXPECT_EQ(ed.menuItems[2].slot, 2);
        EXPECT_EQ(ed.menuItems[2].position, 5u);
        EXPECT_EQ(ed.menuItems[2].flags, 1024u);
        EXPECT_EQ(ed.menuItems[2].commandId, 1001u);
        EXPECT_EQ(ed.menuItems[2].text, "&Animation...");
    }
    // The editor refusing the document: the library frees it (the fixture
    // checks), and no menu items are added.
    {
        FakeEditor ed;
        ed.refuse(11);
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, file.c_str(), nullptr, &fmt, 0, FakeEditor::callback()), 1);
        EXPECT_EQ(ed.count(14), 0u);
    }
    // The preview: the first image into the record, bits offset 0, the
    // image drawn from its own top-left corner.
    {
        ConvImageRecord out{};
        out.bitsOffset = 99;
        ASSERT_EQ(GetPreviewImage(file.c_str(), &out), 1);
        ASSERT_NE(out.image, nullptr);
        EXPECT_EQ(out.bitsOffset, 0u);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(out.image));
        EXPECT_EQ(h->biWidth, 4);
        EXPECT_EQ(h->biHeight, 2);
        EXPECT_EQ(h->biBitCount, 4);
        EXPECT_EQ(h->biClrUsed, 16u);
        EXPECT_EQ(h->biXPelsPerMeter, 2953);
        auto px = ramp(8, 8);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(pixelAt(h, i % 4, i / 4), px[i]);
        vc::plat::memUnlock(out.image);
        vc::plat::memFree(out.image);
    }
}

// Pictures written by other programs, read by us and by giftopnm: the
// colours of every pixel agree.
TEST_F(GifRead, FilesFromIndependentWritersMatchGiftopnm) {
    if (!haveTool("/usr/bin/giftopnm") || !haveTool("/usr/bin/pamtogif") || !haveTool("/usr/bin/convert"))
        GTEST_SKIP() << "netpbm or ImageMagick missing";
    Ppm photo = photoLike(157, 93);
    writePpm(path("photo.ppm"), photo);
    Ppm noise = photoLike(300, 200, 9);
    for (auto &p : noise.pixels) p.r = uint8_t(p.r * 31 + p.g * 17), p.b = uint8_t(p.b ^ p.r);
    writePpm(path("noise.ppm"), noise);
    const std::string P = path("photo.ppm"), N = path("noise.ppm");
    struct Case {
        std::string name, command;
    };
    std::vector<Case> cases = {
        {"im256.gif", "/usr/bin/convert " + P + " -colors 256 "},
        {"im16.gif", "/usr/bin/convert " + P + " -colors 16 "},
        {"im2.gif", "/usr/bin/convert " + P + " -colors 2 "},
        {"noise.gif", "/usr/bin/convert " + N + " -colors 256 "},
        {"interlaced.gif", "pnmquant 200 " + P + " 2>/dev/null | pamtogif -interlace 2>/dev/null > "},
        {"netpbm4.gif", "pnmquant 5 " + P + " 2>/dev/null | pamtogif 2>/dev/null > "},
    };
    if (haveTool("/usr/bin/gifsicle"))
        cases.push_back({"gifsicle.gif", "/usr/bin/convert " + P + " -colors 64 gif:- | gifsicle --interlace > "});
    for (const auto &c : cases) {
        std::string out = path(c.name);
        ASSERT_EQ(std::system((c.command + out).c_str()), 0) << c.command;
        auto ref = parsePpms(capture("giftopnm " + out + " 2>/dev/null | ppmtoppm 2>/dev/null"));
        ASSERT_EQ(ref.size(), 1u) << c.name;
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, out.c_str(), &rec, &fmt, 0, nullptr), 1) << c.name;
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(rec.image));
        ASSERT_EQ(h->biWidth, ref[0].width);
        ASSERT_EQ(h->biHeight, ref[0].height);
        auto *pal = reinterpret_cast<const vc::GifRgbQuad *>(reinterpret_cast<uint8_t *>(h) + 40);
        int bad = 0;
        for (int y = 0; y < h->biHeight; ++y)
            for (int x = 0; x < h->biWidth; ++x) {
                const auto &q = pal[pixelAt(h, x, y)];
                if (!(Rgb{q.red, q.green, q.blue} == ref[0].pixels[size_t(y) * h->biWidth + x])) ++bad;
            }
        EXPECT_EQ(bad, 0) << c.name << " depth " << h->biBitCount;
        vc::plat::memUnlock(rec.image);
        vc::plat::memFree(rec.image);
    }
}

// GIF files shipped in Debian packages (still and animated; the first image
// is what a load with an output record delivers), against giftopnm.
TEST_F(GifRead, DebianSampleFilesMatchGiftopnm) {
    if (!haveTool("/usr/bin/giftopnm")) GTEST_SKIP() << "netpbm missing";
    const std::string wx = "/usr/share/doc/wx3.2-examples/examples/samples/";
    const std::vector<std::string> files = {"/usr/libexec/installed-tests/SDL2_image/palette.gif",
                                            wx + "image/horse.gif",
                                            wx + "animate/throbber.gif",
                                            wx + "html/printing/logo6.gif",
                                            wx + "xrc/rc/wxbanner.gif",
                                            wx + "xrc/rc/fuzzy.gif",
                                            wx + "help/back.gif"};
    int checked = 0;
    for (const auto &file : files) {
        if (access(file.c_str(), R_OK) != 0) continue;
        auto ref = parsePpms(capture("giftopnm '" + file + "' 2>/dev/null | ppmtoppm 2>/dev/null"));
        ASSERT_EQ(ref.size(), 1u) << file;
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, file.c_str(), &rec, &fmt, 0, nullptr), 1) << file;
        EXPECT_EQ(fmt, 129);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(rec.image));
        ASSERT_EQ(h->biWidth, ref[0].width) << file;
        ASSERT_EQ(h->biHeight, ref[0].height) << file;
        auto *pal = reinterpret_cast<const vc::GifRgbQuad *>(reinterpret_cast<uint8_t *>(h) + 40);
        int bad = 0;
        for (int y = 0; y < h->biHeight; ++y)
            for (int x = 0; x < h->biWidth; ++x) {
                const auto &q = pal[pixelAt(h, x, y)];
                if (!(Rgb{q.red, q.green, q.blue} == ref[0].pixels[size_t(y) * h->biWidth + x])) ++bad;
            }
        EXPECT_EQ(bad, 0) << file;
        vc::plat::memUnlock(rec.image);
        vc::plat::memFree(rec.image);
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no sample GIF files installed";
}

// giflib's encoder, through gifbuild: noise that fills the 4096-code table
// several times over, plain and interlaced, and the same file without its
// trailer (refused when every image is scanned, fine for the preview).
TEST_F(GifRead, GifbuildFilesDecodeToTheirDescription) {
    if (!haveTool("/usr/bin/gifbuild")) GTEST_SKIP() << "giflib-tools missing";
    const char *symbols = "0123456789ABCDEF";
    const int W = 300, H = 200;
    std::vector<uint8_t> px(size_t(W) * H);
    uint32_t x32 = 77;
    for (auto &p : px) x32 ^= x32 << 13, x32 ^= x32 >> 17, x32 ^= x32 << 5, p = uint8_t(x32 % 16);
    for (bool interlaced : {false, true}) {
        std::string text = "screen width 300\nscreen height 200\nscreen colors 16\nscreen background 0\n"
                           "pixel aspect byte 0\n\nscreen map\n";
        for (int i = 0; i < 16; ++i) {
            Rgb c = GifBytes::color(unsigned(i));
            text += "\trgb " + std::to_string(c.r) + " " + std::to_string(c.g) + " " + std::to_string(c.b) + " is " +
                    symbols[i] + "\n";
        }
        text += "end\n\nimage # 1\nimage left 0\nimage top 0\n";
        if (interlaced) text += "image interlaced\n";
        text += "image bits 300 by 200\n";
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) text += symbols[px[size_t(y) * W + x]];
            text += "\n";
        }
        std::string desc = writeFile("desc.txt", text);
        std::string gif = path("built.gif");
        ASSERT_EQ(std::system(("gifbuild " + desc + " > " + gif + " 2>/dev/null").c_str()), 0);
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, gif.c_str(), &rec, &fmt, 0, nullptr), 1);
        auto *h = static_cast<ConvBitmapInfoHeader *>(vc::plat::memLock(rec.image));
        ASSERT_EQ(h->biWidth, W);
        ASSERT_EQ(h->biHeight, H);
        int bad = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) bad += pixelAt(h, x, y) != px[size_t(y) * W + x];
        EXPECT_EQ(bad, 0) << interlaced;
        vc::plat::memUnlock(rec.image);
        vc::plat::memFree(rec.image);

        auto bytes = readBytes(gif);
        ASSERT_EQ(bytes.back(), 0x3B);
        bytes.pop_back();
        std::string noTrailer = writeFile("notrailer.gif", bytes);
        FakeEditor ed;
        EXPECT_EQ(LoadConvImage(nullptr, noTrailer.c_str(), nullptr, &fmt, 0, FakeEditor::callback()), CONV_E_READ);
        ConvImageRecord pre{};
        EXPECT_EQ(GetPreviewImage(noTrailer.c_str(), &pre), 1);
        if (pre.image) vc::plat::memFree(pre.image);
    }
}

// A damaged copy of a two-image file, cut at every length: a documented
// result, no leak, no file left open (the fixture checks), no crash.
TEST_F(GifRead, TruncatedFilesGiveDocumentedResults) {
    GifBytes g;
    g.header(8, 8, 2).comment("c").looping(0).control(0x09, 5, 1).image(0, 0, 8, 8, ramp(64, 8), 3);
    g.control(0x04, 5, 0).image(2, 2, 4, 4, ramp(16, 16), 4, true, 3).trailer();
    const std::set<int> allowed = {1, CONV_E_READ, CONV_E_UNSUPPORTED, CONV_E_DATA, CONV_E_FORMAT};
    for (size_t n = 0; n < g.b.size(); ++n) {
        std::vector<uint8_t> cut(g.b.begin(), g.b.begin() + long(n));
        std::string f = writeFile("cut.gif", cut);
        {
            FakeEditor ed;
            uint8_t fmt = 0;
            int r = LoadConvImage(nullptr, f.c_str(), nullptr, &fmt, 0, FakeEditor::callback());
            EXPECT_TRUE(allowed.count(r)) << n << " " << r;
            EXPECT_NE(r, 1) << n;  // never a trailer
        }
        ConvImageRecord rec{};
        int r = GetPreviewImage(f.c_str(), &rec);
        EXPECT_TRUE(allowed.count(r)) << n << " " << r;
        if (rec.image) vc::plat::memFree(rec.image);
    }
    // Zero-sized and giant images are refused, not allocated.
    for (unsigned size : {0u, 65535u}) {
        GifBytes z;
        z.header(size, size, 0).image(0, 0, size, size, {}, 2).trailer();
        std::string f = writeFile("z.gif", z.b);
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        int r = LoadConvImage(nullptr, f.c_str(), &rec, &fmt, 0, nullptr);
        EXPECT_TRUE(r == CONV_E_DATA || r == CONV_E_MEMORY) << size << " " << r;
        EXPECT_EQ(rec.image, nullptr);
    }
    // Memory refused at each allocation of a load.
    std::string f = writeFile("ok.gif", g.b);
    for (long k = 1; k <= 6; ++k) {
        FakeEditor ed;
        vc::plat::memFailAt(k);
        uint8_t fmt = 0;
        int r = LoadConvImage(nullptr, f.c_str(), nullptr, &fmt, 0, FakeEditor::callback());
        vc::plat::memFailAt(0);
        EXPECT_TRUE(r == 1 || r == CONV_E_MEMORY) << k << " " << r;
    }
}

}  // namespace
