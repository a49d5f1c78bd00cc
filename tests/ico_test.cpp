// Icon and cursor files: the picker, the one-image writer, loading,
// previews and saving through the exports, real files from Debian packages,
// and what independent readers make of what we write.
#include <gtest/gtest.h>

#include <cstdlib>
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
#include "host/image.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "velmconv/headless.h"

using namespace vctest;
using Bytes = std::vector<uint8_t>;

namespace {

void put16(Bytes &b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
uint16_t get16(const Bytes &b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t get32(const Bytes &b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

// Icon image data of a w x h image at the given depth, colour rows filled
// with a byte that names it so a test can tell which image was moved.
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

// An icon file of the given type with the entries' data laid out in order.
Bytes iconFile(uint16_t type, const std::vector<Entry> &entries, std::optional<uint16_t> count = {}) {
    Bytes out(6 + 16 * entries.size());
    put16(out, 2, type);
    put16(out, 4, count ? *count : uint16_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        size_t at = 6 + 16 * i;
        out[at] = e.width;
        out[at + 1] = e.height;
        out[at + 2] = e.colors;
        put16(out, at + 4, e.planesOrX);
        put16(out, at + 6, e.bitsOrY);
        put32(out, at + 8, e.size ? *e.size : uint32_t(e.data.size()));
        put32(out, at + 12, e.offset ? *e.offset : uint32_t(out.size()));
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    return out;
}

Entry entry(int w, int h, int bits, uint8_t tag = 0) {
    return Entry{uint8_t(w), uint8_t(h), uint8_t(bits < 8 ? 1 << bits : 0), 1, uint16_t(bits), iconData(w, h, bits, tag), {}, {}};
}

struct Picked {
    int result;
    uint32_t hotspot;
    size_t size;
    Bytes bytes;
};
Picked pick(Bytes file) {
    Picked p{0, 0xDEADBEEF, 0, {}};
    p.result = vc::PickIconImage(file.data(), &p.hotspot, file.size(), &p.size);
    p.bytes = std::move(file);
    return p;
}
// Width and the colour-row tag of what the picker moved to the front.
int pickedWidth(const Picked &p) { return int(get32(p.bytes, 4)); }
uint8_t pickedTag(const Picked &p) {
    return p.bytes[40 + 4 * vc::dibColorCount(get32(p.bytes, 32), get16(p.bytes, 14))];
}

}  // namespace

// ---- The picking rule ------------------------------------------------------------

TEST(IcoPick, PrefersMoreColoursOrMorePixelsInFileOrder) {
    // 16x16x16 then 32x32x16: the bigger one.
    Picked a = pick(iconFile(1, {entry(16, 16, 4, 1), entry(32, 32, 4, 2)}));
    ASSERT_EQ(a.result, 1);
    EXPECT_EQ(pickedWidth(a), 32);
    EXPECT_EQ(pickedTag(a), 2);
    EXPECT_EQ(a.hotspot, 0u);  // an icon hands no hotspot
    EXPECT_EQ(a.size, iconData(32, 32, 4).size());

    // 32x32x2 then 32x32x16: more colours wins at the same area.
    Picked b = pick(iconFile(1, {entry(32, 32, 1, 1), entry(32, 32, 4, 2)}));
    ASSERT_EQ(b.result, 1);
    EXPECT_EQ(pickedTag(b), 2);
    EXPECT_EQ(get16(b.bytes, 14), 4);

    // 32x32x16 then 32x32 with colour byte 0: same area, 0 colours: kept.
    Picked c = pick(iconFile(1, {entry(32, 32, 4, 1), entry(32, 32, 8, 2)}));
    ASSERT_EQ(c.result, 1);
    EXPECT_EQ(pickedTag(c), 1);

    // Colour byte 0 wins only by area: a 48x48 256-colour image beats 32x32x16.
    Picked d = pick(iconFile(1, {entry(32, 32, 4, 1), entry(48, 48, 8, 2)}));
    EXPECT_EQ(pickedTag(d), 2);

    // The best colour count is at least 2 once chosen, so a later 2-colour
    // entry of the same area does not replace a 0-colour first one...
    Picked e = pick(iconFile(1, {entry(32, 32, 8, 1), entry(32, 32, 1, 2)}));
    EXPECT_EQ(pickedTag(e), 1);
    // ...but a 16-colour one does.
    Picked f = pick(iconFile(1, {entry(32, 32, 8, 1), entry(16, 16, 4, 2)}));
    EXPECT_EQ(pickedTag(f), 2);
}

TEST(IcoPick, CursorHandsTheChosenEntrysHotspot) {
    Entry small = entry(16, 16, 1, 1), big = entry(32, 32, 1, 2);
    small.planesOrX = 3, small.bitsOrY = 4;
    big.planesOrX = 31, big.bitsOrY = 7;
    Picked p = pick(iconFile(2, {small, big}));
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.hotspot, 31u | (7u << 16));
    // Type 1 ignores the same fields.
    Picked q = pick(iconFile(1, {small, big}));
    EXPECT_EQ(q.hotspot, 0u);
}

TEST(IcoPick, SizeZeroReachesTheEndAndPastTheEndIsCut) {
    Entry e = entry(32, 32, 4, 9);
    e.size = 0;
    Bytes file = iconFile(1, {e});
    Picked p = pick(file);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.size, file.size() - 22);
    EXPECT_EQ(pickedTag(p), 9);

    e.size = 1u << 30;  // far past the end: what is there still holds the image
    p = pick(iconFile(1, {e}));
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.size, e.data.size());
}

TEST(IcoPick, NoUsableImageAnswersZeroAndLeavesTheHotspot) {
    std::vector<Bytes> bad;
    bad.push_back(Bytes{});                                  // empty
    bad.push_back(Bytes{0, 0, 1, 0});                        // header cut short
    bad.push_back(iconFile(1, {}));                          // no images
    bad.push_back(iconFile(1, {entry(32, 32, 4)}, 0));       // count 0 with an entry
    Bytes dirCut = iconFile(1, {entry(32, 32, 4)});
    dirCut.resize(6 + 10);                                   // entry cut in the middle
    bad.push_back(dirCut);
    Entry zero = entry(32, 32, 8);                           // never chosen: no colours, no area
    zero.width = zero.height = 0;
    bad.push_back(iconFile(1, {zero}));
    Entry outside = entry(32, 32, 4);
    outside.offset = 1u << 31;                               // data outside the file
    bad.push_back(iconFile(1, {outside}));
    Entry atEnd = entry(32, 32, 4);
    atEnd.offset = uint32_t(6 + 16 + atEnd.data.size());     // exactly at the end
    bad.push_back(iconFile(1, {atEnd}));
    Bytes rowsCut = iconFile(1, {entry(32, 32, 4)});
    rowsCut.resize(rowsCut.size() - 1);                      // last mask byte missing
    bad.push_back(rowsCut);
    Entry png = entry(32, 32, 4);                            // a compressed entry
    const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    std::memcpy(png.data.data(), sig, 8);
    bad.push_back(iconFile(1, {png}));
    Entry huge = entry(32, 32, 4);
    put32(huge.data, 4, 0x7FFFFFFF);                         // width beyond any file
    bad.push_back(iconFile(1, {huge}));
    Entry deep = entry(32, 32, 4);
    put16(deep.data, 14, 16);                                // a depth the editor never takes
    bad.push_back(iconFile(1, {deep}));
    Entry manyColors = entry(32, 32, 8);
    put32(manyColors.data, 32, 0x10000);
    bad.push_back(iconFile(1, {manyColors}));

    for (size_t i = 0; i < bad.size(); ++i) {
        Bytes copy = bad[i];
        Picked p = pick(bad[i]);
        EXPECT_EQ(p.result, 0) << "case " << i;
        EXPECT_EQ(p.hotspot, 0xDEADBEEFu) << "case " << i;
        EXPECT_EQ(p.bytes, copy) << "case " << i << ": a refused pick moves nothing";
    }
    EXPECT_EQ(vc::PickIconImage(nullptr, nullptr, 100), 0);
}

// ---- The one-image writer -----------------------------------------------------------

namespace {
class IcoFiles : public LibraryTest {
protected:
    Bytes readBack(const std::string &p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // Writes data with WriteIconFile to a new file; returns the bytes.
    Bytes write(const Bytes &data, uint32_t hotspot, bool cursor, int *result = nullptr) {
        std::string p = path("w.ico");
        vc::HFile f = vc::plat::fileCreate(p.c_str(), 0);
        EXPECT_NE(f, vc::kFileError);
        int r = vc::WriteIconFile(f, data.data(), uint32_t(data.size()), hotspot, cursor);
        vc::plat::fileClose(f);
        if (result) *result = r;
        return readBack(p);
    }
};
}  // namespace

TEST_F(IcoFiles, WrittenBytesAreHeaderOneEntryDataAndPad) {
    Bytes data = iconData(32, 32, 4, 7);  // 40 + 64 + 512 + 128 = 744 bytes, even
    ASSERT_EQ(data.size(), 744u);
    Bytes cur = write(data, 5 | (9u << 16), true);
    const Bytes curHead = {0, 0, 2, 0, 1, 0,                  // reserved, cursor, one image
                           32, 32, 16, 0, 5, 0, 9, 0,          // 32x32, 16 colours, hotspot 5,9
                           0xE8, 0x02, 0, 0, 22, 0, 0, 0};     // 744 bytes at 22
    ASSERT_EQ(cur.size(), 22u + 744u);  // 766 is even: no pad
    EXPECT_EQ(Bytes(cur.begin(), cur.begin() + 22), curHead);
    EXPECT_EQ(Bytes(cur.begin() + 22, cur.end()), data);

    Bytes ico = write(data, 5 | (9u << 16), false);
    Bytes icoHead = curHead;
    icoHead[2] = 1;
    icoHead[10] = icoHead[12] = 0;  // no hotspot in an icon
    EXPECT_EQ(Bytes(ico.begin(), ico.begin() + 22), icoHead);

    // Odd data gets one 0 byte; the entry still says the data's own size.
    Bytes odd = data;
    odd.push_back(0xAB);
    Bytes padded = write(odd, 0, true);
    ASSERT_EQ(padded.size(), 22u + 745u + 1u);
    EXPECT_EQ(get32(padded, 14), 745u);
    EXPECT_EQ(padded[22 + 744], 0xAB);
    EXPECT_EQ(padded.back(), 0);
    EXPECT_EQ(vc::iconFileBytes(745), 768u);
    EXPECT_EQ(vc::iconFileBytes(744), 766u);

    // Colour byte from the depth: 2 for 1 bit, 0 for 8 and 24; the height
    // byte is half of biHeight; width and height keep their low 8 bits.
    EXPECT_EQ(write(iconData(16, 16, 1), 0, false)[8], 2);
    EXPECT_EQ(write(iconData(16, 16, 8), 0, false)[8], 0);
    Bytes wide = write(iconData(256, 48, 24), 0, false);
    EXPECT_EQ(wide[6], 0);
    EXPECT_EQ(wide[7], 48);
    EXPECT_EQ(wide[8], 0);
}

TEST_F(IcoFiles, WriterStopsAtTheFirstShortWrite) {
    Bytes odd = iconData(32, 32, 4);
    odd.push_back(1);
    for (long allowed : {0L, 21L, 22L, 500L, 767L}) {
        vc::plat::fileFailWritesAfter(allowed);
        int r = -1;
        Bytes got = write(odd, 0, true, &r);
        vc::plat::fileFailWritesAfter(-1);
        EXPECT_EQ(r, 0) << allowed;
        EXPECT_LE(got.size(), size_t(allowed)) << allowed;
    }
    int r = 0;
    write(odd, 0, true, &r);
    EXPECT_NE(r, 0);
}

// ---- The preview conversion ----------------------------------------------------------

TEST_F(IcoFiles, PreviewBlockHalvesTheHeightAndFillsTheColourCount) {
    struct Case {
        int w, h, bits;
        uint32_t clrUsed, offset;
    } cases[] = {{32, 32, 4, 16, 104}, {16, 16, 1, 2, 48}, {48, 48, 8, 256, 1064}, {32, 32, 24, 0, 40}};
    for (const Case &c : cases) {
        Bytes file = iconFile(1, {entry(c.w, c.h, c.bits, 3)});
        vc::MemHandle block = vc::plat::memAlloc(vc::plat::kMemMoveable, file.size());
        std::memcpy(vc::plat::memLock(block), file.data(), file.size());
        vc::plat::memUnlock(block);
        ConvImageRecord rec{};
        ASSERT_EQ(vc::PreviewIconBlock(block, file.size(), &rec), 1);
        ASSERT_EQ(rec.image, block);
        EXPECT_EQ(rec.bitsOffset, c.offset);
        const auto *h = static_cast<const ConvBitmapInfoHeader *>(vc::plat::memLock(block));
        EXPECT_EQ(h->biWidth, c.w);
        EXPECT_EQ(h->biHeight, c.h);
        EXPECT_EQ(h->biClrUsed, c.clrUsed);
        EXPECT_EQ(static_cast<const uint8_t *>(vc::plat::memLock(block))[c.offset], 3);  // first colour row
        vc::plat::memUnlock(block);
        vc::plat::memUnlock(block);
        vc::plat::memFree(block);
    }
    // A block without a usable image is freed (the fixture counts blocks).
    Bytes none = iconFile(1, {});
    vc::MemHandle block = vc::plat::memAlloc(vc::plat::kMemMoveable, none.size());
    std::memcpy(vc::plat::memLock(block), none.data(), none.size());
    vc::plat::memUnlock(block);
    ConvImageRecord rec{};
    EXPECT_EQ(vc::PreviewIconBlock(block, none.size(), &rec), CONV_E_DATA);
    EXPECT_EQ(rec.image, nullptr);
}

// ---- Loading, previewing and saving through the exports --------------------------------

namespace {
std::vector<int32_t> commandsOf(const FakeEditor &ed) { return ed.commands(); }
}  // namespace

TEST_F(IcoFiles, LoadHandsTheIconThenAsksTheCountThenHotspotAndName) {
    Entry small = entry(16, 16, 4, 1), big = entry(32, 32, 4, 2);
    small.planesOrX = 1, small.bitsOrY = 2;
    big.planesOrX = 12, big.bitsOrY = 30;
    std::string cur = writeFile("pointer.cur", iconFile(2, {small, big}));
    FakeEditor ed;
    ed.addFrame(makeDib(8, 8, 8));  // one image already there: the new one is index 1
    ConvImageRecord rec{};
    rec.image = reinterpret_cast<void *>(0x1234);
    uint8_t fmt = 0;
    ASSERT_EQ(LoadConvImage(nullptr, cur.c_str(), &rec, &fmt, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(fmt, 132);
    EXPECT_EQ(rec.image, nullptr);  // icons go through the callback only
    ASSERT_EQ(commandsOf(ed), (std::vector<int32_t>{9, 0, 13, 21}));
    EXPECT_EQ(ed.calls[0].value, 17);
    EXPECT_EQ(ed.calls[1].value, HOST_QUERY_COUNT);
    EXPECT_EQ(ed.calls[2].param, intptr_t(12 | (30 << 16)));
    EXPECT_EQ(ed.calls[2].value, 1);
    EXPECT_EQ(ed.calls[3].value, 132 * 256 + 1);
    ASSERT_EQ(ed.notes.size(), 1u);
    EXPECT_EQ(ed.notes[0].fileName, cur);
    ASSERT_EQ(ed.images.size(), 2u);
    EXPECT_TRUE(ed.images[1].icon);
    EXPECT_EQ(ed.images[1].bytes, big.data);

    // An icon file hands hotspot 0; the index wraps into 8 bits.
    std::string ico = writeFile("pointer.ico", iconFile(1, {small, big}));
    FakeEditor ed2;
    ed2.answerQuery(HOST_QUERY_COUNT, 300);
    ASSERT_EQ(LoadConvImage(nullptr, ico.c_str(), &rec, &fmt, 0, FakeEditor::callback()), 1);
    ASSERT_EQ(commandsOf(ed2), (std::vector<int32_t>{9, 0, 13, 21}));
    EXPECT_EQ(ed2.calls[2].param, 0);
    EXPECT_EQ(ed2.calls[2].value, 299);
    EXPECT_EQ(ed2.calls[3].value, 132 * 256 + (299 & 255));

    // A count of 0 after the hand-over: nothing is addressed.
    FakeEditor ed3;
    ed3.answerQuery(HOST_QUERY_COUNT, 0);
    EXPECT_EQ(LoadConvImage(nullptr, ico.c_str(), &rec, &fmt, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(commandsOf(ed3), (std::vector<int32_t>{9, 0}));

    // The editor refuses: result 0, nothing more asked.
    FakeEditor ed4;
    ed4.refuse(HOST_ADD_ICON);
    EXPECT_EQ(LoadConvImage(nullptr, ico.c_str(), &rec, &fmt, 0, FakeEditor::callback()), 0);
    EXPECT_EQ(commandsOf(ed4), (std::vector<int32_t>{9}));
}

TEST_F(IcoFiles, BadFilesGetTheirResultAndLeakNothing) {
    FakeEditor ed;
    ConvImageRecord rec{};
    uint8_t fmt = 0;
    auto load = [&](const Bytes &b) {
        std::string p = writeFile("bad.ico", b);
        return vc::LoadIconFile(p.c_str(), nullptr, FakeEditor::callback());
    };
    auto preview = [&](const Bytes &b) {
        std::string p = writeFile("bad.ico", b);
        rec.image = reinterpret_cast<void *>(0x1);
        int r = vc::PreviewIconFile(p.c_str(), &rec);
        if (rec.image) VcMemFree(rec.image);
        return r;
    };
    Entry outside = entry(32, 32, 4);
    outside.offset = 5000;
    Entry png = entry(32, 32, 4);
    png.data[0] = 0x89;
    Bytes truncated = iconFile(1, {entry(32, 32, 4)});
    truncated.resize(100);
    for (const Bytes &b : {iconFile(1, {}), iconFile(1, {outside}), iconFile(1, {png}), truncated,
                           Bytes{0, 0, 1, 0, 1, 0}}) {
        EXPECT_EQ(load(b), CONV_E_FORMAT);
        EXPECT_EQ(preview(b), b.size() < 22 ? CONV_E_READ : CONV_E_DATA);
    }
    EXPECT_EQ(ed.count(HOST_ADD_ICON), 0u);
    EXPECT_EQ(load(Bytes{}), CONV_E_FORMAT);
    EXPECT_EQ(preview(Bytes(21, 0)), CONV_E_READ);
    EXPECT_EQ(vc::LoadIconFile(path("missing.ico").c_str(), nullptr, FakeEditor::callback()), CONV_E_OPEN);
    EXPECT_EQ(vc::PreviewIconFile(path("missing.ico").c_str(), &rec), CONV_E_READ);
    EXPECT_EQ(rec.image, nullptr);

    // Memory refused for the file image.
    Bytes good = iconFile(1, {entry(32, 32, 4)});
    std::string p = writeFile("good.ico", good);
    vc::plat::memFailAt(1);
    EXPECT_EQ(vc::LoadIconFile(p.c_str(), nullptr, FakeEditor::callback()), CONV_E_MEMORY);
    vc::plat::memFailAt(1);
    EXPECT_EQ(vc::PreviewIconFile(p.c_str(), &rec), CONV_E_MEMORY);
    vc::plat::memFailAt(0);
    EXPECT_EQ(ed.count(HOST_ADD_ICON), 0u);

    // The detector reads the first word and leaves the file at its start,
    // for the detectors after it.
    for (const Bytes &b : {good, Bytes{1, 0, 0, 0}, Bytes{0}, Bytes{}}) {
        std::string d = writeFile("detect.bin", b);
        vc::HFile f = vc::plat::fileOpen(d.c_str(), vc::plat::kOpenRead);
        vc::plat::fileSeek(f, 3, vc::plat::kSeekSet);
        EXPECT_EQ(vc::IsIconFile(f), b.size() >= 2 && b[0] == 0 && b[1] == 0);
        EXPECT_EQ(vc::plat::fileSeek(f, 0, vc::plat::kSeekCur), 0);
        vc::plat::fileClose(f);
    }

    // Detection by content: a first word of 0 is an icon; the preview export
    // reaches the icon preview.
    EXPECT_EQ(DetectFileFormat(p.c_str(), &fmt, 1), 1);
    EXPECT_EQ(fmt, 132);
    ASSERT_EQ(GetPreviewImage(p.c_str(), &rec), 1);
    EXPECT_EQ(rec.bitsOffset, 104u);
    VcMemFree(rec.image);
}

TEST_F(IcoFiles, PreviewReadsImagesBeyondTheFirst65530Bytes) {
    // A big image first, the 32x32 16-colour one last and past the limit,
    // bigger in area so it is the one chosen.
    Entry filler = entry(128, 128, 24, 5);  // 40 + 49152 + 2048 bytes
    Entry last = entry(144, 144, 4, 6);
    Bytes file = iconFile(1, {filler, filler, last});
    ASSERT_GT(file.size() - last.data.size(), size_t(vc::kIconPreviewReadLimit));
    std::string p = writeFile("big.ico", file);
    ConvImageRecord rec{};
    ASSERT_EQ(vc::PreviewIconFile(p.c_str(), &rec), 1);
    auto *h = static_cast<const ConvBitmapInfoHeader *>(VcMemLock(rec.image));
    EXPECT_EQ(h->biWidth, 144);
    EXPECT_EQ(h->biHeight, 144);
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(h)[104], 6);
    VcMemUnlock(rec.image);
    VcMemFree(rec.image);
}

namespace {
// Saves the fake editor's current image through the export.
int32_t saveAs(const std::string &p) {
    return SaveConvImage(nullptr, p.c_str(), nullptr, 132, 0, FakeEditor::callback());
}
}  // namespace

TEST_F(IcoFiles, SaveWritesTheEditorsImageAsIconOrCursor) {
    UiRecorder ui;
    Bytes data = iconData(32, 32, 4, 7);
    FakeEditor ed;
    ed.addIcon(data);
    ed.hotspots[0] = 9 | (21u << 16);
    std::string cur = path("Name.CuR");
    ASSERT_EQ(saveAs(cur), 1);
    EXPECT_TRUE(ui.dialogs.empty());  // 32x32 needs no question
    ASSERT_EQ(commandsOf(ed), (std::vector<int32_t>{0, 0, 8, 12}));
    EXPECT_EQ(ed.calls[0].value, HOST_QUERY_SIZE);
    EXPECT_EQ(ed.calls[2].value, 65535);
    EXPECT_EQ(ed.calls[3].value, -1);
    ASSERT_EQ(ed.iconRequests.size(), 1u);
    EXPECT_EQ(ed.iconRequests[0].width, 32);
    EXPECT_EQ(ed.iconRequests[0].height, 32);
    Bytes written = readBack(cur);
    ASSERT_EQ(written.size(), 22 + data.size());
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 14),
              (Bytes{0, 0, 2, 0, 1, 0, 32, 32, 16, 0, 9, 0, 21, 0}));
    EXPECT_EQ(Bytes(written.begin() + 22, written.end()), data);

    FakeEditor ed2;
    ed2.addIcon(data);
    std::string ico = path("name.ico");
    ASSERT_EQ(saveAs(ico), 1);
    EXPECT_EQ(commandsOf(ed2), (std::vector<int32_t>{0, 0, 8}));  // no hotspot for an icon
    EXPECT_EQ(readBack(ico)[2], 1);
    // No extension, or ".cur" inside the name, is an icon.
    FakeEditor ed3;
    ed3.addIcon(data);
    ASSERT_EQ(saveAs(path("a.cur.ico")), 1);
    EXPECT_EQ(readBack(path("a.cur.ico"))[2], 1);
}

TEST_F(IcoFiles, SaveAsksTheSizeForOddImagesAndFailsCleanly) {
    UiRecorder ui;
    FakeEditor ed;
    ed.imageWidth = 48, ed.imageHeight = 48;
    ed.addIcon(iconData(48, 48, 4));
    // Enter keeps "32 x 32  (recommended)".
    ASSERT_EQ(saveAs(path("a.ico")), 1);
    ASSERT_EQ(ui.dialogs, std::vector<int32_t>{107});
    ASSERT_EQ(ed.iconRequests.size(), 1u);
    EXPECT_EQ(ed.iconRequests[0].width, 32);
    // "Maintain current size".
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return vc::kCursorSizeKeep; };
    ASSERT_EQ(saveAs(path("b.ico")), 1);
    EXPECT_EQ(ed.iconRequests.back().width, 48);
    EXPECT_EQ(ed.iconRequests.back().height, 48);
    // Cancel: nothing asked for, no file.
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    size_t before = ed.iconRequests.size();
    EXPECT_EQ(saveAs(path("c.ico")), 0);
    EXPECT_EQ(ed.iconRequests.size(), before);
    EXPECT_FALSE(std::filesystem::exists(path("c.ico")));
    ui.dialogAnswer = nullptr;

    // The editor cannot tell the size, or hand the image.
    FakeEditor noSize;
    noSize.hasImage = false;
    EXPECT_EQ(saveAs(path("d.ico")), CONV_E_MEMORY);
    EXPECT_EQ(commandsOf(noSize), std::vector<int32_t>{0});
    FakeEditor noImage;  // 32x32 reported, no image held
    EXPECT_EQ(saveAs(path("e.ico")), CONV_E_MEMORY);
    EXPECT_FALSE(std::filesystem::exists(path("e.ico")));

    // The file cannot be created; a short write leaves what was written.
    FakeEditor ed2;
    ed2.addIcon(iconData(32, 32, 4));
    EXPECT_EQ(saveAs(path("no/such/dir/f.ico")), CONV_E_CREATE);
    vc::plat::fileFailWritesAfter(100);
    EXPECT_EQ(saveAs(path("g.cur")), CONV_E_WRITE);
    vc::plat::fileFailWritesAfter(-1);
    EXPECT_EQ(readBack(path("g.cur")).size(), 100u);
    EXPECT_EQ(ed2.images.size(), 1u);  // the editor is untouched
    EXPECT_EQ(ed2.count(HOST_SET_HOTSPOT), 0u);
    EXPECT_EQ(ed2.servedBlocks.size(), 2u);  // every served block was freed (fixture counts)
}

TEST(IcoPick, ThirtyTwoBitImagesAreHandedAsTwentyFourBits) {
    // 3 pixels wide: 12-byte colour rows become 12-byte (9 + pad) rows, the
    // 4-byte mask rows move up behind them.
    const int w = 3, h = 2;
    Bytes data(40 + 2 * 12 + 2 * 4);
    put32(data, 0, 40);
    put32(data, 4, w);
    put32(data, 8, 2 * h);
    put16(data, 12, 1);
    put16(data, 14, 32);
    for (int i = 0; i < w * h; ++i) {
        int y = i / w, x = i % w;
        size_t at = 40 + y * 12 + x * 4;
        data[at] = uint8_t(10 * i + 1), data[at + 1] = uint8_t(10 * i + 2), data[at + 2] = uint8_t(10 * i + 3);
        data[at + 3] = 0x80;  // alpha
    }
    data[40 + 24] = 0xA0, data[40 + 28] = 0x40;  // mask rows
    Entry e{w, h, 0, 1, 32, data, {}, {}};
    Picked p = pick(iconFile(1, {e}));
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(get16(p.bytes, 14), 24);
    EXPECT_EQ(p.size, 40u + 2 * 12 + 2 * 4);
    for (int i = 0; i < w * h; ++i) {
        int y = i / w, x = i % w;
        size_t at = 40 + y * 12 + x * 3;
        EXPECT_EQ(p.bytes[at], 10 * i + 1);
        EXPECT_EQ(p.bytes[at + 2], 10 * i + 3);
    }
    EXPECT_EQ(p.bytes[40 + 9], 0);  // row padding
    EXPECT_EQ(p.bytes[40 + 24], 0xA0);
    EXPECT_EQ(p.bytes[40 + 28], 0x40);
}

// ---- Real files that nobody here wrote ----------------------------------------------------

namespace {
const char *const kWxImages = "/usr/share/doc/wx3.2-examples/examples/samples/image/";
const char *const kSdlImages = "/usr/libexec/installed-tests/SDL2_image/";
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

// ImageMagick's pixel difference between the colour rows of icon image data
// we handed over and image `index` of a file (its alpha left out: the mask
// travels separately).
std::string differenceFromImageMagick(const Bytes &icon, const std::string &file, int index, const std::string &dir) {
    auto img = host::fromPackedDib(icon.data(), icon.size(), 2);
    if (!img) return "unreadable";
    // What shows: masked pixels in magenta on both sides (readers differ in
    // what they keep under a transparent pixel).
    host::Image shown;
    shown.width = img->width;
    shown.height = img->height;
    shown.bitCount = 24;
    shown.bits.assign(size_t(shown.rowBytes()) * shown.height, 0);
    for (int32_t y = 0; y < img->height; ++y)
        for (int32_t x = 0; x < img->width; ++x) {
            host::Rgb c = img->masked(x, y) ? host::rgb(255, 0, 255) : img->pixel(x, y);
            uint8_t *px = &shown.bits[size_t(shown.height - 1 - y) * shown.rowBytes() + 3 * size_t(x)];
            px[0] = uint8_t(c), px[1] = uint8_t(c >> 8), px[2] = uint8_t(c >> 16);
        }
    std::string ours = dir + "/ours.bmp", ref = "PNG24:" + dir + "/ref.png";
    if (!host::writeBmp(ours, shown)) return "unwritable";
    run("/usr/bin/convert '" + file + "[" + std::to_string(index) + "]' -background '#FF00FF' -alpha remove -alpha off " +
        ref);
    return run("/usr/bin/compare -metric AE " + ours + " " + ref + " null: 2>&1");
}
}  // namespace

TEST_F(IcoFiles, RealFilesLoadTheDocumentedImageWithItsPixels) {
    struct Case {
        std::string file;
        int index, width, height, bits;
        uint32_t hotspot;
    } cases[] = {
        {std::string(kWxImages) + "horse.ico", 0, 32, 32, 4, 0},
        {std::string(kWxImages) + "horse.cur", 0, 32, 32, 1, 16 | (23u << 16)},
        {std::string(kSdlImages) + "sample.ico", 0, 23, 42, 24, 0},
        {std::string(kSdlImages) + "sample.cur", 0, 23, 42, 24, 1 | (24u << 16)},
        // 16x16x4, 32x32x4: more pixels.
        {std::string(kNsisIcons) + "classic-install.ico", 1, 32, 32, 4, 0},
        // 32x32x4, 16x16x4, 256x256 compressed (size bytes 0), 48x48x8, ...
        {std::string(kNsisIcons) + "nsis3-install.ico", 3, 48, 48, 8, 0},
        // 4 and 8 bits at 16, 32, 48, then 32 bits: the 48x48x4 one.
        {std::string(kNsisIcons) + "orange-install.ico", 4, 48, 48, 4, 0},
        {std::string(kNsisIcons) + "pixel-install.ico", 2, 32, 32, 8, 0},
        // ..., 64x64x32 after a 256x256 compressed entry: handed as 24 bits.
        {std::string(kNsisIcons) + "nsis-menu.ico", 5, 64, 64, 24, 0},
    };
    bool haveMagick = access("/usr/bin/compare", X_OK) == 0;
    for (const Case &c : cases) {
        if (access(c.file.c_str(), R_OK) != 0) GTEST_SKIP() << c.file << " is not installed";
        FakeEditor ed;
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, c.file.c_str(), &rec, &fmt, 0, FakeEditor::callback()), 1) << c.file;
        EXPECT_EQ(fmt, 132);
        ASSERT_EQ(ed.images.size(), 1u);
        const Bytes &icon = ed.images[0].bytes;
        EXPECT_EQ(int(get32(icon, 4)), c.width) << c.file;
        EXPECT_EQ(int(get32(icon, 8)), 2 * c.height) << c.file;
        EXPECT_EQ(get16(icon, 14), c.bits) << c.file;
        EXPECT_EQ(ed.hotspots[0], c.hotspot) << c.file;
        if (haveMagick) {
            EXPECT_EQ(differenceFromImageMagick(icon, c.file, c.index, path("")), "0") << c.file;
        }

        // The preview shows the same image's colour rows.
        ASSERT_EQ(GetPreviewImage(c.file.c_str(), &rec), 1);
        auto *h = static_cast<const ConvBitmapInfoHeader *>(VcMemLock(rec.image));
        EXPECT_EQ(h->biHeight, c.height);
        EXPECT_EQ(0, std::memcmp(reinterpret_cast<const uint8_t *>(h) + rec.bitsOffset,
                                 icon.data() + rec.bitsOffset, vc::dibRowBytes(c.width, c.bits) * c.height));
        VcMemUnlock(rec.image);
        VcMemFree(rec.image);
    }
}

TEST_F(IcoFiles, EveryIconOfTheNsisSetLoadsOrGetsItsResult) {
    std::error_code ec;
    int files = 0;
    for (const auto &de : std::filesystem::directory_iterator(kNsisIcons, ec)) {
        if (de.path().extension() != ".ico") continue;
        ++files;
        FakeEditor ed;
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        std::string f = de.path().string();
        EXPECT_EQ(LoadConvImage(nullptr, f.c_str(), &rec, &fmt, 0, FakeEditor::callback()), 1) << f;
        ASSERT_EQ(ed.images.size(), 1u) << f;
        int bits = get16(ed.images[0].bytes, 14);
        EXPECT_TRUE(bits == 4 || bits == 8 || bits == 24) << f;
        ASSERT_EQ(GetPreviewImage(f.c_str(), &rec), 1) << f;
        VcMemFree(rec.image);
    }
    if (!files) GTEST_SKIP() << "the NSIS icon set is not installed";
    EXPECT_GE(files, 30);
}

// ---- What independent readers make of what we write --------------------------------------

TEST_F(IcoFiles, IcotoolAndImageMagickReadWhatWeSave) {
    if (access("/usr/bin/icotool", X_OK) != 0) GTEST_SKIP() << "icoutils is not installed";
    struct Case {
        std::string from, to;
        std::string listing;
    } cases[] = {
        {std::string(kWxImages) + "horse.cur", "out.cur",
         "--cursor --index=1 --width=32 --height=32 --bit-depth=1 --palette-size=2 --hotspot-x=16 --hotspot-y=23"},
        {std::string(kWxImages) + "horse.ico", "out.ico",
         "--icon --index=1 --width=32 --height=32 --bit-depth=4 --palette-size=16"},
        {std::string(kSdlImages) + "sample.cur", "odd.cur",
         "--cursor --index=1 --width=23 --height=42 --bit-depth=24 --palette-size=0 --hotspot-x=1 --hotspot-y=24"},
        {std::string(kNsisIcons) + "nsis3-install.ico", "big.ICO",
         "--icon --index=1 --width=48 --height=48 --bit-depth=8 --palette-size=256"},
    };
    UiRecorder ui;
    // sample.cur is 23 x 42: keep that size when asked.
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return vc::kCursorSizeKeep; };
    for (const Case &c : cases) {
        if (access(c.from.c_str(), R_OK) != 0) GTEST_SKIP() << c.from << " is not installed";
        FakeEditor ed;
        ConvImageRecord rec{};
        uint8_t fmt = 0;
        ASSERT_EQ(LoadConvImage(nullptr, c.from.c_str(), &rec, &fmt, 0, FakeEditor::callback()), 1);
        Bytes loaded = ed.images[0].bytes;
        ed.imageWidth = uint16_t(get32(loaded, 4));
        ed.imageHeight = uint16_t(get32(loaded, 8) / 2);
        std::string out = path(c.to);
        ASSERT_EQ(saveAs(out), 1) << c.to;
        std::string listing = run("/usr/bin/icotool -l '" + out + "' 2>/dev/null");
        EXPECT_EQ(listing, c.listing + "\n") << c.to;
        Bytes written = readBack(out);
        EXPECT_EQ(written.size(), vc::iconFileBytes(loaded.size()));
        if (access("/usr/bin/compare", X_OK) == 0) {
            EXPECT_EQ(differenceFromImageMagick(loaded, out, 0, path("")), "0") << c.to;
        }
    }
}

// The reference host answers the size question as told on its command line.
TEST_F(IcoFiles, HostAnswersTheSizeQuestionFromItsOptions) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string vc = (self.parent_path().parent_path() / "host" / "velmconv").string();
    std::string sample = std::string(kSdlImages) + "sample.cur";
    if (access(vc.c_str(), X_OK) != 0 || access(sample.c_str(), R_OK) != 0 ||
        access("/usr/bin/icotool", X_OK) != 0)
        GTEST_SKIP() << "needs the built host, sample.cur and icoutils";
    struct Case {
        std::string options, listing;
    } cases[] = {
        {"--cursor-size keep", "--width=23 --height=42"},
        {"--cursor-size 64", "--width=64 --height=64"},
        {"", "--width=32 --height=32"},  // Enter: "32 x 32  (recommended)"
    };
    for (const Case &c : cases) {
        std::string out = path("host.cur");
        std::remove(out.c_str());
        std::string r = run(vc + " convert --quiet --no-parent " + c.options + " " + sample + " " + out + " 2>&1; echo rc=$?");
        EXPECT_NE(r.find("rc=0"), std::string::npos) << r;
        std::string listing = run("/usr/bin/icotool -l " + out + " 2>/dev/null");
        EXPECT_NE(listing.find(c.listing), std::string::npos) << c.options << ": " << listing;
        EXPECT_NE(listing.find("--hotspot-x=1 --hotspot-y=24"), std::string::npos) << listing;
    }
    std::string out = path("cancelled.cur");
    std::string r = run(vc + " convert --quiet --no-parent --cancel 107 " + sample + " " + out + " 2>&1; echo rc=$?");
    EXPECT_NE(r.find("rc=1"), std::string::npos) << r;
    EXPECT_FALSE(std::filesystem::exists(out));
}
