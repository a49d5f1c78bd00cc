#include "entry/image_block.h"

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

plat::Block packedDibFromStored(ByteReader in) {
    const uint32_t headerSize = in.at(0, 4).u32();
    DibSpec spec;
    bool core = false;
    uint32_t compression = 0;
    if (headerSize == 12) {
        core = true;
        in.skip(4);
        spec.width = in.u16();
        spec.height = in.u16();
        if (in.u16() != 1) in.fail();  // planes
        spec.bitCount = in.u16();
    } else if (headerSize >= kBitmapHeaderSize) {
        const ConvBitmapInfoHeader h = readBitmapInfoHeader(in);
        if (h.biPlanes != 1) in.fail();
        spec.width = h.biWidth;
        spec.height = h.biHeight;
        spec.bitCount = h.biBitCount;
        compression = h.biCompression;
        spec.colors = h.biClrUsed;
        in.skip(headerSize - kBitmapHeaderSize);
    } else {
        in.fail();
    }
    const uint16_t bits = spec.bitCount;
    if (!in.ok() || compression != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24)) return {};
    const uint32_t tableMax = bits <= 8 ? 1u << bits : 256;
    if (core && bits <= 8) spec.colors = 0;  // a core table always has 2^bits entries
    if (spec.colors > tableMax) return {};
    const uint32_t entries = dibColorCount(spec.colors, bits);
    plat::Block block = makePackedDib(spec);
    if (!block) return block;
    uint8_t *table = block.data() + kBitmapHeaderSize;
    for (uint32_t i = 0; i < entries; ++i) {
        in.bytes(table + 4 * i, 3);
        if (!core) in.skip(1);
    }
    const uint64_t rows = dibRowBytes(spec.width, bits) * uint64_t(spec.height);
    const uint8_t *pixels = in.span(size_t(rows));
    if (!in.ok() || !pixels) return {};
    std::memcpy(table + 4 * entries, pixels, size_t(rows));
    return block;
}

}  // namespace vc
