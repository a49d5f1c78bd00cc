// The ten exports: format listing, detection, and dispatch through the
// format table. Format rows get fake routines plugged in where a test needs
// a detector, reader, writer, preview or document routine to answer.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "velmconv/headless.h"

using namespace vctest;

namespace {

template <class T>
intptr_t ip(T p) { return reinterpret_cast<intptr_t>(p); }

// ---- Fake routines for format rows -------------------------------------------
// What they saw: the detectors' calls, the arguments of the last routine.
struct Seen {
    std::vector<std::pair<int, int32_t>> detects;  // row code, file offset on entry
    std::set<int> detectYes;
    int calls = 0;
    std::string fileName;
    std::vector<intptr_t> args;
    int32_t result = 1;                   // what the document routines return
    vc::Result rowResult = vc::Result::ok;  // what readers, writers and previews return
} seen;

template <int Code>
bool fakeDetect(vc::HFile f) {
    seen.detects.push_back({Code, vc::plat::fileSeek(f, 0, vc::plat::kSeekCur)});
    (void)vc::plat::fileSeek(f, 5, vc::plat::kSeekSet);  // as a detector that forgets to rewind
    return seen.detectYes.count(Code) > 0;
}

template <int... Codes>
const std::map<int, bool (*)(vc::HFile)> kFakeDetectors = {{Codes, fakeDetect<Codes>}...};

// The rows that detect by content, in the order they are asked.
const std::vector<int> kDetectionOrder = {128, 130, 133, 131, 132, 166, 167, 165};

int32_t noted(const char *fileName, std::vector<intptr_t> args) {
    seen.fileName = fileName;
    seen.args = std::move(args);
    ++seen.calls;
    return seen.result;
}

// The reader notes the record's image as it finds it; the writer whether
// its parent is enabled and which progress window is open, over what.
vc::Result fakeLoad(const vc::LoadRequest &r) {
    (void)noted(r.fileName, {ip(r.parent), ip(r.record), intptr_t(r.option), ip(r.callback),
                             ip(r.record ? r.record->image : nullptr)});
    return seen.rowResult;
}

vc::Result fakeSave(const vc::SaveRequest &r) {
    void *open = nullptr;
    const int exists = VcProgressState(&open, nullptr, nullptr);
    (void)noted(r.fileName, {ip(r.parent), ip(r.image), intptr_t(r.option), ip(r.callback), ip(r.progress),
                             VcIsWindowEnabled(r.parent), exists, ip(open), ip(vc::plat::parentOf(open))});
    return seen.rowResult;
}

class Exports : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        seen = Seen{};
        junk = writeFile("junk.bin", "0123456789abcdef");
    }
    // Fake detectors in the rows of these codes; yes names those that
    // recognise the file.
    void plugDetectors(const std::vector<int> &codes, std::set<int> yes = {}) {
        for (int c : codes) row(c).detect = kFakeDetectors<128, 129, 130, 131, 132, 133, 165, 166, 167>.at(c);
        seen.detectYes = std::move(yes);
    }
    // Fake document routines that note their arguments in order.
    void plugDocumentRoutines(int code) {
        row(code).newDocument = [](vc::Wnd parent, char *name, uint32_t option, HostCallback cb) {
            return noted("", {ip(parent), ip(name), intptr_t(option), ip(cb)});
        };
        row(code).command = [](vc::Wnd parent, uint16_t id, vc::MemHandle doc, uint32_t option, HostCallback cb) {
            return noted("", {ip(parent), id, ip(doc), intptr_t(option), ip(cb)});
        };
        row(code).frameChanged = [](vc::MemHandle doc, int32_t kind, uint16_t frame, HostCallback cb) {
            return noted("", {ip(doc), kind, frame, ip(cb)});
        };
    }
    std::string junk;
};

// ---- GetFormats ------------------------------------------------------------------

// By string id: the filter's text, its pattern, its format code.
const std::map<int, std::tuple<const char *, const char *, uint8_t>> kFilters = {
    {100, {"Z-Soft Paintbrush Image(*.PCX)", "*.PCX", 128}},
    {101, {"CompuServe GIF(*.GIF)", "*.GIF", 129}},
    {102, {"Tagged Image File Format(*.TIF;*.TIFF)", "*.TIF;*.TIFF", 130}},
    {103, {"Ressource Bitmaps(*.EXE;*.DLL;*.SCR)", "*.EXE;*.DLL;*.SCR", 131}},
    {104, {"Video for Windows(*.AVI)", "*.AVI", 165}},
    {105, {"Icon and Cursor(*.ANI;*.ICO;*.CUR)", "*.ANI;*.ICO;*.CUR", 132}},
    {106, {"Icon and Cursor(*.ICO;*.CUR)", "*.ICO;*.CUR", 132}},
    {107, {"Animated Cursors(*.ANI)", "*.ANI", 166}},
    {108, {"Animated GIF(*.GIF)", "*.GIF", 167}},
    {109, {"JPEG File Format(*.JPG;*.JPEG)", "*.JPG;*.JPEG", 133}},
};

TEST_F(Exports, GetFormatsListsEveryFlagCombinationInFixedOrder) {
    // The flags, the string ids listed. The writable AVI list names the
    // animations again behind AVI.
    const std::pair<int, std::vector<int>> cases[] = {
        {1, {103, 105, 101, 100, 102, 109}}, {2, {104}}, {4, {107, 108}}, {129, {106, 101, 100, 102, 109}},
        {7, {107, 108, 104, 103, 105, 101, 100, 102, 109}}, {130, {104, 107, 108}},
        {135, {107, 108, 104, 107, 108, 106, 101, 100, 102, 109}},
        // Nothing selected: nothing written, not even the closing NUL.
        {0, {}}, {8 | 16 | 32 | 64 | 128, {}}, {int(0xFFFFFF00), {}},
    };
    for (const auto &[flags, ids] : cases) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        std::string want;
        std::vector<uint8_t> wantCodes;
        for (int id : ids) {
            const auto &[filter, pattern, code] = kFilters.at(id);
            want += std::string(filter) + '\0' + pattern + '\0';
            wantCodes.push_back(code);
        }
        if (!ids.empty()) want += '\0';
        std::vector<char> text(1024, '\x7f');
        std::vector<uint8_t> codes(32, 0xEE);
        ASSERT_EQ(GetFormats(text.data(), codes.data(), flags), int32_t(ids.size()));
        EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.begin() + long(ids.size())), wantCodes);
        EXPECT_EQ(codes[ids.size()], 0xEE) << "wrote past the last code";
        EXPECT_EQ(std::string(text.data(), want.size()), want);
        EXPECT_EQ(text[want.size()], '\x7f') << "wrote past the double NUL";
    }
}

// ---- Detection, and the failures every reading export shares --------------------------

TEST_F(Exports, DetectByNameUsesLastDotIgnoringCase) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"picture.GIF", 129}, {"a.tiff", 130},  {"A.TIF", 130},     {"dir.x\\image.pcx", 128}, {"dir.pcx\\image", 0},
        {"x.jpg", 133},       {"x.JpEg", 133},  {"x.ico", 132},     {"x.Cur", 132},           {"x.ani", 0},
        {"noext", 0},         {"x.gif.bak", 0}, {"x.gifx", 0},      {"x.gi", 0},              {".pcx", 128},
        {"x.exe", 0},         {"x.DLL", 0},     // programs only by content (0: not by name)
        {"does/not/exist.gif", 129},  // by name the file is never opened
    };
    for (const auto &[name, want] : cases) {
        uint8_t fmt = 0x55;
        EXPECT_EQ(DetectFileFormat(name.c_str(), &fmt, 0), want > 0 ? CONV_OK : CONV_E_FORMAT) << name.substr(0, 40);
        EXPECT_EQ(fmt, want > 0 ? want : 0) << name.substr(0, 40);
    }
}

TEST_F(Exports, DetectorsRunInFixedOrderFromOffsetZeroUntilOneSaysYes) {
    for (size_t i = 0; i <= kDetectionOrder.size(); ++i) {
        const bool found = i < kDetectionOrder.size();
        SCOPED_TRACE(found ? kDetectionOrder[i] : 0);
        // Every later detector would also say yes; none of them may be asked.
        plugDetectors(kDetectionOrder, {kDetectionOrder.begin() + long(i), kDetectionOrder.end()});
        seen.detects.clear();
        std::vector<std::pair<int, int32_t>> asked;
        for (size_t k = 0; k < kDetectionOrder.size() && k <= i; ++k) asked.push_back({kDetectionOrder[k], 0});
        uint8_t fmt = 0x55;
        EXPECT_EQ(DetectFileFormat(junk.c_str(), &fmt, 1), found ? CONV_OK : CONV_E_FORMAT);
        EXPECT_EQ(std::tuple(fmt, seen.detects, vc::plat::fileOpenCount()),
                  std::tuple(found ? kDetectionOrder[i] : 0, asked, 0));
    }
}

// A missing file, a folder, a name far past any path limit, and a file no
// detector knows: detection, loading and the preview all fail the same way,
// the format byte and the record's image come back cleared.
TEST_F(Exports, UnreadableFilesFailDetectionLoadAndPreviewAlike) {
    const std::pair<std::string, int32_t> cases[] = {
        {path("missing.gif"), CONV_E_OPEN}, {path(""), CONV_E_OPEN},
        {std::string(5000, 'a') + ".tif", CONV_E_OPEN}, {junk, CONV_E_FORMAT}};
    for (const auto &[name, want] : cases) {
        SCOPED_TRACE(name.substr(0, 60));
        uint8_t fmt = 0x55, loadFmt = 0x55;
        EXPECT_EQ((std::tuple{DetectFileFormat(name.c_str(), &fmt, 7), fmt}), std::tuple(want, 0));
        ConvImageRecord rec{reinterpret_cast<void *>(0x1234), 0, nullptr, 0};
        EXPECT_EQ(LoadConvImage(nullptr, name.c_str(), &rec, &loadFmt, 0, nullptr), want);
        EXPECT_EQ(std::tuple(rec.image, loadFmt), std::tuple(nullptr, 0));
        EXPECT_EQ(GetPreviewImage(name.c_str(), &rec), want);
    }
}

// ---- LoadConvImage, SaveConvImage -------------------------------------------------------

// The reader gets the call as made, the record's image cleared; the format
// byte is rewritten after it; a one-image reader is not called without a
// record; its result comes back as the editor's code, "none found" as
// cancelled; a row without one is unsupported.
TEST_F(Exports, LoadDispatchesAndRewritesFormatByte) {
    using enum vc::Result;
    // Code, with a record, what the reader returns, whether it is called, the
    // result, the format byte after.
    const std::tuple<int, bool, vc::Result, bool, int32_t, int> cases[] = {
        {128, true, ok, true, CONV_OK, 128},   {130, true, ok, true, CONV_OK, 130},   {131, true, ok, true, CONV_OK, 0},
        {131, false, ok, false, CONV_E_FORMAT, 131}, {132, true, ok, true, CONV_OK, 132},   {133, true, ok, true, CONV_OK, 133},
        {165, true, ok, true, CONV_OK, 0},     {165, false, ok, true, CONV_OK, 0},    {166, true, ok, true, CONV_OK, 132},
        {166, false, ok, true, CONV_OK, 166},  {167, true, ok, true, CONV_OK, 129},   {167, false, ok, true, CONV_OK, 167},
        {167, true, writeFailed, true, CONV_E_WRITE, 129}, {167, false, noneFound, true, CONV_CANCELLED, 167},
        {131, true, damaged, true, CONV_E_DATA, 0},
        // The one-image GIF row has no reader: content detection never
        // gives 129, but a detector that did gets CONV_E_UNSUPPORTED and the byte kept.
        {129, true, ok, false, CONV_E_UNSUPPORTED, 129},
    };
    FakeEditor editor;
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    for (const auto &[code, withRecord, returns, called, result, formatAfter] : cases) {
        SCOPED_TRACE(::testing::Message() << code << (withRecord ? " with record " : " without ")
                                          << vc::resultName(returns));
        seen = Seen{};
        seen.rowResult = returns;
        plugDetectors({code}, {code});
        if (code != 129) row(code).load = &fakeLoad;
        ConvImageRecord rec{reinterpret_cast<void *>(0x99), 0, nullptr, 0};
        ConvImageRecord *record = withRecord ? &rec : nullptr;
        uint8_t fmt = 0;
        EXPECT_EQ(std::tuple(LoadConvImage(parent, junk.c_str(), record, &fmt, 0xA5A5F00Du, FakeEditor::callback()), fmt),
                  std::tuple(result, formatAfter));
        ASSERT_EQ(seen.calls, called);
        if (seen.calls) {
            EXPECT_EQ(std::tuple(seen.fileName, seen.args),
                      std::tuple(junk, std::vector<intptr_t>{ip(parent), ip(record), intptr_t(0xA5A5F00Du),
                                                             ip(FakeEditor::callback()), 0}));
        }
    }
    VcDestroyWindow(parent);
}

// The writer runs with the parent disabled under our progress window; a
// code no writer serves is unsupported, and its progress window closes too.
TEST_F(Exports, WriterRunsUnderProgressWindowWithParentDisabled) {
    UiRecorder ui;
    row(128).save = &fakeSave;
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    void *image = VcMemAlloc(VC_MEM_MOVEABLE, 64);
    HostCallback cb = FakeEditor::callback();
    using enum vc::Result;
    // Code, what the writer returns, the result.
    const std::tuple<int, vc::Result, int32_t> cases[] = {
        {128, ok, CONV_OK},           {128, writeFailed, CONV_E_WRITE},    {128, noMemory, CONV_E_MEMORY},
        {131, ok, CONV_E_UNSUPPORTED}, {0, ok, CONV_E_UNSUPPORTED},         {168, ok, CONV_E_UNSUPPORTED},
        {INT32_MIN, ok, CONV_E_UNSUPPORTED}};
    for (auto [code, returns, result] : cases) {
        SCOPED_TRACE(::testing::Message() << code << " " << result);
        seen.calls = 0;
        seen.rowResult = returns;
        ui.progress.clear();
        EXPECT_EQ(SaveConvImage(parent, junk.c_str(), image, code, 0xFEEDu, cb), result);
        // After it: parent enabled again, progress window made and gone.
        EXPECT_EQ(std::tuple(VcIsWindowEnabled(parent), VcProgressState(nullptr, nullptr, nullptr)), std::tuple(1, 0));
        ASSERT_EQ(ui.progress.size(), 2u);
        EXPECT_TRUE(ui.progress[0].window && !ui.progress[1].window);
        ASSERT_EQ(seen.calls, code == 128);
        // Inside the writer: parent disabled, our progress window open over it.
        const intptr_t window = ip(ui.progress[0].window);
        if (seen.calls) {
            EXPECT_EQ(std::tuple(seen.fileName, seen.args),
                      std::tuple(junk, std::vector<intptr_t>{ip(parent), ip(image), 0xFEED, ip(cb), window, 0, 1,
                                                             window, ip(parent)}));
        }
    }

    // Without a parent no progress window is made and none is passed on.
    ui.progress.clear();
    seen.rowResult = vc::Result::ok;
    EXPECT_EQ(SaveConvImage(nullptr, junk.c_str(), image, 128, 0, nullptr), CONV_OK);
    EXPECT_EQ(std::tuple(seen.args.at(4), seen.args.at(6), ui.progress.size()), std::tuple(0, 0, 0u));

    // A progress window someone else opened stays open, its owner
    // disabled; the writer gets none and its parent stays enabled.
    void *owner = VcCreateWindow(nullptr, 0, 0, 100, 100);
    vc::Wnd other = vc::CreateProgressDialog(owner, nullptr, 101);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(SaveConvImage(parent, junk.c_str(), nullptr, 128, 0, nullptr), CONV_OK);
    EXPECT_EQ(std::tuple(seen.args.at(4), seen.args.at(5)), std::tuple(0, 1));
    void *still = nullptr;
    EXPECT_EQ((std::tuple{VcProgressState(&still, nullptr, nullptr), still, VcIsWindowEnabled(owner)}),
              std::tuple(1, other, 0));
    EXPECT_EQ(vc::DestroyProgressDialog(other), 1);
    VcDestroyWindow(owner);
    VcMemFree(image);
    VcDestroyWindow(parent);
}

// ---- GetDesiredBitPix -----------------------------------------------------

TEST_F(Exports, DesiredBitPixTable) {
    const std::tuple<int32_t, int32_t, int32_t> cases[] = {  // code, bits, the depth wanted
        {130, 16, 24}, {130, 8, 8},  {128, 32, 24},  {167, 24, 8},  {129, 8, 8},    {133, 1, 24},  {132, 32, 32},
        {389, 4, 24},  {127, 32, 32}, {168, 32, 32}, {INT32_MIN, INT32_MIN, 0}, {128, 0x10020, 24},
        {0, -1, 65535}, {132, -1, 65535},  // 16-bit depth, zero-extended
    };
    for (auto [code, bits, want] : cases) EXPECT_EQ(GetDesiredBitPix(code, bits), want) << code << "/" << bits;
}

// ---- Animation document routines ---------------------------------------------------------

// Only the two animation codes reach the document routines, even where
// another row has them; those two get their arguments in order.
TEST_F(Exports, DocumentRoutinesServeTheTwoAnimationCodesWithTheirArgumentsInOrder) {
    for (int code : {128, 132, 165}) plugDocumentRoutines(code);
    for (int code : {0, 128, 132, 165, 166 + 256, -1}) {
        EXPECT_EQ((std::tuple{NewConvFile(nullptr, nullptr, code, 0, nullptr),
                              ProcessCommand(nullptr, 1001, code, nullptr, 0, nullptr),
                              NotifyFrameChange(code, nullptr, 1, 0, nullptr), seen.calls}),
                  std::tuple(0, 0, 0, 0)) << code;
    }
    HostCallback cb = FakeEditor::callback();
    auto *parent = reinterpret_cast<void *>(0x1000);
    auto *doc = reinterpret_cast<void *>(0x2000);
    char name[260] = "anim.ani";
    for (int code : {166, 167}) {
        SCOPED_TRACE(code);
        plugDocumentRoutines(code);
        seen.result = 0x12345678;
        EXPECT_EQ(NewConvFile(parent, name, code, 0xCAFEu, cb), 0x12345678);
        EXPECT_EQ(seen.args, (std::vector<intptr_t>{0x1000, ip(name), 0xCAFE, ip(cb)}));
        seen.result = -5;
        EXPECT_EQ(ProcessCommand(parent, 0x70000 + 1002, code, doc, 7, cb), -5);
        EXPECT_EQ(seen.args, (std::vector<intptr_t>{0x1000, 1002, 0x2000, 7, ip(cb)}));
        seen.result = 1;
        EXPECT_EQ(NotifyFrameChange(code, doc, 2, -1, cb), 1);
        EXPECT_EQ(seen.args, (std::vector<intptr_t>{0x2000, 2, 65535, ip(cb)}));  // the frame in 16 bits
    }
}

// ---- Robustness ----------------------------------------------------------------------------

TEST_F(Exports, NullAndAbsurdArgumentsDoNotCrash) {
    uint8_t fmt = 0;
    char text[16];
    uint8_t codes[16];
    EXPECT_EQ(GetFormats(nullptr, codes, 0xFF), 0);
    EXPECT_EQ(GetFormats(text, nullptr, 0xFF), 0);
    EXPECT_EQ(DetectFileFormat(nullptr, &fmt, 0), CONV_E_FORMAT);
    EXPECT_EQ(DetectFileFormat(nullptr, &fmt, 1), CONV_E_OPEN);
    EXPECT_EQ(DetectFileFormat("x.gif", nullptr, 0), CONV_OK);
    EXPECT_EQ(LoadConvImage(reinterpret_cast<void *>(1), junk.c_str(), nullptr, nullptr, ~0u, nullptr), CONV_E_FORMAT);
    EXPECT_EQ(NewConvFile(nullptr, nullptr, 166, 0, nullptr), 0);
    EXPECT_EQ(ProcessCommand(nullptr, -1, 167, reinterpret_cast<void *>(3), ~0u, nullptr), 0);
    EXPECT_EQ(NotifyFrameChange(166, reinterpret_cast<void *>(3), INT32_MIN, INT32_MIN, nullptr), 0);

    // A parent that is no window, and no file name for a format that has a
    // writer: refused before the writer runs, progress window gone again.
    row(128).save = &fakeSave;
    EXPECT_EQ(SaveConvImage(reinterpret_cast<void *>(0x77), nullptr, nullptr, 128, 0, nullptr), CONV_E_CREATE);
    EXPECT_EQ(SaveConvImage(nullptr, "", nullptr, 128, 0, nullptr), CONV_E_CREATE);
    EXPECT_EQ(seen.calls, 0);
    // A preview asked for without a record: the routine is not called. (The
    // rows' previews are called through the export by every format's tests.)
    plugDetectors({130}, {130});
    row(130).preview = [](const char *, ConvImageRecord *) {
        ++seen.calls;
        return vc::Result::ok;
    };
    EXPECT_EQ(std::tuple(GetPreviewImage(junk.c_str(), nullptr), seen.calls), std::tuple(CONV_E_FORMAT, 0));
}

}  // namespace
