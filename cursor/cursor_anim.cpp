#include "cursor/cursor_anim.h"

#include <cstring>

#include "common/services.h"
#include "cursor/ani.h"
#include "cursor/cursor_anim_dialog.h"
#include "cursor/cursor_format.h"
#include "resources/strings.h"

namespace vc {

namespace {
HostCallback gCallback = nullptr;
// The editor's file name buffers hold a full path.
constexpr size_t kFileNameBuffer = 260;
}  // namespace

HostCallback cursorAnimationCallback() { return gCallback; }

void renameToAni(char *fileName) {
    if (!fileName) return;
    char *dot = std::strrchr(fileName, '.');
    if (!dot) return;
    // Only within what such a buffer holds: ".ANI" may be longer than the
    // extension it replaces.
    if (size_t(dot - fileName) + 5 > kFileNameBuffer) return;
    std::memcpy(dot, ".ANI", 5);
}

int32_t NewCursorAnimation(Wnd parent, char *fileName, uint32_t, HostCallback callback) {
    if (!callback) return 0;
    MemHandle block = newCursorDocument();
    if (!block) return CONV_E_MEMORY;
    if (auto *doc = static_cast<CursorAnimationDocument *>(plat::memLock(block))) {
        doc->header.frameCount = 1;
        plat::loadString(IDS_DEFAULT_COMMENT, doc->author, int(kAniTextSize));
        plat::memUnlock(block);
    }
    if (!callback(HOST_NEW_DOCUMENT, reinterpret_cast<intptr_t>(block), 0)) {
        plat::memFree(block);
        return 0;
    }
    renameToAni(fileName);
    uint16_t size[2] = {0, 0};
    bool known = callback(HOST_QUERY, reinterpret_cast<intptr_t>(size), HOST_QUERY_SIZE) != 0;
    intptr_t colors = callback(HOST_QUERY, 0, HOST_QUERY_COLORS);
    uint32_t chosen = SelectCursorSize(parent, callback);
    uint32_t current = known ? cursorSize(size[0], size[1]) : 0;
    bool sized = chosen != kCursorSizeCancelled && chosen != 0;
    if ((sized && chosen != current) || colors == 2) {
        ConvFormatChange change{};
        change.width = chosen & 0xFFFF;
        change.height = chosen >> 16;
        change.colors = uint32_t(colors < 3 ? 3 : colors);
        change.scale = 0;
        change.reserved = 0;
        callback(HOST_CHANGE_FORMAT, reinterpret_cast<intptr_t>(&change), 0);
    }
    addCursorAnimationMenu(callback);
    return 1;
}

int32_t CursorAnimationCommand(Wnd parent, uint16_t commandId, MemHandle document, uint32_t option,
                               HostCallback callback) {
    gCallback = callback;
    if (commandId == CONV_CMD_ANIMATION) {
        CursorAnimationDialogModel model(document, option, callback);
        // Not a cursor animation document: the dialog ends as it opens.
        if (!model.start()) return 0;
        intptr_t r = plat::runDialog(parent, kAnimTemplate, model);
        // A responder may end the dialog without pressing its buttons: its
        // answer then counts as that button.
        if (!model.ended() && model.document()) {
            if (r == 1) model.pressOk();
            else model.pressCancel();
        }
        model.finish();
        return r == 1 ? 1 : 0;
    }
    if (commandId == CONV_CMD_CHANGE_FORMAT) {
        ConvFormatChange change{};
        if (ChangeCursorFormatDialog(parent, callback, &change) != 1 || !callback) return 0;
        return int32_t(callback(HOST_CHANGE_FORMAT, reinterpret_cast<intptr_t>(&change), 0));
    }
    return 0;
}

int32_t CursorAnimationFrameChanged(MemHandle document, int32_t changeKind, uint16_t frameIndex,
                                    HostCallback callback) {
    CursorAnimationDocument *doc = lockCursorDocument(document);
    if (!doc) return 0;
    intptr_t count = callback ? callback(HOST_QUERY, 0, HOST_QUERY_COUNT) : 0;
    doc->header.frameCount = count > 0 ? uint32_t(count) : 0;
    const uint32_t steps = documentSteps(*doc);
    int32_t result = 1;
    if (changeKind == kFrameInserted) {
        for (uint32_t i = 0; i < steps; ++i)
            if (doc->sequence[i] >= frameIndex) ++doc->sequence[i];
    } else if (changeKind == kFrameDeleted) {
        const uint32_t frames = doc->header.frameCount;
        for (uint32_t i = 0; i < steps; ++i) {
            if (doc->sequence[i] > frameIndex) --doc->sequence[i];
            if (doc->sequence[i] >= frames) doc->sequence[i] = frames ? frames - 1 : 0;
        }
    } else {
        result = 0;
    }
    plat::memUnlock(document);
    return result;
}

// ---- Row 166 -----------------------------------------------------------------------
bool aniRowDetect(HFile file) { return IsAniFile(file); }

int16_t aniRowLoad(const LoadRequest &request) {
    return LoadAniFile(request.fileName, request.record == nullptr, request.callback);
}

int16_t aniRowSave(const SaveRequest &request) {
    return SaveAniFile(request.fileName, request.parent, request.option, request.image, request.callback);
}

}  // namespace vc
