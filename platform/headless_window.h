// The headless windows of the Linux platform layer, as the seam above it
// sees them: the exported headless interface and the progress window's
// headless view reach the window table and the installed VcUiHost here.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/platform.h"
#include "velmconv/headless.h"

namespace vc::plat {

struct Window {
    Wnd parent = nullptr;
    Rect rect{};
    bool enabled = true;
    bool visible = false;
    bool progress = false;
    std::map<int, std::string> items;
};

Window *findWindow(Wnd w);
Wnd newWindow(Wnd parent, Rect r);

const VcUiHost &uiHost();
void setUiHost(const VcUiHost &host);
void setScreenSize(int32_t width, int32_t height);
// The browser command the preview runs; none brings back the default.
void setBrowserCommand(const char *command);

}  // namespace vc::plat
