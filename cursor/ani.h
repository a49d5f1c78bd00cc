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

#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// The document keeps the file's own little-endian layout for the header,
// rates and sequence, and they are read and written as whole blocks.
static_assert(std::endian::native == std::endian::little, "the ANI document mirrors little-endian file data");

constexpr uint32_t fourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

constexpr uint32_t kIdRiff = fourCC("RIFF");
constexpr uint32_t kIdAcon = fourCC("ACON");
constexpr uint32_t kIdAnih = fourCC("anih");
constexpr uint32_t kIdRate = fourCC("rate");
constexpr uint32_t kIdSeq = fourCC("seq ");
constexpr uint32_t kIdList = fourCC("LIST");
constexpr uint32_t kIdInfo = fourCC("INFO");
constexpr uint32_t kIdInam = fourCC("INAM");
constexpr uint32_t kIdIart = fourCC("IART");
constexpr uint32_t kIdFram = fourCC("fram");
constexpr uint32_t kIdIcon = fourCC("icon");

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

// Locks a block as a cursor animation document: none when the block is
// missing, too small, or does not start with 166. Unlock with plat::memUnlock.
CursorAnimationDocument *lockCursorDocument(MemHandle block);
// A new movable zero-filled document with format code 166 and header size
// 36; none when memory is refused.
MemHandle newCursorDocument();

// ---- RIFF chunks ------------------------------------------------------------------
struct ChunkHeader {
    uint32_t id;
    uint32_t size;  // body bytes, without the pad byte
};

// Padded body size, in 64 bits so that a size near 4 GiB cannot wrap.
constexpr uint64_t paddedSize(uint32_t size) { return uint64_t(size) + (size & 1); }

bool ReadChunkHeader(HFile file, ChunkHeader &header);
// Reads min(capacity, size) bytes, then skips the rest of the body and its
// pad byte; false on a short read or a failed skip.
bool ReadChunkBody(HFile file, const ChunkHeader &header, void *destination, uint32_t capacity);
bool SkipChunk(HFile file, const ChunkHeader &header);

bool WriteChunkHeader(HFile file, uint32_t id, uint32_t size);
bool WriteFourCC(HFile file, uint32_t value);
// Header, data, and a 0 pad byte when the size is odd.
bool WriteChunk(HFile file, uint32_t id, uint32_t size, const void *data);

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
int16_t WriteAniFile(const char *fileName, Wnd parent, MemHandle document, HostCallback callback);

}  // namespace vc
