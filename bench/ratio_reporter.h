// The benchmark programs' common main: the usual table, then one line per
// pair of benchmarks with the peer's time divided by ours (above 1: we are
// faster). CPU time by default: it is steadier than wall time on a shared
// machine, and both sides run on one thread. Wall time where the peer is
// a program of its own, whose CPU time this process does not see.
//
// The ratios come out in every reporting mode: from each benchmark's single
// run, or from the mean when repetitions are asked for (with or without
// --benchmark_report_aggregates_only, which reports no single runs at all).
#ifndef VC_BENCH_RATIO_REPORTER_H
#define VC_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vcbench {

struct Pair {
    std::string label;
    std::string peer;  // benchmark names as registered, with their arguments ("BM_Decode/0")
    std::string ours;
};

enum class Clock { cpu, wall };

class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::string heading, std::vector<Pair> pairs, Clock clock = Clock::cpu,
                  std::function<void()> after = {})
        : heading_(std::move(heading)), pairs_(std::move(pairs)), clock_(clock), after_(std::move(after)) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs) {
            if (r.error_occurred) continue;
            // The name as registered, without the run's settings
            // (min_time, repetitions) that the table appends.
            std::string name = r.run_name.function_name;
            if (!r.run_name.args.empty()) name += "/" + r.run_name.args;
            const double t = clock_ == Clock::cpu ? r.GetAdjustedCPUTime() : r.GetAdjustedRealTime();
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "mean") {
                means_[name] = t;
            } else if (r.run_type == Run::RT_Iteration) {
                singles_[name] = t;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%s\n", heading_.c_str());
        for (const Pair &p : pairs_) {
            const double peer = time(p.peer), ours = time(p.ours);
            if (peer > 0 && ours > 0) std::printf("  %-34s %.2fx\n", p.label.c_str(), peer / ours);
            else std::printf("  %-34s (not run)\n", p.label.c_str());
        }
        if (after_) after_();
        std::fflush(stdout);
    }

private:
    double time(const std::string &name) const {
        if (auto m = means_.find(name); m != means_.end()) return m->second;
        if (auto s = singles_.find(name); s != singles_.end()) return s->second;
        return 0;
    }

    std::string heading_;
    std::vector<Pair> pairs_;
    Clock clock_;
    std::function<void()> after_;
    std::map<std::string, double> means_, singles_;
};

// Runs what was registered and prints the ratios; the program's main.
inline int runWithRatios(int argc, char **argv, std::string heading, std::vector<Pair> pairs,
                         Clock clock = Clock::cpu, std::function<void()> after = {}) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(std::move(heading), std::move(pairs), clock, std::move(after));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace vcbench

#endif
