// Win32 view of "Open Resource Bitmap" (template 102): the sorted list box
// keeps each line's entry as its item data, the model holds the selection,
// the preview flag and the selected bitmap's data, and the owner-drawn
// button 102 draws the preview.
#include <windows.h>

#include "ui/dialog_view_win.h"
#include "ui/services.h"
#include "platform/owners.h"
#include "platform/platform_win.h"
#include "resources/strings.h"
#include "programs/resource_reader.h"

namespace vc::win {

namespace {

// The model's line for the list box's selected line, matched through the
// entry kept as item data, so the two sorts need not agree.
int32_t selectedLine(HWND dialog, const ResourceBitmapModel &m) {
    const LRESULT at = SendDlgItemMessageA(dialog, IDC_RESBMP_LIST, LB_GETCURSEL, 0, 0);
    if (at == LB_ERR) return -1;
    const LRESULT entry = SendDlgItemMessageA(dialog, IDC_RESBMP_LIST, LB_GETITEMDATA, WPARAM(at), 0);
    for (size_t i = 0; i < m.items.size(); ++i)
        if (LRESULT(m.items[i]) == entry) return int32_t(i);
    return -1;
}

void repaintPreview(HWND dialog) { InvalidateRect(GetDlgItem(dialog, IDC_RESBMP_PREVIEW), nullptr, FALSE); }

// Loads what the selection or the preview flag asks for, under the wait
// cursor.
template <class Action> void loading(HWND dialog, Action action) {
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514) /* IDC_WAIT */));
    action();
    SetCursor(previous);
    repaintPreview(dialog);
}

void DrawBitmapPreview(HWND dialog, HDC dc, int32_t right, int32_t bottom, const plat::Block &image) {
    plat::Lock lock(image.handle());
    BitmapPreview p;
    if (!lock.data() || !bitmapPreview(lock.data(), plat::memSize(image.handle()), right, bottom, p)) return;
    SetDlgItemTextA(dialog, IDC_RESBMP_COLORS, p.colorsText.c_str());
    SetDlgItemTextA(dialog, IDC_RESBMP_SIZE, p.sizeText.c_str());
    if (!p.drawable) return;  // pixels short of what the header says
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, p.x, p.y, p.drawWidth, p.drawHeight, 0, 0, p.width, p.height < 0 ? -p.height : p.height,
                  lock.data() + p.bitsOffset, reinterpret_cast<const BITMAPINFO *>(lock.data()), DIB_RGB_COLORS,
                  SRCCOPY);
}

void drawPreviewButton(HWND dialog, const DRAWITEMSTRUCT &item, const ResourceBitmapModel &m) {
    const int32_t right = item.rcItem.right, bottom = item.rcItem.bottom;
    HGDIOBJ brush = SelectObject(item.hDC, GetStockObject(LTGRAY_BRUSH));
    Rectangle(item.hDC, 0, 0, right, bottom);
    SelectObject(item.hDC, brush);
    if (m.image && m.showPreview) {
        DrawBitmapPreview(dialog, item.hDC, right, bottom, m.image);
        return;
    }
    MoveToEx(item.hDC, 0, 0, nullptr);
    LineTo(item.hDC, right, bottom);
    MoveToEx(item.hDC, 0, bottom, nullptr);
    LineTo(item.hDC, right, 0);
    SetDlgItemTextA(dialog, IDC_RESBMP_SIZE, "");
    SetDlgItemTextA(dialog, IDC_RESBMP_COLORS, "");
}

class ResourceBitmapView : public DialogView<ResourceBitmapModel> {
    // The model was started (list sorted, line 0 loaded) before the dialog
    // opened.
    INT_PTR start(ResourceBitmapModel &m) override {
        SetDlgItemTextA(dialog, IDC_RESBMP_FILE, m.fileName ? m.fileName : "");
        HWND list = GetDlgItem(dialog, IDC_RESBMP_LIST);
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        for (uint32_t entry : m.items) {
            const LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, LPARAM(m.list.entries[entry].name));
            if (at >= 0) SendMessageA(list, LB_SETITEMDATA, WPARAM(at), LPARAM(entry));
        }
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        CheckDlgButton(dialog, IDC_RESBMP_SHOW, m.showPreview ? BST_CHECKED : BST_UNCHECKED);
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        loading(dialog, [&] { (void)m.select(IDC_RESBMP_LIST, selectedLine(dialog, m)); });
        SetFocus(list);
        return FALSE;  // the focus is set
    }
    INT_PTR other(ResourceBitmapModel &m, UINT message, WPARAM wParam, LPARAM lParam) override {
        const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (message != WM_DRAWITEM || wParam != IDC_RESBMP_PREVIEW || !item) return FALSE;
        drawPreviewButton(dialog, *item, m);
        return TRUE;
    }
    Step command(ResourceBitmapModel &m, int id, int code, LPARAM) override {
        if (id == IDC_RESBMP_LIST && code == LBN_SELCHANGE) {
            loading(dialog, [&] { (void)m.select(id, selectedLine(dialog, m)); });
            return Step::done;
        }
        if (id == IDC_RESBMP_SHOW && code == BN_CLICKED) {
            loading(dialog, [&] { (void)m.click(id); });
            CheckDlgButton(dialog, IDC_RESBMP_SHOW, m.showPreview ? BST_CHECKED : BST_UNCHECKED);
            return Step::done;
        }
        if (id != IDOK && id != IDCANCEL) return Step::pass;
        // A refused OK (data unreadable) leaves the dialog open.
        return m.click(id) ? Step::end : Step::done;
    }
};

const DialogViewRegistration kView{IDD_RESOURCE_BITMAP, &runView<ResourceBitmapView>};

}  // namespace

}  // namespace vc::win
