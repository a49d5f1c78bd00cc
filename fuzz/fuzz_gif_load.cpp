// Fuzzes a whole GIF load through the exports with the fake editor: with and
// without an output record, and the preview. Inputs that do not start with
// "GIF" get it put in front, so the GIF reader is what runs. The same bytes
// go through the GIF core from memory, and what it decodes is written and
// read back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codecs/gif_core.h"
#include "common/limits.h"
#include "platform/platform.h"
#include "support/fake_editor.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.gif";

bool documented(int32_t r) { return r >= CONV_E_WRITE && r <= CONV_OK; }

// The core from memory: every frame it gives is a consistent picture, and
// what it gives writes and reads back with as many frames.
void runCore(const uint8_t *data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (!vc::looksLikeGif(bytes)) bytes.insert(bytes.begin(), {'G', 'I', 'F'});
    vc::CoreRequest request;
    request.limits = vc::limits();
    vc::Animation a;
    if (vc::decodeGif(bytes, request, a) != vc::Result::ok) return;
    for (const vc::Frame &f : a.frames) require(f.picture.consistent(), "the core gave an inconsistent frame");
    if (a.frames.empty()) return;
    std::vector<uint8_t> written;
    require(vc::encodeGif(a, request, written) == vc::Result::ok, "the core cannot write what it read");
    vc::Animation back;
    require(vc::decodeGif(written, request, back) == vc::Result::ok && back.frames.size() == a.frames.size(),
            "what the core wrote does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    runCore(data, size);
    vcfuzz::mapAsGif(kIn, data, size);

    const vcfuzz::HeldResources held;
    {
        vctest::FakeEditor editor;
        HostCallback cb = vctest::FakeEditor::callback();
        const char *name = kIn;
        uint8_t format = 0;
        ConvImageRecord rec{};
        int32_t r = LoadConvImage(nullptr, name, &rec, &format, 0, cb);
        require(documented(r), "load with a record");
        require(r == 1 || rec.image == nullptr, "a failed load left an image");
        if (rec.image) require(VcMemFree(rec.image) == nullptr, "image is not a live block");

        format = 0;
        r = LoadConvImage(nullptr, name, nullptr, &format, 0, cb);
        require(documented(r), "load without a record");

        rec = ConvImageRecord{};
        r = GetPreviewImage(name, &rec);
        require(documented(r), "preview");
        if (rec.image) require(VcMemFree(rec.image) == nullptr, "preview is not a live block");
    }
    held.requireReleased();
    return 0;
}
