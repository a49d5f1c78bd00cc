// X cursor files against X's own cursor library: what we write it loads
// with every pixel, hotspot, delay and nominal size; the cursor themes
// Debian ships and a file its cursor generator made read here as it reads
// them, and are written again byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "codecs/xcursor_core.h"
#include "velmconv/api.h"

#if defined(VC_HAVE_XCURSOR)
#include <X11/Xcursor/Xcursor.h>
#endif

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct AnimationFree {
    void operator()(vc_animation *a) const { vc_animation_free(a); }
};
using AnimationPtr = std::unique_ptr<vc_animation, AnimationFree>;

// One image as both sides give it: nominal size, width, height, hotspot,
// delay, and the pixels as the file's premultiplied ARGB words.
using Image = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, std::vector<uint32_t>>;

std::vector<Image> ours(const vc_animation *a) {
    std::vector<Image> out;
    for (uint32_t i = 0; i < vc_animation_frame_count(a); ++i) {
        const vc_picture *p = vc_animation_frame_const(a, i);
        int32_t x = 0, y = 0;
        vc_picture_hotspot(p, &x, &y);
        std::vector<uint32_t> pixels;
        for (int32_t row = 0; row < vc_picture_height(p); ++row)
            for (int32_t col = 0; col < vc_picture_width(p); ++col)
                pixels.push_back(vc::premultipliedArgb(vc_picture_row_const(p, row) + 4 * col));
        out.emplace_back(vc_frame_nominal_size(a, i), uint32_t(vc_picture_width(p)), uint32_t(vc_picture_height(p)),
                         uint32_t(x), uint32_t(y), vc_frame_delay_ms(a, i), std::move(pixels));
    }
    return out;
}

Bytes readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#if defined(VC_HAVE_XCURSOR)
// libXcursor's decode of a file: its images, and its comments by kind.
bool theirs(const std::string &path, std::vector<Image> &images, std::vector<std::pair<uint32_t, std::string>> &comments) {
    XcursorImages *list = nullptr;
    XcursorComments *notes = nullptr;
    if (!XcursorFilenameLoad(path.c_str(), &notes, &list) || !list) return false;
    for (int i = 0; i < list->nimage; ++i) {
        const XcursorImage *m = list->images[i];
        images.emplace_back(m->size, m->width, m->height, m->xhot, m->yhot, m->delay,
                            std::vector<uint32_t>(m->pixels, m->pixels + size_t(m->width) * m->height));
    }
    for (int i = 0; notes && i < notes->ncomment; ++i)
        comments.emplace_back(notes->comments[i]->comment_type, notes->comments[i]->comment);
    XcursorImagesDestroy(list);
    if (notes) XcursorCommentsDestroy(notes);
    return true;
}
#endif

class XcursorFiles : public ::testing::Test {
protected:
    void SetUp() override {
#if !defined(VC_HAVE_XCURSOR)
        GTEST_SKIP() << "needs libXcursor (libxcursor-dev, pkg-config xcursor)";
#endif
        dir = fs::temp_directory_path() / ("velmconv-xcursor-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code e;
        fs::remove_all(dir, e);
    }
    // The file read here and by libXcursor: the same images and comments.
    // Gives libXcursor's images.
    std::vector<Image> readAlike(const std::string &path, const vc_animation *a) {
        std::vector<Image> images;
#if defined(VC_HAVE_XCURSOR)
        std::vector<std::pair<uint32_t, std::string>> comments, mine;
        EXPECT_TRUE(theirs(path, images, comments)) << path;
        EXPECT_EQ(ours(a), images) << path;
        for (const vc_comment_kind k : {VC_COMMENT_COPYRIGHT, VC_COMMENT_LICENSE, VC_COMMENT_OTHER})
            if (*vc_animation_comment(a, k)) mine.emplace_back(uint32_t(k), vc_animation_comment(a, k));
        std::sort(comments.begin(), comments.end());
        EXPECT_EQ(mine, comments) << path;
#endif
        return images;
    }
    fs::path dir;
};

// A picture of w x h at the depth: colours and (at 32 bits) alpha from 0
// to 255 across it, a mask over its left column at the other depths.
vc_picture *picture(int32_t w, int32_t h, int depth, int shift) {
    vc_picture *p = vc_picture_new(w, h, depth);
    uint32_t palette[256];
    for (uint32_t i = 0; i < 256; ++i) palette[i] = (i * 7u % 256) << 16 | (255 - i) << 8 | i;
    if (depth <= 8) vc_picture_set_palette(p, palette, 1u << depth);
    else vc_picture_add_mask(p);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *row = vc_picture_row(p, y);
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t v = uint32_t(x * 13 + y * 7 + shift);
            if (depth == 8) row[x] = uint8_t(v);
            else for (int c = 0; c < depth / 8; ++c) row[x * (depth / 8) + c] = uint8_t(v * (c + 3));
        }
        if (depth != 32) vc_picture_add_mask(p), vc_picture_mask_row(p, y)[0] |= 0x80;
    }
    vc_picture_set_hotspot(p, w / 3, h / 4);
    return p;
}

// What we write, libXcursor loads as we meant it: premultiplied pixels,
// hotspots, delays, nominal sizes and comments, for pictures of every
// depth, several nominal sizes and an animated cursor's steps.
TEST_F(XcursorFiles, WhatWeWriteXcursorLoadsAsWeMeantIt) {
    AnimationPtr sizes(vc_animation_new());
    const struct {
        int32_t side;
        int depth;
        uint32_t nominal, ms;
    } kImages[] = {{24, 32, 24, 50}, {24, 32, 24, 1000}, {32, 24, 32, 50}, {48, 8, 0, 7}, {20, 32, 24, 0}};
    for (const auto &m : kImages) {
        vc_picture *p = picture(m.side, m.side, m.depth, int(m.ms));
        ASSERT_EQ(vc_animation_add_frame(sizes.get(), p), VC_OK);
        vc_picture_free(p);
        const uint32_t i = vc_animation_frame_count(sizes.get()) - 1;
        vc_frame_set_nominal_size(sizes.get(), i, m.nominal);
        vc_frame_set_delay_ms(sizes.get(), i, m.ms);
    }
    vc_animation_set_comment(sizes.get(), VC_COMMENT_COPYRIGHT, "(c) nobody");
    vc_animation_set_comment(sizes.get(), VC_COMMENT_OTHER, "gr\xc3\xbc\xc3\x9f" "e");

    AnimationPtr stepped(vc_animation_new());
    for (int i = 0; i < 3; ++i) {
        vc_picture *p = picture(32, 32, 32, i * 40);
        vc_animation_add_frame(stepped.get(), p);
        vc_picture_free(p);
    }
    const uint32_t frames[] = {2, 0, 1, 0}, jiffies[] = {1, 6, 30, 7};
    vc_animation_set_steps(stepped.get(), frames, jiffies, 4);

    for (const auto &[name, a] : {std::pair("sizes", sizes.get()), std::pair("stepped", stepped.get())}) {
        const std::string path = (dir / name).string();
        ASSERT_EQ(vc_write_path(a, VC_FORMAT_XCURSOR, nullptr, path.c_str()), VC_OK);
        vc_animation *raw = nullptr;
        ASSERT_EQ(vc_read_path(path.c_str(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
        const AnimationPtr back(raw);
        readAlike(path, back.get());
    }
    // The steps as libXcursor sees them: frame 2, 0, 1, 0 at 17, 100, 500, 117 ms.
    vc_animation *raw = nullptr;
    ASSERT_EQ(vc_read_path((dir / "stepped").c_str(), VC_FORMAT_XCURSOR, nullptr, &raw), VC_OK);
    const AnimationPtr back(raw);
    std::vector<uint32_t> delays;
    for (uint32_t i = 0; i < vc_animation_frame_count(back.get()); ++i) delays.push_back(vc_frame_delay_ms(back.get(), i));
    EXPECT_EQ(delays, (std::vector<uint32_t>{17, 100, 500, 117}));
    EXPECT_EQ(std::get<6>(ours(back.get())[1]), std::get<6>(ours(stepped.get())[0]));
}

// Every cursor of the Debian themes installed reads here as libXcursor
// reads it, and is written again byte for byte (else with the same images);
// its pixels are premultiplied (no colour above its alpha).
TEST_F(XcursorFiles, DebianThemesReadAsXcursorReadsThemAndComeBackWhole) {
    size_t files = 0, sameBytes = 0, colourAboveAlpha = 0;
    std::vector<std::string> missing;
    for (const char *theme : {"/usr/share/icons/DMZ-White/cursors", "/usr/share/icons/breeze_cursors/cursors",
                              "/usr/share/icons/Adwaita/cursors"}) {
        std::error_code e;
        if (!fs::is_directory(theme, e)) {
            missing.push_back(theme);
            continue;
        }
        for (const auto &entry : fs::directory_iterator(theme)) {
            if (entry.is_symlink() || !entry.is_regular_file()) continue;
            const Bytes bytes = readAll(entry.path());
            vc_animation *raw = nullptr;
            ASSERT_EQ(vc_read_memory(bytes.data(), bytes.size(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK)
                << entry.path();
            const AnimationPtr a(raw);
            for (const Image &m : readAlike(entry.path().string(), a.get()))
                for (uint32_t px : std::get<6>(m))
                    if ((px & 0xFF) > px >> 24 || (px >> 8 & 0xFF) > px >> 24 || (px >> 16 & 0xFF) > px >> 24)
                        ++colourAboveAlpha;
            ++files;
            void *written = nullptr;
            size_t size = 0;
            ASSERT_EQ(vc_write_memory(a.get(), VC_FORMAT_XCURSOR, nullptr, &written, &size), VC_OK);
            const Bytes again(static_cast<uint8_t *>(written), static_cast<uint8_t *>(written) + size);
            vc_free(written);
            if (again == bytes) {
                ++sameBytes;
                continue;
            }
            raw = nullptr;
            ASSERT_EQ(vc_read_memory(again.data(), again.size(), VC_FORMAT_XCURSOR, nullptr, &raw), VC_OK);
            const AnimationPtr reread(raw);
            EXPECT_EQ(ours(reread.get()), ours(a.get())) << entry.path();
        }
    }
    if (files == 0) GTEST_SKIP() << "needs the cursor themes (dmz-cursor-theme, breeze-cursor-theme, adwaita-icon-theme)";
    for (const std::string &m : missing) std::printf("theme not installed: %s\n", m.c_str());
    std::printf("%zu theme cursors read alike, %zu written again byte for byte\n", files, sameBytes);
    EXPECT_EQ(sameBytes, files);
    EXPECT_EQ(colourAboveAlpha, 0u);
}

// A file xcursorgen made from PNG pictures reads here as libXcursor reads
// it, and is written again byte for byte.
TEST_F(XcursorFiles, AFileXcursorgenMadeReadsAlike) {
    if (std::system("command -v xcursorgen > /dev/null") != 0) GTEST_SKIP() << "needs xcursorgen (x11-apps)";
    // Two sizes, the smaller animated, as PNG pictures velmconv extracts.
    vc_animation *raw = nullptr;
    AnimationPtr made(vc_animation_new());
    for (int i = 0; i < 3; ++i) {
        vc_picture *p = picture(i < 2 ? 24 : 48, i < 2 ? 24 : 48, 32, i * 50);
        vc_animation_add_frame(made.get(), p);
        vc_picture_free(p);
    }
    const std::string source = (dir / "source").string();
    ASSERT_EQ(vc_write_path(made.get(), VC_FORMAT_XCURSOR, nullptr, source.c_str()), VC_OK);
    const std::string tool = VC_HOST_BINARY;
    ASSERT_EQ(std::system((tool + " extract --quiet " + source + " " + dir.string() + "/x.png").c_str()), 0);
    {
        std::ofstream config(dir / "config");
        config << "24 8 6 " << (dir / "x_000.png").string() << " 40\n"
               << "24 8 6 " << (dir / "x_001.png").string() << " 60\n"
               << "48 16 12 " << (dir / "x_002.png").string() << " 40\n";
    }
    const std::string out = (dir / "generated").string();
    ASSERT_EQ(std::system(("xcursorgen " + (dir / "config").string() + " " + out).c_str()), 0);
    ASSERT_EQ(vc_read_path(out.c_str(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    const AnimationPtr a(raw);
    readAlike(out, a.get());
    EXPECT_EQ(std::tuple(vc_animation_frame_count(a.get()), vc_frame_nominal_size(a.get(), 2), vc_frame_delay_ms(a.get(), 1)),
              std::tuple(3u, 48u, 60u));
    // The pictures are those the PNG files held: ours, through extract.
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::get<6>(ours(a.get())[i]), std::get<6>(ours(made.get())[i])) << "image " << i;
    void *written = nullptr;
    size_t size = 0;
    ASSERT_EQ(vc_write_memory(a.get(), VC_FORMAT_XCURSOR, nullptr, &written, &size), VC_OK);
    const Bytes again(static_cast<uint8_t *>(written), static_cast<uint8_t *>(written) + size);
    vc_free(written);
    EXPECT_EQ(again, readAll(out));
}

}  // namespace
