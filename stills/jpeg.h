// JPEG for the editor: the content test, the load and preview, and the
// save, around the JPEG core (codecs/jpeg_core.h).
#pragma once

#include <cstdint>

#include "common/format_table.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

bool DetectJpegFile(HFile file);
Result LoadJpegImage(const char *fileName, MemHandle *image);
Result SaveJpegImage(const char *fileName, MemHandle image);
Result GetJpegPreview(const char *fileName, ConvImageRecord *record);

// Format-table adapters for row 133.
Result loadJpegRow(const LoadRequest &request);
Result saveJpegRow(const SaveRequest &request);

}  // namespace vc
