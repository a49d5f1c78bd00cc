/*
 * The JPEG library stand-in (ijl11.dll on Windows, a static library on
 * Linux): one properties record per operation and four entries, reached by
 * ordinal on Windows (2 initialisation, 3 release, 4 read, 5 write).
 *
 * The caller zero-fills the record and calls JlInit, which sets the
 * defaults: the pixel side is 3 bytes per pixel in the order blue, green,
 * red, top row first, no padding between rows. The caller then names the
 * file (or hands over memory instead: the file's bytes for reading, a
 * buffer for the file for writing), the image size and the pixel buffer,
 * and reads or writes the whole image in one call. JlFree ends the
 * operation. Every entry returns JL_OK (0) on success and a negative JL_E_*
 * value otherwise.
 *
 * Memory on the two sides has fields of its own rather than one pair of
 * bytes and size for both: the bytes read stay const, and the size written
 * comes back in the field that gave the capacity. A write into memory needs
 * no file name; with jpegOutBytes set, jpegFile is not looked at. A buffer
 * the file does not fit gives JL_E_BUFFER; the caller may retry with a
 * larger one (the encoder's worst case, at any quality and subsampling, is
 * 6 bytes a pixel of the image padded to whole 16 x 16 blocks, and 2 KiB
 * for the headers).
 */
#ifndef VELMCONV_IJL_H
#define VELMCONV_IJL_H

#include <stdint.h>

#if defined(_WIN32)
#define JL_API __stdcall
#if defined(JL_BUILDING)
#define JL_EXPORT
#else
#define JL_EXPORT __declspec(dllimport)
#endif
#else
#define JL_API
#define JL_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    JL_OK = 0,
    JL_E_ARGUMENT = -1,    /* no record, not initialised, or a bad field */
    JL_E_OPEN = -2,        /* the file cannot be opened or created */
    JL_E_DECODE = -3,      /* not a JPEG file the library can decode */
    JL_E_ENCODE = -4,      /* the file cannot be written */
    JL_E_SIZE = -5,        /* the pixel buffer does not match the image */
    JL_E_UNSUPPORTED = -6, /* a mode or colour layout the library lacks */
    JL_E_MEMORY = -7,
    JL_E_BUFFER = -8       /* writing to memory: the file does not fit the
                              buffer; its contents are then undefined */
};

/* Read modes: the file's parameters only, or the whole image. */
enum { JL_READ_PARAMS = 0, JL_READ_IMAGE = 2 };
/* Write mode: the whole image from the pixel buffer. */
enum { JL_WRITE_IMAGE = 8 };

/* Chroma subsampling settings of the encoder. */
enum { JL_SUBSAMPLE_NONE = 0, JL_SUBSAMPLE_420 = 1, JL_SUBSAMPLE_422 = 2 };

/* Pixel orders of the pixel side. */
enum { JL_PIXELS_BGR = 1 };

typedef struct JlProperties {
    /* Pixel side. */
    uint8_t *dibBytes;       /* the caller's pixel buffer */
    int32_t dibWidth;
    int32_t dibHeight;       /* rows, top row first; a negative count means
                                as many rows stored bottom row first, as in
                                a bottom-up DIB */
    int32_t dibPadBytes;     /* bytes after each row; default 0 */
    int32_t dibChannels;     /* bytes per pixel; default 3 */
    int32_t dibColor;        /* default JL_PIXELS_BGR */
    /* File side. */
    const char *jpegFile;    /* file name in the system's character set */
    const uint8_t *jpegBytes; /* reading: the file's bytes in memory, used
                                 instead of jpegFile when set */
    uint32_t jpegSizeBytes;  /* how many bytes jpegBytes holds */
    uint8_t *jpegOutBytes;   /* writing: a buffer for the file, used instead
                                of jpegFile when set */
    uint32_t jpegOutSizeBytes; /* writing: the buffer's capacity; on JL_OK
                                  the bytes written */
    int32_t jpegWidth;
    int32_t jpegHeight;
    int32_t jpegChannels;    /* components in the file (1 grey, 3 colour) */
    int32_t jpegSubsampling; /* JL_SUBSAMPLE_*; default JL_SUBSAMPLE_420 */
    int32_t jpegQuality;     /* 1 to 100; default 75 */
    /* The library's own. */
    uint32_t magic;          /* set by JlInit, cleared by JlFree */
    uint32_t reserved[15];
} JlProperties;

JL_EXPORT int32_t JL_API JlInit(JlProperties *props);
JL_EXPORT int32_t JL_API JlFree(JlProperties *props);
JL_EXPORT int32_t JL_API JlRead(JlProperties *props, int32_t mode);
JL_EXPORT int32_t JL_API JlWrite(JlProperties *props, int32_t mode);

#define JL_MAGIC 0x4A4C3131u /* "JL11" */

#ifdef __cplusplus
}
#endif

#endif
