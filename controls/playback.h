// The playback window (template 111, "Preview"): the GIF animation dialog's
// "&Preview..." plays the document in it. The dialog model keeps the
// playback model; on Windows the window's view draws through the canvas
// and mask bitmaps, headless the frames the editor draws into a DIB are
// composed on a canvas of pixels a responder can look at.
#pragma once

#include <cstdint>

#include "controls/playback_model.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "velmconv/velmconv.h"

namespace vc {

struct PlaybackDialogModel : plat::DialogModel {
    static constexpr int kTemplate = IDD_GIF_PREVIEW;
    int templateId() const override { return kTemplate; }

    PlaybackDialogModel(PlaybackReel played, HostCallback editorCallback, bool windowsNt)
        : callback(editorCallback), play(std::move(played), windowsNt) {}

    const PlaybackReel &reel() const { return play.reel(); }
    HostCallback callback;
    PlaybackModel play;
    // The headless window's canvas (the Windows view keeps a bitmap).
    PlaybackCanvas canvas;

    // Enter or a click: the frame waiting for the user goes on, or the
    // finished window closes.
    bool pressOk() override {
        if (play.userInput()) pressCancel();
        return true;
    }
    // Escape or the close box.
    void pressCancel() override {
        play.close();
        end(1);
    }
    // Headless, with nobody watching: plays the sequence once (frames that
    // wait for the user go on as Enter would make them) and closes.
    intptr_t pressEnter() override;
};

// Plays the reel in the playback window owned by the GIF animation
// dialog; the frames come from the editor. Result 1.
intptr_t RunAnimationPreview(Wnd owner, PlaybackReel reel, HostCallback callback);

// 1 on the NT line of Windows (and on every system without the old 55 ms
// timer), else 0.
int IsWindowsNT();

}  // namespace vc
