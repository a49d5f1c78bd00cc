// The two animation dialogs of VelmConv32.dll opened through ProcessCommand
// 1001 on documents the library made (NewConvFile), with a test editor
// that answers commands 0, 6, 12, 13, 15, 19 and 20 and draws its frames
// from bitmaps of its own. Driven through their controls and film strips
// and ended with OK and Cancel (what each does to the document is the
// native AnimDialog and GifAnimation tables'); pictures kept.

#include "controls/reel_model.h"
#include "cursor/ani.h"
#include "gif/gif_record.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

constexpr COLORREF kFrameColors[] = {RGB(200, 0, 0), RGB(0, 160, 0), RGB(0, 0, 200), RGB(200, 120, 0)};
uint32_t rgb(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c); }

// The editor's pictures: white 32 x 32 frames with an arrow of the frame's
// colour, hotspot at its tip.
struct TestEditor : BitmapEditor {
    explicit TestEditor(int frames) {
        screenColor = 0xFFFFFF;
        palette = CreateHalftonePalette(dc);
        answer(HOST_EDIT_TRANSPARENT, 1);
        HDC screen = GetDC(nullptr);
        for (int i = 0; i < frames; ++i) {
            addFrame(vctest::makeDib(32, 32, 8));
            hotspots[i] = 8 | (4u << 16);
            bitmaps.push_back(CreateCompatibleBitmap(screen, 32, 32));
            HGDIOBJ old = SelectObject(dc, bitmaps.back());
            const RECT all{0, 0, 32, 32};
            FillRect(dc, &all, HBRUSH(GetStockObject(WHITE_BRUSH)));
            HGDIOBJ oldBrush = SelectObject(dc, CreateSolidBrush(kFrameColors[i % 4]));
            SelectObject(dc, GetStockObject(NULL_PEN));
            const POINT arrow[] = {{8, 4}, {8, 29}, {14, 23}, {19, 31}, {24, 28}, {19, 21}, {27, 21}};
            Polygon(dc, arrow, 7);
            DeleteObject(SelectObject(dc, oldBrush));
            SelectObject(dc, old);
        }
        ReleaseDC(nullptr, screen);
    }
};

uint32_t cellPixel(HWND dialog, int strip, int i, int dy = 0) {
    HWND w = GetDlgItem(dialog, strip);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return capture(w).at(cellCentre(w, i).x, cellCentre(w, i).y + dy);
}
bool visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != 0; }

class AnimationDialogs : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        newFile = bind<NewConvFileFn>(module_, "NewConvFile");
        command = bind<ProcessCommandFn>(module_, "ProcessCommand");
    }
    void *newDocument(int format) {
        char name[MAX_PATH] = "anim.x";
        EXPECT_EQ(newFile(parent.hwnd, name, format, 0, FakeEditor::callback()), 1);
        return editor.documents.empty() ? nullptr : editor.documents.back();
    }
    // Opens the document's dialog, lets the user act, ends it with a button.
    int32_t run(int format, void *doc, const std::function<void(HWND)> &user, int end) {
        whenOpen([&](HWND d) {
            user(d);
            click(d, end);
        });
        return command(parent.hwnd, CONV_CMD_ANIMATION, format, doc, 0, FakeEditor::callback());
    }
    NewConvFileFn newFile = nullptr;
    ProcessCommandFn command = nullptr;
    TestEditor editor{4};
};

TEST_F(AnimationDialogs, CursorAnimationEditsStepsAndEndsWithItsButtons) {
    void *doc = newDocument(CONV_FMT_ANI);
    ASSERT_NE(doc, nullptr);
    editor.missing = 2;
    // Two steps, frames 2 and 3, made on the sequence page.
    auto edit = [&](HWND d) {
        EXPECT_EQ(title(d), "Define Cursor animation");
        EXPECT_TRUE(visible(d, IDC_ANIM_PREVIEW) && !visible(d, IDC_ANIM_FRAME_REEL)) << "cycle page";
        EXPECT_TRUE(atLeftEnd(GetDlgItem(d, IDC_ANIM_STEP_REEL)));
        EXPECT_EQ(text(d, IDC_ANIM_HOTSPOT_X), "8");
        EXPECT_EQ(cellPixel(d, IDC_ANIM_STEP_REEL, 1), rgb(kFrameColors[1]));
        click(d, IDC_ANIM_STOP);
        screenshot(d, "cursor_animation_cycle.bmp");
        click(d, IDC_ANIM_SEQUENCE_PAGE);
        EXPECT_TRUE(!visible(d, IDC_ANIM_PREVIEW) && visible(d, IDC_ANIM_FRAME_REEL)) << "sequence page";
        EXPECT_TRUE(atLeftEnd(GetDlgItem(d, IDC_ANIM_FRAME_REEL)));
        EXPECT_EQ(cellPixel(d, IDC_ANIM_FRAME_REEL, 3), rgb(kFrameColors[3]));
        EXPECT_EQ(cellPixel(d, IDC_ANIM_FRAME_REEL, 2, -20), 0xC0C0C0u) << "placeholder";
        click(d, IDC_ANIM_DELETE_ALL);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        clickCell(d, IDC_ANIM_FRAME_REEL, 2);
        click(d, IDC_ANIM_ADD);  // frame 2; frame 3 selected next
        click(d, IDC_ANIM_ADD);
        EXPECT_EQ(text(d, IDC_ANIM_STEP_COUNT), "2");
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_ANIM_STEP_REEL, vc::REEL_GETCOUNT, 0, 0), 2);
        screenshot(d, "cursor_animation_sequence.bmp");
    };
    // What Cancel and OK do to the document is the native AnimDialog
    // tables'; here each button ends the real dialog with its answer.
    EXPECT_EQ(run(CONV_FMT_ANI, doc, edit, IDCANCEL), 0);
    EXPECT_EQ(run(CONV_FMT_ANI, doc, edit, IDOK), 1);
    vc::CursorAnimationDocument d;
    std::memcpy(&d, blockBytes(doc).data(), sizeof d);
    EXPECT_EQ((std::vector<uint32_t>{d.header.stepCount, d.sequence[0], d.sequence[1]}),
              (std::vector<uint32_t>{2, 2, 3}));
}

TEST_F(AnimationDialogs, GifAnimationStoresFrameAndFileSettingsThroughItsControls) {
    void *doc = newDocument(CONV_FMT_ANIGIF);
    ASSERT_NE(doc, nullptr);
    editor.backgroundAnswer = 5;
    auto edit = [&](HWND d) {
        EXPECT_EQ(title(d), "GIF-Animation");
        EXPECT_TRUE(atLeftEnd(GetDlgItem(d, IDC_GIFANIM_STRIP)));
        EXPECT_EQ(text(d, IDC_GIFANIM_FRAME_NUMBER), "1");
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_GIFANIM_DISPOSAL, CB_GETCOUNT, 0, 0), 4);
        EXPECT_EQ(cellPixel(d, IDC_GIFANIM_STRIP, 1), rgb(kFrameColors[1]));
        if (!checked(d, IDC_GIFANIM_DELAY_ON)) click(d, IDC_GIFANIM_DELAY_ON);
        SetDlgItemTextA(d, IDC_GIFANIM_DELAY, "25");
        click(d, IDC_GIFANIM_NEXT);
        SetDlgItemTextA(d, IDC_GIFANIM_LEFT, "2000");
        clickCell(d, IDC_GIFANIM_STRIP, 3);  // stores frame 1, shows frame 3
        for (int i = 0; i < 3; ++i) click(d, IDC_GIFANIM_PREVIOUS);
        EXPECT_EQ(text(d, IDC_GIFANIM_FRAME_NUMBER) + " " + text(d, IDC_GIFANIM_DELAY), "1 25");
        clickCell(d, IDC_GIFANIM_STRIP, 2, VK_CONTROL);  // Ctrl: frames 0 to 2 selected
        SetDlgItemTextA(d, IDC_GIFANIM_DELAY, "40");
        click(d, IDC_GIFANIM_BACKGROUND);
        click(d, IDC_GIFANIM_TRANSPARENT);
        screenshot(d, "gif_animation.bmp");
    };
    EXPECT_EQ(run(CONV_FMT_ANIGIF, doc, edit, IDCANCEL), 0);
    EXPECT_EQ(run(CONV_FMT_ANIGIF, doc, edit, IDOK), 1);
    ASSERT_EQ(editor.documents.size(), 2u) << "the edited copy offered";
    const std::vector<uint8_t> bytes = blockBytes(editor.documents.back());
    vc::GifAnimRecord r;
    std::memcpy(&r, bytes.data(), sizeof r);
    // With 119 checked from the start (all frames alike) frame 0's first
    // delay went to every frame; at OK, with 119 cleared by the selection,
    // its new one went to the selected frames 1 and 2 only. Frame 1's typed
    // position was lowered to 1024 and copied nowhere.
    EXPECT_EQ((std::vector<int>{r.frameCount, r.frames[0].delay, r.frames[1].delay, r.frames[2].delay,
                                r.frames[3].delay, r.frames[1].left, r.backgroundIndex, int(r.backgroundBrush)}),
              (std::vector<int>{4, 40, 40, 40, 25, 1024, 5, 0}));
    EXPECT_EQ(editor.count(HOST_EDIT_TRANSPARENT), 2u);
    EXPECT_GE(editor.count(HOST_PICK_BACKGROUND), 2u);
}

}  // namespace
