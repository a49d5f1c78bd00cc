// Win32 views of the cursor format questions (templates 107 and 108): the
// dialog procedures map control notifications onto the portable models of
// cursor_format.h and the models' state onto the controls.
#include <windows.h>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "cursor/cursor_format.h"
#include "platform/platform_win.h"
#include "resources/strings.h"

namespace vc::win {

namespace {

bool isClick(WPARAM wParam) { return HIWORD(wParam) == BN_CLICKED; }

INT_PTR CALLBACK selectCursorSizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *m = viewModel<SelectCursorSizeModel>(dialog, message, lParam);
    if (!m) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(dialog);
        CheckRadioButton(dialog, IDC_CURSOR_SIZE16, IDC_CURSOR_SIZE_OTHER, m->checked);
        SendDlgItemMessageA(dialog, IDC_CURSOR_WARNING, STM_SETICON,
                            WPARAM(LoadIconA(nullptr, MAKEINTRESOURCEA(32515) /* IDI_EXCLAMATION */)), 0);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL && !isClick(wParam)) return FALSE;
        if (!m->click(id)) return FALSE;
        // The icon is the system's; the control lets go of it at the end.
        if (m->ended()) SendDlgItemMessageA(dialog, IDC_CURSOR_WARNING, STM_SETICON, 0, 0);
        (void)endWhenEnded(dialog, *m);
        return TRUE;
    }
    default: return FALSE;
    }
}

void show(HWND dialog, const ChangeCursorFormatModel &m) {
    CheckRadioButton(dialog, IDC_CURSOR_SIZE16, IDC_CURSOR_SIZE_OTHER, m.sizeChoice);
    if (m.colorChoice) CheckRadioButton(dialog, IDC_CURSOR_COLORS2, IDC_CURSOR_COLORS256, m.colorChoice);
    CheckDlgButton(dialog, IDC_CURSOR_SCALE, m.scale ? BST_CHECKED : BST_UNCHECKED);
}

INT_PTR CALLBACK changeCursorFormatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *m = viewModel<ChangeCursorFormatModel>(dialog, message, lParam);
    if (!m) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        // The model was started (editor's size and colours asked) by
        // ChangeCursorFormatDialog before the dialog opened.
        CenterDialog(dialog);
        SetDlgItemTextA(dialog, IDC_CURSOR_X, m->x.c_str());
        SetDlgItemTextA(dialog, IDC_CURSOR_Y, m->y.c_str());
        show(dialog, *m);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL && !isClick(wParam)) return FALSE;
        m->x = itemText(dialog, IDC_CURSOR_X);
        m->y = itemText(dialog, IDC_CURSOR_Y);
        // A refused OK has beeped; the dialog stays for the fields to be corrected.
        if (!m->click(id) && id != IDOK) return FALSE;
        if (endWhenEnded(dialog, *m)) return TRUE;
        show(dialog, *m);
        return TRUE;
    }
    default: return FALSE;
    }
}

const DialogViewRegistration kSelectView{kSelectCursorTemplate, &selectCursorSizeProc};
const DialogViewRegistration kChangeView{kChangeCursorTemplate, &changeCursorFormatProc};

}  // namespace

}  // namespace vc::win
