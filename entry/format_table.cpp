#include "common/format_table.h"

#include <cstring>

#include "stills/jpeg.h"
#include "stills/pcx.h"
#include "stills/tiff.h"

#include "cursor/ani.h"
#include "cursor/cursor_anim.h"
#include "cursor/ico.h"
#include "gif/gif_anim.h"
#include "gif/gif_read.h"
#include "gif/gif_write.h"
#include "video/avi.h"
#include "programs/resource_reader.h"

namespace vc {

namespace {
// Formats not built yet have empty routines. By name, a .gif file is the
// one-image GIF; animated cursors and videos are known by content only.
// Detection order: PCX, TIFF, JPEG, program resources, icon or cursor,
// animated cursor, GIF, AVI. GIF files are always detected as 167; the
// one-image GIF row (129) has no detector and is reached by name or after
// an animated load narrows the code.
FormatRow gRows[] = {
    {CONV_FMT_PCX, DetectPcxFile, loadPcxRow, 128, 128, savePcxRow, GetPcxPreview, nullptr, nullptr, nullptr, {".pcx"}},
    {CONV_FMT_TIFF, DetectTiffFile, tiffLoadRow, 130, 130, tiffSaveRow, GetTiffPreview, nullptr, nullptr, nullptr,
     {".tif", ".tiff"}},
    {CONV_FMT_JPEG, DetectJpegFile, loadJpegRow, 133, 133, saveJpegRow, GetJpegPreview, nullptr, nullptr, nullptr,
     {".jpg", ".jpeg"}},
    {CONV_FMT_RESOURCE, DetectProgramFile, loadResourceRow, 0, 0, nullptr, GetResourceBitmapPreview, nullptr, nullptr,
     nullptr},
    {CONV_FMT_ICON, &IsIconFile, &iconRowLoad, 132, 132, &iconRowSave, &PreviewIconFile, nullptr, nullptr, nullptr,
     {".ico", ".cur"}},
    {CONV_FMT_ANI, &aniRowDetect, &aniRowLoad, 132, 166, &aniRowSave, &PreviewAniFile, &NewCursorAnimation,
     &CursorAnimationCommand, &CursorAnimationFrameChanged, {}, true},
    {CONV_FMT_ANIGIF, detectGifRow, loadGifRow, 129, 167, &saveAnimatedGifRow, GetGifPreview, &NewGifAnimation,
     &GifProcessCommand, &GifFrameChanged, {}, true},
    {CONV_FMT_AVI, DetectAviFile, loadAviRow, 0, 0, saveAviRow, GetAviPreview, nullptr, nullptr, nullptr},
    {CONV_FMT_GIF, nullptr, nullptr, 129, 129, saveGifRow, nullptr, nullptr, nullptr, nullptr, {".gif"}},
};
}  // namespace

std::span<FormatRow> formatTable() { return gRows; }

FormatRow *findFormat(int32_t code) {
    for (auto &row : gRows)
        if (row.code == code) return &row;
    return nullptr;
}

namespace {
bool extensionIs(const char *ext, const char *want) {
    for (; *ext && *want; ++ext, ++want) {
        char c = *ext;
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != *want) return false;
    }
    return *ext == 0 && *want == 0;
}
}  // namespace

FormatRow *findFormatByName(const char *fileName) {
    const char *dot = fileName ? std::strrchr(fileName, '.') : nullptr;
    if (!dot) return nullptr;
    for (auto &row : gRows)
        for (const char *ext : row.extensions)
            if (ext && extensionIs(dot, ext)) return &row;
    return nullptr;
}

}  // namespace vc
