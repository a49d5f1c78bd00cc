// AVI import and export over a scripted companion library: the content
// test, the preview, the rules of templates 103, 104 and 105 worked as a
// user would, what reaches the companion, and the failure paths.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/headless_dialog.h"
#include "support/fake_companion.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "video/avi.h"

using namespace vctest;
using vc::AviLibrary;

namespace {

class Avi : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        gFakeCompanion = &fake;
        AviLibrary::setTestCompanion(fakeCompanionLookup);
    }
    void TearDown() override {
        AviLibrary::clearTestCompanion();
        gFakeCompanion = nullptr;
        if (parent) VcDestroyWindow(parent);
        LibraryTest::TearDown();
    }
    // Runs the import with `work` done in "AVI Import" before Enter.
    int16_t import(const std::function<void(vc::AviImportModel &, VcDialog *)> &work, uint32_t option = 0) {
        ui.dialogAnswer = [&](int32_t id, VcDialog *d) -> intptr_t {
            if (auto *m = vc::plat::dialogAs<vc::AviImportModel>(d)) {
                shown = m;
                work(*m, d);
            }
            if (auto *s = vc::plat::dialogAs<vc::AviSelectFramesModel>(d)) return select ? select(*s, d) : VC_DIALOG_DEFAULT;
            return VC_DIALOG_DEFAULT;
        };
        return vc::LoadAviImage(importName.c_str(), parent, option, FakeEditor::callback());
    }
    static void shiftClick(VcDialog *d, std::initializer_list<int32_t> frames) {
        VcDialogKeys(d, 1);
        for (int32_t f : frames) VcDialogReelNotify(d, vc::kAviImportReel, vc::REELN_CLICK, f);
        VcDialogKeys(d, 0);
    }
    static std::set<int32_t> selection(const vc::ReelModel &reel) {
        std::set<int32_t> s;
        for (int32_t i = 0; i < reel.count(); ++i)
            if (reel.selected(i)) s.insert(i);
        return s;
    }

    // The editor's animation: frames of width x 2 at `bits`, each filled
    // with its number + 1, and the block SaveConvImage would get.
    void animation(int frames, int32_t width, uint16_t bits) {
        for (int i = 0; i < frames; ++i) {
            std::vector<uint8_t> dib = makeDib(width, 2, bits);
            const size_t bitsAt = 40 + 4 * (bits <= 8 ? 1u << bits : 0);
            std::fill(dib.begin() + long(bitsAt), dib.end(), uint8_t(0x10 * (i + 1) + i + 1));
            editor.addFrame(dib);
        }
        editor.imageWidth = uint16_t(width), editor.imageHeight = 2;
        block = VcMemAlloc(VC_MEM_MOVEABLE, editor.images[0].bytes.size());
        std::memcpy(VcMemLock(block), editor.images[0].bytes.data(), editor.images[0].bytes.size());
        VcMemUnlock(block);
    }
    // Runs the export with `work` done in "AVI Export" before its answer.
    int16_t exportTo(const std::string &name, const std::function<intptr_t(vc::AviExportModel &, VcDialog *)> &work) {
        ui.dialogAnswer = [&](int32_t, VcDialog *d) -> intptr_t {
            auto *m = vc::plat::dialogAs<vc::AviExportModel>(d);
            return m ? work(*m, d) : VC_DIALOG_DEFAULT;
        };
        const int16_t r = vc::SaveAviImage(path(name).c_str(), parent, 0, nullptr, block, FakeEditor::callback());
        VcMemFree(block);
        block = nullptr;
        return r;
    }
    static void setDelays(VcDialog *d, std::initializer_list<const char *> delays) {
        int32_t f = 0;
        for (const char *text : delays) {
            VcDialogReelNotify(d, vc::kAviExportReel, vc::REELN_CLICK, f++);
            VcDialogSetText(d, vc::kAviExportDelay, text);
        }
    }
    std::vector<int32_t> positions() const {
        std::vector<int32_t> p;
        for (const auto &w : fake.written) p.push_back(w.position);
        return p;
    }

    FakeCompanion fake;
    FakeEditor editor;
    UiRecorder ui;
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    void *block = nullptr;
    vc::AviImportModel *shown = nullptr;
    std::string importName = "in.avi";
    std::function<intptr_t(vc::AviSelectFramesModel &, VcDialog *)> select;
};

TEST_F(Avi, ContentTest) {
    const struct {
        std::string head;
        bool avi;
    } cases[] = {
        {std::string("RIFF\x10\0\0\0AVI LIST", 16), true}, {"AVI xxxx", true},
        {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), false}, {"RIFF\x10\0\0\0AV", false},
        {"AVI", false}, {"avi ", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.head);
        const std::string name = writeFile("x.avi", c.head);
        const vc::HFile f = vc::plat::fileOpen(name.c_str(), vc::plat::kOpenRead);
        EXPECT_EQ(vc::DetectAviFile(f), c.avi);
        EXPECT_EQ(vc::plat::fileSeek(f, 0, vc::plat::kSeekCur), 0);
        (void)vc::plat::fileClose(f);
    }
}

TEST_F(Avi, PreviewFrameAndFailures) {
    const struct {
        uint32_t count;
        int32_t frame;
    } frames[] = {{1, 0}, {100, 25}, {30, 15}};
    for (const auto &c : frames) {
        fake.count = c.count;
        fake.framesAsked.clear();
        ConvImageRecord rec{};
        ASSERT_EQ(vc::GetAviPreview("in.avi", &rec), CONV_OK);
        EXPECT_EQ(fake.framesAsked, std::vector<int32_t>{c.frame});
        EXPECT_EQ(rec.bitsOffset, 40u + 1024u);
        EXPECT_EQ(VcMemSize(rec.image), 40u + 1024u + 8u);
        VcMemFree(rec.image);
    }
    ConvImageRecord rec{};
    fake.missingFrames = {15};
    EXPECT_EQ(vc::GetAviPreview("in.avi", &rec), CONV_E_DATA);
    fake.opens = false;
    EXPECT_EQ(vc::GetAviPreview("in.avi", &rec), CONV_E_READ);
    EXPECT_EQ(fake.closes, 4);  // every opened file closed
    EXPECT_EQ(rec.image, nullptr);
}

TEST_F(Avi, MissingCompanion) {
    AviLibrary::setTestCompanion(nullptr);
    EXPECT_EQ(vc::LoadAviImage("in.avi", parent, 0, FakeEditor::callback()), CONV_CANCELLED);
    animation(1, 4, 8);
    EXPECT_EQ(exportTo("out.avi", [](auto &, VcDialog *) { return VC_DIALOG_DEFAULT; }), CONV_CANCELLED);
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[0].title, "Error");
    EXPECT_NE(ui.messageBoxes[0].text.find("Video for Windows has not been installed"), std::string::npos);
    char text[300] = {};
    ConvImageRecord rec{nullptr, 0, text, sizeof text};
    EXPECT_EQ(vc::GetAviPreview("in.avi", &rec), CONV_CANCELLED);
    EXPECT_EQ(ui.messageBoxes.size(), 2u);  // the preview says it in its text only
    EXPECT_EQ(std::string(text), ui.messageBoxes[0].text);
    EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(Avi, SelectionTextAndItsLimits) {
    fake.count = 100;
    const struct {
        std::vector<int32_t> frames;
        bool measured;  // by the template font, else nothing is too wide
        std::string text, count;
    } cases[] = {
        {{3, 4, 5, 9}, true, "4,5,6,10", "(4):"},
        {{}, true, "", "(0):"},
        // Wider than static 108: first and last only.
        {{}, true, "1.....100", "(100):"},
        // Not measured too wide: numbers stop once the text reaches 120
        // characters (",43" brings it from 117 to 120).
        {{}, false, "", "(100):"},
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        SCOPED_TRACE(c);
        std::vector<int32_t> frames = cases[c].frames;
        if (c >= 2)
            for (int32_t i = 0; i < 100; ++i) frames.push_back(i);
        import([&](vc::AviImportModel &m, VcDialog *d) {
            if (!cases[c].measured) m.measure = [](const std::string &) { return 0; };
            VcDialogKeys(d, 1);
            for (int32_t f : frames) VcDialogReelNotify(d, vc::kAviImportReel, vc::REELN_CLICK, f);
            if (c == 3) {
                EXPECT_EQ(m.selText.size(), 119u);
                EXPECT_EQ(m.selText.substr(m.selText.size() - 3), ",43");
            } else {
                EXPECT_EQ(m.selText, cases[c].text);
            }
            EXPECT_EQ(m.selCountText, cases[c].count);
            EXPECT_EQ(m.enabled(1), !frames.empty());
            VcDialogClick(d, 2);
        });
    }
}

TEST_F(Avi, CtrlClickOpensSteppingOverTheStretch) {
    fake.count = 100;
    std::string fields;
    select = [&](vc::AviSelectFramesModel &s, VcDialog *) {
        fields = s.fromText + " " + s.numberText + " " + s.stepText;
        return VC_DIALOG_DEFAULT;
    };
    import([&](vc::AviImportModel &m, VcDialog *d) {
        VcDialogKeys(d, 2);
        VcDialogReelNotify(d, vc::kAviImportReel, vc::REELN_CLICK, 10);
        EXPECT_EQ(fields, "1 11 1");
        EXPECT_EQ(m.selCountText, "(11):");
        // Ctrl+click on a selected frame deselects back to the current one.
        VcDialogReelNotify(d, vc::kAviImportReel, vc::REELN_CLICK, 4);
        EXPECT_EQ(selection(m.reel), (std::set<int32_t>{5, 6, 7, 8, 9, 10}));
        VcDialogClick(d, 2);
    });
}

TEST_F(Avi, SelectFramesFieldRules) {
    fake.count = 12;
    const struct {
        const char *from, *number, *step;
        int focus;
        std::set<int32_t> selected;
    } cases[] = {
        {"5", "3", "4", 0, {4, 8}},  // index 12 lies past the last frame
        {"0", "3", "4", vc::kAviSelectFrom, {}},
        {"1", "256", "1", vc::kAviSelectNumber, {}},
        {"1", "0", "1", 0, {}},
        {"1", "3", "0", vc::kAviSelectStep, {}},
        {"1", "3", "x", vc::kAviSelectStep, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.from) + " " + c.number + " " + c.step);
        int focus = -1;
        select = [&](vc::AviSelectFramesModel &s, VcDialog *d) -> intptr_t {
            VcDialogSetText(d, vc::kAviSelectFrom, c.from);
            VcDialogSetText(d, vc::kAviSelectNumber, c.number);
            VcDialogSetText(d, vc::kAviSelectStep, c.step);
            const int ok = VcDialogClick(d, 1);
            focus = s.focus;
            return ok ? 1 : 0;
        };
        const size_t beeps = ui.beeps.size();
        import([&](vc::AviImportModel &m, VcDialog *d) {
            shiftClick(d, {0});
            VcDialogClick(d, vc::kAviImportSelect);
            EXPECT_EQ(selection(m.reel), c.focus ? std::set<int32_t>{0} : c.selected);
            VcDialogClick(d, 2);
        });
        EXPECT_EQ(focus, c.focus);
        EXPECT_EQ(ui.beeps.size() - beeps, c.focus ? 1u : 0u);
    }
}

TEST_F(Avi, LongVideoFillsTheStripToItsLimit) {
    fake.count = 40000;
    import([](vc::AviImportModel &m, VcDialog *d) {
        EXPECT_EQ(m.reel.count(), 32760);
        EXPECT_EQ(m.countText, "40000");
        EXPECT_EQ(m.sizeText, "4 x 2");
        VcDialogClick(d, vc::kAviPrevious);  // wraps to the video's last frame, past the strip
        EXPECT_EQ(m.frameLabel, "1");
        VcDialogClick(d, 2);
    });
}

TEST_F(Avi, HandOverWithFlagsSkippingMissingFrames) {
    const struct {
        uint32_t option;
        intptr_t dither;
        bool refuse;
        intptr_t flags;
        size_t taken;
    } cases[] = {
        {0, 0, false, 4, 2}, {0, 1, false, 8, 2}, {1, 0, false, 64 + 4, 2}, {0, 0, true, 4, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.flags);
        editor.images.clear();
        editor.dither = c.dither;
        if (c.refuse) editor.refuse(HOST_ADD_FRAME);
        fake.missingFrames = {3};
        fake.framesAsked.clear();
        EXPECT_EQ(import([](vc::AviImportModel &, VcDialog *d) { shiftClick(d, {5, 3, 1}); }, c.option), CONV_OK);
        ASSERT_EQ(editor.images.size(), c.taken);
        // Frame 3 gives nothing and is left out; the frames after it come.
        EXPECT_EQ(fake.framesAsked, (c.refuse ? std::vector<int32_t>{1} : std::vector<int32_t>{1, 3, 5}));
        for (size_t i = 0; i < c.taken; ++i) {
            EXPECT_EQ(editor.images[i].flags, c.flags);
            EXPECT_EQ(editor.images[i].bytes[40 + 1024], i ? 5 : 1);
        }
    }
    EXPECT_FALSE(ui.progress.empty());
}

TEST_F(Avi, WithoutDrawingTheDialogEnds) {
    fake.canDraw = false;
    EXPECT_EQ(import([](vc::AviImportModel &, VcDialog *) {}), CONV_E_MEMORY);
    EXPECT_TRUE(ui.dialogs.empty());
    fake.canDraw = true;
    fake.opens = false;
    EXPECT_EQ(import([](vc::AviImportModel &, VcDialog *) {}), CONV_E_READ);
}

TEST_F(Avi, DelaysPositionsAndTimes) {
    const struct {
        std::vector<const char *> delays;
        std::vector<int32_t> positions;
        const char *total;
    } cases[] = {
        {{"1", "2", "3"}, {0, 1, 3, 5}, "0.50s"},  // the last picture again at its last tick
        {{"1", "0", "1"}, {0, 1}, "0.17s"},        // delay 0 leaves the frame out
        {{"2", "1", "1"}, {0, 2, 3}, "0.33s"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.total);
        fake.written.clear();
        editor.images.clear();
        animation(3, 4, 8);
        EXPECT_EQ(exportTo("out.avi", [&](vc::AviExportModel &m, VcDialog *d) {
                      setDelays(d, {c.delays[0], c.delays[1], c.delays[2]});
                      VcDialogReelNotify(d, vc::kAviExportReel, vc::REELN_CLICK, 2);
                      EXPECT_EQ(m.totalText, c.total);
                      return VC_DIALOG_DEFAULT;
                  }),
                  CONV_OK);
        EXPECT_EQ(positions(), c.positions);
        ASSERT_GE(fake.written.size(), 2u);
        EXPECT_EQ(fake.written[1].bits[0], c.delays[1][0] == '0' ? 0x33 : 0x22);
    }
    EXPECT_EQ(fake.params.rate, 12);
    EXPECT_EQ(fake.params.imageBytes, 8u);
    EXPECT_EQ(fake.compress, 1);
}

TEST_F(Avi, ExportDialogRules) {
    animation(10, 4, 8);
    EXPECT_EQ(exportTo("out.avi", [&](vc::AviExportModel &m, VcDialog *d) {
                  setDelays(d, {"1", "2", "3"});
                  VcDialogReelNotify(d, vc::kAviExportReel, vc::REELN_CLICK, 2);
                  EXPECT_EQ(m.positionText, "0.25s");
                  EXPECT_EQ(m.frameLabel, "3");
                  // Frame 1 current, Ctrl+click on 5, delay 4, click on 8.
                  VcDialogReelNotify(d, vc::kAviExportReel, vc::REELN_CLICK, 1);
                  VcDialogKeys(d, 2);
                  VcDialogReelNotify(d, vc::kAviExportReel, vc::REELN_CLICK, 5);
                  VcDialogKeys(d, 0);
                  EXPECT_EQ(selection(m.reel), (std::set<int32_t>{1, 2, 3, 4, 5}));
                  VcDialogSetText(d, vc::kAviExportDelay, "4");
                  VcDialogReelNotify(d, vc::kAviExportReel, vc::REELN_CLICK, 8);
                  EXPECT_TRUE(selection(m.reel).empty());
                  for (int32_t f = 1; f <= 5; ++f) EXPECT_EQ(m.delay(f), 4u);
                  EXPECT_EQ(m.delay(6), 1u);
                  EXPECT_EQ(m.delayText, "1");
                  // A rate outside 1 to 25 beeps and becomes 12.
                  VcDialogSetText(d, vc::kAviExportRate, "30");
                  EXPECT_EQ(m.rateText, "12");
                  EXPECT_EQ(ui.beeps.size(), 1u);
                  VcDialogSetText(d, vc::kAviExportRate, "5");
                  EXPECT_EQ(m.totalText, "5.00s");
                  // The spin stops at 25.
                  VcDialogSetText(d, vc::kAviExportRate, "25");
                  VcDialogScroll(d, vc::kAviExportRateSpin, 0);
                  EXPECT_EQ(m.rateText, "25");
                  return intptr_t(2);  // closed: as Cancel
              }),
              CONV_CANCELLED);
}

TEST_F(Avi, CancelDeletesTheFileTheOptionsMade) {
    animation(2, 4, 8);
    EXPECT_EQ(exportTo("out.avi", [&](vc::AviExportModel &, VcDialog *d) {
                  EXPECT_EQ(VcDialogClick(d, vc::kAviExportCompress), 1);
                  EXPECT_TRUE(std::filesystem::exists(path("out.avi")));
                  VcDialogClick(d, 2);
                  return intptr_t(0);
              }),
              CONV_CANCELLED);
    EXPECT_EQ(fake.optionsShown, 1);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_FALSE(std::filesystem::exists(path("out.avi")));
    // All delays 0: nothing written, the file goes too.
    editor.images.clear();
    animation(2, 4, 8);
    EXPECT_EQ(exportTo("out.avi", [&](vc::AviExportModel &, VcDialog *d) {
                  setDelays(d, {"0", "0"});
                  return VC_DIALOG_DEFAULT;
              }),
              CONV_CANCELLED);
    EXPECT_FALSE(std::filesystem::exists(path("out.avi")));
}

TEST_F(Avi, DepthsReachTheCompanionAsItTakesThem) {
    // 1 bit: no compression; 4 bits: written as 8 bits, rows of 9 pixels
    // going from 8 bytes to 12.
    animation(1, 9, 1);
    EXPECT_EQ(exportTo("one.avi", [&](vc::AviExportModel &m, VcDialog *d) {
                  EXPECT_FALSE(m.enabled(vc::kAviExportCompress));
                  EXPECT_EQ(VcDialogClick(d, vc::kAviExportCompress), 0);
                  return VC_DIALOG_DEFAULT;
              }),
              CONV_OK);
    EXPECT_EQ(fake.compress, 0);
    EXPECT_EQ(fake.params.deepFrames, 0);
    editor.images.clear();
    fake.written.clear();
    animation(1, 9, 4);  // every byte 0x11
    editor.images[0].bytes[40 + 64] = 0xAB;
    EXPECT_EQ(exportTo("four.avi", [](auto &, VcDialog *) { return VC_DIALOG_DEFAULT; }), CONV_OK);
    EXPECT_EQ(fake.compress, 1);
    ASSERT_EQ(fake.initHeader.size(), 40u + 64u);
    EXPECT_EQ(fake.initHeader[14], 8);
    ASSERT_EQ(fake.written.size(), 1u);
    const std::vector<uint8_t> expect = {0xA, 0xB, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0};
    EXPECT_EQ(fake.written[0].bits, expect);
    editor.images.clear();
    animation(1, 4, 24);
    EXPECT_EQ(exportTo("deep.avi", [](auto &, VcDialog *) { return VC_DIALOG_DEFAULT; }), CONV_OK);
    EXPECT_EQ(fake.params.deepFrames, 1);
}

TEST_F(Avi, FailuresOfTheExport) {
    const struct {
        const char *what;
        int32_t initResult, writesLeft, mergeResult;
        bool sound;
        int16_t result;
        size_t messages;
    } cases[] = {
        {"stream refused", 0, 1 << 30, 1, false, CONV_E_DATA, 0},
        {"disk full at the second frame", 1, 1, 1, false, CONV_E_WRITE, 0},
        {"disk full at the last picture again", 1, 3, 1, false, CONV_E_WRITE, 0},
        {"sound merged", 1, 1 << 30, 1, true, CONV_OK, 0},
        {"sound refused", 1, 1 << 30, 0, true, CONV_OK, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        editor.images.clear();
        ui.messageBoxes.clear();
        fake.initResult = c.initResult, fake.writesLeft = c.writesLeft, fake.mergeResult = c.mergeResult;
        fake.merged.clear();
        editor.fileDialogAnswer = "sound.wav";
        animation(3, 4, 8);
        EXPECT_EQ(exportTo("out.avi", [&](auto &, VcDialog *d) {
                      setDelays(d, {"1", "2", "3"});
                      if (c.sound) VcDialogClick(d, vc::kAviExportWaveButton);
                      return VC_DIALOG_DEFAULT;
                  }),
                  c.result);
        // A failed write keeps the partial file.
        EXPECT_TRUE(std::filesystem::exists(path("out.avi")));
        EXPECT_EQ(fake.merged, (c.sound ? std::vector<uint32_t>{6, 12} : std::vector<uint32_t>{}));
        ASSERT_EQ(ui.messageBoxes.size(), c.messages);
        if (c.messages) {
            EXPECT_NE(ui.messageBoxes[0].text.find("Error adding Sound"), std::string::npos);
        }
    }
}

TEST_F(Avi, AllocationFailuresOfTheExport) {
    // The delay table, the strip's selection (the strip goes without one)
    // and the 4-to-8-bit block, in that order.
    std::vector<int16_t> results;
    for (long n = 1; n <= 4; ++n) {
        editor.images.clear();
        animation(2, 9, 4);
        vc::plat::memFailAt(n);
        results.push_back(exportTo("out.avi", [](auto &, VcDialog *) { return VC_DIALOG_DEFAULT; }));
        vc::plat::memFailAt(0);
    }
    EXPECT_EQ(results, (std::vector<int16_t>{CONV_E_MEMORY, CONV_OK, CONV_E_MEMORY, CONV_OK}));
}

// The standard output of a command.
std::string output(const std::string &command) {
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

// Through the companion library beside the tests: FFmpeg reads what the
// export wrote frame for frame, the held frames where the delays put them,
// and the import hands the same pictures back to the editor.
TEST_F(Avi, CompanionRoundTripReadByFfmpeg) {
    AviLibrary::clearTestCompanion();
    if (output("command -v ffmpeg ffprobe").empty()) GTEST_SKIP() << "ffmpeg is not installed";
    if (!AviLibrary(nullptr)) GTEST_SKIP() << "no companion library beside the tests";
    animation(3, 8, 24);
    for (size_t i = 0; i < 3; ++i)  // every byte its own, so rows and frames cannot be mixed up
        for (size_t k = 40; k < editor.images[i].bytes.size(); ++k) editor.images[i].bytes[k] = uint8_t(k * 5 + i * 80);
    ASSERT_EQ(exportTo("out.avi", [](auto &, VcDialog *d) {
                  setDelays(d, {"1", "2", "3"});
                  return VC_DIALOG_DEFAULT;
              }),
              CONV_OK);
    const std::string file = path("out.avi");
    EXPECT_EQ(output("ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 " + file), "0\n1\n3\n5\n");
    EXPECT_EQ(output("ffprobe -v error -show_entries stream=codec_name,r_frame_rate -of csv=p=0 " + file), "rawvideo,12/1\n");
    // Decoded top row first; the editor's rows run bottom up.
    const std::string decoded = output("ffmpeg -v error -i " + file + " -vsync passthrough -f rawvideo -pix_fmt bgr24 -");
    ASSERT_EQ(decoded.size(), 4u * 48u);
    for (size_t f = 0; f < 4; ++f) {
        const std::vector<uint8_t> &dib = editor.images[std::min<size_t>(f, 2)].bytes;
        EXPECT_EQ(decoded.substr(f * 48, 24), std::string(dib.begin() + 64, dib.end())) << f;
        EXPECT_EQ(decoded.substr(f * 48 + 24, 24), std::string(dib.begin() + 40, dib.begin() + 64)) << f;
    }
    // The video has a frame for every tick; the held ticks show the
    // picture before them.
    importName = file;
    EXPECT_EQ(import([](vc::AviImportModel &m, VcDialog *d) {
                  EXPECT_EQ(m.countText + " " + m.sizeText + " " + m.rateText, "6 8 x 2 12");
                  shiftClick(d, {0, 1, 2, 3, 4, 5});
              }),
              CONV_OK);
    ASSERT_EQ(editor.images.size(), 9u);
    const size_t shown[6] = {0, 1, 1, 2, 2, 2};
    for (size_t t = 0; t < 6; ++t) {  // the same header but for the image size the companion fills in
        const std::vector<uint8_t> &in = editor.images[shown[t]].bytes, &back = editor.images[3 + t].bytes;
        EXPECT_EQ(std::vector<uint8_t>(back.begin() + 24, back.end()), std::vector<uint8_t>(in.begin() + 24, in.end())) << t;
    }
}

}  // namespace
