// Resampling of 32-bit pictures (blue, green, red, alpha a pixel) to
// another size, for icon sets made from one large picture.
//
// Colours are weighted by their alpha while they are filtered: each
// picture is premultiplied first and divided back after, so a transparent
// pixel's colour (often black) cannot bleed into the edges of what shows.
//
// Linux builds filter with FFmpeg's scaler; a build without it (Windows)
// uses the area filter below. Either way the calls keep no state and may
// run on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vc {

// Pixels of one size, rows from the top, 4 bytes a pixel, no padding.
struct BgraPixels {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> bytes;  // width * height * 4
};

// The picture at width x height; false when memory is refused or the
// scaler cannot be set up. Sizes must be positive.
bool resampleBgra(const BgraPixels &from, int32_t width, int32_t height, BgraPixels &to);

// The scaler's own name for what filters the picture, for messages.
const char *resampleFilterName(bool shrinking);

// Colours multiplied by alpha, and back (a colour left above its alpha by
// a filter's overshoot is held to the alpha first).
inline void premultiply(std::vector<uint8_t> &bgra) {
    for (size_t i = 0; i + 3 < bgra.size(); i += 4) {
        const uint32_t a = bgra[i + 3];
        for (size_t c = 0; c < 3; ++c) bgra[i + c] = uint8_t((bgra[i + c] * a + 127) / 255);
    }
}
inline void unpremultiply(std::vector<uint8_t> &bgra) {
    for (size_t i = 0; i + 3 < bgra.size(); i += 4) {
        const uint32_t a = bgra[i + 3];
        for (size_t c = 0; c < 3; ++c) {
            const uint32_t v = a == 0 ? 0 : bgra[i + c] > a ? a : bgra[i + c];
            bgra[i + c] = a == 0 ? 0 : uint8_t((v * 255 + a / 2) / a);
        }
    }
}

// Area resampling: every target pixel is the mean of the source area it
// covers, each source pixel weighted by how much of it lies inside. Used
// where FFmpeg's scaler is not built in; no ringing, nothing outside the
// colours around.
void resampleArea(const BgraPixels &from, int32_t width, int32_t height, BgraPixels &to);

}  // namespace vc
