// Fuzzes the JPEG reader and preview through the exports and the JPEG
// library stand-in, then writes what was read as JPEG and reads it again:
// every call ends in a result code and nothing leaks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ijl/ijl.h"
#include "platform/platform.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

std::string gPath, gOut;

// Pictures the header says are huge are legal, and the library fills what
// the data does not reach, but they take the fuzzer's time and memory
// without reaching new code.
bool tooLarge(const char *file) {
    JlProperties p;
    std::memset(&p, 0, sizeof p);
    if (JlInit(&p) != JL_OK) return true;
    p.jpegFile = file;
    const bool large = JlRead(&p, JL_READ_PARAMS) == JL_OK && int64_t(p.jpegWidth) * p.jpegHeight > (1 << 20);
    JlFree(&p);
    return large;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    gPath = vcfuzz::tempFile("/tmp/vcfuzz-jpeg-XXXXXX");
    gOut = vcfuzz::tempFile("/tmp/vcfuzz-jpeg-out-XXXXXX");
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (vcfuzz::mayBeHugeGif(data, size)) return 0;
    vcfuzz::writeFile(gPath, data, size);
    if (tooLarge(gPath.c_str())) return 0;

    const vcfuzz::HeldResources held;
    ConvImageRecord rec{};
    uint8_t format = 0;
    int32_t r = LoadConvImage(nullptr, gPath.c_str(), &rec, &format, 0, nullptr);
    require((r == CONV_OK) == (rec.image != nullptr), "result and image disagree");
    if (r == CONV_OK && format == CONV_FMT_JPEG) {
        require(SaveConvImage(nullptr, gOut.c_str(), rec.image, CONV_FMT_JPEG, 0, nullptr) == CONV_OK,
                "a picture read cannot be written");
        ConvImageRecord again{};
        require(GetPreviewImage(gOut.c_str(), &again) == CONV_OK, "a picture written cannot be read");
        VcMemFree(again.image);
    }
    if (rec.image) VcMemFree(rec.image);
    rec = ConvImageRecord{};
    GetPreviewImage(gPath.c_str(), &rec);
    if (rec.image) VcMemFree(rec.image);
    held.requireReleased();
    return 0;
}
