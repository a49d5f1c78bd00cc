// Resampling of 32-bit pictures (blue, green, red, alpha a pixel) to
// another size, for icon sets made from one large picture.
//
// Colours are weighted by their alpha while they are filtered (premultiplied
// with 16 bits a channel, or as floats, and divided back after), so a
// transparent pixel's colour (often black) cannot bleed into the edges of
// what shows, and faint pixels keep their colour.
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

// Area resampling: every target pixel is the mean of the source area it
// covers, each source pixel weighted by how much of it lies inside (and
// its colour by its alpha). Used where FFmpeg's scaler is not built in; no
// ringing, nothing outside the colours around.
void resampleArea(const BgraPixels &from, int32_t width, int32_t height, BgraPixels &to);

}  // namespace vc
