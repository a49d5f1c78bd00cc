// Animated GIF import: frames of one size as a sequence without a question,
// frames of different sizes through the import options (sequence with
// shifts and fills, one particular frame, the assembled image), the exact
// callback sequences, and animations made by gifsicle read back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gif/gif_import.h"
#include "gif/gif_record.h"
#include "gif_support.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/memory_shim.h"
#include "support/ui_recorder.h"

using namespace vctest;
using gifsupport::GifBytes;

namespace {

// Colour index at (x, y), top row first, of a packed DIB of 1, 4 or 8 bits.
unsigned pixel8(const std::vector<uint8_t> &dib, int x, int y) {
    ConvBitmapInfoHeader h;
    std::memcpy(&h, dib.data(), sizeof h);
    uint32_t colors = h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount;
    size_t stride = (size_t(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    const uint8_t *row = &dib[40 + 4 * colors + size_t(h.biHeight - 1 - y) * stride];
    switch (h.biBitCount) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
    default: return row[x];
    }
}

// Every pixel of a DIB as text rows, for readable comparisons.
std::vector<std::string> picture(const std::vector<uint8_t> &dib) {
    ConvBitmapInfoHeader h;
    std::memcpy(&h, dib.data(), sizeof h);
    std::vector<std::string> rows;
    for (int y = 0; y < h.biHeight; ++y) {
        std::string row;
        for (int x = 0; x < h.biWidth; ++x) row += char('0' + pixel8(dib, x, y));
        rows.push_back(row);
    }
    return rows;
}

// The colour at (x, y) of a packed DIB, through its table.
gifsupport::Rgb color8(const std::vector<uint8_t> &dib, int x, int y) {
    const uint8_t *q = &dib[40 + 4 * pixel8(dib, x, y)];
    return gifsupport::Rgb{q[2], q[1], q[0]};
}

std::vector<uint8_t> filled(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

struct CallSummary {
    int32_t command;
    intptr_t value;
    bool operator==(const CallSummary &o) const { return command == o.command && value == o.value; }
};
std::ostream &operator<<(std::ostream &os, const CallSummary &c) { return os << "(" << c.command << ", " << c.value << ")"; }

std::vector<CallSummary> summary(const FakeEditor &ed) {
    std::vector<CallSummary> out;
    for (const auto &c : ed.calls) out.push_back({c.command, c.value});
    return out;
}

class GifImport : public LibraryTest {
protected:
    // Screen 10 x 8, 256 colours, background 4; frame 0 covers the screen
    // with colour 1, frame 1 (4 x 3 at 2,1) alternates 2 with its
    // transparent 5, frame 2 (4 x 3 at 8,6) is colour 3 and sticks out.
    std::string mixedSizes() {
        std::vector<uint8_t> f1;
        for (int i = 0; i < 12; ++i) f1.push_back(i % 2 ? 5 : 2);
        GifBytes g;
        g.header(10, 8, 7, 4).looping(0);
        g.image(0, 0, 10, 8, filled(80, 1), 8);
        g.control((2 << 2) | 1, 7, 5).image(2, 1, 4, 3, f1, 8);
        g.image(8, 6, 4, 3, filled(12, 3), 8).trailer();
        return writeFile("mixed.gif", g.b);
    }
    const vc::GifAnimRecord &document() {
        EXPECT_EQ(editor.documents.size(), 1u);
        if (record_) mem::unlock(editor.documents.back());
        record_ = static_cast<const vc::GifAnimRecord *>(mem::lock(editor.documents.back()));
        return *record_;
    }
    void TearDown() override {
        if (record_) mem::unlock(editor.documents.back());
        // The editor's documents are its own; it lets them go before the
        // leak check.
        for (void *d : editor.documents) mem::release(d);
        editor.documents.clear();
        LibraryTest::TearDown();
    }
    int32_t load(const std::string &file, ConvImageRecord *out = nullptr, uint8_t *format = nullptr) {
        uint8_t code = 0;
        int32_t r = LoadConvImage(nullptr, file.c_str(), out, format ? format : &code, 0, FakeEditor::callback());
        return r;
    }
    // Makes the import options dialog choose: a radio, and a list entry.
    void choose(int radio, int frame = -1) {
        ui.dialogAnswer = [radio, frame](int32_t id, void *m) -> intptr_t {
            auto *d = dynamic_cast<vc::GifImportOptionsModel *>(static_cast<vc::plat::DialogModel *>(m));
            if (id != IDD_GIF_IMPORT || !d) return -1;
            if (frame >= 0) d->selectFrame(frame);
            d->check(radio);
            return d->pressOk() ? d->result : -1;
        };
    }
    FakeEditor editor;
    UiRecorder ui;
    const vc::GifAnimRecord *record_ = nullptr;
};

TEST_F(GifImport, FramesOfOneSizeBecomeASequenceWithTransparencyCounted) {
    GifBytes g;
    g.header(4, 2, 7, 9).comment("two frames");
    g.control(1 | (1 << 2), 15, 6).image(0, 0, 4, 2, {6, 1, 2, 3, 4, 5, 6, 7}, 8);
    g.control(1, 30, 7).image(0, 0, 4, 2, {7, 7, 1, 1, 2, 2, 3, 3}, 8, true).trailer();
    std::string file = writeFile("same.gif", g.b);
    uint8_t format = 0;
    ASSERT_EQ(load(file, nullptr, &format), CONV_OK);
    EXPECT_EQ(format, CONV_FMT_ANIGIF);
    EXPECT_TRUE(ui.dialogs.empty());
    const std::vector<CallSummary> want = {{2, 0x011}, {17, 0}, {2, 0x111}, {17, 1}, {11, 0}, {14, 1}, {14, 1}, {14, 2}};
    EXPECT_EQ(summary(editor), want);
    ASSERT_EQ(editor.images.size(), 2u);
    EXPECT_EQ(picture(editor.images[0].bytes), (std::vector<std::string>{"6123", "4567"}));
    EXPECT_EQ(picture(editor.images[1].bytes), (std::vector<std::string>{"7711", "2233"}));
    // The transparent colours handed over are the table entries 6 and 7.
    ASSERT_EQ(editor.transparents.size(), 2u);
    EXPECT_EQ(editor.transparents[0].entry[2], GifBytes::color(6).r);
    EXPECT_EQ(editor.transparents[1].entry[1], GifBytes::color(7).g);
    const vc::GifAnimRecord &r = document();
    EXPECT_EQ(r.frameCount, 2);
    EXPECT_EQ(r.outputWidth, 4);
    EXPECT_EQ(r.outputHeight, 2);
    EXPECT_EQ(r.frames[0].delay, 15);
    EXPECT_EQ(r.frames[0].disposal, 1);
    EXPECT_EQ(r.frames[1].delay, 30);
    EXPECT_EQ(r.frames[1].interlaced, 1u);
    EXPECT_EQ(r.frames[1].transparentIndex, 7);
    EXPECT_STREQ(r.comment, "two frames");
    EXPECT_EQ(r.repeat, 0u);
    EXPECT_EQ(editor.menuItems.size(), 3u);
}

TEST_F(GifImport, SequenceOfMixedSizesIsShiftedAndFilled) {
    ASSERT_EQ(load(mixedSizes()), CONV_OK);
    EXPECT_EQ(ui.dialogs, std::vector<int32_t>{IDD_GIF_IMPORT});
    const std::vector<CallSummary> want = {{0, 0},   {2, 0x011}, {2, 0x111}, {17, 0},
                                           {2, 0x211}, {11, 0},  {14, 1},    {14, 1}, {14, 2}};
    EXPECT_EQ(summary(editor), want);
    ASSERT_EQ(editor.images.size(), 3u);
    EXPECT_EQ(picture(editor.images[0].bytes), std::vector<std::string>(8, "1111111111"));
    // Smaller than the picture: on its transparent colour, in place.
    EXPECT_EQ(picture(editor.images[1].bytes),
              (std::vector<std::string>{"5555555555", "5525255555", "5525255555", "5525255555", "5555555555",
                                        "5555555555", "5555555555", "5555555555"}));
    // Sticking out by 2 and 1: pulled back, on the background colour.
    EXPECT_EQ(picture(editor.images[2].bytes),
              (std::vector<std::string>{"4444444444", "4444444444", "4444444444", "4444444444", "4444444444",
                                        "4444443333", "4444443333", "4444443333"}));
    EXPECT_EQ(editor.transparents[0].entry[2], GifBytes::color(5).r);
    const vc::GifAnimRecord &r = document();
    EXPECT_EQ(r.frameCount, 3);
    EXPECT_EQ(r.outputWidth, 10);
    EXPECT_EQ(r.outputHeight, 8);
    EXPECT_EQ(r.frames[1].left, 0);  // inside: its stored position becomes 0, 0
    EXPECT_EQ(r.frames[1].top, 0);
    EXPECT_EQ(r.frames[2].left, 2);  // the shift is what the document keeps
    EXPECT_EQ(r.frames[2].top, 1);
    EXPECT_EQ(r.frames[1].delay, 7);
    EXPECT_EQ(r.frames[1].disposal, 2);
}

TEST_F(GifImport, SmallerSizeChosenDropsFramesThatDoNotFit) {
    // At 8 x 8 the 10-wide first frame lands at -2, 0 and is drawn over
    // what was there (nothing: index 0); the last frame is pulled back by
    // 4 and 1.
    ui.dialogAnswer = [](int32_t, void *m) -> intptr_t {
        auto *d = dynamic_cast<vc::GifImportOptionsModel *>(static_cast<vc::plat::DialogModel *>(m));
        d->widthText = "8";
        d->heightText = "8";
        d->pressOk();
        return d->result;
    };
    ASSERT_EQ(load(mixedSizes()), CONV_OK);
    ASSERT_EQ(editor.images.size(), 3u);
    EXPECT_EQ(picture(editor.images[0].bytes), std::vector<std::string>(8, "11111111"));
    EXPECT_EQ(picture(editor.images[2].bytes)[7], "44443333");
    EXPECT_EQ(document().frames[0].left, 2);
    EXPECT_EQ(document().frames[2].left, 4);
    EXPECT_EQ(document().frames[2].top, 1);
}

TEST_F(GifImport, ParticularFrameAndAssembledImage) {
    std::string file = mixedSizes();
    choose(IDC_GIFIMP_FRAME, 2);
    ASSERT_EQ(load(file), CONV_OK);
    const std::vector<CallSummary> wantFrame = {{0, 0}, {2, 0x11}, {0, 0}, {21, 0x8100}, {11, 0},
                                                {14, 1}, {14, 1}, {14, 2}};
    EXPECT_EQ(summary(editor), wantFrame);
    ASSERT_EQ(editor.notes.size(), 1u);
    EXPECT_EQ(editor.notes[0].fileName, file);
    EXPECT_EQ(picture(editor.images[0].bytes), (std::vector<std::string>{"3333", "3333", "3333"}));
    EXPECT_EQ(document().frameCount, 1);
    EXPECT_EQ(document().frames[0].width, 4);

    FakeEditor second;
    choose(IDC_GIFIMP_ASSEMBLED);
    ASSERT_EQ(load(file), CONV_OK);
    const std::vector<CallSummary> wantAssembled = {{0, 0}, {2, 0x11}, {11, 0}, {14, 1}, {14, 1}, {14, 2}};
    EXPECT_EQ(summary(second), wantAssembled);
    ASSERT_EQ(second.images.size(), 1u);
    // Later frames cover earlier ones except where they are transparent;
    // no disposal is applied.
    EXPECT_EQ(picture(second.images[0].bytes),
              (std::vector<std::string>{"1111111111", "1121211111", "1121211111", "1121211111", "1111111111",
                                        "1111111111", "1111111133", "1111111133"}));
    EXPECT_TRUE(second.transparents.empty());
    auto *r = static_cast<const vc::GifAnimRecord *>(mem::lock(second.documents[0]));
    EXPECT_EQ(r->frameCount, 1);
    vc::GifFrameEntry zero{};
    EXPECT_EQ(std::memcmp(&r->frames[0], &zero, sizeof zero), 0);
    mem::unlock(second.documents[0]);
}

TEST_F(GifImport, AssembledIntoAnOutputRecordNarrowsTheCode) {
    choose(IDC_GIFIMP_ASSEMBLED);
    ConvImageRecord out{};
    uint8_t format = 0;
    ASSERT_EQ(load(mixedSizes(), &out, &format), CONV_OK);
    EXPECT_EQ(format, CONV_FMT_GIF);
    ASSERT_NE(out.image, nullptr);
    EXPECT_EQ(editor.count(HOST_ADD_FRAME), 0u);
    EXPECT_EQ(editor.count(HOST_NEW_DOCUMENT), 0u);  // no document with a record
    auto *p = static_cast<const uint8_t *>(mem::lock(out.image));
    std::vector<uint8_t> dib(p, p + mem::size(out.image));
    mem::unlock(out.image);
    mem::release(out.image);
    EXPECT_EQ(picture(dib)[7], "1111111133");
}

TEST_F(GifImport, CancelAndRefusalStopCleanly) {
    std::string file = mixedSizes();
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(load(file), CONV_CANCELLED);
    EXPECT_EQ(summary(editor), (std::vector<CallSummary>{{0, 0}}));
    EXPECT_TRUE(editor.documents.empty());

    // The editor refuses the second frame: the sequence stops, the first
    // frame stays, and the load still succeeds.
    ui.dialogAnswer = nullptr;
    FakeEditor refusing;
    int frames = 0;
    refusing.hook = [&](int32_t c, intptr_t, intptr_t) -> std::optional<intptr_t> {
        if (c == HOST_ADD_FRAME && ++frames == 2) return 0;
        return std::nullopt;
    };
    EXPECT_EQ(load(file), CONV_OK);
    EXPECT_EQ(refusing.count(HOST_ADD_FRAME), 2u);
    EXPECT_EQ(refusing.count(HOST_SET_TRANSPARENT), 0u);
    EXPECT_EQ(refusing.count(HOST_NEW_DOCUMENT), 1u);

    // No memory for the work picture.
    FakeEditor starved;
    vc::plat::memFailAt(2);  // the record is the first block
    EXPECT_EQ(load(file), CONV_E_MEMORY);
    EXPECT_EQ(starved.count(HOST_ADD_FRAME), 0u);
}

TEST_F(GifImport, AnimationsMadeByGifsicleReadBack) {
    if (!gifsupport::haveTool("/usr/bin/gifsicle")) GTEST_SKIP() << "gifsicle missing";
    std::vector<std::string> inputs;
    for (int i = 0; i < 3; ++i) {
        GifBytes g;
        std::vector<uint8_t> px;
        for (int j = 0; j < 30; ++j) px.push_back(uint8_t((j + i) % 4));
        g.header(6, 5, 1).image(0, 0, 6, 5, px, 2).trailer();
        inputs.push_back(writeFile("in" + std::to_string(i) + ".gif", g.b));
    }
    std::string out = path("made.gif");
    std::string cmd = "/usr/bin/gifsicle --no-warnings -O0 --loopcount=3 --comment 'made by gifsicle' --delay 20 "
                      "--disposal background " +
                      inputs[0] + " --delay 35 --disposal previous " + inputs[1] + " -t 2 " + inputs[2] + " -o " + out;
    int status = 0;
    gifsupport::capture(cmd, &status);
    ASSERT_EQ(status, 0) << cmd;
    ASSERT_EQ(load(out), CONV_OK);
    ASSERT_EQ(editor.images.size(), 3u);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 30; ++j)
            ASSERT_EQ(color8(editor.images[size_t(i)].bytes, j % 6, j / 6), GifBytes::color(unsigned((j + i) % 4)))
                << "frame " << i << " pixel " << j;
    const vc::GifAnimRecord &r = document();
    EXPECT_EQ(r.frameCount, 3);
    EXPECT_EQ(r.repeat, 1u);
    EXPECT_EQ(r.loopCount, 3u);
    EXPECT_STREQ(r.comment, "made by gifsicle");
    EXPECT_EQ(r.frames[0].delay, 20);
    EXPECT_EQ(r.frames[0].disposal, 2);
    EXPECT_EQ(r.frames[1].delay, 35);
    EXPECT_EQ(r.frames[1].disposal, 3);
    EXPECT_EQ(r.frames[2].transparentIndex, 2);
    EXPECT_EQ(editor.transparents.size(), 1u);
    EXPECT_EQ(editor.transparents[0].value, 0);
}

}  // namespace
