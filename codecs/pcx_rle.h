// The PCX run-length coder: a count byte (both top bits set) repeats the
// byte after it (count AND 63) times; every other byte stands for itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vc {

// Emits one run (value, count 1..63) at out; returns the bytes written, 1
// or 2. A lone value with both top bits set needs a count byte of its own.
uint32_t PcxPutRun(uint8_t *out, uint8_t value, uint32_t count);

namespace pcx {

constexpr uint32_t kHeaderSize = 128;
constexpr uint32_t kPaletteBlockSize = 769;  // marker 12 and 256 triplets
constexpr uint8_t kPaletteMarker = 12;

// Expands a run-length stream into out (capacity outSize), stopping when
// either the input is consumed or the output is full; a run cut by the end
// of the output is clipped. Returns the bytes produced.
size_t decodeRle(const uint8_t *in, size_t inSize, uint8_t *out, size_t outSize);

// The same in pieces: each call goes on where the last one stopped, a run
// cut by the end of one output opening the next.
struct RleState {
    size_t consumed = 0;  // input bytes taken
    size_t pending = 0;   // bytes of a cut run still to come
    uint8_t value = 0;    // ... and their value
};
size_t decodeRle(const uint8_t *in, size_t inSize, RleState &state, uint8_t *out, size_t outSize);

// The ways the expansion can go; decodeRle takes the fastest this processor
// runs, the others stay callable so that each can be checked against the rest.
enum class RleWay : uint8_t {
    bytes,        // one byte at a time
    words,        // 8 bytes at a time up to the next count (32-bit builds)
    blocksPlain,  // 64-byte blocks, count bytes found with word arithmetic
    blocks,       // ... found with vector compares where the build has them
    shuffles,     // blocks of short runs closed up with byte shuffles
    compress,     // ... with one 64-byte compression
};
bool rleWayRuns(RleWay way);
size_t decodeRle(const uint8_t *in, size_t inSize, RleState &state, uint8_t *out, size_t outSize, RleWay way);

// Encodes one scan line; out needs 2 * n bytes in the worst case. Returns
// the bytes written.
size_t encodeLine(const uint8_t *line, size_t n, uint8_t *out);

}  // namespace pcx
}  // namespace vc
