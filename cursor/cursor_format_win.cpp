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

class SelectCursorSizeView : public DialogView<SelectCursorSizeModel> {
    INT_PTR start(SelectCursorSizeModel &m) override {
        CheckRadioButton(dialog, IDC_CURSOR_SIZE16, IDC_CURSOR_SIZE_OTHER, m.checked);
        SendDlgItemMessageA(dialog, IDC_CURSOR_WARNING, STM_SETICON,
                            WPARAM(LoadIconA(nullptr, MAKEINTRESOURCEA(32515) /* IDI_EXCLAMATION */)), 0);
        return TRUE;
    }
    Step command(SelectCursorSizeModel &m, int id, int code, LPARAM) override {
        if (id != IDOK && id != IDCANCEL && code != BN_CLICKED) return Step::pass;
        if (!m.click(id)) return Step::pass;
        // The icon is the system's; the control lets go of it at the end.
        if (m.ended()) SendDlgItemMessageA(dialog, IDC_CURSOR_WARNING, STM_SETICON, 0, 0);
        return Step::end;
    }
};

class ChangeCursorFormatView : public DialogView<ChangeCursorFormatModel> {
    // The model was started (editor's size and colours asked) by
    // ChangeCursorFormatDialog before the dialog opened.
    INT_PTR start(ChangeCursorFormatModel &m) override {
        SetDlgItemTextA(dialog, IDC_CURSOR_X, m.x.c_str());
        SetDlgItemTextA(dialog, IDC_CURSOR_Y, m.y.c_str());
        show(m);
        return TRUE;
    }
    void show(ChangeCursorFormatModel &m) override {
        CheckRadioButton(dialog, IDC_CURSOR_SIZE16, IDC_CURSOR_SIZE_OTHER, m.sizeChoice);
        if (m.colorChoice) CheckRadioButton(dialog, IDC_CURSOR_COLORS2, IDC_CURSOR_COLORS256, m.colorChoice);
        CheckDlgButton(dialog, IDC_CURSOR_SCALE, m.scale ? BST_CHECKED : BST_UNCHECKED);
    }
    Step command(ChangeCursorFormatModel &m, int id, int code, LPARAM) override {
        if (id != IDOK && id != IDCANCEL && code != BN_CLICKED) return Step::pass;
        m.x = itemText(dialog, IDC_CURSOR_X);
        m.y = itemText(dialog, IDC_CURSOR_Y);
        // A refused OK has beeped; the dialog stays for the fields to be corrected.
        if (!m.click(id) && id != IDOK) return Step::pass;
        return Step::act;
    }
};

const DialogViewRegistration kSelectView{kSelectCursorTemplate, &runView<SelectCursorSizeView>};
const DialogViewRegistration kChangeView{kChangeCursorTemplate, &runView<ChangeCursorFormatView>};

}  // namespace

}  // namespace vc::win
