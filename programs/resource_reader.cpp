// The program scan through the core and the resource data reader.
#include "programs/resource_reader.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "common/image_block.h"

namespace vc {

Result ScanProgramFile(HFile file, bool detectOnly, ResourceBitmapList &list) {
    list.count = 0;
    FileWindow window(file);
    if (detectOnly) return looksLikeProgram(window) ? Result::ok : Result::notFormat;
    CoreRequest request;
    request.limits = limits();
    std::vector<ProgramBitmap> found;
    const Result r = listProgramBitmaps(window, request, found);
    for (const ProgramBitmap &b : found) {
        if (list.full()) break;
        ResourceBitmapEntry &e = list.entries[list.count++];
        std::memset(e.name, 0, sizeof e.name);
        std::memcpy(e.name, b.name.data(), std::min(b.name.size(), sizeof e.name - 1));
        e.dataOffset = b.dataOffset;
        e.dataSize = b.dataSize;
        e.neNameWord = b.neNameWord;
    }
    return r;
}

bool DetectProgramFile(HFile file) {
    ResourceBitmapList list;
    const bool yes = ScanProgramFile(file, true, list) == Result::ok;
    return plat::fileSeek(file, 0, plat::kSeekSet) == 0 && yes;
}

MemHandle ReadResourceData(HFile file, const ResourceBitmapEntry *entry, uint64_t most) {
    if (!entry) return nullptr;
    const int32_t end = plat::fileSeek(file, 0, plat::kSeekEnd);
    if (end < 0 || entry->dataOffset > uint32_t(end)) return nullptr;
    if (plat::fileSeek(file, int32_t(entry->dataOffset), plat::kSeekSet) != int32_t(entry->dataOffset)) return nullptr;
    // Data said to run past the end of the file gets a block of what is
    // there: the bytes read are the same, and a damaged size cannot ask
    // for a huge block.
    const uint32_t size = std::min<uint32_t>(entry->dataSize, uint32_t(end) - entry->dataOffset);
    if (size > std::min(most, limits().largestBlock)) return nullptr;
    plat::Block block;
    if (size <= 40 || !block.alloc(size, plat::kMemMoveable)) return nullptr;
    if (plat::fileRead(file, block.data(), size) <= 40) return nullptr;
    return block.release();
}

// ---- The preview ---------------------------------------------------------------

int32_t mulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t p = int64_t(a) * b;
    const uint64_t num = uint64_t(p < 0 ? -p : p), den = uint64_t(c < 0 ? -int64_t(c) : int64_t(c));
    const uint64_t q = (num + den / 2) / den;
    if (q > uint64_t(INT32_MAX)) return -1;
    return (p < 0) != (c < 0) ? -int32_t(q) : int32_t(q);
}

bool bitmapPreview(const uint8_t *block, size_t size, int32_t right, int32_t bottom, BitmapPreview &out) {
    ByteReader r(block, size);
    const uint32_t headerSize = r.u32();
    uint32_t tableBytes = 0, compression = 0, compressedSize = 0;
    if (headerSize == 12) {
        out.width = r.u16();
        out.height = r.u16();
        r.skip(2);
        out.bitCount = r.u16();
        tableBytes = (out.bitCount <= 8 ? 1u << out.bitCount : 0) * 3;
    } else if (headerSize >= 40) {
        out.width = r.i32();
        out.height = r.i32();
        r.skip(2);
        out.bitCount = r.u16();
        compression = r.u32();
        compressedSize = r.u32();
        r.seek(32);
        const uint32_t used = r.u32();
        tableBytes = 4 * (used ? used : out.bitCount <= 8 ? 1u << out.bitCount : 0);
        if (compression == 3 && headerSize == 40) tableBytes += 12;  // the three colour masks
    } else {
        return false;
    }
    if (!r.ok()) return false;
    out.bitsOffset = uint32_t(std::min<uint64_t>(uint64_t(headerSize) + tableBytes, UINT32_MAX));
    const int64_t rows = out.height < 0 ? -int64_t(out.height) : out.height;
    const uint64_t row = dibRowBytes(out.width, out.bitCount);
    const uint64_t pixels = compression != 0 && compression != 3 ? compressedSize
                            : rows > 0 && row > UINT64_MAX / uint64_t(rows) ? UINT64_MAX
                                                                           : row * uint64_t(rows);
    out.drawable = out.width > 0 && rows > 0 && rows <= INT32_MAX && out.bitsOffset <= size && pixels <= size - out.bitsOffset;
    out.colorsText = out.bitCount == 1 ? "2" : out.bitCount == 4 ? "16" : out.bitCount == 8 ? "256" : "16.7 Mio.";
    out.sizeText = std::to_string(out.width) + "x" + std::to_string(out.height);

    // In 64 bits: a damaged header's sizes must not wrap the arithmetic.
    const int64_t boxW = int64_t(right) - 2, boxH = int64_t(bottom) - 2;
    const int64_t w = out.width, h = rows;
    int64_t x, y, dw, dh;
    if (w <= boxW && h <= boxH) {
        dw = w, dh = h, x = (boxW - w) / 2, y = (boxH - h) / 2;
    } else if (w < h) {
        dh = boxH, dw = mulDiv(out.width, int32_t(boxW), int32_t(std::min<int64_t>(h, INT32_MAX)));
        x = (boxW - dw) / 2, y = 0;
    } else {
        dw = boxW, dh = mulDiv(int32_t(std::min<int64_t>(h, INT32_MAX)), int32_t(boxH), out.width);
        x = 0, y = (boxH - dh) / 2;
    }
    const auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    out.x = clamp(x), out.y = clamp(y), out.drawWidth = clamp(dw), out.drawHeight = clamp(dh);
    out.x = clamp(int64_t(out.x) + 1);
    out.y = clamp(int64_t(out.y) + 1);
    return true;
}

}  // namespace vc
