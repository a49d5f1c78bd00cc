// Helpers of the GIF tests (the byte, file and tool helpers of
// still_support.h with them): reading the independent tools'
// PPM output, and a byte-level GIF builder whose code streams never grow
// their codes.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "still_support.h"

namespace gifsupport {

using stilltest::capture, stilltest::readBytes;

inline bool haveTool(const char *path) { return access(path, X_OK) == 0; }

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Ppm {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
};

// The binary PPM images (P6, maximum 255) of a stream, in turn.
inline std::vector<Ppm> parsePpms(const std::string &data) {
    std::vector<Ppm> all;
    size_t i = 0;
    auto token = [&]() {
        while (i < data.size() && (isspace(uint8_t(data[i])) || data[i] == '#'))
            i = data[i] == '#' ? std::min(data.find('\n', i), data.size()) : i + 1;
        size_t s = i;
        while (i < data.size() && !isspace(uint8_t(data[i]))) ++i;
        return data.substr(s, i - s);
    };
    while (i < data.size() && token() == "P6") {
        Ppm p;
        p.width = std::stoi(token());
        p.height = std::stoi(token());
        if (std::stoi(token()) != 255) break;
        const size_t n = size_t(p.width) * p.height;
        if (++i + 3 * n > data.size()) break;
        p.pixels.resize(n);
        std::memcpy(p.pixels.data(), data.data() + i, 3 * n);
        i += 3 * n;
        all.push_back(std::move(p));
    }
    return all;
}

// Root codes only, with a clear code often enough that the code width never
// grows: valid, if large.
inline std::vector<uint8_t> plainLzw(const std::vector<uint8_t> &pixels, unsigned s, bool endCode = true) {
    std::vector<uint8_t> out;
    uint64_t acc = 0;
    unsigned bits = 0;
    const uint32_t clear = 1u << s;
    auto put = [&](uint32_t code) {
        acc |= uint64_t(code) << bits;
        for (bits += s + 1; bits >= 8; bits -= 8) out.push_back(uint8_t(acc)), acc >>= 8;
    };
    const size_t group = clear > 3 ? clear - 3 : 1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % group == 0) put(clear);
        put(pixels[i] & (clear - 1));
    }
    if (endCode) put(clear + 1);
    if (bits) out.push_back(uint8_t(acc));
    return out;
}

struct GifBytes {
    std::vector<uint8_t> b;
    GifBytes &u8(unsigned v) { return b.push_back(uint8_t(v)), *this; }
    GifBytes &u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    void raw(const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }
    // Colour i of the test palettes.
    static Rgb color(unsigned i) { return Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)}; }
    void table(unsigned entries) {
        for (unsigned i = 0; i < entries; ++i) u8(color(i).r), u8(color(i).g), u8(color(i).b);
    }
    // A global table of 2^(sizeField+1) entries; none for -1.
    GifBytes &header(unsigned w, unsigned h, int sizeField, unsigned background = 0, const char *sig = "GIF89a") {
        raw(sig);
        u16(w), u16(h);
        u8(sizeField >= 0 ? 0xF0 | sizeField : 0);
        u8(background), u8(0);
        if (sizeField >= 0) table(2u << sizeField);
        return *this;
    }
    GifBytes &control(unsigned flags, unsigned delay, unsigned transparent) {
        u8(0x21), u8(0xF9), u8(4), u8(flags), u16(delay), u8(transparent), u8(0);
        return *this;
    }
    GifBytes &subBlocks(const std::vector<uint8_t> &data) {
        for (size_t i = 0; i < data.size(); i += 255) {
            size_t n = std::min<size_t>(255, data.size() - i);
            u8(unsigned(n));
            b.insert(b.end(), data.begin() + long(i), data.begin() + long(i + n));
        }
        u8(0);
        return *this;
    }
    GifBytes &comment(const std::string &text) {
        u8(0x21), u8(0xFE);
        return subBlocks(std::vector<uint8_t>(text.begin(), text.end()));
    }
    GifBytes &looping(unsigned count, unsigned blockLength = 3) {
        u8(0x21), u8(0xFF), u8(11);
        raw("NETSCAPE2.0");
        std::vector<uint8_t> data = {1, uint8_t(count), uint8_t(count >> 8)};
        data.resize(blockLength);
        return subBlocks(data);
    }
    // The descriptor alone, then the code size byte.
    GifBytes &descriptor(unsigned l, unsigned t, unsigned w, unsigned h, unsigned packed, unsigned s) {
        u8(0x2C), u16(l), u16(t), u16(w), u16(h), u8(packed);
        if (packed & 0x80) table(2u << (packed & 7));
        u8(s);
        return *this;
    }
    // An image coded by plainLzw at code size s; localField >= 0 adds a
    // local table of 2^(localField+1) entries.
    GifBytes &image(unsigned l, unsigned t, unsigned w, unsigned h, const std::vector<uint8_t> &pixels, unsigned s,
                    bool interlaced = false, int localField = -1) {
        descriptor(l, t, w, h, (interlaced ? 0x40 : 0) | (localField >= 0 ? 0x80 | localField : 0), s);
        return subBlocks(plainLzw(pixels, s));
    }
    GifBytes &trailer() {
        u8(0x3B);
        return *this;
    }
};

}  // namespace gifsupport
