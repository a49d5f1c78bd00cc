// How a host must load the plug-in from a folder of its own. VelmConv32.dll
// binds ijl11.dll at load time, and Windows looks for that where it looks
// for the host's DLLs, not beside the plug-in. This program lives in a folder
// (and works in one) without ijl11.dll and loads the plug-in from the build
// folder, where ijl11.dll lies beside it. Each case leaves nothing loaded.

#include <algorithm>

#include "win_test_util.h"

namespace {

using namespace wintest;

enum class How { Plain, AlteredSearchPath, DllDirectory };

struct LoadCase {
    const char *name;
    How how;
    DWORD error;  // 0: the plug-in loads, with the ijl11.dll beside it
};

std::string folderOf(const std::string &path) { return path.substr(0, path.find_last_of("\\/") + 1); }

class LoadRule : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadRule, FromAnotherFolder) {
    const LoadCase &c = GetParam();
    // The altered search order takes the folder from a path with backslashes.
    std::string plugin = libraryPath();
    std::replace(plugin.begin(), plugin.end(), '/', '\\');
    ASSERT_EQ(std::pair(GetModuleHandleA("ijl11.dll"), GetFileAttributesA(besideProgram("ijl11.dll").c_str())),
              std::pair(HMODULE(nullptr), INVALID_FILE_ATTRIBUTES));
    ASSERT_TRUE(c.how != How::DllDirectory || SetDllDirectoryA(folderOf(plugin).c_str()));
    SetLastError(0);
    HMODULE m = c.how == How::AlteredSearchPath ? LoadLibraryExA(plugin.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                                                : LoadLibraryA(plugin.c_str());
    const DWORD error = GetLastError();
    if (c.error) {
        EXPECT_EQ(std::pair(m, error), std::pair(HMODULE(nullptr), c.error));
        return;
    }
    ASSERT_TRUE(m && GetProcAddress(m, "LoadConvImage")) << "error " << error;
    char bound[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(GetModuleHandleA("ijl11.dll"), bound, MAX_PATH), 0u);
    EXPECT_STRCASEEQ(folderOf(bound).c_str(), folderOf(plugin).c_str());
    FreeLibrary(m);
    SetDllDirectoryA(nullptr);
}

const LoadCase kCases[] = {
    {"PlainLoadLibraryMissesTheStandIn", How::Plain, ERROR_MOD_NOT_FOUND},
    {"AlteredSearchPathFindsItBesideThePlugin", How::AlteredSearchPath, 0},
    {"DllDirectoryOfThePluginFindsIt", How::DllDirectory, 0},
};
INSTANTIATE_TEST_SUITE_P(Host, LoadRule, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
