/*
 * VelmConv: the import/export plug-in of the Velmora editor.
 *
 * This is the one header a host program includes. It declares the ten
 * entry points, the format and result codes, the image block record, the
 * editor callback with its commands, and the records that travel with it.
 *
 * On Windows the library is VelmConv32.dll and the entry points use the
 * standard calling convention under their plain names. On Linux the same
 * entry points are exported by libvelmconv.so; see velmconv/headless.h for
 * the extra functions a Linux host needs (memory blocks, dialog responder).
 *
 * Handles (windows, memory blocks, modules) are passed as void pointers: on
 * Windows they are the real HWND/HGLOBAL/HINSTANCE values, on Linux they are
 * the library's own handles.
 */
#ifndef VELMCONV_VELMCONV_H
#define VELMCONV_VELMCONV_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VC_API __stdcall
#define VC_CALLBACK __stdcall
#if defined(VELMCONV_BUILDING)
#define VC_EXPORT
#else
#define VC_EXPORT __declspec(dllimport)
#endif
#else
#define VC_API
#define VC_CALLBACK
#define VC_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Format codes (one unsigned byte) ---------------------------------- */
enum {
    CONV_FMT_PCX = 128,
    CONV_FMT_GIF = 129,      /* one image; content detection reports 167 */
    CONV_FMT_TIFF = 130,
    CONV_FMT_RESOURCE = 131, /* bitmaps in EXE, DLL, SCR resources, read only */
    CONV_FMT_ICON = 132,     /* ICO and CUR */
    CONV_FMT_JPEG = 133,
    CONV_FMT_AVI = 165,
    CONV_FMT_ANI = 166,
    CONV_FMT_ANIGIF = 167,
    CONV_FMT_MULTIFRAME = 32 /* bit set in the three multi-frame codes */
};

/* ---- Result codes (16-bit values, sign-extended at the exports) -------- */
enum {
    CONV_OK = 1,
    CONV_CANCELLED = 0,
    CONV_E_OPEN = -1,
    CONV_E_FORMAT = -2,
    CONV_E_READ = -3,
    CONV_E_UNSUPPORTED = -4,
    CONV_E_MEMORY = -5,
    CONV_E_DATA = -6,
    CONV_E_CREATE = -7,
    CONV_E_WRITE = -8
};

/* ---- GetFormats flags --------------------------------------------------- */
enum {
    CONV_LIST_SINGLE = 1,     /* the single-image formats */
    CONV_LIST_AVI = 2,        /* AVI */
    CONV_LIST_ANIMATION = 4,  /* ANI and animated GIF */
    CONV_LIST_WRITABLE = 128  /* only what can be written */
};

/* ---- Records ------------------------------------------------------------ */

/* The output record of LoadConvImage and GetPreviewImage: four
 * pointer-sized fields. */
typedef struct ConvImageRecord {
    void *image;            /* out: new image block (packed DIB) or none */
    uintptr_t bitsOffset;   /* out: offset of the first pixel row, or 0 */
    char *messageText;      /* in: buffer for a message when no preview */
    uintptr_t messageSize;  /* in: size of that buffer in characters */
} ConvImageRecord;

/* The 40-byte bitmap header at the start of every image block. */
typedef struct ConvBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} ConvBitmapInfoHeader;

/* Menu item record passed with HostCallback command 14. */
typedef struct ConvMenuItem {
    int16_t slot;        /* 1 separators, 2 and 3 the commands */
    uint32_t position;   /* menu position, or the command to insert before */
    uint32_t commandId;  /* what ProcessCommand receives; 0 for a separator */
    uint32_t flags;      /* 1024 insert by position, 0 before a command */
    const char *text;    /* item text; meaningful when commandId != 0 */
} ConvMenuItem;

/* Format change record passed with HostCallback command 16. */
typedef struct ConvFormatChange {
    uint32_t width;
    uint32_t height;
    uint32_t colors;    /* 3 two-colour cursor palette, 16, 256 */
    uint32_t scale;     /* 1 scale the image, 0 not */
    uint32_t reserved;  /* 0 */
} ConvFormatChange;

/* The editor's callback. On 32-bit Windows all three arguments and the
 * result are 32-bit values. Parameters and values that carry pointers or
 * handles (a window, a device context) are pointer-sized, so the same
 * declaration serves the 64-bit build. */
typedef intptr_t(VC_CALLBACK *HostCallback)(int32_t command, intptr_t param, intptr_t value);

/* Commands of HostCallback. */
enum {
    HOST_QUERY = 0,            /* value selects what is asked, below */
    HOST_ADD_FRAME = 2,        /* packed DIB, flag word */
    HOST_GET_FRAME = 3,        /* BITMAPINFOHEADER of a locked block, frame */
    HOST_GET_FRAME_DATA = 4,   /* 128-byte buffer, frame */
    HOST_FILE_DIALOG = 5,      /* 80-char filter/name buffer, dialog window */
    HOST_GET_PALETTE = 6,      /* pointer to palette handle, 1 or 0 */
    HOST_GET_ICON = 8,         /* pointer to size (in w|h<<16, out bytes), image */
    HOST_ADD_ICON = 9,         /* icon image data, flag word */
    HOST_GET_DOCUMENT = 10,    /* pointer to handle, 0 */
    HOST_NEW_DOCUMENT = 11,    /* document handle, 0 */
    HOST_GET_HOTSPOT = 12,     /* pointer to hotspot, image */
    HOST_SET_HOTSPOT = 13,     /* hotspot, image */
    HOST_ADD_MENU_ITEM = 14,   /* pointer to ConvMenuItem, slot */
    HOST_GET_FRAME_DC = 15,    /* pointer to bitmap handle, frame */
    HOST_CHANGE_FORMAT = 16,   /* pointer to ConvFormatChange, 0 */
    HOST_SET_TRANSPARENT = 17, /* pointer to colour-table entry, count */
    HOST_PICK_BACKGROUND = 19, /* background index, dialog window */
    HOST_EDIT_TRANSPARENT = 20,/* 0, dialog window */
    HOST_NOTE_FILE = 21        /* file name, code * 256 + image index */
};

/* Values of HOST_QUERY. */
enum {
    HOST_QUERY_COUNT = 0,       /* number of frames */
    HOST_QUERY_COLORS = 3,      /* colour setting: <16 two colours, 16, 256 */
    HOST_QUERY_SIZE = 4,        /* fills two 16-bit numbers: width, height */
    HOST_QUERY_SCREEN_COLOR = 5,/* fills a colour value; non-zero if present */
    HOST_QUERY_DITHER = 6       /* 0 or 1 */
};

/* Flag bits of the HOST_ADD_FRAME / HOST_ADD_ICON flag word. */
enum {
    HOST_FRAME_NEW = 0x01,
    HOST_FRAME_PALETTE = 0x02,
    HOST_FRAME_NO_DITHER = 0x04,
    HOST_FRAME_DITHER = 0x08,
    HOST_FRAME_SEQUENCE = 0x10,
    HOST_FRAME_STRETCH = 0x40,
    HOST_FRAME_GIF = 0x11       /* what the GIF and icon readers pass */
};

/* An image index naming the image the user is working on. */
#define HOST_CURRENT_IMAGE (-1)

/* Menu insertion flag (insert by position). */
#define CONV_MENU_BYPOSITION 1024u

/* Menu command ids of the animation documents. */
enum { CONV_CMD_ANIMATION = 1001, CONV_CMD_CHANGE_FORMAT = 1002 };

/* ---- Entry points ------------------------------------------------------- */

#if !defined(_WIN32)
/* On Windows the loader calls DllMain; a Linux host calls it itself, with
 * reason 1 (attach) before anything else and reason 0 (detach) at the end. */
VC_EXPORT int32_t VC_API DllMain(void *module, uint32_t reason, void *reserved);
#endif

VC_EXPORT int32_t VC_API GetFormats(char *text, uint8_t *codes, int32_t flags);
VC_EXPORT int32_t VC_API DetectFileFormat(const char *fileName, uint8_t *format, int32_t byContent);
/* A program file (code 131) writes the picked bitmap's name ("LOGO-103.BMP",
 * at most 13 characters with the NUL) into fileName: pass the name in a
 * writable buffer of MAX_PATH characters, as the editor does. */
VC_EXPORT int32_t VC_API LoadConvImage(void *parent, const char *fileName, ConvImageRecord *record,
                                       uint8_t *format, uint32_t option, HostCallback callback);
VC_EXPORT int32_t VC_API SaveConvImage(void *parent, const char *fileName, void *image, int32_t format,
                                       uint32_t option, HostCallback callback);
VC_EXPORT int32_t VC_API GetDesiredBitPix(int32_t format, int32_t bitsPerPixel);
VC_EXPORT int32_t VC_API GetPreviewImage(const char *fileName, ConvImageRecord *record);
VC_EXPORT int32_t VC_API NewConvFile(void *parent, char *fileName, int32_t format, uint32_t option,
                                     HostCallback callback);
VC_EXPORT int32_t VC_API ProcessCommand(void *parent, int32_t commandId, int32_t format, void *document,
                                        uint32_t option, HostCallback callback);
VC_EXPORT int32_t VC_API NotifyFrameChange(int32_t format, void *document, int32_t changeKind,
                                           int32_t frameIndex, HostCallback callback);

/* Function pointer types, for hosts that bind the library at run time. */
typedef int32_t(VC_API *GetFormatsFn)(char *, uint8_t *, int32_t);
typedef int32_t(VC_API *DetectFileFormatFn)(const char *, uint8_t *, int32_t);
typedef int32_t(VC_API *LoadConvImageFn)(void *, const char *, ConvImageRecord *, uint8_t *, uint32_t,
                                         HostCallback);
typedef int32_t(VC_API *SaveConvImageFn)(void *, const char *, void *, int32_t, uint32_t, HostCallback);
typedef int32_t(VC_API *GetDesiredBitPixFn)(int32_t, int32_t);
typedef int32_t(VC_API *GetPreviewImageFn)(const char *, ConvImageRecord *);
typedef int32_t(VC_API *NewConvFileFn)(void *, char *, int32_t, uint32_t, HostCallback);
typedef int32_t(VC_API *ProcessCommandFn)(void *, int32_t, int32_t, void *, uint32_t, HostCallback);
typedef int32_t(VC_API *NotifyFrameChangeFn)(int32_t, void *, int32_t, int32_t, HostCallback);

#ifdef __cplusplus
}
#endif

#endif
