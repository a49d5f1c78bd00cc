// TIFF: the reader of the first image of a file (both byte orders,
// strips, none/LZW/PackBits, bilevel, grey, palette and RGB kinds) and the
// writer of one little-endian, strip-organised file.
#pragma once

#include <cstdint>

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
int16_t LoadTiffImage(const char *fileName, MemHandle *image);
int16_t GetTiffPreview(const char *fileName, ConvImageRecord *record);
int16_t SaveTiffImage(const char *fileName, MemHandle image, const TiffSaveOptions &options);

// The format table's routines for code 130.
int16_t tiffLoadRow(const LoadRequest &request);
int16_t tiffSaveRow(const SaveRequest &request);

namespace tiff {

// The tags the reader looks at and the writer writes, by their numbers in
// the file.
enum Tag : uint16_t {
    kNewSubfileType = 254,
    kSubfileType = 255,
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kStripOffsets = 273,
    kOrientation = 274,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kPlanarConfiguration = 284,
    kResolutionUnit = 296,
    kSoftware = 305,
    kDateTime = 306,
    kColorMap = 320,
    kTileWidth = 322,
    kTileLength = 323,
    kExtraSamples = 338,
};

// Field types of an IFD entry.
enum FieldType : uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

// Compression values read and written.
enum Compression : uint16_t { kUncompressed = 1, kLzw = 5, kPackBits = 32773 };

// The options SaveConvImage fills before each TIFF save, kept in static
// storage as the editor's side has always seen them.
TiffSaveOptions &saveOptions();
// Local time of the DateTime value; tests may replace it to get fixed bytes.
using Clock = void (*)(int &year, int &month, int &day, int &hour, int &minute, int &second);
void setClock(Clock clock);  // none restores the system clock
}  // namespace tiff

}  // namespace vc
