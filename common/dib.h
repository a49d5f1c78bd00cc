// The rules of a device-independent bitmap that every part of the code
// agrees on, written once: the size of a pixel row and the resolution a
// picture gets when its file gives none. Plain constants with no other
// includes, so the companion library and the host use them as well.
#pragma once

#include <cstdint>

namespace vc {

// Bytes in one pixel row: ((width x bits + 31) / 32) x 4, in 64 bits so a
// hostile width cannot wrap; none for a width that is not positive.
constexpr uint64_t dibRowBytes(int64_t width, uint32_t bitCount) {
    return width <= 0 ? 0 : ((uint64_t(width) * bitCount + 31) / 32) * 4;
}

// The resolution of a picture whose file says nothing usable about it:
// 75 dots per inch, in pixels per metre.
constexpr int32_t kDefaultPelsPerMeter = 2953;

}  // namespace vc
