// The animated GIF document and its writer. The editor keeps the frames;
// the library keeps the GIF settings of the document in a GifAnimRecord
// whose handle the editor stores and hands back: started by
// NewGifAnimation, edited through the animation dialog (command 1001),
// kept in step with the editor's frame changes, and written frame by frame
// as an animated GIF.
#pragma once

#include <cstdint>

#include "common/format_table.h"
#include "gif/gif_record.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// Save flag: write without reporting progress (the browser preview's).
constexpr uint32_t kGifSaveNoProgress = 0x1000;

// Frame changes the editor reports.
enum : int32_t { kGifFrameInserted = 1, kGifFrameCopiedToEnd = 2, kGifFrameDeleted = 3 };

// Starts a document: a new record offered to the editor, the file name's
// extension made ".GIF", the menu items added. 1, or 0 when the editor
// refused the record or memory was short.
int32_t NewGifAnimation(Wnd parent, char *fileName, uint32_t option, HostCallback callback);

// Command 1001: the animation dialog on a copy of the document; on OK the
// copy is offered to the editor. 1 after OK, else 0.
int32_t GifProcessCommand(Wnd parent, uint16_t commandId, MemHandle document, uint32_t option,
                          HostCallback callback);

// Runs the animation dialog on a copy of the record (a fresh record when
// the handle is none or no GIF record). The copy (unlocked) after OK, else
// nothing; the given record is never changed.
plat::Block EditGifAnimation(Wnd parent, MemHandle record, HostCallback callback);

// Keeps the frame table in step after the editor inserted (1), copied to
// the end (2) or deleted (3) frame k. 1 when handled, else 0.
int32_t GifFrameChanged(MemHandle document, int32_t changeKind, uint16_t frame, HostCallback callback);

// Saves the editor's document as an animated GIF, asking for the settings
// first when the editor has no document record. cancelled when that was
// cancelled.
Result SaveGifAnimation(const char *fileName, Wnd parent, uint32_t flags, MemHandle image, HostCallback callback);

// Writes the animation: header with the editor's palette, looping and
// comment extensions, one graphic control and one full-size image per
// frame, trailer. ok, noMemory, damaged, createFailed or writeFailed.
Result WriteGifAnimation(GifAnimRecord *record, const char *fileName, Wnd parent, uint32_t flags, MemHandle image,
                         HostCallback callback);

// The logical screen: the image size widened by the spread of the frames'
// positions (smallest and largest left and top, both counted from 0).
void ComputeGifScreenSize(GifAnimRecord &record, uint16_t width, uint16_t height);

// Gives every frame the editor has beyond those the record describes a
// copy of the first frame's entry, up to the table's size.
void extendGifFrames(GifAnimRecord &record, int32_t editorFrames);

// The document's menu items: two separators and "&Animation..." (1001),
// all at position 5.
void addGifMenuItems(HostCallback callback);

// Format-table adapter (row 167's writer); the document routines fit the
// row as they are.
Result saveAnimatedGifRow(const SaveRequest &request);

}  // namespace vc
