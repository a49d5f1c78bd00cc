// Icon and cursor files. A load reads the whole file into one block, a
// preview its first limits().previewRead bytes, and every offset is checked
// against that copy before it is used.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - Only the detector looks at the reserved word; any type but 2 (cursor)
//   is read as an icon, and only cursors give a hotspot.
// - A directory that runs past the end of the file is read as far as its
//   entries are whole. Entries with neither colours nor area are never
//   chosen; a directory with no chosen entry holds no usable image.
// - The chosen entry's size 0 means "to the end of the file"; a size past
//   the end is cut at the end; an offset at or past the end gives no image.
// - The image data must be a whole uncompressed bitmap with a 40-byte
//   header, at most one plane, depth 1, 4, 8, 24 or 32, positive size and
//   at most 256 colours, whose colour and mask rows lie inside the data.
//   Anything else (a PNG-compressed entry among them) is no usable image: a
//   load answers CONV_E_FORMAT, a preview CONV_E_DATA.
// - A 32-bit image becomes 24 bits: the alpha bytes are dropped and the
//   mask decides what is transparent.
// - A preview of a file shorter than a header and one entry answers
//   CONV_E_READ; an image beyond the preview's read limit is no usable
//   image.
#include "cursor/ico.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "common/services.h"
#include "common/whole_file.h"
#include "cursor/cursor_format.h"
#include "entry/editor_link.h"
#include "entry/image_block.h"

namespace vc {

namespace {

// The 40-byte header of icon image data; a short header reads as zeros.
ConvBitmapInfoHeader readHeader(ByteReader r) { return readBitmapInfoHeader(r); }

// The editor takes images of 1, 4, 8 and 24 bits. A 32-bit icon image (an
// alpha channel beside the mask) becomes 24 bits in place: the alpha bytes
// are dropped and the mask rows move up behind the shorter colour rows. The
// data must hold a whole image (checked by the caller). Returns the new
// data size.
size_t narrowTo24Bits(uint8_t *data) {
    const ConvBitmapInfoHeader h = readHeader(ByteReader(data, kBitmapHeaderSize));
    const uint64_t rows = uint64_t(h.biHeight) / 2;
    const uint64_t from = dibRowBytes(h.biWidth, 32), to = dibRowBytes(h.biWidth, 24);
    const uint64_t maskRow = dibRowBytes(h.biWidth, 1);
    const uint64_t bits = kBitmapHeaderSize + 4ull * h.biClrUsed;  // no table for 32 bits unless listed
    for (uint64_t y = 0; y < rows; ++y) {
        const uint8_t *src = data + bits + y * from;
        uint8_t *dst = data + bits + y * to;
        for (int64_t x = 0; x < h.biWidth; ++x) {
            // Forward in place: dst never passes src (3 bytes out per 4 in).
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
        for (uint64_t pad = uint64_t(h.biWidth) * 3; pad < to; ++pad) dst[pad] = 0;
    }
    std::memmove(data + bits + rows * to, data + bits + rows * from, size_t(rows * maskRow));
    storeLe16(data + 14, 24);  // biBitCount
    storeLe32(data + 20, 0);   // biSizeImage
    return size_t(bits + rows * (to + maskRow));
}

}  // namespace

uint64_t iconDataBytes(const ConvBitmapInfoHeader &h) {
    if (h.biSize != kBitmapHeaderSize || h.biPlanes > 1 || h.biCompression != 0) return 0;
    switch (h.biBitCount) {
    case 1: case 4: case 8: case 24: case 32: break;
    default: return 0;
    }
    if (h.biWidth <= 0 || h.biHeight <= 1) return 0;
    uint32_t colors = dibColorCount(h);
    if (colors > 256) return 0;
    uint64_t rows = uint64_t(h.biHeight) / 2;
    return kBitmapHeaderSize + 4ull * colors + (dibRowBytes(h.biWidth, h.biBitCount) + dibRowBytes(h.biWidth, 1)) * rows;
}

bool IsIconFile(HFile file) {
    uint8_t head[4];
    ByteReader r = readFileHead(file, head, sizeof head);
    const uint16_t reserved = r.u16();
    return r.ok() && reserved == 0;
}

int PickIconImage(uint8_t *image, uint32_t *hotspot, size_t fileSize, size_t *dataSize) {
    if (!image) return 0;
    const ByteReader file(image, fileSize);
    ByteReader head = file.at(0, kIconHeaderSize);
    head.skip(2);  // reserved
    const uint16_t type = head.u16();
    const uint32_t count = head.u16();
    if (!head.ok() || count == 0) return 0;

    // A directory that runs past the buffer is read as far as it goes.
    bool chosen = false;
    uint32_t bestColors = 0, bestArea = 0, chosenHotspot = 0;
    uint64_t size = 0, offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        ByteReader e = file.at(kIconHeaderSize + uint64_t(i) * kIconEntrySize, kIconEntrySize);
        const uint32_t width = e.u8(), height = e.u8(), colors = e.u8();
        e.skip(1);
        const uint32_t x = e.u16(), y = e.u16();
        const uint32_t bytes = e.u32(), at = e.u32();
        if (!e.ok()) break;
        const uint32_t area = width * height;
        if (colors > bestColors || area > bestArea) {
            chosen = true;
            bestColors = std::max<uint32_t>(colors, 2);
            bestArea = area;
            chosenHotspot = type == kIconTypeCursor ? packPoint(int32_t(x), int32_t(y)) : 0;
            size = bytes;
            offset = at;
        }
    }
    if (!chosen || offset >= fileSize) return 0;
    // Size 0 means "to the end of the file"; a size past the end is cut to
    // what the buffer holds, and the header check below decides whether
    // that is still a whole image.
    if (size == 0 || offset + size > fileSize) size = fileSize - offset;
    if (size < kBitmapHeaderSize) return 0;
    const uint64_t need = iconDataBytes(readHeader(file.at(offset, size)));
    if (need == 0 || need > size) return 0;

    std::memmove(image, image + offset, size_t(size));
    if (readHeader(ByteReader(image, size_t(size))).biBitCount == 32) size = narrowTo24Bits(image);
    if (hotspot) *hotspot = chosenHotspot;
    if (dataSize) *dataSize = size_t(size);
    return 1;
}

int16_t LoadIconFile(const char *fileName, Wnd, HostCallback callback) {
    plat::Block block;
    size_t size = 0;
    if (int16_t r = readWholeFile(fileName, block, size, {.limit = UINT32_MAX, .openFailure = CONV_E_OPEN}); r != CONV_OK)
        return r;
    uint32_t hotspot = 0;
    if (!PickIconImage(block.data(), &hotspot, size)) return CONV_E_FORMAT;
    const EditorLink link(callback);
    if (!link.addIcon(block.data(), HOST_FRAME_GIF)) return CONV_CANCELLED;
    const int32_t count = link.frameCount();
    if (count >= 1) {
        link.setHotspot(hotspot, count - 1);
        link.noteFile(fileName, CONV_FMT_ICON, count - 1);
    }
    return CONV_OK;
}

int16_t PreviewIconBlock(plat::Block block, size_t fileSize, ConvImageRecord *record) {
    uint8_t *p = block.lock();
    if (!p || !PickIconImage(p, nullptr, std::min(fileSize, block.size()))) return CONV_E_DATA;
    ConvBitmapInfoHeader h = readHeader(ByteReader(p, kBitmapHeaderSize));
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
    return CONV_OK;
}

int16_t PreviewIconFile(const char *fileName, ConvImageRecord *record) {
    if (record) record->image = nullptr;
    plat::Block block;
    size_t size = 0;
    int16_t r = readWholeFile(fileName, block, size, {.limit = limits().previewRead, .minimum = kIconSingleDataOffset});
    if (r != CONV_OK) return r;
    return PreviewIconBlock(std::move(block), size, record);
}

int WriteIconFile(const plat::File &file, const void *data, uint32_t dataSize, uint32_t hotspot, bool isCursor) {
    ConvBitmapInfoHeader h{};
    if (data && dataSize >= kBitmapHeaderSize) h = readHeader(ByteReader(data, dataSize));
    uint8_t head[kIconSingleDataOffset];
    ByteWriter w(head, sizeof head);
    w.u16(0);
    w.u16(isCursor ? kIconTypeCursor : kIconTypeIcon);
    w.u16(1);
    // The one entry: width, height of the colour rows, colour count, a
    // reserved byte, the hotspot (cursors) and where the data lies.
    w.u8(uint8_t(h.biWidth));
    w.u8(uint8_t(h.biHeight / 2));
    w.u8(h.biBitCount < 32 ? uint8_t(1u << h.biBitCount) : 0);
    w.u8(0);
    w.u16(isCursor ? hotspot & 0xFFFF : 0);
    w.u16(isCursor ? hotspot >> 16 : 0);
    w.u32(dataSize);
    w.u32(kIconSingleDataOffset);
    if (!file.writeAll(head, sizeof head)) return 0;
    if (dataSize && !file.writeAll(data, dataSize)) return 0;
    if ((kIconSingleDataOffset + uint64_t(dataSize)) & 1) {
        const uint8_t pad = 0;
        if (!file.writeAll(&pad, 1)) return 0;
    }
    return 1;
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

int16_t SaveIconFile(const char *fileName, Wnd parent, HostCallback callback) {
    const EditorLink link(callback);
    uint16_t wh[2] = {0, 0};
    if (!link.imageSize(wh)) return CONV_E_MEMORY;
    const uint32_t size = SelectCursorSize(parent, callback);
    if (size == kCursorSizeCancelled) return CONV_CANCELLED;
    if (size == 0) return CONV_E_MEMORY;

    uint32_t inOut = size;
    plat::Block block(link.getIcon(inOut, 65535));
    if (!block.lock()) return CONV_E_MEMORY;
    // Never trust the reported size beyond the block itself.
    const uint32_t dataSize = uint32_t(std::min<size_t>(inOut, block.size()));

    plat::File f;
    if (!f.create(fileName)) return CONV_E_CREATE;
    const bool cursor = hasCursorExtension(fileName);
    const uint32_t hotspot = cursor ? link.hotspot(HOST_CURRENT_IMAGE) : 0;
    const bool written = WriteIconFile(f, block.data(), dataSize, hotspot, cursor) != 0;
    // A failed close may have lost bytes the system held back.
    return f.close() && written ? CONV_OK : CONV_E_WRITE;
}

int16_t iconRowLoad(const LoadRequest &request) {
    return LoadIconFile(request.fileName, request.parent, request.callback);
}

int16_t iconRowSave(const SaveRequest &request) {
    return SaveIconFile(request.fileName, request.parent, request.callback);
}

}  // namespace vc
