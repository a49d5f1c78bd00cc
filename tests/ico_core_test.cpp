// The icon core from memory: every depth decoded as the importer hands it
// to the editor, PNG entries as Pillow decodes them, pictures written and
// read back, and hostile bytes answered by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "codecs/ico_core.h"
#include "cursor/ico.h"
#include "support/cursor_files.h"
#include "support/icon_pixels.h"
#include "support/library_test.h"
#include "ui/services.h"

using namespace vctest;

namespace {

std::span<const uint8_t> in(const Bytes &b) { return {b.data(), b.size()}; }

// A picture of the given depth whose pixels, palette and mask vary.
vc::Picture picture(int32_t w, int32_t h, uint16_t bits, int seed) {
    vc::Picture p;
    p.width = w, p.height = h, p.bitCount = bits;
    if (bits <= 8)
        for (uint32_t i = 0; i < (1u << bits); ++i) p.palette.push_back({uint8_t(i), uint8_t(i * 3), uint8_t(seed), 0});
    p.pixels.resize(size_t(p.rowBytes() * uint64_t(h)));
    p.mask.resize(size_t(p.maskRowBytes() * uint64_t(h)));
    for (size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = uint8_t(i * 7 + seed);
    for (size_t i = 0; i < p.mask.size(); ++i) p.mask[i] = uint8_t(i * 5 + seed);
    p.hasHotspot = true, p.hotspotX = seed, p.hotspotY = 2 * seed;
    return p;
}

vc::IconFile icons(std::vector<vc::Picture> pictures) {
    vc::IconFile f;
    f.images = std::move(pictures);
    return f;
}

class IconCore : public LibraryTest {};

}  // namespace

// Each depth decodes to its own depth with its palette, mask and hotspot,
// and the colour rows and mask are those the importer hands the editor.
TEST_F(IconCore, EveryDepthDecodesAsTheImporterHandsItOver) {
    for (uint16_t bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        const Bytes file = cursorFile(iconData(20, 12, bits, 0xC5), 3, 7);
        vc::IconFile icon;
        ASSERT_EQ(vc::decodeIconFile(in(file), {}, icon), vc::Result::ok);
        ASSERT_EQ(icon.images.size(), 1u);
        const vc::Picture &p = icon.images[0];
        EXPECT_EQ(std::make_tuple(icon.cursor, p.width, p.height, p.bitCount, p.palette.size(), p.hotspotX, p.hotspotY),
                  std::make_tuple(true, 20, 12, bits, bits <= 8 ? size_t(1) << bits : 0, 3, 7));
        EXPECT_EQ(std::make_tuple(icon.entries[0].width, icon.entries[0].png, icon.entries[0].status),
                  std::make_tuple(uint8_t(32), false, vc::Result::ok));

        FakeEditor ed;
        ASSERT_EQ(vc::LoadIconFile(writeFile("core.cur", file).c_str(), nullptr, FakeEditor::callback()), vc::Result::ok);
        const Bytes &got = ed.images.at(0).bytes;
        const size_t bitsAt = 40 + 4 * p.palette.size(), colour = size_t(vc::dibRowBytes(20, bits == 32 ? 24 : bits)) * 12;
        if (bits != 32) {
            EXPECT_EQ(Bytes(got.begin() + long(bitsAt), got.begin() + long(bitsAt + colour)), p.pixels);
        }
        for (int32_t y = 0; bits == 32 && y < 12; ++y)  // the editor's 24 bits are the picture's blue, green, red
            for (int32_t x = 0; x < 20; ++x)
                ASSERT_TRUE(std::equal(p.rowFromTop(y) + 4 * x, p.rowFromTop(y) + 4 * x + 3,
                                       got.begin() + long(bitsAt + (11 - y) * vc::dibRowBytes(20, 24) + 3 * x)));
        EXPECT_EQ(Bytes(got.begin() + long(bitsAt + colour), got.end()), p.mask);
        EXPECT_EQ(ed.hotspots[0], vc::packPoint(3, 7));
    }
}

// Pictures of every depth written and read back unchanged; one picture
// written loads into the editor as exactly the entry's data.
TEST_F(IconCore, PicturesRoundTripAndOnePictureLoadsAsItsEntry) {
    vc::IconFile file;
    file.cursor = true;
    for (uint16_t bits : {1, 4, 8, 24, 32}) file.images.push_back(picture(9 + bits, 5 + bits % 7, bits, bits));
    std::vector<uint8_t> bytes;
    ASSERT_EQ(vc::encodeIconFile(file, {}, bytes), vc::Result::ok);
    vc::IconFile back;
    ASSERT_EQ(vc::decodeIconFile(bytes, {}, back), vc::Result::ok);
    ASSERT_EQ(back.images.size(), file.images.size());
    for (size_t i = 0; i < file.images.size(); ++i) {
        const vc::Picture &a = file.images[i], &b = back.images[i];
        EXPECT_EQ(std::tie(a.width, a.height, a.bitCount, a.palette, a.pixels, a.mask, a.hotspotX, a.hotspotY),
                  std::tie(b.width, b.height, b.bitCount, b.palette, b.pixels, b.mask, b.hotspotX, b.hotspotY))
            << i;
    }

    const vc::IconFile one = icons({picture(16, 16, 8, 1)});
    ASSERT_EQ(vc::encodeIconFile(one, {}, bytes), vc::Result::ok);
    FakeEditor ed;
    ASSERT_EQ(vc::LoadIconFile(writeFile("one.ico", bytes).c_str(), nullptr, FakeEditor::callback()), vc::Result::ok);
    EXPECT_EQ(ed.images.at(0).bytes, Bytes(bytes.begin() + 22, bytes.begin() + 22 + long(get32(bytes, 14))));
}

// Hostile and refused input gets its result; nothing is kept on failure.
TEST_F(IconCore, HostileBytesAndLimitsGiveTheirResults) {
    const Bytes good = cursorFile(iconData(8, 8, 4), 0, 0);
    Bytes offsetPast = good, compressed = good, claimsMore = good;
    put32(offsetPast, 18, 5000);
    put32(compressed, 22 + 16, 1);
    put16(claimsMore, 4, 300);  // 300 entries claimed, one there
    vc::CoreRequest small, stop;
    small.limits.largestPicture = 63;
    stop.progress.report = [](void *, int32_t) { return false; };
    const struct Case {
        Bytes bytes;
        vc::CoreRequest request;
        vc::Result want;
        size_t entries;
    } cases[] = {
        {{}, {}, vc::Result::notFormat, 0},
        {{1, 0, 1, 0, 1, 0}, {}, vc::Result::notFormat, 0},
        {{0, 0, 1, 0, 0, 0}, {}, vc::Result::noneFound, 0},
        {{0, 0, 1, 0, 1}, {}, vc::Result::notFormat, 0},
        {offsetPast, {}, vc::Result::damaged, 0},
        {compressed, {}, vc::Result::unsupported, 0},
        {claimsMore, {}, vc::Result::ok, (claimsMore.size() - 6) / 16},  // as far as entries are whole
        {good, small, vc::Result::noMemory, 0},
        {good, stop, vc::Result::cancelled, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        vc::IconFile icon;
        const vc::Result r = vc::decodeIconFile(in(cases[i].bytes), cases[i].request, icon);
        EXPECT_EQ(std::make_tuple(vc::resultName(r), icon.images.size()),
                  std::make_tuple(vc::resultName(cases[i].want), cases[i].entries))
            << "case " << i;
    }
    // Ten entries sharing one image: the pictures together keep to the
    // block limit, and the entries past it are refused undecoded.
    Bytes shared = {0, 0, 1, 0, 10, 0};
    for (int i = 0; i < 10; ++i) {
        shared.insert(shared.end(), good.begin() + 6, good.begin() + 22);
        put32(shared, shared.size() - 4, 6 + 16 * 10);
    }
    shared.insert(shared.end(), good.begin() + 22, good.end());
    vc::CoreRequest three;
    three.limits.largestBlock = 3 * (32 + 32);  // 8 x 8 at 4 bits: colour and mask rows
    vc::IconFile icon;
    ASSERT_EQ(vc::decodeIconFile(in(shared), three, icon), vc::Result::ok);
    std::vector<std::string> statuses;
    for (const vc::IconEntry &e : icon.entries) statuses.push_back(vc::resultName(e.status));
    std::vector<std::string> want(10, vc::resultName(vc::Result::noMemory));
    std::fill_n(want.begin(), 3, vc::resultName(vc::Result::ok));
    EXPECT_EQ(statuses, want);

    std::vector<uint8_t> out;
    vc::Picture skewed = picture(8, 8, 8, 0);
    skewed.pixels.pop_back();
    EXPECT_EQ(vc::encodeIconFile({}, {}, out), vc::Result::unsupported);
    EXPECT_EQ(vc::encodeIconFile(icons({skewed}), {}, out), vc::Result::unsupported);
    EXPECT_EQ(vc::encodeIconFile(icons({picture(8, 8, 8, 0)}), stop, out), vc::Result::cancelled);
}

// PNG entries decode to 32-bit BGRA pixel for pixel as Pillow decodes them.
TEST_F(IconCore, PngEntriesDecodeAsPillowDecodesThem) {
    const std::string dir = path(""), script = VC_TEST_SUPPORT "/modern_icons.py";
    if (std::string made = capture("/usr/bin/python3 " + script + " " + dir + " 2>&1"); !made.empty()) GTEST_SKIP() << made;
    for (const char *name : {"pillow_png.ico", "mixed_interlaced.ico", "only256_png.ico"}) {
        const ModernIcon &c = *std::find_if(std::begin(kModernIcons), std::end(kModernIcons),
                                            [&](const ModernIcon &m) { return std::string(m.file) == name; });
        vc::IconFile icon;
        ASSERT_EQ(vc::decodeIconFile(in(readBytes(dir + name)), {}, icon), vc::Result::ok) << name;
        const vc::Picture &p = icon.images.at(size_t(c.index));
        EXPECT_EQ(std::make_tuple(icon.entries[size_t(c.index)].png, p.width, p.bitCount), std::make_tuple(true, c.width, 32));
        const Bytes rgba = readBytes(dir + name + "." + std::to_string(c.index) + ".rgba");
        ASSERT_EQ(rgba.size(), 8 + 4 * size_t(p.width) * size_t(p.height)) << name;
        long differ = 0;
        for (int32_t y = 0; y < p.height; ++y)
            for (int32_t x = 0; x < p.width; ++x) {
                const uint8_t *want = &rgba[8 + 4 * (size_t(y) * size_t(p.width) + size_t(x))], *got = p.rowFromTop(y) + 4 * x;
                differ += got[0] != want[2] || got[1] != want[1] || got[2] != want[0] || got[3] != want[3];
            }
        EXPECT_EQ(differ, 0) << name;
    }
}

// The icon and animated cursor cores keep nothing between calls: threads
// reading and writing at once get what one thread alone gets. (Bitmap
// entries only: PNG entries go through the platform's PNG decoder.)
TEST_F(IconCore, ThreadsAtOnceGetWhatOneThreadGets) {
    vc::IconFile file;
    file.cursor = true;
    vc::Animation cursor;
    for (uint16_t bits : {1, 4, 8, 24, 32}) {
        file.images.push_back(picture(40 + bits, 30, bits, bits));
        cursor.frames.push_back({.picture = picture(32, 32, bits, bits)});
    }
    std::vector<uint8_t> icon, ani;
    ASSERT_EQ(vc::encodeIconFile(file, {}, icon), vc::Result::ok);
    ASSERT_EQ(vc::encodeAnimatedCursor(cursor, {}, ani), vc::Result::ok);
    const auto run = [&] {
        vc::IconFile i;
        vc::Animation a;
        std::vector<uint8_t> againIcon, againAni;
        const bool decoded = vc::decodeIconFile(icon, {}, i) == vc::Result::ok && vc::decodeAnimatedCursor(ani, {}, a) == vc::Result::ok;
        const bool encoded = decoded && vc::encodeIconFile(i, {}, againIcon) == vc::Result::ok &&
                             vc::encodeAnimatedCursor(a, {}, againAni) == vc::Result::ok;
        return encoded ? againIcon + againAni : Bytes{};
    };
    const Bytes alone = run();
    ASSERT_FALSE(alone.empty());
    std::vector<Bytes> got(4);
    std::vector<std::thread> threads;
    for (Bytes &g : got)
        threads.emplace_back([&] {
            for (int k = 0; k < 20 && (k == 0 || g == alone); ++k) g = run();
        });
    for (auto &t : threads) t.join();
    for (const Bytes &g : got) EXPECT_TRUE(g == alone);
}
