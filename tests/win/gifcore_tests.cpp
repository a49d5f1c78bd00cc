// Still GIF files through VelmConv32.dll, bound the way the editor binds it:
// Debian sample files (through Wine's Z: drive) load into an output record,
// save back as format 129 and load again with the same colours and pixels;
// a transparent image goes to the editor through the callback; and a tiny
// image is written with exactly the bytes the native build writes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/fake_editor.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

using wintest::ScratchFile;

std::string libraryPath() {
    if (const char *p = std::getenv("VELMCONV_DLL"); p && *p) return p;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string s(self);
    return s.substr(0, s.find_last_of("\\/") + 1) + "VelmConv32.dll";
}

std::vector<uint8_t> blockBytes(void *block) {
    std::vector<uint8_t> v;
    if (!block) return v;
    auto *p = static_cast<uint8_t *>(GlobalLock(static_cast<HGLOBAL>(block)));
    v.assign(p, p + GlobalSize(static_cast<HGLOBAL>(block)));
    GlobalUnlock(static_cast<HGLOBAL>(block));
    return v;
}

class GifDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadLibraryA(libraryPath().c_str()); }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        if (!module_) GTEST_SKIP() << "library not loaded";
        load = reinterpret_cast<LoadConvImageFn>(reinterpret_cast<void *>(GetProcAddress(module_, "LoadConvImage")));
        save = reinterpret_cast<SaveConvImageFn>(reinterpret_cast<void *>(GetProcAddress(module_, "SaveConvImage")));
    }
    static HMODULE module_;
    LoadConvImageFn load = nullptr;
    SaveConvImageFn save = nullptr;
};
HMODULE GifDll::module_ = nullptr;

TEST_F(GifDll, SampleFilesLoadSaveAndReloadUnchanged) {
    const char *files[] = {"Z:\\usr\\libexec\\installed-tests\\SDL2_image\\palette.gif",
                           "Z:\\usr\\share\\doc\\wx3.2-examples\\examples\\samples\\image\\horse.gif",
                           "Z:\\usr\\share\\doc\\wx3.2-examples\\examples\\samples\\animate\\throbber.gif"};
    int checked = 0;
    for (const char *file : files) {
        if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) continue;
        ConvImageRecord first{};
        uint8_t format = 0;
        ASSERT_EQ(load(nullptr, file, &first, &format, 0, nullptr), 1) << file;
        EXPECT_EQ(format, 129);
        ASSERT_NE(first.image, nullptr);
        ScratchFile out("gifcore.gif", std::string(), false);
        ASSERT_EQ(save(nullptr, out.path(), first.image, 129, 0, nullptr), 1) << file;
        ConvImageRecord second{};
        format = 0;
        ASSERT_EQ(load(nullptr, out.path(), &second, &format, 0, nullptr), 1) << file;
        auto a = blockBytes(first.image), b = blockBytes(second.image);
        ASSERT_GE(a.size(), 40u);
        ASSERT_EQ(a.size(), b.size()) << file;
        EXPECT_TRUE(std::equal(a.begin() + 40, a.end(), b.begin() + 40)) << file;
        EXPECT_EQ(out.read().substr(0, 6), "GIF89a");
        GlobalFree(static_cast<HGLOBAL>(first.image));
        GlobalFree(static_cast<HGLOBAL>(second.image));
        ++checked;
    }
    if (!checked) GTEST_SKIP() << "no sample GIF files installed";
}

TEST_F(GifDll, TransparentImageGoesToTheEditorAndTinyImageBytesAreExact) {
    // 4 x 1 (pixels 0 1 1 0), two colours, colour 1 transparent: GIF89a,
    // screen, table, graphic control, image, data, trailer.
    const std::string gif("GIF89a\x04\x00\x01\x00\x80\x00\x00"
                          "\x00\x00\x00\xff\xff\xff"
                          "\x21\xf9\x04\x01\x00\x00\x01\x00"
                          "\x2c\x00\x00\x00\x00\x04\x00\x01\x00\x00"
                          "\x02\x03\x44\x02\x05\x00\x3b",
                          44);
    ScratchFile in("transparent.gif", gif);
    vctest::FakeEditor editor;
    ConvImageRecord rec{};
    uint8_t format = 0;
    ASSERT_EQ(load(nullptr, in.path(), &rec, &format, 0, vctest::FakeEditor::callback()), 1);
    EXPECT_EQ(rec.image, nullptr);
    EXPECT_EQ(editor.commands(), (std::vector<int32_t>{2, 17, 0, 21}));
    ASSERT_EQ(editor.transparents.size(), 1u);
    EXPECT_EQ(editor.transparents[0].entry[0], 0xFF);

    // The image the editor got, saved again with the editor's transparent
    // colour white: the same bytes as the file it came from.
    ASSERT_EQ(editor.images.size(), 1u);
    std::vector<uint8_t> dib = editor.images[0].bytes;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    std::memcpy(GlobalLock(block), dib.data(), dib.size());
    GlobalUnlock(block);
    editor.screenColor = 0xFFFFFF;
    ScratchFile out("tiny.gif", std::string(), false);
    ASSERT_EQ(save(nullptr, out.path(), block, 129, 0, vctest::FakeEditor::callback()), 1);
    GlobalFree(block);
    EXPECT_EQ(out.read(), gif);
}

}  // namespace
