// PCX for the editor: the content test, the load and preview, and the
// save, around the PCX core (codecs/pcx_core.h).
#pragma once

#include <cstdint>

#include "codecs/pcx_core.h"
#include "common/format_table.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// What SaveConvImage hands the PCX writer (filled afresh before each save).
struct PcxSaveOptions {
    uint8_t version;    // written into the header; 5
    uint32_t bitCount;  // the image's biBitCount; informational only
    uint32_t encoding;  // non-zero: run-length encoded, 0: raw
};

bool DetectPcxFile(HFile file);
Result LoadPcxImage(const char *fileName, MemHandle *image);
Result GetPcxPreview(const char *fileName, ConvImageRecord *record);
Result SavePcxImage(const char *fileName, MemHandle image, const PcxSaveOptions &options);

// Format-table adapters for row 128.
Result loadPcxRow(const LoadRequest &request);
Result savePcxRow(const SaveRequest &request);

}  // namespace vc
