#include "stills/picture_blocks.h"

#include <algorithm>
#include <cstring>

#include "ui/services.h"

static_assert(sizeof(vc::Rgbq) == 4, "a colour of the picture is a colour-table entry");

namespace vc {

const uint8_t *pictureOfBlock(const ConvBitmapInfoHeader &h, const uint8_t *block, Picture &p) {
    p = Picture{};
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
    const uint8_t *rows = block + dibBitsOffset(h);
    if (h.biHeight > 0) return rows;
    const uint64_t row = p.rowBytes();
    p.pixels.resize(size_t(row * uint64_t(p.height)));
    for (int32_t y = 0; y < p.height; ++y) std::memcpy(p.rowFromTop(y), rows + uint64_t(y) * row, size_t(row));
    return p.pixels.data();
}

RowsTarget BlockRows::target() {
    RowsTarget t;
    t.context = this;
    t.rowsFor = [](void *context, const Picture &picture) -> uint8_t * {
        auto &self = *static_cast<BlockRows *>(context);
        DibSpec header = self.header;
        header.width = picture.width;
        header.height = picture.height;
        header.bitCount = picture.bitCount;
        header.colors = picture.bitCount <= 8 ? 1u << picture.bitCount : 0;
        header.palette = picture.palette.data();
        header.paletteCount = uint32_t(picture.palette.size());
        self.block = makePackedDib(header);
        if (!self.block) return nullptr;
        return self.block.data() + kBitmapHeaderSize + 4ull * dibColorCount(header.colors, header.bitCount);
    };
    return t;
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
