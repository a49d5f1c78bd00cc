#include "host/paths.h"

#include <algorithm>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace host::paths {

namespace fs = std::filesystem;

#if defined(_WIN32)
// The host's names are in the ANSI code page, as the command line gives
// them and the library's entry points take them; paths hold UTF-16.
fs::path path(const std::string &name) {
    const int n = MultiByteToWideChar(CP_ACP, 0, name.data(), int(name.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, name.data(), int(name.size()), wide.data(), n);
    return wide;
}

namespace {
std::string text(const fs::path &p) {
    const std::wstring &wide = p.native();
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string name(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), name.data(), n, nullptr, nullptr);
    return name;
}
}  // namespace
#else
fs::path path(const std::string &name) { return name; }

namespace {
std::string text(const fs::path &p) { return p.native(); }
}  // namespace
#endif

std::string extension(const std::string &name) {
    std::string ext = text(path(name).extension());
    if (!ext.empty()) ext.erase(0, 1);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

bool hasExtension(const std::string &name, const std::string &ext) { return extension(name) == ext; }

std::string beforeExtension(const std::string &name, const std::string &suffix) {
    fs::path p = path(name);
    const fs::path ext = p.extension();
    p.replace_extension();
    p += path(suffix);
    p += ext;
    return text(p);
}

std::string inFolder(const std::string &folder, const std::string &name) {
    if (folder.empty()) return name;
    fs::path p = path(folder);
    if (p.has_filename()) p += "/";
    p += path(name);
    return text(p);
}

std::string renamed(const std::string &name, const std::string &ext) {
    return text(path(name).filename().replace_extension(path(ext)));
}

std::string beside(const std::string &name, const std::string &other) {
    return text(path(name).replace_filename(path(other)));
}

std::string frameNumber(size_t i, size_t count) {
    const size_t digits = std::max<size_t>(3, std::to_string(count > 0 ? count - 1 : 0).size());
    const std::string number = std::to_string(i);
    std::string out(1 + digits - std::min(digits, number.size()), '0');
    out.front() = '_';
    return out.append(number);
}

}  // namespace host::paths
