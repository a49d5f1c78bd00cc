// Fuzzes the decoding of one image: the first four bytes choose the DIB
// (depth, width, height), the shifts and the transparent index; the rest is
// an image descriptor with its data, as the file holds it after the 0x2C.
// A second decode onto a DIB declared blank (an 8-bit image that covers it
// whole then goes straight into its rows) must give the same result and
// the same bits. The same bytes also go straight through the shared LZW
// decoder in both bit orders into a buffer with a guard byte behind it, once
// whole and once in pieces, which must decode alike.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/file_window.h"
#include "common/lzw.h"
#include "common/image_block.h"
#include "gif/gif_read.h"
#include "platform/platform.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.gif";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const uint16_t depths[3] = {1, 4, 8};
    const uint16_t depth = depths[data[0] % 3];
    const int32_t width = 1 + (data[1] & 63), height = 1 + (data[2] & 63);
    const int32_t shiftX = int8_t(data[3] & 0xF0) / 16, shiftY = int8_t(data[3] << 4) / 16;
    const int32_t transparent = int32_t(data[0] / 3) - 1;  // -1 .. 84
    const uint8_t *body = data + 4;
    const size_t bodySize = size - 4;

    vc::plat::memFileMap(kIn, body, bodySize);

    const vcfuzz::HeldResources held;
    {
        vc::plat::Block dib = vc::makePackedDib(vc::gifDibSpec(depth, width, height));
        vc::plat::Block blank = vc::makePackedDib(vc::gifDibSpec(depth, width, height));
        require(dib && blank, "no DIB");
        vc::plat::File file;
        require(file.open(kIn), "cannot open the input");
        using enum vc::Result;
        vc::FileWindow in(file.handle(), 0, false);
        const vc::Result r = vc::DecodeGifImageAt(in, 0, dib.as<ConvBitmapInfoHeader>(), transparent, shiftX, shiftY);
        require(r == ok || r == readFailed || r == noMemory || r == damaged, "undocumented decode result");
        const vc::Result again =
            vc::DecodeGifImageAt(in, 0, blank.as<ConvBitmapInfoHeader>(), transparent, shiftX, shiftY, true);
        // Only the index buffer, which a blank DIB may not need, can run out.
        require(again == r || r == noMemory, "another result over a blank DIB");
        require(again != r || std::memcmp(dib.data(), blank.data(), dib.size()) == 0, "other bits over a blank DIB");
    }
    held.requireReleased();

    // The raw decoder: output stays inside the buffer.
    const size_t capacity = size_t(width) * height;
    std::vector<uint8_t> out(capacity + 1, 0xA5), pieces(capacity + 1, 0xA5);
    for (auto order : {vc::lzw::BitOrder::LsbFirst, vc::lzw::BitOrder::MsbFirst}) {
        const vc::lzw::DecodeParams params{unsigned(data[1] >> 4), order, unsigned(data[2] >> 7)};
        const vc::lzw::DecodeResult d = vc::lzw::decode(body, bodySize, out.data(), capacity, params);
        require(d.status == vc::Result::ok || d.status == vc::Result::damaged, "undocumented decoder status");
        require(out[capacity] == 0xA5, "decoder wrote past its buffer");
        vc::lzw::Decoder decoder(pieces.data(), capacity, params);
        const size_t step = 1 + data[3] % 64;
        for (size_t at = 0; at < bodySize && decoder.feed(body + at, std::min(step, bodySize - at)); at += step) {
        }
        const vc::lzw::DecodeResult e = decoder.finish();
        require(e.status == d.status && e.produced == d.produced && e.sawEnd == d.sawEnd && pieces == out,
                "the decoder fed in pieces decoded otherwise");
    }
    return 0;
}
