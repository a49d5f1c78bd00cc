// The film-strip control on Windows: the window class "AVIREEL" and its
// window procedure. What the strip keeps and decides is the portable
// ReelModel's; this file turns messages into the model's operations and
// the model's state into pixels, the scroll bar and the window's ten state
// values. The class is local to this module: the library's dialog
// templates name it and are created with the module's instance.
#include "controls/reel_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "controls/reel.h"

namespace vc {

namespace {

bool gRegistered = false;

// Shared by every strip of the process: the sprocket bitmap and the memory
// DC it is copied from, made by the first strip and deleted by the last.
HDC gMemoryDc = nullptr;
HBITMAP gSprockets = nullptr;
int gLiveStrips = 0;

constexpr COLORREF kOlive = RGB(128, 128, 0);
constexpr COLORREF kCyan = RGB(0, 255, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr int kSprocketWidth = 60;

// One strip window: its own model until a dialog lends it the one its
// rules work on; the notifications of whichever model it shows go to the
// parent window as WM_COMMAND.
struct ReelWindow final : ReelParent {
    HWND self;
    HWND bar = nullptr;
    ReelModel own;
    ReelModel *model;
    ReelParent *lentParent = nullptr;  // the lent model's parent, given back at the end
    int32_t shownBarMax = -1, shownBarPosition = -1;

    ReelWindow(HWND w, uint32_t style) : self(w), own(GetDlgCtrlID(w), style, this), model(&own) {}
    ReelWindow(const ReelWindow &) = delete;
    ReelWindow &operator=(const ReelWindow &) = delete;

    void reelNotify(int, int code, int32_t index) override {
        SendMessageA(GetParent(self), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(self), code), LPARAM(index));
    }
};

ReelWindow *reelOf(HWND w) {
    char name[16] = {};
    if (!w || !GetClassNameA(w, name, sizeof name) || lstrcmpiA(name, kReelClassName) != 0) return nullptr;
    return reinterpret_cast<ReelWindow *>(GetWindowLongPtrA(w, GWLP_USERDATA));
}

int scrollBarHeight() { return GetSystemMetrics(SM_CYHSCROLL); }

void resizeModel(ReelWindow &w) {
    RECT rc{};
    GetClientRect(w.self, &rc);
    w.model->resize(rc.right, rc.bottom, scrollBarHeight());
}

// The model's state, its scroll bar and its repaint onto the window.
void sync(ReelWindow &w) {
    ReelModel &m = *w.model;
    if (m.barMax() != w.shownBarMax) {
        SetScrollRange(w.bar, SB_CTL, 0, m.barMax(), TRUE);
        w.shownBarMax = m.barMax();
        w.shownBarPosition = -1;
    }
    if (m.barPosition() != w.shownBarPosition) {
        SetScrollPos(w.bar, SB_CTL, m.barPosition(), TRUE);
        w.shownBarPosition = m.barPosition();
    }
    // The ten values a strip keeps in its window, in their order.
    const LONG values[10] = {
        m.painted() ? 1 : 0,
        m.cellWidth(),
        m.cellHeight(),
        m.scrollOffset(),
        m.cellsPerPage(),
        m.current(),
        m.count(),
        m.frameWidth(),
        m.frameHeight(),
        LONG(reinterpret_cast<intptr_t>(m.selectionBlock())),
    };
    for (int i = 0; i < 10; ++i) SetWindowLongA(w.self, i * 4, values[i]);
    switch (m.takeRepaint()) {
    case ReelRepaint::All: InvalidateRect(w.self, nullptr, TRUE); break;
    case ReelRepaint::Marks: InvalidateRect(w.self, nullptr, FALSE); break;
    case ReelRepaint::None: break;
    }
}

void outline(HDC dc, COLORREF color, int width, int left, int top, int right, int bottom) {
    HPEN pen = CreatePen(PS_SOLID, width, color);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, left, top, nullptr);
    LineTo(dc, right, top);
    LineTo(dc, right, bottom);
    LineTo(dc, left, bottom);
    LineTo(dc, left, top);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void paint(ReelWindow &w) {
    ReelModel &m = *w.model;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w.self, &ps);
    RECT rc{};
    GetClientRect(w.self, &rc);
    const int width = rc.right, bottom = rc.bottom - scrollBarHeight();
    const int phase = m.bandPhase();
    // The bands: rows 1 to 8 of the sprocket bitmap, shifted so that the
    // holes move with the cells.
    if (gSprockets) {
        HGDIOBJ old = SelectObject(gMemoryDc, gSprockets);
        for (int x = 0; x < width; x += kSprocketWidth) {
            const int piece = std::min(kSprocketWidth, width - x + phase);
            BitBlt(dc, x - phase, 0, piece, ReelModel::kBand, gMemoryDc, 0, 1, SRCCOPY);
            BitBlt(dc, x - phase, bottom - ReelModel::kBand, piece, ReelModel::kBand, gMemoryDc, 0, 1, SRCCOPY);
        }
        SelectObject(gMemoryDc, old);
    }
    SetStretchBltMode(dc, COLORONCOLOR);
    const int pen = GetFocus() == w.self ? 2 : 1;
    HBRUSH olive = CreateSolidBrush(kOlive);
    HGDIOBJ oldBrush = SelectObject(dc, olive);
    const int cw = m.cellWidth(), ch = m.cellHeight(), pitch = m.pitch();
    const int first = m.scrollOffset() / pitch;
    int x = ReelModel::kGap + first * pitch - m.scrollOffset();
    if (x > 0) PatBlt(dc, 0, ReelModel::kBand, x, ch, PATCOPY);
    const HWND parent = GetParent(w.self);
    for (const ReelCell &cell : m.visibleCells()) {
        x = cell.x;
        if (!m.painted()) {
            REELDRAW draw{dc, int16_t(cell.frame), int16_t(x), int16_t(ReelModel::kBand), int16_t(cw), int16_t(ch)};
            SendMessageA(parent, REEL_DRAWFRAME, WPARAM(GetDlgCtrlID(w.self)), LPARAM(&draw));
        }
        PatBlt(dc, x + cw, ReelModel::kBand, ReelModel::kGap, ch, PATCOPY);
        if (cell.selected) outline(dc, kCyan, 1, x - 3, 5, x + cw + 2, ch + 10);
        if (cell.current) outline(dc, kGreen, pen, x - 4, 4, x + cw + 2 + pen, ch + 10 + pen);
        x += pitch;
    }
    if (x < width) PatBlt(dc, x, ReelModel::kBand, width - x, ch, PATCOPY);
    SelectObject(dc, oldBrush);
    DeleteObject(olive);
    m.paintDone();
    EndPaint(w.self, &ps);
}

}  // namespace

void *reelSharedDc() { return gMemoryDc; }

namespace {

LRESULT create(HWND hwnd, const CREATESTRUCTA &cs) {
    if (gLiveStrips == 0) {
        gMemoryDc = CreateCompatibleDC(nullptr);
        gSprockets = LoadBitmapA(cs.hInstance, MAKEINTRESOURCEA(kSprocketBitmap));
    }
    ++gLiveStrips;
    auto *w = new (std::nothrow) ReelWindow(hwnd, uint32_t(cs.style));
    if (!w) return -1;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(w));
    w->bar = CreateWindowExA(0, "SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd,
                             reinterpret_cast<HMENU>(intptr_t(kReelScrollBarId)), cs.hInstance, nullptr);
    sync(*w);
    return 0;
}

void destroy(HWND hwnd) {
    if (ReelWindow *w = reelOf(hwnd)) {
        if (w->model != &w->own) w->model->setParent(w->lentParent);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        delete w;  // its own model frees its selection block
    }
    if (gLiveStrips > 0 && --gLiveStrips == 0) {
        if (gSprockets) DeleteObject(gSprockets);
        if (gMemoryDc) DeleteDC(gMemoryDc);
        gSprockets = nullptr;
        gMemoryDc = nullptr;
    }
}

LRESULT CALLBACK reelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return create(hwnd, *reinterpret_cast<const CREATESTRUCTA *>(lParam));
    if (message == WM_DESTROY) {
        destroy(hwnd);
        return 0;
    }
    ReelWindow *w = reelOf(hwnd);
    if (!w) return DefWindowProcA(hwnd, message, wParam, lParam);
    ReelModel &m = *w->model;
    LRESULT result = 0;
    switch (message) {
    case WM_SIZE:
        MoveWindow(w->bar, 0, HIWORD(lParam) - scrollBarHeight(), LOWORD(lParam), scrollBarHeight(), TRUE);
        m.resize(LOWORD(lParam), HIWORD(lParam), scrollBarHeight());
        result = DefWindowProcA(hwnd, message, wParam, lParam);
        break;
    case WM_PAINT: paint(*w); break;
    case WM_ERASEBKGND: m.backgroundErased(); break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(hwnd, nullptr, FALSE); break;
    case WM_GETDLGCODE: result = DLGC_WANTARROWS; break;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        m.leftButtonDown(LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_LBUTTONDBLCLK: m.leftDoubleClick(LOWORD(lParam), HIWORD(lParam)); break;
    case WM_RBUTTONDOWN: m.rightButtonDown(LOWORD(lParam), HIWORD(lParam)); break;
    case WM_KEYDOWN: m.keyDown(int(wParam)); break;
    case WM_HSCROLL: m.scrollBar(LOWORD(wParam), HIWORD(wParam)); break;
    case REEL_SETFRAMES: m.setFrames(uint32_t(wParam), LOWORD(lParam), HIWORD(lParam)); break;
    case REEL_GETCOUNT: result = m.count(); break;
    case REEL_GETCURRENT: result = m.current(); break;
    case REEL_SETCURRENT: m.setCurrent(int32_t(wParam), lParam != 0); break;
    case REEL_GETSEL: result = m.selected(int32_t(wParam)) ? 1 : 0; break;
    case REEL_SETSEL: m.setSel(wParam != 0, LOWORD(lParam), HIWORD(lParam)); break;
    case REEL_GETSELCOUNT: result = m.selCount(); break;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    // The window may have gone while the parent handled a notification.
    if (reelOf(hwnd) == w) sync(*w);
    return result;
}

}  // namespace

bool RegisterReelClass(ModuleHandle module) {
    WNDCLASSA wc{};
    wc.style = kReelClassStyle;
    wc.lpfnWndProc = reelProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = kReelWindowExtra;
    wc.hInstance = static_cast<HINSTANCE>(module);
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = nullptr;  // every pixel is the strip's own
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kReelClassName;
    gRegistered = RegisterClassA(&wc) != 0;
    return gRegistered;
}

void UnregisterReelClass(ModuleHandle module) {
    UnregisterClassA(kReelClassName, static_cast<HINSTANCE>(module));
    gRegistered = false;
}

bool reelClassRegistered() { return gRegistered; }

void DrawFramePlaceholder(const REELDRAW *draw) {
    if (!draw || !draw->dc) return;
    HDC dc = static_cast<HDC>(draw->dc);
    HGDIOBJ old = SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
    PatBlt(dc, draw->x, draw->y, draw->cx, draw->cy, PATCOPY);
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%d", int(draw->frame));
    TextOutA(dc, draw->x + draw->cx / 2, draw->y + draw->cy / 2, text, n);
    SelectObject(dc, old);
}

namespace win {

bool bindReel(HWND strip, ReelModel &model) {
    ReelWindow *w = reelOf(strip);
    if (!w) return false;
    if (w->model != &w->own) w->model->setParent(w->lentParent);
    w->lentParent = model.parent();
    w->model = &model;
    model.setParent(w);
    resizeModel(*w);
    w->shownBarMax = w->shownBarPosition = -1;
    InvalidateRect(strip, nullptr, TRUE);
    sync(*w);
    return true;
}

void syncReel(HWND strip) {
    if (ReelWindow *w = reelOf(strip)) sync(*w);
}

void drawEditorFrame(const REELDRAW &cell, const EditorLink &editor, int32_t frame, void *palette, int width,
                     int height) {
    HBITMAP bitmap = nullptr;
    HDC source = static_cast<HDC>(editor.frameDc(reinterpret_cast<void **>(&bitmap), frame));
    if (!source) {
        DrawFramePlaceholder(&cell);
        return;
    }
    HDC dc = static_cast<HDC>(cell.dc);
    HGDIOBJ old = bitmap ? SelectObject(source, bitmap) : nullptr;
    HPALETTE oldPalette = palette ? SelectPalette(dc, HPALETTE(palette), TRUE) : nullptr;
    StretchBlt(dc, cell.x, cell.y, cell.cx, cell.cy, source, 0, 0, width, height, SRCCOPY);
    if (palette) SelectPalette(dc, oldPalette, TRUE);
    if (old) SelectObject(source, old);
}

}  // namespace win

}  // namespace vc
