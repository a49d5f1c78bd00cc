// Fuzzes the install.inf reader of the theme command from memory: any text
// is read or refused with a reason, every file it names is a bare name,
// and a scheme it reads, written again, reads back the same.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "host/theme_inf.h"

using vcfuzz::require;
using namespace host::theme;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string why;
    const std::optional<Scheme> s = readInstallInf(std::string_view(reinterpret_cast<const char *>(data), size), why);
    if (!s) {
        require(!why.empty(), "a text refused without a reason");
        return 0;
    }
    require(s->skipped.size() <= 1000, "more notes than the reader keeps");
    for (const std::string &file : s->files)
        require(file.find_first_of("\\/") == std::string::npos && file != "." && file != "..", "a file name with a folder");
    const std::string written = writeInstallInf(*s, "Cursors\\" + windowsSafeName(s->name));
    const std::optional<Scheme> back = readInstallInf(written, why);
    require(back.has_value(), "a written install.inf refused");
    require(back->skipped.empty(), "a written install.inf with rows left out");
    require(back->files == s->files, "files changed when written and read again");
    require(back->name == (s->name.empty() ? "Cursors" : s->name), "the name changed when written and read again");
    require(back->comment == s->comment && back->inherits == s->inherits, "the X theme's values changed");
    require(back->notes.size() == s->notes.size(), "notes changed when written and read again");
    for (const auto &[file, note] : s->notes) {
        const auto it = back->notes.find(file);
        require(it != back->notes.end() && it->second.sizes == note.sizes && it->second.delays == note.delays,
                "a file's sizes or delays changed when written and read again");
    }
    return 0;
}
