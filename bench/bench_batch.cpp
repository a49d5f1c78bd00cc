// A batch of 200 small real files (the icons, cursors and GIFs of Debian's
// installer and toolkit sample packages, repeated to 200 names) converted
// to two formats each, two at a time, the two ways velmconv has done it:
// a process per conversion (velmconv convert --format CODE IN OUT, as the
// batch did while the library kept module-wide state) and one process
// whose two threads convert through the public API (velmconv convert -j 2
// --to gif,cur). Both are programs of their own: wall time.
//
//   build/bench/bench/bench_batch [--benchmark_repetitions=3]
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

constexpr size_t kFiles = 200;
const char *const kSources[] = {"/usr/share/nsis/Contrib/Graphics/Icons",
                                "/usr/share/doc/wx3.2-examples/examples/samples"};
// The two targets: an editor code for --format, the name for --to.
struct Target {
    const char *code, *name;
};
constexpr Target kTargets[] = {{"129", "gif"}, {"132", "cur"}};

fs::path gDir;
std::vector<std::string> gFiles;

// The real files, copied under numbered names until there are kFiles.
bool gather() {
    std::vector<fs::path> found;
    std::error_code error;
    for (const char *source : kSources)
        for (auto it = fs::recursive_directory_iterator(source, error); !error && it != fs::end(it); it.increment(error)) {
            const std::string ext = it->path().extension().string();
            if ((ext == ".ico" || ext == ".cur" || ext == ".gif") && it->file_size(error) < 64 * 1024)
                found.push_back(it->path());
        }
    if (found.empty()) return false;
    gDir = fs::temp_directory_path() / ("velmconv-bench-batch-" + std::to_string(getpid()));
    fs::create_directories(gDir / "in");
    for (size_t i = 0; i < kFiles; ++i) {
        const fs::path &from = found[i % found.size()];
        const fs::path to = gDir / "in" / (std::to_string(i) + "_" + from.filename().string());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        gFiles.push_back(to.string());
    }
    return true;
}

pid_t start(std::vector<std::string> args, posix_spawn_file_actions_t *actions) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

struct Quiet {
    posix_spawn_file_actions_t actions;
    Quiet() {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    }
    ~Quiet() { posix_spawn_file_actions_destroy(&actions); }
};

// A process per conversion, two at a time.
void processPerFile(benchmark::State &state) {
    Quiet quiet;
    size_t failed = 0;
    for (auto _ : state) {
        fs::create_directories(gDir / "a");
        size_t running = 0;
        failed = 0;
        auto reap = [&] {
            int status = 0;
            if (wait(&status) > 0) --running, failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        };
        for (const std::string &in : gFiles)
            for (const Target &t : kTargets) {
                if (running == 2) reap();
                const std::string out = (gDir / "a" / fs::path(in).stem()).string() + "." + t.name;
                if (start({VC_BENCH_VELMCONV, "convert", "--no-parent", "--format", t.code, "--", in, out},
                          &quiet.actions) > 0)
                    ++running;
                else
                    ++failed;
            }
        while (running) reap();
    }
    state.counters["failed"] = double(failed);
}

// One process, two threads, through the API.
void threadsInOneProcess(benchmark::State &state) {
    Quiet quiet;
    std::vector<std::string> args{VC_BENCH_VELMCONV, "convert", "-j", "2", "--to", "gif,cur", "--out",
                                  (gDir / "b").string()};
    args.insert(args.end(), gFiles.begin(), gFiles.end());
    int status = 0;
    for (auto _ : state) {
        const pid_t pid = start(args, &quiet.actions);
        if (pid < 0 || waitpid(pid, &status, 0) < 0) return state.SkipWithError("velmconv did not start");
    }
    state.counters["failed"] = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

BENCHMARK(processPerFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(threadsInOneProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!gather()) {
        std::fprintf(stderr, "bench_batch: no icons or GIFs under %s or %s (packages nsis, wx3.2-examples)\n",
                     kSources[0], kSources[1]);
        return 1;
    }
    std::printf("%zu files, %zu conversions a run\n", gFiles.size(), gFiles.size() * std::size(kTargets));
    vcbench::RatioReporter reporter("a process per file / threads in one process (wall time):",
                                    {{"200 files to gif and cur, -j 2", "processPerFile", "threadsInOneProcess"}},
                                    vcbench::Clock::wall);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code error;
    fs::remove_all(gDir, error);
    return 0;
}
