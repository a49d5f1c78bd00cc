// Icon sets: one picture at several sizes in one icon or cursor file (the
// icon command), or in each frame of an animated cursor (convert --to ani
// --sizes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "velmconv/api.h"

namespace host {

struct IconSetRequest {
    std::vector<int32_t> sizes;                          // --sizes, as given
    std::vector<int> depths;                             // --depths; empty: 32 only
    std::optional<std::pair<int32_t, int32_t>> hotspot;  // --hotspot, in the largest input's pixels
    bool dither = false;
};

// The option values: false with the reason when a value is not one.
// Sizes 1 to 256, each once; depths 32, 8 and 4, each once; a hotspot X,Y
// of two whole numbers from 0.
bool parseSizes(const std::string &text, std::vector<int32_t> &sizes, std::string &why);
bool parseDepths(const std::string &text, std::vector<int> &depths, std::string &why);
bool parseHotspot(const std::string &text, std::pair<int32_t, int32_t> &hotspot, std::string &why);

// The picture of `size` x `size` made from the sizes of one picture: one
// of that size (square) taken as it is, at 32 bits; else the largest
// resampled by the library (its hotspot scaled). Null when memory is
// refused; resampled says which it was. A largest picture that is not
// square keeps its proportions, centred on a transparent square (its
// hotspot moved with it).
vc_picture *pictureAtSize(const std::vector<const vc_picture *> &sources, int32_t size, bool &resampled);

// Where a hotspot of a width x height picture lies in its picture at
// size x size as pictureAtSize makes it.
std::pair<int32_t, int32_t> hotspotAtSize(std::pair<int32_t, int32_t> at, int32_t width, int32_t height, int32_t size);

// velmconv icon: the inputs' pictures at every size and depth asked for,
// written to out (.ico or .cur). The exit code; what was written, or why
// not, said on standard output and standard error.
int runIconSet(const std::vector<std::string> &inputs, const std::string &out, const IconSetRequest &request);

}  // namespace host
