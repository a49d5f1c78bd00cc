// Fuzzes the PCX reader and preview through the exports, then writes what
// was read back out as PCX and reads that again: whatever the bytes, every
// call ends in a result code, nothing leaks, and a picture we read is one we
// can write and read back at the same size and depth. The core runs on the
// same bytes from memory and must agree with the load, and what it writes
// must read back (at 8 and 24 bits to the same pixels).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <vector>

#include "codecs/pcx_core.h"
#include "common/limits.h"
#include "platform/platform.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.pcx";
constexpr char kOut[] = "/vcfuzz/out.pcx";

struct Shape {
    int32_t width, height;
    uint16_t bits;
};
Shape shapeOf(void *block) {
    ConvBitmapInfoHeader h;
    std::memcpy(&h, VcMemLock(block), sizeof h);
    VcMemUnlock(block);
    return {h.biWidth, h.biHeight, h.biBitCount};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Every picture read is written and read again, each pass costing
    // per pixel and per row: 32 x 32 pixels, or a row or column of 1024,
    // keep that quick.
    vcfuzz::lowerLimits(uint64_t(1) << 10);
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vc::plat::memFileMap(kIn, data, size);

    const vcfuzz::HeldResources held;
    ConvImageRecord rec{};
    uint8_t format = 0;
    int32_t r = LoadConvImage(nullptr, kIn, &rec, &format, 0, nullptr);
    require((r == CONV_OK) == (rec.image != nullptr), "result and image disagree");
    if (r == CONV_OK && format == CONV_FMT_PCX) {
        const Shape s = shapeOf(rec.image);
        vc::plat::memFileMap(kOut, nullptr, 0);  // a failed save deletes its file
        require(SaveConvImage(nullptr, kOut, rec.image, CONV_FMT_PCX, 0, nullptr) == CONV_OK,
                "a picture read cannot be written");
        ConvImageRecord again{};
        require(GetPreviewImage(kOut, &again) == CONV_OK, "a picture written cannot be read");
        const Shape t = shapeOf(again.image);
        // The header's 16-bit window keeps sizes up to 65536.
        require(t.width == s.width && t.height == s.height && t.bits == s.bits, "round trip changed the shape");
        VcMemFree(again.image);
    }
    if (rec.image) VcMemFree(rec.image);

    vc::CoreRequest request;
    request.limits = vc::limits();
    vc::Picture picture;
    const vc::Result c = vc::decodePcx({data, size}, request, picture);
    if (vc::looksLikePcx({data, size})) require(vc::toConvResult(c) == r, "the core and the load disagree");
    if (c == vc::Result::ok) {
        require(picture.consistent(), "the core gave an inconsistent picture");
        std::vector<uint8_t> written;
        require(vc::encodePcx(picture, request, written) == vc::Result::ok, "the core cannot write what it read");
        vc::Picture back;
        require(vc::decodePcx(written, request, back) == vc::Result::ok && back.width == picture.width &&
                    back.height == picture.height && back.bitCount == picture.bitCount,
                "the core's file reads back to another shape");
        require(picture.bitCount < 8 || back.pixels == picture.pixels, "the core's file reads back to other pixels");
    }
    rec = ConvImageRecord{};
    GetPreviewImage(kIn, &rec);
    if (rec.image) VcMemFree(rec.image);
    held.requireReleased();
    return 0;
}
