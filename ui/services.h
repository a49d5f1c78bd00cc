// Dialog services and the progress window shared by every format and
// dialog: progress window with percentage bar and Cancel flag, message
// pump, centring, edit-field stepping, string message boxes, help, the
// colour chooser, menu items for the editor, and small wrappers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// ---- Progress window -------------------------------------------------------
struct ProgressState {
    bool exists = false;  // a progress window procedure is installed
    Wnd window = nullptr;
    int32_t percent = 0;
    int32_t cancel = 0;
};
ProgressState &progressState();

Wnd CreateProgressDialog(Wnd parent, ModuleHandle module, int templateId);
int32_t SetProgress(int32_t percent);
int32_t DestroyProgressDialog(Wnd window);
void PumpMessages(Wnd dialog);

// The progress window procedure's portable part; the Windows dialog
// procedure and the headless window both call these.
void progressOnInit(Wnd window);       // WM_INITDIALOG
void progressOnCommand(int commandId); // WM_COMMAND
int32_t progressOnUser(int32_t percent);  // WM_USER: keeps p, returns it clamped

// Geometry of the bar for a client rectangle W x H at percentage p.
struct ProgressBarLayout {
    int32_t split;        // first white column; blue covers 1 .. split-1
    int32_t blueX, blueY, blueWidth, blueHeight;
    int32_t whiteX, whiteY, whiteWidth, whiteHeight;
    int32_t textCenterX, textTop;
    char text[16];        // "%d%%"
};
ProgressBarLayout progressBarLayout(int32_t width, int32_t height, int32_t percent);

// ---- Dialog services ---------------------------------------------------------
// Position of a window of size w x h centred on a parent's rectangle and
// kept on the screen.
void centeredPosition(const plat::Rect &parent, int32_t w, int32_t h, int32_t screenW, int32_t screenH,
                      int32_t &x, int32_t &y);
void CenterDialog(Wnd window);

// One arrow step on a number: the new value, or nothing when text is not a
// signed number.
std::optional<int32_t> stepValue(const char *text, int scrollCode, int32_t minimum, int32_t maximum);
int32_t StepEditValue(Wnd dialog, int editId, int scrollCode, int32_t minimum, int32_t maximum);

int ShowStringMessage(Wnd owner, unsigned titleId, unsigned textId, uint32_t style);
// The help file's name: the module name with everything from its last dot
// replaced by ".hlp"; empty when the name has no dot.
std::string helpFileName(const char *moduleName);
void ShowHelp(Wnd window, uint32_t command, uintptr_t data);
int32_t PickColor(Wnd owner, uint32_t *color);
uint32_t *customColors();  // the 16 custom colours kept for the library's life

intptr_t AddHostMenuItem(int16_t slot, uint32_t position, uint32_t flags, uint32_t commandId, unsigned textId,
                         HostCallback callback);
int32_t DeleteFileAnsi(const char *fileName);
// Rewrites the name in one of the editor's 260-byte file-name buffers to end
// in extension (".ANI", ".GIF") from its last dot on. A name without a dot,
// or one whose new ending would not fit the buffer, stays as it is.
void ReplaceFileExtension(char *fileName, const char *extension);
uint16_t GetDocumentFormat(MemHandle block);

// Packing of two 16-bit numbers into one 32-bit value (low word x or width).
constexpr uint32_t packPoint(int32_t x, int32_t y) {
    return (uint32_t(uint16_t(x))) | (uint32_t(uint16_t(y)) << 16);
}
constexpr int16_t pointX(uint32_t p) { return int16_t(p & 0xFFFF); }
constexpr int16_t pointY(uint32_t p) { return int16_t(p >> 16); }
void SplitPoint(uint32_t packed, int32_t *x, int32_t *y);

}  // namespace vc
