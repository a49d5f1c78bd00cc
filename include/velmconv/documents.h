/* The two animation documents the library and its host pass between them
 * (the host keeps the block between calls; see velmconv.h, callback
 * commands 10 and 11): the animated GIF document (format code 167) and the
 * cursor animation document (format code 166). Each lives in one movable
 * zero-filled block and is copied as a whole, so each is a plain struct
 * with a fixed, little-endian layout; a host tells them apart by the first
 * 16-bit word. C and C++. */
#ifndef VELMCONV_DOCUMENTS_H
#define VELMCONV_DOCUMENTS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define VC_DOCUMENT_ASSERT(e, m) static_assert(e, m)
extern "C" {
#else
#define VC_DOCUMENT_ASSERT(e, m) _Static_assert(e, m)
#endif

/* ---- The animated GIF document -------------------------------------------- */

#define VC_GIF_DOCUMENT_CODE 167
#define VC_GIF_MAX_FRAMES 256     /* frames the document holds */
#define VC_GIF_COMMENT_MAX 1020   /* characters ever stored in the comment */

/* One colour-table entry as packed DIBs store it. */
typedef struct VcGifRgbQuad {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
} VcGifRgbQuad;

typedef struct VcGifFrameEntry {
    uint16_t bitsPerPixel;  /* 1, 4 or 8: the local table's depth, else the global one's */
    int16_t left;           /* position on the logical screen */
    int16_t top;
    uint16_t width;
    uint16_t height;
    uint32_t dataPosition;  /* file offset of the byte after the image's 0x2C separator */
    uint32_t hasGraphicControl;
    int16_t transparentIndex;  /* -1: none */
    uint16_t delay;            /* hundredths of a second */
    uint16_t disposal;         /* 0 nothing, 1 leave, 2 background, 3 previous */
    uint32_t userInput;        /* the frame waits for the user */
    uint32_t interlaced;
} VcGifFrameEntry;

typedef struct VcGifDocument {
    uint16_t formatCode;   /* VC_GIF_DOCUMENT_CODE */
    int16_t frameCount;
    int16_t bitsPerPixel;  /* largest depth of the global and all local tables */
    uint16_t screenWidth;
    uint16_t screenHeight;
    uint16_t outputWidth;  /* size of the frames handed to or taken from the editor */
    uint16_t outputHeight;
    uint16_t backgroundIndex;
    uint32_t backgroundBrush;  /* only while the animation dialog is open */
    int16_t globalColorCount;  /* 0 when the file has no global table */
    VcGifRgbQuad globalPalette[256];
    uint32_t repeat;     /* the looping extension is (to be) present */
    uint32_t loopCount;  /* 0: endless */
    VcGifFrameEntry frames[VC_GIF_MAX_FRAMES];
    uint32_t commentFlag;
    char comment[1024];  /* NUL-terminated, at most VC_GIF_COMMENT_MAX characters */
    uint32_t selectedFrame;
} VcGifDocument;

VC_DOCUMENT_ASSERT(sizeof(VcGifRgbQuad) == 4, "colour entry");
VC_DOCUMENT_ASSERT(sizeof(VcGifFrameEntry) == 36, "frame entry");
VC_DOCUMENT_ASSERT(offsetof(VcGifFrameEntry, dataPosition) == 12, "frame entry");
VC_DOCUMENT_ASSERT(offsetof(VcGifFrameEntry, transparentIndex) == 20, "frame entry");
VC_DOCUMENT_ASSERT(offsetof(VcGifFrameEntry, interlaced) == 32, "frame entry");
VC_DOCUMENT_ASSERT(offsetof(VcGifDocument, globalColorCount) == 20, "GIF document");
VC_DOCUMENT_ASSERT(offsetof(VcGifDocument, globalPalette) == 22, "GIF document");
VC_DOCUMENT_ASSERT(offsetof(VcGifDocument, repeat) == 1048, "GIF document");
VC_DOCUMENT_ASSERT(offsetof(VcGifDocument, frames) == 1056, "GIF document");
VC_DOCUMENT_ASSERT(offsetof(VcGifDocument, commentFlag) == 10272, "GIF document");
VC_DOCUMENT_ASSERT(offsetof(VcGifDocument, comment) == 10276, "GIF document");
VC_DOCUMENT_ASSERT(offsetof(VcGifDocument, selectedFrame) == 11300, "GIF document");
VC_DOCUMENT_ASSERT(sizeof(VcGifDocument) == 11304, "GIF document");

/* The frame count as far as the frame table holds it. */
static inline int32_t VcGifDocumentFrames(const VcGifDocument *d) {
    return d->frameCount < 0 ? 0 : d->frameCount > VC_GIF_MAX_FRAMES ? VC_GIF_MAX_FRAMES : d->frameCount;
}

/* ---- The cursor animation document ------------------------------------------ */

#define VC_CURSOR_DOCUMENT_CODE 166
#define VC_ANI_MAX_STEPS 256  /* steps (and frames) the document holds */
#define VC_ANI_TEXT_SIZE 80   /* title and author, with their NUL */
#define VC_ANI_FLAG_ICON 1      /* anih flags: the frames are icon files */
#define VC_ANI_FLAG_SEQUENCE 2  /* a seq chunk orders the steps */

/* The nine fields of an animated cursor's anih chunk, in file order. */
typedef struct VcAniHeader {
    uint32_t headerSize;  /* 36 */
    uint32_t frameCount;
    uint32_t stepCount;
    uint32_t width;
    uint32_t height;
    uint32_t bitCount;
    uint32_t planes;
    uint32_t defaultRate;  /* 1/60 s */
    uint32_t flags;        /* VC_ANI_FLAG_* */
} VcAniHeader;

typedef struct VcCursorDocument {
    uint16_t formatCode;  /* VC_CURSOR_DOCUMENT_CODE */
    uint16_t reserved;    /* keeps the header on a 32-bit boundary */
    VcAniHeader header;
    char title[VC_ANI_TEXT_SIZE];   /* INAM, NUL-terminated */
    char author[VC_ANI_TEXT_SIZE];  /* IART, NUL-terminated */
    uint32_t rates[VC_ANI_MAX_STEPS];     /* 1/60 s per step */
    uint32_t sequence[VC_ANI_MAX_STEPS];  /* frame index per step */
} VcCursorDocument;

VC_DOCUMENT_ASSERT(sizeof(VcAniHeader) == 36, "anih");
VC_DOCUMENT_ASSERT(offsetof(VcCursorDocument, header) == 4, "cursor document");
VC_DOCUMENT_ASSERT(offsetof(VcCursorDocument, title) == 40, "cursor document");
VC_DOCUMENT_ASSERT(offsetof(VcCursorDocument, author) == 120, "cursor document");
VC_DOCUMENT_ASSERT(offsetof(VcCursorDocument, rates) == 200, "cursor document");
VC_DOCUMENT_ASSERT(offsetof(VcCursorDocument, sequence) == 1224, "cursor document");
VC_DOCUMENT_ASSERT(sizeof(VcCursorDocument) == 2248, "cursor document");

/* The steps a document really has room for: its step count, at most 256. */
static inline uint32_t VcCursorDocumentSteps(const VcCursorDocument *d) {
    return d->header.stepCount < VC_ANI_MAX_STEPS ? d->header.stepCount : VC_ANI_MAX_STEPS;
}

#ifdef __cplusplus
}
#endif
#undef VC_DOCUMENT_ASSERT

#endif
