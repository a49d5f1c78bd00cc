#include "cursor/cursor_anim.h"

#include <cstring>

#include "ui/services.h"
#include "cursor/ani.h"
#include "cursor/cursor_anim_dialog.h"
#include "cursor/cursor_format.h"
#include "common/editor_link.h"
#include "resources/strings.h"

namespace vc {

namespace {
HostCallback gCallback = nullptr;
}  // namespace

HostCallback cursorAnimationCallback() { return gCallback; }


int32_t NewCursorAnimation(Wnd parent, char *fileName, uint32_t, HostCallback callback) {
    const EditorLink link(callback);
    if (!link) return 0;
    plat::Block block = newCursorDocument();
    if (!block) return CONV_E_MEMORY;
    auto *doc = block.as<CursorAnimationDocument>();
    doc->header.frameCount = 1;
    // A string missing from the resources leaves the author empty.
    (void)plat::loadString(IDS_DEFAULT_COMMENT, doc->author, int(kAniTextSize));
    block.unlock();
    if (!link.offerDocument(block.handle())) return 0;
    (void)block.release();  // the editor owns the document now
    ReplaceFileExtension(fileName, ".ANI");
    uint16_t size[2] = {0, 0};
    const bool known = link.imageSize(size);
    const int32_t colors = link.colorSetting();
    const uint32_t chosen = SelectCursorSize(parent, callback);
    const uint32_t current = known ? cursorSize(size[0], size[1]) : 0;
    const bool sized = chosen != kCursorSizeCancelled && chosen != 0;
    if ((sized && chosen != current) || colors == 2) {
        ConvFormatChange change{};
        change.width = chosen & 0xFFFF;
        change.height = chosen >> 16;
        change.colors = uint32_t(colors < 3 ? 3 : colors);  // no scaling
        (void)link.changeFormat(change);  // the editor's answer changes nothing here
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
        const EditorLink link(callback);
        ConvFormatChange change{};
        if (ChangeCursorFormatDialog(parent, callback, &change) != 1 || !link) return 0;
        return int32_t(link.changeFormat(change));
    }
    return 0;
}

int32_t CursorAnimationFrameChanged(MemHandle document, int32_t changeKind, uint16_t frameIndex,
                                    HostCallback callback) {
    CursorDocumentLock doc;
    if (!lockCursorDocument(doc, document)) return 0;
    const int32_t count = EditorLink(callback).frameCount();
    doc->header.frameCount = count > 0 ? uint32_t(count) : 0;
    const uint32_t steps = documentSteps(*doc);
    if (changeKind == kFrameInserted) {
        for (uint32_t i = 0; i < steps; ++i)
            if (doc->sequence[i] >= frameIndex) ++doc->sequence[i];
        return 1;
    }
    if (changeKind == kFrameDeleted) {
        const uint32_t frames = doc->header.frameCount;
        for (uint32_t i = 0; i < steps; ++i) {
            if (doc->sequence[i] > frameIndex) --doc->sequence[i];
            if (doc->sequence[i] >= frames) doc->sequence[i] = frames ? frames - 1 : 0;
        }
        return 1;
    }
    return 0;
}

// ---- Row 166 -----------------------------------------------------------------------
bool aniRowDetect(HFile file) { return IsAniFile(file); }

Result aniRowLoad(const LoadRequest &request) {
    return LoadAniFile(request.fileName, request.record == nullptr, request.callback);
}

Result aniRowSave(const SaveRequest &request) {
    return SaveAniFile(request.fileName, request.parent, request.option, request.image, request.callback);
}

}  // namespace vc
