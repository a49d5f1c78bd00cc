// RIFF chunk reading through a file window, the detector, and the cursor
// animation document's block helpers.
#include <cstring>

#include "common/file_window.h"
#include "ui/services.h"
#include "cursor/ani.h"
#include "resources/strings.h"

namespace vc {

bool lockCursorDocument(CursorDocumentLock &lock, MemHandle block) {
    if (!lock.lock(block)) return false;
    if (lock->formatCode == CONV_FMT_ANI) return true;
    lock.unlock();
    return false;
}

plat::Block newCursorDocument() {
    plat::Block block;
    if (!block.alloc(sizeof(CursorAnimationDocument))) return {};
    auto *doc = block.as<CursorAnimationDocument>();
    doc->formatCode = CONV_FMT_ANI;
    doc->header.headerSize = kAniHeaderSize;
    return block;
}

void addCursorAnimationMenu(HostCallback callback) {
    AddHostMenuItem(1, 5, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(1, 5, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(2, 5, CONV_MENU_BYPOSITION, CONV_CMD_ANIMATION, IDS_MENU_ANIMATION, callback);
    AddHostMenuItem(3, 405, 0, CONV_CMD_CHANGE_FORMAT, IDS_MENU_CHANGE_FORMAT, callback);
}

bool ReadChunkHeader(FileWindow &in, ChunkHeader &header) {
    ByteReader r = in.take(riff::kHeaderSize);
    header.id = r.u32();
    header.size = r.u32();
    return r.ok();
}

bool SkipBytes(FileWindow &in, uint64_t n) {
    // The 16-bit-heritage seek reaches offsets below 2 GiB only.
    if (uint64_t(in.tell()) + n > 0x7FFFFFFF) return false;
    in.skip(n);
    return true;
}

bool ReadChunkBody(FileWindow &in, const ChunkHeader &header, void *destination, uint32_t capacity) {
    const uint32_t n = header.size < capacity ? header.size : capacity;
    return in.take(n).bytes(destination, n) && SkipBytes(in, paddedBody(header.size) - n);
}

bool IsAniFile(HFile file) {
    uint8_t raw[12];
    ByteReader r = readFileHead(file, raw, sizeof raw);
    const uint32_t id = r.u32();
    r.skip(4);
    const uint32_t form = r.u32();
    return r.ok() && id == kIdRiff && form == kIdAcon;
}

}  // namespace vc
