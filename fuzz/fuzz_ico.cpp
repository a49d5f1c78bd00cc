// Fuzzes the icon core from memory (what it decodes is consistent, and is
// written and read back the same) and the icon and cursor reader and preview: whatever the bytes (PNG
// images among them), the picker, the load and the preview return a
// documented result without reading or writing out of bounds, leave no
// memory block or file behind, and what they hand over is whole: the
// preview's colour rows lie inside its block, and a loaded image saved
// again as a cursor loads back to the same bytes. With one allocation
// refused (which one, the input's length decides), a load gives the memory
// result or what it gave before, never another image.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/ico_core.h"
#include "cursor/ico.h"
#include "common/image_block.h"
#include "platform/platform.h"
#include "support/fake_editor.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::oneOf;
using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.ico";
constexpr char kOut[] = "/vcfuzz/out.cur";


}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vc::plat::memFileMap(kIn, data, size);

    const vcfuzz::HeldResources held;
    // The picker on an exact-size copy: the sanitizer sees any stray access.
    {
        vc::plat::Block copy;
        require(copy.alloc(size ? size : 1), "no block for the copy");
        std::memcpy(copy.data(), data, size);
        uint32_t hotspot = 0;
        size_t picked = 0;
        if (vc::PickIconImage(copy, &hotspot, size, &picked) == 1) {
            require(picked >= 40 && picked <= copy.size(), "picked size outside the block");
            ConvBitmapInfoHeader h;
            std::memcpy(&h, copy.data(), sizeof h);
            require(vc::iconDataBytes(h) != 0 && vc::iconDataBytes(h) <= picked, "picked data not a whole image");
        }
    }
    // The core from memory: every picture it gives is consistent, and the
    // pictures written and read back are the same.
    {
        const vc::CoreRequest request{.limits = vc::limits(), .progress = {}};
        vc::IconFile icon;
        const vc::Result r = vc::decodeIconFile({data, size}, request, icon);
        require(r == vc::Result::ok || icon.images.empty(), "a failed decode kept pictures");
        vc::IconFile usable;
        usable.cursor = icon.cursor;
        for (size_t i = 0; i < icon.images.size(); ++i) {
            require((icon.entries[i].status == vc::Result::ok) == icon.images[i].consistent(), "picture and status disagree");
            if (icon.entries[i].status == vc::Result::ok) usable.images.push_back(icon.images[i]);
        }
        std::vector<uint8_t> bytes;
        const vc::Result w = r == vc::Result::ok ? vc::encodeIconFile(usable, request, bytes) : vc::Result::notFormat;
        require(r != vc::Result::ok || w == vc::Result::ok || w == vc::Result::noMemory, "writing decoded pictures");
        // The set writer takes what fits a directory: every picture comes
        // back at its size (bitmaps as they are).
        vc::IconFile fitting;
        fitting.cursor = usable.cursor;
        for (const vc::Picture &p : usable.images)
            if (p.width <= 256 && p.height <= 256) fitting.images.push_back(p);
        std::vector<uint8_t> set;
        if (!fitting.images.empty() && vc::encodeIconSet(fitting, request, set) == vc::Result::ok) {
            vc::IconFile again;
            require(vc::decodeIconFile(set, request, again) == vc::Result::ok && again.images.size() == fitting.images.size(),
                    "set entries lost on the way back");
            for (size_t i = 0; i < again.images.size(); ++i) {
                const vc::Picture &a = fitting.images[i], &b = again.images[i];
                require(a.width == b.width && a.height == b.height, "set entry changed size");
                require(a.width > 128 || a.height > 128 || (a.pixels == b.pixels && a.palette == b.palette),
                        "set bitmap changed on the way back");
            }
        }
        vc::IconFile back;
        if (w == vc::Result::ok) {
            require(vc::decodeIconFile(bytes, request, back) == vc::Result::ok, "reading what was written");
            require(back.images.size() == usable.images.size(), "pictures lost on the way back");
            for (size_t i = 0; i < back.images.size(); ++i) {
                const vc::Picture &a = usable.images[i], &b = back.images[i];
                require(a.width == b.width && a.height == b.height && a.bitCount == b.bitCount && a.palette == b.palette &&
                            a.pixels == b.pixels && (a.mask.empty() || a.mask == b.mask) && a.hotspotX == b.hotspotX &&
                            a.hotspotY == b.hotspotY,
                        "picture changed on the way back");
            }
        }
    }
    {
        vctest::FakeEditor editor;
        HostCallback cb = vctest::FakeEditor::callback();
        const char *name = kIn;

        const vc::Result r = vc::LoadIconFile(name, nullptr, cb);
        require(r == vc::Result::ok || r == vc::Result::cancelled || r == vc::Result::notFormat, "load result");
        require((r == vc::Result::ok) == (editor.images.size() == 1), "load result disagrees with the editor");

        ConvImageRecord rec{};
        const vc::Result p = vc::PreviewIconFile(name, &rec);
        require(p == vc::Result::ok || p == vc::Result::readFailed || p == vc::Result::damaged, "preview result");
        require((p == vc::Result::ok) == (rec.image != nullptr), "preview result disagrees with the record");
        if (rec.image) {
            const size_t blockSize = VcMemSize(rec.image);
            ConvBitmapInfoHeader h;
            std::memcpy(&h, VcMemLock(rec.image), sizeof h);
            VcMemUnlock(rec.image);
            uint64_t rows = rec.bitsOffset + vc::dibRowBytes(h.biWidth, h.biBitCount) * uint64_t(h.biHeight);
            require(rec.bitsOffset == vc::dibBitsOffset(h), "bits offset");
            require(rows <= blockSize, "preview rows past the block");
            VcMemFree(rec.image);
        }

        {
            vctest::FakeEditor starved;
            vc::plat::memFailAt(long(1 + size % 8));
            const vc::Result m = vc::LoadIconFile(name, nullptr, cb);
            vc::plat::memFailAt(0);
            require(m == vc::Result::noMemory ||
                        (m == r && (m != vc::Result::ok || starved.images[0].bytes == editor.images[0].bytes)),
                    "a refused allocation changed the load");
        }

        // What was loaded is saved again as a cursor and loads back the same.
        if (r == vc::Result::ok) {
            const std::vector<uint8_t> first = editor.images[0].bytes;
            ConvBitmapInfoHeader h;
            std::memcpy(&h, first.data(), sizeof h);
            editor.imageWidth = uint16_t(h.biWidth);
            editor.imageHeight = uint16_t(h.biHeight / 2);
            // A size the question would be asked for is answered with Enter
            // (32 x 32); the fake editor serves the held image as it is.
            vc::plat::memFileMap(kOut, nullptr, 0);  // a failed save deletes its file
            int s = SaveConvImage(nullptr, kOut, nullptr, CONV_FMT_ICON, 0, cb);
            require(s == CONV_OK, "saving a loaded image");
            // The entry written holds the low 8 bits of the size, and 0
            // colours from 8 bits up: an image of 8 bits or more whose width
            // or height is a multiple of 256 states no area and no colour
            // count, and is then chosen by its own header, so every image
            // saved loads back.
            vctest::FakeEditor again;
            const vc::Result back = vc::LoadIconFile(kOut, nullptr, vctest::FakeEditor::callback());
            require(back == vc::Result::ok, "loading what was saved");
            require(again.images.size() == 1 && again.images[0].bytes == first, "saved image differs");
            require(again.hotspots[0] == editor.hotspots[0], "saved hotspot differs");
        }
    }
    held.requireReleased();
    return 0;
}
