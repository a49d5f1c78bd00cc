// The record a scan of a GIF file fills: screen, global palette, one entry
// per image (position, size, depth, where its data lies, the graphic
// control that preceded it), comment and looping. The plug-in keeps the
// same record as the animated GIF document the editor holds, so it is a
// plain struct with a fixed layout, copied as a whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "velmconv/documents.h"

namespace vc {

// The record's layout is the public animated GIF document's
// (velmconv/documents.h); the library knows its parts by these names.
using GifRgbQuad = ::VcGifRgbQuad;
using GifFrameEntry = ::VcGifFrameEntry;
using GifAnimRecord = ::VcGifDocument;

constexpr int kGifMaxFrames = VC_GIF_MAX_FRAMES;
constexpr int kGifCommentMax = VC_GIF_COMMENT_MAX;
constexpr uint16_t kGifRecordCode = VC_GIF_DOCUMENT_CODE;

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
inline int32_t recordFrames(const GifAnimRecord &r) { return VcGifDocumentFrames(&r); }

}  // namespace vc
