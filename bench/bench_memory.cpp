// Peak memory of a still load: a 45-megapixel photograph-like picture is
// saved by our writers (LZW TIFF in small strips and in one strip, PCX,
// JPEG), then each file is loaded while the process's peak resident size
// and the library's own block high-water are watched; both are printed as
// multiples of the image block the load returns.
//   build/bench/bench/bench_memory [megapixels]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "bench/synthetic_photo.h"
#include "stills/jpeg.h"
#include "stills/pcx.h"
#include "stills/tiff.h"
#include "common/image_block.h"
#include "platform/owners.h"
#include "platform/platform.h"

namespace {

// A field of /proc/self/status in bytes (VmRSS, VmHWM).
size_t statusBytes(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        size_t kb = 0;
        if (key == std::string(field) + ":" && in >> kb) return kb * 1024;
        std::getline(in, key);
    }
    return 0;
}

// Starts the process's peak resident size over from what it holds now.
bool resetPeakResident() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return bool(out);
}

// The picture: light falloff, texture and noise, blue, green, red.
vc::plat::Block photo(int width, int height) {
    vc::plat::Block block(vc::newPackedDib(width, height, 24));
    uint8_t *rows = block.lock() + 40;
    const size_t stride = vc::dibRowBytes(width, 24);
    vcbench::syntheticPhoto(width, height, [&](int x, int y, int b, int g, int r) {
        uint8_t *p = rows + size_t(y) * stride + size_t(x) * 3;
        p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
    });
    block.unlock();
    return block;
}

struct Case {
    const char *label;
    std::string file;
    vc::Result (*load)(const char *, vc::MemHandle *);
};

}  // namespace

int main(int argc, char **argv) {
    const double megapixels = argc > 1 ? std::atof(argv[1]) : 45.0;
    const int width = 8192, height = int(megapixels * 1e6 / width);
    const std::string dir = "/tmp/vcbench-mem-" + std::to_string(getpid());
    const Case cases[] = {
        {"LZW TIFF, 8 KiB strips", dir + "-strips.tif", vc::LoadTiffImage},
        {"LZW TIFF, one strip", dir + "-one.tif", vc::LoadTiffImage},
        {"PCX, run-length", dir + ".pcx", vc::LoadPcxImage},
        {"JPEG", dir + ".jpg", vc::LoadJpegImage},
    };
    {
        vc::plat::Block picture = photo(width, height);
        bool saved = vc::SaveTiffImage(cases[0].file.c_str(), picture.handle(), {24, 5, 8}) == vc::Result::ok;
        saved = vc::SaveTiffImage(cases[1].file.c_str(), picture.handle(), {24, 5, 1u << 20}) == vc::Result::ok && saved;
        saved = vc::SavePcxImage(cases[2].file.c_str(), picture.handle(), {5, 24, 1}) == vc::Result::ok && saved;
        saved = vc::SaveJpegImage(cases[3].file.c_str(), picture.handle()) == vc::Result::ok && saved;
        if (!saved) {
            std::fprintf(stderr, "the pictures could not be saved\n");
            return 1;
        }
    }
    std::printf("%d x %d pixels; peaks as multiples of the image block the load returns\n", width, height);
    std::printf("%-26s %10s %10s %14s %14s\n", "file", "block MB", "file", "process peak", "library peak");
    for (const Case &c : cases) {
        if (!resetPeakResident()) {
            std::fprintf(stderr, "/proc/self/clear_refs cannot be written\n");
            return 1;
        }
        vc::plat::memResetPeak();
        const size_t before = statusBytes("VmRSS");
        const size_t libraryBefore = vc::plat::memPeakBytes();
        vc::MemHandle image = nullptr;
        const vc::Result r = c.load(c.file.c_str(), &image);
        const size_t peak = statusBytes("VmHWM");
        const size_t libraryPeak = vc::plat::memPeakBytes() - libraryBefore;
        const vc::plat::Block owned(image);
        const double block = double(vc::plat::memSize(image));
        FILE *f = std::fopen(c.file.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        const double fileSize = double(std::ftell(f));
        std::fclose(f);
        std::remove(c.file.c_str());
        if (r != vc::Result::ok || block == 0) {
            std::printf("%-26s load failed (%s)\n", c.label, vc::resultName(r));
            continue;
        }
        std::printf("%-26s %10.1f %9.2fx %13.2fx %13.2fx\n", c.label, block / 1e6, fileSize / block,
                    double(peak - before) / block, double(libraryPeak) / block);
    }
    return 0;
}
