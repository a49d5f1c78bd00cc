// The packed DIB (header, colour table, rows) the way programs store their
// bitmaps and the AVI companion hands out its frames, made into a picture.
#pragma once

#include <cstdint>
#include <span>

#include "common/picture.h"
#include "common/result.h"

namespace vc {

// A packed DIB as a picture: the 12-byte core header and the 40-byte and
// later headers; 1, 4, 8 and 24 bits as they are, 32 bits as B G R A;
// 16 bits (5-5-5 or channel masks) as 24 bits, 32 bits with channel masks
// as B G R A (alpha 0 without an alpha mask); run-length rows of 4 and 8
// bits unpacked (pixels the runs skip are index 0); rows stored top down
// turned bottom up. notFormat for a header of another size, unsupported
// for another depth or compression, damaged for a size of 0 or less,
// readFailed when the rows end past the bytes, noMemory past the limits.
Result decodePackedDib(std::span<const uint8_t> dib, const Limits &limits, Picture &out);

}  // namespace vc
