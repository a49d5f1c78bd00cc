// velmconv convert --to FORMAT FILE...: each file converted by a worker
// process running velmconv convert IN OUT, up to N at once. The library
// keeps module-wide state by design, so files never share a process; a
// file that brings a worker down fails alone. A worker's lines (result and
// messages) are passed on when it ends, all together, and the last one is
// the reason the summary gives for a failure.
//
// On Windows the workers' messages go straight to the console, as they
// run; the summary then names each failure by the worker's exit code.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "host/cli.h"
#include "host/paths.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

namespace host {

namespace {

// IN's output: its name with the format's extension, in DIR or beside IN.
std::string outputFor(const std::string &in, const Batch::Target &t, const Batch &b) {
    const std::string name = paths::renamed(in, extensionFor(t.format, t.code));
    return b.outDir.empty() ? paths::beside(in, name) : paths::inFolder(b.outDir, name);
}

std::vector<std::string> workerArgs(const std::string &in, const std::string &out, int code, const Batch &b) {
    std::vector<std::string> args{"velmconv", "convert"};
    args.insert(args.end(), b.options.begin(), b.options.end());
    if (code >= 0) args.insert(args.end(), {"--format", std::to_string(code)});
    if (code < 0) args.push_back("--every-frame");
    args.insert(args.end(), {"--", in, out});
    return args;
}

struct Outcome {
    bool ok = false;
    std::string reason;
};

#if defined(_WIN32)

std::string quoted(const std::string &arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

// Up to `parallel` workers at once (at most the 64 handles one wait
// takes). Their messages go straight to the console; a failure is told by
// the worker's exit code.
void runAll(const std::vector<std::vector<std::string>> &jobs, int parallel, std::vector<Outcome> &outcomes) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const size_t most = size_t(std::clamp(parallel, 1, int(MAXIMUM_WAIT_OBJECTS)));
    std::vector<HANDLE> running;
    std::vector<size_t> jobOf;
    auto finish = [&](size_t slot) {
        DWORD code = 1;
        GetExitCodeProcess(running[slot], &code);
        CloseHandle(running[slot]);
        Outcome &o = outcomes[jobOf[slot]];
        o.ok = code == 0;
        if (code) o.reason = "exit code " + std::to_string(code) + " (its messages are above)";
        running.erase(running.begin() + std::ptrdiff_t(slot));
        jobOf.erase(jobOf.begin() + std::ptrdiff_t(slot));
    };
    for (size_t next = 0; next < jobs.size() || !running.empty();) {
        if (next < jobs.size() && running.size() < most) {
            std::string line;
            for (const std::string &a : jobs[next]) {
                if (!line.empty()) line += ' ';
                line += quoted(a);
            }
            STARTUPINFOA si{};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi{};
            if (CreateProcessA(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
                CloseHandle(pi.hThread);
                running.push_back(pi.hProcess);
                jobOf.push_back(next);
            } else {
                outcomes[next].reason = "cannot start a worker process";
            }
            ++next;
            continue;
        }
        const DWORD r = WaitForMultipleObjects(DWORD(running.size()), running.data(), FALSE, INFINITE);
        if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + running.size()) finish(r - WAIT_OBJECT_0);
        else finish(0);  // a failed wait: take the first one rather than spin
    }
}

#else

// The last line of a worker's messages, without the program's name.
std::string lastLine(const std::string &text) {
    size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos) return {};
    size_t start = text.find_last_of('\n', end);
    std::string line = text.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start == std::string::npos ? 0 : start + 1));
    if (line.rfind("velmconv: ", 0) == 0) line.erase(0, 10);
    return line;
}

struct Worker {
    pid_t pid = -1;
    int fd = -1;
    size_t job = 0;
    std::string messages;
};

bool start(const std::vector<std::string> &args, Worker &w) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const int r = posix_spawn(&w.pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (r != 0) {
        close(pipeFds[0]);
        return false;
    }
    w.fd = pipeFds[0];
    return true;
}

// Reads what the workers write until each closes its end, then reaps it.
void runAll(const std::vector<std::vector<std::string>> &jobs, int parallel, std::vector<Outcome> &outcomes) {
    std::vector<Worker> running;
    size_t next = 0;
    std::fflush(stdout);
    while (next < jobs.size() || !running.empty()) {
        while (next < jobs.size() && int(running.size()) < parallel) {
            Worker w;
            w.job = next++;
            if (start(jobs[w.job], w)) running.push_back(std::move(w));
            else outcomes[w.job].reason = "cannot start a worker process";
        }
        if (running.empty()) continue;
        std::vector<pollfd> fds;
        for (const Worker &w : running) fds.push_back(pollfd{w.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        for (size_t i = running.size(); i-- > 0;) {
            if (!fds[i].revents) continue;
            Worker &w = running[i];
            char buffer[4096];
            const ssize_t n = read(w.fd, buffer, sizeof buffer);
            if (n > 0) {
                w.messages.append(buffer, size_t(n));
                continue;
            }
            close(w.fd);
            int status = 0;
            while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
            }
            Outcome &o = outcomes[w.job];
            o.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            std::fputs(w.messages.c_str(), o.ok ? stdout : stderr);
            if (WIFSIGNALED(status))
                o.reason = "the worker ended by signal " + std::to_string(WTERMSIG(status));
            else if (!o.ok)
                o.reason = w.messages.empty() ? "exit code " + std::to_string(WEXITSTATUS(status)) : lastLine(w.messages);
            running.erase(running.begin() + long(i));
        }
    }
}

#endif

}  // namespace

int runBatch(const Batch &b) {
    // One task a file and format; the summary counts the tasks.
    std::vector<std::string> inputs;
    for (const std::string &file : b.files)
        for (size_t t = 0; t < b.targets.size(); ++t) inputs.push_back(file);
    std::vector<std::vector<std::string>> jobs;
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
            jobs.push_back(workerArgs(inputs[i], out, target.code, b));
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
    runAll(jobs, b.jobs < 1 ? 1 : b.jobs, jobOutcomes);
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
