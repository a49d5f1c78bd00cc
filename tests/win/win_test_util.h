// Helpers shared by the Windows test programs: scratch files in the temp
// folder, a plain top-level window to act as the editor's main window,
// window pixels read back through a DIB section, the fixtures that bind the
// library (LibraryTest) or open the program's own dialogs (ViewTest), an
// editor lending its frames as bitmaps, and a "user" who drives modal
// dialogs.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "velmconv/velmconv.h"

namespace wintest {

using vctest::FakeEditor;

// A file in the temp folder, removed when the object goes.
class ScratchFile {
public:
    explicit ScratchFile(const std::string &name, const std::string &content = std::string(), bool create = true) {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        path_ = std::string(dir) + "vcwin-" + std::to_string(GetCurrentProcessId()) + "-" + name;
        DeleteFileA(path_.c_str());
        if (create) std::ofstream(path_, std::ios::binary) << content;
    }
    ~ScratchFile() { DeleteFileA(path_.c_str()); }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;
    const char *path() const { return path_.c_str(); }
    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists() const { return GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::string path_;
};

// A top-level window that records the messages it receives and hands
// each to a test's hook.
struct TestWindow {
    HWND hwnd = nullptr;
    static inline std::vector<MSG> received;
    static inline std::function<void(UINT, WPARAM, LPARAM)> hook;
    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m >= WM_USER || m == WM_COMMAND) received.push_back(MSG{w, m, wp, lp, 0, {}});
        if (hook) hook(m, wp, lp);
        return DefWindowProcA(w, m, wp, lp);
    }
    TestWindow(int x, int y, int width, int height, DWORD style = WS_OVERLAPPEDWINDOW, HWND owner = nullptr) {
        static ATOM atom = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
            wc.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = "VcTestWindow";
            return RegisterClassA(&wc);
        }();
        (void)atom;
        hwnd = CreateWindowExA(0, "VcTestWindow", "Velmora", style, x, y, width, height, owner, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }
    ~TestWindow() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    TestWindow(const TestWindow &) = delete;
    TestWindow &operator=(const TestWindow &) = delete;
};

// Pixels as 0x00RRGGBB, top row first.
struct Capture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// The client area, or the whole window with its frame and caption, copied
// into a 32-bit DIB section.
inline Capture capture(HWND w, bool whole = false) {
    RECT rc{};
    whole ? GetWindowRect(w, &rc) : GetClientRect(w, &rc);
    Capture c{rc.right - rc.left, rc.bottom - rc.top, {}};
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{sizeof bi.bmiHeader, c.width, -c.height, 1, 32, 0, 0, 0, 0, 0, 0};  // top row first
    void *bits = nullptr;
    HDC dc = whole ? GetWindowDC(w) : GetDC(w), memory = CreateCompatibleDC(dc);
    if (HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0)) {
        HGDIOBJ old = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, c.width, c.height, dc, 0, 0, SRCCOPY);
        GdiFlush();
        const auto *p = static_cast<const uint32_t *>(bits);
        for (size_t i = 0; i < size_t(c.width) * size_t(c.height); ++i) c.pixels.push_back(p[i] & 0xFFFFFF);
        SelectObject(memory, old);
        DeleteObject(dib);
    }
    DeleteDC(memory);
    ReleaseDC(w, dc);
    return c;
}

// ---- Driving a modal dialog like a user -----------------------------------------------
// whenOpen arms a timer that runs inside the dialog's modal loop and hands
// the first visible dialog of this thread to the "user".

inline std::function<void(HWND)> pendingUser;

inline BOOL CALLBACK findDialog(HWND w, LPARAM out) {
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") || !IsWindowVisible(w)) return TRUE;
    *reinterpret_cast<HWND *>(out) = w;
    return FALSE;
}

inline void CALLBACK onDialogTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, LPARAM(&dialog));
    if (!dialog) return;  // not up yet: try at the next tick
    KillTimer(nullptr, id);
    if (auto user = std::exchange(pendingUser, nullptr)) user(dialog);
}

inline void whenOpen(std::function<void(HWND)> user) {
    pendingUser = std::move(user);
    SetTimer(nullptr, 0, 30, onDialogTimer);
}

// Forgets a user who never met a dialog and handles every waiting message.
inline void disarm() {
    pendingUser = nullptr;
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// ---- The library under test ---------------------------------------------------------

inline std::string besideProgram(const char *name) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string s(self);
    return s.substr(0, s.find_last_of("\\/") + 1) + name;
}

// VELMCONV_DLL (set by the test registration), else beside this program.
inline std::string libraryPath() {
    if (const char *p = std::getenv("VELMCONV_DLL"); p && *p) return p;
    return besideProgram("VelmConv32.dll");
}

// A file in the folder an environment variable of the test registration
// names (VELMCONV_ARTIFACTS, VELMCONV_AVI_FILES, ...), else in the working folder.
inline std::string inFolder(const char *variable, const std::string &name) {
    const char *dir = std::getenv(variable);
    return std::string(dir && *dir ? dir : ".") + "\\" + name;
}

template <typename T>
T bind(HMODULE m, const char *name) {
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}

inline std::vector<uint8_t> blockBytes(void *block) {
    const auto *p = static_cast<uint8_t *>(GlobalLock(block));
    std::vector<uint8_t> v(p, p + GlobalSize(block));
    GlobalUnlock(block);
    return v;
}
inline HGLOBAL toBlock(const std::vector<uint8_t> &bytes) {
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(g), bytes.data(), bytes.size());
    GlobalUnlock(g);
    return g;
}

// Binds the library afresh for each test, by plain name as the editor does.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA(libraryPath().c_str());
        ASSERT_NE(module_, nullptr) << "cannot load " << libraryPath() << " error " << GetLastError();
        load = bind<LoadConvImageFn>(module_, "LoadConvImage");
        save = bind<SaveConvImageFn>(module_, "SaveConvImage");
    }
    void TearDown() override {
        disarm();
        if (module_) FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
    LoadConvImageFn load = nullptr;
    SaveConvImageFn save = nullptr;
    TestWindow parent{100, 100, 640, 480};
};

// A dialog of the program's own resources (linked with the core), over a
// parent window.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override { vc::plat::setModule(GetModuleHandleA(nullptr)); }
    void TearDown() override { disarm(); }
    TestWindow parent{100, 100, 640, 480};
};

// An editor that lends its frames as bitmaps selected into a memory DC of
// its own (command 15); frame `missing` has no picture to lend.
struct BitmapEditor : FakeEditor {
    HDC dc = CreateCompatibleDC(nullptr);
    std::vector<HBITMAP> bitmaps;
    int missing = -1, frameRequests = 0;
    BitmapEditor() {
        hook = [this](int32_t command, intptr_t param, intptr_t value) -> std::optional<intptr_t> {
            if (command != HOST_GET_FRAME_DC) return std::nullopt;
            ++frameRequests;
            if (value < 0 || size_t(value) >= bitmaps.size() || value == missing) return 0;
            *reinterpret_cast<HBITMAP *>(param) = bitmaps[size_t(value)];
            return reinterpret_cast<intptr_t>(dc);
        };
    }
    ~BitmapEditor() {
        if (palette) DeleteObject(static_cast<HPALETTE>(palette));
        for (HBITMAP b : bitmaps) DeleteObject(b);
        DeleteDC(dc);
    }
};

// The centre of cell i of a film strip, from the strip's own values.
inline POINT cellCentre(HWND strip, int i) {
    const int cw = GetWindowLongA(strip, 4), ch = GetWindowLongA(strip, 8), offset = GetWindowLongA(strip, 12);
    return POINT{12 + i * (cw + 12) - offset + cw / 2, 8 + ch / 2};
}
// Whether a film strip stands at its left end, as every strip opens: no
// scroll offset and, once repainted, the olive gap in its first columns
// with frame 0 from column 12 on.
inline ::testing::AssertionResult atLeftEnd(HWND strip) {
    RedrawWindow(strip, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const Capture c = capture(strip);
    const int y = 8 + GetWindowLongA(strip, 8) / 2, offset = GetWindowLongA(strip, 12);
    constexpr uint32_t olive = 0x808000;
    if (offset == 0 && c.at(0, y) == olive && c.at(4, y) == olive && c.at(13, y) != olive)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "scrolled by " << offset << ", columns 0, 4, 13: " << c.at(0, y)
                                         << " " << c.at(4, y) << " " << c.at(13, y);
}
// A click on cell i of the dialog's strip with a key held (VK_SHIFT, VK_CONTROL or none).
inline void clickCell(HWND dialog, int strip, int i, int key = 0) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    if (key) keys[key] = 0x80;
    SetKeyboardState(keys);
    const POINT p = cellCentre(GetDlgItem(dialog, strip), i);
    SendDlgItemMessageA(dialog, strip, WM_LBUTTONDOWN, 0, MAKELPARAM(p.x, p.y));
    if (key) keys[key] = 0;
    SetKeyboardState(keys);
}
inline void click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
// A list box's line, and a line chosen as a user chooses it.
inline std::string listLine(HWND dialog, int list, int line) {
    char buffer[256] = {};
    SendDlgItemMessageA(dialog, list, LB_GETTEXT, WPARAM(line), LPARAM(buffer));
    return buffer;
}
inline void pickLine(HWND dialog, int list, int line) {
    SendDlgItemMessageA(dialog, list, LB_SETCURSEL, WPARAM(line), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, LBN_SELCHANGE), LPARAM(GetDlgItem(dialog, list)));
}
// A spin button's arrow (SB_LINEUP, SB_ENDSCROLL, ...).
inline void arrow(HWND dialog, int spin, int code) {
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(code, 0), LPARAM(GetDlgItem(dialog, spin)));
}
inline bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
inline std::string text(HWND dialog, int id) {
    char buffer[512] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}
inline std::string title(HWND w) {
    char buffer[256] = {};
    GetWindowTextA(w, buffer, sizeof buffer);
    return buffer;
}

// Keeps a picture of the whole window in VELMCONV_ARTIFACTS (the README uses
// them), as a 32-bit top-down BMP file.
inline void screenshot(HWND w, const char *name) {
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    const Capture c = capture(w, true);
    EXPECT_GT(c.width, 100) << name;
    const DWORD size = DWORD(c.pixels.size() * 4);
    const BITMAPINFOHEADER ih{sizeof ih, c.width, -c.height, 1, 32, 0, size, 0, 0, 0, 0};
    const BITMAPFILEHEADER fh{0x4D42, DWORD(sizeof fh + sizeof ih + size), 0, 0, sizeof fh + sizeof ih};
    std::ofstream out(inFolder("VELMCONV_ARTIFACTS", name), std::ios::binary);
    out.write(reinterpret_cast<const char *>(&fh), sizeof fh).write(reinterpret_cast<const char *>(&ih), sizeof ih);
    EXPECT_TRUE(out.write(reinterpret_cast<const char *>(c.pixels.data()), size).flush()) << name;
}

}  // namespace wintest
