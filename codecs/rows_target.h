// Where a still format's decoder puts the picture's rows. By default in
// the picture's own pixels; a caller that will hold them elsewhere (an
// importer's image block) names memory of its own, and the picture is not
// copied once more.
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

}  // namespace vc
