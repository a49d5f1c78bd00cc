// The GIF animation dialog (template 110) as a portable model: the file
// settings (comment, looping, background colour) and, frame by frame, each
// frame's delay, disposal, position, interlace and user-input settings of a
// copy of the document's record. The film strip's state (frame count,
// current frame, selection) is part of the model, kept by the strip's own
// rules, so that the frame-by-frame editing behaves as the real dialog's.
// The Windows view, the playback window and the browser preview map onto
// this model; headless, a responder edits it and presses OK.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gif/gif_record.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

constexpr int32_t kGifLoopMax = 32700;
constexpr int32_t kGifDelayMax = 32700;
constexpr int32_t kGifPositionStepMax = 500;  // the arrows' range
constexpr uint32_t kGifPositionMax = 1024;    // what a typed position is lowered to

struct GifAnimationDialogModel : plat::DialogModel {
    GifAnimRecord *record = nullptr;
    HostCallback callback = nullptr;

    // Keys held while the user acts; the Windows view reads them from the
    // keyboard state, a headless responder sets them.
    bool altDown = false, shiftDown = false, ctrlDown = false, enterDown = false;

    // ---- The film strip (control 111, with multiple selection) ---------------
    int32_t stripCount = 0;
    int32_t stripCurrent = -1;
    std::vector<uint8_t> stripSelected;
    void stripSetFrames(int32_t count);
    void stripSetCurrent(int32_t index);
    bool stripGetSel(int32_t index) const;
    // REEL_SETSEL over first..last (last lowered to the last frame); sends
    // the selection-change notification to the dialog.
    void stripSetSel(bool select, uint32_t first, uint32_t last);
    int32_t stripSelCount() const;

    // ---- Control state ----------------------------------------------------------
    bool commentOn = false, commentEnabled = true;  // 100, 101
    std::string comment;                             // 101
    size_t commentCaret = 0;                         // where a line break goes in 101
    bool repeatOn = false;                           // 102
    bool infiniteChecked = false, loopsChecked = false;  // 103, 104
    bool loopRadiosEnabled = true, loopCountEnabled = true;
    std::string loopCount;                            // 105
    std::string frameNumber;                          // 109
    bool sameForAll = false, sameForAllEnabled = true;  // 119
    bool delayOn = false, delayEnabled = true;          // 112; 113 and 114
    std::string delay;                                  // 113
    bool userInput = false;                             // 115
    std::vector<std::string> disposalNames;             // 116's list
    int32_t disposal = 0;                               // 116's selection
    bool interlaced = false;                            // 117
    std::string left, top;                              // 121, 123
    bool browserEnabled = true;                         // 125
    bool enterFlag = false;
    int focus = 0;
    bool ended = false;
    intptr_t result = 0;

    // ---- What the dialog does ------------------------------------------------------
    // WM_INITDIALOG's portable part: file settings, the editor's image size
    // into the record, the strip's frames, frame 0 shown.
    void initialize();
    void LoadFrameSettings(int32_t frame);
    // Stores the shown frame and copies its settings to the selected frames
    // (or all, with 119); returns its index, or -1 when no frame is shown.
    int32_t StoreFrameSettings();
    void LoadFileSettings();
    void StoreFileSettings();

    // WM_COMMAND from a control, with its notification code.
    void command(int controlId, int notification = 0);
    // WM_VSCROLL from one of the arrow scroll bars.
    void scroll(int scrollBarId, int scrollCode);
    // Film-strip notifications (REELN_CURRENT 1, REELN_CLICK 2, REELN_SELCHANGE 5).
    void stripNotify(int notification, int32_t frame);
    // The background colour the user picked (command 19), with the editor
    // palette's colour at that index.
    void setBackground(int32_t index, GifRgbQuad color);

    // The user's click on a check box or radio button: its state flips (a
    // radio is checked, its partner cleared), then its command runs.
    void click(int controlId);

    bool pressOk();
    void pressCancel();
    intptr_t pressEnter() override;

    // The dialog window, for the editor's colour questions.
    Wnd window = nullptr;
    // The editor's palette (command 6) and its colours.
    void *palette = nullptr;
    std::vector<GifRgbQuad> paletteColors;
    int backgroundChanges = 0;  // the swatch needs a new brush and a repaint
};

// An unsigned decimal number with optional blanks around it, as the
// system's reading of a dialog item takes it; nothing for anything else.
std::optional<uint32_t> parseDialogUnsigned(const std::string &text);

// The colours of an editor palette handle; none headless, where the editor
// has no palette.
std::vector<GifRgbQuad> editorPaletteColors(void *palette);

// Notification codes of the film strip the dialog answers.
enum : int { kReelNotifyCurrent = 1, kReelNotifyClick = 2, kReelNotifySelChange = 5 };
// Notification codes of edits the dialog answers.
enum : int { kEditSetFocus = 0x0100, kEditKillFocus = 0x0200, kEditUpdate = 0x0400 };

}  // namespace vc
