// The Wuffs GIF decoder, a peer of the GIF benchmark (bench only).
#ifndef VC_BENCH_WUFFS_GIF_PEER_H
#define VC_BENCH_WUFFS_GIF_PEER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Decodes every frame of a GIF file held in memory; the frames' pixels, or
// 0 when the file does not decode whole.
size_t wuffsGifDecode(const uint8_t *data, size_t size);

#ifdef __cplusplus
}
#endif

#endif
