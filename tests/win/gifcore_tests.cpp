// Still GIF files through VelmConv32.dll, bound the way the editor binds it:
// Debian sample files load, save as format 129 and load again unchanged; a
// transparent image goes to the editor and saves back byte for byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/fake_editor.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

using GifDll = LibraryTest;

TEST_F(GifDll, SampleFilesLoadSaveAndReloadUnchanged) {
    const std::string wx = "Z:\\usr\\share\\doc\\wx3.2-examples\\examples\\samples\\";
    int checked = 0;
    for (const std::string &file : {std::string("Z:\\usr\\libexec\\installed-tests\\SDL2_image\\palette.gif"),
                                    wx + "image\\horse.gif", wx + "animate\\throbber.gif"}) {
        if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        ConvImageRecord first{}, second{};
        uint8_t format = 0;
        ASSERT_EQ(load(nullptr, file.c_str(), &first, &format, 0, nullptr), 1) << file;
        EXPECT_EQ(format, 129);
        ScratchFile out("gifcore.gif", std::string(), false);
        ASSERT_EQ(save(nullptr, out.path(), first.image, 129, 0, nullptr), 1) << file;
        ASSERT_EQ(load(nullptr, out.path(), &second, &format, 0, nullptr), 1) << file;
        // Colours and pixels; the header's resolution fields may differ.
        auto a = blockBytes(first.image), b = blockBytes(second.image);
        EXPECT_TRUE(a.size() == b.size() && std::equal(a.begin() + 40, a.end(), b.begin() + 40)) << file;
        GlobalFree(static_cast<HGLOBAL>(first.image));
        GlobalFree(static_cast<HGLOBAL>(second.image));
        ++checked;
    }
    if (!checked) GTEST_SKIP() << "no sample GIF files installed";
}

TEST_F(GifDll, TransparentImageGoesToTheEditorAndSavesBackByteForByte) {
    // 4 x 1 (pixels 0 1 1 0), black and white, white transparent.
    const std::string gif("GIF89a\x04\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                          "\x21\xf9\x04\x01\x00\x00\x01\x00"
                          "\x2c\x00\x00\x00\x00\x04\x00\x01\x00\x00\x02\x03\x44\x02\x05\x00\x3b",
                          44);
    ScratchFile in("transparent.gif", gif), out("tiny.gif", std::string(), false);
    vctest::FakeEditor editor;
    ConvImageRecord rec{};
    uint8_t format = 0;
    ASSERT_EQ(load(nullptr, in.path(), &rec, &format, 0, vctest::FakeEditor::callback()), 1);
    EXPECT_EQ(rec.image, nullptr);
    EXPECT_EQ(editor.commands(), (std::vector<int32_t>{2, 17, 0, 21}));
    EXPECT_EQ(editor.transparents.at(0).entry[0], 0xFF);

    HGLOBAL block = toBlock(editor.images.at(0).bytes);
    editor.screenColor = 0xFFFFFF;
    ASSERT_EQ(save(nullptr, out.path(), block, 129, 0, vctest::FakeEditor::callback()), 1);
    GlobalFree(block);
    EXPECT_EQ(out.read(), gif);
}

}  // namespace
