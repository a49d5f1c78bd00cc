// What the AVI companion's native and Windows tests share: its packed DIBs
// as top-down BGR pictures, the form FFmpeg's raw output and the
// references of avi_tool.py take, and the DIB header the writing tests
// give it.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace avitest {

using Bytes = std::vector<uint8_t>;

inline Bytes slurp(const std::string &name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline size_t strideOf(int32_t width, int bits) { return ((size_t(width) * size_t(bits) + 31) / 32) * 4; }

// Bottom-up rows at 8 bits (through the colour table) or 24 bits.
inline Bytes dibToBgr(const uint8_t *dib) {
    const int32_t w = int32_t(vc::loadLe32(dib + 4)), h = int32_t(vc::loadLe32(dib + 8));
    const int bits = vc::loadLe16(dib + 14);
    const uint32_t colours = bits == 8 ? (vc::loadLe32(dib + 32) ? vc::loadLe32(dib + 32) : 256) : 0;
    const uint8_t *table = dib + vc::loadLe32(dib), *pixels = table + 4 * colours;
    const size_t stride = strideOf(w, bits);
    Bytes bgr;
    for (int32_t y = h - 1; y >= 0; --y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t *p = bits == 8 ? table + 4 * pixels[size_t(y) * stride + size_t(x)]
                                         : pixels + size_t(y) * stride + 3 * size_t(x);
            bgr.insert(bgr.end(), p, p + 3);
        }
    return bgr;
}

// A BITMAPINFOHEADER with a grey colour table at 8 bits.
inline Bytes dibHeader(int32_t w, int32_t h, int bits) {
    Bytes header(40 + (bits == 8 ? 1024 : 0));
    vc::storeLe32(header.data(), 40);
    vc::storeLe32(header.data() + 4, uint32_t(w));
    vc::storeLe32(header.data() + 8, uint32_t(h));
    vc::storeLe16(header.data() + 12, 1);
    vc::storeLe16(header.data() + 14, uint32_t(bits));
    vc::storeLe32(header.data() + 20, uint32_t(strideOf(w, bits) * size_t(h)));
    for (size_t c = 0; 40 + 4 * c < header.size(); ++c) vc::storeLe32(header.data() + 40 + 4 * c, uint32_t(c * 0x010101));
    return header;
}

// The pixels of frame k of the writing tests: smooth ramps that move.
inline Bytes rampPixels(int32_t w, int32_t h, int bits, int k) {
    const size_t stride = strideOf(w, bits);
    Bytes bits8(stride * size_t(h));
    for (size_t i = 0; i < bits8.size(); ++i) bits8[i] = uint8_t((i % stride) * 5 / 4 + (i / stride) * 3 + size_t(k) * 50);
    return bits8;
}

// Frames 0 to 3 of rampPixels with delays 1, 2, 3 at 12 a second: each
// given to write(tick, pixels) at ticks 0, 1 and 3, the last again at 5.
// Returns the picture a player shows at each of the six ticks, top-down
// BGR, or none when a write fails.
template <class Write> Bytes writeRamps(Write write, const Bytes &header, int32_t w, int32_t h, int bits) {
    const int32_t ticks[] = {0, 1, 3, 5, 6};
    Bytes shown;
    for (int k = 0; k < 4; ++k) {
        Bytes dib = header, pixels = rampPixels(w, h, bits, k);
        if (!write(ticks[k], pixels)) return {};
        dib.insert(dib.end(), pixels.begin(), pixels.end());
        const Bytes bgr = dibToBgr(dib.data());
        for (int32_t t = ticks[k]; t < ticks[k + 1]; ++t) shown.insert(shown.end(), bgr.begin(), bgr.end());
    }
    return shown;
}

}  // namespace avitest
