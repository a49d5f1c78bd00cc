// Fuzzes the NE and PE resource walkers directly on a file in memory: the
// first 8 bytes of the input are the walk's base and directory offset (for
// NE, the new header's offset), the rest is the file. Whatever the bytes,
// the walks end, keep at most 100 entries with names of at most 31
// characters, and answer a documented result. Then the program core on the
// file in memory, every listed bitmap decoded, and the file itself decoded
// as a stored DIB: every picture given is whole.
#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "fuzz_support.h"
#include "platform/owners.h"
#include "codecs/program_core.h"
#include "common/limits.h"
#include "programs/resource_reader.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/walk.exe";

using vc::Result;

void check(Result r, size_t count, auto nameOf) {
    require(r == Result::ok || r == Result::noneFound || r == Result::notFormat || r == Result::readFailed,
            "an undocumented result");
    require(count <= vc::kProgramBitmapMost, "more entries than the list holds");
    for (size_t i = 0; i < count; ++i) require(nameOf(i).size() <= 31, "a name longer than 31 characters");
}

void check(Result r, const std::vector<vc::ProgramBitmap> &list) {
    check(r, list.size(), [&](size_t i) { return list[i].name; });
}

void check(Result r, const vc::ResourceBitmapList &list) {
    check(r, list.count, [&](size_t i) { return std::string(list.entries[i].name, strnlen(list.entries[i].name, 32)); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    vcfuzz::lowerLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 8) return 0;
    const uint32_t base = vc::loadLe32(data), directory = vc::loadLe32(data + 4);
    vc::plat::memFileMap(kIn, data + 8, size - 8);
    const vcfuzz::HeldResources held;
    {
        vc::plat::File file;
        require(file.open(kIn), "the mapped file does not open");
        vc::FileWindow window(file.handle());
        std::vector<vc::ProgramBitmap> found;
        uint32_t budget = 65536;
        check(vc::walkPeBitmapDirectory(window, base, directory, "", 0, found, budget), found);
        found.clear();
        check(vc::readNeBitmapTable(window, directory, found), found);
        vc::ResourceBitmapList list;
        check(vc::ScanProgramFile(file.handle(), false, list), list);
    }
    // The core on the same bytes in memory: the list, and every bitmap in
    // it as a picture that agrees with itself.
    const std::span<const uint8_t> bytes(data + 8, size - 8);
    vc::CoreRequest request;
    request.limits = vc::limits();
    std::vector<vc::ProgramBitmap> found;
    const Result r = vc::listProgramBitmaps(bytes, request, found);
    check(r, found);
    require(vc::looksLikeProgram(bytes) || r == Result::notFormat || r == Result::readFailed,
            "a list from bytes that do not look like a program");
    for (const vc::ProgramBitmap &b : found) {
        vc::Picture picture;
        if (vc::decodeProgramBitmap(bytes, b, request, picture) == Result::ok)
            require(picture.consistent(), "a picture whose buffers disagree with its size");
    }
    // The same bytes as a stored DIB of their own.
    vc::Picture picture;
    if (vc::decodePackedDib(bytes, request.limits, picture) == Result::ok)
        require(picture.consistent(), "a DIB's picture whose buffers disagree with its size");
    held.requireReleased();
    return 0;
}
