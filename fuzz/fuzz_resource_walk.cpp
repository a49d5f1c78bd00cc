// Fuzzes the NE and PE resource walkers directly on a file in memory: the
// first 8 bytes of the input are the walk's base and directory offset (for
// NE, the new header's offset), the rest is the file. Whatever the bytes,
// the walks end, keep at most 100 entries with names of at most 31
// characters, and answer a documented result.
#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "common/file_window.h"
#include "fuzz_support.h"
#include "platform/owners.h"
#include "programs/resource_reader.h"

namespace {

using vcfuzz::require;

constexpr char kIn[] = "/vcfuzz/walk.exe";

void check(int16_t r, const vc::ResourceBitmapList &list) {
    require(r == CONV_OK || r == CONV_CANCELLED || r == CONV_E_FORMAT || r == CONV_E_READ, "an undocumented result");
    require(list.count <= vc::ResourceBitmapList::kCapacity, "more entries than the list holds");
    for (uint32_t i = 0; i < list.count; ++i)
        require(strnlen(list.entries[i].name, 32) <= 31, "a name without its end");
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
        vc::ResourceBitmapList list;
        char prefix[32] = {};
        uint32_t budget = 65536;
        check(vc::WalkPeResourceDirectory(window, base, directory, prefix, 0, list, budget), list);
        list.count = 0;
        check(vc::ReadNeResourceTable(window, directory, list), list);
        list.count = 0;
        check(vc::ScanProgramFile(file.handle(), false, list), list);
    }
    held.requireReleased();
    return 0;
}
