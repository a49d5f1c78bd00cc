// Win32 views of "AVI Import" (template 103) and "AVI Select Frames" (104):
// the strip lent the model's strip model, its cells drawn by the companion
// library, the selection list measured in its own static. Every rule is
// the models' (video/avi.h).
#include <windows.h>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "controls/reel.h"
#include "controls/reel_win.h"
#include "platform/platform_win.h"
#include "resources/strings.h"
#include "video/avi.h"

namespace vc::win {

static_assert(kAviImportTemplate == IDD_AVI_IMPORT && kAviSelectTemplate == IDD_AVI_SELECT &&
              kAviImportReel == IDC_AVI_REEL && kAviImportSelList == IDC_AVIIMP_SELLIST &&
              kAviImportDither == IDC_AVIIMP_DITHER && kAviSelectStep == IDC_AVISEL_STEP &&
              kAviFrameLabel == IDC_AVI_FRAME);

namespace {

void show(HWND dialog, AviImportModel &m) {
    showText(dialog, kAviImportCount, m.countText);
    showText(dialog, kAviImportSize, m.sizeText);
    showText(dialog, kAviImportRate, m.rateText);
    showText(dialog, kAviImportSelCount, m.selCountText);
    showText(dialog, kAviImportSelList, m.selText);
    showText(dialog, kAviFrameLabel, m.frameLabel);
    CheckDlgButton(dialog, kAviImportPalette, m.palette ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, kAviImportStretch, m.stretch ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, kAviImportDither, m.dither ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, kAviImportPalette), m.paletteEnabled);
    EnableWindow(GetDlgItem(dialog, kAviImportStretch), m.stretchEnabled);
    EnableWindow(GetDlgItem(dialog, IDOK), m.enabled(IDOK));
    syncReel(GetDlgItem(dialog, kAviImportReel));
}

// The text's width in static 108 as it will be drawn there.
int32_t measureIn(HWND item, const std::string &text) {
    HDC dc = GetDC(item);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageA(item, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(item, dc);
    return size.cx;
}

void start(HWND dialog, AviImportModel &m) {
    CenterDialog(dialog);
    (void)bindReel(GetDlgItem(dialog, kAviImportReel), m.reel);
    HWND list = GetDlgItem(dialog, kAviImportSelList);
    RECT client{};
    GetClientRect(list, &client);
    m.selectionWidth = client.right;
    m.measure = [list](const std::string &text) { return measureIn(list, text); };
    // Button 109's command carrying the frame, handled once the click is.
    m.postSelect = [dialog](int32_t anchor) { PostMessageA(dialog, WM_COMMAND, kAviImportSelect, anchor); };
    m.updateSelection();
    show(dialog, m);
}

void drawCell(const REELDRAW &d, const AviImportModel &m) {
    if (!m.draw || !m.draw(m.file, d.frame, d.dc, d.x, d.y, d.cx, d.cy, 1)) DrawFramePlaceholder(&d);
}

INT_PTR CALLBACK aviImportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *m = viewModel<AviImportModel>(dialog, message, lParam);
    if (!m) return FALSE;
    switch (message) {
    case WM_INITDIALOG: start(dialog, *m); return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == kAviImportReel) {
            readKeys(*m);
            m->reelNotify(id, code, int32_t(lParam));
        } else if (id == kAviImportSelect) {
            // A click carries the button's window, the posted command the
            // Ctrl+clicked frame.
            const bool posted = HWND(lParam) != GetDlgItem(dialog, kAviImportSelect);
            m->selectFrames(posted ? int32_t(lParam) : 0);
        } else if (code == BN_CLICKED) {
            (void)m->click(id);
            if (endWhenEnded(dialog, *m)) return TRUE;
        } else {
            return FALSE;
        }
        show(dialog, *m);
        return TRUE;
    }
    case REEL_DRAWFRAME: drawCell(*reinterpret_cast<const REELDRAW *>(lParam), *m); return TRUE;
    default: return FALSE;
    }
}

void showSelect(HWND dialog, AviSelectFramesModel &m) {
    showText(dialog, kAviSelectFrom, m.fromText);
    showText(dialog, kAviSelectNumber, m.numberText);
    showText(dialog, kAviSelectStep, m.stepText);
}

INT_PTR CALLBACK aviSelectProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *m = viewModel<AviSelectFramesModel>(dialog, message, lParam);
    if (!m) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(dialog);
        showSelect(dialog, *m);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL) return FALSE;
        m->fromText = itemText(dialog, kAviSelectFrom);
        m->numberText = itemText(dialog, kAviSelectNumber);
        m->stepText = itemText(dialog, kAviSelectStep);
        if (!m->click(id) && m->focus) SetFocus(GetDlgItem(dialog, m->focus));
        (void)endWhenEnded(dialog, *m);
        return TRUE;
    }
    default: return FALSE;
    }
}

const DialogViewRegistration kImportView{kAviImportTemplate, &aviImportProc};
const DialogViewRegistration kSelectView{kAviSelectTemplate, &aviSelectProc};

}  // namespace

}  // namespace vc::win
