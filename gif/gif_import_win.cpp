// Win32 view of the GIF import options (template 109): the dialog procedure
// maps control notifications onto the portable model of gif_import.h and
// the model's state onto the controls.
#include <windows.h>

#include <string>

#include "common/services.h"
#include "gif/gif_import.h"
#include "platform/platform_win.h"
#include "resources/strings.h"

namespace vc::win {

namespace {
// The open dialog's model; one import options dialog at a time.
GifImportOptionsModel *gModel = nullptr;
// Set while the view writes into its own controls, whose notifications
// are then the view's echo and not the user's.
bool gShowing = false;

std::string itemText(HWND dialog, int id) {
    char buffer[64] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

// The fields as the user left them.
void readFields(HWND dialog, GifImportOptionsModel &m) {
    m.widthText = itemText(dialog, IDC_GIFIMP_WIDTH);
    m.heightText = itemText(dialog, IDC_GIFIMP_HEIGHT);
    m.listSelection = int32_t(SendDlgItemMessageA(dialog, IDC_GIFIMP_LIST, LB_GETCURSEL, 0, 0));
}

void show(HWND dialog, const GifImportOptionsModel &m) {
    gShowing = true;
    if (itemText(dialog, IDC_GIFIMP_WIDTH) != m.widthText) SetDlgItemTextA(dialog, IDC_GIFIMP_WIDTH, m.widthText.c_str());
    if (itemText(dialog, IDC_GIFIMP_HEIGHT) != m.heightText)
        SetDlgItemTextA(dialog, IDC_GIFIMP_HEIGHT, m.heightText.c_str());
    CheckRadioButton(dialog, IDC_GIFIMP_SEQUENCE, IDC_GIFIMP_ASSEMBLED, m.checkedRadio);
    gShowing = false;
}
}  // namespace

INT_PTR CALLBACK GifImportOptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        gModel = static_cast<GifImportOptionsModel *>(reinterpret_cast<plat::DialogModel *>(lParam));
        CenterDialog(dialog);
        for (const std::string &line : gModel->frameTexts)
            SendDlgItemMessageA(dialog, IDC_GIFIMP_LIST, LB_ADDSTRING, 0, LPARAM(line.c_str()));
        // With the editor's size ruling, the size fields cannot be changed.
        for (int id = IDC_GIFIMP_WIDTH; id <= IDC_GIFIMP_HEIGHT_SPIN; ++id)
            EnableWindow(GetDlgItem(dialog, id), !gModel->sizeLocked);
        show(dialog, *gModel);
        return TRUE;
    }
    case WM_VSCROLL: {
        if (!gModel) return FALSE;
        readFields(dialog, *gModel);
        gModel->spin(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam));
        show(dialog, *gModel);
        return TRUE;
    }
    case WM_COMMAND: {
        if (!gModel || gShowing) return FALSE;
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_GIFIMP_LIST && code == LBN_SELCHANGE) {
            gModel->selectFrame(int32_t(SendDlgItemMessageA(dialog, IDC_GIFIMP_LIST, LB_GETCURSEL, 0, 0)));
        } else if ((id == IDC_GIFIMP_WIDTH || id == IDC_GIFIMP_HEIGHT) && code == EN_SETFOCUS) {
            gModel->editFocused(id);
        } else if (id >= IDC_GIFIMP_SEQUENCE && id <= IDC_GIFIMP_ASSEMBLED && code == BN_CLICKED) {
            gModel->check(id);
        } else if (id == IDOK) {
            readFields(dialog, *gModel);
            if (!gModel->pressOk()) {
                SetFocus(GetDlgItem(dialog, gModel->focus));
                show(dialog, *gModel);
                return TRUE;
            }
            intptr_t result = gModel->result;
            gModel = nullptr;
            EndDialog(dialog, result);
            return TRUE;
        } else if (id == IDCANCEL) {
            gModel->pressCancel();
            gModel = nullptr;
            EndDialog(dialog, kGifImportCancel);
            return TRUE;
        } else {
            return FALSE;
        }
        show(dialog, *gModel);
        return TRUE;
    }
    default: return FALSE;
    }
}

}  // namespace vc::win
