#include "codecs/gif_core.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/gif_parts.h"

namespace vc {

namespace {

// The picture of one frame, made blank (every pixel index 0) with the
// global table; noMemory past the limits.
Result blankFrame(const std::vector<Rgbq> &global, const GifFrameEntry &e, const Limits &limits, Picture &p) {
    if (e.width == 0 || e.height == 0) return Result::damaged;
    if (uint64_t(e.width) * e.height > limits.largestPicture) return Result::noMemory;
    p.width = e.width;
    p.height = e.height;
    p.bitCount = e.bitsPerPixel == 1 || e.bitsPerPixel == 4 ? e.bitsPerPixel : 8;
    const uint64_t size = p.rowBytes() * uint64_t(p.height);
    if (size > limits.largestBlock) return Result::noMemory;
    const size_t colors = size_t(1) << p.bitCount;
    p.palette.assign(global.begin(), global.begin() + long(std::min(colors, global.size())));
    p.palette.resize(colors);
    p.pixels.assign(size_t(size), 0);
    p.xPelsPerMeter = p.yPelsPerMeter = kDefaultPelsPerMeter;
    p.transparentIndex = e.hasGraphicControl && e.transparentIndex >= 0 ? e.transparentIndex : -1;
    return Result::ok;
}

Result decode(std::span<const uint8_t> bytes, const CoreRequest &request, Animation &out) {
    if (!looksLikeGif(bytes)) return Result::notFormat;
    const auto rec = std::make_unique<GifAnimRecord>();  // zero-filled
    SpanWindow in(bytes);
    int32_t images = 0;
    if (const Result r = scanGif(in, *rec, false, &images); r != Result::ok) return r;
    Animation a;
    a.imagesInFile = uint32_t(std::max(images, 0));
    a.screenWidth = rec->screenWidth;
    a.screenHeight = rec->screenHeight;
    a.repeat = rec->repeat != 0;
    a.loopCount = rec->loopCount;
    a.backgroundIndex = rec->backgroundIndex;
    // The scan's table holds blue, green, red, 0 as a picture's palette does.
    static_assert(sizeof(GifRgbQuad) == sizeof(Rgbq));
    a.globalPalette.resize(size_t(std::clamp<int16_t>(rec->globalColorCount, 0, 256)));
    if (!a.globalPalette.empty()) std::memcpy(a.globalPalette.data(), rec->globalPalette, 4 * a.globalPalette.size());
    if (rec->commentFlag) a.comment.assign(rec->comment, strnlen(rec->comment, sizeof rec->comment));
    const int32_t n = recordFrames(*rec);
    a.frames.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        if (!request.progress(i * 100 / n)) return Result::cancelled;
        const GifFrameEntry &e = rec->frames[i];
        Frame f;
        if (const Result r = blankFrame(a.globalPalette, e, request.limits, f.picture); r != Result::ok) return r;
        // The record keeps positions in 16 signed bits; the file's are
        // unsigned.
        f.left = uint16_t(e.left);
        f.top = uint16_t(e.top);
        // An image that cannot be decoded is given blank; only memory stops.
        if (decodeGifImage(in, e.dataPosition, gifCanvas(f.picture), -1, f.left, f.top, kBlankCanvas, request.limits) ==
            Result::noMemory)
            return Result::noMemory;
        f.delay = e.delay;
        f.disposal = uint8_t(e.disposal & 3);
        f.userInput = e.userInput != 0;
        f.interlaced = e.interlaced != 0;
        f.graphicControl = e.hasGraphicControl != 0;
        a.frames.push_back(std::move(f));
    }
    if (!request.progress(100)) return Result::cancelled;
    out = std::move(a);
    return Result::ok;
}

bool samePalette(const Picture &a, const Picture &b) { return a.bitCount == b.bitCount && a.palette == b.palette; }

Result encode(const Animation &animation, const CoreRequest &request, const GifWriteOptions &options,
              std::vector<uint8_t> &out) {
    if (animation.frames.empty()) return Result::damaged;
    for (const Frame &f : animation.frames) {
        const Picture &p = f.picture;
        if (p.bitCount != 1 && p.bitCount != 4 && p.bitCount != 8) return Result::unsupported;
        if (!p.consistent() || p.width > 0xFFFF || p.height > 0xFFFF) return Result::damaged;
        if (uint64_t(p.width) * uint64_t(p.height) > request.limits.largestPicture) return Result::noMemory;
    }
    const Picture &first = animation.frames.front().picture;
    const Progress *rows = options.reportProgress ? &request.progress : nullptr;
    std::vector<uint8_t> bytes;
    GifCoder coder;
    const bool still = animation.frames.size() == 1 && !animation.repeat && animation.comment.empty();
    if (still) {
        // The header with the image's size, a graphic control when it has a
        // transparent colour, the image, the trailer.
        (void)writeGifHeader(bytes, gifImageView(first), uint16_t(first.width), uint16_t(first.height), 0);
        if (first.transparentIndex >= 0) writeGifGraphicControl(bytes, first.transparentIndex, 0, false, 0);
        if (const Result r = writeGifImage(bytes, coder, gifImageView(first), 0, 0, false, rows); r != Result::ok)
            return r;
    } else {
        const uint16_t w = uint16_t(animation.screenWidth > 0 ? animation.screenWidth : first.width);
        const uint16_t h = uint16_t(animation.screenHeight > 0 ? animation.screenHeight : first.height);
        (void)writeGifHeader(bytes, gifImageView(first), w, h, uint8_t(animation.backgroundIndex));
        if (animation.repeat) writeGifLooping(bytes, uint16_t(animation.loopCount));
        if (!animation.comment.empty())
            writeGifComment(bytes, animation.comment.data(), std::min<size_t>(animation.comment.size(), kGifCommentMax));
        const size_t n = animation.frames.size();
        for (size_t i = 0; i < n; ++i) {
            if (options.reportProgress && !request.progress(int32_t(i * 100 / n))) return Result::cancelled;
            const Frame &f = animation.frames[i];
            writeGifGraphicControl(bytes, f.picture.transparentIndex, uint16_t(std::min<uint32_t>(f.delay, 0xFFFF)),
                                   f.userInput, f.disposal);
            const Result r = writeGifImage(bytes, coder, gifImageView(f.picture), f.left, f.top, f.interlaced, nullptr,
                                           !samePalette(f.picture, first));
            if (r != Result::ok) return r;
        }
    }
    bytes.push_back(0x3B);
    out = std::move(bytes);
    return Result::ok;
}

}  // namespace

bool looksLikeGif(std::span<const uint8_t> bytes) {
    return bytes.size() >= 3 && std::memcmp(bytes.data(), "GIF", 3) == 0;
}

Result decodeGif(std::span<const uint8_t> bytes, const CoreRequest &request, Animation &out) {
    try {
        return decode(bytes, request, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result encodeGif(const Animation &animation, const CoreRequest &request, const GifWriteOptions &options,
                 std::vector<uint8_t> &out) {
    try {
        return encode(animation, request, options, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result encodeGif(const Animation &animation, const CoreRequest &request, std::vector<uint8_t> &out) {
    return encodeGif(animation, request, GifWriteOptions{}, out);
}

}  // namespace vc
