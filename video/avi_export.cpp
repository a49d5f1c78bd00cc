// AVI export: "AVI Export" (105), where each frame gets its display length
// in ticks of the frame rate, and the writing of the editor's frames
// through the companion library.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ui/services.h"
#include "codecs/avi_core.h"
#include "common/image_block.h"
#include "resources/strings.h"
#include "video/avi.h"

namespace vc {

namespace {

constexpr uint32_t kDefaultRate = kAviDefaultRate;
constexpr uint32_t kDelayTableMinimum = 256;
constexpr uint32_t kPaletteRoom = kAviPaletteRoom;
constexpr uint32_t kInfoBufferSize = kAviInfoBufferSize;
constexpr uint32_t kMbOk = 0;
constexpr int32_t kClearAll = 999;

std::string seconds(uint32_t ticks, uint32_t rate) {
    const float perTick = 1.0f / float(rate);
    char text[32];
    std::snprintf(text, sizeof text, "%3.2fs", double(ticks) * double(perTick));
    return text;
}

}  // namespace

AviExportModel::AviExportModel(const AviLibrary &library, const AviExportParams &params, HostCallback callback)
    : library(library), params(params), editor(callback) {}

AviExportModel::~AviExportModel() { finish(); }

void AviExportModel::finish() {
    if (finished) return;
    finished = true;
    if (out) library.close(out);
    out = 0;
}

bool AviExportModel::start() {
    out = 0;
    MemHandle pal = nullptr;
    (void)editor.getPalette(pal, 1);
    palette = pal;
    count = std::clamp(editor.frameCount(), 0, kAviStripLimit);
    uint16_t size[2] = {0, 0};
    (void)editor.imageSize(size);
    width = size[0], height = size[1];
    if (!delays.alloc(uint64_t(std::max<uint32_t>(uint32_t(count), kDelayTableMinimum)) * 4)) {
        end(Result::noMemory);
        return false;
    }
    reel.setFrames(uint32_t(count), width, height);
    auto *table = delays.as<uint32_t>();
    std::fill(table, table + std::max<uint32_t>(uint32_t(count), kDelayTableMinimum), 1u);
    rateText = std::to_string(kDefaultRate);
    compressEnabled = params.header->biBitCount >= 4;
    showFrame(0);
    return true;
}

uint32_t AviExportModel::delay(int32_t frame) const {
    return frame >= 0 && frame < count ? delays.as<uint32_t>()[frame] : 0;
}

uint32_t AviExportModel::ticksBefore(int32_t f) const {
    uint32_t t = 0;
    for (int32_t i = 0; i < std::min(f, count); ++i) t += delay(i);
    return t;
}

uint32_t AviExportModel::rate() {
    int64_t r = 0;
    if (!parseDialogNumber(rateText, true, r) || r < 1 || r > 25) {
        r = kDefaultRate;
        rateText = std::to_string(r);
    }
    return uint32_t(r);
}

void AviExportModel::showFrame(int32_t f) {
    if (f >= -1) {
        reel.setCurrent(f, false);
        delayText = f == -1 ? std::string() : std::to_string(delay(f));
    } else {
        f = reel.current();
    }
    const uint32_t r = rate();
    positionText = seconds(ticksBefore(f), r);
    frameLabel = f >= 0 ? std::to_string(f + 1) : positionText;
    totalText = seconds(ticksBefore(count), r);
}

int32_t AviExportModel::applyDelay(bool clear) {
    const int32_t c = reel.current();
    if (c < 0) return -1;
    int64_t d = 1;
    if (!parseDialogNumber(delayText, false, d)) d = 1;
    auto *table = delays.as<uint32_t>();
    for (int32_t i = 0; i < count; ++i)
        if (i == c || reel.selected(i)) table[i] = uint32_t(d);
    if (clear) reel.setSel(false, 0, kClearAll);
    return c;
}

std::string *AviExportModel::textField(int id) {
    switch (id) {
    case kAviExportRate: return &rateText;
    case kAviExportDelay: return &delayText;
    case kAviExportWave: return &waveText;
    default: return nullptr;
    }
}

void AviExportModel::edited(int id) {
    if (id == kAviExportDelay && delayText.size() > 2) delayText.resize(2);
    if (id != kAviExportRate) return;
    int64_t r = 0;
    focus = 0;
    if (parseDialogNumber(rateText, true, r) && r >= 1 && r <= 25) {
        showFrame(applyDelay(false));
        return;
    }
    plat::beep(0);
    rateText = std::to_string(kDefaultRate);
    focus = kAviExportRate;
}

void AviExportModel::scroll(int id, int code) {
    const bool rateSpin = id == kAviExportRateSpin;
    if (!rateSpin && id != kAviExportDelaySpin) return;
    if (code == kScrollEnd) {
        showFrame(rateSpin ? -2 : applyDelay(false));
        return;
    }
    std::string &field = rateSpin ? rateText : delayText;
    if (auto v = stepValue(field.c_str(), code, 1, rateSpin ? 25 : 99)) field = std::to_string(*v);
}

bool AviExportModel::createFile() {
    const uint32_t r = rate();
    VfwCreateParams p{uint16_t(r), params.imageSize, 0, 0, uint16_t(params.header->biBitCount > 8 ? 1 : 0)};
    out = library.create(params.fileName, p, params.header);
    return out != 0;
}

bool AviExportModel::clicked(int id) {
    switch (id) {
    case kAviPrevious:
    case kAviNext: {
        const int32_t c = applyDelay(true);
        if (id == kAviPrevious) showFrame(c < 1 ? count - 1 : c - 1);
        else showFrame(c >= count - 1 ? 0 : c + 1);
        return true;
    }
    case kAviExportWaveButton: {
        char buffer[80] = {};
        (void)plat::loadString(IDS_FILTER_WAVE, buffer, sizeof buffer);
        if (editor.fileDialog(buffer, window)) waveText.assign(buffer, strnlen(buffer, sizeof buffer));
        return true;
    }
    case kAviExportCompress:
        if (!compressEnabled) return false;
        if (!out && !createFile()) {
            end(Result::createFailed);
            return true;
        }
        library.compressOptions(out, window);
        return true;
    default: return false;
    }
}

void AviExportModel::reelNotify(int reelId, int code, int32_t index) {
    if (reelId != kAviExportReel) return;
    if (code == REELN_CURRENT || (code == REELN_CLICK && !shiftDown && !ctrlDown)) {
        (void)applyDelay(true);
        showFrame(index);
    } else if (code == REELN_CLICK) {
        const bool s = reel.selected(index);
        int32_t first = index, last = index;
        if (ctrlDown) first = std::min(index, reel.current()), last = std::max(index, reel.current());
        reel.setSel(!s, uint16_t(first), uint16_t(last));
    }
}

Result AviExportModel::writeFrames(int32_t &written) {
    const ConvBitmapInfoHeader &h = *params.header;
    const bool convert = h.biBitCount == 4;
    const uint32_t width4 = uint32_t(h.biWidth), rows = uint32_t(h.biHeight);
    const uint64_t row4 = dibRowBytes(h.biWidth, 4), row8 = dibRowBytes(h.biWidth, 8);
    plat::Block wide;
    if (convert) {
        if (!wide.alloc(uint64_t(params.headerSize) + kPaletteRoom + row8 * rows)) return Result::noMemory;
        std::memcpy(wide.data(), params.header, params.headerSize);
        auto *converted = wide.as<ConvBitmapInfoHeader>();
        converted->biBitCount = 8;
        converted->biSizeImage = 0;
        if (!library.initStream(out, converted, params.headerSize, 1)) return Result::damaged;
    } else if (!library.initStream(out, params.header, params.headerSize, h.biBitCount >= 8 ? 1 : 0)) {
        return Result::damaged;
    }
    uint8_t info[kInfoBufferSize] = {};
    uint8_t *wideBits = convert ? wide.data() + params.headerSize + kPaletteRoom : nullptr;
    VfwFrameRecord record{0, 1, convert ? wideBits : params.bits, params.imageSize, info};
    written = 0;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t d = delay(i);
        if (!d) continue;
        (void)editor.getFrame(params.header, i);
        (void)editor.frameData(info, i);
        PumpMessages(nullptr);
        if (convert) {
            for (uint32_t y = 0; y < rows; ++y) {
                const uint8_t *from = params.bits + y * row4;
                uint8_t *to = wideBits + y * row8;
                for (uint32_t x = 0; x < width4; ++x) to[x] = (x & 1) ? from[x / 2] & 0x0F : from[x / 2] >> 4;
            }
            record.size = uint32_t(row8 * rows);
        }
        if (!library.write(out, record)) return Result::writeFailed;
        (void)SetProgress(int32_t(int64_t(i) * 100 / count));
        record.position += int32_t(d);
        ++written;
    }
    PumpMessages(nullptr);
    // The last picture once more at the last tick of its delay, so that
    // players hold it for its whole length.
    if (count >= 1 && delay(count - 1) > 1) {
        record.position -= 1;
        if (!library.write(out, record)) return Result::writeFailed;
    }
    return Result::ok;
}

bool AviExportModel::pressOk() {
    if (ended()) return true;
    (void)applyDelay(true);
    if (!out && !createFile()) {
        end(Result::createFailed);
        return true;
    }
    int32_t n = 0;
    const Result written = writeFrames(n);
    if (written != Result::ok) {
        end(written);
        return true;
    }
    if (n > 0 && !waveText.empty()) {
        const std::string wave = waveText.substr(0, 80);
        const uint32_t r = rate();
        const uint32_t total = ticksBefore(count);
        if (!total || !library.mergeSound(out, wave.c_str(), total, r))
            (void)ShowStringMessage(window, IDS_ERROR, IDS_SOUND_ERROR, kMbOk);
    }
    if (n == 0) {
        // Nothing in it: closed so the file can go.
        library.close(out);
        out = 0;
        (void)DeleteFileAnsi(params.fileName);
    }
    end(n > 0 ? Result::ok : Result::cancelled);
    return true;
}

void AviExportModel::pressCancel() {
    if (ended()) return;
    if (out) {
        library.close(out);
        out = 0;
        (void)DeleteFileAnsi(params.fileName);
    }
    end(Result::cancelled);
}

// ---- Saving ------------------------------------------------------------------------------

Result SaveAviImage(const char *fileName, Wnd parent, uint32_t, Wnd progress, MemHandle image,
                     HostCallback callback) {
    AviLibrary library(parent);
    if (!library) return Result::cancelled;
    plat::Lock lock(image);
    auto *header = lock.as<ConvBitmapInfoHeader>();
    // The editor copies every frame into this block, so its first frame
    // must describe a whole picture inside it.
    if (!header || header->biHeight <= 0 || !dibHeaderUsable(*header, plat::memSize(image))) return Result::notFormat;
    AviExportParams params;
    params.fileName = fileName;
    params.header = header;
    params.headerSize = uint32_t(dibBitsOffset(*header));
    params.bits = lock.data() + params.headerSize;
    params.imageSize = uint32_t(dibRowBytes(header->biWidth, header->biBitCount) * uint32_t(header->biHeight));
    params.progress = progress;
    AviExportModel model(library, params, callback);
    if (!model.start()) return model.outcome();
    (void)plat::runDialog(parent, kAviExportTemplate, model);
    // Closed without Run or Cancel: as Cancel, the file made for the
    // compression options goes.
    if (!model.ended()) model.pressCancel();
    model.finish();
    return model.outcome();
}

Result saveAviRow(const SaveRequest &request) {
    return SaveAviImage(request.fileName, request.parent, request.option, request.progress, request.image,
                        request.callback);
}

bool AviExportModel::shownText(int id, std::string &text) const {
    const std::string *shown = id == kAviFrameLabel      ? &frameLabel
                               : id == kAviExportPosition ? &positionText
                               : id == kAviExportTotal    ? &totalText
                                                          : nullptr;
    if (shown) text = *shown;
    return shown != nullptr;
}

}  // namespace vc
