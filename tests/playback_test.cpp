// The playback window and the browser preview: the timing rules tick by
// tick, canvases composed from animations other programs wrote compared
// with independent compositing decoders (ImageMagick's -coalesce, and
// gifsicle's unoptimizer), and the browser started on the temporary GIF,
// which is gone afterwards on every path.
#include <array>

#include "controls/playback.h"
#include "gif/gif_anim.h"
#include "gif/gif_dialog.h"
#include "gif_support.h"
#include "host/editor.h"
#include "platform/headless_dialog.h"
#include "cores/api_support.h"

using namespace gifsupport;

namespace {

// ---- Timing -----------------------------------------------------------------------

// A surface that writes what the window would do into a line of text.
struct LogSurface final : vc::PlaybackSurface {
    std::string log;
    int tick = 0, posted = 0, noPicture = -1;
    void fillBackground(int32_t l, int32_t t, int32_t w, int32_t h) override {
        log += tick == 0 ? "blank " : "bg(" + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(w) + "," +
               std::to_string(h) + ") ";
    }
    bool drawFrame(int32_t frame, int32_t, int32_t, int32_t, int32_t) override {
        if (frame == noPicture) return false;
        log += std::to_string(frame) + "@" + std::to_string(tick) + " ";
        return true;
    }
    void postTick() override { ++posted; }
};

using Frames = std::vector<std::array<uint16_t, 3>>;  // delay, disposal, user input

// Runs up to 100 ticks of 10 ms (on the 55 ms timer unless `nt`); a posted
// tick comes before the next timer tick, and a frame waiting for the user
// gets a click. noPicture: the frame the editor has no picture for.
std::string play(const Frames &frames, bool repeat, uint32_t loops, bool nt, int noPicture) {
    vc::GifAnimRecord r{};
    r.frameCount = int16_t(frames.size());
    r.repeat = repeat;
    r.loopCount = loops;
    r.screenWidth = 40, r.screenHeight = 30, r.outputWidth = 20, r.outputHeight = 10;
    for (size_t i = 0; i < frames.size(); ++i) {
        r.frames[i].delay = frames[i][0];
        r.frames[i].disposal = frames[i][1];
        r.frames[i].userInput = frames[i][2];
        r.frames[i].left = int16_t(i * 10), r.frames[i].top = int16_t(i * 5);
    }
    LogSurface s;
    s.noPicture = noPicture;
    vc::PlaybackModel m(vc::playbackReel(r), nt);
    m.start(s);
    for (s.tick = 1; s.tick <= 100; ++s.tick) {
        if (m.idle()) {
            s.log += "click ";
            EXPECT_FALSE(m.userInput());
        } else {
            m.tick();
        }
        for (; s.posted; --s.posted) m.tick();
        if (m.finished() && m.idle()) break;
    }
    if (m.finished() && m.idle()) {
        s.log += "end@" + std::to_string(s.tick);
        EXPECT_TRUE(m.userInput()) << "a click closes the finished window";
    }
    return s.log;
}

TEST(PlaybackTiming, FramesShowAtTheirTicks) {
    // frames, repeat, loops, the 10 ms timer, frame without a picture, what shows
    const std::tuple<const char *, Frames, bool, uint32_t, bool, int, const char *> cases[] = {
        // A zero delay shows the next frame at once; the sequence plays
        // three times with a loop count of 2.
        {"delays 10 0 20, two loops", {{10, 1, 0}, {0, 1, 0}, {20, 1, 0}}, true, 2, true, -1,
         "blank 0@1 1@12 2@12 0@33 1@44 2@44 0@65 1@76 2@76 end@97"},
        {"a last frame of delay 0 plays once though endless", {{5, 1, 0}, {0, 1, 0}}, true, 0, true, -1,
         "blank 0@1 1@7 end@7"},
        {"user input with delay 0 halts until a click", {{3, 1, 0}, {0, 1, 1}, {3, 1, 0}}, false, 0, true, -1,
         "blank 0@1 1@5 click 2@6 end@10"},
        {"endless until closed", {{30, 1, 0}, {30, 1, 0}}, true, 0, true, -1, "blank 0@1 1@32 0@63 1@94 "},
        {"the 55 ms timer: delay 10 waits 2 ticks", {{10, 1, 0}, {10, 1, 0}}, false, 0, false, -1,
         "blank 0@1 1@4 end@7"},
        {"no picture for a frame finishes", {{2, 1, 0}, {2, 1, 0}, {2, 1, 0}}, true, 0, true, 1, "blank 0@1 end@4"},
        {"no frames", {}, true, 0, true, -1, "blank end@1"},
        // Disposal 1 leaves the frame; 2 and 3 clear its rectangle (output
        // size at its position) before the next one.
        {"disposal 1, 2, 3", {{1, 1, 0}, {1, 2, 0}, {1, 3, 0}, {1, 0, 0}}, false, 0, true, -1,
         "blank 0@1 1@3 bg(10,5,20,10) 2@5 bg(20,10,20,10) 3@7 end@9"},
    };
    for (const auto &[name, frames, repeat, loops, nt, noPicture, expected] : cases)
        EXPECT_EQ(play(frames, repeat, loops, nt, noPicture), expected) << name;
    // On the 55 ms timer: delay 1 is 0.636 ticks, delay 3 1.000000045 in single precision.
    const auto wait = [](uint16_t delay) { return vc::PlaybackModel::waitTicks(delay, false); };
    EXPECT_EQ(std::vector({wait(10), wait(1), wait(3)}), std::vector({2u, 0u, 1u}));
}

// ---- Canvases against independent decoders ------------------------------------------------

using Canvases = std::vector<std::vector<uint32_t>>;

class Playback : public vctest::LibraryTest {
protected:
    // A command's output in the test's folder, and whether commands succeed there.
    std::string sh(const std::string &cmd) { return capture("cd '" + path("") + "' && (" + cmd + ") 2>/dev/null"); }
    bool run(const std::string &cmd) { return stilltest::tool("cd '" + path("") + "' && " + cmd); }

    // What an independent decoder composes for each frame of the first
    // pass, flattened on the colour the record gives the background (the
    // global table's entry at the background index), as 0x00RRGGBB.
    Canvases decoded(const std::string &file, const std::string &decoder) {
        const auto gif = readBytes(path(file));
        char bg[8] = "#000000";
        if (gif.size() > 13 && (gif[10] & 0x80) && 13u + 3u * gif[11] + 2 < gif.size())
            std::snprintf(bg, sizeof bg, "#%02X%02X%02X", gif[13 + 3 * gif[11]], gif[14 + 3 * gif[11]],
                          gif[15 + 3 * gif[11]]);
        Canvases out;
        for (const Ppm &p : parsePpms(sh(decoder + " | /usr/bin/convert - -coalesce -background '" + bg +
                                         "' -alpha remove -alpha off ppm:-"))) {
            out.emplace_back();
            for (const Rgb &c : p.pixels) out.back().push_back(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
        }
        return out;
    }

    // The canvases the library's preview window shows after each frame,
    // played from the GIF animation dialog's "&Preview..." with the file
    // loaded into the reference host's editor.
    Canvases previewCanvases(const std::string &file, size_t count) {
        host::Editor ed;
        ed.makeCurrent();
        uint8_t format = 0;
        EXPECT_EQ(LoadConvImage(nullptr, file.c_str(), nullptr, &format, 0, host::Editor::callback()), CONV_OK);
        Canvases canvases;
        vctest::UiRecorder ui;
        ui.dialogAnswer = [&](int32_t templateId, VcDialog *dialog) -> intptr_t {
            if (templateId == IDD_GIF_ANIMATION) return VcDialogClick(dialog, IDC_GIFANIM_PREVIEW), 0;
            auto *m = vc::plat::dialogAs<vc::PlaybackDialogModel>(dialog);
            for (uint64_t shown = 0; m && canvases.size() < count && !(m->play.finished() && m->play.idle());) {
                if (m->play.idle()) m->pressOk();
                else m->play.tick();
                if (m->play.shown() != shown) shown = m->play.shown(), canvases.push_back(m->canvas.pixels);
            }
            return 1;
        };
        EXPECT_FALSE(vc::EditGifAnimation(nullptr, ed.document, host::Editor::callback()));
        host::Library::memFree(ed.document);
        ed.document = nullptr;
        return canvases;
    }
};

TEST_F(Playback, CanvasesMatchIndependentDecodersAndTheApisPlayerOnOtherProgramsAnimations) {
    if (!haveTool("/usr/bin/convert") || !haveTool("/usr/bin/gifsicle")) GTEST_SKIP() << "ImageMagick and gifsicle needed";
    // gifsicle: 16 x 16 frames placed over a 48 x 32 screen, with a shared
    // transparent colour and disposal to background in the middle.
    // ImageMagick: full-size frames with transparent parts; the second is
    // cleared to the background before the third. Then the API player's
    // files: frames of other sizes, a local colour table the next frame
    // keeps, a GIF87a's frames placed without graphic controls.
    ASSERT_TRUE(run("/usr/bin/convert -size 16x16 xc:red -fill blue -draw 'rectangle 4,4 11,11' a.gif && "
                    "/usr/bin/convert -size 16x16 xc:'#FF00FF' -fill lime -draw 'rectangle 2,2 13,13' b.gif && "
                    "/usr/bin/convert -size 16x16 xc:'#FF00FF' -fill blue -draw 'rectangle 0,6 15,9' c.gif && "
                    "/usr/bin/convert -size 16x16 xc:'#FF00FF' -fill yellow -draw 'rectangle 6,0 9,15' d.gif && "
                    "/usr/bin/gifsicle --logical-screen 48x32 --loopcount=1 -t '#FF00FF' --delay 5 "
                    "--disposal none --position 0,0 a.gif --disposal background --position 16,8 b.gif "
                    "--disposal none --position 32,16 c.gif --disposal none --position 8,8 d.gif > placed.gif && "
                    "/usr/bin/convert -delay 7 -dispose none -size 40x30 xc:red -fill blue -draw 'rectangle 0,0 9,9' "
                    "-dispose background \\( -size 40x30 xc:none -fill lime -draw 'rectangle 10,10 29,19' \\) "
                    "-dispose none \\( -size 40x30 xc:none -fill yellow -draw 'rectangle 20,5 35,25' \\) "
                    "-loop 0 full.gif && "
                    "/usr/bin/convert -size 20x10 xc:red -size 8x6 xc:blue -size 12x12 xc:lime sizes.gif && "
                    "/usr/bin/convert -size 16x16 xc:red xc:blue xc:red tables.gif && "
                    "/usr/bin/gifsicle --no-warnings --position 30,20 a.gif --position 0,0 a.gif -o old.gif"));
    // The API's player and the preview window (on the file in the editor,
    // whose frames are not the file's images) show the same canvases: for
    // the first two, the independent decoders'; the others all end (the
    // first two of them loop, but their last frames have no delay), the
    // window as the player.
    const std::tuple<std::string, std::string, size_t> animations[] = {
        {"placed.gif", "/usr/bin/gifsicle --unoptimize placed.gif", 4}, {"full.gif", "cat full.gif", 3},
        {"sizes.gif", "", 3}, {"tables.gif", "", 3}, {"old.gif", "", 2}};
    for (const auto &[file, decoder, count] : animations) {
        SCOPED_TRACE(file);
        vc_animation *read = nullptr;
        ASSERT_EQ(vc_read_path(path(file).c_str(), VC_FORMAT_GIF, nullptr, &read), VC_OK);
        const apitest::AnimationPtr animation(read);
        const Canvases played = apitest::playedCanvases(read, decoder.empty() ? 6 : count);
        const Canvases expected = decoder.empty() ? played : decoded(file, decoder);
        ASSERT_EQ(expected.size(), count);
        EXPECT_TRUE(played == expected) << "the API's player";
        const Canvases canvases = previewCanvases(path(file), decoder.empty() ? 7 : count);
        ASSERT_EQ(canvases.size(), count);
        for (size_t i = 0; i < count; ++i) EXPECT_TRUE(canvases[i] == expected[i]) << "preview canvas " << i;
    }
}

// velmconv animate works the GIF animation dialog from the command line:
// frame 1 chosen on the strip, its delay typed and stepped, its position
// typed, stored by ">", then OK and the save.
TEST_F(Playback, AnimateWorksTheDialogByItsScriptedActions) {
    if (!haveTool("/usr/bin/convert") || !haveTool("/usr/bin/gifsicle")) GTEST_SKIP() << "ImageMagick and gifsicle needed";
    ASSERT_TRUE(run("/usr/bin/convert -delay 7 -size 40x30 xc:red -dispose background xc:lime -dispose none xc:blue b.gif && " +
                    std::string(VC_HOST_BINARY) +
                    " animate b.gif out.gif --browser '' --do reel:111=1,1 --do text:113=50 --do scroll:114=0 "
                    "--do text:121=8 --do click:108 --do ok"));
    const std::string info = sh("/usr/bin/gifsicle --info out.gif");
    EXPECT_NE(info.find("image #1 40x30 at 8,0"), std::string::npos) << info;
    EXPECT_NE(info.find("disposal background delay 0.51s"), std::string::npos) << info;
    EXPECT_NE(info.find("image #2 40x30\n    disposal asis delay 0.07s"), std::string::npos) << info;
}

// ---- The browser preview -----------------------------------------------------------------

// A two-frame document in the host's editor (frame 0 red with a blue
// square, frame 1 green) shown in the browser: a headless Chromium, whose
// screenshot must hold the first frame, and commands that start nothing.
// The temporary GIF is gone afterwards on every path.
TEST_F(Playback, BrowserPreviewShowsTheGifAndLeavesNoTemporaryFile) {
    const std::string tmp = path("tmp"), shot = path("shot.png");
    std::filesystem::create_directories(tmp);
    const char *savedTmp = std::getenv("TMPDIR");
    const std::string saved = savedTmp ? savedTmp : "";
    setenv("TMPDIR", tmp.c_str(), 1);
    host::Editor editor;
    editor.makeCurrent();
    for (uint32_t color : {0xFF0000u, 0x00FF00u}) {
        const auto square = [color](int x, int y) { return color == 0xFF0000u && x >= 8 && x < 16 && y >= 4 && y < 12; };
        editor.addFrame(stilltest::picture(24, 16, square, 8, {color, 0x0000FF}));
    }
    const bool chromium = haveTool("/usr/bin/chromium");
    char dir[260];
    ASSERT_TRUE(vc::plat::tempDirectory(dir, sizeof dir));
    // The command, a blank and the file's 13-character name in dir: 519
    // characters, 520 with the line's end.
    const std::string longest = "true " + std::string(519 - 5 - 1 - std::strlen(dir) - 13, 'x');
    const std::tuple<std::string, long, int> cases[] = {  // command, bytes the disk takes (-1 all), browsers started
        {chromium ? "/usr/bin/chromium --headless --no-sandbox --disable-gpu --screenshot=" + shot + " 2>/dev/null"
                  : "true",
         -1, 1},
        {"", -1, 0},                              // none: the button is disabled
        {"true", 20, 0},                          // the temporary GIF cannot be written
        {"/nonexistent/browser", -1, 0},          // a program that is not there
        {longest, -1, 1},                         // the longest command line
        {longest + "x", -1, 0},
    };
    for (const auto &[command, writeLimit, started] : cases) {
        SCOPED_TRACE(command.substr(0, 40));
        VcSetBrowserCommand(command.c_str());
        auto record = vc::NewGifAnimRecord();
        record.as<vc::GifAnimRecord>()->frames[0].delay = 1000;  // ten seconds on the first frame
        auto model = std::make_unique<vc::GifAnimationDialogModel>();
        model->record = record.as<vc::GifAnimRecord>();
        model->callback = host::Editor::callback();
        model->start();
        EXPECT_EQ(model->enabled(IDC_GIFANIM_BROWSER), !command.empty());
        vc::plat::fileFailWritesAfter(writeLimit);
        EXPECT_EQ(model->browserPreview(), started);
        EXPECT_TRUE(std::filesystem::is_empty(tmp)) << model->browserFile;
    }
    VcSetBrowserCommand(nullptr);
    saved.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved.c_str(), 1);
    if (!chromium) GTEST_SKIP() << "chromium is not installed: the page was not looked at";
    // The picture sits somewhere in the page, found by the first blue pixel
    // (the top left of its blue 8 x 8 square), all of it red around that.
    const auto page = parsePpms(capture("/usr/bin/convert '" + shot + "' -alpha off ppm:-"));
    ASSERT_EQ(page.size(), 1u) << "no screenshot";
    const Ppm &p = page[0];
    const size_t blue = size_t(std::find(p.pixels.begin(), p.pixels.end(), Rgb{0, 0, 255}) - p.pixels.begin());
    const int x0 = int(blue % size_t(p.width)) - 8, y0 = int(blue / size_t(p.width)) - 4;
    ASSERT_TRUE(x0 >= 0 && y0 >= 0 && x0 + 24 <= p.width && y0 + 16 <= p.height) << "the first frame is not in the screenshot";
    for (int j = 0; j < 16; ++j)
        for (int i = 0; i < 24; ++i)
            ASSERT_TRUE(p.pixels[size_t(y0 + j) * p.width + size_t(x0 + i)] ==
                        (i >= 8 && i < 16 && j >= 4 && j < 12 ? Rgb{0, 0, 255} : Rgb{255, 0, 0})) << i << "," << j;
}

TEST(BrowserCommand, RegistryCommandsAreCutToTheirProgram) {
    const std::pair<const char *, const char *> cases[] = {
        {"\"C:\\Program Files\\Browser\\browser.exe\" -nohome \"%1\"", "\"C:\\Program Files\\Browser\\browser.exe\""},
        {"C:\\WINDOWS\\browser.exe -nohome %1", "C:\\WINDOWS\\browser.exe -nohome"},
        {"C:\\browser.exe", "C:\\browser.exe"},
        {"\"C:\\browser.exe\"", "\"C:\\browser.exe\""},
        {"\"C:\\a b\\browser.exe", "\"C:\\a"},  // no closing quotation mark: the last blank
    };
    for (const auto &[command, program] : cases) EXPECT_EQ(vc::shortenBrowserCommand(command), program) << command;
}

}  // namespace
