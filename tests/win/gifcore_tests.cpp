// Still GIF files through VelmConv32.dll, bound the way the editor binds it:
// a transparent image goes to the editor and saves back byte for byte.
// (Files of other programs and what other readers make of ours are the
// native suite's, on the same code.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/fake_editor.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

using GifDll = LibraryTest;

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
