// What a host reads of the library's dialogs through the public headless
// calls alone, as a C host does: a responder of plain functions reads the
// resource picker's list and preview and the GIF import options' list and
// radios, and gets "none" for controls a dialog does not have.
#include <string>
#include <vector>

#include "support/fake_editor.h"
#include "support/gif_bytes.h"
#include "support/library_test.h"
#include "support/program_files.h"
#include "velmconv/headless.h"

namespace {

using namespace vctest;

// A control's text as a C host reads it into a small buffer; "-" for none.
std::string text(VcDialog *d, int32_t id) {
    char buffer[40];
    return VcDialogGetText(d, id, buffer, sizeof buffer) >= 0 ? buffer : "-";
}

std::string line(VcDialog *d, int32_t id, int32_t index) {
    char buffer[40];
    return VcDialogListText(d, id, index, buffer, sizeof buffer) >= 0 ? buffer : "-";
}

// What the responder read; it cancels every dialog.
struct Seen {
    std::vector<std::string> lines;
    std::vector<int> checks;
    std::vector<int32_t> none;  // what calls for missing controls returned
    int32_t length = 0;
    int32_t result = 0;  // of the load
};

intptr_t readPicker(void *user, int32_t templateId, VcDialog *d) {
    Seen &seen = *static_cast<Seen *>(user);
    if (templateId != VC_IDD_RESOURCE_BITMAP) return 0;
    const int32_t count = VcDialogListCount(d, VC_IDC_RESBMP_LIST);
    for (int32_t i = 0; i < count; ++i) {
        VcDialogSelect(d, VC_IDC_RESBMP_LIST, i);
        seen.lines.push_back(line(d, VC_IDC_RESBMP_LIST, i) + "|" + text(d, VC_IDC_RESBMP_SIZE) + "|" +
                             text(d, VC_IDC_RESBMP_COLORS));
    }
    seen.checks.push_back(VcDialogChecked(d, VC_IDC_RESBMP_SHOW));
    VcDialogClick(d, VC_IDC_RESBMP_SHOW);  // the preview off: the statics empty
    seen.checks.push_back(VcDialogChecked(d, VC_IDC_RESBMP_SHOW));
    seen.lines.push_back(text(d, VC_IDC_RESBMP_SIZE) + "|" + text(d, VC_IDC_RESBMP_COLORS));
    char cut[4];  // the file's name cut to fit, its whole length returned
    seen.length = VcDialogGetText(d, VC_IDC_RESBMP_FILE, cut, sizeof cut);
    seen.lines.push_back(cut);
    seen.none = {VcDialogListText(d, VC_IDC_RESBMP_LIST, count, cut, sizeof cut), VcDialogListText(d, VC_IDC_RESBMP_LIST, -1, cut, sizeof cut),
                 VcDialogListCount(d, VC_IDC_RESBMP_SIZE), VcDialogChecked(d, VC_IDC_RESBMP_LIST),
                 VcDialogReelCount(d, VC_IDC_RESBMP_LIST), VcDialogGetText(d, 999, cut, sizeof cut)};
    return 0;
}

intptr_t readGifImport(void *user, int32_t templateId, VcDialog *d) {
    Seen &seen = *static_cast<Seen *>(user);
    if (templateId != VC_IDD_GIF_IMPORT) return 0;
    for (int32_t i = 0; i < VcDialogListCount(d, VC_IDC_GIFIMP_LIST); ++i) seen.lines.push_back(line(d, VC_IDC_GIFIMP_LIST, i));
    seen.lines.push_back(text(d, VC_IDC_GIFIMP_WIDTH) + "x" + text(d, VC_IDC_GIFIMP_HEIGHT));
    const auto radios = [&] {
        for (int id : {VC_IDC_GIFIMP_SEQUENCE, VC_IDC_GIFIMP_FRAME, VC_IDC_GIFIMP_ASSEMBLED}) seen.checks.push_back(VcDialogChecked(d, id));
    };
    radios();
    VcDialogSelect(d, VC_IDC_GIFIMP_LIST, 1);  // a frame chosen: its radio with it
    radios();
    seen.none = {VcDialogChecked(d, VC_IDC_GIFIMP_LIST), VcDialogListCount(d, VC_IDC_GIFIMP_WIDTH),
                 VcDialogReelCount(d, VC_IDC_GIFIMP_LIST)};
    VcDialogClick(d, VC_IDCANCEL);
    return VC_DIALOG_DEFAULT;
}

class DialogReading : public LibraryTest {
protected:
    Seen answer(intptr_t (*responder)(void *, int32_t, VcDialog *), const std::string &file, HostCallback callback) {
        Seen seen;
        VcUiHost host{};
        host.user = &seen;
        host.dialog = responder;
        VcSetUiHost(&host);
        char name[260] = {};
        std::snprintf(name, sizeof name, "%s", file.c_str());
        ConvImageRecord record{};
        uint8_t format = 0;
        seen.result = LoadConvImage(nullptr, name, callback ? nullptr : &record, &format, 0, callback);
        return seen;
    }
};

TEST_F(DialogReading, ResourcePickerListAndPreview) {
    const std::string file = writeFile("a.exe", buildNe({{"HELLO", 0, 2, dib(20, 10, 1, true)}, {"", 5, 2, dib(32, 32, 4)}}));
    const Seen seen = answer(readPicker, file, nullptr);
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"     5|32x32|16", "HELLO|20x10|2", "|", file.substr(0, 3)}));
    EXPECT_EQ(std::tuple(seen.length, seen.result), std::tuple(int32_t(file.size()), int32_t(CONV_CANCELLED)));
    EXPECT_EQ(seen.checks, (std::vector<int>{1, 0}));
    EXPECT_EQ(seen.none, (std::vector<int32_t>(6, -1)));
}

TEST_F(DialogReading, GifImportOptionsListAndRadios) {
    gifsupport::GifBytes two;
    two.header(4, 4, 3, 3);
    two.image(0, 0, 4, 4, std::vector<uint8_t>(16, 1), 4);
    two.image(2, 1, 2, 2, std::vector<uint8_t>(4, 0), 4);
    FakeEditor editor;
    const Seen seen = answer(readGifImport, writeFile("two.gif", two.trailer().b), FakeEditor::callback());
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"Frame 0: 4x4  16 Colors", "Frame 1: 2x2  16 Colors", "4x4"}));
    EXPECT_EQ(seen.checks, (std::vector<int>{1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(seen.none, (std::vector<int32_t>(3, -1)));
}

}  // namespace
