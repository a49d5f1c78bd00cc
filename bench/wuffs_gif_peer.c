// The Wuffs GIF decoder as a benchmark peer, in a translation unit of its
// own (its single-file release is large and C). Never part of the library.
#define WUFFS_IMPLEMENTATION
#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__GIF
#define WUFFS_CONFIG__MODULE__LZW
#include "wuffs-v0.4.c"

#include <stdlib.h>

#include "bench/wuffs_gif_peer.h"

// Every frame to palette indices on a canvas of the screen's size; the
// frames' pixels are counted as the other decoders count them.
size_t wuffsGifDecode(const uint8_t *data, size_t size) {
    wuffs_gif__decoder *dec = (wuffs_gif__decoder *)malloc(sizeof__wuffs_gif__decoder());
    if (!dec) return 0;
    size_t pixels = 0;
    uint8_t *canvas = NULL, *work = NULL;
    wuffs_base__status st = wuffs_gif__decoder__initialize(dec, sizeof__wuffs_gif__decoder(), WUFFS_VERSION,
                                                           WUFFS_INITIALIZE__LEAVE_INTERNAL_BUFFERS_UNINITIALIZED);
    wuffs_base__io_buffer src = wuffs_base__ptr_u8__reader((uint8_t *)data, size, true);
    wuffs_base__image_config ic;
    if (st.repr || (st = wuffs_gif__decoder__decode_image_config(dec, &ic, &src)).repr) goto done;
    const uint32_t w = wuffs_base__pixel_config__width(&ic.pixcfg), h = wuffs_base__pixel_config__height(&ic.pixcfg);
    wuffs_base__pixel_config__set(&ic.pixcfg, WUFFS_BASE__PIXEL_FORMAT__INDEXED__BGRA_BINARY,
                                  WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, w, h);
    const size_t canvasSize = 1024 + (size_t)w * h;
    const size_t workSize = (size_t)wuffs_gif__decoder__workbuf_len(dec).max_incl;
    canvas = (uint8_t *)malloc(canvasSize);
    work = (uint8_t *)malloc(workSize ? workSize : 1);
    if (!canvas || !work) goto done;
    wuffs_base__pixel_buffer pb;
    if (wuffs_base__pixel_buffer__set_from_slice(&pb, &ic.pixcfg, wuffs_base__make_slice_u8(canvas, canvasSize)).repr)
        goto done;
    for (;;) {
        wuffs_base__frame_config fc;
        st = wuffs_gif__decoder__decode_frame_config(dec, &fc, &src);
        if (st.repr == wuffs_base__note__end_of_data) break;
        if (st.repr) { pixels = 0; break; }
        st = wuffs_gif__decoder__decode_frame(dec, &pb, &src, WUFFS_BASE__PIXEL_BLEND__SRC,
                                              wuffs_base__make_slice_u8(work, workSize), NULL);
        if (st.repr) { pixels = 0; break; }
        const wuffs_base__rect_ie_u32 r = wuffs_base__frame_config__bounds(&fc);
        pixels += (size_t)(r.max_excl_x - r.min_incl_x) * (r.max_excl_y - r.min_incl_y);
    }
done:
    free(work);
    free(canvas);
    free(dec);
    return pixels;
}
