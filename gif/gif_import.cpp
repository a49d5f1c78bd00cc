// The import modes of several images: the assembled image and the sequence.
#include "gif/gif_import.h"

#include <algorithm>
#include <cstring>

#include "entry/image_block.h"
#include "gif/gif_read.h"

namespace vc {

namespace {

int frameCountOf(const GifAnimRecord &r) { return std::clamp<int>(r.frameCount, 0, kGifMaxFrames); }

}  // namespace

// ---- Assembled image ----------------------------------------------------------------

int16_t ImportGifAssembled(GifLoad &load) {
    GifAnimRecord *record = load.record;
    load.dib = CreatePackedDib(uint16_t(record->bitsPerPixel), record->screenWidth, record->screenHeight,
                               record->globalPalette, record->globalColorCount);
    if (!load.dib) return CONV_E_MEMORY;
    auto *dib = static_cast<ConvBitmapInfoHeader *>(plat::memLock(load.dib));
    if (!dib) return CONV_E_MEMORY;
    FillPackedDib(dib, record->backgroundIndex);
    const int n = frameCountOf(*record);
    for (int i = 0; i < n; ++i) {
        const GifFrameEntry &f = record->frames[i];
        // A frame that fails leaves what it drew; the others still come.
        if (plat::fileSeek(load.file, int32_t(f.dataPosition), plat::kSeekSet) < 0) continue;
        DecodeGifImage(load.file, dib, f.hasGraphicControl ? f.transparentIndex : -1, 0, 0);
    }
    if (load.image) {
        plat::memUnlock(load.dib);
        *load.image = load.dib;
        load.dib = nullptr;
    } else {
        if (load.callback) load.callback(HOST_ADD_FRAME, reinterpret_cast<intptr_t>(dib), HOST_FRAME_GIF);
        plat::memUnlock(load.dib);
    }
    // One picture: the document describes one frame, with every setting 0.
    std::memset(&record->frames[0], 0, sizeof record->frames[0]);
    record->frameCount = 1;
    return CONV_OK;
}

// ---- Sequence of frames -------------------------------------------------------------

int16_t ImportGifSequence(GifLoad &load) {
    GifAnimRecord *record = load.record;
    const int32_t w = record->outputWidth, h = record->outputHeight;
    load.dib = CreatePackedDib(uint16_t(record->bitsPerPixel), w, h, record->globalPalette, record->globalColorCount);
    if (!load.dib) return CONV_E_MEMORY;
    auto *dib = static_cast<ConvBitmapInfoHeader *>(plat::memLock(load.dib));
    if (!dib) return CONV_E_MEMORY;
    const uint32_t colors = dibColorCount(*dib);
    auto *table = reinterpret_cast<uint8_t *>(dib) + dib->biSize;
    int32_t transparentRequests = 0;
    const int n = frameCountOf(*record);
    for (int i = 0; i < n; ++i) {
        GifFrameEntry &f = record->frames[i];
        plat::fileSeek(load.file, int32_t(f.dataPosition), plat::kSeekSet);
        const bool hasTransparent = f.hasGraphicControl && f.transparentIndex >= 0;
        // A smaller frame stands on fresh ground; a frame that covers the
        // whole picture is drawn over the previous one.
        if (f.width < w || f.height < h) FillPackedDib(dib, hasTransparent ? f.transparentIndex : record->backgroundIndex);
        // Pulled back inside the picture where it would stick out at the
        // right or the bottom; the shift is what the document keeps.
        int32_t sx = int32_t(f.left) + f.width - w, sy = int32_t(f.top) + f.height - h;
        if (sx < 0) sx = 0;
        if (sy < 0) sy = 0;
        f.left = int16_t(sx);
        f.top = int16_t(sy);
        DecodeGifImage(load.file, dib, -1, sx, sy);
        if (!load.callback(HOST_ADD_FRAME, reinterpret_cast<intptr_t>(dib), ((i & 0xFF) << 8) | HOST_FRAME_GIF)) break;
        // An index beyond the DIB's table names no colour the editor could
        // take; it is not passed on.
        if (hasTransparent && uint32_t(f.transparentIndex) < colors)
            load.callback(HOST_SET_TRANSPARENT, reinterpret_cast<intptr_t>(table + 4 * f.transparentIndex),
                          transparentRequests++);
    }
    plat::memUnlock(load.dib);
    return CONV_OK;
}

}  // namespace vc
