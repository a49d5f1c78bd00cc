// Fuzzes the animated cursor core from memory (what it decodes is written
// and read back the same) and animated cursors through the exports: loading with and without an
// output record, the preview, and, when the editor took a document, the
// document routines on whatever the file put into it (frame changes, the
// animation dialog pressed with Enter, and a save). Nothing may crash, and
// no memory block or file may outlive a run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "codecs/ani_core.h"
#include "common/limits.h"
#include "platform/platform.h"
#include "support/fake_editor.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

// The input and the save, as files in memory.
constexpr char kIn[] = "/vcfuzz/in.ani";
constexpr char kOut[] = "/vcfuzz/out.ani";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vc::plat::memFileMap(kIn, data, size);

    const vcfuzz::HeldResources held;
    // Every size of every frame: consistent pictures in groups that follow
    // the frames, written as frames of several sizes and read back alike.
    {
        const vc::CoreRequest request{.limits = vc::limits(), .progress = {}};
        vc::Animation a;
        const vc::Result r = vc::decodeAnimatedCursor({data, size}, request, a, true);
        require(r == vc::Result::ok || a.frames.empty(), "a failed decode kept frames");
        std::vector<uint32_t> frameOf;
        for (const vc::Frame &f : a.frames) {
            require(f.picture.consistent() && f.group >= 0, "inconsistent frame or no group");
            require(frameOf.empty() || uint32_t(f.group) >= frameOf.back(), "groups out of order");
            // Numbered densely for the writer.
            frameOf.push_back(frameOf.empty() ? 0 : frameOf.back() + (uint32_t(f.group) != uint32_t(a.frames[frameOf.size() - 1].group)));
        }
        a.sequence.clear(), a.rates.clear();
        bool small = true;
        for (const vc::Frame &f : a.frames) small = small && f.picture.width <= 256 && f.picture.height <= 256;
        std::vector<uint8_t> bytes;
        if (r == vc::Result::ok && small && vc::encodeAnimatedCursorSets(a, frameOf, request, bytes) == vc::Result::ok) {
            vc::Animation b;
            require(vc::decodeAnimatedCursor(bytes, request, b, true) == vc::Result::ok, "reading the sizes written");
            require(b.frames.size() == a.frames.size(), "sizes lost on the way back");
            for (size_t i = 0; i < b.frames.size(); ++i)
                require(b.frames[i].group == int64_t(frameOf[i]) && b.frames[i].picture.width == a.frames[i].picture.width,
                        "size changed on the way back");
        }
    }
    {
        const vc::CoreRequest request{.limits = vc::limits(), .progress = {}};
        vc::Animation a;
        const vc::Result r = vc::decodeAnimatedCursor({data, size}, request, a);
        require(r == vc::Result::ok || a.frames.empty(), "a failed decode kept frames");
        for (const vc::Frame &f : a.frames) require(f.picture.consistent(), "inconsistent frame");
        // Steps naming no frame, or frames without steps, cannot be written.
        bool writable = r == vc::Result::ok && !a.frames.empty() && a.sequence.size() == a.rates.size();
        for (uint32_t s : a.sequence) writable = writable && s < a.frames.size();
        std::vector<uint8_t> bytes;
        const vc::Result w = writable ? vc::encodeAnimatedCursor(a, request, bytes) : vc::Result::unsupported;
        require(!writable || w == vc::Result::ok || w == vc::Result::noMemory, "writing a decoded animation");
        if (w == vc::Result::ok) {
            vc::Animation b;
            require(vc::decodeAnimatedCursor(bytes, request, b) == vc::Result::ok, "reading what was written");
            require(b.frames.size() == a.frames.size() && b.title == a.title && b.author == a.author &&
                        b.defaultRate == a.defaultRate && (a.sequence.empty() || (b.sequence == a.sequence && b.rates == a.rates)),
                    "animation changed on the way back");
            for (size_t i = 0; i < a.frames.size(); ++i) {
                const vc::Picture &x = a.frames[i].picture, &y = b.frames[i].picture;
                require(x.width == y.width && x.height == y.height && x.bitCount == y.bitCount && x.pixels == y.pixels &&
                            x.palette == y.palette && x.hotspotX == y.hotspotX && x.hotspotY == y.hotspotY,
                        "frame changed on the way back");
            }
        }
    }
    {
        vctest::FakeEditor editor;
        HostCallback cb = vctest::FakeEditor::callback();
        const char *name = kIn;
        uint8_t format = 0;

        // An animated cursor goes to the editor as a document, never into the
        // record; a mutated file that another format's detector takes (a GIF,
        // say) may fill it.
        ConvImageRecord rec{};
        LoadConvImage(nullptr, name, &rec, &format, 0, cb);
        require(format != CONV_FMT_ANI || rec.image == nullptr, "an animated cursor filled the output record");
        if (rec.image) require(VcMemFree(rec.image) == nullptr, "loaded block is not a live block");

        editor.images.clear();
        editor.hotspots.clear();
        format = 0;
        int32_t r = LoadConvImage(nullptr, name, nullptr, &format, 0, cb);
        if (r == CONV_OK && format == CONV_FMT_ANI && !editor.documents.empty()) {
            void *doc = editor.documents.back();
            uint16_t at = size ? uint16_t(data[size - 1]) : 0;
            NotifyFrameChange(CONV_FMT_ANI, doc, 1, at, cb);
            ProcessCommand(nullptr, CONV_CMD_ANIMATION, CONV_FMT_ANI, doc, 0, cb);
            NotifyFrameChange(CONV_FMT_ANI, doc, 3, at, cb);
            // Keep the save small: at most a few frames at their own size.
            if (editor.images.size() <= 8) {
                vc::plat::memFileMap(kOut, nullptr, 0);  // a failed save deletes its file
                SaveConvImage(nullptr, kOut, nullptr, CONV_FMT_ANI, 0, cb);
            }
        }

        rec = ConvImageRecord{};
        GetPreviewImage(name, &rec);
        if (rec.image) require(VcMemFree(rec.image) == nullptr, "preview block is not a live block");
    }
    held.requireReleased();
    return 0;
}
