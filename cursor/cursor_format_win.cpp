// Win32 views of the cursor format questions (templates 107 and 108): the
// dialog procedures map control notifications onto the portable models of
// cursor_format.h and the models' state onto the controls.
#include <windows.h>

#include <string>

#include "common/services.h"
#include "cursor/cursor_format.h"
#include "platform/platform_win.h"
#include "resources/strings.h"

namespace vc::win {

namespace {
// The open dialog's model; one modal dialog of each kind at a time.
SelectCursorSizeModel *gSelect = nullptr;
ChangeCursorFormatModel *gChange = nullptr;

std::string itemText(HWND dialog, int id) {
    char buffer[64] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}
}  // namespace

INT_PTR CALLBACK selectCursorSizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        gSelect = static_cast<SelectCursorSizeModel *>(reinterpret_cast<plat::DialogModel *>(lParam));
        CenterDialog(dialog);
        CheckRadioButton(dialog, IDC_CURSOR_SIZE16, IDC_CURSOR_SIZE_OTHER, gSelect->checked);
        SendDlgItemMessageA(dialog, IDC_CURSOR_WARNING, STM_SETICON,
                            WPARAM(LoadIconA(nullptr, MAKEINTRESOURCEA(32515) /* IDI_EXCLAMATION */)), 0);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (!gSelect) return FALSE;
        if (id >= IDC_CURSOR_SIZE16 && id <= IDC_CURSOR_SIZE_OTHER && HIWORD(wParam) == BN_CLICKED) {
            gSelect->click(id);
            return TRUE;
        }
        if (id == IDOK || id == IDCANCEL) {
            intptr_t result = id == IDOK ? gSelect->ok() : SelectCursorSizeModel::cancel();
            SendDlgItemMessageA(dialog, IDC_CURSOR_WARNING, STM_SETICON, 0, 0);
            gSelect = nullptr;
            EndDialog(dialog, result);
            return TRUE;
        }
        return FALSE;
    }
    default: return FALSE;
    }
}

namespace {
void showChangeModel(HWND dialog, const ChangeCursorFormatModel &m) {
    CheckRadioButton(dialog, IDC_CURSOR_SIZE16, IDC_CURSOR_SIZE_OTHER, m.sizeChoice);
    if (m.colorChoice)
        CheckRadioButton(dialog, IDC_CURSOR_COLORS2, IDC_CURSOR_COLORS256, m.colorChoice);
    CheckDlgButton(dialog, IDC_CURSOR_SCALE, m.scale ? BST_CHECKED : BST_UNCHECKED);
}
}  // namespace

INT_PTR CALLBACK changeCursorFormatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        // The model was started (editor's size and colours asked) by
        // ChangeCursorFormatDialog before the dialog opened.
        gChange = static_cast<ChangeCursorFormatModel *>(reinterpret_cast<plat::DialogModel *>(lParam));
        CenterDialog(dialog);
        SetDlgItemTextA(dialog, IDC_CURSOR_X, gChange->x.c_str());
        SetDlgItemTextA(dialog, IDC_CURSOR_Y, gChange->y.c_str());
        showChangeModel(dialog, *gChange);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (!gChange) return FALSE;
        if (((id >= IDC_CURSOR_SIZE16 && id <= IDC_CURSOR_SIZE_OTHER) ||
             (id >= IDC_CURSOR_COLORS2 && id <= IDC_CURSOR_COLORS256)) &&
            HIWORD(wParam) == BN_CLICKED) {
            gChange->click(id);
            showChangeModel(dialog, *gChange);
            return TRUE;
        }
        if (id == IDOK) {
            gChange->x = itemText(dialog, IDC_CURSOR_X);
            gChange->y = itemText(dialog, IDC_CURSOR_Y);
            gChange->scale = IsDlgButtonChecked(dialog, IDC_CURSOR_SCALE) == BST_CHECKED;
            if (!gChange->ok()) {
                plat::beep(0);  // stays open for the user to correct the fields
                return TRUE;
            }
            gChange = nullptr;
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (id == IDCANCEL) {
            gChange = nullptr;
            EndDialog(dialog, ChangeCursorFormatModel::cancel());
            return TRUE;
        }
        return FALSE;
    }
    default: return FALSE;
    }
}

}  // namespace vc::win
