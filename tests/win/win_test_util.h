// Helpers shared by the Windows test programs: scratch files in the temp
// folder, a plain top-level window to act as the editor's main window, and
// reading window pixels back through a DIB section.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace wintest {

// A file in the temp folder, removed when the object goes.
class ScratchFile {
public:
    explicit ScratchFile(const std::string &name, const std::string &content = std::string(), bool create = true) {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        path_ = std::string(dir) + "vcwin-" + std::to_string(GetCurrentProcessId()) + "-" + name;
        DeleteFileA(path_.c_str());
        if (create) {
            HANDLE h = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            if (!content.empty()) WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
            CloseHandle(h);
        }
    }
    ~ScratchFile() { DeleteFileA(path_.c_str()); }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;
    const char *path() const { return path_.c_str(); }
    std::string read() const {
        std::string out;
        HANDLE h = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return out;
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n) out.append(buffer, n);
        CloseHandle(h);
        return out;
    }
    bool exists() const { return GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::string path_;
};

// A top-level window that records the messages it receives.
struct TestWindow {
    HWND hwnd = nullptr;
    static std::vector<MSG> &received() {
        static std::vector<MSG> messages;
        return messages;
    }
    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m >= WM_USER || m == WM_COMMAND) received().push_back(MSG{w, m, wp, lp, 0, {}});
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
    bool operator==(const Capture &o) const { return width == o.width && height == o.height && pixels == o.pixels; }
};

constexpr uint32_t kRgbBlue = 0x0000FF;
constexpr uint32_t kRgbWhite = 0xFFFFFF;
constexpr uint32_t kRgbGrey = 0x808080;

// Copies width x height pixels of a device context into a 32-bit DIB.
inline Capture captureDc(HDC source, int width, int height) {
    Capture c;
    c.width = width;
    c.height = height;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) {
        DeleteDC(memory);
        return c;
    }
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const auto *p = static_cast<const uint32_t *>(bits);
    c.pixels.assign(p, p + size_t(width) * size_t(height));
    for (auto &px : c.pixels) px &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    return c;
}

inline Capture captureClient(HWND w) {
    RECT rc{};
    GetClientRect(w, &rc);
    HDC dc = GetDC(w);
    Capture c = captureDc(dc, rc.right, rc.bottom);
    ReleaseDC(w, dc);
    return c;
}

// The whole window, frame and caption included.
inline Capture captureWindow(HWND w) {
    RECT rc{};
    GetWindowRect(w, &rc);
    HDC dc = GetWindowDC(w);
    Capture c = captureDc(dc, rc.right - rc.left, rc.bottom - rc.top);
    ReleaseDC(w, dc);
    return c;
}

// Writes a capture as a 24-bit bottom-up BMP file.
inline bool saveBmp(const Capture &c, const std::string &path) {
    const int rowBytes = (c.width * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = c.width;
    ih.biHeight = c.height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = DWORD(rowBytes * c.height);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(&fh, sizeof fh, 1, f);
    std::fwrite(&ih, sizeof ih, 1, f);
    std::vector<uint8_t> row(size_t(rowBytes), 0);
    for (int y = c.height - 1; y >= 0; --y) {
        for (int x = 0; x < c.width; ++x) {
            uint32_t px = c.at(x, y);
            row[size_t(x) * 3 + 0] = uint8_t(px);
            row[size_t(x) * 3 + 1] = uint8_t(px >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(px >> 16);
        }
        std::fwrite(row.data(), row.size(), 1, f);
    }
    return std::fclose(f) == 0;
}

// Handles every waiting message of the thread.
inline void drainMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace wintest
