#include "common/limits.h"
#include "cursor/cursor_anim_dialog.h"

#include <algorithm>
#include <cstring>

#include "ui/services.h"

namespace vc {

namespace {
constexpr uint32_t kBeepDefault = 0;
constexpr uint32_t kHelpContents = 3;

std::string number(int64_t v) { return std::to_string(v); }

std::optional<int32_t> parse(const std::string &text) { return stepValue(text.c_str(), -1, INT32_MIN, INT32_MAX); }

void beep() { plat::beep(kBeepDefault); }
}  // namespace

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
    : block_(document), editor_(callback) {}

CursorAnimationDialogModel::~CursorAnimationDialogModel() { finish(); }

bool CursorAnimationDialogModel::start() {
    if (started_) return bool(doc_);
    started_ = true;
    if (!editor_ || !lockCursorDocument(doc_, block_)) {
        end(0);
        return false;
    }
    const int32_t count = editor_.frameCount();
    doc_->header.frameCount = count > 0 ? uint32_t(count) : 0;
    if (doc_->header.stepCount == 0) {
        uint32_t n = std::min(doc_->header.frameCount, kAniMaxSteps);
        for (uint32_t i = 0; i < n; ++i) doc_->sequence[i] = i;
        doc_->header.stepCount = n;
    }
    uint16_t size[2] = {0, 0};
    if (editor_.imageSize(size)) {
        imageWidth = size[0];
        imageHeight = size[1];
    }
    steps.setFrames(uint32_t(stepCount()), imageWidth, imageHeight);
    frames.setFrames(uint32_t(frameCount()), imageWidth, imageHeight);

    if (!backup_.alloc(sizeof(CursorAnimationDocument))) {
        doc_.unlock();
        end(0);
        return false;
    }
    std::memcpy(backup_.data(), doc_.get(), sizeof(CursorAnimationDocument));

    hotspots.assign(size_t(frameCount()), 0);
    for (int i = 0; i < frameCount(); ++i) hotspots[size_t(i)] = editor_.hotspot(i);

    previewStep = previewFrame = previewX = previewY = 0;
    palette = nullptr;
    (void)editor_.getPalette(palette, 1);  // without one the preview draws unmapped

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
    doc_.unlock();
    backup_.reset();
}

intptr_t CursorAnimationDialogModel::pressEnter() {
    if (!start() || ended()) return result();
    if (okEnabled()) {
        pressOk();
        return 1;
    }
    pressCancel();
    return 0;
}

int CursorAnimationDialogModel::frameCount() const {
    // The strip and hotspot table cover at most the frames a document may
    // have; an editor that reports more still gets a working dialog.
    return doc_ ? int(std::min(doc_->header.frameCount, limits().largestFrameCount)) : 0;
}

int CursorAnimationDialogModel::stepCount() const { return doc_ ? int(documentSteps(*doc_)) : 0; }

int CursorAnimationDialogModel::framesUsed() const {
    if (!doc_) return 0;
    std::vector<uint32_t> seen(doc_->sequence, doc_->sequence + stepCount());
    std::sort(seen.begin(), seen.end());
    return int(std::unique(seen.begin(), seen.end()) - seen.begin());
}

bool CursorAnimationDialogModel::addEnabled() const {
    int chosen = frames.selCount();
    if (frames.current() >= 0 && !frames.selected(frames.current())) ++chosen;
    return chosen >= 1 && stepCount() + chosen < int(kAniMaxSteps);
}

// ---- OK and Cancel ------------------------------------------------------------------------
bool CursorAnimationDialogModel::pressOk() {
    if (!doc_ || !okEnabled()) return false;
    doc_->header.defaultRate = doc_->rates[0];
    std::memset(doc_->title, 0, kAniTextSize);
    std::memset(doc_->author, 0, kAniTextSize);
    std::memcpy(doc_->title, titleText.data(), std::min(titleText.size(), kAniTextSize - 1));
    std::memcpy(doc_->author, authorText.data(), std::min(authorText.size(), kAniTextSize - 1));
    for (size_t i = 0; i < hotspots.size(); ++i) editor_.setHotspot(hotspots[i], int32_t(i));
    stopTimer();
    end(1);
    return true;
}

void CursorAnimationDialogModel::pressCancel() {
    if (doc_ && backup_.data()) std::memcpy(doc_.get(), backup_.data(), sizeof(CursorAnimationDocument));
    stopTimer();
    end(0);
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
    int c = steps.current();
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

// ---- Commands ------------------------------------------------------------------------------------
bool CursorAnimationDialogModel::clicked(int id) {
    if (!doc_ || ended()) return false;
    int n = stepCount();
    switch (id) {
    case kAnimPrevious:
        if (n == 0) return true;
        return moveTo(steps.current() - 1 < 0 ? n - 1 : steps.current() - 1);
    case kAnimNext:
        if (n == 0) return true;
        return moveTo(steps.current() + 1 >= n ? 0 : steps.current() + 1);
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
        if (steps.current() < 0 || steps.current() >= n) {
            beep();
            return false;
        }
        deleteStep();
        return true;
    case kAnimDeleteAll: deleteAllSteps(); return true;
    case kAnimRateEach:
    case kAnimRateAll: rateForAll = id == kAnimRateAll; return true;
    case kAnimHotspotEach:
    case kAnimHotspotCommon: hotspotCommon = id == kAnimHotspotCommon; return true;
    case kAnimShowHotspot:
        showHotspot = !showHotspot;
        ++repaints;
        return true;
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

bool CursorAnimationDialogModel::shownText(int id, std::string &text) const {
    const auto number = [](int v) { return v >= 0 ? std::to_string(v) : std::string(); };
    switch (id) {
    case kAnimFrameCount: text = std::to_string(frameCount()); return true;
    case kAnimFramesUsed: text = std::to_string(framesUsed()); return true;
    case kAnimStepCount: text = std::to_string(stepCount()); return true;
    case kAnimPosition: text = number(position); return true;
    case kAnimFrame: text = number(shownFrame); return true;
    default: return false;
    }
}

int CursorAnimationDialogModel::isChecked(int id) const {
    switch (id) {
    case kAnimRateEach: return !rateForAll;
    case kAnimRateAll: return rateForAll;
    case kAnimHotspotEach: return !hotspotCommon;
    case kAnimHotspotCommon: return hotspotCommon;
    case kAnimShowHotspot: return showHotspot;
    default: return -1;
    }
}

std::string *CursorAnimationDialogModel::textField(int id) {
    switch (id) {
    case kAnimTitle: return &titleText;
    case kAnimAuthor: return &authorText;
    case kAnimRate: return &rateText;
    case kAnimHotspotX: return &xText;
    case kAnimHotspotY: return &yText;
    default: return nullptr;
    }
}

void CursorAnimationDialogModel::reelNotify(int reelId, int code, int32_t index) {
    if (!doc_ || ended()) return;
    if (reelId == kAnimStepReel) {
        if (code == REELN_CURRENT || code == REELN_CLICK) moveTo(index);
        return;
    }
    if (reelId != kAnimFrameReel) return;
    switch (code) {
    case REELN_CLICK: frameClick(index); break;
    case REELN_DBLCLK: frames.setSel(frames.selCount() < frameCount() - 1, 0, 999); break;
    default: break;  // the buttons' state is read from addEnabled()
    }
}

void CursorAnimationDialogModel::frameClick(int index) {
    if (index < 0 || index >= frames.count()) return;
    if (ctrlDown) {
        bool state = !frames.selected(index);
        int from = frames.current() < 0 ? index : frames.current();
        frames.setSel(state, uint32_t(std::min(from, index)), uint32_t(std::max(from, index)));
    } else if (shiftDown) {
        frames.setSel(!frames.selected(index), uint32_t(index), uint32_t(index));
    } else {
        frames.setCurrent(index);
    }
}

void CursorAnimationDialogModel::clearFrameSelection() {
    if (frames.count() > 0) frames.setSel(false, 0, uint32_t(frames.count() - 1));
}

void CursorAnimationDialogModel::scroll(int barId, int code) {
    int c = steps.current();
    if (!doc_ || ended() || c < 0 || c >= stepCount()) return;
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
    const int current = frames.current();
    if (current >= 0 && !frames.selected(current)) frames.setSel(true, uint32_t(current), uint32_t(current));
    int n = stepCount();
    if (n >= int(kAniMaxSteps)) return;
    std::vector<uint32_t> chosen;
    for (int i = 0; i < frames.count(); ++i)
        if (frames.selected(i)) chosen.push_back(uint32_t(i));
    size_t k = std::min(chosen.size(), size_t(int(kAniMaxSteps) - n));
    if (k == 0) return;
    chosen.resize(k);
    (void)commitFields();  // a field that is no number keeps the step's value
    int c = steps.current();
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
    steps.setFrames(uint32_t(newCount), imageWidth, imageHeight);
    int last = at + int(k) - 1;
    steps.setCurrent(last);
    showStep(last, false);
    if (!timerRunning) setPreview(last);

    int previous = frames.current();
    clearFrameSelection();
    if (k == 1) {
        const uint32_t next = chosen[0] + 1 < uint32_t(frames.count()) ? chosen[0] + 1 : 0;
        frames.setSel(true, next, next);
    }
    frames.setCurrent(previous + 1);  // refused past the last frame
}

void CursorAnimationDialogModel::deleteStep() {
    int n = stepCount(), c = steps.current();
    std::memmove(doc_->rates + c, doc_->rates + c + 1, sizeof(uint32_t) * size_t(n - c - 1));
    std::memmove(doc_->sequence + c, doc_->sequence + c + 1, sizeof(uint32_t) * size_t(n - c - 1));
    doc_->header.stepCount = uint32_t(n - 1);
    steps.setFrames(uint32_t(n - 1), imageWidth, imageHeight);
    if (c >= n - 1) c = n - 2;
    steps.setCurrent(c);
    showStep(c, false);
}

void CursorAnimationDialogModel::deleteAllSteps() {
    doc_->header.stepCount = 0;
    steps.setFrames(0, imageWidth, imageHeight);
    showStep(-1, false);
}

}  // namespace vc
