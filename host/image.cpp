#include "host/image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "common/bytes.h"
#include "common/dib.h"
#include "common/limits.h"
#include "host/quantize.h"

namespace host {

namespace {
using vc::loadLe16;
using vc::loadLe32;
// Appends a little-endian field to a file being built.
void wr32(std::vector<uint8_t> &v, uint32_t x) {
    v.resize(v.size() + 4);
    vc::storeLe32(v.data() + v.size() - 4, x);
}
void wr16(std::vector<uint8_t> &v, uint16_t x) {
    v.resize(v.size() + 2);
    vc::storeLe16(v.data() + v.size() - 2, x);
}
// A DIB with the old 12-byte core header (16-bit sizes, 3-byte colours),
// as program resources may hold, rewritten with a 40-byte header; empty
// for anything else.
std::vector<uint8_t> fromCoreHeader(const uint8_t *p, size_t size) {
    if (!p || size < 12 || loadLe32(p) != 12) return {};
    const uint16_t bitCount = loadLe16(p + 10);
    const size_t colors = bitCount <= 8 ? size_t(1) << bitCount : 0;
    if (size < 12 + 3 * colors) return {};
    std::vector<uint8_t> out;
    wr32(out, 40), wr32(out, loadLe16(p + 4)), wr32(out, loadLe16(p + 6));
    wr16(out, loadLe16(p + 8)), wr16(out, bitCount);
    out.resize(40 + 4 * colors);
    for (size_t i = 0; i < colors; ++i) std::memcpy(&out[40 + 4 * i], p + 12 + 3 * i, 3);
    out.insert(out.end(), p + 12 + 3 * colors, p + size);
    return out;
}
}  // namespace

const vc::Limits &pictureLimits() {
#if defined(_WIN32)
    static const vc::Limits defaults;
    return defaults;
#else
    return vc::limits();
#endif
}

uint32_t Image::index(int32_t x, int32_t y) const {
    const uint8_t *row = bits.data() + size_t(height - 1 - y) * rowBytes();
    switch (bitCount) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    case 8: return row[x];
    default: return 0;
    }
}

Rgb Image::pixel(int32_t x, int32_t y) const {
    if (bitCount == 24) {
        const uint8_t *p = bits.data() + size_t(height - 1 - y) * rowBytes() + size_t(x) * 3;
        return rgb(p[2], p[1], p[0]);
    }
    uint32_t i = index(x, y);
    return i < palette.size() ? palette[i] : 0;
}

bool Image::masked(int32_t x, int32_t y) const {
    if (mask.empty()) return false;
    const uint8_t *row = mask.data() + size_t(height - 1 - y) * maskRowBytes();
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

std::optional<Image> fromIconData(const uint8_t *p, size_t size, std::string *why) {
    if (std::vector<uint8_t> info = fromCoreHeader(p, size); !info.empty()) return fromIconData(info.data(), info.size(), why);
    auto refuse = [why](const char *reason) -> std::optional<Image> {
        if (why) *why = reason;
        return std::nullopt;
    };
    if (!p || size < 40) return refuse("no bitmap header");
    uint32_t headerSize = loadLe32(p);
    int32_t width = int32_t(loadLe32(p + 4));
    int32_t fullHeight = int32_t(loadLe32(p + 8));
    uint16_t planes = loadLe16(p + 12), bitCount = loadLe16(p + 14);
    uint32_t compression = loadLe32(p + 16), clrUsed = loadLe32(p + 32);
    if (headerSize < 40 || headerSize > size || planes != 1) return refuse("a bitmap header the editor does not know");
    if (compression != 0) return refuse("compressed pixels");
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return refuse("a depth the editor does not know");
    if (width <= 0 || width > 32768) return refuse("the editor's images are 1 to 32768 pixels wide");
    if (fullHeight <= 0 || fullHeight > 65536) return refuse("the editor's images are 1 to 65536 pixels high");
    int32_t height = fullHeight / 2;
    if (height <= 0) return refuse("the editor's images are at least 1 pixel high");
    uint32_t colors = clrUsed ? clrUsed : (bitCount <= 8 ? (1u << bitCount) : 0u);
    if (colors > 256) return refuse("more than 256 colours in its table");
    uint64_t offset = uint64_t(headerSize) + 4ull * colors;
    uint64_t srcRow = vc::dibRowBytes(width, bitCount);
    uint64_t maskRow = vc::dibRowBytes(width, 1);
    if (offset + (srcRow + maskRow) * uint64_t(height) > size) return refuse("its pixels end past the block");
    std::vector<Rgb> palette;
    for (uint32_t i = 0; i < colors && bitCount <= 8; ++i) {
        const uint8_t *q = p + headerSize + 4 * i;
        palette.push_back(rgb(q[2], q[1], q[0]));
    }
    // Rows from the bottom; the fourth byte of 32-bit rows is dropped.
    const uint8_t *src = p + offset;
    std::vector<uint8_t> alpha;
    Image img = imageOfRows(width, height, bitCount, std::move(palette),
                            [&](int32_t y) { return src + srcRow * uint64_t(height - 1 - y); }, alpha);
    const uint8_t *m = src + srcRow * uint64_t(height);
    img.mask.assign(m, m + maskRow * uint64_t(height));
    return img;
}

Image imageOfRows(int32_t width, int32_t height, int depth, std::vector<Rgb> palette,
                  const std::function<const uint8_t *(int32_t)> &rowFromTop, std::vector<uint8_t> &alpha) {
    Image img;
    img.width = width;
    img.height = height;
    img.bitCount = uint16_t(depth == 32 ? 24 : depth);
    img.palette = std::move(palette);
    img.bits.assign(size_t(img.rowBytes()) * size_t(height), 0);
    alpha.clear();
    if (depth == 32) alpha.reserve(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t *from = rowFromTop(y);
        uint8_t *to = img.bits.data() + size_t(height - 1 - y) * img.rowBytes();
        if (depth != 32) {
            std::memcpy(to, from, img.rowBytes());
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            std::memcpy(to + 3 * size_t(x), from + 4 * size_t(x), 3);
            alpha.push_back(from[4 * size_t(x) + 3]);
        }
    }
    return img;
}

std::vector<uint8_t> toPackedDib(const Image &img, bool icon) {
    std::vector<uint8_t> v;
    uint32_t colors = img.bitCount <= 8 ? uint32_t(img.palette.size()) : 0;
    uint32_t imageBytes = img.rowBytes() * uint32_t(img.height);
    wr32(v, 40);
    wr32(v, uint32_t(img.width));
    wr32(v, uint32_t(img.height * (icon ? 2 : 1)));
    wr16(v, 1);
    wr16(v, img.bitCount);
    wr32(v, 0);
    wr32(v, imageBytes + (icon ? img.maskRowBytes() * uint32_t(img.height) : 0));
    wr32(v, 0);
    wr32(v, 0);
    // A full table is written with biClrUsed 0, as most writers do.
    wr32(v, img.bitCount <= 8 && colors == (1u << img.bitCount) ? 0 : colors);
    wr32(v, 0);
    for (uint32_t i = 0; i < colors; ++i) wr32(v, img.palette[i]);
    v.insert(v.end(), img.bits.begin(), img.bits.end());
    if (icon) {
        if (img.mask.size() == size_t(img.maskRowBytes()) * img.height)
            v.insert(v.end(), img.mask.begin(), img.mask.end());
        else
            v.insert(v.end(), size_t(img.maskRowBytes()) * img.height, 0);
    }
    return v;
}

Image scaled(const Image &img, int32_t width, int32_t height) {
    if (width == img.width && height == img.height) return img;
    Image out;
    out.width = width;
    out.height = height;
    out.bitCount = img.bitCount;
    out.palette = img.palette;
    out.bits.assign(size_t(out.rowBytes()) * height, 0);
    bool hasMask = !img.mask.empty();
    if (hasMask) out.mask.assign(size_t(out.maskRowBytes()) * height, 0);
    for (int32_t y = 0; y < height; ++y) {
        int32_t sy = int32_t(int64_t(y) * img.height / height);
        uint8_t *row = out.bits.data() + size_t(height - 1 - y) * out.rowBytes();
        for (int32_t x = 0; x < width; ++x) {
            int32_t sx = int32_t(int64_t(x) * img.width / width);
            if (img.bitCount == 24) {
                Rgb c = img.pixel(sx, sy);
                row[x * 3] = uint8_t(c);
                row[x * 3 + 1] = uint8_t(c >> 8);
                row[x * 3 + 2] = uint8_t(c >> 16);
            } else {
                uint32_t i = img.index(sx, sy);
                if (img.bitCount == 8) row[x] = uint8_t(i);
                else if (img.bitCount == 4) row[x >> 1] |= uint8_t(i << ((x & 1) ? 0 : 4));
                else row[x >> 3] |= uint8_t(i << (7 - (x & 7)));
            }
            if (hasMask && img.masked(sx, sy))
                out.mask[size_t(height - 1 - y) * out.maskRowBytes() + (x >> 3)] |= uint8_t(0x80 >> (x & 7));
        }
    }
    return out;
}

namespace {
void putIndex(Image &img, int32_t x, int32_t y, uint32_t i) {
    uint8_t *row = img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes();
    if (img.bitCount == 8) row[x] = uint8_t(i);
    else if (img.bitCount == 4) row[x >> 1] |= uint8_t(i << ((x & 1) ? 0 : 4));
    else row[x >> 3] |= uint8_t(i << (7 - (x & 7)));
}
// As putIndex, over whatever index the pixel had.
void setIndex(Image &img, int32_t x, int32_t y, uint32_t i) {
    uint8_t *row = img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes();
    const int bits = img.bitCount, shift = 8 - bits - (x * bits) % 8;
    uint8_t &b = row[(size_t(x) * bits) / 8];
    b = uint8_t((b & ~(((1 << bits) - 1) << shift)) | ((i & ((1u << bits) - 1)) << shift));
}
}  // namespace

Image withDepth(const Image &img, uint16_t bitCount, bool dither, const std::vector<Rgb> *fixedPalette,
                size_t fewer) {
    Image out;
    out.width = img.width;
    out.height = img.height;
    out.bitCount = bitCount;
    out.mask = img.mask;
    out.bits.assign(size_t(out.rowBytes()) * out.height, 0);
    if (bitCount == 24) {
        for (int32_t y = 0; y < img.height; ++y) {
            uint8_t *row = out.bits.data() + size_t(img.height - 1 - y) * out.rowBytes();
            for (int32_t x = 0; x < img.width; ++x) {
                Rgb c = img.pixel(x, y);
                row[x * 3] = uint8_t(c);
                row[x * 3 + 1] = uint8_t(c >> 8);
                row[x * 3 + 2] = uint8_t(c >> 16);
            }
        }
        return out;
    }
    const size_t room = size_t(1) << bitCount, maxColors = fewer && fewer < room ? fewer : room;
    // Same depth or fewer colours than room: keep the indices and table.
    if (!fixedPalette && img.bitCount <= 8 && img.palette.size() <= maxColors) {
        out.palette = img.palette;
        for (int32_t y = 0; y < img.height; ++y)
            for (int32_t x = 0; x < img.width; ++x) putIndex(out, x, y, img.index(x, y));
        return out;
    }
    std::vector<Rgb> pixels(size_t(img.width) * img.height);
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x) pixels[size_t(y) * img.width + x] = img.pixel(x, y);
    std::vector<uint8_t> indices;
    if (fixedPalette) {
        out.palette = *fixedPalette;
        out.palette.resize(std::min(out.palette.size(), maxColors));
        indices = mapToPalette(pixels, out.palette);
    } else {
        std::map<Rgb, uint8_t> distinct;
        for (Rgb c : pixels) {
            if (distinct.size() > maxColors) break;
            distinct.emplace(c, 0);
        }
        if (distinct.size() <= maxColors) {
            for (auto &[c, i] : distinct) {
                i = uint8_t(out.palette.size());
                out.palette.push_back(c);
            }
            indices.reserve(pixels.size());
            for (Rgb c : pixels) indices.push_back(distinct[c]);
        } else {
            quantize(pixels, img.width, img.height, int(maxColors), dither, out.palette, indices);
        }
    }
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x) putIndex(out, x, y, indices[size_t(y) * img.width + x]);
    return out;
}

void maskFromColor(Image &img, Rgb transparent) {
    img.mask.assign(size_t(img.maskRowBytes()) * img.height, 0);
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x)
            if (img.pixel(x, y) == transparent)
                img.mask[size_t(img.height - 1 - y) * img.maskRowBytes() + (x >> 3)] |= uint8_t(0x80 >> (x & 7));
}

void blackUnderMask(Image &img) {
    if (img.mask.empty()) return;
    uint32_t black = 0;
    if (img.bitCount <= 8) {
        const auto it = std::find(img.palette.begin(), img.palette.end(), Rgb(0));
        if (it != img.palette.end()) black = uint32_t(it - img.palette.begin());
        else if (img.palette.size() < (size_t(1) << img.bitCount)) {
            black = uint32_t(img.palette.size());
            img.palette.push_back(0);
        } else
            return;
    }
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x) {
            if (!img.masked(x, y)) continue;
            if (img.bitCount > 8) {
                uint8_t *p = img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes() + size_t(x) * (img.bitCount / 8);
                std::fill(p, p + img.bitCount / 8, uint8_t(0));
            } else {
                setIndex(img, x, y, black);
            }
        }
}

void applyAlpha(Image &img, const std::vector<uint8_t> &alpha, std::optional<Rgb> *transparent) {
    const auto hidden = [&](int32_t x, int32_t y) { return alpha[size_t(y) * size_t(img.width) + size_t(x)] < 128; };
    if (std::none_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a < 128; })) return;
    img.mask.assign(size_t(img.maskRowBytes()) * size_t(img.height), 0);
    // The colour the hidden pixels take: one no shown pixel (or, in a
    // palette, no other entry) has, so that it means transparent alone.
    std::vector<bool> used(img.bitCount <= 8 ? 0 : size_t(1) << 24);
    std::optional<uint32_t> hiddenIndex;
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x) {
            if (!hidden(x, y)) {
                if (img.bitCount > 8) used[img.pixel(x, y)] = true;
                continue;
            }
            img.mask[size_t(img.height - 1 - y) * img.maskRowBytes() + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
            if (img.bitCount <= 8 && !hiddenIndex) hiddenIndex = img.index(x, y);
        }
    Rgb key = rgb(255, 0, 255);
    const auto taken = [&](Rgb c) {
        if (img.bitCount > 8) return bool(used[c]);
        for (size_t i = 0; i < img.palette.size(); ++i)
            if (i != *hiddenIndex && img.palette[i] == c) return true;
        return false;
    };
    for (Rgb c = 0; taken(key) && c <= 0xFFFFFF; ++c) key = c;
    if (img.bitCount <= 8 && *hiddenIndex >= img.palette.size()) img.palette.resize(*hiddenIndex + 1);
    if (img.bitCount <= 8) img.palette[*hiddenIndex] = key;
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x) {
            if (!hidden(x, y)) continue;
            if (img.bitCount <= 8) {
                setIndex(img, x, y, *hiddenIndex);
            } else {
                uint8_t *p = img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes() + size_t(x) * 3;
                p[0] = uint8_t(key), p[1] = uint8_t(key >> 8), p[2] = uint8_t(key >> 16);
            }
        }
    if (transparent) *transparent = key;
}

bool writePackedDibAsBmp(const std::string &path, const uint8_t *dib, size_t size, size_t bitsOffset,
                         std::string *error) {
    if (std::vector<uint8_t> info = fromCoreHeader(dib, size); !info.empty() && bitsOffset == 0)
        return writePackedDibAsBmp(path, info.data(), info.size(), 0, error);
    const auto fail = [error](const char *why) {
        if (error) *error = why;
        return false;
    };
    if (size < 40) return fail("the picture is damaged");
    uint32_t headerSize = loadLe32(dib);
    uint16_t bitCount = loadLe16(dib + 14);
    uint32_t clrUsed = loadLe32(dib + 32);
    uint32_t colors = clrUsed ? clrUsed : (bitCount <= 8 ? (1u << bitCount) : 0u);
    size_t tableEnd = size_t(headerSize) + 4ull * colors;
    if (bitsOffset == 0) bitsOffset = tableEnd;
    if (tableEnd > size || bitsOffset > size || bitsOffset < tableEnd) return fail("the picture is damaged");
    int32_t width = int32_t(loadLe32(dib + 4)), height = int32_t(loadLe32(dib + 8));
    uint64_t rowBytes = vc::dibRowBytes(width, bitCount);
    uint64_t imageBytes = rowBytes * uint64_t(height > 0 ? height : -int64_t(height));
    if (bitsOffset + imageBytes > size) return fail("the picture is damaged");
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    wr32(out, uint32_t(14 + tableEnd + imageBytes));
    wr32(out, 0);
    wr32(out, uint32_t(14 + tableEnd));
    out.insert(out.end(), dib, dib + tableEnd);
    out.insert(out.end(), dib + bitsOffset, dib + bitsOffset + imageBytes);
    return writeWholeFile(path, out, error);
}

bool writeWholeFile(const std::string &path, const std::vector<uint8_t> &bytes, std::string *error) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int writeErrno = errno;
    if (std::fclose(f) == 0 && written) return true;
    if (error) *error = std::strerror(written ? errno : writeErrno);
    return false;
}

bool writeBmp(const std::string &path, const Image &img, std::string *error) {
    std::vector<uint8_t> dib = toPackedDib(img);
    return writePackedDibAsBmp(path, dib.data(), dib.size(), 0, error);
}

}  // namespace host
