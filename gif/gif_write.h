// Writing GIF files: every file is "GIF89a" with one global colour table
// taken from the packed DIB (1, 4 or 8 bits); the block writers here are
// what the animated writer strings together. All writers take the open
// output file explicitly.
#pragma once

#include <cstdint>

#include "codecs/gif_parts.h"
#include "common/format_table.h"
#include "gif/gif_record.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// Saves one image (format 129): header with the image's size, a graphic
// control when the editor has a transparent colour, the image, trailer.
// The image block is only locked. ok, noMemory, damaged, createFailed or
// writeFailed.
Result SaveGifImage(const char *fileName, MemHandle image, HostCallback callback);

// "GIF89a", the screen descriptor and the global colour table from the
// DIB (padded with black up to 2^depth entries). damaged for a 24-bit DIB
// (nothing written), writeFailed when a write fails, else ok.
Result WriteGifHeader(HFile file, const ConvBitmapInfoHeader *dib, uint16_t screenWidth, uint16_t screenHeight,
                      uint8_t backgroundIndex, bool globalTable = true);

// A graphic control extension; transparent < 0 means none. ok, or
// writeFailed when it cannot be written.
Result WriteGraphicControl(HFile file, int32_t transparent, uint16_t delay, int32_t userInput, uint16_t disposal);

// The image descriptor at (left, top) and the LZW-coded rows of the DIB,
// optionally interlaced; with progress set, reports the row percentage
// through SetProgress. ok, noMemory when its buffers cannot be had,
// damaged for a depth other than 1, 4 or 8, or writeFailed when a write
// failed.
Result WriteGifImage(HFile file, const ConvBitmapInfoHeader *dib, int32_t left, int32_t top, bool interlaced,
                     bool progress, bool localTable = false);
// The same with the coder's tables of the caller, for a writer of several
// images.
Result WriteGifImage(HFile file, GifCoder &coder, const ConvBitmapInfoHeader *dib, int32_t left, int32_t top,
                     bool interlaced, bool progress, bool localTable = false);

// The DIB colour-table index nearest the editor's transparent colour
// (resolved through the editor's palette when it names an index), or -1
// when the editor has none or the DIB has no table.
int16_t FindTransparentIndex(const ConvBitmapInfoHeader *dib, HostCallback callback);

// Format-table adapter (row 129).
Result saveGifRow(const SaveRequest &request);

}  // namespace vc
