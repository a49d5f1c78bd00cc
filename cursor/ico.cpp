// Icon and cursor files for the editor. A load reads the whole file into
// one block, a preview its first limits().previewRead bytes; the icon core
// chooses the image and gives its icon image data, which goes to the start
// of the file's block (or a block of its own when it was built anew).
//
// - A directory with no usable entry holds no usable image: a load answers
//   Result::notFormat, a preview Result::damaged.
// - A preview of a file shorter than a header and one entry answers
//   Result::readFailed; an image beyond the preview's read limit is no
//   usable image.
#include "cursor/ico.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "common/picture.h"
#include "ui/services.h"
#include "common/whole_file.h"
#include "cursor/cursor_format.h"
#include "common/editor_link.h"
#include "common/image_block.h"

namespace vc {

bool IsIconFile(HFile file) {
    uint8_t head[4];
    ByteReader r = readFileHead(file, head, sizeof head);
    return r.ok() && looksLikeIcon({head, r.remaining()});
}

int PickIconImage(plat::Block &image, uint32_t *hotspot, size_t fileSize, size_t *dataSize) {
    if (!image.lock()) return 0;
    fileSize = std::min(fileSize, image.size());
    IconChoice choice;
    const Result r = chooseIconImage({image.data(), fileSize}, CoreRequest{.limits = limits()}, choice);
    if (r == Result::noMemory) return -1;
    if (r != Result::ok) return 0;
    if (choice.built) {
        plat::Block own;
        if (!own.alloc(choice.data.size())) return -1;
        image = std::move(own);
    }
    std::memcpy(image.data(), choice.data.data(), choice.data.size());
    if (hotspot) *hotspot = choice.cursor ? packPoint(choice.hotspotX, choice.hotspotY) : 0;
    if (dataSize) *dataSize = choice.data.size();
    return 1;
}

Result LoadIconFile(const char *fileName, Wnd, HostCallback callback) {
    plat::Block block;
    size_t size = 0;
    if (const Result r = readWholeFile(fileName, block, size, {.limit = UINT32_MAX, .openFailure = Result::openFailed});
        r != Result::ok)
        return r;
    uint32_t hotspot = 0;
    if (const int picked = PickIconImage(block, &hotspot, size); picked != 1)
        return picked < 0 ? Result::noMemory : Result::notFormat;
    const EditorLink link(callback);
    if (!link.addIcon(block.data(), HOST_FRAME_GIF)) return Result::cancelled;
    const int32_t count = link.frameCount();
    if (count >= 1) {
        link.setHotspot(hotspot, count - 1);
        link.noteFile(fileName, CONV_FMT_ICON, count - 1);
    }
    return Result::ok;
}

Result PreviewIconBlock(plat::Block block, size_t fileSize, ConvImageRecord *record) {
    if (const int picked = PickIconImage(block, nullptr, fileSize); picked != 1)
        return picked < 0 ? Result::noMemory : Result::damaged;
    uint8_t *p = block.data();
    ByteReader header(p, kBitmapHeaderSize);
    ConvBitmapInfoHeader h = readBitmapInfoHeader(header);
    if (h.biClrUsed == 0) {
        h.biClrUsed = h.biBitCount <= 8 ? (1u << h.biBitCount) : 0;
        storeLe32(p + 32, h.biClrUsed);
    }
    h.biHeight /= 2;
    storeLe32(p + 8, uint32_t(h.biHeight));
    if (record) {
        record->bitsOffset = uintptr_t(h.biSize) + 4u * h.biClrUsed;
        record->image = block.release();
    }
    return Result::ok;
}

Result PreviewIconFile(const char *fileName, ConvImageRecord *record) {
    if (record) record->image = nullptr;
    plat::Block block;
    size_t size = 0;
    const Result r =
        readWholeFile(fileName, block, size, {.limit = limits().previewRead, .minimum = kIconSingleDataOffset});
    if (r != Result::ok) return r;
    return PreviewIconBlock(std::move(block), size, record);
}

int WriteIconFile(const plat::File &file, const void *data, uint32_t dataSize, uint32_t hotspot, bool isCursor) {
    const std::vector<uint8_t> bytes =
        oneImageIconFile({static_cast<const uint8_t *>(data), data ? dataSize : 0}, isCursor, uint16_t(hotspot & 0xFFFF),
                         uint16_t(hotspot >> 16));
    return file.writeAll(bytes.data(), uint32_t(bytes.size())) ? 1 : 0;
}

namespace {
bool hasCursorExtension(const char *fileName) {
    const char *dot = std::strrchr(fileName, '.');
    if (!dot) return false;
    const char *want = ".cur";
    for (int i = 0; i < 5; ++i) {
        char c = dot[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != want[i]) return false;
    }
    return true;
}
}  // namespace

Result SaveIconFile(const char *fileName, Wnd parent, HostCallback callback) {
    const EditorLink link(callback);
    uint16_t wh[2] = {0, 0};
    if (!link.imageSize(wh)) return Result::noMemory;
    const uint32_t size = SelectCursorSize(parent, callback);
    if (size == kCursorSizeCancelled) return Result::cancelled;
    if (size == 0) return Result::noMemory;

    uint32_t inOut = size;
    plat::Block block(link.getIcon(inOut, 65535));
    if (!block.lock()) return Result::noMemory;
    // Never trust the reported size beyond the block itself.
    const uint32_t dataSize = uint32_t(std::min<size_t>(inOut, block.size()));

    plat::File f;
    if (!f.create(fileName)) return Result::createFailed;
    const bool cursor = hasCursorExtension(fileName);
    const uint32_t hotspot = cursor ? link.hotspot(HOST_CURRENT_IMAGE) : 0;
    const bool written = WriteIconFile(f, block.data(), dataSize, hotspot, cursor) != 0;
    // A failed close may have lost bytes the system held back.
    return f.close() && written ? Result::ok : Result::writeFailed;
}

Result iconRowLoad(const LoadRequest &request) {
    return LoadIconFile(request.fileName, request.parent, request.callback);
}

Result iconRowSave(const SaveRequest &request) {
    return SaveIconFile(request.fileName, request.parent, request.callback);
}

}  // namespace vc
