// The playback window on Windows: the dialog of template 111 over the
// playback model. The canvas is a device-dependent bitmap of the screen
// size; the editor's frame bitmaps are put on it at their positions, their
// transparent colour kept out through a 1-bit mask, and the canvas is
// stretched into the client area inside an 8-pixel margin.
#include <windows.h>

#include <memory>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "controls/playback.h"
#include "controls/reel.h"
#include "common/editor_link.h"
#include "platform/platform_win.h"

namespace vc {

int IsWindowsNT() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = 148;
    if (!GetVersionExA(&version)) return 0;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
}

intptr_t RunAnimationPreview(Wnd owner, PlaybackReel reel, HostCallback callback) {
    PlaybackDialogModel model(std::move(reel), callback, IsWindowsNT() != 0);
    (void)plat::runDialog(owner, IDD_GIF_PREVIEW, model);
    return 1;
}

namespace win {

namespace {

// Puts a frame on the canvas at (left, top). With a mask, the frame's
// pixels of the transparent colour leave the canvas as it was, and the
// frame bitmap is given back unchanged.
void ComposeFrame(HDC shared, HBITMAP canvas, int left, int top, HDC frameDc, HBITMAP frame, int width, int height,
                  HBITMAP mask, COLORREF transparent) {
    if (!mask) {
        HGDIOBJ oldFrame = SelectObject(frameDc, frame);
        HGDIOBJ oldShared = SelectObject(shared, canvas);
        BitBlt(shared, left, top, width, height, frameDc, 0, 0, SRCCOPY);
        SelectObject(shared, oldShared);
        SelectObject(frameDc, oldFrame);
        return;
    }
    HGDIOBJ oldFrame = SelectObject(frameDc, frame);
    HGDIOBJ oldShared = SelectObject(shared, mask);
    const COLORREF oldText = SetTextColor(frameDc, RGB(0, 0, 0));
    const COLORREF oldBack = SetBkColor(frameDc, transparent);
    // The mask: white where the frame has the transparent colour.
    BitBlt(shared, 0, 0, width, height, frameDc, 0, 0, SRCCOPY);
    // The frame's transparent pixels black.
    SetBkColor(frameDc, RGB(255, 255, 255));
    BitBlt(frameDc, 0, 0, width, height, shared, 0, 0, 0x220326);
    // The opaque part of the frame's rectangle black on the canvas, then
    // the frame over it.
    SelectObject(shared, canvas);
    SelectObject(frameDc, mask);
    BitBlt(shared, left, top, width, height, frameDc, 0, 0, SRCAND);
    SelectObject(frameDc, frame);
    BitBlt(shared, left, top, width, height, frameDc, 0, 0, SRCPAINT);
    // The transparent pixels get their colour back.
    SelectObject(shared, mask);
    SetBkColor(frameDc, transparent);
    BitBlt(frameDc, 0, 0, width, height, shared, 0, 0, SRCPAINT);
    SetTextColor(frameDc, oldText);
    SetBkColor(frameDc, oldBack);
    SelectObject(shared, oldShared);
    SelectObject(frameDc, oldFrame);
}

class PlaybackView final : public PlaybackSurface {
public:
    PlaybackView(HWND dialog, PlaybackDialogModel &model) : dialog_(dialog), model_(model) {
        const PlaybackReel &r = model.reel();
        const EditorLink editor(model.callback);
        (void)editor.getPalette(palette_, 0);  // none: the margin is the system's
        HDC info = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
        const int bits = GetDeviceCaps(info, BITSPIXEL), planes = GetDeviceCaps(info, PLANES);
        DeleteDC(info);
        canvas_ = CreateBitmap(r.screenWidth, r.screenHeight, UINT(planes), UINT(bits), nullptr);
        uint32_t color = 0;
        if (editor.screenColor(color)) {
            transparent_ = color;
            mask_ = CreateBitmap(r.outputWidth, r.outputHeight, 1, 1, nullptr);
        }
        // The GIF animation dialog lends the swatch's brush; without one the
        // background colour makes its own.
        brush_ = reinterpret_cast<HBRUSH>(uintptr_t(r.backgroundBrush));
        if (!brush_) {
            const uint32_t c = r.background;
            brush_ = ownBrush_ = CreateSolidBrush(RGB(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF));
        }
        // The film strips' memory DC; a window opened with no strip alive
        // (no animation dialog under it) makes one of its own.
        shared_ = static_cast<HDC>(reelSharedDc());
        if (!shared_) shared_ = ownShared_ = CreateCompatibleDC(nullptr);
    }
    ~PlaybackView() {
        if (canvas_) DeleteObject(canvas_);
        if (mask_) DeleteObject(mask_);
        if (ownBrush_) DeleteObject(ownBrush_);
        if (ownShared_) DeleteDC(ownShared_);
    }
    PlaybackView(const PlaybackView &) = delete;
    PlaybackView &operator=(const PlaybackView &) = delete;

    // FillCanvasRect.
    void fillBackground(int32_t left, int32_t top, int32_t width, int32_t height) override {
        HPALETTE oldPalette = palette_ ? SelectPalette(shared_, HPALETTE(palette_), FALSE) : nullptr;
        HGDIOBJ oldBitmap = SelectObject(shared_, canvas_);
        HGDIOBJ oldBrush = SelectObject(shared_, brush_);
        PatBlt(shared_, left, top, width, height, PATCOPY);
        SelectObject(shared_, oldBrush);
        SelectObject(shared_, oldBitmap);
        if (oldPalette) SelectPalette(shared_, oldPalette, FALSE);
    }

    bool drawFrame(int32_t frame, int32_t left, int32_t top, int32_t width, int32_t height) override {
        void *bitmap = nullptr;
        HDC frameDc = static_cast<HDC>(EditorLink(model_.callback).frameDc(&bitmap, frame));
        if (!frameDc) return false;
        ComposeFrame(shared_, canvas_, left, top, frameDc, static_cast<HBITMAP>(bitmap), width, height, mask_,
                     transparent_);
        return true;
    }

    void paint() override {
        HDC dc = GetDC(dialog_);
        paintCanvas(dc);
        ReleaseDC(dialog_, dc);
    }
    void startTimer() override { SetTimer(dialog_, kPlaybackTimerId, kPlaybackTimerMs, nullptr); }
    void killTimer() override { KillTimer(dialog_, kPlaybackTimerId); }
    void postTick() override { PostMessageA(dialog_, WM_TIMER, kPlaybackTimerId, 0); }

    // PaintCanvas: the whole canvas stretched into the client area less
    // the margin on each side.
    void paintCanvas(HDC dc) {
        RECT client{};
        GetClientRect(dialog_, &client);
        HPALETTE oldPalette = palette_ ? SelectPalette(dc, HPALETTE(palette_), TRUE) : nullptr;
        HPALETTE oldShared = palette_ ? SelectPalette(shared_, HPALETTE(palette_), TRUE) : nullptr;
        HGDIOBJ oldBitmap = SelectObject(shared_, canvas_);
        StretchBlt(dc, kPlaybackMargin, kPlaybackMargin, client.right - 2 * kPlaybackMargin,
                   client.bottom - 2 * kPlaybackMargin, shared_, 0, 0, model_.reel().screenWidth,
                   model_.reel().screenHeight, SRCCOPY);
        SelectObject(shared_, oldBitmap);
        if (oldShared) SelectPalette(shared_, oldShared, TRUE);
        if (oldPalette) SelectPalette(dc, oldPalette, TRUE);
    }

    // WM_ERASEBKGND: false leaves the erase to the system.
    bool erase(HDC dc) {
        if (!palette_) return false;
        RECT client{};
        GetClientRect(dialog_, &client);
        HPALETTE old = SelectPalette(dc, HPALETTE(palette_), TRUE);
        FillRect(dc, &client, brush_);
        SelectPalette(dc, old, TRUE);
        return true;
    }

    // The editor's palette realised in the window's DC; the colours changed.
    int realize() {
        if (!palette_) return 0;
        HDC dc = GetDC(dialog_);
        HPALETTE old = SelectPalette(dc, HPALETTE(palette_), FALSE);
        const int changed = int(RealizePalette(dc));
        SelectPalette(dc, old, FALSE);
        ReleaseDC(dialog_, dc);
        if (changed > 0) InvalidateRect(dialog_, nullptr, FALSE);
        return changed;
    }

private:
    HWND dialog_;
    PlaybackDialogModel &model_;
    void *palette_ = nullptr;  // the editor's, never deleted here
    HBITMAP canvas_ = nullptr, mask_ = nullptr;
    COLORREF transparent_ = 0;
    HBRUSH brush_ = nullptr, ownBrush_ = nullptr;
    HDC shared_ = nullptr, ownShared_ = nullptr;
};

INT_PTR result(HWND dialog, LRESULT value) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, value);
    return TRUE;
}

// The window over the model; the canvas and its drawing tools live in the
// surface from WM_INITDIALOG to WM_DESTROY.
class PlaybackWindow : public DialogView<PlaybackDialogModel> {
    std::unique_ptr<PlaybackView> surface_;

    // A client area of the canvas and its margins, before the window is centred.
    void place(PlaybackDialogModel &m) override {
        RECT r{0, 0, m.reel().screenWidth + 2 * kPlaybackMargin, m.reel().screenHeight + 2 * kPlaybackMargin};
        AdjustWindowRectEx(&r, DWORD(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                           DWORD(GetWindowLongA(dialog, GWL_EXSTYLE)));
        SetWindowPos(dialog, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    INT_PTR start(PlaybackDialogModel &m) override {
        surface_ = std::make_unique<PlaybackView>(dialog, m);
        m.play.start(*surface_);
        return TRUE;
    }
    void finish(PlaybackDialogModel *) override {
        if (surface_) surface_->killTimer();
        surface_.reset();
    }
    Step command(PlaybackDialogModel &m, int id, int, LPARAM) override {
        // Enter (1) goes on or closes; Escape and the close box (2) close.
        if (id == IDCANCEL) m.pressCancel();
        else (void)m.pressOk();
        return Step::end;
    }
    INT_PTR other(PlaybackDialogModel &m, UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_TIMER:
            if (surface_) m.play.tick();
            return TRUE;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
            if (m.play.finished()) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            else (void)m.play.userInput();
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(dialog, &ps);
            if (surface_) surface_->paintCanvas(dc);
            EndPaint(dialog, &ps);
            return TRUE;
        }
        case WM_ERASEBKGND:
            return surface_ && surface_->erase(reinterpret_cast<HDC>(wParam)) ? result(dialog, 1) : FALSE;
        case WM_SIZE:
            InvalidateRect(dialog, nullptr, TRUE);
            return TRUE;
        case WM_GETMINMAXINFO: {
            auto *info = reinterpret_cast<MINMAXINFO *>(lParam);
            info->ptMinTrackSize.x = kPlaybackMinTrack;
            info->ptMinTrackSize.y = kPlaybackMinTrack;
            return TRUE;
        }
        // The canvas keeps the editor's palette, realised its own way.
        case WM_PALETTECHANGED:
            if (HWND(wParam) == dialog) return FALSE;
            [[fallthrough]];
        case WM_QUERYNEWPALETTE:
            return result(dialog, surface_ ? surface_->realize() : 0);
        default: return FALSE;
        }
    }
};

const DialogViewRegistration kView{IDD_GIF_PREVIEW, &runView<PlaybackWindow>};

}  // namespace

}  // namespace win
}  // namespace vc
