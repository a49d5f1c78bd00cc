// Fuzzes the PCX reader and preview through the exports, then writes what
// was read back out as PCX and reads that again: whatever the bytes, every
// call ends in a result code, nothing leaks, and a picture we read is one we
// can write and read back at the same size and depth.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

std::string gPath, gOut;

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
    gPath = vcfuzz::tempFile("/tmp/vcfuzz-pcx-XXXXXX");
    gOut = vcfuzz::tempFile("/tmp/vcfuzz-pcx-out-XXXXXX");
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (vcfuzz::mayBeHugeGif(data, size)) return 0;
    // Pictures of more than 256K pixels are legal, but take the
    // fuzzer's time and memory without reaching new code.
    if (size >= 12) {
        const uint32_t w = uint32_t(data[8] | data[9] << 8) - uint32_t(data[4] | data[5] << 8) + 1;
        const uint32_t h = uint32_t(data[10] | data[11] << 8) - uint32_t(data[6] | data[7] << 8) + 1;
        if (uint64_t(w) * h > (1u << 18)) return 0;
    }
    vcfuzz::writeFile(gPath, data, size);

    const vcfuzz::HeldResources held;
    ConvImageRecord rec{};
    uint8_t format = 0;
    int32_t r = LoadConvImage(nullptr, gPath.c_str(), &rec, &format, 0, nullptr);
    require((r == CONV_OK) == (rec.image != nullptr), "result and image disagree");
    if (r == CONV_OK && format == CONV_FMT_PCX) {
        const Shape s = shapeOf(rec.image);
        require(SaveConvImage(nullptr, gOut.c_str(), rec.image, CONV_FMT_PCX, 0, nullptr) == CONV_OK,
                "a picture read cannot be written");
        ConvImageRecord again{};
        require(GetPreviewImage(gOut.c_str(), &again) == CONV_OK, "a picture written cannot be read");
        const Shape t = shapeOf(again.image);
        // The header's 16-bit window keeps sizes up to 65536.
        require(t.width == s.width && t.height == s.height && t.bits == s.bits, "round trip changed the shape");
        VcMemFree(again.image);
    }
    if (rec.image) VcMemFree(rec.image);
    rec = ConvImageRecord{};
    GetPreviewImage(gPath.c_str(), &rec);
    if (rec.image) VcMemFree(rec.image);
    held.requireReleased();
    return 0;
}
