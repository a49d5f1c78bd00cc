// The reference host: its pictures, the conversions it performs for the
// library, and its side of the editor callback. Its BMP files are checked
// with ImageMagick, not only with its own reader.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <regex>
#include <set>
#include <tuple>

#include "cores/api_support.h"
#include "gif_support.h"
#include "host/editor.h"
#include "host/image.h"
#include "host/library.h"
#include "host/paths.h"
#include "host/quantize.h"
#include "platform/platform.h"

using host::Image;
using vctest::Bytes;

namespace {

// A picture whose pixels are a function of x and y, in the given depth.
Image pattern(int32_t w, int32_t h, uint16_t bits) {
    const Image img = stilltest::picture(w, h, [](int x, int y) { return host::rgb((x ^ y) * 5, y * 13, x * 7); });
    return bits == 24 ? img : host::withDepth(img, bits, false);
}

using gifsupport::capture;
const bool kMagick = access("/usr/bin/convert", X_OK) == 0;
const bool kPillow = kMagick && std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;

// A file's pixels as ImageMagick decodes them: RGBA bytes, rows from the
// top.
std::vector<uint8_t> theirPixels(const std::string &file) {
    const std::string out = capture("/usr/bin/convert " + file + " -depth 8 rgba:-");
    return {out.begin(), out.end()};
}

// Ours against theirs: alpha below 128 is our mask, the other pixels'
// channels within `slack` (16-bit samples and 5 or 6-bit channels are
// rounded in more than one way).
void expectPicture(const Image &ours, const std::vector<uint8_t> &rgba, int slack = 1) {
    ASSERT_EQ(rgba.size(), size_t(ours.width) * size_t(ours.height) * 4);
    int wrong = 0;
    for (int32_t y = 0; y < ours.height; ++y)
        for (int32_t x = 0; x < ours.width; ++x) {
            const uint8_t *p = &rgba[(size_t(y) * size_t(ours.width) + size_t(x)) * 4];
            const host::Rgb c = ours.pixel(x, y);
            bool same = ours.masked(x, y) == (p[3] < 128);
            for (int k = 0; k < 3 && !ours.masked(x, y); ++k) same = same && std::abs(int((c >> (16 - 8 * k)) & 255) - p[k]) <= slack;
            if (!same && wrong++ < 3) ADD_FAILURE() << "pixel " << x << "," << y;
        }
}

}  // namespace

// Tests with files of their own, in the fixture's scratch folder.
using HostImage = vctest::LibraryTest;
using HostFiles = vctest::LibraryTest;

// Every kind of row (packed indices, a byte an index, RGB; 4 bits packs as
// 1 does), an odd width, with and without hidden pixels: our PNG and BMP
// files read by ImageMagick (its PNG reader is libpng's, which refuses a
// bad CRC or chunk order) with our pixels; a packed DIB one byte short of its rows
// is refused, not read past the end.
TEST_F(HostImage, OurBmpAndPngFilesReadByImageMagickAsWeWroteThemAtEveryKindOfRow) {
    for (uint16_t bits : {1, 8, 24})
        for (bool masked : {false, true}) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, mask " << masked);
            Image img = pattern(21, 7, bits);
            ASSERT_EQ(img.bitCount, bits);
            // 147 pixels: at 8 bits every colour has its own entry.
            EXPECT_TRUE(bits != 8 || stilltest::worst(img, pattern(21, 7, 24)) == 0);
            if (masked) host::maskFromColor(img, img.pixel(3, 2));
            const std::vector<uint8_t> dib = host::toPackedDib(img);
            EXPECT_FALSE(host::fromPackedDib(dib.data(), dib.size() - 1));
            const std::string bmp = path("ours.bmp"), png = path("ours.png");
            std::string error;
            ASSERT_TRUE(host::writePng(png, img, &error)) << error;
            if (!masked) {
                ASSERT_TRUE(host::writeBmp(bmp, img));
            }
            if (kMagick) {
                expectPicture(img, theirPixels(png), 0);
                if (!masked) expectPicture(img, theirPixels(bmp), 0);
            }
        }
    if (!kMagick) GTEST_SKIP() << "needs ImageMagick to read the files written";
}

// More colours than entries: the 256-colour picture close to the
// original, the two-colour one on the fixed palette.
TEST_F(HostImage, DepthReductionStaysCloseWhenColoursDoNotFit) {
    const Image many = pattern(64, 64, 24), eight = host::withDepth(many, 8, false);
    std::vector<host::Rgb> bw = host::fixedPalette(2);
    const Image mono = host::withDepth(many, 1, false, &bw);
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

// An icon request scales the frame, serves a 24-bit one as a 256-colour
// image and masks the transparent colour, black under the mask; a frame request fills the block
// at the size and depth of the library's header. (Icons taken with their
// masks and hotspots given back are seen in the animated cursors velmconv
// carries across, HostCommand below.)
TEST(HostEditor, RequestsFormatChangesNotesDocumentsAndMenuItems) {
    const long blocks = vc::plat::memLiveBlocks();
    host::Editor editor;
    editor.makeCurrent();
    auto call = [](int32_t command, auto param, intptr_t value) {
        return host::Editor::callback()(command, intptr_t(param), value);
    };
    Image img = pattern(32, 32, 24);
    editor.addFrame(img);
    editor.addFrame(pattern(10, 6, 8));
    const host::Rgb key = img.pixel(0, 0);
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
    EXPECT_EQ(std::tuple(icon->width, icon->height, icon->bitCount, icon->masked(0, 0), icon->masked(5, 9)),
              std::tuple(16, 16, 8, true, false));
    // What the mask hides is black: a colour there would be XORed onto the screen.
    for (int32_t y = 0; y < icon->height; ++y)
        for (int32_t x = 0; x < icon->width; ++x)
            if (icon->masked(x, y)) ASSERT_EQ(icon->pixel(x, y), host::rgb(0, 0, 0)) << "hidden pixel " << x << "," << y;

    std::vector<uint8_t> frame(40 + 16 * 4 + 4 * 3, 0xCC);
    const ConvBitmapInfoHeader h{40, 5, 3, 1, 4, 0, 0, 0, 0, 0, 0};
    std::memcpy(frame.data(), &h, sizeof h);
    ASSERT_TRUE(call(HOST_GET_FRAME, frame.data(), 1));
    auto served = host::fromPackedDib(frame.data(), frame.size());
    ASSERT_TRUE(served);
    EXPECT_EQ(std::tuple(served->width, served->height, served->bitCount), std::tuple(5, 3, 4));
    EXPECT_EQ(call(HOST_GET_FRAME, frame.data(), 7), 0) << "no frame 7";

    // A format change converts every frame and sets the colour setting.
    ConvFormatChange change{24, 24, 3, 1, 0};
    ASSERT_EQ(call(HOST_CHANGE_FORMAT, &change, 0), 1);
    for (const auto &f : editor.frames)
        EXPECT_EQ(std::tuple(f.image.width, f.image.height, f.image.bitCount), std::tuple(24, 24, 1));
    EXPECT_EQ(call(HOST_QUERY, 0, HOST_QUERY_COLORS), 3);
    uint16_t wh[2] = {};
    ASSERT_TRUE(call(HOST_QUERY, wh, HOST_QUERY_SIZE));
    EXPECT_EQ(std::tuple(wh[0], wh[1]), std::tuple(24, 24));

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
    host::Library::memFree(editor.document);
    editor.document = nullptr;
    EXPECT_EQ(vc::plat::memLiveBlocks(), blocks) << "the replaced document or the icon block not freed";
}

// ---- File names -----------------------------------------------------------------

// Each name: its extension, a frame number put before it, a batch's ICO
// output named after it, and a name beside it. Dot-files, folders and ".."
// have no extension; on Linux '\' is part of a name, not a separator.
TEST(HostPaths, ExtensionsNumberedNamesAndOutputs) {
    const std::tuple<const char *, const char *, const char *, const char *, const char *> rows[] = {
        // name              extension  numbered              output            beside
        {"a.png",             "png", "a_001.png",           "a.ico",           "x.ico"},
        {"dir/B.PNG",         "png", "dir/B_001.PNG",       "B.ico",           "dir/x.ico"},
        {"a.tar.gz",          "gz",  "a.tar_001.gz",        "a.tar.ico",       "x.ico"},
        {".png",              "",    ".png_001",            ".png.ico",        "x.ico"},
        {"x/.png",            "",    "x/.png_001",          ".png.ico",        "x/x.ico"},
        {"dir.d/file",        "",    "dir.d/file_001",      "file.ico",        "dir.d/x.ico"},
        {"a/..",              "",    "a/.._001",            "...ico",          "a/x.ico"},
        {"dir/",              "",    "dir/_001",            ".ico",            "dir/x.ico"},
        {"back\\slash.png",   "png", "back\\slash_001.png", "back\\slash.ico", "x.ico"},
        {"x//a.png",          "png", "x//a_001.png",        "a.ico",           "x//x.ico"},
    };
    for (const auto &[name, ext, numbered, output, beside] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(host::paths::extension(name), ext);
        EXPECT_EQ(host::paths::beforeExtension(name, "_001"), numbered);
        EXPECT_EQ(host::paths::renamed(name, "ico"), output);
        EXPECT_EQ(host::paths::beside(name, "x.ico"), beside);
    }
    EXPECT_TRUE(host::paths::hasExtension("A.Ani", "ani"));
    EXPECT_FALSE(host::paths::hasExtension("ani", "ani"));
    EXPECT_EQ(host::ownFileOf("dir.png/x"), host::OwnFile::none);
    EXPECT_EQ(host::ownFileOf("UP.PNG"), host::OwnFile::png);
    for (const auto &[folder, joined] : {std::pair{"out", "out/a.ico"}, {"out/", "out/a.ico"}, {"", "a.ico"}, {"/", "/a.ico"}})
        EXPECT_EQ(host::paths::inFolder(folder, "a.ico"), joined) << folder;
}

// ---- BMP and PNG files of other programs, and ours read by them ------------------

// The picture every foreign file is made from: a gradient with an alpha
// ramp across it (so both sides of 128 are met).
const std::string kRamp = "-size 23x13 gradient:red-blue -alpha set -channel A -fx i/w +channel";

TEST_F(HostFiles, ForeignBmpAndPngFilesReadAsTheirWritersReadThem) {
    if (!kMagick) GTEST_SKIP() << "ImageMagick needed";
    const std::string pillow = "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                               "im = Image.linear_gradient('L').resize((23, 13)); ";
    // The file, the command that makes it (FILE its output), the slack of its channels.
    const std::tuple<const char *, std::string, int> rows[] = {
        {"v3.bmp", "/usr/bin/convert -size 23x13 gradient:red-blue BMP3:FILE", 0},
        {"core.bmp", "/usr/bin/convert -size 23x13 gradient:red-blue BMP2:FILE", 0},
        {"pal4.bmp", "/usr/bin/convert -size 23x13 gradient:red-blue -colors 7 BMP3:FILE", 0},
        {"rle8.bmp", "/usr/bin/convert -size 23x13 gradient:red-blue -colors 40 -compress RLE BMP3:FILE", 0},
        {"v5alpha.bmp", "/usr/bin/convert " + kRamp + " FILE", 0},
        {"rgb565.bmp", "/usr/bin/convert -size 23x13 gradient:red-blue -define bmp:subtype=RGB565 FILE", 2},
        // ImageMagick reads a 4-bit channel v as v * 16, not v * 17.
        {"argb4444.bmp", "/usr/bin/convert " + kRamp + " -define bmp:subtype=ARGB4444 FILE", 15},
        {"trns.png", "/usr/bin/convert " + kRamp + " -colors 7 PNG8:FILE", 0},
        {"grey2.png", "/usr/bin/convert -size 23x13 gradient: -define png:color-type=0 -define png:bit-depth=2 FILE", 0},
        {"grey16.png", "/usr/bin/convert -size 23x13 gradient: -depth 16 -define png:color-type=0 FILE", 1},
        {"rgba64.png", "/usr/bin/convert " + kRamp + " PNG64:FILE", 1},
        {"interlaced.png", "/usr/bin/convert " + kRamp + " -interlace PNG PNG32:FILE", 0},
        {"pillow-LA.png", pillow + "Image.merge('LA', (im, im.transpose(0))).save(sys.argv[1])\" FILE", 0},
        {"pillow-P.png", pillow + "im.quantize(5).save(sys.argv[1], transparency=2)\" FILE", 0},
        {"pillow-RGBA.png", pillow + "Image.merge('RGBA', (im, im, im.transpose(1), im.transpose(0))).save(sys.argv[1])\" FILE", 0},
    };
    for (const auto &[name, command, slack] : rows) {
        SCOPED_TRACE(name);
        if (std::strncmp(name, "pillow", 6) == 0 && !kPillow) continue;
        const std::string file = path(name);
        std::string make = command;
        make.replace(make.find("FILE"), 4, file);
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        std::string error;
        std::optional<host::Rgb> key;
        auto ours = host::readOwnFile(file, error, &key);
        ASSERT_TRUE(ours) << error;
        expectPicture(*ours, theirPixels(file), slack);
        // A picture with hidden pixels names the colour they take.
        EXPECT_EQ(bool(key), !ours->mask.empty());
    }
}

// Damaged and hostile BMP headers and data: refused, saying why with the
// header's numbers.
// PNG files the host refuses and writes it cannot finish, in its words; a
// mask that hides nothing keeps an 8-bit picture palette-coded.
TEST_F(HostFiles, PngRefusalsFullDiskAndAMaskHidingNothing) {
    std::string error;
    for (const Bytes &bytes : {Bytes{0x89, 'P', 'N', 'G'}, Bytes(20, 'G')}) {
        error.clear();
        EXPECT_FALSE(host::readPng(writeFile("not.png", bytes), error));
        EXPECT_EQ(error, "not a PNG file");
    }
    Image img = pattern(21, 7, 8);
    host::maskFromColor(img, host::rgb(250, 251, 252));  // a colour the picture does not have
    ASSERT_TRUE(host::writePng(path("opaque.png"), img, &error)) << error;
    EXPECT_EQ(stilltest::readBytes(path("opaque.png")).at(25), 3);  // the colour type: a palette
    error.clear();  // a full disk, found when the file is closed
    EXPECT_FALSE(host::writePng("/dev/full", img, &error));
    EXPECT_EQ(error, std::strerror(ENOSPC));
}

TEST_F(HostFiles, DamagedBmpFilesAreRefusedWithTheReason) {
    const Bytes rle4 = apitest::dib(6, 3, 4, 2, Bytes(64), {3, 0x12, 0, 0, 0, 2, 2, 0, 0, 3, 0x56, 0x70, 0, 0, 6, 0x99, 0, 1});
    const Bytes top = apitest::dib(2, -2, 24, 0, {}, {16, 16, 16, 32, 32, 32, 0, 0, 48, 48, 48, 64, 64, 64, 0, 0});
    const std::tuple<const char *, size_t, uint32_t, bool> damages[] = {
        {"unknown BMP header size 13", 14, 13, false},     {"0 x 2 is not usable", 18, 0, false},
        {"too large", 18, 0x10000000, false},                 {"compression 4 at 24 bits", 30, 4, false},
        {"stored from the top", 22, uint32_t(-3), true},   {"cut short in the pixels", 22, uint32_t(-3), false},
        {"runs past the end", rle4.size() - 4, 0xFF00, true},   {"pixel offset lies past the end", 10, 9999, false},
    };
    for (const auto &[says, at, value, rle] : damages) {
        SCOPED_TRACE(says);
        Bytes file = rle ? rle4 : top;
        vctest::poke32(file, at, value);
        std::string error;
        EXPECT_FALSE(host::bmpFromBytes(file.data(), file.size(), error));
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
    // A core-header file of two pixels cut short in its row (shorter than
    // any later header), and packed DIBs as the editor hands them over.
    const Bytes core = {'B', 'M', 33, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 24, 0,
                        1, 2, 3, 4, 5, 6, 0};
    std::string error;
    EXPECT_FALSE(host::bmpFromBytes(core.data(), core.size(), error));
    EXPECT_EQ(error, "file cut short in the pixels");
    Bytes headerOf20 = apitest::dib(1, 1, 8, 0, {}, Bytes(40), false, 0, 20), cut = apitest::dib(2, 2, 8, 0, Bytes(1024), Bytes(7), false);
    vctest::poke32(cut, 32, 256);
    const std::pair<Bytes, const char *> packed[] = {
        {Bytes(3, 40), "no bitmap header"},
        {headerOf20, "a bitmap header the editor does not know"},
        {cut, "its pixels end past the block"},
    };
    for (const auto &[dib, says] : packed) {
        error.clear();
        EXPECT_FALSE(host::fromPackedDib(dib.data(), dib.size(), 1, &error));
        EXPECT_EQ(error, says);
    }
    // Rows elsewhere in the block, past the first 128 bytes of the file they make.
    Bytes apart = apitest::dib(1, 1, 24, 0, Bytes(160), {9, 8, 7, 0}, false);
    const auto img = host::fromPackedDibAt(apart.data(), apart.size(), 200);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->pixel(0, 0), host::rgb(7, 8, 9));
}

// ---- velmconv as a user runs it ---------------------------------------------------------

// Shell lines in one scratch folder, velmconv on the path (rows build on
// the files earlier rows made): each row's exit status, what its output
// (both streams) must say, and how many lines name the host.
class HostCommand : public vctest::LibraryTest {
protected:
    struct Row {
        std::string line;
        int exit;
        std::vector<std::string> says;
        int hostLines = -1;  // lines starting "velmconv:", -1 any
    };
    void SetUp() override {
        LibraryTest::SetUp();
        dir = path(".");
    }
    // Shell lines that make a test's files in the scratch folder.
    bool shell(const std::string &line) { return std::system(("cd '" + dir + "' && " + line).c_str()) == 0; }
    void runRows(const std::vector<Row> &rows) {
        for (const Row &row : rows) {
            SCOPED_TRACE(row.line);
            int status = 0;
            const std::string out = capture("cd '" + dir + "' && PATH='" + bin + "':$PATH && (" + row.line + ") 2>&1", &status);
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.exit) << out;
            for (const std::string &s : row.says) EXPECT_NE(out.find(s), std::string::npos) << s << "\n" << out;
            size_t hostLines = 0;
            for (size_t at = out.find("velmconv:"); at != std::string::npos; at = out.find("velmconv:", at + 1)) ++hostLines;
            EXPECT_TRUE(row.hostLines < 0 || hostLines == size_t(row.hostLines)) << hostLines << " lines name the host\n" << out;
            EXPECT_TRUE(row.exit != 2 || std::count(out.begin(), out.end(), '\n') < 3) << "a short message, not the usage\n" << out;
        }
    }
    const std::string bin = std::filesystem::path(VC_HOST_BINARY).parent_path().string();
    const bool companion = access((bin + "/VELMVFW32.so").c_str(), R_OK) == 0;  // the AVI companion library
    std::string dir;
};

// X cursors through velmconv: an animated cursor's steps become images at
// their rates, info and its JSON tell them, extract gives PNG pictures with
// alpha that Pillow reads, play shows one nominal size, and an X cursor
// written as an animated cursor plays at its delays.
TEST_F(HostCommand, XcursorFilesThroughTheHost) {
    const std::string hourglass = "/usr/share/doc/wx3.2-examples/examples/samples/animate/hourglass.ani";
    if (access(hourglass.c_str(), R_OK) != 0 || !kPillow) GTEST_SKIP() << "wx3.2-examples and Pillow needed";
    runRows({
        {"velmconv convert " + hourglass + " h.xcursor && velmconv info h.xcursor", 0,
         {"(xcursor, 20 images)", "nominal size 32: 20 frames", "image 1: nominal 32, 32x32, hotspot 16,15, delay 67 ms"}},
        {"velmconv info --json h.xcursor | /usr/bin/python3 -c \"import json, sys; d = json.load(sys.stdin); "
         "print(d['format'], d['images'], d['sizes'], d['frames'][0]['delay_ms'], d['frames'][0]['hotspot'])\"",
         0, {"xcursor 20 [{'nominal': 32, 'frames': 20}] 400 [16, 15]\n"}},
        {"mkdir x && velmconv extract h.xcursor x && /usr/bin/python3 -c \"from PIL import Image; "
         "i = Image.open('x/frame_019.png'); print(i.mode, i.size, i.getpixel((0, 0))[3])\"",
         0, {"20 images written as PNG", "RGBA (32, 32) 0\n"}},
        {"mkdir p && velmconv play --max-canvases 3 h.xcursor p && ls p", 0,
         {"nominal size 32, 20 frames", "3 canvases written", "canvas_000.bmp\ncanvas_001.bmp\ncanvas_002.bmp"}},
        {"velmconv convert h.xcursor back.ani && velmconv info back.ani", 0,
         {"the 20 image(s) of nominal size 32 taken", "steps (frame/rate in 1/60 s): 0/24 1/4"}},
        {"velmconv convert --to xcursor --out t " + hourglass + " && cmp t/hourglass.xcursor h.xcursor", 0,
         {"converted 1, failed 0"}},
    });
}

// Animations carried across formats, with the messages of refused ones.
TEST_F(HostCommand, ConversionsAndTheirMessages) {
    if (!kMagick || !gifsupport::haveTool("/usr/bin/gifsicle")) GTEST_SKIP() << "ImageMagick and gifsicle needed";
    const std::string horse = "/usr/share/doc/wx3.2-examples/examples/samples/image/horse3.ani";
    if (access(horse.c_str(), R_OK) != 0) GTEST_SKIP() << "wx3.2-examples needed";
    runRows({
        // 24-bit frames served as 256-colour icons, each with a full table.
        {"velmconv convert --no-parent " + horse + " horse.ani && velmconv info horse.ani",
         0, {"result: 1 (done)", "frames: 4", "frame 3: 32x32, 8 bits, hotspot 16,23"}},
        // Delays 7/100 s are 4/60 s and back; transparency and looping kept.
        {"/usr/bin/convert -delay 7 -loop 0 -dispose background -size 16x16 xc:none -fill blue -draw 'rectangle "
         "2,2 9,9' \\( -size 16x16 xc:none -fill lime -draw 'rectangle 6,6 13,13' \\) a.gif && "
         "velmconv convert --no-parent a.gif a.ani && velmconv info a.ani",
         0, {"7->4, 7->4", "frame 1: 16x16, 1 bits, mask", "steps (frame/rate in 1/60 s): 0/4 1/4"}},
        {"velmconv convert --no-parent a.ani b.gif && /usr/bin/gifsicle --info b.gif && "
         "velmconv extract --quiet b.gif . && /usr/bin/compare -metric AE frame_001.bmp a.gif[1] null: 2>&1",
         0, {"4->7, 4->7", "loop forever", "transparent 0\n    disposal background delay 0.07s", "\n0"}},
        {"velmconv convert --no-parent a.ani a.bmp", 0, {"a.ani -> a.bmp\n"}},
        // A 256 x 256 icon of our own, listed in its directory as 0 x 0 with
        // colour count 0: it opens, is told and previews at its size.
        {"/usr/bin/convert -size 256x256 gradient:red-blue big.png && velmconv convert --no-parent --cursor-size keep "
         "big.png big.ico && velmconv info big.ico && velmconv preview big.ico p.bmp && /usr/bin/identify p.bmp",
         0, {"frame 0: 256x256, 8 bits, mask", "p.bmp BMP3 256x256"}},
        // Frames of different sizes below the import dialog's smallest
        // sequence.
        {"/usr/bin/convert -size 4x4 xc:red -size 6x3 xc:blue mixed.gif && velmconv convert --no-parent mixed.gif m.ani",
         1, {"refused a sequence of 6x4", "give --gif-import sequence:8x8, frame:N (0 to 1) or assembled"}, 1},
        {"velmconv convert --no-parent --gif-import sequence:8x8 mixed.gif m.ani", 0, {"(166, ANI): 1 (done)"}},
        {"velmconv convert --no-parent none.bmp x.gif", 1,
         {"loading none.bmp: -1 (cannot open the file): No such file or directory\n"}, 1},
    });
}

// AVI files through the command line: a compressor refused for a size it
// cannot take before any file is made, a sound file that is not there, a
// file cut short, more frames than an animated GIF holds.
TEST_F(HostCommand, AviRunsSayWhatTheyCouldNotDo) {
    if (!kMagick || std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick and ffmpeg needed";
    if (!companion) GTEST_SKIP() << "no AVI companion library in this build";
    const std::string avi = "ffmpeg -v error -y -f lavfi -i testsrc=r=12:s=16x16 -c:v rawvideo -pix_fmt bgr24 -frames:v ";
    runRows({
        {"/usr/bin/convert -size 67x45 gradient:red-blue PNG24:odd.png && velmconv --avi-codec cinepak convert odd.png o.avi; "
         "s=$?; test ! -e o.avi && exit $s",
         1, {"--avi-codec cinepak takes only pictures whose width and height are multiples of 4, this one is 67 x 45"}, 1},
        {"velmconv --avi-codec msvideo1 convert odd.png o.avi; s=$?; test ! -e o.avi && exit $s", 1,
         {"msvideo1 takes only"}, 1},
        {"/usr/bin/convert -size 68x44 gradient:red-blue PNG24:even.png && velmconv --avi-codec msvideo1 convert even.png "
         "o.avi && ffprobe -v error -show_entries stream=codec_name -of csv=p=0 o.avi",
         0, {"(165, AVI): 1 (done)", "msvideo1"}, 0},
        {"velmconv --avi-sound none.wav convert even.png s.avi; s=$?; test ! -e s.avi && exit $s", 1,
         {"the sound file none.wav cannot be read (No such file or directory); nothing written"}, 1},
        {"velmconv --avi-sound even.png convert even.png s.avi", 1, {"written without the sound of even.png"}},
        {avi + "30 cut.avi && head -c 12000 cut.avi > short.avi && velmconv --avi-frames all info short.avi",
         0, {"only 8 of the 30 frames asked for could be read; the file promised 30 frames", "frames: 8"}, 1},
        // Through the stepping dialog the import dialog opens: every third
        // frame from the second, four of them; every frame of the short file.
        {"velmconv --avi-frames every:3:2:4 info cut.avi && velmconv --avi-frames every:1 extract short.avi .", 0,
         {"video: 30 frames, 16 x 16, 12 frames per second\n  frames: 4\n", "only 8 of the 30 frames asked for",
          "8 frames written"}, 1},
        {avi + "300 long.avi && velmconv --avi-frames all convert long.avi long.gif && /usr/bin/identify long.gif | wc -l",
         0, {"an animated GIF holds at most 256 frames: the last 44 of 300 dropped", "\n256\n"}, 1},
    });
}

// Good and hostile files in one batch (the good ones converted, each bad
// one failed with its reason), info --json parsed by Python, format names
// and codes, errors that name the argument, help on standard output, the
// manual page without warnings, a progress bar only on a terminal.
TEST_F(HostCommand, BatchJsonNamesHelpManualAndProgress) {
    if (!kMagick) GTEST_SKIP() << "ImageMagick needed";
    ASSERT_TRUE(shell("/usr/bin/convert " + kRamp + " a.png && /usr/bin/convert a.png -colors 9 b.bmp"
                      " && /usr/bin/convert -delay 10 a.png -flop a.png c.gif"));
    Bytes png = gifsupport::readBytes(dir + "/a.png");
    writeFile("cut.png", Bytes(png.begin(), png.begin() + long(png.size() / 2)));
    writeFile("huge.bmp", apitest::dib(0x7FFFFFFF, 0x7FFFFFFF, 8, 1, {}, Bytes(64)));
    writeFile("empty.gif", "");
    runRows({
        {"velmconv convert --to cur --out cursors -j 2 a.png b.bmp c.gif cut.png huge.bmp empty.gif gone.png", 1,
         {"converted 3, failed 4 (of 7 files)", "cut.png -> cursors/cut.cur: reading cut.png: ",
          "huge.bmp -> cursors/huge.cur: reading huge.bmp: picture of 2147483647 x 2147483647 pixels is too large",
          "empty.gif -> cursors/empty.cur: reading empty.gif: the file is empty",
          "gone.png -> cursors/gone.cur: reading gone.png: No such file"}},
        // A batch asks no questions: what answers a dialog is refused.
        {"velmconv convert --cursor-size 32 --to cur a.png", 2, {"--cursor-size: a batch (--to) converts through"}},
        // An animation to the editor's own files: one file a frame.
        {"ls cursors && velmconv convert --to png c.gif && ls c_001.png", 0,
         {"a.cur\nb.cur\nc.cur\n", "converted 1, failed 0", "c_001.png"}},
        {"velmconv convert a.png a.ani && velmconv info --json a.ani | /usr/bin/python3 -c \"import json, sys; "
         "d = json.load(sys.stdin); print(d['format'], len(d['frames']), d['animation']['kind'], d['frames'][0]['mask'])\"",
         0, {"166 1 cursor animation True\n"}},
        {"velmconv convert --format tiff a.png t.out", 0, {"(130, TIFF): 1 (done)"}},
        {"velmconv convert --format 133 a.png j.out", 0, {"(133, JPEG): 1 (done)"}},
        {"velmconv convert --format tiffx a.png t.out", 2, {"--format: 'tiffx' is not a format"}},
        {"velmconv convert --to 131 a.png", 2, {"--to: '131' is not a format to save"}},
        {"velmconv convert --bogus a.png b.ico", 2, {"unknown option --bogus"}},
        {"velmconv convert a.png", 2, {"convert takes IN OUT"}},
        {"velmconv convert a.png /nonexistent/dir/b.bmp", 1, {"cannot write /nonexistent/dir/b.bmp: No such file"}},
        {"velmconv convert --help", 0, {"velmconv convert --to png --out pngs/"}},
        {"velmconv help info", 0, {"--json"}},
        // The progress bar is drawn on a terminal (script gives the
        // program one), not into a pipe (grep counts no line).
        {"velmconv convert a.png big.gif 2>&1 | grep -c Converting", 1, {"0\n"}},
        {"/usr/bin/script -qec 'velmconv convert a.png big.gif' /dev/null", 0, {"Converting"}},
    });
    if (access("/usr/bin/groff", X_OK) == 0) {
        EXPECT_EQ(capture(std::string("/usr/bin/groff -man -Tutf8 -ww ") + VC_HOST_SOURCE_DIR "/velmconv.1 2>&1 >/dev/null"), "");
    }
}

// A batch converts on threads through the API: an animation keeps its
// frames, delays and transparent pixels, an icon file's sizes stay
// together as a cursor file and its opened image goes to the other
// formats; the independent readers agree, and two threads write what one
// does. The editor's mask goes into every output that holds one: the 64
// pixels of an icon, a cursor and a GIF that are not transparent, and no
// more, are the ones Pillow finds opaque in the GIF and PNG files written.
TEST_F(HostCommand, BatchThroughTheApiKeepsFramesTransparencyAndIconSizes) {
    if (!kPillow) GTEST_SKIP() << "ImageMagick and Pillow needed";
    ASSERT_TRUE(shell("/usr/bin/convert -dispose background -delay 20 -loop 0 -size 16x16 xc:none -fill red -draw 'rectangle 2,2 "
                      "9,9' \\( -size 16x16 xc:none -fill blue -draw 'rectangle 6,6 13,13' \\) t.gif && "
                      "/usr/bin/convert -size 48x48 gradient:red-blue -define icon:auto-resize=48,32,16 m.ico"));
    const std::string pillow =
        "/usr/bin/python3 -c \"from PIL import Image; g = Image.open('o/t.gif'); "
        "print(g.n_frames, 'transparency' in g.info, g.info['duration']); "
        "p = Image.open('o/t_000.png').convert('RGBA'); print(p.getpixel((0, 0))[3], p.getpixel((5, 5))[3]); "
        "print(Image.open('o/m.gif').size)\"";
    const std::string opaque = "/usr/bin/python3 -c \"import sys; from PIL import Image\n"
                               "for f in sys.argv[1:]: print(f, sum(p[3] > 0 for p in Image.open(f).convert('RGBA').getdata()))\"";
    runRows({
        {"velmconv convert -j 2 --to gif,cur,png --out o t.gif m.ico", 0,
         {"t.gif -> o/t.gif (GIF, 2 frames)", "m.ico -> o/m.cur (CUR, 3 images)", "converted 6, failed 0"}},
        {pillow, 0, {"2 True 200\n0 255\n(48, 48)\n"}},
        {"/usr/bin/identify o/m.cur | wc -l", 0, {"3\n"}},
        {"velmconv convert -j 1 --to gif,cur --out one t.gif m.ico && cmp o/t.gif one/t.gif && cmp o/m.cur one/m.cur", 0, {}},
        {"/usr/bin/convert -size 16x16 xc:none -fill blue -draw 'rectangle 2,2 9,9' PNG32:a.png && /usr/bin/convert a.png a.ico"
         " && /usr/bin/convert a.png a.cur && /usr/bin/convert a.png -colors 3 a.gif && velmconv convert a.ico i.gif"
         " && velmconv convert a.cur c.gif && velmconv convert a.gif g.png && velmconv convert a.gif g.gif && " + opaque +
             " i.gif c.gif g.png g.gif",
         0, {"i.gif 64\nc.gif 64\ng.png 64\ng.gif 64\n"}},
    });
}

// A program file of two bitmaps, an id and a name, from a BMP ImageMagick
// wrote (its packed DIB is the file after its 14-byte header).
Bytes programWithBitmaps(const std::string &bmp) {
    const Bytes file = gifsupport::readBytes(bmp);
    const Bytes dib(file.begin() + 14, file.end());
    return vctest::buildPe({{"", 7, 0x409, dib}, {"LOGO", 0, 0x409, dib}}, false).bytes;
}

// Every number info prints is in its --json form too: a file of every
// format, the numbers of the text against those of the JSON (whose keys
// hold no digits).
// Numbers that are labels or units in the text (frame N:, 1/60 s, /100 s)
// and the frame count, which is the length of the JSON's list, are left out.
TEST_F(HostCommand, InfoJsonCarriesEveryFactOfTheText) {
    if (!kMagick || access("/usr/bin/ffmpeg", X_OK) != 0) GTEST_SKIP() << "ImageMagick and ffmpeg needed";
    const std::string velmconv = VC_HOST_BINARY;  // by its path: the AVI companion is found beside it
    ASSERT_TRUE(shell("/usr/bin/convert " + kRamp + " a.png && /usr/bin/convert a.png a.bmp"
                      " && /usr/bin/convert a.png -alpha off a.pcx && /usr/bin/convert a.png a.gif && /usr/bin/convert a.png -alpha off -depth 8 -compress none a.tif"
                      " && /usr/bin/convert a.png a.jpg && /usr/bin/convert a.png a.ico"
                      " && /usr/bin/convert -delay 10 a.png -flop a.png anim.gif && /usr/bin/convert a.png BMP3:dib.bmp"
                      " && /usr/bin/ffmpeg -v error -f lavfi -i testsrc=size=32x24:rate=5 -frames:v 3 -c:v rawvideo"
                      " -pix_fmt bgr24 v.avi && " + velmconv + " convert --no-parent anim.gif a.ani >/dev/null"
                      " && " + velmconv + " convert --no-parent a.png a.cur >/dev/null"));
    writeFile("prog.exe", programWithBitmaps(dir + "/dib.bmp"));
    auto numbers = [](std::string text) {
        for (const char *label : {R"(\n  frames: \d+)", R"(frame \d+:)", R"(1/60 s)", R"(/100 s)", R"(GIF animation: \d+ frames?)"})
            text = std::regex_replace(text, std::regex(label), "");
        std::multiset<long> found;
        const std::regex digits(R"(\d+)");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), digits); it != std::sregex_iterator(); ++it)
            found.insert(std::stol(it->str()));
        return found;
    };
    for (const char *file : {"a.pcx", "a.gif", "a.tif", "prog.exe", "a.ico", "a.cur", "a.jpg", "v.avi", "a.ani", "anim.gif",
                             "a.bmp", "a.png", "empty.gif"}) {
        SCOPED_TRACE(file);
        if (std::string(file) == "empty.gif") writeFile(file, "");
        const std::string at = "cd '" + dir + "' && " + velmconv;
        const std::string text = capture(at + " info --no-parent " + file + " | tail -n +2");
        const std::string json = capture(at + " info --no-parent --json " + file);
        const std::multiset<long> inText = numbers(text), inJson = numbers(json);
        for (long n : inText)
            EXPECT_GE(inJson.count(n), inText.count(n)) << n << " in the text is missing from the JSON\n" << text << json;
        EXPECT_GE(inText.size(), 2u) << text;
        // A load's note has no numbers to compare: it is there as it is.
        const std::string result = text.substr(0, text.find('\n'));
        if (const size_t note = result.find("): "); note != std::string::npos) {
            EXPECT_NE(json.find(result.substr(note + 3)), std::string::npos) << text << json;
        }
    }
}

// Wrong option values exit 2 naming the option; runs that did nothing
// exit 1 and say why; loads that fail say how; frames past an animation's
// 256 are counted; numbered files sort; values the dialogs change are used
// as they change them, with a note; --format and --to take the same names.
TEST_F(HostCommand, OptionValuesExitCodesAndNotesTellTheTruth) {
    if (!kPillow) GTEST_SKIP() << "ImageMagick and Pillow needed";
    ASSERT_TRUE(shell("/usr/bin/python3 -c \"from PIL import Image\n"
                      "Image.new('P', (65535, 1)).save('wide.gif')\n"
                      "f = [Image.new('P', (4, 4), i % 200) for i in range(300)]\n"
                      "f[0].save('many.gif', save_all=True, append_images=f[1:], duration=10, loop=0)\" && "
                      "/usr/bin/convert -size 8x8 xc:red a.png && /usr/bin/convert -size 8x8 xc:red BMP3:dib.bmp && "
                      "cp a.png a.ico && echo hello > text.gif && : > empty.gif"));
    writeFile("prog.exe", programWithBitmaps(dir + "/dib.bmp"));
    runRows({
        {"velmconv convert --avi-codec foo a.png a.avi", 2, {"--avi-codec: 'foo' is not a compressor (none, msvideo1, cinepak, mjpeg)"}},
        {"velmconv convert --avi-rate 0 a.png a.avi", 2, {"--avi-rate: '0' is not a frame rate"}},
        {"velmconv convert --avi-delays 1,x a.png a.avi", 2, {"--avi-delays: 'x' is not a delay"}},
        {"velmconv extract --avi-frames 3-1 a.png .", 2, {"--avi-frames: '3-1' is not a frame list"}},
        {"velmconv convert -j 0 --to gif a.png", 2, {"-j: '0' is not a number of jobs"}},
        {"velmconv convert --option 7x a.png b.gif", 2, {"--option: '7x' is not a number"}},
        {"velmconv play --max-canvases many a.png .", 2, {"--max-canvases: 'many'"}},
        {"velmconv convert --cursor-format 48 a.png a.ico", 2, {"--cursor-format: '48' is not SIZE"}},
        {"velmconv convert --gif-import frame:x a.png a.ani", 2, {"--gif-import: 'frame:x' is not"}},
        {"velmconv convert --format resource a.png b.out", 2, {"is not a format to save (pcx, gif, tiff, icon, jpeg, avi, ani, anigif, bmp, png,"}},
        {"velmconv convert --format png a.png b.out && /usr/bin/identify b.out", 0, {"b.out PNG 8x8"}},
        {"velmconv extract --no-parent wide.gif out", 1,
         {"no frame written", "image 0 (65535x1, 8 bits) refused: the editor's images are 1 to 32768 pixels wide"}, 1},
        {"mkdir out pl && velmconv extract --no-parent many.gif out", 0, {"many.gif holds 300 images; an animation holds 256, so 44 were dropped"}},
        {"velmconv play --quiet --max-canvases 1001 many.gif pl && ls pl | head -n 1", 0, {"canvas_0000.bmp\n"}, 1},
        {"velmconv play --quiet --max-canvases 1001 many.gif pl 2>/dev/null | wc -c", 0, {"0\n"}},
        {"velmconv info empty.gif", 1, {"-2 (not a format of this library, or not the one expected): the file is empty"}},
        {"velmconv info text.gif", 1, {"no format of this library recognises its content\n"}},
        {"velmconv info a.ico", 1, {"recognises its content; it is a PNG picture, which is read under a .png name"}},
        {"printf '\\0\\0\\1\\0\\0\\0' > none.ico && velmconv info none.ico", 1,
         {"its content is ICO/CUR, but the load refused it"}},
        // The bitmaps numbered in info, picked by the name as listed or by
        // its line.
        {"velmconv info --no-parent prog.exe", 0, {"bitmap 1:      7-1033 (8x8", "bitmap 2: LOGO-1033 (8x8"}},
        {"velmconv convert --no-parent --resource '     7-1033' prog.exe p.bmp", 0, {}},
        {"velmconv convert --no-parent --resource-line 2 prog.exe p.bmp && velmconv info --resource-line 2 prog.exe", 0,
         {"p.bmp", "frames: 1"}},
        {"velmconv convert --no-parent --resource-line 3 prog.exe p.bmp", 1, {"--resource-line 3: the list has 2 bitmaps"}},
    });
    if (!companion || access("/usr/bin/ffprobe", X_OK) != 0) GTEST_SKIP() << "needs the AVI companion library and ffprobe";
    runRows({
        // By its path: the AVI companion is found beside it.
        {"\"$(command -v velmconv)\" convert --avi-rate 30 --avi-delays 150 a.png a.avi && /usr/bin/ffprobe -v error -show_entries "
         "stream=r_frame_rate,nb_frames a.avi",
         0, {"--avi-rate: 30 is more than the export dialog's 25 frames per second: it writes 12",
             "--avi-delays: 150 ticks is more than the export dialog's delay holds: 99 used", "r_frame_rate=12/1\nnb_frames=99"}, 2},
    });
}
