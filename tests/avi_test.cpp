// AVI import and export over a scripted companion library: the content
// test, the preview, the rules of templates 103, 104 and 105 worked as a
// user would, what reaches the companion, and the failure paths; then the
// AVI core over the scripted companion and the real one beside the tests.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/bytes.h"
#include "platform/headless_dialog.h"
#include "support/fake_companion.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "codecs/avi_core.h"
#include "codecs/dib_core.h"
#include "video/avi.h"

using namespace vctest;
using vc::AviLibrary;

namespace {

using Frames = std::set<int32_t>;
template <class Model> using Work = std::function<intptr_t(Model &, VcDialog *)>;

class Avi : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        gFakeCompanion = &fake;
        AviLibrary::setTestCompanion(fakeCompanionLookup);
    }
    void TearDown() override {
        AviLibrary::clearTestCompanion();
        if (parent) VcDestroyWindow(parent);
        LibraryTest::TearDown();
    }
    // Runs the import with `work` done in "AVI Import" (103) and, when it
    // opens, `step` in "AVI Select Frames" (104).
    vc::Result import(const Work<vc::AviImportModel> &work = {}, uint32_t option = 0, const Work<vc::AviSelectFramesModel> &step = {}) {
        ui.dialogAnswer = [&](int32_t, VcDialog *d) -> intptr_t {
            if (auto *m = vc::plat::dialogAs<vc::AviImportModel>(d)) return work ? work(*m, d) : VC_DIALOG_DEFAULT;
            auto *s = vc::plat::dialogAs<vc::AviSelectFramesModel>(d);
            return s && step ? step(*s, d) : VC_DIALOG_DEFAULT;
        };
        return vc::LoadAviImage("in.avi", parent, option, FakeEditor::callback());
    }
    static void clicks(VcDialog *d, int keys, std::initializer_list<int32_t> frames, int reel = vc::kAviImportReel) {
        VcDialogKeys(d, keys);
        for (int32_t f : frames) VcDialogReelNotify(d, reel, vc::REELN_CLICK, f);
        VcDialogKeys(d, 0);
    }
    static Frames selection(const vc::ReelModel &reel) {
        Frames s;
        for (int32_t i = 0; i < reel.count(); ++i)
            if (reel.selected(i)) s.insert(i);
        return s;
    }
    // The editor's animation: frames of width x 2, each byte of frame i
    // 0x11 * (i + 1); exported with `work` done in "AVI Export" (105).
    void animation(int frames, int32_t width, uint16_t bits) {
        editor.images.clear();
        for (int i = 0; i < frames; ++i) {
            std::vector<uint8_t> dib = makeDib(width, 2, bits);
            std::fill(dib.begin() + 40 + 4 * (bits <= 8 ? 1 << bits : 0), dib.end(), uint8_t(0x11 * (i + 1)));
            editor.addFrame(dib);
        }
        editor.imageWidth = uint16_t(width), editor.imageHeight = 2;
    }
    // failAt: the allocation of the export that fails (1 the first).
    vc::Result exportTo(const std::string &name, const Work<vc::AviExportModel> &work = {}, long failAt = 0) {
        ui.dialogAnswer = [&](int32_t, VcDialog *d) {
            auto *m = vc::plat::dialogAs<vc::AviExportModel>(d);
            return m && work ? work(*m, d) : VC_DIALOG_DEFAULT;
        };
        fake.positions.clear(), fake.written.clear();
        void *block = VcMemAlloc(VC_MEM_MOVEABLE, editor.images[0].bytes.size());
        std::memcpy(VcMemLock(block), editor.images[0].bytes.data(), editor.images[0].bytes.size());
        VcMemUnlock(block);
        vc::plat::memFailAt(failAt);
        const vc::Result r = vc::SaveAviImage(path(name).c_str(), parent, 0, nullptr, block, FakeEditor::callback());
        vc::plat::memFailAt(0);
        VcMemFree(block);
        return r;
    }
    // The editor's frames as pictures, as the core takes them.
    vc::Animation editorsVideo() {
        vc::Animation video;
        for (const auto &image : editor.images)
            EXPECT_EQ(vc::decodePackedDib(image.bytes, vc::Limits{}, video.frames.emplace_back().picture), vc::Result::ok);
        return video;
    }
    static intptr_t delays(VcDialog *d, const std::vector<const char *> &list) {
        int32_t f = 0;
        for (const char *text : list) {
            clicks(d, 0, {f++}, vc::kAviExportReel);
            VcDialogSetText(d, vc::kAviExportDelay, text);
        }
        return VC_DIALOG_DEFAULT;
    }

    FakeCompanion fake;
    FakeEditor editor;
    UiRecorder ui;
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    const vc::AviCompanion companion{fakeCompanionLookup}, missing{nullptr};  // for the core
    const vc::CoreRequest request;
};

TEST_F(Avi, ContentTest) {
    const std::pair<std::string, bool> cases[] = {
        {std::string("RIFF\x10\0\0\0AVI LIST", 16), true}, {"AVI xxxx", true},
        {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), false}, {"RIFF\x10\0\0\0AV", false}, {"AVI", false}, {"avi ", false},
    };
    for (const auto &[head, avi] : cases) {
        const vc::HFile f = vc::plat::fileOpen(writeFile("x.avi", head).c_str(), vc::plat::kOpenRead);
        EXPECT_EQ(vc::DetectAviFile(f), avi) << head;
        EXPECT_EQ(vc::plat::fileSeek(f, 0, vc::plat::kSeekCur), 0);
        (void)vc::plat::fileClose(f);
    }
}

TEST_F(Avi, PreviewFrameAndFailures) {
    for (auto [count, frame] : {std::pair{1, 0}, {100, 25}, {30, 15}}) {
        fake.count = uint32_t(count), fake.framesAsked.clear();
        ConvImageRecord rec{};
        ASSERT_EQ(vc::GetAviPreview("in.avi", &rec), vc::Result::ok);
        EXPECT_EQ(fake.framesAsked, std::vector<int32_t>{frame});
        EXPECT_EQ(std::pair(rec.bitsOffset, VcMemSize(rec.image)), std::pair(uintptr_t(1064), size_t(1072)));
        VcMemFree(rec.image);
    }
    // A frame whose header describes no picture the editor takes.
    const std::vector<uint8_t> whole = fake.dib;
    for (auto [at, value] : {std::pair{0, 12u}, {8, 0u}, {4, 0u}, {4, 0x7FFFFFFFu}}) {
        vc::storeLe32(fake.dib.data() + at, value);
        ConvImageRecord rec{};
        EXPECT_EQ(vc::GetAviPreview("in.avi", &rec), vc::Result::damaged) << at << " " << value;
        fake.dib = whole;
    }
    ConvImageRecord rec{};
    fake.missingFrames = {15};
    EXPECT_EQ(vc::GetAviPreview("in.avi", &rec), vc::Result::damaged);
    fake.opens = false;
    EXPECT_EQ(vc::GetAviPreview("in.avi", &rec), vc::Result::readFailed);
    EXPECT_EQ(std::pair(fake.closes, rec.image), std::pair(8, (void *)nullptr));  // every opened file closed
}

TEST_F(Avi, MissingCompanion) {
    AviLibrary::setTestCompanion(nullptr);
    animation(1, 4, 8);
    EXPECT_EQ(vc::LoadAviImage("in.avi", parent, 0, FakeEditor::callback()), vc::Result::cancelled);
    EXPECT_EQ(exportTo("out.avi"), vc::Result::cancelled);
    char text[300] = {};
    ConvImageRecord rec{nullptr, 0, text, sizeof text};
    EXPECT_EQ(vc::GetAviPreview("in.avi", &rec), vc::Result::cancelled);
    EXPECT_EQ(vc::GetAviPreview("in.avi", nullptr), vc::Result::cancelled);
    // Boxes for the dialogs only; the preview says it in its text.
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[1].title, "Error");
    EXPECT_EQ(ui.messageBoxes[1].text.rfind("Video for Windows has not been installed", 0), 0u);
    EXPECT_EQ(std::string(text), ui.messageBoxes[0].text);
    EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(Avi, SelectionText) {
    fake.count = 100;
    std::vector<std::string> shown;
    const auto note = [&](vc::AviImportModel &m) { shown.push_back(m.selText + " " + m.selCountText + (m.enabled(1) ? " ok" : "")); };
    import([&](vc::AviImportModel &m, VcDialog *d) {
        note(m);
        clicks(d, 1, {3, 4, 5, 9});
        note(m);
        for (int32_t i = 0; i < 100; ++i)  // all 100: too wide for static 108
            if (!m.reel.selected(i)) clicks(d, 1, {i});
        note(m);
        clicks(d, 1, {0, 1});  // from the third frame on, still too wide
        note(m);
        clicks(d, 1, {0, 1});
        m.measure = [](const std::string &) { return 0; };
        clicks(d, 1, {0, 0});  // never too wide: numbers stop once the text reaches 120 characters
        note(m);
        return intptr_t(0);
    });
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[4].size(), 119u + 10u);
    EXPECT_EQ(shown, (std::vector<std::string>{" (0):", "4,5,6,10 (4): ok", "1.....100 (100): ok", "3.....100 (98): ok",
                                               shown[4].substr(0, 110) + ",41,42,43 (100): ok"}));
}

// What a host reads of both dialogs through the public calls alone: the
// strips' frames (the import's cut at the strip's limit), the statics and
// the check boxes; none for a control that is not there. Previous from the
// first frame of a video longer than the strip stays.
TEST_F(Avi, DialogsReadThroughThePublicCalls) {
    const auto text = [](VcDialog *d, int32_t id) {
        char buffer[16];
        return VcDialogGetText(d, id, buffer, sizeof buffer) >= 0 ? std::string(buffer) : "-";
    };
    fake.count = 40000;
    import([&](vc::AviImportModel &, VcDialog *d) {
        EXPECT_EQ(std::tuple(VcDialogReelCount(d, VC_IDC_AVI_REEL), text(d, VC_IDC_AVIIMP_COUNT), text(d, VC_IDC_AVIIMP_SIZE),
                             text(d, VC_IDC_AVIIMP_RATE), text(d, VC_IDC_AVI_FRAME)),
                  std::tuple(32760, "40000", "4 x 2", "10", "1"));
        EXPECT_EQ(std::tuple(VcDialogChecked(d, VC_IDC_AVIIMP_PALETTE), VcDialogChecked(d, VC_IDC_AVIIMP_SELECT),
                             VcDialogReelCount(d, VC_IDC_AVIIMP_COUNT)),
                  std::tuple(0, -1, -1));
        VcDialogClick(d, vc::kAviPrevious);  // wraps to the video's last frame, past the strip: refused
        EXPECT_EQ(text(d, VC_IDC_AVI_FRAME), "1");
        return intptr_t(0);
    });
    animation(3, 4, 8);
    exportTo("read.avi", [&](vc::AviExportModel &, VcDialog *d) {
        EXPECT_EQ(std::tuple(VcDialogReelCount(d, VC_IDC_AVI_REEL), text(d, VC_IDC_AVI_FRAME), text(d, VC_IDC_AVIEXP_TOTAL)),
                  std::tuple(3, "1", "0.25s"));  // a tick each at 12 frames a second
        return intptr_t(0);
    });
}

TEST_F(Avi, SelectFramesFieldRules) {
    fake.count = 12;
    const std::tuple<const char *, const char *, const char *, int, Frames> cases[] = {  // from, number, step, focus, selected
        {"5", "3", "4", 0, {4, 8}},  // index 12 lies past the last frame
        {"0", "3", "4", vc::kAviSelectFrom, {0}},     {"1", "256", "1", vc::kAviSelectNumber, {0}},
        {"1", "0", "1", 0, {}},                       {"1", "3", "0", vc::kAviSelectStep, {0}},
    };
    for (const auto &[from, number, step, wantFocus, selected] : cases) {
        SCOPED_TRACE(std::string(from) + " " + number + " " + step);
        int focus = -1;
        const size_t beeps = ui.beeps.size();
        import([&](vc::AviImportModel &m, VcDialog *d) {
            clicks(d, 1, {0});
            VcDialogClick(d, vc::kAviImportSelect);
            EXPECT_EQ(selection(m.reel), selected);
            return intptr_t(0);
        }, 0, [&](vc::AviSelectFramesModel &s, VcDialog *d) {
            for (auto [id, text] : {std::pair{vc::kAviSelectFrom, from}, {vc::kAviSelectNumber, number}, {vc::kAviSelectStep, step}})
                VcDialogSetText(d, id, text);
            const int ok = VcDialogClick(d, 1);
            focus = s.focus;
            return intptr_t(ok);
        });
        EXPECT_EQ(std::pair(focus, ui.beeps.size() - beeps), std::pair(wantFocus, size_t(wantFocus ? 1 : 0)));
    }
}

TEST_F(Avi, HandOverWithFlagsSkippingMissingFrames) {
    // Palette goes with no stretching only, and stretching is only taken
    // off; cancelled on the progress at the second frame asked.
    const int32_t palette = vc::kAviImportPalette, stretch = vc::kAviImportStretch;
    // option, the editor's dither answer, it refuses frames, flags handed over, frames asked, buttons, cancel at
    const std::tuple<uint32_t, intptr_t, bool, intptr_t, std::vector<int32_t>, std::vector<int32_t>, int> cases[] = {
        {0, 0, false, 4, {1, 3, 5}, {}, 0},        {0, 1, false, 8, {1, 3, 5}, {}, 0},
        {1, 0, false, 64 + 4, {1, 3, 5}, {}, 0},   {0, 0, false, 2 + 4, {1, 3, 5}, {palette, stretch}, 0},
        {1, 0, false, 4, {1, 3, 5}, {palette, stretch}, 0},
        {0, 1, false, 4, {1, 3, 5}, {vc::kAviImportDither}, 0},
        {0, 0, false, 4, {1, 3}, {}, 5},           {0, 0, true, 4, {1}, {}, 0},  // the editor refuses the first frame
    };
    fake.missingFrames = {3};  // left out; the frames after it still come
    for (const auto &[option, dither, refuse, flags, asked, toggles, cancelAt] : cases) {
        SCOPED_TRACE(flags);
        editor.images.clear(), fake.framesAsked.clear();
        editor.dither = dither;
        if (refuse) editor.refuse(HOST_ADD_FRAME);
        ui.pressCancelOnPump(cancelAt);
        EXPECT_EQ(import([&](auto &, VcDialog *d) {
                      for (int32_t id : toggles) VcDialogClick(d, id);
                      return clicks(d, 1, {5, 3, 1}), VC_DIALOG_DEFAULT;
                  }, option), vc::Result::ok);
        EXPECT_EQ(fake.framesAsked, asked);
        ASSERT_EQ(editor.images.size(), refuse ? 0u : asked.size() - 1);
        for (size_t i = 0; i < editor.images.size(); ++i)
            EXPECT_EQ(std::pair(editor.images[i].flags, int(editor.images[i].bytes[1064])), std::pair(flags, i ? 5 : 1));
    }
    EXPECT_FALSE(ui.progress.empty());
}

// Delays typed for three frames reach the companion as positions, with the
// dialog's total and the current frame's time; the core given the same
// ticks writes what the export writes (8 bits, 4 widened, 24 bits).
TEST_F(Avi, DelaysReachTheCompanionAsTheCoreWritesThem) {
    // bits, delays typed, the ticks they stand for, positions, total and time of the third frame, the frame written second
    const std::tuple<uint16_t, std::vector<const char *>, std::vector<uint32_t>, std::vector<int32_t>, std::string, int> cases[] = {
        {4, {"1", "2", "3"}, {1, 2, 3}, {0, 1, 3, 5}, "0.50s 0.25s", 1},  // the last picture again at its last tick
        {8, {"1", "0", "1"}, {1, 0, 1}, {0, 1}, "0.17s 0.08s", 2},        // delay 0 leaves the frame out
        {24, {"1", "x", "1"}, {1, 1, 1}, {0, 1, 2}, "0.25s 0.17s", 1},    // not a number: 1
        {8, {"1", "123", "1"}, {1, 12, 1}, {0, 1, 13}, "1.17s 1.08s", 1},  // two digits kept
    };
    for (const auto &[bits, list, ticks, positions, times, second] : cases) {
        SCOPED_TRACE(times);
        animation(3, 15, bits);
        for (auto &image : editor.images)
            for (size_t k = image.bytes.size() - 4; k < image.bytes.size(); ++k) image.bytes[k] = uint8_t(k * 7);
        std::string shown;
        ASSERT_EQ(exportTo("out.avi", [&](vc::AviExportModel &m, VcDialog *d) {
                      delays(d, list);
                      clicks(d, 0, {2}, vc::kAviExportReel);
                      shown = m.totalText + " " + m.positionText;
                      return VC_DIALOG_DEFAULT;
                  }), vc::Result::ok);
        EXPECT_EQ(shown, times);
        EXPECT_EQ(fake.positions, positions);
        const int first = (bits == 4 ? 1 : 0x11) * (second + 1);  // frame i is 0x11 * (i + 1), widened from 4 bits its nibble
        EXPECT_EQ(std::pair(int(fake.written[1][0]), +fake.params.deepFrames), std::pair(first, bits == 24 ? 1 : 0));
        const FakeCompanion byExport = fake;
        fake.positions.clear(), fake.written.clear();
        ASSERT_EQ(vc::writeAvi(companion, editorsVideo(), path("core.avi").c_str(), {.ticks = ticks, .wave = {}}, request), vc::Result::ok);
        EXPECT_EQ(std::tie(fake.positions, fake.written, fake.compress), std::tie(byExport.positions, byExport.written, byExport.compress));
        // Copied out of the packed record before they are compared.
        EXPECT_EQ(std::tuple(+fake.params.rate, uint32_t(fake.params.imageBytes), +fake.params.deepFrames),
                  std::tuple(+byExport.params.rate, uint32_t(byExport.params.imageBytes), +byExport.params.deepFrames));
        EXPECT_TRUE(std::equal(fake.initHeader.begin(), fake.initHeader.begin() + 16, byExport.initHeader.begin()));
    }
    EXPECT_EQ(std::tuple(uint16_t(fake.params.rate), uint32_t(fake.params.imageBytes), fake.compress), std::tuple(uint16_t(12), 32u, 1));
}

TEST_F(Avi, ExportDialogRules) {
    animation(10, 4, 8);
    EXPECT_EQ(exportTo("out.avi", [&](vc::AviExportModel &m, VcDialog *d) {
                  // Frame 1 current, Ctrl+click on 5, delay 4, a click on 8.
                  clicks(d, 0, {1}, vc::kAviExportReel);
                  clicks(d, 2, {5}, vc::kAviExportReel);
                  EXPECT_EQ(selection(m.reel), (Frames{1, 2, 3, 4, 5}));
                  VcDialogSetText(d, vc::kAviExportDelay, "4");
                  clicks(d, 0, {8}, vc::kAviExportReel);
                  EXPECT_EQ(std::tuple(selection(m.reel), m.delay(0), m.delay(5), m.delay(6), m.delayText, m.frameLabel),
                            std::tuple(Frames{}, 1u, 4u, 1u, "1", "9"));
                  VcDialogSetText(d, vc::kAviExportRate, "30");  // beeps and becomes 12
                  EXPECT_EQ(std::pair(m.rateText, ui.beeps.size()), std::pair(std::string("12"), size_t(1)));
                  VcDialogSetText(d, vc::kAviExportRate, "5");
                  EXPECT_EQ(m.totalText, "5.00s");
                  // Next and Previous wrap round; the spins step their fields
                  // and apply them when the stepping ends.
                  VcDialogClick(d, vc::kAviNext), VcDialogClick(d, vc::kAviNext);
                  EXPECT_EQ(m.frameLabel, "1");
                  VcDialogClick(d, vc::kAviPrevious);
                  VcDialogScroll(d, vc::kAviExportDelaySpin, 0);
                  VcDialogScroll(d, vc::kAviExportDelaySpin, vc::kScrollEnd);
                  VcDialogScroll(d, vc::kAviExportRateSpin, 1);
                  VcDialogScroll(d, vc::kAviExportRateSpin, vc::kScrollEnd);
                  EXPECT_EQ(std::tuple(m.frameLabel, m.delay(9), m.rateText, m.totalText), std::tuple("10", 2u, "4", "6.50s"));
                  VcDialogSetText(d, vc::kAviExportRate, "24");  // the rate steps up to 25 and no further
                  VcDialogScroll(d, vc::kAviExportRateSpin, 0), VcDialogScroll(d, vc::kAviExportRateSpin, 0);
                  EXPECT_EQ(m.rateText, "25");
                  return intptr_t(2);  // closed: as Cancel
              }), vc::Result::cancelled);
    // The strip draws with the image's palette (1), not the screen's (0).
    const auto asked = std::find_if(editor.calls.begin(), editor.calls.end(),
                                    [](const CallRecord &c) { return c.command == HOST_GET_PALETTE; });
    ASSERT_NE(asked, editor.calls.end());
    EXPECT_EQ(asked->value, 1);
    // An export that writes nothing deletes its file (Cancel deleting the
    // file the compression options made is the Windows dialog test's).
    animation(2, 4, 8);
    EXPECT_EQ(exportTo("out.avi", [&](auto &, VcDialog *d) { return delays(d, {"0", "0"}); }), vc::Result::cancelled);
    EXPECT_EQ(std::pair(std::filesystem::exists(path("out.avi")), fake.closedAfterDelete), std::pair(false, 0));  // closed, then deleted
}

TEST_F(Avi, DepthsReachTheCompanionAsItTakesThem) {
    animation(1, 9, 1);  // no compression for 1 bit
    EXPECT_EQ(exportTo("one.avi", [&](vc::AviExportModel &m, VcDialog *d) {
                  EXPECT_EQ(std::pair(m.enabled(vc::kAviExportCompress), VcDialogClick(d, vc::kAviExportCompress)), std::pair(false, 0));
                  return VC_DIALOG_DEFAULT;
              }), vc::Result::ok);
    EXPECT_EQ(std::pair(fake.compress, fake.params.deepFrames), std::pair(0, uint16_t(0)));
    animation(1, 9, 4);  // written as 8 bits: rows of 9 pixels from 8 bytes to 12
    editor.images[0].bytes[40 + 64] = 0xAB;
    EXPECT_EQ(exportTo("four.avi"), vc::Result::ok);
    EXPECT_EQ(std::tuple(fake.compress, fake.initHeader.size(), fake.initHeader[14]), std::tuple(1, size_t(104), uint8_t(8)));
    EXPECT_EQ(fake.written, (std::vector<std::vector<uint8_t>>{{10, 11, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0}}));
    animation(1, 15, 4);  // rows of 15 pixels from 8 bytes to 16, the second row read from its own start
    editor.images[0].bytes[40 + 64 + 7] = 0xE0, editor.images[0].bytes[40 + 64 + 8] = 0xCD;
    EXPECT_EQ(exportTo("four.avi"), vc::Result::ok);
    EXPECT_EQ(fake.written, (std::vector<std::vector<uint8_t>>{{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 14, 0,
                                                                12, 13, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}}));
}

TEST_F(Avi, FailuresOfTheExport) {
    const int all = 1 << 30;
    // the companion's init and writes answers, the result, bits, sound chosen (a frame refused, and the
    // sound refused with its box, are rows of Avi.DialogsEndWithTheirOutcome)
    const std::tuple<const char *, int32_t, int32_t, vc::Result, uint16_t, bool> cases[] = {
        {"disk full at the last picture again", 1, 3, vc::Result::writeFailed, 8, true},
        {"sound merged", 1, all, vc::Result::ok, 8, true},
        {"widened stream refused", 0, all, vc::Result::damaged, 4, true},
        {"no sound chosen", 1, all, vc::Result::ok, 8, false},
    };
    for (const auto &[what, init, writes, result, bits, wave] : cases) {
        SCOPED_TRACE(what);
        fake.merged.clear();
        fake.initResult = init, fake.writesLeft = writes;
        editor.fileDialogAnswer = wave ? std::optional<std::string>("sound.wav") : std::nullopt;
        animation(3, 4, bits);
        EXPECT_EQ(exportTo("out.avi", [&](auto &, VcDialog *d) {
                      VcDialogClick(d, vc::kAviExportWaveButton);
                      return delays(d, {"1", "2", "3"});
                  }), result);
        EXPECT_TRUE(std::filesystem::exists(path("out.avi")));  // a partial file stays
        EXPECT_EQ(fake.merged, (result == vc::Result::ok && wave ? std::vector<uint32_t>{6, 12} : std::vector<uint32_t>{}));
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
    // A sound file typed in reaches the companion cut to 80 characters.
    const std::string typed(100, 'w');
    EXPECT_EQ(exportTo("out.avi", [&](auto &, VcDialog *d) { return VcDialogSetText(d, vc::kAviExportWave, typed.c_str()), VC_DIALOG_DEFAULT; }),
              vc::Result::ok);
    EXPECT_EQ(fake.wave, typed.substr(0, 80));
    // The 4-to-8-bit block (the third allocation) refused; the sweep, which
    // saves 8 bits, covers the delay table and the strip's selection.
    animation(2, 9, 4);
    EXPECT_EQ(exportTo("out.avi", {}, 3), vc::Result::noMemory);
    // A first frame that describes no picture inside its block: no rows,
    // rows past its end, rows stored from the top.
    for (auto [at, value] : {std::pair{8, 0u}, {4, 4000u}, {8, uint32_t(-4)}}) {
        animation(1, 4, 8);
        vc::storeLe32(editor.images[0].bytes.data() + at, value);
        EXPECT_EQ(exportTo("bad.avi"), vc::Result::notFormat) << at;
    }
}

// The dialogs end with the outcome the editor is told, whatever number a
// responder returns: closed without OK (Run) or Cancel they import and
// write nothing, and once they acted they keep what they did. A companion
// without one of its functions answers that call with 0 (or does
// nothing): each import and export ends in its result.
TEST_F(Avi, DialogsEndWithTheirOutcome) {
    using enum vc::Result;
    // what, the function lacking, the button pressed (0 none), the responder's number, Compress clicked,
    // the import's result and frames handed, the export's result, message boxes
    const std::tuple<const char *, const char *, int32_t, intptr_t, bool, vc::Result, size_t, vc::Result, size_t> rows[] = {
        {"OK, then a number of its own", "", 1, 0, false, ok, 2, ok, 0},
        {"closed with the number of OK", "", 0, 1, false, cancelled, 0, cancelled, 0},
        {"Cancel", "", 2, 1, false, cancelled, 0, cancelled, 0},
        {"no OpenAviFile", "OpenAviFile", 1, 0, false, readFailed, 0, ok, 0},
        {"no GetAviFileInfo", "GetAviFileInfo", 1, 0, false, cancelled, 0, ok, 0},  // no frames: OK refused
        {"no GetAviFrame", "GetAviFrame", 1, 0, false, ok, 0, ok, 0},
        {"no DrawAviFrame", "DrawAviFrame", 1, 0, false, noMemory, 0, ok, 0},  // the strip cannot be drawn
        {"no CreateAviFile", "CreateAviFile", 1, 0, false, ok, 2, createFailed, 0},
        {"no CreateAviFile, Compress", "CreateAviFile", 1, 0, true, ok, 2, createFailed, 0},
        {"no ShowCompressOptionsDlg", "ShowCompressOptionsDlg", 1, 0, true, ok, 2, ok, 0},
        {"no InitAviStreamWrite", "InitAviStreamWrite", 1, 0, false, ok, 2, damaged, 0},
        {"no WriteAviFrame", "WriteAviFrame", 1, 0, false, ok, 2, writeFailed, 0},
        {"no MergeSoundFile", "MergeSoundFile", 1, 0, false, ok, 2, ok, 1},
    };
    editor.fileDialogAnswer = "sound.wav";
    for (const auto &[what, lacking, button, number, compress, load, handed, save, boxes] : rows) {
        SCOPED_TRACE(what);
        fake.lacking = {lacking};
        editor.images.clear(), ui.messageBoxes.clear();
        vc::Result seen = damaged;
        const auto end = [&](auto &m, VcDialog *d) {
            if (button) VcDialogClick(d, button);
            seen = m.outcome();
            return number;
        };
        EXPECT_EQ(import([&](auto &m, VcDialog *d) { return clicks(d, 1, {0, 1}), end(m, d); }), load);
        EXPECT_EQ(editor.images.size(), handed);
        if (!*lacking) EXPECT_EQ(seen, load);
        animation(2, 4, 8);
        std::filesystem::remove(path("out.avi"));
        EXPECT_EQ(exportTo("out.avi", [&](auto &m, VcDialog *d) {
                      if (compress) VcDialogClick(d, vc::kAviExportCompress);
                      VcDialogClick(d, vc::kAviExportWaveButton);
                      return end(m, d);
                  }), save);
        if (!*lacking) EXPECT_EQ(std::pair(seen, std::filesystem::exists(path("out.avi"))), std::pair(save, save == ok));
        ASSERT_EQ(ui.messageBoxes.size(), boxes);
        for (const auto &box : ui.messageBoxes) EXPECT_EQ(box.text.rfind("Error adding Sound", 0), 0u);
    }
}

// The strip of "AVI Import": wrapping steps, the toggle, double clicks,
// Shift and Ctrl clicks.
TEST_F(Avi, ImportStripActions) {
    fake.count = 300;
    std::vector<std::string> dialogs;  // the stepping dialog's fields
    import([&](vc::AviImportModel &m, VcDialog *d) {
        const auto reel = [&](int code, int32_t frame) { VcDialogReelNotify(d, vc::kAviImportReel, code, frame); };
        const std::tuple<std::function<void()>, Frames, const char *> steps[] = {  // action, selection, frame label
            {[&] { VcDialogClick(d, vc::kAviPrevious); }, {}, "300"},  // from the first to the last
            {[&] { clicks(d, 2, {297}); }, {}, "300"},                  // the stepping dialog with nothing selected
            {[&] { VcDialogClick(d, vc::kAviImportToggle); }, {299}, "300"},
            {[&] { VcDialogClick(d, vc::kAviNext); }, {299}, "1"},
            {[&] { reel(vc::REELN_DBLCLK, 0); }, {0, 299}, "1"},
            {[&] { reel(vc::REELN_CURRENT, 2); }, {0, 299}, "3"},
            {[&] { clicks(d, 0, {20}); }, {0, 299}, "21"},
            {[&] { clicks(d, 1, {3}); }, {0, 3, 299}, "21"},
            // Ctrl on an unselected frame: the stepping dialog from the current
            // frame to it, either way (cancelled, then taken: the selection it
            // makes replaces the old); on a selected frame: the frames from it
            // to the current one off, either way.
            {[&] { clicks(d, 2, {5}); }, {0, 3, 299}, "21"},
            {[&] { clicks(d, 2, {3}); }, {0, 299}, "21"},
            {[&] { clicks(d, 2, {25}); }, {20, 21, 22, 23, 24, 25}, "21"},
            {[&] { clicks(d, 2, {22}); }, {23, 24, 25}, "21"},
            {[&] { clicks(d, 2, {1}); }, {23, 24, 25}, "21"},  // the second frame is an anchor too (cancelled)
        };
        for (const auto &[act, selected, label] : steps) {
            act();
            EXPECT_EQ(std::pair(selection(m.reel), m.frameLabel), std::pair(selected, std::string(label))) << label;
        }
        return intptr_t(0);
    }, 0, [&](vc::AviSelectFramesModel &s, VcDialog *) {
        dialogs.push_back(s.fromText + " " + s.numberText + " " + s.stepText);
        return dialogs.size() == 3 ? VC_DIALOG_DEFAULT : 0;
    });
    EXPECT_EQ(dialogs, (std::vector<std::string>{"298 3 1", "6 16 1", "21 6 1", "2 20 1"}));
}

// ---- The AVI core -------------------------------------------------------------------

// Every frame the scripted companion gives as a picture, with the rate;
// and the failures by name.
TEST_F(Avi, CoreReadsTheFramesTheCompanionGives) {
    using enum vc::Result;
    fake.count = 5, fake.missingFrames = {3};
    vc::Animation video;
    ASSERT_EQ(vc::readAvi(companion, "in.avi", request, video), ok);
    EXPECT_EQ(std::tuple(video.frames.size(), video.rateNumerator, video.rateDenominator, video.frames[0].delay, video.screenWidth),
              std::tuple(size_t(4), 10u, 1u, 10u, 4));
    const uint8_t numbers[] = {0, 1, 2, 4};  // the first pixel of each frame the companion gives
    for (size_t i = 0; i < std::min<size_t>(4, video.frames.size()); ++i) {
        std::vector<uint8_t> bits(fake.dib.begin() + 1064, fake.dib.end());
        bits[0] = numbers[i];
        EXPECT_EQ(std::tuple(video.frames[i].picture.pixels, video.frames[i].picture.palette.size()), std::tuple(bits, size_t(256))) << i;
    }
    EXPECT_EQ(vc::readAvi(missing, "in.avi", request, video), unsupported);
    int opened = 0;
    // what, a change to the companion or to the request, the result
    const std::tuple<const char *, std::function<void(vc::CoreRequest &)>, vc::Result> cases[] = {
        {"the file does not open", [&](auto &) { fake.opens = false; }, readFailed},
        {"no frames to be had", [&](auto &) { fake.lacking = {"GetAviFrame"}; }, unsupported},
        {"more frames than the limit", [](auto &r) { r.limits.largestFrameCount = 4; }, noMemory},
        {"frames of more pixels than the limit", [](auto &r) { r.limits.largestPicture = 7; }, noMemory},
        {"stopped half way", [](auto &r) { r.progress.report = [](void *, int32_t percent) { return percent < 50; }; }, cancelled},
        {"a frame coded", [&](auto &) { vc::storeLe32(fake.dib.data() + 16, 1); }, unsupported},
        {"a frame of negative width", [&](auto &) { vc::storeLe32(fake.dib.data() + 4, uint32_t(-4)); }, damaged},
        {"frames one row high", [&](auto &) { vc::storeLe32(fake.dib.data() + 8, 1); }, ok},
        {"frames of the largest block", [&](auto &r) { r.limits.largestBlock = fake.dib.size(); }, ok},
    };
    for (const auto &[what, change, result] : cases) {
        SCOPED_TRACE(what);
        const FakeCompanion intact = fake;
        vc::CoreRequest changed;
        change(changed);
        EXPECT_EQ(vc::readAvi(companion, "in.avi", changed, video), result);
        opened += fake.closes - intact.closes;
        fake = intact;
    }
    EXPECT_EQ(opened, 7);  // every file opened is closed
}

// The core's failures by name (what it writes is compared with the
// export's in Avi.DelaysReachTheCompanionAsTheCoreWritesThem).
TEST_F(Avi, CoreWriteFailures) {
    using enum vc::Result;
    const vc::AviWriteOptions options{.ticks = {1, 2, 3}, .wave = {}};
    animation(2, 4, 8);
    struct Call {
        const vc::AviCompanion *to;
        vc::Animation video;
        vc::AviWriteOptions options;
        vc::CoreRequest request;
    };
    const Call two{&companion, editorsVideo(), options, request};
    // what, a change to two frames written with delays 1 to 3, the result, the file stays
    const std::tuple<const char *, std::function<void(Call &)>, vc::Result, bool> cases[] = {
        {"no frames", [](Call &c) { c.video = {}; }, noneFound, false},
        {"every frame's length 0", [](Call &c) { c.options = {.ticks = {0, 0}, .wave = {}}; }, noneFound, false},
        {"stopped", [](Call &c) { c.request.progress.report = [](void *, int32_t) { return false; }; }, cancelled, false},
        {"a frame that is not whole", [](Call &c) { c.video.frames[1].picture = vc::Picture{}; }, unsupported, false},
        {"no companion", [&](Call &c) { c.to = &missing; }, unsupported, false},
        {"stream refused", [&](Call &) { fake.initResult = 0; }, damaged, true},
        {"disk full", [&](Call &) { fake.writesLeft = 1; }, writeFailed, true},
        {"sound refused", [&](Call &c) { c.options = {.ticks = {}, .wave = "sound.wav"}, fake.mergeResult = 0; }, writeFailed, true},
        {"sound merged", [](Call &c) { c.options = {.ticks = {}, .wave = "sound.wav"}; }, ok, true},
        {"rate 25 kept", [](Call &c) { c.options.rate = 25; }, ok, true},
        {"rate 26 made 12", [](Call &c) { c.options.rate = 26; }, ok, true},
        {"rate 0 made 12", [](Call &c) { c.options.rate = 0; }, ok, true},
    };
    for (const auto &[what, change, result, stays] : cases) {
        SCOPED_TRACE(what);
        const FakeCompanion intact = fake;
        Call c = two;
        change(c);
        std::filesystem::remove(path("core.avi"));
        EXPECT_EQ(vc::writeAvi(*c.to, c.video, path("core.avi").c_str(), c.options, c.request), result);
        EXPECT_EQ(std::pair(std::filesystem::exists(path("core.avi")), fake.closedAfterDelete), std::pair(stays, 0));
        if (result == ok) {
            EXPECT_EQ(+fake.params.rate, c.options.rate == 25 ? 25 : 12);
        }
        fake = intact;
    }
}

// Through the companion beside the tests: a video written by the core with
// delays 1, 2 and 3 reads back through the core, a picture per tick.
TEST_F(Avi, CoreRoundTripThroughTheCompanion) {
    if (!vc::AviCompanion()) GTEST_SKIP() << "no AVI companion library beside the tests (this build found no FFmpeg libraries)";
    animation(3, 8, 24);
    for (size_t i = 0; i < 3; ++i)
        for (size_t k = 40; k < editor.images[i].bytes.size(); ++k) editor.images[i].bytes[k] = uint8_t(k * 5 + i * 80);
    const vc::Animation video = editorsVideo();
    const std::string file = path("round.avi");
    ASSERT_EQ(vc::writeAvi(video, file.c_str(), {.ticks = {1, 2, 3}, .wave = {}}, vc::CoreRequest{}), vc::Result::ok);
    vc::Animation back;
    ASSERT_EQ(vc::readAvi(file.c_str(), vc::CoreRequest{}, back), vc::Result::ok);
    EXPECT_EQ(std::tuple(back.frames.size(), back.rateNumerator, back.screenWidth, back.screenHeight), std::tuple(size_t(6), 12u, 8, 2));
    const size_t shown[6] = {0, 1, 1, 2, 2, 2};
    for (size_t t = 0; t < std::min<size_t>(6, back.frames.size()); ++t)
        EXPECT_EQ(back.frames[t].picture.pixels, video.frames[shown[t]].picture.pixels) << t;
}

}  // namespace
