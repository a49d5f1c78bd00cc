// What each codec backend of the JPEG library stand-in provides: the
// entries check the record, the backend does the file work.
#pragma once

#include <cstddef>

#include "ijl/ijl.h"

namespace jl {

// What a read decodes: the bytes in memory when the record holds them,
// else the named file.
struct Source {
    const char *file;
    const uint8_t *bytes;
    uint32_t size;
};
inline Source sourceOf(const JlProperties &p) { return Source{p.jpegFile, p.jpegBytes, p.jpegSizeBytes}; }

// The pixel side's rows, whichever way up they are stored.
inline int64_t rowCount(const JlProperties &p) { return p.dibHeight < 0 ? -int64_t(p.dibHeight) : p.dibHeight; }

// Where image row y (0 at the top) of a usable pixel side starts.
inline uint8_t *rowAt(const JlProperties &p, int64_t y) {
    const size_t stride = size_t(p.dibWidth) * 3 + size_t(p.dibPadBytes);
    return p.dibBytes + stride * size_t(p.dibHeight < 0 ? rowCount(p) - 1 - y : y);
}

// Fills width, height and component count from the header.
int32_t readParams(const Source &source, int32_t &width, int32_t &height, int32_t &channels);
// Decodes the whole image of sourceOf(props) into the checked pixel side of
// props.
int32_t readImage(const JlProperties &props);
// Encodes the checked pixel side of props into props.jpegOutBytes when set
// (written: the byte count on JL_OK), else into props.jpegFile.
int32_t writeImage(const JlProperties &props, uint32_t &written);

}  // namespace jl
