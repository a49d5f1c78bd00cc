#include "ui/wrappers_win.h"

#include "ui/services.h"

namespace vc {

uint32_t MoveTo(HDC dc, int x, int y) {
    POINT previous{};
    if (!MoveToEx(dc, x, y, &previous)) return 0;
    return packPoint(previous.x, previous.y);
}

uint32_t GetTextExtent(HDC dc, const char *text, int length) {
    SIZE size{};
    if (!text || length < 0 || !GetTextExtentPoint32A(dc, text, length, &size)) return 0;
    return packPoint(size.cx, size.cy);
}

LRESULT SendCommand(HWND window, int id, int code, LPARAM control) {
    return SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), control);
}

BOOL PostCommand(HWND window, int id, int code, LPARAM control) {
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), control);
}

}  // namespace vc
