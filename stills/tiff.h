// TIFF for the editor: the content test, the load and preview, and the
// save, around the TIFF core (codecs/tiff_core.h).
#pragma once

#include <cstdint>

#include "codecs/tiff_core.h"
#include "common/format_table.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// What SaveConvImage hands the writer, three 32-bit fields in this order.
struct TiffSaveOptions {
    uint32_t bitCount;     // the image block's bit count; 24 writes three samples
    uint32_t compression;  // 1 none, 5 LZW, 32773 PackBits
    uint32_t stripSize;    // strip size in units of 1024 bytes
};
static_assert(sizeof(TiffSaveOptions) == 12);

bool DetectTiffFile(HFile file);
Result LoadTiffImage(const char *fileName, MemHandle *image);
Result GetTiffPreview(const char *fileName, ConvImageRecord *record);
Result SaveTiffImage(const char *fileName, MemHandle image, const TiffSaveOptions &options);

// The format table's routines for code 130.
Result tiffLoadRow(const LoadRequest &request);
Result tiffSaveRow(const SaveRequest &request);

namespace tiff {
// The options SaveConvImage fills before each TIFF save, kept in static
// storage as the editor's side has always seen them.
TiffSaveOptions &saveOptions();
// The clock of the saves' DateTime; tests may replace it to get fixed
// bytes. None restores the system clock.
void setClock(Clock clock);
}  // namespace tiff

}  // namespace vc
