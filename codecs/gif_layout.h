// The record a scan of a GIF file fills: screen, global palette, one entry
// per image (position, size, depth, where its data lies, the graphic
// control that preceded it), comment and looping. The plug-in keeps the
// same record as the animated GIF document the editor holds, so it is a
// plain struct with a fixed layout, copied as a whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vc {

// One colour-table entry as packed DIBs store it.
struct GifRgbQuad {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};
static_assert(sizeof(GifRgbQuad) == 4);

constexpr int kGifMaxFrames = 256;
constexpr int kGifCommentMax = 1020;  // characters ever stored in the comment
constexpr uint16_t kGifRecordCode = 167;

struct GifFrameEntry {
    uint16_t bitsPerPixel;  // 1, 4 or 8: local table's depth, else the global one
    int16_t left;           // position on the logical screen
    int16_t top;
    uint16_t width;
    uint16_t height;
    uint32_t dataPosition;  // file offset of the byte after the 0x2C separator
    uint32_t hasGraphicControl;
    int16_t transparentIndex;  // -1: none
    uint16_t delay;            // hundredths of a second
    uint16_t disposal;         // 0 nothing, 1 leave, 2 background, 3 previous
    uint32_t userInput;
    uint32_t interlaced;
};
static_assert(sizeof(GifFrameEntry) == 36);
static_assert(offsetof(GifFrameEntry, dataPosition) == 12);
static_assert(offsetof(GifFrameEntry, hasGraphicControl) == 16);
static_assert(offsetof(GifFrameEntry, transparentIndex) == 20);
static_assert(offsetof(GifFrameEntry, delay) == 22);
static_assert(offsetof(GifFrameEntry, disposal) == 24);
static_assert(offsetof(GifFrameEntry, userInput) == 28);
static_assert(offsetof(GifFrameEntry, interlaced) == 32);

struct GifAnimRecord {
    uint16_t formatCode;  // always 167
    int16_t frameCount;
    int16_t bitsPerPixel;  // largest depth of the global and all local tables
    uint16_t screenWidth;
    uint16_t screenHeight;
    uint16_t outputWidth;   // size of the frames handed to or taken from the editor
    uint16_t outputHeight;
    uint16_t backgroundIndex;
    uint32_t backgroundBrush;  // only while the animation dialog is open
    int16_t globalColorCount;  // 0 when the file has no global table
    GifRgbQuad globalPalette[256];
    uint32_t repeat;     // the looping extension is (to be) present
    uint32_t loopCount;  // 0: endless
    GifFrameEntry frames[kGifMaxFrames];
    uint32_t commentFlag;
    char comment[1024];  // NUL-terminated, at most 1020 characters
    uint32_t selectedFrame;
};
static_assert(offsetof(GifAnimRecord, backgroundBrush) == 16);
static_assert(offsetof(GifAnimRecord, globalColorCount) == 20);
static_assert(offsetof(GifAnimRecord, globalPalette) == 22);
static_assert(offsetof(GifAnimRecord, repeat) == 1048);
static_assert(offsetof(GifAnimRecord, loopCount) == 1052);
static_assert(offsetof(GifAnimRecord, frames) == 1056);
static_assert(offsetof(GifAnimRecord, commentFlag) == 10272);
static_assert(offsetof(GifAnimRecord, comment) == 10276);
static_assert(offsetof(GifAnimRecord, selectedFrame) == 11300);
static_assert(sizeof(GifAnimRecord) == 11304);

// Where image row r of an interlaced image of the given height is stored:
// rows 0, 8, 16... first, then 4, 12..., then 2, 6..., then the odd rows.
constexpr uint32_t gifInterlacedPosition(uint32_t row, uint32_t height) {
    uint32_t pass1 = (height + 7) / 8, pass2 = (height + 3) / 8, pass3 = (height + 1) / 4;
    if (row % 8 == 0) return row / 8;
    if (row % 8 == 4) return pass1 + row / 8;
    if (row % 4 == 2) return pass1 + pass2 + row / 4;
    return pass1 + pass2 + pass3 + row / 2;
}

// The image row stored at a position of an interlaced image: the inverse.
constexpr uint32_t gifInterlacedRow(uint32_t position, uint32_t height) {
    uint32_t pass1 = (height + 7) / 8, pass2 = (height + 3) / 8, pass3 = (height + 1) / 4;
    if (position < pass1) return position * 8;
    if ((position -= pass1) < pass2) return position * 8 + 4;
    if ((position -= pass2) < pass3) return position * 4 + 2;
    return (position - pass3) * 2 + 1;
}

// The frame count as far as the frame table holds it.
inline int32_t recordFrames(const GifAnimRecord &r) {
    return r.frameCount < 0 ? 0 : r.frameCount > kGifMaxFrames ? kGifMaxFrames : r.frameCount;
}

}  // namespace vc
