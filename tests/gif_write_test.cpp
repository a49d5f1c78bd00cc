// The GIF writers: image bytes against a plain model encoder, exact bytes of
// a small still picture and of a small animation with the editor's calls,
// the transparent colour, independent readers on what we write, progress,
// failures and the animation document's life.
#include <bit>
#include <map>
#include <random>

#include "gif/gif_anim.h"
#include "gif/gif_dialog.h"
#include "gif/gif_write.h"
#include "gif_support.h"
#include "platform/headless_dialog.h"
#include "support/memory_shim.h"

using namespace vctest;
using namespace gifsupport;
using stilltest::Bytes, stilltest::operator+;

namespace {

// The encoder at its plainest: a map as string table (a pair is entered only
// when absent, so no lookup structure can change the output), a clear code
// at 12 bits once code 4095 is taken, codes packed LSB first into 255-byte
// sub-blocks and the terminator.
std::vector<uint8_t> modelEncode(const std::vector<uint8_t> &pixels, unsigned s) {
    stilltest::Codes codes;
    unsigned width = s + 1;
    const uint32_t clear = 1u << s;
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
    uint32_t next = clear + 2, w = pixels.at(0);
    codes.push_back({clear, width});
    for (size_t i = 1; i < pixels.size(); ++i) {
        const uint8_t c = pixels[i];
        if (auto it = table.find({w, c}); it != table.end()) {
            w = it->second;
            continue;
        }
        codes.push_back({w, width});
        if (next == 4096) {
            table.clear();
            codes.push_back({clear, width});
            next = clear + 2, width = s + 1;
        } else {
            table[{w, c}] = next;
            width = std::max(3u, unsigned(std::bit_width(next++)));
        }
        w = c;
    }
    codes.push_back({w, width});
    codes.push_back({clear + 1, width});
    return GifBytes().subBlocks(stilltest::packCodes(codes, true)).b;
}

// A packed DIB with the given indices (top row first) and a table of
// `colors` entries (0: all the depth allows); colour i is GifBytes::color(i).
// topDown: stored top-down, with a negative height.
std::vector<uint8_t> dibOf(int w, int h, uint16_t bits, const std::vector<uint8_t> &px, uint32_t colors = 0,
                           bool topDown = false) {
    std::vector<host::Rgb> table;
    for (uint32_t i = 0; i < (colors ? colors : 1u << bits); ++i)
        table.push_back(host::rgb(GifBytes::color(i).r, GifBytes::color(i).g, GifBytes::color(i).b));
    const auto index = [&](int x, int y) { return px[size_t(topDown ? h - 1 - y : y) * w + x]; };
    auto dib = host::toPackedDib(stilltest::picture(w, h, index, bits, table));
    if (topDown) reinterpret_cast<ConvBitmapInfoHeader *>(dib.data())->biHeight = -h;
    return dib;
}

std::vector<uint8_t> randomPixels(std::mt19937 &rng, size_t n, unsigned colors, unsigned runBias) {
    std::vector<uint8_t> v(n);
    uint8_t cur = 0;
    for (auto &p : v) p = cur = rng() % 100 >= runBias ? uint8_t(rng() % colors) : cur;
    return v;
}

// Saves through the still export (format 129).
class GifWrite : public stilltest::StillTest {
protected:
    GifWrite() { code = 129; }
    // What `write` puts into a file of its own; what WriteGifImage writes
    // for a DIB at (3, 4).
    template <class F> std::vector<uint8_t> written(F write) {
        vc::HFile f = vc::plat::fileCreate(path("w.bin").c_str(), 0);
        EXPECT_EQ(write(f), vc::Result::ok);
        (void)vc::plat::fileClose(f);
        return readBytes(path("w.bin"));
    }
    std::vector<uint8_t> imageBytes(const std::vector<uint8_t> &dib, bool interlaced) {
        auto *hd = reinterpret_cast<const ConvBitmapInfoHeader *>(dib.data());
        return written([&](vc::HFile f) { return vc::WriteGifImage(f, hd, 3, 4, interlaced, false); });
    }
};

TEST_F(GifWrite, ImageBytesMatchTheModelEncoderExactly) {
    std::mt19937 rng(99);
    // Noise refills the table many times (clear at 4096 codes); runs make
    // long strings and prefixes with many children; at most 16 colours in
    // use and 17 take different lookups; odd sizes test the row unpacking.
    // Each DIB is written again stored top-down.
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
            const Bytes want = GifBytes().descriptor(3, 4, sh.w, sh.h, (interlaced ? 0x40 : 0) + sh.bits - 1, s).b +
                               modelEncode(order, s);
            ASSERT_TRUE(imageBytes(dib, interlaced) == want) << sh.w << "x" << sh.h << "@" << sh.bits << interlaced;
            ASSERT_TRUE(imageBytes(dibOf(sh.w, sh.h, sh.bits, px, 0, true), interlaced) == want) << "top-down";
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
    void *image = handle(dibOf(2, 1, 4, {1, 0}, 5));
    EXPECT_EQ(SaveConvImage(nullptr, path("o.gif").c_str(), image, 129, 0, FakeEditor::callback()), CONV_OK);
    VcMemFree(image);
    EXPECT_EQ(readBytes(path("o.gif")), want);
}

// Graphic control: packed = disposal (two bits) x 4, + 2 for user input, + 1
// for a transparent index; no transparency writes index 0. Nearest colour:
// the first match within one wins at once; else the nearest. The editor's
// transparent colour as an index of its palette (the tiny file has it given
// directly).
TEST_F(GifWrite, GraphicControlNearestAndTheEditorsTransparentColour) {
    auto control = [&](int32_t transparent, uint16_t delay, int32_t userInput, uint16_t disposal) {
        return written([&](vc::HFile f) { return vc::WriteGraphicControl(f, transparent, delay, userInput, disposal); });
    };
    EXPECT_EQ(control(-1, 0x1234, 1, 2), (Bytes{0x21, 0xF9, 4, 0x0A, 0x34, 0x12, 0, 0}));
    EXPECT_EQ(control(7, 10, 0, 1), (Bytes{0x21, 0xF9, 4, 0x05, 10, 0, 7, 0}));
    EXPECT_EQ(control(255, 0, -1, 7), (Bytes{0x21, 0xF9, 4, 0x0D, 0, 0, 255, 0}));

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

TEST_F(GifWrite, SaveFailuresAndProgress) {
    EXPECT_EQ(save(makeDib(4, 4, 24), path("o.gif")), CONV_E_DATA);
    EXPECT_TRUE(readBytes(path("o.gif")).empty());  // created, left empty
    // The header writer refuses depths other than 1, 4 and 8 itself (before
    // touching the file).
    const ConvBitmapInfoHeader twoBits = dibHeader(4, 4, 2);
    EXPECT_EQ(vc::WriteGifHeader(-1, &twoBits, 4, 4, 0), vc::Result::damaged);
    const auto dib = dibOf(64, 64, 4, std::vector<uint8_t>(64 * 64, 3));
    EXPECT_EQ(save(dib, path("no/such/dir.gif")), CONV_E_CREATE);
    // With a parent the progress window opens and is closed (the fixture
    // checks), going through the rows: 64 of them, the last at 98 %.
    std::vector<int32_t> progress;
    EXPECT_EQ(save(dib, path("p.gif"), &progress), 1);
    EXPECT_EQ(progress.back(), 98);
}

// Our files read by giftopnm, the strictest of the readers at hand (it
// refuses a code stream that breaks a rule where others draw what they
// can); smooth indices with noise, so that the table fills and clears.
TEST_F(GifWrite, GiftopnmReadsOurFilesPixelForPixel) {
    if (!haveTool("/usr/bin/giftopnm")) GTEST_SKIP() << "needs giftopnm (netpbm)";
    std::mt19937 rng(3);
    for (auto [w, h, bits] : {std::tuple{157, 93, 8}, {33, 17, 4}, {70, 21, 1}, {500, 400, 8}}) {
        std::vector<uint8_t> px(size_t(w) * h);
        std::vector<Rgb> want;
        for (size_t i = 0; i < px.size(); ++i) {
            px[i] = uint8_t(((i % w + i / w * 2) / 3 + rng() % 3) % (1u << bits));
            want.push_back(GifBytes::color(px[i]));
        }
        const std::string name = "ind" + std::to_string(w) + ".gif";
        ASSERT_EQ(save(dibOf(w, h, uint16_t(bits), px), path(name)), CONV_OK);
        auto ppm = parsePpms(capture("giftopnm " + path(name) + " 2>/dev/null | ppmtoppm 2>/dev/null"));
        ASSERT_EQ(ppm.size(), 1u) << name;
        EXPECT_TRUE(ppm[0].width == w && ppm[0].pixels == want) << name;
    }
}

class GifAnimation : public stilltest::StillTest {
protected:
    void TearDown() override {
        for (void *d : editor.documents) mem::release(d);
        editor.documents.clear();
        LibraryTest::TearDown();
    }
    // Starts a document in the editor and hands its record to `edit`.
    template <class F> void newDocument(F edit) {
        char name[16] = "anim.ani";
        ASSERT_EQ(NewConvFile(nullptr, name, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), CONV_OK);
        edit(*static_cast<vc::GifAnimRecord *>(mem::lock(editor.documents.back())));
        mem::unlock(editor.documents.back());
    }
    int32_t save(const std::string &file, uint32_t option = 0, void *image = nullptr, void *parent = nullptr) {
        return SaveConvImage(parent, file.c_str(), image, CONV_FMT_ANIGIF, option, FakeEditor::callback());
    }
    FakeEditor editor;
    UiRecorder ui;
};

TEST_F(GifAnimation, SmallAnimationIsWrittenByteForByte) {
    editor.imageWidth = 2, editor.imageHeight = 2;
    editor.addFrame(makeDib(2, 2, 4));
    editor.addFrame(makeDib(2, 2, 4));
    std::memset(editor.images[1].bytes.data() + 104, 0x11, 8);  // colour 1
    editor.images[0].bytes[32] = 16;  // biClrUsed: the table the background is looked up in
    editor.screenColor = 0x111111;  // grey-ramp entry 1
    newDocument([](vc::GifAnimRecord &r) {
        std::strcpy(r.comment, "A\r\nB");
        // The background, entry 5 of the document, is written as the nearest
        // entry of the written table.
        r.backgroundIndex = 5;
        r.globalPalette[5].red = r.globalPalette[5].green = r.globalPalette[5].blue = 0x12;
        r.frameCount = 2;
        r.frames[0].delay = 5, r.frames[0].disposal = 2;
        r.frames[1].left = 1, r.frames[1].delay = 300, r.frames[1].disposal = 1, r.frames[1].userInput = 1;
    });
    editor.calls.clear();
    ASSERT_EQ(save(path("small.gif")), CONV_OK);
    std::vector<uint8_t> want = {'G', 'I', 'F', '8', '9', 'a', 3, 0, 2, 0, 0xB3, 1, 0};  // 3 wide: frame 1 at x 1
    for (int i = 0; i < 16; ++i) want.insert(want.end(), 3, uint8_t(i * 17));
    const std::vector<uint8_t> rest = {
        0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0,  // loop forever
        0x21, 0xFE, 3, 'A', '\r', '\n', 1, 'B', 0,                                          // a block per line
        0x21, 0xF9, 4, 0x09, 5, 0, 1, 0,                                                    // transparent 1
        0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 3, 4, 4, 0x10, 0x48, 0x10, 0x01, 0,                   // clear 0 0 end
        0x21, 0xF9, 4, 0x07, 0x2C, 0x01, 1, 0,                                              // user input
        0x2C, 1, 0, 0, 0, 2, 0, 2, 0, 3, 4, 4, 0x30, 0xC8, 0x10, 0x01, 0, 0x3B};
    EXPECT_EQ(readBytes(path("small.gif")), want + rest);
    EXPECT_EQ(calls(editor), (Calls{{10, 0}, {0, 3}, {0, 4}, {3, 0}, {0, 4}, {0, 0}, {0, 5}, {3, 1}}));
    // The document keeps the background as written: index 1, the table's colour there.
    const auto &kept = *static_cast<vc::GifAnimRecord *>(mem::lock(editor.documents.back()));
    EXPECT_TRUE(kept.backgroundIndex == 1 && kept.globalPalette[1].red == 0x11 && kept.globalPalette[1].blue == 0x11);
    mem::unlock(editor.documents.back());

    // A long comment: a block per line while it fits, else 252-byte pieces;
    // a piece that starts with a line feed looks for the next one after it.
    std::string text = std::string(600, 'x') + "\n\nshort\n" + std::string(500, 'y');
    newDocument([&](vc::GifAnimRecord &r) { std::snprintf(r.comment, 1021, "%s", text.c_str()), r.repeat = 0; });
    ASSERT_EQ(save(path("comment.gif")), CONV_OK);
    const std::vector<uint8_t> got = readBytes(path("comment.gif"));
    std::vector<size_t> lengths;
    for (size_t at = 13 + 48 + 2; got.at(at); at += 1 + got[at]) lengths.push_back(got[at]);
    EXPECT_EQ(lengths, (std::vector<size_t>{252, 252, 97, 7, 252, 160}));
}

// The structure of what we write as gifsicle reads it, the strictest
// reader of a GIF's blocks at hand (giftopnm reads the image data the same
// writer makes in GifWrite.GiftopnmReadsOurFilesPixelForPixel).
TEST_F(GifAnimation, GifsicleReadsTheBlocksWeWrite) {
    if (!haveTool("/usr/bin/gifsicle")) GTEST_SKIP() << "needs gifsicle";
    editor.imageWidth = 7, editor.imageHeight = 5, editor.colorSetting = 256;
    for (int i = 0; i < 3; ++i) editor.addFrame(makeDib(7, 5, 8));
    newDocument([](vc::GifAnimRecord &r) {
        std::strcpy(r.comment, "made here");
        r.loopCount = 301, r.frameCount = 3, r.frames[2].interlaced = 1;
        for (int i = 0; i < 3; ++i) r.frames[i].delay = uint16_t(10 * (i + 1)), r.frames[i].disposal = "\2\3\1"[i];
    });
    const std::string file = path("three.gif");
    ASSERT_EQ(save(file), CONV_OK);
    const std::string info = capture("/usr/bin/gifsicle --info " + file + " 2>&1");
    for (const char *s : {"3 images", "logical screen 7x5", "loop count 301", "comment made here", "interlaced",
                          "disposal background delay 0.10s", "disposal previous delay 0.20s", "asis delay 0.30s"})
        EXPECT_NE(info.find(s), std::string::npos) << s << "\n" << info;
    EXPECT_EQ(info.find("transparent"), std::string::npos) << info;
}

TEST_F(GifAnimation, FirstSaveAsksProgressPerFrameUnlessFlaggedAndFailuresGiveTheirCodes) {
    editor.imageWidth = 3, editor.imageHeight = 3;
    for (int i = 0; i < 3; ++i) editor.addFrame(makeDib(3, 3, 4));
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };  // no document: the settings are asked for
    EXPECT_EQ(save(path("p.gif")), CONV_CANCELLED);
    EXPECT_FALSE(std::ifstream(path("p.gif")).good());
    ui.dialogAnswer = nullptr;  // confirmed, they become the document
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    ASSERT_EQ(save(path("p.gif"), 0, nullptr, parent), CONV_OK);
    EXPECT_EQ(editor.documents.size(), 1u);
    ASSERT_EQ(save(path("q.gif"), vc::kGifSaveNoProgress, nullptr, parent), CONV_OK);
    VcDestroyWindow(parent);
    std::vector<int32_t> shown;
    for (const auto &e : ui.progress)
        if (e.window && e.visible) shown.push_back(e.percent);
    EXPECT_EQ(shown, (std::vector<int32_t>{0, 33, 66}));  // the first save's only

    editor.colorSetting = 0;  // no colours: an empty file is left
    EXPECT_EQ(save(path("empty.gif")), CONV_E_DATA);
    EXPECT_TRUE(readBytes(path("empty.gif")).empty());
    // Without an image the editor is asked for frames of its colour setting's
    // depth and of its image size (4 x 3 here).
    editor.imageWidth = 4;
    for (auto [colors, depth] : {std::pair{2, 1}, {16, 4}, {256, 8}}) {
        editor.colorSetting = colors;
        std::tuple<int, int32_t, int32_t> asked{};
        editor.hook = [&asked](int32_t c, intptr_t p, intptr_t) -> std::optional<intptr_t> {
            const auto *h = reinterpret_cast<ConvBitmapInfoHeader *>(p);
            if (c != HOST_GET_FRAME) return std::nullopt;
            if (!std::get<0>(asked)) asked = {h->biBitCount, h->biWidth, h->biHeight};
            return 1;
        };
        (void)save(path("depth.gif"));
        EXPECT_EQ(asked, std::tuple(depth, 4, 3)) << colors;
    }
    editor.imageWidth = 3;
    editor.colorSetting = 16;
    EXPECT_EQ(save(path("no/such/dir.gif")), CONV_E_CREATE);
    // A write that fails in the first frame only: the editor is still asked
    // for every frame, the others are written, and the save reports it.
    const std::vector<uint8_t> whole = readBytes(path("q.gif")), control = {0x21, 0xF9};
    const long firstControl = std::search(whole.begin(), whole.end(), control.begin(), control.end()) - whole.begin();
    int frames = 0;
    editor.hook = [&frames](int32_t c, intptr_t, intptr_t) -> std::optional<intptr_t> {
        if (c == HOST_GET_FRAME && ++frames == 2) vc::plat::fileFailWritesAfter(-1);
        return std::nullopt;
    };
    vc::plat::fileFailWritesAfter(firstControl + 4);
    EXPECT_EQ(save(path("flaky.gif"), vc::kGifSaveNoProgress), CONV_E_WRITE);
    EXPECT_EQ(frames, 3);
    editor.hook = [](int32_t c, intptr_t p, intptr_t) -> std::optional<intptr_t> {
        if (c != HOST_GET_FRAME) return std::nullopt;
        reinterpret_cast<ConvBitmapInfoHeader *>(p)->biBitCount = 24;  // a header that no longer fits the block
        return 1;
    };
    EXPECT_EQ(save(path("deep.gif")), CONV_E_DATA);
    editor.hook = nullptr;
    void *image = handle(makeDib(32, 32, 4));  // a first save with an image handle keeps no settings
    FakeEditor other;
    EXPECT_EQ(save(path("second.gif"), 0, image), CONV_OK);
    EXPECT_TRUE(other.documents.empty());
    mem::release(image);
}

TEST_F(GifAnimation, NewFileCommandAndFrameChangesKeepTheDocument) {
    char name[32] = "dir.v1\\anim.ani";
    ASSERT_EQ(NewConvFile(nullptr, name, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), CONV_OK);
    EXPECT_STREQ(name, "dir.v1\\anim.GIF");
    EXPECT_EQ(editor.commands(), (std::vector<int32_t>{11, 14, 14, 14}));
    EXPECT_EQ((std::vector<uint32_t>{editor.menuItems.at(0).commandId, editor.menuItems.at(2).commandId}),
              (std::vector<uint32_t>{0, 1001}));
    EXPECT_EQ(editor.menuItems[2].text, "&Animation...");
    void *doc = editor.documents[0];
    auto delays = [&]() {
        const auto r = recordOf<vc::GifAnimRecord>(doc);
        std::vector<int> d;
        for (int i = 0; i < std::max<int>(r.frameCount, 1); ++i) d.push_back(r.frames[i].delay);
        return d;
    };
    // A new document: one frame of delay 1 left to the background, a
    // comment, looping.
    const auto fresh = recordOf<vc::GifAnimRecord>(doc);
    EXPECT_EQ((std::vector<unsigned>{fresh.frames[0].delay, fresh.frames[0].disposal, fresh.commentFlag, fresh.repeat}),
              (std::vector<unsigned>{1, 2, 1, 1}));
    // Command 1001: OK offers the edited copy, Cancel nothing.
    for (int i = 0; i < 4; ++i) editor.addFrame(makeDib(4, 4, 4));
    ui.dialogAnswer = [](int32_t, VcDialog *dialog) -> intptr_t {
        auto *d = vc::plat::dialogAs<vc::GifAnimationDialogModel>(dialog);
        if (!d) return -1;
        for (int i = 1; i < 4; ++i) d->record->frames[i].delay = uint16_t(100 + i);
        d->delay = "100", d->sameForAll = false;
        return d->pressEnter();
    };
    EXPECT_EQ(ProcessCommand(nullptr, 1001, CONV_FMT_ANIGIF, doc, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(delays(), (std::vector<int>{1}));  // the original is untouched
    EXPECT_EQ(ProcessCommand(nullptr, 1000, CONV_FMT_ANIGIF, doc, 0, FakeEditor::callback()), 0);  // not ours
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(ProcessCommand(nullptr, 1001, CONV_FMT_ANIGIF, doc, 0, FakeEditor::callback()), 0);
    ASSERT_EQ(editor.documents.size(), 2u);

    // Inserted at 2 repeats the frame it went before; copied to the end;
    // deleted; then hostile indices and counts stay inside the table.
    doc = editor.documents[1];
    auto change = [&](int kind, int frame) {
        return NotifyFrameChange(CONV_FMT_ANIGIF, doc, kind, uint16_t(frame), FakeEditor::callback());
    };
    editor.addFrame(makeDib(4, 4, 4));
    EXPECT_EQ(change(1, 2), 1);
    EXPECT_EQ(delays(), (std::vector<int>{100, 101, 102, 102, 103}));
    editor.addFrame(makeDib(4, 4, 4));
    EXPECT_EQ(change(2, 1), 1);
    editor.images.pop_back();
    EXPECT_EQ(change(3, 0), 1);
    EXPECT_EQ(delays(), (std::vector<int>{101, 102, 102, 103, 101}));
    EXPECT_EQ(change(4, 0), 0);
    editor.answerQuery(HOST_QUERY_COUNT, 5000);
    EXPECT_EQ(change(1, 65535) + change(2, 65535) + change(3, 65535), 3);
    EXPECT_EQ(delays().size(), 256u);
    // Deleted from a full table: the frames after it move up, the last stays.
    auto *full = static_cast<vc::GifAnimRecord *>(mem::lock(doc));
    for (int i = 0; i < 256; ++i) full->frames[i].delay = uint16_t(i);
    mem::unlock(doc);
    EXPECT_EQ(change(3, 250), 1);
    const std::vector<int> after = delays();
    EXPECT_EQ(std::vector<int>(after.end() - 7, after.end()), (std::vector<int>{249, 251, 252, 253, 254, 255, 255}));
    editor.answerQuery(HOST_QUERY_COUNT, 0);  // no frames left
    EXPECT_EQ(change(3, 0), 1);
    EXPECT_EQ(recordOf<vc::GifAnimRecord>(doc).frameCount, 0);
    doc = mem::alloc(sizeof(vc::GifAnimRecord));  // not a GIF document, below its code or above
    EXPECT_EQ(change(1, 0), 0);
    static_cast<vc::GifAnimRecord *>(mem::lock(doc))->formatCode = vc::kGifRecordCode + 1;
    mem::unlock(doc);
    EXPECT_EQ(change(1, 0), 0);
    mem::release(doc);

    // The new extension goes from the last dot on, only where it fits the
    // editor's 260-byte buffer.
    const std::string n255(255, 'n'), n256(256, 'n');
    const struct { std::string name, want; } names[] = {
        {"anim", "anim"}, {n255 + ".a", n255 + ".GIF"}, {n256 + ".a", n256 + ".a"}};
    for (const auto &c : names) {
        SCOPED_TRACE(c.name.size());
        char buffer[260] = {};
        std::memcpy(buffer, c.name.c_str(), c.name.size() + 1);
        ASSERT_EQ(NewConvFile(nullptr, buffer, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), CONV_OK);
        EXPECT_EQ(std::string(buffer), c.want);
    }
}

}  // namespace
