// Animated cursors through VelmConv32.dll, bound the way the editor binds
// it: a real file from Debian's wx examples (Wine's Z: drive) loads as frames
// plus a document, saves back, and loads again with the same steps, texts,
// hotspots and pixels.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/fake_editor.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

const char *const kHourglass = "Z:\\usr\\share\\doc\\wx3.2-examples\\examples\\samples\\animate\\hourglass.ani";

// The document's leading part as the library lays it out: format code,
// a reserved word, the nine anih fields, title, author, rates, sequence.
struct Document {
    uint16_t code, reserved;
    uint32_t header[9];
    char title[80], author[80];
    uint32_t rates[256], sequence[256];
};
static_assert(sizeof(Document) == 2248);

Document copyOf(void *block) {
    Document d{};
    std::vector<uint8_t> bytes = block ? blockBytes(block) : std::vector<uint8_t>();
    if (bytes.size() >= sizeof d) std::memcpy(&d, bytes.data(), sizeof d);
    return d;
}

uint32_t at32(const std::string &s, size_t i) {
    uint32_t v = 0;
    std::memcpy(&v, s.data() + i, 4);
    return v;
}

using AniDll = LibraryTest;

TEST_F(AniDll, LoadsSavesAndReloadsAnAnimatedCursor) {
    if (GetFileAttributesA(kHourglass) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "wx3.2-examples not installed";
    auto preview = bind<GetPreviewImageFn>(module_, "GetPreviewImage");
    vctest::FakeEditor first;
    uint8_t format = 0;
    ASSERT_EQ(load(nullptr, kHourglass, nullptr, &format, 0, vctest::FakeEditor::callback()), 1);
    EXPECT_EQ(format, 166);
    ASSERT_EQ(first.images.size(), 20u);
    EXPECT_EQ(first.images[19].flags, 19 * 256 + 17);
    ASSERT_EQ(first.documents.size(), 1u);
    EXPECT_EQ(first.menuItems.size(), 4u);
    Document a = copyOf(first.documents[0]);
    EXPECT_EQ(a.code, 166);
    EXPECT_EQ(a.rates[0], 24u);
    EXPECT_STREQ(a.author, "(c)1997 Mitch Fishman\r\nmitch@tmbg.org");

    ScratchFile out("round.ani", "", false);
    TestWindow parent(0, 0, 300, 200);
    ASSERT_EQ(save(parent.hwnd, out.path(), nullptr, 166, 0, vctest::FakeEditor::callback()), 1);
    std::string bytes = out.read();
    ASSERT_GT(bytes.size(), 148u);
    EXPECT_EQ(at32(bytes, 4), bytes.size() - 8);
    // RIFF ACON, anih with flags 3 (icon frames, a seq chunk), rate and seq of 20 steps.
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(56, 4) + bytes.substr(144, 4), "RIFFACONanihrateseq ");
    EXPECT_EQ(at32(bytes, 12 + 8 + 4 * 8), 3u);

    vctest::FakeEditor second;
    ASSERT_EQ(load(nullptr, out.path(), nullptr, &format, 0, vctest::FakeEditor::callback()), 1);
    ASSERT_EQ(second.images.size(), 20u);
    Document b = copyOf(second.documents.empty() ? nullptr : second.documents[0]);
    EXPECT_EQ(std::memcmp(a.rates, b.rates, sizeof a.rates), 0);
    EXPECT_EQ(std::memcmp(a.sequence, b.sequence, sizeof a.sequence), 0);
    EXPECT_STREQ(b.title, a.title);
    EXPECT_STREQ(b.author, a.author);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(second.hotspots[intptr_t(i)], 16u | 15u << 16) << i;
        EXPECT_EQ(second.images[i].bytes, first.images[i].bytes) << i;
    }

    ConvImageRecord rec{};
    ASSERT_EQ(preview(out.path(), &rec), 1);
    ASSERT_NE(rec.image, nullptr);
    EXPECT_EQ(rec.bitsOffset, 40u + 4 * 256);
    GlobalFree(static_cast<HGLOBAL>(rec.image));
}

}  // namespace
