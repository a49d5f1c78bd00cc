// The cursor format questions: when the size question comes up and what
// each answer maps to, and the change-format dialog's start-up, buttons,
// validation of "other" and the record it fills.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cursor/cursor_format.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "velmconv/headless.h"

using namespace vctest;

namespace {
class CursorFormat : public LibraryTest {};

uint32_t select(FakeEditor &, UiRecorder &) { return vc::SelectCursorSize(nullptr, FakeEditor::callback()); }

// Runs template 108 with a user who does `act` to the dialog and then
// presses the button the act returns (1 OK, 2 Cancel, 0 Enter).
struct ChangeRun {
    int32_t result = -1;
    ConvFormatChange record{};
};
ChangeRun runChange(UiRecorder &ui, std::function<int(vc::ChangeCursorFormatModel &)> act,
                    ConvFormatChange start = {111, 222, 333, 444, 555}) {
    ChangeRun run;
    run.record = start;
    ui.dialogAnswer = [&](int32_t id, void *model) -> intptr_t {
        EXPECT_EQ(id, vc::kChangeCursorTemplate);
        auto &m = *static_cast<vc::ChangeCursorFormatModel *>(static_cast<vc::plat::DialogModel *>(model));
        int button = act ? act(m) : 0;
        if (button == 2) return vc::ChangeCursorFormatModel::cancel();
        if (button == 1) return m.ok() ? 1 : -99;  // -99: OK refused, dialog would stay open
        return VC_DIALOG_DEFAULT;
    };
    run.result = vc::ChangeCursorFormatDialog(nullptr, FakeEditor::callback(), &run.record);
    ui.dialogAnswer = nullptr;
    return run;
}
}  // namespace

TEST_F(CursorFormat, SizeQuestionOnlyForNonStandardSizesAndEachAnswerMaps) {
    UiRecorder ui;
    FakeEditor ed;
    // 16, 32 and 64 squares pass without a question; others ask and Enter
    // answers "32 x 32  (recommended)".
    const std::pair<uint16_t, uint16_t> sizes[] = {{16, 16}, {32, 32}, {64, 64}, {32, 16}, {48, 48}, {128, 128}, {8, 8}};
    for (auto [w, h] : sizes) {
        ed.imageWidth = w, ed.imageHeight = h;
        bool standard = w == h && (w == 16 || w == 32 || w == 64);
        EXPECT_EQ(select(ed, ui), standard ? vc::cursorSize(w, h) : vc::cursorSize(32, 32)) << w << "x" << h;
    }
    EXPECT_EQ(ui.dialogs, std::vector<int32_t>(4, vc::kSelectCursorTemplate));

    ed.imageWidth = ed.imageHeight = 48;
    const std::pair<int, uint32_t> answers[] = {{vc::kCursorSize16, 16 | (16u << 16)},
                                                {vc::kCursorSize64, 64 | (64u << 16)},
                                                {vc::kCursorSizeKeep, 48 + 48 * 65536u}};
    for (auto [button, want] : answers) {
        ui.dialogAnswer = [button = button](int32_t, void *model) -> intptr_t {
            auto &m = *static_cast<vc::SelectCursorSizeModel *>(static_cast<vc::plat::DialogModel *>(model));
            EXPECT_EQ(m.checked, vc::kCursorSize32);
            m.click(vc::kCursorWarningIcon);  // not a radio button: nothing
            m.click(button);
            return m.ok();
        };
        EXPECT_EQ(select(ed, ui), want) << button;
    }
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return vc::SelectCursorSizeModel::cancel(); };
    EXPECT_EQ(select(ed, ui), 0xFFFFFFFFu);

    // The editor cannot tell the size: 0, and nobody is asked.
    size_t asked = ui.dialogs.size();
    ed.hasImage = false;
    EXPECT_EQ(select(ed, ui), 0u);
    EXPECT_EQ(ui.dialogs.size(), asked);
}

TEST_F(CursorFormat, ChangeFormatStartsFromTheEditorsImageAndCancelKeepsTheRecord) {
    UiRecorder ui;
    FakeEditor ed;
    struct Case {
        bool hasImage;
        uint16_t w, h;
        intptr_t colors;
        int size, colorButton;
        const char *x;
    } cases[] = {
        {true, 48, 48, 16, vc::kCursorSize32, vc::kCursorColors16, "48"},
        {true, 16, 16, 3, vc::kCursorSize16, vc::kCursorColors2, "16"},
        {true, 64, 64, 256, vc::kCursorSize64, vc::kCursorColors256, "64"},
        {true, 64, 32, 2, vc::kCursorSize32, vc::kCursorColors2, "64"},
        {true, 32, 32, 15, vc::kCursorSize32, vc::kCursorColors2, "32"},
        {true, 32, 32, 17, vc::kCursorSize32, vc::kCursorColors256, "32"},
        {false, 0, 0, 16, vc::kCursorSize32, vc::kCursorColors16, "0"},
    };
    for (const Case &c : cases) {
        ed.hasImage = c.hasImage, ed.imageWidth = c.w, ed.imageHeight = c.h, ed.colorSetting = c.colors;
        ed.calls.clear();
        ChangeRun run = runChange(ui, [&](vc::ChangeCursorFormatModel &m) {
            EXPECT_EQ(m.sizeChoice, c.size) << c.w << "x" << c.h;
            EXPECT_EQ(m.colorChoice, c.colorButton) << c.colors;
            EXPECT_EQ(m.x, c.x);
            EXPECT_EQ(m.y, std::to_string(c.h));
            EXPECT_TRUE(m.scale);
            m.click(vc::kCursorSize16);
            return 2;  // Cancel
        });
        EXPECT_EQ(run.result, 0);
        // Only the colours were filled at start.
        EXPECT_EQ(std::vector<uint32_t>({run.record.width, run.record.height, run.record.colors, run.record.scale}),
                  std::vector<uint32_t>({111, 222, uint32_t(c.colors), 444}));
        EXPECT_EQ(ed.commands(), (std::vector<int32_t>{0, 0}));
        EXPECT_EQ(ed.calls[0].value, HOST_QUERY_SIZE);
        EXPECT_EQ(ed.calls[1].value, HOST_QUERY_COLORS);
    }
}

TEST_F(CursorFormat, ChangeFormatOkFillsTheRecordAndValidatesOther) {
    UiRecorder ui;
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.colorSetting = 16;
    auto fields = [](const ConvFormatChange &r) {
        return std::vector<uint32_t>{r.width, r.height, r.colors, r.scale, r.reserved};
    };
    ChangeRun plain = runChange(ui, nullptr);  // Enter with the start state
    EXPECT_EQ(plain.result, 1);
    EXPECT_EQ(fields(plain.record), (std::vector<uint32_t>{32, 32, 16, 1, 0}));

    // Radio buttons are exclusive within their group; the check box toggles.
    ChangeRun clicked = runChange(ui, [](vc::ChangeCursorFormatModel &m) {
        for (int id : {vc::kCursorSize64, vc::kCursorColors256, vc::kCursorSize16, vc::kCursorColors2, vc::kCursorScale})
            m.click(id);
        return 1;
    });
    EXPECT_EQ(clicked.result, 1);
    EXPECT_EQ(fields(clicked.record), (std::vector<uint32_t>{16, 16, 3, 0, 0}));  // "2 Colors" sends 3

    // "other": numbers of at least 8, no upper limit; anything else refused.
    struct Other {
        const char *x, *y;
        bool accepted;
    } others[] = {{"8", "300", true}, {"7", "300", false}, {"8", "7", false}, {"", "32", false},
                  {"abc", "32", false}, {"12x", "32", false}, {"-8", "32", false}, {" 20 ", "4000", true},
                  {"99999999999999999999", "32", false}};
    for (const Other &o : others) {
        ChangeRun run = runChange(ui, [&](vc::ChangeCursorFormatModel &m) {
            m.click(vc::kCursorSizeOther);
            m.x = o.x, m.y = o.y;
            return 1;
        });
        EXPECT_EQ(run.result, o.accepted ? 1 : 0) << o.x << "," << o.y;
        EXPECT_EQ(run.record.width, o.accepted ? uint32_t(std::atoi(o.x)) : 111u) << "a refused OK fills nothing";
        if (o.accepted) EXPECT_EQ(run.record.height, uint32_t(std::atoi(o.y)));
    }

    // A headless Enter on a refused "other" beeps and ends like Cancel.
    size_t beeps = ui.beeps.size();
    ChangeRun refused = runChange(ui, [](vc::ChangeCursorFormatModel &m) {
        m.click(vc::kCursorSizeOther);
        m.x = "7";
        return 0;
    });
    EXPECT_EQ(refused.result, 0);
    EXPECT_EQ(ui.beeps.size(), beeps + 1);

    // No colour button on: the editor's value stays.
    ChangeRun none = runChange(ui, [](vc::ChangeCursorFormatModel &m) {
        m.colorChoice = 0;
        return 1;
    }, ConvFormatChange{0, 0, 0, 0, 9});
    EXPECT_EQ(none.record.colors, 16u);
    EXPECT_EQ(none.record.reserved, 0u);
}
