// A stand-in for the web browser the browser preview starts: it notes its
// command line and the window size it was asked for, copies the file it was
// given beside itself, and then waits for input for a moment, so that the
// preview's wait for an idle browser returns once the copy is made.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    const std::string line = GetCommandLineA();
    const std::string file = line.substr(line.rfind(' ') + 1);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.resize(dir.find_last_of("\\/") + 1);
    CopyFileA(file.c_str(), (dir + "fake_browser_copy.gif").c_str(), FALSE);
    if (FILE *f = std::fopen((dir + "fake_browser.log").c_str(), "w")) {
        std::fprintf(f, "%s\n%lu %lu %lu\n", line.c_str(), si.dwFlags & STARTF_USESIZE, si.dwXSize, si.dwYSize);
        std::fclose(f);
    }
    SetTimer(nullptr, 1, 200, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0))
        if (msg.message == WM_TIMER) break;
    return 0;
}
