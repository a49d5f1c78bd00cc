// Icon and cursor files: the picking rule, hostile directories, the bytes we
// write, loads, previews and saves through the exports, real files from
// Debian packages, and what independent readers make of what we write.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "cursor/cursor_format.h"
#include "cursor/ico.h"
#include "entry/image_block.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "velmconv/headless.h"

using namespace vctest;
using Bytes = std::vector<uint8_t>;

namespace {

void put16(Bytes &b, size_t at, uint16_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
void put32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
uint16_t get16(const Bytes &b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t get32(const Bytes &b, size_t at) { return get16(b, at) | uint32_t(get16(b, at + 2)) << 16; }
Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Icon image data whose colour rows hold `tag`, so a test can tell images apart.
Bytes iconData(int w, int h, int bits, uint8_t tag = 0) {
    Bytes dib = makeDib(w, h, uint16_t(bits));
    Bytes icon = iconFromDib(dib);
    size_t bitsAt = 40 + 4 * vc::dibColorCount(0, uint32_t(bits));
    std::memset(icon.data() + bitsAt, tag, dib.size() - bitsAt);
    return icon;
}

struct Entry {
    uint8_t width, height, colors;
    uint16_t planesOrX, bitsOrY;
    Bytes data;
    std::optional<uint32_t> size, offset;  // override what is stored
};
Entry entry(int w, int h, int bits, uint8_t tag = 0) {
    return Entry{uint8_t(w), uint8_t(h), uint8_t(bits < 8 ? 1 << bits : 0), 1, uint16_t(bits), iconData(w, h, bits, tag), {}, {}};
}

// An icon file of the given type with the entries' data laid out in order.
Bytes iconFile(uint16_t type, const std::vector<Entry> &entries, std::optional<uint16_t> count = {}) {
    Bytes out(6 + 16 * entries.size());
    put16(out, 2, type);
    put16(out, 4, count ? *count : uint16_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        size_t at = 6 + 16 * i;
        out[at] = e.width, out[at + 1] = e.height, out[at + 2] = e.colors;
        put16(out, at + 4, e.planesOrX);
        put16(out, at + 6, e.bitsOrY);
        put32(out, at + 8, e.size ? *e.size : uint32_t(e.data.size()));
        put32(out, at + 12, e.offset ? *e.offset : uint32_t(out.size()));
        out = out + e.data;
    }
    return out;
}

struct Picked {
    int result;
    uint32_t hotspot;
    size_t size;
    Bytes bytes;
    uint8_t tag() const { return bytes[40 + 4 * vc::dibColorCount(get32(bytes, 32), get16(bytes, 14))]; }
};
Picked pick(Bytes file) {
    Picked p{0, 0xDEADBEEF, 0, {}};
    p.result = vc::PickIconImage(file.data(), &p.hotspot, file.size(), &p.size);
    p.bytes = std::move(file);
    return p;
}

const std::string kWxImages = "/usr/share/doc/wx3.2-examples/examples/samples/image/";
const std::string kSdlImages = "/usr/libexec/installed-tests/SDL2_image/";
const char *const kNsisIcons = "/usr/share/nsis/Contrib/Graphics/Icons/";

std::string run(const std::string &cmd) {
    std::string out;
    std::FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    return out;
}

// ImageMagick's count of differing pixels between image `index` of a file
// and the first image of ours, both flattened on magenta so that what lies
// under a transparent pixel does not count.
std::string magickDifference(const std::string &file, int index, const std::string &ours, const std::string &dir) {
    const std::string flat = " -background '#FF00FF' -alpha remove -alpha off PNG24:";
    run("/usr/bin/convert '" + file + "[" + std::to_string(index) + "]'" + flat + dir + "/a.png");
    run("/usr/bin/convert '" + ours + "[0]'" + flat + dir + "/b.png");
    return run("/usr/bin/compare -metric AE " + dir + "/a.png " + dir + "/b.png null: 2>&1");
}

class IcoFiles : public LibraryTest {
protected:
    Bytes readBack(const std::string &p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    Bytes write(const Bytes &data, uint32_t hotspot, bool cursor) {
        vc::HFile f = vc::plat::fileCreate(path("w.ico").c_str(), 0);
        EXPECT_NE(vc::WriteIconFile(f, data.data(), uint32_t(data.size()), hotspot, cursor), 0);
        vc::plat::fileClose(f);
        return readBack(path("w.ico"));
    }
    int32_t saveAs(const std::string &p) { return SaveConvImage(nullptr, p.c_str(), nullptr, 132, 0, FakeEditor::callback()); }
    int32_t load(const std::string &p, uint8_t *fmt = nullptr) {
        ConvImageRecord rec{};
        rec.image = reinterpret_cast<void *>(0x1234);
        uint8_t f = 0;
        int32_t r = LoadConvImage(nullptr, p.c_str(), &rec, fmt ? fmt : &f, 0, FakeEditor::callback());
        EXPECT_EQ(rec.image, nullptr);  // icons go through the callback only
        return r;
    }
};

}  // namespace

TEST(IcoPick, ChoosesByColoursThenAreaInFileOrderAndHandsTheHotspot) {
    struct Case {
        std::vector<std::array<int, 3>> images;  // w, h, bits; tagged 1, 2, ...
        uint8_t tag;
    } cases[] = {
        {{{16, 16, 4}, {32, 32, 4}}, 2},  // more pixels
        {{{32, 32, 1}, {32, 32, 4}}, 2},  // more colours at the same area
        {{{32, 32, 4}, {32, 32, 8}}, 1},  // colour byte 0 does not win at the same area...
        {{{32, 32, 4}, {48, 48, 8}}, 2},  // ...only by area
        {{{32, 32, 8}, {32, 32, 1}}, 1},  // once chosen, the best count is at least 2
        {{{32, 32, 8}, {16, 16, 4}}, 2},
    };
    for (const Case &c : cases) {
        std::vector<Entry> entries;
        for (const auto &i : c.images) entries.push_back(entry(i[0], i[1], i[2], uint8_t(entries.size() + 1)));
        Picked p = pick(iconFile(1, entries));
        ASSERT_EQ(p.result, 1);
        EXPECT_EQ(p.tag(), c.tag) << c.images[0][2] << "/" << c.images[1][2];
        EXPECT_EQ(p.hotspot, 0u);
    }
    Entry small = entry(16, 16, 1, 1), big = entry(32, 32, 1, 2);
    small.planesOrX = 3, small.bitsOrY = 4, big.planesOrX = 31, big.bitsOrY = 7;
    EXPECT_EQ(pick(iconFile(2, {small, big})).hotspot, 31u | (7u << 16));
    EXPECT_EQ(pick(iconFile(1, {small, big})).hotspot, 0u);

    // Size 0 reaches the end of the file; a size past the end is cut to it.
    for (uint32_t size : {0u, 1u << 30}) {
        big.size = size;
        Picked p = pick(iconFile(1, {big}));
        ASSERT_EQ(p.result, 1);
        EXPECT_EQ(p.size, big.data.size());
    }
}

TEST_F(IcoFiles, SaveWritesHeaderOneEntryDataAndPadWithItsCallbacks) {
    UiRecorder ui;
    Bytes data = iconData(32, 32, 4, 7);  // 744 bytes: no pad
    FakeEditor ed;
    ed.addIcon(data);
    ed.hotspots[0] = 9 | (21u << 16);
    ASSERT_EQ(saveAs(path("Name.CuR")), 1);
    EXPECT_TRUE(ui.dialogs.empty());  // 32x32 needs no question
    ASSERT_EQ(ed.commands(), (std::vector<int32_t>{0, 0, 8, 12}));
    EXPECT_EQ(ed.calls[0].value, HOST_QUERY_SIZE);
    EXPECT_EQ(ed.calls[2].value, 65535);
    EXPECT_EQ(ed.calls[3].value, -1);
    Bytes head = {0, 0, 2, 0, 1, 0, 32, 32, 16, 0, 9, 0, 21, 0, 0xE8, 0x02, 0, 0, 22, 0, 0, 0};
    EXPECT_EQ(readBack(path("Name.CuR")), head + data);

    // ".cur" inside the name is still an icon: type 1, no hotspot asked or written.
    FakeEditor ed2;
    ed2.addIcon(data);
    ed2.hotspots[0] = 9;
    ASSERT_EQ(saveAs(path("a.cur.ico")), 1);
    EXPECT_EQ(ed2.commands(), (std::vector<int32_t>{0, 0, 8}));
    head[2] = 1, head[10] = head[12] = 0;
    EXPECT_EQ(readBack(path("a.cur.ico")), head + data);

    // Odd data gets one 0 byte that the entry's size leaves out.
    Bytes padded = write(data + Bytes{0xAB}, 0, true);
    ASSERT_EQ(padded.size(), 22u + 746u);
    EXPECT_EQ(get32(padded, 14), 745u);
    EXPECT_EQ(padded[22 + 744], 0xAB);
    EXPECT_EQ(padded.back(), 0);
    // Colour byte from the depth; width and height keep their low 8 bits.
    EXPECT_EQ(write(iconData(16, 16, 1), 0, false)[8], 2);
    Bytes wide = write(iconData(256, 48, 24), 0, false);
    EXPECT_EQ(Bytes(wide.begin() + 6, wide.begin() + 9), (Bytes{0, 48, 0}));
}

TEST_F(IcoFiles, SaveAsksTheSizeForOddImagesAndFailsCleanly) {
    UiRecorder ui;
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.addIcon(iconData(48, 48, 4));
    const std::pair<intptr_t, int> answers[] = {{VC_DIALOG_DEFAULT, 32}, {vc::kCursorSizeKeep, 48}};
    for (auto [answer, width] : answers) {
        ui.dialogAnswer = [a = answer](int32_t, void *) -> intptr_t { return a; };
        ASSERT_EQ(saveAs(path("a.ico")), 1);
        EXPECT_EQ(ed.iconRequests.back().width, width);
        EXPECT_EQ(ed.iconRequests.back().height, width);
    }
    EXPECT_EQ(ui.dialogs, std::vector<int32_t>(2, 107));
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(saveAs(path("c.ico")), 0);
    EXPECT_EQ(ed.iconRequests.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(path("c.ico")));
    ui.dialogAnswer = nullptr;

    FakeEditor noSize;
    noSize.hasImage = false;
    EXPECT_EQ(saveAs(path("d.ico")), CONV_E_MEMORY);
    EXPECT_EQ(noSize.commands(), std::vector<int32_t>{0});
    FakeEditor noImage;  // 32x32 reported, no image held
    EXPECT_EQ(saveAs(path("e.ico")), CONV_E_MEMORY);
    EXPECT_FALSE(std::filesystem::exists(path("e.ico")));

    // No file; a short write leaves what was written and the editor untouched.
    FakeEditor ed2;
    ed2.addIcon(iconData(32, 32, 4));
    EXPECT_EQ(saveAs(path("no/such/dir/f.ico")), CONV_E_CREATE);
    vc::plat::fileFailWritesAfter(100);
    EXPECT_EQ(saveAs(path("g.cur")), CONV_E_WRITE);
    vc::plat::fileFailWritesAfter(-1);
    EXPECT_EQ(readBack(path("g.cur")).size(), 100u);
    EXPECT_EQ(ed2.images.size(), 1u);
    EXPECT_EQ(ed2.count(HOST_SET_HOTSPOT), 0u);
}

TEST_F(IcoFiles, LoadHandsTheIconThenAsksTheCountThenHotspotAndName) {
    Entry small = entry(16, 16, 4, 1), big = entry(32, 32, 4, 2);
    small.planesOrX = 1, small.bitsOrY = 2, big.planesOrX = 12, big.bitsOrY = 30;
    std::string cur = writeFile("pointer.cur", iconFile(2, {small, big}));
    FakeEditor ed;
    ed.addFrame(makeDib(8, 8, 8));  // one image already there: the new one is index 1
    uint8_t fmt = 0;
    ASSERT_EQ(load(cur, &fmt), 1);
    EXPECT_EQ(fmt, 132);
    ASSERT_EQ(ed.commands(), (std::vector<int32_t>{9, 0, 13, 21}));
    EXPECT_EQ(ed.calls[0].value, 17);
    EXPECT_EQ(ed.calls[1].value, HOST_QUERY_COUNT);
    EXPECT_EQ(ed.calls[2].param, intptr_t(12 | (30 << 16)));
    EXPECT_EQ(ed.calls[2].value, 1);
    EXPECT_EQ(ed.calls[3].value, 132 * 256 + 1);
    EXPECT_EQ(ed.notes.at(0).fileName, cur);
    EXPECT_TRUE(ed.images.at(1).icon);
    EXPECT_EQ(ed.images[1].bytes, big.data);

    // An icon hands hotspot 0; the index wraps into 8 bits in the name value.
    std::string ico = writeFile("pointer.ico", iconFile(1, {small, big}));
    FakeEditor ed2;
    ed2.answerQuery(HOST_QUERY_COUNT, 300);
    ASSERT_EQ(load(ico), 1);
    EXPECT_EQ(ed2.calls.at(2).param, 0);
    EXPECT_EQ(ed2.calls[2].value, 299);
    EXPECT_EQ(ed2.calls.at(3).value, 132 * 256 + (299 & 255));
    // A refusal ends it.
    FakeEditor ed4;
    ed4.refuse(HOST_ADD_ICON);
    EXPECT_EQ(load(ico), 0);
    EXPECT_EQ(ed4.commands(), (std::vector<int32_t>{9}));
}

TEST_F(IcoFiles, PreviewHalvesTheHeightFillsTheColourCountAndReadsPastTheOldLimit) {
    struct Case {
        std::vector<Entry> entries;
        int w;
        uint32_t clrUsed, offset;
    } cases[] = {
        {{entry(32, 32, 4, 3)}, 32, 16, 104},
        {{entry(16, 16, 1, 3)}, 16, 2, 48},
        {{entry(48, 48, 8, 3)}, 48, 256, 1064},
        {{entry(32, 32, 24, 3)}, 32, 0, 40},
        // The chosen image lies beyond the first kIconPreviewReadLimit bytes.
        {{entry(128, 128, 24, 5), entry(128, 128, 24, 5), entry(144, 144, 4, 3)}, 144, 16, 104},
    };
    for (const Case &c : cases) {
        std::string p = writeFile("p.ico", iconFile(1, c.entries));
        ConvImageRecord rec{};
        ASSERT_EQ(GetPreviewImage(p.c_str(), &rec), 1) << c.w;
        EXPECT_EQ(rec.bitsOffset, c.offset);
        const auto *h = static_cast<const ConvBitmapInfoHeader *>(VcMemLock(rec.image));
        EXPECT_EQ(h->biWidth, c.w);
        EXPECT_EQ(h->biHeight, c.w);
        EXPECT_EQ(h->biClrUsed, c.clrUsed);
        EXPECT_EQ(reinterpret_cast<const uint8_t *>(h)[c.offset], 3);  // first colour row
        VcMemUnlock(rec.image);
        VcMemFree(rec.image);
    }
}

// Each hostile file: the picker answers 0 and moves nothing, a load answers
// CONV_E_FORMAT and adds nothing, a preview answers CONV_E_READ when even the
// header and one entry are not there and CONV_E_DATA otherwise; no leaks.
TEST_F(IcoFiles, HostileFilesGetTheirResultsAndLeakNothing) {
    std::vector<Bytes> bad = {Bytes{}, Bytes{0, 0, 1, 0}, iconFile(1, {}), iconFile(1, {entry(32, 32, 4)}, 0)};
    bad.push_back(iconFile(1, {entry(32, 32, 4)}));
    bad.back().resize(6 + 10);  // entry cut in the middle
    bad.push_back(iconFile(1, {entry(32, 32, 4)}));
    bad.back().pop_back();  // last mask byte missing
    auto with = [&](auto change) {
        Entry e = entry(32, 32, 4);
        change(e);
        bad.push_back(iconFile(1, {e}));
    };
    with([](Entry &e) { e.width = e.height = 0, e.colors = 0; });           // no colours, no area
    with([](Entry &e) { e.offset = 1u << 31; });                            // data outside the file
    with([](Entry &e) { e.offset = uint32_t(22 + e.data.size()); });        // exactly at the end
    with([](Entry &e) { std::memcpy(e.data.data(), "\x89PNG\r\n\x1a\n", 8); });  // compressed
    with([](Entry &e) { put32(e.data, 4, 0x7FFFFFFF); });                   // width beyond any file
    with([](Entry &e) { put16(e.data, 14, 16); });                          // a depth the editor never takes
    with([](Entry &e) { put32(e.data, 32, 0x10000); });                     // colour table too big
    FakeEditor ed;
    ConvImageRecord rec{};
    for (size_t i = 0; i < bad.size(); ++i) {
        Picked p = pick(bad[i]);
        EXPECT_EQ(p.result, 0) << "case " << i;
        EXPECT_EQ(p.hotspot, 0xDEADBEEFu) << "case " << i;
        EXPECT_EQ(p.bytes, bad[i]) << "case " << i;
        std::string f = writeFile("bad.ico", bad[i]);
        EXPECT_EQ(vc::LoadIconFile(f.c_str(), nullptr, FakeEditor::callback()), CONV_E_FORMAT) << "case " << i;
        rec.image = reinterpret_cast<void *>(0x1);
        EXPECT_EQ(vc::PreviewIconFile(f.c_str(), &rec), bad[i].size() < 22 ? CONV_E_READ : CONV_E_DATA) << "case " << i;
        EXPECT_EQ(rec.image, nullptr);
    }
    EXPECT_EQ(ed.count(HOST_ADD_ICON), 0u);
    EXPECT_EQ(vc::PickIconImage(nullptr, nullptr, 100), 0);
    EXPECT_EQ(vc::LoadIconFile(path("missing.ico").c_str(), nullptr, FakeEditor::callback()), CONV_E_OPEN);
    EXPECT_EQ(vc::PreviewIconFile(path("missing.ico").c_str(), &rec), CONV_E_READ);
    std::string good = writeFile("good.ico", iconFile(1, {entry(32, 32, 4)}));
    vc::plat::memFailAt(1);
    EXPECT_EQ(vc::LoadIconFile(good.c_str(), nullptr, FakeEditor::callback()), CONV_E_MEMORY);
    vc::plat::memFailAt(1);
    EXPECT_EQ(vc::PreviewIconFile(good.c_str(), &rec), CONV_E_MEMORY);
    vc::plat::memFailAt(0);
}

TEST_F(IcoFiles, DetectorReadsTheFirstWordAndRewinds) {
    // The detector reads the first word and leaves the file at its start for
    // the detectors after it.
    for (const Bytes &b : {Bytes{0, 0, 1}, Bytes{1, 0, 0, 0}, Bytes{0}, Bytes{}}) {
        std::string d = writeFile("detect.bin", b);
        vc::HFile f = vc::plat::fileOpen(d.c_str(), vc::plat::kOpenRead);
        vc::plat::fileSeek(f, 3, vc::plat::kSeekSet);
        EXPECT_EQ(vc::IsIconFile(f), b.size() >= 2 && b[0] == 0 && b[1] == 0);
        EXPECT_EQ(vc::plat::fileSeek(f, 0, vc::plat::kSeekCur), 0);
        vc::plat::fileClose(f);
    }
    uint8_t fmt = 0;
    EXPECT_EQ(DetectFileFormat(writeFile("good.ico", iconFile(1, {entry(32, 32, 4)})).c_str(), &fmt, 1), 1);
    EXPECT_EQ(fmt, 132);
}

// ---- Real files that nobody here wrote, and independent readers ---------------------------

// Each loads the documented image and previews it; saved back at its own
// size, icotool lists the same type, size, depth and hotspot and ImageMagick
// sees the same pixels as in the original.
TEST_F(IcoFiles, RealFilesLoadAndSaveAsIndependentToolsSeeThem) {
    struct Case {
        std::string file;
        int index, width, height, bits;
        uint32_t hotspot;
    } cases[] = {
        {kWxImages + "horse.ico", 0, 32, 32, 4, 0},
        {kWxImages + "horse.cur", 0, 32, 32, 1, 16 | (23u << 16)},
        {kSdlImages + "sample.ico", 0, 23, 42, 24, 0},
        {kSdlImages + "sample.cur", 0, 23, 42, 24, 1 | (24u << 16)},
        {std::string(kNsisIcons) + "classic-install.ico", 1, 32, 32, 4, 0},
        // 32x32x4, 16x16x4, 256x256 compressed (size bytes 0), 48x48x8, ...
        {std::string(kNsisIcons) + "nsis3-install.ico", 3, 48, 48, 8, 0},
        {std::string(kNsisIcons) + "orange-install.ico", 4, 48, 48, 4, 0},
        {std::string(kNsisIcons) + "pixel-install.ico", 2, 32, 32, 8, 0},
        // 64x64x32 after a compressed entry: handed as 24 bits, rows repacked.
        {std::string(kNsisIcons) + "nsis-menu.ico", 5, 64, 64, 24, 0},
    };
    bool tools = access("/usr/bin/compare", X_OK) == 0 && access("/usr/bin/icotool", X_OK) == 0;
    UiRecorder ui;
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return vc::kCursorSizeKeep; };
    for (const Case &c : cases) {
        if (access(c.file.c_str(), R_OK) != 0) GTEST_SKIP() << c.file << " is not installed";
        FakeEditor ed;
        uint8_t fmt = 0;
        ASSERT_EQ(load(c.file, &fmt), 1) << c.file;
        EXPECT_EQ(fmt, 132);
        ASSERT_EQ(ed.images.size(), 1u);
        const Bytes icon = ed.images[0].bytes;
        EXPECT_EQ(int(get32(icon, 4)), c.width) << c.file;
        EXPECT_EQ(int(get32(icon, 8)), 2 * c.height) << c.file;
        EXPECT_EQ(get16(icon, 14), c.bits) << c.file;
        EXPECT_EQ(ed.hotspots[0], c.hotspot) << c.file;

        ConvImageRecord rec{};
        ASSERT_EQ(GetPreviewImage(c.file.c_str(), &rec), 1);
        auto *h = static_cast<const ConvBitmapInfoHeader *>(VcMemLock(rec.image));
        EXPECT_EQ(h->biHeight, c.height);
        EXPECT_EQ(0, std::memcmp(reinterpret_cast<const uint8_t *>(h) + rec.bitsOffset, icon.data() + rec.bitsOffset,
                                 vc::dibRowBytes(c.width, c.bits) * c.height));
        VcMemUnlock(rec.image);
        VcMemFree(rec.image);

        bool cursor = c.hotspot != 0 || c.file.find(".cur") != std::string::npos;
        std::string out = path(cursor ? "out.cur" : "out.ico");
        ed.imageWidth = uint16_t(c.width), ed.imageHeight = uint16_t(c.height);
        ASSERT_EQ(saveAs(out), 1) << c.file;
        EXPECT_EQ(readBack(out).size(), vc::iconFileBytes(icon.size()));
        if (!tools) continue;
        std::string listing = std::string(cursor ? "--cursor" : "--icon") + " --index=1 --width=" + std::to_string(c.width) +
                              " --height=" + std::to_string(c.height) + " --bit-depth=" + std::to_string(c.bits) +
                              " --palette-size=" + std::to_string(c.bits <= 8 ? 1 << c.bits : 0);
        if (cursor)
            listing += " --hotspot-x=" + std::to_string(c.hotspot & 0xFFFF) + " --hotspot-y=" + std::to_string(c.hotspot >> 16);
        EXPECT_EQ(run("/usr/bin/icotool -l '" + out + "' 2>/dev/null"), listing + "\n") << c.file;
        EXPECT_EQ(magickDifference(c.file, c.index, out, path("")), "0") << c.file;
    }
    // Every icon of the NSIS set loads at a depth the editor takes, and previews.
    std::error_code ec;
    int files = 0;
    for (const auto &de : std::filesystem::directory_iterator(kNsisIcons, ec)) {
        if (de.path().extension() != ".ico") continue;
        ++files;
        FakeEditor ed;
        std::string f = de.path().string();
        EXPECT_EQ(load(f), 1) << f;
        ASSERT_EQ(ed.images.size(), 1u) << f;
        int bits = get16(ed.images[0].bytes, 14);
        EXPECT_TRUE(bits == 4 || bits == 8 || bits == 24) << f;
        ConvImageRecord rec{};
        ASSERT_EQ(GetPreviewImage(f.c_str(), &rec), 1) << f;
        VcMemFree(rec.image);
    }
    EXPECT_GE(files, 30);
}

TEST_F(IcoFiles, HostAnswersTheSizeQuestionFromItsOptions) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string vc = (self.parent_path().parent_path() / "host" / "velmconv").string();
    std::string sample = kSdlImages + "sample.cur";
    if (access(vc.c_str(), X_OK) != 0 || access(sample.c_str(), R_OK) != 0 || access("/usr/bin/icotool", X_OK) != 0)
        GTEST_SKIP() << "needs the built host, sample.cur and icoutils";
    const std::pair<std::string, std::string> cases[] = {
        {"--cursor-size keep", "--width=23 --height=42"},
        {"--cursor-size 64", "--width=64 --height=64"},
        {"", "--width=32 --height=32"},  // Enter: "32 x 32  (recommended)"
        {"--cancel 107", ""},
    };
    for (const auto &[options, size] : cases) {
        std::string out = path("host.cur");
        std::remove(out.c_str());
        std::string r = run(vc + " convert --quiet --no-parent " + options + " " + sample + " " + out + " 2>&1; echo rc=$?");
        EXPECT_NE(r.find(size.empty() ? "rc=1" : "rc=0"), std::string::npos) << options << ": " << r;
        EXPECT_EQ(std::filesystem::exists(out), !size.empty()) << options;
        if (size.empty()) continue;
        std::string listing = run("/usr/bin/icotool -l " + out + " 2>/dev/null");
        EXPECT_NE(listing.find(size + " --bit-depth"), std::string::npos) << options << ": " << listing;
        EXPECT_NE(listing.find("--hotspot-x=1 --hotspot-y=24"), std::string::npos) << listing;
    }
}
