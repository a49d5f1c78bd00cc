// The GIF importer: opens the file, scans it and decodes its images
// through the GIF core's pieces (codecs/gif_parts.h, where the choices for
// damaged input are written down) onto image blocks, and does the editor's
// part: the import modes, the hand-over of frames, the transparent colour,
// file notes, the document record and its menu items.
//
// The importer's own choices: a file that does not begin with "GIF" is
// refused with Result::unsupported. A damaged image is not passed on: the
// image is delivered as far as it was drawn, the rest keeping its fill
// (index 0). A picture of more than limits().largestPicture pixels is
// refused with Result::noMemory before anything is allocated; a single image
// of no pixels, having nothing to hand over, with Result::damaged.
#include "common/dib.h"
#include "common/limits.h"
#include "gif/gif_read.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "gif/gif_anim.h"
#include "gif/gif_import.h"

namespace vc {

namespace {

// The canvas of a locked packed DIB of depth 1, 4 or 8.
GifCanvas dibCanvas(ConvBitmapInfoHeader *dib) {
    GifCanvas c;
    c.bits = reinterpret_cast<uint8_t *>(dib) + dibBitsOffset(*dib);
    c.stride = dibRowBytes(dib->biWidth, dib->biBitCount);
    c.width = dib->biWidth;
    c.height = dib->biHeight;
    c.depth = dib->biBitCount;
    c.colors = reinterpret_cast<uint8_t *>(dib) + dib->biSize;
    c.colorCount = dibColorCount(*dib);
    return c;
}

// ---- One image to the editor --------------------------------------------------------

// Hands the decoded image to the out-parameter, or, when it is transparent
// and an editor is there, to the editor with its transparent colour and
// the file it came from.
void handOverImage(GifLoad &load, const GifFrameEntry &e) {
    const bool transparent = e.hasGraphicControl && e.transparentIndex >= 0;
    if (load.image && (!transparent || !load.editor)) {
        *load.image = load.dib.release();
        return;
    }
    if (!load.editor) return;
    const auto *dib = load.dib.as<ConvBitmapInfoHeader>();
    // An index beyond the DIB's table names no colour the editor could take.
    if (load.editor.addFrame(dib, HOST_FRAME_GIF) && transparent && uint32_t(e.transparentIndex) < dibColorCount(*dib))
        load.editor.setTransparent(load.dib.data() + dib->biSize + 4 * uint32_t(e.transparentIndex), 0);
    const int32_t n = load.editor.frameCount() - 1;
    if (n >= 0) load.editor.noteFile(load.fileName, CONV_FMT_GIF, n);
}

// The scan, then the import mode's way to the editor.
Result readGif(GifLoad &load) {
    GifAnimRecord &rec = load.rec();
    // The default comment stays in the buffer; it counts only if the file
    // has one.
    rec.commentFlag = 0;
    rec.repeat = 0;
    rec.frames[0].disposal = 0;
    const Result result = ParseGifStructure(*load.window, rec, !load.editor);
    if (result != Result::ok) return result;
    rec.selectedFrame = 0;
    // Several images with a callback are the animated import's to decide;
    // one image, or none asked for, go the one-frame way.
    switch (ChooseGifImportMode(load.parent, &rec, load.editor.callback())) {
    case kGifImportFrame:
        return LoadGifSingleImage(load);
    case kGifImportAssembled:
        return ImportGifAssembled(load);
    case kGifImportSequence:
        return ImportGifSequence(load);
    case kGifImportCancel:
        return Result::cancelled;
    default:
        return Result::unsupported;
    }
}

}  // namespace

bool DetectGifFile(HFile file) {
    uint8_t head[6];
    ByteReader r = readFileHead(file, head, sizeof head);
    const uint8_t *signature = r.span(3);
    return signature && std::memcmp(signature, "GIF", 3) == 0;
}

Result ParseGifStructure(FileWindow &in, GifAnimRecord &record, bool firstImageOnly) {
    return scanGif(in, record, firstImageOnly);
}

Result DecodeGifImageAt(FileWindow &in, uint32_t dataPosition, ConvBitmapInfoHeader *dib, int32_t transparent,
                        int32_t shiftX, int32_t shiftY, CanvasFill fill) {
    return decodeGifImage(in, dataPosition, dibCanvas(dib), transparent, shiftX, shiftY, fill, limits());
}

DibSpec gifDibSpec(uint16_t bitsPerPixel, int32_t width, int32_t height, const GifRgbQuad *palette, int32_t count) {
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitCount = bitsPerPixel;
    spec.colors = bitsPerPixel <= 8 ? (1u << bitsPerPixel) : 0;
    spec.pelsPerMeter = kDefaultPelsPerMeter;
    spec.recordImageSize = true;
    spec.palette = palette;
    spec.paletteCount = count > 0 ? uint32_t(count) : 0;
    return spec;
}

void FillPackedDib(ConvBitmapInfoHeader *dib, int32_t index) {
    fillIndexRows(reinterpret_cast<uint8_t *>(dib) + dibBitsOffset(*dib), dib->biSizeImage, dib->biBitCount, index);
}

Result LoadGifSingleImage(GifLoad &load) {
    GifAnimRecord &rec = load.rec();
    const uint32_t selected = rec.selectedFrame < uint32_t(kGifMaxFrames) ? rec.selectedFrame : 0;
    const GifFrameEntry e = rec.frames[selected];
    // A zero-sized image has no pixels to hand over.
    if (e.width == 0 || e.height == 0) return Result::damaged;
    load.dib = makePackedDib(gifDibSpec(e.bitsPerPixel, e.width, e.height, rec.globalPalette, rec.globalColorCount));
    if (!load.dib) return Result::noMemory;
    // A damaged image is delivered as far as it was decoded.
    (void)DecodeGifImageAt(*load.window, e.dataPosition, load.dib.as<ConvBitmapInfoHeader>(), -1, e.left, e.top,
                           kBlankCanvas);
    handOverImage(load, e);

    // A one-frame document, at the image's own corner.
    rec.frameCount = 1;
    rec.outputWidth = e.width;
    rec.outputHeight = e.height;
    if (selected != 0) rec.frames[0] = e;
    rec.frames[0].left = 0;
    rec.frames[0].top = 0;
    return Result::ok;
}

Result LoadGifImage(Wnd parent, const char *fileName, MemHandle *image, uint32_t flags, HostCallback callback) {
    GifLoad load;
    load.parent = parent;
    load.fileName = fileName;
    load.image = image;
    load.flags = flags;
    load.editor = EditorLink(callback);
    if (!load.file.open(fileName, plat::kOpenRead)) return Result::openFailed;
    // A file just opened stands at its start.
    FileWindow window(load.file.handle(), 0, true);
    load.window = &window;
    load.record = NewGifAnimRecord();
    if (!load.record) return Result::noMemory;
    const Result result = readGif(load);
    // All is read: a reader has nothing to lose when the close fails.
    (void)load.file.close();
    if (result == Result::ok && !image && offerGifRecord(load.record, load.editor)) addGifMenuItems(callback);
    return result;
}

Result GetGifPreview(const char *fileName, ConvImageRecord *record) {
    record->image = nullptr;
    MemHandle image = nullptr;
    const Result r = LoadGifImage(nullptr, fileName, &image, 0, nullptr);
    record->image = image;
    record->bitsOffset = 0;
    return r;
}

bool detectGifRow(HFile file) { return DetectGifFile(file); }

Result loadGifRow(const LoadRequest &request) {
    MemHandle *out = request.record ? reinterpret_cast<MemHandle *>(&request.record->image) : nullptr;
    return LoadGifImage(request.parent, request.fileName, out, request.option, request.callback);
}

}  // namespace vc
