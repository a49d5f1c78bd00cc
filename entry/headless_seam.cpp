// The headless seam of the Linux library: the progress window's headless
// view and the exported interface a Linux host and the tests drive the
// library's windows, dialogs and memory blocks through (velmconv/headless.h).
#include <algorithm>
#include <cstring>
#include <string>

#include "controls/reel_model.h"
#include "platform/headless_dialog.h"
#include "platform/headless_window.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "ui/services.h"
#include "velmconv/headless.h"

namespace vc::plat {

Wnd progressWindowCreate(Wnd parent, ModuleHandle, int templateId) {
    // The template's size in pixels at the default dialog font (base units
    // 6 x 13), with the caption and frame added.
    const int32_t width = PROGRESS_DLG_CX * 6 / 4 + 8;
    const int32_t height = (templateId == IDD_PROGRESS_CANCEL ? PROGRESS_CANCEL_DLG_CY : PROGRESS_DLG_CY) * 13 / 8 + 27;
    Wnd w = plat::newWindow(parent, plat::Rect{0, 0, width, height});
    plat::Window *win = plat::findWindow(w);
    win->progress = true;
    win->items[IDC_PROGRESS_BAR] = "";
    if (templateId == IDD_PROGRESS_CANCEL) win->items[IDC_PROGRESS_CANCEL] = STR_PROGRESS_CANCEL;
    progressOnInit(w);
    if (plat::uiHost().progress) plat::uiHost().progress(plat::uiHost().user, w, 0, 0);
    return w;
}

void progressWindowUpdate(Wnd w, int32_t percent) {
    plat::Window *win = plat::findWindow(w);
    if (!win) return;
    win->visible = true;
    int32_t shown = progressOnUser(percent);
    if (plat::uiHost().progress) plat::uiHost().progress(plat::uiHost().user, w, shown, 1);
}

}  // namespace vc::plat

// ---- Exported headless interface -------------------------------------------------------
using namespace vc;

namespace {

// A text handed to a host: at most size - 1 characters and a NUL; its
// whole length.
int32_t copyText(const std::string &text, char *buffer, int32_t size) {
    if (buffer && size > 0) {
        const size_t n = std::min(text.size(), size_t(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = 0;
    }
    return int32_t(std::min<size_t>(text.size(), INT32_MAX));
}

}  // namespace

extern "C" {
VC_EXPORT void *VcMemAlloc(uint32_t flags, size_t size) { return plat::memAlloc(flags, size); }
VC_EXPORT void *VcMemLock(void *block) { return plat::memLock(block); }
VC_EXPORT int VcMemUnlock(void *block) { return plat::memUnlock(block) ? 1 : 0; }
VC_EXPORT size_t VcMemSize(void *block) { return plat::memSize(block); }
VC_EXPORT void *VcMemFree(void *block) { return plat::memFree(block); }

VC_EXPORT void *VcCreateWindow(void *parent, int32_t x, int32_t y, int32_t width, int32_t height) {
    return plat::newWindow(parent, plat::Rect{x, y, x + width, y + height});
}
VC_EXPORT void VcDestroyWindow(void *window) { plat::destroyWindow(window); }
VC_EXPORT int VcIsWindowEnabled(void *window) { return plat::isWindowEnabled(window) ? 1 : 0; }
VC_EXPORT int VcGetWindowRect(void *window, int32_t rect[4]) {
    plat::Rect r{};
    if (!rect || !plat::windowRect(window, r)) return 0;
    rect[0] = r.left;
    rect[1] = r.top;
    rect[2] = r.right;
    rect[3] = r.bottom;
    return 1;
}
VC_EXPORT void VcSetScreenSize(int32_t width, int32_t height) {
    plat::setScreenSize(width, height);
}
VC_EXPORT void VcPressButton(void *window, int32_t controlId) {
    plat::Window *win = plat::findWindow(window);
    if (!win || !win->items.count(controlId)) return;
    if (win->progress) progressOnCommand(controlId);
}
VC_EXPORT void VcSetBrowserCommand(const char *command) {
    plat::setBrowserCommand(command);
}
VC_EXPORT void VcSetUiHost(const VcUiHost *host) { plat::setUiHost(host ? *host : VcUiHost{}); }
VC_EXPORT int32_t VcDialogTemplate(const VcDialog *dialog) { return dialog ? dialog->model.templateId() : 0; }
VC_EXPORT int VcDialogClick(VcDialog *dialog, int32_t controlId) {
    return dialog && dialog->model.click(controlId) ? 1 : 0;
}
VC_EXPORT int VcDialogSetText(VcDialog *dialog, int32_t controlId, const char *text) {
    return dialog && dialog->model.setText(controlId, text) ? 1 : 0;
}
VC_EXPORT int32_t VcDialogGetText(VcDialog *dialog, int32_t controlId, char *buffer, int32_t size) {
    if (!dialog) return -1;
    if (const std::string *field = dialog->model.textField(controlId)) return copyText(*field, buffer, size);
    std::string shown;
    return dialog->model.shownText(controlId, shown) ? copyText(shown, buffer, size) : -1;
}
VC_EXPORT int VcDialogSelect(VcDialog *dialog, int32_t controlId, int32_t index) {
    return dialog && dialog->model.select(controlId, index) ? 1 : 0;
}
VC_EXPORT int32_t VcDialogListCount(VcDialog *dialog, int32_t controlId) {
    return dialog ? dialog->model.listCount(controlId) : -1;
}
VC_EXPORT int32_t VcDialogListText(VcDialog *dialog, int32_t controlId, int32_t index, char *buffer, int32_t size) {
    std::string line;
    return dialog && dialog->model.listText(controlId, index, line) ? copyText(line, buffer, size) : -1;
}
VC_EXPORT int VcDialogChecked(VcDialog *dialog, int32_t controlId) {
    return dialog ? dialog->model.isChecked(controlId) : -1;
}
VC_EXPORT int32_t VcDialogReelCount(VcDialog *dialog, int32_t controlId) {
    const auto *parent = dialog ? dynamic_cast<const ReelParent *>(&dialog->model) : nullptr;
    const ReelModel *reel = parent ? parent->reelFor(controlId) : nullptr;
    return reel ? reel->count() : -1;
}
VC_EXPORT int VcDialogScroll(VcDialog *dialog, int32_t controlId, int32_t code) {
    if (!dialog) return 0;
    dialog->model.scroll(controlId, code);
    return 1;
}
VC_EXPORT void VcDialogReelNotify(VcDialog *dialog, int32_t controlId, int32_t code, int32_t frame) {
    if (auto *parent = dialog ? dynamic_cast<ReelParent *>(&dialog->model) : nullptr)
        parent->reelNotify(controlId, code, frame);
}
VC_EXPORT void VcDialogKeys(VcDialog *dialog, int32_t keys) {
    if (!dialog) return;
    dialog->model.shiftDown = keys & VC_KEY_SHIFT;
    dialog->model.ctrlDown = keys & VC_KEY_CTRL;
    dialog->model.altDown = keys & VC_KEY_ALT;
    dialog->model.enterDown = keys & VC_KEY_ENTER;
}
VC_EXPORT int VcProgressState(void **window, int32_t *percent, int32_t *cancel) {
    const ProgressState &s = progressState();
    if (window) *window = s.window;
    if (percent) *percent = s.percent;
    if (cancel) *cancel = s.cancel;
    return s.exists ? 1 : 0;
}
}
