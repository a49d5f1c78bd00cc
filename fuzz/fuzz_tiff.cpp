// Fuzzes the TIFF reader and preview through the exports, and the writer
// with whatever image the reader made: detection, loading, the preview and
// a save of the loaded image must return result codes without crashing,
// and leave no memory block or file behind. The saved file must read back
// to the same pixels. The core runs on the same bytes from memory and must
// agree with the load, and what it writes must read back to the same
// pixels. (The LZW strip coder has its own harness.)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/tiff_core.h"
#include "common/image_block.h"
#include "common/limits.h"
#include "platform/platform.h"
#include "velmconv/headless.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.tif";
constexpr char kOut[] = "/vcfuzz/out.tif";
// The pixel rows of a block, without its header (the resolutions and the
// colour table may change on a round trip: 1-bit colours are not stored).
bool samePixels(void *a, void *b) {
    auto *pa = static_cast<const uint8_t *>(VcMemLock(a));
    auto *pb = static_cast<const uint8_t *>(VcMemLock(b));
    ConvBitmapInfoHeader ha, hb;
    std::memcpy(&ha, pa, 40);
    std::memcpy(&hb, pb, 40);
    bool same = ha.biWidth == hb.biWidth && ha.biHeight == hb.biHeight && ha.biBitCount == hb.biBitCount;
    if (same) {
        // Bits past the width in a row's last byte and the row padding are
        // not the picture; compare the whole bytes of each row and mask the rest.
        const uint64_t stride = vc::dibRowBytes(ha.biWidth, ha.biBitCount);
        const uint64_t bits = uint64_t(ha.biWidth) * ha.biBitCount;
        const uint8_t *ra = pa + vc::dibBitsOffset(ha), *rb = pb + vc::dibBitsOffset(hb);
        for (int32_t y = 0; same && y < ha.biHeight; ++y) {
            const uint8_t *x = ra + y * stride, *z = rb + y * stride;
            same = std::memcmp(x, z, size_t(bits / 8)) == 0;
            if (same && bits % 8) {
                const uint8_t mask = uint8_t(0xFF00 >> (bits % 8));
                same = (x[bits / 8] & mask) == (z[bits / 8] & mask);
            }
        }
    }
    VcMemUnlock(a);
    VcMemUnlock(b);
    return same;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Every picture read is written and read again, each pass costing
    // per pixel and per row: 64 x 64 pixels, or a row or column of 4096,
    // keep that quick.
    vcfuzz::lowerLimits(uint64_t(1) << 12);
    vcfuzz::attachLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vc::plat::memFileMap(kIn, data, size);

    const vcfuzz::HeldResources held;
    {
        char message[256] = {};
        uint8_t format = 0;
        int32_t r = DetectFileFormat(kIn, &format, 1);
        require(r == CONV_OK || r == CONV_E_FORMAT, "content detection of an existing file");

        ConvImageRecord rec{nullptr, 0, message, sizeof message};
        format = 0;
        r = LoadConvImage(nullptr, kIn, &rec, &format, 0, nullptr);
        require((r == CONV_OK) == (rec.image != nullptr), "image block and result disagree");
        if (r == CONV_OK && format == CONV_FMT_TIFF) {
            auto *h = static_cast<const ConvBitmapInfoHeader *>(VcMemLock(rec.image));
            require(vc::dibPackedSize(*h) == VcMemSize(rec.image), "block size and header disagree");
            VcMemUnlock(rec.image);
            // Save what was read and read it back.
            vc::plat::memFileMap(kOut, nullptr, 0);  // a failed save deletes its file
            int32_t s = SaveConvImage(nullptr, kOut, rec.image, CONV_FMT_TIFF, 0, nullptr);
            require(s == CONV_OK, "an image the reader made cannot be written");
            ConvImageRecord back{nullptr, 0, message, sizeof message};
            require(LoadConvImage(nullptr, kOut, &back, &format, 0, nullptr) == CONV_OK,
                    "a written file does not read back");
            require(samePixels(rec.image, back.image), "a written file reads back to other pixels");
            VcMemFree(back.image);
        }
        if (rec.image) VcMemFree(rec.image);

        // The core, from memory, with the harness's limits.
        vc::CoreRequest request;
        request.limits = vc::limits();
        vc::Picture picture;
        const vc::Result c = vc::decodeTiff({data, size}, request, picture);
        if (vc::looksLikeTiff({data, size}))  // the load reads it as TIFF
            require(vc::toConvResult(c) == r, "the core and the load disagree");
        if (c == vc::Result::ok) {
            require(picture.consistent(), "the core gave an inconsistent picture");
            std::vector<uint8_t> written;
            require(vc::encodeTiff(picture, request, written) == vc::Result::ok, "the core cannot write what it read");
            vc::Picture back;
            require(vc::decodeTiff(written, request, back) == vc::Result::ok && back.pixels == picture.pixels,
                    "the core's file reads back to other pixels");
        }

        rec = ConvImageRecord{nullptr, 0, message, sizeof message};
        GetPreviewImage(kIn, &rec);
        if (rec.image) VcMemFree(rec.image);
    }
    held.requireReleased();
    return 0;
}
