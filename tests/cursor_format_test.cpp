// The cursor format questions: the buttons a host reads of both, the
// change-format dialog's start state, check of "other" and the record it
// fills. When the size question comes up, and what its answers make of a
// new cursor animation, is Ani.NewFileAndTheChangeFormatCommandAskTheCursorFormat's.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "cursor/cursor_format.h"
#include "platform/headless_dialog.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;
using vc::ChangeCursorFormatModel;

namespace {
class CursorFormat : public LibraryTest {
protected:
    uint32_t select() { return vc::SelectCursorSize(nullptr, FakeEditor::callback()); }
    // Template 108 for a user who does `act` and then presses what it returns
    // (1 OK, 2 Cancel, 0 Enter): the result and width, height, colours, scale, reserved.
    std::pair<int32_t, std::vector<uint32_t>> change(std::function<int(ChangeCursorFormatModel &)> act,
                                                      ConvFormatChange r = {111, 222, 333, 444, 555}) {
        ui.dialogAnswer = [&](int32_t id, VcDialog *dialog) -> intptr_t {
            EXPECT_EQ(id, vc::kChangeCursorTemplate);
            auto *m = vc::plat::dialogAs<ChangeCursorFormatModel>(dialog);
            if (!m) return -98;
            int button = act ? act(*m) : 0;
            if (button == 0) return VC_DIALOG_DEFAULT;
            if (!VcDialogClick(dialog, button)) return -99;  // OK refused
            return m->result();
        };
        int32_t result = vc::ChangeCursorFormatDialog(nullptr, FakeEditor::callback(), &r);
        ui.dialogAnswer = nullptr;
        return {result, {r.width, r.height, r.colors, r.scale, r.reserved}};
    }
    FakeEditor ed;
    UiRecorder ui;
};
}  // namespace

TEST_F(CursorFormat, ChangeFormatStartsFromTheEditorsImageAndCancelKeepsTheRecord) {
    const std::tuple<uint16_t, uint16_t, intptr_t, int, int, const char *> cases[] = {  // image, colours; buttons on, x shown
        {48, 48, 16, vc::kCursorSize32, vc::kCursorColors16, "48"}, {16, 16, 3, vc::kCursorSize16, vc::kCursorColors2, "16"},
        {64, 32, 2, vc::kCursorSize32, vc::kCursorColors2, "64"},   {32, 32, 15, vc::kCursorSize32, vc::kCursorColors2, "32"},
        {64, 64, 17, vc::kCursorSize64, vc::kCursorColors256, "64"}, {0, 0, 16, vc::kCursorSize32, vc::kCursorColors16, "0"},
    };
    for (const auto &[w, h, colors, size, colorButton, x] : cases) {
        ed.hasImage = w != 0, ed.imageWidth = w, ed.imageHeight = h, ed.colorSetting = colors;
        ed.calls.clear();
        auto [result, record] = change([&](ChangeCursorFormatModel &m) {
            EXPECT_EQ(std::make_tuple(m.sizeChoice, m.colorChoice, m.x, m.y, m.scale),
                      std::make_tuple(size, colorButton, std::string(x), std::to_string(h), true)) << w << "x" << h << " " << colors;
            m.click(vc::kCursorSize16);
            return 2;
        });
        // Cancelled; only the colours (the editor's answer to the second of
        // its two queries) were filled at start.
        EXPECT_EQ(std::pair(result, record), std::pair(0, std::vector<uint32_t>{111, 222, uint32_t(colors), 444, 555}));
        EXPECT_EQ(ed.commands(), (std::vector<int32_t>{0, 0}));
    }
}

TEST_F(CursorFormat, ChangeFormatOkFillsTheRecordAndValidatesOther) {
    ed.imageWidth = ed.imageHeight = 48;
    ed.colorSetting = 16;
    // Enter (the buttons and OK are driven through the real dialog under wine).
    EXPECT_EQ(change(nullptr), std::make_pair(1, std::vector<uint32_t>{32, 32, 16, 1, 0}));
    // "other": whole numbers of at least 8, no upper limit; a refused OK
    // beeps and fills nothing; a headless Enter on it ends like Cancel.
    struct Other {
        const char *x, *y;
        uint32_t width, height;  // 0: refused
        int button = 1;
    } others[] = {{"8", "300", 8, 300},   {" 20 ", "4000", 20, 4000}, {"7", "300", 0, 0},  {"8", "7", 0, 0},
                  {"", "32", 0, 0},       {"12x", "32", 0, 0},        {"-8", "32", 0, 0},
                  {"99999999999999999999", "32", 0, 0}, {"7", "32", 0, 0, 0}};
    for (const Other &o : others) {
        const size_t beeps = ui.beeps.size();
        auto [result, record] = change([&](ChangeCursorFormatModel &m) {
            m.click(vc::kCursorSizeOther);
            m.x = o.x, m.y = o.y;
            return o.button;
        });
        EXPECT_EQ(std::make_tuple(result, record[0], record[1], ui.beeps.size() - beeps),
                  std::make_tuple(o.width ? 1 : 0, o.width ? o.width : 111u, o.width ? o.height : 222u, size_t(o.width ? 0 : 1)))
            << o.x << "," << o.y;
    }
    // No colour button on: the editor's value stays.
    auto none = change([](ChangeCursorFormatModel &m) { return m.colorChoice = 0, 1; }, {0, 0, 0, 0, 9});
    EXPECT_EQ(std::pair(none.second[2], none.second[4]), std::pair(16u, 0u));
}

// A host works both questions through the public calls: the template, the
// checked radio of each group and "Scale Image" before and after a click
// (none for a control that is no button), the fields' texts (cut to fit);
// a control that is not there does nothing.
TEST_F(CursorFormat, ButtonsAndFieldsWorkThroughThePublicCalls) {
    std::vector<int> seen;
    ui.dialogAnswer = [&](int32_t id, VcDialog *d) -> intptr_t {
        const bool change = id == VC_IDD_CHANGE_CURSOR;
        const auto read = [&] {
            for (int c = VC_IDC_CURSOR_SIZE16; c <= (change ? VC_IDC_CURSOR_SCALE : VC_IDC_CURSOR_SIZE_KEEP); ++c)
                seen.push_back(VcDialogChecked(d, c));
        };
        read();
        EXPECT_EQ(VcDialogTemplate(d), id);
        VcDialogClick(d, change ? VC_IDC_CURSOR_SIZE_OTHER : VC_IDC_CURSOR_SIZE16);
        if (change) {
            char text[8] = {};
            EXPECT_EQ(VcDialogGetText(d, vc::kCursorEditX, text, 2), 2);  // "48", cut to fit
            EXPECT_STREQ(text, "4");
            EXPECT_EQ(VcDialogSetText(d, vc::kCursorEditY, "9") + VcDialogClick(d, VC_IDC_CURSOR_COLORS256) +
                          VcDialogClick(d, VC_IDC_CURSOR_SCALE),
                      3);
            EXPECT_EQ(VcDialogGetText(d, 999, text, sizeof text) + VcDialogSetText(d, 999, "1") + VcDialogClick(d, 999) +
                          VcDialogSelect(d, vc::kCursorEditX, 0),
                      -1);
        }
        read();
        return VC_DIALOG_DEFAULT;
    };
    ed.imageWidth = ed.imageHeight = 48, ed.colorSetting = 16;
    EXPECT_EQ(select(), 16u | 16u << 16);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 0, 0, 1, 0, 0, 0}));
    seen.clear();
    ConvFormatChange r{};
    EXPECT_EQ(vc::ChangeCursorFormatDialog(nullptr, FakeEditor::callback(), &r), 1);
    // 100-103 size, 104-105 the fields (no buttons), 106-108 colours, 109 scale.
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 0, 0, -1, -1, 0, 1, 0, 1, 0, 0, 0, 1, -1, -1, 0, 0, 1, 0}));
    EXPECT_EQ(std::make_tuple(r.width, r.height, r.colors, r.scale), std::make_tuple(48u, 9u, 256u, 0u));
    // The editor cannot tell the size: 0, whatever the question is answered.
    ed.hasImage = false;
    EXPECT_EQ(select(), 0u);
}
