// JPEG as bytes, through the JPEG library stand-in (ijl/): the library does
// the coding; this side hands it the file's bytes and the picture's rows.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codecs/rows_target.h"
#include "common/picture.h"
#include "common/result.h"

namespace vc {

// What the writer can be asked for. The defaults are what a save from the
// editor writes: quality 100, chroma halved across (4:2:2).
struct JpegWriteOptions {
    int32_t quality = 100;   // 1 to 100
    int32_t subsampling = 2; // the stand-in's JL_SUBSAMPLE_*: 0 none, 1 4:2:0, 2 4:2:2
};

// True when the bytes start with a JPEG's start-of-image marker.
bool looksLikeJpeg(std::span<const uint8_t> bytes);

// The picture, 24 bits. notFormat when looksLikeJpeg says no; readFailed
// when the library cannot read the parameters or they are not of a
// picture of three samples; noMemory when the picture passes the
// request's limits (found before it is decoded) or memory is refused;
// unsupported when the library then cannot decode it.
Result decodeJpeg(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out);
// The same with the rows where the target says.
Result decodeJpeg(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out,
                  const RowsTarget &target);

// Writes a 24-bit picture: unsupported for another depth or an
// inconsistent picture, noMemory when the library cannot start or memory
// is refused, writeFailed when it cannot encode.
Result encodeJpeg(const Picture &picture, const CoreRequest &request, std::vector<uint8_t> &out);
Result encodeJpeg(const Picture &picture, const JpegWriteOptions &options, const CoreRequest &request,
                  std::vector<uint8_t> &out);
// The same with the rows where the caller holds them (bottom row first,
// rowBytes() each); the picture's pixels are not read.
Result encodeJpeg(const Picture &picture, const uint8_t *rows, const JpegWriteOptions &options,
                  const CoreRequest &request, std::vector<uint8_t> &out);

}  // namespace vc
