// JPEG through the JPEG library stand-in: the content test, the reader and
// preview, and the writer. The library does the coding; this side converts
// between its top-down, unpadded BGR buffer and the image block.
#pragma once

#include <cstdint>

#include "common/format_table.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

bool DetectJpegFile(HFile file);
int16_t LoadJpegImage(const char *fileName, MemHandle *image);
int16_t SaveJpegImage(const char *fileName, MemHandle image);
int16_t GetJpegPreview(const char *fileName, ConvImageRecord *record);

// Format-table adapters for row 133.
int16_t loadJpegRow(const LoadRequest &request);
int16_t saveJpegRow(const SaveRequest &request);

}  // namespace vc
