// The two cursor format questions: "Select Cursor Format" (template 107),
// asked before an icon, cursor or animated cursor is written when the
// editor's image has no standard cursor size, and "Change Cursor Format"
// (template 108), the animated cursor's command that lets the user pick a
// size and colour count for the editor to convert every image to.
//
// Each is a portable model (state, what each button does, what OK hands
// back); the Win32 view in cursor_format_win.cpp maps controls onto it, and
// headless hosts answer it through the UI seam.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "velmconv/dialogs.h"
#include "velmconv/velmconv.h"

namespace vc {

// Template and control ids of both dialogs.
enum : int {
    kSelectCursorTemplate = VC_IDD_SELECT_CURSOR,
    kChangeCursorTemplate = VC_IDD_CHANGE_CURSOR,
    kCursorSize16 = VC_IDC_CURSOR_SIZE16,
    kCursorSize32 = VC_IDC_CURSOR_SIZE32,
    kCursorSize64 = VC_IDC_CURSOR_SIZE64,
    kCursorSizeKeep = VC_IDC_CURSOR_SIZE_KEEP,   // 107: "Maintain current size"
    kCursorSizeOther = VC_IDC_CURSOR_SIZE_OTHER,  // 108: "other"
    kCursorEditX = VC_IDC_CURSOR_X,
    kCursorEditY = VC_IDC_CURSOR_Y,
    kCursorColors2 = VC_IDC_CURSOR_COLORS2,
    kCursorColors16 = VC_IDC_CURSOR_COLORS16,
    kCursorColors256 = VC_IDC_CURSOR_COLORS256,
    kCursorScale = VC_IDC_CURSOR_SCALE,
    kCursorWarningIcon = VC_IDC_CURSOR_WARNING,
};

// Cursor size value: width in the low, height in the high 16 bits.
constexpr uint32_t kCursorSizeCancelled = 0xFFFFFFFFu;
constexpr uint32_t cursorSize(uint32_t width, uint32_t height) { return (width & 0xFFFF) | ((height & 0xFFFF) << 16); }

// ---- Template 107 -------------------------------------------------------------
struct SelectCursorSizeModel : plat::DialogModel {
    static constexpr int kTemplate = kSelectCursorTemplate;
    int templateId() const override { return kTemplate; }

    int checked = kCursorSize32;  // the radio button that is on (100 to 103)
    // A size button is checked alone.
    bool clicked(int id) override {
        if (id < kCursorSize16 || id > kCursorSizeKeep) return false;
        checked = id;
        return true;
    }
    int isChecked(int id) const override { return id >= kCursorSize16 && id <= kCursorSizeKeep ? checked == id : -1; }
    // OK ends with the checked button's id, Cancel with 0.
    bool pressOk() override {
        end(checked);
        return true;
    }
};

// Maps what template 107 ended with to a cursor size value: 100, 101, 102
// the square sizes, 103 the current size, anything else cancelled.
uint32_t cursorSizeForChoice(intptr_t result, uint16_t width, uint16_t height);

// Returns the size to write the editor's images at: at once when the
// current image is 16 x 16, 32 x 32 or 64 x 64, else what the user picks in
// template 107; kCursorSizeCancelled on Cancel; 0 when the editor cannot
// report the current size (command 0, value 4).
uint32_t SelectCursorSize(Wnd parent, HostCallback callback);

// ---- Template 108 -------------------------------------------------------------
struct ChangeCursorFormatModel : plat::DialogModel {
    static constexpr int kTemplate = kChangeCursorTemplate;
    int templateId() const override { return kTemplate; }

    ChangeCursorFormatModel(HostCallback callback, ConvFormatChange *record) : callback(callback), record(record) {}
    HostCallback callback = nullptr;
    ConvFormatChange *record = nullptr;  // filled at start and on OK
    int sizeChoice = kCursorSize32;      // 100 to 103
    int colorChoice = 0;                 // 106 to 108, 0 when none is on
    std::string x, y;                    // the X and Y fields
    bool scale = true;                   // "Scale Image"

    // Start-up: reads the editor's size (command 0, value 4) and colour
    // setting (command 0, value 3), stores the latter in the record and sets
    // the controls from them.
    bool start() override;
    // A radio button is checked alone in its group; the check box toggles.
    bool clicked(int id) override;
    std::string *textField(int id) override { return id == kCursorEditX ? &x : id == kCursorEditY ? &y : nullptr; }
    int isChecked(int id) const override;
    // OK: fills the record and ends with 1, or beeps and stays open when
    // "other" is on and a field is not a number of at least 8. Cancel ends
    // with 0 and leaves the record as filled at start.
    bool pressOk() override;
};

// Runs template 108 with record as its result: 1 on OK (record filled), 0 on
// Cancel (record as filled at start).
int32_t ChangeCursorFormatDialog(Wnd parent, HostCallback callback, ConvFormatChange *record);

// Parses a field of "other": a signed decimal number, optionally surrounded
// by blanks; false for anything else.
bool parseCursorField(const std::string &text, long &value);

}  // namespace vc
