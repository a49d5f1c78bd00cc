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
#include "velmconv/dialogs.h"
#include "velmconv/velmconv.h"

namespace vc {

// Template 106 and its controls.
enum : int {
    kAnimTemplate = VC_IDD_CURSOR_ANIMATION,
    kAnimTitle = VC_IDC_ANIM_TITLE,
    kAnimAuthor = VC_IDC_ANIM_AUTHOR,
    kAnimStepReel = VC_IDC_ANIM_STEP_REEL,
    kAnimFrameCount = VC_IDC_ANIM_FRAME_COUNT,
    kAnimFramesUsed = VC_IDC_ANIM_FRAMES_USED,
    kAnimStepCount = VC_IDC_ANIM_STEP_COUNT,
    kAnimPrevious = VC_IDC_ANIM_PREVIOUS,
    kAnimNext = VC_IDC_ANIM_NEXT,
    kAnimSequencePage = VC_IDC_ANIM_SEQUENCE_PAGE,
    kAnimCyclePage = VC_IDC_ANIM_CYCLE_PAGE,
    kAnimHelp = VC_IDC_ANIM_HELP,
    kAnimPosition = VC_IDC_ANIM_POSITION,
    kAnimFrame = VC_IDC_ANIM_FRAME,
    kAnimFrameReel = VC_IDC_ANIM_FRAME_REEL,
    kAnimAdd = VC_IDC_ANIM_ADD,
    kAnimInsert = VC_IDC_ANIM_INSERT,
    kAnimReplace = VC_IDC_ANIM_REPLACE,
    kAnimDelete = VC_IDC_ANIM_DELETE,
    kAnimDeleteAll = VC_IDC_ANIM_DELETE_ALL,
    kAnimSpeedGroup = VC_IDC_ANIM_SPEED_GROUP,
    kAnimRateEach = VC_IDC_ANIM_RATE_EACH,  // "Individual"
    kAnimRateAll = VC_IDC_ANIM_RATE_ALL,   // "alle Positionen"
    kAnimRate = VC_IDC_ANIM_RATE,
    kAnimRateScroll = VC_IDC_ANIM_RATE_SPIN,
    kAnimRateUnit = VC_IDC_ANIM_RATE_UNIT,
    kAnimHotspotGroup = VC_IDC_ANIM_HOTSPOT_GROUP,
    kAnimHotspotEach = VC_IDC_ANIM_HOTSPOT_EACH,    // "Individuell"
    kAnimHotspotCommon = VC_IDC_ANIM_HOTSPOT_COMMON,  // "Common"
    kAnimHotspotX = VC_IDC_ANIM_HOTSPOT_X,
    kAnimHotspotXScroll = VC_IDC_ANIM_HOTSPOT_X_SPIN,
    kAnimHotspotY = VC_IDC_ANIM_HOTSPOT_Y,
    kAnimHotspotYScroll = VC_IDC_ANIM_HOTSPOT_Y_SPIN,
    kAnimPreviewGroup = VC_IDC_ANIM_PREVIEW_GROUP,
    kAnimPreview = VC_IDC_ANIM_PREVIEW,
    kAnimBackground = VC_IDC_ANIM_BACKGROUND,
    kAnimShowHotspot = VC_IDC_ANIM_SHOW_HOTSPOT,
    kAnimStop = VC_IDC_ANIM_STOP,
    kAnimPlay = VC_IDC_ANIM_PLAY,
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
    // The radio buttons of the speed and the hotspot, and "show hotspot".
    int isChecked(int id) const override;
    // The statics: frame, used-frame and step counts, the position and
    // the frame shown (empty without one).
    bool shownText(int id, std::string &text) const override;
    // The strips' notifications; a click on strip 120 reads Shift and Ctrl.
    void reelNotify(int reelId, int code, int32_t index) override;
    const ReelModel *reelFor(int reelId) const override {
        return reelId == kAnimStepReel ? &steps : reelId == kAnimFrameReel ? &frames : nullptr;
    }
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
