// Where a still format's decoder puts the picture's rows, and where its
// writer reads them. By default in the picture's own pixels; a caller that
// holds them elsewhere (an importer's or exporter's image block) names
// memory of its own, and the picture is not copied once more.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/picture.h"

namespace vc {

struct RowsTarget {
    // Called once, when every check has passed and every field of the
    // picture but its pixels is filled in: rowBytes() x height bytes of
    // zeros that stay the caller's, or none to refuse them (the decoder
    // then gives noMemory). The picture's pixels stay empty.
    uint8_t *(*rowsFor)(void *context, const Picture &picture) = nullptr;
    void *context = nullptr;
};

// The rows a decoder writes: the target's, or the picture's own.
inline uint8_t *rowsOf(const RowsTarget &target, Picture &picture) {
    if (target.rowsFor) return target.rowsFor(target.context, picture);
    picture.pixels.assign(size_t(picture.rowBytes() * uint64_t(picture.height)), 0);
    return picture.pixels.data();
}

// Whether every field of the picture but its pixels agrees with its size
// and depth: what a writer checks of a picture whose rows lie elsewhere.
inline bool fieldsConsistent(const Picture &p) {
    if (p.width <= 0 || p.height <= 0) return false;
    if (p.bitCount != 1 && p.bitCount != 4 && p.bitCount != 8 && p.bitCount != 24 && p.bitCount != 32) return false;
    return p.bitCount > 8 || p.palette.size() <= (size_t(1) << p.bitCount);
}

}  // namespace vc
