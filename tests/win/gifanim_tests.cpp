// The GIF import options (template 109) as a real Windows dialog from the
// program's own resources, driven through its three modes, the size arrows
// and a refused size, with a picture kept as an artefact. (A GIF with frames
// of two sizes loaded through VelmConv32.dll, asking with the library's own
// template, is dialogs_host.sh's: the Windows host answers it.)

#include "gif/gif_import.h"
#include "gif/gif_record.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using namespace wintest;

class GifImportDialogWin : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        record.formatCode = 167;
        record.frameCount = 3;
        const uint16_t sizes[3][3] = {{10, 20, 8}, {30, 5, 4}, {16, 16, 1}};
        for (int i = 0; i < 3; ++i)
            record.frames[i] = GifFrameEntry{sizes[i][2], 0, 0, sizes[i][0], sizes[i][1], 0, 0, -1, 0, 0, 0, 0};
    }
    GifAnimRecord record{};
    FakeEditor editor;
};

// The model's rules are the native GifDialogs tables'; here the template,
// the arrows, the list and the focus as the Windows view handles them.
TEST_F(GifImportDialogWin, OpensWithItsTextsStepsRefusesAndTakesEachChoice) {
    GifImportOptionsModel model;
    model.record = &record;
    model.callback = FakeEditor::callback();
    model.start();
    bool stayed = false, focusOnWidth = false;
    whenOpen([&](HWND d) {
        EXPECT_EQ((std::vector<std::string>{title(d), text(d, IDC_GIFIMP_SEQUENCE), text(d, IDC_GIFIMP_FRAME),
                                            text(d, IDC_GIFIMP_ASSEMBLED), listLine(d, IDC_GIFIMP_LIST, 0), listLine(d, IDC_GIFIMP_LIST, 2),
                                            text(d, IDC_GIFIMP_WIDTH), text(d, IDC_GIFIMP_HEIGHT)}),
                  (std::vector<std::string>{"GIF - Importoptionen", "Import all frames as a sequence",
                                            "Import a particular frame only:", "Import the resulting assembled image",
                                            "Frame 0: 10x20  256 Colors", "Frame 2: 16x16  2 Colors", "30", "20"}));
        EXPECT_TRUE(checked(d, IDC_GIFIMP_SEQUENCE) && IsWindowEnabled(GetDlgItem(d, IDC_GIFIMP_WIDTH)));
        screenshot(d, "gif_import_options.bmp");
        arrow(d, IDC_GIFIMP_WIDTH_SPIN, SB_LINEDOWN);
        EXPECT_EQ(text(d, IDC_GIFIMP_WIDTH), "29");
        // A width below 8: OK beeps, the width gets the focus, the dialog stays.
        SetDlgItemTextA(d, IDC_GIFIMP_WIDTH, "7");
        click(d, IDOK);
        stayed = IsWindow(d) && IsWindowVisible(d);
        focusOnWidth = GetFocus() == GetDlgItem(d, IDC_GIFIMP_WIDTH);
        SetDlgItemTextA(d, IDC_GIFIMP_WIDTH, "16");
        click(d, IDOK);
    });
    EXPECT_EQ(plat::runDialog(parent.hwnd, IDD_GIF_IMPORT, model), kGifImportSequence);
    EXPECT_TRUE(stayed && focusOnWidth);
    EXPECT_EQ(std::make_tuple(model.beeps, record.outputWidth, record.outputHeight), std::make_tuple(1, 16, 20));

    whenOpen([&](HWND d) {
        pickLine(d, IDC_GIFIMP_LIST, 2);  // a line chosen: the frame radio
        EXPECT_TRUE(checked(d, IDC_GIFIMP_FRAME));
        click(d, IDOK);
    });
    EXPECT_EQ(ShowGifImportOptions(parent.hwnd, &record, FakeEditor::callback()), kGifImportFrame);
    EXPECT_EQ(record.selectedFrame, 2u);
    whenOpen([](HWND d) { click(d, IDCANCEL); });
    EXPECT_EQ(ShowGifImportOptions(parent.hwnd, &record, FakeEditor::callback()), kGifImportCancel);
}

}  // namespace
