// The public API from a program's side: every writable format round-trips
// through memory and through a file, damaged bytes get a status, and
// arguments out of range are refused. What independent readers make of each
// core's files is the format's own tests' business.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// (How closely a JPEG gives its colours back is JpegCore's; the threads'
// test writes and reads one through the API.)
const Case kCases[] = {
    {"ico", VC_FORMAT_ICO, 2, 8},   {"ico4", VC_FORMAT_ICO, 1, 4},    {"cur", VC_FORMAT_CUR, 1, 8},  {"ani", VC_FORMAT_ANI, 3, 8},
    {"gif", VC_FORMAT_GIF, 3, 8},   {"gifstill", VC_FORMAT_GIF, 1, 8}, {"pcx", VC_FORMAT_PCX, 1, 8},  {"pcx24", VC_FORMAT_PCX, 1, 24},
    {"tiff", VC_FORMAT_TIFF, 1, 8}, {"tiff24", VC_FORMAT_TIFF, 1, 24}, {"xcursor", VC_FORMAT_XCURSOR, 3, 8},
    {"xcursor24", VC_FORMAT_XCURSOR, 1, 24},
};

class RoundTrip : public ::testing::TestWithParam<Case> {};

// The frames come back through memory and a file; copies of the bytes cut
// short or with a byte changed get a status and nothing else.
TEST_P(RoundTrip, FramesComeBackAndDamagedCopiesGetAStatus) {
    const Case &c = GetParam();
    AnimationPtr made = animationFor(c.format, c.frames, 32, 24, c.depth);
    Bytes bytes;
    ASSERT_EQ(vc_write_memory(made.get(), c.format, nullptr, &bytes.data, &bytes.size), VC_OK);
    EXPECT_EQ(vc_detect(bytes.data, bytes.size), c.format);

    vc_animation *raw = nullptr;
    ASSERT_EQ(vc_read_memory(bytes.data, bytes.size, VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr back(raw);
    EXPECT_EQ(frameColors(back.get()), frameColors(made.get()));

    const auto path =
        std::filesystem::temp_directory_path() / ("velmconv-api-" + std::to_string(::getpid()) + "-roundtrip." + c.name);
    ASSERT_EQ(vc_write_path(made.get(), c.format, nullptr, path.c_str()), VC_OK);
    EXPECT_EQ(vc_detect_path(path.c_str()), c.format);
    ASSERT_EQ(vc_read_path(path.c_str(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    AnimationPtr fromFile(raw);
    EXPECT_EQ(frameColors(fromFile.get()), frameColors(made.get()));
    // The file holds the bytes memory got.
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> onDisk((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(onDisk, bytes.vector());
    std::filesystem::remove(path);

    std::set<vc_status> seen;
    for (size_t step = 0; step < 97; ++step) {
        std::vector<uint8_t> bad = onDisk;
        // Cut short, or a byte changed, at places spread over the file.
        const size_t at = onDisk.size() * step / 97;
        if (step % 2) bad.resize(at);
        else bad[at] ^= uint8_t(0x5A + step);
        raw = nullptr;
        const vc_status s = vc_read_memory(bad.data(), bad.size(), c.format, nullptr, &raw);
        AnimationPtr damaged(raw);
        EXPECT_EQ(s == VC_OK, damaged != nullptr);
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

    const AnimationPtr cursorBack = through(cursor.get(), VC_FORMAT_ANI), gifBack = through(gif.get());
    ASSERT_TRUE(cursorBack && gifBack);

    uint32_t frame = 0, rate = 0, loops = 0;
    int32_t x = 0, y = 0, left = 0, top = 0, w = 0, h = 0;
    int repeat = 0, hotspot = vc_picture_hotspot(vc_animation_frame_const(cursorBack.get(), 0), &x, &y);
    const int step = vc_animation_step(cursorBack.get(), 2, &frame, &rate);
    EXPECT_EQ(std::tuple(std::string(vc_animation_title(cursorBack.get())), std::string(vc_animation_author(cursorBack.get())),
                         vc_animation_default_rate(cursorBack.get()), vc_animation_step_count(cursorBack.get()), step, frame,
                         rate, hotspot, x, y),
              std::tuple("Busy", "Nobody", 6u, 4u, 1, 2u, 12u, 1, 3, 5));
    vc_animation_loop(gifBack.get(), &repeat, &loops);
    vc_frame_position(gifBack.get(), 1, &left, &top);
    vc_animation_screen(gifBack.get(), &w, &h);
    EXPECT_EQ(std::tuple(repeat, loops, left, top, vc_frame_disposal(gifBack.get(), 1), vc_frame_delay(gifBack.get(), 2), w, h),
              std::tuple(1, 5u, 4, 2, 2, 30u, 40, 30));
}

// An animated cursor written as an X cursor plays its steps: one image per
// step at the step's rate in milliseconds, each with the hotspot; sizes,
// exact delays and comments come back from an X cursor as they were set.
TEST(Api, XcursorsKeepStepsSizesDelaysAndComments) {
    AnimationPtr cursor = animationFor(VC_FORMAT_ANI, 3);
    const uint32_t frames[] = {0, 1, 2, 1}, rates[] = {6, 6, 12, 1};
    ASSERT_EQ(vc_animation_set_steps(cursor.get(), frames, rates, 4), VC_OK);
    const AnimationPtr played = through(through(cursor.get(), VC_FORMAT_ANI).get(), VC_FORMAT_XCURSOR);
    ASSERT_TRUE(played);
    const auto spot = [](const vc_picture *p, int32_t x = 0, int32_t y = 0) { return vc_picture_hotspot(p, &x, &y) ? x << 8 | y : -1; };
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t, int, std::vector<uint32_t>>> got, want;
    for (uint32_t i = 0; i < std::max(vc_animation_frame_count(played.get()), 4u); ++i) {
        const uint32_t ms = rates[i % 4] == 1 ? 17 : rates[i % 4] * 50 / 3;
        got.emplace_back(vc_frame_delay_ms(played.get(), i), vc_frame_delay(played.get(), i), vc_frame_nominal_size(played.get(), i),
                         spot(vc_animation_frame_const(played.get(), i)),
                         colors(vc_animation_frame_const(played.get(), i)));
        if (i < 4) want.emplace_back(ms, (ms + 5) / 10, 32u, 3 << 8 | 5, colors(vc_animation_frame_const(cursor.get(), frames[i])));
    }
    EXPECT_EQ(got, want);

    AnimationPtr sizes = animationFor(VC_FORMAT_GIF, 2, 24, 24, 24);
    vc_frame_set_nominal_size(sizes.get(), 1, 48);
    vc_frame_set_delay_ms(sizes.get(), 0, 33);
    vc_frame_set_delay(sizes.get(), 1, 7);
    EXPECT_EQ(vc_animation_set_comment(sizes.get(), VC_COMMENT_LICENSE, "free to use"), VC_OK);
    EXPECT_EQ(vc_animation_set_comment(sizes.get(), VC_COMMENT_OTHER, "made here"), VC_OK);
    EXPECT_EQ(vc_animation_set_comment(sizes.get(), VC_COMMENT_OTHER, ""), VC_OK);
    EXPECT_EQ(vc_animation_set_comment(sizes.get(), vc_comment_kind(4), "no such kind"), VC_E_ARGUMENT);
    const AnimationPtr back = through(sizes.get(), VC_FORMAT_XCURSOR);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tuple(vc_frame_nominal_size(back.get(), 0), vc_frame_nominal_size(back.get(), 1),
                         vc_frame_delay_ms(back.get(), 0), vc_frame_delay(back.get(), 0), vc_frame_delay_ms(back.get(), 1),
                         std::string(vc_animation_comment(back.get(), VC_COMMENT_LICENSE)),
                         std::string(vc_animation_comment(back.get(), VC_COMMENT_OTHER))),
              std::tuple(24u, 48u, 33u, 3u, 70u, "free to use", ""));
    EXPECT_EQ(std::tuple(std::string(vc_format_name(VC_FORMAT_XCURSOR)), vc_format_writable(VC_FORMAT_XCURSOR),
                         vc_format_depth(VC_FORMAT_XCURSOR, 8)),
              std::tuple("xcursor", 1, 32));
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
    EXPECT_EQ(std::tuple(vc_format_depth(VC_FORMAT_GIF, 32), vc_format_depth(VC_FORMAT_PCX, 32), vc_format_depth(VC_FORMAT_JPEG, 8),
                         vc_format_depth(VC_FORMAT_ICO, 32)),
              std::tuple(8, 24, 24, 32));

    AnimationPtr icon(vc_animation_new());
    for (int32_t size : {16, 48, 32}) {
        vc_picture *p = gradient(size, size, 8, 0);
        ASSERT_EQ(vc_animation_add_frame(icon.get(), p), VC_OK);
        vc_picture_free(p);
    }
    const AnimationPtr iconBack = through(icon.get(), VC_FORMAT_ICO),
                       manyBack = through(animationFor(VC_FORMAT_GIF, VC_GIF_MAX_FRAMES + 44, 4, 4).get());
    ASSERT_TRUE(iconBack && manyBack);
    EXPECT_EQ(std::tuple(vc_animation_opens_at(iconBack.get()), vc_animation_frame_count(manyBack.get()),
                         vc_animation_file_images(manyBack.get()), vc_animation_opens_at(manyBack.get())),
              std::tuple(1u, uint32_t(VC_GIF_MAX_FRAMES), uint32_t(VC_GIF_MAX_FRAMES + 44), 0u));
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
        const AnimationPtr back = through(made.get());
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
    const AnimationPtr stillBack = through(still.get());
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

// A BMP file and a packed DIB through the public header: detected, read
// (rows from the top; alpha from a 16-bit alpha mask), refusals by their
// status. (How each kind of DIB decodes is DibCore's table.)
TEST(Api, BmpFilesAndPackedDibsReadAsPictures) {
    const std::vector<uint8_t> file = dib(2, -2, 24, 0, {}, {16, 16, 16, 32, 32, 32, 0, 0, 48, 48, 48, 64, 64, 64, 0, 0});
    const std::vector<uint8_t> masks4444 = {0, 0x0F, 0, 0, 0xF0, 0, 0, 0, 0x0F, 0, 0, 0, 0, 0xF0, 0, 0};
    const std::vector<uint8_t> alpha16 = dib(2, 1, 16, 6, masks4444, {0x00, 0xFF, 0x00, 0x70}, false),
                               rle24 = dib(2, 1, 24, 1, {}, {2, 1, 0, 1}), notBmp = {'B', 'A', 0, 0},
                               noSize = dib(2, 1, 8, 1, std::vector<uint8_t>(1024), {2, 1, 0, 1}, false);
    EXPECT_EQ(vc_detect(file.data(), file.size()), VC_FORMAT_BMP);
    vc_animation *raw = nullptr;
    ASSERT_EQ(vc_read_memory(file.data(), file.size(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_OK);
    const AnimationPtr read(raw);
    EXPECT_EQ(colors(vc_animation_frame_const(read.get(), 0)), (std::vector<uint32_t>{0x101010, 0x202020, 0x303030, 0x404040}));
    vc_picture *p = nullptr;
    ASSERT_EQ(vc_picture_from_dib(alpha16.data(), alpha16.size(), &p), VC_OK);
    EXPECT_EQ(std::tuple(vc_picture_depth(p), colorAt(p, 0, 0), vc_picture_row_const(p, 0)[7]), std::tuple(32, 0xFF0000u, 0x77));
    vc_picture_free(p);
    EXPECT_EQ(vc_picture_from_dib(noSize.data(), noSize.size(), &p), VC_E_DATA);  // run-length rows without their size
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(vc_read_memory(rle24.data(), rle24.size(), VC_FORMAT_UNKNOWN, nullptr, &raw), VC_E_UNSUPPORTED);
    EXPECT_EQ(vc_read_memory(notBmp.data(), notBmp.size(), VC_FORMAT_BMP, nullptr, &raw), VC_E_FORMAT);
    EXPECT_EQ(std::tuple(std::string(vc_format_name(VC_FORMAT_BMP)), vc_format_writable(VC_FORMAT_BMP)), std::tuple("BMP", 0));
}

}  // namespace
