// PNG images held in memory (the compressed entries of icon files),
// decoded by the system's own PNG decoder: the PNG library on Linux, the
// imaging component on Windows. The caller sees 8-bit blue, green, red and
// alpha rows whatever the file's colour type, depth or interlacing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/bytes.h"

namespace vc::plat {

// Where a decode puts the image: its size first (false refuses it, before
// any row is decoded), then every row from the top, 4 bytes a pixel.
class PngSink {
public:
    virtual bool size(uint32_t width, uint32_t height) = 0;
    virtual void row(uint32_t y, const uint8_t *bgra) = 0;

protected:
    ~PngSink() = default;
};

// Whether the bytes start with the PNG signature.
inline bool isPng(const uint8_t *data, size_t size) {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < sizeof kSignature) return false;
    for (size_t i = 0; i < sizeof kSignature; ++i)
        if (data[i] != kSignature[i]) return false;
    return true;
}

// The width and height of the image header that a PNG stream opens with
// (big-endian, right after the signature); false when the stream does not
// open with one.
inline bool pngHeaderSize(const uint8_t *data, size_t size, uint32_t &width, uint32_t &height) {
    if (!isPng(data, size)) return false;
    ByteReader r(data, size);
    r.skip(12);  // the signature and the chunk's length
    const uint8_t *type = r.span(4);
    width = r.u32be();
    height = r.u32be();
    return r.ok() && std::memcmp(type, "IHDR", 4) == 0;
}

// How a decode ended. On anything but done, rows already handed over are to
// be thrown away.
enum class PngResult {
    done,
    unusable,  // not a PNG image, damaged or cut short before the last row, or refused by the sink
    noMemory,  // the decoder's own memory was refused
};

// Decodes the whole image into the sink.
[[nodiscard]] PngResult decodePng(const uint8_t *data, size_t size, PngSink &sink);

}  // namespace vc::plat
