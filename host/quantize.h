// Colour reduction for the reference host.
#pragma once

#include <cstdint>
#include <vector>

#include "host/image.h"

namespace host {

// Reduces pixels (top row first) to at most maxColors colours; fills the
// palette and one index per pixel. The native host uses libimagequant; the
// Windows build of the host, where that library is not at hand, maps onto
// a fixed palette.
void quantize(const std::vector<Rgb> &pixels, int32_t width, int32_t height, int maxColors, bool dither,
              std::vector<Rgb> &palette, std::vector<uint8_t> &indices);

// Nearest palette entry for every pixel.
std::vector<uint8_t> mapToPalette(const std::vector<Rgb> &pixels, const std::vector<Rgb> &palette);

// Fixed palettes: black and white; the 16 standard colours; a 6x6x6 cube
// with 40 greys.
std::vector<Rgb> fixedPalette(int colors);

}  // namespace host
