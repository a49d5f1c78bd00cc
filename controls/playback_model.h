// The playback window's portable model: which frame of a GIF animation
// document shows at which timer tick, how long it stays, what the disposal
// of the frame before clears, frames that wait for the user, the repeat
// count, and when the animation has finished. The window it drives is a
// PlaybackSurface: on Windows the canvas and mask bitmaps of the playback
// dialog (template 111), headless and in the reference host a canvas of
// pixels that composes the frames the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>


namespace vc {

constexpr unsigned kPlaybackTimerId = 55;
constexpr unsigned kPlaybackTimerMs = 10;
constexpr int32_t kPlaybackMargin = 8;  // canvas inset in the client area, each side
constexpr int32_t kPlaybackMinTrack = 32;

// What the model asks of its window. The calls come in the order the
// window makes them: fill and draw go to the canvas, paint shows it.
class PlaybackSurface {
public:
    // Fills a rectangle of the canvas with the background colour.
    virtual void fillBackground(int32_t left, int32_t top, int32_t width, int32_t height) = 0;
    // Draws frame i (width x height from its picture's corner) at (left,
    // top) of the canvas, its transparent pixels left out; false when the
    // editor had no picture for it.
    virtual bool drawFrame(int32_t frame, int32_t left, int32_t top, int32_t width, int32_t height) = 0;
    virtual void paint() {}
    virtual void startTimer() {}  // the 10 ms frame timer
    virtual void killTimer() {}
    virtual void postTick() {}    // one timer message now, ahead of the timer

protected:
    ~PlaybackSurface() = default;
};

// What the playback window plays: the screen, the size of the frames the
// editor draws, the background colour and the frames' places and timing.
// The animation document it comes from makes it (playbackReel in the GIF
// folder); the window reads nothing else of the document.
struct PlaybackFrame {
    int16_t left = 0, top = 0;  // position on the screen
    uint16_t delay = 0;         // hundredths of a second
    uint16_t disposal = 0;      // 0 nothing, 1 leave, 2 background, 3 previous
    bool userInput = false;     // waits for a click or Enter
};
struct PlaybackReel {
    int32_t screenWidth = 0, screenHeight = 0;
    int32_t outputWidth = 0, outputHeight = 0;
    bool repeat = false;
    uint32_t loopCount = 0;        // 0: endless
    uint32_t background = 0;       // 0x00RRGGBB
    uintptr_t backgroundBrush = 0; // a brush the animation dialog lends, or 0
    std::vector<PlaybackFrame> frames;
};

class PlaybackModel {
public:
    // The model keeps its own copy of the reel. windowsNt picks
    // the tick count of a delay (the hundredths themselves on NT; about two
    // elevenths of them where the system timer ticks at 55 ms).
    PlaybackModel(PlaybackReel reel, bool windowsNt) : record_(std::move(reel)), nt_(windowsNt) {}
    const PlaybackReel &reel() const { return record_; }

    // The window opened: blank canvas, no frame yet, the timer running.
    void start(PlaybackSurface &surface);
    // A timer message: wait, or show the next frame.
    void tick();
    // A click (any button) or Enter: true when the window is to close (the
    // animation had finished); else a frame waiting for the user goes on.
    bool userInput();
    // Escape or the close box: the timer stops.
    void close();

    // Timer ticks a frame with this delay waits after the tick that showed it.
    static uint32_t waitTicks(uint16_t delay, bool windowsNt);

    int32_t current() const { return current_; }
    uint32_t waitCounter() const { return wait_; }
    uint32_t loopsDone() const { return loops_; }
    bool finished() const { return finished_; }
    bool timerRunning() const { return timer_; }
    // Frames shown so far (each advance that drew one).
    uint64_t shown() const { return shown_; }
    // Neither the timer nor a posted tick will move it: it waits for the
    // user, or has finished.
    bool idle() const { return !timer_ && !posted_; }
    bool started() const { return surface_ != nullptr; }

private:
    void advance();
    void stop();

    PlaybackReel record_;
    bool nt_;
    PlaybackSurface *surface_ = nullptr;
    int32_t current_ = -1;
    uint32_t wait_ = 0;
    uint32_t loops_ = 0;
    bool finished_ = false;
    bool timer_ = false;
    bool posted_ = false;  // a tick posted and not yet handled
    uint64_t shown_ = 0;
};

// A canvas of pixels (0x00RRGGBB, top row first) with the composition
// rules of the playback window: frames clipped to the canvas, pixels of
// the transparent colour left out.
struct PlaybackCanvas {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;

    void resize(int32_t w, int32_t h, uint32_t color);
    void fill(int32_t left, int32_t top, int32_t w, int32_t h, uint32_t color);
    // width x height pixels from the corner of a picture of pictureWidth x
    // pictureHeight (top row first) put at (left, top).
    void compose(const uint32_t *picture, int32_t pictureWidth, int32_t pictureHeight, int32_t left, int32_t top,
                 int32_t w, int32_t h, std::optional<uint32_t> transparent);
    uint32_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

}  // namespace vc
