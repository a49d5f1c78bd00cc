// The area filter of common/resample.h, separable: rows first, then
// columns, colours weighted by alpha and kept as floats between the passes.
#include <algorithm>
#include <new>

#include "common/resample.h"

namespace vc {

namespace {

// For each target position, the source positions it covers and how much
// of each (the weights of one target sum to 1).
struct Tap {
    int32_t from;
    float weight;
};
std::vector<std::vector<Tap>> taps(int32_t source, int32_t target) {
    auto out = std::vector<std::vector<Tap>>(size_t(target));
    const double scale = double(source) / target;
    for (int32_t t = 0; t < target; ++t) {
        const double lo = t * scale, hi = (t + 1) * scale;
        for (int32_t s = int32_t(lo); s < source && s < hi; ++s) {
            const double cover = std::min<double>(hi, s + 1) - std::max<double>(lo, s);
            if (cover > 0) out[size_t(t)].push_back({s, float(cover / scale)});
        }
    }
    return out;
}

}  // namespace

void resampleArea(const BgraPixels &from, int32_t width, int32_t height, BgraPixels &to) {
    const auto across = taps(from.width, width), down = taps(from.height, height);
    // Rows to the target width, colours weighted by alpha.
    std::vector<float> wide(size_t(width) * size_t(from.height) * 4, 0.f);
    for (int32_t y = 0; y < from.height; ++y) {
        const uint8_t *row = from.bytes.data() + size_t(y) * size_t(from.width) * 4;
        float *out = wide.data() + size_t(y) * size_t(width) * 4;
        for (int32_t x = 0; x < width; ++x)
            for (const Tap &t : across[size_t(x)]) {
                const uint8_t *px = row + 4 * t.from;
                const float a = t.weight * px[3];
                for (int c = 0; c < 3; ++c) out[4 * x + c] += a * px[c];
                out[4 * x + 3] += a;
            }
    }
    // Columns to the target height, then divided back by alpha.
    to.width = width;
    to.height = height;
    to.bytes.assign(size_t(width) * size_t(height) * 4, 0);
    std::vector<float> sum(size_t(width) * 4);
    for (int32_t y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.f);
        for (const Tap &t : down[size_t(y)]) {
            const float *row = wide.data() + size_t(t.from) * size_t(width) * 4;
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += t.weight * row[i];
        }
        uint8_t *out = to.bytes.data() + size_t(y) * size_t(width) * 4;
        for (size_t i = 0; i < sum.size(); i += 4) {
            const float a = sum[i + 3];
            out[i + 3] = uint8_t(std::clamp(a + 0.5f, 0.f, 255.f));
            if (out[i + 3] == 0) continue;
            for (size_t c = 0; c < 3; ++c) out[i + c] = uint8_t(std::clamp(sum[i + c] / a + 0.5f, 0.f, 255.f));
        }
    }
}

}  // namespace vc
