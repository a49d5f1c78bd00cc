// Resampling through FFmpeg's scaler (libswscale).
//
// The filter: shrinking, which is what an icon set mostly does (a large
// picture down to 16, 24, 32 ... pixels), uses the scaler's area filter:
// each target pixel is the mean of the source pixels it covers, so thin
// lines fade rather than vanish or alias, and nothing overshoots (no halo
// around the outline, premultiplied colours stay within their alpha).
// Enlarging (a small picture up to 256) uses the bilinear filter: smooth
// where nearest neighbour would give blocks, and, unlike the bicubic and
// Lanczos filters, without overshoot, which clips at full alpha and shifts
// the colours along an outline.
//
// The picture goes through as planar G, B, R, A of 16 bits (in the byte
// order of the machine), premultiplied, so the scaler filters each plane
// on its own and converts no colours, and faint pixels keep their colour
// when divided back.
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
constexpr int kAlphaPlane = 3;
}  // namespace

const char *resampleFilterName(bool shrinking) { return shrinking ? "swscale area" : "swscale bilinear"; }

bool resampleBgra(const BgraPixels &from, int32_t width, int32_t height, BgraPixels &to) {
    try {
        const bool shrinking = int64_t(width) * height < int64_t(from.width) * from.height;
        const int flags = (shrinking ? SWS_AREA : SWS_BILINEAR) | SWS_ACCURATE_RND;
        std::unique_ptr<SwsContext, ContextFree> sws(sws_getContext(from.width, from.height, AV_PIX_FMT_GBRAP16, width,
                                                                    height, AV_PIX_FMT_GBRAP16, flags, nullptr, nullptr,
                                                                    nullptr));
        if (!sws) return false;
        const size_t inPixels = size_t(from.width) * size_t(from.height), outPixels = size_t(width) * size_t(height);
        // Planes padded past their end: the scaler may read and write a
        // little beyond a row in its vector paths.
        constexpr size_t kPad = 64;
        std::vector<uint16_t> in(kPlanes * (inPixels + kPad)), out(kPlanes * (outPixels + kPad));
        const uint8_t *src[kPlanes];
        uint8_t *dst[kPlanes];
        int srcStride[kPlanes], dstStride[kPlanes];
        for (int p = 0; p < kPlanes; ++p) {
            uint16_t *plane = in.data() + size_t(p) * (inPixels + kPad);
            // Premultiplied at 16 bits: c * a scaled to 0 .. 65535.
            for (size_t i = 0; i < inPixels; ++i) {
                const uint32_t a = from.bytes[4 * i + 3], c = from.bytes[4 * i + size_t(kByteOfPlane[p])];
                plane[i] = uint16_t(p == kAlphaPlane ? a * 257 : (c * a * 257 + 127) / 255);
            }
            src[p] = reinterpret_cast<const uint8_t *>(plane);
            srcStride[p] = from.width * 2;
            dst[p] = reinterpret_cast<uint8_t *>(out.data() + size_t(p) * (outPixels + kPad));
            dstStride[p] = width * 2;
        }
        if (sws_scale(sws.get(), src, srcStride, 0, from.height, dst, dstStride) != height) return false;
        to.width = width;
        to.height = height;
        to.bytes.assign(outPixels * 4, 0);
        const uint16_t *alpha = out.data() + size_t(kAlphaPlane) * (outPixels + kPad);
        for (size_t i = 0; i < outPixels; ++i) {
            const uint32_t a = alpha[i];
            to.bytes[4 * i + 3] = uint8_t((a + 128) / 257);
            if (to.bytes[4 * i + 3] == 0) continue;
            for (int p = 0; p < kPlanes; ++p) {
                if (p == kAlphaPlane) continue;
                // A filter's overshoot is held to the alpha first.
                const uint32_t c = std::min<uint32_t>(out[size_t(p) * (outPixels + kPad) + i], a);
                to.bytes[4 * i + size_t(kByteOfPlane[p])] = uint8_t((c * 255 + a / 2) / a);
            }
        }
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

}  // namespace vc
