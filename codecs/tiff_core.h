// TIFF as bytes: the reader of the first image of a file (both byte
// orders, strips, none/LZW/PackBits, bilevel, grey, palette and RGB kinds)
// and the writer of one little-endian, strip-organised file. No file, no
// editor, no state kept between calls.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codecs/rows_target.h"
#include "common/picture.h"
#include "common/result.h"

namespace vc {

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

// Local time for the DateTime value.
using Clock = void (*)(int &year, int &month, int &day, int &hour, int &minute, int &second);

}  // namespace tiff

// What the writer can be asked for. The defaults are what a save from the
// editor writes: LZW in strips of 8 KiB, stamped with the local time.
struct TiffWriteOptions {
    uint16_t compression = tiff::kLzw;  // kUncompressed, kLzw or kPackBits
    uint32_t stripSize = 8;             // bytes of rows per strip, in units of 1024
    tiff::Clock clock = nullptr;        // none: the system's local time
};

// True when the bytes start as a TIFF file of either byte order: its
// 8-byte header.
bool looksLikeTiff(std::span<const uint8_t> bytes);

// The first image of the file. Gives notFormat when looksLikeTiff says
// no, unsupported for a kind or structure not read here (an IFD, strip
// array or ColorMap outside the file among them), damaged for a
// compression not read, noMemory when the picture passes the request's
// limits or memory is refused, cancelled when progress says stop.
Result decodeTiff(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out);
// The same with the rows where the target says.
Result decodeTiff(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out,
                  const RowsTarget &target);

// Writes a picture of 1, 4, 8 or 24 bits: unsupported for another depth,
// an inconsistent picture or a compression not written; writeFailed when
// the file would pass 4 GiB.
Result encodeTiff(const Picture &picture, const CoreRequest &request, std::vector<uint8_t> &out);
Result encodeTiff(const Picture &picture, const TiffWriteOptions &options, const CoreRequest &request,
                  std::vector<uint8_t> &out);
// The same with the rows where the caller holds them (bottom row first,
// rowBytes() each); the picture's pixels are not read.
Result encodeTiff(const Picture &picture, const uint8_t *rows, const TiffWriteOptions &options,
                  const CoreRequest &request, std::vector<uint8_t> &out);

}  // namespace vc
