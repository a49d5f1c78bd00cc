#include "controls/reel_model.h"

#include <algorithm>
#include <climits>

namespace vc {

namespace {
int32_t saturate(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
}  // namespace

// ---- Messages --------------------------------------------------------------------------
void ReelModel::setFrames(uint32_t count, uint16_t frameWidth, uint16_t frameHeight) {
    count_ = int32_t(std::min<uint32_t>(count, INT32_MAX));
    frameWidth_ = frameWidth;
    frameHeight_ = frameHeight;
    current_ = -1;
    pendingView_ = -1;
    if (count_ == 0) offset_ = 0;
    selection_.reset();
    // Without its block the strip simply has no selection.
    if (count_ > 0 && !selection_.alloc(uint64_t(count_))) selection_.reset();
    layout();
    invalidate(ReelRepaint::All);
}

void ReelModel::setCurrent(int32_t index, bool noScroll) {
    if (index < 0) index = -1;
    if (index >= count_ || index == current_) return;
    current_ = index;
    pendingView_ = -1;
    if (noScroll || index < 0) {
        invalidate(ReelRepaint::Marks);
        return;
    }
    scrollIntoView(index);
    invalidate(ReelRepaint::Marks);
}

bool ReelModel::selected(int32_t index) const {
    if (!selection_.data() || count_ <= 0 || uint32_t(index) > uint32_t(count_ - 1)) return false;
    return selection_.data()[index] != 0;
}

void ReelModel::setSel(bool select, uint32_t first, uint32_t last) {
    if (!multiSelect()) return;
    const int64_t lastFrame = int64_t(count_) - 1;
    int64_t to = last >= lastFrame ? lastFrame : int64_t(last);
    if (!selection_.data() || int64_t(first) > to) return;
    std::fill(selection_.data() + first, selection_.data() + to + 1, uint8_t(select ? 1 : 0));
    notify(REELN_SELCHANGE, 0);
    invalidate(ReelRepaint::Marks);
}

int32_t ReelModel::selCount() const {
    if (!selection_.data()) return 0;
    return int32_t(std::count_if(selection_.data(), selection_.data() + count_, [](uint8_t b) { return b != 0; }));
}

// ---- Geometry ------------------------------------------------------------------------------
void ReelModel::resize(int32_t width, int32_t height, int32_t scrollBarHeight) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    barHeight_ = std::max(scrollBarHeight, 0);
    layout();
    if (width_ > 0 && pendingView_ >= 0) scrollIntoView(std::exchange(pendingView_, -1));
}

void ReelModel::layout() {
    const int32_t h = height_ - barHeight_ - 2 * kBand;
    if (h > 0 && frameHeight_ > 0) {
        // The cells take the frames' aspect ratio, worked out in single
        // precision; the stores round away any wider intermediate (x87).
        volatile float perRow = float(frameHeight_) / float(h);
        volatile float w = float(frameWidth_) / perRow;
        cellWidth_ = std::max(saturate(int64_t(w)), kMinCellWidth);
        cellHeight_ = h;
    } else {
        cellWidth_ = kMinCellWidth;
        cellHeight_ = 0;
    }
    const int64_t content = int64_t(count_) * pitch() + kGap;
    // At the largest offset the content ends three quarters into the client.
    extent_ = saturate(std::max<int64_t>(0, content - (width_ - width_ / 4)));
    barMax_ = extent_ / kScrollUnit;
    offset_ = std::min(offset_, extent_);
    setBarPosition(offset_ / kScrollUnit);
    cellsPerPage_ = std::max(1, width_ / pitch());
}

void ReelModel::scrollIntoView(int32_t index) {
    // A strip set up before its window has a size cannot tell what is in
    // view: measured against a width of 0 every frame would lie too far
    // right and the first one would open cut off at the left.
    if (width_ == 0) {
        pendingView_ = index;
        return;
    }
    const int64_t start = int64_t(pitch()) * index;
    const int64_t left = start - offset_ + kGap / 2;
    if (left >= 0 && left < width_ - cellWidth_ / 2) return;
    if (left < 0)
        offset_ = saturate(std::max<int64_t>(0, start));  // the cell comes to x = 12
    else
        offset_ = saturate(start - width_ + cellWidth_ + 2 * kGap);  // its right edge 12 before the client's
    setBarPosition(offset_ / kScrollUnit);
    invalidate(ReelRepaint::All);
}

void ReelModel::setBarPosition(int32_t position) {
    // A scroll bar keeps its position inside its range.
    barPosition_ = std::clamp(position, 0, barMax_);
}

int32_t ReelModel::hitTest(uint16_t x, uint16_t y) const {
    if (y < kBand || y > cellHeight_ + kBand) return -1;
    const int64_t i = (int64_t(x) + offset_ - kGap) / pitch();
    const int64_t left = kGap + i * pitch() - offset_;
    if (x < left || x > left + cellWidth_ || i >= count_) return -1;
    return int32_t(i);
}

std::vector<ReelCell> ReelModel::visibleCells() const {
    std::vector<ReelCell> cells;
    int64_t x = kGap + int64_t(offset_ / pitch()) * pitch() - offset_;
    for (int32_t i = offset_ / pitch(); i < count_ && x <= width_; ++i, x += pitch())
        cells.push_back(ReelCell{i, int32_t(x), selected(i), i == current_});
    return cells;
}

// ---- Input -------------------------------------------------------------------------------------
void ReelModel::leftButtonDown(uint16_t x, uint16_t y) {
    if (int32_t i = hitTest(x, y); i >= 0) notify(REELN_CLICK, i);
}

void ReelModel::leftDoubleClick(uint16_t x, uint16_t y) { notify(REELN_DBLCLK, hitTest(x, y)); }

void ReelModel::rightButtonDown(uint16_t x, uint16_t y) { notify(REELN_RCLICK, hitTest(x, y)); }

void ReelModel::keyDown(int virtualKey) {
    if (count_ == 0) return;
    const int32_t c = current_, last = count_ - 1, page = cellsPerPage_;
    int32_t n = c;
    switch (virtualKey) {
    case kKeySpace:
        // The toggle goes through REEL_SETSEL with the index in both words.
        setSel(!selected(c), uint16_t(c), uint16_t(c));
        return;
    case kKeyPageUp: n = c - page > 0 ? c - page : 0; break;
    case kKeyPageDown: n = c + page < last ? c + page : last; break;
    case kKeyEnd: n = last; break;
    case kKeyHome: n = 0; break;
    case kKeyLeft: n = c > 0 ? c - 1 : 0; break;
    case kKeyRight: n = c < last ? c + 1 : last; break;
    default: return;
    }
    if (n == c) return;
    notify(REELN_CURRENT, n);
    setCurrent(n);
}

void ReelModel::scrollBar(int code, int thumbPosition) {
    const int32_t p = barPosition_, lo = 0, hi = barMax_;
    const int32_t unit = pitch() / kScrollUnit, pageStep = unit * cellsPerPage_;
    int32_t n;
    switch (code) {
    case kLineLeft: n = std::max(p - unit, lo); break;
    case kLineRight: n = std::min(p + unit, hi); break;
    case kPageLeft: n = std::max(p - pageStep, lo); break;
    case kPageRight: n = std::min(p + pageStep, hi); break;
    case kThumbPosition:
    case kThumbTrack: n = thumbPosition; break;
    case kLeft: n = lo; break;
    case kRight: n = hi; break;
    default: return;
    }
    if (n == p) return;
    offset_ = saturate(int64_t(n) * kScrollUnit);
    setBarPosition(n);
    invalidate(ReelRepaint::All);
}

// ---- To the window and the parent ---------------------------------------------------------
void ReelModel::invalidate(ReelRepaint kind) {
    if (kind > repaint_) repaint_ = kind;
}

void ReelModel::notify(int code, int32_t index) {
    if (parent_) parent_->reelNotify(id_, code, index);
}

}  // namespace vc
