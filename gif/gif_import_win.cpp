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

class GifImportOptionsView : public DialogView<GifImportOptionsModel> {
    INT_PTR start(GifImportOptionsModel &m) override {
        for (const std::string &line : m.frameTexts)
            SendDlgItemMessageA(dialog, IDC_GIFIMP_LIST, LB_ADDSTRING, 0, LPARAM(line.c_str()));
        // With the editor's size ruling, the size fields cannot be changed.
        for (int id = IDC_GIFIMP_WIDTH; id <= IDC_GIFIMP_HEIGHT_SPIN; ++id)
            EnableWindow(GetDlgItem(dialog, id), m.enabled(id));
        show(m);
        return TRUE;
    }
    // The fields as the user left them.
    void read(GifImportOptionsModel &m) override {
        m.widthText = itemText(dialog, IDC_GIFIMP_WIDTH);
        m.heightText = itemText(dialog, IDC_GIFIMP_HEIGHT);
        m.listSelection = listSelection(dialog);
    }
    // Writing the fields raises change notifications only, which the view
    // does not answer, and checking a radio button raises none.
    void show(GifImportOptionsModel &m) override {
        showText(dialog, IDC_GIFIMP_WIDTH, m.widthText);
        showText(dialog, IDC_GIFIMP_HEIGHT, m.heightText);
        CheckRadioButton(dialog, IDC_GIFIMP_SEQUENCE, IDC_GIFIMP_ASSEMBLED, m.checkedRadio);
    }
    Step scroll(GifImportOptionsModel &m, int id, int code) override { return readAndScroll(m, id, code); }
    Step command(GifImportOptionsModel &m, int id, int code, LPARAM) override {
        if (id == IDC_GIFIMP_LIST && code == LBN_SELCHANGE) {
            (void)m.select(id, listSelection(dialog));  // the list is the model's own
            return Step::show;
        }
        if ((id == IDC_GIFIMP_WIDTH || id == IDC_GIFIMP_HEIGHT) && code == EN_SETFOCUS) {
            // Going into a size field already chooses the sequence; what
            // was typed into the other field stays.
            read(m);
            m.edited(id);
            return Step::show;
        }
        if (id != IDOK && id != IDCANCEL && (code != BN_CLICKED || id < IDC_GIFIMP_SEQUENCE || id > IDC_GIFIMP_ASSEMBLED))
            return Step::pass;
        read(m);
        if (!m.click(id) && id == IDOK) SetFocus(GetDlgItem(dialog, m.focus));  // refused: beeped
        return Step::act;
    }
};

const DialogViewRegistration kView{IDD_GIF_IMPORT, &runView<GifImportOptionsView>};

}  // namespace

}  // namespace vc::win
