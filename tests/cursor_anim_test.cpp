// The portable model of "Define Cursor animation" (template 106): start-up,
// committing and refusing fields, step editing with the 256-step limit and
// the follow-up selection, the apply-to-all rules, scroll bars, the
// preview timer, OK and Cancel.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cursor/cursor_anim_dialog.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;
using vc::CursorAnimationDialogModel;
using vc::CursorAnimationDocument;
using vc::ReelEvent;

namespace {

class AnimDialog : public LibraryTest {
protected:
    // A document with these steps (rates all `rate` unless given) over an
    // editor holding `frameCount` frames.
    void open(int frameCount, std::vector<uint32_t> seq, std::vector<uint32_t> rates = {}) {
        model.reset();
        if (block) VcMemFree(block);
        editor.images.clear();
        for (int i = 0; i < frameCount; ++i) editor.addIcon(iconFromDib(makeDib(32, 32, 4)));
        block = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, sizeof(CursorAnimationDocument));
        auto *d = static_cast<CursorAnimationDocument *>(VcMemLock(block));
        d->formatCode = 166;
        d->header.headerSize = 36;
        d->header.stepCount = uint32_t(seq.size());
        std::copy(seq.begin(), seq.end(), d->sequence);
        if (rates.empty()) rates.assign(seq.size(), 0);
        std::copy(rates.begin(), rates.end(), d->rates);
        std::strcpy(d->title, "Title");
        VcMemUnlock(block);
        model = std::make_unique<CursorAnimationDialogModel>(block, 0, FakeEditor::callback());
        ASSERT_TRUE(model->start());
    }
    void TearDown() override {
        model.reset();
        if (block) VcMemFree(block);
        LibraryTest::TearDown();
    }
    std::vector<uint32_t> sequence() const {
        const CursorAnimationDocument *d = model->document();
        return std::vector<uint32_t>(d->sequence, d->sequence + model->stepCount());
    }
    std::vector<uint32_t> rates() const {
        const CursorAnimationDocument *d = model->document();
        return std::vector<uint32_t>(d->rates, d->rates + model->stepCount());
    }
    void selectFrames(std::initializer_list<int> frames, int current) {
        model->frames.clearSelection();
        for (int f : frames) model->frames.select(f, true);
        model->frames.setCurrent(current);
    }

    FakeEditor editor;
    UiRecorder ui;
    void *block = nullptr;
    std::unique_ptr<CursorAnimationDialogModel> model;
};

TEST_F(AnimDialog, NewDocumentOpensOnTheCyclePageWithOneStepPerFrame) {
    editor.hotspots[2] = 7;
    open(4, {});
    EXPECT_EQ(sequence(), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(rates(), (std::vector<uint32_t>{0, 0, 0, 0}));
    EXPECT_EQ(model->document()->header.frameCount, 4u);
    EXPECT_TRUE(model->cyclePage);
    EXPECT_TRUE(model->timerRunning);
    EXPECT_EQ(model->timerInterval, 10u);
    EXPECT_EQ(model->steps.current, 0);
    EXPECT_EQ(model->rateText, "0");
    EXPECT_TRUE(model->rateForAll);       // all rates equal
    EXPECT_FALSE(model->hotspotCommon);   // frame 2 differs
    EXPECT_EQ(model->framesUsed(), 4);
    // The timer walks the steps and restarts with each step's rate.
    model->document()->rates[1] = 20;
    model->timerTick();
    EXPECT_EQ(model->previewStep, 1);
    EXPECT_EQ(model->timerInterval, 320u);
    for (int i = 0; i < 3; ++i) model->timerTick();
    EXPECT_EQ(model->previewStep, 0);

    // Without frames there are no steps: sequence page, OK disabled, Enter
    // cancels. A block that is not a cursor animation document ends at once.
    for (uint16_t code : {166, 0}) {
        FakeEditor empty;
        void *doc = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, sizeof(CursorAnimationDocument));
        static_cast<CursorAnimationDocument *>(VcMemLock(doc))->formatCode = code;
        VcMemUnlock(doc);
        {
            CursorAnimationDialogModel m(doc, 0, FakeEditor::callback());
            EXPECT_EQ(m.start(), code != 0);
            EXPECT_FALSE(m.cyclePage);
            EXPECT_FALSE(m.timerRunning);
            EXPECT_FALSE(m.okEnabled());
            EXPECT_EQ(m.pressEnter(), 0);
        }
        VcMemFree(doc);
    }
}

TEST_F(AnimDialog, InsertReplaceAndAddPlaceTheSelectedFramesAndTakeTheCurrentRate) {
    struct Case {
        int command;
        std::vector<uint32_t> seq, rates;
        int current;
    };
    const std::vector<Case> cases = {
        {vc::kAnimInsert, {0, 3, 5, 1, 2}, {1, 2, 2, 2, 3}, 2},
        {vc::kAnimReplace, {0, 3, 5, 2}, {1, 2, 2, 3}, 2},
        {vc::kAnimAdd, {0, 1, 2, 3, 5}, {1, 2, 3, 2, 2}, 4},
    };
    for (const auto &c : cases) {
        open(6, {0, 1, 2}, {1, 2, 3});
        model->setRateForAll(false);
        ASSERT_TRUE(model->moveTo(1));
        selectFrames({3, 5}, 3);
        EXPECT_TRUE(model->addEnabled());
        ASSERT_TRUE(model->command(c.command));
        EXPECT_EQ(sequence(), c.seq) << c.command;
        EXPECT_EQ(rates(), c.rates) << c.command;
        EXPECT_EQ(model->steps.current, c.current) << c.command;
        EXPECT_EQ(model->frames.selectedCount(), 0);  // two frames used: nothing left selected
        EXPECT_EQ(model->frames.current, 4);
    }
}

TEST_F(AnimDialog, AddingOneFrameSelectsTheNextAndTheStepLimitHolds) {
    open(4, {0});
    selectFrames({}, 2);
    ASSERT_TRUE(model->command(vc::kAnimAdd));
    EXPECT_EQ(sequence(), (std::vector<uint32_t>{0, 2}));
    EXPECT_TRUE(model->frames.isSelected(3));
    EXPECT_EQ(model->frames.current, 3);
    // Frame 3 of 4: frame 0 is selected next; the strip refuses a current
    // frame past its last, so the current frame stays.
    selectFrames({}, 3);
    ASSERT_TRUE(model->command(vc::kAnimAdd));
    EXPECT_EQ(sequence(), (std::vector<uint32_t>{0, 2, 3}));
    EXPECT_TRUE(model->frames.isSelected(0));
    EXPECT_EQ(model->frames.selectedCount(), 1);
    EXPECT_EQ(model->frames.current, 3);

    // 250 steps: 5 chosen frames keep Add enabled, 6 disable it; the
    // operation itself never goes past 256.
    open(8, std::vector<uint32_t>(250, 0));
    selectFrames({1, 2, 3, 4}, 0);  // the current frame counts too
    EXPECT_TRUE(model->addEnabled());
    selectFrames({1, 2, 3, 4, 5}, 0);
    EXPECT_FALSE(model->addEnabled());
    selectFrames({1, 2, 3, 4, 5, 6, 7}, 0);
    ASSERT_TRUE(model->command(vc::kAnimAdd));
    EXPECT_EQ(model->stepCount(), 256);
    EXPECT_EQ(sequence()[255], 5u);  // frames 0 to 5 went in, 6 and 7 were cut
    selectFrames({1}, 1);
    ASSERT_TRUE(model->command(vc::kAnimInsert));
    EXPECT_EQ(model->stepCount(), 256);
}

TEST_F(AnimDialog, DeletingStepsAndTheCountsFollow) {
    open(3, {0, 1, 2});
    ASSERT_TRUE(model->moveTo(2));
    ASSERT_TRUE(model->command(vc::kAnimDelete));
    EXPECT_EQ(sequence(), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(model->steps.current, 1);
    EXPECT_EQ(model->framesUsed(), 2);
    ASSERT_TRUE(model->command(vc::kAnimDeleteAll));
    EXPECT_EQ(model->stepCount(), 0);
    EXPECT_EQ(model->steps.current, -1);
    EXPECT_TRUE(model->rateText.empty());
    EXPECT_FALSE(model->okEnabled());
    EXPECT_FALSE(model->command(vc::kAnimDelete));  // nothing to delete: beep
    EXPECT_EQ(ui.beeps.size(), 1u);
    // Page buttons: the page already shown beeps.
    EXPECT_FALSE(model->command(vc::kAnimCyclePage));
    ASSERT_TRUE(model->command(vc::kAnimSequencePage));
    EXPECT_FALSE(model->timerRunning);
    EXPECT_FALSE(model->command(vc::kAnimSequencePage));
    EXPECT_EQ(ui.beeps.size(), 3u);
}

TEST_F(AnimDialog, FieldsCommitWhenMovingAndRefuseNonNumbers) {
    open(3, {0, 1, 2}, {5, 5, 5});
    model->setRateForAll(false);
    model->setHotspotCommon(false);
    model->rateText = "12";
    model->xText = "4";
    model->yText = "6";
    ASSERT_TRUE(model->command(vc::kAnimNext));
    EXPECT_EQ(rates(), (std::vector<uint32_t>{12, 5, 5}));
    EXPECT_EQ(model->hotspots, (std::vector<uint32_t>{4 | 6 << 16, 0, 0}));
    EXPECT_EQ(model->position, 1);
    EXPECT_EQ(model->rateText, "5");
    // A rate that is not a number: beep and stay.
    model->rateText = "x1";
    EXPECT_FALSE(model->command(vc::kAnimPrevious));
    EXPECT_EQ(model->steps.current, 1);
    EXPECT_EQ(ui.beeps.size(), 1u);
    model->rateText = " 7 ";
    model->yText = "";
    EXPECT_FALSE(model->moveTo(0));  // y is empty
    model->yText = "1";
    ASSERT_TRUE(model->command(vc::kAnimPrevious));
    EXPECT_EQ(rates(), (std::vector<uint32_t>{12, 7, 5}));
    // "<" from step 0 wraps to the last step; ">" from the last to 0.
    ASSERT_TRUE(model->command(vc::kAnimPrevious));
    EXPECT_EQ(model->steps.current, 2);
    ASSERT_TRUE(model->command(vc::kAnimNext));
    EXPECT_EQ(model->steps.current, 0);
    // With "alle Positionen" and "Common" a change reaches every step and frame.
    model->setRateForAll(true);
    model->setHotspotCommon(true);
    model->rateText = "9";
    model->xText = "2";
    model->yText = "3";
    ASSERT_TRUE(model->moveTo(1));
    EXPECT_EQ(rates(), (std::vector<uint32_t>{9, 9, 9}));
    EXPECT_EQ(model->hotspots, (std::vector<uint32_t>(3, 2 | 3 << 16)));
}

TEST_F(AnimDialog, ScrollBarsStepWithinTheirLimitsAndApplyAtOnce) {
    editor.imageWidth = 200;
    editor.imageHeight = 20;
    open(2, {0, 1, 0}, {5, 5, 5});
    ASSERT_TRUE(model->rateForAll);
    model->scroll(vc::kAnimRateScroll, 0);
    EXPECT_EQ(rates(), (std::vector<uint32_t>{6, 6, 6}));
    model->rateText = "255";
    model->scroll(vc::kAnimRateScroll, 2);
    EXPECT_EQ(model->rateText, "255");
    model->setRateForAll(false);
    model->scroll(vc::kAnimRateScroll, 1);
    EXPECT_EQ(rates(), (std::vector<uint32_t>{254, 255, 255}));
    // x stops at 127 for a 200-wide image, y at the height 20.
    model->setHotspotCommon(false);
    model->xText = "127";
    model->yText = "20";
    model->scroll(vc::kAnimHotspotXScroll, 0);
    model->scroll(vc::kAnimHotspotYScroll, 0);
    EXPECT_EQ(model->hotspots[0], 127u | 20u << 16);
    EXPECT_EQ(model->hotspots[1], 0u);
    EXPECT_EQ(model->previewX, 127);
    model->xText = "abc";
    model->scroll(vc::kAnimHotspotXScroll, 0);
    EXPECT_EQ(model->xText, "abc");
    // Without a current step the bars do nothing.
    model->command(vc::kAnimDeleteAll);
    model->scroll(vc::kAnimRateScroll, 0);
    EXPECT_TRUE(model->rateText.empty());
}

TEST_F(AnimDialog, FrameStripClicksSelectAsTheModifiersSay) {
    open(6, {0});
    model->reelNotify(vc::kAnimFrameReel, ReelEvent::Click, 2);
    model->reelNotify(vc::kAnimFrameReel, ReelEvent::Click, 4, true, false);  // Shift toggles one
    EXPECT_TRUE(model->frames.isSelected(4));
    // Ctrl: from the current frame to the clicked one, in either order.
    model->reelNotify(vc::kAnimFrameReel, ReelEvent::Click, 0, false, true);
    EXPECT_EQ(model->frames.selected, (std::vector<bool>{true, true, true, false, true, false}));
    model->reelNotify(vc::kAnimFrameReel, ReelEvent::Click, 1, false, true);
    EXPECT_EQ(model->frames.selected, (std::vector<bool>{true, false, false, false, true, false}));
    model->reelNotify(vc::kAnimFrameReel, ReelEvent::DoubleClick, 0);
    EXPECT_EQ(model->frames.selectedCount(), 6);
    model->reelNotify(vc::kAnimStepReel, ReelEvent::Click, 0);
    EXPECT_EQ(model->steps.current, 0);
}

TEST_F(AnimDialog, OkSendsHotspotsAndTextsCancelRestoresTheDocumentExactly) {
    editor.hotspots[1] = 5 | 5 << 16;
    open(3, {0, 1, 2}, {4, 8, 8});
    CursorAnimationDocument before;
    std::memcpy(&before, model->document(), sizeof before);
    model->setRateForAll(false);
    model->rateText = "30";
    model->command(vc::kAnimNext);
    selectFrames({0, 2}, 0);
    model->command(vc::kAnimInsert);
    model->command(vc::kAnimDelete);
    model->titleText = "changed";
    model->cancel();
    EXPECT_EQ(std::memcmp(&before, model->document(), sizeof before), 0);
    EXPECT_EQ(editor.count(HOST_SET_HOTSPOT), 0u);

    open(3, {0, 1, 2}, {4, 8, 8});
    model->titleText = std::string(100, 'x');
    model->authorText = "me";
    model->hotspots[2] = 9;
    EXPECT_EQ(model->pressEnter(), 1);
    const CursorAnimationDocument *d = model->document();
    EXPECT_EQ(d->header.defaultRate, 4u);
    EXPECT_EQ(std::string(d->title), std::string(79, 'x'));
    EXPECT_STREQ(d->author, "me");
    ASSERT_EQ(editor.count(HOST_SET_HOTSPOT), 3u);
    EXPECT_EQ(editor.hotspots[1], 5u | 5u << 16);
    EXPECT_EQ(editor.hotspots[2], 9u);
    EXPECT_FALSE(model->timerRunning);
}

TEST_F(AnimDialog, StoppedPreviewFollowsTheStepAndPlayUsesItsRate) {
    open(2, {0, 1}, {3, 6});
    model->command(vc::kAnimStop);
    EXPECT_FALSE(model->timerRunning);
    ASSERT_TRUE(model->moveTo(1));
    EXPECT_EQ(model->previewStep, 1);
    EXPECT_EQ(model->previewFrame, 1);
    model->command(vc::kAnimPlay);
    EXPECT_EQ(model->timerInterval, 96u);  // 6 x 16 ms
}

}  // namespace
