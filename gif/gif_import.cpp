// The import modes of several images: the assembled image and the sequence.
#include "gif/gif_import.h"

#include <algorithm>

#include "common/image_block.h"
#include "gif/gif_read.h"

namespace vc {

// ---- Assembled image ----------------------------------------------------------------

Result ImportGifAssembled(GifLoad &load) {
    GifAnimRecord &record = load.rec();
    load.dib = makePackedDib(gifDibSpec(uint16_t(record.bitsPerPixel), record.screenWidth, record.screenHeight,
                                        record.globalPalette, record.globalColorCount));
    if (!load.dib) return Result::noMemory;
    auto *dib = load.dib.as<ConvBitmapInfoHeader>();
    FillPackedDib(dib, record.backgroundIndex);
    const int32_t n = recordFrames(record);
    for (int32_t i = 0; i < n; ++i) {
        const GifFrameEntry &f = record.frames[i];
        // A frame that fails leaves what it drew; the others still come.
        // The first lands on the background alone.
        (void)DecodeGifImageAt(*load.window, f.dataPosition, dib, f.hasGraphicControl ? f.transparentIndex : -1,
                               0, 0, i == 0 ? CanvasFill{record.backgroundIndex} : CanvasFill{});
    }
    if (load.image)
        *load.image = load.dib.release();
    else
        (void)load.editor.addFrame(dib, HOST_FRAME_GIF);  // one picture: taken or not, the load is done
    // One picture: the document describes one frame, with every setting 0.
    record.frames[0] = GifFrameEntry{};
    record.frameCount = 1;
    return Result::ok;
}

// ---- Sequence of frames -------------------------------------------------------------

Result ImportGifSequence(GifLoad &load) {
    GifAnimRecord &record = load.rec();
    const int32_t w = record.outputWidth, h = record.outputHeight;
    load.dib = makePackedDib(
        gifDibSpec(uint16_t(record.bitsPerPixel), w, h, record.globalPalette, record.globalColorCount));
    if (!load.dib) return Result::noMemory;
    auto *dib = load.dib.as<ConvBitmapInfoHeader>();
    const uint32_t colors = dibColorCount(*dib);
    const uint8_t *table = load.dib.data() + dib->biSize;
    int32_t transparentRequests = 0;
    const int32_t n = recordFrames(record);
    for (int32_t i = 0; i < n; ++i) {
        GifFrameEntry &f = record.frames[i];
        const bool hasTransparent = f.hasGraphicControl && f.transparentIndex >= 0;
        // A smaller frame stands on fresh ground; a frame that covers the
        // whole picture is drawn over the previous one.
        // The first frame lands on the new picture's index 0.
        CanvasFill fill = i == 0 ? kBlankCanvas : CanvasFill{};
        if (f.width < w || f.height < h) {
            fill.index = hasTransparent ? f.transparentIndex : record.backgroundIndex;
            FillPackedDib(dib, fill.index);
        }
        // Pulled back inside the picture where it would stick out at the
        // right or the bottom; the shift is what the document keeps.
        const int32_t sx = std::max(0, int32_t(f.left) + f.width - w), sy = std::max(0, int32_t(f.top) + f.height - h);
        f.left = int16_t(sx);
        f.top = int16_t(sy);
        // A frame that fails is handed over as far as it was drawn.
        (void)DecodeGifImageAt(*load.window, f.dataPosition, dib, -1, sx, sy, fill);
        if (!load.editor.addFrame(dib, EditorLink::sequenceFlags(uint32_t(i), HOST_FRAME_GIF))) break;
        // An index beyond the DIB's table names no colour the editor could
        // take; it is not passed on.
        if (hasTransparent && uint32_t(f.transparentIndex) < colors)
            load.editor.setTransparent(table + 4 * f.transparentIndex, transparentRequests++);
    }
    return Result::ok;
}

}  // namespace vc
