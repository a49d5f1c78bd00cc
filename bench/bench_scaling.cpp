// How the cost of a load and a save grows with the picture: GIF, TIFF (LZW),
// PCX (run-length) and JPEG at 1, 4, 16 and 64 megapixels, through the
// plug-in's readers and writers on files. After the usual table, the CPU
// time per megapixel at each size and the 64-to-1 ratio (1.00: linear).
//   build/bench/bench/bench_scaling --benchmark_repetitions=2
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "bench/ratio_reporter.h"
#include "bench/synthetic_photo.h"
#include "stills/jpeg.h"
#include "stills/pcx.h"
#include "stills/tiff.h"
#include "common/file_window.h"
#include "common/image_block.h"
#include "gif/gif_read.h"
#include "gif/gif_write.h"
#include "platform/owners.h"

namespace {

constexpr int kSizes[] = {1, 4, 16, 64};  // megapixels: squares of 1024, 2048, 4096 and 8192
const char *const kFormats[] = {"GIF", "TIFF", "PCX", "JPEG"};

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A photograph-like picture, blue, green, red (24 bits), or the same with
// 3-3-2 bit colour indices (8 bits) for GIF.
vc::plat::Block picture(int side, bool indexed) {
    vc::GifRgbQuad palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = vc::GifRgbQuad{uint8_t((i & 3) * 85), uint8_t(((i >> 2) & 7) * 36), uint8_t((i >> 5) * 36), 0};
    vc::plat::Block block = indexed ? vc::makePackedDib(vc::gifDibSpec(8, side, side, palette, 256))
                                    : vc::plat::Block(vc::newPackedDib(side, side, 24));
    auto *dib = reinterpret_cast<ConvBitmapInfoHeader *>(block.lock());
    uint8_t *rows = reinterpret_cast<uint8_t *>(dib) + vc::dibBitsOffset(*dib);
    const size_t stride = vc::dibRowBytes(side, indexed ? 8 : 24);
    vcbench::syntheticPhoto(side, side, [&](int x, int y, int b, int g, int r) {
        uint8_t *p = rows + size_t(y) * stride;
        if (indexed)
            p[x] = uint8_t((b >> 6) << 5 | (g >> 5) << 2 | (r >> 6));
        else
            p[3 * x] = uint8_t(b), p[3 * x + 1] = uint8_t(g), p[3 * x + 2] = uint8_t(r);
    });
    block.unlock();
    return block;
}

bool save(int format, const std::string &file, vc::MemHandle image) {
    switch (format) {
    case 0: {
        vc::plat::File f;
        if (!f.create(file.c_str())) return false;
        const vc::plat::Lock dib(image);
        const auto *h = dib.as<ConvBitmapInfoHeader>();
        const uint8_t trailer = 0x3B;
        return vc::WriteGifHeader(f.handle(), h, uint16_t(h->biWidth), uint16_t(h->biHeight), 0) == vc::Result::ok &&
               vc::WriteGifImage(f.handle(), h, 0, 0, false, false) == vc::Result::ok && f.writeAll(&trailer, 1);
    }
    case 1: return vc::SaveTiffImage(file.c_str(), image, {24, 5, 8}) == vc::Result::ok;
    case 2: return vc::SavePcxImage(file.c_str(), image, {5, 24, 1}) == vc::Result::ok;
    default: return vc::SaveJpegImage(file.c_str(), image) == vc::Result::ok;
    }
}

bool load(int format, const std::string &file) {
    vc::MemHandle image = nullptr;
    vc::Result r = vc::Result::readFailed;
    switch (format) {
    case 0: {
        vc::plat::File f;
        static vc::GifAnimRecord rec;
        if (!f.open(file.c_str())) return false;
        vc::FileWindow in(f.handle(), 0, false);
        if (vc::ParseGifStructure(in, rec, true) != vc::Result::ok) return false;
        const vc::GifFrameEntry &e = rec.frames[0];
        // A new DIB is blank, as the loader's is.
        vc::plat::Block dib = vc::makePackedDib(
            vc::gifDibSpec(e.bitsPerPixel, e.width, e.height, rec.globalPalette, rec.globalColorCount));
        return dib && vc::DecodeGifImageAt(in, e.dataPosition, dib.as<ConvBitmapInfoHeader>(), -1, e.left, e.top,
                                           vc::kBlankCanvas) == vc::Result::ok;
    }
    case 1: r = vc::LoadTiffImage(file.c_str(), &image); break;
    case 2: r = vc::LoadPcxImage(file.c_str(), &image); break;
    default: r = vc::LoadJpegImage(file.c_str(), &image); break;
    }
    const vc::plat::Block owned(image);
    return r == vc::Result::ok;
}

std::string fileFor(int format, int megapixels) {
    static const char *const ext[] = {"gif", "tif", "pcx", "jpg"};
    return "/tmp/vcbench-scale-" + std::to_string(getpid()) + "-" + std::to_string(megapixels) + "." + ext[format];
}

// CPU seconds and iterations per benchmark, for the table at the end.
std::map<std::string, std::pair<double, double>> gSpent;

void BM_Scale(benchmark::State &state, int format, bool saving) {
    const int megapixels = int(state.range(0)), side = 1024 * int(std::lround(std::sqrt(megapixels)));
    const std::string file = fileFor(format, megapixels);
    vc::plat::Block image = picture(side, format == 0);
    if (!save(format, file, image.handle())) state.SkipWithError("save failed");
    if (!saving) image.reset();
    double spent = 0;
    for (auto _ : state) {
        const double t0 = cpuSeconds();
        if (!(saving ? save(format, file, image.handle()) : load(format, file))) state.SkipWithError("failed");
        spent += cpuSeconds() - t0;
    }
    auto &total = gSpent[std::string(kFormats[format]) + (saving ? " save" : " load") + "/" + std::to_string(megapixels)];
    total.first += spent;
    total.second += double(state.iterations());
    state.counters["MP/s"] = benchmark::Counter(double(megapixels), benchmark::Counter::kIsIterationInvariantRate);
    std::remove(file.c_str());
}

void printPerMegapixel() {
    std::printf("\nCPU ms per megapixel at 1, 4, 16 and 64 megapixels; 64 / 1 (1.00: linear):\n");
    for (const char *format : kFormats)
        for (const char *work : {" load", " save"}) {
            const std::string name = std::string(format) + work;
            double first = 0, last = 0;
            std::printf("  %-10s", name.c_str());
            for (int mp : kSizes) {
                const auto it = gSpent.find(name + "/" + std::to_string(mp));
                if (it == gSpent.end() || it->second.second == 0) {
                    std::printf(" %8s", "-");
                    continue;
                }
                const double perMp = 1e3 * it->second.first / it->second.second / mp;
                std::printf(" %8.2f", perMp);
                if (mp == kSizes[0]) first = perMp;
                last = perMp;
            }
            if (first > 0 && last > 0) std::printf("   %.2f", last / first);
            std::printf("\n");
        }
}

}  // namespace

int main(int argc, char **argv) {
    for (int f = 0; f < 4; ++f)
        for (bool saving : {false, true}) {
            auto *b = benchmark::RegisterBenchmark(
                (std::string(kFormats[f]) + (saving ? "_save" : "_load")).c_str(),
                [f, saving](benchmark::State &s) { BM_Scale(s, f, saving); });
            for (int mp : kSizes) b->Arg(mp);
            b->Unit(benchmark::kMillisecond)->MinTime(0.3);
        }
    return vcbench::runWithRatios(argc, argv, "(no peers: the sizes are compared with each other below)", {},
                                  vcbench::Clock::cpu, printPerMegapixel);
}
