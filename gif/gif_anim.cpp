#include "gif/gif_anim.h"

#include <algorithm>
#include <cstring>

#include "common/services.h"
#include "entry/image_block.h"
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
    int32_t n = recordFrames(record);
    if (want <= n) return;
    for (int32_t i = std::max(n, 1); i < want; ++i) record.frames[i] = record.frames[0];
    record.frameCount = int16_t(want);
}

void addGifMenuItems(HostCallback callback) {
    AddHostMenuItem(1, kMenuPosition, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(1, kMenuPosition, CONV_MENU_BYPOSITION, 0, 0, callback);
    AddHostMenuItem(2, kMenuPosition, CONV_MENU_BYPOSITION, CONV_CMD_ANIMATION, IDS_MENU_ANIMATION, callback);
}

// ---- The document -------------------------------------------------------------------

int32_t NewGifAnimation(Wnd, char *fileName, uint32_t, HostCallback callback) {
    MemHandle h = NewGifAnimRecord();
    if (!h) return 0;
    if (!callback || !callback(HOST_NEW_DOCUMENT, reinterpret_cast<intptr_t>(h), 0)) {
        plat::memFree(h);
        return 0;
    }
    if (fileName)
        if (char *dot = std::strrchr(fileName, '.')) std::memcpy(dot, ".GIF", 5);
    addGifMenuItems(callback);
    return 1;
}

MemHandle EditGifAnimation(Wnd parent, MemHandle record, HostCallback callback) {
    MemHandle h = NewGifAnimRecord();
    if (!h) return nullptr;
    auto *copy = static_cast<GifAnimRecord *>(plat::memLock(h));
    if (!copy) {
        plat::memFree(h);
        return nullptr;
    }
    if (const GifAnimRecord *given = lockGifRecord(record)) {
        std::memcpy(copy, given, sizeof *copy);
        plat::memUnlock(record);
    }
    // The brush of a dialog that is open belongs to that dialog.
    copy->backgroundBrush = 0;
    GifAnimationDialogModel model;
    model.record = copy;
    model.callback = callback;
    (void)model.start();  // it always starts
    intptr_t r = plat::runDialog(parent, IDD_GIF_ANIMATION, model);
    // Where the dialog has no window of its own to show, the settings are
    // taken as they stand, as Enter would.
    if (r == -1) r = model.pressEnter();
    copy->backgroundBrush = 0;
    plat::memUnlock(h);
    if (r) return h;
    plat::memFree(h);
    return nullptr;
}

int32_t GifProcessCommand(Wnd parent, uint16_t commandId, MemHandle document, uint32_t, HostCallback callback) {
    if (commandId != CONV_CMD_ANIMATION || !callback) return 0;
    MemHandle copy = EditGifAnimation(parent, document, callback);
    if (!copy) return 0;
    if (!callback(HOST_NEW_DOCUMENT, reinterpret_cast<intptr_t>(copy), 0)) plat::memFree(copy);
    return 1;
}

int32_t GifFrameChanged(MemHandle document, int32_t changeKind, uint16_t frame, HostCallback callback) {
    GifAnimRecord *r = lockGifRecord(document);
    if (!r) return 0;
    int32_t n = callback ? int32_t(callback(HOST_QUERY, 0, HOST_QUERY_COUNT)) : 0;
    n = std::clamp(n, 0, kGifMaxFrames);
    r->frameCount = int16_t(n);
    const int32_t k = frame;
    int32_t result = 1;
    switch (changeKind) {
    case kGifFrameInserted:
        // The new frame repeats the settings of the frame it went before.
        for (int32_t j = n - 2; j >= k; --j) r->frames[j + 1] = r->frames[j];
        break;
    case kGifFrameCopiedToEnd:
        if (n >= 1 && k < kGifMaxFrames) r->frames[n - 1] = r->frames[k];
        break;
    case kGifFrameDeleted:
        for (int32_t j = k; j < n && j + 1 < kGifMaxFrames; ++j) r->frames[j] = r->frames[j + 1];
        break;
    default:
        result = 0;
        break;
    }
    plat::memUnlock(document);
    return result;
}

}  // namespace vc
