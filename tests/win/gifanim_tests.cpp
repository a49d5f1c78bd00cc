// The GIF import options (template 109) as a real Windows dialog from the
// program's own resources, driven through its three modes, the size arrows
// and a refused size, with a picture kept as an artefact. Then animated
// GIFs through VelmConv32.dll: frames in, the document, the question from
// the library's own resources, and the animation saved and read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gif/gif_import.h"
#include "gif/gif_record.h"
#include "platform/platform.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/gif_bytes.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using namespace wintest;
using vctest::FakeEditor;

std::string listLine(HWND dialog, int index) {
    char buffer[128] = {};
    SendDlgItemMessageA(dialog, IDC_GIFIMP_LIST, LB_GETTEXT, WPARAM(index), LPARAM(buffer));
    return buffer;
}
void pickListLine(HWND dialog, int index) {
    HWND list = GetDlgItem(dialog, IDC_GIFIMP_LIST);
    SendMessageA(list, LB_SETCURSEL, WPARAM(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_GIFIMP_LIST, LBN_SELCHANGE), LPARAM(list));
}
void arrow(HWND dialog, int scrollBar, int code) {
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(code, 0), LPARAM(GetDlgItem(dialog, scrollBar)));
}

GifFrameEntry frame(uint16_t w, uint16_t h, uint16_t bits) {
    GifFrameEntry e{};
    e.width = w, e.height = h, e.bitsPerPixel = bits, e.transparentIndex = -1;
    return e;
}

class GifImportDialogWin : public ::testing::Test {
protected:
    void SetUp() override {
        plat::setModule(GetModuleHandleA(nullptr));
        record = static_cast<GifAnimRecord *>(std::calloc(1, sizeof(GifAnimRecord)));
        record->formatCode = 167;
        record->frameCount = 3;
        record->frames[0] = frame(10, 20, 8);
        record->frames[1] = frame(30, 5, 4);
        record->frames[2] = frame(16, 16, 1);
    }
    void TearDown() override {
        disarm();
        std::free(record);
    }
    TestWindow parent{100, 100, 640, 480};
    GifAnimRecord *record = nullptr;
    FakeEditor editor;
};

TEST_F(GifImportDialogWin, OpensWithItsTextsAndTakesTheSequenceAtAChosenSize) {
    bool looked = false, stayed = false, focusOnWidth = false;
    GifImportOptionsModel model;
    model.record = record;
    model.callback = FakeEditor::callback();
    model.start();
    whenOpen([&](HWND d) {
        looked = true;
        EXPECT_EQ(title(d), "GIF - Importoptionen");
        EXPECT_EQ(text(d, IDC_GIFIMP_SEQUENCE), "Import all frames as a sequence");
        EXPECT_EQ(text(d, IDC_GIFIMP_FRAME), "Import a particular frame only:");
        EXPECT_EQ(text(d, IDC_GIFIMP_ASSEMBLED), "Import the resulting assembled image");
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_GIFIMP_LIST, LB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(listLine(d, 0), "Frame 0: 10x20  256 Colors");
        EXPECT_EQ(listLine(d, 2), "Frame 2: 16x16  2 Colors");
        EXPECT_EQ(text(d, IDC_GIFIMP_WIDTH), "30");
        EXPECT_EQ(text(d, IDC_GIFIMP_HEIGHT), "20");
        EXPECT_TRUE(checked(d, IDC_GIFIMP_SEQUENCE));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_GIFIMP_WIDTH)));
        screenshot(d, "gif_import_options.bmp");
        // The arrows step inside the frames' widths and bring the sequence back.
        click(d, IDC_GIFIMP_ASSEMBLED);
        arrow(d, IDC_GIFIMP_WIDTH_SPIN, SB_LINEDOWN);
        EXPECT_EQ(text(d, IDC_GIFIMP_WIDTH), "29");
        EXPECT_TRUE(checked(d, IDC_GIFIMP_SEQUENCE));
        EXPECT_FALSE(checked(d, IDC_GIFIMP_ASSEMBLED));
        // A width below 8: OK beeps, the width gets the focus, the dialog stays.
        SetDlgItemTextA(d, IDC_GIFIMP_WIDTH, "7");
        click(d, IDOK);
        stayed = IsWindow(d) && IsWindowVisible(d);
        focusOnWidth = GetFocus() == GetDlgItem(d, IDC_GIFIMP_WIDTH);
        SetDlgItemTextA(d, IDC_GIFIMP_WIDTH, "16");
        click(d, IDOK);
    });
    EXPECT_EQ(plat::runDialog(parent.hwnd, IDD_GIF_IMPORT, model), kGifImportSequence);
    EXPECT_TRUE(looked);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(focusOnWidth);
    EXPECT_EQ(model.beeps, 1);
    EXPECT_EQ(record->outputWidth, 16);
    EXPECT_EQ(record->outputHeight, 20);
}

TEST_F(GifImportDialogWin, ParticularFrameAssembledImageAndCancel) {
    bool refused = false;
    whenOpen([&](HWND d) {
        // The frame radio without a line: refused, the list gets the focus.
        click(d, IDC_GIFIMP_FRAME);
        click(d, IDOK);
        refused = IsWindowVisible(d) && GetFocus() == GetDlgItem(d, IDC_GIFIMP_LIST);
        click(d, IDC_GIFIMP_SEQUENCE);
        pickListLine(d, 2);
        EXPECT_TRUE(checked(d, IDC_GIFIMP_FRAME));
        click(d, IDOK);
    });
    EXPECT_EQ(ShowGifImportOptions(parent.hwnd, record, FakeEditor::callback()), kGifImportFrame);
    EXPECT_TRUE(refused);
    EXPECT_EQ(record->selectedFrame, 2u);

    whenOpen([](HWND d) {
        click(d, IDC_GIFIMP_ASSEMBLED);
        click(d, IDOK);
    });
    EXPECT_EQ(ShowGifImportOptions(parent.hwnd, record, FakeEditor::callback()), kGifImportAssembled);

    whenOpen([](HWND d) { click(d, IDCANCEL); });
    EXPECT_EQ(ShowGifImportOptions(parent.hwnd, record, FakeEditor::callback()), kGifImportCancel);

    // An editor that already has frames fixes the size and locks the fields.
    editor.addFrame(vctest::makeDib(48, 40, 8));
    editor.imageWidth = 48, editor.imageHeight = 40;
    bool locked = false;
    whenOpen([&](HWND d) {
        locked = !IsWindowEnabled(GetDlgItem(d, IDC_GIFIMP_WIDTH)) && !IsWindowEnabled(GetDlgItem(d, IDC_GIFIMP_HEIGHT_SPIN));
        EXPECT_EQ(text(d, IDC_GIFIMP_WIDTH), "48");
        click(d, IDOK);
    });
    EXPECT_EQ(ShowGifImportOptions(parent.hwnd, record, FakeEditor::callback()), kGifImportSequence);
    EXPECT_TRUE(locked);
    EXPECT_EQ(record->outputHeight, 40);
}

// ---- Through VelmConv32.dll ---------------------------------------------------------

// A GIF of frames given as (left, top, width, height, index), each after a
// graphic control of delay 12 that disposes to the background.
struct FrameSpec {
    unsigned left, top, width, height, value;
};
std::string makeGif(unsigned w, unsigned h, const std::vector<FrameSpec> &frames) {
    gifsupport::GifBytes g;
    g.header(w, h, 7);
    for (const auto &f : frames)
        g.control(2 << 2, 12, 0).image(f.left, f.top, f.width, f.height, std::vector<uint8_t>(f.width * f.height, f.value), 8);
    const std::vector<uint8_t> &b = g.trailer().b;
    return std::string(b.begin(), b.end());
}

class GifAnimDll : public LibraryTest {
protected:
    TestWindow parent{100, 100, 640, 480};
};

TEST_F(GifAnimDll, AnAnimationLoadsAsFramesSavesAndReadsBack) {
    ScratchFile in("anim_in.gif", makeGif(6, 4, {{0, 0, 6, 4, 10}, {0, 0, 6, 4, 20}, {0, 0, 6, 4, 30}}));
    FakeEditor ed;
    uint8_t format = 0;
    ASSERT_EQ(load(parent.hwnd, in.path(), nullptr, &format, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(format, 167);
    ASSERT_EQ(ed.images.size(), 3u);
    ASSERT_EQ(ed.documents.size(), 1u);
    EXPECT_EQ(ed.menuItems.size(), 3u);
    EXPECT_EQ(ed.images[1].flags, 0x111);
    EXPECT_EQ(ed.images[2].bytes[40 + 4 * 256], 30);  // first pixel, past the 256 colours

    // Saved by the editor as an animated GIF (its document holds the
    // settings), then read back by a second editor.
    ed.imageWidth = 6, ed.imageHeight = 4;
    ed.colorSetting = 256;
    ScratchFile out("anim_out.gif", std::string(), false);
    ASSERT_EQ(save(parent.hwnd, out.path(), nullptr, 167, 0, FakeEditor::callback()), 1);
    // The file had no looping block, so neither has the document nor the copy.
    EXPECT_EQ(out.read().find("NETSCAPE2.0"), std::string::npos);

    FakeEditor back;
    ASSERT_EQ(load(parent.hwnd, out.path(), nullptr, &format, 0, FakeEditor::callback()), 1);
    ASSERT_EQ(back.images.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(back.images[i].bytes[40 + 4 * 256], 10 * (i + 1)) << i;
    auto *r = static_cast<const GifAnimRecord *>(GlobalLock(static_cast<HGLOBAL>(back.documents[0])));
    EXPECT_EQ(r->frameCount, 3);
    EXPECT_EQ(r->frames[1].delay, 12);
    EXPECT_EQ(r->frames[1].disposal, 2);
    GlobalUnlock(static_cast<HGLOBAL>(back.documents[0]));
}

TEST_F(GifAnimDll, MixedSizesAskWithTheLibrarysOwnDialog) {
    ScratchFile in("mixed.gif", makeGif(12, 10, {{0, 0, 12, 10, 1}, {2, 2, 4, 4, 7}}));
    FakeEditor ed;
    bool asked = false;
    whenOpen([&](HWND d) {
        asked = title(d) == "GIF - Importoptionen";
        click(d, IDC_GIFIMP_ASSEMBLED);
        click(d, IDOK);
    });
    uint8_t format = 0;
    ASSERT_EQ(load(parent.hwnd, in.path(), nullptr, &format, 0, FakeEditor::callback()), 1);
    EXPECT_TRUE(asked);
    ASSERT_EQ(ed.images.size(), 1u);
    EXPECT_EQ(ed.images[0].flags, 0x11);
}

}  // namespace
