// The four entries of the JPEG library stand-in: defaults, record checks,
// and the hand-over to the platform's codec backend.
#include <cstring>

#include "ijl/ijl_backend.h"

namespace {

bool initialised(const JlProperties *p) { return p && p->magic == JL_MAGIC; }

// The pixel side must describe a buffer of whole BGR rows, either way up.
bool pixelSideUsable(const JlProperties &p) {
    const int64_t rows = jl::rowCount(p);
    return p.dibBytes && p.dibWidth > 0 && rows > 0 && p.dibChannels == 3 && p.dibColor == JL_PIXELS_BGR &&
           p.dibPadBytes >= 0 && int64_t(p.dibWidth) * 3 + p.dibPadBytes <= 0x7FFFFFFF &&
           (int64_t(p.dibWidth) * 3 + p.dibPadBytes) * rows <= 0x7FFFFFFF;
}

}  // namespace

extern "C" {

JL_EXPORT int32_t JL_API JlInit(JlProperties *props) {
    if (!props) return JL_E_ARGUMENT;
    props->dibPadBytes = 0;
    props->dibChannels = 3;
    props->dibColor = JL_PIXELS_BGR;
    props->jpegSubsampling = JL_SUBSAMPLE_420;
    props->jpegQuality = 75;
    props->magic = JL_MAGIC;
    return JL_OK;
}

JL_EXPORT int32_t JL_API JlFree(JlProperties *props) {
    if (!initialised(props)) return JL_E_ARGUMENT;
    props->magic = 0;
    return JL_OK;
}

JL_EXPORT int32_t JL_API JlRead(JlProperties *props, int32_t mode) {
    if (!initialised(props) || (!props->jpegFile && !props->jpegBytes)) return JL_E_ARGUMENT;
    switch (mode) {
    case JL_READ_PARAMS: {
        int32_t w = 0, h = 0, c = 0;
        int32_t r = jl::readParams(jl::sourceOf(*props), w, h, c);
        if (r != JL_OK) return r;
        props->jpegWidth = w;
        props->jpegHeight = h;
        props->jpegChannels = c;
        return JL_OK;
    }
    case JL_READ_IMAGE:
        if (!pixelSideUsable(*props)) return JL_E_ARGUMENT;
        return jl::readImage(*props);
    default:
        return JL_E_UNSUPPORTED;
    }
}

JL_EXPORT int32_t JL_API JlWrite(JlProperties *props, int32_t mode) {
    if (!initialised(props) || (!props->jpegFile && !props->jpegOutBytes)) return JL_E_ARGUMENT;
    if (mode != JL_WRITE_IMAGE) return JL_E_UNSUPPORTED;
    if (!pixelSideUsable(*props) || props->jpegWidth != props->dibWidth || props->jpegHeight != jl::rowCount(*props) ||
        props->jpegWidth > 65500 || props->jpegHeight > 65500 || props->jpegQuality < 1 ||
        props->jpegQuality > 100)
        return JL_E_ARGUMENT;
    if (props->jpegSubsampling < JL_SUBSAMPLE_NONE || props->jpegSubsampling > JL_SUBSAMPLE_422)
        return JL_E_UNSUPPORTED;
    uint32_t written = 0;
    const int32_t r = jl::writeImage(*props, written);
    if (r == JL_OK && props->jpegOutBytes) props->jpegOutSizeBytes = written;
    return r;
}

}  // extern "C"
