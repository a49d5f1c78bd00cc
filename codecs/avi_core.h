// AVI files through the companion library (vfw/velmvfw.h), which works on
// files: every frame of a video as a picture, and an animation written as
// a video. The companion is loaded from this library's own folder for one
// call and freed at its end; nothing is kept between calls.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/picture.h"
#include "common/result.h"

namespace vc {

constexpr const char *kAviCompanionName = "VELMVFW32.DLL";
// Frames a second when nothing (or nothing usable) was chosen.
constexpr uint32_t kAviDefaultRate = 12;
// What a frame of fewer than 8 bits grows by when it is widened to 8 bits:
// a 16-entry table grown to 256 entries.
constexpr uint32_t kAviPaletteRoom = 960;
// The editor's data about a frame that goes with it to the companion.
constexpr uint32_t kAviInfoBufferSize = 128;

// The companion for one call. Each function is looked up by name when it
// is asked for, so a companion that lacks one answers with none instead of
// failing to load. A lookup given instead of a library stands for the
// companion (a scripted one in tests); a null lookup is a missing
// companion.
class AviCompanion {
public:
    using Lookup = void *(*)(const char *name);
    AviCompanion();  // the library beside this module
    explicit AviCompanion(Lookup lookup);
    ~AviCompanion();
    AviCompanion(const AviCompanion &) = delete;
    AviCompanion &operator=(const AviCompanion &) = delete;

    explicit operator bool() const { return library_ || lookup_; }
    // The loaded library itself; none for a lookup.
    void *library() const { return library_; }
    void *proc(const char *name) const;
    template <class Fn> Fn function(const char *name) const { return reinterpret_cast<Fn>(proc(name)); }

private:
    void *library_ = nullptr;
    Lookup lookup_ = nullptr;
};

// What the export dialog chooses; the defaults are what it writes when
// run with its defaults.
struct AviWriteOptions {
    uint32_t rate = 12;           // frames per second, 1 to 25; another rate writes 12
    std::vector<uint32_t> ticks;  // each frame's display length in frames of the rate; missing: 1; 0 leaves it out
    std::string wave;             // a sound file merged into the video; empty: none
};

// Whether the bytes start as an AVI file (a RIFF file of type "AVI ", or
// the bare type).
bool looksLikeAvi(std::span<const uint8_t> bytes);

// Every frame as a picture (the companion's packed DIBs), each shown for
// one frame of the rate: rateNumerator frames a second over
// rateDenominator 1, and the delay in hundredths. A frame the companion
// cannot give is left out. unsupported without the companion (or a
// companion that cannot give frames), readFailed when it cannot open the
// file, noMemory past the limits.
Result readAvi(const char *path, const CoreRequest &request, Animation &out);
Result readAvi(const AviCompanion &companion, const char *path, const CoreRequest &request, Animation &out);

// The frames written at options.rate, each held for its ticks, the last
// picture once more at the last tick of its length so that players hold
// it. Every frame must have the first one's size and depth (1, 4, 8 or 24
// bits); the first frame's palette is the video's. 4-bit frames are
// written as 8-bit ones. noneFound when no frame is written and cancelled
// when progress said stop (no file is left either way); unsupported
// without the companion or for frames it cannot take; createFailed when
// the file cannot be made; damaged when the companion refuses the stream;
// writeFailed when a frame cannot be written (the file stays as far as it
// got) or the sound cannot be merged (the video stays whole).
Result writeAvi(const Animation &video, const char *path, const CoreRequest &request);
Result writeAvi(const Animation &video, const char *path, const AviWriteOptions &options, const CoreRequest &request);
Result writeAvi(const AviCompanion &companion, const Animation &video, const char *path, const AviWriteOptions &options,
                const CoreRequest &request);

}  // namespace vc
