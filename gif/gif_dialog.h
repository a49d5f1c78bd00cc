// The GIF animation dialog (template 110) as a portable model: the file
// settings (comment, looping, background colour) and, frame by frame, each
// frame's delay, disposal, position, interlace and user-input settings of a
// copy of the document's record. The film strip (its own model, with this
// dialog as its parent) keeps the current frame and the selection by the
// strip's rules, so that the frame-by-frame editing behaves as the real
// dialog's.
// The Windows view, the playback window and the browser preview map onto
// this model; headless, a responder edits it and presses OK.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controls/reel_model.h"
#include "common/editor_link.h"
#include "gif/gif_record.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "velmconv/velmconv.h"

namespace vc {

constexpr int32_t kGifLoopMax = 32700;
constexpr int32_t kGifDelayMax = 32700;
constexpr int32_t kGifPositionStepMax = 500;  // the arrows' range
constexpr uint32_t kGifPositionMax = 1024;    // what a typed position is lowered to

// Notification codes of edits the dialog answers.
enum : int { kEditSetFocus = 0x0100, kEditKillFocus = 0x0200, kEditUpdate = 0x0400 };

struct GifAnimationDialogModel : plat::DialogModel, ReelParent {
    static constexpr int kTemplate = IDD_GIF_ANIMATION;
    int templateId() const override { return kTemplate; }

    GifAnimationDialogModel() = default;
    GifAnimationDialogModel(const GifAnimationDialogModel &) = delete;
    GifAnimationDialogModel &operator=(const GifAnimationDialogModel &) = delete;

    GifAnimRecord *record = nullptr;
    HostCallback callback = nullptr;

    // The film strip (control 111, with multiple selection).
    ReelModel strip{IDC_GIFANIM_STRIP, REELS_MULTISEL, this};

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
    std::string browserCommand;                         // the browser's program
    bool enterFlag = false;
    int focus = 0;

    // ---- What the dialog does ------------------------------------------------------
    // WM_INITDIALOG's portable part: file settings, the editor's image size
    // into the record, the strip's frames, frame 0 shown.
    bool start() override;
    void LoadFrameSettings(int32_t frame);
    // Stores the shown frame and copies its settings to the selected frames
    // (or all, with 119); returns its index, or -1 when no frame is shown.
    int32_t StoreFrameSettings();
    void LoadFileSettings();
    void StoreFileSettings();

    // A check box or radio button flips (a radio is checked, its partner
    // cleared), then its command runs; buttons run their command.
    bool clicked(int controlId) override;
    // WM_COMMAND from a control with another notification code (the
    // comment edit's focus and update).
    void notify(int controlId, int code);
    std::string *textField(int id) override;
    bool enabled(int id) const override;
    int isChecked(int id) const override;
    // Static 109: the number of the frame shown, from 1.
    bool shownText(int id, std::string &text) const override {
        if (id == IDC_GIFANIM_FRAME_NUMBER) text = frameNumber;
        return id == IDC_GIFANIM_FRAME_NUMBER;
    }
    // The disposal list (116).
    int32_t listCount(int id) const override { return id == IDC_GIFANIM_DISPOSAL ? int32_t(disposalNames.size()) : -1; }
    bool listText(int id, int32_t index, std::string &text) const override;
    void edited(int id) override { notify(id, kEditUpdate); }
    bool select(int listId, int32_t index) override;
    // The arrow scroll bars.
    void scroll(int scrollBarId, int scrollCode) override;
    // The strip's notifications (REELN_CURRENT, REELN_CLICK, REELN_SELCHANGE).
    void reelNotify(int reelId, int code, int32_t frame) override;
    const ReelModel *reelFor(int reelId) const override { return reelId == strip.id() ? &strip : nullptr; }
    // The background colour the user picked (command 19), with the editor
    // palette's colour at that index.
    void setBackground(int32_t index, GifRgbQuad color);

    bool pressOk() override;
    intptr_t pressEnter() override;

    // "W&WW-Browser": the settings as they stand written to a temporary
    // GIF, the browser started on it, the file deleted again. 1 when the
    // browser was started.
    int browserPreview();
    // The temporary file of the last browser preview (gone by the time it
    // returns).
    std::string browserFile;

    // The editor's palette (command 6) and its colours.
    void *palette = nullptr;
    std::vector<GifRgbQuad> paletteColors;
    int backgroundChanges = 0;  // the swatch needs a new brush and a repaint

private:
    EditorLink editor() const { return EditorLink(callback); }
};

// The browser's command line is built in this many characters; a longer
// one is refused.
constexpr size_t kBrowserLineMax = 520;

// A browser command from the registry cut to its program: right after the
// first quotation mark from the second character on, else at the last
// blank.
std::string shortenBrowserCommand(std::string command);

// Starts the browser command on the file with a window a little larger
// than the animation's screen. 1 when it started, else 0 (also when the
// command line would not fit kBrowserLineMax characters).
int LaunchBrowserPreview(const std::string &command, const char *fileName, const GifAnimRecord &record);

// An unsigned decimal number with optional blanks around it, as the
// system's reading of a dialog item takes it; nothing for anything else.
std::optional<uint32_t> parseDialogUnsigned(const std::string &text);


}  // namespace vc
