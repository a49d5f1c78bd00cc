#include "cursor/cursor_anim_dialog.h"

#include <algorithm>
#include <cstring>

#include "common/services.h"

namespace vc {

namespace {
constexpr uint32_t kBeepDefault = 0;
constexpr uint32_t kHelpContents = 3;
// The strip and hotspot table cover at most this many frames; an editor
// that reports more still gets a working dialog over the first ones.
constexpr uint32_t kMaxDialogFrames = 65536;

std::string number(int64_t v) { return std::to_string(v); }

std::optional<int32_t> parse(const std::string &text) { return stepValue(text.c_str(), -1, INT32_MIN, INT32_MAX); }

void beep() { plat::beep(kBeepDefault); }
}  // namespace

// ---- Film strip state ---------------------------------------------------------------
void ReelModel::setFrames(int n) {
    count = n < 0 ? 0 : n;
    selected.assign(size_t(count), false);
    if (current >= count) current = count - 1;
}

bool ReelModel::setCurrent(int i) {
    if (i < 0 || i >= count) return false;
    current = i;
    return true;
}

int ReelModel::selectedCount() const { return int(std::count(selected.begin(), selected.end(), true)); }

void ReelModel::select(int i, bool on) {
    if (i >= 0 && i < count) selected[size_t(i)] = on;
}

void ReelModel::clearSelection() { std::fill(selected.begin(), selected.end(), false); }

uint32_t previewInterval(uint32_t rate) {
    uint64_t ms = uint64_t(rate) * 16;
    if (ms < 10) ms = 10;
    return ms > UINT32_MAX ? UINT32_MAX : uint32_t(ms);
}

uint32_t &CursorAnimationDialogModel::background() {
    static uint32_t color = kAnimDefaultBackground;
    return color;
}

// ---- Life of the dialog ---------------------------------------------------------------
// The command's option word reaches the dialog with the document, but nothing
// in the dialog depends on it.
CursorAnimationDialogModel::CursorAnimationDialogModel(MemHandle document, uint32_t /*option*/, HostCallback callback)
    : block_(document), callback_(callback) {}

CursorAnimationDialogModel::~CursorAnimationDialogModel() { finish(); }

bool CursorAnimationDialogModel::start() {
    if (started_) return doc_ != nullptr;
    started_ = true;
    doc_ = lockCursorDocument(block_);
    if (!doc_ || !callback_) {
        if (doc_) plat::memUnlock(block_);
        doc_ = nullptr;
        ended = 0;
        return false;
    }
    intptr_t count = callback_(HOST_QUERY, 0, HOST_QUERY_COUNT);
    doc_->header.frameCount = count > 0 ? uint32_t(count) : 0;
    if (doc_->header.stepCount == 0) {
        uint32_t n = std::min(doc_->header.frameCount, kAniMaxSteps);
        for (uint32_t i = 0; i < n; ++i) doc_->sequence[i] = i;
        doc_->header.stepCount = n;
    }
    uint16_t size[2] = {0, 0};
    if (callback_(HOST_QUERY, reinterpret_cast<intptr_t>(size), HOST_QUERY_SIZE)) {
        imageWidth = size[0];
        imageHeight = size[1];
    }
    steps.setFrames(stepCount());
    frames.setFrames(frameCount());

    backup_ = plat::memAlloc(plat::kMemMoveable, sizeof(CursorAnimationDocument));
    void *copy = backup_ ? plat::memLock(backup_) : nullptr;
    if (!copy) {
        if (backup_) plat::memFree(backup_);
        backup_ = nullptr;
        plat::memUnlock(block_);
        doc_ = nullptr;
        ended = 0;
        return false;
    }
    std::memcpy(copy, doc_, sizeof(CursorAnimationDocument));
    plat::memUnlock(backup_);

    hotspots.assign(size_t(frameCount()), 0);
    for (int i = 0; i < frameCount(); ++i) {
        uint32_t h = 0;
        callback_(HOST_GET_HOTSPOT, reinterpret_cast<intptr_t>(&h), i);
        hotspots[size_t(i)] = h;
    }

    previewStep = previewFrame = previewX = previewY = 0;
    palette = nullptr;
    callback_(HOST_GET_PALETTE, reinterpret_cast<intptr_t>(&palette), 1);

    titleText.assign(doc_->title, strnlen(doc_->title, kAniTextSize));
    authorText.assign(doc_->author, strnlen(doc_->author, kAniTextSize));
    steps.setCurrent(0);
    frames.setCurrent(0);
    showStep(stepCount() > 0 ? 0 : -1, false);
    setPreview(0);

    if (stepCount() > 0) {
        cyclePage = true;
        startTimer(doc_->rates[0]);
    } else {
        cyclePage = false;
    }
    activePageButton = cyclePage ? kAnimCyclePage : kAnimSequencePage;
    showHotspot = true;
    rateForAll = true;
    for (int i = 1; i < stepCount(); ++i)
        if (doc_->rates[i] != doc_->rates[0]) rateForAll = false;
    hotspotCommon = true;
    for (size_t i = 1; i < hotspots.size(); ++i)
        if (hotspots[i] != hotspots[0]) hotspotCommon = false;
    return true;
}

void CursorAnimationDialogModel::finish() {
    if (finished_) return;
    finished_ = true;
    stopTimer();
    if (doc_) plat::memUnlock(block_);
    doc_ = nullptr;
    if (backup_) plat::memFree(backup_);
    backup_ = nullptr;
}

intptr_t CursorAnimationDialogModel::pressEnter() {
    if (!start()) return 0;
    if (ended) return *ended;
    if (okEnabled()) {
        ok();
        return 1;
    }
    cancel();
    return 0;
}

int CursorAnimationDialogModel::frameCount() const {
    return doc_ ? int(std::min(doc_->header.frameCount, kMaxDialogFrames)) : 0;
}

int CursorAnimationDialogModel::stepCount() const { return doc_ ? int(documentSteps(*doc_)) : 0; }

int CursorAnimationDialogModel::framesUsed() const {
    if (!doc_) return 0;
    std::vector<uint32_t> seen(doc_->sequence, doc_->sequence + stepCount());
    std::sort(seen.begin(), seen.end());
    return int(std::unique(seen.begin(), seen.end()) - seen.begin());
}

bool CursorAnimationDialogModel::addEnabled() const {
    int chosen = frames.selectedCount();
    if (frames.current >= 0 && !frames.isSelected(frames.current)) ++chosen;
    return chosen >= 1 && stepCount() + chosen < int(kAniMaxSteps);
}

// ---- OK and Cancel ------------------------------------------------------------------------
bool CursorAnimationDialogModel::ok() {
    if (!doc_ || !okEnabled()) return false;
    doc_->header.defaultRate = doc_->rates[0];
    std::memset(doc_->title, 0, kAniTextSize);
    std::memset(doc_->author, 0, kAniTextSize);
    std::memcpy(doc_->title, titleText.data(), std::min(titleText.size(), kAniTextSize - 1));
    std::memcpy(doc_->author, authorText.data(), std::min(authorText.size(), kAniTextSize - 1));
    for (size_t i = 0; i < hotspots.size(); ++i) callback_(HOST_SET_HOTSPOT, intptr_t(hotspots[i]), intptr_t(i));
    stopTimer();
    ended = 1;
    return true;
}

void CursorAnimationDialogModel::cancel() {
    if (doc_ && backup_) {
        if (const void *copy = plat::memLock(backup_)) {
            std::memcpy(doc_, copy, sizeof(CursorAnimationDocument));
            plat::memUnlock(backup_);
        }
    }
    stopTimer();
    ended = 0;
}

// ---- Steps in the fields --------------------------------------------------------------------
uint32_t CursorAnimationDialogModel::hotspotOf(int frame) const {
    return frame >= 0 && size_t(frame) < hotspots.size() ? hotspots[size_t(frame)] : 0;
}

void CursorAnimationDialogModel::applyRate(int step, uint32_t rate) {
    if (rateForAll) {
        for (int i = 0; i < stepCount(); ++i) doc_->rates[i] = rate;
    } else if (step >= 0 && step < stepCount()) {
        doc_->rates[step] = rate;
    }
}

void CursorAnimationDialogModel::applyHotspot(int step, uint32_t hotspot) {
    if (hotspotCommon) {
        std::fill(hotspots.begin(), hotspots.end(), hotspot);
    } else if (step >= 0 && step < stepCount()) {
        uint32_t f = doc_->sequence[step];
        if (f < hotspots.size()) hotspots[f] = hotspot;
    }
    if (previewFrame >= 0 && size_t(previewFrame) < hotspots.size()) {
        previewX = int(hotspots[size_t(previewFrame)] & 0xFFFF);
        previewY = int(hotspots[size_t(previewFrame)] >> 16);
    }
}

bool CursorAnimationDialogModel::commitFields() {
    int c = steps.current;
    if (!doc_ || c < 0 || c >= stepCount()) return true;
    auto rate = parse(rateText);
    if (!rate) return false;
    applyRate(c, uint32_t(*rate));
    auto x = parse(xText), y = parse(yText);
    if (!x || !y) return false;
    applyHotspot(c, uint32_t(*y) * 65536u + uint32_t(*x));
    return true;
}

bool CursorAnimationDialogModel::showStep(int s, bool commit) {
    if (!doc_) return false;
    if (s < 0 || s >= stepCount()) {
        rateText.clear();
        rateEnabled = false;
        position = shownFrame = -1;
        return true;
    }
    if (commit && !commitFields()) return false;
    position = s;
    shownFrame = int(std::min<uint32_t>(doc_->sequence[s], INT32_MAX));
    rateText = number(doc_->rates[s]);
    uint32_t h = hotspotOf(shownFrame);
    xText = number(h & 0xFFFF);
    yText = number(h >> 16);
    rateEnabled = true;
    return true;
}

bool CursorAnimationDialogModel::moveTo(int n) {
    if (!showStep(n, true)) {
        beep();
        return false;
    }
    steps.setCurrent(n);
    if (!timerRunning) {
        setPreview(n);
        ++repaints;
    }
    return true;
}

// ---- Preview and its timer ----------------------------------------------------------------
void CursorAnimationDialogModel::setPreview(int step) {
    previewStep = step;
    previewFrame = step >= 0 && step < stepCount() ? int(std::min<uint32_t>(doc_->sequence[step], INT32_MAX)) : 0;
    uint32_t h = hotspotOf(previewFrame);
    previewX = int(h & 0xFFFF);
    previewY = int(h >> 16);
}

void CursorAnimationDialogModel::startTimer(uint32_t rate) {
    if (!timerRunning) activePlayButton = kAnimPlay;  // the play/stop pair repaints
    timerRunning = true;
    timerInterval = previewInterval(rate);
}

void CursorAnimationDialogModel::stopTimer() {
    timerRunning = false;
    timerInterval = 0;
    activePlayButton = kAnimStop;
}

void CursorAnimationDialogModel::timerTick() {
    if (!doc_ || !timerRunning) return;
    if (stepCount() == 0) {
        stopTimer();
        return;
    }
    int next = previewStep + 1;
    if (next >= stepCount() || next < 0) next = 0;
    setPreview(next);
    ++repaints;
    startTimer(doc_->rates[next]);
}

void CursorAnimationDialogModel::setShowHotspot(bool on) {
    showHotspot = on;
    ++repaints;
}

// ---- Commands ------------------------------------------------------------------------------------
bool CursorAnimationDialogModel::command(int id) {
    if (!doc_ || ended) return false;
    int n = stepCount();
    switch (id) {
    case 1: return ok();
    case 2: cancel(); return true;
    case kAnimPrevious:
        if (n == 0) return true;
        return moveTo(steps.current - 1 < 0 ? n - 1 : steps.current - 1);
    case kAnimNext:
        if (n == 0) return true;
        return moveTo(steps.current + 1 >= n ? 0 : steps.current + 1);
    case kAnimSequencePage:
        if (!cyclePage) {
            beep();
            return false;
        }
        cyclePage = false;
        activePageButton = kAnimSequencePage;
        stopTimer();
        return true;
    case kAnimCyclePage:
        if (cyclePage) {
            beep();
            return false;
        }
        cyclePage = true;
        activePageButton = kAnimCyclePage;
        if (n > 0) startTimer(doc_->rates[0]);
        else ++repaints;
        return true;
    case kAnimHelp: ShowHelp(window, kHelpContents, 0); return true;
    case kAnimAdd:
    case kAnimInsert:
    case kAnimReplace: addSteps(id); return true;
    case kAnimDelete:
        if (steps.current < 0 || steps.current >= n) {
            beep();
            return false;
        }
        deleteStep();
        return true;
    case kAnimDeleteAll: deleteAllSteps(); return true;
    case kAnimBackground:
        PickColor(window, &background());
        ++repaints;
        return true;
    case kAnimStop: stopTimer(); return true;
    case kAnimPlay: {
        int s = previewStep >= 0 && previewStep < n ? previewStep : 0;
        startTimer(n > 0 ? doc_->rates[s] : 0);
        return true;
    }
    default: return false;
    }
}

void CursorAnimationDialogModel::reelNotify(int reelId, ReelEvent event, int index, bool shift, bool ctrl) {
    if (!doc_ || ended) return;
    if (reelId == kAnimStepReel) {
        if (event == ReelEvent::Current || event == ReelEvent::Click) moveTo(index);
        return;
    }
    if (reelId != kAnimFrameReel) return;
    switch (event) {
    case ReelEvent::Click: frameClick(index, shift, ctrl); break;
    case ReelEvent::DoubleClick: {
        bool selectAll = frames.selectedCount() < frameCount() - 1;
        for (int i = 0; i < 1000; ++i) frames.select(i, selectAll);
        break;
    }
    default: break;  // the buttons' state is read from addEnabled()
    }
}

void CursorAnimationDialogModel::frameClick(int index, bool shift, bool ctrl) {
    if (index < 0 || index >= frames.count) return;
    if (ctrl) {
        bool state = !frames.isSelected(index);
        int from = frames.current < 0 ? index : frames.current;
        for (int i = std::min(from, index); i <= std::max(from, index); ++i) frames.select(i, state);
    } else if (shift) {
        frames.select(index, !frames.isSelected(index));
    } else {
        frames.setCurrent(index);
    }
}

void CursorAnimationDialogModel::scroll(int barId, int code) {
    int c = steps.current;
    if (!doc_ || ended || c < 0 || c >= stepCount()) return;
    if (barId == kAnimRateScroll) {
        auto v = stepValue(rateText.c_str(), code, 0, 255);
        if (!v) return;
        rateText = number(*v);
        applyRate(c, uint32_t(*v));
    } else if (barId == kAnimHotspotXScroll || barId == kAnimHotspotYScroll) {
        bool isX = barId == kAnimHotspotXScroll;
        int32_t limit = std::min<int32_t>(isX ? imageWidth : imageHeight, 127);
        std::string &field = isX ? xText : yText;
        auto v = stepValue(field.c_str(), code, 0, limit);
        if (!v) return;
        field = number(*v);
        auto x = parse(xText), y = parse(yText);
        if (x && y) applyHotspot(c, uint32_t(*y) * 65536u + uint32_t(*x));
    } else {
        return;
    }
    ++repaints;
}

// ---- Step editing ------------------------------------------------------------------------------
void CursorAnimationDialogModel::addSteps(int how) {
    if (frames.current >= 0 && !frames.isSelected(frames.current)) frames.select(frames.current, true);
    int n = stepCount();
    if (n >= int(kAniMaxSteps)) return;
    std::vector<uint32_t> chosen;
    for (int i = 0; i < frames.count; ++i)
        if (frames.isSelected(i)) chosen.push_back(uint32_t(i));
    size_t k = std::min(chosen.size(), size_t(int(kAniMaxSteps) - n));
    if (k == 0) return;
    chosen.resize(k);
    commitFields();
    int c = steps.current;
    if (how == kAnimReplace && (c < 0 || c >= n)) return;
    if (c < 0 || c > n) c = 0;
    const uint32_t rate = doc_->rates[c];
    uint32_t *rates = doc_->rates, *seq = doc_->sequence;
    int at = 0, newCount = 0;
    if (how == kAnimAdd) {
        at = n;
        newCount = n + int(k);
    } else if (how == kAnimInsert) {
        at = c;
        std::memmove(rates + c + k, rates + c, sizeof *rates * size_t(n - c));
        std::memmove(seq + c + k, seq + c, sizeof *seq * size_t(n - c));
        newCount = n + int(k);
    } else {
        at = c;
        std::memmove(rates + c + k, rates + c + 1, sizeof *rates * size_t(n - c - 1));
        std::memmove(seq + c + k, seq + c + 1, sizeof *seq * size_t(n - c - 1));
        newCount = n + int(k) - 1;
    }
    for (size_t i = 0; i < k; ++i) {
        rates[size_t(at) + i] = rate;
        seq[size_t(at) + i] = chosen[i];
    }
    doc_->header.stepCount = uint32_t(newCount);
    steps.setFrames(newCount);
    int last = at + int(k) - 1;
    steps.setCurrent(last);
    showStep(last, false);
    if (!timerRunning) setPreview(last);

    int previous = frames.current;
    frames.clearSelection();
    if (k == 1) frames.select(int(chosen[0]) + 1 < frames.count ? int(chosen[0]) + 1 : 0, true);
    frames.setCurrent(previous + 1);  // refused past the last frame
}

void CursorAnimationDialogModel::deleteStep() {
    int n = stepCount(), c = steps.current;
    std::memmove(doc_->rates + c, doc_->rates + c + 1, sizeof(uint32_t) * size_t(n - c - 1));
    std::memmove(doc_->sequence + c, doc_->sequence + c + 1, sizeof(uint32_t) * size_t(n - c - 1));
    doc_->header.stepCount = uint32_t(n - 1);
    steps.setFrames(n - 1);
    if (c >= n - 1) c = n - 2;
    steps.current = c;
    showStep(c, false);
}

void CursorAnimationDialogModel::deleteAllSteps() {
    doc_->header.stepCount = 0;
    steps.setFrames(0);
    steps.current = -1;
    showStep(-1, false);
}

}  // namespace vc
