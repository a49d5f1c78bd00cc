// Fuzzes the JPEG reader and preview through the exports and the JPEG
// library stand-in, then writes what was read as JPEG and reads it again:
// every call ends in a result code and nothing leaks. The core runs on the
// same bytes from memory, must agree with the load, and must write what it
// read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <vector>

#include "codecs/jpeg_core.h"
#include "common/limits.h"
#include "platform/platform.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

// The input and the save, as files in memory.
constexpr char kIn[] = "/vcfuzz/in.jpg";
constexpr char kOut[] = "/vcfuzz/out.jpg";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Pictures as large as the seeds (13 x 9) and more; a mutated input that
    // the GIF reader takes draws no more than this many pixels either.
    vcfuzz::lowerLimits(uint64_t(1) << 12);
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
    if (r == CONV_OK && format == CONV_FMT_JPEG) {
        vc::plat::memFileMap(kOut, nullptr, 0);  // a failed save deletes its file
        require(SaveConvImage(nullptr, kOut, rec.image, CONV_FMT_JPEG, 0, nullptr) == CONV_OK,
                "a picture read cannot be written");
        ConvImageRecord again{};
        require(GetPreviewImage(kOut, &again) == CONV_OK, "a picture written cannot be read");
        VcMemFree(again.image);
    }
    if (rec.image) VcMemFree(rec.image);

    vc::CoreRequest request;
    request.limits = vc::limits();
    vc::Picture picture;
    const vc::Result c = vc::decodeJpeg({data, size}, request, picture);
    if (vc::looksLikeJpeg({data, size})) require(vc::toConvResult(c) == r, "the core and the load disagree");
    if (c == vc::Result::ok) {
        require(picture.consistent(), "the core gave an inconsistent picture");
        std::vector<uint8_t> written;
        require(vc::encodeJpeg(picture, request, written) == vc::Result::ok, "the core cannot write what it read");
        vc::Picture back;
        require(vc::decodeJpeg(written, request, back) == vc::Result::ok, "the core's file does not read back");
    }
    rec = ConvImageRecord{};
    GetPreviewImage(kIn, &rec);
    if (rec.image) VcMemFree(rec.image);
    held.requireReleased();
    return 0;
}
