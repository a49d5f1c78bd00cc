// Fuzzes the Linux AVI companion's reader from memory: the RIFF structure
// (headers, lists, index) through FFmpeg's demuxer and the frames through
// its decoders. Whatever the bytes, opening ends in a reader or none, and
// every frame asked for is a whole packed DIB of the announced size or none.
// Then the AVI core over the same reader, lent as the companion: a result
// it documents, and every picture whole.
#include <cstdint>
#include <cstring>
#include <memory>

#include "codecs/avi_core.h"
#include "fuzz_support.h"
#include "vfw/ffmpeg_backend.h"
#include "vfw/velmvfw.h"

namespace {

// The companion's reading functions over the input in memory.
std::span<const uint8_t> gInput;
std::unique_ptr<vfw::Reader> gOpen;
VfwFile open(const char *) {
    gOpen = vfw::openReader(gInput.data(), gInput.size());
    return gOpen ? 1 : 0;
}
void close(VfwFile) { gOpen.reset(); }
void info(VfwFile, VfwFileInfo *i) {
    *i = VfwFileInfo{};
    i->frameCount = gOpen->frameCount(), i->width = gOpen->width(), i->height = gOpen->height();
    i->rate = uint16_t(gOpen->rate());
}
const void *frame(VfwFile, int32_t i) { return gOpen->frame(i); }
void *lookup(const char *name) {
    if (!std::strcmp(name, "OpenAviFile")) return reinterpret_cast<void *>(open);
    if (!std::strcmp(name, "CloseAviFile")) return reinterpret_cast<void *>(close);
    if (!std::strcmp(name, "GetAviFileInfo")) return reinterpret_cast<void *>(info);
    if (!std::strcmp(name, "GetAviFrame")) return reinterpret_cast<void *>(frame);
    return nullptr;
}

void throughTheCore(const uint8_t *data, size_t size) {
    using vc::Result;
    gInput = std::span<const uint8_t>(data, size);
    (void)vc::looksLikeAvi(gInput);
    vc::CoreRequest request;
    request.limits.largestFrameCount = 64;
    request.limits.largestPicture = uint64_t(1) << 14;
    vc::Animation video;
    const Result r = vc::readAvi(vc::AviCompanion(lookup), "in.avi", request, video);
    vcfuzz::require(r == Result::ok || r == Result::readFailed || r == Result::noMemory || r == Result::unsupported ||
                        r == Result::damaged,
                    "an undocumented result");
    for (const vc::Frame &f : video.frames) vcfuzz::require(f.picture.consistent(), "a frame that is not whole");
    vcfuzz::require(!gOpen, "the file was left open");
}

}  // namespace

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
    reader.reset();
    throughTheCore(data, size);
    return 0;
}
