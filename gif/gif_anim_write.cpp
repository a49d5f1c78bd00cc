// The animated GIF writer and the save of the document.
#include <algorithm>
#include <cstring>

#include "common/services.h"
#include "entry/image_block.h"
#include "gif/gif_anim.h"
#include "gif/gif_read.h"
#include "gif/gif_write.h"

namespace vc {

namespace {

// The comment as one extension: a sub-block per line (its line feed
// included) while a line fits, else pieces of 252 bytes; the piece that
// reaches the end of the text carries the terminator.
bool writeComment(HFile file, const char *text, size_t length) {
    size_t at = 0;
    bool first = true;
    while (at < length) {
        const char *start = text + at;
        size_t rest = length - at;
        size_t from = *start == '\n' ? 1 : 0;
        const void *lf = from < rest ? std::memchr(start + from, '\n', rest - from) : nullptr;
        size_t piece;
        if (lf && size_t(static_cast<const char *>(lf) - start) + 1 <= 254)
            piece = size_t(static_cast<const char *>(lf) - start) + 1;
        else
            piece = std::min<size_t>(rest, 252);
        bool last = at + piece >= length;
        int16_t ok = first ? WriteGifExtension(file, 0xFE, start, uint8_t(piece), last)
                           : WriteGifSubBlock(file, start, uint8_t(piece), last);
        if (!ok) return false;
        first = false;
        at += piece;
    }
    return true;
}

}  // namespace

// ---- Saving ---------------------------------------------------------------------------

int16_t WriteGifAnimation(GifAnimRecord *record, const char *fileName, Wnd, uint32_t flags, MemHandle image,
                          HostCallback callback) {
    HFile file = plat::fileCreate(fileName, 0);
    if (file == kFileError) return CONV_E_CREATE;
    MemHandle dibHandle = image;
    if (!image) {
        intptr_t colors = callback ? callback(HOST_QUERY, 0, HOST_QUERY_COLORS) : 0;
        uint16_t size[2] = {0, 0};
        if (colors == 0 || !callback(HOST_QUERY, reinterpret_cast<intptr_t>(size), HOST_QUERY_SIZE) || !size[0] ||
            !size[1]) {
            plat::fileClose(file);
            return CONV_E_DATA;
        }
        uint16_t depth = colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
        dibHandle = CreatePackedDib(depth, size[0], size[1], nullptr, 0);
        if (!dibHandle) {
            plat::fileClose(file);
            return CONV_E_MEMORY;
        }
    }
    auto finish = [&](int16_t result) {
        plat::fileClose(file);
        plat::memUnlock(dibHandle);
        if (dibHandle != image) plat::memFree(dibHandle);
        return result;
    };
    auto *dib = static_cast<ConvBitmapInfoHeader *>(plat::memLock(dibHandle));
    if (!dib) {
        plat::fileClose(file);
        if (dibHandle != image) plat::memFree(dibHandle);
        return CONV_E_MEMORY;
    }
    if (callback) callback(HOST_GET_FRAME, reinterpret_cast<intptr_t>(dib), 0);
    // Whatever the editor wrote, the header must still describe the block.
    if (!dibHeaderUsable(*dib, plat::memSize(dibHandle))) return finish(CONV_E_DATA);
    const auto *table = reinterpret_cast<const GifRgbQuad *>(reinterpret_cast<const uint8_t *>(dib) + dib->biSize);

    // The background: the written table's colour nearest the document's.
    const GifRgbQuad want = record->globalPalette[record->backgroundIndex & 0xFF];
    int32_t background =
        dib->biClrUsed ? NearestPaletteIndex(table, want.red, want.green, want.blue, int32_t(dib->biClrUsed)) : 0;
    record->backgroundIndex = uint16_t(background);
    if (uint32_t(background) < dibColorCount(*dib)) record->globalPalette[background] = table[background];

    uint16_t size[2] = {0, 0};
    if (callback) callback(HOST_QUERY, reinterpret_cast<intptr_t>(size), HOST_QUERY_SIZE);
    record->outputWidth = size[0];
    record->outputHeight = size[1];
    ComputeGifScreenSize(*record, record->outputWidth, record->outputHeight);

    int16_t result = WriteGifHeader(file, dib, record->screenWidth, record->screenHeight, uint8_t(background));
    if (result <= 0) return finish(result);
    if (record->repeat) {
        const uint8_t loop[3] = {1, uint8_t(record->loopCount & 0xFF), uint8_t((record->loopCount >> 8) & 0xFF)};
        WriteGifExtension(file, 0xFF, "NETSCAPE2.0", 11, false);
        WriteGifSubBlock(file, loop, 3, true);
    }
    if (record->commentFlag) {
        size_t length = strnlen(record->comment, kGifCommentMax);
        if (length) writeComment(file, record->comment, length);
    }
    if (callback) extendGifFrames(*record, int32_t(callback(HOST_QUERY, 0, HOST_QUERY_COUNT)));
    // One transparent index, from the editor's colour, serves every frame.
    const int32_t transparent = FindTransparentIndex(dib, callback);
    const int32_t count = recordFrames(*record);
    for (int32_t i = 0; i < count; ++i) {
        const GifFrameEntry &f = record->frames[i];
        if (!(flags & kGifSaveNoProgress)) SetProgress(i * 100 / count);
        if (i > 0 && callback) callback(HOST_GET_FRAME, reinterpret_cast<intptr_t>(dib), i);
        PumpMessages(nullptr);
        WriteGraphicControl(file, transparent, f.delay, int32_t(f.userInput), f.disposal);
        int16_t r = WriteGifImage(file, dib, f.left, f.top, f.interlaced != 0, false);
        if (r < 0) return finish(r);
    }
    const char trailer = ';';
    if (plat::fileWrite(file, &trailer, 1) != 1) return finish(CONV_E_WRITE);
    return finish(CONV_OK);
}

int16_t SaveGifAnimation(const char *fileName, Wnd parent, uint32_t flags, MemHandle image, HostCallback callback) {
    MemHandle document = nullptr;
    if (callback) callback(HOST_GET_DOCUMENT, reinterpret_cast<intptr_t>(&document), 0);
    if (GifAnimRecord *record = lockGifRecord(document)) {
        int16_t r = WriteGifAnimation(record, fileName, parent, flags, image, callback);
        plat::memUnlock(document);
        return r;
    }
    // No document settings yet: the user confirms them first.
    MemHandle settings = EditGifAnimation(parent, document, callback);
    if (!settings) return CONV_CANCELLED;
    bool keep = !image && callback && callback(HOST_NEW_DOCUMENT, reinterpret_cast<intptr_t>(settings), 0);
    auto *record = static_cast<GifAnimRecord *>(plat::memLock(settings));
    int16_t r = record ? WriteGifAnimation(record, fileName, parent, flags, image, callback) : int16_t(CONV_E_MEMORY);
    plat::memUnlock(settings);
    if (!keep) plat::memFree(settings);
    return r;
}

int16_t saveAnimatedGifRow(const SaveRequest &request) {
    return SaveGifAnimation(request.fileName, request.parent, request.option, request.image, request.callback);
}

}  // namespace vc
