// velmconv theme, both ways, on a scheme of fifteen animated cursors: the
// animated cursors of Debian's toolkit sample packages (wxWidgets'
// hourglass and horse, gdk-pixbuf's test animation), one per role in
// turn, with an install.inf naming them. One run reads every file through
// the C API and writes the theme's X cursor files, links and index.theme;
// the reverse makes that theme a scheme of ANI files and an install.inf
// again. A third runs Debian's DMZ-White theme (three sizes, two animated
// cursors of 31 frames) to a scheme, when it is installed.
//
//   build/bench/bench/bench_theme [--benchmark_repetitions=3]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/theme.h"
#include "host/theme_inf.h"

namespace fs = std::filesystem;
using namespace host::theme;

namespace {

const char *const kAnimations[] = {
    "/usr/share/doc/wx3.2-examples/examples/samples/animate/hourglass.ani",
    "/usr/share/doc/wx3.2-examples/examples/samples/image/horse3.ani",
    "/usr/libexec/installed-tests/gdk-pixbuf/test-animation.ani",
};

fs::path gDir;

// The scheme: role i takes the animations in turn.
bool makeScheme(const fs::path &dir) {
    fs::create_directories(dir);
    Scheme scheme;
    scheme.name = "Fifteen animated";
    size_t next = 0;
    for (size_t i = 0; i < kExpectedRoles; ++i) {
        const char *source = nullptr;
        for (size_t tries = 0; tries < std::size(kAnimations) && !source; ++tries, ++next)
            if (fs::exists(kAnimations[next % std::size(kAnimations)])) source = kAnimations[next % std::size(kAnimations)];
        if (!source) return false;
        scheme.files[i] = std::string(roles()[i].file) + ".ani";
        fs::copy_file(source, dir / scheme.files[i], fs::copy_options::overwrite_existing);
    }
    std::ofstream(dir / "install.inf", std::ios::binary) << writeInstallInf(scheme, "Cursors\\Fifteen animated");
    return true;
}

// The names a run left in the folder (files, and links to them).
void countNames(benchmark::State &state, const fs::path &dir) {
    size_t names = 0;
    for (const auto &entry : fs::directory_iterator(dir)) names += entry.is_regular_file() ? 1 : 0;
    state.counters["names"] = double(names);
}

void BM_SchemeToTheme(benchmark::State &state) {
    const fs::path scheme = gDir / "scheme", theme = gDir / "theme";
    if (!fs::exists(scheme) && !makeScheme(scheme)) return state.SkipWithError("needs wx3.2-examples or gdk-pixbuf-tests");
    Options options;
    options.quiet = true;
    for (auto _ : state)
        if (run(scheme.string(), theme.string(), options) != 0) return state.SkipWithError("the theme was not written whole");
    countNames(state, theme / "cursors");
    state.counters["roles"] = double(kExpectedRoles);
}
BENCHMARK(BM_SchemeToTheme)->Unit(benchmark::kMillisecond);

void BM_ThemeToScheme(benchmark::State &state) {
    const fs::path scheme = gDir / "scheme", theme = gDir / "theme", back = gDir / "back";
    Options options;
    options.quiet = true;
    if (!fs::exists(theme / "index.theme") &&
        ((!fs::exists(scheme) && !makeScheme(scheme)) || run(scheme.string(), theme.string(), options) != 0))
        return state.SkipWithError("needs wx3.2-examples or gdk-pixbuf-tests");
    options.toWindows = true;
    for (auto _ : state)
        if (run(theme.string(), back.string(), options) != 0) return state.SkipWithError("the scheme was not written whole");
    countNames(state, back);
    state.counters["roles"] = double(kExpectedRoles);
}
BENCHMARK(BM_ThemeToScheme)->Unit(benchmark::kMillisecond);

void BM_DebianThemeToScheme(benchmark::State &state) {
    const fs::path theme = "/usr/share/icons/DMZ-White";
    if (!fs::exists(theme / "cursors")) return state.SkipWithError("needs dmz-cursor-theme");
    Options options;
    options.quiet = options.toWindows = true;
    for (auto _ : state)
        if (run(theme.string(), (gDir / "dmz").string(), options) != 0) return state.SkipWithError("not written whole");
    countNames(state, gDir / "dmz");
}
BENCHMARK(BM_DebianThemeToScheme)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    gDir = fs::temp_directory_path() / ("vcbench-theme-" + std::to_string(getpid()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(gDir);
    return 0;
}
