// A byte-level GIF builder whose code streams never grow their codes.
// Portable: the native and the Windows tests build their GIF files with it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace gifsupport {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

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
    GifBytes &raw(const std::string &s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    // Colour i of the test palettes.
    static Rgb color(unsigned i) { return Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)}; }
    void table(unsigned entries) {
        for (unsigned i = 0; i < entries; ++i) u8(color(i).r), u8(color(i).g), u8(color(i).b);
    }
    // A global table of 2^(sizeField+1) entries; none for -1.
    GifBytes &header(unsigned w, unsigned h, int sizeField, unsigned background = 0, const char *sig = "GIF89a") {
        raw(sig).u16(w).u16(h).u8(sizeField >= 0 ? 0xF0 | sizeField : 0).u8(background).u8(0);
        if (sizeField >= 0) table(2u << sizeField);
        return *this;
    }
    GifBytes &control(unsigned flags, unsigned delay, unsigned transparent) {
        return u8(0x21).u8(0xF9).u8(4).u8(flags).u16(delay).u8(transparent).u8(0);
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
        return u8(0x21).u8(0xFE).subBlocks(std::vector<uint8_t>(text.begin(), text.end()));
    }
    GifBytes &looping(unsigned count, unsigned blockLength = 3) {
        std::vector<uint8_t> data = {1, uint8_t(count), uint8_t(count >> 8)};
        data.resize(blockLength);
        return u8(0x21).u8(0xFF).u8(11).raw("NETSCAPE2.0").subBlocks(data);
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
    GifBytes &trailer() { return u8(0x3B); }
};

}  // namespace gifsupport
