/*
 * The AVI companion library (VELMVFW32.DLL on Windows, VELMVFW32.so
 * beside libvelmconv on Linux): the ten functions the plug-in looks up by
 * name for every AVI import, export and preview, and the three records they
 * exchange. Arguments are 32-bit values on the product (i686, stdcall,
 * undecorated export names); handles and addresses are pointer-sized on the
 * 64-bit build.
 *
 * Handles: a file handle is the library's own (0 is failure). The packed
 * DIB that GetAviFrame returns belongs to the library and stays valid until
 * the next call on the same file.
 */
#ifndef VELMVFW_H
#define VELMVFW_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VFW_CALL __stdcall
#else
#define VFW_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t VfwFile;

/* GetAviFileInfo fills this 80-byte record; bytes 0-63 are the library's. */
typedef struct VfwFileInfo {
    uint8_t libraryOwn[64];
    uint32_t frameCount;
    uint32_t width;   /* low 16 bits used */
    uint32_t height;  /* low 16 bits used */
    uint16_t rate;    /* frames per second */
    uint16_t unused;
} VfwFileInfo;

/* CreateAviFile's parameters: 12 bytes, packed. */
#pragma pack(push, 1)
typedef struct VfwCreateParams {
    uint16_t rate;          /* frames per second, 1 to 25 */
    uint32_t imageBytes;    /* bytes per frame image */
    uint16_t zero1;
    uint16_t zero2;
    uint16_t deepFrames;    /* 1 when frames have more than 8 bits per pixel */
} VfwCreateParams;
#pragma pack(pop)

/* WriteAviFrame's record: five 32-bit fields on the product. */
typedef struct VfwFrameRecord {
    int32_t position;       /* in frame ticks */
    int32_t one;            /* always 1 */
    const void *bits;
    uint32_t size;          /* bytes of bits */
    const void *info;       /* the 128-byte buffer the editor filled */
} VfwFrameRecord;

#ifdef __cplusplus
static_assert(sizeof(VfwFileInfo) == 80, "info record is 80 bytes");
static_assert(sizeof(VfwCreateParams) == 12, "create parameters are 12 bytes");
#endif

typedef VfwFile(VFW_CALL *OpenAviFileFn)(const char *name);
typedef void(VFW_CALL *CloseAviFileFn)(VfwFile file);
typedef void(VFW_CALL *GetAviFileInfoFn)(VfwFile file, VfwFileInfo *info);
typedef const void *(VFW_CALL *GetAviFrameFn)(VfwFile file, int32_t frame);
/* x, y, cx, cy: signed 16-bit values passed as 32-bit arguments; dc is the
 * platform's device context; flags is the constant 1. Non-zero = drawn. */
typedef int32_t(VFW_CALL *DrawAviFrameFn)(VfwFile file, int32_t frame, void *dc, int32_t x, int32_t y,
                                           int32_t cx, int32_t cy, int32_t flags);
typedef VfwFile(VFW_CALL *CreateAviFileFn)(const char *name, const VfwCreateParams *params,
                                           const void *bitmapInfoHeader);
typedef void(VFW_CALL *ShowCompressOptionsDlgFn)(VfwFile file, void *dialog);
typedef int32_t(VFW_CALL *InitAviStreamWriteFn)(VfwFile file, const void *frameHeader, uint32_t headerSize,
                                                 int32_t compress);
typedef int32_t(VFW_CALL *WriteAviFrameFn)(VfwFile file, const VfwFrameRecord *frame);
typedef int32_t(VFW_CALL *MergeSoundFileFn)(VfwFile file, const char *waveName, uint32_t totalTicks,
                                             uint32_t rate);

#ifdef __cplusplus
}
#endif

#endif
