// AVI through the companion library (VELMVFW32.so, loaded the way the
// plug-in loads it) against FFmpeg's command-line tool on the same files:
// import of 300 frames of 640 x 480 from an uncompressed and from an MS
// Video 1 file (ours: every frame as a packed DIB in memory; ffmpeg: every
// frame decoded to raw pictures, thrown away), and export of 300 such
// frames to an uncompressed AVI file (ours: from frames in memory; ffmpeg:
// from a file of raw pictures). ffmpeg runs as a process of its own, so
// both sides are timed on the wall clock. After the table: our time over
// ffmpeg's for each pair, and how far our resident memory grew while
// handling 30 and 300 frames.
//
//   build/bench/bench/bench_avi
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vfw/velmvfw.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
const std::string gDir = (std::filesystem::temp_directory_path() / ("vcbench-avi-" + std::to_string(getpid()))).string();
void *gLib = nullptr;
std::map<std::string, long> gGrowthKb;

template <class F> F fn(const char *name) { return reinterpret_cast<F>(vc::plat::libraryProc(gLib, name)); }

bool sh(const std::string &cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

long residentKb() {
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string file(const std::string &name) { return gDir + "/" + name; }

// The test pattern in both codecs, and as raw pictures for the export.
bool makeFiles(int frames) {
    const std::string n = std::to_string(frames);
    const std::string src = "ffmpeg -v error -y -f lavfi -i testsrc=r=12:s=640x480 -frames:v " + n;
    return sh(src + " -c:v rawvideo -pix_fmt bgr24 " + file("raw" + n + ".avi")) &&
           sh(src + " -c:v msvideo1 " + file("msvc" + n + ".avi")) &&
           sh(src + " -f rawvideo -pix_fmt bgr24 " + file("frames" + n + ".raw"));
}

void BM_Import(benchmark::State &state, std::string kind, bool ours) {
    const int frames = int(state.range(0));
    const std::string name = file(kind + std::to_string(frames) + ".avi");
    long growth = 0;
    for (auto _ : state) {
        if (!ours) {
            if (!sh("ffmpeg -v error -i " + name + " -f rawvideo -pix_fmt bgr24 -y /dev/null"))
                return state.SkipWithError("ffmpeg failed");
            continue;
        }
        VfwFile f = fn<OpenAviFileFn>("OpenAviFile")(name.c_str());
        if (!f) return state.SkipWithError("not opened");
        auto frame = fn<GetAviFrameFn>("GetAviFrame");
        const long base = residentKb();
        for (int i = 0; i < frames; ++i) {
            benchmark::DoNotOptimize(frame(f, i));
            if (i % 10 == 9) growth = std::max(growth, residentKb() - base);
        }
        fn<CloseAviFileFn>("CloseAviFile")(f);
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsIterationInvariantRate);
    if (ours) gGrowthKb[kind + " import, " + std::to_string(frames) + " frames"] = growth;
}

void BM_Export(benchmark::State &state, bool ours) {
    const int frames = int(state.range(0));
    const std::string raw = file("frames" + std::to_string(frames) + ".raw"), out = file("out.avi");
    const size_t size = size_t(kWidth) * kHeight * 3;
    std::vector<uint8_t> pictures;
    if (ours) {
        std::ifstream in(raw, std::ios::binary);
        pictures.assign(std::istreambuf_iterator<char>(in), {});
        if (pictures.size() < size * size_t(frames)) return state.SkipWithError("no raw pictures");
    }
    long growth = 0;
    for (auto _ : state) {
        if (!ours) {
            if (!sh("ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -r 12 -i " + raw + " -c:v rawvideo " + out))
                return state.SkipWithError("ffmpeg failed");
            continue;
        }
        uint8_t header[40] = {40};
        header[4] = uint8_t(kWidth), header[5] = uint8_t(kWidth >> 8);
        header[8] = uint8_t(kHeight), header[9] = uint8_t(kHeight >> 8);
        header[12] = 1, header[14] = 24;
        VfwCreateParams params{12, uint32_t(size), 0, 0, 1};
        const long base = residentKb();
        VfwFile f = fn<CreateAviFileFn>("CreateAviFile")(out.c_str(), &params, header);
        if (!f || !fn<InitAviStreamWriteFn>("InitAviStreamWrite")(f, header, 40, 0)) return state.SkipWithError("not created");
        auto write = fn<WriteAviFrameFn>("WriteAviFrame");
        for (int i = 0; i < frames; ++i) {
            VfwFrameRecord rec{i, 1, pictures.data() + size_t(i) * size, uint32_t(size), nullptr};
            if (!write(f, &rec)) return state.SkipWithError("frame not written");
            if (i % 10 == 9) growth = std::max(growth, residentKb() - base);
        }
        fn<CloseAviFileFn>("CloseAviFile")(f);
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsIterationInvariantRate);
    if (ours) gGrowthKb["export, " + std::to_string(frames) + " frames"] = growth;
}

// Our time over ffmpeg's for each pair, after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nour wall time / ffmpeg's (aim: at most 1.2):\n");
        for (const auto &[name, t] : times_) {
            const auto at = name.find("/ours");
            if (at == std::string::npos) continue;
            const std::string peer = name.substr(0, at) + "/ffmpeg" + name.substr(at + 5);
            if (times_.count(peer)) std::printf("  %-34s %.2f\n", (name.substr(0, at) + name.substr(at + 5)).c_str(), t / times_[peer]);
        }
        std::printf("\nour resident memory growth while handling the frames:\n");
        for (const auto &[what, kb] : gGrowthKb) std::printf("  %-34s %ld KiB\n", what.c_str(), kb);
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
    gLib = vc::plat::loadLibraryBeside("VELMVFW32.DLL");
    if (!gLib) return std::fprintf(stderr, "no AVI companion library beside this program\n"), 1;
    std::filesystem::create_directories(gDir);
    if (!makeFiles(30) || !makeFiles(300)) return std::fprintf(stderr, "ffmpeg cannot write the files\n"), 1;
    for (bool ours : {true, false}) {
        const std::string who = ours ? "/ours" : "/ffmpeg";
        for (const char *kind : {"raw", "msvc"})
            benchmark::RegisterBenchmark((std::string("import_") + kind + who).c_str(), BM_Import, kind, ours)
                ->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("export_raw" + who).c_str(), BM_Export, ours)
            ->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(gDir);
    vc::plat::freeLibrary(gLib);
    return 0;
}
