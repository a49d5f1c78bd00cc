// The film-strip window class on Windows. The class is local to this
// module: the library's dialog templates name it and are created with the
// module's instance, so nothing outside the library needs to see it.
#include <windows.h>

#include "controls/reel.h"

namespace vc {

namespace {
bool gRegistered = false;
}

bool RegisterReelClass(ModuleHandle module) {
    WNDCLASSA wc{};
    wc.style = kReelClassStyle;
    // The strip paints nothing yet; the default procedure keeps windows of
    // the class valid until its own procedure takes over.
    wc.lpfnWndProc = DefWindowProcA;
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

}  // namespace vc
