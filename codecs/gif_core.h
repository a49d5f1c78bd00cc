// The GIF core: GIF bytes (87a or 89a, one image or many) to an animation
// and an animation to GIF89a bytes. A still GIF reads as an animation of
// one frame, and one frame is written as a still GIF.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/picture.h"
#include "common/result.h"

namespace vc {

// True when the bytes start with "GIF".
bool looksLikeGif(std::span<const uint8_t> bytes);

// Every image of the file (up to the first 256; the others are checked and
// skipped) as a frame of its own size, at depth 1, 4 or 8 with the global
// colour table (a local table replacing its first colours), 2953 pixels
// per metre, the transparent index, position, delay, disposal, user input
// and interlace of its graphic control; the screen, looping, global table,
// background and comment of the file. An image whose data cannot be
// decoded (or is cut short) is given blank, index 0, as the importer gives
// it; one whose data ends early without harm keeps what it drew.
// notFormat when the bytes do not start with "GIF"; readFailed when they
// end before the trailer; unsupported for a block of an unknown kind;
// damaged for an image of no pixels; noMemory past request.limits;
// cancelled when progress (reported per frame) says stop.
Result decodeGif(std::span<const uint8_t> bytes, const CoreRequest &request, Animation &out);

// What the save's option word chooses.
struct GifWriteOptions {
    // Report progress: per row for a still image, per frame for an
    // animation (the browser preview's save reports none).
    bool reportProgress = true;
};

// GIF89a with the first frame's colour table as the global table (its
// depth sets the file's); a frame of another depth or palette carries a
// local table. One frame, without looping or comment, is a still GIF: a
// graphic control only when its picture has a transparent index. Otherwise
// the screen (the animation's, or the first frame's size when it gives
// none), background, looping and comment, and a graphic control before
// every frame. unsupported for a frame that is not of 1, 4 or 8 bits;
// damaged for no frames or an inconsistent picture; cancelled when
// progress says stop.
Result encodeGif(const Animation &animation, const CoreRequest &request, std::vector<uint8_t> &out);
Result encodeGif(const Animation &animation, const CoreRequest &request, const GifWriteOptions &options,
                 std::vector<uint8_t> &out);

}  // namespace vc
