// Windows-only pieces of the platform layer that the Win32 views share: the
// dialog procedures the layer creates windows with, and the table that maps
// a dialog template to its view.
#pragma once

#include <windows.h>

#include <span>

namespace vc::win {

// The progress window (templates 100 and 101): common/progress_win.cpp.
INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Paints the progress bar into dc for a client area width x height.
void drawProgressBar(HDC dc, int width, int height, int percent);

// The cursor format questions (templates 107 and 108): cursor/cursor_format_win.cpp.
INT_PTR CALLBACK selectCursorSizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK changeCursorFormatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The GIF import options (template 109): gif/gif_import_win.cpp.
INT_PTR CALLBACK GifImportOptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// A modal dialog's view: plat::runDialog looks the template up here and
// hands the procedure the portable model (a plat::DialogModel *) as the
// WM_INITDIALOG parameter. Each dialog's *_win.cpp adds its row.
struct DialogView {
    int templateId;
    DLGPROC proc;
};
std::span<const DialogView> dialogViews();

}  // namespace vc::win
