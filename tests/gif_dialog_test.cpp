// The portable models of the GIF import options dialog (template 109) and
// the GIF animation dialog (template 110): their rules and what reaches the
// record.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gif/gif_dialog.h"
#include "gif/gif_import.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;

namespace {

class GifDialogs : public LibraryTest {
protected:
    // A record of frames of these widths, heights and depths.
    void frames(std::vector<std::array<uint16_t, 3>> sizes) {
        record->frameCount = int16_t(sizes.size());
        for (size_t i = 0; i < sizes.size(); ++i)
            record->frames[i] = vc::GifFrameEntry{sizes[i][2], 0, 0, sizes[i][0], sizes[i][1], 0, 0, -1, 10, 1, 0, 0};
    }
    template <class Model> void start(Model &m) {
        m.record = record.get();
        m.callback = FakeEditor::callback();
        m.start();
    }
    std::unique_ptr<vc::GifAnimRecord> record = std::make_unique<vc::GifAnimRecord>();
    FakeEditor editor;
    UiRecorder ui;
};

TEST_F(GifDialogs, ImportOptionsListTheFramesAndRefuseSizesOutside8To1024) {
    frames({{10, 20, 8}, {30, 5, 4}, {16, 16, 1}});
    vc::GifImportOptionsModel m;
    start(m);
    EXPECT_EQ(m.frameTexts, (std::vector<std::string>{"Frame 0: 10x20  256 Colors", "Frame 1: 30x5  16 Colors",
                                                      "Frame 2: 16x16  2 Colors"}));
    EXPECT_EQ(m.widthText + "x" + m.heightText, "30x20");  // the largest
    m.click(IDC_GIFIMP_FRAME);
    m.heightText = "2";
    m.scroll(IDC_GIFIMP_HEIGHT_SPIN, 3);  // inside the frames' sizes, and back to the sequence
    EXPECT_EQ(m.heightText, "5");
    EXPECT_EQ(m.checkedRadio, IDC_GIFIMP_SEQUENCE);
    m.click(IDC_GIFIMP_FRAME);
    EXPECT_FALSE(m.pressOk());  // a frame needs a selection
    EXPECT_EQ(m.focus, IDC_GIFIMP_LIST);
    m.select(IDC_GIFIMP_LIST, 1);
    ASSERT_TRUE(m.pressOk());
    EXPECT_EQ(m.result(), vc::kGifImportFrame);
    EXPECT_EQ(record->selectedFrame, 1u);
    const int W = IDC_GIFIMP_WIDTH, H = IDC_GIFIMP_HEIGHT;  // where a refusal puts the focus; 0: accepted
    const struct { const char *width, *height; int focus; } cases[] = {
        {"7", "20", W}, {"1025", "20", W}, {"abc", "20", W}, {"", "20", W}, {"65544", "8", W},
        {"8", "1025", H}, {"1024", "x1", H}, {" 64 ", "8", 0}, {"1024", "1024", 0}};
    for (const auto &c : cases) {
        m.focus = 0;
        m.click(IDC_GIFIMP_SEQUENCE);
        m.widthText = c.width, m.heightText = c.height;
        EXPECT_EQ(m.pressOk(), c.focus == 0) << c.width << " x " << c.height;
        EXPECT_EQ(m.focus, c.focus) << c.width << " x " << c.height;
    }
    EXPECT_EQ(ui.beeps, std::vector<uint32_t>(8, 0xFFFFFFFFu));  // one per refusal
    EXPECT_EQ(record->outputWidth + record->outputHeight, 2048);
    m.click(IDC_GIFIMP_ASSEMBLED);
    ASSERT_TRUE(m.pressOk());
    EXPECT_EQ(m.result(), vc::kGifImportAssembled);
    m.click(IDC_GIFIMP_SEQUENCE);  // headless, nobody can correct a refused field
    m.widthText = "2";
    EXPECT_EQ(m.pressEnter(), vc::kGifImportCancel);

    editor.addFrame(makeDib(48, 40, 8));  // frames added to frames take their size
    editor.imageWidth = 48, editor.imageHeight = 40;
    vc::GifImportOptionsModel locked;
    start(locked);
    EXPECT_TRUE(locked.sizeLocked);
    EXPECT_FALSE(locked.setText(IDC_GIFIMP_WIDTH, "9"));  // a disabled field takes no typing
    EXPECT_EQ(locked.widthText + "x" + locked.heightText, "48x40");
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), nullptr), vc::kGifImportFrame);  // nobody to ask
    EXPECT_EQ(record->selectedFrame, 0u);
    frames({{10, 20, 8}, {10, 20, 4}});  // one size: the sequence without a question
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), FakeEditor::callback()), vc::kGifImportSequence);
    EXPECT_EQ(record->outputWidth + ui.dialogs.size(), 10u);
}

// ---- The animation dialog over five 32 x 32 frames of delay 10 -----------------------

class GifAnimationDialog : public GifDialogs {
protected:
    void SetUp() override {
        GifDialogs::SetUp();
        frames(std::vector<std::array<uint16_t, 3>>(5, {32, 32, 8}));
        std::strcpy(record->comment, "hello");
        record->commentFlag = record->repeat = 1;
        for (int i = 0; i < 5; ++i) editor.addFrame(makeDib(32, 32, 8));
    }
    std::vector<int> column(uint16_t vc::GifFrameEntry::*field) {
        std::vector<int> v;
        for (int j = 0; j < 5; ++j) v.push_back(record->frames[j].*field);
        return v;
    }
    std::vector<bool> selection() const {
        std::vector<bool> v;
        for (int j = 0; j < 5; ++j) v.push_back(m.strip.selected(j));
        return v;
    }
    // The model goes before the fixture counts the blocks left over.
    void TearDown() override {
        model_.reset();
        GifDialogs::TearDown();
    }
    std::optional<vc::GifAnimationDialogModel> model_{std::in_place};
    vc::GifAnimationDialogModel &m = *model_;
};

TEST_F(GifAnimationDialog, FramesTheRecordLacksCopyTheFirstLoopRulesAndNoFrames) {
    record->frameCount = 2;
    record->frames[0].delay = 0;
    editor.addFrame(makeDib(32, 32, 8));
    start(m);
    EXPECT_EQ(record->frameCount, 6);
    EXPECT_EQ(record->frames[5].delay, 0);
    EXPECT_FALSE(m.sameForAll);  // frames 0 and 1 differed
    EXPECT_FALSE(m.delayOn);
    EXPECT_EQ(m.delay, "1");  // shown as at least 1
    // Endless: "Infinite" checked, the count disabled and shown as 1.
    EXPECT_TRUE(m.infiniteChecked && !m.loopCountEnabled);
    EXPECT_EQ(m.loopCount, "1");
    m.click(IDC_GIFANIM_LOOPS);
    EXPECT_TRUE(m.loopCountEnabled);
    m.scroll(IDC_GIFANIM_LOOP_SPIN, 0);
    m.StoreFileSettings();
    EXPECT_EQ(record->loopCount, 2u);
    m.click(IDC_GIFANIM_REPEAT);
    EXPECT_FALSE(m.loopRadiosEnabled || m.loopCountEnabled);
    m.click(IDC_GIFANIM_INFINITE);
    m.comment = std::string(1500, 'c');  // cut at 1020
    m.StoreFileSettings();
    EXPECT_EQ(record->repeat + record->loopCount, 0u);
    EXPECT_EQ(std::strlen(record->comment), 1020u);
    record->frameCount = 0;  // no frames at all: no entry outside the table is read
    editor.images.clear();
    vc::GifAnimationDialogModel empty;
    start(empty);
    empty.click(IDC_GIFANIM_NEXT);
    empty.reelNotify(IDC_GIFANIM_STRIP, vc::REELN_CLICK, 300);
    EXPECT_EQ(empty.StoreFrameSettings(), -1);
    EXPECT_EQ(empty.pressEnter(), 1);
}

TEST_F(GifAnimationDialog, ArrowsWrapCtrlSelectsAndStoringCopiesToTheSelectionOrAll) {
    start(m);
    EXPECT_TRUE(m.sameForAll);  // all five alike
    m.click(IDC_GIFANIM_PREVIOUS);  // "<" from the first frame: the last
    EXPECT_EQ(m.frameNumber, "5");
    m.click(IDC_GIFANIM_NEXT);  // ">" from the last: the first
    m.click(IDC_GIFANIM_NEXT);
    EXPECT_EQ(m.strip.current(), 1);
    m.ctrlDown = true;  // from current frame 1 to 3, then again to clear
    m.reelNotify(IDC_GIFANIM_STRIP, vc::REELN_CLICK, 3);
    EXPECT_EQ(selection(), (std::vector<bool>{false, true, true, true, false}));
    m.reelNotify(IDC_GIFANIM_STRIP, vc::REELN_CLICK, 3);
    EXPECT_EQ(m.strip.selCount(), 0);
    m.sameForAll = false;
    m.strip.setSel(true, 0, 999);  // every frame selected: the same for all
    EXPECT_TRUE(m.sameForAll);
    m.strip.setSel(false, 0, 999);
    m.click(IDC_GIFANIM_SAME_FOR_ALL);
    m.LoadFrameSettings(1);
    m.strip.setSel(true, 2, 4);
    m.delay = "25", m.left = "2000", m.top = "x";  // typed positions are lowered to 1024
    EXPECT_EQ(m.StoreFrameSettings(), 1);
    EXPECT_EQ(column(&vc::GifFrameEntry::delay), (std::vector<int>{10, 25, 25, 25, 25}));
    EXPECT_EQ(record->frames[1].left, 1024);
    EXPECT_EQ(record->frames[1].top + record->frames[2].left, 0);
    EXPECT_EQ(m.strip.selCount(), 0);  // storing clears the selection
    m.sameForAll = m.altDown = true;
    m.left = "12", m.delay = "99";
    m.StoreFrameSettings();
    EXPECT_EQ(std::vector<int>({record->frames[0].left, record->frames[4].left}), std::vector<int>({12, 12}));
    EXPECT_EQ(column(&vc::GifFrameEntry::delay), (std::vector<int>{10, 99, 25, 25, 25}));
    m.delayOn = false, m.delay = "0";
    m.scroll(IDC_GIFANIM_DELAY_SPIN, 0);  // the arrow up from 0 checks the box
    EXPECT_TRUE(m.delayOn);
}

TEST_F(GifAnimationDialog, EnterInTheCommentIsALineBreakAndTheBackgroundAnIndex) {
    // The editor's palette: greys, and at 9 the colour nearest the
    // document's background colour 2.
    uint8_t pal[256 * 4];
    for (int i = 0; i < 256; ++i) pal[4 * i] = pal[4 * i + 1] = pal[4 * i + 2] = uint8_t(i), pal[4 * i + 3] = 0;
    pal[36] = 198, pal[37] = 101, pal[38] = 43;
    editor.palette = pal;
    record->backgroundIndex = 2;
    record->globalPalette[2] = vc::GifRgbQuad{40, 100, 200, 0};
    auto color = [&](int i) {
        const vc::GifRgbQuad &c = record->globalPalette[i];
        return std::vector<int>{c.red, c.green, c.blue};
    };
    start(m);
    EXPECT_EQ(record->backgroundIndex, 9);
    EXPECT_EQ(color(9), (std::vector<int>{198, 101, 43}));
    m.commentCaret = 2;
    m.enterDown = true;
    m.notify(IDC_GIFANIM_COMMENT, vc::kEditKillFocus);
    EXPECT_FALSE(m.pressOk());
    EXPECT_EQ(m.focus, IDC_GIFANIM_COMMENT);
    record->frames[3].left = 9;
    ASSERT_TRUE(m.pressOk());  // the next one is OK, and sizes the screen
    EXPECT_STREQ(record->comment, "he\r\nllo");
    EXPECT_EQ(record->screenWidth, 32 + 9);
    editor.backgroundAnswer = 300;  // no colour of the table: nothing changes
    m.click(IDC_GIFANIM_BACKGROUND);
    editor.backgroundAnswer = 7;
    m.click(IDC_GIFANIM_BACKGROUND);
    EXPECT_EQ(record->backgroundIndex, 7);
    EXPECT_EQ(color(7), (std::vector<int>{7, 7, 7}));  // the editor's colour, not the record's
    EXPECT_EQ(m.backgroundChanges, 2);
}

}  // namespace
