#include "entry/image_block.h"

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

MemHandle newPackedDib(int32_t width, int32_t height, uint16_t bitCount, uint32_t colors) {
    if (width <= 0 || height <= 0) return nullptr;
    ConvBitmapInfoHeader h{};
    h.biSize = kBitmapHeaderSize;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bitCount;
    h.biClrUsed = colors;
    uint64_t size = dibPackedSize(h);
    if (size > 0x7FFF0000ull) return nullptr;
    h.biSizeImage = uint32_t(dibRowBytes(width, bitCount) * uint64_t(height));
    MemHandle block = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, size_t(size));
    if (!block) return nullptr;
    void *p = plat::memLock(block);
    if (!p) {
        plat::memFree(block);
        return nullptr;
    }
    std::memcpy(p, &h, sizeof h);
    plat::memUnlock(block);
    return block;
}

}  // namespace vc
