// velmconv convert --to FORMAT FILE...: every file to each format, and a
// summary. The conversions run on N threads of this process (-j N), through
// the library's public C API (host/api_convert.h; on Windows the API of
// velmconv.dll, not the editor's DLL): no dialog is asked, each file is
// read once for all its formats, and a file that crashes the library takes
// the whole batch down with it.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "host/api_convert.h"
#include "host/cli.h"
#include "host/paths.h"

namespace host {

namespace {

// IN's output: its name with the format's extension, in DIR or beside IN.
std::string outputFor(const std::string &in, const Batch::Target &t, const Batch &b) {
    const std::string name = paths::renamed(in, extensionFor(t.format, t.code));
    return b.outDir.empty() ? paths::beside(in, name) : paths::inFolder(b.outDir, name);
}

struct Outcome {
    bool ok = false;
    std::string reason;
};

struct Job {
    std::string in, out;
    const Batch::Target *target;
};


// Up to b.jobs files at once, each on a thread of its own through the
// library's API, read once for all its formats. A conversion's line is
// printed when it ends, whole.
void runAll(const std::vector<Job> &jobs, const Batch &b, std::vector<Outcome> &outcomes) {
    const bool dither = std::find(b.options.begin(), b.options.end(), "--dither") != b.options.end();
    // The jobs of one file follow each other.
    std::vector<size_t> fileStarts;
    for (size_t j = 0; j < jobs.size(); ++j)
        if (j == 0 || jobs[j].in != jobs[j - 1].in) fileStarts.push_back(j);
    fileStarts.push_back(jobs.size());
    std::atomic<size_t> next{0};
    std::mutex printing;
    auto work = [&] {
        for (size_t f; (f = next++) + 1 < fileStarts.size();) {
            const ApiInput input(jobs[fileStarts[f]].in);
            for (size_t j = fileStarts[f]; j < fileStarts[f + 1]; ++j) {
                const Job &job = jobs[j];
                const ApiConversion c = input.convertTo(job.out, job.target->format, job.target->code, dither, b.sizes);
                outcomes[j] = {c.ok, c.reason};
                if (c.ok && !b.quiet) {
                    std::lock_guard<std::mutex> lock(printing);
                    std::fputs(c.said.c_str(), stdout);
                }
            }
        }
    };
    std::vector<std::thread> threads;
    const size_t count = std::min(fileStarts.size() - 1, size_t(std::max(b.jobs, 1)));
    for (size_t t = 1; t < count; ++t) threads.emplace_back(work);
    work();
    for (std::thread &t : threads) t.join();
}

}  // namespace

int runBatch(const Batch &b) {
    // Through the API no dialog is asked: an option that answers one, or
    // that speaks of the editor's exchange with the library, has nothing
    // to act on here.
    static const char *const kTaken[] = {"--dither", "--quiet", "--no-parent", "--every-frame"};
    for (const std::string &name : b.optionNames)
        if (std::none_of(std::begin(kTaken), std::end(kTaken), [&](const char *t) { return name == t; })) {
            std::fprintf(stderr,
                         "velmconv: %s: a batch (--to) converts through the library's API, which asks no questions; "
                         "convert files one at a time (convert IN OUT) to use it\n",
                         name.c_str());
            return kExitUsage;
        }
    // One task a file and format; the summary counts the tasks.
    std::vector<std::string> inputs;
    for (const std::string &file : b.files)
        for (size_t t = 0; t < b.targets.size(); ++t) inputs.push_back(file);
    std::vector<Job> jobs;
    std::vector<Outcome> outcomes(inputs.size());
    std::map<std::string, size_t> outputs;
    std::vector<size_t> jobTask;
    std::vector<std::string> outNames;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const Batch::Target &target = b.targets[i % b.targets.size()];
        const std::string &out = outNames.emplace_back(outputFor(inputs[i], target, b));
        if (out == inputs[i]) {
            outcomes[i].reason = "the output would overwrite the input";
        } else if (auto [at, fresh] = outputs.emplace(out, i); !fresh) {
            outcomes[i].reason = "its output " + out + " is also the output of " + inputs[at->second];
        } else {
            jobs.push_back({inputs[i], out, &target});
            jobTask.push_back(i);
        }
    }
    if (!b.outDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(b.outDir, error);
        if (error) {
            std::fprintf(stderr, "velmconv: --out %s: %s\n", b.outDir.c_str(), error.message().c_str());
            return kExitFailed;
        }
    }
    std::vector<Outcome> jobOutcomes(jobs.size());
    runAll(jobs, b, jobOutcomes);
    for (size_t j = 0; j < jobs.size(); ++j) outcomes[jobTask[j]] = jobOutcomes[j];
    size_t failed = 0;
    for (const Outcome &o : outcomes) failed += o.ok ? 0 : 1;
    std::fflush(stdout);
    const char *unit = b.targets.size() > 1 ? "conversions" : "files";
    if (!b.quiet || failed)
        std::printf("converted %zu, failed %zu (of %zu %s)\n", inputs.size() - failed, failed, inputs.size(), unit);
    for (size_t i = 0; i < outcomes.size(); ++i)
        if (!outcomes[i].ok)
            std::printf("  failed: %s -> %s: %s\n", inputs[i].c_str(), outNames[i].c_str(), outcomes[i].reason.c_str());
    return failed ? kExitFailed : kExitOk;
}

}  // namespace host
