// The portable models of the GIF import options dialog (template 109) and
// the GIF animation dialog (template 110): what each control does, the
// validation of OK, and what reaches the record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_dialog.h"
#include "gif/gif_import.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;
using vc::GifAnimRecord;
using vc::GifFrameEntry;

namespace {

std::unique_ptr<GifAnimRecord> newRecord() {
    auto r = std::make_unique<GifAnimRecord>();
    *r = GifAnimRecord{};
    r->formatCode = 167;
    return r;
}

GifFrameEntry entry(uint16_t w, uint16_t h, uint16_t bits = 8) {
    GifFrameEntry e{};
    e.width = w;
    e.height = h;
    e.bitsPerPixel = bits;
    e.transparentIndex = -1;
    return e;
}

class GifImportDialog : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        record = newRecord();
        record->frameCount = 3;
        record->frames[0] = entry(10, 20, 8);
        record->frames[1] = entry(30, 5, 4);
        record->frames[2] = entry(16, 16, 1);
        model.record = record.get();
        model.callback = FakeEditor::callback();
    }
    std::unique_ptr<GifAnimRecord> record;
    FakeEditor editor;
    UiRecorder ui;
    vc::GifImportOptionsModel model;
};

TEST_F(GifImportDialog, InitialisationListsFramesAndOffersTheLargestSize) {
    model.initialize();
    EXPECT_EQ(model.frameTexts, (std::vector<std::string>{"Frame 0: 10x20  256 Colors", "Frame 1: 30x5  16 Colors",
                                                          "Frame 2: 16x16  2 Colors"}));
    EXPECT_EQ(model.minWidth, 10);
    EXPECT_EQ(model.maxWidth, 30);
    EXPECT_EQ(model.minHeight, 5);
    EXPECT_EQ(model.maxHeight, 20);
    EXPECT_EQ(model.widthText, "30");
    EXPECT_EQ(model.heightText, "20");
    EXPECT_EQ(model.checkedRadio, IDC_GIFIMP_SEQUENCE);
    EXPECT_FALSE(model.sizeLocked);
    // Only the frame count was asked: with no frames the editor's size is
    // not looked at.
    EXPECT_EQ(editor.commands(), std::vector<int32_t>{HOST_QUERY});

    // Arrows step inside the frames' limits and bring the sequence back.
    model.selectFrame(1);
    EXPECT_EQ(model.checkedRadio, IDC_GIFIMP_FRAME);
    model.spin(IDC_GIFIMP_WIDTH_SPIN, 0);
    EXPECT_EQ(model.widthText, "30");
    EXPECT_EQ(model.checkedRadio, IDC_GIFIMP_SEQUENCE);
    model.spin(IDC_GIFIMP_HEIGHT_SPIN, 1);
    EXPECT_EQ(model.heightText, "19");
    model.heightText = "2";
    model.spin(IDC_GIFIMP_HEIGHT_SPIN, 3);
    EXPECT_EQ(model.heightText, "5");
    model.check(IDC_GIFIMP_ASSEMBLED);
    model.editFocused(IDC_GIFIMP_HEIGHT);
    EXPECT_EQ(model.checkedRadio, IDC_GIFIMP_SEQUENCE);
}

TEST_F(GifImportDialog, AnEditorWithFramesLocksTheSizeToItsImage) {
    editor.addFrame(makeDib(48, 40, 8));
    editor.imageWidth = 48;
    editor.imageHeight = 40;
    model.initialize();
    EXPECT_TRUE(model.sizeLocked);
    EXPECT_EQ(model.widthText, "48");
    EXPECT_EQ(model.heightText, "40");
    EXPECT_EQ(model.minWidth, 10);  // the smallest stays the frames'
    EXPECT_EQ(record->outputWidth, 48);
    EXPECT_EQ(record->outputHeight, 40);
    EXPECT_EQ(model.pressEnter(), vc::kGifImportSequence);
}

TEST_F(GifImportDialog, OkValidatesEachModeWithFocusAndBeep) {
    model.initialize();
    // A particular frame needs a selection.
    model.check(IDC_GIFIMP_FRAME);
    EXPECT_FALSE(model.pressOk());
    EXPECT_EQ(model.focus, IDC_GIFIMP_LIST);
    ASSERT_EQ(ui.beeps, std::vector<uint32_t>{0xFFFFFFFFu});
    model.selectFrame(2);
    ASSERT_TRUE(model.pressOk());
    EXPECT_EQ(model.result, vc::kGifImportFrame);
    EXPECT_EQ(record->selectedFrame, 2u);

    struct SizeCase {
        const char *width, *height;
        int focus;  // 0: accepted
    };
    const SizeCase cases[] = {
        {"7", "20", IDC_GIFIMP_WIDTH},     {"1025", "20", IDC_GIFIMP_WIDTH}, {"abc", "20", IDC_GIFIMP_WIDTH},
        {"-8", "20", IDC_GIFIMP_WIDTH},    {"", "20", IDC_GIFIMP_WIDTH},     {"8", "1025", IDC_GIFIMP_HEIGHT},
        {"1024", "x1", IDC_GIFIMP_HEIGHT}, {"65544", "8", IDC_GIFIMP_WIDTH}, {" 64 ", "8", 0},
        {"1024", "1024", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.width) + " x " + c.height);
        model.ended = false;
        model.focus = 0;
        model.check(IDC_GIFIMP_SEQUENCE);
        model.widthText = c.width;
        model.heightText = c.height;
        size_t beeps = ui.beeps.size();
        bool ok = model.pressOk();
        EXPECT_EQ(ok, c.focus == 0);
        EXPECT_EQ(model.focus, c.focus);
        EXPECT_EQ(ui.beeps.size(), beeps + (c.focus ? 1 : 0));
        if (ok) {
            EXPECT_EQ(model.result, vc::kGifImportSequence);
        }
    }
    EXPECT_EQ(record->outputWidth, 1024);
    EXPECT_EQ(record->outputHeight, 1024);

    model.check(IDC_GIFIMP_ASSEMBLED);
    ASSERT_TRUE(model.pressOk());
    EXPECT_EQ(model.result, vc::kGifImportAssembled);
    // Headless Enter on fields nobody can correct ends as Cancel.
    model.check(IDC_GIFIMP_SEQUENCE);
    model.widthText = "2";
    EXPECT_EQ(model.pressEnter(), vc::kGifImportCancel);
}

TEST_F(GifImportDialog, ModeChoiceAsksOnlyForFramesOfDifferentSizes) {
    // Different sizes: the dialog decides; by default the sequence at the
    // largest size.
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), FakeEditor::callback()), vc::kGifImportSequence);
    EXPECT_EQ(ui.dialogs, std::vector<int32_t>{IDD_GIF_IMPORT});
    EXPECT_EQ(record->outputWidth, 30);
    EXPECT_EQ(record->outputHeight, 20);

    ui.dialogAnswer = [](int32_t, void *m) -> intptr_t {
        auto *dialog = dynamic_cast<vc::GifImportOptionsModel *>(static_cast<vc::plat::DialogModel *>(m));
        if (!dialog) return -1;
        dialog->selectFrame(1);
        return dialog->pressOk() ? dialog->result : -1;
    };
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), FakeEditor::callback()), vc::kGifImportFrame);
    EXPECT_EQ(record->selectedFrame, 1u);
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), FakeEditor::callback()), vc::kGifImportCancel);

    // Equal sizes: a sequence at that size, no dialog.
    ui.dialogs.clear();
    record->frames[1] = entry(10, 20, 4);
    record->frames[2] = entry(10, 20, 1);
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), FakeEditor::callback()), vc::kGifImportSequence);
    EXPECT_EQ(record->outputWidth, 10);
    EXPECT_EQ(record->outputHeight, 20);
    // One image, or no callback: frame 0 alone.
    record->selectedFrame = 2;
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), nullptr), vc::kGifImportFrame);
    EXPECT_EQ(record->selectedFrame, 0u);
    record->frameCount = 1;
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), FakeEditor::callback()), vc::kGifImportFrame);
    EXPECT_TRUE(ui.dialogs.empty());
}

// ---- The animation dialog --------------------------------------------------------

class GifAnimationDialog : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        record = newRecord();
        record->frameCount = 5;
        for (int i = 0; i < 5; ++i) {
            record->frames[i] = entry(32, 32);
            record->frames[i].delay = 10;
            record->frames[i].disposal = 1;
        }
        std::strcpy(record->comment, "hello");
        record->commentFlag = 1;
        record->repeat = 1;
        for (int i = 0; i < 5; ++i) editor.addFrame(makeDib(32, 32, 8));
        model.record = record.get();
        model.callback = FakeEditor::callback();
    }
    void show(int frame) {
        model.LoadFrameSettings(frame);
        ASSERT_EQ(model.stripCurrent, frame);
    }
    std::unique_ptr<GifAnimRecord> record;
    FakeEditor editor;
    UiRecorder ui;
    vc::GifAnimationDialogModel model;
};

TEST_F(GifAnimationDialog, FileSettingsLoadAndStoreWithTheLoopRules) {
    record->frameCount = 2;
    record->frames[0].delay = 0;
    record->frames[0].userInput = 1;
    record->frames[1].left = 7;
    editor.addFrame(makeDib(32, 32, 8));  // the editor holds 6 frames
    model.initialize();
    // Frames the record did not know take the first frame's settings.
    EXPECT_EQ(record->frameCount, 6);
    for (int i = 2; i < 6; ++i) {
        EXPECT_EQ(record->frames[i].delay, 0);
        EXPECT_EQ(record->frames[i].userInput, 1u);
    }
    EXPECT_FALSE(model.sameForAll);  // frames 0 and 1 differed
    EXPECT_TRUE(model.sameForAllEnabled);
    EXPECT_EQ(model.disposalNames,
              (std::vector<std::string>{"Nothing", "Leave as is", "Background", "Previous Image"}));
    EXPECT_EQ(model.stripCount, 6);
    EXPECT_EQ(model.stripCurrent, 0);
    EXPECT_EQ(model.frameNumber, "1");
    EXPECT_FALSE(model.delayOn);
    EXPECT_EQ(model.delay, "1");  // shown as at least 1
    EXPECT_EQ(model.comment, "hello");
    EXPECT_TRUE(model.commentOn);
    EXPECT_TRUE(model.infiniteChecked);
    EXPECT_EQ(model.loopCount, "1");
    EXPECT_TRUE(model.loopRadiosEnabled);
    EXPECT_FALSE(model.loopCountEnabled);
    EXPECT_EQ(record->outputWidth, 32);

    model.click(IDC_GIFANIM_LOOPS);
    EXPECT_TRUE(model.loopCountEnabled);
    model.scroll(IDC_GIFANIM_LOOP_SPIN, 0);
    model.scroll(IDC_GIFANIM_LOOP_SPIN, 0);
    EXPECT_EQ(model.loopCount, "3");
    model.StoreFileSettings();
    EXPECT_EQ(record->loopCount, 3u);
    model.click(IDC_GIFANIM_REPEAT);
    EXPECT_FALSE(model.loopRadiosEnabled);
    EXPECT_FALSE(model.loopCountEnabled);
    model.click(IDC_GIFANIM_INFINITE);
    model.StoreFileSettings();
    EXPECT_EQ(record->repeat, 0u);
    EXPECT_EQ(record->loopCount, 0u);

    // The comment box follows the text; a text too long is cut at 1020.
    model.comment.clear();
    model.command(IDC_GIFANIM_COMMENT, vc::kEditUpdate);
    EXPECT_FALSE(model.commentOn);
    model.comment = std::string(1500, 'c');
    model.command(IDC_GIFANIM_COMMENT, vc::kEditUpdate);
    model.StoreFileSettings();
    EXPECT_EQ(record->commentFlag, 1u);
    EXPECT_EQ(std::string(record->comment).size(), 1020u);
}

TEST_F(GifAnimationDialog, StoringAFrameCopiesToTheSelectionOrToAll) {
    model.initialize();
    EXPECT_TRUE(model.sameForAll);  // all five alike
    model.click(IDC_GIFANIM_SAME_FOR_ALL);
    show(1);
    // Frames 2 to 4 selected: leaving frame 1 copies its settings there.
    model.stripSetSel(true, 2, 4);
    EXPECT_FALSE(model.sameForAll);
    model.delay = "25";
    model.disposal = 3;
    model.click(IDC_GIFANIM_INTERLACED);
    model.left = "2000";
    model.top = "x";
    EXPECT_EQ(model.StoreFrameSettings(), 1);
    EXPECT_EQ(record->frames[1].delay, 25);
    EXPECT_EQ(record->frames[1].left, 1024);  // typed positions are capped
    EXPECT_EQ(record->frames[1].top, 0);
    EXPECT_EQ(record->frames[1].hasGraphicControl, 1u);
    EXPECT_EQ(record->frames[0].delay, 10);
    for (int j = 2; j <= 4; ++j) {
        EXPECT_EQ(record->frames[j].delay, 25);
        EXPECT_EQ(record->frames[j].disposal, 3);
        EXPECT_EQ(record->frames[j].interlaced, 1u);
        EXPECT_EQ(record->frames[j].left, 0);  // never the position without Alt
    }
    EXPECT_EQ(model.stripSelCount(), 0);

    // With "same settings for all" and Alt: only the position, everywhere.
    model.sameForAll = true;
    model.altDown = true;
    model.left = "12";
    model.top = "3";
    model.delay = "99";
    model.StoreFrameSettings();
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(record->frames[j].left, 12);
        EXPECT_EQ(record->frames[j].top, 3);
        EXPECT_EQ(record->frames[j].delay, j == 1 ? 99 : (j == 0 ? 10 : 25));
    }
    // A delay of 0 typed with the box checked stays 0; the box off stores 0.
    model.altDown = false;
    model.sameForAll = false;
    model.delay = "0";
    model.StoreFrameSettings();
    EXPECT_EQ(record->frames[1].delay, 0);
    model.LoadFrameSettings(1);
    EXPECT_FALSE(model.delayOn);
    model.scroll(IDC_GIFANIM_DELAY_SPIN, 1);  // down from 1 to 0: stays off
    EXPECT_EQ(model.delay, "0");
    EXPECT_FALSE(model.delayOn);
    model.scroll(IDC_GIFANIM_DELAY_SPIN, 0);  // up from 0 checks the box
    EXPECT_EQ(model.delay, "1");
    EXPECT_TRUE(model.delayOn);
}

TEST_F(GifAnimationDialog, NavigationWrapsAndModifierClicksSelectRanges) {
    model.initialize();
    model.command(IDC_GIFANIM_PREVIOUS);
    EXPECT_EQ(model.stripCurrent, 4);
    EXPECT_EQ(model.frameNumber, "5");
    model.command(IDC_GIFANIM_NEXT);
    EXPECT_EQ(model.stripCurrent, 0);
    model.command(IDC_GIFANIM_NEXT);
    EXPECT_EQ(model.stripCurrent, 1);

    // Ctrl-click from the current frame 2 to frame 4 selects 2 to 4, then
    // a second Ctrl-click on a selected frame clears the range again.
    model.stripNotify(vc::kReelNotifyClick, 2);
    EXPECT_EQ(model.stripCurrent, 2);
    model.ctrlDown = true;
    model.stripNotify(vc::kReelNotifyClick, 4);
    EXPECT_EQ(model.stripCurrent, 2);
    EXPECT_EQ(model.stripSelected, (std::vector<uint8_t>{0, 0, 1, 1, 1}));
    model.stripNotify(vc::kReelNotifyClick, 4);
    EXPECT_EQ(model.stripSelCount(), 0);
    // Shift toggles the clicked frame alone; selecting every frame checks 119.
    model.ctrlDown = false;
    model.shiftDown = true;
    model.sameForAll = false;
    model.stripNotify(vc::kReelNotifyClick, 0);
    EXPECT_EQ(model.stripSelected, (std::vector<uint8_t>{1, 0, 0, 0, 0}));
    EXPECT_FALSE(model.sameForAll);
    model.stripSetSel(true, 0, 999);
    EXPECT_TRUE(model.sameForAll);
    model.shiftDown = false;
    model.stripNotify(vc::kReelNotifyCurrent, 3);
    EXPECT_EQ(model.stripCurrent, 3);
}

TEST_F(GifAnimationDialog, EnterInTheCommentBecomesALineBreakNotOk) {
    model.initialize();
    model.commentCaret = 2;
    model.enterDown = true;
    model.command(IDC_GIFANIM_COMMENT, vc::kEditKillFocus);
    EXPECT_TRUE(model.enterFlag);
    EXPECT_FALSE(model.pressOk());
    EXPECT_EQ(model.comment, "he\r\nllo");
    EXPECT_EQ(model.focus, IDC_GIFANIM_COMMENT);
    EXPECT_FALSE(model.ended);
    record->frames[3].left = 9;
    ASSERT_TRUE(model.pressOk());
    EXPECT_EQ(model.result, 1);
    EXPECT_STREQ(record->comment, "he\r\nllo");
    EXPECT_EQ(record->screenWidth, 32 + 9);  // computed on OK
    EXPECT_EQ(record->screenHeight, 32);

    // Background: a choice outside 0..255 changes nothing.
    editor.backgroundAnswer = 300;
    model.command(IDC_GIFANIM_BACKGROUND);
    EXPECT_EQ(record->backgroundIndex, 0);
    editor.backgroundAnswer = 7;
    model.command(IDC_GIFANIM_BACKGROUND);
    EXPECT_EQ(record->backgroundIndex, 7);
    EXPECT_EQ(model.backgroundChanges, 1);
}

TEST_F(GifAnimationDialog, ADocumentWithoutFramesReadsNoEntryOutsideTheTable) {
    record->frameCount = 0;
    editor.images.clear();
    model.initialize();
    EXPECT_EQ(model.stripCurrent, -1);
    model.command(IDC_GIFANIM_NEXT);
    model.command(IDC_GIFANIM_PREVIOUS);
    model.stripNotify(vc::kReelNotifyClick, 300);
    EXPECT_EQ(model.StoreFrameSettings(), -1);
    EXPECT_EQ(model.pressEnter(), 1);
    EXPECT_FALSE(model.sameForAllEnabled);
}

}  // namespace
