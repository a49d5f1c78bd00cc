// The packed DIB (header, colour table, rows) the way programs store their
// bitmaps and the AVI companion hands out its frames, made into a picture;
// and the same DIB inside a BMP file or handed over on its own.
#pragma once

#include <cstdint>
#include <optional>
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
//
// A form reads the DIB where it does not stand alone: behind a file header
// (headerAt), with its rows at an offset of their own (bitsAt, counted
// from the start of the bytes; the colour table then ends there at the
// latest, and a palette picture without one is readFailed). alphaFromMask
// reads 16 and 32 bits as BMP files mean them: B G R A (32 bits) where the
// DIB has an alpha mask, else 24 bits, the fourth byte of plain 32-bit
// rows dropped. runsEndAtImageSize ends run-length data where
// the header's image size says, for DIBs handed over without a size.
struct DibForm {
    uint64_t headerAt = 0;
    std::optional<uint64_t> bitsAt;
    bool alphaFromMask = false;
    bool runsEndAtImageSize = false;
};
Result decodePackedDib(std::span<const uint8_t> dib, const Limits &limits, Picture &out, const DibForm &form = {});
// A packed DIB handed over on its own, read as a BMP file's DIB is.
inline constexpr DibForm kDibAsInBmp{0, std::nullopt, true, true};

// A BMP file: "BM", the 14-byte file header with the offset of the rows,
// then the DIB, read with alphaFromMask. notFormat without the "BM".
bool looksLikeBmp(std::span<const uint8_t> bytes);
Result decodeBmp(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out);

}  // namespace vc
