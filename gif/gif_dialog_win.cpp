// Win32 view of "GIF-Animation" (template 110): every control mapped onto
// the portable model of gif_dialog.h, the film strip lent the model's strip
// model, the editor's frames drawn into its cells, the two colour swatches,
// grey disabled edits and the editor's palette. The model decides; this
// file reads the controls into it and shows it.
#include <windows.h>

#include <string>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "controls/reel.h"
#include "controls/reel_win.h"
#include "gif/gif_dialog.h"
#include "platform/platform_win.h"
#include "resources/strings.h"

namespace vc::win {

namespace {

constexpr COLORREF kLightGrey = RGB(192, 192, 192);

HBRUSH brushOf(uint32_t stored) { return reinterpret_cast<HBRUSH>(intptr_t(int32_t(stored))); }

std::string commentText(HWND dialog) {
    char buffer[kGifCommentMax + 4] = {};
    GetDlgItemTextA(dialog, IDC_GIFANIM_COMMENT, buffer, sizeof buffer);
    return buffer;
}

void readFields(HWND dialog, GifAnimationDialogModel &m) {
    m.comment = commentText(dialog);
    DWORD end = 0;
    SendDlgItemMessageA(dialog, IDC_GIFANIM_COMMENT, EM_GETSEL, 0, LPARAM(&end));
    m.commentCaret = end;
    m.loopCount = itemText(dialog, IDC_GIFANIM_LOOP_COUNT);
    m.delay = itemText(dialog, IDC_GIFANIM_DELAY);
    m.left = itemText(dialog, IDC_GIFANIM_LEFT);
    m.top = itemText(dialog, IDC_GIFANIM_TOP);
}

void check(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

// Beside the model, the view keeps whether it is writing the controls
// itself (their notifications are then not the user's) and which
// background it shows.
struct Shown {
    bool showing = false;
    int background = 0;
};

void showModel(HWND dialog, GifAnimationDialogModel &m, Shown &v) {
    v.showing = true;
    if (commentText(dialog) != m.comment) SetDlgItemTextA(dialog, IDC_GIFANIM_COMMENT, m.comment.c_str());
    check(dialog, IDC_GIFANIM_COMMENT_ON, m.commentOn);
    check(dialog, IDC_GIFANIM_REPEAT, m.repeatOn);
    check(dialog, IDC_GIFANIM_INFINITE, m.infiniteChecked);
    check(dialog, IDC_GIFANIM_LOOPS, m.loopsChecked);
    check(dialog, IDC_GIFANIM_SAME_FOR_ALL, m.sameForAll);
    check(dialog, IDC_GIFANIM_DELAY_ON, m.delayOn);
    check(dialog, IDC_GIFANIM_USER_INPUT, m.userInput);
    check(dialog, IDC_GIFANIM_INTERLACED, m.interlaced);
    showText(dialog, IDC_GIFANIM_LOOP_COUNT, m.loopCount);
    showText(dialog, IDC_GIFANIM_FRAME_NUMBER, m.frameNumber);
    showText(dialog, IDC_GIFANIM_DELAY, m.delay);
    showText(dialog, IDC_GIFANIM_LEFT, m.left);
    showText(dialog, IDC_GIFANIM_TOP, m.top);
    if (SendDlgItemMessageA(dialog, IDC_GIFANIM_DISPOSAL, CB_GETCURSEL, 0, 0) != m.disposal)
        SendDlgItemMessageA(dialog, IDC_GIFANIM_DISPOSAL, CB_SETCURSEL, WPARAM(m.disposal), 0);
    for (int id = IDC_GIFANIM_COMMENT_ON; id <= IDC_GIFANIM_BROWSER; ++id)
        if (HWND item = GetDlgItem(dialog, id); item && id != IDC_GIFANIM_STRIP) EnableWindow(item, m.enabled(id));
    if (v.background != m.backgroundChanges) {
        // A new background colour: a new swatch brush, kept in the record
        // while the dialog is open.
        v.background = m.backgroundChanges;
        if (m.record->backgroundBrush) DeleteObject(brushOf(m.record->backgroundBrush));
        HBRUSH brush = CreateSolidBrush(PALETTEINDEX(m.record->backgroundIndex));
        m.record->backgroundBrush = uint32_t(reinterpret_cast<uintptr_t>(brush));
        InvalidateRect(GetDlgItem(dialog, IDC_GIFANIM_BACKGROUND), nullptr, FALSE);
    }
    syncReel(GetDlgItem(dialog, IDC_GIFANIM_STRIP));
    v.showing = false;
}

// A colour swatch button: a raised frame (sunken while pressed, its
// content one pixel lower and to the right), the colour inset 3 pixels, or
// the button's text when there is no colour.
void drawSwatch(const DRAWITEMSTRUCT &di, GifAnimationDialogModel &m) {
    HDC dc = di.hDC;
    RECT r = di.rcItem;
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const COLORREF outer = pressed ? RGB(0, 0, 0) : RGB(255, 255, 255);
    const COLORREF under = pressed ? RGB(255, 255, 255) : RGB(0, 0, 0);
    drawLine(dc, outer, r.left, r.bottom - 1, r.left, r.top);
    drawLine(dc, outer, r.left, r.top, r.right, r.top);
    drawLine(dc, under, r.right - 1, r.top, r.right - 1, r.bottom);
    drawLine(dc, under, r.left, r.bottom - 1, r.right, r.bottom - 1);
    // The grey inner shadow, below and right when raised, above and left when pressed.
    if (pressed) {
        drawLine(dc, GetSysColor(COLOR_BTNSHADOW), r.left + 1, r.bottom - 2, r.left + 1, r.top + 1);
        drawLine(dc, GetSysColor(COLOR_BTNSHADOW), r.left + 1, r.top + 1, r.right - 1, r.top + 1);
    } else {
        drawLine(dc, GetSysColor(COLOR_BTNSHADOW), r.right - 2, r.top + 1, r.right - 2, r.bottom - 1);
        drawLine(dc, GetSysColor(COLOR_BTNSHADOW), r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 2);
    }
    if (pressed) OffsetRect(&r, 1, 1);
    InflateRect(&r, -3, -3);

    HBRUSH brush = nullptr, temporary = nullptr;
    bool outlined = false;
    if (di.CtlID == IDC_GIFANIM_BACKGROUND) {
        brush = brushOf(m.record->backgroundBrush);
    } else {
        uint32_t color = 0;
        if (EditorLink(m.callback).screenColor(color)) {
            brush = temporary = CreateSolidBrush(color);
            outlined = (color & 0xFFFFFF) == kLightGrey;  // it would vanish on the grey face
        }
    }
    if (brush) {
        auto palette = static_cast<HPALETTE>(m.palette);
        HPALETTE oldPalette = palette ? SelectPalette(dc, palette, FALSE) : nullptr;
        if (palette) RealizePalette(dc);
        if (outlined) {
            HGDIOBJ old = SelectObject(dc, brush);
            Rectangle(dc, r.left, r.top, r.right, r.bottom);
            SelectObject(dc, old);
        } else {
            FillRect(dc, &r, brush);
        }
        if (palette) SelectPalette(dc, oldPalette, FALSE);
    } else {
        char text[64] = {};
        GetWindowTextA(di.hwndItem, text, sizeof text);
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetBkMode(dc, oldMode);
    }
    if (temporary) DeleteObject(temporary);
}

// A cell of the strip: the editor's picture of the frame stretched in, or
// the placeholder when the editor has none.
void drawCell(const REELDRAW &d, GifAnimationDialogModel &m) {
    drawEditorFrame(d, EditorLink(m.callback), d.frame, m.palette, m.record->outputWidth, m.record->outputHeight);
}

class GifAnimationView : public DialogView<GifAnimationDialogModel> {
    GifAnimRecord *record_ = nullptr;
    Shown shown_;

    INT_PTR start(GifAnimationDialogModel &m) override {
        record_ = m.record;
        (void)bindReel(GetDlgItem(dialog, IDC_GIFANIM_STRIP), m.strip);
        for (const std::string &name : m.disposalNames)
            SendDlgItemMessageA(dialog, IDC_GIFANIM_DISPOSAL, CB_ADDSTRING, 0, LPARAM(name.c_str()));
        SendDlgItemMessageA(dialog, IDC_GIFANIM_COMMENT, EM_LIMITTEXT, kGifCommentMax, 0);
        show(m);
        return TRUE;
    }
    void show(GifAnimationDialogModel &m) override { showModel(dialog, m, shown_); }
    // The swatch brush ends with the dialog: the record leaves without one.
    void finish(GifAnimationDialogModel *) override {
        if (record_->backgroundBrush) DeleteObject(brushOf(record_->backgroundBrush));
        record_->backgroundBrush = 0;
    }
    Step command(GifAnimationDialogModel &m, int id, int code, LPARAM lParam) override {
        if (shown_.showing) return Step::pass;
        if (id == IDC_GIFANIM_STRIP) {
            read(m);
            readKeys(m);
            m.reelNotify(id, code, int32_t(lParam));
        } else if (id == IDC_GIFANIM_COMMENT) {
            if (code != EN_UPDATE && code != EN_KILLFOCUS && code != EN_SETFOCUS) return Step::pass;
            read(m);
            readKeys(m);
            m.notify(id, code);
        } else if (id == IDC_GIFANIM_DISPOSAL) {
            if (code != CBN_SELCHANGE) return Step::pass;
            (void)m.select(id, int32_t(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0)));
        } else if (id == IDOK || id == IDCANCEL || code == BN_CLICKED) {
            read(m);
            readKeys(m);
            const bool done = m.click(id);
            if (endWhenEnded(dialog, m)) return Step::done;
            if (id == IDOK && !done && m.focus == IDC_GIFANIM_COMMENT) {
                // The Enter meant a line break: it goes in at the caret.
                show(m);
                HWND comment = GetDlgItem(dialog, IDC_GIFANIM_COMMENT);
                SendMessageA(comment, EM_SETSEL, WPARAM(m.commentCaret), LPARAM(m.commentCaret));
                SetFocus(comment);
            }
            if (id == IDC_GIFANIM_TRANSPARENT) InvalidateRect(GetDlgItem(dialog, id), nullptr, FALSE);
        } else {
            return Step::pass;
        }
        return Step::show;
    }
    void read(GifAnimationDialogModel &m) override { readFields(dialog, m); }
    Step scroll(GifAnimationDialogModel &m, int id, int code) override { return readAndScroll(m, id, code); }
    INT_PTR other(GifAnimationDialogModel &m, UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_DRAWITEM: drawSwatch(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam), m); return TRUE;
        case REEL_DRAWFRAME: drawCell(*reinterpret_cast<const REELDRAW *>(lParam), m); return TRUE;
        case WM_CTLCOLOREDIT:
            // Disabled edits are grey on grey.
            if (IsWindowEnabled(reinterpret_cast<HWND>(lParam))) return FALSE;
            SetBkColor(reinterpret_cast<HDC>(wParam), kLightGrey);
            return INT_PTR(GetStockObject(LTGRAY_BRUSH));
        default: return FALSE;
        }
    }
    void *palette(GifAnimationDialogModel &m) override { return m.palette; }
};

const DialogViewRegistration kView{IDD_GIF_ANIMATION, &runView<GifAnimationView>};

}  // namespace

}  // namespace vc::win
