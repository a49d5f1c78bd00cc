// The image block: a movable memory block holding a packed DIB (header,
// colour table, bottom-up rows padded to 4 bytes), and the records that
// travel with the editor callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/dib.h"
#include "common/limits.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

static_assert(sizeof(ConvBitmapInfoHeader) == 40);
static_assert(offsetof(ConvBitmapInfoHeader, biBitCount) == 14);
static_assert(offsetof(ConvBitmapInfoHeader, biClrUsed) == 32);
static_assert(sizeof(ConvImageRecord) == 4 * sizeof(void *));
static_assert(offsetof(ConvImageRecord, messageSize) == 3 * sizeof(void *));
static_assert(sizeof(ConvFormatChange) == 20);
static_assert(offsetof(ConvMenuItem, position) == 4);
static_assert(offsetof(ConvMenuItem, flags) == 12);
static_assert(offsetof(ConvMenuItem, text) == 16);

constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint16_t kAnimationDocumentCursor = 166;  // first word of the documents
constexpr uint16_t kAnimationDocumentGif = 167;

// Entries in the colour table: biClrUsed when non-zero, else 2^bits for 8
// bits or less, else none.
constexpr uint32_t dibColorCount(uint32_t clrUsed, uint32_t bitCount) {
    if (clrUsed) return clrUsed;
    return bitCount <= 8 ? (1u << bitCount) : 0u;
}
inline uint32_t dibColorCount(const ConvBitmapInfoHeader &h) { return dibColorCount(h.biClrUsed, h.biBitCount); }

// Offset of the first pixel row from the start of the block.
inline uint64_t dibBitsOffset(const ConvBitmapInfoHeader &h) { return uint64_t(h.biSize) + 4ull * dibColorCount(h); }

// Whole size of a packed DIB with this header (|height| rows).
inline uint64_t dibPackedSize(const ConvBitmapInfoHeader &h) {
    int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    uint64_t row = dibRowBytes(h.biWidth, h.biBitCount);
    // Saturate: a depth beyond 32 bits can push the product past 64 bits,
    // and a wrapped size would look small enough to allocate.
    if (height && row > (UINT64_MAX - dibBitsOffset(h)) / uint64_t(height)) return UINT64_MAX;
    return dibBitsOffset(h) + row * uint64_t(height);
}

// Whether a header describes a block the library can work with: 40-byte
// header, one plane, uncompressed, depth 1, 4, 8 or 24, positive size, and
// the whole DIB inside blockSize bytes.
bool dibHeaderUsable(const ConvBitmapInfoHeader &h, size_t blockSize);

// What a new image block looks like. The readers differ in the header
// fields they fill, and the bytes the editor gets must stay as they are.
struct DibSpec {
    int32_t width = 0, height = 0;  // both positive; rows run bottom up
    uint16_t bitCount = 0;          // 1, 4, 8 or 24 (others are built but not usable)
    uint32_t colors = 0;            // biClrUsed; 0 means 2^bits entries up to 8 bits
    int32_t pelsPerMeter = 0;       // both resolution fields
    bool recordImageSize = true;    // fill biSizeImage with the rows' size
    const void *palette = nullptr;  // RGBQUAD entries copied into the table
    uint32_t paletteCount = 0;      // how many of them (at most the table's size)
};

// The one constructor of image blocks: a movable zero-filled block with the
// header (and palette) filled in, locked. Empty when the geometry is not
// positive, the picture is larger than limits().largestPicture pixels, the
// block larger than limits().largestBlock bytes, or memory is refused.
plat::Block makePackedDib(const DibSpec &spec);

// The same, unlocked and handed over; none on failure. colors 0 means the
// default table size for the depth.
MemHandle newPackedDib(int32_t width, int32_t height, uint16_t bitCount, uint32_t colors = 0);

// The 40-byte BITMAPINFOHEADER at the reader's position, field by field; a
// short header reads as zeros and leaves the reader failed.
ConvBitmapInfoHeader readBitmapInfoHeader(ByteReader &r);

}  // namespace vc
