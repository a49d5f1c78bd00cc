// GIF decoding and encoding: our reader and writer against giflib on the
// same files, in one run. Three pictures: a photograph-like 8-bit image
// (smooth shading with grain, 256 colours), an animated screen capture
// (24 frames of a desktop with windows, text and a moving pointer), and a
// 1-bit scanned-page image. Both sides read and write real files; decoding
// ends with every frame's pixels in memory, encoding starts from them.
//
//   build/<dir>/bench/bench_gif
// The ratios (giflib CPU time / our CPU time: both run on one thread, and
// CPU time is steadier than wall time on a shared machine) are printed
// after the table.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "entry/image_block.h"
#include "gif/gif_read.h"
#include "gif/gif_write.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Frame {
    uint32_t left, top, width, height;
    Bytes pixels;  // one index per pixel, top row first
};

struct Movie {
    std::string name;
    uint32_t width, height;
    unsigned bits;
    std::vector<vc::GifRgbQuad> palette;
    std::vector<Frame> frames;
};

Movie photo() {
    Movie m{"photo8", 800, 600, 8, {}, {}};
    for (int i = 0; i < 256; ++i)  // 8 reds x 8 greens x 4 blues
        m.palette.push_back(vc::GifRgbQuad{uint8_t((i & 3) * 85), uint8_t(((i >> 2) & 7) * 36),
                                           uint8_t((i >> 5) * 36), 0});
    Frame f{0, 0, m.width, m.height, Bytes(size_t(m.width) * m.height)};
    std::mt19937 rng(1);
    for (uint32_t y = 0; y < m.height; ++y)
        for (uint32_t x = 0; x < m.width; ++x) {
            const double s = std::sin(x * 0.013) * std::cos(y * 0.019);
            const int grain = int(rng() % 3) - 1;  // dithering noise
            int r = std::clamp(int(4 + 3.5 * s) + grain, 0, 7);
            int g = std::clamp(int(x * 8 / m.width) + (grain & int(rng() & 1)), 0, 7);
            int b = std::clamp(int(y * 4 / m.height), 0, 3);
            f.pixels[size_t(y) * m.width + x] = uint8_t(r << 5 | g << 2 | b);
        }
    m.frames.push_back(std::move(f));
    return m;
}

// A desktop: background, windows with title bars and lines of "text",
// a pointer that moves and a window that scrolls; each later frame is the
// changed rectangle only, as screen recorders write them.
Movie screen() {
    Movie m{"screen", 800, 600, 8, {}, {}};
    for (int i = 0; i < 256; ++i) m.palette.push_back(vc::GifRgbQuad{uint8_t(i * 7), uint8_t(i * 3), uint8_t(i), 0});
    Bytes desk(size_t(m.width) * m.height, 20);
    std::mt19937 rng(2);
    auto window = [&](uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, uint8_t body, unsigned scroll) {
        for (uint32_t y = y0; y < y0 + h; ++y)
            for (uint32_t x = x0; x < x0 + w; ++x) {
                uint8_t c = body;
                if (y < y0 + 18) c = 60;
                else if (x == x0 || x == x0 + w - 1 || y == y0 + h - 1) c = 0;
                else {
                    // Text lines of 12 pixels: glyph-like runs.
                    uint32_t ly = (y - y0 - 18 + scroll) % 12, lx = x - x0;
                    uint32_t word = ((y - y0 - 18 + scroll) / 12 * 131 + lx / 7) * 2654435761u;
                    if (ly > 2 && ly < 10 && lx > 6 && (word >> 28) > 3 && ((word >> (lx % 7 + 8)) & 1)) c = 1;
                }
                desk[size_t(y) * m.width + x] = c;
            }
    };
    window(40, 30, 420, 300, 255, 0);
    window(300, 200, 460, 360, 250, 0);
    m.frames.push_back(Frame{0, 0, m.width, m.height, desk});
    for (int k = 1; k < 24; ++k) {
        window(300, 200, 460, 360, 250, unsigned(k) * 3);
        // The pointer: a small arrow moving across.
        uint32_t px = 100 + uint32_t(k) * 25, py = 80 + uint32_t(k) * 12;
        for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x = 0; x <= y / 2; ++x) desk[size_t(py + y) * m.width + px + x] = x == y / 2 ? 0 : 200;
        const uint32_t l = 100 + uint32_t(k - 1) * 25 < 300 ? 100 + uint32_t(k - 1) * 25 : 300;
        const uint32_t t = 80 + uint32_t(k - 1) * 12 < 200 ? 80 + uint32_t(k - 1) * 12 : 200;
        Frame f{l, t, 760 - l, 560 - t, {}};
        f.pixels.resize(size_t(f.width) * f.height);
        for (uint32_t y = 0; y < f.height; ++y)
            std::memcpy(&f.pixels[size_t(y) * f.width], &desk[size_t(t + y) * m.width + l], f.width);
        m.frames.push_back(std::move(f));
    }
    return m;
}

Movie page() {
    Movie m{"page1", 1700, 2200, 1, {{255, 255, 255, 0}, {0, 0, 0, 0}}, {}};
    Frame f{0, 0, m.width, m.height, Bytes(size_t(m.width) * m.height)};
    std::mt19937 rng(3);
    for (uint32_t y = 150; y < 2050; ++y) {
        uint32_t ly = y % 40;
        if (ly < 8 || ly > 30) continue;
        for (uint32_t x = 150; x < 1550; ++x) {
            uint32_t word = (y / 40 * 977 + x / 9) * 2654435761u;
            if ((word >> 29) == 0) continue;  // spaces
            if (((word >> ((x * 3 + ly) % 19)) & 3) == 0 || (rng() % 97) == 0) f.pixels[size_t(y) * m.width + x] = 1;
        }
    }
    m.frames.push_back(std::move(f));
    return m;
}

const std::vector<Movie> &movies() {
    static std::vector<Movie> all = {photo(), screen(), page()};
    return all;
}

std::string fileFor(const Movie &m, const char *who) {
    return "/tmp/bench_gif_" + std::to_string(getpid()) + "_" + m.name + "_" + who + ".gif";
}

// ---- Our side ---------------------------------------------------------------
std::vector<vc::MemHandle> ourDibs(const Movie &m) {
    std::vector<vc::MemHandle> dibs;
    for (const Frame &f : m.frames) {
        vc::plat::Block block = vc::makePackedDib(vc::gifDibSpec(uint16_t(m.bits), int32_t(f.width), int32_t(f.height),
                                                                m.palette.data(), int32_t(m.palette.size())));
        auto *dib = block.as<ConvBitmapInfoHeader>();
        uint8_t *bits = reinterpret_cast<uint8_t *>(dib) + vc::dibBitsOffset(*dib);
        const uint64_t stride = vc::dibRowBytes(f.width, m.bits);
        for (uint32_t y = 0; y < f.height; ++y)
            vc::StoreIndexRow(bits + (f.height - 1 - y) * stride, &f.pixels[size_t(y) * f.width], f.width,
                              uint16_t(m.bits), -1);
        dibs.push_back(block.release());
    }
    return dibs;
}

void ourEncode(const Movie &m, const std::vector<vc::MemHandle> &dibs, const std::string &name) {
    vc::plat::File f;
    if (!f.create(name.c_str())) return;
    bool written = vc::WriteGifHeader(f.handle(), vc::plat::Lock(dibs[0]).as<ConvBitmapInfoHeader>(),
                                      uint16_t(m.width), uint16_t(m.height), 0) == 1;
    for (size_t i = 0; i < dibs.size(); ++i) {
        const vc::plat::Lock dib(dibs[i]);
        written = vc::WriteGifImage(f.handle(), dib.as<ConvBitmapInfoHeader>(), int32_t(m.frames[i].left),
                                    int32_t(m.frames[i].top), false, false) == 1 && written;
    }
    const uint8_t trailer = 0x3B;
    // A file that was not written whole fails the read-back check.
    if (!written || !f.writeAll(&trailer, 1)) std::fprintf(stderr, "%s: not written whole\n", name.c_str());
}

// Scan, then every frame into a DIB of its own.
size_t ourDecode(const std::string &name) {
    vc::plat::File f;
    if (!f.open(name.c_str())) return 0;
    static vc::GifAnimRecord rec;
    std::memset(&rec, 0, sizeof rec);
    size_t pixels = 0;
    if (vc::ParseGifStructure(f.handle(), rec, false) == 1) {
        for (int i = 0; i < rec.frameCount; ++i) {
            const vc::GifFrameEntry &e = rec.frames[i];
            vc::plat::Block dib = vc::makePackedDib(
                vc::gifDibSpec(e.bitsPerPixel, e.width, e.height, rec.globalPalette, rec.globalColorCount));
            if (dib && vc::DecodeGifImageAt(f.handle(), e.dataPosition, dib.as<ConvBitmapInfoHeader>(), -1, e.left,
                                            e.top) == 1)
                pixels += size_t(e.width) * e.height;
        }
    }
    return pixels;
}

// ---- giflib -----------------------------------------------------------------
void gifEncode(const Movie &m, const std::string &name) {
    int err = 0;
    GifFileType *gif = EGifOpenFileName(name.c_str(), false, &err);
    GifColorType colors[256] = {};
    for (size_t i = 0; i < m.palette.size(); ++i)
        colors[i] = GifColorType{m.palette[i].red, m.palette[i].green, m.palette[i].blue};
    const int entries = 1 << m.bits;
    ColorMapObject *map = GifMakeMapObject(entries, colors);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, int(m.width), int(m.height), int(m.bits), 0, map);
    for (const Frame &f : m.frames) {
        EGifPutImageDesc(gif, int(f.left), int(f.top), int(f.width), int(f.height), false, nullptr);
        for (uint32_t y = 0; y < f.height; ++y)
            EGifPutLine(gif, const_cast<GifPixelType *>(&f.pixels[size_t(y) * f.width]), int(f.width));
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
}

size_t gifDecode(const std::string &name) {
    int err = 0;
    GifFileType *gif = DGifOpenFileName(name.c_str(), &err);
    size_t pixels = 0;
    if (gif && DGifSlurp(gif) == GIF_OK)
        for (int i = 0; i < gif->ImageCount; ++i)
            pixels += size_t(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
    DGifCloseFile(gif, &err);
    return pixels;
}

size_t totalPixels(const Movie &m) {
    size_t n = 0;
    for (const Frame &f : m.frames) n += f.pixels.size();
    return n;
}

void BM_Decode(benchmark::State &state, int which, bool ours) {
    const Movie &m = movies()[size_t(which)];
    // Both decode the same file, written by giflib.
    const std::string name = fileFor(m, "in");
    gifEncode(m, name);
    for (auto _ : state) {
        size_t n = ours ? ourDecode(name) : gifDecode(name);
        if (n != totalPixels(m)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * totalPixels(m)));
    std::remove(name.c_str());
}

void BM_Encode(benchmark::State &state, int which, bool ours) {
    const Movie &m = movies()[size_t(which)];
    const std::string name = fileFor(m, ours ? "ours" : "giflib");
    std::vector<vc::MemHandle> dibs = ourDibs(m);
    for (auto _ : state) {
        if (ours)
            ourEncode(m, dibs, name);
        else
            gifEncode(m, name);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * totalPixels(m)));
    // Our file must decode to the same pixels through giflib.
    if (ours) {
        int err = 0;
        GifFileType *gif = DGifOpenFileName(name.c_str(), &err);
        bool same = gif && DGifSlurp(gif) == GIF_OK && gif->ImageCount == int(m.frames.size());
        for (int i = 0; same && i < gif->ImageCount; ++i)
            same = std::memcmp(gif->SavedImages[i].RasterBits, m.frames[size_t(i)].pixels.data(),
                               m.frames[size_t(i)].pixels.size()) == 0;
        DGifCloseFile(gif, &err);
        if (!same) state.SkipWithError("our file does not read back through giflib");
    }
    for (auto h : dibs) const vc::plat::Block owned(h);  // freed at once
    std::remove(name.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    const char *names[] = {"photo8", "screen", "page1"};
    for (int i = 0; i < 3; ++i) {
        for (bool ours : {true, false}) {
            const std::string who = ours ? "ours" : "giflib";
            benchmark::RegisterBenchmark(("decode_" + std::string(names[i]) + "/" + who).c_str(), BM_Decode, i, ours)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("encode_" + std::string(names[i]) + "/" + who).c_str(), BM_Encode, i, ours)
                ->Unit(benchmark::kMillisecond);
        }
    }
    std::vector<vcbench::Pair> pairs;
    for (const char *work : {"decode_", "encode_"})
        for (const char *name : names) {
            const std::string base = work + std::string(name);
            pairs.push_back({base, base + "/giflib", base + "/ours"});
        }
    return vcbench::runWithRatios(argc, argv, "speed-up over giflib (giflib CPU time / our CPU time):", pairs);
}
