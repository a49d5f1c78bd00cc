// Icon and cursor files. The icon core from memory: the rule that chooses
// the image the editor opens, every depth decoded, pictures written and read
// back, hostile bytes answered by name, real files from Debian packages
// against ImageMagick and today's icons against Pillow. Through the exports:
// the bytes a save writes, the calls of a load, the preview's rules and what
// hostile files end in.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <tuple>

#include "codecs/ico_core.h"
#include "common/png.h"
#include "cursor/ico.h"
#include "support/cursor_files.h"
#include "support/icon_pixels.h"
#include "support/library_test.h"
#include "ui/services.h"

using namespace vctest;

namespace {

struct Entry {
    uint8_t width, height, colors;
    uint16_t planesOrX, bitsOrY;
    Bytes data;
    std::optional<uint32_t> size = {}, offset = {};  // override what is stored
};
Entry entry(int w, int h, int bits, uint8_t tag = 0, uint16_t x = 1, uint16_t y = 0) {
    return Entry{uint8_t(w), uint8_t(h), uint8_t(bits < 8 ? 1 << bits : 0), x, y ? y : uint16_t(bits),
                 iconData(w, h, uint16_t(bits), tag)};
}
// An icon file of the given type with the entries' data laid out in order.
Bytes iconFile(uint16_t type, const std::vector<Entry> &entries, std::optional<uint16_t> count = {}) {
    Bytes out = {0, 0, uint8_t(type), 0, uint8_t(count.value_or(uint16_t(entries.size()))), 0};
    out.resize(6 + 16 * entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        size_t at = 6 + 16 * i;
        out[at] = e.width, out[at + 1] = e.height, out[at + 2] = e.colors;
        put16(out, at + 4, e.planesOrX);
        put16(out, at + 6, e.bitsOrY);
        put32(out, at + 8, e.size.value_or(uint32_t(e.data.size())));
        put32(out, at + 12, e.offset.value_or(uint32_t(out.size())));
        out = out + e.data;
    }
    return out;
}

// A w x h PNG file of opaque grey, as bytes.
Bytes pngBytes(uint32_t w, uint32_t h) {
    vc::plat::PngFilePicture p;
    p.width = w, p.height = h, p.rowBytes = 3 * w, p.pixels.assign(3 * w * h, 0x80);
    std::FILE *f = std::tmpfile();
    std::string error;
    EXPECT_TRUE(vc::plat::writePngFile(f, p, error)) << error;
    Bytes out(size_t(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(out.data(), 1, out.size(), f), out.size());
    std::fclose(f);
    return out;
}

// The image the editor gets of a file, and the tag of its colour rows.
struct Chosen {
    vc::Result result;
    vc::IconChoice c;
    uint8_t tag() const { return c.data.at(40 + 4 * vc::dibColorCount(get32(c.data, 32), get16(c.data, 14))); }
};
Chosen choose(const Bytes &file) {
    Chosen p{};
    p.result = vc::chooseIconImage(in(file), {}, p.c);
    return p;
}

const std::string kWxImages = "/usr/share/doc/wx3.2-examples/examples/samples/image/";
const std::string kSdlImages = "/usr/libexec/installed-tests/SDL2_image/";
const std::string kNsisIcons = "/usr/share/nsis/Contrib/Graphics/Icons/";

class IconCore : public LibraryTest {};

class IcoFiles : public LibraryTest {
protected:
    int32_t saveAs(const std::string &p) { return SaveConvImage(nullptr, p.c_str(), nullptr, 132, 0, FakeEditor::callback()); }
    // A file loaded (one image, format 132) and previewed: the preview is
    // the loaded image with its height halved and a colour count of 0
    // filled from the depth. The image's bytes.
    Bytes loadAndPreview(const std::string &file) {
        FakeEditor ed;
        uint8_t fmt = 0;
        const int32_t r = loadCursor(file, true, &fmt);
        EXPECT_EQ(std::make_tuple(r, fmt, ed.images.size()), std::make_tuple(1, 132, size_t(1))) << file;
        if (ed.images.empty()) return {};
        const Bytes icon = ed.images[0].bytes;
        const uint16_t bits = get16(icon, 14);
        const uint32_t colors = get32(icon, 32) ? get32(icon, 32) : bits <= 8 ? 1u << bits : 0;
        Bytes want = icon;
        put32(want, 8, get32(icon, 8) / 2), put32(want, 32, colors);
        const Preview p = preview(file);
        EXPECT_EQ(std::make_tuple(p.result, p.bitsOffset, Bytes(p.block.begin(), p.block.begin() + long(std::min(p.block.size(), want.size())))),
                  std::make_tuple(CONV_OK, 40 + 4 * colors, want))
            << file;
        return icon;
    }
};

}  // namespace

// ---- The icon core, from memory -------------------------------------------

TEST_F(IconCore, ChoosesByColoursThenAreaInFileOrder) {
    struct Case {
        std::vector<std::array<int, 3>> images;  // w, h, bits; tagged 1, 2, ...
        uint8_t tag;
    } cases[] = {
        {{{16, 16, 4}, {32, 32, 4}}, 2},  // more pixels
        {{{32, 32, 1}, {32, 32, 4}}, 2},  // more colours at the same area
        {{{32, 32, 4}, {32, 32, 8}}, 1},  // colour byte 0 does not win at the same area...
        {{{32, 32, 4}, {48, 48, 8}}, 2},  // ...only by area
        {{{32, 32, 8}, {32, 32, 1}}, 1},  // once chosen, the best count is at least 2
    };
    for (const Case &c : cases) {
        std::vector<Entry> entries;
        for (const auto &i : c.images) entries.push_back(entry(i[0], i[1], i[2], uint8_t(entries.size() + 1)));
        Chosen p = choose(iconFile(1, entries));
        ASSERT_EQ(p.result, vc::Result::ok);
        EXPECT_EQ(p.tag(), c.tag) << c.images[0][2] << "/" << c.images[1][2];
    }
    // An entry that cannot be handed over (a depth the editor never takes,
    // a damaged PNG image) is passed over and the choice made again among
    // the rest, however many there are; one that is not the final choice
    // still steers it (the 16 colours of the middle entry let the last win).
    for (bool png : {false, true}) {
        auto bad = [&](int w, int h, uint8_t colors) {
            Entry e = entry(w, h, 4, 9);
            e.colors = colors;
            png ? void(std::memcpy(e.data.data(), "\x89PNG\r\n\x1a\n", 8)) : put16(e.data, 14, 16);
            return e;
        };
        EXPECT_EQ(choose(iconFile(1, {entry(16, 16, 4, 1), bad(64, 64, 16), entry(32, 32, 4, 2)})).tag(), 2);
        EXPECT_EQ(choose(iconFile(1, {entry(10, 10, 8, 1), bad(5, 10, 16), entry(8, 10, 8, 2)})).tag(), 2);
        std::vector<Entry> many = {entry(8, 8, 4, 1)};
        for (int i = 0; i < 80; ++i) many.push_back(bad(9 + i, 9, 0));
        EXPECT_EQ(choose(iconFile(1, many)).tag(), 1);
    }
    // After 16 PNG images that fail, every PNG image is passed over, a good
    // one too: the bitmap is chosen, not the 24 x 24 PNG image behind them.
    std::vector<Entry> pngs = {entry(8, 8, 4, 1)};
    for (int i = 0; i < 16; ++i) {
        pngs.push_back(entry(30 + i, 30, 4, 9));
        std::memcpy(pngs.back().data.data(), "\x89PNG\r\n\x1a\n", 8);
    }
    pngs.push_back(Entry{24, 24, 0, 1, 32, pngBytes(24, 24)});
    EXPECT_EQ(choose(iconFile(1, pngs)).c.index, 0u);
    pngs.erase(pngs.begin() + 1);  // 15 failures: the PNG image is taken
    EXPECT_EQ(choose(iconFile(1, pngs)).c.index, 16u);
    // Where no entry states colours or an area (256 x 256 is stored as 0),
    // the image header decides: the most pixels, the earlier of equals, a
    // PNG image by its own header, an unusable one passed over; one entry
    // stating a size decides alone, however small.
    auto unstated = [](Entry e) { return e.width = e.height = e.colors = 0, e; };
    Entry png = entry(1, 1, 8, 9);
    png.data = Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'} +
               Bytes{0, 0, 1, 0, 0, 0, 1, 0};  // 256 x 256, and nothing after: cannot be decoded
    const struct {
        std::vector<Entry> entries;
        uint8_t tag;
    } unstatedCases[] = {
        {{unstated(entry(16, 16, 8, 1)), unstated(entry(64, 64, 8, 2)), unstated(entry(32, 32, 8, 3))}, 2},
        {{unstated(entry(64, 8, 8, 1)), unstated(entry(8, 64, 8, 2))}, 1},
        {{unstated(entry(16, 16, 8, 1)), unstated(png)}, 1},
        {{unstated(entry(64, 64, 8, 1)), entry(4, 4, 8, 2)}, 2},
    };
    for (const auto &c : unstatedCases) EXPECT_EQ(choose(iconFile(1, c.entries)).tag(), c.tag);
    // A 32-bit entry whose mask is empty goes over as 24 bits, the mask made
    // from alpha: the pixel below 128 (0 of the bottom row) masked and black.
    Entry deep = entry(8, 2, 32, 0x40);
    for (size_t k = 0; k < 16; ++k) deep.data[40 + 4 * k + 3] = k ? 0x80 : 0x7F;
    put32(deep.data, 20, 0x999);  // the image size the header stated goes
    const Bytes narrowed = choose(iconFile(1, {deep})).c.data;
    EXPECT_EQ(std::pair(get32(narrowed, 20), get32(narrowed, 24)), std::pair(0u, get32(deep.data, 24)));
    ASSERT_EQ(narrowed.size(), size_t(40 + 2 * (24 + 4)));
    EXPECT_EQ(Bytes(narrowed.begin() + 12, narrowed.begin() + 16), (Bytes{1, 0, 24, 0}));
    EXPECT_EQ(Bytes(narrowed.begin() + 40, narrowed.begin() + 44), (Bytes{0, 0, 0, 0x40}));
    EXPECT_EQ(Bytes(narrowed.begin() + 88, narrowed.end()), (Bytes{0x80, 0, 0, 0, 0, 0, 0, 0}));
    // Size 0 reaches the end of the file; a size past the end is cut to it.
    Entry big = entry(32, 32, 1);
    for (uint32_t size : {0u, 1u << 30}) {
        big.size = size;
        Chosen p = choose(iconFile(1, {big}));
        EXPECT_EQ(std::make_tuple(p.result, p.c.data.size()), std::make_tuple(vc::Result::ok, big.data.size()));
    }
}

// Pictures of every depth written and read back unchanged, with palette,
// mask and hotspot; each written alone opens as exactly its entry's data
// (a 32-bit picture's blue, green and red rows and its mask). A decoded
// entry is what the directory says of it.
TEST_F(IconCore, PicturesRoundTripAndEachOpensAsItsEntry) {
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
        const bool cursor = i % 2 == 0;  // an icon's entry holds no hotspot
        ASSERT_EQ(vc::encodeIconFile({.cursor = cursor, .images = {a}, .entries = {}}, {}, bytes), vc::Result::ok);
        const Chosen chosen = choose(bytes);
        const Bytes &got = chosen.c.data;
        EXPECT_EQ(std::make_tuple(chosen.c.cursor, chosen.c.hotspotX, chosen.c.hotspotY),
                  std::make_tuple(cursor, cursor ? a.hotspotX : 0, cursor ? a.hotspotY : 0));
        if (a.bitCount != 32) {
            EXPECT_EQ(got, Bytes(bytes.begin() + 22, bytes.begin() + 22 + long(get32(bytes, 14)))) << i;
            continue;
        }
        const size_t colour = size_t(vc::dibRowBytes(a.width, 24) * uint32_t(a.height));
        for (int32_t y = 0; y < a.height; ++y)  // the editor's 24 bits are the picture's blue, green, red
            for (int32_t x = 0; x < a.width; ++x)
                ASSERT_TRUE(std::equal(a.rowFromTop(y) + 4 * x, a.rowFromTop(y) + 4 * x + 3,
                                       got.begin() + long(40 + (a.height - 1 - y) * vc::dibRowBytes(a.width, 24) + 3 * x)));
        EXPECT_EQ(Bytes(got.begin() + long(40 + colour), got.end()), a.mask);
    }
    // A 32-bit picture without a mask is written with one made from alpha:
    // the pixel (3, 1) below 128 masked.
    vc::Picture alpha = picture(8, 2, 32, 0);
    alpha.mask.clear();
    for (size_t k = 3; k < alpha.pixels.size(); k += 4) alpha.pixels[k] = k == 4 * 11 + 3 ? 0x7F : 0x80;
    ASSERT_EQ(vc::encodeIconFile({.cursor = false, .images = {alpha}, .entries = {}}, {}, bytes), vc::Result::ok);
    EXPECT_EQ(Bytes(bytes.end() - 8, bytes.end()), (Bytes{0, 0, 0, 0, 0x10, 0, 0, 0}));
    vc::IconFile icon;
    ASSERT_EQ(vc::decodeIconFile(in(cursorFile(iconData(20, 12, 4, 0xC5), 3, 7)), {}, icon), vc::Result::ok);
    EXPECT_EQ(std::make_tuple(icon.entries[0].width, icon.entries[0].png, icon.images[0].width, icon.images[0].pixels),
              std::make_tuple(uint8_t(32), false, 20, Bytes(vc::dibRowBytes(20, 4) * 12, 0xC5)));
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
    EXPECT_EQ(vc::encodeIconFile({.images = {skewed}, .entries = {}}, {}, out), vc::Result::unsupported);
    EXPECT_EQ(vc::encodeIconFile({.images = {picture(8, 8, 8, 0)}, .entries = {}}, stop, out), vc::Result::cancelled);
}

// Each real file opens at the documented image; written back as a one-image
// file, ImageMagick (it compares every pixel) sees the same pixels as in the
// original. Every icon of the NSIS set, PNG-compressed entries and all,
// loads at a depth the editor takes, and previews.
TEST_F(IcoFiles, RealFilesOpenAtTheirImageAndWrittenBackImageMagickSeesTheSamePixels) {
    struct Case {
        std::string file;
        uint32_t index;
        int width, height, bits;
        uint16_t x, y;
    } cases[] = {
        {kWxImages + "horse.ico", 0, 32, 32, 4, 0, 0},
        {kWxImages + "horse.cur", 0, 32, 32, 1, 16, 23},
        {kSdlImages + "sample.ico", 0, 23, 42, 24, 0, 0},
        {kSdlImages + "sample.cur", 0, 23, 42, 24, 1, 24},
        // 32x32x4, 16x16x4, 256x256 compressed (size bytes 0), 48x48x8, ...
        {kNsisIcons + "nsis3-install.ico", 3, 48, 48, 8, 0, 0},
        {kNsisIcons + "pixel-install.ico", 2, 32, 32, 8, 0, 0},
        // 64x64x32 after a compressed entry: handed as 24 bits, rows repacked.
        {kNsisIcons + "nsis-menu.ico", 5, 64, 64, 24, 0, 0},
    };
    // An image beyond the first 65,530 bytes, all a preview of old read.
    const Bytes far = iconFile(1, {entry(128, 128, 24, 5), entry(128, 128, 24, 5), entry(144, 144, 4, 3)});
    EXPECT_EQ(get32(loadAndPreview(writeFile("far.ico", far)), 4), 144u);
    // An 8-bit image of 16 colours keeps its count in the preview.
    Entry few = entry(8, 8, 8, 6);
    few.data.erase(few.data.begin() + 40 + 4 * 16, few.data.begin() + 40 + 4 * 256);
    put32(few.data, 32, 16);
    EXPECT_EQ(get32(loadAndPreview(writeFile("few.ico", iconFile(1, {few}))), 32), 16u);
    const bool magick = access("/usr/bin/compare", X_OK) == 0 && access("/usr/bin/convert", X_OK) == 0;
    for (const Case &c : cases) {
        if (access(c.file.c_str(), R_OK) != 0) GTEST_SKIP() << c.file << " is not installed";
        const Chosen got = choose(readBytes(c.file));
        const Bytes &icon = got.c.data;
        ASSERT_EQ(got.result, vc::Result::ok) << c.file;
        EXPECT_EQ(std::make_tuple(got.c.index, int(get32(icon, 4)), int(get32(icon, 8)), int(get16(icon, 14)), got.c.hotspotX,
                                  got.c.hotspotY),
                  std::make_tuple(c.index, c.width, 2 * c.height, c.bits, c.x, c.y))
            << c.file;
        if (!magick) continue;
        const std::string out = writeFile(got.c.cursor ? "out.cur" : "out.ico", vc::oneImageIconFile(icon, got.c.cursor, c.x, c.y));
        // Both flattened on magenta, so that what lies under a transparent pixel does not count.
        const std::string flat = " -background '#FF00FF' -alpha remove -alpha off PNG24:";
        capture("/usr/bin/convert '" + c.file + "[" + std::to_string(c.index) + "]'" + flat + path("a.png"));
        capture("/usr/bin/convert '" + out + "[0]'" + flat + path("b.png"));
        EXPECT_EQ(capture("/usr/bin/compare -metric AE " + path("a.png") + " " + path("b.png") + " null: 2>&1"), "0") << c.file;
    }
    std::error_code ec;
    int files = 0;
    for (const auto &de : std::filesystem::directory_iterator(kNsisIcons, ec)) {
        if (de.path().extension() != ".ico") continue;
        ++files;
        const int bits = get16(loadAndPreview(de.path().string()), 14);
        EXPECT_TRUE(bits == 4 || bits == 8 || bits == 24) << de.path();
    }
    EXPECT_GE(files, 30);
    if (!magick) GTEST_SKIP() << "needs ImageMagick (convert, compare) to read the files written back";
}

// Today's icons open at the entry the rule picks, pixel for pixel as Pillow
// decodes it, and their PNG entries decode to 32-bit BGRA as Pillow decodes
// them; memory refused anywhere in a load is reported, never answered with
// another entry.
TEST_F(IconCore, ModernIconsOpenAtTheChosenEntryAsPillowDecodesIt) {
    const std::string dir = path(""), script = VC_TEST_SUPPORT "/modern_icons.py";
    if (std::string made = capture("/usr/bin/python3 " + script + " " + dir + " 2>&1"); !made.empty()) GTEST_SKIP() << made;
    for (const ModernIcon &c : kModernIcons) {
        SCOPED_TRACE(c.file);
        const Bytes file = readBytes(dir + c.file);
        const std::string rgbaFile = dir + c.file + "." + std::to_string(c.index) + ".rgba";
        const Chosen got = choose(file);
        EXPECT_EQ(std::make_tuple(got.c.index, int(get32(got.c.data, 4)), int(get16(got.c.data, 14))),
                  std::make_tuple(uint32_t(c.index), c.width, c.bits));
        if (c.bits == 24) {
            EXPECT_EQ(iconPixelsDiffer(got.c.data, rgbaFile, c.maskFromAlpha), 0);
        }
        const std::string name = c.file;
        if (name != "pillow_png.ico" && name != "mixed_interlaced.ico" && name != "only256_png.ico") continue;
        vc::IconFile icon;
        ASSERT_EQ(vc::decodeIconFile(in(file), {}, icon), vc::Result::ok);
        const vc::Picture &p = icon.images.at(size_t(c.index));
        const Bytes rgba = readBytes(rgbaFile);
        EXPECT_EQ(std::make_tuple(icon.entries[size_t(c.index)].png, p.width, p.bitCount), std::make_tuple(true, c.width, 32));
        ASSERT_EQ(rgba.size(), 8 + 4 * size_t(p.width) * size_t(p.height));
        long differ = 0;
        for (int32_t y = 0; y < p.height; ++y)
            for (int32_t x = 0; x < p.width; ++x) {
                const uint8_t *want = &rgba[8 + 4 * (size_t(y) * size_t(p.width) + size_t(x))], *px = p.rowFromTop(y) + 4 * x;
                differ += px[0] != want[2] || px[1] != want[1] || px[2] != want[0] || px[3] != want[3];
            }
        EXPECT_EQ(differ, 0);
    }
    vc::Result r = vc::Result::noMemory;
    for (long fail = 1, blocks = vc::plat::memLiveBlocks(); r != vc::Result::ok; ++fail) {
        FakeEditor ed;
        vc::plat::memFailAt(fail);
        r = vc::LoadIconFile((dir + "mixed_interlaced.ico").c_str(), nullptr, FakeEditor::callback());
        vc::plat::memFailAt(0);
        ASSERT_EQ(std::make_tuple(r, vc::plat::memLiveBlocks()), std::make_tuple(ed.images.empty() ? vc::Result::noMemory : vc::Result::ok, blocks));
        EXPECT_EQ(ed.images.empty() ? 128 : get32(ed.images[0].bytes, 4), 128u);
    }
}

// ---- Through the exports ----------------------------------------------------

// Each save writes the header, the one entry and the data, and odd data one 0
// byte that the entry's size leaves out; the colour byte comes from the
// depth, width and height keep their low 8 bits; ".cur" ends a cursor's name
// only, and only a cursor asks for and writes the hotspot.
TEST_F(IcoFiles, SaveWritesHeaderOneEntryDataAndPadWithItsCallbacks) {
    FakeEditor ed;
    const Bytes data = iconData(32, 32, 4, 7);  // 744 bytes
    ed.addIcon(data);
    ed.hotspots[0] = 9 | (21u << 16);
    const struct {
        const char *name;
        Bytes data, head;  // the head up to the entry's size
        std::vector<int32_t> commands;
    } saves[] = {
        {"a.cur.ico", data, {0, 0, 1, 0, 1, 0, 32, 32, 16, 0, 0, 0, 0, 0}, {0, 0, 8}},
        {"odd.ico", data + Bytes{0xAB}, {0, 0, 1, 0, 1, 0, 32, 32, 16, 0, 0, 0, 0, 0}, {0, 0, 8}},
        {"mono.ico", iconData(16, 16, 1), {0, 0, 1, 0, 1, 0, 16, 16, 2, 0, 0, 0, 0, 0}, {0, 0, 8}},
        {"wide.ico", iconData(256, 48, 24), {0, 0, 1, 0, 1, 0, 0, 48, 0, 0, 0, 0, 0, 0}, {0, 0, 8}},
        {"Name.CuR", data, {0, 0, 2, 0, 1, 0, 32, 32, 16, 0, 9, 0, 21, 0}, {0, 0, 8, 12}},
    };
    for (const auto &s : saves) {
        ed.images[0].bytes = s.data;
        ed.calls.clear();
        ASSERT_EQ(saveAs(path(s.name)), CONV_OK) << s.name;
        EXPECT_EQ(ed.commands(), s.commands) << s.name;
        EXPECT_EQ(readBytes(path(s.name)), s.head + le32({uint32_t(s.data.size()), 22}) + s.data +
                                               (s.data.size() & 1 ? Bytes{0} : Bytes{}))
            << s.name;
    }
    EXPECT_EQ(std::make_tuple(ed.calls[0].value, ed.calls[2].value, ed.calls[3].value), std::make_tuple(HOST_QUERY_SIZE, 65535, -1));

    // Failures (short writes, refused memory and an editor without the
    // icon: the sweep): no file, no size told (and then nothing else asked).
    EXPECT_EQ(saveAs(path("no/such/dir/f.ico")), CONV_E_CREATE);
    ed.hasImage = false;
    ed.calls.clear();
    EXPECT_EQ(saveAs(path("d.ico")), CONV_E_MEMORY);
    EXPECT_EQ(ed.commands(), std::vector<int32_t>{0});
}

TEST_F(IcoFiles, LoadHandsTheIconThenAsksTheCountThenHotspotAndName) {
    Entry small = entry(16, 16, 4, 1, 1, 2), big = entry(32, 32, 4, 2, 12, 30);
    std::string cur = writeFile("pointer.cur", iconFile(2, {small, big}));
    FakeEditor ed;
    ed.addFrame(makeDib(8, 8, 8));  // one image already there: the new one is index 1
    ASSERT_EQ(loadCursor(cur, true), CONV_OK);
    ASSERT_EQ(ed.commands(), (std::vector<int32_t>{9, 0, 13, 21}));
    EXPECT_EQ(std::make_tuple(ed.calls[0].value, ed.calls[1].value, ed.calls[2].param, ed.calls[2].value, ed.calls[3].value),
              std::make_tuple(17, HOST_QUERY_COUNT, 12 | (30 << 16), 1, 132 * 256 + 1));
    EXPECT_EQ(ed.notes.at(0).fileName, cur);
    EXPECT_EQ(ed.images[1].bytes, big.data);

    // An icon hands hotspot 0; the index wraps into 8 bits in the name value.
    std::string ico = writeFile("pointer.ico", iconFile(1, {small, big}));
    FakeEditor ed2;
    ed2.answerQuery(HOST_QUERY_COUNT, 300);
    ASSERT_EQ(loadCursor(ico, true), CONV_OK);
    EXPECT_EQ(std::make_tuple(ed2.calls.at(2).param, ed2.calls[2].value, ed2.calls.at(3).value),
              std::make_tuple(0, 299, 132 * 256 + 43));
    FakeEditor ed3;  // a refusal ends it
    ed3.refuse(HOST_ADD_ICON);
    EXPECT_EQ(loadCursor(ico, true), CONV_CANCELLED);
    EXPECT_EQ(ed3.commands(), (std::vector<int32_t>{9}));

    // The detector takes a first word of 0 and rewinds for the detectors after it.
    for (const Bytes &b : {Bytes{0, 0, 1}, Bytes{1, 0, 0, 0}, Bytes{0}}) {
        vc::plat::File f;
        ASSERT_TRUE(f.open(writeFile("detect.bin", b).c_str()));
        ASSERT_TRUE(f.seekTo(3));
        EXPECT_EQ(vc::IsIconFile(f.handle()), b.size() == 3);
        EXPECT_EQ(f.position(), 0);
    }
}

// Each hostile file holds no image the editor can take: notFormat from the
// core. Through the exports a load answers that too and adds nothing; a
// preview answers CONV_E_READ when even the header and one entry are not
// there and CONV_E_DATA otherwise; no leaks.
TEST_F(IcoFiles, HostileFilesGetTheirResultsAndLeakNothing) {
    Bytes one = iconFile(1, {entry(32, 32, 4)});
    std::vector<Bytes> bad = {Bytes{}, Bytes{0, 0, 1, 0}, iconFile(1, {}), iconFile(1, {entry(32, 32, 4)}, 0),
                              Bytes(one.begin(), one.begin() + 16),  // entry cut in the middle
                              Bytes(one.begin(), one.end() - 1)};    // last mask byte missing
    auto with = [&](auto change) {
        Entry e = entry(32, 32, 4);
        change(e);
        bad.push_back(iconFile(1, {e}));
    };
    with([](Entry &e) { e.width = e.height = 0, e.colors = 0, put32(e.data, 4, 0); });  // no size anywhere
    with([](Entry &e) { e.offset = 1u << 31; });                            // data outside the file
    with([](Entry &e) { e.offset = uint32_t(22 + e.data.size()); });        // exactly at the end
    with([](Entry &e) { std::memcpy(e.data.data(), "\x89PNG\r\n\x1a\n", 8); });  // compressed
    with([](Entry &e) { put16(e.data, 14, 16); });                          // a depth the editor never takes
    with([](Entry &e) { put32(e.data, 32, 0x10000); });                     // colour table too big
    for (size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(choose(bad[i]).result, vc::Result::notFormat) << "case " << i;
    FakeEditor ed;
    ConvImageRecord rec{};
    for (const Bytes &b : {bad[1], bad.back()}) {
        const std::string f = writeFile("bad.ico", b);
        rec.image = reinterpret_cast<void *>(0x1);
        EXPECT_EQ(std::make_tuple(vc::LoadIconFile(f.c_str(), nullptr, FakeEditor::callback()), vc::PreviewIconFile(f.c_str(), &rec)),
                  std::make_tuple(vc::Result::notFormat, b.size() < 22 ? vc::Result::readFailed : vc::Result::damaged));
        EXPECT_EQ(std::make_tuple(rec.image, ed.images.size()), std::make_tuple(static_cast<void *>(nullptr), size_t(0)));
    }
    // The picker on a block: nothing from none; a cursor's image moved to the
    // start, with its hotspot and size.
    vc::plat::Block none, block;
    const Bytes cur = iconFile(2, {entry(16, 16, 4, 1, 5, 6)});
    ASSERT_TRUE(block.alloc(cur.size()));
    std::copy(cur.begin(), cur.end(), block.data());
    uint32_t hotspot = 0;
    size_t size = 0;
    EXPECT_EQ(std::make_tuple(vc::PickIconImage(none, nullptr, 100), vc::PickIconImage(block, &hotspot, cur.size(), &size)),
              std::make_tuple(0, 1));
    EXPECT_EQ(std::make_tuple(hotspot, size, Bytes(block.data(), block.data() + size)),
              std::make_tuple(5u | 6u << 16, cur.size() - 22, Bytes(cur.begin() + 22, cur.end())));
    EXPECT_EQ(vc::LoadIconFile(path("missing.ico").c_str(), nullptr, FakeEditor::callback()), vc::Result::openFailed);
    EXPECT_EQ(vc::PreviewIconFile(path("missing.ico").c_str(), &rec), vc::Result::readFailed);
}
