// RIFF chunk reading and writing, and the cursor animation document's
// block helpers.
#include <cstring>

#include "common/services.h"
#include "cursor/ani.h"
#include "resources/strings.h"

namespace vc {

namespace {
uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void put32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Moves forward by n bytes; the 16-bit-heritage seek takes a signed 32-bit
// offset, so a longer skip cannot be made and counts as a failure.
bool skipForward(HFile file, uint64_t n) {
    if (n == 0) return true;
    if (n > 0x7FFFFFFF) return false;
    return plat::fileSeek(file, int32_t(n), plat::kSeekCur) >= 0;
}
}  // namespace

CursorAnimationDocument *lockCursorDocument(MemHandle block) {
    if (!block || plat::memSize(block) < sizeof(CursorAnimationDocument)) return nullptr;
    auto *doc = static_cast<CursorAnimationDocument *>(plat::memLock(block));
    if (!doc) return nullptr;
    if (doc->formatCode != CONV_FMT_ANI) {
        plat::memUnlock(block);
        return nullptr;
    }
    return doc;
}

MemHandle newCursorDocument() {
    MemHandle block = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, sizeof(CursorAnimationDocument));
    if (!block) return nullptr;
    auto *doc = static_cast<CursorAnimationDocument *>(plat::memLock(block));
    if (!doc) {
        plat::memFree(block);
        return nullptr;
    }
    doc->formatCode = CONV_FMT_ANI;
    doc->header.headerSize = kAniHeaderSize;
    plat::memUnlock(block);
    return block;
}

void addCursorAnimationMenu(HostCallback callback) {
    AddHostMenuItem(1, 5, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(1, 5, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(2, 5, CONV_MENU_BYPOSITION, CONV_CMD_ANIMATION, IDS_MENU_ANIMATION, callback);
    AddHostMenuItem(3, 405, 0, CONV_CMD_CHANGE_FORMAT, IDS_MENU_CHANGE_FORMAT, callback);
}

bool ReadChunkHeader(HFile file, ChunkHeader &header) {
    header = ChunkHeader{};
    uint8_t raw[8];
    if (plat::fileRead(file, raw, 8) != 8) return false;
    header.id = le32(raw);
    header.size = le32(raw + 4);
    return true;
}

bool ReadChunkBody(HFile file, const ChunkHeader &header, void *destination, uint32_t capacity) {
    uint32_t n = header.size < capacity ? header.size : capacity;
    if (n && plat::fileRead(file, destination, n) != int32_t(n)) return false;
    return skipForward(file, paddedSize(header.size) - n);
}

bool SkipChunk(HFile file, const ChunkHeader &header) { return skipForward(file, paddedSize(header.size)); }

bool WriteFourCC(HFile file, uint32_t value) {
    uint8_t raw[4];
    put32(raw, value);
    return plat::fileWrite(file, raw, 4) == 4;
}

bool WriteChunkHeader(HFile file, uint32_t id, uint32_t size) {
    uint8_t raw[8];
    put32(raw, id);
    put32(raw + 4, size);
    return plat::fileWrite(file, raw, 8) == 8;
}

bool WriteChunk(HFile file, uint32_t id, uint32_t size, const void *data) {
    if (!WriteChunkHeader(file, id, size)) return false;
    if (size && plat::fileWrite(file, data, size) != int32_t(size)) return false;
    static const uint8_t pad = 0;
    return !(size & 1) || plat::fileWrite(file, &pad, 1) == 1;
}

bool IsAniFile(HFile file) {
    uint8_t raw[12] = {};
    bool yes = plat::fileRead(file, raw, 12) == 12 && le32(raw) == kIdRiff && le32(raw + 8) == kIdAcon;
    plat::fileSeek(file, 0, plat::kSeekSet);
    return yes;
}

}  // namespace vc
