// Opening an icon's 256 x 256 PNG entry (choosing it, decoding it, making
// the 24-bit image with its mask) beside the PNG library decoding the same
// bytes on its own, both through its simplified interface and row by row.
//   build/bench/bench/bench_ico --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "bench/ratio_reporter.h"
#include "cursor/ico.h"
#include "platform/owners.h"

namespace {

constexpr int kSide = 256;

// An icon picture: a shaded disc on a transparent ground with a soft edge,
// some texture, as RGBA rows top first.
std::vector<uint8_t> picture() {
    std::vector<uint8_t> px(size_t(kSide) * kSide * 4);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int dx = x - kSide / 2, dy = y - kSide / 2, d2 = dx * dx + dy * dy;
            uint8_t *p = &px[(size_t(y) * kSide + x) * 4];
            p[0] = uint8_t(40 + x * 200 / kSide + ((x / 8 + y / 8) % 3) * 5);
            p[1] = uint8_t(60 + y * 150 / kSide + (x ^ y) % 7);
            p[2] = uint8_t(200 - (x + y) * 150 / (2 * kSide));
            p[3] = d2 < 110 * 110 ? 255 : d2 < 120 * 120 ? uint8_t(255 - (d2 - 110 * 110) / 9) : 0;
        }
    return px;
}

std::vector<uint8_t> encodePng(const std::vector<uint8_t> &rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = kSide;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

// A one-entry icon file around the PNG image. The directory cannot say 256
// (it stores 0, which the choice reads as no area), so the entry is listed
// as 255 x 255; the image itself is 256 x 256.
std::vector<uint8_t> iconFile(const std::vector<uint8_t> &png) {
    std::vector<uint8_t> f = {0, 0, 1, 0, 1, 0, 255, 255, 0, 0, 1, 0, 32, 0};
    for (uint32_t v : {uint32_t(png.size()), 22u})
        for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i)));
    f.insert(f.end(), png.begin(), png.end());
    return f;
}

const std::vector<uint8_t> &pngBytes() {
    static const std::vector<uint8_t> bytes = encodePng(picture());
    return bytes;
}

void setCounters(benchmark::State &state) {
    state.counters["png_bytes"] = double(pngBytes().size());
    state.counters["Mpx/s"] = benchmark::Counter(double(kSide) * kSide, benchmark::Counter::kIsIterationInvariantRate,
                                                 benchmark::Counter::kIs1000);
}

// The file as a load has it after reading it into its block, then the
// choice and the hand-over.
void BM_IconOpenPngEntry(benchmark::State &state) {
    const std::vector<uint8_t> file = iconFile(pngBytes());
    for (auto _ : state) {
        vc::plat::Block block;
        if (!block.alloc(file.size(), vc::plat::kMemMoveable)) state.SkipWithError("no memory");
        std::memcpy(block.data(), file.data(), file.size());
        size_t size = 0;
        if (vc::PickIconImage(block, nullptr, file.size(), &size) != 1) state.SkipWithError("not opened");
        benchmark::DoNotOptimize(block.data());
    }
    setCounters(state);
}
BENCHMARK(BM_IconOpenPngEntry);

// The library's own simplified decode to BGRA.
void BM_PngLibrarySimplified(benchmark::State &state) {
    std::vector<uint8_t> out(size_t(kSide) * kSide * 4);
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, pngBytes().data(), pngBytes().size())) state.SkipWithError("header");
        image.format = PNG_FORMAT_BGRA;
        if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) state.SkipWithError("decode");
        benchmark::DoNotOptimize(out.data());
    }
    setCounters(state);
}
BENCHMARK(BM_PngLibrarySimplified);

struct Source {
    const uint8_t *data;
    size_t size, at;
};
void readSource(png_structp png, png_bytep out, size_t n) {
    auto *s = static_cast<Source *>(png_get_io_ptr(png));
    if (n > s->size - s->at) png_error(png, "cut short");
    std::memcpy(out, s->data + s->at, n);
    s->at += n;
}

// Row by row into one BGRA image, the transforms set as the plug-in sets
// them.
bool decodeRows(png_structp png, png_infop info, Source &source, uint8_t *out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &source, readSource);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_bgr(png);
    png_read_update_info(png, info);
    for (int y = 0; y < kSide; ++y) png_read_row(png, out + size_t(y) * kSide * 4, nullptr);
    return true;
}

void BM_PngLibraryRows(benchmark::State &state) {
    std::vector<uint8_t> out(size_t(kSide) * kSide * 4);
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        Source source{pngBytes().data(), pngBytes().size(), 0};
        if (!decodeRows(png, info, source, out.data())) state.SkipWithError("decode");
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    setCounters(state);
}
BENCHMARK(BM_PngLibraryRows);

}  // namespace

int main(int argc, char **argv) {
    return vcbench::runWithRatios(argc, argv, "the PNG library's time / the icon load's (1.00: no overhead):",
                                  {{"simplified decode", "BM_PngLibrarySimplified", "BM_IconOpenPngEntry"},
                                   {"row decode", "BM_PngLibraryRows", "BM_IconOpenPngEntry"}});
}
