// Animated cursors (.ANI) in memory. An ANI file is a RIFF form of type
// ACON: an animation header (anih), optional per-step rates and a step
// sequence, an optional INFO list with title and author, and a fram list
// whose icon chunks each hold a complete one-image icon or cursor file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/picture.h"
#include "common/result.h"
#include "common/riff.h"
#include "velmconv/documents.h"

namespace vc {

constexpr uint32_t kIdRiff = riff::kRiff;
constexpr uint32_t kIdAcon = riff::fourcc("ACON");
constexpr uint32_t kIdAnih = riff::fourcc("anih");
constexpr uint32_t kIdRate = riff::fourcc("rate");
constexpr uint32_t kIdSeq = riff::fourcc("seq ");
constexpr uint32_t kIdList = riff::kList;
constexpr uint32_t kIdInfo = riff::fourcc("INFO");
constexpr uint32_t kIdInam = riff::fourcc("INAM");
constexpr uint32_t kIdIart = riff::fourcc("IART");
constexpr uint32_t kIdFram = riff::fourcc("fram");
constexpr uint32_t kIdIcon = riff::fourcc("icon");

constexpr uint32_t kAniMaxSteps = VC_ANI_MAX_STEPS;
constexpr uint32_t kAniHeaderSize = 36;
constexpr uint32_t kAniFlagIcon = VC_ANI_FLAG_ICON;
constexpr uint32_t kAniFlagSequence = VC_ANI_FLAG_SEQUENCE;
constexpr size_t kAniTextSize = VC_ANI_TEXT_SIZE;

// The nine fields of the anih chunk, in file order: the public cursor
// document's header (velmconv/documents.h).
using AniHeader = ::VcAniHeader;
static_assert(sizeof(AniHeader) == kAniHeaderSize);

// What an animated cursor holds, as its chunks give it: each anih, rate and
// seq body is laid over these fields as far as it goes (a short anih
// changes only the fields it holds), texts keep at most 79 characters and
// their NUL. Starts as an empty header of size 36.
struct AniParts {
    AniHeader header{kAniHeaderSize, 0, 0, 0, 0, 0, 0, 0, 0};
    char title[kAniTextSize] = {}, author[kAniTextSize] = {};
    uint32_t rates[kAniMaxSteps] = {};     // 1/60 s per step
    uint32_t sequence[kAniMaxSteps] = {};  // frame index per step
    // The steps the parts really have room for: the step count, at most 256.
    uint32_t steps() const { return header.stepCount < kAniMaxSteps ? header.stepCount : kAniMaxSteps; }
};

// Whether the bytes start as an animated cursor: RIFF and ACON.
bool looksLikeAnimatedCursor(std::span<const uint8_t> bytes);

// Where the walk hands each frame: the icon chunk's body (a whole icon
// file, pointing into the bytes walked) with its number in its fram list,
// in file order as the walk reaches it. ok goes on; another result is kept
// and the walk goes on to the end of that fram list, then ends with the
// last result kept; with stop set the walk ends at once with the result.
class AniFrameSink {
public:
    virtual Result frame(std::span<const uint8_t> iconFile, uint32_t number, bool &stop) = 0;

protected:
    ~AniFrameSink() = default;
};

// The walk of an animated cursor's chunks into parts, the frames handed to
// the sink.
//   - Not RIFF and ACON: notFormat. The RIFF size is ignored: the top-level
//     chunks run to the end, and a header that cannot be read whole is the
//     normal end.
//   - An anih, rate or seq body cut by the end, a list type that cannot be
//     read, and a move to 2 GiB or beyond end the walk with readFailed; an
//     icon chunk claiming more than its list or the bytes hold as well. A
//     list shorter than its type still has four type bytes read, from
//     whatever follows it.
//   - A later chunk of a kind replaces what an earlier one gave: an anih
//     fills the default steps (the default rate, frames in turn) over rate
//     and seq read before it, and a rate or seq after it overwrites them. A
//     frame count of 0 is unsupported.
//   - INFO never fails: a text claiming more than its list holds ends the
//     INFO walk (texts read before stay); a text cut by the end keeps what
//     is there. The next chunk starts behind the list as its size says.
Result walkAnimatedCursor(std::span<const uint8_t> bytes, AniParts &out, AniFrameSink &frames);

// The first icon chunk of the first fram list of the top level, all else
// skipped (what a preview shows); false when there is none or it claims
// more than its list or the bytes hold.
bool firstAnimatedCursorFrame(std::span<const uint8_t> bytes, std::span<const uint8_t> &iconFile);

// An animated cursor: title, author, the default rate, the rates and
// sequence of its steps (at most 256) and each frame the image its icon
// file opens at (chooseIconImage), with hotspot and mask. The walk's
// failures as above; a frame without a usable image is damaged.
// Animation::rates and sequence hold the steps of the file even where the
// file's own step count is 0 (then both are empty).
// With everySize each frame gives every entry its icon file holds (as
// decodeIconFile decodes them; entries that cannot be decoded stay out),
// each a frame whose group is the number of its animation frame, and the
// steps name those groups.
Result decodeAnimatedCursor(std::span<const uint8_t> bytes, const CoreRequest &request, Animation &out,
                            bool everySize = false);

// The head of a file as the writer puts it: RIFF header (size 0, to be set
// when the file is complete), ACON, anih, rate and seq of parts.steps()
// entries, and when there is a text the INFO list (title and author with
// their NUL, each padded to even).
std::vector<uint8_t> animatedCursorHead(const AniParts &parts);
// The LIST header and type of a fram list of frameCount icon chunks whose
// image data is dataSize bytes each.
std::vector<uint8_t> animatedCursorFramList(uint64_t dataSize, uint32_t frameCount);
// One icon chunk: a one-image cursor file (oneImageIconFile) around the
// icon image data, with its hotspot.
std::vector<uint8_t> animatedCursorFrame(std::span<const uint8_t> iconData, uint16_t hotspotX, uint16_t hotspotY);

// An animated cursor of the animation's frames as one-image cursor files
// with their hotspots. The steps are the animation's sequence (every frame
// in turn when it has none), their rates the animation's (the default rate
// for each when it has none); anih holds the first frame's size and depth.
// unsupported for no frames, more than 256 steps, rates that do not match
// the steps, a step naming no frame, or an inconsistent picture.
Result encodeAnimatedCursor(const Animation &cursor, const CoreRequest &request, std::vector<uint8_t> &out);

// An animated cursor whose frames each hold several sizes: picture k of the
// animation goes into frame frameOf[k] (frames numbered 0 up, each holding
// at least one picture), whose icon chunk is a cursor file of every picture
// it holds (encodeIconSet, each with its hotspot). Steps, rates and texts
// as above, the steps naming those frames. unsupported also when frameOf
// does not give every picture a frame or leaves a frame empty.
Result encodeAnimatedCursorSets(const Animation &cursor, std::span<const uint32_t> frameOf, const CoreRequest &request,
                                std::vector<uint8_t> &out);

}  // namespace vc
