// Animated GIF import: the portable models of the import options dialog
// (template 109) and the animation dialog (template 110), their rules and
// what reaches the record; a real animation from Debian in all three modes
// against giftopnm and ImageMagick, with the exact callbacks, and stopped by
// Cancel, the editor's refusal and short memory.
#include <array>
#include <memory>

#include "gif/gif_dialog.h"
#include "gif/gif_import.h"
#include "gif_support.h"
#include "platform/headless_dialog.h"

using namespace vctest;
using namespace gifsupport;

namespace {

class GifDialogs : public LibraryTest {
protected:
    // A record of frames of these widths, heights and depths.
    void frames(std::vector<std::array<uint16_t, 3>> sizes) {
        record->frameCount = int16_t(sizes.size());
        for (size_t i = 0; i < sizes.size(); ++i)
            record->frames[i] = vc::GifFrameEntry{sizes[i][2], 0, 0, sizes[i][0], sizes[i][1], 0, 0, -1, 10, 1, 0, 0};
    }
    template <class Model> void start(Model &m) {
        m.record = record.get();
        m.callback = FakeEditor::callback();
        m.start();
    }
    std::unique_ptr<vc::GifAnimRecord> record = std::make_unique<vc::GifAnimRecord>();
    FakeEditor editor;
    UiRecorder ui;
};

TEST_F(GifDialogs, ImportOptionsListTheFramesAndRefuseSizesOutside8To1024) {
    frames({{10, 20, 8}, {30, 5, 4}, {16, 16, 1}});
    vc::GifImportOptionsModel m;
    start(m);
    EXPECT_EQ(m.frameTexts, (std::vector<std::string>{"Frame 0: 10x20  256 Colors", "Frame 1: 30x5  16 Colors",
                                                      "Frame 2: 16x16  2 Colors"}));
    EXPECT_EQ(m.widthText + "x" + m.heightText, "30x20");  // the largest
    m.click(IDC_GIFIMP_FRAME);
    m.heightText = "2";
    m.scroll(IDC_GIFIMP_HEIGHT_SPIN, 3);  // inside the frames' sizes, and back to the sequence
    EXPECT_EQ(m.heightText, "5");
    EXPECT_EQ(m.checkedRadio, IDC_GIFIMP_SEQUENCE);
    m.click(IDC_GIFIMP_FRAME);
    EXPECT_FALSE(m.pressOk());  // a frame needs a selection
    EXPECT_EQ(m.focus, IDC_GIFIMP_LIST);
    m.select(IDC_GIFIMP_LIST, 1);
    ASSERT_TRUE(m.pressOk());
    EXPECT_EQ(m.result(), vc::kGifImportFrame);
    EXPECT_EQ(record->selectedFrame, 1u);
    const int W = IDC_GIFIMP_WIDTH, H = IDC_GIFIMP_HEIGHT;  // where a refusal puts the focus; 0: accepted
    const struct { const char *width, *height; int focus; } cases[] = {
        {"7", "20", W}, {"1025", "20", W}, {"abc", "20", W}, {"", "20", W}, {"65544", "8", W},
        {"8", "1025", H}, {"1024", "x1", H}, {" 64 ", "8", 0}, {"1024", "1024", 0}};
    for (const auto &c : cases) {
        m.focus = 0;
        m.click(IDC_GIFIMP_SEQUENCE);
        m.widthText = c.width, m.heightText = c.height;
        EXPECT_EQ(m.pressOk(), c.focus == 0) << c.width << " x " << c.height;
        EXPECT_EQ(m.focus, c.focus) << c.width << " x " << c.height;
    }
    EXPECT_EQ(ui.beeps, std::vector<uint32_t>(8, 0xFFFFFFFFu));  // one per refusal
    EXPECT_EQ(record->outputWidth + record->outputHeight, 2048);
    m.click(IDC_GIFIMP_ASSEMBLED);
    ASSERT_TRUE(m.pressOk());
    EXPECT_EQ(m.result(), vc::kGifImportAssembled);
    m.click(IDC_GIFIMP_SEQUENCE);  // headless, nobody can correct a refused field
    m.widthText = "2";
    EXPECT_EQ(m.pressEnter(), vc::kGifImportCancel);

    editor.addFrame(makeDib(48, 40, 8));  // frames added to frames take their size
    editor.imageWidth = 48, editor.imageHeight = 40;
    vc::GifImportOptionsModel locked;
    start(locked);
    EXPECT_TRUE(locked.sizeLocked);
    EXPECT_FALSE(locked.setText(IDC_GIFIMP_WIDTH, "9"));  // a disabled field takes no typing
    EXPECT_EQ(locked.widthText + "x" + locked.heightText, "48x40");
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), nullptr), vc::kGifImportFrame);  // nobody to ask
    EXPECT_EQ(record->selectedFrame, 0u);
    frames({{10, 20, 8}, {10, 20, 4}});  // one size: the sequence without a question
    EXPECT_EQ(vc::ChooseGifImportMode(nullptr, record.get(), FakeEditor::callback()), vc::kGifImportSequence);
    EXPECT_EQ(record->outputWidth + ui.dialogs.size(), 10u);
}

// ---- The animation dialog over five 32 x 32 frames of delay 10 -----------------------

class GifAnimationDialog : public GifDialogs {
protected:
    void SetUp() override {
        GifDialogs::SetUp();
        frames(std::vector<std::array<uint16_t, 3>>(5, {32, 32, 8}));
        std::strcpy(record->comment, "hello");
        record->commentFlag = record->repeat = 1;
        for (int i = 0; i < 5; ++i) editor.addFrame(makeDib(32, 32, 8));
    }
    std::vector<int> column(uint16_t vc::GifFrameEntry::*field) {
        std::vector<int> v;
        for (int j = 0; j < 5; ++j) v.push_back(record->frames[j].*field);
        return v;
    }
    // The model goes before the fixture counts the blocks left over.
    void TearDown() override {
        model_.reset();
        GifDialogs::TearDown();
    }
    std::optional<vc::GifAnimationDialogModel> model_{std::in_place};
    vc::GifAnimationDialogModel &m = *model_;
};

TEST_F(GifAnimationDialog, FramesTheRecordLacksCopyTheFirstLoopRulesAndNoFrames) {
    record->frameCount = 2;
    record->frames[0].delay = 0;
    editor.addFrame(makeDib(32, 32, 8));
    start(m);
    EXPECT_EQ(record->frameCount, 6);
    EXPECT_EQ(record->frames[5].delay, 0);
    EXPECT_FALSE(m.sameForAll);  // frames 0 and 1 differed
    EXPECT_FALSE(m.delayOn);
    EXPECT_EQ(m.delay, "1");  // shown as at least 1
    // Endless: "Infinite" checked, the count disabled and shown as 1.
    EXPECT_TRUE(m.infiniteChecked && !m.loopCountEnabled);
    EXPECT_EQ(m.loopCount, "1");
    m.click(IDC_GIFANIM_LOOPS);
    EXPECT_TRUE(m.loopCountEnabled);
    m.scroll(IDC_GIFANIM_LOOP_SPIN, 0);
    m.StoreFileSettings();
    EXPECT_EQ(record->loopCount, 2u);
    m.click(IDC_GIFANIM_REPEAT);
    EXPECT_FALSE(m.loopRadiosEnabled || m.loopCountEnabled);
    m.click(IDC_GIFANIM_INFINITE);
    m.click(IDC_GIFANIM_COMMENT_ON);
    m.comment = std::string(1500, 'c');  // cut at 1020
    for (int n : {int(vc::kEditKillFocus), int(vc::kEditSetFocus), 0x501})  // no typing
        m.notify(IDC_GIFANIM_COMMENT, n);
    m.StoreFileSettings();
    EXPECT_EQ(record->repeat + record->loopCount + record->commentFlag, 0u);
    EXPECT_EQ(std::strlen(record->comment), 1020u);
    record->frameCount = 0;  // no frames at all: no entry outside the table is read
    editor.images.clear();
    vc::GifAnimationDialogModel empty;
    start(empty);
    empty.click(IDC_GIFANIM_NEXT);
    empty.reelNotify(IDC_GIFANIM_STRIP, vc::REELN_CLICK, 300);
    EXPECT_EQ(empty.StoreFrameSettings(), -1);
    EXPECT_EQ(empty.pressEnter(), 1);
}

TEST_F(GifAnimationDialog, ArrowsWrapCtrlSelectsAndStoringCopiesToTheSelectionOrAll) {
    vc::GifAnimationDialogModel shorter, waiting;  // not the same for all
    record->frames[1].delay = 5;  // a later frame shorter than the first
    start(shorter);
    record->frames[1].delay = 10, record->frames[0].userInput = 1;  // the first alone waits for input
    start(waiting);
    record->frames[0].userInput = 0;
    EXPECT_FALSE(shorter.sameForAll || waiting.sameForAll);
    start(m);
    EXPECT_TRUE(m.sameForAll);  // all five alike
    m.click(IDC_GIFANIM_PREVIOUS);  // "<" from the first frame: the last
    EXPECT_EQ(m.frameNumber, "5");
    m.click(IDC_GIFANIM_NEXT);  // ">" from the last: the first
    m.click(IDC_GIFANIM_NEXT);
    EXPECT_EQ(m.strip.current(), 1);
    m.ctrlDown = true;  // from current frame 1 to 3, then again to clear
    m.reelNotify(IDC_GIFANIM_STRIP, vc::REELN_CLICK, 3);
    for (int j = 0; j < 5; ++j) EXPECT_EQ(m.strip.selected(j), j >= 1 && j <= 3) << j;
    m.reelNotify(IDC_GIFANIM_STRIP, vc::REELN_CLICK, 3);
    EXPECT_EQ(m.strip.selCount(), 0);
    m.sameForAll = false;
    m.strip.setSel(true, 0, 999);  // every frame selected: the same for all
    EXPECT_TRUE(m.sameForAll);
    m.strip.setSel(false, 0, 999);
    m.click(IDC_GIFANIM_SAME_FOR_ALL);
    m.LoadFrameSettings(1);
    m.strip.setSel(true, 2, 4);
    m.delay = "25", m.left = "2000", m.top = "x";  // typed positions are lowered to 1024
    EXPECT_EQ(m.StoreFrameSettings(), 1);
    EXPECT_EQ(column(&vc::GifFrameEntry::delay), (std::vector<int>{10, 25, 25, 25, 25}));
    EXPECT_EQ(record->frames[1].left, 1024);
    EXPECT_EQ(record->frames[1].top + record->frames[2].left, 0);
    EXPECT_EQ(m.strip.selCount(), 0);  // storing clears the selection
    m.sameForAll = m.altDown = true;
    m.left = "12", m.delay = "99";
    m.StoreFrameSettings();
    EXPECT_EQ(std::vector<int>({record->frames[0].left, record->frames[4].left}), std::vector<int>({12, 12}));
    EXPECT_EQ(column(&vc::GifFrameEntry::delay), (std::vector<int>{10, 99, 25, 25, 25}));
    m.delayOn = false, m.delay = "0";
    m.scroll(IDC_GIFANIM_DELAY_SPIN, 0);  // the arrow up from 0 checks the box
    EXPECT_TRUE(m.delayOn);
    // A typed delay past 65535 is lowered to it; a disposal comes from its
    // list only.
    m.delay = "70000";
    EXPECT_FALSE(m.select(IDC_GIFANIM_DISPOSAL + 1, 2));
    EXPECT_TRUE(m.select(IDC_GIFANIM_DISPOSAL, 2));
    m.StoreFrameSettings();
    const vc::GifFrameEntry &f = record->frames[m.strip.current()];
    EXPECT_EQ(std::vector<int>({f.delay, f.disposal}), std::vector<int>({65535, 2}));
    m.LoadFrameSettings(0);  // Ctrl from the first frame selects from it
    m.reelNotify(IDC_GIFANIM_STRIP, vc::REELN_CLICK, 2);
    EXPECT_EQ(m.strip.selCount(), 3);
}

TEST_F(GifAnimationDialog, EnterInTheCommentIsALineBreakAndTheBackgroundAnIndex) {
    // The editor's palette: greys, and at 9 the colour nearest the
    // document's background colour 3.
    uint8_t pal[256 * 4];
    for (int i = 0; i < 256; ++i) pal[4 * i] = pal[4 * i + 1] = pal[4 * i + 2] = uint8_t(i), pal[4 * i + 3] = 0;
    pal[36] = 198, pal[37] = 101, pal[38] = 43;
    editor.palette = pal;
    record->backgroundIndex = 3;
    record->globalPalette[3] = vc::GifRgbQuad{40, 100, 200, 0};
    auto color = [&](int i) {
        const vc::GifRgbQuad &c = record->globalPalette[i];
        return std::vector<int>{c.red, c.green, c.blue};
    };
    start(m);
    EXPECT_EQ(record->backgroundIndex, 9);
    EXPECT_EQ(color(9), (std::vector<int>{198, 101, 43}));
    m.commentCaret = 2;
    m.enterDown = true;
    m.notify(IDC_GIFANIM_COMMENT, vc::kEditKillFocus);
    EXPECT_FALSE(m.pressOk());
    EXPECT_EQ(m.focus, IDC_GIFANIM_COMMENT);
    record->frames[3].left = 9;
    ASSERT_TRUE(m.pressOk());  // the next one is OK, and sizes the screen
    EXPECT_STREQ(record->comment, "he\r\nllo");
    EXPECT_EQ(record->screenWidth, 32 + 9);
    editor.backgroundAnswer = 300;  // no colour of the table: nothing changes
    m.click(IDC_GIFANIM_BACKGROUND);
    editor.backgroundAnswer = 7;
    m.click(IDC_GIFANIM_BACKGROUND);
    EXPECT_EQ(record->backgroundIndex, 7);
    EXPECT_EQ(color(7), (std::vector<int>{7, 7, 7}));  // the editor's colour, not the record's
    EXPECT_EQ(m.backgroundChanges, 2);
}

class GifImport : public GifLoadTest {
protected:
    vc::GifAnimRecord document() { return recordOf<vc::GifAnimRecord>(editor->documents.at(0)); }
    // The options dialog answers with what `pick` does to it, then OK.
    template <class F> void answerWith(F pick) {
        ui.dialogAnswer = [pick](int32_t id, VcDialog *d) -> intptr_t {
            auto *m = vc::plat::dialogAs<vc::GifImportOptionsModel>(d);
            if (id != IDD_GIF_IMPORT || !m) return -1;
            pick(d);
            return VcDialogClick(d, 1) ? m->result() : -1;
        };
    }
    // The DIB holds `want` at x0, y0 and colour `fill` of its table elsewhere.
    static void expectFrame(const std::vector<uint8_t> &dib, const Ppm &want, int x0, int y0, unsigned fill) {
        const auto &h = *reinterpret_cast<const ConvBitmapInfoHeader *>(dib.data());
        std::vector<Rgb> expected;
        for (int y = 0; y < h.biHeight; ++y)
            for (int x = 0; x < h.biWidth; ++x) {
                const bool in = x >= x0 && y >= y0 && x < x0 + want.width && y < y0 + want.height;
                expected.push_back(in ? want.pixels[size_t((y - y0) * want.width + x - x0)]
                                      : tableColor(dib.data(), fill));
            }
        EXPECT_TRUE(colors(dib.data()) == expected);
    }
    // A w x h picture of the builder's colour i.
    static Ppm solid(int w, int h, unsigned i) { return Ppm{w, h, std::vector<Rgb>(size_t(w * h), GifBytes::color(i))}; }
    UiRecorder ui;
};

// wxWidgets' throbber (8 frames of 32 x 32, transparent 15) remade by
// gifsicle: frame 3 cut to 20 x 18 at 16,20 and interlaced, frame 5 cut to
// 10 x 12 at 2,3 without transparency, the last delayed 0.35 s with
// disposal "previous", 3 loops.
TEST_F(GifImport, RealAnimationInEveryModeAgreesWithOtherReadersAndStopsCleanly) {
    const std::string gif = "/usr/share/doc/wx3.2-examples/examples/samples/animate/throbber.gif", src = gif + " ";
    if (access(gif.c_str(), R_OK) || !haveTool("/usr/bin/gifsicle")) GTEST_SKIP() << "wx3.2-examples or gifsicle missing";
    const std::string file = path("throbber.gif");
    const std::string cmd = "/usr/bin/gifsicle --no-warnings --loopcount=3 " + src + "'#0-2' --crop 4,6+20x18 " +
                            "--position 16,20 -i " + src + "'#3' --no-crop --no-position --no-interlace " + src +
                            "'#4' --crop 2,3+10x12 --position 2,3 --no-transparent " + src + "'#5' --no-crop " +
                            "--no-position --same-transparent " + src + "'#6' --delay 35 --disposal previous " + src +
                            "'#7' -o " + file;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const auto ref = parsePpms(capture("/usr/bin/giftopnm -image=all " + file + " 2>/dev/null"));
    ASSERT_EQ(ref.size(), 8u);
    // The sequence at 32 x 32: frame 3 pulled back by 4 and 6 on its
    // transparent colour, frame 5 in place on the background; each
    // transparent colour handed over with its running count.
    fresh();
    ASSERT_EQ(load(file), CONV_OK);
    ASSERT_EQ(editor->images.size(), 8u);
    for (size_t i = 0; i < 8; ++i)
        expectFrame(editor->images[i].bytes, ref[i], i == 3 ? 12 : i == 5 ? 2 : 0, i == 3 ? 14 : i == 5 ? 3 : 0,
                    i == 5 ? 0 : 15);
    Calls want = {{0, 0}};
    for (intptr_t i = 0, n = 0; i < 8; ++i) {
        want.push_back({2, (i << 8) | 0x11});
        if (i != 5) want.push_back({17, n++});
    }
    want.insert(want.end(), {{11, 0}, {14, 1}, {14, 1}, {14, 2}});
    EXPECT_EQ(calls(*editor), want);
    for (const auto &t : editor->transparents)  // the colour of index 15 in the frames' table
        EXPECT_TRUE((Rgb{t.entry[2], t.entry[1], t.entry[0]}) == tableColor(editor->images[0].bytes.data(), 15));
    const vc::GifAnimRecord r = document();
    EXPECT_EQ(std::vector<unsigned>({r.repeat, r.loopCount, unsigned(r.frames[3].left), unsigned(r.frames[3].top),
                                     unsigned(r.frames[5].left), r.frames[3].interlaced, r.frames[7].delay,
                                     r.frames[7].disposal}),
              std::vector<unsigned>({1, 3, 4, 6, 0, 1, 35, 3}));

    fresh();
    answerWith([](VcDialog *d) { VcDialogSelect(d, IDC_GIFIMP_LIST, 3); });
    ASSERT_EQ(load(file), CONV_OK);
    EXPECT_EQ(calls(*editor),
              (Calls{{0, 0}, {2, 0x11}, {17, 0}, {0, 0}, {21, 0x8100}, {11, 0}, {14, 1}, {14, 1}, {14, 2}}));
    expectFrame(editor->images.at(0).bytes, ref[3], 0, 0, 0);
    const vc::GifFrameEntry f = document().frames[0];  // frame 3's own, at the corner
    EXPECT_EQ(std::vector<unsigned>({f.width, f.height, f.interlaced, unsigned(f.left), unsigned(f.top)}),
              std::vector<unsigned>({20, 18, 1, 0, 0}));

    // Assembled: the frames in turn over background 0 (uncovered top right),
    // without disposal; one frame with every setting 0.
    answerWith([](VcDialog *d) { VcDialogClick(d, IDC_GIFIMP_ASSEMBLED); });
    fresh();
    ASSERT_EQ(load(file), CONV_OK);
    EXPECT_EQ(calls(*editor), (Calls{{0, 0}, {2, 0x11}, {11, 0}, {14, 1}, {14, 1}, {14, 2}}));
    const std::vector<uint8_t> assembled = editor->images.at(0).bytes;
    const vc::GifAnimRecord one = document();
    const vc::GifFrameEntry zero{};
    EXPECT_TRUE(one.frameCount == 1 && std::memcmp(&one.frames[0], &zero, sizeof zero) == 0);
    fresh();  // with a record to take it, the picture comes back there
    ConvImageRecord rec{};
    ASSERT_EQ(load(file, &rec), CONV_OK);
    EXPECT_EQ(editor->count(HOST_ADD_FRAME), 0u);
    ASSERT_NE(rec.image, nullptr);
    const auto *p = static_cast<const uint8_t *>(VcMemLock(rec.image));
    EXPECT_EQ(std::vector<uint8_t>(p, p + VcMemSize(rec.image)), assembled);
    VcMemUnlock(rec.image);
    VcMemFree(rec.image);
    const Rgb bg = tableColor(assembled.data(), 0);
    auto stacked = parsePpms(capture(
        "/usr/bin/convert " + file + " -coalesce -delete 0--2 -background 'rgb(" + std::to_string(bg.r) + "," +
        std::to_string(bg.g) + "," + std::to_string(bg.b) + ")' -alpha remove -alpha off ppm:-"));
    ASSERT_EQ(stacked.size(), 1u);
    expectFrame(assembled, stacked[0], 0, 0, 0);
    // Cancel, the editor's refusal and short memory stop cleanly.
    fresh();  // Cancel: nothing but the question
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(load(file), CONV_CANCELLED);
    EXPECT_EQ(calls(*editor), (Calls{{0, 0}}));
    ui.dialogAnswer = nullptr;
    // Refused frame 1: the sequence stops, the load succeeds.
    fresh().hook = [n = 0](int32_t c, intptr_t, intptr_t) mutable -> std::optional<intptr_t> {
        return c == HOST_ADD_FRAME && ++n == 2 ? std::optional<intptr_t>(0) : std::nullopt;
    };
    EXPECT_EQ(load(file), CONV_OK);
    EXPECT_EQ(calls(*editor), (Calls{{0, 0}, {2, 0x011}, {17, 0}, {2, 0x111}, {11, 0}, {14, 1}, {14, 1}, {14, 2}}));
    fresh();
    vc::plat::memFailAt(2);  // the work picture, after the record
    EXPECT_EQ(load(file), CONV_E_MEMORY);
    EXPECT_EQ(editor->count(HOST_ADD_FRAME), 0u);
}

// Frames on background 3 imported as a sequence at 8 x 8: a frame wider or
// taller than that is pulled back past the corner and draws nothing,
// leaving the fill (or, covering the whole picture, the previous frame, as
// does one whose data cannot be decoded); a frame sticking out at the right
// and the bottom is pulled back inside; a narrower one stands on fresh
// ground. No frame has a graphic control: none hands the editor a
// transparent colour.
TEST_F(GifImport, SequenceSmallerThanAFrameDrawsNoneOfIt) {
    const struct {
        unsigned w, h, color, x, y, s;  // the image, where the file puts it, its code size
        int left, top;       // kept by the document: the shift
        int x0, y0, x1, y1;  // where the frame's colour shows; colour 3 elsewhere
        unsigned shows;
    } frames[] = {
        {8, 8, 1, 0, 0, 4, 0, 0, 0, 0, 8, 8, 1},
        {12, 12, 2, 0, 0, 4, 4, 4, 0, 0, 8, 8, 1},  // the previous frame, no fill
        {8, 8, 2, 0, 0, 13, 0, 0, 0, 0, 8, 8, 1},   // code size 13, not decoded: the previous frame
        {12, 4, 4, 0, 0, 4, 4, 0, 0, 0, 0, 0, 0},
        {4, 12, 5, 2, 0, 4, 0, 4, 0, 0, 0, 0, 0},   // at 2,0: inside on the left, above on the top
        {4, 4, 7, 6, 6, 4, 2, 2, 4, 4, 8, 8, 7},
        {4, 8, 6, 0, 0, 4, 0, 0, 0, 0, 4, 8, 6},    // as tall, narrower: the square before it cleared
    };
    GifBytes g;
    g.header(8, 8, 3, 3);
    for (const auto &f : frames) g.image(f.x, f.y, f.w, f.h, std::vector<uint8_t>(f.w * f.h, uint8_t(f.color)), f.s);
    answerWith([](VcDialog *d) {
        VcDialogSetText(d, IDC_GIFIMP_WIDTH, "8");
        VcDialogSetText(d, IDC_GIFIMP_HEIGHT, "8");
    });
    fresh();
    ASSERT_EQ(load(writeFile("offscreen.gif", g.trailer().b)), CONV_OK);
    ASSERT_EQ(editor->images.size(), std::size(frames));
    EXPECT_EQ(editor->count(HOST_SET_TRANSPARENT), 0u);
    const vc::GifAnimRecord r = document();
    for (size_t i = 0; i < std::size(frames); ++i) {
        const auto &f = frames[i];
        SCOPED_TRACE(i);
        EXPECT_EQ((std::vector<int>{r.frames[i].left, r.frames[i].top}), (std::vector<int>{f.left, f.top}));
        expectFrame(editor->images[i].bytes, solid(f.x1 - f.x0, f.y1 - f.y0, f.shows), f.x0, f.y0, 3);
    }
    // Assembled, a frame without a graphic control draws its index 0 too.
    GifBytes two;
    two.header(4, 4, 3, 3);
    two.image(0, 0, 4, 4, std::vector<uint8_t>(16, 1), 4);
    two.image(2, 1, 2, 2, std::vector<uint8_t>(4, 0), 4);
    answerWith([](VcDialog *d) { VcDialogClick(d, IDC_GIFIMP_ASSEMBLED); });
    fresh();
    ASSERT_EQ(load(writeFile("zero.gif", two.trailer().b)), CONV_OK);
    expectFrame(editor->images.at(0).bytes, solid(2, 2, 0), 2, 1, 1);
}

// A host reads the check boxes, the loop radios and the strip through the
// public calls alone: a check box flips with a click, a radio is checked
// alone.
TEST_F(GifAnimationDialog, ButtonsAndStripReadThroughThePublicCalls) {
    start(m);
    VcDialog d{m};
    for (int id : {IDC_GIFANIM_COMMENT_ON, IDC_GIFANIM_REPEAT, IDC_GIFANIM_SAME_FOR_ALL, IDC_GIFANIM_DELAY_ON,
                   IDC_GIFANIM_USER_INPUT, IDC_GIFANIM_INTERLACED}) {
        const int before = VcDialogChecked(&d, id);
        VcDialogClick(&d, id);
        EXPECT_EQ(std::pair(before >= 0, VcDialogChecked(&d, id)), std::pair(true, 1 - before)) << id;
    }
    VcDialogClick(&d, IDC_GIFANIM_LOOPS);
    EXPECT_EQ(std::tuple(VcDialogChecked(&d, IDC_GIFANIM_INFINITE), VcDialogChecked(&d, IDC_GIFANIM_LOOPS),
                         VcDialogChecked(&d, IDC_GIFANIM_STRIP), VcDialogReelCount(&d, IDC_GIFANIM_STRIP),
                         VcDialogReelCount(&d, IDC_GIFANIM_DELAY)),
              std::tuple(0, 1, -1, 5, -1));
    char number[8];
    ASSERT_EQ(VcDialogGetText(&d, IDC_GIFANIM_FRAME_NUMBER, number, sizeof number), 1);
    EXPECT_STREQ(number, "1");  // frame 0 shown
    std::vector<std::string> disposals;
    for (int32_t i = 0; i <= VcDialogListCount(&d, IDC_GIFANIM_DISPOSAL); ++i) {
        char line[20];
        disposals.push_back(VcDialogListText(&d, IDC_GIFANIM_DISPOSAL, i, line, sizeof line) >= 0 ? line : "-");
    }
    EXPECT_EQ(disposals, (std::vector<std::string>{STR_DISPOSAL_NOTHING, STR_DISPOSAL_LEAVE, STR_DISPOSAL_BACKGROUND,
                                                   STR_DISPOSAL_PREVIOUS, "-"}));
}

}  // namespace
