// The synthetic photograph the benchmarks share where no real picture fits
// (any size on demand): smooth light falloff, texture and noise. Calls
// pixel(x, y, blue, green, red) for every pixel, rows top first, so that
// every program builds the same picture at the same size.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vcbench {

template <class Pixel>
void syntheticPhoto(int width, int height, Pixel pixel) {
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int(seed >> 28) - 8;
            const int base = (x * 200 / width + y * 55 / height) + ((x / 37 + y / 23) % 5) * 6;
            pixel(x, y, std::clamp(base / 2 + noise + 20, 0, 255), std::clamp(base + noise, 0, 255),
                  std::clamp(255 - base / 2 + noise, 0, 255));
        }
}

}  // namespace vcbench
