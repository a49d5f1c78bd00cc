// Helpers of the TIFF tests: a builder for small TIFF files in either byte
// order, image blocks made from pixel functions, the pixels of an image
// block as RGB rows top first, and PNM files as independent tools write
// them.
#pragma once

#include <cstdint>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "entry/image_block.h"
#include "platform/platform.h"

namespace tifftest {

using Bytes = std::vector<uint8_t>;

// A TIFF file put together entry by entry: blobs go after the header in the
// order added, the IFD comes last.
struct TiffBuilder {
    bool big = false;
    Bytes blobs;
    struct Entry {
        uint16_t tag, type;
        uint32_t count;
        Bytes field;  // the 4-byte value field, already in file order
    };
    std::vector<Entry> entries;
    uint32_t nextIfd = 0;

    explicit TiffBuilder(bool bigEndian = false) : big(bigEndian) {}

    void put16(Bytes &b, uint32_t v) const {
        if (big) b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
        else b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
    }
    void put32(Bytes &b, uint32_t v) const {
        if (big) b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
        else b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    // Appends data; returns its file offset.
    uint32_t blob(const Bytes &b) {
        uint32_t at = 8 + uint32_t(blobs.size());
        blobs.insert(blobs.end(), b.begin(), b.end());
        return at;
    }
    uint32_t shorts(const std::vector<uint16_t> &v) {
        Bytes b;
        for (uint16_t x : v) put16(b, x);
        return blob(b);
    }
    uint32_t longs(const std::vector<uint32_t> &v) {
        Bytes b;
        for (uint32_t x : v) put32(b, x);
        return blob(b);
    }
    void remove(uint16_t tag) {
        std::erase_if(entries, [&](const Entry &e) { return e.tag == tag; });
    }
    // SHORT values held in the field (one or two).
    void shortTag(uint16_t tag, std::vector<uint16_t> v) {
        remove(tag);
        Bytes f;
        for (uint16_t x : v) put16(f, x);
        f.resize(4, 0);
        entries.push_back({tag, 3, uint32_t(v.size()), f});
    }
    void longTag(uint16_t tag, uint32_t v, uint16_t type = 4, uint32_t count = 1) {
        remove(tag);
        Bytes f;
        put32(f, v);
        entries.push_back({tag, type, count, f});
    }
    void rational(uint16_t tag, uint32_t num, uint32_t den) { longTag(tag, longs({num, den}), 5); }

    Bytes build() const {
        Bytes out;
        if (big) out = {'M', 'M', 0, 42};
        else out = {'I', 'I', 42, 0};
        uint32_t ifd = 8 + uint32_t(blobs.size());
        ifd += ifd & 1;
        put32(out, ifd);
        out.insert(out.end(), blobs.begin(), blobs.end());
        out.resize(ifd, 0);
        put16(out, uint32_t(entries.size()));
        for (const Entry &e : entries) {
            put16(out, e.tag);
            put16(out, e.type);
            put32(out, e.count);
            out.insert(out.end(), e.field.begin(), e.field.end());
        }
        put32(out, nextIfd);
        return out;
    }
};

// A one-strip image of the given kind; rows are `data` as stored.
inline TiffBuilder simpleTiff(bool big, uint32_t w, uint32_t h, uint16_t bits, uint16_t photometric,
                              const Bytes &data, uint16_t compression = 1, uint16_t samples = 1) {
    TiffBuilder t(big);
    uint32_t at = t.blob(data);
    t.longTag(256, w);
    t.longTag(257, h);
    if (samples == 3) t.longTag(258, t.shorts({bits, bits, bits}), 3, 3);
    else t.shortTag(258, {bits});
    t.shortTag(259, {compression});
    t.shortTag(262, {photometric});
    t.longTag(273, at);
    t.shortTag(277, {samples});
    t.longTag(279, uint32_t(data.size()));
    return t;
}

inline void writeBytes(const std::string &path, const Bytes &b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}
inline Bytes readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &) const = default;
};
using Pixels = std::vector<Rgb>;  // rows top first

// Image block of depth d whose pixel (x, y), y from the top, is index(x, y)
// (or the colour for depth 24), with the given colour table.
inline vc::MemHandle makeBlock(int32_t w, int32_t h, uint16_t d, std::function<uint32_t(int, int)> value,
                               const std::vector<Rgb> &colors = {}) {
    vc::MemHandle m = vc::newPackedDib(w, h, d, d <= 8 ? uint32_t(colors.empty() ? 1u << d : colors.size()) : 0);
    auto *p = static_cast<uint8_t *>(vc::plat::memLock(m));
    ConvBitmapInfoHeader hd;
    std::memcpy(&hd, p, sizeof hd);
    hd.biXPelsPerMeter = 2953;
    hd.biYPelsPerMeter = 3937;
    std::memcpy(p, &hd, sizeof hd);
    for (size_t i = 0; i < colors.size(); ++i) {
        p[40 + 4 * i] = colors[i].b;
        p[41 + 4 * i] = colors[i].g;
        p[42 + 4 * i] = colors[i].r;
    }
    uint8_t *bits = p + vc::dibBitsOffset(hd);
    const uint64_t row = vc::dibRowBytes(w, d);
    for (int y = 0; y < h; ++y) {
        uint8_t *r = bits + (h - 1 - y) * row;
        for (int x = 0; x < w; ++x) {
            uint32_t v = value(x, y);
            if (d == 24) {
                r[3 * x] = uint8_t(v), r[3 * x + 1] = uint8_t(v >> 8), r[3 * x + 2] = uint8_t(v >> 16);
            } else if (d == 8) {
                r[x] = uint8_t(v);
            } else if (d == 4) {
                r[x / 2] |= uint8_t((v & 15) << (x & 1 ? 0 : 4));
            } else {
                r[x / 8] |= uint8_t((v & 1) << (7 - x % 8));
            }
        }
    }
    vc::plat::memUnlock(m);
    return m;
}

// The block's pixels through its colour table, rows top first.
inline Pixels blockPixels(vc::MemHandle m, int32_t *width = nullptr, int32_t *height = nullptr) {
    auto *p = static_cast<const uint8_t *>(vc::plat::memLock(m));
    ConvBitmapInfoHeader h;
    std::memcpy(&h, p, sizeof h);
    const uint8_t *bits = p + vc::dibBitsOffset(h);
    const uint64_t row = vc::dibRowBytes(h.biWidth, h.biBitCount);
    Pixels out;
    for (int y = 0; y < h.biHeight; ++y) {
        const uint8_t *r = bits + (h.biHeight - 1 - y) * row;
        for (int x = 0; x < h.biWidth; ++x) {
            uint32_t i;
            if (h.biBitCount == 24) {
                out.push_back({r[3 * x + 2], r[3 * x + 1], r[3 * x]});
                continue;
            }
            if (h.biBitCount == 8) i = r[x];
            else if (h.biBitCount == 4) i = (r[x / 2] >> (x & 1 ? 0 : 4)) & 15;
            else i = (r[x / 8] >> (7 - x % 8)) & 1;
            const uint8_t *c = p + 40 + 4 * i;
            out.push_back({c[2], c[1], c[0]});
        }
    }
    if (width) *width = h.biWidth;
    if (height) *height = h.biHeight;
    vc::plat::memUnlock(m);
    return out;
}

// A PNM file (P4, P5 or P6 with maxval 255) as RGB pixels; empty on failure.
inline Pixels readPnm(const std::string &path, int *width = nullptr, int *height = nullptr) {
    Bytes b = readBytes(path);
    size_t i = 0;
    auto token = [&]() {
        std::string t;
        while (i < b.size()) {
            if (b[i] == '#') {
                while (i < b.size() && b[i] != '\n') ++i;
            } else if (isspace(b[i])) {
                if (!t.empty()) break;
                ++i;
            } else {
                t += char(b[i++]);
            }
        }
        return t;
    };
    std::string magic = token();
    int w = std::stoi(token()), h = std::stoi(token());
    int maxval = magic == "P4" ? 1 : std::stoi(token());
    ++i;
    Pixels out;
    if (maxval != 1 && maxval != 255) return out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (magic == "P6") {
                out.push_back({b[i], b[i + 1], b[i + 2]});
                i += 3;
            } else if (magic == "P5") {
                out.push_back({b[i], b[i], b[i]});
                ++i;
            } else {
                bool black = (b[i + size_t(y) * ((w + 7) / 8) + x / 8 - 0] >> (7 - x % 8)) & 1;
                uint8_t v = black ? 0 : 255;
                out.push_back({v, v, v});
            }
        }
    if (width) *width = w;
    if (height) *height = h;
    return out;
}

inline bool tool(const std::string &command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

}  // namespace tifftest
