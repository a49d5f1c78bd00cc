#include "gif/gif_write.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "common/bytes.h"
#include "ui/services.h"
#include "common/editor_link.h"
#include "common/image_block.h"
#include "platform/owners.h"
#include "platform/platform.h"

namespace vc {

namespace {

[[nodiscard]] bool put(HFile f, const void *data, size_t n) {
    return n == 0 || plat::fileWrite(f, data, uint32_t(n)) == int32_t(n);
}

const GifRgbQuad *dibColors(const ConvBitmapInfoHeader *dib) {
    return reinterpret_cast<const GifRgbQuad *>(reinterpret_cast<const uint8_t *>(dib) + dib->biSize);
}

// One entry of the editor's palette; false when it has no such entry.
bool paletteEntry(void *palette, unsigned index, uint8_t &r, uint8_t &g, uint8_t &b) {
    plat::PaletteColor colors[256];
    if (index >= plat::paletteEntries(palette, colors, 256)) return false;
    r = colors[index].red, g = colors[index].green, b = colors[index].blue;
    return true;
}

// The view of a packed DIB of depth 1, 4 or 8 (rows top-down when its
// height is negative).
GifImageView dibView(const ConvBitmapInfoHeader *dib) {
    GifImageView v;
    v.width = uint32_t(std::max(0, dib->biWidth));
    v.height = uint32_t(std::abs(dib->biHeight));
    v.depth = dib->biBitCount;
    v.bits = reinterpret_cast<const uint8_t *>(dib) + dibBitsOffset(*dib);
    v.stride = dibRowBytes(v.width, dib->biBitCount);
    v.topDown = dib->biHeight < 0;
    v.colors = reinterpret_cast<const uint8_t *>(dib) + dib->biSize;
    v.colorCount = dibColorCount(*dib);
    return v;
}

// The row percentages of a save go to the progress window.
bool reportToWindow(void *, int32_t percent) {
    SetProgress(percent);
    return true;
}

// The single-image save into an open file: header, graphic control when
// the editor has a transparent colour, the image, the trailer.
Result writeSingleImage(HFile f, const ConvBitmapInfoHeader *dib, HostCallback callback) {
    Result result = WriteGifHeader(f, dib, uint16_t(dib->biWidth), uint16_t(std::abs(dib->biHeight)), 0);
    if (result != Result::ok) return result;
    const int16_t t = FindTransparentIndex(dib, callback);
    if (t >= 0 && (result = WriteGraphicControl(f, t, 0, 0, 0)) != Result::ok) return result;
    result = WriteGifImage(f, dib, 0, 0, false, true);
    // The trailer follows even an image whose buffers could not be had.
    const uint8_t trailer = 0x3B;
    if (!put(f, &trailer, 1)) result = Result::writeFailed;
    return result;
}

}  // namespace

Result WriteGifHeader(HFile file, const ConvBitmapInfoHeader *dib, uint16_t screenWidth, uint16_t screenHeight,
                      uint8_t backgroundIndex, bool globalTable) {
    std::vector<uint8_t> bytes;
    const Result r = writeGifHeader(bytes, dibView(dib), screenWidth, screenHeight, backgroundIndex, globalTable);
    if (r != Result::ok) return Result::damaged;
    return put(file, bytes.data(), bytes.size()) ? Result::ok : Result::writeFailed;
}

Result WriteGraphicControl(HFile file, int32_t transparent, uint16_t delay, int32_t userInput, uint16_t disposal) {
    std::vector<uint8_t> bytes;
    writeGifGraphicControl(bytes, transparent, delay, userInput > 0, disposal);
    return put(file, bytes.data(), bytes.size()) ? Result::ok : Result::writeFailed;
}

Result WriteGifImage(HFile file, GifCoder &coder, const ConvBitmapInfoHeader *dib, int32_t left, int32_t top,
                     bool interlaced, bool progress, bool localTable) {
    const unsigned d = dib->biBitCount;
    if (d != 1 && d != 4 && d != 8) return Result::damaged;
    std::vector<uint8_t> bytes;
    const Progress toWindow{reportToWindow, nullptr};
    try {
        (void)writeGifImage(bytes, coder, dibView(dib), left, top, interlaced, progress ? &toWindow : nullptr,
                            localTable);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
    return put(file, bytes.data(), bytes.size()) ? Result::ok : Result::writeFailed;
}

Result WriteGifImage(HFile file, const ConvBitmapInfoHeader *dib, int32_t left, int32_t top, bool interlaced,
                     bool progress, bool localTable) {
    try {
        GifCoder coder;
        return WriteGifImage(file, coder, dib, left, top, interlaced, progress, localTable);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

int16_t FindTransparentIndex(const ConvBitmapInfoHeader *dib, HostCallback callback) {
    const EditorLink editor(callback);
    uint32_t color = 0;
    if (!editor.screenColor(color)) return -1;
    uint8_t r = uint8_t(color), g = uint8_t(color >> 8), b = uint8_t(color >> 16);
    if (color >> 24) {
        // The handle is the answer: none when the editor has no palette.
        MemHandle palette = nullptr;
        editor.getPalette(palette, 1);
        uint8_t pr, pg, pb;
        if (paletteEntry(palette, color & 0xFFFF, pr, pg, pb)) r = pr, g = pg, b = pb;
    }
    if (dib->biBitCount > 8) return -1;
    const uint32_t n = std::min(dibColorCount(*dib), 1u << dib->biBitCount);
    return int16_t(NearestPaletteIndex(dibColors(dib), r, g, b, int32_t(n)));
}

Result SaveGifImage(const char *fileName, MemHandle image, HostCallback callback) {
    plat::File file;
    if (!file.create(fileName)) return Result::createFailed;
    const plat::Lock lock(image);
    const auto *dib = lock.as<const ConvBitmapInfoHeader>();
    if (!dib || !dibHeaderUsable(*dib, lock.size())) return Result::damaged;
    const Result result = writeSingleImage(file.handle(), dib, callback);
    // A close that fails may have lost what the system held back.
    if (!file.close() && result == Result::ok) return Result::writeFailed;
    return result;
}

Result saveGifRow(const SaveRequest &request) {
    return SaveGifImage(request.fileName, request.image, request.callback);
}

}  // namespace vc
