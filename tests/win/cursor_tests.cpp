// The cursor format questions of VelmConv32.dll as real Windows dialogs
// from its own resources (templates 107 and 108), asked by a cursor save and
// by command 1002 and driven the way a user would (radio buttons, X/Y
// fields, OK, Cancel), a picture of each kept as an artefact; icons as
// today's tools write them opened through it.

#include "support/icon_pixels.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

using CursorDialogs = LibraryTest;

TEST_F(CursorDialogs, SelectCursorFormatShowsItsControlsAndMapsOtherAndCancel) {
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.addIcon(vctest::iconFromDib(vctest::makeDib(48, 48, 4)));
    ScratchFile kept("kept.cur", "", false), none("none.cur", "", false);
    bool looked = false;
    whenOpen([&](HWND d) {
        looked = true;
        EXPECT_EQ((std::vector<std::string>{title(d), text(d, IDC_CURSOR_SIZE32), text(d, IDC_CURSOR_SIZE_OTHER)}),
                  (std::vector<std::string>{"Select Cursor Format", "32 x 32  (recommended)", "Maintain current size"}));
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE32));
        EXPECT_NE(SendDlgItemMessageA(d, IDC_CURSOR_WARNING, STM_GETICON, 0, 0), 0) << "exclamation icon";
        screenshot(d, "select_cursor_format.bmp");
        click(d, IDC_CURSOR_SIZE_OTHER);
        EXPECT_FALSE(checked(d, IDC_CURSOR_SIZE32)) << "one radio group";
        click(d, IDOK);
    });
    ASSERT_EQ(save(parent.hwnd, kept.path(), nullptr, 132, 0, FakeEditor::callback()), 1);
    EXPECT_TRUE(looked);
    ASSERT_EQ(ed.iconRequests.size(), 1u);
    EXPECT_EQ(ed.iconRequests[0].width + 65536 * ed.iconRequests[0].height, 48 + 65536 * 48) << "the size kept";
    whenOpen([](HWND d) { click(d, IDCANCEL); });
    EXPECT_EQ(save(parent.hwnd, none.path(), nullptr, 132, 0, FakeEditor::callback()), 0);
    EXPECT_FALSE(none.exists()) << "Cancel writes nothing";
}

TEST_F(CursorDialogs, ChangeCursorFormatIsDrivenToTheRecordItFills) {
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.colorSetting = 3;
    bool refusedStayedOpen = false;
    whenOpen([&](HWND d) {
        EXPECT_EQ(title(d), "Change Cursor Format");
        EXPECT_EQ(text(d, IDC_CURSOR_X), "48");
        EXPECT_TRUE(checked(d, IDC_CURSOR_SIZE32) && checked(d, IDC_CURSOR_COLORS2) && checked(d, IDC_CURSOR_SCALE));
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
    auto command = bind<ProcessCommandFn>(module_, "ProcessCommand");
    EXPECT_EQ(command(parent.hwnd, CONV_CMD_CHANGE_FORMAT, CONV_FMT_ANI, nullptr, 0, FakeEditor::callback()), 1);
    EXPECT_TRUE(refusedStayedOpen);
    ASSERT_EQ(ed.formatChanges.size(), 1u);
    const ConvFormatChange &r = ed.formatChanges[0];
    EXPECT_EQ((std::vector<uint32_t>{r.width, r.height, r.colors, r.scale, r.reserved}),
              (std::vector<uint32_t>{8, 300, 256, 0, 0}));
}

// The PNG images go through the system's imaging component: the same
// entries as natively, the same pixels as Pillow's.
TEST_F(CursorDialogs, ModernIconsOpenAtTheChosenEntryAsPillowDecodesIt) {
    for (const vctest::ModernIcon &c : vctest::kModernIcons) {
        const std::string file = inFolder("VELMCONV_ARTIFACTS", std::string("modern_icons\\") + c.file);
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
}

}  // namespace
