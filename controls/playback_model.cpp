#include "controls/playback_model.h"

#include <algorithm>

namespace vc {

uint32_t PlaybackModel::waitTicks(uint16_t delay, bool windowsNt) {
    if (windowsNt) return delay;
    // Single precision throughout, each step rounded to float as the
    // window's own arithmetic is, so 10 gives 2.27 and so 2 ticks.
    volatile float sum = float(delay) + 2.5f;
    volatile float ticks = sum * 0.18181819f;
    return uint32_t(ticks);
}

void PlaybackModel::start(PlaybackSurface &surface) {
    surface_ = &surface;
    wait_ = 0;
    loops_ = 0;
    current_ = -1;
    shown_ = 0;
    posted_ = false;
    surface_->fillBackground(0, 0, record_.screenWidth, record_.screenHeight);
    surface_->startTimer();
    timer_ = true;
    finished_ = false;
}

void PlaybackModel::tick() {
    if (!surface_) return;
    posted_ = false;
    if (wait_ > 0) {
        --wait_;
        return;
    }
    advance();
}

void PlaybackModel::stop() {
    if (timer_) surface_->killTimer();
    timer_ = false;
    finished_ = true;
}

void PlaybackModel::advance() {
    const int32_t n = int32_t(record_.frames.size());
    const int32_t width = record_.outputWidth, height = record_.outputHeight;
    if (current_ >= 0 && current_ < n) {
        const PlaybackFrame &was = record_.frames[current_];
        // Restoring the previous image is drawn as a restore to background.
        if (was.disposal == 2 || was.disposal == 3) surface_->fillBackground(was.left, was.top, width, height);
    }
    ++current_;
    if (current_ >= n) {
        // An empty document has no frame to start again from.
        if (finished_ || !record_.repeat || n == 0 || (record_.loopCount != 0 && loops_ >= record_.loopCount)) {
            stop();
            return;
        }
        ++loops_;
        current_ = 0;
    }
    const PlaybackFrame &f = record_.frames[current_];
    if (!surface_->drawFrame(current_, f.left, f.top, width, height)) {
        stop();
        return;
    }
    ++shown_;
    surface_->paint();
    finished_ = false;
    if (f.delay == 0) {
        if (timer_) surface_->killTimer();
        timer_ = false;
        if (f.userInput) return;
        // The next frame follows at once; should that be the end, the
        // sequence is not started again.
        surface_->postTick();
        posted_ = true;
        finished_ = true;
        return;
    }
    wait_ = waitTicks(f.delay, nt_);
    if (!timer_) surface_->startTimer();
    timer_ = true;
}

bool PlaybackModel::userInput() {
    if (finished_) return true;
    if (surface_ && current_ >= 0 && current_ < int32_t(record_.frames.size()) && record_.frames[current_].userInput) {
        wait_ = 0;
        advance();
    }
    return false;
}

void PlaybackModel::close() {
    if (timer_ && surface_) surface_->killTimer();
    timer_ = false;
}

// ---- The canvas of pixels ---------------------------------------------------------------

void PlaybackCanvas::resize(int32_t w, int32_t h, uint32_t color) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.assign(size_t(width) * size_t(height), color);
}

void PlaybackCanvas::fill(int32_t left, int32_t top, int32_t w, int32_t h, uint32_t color) {
    const int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(left) + w, width), y1 = std::min<int64_t>(int64_t(top) + h, height);
    for (int64_t y = y0; y < y1; ++y)
        std::fill(pixels.begin() + (y * width + x0), pixels.begin() + (y * width + x1), color);
}

void PlaybackCanvas::compose(const uint32_t *picture, int32_t pictureWidth, int32_t pictureHeight, int32_t left,
                             int32_t top, int32_t w, int32_t h, std::optional<uint32_t> transparent) {
    if (!picture) return;
    // The part of the picture that exists and lands on the canvas.
    w = std::min(w, pictureWidth);
    h = std::min(h, pictureHeight);
    const int64_t sx0 = std::max<int64_t>(0, -int64_t(left)), sy0 = std::max<int64_t>(0, -int64_t(top));
    const int64_t sx1 = std::min<int64_t>(w, int64_t(width) - left), sy1 = std::min<int64_t>(h, int64_t(height) - top);
    for (int64_t sy = sy0; sy < sy1; ++sy) {
        const uint32_t *src = picture + sy * pictureWidth;
        uint32_t *dst = pixels.data() + (sy + top) * width + left;
        for (int64_t sx = sx0; sx < sx1; ++sx)
            if (!transparent || src[sx] != *transparent) dst[sx] = src[sx];
    }
}

}  // namespace vc
