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

class AviExportView : public DialogView<AviExportModel> {
    void show(AviExportModel &m) override {
        showTexts(m, {{kAviExportRate, &AviExportModel::rateText}, {kAviExportDelay, &AviExportModel::delayText},
                      {kAviExportWave, &AviExportModel::waveText}, {kAviFrameLabel, &AviExportModel::frameLabel},
                      {kAviExportPosition, &AviExportModel::positionText}, {kAviExportTotal, &AviExportModel::totalText}});
        EnableWindow(GetDlgItem(dialog, kAviExportCompress), m.compressEnabled);
        syncReel(GetDlgItem(dialog, kAviExportReel));
    }
    // The edits as typed; the model reads them when it acts.
    void read(AviExportModel &m) override {
        m.rateText = itemText(dialog, kAviExportRate);
        m.delayText = itemText(dialog, kAviExportDelay);
    }
    INT_PTR start(AviExportModel &m) override {
        (void)bindReel(GetDlgItem(dialog, kAviExportReel), m.reel);
        SendDlgItemMessageA(dialog, kAviExportDelay, EM_LIMITTEXT, 2, 0);
        show(m);
        return TRUE;
    }
    Step command(AviExportModel &m, int id, int code, LPARAM lParam) override {
        if (id == kAviExportRate && code == EN_KILLFOCUS) {
            (void)m.setText(id, itemText(dialog, id).c_str());
            show(m);
            if (m.focus) SetFocus(GetDlgItem(dialog, m.focus));
            return Step::done;
        }
        if (id != kAviExportReel && code != BN_CLICKED) return Step::pass;
        read(m);
        readKeys(m);
        if (id == kAviExportReel) {
            m.reelNotify(id, code, int32_t(lParam));
            return Step::show;
        }
        // Making the file and writing the frames run under the wait cursor.
        const bool busy = id == IDOK || id == kAviExportCompress;
        HCURSOR previous = busy ? SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514) /* IDC_WAIT */)) : nullptr;
        (void)m.click(id);
        if (busy) SetCursor(previous);
        return Step::act;
    }
    Step scroll(AviExportModel &m, int id, int code) override { return readAndScroll(m, id, code); }
    INT_PTR other(AviExportModel &m, UINT message, WPARAM, LPARAM lParam) override {
        if (message != REEL_DRAWFRAME) return FALSE;
        const auto &d = *reinterpret_cast<const REELDRAW *>(lParam);
        drawEditorFrame(d, m.editor, d.frame, m.palette, m.width, m.height);
        return TRUE;
    }
    void *palette(AviExportModel &m) override { return m.palette; }
    // A dialog destroyed before its model ended lets the model finish.
    void finish(AviExportModel *m) override {
        if (m) m->finish();
    }
};

const DialogViewRegistration kView{kAviExportTemplate, &runView<AviExportView>};

}  // namespace

}  // namespace vc::win
