// A whole file read into a new block, for the readers that work on the
// file's bytes in memory (TIFF) or hand them on (JPEG).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/owners.h"
#include "velmconv/velmconv.h"

namespace vc {

// CONV_OK with the file's bytes in bytes (locked, at least one byte even for
// an empty file) and their count in size; CONV_E_READ when the file cannot
// be opened, measured or read whole; CONV_E_MEMORY when the block is
// refused.
inline int16_t readWholeFile(const char *fileName, plat::Block &bytes, size_t &size) {
    plat::File file;
    if (!file.open(fileName)) return CONV_E_READ;
    const int64_t length = file.length();
    if (length < 0) return CONV_E_READ;
    if (!bytes.alloc(uint64_t(length ? length : 1))) return CONV_E_MEMORY;
    if (!file.readAll(bytes.data(), uint32_t(length))) return CONV_E_READ;
    size = size_t(length);
    return CONV_OK;
}

}  // namespace vc
