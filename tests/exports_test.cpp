// The ten exports: format listing, detection, and dispatch through the
// format table. Format rows get fake routines plugged in where a test needs
// a detector, reader, writer, preview or document routine to answer.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "velmconv/headless.h"

using namespace vctest;

namespace {

// ---- Fake routines for format rows -------------------------------------------
struct Seen {
    std::vector<std::pair<int, int32_t>> detects;  // row code, file offset on entry
    std::set<int> detectYes;
    int loads = 0, saves = 0, previews = 0, documentCalls = 0;
    vc::LoadRequest load{};
    vc::SaveRequest save{};
    std::string fileName;
    void *recordImageOnEntry = nullptr;
    int parentEnabledInWriter = -1;
    int progressExistsInWriter = -1;
    void *progressWindowInWriter = nullptr;
    void *progressParentInWriter = nullptr;
    int16_t result = 1;
    int32_t documentResult = 1;
    std::vector<intptr_t> documentArgs;
} seen;

template <int Code>
bool fakeDetect(vc::HFile f) {
    seen.detects.push_back({Code, vc::plat::fileSeek(f, 0, vc::plat::kSeekCur)});
    vc::plat::fileSeek(f, 5, vc::plat::kSeekSet);  // as a detector that forgets to rewind
    return seen.detectYes.count(Code) > 0;
}

bool (*detectorFor(int code))(vc::HFile) {
    switch (code) {
    case 128: return &fakeDetect<128>;
    case 129: return &fakeDetect<129>;
    case 130: return &fakeDetect<130>;
    case 131: return &fakeDetect<131>;
    case 132: return &fakeDetect<132>;
    case 133: return &fakeDetect<133>;
    case 165: return &fakeDetect<165>;
    case 166: return &fakeDetect<166>;
    case 167: return &fakeDetect<167>;
    default: return nullptr;
    }
}

int16_t fakeLoad(const vc::LoadRequest &r) {
    ++seen.loads;
    seen.load = r;
    seen.fileName = r.fileName ? r.fileName : "";
    seen.recordImageOnEntry = r.record ? r.record->image : nullptr;
    return seen.result;
}

int16_t fakeSave(const vc::SaveRequest &r) {
    ++seen.saves;
    seen.save = r;
    seen.fileName = r.fileName ? r.fileName : "";
    seen.parentEnabledInWriter = VcIsWindowEnabled(r.parent);
    seen.progressExistsInWriter = VcProgressState(&seen.progressWindowInWriter, nullptr, nullptr);
    seen.progressParentInWriter = vc::plat::parentOf(seen.progressWindowInWriter);
    return seen.result;
}

int16_t fakePreview(const char *fileName, ConvImageRecord *record) {
    ++seen.previews;
    seen.fileName = fileName ? fileName : "";
    seen.documentArgs = {reinterpret_cast<intptr_t>(record)};
    return seen.result;
}

int32_t fakeNewDocument(vc::Wnd parent, char *fileName, uint32_t option, HostCallback cb) {
    ++seen.documentCalls;
    seen.documentArgs = {reinterpret_cast<intptr_t>(parent), reinterpret_cast<intptr_t>(fileName), intptr_t(option),
                         reinterpret_cast<intptr_t>(cb)};
    return seen.documentResult;
}

int32_t fakeCommand(vc::Wnd parent, uint16_t id, vc::MemHandle doc, uint32_t option, HostCallback cb) {
    ++seen.documentCalls;
    seen.documentArgs = {reinterpret_cast<intptr_t>(parent), id, reinterpret_cast<intptr_t>(doc), intptr_t(option),
                         reinterpret_cast<intptr_t>(cb)};
    return seen.documentResult;
}

int32_t fakeFrameChanged(vc::MemHandle doc, int32_t kind, uint16_t frame, HostCallback cb) {
    ++seen.documentCalls;
    seen.documentArgs = {reinterpret_cast<intptr_t>(doc), kind, frame, reinterpret_cast<intptr_t>(cb)};
    return seen.documentResult;
}

const int kDetectionOrder[] = {128, 130, 133, 131, 132, 166, 167, 165};

class Exports : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        seen = Seen{};
        junk = writeFile("junk.bin", "0123456789abcdef");
    }
    // Plugs fake detectors into the rows of these codes; yes names the one
    // that recognises the file.
    void plugDetectors(std::initializer_list<int> codes, std::set<int> yes = {}) {
        for (int c : codes) row(c).detect = detectorFor(c);
        seen.detectYes = std::move(yes);
    }
    std::string junk;
};

// ---- GetFormats ------------------------------------------------------------------

const std::map<int, std::pair<const char *, const char *>> kFilters = {
    {100, {"Z-Soft Paintbrush Image(*.PCX)", "*.PCX"}},
    {101, {"CompuServe GIF(*.GIF)", "*.GIF"}},
    {102, {"Tagged Image File Format(*.TIF;*.TIFF)", "*.TIF;*.TIFF"}},
    {103, {"Ressource Bitmaps(*.EXE;*.DLL;*.SCR)", "*.EXE;*.DLL;*.SCR"}},
    {104, {"Video for Windows(*.AVI)", "*.AVI"}},
    {105, {"Icon and Cursor(*.ANI;*.ICO;*.CUR)", "*.ANI;*.ICO;*.CUR"}},
    {106, {"Icon and Cursor(*.ICO;*.CUR)", "*.ICO;*.CUR"}},
    {107, {"Animated Cursors(*.ANI)", "*.ANI"}},
    {108, {"Animated GIF(*.GIF)", "*.GIF"}},
    {109, {"JPEG File Format(*.JPG;*.JPEG)", "*.JPG;*.JPEG"}},
};

struct FormatsCase {
    int flags;
    std::vector<int> strings;  // filter string ids in order
    std::vector<uint8_t> codes;
};

TEST_F(Exports, GetFormatsListsEveryFlagCombinationInFixedOrder) {
    const std::vector<int> single = {103, 105, 101, 100, 102, 109};
    const std::vector<uint8_t> singleCodes = {131, 132, 129, 128, 130, 133};
    const std::vector<int> singleW = {106, 101, 100, 102, 109};
    const std::vector<uint8_t> singleWCodes = {132, 129, 128, 130, 133};
    auto cat = [](auto a, const auto &b) { a.insert(a.end(), b.begin(), b.end()); return a; };
    const std::vector<FormatsCase> cases = {
        {1, single, singleCodes},
        {2, {104}, {165}},
        {3, cat(std::vector<int>{104}, single), cat(std::vector<uint8_t>{165}, singleCodes)},
        {4, {107, 108}, {166, 167}},
        {5, cat(std::vector<int>{107, 108}, single), cat(std::vector<uint8_t>{166, 167}, singleCodes)},
        {6, {107, 108, 104}, {166, 167, 165}},
        {7, cat(std::vector<int>{107, 108, 104}, single), cat(std::vector<uint8_t>{166, 167, 165}, singleCodes)},
        {129, singleW, singleWCodes},
        {130, {104, 107, 108}, {165, 166, 167}},
        {131, cat(std::vector<int>{104, 107, 108}, singleW), cat(std::vector<uint8_t>{165, 166, 167}, singleWCodes)},
        {132, {107, 108}, {166, 167}},
        {133, cat(std::vector<int>{107, 108}, singleW), cat(std::vector<uint8_t>{166, 167}, singleWCodes)},
        {134, {107, 108, 104, 107, 108}, {166, 167, 165, 166, 167}},
        {135, cat(std::vector<int>{107, 108, 104, 107, 108}, singleW),
         cat(std::vector<uint8_t>{166, 167, 165, 166, 167}, singleWCodes)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("flags " + std::to_string(c.flags));
        std::vector<char> text(1024, '\x7f');
        std::vector<uint8_t> codes(32, 0xEE);
        ASSERT_EQ(GetFormats(text.data(), codes.data(), c.flags), int32_t(c.codes.size()));
        EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.begin() + long(c.codes.size())), c.codes);
        EXPECT_EQ(codes[c.codes.size()], 0xEE) << "wrote past the last code";
        std::string want;
        for (int id : c.strings) {
            want += kFilters.at(id).first + std::string(1, '\0');
            want += kFilters.at(id).second + std::string(1, '\0');
        }
        want += '\0';
        EXPECT_EQ(std::string(text.data(), want.size()), want);
        EXPECT_EQ(text[want.size()], '\x7f') << "wrote past the double NUL";
    }
}

TEST_F(Exports, GetFormatsWithNothingSelectedWritesNothing) {
    for (int flags : {0, 8, 16, 64, 128, 8 | 16 | 32 | 64 | 128, int(0xFFFFFF00)}) {
        char text[8];
        uint8_t codes[4];
        std::memset(text, 0x7f, sizeof text);
        std::memset(codes, 0xEE, sizeof codes);
        EXPECT_EQ(GetFormats(text, codes, flags), 0) << flags;
        for (char ch : text) EXPECT_EQ(ch, '\x7f') << flags;
        for (uint8_t b : codes) EXPECT_EQ(b, 0xEE) << flags;
    }
}

TEST_F(Exports, GetFormatsAviOnlyExactBytes) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    uint8_t codes[4] = {};
    ASSERT_EQ(GetFormats(text, codes, 2), 1);
    EXPECT_EQ(codes[0], 165);
    const char want[] = "Video for Windows(*.AVI)\0*.AVI\0\0";
    EXPECT_EQ(std::memcmp(text, want, sizeof want - 1), 0);  // without the literal's own NUL
    EXPECT_EQ(text[sizeof want - 1], 'x');
}

// ---- DetectFileFormat ---------------------------------------------------------------

TEST_F(Exports, DetectByNameUsesLastDotIgnoringCase) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"picture.GIF", 129}, {"a.tiff", 130},       {"A.TIF", 130},          {"archive.tar.gz", -2},
        {"dir.x\\image.pcx", 128}, {"dir.pcx\\image", -2}, {"x.jpg", 133},   {"x.JpEg", 133},
        {"x.ico", 132},       {"x.Cur", 132},        {"x.ani", -2},           {"x.avi", -2},
        {"x.exe", -2},        {"noext", -2},         {"x.gif.bak", -2},       {"x.", -2},
        {"x.gifx", -2},       {"x.gi", -2},          {".pcx", 128},           {"", -2},
        {"does/not/exist.gif", 129},  // by name the file is never opened
        {std::string(5000, 'a') + ".Pcx", 128},
    };
    for (const auto &[name, want] : cases) {
        uint8_t fmt = 0x55;
        EXPECT_EQ(DetectFileFormat(name.c_str(), &fmt, 0), want > 0 ? CONV_OK : CONV_E_FORMAT) << name.substr(0, 40);
        EXPECT_EQ(fmt, want > 0 ? want : 0) << name.substr(0, 40);
    }
}

TEST_F(Exports, DetectByContentFailures) {
    uint8_t fmt = 0x55;
    EXPECT_EQ(DetectFileFormat(path("missing.gif").c_str(), &fmt, 1), CONV_E_OPEN);
    EXPECT_EQ(fmt, 0);
    fmt = 0x55;
    EXPECT_EQ(DetectFileFormat(path("").c_str(), &fmt, 1), CONV_E_OPEN);  // a folder
    EXPECT_EQ(fmt, 0);
    fmt = 0x55;
    plugDetectors({128, 130, 133, 131, 132, 166, 167, 165});
    EXPECT_EQ(DetectFileFormat(junk.c_str(), &fmt, 7), CONV_E_FORMAT);
    EXPECT_EQ(fmt, 0);
    EXPECT_EQ(vc::plat::fileOpenCount(), 0);
}

TEST_F(Exports, DetectorsRunInFixedOrderEachFromOffsetZero) {
    plugDetectors({165, 167, 166, 132, 131, 133, 130, 128});
    uint8_t fmt = 0;
    ASSERT_EQ(DetectFileFormat(junk.c_str(), &fmt, 1), CONV_E_FORMAT);
    ASSERT_EQ(seen.detects.size(), std::size(kDetectionOrder));
    for (size_t i = 0; i < seen.detects.size(); ++i) {
        EXPECT_EQ(seen.detects[i].first, kDetectionOrder[i]);
        EXPECT_EQ(seen.detects[i].second, 0) << "detector " << seen.detects[i].first << " did not start at 0";
    }
}

TEST_F(Exports, FirstDetectorToAnswerYesDecides) {
    for (size_t i = 0; i < std::size(kDetectionOrder); ++i) {
        const int code = kDetectionOrder[i];
        SCOPED_TRACE(code);
        seen.detects.clear();
        // Every later detector would also say yes; none of them may be asked.
        std::set<int> yes(std::begin(kDetectionOrder) + long(i), std::end(kDetectionOrder));
        plugDetectors({128, 130, 133, 131, 132, 166, 167, 165}, yes);
        uint8_t fmt = 0;
        EXPECT_EQ(DetectFileFormat(junk.c_str(), &fmt, 1), CONV_OK);
        EXPECT_EQ(fmt, code);
        EXPECT_EQ(seen.detects.size(), i + 1);
        EXPECT_EQ(vc::plat::fileOpenCount(), 0);
    }
}

// ---- LoadConvImage ------------------------------------------------------------------

TEST_F(Exports, LoadClearsRecordAndReturnsDetectionFailuresUnchanged) {
    ConvImageRecord rec{reinterpret_cast<void *>(0x1234), 0, nullptr, 0};
    uint8_t fmt = 0x55;
    EXPECT_EQ(LoadConvImage(nullptr, path("missing").c_str(), &rec, &fmt, 0, nullptr), CONV_E_OPEN);
    EXPECT_EQ(rec.image, nullptr);
    EXPECT_EQ(fmt, 0);
    rec.image = reinterpret_cast<void *>(0x1234);
    EXPECT_EQ(LoadConvImage(nullptr, junk.c_str(), &rec, &fmt, 0, nullptr), CONV_E_FORMAT);
    EXPECT_EQ(rec.image, nullptr);
    EXPECT_EQ(fmt, 0);
}

struct LoadCase {
    int code;
    bool withRecord;
    int32_t result;
    int formatAfter;
};

TEST_F(Exports, LoadDispatchesAndRewritesFormatByte) {
    const LoadCase cases[] = {
        {128, true, 1, 128},  {128, false, -2, 128}, {130, true, 1, 130},  {130, false, -2, 130},
        {131, true, 1, 0},    {131, false, -2, 131}, {132, true, 1, 132},  {132, false, -2, 132},
        {133, true, 1, 133},  {133, false, -2, 133}, {165, true, 1, 0},    {165, false, 1, 0},
        {166, true, 1, 132},  {166, false, 1, 166},  {167, true, 1, 129},  {167, false, 1, 167},
    };
    FakeEditor editor;
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + (c.withRecord ? " with record" : " without record"));
        seen = Seen{};
        plugDetectors({c.code}, {c.code});
        row(c.code).load = &fakeLoad;
        ConvImageRecord rec{reinterpret_cast<void *>(0x99), 0, nullptr, 0};
        uint8_t fmt = 0;
        int32_t r = LoadConvImage(parent, junk.c_str(), c.withRecord ? &rec : nullptr, &fmt, 0xA5A5F00Du,
                                  FakeEditor::callback());
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(fmt, c.formatAfter);
        if (c.result == CONV_E_FORMAT) {
            EXPECT_EQ(seen.loads, 0) << "a single-image reader ran without a record";
            continue;
        }
        ASSERT_EQ(seen.loads, 1);
        EXPECT_EQ(seen.load.parent, parent);
        EXPECT_EQ(seen.fileName, junk);
        EXPECT_EQ(seen.load.record, c.withRecord ? &rec : nullptr);
        EXPECT_EQ(seen.recordImageOnEntry, nullptr);
        EXPECT_EQ(seen.load.option, 0xA5A5F00Du);
        EXPECT_EQ(seen.load.callback, FakeEditor::callback());
    }
    VcDestroyWindow(parent);
}

TEST_F(Exports, LoadWithoutReaderIsUnsupportedAndResultsAreSignExtended) {
    plugDetectors({130}, {130});
    ConvImageRecord rec{};
    uint8_t fmt = 0;
    EXPECT_EQ(LoadConvImage(nullptr, junk.c_str(), &rec, &fmt, 0, nullptr), CONV_E_UNSUPPORTED);

    // The one-image GIF row has no reader: content detection never gives
    // 129, but a detector that did must still get -4 and keep the byte.
    row(130).detect = nullptr;
    plugDetectors({129}, {129});
    EXPECT_EQ(LoadConvImage(nullptr, junk.c_str(), &rec, &fmt, 0, nullptr), CONV_E_UNSUPPORTED);
    EXPECT_EQ(fmt, 129);

    row(129).detect = nullptr;
    plugDetectors({167}, {167});
    row(167).load = &fakeLoad;
    for (int16_t r : {int16_t(0), int16_t(-3), int16_t(-8), int16_t(-32768), int16_t(32767)}) {
        seen.result = r;
        EXPECT_EQ(LoadConvImage(nullptr, junk.c_str(), nullptr, &fmt, 0, nullptr), int32_t(r));
    }
}

// ---- SaveConvImage ----------------------------------------------------------------------

TEST_F(Exports, SaveOfUnservedCodeIsUnsupportedAndStillClosesProgress) {
    UiRecorder ui;
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    for (int code : {131, 0, 1, 127, 134, 164, 168, 255, -1, INT32_MIN}) {
        ui.progress.clear();
        EXPECT_EQ(SaveConvImage(parent, junk.c_str(), nullptr, code, 0, nullptr), CONV_E_UNSUPPORTED) << code;
        EXPECT_EQ(VcIsWindowEnabled(parent), 1);
        ASSERT_EQ(ui.progress.size(), 2u) << code;  // created, destroyed
        EXPECT_NE(ui.progress[0].window, nullptr);
        EXPECT_EQ(ui.progress[1].window, nullptr);
        ui.progress.clear();
        EXPECT_EQ(SaveConvImage(nullptr, junk.c_str(), nullptr, code, 0, nullptr), CONV_E_UNSUPPORTED);
        EXPECT_TRUE(ui.progress.empty()) << "progress window without a parent";
    }
    VcDestroyWindow(parent);
}

TEST_F(Exports, WriterRunsUnderProgressWindowWithParentDisabled) {
    UiRecorder ui;
    row(128).save = &fakeSave;
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    void *image = VcMemAlloc(VC_MEM_MOVEABLE, 64);
    for (int16_t result : {int16_t(1), int16_t(0), int16_t(-8), int16_t(-5)}) {
        seen.result = result;
        seen.saves = 0;
        ui.progress.clear();
        EXPECT_EQ(SaveConvImage(parent, junk.c_str(), image, 128, 0xFEEDu, FakeEditor::callback()), result);
        ASSERT_EQ(seen.saves, 1);
        EXPECT_EQ(seen.parentEnabledInWriter, 0);
        EXPECT_EQ(seen.progressExistsInWriter, 1);
        EXPECT_EQ(seen.save.progress, seen.progressWindowInWriter);
        EXPECT_EQ(seen.progressParentInWriter, parent);
        EXPECT_EQ(seen.save.parent, parent);
        EXPECT_EQ(seen.save.image, image);
        EXPECT_EQ(seen.save.option, 0xFEEDu);
        EXPECT_EQ(seen.save.callback, FakeEditor::callback());
        EXPECT_EQ(seen.fileName, junk);
        EXPECT_EQ(VcIsWindowEnabled(parent), 1) << "parent left disabled";
        EXPECT_EQ(VcProgressState(nullptr, nullptr, nullptr), 0) << "progress window left open";
        ASSERT_FALSE(ui.progress.empty());
        EXPECT_EQ(ui.progress.back().window, nullptr);
    }

    // Without a parent no progress window is made and none is passed on.
    ui.progress.clear();
    seen.result = 1;
    EXPECT_EQ(SaveConvImage(nullptr, junk.c_str(), image, 128, 0, nullptr), 1);
    EXPECT_EQ(seen.save.progress, nullptr);
    EXPECT_EQ(seen.progressExistsInWriter, 0);
    EXPECT_TRUE(ui.progress.empty());
    VcMemFree(image);
    VcDestroyWindow(parent);
}

TEST_F(Exports, SaveLeavesAProgressWindowItDidNotCreate) {
    row(166).save = &fakeSave;
    void *owner = VcCreateWindow(nullptr, 0, 0, 100, 100);
    void *parent = VcCreateWindow(nullptr, 0, 0, 640, 480);
    vc::Wnd other = vc::CreateProgressDialog(owner, nullptr, 101);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(SaveConvImage(parent, junk.c_str(), nullptr, 166, 0, nullptr), 1);
    EXPECT_EQ(seen.save.progress, nullptr);
    EXPECT_EQ(seen.parentEnabledInWriter, 1);
    void *still = nullptr;
    EXPECT_EQ(VcProgressState(&still, nullptr, nullptr), 1);
    EXPECT_EQ(still, other);
    EXPECT_EQ(VcIsWindowEnabled(owner), 0);
    EXPECT_EQ(vc::DestroyProgressDialog(other), 1);
    VcDestroyWindow(owner);
    VcDestroyWindow(parent);
}

// ---- GetDesiredBitPix ------------------------------------------------------------------

TEST_F(Exports, DesiredBitPixTable) {
    struct Case {
        int32_t code, bits, want;
    };
    const Case cases[] = {
        {130, 16, 24}, {130, 8, 8},   {130, 32, 24},  {130, 24, 24}, {128, 16, 24}, {128, 32, 24},
        {128, 4, 4},   {167, 24, 8},  {129, 32, 8},   {129, 8, 8},   {129, 1, 1},   {133, 1, 24},
        {133, 24, 24}, {132, 32, 32}, {131, 16, 16},  {165, 24, 24}, {166, 4, 4},   {389, 4, 24},
        {127, 32, 32}, {168, 32, 32}, {0, 16, 16},    {0x100 + 130, 32, 24},
        {0, -1, 65535}, {132, -1, 65535}, {165, 0x8000, 0x8000},  // 16-bit depth, zero-extended
        {128, 0x10020, 24}, {132, 0x10018, 24},
    };
    for (const auto &c : cases) EXPECT_EQ(GetDesiredBitPix(c.code, c.bits), c.want) << c.code << "/" << c.bits;
}

// ---- GetPreviewImage ---------------------------------------------------------------------

TEST_F(Exports, PreviewDispatch) {
    ConvImageRecord rec{};
    EXPECT_EQ(GetPreviewImage(path("missing").c_str(), &rec), CONV_E_OPEN);
    EXPECT_EQ(GetPreviewImage(junk.c_str(), &rec), CONV_E_FORMAT);

    plugDetectors({130}, {130});
    row(130).preview = nullptr;
    EXPECT_EQ(GetPreviewImage(junk.c_str(), &rec), CONV_E_FORMAT);  // no preview routine

    row(130).preview = &fakePreview;
    for (int16_t r : {int16_t(1), int16_t(-6), int16_t(-32768)}) {
        seen.result = r;
        EXPECT_EQ(GetPreviewImage(junk.c_str(), &rec), int32_t(r));
        EXPECT_EQ(seen.fileName, junk);
        EXPECT_EQ(seen.documentArgs.at(0), reinterpret_cast<intptr_t>(&rec));
    }
    seen.previews = 0;
    GetPreviewImage(junk.c_str(), nullptr);
    EXPECT_EQ(seen.previews, 0) << "preview called without a record";
}

// ---- Animation document routines ---------------------------------------------------------

TEST_F(Exports, DocumentRoutinesServeOnlyTheTwoAnimationCodes) {
    // Even a row that has document routines is not asked unless its code
    // is one of the two animation documents.
    for (int code : {128, 132, 165}) {
        row(code).newDocument = &fakeNewDocument;
        row(code).command = &fakeCommand;
        row(code).frameChanged = &fakeFrameChanged;
    }
    for (int code : {0, 128, 132, 165, 166 + 256, 167 - 256, -1}) {
        EXPECT_EQ(NewConvFile(nullptr, nullptr, code, 0, nullptr), 0) << code;
        EXPECT_EQ(ProcessCommand(nullptr, 1001, code, nullptr, 0, nullptr), 0) << code;
        EXPECT_EQ(NotifyFrameChange(code, nullptr, 1, 0, nullptr), 0) << code;
    }
    EXPECT_EQ(seen.documentCalls, 0);
    // The two rows as they stand (no routines yet) answer 0.
    EXPECT_EQ(NewConvFile(nullptr, nullptr, 166, 0, nullptr), 0);
    EXPECT_EQ(ProcessCommand(nullptr, 1001, 167, nullptr, 0, nullptr), 0);
}

TEST_F(Exports, DocumentRoutinesGetTheirArgumentsInOrder) {
    HostCallback cb = FakeEditor::callback();
    auto *parent = reinterpret_cast<void *>(0x1000);
    auto *doc = reinterpret_cast<void *>(0x2000);
    char name[260] = "anim.ani";
    for (int code : {166, 167}) {
        SCOPED_TRACE(code);
        row(code).newDocument = &fakeNewDocument;
        row(code).command = &fakeCommand;
        row(code).frameChanged = &fakeFrameChanged;
        seen.documentResult = 0x12345678;
        EXPECT_EQ(NewConvFile(parent, name, code, 0xCAFEu, cb), 0x12345678);
        EXPECT_EQ(seen.documentArgs, (std::vector<intptr_t>{0x1000, reinterpret_cast<intptr_t>(name), 0xCAFE,
                                                            reinterpret_cast<intptr_t>(cb)}));
        seen.documentResult = -5;
        EXPECT_EQ(ProcessCommand(parent, 0x70000 + 1002, code, doc, 7, cb), -5);
        EXPECT_EQ(seen.documentArgs,
                  (std::vector<intptr_t>{0x1000, 1002, 0x2000, 7, reinterpret_cast<intptr_t>(cb)}));
        seen.documentResult = 1;
        EXPECT_EQ(NotifyFrameChange(code, doc, 2, -1, cb), 1);
        EXPECT_EQ(seen.documentArgs, (std::vector<intptr_t>{0x2000, 2, 65535, reinterpret_cast<intptr_t>(cb)}));
        EXPECT_EQ(NotifyFrameChange(code, doc, 0, 0x10003, cb), 1);
        EXPECT_EQ(seen.documentArgs.at(2), 3);
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
    EXPECT_EQ(DetectFileFormat("", &fmt, 1), CONV_E_OPEN);
    EXPECT_EQ(DetectFileFormat("x.gif", nullptr, 0), CONV_OK);
    EXPECT_EQ(DetectFileFormat(junk.c_str(), nullptr, -1), CONV_E_FORMAT);
    EXPECT_EQ(LoadConvImage(nullptr, nullptr, nullptr, nullptr, 0, nullptr), CONV_E_OPEN);
    EXPECT_EQ(LoadConvImage(reinterpret_cast<void *>(1), junk.c_str(), nullptr, nullptr, ~0u, nullptr),
              CONV_E_FORMAT);
    EXPECT_EQ(GetPreviewImage(nullptr, nullptr), CONV_E_OPEN);
    EXPECT_EQ(GetPreviewImage(junk.c_str(), nullptr), CONV_E_FORMAT);
    EXPECT_EQ(GetDesiredBitPix(INT32_MIN, INT32_MIN), 0);
    EXPECT_EQ(NewConvFile(nullptr, nullptr, 166, 0, nullptr), 0);
    EXPECT_EQ(ProcessCommand(nullptr, -1, 167, reinterpret_cast<void *>(3), ~0u, nullptr), 0);
    EXPECT_EQ(NotifyFrameChange(166, reinterpret_cast<void *>(3), INT32_MIN, INT32_MIN, nullptr), 0);

    // A parent that is no window, and no file name for a format that has a
    // writer: refused before the writer runs, progress window gone again.
    row(128).save = &fakeSave;
    EXPECT_EQ(SaveConvImage(reinterpret_cast<void *>(0x77), nullptr, nullptr, 128, 0, nullptr), CONV_E_CREATE);
    EXPECT_EQ(SaveConvImage(nullptr, "", nullptr, 128, 0, nullptr), CONV_E_CREATE);
    EXPECT_EQ(seen.saves, 0);
    EXPECT_EQ(SaveConvImage(reinterpret_cast<void *>(0x77), nullptr, nullptr, 131, 0, nullptr), CONV_E_UNSUPPORTED);
}

TEST_F(Exports, OverLongFileNamesGetTheOpenFailure) {
    // Far past any path limit: the file calls refuse it, nothing is read
    // past the name, and by name only the extension counts.
    std::string name(5000, 'a');
    name += ".tif";
    uint8_t fmt = 0xEE;
    EXPECT_EQ(DetectFileFormat(name.c_str(), &fmt, 0), CONV_OK);
    EXPECT_EQ(fmt, 130);
    EXPECT_EQ(DetectFileFormat(name.c_str(), &fmt, 1), CONV_E_OPEN);
    EXPECT_EQ(fmt, 0);
    ConvImageRecord rec{reinterpret_cast<void *>(0x5), 0, nullptr, 0};
    EXPECT_EQ(LoadConvImage(nullptr, name.c_str(), &rec, &fmt, 0, nullptr), CONV_E_OPEN);
    EXPECT_EQ(rec.image, nullptr);
    EXPECT_EQ(GetPreviewImage(name.c_str(), &rec), CONV_E_OPEN);
}

// ---- The fake editor itself, as the format tests will use it -------------------------------

int16_t readerThatHandsOver(const vc::LoadRequest &r) {
    // A frame from a buffer the reader then scribbles over, an icon, a
    // hotspot, a note, a document with its menu item; then the count.
    std::vector<uint8_t> dib = makeDib(3, 2, 8, 2);
    r.callback(HOST_ADD_FRAME, reinterpret_cast<intptr_t>(dib.data()), HOST_FRAME_GIF);
    std::fill(dib.begin(), dib.end(), 0xCC);
    std::vector<uint8_t> icon = iconFromDib(makeDib(4, 4, 4));
    r.callback(HOST_ADD_ICON, reinterpret_cast<intptr_t>(icon.data()), HOST_FRAME_GIF);
    intptr_t n = r.callback(HOST_QUERY, 0, HOST_QUERY_COUNT);
    r.callback(HOST_SET_HOTSPOT, intptr_t(vc::packPoint(3, 7)), n - 1);
    char name[] = "c:\\x.ani";
    r.callback(HOST_NOTE_FILE, reinterpret_cast<intptr_t>(name), 166 * 256 + (n - 1));
    name[0] = 'z';
    void *doc = vc::plat::memAlloc(vc::plat::kMemMoveable | vc::plat::kMemZeroInit, 64);
    if (!r.callback(HOST_NEW_DOCUMENT, reinterpret_cast<intptr_t>(doc), 0))
        vc::plat::memFree(doc);
    else
        vc::AddHostMenuItem(2, 5, CONV_MENU_BYPOSITION, CONV_CMD_ANIMATION, 205, r.callback);
    uint32_t size = 32 | (32u << 16);
    if (void *served = reinterpret_cast<void *>(r.callback(HOST_GET_ICON, reinterpret_cast<intptr_t>(&size), 0)))
        vc::plat::memFree(served);
    return 1;
}

TEST_F(Exports, FakeEditorKeepsCopiesAndOwnsAcceptedDocuments) {
    plugDetectors({166}, {166});
    row(166).load = &readerThatHandsOver;
    for (bool accept : {true, false}) {
        SCOPED_TRACE(accept);
        FakeEditor editor;
        editor.addFrame(makeDib(32, 32, 4));
        if (!accept) editor.refuse(HOST_NEW_DOCUMENT);
        ASSERT_EQ(LoadConvImage(nullptr, junk.c_str(), nullptr, nullptr, 0, FakeEditor::callback()), 1);
        std::vector<int32_t> want = {2, 9, 0, 13, 21, 11, 14, 8};
        if (!accept) want = {2, 9, 0, 13, 21, 11, 8};
        EXPECT_EQ(editor.commands(), want);
        ASSERT_EQ(editor.images.size(), 3u);
        EXPECT_EQ(editor.images[1].bytes, makeDib(3, 2, 8, 2));
        EXPECT_EQ(editor.images[1].flags, HOST_FRAME_GIF);
        EXPECT_TRUE(editor.images[2].icon);
        EXPECT_EQ(editor.hotspots[2], vc::packPoint(3, 7));
        ASSERT_EQ(editor.notes.size(), 1u);
        EXPECT_EQ(editor.notes[0].fileName, "c:\\x.ani");
        EXPECT_EQ(editor.notes[0].value, 166 * 256 + 2);
        EXPECT_EQ(editor.documents.size(), accept ? 1u : 0u);
        EXPECT_EQ(editor.menuItems.size(), accept ? 1u : 0u);
        ASSERT_EQ(editor.iconRequests.size(), 1u);
        EXPECT_EQ(editor.iconRequests[0].width, 32);
        EXPECT_EQ(editor.servedBlocks.size(), 1u);
    }
}

}  // namespace
