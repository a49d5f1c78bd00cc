// Shared dialog services: the progress window and its bar, centring, edit
// stepping, string message boxes, help, the colour chooser, menu items for
// the editor, document format, file deletion.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;

namespace {

class Services : public LibraryTest {};

// ---- Progress window -----------------------------------------------------------------

// Made hidden and centred over its parent, which it disables; SetProgress
// shows the percentage clamped, pumps, and reports Cancel.
TEST_F(Services, ProgressWindowLifecycleAndSetProgress) {
    UiRecorder ui;
    EXPECT_EQ(vc::SetProgress(30), 0);  // no window: pump only
    EXPECT_EQ(std::tuple(ui.pumps, ui.progress.size()), std::tuple(std::vector<void *>{nullptr}, 0u));
    void *parent = VcCreateWindow(nullptr, 100, 100, 400, 300);
    vc::Wnd w = vc::CreateProgressDialog(parent, nullptr, 101);
    ASSERT_NE(w, nullptr);
    void *win = nullptr;
    int32_t percent = -1, cancel = -1, r[4];
    EXPECT_EQ((std::tuple{VcIsWindowEnabled(parent), VcProgressState(&win, &percent, &cancel), win, percent, cancel}),
              std::tuple(0, 1, w, 0, 0));
    ASSERT_EQ(VcGetWindowRect(w, r), 1);
    EXPECT_LE(std::abs((r[0] + r[2]) - (100 + 500)), 1);
    EXPECT_LE(std::abs((r[1] + r[3]) - (100 + 400)), 1);
    for (int32_t p : {0, 37, 100, 150, -5}) EXPECT_EQ(vc::SetProgress(p), 0);
    std::vector<std::tuple<void *, int32_t, int32_t>> shown;
    for (const auto &e : ui.progress) shown.emplace_back(e.window, e.visible, e.percent);
    EXPECT_EQ(shown, (decltype(shown){{w, 0, 0}, {w, 1, 0}, {w, 1, 37}, {w, 1, 100}, {w, 1, 100}, {w, 1, 0}}));
    EXPECT_EQ(ui.pumps.back(), w);

    ui.pressCancelOnPump(2);
    // Cancel is pressed while the second one pumps; it does not close the window.
    EXPECT_EQ((std::tuple{vc::SetProgress(10), vc::SetProgress(20), vc::SetProgress(30)}), std::tuple(0, 1, 1));
    EXPECT_EQ(VcProgressState(nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(vc::DestroyProgressDialog(w), 1);
    EXPECT_EQ(std::tuple(VcIsWindowEnabled(parent), VcProgressState(nullptr, nullptr, nullptr), ui.progress.back().window),
              std::tuple(1, 0, nullptr));
    EXPECT_EQ(std::tuple(vc::DestroyProgressDialog(w), vc::DestroyProgressDialog(nullptr)), std::tuple(0, 0));
    EXPECT_EQ(vc::SetProgress(40), 1) << "without a window the flag stays as last left";
    // A new window starts uncancelled, and one without a Cancel button has nothing to press.
    w = vc::CreateProgressDialog(parent, nullptr, 100);
    ui.pressCancelOnPump(1);
    EXPECT_EQ(vc::SetProgress(50), 0);
    vc::DestroyProgressDialog(w);
    VcDestroyWindow(parent);
}

TEST_F(Services, ProgressBarGeometry) {
    // 134 wide: blue from 1 to 66, white from 67 up to the frame at 133.
    vc::ProgressBarLayout l = vc::progressBarLayout(134, 20, 50);
    EXPECT_EQ(std::tuple(l.blueX, l.blueX + l.blueWidth - 1, l.whiteX, l.whiteX + l.whiteWidth, l.blueY, l.blueHeight,
                         l.whiteHeight, l.textCenterX, l.textTop, std::string(l.text)),
              std::tuple(1, 66, 67, 133, 1, 18, 18, 67, 8, "50%"));
    for (int32_t p : {0, -5, 100, 150}) {
        l = vc::progressBarLayout(134, 20, p);
        EXPECT_TRUE(p <= 0 ? l.blueWidth <= 0 && l.whiteX == 0 : l.blueX + l.blueWidth >= 133 && l.whiteWidth <= 0) << p;
        EXPECT_STREQ(l.text, p <= 0 ? "0%" : "100%");
    }
    // The split is computed in double precision and truncated: 58 x 0.01 x 50
    // is just below 29. Products kept in 80 bits give 29 and 123; products
    // rounded to 80 bits and then to 64 give 6834.
    EXPECT_EQ(std::tuple(vc::progressBarLayout(58, 20, 50).split, vc::progressBarLayout(205, 20, 60).split,
                         vc::progressBarLayout(6835, 20, 100).split),
              std::tuple(28, 122, 6835));
}

// ---- Dialog helpers ------------------------------------------------------------------------

TEST_F(Services, CenterDialogPlacesOnParentAndScreen) {
    const struct {
        int32_t screenW, screenH, parent[4], w, h, x, y;  // parent: x, y, w, h
    } cases[] = {
        {1024, 768, {100, 100, 400, 300}, 200, 100, 200, 200},   // centred
        {1024, 768, {900, 100, 400, 300}, 200, 100, 824, 200},   // right screen edge
        {1024, 768, {-500, -300, 400, 200}, 200, 100, 0, 0},     // would start left of 0
        {1024, 768, {0, 0, 101, 51}, 10, 10, 45, 20},            // odd sums truncate
        {1024, 768, {-51, -31, 203, 131}, 10, 10, 45, 29},       // negative edges
        {800, 600, {0, 500, 800, 400}, 100, 200, 350, 400},      // bottom screen edge
        {100, 100, {0, 0, 100, 100}, 200, 50, 0, 25},            // wider than the screen
    };
    for (const auto &c : cases) {
        VcSetScreenSize(c.screenW, c.screenH);
        void *parent = VcCreateWindow(nullptr, c.parent[0], c.parent[1], c.parent[2], c.parent[3]);
        void *dlg = VcCreateWindow(parent, 7, 9, c.w, c.h);
        vc::CenterDialog(dlg);
        int32_t r[4];
        ASSERT_EQ(VcGetWindowRect(dlg, r), 1);
        EXPECT_EQ(std::tuple(r[0], r[1], r[2] - r[0], r[3] - r[1]), std::tuple(c.x, c.y, c.w, c.h))
            << c.parent[0] << "," << c.parent[1];
        VcDestroyWindow(dlg);
        VcDestroyWindow(parent);
    }
    vc::CenterDialog(nullptr);
    vc::CenterDialog(reinterpret_cast<void *>(0x5));
}

TEST_F(Services, StepEditValue) {
    // The field's text, the scroll code, the limits, the result, the field's text after.
    const std::tuple<const char *, int, int32_t, int32_t, int32_t, const char *> cases[] = {
        // Codes 0 and 2 step up, 1 and 3 down, within the limits; others keep the value.
        {"5", 0, 1, 5, 5, "5"},     {"0", 1, 1, 10, 1, "1"},   {"3", 2, 1, 10, 4, "4"},   {"3", 3, 1, 10, 2, "2"},
        {"20", 0, 1, 10, 10, "10"}, {"-5", 0, 1, 10, -4, "-4"}, {"12", 1, 1, 10, 11, "11"}, {"  7 ", 8, 1, 10, 7, "7"},
        {"007", 0, 1, 10, 8, "8"},  {"2147483647", 0, 0, 2147483647, 2147483647, "2147483647"},
        {"-2147483648", 1, INT32_MIN, 0, INT32_MIN, "-2147483648"},
        // Not numbers: -1 and the field is left alone.
        {"", 0, 1, 10, -1, ""},     {"5x", 0, 1, 10, -1, "5x"}, {"-", 1, 1, 10, -1, "-"},  {"1 2", 0, 1, 10, -1, "1 2"},
        {"2147483648", 1, 0, 10, -1, "2147483648"},              {"99999999999", 0, 1, 10, -1, "99999999999"},
    };
    void *dlg = VcCreateWindow(nullptr, 0, 0, 100, 100);
    for (const auto &[text, code, min, max, result, after] : cases) {
        SCOPED_TRACE(::testing::Message() << '"' << text << "\" " << code);
        vc::plat::setItemText(dlg, 110, text);
        EXPECT_EQ(vc::StepEditValue(dlg, 110, code, min, max), result);
        char buf[64];
        ASSERT_TRUE(vc::plat::getItemText(dlg, 110, buf, sizeof buf));
        EXPECT_STREQ(buf, after);
    }
    // No such field, no dialog.
    EXPECT_EQ(std::tuple(vc::StepEditValue(dlg, 111, 0, 1, 10), vc::StepEditValue(nullptr, 110, 0, 1, 10)),
              std::tuple(-1, -1));
    VcDestroyWindow(dlg);
}

// ---- Messages, help, colours -------------------------------------------------------------

TEST_F(Services, ShowStringMessageLoadsBothStringsWithLimits) {
    UiRecorder ui;
    ui.messageBoxAnswer = 7;
    auto *owner = reinterpret_cast<void *>(0x4242);
    EXPECT_EQ(vc::ShowStringMessage(owner, 200, 201, 0x40), 7);
    vc::ShowStringMessage(nullptr, 203, 203, 0x10);  // the title is cut to 50 characters
    vc::ShowStringMessage(nullptr, 9999, 0, 0);  // missing strings: empty texts
    ASSERT_EQ(ui.messageBoxes.size(), 3u);
    const auto &m = ui.messageBoxes;
    EXPECT_EQ(std::tuple(m[0].owner, m[0].title, m[0].text, m[0].style),
              std::tuple(owner, "Error", "This file does not contain bitmap images", 0x40u));
    const std::string vfw = STR_NO_VFW;
    ASSERT_GT(vfw.size(), 50u);
    EXPECT_EQ(std::tuple(m[1].title, m[1].text, m[2].title, m[2].text), std::tuple(vfw.substr(0, 50), vfw, "", ""));
}

// Help opens the module's name with .hlp in place of its last extension.
TEST_F(Services, HelpFileIsModuleNameWithHlp) {
    const std::pair<const char *, std::string> names[] = {
        {"C:\\x\\VelmConv32.dll", "C:\\x\\VelmConv32.hlp"}, {"C:\\x.y\\VelmConv32.DLL", "C:\\x.y\\VelmConv32.hlp"},
        {"/opt/lib/libvelmconv.so.1", "/opt/lib/libvelmconv.so.hlp"}, {"C:\\x\\VelmConv32", ""}, {"", ""},
        {nullptr, ""}};
    for (const auto &[module, help] : names) EXPECT_EQ(vc::helpFileName(module), help) << (module ? module : "null");
    // This test program carries a dotted name, as the library does.
    UiRecorder ui;
    char self[4096];
    ASSERT_GT(vc::plat::moduleFileName(self, sizeof self), 0);
    std::string name = self;
    ASSERT_EQ(name.substr(name.size() - 4), ".bin");
    vc::ShowHelp(reinterpret_cast<void *>(0x99), 3, 0x77);
    ASSERT_EQ(ui.helps.size(), 1u);
    EXPECT_EQ(std::tuple(ui.helps[0].file, ui.helps[0].command, ui.helps[0].data),
              std::tuple(name.substr(0, name.size() - 4) + ".hlp", 3u, 0x77u));
}

TEST_F(Services, PickColorKeepsCustomColoursAndLeavesColourOnCancel) {
    UiRecorder ui;
    auto *owner = reinterpret_cast<void *>(0x31);
    ui.colorChosen = true;
    ui.chooseColorAnswer = 0x00FF8040;
    ui.editCustom = [](uint32_t *custom) { custom[3] = 0x123456; };
    uint32_t color = 0x111111;
    EXPECT_EQ((std::tuple{vc::PickColor(owner, &color), color}), std::tuple(1, 0x00FF8040u));
    ui.colorChosen = false;
    ui.editCustom = nullptr;
    EXPECT_EQ((std::tuple{vc::PickColor(owner, &color), color, vc::PickColor(owner, nullptr)}),
              std::tuple(0, 0x00FF8040u, 0));
    ASSERT_EQ(ui.colors.size(), 2u) << "the chooser opened without a colour";
    EXPECT_EQ(std::tuple(ui.colors[0].owner, ui.colors[0].initial, ui.colors[1].initial),
              std::tuple(owner, 0x111111u, 0x00FF8040u));
    EXPECT_EQ(ui.colors[1].custom[3], 0x123456u) << "custom colours lost between calls";
}

// ---- Menu items, documents, files ---------------------------------------------------------

// The three menu items of the animation documents are checked where the
// cursor animation hands them on; here the slot, position and text limits.
TEST_F(Services, AddHostMenuItemFillsRecordAndPassesSlot) {
    FakeEditor editor;
    HostCallback cb = FakeEditor::callback();
    EXPECT_EQ(vc::AddHostMenuItem(-2, 0xFFFFFFFFu, 0, 7, 203, cb), 1);
    ASSERT_EQ(editor.commands(), (std::vector<int32_t>{HOST_ADD_MENU_ITEM}));
    const MenuItemCopy &m = editor.menuItems[0];
    EXPECT_EQ(std::tuple(m.slot, m.position, m.flags, m.commandId, m.text, m.value),
              std::tuple(-2, 0xFFFFFFFFu, 0u, 7u, std::string(STR_NO_VFW).substr(0, 48), -2));
    editor.refuse(HOST_ADD_MENU_ITEM);
    EXPECT_EQ(std::tuple(vc::AddHostMenuItem(2, 5, 0, 1001, 205, cb), vc::AddHostMenuItem(2, 5, 0, 1001, 205, nullptr)),
              std::tuple(0, 0));
}

TEST_F(Services, GetDocumentFormatReadsFirstWordOfUsableBlocks) {
    void *empty = VcMemAlloc(VC_MEM_MOVEABLE, 0), *tiny = VcMemAlloc(VC_MEM_MOVEABLE, 1);
    void *doc = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, 36);
    for (void *none : {static_cast<void *>(nullptr), reinterpret_cast<void *>(0x12345), empty, tiny})
        EXPECT_EQ(vc::GetDocumentFormat(none), 0) << none;
    auto *p = static_cast<uint8_t *>(VcMemLock(doc));
    p[0] = 0x34, p[1] = 0x12;  // a little-endian word
    VcMemUnlock(doc);
    EXPECT_EQ(vc::GetDocumentFormat(doc), 0x1234);
    EXPECT_EQ(VcMemUnlock(doc), 0) << "block left locked";
    for (void *h : {doc, empty, tiny}) VcMemFree(h);
}

TEST_F(Services, DeleteFileAnsi) {
    const std::string f = writeFile("gone.tmp", "x");
    EXPECT_EQ((std::tuple{vc::DeleteFileAnsi(f.c_str()) != 0, std::filesystem::exists(f)}), std::tuple(true, false));
    for (const char *gone : {f.c_str(), "", static_cast<const char *>(nullptr)}) EXPECT_EQ(vc::DeleteFileAnsi(gone), 0);
}

}  // namespace
