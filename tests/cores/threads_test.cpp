// The format cores on several threads at once: each thread writes and reads
// every format over and over, and every result must be the one a single
// thread gets. Built under ThreadSanitizer too (the tsan preset), where a
// race on state shared between calls is an error of its own.
#include <gtest/gtest.h>

#include <cstdio>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "cores/api_support.h"

using namespace apitest;

namespace {

struct Reference {
    vc_format format;
    AnimationPtr made;  // none for a file only read
    std::vector<uint8_t> bytes;
    std::vector<std::vector<uint32_t>> frames;  // the colours read back
};

std::vector<std::vector<uint32_t>> readColors(const std::vector<uint8_t> &bytes, vc_status &status) {
    vc_animation *raw = nullptr;
    status = vc_read_memory(bytes.data(), bytes.size(), VC_FORMAT_UNKNOWN, nullptr, &raw);
    return frameColors(AnimationPtr(raw).get());
}

// The same bytes; a TIFF file says when it was written (its DateTime, 19
// characters), which may be a second later on another thread.
bool sameFile(vc_format format, const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
    if (format != VC_FORMAT_TIFF || a.size() != b.size()) return a == b;
    size_t differ = 0, first = a.size(), last = 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) ++differ, first = std::min(first, i), last = i;
    return differ == 0 || last - first < 19;
}

TEST(Cores, EveryFormatOnFourThreadsAtOnceGivesWhatOneThreadGives) {
    const struct {
        vc_format format;
        int frames, depth;
    } kFormats[] = {{VC_FORMAT_ICO, 2, 8}, {VC_FORMAT_CUR, 1, 4},  {VC_FORMAT_ANI, 3, 8}, {VC_FORMAT_GIF, 4, 8},
                    {VC_FORMAT_PCX, 1, 24}, {VC_FORMAT_TIFF, 1, 8}, {VC_FORMAT_JPEG, 1, 24},
                    {VC_FORMAT_XCURSOR, 2, 24}};
    // Each file read once here: what every thread must read too. Files
    // read only have nothing made.
    std::vector<Reference> refs;
    const auto add = [&refs](vc_format format, AnimationPtr made, std::vector<uint8_t> bytes) {
        vc_status s;
        auto frames = readColors(bytes, s);
        EXPECT_EQ(s, VC_OK) << vc_format_name(format);
        EXPECT_FALSE(frames.empty()) << vc_format_name(format);
        refs.push_back({format, std::move(made), std::move(bytes), std::move(frames)});
    };
    for (const auto &f : kFormats) {
        AnimationPtr made = animationFor(f.format, f.frames, 48, 40, f.depth);
        Bytes b;
        ASSERT_EQ(vc_write_memory(made.get(), f.format, nullptr, &b.data, &b.size), VC_OK) << vc_format_name(f.format);
        add(f.format, std::move(made), b.vector());
    }
    // Read only: a program's bitmaps, a video through the companion
    // library where the build has it, and a BMP file.
    std::ifstream in(VC_RESOURCE_FILES "/bitmaps-x86_64.dll", std::ios::binary);
    add(VC_FORMAT_PROGRAM, nullptr, {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    Bytes video;
    if (vc_write_memory(refs[3].made.get(), VC_FORMAT_AVI, nullptr, &video.data, &video.size) == VC_OK)
        add(VC_FORMAT_AVI, nullptr, video.vector());
    else
        std::printf("no AVI companion library in this build: videos stay out\n");
    add(VC_FORMAT_BMP, nullptr, dib(3, 2, 24, 0, {}, std::vector<uint8_t>(24, 0x5A)));
    ASSERT_FALSE(HasFailure());

    // The GIF played: its canvases, on every thread as on one.
    const AnimationPtr gif = through(refs[3].made.get());
    const auto played = playedCanvases(gif.get());
    ASSERT_EQ(played.size(), 4u);

    std::atomic<int> differences{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 6; ++round) {
                // Each thread starts at a different format, so different
                // formats run at the same moment as well as the same one.
                for (size_t k = 0; k < refs.size(); ++k) {
                    const Reference &r = refs[(k + size_t(t)) % refs.size()];
                    Bytes b;
                    if (r.made && (vc_write_memory(r.made.get(), r.format, nullptr, &b.data, &b.size) != VC_OK ||
                                   !sameFile(r.format, b.vector(), r.bytes)))
                        ++differences;
                    vc_status s;
                    if (readColors(r.bytes, s) != r.frames || s != VC_OK) ++differences;
                }
                if (playedCanvases(gif.get()) != played) ++differences;
            }
        });
    }
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(differences.load(), 0);
}

}  // namespace
