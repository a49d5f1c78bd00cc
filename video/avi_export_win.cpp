// Win32 view of "AVI Export" (template 105): the strip lent the model's
// strip model, its cells drawn from the editor's frame pictures, the rate
// handed to the model when the focus leaves its edit. Every rule is the
// model's (video/avi.h).
#include <windows.h>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "controls/reel.h"
#include "controls/reel_win.h"
#include "platform/platform_win.h"
#include "resources/strings.h"
#include "video/avi.h"

namespace vc::win {

static_assert(kAviExportTemplate == IDD_AVI_EXPORT && kAviExportReel == IDC_AVI_REEL &&
              kAviExportRate == IDC_AVIEXP_RATE && kAviExportDelaySpin == IDC_AVIEXP_DELAY_SPIN &&
              kAviExportWave == IDC_AVIEXP_WAVE && kAviExportTotal == IDC_AVIEXP_TOTAL && kScrollEnd == SB_ENDSCROLL);

namespace {

void show(HWND dialog, AviExportModel &m) {
    showText(dialog, kAviExportRate, m.rateText);
    showText(dialog, kAviExportDelay, m.delayText);
    showText(dialog, kAviExportWave, m.waveText);
    showText(dialog, kAviFrameLabel, m.frameLabel);
    showText(dialog, kAviExportPosition, m.positionText);
    showText(dialog, kAviExportTotal, m.totalText);
    EnableWindow(GetDlgItem(dialog, kAviExportCompress), m.compressEnabled);
    syncReel(GetDlgItem(dialog, kAviExportReel));
}

// The edits as typed; the model reads them when it acts.
void readFields(HWND dialog, AviExportModel &m) {
    m.rateText = itemText(dialog, kAviExportRate);
    m.delayText = itemText(dialog, kAviExportDelay);
}

INT_PTR CALLBACK aviExportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        if (auto *m = viewModel<AviExportModel>(dialog, message, lParam)) m->finish();
        return FALSE;
    }
    auto *m = viewModel<AviExportModel>(dialog, message, lParam);
    if (!m) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(dialog);
        (void)bindReel(GetDlgItem(dialog, kAviExportReel), m->reel);
        SendDlgItemMessageA(dialog, kAviExportDelay, EM_LIMITTEXT, 2, 0);
        show(dialog, *m);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == kAviExportRate && code == EN_KILLFOCUS) {
            (void)m->setText(id, itemText(dialog, id).c_str());
            show(dialog, *m);
            if (m->focus) SetFocus(GetDlgItem(dialog, m->focus));
            return TRUE;
        }
        if (id != kAviExportReel && code != BN_CLICKED) return FALSE;
        readFields(dialog, *m);
        readKeys(*m);
        if (id == kAviExportReel) {
            m->reelNotify(id, code, int32_t(lParam));
        } else {
            // Making the file and writing the frames run under the wait cursor.
            const bool busy = id == IDOK || id == kAviExportCompress;
            HCURSOR previous = busy ? SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514) /* IDC_WAIT */)) : nullptr;
            (void)m->click(id);
            if (busy) SetCursor(previous);
            if (endWhenEnded(dialog, *m)) return TRUE;
        }
        show(dialog, *m);
        return TRUE;
    }
    case WM_VSCROLL:
        readFields(dialog, *m);
        m->scroll(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam));
        show(dialog, *m);
        return TRUE;
    case REEL_DRAWFRAME: {
        const auto &d = *reinterpret_cast<const REELDRAW *>(lParam);
        drawEditorFrame(d, m->editor, d.frame, m->palette, m->width, m->height);
        return TRUE;
    }
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED: return answerPalette(dialog, message, wParam, m->palette);
    default: return FALSE;
    }
}

const DialogViewRegistration kView{kAviExportTemplate, &aviExportProc};

}  // namespace

}  // namespace vc::win
