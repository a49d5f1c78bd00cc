// Resampling where FFmpeg's scaler is not built in: the area filter alone.
#include <new>

#include "common/resample.h"

namespace vc {

bool resampleBgra(const BgraPixels &from, int32_t width, int32_t height, BgraPixels &to) {
    try {
        resampleArea(from, width, height, to);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

const char *resampleFilterName(bool) { return "area"; }

}  // namespace vc
