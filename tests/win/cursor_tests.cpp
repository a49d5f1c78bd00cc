// The cursor format questions as real Windows dialogs (templates 107 and
// 108), driven the way a user would (radio buttons, X/Y fields, OK, Cancel)
// to what the portable model says, a picture of each kept as an artefact;
// then a cursor saved through VelmConv32.dll with the question coming from
// the library's own resources.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cursor/cursor_format.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using vctest::FakeEditor;

// What the "user" does once the dialog is up; runs from a timer inside the
// dialog's modal loop.
std::function<void(HWND)> gUser;
HWND gSeenDialog = nullptr;

BOOL CALLBACK findDialog(HWND w, LPARAM out) {
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::string(cls) == "#32770" && IsWindowVisible(w)) {
        *reinterpret_cast<HWND *>(out) = w;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, LPARAM(&dialog));
    if (!dialog) return;  // not up yet: try at the next tick
    KillTimer(nullptr, id);
    gSeenDialog = dialog;
    auto user = std::move(gUser);
    gUser = nullptr;
    if (user) user(dialog);
}

// Arms the user for the next dialog.
void whenOpen(std::function<void(HWND)> user) {
    gSeenDialog = nullptr;
    gUser = std::move(user);
    SetTimer(nullptr, 0, 50, onTimer);
}

void click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
std::string text(HWND dialog, int id) {
    char buffer[512] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

void screenshot(HWND dialog, const char *name) {
    std::string dir = ".";
    if (const char *p = std::getenv("VELMCONV_ARTIFACTS"); p && *p) dir = p;
    CreateDirectoryA(dir.c_str(), nullptr);
    UpdateWindow(dialog);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    wintest::Capture c = wintest::captureWindow(dialog);
    EXPECT_GT(c.width, 100);
    EXPECT_TRUE(wintest::saveBmp(c, dir + "\\" + name)) << name;
}

class CursorDialogs : public ::testing::Test {
protected:
    void SetUp() override { plat::setModule(GetModuleHandleA(nullptr)); }
    void TearDown() override {
        KillTimer(nullptr, 0);
        gUser = nullptr;
        wintest::drainMessages();
    }
    wintest::TestWindow parent{100, 100, 640, 480};
};

TEST_F(CursorDialogs, SelectCursorFormatShowsItsControlsAndMapsEachButton) {
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    bool looked = false;
    whenOpen([&](HWND d) {
        looked = true;
        char title[64] = {};
        GetWindowTextA(d, title, sizeof title);
        EXPECT_STREQ(title, "Select Cursor Format");
        EXPECT_EQ(text(d, IDC_CURSOR_SIZE32), "32 x 32  (recommended)");
        EXPECT_EQ(text(d, IDC_CURSOR_SIZE_OTHER), "Maintain current size");
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE32));
        EXPECT_NE(SendDlgItemMessageA(d, IDC_CURSOR_WARNING, STM_GETICON, 0, 0), 0) << "exclamation icon";
        screenshot(d, "select_cursor_format.bmp");
        click(d, IDC_CURSOR_SIZE_OTHER);
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE_OTHER));
        EXPECT_FALSE(checked(d, IDC_CURSOR_SIZE32));
        click(d, IDOK);
    });
    EXPECT_EQ(SelectCursorSize(parent.hwnd, FakeEditor::callback()), 48u + 48u * 65536u);
    EXPECT_TRUE(looked);

    const std::pair<int, uint32_t> buttons[] = {{IDC_CURSOR_SIZE16, 16 | (16u << 16)},
                                                {IDC_CURSOR_SIZE64, 64 | (64u << 16)},
                                                {IDCANCEL, 0xFFFFFFFFu}};
    for (auto [id, want] : buttons) {
        whenOpen([id = id](HWND d) {
            click(d, id);
            if (id != IDCANCEL) click(d, IDOK);
        });
        EXPECT_EQ(SelectCursorSize(parent.hwnd, FakeEditor::callback()), want);
    }

    // A standard size asks nothing: no dialog comes up.
    ed.imageWidth = ed.imageHeight = 64;
    EXPECT_EQ(SelectCursorSize(parent.hwnd, FakeEditor::callback()), 64u | (64u << 16));
}

TEST_F(CursorDialogs, ChangeCursorFormatIsDrivenToTheRecordTheModelFills) {
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.colorSetting = 3;
    ConvFormatChange record{};
    bool refusedStayedOpen = false;
    whenOpen([&](HWND d) {
        char title[64] = {};
        GetWindowTextA(d, title, sizeof title);
        EXPECT_STREQ(title, "Change Cursor Format");
        EXPECT_EQ(text(d, IDC_CURSOR_X), "48");
        EXPECT_EQ(text(d, IDC_CURSOR_Y), "48");
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE32));
        EXPECT_TRUE(checked(d, IDC_CURSOR_COLORS2));
        EXPECT_TRUE(checked(d, IDC_CURSOR_SCALE));
        EXPECT_EQ(text(d, IDC_CURSOR_COLORS256), "256 Colors");
        screenshot(d, "change_cursor_format.bmp");
        // "other" with X 7: OK beeps and the dialog stays.
        click(d, IDC_CURSOR_SIZE_OTHER);
        EXPECT_FALSE(checked(d, IDC_CURSOR_SIZE32));
        SetDlgItemTextA(d, IDC_CURSOR_X, "7");
        click(d, IDOK);
        refusedStayedOpen = IsWindow(d) && IsWindowVisible(d);
        // X 8, Y 300, 256 colours, not scaled: accepted.
        SetDlgItemTextA(d, IDC_CURSOR_X, "8");
        SetDlgItemTextA(d, IDC_CURSOR_Y, "300");
        click(d, IDC_CURSOR_COLORS256);
        EXPECT_FALSE(checked(d, IDC_CURSOR_COLORS2));
        click(d, IDC_CURSOR_SCALE);
        click(d, IDOK);
    });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &record), 1);
    EXPECT_TRUE(refusedStayedOpen);
    auto fields = [](const ConvFormatChange &r) {
        return std::vector<uint32_t>{r.width, r.height, r.colors, r.scale, r.reserved};
    };
    EXPECT_EQ(fields(record), (std::vector<uint32_t>{8, 300, 256, 0, 0}));

    // OK on the start state: 32x32, "2 Colors" sends 3, scaled.
    ConvFormatChange plain{};
    whenOpen([](HWND d) { click(d, IDOK); });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &plain), 1);
    EXPECT_EQ(fields(plain), (std::vector<uint32_t>{32, 32, 3, 1, 0}));

    // Cancel after changes: the record as filled at start (colours only).
    ConvFormatChange kept{1, 2, 0, 4, 5};
    whenOpen([](HWND d) {
        click(d, IDC_CURSOR_SIZE16);
        click(d, IDC_CURSOR_COLORS16);
        click(d, IDCANCEL);
    });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &kept), 0);
    EXPECT_EQ(fields(kept), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

// ---- A cursor saved through the DLL ---------------------------------------------------------

std::string libraryPath() {
    if (const char *p = std::getenv("VELMCONV_DLL"); p && *p) return p;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string s(self);
    return s.substr(0, s.find_last_of("\\/") + 1) + "VelmConv32.dll";
}

std::string le16(unsigned v) { return std::string{char(v & 255), char((v >> 8) & 255)}; }
std::string le32(unsigned v) { return le16(v & 0xFFFF) + le16(v >> 16); }

TEST_F(CursorDialogs, DllSavesA48PixelCursorAfterAskingTheSize) {
    HMODULE module = LoadLibraryA(libraryPath().c_str());
    ASSERT_NE(module, nullptr) << libraryPath();
    auto save = reinterpret_cast<SaveConvImageFn>(reinterpret_cast<void *>(GetProcAddress(module, "SaveConvImage")));
    ASSERT_NE(save, nullptr);
    // 48x48 at 4 bits, grey palette, colour rows 0x33, empty mask.
    std::string data = le32(40) + le32(48) + le32(96) + le16(1) + le16(4) + std::string(24, '\0');
    for (int i = 0; i < 16; ++i) data += std::string{char(i * 16), char(i * 16), char(i * 16), 0};
    data += std::string(24 * 48, '\x33') + std::string(4 * 48, '\0');
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.addIcon(std::vector<uint8_t>(data.begin(), data.end()));
    ed.hotspots[0] = 5 | (6u << 16);
    wintest::ScratchFile out("out.cur", "", false);
    bool asked = false;
    whenOpen([&](HWND d) {
        asked = true;
        click(d, IDC_CURSOR_SIZE_OTHER);  // "Maintain current size"
        click(d, IDOK);
    });
    ASSERT_EQ(save(parent.hwnd, out.path(), nullptr, 132, 0, FakeEditor::callback()), 1);
    EXPECT_TRUE(asked);
    const std::string head = le16(0) + le16(2) + le16(1) + std::string{48, 48, 16, 0} + le16(5) + le16(6) +
                             le32(unsigned(data.size())) + le32(22);
    EXPECT_EQ(out.read(), head + data);

    // Cancel: nothing written.
    wintest::ScratchFile none("none.ico", "", false);
    whenOpen([](HWND d) { click(d, IDCANCEL); });
    EXPECT_EQ(save(parent.hwnd, none.path(), nullptr, 132, 0, FakeEditor::callback()), 0);
    EXPECT_FALSE(none.exists());
    FreeLibrary(module);
}

}  // namespace
