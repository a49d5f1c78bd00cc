#include "gif/gif_anim.h"

#include <algorithm>
#include <cstring>

#include "ui/services.h"
#include "common/image_block.h"
#include "gif/gif_dialog.h"
#include "resources/strings.h"

namespace vc {

namespace {

constexpr uint32_t kMenuPosition = 5;

}  // namespace

void ComputeGifScreenSize(GifAnimRecord &record, uint16_t width, uint16_t height) {
    int32_t minLeft = 0, maxLeft = 0, minTop = 0, maxTop = 0;
    const int32_t n = recordFrames(record);
    for (int32_t i = 0; i < n; ++i) {
        const GifFrameEntry &f = record.frames[i];
        minLeft = std::min<int32_t>(minLeft, f.left);
        maxLeft = std::max<int32_t>(maxLeft, f.left);
        minTop = std::min<int32_t>(minTop, f.top);
        maxTop = std::max<int32_t>(maxTop, f.top);
    }
    record.screenWidth = uint16_t(width - minLeft + maxLeft);
    record.screenHeight = uint16_t(height - minTop + maxTop);
}

void extendGifFrames(GifAnimRecord &record, int32_t editorFrames) {
    const int32_t want = std::min(editorFrames, kGifMaxFrames);
    const int32_t n = recordFrames(record);
    if (want <= n) return;
    for (int32_t i = n; i < want; ++i) record.frames[i] = record.frames[0];
    record.frameCount = int16_t(want);
}

void addGifMenuItems(HostCallback callback) {
    AddHostMenuItem(1, kMenuPosition, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(1, kMenuPosition, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(2, kMenuPosition, CONV_MENU_BYPOSITION, CONV_CMD_ANIMATION, IDS_MENU_ANIMATION, callback);
}

// ---- The document -------------------------------------------------------------------

int32_t NewGifAnimation(Wnd, char *fileName, uint32_t, HostCallback callback) {
    plat::Block record = NewGifAnimRecord();
    if (!offerGifRecord(record, EditorLink(callback))) return 0;
    ReplaceFileExtension(fileName, ".GIF");
    addGifMenuItems(callback);
    return 1;
}

plat::Block EditGifAnimation(Wnd parent, MemHandle record, HostCallback callback) {
    plat::Block copy = NewGifAnimRecord();
    if (!copy) return copy;
    auto *edited = copy.as<GifAnimRecord>();
    if (const auto given = lockGifRecord(record)) std::memcpy(edited, given.get(), sizeof *edited);
    // The brush of a dialog that is open belongs to that dialog.
    edited->backgroundBrush = 0;
    GifAnimationDialogModel model;
    model.record = edited;
    model.callback = callback;
    (void)model.start();  // it always starts
    intptr_t r = plat::runDialog(parent, IDD_GIF_ANIMATION, model);
    // Where the dialog has no window of its own to show, the settings are
    // taken as they stand, as Enter would.
    if (r == -1) r = model.pressEnter();
    edited->backgroundBrush = 0;
    if (!r) copy.reset();
    copy.unlock();
    return copy;
}

int32_t GifProcessCommand(Wnd parent, uint16_t commandId, MemHandle document, uint32_t, HostCallback callback) {
    if (commandId != CONV_CMD_ANIMATION || !callback) return 0;
    plat::Block copy = EditGifAnimation(parent, document, callback);
    if (!copy) return 0;
    // A copy the editor refuses is freed.
    (void)offerGifRecord(copy, EditorLink(callback));
    return 1;
}

int32_t GifFrameChanged(MemHandle document, int32_t changeKind, uint16_t frame, HostCallback callback) {
    const auto r = lockGifRecord(document);
    if (!r) return 0;
    const int32_t n = std::clamp(EditorLink(callback).frameCount(), 0, kGifMaxFrames);
    r->frameCount = int16_t(n);
    const int32_t k = frame;
    switch (changeKind) {
    case kGifFrameInserted:
        // The new frame repeats the settings of the frame it went before.
        for (int32_t j = n - 2; j >= k; --j) r->frames[j + 1] = r->frames[j];
        return 1;
    case kGifFrameCopiedToEnd:
        if (n >= 1 && k < kGifMaxFrames) r->frames[n - 1] = r->frames[k];
        return 1;
    case kGifFrameDeleted:
        for (int32_t j = k; j < n && j + 1 < kGifMaxFrames; ++j) r->frames[j] = r->frames[j + 1];
        return 1;
    default:
        return 0;
    }
}

}  // namespace vc
