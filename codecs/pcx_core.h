// PCX as bytes: the reader of padded and packed files of 1, 4, 8 and 24
// bits, and the writer of padded version-5 files, run-length coded or raw.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codecs/pcx_rle.h"
#include "codecs/rows_target.h"
#include "common/picture.h"
#include "common/result.h"

namespace vc {

// The 16 colours that replace the header palette of version-3 files, as
// red, green, blue.
extern const uint8_t DefaultPcxPalette[16][3];

// What the writer can be asked for. The defaults are what a save from the
// editor writes.
struct PcxWriteOptions {
    uint8_t version = 5;  // written into the header
    bool encoded = true;  // run-length coded; else the planes as they are
};

// True when the bytes start as a PCX file: a first byte of 10 (padded
// plane lines) or 205 (packed).
bool looksLikePcx(std::span<const uint8_t> bytes);

// The picture. notFormat when looksLikePcx says no; readFailed for bytes
// shorter than a header, or than the data area and the palette block of a
// 256-colour file; unsupported for a depth other than 1, 4, 8 or 24,
// an empty window or a palette block without its marker; noMemory when
// the picture passes the request's limits (found before the palette and
// the planes are looked at) or memory is refused; damaged for a depth
// reached with a plane count that does not give it.
Result decodePcx(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out);
// The same with the rows where the target says.
Result decodePcx(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out,
                 const RowsTarget &target);

// Writes a picture of 1, 4, 8 or 24 bits (unsupported for another depth
// or an inconsistent picture): the 128-byte header, the pixel data, and
// at 8 bits the 769-byte palette block behind it. Reports progress over
// the rows (to 50 when coding follows) and the coded lines (50 to 100).
Result encodePcx(const Picture &picture, const CoreRequest &request, std::vector<uint8_t> &out);
Result encodePcx(const Picture &picture, const PcxWriteOptions &options, const CoreRequest &request,
                 std::vector<uint8_t> &out);
// The same with the rows where the caller holds them (bottom row first,
// rowBytes() each); the picture's pixels are not read.
Result encodePcx(const Picture &picture, const uint8_t *rows, const PcxWriteOptions &options,
                 const CoreRequest &request, std::vector<uint8_t> &out);

}  // namespace vc
