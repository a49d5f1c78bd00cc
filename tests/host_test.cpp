// The reference host: its pictures, the conversions it performs for the
// library, and its side of the editor callback. Its BMP files are checked
// with ImageMagick, not only with its own reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include <tuple>

#include "common/bytes.h"
#include "controls/reel.h"
#include "gif_support.h"
#include "host/editor.h"
#include "host/image.h"
#include "host/library.h"
#include "host/quantize.h"
#include "platform/platform.h"

using host::Image;

namespace {

// A picture whose pixels are a function of x and y, in the given depth.
Image pattern(int32_t w, int32_t h, uint16_t bits) {
    Image img;
    img.width = w;
    img.height = h;
    img.bitCount = 24;
    img.bits.assign(size_t(img.rowBytes()) * h, 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t *p = img.bits.data() + size_t(h - 1 - y) * img.rowBytes() + size_t(x) * 3;
            p[0] = uint8_t(x * 7);
            p[1] = uint8_t(y * 13);
            p[2] = uint8_t((x ^ y) * 5);
        }
    return bits == 24 ? img : host::withDepth(img, bits, false);
}

bool samePixels(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height) return false;
    for (int32_t y = 0; y < a.height; ++y)
        for (int32_t x = 0; x < a.width; ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

std::string tempPath(const std::string &name) {
    return (std::filesystem::temp_directory_path() / ("vchost-" + std::to_string(getpid()) + "-" + name)).string();
}

}  // namespace

// Every depth, an odd width: the BMP files the host writes are read back
// by ImageMagick and by the host's own reader with the same pixels, and a
// packed DIB one byte short of its rows is refused, not read past the end.
TEST(HostImage, BmpFilesAndPackedDibsRoundTripAtEveryDepth) {
    const bool magick = access("/usr/bin/compare", X_OK) == 0;
    for (uint16_t bits : {1, 4, 8, 24}) {
        SCOPED_TRACE(::testing::Message() << bits << " bits");
        Image img = pattern(21, 7, bits);
        ASSERT_EQ(img.bitCount, bits);
        std::vector<uint8_t> dib = host::toPackedDib(img);
        EXPECT_FALSE(host::fromPackedDib(dib.data(), dib.size() - 1));
        std::string bmp = tempPath("ours.bmp"), ppm = tempPath("ref.ppm"), error;
        ASSERT_TRUE(host::writeBmp(bmp, img));
        auto back = host::readBmp(bmp, error);
        ASSERT_TRUE(back);
        EXPECT_TRUE(samePixels(img, *back));
        if (magick) {
            // The reference: the same pixels in the simplest format there is.
            std::string ref = "P6\n" + std::to_string(img.width) + " " + std::to_string(img.height) + "\n255\n";
            for (int32_t y = 0; y < img.height; ++y)
                for (int32_t x = 0; x < img.width; ++x)
                    for (int shift : {16, 8, 0}) ref += char((img.pixel(x, y) >> shift) & 255);
            std::ofstream(ppm, std::ios::binary) << ref;
            std::FILE *p = popen(("/usr/bin/compare -metric AE " + bmp + " " + ppm + " null: 2>&1").c_str(), "r");
            char out[64] = {};
            ASSERT_TRUE(std::fgets(out, sizeof out, p));
            pclose(p);
            EXPECT_STREQ(out, "0");
        }
        std::remove(bmp.c_str());
        std::remove(ppm.c_str());
    }
    if (!magick) GTEST_SKIP() << "ImageMagick is not installed: only the host's own reader checked";
}

TEST(HostImage, DepthReductionIsExactWhenColoursFitAndBoundedWhenNot) {
    Image few = pattern(4, 4, 24);  // 16 pixels, at most 16 colours
    Image four = host::withDepth(few, 4, false);
    EXPECT_LE(four.palette.size(), 16u);
    EXPECT_TRUE(samePixels(few, four));

    Image many = pattern(64, 64, 24);
    Image eight = host::withDepth(many, 8, false);
    std::vector<host::Rgb> bw = host::fixedPalette(2);
    Image mono = host::withDepth(many, 1, false, &bw);
    EXPECT_LE(eight.palette.size(), 256u);
    long error = 0;
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            host::Rgb a = many.pixel(x, y), b = eight.pixel(x, y), c = mono.pixel(x, y);
            for (int s = 0; s < 24; s += 8) error += std::abs(int((a >> s) & 255) - int((b >> s) & 255));
            ASSERT_TRUE(c == 0 || c == 0xFFFFFF) << "not on the fixed palette";
        }
    EXPECT_LT(error / (64 * 64 * 3), 12) << "quantised picture too far from the original";
}

// ---- The editor's side of the callback ---------------------------------------------

class HostEditor : public ::testing::Test {
protected:
    void SetUp() override {
        blocks_ = vc::plat::memLiveBlocks();
        editor.makeCurrent();
    }
    void TearDown() override {
        if (editor.document) host::Library::memFree(editor.document);
        editor.document = nullptr;
        EXPECT_EQ(vc::plat::memLiveBlocks(), blocks_);
    }
    template <class T>
    intptr_t call(int32_t command, T param, intptr_t value) {
        return host::Editor::callback()(command, intptr_t(param), value);
    }
    host::Editor editor;
    long blocks_ = 0;
};

TEST_F(HostEditor, IconRequestScalesReducesAndMasksTheTransparentColour) {
    Image img = pattern(32, 32, 24);
    editor.addFrame(img);
    host::Rgb key = img.pixel(0, 0);
    uint8_t entry[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), 0};
    ASSERT_TRUE(call(HOST_SET_TRANSPARENT, entry, 0));
    uint32_t size = 16 | (16u << 16);
    void *block = reinterpret_cast<void *>(call(HOST_GET_ICON, &size, -1));
    ASSERT_TRUE(block);
    EXPECT_EQ(size, host::Library::memSize(block));
    auto icon = host::fromPackedDib(static_cast<const uint8_t *>(host::Library::memLock(block)), size, 2);
    host::Library::memUnlock(block);
    host::Library::memFree(block);
    ASSERT_TRUE(icon);
    // A 24-bit frame is a 256-colour image to the editor.
    EXPECT_EQ(std::tuple(icon->width, icon->height, icon->bitCount), std::tuple(16, 16, 8));
    EXPECT_TRUE(icon->masked(0, 0));
    EXPECT_FALSE(icon->masked(5, 9));
}

TEST_F(HostEditor, FrameRequestFillsTheBlockTheLibrarySized) {
    editor.addFrame(pattern(10, 6, 8));
    std::vector<uint8_t> block(40 + 16 * 4 + 4 * 3, 0xCC);
    ConvBitmapInfoHeader h{40, 5, 3, 1, 4, 0, 0, 0, 0, 0, 0};
    std::memcpy(block.data(), &h, sizeof h);
    ASSERT_TRUE(call(HOST_GET_FRAME, block.data(), 0));
    auto img = host::fromPackedDib(block.data(), block.size());
    ASSERT_TRUE(img);
    EXPECT_EQ(std::tuple(img->width, img->height, img->bitCount), std::tuple(5, 3, 4));
    EXPECT_EQ(call(HOST_GET_FRAME, block.data(), 7), 0) << "no frame 7";
}

TEST_F(HostEditor, FormatChangeConvertsEveryFrameAndTheColourSetting) {
    editor.addFrame(pattern(32, 32, 24));
    editor.addFrame(pattern(16, 16, 8));
    ConvFormatChange change{24, 24, 3, 1, 0};
    ASSERT_EQ(call(HOST_CHANGE_FORMAT, &change, 0), 1);
    for (const auto &f : editor.frames)
        EXPECT_EQ(std::tuple(f.image.width, f.image.height, f.image.bitCount), std::tuple(24, 24, 1));
    EXPECT_EQ(call(HOST_QUERY, 0, HOST_QUERY_COLORS), 3);
    uint16_t wh[2] = {};
    ASSERT_TRUE(call(HOST_QUERY, wh, HOST_QUERY_SIZE));
    EXPECT_EQ(std::tuple(wh[0], wh[1]), std::tuple(24, 24));
}

TEST_F(HostEditor, IconsHotspotsNotesDocumentsAndMenuItems) {
    // Icon data carries the mask behind the colour rows, the height doubled.
    Image img = pattern(8, 8, 4);
    host::maskFromColor(img, img.pixel(3, 2));
    std::vector<uint8_t> data = host::toPackedDib(img, true);
    EXPECT_EQ(vc::loadLe32(data.data() + 8), 16u);
    ASSERT_EQ(call(HOST_ADD_ICON, data.data(), 0x11), 1);
    ASSERT_EQ(call(HOST_QUERY, 0, HOST_QUERY_COUNT), 1);
    EXPECT_EQ(std::tuple(editor.frames[0].image.height, editor.frames[0].image.mask), std::tuple(8, img.mask));
    EXPECT_TRUE(editor.frames[0].image.masked(3, 2));
    EXPECT_EQ(call(HOST_SET_HOTSPOT, 3 | (5 << 16), 0), 1);
    uint32_t hotspot = 0;
    call(HOST_GET_HOTSPOT, &hotspot, 65535);
    EXPECT_EQ(hotspot, 3u | (5u << 16));
    EXPECT_EQ(call(HOST_NOTE_FILE, "a.cur", 132 * 256 + 0), 1);
    EXPECT_EQ(editor.frames[0].noteFormat, 132);

    // A new document replaces the old one, which the editor frees.
    for (int i = 0; i < 2; ++i) ASSERT_EQ(call(HOST_NEW_DOCUMENT, host::Library::memAlloc(64), 0), 1);
    void *current = nullptr;
    call(HOST_GET_DOCUMENT, &current, 0);
    EXPECT_EQ(current, editor.document);

    ConvMenuItem item{2, 5, 1001, 1024, "&Animation..."};
    call(HOST_ADD_MENU_ITEM, &item, 2);
    ASSERT_EQ(editor.menu.size(), 1u);
    EXPECT_EQ(std::tuple(editor.menu[0].text, editor.menu[0].position), std::tuple("&Animation...", 5u));
}

TEST(HostLibrary, OpeningAttachesTheLibraryAndClosingDetachesIt) {
    host::Library lib;
    std::string error;
    ASSERT_TRUE(lib.open(error));
    EXPECT_TRUE(vc::reelClassRegistered());
    EXPECT_NE(vc::plat::module(), nullptr);
    char text[512];
    uint8_t codes[16];
    EXPECT_EQ(lib.getFormats(text, codes, 4), 2);
    lib.close();
    EXPECT_FALSE(vc::reelClassRegistered());
    EXPECT_EQ(vc::plat::module(), nullptr);
}

// ---- The command line ----------------------------------------------------------------

// velmconv as a user runs it: each row a shell line in one scratch folder
// (rows build on the files earlier rows made), its exit status, what its
// output (both streams) must say, and how many lines name the host.
TEST(HostCommands, ConversionsAndTheirMessages) {
    using gifsupport::capture;
    if (!gifsupport::haveTool("/usr/bin/convert") || !gifsupport::haveTool("/usr/bin/gifsicle"))
        GTEST_SKIP() << "ImageMagick and gifsicle needed";
    const char *const horse = "/usr/share/doc/wx3.2-examples/examples/samples/image/horse3.ani";
    if (access(horse, R_OK) != 0) GTEST_SKIP() << "wx3.2-examples needed";
    const std::string dir = tempPath("commands"), vc = std::string(VC_HOST_BINARY) + " ";
    std::filesystem::create_directories(dir);
    const struct {
        std::string line;
        int exit;
        std::vector<std::string> says;
        int hostLines = -1;  // lines starting "velmconv:", -1 any
    } rows[] = {
        // 24-bit frames served as 256-colour icons, each with a full table.
        {vc + "convert --no-parent " + horse + " horse.ani && " + vc + "info horse.ani",
         0, {"result: 1 (done)", "frames: 4", "frame 3: 32x32, 8 bits, hotspot 16,23"}},
        // Delays 7/100 s are 4/60 s and back; transparency and looping kept.
        {"/usr/bin/convert -delay 7 -loop 0 -dispose background -size 16x16 xc:none -fill blue -draw 'rectangle "
         "2,2 9,9' \\( -size 16x16 xc:none -fill lime -draw 'rectangle 6,6 13,13' \\) a.gif && " +
             vc + "convert --no-parent a.gif a.ani && " + vc + "info a.ani",
         0, {"7->4, 7->4", "frame 1: 16x16, 1 bits, mask", "steps (frame/rate in 1/60 s): 0/4 1/4"}},
        {vc + "convert --no-parent a.ani b.gif && /usr/bin/gifsicle --info b.gif && " + vc +
             "extract --quiet b.gif . && /usr/bin/compare -metric AE frame_001.bmp a.gif[1] null: 2>&1",
         0, {"4->7, 4->7", "loop forever", "transparent 0\n    disposal background delay 0.07s", "\n0"}},
        {vc + "convert --no-parent a.ani a.bmp", 0, {"a.ani -> a.bmp (BMP"}},
        // A picture wider than the editor takes, and frames of different
        // sizes below the import dialog's smallest sequence.
        {"/usr/bin/python3 -c \"from PIL import Image; Image.new('P', (65535, 1)).save('wide.gif')\" && " + vc +
             "convert --no-parent wide.gif w.bmp",
         1, {"image 0 (65535x1, 8 bits) refused: the editor's images are 1 to 32768 pixels wide"}, 1},
        {"/usr/bin/convert -size 4x4 xc:red -size 6x3 xc:blue mixed.gif && " + vc + "convert --no-parent mixed.gif m.ani",
         1, {"refused a sequence of 6x4", "give --gif-import sequence:8x8, frame:N (0 to 1) or assembled"}, 1},
        {vc + "convert --no-parent --gif-import sequence:8x8 mixed.gif m.ani", 0, {"(166, ANI): 1 (done)"}},
        {vc + "convert --no-parent none.bmp x.gif", 1, {"loading none.bmp: -1 (cannot open the file)"}, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        int status = 0;
        const std::string out = capture("cd '" + dir + "' && (" + row.line + ") 2>&1", &status);
        EXPECT_EQ(WEXITSTATUS(status), row.exit) << out;
        for (const std::string &s : row.says) EXPECT_NE(out.find(s), std::string::npos) << s << "\n" << out;
        size_t hostLines = 0;
        for (size_t at = out.find("velmconv:"); at != std::string::npos; at = out.find("velmconv:", at + 1)) ++hostLines;
        if (row.hostLines >= 0) {
            EXPECT_EQ(hostLines, size_t(row.hostLines)) << out;
        }
    }
    // Every icon chunk of the written file has the size the fram list was
    // sized by (4 x (D + 30) + 4 for 4 frames of D bytes).
    const std::vector<uint8_t> ani = gifsupport::readBytes(dir + "/horse.ani");
    size_t at = 12;
    while (at + 12 <= ani.size() && !(std::memcmp(&ani[at], "LIST", 4) == 0 && std::memcmp(&ani[at + 8], "fram", 4) == 0))
        at += 8 + ((vc::loadLe32(&ani[at + 4]) + 1) & ~1u);
    ASSERT_LE(at + 12, ani.size());
    const uint32_t listSize = vc::loadLe32(&ani[at + 4]);
    int icons = 0;
    for (size_t p = at + 12; p + 8 <= ani.size(); p += 8 + ((vc::loadLe32(&ani[p + 4]) + 1) & ~1u), ++icons)
        EXPECT_EQ(uint64_t(vc::loadLe32(&ani[p + 4]) + 8) * 4 + 4, listSize) << "icon chunk " << icons;
    EXPECT_EQ(icons, 4);
    std::filesystem::remove_all(dir);
}
