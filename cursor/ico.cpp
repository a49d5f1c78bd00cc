#include "cursor/ico.h"

#include <algorithm>
#include <cstring>

#include "cursor/cursor_format.h"
#include "entry/image_block.h"

namespace vc {

namespace {

uint16_t rd16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t *p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
void wr16(uint8_t *p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void wr32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

ConvBitmapInfoHeader readHeader(const uint8_t *p) {
    ConvBitmapInfoHeader h;
    h.biSize = rd32(p);
    h.biWidth = int32_t(rd32(p + 4));
    h.biHeight = int32_t(rd32(p + 8));
    h.biPlanes = rd16(p + 12);
    h.biBitCount = rd16(p + 14);
    h.biCompression = rd32(p + 16);
    h.biSizeImage = rd32(p + 20);
    h.biXPelsPerMeter = int32_t(rd32(p + 24));
    h.biYPelsPerMeter = int32_t(rd32(p + 28));
    h.biClrUsed = rd32(p + 32);
    h.biClrImportant = rd32(p + 36);
    return h;
}

// Size of an open file, leaving it at offset 0; -1 when it cannot be told.
int64_t fileSizeOf(HFile f) {
    int32_t end = plat::fileSeek(f, 0, plat::kSeekEnd);
    if (end < 0 || plat::fileSeek(f, 0, plat::kSeekSet) != 0) return -1;
    return end;
}

// Reads count bytes from the current position; true when all arrived. The
// 16-bit heritage read takes at most a UINT at a time; loop in case the
// platform hands back less.
bool readAll(HFile f, uint8_t *buffer, size_t count) {
    while (count) {
        uint32_t chunk = uint32_t(std::min<size_t>(count, 0x40000000u));
        int32_t got = plat::fileRead(f, buffer, chunk);
        if (got <= 0) return false;
        buffer += got;
        count -= size_t(got);
    }
    return true;
}

// Reads the first min(file size, limit) bytes of a file into a new movable
// block. Returns the result code; on 1 the block and the byte count are set.
int16_t readFileBlock(const char *fileName, uint64_t limit, int16_t openFailure, uint64_t minimum,
                      MemHandle &block, size_t &size) {
    block = nullptr;
    size = 0;
    HFile f = plat::fileOpen(fileName, plat::kOpenRead);
    if (f == kFileError) return openFailure;
    int64_t total = fileSizeOf(f);
    if (total < 0 || uint64_t(total) < minimum) {
        plat::fileClose(f);
        return CONV_E_READ;
    }
    size = size_t(std::min<uint64_t>(uint64_t(total), limit));
    block = plat::memAlloc(plat::kMemMoveable, std::max<size_t>(size, 1));
    if (!block) {
        plat::fileClose(f);
        return CONV_E_MEMORY;
    }
    auto *p = static_cast<uint8_t *>(plat::memLock(block));
    bool ok = p && readAll(f, p, size);
    plat::memUnlock(block);
    plat::fileClose(f);
    if (!ok) {
        plat::memFree(block);
        block = nullptr;
        return p ? CONV_E_READ : CONV_E_MEMORY;
    }
    return CONV_OK;
}

// The editor takes images of 1, 4, 8 and 24 bits. A 32-bit icon image (an
// alpha channel beside the mask) becomes 24 bits in place: the alpha bytes
// are dropped and the mask rows move up behind the shorter colour rows. The
// data must hold a whole image (checked by the caller). Returns the new
// data size.
size_t narrowTo24Bits(uint8_t *data) {
    ConvBitmapInfoHeader h = readHeader(data);
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
    wr16(data + 14, 24);
    wr32(data + 20, 0);
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
    uint8_t head[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    plat::fileSeek(file, 0, plat::kSeekSet);
    int32_t got = plat::fileRead(file, head, sizeof head);
    plat::fileSeek(file, 0, plat::kSeekSet);
    return got >= 2 && rd16(head) == 0;
}

int PickIconImage(uint8_t *image, uint32_t *hotspot, size_t fileSize, size_t *dataSize) {
    if (!image || fileSize < kIconHeaderSize) return 0;
    const uint16_t type = rd16(image + 2);
    const uint32_t count = rd16(image + 4);
    if (count == 0) return 0;

    // A directory that runs past the buffer is read as far as it goes.
    bool chosen = false;
    uint32_t bestColors = 0, bestArea = 0, chosenIndex = 0, chosenHotspot = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t at = kIconHeaderSize + uint64_t(i) * kIconEntrySize;
        if (at + kIconEntrySize > fileSize) break;
        const uint8_t *e = image + at;
        uint32_t c = e[2];
        uint32_t a = uint32_t(e[0]) * e[1];
        if (c > bestColors || a > bestArea) {
            chosen = true;
            chosenIndex = i;
            bestColors = std::max<uint32_t>(c, 2);
            bestArea = a;
            chosenHotspot = type == kIconTypeCursor ? (uint32_t(rd16(e + 4)) | (uint32_t(rd16(e + 6)) << 16)) : 0;
        }
    }
    if (!chosen) return 0;

    const uint8_t *e = image + kIconHeaderSize + uint64_t(chosenIndex) * kIconEntrySize;
    uint64_t size = rd32(e + 8);
    uint64_t offset = rd32(e + 12);
    if (offset >= fileSize) return 0;
    // Size 0 means "to the end of the file"; a size past the end is cut to
    // what the buffer holds, and the header check below decides whether
    // that is still a whole image.
    if (size == 0 || offset + size > fileSize) size = fileSize - offset;
    if (size < kBitmapHeaderSize) return 0;
    uint64_t need = iconDataBytes(readHeader(image + offset));
    if (need == 0 || need > size) return 0;

    std::memmove(image, image + offset, size_t(size));
    if (readHeader(image).biBitCount == 32) size = narrowTo24Bits(image);
    if (hotspot) *hotspot = chosenHotspot;
    if (dataSize) *dataSize = size_t(size);
    return 1;
}

int16_t LoadIconFile(const char *fileName, Wnd parent, HostCallback callback) {
    MemHandle block;
    size_t size;
    int16_t r = readFileBlock(fileName, UINT32_MAX, CONV_E_OPEN, 0, block, size);
    if (r != CONV_OK) return r;
    auto *p = static_cast<uint8_t *>(plat::memLock(block));
    uint32_t hotspot = 0;
    if (!p) {
        r = CONV_E_MEMORY;
    } else if (!PickIconImage(p, &hotspot, size)) {
        r = CONV_E_FORMAT;
    } else if (!callback || !callback(HOST_ADD_ICON, reinterpret_cast<intptr_t>(p), HOST_FRAME_GIF)) {
        r = CONV_CANCELLED;
    } else {
        intptr_t count = callback(HOST_QUERY, 0, HOST_QUERY_COUNT);
        if (count >= 1) {
            intptr_t index = count - 1;
            callback(HOST_SET_HOTSPOT, intptr_t(hotspot), index);
            callback(HOST_NOTE_FILE, reinterpret_cast<intptr_t>(fileName), CONV_FMT_ICON * 256 + (index & 255));
        }
        r = CONV_OK;
    }
    if (p) plat::memUnlock(block);
    plat::memFree(block);
    return r;
}

int16_t PreviewIconBlock(MemHandle block, size_t fileSize, ConvImageRecord *record) {
    auto *p = static_cast<uint8_t *>(plat::memLock(block));
    if (!p || !PickIconImage(p, nullptr, std::min(fileSize, plat::memSize(block)))) {
        if (p) plat::memUnlock(block);
        plat::memFree(block);
        return CONV_E_DATA;
    }
    ConvBitmapInfoHeader h = readHeader(p);
    if (h.biClrUsed == 0) {
        h.biClrUsed = h.biBitCount <= 8 ? (1u << h.biBitCount) : 0;
        wr32(p + 32, h.biClrUsed);
    }
    h.biHeight /= 2;
    wr32(p + 8, uint32_t(h.biHeight));
    plat::memUnlock(block);
    if (record) {
        record->image = block;
        record->bitsOffset = uintptr_t(h.biSize) + 4u * h.biClrUsed;
    } else {
        plat::memFree(block);
    }
    return CONV_OK;
}

int16_t PreviewIconFile(const char *fileName, ConvImageRecord *record) {
    if (record) record->image = nullptr;
    MemHandle block;
    size_t size;
    // More than the first kIconPreviewReadLimit bytes are read: icon files
    // with large images put them last, and a preview cut off in the middle
    // of one would be damaged. A bound still keeps a huge file that merely
    // starts with a zero word from taking all memory for a preview.
    int16_t r = readFileBlock(fileName, kIconPreviewReadCap, CONV_E_READ, kIconSingleDataOffset, block, size);
    if (r != CONV_OK) return r;
    return PreviewIconBlock(block, size, record);
}

int WriteIconFile(HFile file, const void *data, uint32_t dataSize, uint32_t hotspot, bool isCursor) {
    ConvBitmapInfoHeader h{};
    if (data && dataSize >= kBitmapHeaderSize) h = readHeader(static_cast<const uint8_t *>(data));
    uint8_t head[kIconSingleDataOffset] = {};
    wr16(head + 2, isCursor ? kIconTypeCursor : kIconTypeIcon);
    wr16(head + 4, 1);
    uint8_t *e = head + kIconHeaderSize;
    e[0] = uint8_t(h.biWidth);
    e[1] = uint8_t(h.biHeight / 2);
    e[2] = h.biBitCount < 32 ? uint8_t(1u << h.biBitCount) : 0;
    if (isCursor) {
        wr16(e + 4, uint16_t(hotspot));
        wr16(e + 6, uint16_t(hotspot >> 16));
    }
    wr32(e + 8, dataSize);
    wr32(e + 12, kIconSingleDataOffset);
    if (plat::fileWrite(file, head, sizeof head) != int32_t(sizeof head)) return 0;
    if (dataSize && plat::fileWrite(file, data, dataSize) != int32_t(dataSize)) return 0;
    if ((kIconSingleDataOffset + uint64_t(dataSize)) & 1) {
        const uint8_t pad = 0;
        if (plat::fileWrite(file, &pad, 1) != 1) return 0;
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
    if (!callback) return CONV_E_MEMORY;
    uint16_t wh[2] = {0, 0};
    if (!callback(HOST_QUERY, reinterpret_cast<intptr_t>(wh), HOST_QUERY_SIZE)) return CONV_E_MEMORY;
    uint32_t size = SelectCursorSize(parent, callback);
    if (size == kCursorSizeCancelled) return CONV_CANCELLED;
    if (size == 0) return CONV_E_MEMORY;

    uint32_t inOut = size;
    MemHandle block = reinterpret_cast<MemHandle>(callback(HOST_GET_ICON, reinterpret_cast<intptr_t>(&inOut), 65535));
    if (!block) return CONV_E_MEMORY;
    void *data = plat::memLock(block);
    if (!data) {
        plat::memFree(block);
        return CONV_E_MEMORY;
    }
    // Never trust the reported size beyond the block itself.
    uint32_t dataSize = uint32_t(std::min<size_t>(inOut, plat::memSize(block)));

    int16_t r;
    HFile f = plat::fileCreate(fileName, 0);
    if (f == kFileError) {
        r = CONV_E_CREATE;
    } else {
        bool cursor = hasCursorExtension(fileName);
        uint32_t hotspot = 0;
        if (cursor) callback(HOST_GET_HOTSPOT, reinterpret_cast<intptr_t>(&hotspot), HOST_CURRENT_IMAGE);
        r = WriteIconFile(f, data, dataSize, hotspot, cursor) ? CONV_OK : CONV_E_WRITE;
        plat::fileClose(f);
    }
    plat::memUnlock(block);
    plat::memFree(block);
    return r;
}

int16_t iconRowLoad(const LoadRequest &request) {
    return LoadIconFile(request.fileName, request.parent, request.callback);
}

int16_t iconRowSave(const SaveRequest &request) {
    return SaveIconFile(request.fileName, request.parent, request.callback);
}

}  // namespace vc
