// Win32 view of "Define Cursor animation" (template 106): both pages in one
// window, the two film strips lent the model's strip models, the page and
// play buttons drawn from bitmaps 101 and 102, the live preview with its
// timer, and the editor's frames drawn into the strips' cells. Every rule
// is the portable model's (cursor_anim_dialog.h); this file only reads the
// controls into it and shows it.
#include <windows.h>

#include <string>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "controls/reel.h"
#include "controls/reel_win.h"
#include "cursor/cursor_anim_dialog.h"
#include "platform/platform_win.h"
#include "resources/strings.h"

namespace vc::win {

static_assert(kAnimTemplate == IDD_CURSOR_ANIMATION && kAnimStepReel == IDC_ANIM_STEP_REEL &&
              kAnimFrameReel == IDC_ANIM_FRAME_REEL && kAnimPreview == IDC_ANIM_PREVIEW &&
              kAnimStop == IDC_ANIM_STOP && kAnimPlay == IDC_ANIM_PLAY && kAnimRate == IDC_ANIM_RATE &&
              kAnimHotspotY == IDC_ANIM_HOTSPOT_Y && kAnimSequencePage == IDC_ANIM_SEQUENCE_PAGE);

namespace {

constexpr COLORREF kLightGrey = RGB(192, 192, 192), kDarkGrey = RGB(128, 128, 128);
constexpr DWORD kDestAndNotSource = 0x00220326;  // DSna: clears where the mask is set
// What the window needs beside the model: the loaded pictures, the
// preview's colour and mask bitmaps, and what is on screen now.
struct Kept {
    HBITMAP pages = nullptr, buttons = nullptr;
    HBITMAP color = nullptr, mask = nullptr;
    int shownPage = 0, shownPlay = 0;
    unsigned shownRepaints = 0;
    UINT timerInterval = 0;  // 0 while no timer runs
    int pressed = 0;         // a page or play button held down with the mouse
};

std::string number(int v) { return v >= 0 ? std::to_string(v) : std::string(); }

void readFields(HWND dialog, CursorAnimationDialogModel &m) {
    m.titleText = itemText(dialog, kAnimTitle);
    m.authorText = itemText(dialog, kAnimAuthor);
    m.rateText = itemText(dialog, kAnimRate);
    m.xText = itemText(dialog, kAnimHotspotX);
    m.yText = itemText(dialog, kAnimHotspotY);
}

void showModel(HWND dialog, CursorAnimationDialogModel &m, Kept &v) {
    showText(dialog, kAnimFrameCount, std::to_string(m.frameCount()));
    showText(dialog, kAnimFramesUsed, std::to_string(m.framesUsed()));
    showText(dialog, kAnimStepCount, std::to_string(m.stepCount()));
    showText(dialog, kAnimPosition, number(m.position));
    showText(dialog, kAnimFrame, number(m.shownFrame));
    showText(dialog, kAnimRate, m.rateText);
    showText(dialog, kAnimHotspotX, m.xText);
    showText(dialog, kAnimHotspotY, m.yText);
    EnableWindow(GetDlgItem(dialog, kAnimRate), m.rateEnabled);
    EnableWindow(GetDlgItem(dialog, IDOK), m.okEnabled());
    for (int id : {kAnimAdd, kAnimInsert, kAnimReplace}) EnableWindow(GetDlgItem(dialog, id), m.addEnabled());
    for (int id = kAnimFrameReel; id <= kAnimDeleteAll; ++id)
        ShowWindow(GetDlgItem(dialog, id), m.cyclePage ? SW_HIDE : SW_SHOW);
    for (int id = kAnimSpeedGroup; id <= IDC_ANIM_Y_LABEL; ++id)
        ShowWindow(GetDlgItem(dialog, id), m.cyclePage ? SW_SHOW : SW_HIDE);
    CheckRadioButton(dialog, kAnimRateEach, kAnimRateAll, m.rateForAll ? kAnimRateAll : kAnimRateEach);
    CheckRadioButton(dialog, kAnimHotspotEach, kAnimHotspotCommon,
                     m.hotspotCommon ? kAnimHotspotCommon : kAnimHotspotEach);
    CheckDlgButton(dialog, kAnimShowHotspot, m.showHotspot ? BST_CHECKED : BST_UNCHECKED);
    if (v.shownPage != m.activePageButton) {
        v.shownPage = m.activePageButton;
        InvalidateRect(GetDlgItem(dialog, kAnimSequencePage), nullptr, FALSE);
        InvalidateRect(GetDlgItem(dialog, kAnimCyclePage), nullptr, FALSE);
    }
    if (v.shownPlay != m.activePlayButton) {
        v.shownPlay = m.activePlayButton;
        InvalidateRect(GetDlgItem(dialog, kAnimStop), nullptr, FALSE);
        InvalidateRect(GetDlgItem(dialog, kAnimPlay), nullptr, FALSE);
    }
    if (v.shownRepaints != m.repaints) {
        v.shownRepaints = m.repaints;
        InvalidateRect(GetDlgItem(dialog, kAnimPreview), nullptr, FALSE);
    }
    const UINT interval = m.timerRunning ? UINT(m.timerInterval) : 0;
    if (interval != v.timerInterval) {
        if (interval) SetTimer(dialog, kAnimTimerId, interval, nullptr);
        else KillTimer(dialog, kAnimTimerId);
        v.timerInterval = interval;
    }
    syncReel(GetDlgItem(dialog, kAnimStepReel));
    syncReel(GetDlgItem(dialog, kAnimFrameReel));
}

// The preview background, on the nearest colour of the editor's palette.
COLORREF previewBackground(HPALETTE palette) {
    COLORREF b = CursorAnimationDialogModel::background();
    if (!palette) return b;
    PALETTEENTRY e{};
    if (!GetPaletteEntries(palette, GetNearestPaletteIndex(palette, b), 1, &e)) return b;
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

void invertCross(HDC dc, int x, int y, int width, int height) {
    PatBlt(dc, x, 0, 1, height, DSTINVERT);
    PatBlt(dc, 0, y, width, 1, DSTINVERT);
}

// The preview (button 144): the frame of the preview step with its hotspot
// on the centre, the screen colour's pixels in the background colour.
void drawPreview(const DRAWITEMSTRUCT &di, CursorAnimationDialogModel &m, Kept &v) {
    HDC dc = di.hDC;
    const int pw = di.rcItem.right - di.rcItem.left, ph = di.rcItem.bottom - di.rcItem.top;
    if (m.stepCount() == 0) {
        PatBlt(dc, di.rcItem.left, di.rcItem.top, pw, ph, PATCOPY);
        return;
    }
    const int w = m.imageWidth, h = m.imageHeight;
    HBITMAP frame = nullptr;
    HDC source = static_cast<HDC>(m.editor().frameDc(reinterpret_cast<void **>(&frame), m.previewFrame));
    if (!source || w <= 0 || h <= 0) return;
    if (!v.color) v.color = CreateCompatibleBitmap(dc, w, h);
    if (!v.mask) v.mask = CreateBitmap(w, h, 1, 1, nullptr);
    auto palette = static_cast<HPALETTE>(m.palette);
    HPALETTE oldPalette = palette ? SelectPalette(dc, palette, FALSE) : nullptr;
    if (palette) RealizePalette(dc);
    const COLORREF background = previewBackground(palette);
    const int hx = m.previewX, hy = m.previewY;

    HDC work = CreateCompatibleDC(dc), maskDc = CreateCompatibleDC(dc);
    HGDIOBJ oldFrame = frame ? SelectObject(source, frame) : nullptr;
    HGDIOBJ oldWork = SelectObject(work, v.color), oldMask = SelectObject(maskDc, v.mask);
    BitBlt(work, 0, 0, w, h, source, 0, 0, SRCCOPY);
    uint32_t screen = 0;
    if (m.editor().screenColor(screen)) {
        const COLORREF oldBk = SetBkColor(source, screen);
        BitBlt(maskDc, 0, 0, w, h, source, 0, 0, SRCCOPY);  // 1 where the screen colour is
        SetBkColor(source, oldBk);
        if (m.showHotspot) invertCross(work, hx, hy, w, h);
        SetTextColor(work, RGB(0, 0, 0));
        SetBkColor(work, RGB(255, 255, 255));
        BitBlt(work, 0, 0, w, h, maskDc, 0, 0, kDestAndNotSource);
        SetBkColor(work, background);
        BitBlt(work, 0, 0, w, h, maskDc, 0, 0, SRCPAINT);
        // Inverted twice the cursor's own pixels are themselves again; over
        // the background the lines stay.
        if (m.showHotspot) invertCross(work, hx, hy, w, h);
    }
    if (oldFrame) SelectObject(source, oldFrame);

    const int x0 = pw / 2 - hx, y0 = ph / 2 - hy;
    HBRUSH brush = CreateSolidBrush(background);
    const RECT around[4] = {{0, 0, pw, y0}, {0, y0 + h, pw, ph}, {0, y0, x0, y0 + h}, {x0 + w, y0, pw, y0 + h}};
    for (RECT r : around) {
        OffsetRect(&r, di.rcItem.left, di.rcItem.top);
        FillRect(dc, &r, brush);
    }
    DeleteObject(brush);
    if (m.showHotspot) {
        PatBlt(dc, di.rcItem.left + pw / 2, di.rcItem.top, 1, ph, DSTINVERT);
        PatBlt(dc, di.rcItem.left, di.rcItem.top + ph / 2, pw, 1, DSTINVERT);
    }
    BitBlt(dc, di.rcItem.left + x0, di.rcItem.top + y0, w, h, work, 0, 0, SRCCOPY);
    SelectObject(work, oldWork);
    SelectObject(maskDc, oldMask);
    DeleteDC(work);
    DeleteDC(maskDc);
    if (palette) SelectPalette(dc, oldPalette, FALSE);
}

// A page or play button: a three-dimensional face with its picture, the
// bottom-row picture one pixel lower and to the right when active.
void drawPictureButton(const DRAWITEMSTRUCT &di, HBITMAP pictures, int pictureX, int size, int height, bool active) {
    HDC dc = di.hDC;
    const RECT r = di.rcItem;
    HBRUSH face = CreateSolidBrush(active ? kDarkGrey : kLightGrey);
    FillRect(dc, &r, face);
    DeleteObject(face);
    const COLORREF lit = active ? RGB(0, 0, 0) : RGB(255, 255, 255);
    const COLORREF shade = active ? RGB(255, 255, 255) : kDarkGrey;
    drawLine(dc, lit, r.left, r.bottom - 1, r.left, r.top);
    drawLine(dc, lit, r.left, r.top, r.right, r.top);
    drawLine(dc, shade, r.right - 1, r.top + 1, r.right - 1, r.bottom);
    drawLine(dc, shade, r.left + 1, r.bottom - 1, r.right, r.bottom - 1);
    if (!pictures) return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, pictures);
    const int shift = active ? 1 : 0;
    const int x = r.left + (r.right - r.left - size) / 2 + shift, y = r.top + (r.bottom - r.top - height) / 2 + shift;
    BitBlt(dc, x, y, size, height, memory, pictureX, active ? height : 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

// A page or play button held down draws itself active, and its partner
// inactive until it is let go.
void drawItem(HWND dialog, const DRAWITEMSTRUCT &di, CursorAnimationDialogModel &m, Kept &v) {
    const int id = int(di.CtlID);
    const bool pages = id == kAnimSequencePage || id == kAnimCyclePage;
    if (!pages && id != kAnimStop && id != kAnimPlay) {
        if (id == kAnimPreview) drawPreview(di, m, v);
        return;
    }
    const int partner = pages ? kAnimSequencePage + kAnimCyclePage - id : kAnimStop + kAnimPlay - id;
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    if (pressed != (v.pressed == id)) {
        v.pressed = pressed ? id : 0;
        InvalidateRect(GetDlgItem(dialog, partner), nullptr, FALSE);
    }
    const int active = pages ? m.activePageButton : m.activePlayButton;
    const bool on = pressed || (id == active && v.pressed != partner);
    if (pages) drawPictureButton(di, v.pages, id == kAnimSequencePage ? 0 : 100, 100, 17, on);
    else drawPictureButton(di, v.buttons, id == kAnimStop ? 0 : 24, 24, 24, on);
}

// A cell of either strip: the frame of the cell (strip 120) or of the
// cell's step (strip 102), stretched in; the placeholder when the editor
// cannot draw it.
void drawCell(int stripId, const REELDRAW &d, CursorAnimationDialogModel &m) {
    int frame = d.frame;
    if (stripId == kAnimStepReel) {
        const CursorAnimationDocument *doc = m.document();
        if (!doc || frame < 0 || frame >= m.stepCount()) return;
        frame = int(doc->sequence[frame]);
    }
    drawEditorFrame(d, m.editor(), frame, m.palette, m.imageWidth, m.imageHeight);
}

class CursorAnimationView : public DialogView<CursorAnimationDialogModel> {
    Kept kept_;

    INT_PTR start(CursorAnimationDialogModel &m) override {
        (void)bindReel(GetDlgItem(dialog, kAnimStepReel), m.steps);
        (void)bindReel(GetDlgItem(dialog, kAnimFrameReel), m.frames);
        const auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
        kept_.pages = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_PAGE_BUTTONS));
        kept_.buttons = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_PLAY_BUTTONS));
        for (int id : {kAnimTitle, kAnimAuthor}) SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, kAniTextSize, 0);
        SetDlgItemTextA(dialog, kAnimTitle, m.titleText.c_str());
        SetDlgItemTextA(dialog, kAnimAuthor, m.authorText.c_str());
        for (int id : {kAnimStop, kAnimPlay})
            SetWindowPos(GetDlgItem(dialog, id), nullptr, 0, 0, 29, 28, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        show(m);
        return TRUE;
    }
    void show(CursorAnimationDialogModel &m) override { showModel(dialog, m, kept_); }
    void finish(CursorAnimationDialogModel *) override {
        KillTimer(dialog, kAnimTimerId);
        for (HBITMAP b : {kept_.pages, kept_.buttons, kept_.color, kept_.mask})
            if (b) DeleteObject(b);
    }
    Step command(CursorAnimationDialogModel &m, int id, int code, LPARAM lParam) override {
        const bool strip = id == kAnimStepReel || id == kAnimFrameReel;
        // The edits' own notifications (also those of showing the model)
        // are not the user's actions; the fields are read when one comes.
        if (!strip && id != IDOK && id != IDCANCEL && id != kAnimHelp && code != BN_CLICKED) return Step::pass;
        read(m);
        readKeys(m);
        if (strip) {
            m.reelNotify(id, code, int32_t(lParam));
            return Step::show;
        }
        (void)m.click(id);  // a refusal has beeped
        return Step::act;
    }
    void read(CursorAnimationDialogModel &m) override { readFields(dialog, m); }
    Step scroll(CursorAnimationDialogModel &m, int id, int code) override { return readAndScroll(m, id, code); }
    INT_PTR other(CursorAnimationDialogModel &m, UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_TIMER:
            if (wParam != kAnimTimerId) return FALSE;
            m.timerTick();
            show(m);
            return TRUE;
        case WM_DRAWITEM: drawItem(dialog, *reinterpret_cast<const DRAWITEMSTRUCT *>(lParam), m, kept_); return TRUE;
        case REEL_DRAWFRAME: drawCell(int(wParam), *reinterpret_cast<const REELDRAW *>(lParam), m); return TRUE;
        default: return FALSE;
        }
    }
    void *palette(CursorAnimationDialogModel &m) override { return m.palette; }
};

const DialogViewRegistration kView{kAnimTemplate, &runView<CursorAnimationView>};

}  // namespace

}  // namespace vc::win
