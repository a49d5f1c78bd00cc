// The animated GIF writer and the save of the document.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/bytes.h"
#include "ui/services.h"
#include "common/editor_link.h"
#include "common/image_block.h"
#include "platform/owners.h"
#include "gif/gif_anim.h"
#include "gif/gif_read.h"
#include "gif/gif_write.h"

namespace vc {

namespace {

// The editor's colour setting and image size make the DIB every frame is
// drawn into. 1, -6 when the editor has no colours or no size, -5.
Result makeFrameImage(const EditorLink &editor, plat::Block &dib) {
    const int32_t colors = editor.colorSetting();
    uint16_t size[2] = {0, 0};
    if (colors == 0 || !editor.imageSize(size) || !size[0] || !size[1]) return Result::damaged;
    const uint16_t depth = colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
    dib = makePackedDib(gifDibSpec(depth, size[0], size[1]));
    return dib ? Result::ok : Result::noMemory;
}

// The background: the written table's colour nearest the document's, which
// becomes the document's colour at that index.
void settleBackground(GifAnimRecord &record, const ConvBitmapInfoHeader *dib) {
    const auto *table = reinterpret_cast<const GifRgbQuad *>(reinterpret_cast<const uint8_t *>(dib) + dib->biSize);
    const GifRgbQuad want = record.globalPalette[record.backgroundIndex & 0xFF];
    const int32_t background =
        dib->biClrUsed ? NearestPaletteIndex(table, want.red, want.green, want.blue, int32_t(dib->biClrUsed)) : 0;
    record.backgroundIndex = uint16_t(background);
    if (uint32_t(background) < dibColorCount(*dib)) record.globalPalette[background] = table[background];
}

// The looping and comment extensions. False when a write failed.
bool writeDocumentExtensions(HFile file, const GifAnimRecord &record) {
    std::vector<uint8_t> bytes;
    if (record.repeat) writeGifLooping(bytes, uint16_t(record.loopCount & 0xFFFF));
    if (record.commentFlag) {
        const size_t length = strnlen(record.comment, kGifCommentMax);
        if (length) writeGifComment(bytes, record.comment, length);
    }
    return bytes.empty() || plat::fileWrite(file, bytes.data(), uint32_t(bytes.size())) == int32_t(bytes.size());
}

// Every frame the editor has, each with its graphic control, then the
// trailer. A failed write does not stop the frames (the editor is asked
// for each of them all the same); it makes the result writeFailed at the end.
Result writeFrames(HFile file, GifAnimRecord &record, ConvBitmapInfoHeader *dib, uint32_t flags,
                   const EditorLink &editor, bool written) {
    extendGifFrames(record, editor.frameCount());
    // One transparent index, from the editor's colour, serves every frame.
    const int32_t transparent = FindTransparentIndex(dib, editor.callback());
    const int32_t count = recordFrames(record);
    std::unique_ptr<GifCoder> coder;
    try {
        coder = std::make_unique<GifCoder>();
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
    for (int32_t i = 0; i < count; ++i) {
        const GifFrameEntry &f = record.frames[i];
        if (!(flags & kGifSaveNoProgress)) SetProgress(i * 100 / count);
        if (i > 0) editor.getFrame(dib, i);
        PumpMessages(nullptr);
        const bool controlWritten =
            WriteGraphicControl(file, transparent, f.delay, int32_t(f.userInput), f.disposal) == Result::ok;
        const Result r = WriteGifImage(file, *coder, dib, f.left, f.top, f.interlaced != 0, false);
        if (r != Result::ok && r != Result::writeFailed) return r;
        written = written && controlWritten && r == Result::ok;
    }
    const uint8_t trailer = 0x3B;
    if (plat::fileWrite(file, &trailer, 1) != 1 || !written) return Result::writeFailed;
    return Result::ok;
}

}  // namespace

// ---- Saving ---------------------------------------------------------------------------

Result WriteGifAnimation(GifAnimRecord *record, const char *fileName, Wnd, uint32_t flags, MemHandle image,
                         HostCallback callback) {
    const EditorLink editor(callback);
    plat::File file;
    if (!file.create(fileName)) return Result::createFailed;
    // The caller's image is only locked; one made here is freed at the end.
    plat::Lock lent;
    plat::Block made;
    if (image) {
        if (!lent.lock(image)) return Result::noMemory;
    } else if (const Result r = makeFrameImage(editor, made); r != Result::ok) {
        return r;
    }
    auto *dib = reinterpret_cast<ConvBitmapInfoHeader *>(image ? lent.data() : made.data());
    editor.getFrame(dib, 0);
    // Whatever the editor wrote, the header must still describe the block.
    if (!dibHeaderUsable(*dib, image ? lent.size() : made.size())) return Result::damaged;
    settleBackground(*record, dib);

    // The editor's image size, zeros when it gives none.
    uint16_t size[2] = {0, 0};
    editor.imageSize(size);
    record->outputWidth = size[0];
    record->outputHeight = size[1];
    ComputeGifScreenSize(*record, record->outputWidth, record->outputHeight);

    Result result =
        WriteGifHeader(file.handle(), dib, record->screenWidth, record->screenHeight, uint8_t(record->backgroundIndex));
    if (result != Result::ok) return result;
    const bool written = writeDocumentExtensions(file.handle(), *record);
    result = writeFrames(file.handle(), *record, dib, flags, editor, written);
    // A close that fails may have lost what the system held back.
    if (!file.close() && result == Result::ok) return Result::writeFailed;
    return result;
}

Result SaveGifAnimation(const char *fileName, Wnd parent, uint32_t flags, MemHandle image, HostCallback callback) {
    const EditorLink editor(callback);
    const MemHandle document = editor.document();
    if (const auto record = lockGifRecord(document))
        return WriteGifAnimation(record.get(), fileName, parent, flags, image, callback);
    // No document settings yet: the user confirms them first.
    plat::Block settings = EditGifAnimation(parent, document, callback);
    if (!settings) return Result::cancelled;
    const MemHandle handle = settings.handle();
    // Saved without an image of the caller's, the settings become the
    // editor's document; otherwise (or refused) they serve this save only.
    if (!image) (void)offerGifRecord(settings, editor);
    const plat::DocumentLock<GifAnimRecord> record(handle);
    if (!record) return Result::noMemory;
    return WriteGifAnimation(record.get(), fileName, parent, flags, image, callback);
}

Result saveAnimatedGifRow(const SaveRequest &request) {
    return SaveGifAnimation(request.fileName, request.parent, request.option, request.image, request.callback);
}

}  // namespace vc
