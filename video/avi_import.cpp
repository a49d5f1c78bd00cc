// AVI import: the content test, the preview, and "AVI Import" (103) with
// "AVI Select Frames" (104), whose frames reach the editor one by one.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/limits.h"
#include "common/file_window.h"
#include "ui/services.h"
#include "common/image_block.h"
#include "resources/strings.h"
#include "video/avi.h"

namespace vc {

namespace {

constexpr int32_t kSelectAll = 32760;

// Widths in pixels of the 8-point sans-serif font of the templates for the
// characters a selection list holds; the headless measure of static 108.
int32_t templateFontWidth(const std::string &text) {
    int32_t width = 0;
    for (char c : text) width += (c >= '0' && c <= '9') ? 6 : (c == ',' || c == '.') ? 3 : 6;
    return width;
}
// Static 108's client width in pixels at that font (176 dialog units).
constexpr int32_t kSelectionStaticWidth = 264;

std::string number(int64_t v) { return std::to_string(v); }

}  // namespace

bool parseDialogNumber(const std::string &text, bool isSigned, int64_t &value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (isSigned && i < text.size() && text[i] == '-') negative = true, ++i;
    if (i == text.size() || text[i] < '0' || text[i] > '9') return false;
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > (isSigned ? INT32_MAX : int64_t(UINT32_MAX))) return false;
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (i != text.size()) return false;
    value = negative ? -v : v;
    return true;
}

// ---- Content test and preview ----------------------------------------------------

bool DetectAviFile(HFile file) {
    uint8_t head[12];
    ByteReader r = readFileHead(file, head, sizeof head);
    return r.ok() && looksLikeAvi(std::span<const uint8_t>(head, r.size()));
}

Result GetAviPreview(const char *fileName, ConvImageRecord *record) {
    AviLibrary library(nullptr);
    if (!library) {
        if (record && record->messageText && record->messageSize)
            (void)plat::loadString(IDS_NO_VFW, record->messageText,
                                   int(std::min<uintptr_t>(record->messageSize, INT32_MAX)));
        return Result::cancelled;
    }
    const VfwFile file = library.open(fileName);
    if (!file) return Result::readFailed;
    struct Closer {
        const AviLibrary &library;
        VfwFile file;
        ~Closer() { library.close(file); }
    } closer{library, file};
    VfwFileInfo info;
    (void)library.info(file, info);
    const auto *dib = static_cast<const uint8_t *>(library.frame(file, int32_t(aviPreviewFrame(info.frameCount))));
    if (!dib) return Result::damaged;
    ConvBitmapInfoHeader h;
    std::memcpy(&h, dib, sizeof h);
    // The companion's frame is trusted to be whole; a header that does not
    // describe a picture the editor can take gives no preview.
    const uint64_t headerSize = dibBitsOffset(h);
    const uint64_t imageSize = dibRowBytes(h.biWidth, h.biBitCount) * uint64_t(h.biHeight < 0 ? 0 : h.biHeight);
    if (h.biSize != kBitmapHeaderSize || h.biHeight <= 0 || !imageSize || headerSize + imageSize > limits().largestBlock)
        return Result::damaged;
    plat::Block block;
    if (!block.alloc(headerSize + imageSize, plat::kMemMoveable)) return Result::noMemory;
    std::memcpy(block.data(), dib, size_t(headerSize + imageSize));
    record->image = block.release();
    record->bitsOffset = uint32_t(headerSize);
    return Result::ok;
}

// ---- AVI Select Frames -------------------------------------------------------------

bool AviSelectFramesModel::start() {
    const int32_t c = reel.current();
    const int32_t low = std::min(anchor, c);
    fromText = number(low >= 0 ? low + 1 : 1);
    if (anchor != 0) {
        const int32_t span = (c > anchor ? c - anchor : anchor - c) + 1;
        const int32_t k = reel.selCount();
        if (k >= 255) {
            end(0);
            return false;
        }
        if (200 - k > 0) {
            const int32_t step = std::max(1, span / (200 - k));
            stepText = number(step);
            numberText = number(span / step);
        }
    }
    return true;
}

std::string *AviSelectFramesModel::textField(int id) {
    switch (id) {
    case kAviSelectFrom: return &fromText;
    case kAviSelectNumber: return &numberText;
    case kAviSelectStep: return &stepText;
    default: return nullptr;
    }
}

bool AviSelectFramesModel::pressOk() {
    if (ended()) return true;
    int64_t from = 0, count = 0, step = 0;
    focus = 0;
    if (!parseDialogNumber(fromText, false, from) || from == 0) focus = kAviSelectFrom;
    else if (!parseDialogNumber(numberText, false, count) || count > 255) focus = kAviSelectNumber;
    else if (!parseDialogNumber(stepText, false, step) || step == 0) focus = kAviSelectStep;
    if (focus) {
        plat::beep(0);
        return false;
    }
    reel.setSel(false, 0, kSelectAll);
    // Positions travel as the 16-bit words of the strip's range; those
    // past the last frame select nothing.
    for (int64_t k = 0; k < count; ++k) {
        const uint16_t p = uint16_t(from - 1 + k * step);
        reel.setSel(true, p, p);
    }
    end(1);
    return true;
}

// ---- AVI Import -----------------------------------------------------------------------

AviImportModel::AviImportModel(const AviLibrary &library, VfwFile file, uint32_t option, HostCallback callback)
    : library(library), file(file), option(option), editor(callback), measure(templateFontWidth),
      selectionWidth(kSelectionStaticWidth) {}

bool AviImportModel::start() {
    draw = library.drawFunction();
    if (!draw) {
        end(Result::unsupported);
        return false;
    }
    VfwFileInfo info;
    (void)library.info(file, info);
    frameCount = info.frameCount;
    reel.setFrames(std::min<uint32_t>(frameCount, kAviStripLimit), uint16_t(info.width), uint16_t(info.height));
    countText = std::to_string(frameCount);
    char size[32];
    std::snprintf(size, sizeof size, "%d x %d", int(uint16_t(info.width)), int(uint16_t(info.height)));
    sizeText = size;
    rateText = number(info.rate);
    dither = editor.ditherWanted();
    stretch = (option & 0xFF) != 0;
    stretchEnabled = stretch;
    paletteEnabled = !stretch;
    palette = false;
    reel.setCurrent(0, false);
    frameLabel = number(1);
    updateSelection();
    return true;
}

bool AviImportModel::enabled(int id) const {
    if (id == kAviImportPalette) return paletteEnabled;
    if (id == kAviImportStretch) return stretchEnabled;
    if (id == kOk) return reel.selCount() >= 1;
    return true;
}

uint32_t AviImportModel::frameFlags() const {
    return (palette ? HOST_FRAME_PALETTE : 0) | (stretch ? HOST_FRAME_STRETCH : 0) |
           (dither ? HOST_FRAME_DITHER : HOST_FRAME_NO_DITHER);
}

void AviImportModel::updateSelection() {
    std::string text;
    int32_t selected = 0, first = -1, last = -1;
    for (int32_t i = 0; i < reel.count(); ++i) {
        if (!reel.selected(i)) continue;
        if (text.size() < kAviSelectionText) text.append(",").append(number(i + 1));
        ++selected;
        if (first < 0) first = i;
        last = i;
    }
    if (measure && measure(text) > selectionWidth)
        text = std::string(",").append(number(first + 1)).append(".....").append(number(last + 1));
    selText = text.empty() ? text : text.substr(1);
    selCountText = std::string("(").append(number(selected)).append("):");
}

void AviImportModel::selectFrames(int32_t anchor) {
    AviSelectFramesModel select(reel, anchor);
    if (!select.start()) return;
    if (plat::runDialog(window, kAviSelectTemplate, select) == 1) updateSelection();
}

bool AviImportModel::clicked(int id) {
    const int32_t c = reel.current();
    const int64_t n = frameCount;
    switch (id) {
    case kAviImportPalette:
        if (paletteEnabled) palette = !palette;
        return paletteEnabled;
    case kAviImportStretch:
        if (stretchEnabled) stretch = !stretch;
        return stretchEnabled;
    case kAviImportDither: dither = !dither; return true;
    case kAviImportSelect: selectFrames(0); return true;
    case kAviImportToggle: reel.setSel(!reel.selected(c), uint16_t(c), uint16_t(c)); return true;
    case kAviPrevious: reel.setCurrent(int32_t(c < 1 ? n - 1 : c - 1), false); break;
    case kAviNext: reel.setCurrent(int32_t(c >= n - 1 ? 0 : c + 1), false); break;
    default: return false;
    }
    showFrameLabel();
    return true;
}

void AviImportModel::reelNotify(int reelId, int code, int32_t index) {
    if (reelId != kAviImportReel) return;
    switch (code) {
    case REELN_CURRENT: frameLabel = number(index + 1); break;
    case REELN_CLICK: {
        if (!shiftDown && !ctrlDown) {
            reel.setCurrent(index, false);
            frameLabel = number(index + 1);
            break;
        }
        const bool s = reel.selected(index);
        int32_t first = index, last = index;
        if (ctrlDown) {
            first = std::min(index, reel.current());
            last = std::max(index, reel.current());
            if (!s) {
                // The stepping dialog over that stretch, once this click is done.
                if (postSelect) postSelect(index);
                else selectFrames(index);
                break;
            }
        }
        reel.setSel(!s, uint16_t(first), uint16_t(last));
        break;
    }
    case REELN_DBLCLK: {
        const int32_t c = reel.current();
        reel.setSel(!reel.selected(c), uint16_t(c), uint16_t(c));
        break;
    }
    case REELN_SELCHANGE: updateSelection(); break;
    default: break;
    }
}

bool AviImportModel::pressOk() {
    if (ended()) return true;
    if (reel.count() < 1 || reel.selCount() < 1) return false;
    Wnd progress = CreateProgressDialog(window, plat::module(), IDD_PROGRESS_CANCEL);
    (void)SetProgress(0);
    const int32_t n = reel.selCount();
    const uint32_t flags = frameFlags();
    int32_t k = 0;
    for (int32_t i = 0; i < reel.count(); ++i) {
        if (!reel.selected(i)) continue;
        const void *dib = library.frame(file, i);
        PumpMessages(nullptr);
        // A frame the companion cannot give is left out: the editor never
        // receives a missing picture, and the frames after it still come.
        if (dib && !editor.addFrame(dib, flags)) break;
        if (SetProgress(int32_t(int64_t(k) * 100 / n)) == 1) break;
        ++k;
    }
    if (progress) (void)DestroyProgressDialog(progress);
    end(Result::ok);
    return true;
}

// ---- Loading -------------------------------------------------------------------------

Result LoadAviImage(const char *fileName, Wnd parent, uint32_t option, HostCallback callback) {
    AviLibrary library(parent);
    if (!library) return Result::cancelled;
    const VfwFile file = library.open(fileName);
    if (!file) return Result::readFailed;
    AviImportModel model(library, file, option, callback);
    if (model.start()) {
        (void)plat::runDialog(parent, kAviImportTemplate, model);
        // Closed without OK or Cancel, or a dialog that could not be made:
        // nothing imported. The file itself opened, so this is no failure
        // to open it.
        if (!model.ended()) model.pressCancel();
    }
    library.close(file);
    // A companion that cannot draw frames: the editor has always been told
    // that memory was refused.
    return model.outcome() == Result::unsupported ? Result::noMemory : model.outcome();
}

Result loadAviRow(const LoadRequest &request) {
    return LoadAviImage(request.fileName, request.parent, request.option, request.callback);
}

bool AviImportModel::shownText(int id, std::string &text) const {
    const std::string *shown = id == kAviImportCount     ? &countText
                               : id == kAviImportSize     ? &sizeText
                               : id == kAviImportRate     ? &rateText
                               : id == kAviImportSelCount ? &selCountText
                               : id == kAviImportSelList  ? &selText
                               : id == kAviFrameLabel     ? &frameLabel
                                                          : nullptr;
    if (shown) text = *shown;
    return shown != nullptr;
}

int AviImportModel::isChecked(int id) const {
    return id == kAviImportPalette ? palette : id == kAviImportStretch ? stretch : id == kAviImportDither ? dither : -1;
}

}  // namespace vc
