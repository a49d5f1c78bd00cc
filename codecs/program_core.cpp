// The NE and PE resource walks over a window (a file's or a span's), and
// the packed DIB made into a picture.
#include "codecs/program_core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/bytes.h"
#include "common/file_window.h"

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

// The file window's moves and reads over bytes in memory: a read short of
// the end fails, a move past the end succeeds and the next read fails.
class SpanWindow {
public:
    explicit SpanWindow(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    int64_t tell() const { return int64_t(pos_); }
    bool seek(uint64_t offset) {
        if (offset > 0x7FFFFFFF) return false;
        pos_ = offset;
        return true;
    }
    void skip(uint64_t n) { pos_ = n > UINT64_MAX - pos_ ? UINT64_MAX : pos_ + n; }
    ByteReader take(uint32_t n) {
        n = std::min(n, FileWindow::kSize);
        const uint64_t have = pos_ < bytes_.size() ? std::min<uint64_t>(n, bytes_.size() - pos_) : 0;
        ByteReader r = have ? ByteReader(bytes_.data() + pos_, size_t(have)) : ByteReader();
        pos_ += have;
        if (have < n) r.fail();
        return r;
    }

private:
    std::span<const uint8_t> bytes_;
    uint64_t pos_ = 0;
};

using List = std::vector<ProgramBitmap>;

bool full(const List &list) { return list.size() >= kProgramBitmapMost; }

// Appends text to the name at length, the whole kept within 31 characters.
uint32_t putName(char name[32], uint32_t length, const char *text) {
    while (*text && length < kNameMax) name[length++] = *text++;
    name[length] = 0;
    return length;
}

void addEntry(List &list, const char *name, uint32_t offset, uint32_t size, uint16_t word) {
    ProgramBitmap e;
    e.name.assign(name, strnlen(name, kNameMax));
    e.id = uint32_t(list.size());
    e.dataOffset = offset;
    e.dataSize = size;
    e.neNameWord = word;
    list.push_back(std::move(e));
}

// A PE resource name: a length and that many UTF-16 characters, of which
// the low bytes of at most 31 are kept; "???" when empty or unreadable.
template <class W> void readPeName(W &w, uint32_t at, char part[32]) {
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

template <class W>
Result walk(W &w, uint32_t base, uint32_t directory, char prefix[32], uint32_t length, List &list, uint32_t &budget,
            int depth) {
    if (depth > kMaxDepth || !w.seek(uint32_t(base + directory))) return Result::readFailed;
    ByteReader head = w.take(16);
    head.skip(12);
    const uint32_t n = uint32_t(head.u16()) + head.u16();
    if (!head.ok()) return Result::readFailed;
    for (uint32_t i = 0; i < n; ++i) {
        if (budget == 0) return Result::readFailed;
        --budget;
        const int64_t behind = w.tell() + 8;
        ByteReader entry = w.take(8);
        const uint32_t name = entry.u32(), offset = entry.u32();
        if (!entry.ok()) return Result::readFailed;
        char part[32] = {};
        if (name & kHighBit)
            readPeName(w, uint32_t(base + (name & ~kHighBit)), part);
        else if (name > 0)
            std::snprintf(part, sizeof part, length > 0 ? "-%d" : "%6d", int(name));
        const uint32_t whole = putName(prefix, length, part);
        if (offset & kHighBit) {
            const Result r = walk(w, base, offset & ~kHighBit, prefix, whole, list, budget, depth + 1);
            if (r != Result::ok || full(list)) return r;
        } else {
            if (!w.seek(uint32_t(base + offset))) return Result::readFailed;
            ByteReader data = w.take(16);
            const uint32_t rva = data.u32(), size = data.u32();
            if (!data.ok()) return Result::readFailed;
            addEntry(list, prefix, uint32_t(rva + base), size, 0);
            if (full(list)) return Result::ok;
        }
        if (!w.seek(uint64_t(behind))) return Result::readFailed;
    }
    return Result::ok;
}

// The PE path from the new header on. Programs for 64-bit systems (PE32+,
// optional-header magic 0x20B) have their own optional-header layout: the
// directory count and the directories come 16 bytes later. Everything
// else is read the same for both.
template <class W> Result scanPe(W &w, uint32_t newHeader, List &list) {
    if (!w.seek(newHeader)) return Result::readFailed;
    ByteReader signature = w.take(4);
    const uint32_t pe = signature.u32();
    if (!signature.ok()) return Result::readFailed;
    if (pe != kSignaturePe) return Result::notFormat;
    ByteReader fileHeader = w.take(20);
    fileHeader.skip(2);
    const uint16_t sections = fileHeader.u16();
    if (!fileHeader.ok()) return Result::readFailed;
    ByteReader optional = w.take(96);
    const uint16_t magic = optional.u16();
    optional.seek(92);
    uint32_t directories = optional.u32();
    if (!optional.ok()) return Result::readFailed;
    if (magic == kMagicPe32Plus) {
        ByteReader more = w.take(16);
        more.skip(12);
        directories = more.u32();
        if (!more.ok()) return Result::readFailed;
    }
    if (directories < 3) return Result::noneFound;
    const uint32_t read = std::min<uint32_t>(directories, 16);
    ByteReader table = w.take(read * 8);
    table.skip(16);
    const uint32_t rva = table.u32();
    if (!table.ok()) return Result::readFailed;
    // The section headers follow every directory the header counts.
    w.skip(uint64_t(directories - read) * 8);

    uint32_t base = 0;
    bool found = false;
    for (uint32_t i = 0; i < sections && !found; ++i) {
        ByteReader header = w.take(40);
        header.skip(12);
        const uint32_t address = header.u32(), rawSize = header.u32(), rawAt = header.u32();
        if (!header.ok()) return Result::noneFound;
        if (address <= rva && uint64_t(rva) < uint64_t(address) + rawSize) {
            base = rawAt - address + rva;
            found = true;
        }
    }
    if (!found) return Result::noneFound;

    if (!w.seek(base)) return Result::readFailed;
    ByteReader root = w.take(16);
    root.skip(12);
    const uint32_t n = uint32_t(root.u16()) + root.u16();
    if (!root.ok()) return Result::readFailed;
    uint32_t bitmaps = 0;
    bool haveBitmaps = false;
    for (uint32_t i = 0; i < n && !haveBitmaps; ++i) {
        ByteReader entry = w.take(8);
        const uint32_t name = entry.u32(), offset = entry.u32();
        if (!entry.ok()) return Result::readFailed;
        if (name == kTypeBitmap && (offset & kHighBit)) {
            bitmaps = offset & ~kHighBit;
            haveBitmaps = true;
        }
    }
    if (!haveBitmaps) return Result::noneFound;

    char prefix[32] = {};
    uint32_t budget = kEntryBudget;
    const Result r = walk(w, base, bitmaps, prefix, 0, list, budget, 0);
    for (ProgramBitmap &e : list) e.dataOffset -= rva;
    return list.empty() ? Result::noneFound : r;
}

template <class W> Result readNe(W &w, uint32_t newHeader, List &list) {
    if (!w.seek(newHeader)) return Result::readFailed;
    ByteReader header = w.take(64);
    const uint16_t signature = header.u16();
    header.seek(36);
    const uint16_t resources = header.u16(), residentNames = header.u16();
    if (!header.ok()) return Result::readFailed;
    if (signature != kSignatureNe) return Result::notFormat;
    if (resources == residentNames) return Result::noneFound;

    const uint64_t table = uint64_t(newHeader) + resources;
    if (!w.seek(table)) return Result::readFailed;
    ByteReader shiftField = w.take(2);
    const uint16_t shift = shiftField.u16();
    if (!shiftField.ok()) return Result::readFailed;
    auto aligned = [shift](uint16_t v) { return shift < 32 ? uint32_t(uint64_t(v) << shift) : 0u; };

    const size_t first = list.size();
    while (!full(list)) {
        ByteReader type = w.take(8);
        const uint16_t id = type.u16(), count = type.u16();
        if (!type.ok()) return Result::readFailed;
        if (id == 0) break;
        if ((id & 0x7FFF) != kTypeBitmap) {
            w.skip(uint64_t(count) * 12);
            continue;
        }
        for (uint32_t i = 0; i < count && !full(list); ++i) {
            ByteReader record = w.take(12);
            const uint16_t offset = record.u16(), length = record.u16();
            record.skip(2);
            const uint16_t word = record.u16();
            if (!record.ok()) return Result::readFailed;
            addEntry(list, "", aligned(offset), aligned(length), word);
        }
    }

    // Names: a number for an id word with the high bit set, else the
    // length-prefixed string the word points at inside the table. A string
    // that cannot be read leaves the name empty; the bitmap is still listed.
    for (size_t i = first; i < list.size(); ++i) {
        ProgramBitmap &e = list[i];
        char name[32] = {};
        if (e.neNameWord & 0x8000) {
            std::snprintf(name, sizeof name, "%6d", e.neNameWord & 0x7FFF);
            e.name = name;
            continue;
        }
        if (!w.seek(table + e.neNameWord)) continue;
        ByteReader lengthByte = w.take(1);
        const uint32_t length = std::min<uint32_t>(lengthByte.u8(), kNameMax);
        if (!lengthByte.ok()) continue;
        ByteReader text = w.take(length);
        text.bytes(name, length);  // zeros when short
        e.name = name;
    }
    return list.size() > first ? Result::ok : Result::noneFound;
}

// The MZ header and the kind of the new header: notFormat for anything
// else. newHeader and kind are set when the result is ok.
template <class W> Result probe(W &w, uint32_t &newHeader, uint16_t &kind) {
    if (!w.seek(0)) return Result::readFailed;
    ByteReader mz = w.take(64);
    const uint16_t signature = mz.u16();
    mz.seek(24);
    const uint16_t relocations = mz.u16();
    mz.seek(60);
    newHeader = mz.u32();
    if (!mz.ok() || signature != kSignatureMz || relocations < 64) return Result::notFormat;
    if (!w.seek(newHeader)) return Result::readFailed;
    ByteReader word = w.take(2);
    kind = word.u16();
    if (!word.ok()) return Result::readFailed;
    return kind == kSignatureNe || kind == kSignaturePe ? Result::ok : Result::notFormat;
}

template <class W> Result list(W &w, const CoreRequest &request, List &out) {
    out.clear();
    if (!request.progress(0)) return Result::cancelled;
    try {
        uint32_t newHeader = 0;
        uint16_t kind = 0;
        const Result found = probe(w, newHeader, kind);
        if (found != Result::ok) return found;
        const Result r = kind == kSignatureNe ? readNe(w, newHeader, out) : scanPe(w, newHeader, out);
        if (!request.progress(100)) return Result::cancelled;
        return r;
    } catch (const std::bad_alloc &) {
        out.clear();
        return Result::noMemory;
    }
}

}  // namespace

bool looksLikeProgram(std::span<const uint8_t> bytes) {
    SpanWindow w(bytes);
    uint32_t newHeader = 0;
    uint16_t kind = 0;
    return probe(w, newHeader, kind) == Result::ok;
}

bool looksLikeProgram(FileWindow &window) {
    uint32_t newHeader = 0;
    uint16_t kind = 0;
    return probe(window, newHeader, kind) == Result::ok;
}

Result listProgramBitmaps(std::span<const uint8_t> bytes, const CoreRequest &request, std::vector<ProgramBitmap> &out) {
    SpanWindow w(bytes);
    return list(w, request, out);
}

Result listProgramBitmaps(FileWindow &window, const CoreRequest &request, std::vector<ProgramBitmap> &out) {
    return list(window, request, out);
}

Result walkPeBitmapDirectory(FileWindow &window, uint32_t base, uint32_t directory, const char *namePrefix,
                             uint32_t length, std::vector<ProgramBitmap> &out, uint32_t &budget) {
    char prefix[32] = {};
    length = std::min(length, kNameMax);
    if (namePrefix) std::memcpy(prefix, namePrefix, length);
    return walk(window, base, directory, prefix, length, out, budget, 0);
}

Result readNeBitmapTable(FileWindow &window, uint32_t newHeader, std::vector<ProgramBitmap> &out) {
    return readNe(window, newHeader, out);
}

Result programBitmapData(std::span<const uint8_t> bytes, const ProgramBitmap &which, const Limits &limits,
                         std::span<const uint8_t> &data) {
    data = {};
    if (which.dataOffset > bytes.size()) return Result::readFailed;
    // Data said to run past the end of the file gives what is there, so a
    // damaged size cannot ask for a huge block.
    const uint64_t size = std::min<uint64_t>(which.dataSize, bytes.size() - which.dataOffset);
    if (size > limits.largestBlock) return Result::noMemory;
    if (size <= 40) return Result::readFailed;
    data = bytes.subspan(which.dataOffset, size_t(size));
    return Result::ok;
}

Result decodeProgramBitmap(std::span<const uint8_t> bytes, const ProgramBitmap &which, const CoreRequest &request,
                           Picture &out) {
    if (!request.progress(0)) return Result::cancelled;
    std::span<const uint8_t> data;
    if (const Result r = programBitmapData(bytes, which, request.limits, data); r != Result::ok) return r;
    const Result r = decodePackedDib(data, request.limits, out);
    if (r == Result::ok && !request.progress(100)) return Result::cancelled;
    return r;
}

}  // namespace vc
