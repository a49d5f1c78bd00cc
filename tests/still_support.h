// Helpers of the PCX, TIFF and JPEG tests: pictures made from colour
// functions and the cores' pictures, the TIFF and PCX builders, PNM files as
// netpbm writes them, outside tools, and a fixture that loads and saves
// through the exports.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "common/image_block.h"
#include "common/picture.h"
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

// A core's picture as a packed DIB and as a host picture, and a host
// picture as a core's.
inline Bytes dibOf(const vc::Picture &p) {
    ConvBitmapInfoHeader h{40, p.width, p.height, 1, p.bitCount, 0, 0, p.xPelsPerMeter, p.yPelsPerMeter, 0, 0};
    const auto *table = reinterpret_cast<const uint8_t *>(p.palette.data());
    return Bytes(reinterpret_cast<uint8_t *>(&h), reinterpret_cast<uint8_t *>(&h) + 40) +
           Bytes(table, table + 4 * p.palette.size()) + p.pixels;
}
inline Image imageOf(const vc::Picture &p) {
    const Bytes dib = dibOf(p);
    return host::fromPackedDib(dib.data(), dib.size()).value_or(Image{});
}
inline vc::Picture pictureOf(const Image &img) {
    vc::Picture p;
    p.width = img.width, p.height = img.height, p.bitCount = img.bitCount, p.pixels = img.bits;
    for (Rgb c : img.palette) p.palette.push_back({uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    return p;
}

// A TIFF file put together entry by entry: blobs follow the header in the
// order added, the IFD comes last; `next` is the next IFD's offset (the
// IFD's own when `loop`).
struct TiffBuilder {
    bool big = false, loop = false;
    Bytes blobs;
    std::vector<std::pair<uint16_t, Bytes>> entries;  // tag, its 12 bytes

    Bytes &put(Bytes &b, uint32_t v, int n) const {
        for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> 8 * (big ? n - 1 - i : i)));
        return b;
    }
    uint32_t blob(const Bytes &b) {  // the data's file offset
        blobs = blobs + b;
        return 8 + uint32_t(blobs.size() - b.size());
    }
    uint32_t array(const std::vector<uint32_t> &v, int n) {
        Bytes b;
        for (uint32_t x : v) put(b, x, n);
        return blob(b);
    }
    // One or two SHORTs sit left-justified in the value field.
    void tag(uint16_t tag, uint32_t v, uint16_t type = 4, uint32_t count = 1) {
        std::erase_if(entries, [&](auto &e) { return e.first == tag; });
        Bytes e;
        put(put(put(e, tag, 2), type, 2), count, 4);
        if (type == 3 && count <= 2) put(put(e, v & 0xFFFF, 2), v >> 16, 2);
        else put(e, v, 4);
        entries.push_back({tag, e});
    }
    void shortTag(uint16_t t, uint16_t v) { tag(t, v, 3); }
    Bytes build() const {
        Bytes out = big ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
        uint32_t ifd = 8 + uint32_t(blobs.size());
        put(out, ifd += ifd & 1, 4);
        out = out + blobs;
        out.resize(ifd, 0);
        put(out, uint32_t(entries.size()), 2);
        for (auto &e : entries) out = out + e.second;
        return put(out, loop ? ifd : 0, 4);
    }
};
// A one-strip image; `data` is the strip as stored, at offset 8.
inline TiffBuilder tiffOf(bool big, uint32_t w, uint32_t h, uint16_t bits, uint16_t photometric, const Bytes &data,
                          uint16_t compression = 1, uint16_t samples = 1) {
    TiffBuilder t;
    t.big = big;
    uint32_t at = t.blob(data);
    t.tag(256, w), t.tag(257, h);
    if (samples == 3) t.tag(258, t.array({bits, bits, bits}, 2), 3, 3);
    else t.shortTag(258, bits);
    t.shortTag(259, compression), t.shortTag(262, photometric), t.tag(273, at), t.shortTag(277, samples);
    t.tag(279, uint32_t(data.size()));
    return t;
}

// A PCX header with the fields the reader looks at: the window from
// (xmin, ymin) to (w - 1, h - 1).
inline Bytes pcxHeader(uint8_t maker, uint8_t version, uint8_t encoding, uint8_t bits, uint32_t w, uint32_t h,
                       uint8_t planes, uint16_t lineBytes, uint16_t xmin = 0, uint16_t ymin = 0) {
    Bytes hdr(128, 0);
    hdr[0] = maker, hdr[1] = version, hdr[2] = encoding, hdr[3] = bits;
    hdr[4] = uint8_t(xmin), hdr[5] = uint8_t(xmin >> 8), hdr[6] = uint8_t(ymin), hdr[7] = uint8_t(ymin >> 8);
    hdr[8] = uint8_t(w - 1), hdr[9] = uint8_t((w - 1) >> 8), hdr[10] = uint8_t(h - 1), hdr[11] = uint8_t((h - 1) >> 8);
    hdr[65] = planes, hdr[66] = uint8_t(lineBytes), hdr[67] = uint8_t(lineBytes >> 8);
    return hdr;
}

// The clock the TIFF writer's tests stamp their files with.
inline void fixedClock(int &y, int &mo, int &d, int &h, int &mi, int &s) { y = 2026, mo = 3, d = 4, h = 5, mi = 6, s = 7; }

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
    // block's bytes and header; checks the format found.
    int32_t load(const std::string &file) {
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
        return r;
    }
    int32_t load(const Bytes &file) { return load(writeFile("in.bin", file)); }
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
