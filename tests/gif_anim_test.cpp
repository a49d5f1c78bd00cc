// The animated GIF document and writer: exact bytes of a small animation,
// independent readers (gifsicle --info, giftopnm, Pillow) on what we write,
// our own reader on the way back, progress, failures, and the document's
// life: new file, frame changes, the settings command and the first save.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_anim.h"
#include "gif/gif_dialog.h"
#include "gif/gif_record.h"
#include "gif_support.h"
#include "host/editor.h"
#include "host/library.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/memory_shim.h"
#include "support/ui_recorder.h"

using namespace vctest;
using gifsupport::capture;
using gifsupport::haveTool;
using gifsupport::readBytes;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> v) {
    std::vector<uint8_t> out;
    for (int b : v) out.push_back(uint8_t(b));
    return out;
}
void append(std::vector<uint8_t> &a, const std::vector<uint8_t> &b) { a.insert(a.end(), b.begin(), b.end()); }
void append(std::vector<uint8_t> &a, const std::string &s) { a.insert(a.end(), s.begin(), s.end()); }

// A 4-bit frame whose pixels all have colour index v.
std::vector<uint8_t> frame4(int w, int h, uint8_t v) {
    std::vector<uint8_t> dib = makeDib(w, h, 4);
    std::memset(dib.data() + 40 + 64, v * 16 + v, dib.size() - 104);
    return dib;
}

class GifAnimation : public LibraryTest {
protected:
    void TearDown() override {
        for (void *d : editor.documents) mem::release(d);
        editor.documents.clear();
        LibraryTest::TearDown();
    }
    // Starts a document in the editor and returns its record, locked
    // until unlockDocument.
    vc::GifAnimRecord *newDocument() {
        char name[64] = "anim.ani";
        EXPECT_EQ(NewConvFile(nullptr, name, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), 1);
        EXPECT_EQ(editor.documents.size(), 1u);
        return static_cast<vc::GifAnimRecord *>(mem::lock(editor.documents.back()));
    }
    void unlockDocument() { mem::unlock(editor.documents.back()); }
    int32_t save(const std::string &file, void *parent = nullptr, uint32_t option = 0, void *image = nullptr) {
        return SaveConvImage(parent, file.c_str(), image, CONV_FMT_ANIGIF, option, FakeEditor::callback());
    }
    FakeEditor editor;
    UiRecorder ui;
};

TEST_F(GifAnimation, SmallAnimationIsWrittenByteForByte) {
    editor.imageWidth = 2, editor.imageHeight = 2;
    editor.colorSetting = 16;
    editor.addFrame(frame4(2, 2, 0));
    editor.addFrame(frame4(2, 2, 1));
    editor.screenColor = 0x111111;  // grey-ramp entry 1
    vc::GifAnimRecord *r = newDocument();
    std::strcpy(r->comment, "A\r\nB");
    r->frameCount = 2;
    r->frames[0].delay = 5;
    r->frames[0].disposal = 2;
    r->frames[1].left = 1;
    r->frames[1].delay = 300;
    r->frames[1].disposal = 1;
    r->frames[1].userInput = 1;
    unlockDocument();
    editor.calls.clear();
    std::string file = path("small.gif");
    ASSERT_EQ(save(file), CONV_OK);

    std::vector<uint8_t> want;
    append(want, std::string("GIF89a"));
    append(want, bytes({3, 0, 2, 0, 0xB3, 0, 0}));  // one pixel wider: frame 1 sits at x 1
    for (int i = 0; i < 16; ++i) append(want, bytes({i * 17, i * 17, i * 17}));
    append(want, bytes({0x21, 0xFF, 11}));
    append(want, std::string("NETSCAPE2.0"));
    append(want, bytes({3, 1, 0, 0, 0}));
    append(want, bytes({0x21, 0xFE, 3, 'A', '\r', '\n', 1, 'B', 0}));
    append(want, bytes({0x21, 0xF9, 4, 0x09, 5, 0, 1, 0}));
    append(want, bytes({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 3, 4}));
    append(want, bytes({4, 0x10, 0x48, 0x10, 0x01, 0}));  // clear 0 00 end, 5-bit codes
    append(want, bytes({0x21, 0xF9, 4, 0x07, 0x2C, 0x01, 1, 0}));
    append(want, bytes({0x2C, 1, 0, 0, 0, 2, 0, 2, 0, 3, 4}));
    append(want, bytes({4, 0x30, 0xC8, 0x10, 0x01, 0}));
    append(want, bytes({0x3B}));
    EXPECT_EQ(readBytes(file), want);

    // The document learnt the sizes; the editor was asked in this order.
    std::vector<std::pair<int32_t, intptr_t>> asked;
    for (const auto &c : editor.calls) asked.push_back({c.command, c.value});
    const std::vector<std::pair<int32_t, intptr_t>> wantAsked = {{10, 0}, {0, 3}, {0, 4}, {3, 0}, {0, 4},
                                                                 {0, 0},  {0, 5}, {3, 1}};
    EXPECT_EQ(asked, wantAsked);
    r = static_cast<vc::GifAnimRecord *>(mem::lock(editor.documents.back()));
    EXPECT_EQ(r->screenWidth, 3);
    EXPECT_EQ(r->outputWidth, 2);
    unlockDocument();
}

TEST_F(GifAnimation, CommentsAreCutAtLineFeedsAnd252BytePieces) {
    editor.imageWidth = 4, editor.imageHeight = 4;
    editor.addFrame(frame4(4, 4, 3));
    vc::GifAnimRecord *r = newDocument();
    std::string text = std::string(600, 'x') + "\n\nshort\n" + std::string(300, 'y');
    text.resize(1020);
    std::memcpy(r->comment, text.data(), text.size());
    r->comment[1020] = 0;
    r->repeat = 0;
    unlockDocument();
    std::string file = path("comment.gif");
    ASSERT_EQ(save(file), CONV_OK);
    std::vector<uint8_t> got = readBytes(file);
    // After the header (13 + 48 bytes) comes the comment, no looping block.
    size_t at = 13 + 48;
    ASSERT_EQ(got[at], 0x21);
    ASSERT_EQ(got[at + 1], 0xFE);
    std::vector<size_t> lengths;
    at += 2;
    while (got[at]) {
        lengths.push_back(got[at]);
        at += 1 + got[at];
    }
    // 600 x's: 252, 252, then 96 with the line feed; a piece that starts
    // with a line feed looks for the next one from its second character
    // ("\nshort\n"); then the 300 y's in 252-byte pieces.
    EXPECT_EQ(lengths, (std::vector<size_t>{252, 252, 97, 7, 252, 48}));
    EXPECT_EQ(got[at + 1], 0x21);
    EXPECT_EQ(got[at + 2], 0xF9);
}

TEST_F(GifAnimation, IndependentReadersAgreeWithWhatWeWrite) {
    editor.imageWidth = 7, editor.imageHeight = 5;
    editor.colorSetting = 256;
    for (uint8_t v : {10, 20, 30}) {
        std::vector<uint8_t> dib = makeDib(7, 5, 8);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) dib[40 + 1024 + size_t(y) * 8 + size_t(x)] = uint8_t(v + x + y);
        editor.addFrame(dib);
    }
    vc::GifAnimRecord *r = newDocument();
    std::strcpy(r->comment, "made here");
    r->loopCount = 5;
    r->frameCount = 3;
    for (int i = 0; i < 3; ++i) r->frames[i].delay = uint16_t(10 * (i + 1));
    r->frames[0].disposal = 2;
    r->frames[1].disposal = 3;
    r->frames[2].disposal = 1;
    r->frames[2].interlaced = 1;
    unlockDocument();
    std::string file = path("three.gif");
    ASSERT_EQ(save(file), CONV_OK);

    if (haveTool("/usr/bin/gifsicle")) {
        std::string info = capture("/usr/bin/gifsicle --info " + file + " 2>&1");
        EXPECT_NE(info.find("3 images"), std::string::npos) << info;
        EXPECT_NE(info.find("logical screen 7x5"), std::string::npos) << info;
        EXPECT_NE(info.find("loop count 5"), std::string::npos) << info;
        EXPECT_NE(info.find("comment made here"), std::string::npos) << info;
        EXPECT_NE(info.find("disposal background delay 0.10s"), std::string::npos) << info;
        EXPECT_NE(info.find("disposal previous delay 0.20s"), std::string::npos) << info;
        EXPECT_NE(info.find("interlaced"), std::string::npos) << info;
        EXPECT_NE(info.find("disposal asis delay 0.30s"), std::string::npos) << info;
        EXPECT_EQ(info.find("transparent"), std::string::npos) << info;
    }
    if (haveTool("/usr/bin/giftopnm") && haveTool("/usr/bin/ppmtoppm")) {
        for (int i = 0; i < 3; ++i) {
            auto images = gifsupport::parsePpms(capture("/usr/bin/giftopnm -image=" + std::to_string(i + 1) + " " +
                                                        file + " 2>/dev/null | /usr/bin/ppmtoppm"));
            ASSERT_EQ(images.size(), 1u) << "frame " << i;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 7; ++x) {
                    uint8_t v = uint8_t(10 * (i + 1) + x + (4 - y));  // DIB rows are bottom-up
                    ASSERT_EQ(images[0].pixels[size_t(y) * 7 + size_t(x)], (gifsupport::Rgb{v, v, v}))
                        << "frame " << i << " at " << x << "," << y;
                }
        }
    }
    if (haveTool("/usr/bin/python3")) {
        std::string py = "/usr/bin/python3 -c \"from PIL import Image\nim=Image.open('" + file +
                         "')\nd=[]\nfor i in range(im.n_frames):\n im.seek(i); d.append(im.info['duration'])\n"
                         "print(im.n_frames, im.info.get('loop'), d)\"";
        EXPECT_EQ(capture(py + " 2>&1"), "3 5 [100, 200, 300]\n");
    }

    // Our own reader gets the same frames and settings back.
    FakeEditor back;
    uint8_t format = 0;
    ASSERT_EQ(LoadConvImage(nullptr, file.c_str(), nullptr, &format, 0, FakeEditor::callback()), CONV_OK);
    ASSERT_EQ(back.images.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const auto &a = back.images[size_t(i)].bytes, &b = editor.images[size_t(i)].bytes;
        EXPECT_EQ(std::vector<uint8_t>(a.end() - 40, a.end()), std::vector<uint8_t>(b.end() - 40, b.end()));
    }
    auto *loaded = static_cast<const vc::GifAnimRecord *>(mem::lock(back.documents[0]));
    EXPECT_EQ(loaded->loopCount, 5u);
    EXPECT_EQ(loaded->frames[1].disposal, 3);
    EXPECT_EQ(loaded->frames[2].delay, 30);
    EXPECT_EQ(loaded->frames[2].interlaced, 1u);
    EXPECT_STREQ(loaded->comment, "made here");
    mem::unlock(back.documents[0]);
}

TEST_F(GifAnimation, ProgressIsReportedPerFrameUnlessAskedNotTo) {
    editor.imageWidth = 3, editor.imageHeight = 3;
    for (int i = 0; i < 3; ++i) editor.addFrame(frame4(3, 3, uint8_t(i)));
    newDocument();
    unlockDocument();
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    ASSERT_EQ(save(path("p.gif"), parent), CONV_OK);
    std::vector<int32_t> shown;
    for (const auto &e : ui.progress)
        if (e.window && e.visible) shown.push_back(e.percent);
    EXPECT_EQ(shown, (std::vector<int32_t>{0, 33, 66}));
    EXPECT_GE(ui.pumps.size(), 3u);
    ui.progress.clear();
    ASSERT_EQ(save(path("q.gif"), parent, vc::kGifSaveNoProgress), CONV_OK);
    for (const auto &e : ui.progress) EXPECT_FALSE(e.visible);
    VcDestroyWindow(parent);
}

TEST_F(GifAnimation, FailuresGiveTheirCodes) {
    editor.imageWidth = 4, editor.imageHeight = 4;
    editor.addFrame(frame4(4, 4, 1));
    editor.addFrame(frame4(4, 4, 2));
    newDocument();
    unlockDocument();
    // No colour setting: an empty file is left.
    editor.colorSetting = 0;
    std::string empty = path("empty.gif");
    EXPECT_EQ(save(empty), CONV_E_DATA);
    EXPECT_TRUE(readBytes(empty).empty());
    editor.colorSetting = 16;
    EXPECT_EQ(save(path("no/such/dir.gif")), CONV_E_CREATE);
    // A 24-bit image from the caller is refused by the header writer.
    void *deep = mem::alloc(40 + 16 * 4);
    std::vector<uint8_t> dib = makeDib(4, 4, 24);
    std::memcpy(mem::lock(deep), dib.data(), dib.size());
    mem::unlock(deep);
    editor.hook = [](int32_t c, intptr_t, intptr_t) -> std::optional<intptr_t> {
        return c == HOST_GET_FRAME ? std::optional<intptr_t>(1) : std::nullopt;
    };
    EXPECT_EQ(save(path("deep.gif"), nullptr, 0, deep), CONV_E_DATA);
    editor.hook = nullptr;
    mem::release(deep);
    // The second frame's encoder tables cannot be had: what was written
    // stays, without a trailer.
    std::string partial = path("partial.gif");
    vc::plat::memFailAt(4);  // frame DIB, frame 0's index buffer and tables, then frame 1's buffer
    EXPECT_EQ(save(partial), CONV_E_MEMORY);
    vc::plat::memFailAt(0);
    std::vector<uint8_t> got = readBytes(partial);
    ASSERT_FALSE(got.empty());
    EXPECT_NE(got.back(), 0x3B);
    // A trailer that cannot be written.
    std::string full = path("full.gif");
    ASSERT_EQ(save(full), CONV_OK);
    long size = long(readBytes(full).size());
    vc::plat::fileFailWritesAfter(size - 1);
    EXPECT_EQ(save(path("short.gif")), CONV_E_WRITE);
}

// ---- The document --------------------------------------------------------------

TEST_F(GifAnimation, NewFileOffersARecordRenamesAndAddsTheMenu) {
    char name[64] = "dir.v1\\anim.ani";
    ASSERT_EQ(NewConvFile(nullptr, name, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), 1);
    EXPECT_STREQ(name, "dir.v1\\anim.GIF");
    EXPECT_EQ(editor.commands(), (std::vector<int32_t>{11, 14, 14, 14}));
    ASSERT_EQ(editor.menuItems.size(), 3u);
    EXPECT_EQ(editor.menuItems[2].commandId, 1001u);
    EXPECT_EQ(editor.menuItems[2].text, "&Animation...");
    EXPECT_EQ(editor.menuItems[0].flags, 1024u);
    EXPECT_EQ(editor.menuItems[0].position, 5u);
    auto *r = static_cast<const vc::GifAnimRecord *>(mem::lock(editor.documents[0]));
    EXPECT_EQ(r->formatCode, 167);
    EXPECT_STREQ(r->comment, "Created with Velmora");
    EXPECT_EQ(r->frames[0].delay, 1);
    EXPECT_EQ(r->frames[0].disposal, 2);
    mem::unlock(editor.documents[0]);

    char plain[16] = "nodot";
    FakeEditor refusing;
    refusing.refuse(HOST_NEW_DOCUMENT);
    EXPECT_EQ(NewConvFile(nullptr, plain, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), 0);
    EXPECT_STREQ(plain, "nodot");
    EXPECT_EQ(refusing.commands(), std::vector<int32_t>{11});
}

TEST_F(GifAnimation, FrameChangesKeepTheTableInStep) {
    for (int i = 0; i < 4; ++i) editor.addFrame(frame4(4, 4, 0));
    vc::GifAnimRecord *r = newDocument();
    r->frameCount = 4;
    for (int i = 0; i < 4; ++i) r->frames[i].delay = uint16_t(100 + i);
    unlockDocument();
    void *doc = editor.documents[0];
    auto delays = [&]() {
        auto *rec = static_cast<const vc::GifAnimRecord *>(mem::lock(doc));
        std::vector<int> d;
        for (int i = 0; i < rec->frameCount; ++i) d.push_back(rec->frames[i].delay);
        mem::unlock(doc);
        return d;
    };
    // Inserted at 2 (the editor now holds 5): the new frame repeats the
    // settings of the frame it went before.
    editor.addFrame(frame4(4, 4, 0));
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 1, 2, FakeEditor::callback()), 1);
    EXPECT_EQ(delays(), (std::vector<int>{100, 101, 102, 102, 103}));
    editor.addFrame(frame4(4, 4, 0));
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 2, 1, FakeEditor::callback()), 1);
    EXPECT_EQ(delays(), (std::vector<int>{100, 101, 102, 102, 103, 101}));
    editor.images.pop_back();
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 3, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(delays(), (std::vector<int>{101, 102, 102, 103, 101}));
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 4, 0, FakeEditor::callback()), 0);
    // Hostile indices and counts stay inside the table.
    editor.answerQuery(HOST_QUERY_COUNT, 5000);
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 1, 65535, FakeEditor::callback()), 1);
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 2, 65535, FakeEditor::callback()), 1);
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, doc, 3, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(delays().size(), 256u);
    // A block that is not a GIF document is left alone.
    void *other = mem::alloc(sizeof(vc::GifAnimRecord));
    EXPECT_EQ(NotifyFrameChange(CONV_FMT_ANIGIF, other, 1, 0, FakeEditor::callback()), 0);
    mem::release(other);
}

TEST_F(GifAnimation, SettingsCommandEditsACopyAndFirstSaveAsksForSettings) {
    editor.addFrame(frame4(32, 32, 0));
    newDocument();
    unlockDocument();
    void *doc = editor.documents[0];
    // OK in the dialog: the copy, with the change, replaces the document.
    ui.dialogAnswer = [](int32_t id, void *m) -> intptr_t {
        auto *d = dynamic_cast<vc::GifAnimationDialogModel *>(static_cast<vc::plat::DialogModel *>(m));
        if (id != IDD_GIF_ANIMATION || !d) return -1;
        d->delay = "42";
        return d->pressEnter();
    };
    EXPECT_EQ(ProcessCommand(nullptr, 1001, CONV_FMT_ANIGIF, doc, 0, FakeEditor::callback()), 1);
    ASSERT_EQ(editor.documents.size(), 2u);
    auto *copy = static_cast<const vc::GifAnimRecord *>(mem::lock(editor.documents[1]));
    EXPECT_EQ(copy->frames[0].delay, 42);
    EXPECT_EQ(copy->backgroundBrush, 0u);
    mem::unlock(editor.documents[1]);
    auto *original = static_cast<const vc::GifAnimRecord *>(mem::lock(doc));
    EXPECT_EQ(original->frames[0].delay, 1);
    mem::unlock(doc);
    // Cancel changes nothing; other commands are not the document's.
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(ProcessCommand(nullptr, 1001, CONV_FMT_ANIGIF, doc, 0, FakeEditor::callback()), 0);
    EXPECT_EQ(ProcessCommand(nullptr, 1002, CONV_FMT_ANIGIF, doc, 0, FakeEditor::callback()), 0);
    EXPECT_EQ(editor.documents.size(), 2u);

    // A first save without a document: cancelled, nothing is written.
    FakeEditor fresh;
    fresh.addFrame(frame4(32, 32, 0));
    std::string file = path("first.gif");
    EXPECT_EQ(save(file), CONV_CANCELLED);
    EXPECT_FALSE(std::ifstream(file).good());
    // Confirmed: written, and the settings become the editor's document.
    ui.dialogAnswer = nullptr;
    EXPECT_EQ(save(file), CONV_OK);
    EXPECT_EQ(fresh.documents.size(), 1u);
    EXPECT_EQ(readBytes(file).back(), 0x3B);
    // With an image handle the settings serve this save only.
    void *image = mem::alloc(makeDib(32, 32, 4).size());
    std::vector<uint8_t> dib = makeDib(32, 32, 4);
    std::memcpy(mem::lock(image), dib.data(), dib.size());
    mem::unlock(image);
    FakeEditor withImage;
    withImage.addFrame(frame4(32, 32, 0));
    EXPECT_EQ(save(path("second.gif"), nullptr, 0, image), CONV_OK);
    EXPECT_TRUE(withImage.documents.empty());
    mem::release(image);
    for (void *d : fresh.documents) mem::release(d);
    fresh.documents.clear();
}

TEST(GifScreenSize, PositionsWidenTheScreen) {
    auto r = std::make_unique<vc::GifAnimRecord>();
    *r = vc::GifAnimRecord{};
    r->frameCount = 3;
    vc::ComputeGifScreenSize(*r, 20, 10);
    EXPECT_EQ(r->screenWidth, 20);
    EXPECT_EQ(r->screenHeight, 10);
    r->frames[1].left = 12;
    r->frames[2].top = -3;
    r->frames[2].left = -2;
    vc::ComputeGifScreenSize(*r, 20, 10);
    EXPECT_EQ(r->screenWidth, 20 + 2 + 12);
    EXPECT_EQ(r->screenHeight, 10 + 3);
    r->frames[5].left = 100;  // beyond the frame count: not looked at
    vc::ComputeGifScreenSize(*r, 20, 10);
    EXPECT_EQ(r->screenWidth, 34);
}

}  // namespace

// ---- Through the reference host: GIF to ANI and back --------------------------------

TEST_F(GifAnimation, HostConvertsAnAnimationToAniAndBackUnchanged) {
    // Three 32 x 32 frames of four colours, as a cursor animation holds them.
    gifsupport::GifBytes g;
    g.header(32, 32, 1).looping(0);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> px;
        for (int j = 0; j < 32 * 32; ++j) px.push_back(uint8_t(((j % 32) / 8 + j / 256 + i) % 4));
        g.control(2 << 2, 10, 0).image(0, 0, 32, 32, px, 2);
    }
    std::string gif = writeFile("anim.gif", g.trailer().b);
    std::string ani = path("anim.ani"), back = path("back.gif");

    auto loadInto = [](host::Editor &ed, const std::string &file) {
        ed.makeCurrent();
        uint8_t format = 0;
        return LoadConvImage(nullptr, file.c_str(), nullptr, &format, 0, host::Editor::callback());
    };
    auto saveFrom = [](host::Editor &ed, const std::string &file, int code) {
        ed.makeCurrent();
        int bits = GetDesiredBitPix(code, ed.frames[size_t(ed.current)].image.bitCount);
        void *block = ed.currentFrameBlock(uint16_t(bits));
        int32_t r = SaveConvImage(nullptr, file.c_str(), block, code, 0, host::Editor::callback());
        host::Library::memFree(block);
        return r;
    };
    host::Editor first;
    ASSERT_EQ(loadInto(first, gif), CONV_OK);
    ASSERT_EQ(first.frames.size(), 3u);
    ASSERT_EQ(saveFrom(first, ani, CONV_FMT_ANI), CONV_OK);
    host::Editor second;
    ASSERT_EQ(loadInto(second, ani), CONV_OK);
    ASSERT_EQ(second.frames.size(), 3u);
    ASSERT_EQ(saveFrom(second, back, CONV_FMT_ANIGIF), CONV_OK);
    host::Editor third;
    ASSERT_EQ(loadInto(third, back), CONV_OK);
    ASSERT_EQ(third.frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        for (int32_t y = 0; y < 32; ++y)
            for (int32_t x = 0; x < 32; ++x)
                ASSERT_EQ(third.frames[i].image.pixel(x, y), first.frames[i].image.pixel(x, y))
                    << "frame " << i << " at " << x << "," << y;
}
