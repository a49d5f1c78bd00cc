// Reading GIF files (87a and 89a) for the editor: the content test, the
// scan of a file and the decoding of one image into a packed DIB (both the
// GIF core's pieces, codecs/gif_parts.h, on a read window over the file),
// and the load and preview entries.
//
// The routines take the open file explicitly: one GIF file is read at a
// time, and the caller (LoadGifImage or the animated import) owns it from
// open to close. DecodeGifImageAt reads a frame at its data position,
// DecodeGifImage at the file's current position. The scan and the frames
// of one load share one read window, so a small file is read once.
#pragma once

#include <cstdint>

#include "codecs/gif_parts.h"
#include "common/file_window.h"
#include "common/editor_link.h"
#include "common/format_table.h"
#include "common/image_block.h"
#include "gif/gif_record.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// 1 when the open file starts with "GIF", else 0 (also when the file cannot
// be put back); reads six bytes and leaves the file at offset 0.
bool DetectGifFile(HFile file);

// Scans the file, through a window over it, from offset 0 into the record:
// screen, global palette, one entry per image (position, size, depth, data
// position) with the graphic control that preceded it, comment and
// looping. In first-image-only mode it stops after the first image
// descriptor and needs no trailer. Leaves the window at offset 6. ok,
// readFailed (short or damaged) or unsupported (no GIF, or an unknown
// block).
Result ParseGifStructure(FileWindow &in, GifAnimRecord &record, bool firstImageOnly);

// Decodes the image whose descriptor starts at a frame's data position
// into a locked packed DIB (depth 1, 4 or 8, colour table filled): a local
// table replaces the first colours of the DIB's table, pixels equal to
// transparent (-1: none) are left as they are (at depths 4 and 8), and the
// image lands at (left - shiftX, top - shiftY), clipped. ok, readFailed
// (also when the file cannot be read there), noMemory or damaged. fill
// tells what the DIB holds when it is one index in every byte of its rows
// (a DIB just made, or just filled): an 8-bit image without interlace that
// covers it whole is then decoded straight into its rows with no index
// buffer, and one that fails leaves it filled. The pixels and the result
// are the same either way.
Result DecodeGifImageAt(FileWindow &in, uint32_t dataPosition, ConvBitmapInfoHeader *dib, int32_t transparent,
                        int32_t shiftX, int32_t shiftY, CanvasFill fill = {});

// The image blocks of the GIF reader and writer: 2^depth colours, 2953
// pixels per metre, the rows' size recorded, and the first
// min(2^depth, count) palette entries copied.
DibSpec gifDibSpec(uint16_t bitsPerPixel, int32_t width, int32_t height, const GifRgbQuad *palette = nullptr,
                   int32_t count = 0);

// Sets every pixel of a locked DIB of depth 1, 4 or 8 to the index.
void FillPackedDib(ConvBitmapInfoHeader *dib, int32_t index);

// What one LoadGifImage call works with; the import modes of several images
// get it whole.
struct GifLoad {
    Wnd parent = nullptr;
    const char *fileName = nullptr;
    MemHandle *image = nullptr;  // out-parameter, or none
    uint32_t flags = 0;
    EditorLink editor;
    plat::File file;
    FileWindow *window = nullptr;  // over file; the only reader of it while the load runs
    plat::Block record;  // the GifAnimRecord, locked while the load runs
    plat::Block dib;     // the image made; freed at the end unless handed to *image

    GifAnimRecord &rec() const { return *record.as<GifAnimRecord>(); }
};

// Import modes after the scan: 0 cancelled, 1 one frame (the selected one),
// 2 the assembled image, 3 all frames as a sequence.
enum GifImportMode : int { kGifImportCancel = 0, kGifImportFrame = 1, kGifImportAssembled = 2, kGifImportSequence = 3 };

// The one-frame path: decodes the selected frame into load.dib and hands
// it to the out-parameter or the editor (commands 2, 17, 21); makes the
// record a one-frame document.
Result LoadGifSingleImage(GifLoad &load);

// Reads a GIF file: with a callback and several images the import modes
// decide; otherwise the first image, into the out-parameter or (when it is
// transparent and a callback is given) to the editor. Without an
// out-parameter the record is offered as the editor's document.
Result LoadGifImage(Wnd parent, const char *fileName, MemHandle *image, uint32_t flags, HostCallback callback);

// The preview: the first image only, into the record; bits offset 0.
Result GetGifPreview(const char *fileName, ConvImageRecord *record);

// Format-table adapters (row 167).
bool detectGifRow(HFile file);
Result loadGifRow(const LoadRequest &request);

}  // namespace vc
