// What each codec backend of the JPEG library stand-in provides: the
// entries check the record, the backend does the file work.
#pragma once

#include "ijl/ijl.h"

namespace jl {

// Fills width, height and component count from the file's header.
int32_t readParams(const char *file, int32_t &width, int32_t &height, int32_t &channels);
// Decodes the whole image into the checked pixel side of props.
int32_t readImage(const JlProperties &props);
// Encodes the checked pixel side of props into props.jpegFile.
int32_t writeImage(const JlProperties &props);

}  // namespace jl
