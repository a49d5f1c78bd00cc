// The playback window (template 111) as a real Windows dialog from the
// program's own resources, played on a small document whose frames a test
// editor lends as bitmaps: the canvas read back after each advance and
// compared with the portable model's canvas, the editor's bitmaps given
// back unchanged, the margin, the sizing, and the click that closes a
// finished window. Then the browser preview with the registry naming a
// stand-in browser.

#include "controls/playback.h"
#include "gif/gif_dialog.h"
#include "gif/gif_record.h"
#include "win_test_util.h"

namespace {

using namespace vc;
using namespace wintest;

constexpr int kW = 64, kH = 40;  // the frames' size
constexpr uint32_t kKey = 0xFF00FF;  // the editor's transparent colour, 0x00RRGGBB

// The frames as pixels (top row first): a coloured field with a band of
// the transparent colour across it, different for each frame.
std::vector<uint32_t> framePixels(int i) {
    static const uint32_t colors[] = {0xC02020, 0x20A040, 0x2040C0};
    std::vector<uint32_t> p(size_t(kW) * kH, colors[i % 3]);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if ((x + 2 * y + 7 * i) % 23 < 6) p[size_t(y) * kW + x] = kKey;
            if (x >= 10 * i && x < 10 * i + 8 && y < 12) p[size_t(y) * kW + x] = 0xFFFF00;
        }
    return p;
}

// The test editor: 32-bit bitmaps of the frames.
struct Editor : BitmapEditor {
    std::vector<uint32_t *> bits;
    explicit Editor(int frames) {
        for (int i = 0; i < frames; ++i) {
            BITMAPINFO bi{};
            bi.bmiHeader = BITMAPINFOHEADER{sizeof bi.bmiHeader, kW, -kH, 1, 32, 0, 0, 0, 0, 0, 0};
            void *p = nullptr;
            bitmaps.push_back(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0));
            bits.push_back(static_cast<uint32_t *>(p));
            const auto px = framePixels(i);
            std::memcpy(p, px.data(), px.size() * 4);
        }
    }
};

// A solid canvas surface of the portable model, over the same pixels.
struct ModelCanvas final : PlaybackSurface {
    PlaybackCanvas canvas;
    uint32_t background = 0;
    bool transparent = true;
    size_t frames = 0;
    std::vector<std::vector<uint32_t>> shown;
    void fillBackground(int32_t l, int32_t t, int32_t w, int32_t h) override { canvas.fill(l, t, w, h, background); }
    bool drawFrame(int32_t i, int32_t l, int32_t t, int32_t w, int32_t h) override {
        if (size_t(i) >= frames) return false;
        const auto px = framePixels(i);
        canvas.compose(px.data(), kW, kH, l, t, w, h, transparent ? std::optional<uint32_t>(kKey) : std::nullopt);
        shown.push_back(canvas.pixels);
        return true;
    }
};

GifAnimRecord document() {
    GifAnimRecord r{};
    r.formatCode = kGifRecordCode, r.frameCount = 3;
    r.outputWidth = kW, r.outputHeight = kH, r.screenWidth = kW + 48, r.screenHeight = kH + 24;
    r.backgroundIndex = 4;
    r.globalPalette[4] = GifRgbQuad{0x30, 0x90, 0xE0, 0};  // 0xE09030
    // Frame 1 shows for no time, and is cleared before frame 2.
    const uint16_t delay[] = {3, 0, 2};
    for (int i = 0; i < 3; ++i) {
        GifFrameEntry &f = r.frames[i];
        f.left = int16_t(24 * i), f.top = int16_t(12 * i), f.delay = delay[i], f.disposal = i == 1 ? 2 : 1;
    }
    return r;
}

struct Case {
    const char *name;
    int editorFrames;
    bool transparent, palette;
};

class PlaybackWin : public ViewTest, public ::testing::WithParamInterface<Case> {};

TEST_P(PlaybackWin, CanvasAfterEachAdvanceIsTheModelsCanvas) {
    const Case &c = GetParam();
    const GifAnimRecord record = document();
    Editor editor(c.editorFrames);
    if (c.transparent) editor.screenColor = kKey;  // the same in either byte order
    if (c.palette) {
        std::vector<uint8_t> block(sizeof(LOGPALETTE) + 16 * sizeof(PALETTEENTRY));
        auto *lp = reinterpret_cast<LOGPALETTE *>(block.data());
        lp->palVersion = 0x300, lp->palNumEntries = 16;
        for (int i = 0; i < 16; ++i) lp->palPalEntry[i] = PALETTEENTRY{BYTE(i * 16), BYTE(255 - i * 16), BYTE(i * 8), 0};
        editor.palette = CreatePalette(lp);
    }
    ModelCanvas model;
    model.background = playbackReel(record).background;
    model.transparent = c.transparent;
    model.frames = size_t(c.editorFrames);
    model.canvas.resize(record.screenWidth, record.screenHeight, model.background);
    PlaybackModel expected(playbackReel(record), true);
    expected.start(model);
    while (!(expected.finished() && expected.idle())) expected.tick();

    RECT client{};
    uint32_t margin = 0;
    whenOpen([&](HWND dialog) {
        EXPECT_EQ(title(dialog), "Preview");
        GetClientRect(dialog, &client);
        for (size_t k = 0; k < model.shown.size(); ++k) {
            // One tick at a time (the one a zero delay posts first) until
            // the next frame.
            for (int guard = 0; editor.frameRequests <= int(k) && guard < 1000; ++guard) {
                MSG msg;
                if (PeekMessageA(&msg, dialog, WM_TIMER, WM_TIMER, PM_REMOVE)) DispatchMessageA(&msg);
                else SendMessageA(dialog, WM_TIMER, kPlaybackTimerId, 0);
            }
            const Capture shot = capture(dialog);
            std::vector<uint32_t> canvas;
            for (int y = 0; y < record.screenHeight; ++y)
                for (int x = 0; x < record.screenWidth; ++x) canvas.push_back(shot.at(x + 8, y + 8));
            EXPECT_EQ(canvas, model.shown[k]) << "canvas " << k;
            margin = shot.at(2, 2);
            if (k == 1 && c.transparent && !c.palette) screenshot(dialog, "playback.bmp");
        }
        // Finished: a click closes the window.
        for (int guard = 0; guard < 100 && IsWindow(dialog); ++guard) {
            SendMessageA(dialog, WM_TIMER, kPlaybackTimerId, 0);
            SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        }
    });
    EXPECT_EQ(RunAnimationPreview(nullptr, playbackReel(record), FakeEditor::callback()), 1);
    // The window came up, at the screen's size with a margin of 8.
    EXPECT_EQ(std::tuple(client.right, client.bottom), std::tuple(record.screenWidth + 16, record.screenHeight + 16));
    // Under a palette the margin is the background brush's; without one the
    // system's erase leaves the dialog colour.
    const uint32_t face = GetSysColor(COLOR_3DFACE);
    EXPECT_EQ(margin, c.palette ? model.background : (GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face)));
    // The frame bitmaps are the editor's as they were.
    for (int i = 0; i < c.editorFrames; ++i) {
        const auto px = framePixels(i);
        EXPECT_EQ(std::memcmp(editor.bits[size_t(i)], px.data(), px.size() * 4), 0) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, PlaybackWin,
                         ::testing::Values(Case{"transparent", 3, true, false}, Case{"opaque_palette", 3, false, true},
                                           Case{"editor_short_of_frames", 2, true, false}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- The browser preview ------------------------------------------------------------------

// The registry's HTML command names a stand-in browser: it is given the
// temporary GIF (in the system's temporary folder) at the screen size plus
// 200 x 220, and the copy it kept is read by gifsicle (the
// browser_copy_gifsicle test). A registry value past the 260-byte buffer
// is no browser. That the file is gone afterwards is the native
// Playback.BrowserPreview test's.
using BrowserPreviewWin = ViewTest;

TEST_F(BrowserPreviewWin, RegistryBrowserGetsTheTemporaryGifAndTheFileGoes) {
    const char *key = "htmlfile\\shell\\open\\command";
    char saved[1024] = {};
    LONG savedSize = sizeof saved;
    (void)RegQueryValueA(HKEY_CLASSES_ROOT, key, saved, &savedSize);
    GifAnimRecord record{};
    record.formatCode = kGifRecordCode;
    record.frameCount = 2;
    FakeEditor editor;
    editor.imageWidth = 24, editor.imageHeight = 16, editor.colorSetting = 256;
    for (int i = 0; i < 2; ++i) editor.addFrame(vctest::makeDib(24, 16, 8));
    const std::string browser = besideProgram("fake_browser.exe");
    for (const std::string &command : {"\"" + browser + "\" -nohome \"%1\"", "\"C:\\" + std::string(300, 'b') + "\" %1"}) {
        ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, command.c_str(), DWORD(command.size())), ERROR_SUCCESS);
        DeleteFileA(besideProgram("fake_browser.log").c_str());
        GifAnimationDialogModel m;
        m.record = &record;
        m.callback = FakeEditor::callback();
        m.start();
        if (command.size() > 260) {
            // The other key's browser (Wine's own), or none; never the long one.
            EXPECT_EQ(m.browserCommand.find("bbbb"), std::string::npos);
            EXPECT_EQ(m.enabled(IDC_GIFANIM_BROWSER), !m.browserCommand.empty());
            continue;
        }
        EXPECT_EQ(m.browserCommand, "\"" + browser + "\"");
        EXPECT_EQ(m.browserPreview(), 1);
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        EXPECT_EQ(m.browserFile.rfind(std::string(temp) + "vmgif", 0), 0u) << m.browserFile;
        // Its command line, then the STARTF_USESIZE flag and the size asked for.
        std::ifstream log(besideProgram("fake_browser.log"));
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}),
                  "\"" + browser + "\" " + m.browserFile + "\n2 224 236\n") << "the browser did not run";
        EXPECT_EQ(record.screenWidth, 0) << "the record being edited keeps its own settings";
    }
    RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, saved, DWORD(std::strlen(saved)));
}

}  // namespace
