// The format table: one row per format code. A row names the format's
// content detector, reader, writer, preview and animation-document routines;
// the exports dispatch through it and never change when a format is added.
// A routine left empty behaves as a code without that routine: no detector
// never answers yes, no reader or writer gives CONV_E_UNSUPPORTED, no
// preview CONV_E_FORMAT, no document routine 0.
#pragma once

#include <cstdint>
#include <span>

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
    int16_t (*load)(const LoadRequest &request);
    // Format byte after a load with and without an output record.
    uint8_t codeAfterLoadWithRecord;
    uint8_t codeAfterLoadWithout;
    int16_t (*save)(const SaveRequest &request);
    int16_t (*preview)(const char *fileName, ConvImageRecord *record);
    int32_t (*newDocument)(Wnd parent, char *fileName, uint32_t option, HostCallback callback);
    int32_t (*command)(Wnd parent, uint16_t commandId, MemHandle document, uint32_t option, HostCallback callback);
    int32_t (*frameChanged)(MemHandle document, int32_t changeKind, uint16_t frameIndex, HostCallback callback);
};

// The rows in the fixed order in which content detection asks them.
std::span<FormatRow> formatTable();
FormatRow *findFormat(int32_t code);

}  // namespace vc
