// The format table: one row per format code. A row names the format's
// content detector, reader, writer, preview and animation-document routines;
// the exports dispatch through it and never change when a format is added.
// A routine left empty behaves as a code without that routine: no detector
// never answers yes, no reader or writer gives Result::unsupported, no
// preview Result::notFormat, no document routine 0. Readers, writers and
// previews give a Result; the exports turn it into the editor's code.
//
// A row also says what detection by name and the document exports ask of a
// format: the file name extensions that mean it, and whether it is an
// animation the editor keeps as a document.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "common/result.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

struct LoadRequest {
    Wnd parent;
    const char *fileName;
    ConvImageRecord *record;  // none when the frames go through the callback
    uint32_t option;
    HostCallback callback;
};

struct SaveRequest {
    Wnd parent;
    const char *fileName;
    MemHandle image;
    uint32_t option;
    Wnd progress;  // the progress window SaveConvImage opened, or none
    HostCallback callback;
};

struct FormatRow {
    uint8_t code;
    // Answers whether the open file is of this format; leaves it at offset 0.
    bool (*detect)(HFile file);
    Result (*load)(const LoadRequest &request);
    // Format byte after a load with and without an output record.
    uint8_t codeAfterLoadWithRecord;
    uint8_t codeAfterLoadWithout;
    Result (*save)(const SaveRequest &request);
    Result (*preview)(const char *fileName, ConvImageRecord *record);
    int32_t (*newDocument)(Wnd parent, char *fileName, uint32_t option, HostCallback callback);
    int32_t (*command)(Wnd parent, uint16_t commandId, MemHandle document, uint32_t option, HostCallback callback);
    int32_t (*frameChanged)(MemHandle document, int32_t changeKind, uint16_t frameIndex, HostCallback callback);
    // The extensions (with the dot, lower case) that name this format; a
    // format reached only by content or by narrowing has none.
    std::array<const char *, 2> extensions{};
    // An animation the editor keeps a document for: the only rows the
    // document exports (new file, command, frame change) serve.
    bool animation = false;
};

// The rows in the fixed order in which content detection asks them.
std::span<FormatRow> formatTable();
FormatRow *findFormat(int32_t code);
// The row whose extensions hold the one a file name ends in (from its last
// dot, in any case); none without a dot or for an extension no row has.
FormatRow *findFormatByName(const char *fileName);

// The depth a picture of `bits` per pixel is saved at in the format `code`
// (GetDesiredBitPix): PCX and TIFF take no 16 or 32 bits, GIF at most 8,
// JPEG 24; every other format keeps the picture's depth.
constexpr int32_t desiredBitCount(int32_t code, int32_t bits) {
    switch (code & 0xFF) {
    case CONV_FMT_PCX:
    case CONV_FMT_TIFF: return bits == 16 || bits == 32 ? 24 : bits;
    case CONV_FMT_GIF:
    case CONV_FMT_ANIGIF: return bits > 8 ? 8 : bits;
    case CONV_FMT_JPEG: return 24;
    default: return bits;
    }
}

}  // namespace vc
