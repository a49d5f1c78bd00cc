// The cursor animation document's routines: a new document for a new
// file, its two menu commands, keeping its steps valid when the editor
// inserts or deletes frames, and the format table's adaptors for code 166.
#pragma once

#include <cstdint>

#include "common/format_table.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// Kinds of frame change the editor reports.
enum : int32_t { kFrameInserted = 1, kFrameDeleted = 3 };

int32_t NewCursorAnimation(Wnd parent, char *fileName, uint32_t option, HostCallback callback);
int32_t CursorAnimationCommand(Wnd parent, uint16_t commandId, MemHandle document, uint32_t option,
                               HostCallback callback);
int32_t CursorAnimationFrameChanged(MemHandle document, int32_t changeKind, uint16_t frameIndex,
                                    HostCallback callback);

// The callback of the latest command or save, for the dialog's use.
HostCallback cursorAnimationCallback();

// Row 166 of the format table.
bool aniRowDetect(HFile file);
Result aniRowLoad(const LoadRequest &request);
Result aniRowSave(const SaveRequest &request);

}  // namespace vc
