// Animated cursors (.ANI, format code 166) for the editor: the cursor
// animation document, the reader, the preview and the writer, on top of
// the animated cursor core (codecs/ani_core.h), which holds the bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "codecs/ani_core.h"
#include "common/result.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/documents.h"
#include "velmconv/velmconv.h"

namespace vc {

// The document keeps the file's own little-endian layout for the header,
// rates and sequence, as the core's parts hold them after a walk (a short
// chunk changes only the bytes it holds).
static_assert(std::endian::native == std::endian::little, "the ANI document mirrors little-endian file data");

// The cursor animation document: what an animated cursor holds besides the
// editor's images (velmconv/documents.h). One movable zero-filled block;
// the editor keeps it between calls and the library knows it by its first
// word.
using CursorAnimationDocument = ::VcCursorDocument;
static_assert(offsetof(CursorAnimationDocument, header) == 4 && sizeof(AniHeader) == kAniHeaderSize);

// The steps a document really has room for: its step count, at most 256.
inline uint32_t documentSteps(const CursorAnimationDocument &d) { return VcCursorDocumentSteps(&d); }

using CursorDocumentLock = plat::DocumentLock<CursorAnimationDocument>;

// Locks a block as a cursor animation document: false, holding nothing, when
// the block is missing, too small, or does not start with 166.
bool lockCursorDocument(CursorDocumentLock &lock, MemHandle block);
// A new movable zero-filled document with format code 166 and header size
// 36, locked; empty when memory is refused.
plat::Block newCursorDocument();

// ---- Reader and preview ---------------------------------------------------------
bool IsAniFile(HFile file);
// asAnimation: also offer a document to the editor (LoadConvImage without
// an output record).
Result LoadAniFile(const char *fileName, bool asAnimation, HostCallback callback);
Result PreviewAniFile(const char *fileName, ConvImageRecord *record);

// The four menu items of a cursor animation document.
void addCursorAnimationMenu(HostCallback callback);

// ---- Writer ---------------------------------------------------------------------
Result SaveAniFile(const char *fileName, Wnd parent, uint32_t option, MemHandle image, HostCallback callback);
// Gives ok, cancelled (size question cancelled), createFailed, writeFailed,
// or damaged when the editor hands a later frame over in another byte size
// than frame 0 (the chunk sizes would disagree): the file then ends after
// the frames written before it.
Result WriteAniFile(const char *fileName, Wnd parent, MemHandle document, HostCallback callback);

}  // namespace vc
