// Icon sets: icon and cursor files of several sizes and depths written
// through the C API and velmconv icon, listed and opened at every size by
// icotool, ImageMagick and Pillow; sets those programs wrote read back;
// animated cursors whose frames hold several sizes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <memory>
#include <sstream>

#include "still_support.h"
#include "velmconv/api.h"

namespace {

namespace fs = std::filesystem;
using stilltest::Bytes;
using stilltest::capture;
using stilltest::readBytes;
using stilltest::tool;

struct Free {
    void operator()(vc_animation *a) const { vc_animation_free(a); }
    void operator()(vc_picture *p) const { vc_picture_free(p); }
};
using Anim = std::unique_ptr<vc_animation, Free>;
using Pic = std::unique_ptr<vc_picture, Free>;

const std::string kVelmconv = VC_HOST_BINARY;

class IconSet : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("icon_set_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string &name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

// A 96 x 96 picture: an orange disc whose rim is half transparent, on
// nothing (alpha 0, black), a hotspot at its centre.
Pic disc() {
    Pic p(vc_picture_new(96, 96, 32));
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) {
            uint8_t *px = vc_picture_row(p.get(), y) + 4 * x;
            const int d2 = (x - 48) * (x - 48) + (y - 48) * (y - 48);
            if (d2 < 40 * 40) px[0] = 20, px[1] = 140, px[2] = 250, px[3] = d2 < 36 * 36 ? 255 : 128;
        }
    vc_picture_set_hotspot(p.get(), 48, 48);
    return p;
}

// The pixel at (x, y) as "b,g,r,a".
std::string pixel(const vc_picture *p, int x, int y) {
    const uint8_t *px = vc_picture_row_const(p, y) + 4 * x;
    return std::to_string(px[0]) + "," + std::to_string(px[1]) + "," + std::to_string(px[2]) + "," + std::to_string(px[3]);
}

// Pillow's reading of every entry, one line each: "WxH FORMAT b,g,r,a" of
// the pixel at a third of the way across and down (FORMAT left out when
// not asked for).
std::multiset<std::string> pillowEntries(const std::string &file, bool format = true) {
    std::istringstream lines(capture(
        "/usr/bin/python3 -c \"import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
        "for i in range(len(im.ico.entry)):\n  f = im.ico.frame(i)\n  e = f.convert('RGBA')\n"
        "  r, g, b, a = e.getpixel((e.size[0] // 3, e.size[1] // 3))\n"
        "  print('%dx%d%s %d,%d,%d,%d' % (e.size[0], e.size[1], (' ' + (f.format or 'BMP')) * int(sys.argv[2]), b, g, r, a))\" " +
        file + (format ? " 1" : " 0")));
    std::multiset<std::string> out;
    for (std::string line; std::getline(lines, line);) out.insert(line);
    return out;
}

// Ours the same way.
std::string ourEntry(const vc_picture *p, const std::string &format) {
    const int w = vc_picture_width(p), h = vc_picture_height(p);
    return std::to_string(w) + "x" + std::to_string(h) + (format.empty() ? "" : " " + format) + " " + pixel(p, w / 3, h / 3);
}

// Resampling keeps the colour of what shows up to its edges (no dark
// fringe from the transparent black around), and moves the hotspot.
TEST_F(IconSet, ResampledPicturesKeepTheirColoursToTheEdgeAndTheirHotspot) {
    const Pic big = disc();
    // The hotspot's pixel centre, 48.5 of 96, scaled.
    for (const auto &[size, hotspot] : {std::pair{16, 8}, {24, 12}, {32, 16}, {48, 24}, {256, 129}}) {
        const Pic small(vc_picture_resized(big.get(), size, size));
        ASSERT_TRUE(small) << size;
        int dark = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const uint8_t *px = vc_picture_row_const(small.get(), y) + 4 * x;
                if (px[3] > 8 && (std::abs(px[2] - 250) > 3 || std::abs(px[1] - 140) > 3)) ++dark;
            }
        EXPECT_EQ(dark, 0) << size;
        int32_t hx = -1, hy = -1;
        vc_picture_hotspot(small.get(), &hx, &hy);
        EXPECT_EQ(std::make_pair(hx, hy), std::make_pair(hotspot, hotspot)) << size;
    }
    EXPECT_FALSE(vc_picture_resized(big.get(), 0, 16));
    EXPECT_FALSE(vc_picture_resized(nullptr, 16, 16));
}

// Every size written is listed by icotool, opened by ImageMagick and Pillow
// (the 256 entry as PNG by both) and read back by us, pixel for pixel.
TEST_F(IconSet, EverySizeIsListedAndOpenedByOtherReadersAndReadBack) {
    if (!tool("icotool --version >/dev/null") || !tool("/usr/bin/identify -version >/dev/null") || !tool("/usr/bin/python3 -c 'import PIL'"))
        GTEST_SKIP() << "needs icotool, ImageMagick and Pillow";
    const Pic big = disc();
    Anim set(vc_animation_new());
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    for (int size : sizes) {
        const Pic p(vc_picture_resized(big.get(), size, size));
        ASSERT_EQ(vc_animation_add_frame(set.get(), p.get()), VC_OK);
    }
    // An old 16-colour entry, its palette given.
    Pic old(vc_picture_new(32, 32, 4));
    const uint32_t palette[] = {0x000000, 0xFA8C14};
    ASSERT_EQ(vc_picture_set_palette(old.get(), palette, 2), VC_OK);
    for (int y = 8; y < 24; ++y) std::memset(vc_picture_row(old.get(), y) + 4, 0x11, 8);
    ASSERT_EQ(vc_animation_add_frame(set.get(), old.get()), VC_OK);
    for (const char *ext : {"ico", "cur"}) {
        const std::string file = path(std::string("set.") + ext);
        ASSERT_EQ(vc_write_path(set.get(), *ext == 'i' ? VC_FORMAT_ICO : VC_FORMAT_CUR, nullptr, file.c_str()), VC_OK);
        const std::string listed = capture("icotool -l " + file);
        std::string expected;
        const int hotspots[] = {8, 12, 16, 24, 32, 64, 129, 0};  // 48.5 of 96 scaled; the 16-colour entry has none
        for (size_t i = 0; i < 8; ++i) {
            const int size = i < 7 ? sizes[i] : 32, depth = i < 7 ? 32 : 4;
            expected += std::string(*ext == 'i' ? "--icon" : "--cursor") + " --index=" + std::to_string(i + 1) +
                        " --width=" + std::to_string(size) + " --height=" + std::to_string(size) +
                        " --bit-depth=" + std::to_string(depth) +  " --palette-size=" + (depth == 4 ? "2" : "0") +
                        (*ext == 'c' ? " --hotspot-x=" + std::to_string(hotspots[i]) + " --hotspot-y=" + std::to_string(hotspots[i])
                                     : "") +
                        "\n";
        }
        EXPECT_EQ(listed, expected) << ext;
    }
    const std::string file = path("set.ico");
    EXPECT_EQ(capture("/usr/bin/identify -format '%m %wx%h\\n' " + file),
              "ICO 16x16\nICO 24x24\nICO 32x32\nICO 48x48\nICO 64x64\nICO 128x128\nPNG 256x256\nICO 32x32\n");
    // Ours, every entry in one group, against Pillow's decode of each.
    vc_options options;
    vc_options_init(&options);
    options.flags = VC_READ_EVERY_SIZE;
    vc_animation *read = nullptr;
    ASSERT_EQ(vc_read_path(file.c_str(), VC_FORMAT_ICO, &options, &read), VC_OK);
    const Anim back(read);
    ASSERT_EQ(vc_animation_frame_count(back.get()), 8u);
    std::multiset<std::string> ours;
    for (uint32_t i = 0; i < 8; ++i) {
        const vc_picture *p = vc_animation_frame_const(back.get(), i);
        EXPECT_EQ(vc_frame_group(back.get(), i), 0u);
        const int w = vc_picture_width(p);
        if (i == 7) continue;
        EXPECT_EQ(pixel(p, w / 3, w / 3), pixel(vc_animation_frame_const(set.get(), i), w / 3, w / 3)) << i;
        ours.insert(ourEntry(p, w == 256 ? "PNG" : "BMP"));
    }
    ours.insert("32x32 BMP 20,140,250,255");  // the 16-colour entry's pixel
    EXPECT_EQ(pillowEntries(file), ours);
}

// Sets ImageMagick and Pillow wrote come in with every size.
TEST_F(IconSet, SetsOtherProgramsWroteAreReadAtEverySize) {
    if (!tool("/usr/bin/convert -version >/dev/null") || !tool("/usr/bin/python3 -c 'import PIL'"))
        GTEST_SKIP() << "needs ImageMagick and Pillow";
    const std::string png = path("disc.png"), magick = path("magick.ico"), pil = path("pillow.ico");
    ASSERT_TRUE(tool("/usr/bin/convert -size 300x300 radial-gradient:orange-none " + png));
    ASSERT_TRUE(tool("/usr/bin/convert " + png + " -define icon:auto-resize=256,64,48,32,16 " + magick));
    ASSERT_TRUE(tool("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + png + "').save('" + pil +
                     "', sizes=[(16, 16), (24, 24), (32, 32), (48, 48), (256, 256)])\""));
    for (const auto &[file, expected] : {std::pair{magick, std::string("256 64 48 32 16 ")},
                                         std::pair{pil, std::string("16 24 32 48 256 ")}}) {
        vc_animation *read = nullptr;
        ASSERT_EQ(vc_read_path(file.c_str(), VC_FORMAT_UNKNOWN, nullptr, &read), VC_OK) << file;
        const Anim a(read);
        std::multiset<std::string> sizes, want, ours;
        for (uint32_t i = 0; i < vc_animation_frame_count(a.get()); ++i) {
            sizes.insert(std::to_string(vc_picture_width(vc_animation_frame_const(a.get(), i))));
            ours.insert(ourEntry(vc_animation_frame_const(a.get(), i), ""));
        }
        std::istringstream words(expected);
        for (std::string w; words >> w;) want.insert(w);
        EXPECT_EQ(sizes, want) << file;
        EXPECT_EQ(ours, pillowEntries(file, false)) << file;
    }
}

// An animated cursor of groups holds every size in each frame; read with
// every size its groups and steps come back, read plainly one per frame.
TEST_F(IconSet, AnimatedCursorFramesHoldEverySize) {
    const Pic big = disc();
    Anim a(vc_animation_new());
    for (uint32_t frame = 0; frame < 3; ++frame)
        for (int size : {32, 48, 64}) {
            Pic p(vc_picture_resized(big.get(), size, size));
            vc_picture_row(p.get(), 0)[0] = uint8_t(frame);  // tells the frames apart
            ASSERT_EQ(vc_animation_add_frame(a.get(), p.get()), VC_OK);
            vc_frame_set_group(a.get(), vc_animation_frame_count(a.get()) - 1, frame);
        }
    const uint32_t steps[] = {0, 1, 2, 1}, rates[] = {5, 6, 7, 8};
    ASSERT_EQ(vc_animation_set_steps(a.get(), steps, rates, 4), VC_OK);
    const std::string file = path("sizes.ani");
    ASSERT_EQ(vc_write_path(a.get(), VC_FORMAT_ANI, nullptr, file.c_str()), VC_OK);
    vc_options every;
    vc_options_init(&every);
    every.flags = VC_READ_EVERY_SIZE;
    vc_animation *read = nullptr;
    ASSERT_EQ(vc_read_path(file.c_str(), VC_FORMAT_ANI, &every, &read), VC_OK);
    Anim back(read);
    ASSERT_EQ(vc_animation_frame_count(back.get()), 9u);
    for (uint32_t i = 0; i < 9; ++i) {
        EXPECT_EQ(vc_frame_group(back.get(), i), i / 3) << i;
        EXPECT_EQ(pixel(vc_animation_frame_const(back.get(), i), 0, 0), pixel(vc_animation_frame_const(a.get(), i), 0, 0));
    }
    uint32_t frame = 0, jiffies = 0;
    ASSERT_TRUE(vc_animation_step(back.get(), 3, &frame, &jiffies));
    EXPECT_EQ(std::make_pair(frame, jiffies), std::make_pair(1u, 8u));
    ASSERT_EQ(vc_read_path(file.c_str(), VC_FORMAT_ANI, nullptr, &read), VC_OK);
    back.reset(read);
    EXPECT_EQ(vc_animation_frame_count(back.get()), 3u);
    // The first frame's icon, cut out of the file, is a cursor file of three
    // entries to icotool.
    if (!tool("icotool --version >/dev/null")) GTEST_SKIP() << "needs icotool";
    const Bytes bytes = readBytes(file);
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin("icon"), std::end("icon") - 1);
    ASSERT_NE(at, bytes.end());
    const size_t size = size_t(at[4] | at[5] << 8 | at[6] << 16);
    std::ofstream(path("frame0.cur"), std::ios::binary).write(reinterpret_cast<const char *>(&at[8]), std::streamsize(size));
    EXPECT_EQ(capture("icotool -l " + path("frame0.cur") + " | cut -d' ' -f3,4"),
              "--width=32 --height=32\n--width=48 --height=48\n--width=64 --height=64\n");
}

// velmconv icon: the sizes and depths asked for, inputs taken at their
// sizes, wrong values refused with exit 2 naming the option.
TEST_F(IconSet, IconCommandWritesTheSizesAndRefusesWrongValues) {
    if (!tool("/usr/bin/convert -version >/dev/null") || !tool("icotool --version >/dev/null")) GTEST_SKIP() << "needs ImageMagick and icotool";
    const std::string big = path("big.png"), small = path("small.png");
    ASSERT_TRUE(tool("/usr/bin/convert -size 200x100 xc:none -fill red -draw 'circle 100,50 100,10' " + big));
    ASSERT_TRUE(tool("/usr/bin/convert -size 16x16 xc:blue " + small));
    int status = 0;
    const std::string said = capture(kVelmconv + " icon --sizes 16,32,256 --depths 32,8 " + big + " " + small + " " +
                                     path("app.ico") + " 2>&1", &status);
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("taken as given: 16"), std::string::npos) << said;
    EXPECT_EQ(capture("icotool -l " + path("app.ico") + " | cut -d' ' -f3,5"),
              "--width=16 --bit-depth=32\n--width=16 --bit-depth=8\n--width=32 --bit-depth=32\n"
              "--width=32 --bit-depth=8\n--width=256 --bit-depth=32\n");
    const std::string ok = " " + big + " " + path("x.cur");
    for (const auto &[args, named] : std::vector<std::pair<std::string, std::string>>{
             {"--sizes 16,0" + ok, "--sizes"}, {"--sizes 16,16" + ok, "--sizes"}, {"--sizes 16 --depths 24" + ok, "--depths"},
             {"--sizes 16 --hotspot 5" + ok, "--hotspot"}, {"--sizes 16 --hotspot 500,1" + ok, "--hotspot"},
             {ok, "--sizes"}, {"--sizes 16 " + big + " " + path("x.png"), ".ico or .cur"}}) {
        const std::string out = capture(kVelmconv + " icon " + args + " 2>&1", &status);
        EXPECT_EQ(WEXITSTATUS(status), 2) << args;
        EXPECT_NE(out.find(named), std::string::npos) << out;
    }
}

}  // namespace
