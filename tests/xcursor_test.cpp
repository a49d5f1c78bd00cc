// X cursor files against X's own cursor library: what we write it loads
// with every pixel, hotspot, delay and nominal size; the cursor themes
// Debian ships and a file its cursor generator made read here as it reads
// them, and are written again byte for byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "codecs/xcursor_core.h"
#include "cores/api_support.h"

#if defined(VC_HAVE_XCURSOR)
#include <X11/Xcursor/Xcursor.h>
#endif

namespace {

namespace fs = std::filesystem;
using apitest::AnimationPtr;

// One image: nominal size, width, height, hotspot, delay, and the pixels
// as the file's premultiplied ARGB words.
using Image = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, std::vector<uint32_t>>;
using Comments = std::vector<std::pair<uint32_t, std::string>>;

std::vector<Image> ours(const vc_animation *a) {
    std::vector<Image> out;
    for (uint32_t i = 0; i < vc_animation_frame_count(a); ++i) {
        const vc_picture *p = vc_animation_frame_const(a, i);
        int32_t x = 0, y = 0, w = vc_picture_width(p), h = vc_picture_height(p);
        vc_picture_hotspot(p, &x, &y);
        std::vector<uint32_t> pixels;
        for (int32_t k = 0; k < w * h; ++k) pixels.push_back(vc::premultipliedArgb(vc_picture_row_const(p, k / w) + 4 * (k % w)));
        out.emplace_back(vc_frame_nominal_size(a, i), w, h, x, y, vc_frame_delay_ms(a, i), std::move(pixels));
    }
    return out;
}

std::vector<uint8_t> readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

AnimationPtr readPath(const std::string &path) {
    vc_animation *raw = nullptr;
    EXPECT_EQ(vc_read_path(path.c_str(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK) << path;
    return AnimationPtr(raw);
}

std::vector<uint8_t> written(const vc_animation *a) {
    apitest::Bytes b;
    EXPECT_EQ(vc_write_memory(a, VC_FORMAT_XCURSOR, nullptr, &b.data, &b.size), VC_OK);
    return b.vector();
}

// libXcursor's images of the file, after checking that ours and its
// comments are those we read.
std::vector<Image> readAlike(const std::string &path, const vc_animation *a) {
    std::vector<Image> images;
#if defined(VC_HAVE_XCURSOR)
    XcursorImages *list = nullptr;
    XcursorComments *notes = nullptr;
    EXPECT_TRUE(XcursorFilenameLoad(path.c_str(), &notes, &list) && list) << path;
    Comments theirs, mine;
    for (int i = 0; list && i < list->nimage; ++i) {
        const XcursorImage *m = list->images[i];
        images.emplace_back(m->size, m->width, m->height, m->xhot, m->yhot, m->delay,
                            std::vector<uint32_t>(m->pixels, m->pixels + size_t(m->width) * m->height));
    }
    for (int i = 0; notes && i < notes->ncomment; ++i)
        theirs.emplace_back(notes->comments[i]->comment_type, notes->comments[i]->comment);
    if (list) XcursorImagesDestroy(list);
    if (notes) XcursorCommentsDestroy(notes);
    for (const vc_comment_kind k : {VC_COMMENT_COPYRIGHT, VC_COMMENT_LICENSE, VC_COMMENT_OTHER})
        if (*vc_animation_comment(a, k)) mine.emplace_back(uint32_t(k), vc_animation_comment(a, k));
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(ours(a), images) << path;
    EXPECT_EQ(mine, theirs) << path;
#endif
    return images;
}

class XcursorFiles : public ::testing::Test {
protected:
    void SetUp() override {
#if !defined(VC_HAVE_XCURSOR)
        GTEST_SKIP() << "needs libXcursor (libxcursor-dev, pkg-config xcursor)";
#endif
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    const fs::path dir = fs::temp_directory_path() / ("velmconv-xcursor-" + std::to_string(::getpid()));
};

// A w x w picture at the depth: colours (and at 32 bits alpha) across it,
// a mask over the left column at the other depths, a hotspot.
void addPicture(vc_animation *a, int32_t w, int depth, int shift, uint32_t nominal = 0, uint32_t ms = 0) {
    vc_picture *p = vc_picture_new(w, w, depth);
    uint32_t palette[256];
    for (uint32_t i = 0; i < 256; ++i) palette[i] = (i * 7u % 256) << 16 | (255 - i) << 8 | i;
    if (depth == 8) vc_picture_set_palette(p, palette, 256);
    if (depth != 32) vc_picture_add_mask(p);
    for (int32_t y = 0; y < w; ++y) {
        for (int32_t x = 0; x < w * (depth / 8); ++x) vc_picture_row(p, y)[x] = uint8_t((x * 13 + y * 7 + shift) * (x % 4 + 1));
        if (depth != 32) vc_picture_mask_row(p, y)[0] |= 0x80;
    }
    vc_picture_set_hotspot(p, w / 3, w / 4);
    vc_animation_add_frame(a, p);
    vc_picture_free(p);
    vc_frame_set_nominal_size(a, vc_animation_frame_count(a) - 1, nominal);
    vc_frame_set_delay_ms(a, vc_animation_frame_count(a) - 1, ms);
}

// What we write, libXcursor loads as we meant it, for pictures of every
// depth, several nominal sizes, comments and an animated cursor's steps.
TEST_F(XcursorFiles, WhatWeWriteXcursorLoadsAsWeMeantIt) {
    AnimationPtr sizes(vc_animation_new()), stepped(vc_animation_new());
    addPicture(sizes.get(), 24, 32, 0, 24, 50), addPicture(sizes.get(), 24, 32, 9, 24, 1000);
    addPicture(sizes.get(), 32, 24, 1, 32, 50), addPicture(sizes.get(), 48, 8, 2, 0, 7), addPicture(sizes.get(), 20, 32, 3, 24);
    vc_animation_set_comment(sizes.get(), VC_COMMENT_COPYRIGHT, "(c) nobody");
    vc_animation_set_comment(sizes.get(), VC_COMMENT_OTHER, "gr\xc3\xbc\xc3\x9f" "e");
    for (int i = 0; i < 3; ++i) addPicture(stepped.get(), 32, 32, i * 40);
    const uint32_t frames[] = {2, 0, 1, 0}, jiffies[] = {1, 6, 30, 7};
    vc_animation_set_steps(stepped.get(), frames, jiffies, 4);
    for (const auto &[name, a] : {std::pair("sizes", sizes.get()), std::pair("stepped", stepped.get())}) {
        ASSERT_EQ(vc_write_path(a, VC_FORMAT_XCURSOR, nullptr, (dir / name).c_str()), VC_OK);
        readAlike(dir / name, readPath(dir / name).get());
    }
    // The steps: frame 2, 0, 1, 0 at 17, 100, 500, 117 ms, nominal size 32.
    std::vector<Image> want;
    for (size_t i = 0; i < 4; ++i) {
        want.push_back(ours(stepped.get())[frames[i]]);
        std::get<0>(want[i]) = 32, std::get<5>(want[i]) = (jiffies[i] * 1000 + 30) / 60;
    }
    EXPECT_EQ(ours(readPath(dir / "stepped").get()), want);
}

// Every cursor of the Debian themes reads here as libXcursor reads it and
// is written again byte for byte; its pixels are premultiplied (no colour
// above its alpha), the convention the pictures are converted from.
TEST_F(XcursorFiles, DebianThemesReadAsXcursorReadsThemAndComeBackWhole) {
    size_t files = 0, sameBytes = 0, colourAboveAlpha = 0;
    for (const char *theme : {"/usr/share/icons/DMZ-White/cursors", "/usr/share/icons/breeze_cursors/cursors",
                              "/usr/share/icons/Adwaita/cursors"}) {
        if (!fs::is_directory(theme)) {
            std::printf("theme not installed: %s\n", theme);
            continue;
        }
        for (const auto &entry : fs::directory_iterator(theme)) {
            if (entry.is_symlink() || !entry.is_regular_file()) continue;
            const AnimationPtr a = readPath(entry.path());
            ASSERT_TRUE(a);
            for (const Image &m : readAlike(entry.path(), a.get()))
                for (uint32_t px : std::get<6>(m))
                    colourAboveAlpha += std::max({px & 0xFF, px >> 8 & 0xFF, px >> 16 & 0xFF}) > px >> 24;
            ++files;
            sameBytes += written(a.get()) == readAll(entry.path());
        }
    }
    if (files == 0) GTEST_SKIP() << "needs the cursor themes (dmz-cursor-theme, breeze-cursor-theme, adwaita-icon-theme)";
    std::printf("%zu theme cursors read alike, %zu written again byte for byte\n", files, sameBytes);
    EXPECT_EQ(sameBytes, files);
    EXPECT_EQ(colourAboveAlpha, 0u);
}

// A file xcursorgen made from PNG pictures velmconv extracted reads as libXcursor
// reads it, with the pictures extracted, and is written again byte for byte.
TEST_F(XcursorFiles, AFileXcursorgenMadeReadsAlike) {
    if (std::system("command -v xcursorgen > /dev/null") != 0) GTEST_SKIP() << "needs xcursorgen (x11-apps)";
    AnimationPtr made(vc_animation_new());
    addPicture(made.get(), 24, 32, 0), addPicture(made.get(), 24, 32, 50), addPicture(made.get(), 48, 32, 100);
    ASSERT_EQ(vc_write_path(made.get(), VC_FORMAT_XCURSOR, nullptr, (dir / "source").c_str()), VC_OK);
    const std::string d = dir.string();
    ASSERT_EQ(std::system((std::string(VC_HOST_BINARY) + " extract --quiet " + d + "/source " + d + "/x.png").c_str()), 0);
    std::ofstream(dir / "config") << "24 8 6 " << d << "/x_000.png 40\n24 8 6 " << d << "/x_001.png 60\n48 16 12 " << d
                                  << "/x_002.png 40\n";
    ASSERT_EQ(std::system(("xcursorgen " + d + "/config " + d + "/generated").c_str()), 0);
    const AnimationPtr a = readPath(dir / "generated");
    readAlike(dir / "generated", a.get());
    const std::vector<Image> got = ours(a.get()), want = ours(made.get());
    ASSERT_EQ(got.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(std::get<6>(got[i]), std::get<6>(want[i])) << "image " << i;
    EXPECT_EQ(std::tuple(std::get<0>(got[2]), std::get<3>(got[2]), std::get<5>(got[1])), std::tuple(48u, 16u, 60u));
    EXPECT_EQ(written(a.get()), readAll(dir / "generated"));
}

}  // namespace
