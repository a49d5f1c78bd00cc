// Icons as today's tools write them (modern_icons.py beside this file): the
// entry each opens at, and the pixels the library hands over (24 bits,
// bottom row first, the mask behind) against the RGBA Pillow decoded from
// that entry. Shared by the native and the Windows tests.
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
    bool maskFromAlpha;  // the mask is exactly the pixels of alpha below 128, and those black
};
inline constexpr ModernIcon kModernIcons[] = {
    {"pillow_png.ico", 2, 128, 24, true},  {"pillow_bmp.ico", 1, 48, 24, true},
    {"pillow_odd_png.ico", 0, 45, 24, true}, {"pillow_odd_bmp.ico", 0, 45, 24, true},
    {"magick.ico", 0, 128, 24, false},  // 32 bits with a mask of their own, kept
    {"mixed_rgba.ico", 1, 128, 24, true},  {"mixed_rgb.ico", 1, 128, 24, true},
    {"mixed_palette.ico", 1, 128, 24, true}, {"mixed_bilevel.ico", 1, 128, 24, true},
    {"mixed_grey16.ico", 1, 128, 24, true}, {"mixed_interlaced.ico", 1, 128, 24, true},
    // Every entry stating 0 x 0 (256 x 256): the largest image by its own header.
    {"only256_png.ico", 0, 256, 24, true}, {"only256_bmp.ico", 0, 256, 24, true},
    {"only256_mixed.ico", 1, 256, 24, true},
    // Damaged PNG images: the bitmap beside them instead.
    {"mixed_cut.ico", 0, 32, 4, false}, {"mixed_lying.ico", 0, 32, 4, false}, {"mixed_huge.ico", 0, 32, 4, false},
};

// Pixels of the icon image data that differ from Pillow's (NAME.N.rgba);
// -1 when that is missing or of another size. Without maskFromAlpha only
// the colours count.
inline long iconPixelsDiffer(const std::vector<uint8_t> &icon, const std::string &rgbaFile, bool maskFromAlpha) {
    std::ifstream f(rgbaFile, std::ios::binary);
    const std::vector<uint8_t> rgba{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    auto le = [](const uint8_t *p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); };
    const uint32_t w = rgba.size() < 8 ? 0 : le(&rgba[0]), h = rgba.size() < 8 ? 0 : le(&rgba[4]);
    const size_t row = (w * 3 + 3) / 4 * 4, maskRow = (w + 31) / 32 * 4, bits = 40;  // no colour table
    if (!w || rgba.size() != 8 + 4ull * w * h || icon.size() < bits + (row + maskRow) * h || le(&icon[4]) != w ||
        le(&icon[8]) != 2 * h || icon[14] != 24)
        return -1;
    long differ = 0;
    for (size_t y = 0, up = h - 1; y < h; ++y, --up)
        for (size_t x = 0; x < w; ++x) {
            const uint8_t *want = &rgba[8 + 4 * (y * w + x)], *got = &icon[bits + up * row + 3 * x];
            const bool masked = icon[bits + h * row + up * maskRow + x / 8] >> (7 - x % 8) & 1, clear = want[3] < 128;
            const bool same = got[0] == want[2] && got[1] == want[1] && got[2] == want[0];
            differ += maskFromAlpha ? masked != clear || (clear ? got[0] || got[1] || got[2] : !same) : !same;
        }
    return differ;
}

}  // namespace vctest
