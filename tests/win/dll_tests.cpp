// VelmConv32.dll bound the way the editor binds it (LoadLibrary,
// GetProcAddress by plain name): every entry point called through the real
// binary, its resources as Windows reads them, and the window class it
// registers. The tables themselves are the native suite's business.

#include <utility>

#include "win_test_util.h"

namespace {

using wintest::bind;
using wintest::ScratchFile;
using Dll = wintest::LibraryTest;

// One call of each reading and document entry point through the real
// binary (the tables are the native suite's): a calling convention or an
// argument lost on the way shows here.
TEST_F(Dll, EntryPointsAnswerThroughTheBinary) {
    std::vector<uint8_t> codes(32, 0xCC);
    std::vector<char> text(2048, char(0xCC));
    ASSERT_EQ(bind<GetFormatsFn>(module_, "GetFormats")(text.data(), codes.data(), 2), 1);
    const char expected[] = "Video for Windows(*.AVI)\0*.AVI\0";  // plus the literal's own NUL, then nothing
    EXPECT_EQ(std::string(text.data(), sizeof expected + 1), std::string(expected, sizeof expected) + char(0xCC));
    EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.begin() + 2), (std::vector<uint8_t>{165, 0xCC}));

    auto detect = bind<DetectFileFormatFn>(module_, "DetectFileFormat");
    auto preview = bind<GetPreviewImageFn>(module_, "GetPreviewImage");
    vctest::FakeEditor editor;
    uint8_t code = 0x55;
    EXPECT_EQ((std::tuple{detect("dir.x\\image.pcx", &code, 0), int(code)}), std::tuple(int(CONV_OK), 128));
    EXPECT_EQ(bind<GetDesiredBitPixFn>(module_, "GetDesiredBitPix")(389, 4), 24) << "only the low byte (133) names the format";
    ScratchFile missing("missing.gif", "", false), words("words.tif", "II*? neither image nor animation");
    for (auto [file, result] : {std::pair{&missing, CONV_E_OPEN}, std::pair{&words, CONV_E_FORMAT}}) {
        ConvImageRecord record{reinterpret_cast<void *>(0x1234), 0, nullptr, 0};
        code = 0x55;
        EXPECT_EQ(detect(file->path(), &code, 1), result);
        EXPECT_EQ(load(nullptr, file->path(), &record, &code, 0, editor.callback()), result);
        EXPECT_EQ(std::tuple(record.image, int(code)), std::tuple(nullptr, 0)) << "the record's image is cleared first";
        EXPECT_EQ(preview(file->path(), &record), result);
    }

    // The document entry points leave other formats' documents alone.
    const std::vector<uint8_t> bytes(64, 0xA5);
    HGLOBAL document = wintest::toBlock(bytes);
    char name[MAX_PATH] = "untitled.gif";
    EXPECT_EQ(bind<NewConvFileFn>(module_, "NewConvFile")(nullptr, name, 129, 0, editor.callback()), 0);
    EXPECT_EQ(bind<ProcessCommandFn>(module_, "ProcessCommand")(nullptr, 1001, 166 + 256, document, 0, editor.callback()), 0);
    EXPECT_EQ(bind<NotifyFrameChangeFn>(module_, "NotifyFrameChange")(165, document, 1, 0, editor.callback()), 0);
    EXPECT_EQ(std::tuple(std::string(name), editor.calls.size(), wintest::blockBytes(document)),
              std::tuple("untitled.gif", 0u, bytes));
    GlobalFree(document);
}

// ---- Resources -------------------------------------------------------------------------

TEST_F(Dll, StringTableHoldsEveryTextExactly) {
#define VC_TEST_ENTRY(id, text) {id, text},
    const std::pair<unsigned, std::string> entries[] = {VC_STRINGS(VC_TEST_ENTRY)};
#undef VC_TEST_ENTRY
    char buffer[512];
    for (const auto &[id, text] : entries)
        EXPECT_EQ((std::tuple{LoadStringA(module_, id, buffer, sizeof buffer), std::string(buffer)}),
                  std::tuple(int(text.size()), text))
            << id;
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
    EXPECT_EQ(std::tuple(fixed->dwFileVersionMS, fixed->dwFileType,
                         std::string(value("\\StringFileInfo\\040904E4\\ProductName")),
                         std::string(value("\\StringFileInfo\\040904E4\\OriginalFilename"))),
              std::tuple(0x00010000u, DWORD(VFT_DLL), "VelmConv", "VelmConv32.dll"));
}

TEST_F(Dll, FilmStripClassComesAndGoesWithTheLibrary) {
    // Its style and state values as the strip's messages leave them are the
    // film strip program's.
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(module_, "AVIREEL", &wc));
    EXPECT_EQ(std::make_tuple(wc.cbWndExtra, wc.hCursor),
              std::make_tuple(40, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512))));

    // Unloaded (not held elsewhere), the class is gone; loaded again, it is back.
    HMODULE old = std::exchange(module_, nullptr);
    ASSERT_TRUE(FreeLibrary(old));
    EXPECT_EQ(std::tuple(GetModuleHandleA("VelmConv32.dll"), GetClassInfoA(old, "AVIREEL", &wc)),
              std::tuple(HMODULE(nullptr), FALSE));
    module_ = LoadLibraryA(wintest::libraryPath().c_str());
    EXPECT_TRUE(module_ && GetClassInfoA(module_, "AVIREEL", &wc));
}

}  // namespace
