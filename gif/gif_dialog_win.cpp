// Windows side of the GIF animation dialog: the colours of the editor's
// palette, which the dialog matches the background colour against.
#include <windows.h>

#include <vector>

#include "gif/gif_dialog.h"

namespace vc {

std::vector<GifRgbQuad> editorPaletteColors(void *palette) {
    std::vector<GifRgbQuad> colors;
    if (!palette) return colors;
    HPALETTE p = static_cast<HPALETTE>(palette);
    UINT n = GetPaletteEntries(p, 0, 0, nullptr);
    if (n == 0 || n > 256) return colors;
    PALETTEENTRY entries[256];
    n = GetPaletteEntries(p, 0, n, entries);
    for (UINT i = 0; i < n; ++i) colors.push_back(GifRgbQuad{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0});
    return colors;
}

}  // namespace vc
