// Fuzzes the decoding of one image: the first four bytes choose the DIB
// (depth, width, height), the shifts and the transparent index; the rest is
// an image descriptor with its data, as the file holds it after the 0x2C.
// A second decode onto a DIB declared blank (an 8-bit image inside it then
// goes straight into its rows, other rows are drawn as they are decoded)
// must give the same result and the same bits. An 8-bit DIB of patterned
// rows, and one of a single index that the decode is told of, must come
// out as the long way gives it: the data gathered whole, decoded into an
// index buffer by the shared LZW decoder and drawn row by row. DIBs are up
// to 128 x 128, so that images of more pixels than the reader keeps on its
// stack fit inside them. The same bytes also go straight through the shared
// LZW decoder in both bit orders into a buffer with a guard byte behind it,
// once whole and once in pieces, which must decode alike.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

#include "common/file_window.h"
#include "common/bytes.h"
#include "common/limits.h"
#include "common/lzw.h"
#include "common/image_block.h"
#include "gif/gif_read.h"
#include "platform/platform.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.gif";

// The bits an 8-bit image decoded onto `bits` (w x h, rows bottom up) at
// (left - shiftX, top - shiftY) must leave, worked out the long way: the
// data gathered whole, decoded into an index buffer, the rows copied with
// the transparent index skipped. An image that fails draws nothing. The
// result is ok, readFailed, damaged, or noMemory past the limits.
vc::Result longWay(const uint8_t *in, size_t size, std::vector<uint8_t> &bits, int32_t w, int32_t h, int32_t shiftX,
                   int32_t shiftY, int32_t transparent) {
    using enum vc::Result;
    vc::ByteReader r(in, size);
    const uint16_t left = r.u16(), top = r.u16(), width = r.u16(), height = r.u16();
    const uint8_t packed = r.u8();
    if (!r.ok()) return readFailed;
    if (packed & 0x80) r.skip(3 * (2u << (packed & 7)));
    const uint8_t s = r.u8();
    if (!r.ok()) return readFailed;
    if (s > vc::lzw::kMaxMinCodeSize) return damaged;
    std::vector<uint8_t> data;
    bool truncated = true;
    for (;;) {
        const uint8_t len = r.u8();
        const uint8_t *sub = r.span(len);
        if (!r.ok() || !sub) break;
        if (len == 0) {
            truncated = false;
            break;
        }
        data.insert(data.end(), sub, sub + len);
    }
    if (data.size() > vc::limits().largestBlock) return noMemory;
    const uint64_t pixels = uint64_t(width) * height;
    const uint64_t codes = uint64_t(data.size()) * 8 / (s + 1);
    const uint64_t kept = std::min(pixels, codes <= 4096 ? codes * (codes + 1) / 2 : codes * 4096) + 256;
    if (kept > vc::limits().largestBlock) return noMemory;
    std::vector<uint8_t> index(size_t(kept), 0);
    const vc::lzw::DecodeResult d = vc::lzw::decode(data.data(), data.size(), index.data(), index.size(), {s});
    if (d.produced < kept) std::fill(index.begin() + long(std::min<uint64_t>(d.produced, kept)), index.end(), 0);
    const vc::Result result = d.sawEnd ? d.status : truncated ? readFailed : d.produced != pixels ? damaged : d.status;
    if (result != ok) return result;
    const int64_t x = int64_t(left) - shiftX, y = int64_t(top) - shiftY;
    if (x < 0 || y < 0) return ok;
    const uint64_t stride = vc::dibRowBytes(w, 8);
    for (int64_t row = 0; row < std::min<int64_t>(height, h - y); ++row) {
        const uint64_t stored = packed & 0x40 ? vc::gifInterlacedPosition(uint32_t(row), height) : uint64_t(row);
        for (int64_t col = 0; col < std::min<int64_t>(width, w - x); ++col) {
            const uint64_t at = stored * width + uint64_t(col);
            const uint8_t v = at < kept ? index[size_t(at)] : 0;
            if (v != transparent) bits[size_t(uint64_t(h - 1 - (y + row)) * stride + uint64_t(x + col))] = v;
        }
    }
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const uint16_t depths[3] = {1, 4, 8};
    const uint16_t depth = depths[data[0] % 3];
    const int32_t width = 1 + (data[1] & 127), height = 1 + (data[2] & 127);
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
            vc::DecodeGifImageAt(in, 0, blank.as<ConvBitmapInfoHeader>(), transparent, shiftX, shiftY, vc::kBlankCanvas);
        // Only the index buffer, which a blank DIB may not need, can run out.
        require(again == r || r == noMemory, "another result over a blank DIB");
        require(again != r || std::memcmp(dib.data(), blank.data(), dib.size()) == 0, "other bits over a blank DIB");
        // Patterned rows, and rows of one index that the decode is told of.
        for (const bool uniform : {false, true}) {
            if (depth != 8) break;
            vc::plat::Block drawn = vc::makePackedDib(vc::gifDibSpec(8, width, height));
            require(!!drawn, "no DIB");
            auto *h = drawn.as<ConvBitmapInfoHeader>();
            uint8_t *bits = drawn.data() + vc::dibBitsOffset(*h);
            for (size_t i = 0; i < h->biSizeImage; ++i) bits[i] = uint8_t(uniform ? data[2] : i * 7 + data[1]);
            std::vector<uint8_t> want(bits, bits + h->biSizeImage);
            const vc::Result expected = longWay(body, bodySize, want, width, height, shiftX, shiftY, transparent);
            const vc::Result got = vc::DecodeGifImageAt(in, 0, h, transparent, shiftX, shiftY,
                                                        vc::CanvasFill{uniform ? int32_t(data[2]) : -1});
            if (got != noMemory && expected != noMemory) {
                require(got == expected, "another result than the long way");
                require(std::memcmp(bits, want.data(), want.size()) == 0, "other bits than the long way");
            }
        }
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
