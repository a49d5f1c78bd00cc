// AVI against FFmpeg's command-line tool on the same files: import of 300
// frames of 640 x 480 from an uncompressed and from an MS Video 1 file
// (ffmpeg: every frame decoded to raw pictures, thrown away), and export of
// 300 such frames to an uncompressed AVI file (ffmpeg: from a file of raw
// pictures). Ours twice: through the plug-in's exports as the editor calls
// them (LoadConvImage with "AVI Import" answered by selecting every frame,
// each frame handed to the editor's callback, which copies it; SaveConvImage
// with "AVI Export" answered at once, the editor copying each frame into the
// image block), and straight through the companion library (VELMVFW32.so,
// loaded the way the plug-in loads it), which shows what the plug-in adds.
// ffmpeg runs as a process of its own, so all sides are timed on the wall
// clock. After the table: our time over ffmpeg's for each pair, and how far
// our resident memory grew while handling 30 and 300 frames.
//
//   build/bench/bench/bench_avi
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "platform/platform.h"
#include "velmconv/headless.h"
#include "velmconv/velmconv.h"
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


// ---- Through the exports ------------------------------------------------------
//
// The editor's side: frames handed over are copied into one buffer (as an
// editor copies them into its own image), frames asked for are copied from
// the pictures in memory into the image block.
struct BenchEditor {
    std::vector<uint8_t> copy;        // the last frame handed over
    const uint8_t *pictures = nullptr;  // bottom-up rows, one picture after the other
    int frames = 0;
    int received = 0;
};
BenchEditor gEditor;
constexpr size_t kPictureBytes = size_t(kWidth) * kHeight * 3;

intptr_t VC_CALLBACK editorCallback(int32_t command, intptr_t param, intptr_t value) {
    switch (command) {
    case HOST_QUERY:
        if (value == HOST_QUERY_COUNT) return gEditor.frames;
        if (value == HOST_QUERY_SIZE) {
            auto *size = reinterpret_cast<uint16_t *>(param);
            size[0] = kWidth, size[1] = kHeight;
            return 1;
        }
        return 0;
    case HOST_ADD_FRAME: {
        const auto *dib = reinterpret_cast<const uint8_t *>(param);
        uint32_t headerSize;
        std::memcpy(&headerSize, dib, 4);
        gEditor.copy.assign(dib, dib + headerSize + kPictureBytes);
        ++gEditor.received;
        return 1;
    }
    case HOST_GET_FRAME:
        std::memcpy(reinterpret_cast<uint8_t *>(param) + 40, gEditor.pictures + size_t(value) * kPictureBytes,
                    kPictureBytes);
        return 1;
    case HOST_GET_PALETTE:
        *reinterpret_cast<void **>(param) = nullptr;
        return 0;
    default:
        return 0;
    }
}

// "AVI Import": every frame selected with Shift+clicks on the strip, then
// OK; "AVI Export": written at once with the frame rate 12.
intptr_t answer(void *, int32_t templateId, VcDialog *dialog) {
    if (templateId == 103) {
        VcDialogKeys(dialog, 1);
        for (int i = 0; i < gEditor.frames; ++i) VcDialogReelNotify(dialog, 100, 2, i);
        VcDialogKeys(dialog, 0);
    }
    return VC_DIALOG_DEFAULT;
}

void BM_ImportExports(benchmark::State &state, std::string kind) {
    const int frames = int(state.range(0));
    const std::string name = file(kind + std::to_string(frames) + ".avi");
    gEditor.frames = frames;
    long growth = 0;
    for (auto _ : state) {
        gEditor.received = 0;
        const long base = residentKb();
        uint8_t format = CONV_FMT_AVI;
        if (LoadConvImage(nullptr, name.c_str(), nullptr, &format, 0, editorCallback) != CONV_OK ||
            gEditor.received != frames)
            return state.SkipWithError("not imported");
        growth = std::max(growth, residentKb() - base);
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsIterationInvariantRate);
    gGrowthKb[kind + " import through the exports, " + std::to_string(frames) + " frames"] = growth;
}

void BM_ExportExports(benchmark::State &state) {
    const int frames = int(state.range(0));
    const std::string raw = file("frames" + std::to_string(frames) + ".raw"), out = file("out.avi");
    std::ifstream in(raw, std::ios::binary);
    std::vector<uint8_t> pictures(std::istreambuf_iterator<char>(in), {});
    if (pictures.size() < kPictureBytes * size_t(frames)) return state.SkipWithError("no raw pictures");
    gEditor.pictures = pictures.data(), gEditor.frames = frames;
    void *block = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, 40 + kPictureBytes);
    uint8_t header[40] = {40};
    header[4] = uint8_t(kWidth), header[5] = uint8_t(kWidth >> 8);
    header[8] = uint8_t(kHeight), header[9] = uint8_t(kHeight >> 8);
    header[12] = 1, header[14] = 24;
    std::memcpy(VcMemLock(block), header, 40);
    VcMemUnlock(block);
    long growth = 0;
    for (auto _ : state) {
        const long base = residentKb();
        if (SaveConvImage(nullptr, out.c_str(), block, CONV_FMT_AVI, 0, editorCallback) != CONV_OK)
            return state.SkipWithError("not exported"), void(VcMemFree(block));
        growth = std::max(growth, residentKb() - base);
    }
    VcMemFree(block);
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsIterationInvariantRate);
    gGrowthKb["export through the exports, " + std::to_string(frames) + " frames"] = growth;
}

}  // namespace

int main(int argc, char **argv) {
    DllMain(nullptr, 1, nullptr);
    VcUiHost ui{};
    ui.dialog = answer;
    VcSetUiHost(&ui);
    gLib = vc::plat::loadLibraryBeside("VELMVFW32.DLL");
    if (!gLib) return std::fprintf(stderr, "no AVI companion library beside this program\n"), 1;
    std::filesystem::create_directories(gDir);
    if (!makeFiles(30) || !makeFiles(300)) return std::fprintf(stderr, "ffmpeg cannot write the files\n"), 1;
    for (const char *kind : {"raw", "msvc"})
        benchmark::RegisterBenchmark((std::string("import_") + kind + "/exports").c_str(), BM_ImportExports, kind)
            ->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("export_raw/exports", BM_ExportExports)
        ->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
    for (bool ours : {true, false}) {
        const std::string who = ours ? "/companion" : "/ffmpeg";
        for (const char *kind : {"raw", "msvc"})
            benchmark::RegisterBenchmark((std::string("import_") + kind + who).c_str(), BM_Import, kind, ours)
                ->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("export_raw" + who).c_str(), BM_Export, ours)
            ->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    std::vector<vcbench::Pair> pairs;
    for (const char *who : {"exports", "companion"})
        for (const char *work : {"import_raw", "import_msvc", "export_raw"})
            for (const char *n : {"30", "300"})
                pairs.push_back({std::string(work) + " " + n + " through the " + who,
                                 std::string(work) + "/ffmpeg/" + n, std::string(work) + "/" + who + "/" + n});
    const int r = vcbench::runWithRatios(
        argc, argv, "speed-up over ffmpeg (ffmpeg's wall time / ours; the aim, at most 1.2x its time, is 0.83 or more):",
        pairs, vcbench::Clock::wall, [] {
            std::printf("\nour resident memory growth while handling the frames:\n");
            for (const auto &[what, kb] : gGrowthKb) std::printf("  %-52s %ld KiB\n", what.c_str(), kb);
        });
    std::filesystem::remove_all(gDir);
    vc::plat::freeLibrary(gLib);
    VcSetUiHost(nullptr);
    DllMain(nullptr, 0, nullptr);
    return r;
}
