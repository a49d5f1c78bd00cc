// Windows side of the platform layer: the global heap, the 16-bit-heritage
// file calls, the module's own resources, and real windows and dialogs. The
// calls are the system's own; this file only adds the test switches that
// the Linux side has too (allocation failure, short writes, counters).
#include "platform/platform_win.h"

#include <commdlg.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/platform.h"
#include "platform/switches.h"

namespace vc::plat {

namespace {
HINSTANCE instance(ModuleHandle m) { return static_cast<HINSTANCE>(m); }
HWND hwnd(Wnd w) { return static_cast<HWND>(w); }
}  // namespace

// ---- Memory blocks -------------------------------------------------------------------
namespace {
using detail::allocationRefused;
using detail::maxBlock;
// The blocks this layer allocated and has not freed. A set rather than a
// bare counter, because the library also frees blocks the editor made
// (icon images it asked for), which must not count against its own.
std::unordered_set<HGLOBAL> gLive;
}  // namespace

long memLiveBlocks() { return long(gLive.size()); }

MemHandle memAlloc(uint32_t flags, size_t size) {
    if (allocationRefused() || size > maxBlock()) return nullptr;
    HGLOBAL h = GlobalAlloc(flags, size);
    if (h) gLive.insert(h);
    return h;
}

MemHandle memReAlloc(MemHandle h, size_t size, uint32_t flags) {
    if (!h || allocationRefused() || size > maxBlock()) return nullptr;
    // GMEM_MOVEABLE lets a locked or fixed block move instead of failing.
    HGLOBAL n = GlobalReAlloc(static_cast<HGLOBAL>(h), size, flags | GMEM_MOVEABLE);
    if (n && n != h && gLive.erase(static_cast<HGLOBAL>(h))) gLive.insert(n);
    return n;
}

void *memLock(MemHandle h) { return h ? GlobalLock(static_cast<HGLOBAL>(h)) : nullptr; }
bool memUnlock(MemHandle h) { return h && GlobalUnlock(static_cast<HGLOBAL>(h)); }
size_t memSize(MemHandle h) { return h ? GlobalSize(static_cast<HGLOBAL>(h)) : 0; }

MemHandle memFree(MemHandle h) {
    if (!h) return h;
    if (GlobalFree(static_cast<HGLOBAL>(h))) return h;
    gLive.erase(static_cast<HGLOBAL>(h));
    return nullptr;
}

// ---- Files ---------------------------------------------------------------------------
namespace {
long gOpenFiles = 0;
}  // namespace

long fileOpenCount() { return gOpenFiles; }

HFile fileOpen(const char *name, int mode) {
    if (!name || !*name) return kFileError;
    HFILE f = _lopen(name, mode);
    if (f == HFILE_ERROR) return kFileError;
    ++gOpenFiles;
    return f;
}

HFile fileCreate(const char *name, int attributes) {
    if (!name || !*name) return kFileError;
    HFILE f = _lcreat(name, attributes);
    if (f == HFILE_ERROR) return kFileError;
    ++gOpenFiles;
    return f;
}

int32_t fileRead(HFile f, void *buffer, uint32_t count) {
    if (f < 0) return -1;
    // On Win32 _lread takes a full 32-bit count: it is the huge read too.
    return int32_t(_lread(f, buffer, count));
}

int32_t fileWrite(HFile f, const void *buffer, uint32_t count) {
    if (f < 0) return -1;
    uint32_t allowed = detail::writeAllowance(count);
    // A zero-length _lwrite truncates the file at the current position;
    // writing nothing must leave the file as it is, as it does on Linux.
    if (allowed == 0) return 0;
    return int32_t(_lwrite(f, static_cast<const char *>(buffer), allowed));
}

int32_t fileSeek(HFile f, int32_t offset, int origin) {
    if (f < 0) return -1;
    return _llseek(f, offset, origin);
}

HFile fileClose(HFile f) {
    if (f < 0) return kFileError;
    if (_lclose(f) == HFILE_ERROR) return kFileError;
    --gOpenFiles;
    return detail::closeRefused() ? kFileError : 0;
}

bool fileDelete(const char *name) {
    if (!name || !*name) return false;
    std::string oem(std::strlen(name) + 1, '\0');
    CharToOemA(name, oem.data());
    return DeleteFileA(oem.c_str()) != 0;
}

// ---- Module, strings, libraries -------------------------------------------------------
namespace {
ModuleHandle gModule = nullptr;
}

void setModule(ModuleHandle m) { gModule = m; }
ModuleHandle module() { return gModule; }

int loadString(unsigned id, char *buffer, int max) {
    if (!buffer || max <= 0) return 0;
    buffer[0] = 0;
    return LoadStringA(instance(gModule), id, buffer, max);
}

int moduleFileName(char *buffer, int size) {
    if (!buffer || size <= 0) return 0;
    HMODULE self = static_cast<HMODULE>(gModule);
    if (!self) {
        // Before attach (or in a program that links the core statically
        // and never set it) the module is the one this code lives in.
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&moduleFileName), &self);
    }
    DWORD n = GetModuleFileNameA(self, buffer, DWORD(size));
    if (n == 0 || n >= DWORD(size)) {
        buffer[0] = 0;
        return 0;
    }
    return int(n);
}

void *loadLibraryBeside(const char *name) {
    char path[MAX_PATH * 2];
    if (!name || !*name || !moduleFileName(path, sizeof path)) return nullptr;
    char *slash = std::strrchr(path, '\\');
    if (char *forward = std::strrchr(path, '/'); forward && (!slash || forward > slash)) slash = forward;
    size_t dirLength = slash ? size_t(slash - path) + 1 : 0;
    size_t nameLength = std::strlen(name);
    if (dirLength + nameLength + 1 > sizeof path) return nullptr;
    std::memcpy(path + dirLength, name, nameLength + 1);
    // No critical-error box for a library that is not there: the caller
    // says so in its own words.
    const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(path);
    SetErrorMode(previous);
    return library;
}

void *libraryProc(void *library, const char *name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void *library) {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}

// ---- Windows ---------------------------------------------------------------------------
bool windowRect(Wnd w, Rect &r) {
    RECT rc;
    if (!GetWindowRect(hwnd(w), &rc)) return false;
    r = Rect{rc.left, rc.top, rc.right, rc.bottom};
    return true;
}

// For a dialog this is its owner, the window it was created for.
Wnd parentOf(Wnd w) { return GetParent(hwnd(w)); }

void screenSize(int32_t &width, int32_t &height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

bool moveWindow(Wnd w, int32_t x, int32_t y) {
    return SetWindowPos(hwnd(w), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER) != 0;
}

bool enableWindow(Wnd w, bool enable) { return EnableWindow(hwnd(w), enable) != 0; }
bool isWindowEnabled(Wnd w) { return IsWindowEnabled(hwnd(w)) != 0; }
bool destroyWindow(Wnd w) { return DestroyWindow(hwnd(w)) != 0; }

bool getItemText(Wnd dialog, int id, char *buffer, int size) {
    if (!buffer || size <= 0) return false;
    buffer[0] = 0;
    if (!GetDlgItem(hwnd(dialog), id)) return false;
    GetDlgItemTextA(hwnd(dialog), id, buffer, size);
    return true;
}

bool setItemText(Wnd dialog, int id, const char *text) {
    return SetDlgItemTextA(hwnd(dialog), id, text ? text : "") != 0;
}

// ---- User interface seam ---------------------------------------------------------------
int messageBox(Wnd owner, const char *text, const char *title, uint32_t style) {
    return MessageBoxA(hwnd(owner), text, title, style);
}

void beep(uint32_t type) { MessageBeep(type); }

bool chooseColor(Wnd owner, uint32_t &color, uint32_t custom[16]) {
    static_assert(sizeof(COLORREF) == sizeof(uint32_t));
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = hwnd(owner);
    cc.hInstance = reinterpret_cast<HWND>(gModule);
    cc.rgbResult = color;
    cc.lpCustColors = reinterpret_cast<COLORREF *>(custom);
    cc.Flags = CC_RGBINIT;
    if (!ChooseColorA(&cc)) return false;
    color = cc.rgbResult;
    return true;
}

uint32_t paletteEntries(void *palette, PaletteColor *out, uint32_t max) {
    static_assert(sizeof(PALETTEENTRY) == sizeof(PaletteColor) && offsetof(PALETTEENTRY, peBlue) == 2);
    if (!palette || !out || max == 0) return 0;
    HPALETTE p = static_cast<HPALETTE>(palette);
    // The palette's own count caps the copy.
    const UINT n = std::min<UINT>(GetPaletteEntries(p, 0, 0, nullptr), max);
    return n ? GetPaletteEntries(p, 0, n, reinterpret_cast<PALETTEENTRY *>(out)) : 0;
}

bool help(Wnd w, const char *file, uint32_t command, uintptr_t data) {
    return WinHelpA(hwnd(w), file, command, data) != 0;
}

void pumpMessages(Wnd dialog) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The quit request belongs to the editor's own loop: put it
            // back and let the codec return to it.
            PostQuitMessage(int(msg.wParam));
            return;
        }
        if (dialog && IsDialogMessageA(hwnd(dialog), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool tempDirectory(char *buffer, int size) {
    if (!buffer || size <= 1) return false;
    const DWORD n = GetTempPathA(DWORD(size), buffer);
    if (n == 0 || n >= DWORD(size)) return false;
    if (buffer[n - 1] != '\\') {
        if (n + 2 > DWORD(size)) return false;
        buffer[n] = '\\';
        buffer[n + 1] = 0;
    }
    return true;
}

uint32_t tickCount() { return GetTickCount(); }

BrowserCommand browserCommand() {
    // A value longer than the buffer is no command at all.
    for (const char *key : {"htmlfile\\shell\\open\\command", "http\\shell\\open\\command"}) {
        char buffer[260] = {};
        LONG size = sizeof buffer;
        if (RegQueryValueA(HKEY_CLASSES_ROOT, key, buffer, &size) == ERROR_SUCCESS)
            return BrowserCommand{buffer, true};
    }
    return BrowserCommand{};
}

bool startBrowser(const char *commandLine, int32_t width, int32_t height) {
    if (!commandLine) return false;
    // CreateProcessA may write into the command line it is given.
    std::string line(commandLine);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESIZE;
    si.dwXSize = DWORD(width);
    si.dwYSize = DWORD(height);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    Sleep(500);
    WaitForInputIdle(pi.hProcess, 10000);
    Sleep(500);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return true;
}

Wnd progressWindowCreate(Wnd parent, ModuleHandle module, int templateId) {
    DLGPROC view = win::dialogView(templateId);
    if (!view) return nullptr;
    return CreateDialogParamA(instance(module), MAKEINTRESOURCEA(templateId), hwnd(parent), view, 0);
}

void progressWindowUpdate(Wnd w, int32_t percent) {
    ShowWindow(hwnd(w), SW_SHOWNORMAL);
    UpdateWindow(hwnd(w));
    SendMessageA(hwnd(w), WM_USER, WPARAM(percent), 0);
}

intptr_t runDialog(Wnd parent, int templateId, DialogModel &model) {
    DLGPROC view = win::dialogView(templateId);
    if (!view) return -1;
    return DialogBoxParamA(instance(gModule), MAKEINTRESOURCEA(templateId), hwnd(parent), view,
                           reinterpret_cast<LPARAM>(&model));
}

}  // namespace vc::plat

namespace vc::win {

namespace {
// Registrations link themselves in while the program's statics are set up;
// the head is constant-initialised, so it is there before any of them.
constinit const DialogViewRegistration *gViews = nullptr;
}  // namespace

DialogViewRegistration::DialogViewRegistration(int templateId, DLGPROC proc)
    : templateId_(templateId), proc_(proc), next_(gViews) {
    gViews = this;
}

DLGPROC dialogView(int templateId) {
    for (const DialogViewRegistration *v = gViews; v; v = v->next_)
        if (v->templateId_ == templateId) return v->proc_;
    return nullptr;
}

}  // namespace vc::win
