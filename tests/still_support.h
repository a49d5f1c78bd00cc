// Helpers of the PCX, TIFF and JPEG tests: pictures made from colour
// functions, PNM files as netpbm writes them, outside tools, and a fixture
// that loads and saves through the exports.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "common/image_block.h"
#include "host/image.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "velmconv/headless.h"

namespace stilltest {

using Bytes = std::vector<uint8_t>;
using host::Image, host::Rgb, host::rgb;

inline Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
using Codes = std::vector<std::pair<uint32_t, unsigned>>;  // code, width
// LZW codes of the given widths packed most (or least) significant bit first.
inline Bytes packCodes(const Codes &codes, bool lsbFirst = false) {
    Bytes out;
    uint64_t acc = 0;
    unsigned n = 0;
    for (auto [c, w] : codes) {
        acc = lsbFirst ? acc | uint64_t(c) << n : acc << w | c;
        for (n += w; n >= 8; n -= 8) {
            out.push_back(uint8_t(lsbFirst ? acc : acc >> (n - 8)));
            if (lsbFirst) acc >>= 8;
        }
    }
    if (n) out.push_back(uint8_t(lsbFirst ? acc : acc << (8 - n)));
    return out;
}
inline Bytes readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
// Runs shell commands with their error output dropped; true on success. The
// outside programs come from scripts/install-deps.sh.
inline bool tool(const std::string &command) { return std::system(("{ " + command + "; } 2>/dev/null").c_str()) == 0; }
// A shell command's standard output, and its exit status.
inline std::string capture(const std::string &cmd, int *status = nullptr) {
    std::string out;
    std::FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int st = pclose(p);
    if (status) *status = st;
    return out;
}

// A picture of depth 24 (colour(x, y) is the pixel) or 1, 4, 8 (it is the
// index into palette); y counts from the top.
inline Image picture(int w, int h, const std::function<uint32_t(int, int)> &colour, uint16_t depth = 24,
                     std::vector<Rgb> palette = {}) {
    Image img;
    img.width = w, img.height = h, img.bitCount = depth, img.palette = std::move(palette);
    img.bits.assign(size_t(img.rowBytes()) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t v = colour(x, y);
            uint8_t *r = &img.bits[size_t(h - 1 - y) * img.rowBytes()];
            if (depth == 24) r[3 * x] = uint8_t(v), r[3 * x + 1] = uint8_t(v >> 8), r[3 * x + 2] = uint8_t(v >> 16);
            else if (depth == 8) r[x] = uint8_t(v);
            else if (depth == 4) r[x / 2] |= uint8_t((v & 15) << (x & 1 ? 0 : 4));
            else r[x / 8] |= uint8_t((v & 1) << (7 - x % 8));
        }
    return img;
}

// A colour function of `colors` distinct colours with runs and single pixels.
inline std::function<uint32_t(int, int)> spread(int colors) {
    return [=](int x, int y) {
        const int i = ((x / 3) * 7 + y * 5 + (x * y) % 4) % colors;
        return rgb(uint8_t(i * 37 + 11), uint8_t(255 - i * 13), uint8_t(i * 91));
    };
}

// PNM files through netpbm's BMP converters and the host's BMP code: a
// picture (width 0 when unreadable), and a picture written as a PPM.
inline Image readPnm(const std::string &path) {
    std::string error;
    if (!tool("ppmtobmp -bpp 24 '" + path + "' > '" + path + ".bmp'")) return {};
    return host::readBmp(path + ".bmp", error).value_or(Image{});
}
inline void writePpm(const std::string &path, const Image &img) {
    ASSERT_TRUE(host::writeBmp(path + ".bmp", img));
    ASSERT_TRUE(tool("bmptopnm '" + path + ".bmp' > '" + path + "'"));
}

// The largest channel difference between two pictures; 256 when their
// sizes differ.
inline int worst(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height || a.width == 0) return 256;
    int m = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int s = 0; s < 24; s += 8)
                m = std::max(m, std::abs(int(a.pixel(x, y) >> s & 255) - int(b.pixel(x, y) >> s & 255)));
    return m;
}

class StillTest : public vctest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        DllMain(reinterpret_cast<void *>(0x400000), 1, nullptr);
    }

    // Loads through the export: the result code and, on success, the
    // block's bytes and header, and its picture; checks the format found.
    int32_t load(const std::string &file, Image *img = nullptr) {
        ConvImageRecord rec{};
        uint8_t format = 0;
        block.clear();
        int32_t r = LoadConvImage(nullptr, file.c_str(), &rec, &format, 0, nullptr);
        if (r != CONV_OK) {
            EXPECT_EQ(rec.image, nullptr);
            return r;
        }
        EXPECT_EQ(format, code);
        auto *p = static_cast<uint8_t *>(VcMemLock(rec.image));
        block.assign(p, p + VcMemSize(rec.image));
        VcMemUnlock(rec.image);
        VcMemFree(rec.image);
        std::memcpy(&header, block.data(), sizeof header);
        EXPECT_EQ(block.size(), vc::dibPackedSize(header));
        auto decoded = host::fromPackedDib(block.data(), block.size());
        EXPECT_TRUE(decoded.has_value());
        if (img) *img = decoded.value_or(Image{});
        return r;
    }
    int32_t load(const Bytes &file, Image *img = nullptr) { return load(writeFile("in.bin", file), img); }
    // How far our picture of a file lies from what an independent decoder
    // (a command writing PNM) makes of it; 256 when either fails.
    int fromDecoder(const std::string &decoder, const std::string &file, Image *img = nullptr) {
        Image mine;
        if (!tool(decoder + " '" + file + "' > '" + path("ref.pnm") + "'") || load(file, &mine) != CONV_OK) return 256;
        if (img) *img = mine;
        return worst(mine, readPnm(path("ref.pnm")));
    }

    static void *handle(const Bytes &dib) {  // a movable block; the caller frees it
        void *b = VcMemAlloc(VC_MEM_MOVEABLE, dib.size());
        std::memcpy(VcMemLock(b), dib.data(), dib.size());
        VcMemUnlock(b);
        return b;
    }
    // Saves through the export, with a parent window when progress is wanted.
    int32_t save(const Bytes &dib, const std::string &file, std::vector<int32_t> *progress = nullptr) {
        vctest::UiRecorder ui;
        void *parent = progress ? VcCreateWindow(nullptr, 0, 0, 400, 300) : nullptr;
        void *b = handle(dib);
        int32_t r = SaveConvImage(parent, file.c_str(), b, code, 0, nullptr);
        VcMemFree(b);
        if (parent) VcDestroyWindow(parent);
        for (auto &e : ui.progress)
            if (progress && e.window && e.visible) progress->push_back(e.percent);
        return r;
    }

    uint8_t code = 0;  // the suite's format
    ConvBitmapInfoHeader header{};
    Bytes block;
};

}  // namespace stilltest
