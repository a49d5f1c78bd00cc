// The Windows platform layer and the progress window on the real heap,
// files, string table, windows and GDI. Linked statically with the core so
// the internals can be called directly; the program carries the library's
// resources itself, so its own module plays the library's.

#include <algorithm>

#include "ui/services.h"
#include "ui/wrappers_win.h"
#include "platform/platform_win.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using namespace wintest;

class Core : public ViewTest {
protected:
    void TearDown() override {
        EXPECT_FALSE(progressState().exists) << "progress window left open";
        if (progressState().exists) DestroyProgressDialog(progressState().window);
        plat::memFailAt(0);
        plat::fileFailWritesAfter(-1);
        EXPECT_EQ(std::pair(plat::memLiveBlocks(), plat::fileOpenCount()), std::pair(blocks_, files_)) << "leaked";
        ViewTest::TearDown();
    }
    const long blocks_ = plat::memLiveBlocks(), files_ = plat::fileOpenCount();
};

TEST_F(Core, MemoryBlocksAreGlobalHeapBlocks) {
    MemHandle h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, 16);
    ASSERT_EQ(GlobalSize(static_cast<HGLOBAL>(h)), 16u) << "a real global block";
    std::memset(plat::memLock(h), 0x5A, 16);
    ASSERT_NE(plat::memLock(h), nullptr);
    EXPECT_EQ((std::tuple{plat::memUnlock(h), plat::memUnlock(h)}), std::tuple(true, false)) << "locked twice";

    MemHandle g = plat::memReAlloc(h, 4096, plat::kMemMoveable | plat::kMemZeroInit);
    ASSERT_NE(g, nullptr);
    auto *p = static_cast<uint8_t *>(plat::memLock(g));
    // The contents kept, the growth zero-filled.
    EXPECT_EQ(std::tuple(int(p[15]), std::count(p + 16, p + 4096, 0)), std::tuple(0x5A, 4096 - 16));
    (void)plat::memUnlock(g);
    plat::memFailAt(1);  // the failure switch covers reallocation, and the block stays
    EXPECT_EQ((std::tuple{plat::memReAlloc(g, 8192, plat::kMemMoveable), plat::memSize(g)}),
              std::tuple(nullptr, 4096u));
    EXPECT_EQ(plat::memFree(g), nullptr);
    // Blocks the editor made can be freed without upsetting the count.
    EXPECT_EQ(plat::memFree(GlobalAlloc(GMEM_MOVEABLE, 8)), nullptr);
}

TEST_F(Core, FilesOnTheRealFileSystem) {
    ScratchFile file("data.bin", "", false);
    HFile f = plat::fileCreate(file.path(), 0);
    ASSERT_NE(f, kFileError);
    // Writing nothing leaves the file whole (the raw call would cut it at 6).
    EXPECT_EQ((std::tuple{plat::fileWrite(f, "hello world", 11), plat::fileSeek(f, 6, plat::kSeekSet),
                          plat::fileWrite(f, "", 0), plat::fileSeek(f, -2, plat::kSeekCur)}),
              std::tuple(11, 6, 0, 4));
    char buffer[64] = {};
    EXPECT_EQ((std::tuple{plat::fileRead(f, buffer, sizeof buffer), std::string(buffer)}), std::tuple(7, "o world"));
    plat::fileFailWritesAfter(3);
    EXPECT_EQ(plat::fileWrite(f, "abcd", 4), 3) << "short write";
    plat::fileFailWritesAfter(-1);
    EXPECT_EQ(plat::fileClose(f), 0);
    EXPECT_EQ(file.read(), "hello worldabc");

    f = plat::fileOpen(file.path(), plat::kOpenRead);
    ASSERT_NE(f, kFileError);
    EXPECT_EQ((std::tuple{plat::fileWrite(f, "x", 1), plat::fileClose(f)}), std::tuple(-1, 0)) << "read-only handle";

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(plat::fileOpen(temp, plat::kOpenRead), kFileError) << "a folder is no file";
    EXPECT_EQ((std::tuple{DeleteFileAnsi(file.path()), file.exists(), DeleteFileAnsi(file.path())}),
              std::tuple(1, false, 0));
}

TEST_F(Core, StringsModuleNameAndLibrariesBeside) {
    char buffer[MAX_PATH];
    EXPECT_EQ((std::tuple{plat::loadString(IDS_NO_VFW, buffer, 10), std::string(buffer)}), std::tuple(9, "Video for"));
    EXPECT_EQ((std::tuple{plat::loadString(202, buffer, sizeof buffer), std::string(buffer)}), std::tuple(0, ""));
    const int n = plat::moduleFileName(buffer, sizeof buffer);
    const std::string self(buffer);
    EXPECT_TRUE(n == int(self.size()) && self.find("velmconv_win_core_tests.exe") != std::string::npos) << self;
    EXPECT_EQ(plat::moduleFileName(buffer, 4), 0) << "a name that does not fit is no name";

    // The build puts a copy of the plug-in beside this program.
    void *lib = plat::loadLibraryBeside("VelmConv32.dll");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(std::tuple(plat::libraryProc(lib, "GetFormats") != nullptr, plat::libraryProc(lib, "NoSuchFunction")),
              std::tuple(true, nullptr));
    plat::freeLibrary(lib);
    EXPECT_EQ(plat::loadLibraryBeside("VELMNONE.DLL"), nullptr);
}

TEST_F(Core, EditorPaletteIsALogicalPalette) {
    struct {
        LOGPALETTE head;
        PALETTEENTRY more[2];
    } lp{{0x300, 3, {{10, 20, 30, 0}}}, {{40, 50, 60, 0}, {70, 80, 90, 0}}};
    HPALETTE palette = CreatePalette(&lp.head);
    plat::PaletteColor got[256] = {};
    // Cut to the room, and no more than the palette holds.
    EXPECT_EQ((std::tuple{plat::paletteEntries(nullptr, got, 256), plat::paletteEntries(palette, got, 2),
                          int(got[2].red), plat::paletteEntries(palette, got, 256)}),
              std::tuple(0u, 2u, 0, 3u));
    EXPECT_EQ((std::vector<int>{got[0].red, got[1].green, got[2].blue}), (std::vector<int>{10, 50, 90}));
    DeleteObject(palette);
}

TEST_F(Core, MessageBoxAndColourPickerComeUpAndAnswer) {
    std::string box;
    whenOpen([&](HWND d) {
        box = title(d) + ": " + text(d, 0xFFFF);
        PostMessageA(d, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(ShowStringMessage(nullptr, IDS_ERROR, IDS_NO_BITMAPS, MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(box, "Error: This file does not contain bitmap images");

    for (UINT button : {IDOK, IDCANCEL}) {
        uint32_t color = 0x00336699;
        whenOpen([button](HWND d) { PostMessageA(d, WM_COMMAND, button, 0); });
        // OK at once returns the starting colour; Cancel leaves it.
        EXPECT_EQ((std::tuple{PickColor(nullptr, &color), uint32_t(color)}),
                  std::tuple(button == IDOK ? 1 : 0, 0x00336699u));
    }

    struct Model : plat::DialogModel {
        int templateId() const override { return 4242; }
        bool pressOk() override { return true; }
    } model;
    EXPECT_EQ(plat::runDialog(nullptr, 4242, model), -1) << "no such template";
}

TEST_F(Core, PumpAndSixteenBitWrappersOnRealWindows) {
    TestWindow window(0, 0, 100, 100);
    TestWindow::received.clear();
    PostMessageA(window.hwnd, WM_USER + 7, 1, 2);
    SendCommand(window.hwnd, 1002, 5, 0);
    EXPECT_TRUE(PostCommand(window.hwnd, 101, 0x300, 0));
    PostQuitMessage(3);
    PumpMessages(nullptr);
    std::vector<std::pair<UINT, WPARAM>> got;  // the sent command first, at once
    for (const MSG &m : TestWindow::received) got.emplace_back(m.message, m.wParam);
    EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{
                       {WM_COMMAND, MAKEWPARAM(1002, 5)}, {WM_USER + 7, 1}, {WM_COMMAND, 0x03000065}}));
    MSG msg{};
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 3)
        << "the quit request is left for the editor";

    HDC dc = CreateCompatibleDC(nullptr);
    const uint32_t first = MoveTo(dc, 30, -2), previous = MoveTo(dc, 0, 0);
    EXPECT_EQ(std::tuple(first, pointX(previous), pointY(previous)), std::tuple(0u, 30, -2));
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
    HWND open(int id) { return static_cast<HWND>(CreateProgressDialog(parent.hwnd, plat::module(), id)); }
    // Makes the bar exactly width x 32 pixels and sends it a percentage.
    static Capture barAt(HWND dialog, int percent, int width = 134) {
        HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
        SetWindowPos(bar, nullptr, 0, 0, width, 32, SWP_NOMOVE | SWP_NOZORDER);
        SendMessageA(dialog, WM_USER, WPARAM(percent), 0);
        return capture(bar);
    }
};

// Grey frame top and left, white bottom and right; blue up to split and
// white after it in the rows above the figures (which start at y = 8);
// within the figures only those two colours. Counts the figure pixels
// (white on the blue part, blue on the white part) left and right of split.
void expectBar(const Capture &c, int split, const std::string &what, std::pair<int, int> *figures = nullptr) {
    constexpr uint32_t kBlue = 0x0000FF, kWhite = 0xFFFFFF;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const uint32_t px = c.at(x, y), fill = x < split ? kBlue : kWhite;
            const bool frame = x == 0 || y == 0 || x == c.width - 1 || y == c.height - 1;
            const uint32_t edge = x == 0 || y == 0 ? 0x808080 : kWhite;
            ASSERT_EQ(px, frame ? edge : y < 8 ? fill : px) << what << " at " << x << "," << y;
            ASSERT_TRUE(frame || px == kBlue || px == kWhite) << what << " at " << x << "," << y;
            if (figures && !frame && px != fill) ++(x < split ? figures->first : figures->second);
        }
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
    // A repaint (WM_DRAWITEM) uses the kept value, limited (as the native
    // Services.ProgressBarGeometry has it).
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
        // Other commands are not Cancel; a new window starts uncancelled.
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
        // The owner closes the window, not Cancel; without a window the flag
        // stays as last left.
        EXPECT_EQ((std::tuple{SetProgress(7), SetProgress(8), IsWindowVisible(w) != 0}), std::tuple(1, 1, true))
            << (byEnter ? "Enter" : "click");
        EXPECT_EQ((std::tuple{DestroyProgressDialog(w), SetProgress(9)}), std::tuple(1, 1));
    }
}

// Both templates: the parent disabled while they are open, hidden until the
// first percentage and centred on the parent's window (one at a time, the
// second destroy, and where the screen's edges put them are the native
// Exports', Services' and Services.CenterDialogPlacesOnParentAndScreen's);
// at 50 %, their pictures kept as build artefacts.
TEST_F(Progress, ScreenshotAtHalf) {
    for (int templateId : {IDD_PROGRESS, IDD_PROGRESS_CANCEL}) {
        HWND w = open(templateId);
        ASSERT_NE(w, nullptr);
        RECT r{}, p{};
        GetWindowRect(w, &r), GetWindowRect(parent.hwnd, &p);
        EXPECT_LE(std::abs(r.left + r.right - p.left - p.right) + std::abs(r.top + r.bottom - p.top - p.bottom), 2);
        EXPECT_EQ((std::tuple{GetParent(w), IsWindowEnabled(parent.hwnd), IsWindowVisible(w), SetProgress(50),
                              IsWindowVisible(w) != 0}),
                  std::tuple(parent.hwnd, FALSE, FALSE, 0, true));
        LOGFONTA font{};
        ASSERT_TRUE(GetObjectA(HFONT(SendMessageA(w, WM_GETFONT, 0, 0)), sizeof font, &font));
        HDC dc = GetDC(w);  // 8 points
        EXPECT_EQ(std::tuple(std::string(font.lfFaceName), font.lfHeight),
                  std::tuple("MS Sans Serif", -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72)));
        ReleaseDC(w, dc);
        // The bar is 134 x 20 dialog units, before anything resizes it.
        RECT units{0, 0, 134, 20}, bar{};
        MapDialogRect(w, &units);
        GetClientRect(GetDlgItem(w, IDC_PROGRESS_BAR), &bar);
        EXPECT_TRUE(bar.right == units.right && bar.bottom == units.bottom) << bar.right << "x" << bar.bottom;
        EXPECT_EQ(std::tuple(title(w), text(w, IDC_PROGRESS_CANCEL), capture(w).at(2, 2)),  // a light grey background
                  std::tuple("Converting...", templateId == IDD_PROGRESS ? "" : "&Cancel", 0xC0C0C0u));
        screenshot(w, templateId == IDD_PROGRESS ? "progress_50.bmp" : "progress_cancel_50.bmp");
        EXPECT_EQ((std::tuple{DestroyProgressDialog(w), IsWindow(w) != 0, IsWindowEnabled(parent.hwnd) != 0}),
                  std::tuple(1, false, true));
    }
}

}  // namespace
