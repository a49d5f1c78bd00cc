// Animated GIF import: how the frames of a file with several images reach
// the editor. Equal-sized frames become a sequence at once; frames of
// different sizes let the user choose in the import options dialog
// (template 109): a sequence at one size, one particular frame, or the
// image that all frames assemble on the logical screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gif/gif_read.h"
#include "gif/gif_record.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "velmconv/velmconv.h"

namespace vc {

// Sizes the sequence accepts in the dialog.
constexpr uint32_t kGifImportMinSize = VC_GIF_IMPORT_MIN_SIZE;
constexpr uint32_t kGifImportMaxSize = VC_GIF_IMPORT_MAX_SIZE;

// The import options dialog (template 109) as a portable model: its state,
// what each control's notification does, and what OK decides. The Windows
// view maps control notifications onto these calls and copies the state
// back into the controls; headless, a responder edits the state and the
// model presses OK.
struct GifImportOptionsModel : plat::DialogModel {
    static constexpr int kTemplate = IDD_GIF_IMPORT;
    int templateId() const override { return kTemplate; }

    GifAnimRecord *record = nullptr;
    HostCallback callback = nullptr;

    // Limits found over the frames (start values before any frame is seen).
    uint16_t minWidth = 32760, minHeight = 32760, maxWidth = 0, maxHeight = 0;

    // Control state.
    std::vector<std::string> frameTexts;  // list box 110, one line per frame
    int32_t listSelection = -1;           // list box 110's selection, -1 none
    int checkedRadio = 0;                 // 100, 101 or 102
    std::string widthText, heightText;    // edits 111 and 113
    bool sizeLocked = false;              // 111 to 114 disabled: the editor's size rules
    int focus = 0;                        // the control OK put the focus on, 0 none
    int beeps = 0;                        // beeps OK gave

    // WM_INITDIALOG: the list, the limits, the editor-size lock, the sizes
    // and the sequence radio.
    bool start() override;
    // Spin 112 or 114 with a scroll code.
    void scroll(int scrollBarId, int scrollCode) override;
    // A line of list 110 chosen: the frame radio with it.
    bool select(int listId, int32_t index) override;
    std::string *textField(int id) override;
    bool enabled(int id) const override;
    // Typing into a size field (or its getting the focus) chooses the sequence.
    void edited(int editId) override;
    // A radio button clicked by the user.
    bool clicked(int radioId) override;
    int32_t listCount(int id) const override { return id == IDC_GIFIMP_LIST ? int32_t(frameTexts.size()) : -1; }
    bool listText(int id, int32_t index, std::string &text) const override;
    int isChecked(int id) const override;
    // "&OK": ends the dialog with a mode, or beeps and keeps it open.
    bool pressOk() override;
    void pressCancel() override { end(kGifImportCancel); }
};

// Runs the import options dialog over the record; returns the mode.
int16_t ShowGifImportOptions(Wnd parent, GifAnimRecord *record, HostCallback callback);

// The mode choice after the scan: one frame (frame 0) with fewer than two
// images or without a callback; a sequence at the first frame's size when
// every frame has that size; otherwise the dialog's answer.
int16_t ChooseGifImportMode(Wnd parent, GifAnimRecord *record, HostCallback callback);

// Mode 2: decodes every frame, in file order and without disposal, over one
// DIB of the logical screen filled with the background; it goes into the
// out-parameter when there is one, else to the editor (command 2, 0x11).
// The record becomes a one-frame document.
Result ImportGifAssembled(GifLoad &load);

// Mode 3: hands every frame to the editor at the record's output size,
// each pulled back inside it, with the shift kept as the frame's position.
Result ImportGifSequence(GifLoad &load);

}  // namespace vc
