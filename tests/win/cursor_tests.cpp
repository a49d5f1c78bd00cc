// The cursor format questions as real Windows dialogs (templates 107 and
// 108), driven the way a user would (radio buttons, X/Y fields, OK,
// Cancel), a picture of each kept as an artefact; then a cursor saved
// through VelmConv32.dll with the question coming from its own resources;
// icons as today's tools write them opened through it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "cursor/cursor_format.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/icon_pixels.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using namespace wintest;
using vctest::FakeEditor;

class CursorDialogs : public ::testing::Test {
protected:
    void SetUp() override { plat::setModule(GetModuleHandleA(nullptr)); }
    void TearDown() override { disarm(); }
    TestWindow parent{100, 100, 640, 480};
};

TEST_F(CursorDialogs, SelectCursorFormatShowsItsControlsAndMapsEachButton) {
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    bool looked = false;
    whenOpen([&](HWND d) {
        looked = true;
        EXPECT_EQ(title(d), "Select Cursor Format");
        EXPECT_EQ(text(d, IDC_CURSOR_SIZE32), "32 x 32  (recommended)");
        EXPECT_EQ(text(d, IDC_CURSOR_SIZE_OTHER), "Maintain current size");
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE32));
        EXPECT_NE(SendDlgItemMessageA(d, IDC_CURSOR_WARNING, STM_GETICON, 0, 0), 0) << "exclamation icon";
        screenshot(d, "select_cursor_format.bmp");
        click(d, IDC_CURSOR_SIZE_OTHER);
        EXPECT_FALSE(checked(d, IDC_CURSOR_SIZE32)) << "one radio group";
        click(d, IDOK);
    });
    EXPECT_EQ(SelectCursorSize(parent.hwnd, FakeEditor::callback()), 48u + 48u * 65536u);
    EXPECT_TRUE(looked);

    const std::pair<int, uint32_t> buttons[] = {
        {IDC_CURSOR_SIZE16, 16 | (16u << 16)}, {IDC_CURSOR_SIZE64, 64 | (64u << 16)}, {IDCANCEL, 0xFFFFFFFFu}};
    for (auto [id, want] : buttons) {
        whenOpen([id = id](HWND d) {
            click(d, id);
            if (id != IDCANCEL) click(d, IDOK);
        });
        EXPECT_EQ(SelectCursorSize(parent.hwnd, FakeEditor::callback()), want) << id;
    }
}

TEST_F(CursorDialogs, ChangeCursorFormatIsDrivenToTheRecordItFills) {
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.colorSetting = 3;
    auto fields = [](const ConvFormatChange &r) {
        return std::vector<uint32_t>{r.width, r.height, r.colors, r.scale, r.reserved};
    };
    ConvFormatChange record{};
    bool refusedStayedOpen = false;
    whenOpen([&](HWND d) {
        EXPECT_EQ(title(d), "Change Cursor Format");
        EXPECT_EQ(text(d, IDC_CURSOR_X), "48");
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE32));
        EXPECT_TRUE(checked(d, IDC_CURSOR_COLORS2));
        EXPECT_TRUE(checked(d, IDC_CURSOR_SCALE));
        screenshot(d, "change_cursor_format.bmp");
        // "other" with X 7: OK beeps and the dialog stays.
        click(d, IDC_CURSOR_SIZE_OTHER);
        SetDlgItemTextA(d, IDC_CURSOR_X, "7");
        click(d, IDOK);
        refusedStayedOpen = IsWindowVisible(d);
        SetDlgItemTextA(d, IDC_CURSOR_X, "8");
        SetDlgItemTextA(d, IDC_CURSOR_Y, "300");
        click(d, IDC_CURSOR_COLORS256);
        EXPECT_FALSE(checked(d, IDC_CURSOR_COLORS2)) << "one radio group";
        click(d, IDC_CURSOR_SCALE);
        click(d, IDOK);
    });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &record), 1);
    EXPECT_TRUE(refusedStayedOpen);
    EXPECT_EQ(fields(record), (std::vector<uint32_t>{8, 300, 256, 0, 0}));

    ConvFormatChange plain{};
    whenOpen([](HWND d) { click(d, IDOK); });
    EXPECT_EQ(ChangeCursorFormatDialog(parent.hwnd, FakeEditor::callback(), &plain), 1);
    EXPECT_EQ(fields(plain), (std::vector<uint32_t>{32, 32, 3, 1, 0})) << "\"2 Colors\" sends 3";

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

std::string le16(unsigned v) { return std::string{char(v & 255), char((v >> 8) & 255)}; }
std::string le32(unsigned v) { return le16(v & 0xFFFF) + le16(v >> 16); }

TEST_F(CursorDialogs, DllSavesA48PixelCursorAfterAskingTheSize) {
    HMODULE module = LoadLibraryA(libraryPath().c_str());
    ASSERT_NE(module, nullptr) << libraryPath();
    auto save = bind<SaveConvImageFn>(module, "SaveConvImage");
    // 48x48 at 4 bits, grey palette, colour rows 0x33, empty mask.
    std::string data = le32(40) + le32(48) + le32(96) + le16(1) + le16(4) + std::string(24, '\0');
    for (int i = 0; i < 16; ++i) data += std::string{char(i * 16), char(i * 16), char(i * 16), 0};
    data += std::string(24 * 48, '\x33') + std::string(4 * 48, '\0');
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.addIcon(std::vector<uint8_t>(data.begin(), data.end()));
    ed.hotspots[0] = 5 | (6u << 16);
    ScratchFile out("out.cur", "", false);
    std::string asked;
    whenOpen([&](HWND d) {
        asked = title(d);
        click(d, IDC_CURSOR_SIZE_OTHER);  // "Maintain current size"
        click(d, IDOK);
    });
    ASSERT_EQ(save(parent.hwnd, out.path(), nullptr, 132, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(asked, "Select Cursor Format");
    const std::string head = le16(0) + le16(2) + le16(1) + std::string{48, 48, 16, 0} + le16(5) + le16(6) +
                             le32(unsigned(data.size())) + le32(22);
    EXPECT_EQ(out.read(), head + data);

    ScratchFile none("none.ico", "", false);
    whenOpen([](HWND d) { click(d, IDCANCEL); });
    EXPECT_EQ(save(parent.hwnd, none.path(), nullptr, 132, 0, FakeEditor::callback()), 0);
    EXPECT_FALSE(none.exists()) << "Cancel writes nothing";
    FreeLibrary(module);
}

// The PNG images go through the system's imaging component: the same
// entries as natively, the same pixels as Pillow's.
TEST(ModernIcons, OpenThroughTheDllAtTheChosenEntryAsPillowDecodesIt) {
    const char *artifacts = std::getenv("VELMCONV_ARTIFACTS");
    ASSERT_TRUE(artifacts && *artifacts);
    HMODULE module = LoadLibraryA(libraryPath().c_str());
    auto load = bind<LoadConvImageFn>(module, "LoadConvImage");
    for (const vctest::ModernIcon &c : vctest::kModernIcons) {
        const std::string file = std::string(artifacts) + "\\modern_icons\\" + c.file;
        FakeEditor ed;
        ConvImageRecord rec{};
        uint8_t format = 0;
        ASSERT_EQ(load(nullptr, file.c_str(), &rec, &format, 0, FakeEditor::callback()), 1) << c.file;
        const std::vector<uint8_t> &icon = ed.images.at(0).bytes;
        EXPECT_EQ(std::make_tuple(icon[4] | icon[5] << 8, int(icon[14])), std::make_tuple(c.width, c.bits)) << c.file;
        if (c.bits == 24) {
            EXPECT_EQ(vctest::iconPixelsDiffer(icon, file + "." + std::to_string(c.index) + ".rgba", c.maskFromAlpha), 0)
                << c.file;
        }
    }
    FreeLibrary(module);
}

}  // namespace
