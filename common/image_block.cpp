#include "common/image_block.h"

#include <algorithm>
#include <cstring>

namespace vc {

bool dibHeaderUsable(const ConvBitmapInfoHeader &h, size_t blockSize) {
    if (h.biSize != kBitmapHeaderSize || h.biPlanes != 1 || h.biCompression != 0) return false;
    if (h.biBitCount != 1 && h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 24) return false;
    if (h.biWidth <= 0 || h.biHeight == 0) return false;
    if (h.biBitCount <= 8 && h.biClrUsed > (1u << h.biBitCount)) return false;
    if (h.biBitCount > 8 && h.biClrUsed > 256) return false;
    return dibPackedSize(h) <= blockSize;
}

plat::Block makePackedDib(const DibSpec &spec) {
    plat::Block block;
    if (spec.width <= 0 || spec.height <= 0) return block;
    if (uint64_t(spec.width) * uint64_t(spec.height) > limits().largestPicture) return block;
    ConvBitmapInfoHeader h{};
    h.biSize = kBitmapHeaderSize;
    h.biWidth = spec.width;
    h.biHeight = spec.height;
    h.biPlanes = 1;
    h.biBitCount = spec.bitCount;
    h.biClrUsed = spec.colors;
    h.biXPelsPerMeter = h.biYPelsPerMeter = spec.pelsPerMeter;
    const uint64_t size = dibPackedSize(h);
    if (size > limits().largestBlock) return block;
    if (spec.recordImageSize) h.biSizeImage = uint32_t(dibRowBytes(spec.width, spec.bitCount) * uint64_t(spec.height));
    if (!block.alloc(size)) return block;
    std::memcpy(block.data(), &h, sizeof h);
    const uint32_t table = dibColorCount(h);
    if (spec.palette && spec.paletteCount)
        std::memcpy(block.data() + kBitmapHeaderSize, spec.palette, 4u * std::min(table, spec.paletteCount));
    return block;
}

MemHandle newPackedDib(int32_t width, int32_t height, uint16_t bitCount, uint32_t colors) {
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitCount = bitCount;
    spec.colors = colors;
    return makePackedDib(spec).release();
}

ConvBitmapInfoHeader readBitmapInfoHeader(ByteReader &r) {
    ConvBitmapInfoHeader h;
    h.biSize = r.u32();
    h.biWidth = r.i32();
    h.biHeight = r.i32();
    h.biPlanes = r.u16();
    h.biBitCount = r.u16();
    h.biCompression = r.u32();
    h.biSizeImage = r.u32();
    h.biXPelsPerMeter = r.i32();
    h.biYPelsPerMeter = r.i32();
    h.biClrUsed = r.u32();
    h.biClrImportant = r.u32();
    return h;
}

}  // namespace vc
