// Fuzzes the Linux AVI companion's reader from memory: the RIFF structure
// (headers, lists, index) through FFmpeg's demuxer and the frames through
// its decoders. Whatever the bytes, opening ends in a reader or none, and
// every frame asked for is a whole packed DIB of the announced size or none.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "vfw/ffmpeg_backend.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Small pictures keep each input quick.
    vfw::setPictureLimit(uint64_t(1) << 14);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto reader = vfw::openReader(data, size);
    if (!reader) return 0;
    const int64_t count = reader->frameCount();
    // Forward, a jump to the end, and back: the decoding, seeking and
    // reopening paths.
    for (int64_t i : {int64_t(0), int64_t(1), int64_t(2), count / 2, count - 1, int64_t(1), int64_t(0)}) {
        const uint8_t *dib = reader->frame(i);
        if (!dib) continue;
        uint32_t w, h;
        std::memcpy(&w, dib + 4, 4);
        std::memcpy(&h, dib + 8, 4);
        vcfuzz::require(w == reader->width() && h == reader->height(), "frame of another size than announced");
        // Touch the last byte of the rows: a short buffer shows under ASan.
        const uint16_t bits = uint16_t(dib[14] | dib[15] << 8);
        const size_t header = 40 + (bits == 8 ? 1024 : 0);
        volatile uint8_t last = dib[header + ((size_t(w) * bits + 31) / 32) * 4 * h - 1];
        (void)last;
    }
    return 0;
}
