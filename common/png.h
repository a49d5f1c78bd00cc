// PNG images held in memory (the compressed entries of icon files),
// decoded by the system's own PNG decoder: the PNG library on Linux, the
// imaging component on Windows. The caller sees 8-bit blue, green, red and
// alpha rows whatever the file's colour type, depth or interlacing.
//
// On Linux the same wrapper also reads and writes whole PNG files with
// their palettes kept, for the command-line host's own pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

// A PNG stream in memory of an image given as 8-bit B G R A rows from the
// top, width * 4 bytes each: colour type RGBA, 8 bits, not interlaced.
// false when the encoder fails or memory is refused (out is then empty).
[[nodiscard]] bool encodePng(uint32_t width, uint32_t height, const uint8_t *bgra, std::vector<uint8_t> &out);

// A PNG file's picture as it is stored: palette pictures as one index a
// byte with their table and the table's alpha; grey and colour pictures as
// 8-bit R G B rows, R G B A when the file has alpha or a transparency
// chunk. Rows run from the top, rowBytes apart.
struct PngFilePicture {
    uint32_t width = 0, height = 0;
    bool indexed = false;
    int bitDepth = 8;                   // of the indices (1, 2, 4 or 8) as the file has them
    bool alpha = false;                 // colour rows with a fourth byte
    std::vector<uint8_t> palette;       // R G B a entry
    std::vector<uint8_t> paletteAlpha;  // a leading part of the table's entries
    size_t rowBytes = 0;
    std::vector<uint8_t> pixels;
};

// Reads the PNG file open at f, positioned just past its signature; the
// size is offered to accept (which says why it refuses) before the rows
// are read. false with the reason in error: the PNG library's own message
// for a damaged file.
bool readPngFile(std::FILE *f, const std::function<bool(uint32_t width, uint32_t height, std::string &error)> &accept,
                 PngFilePicture &picture, std::string &error);
// Writes picture to f: indexed pictures with their table at their depth
// (indices one a byte), the others as 8-bit R G B or R G B A. false with
// the PNG library's message in error.
bool writePngFile(std::FILE *f, const PngFilePicture &picture, std::string &error);

}  // namespace vc::plat
