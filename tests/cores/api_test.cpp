// The public API from a program's side: every writable format round-trips
// through memory and through a file, the independent readers read what it
// writes, damaged bytes get a status, and arguments out of range are
// refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>

#include "cores/api_support.h"
#include "velmconv/documents.h"

using namespace apitest;

namespace {

struct Case {
    const char *name;
    vc_format format;
    int frames;
    int depth;
    bool exact;          // JPEG gives colours back only nearly
    const char *reader;  // an independent reader's command; none where the format's own tests have them
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// The animated cursor's independent readers are in its own tests; the
// TIFF layout's fixed directory makes ImageMagick warn, libtiff's own tool
// reads it.
const Case kCases[] = {
    {"ico", VC_FORMAT_ICO, 2, 8, true, "/usr/bin/identify ico:"},
    {"ico4", VC_FORMAT_ICO, 1, 4, true, "/usr/bin/identify ico:"},
    {"cur", VC_FORMAT_CUR, 1, 8, true, "/usr/bin/identify cur:"},
    {"ani", VC_FORMAT_ANI, 3, 8, true, nullptr},
    {"gif", VC_FORMAT_GIF, 3, 8, true, "gifsicle --info "},
    {"gifstill", VC_FORMAT_GIF, 1, 8, true, "/usr/bin/identify gif:"},
    {"pcx", VC_FORMAT_PCX, 1, 8, true, "/usr/bin/identify pcx:"},
    {"pcx24", VC_FORMAT_PCX, 1, 24, true, "pcxtoppm "},
    {"tiff", VC_FORMAT_TIFF, 1, 8, true, "tifftopnm "},
    {"tiff24", VC_FORMAT_TIFF, 1, 24, true, "tifftopnm "},
    {"jpg", VC_FORMAT_JPEG, 1, 24, false, "djpeg "},
};

std::filesystem::path scratch(const std::string &name) {
    return std::filesystem::temp_directory_path() / ("velmconv-api-" + std::to_string(::getpid()) + "-" + name);
}

// How far apart two colours are: the sum over the channels.
int distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8) d += std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF));
    return d;
}

void expectSameFrames(const vc_animation *made, const vc_animation *back, const Case &c) {
    ASSERT_EQ(vc_animation_frame_count(back), uint32_t(c.frames));
    for (uint32_t i = 0; i < uint32_t(c.frames); ++i) {
        const auto want = colors(vc_animation_frame_const(made, i)), got = colors(vc_animation_frame_const(back, i));
        ASSERT_EQ(got.size(), want.size()) << "frame " << i;
        if (c.exact) {
            EXPECT_EQ(got, want) << "frame " << i;
        } else {
            // Within a JPEG's error on average.
            uint64_t off = 0;
            for (size_t k = 0; k < got.size(); ++k) off += uint64_t(distance(got[k], want[k]));
            EXPECT_LT(off / got.size(), 24u) << "frame " << i;
        }
    }
}

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, ThroughMemoryAndAFileTheFramesComeBack) {
    const Case &c = GetParam();
    AnimationPtr made = animationFor(c.format, c.frames, 32, 24, c.depth);
    Bytes bytes;
    ASSERT_EQ(vc_write_memory(made.get(), c.format, nullptr, &bytes.data, &bytes.size), VC_OK);
    EXPECT_EQ(vc_detect(bytes.data, bytes.size), c.format);

    vc_animation *raw = nullptr;
    ASSERT_EQ(vc_read_memory(bytes.data, bytes.size, VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr back(raw);
    expectSameFrames(made.get(), back.get(), c);

    const auto path = scratch(std::string("roundtrip.") + c.name);
    ASSERT_EQ(vc_write_path(made.get(), c.format, nullptr, path.c_str()), VC_OK);
    EXPECT_EQ(vc_detect_path(path.c_str()), c.format);
    ASSERT_EQ(vc_read_path(path.c_str(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr fromFile(raw);
    expectSameFrames(made.get(), fromFile.get(), c);
    // The file holds the bytes memory got.
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> onDisk((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(onDisk, bytes.vector());

    // An independent reader takes it.
    if (!c.reader) return std::filesystem::remove(path), void();
    const std::string tool = std::string(c.reader).substr(0, std::string(c.reader).find(' '));
    if (std::system(("command -v " + tool + " >/dev/null").c_str()) != 0) {
        std::filesystem::remove(path);
        GTEST_SKIP() << "needs " << tool << " to check the file independently";
    }
    const std::string command = c.reader + path.string() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::filesystem::remove(path);
}

TEST_P(RoundTrip, DamagedCopiesGetAStatusAndNothingElse) {
    const Case &c = GetParam();
    AnimationPtr made = animationFor(c.format, c.frames, 20, 12, c.depth);
    Bytes bytes;
    ASSERT_EQ(vc_write_memory(made.get(), c.format, nullptr, &bytes.data, &bytes.size), VC_OK);
    const std::vector<uint8_t> good = bytes.vector();
    std::set<vc_status> seen;
    for (size_t step = 0; step < 97; ++step) {
        std::vector<uint8_t> bad = good;
        // Cut short, or a byte changed, at places spread over the file.
        const size_t at = good.size() * step / 97;
        if (step % 2) bad.resize(at);
        else bad[at] ^= uint8_t(0x5A + step);
        vc_animation *raw = nullptr;
        const vc_status s = vc_read_memory(bad.data(), bad.size(), c.format, nullptr, &raw);
        AnimationPtr back(raw);
        EXPECT_EQ(s == VC_OK, back != nullptr);
        EXPECT_LE(int(s), int(VC_E_ARGUMENT));
        seen.insert(s);
    }
    EXPECT_TRUE(seen.size() > 1 || !seen.count(VC_OK)) << "no damage was noticed at all";
}

INSTANTIATE_TEST_SUITE_P(Api, RoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Api, TheAnimationsSettingsComeBack) {
    AnimationPtr cursor = animationFor(VC_FORMAT_ANI, 3);
    const uint32_t frames[] = {0, 1, 2, 1}, rates[] = {6, 6, 12, 6};
    vc_animation_set_title(cursor.get(), "Busy");
    vc_animation_set_author(cursor.get(), "Nobody");
    vc_animation_set_default_rate(cursor.get(), 6);
    ASSERT_EQ(vc_animation_set_steps(cursor.get(), frames, rates, 4), VC_OK);
    AnimationPtr gif = animationFor(VC_FORMAT_GIF, 3);
    vc_animation_set_loop(gif.get(), 1, 5);
    vc_frame_set_position(gif.get(), 1, 4, 2);
    vc_frame_set_disposal(gif.get(), 1, 2);
    vc_animation_set_screen(gif.get(), 40, 30);

    Bytes a, g;
    ASSERT_EQ(vc_write_memory(cursor.get(), VC_FORMAT_ANI, nullptr, &a.data, &a.size), VC_OK);
    ASSERT_EQ(vc_write_memory(gif.get(), VC_FORMAT_GIF, nullptr, &g.data, &g.size), VC_OK);
    vc_animation *raw = nullptr;
    ASSERT_EQ(vc_read_memory(a.data, a.size, VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr cursorBack(raw);
    ASSERT_EQ(vc_read_memory(g.data, g.size, VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr gifBack(raw);

    EXPECT_STREQ(vc_animation_title(cursorBack.get()), "Busy");
    EXPECT_STREQ(vc_animation_author(cursorBack.get()), "Nobody");
    EXPECT_EQ(vc_animation_default_rate(cursorBack.get()), 6u);
    ASSERT_EQ(vc_animation_step_count(cursorBack.get()), 4u);
    uint32_t frame = 0, rate = 0;
    ASSERT_TRUE(vc_animation_step(cursorBack.get(), 2, &frame, &rate));
    EXPECT_EQ(frame, 2u);
    EXPECT_EQ(rate, 12u);
    int32_t x = 0, y = 0;
    EXPECT_TRUE(vc_picture_hotspot(vc_animation_frame_const(cursorBack.get(), 0), &x, &y));
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 5);

    int repeat = 0;
    uint32_t loops = 0;
    vc_animation_loop(gifBack.get(), &repeat, &loops);
    EXPECT_TRUE(repeat);
    EXPECT_EQ(loops, 5u);
    vc_frame_position(gifBack.get(), 1, &x, &y);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(vc_frame_disposal(gifBack.get(), 1), 2);
    EXPECT_EQ(vc_frame_delay(gifBack.get(), 2), 30u);
    vc_animation_screen(gifBack.get(), &x, &y);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 30);
}

TEST(Api, WhatCannotBeDoneIsRefusedWithItsStatus) {
    AnimationPtr empty(vc_animation_new());
    AnimationPtr one = animationFor(VC_FORMAT_GIF, 1);
    Bytes b;
    vc_animation *raw = nullptr;
    EXPECT_EQ(vc_write_memory(empty.get(), VC_FORMAT_GIF, nullptr, &b.data, &b.size), VC_E_ARGUMENT);
    EXPECT_EQ(vc_write_memory(one.get(), VC_FORMAT_PROGRAM, nullptr, &b.data, &b.size), VC_E_UNSUPPORTED);
    EXPECT_EQ(vc_write_memory(nullptr, VC_FORMAT_GIF, nullptr, &b.data, &b.size), VC_E_ARGUMENT);
    EXPECT_EQ(vc_read_memory("junk", 4, VC_FORMAT_UNKNOWN, nullptr, &raw), VC_E_FORMAT);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(vc_read_path("/nonexistent/velmconv.gif", VC_FORMAT_GIF, nullptr, &raw), VC_E_OPEN);
    EXPECT_EQ(vc_picture_new(0, 5, 8), nullptr);
    EXPECT_EQ(vc_picture_new(5, 5, 7), nullptr);
    EXPECT_EQ(vc_animation_frame(one.get(), 1), nullptr);
    EXPECT_EQ(vc_picture_row(vc_animation_frame(one.get(), 0), 32), nullptr);

    // Every status has words of its own.
    std::set<std::string> messages;
    for (int s = VC_OK; s <= VC_E_ARGUMENT; ++s) messages.insert(vc_status_message(vc_status(s)));
    EXPECT_EQ(messages.size(), size_t(VC_E_ARGUMENT) + 1);
}

// What a converting program asks besides the pictures: the depth each
// format writes, the image an icon file opens at (the largest here, not
// the first), and how many images a GIF holds past the 256 it gives.
TEST(Api, AConverterLearnsDepthsTheOpenedIconAndTheImagesLeftOut) {
    EXPECT_EQ(vc_format_depth(VC_FORMAT_GIF, 32), 8);
    EXPECT_EQ(vc_format_depth(VC_FORMAT_PCX, 32), 24);
    EXPECT_EQ(vc_format_depth(VC_FORMAT_JPEG, 8), 24);
    EXPECT_EQ(vc_format_depth(VC_FORMAT_ICO, 32), 32);

    AnimationPtr icon(vc_animation_new());
    for (int32_t size : {16, 48, 32}) {
        vc_picture *p = gradient(size, size, 8, 0);
        ASSERT_EQ(vc_animation_add_frame(icon.get(), p), VC_OK);
        vc_picture_free(p);
    }
    AnimationPtr many = animationFor(VC_FORMAT_GIF, VC_GIF_MAX_FRAMES + 44, 4, 4);
    Bytes i, g;
    ASSERT_EQ(vc_write_memory(icon.get(), VC_FORMAT_ICO, nullptr, &i.data, &i.size), VC_OK);
    ASSERT_EQ(vc_write_memory(many.get(), VC_FORMAT_GIF, nullptr, &g.data, &g.size), VC_OK);
    vc_animation *raw = nullptr;
    ASSERT_EQ(vc_read_memory(i.data, i.size, VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr iconBack(raw);
    EXPECT_EQ(vc_animation_opens_at(iconBack.get()), 1u);
    ASSERT_EQ(vc_read_memory(g.data, g.size, VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr manyBack(raw);
    EXPECT_EQ(vc_animation_frame_count(manyBack.get()), uint32_t(VC_GIF_MAX_FRAMES));
    EXPECT_EQ(vc_animation_file_images(manyBack.get()), uint32_t(VC_GIF_MAX_FRAMES + 44));
    EXPECT_EQ(vc_animation_opens_at(manyBack.get()), 0u);
}

TEST(Api, TheCallersLimitsAndProgressHold) {
    AnimationPtr big = animationFor(VC_FORMAT_GIF, 3, 64, 64);
    Bytes b;
    ASSERT_EQ(vc_write_memory(big.get(), VC_FORMAT_GIF, nullptr, &b.data, &b.size), VC_OK);
    vc_options options;
    vc_options_init(&options);
    options.largest_picture = 64 * 63;
    vc_animation *raw = nullptr;
    EXPECT_EQ(vc_read_memory(b.data, b.size, VC_FORMAT_GIF, &options, &raw), VC_E_MEMORY);
    EXPECT_EQ(raw, nullptr);

    for (vc_format format : {VC_FORMAT_GIF, VC_FORMAT_TIFF, VC_FORMAT_PCX}) {
        int reports = 0;
        vc_options_init(&options);
        options.context = &reports;
        // The first report says stop.
        options.progress = [](void *context, int) { return ++*static_cast<int *>(context), 0; };
        Bytes out;
        EXPECT_EQ(vc_write_memory(big.get(), format, &options, &out.data, &out.size), VC_CANCELLED)
            << vc_format_name(format);
        EXPECT_EQ(out.data, nullptr);
        EXPECT_EQ(reports, 1) << vc_format_name(format) << " went on after it was told to stop";
    }
}

// The player over a GIF read back: a frame sticking out of the largest one's
// size lands at its place anyway, without its transparent pixels, waits for
// the user, is cleared by its disposal; the loop count plays it again.
TEST(Api, ThePlayerShowsTheCanvasesOfThePreviewWindow) {
    const uint32_t palette[] = {0x101010, 0xFF0000, 0x00FF00, 0x0000FF};
    AnimationPtr made(vc_animation_new());
    const struct { int32_t w, h, left, top, delay, disposal, userInput, transparent; } frames[] = {
        {8, 6, 0, 0, 5, 1, 0, -1}, {4, 4, 6, 4, 0, 2, 1, 0}, {8, 6, 0, 0, 3, 1, 0, -1}};
    for (uint32_t i = 0; i < 3; ++i) {
        const auto &f = frames[i];
        vc_picture *p = vc_picture_new(f.w, f.h, 8);
        vc_picture_set_palette(p, palette, 4), vc_picture_set_transparent_index(p, f.transparent);
        // Index i + 1 all over, a transparent corner pixel in frame 1.
        for (int32_t y = 0; y < f.h; ++y) std::memset(vc_picture_row(p, y), int(i + 1), size_t(f.w));
        if (f.transparent >= 0) vc_picture_row(p, 0)[0] = 0;
        ASSERT_EQ(vc_animation_add_frame(made.get(), p), VC_OK);
        vc_picture_free(p);
        vc_frame_set_position(made.get(), i, f.left, f.top), vc_frame_set_delay(made.get(), i, uint32_t(f.delay));
        vc_frame_set_disposal(made.get(), i, f.disposal), vc_frame_set_user_input(made.get(), i, f.userInput);
    }
    // '.' the background (the global table's entry 0), A, B, C frames 0 to 2.
    const char *expected[] = {"AAAAAAAA..AAAAAAAA..AAAAAAAA..AAAAAAAA..AAAAAAAA..AAAAAAAA" "......................",
                              "AAAAAAAA..AAAAAAAA..AAAAAAAA..AAAAAAAA..AAAAAAABBBAAAAAABBBB......BBBB......BBBB",
                              "CCCCCCCC..CCCCCCCC..CCCCCCCC..CCCCCCCC..CCCCCCCC..CCCCCCCC" "......................"};
    // repeat, loops, the steps: frame/loop/ticks, w when it waits for the user
    const std::tuple<int, uint32_t, std::string> plays[] = {
        {0, 0, "0/0/6 1/0/w 2/0/4 finished"}, {1, 1, "0/0/6 1/0/w 2/0/4 0/1/6 1/1/w 2/1/4 finished"}};
    for (const auto &[repeat, loops, expectedSteps] : plays) {
        vc_animation_set_loop(made.get(), repeat, loops);
        const AnimationPtr back = throughGif(made.get());
        vc_player *player = nullptr;
        ASSERT_EQ(vc_player_new(back.get(), &player), VC_OK);
        const std::unique_ptr<vc_player, void (*)(vc_player *)> owned(player, vc_player_free);
        const vc_picture *canvas = vc_player_canvas(player);
        ASSERT_EQ(vc_picture_width(canvas) * 100 + vc_picture_height(canvas), 1008) << "a screen of 10 x 8";
        std::string steps;
        for (int shown = 0; vc_player_step(player); ++shown) {
            steps += std::to_string(vc_player_frame(player)) + "/" + std::to_string(vc_player_loop(player)) + "/" +
                     (vc_player_waits(player) ? "w" : std::to_string(vc_player_ticks(player))) + " ";
            std::string seen;
            for (uint32_t c : colors(canvas)) seen += ".ABC"[std::find(palette, palette + 4, c) - palette];
            EXPECT_EQ(seen, expected[shown % 3]) << "canvas " << shown;
        }
        EXPECT_EQ(steps + (vc_player_finished(player) ? "finished" : ""), expectedSteps);
        EXPECT_EQ(vc_player_step(player), 0);
    }
    // A still GIF (no graphic control) stays the new document's first delay, 2
    // ticks. A wide frame and a tall one make frames past the limits.
    AnimationPtr still(vc_animation_new()), thin(vc_animation_new()), empty(vc_animation_new());
    vc_animation_add_frame(still.get(), vc_animation_frame_const(made.get(), 0));
    const AnimationPtr stillBack = throughGif(still.get());
    vc_player *player = nullptr, *none = nullptr;
    ASSERT_EQ(vc_player_new(stillBack.get(), &player), VC_OK);
    const std::unique_ptr<vc_player, void (*)(vc_player *)> owned(player, vc_player_free);
    EXPECT_EQ(vc_player_step(player) * 10 + vc_player_ticks(player), 12u);
    for (vc_picture *p : {vc_picture_new(60000, 1, 8), vc_picture_new(1, 60000, 8)})
        vc_animation_add_frame(thin.get(), p), vc_picture_free(p);
    EXPECT_EQ(vc_player_new(thin.get(), &none), VC_E_MEMORY);
    EXPECT_EQ(vc_player_new(empty.get(), &none), VC_E_ARGUMENT);
    EXPECT_EQ(vc_player_new(nullptr, &none), VC_E_ARGUMENT);
    EXPECT_EQ(none, nullptr);
}

}  // namespace

namespace {

// Programs read as their bitmaps, one frame each and named; a program
// without any is "none found", not damage.
TEST(Api, ProgramsGiveTheirBitmapsByName) {
    vc_animation *raw = nullptr;
    ASSERT_EQ(vc_read_path(VC_RESOURCE_FILES "/bitmaps-x86_64.dll", VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr program(raw);
    ASSERT_EQ(vc_animation_frame_count(program.get()), 8u);
    bool logo = false;
    for (uint32_t i = 0; i < 8; ++i) {
        logo |= std::string(vc_frame_name(program.get(), i)).find("LOGO") != std::string::npos;
        EXPECT_GT(vc_picture_width(vc_animation_frame_const(program.get(), i)), 0);
    }
    EXPECT_TRUE(logo);

    const char *font = "/usr/share/wine/fonts/coure.fon";
    if (!std::filesystem::exists(font)) GTEST_SKIP() << "needs Wine's fonts (" << font << ") for a program without bitmaps";
    EXPECT_EQ(vc_read_path(font, VC_FORMAT_PROGRAM, nullptr, &raw), VC_NONE_FOUND);
    EXPECT_EQ(raw, nullptr);
}

}  // namespace

namespace {

// A 2 x 1 DIB behind a 40-byte header: the colour table (or masks), a gap
// of `gap` bytes, then the row. As a file, the BMP file header names the
// row's offset.
std::vector<uint8_t> dibOf(uint16_t bits, uint32_t compression, std::vector<uint8_t> table, std::vector<uint8_t> row,
                           bool file, uint32_t gap = 0) {
    std::vector<uint8_t> d(40);
    const auto put = [&d](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) d[at + i] = uint8_t(v >> 8 * i);
    };
    put(0, 40, 4), put(4, 2, 4), put(8, 1, 4), put(12, 1, 2), put(14, bits, 2), put(16, compression, 4);
    d.insert(d.end(), table.begin(), table.end());
    d.resize(d.size() + gap);
    if (file) {
        d.insert(d.begin(), 14, 0);
        d[0] = 'B', d[1] = 'M';
        put(10, uint32_t(d.size()), 4);
    }
    d.insert(d.end(), row.begin(), row.end());
    return d;
}

// BMP files and packed DIBs through the public header: where alpha comes
// from (an alpha mask only), the rows at the file header's offset, and
// what is refused.
TEST(Api, BmpFilesAndPackedDibsReadAsPictures) {
    const std::vector<uint8_t> masks4444 = {0, 0x0F, 0, 0, 0xF0, 0, 0, 0, 0x0F, 0, 0, 0, 0, 0xF0, 0, 0};
    const std::vector<uint8_t> grey = {0x10, 0x10, 0x10, 0, 0x80, 0x80, 0x80, 0};
    struct Row {
        const char *what;
        std::vector<uint8_t> bytes;
        bool file;
        vc_status status;
        int depth;
        uint32_t left;   // the left pixel's colour
        int rightAlpha;  // the right pixel's alpha at 32 bits
    };
    const Row rows[] = {
        {"24 bits behind a gap", dibOf(24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}, true, 6), true, VC_OK, 24, 0x030201, -1},
        {"8 bits, the table cut at the rows", dibOf(8, 0, grey, {0, 1, 0, 0}, true), true, VC_OK, 8, 0x101010, -1},
        {"16-bit alpha mask", dibOf(16, 6, masks4444, {0x00, 0xFF, 0x00, 0x70}, false), false, VC_OK, 32, 0xFF0000, 0x77},
        {"plain 32 bits", dibOf(32, 0, {}, {9, 8, 7, 0x40, 9, 8, 7, 0x40}, false), false, VC_OK, 24, 0x070809, -1},
        {"no room for the table", dibOf(8, 0, {}, {1, 0, 0, 0}, true), true, VC_E_READ, 0, 0, 0},
        {"run-length 24 bits", dibOf(24, 1, {}, {2, 1, 0, 1}, false), false, VC_E_UNSUPPORTED, 0, 0, 0},
        {"run-length 8, no image size", dibOf(8, 1, std::vector<uint8_t>(1024), {2, 1, 0, 1}, false), false, VC_E_DATA, 0, 0, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        vc_picture *p = nullptr;
        AnimationPtr a;
        if (r.file) {
            EXPECT_EQ(vc_detect(r.bytes.data(), r.bytes.size()), VC_FORMAT_BMP);
            vc_animation *raw = nullptr;
            ASSERT_EQ(vc_read_memory(r.bytes.data(), r.bytes.size(), VC_FORMAT_UNKNOWN, nullptr, &raw), r.status);
            a.reset(raw);
            p = vc_animation_frame(raw, 0);
        } else {
            ASSERT_EQ(vc_picture_from_dib(r.bytes.data(), r.bytes.size(), &p), r.status);
        }
        const std::unique_ptr<vc_picture, void (*)(vc_picture *)> owned(r.file ? nullptr : p, vc_picture_free);
        if (r.status != VC_OK) {
            EXPECT_EQ(p, nullptr);
            continue;
        }
        ASSERT_EQ(vc_picture_depth(p), r.depth);
        EXPECT_EQ(colorAt(p, 0, 0), r.left);
        EXPECT_EQ(r.depth == 32 ? vc_picture_row_const(p, 0)[7] : -1, r.rightAlpha);
    }
    const std::vector<uint8_t> notBmp = {'B', 'A', 0, 0};
    vc_animation *raw = nullptr;
    EXPECT_EQ(vc_read_memory(notBmp.data(), notBmp.size(), VC_FORMAT_BMP, nullptr, &raw), VC_E_FORMAT);
    EXPECT_EQ(std::tuple(std::string(vc_format_name(VC_FORMAT_BMP)), vc_format_writable(VC_FORMAT_BMP)), std::tuple("BMP", 0));
}

}  // namespace
