// JPEG files as other programs make them and damaged ones (jpeg_files.py
// beside this file), with the result a load gives on every system: the
// same file, the same answer. Shared by the native and the Windows tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "velmconv/velmconv.h"

namespace vctest {

struct JpegCase {
    const char *file;
    int16_t result;
};
inline constexpr JpegCase kJpegCases[] = {
    // CMYK with inverted samples, converted to RGB as the Windows decoder does.
    {"cmyk_magick.jpg", CONV_OK},
    {"cmyk_pillow.jpg", CONV_OK},
    // Cut short in the scan: completed, the missing part grey.
    {"cut_in_scan.jpg", CONV_OK},
    {"progressive_cut.jpg", CONV_OK},
    {"progressive_first_scan.jpg", CONV_OK},
    // Whatever trails the rows is not looked at.
    {"marker_in_scan.jpg", CONV_OK},
    // Damage that stops the decoder, before its scans or within them.
    {"cut_before_scan.jpg", CONV_E_READ},
    {"bad_sampling.jpg", CONV_E_READ},
    {"scan_names_no_component.jpg", CONV_E_READ},
    {"progressive_bad_scan.jpg", CONV_E_READ},
};

// The largest channel difference between a loaded 24-bit packed DIB (40-byte
// header, rows bottom up) and the RGB beside a CMYK file (NAME.rgb: width,
// height, then rows from the top); 256 when either is missing or the sizes
// differ.
inline int worstAgainstRgb(const std::vector<uint8_t> &dib, const std::string &rgbFile) {
    std::ifstream f(rgbFile, std::ios::binary);
    const std::vector<uint8_t> rgb{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    auto le = [](const uint8_t *p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); };
    const uint32_t w = rgb.size() < 8 ? 0 : le(&rgb[0]), h = rgb.size() < 8 ? 0 : le(&rgb[4]);
    const size_t row = (w * 3 + 3) / 4 * 4;
    if (!w || rgb.size() != 8 + 3ull * w * h || dib.size() < 40 + row * h || le(&dib[4]) != w || le(&dib[8]) != h)
        return 256;
    int worst = 0;
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x)
            for (size_t c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int(dib[40 + (h - 1 - y) * row + 3 * x + 2 - c]) -
                                                 int(rgb[8 + 3 * (y * w + x) + c])));
    return worst;
}

}  // namespace vctest
