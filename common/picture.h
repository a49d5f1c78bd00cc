// What the format cores give and take: a picture, an animation of
// pictures, and the request that carries the limits, progress and cancel
// of one call. Plain values on the heap: a core keeps nothing between
// calls, so two threads may read and write different files at once.
//
// Pixels are laid out as in an image block (and a BMP file): rows bottom
// up, each padded to 4 bytes (dibRowBytes), indices for 1, 4 and 8 bits,
// B G R for 24 and B G R A for 32. The importers copy them into image
// blocks unchanged; the public API gives rows top down on top of this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/dib.h"
#include "common/limits.h"

namespace vc {

// A colour-table entry as stored in a DIB: blue, green, red, reserved.
struct Rgbq {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
    friend bool operator==(const Rgbq &, const Rgbq &) = default;
};

// Bytes in one row of pixels, the image block's rule under the name the
// cores know it by.
constexpr uint64_t pictureRowBytes(int64_t width, uint32_t bitCount) { return dibRowBytes(width, bitCount); }

struct Picture {
    int32_t width = 0, height = 0;
    uint16_t bitCount = 0;        // 1, 4, 8, 24 or 32
    std::vector<Rgbq> palette;    // the colour table, up to 2^bits entries
    std::vector<uint8_t> pixels;  // height rows of rowBytes(), bottom row first
    // The AND mask of an icon or cursor: 1 bit per pixel, rows bottom up
    // and padded to 4 bytes; empty when the picture has none.
    std::vector<uint8_t> mask;
    bool hasHotspot = false;      // a cursor's
    int32_t hotspotX = 0, hotspotY = 0;
    int32_t xPelsPerMeter = 0, yPelsPerMeter = 0;  // 0: not known
    int32_t transparentIndex = -1;                 // a GIF's transparent colour; -1 none

    uint64_t rowBytes() const { return pictureRowBytes(width, bitCount); }
    uint64_t maskRowBytes() const { return pictureRowBytes(width, 1); }
    // Row y counted from the top.
    uint8_t *rowFromTop(int32_t y) { return pixels.data() + uint64_t(height - 1 - y) * rowBytes(); }
    const uint8_t *rowFromTop(int32_t y) const { return pixels.data() + uint64_t(height - 1 - y) * rowBytes(); }
    // Whether the geometry, depth, palette and buffers agree.
    bool consistent() const {
        if (width <= 0 || height <= 0) return false;
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) return false;
        if (bitCount <= 8 && palette.size() > (size_t(1) << bitCount)) return false;
        if (pixels.size() != rowBytes() * uint64_t(height)) return false;
        return mask.empty() || mask.size() == maskRowBytes() * uint64_t(height);
    }
};

// One frame of an animation: its picture and where and how long it shows.
struct Frame {
    Picture picture;
    int32_t left = 0, top = 0;  // position on the animation's screen
    uint32_t delay = 0;         // hundredths of a second (GIF, AVI)
    uint8_t disposal = 0;       // GIF: 0 none, 1 leave, 2 background, 3 previous
    bool userInput = false;     // GIF: waits for the user
    bool interlaced = false;    // GIF: stored interlaced
    bool graphicControl = true; // GIF: read with a graphic control block before it
    // X cursors: the nominal size the image is chosen for (0: the
    // picture's own), and the delay in exact milliseconds where the format
    // keeps them (delayExact; delay then holds them rounded to hundredths).
    uint32_t nominalSize = 0;
    uint32_t delayMs = 0;
    bool delayExact = false;
    // Icon sets: the picture this frame is one size of (an icon, an
    // animated cursor's frame); -1 when it is a picture of its own.
    int64_t group = -1;
};

struct Animation {
    int32_t screenWidth = 0, screenHeight = 0;
    std::vector<Frame> frames;
    // GIF: the looping extension is present, and its count (0 endless).
    bool repeat = false;
    uint32_t loopCount = 0;
    std::vector<Rgbq> globalPalette;  // GIF's global table; empty when none
    uint32_t backgroundIndex = 0;
    std::string comment;              // GIF's comment
    // GIF: the images the file holds, those past the frames kept too.
    uint32_t imagesInFile = 0;
    // Animated cursors: title, author, the default rate and the rates and
    // sequence of steps (rates in jiffies, 1/60 s; empty when the file has
    // none).
    std::string title, author;
    uint32_t defaultRate = 0;
    std::vector<uint32_t> rates;
    std::vector<uint32_t> sequence;
    // AVI: frames per second as a fraction.
    uint32_t rateNumerator = 0, rateDenominator = 0;
};

// Progress and cancel of one call. The core reports 0 to 100 as it goes;
// a report that answers false stops it, and the call gives
// Result::cancelled. Without a function nothing is reported.
struct Progress {
    bool (*report)(void *context, int32_t percent) = nullptr;
    void *context = nullptr;
    bool operator()(int32_t percent) const { return !report || report(context, percent); }
};

// What every core call takes besides its input: the limits it keeps to
// (the library's defaults unless the caller lowers them) and progress.
struct CoreRequest {
    Limits limits{};
    Progress progress{};
};

}  // namespace vc
