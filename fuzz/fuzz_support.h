// What every harness needs around the code it fuzzes: a check that stops the
// run (so that libFuzzer keeps the input that broke it), the input as a file
// in memory (the library reads files by name), lowered limits, the library
// attached as a loader would, and a check that one input gives back every
// block and file it took.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "common/limits.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vcfuzz {

inline void require(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::abort();
}

// A result among the documented ones.
inline bool oneOf(int32_t r, std::initializer_list<int32_t> allowed) {
    for (int32_t a : allowed)
        if (r == a) return true;
    return false;
}

// The limits every harness runs under. Legal pictures of any size load in
// time proportional to their pixels (and rows), which under the sanitizers
// soon passes the fuzzer's per-input time without reaching new code; 2^16
// pixels (the largest icon) still reach every size path. Harnesses that
// also write what they read and read it back lower the picture limit
// further. The block limit also stops decoders' own buffers for larger
// pictures, but stays above what a writer needs for a picture inside the
// picture limit (the PCX writer's run buffer for 2^16 pixels at 24 bits
// reaches 768 KiB), so that every picture read can be written again.
inline void lowerLimits(uint64_t largestPicture = uint64_t(1) << 16) {
    vc::Limits limits;
    limits.largestPicture = largestPicture;
    limits.largestBlock = uint64_t(1) << 20;
    vc::setLimits(limits);
}

// Maps the input as a file named name, with "GIF89a" in front unless it
// begins with "GIF" already, so that every input reaches the GIF reader.
inline void mapAsGif(const char *name, const uint8_t *data, size_t size) {
    if (size >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F') {
        vc::plat::memFileMap(name, data, size);
        return;
    }
    static std::vector<uint8_t> file;
    static const uint8_t kSignature[6] = {'G', 'I', 'F', '8', '9', 'a'};
    file.assign(kSignature, kSignature + 6);
    file.insert(file.end(), data, data + size);
    vc::plat::memFileMap(name, file.data(), file.size());
}

// Attaches the library as the Windows loader would.
inline void attachLibrary() { DllMain(reinterpret_cast<void *>(0x400000), 1, nullptr); }

// The movable blocks and open files before one input; everything the input
// takes must be given back by the end of it.
struct HeldResources {
    long blocks = vc::plat::memLiveBlocks();
    long files = vc::plat::fileOpenCount();

    void requireReleased() const {
        require(vc::plat::memLiveBlocks() == blocks, "memory block leaked");
        require(vc::plat::fileOpenCount() == files, "file left open");
    }
};

}  // namespace vcfuzz
