// PCX run-length coding in MB/s of image data, and JPEG load and save
// through the plug-in beside bare libjpeg-turbo on the same picture.
//   build/bench/bench/bench_pcxjpeg --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "bench/synthetic_photo.h"
#include "stills/jpeg.h"
#include "codecs/pcx_rle.h"
#include "stills/pcx.h"
#include "common/image_block.h"
#include "platform/owners.h"
#include "platform/platform.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// A photograph-like picture: smooth light falloff, texture and noise, as
// blue, green, red rows top first.
std::vector<uint8_t> photo() {
    std::vector<uint8_t> px(size_t(kWidth) * kHeight * 3);
    vcbench::syntheticPhoto(kWidth, kHeight, [&](int x, int y, int b, int g, int r) {
        uint8_t *p = &px[(size_t(y) * kWidth + x) * 3];
        p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
    });
    return px;
}

// A drawing: few colours in long runs, as an 8-bit plane.
std::vector<uint8_t> drawing() {
    std::vector<uint8_t> px(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) px[size_t(y) * kWidth + x] = uint8_t(((x / 97) ^ (y / 61)) * 37 % 256);
    return px;
}

// The plane buffer of a 24-bit picture as the PCX writer lays it out.
std::vector<uint8_t> planes(const std::vector<uint8_t> &bgr) {
    std::vector<uint8_t> out(bgr.size());
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                out[size_t(y) * kWidth * 3 + size_t(c) * kWidth + x] = bgr[(size_t(y) * kWidth + x) * 3 + 2 - c];
    return out;
}

std::vector<uint8_t> encode(const std::vector<uint8_t> &plane, size_t lineBytes) {
    std::vector<uint8_t> out(plane.size() * 2);
    size_t n = 0;
    for (size_t off = 0; off < plane.size(); off += lineBytes)
        n += vc::pcx::encodeLine(plane.data() + off, lineBytes, out.data() + n);
    out.resize(n);
    return out;
}

void decodeBench(benchmark::State &state, const std::vector<uint8_t> &plane, size_t lineBytes) {
    const std::vector<uint8_t> stream = encode(plane, lineBytes);
    std::vector<uint8_t> out(plane.size());
    for (auto _ : state) {
        size_t n = vc::pcx::decodeRle(stream.data(), stream.size(), out.data(), out.size());
        benchmark::DoNotOptimize(n);
    }
    if (out != plane) state.SkipWithError("decoded data differs");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plane.size()));
    state.counters["ratio"] = double(stream.size()) / double(plane.size());
}

void encodeBench(benchmark::State &state, const std::vector<uint8_t> &plane, size_t lineBytes) {
    std::vector<uint8_t> out(plane.size() * 2);
    for (auto _ : state) {
        size_t n = 0;
        for (size_t off = 0; off < plane.size(); off += lineBytes)
            n += vc::pcx::encodeLine(plane.data() + off, lineBytes, out.data() + n);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(plane.size()));
}

void BM_PcxDecodePhoto24(benchmark::State &s) { decodeBench(s, planes(photo()), size_t(kWidth) * 3); }
// The same through each way of decoding this processor runs (0 one byte at a
// time ... 5 one compression per block), to see what each one gains.
void BM_PcxDecodePhoto24Way(benchmark::State &s) {
    const auto way = vc::pcx::RleWay(s.range(0));
    if (!vc::pcx::rleWayRuns(way)) return s.SkipWithError("not on this processor");
    const std::vector<uint8_t> plane = planes(photo()), stream = encode(plane, size_t(kWidth) * 3);
    std::vector<uint8_t> out(plane.size());
    for (auto _ : s) {
        vc::pcx::RleState state;
        size_t n = vc::pcx::decodeRle(stream.data(), stream.size(), state, out.data(), out.size(), way);
        benchmark::DoNotOptimize(n);
    }
    if (out != plane) s.SkipWithError("decoded data differs");
    s.SetBytesProcessed(int64_t(s.iterations()) * int64_t(plane.size()));
}
void BM_PcxDecodeDrawing8(benchmark::State &s) { decodeBench(s, drawing(), kWidth); }
void BM_PcxEncodePhoto24(benchmark::State &s) { encodeBench(s, planes(photo()), size_t(kWidth) * 3); }
void BM_PcxEncodeDrawing8(benchmark::State &s) { encodeBench(s, drawing(), kWidth); }
BENCHMARK(BM_PcxDecodePhoto24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxDecodePhoto24Way)->DenseRange(0, int(vc::pcx::RleWay::compress))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxDecodeDrawing8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxEncodePhoto24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxEncodeDrawing8)->Unit(benchmark::kMillisecond);

// ---- JPEG --------------------------------------------------------------------------

std::string tempFile(const char *name) { return "/tmp/vcbench-" + std::to_string(getpid()) + "-" + name; }

// Bare libjpeg-turbo with the settings the plug-in asks for: quality 100,
// luma sampled 2 x 1, blue-green-red rows top first.
void bareWrite(const std::vector<uint8_t> &bgr, const std::string &file) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    FILE *f = std::fopen(file.c_str(), "wb");
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    c.comp_info[0].h_samp_factor = 2;
    c.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t *>(&bgr[size_t(c.next_scanline) * kWidth * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

void bareRead(const std::string &file, std::vector<uint8_t> &bgr) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    FILE *f = std::fopen(file.c_str(), "rb");
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    bgr.resize(size_t(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &bgr[size_t(d.output_scanline) * d.output_width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
}

// The picture as the editor hands it over: a 24-bit image block.
vc::plat::Block photoBlock(const std::vector<uint8_t> &bgr) {
    vc::plat::Block block(vc::newPackedDib(kWidth, kHeight, 24));
    uint8_t *p = block.lock() + 40;
    const size_t row = vc::dibRowBytes(kWidth, 24);
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(p + row * size_t(kHeight - 1 - y), &bgr[size_t(y) * kWidth * 3], size_t(kWidth) * 3);
    block.unlock();
    return block;
}

void BM_JpegLoadBare(benchmark::State &state) {
    const std::string file = tempFile("load.jpg");
    bareWrite(photo(), file);
    std::vector<uint8_t> bgr;
    for (auto _ : state) {
        bareRead(file, bgr);
        benchmark::DoNotOptimize(bgr.data());
        std::vector<uint8_t>().swap(bgr);  // a fresh buffer each time, as the plug-in allocates one
    }
    std::remove(file.c_str());
}
void BM_JpegLoadOurs(benchmark::State &state) {
    const std::string file = tempFile("load.jpg");
    bareWrite(photo(), file);
    for (auto _ : state) {
        vc::MemHandle image = nullptr;
        if (vc::LoadJpegImage(file.c_str(), &image) != vc::Result::ok) state.SkipWithError("load failed");
        const vc::plat::Block owned(image);
    }
    std::remove(file.c_str());
}
void BM_JpegSaveBare(benchmark::State &state) {
    const std::string file = tempFile("save.jpg");
    const std::vector<uint8_t> bgr = photo();
    for (auto _ : state) bareWrite(bgr, file);
    std::remove(file.c_str());
}
void BM_JpegSaveOurs(benchmark::State &state) {
    const std::string file = tempFile("save.jpg");
    vc::plat::Block block = photoBlock(photo());
    for (auto _ : state)
        if (vc::SaveJpegImage(file.c_str(), block.handle()) != vc::Result::ok) state.SkipWithError("save failed");
    std::remove(file.c_str());
}
BENCHMARK(BM_JpegLoadBare)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegLoadOurs)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegSaveBare)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegSaveOurs)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char **argv) {
    return vcbench::runWithRatios(argc, argv,
                                  "bare libjpeg-turbo CPU time / the plug-in's through the stand-in (1.00: no overhead):",
                                  {{"JPEG load", "BM_JpegLoadBare", "BM_JpegLoadOurs"},
                                   {"JPEG save", "BM_JpegSaveBare", "BM_JpegSaveOurs"}});
}
