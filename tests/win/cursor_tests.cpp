// The cursor format questions as real Windows dialogs (templates 107 and
// 108), opened under Wine from the program's own resources and driven the
// way a user would: radio buttons, the X/Y fields, OK and Cancel. What they
// return must be what the portable model says. A picture of each is kept
// in the artefacts folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "cursor/cursor_format.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
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
        EXPECT_EQ(text(d, IDOK), "&OK");
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE32));
        EXPECT_FALSE(checked(d, IDC_CURSOR_SIZE16));
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
                                                {IDC_CURSOR_SIZE32, 32 | (32u << 16)}};
    for (auto [id, want] : buttons) {
        whenOpen([id = id](HWND d) {
            click(d, id);
            click(d, IDOK);
        });
        EXPECT_EQ(SelectCursorSize(parent.hwnd, FakeEditor::callback()), want);
    }
    whenOpen([](HWND d) {
        click(d, IDC_CURSOR_SIZE16);
        click(d, IDCANCEL);
    });
    EXPECT_EQ(SelectCursorSize(parent.hwnd, FakeEditor::callback()), 0xFFFFFFFFu);

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
        EXPECT_FALSE(checked(d, IDC_CURSOR_COLORS16));
        EXPECT_TRUE(checked(d, IDC_CURSOR_SCALE));
        EXPECT_EQ(text(d, IDC_CURSOR_SCALE), "Scale Image");
        EXPECT_EQ(text(d, IDC_CURSOR_COLORS256), "256 Colors");
        screenshot(d, "change_cursor_format.bmp");
        // "other" with X 7: OK beeps and the dialog stays.
        click(d, IDC_CURSOR_SIZE_OTHER);
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE_OTHER));
        EXPECT_FALSE(checked(d, IDC_CURSOR_SIZE32));
        SetDlgItemTextA(d, IDC_CURSOR_X, "7");
        click(d, IDOK);
        refusedStayedOpen = IsWindow(d) && IsWindowVisible(d);
        // X 8, Y 300, 256 colours, not scaled: accepted.
        SetDlgItemTextA(d, IDC_CURSOR_X, "8");
        SetDlgItemTextA(d, IDC_CURSOR_Y, "300");
        click(d, IDC_CURSOR_COLORS256);
        EXPECT_TRUE(checked(d, IDC_CURSOR_COLORS256));
        EXPECT_FALSE(checked(d, IDC_CURSOR_COLORS2));
        click(d, IDC_CURSOR_SCALE);
        click(d, IDOK);
    });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &record), 1);
    EXPECT_TRUE(refusedStayedOpen);
    EXPECT_EQ(record.width, 8u);
    EXPECT_EQ(record.height, 300u);
    EXPECT_EQ(record.colors, 256u);
    EXPECT_EQ(record.scale, 0u);
    EXPECT_EQ(record.reserved, 0u);

    // Enter-like OK on the start state: 32x32, "2 Colors" sends 3, scaled.
    ConvFormatChange plain{};
    whenOpen([](HWND d) { click(d, IDOK); });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &plain), 1);
    EXPECT_EQ(plain.width, 32u);
    EXPECT_EQ(plain.height, 32u);
    EXPECT_EQ(plain.colors, 3u);
    EXPECT_EQ(plain.scale, 1u);

    // Cancel after changes: the record as filled at start (colours only).
    ConvFormatChange kept{1, 2, 0, 4, 5};
    whenOpen([](HWND d) {
        click(d, IDC_CURSOR_SIZE16);
        click(d, IDC_CURSOR_COLORS16);
        click(d, IDCANCEL);
    });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &kept), 0);
    EXPECT_EQ(kept.width, 1u);
    EXPECT_EQ(kept.height, 2u);
    EXPECT_EQ(kept.colors, 3u);
    EXPECT_EQ(kept.scale, 4u);
}

}  // namespace
