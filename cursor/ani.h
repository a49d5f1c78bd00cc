// Animated cursors (.ANI, format code 166): the RIFF chunk routines, the
// cursor animation document, the reader, the preview and the writer.
//
// An ANI file is a RIFF form of type ACON: an animation header (anih),
// optional per-step rates and a step sequence, an optional INFO list with
// title and author, and a fram list whose icon chunks each hold a complete
// one-image icon or cursor file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "common/file_window.h"
#include "common/riff.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// The document keeps the file's own little-endian layout for the header,
// rates and sequence: the reader copies a chunk's bytes over them as they
// come, so a short chunk changes only the bytes it holds.
static_assert(std::endian::native == std::endian::little, "the ANI document mirrors little-endian file data");

constexpr uint32_t kIdRiff = riff::kRiff;
constexpr uint32_t kIdAcon = riff::fourcc("ACON");
constexpr uint32_t kIdAnih = riff::fourcc("anih");
constexpr uint32_t kIdRate = riff::fourcc("rate");
constexpr uint32_t kIdSeq = riff::fourcc("seq ");
constexpr uint32_t kIdList = riff::kList;
constexpr uint32_t kIdInfo = riff::fourcc("INFO");
constexpr uint32_t kIdInam = riff::fourcc("INAM");
constexpr uint32_t kIdIart = riff::fourcc("IART");
constexpr uint32_t kIdFram = riff::fourcc("fram");
constexpr uint32_t kIdIcon = riff::fourcc("icon");

constexpr uint32_t kAniMaxSteps = 256;
constexpr uint32_t kAniHeaderSize = 36;
constexpr uint32_t kAniFlagIcon = 1;      // the frames are icon files
constexpr uint32_t kAniFlagSequence = 2;  // a seq chunk is present
constexpr size_t kAniTextSize = 80;

// The nine fields of the anih chunk, in file order.
struct AniHeader {
    uint32_t headerSize;
    uint32_t frameCount;
    uint32_t stepCount;
    uint32_t width;
    uint32_t height;
    uint32_t bitCount;
    uint32_t planes;
    uint32_t defaultRate;  // 1/60 s
    uint32_t flags;
};
static_assert(sizeof(AniHeader) == kAniHeaderSize);

// The cursor animation document: what an animated cursor holds besides the
// editor's images. One movable zero-filled block; the editor keeps it
// between calls and the library knows it by its first word.
struct CursorAnimationDocument {
    uint16_t formatCode;  // 166
    uint16_t reserved;    // keeps the header on a 32-bit boundary
    AniHeader header;
    char title[kAniTextSize];   // INAM, NUL-terminated
    char author[kAniTextSize];  // IART, NUL-terminated
    uint32_t rates[kAniMaxSteps];     // 1/60 s per step
    uint32_t sequence[kAniMaxSteps];  // frame index per step
};
static_assert(offsetof(CursorAnimationDocument, header) == 4);
static_assert(offsetof(CursorAnimationDocument, title) == 40);
static_assert(offsetof(CursorAnimationDocument, author) == 120);
static_assert(offsetof(CursorAnimationDocument, rates) == 200);
static_assert(offsetof(CursorAnimationDocument, sequence) == 1224);
static_assert(sizeof(CursorAnimationDocument) == 2248);

// The steps a document really has room for: its step count, at most 256.
inline uint32_t documentSteps(const CursorAnimationDocument &d) {
    return d.header.stepCount < kAniMaxSteps ? d.header.stepCount : kAniMaxSteps;
}

using CursorDocumentLock = plat::DocumentLock<CursorAnimationDocument>;

// Locks a block as a cursor animation document: false, holding nothing, when
// the block is missing, too small, or does not start with 166.
bool lockCursorDocument(CursorDocumentLock &lock, MemHandle block);
// A new movable zero-filled document with format code 166 and header size
// 36, locked; empty when memory is refused.
plat::Block newCursorDocument();

// ---- RIFF chunks read through a file window ----------------------------------------
struct ChunkHeader {
    uint32_t id;
    uint32_t size;  // body bytes, without the pad byte
};

// Body bytes with the pad byte, in 64 bits so that a size near 4 GiB cannot wrap.
constexpr uint64_t paddedBody(uint32_t size) { return riff::paddedSize(size) - riff::kHeaderSize; }

// The 8 bytes of a chunk header; false when fewer are left.
bool ReadChunkHeader(FileWindow &in, ChunkHeader &header);
// Copies the first min(capacity, size) bytes of the body (capacity at most
// the window's size), then skips the rest of the body and its pad byte;
// false on a short read or a failed skip.
bool ReadChunkBody(FileWindow &in, const ChunkHeader &header, void *destination, uint32_t capacity);
// Moves forward n bytes; false when the file calls could not reach the new
// position (2 GiB or more), as a seek of theirs would fail.
bool SkipBytes(FileWindow &in, uint64_t n);
inline bool SkipChunk(FileWindow &in, const ChunkHeader &header) { return SkipBytes(in, paddedBody(header.size)); }

// ---- Reader and preview ---------------------------------------------------------
bool IsAniFile(HFile file);
// asAnimation: also offer a document to the editor (LoadConvImage without
// an output record).
int16_t LoadAniFile(const char *fileName, bool asAnimation, HostCallback callback);
int16_t PreviewAniFile(const char *fileName, ConvImageRecord *record);

// The four menu items of a cursor animation document.
void addCursorAnimationMenu(HostCallback callback);

// ---- Writer ---------------------------------------------------------------------
int16_t SaveAniFile(const char *fileName, Wnd parent, uint32_t option, MemHandle image, HostCallback callback);
// Returns 1, 0 (size question cancelled), CONV_E_CREATE, CONV_E_WRITE, or
// CONV_E_DATA when the editor hands a later frame over in another byte size
// than frame 0 (the chunk sizes would disagree): the file then ends after
// the frames written before it.
int16_t WriteAniFile(const char *fileName, Wnd parent, MemHandle document, HostCallback callback);

}  // namespace vc
