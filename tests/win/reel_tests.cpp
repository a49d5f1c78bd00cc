// The film strip of VelmConv32.dll as a child of a test window, driven with
// real messages: its state values, scroll bar, notifications in order, and
// its pixels read back (sprocket bands moving with the scroll offset, olive
// gaps, the cyan and green outlines, pictures asked for only after an
// erase); strips sharing the sprocket bitmap.

#include "controls/reel.h"
#include "controls/reel_model.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

constexpr uint32_t kOlive = 0x808000, kDark = 0x303030, kGrey = 0x808080, kLight = 0xC0C0C0, kCyan = 0x00FFFF,
                   kGreen = 0x00FF00;
uint32_t picture(int frame) { return uint32_t(20 * frame) << 8 | 0xFF; }

// One period of the bands as they show: rows 1 to 8 of the sprocket bitmap.
uint32_t band(int row, int column) {
    static const char *rows[8] = {"ODDODDODDODD", "DDDDDDDDDDDD", "DDDGGGGGDDDD", "DDDGLWWLDDDD",
                                  "DDDGWWWWDDDD", "DDDGLWWLDDDD", "DDDDDDDDDDDD", "ODDODDODDODD"};
    const char c = rows[row][column % 12];
    return c == 'O' ? kOlive : c == 'G' ? kGrey : c == 'L' ? kLight : c == 'W' ? 0xFFFFFF : kDark;
}

struct Told {
    int id, code;
    int32_t index;
    bool operator==(const Told &) const = default;
};

// What the strip's parent was told, and the cells it was asked to draw;
// it paints each in a blue of its own with its number.
std::vector<Told> told;
std::vector<vc::REELDRAW> asked;

class Strip : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        told.clear(), asked.clear();
        TestWindow::hook = [](UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_COMMAND) told.push_back({LOWORD(wp), HIWORD(wp), int32_t(lp)});
            if (m != vc::REEL_DRAWFRAME) return;
            const auto &d = *reinterpret_cast<const vc::REELDRAW *>(lp);
            asked.push_back(d);
            HBRUSH b = CreateSolidBrush(RGB(0, 20 * d.frame, 255));
            RECT r{d.x, d.y, d.x + d.cx, d.y + d.cy};
            FillRect(HDC(d.dc), &r, b);
            DeleteObject(b);
            const std::string number = std::to_string(d.frame + 1);
            TextOutA(HDC(d.dc), d.x + 4, d.y + 4, number.c_str(), int(number.size()));
        };
    }
    void TearDown() override {
        DestroyWindow(host.hwnd);
        TestWindow::hook = nullptr;
        LibraryTest::TearDown();
    }
    // A 320 pixel wide strip whose cells are 85 pixels high, 10 frames of 32 x 32.
    HWND make(int id, DWORD style = vc::REELS_MULTISEL, int y = 0) {
        HWND w = CreateWindowExA(0, "AVIREEL", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, y, 320, 101 + s,
                                 host.hwnd, reinterpret_cast<HMENU>(intptr_t(id)), module_, nullptr);
        SendMessageA(w, vc::REEL_SETFRAMES, 10, MAKELPARAM(32, 32));
        return w;
    }
    TestWindow host{50, 50, 400, 300, WS_POPUP | WS_VISIBLE};
    const int s = GetSystemMetrics(SM_CYHSCROLL);
};

TEST_F(Strip, KeepsItsValuesAndAnswersMessagesMouseKeysAndScrollBarInOrder) {
    HWND w = make(7), plain = make(8, 0, 120), bar = GetDlgItem(w, 99);
    std::vector<LONG> values;
    for (int i = 0; i < 9; ++i) values.push_back(GetWindowLongA(w, i * 4));
    EXPECT_EQ(values, (std::vector<LONG>{0, 85, 85, 0, 3, -1, 10, 32, 32}));
    EXPECT_NE(GetWindowLongA(w, 36), 0) << "selection block";
    RECT r{};
    GetWindowRect(bar, &r);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT *>(&r), 2);
    int lo = -1, hi = -1;
    GetScrollRange(bar, SB_CTL, &lo, &hi);
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom, lo, hi, LONG(GetClassLongA(w, GCL_STYLE))}),
              (std::vector<LONG>{0, 101, 320, 101 + s, 0, 23, 0x3048}));
    const LPARAM cell1 = MAKELPARAM(12 + 97 + 40, 50), gap0 = MAKELPARAM(12 + 85 + 6, 50);
    // Sent to strip w: the message, its result, what the parent was told,
    // and the current frame and scroll offset afterwards. Each message once
    // or twice: the model's rules behind them are the native Reel tables'.
    struct Step {
        HWND w; UINT message; WPARAM wp; LPARAM lp; LRESULT result; std::vector<Told> told; LONG current, offset;
    };
    const Step steps[] = {
        {w, WM_GETDLGCODE, 0, 0, DLGC_WANTARROWS, {}, -1, 0},
        {w, WM_HSCROLL, SB_LINERIGHT, 0, 0, {}, -1, 96},  // three units of 32
        {w, WM_KEYDOWN, VK_RIGHT, 0, 0, {{7, 1, 0}}, 0, 0},  // no current frame: frame 0, scrolled into view
        {w, WM_KEYDOWN, VK_SPACE, 0, 0, {{7, 5, 0}}, 0, 0},
        {w, vc::REEL_GETSEL, 0, 0, 1, {}, 0, 0},
        {w, WM_LBUTTONDOWN, 0, cell1, 0, {{7, 2, 1}}, 0, 0},  // the host decides what a click means
        {w, WM_LBUTTONDBLCLK, 0, gap0, 0, {{7, 3, -1}}, 0, 0},
        {w, WM_RBUTTONDOWN, 0, cell1, 0, {{7, 4, 1}}, 0, 0},
        {w, vc::REEL_SETSEL, 1, MAKELPARAM(0, 999), 0, {{7, 5, 0}}, 0, 0},
        {w, vc::REEL_GETSELCOUNT, 0, 0, 10, {}, 0, 0},
        {w, vc::REEL_SETCURRENT, 9, 1, 0, {}, 9, 0},   // not scrolled into view
        {plain, WM_KEYDOWN, VK_SPACE, 0, 0, {}, -1, 0},  // the window's style reaches the strip
        // More frames than a selection block may hold: no selection at all.
        {w, vc::REEL_SETFRAMES, 0x7FFFFFFF, MAKELPARAM(32, 32), 0, {}, -1, 0},
        {w, vc::REEL_SETSEL, 1, MAKELPARAM(0, 999), 0, {}, -1, 0},
        {w, vc::REEL_GETSELCOUNT, 0, 0, 0, {}, -1, 0},
        {w, WM_KEYDOWN, VK_HOME, 0, 0, {{7, 1, 0}}, 0, 0},
        {w, WM_KEYDOWN, VK_SPACE, 0, 0, {}, 0, 0},
    };
    for (const Step &st : steps) {
        SCOPED_TRACE(::testing::Message() << st.message << " " << st.wp);
        told.clear();
        EXPECT_EQ(SendMessageA(st.w, st.message, st.wp, st.lp), st.result);
        RedrawWindow(st.w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_EQ(told, st.told);
        EXPECT_EQ(std::vector<LONG>({LONG(SendMessageA(st.w, vc::REEL_GETCURRENT, 0, 0)), GetWindowLongA(st.w, 12)}),
                  std::vector<LONG>({st.current, st.offset}));
    }
}

TEST_F(Strip, PaintsBandsGapsAndOutlinesAndAsksForPicturesOnlyAfterAnErase) {
    HWND w = make(7);
    SendMessageA(w, vc::REEL_SETSEL, 1, MAKELPARAM(1, 1));
    SendMessageA(w, vc::REEL_SETCURRENT, 2, 0);
    for (int scroll : {0, 1}) {
        SCOPED_TRACE(scroll);
        if (scroll) SendMessageA(w, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 1), LPARAM(GetDlgItem(w, 99)));
        asked.clear();
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const int offset = 32 * scroll, x1 = 12 + 97 - offset, x2 = x1 + 97;
        ASSERT_EQ(asked.size(), 4u);
        EXPECT_EQ((std::vector<int>{asked[1].frame, asked[1].x, asked[1].y, asked[1].cx, asked[1].cy}),
                  (std::vector<int>{1, x1, 8, 85, 85}));
        Capture c = capture(w);
        for (int row = 0; row < 8; ++row)
            for (int x = 0; x < x1 - 4; ++x) {
                ASSERT_EQ(c.at(x, row), band(row, x + offset % 12)) << x << "," << row;
                ASSERT_EQ(c.at(x, 101 - 8 + row), band(row, x + offset % 12)) << x << "," << row;
            }
        const struct {
            int x, y;
            uint32_t want;
        } pixels[] = {
            {x1 + 85 + 6, 50, kOlive}, {x1 + 40, 50, picture(1)}, {x1 - 3, 5, kCyan}, {x1 + 87, 95, kCyan},
            {x2 - 4, 4, kGreen}, {x2 + 88, 96, kGreen}, {x2 - 3, 5, kDark}, {x2 + 40, 50, picture(2)},
        };
        for (const auto &p : pixels) EXPECT_EQ(c.at(p.x, p.y), p.want) << p.x << "," << p.y;
        if (scroll) screenshot(w, "film_strip.bmp");
    }
    // A new mark or selection repaints bands, gaps and marks only.
    asked.clear();
    SendMessageA(w, vc::REEL_SETCURRENT, 1, 0);
    SendMessageA(w, vc::REEL_SETSEL, 0, MAKELPARAM(1, 1));
    UpdateWindow(w);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(GetWindowLongA(w, 0), 1) << "painted";
    Capture c = capture(w);
    EXPECT_EQ(c.at(12 + 97 - 32 - 4, 4), kGreen);
    EXPECT_EQ(c.at(12 + 97 - 32 - 3, 5), band(5, 12 + 97 - 32 - 3 + 8)) << "the cyan outline went";
    // Strips share the sprocket bitmap: one outlives another, a new one comes.
    HWND other = make(8, 0, 120);
    DestroyWindow(w);
    for (HWND strip : {other, make(9)}) {
        RedrawWindow(strip, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Capture cap = capture(strip);
        for (int x = 0; x < 24; ++x) EXPECT_EQ(cap.at(x, 3), band(3, x)) << x;
    }
}

}  // namespace
