// Fuzzes the scan of a GIF file into the document record, in both modes:
// whatever the bytes, a documented result, a frame count inside the table,
// a terminated comment, and no file left open.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gif/gif_read.h"
#include "platform/platform.h"
#include "fuzz_support.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/in.gif";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vc::plat::memFileMap(kIn, data, size);

    const long files = vc::plat::fileOpenCount();
    static vc::GifAnimRecord rec;
    for (bool firstOnly : {false, true}) {
        std::memset(&rec, 0, sizeof rec);
        rec.formatCode = 167;
        vc::HFile file = vc::plat::fileOpen(kIn, vc::plat::kOpenRead);
        require(file != vc::kFileError, "cannot open the input");
        vc::Result r = vc::Result::ok;
        {
            vc::FileWindow in(file, 0, false);
            r = vc::ParseGifStructure(in, rec, firstOnly);
        }
        require(vc::plat::fileClose(file) == 0, "cannot close the input");
        require(r == vc::Result::ok || r == vc::Result::readFailed || r == vc::Result::unsupported,
                "undocumented scan result");
        require(rec.frameCount >= 0 && rec.frameCount <= vc::kGifMaxFrames, "frame count outside the table");
        require(!firstOnly || r != vc::Result::ok || rec.frameCount <= 1, "first-image-only scan recorded more");
        require(memchr(rec.comment, 0, 1021) != nullptr, "comment longer than 1020 characters");
        for (int i = 0; r == vc::Result::ok && i < rec.frameCount; ++i) {
            const auto &e = rec.frames[i];
            require(e.bitsPerPixel == 1 || e.bitsPerPixel == 4 || e.bitsPerPixel == 8, "frame depth");
            require(e.dataPosition >= 14 && e.dataPosition < size, "data position outside the file");
            require(data[e.dataPosition - 1] == 0x2C, "data position not after an image separator");
        }
    }
    require(vc::plat::fileOpenCount() == files, "file left open");
    return 0;
}
