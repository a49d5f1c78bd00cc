// One-line wrappers that keep the 16-bit interface's packed results for
// the Win32 views: two 16-bit numbers in one 32-bit value, x or width in
// the low word (vc::packPoint), and WM_COMMAND with id and code packed.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vc {

// Moves the current drawing position; returns the previous one packed.
uint32_t MoveTo(HDC dc, int x, int y);
// Width and height of a text in the DC's font, packed.
uint32_t GetTextExtent(HDC dc, const char *text, int length);
// WM_COMMAND with the command id in the low and the notification code in
// the high word of the first parameter.
LRESULT SendCommand(HWND window, int id, int code, LPARAM control);
BOOL PostCommand(HWND window, int id, int code, LPARAM control);

}  // namespace vc
