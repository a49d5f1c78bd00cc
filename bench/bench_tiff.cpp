// TIFF LZW strips: our decoder and encoder against libtiff's on the same
// images and the same 8 KB strips, in one run. Four images: a real
// photograph (a wallpaper that mate-backgrounds ships, as RGB) and a real
// flat-coloured graphic (another of its wallpapers, as 8-bit grey), both
// read in place through ImageMagick when the program starts; and two
// synthetic ones that stay for what the real ones do not show: an RGB
// picture of smooth shading under grain that LZW can hardly compress (the
// worst case of short strings), and an 8-bit picture of flat cells.
// Throughput is counted in bytes of pixel rows.
//
//   build/<dir>/bench/bench_tiff --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "codecs/tiff_lzw.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Picture {
    uint32_t width, height, samples;
    Bytes rows;  // top first, red-green-blue or one index per pixel
    uint32_t rowBytes() const { return width * samples; }
    uint32_t rowsPerStrip() const { return 8192 / rowBytes() ? 8192 / rowBytes() : 1; }
};

Picture photo() {
    Picture p{1024, 768, 3, {}};
    p.rows.resize(size_t(p.rowBytes()) * p.height);
    std::mt19937 rng(1);
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) {
            uint8_t *px = &p.rows[(size_t(y) * p.width + x) * 3];
            const double s = std::sin(x * 0.011) * std::cos(y * 0.017);
            const int grain = int(rng() % 5) - 2;
            px[0] = uint8_t(std::clamp(int(128 + 100 * s) + grain, 0, 255));
            px[1] = uint8_t(std::clamp(int(x * 200 / p.width) + grain, 0, 255));
            px[2] = uint8_t(std::clamp(int(y * 255 / p.height) + grain, 0, 255));
        }
    return p;
}

Picture graphic() {
    Picture p{1024, 768, 1, {}};
    p.rows.resize(size_t(p.width) * p.height);
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) {
            const uint32_t cell = (x / 48) + (y / 40) * 31;
            const bool edge = (x % 48) < 2 || (y % 40) < 2;
            p.rows[size_t(y) * p.width + x] = edge ? 0 : uint8_t(cell * 37 % 200 + 16 + ((x * y) >> 9) % 3);
        }
    return p;
}

// ---- libtiff over a memory buffer ------------------------------------------
struct MemFile {
    Bytes data;
    toff_t pos = 0;
};
tsize_t memRead(thandle_t h, tdata_t buf, tsize_t n) {
    auto *m = static_cast<MemFile *>(h);
    tsize_t have = m->pos < m->data.size() ? tsize_t(m->data.size() - m->pos) : 0;
    if (n > have) n = have;
    std::memcpy(buf, m->data.data() + m->pos, size_t(n));
    m->pos += toff_t(n);
    return n;
}
tsize_t memWrite(thandle_t h, tdata_t buf, tsize_t n) {
    auto *m = static_cast<MemFile *>(h);
    if (m->pos + n > m->data.size()) m->data.resize(size_t(m->pos + n));
    std::memcpy(m->data.data() + m->pos, buf, size_t(n));
    m->pos += toff_t(n);
    return n;
}
toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto *m = static_cast<MemFile *>(h);
    m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->data.size() + off;
    return m->pos;
}
int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemFile *>(h)->data.size(); }
int memMap(thandle_t h, tdata_t *base, toff_t *size) {
    auto *m = static_cast<MemFile *>(h);
    *base = m->data.data();
    *size = m->data.size();
    return 1;
}
void memUnmap(thandle_t, tdata_t, toff_t) {}

TIFF *openMem(MemFile &m, const char *mode) {
    m.pos = 0;
    return TIFFClientOpen("mem", mode, &m, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
}

void setFields(TIFF *t, const Picture &p) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, p.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p.samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip());
}

uint32_t stripCount(const Picture &p) { return (p.height + p.rowsPerStrip() - 1) / p.rowsPerStrip(); }
size_t stripBytes(const Picture &p, uint32_t s) {
    const uint32_t rows = std::min(p.rowsPerStrip(), p.height - s * p.rowsPerStrip());
    return size_t(rows) * p.rowBytes();
}
const uint8_t *stripData(const Picture &p, uint32_t s) {
    return p.rows.data() + size_t(s) * p.rowsPerStrip() * p.rowBytes();
}

// The picture written by libtiff, kept for both decoders.
MemFile libtiffFile(const Picture &p) {
    MemFile m;
    TIFF *t = openMem(m, "w");
    setFields(t, p);
    for (uint32_t s = 0; s < stripCount(p); ++s)
        TIFFWriteEncodedStrip(t, s, const_cast<uint8_t *>(stripData(p, s)), tmsize_t(stripBytes(p, s)));
    TIFFClose(t);
    return m;
}

// A packaged picture's pixels through ImageMagick: RGB (3 samples) or grey
// (1). Empty when the file or the tool is missing.
Picture packaged(const char *file, uint32_t samples) {
    Picture p{0, 0, samples, {}};
    const std::string size = "identify -format '%w %h' '" + std::string(file) + "' 2>/dev/null";
    if (FILE *f = popen(size.c_str(), "r")) {
        if (std::fscanf(f, "%u %u", &p.width, &p.height) != 2) p.width = p.height = 0;
        pclose(f);
    }
    if (!p.width || !p.height) {
        std::fprintf(stderr, "bench_tiff: %s is missing (package mate-backgrounds)\n", file);
        return Picture{1, 1, samples, Bytes(samples, 0)};
    }
    const std::string raw = "/usr/bin/convert '" + std::string(file) + "' -background white -flatten -depth 8 " +
                            (samples == 3 ? "rgb:-" : "-colorspace Gray gray:-");
    p.rows.resize(size_t(p.rowBytes()) * p.height);
    if (FILE *f = popen(raw.c_str(), "r")) {
        if (std::fread(p.rows.data(), 1, p.rows.size(), f) != p.rows.size()) p.rows.assign(p.rows.size(), 0);
        pclose(f);
    }
    return p;
}

const char *const kNames[] = {"photograph RGB", "flat 8-bit", "real photograph RGB", "real flat graphic 8-bit"};

const Picture &picture(int which) {
    static const Picture pictures[4] = {photo(), graphic(),
                                        packaged("/usr/share/backgrounds/mate/nature/LadyBird.jpg", 3),
                                        packaged("/usr/share/backgrounds/mate/abstract/Spring.png", 1)};
    return pictures[which];
}

void label(benchmark::State &state, const Picture &p, size_t codedBytes) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.rows.size()));
    state.counters["ratio"] = double(p.rows.size()) / double(codedBytes);
    state.SetLabel(kNames[state.range(0)]);
}

// ---- Decode ----------------------------------------------------------------------
void BM_DecodeOurs(benchmark::State &state) {
    const Picture &p = picture(int(state.range(0)));
    MemFile m = libtiffFile(p);
    // The raw strips as libtiff stored them.
    TIFF *t = openMem(m, "r");
    std::vector<Bytes> strips(stripCount(p));
    size_t coded = 0;
    for (uint32_t s = 0; s < strips.size(); ++s) {
        strips[s].resize(size_t(TIFFRawStripSize(t, s)));
        TIFFReadRawStrip(t, s, strips[s].data(), tmsize_t(strips[s].size()));
        coded += strips[s].size();
    }
    TIFFClose(t);
    Bytes out(size_t(p.rowsPerStrip() + 1) * p.rowBytes());
    vc::tifflzw::DecodeTable table;  // as the reader keeps it for a picture's strips
    for (auto _ : state) {
        for (uint32_t s = 0; s < strips.size(); ++s) {
            size_t n = vc::tifflzw::decodeStrip(strips[s].data(), strips[s].size(), out.data(), out.size(), table);
            if (n < stripBytes(p, s)) state.SkipWithError("short strip");
        }
        benchmark::DoNotOptimize(out.data());
    }
    label(state, p, coded);
}

void BM_DecodeLibtiff(benchmark::State &state) {
    const Picture &p = picture(int(state.range(0)));
    MemFile m = libtiffFile(p);
    TIFF *t = openMem(m, "rm");  // mapped: strips are read in place, as ours are
    Bytes out(size_t(p.rowsPerStrip()) * p.rowBytes());
    for (auto _ : state) {
        for (uint32_t s = 0; s < stripCount(p); ++s)
            if (TIFFReadEncodedStrip(t, s, out.data(), tmsize_t(stripBytes(p, s))) < 0)
                state.SkipWithError("libtiff failed");
        benchmark::DoNotOptimize(out.data());
    }
    TIFFClose(t);
    label(state, p, m.data.size());
}

// ---- Encode ----------------------------------------------------------------------
void BM_EncodeOurs(benchmark::State &state) {
    // As the writer codes them: two strips at a time, the last one alone
    // when their number is odd.
    const Picture &p = picture(int(state.range(0)));
    vc::tifflzw::EncodeTable table;
    if (!vc::tifflzw::encodeTableAlloc(table)) state.SkipWithError("no table");
    const size_t bound = vc::tifflzw::encodeBound(8192 + p.rowBytes());
    Bytes out(2 * bound);
    size_t coded = 0;
    for (auto _ : state) {
        coded = 0;
        uint32_t s = 0;
        for (; s + 1 < stripCount(p); s += 2) {
            size_t length0, length1;
            vc::tifflzw::encodeStripPair(stripData(p, s), stripBytes(p, s), out.data(), length0,
                                         stripData(p, s + 1), stripBytes(p, s + 1), out.data() + bound, length1,
                                         table);
            coded += length0 + length1;
        }
        if (s < stripCount(p)) coded += vc::tifflzw::encodeStrip(stripData(p, s), stripBytes(p, s), out.data(), table);
        benchmark::DoNotOptimize(out.data());
    }
    vc::tifflzw::encodeTableFree(table);
    label(state, p, coded);
}

void BM_EncodeLibtiff(benchmark::State &state) {
    const Picture &p = picture(int(state.range(0)));
    MemFile m;
    m.data.reserve(p.rows.size() * 2);
    size_t coded = 0;
    for (auto _ : state) {
        // One file per round: libtiff codes each strip as it is written.
        m.data.clear();
        TIFF *t = openMem(m, "w");
        setFields(t, p);
        for (uint32_t s = 0; s < stripCount(p); ++s)
            TIFFWriteEncodedStrip(t, s, const_cast<uint8_t *>(stripData(p, s)), tmsize_t(stripBytes(p, s)));
        TIFFClose(t);
        coded = m.data.size();
    }
    label(state, p, coded);
}

}  // namespace

BENCHMARK(BM_DecodeOurs)->DenseRange(0, 3);
BENCHMARK(BM_DecodeLibtiff)->DenseRange(0, 3);
BENCHMARK(BM_EncodeOurs)->DenseRange(0, 3);
BENCHMARK(BM_EncodeLibtiff)->DenseRange(0, 3);
int main(int argc, char **argv) {
    std::vector<vcbench::Pair> pairs;
    for (const char *work : {"Decode", "Encode"})
        for (int i = 0; i < 4; ++i) {
            const std::string arg = std::to_string(i);
            pairs.push_back({std::string(work) + " " + kNames[i], "BM_" + std::string(work) + "Libtiff/" + arg,
                             "BM_" + std::string(work) + "Ours/" + arg});
        }
    return vcbench::runWithRatios(argc, argv, "speed-up over libtiff (libtiff CPU time / our CPU time):", pairs);
}
