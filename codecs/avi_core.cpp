// AVI reading and writing over the companion library, one call at a time.
#include "codecs/avi_core.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/dib_core.h"
#include "common/bytes.h"
#include "platform/platform.h"
#include "vfw/velmvfw.h"

namespace vc {

namespace {

constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint32_t kDefaultRate = kAviDefaultRate;

constexpr uint32_t kPaletteRoom = kAviPaletteRoom;
constexpr uint32_t kInfoBufferSize = kAviInfoBufferSize;

// The rate a video is written at: the option's, when it is one the companion takes.
uint32_t writtenRate(const AviWriteOptions &options) {
    return options.rate >= 1 && options.rate <= 25 ? options.rate : kDefaultRate;
}

// The companion's frame: a packed DIB with a 40-byte header and plain
// rows, trusted to be whole once its header says how long it is.
Result frameAsPicture(const uint8_t *dib, const Limits &limits, Picture &out) {
    ByteReader r(dib, kBitmapHeaderSize);
    const uint32_t size = r.u32();
    const int32_t width = r.i32(), height = r.i32();
    r.skip(2);
    const uint16_t bits = r.u16();
    const uint32_t compression = r.u32();
    r.seek(32);
    const uint32_t used = r.u32();
    if (size != kBitmapHeaderSize || compression != 0) return Result::unsupported;
    if (bits > 32 || used > 256) return Result::unsupported;
    if (width <= 0 || height <= 0) return Result::damaged;
    if (uint64_t(width) * uint64_t(height) > limits.largestPicture) return Result::noMemory;
    const uint64_t colors = used ? used : bits <= 8 ? 1u << bits : 0;
    const uint64_t whole = size + 4 * colors + pictureRowBytes(width, bits) * uint64_t(height);
    if (whole > limits.largestBlock) return Result::noMemory;
    return decodePackedDib(std::span<const uint8_t>(dib, size_t(whole)), limits, out);
}

Result read(const AviCompanion &companion, const char *path, const CoreRequest &request, Animation &out) {
    if (!companion) return Result::unsupported;
    const auto open = companion.function<OpenAviFileFn>("OpenAviFile");
    const auto frame = companion.function<GetAviFrameFn>("GetAviFrame");
    const auto info = companion.function<GetAviFileInfoFn>("GetAviFileInfo");
    const auto close = companion.function<CloseAviFileFn>("CloseAviFile");
    if (!open || !frame) return Result::unsupported;
    const VfwFile file = path ? open(path) : 0;
    if (!file) return Result::readFailed;
    struct Closer {
        CloseAviFileFn close;
        VfwFile file;
        ~Closer() {
            if (close) close(file);
        }
    } closer{close, file};

    VfwFileInfo about{};
    if (info) info(file, &about);
    if (about.frameCount > request.limits.largestFrameCount) return Result::noMemory;
    Animation video;
    video.screenWidth = uint16_t(about.width);
    video.screenHeight = uint16_t(about.height);
    video.rateNumerator = about.rate;
    video.rateDenominator = 1;
    const uint32_t delay = about.rate ? (100u + about.rate / 2) / about.rate : 0;
    for (uint32_t i = 0; i < about.frameCount; ++i) {
        if (!request.progress(int32_t(uint64_t(i) * 100 / about.frameCount))) return Result::cancelled;
        const auto *dib = static_cast<const uint8_t *>(frame(file, int32_t(i)));
        if (!dib) continue;  // left out, as the importer leaves it out
        Frame f;
        if (const Result r = frameAsPicture(dib, request.limits, f.picture); r != Result::ok) return r;
        f.delay = delay;
        video.frames.push_back(std::move(f));
    }
    if (!request.progress(100)) return Result::cancelled;
    out = std::move(video);
    return Result::ok;
}

// The stream's frame header: BITMAPINFOHEADER and, up to 8 bits, a whole
// colour table (the first frame's palette, the rest black).
std::vector<uint8_t> frameHeader(const Picture &p) {
    const uint32_t colors = p.bitCount <= 8 ? 1u << p.bitCount : 0;
    std::vector<uint8_t> h(kBitmapHeaderSize + 4 * colors);
    ByteWriter w(h.data(), h.size());
    w.u32(kBitmapHeaderSize);
    w.u32(uint32_t(p.width));
    w.u32(uint32_t(p.height));
    w.u16(1);
    w.u16(p.bitCount);
    w.u32(0);
    w.u32(uint32_t(p.rowBytes() * uint64_t(p.height)));
    w.u32(uint32_t(p.xPelsPerMeter));
    w.u32(uint32_t(p.yPelsPerMeter));
    w.u32(0);
    w.u32(0);
    for (uint32_t i = 0; i < colors && i < p.palette.size(); ++i) {
        const Rgbq &c = p.palette[i];
        w.u8(c.blue), w.u8(c.green), w.u8(c.red), w.u8(0);
    }
    return h;
}

struct Functions {
    CreateAviFileFn create;
    CloseAviFileFn close;
    InitAviStreamWriteFn init;
    WriteAviFrameFn write;
    MergeSoundFileFn merge;
};

// Writes every frame whose ticks are not 0 into the open file; the number
// written in count.
Result writeFrames(const Functions &fn, VfwFile out, const Animation &video, const AviWriteOptions &options,
                   const CoreRequest &request, uint32_t &count) {
    const Picture &first = video.frames[0].picture;
    const std::vector<uint8_t> header = frameHeader(first);
    const uint32_t headerSize = uint32_t(header.size());
    const bool convert = first.bitCount == 4;
    const uint64_t row4 = first.rowBytes(), row8 = pictureRowBytes(first.width, 8);
    const uint32_t rows = uint32_t(first.height);
    std::vector<uint8_t> wide;
    if (convert) {
        wide.assign(headerSize + kPaletteRoom + row8 * rows, 0);
        std::memcpy(wide.data(), header.data(), headerSize);
        storeLe16(wide.data() + 14, 8);
        storeLe32(wide.data() + 20, 0);
        if (!fn.init(out, wide.data(), headerSize, 1)) return Result::damaged;
    } else if (!fn.init(out, header.data(), headerSize, first.bitCount >= 8 ? 1 : 0)) {
        return Result::damaged;
    }
    uint8_t info[kInfoBufferSize] = {};
    uint8_t *wideBits = convert ? wide.data() + headerSize + kPaletteRoom : nullptr;
    const uint32_t imageSize = uint32_t(row4 * rows);
    VfwFrameRecord record{0, 1, nullptr, imageSize, info};
    const size_t n = video.frames.size();
    auto ticks = [&](size_t i) { return i < options.ticks.size() ? options.ticks[i] : 1u; };
    for (size_t i = 0; i < n; ++i) {
        const uint32_t d = ticks(i);
        if (!d) continue;
        if (!request.progress(int32_t(uint64_t(i) * 100 / n))) return Result::cancelled;
        const uint8_t *bits = video.frames[i].picture.pixels.data();
        record.bits = bits;
        if (convert) {
            for (uint32_t y = 0; y < rows; ++y) {
                const uint8_t *from = bits + y * row4;
                uint8_t *to = wideBits + y * row8;
                for (uint32_t x = 0; x < uint32_t(first.width); ++x) to[x] = (x & 1) ? from[x / 2] & 0x0F : from[x / 2] >> 4;
            }
            record.bits = wideBits;
            record.size = uint32_t(row8 * rows);
        }
        if (!fn.write(out, &record)) return Result::writeFailed;
        record.position += int32_t(d);
        ++count;
    }
    // The last picture once more at the last tick of its length.
    if (count && ticks(n - 1) > 1) {
        record.position -= 1;
        if (!fn.write(out, &record)) return Result::writeFailed;
    }
    if (count && !options.wave.empty()) {
        uint64_t total = 0;
        for (size_t i = 0; i < n; ++i) total += ticks(i);
        if (!total || total > UINT32_MAX || !fn.merge ||
            !fn.merge(out, options.wave.c_str(), uint32_t(total), writtenRate(options)))
            return Result::writeFailed;
    }
    return request.progress(100) ? Result::ok : Result::cancelled;
}

Result write(const AviCompanion &companion, const Animation &video, const char *path, const AviWriteOptions &options,
             const CoreRequest &request) {
    if (video.frames.empty()) return Result::noneFound;
    const Picture &first = video.frames[0].picture;
    const uint16_t bits = first.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return Result::unsupported;
    for (const Frame &f : video.frames)
        if (!f.picture.consistent() || f.picture.width != first.width || f.picture.height != first.height ||
            f.picture.bitCount != bits)
            return Result::unsupported;
    if (uint64_t(first.width) * uint64_t(first.height) > request.limits.largestPicture ||
        first.rowBytes() * uint64_t(first.height) > std::min<uint64_t>(request.limits.largestBlock, UINT32_MAX))
        return Result::noMemory;
    if (!companion) return Result::unsupported;
    const Functions fn{companion.function<CreateAviFileFn>("CreateAviFile"), companion.function<CloseAviFileFn>("CloseAviFile"),
                       companion.function<InitAviStreamWriteFn>("InitAviStreamWrite"),
                       companion.function<WriteAviFrameFn>("WriteAviFrame"), companion.function<MergeSoundFileFn>("MergeSoundFile")};
    if (!fn.create || !fn.close || !fn.init || !fn.write) return Result::unsupported;

    const uint32_t rate = writtenRate(options);
    const VfwCreateParams params{uint16_t(rate), uint32_t(first.rowBytes() * uint64_t(first.height)), 0, 0,
                                 uint16_t(bits > 8 ? 1 : 0)};
    const std::vector<uint8_t> header = frameHeader(first);
    const VfwFile out = path ? fn.create(path, &params, header.data()) : 0;
    if (!out) return Result::createFailed;
    uint32_t count = 0;
    Result r;
    try {
        r = writeFrames(fn, out, video, options, request, count);
    } catch (const std::bad_alloc &) {
        r = Result::noMemory;
    }
    fn.close(out);
    if (r == Result::ok && !count) r = Result::noneFound;
    // A video that holds nothing, or was stopped, does not stay; one that
    // failed part way stays as far as it got.
    if (r == Result::noneFound || r == Result::cancelled) (void)plat::fileDelete(path);
    return r;
}

}  // namespace

AviCompanion::AviCompanion() : library_(plat::loadLibraryBeside(kAviCompanionName)) {}

AviCompanion::AviCompanion(Lookup lookup) : lookup_(lookup) {}

AviCompanion::~AviCompanion() {
    if (library_) plat::freeLibrary(library_);
}

void *AviCompanion::proc(const char *name) const {
    if (lookup_) return lookup_(name);
    return library_ ? plat::libraryProc(library_, name) : nullptr;
}

bool looksLikeAvi(std::span<const uint8_t> bytes) {
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "RIFF", 4) == 0)
        return bytes.size() >= 12 && std::memcmp(bytes.data() + 8, "AVI ", 4) == 0;
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "AVI ", 4) == 0;
}

Result readAvi(const char *path, const CoreRequest &request, Animation &out) {
    const AviCompanion companion;
    return readAvi(companion, path, request, out);
}

Result readAvi(const AviCompanion &companion, const char *path, const CoreRequest &request, Animation &out) {
    try {
        return read(companion, path, request, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result writeAvi(const Animation &video, const char *path, const CoreRequest &request) {
    return writeAvi(video, path, AviWriteOptions{}, request);
}

Result writeAvi(const Animation &video, const char *path, const AviWriteOptions &options, const CoreRequest &request) {
    const AviCompanion companion;
    return writeAvi(companion, video, path, options, request);
}

Result writeAvi(const AviCompanion &companion, const Animation &video, const char *path, const AviWriteOptions &options,
                const CoreRequest &request) {
    return write(companion, video, path, options, request);
}

}  // namespace vc
