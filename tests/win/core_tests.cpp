// Tests of the Windows platform layer and the progress window, linked
// statically with the core so the internals can be called directly. The
// program carries the library's resources itself, so its own module plays
// the library's.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/services.h"
#include "common/wrappers_win.h"
#include "platform/platform.h"
#include "platform/platform_win.h"
#include "resources/strings.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using wintest::Capture;
using wintest::kRgbBlue;
using wintest::kRgbGrey;
using wintest::kRgbWhite;
using wintest::ScratchFile;
using wintest::TestWindow;

class Core : public ::testing::Test {
protected:
    void SetUp() override {
        plat::setModule(GetModuleHandleA(nullptr));
        blocks_ = plat::memLiveBlocks();
        files_ = plat::fileOpenCount();
    }
    void TearDown() override {
        if (progressState().exists) {
            ADD_FAILURE() << "progress window left open";
            DestroyProgressDialog(progressState().window);
        }
        plat::memFailAt(0);
        plat::fileFailWritesAfter(-1);
        EXPECT_EQ(plat::memLiveBlocks(), blocks_) << "memory blocks leaked";
        EXPECT_EQ(plat::fileOpenCount(), files_) << "files left open";
        wintest::drainMessages();
    }
    long blocks_ = 0, files_ = 0;
};

// ---- Memory blocks ----------------------------------------------------------------------

TEST_F(Core, MemoryBlocksAreGlobalHeapBlocksWithAFailureSwitch) {
    MemHandle a = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, 100);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GlobalSize(static_cast<HGLOBAL>(a)), 100u) << "a real global block";
    EXPECT_EQ(plat::memLiveBlocks(), blocks_ + 1);

    plat::memFailAt(2);
    MemHandle b = plat::memAlloc(plat::kMemMoveable, 10);
    MemHandle c = plat::memAlloc(plat::kMemMoveable, 10);
    MemHandle d = plat::memAlloc(plat::kMemMoveable, 10);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr) << "the second allocation from the switch fails";
    EXPECT_NE(d, nullptr) << "only that one";
    EXPECT_EQ(plat::memLiveBlocks(), blocks_ + 3);

    EXPECT_EQ(plat::memFree(b), nullptr);
    EXPECT_EQ(plat::memFree(d), nullptr);
    EXPECT_EQ(plat::memLiveBlocks(), blocks_ + 1);

    // Blocks the editor made can be freed without upsetting the count.
    HGLOBAL foreign = GlobalAlloc(GMEM_MOVEABLE, 8);
    EXPECT_EQ(plat::memFree(foreign), nullptr);
    EXPECT_EQ(plat::memLiveBlocks(), blocks_ + 1);
    EXPECT_EQ(plat::memFree(a), nullptr);

    // An absurd size is refused before it reaches the heap.
    EXPECT_EQ(plat::memAlloc(plat::kMemMoveable, size_t(0x7FFF0001)), nullptr);
}

TEST_F(Core, MemoryLockCountsAndReallocationKeepContents) {
    MemHandle h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, 16);
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<uint8_t *>(plat::memLock(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0) << "zero-filled";
    std::memset(p, 0x5A, 16);
    ASSERT_NE(plat::memLock(h), nullptr);
    EXPECT_TRUE(plat::memUnlock(h)) << "still locked once";
    EXPECT_FALSE(plat::memUnlock(h)) << "now unlocked";

    MemHandle g = plat::memReAlloc(h, 4096, plat::kMemMoveable | plat::kMemZeroInit);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(plat::memSize(g), 4096u);
    p = static_cast<uint8_t *>(plat::memLock(g));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0x5A);
    for (int i = 16; i < 4096; ++i) ASSERT_EQ(p[i], 0) << "growth zero-filled at " << i;
    plat::memUnlock(g);

    plat::memFailAt(1);
    EXPECT_EQ(plat::memReAlloc(g, 8192, plat::kMemMoveable), nullptr) << "the switch covers reallocation";
    EXPECT_EQ(plat::memSize(g), 4096u) << "a refused reallocation leaves the block";
    EXPECT_EQ(plat::memFree(g), nullptr);

    EXPECT_EQ(plat::memLock(nullptr), nullptr);
    EXPECT_EQ(plat::memSize(nullptr), 0u);
}

// ---- Files ------------------------------------------------------------------------------

TEST_F(Core, FilesOpenWriteSeekReadAndClose) {
    ScratchFile file("data.bin", "", false);
    HFile f = plat::fileCreate(file.path(), 0);
    ASSERT_NE(f, kFileError);
    EXPECT_EQ(plat::fileOpenCount(), files_ + 1);
    EXPECT_EQ(plat::fileWrite(f, "hello world", 11), 11);
    EXPECT_EQ(plat::fileSeek(f, 0, plat::kSeekEnd), 11);
    EXPECT_EQ(plat::fileSeek(f, 6, plat::kSeekSet), 6);
    // Writing nothing leaves the file whole (the raw call would cut it here).
    EXPECT_EQ(plat::fileWrite(f, "", 0), 0);
    EXPECT_EQ(plat::fileSeek(f, -2, plat::kSeekCur), 4);
    char buffer[64] = {};
    EXPECT_EQ(plat::fileRead(f, buffer, sizeof buffer), 7) << "a short read at the end";
    EXPECT_STREQ(buffer, "o world");
    EXPECT_EQ(plat::fileSeek(f, -1, plat::kSeekSet), -1);
    EXPECT_EQ(plat::fileClose(f), 0);
    EXPECT_EQ(plat::fileOpenCount(), files_);
    EXPECT_EQ(file.read(), "hello world");

    f = plat::fileOpen(file.path(), plat::kOpenRead);
    ASSERT_NE(f, kFileError);
    EXPECT_EQ(plat::fileRead(f, buffer, 5), 5);
    EXPECT_EQ(plat::fileWrite(f, "x", 1), -1) << "read-only handle";
    EXPECT_EQ(plat::fileClose(f), 0);
}

TEST_F(Core, FilesFailToOpenWhatIsNotThere) {
    ScratchFile missing("missing.bin", "", false);
    EXPECT_EQ(plat::fileOpen(missing.path(), plat::kOpenRead), kFileError);
    EXPECT_EQ(plat::fileOpen("", plat::kOpenRead), kFileError);
    EXPECT_EQ(plat::fileOpen(nullptr, plat::kOpenRead), kFileError);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(plat::fileOpen(temp, plat::kOpenRead), kFileError) << "a folder is no file";
    EXPECT_EQ(plat::fileCreate("Z:\\no\\such\\folder\\out.bin", 0), kFileError);
    EXPECT_EQ(plat::fileOpenCount(), files_);
    EXPECT_EQ(plat::fileClose(kFileError), kFileError);
    EXPECT_EQ(plat::fileRead(kFileError, temp, 1), -1);
}

TEST_F(Core, WriteFailureSwitchCutsWritesShortAndKeepsThePartialFile) {
    ScratchFile file("short.bin", "", false);
    HFile f = plat::fileCreate(file.path(), 0);
    ASSERT_NE(f, kFileError);
    plat::fileFailWritesAfter(6);
    EXPECT_EQ(plat::fileWrite(f, "abcd", 4), 4);
    EXPECT_EQ(plat::fileWrite(f, "efghij", 6), 2) << "short write";
    EXPECT_EQ(plat::fileWrite(f, "k", 1), 0);
    plat::fileFailWritesAfter(-1);
    EXPECT_EQ(plat::fileClose(f), 0);
    EXPECT_EQ(file.read(), "abcdef");
}

TEST_F(Core, DeleteFileAnsiRemovesTheFile) {
    ScratchFile file("gone.gif", "GIF89a");
    ASSERT_TRUE(file.exists());
    EXPECT_EQ(DeleteFileAnsi(file.path()), 1);
    EXPECT_FALSE(file.exists());
    EXPECT_EQ(DeleteFileAnsi(file.path()), 0);
    EXPECT_EQ(DeleteFileAnsi(""), 0);
}

// ---- Module, strings, libraries ---------------------------------------------------------

TEST_F(Core, StringsComeFromTheModuleAndAreCut) {
    char buffer[300];
    EXPECT_EQ(plat::loadString(IDS_ERROR, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Error");
    EXPECT_EQ(plat::loadString(IDS_NO_VFW, buffer, 10), 9);
    EXPECT_STREQ(buffer, "Video for");
    std::strcpy(buffer, "stale");
    EXPECT_EQ(plat::loadString(202, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(plat::loadString(IDS_ERROR, nullptr, 10), 0);
}

TEST_F(Core, ModuleFileNameAndHelpFileName) {
    char name[MAX_PATH];
    int n = plat::moduleFileName(name, sizeof name);
    ASSERT_GT(n, 0);
    EXPECT_EQ(n, int(std::strlen(name)));
    std::string s(name);
    EXPECT_NE(s.find("velmconv_win_core_tests.exe"), std::string::npos) << s;
    EXPECT_EQ(plat::moduleFileName(name, 4), 0) << "a name that does not fit is no name";
    std::string help = helpFileName(s.c_str());
    EXPECT_EQ(help, s.substr(0, s.size() - 4) + ".hlp");
}

TEST_F(Core, LibrariesLoadFromTheModulesFolder) {
    // The build puts a copy of the plug-in beside this program.
    void *lib = plat::loadLibraryBeside("VelmConv32.dll");
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(plat::libraryProc(lib, "GetFormats"), nullptr);
    EXPECT_EQ(plat::libraryProc(lib, "NoSuchFunction"), nullptr);
    plat::freeLibrary(lib);
    EXPECT_EQ(plat::loadLibraryBeside("VELMNONE.DLL"), nullptr);
    EXPECT_EQ(plat::loadLibraryBeside(""), nullptr);
}

// ---- Windows and dialog services ----------------------------------------------------------

TEST_F(Core, CenterDialogKeepsTheDialogOnTheScreen) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        int parentX, parentY, parentW, parentH;
        int expectX, expectY;
    };
    const Case cases[] = {
        {100, 100, 400, 300, 100 + (400 - 200) / 2, 100 + (300 - 100) / 2},
        {sw - 150, 50, 400, 300, sw - 200, 50 + 100},   // reaches past the right edge
        {-500, -400, 300, 200, 0, 0},                    // would start left of / above the screen
        {10, sh - 50, 400, 300, 10 + 100, sh - 100},    // reaches below the bottom
    };
    for (const Case &c : cases) {
        TestWindow parent(c.parentX, c.parentY, c.parentW, c.parentH);
        TestWindow dialog(0, 0, 200, 100, WS_POPUP | WS_CAPTION, parent.hwnd);
        ASSERT_NE(dialog.hwnd, nullptr);
        CenterDialog(dialog.hwnd);
        RECT r{};
        GetWindowRect(dialog.hwnd, &r);
        EXPECT_EQ(r.left, c.expectX) << c.parentX;
        EXPECT_EQ(r.top, c.expectY) << c.parentY;
        EXPECT_EQ(r.right - r.left, 200) << "size kept";
        EXPECT_EQ(r.bottom - r.top, 100);
    }
}

TEST_F(Core, StepEditValueWorksOnARealEditField) {
    TestWindow dialog(0, 0, 300, 200);
    HWND edit = CreateWindowExA(0, "EDIT", "5", WS_CHILD | WS_VISIBLE, 10, 10, 80, 20, dialog.hwnd,
                                HMENU(intptr_t(200)), GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    char text[32];
    EXPECT_EQ(StepEditValue(dialog.hwnd, 200, 0, 1, 5), 5);
    EXPECT_EQ(StepEditValue(dialog.hwnd, 200, 1, 1, 5), 4);
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "4");
    SetWindowTextA(edit, "-7");
    EXPECT_EQ(StepEditValue(dialog.hwnd, 200, 2, -10, 10), -6);
    SetWindowTextA(edit, "0");
    EXPECT_EQ(StepEditValue(dialog.hwnd, 200, 3, 1, 5), 1);
    SetWindowTextA(edit, "seven");
    EXPECT_EQ(StepEditValue(dialog.hwnd, 200, 0, 1, 5), -1);
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "seven") << "left unchanged";
    EXPECT_EQ(StepEditValue(dialog.hwnd, 999, 0, 1, 5), -1) << "no such field";
}

// Closes the first message box or dialog of this thread that shows up,
// noting its title and text.
struct BoxCloser {
    static std::string &title() {
        static std::string s;
        return s;
    }
    static std::string &text() {
        static std::string s;
        return s;
    }
    static UINT &button() {
        static UINT b = IDOK;
        return b;
    }
    static BOOL CALLBACK find(HWND w, LPARAM found) {
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (std::strcmp(cls, "#32770") || !IsWindowVisible(w)) return TRUE;
        *reinterpret_cast<HWND *>(found) = w;
        return FALSE;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR id, DWORD) {
        HWND box = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), find, reinterpret_cast<LPARAM>(&box));
        if (!box) return;
        KillTimer(nullptr, id);
        char buffer[512] = {};
        GetWindowTextA(box, buffer, sizeof buffer);
        title() = buffer;
        buffer[0] = 0;
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        text() = buffer;
        PostMessageA(box, WM_COMMAND, button(), 0);
    }
    explicit BoxCloser(UINT b) {
        title().clear();
        text().clear();
        button() = b;
        SetTimer(nullptr, 0, 20, tick);
    }
};

TEST_F(Core, ShowStringMessageShowsTheTableTexts) {
    BoxCloser closer(IDOK);
    EXPECT_EQ(ShowStringMessage(nullptr, IDS_ERROR, IDS_NO_BITMAPS, MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(BoxCloser::title(), "Error");
    EXPECT_EQ(BoxCloser::text(), "This file does not contain bitmap images");
}

TEST_F(Core, PickColorStartsFromTheGivenColour) {
    uint32_t color = 0x00336699;
    BoxCloser closer(IDOK);
    EXPECT_EQ(PickColor(nullptr, &color), 1);
    EXPECT_EQ(color, 0x00336699u) << "OK at once returns the starting colour";

    BoxCloser cancel(IDCANCEL);
    color = 0x00112233;
    EXPECT_EQ(PickColor(nullptr, &color), 0);
    EXPECT_EQ(color, 0x00112233u);
}

TEST_F(Core, RunDialogRefusesATemplateWithoutView) {
    struct Model : plat::DialogModel {
        intptr_t pressEnter() override { return 1; }
    } model;
    EXPECT_EQ(plat::runDialog(nullptr, 4242, model), -1);
    EXPECT_EQ(plat::runDialog(nullptr, 0, model), -1);
}

TEST_F(Core, PumpMessagesDispatchesEverythingAndLeavesQuitForTheEditor) {
    TestWindow window(0, 0, 100, 100);
    TestWindow::received().clear();
    PostMessageA(window.hwnd, WM_USER + 7, 1, 2);
    PostMessageA(window.hwnd, WM_USER + 8, 3, 4);
    PumpMessages(nullptr);
    ASSERT_EQ(TestWindow::received().size(), 2u);
    EXPECT_EQ(TestWindow::received()[1].message, UINT(WM_USER + 8));
    EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE) & 0xFFFF, 0u) << "the queue is empty afterwards";

    PostQuitMessage(3);
    PumpMessages(nullptr);
    MSG msg{};
    bool quit = false;
    while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        quit = msg.message == WM_QUIT;
        if (!quit) DispatchMessageA(&msg);
    }
    ASSERT_TRUE(quit) << "the quit request is still there";
    EXPECT_EQ(msg.wParam, 3u);
}

// ---- Wrappers ---------------------------------------------------------------------------

TEST_F(Core, SixteenBitWrappersPackTheirResults) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(MoveTo(dc, 10, 20), 0u);
    uint32_t previous = MoveTo(dc, 30, -2);
    EXPECT_EQ(previous, packPoint(10, 20));
    previous = MoveTo(dc, 0, 0);
    EXPECT_EQ(pointX(previous), 30);
    EXPECT_EQ(pointY(previous), -2);

    SIZE size{};
    GetTextExtentPoint32A(dc, "Frame 12", 8, &size);
    uint32_t extent = GetTextExtent(dc, "Frame 12", 8);
    EXPECT_EQ(pointX(extent), size.cx);
    EXPECT_EQ(pointY(extent), size.cy);
    EXPECT_GT(size.cx, 0);
    DeleteDC(dc);

    TestWindow window(0, 0, 100, 100);
    TestWindow::received().clear();
    SendCommand(window.hwnd, 1002, 5, 0);
    EXPECT_TRUE(PostCommand(window.hwnd, 101, 0x300, 0));
    wintest::drainMessages();
    ASSERT_EQ(TestWindow::received().size(), 2u);
    EXPECT_EQ(TestWindow::received()[0].wParam, WPARAM(MAKEWPARAM(1002, 5)));
    EXPECT_EQ(TestWindow::received()[1].message, UINT(WM_COMMAND));
    EXPECT_EQ(TestWindow::received()[1].wParam, WPARAM(0x03000065));
}

// ---- The progress window --------------------------------------------------------------------

class Progress : public Core {
protected:
    void SetUp() override {
        Core::SetUp();
        parent_ = std::make_unique<TestWindow>(100, 80, 600, 400);
        ShowWindow(parent_->hwnd, SW_SHOW);
    }
    void TearDown() override {
        Core::TearDown();
        parent_.reset();
    }
    HWND open(int templateId) {
        Wnd w = CreateProgressDialog(parent_->hwnd, plat::module(), templateId);
        return static_cast<HWND>(w);
    }
    // Makes the bar exactly width x height pixels and sends it a percentage.
    static Capture barAt(HWND dialog, int percent, int width = 134, int height = 32) {
        HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
        SetWindowPos(bar, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
        SendMessageA(dialog, WM_USER, WPARAM(percent), 0);
        return wintest::captureClient(bar);
    }
    std::unique_ptr<TestWindow> parent_;
};

// The frame and the rows above the figures (which start at y = 8).
void expectBarShape(const Capture &c, int split, const char *what) {
    const int W = c.width, H = c.height;
    for (int x = 0; x < W; ++x) ASSERT_EQ(c.at(x, 0), kRgbGrey) << what << ": top line at x " << x;
    for (int y = 0; y < H; ++y) ASSERT_EQ(c.at(0, y), kRgbGrey) << what << ": left line at y " << y;
    for (int x = 1; x < W; ++x) ASSERT_EQ(c.at(x, H - 1), kRgbWhite) << what << ": bottom line at x " << x;
    for (int y = 1; y < H; ++y) ASSERT_EQ(c.at(W - 1, y), kRgbWhite) << what << ": right line at y " << y;
    for (int y = 1; y < 8; ++y)
        for (int x = 1; x < W - 1; ++x)
            ASSERT_EQ(c.at(x, y), x < split ? kRgbBlue : kRgbWhite) << what << " at " << x << "," << y;
    // Within the figures' rows only the two colours occur.
    for (int y = 8; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x)
            ASSERT_TRUE(c.at(x, y) == kRgbBlue || c.at(x, y) == kRgbWhite) << what << " at " << x << "," << y;
}

// Figure pixels: white on the blue part, blue on the white part.
int figurePixels(const Capture &c, int split) {
    int n = 0;
    for (int y = 8; y < c.height - 1; ++y)
        for (int x = 1; x < c.width - 1; ++x)
            n += (x < split) ? c.at(x, y) == kRgbWhite : c.at(x, y) == kRgbBlue;
    return n;
}

TEST_F(Progress, OpeningDisablesTheParentAndDestroyingEnablesIt) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(progressState().exists);
    EXPECT_EQ(progressState().window, w);
    EXPECT_EQ(GetParent(w), parent_->hwnd);
    EXPECT_FALSE(IsWindowEnabled(parent_->hwnd));
    EXPECT_FALSE(IsWindowVisible(w)) << "hidden until the first percentage";

    EXPECT_EQ(CreateProgressDialog(parent_->hwnd, plat::module(), IDD_PROGRESS), nullptr) << "one at a time";
    EXPECT_EQ(progressState().window, w);

    EXPECT_EQ(SetProgress(10), 0);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(progressState().percent, 10);

    EXPECT_EQ(DestroyProgressDialog(w), 1);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(IsWindowEnabled(parent_->hwnd));
    EXPECT_FALSE(progressState().exists);
    EXPECT_EQ(DestroyProgressDialog(w), 0) << "nothing left to destroy";
}

TEST_F(Progress, WindowIsCentredOnItsParent) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    RECT p{}, r{};
    GetWindowRect(parent_->hwnd, &p);
    GetWindowRect(w, &r);
    plat::Rect parentRect{p.left, p.top, p.right, p.bottom};
    int32_t x = 0, y = 0;
    centeredPosition(parentRect, r.right - r.left, r.bottom - r.top, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN), x, y);
    EXPECT_EQ(r.left, x);
    EXPECT_EQ(r.top, y);
    DestroyProgressDialog(w);
}

TEST_F(Progress, BarAtHalfIsBlueThenWhite) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(SetProgress(0), 0);
    Capture c = barAt(w, 50);
    ASSERT_EQ(c.width, 134);
    // Blue covers x = 1 .. 66, white starts at x = 67.
    EXPECT_EQ(c.at(1, 3), kRgbBlue);
    EXPECT_EQ(c.at(66, 3), kRgbBlue);
    EXPECT_EQ(c.at(67, 3), kRgbWhite);
    expectBarShape(c, 67, "50%");
    // "50%" is centred on x = 67: its figures show on both sides.
    int whiteOnBlue = 0, blueOnWhite = 0;
    for (int y = 8; y < c.height - 1; ++y)
        for (int x = 1; x < c.width - 1; ++x) {
            whiteOnBlue += x < 67 && c.at(x, y) == kRgbWhite;
            blueOnWhite += x >= 67 && c.at(x, y) == kRgbBlue;
        }
    EXPECT_GT(whiteOnBlue, 0);
    EXPECT_GT(blueOnWhite, 0);
    DestroyProgressDialog(w);
}

TEST_F(Progress, BarAtTheEndsAndBeyond) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    SetProgress(0);

    Capture zero = barAt(w, 0);
    expectBarShape(zero, 0, "0%");
    EXPECT_GT(figurePixels(zero, 0), 0) << "0% in blue on white";

    Capture full = barAt(w, 100);
    expectBarShape(full, 134, "100%");
    EXPECT_GT(figurePixels(full, 134), 0) << "100% in white on blue";

    EXPECT_EQ(barAt(w, 150), full) << "150 draws as 100";
    EXPECT_EQ(progressState().percent, 150) << "the kept value is the one sent";
    EXPECT_EQ(barAt(w, -5), zero) << "-5 draws as 0";
    EXPECT_EQ(progressState().percent, -5);

    // A repaint (WM_DRAWITEM) uses the kept value, limited too.
    barAt(w, 150);
    HWND bar = GetDlgItem(w, IDC_PROGRESS_BAR);
    RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    expectBarShape(wintest::captureClient(bar), 134, "repainted at 150");
    DestroyProgressDialog(w);
}

TEST_F(Progress, BarFollowsOtherWidths) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    SetProgress(0);
    // x = W * 0.01 * p, truncated: 201 * 0.33 = 66.33.
    expectBarShape(barAt(w, 33, 201, 32), 66, "33% of 201");
    expectBarShape(barAt(w, 1, 99, 32), 0, "1% of 99");
    expectBarShape(barAt(w, 99, 99, 32), 98, "99% of 99");
    DestroyProgressDialog(w);
}

TEST_F(Progress, CancelIsNotedAndTheWindowStays) {
    HWND w = open(IDD_PROGRESS_CANCEL);
    ASSERT_NE(w, nullptr);
    HWND cancel = GetDlgItem(w, IDC_PROGRESS_CANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(SetProgress(5), 0);

    // Other commands are not Cancel.
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDC_PROGRESS_BAR, BN_CLICKED), 0);
    EXPECT_EQ(SetProgress(6), 0);

    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDC_PROGRESS_CANCEL, BN_CLICKED), LPARAM(cancel));
    EXPECT_EQ(SetProgress(7), 1);
    EXPECT_EQ(SetProgress(8), 1);
    EXPECT_TRUE(IsWindow(w)) << "the owner closes the window, not Cancel";
    EXPECT_TRUE(IsWindowVisible(w));

    EXPECT_EQ(DestroyProgressDialog(w), 1);
    EXPECT_EQ(SetProgress(9), 1) << "without a window the flag stays as last left";

    // A new window starts uncancelled.
    w = open(IDD_PROGRESS_CANCEL);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(SetProgress(0), 0);
    DestroyProgressDialog(w);
}

TEST_F(Progress, CancelButtonClickReachesTheFlag) {
    HWND w = open(IDD_PROGRESS_CANCEL);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(SetProgress(5), 0);
    HWND cancel = GetDlgItem(w, IDC_PROGRESS_CANCEL);
    SendMessageA(cancel, BM_CLICK, 0, 0);
    EXPECT_EQ(SetProgress(6), 1);
    DestroyProgressDialog(w);
}

// The pump hands keys to the dialog manager: Enter on the focused Cancel
// button becomes its command, which a plain dispatch would not do.
TEST_F(Progress, EnterOnTheFocusedCancelButtonCancels) {
    HWND w = open(IDD_PROGRESS_CANCEL);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(SetProgress(5), 0);
    HWND cancel = GetDlgItem(w, IDC_PROGRESS_CANCEL);
    SendMessageA(w, WM_NEXTDLGCTL, WPARAM(cancel), TRUE);
    ASSERT_EQ(GetFocus(), cancel);
    PostMessageA(cancel, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(cancel, WM_KEYUP, VK_RETURN, 0xC0000001);
    EXPECT_EQ(SetProgress(6), 1);
    DestroyProgressDialog(w);
}

TEST_F(Progress, DialogBackgroundIsLightGrey) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    SetProgress(20);
    HDC dc = GetDC(w);
    HBRUSH brush = HBRUSH(SendMessageA(w, WM_CTLCOLORDLG, WPARAM(dc), LPARAM(w)));
    ReleaseDC(w, dc);
    EXPECT_EQ(brush, HBRUSH(GetStockObject(LTGRAY_BRUSH)));
    Capture client = wintest::captureClient(w);
    EXPECT_EQ(client.at(2, 2), 0xC0C0C0u);
    DestroyProgressDialog(w);
}

// Pictures of both templates at 50 %, kept as build artefacts.
TEST_F(Progress, ScreenshotAtHalf) {
    std::string dir = ".";
    if (const char *p = std::getenv("VELMCONV_ARTIFACTS"); p && *p) dir = p;
    CreateDirectoryA(dir.c_str(), nullptr);
    for (int templateId : {IDD_PROGRESS, IDD_PROGRESS_CANCEL}) {
        HWND w = open(templateId);
        ASSERT_NE(w, nullptr);
        SetProgress(50);
        Capture c = wintest::captureWindow(w);
        ASSERT_GT(c.width, 134);
        std::string name = dir + (templateId == IDD_PROGRESS ? "\\progress_50.bmp" : "\\progress_cancel_50.bmp");
        EXPECT_TRUE(wintest::saveBmp(c, name)) << name;
        DestroyProgressDialog(w);
    }
}

}  // namespace
