// The cursor format questions as real Windows dialogs (templates 107 and
// 108), opened under Wine from the program's own resources and driven the
// way a user would: radio buttons, the X/Y fields, OK and Cancel. What they
// return must be what the portable model says. A picture of each is kept
// in the artefacts folder. Then icons and cursors through VelmConv32.dll
// itself, bound as the editor binds it, with the question coming from the
// library's own resources.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>

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

// ---- Icons and cursors through the DLL -----------------------------------------------------

std::string libraryPath() {
    if (const char *p = std::getenv("VELMCONV_DLL"); p && *p) return p;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string s(self);
    return s.substr(0, s.find_last_of("\\/") + 1) + "VelmConv32.dll";
}

template <typename T>
T bind(HMODULE m, const char *name) {
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}

std::string le16(unsigned v) { return std::string{char(v & 255), char((v >> 8) & 255)}; }
std::string le32(unsigned v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// Icon image data: w x h at 4 bits, colour rows filled with `fill`.
std::string iconData4(int w, int h, char fill) {
    std::string d = le32(40) + le32(unsigned(w)) + le32(unsigned(2 * h)) + le16(1) + le16(4) + std::string(24, '\0');
    for (int i = 0; i < 16; ++i) d += std::string{char(i * 16), char(i * 16), char(i * 16), 0};
    int row = ((w * 4 + 31) / 32) * 4, mask = ((w + 31) / 32) * 4;
    return d + std::string(size_t(row * h), fill) + std::string(size_t(mask * h), '\0');
}

class IconsThroughTheDll : public CursorDialogs {
protected:
    void SetUp() override {
        CursorDialogs::SetUp();
        module_ = LoadLibraryA(libraryPath().c_str());
        ASSERT_NE(module_, nullptr) << libraryPath();
        load_ = bind<LoadConvImageFn>(module_, "LoadConvImage");
        save_ = bind<SaveConvImageFn>(module_, "SaveConvImage");
        preview_ = bind<GetPreviewImageFn>(module_, "GetPreviewImage");
        ASSERT_TRUE(load_ && save_ && preview_);
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
        CursorDialogs::TearDown();
    }
    HMODULE module_ = nullptr;
    LoadConvImageFn load_ = nullptr;
    SaveConvImageFn save_ = nullptr;
    GetPreviewImageFn preview_ = nullptr;
};

TEST_F(IconsThroughTheDll, LoadPreviewAndSaveWithTheSizeQuestion) {
    // A cursor file: 16x16 then 32x32 (hotspot 12,30), both 16 colours.
    std::string small = iconData4(16, 16, 0x11), big = iconData4(32, 32, 0x22);
    std::string file = le16(0) + le16(2) + le16(2);
    file += std::string{16, 16, 16, 0} + le16(1) + le16(2) + le32(unsigned(small.size())) + le32(38);
    file += std::string{32, 32, 16, 0} + le16(12) + le16(30) + le32(unsigned(big.size())) +
            le32(unsigned(38 + small.size()));
    file += small + big;
    wintest::ScratchFile cur("in.cur", file);

    FakeEditor ed;
    ConvImageRecord rec{};
    uint8_t format = 0;
    ASSERT_EQ(load_(parent.hwnd, cur.path(), &rec, &format, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(format, 132);
    EXPECT_EQ(ed.commands(), (std::vector<int32_t>{9, 0, 13, 21}));
    ASSERT_EQ(ed.images.size(), 1u);
    EXPECT_EQ(std::string(ed.images[0].bytes.begin(), ed.images[0].bytes.end()), big);
    EXPECT_EQ(ed.hotspots[0], 12u | (30u << 16));

    ASSERT_EQ(preview_(cur.path(), &rec), 1);
    EXPECT_EQ(rec.bitsOffset, 104u);
    auto *h = static_cast<const BITMAPINFOHEADER *>(GlobalLock(static_cast<HGLOBAL>(rec.image)));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->biHeight, 32);
    EXPECT_EQ(h->biClrUsed, 16u);
    GlobalUnlock(static_cast<HGLOBAL>(rec.image));
    EXPECT_EQ(GlobalFree(static_cast<HGLOBAL>(rec.image)), nullptr);

    // Saving a 48x48 image asks; "Maintain current size" keeps it.
    FakeEditor ed2;
    ed2.imageWidth = ed2.imageHeight = 48;
    std::string data48 = iconData4(48, 48, 0x33);
    ed2.addIcon(std::vector<uint8_t>(data48.begin(), data48.end()));
    ed2.hotspots[0] = 5 | (6u << 16);
    wintest::ScratchFile out("out.cur", "", false);
    bool asked = false;
    whenOpen([&](HWND d) {
        asked = true;
        click(d, IDC_CURSOR_SIZE_OTHER);
        click(d, IDOK);
    });
    ASSERT_EQ(save_(parent.hwnd, out.path(), nullptr, 132, 0, FakeEditor::callback()), 1);
    EXPECT_TRUE(asked);
    ASSERT_EQ(ed2.iconRequests.size(), 1u);
    EXPECT_EQ(ed2.iconRequests[0].width, 48);
    std::string written = out.read();
    const std::string head = le16(0) + le16(2) + le16(1) + std::string{48, 48, 16, 0} + le16(5) + le16(6) +
                             le32(unsigned(data48.size())) + le32(22);
    EXPECT_EQ(written.substr(0, 22), head);
    EXPECT_EQ(written.substr(22), data48);

    // Cancel: nothing written.
    wintest::ScratchFile none("none.ico", "", false);
    whenOpen([](HWND d) { click(d, IDCANCEL); });
    EXPECT_EQ(save_(parent.hwnd, none.path(), nullptr, 132, 0, FakeEditor::callback()), 0);
    EXPECT_FALSE(none.exists());
}

}  // namespace
