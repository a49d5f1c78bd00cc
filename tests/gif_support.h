// Helpers of the GIF tests: a byte-level GIF builder (with a plain LZW code
// stream that never grows its codes), PPM reading and writing, and running
// the independent tools.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace gifsupport {

inline bool haveTool(const char *path) { return access(path, X_OK) == 0; }

// Runs a shell command; its standard output, and the exit status.
inline std::string capture(const std::string &cmd, int *status = nullptr) {
    std::string out;
    std::FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (status) *status = st;
    return out;
}

inline std::vector<uint8_t> readBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Ppm {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
};

// Reads binary PPM (P6) and PGM/PBM-free P6 output of the netpbm tools;
// several images in one stream are read in turn.
inline std::vector<Ppm> parsePpms(const std::string &data) {
    std::vector<Ppm> all;
    size_t i = 0;
    auto token = [&]() {
        while (i < data.size() && (isspace(uint8_t(data[i])) || data[i] == '#')) {
            if (data[i] == '#')
                while (i < data.size() && data[i] != '\n') ++i;
            else
                ++i;
        }
        size_t s = i;
        while (i < data.size() && !isspace(uint8_t(data[i]))) ++i;
        return data.substr(s, i - s);
    };
    while (i < data.size()) {
        std::string magic = token();
        if (magic != "P6") break;
        Ppm p;
        p.width = std::stoi(token());
        p.height = std::stoi(token());
        int maxv = std::stoi(token());
        ++i;
        if (maxv != 255) break;
        size_t n = size_t(p.width) * p.height;
        if (i + 3 * n > data.size()) break;
        p.pixels.resize(n);
        std::memcpy(p.pixels.data(), data.data() + i, 3 * n);
        i += 3 * n;
        all.push_back(std::move(p));
    }
    return all;
}

inline void writePpm(const std::string &path, const Ppm &p) {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << p.width << " " << p.height << "\n255\n";
    f.write(reinterpret_cast<const char *>(p.pixels.data()), std::streamsize(p.pixels.size() * 3));
}

// A photo-like test picture: smooth gradients with a little texture.
inline Ppm photoLike(int w, int h, unsigned seed = 1) {
    Ppm p;
    p.width = w, p.height = h;
    p.pixels.resize(size_t(w) * h);
    uint32_t x32 = seed * 2654435761u + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            x32 ^= x32 << 13, x32 ^= x32 >> 17, x32 ^= x32 << 5;
            int n = int(x32 % 9) - 4;
            auto c = [&](int v) { return uint8_t(std::min(255, std::max(0, v + n))); };
            p.pixels[size_t(y) * w + x] = Rgb{c(x * 255 / std::max(1, w - 1)), c(y * 255 / std::max(1, h - 1)),
                                             c(((x + y) * 3) % 256)};
        }
    return p;
}

// ---- GIF bytes -------------------------------------------------------------

// A code stream of root codes only, with clear codes often enough that the
// code width never grows: valid, if large.
inline std::vector<uint8_t> plainLzw(const std::vector<uint8_t> &pixels, unsigned s, bool endCode = true) {
    std::vector<uint8_t> out;
    uint64_t acc = 0;
    unsigned bits = 0;
    const unsigned width = s + 1;
    const uint32_t clear = 1u << s;
    auto put = [&](uint32_t code) {
        acc |= uint64_t(code) << bits;
        bits += width;
        while (bits >= 8) out.push_back(uint8_t(acc)), acc >>= 8, bits -= 8;
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
    void u8(unsigned v) { b.push_back(uint8_t(v)); }
    void u16(unsigned v) { u8(v & 0xFF), u8((v >> 8) & 0xFF); }
    void raw(const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }
    void raw(const std::vector<uint8_t> &v) { b.insert(b.end(), v.begin(), v.end()); }
    // Colour i of the test palettes: red i, green 255 - i, blue i * 7.
    static Rgb color(unsigned i) { return Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)}; }
    void table(unsigned entries) {
        for (unsigned i = 0; i < entries; ++i) u8(color(i).r), u8(color(i).g), u8(color(i).b);
    }
    // Header with a global table of 2^(sizeField+1) entries (none for -1).
    GifBytes &header(unsigned w, unsigned h, int sizeField, unsigned background = 0, const char *sig = "GIF89a") {
        raw(sig);
        u16(w), u16(h);
        u8(sizeField >= 0 ? 0x80 | 0x70 | sizeField : 0);
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
        u8(blockLength);
        u8(1);
        if (blockLength >= 2) u8(count & 0xFF);
        if (blockLength >= 3) u8(count >> 8);
        for (unsigned i = 3; i < blockLength; ++i) u8(0);
        u8(0);
        return *this;
    }
    // An image with its pixels coded by plainLzw at code size s; localField
    // >= 0 adds a local table of 2^(localField+1) entries.
    GifBytes &image(unsigned l, unsigned t, unsigned w, unsigned h, const std::vector<uint8_t> &pixels, unsigned s,
                    bool interlaced = false, int localField = -1) {
        u8(0x2C), u16(l), u16(t), u16(w), u16(h);
        u8((interlaced ? 0x40 : 0) | (localField >= 0 ? 0x80 | localField : 0));
        if (localField >= 0) table(2u << localField);
        u8(s);
        return subBlocks(plainLzw(pixels, s));
    }
    GifBytes &trailer() {
        u8(0x3B);
        return *this;
    }
};

}  // namespace gifsupport
