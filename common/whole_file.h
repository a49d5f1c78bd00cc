// A file read into a new block, for the readers that work on a file's bytes
// in memory (TIFF, icons) or hand them on (JPEG).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/result.h"
#include "platform/owners.h"
#include "velmconv/velmconv.h"

namespace vc {

struct WholeFileRules {
    uint64_t limit = UINT64_MAX;       // read at most this many bytes from the start
    uint64_t minimum = 0;                     // a shorter file is Result::readFailed
    Result openFailure = Result::readFailed;  // the result when the file cannot be opened
};

// Result::ok with the first min(length, limit) bytes of the file in bytes
// (locked, at least one byte even for an empty file) and their count in
// size; rules.openFailure when the file cannot be opened; readFailed when
// it cannot be measured or read, or is shorter than rules.minimum; noMemory
// when the block is refused. The block is not zero-filled: the read fills
// all of it that counts.
inline Result readWholeFile(const char *fileName, plat::Block &bytes, size_t &size, const WholeFileRules &rules = {}) {
    size = 0;
    plat::File file;
    if (!file.open(fileName)) return rules.openFailure;
    const int64_t length = file.length();
    if (length < 0 || uint64_t(length) < rules.minimum) return Result::readFailed;
    const uint64_t want = std::min<uint64_t>(uint64_t(length), rules.limit);
    if (!bytes.alloc(std::max<uint64_t>(want, 1), plat::kMemMoveable)) return Result::noMemory;
    // The file calls read at most a UINT at a time; loop in case the
    // platform hands back less.
    for (uint64_t done = 0; done < want;) {
        const uint32_t chunk = uint32_t(std::min<uint64_t>(want - done, 0x40000000u));
        const int32_t got = file.read(bytes.data() + done, chunk);
        if (got <= 0) {
            bytes.reset();
            return Result::readFailed;
        }
        done += uint64_t(got);
    }
    size = size_t(want);
    return Result::ok;
}

}  // namespace vc
