// What every harness needs around the code it fuzzes: a check that stops the
// run (so that libFuzzer keeps the input that broke it), temporary files
// that go away when the harness exits, the input written as a file (the
// library reads files by name), the library attached as a loader would, and
// a check that one input gives back every block and file it took.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vcfuzz {

inline void require(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::abort();
}

// A new empty file named after pattern, whose XXXXXX sits before the last
// suffixLength characters; removed at exit.
inline std::string tempFile(const char *pattern, int suffixLength = 0) {
    static std::vector<std::string> made;
    if (made.empty())
        std::atexit([] {
            for (const std::string &name : made) std::remove(name.c_str());
        });
    std::string name = pattern;
    int fd = mkstemps(name.data(), suffixLength);
    require(fd >= 0, "cannot make a temporary file");
    close(fd);
    made.push_back(name);
    return name;
}

inline void writeFile(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, "cannot write the temporary file");
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
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

// True when some 0x2C byte of the input could start a GIF image descriptor
// of more than 16 million pixels. Such pictures are legal and load in time
// proportional to their size, but under the sanitizers one of them takes
// longer than the fuzzer's per-input limit; the harnesses that load GIF
// files pass them by.
inline bool mayHoldHugeGifImage(const uint8_t *data, size_t size) {
    for (size_t i = 0; i + 9 <= size; ++i) {
        if (data[i] != 0x2C) continue;
        const uint64_t width = data[i + 5] | (data[i + 6] << 8);
        const uint64_t height = data[i + 7] | (data[i + 8] << 8);
        if (width * height > (16u << 20)) return true;
    }
    return false;
}

// The same for harnesses of other formats that load through the exports: a
// mutated input that begins with "GIF" is the GIF reader's.
inline bool mayBeHugeGif(const uint8_t *data, size_t size) {
    return size >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && mayHoldHugeGifImage(data, size);
}

}  // namespace vcfuzz
