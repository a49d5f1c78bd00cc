// The GIF core from memory: its refusals of hostile bytes, the file's and
// the frames' settings it reads (the pixels are GifRead's), the round trip
// and the still save's bytes. Several threads at once are the cores'
// threads test's.
#include "gif/gif_write.h"
#include "gif_support.h"

namespace {

using namespace gifsupport;
using vc::Result;

// Two 6 x 4 images at (0, 0): 8 bits with a transparent index and a delay,
// then one with a local table; a comment and looping.
std::vector<uint8_t> twoFrames() {
    std::vector<uint8_t> a(24), b(24);
    for (size_t i = 0; i < 24; ++i) a[i] = uint8_t(i * 9), b[i] = uint8_t(i % 5);
    GifBytes g;
    g.header(6, 4, 7).looping(3).comment("two frames").control(0x05, 20, 9).image(0, 0, 6, 4, a, 8);
    return g.image(0, 0, 6, 4, b, 8, true, 7).trailer().b;
}

class GifCore : public vctest::LibraryTest {};

TEST_F(GifCore, RefusesHostileBytesWithTheirResult) {
    const std::vector<uint8_t> good = twoFrames();
    GifBytes zero, unknown;
    zero.header(4, 4, 1).image(0, 0, 0, 4, {}, 2).trailer();
    unknown.header(4, 4, 1).u8(0x99);
    GifBytes row;
    row.header(4, 1, 1).image(0, 0, 4, 1, {1, 2, 3, 1}, 2).trailer();
    vc::CoreRequest small;
    small.limits.largestPicture = 20;
    vc::CoreRequest stop;
    stop.progress.report = [](void *, int32_t percent) { return percent < 50; };
    const struct {
        const char *what;
        std::vector<uint8_t> bytes;
        vc::CoreRequest request;
        Result want;
    } cases[] = {
        {"no signature", {'B', 'M', 0, 0}, {}, Result::notFormat},
        {"cut in the screen", {good.begin(), good.begin() + 8}, {}, Result::readFailed},
        {"cut before the trailer", {good.begin(), good.end() - 1}, {}, Result::readFailed},
        {"a block of no known kind", unknown.b, {}, Result::unsupported},
        {"an image of no pixels", zero.b, {}, Result::damaged},
        {"an image one row high", row.b, {}, Result::ok},
        {"a frame past the picture limit", good, small, Result::noMemory},
        {"progress says stop", good, stop, Result::cancelled},
    };
    for (const auto &c : cases) {
        vc::Animation a;
        EXPECT_EQ(vc::resultName(vc::decodeGif(c.bytes, c.request, a)), vc::resultName(c.want)) << c.what;
    }
    // Data that cannot be decoded gives the frame blank, as the importer does.
    GifBytes bad;
    bad.header(4, 2, 1).descriptor(0, 0, 4, 2, 0, 2).subBlocks({0xFF, 0xFF, 0xFF}).trailer();
    vc::Animation a;
    ASSERT_EQ(vc::decodeGif(bad.b, {}, a), Result::ok);
    EXPECT_EQ(a.frames.at(0).picture.pixels, std::vector<uint8_t>(a.frames[0].picture.pixels.size(), 0));

    // A position past 32767 is the file's, and the image is drawn.
    GifBytes far;
    far.header(4, 2, 1).image(40000, 3, 4, 2, {1, 2, 3, 1, 2, 3, 1, 2}, 2).trailer();
    ASSERT_EQ(vc::decodeGif(far.b, {}, a), Result::ok);
    EXPECT_EQ((std::tuple{a.frames.at(0).left, a.frames[0].top, a.frames[0].picture.pixels[0]}),
              (std::tuple{40000, 3, uint8_t(0x23)}));  // the bottom row first: 2 3 1 2
}

TEST_F(GifCore, ReadsTheSettingsWritesWhatItReadsAndTheStillSavesBytes) {
    vc::Animation a;
    ASSERT_EQ(vc::decodeGif(twoFrames(), {}, a), Result::ok);
    ASSERT_EQ(a.frames.size(), 2u);
    EXPECT_EQ((std::tuple{a.repeat, a.loopCount, a.comment, a.screenWidth, a.globalPalette.size()}),
              (std::tuple{true, 3u, std::string("two frames"), 6, size_t(256)}));
    // The second frame has no graphic control: no transparent index.
    EXPECT_EQ((std::tuple{a.frames[0].delay, a.frames[0].disposal, a.frames[0].picture.transparentIndex,
                          a.frames[1].interlaced, a.frames[1].picture.transparentIndex}),
              (std::tuple{20u, uint8_t(1), 9, true, -1}));
    a.frames[1].picture.bitCount = 4;  // another depth: a local table
    a.frames[1].picture.palette.resize(16);
    a.frames[1].picture.pixels.assign(size_t(a.frames[1].picture.rowBytes() * 4), 0);
    for (int y = 0; y < 4; ++y) std::fill_n(a.frames[1].picture.rowFromTop(y), 3, uint8_t(0x3C + y));
    a.frames[1].left = 2;
    std::vector<uint8_t> written;
    ASSERT_EQ(vc::encodeGif(a, {}, written), Result::ok);
    vc::Animation back;
    ASSERT_EQ(vc::decodeGif(written, {}, back), Result::ok);
    ASSERT_EQ(back.frames.size(), 2u);
    EXPECT_EQ((std::tuple{back.repeat, back.loopCount, back.comment}), (std::tuple{true, 3u, a.comment}));
    for (size_t i = 0; i < 2; ++i) {
        const vc::Frame &x = a.frames[i], &y = back.frames[i];
        EXPECT_EQ(dibOf(x.picture), dibOf(y.picture)) << "frame " << i;
        EXPECT_EQ((std::tuple{x.left, x.delay, x.disposal, x.interlaced, x.picture.transparentIndex}),
                  (std::tuple{y.left, y.delay, y.disposal, y.interlaced, y.picture.transparentIndex}))
            << "frame " << i;
    }

    // A frame of the first's depth with colours of its own gets its own
    // table; a screen of no size is the first frame's.
    vc::Animation recoloured = a;
    recoloured.frames[1] = a.frames[0];
    recoloured.frames[1].picture.palette[1].red ^= 0xFF;
    recoloured.screenWidth = recoloured.screenHeight = 0;
    ASSERT_EQ(vc::encodeGif(recoloured, {}, written), Result::ok);
    ASSERT_EQ(vc::decodeGif(written, {}, back), Result::ok);
    EXPECT_EQ(back.frames.at(1).picture.palette.at(1).red, recoloured.frames[1].picture.palette[1].red);
    EXPECT_EQ(std::pair(back.screenWidth, back.screenHeight), std::pair(a.frames[0].picture.width, a.frames[0].picture.height));

    // What cannot be written is refused with its result, and nothing given.
    vc::Animation none, deep = a;
    deep.frames[1].picture.bitCount = 24;
    vc::CoreRequest stop, small;
    stop.progress.report = [](void *, int32_t percent) { return percent < 50; };
    small.limits.largestPicture = 15;  // the frames are 4 x 4
    const struct {
        const char *what;
        const vc::Animation &animation;
        vc::CoreRequest request;
        Result want;
    } refused[] = {{"no frames", none, {}, Result::damaged},
                   {"a frame of 24 bits", deep, {}, Result::unsupported},
                   {"progress says stop", a, stop, Result::cancelled},
                   {"a frame past the picture limit", a, small, Result::noMemory}};
    for (const auto &c : refused) {
        std::vector<uint8_t> out;
        EXPECT_EQ(vc::resultName(vc::encodeGif(c.animation, c.request, out)), vc::resultName(c.want)) << c.what;
        EXPECT_TRUE(out.empty()) << c.what;
    }

    // One frame is the still save's file, byte for byte.
    vc::Animation still;
    still.frames.push_back(a.frames[0]);
    still.frames[0].picture.transparentIndex = -1;
    std::vector<uint8_t> core;
    ASSERT_EQ(vc::encodeGif(still, {}, core), Result::ok);
    const std::vector<uint8_t> dib = dibOf(still.frames[0].picture);
    vc::plat::Block block;
    ASSERT_TRUE(block.alloc(dib.size()));
    std::memcpy(block.data(), dib.data(), dib.size());
    block.unlock();
    ASSERT_EQ(vc::SaveGifImage(path("still.gif").c_str(), block.handle(), nullptr), vc::Result::ok);
    EXPECT_EQ(core, readBytes(path("still.gif")));
}

}  // namespace
