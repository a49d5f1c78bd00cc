// "AVI Import", "AVI Select Frames" and "AVI Export" (templates 103 to
// 105) as real dialogs over a scripted companion library, worked through
// their controls: Shift and Ctrl clicks on the strip, the stepping dialog,
// delays, the rate, Cancel deleting the file the compression options made;
// a picture of each kept for the README.

#include <filesystem>

#include "controls/reel.h"
#include "support/fake_companion.h"
#include "video/avi.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using namespace wintest;
using namespace vctest;

COLORREF frameColour(int32_t frame) { return RGB(40 * (frame % 6), 255 - 20 * (frame % 12), 128); }

class AviDialogs : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        RegisterReelClass(plat::module());
        gFakeCompanion = &fake;
        AviLibrary::setTestCompanion(fakeCompanionLookup);
        fake.draw = [](int32_t frame, void *dc, int32_t x, int32_t y, int32_t cx, int32_t cy) {
            HBRUSH brush = CreateSolidBrush(frameColour(frame));
            RECT r{x, y, x + cx, y + cy};
            FillRect(HDC(dc), &r, brush);
            DeleteObject(brush);
            return frame != 1;  // frame 1 has no picture: the placeholder
        };
    }
    void TearDown() override {
        ViewTest::TearDown();
        AviLibrary::clearTestCompanion();
        gFakeCompanion = nullptr;
        UnregisterReelClass(plat::module());
    }
    FakeCompanion fake;
    FakeEditor editor;
};

TEST_F(AviDialogs, ImportBySelectionClicksAndTheSteppingDialog) {
    fake.count = 40, fake.width = 32, fake.height = 24;
    std::string afterStepping;
    whenOpen([&](HWND d) {
        EXPECT_EQ(title(d), "AVI Import");
        EXPECT_EQ(text(d, IDC_AVIIMP_COUNT) + "|" + text(d, IDC_AVIIMP_SIZE) + "|" + text(d, IDC_AVIIMP_RATE), "40|32 x 24|10");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        HWND strip = GetDlgItem(d, IDC_AVI_REEL);
        EXPECT_TRUE(atLeftEnd(strip));
        RedrawWindow(strip, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const Capture c = capture(strip);
        EXPECT_EQ(c.at(cellCentre(strip, 0).x, 10), uint32_t(GetRValue(frameColour(0))) << 16 | GetGValue(frameColour(0)) << 8 | 128)
            << "cells drawn by the companion";
        EXPECT_EQ(c.at(cellCentre(strip, 1).x - 4, 10), 0xC0C0C0u) << "the placeholder where it draws nothing";
        clickCell(d, IDC_AVI_REEL, 2);
        EXPECT_EQ(text(d, IDC_AVI_FRAME), "3");
        clickCell(d, IDC_AVI_REEL, 4, VK_SHIFT);
        clickCell(d, IDC_AVI_REEL, 3, VK_SHIFT);
        EXPECT_EQ(text(d, IDC_AVIIMP_SELLIST) + " " + text(d, IDC_AVIIMP_SELCOUNT), "4,5 (2):");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        screenshot(d, "avi_import.bmp");
        // Ctrl+click on unselected frame 6: the stepping dialog over 3..7,
        // once this click is done.
        whenOpen([&](HWND s) {
            s = FindWindowA(nullptr, "AVI Select Frames");
            ASSERT_NE(s, nullptr);
            ShowWindow(s, SW_SHOW);  // the modal loop shows it only once its queue is empty
            screenshot(s, "avi_select_frames.bmp");
            SetDlgItemTextA(s, IDC_AVISEL_NUMBER, "3");
            SetDlgItemTextA(s, IDC_AVISEL_STEP, "2");
            whenOpen([&](HWND i) {
                afterStepping = text(i, IDC_AVIIMP_SELLIST);
                click(i, IDOK);
            });
            click(s, IDOK);
        });
        clickCell(d, IDC_AVI_REEL, 6, VK_CONTROL);
    });
    EXPECT_EQ(LoadAviImage("in.avi", parent.hwnd, 0, FakeEditor::callback()), vc::Result::ok);
    EXPECT_EQ(std::make_tuple(afterStepping, editor.images.size()), std::make_tuple("3,5,7", size_t(3)));
}

TEST_F(AviDialogs, ImportWhoseDialogCannotBeMadeImportsNothing) {
    fake.count = 4, fake.width = 32, fake.height = 24;
    UnregisterReelClass(plat::module());  // without its strip's class the dialog cannot be made
    EXPECT_EQ(LoadAviImage("in.avi", parent.hwnd, 0, FakeEditor::callback()), vc::Result::cancelled);
    EXPECT_TRUE(editor.images.empty());
}

TEST_F(AviDialogs, ExportDelaysRateRunAndCancel) {
    for (int i = 0; i < 3; ++i) editor.addFrame(makeDib(16, 16, 8));
    editor.imageWidth = editor.imageHeight = 16;
    const ScratchFile file("avi_export.avi", "", false);
    std::string shown;
    whenOpen([&](HWND d) {
        EXPECT_EQ(title(d), "AVI Export");
        shown = text(d, IDC_AVIEXP_RATE) + " " + text(d, IDC_AVIEXP_DELAY) + " " + text(d, IDC_AVIEXP_TOTAL);
        SetDlgItemTextA(d, IDC_AVIEXP_DELAY, "2");
        clickCell(d, IDC_AVI_REEL, 2);  // frame 0 gets 2
        SetDlgItemTextA(d, IDC_AVIEXP_RATE, "30");
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_AVIEXP_RATE, EN_KILLFOCUS), LPARAM(GetDlgItem(d, IDC_AVIEXP_RATE)));
        EXPECT_EQ(text(d, IDC_AVIEXP_RATE), "12");
        arrow(d, IDC_AVIEXP_RATE_SPIN, SB_LINEUP);
        arrow(d, IDC_AVIEXP_RATE_SPIN, SB_ENDSCROLL);
        EXPECT_EQ(text(d, IDC_AVIEXP_RATE) + " " + text(d, IDC_AVIEXP_TOTAL), "13 0.31s");
        screenshot(d, "avi_export.bmp");
        click(d, IDC_AVIEXP_COMPRESS);
        EXPECT_TRUE(file.exists());
        click(d, IDCANCEL);
    });
    HGLOBAL block = toBlock(editor.images[0].bytes);
    EXPECT_EQ(SaveAviImage(file.path(), parent.hwnd, 0, nullptr, block, FakeEditor::callback()), vc::Result::cancelled);
    EXPECT_EQ(shown, "12 1 0.25s");
    EXPECT_EQ(fake.optionsShown, 1);
    EXPECT_FALSE(file.exists()) << "Cancel deletes the file the options made";

    whenOpen([](HWND d) {
        SetDlgItemTextA(d, IDC_AVIEXP_DELAY, "3");
        click(d, IDOK);
    });
    EXPECT_EQ(SaveAviImage(file.path(), parent.hwnd, 0, nullptr, block, FakeEditor::callback()), vc::Result::ok);
    GlobalFree(block);
    EXPECT_EQ(fake.positions, (std::vector<int32_t>{0, 3, 4}));
    EXPECT_EQ(fake.params.rate, 12);
}

// The dialog over the companion beside the program (Video for Windows):
// a video FFmpeg wrote, its cells drawn by the system's video drawing.
TEST_F(AviDialogs, ImportThroughTheCompanionOverVideoForWindows) {
    AviLibrary::clearTestCompanion();
    const std::string file = inFolder("VELMCONV_AVI_FILES", "bgr24.avi");
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no AVI files made (avi_files.sh)";
    uint32_t cells[2] = {};
    whenOpen([&](HWND d) {
        HWND strip = GetDlgItem(d, IDC_AVI_REEL);
        RedrawWindow(strip, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const Capture c = capture(strip);
        for (int i = 0; i < 2; ++i) cells[i] = c.at(cellCentre(strip, i).x, 12);
        clickCell(d, IDC_AVI_REEL, 0, VK_SHIFT);
        clickCell(d, IDC_AVI_REEL, 29, VK_SHIFT);
        screenshot(d, "avi_import_video.bmp");
        click(d, IDOK);
    });
    EXPECT_EQ(LoadAviImage(file.c_str(), parent.hwnd, 0, FakeEditor::callback()), vc::Result::ok);
    EXPECT_NE(cells[0], 0xC0C0C0u) << "a picture, not the placeholder";
    EXPECT_EQ(editor.images.size(), 2u);
}

}  // namespace
