// The detector, the cursor animation document's block helpers and its
// menu items.
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

bool IsAniFile(HFile file) {
    uint8_t raw[12];
    const ByteReader r = readFileHead(file, raw, sizeof raw);
    return r.ok() && looksLikeAnimatedCursor({raw, r.remaining()});
}

}  // namespace vc
