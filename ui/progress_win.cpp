// The progress window's Windows view: the dialog procedure of templates 100
// and 101 and the painting of the percentage bar. The state (percentage,
// Cancel flag) and the bar's geometry are the portable ones of services.h.
#include <windows.h>

#include <cstring>

#include "ui/services.h"
#include "ui/progress_win.h"
#include "platform/platform_win.h"
#include "resources/strings.h"

namespace vc::win {

namespace {
INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Templates 100 (without Cancel) and 101 (with it).
const DialogViewRegistration kPlain{IDD_PROGRESS, &progressDialogProc};
const DialogViewRegistration kWithCancel{IDD_PROGRESS_CANCEL, &progressDialogProc};

constexpr COLORREF kBlue = 0xFF0000;  // Windows colour order: 0x00BBGGRR
constexpr COLORREF kWhite = 0xFFFFFF;
}  // namespace

void drawProgressBar(HDC dc, int width, int height, int percent) {
    const ProgressBarLayout l = progressBarLayout(width, height, percent);
    HBRUSH blue = CreateSolidBrush(kBlue);
    HGDIOBJ oldBrush = SelectObject(dc, blue);
    // At 0 % and 100 % one of the two parts is empty (or would be mirrored
    // by a negative width); the frame lines cover that column anyway.
    if (l.blueWidth > 0) PatBlt(dc, l.blueX, l.blueY, l.blueWidth, l.blueHeight, PATCOPY);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    if (l.whiteWidth > 0) PatBlt(dc, l.whiteX, l.whiteY, l.whiteWidth, l.whiteHeight, PATCOPY);

    // Sunken frame: light bottom and right, grey top and left.
    PatBlt(dc, 0, height - 1, width, 1, PATCOPY);
    PatBlt(dc, width - 1, 0, 1, height, PATCOPY);
    SelectObject(dc, GetStockObject(GRAY_BRUSH));
    PatBlt(dc, 0, 0, width, 1, PATCOPY);
    PatBlt(dc, 0, 0, 1, height, PATCOPY);

    // The figures: blue everywhere, then white over the blue part only, so
    // they stay readable on both sides of the split.
    const int length = int(std::strlen(l.text));
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_CENTER | TA_TOP | TA_NOUPDATECP);
    SetTextColor(dc, kBlue);
    TextOutA(dc, l.textCenterX, l.textTop, l.text, length);
    ExcludeClipRect(dc, l.split, 0, width, height);
    SetTextColor(dc, kWhite);
    TextOutA(dc, l.textCenterX, l.textTop, l.text, length);
    RestoreDC(dc, saved);

    SelectObject(dc, oldBrush);
    DeleteObject(blue);
}

namespace {
INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        progressOnInit(window);
        return FALSE;  // the focus stays where the editor has it
    case WM_COMMAND:
        // Only Cancel does anything; the window never closes itself, its
        // owner destroys it.
        progressOnCommand(LOWORD(wParam));
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
    case WM_DRAWITEM: {
        const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        drawProgressBar(item->hDC, item->rcItem.right, item->rcItem.bottom, progressState().percent);
        return TRUE;
    }
    case WM_USER: {
        const int32_t percent = progressOnUser(int32_t(wParam));
        HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
        // GetDC(nullptr) would be the whole screen.
        if (HDC dc = bar ? GetDC(bar) : nullptr) {
            RECT rc{};
            GetClientRect(bar, &rc);
            drawProgressBar(dc, rc.right, rc.bottom, percent);
            ReleaseDC(bar, dc);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}
}  // namespace

}  // namespace vc::win
