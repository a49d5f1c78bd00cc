// The reference host's pictures: what the editor keeps for each frame, and
// the conversions it performs when the library asks for a frame at a given
// size and depth.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/dib.h"

namespace vc {
struct Limits;
}

namespace host {

// The limits pictures are read within: the library's own where the host
// links it, their defaults where it loads the library as a DLL.
const vc::Limits &pictureLimits();

// A colour as the DIB colour table holds it: 0x00RRGGBB.
using Rgb = uint32_t;
constexpr Rgb rgb(uint8_t r, uint8_t g, uint8_t b) { return (Rgb(r) << 16) | (Rgb(g) << 8) | b; }

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitCount = 24;      // 1, 4, 8 or 24
    std::vector<Rgb> palette;    // bitCount <= 8
    std::vector<uint8_t> bits;   // bottom-up rows padded to 4 bytes
    std::vector<uint8_t> mask;   // 1-bit AND rows, bottom-up; empty when none

    uint32_t rowBytes() const { return uint32_t(vc::dibRowBytes(width, bitCount)); }
    uint32_t maskRowBytes() const { return uint32_t(vc::dibRowBytes(width, 1)); }
    Rgb pixel(int32_t x, int32_t y) const;  // y counts from the top
    uint32_t index(int32_t x, int32_t y) const;
    bool masked(int32_t x, int32_t y) const;  // AND bit set: transparent
};

// A packed DIB (header, colour table, rows) as the library hands it over:
// a program's bitmaps come as stored, so every DIB the BMP reader reads is
// taken (the old 12-byte core header, the later headers, channel masks
// with or without alpha, 16 bits, run-length rows); alpha makes the mask
// as in a BMP file, setting the transparent colour when asked for.
// Returns nothing when the header does not describe a usable DIB inside
// size bytes, saying why in `why` when given. heightFactor 2 reads icon
// image data (fromIconData).
std::optional<Image> fromPackedDib(const uint8_t *p, size_t size, int heightFactor = 1, std::string *why = nullptr,
                                   std::optional<Rgb> *transparent = nullptr);
// Icon image data: a 40-byte header of twice the height, plain rows of 1,
// 4, 8, 24 or 32 bits (the fourth byte dropped), then the AND rows.
std::optional<Image> fromIconData(const uint8_t *p, size_t size, std::string *why = nullptr);
// The same with the rows at bitsOffset (0: right behind the colour table).
std::optional<Image> fromPackedDibAt(const uint8_t *p, size_t size, size_t bitsOffset);
// The packed DIB of an image; with icon set, icon image data (height
// doubled, AND rows behind the XOR rows).
std::vector<uint8_t> toPackedDib(const Image &img, bool icon = false);

// Nearest-neighbour scaling of pixels and mask.
Image scaled(const Image &img, int32_t width, int32_t height);
// Depth change. Down to 8 bits or less, colours are reduced (exactly when
// the picture already has few enough, else by the quantiser) to the depth's
// room or to maxColors when that is fewer; with a fixed palette given,
// every pixel maps to its nearest entry.
Image withDepth(const Image &img, uint16_t bitCount, bool dither, const std::vector<Rgb> *fixedPalette = nullptr,
                size_t maxColors = 0);
// The AND mask from a transparent colour: set where the pixel has it.
void maskFromColor(Image &img, Rgb transparent);

// Pixels under the mask made black, as an icon editor stores them: the
// colour there is XORed onto the screen (white would invert it). A palette
// without black gets it where it has room; a full one without it is left.
void blackUnderMask(Image &img);

// A picture of the library (rows from the top, laid out as a DIB's; 32
// bits B G R A) as the host's image: 32 bits become 24, their alpha put in
// `alpha` (one byte a pixel, rows from the top), empty for other depths.
Image imageOfRows(int32_t width, int32_t height, int depth, std::vector<Rgb> palette,
                  const std::function<const uint8_t *(int32_t)> &rowFromTop, std::vector<uint8_t> &alpha);

// Alpha (one byte a pixel, rows from the top) made into the mask as an
// icon editor does: below 128 is transparent. The hidden pixels take one
// colour that no shown pixel has, which becomes the transparent colour.
void applyAlpha(Image &img, const std::vector<uint8_t> &alpha, std::optional<Rgb> *transparent);

// The editor's own files, BMP and PNG. A reader says why it refused in
// error; a picture with alpha sets the transparent colour when asked for.
std::optional<Image> bmpFromBytes(const uint8_t *data, size_t size, std::string &error,
                                  std::optional<Rgb> *transparent = nullptr);
std::optional<Image> readBmp(const std::string &path, std::string &error, std::optional<Rgb> *transparent = nullptr);
bool writeBmp(const std::string &path, const Image &img, std::string *error = nullptr);
bool writePackedDibAsBmp(const std::string &path, const uint8_t *dib, size_t size, size_t bitsOffset,
                         std::string *error = nullptr);
bool writeWholeFile(const std::string &path, const std::vector<uint8_t> &bytes, std::string *error);
// PNG: palettes, grey and RGB of any depth, with alpha or a transparency
// chunk. A picture with a mask is written with alpha.
// With alphaOut the alpha (one byte a pixel, rows from the top; empty when
// the file has none) is handed out instead of becoming the mask.
std::optional<Image> readPng(const std::string &path, std::string &error, std::optional<Rgb> *transparent = nullptr,
                             std::vector<uint8_t> *alphaOut = nullptr);
bool writePng(const std::string &path, const Image &img, std::string *error = nullptr);
// Rows of 8-bit R G B A, top row first, as a PNG picture with alpha (the
// Linux build; the Windows one says it cannot).
bool writePngRgba(const std::string &path, int32_t width, int32_t height, const std::vector<uint8_t> &rgba,
                  std::string *error);
// Which of the two a name is, by its extension.
enum class OwnFile { none, bmp, png };
OwnFile ownFileOf(const std::string &name);
std::optional<Image> readOwnFile(const std::string &path, std::string &error, std::optional<Rgb> *transparent);
bool writeOwnFile(const std::string &path, const Image &img, std::string *error);

}  // namespace host
