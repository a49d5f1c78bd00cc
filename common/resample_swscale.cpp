// Resampling through FFmpeg's scaler (libswscale).
//
// The filter: shrinking, which is what an icon set mostly does (a large
// picture down to 16, 24, 32 ... pixels), uses the scaler's area filter:
// each target pixel is the mean of the source pixels it covers, so thin
// lines fade rather than vanish or alias, and nothing overshoots (no halo
// around the outline, premultiplied colours stay within their alpha).
// Enlarging (a small picture up to 256) uses the bicubic filter, smooth
// where an area or nearest-neighbour filter would give blocks; its slight
// overshoot is held to the alpha before the colours are divided back.
//
// The picture goes through as planar G, B, R, A of 8 bits, so the scaler
// filters each plane on its own and converts no colours.
#include <algorithm>
#include <memory>
#include <new>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "common/resample.h"

namespace vc {

namespace {
struct ContextFree {
    void operator()(SwsContext *c) const { sws_freeContext(c); }
};
constexpr int kPlanes = 4;
// Plane order of the scaler's planar RGB with alpha: G, B, R, A; the
// bytes of a pixel here are B, G, R, A.
constexpr int kByteOfPlane[kPlanes] = {1, 0, 2, 3};
}  // namespace

const char *resampleFilterName(bool shrinking) { return shrinking ? "swscale area" : "swscale bicubic"; }

bool resampleBgra(const BgraPixels &from, int32_t width, int32_t height, BgraPixels &to) {
    try {
        const bool shrinking = int64_t(width) * height < int64_t(from.width) * from.height;
        const int flags = (shrinking ? SWS_AREA : SWS_BICUBIC) | SWS_ACCURATE_RND;
        std::unique_ptr<SwsContext, ContextFree> sws(sws_getContext(from.width, from.height, AV_PIX_FMT_GBRAP, width,
                                                                    height, AV_PIX_FMT_GBRAP, flags, nullptr, nullptr,
                                                                    nullptr));
        if (!sws) return false;
        BgraPixels weighted = from;
        premultiply(weighted.bytes);
        const size_t inPixels = size_t(from.width) * size_t(from.height), outPixels = size_t(width) * size_t(height);
        // Planes padded past their end: the scaler may read and write a
        // little beyond a row in its vector paths.
        constexpr size_t kPad = 64;
        std::vector<uint8_t> in(kPlanes * (inPixels + kPad)), out(kPlanes * (outPixels + kPad));
        const uint8_t *src[kPlanes];
        uint8_t *dst[kPlanes];
        int srcStride[kPlanes], dstStride[kPlanes];
        for (int p = 0; p < kPlanes; ++p) {
            uint8_t *plane = in.data() + size_t(p) * (inPixels + kPad);
            for (size_t i = 0; i < inPixels; ++i) plane[i] = weighted.bytes[4 * i + size_t(kByteOfPlane[p])];
            src[p] = plane;
            srcStride[p] = from.width;
            dst[p] = out.data() + size_t(p) * (outPixels + kPad);
            dstStride[p] = width;
        }
        if (sws_scale(sws.get(), src, srcStride, 0, from.height, dst, dstStride) != height) return false;
        to.width = width;
        to.height = height;
        to.bytes.assign(outPixels * 4, 0);
        for (int p = 0; p < kPlanes; ++p)
            for (size_t i = 0; i < outPixels; ++i) to.bytes[4 * i + size_t(kByteOfPlane[p])] = dst[p][i];
        unpremultiply(to.bytes);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

}  // namespace vc
