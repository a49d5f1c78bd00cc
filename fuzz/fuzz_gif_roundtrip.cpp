// Encode then decode: the first three bytes choose depth, width and height,
// the rest are the pixels (repeated to fill the image). The image is saved
// as a GIF and loaded back; every pixel and colour must survive.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/image_block.h"
#include "gif/gif_read.h"
#include "gif/gif_write.h"
#include "platform/platform.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kOut[] = "/vcfuzz/out.gif";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const uint16_t depths[3] = {1, 4, 8};
    const uint16_t depth = depths[data[0] % 3];
    const int32_t width = 1 + data[1] % 128, height = 1 + data[2] % 64;
    const uint8_t *px = data + 3;
    const size_t n = size - 3;

    vc::GifRgbQuad palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = vc::GifRgbQuad{uint8_t(i), uint8_t(i * 3), uint8_t(255 - i), 0};
    vc::plat::Block dib = vc::makePackedDib(vc::gifDibSpec(depth, width, height, palette, 256));
    require(bool(dib), "no DIB");
    uint8_t *bits = dib.data() + vc::dibBitsOffset(*dib.as<ConvBitmapInfoHeader>());
    const uint64_t stride = vc::dibRowBytes(width, depth);
    // Pixel i of the picture is px[i % n], copied a stretch at a time.
    static std::vector<uint8_t> row;
    row.resize(size_t(width));
    size_t at = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < size_t(width);) {
            const size_t take = std::min(size_t(width) - x, n - at);
            std::memcpy(row.data() + x, px + at, take);
            x += take;
            at = at + take == n ? 0 : at + take;
        }
        vc::StoreIndexRow(bits + stride * uint64_t(y), row.data(), uint32_t(width), depth, -1);
    }
    dib.unlock();

    vc::plat::memFileMap(kOut, nullptr, 0);
    require(vc::SaveGifImage(kOut, dib.handle(), nullptr) == vc::Result::ok, "save failed");
    vc::MemHandle loaded = nullptr;
    require(vc::LoadGifImage(nullptr, kOut, &loaded, 0, nullptr) == vc::Result::ok && loaded, "load failed");
    vc::plat::Block back(loaded);
    const auto *a = reinterpret_cast<const ConvBitmapInfoHeader *>(dib.lock());
    const auto *b = reinterpret_cast<const ConvBitmapInfoHeader *>(back.lock());
    require(a->biWidth == b->biWidth && a->biHeight == b->biHeight && a->biBitCount == b->biBitCount, "geometry");
    const size_t body = size_t(vc::dibPackedSize(*a)) - 40;
    require(std::memcmp(dib.data() + 40, back.data() + 40, body) == 0, "colours or pixels differ");
    return 0;
}
