// The Windows platform layer and the progress window on the real heap,
// files, string table, windows and GDI. Linked statically with the core so
// the internals can be called directly; the program carries the library's
// resources itself, so its own module plays the library's.

#include "common/services.h"
#include "common/wrappers_win.h"
#include "platform/platform_win.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using namespace wintest;

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
        disarm();
    }
    long blocks_ = 0, files_ = 0;
};

TEST_F(Core, MemoryBlocksAreGlobalHeapBlocks) {
    MemHandle h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, 16);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(static_cast<HGLOBAL>(h)), 16u) << "a real global block";
    std::memset(plat::memLock(h), 0x5A, 16);
    ASSERT_NE(plat::memLock(h), nullptr);
    EXPECT_TRUE(plat::memUnlock(h)) << "still locked once";
    EXPECT_FALSE(plat::memUnlock(h));

    MemHandle g = plat::memReAlloc(h, 4096, plat::kMemMoveable | plat::kMemZeroInit);
    ASSERT_NE(g, nullptr);
    auto *p = static_cast<uint8_t *>(plat::memLock(g));
    EXPECT_EQ(p[15], 0x5A) << "contents kept";
    for (int i = 16; i < 4096; ++i) ASSERT_EQ(p[i], 0) << "growth zero-filled at " << i;
    (void)plat::memUnlock(g);
    plat::memFailAt(1);
    EXPECT_EQ(plat::memReAlloc(g, 8192, plat::kMemMoveable), nullptr) << "the failure switch covers reallocation";
    EXPECT_EQ(plat::memSize(g), 4096u) << "a refused reallocation leaves the block";
    EXPECT_EQ(plat::memFree(g), nullptr);
    // Blocks the editor made can be freed without upsetting the count.
    EXPECT_EQ(plat::memFree(GlobalAlloc(GMEM_MOVEABLE, 8)), nullptr);
}

TEST_F(Core, FilesOnTheRealFileSystem) {
    ScratchFile file("data.bin", "", false);
    HFile f = plat::fileCreate(file.path(), 0);
    ASSERT_NE(f, kFileError);
    EXPECT_EQ(plat::fileWrite(f, "hello world", 11), 11);
    EXPECT_EQ(plat::fileSeek(f, 6, plat::kSeekSet), 6);
    // Writing nothing leaves the file whole (the raw call would cut it here).
    EXPECT_EQ(plat::fileWrite(f, "", 0), 0);
    EXPECT_EQ(plat::fileSeek(f, -2, plat::kSeekCur), 4);
    char buffer[64] = {};
    EXPECT_EQ(plat::fileRead(f, buffer, sizeof buffer), 7) << "a short read at the end";
    EXPECT_STREQ(buffer, "o world");
    plat::fileFailWritesAfter(3);
    EXPECT_EQ(plat::fileWrite(f, "abcd", 4), 3) << "short write";
    plat::fileFailWritesAfter(-1);
    EXPECT_EQ(plat::fileClose(f), 0);
    EXPECT_EQ(file.read(), "hello worldabc");

    f = plat::fileOpen(file.path(), plat::kOpenRead);
    ASSERT_NE(f, kFileError);
    EXPECT_EQ(plat::fileWrite(f, "x", 1), -1) << "read-only handle";
    EXPECT_EQ(plat::fileClose(f), 0);

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(plat::fileOpen(temp, plat::kOpenRead), kFileError) << "a folder is no file";
    EXPECT_EQ(DeleteFileAnsi(file.path()), 1);
    EXPECT_FALSE(file.exists());
    EXPECT_EQ(DeleteFileAnsi(file.path()), 0);
}

TEST_F(Core, StringsModuleNameAndLibrariesBeside) {
    char buffer[MAX_PATH];
    EXPECT_EQ(plat::loadString(IDS_NO_VFW, buffer, 10), 9) << "cut to the buffer";
    EXPECT_STREQ(buffer, "Video for");
    EXPECT_EQ(plat::loadString(202, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");

    int n = plat::moduleFileName(buffer, sizeof buffer);
    std::string self(buffer);
    EXPECT_EQ(n, int(self.size()));
    EXPECT_NE(self.find("velmconv_win_core_tests.exe"), std::string::npos) << self;
    EXPECT_EQ(plat::moduleFileName(buffer, 4), 0) << "a name that does not fit is no name";
    EXPECT_EQ(helpFileName(self.c_str()), self.substr(0, self.size() - 4) + ".hlp");

    // The build puts a copy of the plug-in beside this program.
    void *lib = plat::loadLibraryBeside("VelmConv32.dll");
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(plat::libraryProc(lib, "GetFormats"), nullptr);
    EXPECT_EQ(plat::libraryProc(lib, "NoSuchFunction"), nullptr);
    plat::freeLibrary(lib);
    EXPECT_EQ(plat::loadLibraryBeside("VELMNONE.DLL"), nullptr);
}

TEST_F(Core, EditorPaletteIsALogicalPalette) {
    struct {
        LOGPALETTE head;
        PALETTEENTRY more[2];
    } lp{{0x300, 3, {{10, 20, 30, 0}}}, {{40, 50, 60, 0}, {70, 80, 90, 0}}};
    HPALETTE palette = CreatePalette(&lp.head);
    ASSERT_NE(palette, nullptr);
    plat::PaletteColor got[256] = {};
    EXPECT_EQ(plat::paletteEntries(nullptr, got, 256), 0u);
    EXPECT_EQ(plat::paletteEntries(palette, got, 2), 2u);  // cut to the room
    EXPECT_EQ(got[2].red, 0);
    EXPECT_EQ(plat::paletteEntries(palette, got, 256), 3u);  // no more than it holds
    EXPECT_EQ((std::vector<int>{got[0].red, got[1].green, got[2].blue}), (std::vector<int>{10, 50, 90}));
    DeleteObject(palette);
}

TEST_F(Core, CenterDialogKeepsRealWindowsOnTheScreen) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        int parentX, parentY, expectX, expectY;
    } cases[] = {{100, 100, 200, 200}, {sw - 150, sh - 50, sw - 200, sh - 100}, {-500, -400, 0, 0}};
    for (const Case &c : cases) {
        TestWindow parent(c.parentX, c.parentY, 400, 300);
        TestWindow dialog(0, 0, 200, 100, WS_POPUP | WS_CAPTION, parent.hwnd);
        CenterDialog(dialog.hwnd);
        RECT r{};
        GetWindowRect(dialog.hwnd, &r);
        EXPECT_EQ(r.left, c.expectX) << c.parentX;
        EXPECT_EQ(r.top, c.expectY) << c.parentY;
        EXPECT_EQ(r.right - r.left, 200) << "size kept";
    }
}

TEST_F(Core, StepEditValueWorksOnARealEditField) {
    TestWindow dialog(0, 0, 300, 200);
    HWND edit = CreateWindowExA(0, "EDIT", "5", WS_CHILD | WS_VISIBLE, 10, 10, 80, 20, dialog.hwnd,
                                HMENU(intptr_t(200)), GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(StepEditValue(dialog.hwnd, 200, 1, 1, 5), 4);
    EXPECT_EQ(text(dialog.hwnd, 200), "4");
    SetWindowTextA(edit, "seven");
    EXPECT_EQ(StepEditValue(dialog.hwnd, 200, 0, 1, 5), -1);
    EXPECT_EQ(text(dialog.hwnd, 200), "seven") << "left unchanged";
}

TEST_F(Core, MessageBoxAndColourPickerComeUpAndAnswer) {
    std::string boxTitle, boxText;
    whenOpen([&](HWND d) {
        boxTitle = title(d);
        boxText = text(d, 0xFFFF);
        PostMessageA(d, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(ShowStringMessage(nullptr, IDS_ERROR, IDS_NO_BITMAPS, MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(boxTitle, "Error");
    EXPECT_EQ(boxText, "This file does not contain bitmap images");

    for (UINT button : {IDOK, IDCANCEL}) {
        uint32_t color = 0x00336699;
        whenOpen([button](HWND d) { PostMessageA(d, WM_COMMAND, button, 0); });
        EXPECT_EQ(PickColor(nullptr, &color), button == IDOK ? 1 : 0);
        EXPECT_EQ(color, 0x00336699u) << "OK at once returns the starting colour; Cancel leaves it";
    }

    struct Model : plat::DialogModel {
        int templateId() const override { return 4242; }
        bool pressOk() override { return true; }
    } model;
    EXPECT_EQ(plat::runDialog(nullptr, 4242, model), -1) << "no such template";
}

TEST_F(Core, PumpAndSixteenBitWrappersOnRealWindows) {
    TestWindow window(0, 0, 100, 100);
    TestWindow::received().clear();
    PostMessageA(window.hwnd, WM_USER + 7, 1, 2);
    SendCommand(window.hwnd, 1002, 5, 0);
    EXPECT_TRUE(PostCommand(window.hwnd, 101, 0x300, 0));
    PostQuitMessage(3);
    PumpMessages(nullptr);
    ASSERT_EQ(TestWindow::received().size(), 3u);
    EXPECT_EQ(TestWindow::received()[0].wParam, WPARAM(MAKEWPARAM(1002, 5))) << "sent at once";
    EXPECT_EQ(TestWindow::received()[1].message, UINT(WM_USER + 7));
    EXPECT_EQ(TestWindow::received()[2].wParam, WPARAM(0x03000065));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit request is left for the editor";
    EXPECT_EQ(msg.wParam, 3u);

    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(MoveTo(dc, 30, -2), 0u);
    uint32_t previous = MoveTo(dc, 0, 0);
    EXPECT_EQ(pointX(previous), 30);
    EXPECT_EQ(pointY(previous), -2);
    EXPECT_EQ(GetTextExtent(dc, "Frame 12", -1), 0u) << "no negative length";
    DeleteDC(dc);
}

// ---- The progress window --------------------------------------------------------------------

class Progress : public Core {
protected:
    void SetUp() override {
        Core::SetUp();
        ShowWindow(parent.hwnd, SW_SHOW);
    }
    HWND open(int templateId) { return static_cast<HWND>(CreateProgressDialog(parent.hwnd, plat::module(), templateId)); }
    // Makes the bar exactly width x 32 pixels and sends it a percentage.
    static Capture barAt(HWND dialog, int percent, int width = 134) {
        HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
        SetWindowPos(bar, nullptr, 0, 0, width, 32, SWP_NOMOVE | SWP_NOZORDER);
        SendMessageA(dialog, WM_USER, WPARAM(percent), 0);
        return capture(bar);
    }
    TestWindow parent{100, 80, 600, 400};
};

// Grey frame top and left, white bottom and right; blue up to split and
// white after it in the rows above the figures (which start at y = 8);
// within the figures only those two colours. Counts the figure pixels
// (white on the blue part, blue on the white part) left and right of split.
void expectBar(const Capture &c, int split, const std::string &what, std::pair<int, int> *figures = nullptr) {
    const int W = c.width, H = c.height;
    for (int x = 0; x < W; ++x) ASSERT_EQ(c.at(x, 0), kRgbGrey) << what << ": top line at x " << x;
    for (int y = 0; y < H; ++y) ASSERT_EQ(c.at(0, y), kRgbGrey) << what << ": left line at y " << y;
    for (int x = 1; x < W; ++x) ASSERT_EQ(c.at(x, H - 1), kRgbWhite) << what << ": bottom line at x " << x;
    for (int y = 1; y < H; ++y) ASSERT_EQ(c.at(W - 1, y), kRgbWhite) << what << ": right line at y " << y;
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x) {
            const uint32_t px = c.at(x, y), fill = x < split ? kRgbBlue : kRgbWhite;
            if (y < 8) {
                ASSERT_EQ(px, fill) << what << " at " << x << "," << y;
            }
            ASSERT_TRUE(px == kRgbBlue || px == kRgbWhite) << what << " at " << x << "," << y;
            if (figures && px != fill) ++(x < split ? figures->first : figures->second);
        }
}

TEST_F(Progress, OpeningDisablesTheParentAndDestroyingEnablesIt) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetParent(w), parent.hwnd);
    EXPECT_FALSE(IsWindowEnabled(parent.hwnd));
    EXPECT_FALSE(IsWindowVisible(w)) << "hidden until the first percentage";
    EXPECT_EQ(CreateProgressDialog(parent.hwnd, plat::module(), IDD_PROGRESS), nullptr) << "one at a time";
    EXPECT_EQ(SetProgress(10), 0);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(DestroyProgressDialog(w), 1);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(IsWindowEnabled(parent.hwnd));
    EXPECT_EQ(DestroyProgressDialog(w), 0) << "nothing left to destroy";
}

TEST_F(Progress, BarPaintsTheShareBlueWithTheFiguresAcrossIt) {
    HWND w = open(IDD_PROGRESS);
    ASSERT_NE(w, nullptr);
    SetProgress(0);
    // split = width * 0.01 * percent, truncated (201 * 0.33 = 66.33).
    struct Case {
        int percent, width, split;
    } cases[] = {{50, 134, 67}, {0, 134, 0}, {100, 134, 134}, {33, 201, 66}, {1, 99, 0}, {99, 99, 98}};
    for (const Case &c : cases) {
        std::string what = std::to_string(c.percent) + "% of " + std::to_string(c.width);
        std::pair<int, int> figures{0, 0};
        expectBar(barAt(w, c.percent, c.width), c.split, what, &figures);
        EXPECT_TRUE(c.width != 134 || figures.first + figures.second > 0) << what << ": no figures";
        EXPECT_TRUE(c.percent != 50 || (figures.first && figures.second)) << "50% is centred on the split";
    }
    EXPECT_EQ(barAt(w, 150), barAt(w, 100)) << "150 draws as 100";
    EXPECT_EQ(barAt(w, -5), barAt(w, 0)) << "-5 draws as 0";
    // A repaint (WM_DRAWITEM) uses the kept value, limited too.
    barAt(w, 150);
    EXPECT_EQ(progressState().percent, 150) << "the kept value is the one sent";
    HWND bar = GetDlgItem(w, IDC_PROGRESS_BAR);
    RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    expectBar(capture(bar), 134, "repainted at 150");
    DestroyProgressDialog(w);
}

TEST_F(Progress, CancelByClickOrEnterIsNotedAndTheWindowStays) {
    for (bool byEnter : {false, true}) {
        HWND w = open(IDD_PROGRESS_CANCEL);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(SetProgress(5), 0) << "a new window starts uncancelled";
        // Other commands are not Cancel.
        SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(SetProgress(6), 0);
        HWND cancel = GetDlgItem(w, IDC_PROGRESS_CANCEL);
        if (byEnter) {
            // The pump hands keys to the dialog manager: a plain dispatch
            // would not turn Enter on the focused button into its command.
            SendMessageA(w, WM_NEXTDLGCTL, WPARAM(cancel), TRUE);
            ASSERT_EQ(GetFocus(), cancel);
            PostMessageA(cancel, WM_KEYDOWN, VK_RETURN, 1);
            PostMessageA(cancel, WM_KEYUP, VK_RETURN, 0xC0000001);
        } else {
            SendMessageA(cancel, BM_CLICK, 0, 0);
        }
        EXPECT_EQ(SetProgress(7), 1) << (byEnter ? "Enter" : "click");
        EXPECT_EQ(SetProgress(8), 1);
        EXPECT_TRUE(IsWindowVisible(w)) << "the owner closes the window, not Cancel";
        EXPECT_EQ(DestroyProgressDialog(w), 1);
        EXPECT_EQ(SetProgress(9), 1) << "without a window the flag stays as last left";
    }
}

// Both templates at 50 %, their pictures kept as build artefacts.
TEST_F(Progress, ScreenshotAtHalf) {
    for (int templateId : {IDD_PROGRESS, IDD_PROGRESS_CANCEL}) {
        HWND w = open(templateId);
        ASSERT_NE(w, nullptr);
        SetProgress(50);
        EXPECT_EQ(title(w), "Converting...");
        LOGFONTA font{};
        ASSERT_TRUE(GetObjectA(HFONT(SendMessageA(w, WM_GETFONT, 0, 0)), sizeof font, &font));
        EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
        HDC dc = GetDC(w);
        EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72)) << "8 points";
        ReleaseDC(w, dc);
        // The bar is 134 x 20 dialog units, before anything resizes it.
        RECT units{0, 0, 134, 20}, bar{};
        MapDialogRect(w, &units);
        GetClientRect(GetDlgItem(w, IDC_PROGRESS_BAR), &bar);
        EXPECT_TRUE(bar.right == units.right && bar.bottom == units.bottom) << bar.right << "x" << bar.bottom;
        EXPECT_EQ(text(w, IDC_PROGRESS_CANCEL), templateId == IDD_PROGRESS ? "" : "&Cancel");
        EXPECT_EQ(capture(w).at(2, 2), 0xC0C0C0u) << "light grey background";
        screenshot(w, templateId == IDD_PROGRESS ? "progress_50.bmp" : "progress_cancel_50.bmp");
        DestroyProgressDialog(w);
    }
}

}  // namespace
