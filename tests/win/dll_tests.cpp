// VelmConv32.dll bound the way the editor binds it (LoadLibrary,
// GetProcAddress by plain name): every entry point called through the real
// binary, its resources as Windows reads them, and the window class it
// registers. The tables themselves are the native suite's business.

#include "win_test_util.h"

namespace {

using wintest::bind;
using wintest::ScratchFile;

class Dll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadLibraryA(wintest::libraryPath().c_str()); }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "cannot load " << wintest::libraryPath();
    }
    template <typename T>
    static T fn(const char *name) {
        return bind<T>(module_, name);
    }
    static HMODULE module_;
};
HMODULE Dll::module_ = nullptr;

// One call of each reading and document entry point through the real
// binary (the tables are the native suite's): a calling convention or an
// argument lost on the way shows here.
TEST_F(Dll, EntryPointsAnswerThroughTheBinary) {
    std::vector<uint8_t> codes(32, 0xCC);
    std::vector<char> text(2048, char(0xCC));
    ASSERT_EQ(fn<GetFormatsFn>("GetFormats")(text.data(), codes.data(), 2), 1);
    const char expected[] = "Video for Windows(*.AVI)\0*.AVI\0";  // plus the literal's own NUL
    EXPECT_EQ(std::memcmp(text.data(), expected, sizeof expected), 0);
    EXPECT_EQ(uint8_t(text[sizeof expected]), 0xCC) << "wrote past the double NUL";
    EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.begin() + 2), (std::vector<uint8_t>{165, 0xCC}));

    auto detect = fn<DetectFileFormatFn>("DetectFileFormat");
    auto load = fn<LoadConvImageFn>("LoadConvImage");
    auto preview = fn<GetPreviewImageFn>("GetPreviewImage");
    vctest::FakeEditor editor;
    uint8_t code = 0x55;
    EXPECT_EQ(detect("dir.x\\image.pcx", &code, 0), 1);
    EXPECT_EQ(code, 128);
    EXPECT_EQ(fn<GetDesiredBitPixFn>("GetDesiredBitPix")(389, 4), 24) << "only the low byte (133) names the format";
    ScratchFile missing("missing.gif", "", false), words("words.tif", "II*? neither image nor animation");
    for (auto [file, result] : {std::pair{&missing, -1}, std::pair{&words, -2}}) {
        ConvImageRecord record{reinterpret_cast<void *>(0x1234), 0, nullptr, 0};
        code = 0x55;
        EXPECT_EQ(detect(file->path(), &code, 1), result);
        EXPECT_EQ(load(nullptr, file->path(), &record, &code, 0, editor.callback()), result);
        EXPECT_EQ(record.image, nullptr) << "the record's image is cleared first";
        EXPECT_EQ(code, 0);
        EXPECT_EQ(preview(file->path(), &record), result);
    }

    // The document entry points leave other formats' documents alone.
    const std::vector<uint8_t> bytes(64, 0xA5);
    HGLOBAL document = wintest::toBlock(bytes);
    char name[MAX_PATH] = "untitled.gif";
    EXPECT_EQ(fn<NewConvFileFn>("NewConvFile")(nullptr, name, 129, 0, editor.callback()), 0);
    EXPECT_EQ(fn<ProcessCommandFn>("ProcessCommand")(nullptr, 1001, 166 + 256, document, 0, editor.callback()), 0);
    EXPECT_EQ(fn<NotifyFrameChangeFn>("NotifyFrameChange")(165, document, 1, 0, editor.callback()), 0);
    EXPECT_STREQ(name, "untitled.gif");
    EXPECT_TRUE(editor.calls.empty());
    EXPECT_EQ(wintest::blockBytes(document), bytes) << "document touched";
    GlobalFree(document);
}

// ---- Resources -------------------------------------------------------------------------

TEST_F(Dll, StringTableHoldsEveryTextExactly) {
    struct Entry {
        unsigned id;
        const char *text;
    };
#define VC_TEST_ENTRY(id, text) {id, text},
    const Entry entries[] = {VC_STRINGS(VC_TEST_ENTRY)};
#undef VC_TEST_ENTRY
    char buffer[512];
    for (const Entry &e : entries) {
        EXPECT_EQ(LoadStringA(module_, e.id, buffer, sizeof buffer), int(std::strlen(e.text))) << e.id;
        EXPECT_STREQ(buffer, e.text) << e.id;
    }
    // A backslash and a b, not an escape, survive the resource compiler.
    ASSERT_EQ(LoadStringA(module_, 206, buffer, sizeof buffer), 25);
    EXPECT_EQ(std::string(buffer, 25), std::string("Change &Format...") + char(0x5C) + "bStrg+F");
    for (unsigned id : {99u, 110u, 202u, 224u}) EXPECT_EQ(LoadStringA(module_, id, buffer, sizeof buffer), 0) << id;
}

TEST_F(Dll, VersionResourceNamesTheProduct) {
    std::string path = wintest::libraryPath();
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_TRUE(!data.empty() && GetFileVersionInfoA(path.c_str(), 0, DWORD(data.size()), data.data()));
    auto value = [&](const char *key) {
        char *text = nullptr;
        UINT n = 0;
        return VerQueryValueA(data.data(), key, reinterpret_cast<void **>(&text), &n) && text ? text : "<missing>";
    };
    const auto *fixed = reinterpret_cast<const VS_FIXEDFILEINFO *>(value("\\"));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));
    EXPECT_STREQ(value("\\StringFileInfo\\040904E4\\ProductName"), "VelmConv");
    EXPECT_STREQ(value("\\StringFileInfo\\040904E4\\OriginalFilename"), "VelmConv32.dll");
}

// Last in the file: it unloads the library the other tests share.
TEST_F(Dll, FilmStripClassComesAndGoesWithTheLibrary) {
    // Its style and state values as the strip's messages leave them are the
    // film strip program's.
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(module_, "AVIREEL", &wc));
    EXPECT_EQ(std::make_tuple(wc.cbWndExtra, wc.hCursor), std::make_tuple(40, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512))));

    HMODULE old = module_;
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    EXPECT_EQ(GetModuleHandleA("VelmConv32.dll"), nullptr) << "still loaded elsewhere";
    EXPECT_FALSE(GetClassInfoA(old, "AVIREEL", &wc)) << "unloading unregisters the class";
    SetUpTestSuite();
    ASSERT_NE(module_, nullptr);
    EXPECT_TRUE(GetClassInfoA(module_, "AVIREEL", &wc));
}

}  // namespace
