// The portable model of "Define Cursor animation" (template 106): start-up,
// committing and refusing fields, step editing with the 256-step limit and
// the follow-up selection, the apply-to-all rules, scroll bars, the preview
// timer, OK and Cancel.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "cursor/cursor_anim_dialog.h"
#include "platform/headless_dialog.h"
#include "support/cursor_files.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;
using vc::CursorAnimationDialogModel;
using U = std::vector<uint32_t>;

namespace {

class AnimDialog : public LibraryTest {
protected:
    // A document with these steps over an editor holding `frameCount` frames.
    void open(int frameCount, U seq, U rates = {}) {
        model.reset();
        if (block) VcMemFree(block);
        editor.images.clear();
        for (int i = 0; i < frameCount; ++i) editor.addIcon(iconData(32, 32, 4));
        if (rates.empty()) rates.assign(seq.size(), 0);
        block = makeDocument(seq, rates, "Title");
        model = std::make_unique<CursorAnimationDialogModel>(block, 0, FakeEditor::callback());
        ASSERT_TRUE(model->start());
    }
    void TearDown() override {
        model.reset();
        if (block) VcMemFree(block);
        LibraryTest::TearDown();
    }
    U sequence() const { return U(model->document()->sequence, model->document()->sequence + model->stepCount()); }
    U rates() const { return U(model->document()->rates, model->document()->rates + model->stepCount()); }
    void selectFrames(std::initializer_list<int> frames, int current) {
        model->frames.setSel(false, 0, 999);
        for (int f : frames) model->frames.setSel(true, uint32_t(f), uint32_t(f));
        model->frames.setCurrent(current);
    }

    FakeEditor editor;
    UiRecorder ui;
    void *block = nullptr;
    std::unique_ptr<CursorAnimationDialogModel> model;
};

TEST_F(AnimDialog, StartUpGivesOneStepPerFrameAndThePreviewRunsAtTheRates) {
    editor.hotspots[2] = 7;
    open(4, {});
    // Cycle page; "alle Positionen" as all rates are equal, "Individuell" as
    // frame 2's hotspot differs. The timer walks the steps at max(10, rate x 16) ms.
    EXPECT_EQ(std::make_tuple(sequence(), model->document()->header.frameCount, model->cyclePage, model->rateForAll,
                              model->hotspotCommon, model->timerInterval),
              std::make_tuple(U{0, 1, 2, 3}, 4u, true, true, false, 10u));
    model->document()->rates[1] = 20;
    model->timerTick();
    EXPECT_EQ(std::make_tuple(model->previewStep, model->timerInterval), std::make_tuple(1, 320u));
    for (int i = 0; i < 3; ++i) model->timerTick();
    EXPECT_EQ(model->previewStep, 0);
    // Stopped, the preview follows the current step; Play restarts at its rate.
    model->click(vc::kAnimStop);
    model->click(vc::kAnimRateEach);
    ASSERT_TRUE(model->moveTo(1));
    EXPECT_EQ(std::make_tuple(model->timerRunning, model->previewStep, model->previewFrame), std::make_tuple(false, 1, 1));
    ASSERT_TRUE(model->moveTo(2));  // frame 2's own hotspot
    EXPECT_EQ(model->xText + "," + model->yText, "7,0");
    ASSERT_TRUE(model->moveTo(1));
    model->click(vc::kAnimPlay);
    EXPECT_EQ(model->timerInterval, 320u);
    model->xText = "9", model->yText = "4";  // the running preview takes a new hotspot at once
    ASSERT_TRUE(model->moveTo(1));
    EXPECT_EQ(std::make_pair(model->previewX, model->previewY), std::make_pair(9, 4));
    model->finish();  // the dialog's end stops the preview and lets the document go
    EXPECT_TRUE(!model->timerRunning && model->document() == nullptr);

    // Without frames there are no steps: sequence page, OK disabled, Enter
    // cancels. A block that is not a cursor animation document ends at once.
    for (uint16_t code : {166, 0}) {
        FakeEditor empty;
        void *doc = makeDocument({}, {});
        static_cast<vc::CursorAnimationDocument *>(VcMemLock(doc))->formatCode = code;
        VcMemUnlock(doc);
        {
            CursorAnimationDialogModel m(doc, 0, FakeEditor::callback());
            EXPECT_EQ(m.start(), code != 0);
            EXPECT_FALSE(m.cyclePage || m.timerRunning || m.okEnabled());
            EXPECT_EQ(m.pressEnter(), 0);
        }
        VcMemFree(doc);
    }
}

TEST_F(AnimDialog, InsertReplaceAndAddPlaceTheSelectedFramesWithinTheStepLimit) {
    const std::tuple<int, U, U, int> cases[] = {  // command, steps, rates, current step
        {vc::kAnimInsert, {0, 3, 5, 1, 2}, {1, 2, 2, 2, 3}, 2},
        {vc::kAnimReplace, {0, 3, 5, 2}, {1, 2, 2, 3}, 2},
        {vc::kAnimAdd, {0, 1, 2, 3, 5}, {1, 2, 3, 2, 2}, 4},
    };
    for (const auto &[command, seq, rate, current] : cases) {
        open(6, {0, 1, 2}, {1, 2, 3});
        model->click(vc::kAnimRateEach);
        ASSERT_TRUE(model->moveTo(1));
        selectFrames({3, 5}, 3);
        ASSERT_TRUE(model->click(command));
        // The new steps take the current rate; with two frames used nothing is left selected.
        EXPECT_EQ(std::make_tuple(sequence(), rates(), model->steps.current(), model->frames.selCount(), model->frames.current()),
                  std::make_tuple(seq, rate, current, 0, 4)) << command;
    }
    // One frame added: the next is selected, after the last frame the first,
    // while the current frame stays (the strip refuses one past its last).
    open(4, {0});
    for (int current : {2, 3}) {
        selectFrames({}, current);
        ASSERT_TRUE(model->click(vc::kAnimAdd));
        EXPECT_EQ(std::make_tuple(model->frames.current(), model->frames.selected((current + 1) % 4),
                                  model->frames.selCount()),
                  std::make_tuple(3, true, 1));
    }
    EXPECT_EQ(sequence(), (U{0, 2, 3}));

    // 250 steps: 5 chosen frames (the current counts) keep Add enabled, 6 do
    // not; the operation itself never goes past 256.
    open(8, U(250, 0));
    selectFrames({1, 2, 3, 4}, 0);
    EXPECT_TRUE(model->addEnabled());
    selectFrames({1, 2, 3, 4, 5}, 0);
    EXPECT_FALSE(model->addEnabled());
    selectFrames({1, 2, 3, 4, 5, 6, 7}, 0);
    ASSERT_TRUE(model->click(vc::kAnimAdd));
    EXPECT_EQ(std::make_tuple(model->stepCount(), sequence()[255]), std::make_tuple(256, 5u));
    selectFrames({1}, 1);
    ASSERT_TRUE(model->click(vc::kAnimInsert));
    EXPECT_EQ(model->stepCount(), 256);
}

TEST_F(AnimDialog, DeletingStepsAndPageButtonsBeepWhenThereIsNothingToDo) {
    open(3, {0, 1, 2, 1}, {4, 5, 6, 7});
    ASSERT_TRUE(model->moveTo(1));  // a step from the middle: the later ones move up
    ASSERT_TRUE(model->click(vc::kAnimDelete));
    EXPECT_EQ(std::make_tuple(sequence(), rates()), std::make_tuple(U{0, 2, 1}, U{4, 6, 7}));
    ASSERT_TRUE(model->moveTo(2));
    ASSERT_TRUE(model->click(vc::kAnimDelete));
    EXPECT_EQ(std::make_tuple(sequence(), model->steps.current(), model->framesUsed()), std::make_tuple(U{0, 2}, 1, 2));
    ASSERT_TRUE(model->click(vc::kAnimDeleteAll));
    EXPECT_EQ(std::make_tuple(model->steps.current(), model->rateText, model->okEnabled()),
              std::make_tuple(-1, std::string(), false));
    EXPECT_FALSE(model->click(vc::kAnimDelete));
    EXPECT_FALSE(model->click(vc::kAnimCyclePage));  // the page already shown
    ASSERT_TRUE(model->click(vc::kAnimSequencePage));
    EXPECT_FALSE(model->timerRunning);
    EXPECT_FALSE(model->click(vc::kAnimSequencePage));
    EXPECT_EQ(ui.beeps.size(), 3u);
}

TEST_F(AnimDialog, FieldsCommitWhenMovingRefuseNonNumbersAndScrollWithinLimits) {
    open(3, {0, 1, 2}, {5, 5, 5});
    model->click(vc::kAnimRateEach);
    model->click(vc::kAnimHotspotEach);
    model->rateText = "12", model->xText = "4", model->yText = "6";
    ASSERT_TRUE(model->click(vc::kAnimNext));
    EXPECT_EQ(std::make_tuple(rates(), model->hotspots, model->rateText),
              std::make_tuple(U{12, 5, 5}, U{4 | 6 << 16, 0, 0}, std::string("5")));
    // Not a number, or empty: beep and stay.
    model->rateText = "x1";
    EXPECT_FALSE(model->click(vc::kAnimPrevious));
    EXPECT_EQ(ui.beeps.size(), 1u);
    model->rateText = " 7 ", model->yText = "";
    EXPECT_FALSE(model->moveTo(0));
    EXPECT_EQ(model->steps.current(), 1);
    model->yText = "1";
    ASSERT_TRUE(model->click(vc::kAnimPrevious));
    EXPECT_EQ(rates(), (U{12, 7, 5}));
    // "<" from step 0 wraps to the last step; ">" from the last to 0.
    ASSERT_TRUE(model->click(vc::kAnimPrevious));
    EXPECT_EQ(model->steps.current(), 2);
    ASSERT_TRUE(model->click(vc::kAnimNext));
    EXPECT_EQ(model->steps.current(), 0);
    // With "alle Positionen" and "Common" a change reaches every step and frame.
    model->click(vc::kAnimRateAll);
    model->click(vc::kAnimHotspotCommon);
    model->rateText = "9", model->xText = "2", model->yText = "3";
    ASSERT_TRUE(model->moveTo(1));
    EXPECT_EQ(std::make_tuple(rates(), model->hotspots), std::make_tuple(U(3, 9), U(3, 2 | 3 << 16)));

    // Scroll bars apply at once; the rate stops at 255, x at 127 for a
    // 200-wide image, y at the height.
    editor.imageWidth = 200, editor.imageHeight = 20;
    open(2, {0, 1, 0}, {5, 5, 5});
    model->scroll(vc::kAnimRateScroll, 0);
    EXPECT_EQ(rates(), (U{6, 6, 6}));
    model->rateText = "255";
    model->scroll(vc::kAnimRateScroll, 2);
    EXPECT_EQ(model->rateText, "255");
    model->click(vc::kAnimRateEach);
    model->scroll(vc::kAnimRateScroll, 1);
    EXPECT_EQ(rates(), (U{254, 255, 255}));
    model->click(vc::kAnimHotspotEach);
    model->xText = "127", model->yText = "20";
    model->scroll(vc::kAnimHotspotXScroll, 0);
    model->scroll(vc::kAnimHotspotYScroll, 0);
    EXPECT_EQ(model->hotspots, (U{127 | 20 << 16, 0}));
    model->xText = "abc";
    model->scroll(vc::kAnimHotspotXScroll, 0);
    EXPECT_EQ(model->xText, "abc");
    model->click(vc::kAnimDeleteAll);  // no current step: the bars do nothing
    model->scroll(vc::kAnimRateScroll, 0);
    EXPECT_TRUE(model->rateText.empty());
}

TEST_F(AnimDialog, FrameStripClicksSelectAsTheModifiersSay) {
    open(6, {0});
    auto click = [&](int frame, bool shift, bool ctrl) {
        model->shiftDown = shift, model->ctrlDown = ctrl;
        model->reelNotify(vc::kAnimFrameReel, vc::REELN_CLICK, frame);
    };
    auto selection = [&] {
        std::vector<bool> s;
        for (int i = 0; i < 6; ++i) s.push_back(model->frames.selected(i));
        return s;
    };
    click(2, false, false);
    click(4, true, false);  // Shift toggles one
    // Ctrl: from the current frame to the clicked one, in either order.
    click(0, false, true);
    EXPECT_EQ(selection(), (std::vector<bool>{true, true, true, false, true, false}));
    click(1, false, true);
    EXPECT_EQ(selection(), (std::vector<bool>{true, false, false, false, true, false}));
    model->reelNotify(vc::kAnimFrameReel, vc::REELN_DBLCLK, 0);
    EXPECT_EQ(model->frames.selCount(), 6);
    model->reelNotify(vc::kAnimFrameReel, vc::REELN_DBLCLK, 0);  // all: none; none: all
    EXPECT_EQ(model->frames.selCount(), 0);
    model->reelNotify(vc::kAnimFrameReel, vc::REELN_DBLCLK, 0);
    EXPECT_EQ(model->frames.selCount(), 6);

    // The step strip: a click or a new current step shows that step, nothing
    // else moves it. Frames of one hotspot start with it common.
    open(3, {0, 1, 2});
    EXPECT_TRUE(model->hotspotCommon);
    model->reelNotify(vc::kAnimStepReel, vc::REELN_CURRENT, 2);
    model->reelNotify(vc::kAnimStepReel, vc::REELN_DBLCLK, 0);
    EXPECT_EQ(std::make_pair(model->steps.current(), model->position), std::make_pair(2, 2));
    model->reelNotify(vc::kAnimStepReel, vc::REELN_CLICK, 1);
    EXPECT_EQ(model->position, 1);
}

TEST_F(AnimDialog, OkSendsHotspotsAndTextsCancelRestoresTheDocumentExactly) {
    editor.hotspots[1] = 5 | 5 << 16;
    open(3, {0, 1, 2}, {4, 8, 8});
    vc::CursorAnimationDocument before;
    std::memcpy(&before, model->document(), sizeof before);
    model->click(vc::kAnimRateEach);
    model->rateText = "30";
    model->click(vc::kAnimNext);
    selectFrames({0, 2}, 0);
    model->click(vc::kAnimInsert);
    model->click(vc::kAnimDelete);
    model->titleText = "changed";
    model->pressCancel();
    EXPECT_EQ(std::memcmp(&before, model->document(), sizeof before), 0);
    EXPECT_EQ(editor.count(HOST_SET_HOTSPOT), 0u);

    open(3, {0, 1, 2}, {4, 8, 8});
    model->titleText = std::string(100, 'x');
    model->authorText = "me";
    model->hotspots[2] = 9;
    EXPECT_EQ(model->pressEnter(), 1);
    const vc::CursorAnimationDocument *d = model->document();
    EXPECT_EQ(std::make_tuple(d->header.defaultRate, std::string(d->title), std::string(d->author), model->timerRunning),
              std::make_tuple(4u, std::string(79, 'x'), std::string("me"), false));
    EXPECT_EQ(std::make_tuple(editor.count(HOST_SET_HOTSPOT), editor.hotspots[1], editor.hotspots[2]),
              std::make_tuple(3u, 5u | 5u << 16, 9u));
}

}  // namespace

// A host reads the dialog's radio buttons, "show hotspot" and both strips
// through the public calls alone.
TEST_F(AnimDialog, ButtonsAndStripsReadThroughThePublicCalls) {
    editor.hotspots[2] = 7;
    open(4, {0, 1, 2});
    VcDialog d{*model};
    std::vector<int32_t> seen;
    for (int id : {VC_IDC_ANIM_RATE_EACH, VC_IDC_ANIM_RATE_ALL, VC_IDC_ANIM_HOTSPOT_EACH, VC_IDC_ANIM_HOTSPOT_COMMON,
                   VC_IDC_ANIM_SHOW_HOTSPOT, VC_IDC_ANIM_TITLE})
        seen.push_back(VcDialogChecked(&d, id));
    for (int id : {VC_IDC_ANIM_STEP_REEL, VC_IDC_ANIM_FRAME_REEL, VC_IDC_ANIM_TITLE}) seen.push_back(VcDialogReelCount(&d, id));
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 1, 0, 1, -1, 3, 4, -1}));
    // The statics as the dialog shows them: frames, frames used, steps,
    // position, frame; the title is an edit.
    std::string shown;
    for (int id : {VC_IDC_ANIM_FRAME_COUNT, VC_IDC_ANIM_FRAMES_USED, VC_IDC_ANIM_STEP_COUNT, VC_IDC_ANIM_POSITION,
                   VC_IDC_ANIM_FRAME, VC_IDC_ANIM_TITLE}) {
        char text[8];
        shown += std::string(VcDialogGetText(&d, id, text, sizeof text) >= 0 ? text : "-") + "|";
    }
    EXPECT_EQ(shown, "4|3|3|0|0|Title|");
}
