#include "ui/dialog_view_win.h"

namespace vc::win {

plat::DialogModel *attachModel(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto *model = reinterpret_cast<plat::DialogModel *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(model));
        if (model) model->window = dialog;
        return model;
    }
    return reinterpret_cast<plat::DialogModel *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

bool endWhenEnded(HWND dialog, plat::DialogModel &model) {
    if (!model.ended()) return false;
    SetWindowLongPtrA(dialog, DWLP_USER, 0);
    model.window = nullptr;
    return EndDialog(dialog, model.result()) != 0;
}

std::string itemText(HWND dialog, int id) {
    char buffer[256] = {};
    // A missing control reads as empty, which is what the models expect.
    if (!GetDlgItemTextA(dialog, id, buffer, sizeof buffer)) buffer[0] = 0;
    return buffer;
}

void showText(HWND dialog, int id, const std::string &text) {
    if (itemText(dialog, id) != text) SetDlgItemTextA(dialog, id, text.c_str());
}

void readKeys(plat::DialogModel &model) {
    model.shiftDown = GetKeyState(VK_SHIFT) < 0;
    model.ctrlDown = GetKeyState(VK_CONTROL) < 0;
    model.altDown = GetKeyState(VK_MENU) < 0;
    model.enterDown = GetKeyState(VK_RETURN) < 0;
}

INT_PTR answerPalette(HWND dialog, UINT message, WPARAM wParam, void *palette) {
    if (!palette || (message == WM_PALETTECHANGED && HWND(wParam) == dialog)) return FALSE;
    HDC dc = GetDC(dialog);
    HPALETTE old = SelectPalette(dc, static_cast<HPALETTE>(palette), FALSE);
    const UINT changed = RealizePalette(dc);
    SelectPalette(dc, old, FALSE);
    ReleaseDC(dialog, dc);
    if (changed && changed != GDI_ERROR) InvalidateRect(dialog, nullptr, TRUE);
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, LONG_PTR(changed == GDI_ERROR ? 0 : changed));
    return TRUE;
}

void drawLine(HDC dc, COLORREF color, int x0, int y0, int x1, int y1) {
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    SelectObject(dc, old);
    DeleteObject(pen);
}

namespace {
constexpr char kViewProperty[] = "VelmConvView";
}

void keepView(HWND dialog, void *view) { SetPropA(dialog, kViewProperty, view); }

void *keptView(HWND dialog) { return GetPropA(dialog, kViewProperty); }

void *takeView(HWND dialog) {
    void *view = GetPropA(dialog, kViewProperty);
    if (view) RemovePropA(dialog, kViewProperty);
    return view;
}

}  // namespace vc::win
