// A plain main for the fuzz harnesses: runs every file named on the command
// line (folders: every file inside, sorted) through the harness once, as
// libFuzzer would replay a corpus. The coverage build links the harnesses
// with it, so that gcc's coverage counts what the corpora reach beside what
// the tests reach.
//   HARNESS FILE_OR_FOLDER ...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto &entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else {
            inputs.push_back(arg);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto &path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // libFuzzer hands over a copy of its own; an empty input still gets a
        // pointer that may be read zero bytes from.
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        static const uint8_t kEmpty = 0;
        LLVMFuzzerTestOneInput(data.empty() ? &kEmpty : data.data(), data.size());
    }
    std::printf("%s: %zu inputs replayed\n", argv[0], inputs.size());
    return 0;
}
