// Icons as today's tools write them (made by modern_icons.py beside this
// file): the entry each file opens at, and a pixel comparison of what the
// library hands over (24 bits, bottom row first, the mask behind) with the
// RGBA that Pillow decoded from the same entry. Shared by the native and
// the Windows tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vctest {

struct ModernIcon {
    const char *file;
    int index, width, bits;
    bool maskFromAlpha;  // the mask is exactly the fully transparent pixels
};
inline constexpr ModernIcon kModernIcons[] = {
    {"pillow_png.ico", 2, 128, 24, true},   // PNG entries only: the largest
    {"pillow_bmp.ico", 1, 48, 24, true},    // 32 bits, mask left empty
    {"pillow_odd_png.ico", 0, 45, 24, true},  // rows not a multiple of 8 pixels
    {"pillow_odd_bmp.ico", 0, 45, 24, true},
    {"magick.ico", 0, 128, 24, false},      // 32 bits with a mask of their own, kept
    {"mixed_rgba.ico", 1, 128, 24, true},   // a 32 x 32 16-colour bitmap, then a PNG image
    {"mixed_rgb.ico", 1, 128, 24, true},
    {"mixed_palette.ico", 1, 128, 24, true},
    {"mixed_bilevel.ico", 1, 128, 24, true},
    {"mixed_grey16.ico", 1, 128, 24, true},
    {"mixed_interlaced.ico", 1, 128, 24, true},
    {"mixed_cut.ico", 0, 32, 4, false},     // damaged PNG images: the bitmap instead
    {"mixed_lying.ico", 0, 32, 4, false},
    {"mixed_huge.ico", 0, 32, 4, false},
};

// Pixels of icon image data that differ from NAME.N.rgba; -1 when the file
// is missing or the sizes differ. Colours must match where a pixel is not
// fully transparent; with maskFromAlpha the mask must be exactly the fully
// transparent pixels and those black, otherwise every colour counts.
inline long iconPixelsDiffer(const std::vector<uint8_t> &icon, const std::string &rgbaFile, bool maskFromAlpha) {
    std::ifstream f(rgbaFile, std::ios::binary);
    const std::vector<uint8_t> rgba{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    auto le = [](const uint8_t *p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); };
    if (rgba.size() < 8 || icon.size() < 40) return -1;
    const uint32_t w = le(rgba.data()), h = le(rgba.data() + 4);
    const size_t row = (w * 3 + 3) / 4 * 4, maskRow = (w + 31) / 32 * 4, bits = 40 + 4 * size_t(le(&icon[32]));
    if (le(&icon[4]) != w || le(&icon[8]) != 2 * h || icon[14] != 24 || rgba.size() != 8 + 4ull * w * h ||
        icon.size() < bits + (row + maskRow) * h)
        return -1;
    long differ = 0;
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x) {
            const uint8_t *want = &rgba[8 + 4 * (y * w + x)], *got = &icon[bits + (h - 1 - y) * row + 3 * x];
            const bool masked = icon[bits + h * row + (h - 1 - y) * maskRow + x / 8] >> (7 - x % 8) & 1;
            const bool clear = want[3] == 0;
            bool same = got[0] == want[2] && got[1] == want[1] && got[2] == want[0];
            if (maskFromAlpha) same = masked == clear && (clear ? !got[0] && !got[1] && !got[2] : same);
            differ += !same;
        }
    return differ;
}

}  // namespace vctest
