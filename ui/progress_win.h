// The progress window's painting, shared with the tests that look at it.
#pragma once

#include <windows.h>

namespace vc::win {

// Paints the progress bar into dc for a client area width x height.
void drawProgressBar(HDC dc, int width, int height, int percent);

}  // namespace vc::win
