// "Define Cursor animation" (template 106): the portable model of the
// dialog in which the user turns the editor's images into an animated
// cursor. It edits the cursor animation document in place: steps (which
// frame shows at each step), the rate of each step, a hotspot per frame,
// title and author. Cancel restores the document from a copy made at start;
// OK sends the hotspots to the editor.
//
// Everything but drawing lives here: the Win32 view maps control
// notifications onto these operations and shows the state; headless hosts
// get the model through the UI seam and press Enter (OK).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controls/reel_model.h"
#include "cursor/ani.h"
#include "common/editor_link.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// Template 106 and its controls.
enum : int {
    kAnimTemplate = 106,
    kAnimTitle = 100,
    kAnimAuthor = 101,
    kAnimStepReel = 102,
    kAnimFrameCount = 103,
    kAnimFramesUsed = 104,
    kAnimStepCount = 105,
    kAnimPrevious = 107,
    kAnimNext = 108,
    kAnimSequencePage = 109,
    kAnimCyclePage = 110,
    kAnimHelp = 111,
    kAnimPosition = 112,
    kAnimFrame = 113,
    kAnimFrameReel = 120,
    kAnimAdd = 121,
    kAnimInsert = 122,
    kAnimReplace = 123,
    kAnimDelete = 124,
    kAnimDeleteAll = 125,
    kAnimSpeedGroup = 130,
    kAnimRateEach = 131,  // "Individual"
    kAnimRateAll = 132,   // "alle Positionen"
    kAnimRate = 133,
    kAnimRateScroll = 134,
    kAnimRateUnit = 135,
    kAnimHotspotGroup = 136,
    kAnimHotspotEach = 137,    // "Individuell"
    kAnimHotspotCommon = 138,  // "Common"
    kAnimHotspotX = 139,
    kAnimHotspotXScroll = 140,
    kAnimHotspotY = 141,
    kAnimHotspotYScroll = 142,
    kAnimPreviewGroup = 143,
    kAnimPreview = 144,
    kAnimBackground = 145,
    kAnimShowHotspot = 146,
    kAnimStop = 147,
    kAnimPlay = 148,
};

constexpr int kAnimTimerId = 77;
constexpr uint32_t kAnimDefaultBackground = 0xFF8080;  // RGB 128, 128, 255 as a Windows colour value

// The preview timer's interval for a rate in 1/60 s: 16 ms per unit, at
// least 10 ms.
uint32_t previewInterval(uint32_t rate);

struct CursorAnimationDialogModel : plat::DialogModel, ReelParent {
    static constexpr int kTemplate = kAnimTemplate;
    int templateId() const override { return kTemplate; }

    CursorAnimationDialogModel(MemHandle document, uint32_t option, HostCallback callback);
    ~CursorAnimationDialogModel() override;
    CursorAnimationDialogModel(const CursorAnimationDialogModel &) = delete;
    CursorAnimationDialogModel &operator=(const CursorAnimationDialogModel &) = delete;

    // WM_INITDIALOG. False when the dialog must end at once with 0 (not a
    // cursor animation document, or no memory for the backup).
    bool start() override;
    // WM_DESTROY: stops the timer, unlocks the document, frees the backup.
    // Runs at most once; the destructor calls it too.
    void finish();
    // Enter: OK when OK is enabled (there are steps), otherwise Cancel.
    intptr_t pressEnter() override;

    // ---- Operations (the view's notifications) ----------------------------------
    // A button, radio button, check box or menu command. False when the
    // dialog beeped instead.
    bool clicked(int id) override;
    std::string *textField(int id) override;
    bool enabled(int id) const override { return id != kAnimRate || rateEnabled; }
    // The strips' notifications; a click on strip 120 reads Shift and Ctrl.
    void reelNotify(int reelId, int code, int32_t index) override;
    // WM_VSCROLL from scroll bar barId with a scroll code (0, 2 up; 1, 3 down).
    void scroll(int barId, int code) override;
    // WM_TIMER of the preview timer.
    void timerTick();

    bool pressOk() override;     // OK: default rate, title, author, hotspots to the editor
    void pressCancel() override; // Cancel: the document as it was at start

    // Shows step s in the fields; with commit, first applies the fields to
    // the current step, and refuses (false) when one is not a number.
    bool showStep(int s, bool commit);
    // Moves to step n: commit, beep and stay on refusal.
    bool moveTo(int n);

    // ---- State the view shows ----------------------------------------------------
    std::string titleText, authorText;  // 100, 101
    std::string rateText, xText, yText;  // 133, 139, 141
    bool rateEnabled = false;
    int position = -1;   // 112
    int shownFrame = -1; // 113
    bool cyclePage = false;
    bool rateForAll = false;     // "alle Positionen" on, else "Individual"
    bool hotspotCommon = false;  // "Common" on, else "Individuell"
    bool showHotspot = true;
    ReelModel steps{kAnimStepReel, 0, this};                // strip 102, without selection
    ReelModel frames{kAnimFrameReel, REELS_MULTISEL, this};  // strip 120
    int activePageButton = kAnimSequencePage;
    int activePlayButton = kAnimStop;
    bool timerRunning = false;
    uint32_t timerInterval = 0;  // ms, while running
    int previewStep = 0, previewFrame = 0;
    int previewX = 0, previewY = 0;
    unsigned repaints = 0;  // preview repaints asked for
    MemHandle palette = nullptr;
    uint16_t imageWidth = 0, imageHeight = 0;
    std::vector<uint32_t> hotspots;  // one per frame, x low and y high 16 bits

    int frameCount() const;
    int stepCount() const;
    int framesUsed() const;
    bool okEnabled() const { return stepCount() > 0; }
    bool addEnabled() const;  // 121, 122, 123
    CursorAnimationDocument *document() const { return doc_.get(); }
    const EditorLink &editor() const { return editor_; }
    // The preview background, kept between dialogs.
    static uint32_t &background();

private:
    bool commitFields();
    void applyRate(int step, uint32_t rate);
    void applyHotspot(int step, uint32_t hotspot);
    uint32_t hotspotOf(int frame) const;
    void setPreview(int step);
    void startTimer(uint32_t rate);
    void stopTimer();
    void addSteps(int how);
    void deleteStep();
    void deleteAllSteps();
    void frameClick(int index);
    void clearFrameSelection();

    MemHandle block_;
    EditorLink editor_;
    CursorDocumentLock doc_;
    plat::Block backup_;  // the document as it was at start, for Cancel
    bool started_ = false, finished_ = false;
};

}  // namespace vc
