// Listing the bitmaps of a large real program: our scan of Wine's
// shell32.dll (PE32+, about 15 MB, a large resource directory) against
// icoutils' `wrestool -l --type=2` on the same file. wrestool is a program
// of its own, so its time includes starting a process; the start of
// /bin/true is measured beside it as the floor of that.
//
//   build/bench/bench/bench_resource [FILE]
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "bench/ratio_reporter.h"
#include "platform/owners.h"
#include "programs/resource_reader.h"

extern char **environ;

namespace {

std::string gFile = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shell32.dll";

void scan(benchmark::State &state) {
    vc::ResourceBitmapList list;
    for (auto _ : state) {
        vc::plat::File file;
        if (!file.open(gFile.c_str())) return state.SkipWithError("cannot open the file");
        benchmark::DoNotOptimize(vc::ScanProgramFile(file.handle(), false, list));
    }
    state.counters["bitmaps"] = list.count;
}

// Runs a program with its output thrown away and waits for it.
void spawn(benchmark::State &state, std::vector<std::string> args) {
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 || waitpid(pid, &status, 0) < 0 ||
            !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

void wrestool(benchmark::State &state) { spawn(state, {"/usr/bin/wrestool", "-l", "--type=2", gFile}); }
void processStart(benchmark::State &state) { spawn(state, {"/bin/true"}); }

BENCHMARK(scan)->Unit(benchmark::kMicrosecond);
BENCHMARK(wrestool)->Unit(benchmark::kMicrosecond);
BENCHMARK(processStart)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1 && argv[1][0] != '-') gFile = argv[1];
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    vcbench::RatioReporter reporter("wrestool's time / our scan's:", {{"list bitmaps", "wrestool", "scan"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
