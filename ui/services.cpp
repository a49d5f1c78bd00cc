#include "ui/services.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "common/exact_double.h"
#include "common/editor_link.h"
#include "platform/owners.h"
#include "resources/strings.h"

namespace vc {

namespace {
ProgressState gProgress;
uint32_t gCustomColors[16] = {};

int32_t clampPercent(int32_t p) { return p < 0 ? 0 : (p > 100 ? 100 : p); }

// The bar's split is width * 0.01 * percent in double precision, each
// product rounded to 53 bits, then truncated (exact_double.h).
int32_t splitAt(int32_t width, int32_t percent) {
    constexpr ExactDouble kOnePercent{0x147AE147AE147B, -59};  // 0.01 as a double
    const uint32_t magnitude = width < 0 ? 0u - uint32_t(width) : uint32_t(width);
    const ExactDouble v = exactProduct(exactProduct(kOnePercent, {magnitude, 0}), {uint32_t(percent), 0});
    const uint64_t whole = exactTruncated(v, uint64_t(1) << 31);
    return width < 0 ? int32_t(0 - whole) : int32_t(whole);
}
}  // namespace

ProgressState &progressState() { return gProgress; }

// ---- Progress window -----------------------------------------------------------

Wnd CreateProgressDialog(Wnd parent, ModuleHandle module, int templateId) {
    if (gProgress.exists) return nullptr;
    if (parent) plat::enableWindow(parent, false);
    gProgress.exists = true;
    Wnd w = plat::progressWindowCreate(parent, module, templateId);
    if (!w) {
        gProgress = ProgressState{};
        if (parent) plat::enableWindow(parent, true);
        return nullptr;
    }
    gProgress.window = w;
    return w;
}

int32_t SetProgress(int32_t percent) {
    if (gProgress.exists && gProgress.window) plat::progressWindowUpdate(gProgress.window, percent);
    PumpMessages(gProgress.exists ? gProgress.window : nullptr);
    return gProgress.cancel;
}

int32_t DestroyProgressDialog(Wnd window) {
    if (!gProgress.exists) return 0;
    if (Wnd parent = plat::parentOf(window)) plat::enableWindow(parent, true);
    plat::destroyWindow(window);
    int32_t cancel = gProgress.cancel;
    gProgress = ProgressState{};
    gProgress.cancel = cancel;  // SetProgress without a window reports it as last left
    return 1;
}

void PumpMessages(Wnd dialog) { plat::pumpMessages(dialog); }

void progressOnInit(Wnd window) {
    gProgress.percent = 0;
    gProgress.cancel = 0;
    CenterDialog(window);
}

void progressOnCommand(int commandId) {
    if (commandId == IDC_PROGRESS_CANCEL) gProgress.cancel = 1;
}

int32_t progressOnUser(int32_t percent) {
    gProgress.percent = percent;
    return clampPercent(percent);
}

ProgressBarLayout progressBarLayout(int32_t width, int32_t height, int32_t percent) {
    ProgressBarLayout l{};
    int32_t p = clampPercent(percent);
    l.split = splitAt(width, p);
    l.blueX = 1;
    l.blueY = 1;
    l.blueWidth = l.split - 1;
    l.blueHeight = height - 2;
    l.whiteX = l.split;
    l.whiteY = 1;
    l.whiteWidth = width - l.split - 1;
    l.whiteHeight = height - 2;
    l.textCenterX = width / 2;
    l.textTop = 8;
    std::snprintf(l.text, sizeof l.text, "%d%%", p);
    return l;
}

// ---- Dialog services ---------------------------------------------------------------

void centeredPosition(const plat::Rect &parent, int32_t w, int32_t h, int32_t screenW, int32_t screenH,
                      int32_t &x, int32_t &y) {
    // C++ division truncates toward zero, as the placement rule asks.
    int32_t cx = (parent.left + parent.right - w) / 2;
    int32_t cy = (parent.top + parent.bottom - h) / 2;
    if (cx > screenW - w) cx = screenW - w;
    if (cy > screenH - h) cy = screenH - h;
    x = cx < 0 ? 0 : cx;
    y = cy < 0 ? 0 : cy;
}

void CenterDialog(Wnd window) {
    plat::Rect self{}, parent{};
    if (!plat::windowRect(window, self)) return;
    Wnd p = plat::parentOf(window);
    int32_t sw = 0, sh = 0;
    plat::screenSize(sw, sh);
    if (!p || !plat::windowRect(p, parent)) parent = plat::Rect{0, 0, sw, sh};
    int32_t x = 0, y = 0;
    centeredPosition(parent, self.right - self.left, self.bottom - self.top, sw, sh, x, y);
    plat::moveWindow(window, x, y);
}

std::optional<int32_t> stepValue(const char *text, int scrollCode, int32_t minimum, int32_t maximum) {
    // A signed decimal number, optionally surrounded by blanks, as the
    // system's own dialog-item reading accepts.
    if (!text) return std::nullopt;
    const char *s = text;
    while (*s == ' ') ++s;
    bool negative = false;
    if (*s == '-') {
        negative = true;
        ++s;
    }
    if (*s < '0' || *s > '9') return std::nullopt;
    int64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + (*s - '0');
        if (v > 0x80000000LL) return std::nullopt;
        ++s;
    }
    while (*s == ' ') ++s;
    if (*s) return std::nullopt;
    if (negative) v = -v;
    if (v > INT32_MAX) return std::nullopt;
    int32_t value = int32_t(v);
    switch (scrollCode) {
    case 0:
    case 2:
        value = value >= maximum ? maximum : value + 1;
        break;
    case 1:
    case 3:
        value = value <= minimum ? minimum : value - 1;
        break;
    default:
        break;
    }
    return value;
}

int32_t StepEditValue(Wnd dialog, int editId, int scrollCode, int32_t minimum, int32_t maximum) {
    char text[256];
    if (!plat::getItemText(dialog, editId, text, sizeof text)) return -1;
    auto v = stepValue(text, scrollCode, minimum, maximum);
    if (!v) return -1;
    char out[16];
    std::snprintf(out, sizeof out, "%d", *v);
    plat::setItemText(dialog, editId, out);
    return *v;
}

int ShowStringMessage(Wnd owner, unsigned titleId, unsigned textId, uint32_t style) {
    char title[51] = {};
    char text[261] = {};
    // A string that is missing shows as an empty title or text.
    (void)plat::loadString(titleId, title, sizeof title);
    (void)plat::loadString(textId, text, sizeof text);
    return plat::messageBox(owner, text, title, style);
}

std::string helpFileName(const char *moduleName) {
    if (!moduleName) return {};
    const char *dot = std::strrchr(moduleName, '.');
    if (!dot) return {};
    return std::string(moduleName, size_t(dot - moduleName)) + ".hlp";
}

void ShowHelp(Wnd window, uint32_t command, uintptr_t data) {
    char name[1024] = {};
    if (!plat::moduleFileName(name, sizeof name)) return;
    std::string file = helpFileName(name);
    if (file.empty()) return;
    plat::help(window, file.c_str(), command, data);
}

uint32_t *customColors() { return gCustomColors; }

int32_t PickColor(Wnd owner, uint32_t *color) {
    if (!color) return 0;
    uint32_t c = *color;
    if (!plat::chooseColor(owner, c, gCustomColors)) return 0;
    *color = c;
    return 1;
}

intptr_t AddHostMenuItem(int16_t slot, uint32_t position, uint32_t flags, uint32_t commandId, unsigned textId,
                         HostCallback callback) {
    char text[49] = {};
    ConvMenuItem item{};
    item.slot = slot;
    item.position = position;
    item.commandId = commandId;
    item.flags = flags;
    // A string that is missing leaves the text empty, as for a separator.
    if (textId) (void)plat::loadString(textId, text, sizeof text);
    item.text = text;
    return EditorLink(callback).addMenuItem(item, slot);
}

uint16_t GetDocumentFormat(MemHandle block) {
    if (!block) return 0;
    const plat::Lock document(block);
    if (!document || document.size() < 2) return 0;
    return loadLe16(document.data());
}

void SplitPoint(uint32_t packed, int32_t *x, int32_t *y) {
    if (x) *x = pointX(packed);
    if (y) *y = pointY(packed);
}

}  // namespace vc

namespace vc {
void ReplaceFileExtension(char *fileName, const char *extension) {
    constexpr size_t kFileNameBuffer = 260;  // the editor's buffers hold a full path
    if (!fileName || !extension) return;
    char *dot = std::strrchr(fileName, '.');
    if (!dot) return;
    const size_t length = std::strlen(extension) + 1;
    if (size_t(dot - fileName) + length > kFileNameBuffer) return;
    std::memcpy(dot, extension, length);
}

int32_t DeleteFileAnsi(const char *fileName) {
    if (!fileName || !*fileName) return 0;
    return plat::fileDelete(fileName) ? 1 : 0;
}
}  // namespace vc
