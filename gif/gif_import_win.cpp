// Win32 view of the GIF import options (template 109): the dialog procedure
// maps control notifications onto the portable model of gif_import.h and
// the model's state onto the controls.
#include <windows.h>

#include <string>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "gif/gif_import.h"
#include "platform/platform_win.h"
#include "resources/strings.h"

namespace vc::win {

namespace {

int32_t listSelection(HWND dialog) {
    return int32_t(SendDlgItemMessageA(dialog, IDC_GIFIMP_LIST, LB_GETCURSEL, 0, 0));
}

// The fields as the user left them.
void readFields(HWND dialog, GifImportOptionsModel &m) {
    m.widthText = itemText(dialog, IDC_GIFIMP_WIDTH);
    m.heightText = itemText(dialog, IDC_GIFIMP_HEIGHT);
    m.listSelection = listSelection(dialog);
}

// Writing the fields raises change notifications only, which the view does
// not answer, and checking a radio button raises none.
void show(HWND dialog, const GifImportOptionsModel &m) {
    showText(dialog, IDC_GIFIMP_WIDTH, m.widthText);
    showText(dialog, IDC_GIFIMP_HEIGHT, m.heightText);
    CheckRadioButton(dialog, IDC_GIFIMP_SEQUENCE, IDC_GIFIMP_ASSEMBLED, m.checkedRadio);
}

INT_PTR CALLBACK GifImportOptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *m = viewModel<GifImportOptionsModel>(dialog, message, lParam);
    if (!m) return FALSE;
    switch (message) {
    case WM_INITDIALOG: {
        CenterDialog(dialog);
        for (const std::string &line : m->frameTexts)
            SendDlgItemMessageA(dialog, IDC_GIFIMP_LIST, LB_ADDSTRING, 0, LPARAM(line.c_str()));
        // With the editor's size ruling, the size fields cannot be changed.
        for (int id = IDC_GIFIMP_WIDTH; id <= IDC_GIFIMP_HEIGHT_SPIN; ++id)
            EnableWindow(GetDlgItem(dialog, id), m->enabled(id));
        show(dialog, *m);
        return TRUE;
    }
    case WM_VSCROLL:
        readFields(dialog, *m);
        m->scroll(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam));
        show(dialog, *m);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDC_GIFIMP_LIST && code == LBN_SELCHANGE) {
            (void)m->select(id, listSelection(dialog));  // the list is the model's own
        } else if ((id == IDC_GIFIMP_WIDTH || id == IDC_GIFIMP_HEIGHT) && code == EN_SETFOCUS) {
            // Going into a size field already chooses the sequence; what
            // was typed into the other field stays.
            readFields(dialog, *m);
            m->edited(id);
        } else if (id == IDOK || id == IDCANCEL ||
                   (code == BN_CLICKED && id >= IDC_GIFIMP_SEQUENCE && id <= IDC_GIFIMP_ASSEMBLED)) {
            readFields(dialog, *m);
            if (!m->click(id) && id == IDOK) SetFocus(GetDlgItem(dialog, m->focus));  // refused: beeped
            if (endWhenEnded(dialog, *m)) return TRUE;
        } else {
            return FALSE;
        }
        show(dialog, *m);
        return TRUE;
    }
    default: return FALSE;
    }
}

const DialogViewRegistration kView{IDD_GIF_IMPORT, &GifImportOptionsProc};

}  // namespace

}  // namespace vc::win
