#include "stills/picture_blocks.h"

#include <algorithm>
#include <cstring>

#include "ui/services.h"

namespace vc {

Picture pictureOfBlock(const ConvBitmapInfoHeader &h, const uint8_t *block) {
    Picture p;
    p.width = h.biWidth;
    p.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    p.bitCount = h.biBitCount;
    p.xPelsPerMeter = h.biXPelsPerMeter;
    p.yPelsPerMeter = h.biYPelsPerMeter;
    if (p.bitCount <= 8) {
        const uint32_t colors = std::min(dibColorCount(h), 1u << p.bitCount);
        p.palette.resize(colors);
        std::memcpy(p.palette.data(), block + h.biSize, 4 * size_t(colors));
    }
    const uint64_t row = p.rowBytes();
    const uint8_t *rows = block + dibBitsOffset(h);
    p.pixels.resize(size_t(row * uint64_t(p.height)));
    if (h.biHeight > 0) {
        std::memcpy(p.pixels.data(), rows, p.pixels.size());
    } else {
        for (int32_t y = 0; y < p.height; ++y) std::memcpy(p.rowFromTop(y), rows + uint64_t(y) * row, size_t(row));
    }
    return p;
}

plat::Block blockOfPicture(const Picture &picture, DibSpec spec) {
    spec.width = picture.width;
    spec.height = picture.height;
    spec.bitCount = picture.bitCount;
    if (!spec.palette) {
        spec.palette = picture.palette.data();
        spec.paletteCount = uint32_t(picture.palette.size());
    }
    plat::Block block = makePackedDib(spec);
    if (!block) return block;
    const uint64_t bits = kBitmapHeaderSize + 4ull * dibColorCount(spec.colors, spec.bitCount);
    std::memcpy(block.data() + bits, picture.pixels.data(), picture.pixels.size());
    return block;
}

Progress progressWindowBar() {
    Progress p;
    p.report = [](void *, int32_t percent) {
        (void)SetProgress(percent);
        return true;
    };
    return p;
}

}  // namespace vc
