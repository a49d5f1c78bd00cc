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

class AviImportView : public DialogView<AviImportModel> {
    INT_PTR start(AviImportModel &m) override {
        (void)bindReel(GetDlgItem(dialog, kAviImportReel), m.reel);
        HWND list = GetDlgItem(dialog, kAviImportSelList);
        RECT client{};
        GetClientRect(list, &client);
        m.selectionWidth = client.right;
        m.measure = [list](const std::string &text) { return measureIn(list, text); };
        // Button 109's command carrying the frame, handled once the click is.
        m.postSelect = [d = dialog](int32_t anchor) { PostMessageA(d, WM_COMMAND, kAviImportSelect, anchor); };
        m.updateSelection();
        show(m);
        return TRUE;
    }
    void show(AviImportModel &m) override {
        showTexts(m, {{kAviImportCount, &AviImportModel::countText}, {kAviImportSize, &AviImportModel::sizeText},
                      {kAviImportRate, &AviImportModel::rateText}, {kAviImportSelCount, &AviImportModel::selCountText},
                      {kAviImportSelList, &AviImportModel::selText}, {kAviFrameLabel, &AviImportModel::frameLabel}});
        CheckDlgButton(dialog, kAviImportPalette, m.palette ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, kAviImportStretch, m.stretch ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, kAviImportDither, m.dither ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dialog, kAviImportPalette), m.paletteEnabled);
        EnableWindow(GetDlgItem(dialog, kAviImportStretch), m.stretchEnabled);
        EnableWindow(GetDlgItem(dialog, IDOK), m.enabled(IDOK));
        syncReel(GetDlgItem(dialog, kAviImportReel));
    }
    Step command(AviImportModel &m, int id, int code, LPARAM lParam) override {
        if (id == kAviImportReel) {
            readKeys(m);
            m.reelNotify(id, code, int32_t(lParam));
            return Step::show;
        }
        if (id == kAviImportSelect) {
            // A click carries the button's window, the posted command the
            // Ctrl+clicked frame.
            const bool posted = HWND(lParam) != GetDlgItem(dialog, kAviImportSelect);
            m.selectFrames(posted ? int32_t(lParam) : 0);
            return Step::show;
        }
        if (code != BN_CLICKED) return Step::pass;
        (void)m.click(id);
        return Step::act;
    }
    INT_PTR other(AviImportModel &m, UINT message, WPARAM, LPARAM lParam) override {
        if (message != REEL_DRAWFRAME) return FALSE;
        const auto &d = *reinterpret_cast<const REELDRAW *>(lParam);
        if (!m.draw || !m.draw(m.file, d.frame, d.dc, d.x, d.y, d.cx, d.cy, 1)) DrawFramePlaceholder(&d);
        return TRUE;
    }
};

class AviSelectFramesView : public DialogView<AviSelectFramesModel> {
    void show(AviSelectFramesModel &m) override {
        showTexts(m, {{kAviSelectFrom, &AviSelectFramesModel::fromText},
                      {kAviSelectNumber, &AviSelectFramesModel::numberText},
                      {kAviSelectStep, &AviSelectFramesModel::stepText}});
    }
    Step command(AviSelectFramesModel &m, int id, int, LPARAM) override {
        if (id != IDOK && id != IDCANCEL) return Step::pass;
        m.fromText = itemText(dialog, kAviSelectFrom);
        m.numberText = itemText(dialog, kAviSelectNumber);
        m.stepText = itemText(dialog, kAviSelectStep);
        if (!m.click(id) && m.focus) SetFocus(GetDlgItem(dialog, m.focus));
        return Step::end;
    }
};

const DialogViewRegistration kImportView{kAviImportTemplate, &runView<AviImportView>};
const DialogViewRegistration kSelectView{kAviSelectTemplate, &runView<AviSelectFramesView>};

}  // namespace

}  // namespace vc::win
