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
#include "velmconv/velmconv.h"

namespace vc {

// Template and control ids of both dialogs.
enum : int {
    kSelectCursorTemplate = 107,
    kChangeCursorTemplate = 108,
    kCursorSize16 = 100,
    kCursorSize32 = 101,
    kCursorSize64 = 102,
    kCursorSizeKeep = 103,   // 107: "Maintain current size"
    kCursorSizeOther = 103,  // 108: "other"
    kCursorEditX = 104,
    kCursorEditY = 105,
    kCursorColors2 = 106,
    kCursorColors16 = 107,
    kCursorColors256 = 108,
    kCursorScale = 109,
    kCursorWarningIcon = 110,
};

// Cursor size value: width in the low, height in the high 16 bits.
constexpr uint32_t kCursorSizeCancelled = 0xFFFFFFFFu;
constexpr uint32_t cursorSize(uint32_t width, uint32_t height) { return (width & 0xFFFF) | ((height & 0xFFFF) << 16); }

// ---- Template 107 -------------------------------------------------------------
struct SelectCursorSizeModel : plat::DialogModel {
    int checked = kCursorSize32;  // the radio button that is on (100 to 103)
    // A click on a size button checks it alone.
    void click(int id) {
        if (id >= kCursorSize16 && id <= kCursorSizeKeep) checked = id;
    }
    // OK ends with the checked button's id, Cancel with 0.
    intptr_t ok() const { return checked; }
    static intptr_t cancel() { return 0; }
    intptr_t pressEnter() override { return ok(); }
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
    ConvFormatChange *record = nullptr;  // filled at start and on OK
    int sizeChoice = kCursorSize32;      // 100 to 103
    int colorChoice = 0;                 // 106 to 108, 0 when none is on
    std::string x, y;                    // the X and Y fields
    bool scale = true;                   // "Scale Image"

    // Start-up: reads the editor's size (command 0, value 4) and colour
    // setting (command 0, value 3), stores the latter in the record and sets
    // the controls from them.
    void start(HostCallback callback, ConvFormatChange *target);
    // A click on a radio button checks it alone in its group; the check box
    // toggles.
    void click(int id);
    // OK: fills the record and answers true, or answers false (the dialog
    // beeps and stays open) when "other" is on and a field is not a number
    // of at least 8.
    bool ok();
    static intptr_t cancel() { return 0; }
    // Enter is OK: 1 when it was accepted; a refused OK beeps and, with no
    // user to correct the fields, ends like Cancel.
    intptr_t pressEnter() override;
};

// Runs template 108 with record as its result: 1 on OK (record filled), 0 on
// Cancel (record as filled at start).
int32_t ChangeCursorFormatDialog(Wnd parent, HostCallback callback, ConvFormatChange *record);

// Parses a field of "other": a signed decimal number, optionally surrounded
// by blanks; false for anything else.
bool parseCursorField(const std::string &text, long &value);

}  // namespace vc
