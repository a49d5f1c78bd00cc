// Fuzzes the X cursor core from memory: whatever the bytes, the reader ends
// in a result, a failed read keeps nothing, every picture it gives is a
// consistent 32-bit one with its hotspot inside, and what it read is
// written and read back to the same images and comments. The C API reads
// the same bytes to the same status.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "codecs/xcursor_core.h"
#include "common/limits.h"
#include "velmconv/api.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

bool sameImages(const vc::XcursorFile &a, const vc::XcursorFile &b) {
    if (a.images.size() != b.images.size() || a.comments.size() != b.comments.size()) return false;
    for (size_t i = 0; i < a.images.size(); ++i) {
        const vc::XcursorImage &x = a.images[i], &y = b.images[i];
        if (x.nominalSize != y.nominalSize || x.delayMs != y.delayMs || x.picture.width != y.picture.width ||
            x.picture.height != y.picture.height || x.picture.hotspotX != y.picture.hotspotX ||
            x.picture.hotspotY != y.picture.hotspotY || x.picture.pixels != y.picture.pixels)
            return false;
    }
    for (size_t i = 0; i < a.comments.size(); ++i)
        if (a.comments[i].kind != b.comments[i].kind || a.comments[i].text != b.comments[i].text) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const vc::CoreRequest request{.limits = vc::limits(), .progress = {}};
    vc::XcursorFile file;
    const vc::Result r = vc::decodeXcursor({data, size}, request, file);
    require(r == vc::Result::ok || (file.images.empty() && file.comments.empty()), "a failed read kept images");
    for (const vc::XcursorImage &m : file.images) {
        const vc::Picture &p = m.picture;
        require(p.consistent() && p.bitCount == 32, "inconsistent picture");
        require(p.hotspotX >= 0 && p.hotspotY >= 0 && p.hotspotX <= p.width && p.hotspotY <= p.height,
                "hotspot outside its image");
    }
    if (r == vc::Result::ok) {
        std::vector<uint8_t> bytes;
        const vc::Result w = vc::encodeXcursor(file, request, bytes);
        require(w == vc::Result::ok || w == vc::Result::noMemory, "writing what was read");
        if (w == vc::Result::ok) {
            vc::XcursorFile back;
            require(vc::decodeXcursor(bytes, request, back) == vc::Result::ok, "reading what was written");
            // Colour above alpha reads as full intensity once; after that
            // the images stay as they are.
            std::vector<uint8_t> again;
            require(vc::encodeXcursor(back, request, again) == vc::Result::ok && again == bytes,
                    "written twice, the files differ");
            vc::XcursorFile third;
            require(vc::decodeXcursor(again, request, third) == vc::Result::ok && sameImages(back, third),
                    "images changed on the way back");
        }
    }

    vc_options options;
    vc_options_init(&options);
    options.largest_picture = vc::limits().largestPicture;
    options.largest_block = vc::limits().largestBlock;
    vc_animation *a = nullptr;
    const vc_status s = vc_read_memory(data, size, VC_FORMAT_XCURSOR, &options, &a);
    require((s == VC_OK) == (r == vc::Result::ok), "the C API and the core disagree");
    require((a != nullptr) == (s == VC_OK), "an animation without success");
    if (a) require(vc_animation_frame_count(a) == file.images.size(), "frames differ from the images");
    vc_animation_free(a);
    return 0;
}
