// The NE and PE resource walkers and the resource data reader.
#include "programs/resource_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "common/image_block.h"

namespace vc {

namespace {

constexpr uint16_t kSignatureMz = 0x5A4D, kSignatureNe = 0x454E, kSignaturePe = 0x4550;
constexpr uint16_t kTypeBitmap = 2;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kNameMax = 31;

// A real resource tree is three levels deep (type, name, language) and the
// bitmap walk starts one level down. These bounds only end trees whose
// offsets loop back or fan out without end.
constexpr int kMaxDepth = 8;
constexpr uint32_t kEntryBudget = 65536;

// Appends text to the name at length, the whole kept within 31 characters.
uint32_t putName(char name[32], uint32_t length, const char *text) {
    while (*text && length < kNameMax) name[length++] = *text++;
    name[length] = 0;
    return length;
}

void addEntry(ResourceBitmapList &list, const char *name, uint32_t offset, uint32_t size, uint16_t word) {
    ResourceBitmapEntry &e = list.entries[list.count++];
    std::memset(e.name, 0, sizeof e.name);
    putName(e.name, 0, name);
    e.dataOffset = offset;
    e.dataSize = size;
    e.neNameWord = word;
}

// A PE resource name: a length and that many UTF-16 characters, of which
// the low bytes of at most 31 are kept; "???" when empty or unreadable.
void readPeName(FileWindow &w, uint32_t at, char part[32]) {
    std::strcpy(part, "???");
    if (!w.seek(at)) return;
    ByteReader head = w.take(2);
    const uint16_t length = head.u16();
    if (!head.ok() || length == 0) return;
    const uint32_t count = std::min<uint32_t>(length, 32);
    ByteReader text = w.take(count * 2);
    if (!text.ok()) return;
    uint32_t n = 0;
    for (uint32_t i = 0; i < count && n < kNameMax; ++i) {
        const uint16_t c = text.u16();
        if (!c) break;
        part[n++] = char(c & 0xFF);
    }
    part[n] = 0;
}

int16_t walk(FileWindow &w, uint32_t base, uint32_t directory, char prefix[32], uint32_t length,
             ResourceBitmapList &list, uint32_t &budget, int depth) {
    if (depth > kMaxDepth || !w.seek(uint32_t(base + directory))) return CONV_E_READ;
    ByteReader head = w.take(16);
    head.skip(12);
    const uint32_t n = uint32_t(head.u16()) + head.u16();
    if (!head.ok()) return CONV_E_READ;
    for (uint32_t i = 0; i < n; ++i) {
        if (budget == 0) return CONV_E_READ;
        --budget;
        const int64_t behind = w.tell() + 8;
        ByteReader entry = w.take(8);
        const uint32_t name = entry.u32(), offset = entry.u32();
        if (!entry.ok()) return CONV_E_READ;
        char part[32] = {};
        if (name & kHighBit)
            readPeName(w, uint32_t(base + (name & ~kHighBit)), part);
        else if (name > 0)
            std::snprintf(part, sizeof part, length > 0 ? "-%d" : "%6d", int(name));
        const uint32_t whole = putName(prefix, length, part);
        if (offset & kHighBit) {
            const int16_t r = walk(w, base, offset & ~kHighBit, prefix, whole, list, budget, depth + 1);
            if (r != CONV_OK || list.full()) return r;
        } else {
            if (!w.seek(uint32_t(base + offset))) return CONV_E_READ;
            ByteReader data = w.take(16);
            const uint32_t rva = data.u32(), size = data.u32();
            if (!data.ok()) return CONV_E_READ;
            addEntry(list, prefix, uint32_t(rva + base), size, 0);
            if (list.full()) return CONV_OK;
        }
        if (!w.seek(uint64_t(behind))) return CONV_E_READ;
    }
    return CONV_OK;
}

// The PE path from the new header on. Programs for 64-bit Windows (PE32+,
// optional-header magic 0x20B) have their own optional-header layout: the
// directory count and the directories come 16 bytes later. Everything
// else is read the same for both.
int16_t scanPe(FileWindow &w, uint32_t newHeader, ResourceBitmapList &list) {
    if (!w.seek(newHeader)) return CONV_E_READ;
    ByteReader signature = w.take(4);
    const uint32_t pe = signature.u32();
    if (!signature.ok()) return CONV_E_READ;
    if (pe != kSignaturePe) return CONV_E_FORMAT;
    ByteReader fileHeader = w.take(20);
    fileHeader.skip(2);
    const uint16_t sections = fileHeader.u16();
    if (!fileHeader.ok()) return CONV_E_READ;
    ByteReader optional = w.take(96);
    const uint16_t magic = optional.u16();
    optional.seek(92);
    uint32_t directories = optional.u32();
    if (!optional.ok()) return CONV_E_READ;
    if (magic == kMagicPe32Plus) {
        ByteReader more = w.take(16);
        more.skip(12);
        directories = more.u32();
        if (!more.ok()) return CONV_E_READ;
    }
    if (directories < 3) return CONV_CANCELLED;
    const uint32_t read = std::min<uint32_t>(directories, 16);
    ByteReader table = w.take(read * 8);
    table.skip(16);
    const uint32_t rva = table.u32();
    if (!table.ok()) return CONV_E_READ;
    // The section headers follow every directory the header counts.
    w.skip(uint64_t(directories - read) * 8);

    uint32_t base = 0;
    bool found = false;
    for (uint32_t i = 0; i < sections && !found; ++i) {
        ByteReader header = w.take(40);
        header.skip(12);
        const uint32_t address = header.u32(), rawSize = header.u32(), rawAt = header.u32();
        if (!header.ok()) return CONV_CANCELLED;
        if (address <= rva && uint64_t(rva) < uint64_t(address) + rawSize) {
            base = rawAt - address + rva;
            found = true;
        }
    }
    if (!found) return CONV_CANCELLED;

    if (!w.seek(base)) return CONV_E_READ;
    ByteReader root = w.take(16);
    root.skip(12);
    const uint32_t n = uint32_t(root.u16()) + root.u16();
    if (!root.ok()) return CONV_E_READ;
    uint32_t bitmaps = 0;
    bool haveBitmaps = false;
    for (uint32_t i = 0; i < n && !haveBitmaps; ++i) {
        ByteReader entry = w.take(8);
        const uint32_t name = entry.u32(), offset = entry.u32();
        if (!entry.ok()) return CONV_E_READ;
        if (name == kTypeBitmap && (offset & kHighBit)) {
            bitmaps = offset & ~kHighBit;
            haveBitmaps = true;
        }
    }
    if (!haveBitmaps) return CONV_CANCELLED;

    char prefix[32] = {};
    uint32_t budget = kEntryBudget;
    const int16_t r = walk(w, base, bitmaps, prefix, 0, list, budget, 0);
    for (uint32_t i = 0; i < list.count; ++i) list.entries[i].dataOffset -= rva;
    return list.count ? r : int16_t(CONV_CANCELLED);
}

int16_t readNe(FileWindow &w, uint32_t newHeader, ResourceBitmapList &list) {
    if (!w.seek(newHeader)) return CONV_E_READ;
    ByteReader header = w.take(64);
    const uint16_t signature = header.u16();
    header.seek(36);
    const uint16_t resources = header.u16(), residentNames = header.u16();
    if (!header.ok()) return CONV_E_READ;
    if (signature != kSignatureNe) return CONV_E_FORMAT;
    if (resources == residentNames) return CONV_CANCELLED;

    const uint64_t table = uint64_t(newHeader) + resources;
    if (!w.seek(table)) return CONV_E_READ;
    ByteReader shiftField = w.take(2);
    const uint16_t shift = shiftField.u16();
    if (!shiftField.ok()) return CONV_E_READ;
    auto aligned = [shift](uint16_t v) { return shift < 32 ? uint32_t(uint64_t(v) << shift) : 0u; };

    while (!list.full()) {
        ByteReader type = w.take(8);
        const uint16_t id = type.u16(), count = type.u16();
        if (!type.ok()) return CONV_E_READ;
        if (id == 0) break;
        if ((id & 0x7FFF) != kTypeBitmap) {
            w.skip(uint64_t(count) * 12);
            continue;
        }
        for (uint32_t i = 0; i < count && !list.full(); ++i) {
            ByteReader record = w.take(12);
            const uint16_t offset = record.u16(), length = record.u16();
            record.skip(2);
            const uint16_t word = record.u16();
            if (!record.ok()) return CONV_E_READ;
            addEntry(list, "", aligned(offset), aligned(length), word);
        }
    }

    // Names: a number for an id word with the high bit set, else the
    // length-prefixed string the word points at inside the table. A string
    // that cannot be read leaves the name empty; the bitmap is still listed.
    for (uint32_t i = 0; i < list.count; ++i) {
        ResourceBitmapEntry &e = list.entries[i];
        if (e.neNameWord & 0x8000) {
            std::snprintf(e.name, sizeof e.name, "%6d", e.neNameWord & 0x7FFF);
            continue;
        }
        if (!w.seek(table + e.neNameWord)) continue;
        ByteReader lengthByte = w.take(1);
        const uint32_t length = std::min<uint32_t>(lengthByte.u8(), kNameMax);
        if (!lengthByte.ok()) continue;
        ByteReader text = w.take(length);
        text.bytes(e.name, length);  // zeros when short
        e.name[length] = 0;
    }
    return list.count ? CONV_OK : CONV_CANCELLED;
}

}  // namespace

int16_t WalkPeResourceDirectory(FileWindow &w, uint32_t base, uint32_t directory, char namePrefix[32], uint32_t length,
                                ResourceBitmapList &list, uint32_t &budget) {
    return walk(w, base, directory, namePrefix, std::min(length, kNameMax), list, budget, 0);
}

int16_t ReadNeResourceTable(FileWindow &w, uint32_t newHeader, ResourceBitmapList &list) {
    return readNe(w, newHeader, list);
}

int16_t ScanProgramFile(HFile file, bool detectOnly, ResourceBitmapList &list) {
    list.count = 0;
    FileWindow w(file);
    if (!w.seek(0)) return CONV_E_READ;
    ByteReader mz = w.take(64);
    const uint16_t signature = mz.u16();
    mz.seek(24);
    const uint16_t relocations = mz.u16();
    mz.seek(60);
    const uint32_t newHeader = mz.u32();
    if (!mz.ok() || signature != kSignatureMz || relocations < 64) return CONV_E_FORMAT;
    if (!w.seek(newHeader)) return CONV_E_READ;
    ByteReader kind = w.take(2);
    const uint16_t word = kind.u16();
    if (!kind.ok()) return CONV_E_READ;
    if (word == kSignatureNe) return detectOnly ? int16_t(CONV_OK) : readNe(w, newHeader, list);
    if (word == kSignaturePe) return detectOnly ? int16_t(CONV_OK) : scanPe(w, newHeader, list);
    return CONV_E_FORMAT;
}

bool DetectProgramFile(HFile file) {
    ResourceBitmapList list;
    const bool yes = ScanProgramFile(file, true, list) == CONV_OK;
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
