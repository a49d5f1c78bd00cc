// The animated GIF document and writer: exact bytes and callbacks of a small
// animation, independent readers on what we write, progress, failures and
// the document's life.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "gif/gif_anim.h"
#include "gif/gif_dialog.h"
#include "gif_support.h"
#include "platform/headless_dialog.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/memory_shim.h"
#include "support/ui_recorder.h"

using namespace vctest;
using gifsupport::capture;
using gifsupport::readBytes;

namespace {

class GifAnimation : public LibraryTest {
protected:
    void TearDown() override {
        for (void *d : editor.documents) mem::release(d);
        editor.documents.clear();
        LibraryTest::TearDown();
    }
    // Starts a document in the editor and hands its record to `edit`.
    template <class F> void newDocument(F edit) {
        char name[16] = "anim.ani";
        ASSERT_EQ(NewConvFile(nullptr, name, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), 1);
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
    want.insert(want.end(), rest.begin(), rest.end());
    EXPECT_EQ(readBytes(path("small.gif")), want);
    std::vector<std::pair<int32_t, intptr_t>> asked;
    for (const auto &c : editor.calls) asked.push_back({c.command, c.value});
    EXPECT_EQ(asked, (std::vector<std::pair<int32_t, intptr_t>>{{10, 0}, {0, 3}, {0, 4}, {3, 0}, {0, 4}, {0, 0},
                                                                 {0, 5}, {3, 1}}));

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

TEST_F(GifAnimation, IndependentReadersAgreeWithWhatWeWrite) {
    editor.imageWidth = 7, editor.imageHeight = 5, editor.colorSetting = 256;
    using gifsupport::GifBytes;
    for (int v : {10, 20, 30}) {
        std::vector<uint8_t> dib = makeDib(7, 5, 8);
        for (unsigned k = 0; k < 256; ++k)  // GifBytes::color(k), whose red, green and blue differ
            dib[40 + 4 * k] = uint8_t(k * 7), dib[41 + 4 * k] = uint8_t(255 - k), dib[42 + 4 * k] = uint8_t(k);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) dib[40 + 1024 + size_t(y) * 8 + size_t(x)] = uint8_t(v + x + y);
        editor.addFrame(dib);
    }
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
    const auto images = gifsupport::parsePpms(capture("/usr/bin/giftopnm -image=all " + file + " 2>/dev/null"));
    ASSERT_EQ(images.size(), 3u);
    for (int i = 0; i < 3; ++i)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)  // DIB rows are bottom-up
                ASSERT_EQ(images[size_t(i)].pixels[size_t(y * 7 + x)], GifBytes::color(10 * (i + 1) + x + 4 - y));
    EXPECT_EQ(capture("/usr/bin/python3 -c \"from PIL import Image\nim=Image.open('" + file +
                      "')\nd=[]\nfor i in range(im.n_frames):\n im.seek(i); d.append(im.info['duration'])\n"
                      "print(im.n_frames, im.info.get('loop'), d)\" 2>&1"),
              "3 301 [100, 200, 300]\n");
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
    // Without an image the editor is asked for frames of its colour setting's depth.
    for (auto [colors, depth] : {std::pair{2, 1}, {16, 4}, {256, 8}}) {
        editor.colorSetting = colors;
        int asked = 0;
        editor.hook = [&asked](int32_t c, intptr_t p, intptr_t) -> std::optional<intptr_t> {
            if (c == HOST_GET_FRAME && !asked) asked = reinterpret_cast<ConvBitmapInfoHeader *>(p)->biBitCount;
            return std::nullopt;
        };
        (void)save(path("depth.gif"));
        EXPECT_EQ(asked, depth) << colors;
    }
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
    vc::plat::memFailAt(3);  // frame 1's buffer, after the DIB and frame 0's buffer
    EXPECT_EQ(save(path("partial.gif")), CONV_E_MEMORY);
    const std::vector<uint8_t> partial = readBytes(path("partial.gif"));  // what was written stays
    EXPECT_TRUE(partial.size() > 100 && partial.back() != 0x3B);
    vc::plat::memFailAt(0);
    std::vector<uint8_t> dib = makeDib(32, 32, 4);  // a first save with an image handle keeps no settings
    void *image = mem::alloc(dib.size());
    std::memcpy(mem::lock(image), dib.data(), dib.size());
    mem::unlock(image);
    FakeEditor other;
    EXPECT_EQ(save(path("second.gif"), 0, image), CONV_OK);
    EXPECT_TRUE(other.documents.empty());
    mem::release(image);
}

TEST_F(GifAnimation, NewFileCommandAndFrameChangesKeepTheDocument) {
    char name[32] = "dir.v1\\anim.ani";
    ASSERT_EQ(NewConvFile(nullptr, name, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), 1);
    EXPECT_STREQ(name, "dir.v1\\anim.GIF");
    EXPECT_EQ(editor.commands(), (std::vector<int32_t>{11, 14, 14, 14}));
    EXPECT_EQ(editor.menuItems.at(2).commandId, 1001u);
    EXPECT_EQ(editor.menuItems[2].text, "&Animation...");
    void *doc = editor.documents[0];
    auto delays = [&]() {
        auto *r = static_cast<const vc::GifAnimRecord *>(mem::lock(doc));
        std::vector<int> d;
        for (int i = 0; i < std::max<int>(r->frameCount, 1); ++i) d.push_back(r->frames[i].delay);
        mem::unlock(doc);
        return d;
    };
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
    doc = mem::alloc(sizeof(vc::GifAnimRecord));  // not a GIF document
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
        ASSERT_EQ(NewConvFile(nullptr, buffer, CONV_FMT_ANIGIF, 0, FakeEditor::callback()), 1);
        EXPECT_EQ(std::string(buffer), c.want);
    }
}

}  // namespace
