// Fuzzes the plug-in's front door: whatever the bytes, content detection,
// loading with and without an output record, and the preview must return a
// result code without crashing, and leave no memory block or file behind.
// The input becomes a file in memory, since every export takes a file name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "support/fake_editor.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in";

void freeImage(ConvImageRecord &rec) {
    if (rec.image) require(VcMemFree(rec.image) == nullptr, "image block in the record is not a live block");
    rec.image = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vc::plat::memFileMap(kIn, data, size);

    const vcfuzz::HeldResources held;
    {
        // Documents the editor accepts are its to free; it does so here.
        vctest::FakeEditor editor;
        HostCallback cb = vctest::FakeEditor::callback();
        // The editor's file name buffer is its own and writable: a program's
        // bitmap picked through the dialog leaves its name there.
        char name[260];
        const auto fresh = [&] { return std::snprintf(name, sizeof name, "%s", kIn), name; };
        fresh();
        char message[256] = {};
        uint8_t format = 0;

        int32_t r = DetectFileFormat(name, &format, 1);
        require(r == CONV_OK || r == CONV_E_FORMAT, "content detection of an existing file");
        require((r == CONV_OK) == (format != 0), "format byte disagrees with the result");

        ConvImageRecord rec{nullptr, 0, message, sizeof message};
        format = 0;
        LoadConvImage(nullptr, fresh(), &rec, &format, 0, cb);
        freeImage(rec);

        format = 0;
        LoadConvImage(nullptr, fresh(), nullptr, &format, 0, cb);

        rec = ConvImageRecord{nullptr, 0, message, sizeof message};
        GetPreviewImage(fresh(), &rec);
        freeImage(rec);
    }
    held.requireReleased();
    return 0;
}
