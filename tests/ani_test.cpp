// Animated cursors through the exports: real files from Debian packages and
// built ones, the document the reader makes, the failure results, the exact
// bytes the writer puts on disk (read back by the GdkPixbuf ANI loader), the
// document routines and a round trip through the reference host's editor.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "cursor/ani.h"
#include "host/editor.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"

using namespace vctest;
using vc::CursorAnimationDocument;

namespace {

const char *const kHourglass = "/usr/share/doc/wx3.2-examples/examples/samples/animate/hourglass.ani";
const char *const kHorse = "/usr/share/doc/wx3.2-examples/examples/samples/image/horse3.ani";

using Bytes = std::vector<uint8_t>;

void put32(Bytes &b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
uint32_t get32(const Bytes &b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
Bytes operator+(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A RIFF chunk with its pad byte.
Bytes chunk(const char *id, const Bytes &body, uint32_t size = UINT32_MAX) {
    Bytes b(id, id + 4);
    put32(b, size == UINT32_MAX ? uint32_t(body.size()) : size);
    b = b + body;
    if (body.size() & 1) b.push_back(0);
    return b;
}
Bytes concat(const char *type, const std::vector<Bytes> &parts) {
    Bytes body(type, type + 4);
    for (const auto &p : parts) body = body + p;
    return body;
}
Bytes list(const char *type, const std::vector<Bytes> &parts) { return chunk("LIST", concat(type, parts)); }
// fullLength: the RIFF size holds the file length, as some programs write it.
Bytes riff(const std::vector<Bytes> &parts, bool fullLength = false) {
    Bytes b = chunk("RIFF", concat("ACON", parts));
    if (fullLength) b[4] = uint8_t(b.size()), b[5] = uint8_t(b.size() >> 8);
    return b;
}
Bytes anih(uint32_t frames, uint32_t steps, uint32_t rate, uint32_t flags = 1) {
    Bytes b;
    for (uint32_t v : {36u, frames, steps, 0u, 0u, 0u, 0u, rate, flags}) put32(b, v);
    return chunk("anih", b);
}
Bytes values(const char *id, const std::vector<uint32_t> &v) {
    Bytes b;
    for (uint32_t x : v) put32(b, x);
    return chunk(id, b);
}
// A one-image cursor file around icon image data.
Bytes cursorFile(const Bytes &data, uint16_t hx, uint16_t hy) {
    Bytes b = {0, 0, 2, 0, 1, 0, 32, 32, 16, 0};
    put32(b, hx | uint32_t(hy) << 16);
    put32(b, uint32_t(data.size()));
    put32(b, 22);
    return b + data;
}
// Icon image data whose colour rows hold a recognisable byte.
Bytes iconData(int32_t w, int32_t h, uint16_t bits, uint8_t fill) {
    Bytes dib = makeDib(w, h, bits);
    size_t bits0 = 40 + 4 * (bits <= 8 ? (1u << bits) : 0);
    std::fill(dib.begin() + long(bits0), dib.end(), fill);
    return iconFromDib(dib);
}
Bytes frames(int n) {
    std::vector<Bytes> icons;
    for (int i = 0; i < n; ++i) icons.push_back(chunk("icon", cursorFile(iconData(32, 32, 4, uint8_t(i * 17)), 1, 2)));
    return list("fram", icons);
}

Bytes readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Copies the editor's (first) document out.
CursorAnimationDocument documentOf(const FakeEditor &ed) {
    CursorAnimationDocument d{};
    if (ed.documents.empty()) return d;
    std::memcpy(&d, VcMemLock(ed.documents[0]), sizeof d);
    VcMemUnlock(ed.documents[0]);
    return d;
}

std::vector<uint32_t> firstN(const uint32_t *p, size_t n) { return std::vector<uint32_t>(p, p + n); }

class Ani : public LibraryTest {
protected:
    int32_t load(const std::string &file, bool withRecord, uint8_t *formatOut = nullptr) {
        ConvImageRecord rec{};
        uint8_t format = 0;
        int32_t r = LoadConvImage(nullptr, file.c_str(), withRecord ? &rec : nullptr, &format, 0, FakeEditor::callback());
        if (formatOut) *formatOut = format;
        EXPECT_EQ(rec.image, nullptr);
        return r;
    }
    std::vector<intptr_t> iconValues() const {  // the flags of each frame handed over
        std::vector<intptr_t> v;
        for (const auto &c : editor.calls)
            if (c.command == HOST_ADD_ICON) v.push_back(c.value);
        return v;
    }
    // The editor's documents go before the fixture counts the blocks.
    void TearDown() override {
        for (void *doc : editor.documents) VcMemFree(doc);
        editor.documents.clear();
        LibraryTest::TearDown();
    }
    FakeEditor editor;
};

// An editor document: steps, rates, texts, for frames the fake editor holds.
void *makeDocument(std::vector<uint32_t> seq, std::vector<uint32_t> rates, const char *title, const char *author,
                   uint32_t frameCount) {
    void *block = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, sizeof(CursorAnimationDocument));
    auto *d = static_cast<CursorAnimationDocument *>(VcMemLock(block));
    d->formatCode = 166;
    d->header.headerSize = 36;
    d->header.frameCount = frameCount;
    d->header.stepCount = uint32_t(seq.size());
    d->header.defaultRate = rates.empty() ? 0 : rates[0];
    std::copy(seq.begin(), seq.end(), d->sequence);
    std::copy(rates.begin(), rates.end(), d->rates);
    std::strncpy(d->title, title, 79);
    std::strncpy(d->author, author, 79);
    VcMemUnlock(block);
    return block;
}

// ---- Reading ---------------------------------------------------------------------------

TEST_F(Ani, RealFilesLoadAsFramesAndDocumentWithTheirRatesTextsAndHotspots) {
    if (access(kHourglass, R_OK) != 0 || access(kHorse, R_OK) != 0) GTEST_SKIP() << "wx3.2-examples not installed";
    uint8_t format = 0;
    // hourglass.ani: INFO with an odd-length INAM before anih, rate after
    // it, no seq, RIFF size equal to the file length.
    ASSERT_EQ(load(kHourglass, false, &format), 1);
    EXPECT_EQ(format, 166);
    ASSERT_EQ(editor.images.size(), 20u);
    std::vector<intptr_t> expectValues;
    for (int i = 0; i < 20; ++i) expectValues.push_back(i * 256 + 17);
    EXPECT_EQ(iconValues(), expectValues);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(editor.hotspots[i], 16u | 15u << 16) << i;
    CursorAnimationDocument d = documentOf(editor);
    EXPECT_EQ(d.formatCode, 166);
    EXPECT_EQ(std::vector<uint32_t>({d.header.frameCount, d.header.stepCount, d.header.defaultRate}),
              std::vector<uint32_t>({20, 20, 10}));
    std::vector<uint32_t> rates(20, 4), seq;
    rates[0] = 24;
    for (uint32_t i = 0; i < 20; ++i) seq.push_back(i);
    EXPECT_EQ(firstN(d.rates, 20), rates);
    EXPECT_EQ(firstN(d.sequence, 20), seq);
    EXPECT_STREQ(d.title, "3D Rendered Rotating Hourglass\r\nv.1.09");
    EXPECT_STREQ(d.author, "(c)1997 Mitch Fishman\r\nmitch@tmbg.org");
    // The four menu items, in order, after the document, after the frames.
    std::vector<std::string> menu;
    for (const auto &m : editor.menuItems)
        menu.push_back(std::to_string(m.slot) + " " + std::to_string(m.position) + " " + std::to_string(m.commandId) + " " +
                       std::to_string(m.flags) + " " + std::to_string(m.value) + (m.commandId ? " " + m.text : ""));
    EXPECT_EQ(menu, (std::vector<std::string>{"1 5 0 1024 1", "1 5 0 1024 1", "2 5 1001 1024 2 &Animation...",
                                              "3 405 1002 0 3 Change &Format...\\bStrg+F"}));
    auto cmds = editor.commands();
    EXPECT_EQ(std::vector<int32_t>(cmds.begin(), cmds.begin() + 3),
              (std::vector<int32_t>{HOST_ADD_ICON, HOST_QUERY, HOST_SET_HOTSPOT}));
    EXPECT_EQ(cmds[cmds.size() - 5], HOST_NEW_DOCUMENT);

    // horse3.ani with an output record: frames only, format byte 132.
    FakeEditor second;
    ASSERT_EQ(load(kHorse, true, &format), 1);
    EXPECT_EQ(format, 132);
    EXPECT_EQ(second.images.size(), 4u);
    EXPECT_EQ(second.count(HOST_NEW_DOCUMENT), 0u);
    EXPECT_TRUE(second.menuItems.empty());
    EXPECT_EQ(second.hotspots[3], 16u | 23u << 16);

    // The preview: the first icon with halved height and its bits offset.
    ConvImageRecord rec{};
    ASSERT_EQ(GetPreviewImage(kHourglass, &rec), 1);
    ConvBitmapInfoHeader h;
    std::memcpy(&h, VcMemLock(rec.image), sizeof h);
    VcMemUnlock(rec.image);
    VcMemFree(rec.image);
    EXPECT_EQ(std::tie(h.biWidth, h.biHeight, h.biClrUsed), std::make_tuple(32, 32, 256u));
    EXPECT_EQ(rec.bitsOffset, 40u + 4 * 256);
}

TEST_F(Ani, PreviewFindsTheFirstIconPastForeignChunks) {
    Bytes icon = cursorFile(iconData(32, 32, 4, 0x12), 0, 0);
    std::string f = writeFile("p.ani", riff({anih(1, 1, 1), list("junk", {chunk("abcd", {1, 2, 3})}),
                                             list("fram", {chunk("xxxx", {9, 9, 9}), chunk("icon", icon)})}));
    ConvImageRecord rec{};
    ASSERT_EQ(GetPreviewImage(f.c_str(), &rec), 1);
    EXPECT_EQ(rec.bitsOffset, 104u);
    VcMemFree(rec.image);
    // No fram list, no icon in it, an icon of junk, an icon past the end: -4.
    for (const Bytes &bad : {riff({anih(1, 1, 1)}), riff({list("fram", {chunk("xxxx", {1})})}),
                             riff({list("fram", {chunk("icon", Bytes(30, 0xEE))})}),
                             riff({list("fram", {chunk("icon", icon, 5000)})})}) {
        rec = ConvImageRecord{};
        EXPECT_EQ(GetPreviewImage(writeFile("bad.ani", bad).c_str(), &rec), -4);
        EXPECT_EQ(rec.image, nullptr);
    }
}

TEST_F(Ani, StepsDefaultFromAnihTheLaterChunkWinsAndTextsAreCut) {
    Bytes rate = values("rate", {1, 2, 3, 4, 5}), seq = values("seq ", {2, 2, 1, 1, 0});
    std::string longTitle(100, 'T');
    Bytes inam(longTitle.begin(), longTitle.end());
    inam.push_back(0);
    struct Case {
        Bytes file;
        std::vector<uint32_t> rates, seq;
        std::string title, author;
    } cases[] = {
        // anih alone (3 frames, 5 steps, rate 10): steps cycle the frames.
        {riff({anih(3, 5, 10), frames(3)}), {10, 10, 10, 10, 10, 0}, {0, 1, 2, 0, 1, 0}, "", ""},
        {riff({anih(3, 5, 10), rate, seq, frames(3)}), {1, 2, 3, 4, 5}, {2, 2, 1, 1, 0}, "", ""},
        // anih after rate and seq wins; RIFF size holding the full length.
        {riff({rate, seq, anih(3, 5, 10), frames(3)}, true), std::vector<uint32_t>(5, 10), {0, 1, 2, 0, 1}, "", ""},
        // INFO texts: cut to 79 characters, NUL-terminated even without a NUL.
        {riff({list("INFO", {chunk("ISFT", {1, 2}), chunk("INAM", inam), chunk("IART", {'a', 'b', 'c'})}), anih(1, 1, 1),
               frames(1)}),
         {1}, {0}, std::string(79, 'T'), "abc"},
        // An INAM claiming more than its list holds is stepped over.
        {riff({list("INFO", {chunk("INAM", {'x', 0}, 500)}), anih(1, 1, 1), frames(1)}), {1}, {0}, "", ""},
    };
    for (const Case &c : cases) {
        FakeEditor ed;
        ASSERT_EQ(load(writeFile("a.ani", c.file), false), 1) << c.title;
        CursorAnimationDocument d = documentOf(ed);
        EXPECT_EQ(firstN(d.rates, c.rates.size()), c.rates);
        EXPECT_EQ(firstN(d.sequence, c.seq.size()), c.seq);
        EXPECT_EQ(d.title, c.title);
        EXPECT_EQ(d.author, c.author);
    }
    // Over 256 steps fill 256; a frame count of 2^32 - 1 is only a divisor.
    ASSERT_EQ(load(writeFile("d.ani", riff({anih(0xFFFFFFFF, 100000, 7), values("rate", std::vector<uint32_t>(300, 3)),
                                            frames(3)})),
                   false),
              1);
    CursorAnimationDocument d = documentOf(editor);
    EXPECT_EQ(d.header.stepCount, 100000u);
    EXPECT_EQ(d.rates[255], 3u);
    EXPECT_EQ(d.sequence[255], 255u);
    EXPECT_EQ(iconValues(), (std::vector<intptr_t>{17, 273, 529}));
}

TEST_F(Ani, FailuresGetTheirResultsAndNothingLeaks) {
    Bytes icon = chunk("icon", cursorFile(iconData(32, 32, 4, 1), 0, 0));
    Bytes shortAnih = chunk("anih", {36, 0, 0, 0, 2, 0, 0, 0});  // header size and frame count only
    Bytes longAnih = anih(2, 2, 5);
    longAnih[4] = 40;
    longAnih.insert(longAnih.begin() + 44, {1, 2, 3, 4});
    Bytes cut = riff({anih(1, 1, 1), frames(1)});
    cut.resize(cut.size() - 700);
    struct Case {
        const char *what;
        Bytes file;
        int32_t result;
        size_t images;
    } cases[] = {
        {"frame count 0", riff({anih(0, 4, 1), frames(2)}), -4, 0},
        {"anih too short for a frame count", riff({chunk("anih", {36, 0, 0, 0})}), -4, 0},
        {"short anih", riff({shortAnih, frames(2)}), 1, 2},
        {"long anih", riff({longAnih, frames(2)}), 1, 2},
        {"rate past the end", riff({anih(1, 1, 1), chunk("rate", {1, 0, 0, 0}, 4000)}), -3, 0},
        {"truncated fram", cut, -3, 0},
        {"icon past its list", riff({anih(1, 1, 1), list("fram", {chunk("icon", {1, 2, 3, 4}, 100)})}), -3, 0},
        {"icon of junk between good ones", riff({anih(3, 3, 1), list("fram", {icon, chunk("icon", Bytes(40, 0x55)), icon})}),
         -6, 2},
        {"list of another type is skipped", riff({list("zzzz", {icon}), anih(1, 1, 1), frames(1)}), 1, 1},
        {"list shorter than its type", riff({anih(1, 1, 1), chunk("LIST", {}), frames(1)}), 1, 0},
        {"not an animated cursor", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}, -2, 0},
    };
    for (const auto &c : cases) {
        FakeEditor ed;
        std::string f = writeFile("f.ani", c.file);
        EXPECT_EQ(vc::LoadAniFile(f.c_str(), true, FakeEditor::callback()), c.result) << c.what;
        EXPECT_EQ(ed.count(HOST_ADD_ICON), c.images) << c.what;
        EXPECT_EQ(ed.count(HOST_NEW_DOCUMENT), c.result == 1 ? 1u : 0u) << c.what;
    }
    EXPECT_EQ(vc::LoadAniFile(path("missing.ani").c_str(), true, FakeEditor::callback()), -1);

    // Refused frames are still all offered; a refused document is freed.
    std::string good = writeFile("g.ani", riff({anih(3, 3, 1), frames(3)}));
    {
        FakeEditor ed;
        ed.refuse(HOST_ADD_ICON);
        EXPECT_EQ(load(good, false), 0);
        EXPECT_EQ(ed.count(HOST_ADD_ICON), 3u);
        EXPECT_EQ(ed.count(HOST_NEW_DOCUMENT), 0u);
    }
    {
        FakeEditor ed;
        ed.refuse(HOST_NEW_DOCUMENT);
        EXPECT_EQ(load(good, false), 1);
        EXPECT_TRUE(ed.menuItems.empty());
    }
    // No memory for the document, then none for the first frame.
    for (long n : {1, 2}) {
        FakeEditor ed;
        vc::plat::memFailAt(n);
        EXPECT_EQ(load(good, false), -5) << n;
        vc::plat::memFailAt(0);
    }
}

// ---- Writing -----------------------------------------------------------------------------

TEST_F(Ani, WrittenFileHasTheDocumentedLayoutByteForByte) {
    Bytes icon0 = iconData(32, 32, 4, 0x11), icon1 = iconData(32, 32, 4, 0x22);
    editor.addIcon(icon0);
    editor.addIcon(icon1);
    editor.hotspots[0] = 3 | 4 << 16;
    editor.hotspots[1] = 5 | 6 << 16;
    editor.currentDocument = makeDocument({0, 1, 0}, {7, 7, 7}, "abcd", "", 2);
    editor.documents.push_back(editor.currentDocument);
    void *image = VcMemAlloc(VC_MEM_MOVEABLE, 40 + 64 + 512);
    std::memcpy(VcMemLock(image), makeDib(32, 32, 4).data(), 40);
    VcMemUnlock(image);
    std::string out = path("w.ani");
    EXPECT_EQ(SaveConvImage(nullptr, out.c_str(), image, 166, 0, FakeEditor::callback()), 1);
    VcMemFree(image);

    Bytes expectAnih;
    for (uint32_t v : {36u, 2u, 3u, 32u, 32u, 4u, 1u, 7u, 3u}) put32(expectAnih, v);
    Bytes fram = list("fram", {chunk("icon", cursorFile(icon0, 3, 4)), chunk("icon", cursorFile(icon1, 5, 6))});
    Bytes expect = riff({chunk("anih", expectAnih), values("rate", {7, 7, 7}), values("seq ", {0, 1, 0}),
                         list("INFO", {chunk("INAM", {'a', 'b', 'c', 'd', 0})}), fram});
    Bytes got = readAll(out);
    EXPECT_EQ(got, expect);
    // Pad bytes count in the enclosing sizes: INFO 18 holds INAM's 5 + 1.
    EXPECT_EQ(get32(got, 4), got.size() - 8);
    EXPECT_EQ(get32(got, 12 + 44 + 20 + 20 + 4), 18u);
    ASSERT_EQ(editor.iconRequests.size(), 2u);
    EXPECT_EQ(editor.iconRequests[1].index, 1);
    EXPECT_EQ(editor.iconRequests[1].width, 32);

    // Title and author empty: no INFO list; author alone: IART only.
    auto *d = static_cast<CursorAnimationDocument *>(VcMemLock(editor.currentDocument));
    d->title[0] = 0;
    VcMemUnlock(editor.currentDocument);
    ASSERT_EQ(SaveConvImage(nullptr, out.c_str(), nullptr, 166, 0, FakeEditor::callback()), 1);
    got = readAll(out);
    EXPECT_EQ(Bytes(got.begin() + 96, got.end()), fram);
    d = static_cast<CursorAnimationDocument *>(VcMemLock(editor.currentDocument));
    std::strcpy(d->author, "Me");
    VcMemUnlock(editor.currentDocument);
    ASSERT_EQ(SaveConvImage(nullptr, out.c_str(), nullptr, 166, 0, FakeEditor::callback()), 1);
    got = readAll(out);
    EXPECT_EQ(Bytes(got.begin() + 96, got.begin() + 120), list("INFO", {chunk("IART", {'M', 'e', 0})}));
}

TEST_F(Ani, GdkPixbufReadsOurFramesSizesAndDelays) {
    if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP();
    for (int i = 0; i < 3; ++i) editor.addIcon(iconData(32, 32, 4, uint8_t(0x10 * (i + 1))));
    editor.currentDocument = makeDocument({0, 1, 2, 1}, {6, 12, 30, 60}, "t", "a", 3);
    editor.documents.push_back(editor.currentDocument);
    std::string out = path("g.ani");
    ASSERT_EQ(SaveConvImage(nullptr, out.c_str(), nullptr, 166, 0, FakeEditor::callback()), 1);
    std::string script = writeFile("read.py",
                                   "import sys, gi\n"
                                   "gi.require_version('GdkPixbuf', '2.0')\n"
                                   "from gi.repository import GdkPixbuf, GLib\n"
                                   "a = GdkPixbuf.PixbufAnimation.new_from_file(sys.argv[1])\n"
                                   "t = GLib.TimeVal()\n"
                                   "it = a.get_iter(t)\n"
                                   "seen = []\n"
                                   "for step in range(4):\n"
                                   "    p = it.get_pixbuf()\n"
                                   "    seen.append(p.get_pixels())\n"
                                   "    print(p.get_width(), p.get_height(), it.get_delay_time())\n"
                                   "    t.add(it.get_delay_time() * 1000)\n"
                                   "    it.advance(t)\n"
                                   "print(len(set(seen)), seen[1] == seen[3])\n");
    FILE *p = popen(("/usr/bin/python3 -W ignore " + script + " " + out + " 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[256];
    while (fgets(buf, sizeof buf, p)) text += buf;
    int status = pclose(p);
    if (text.find("No module named") != std::string::npos) GTEST_SKIP() << text;
    ASSERT_EQ(status, 0) << text;
    // Delays in ms are the rates in 1/60 s; three distinct frames, step 3
    // showing frame 1 again.
    EXPECT_EQ(text, "32 32 100\n32 32 200\n32 32 500\n32 32 1000\n3 True\n");
}

TEST_F(Ani, SaveReportsProgressCutsShortAndFailsLeavingPartialFiles) {
    for (int i = 0; i < 3; ++i) editor.addIcon(iconData(32, 32, 4, uint8_t(i)));
    editor.currentDocument = makeDocument({0, 1, 2}, {1, 1, 1}, "", "", 3);
    editor.documents.push_back(editor.currentDocument);
    std::string out = path("c.ani");
    UiRecorder ui;
    void *parent = VcCreateWindow(nullptr, 0, 0, 800, 600);
    auto save = [&](const std::string &p) { return SaveConvImage(parent, p.c_str(), nullptr, 166, 0, FakeEditor::callback()); };
    ASSERT_EQ(save(out), 1);
    std::vector<int32_t> percents;
    for (const auto &e : ui.progress)
        if (e.visible) percents.push_back(e.percent);
    EXPECT_EQ(percents, (std::vector<int32_t>{33, 66, 100}));
    const size_t full = readAll(out).size();

    // The editor stops giving frames after the first: one frame, result 1;
    // none at all: -8.
    for (intptr_t first : {1, 0}) {
        editor.hook = [first](int32_t cmd, intptr_t, intptr_t value) -> std::optional<intptr_t> {
            if (cmd == HOST_GET_ICON && value >= first) return 0;
            return std::nullopt;
        };
        ASSERT_EQ(save(out), first ? 1 : -8);
        if (!first) break;
        Bytes got = readAll(out);
        EXPECT_EQ(got.size(), full - 2 * (8 + 22 + 744));
        EXPECT_EQ(get32(got, 4), got.size() - 8);
    }
    editor.hook = nullptr;

    // A short write ends with -8 and leaves what was written; the editor is
    // only asked, never changed.
    size_t callsBefore = editor.calls.size();
    vc::plat::fileFailWritesAfter(1000);
    EXPECT_EQ(save(out), -8);
    vc::plat::fileFailWritesAfter(-1);
    EXPECT_EQ(readAll(out).size(), 1000u);
    for (size_t i = callsBefore; i < editor.calls.size(); ++i) {
        int c = editor.calls[i].command;
        EXPECT_TRUE(c == HOST_QUERY || c == HOST_GET_DOCUMENT || c == HOST_GET_ICON || c == HOST_GET_HOTSPOT) << c;
    }
    EXPECT_EQ(save(path("no/such/dir.ani")), -7);
    VcDestroyWindow(parent);
}

TEST_F(Ani, SaveWithoutDocumentDefinesStepsInTheDialogOrStopsOnCancel) {
    for (int i = 0; i < 2; ++i) editor.addIcon(iconData(16, 16, 1, uint8_t(i)));
    editor.imageWidth = editor.imageHeight = 16;
    UiRecorder ui;
    std::string out = path("t.ani");
    ASSERT_EQ(SaveConvImage(nullptr, out.c_str(), nullptr, 166, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(ui.dialogs, (std::vector<int32_t>{106}));
    Bytes got = readAll(out);
    // One step per frame, both frames written at 16 x 16.
    EXPECT_EQ(Bytes(got.begin() + 56, got.begin() + 88), values("rate", {0, 0}) + values("seq ", {0, 1}));
    EXPECT_EQ(get32(got, 12 + 8 + 12), 16u);
    EXPECT_EQ(editor.count(HOST_SET_HOTSPOT), 2u);  // OK sends the hotspots

    ui.dialogAnswer = [](int32_t id, void *) -> intptr_t { return id == 106 ? 0 : VC_DIALOG_DEFAULT; };
    EXPECT_EQ(SaveConvImage(nullptr, path("never.ani").c_str(), nullptr, 166, 0, FakeEditor::callback()), 0);
    EXPECT_NE(access(path("never.ani").c_str(), F_OK), 0);
}

// ---- The document routines ---------------------------------------------------------------

TEST_F(Ani, FrameChangesKeepTheSequenceValid) {
    struct Case {
        std::vector<uint32_t> seq;
        int kind, index, framesAfter;
        std::vector<uint32_t> expect;
        int32_t result;
    } cases[] = {
        {{0, 1, 2, 1}, 1, 1, 4, {0, 2, 3, 2}, 1},  // inserted before frame 1
        {{0, 1, 2, 3}, 3, 1, 3, {0, 1, 1, 2}, 1},  // frame 1 deleted
        {{0, 0, 0}, 3, 0, 0, {0, 0, 0}, 1},
        {{0, 1, 2, 3}, 3, 3, 3, {0, 1, 2, 2}, 1},
        {{0, 1}, 2, 0, 2, {0, 1}, 0},
    };
    for (const auto &c : cases) {
        FakeEditor ed;
        ed.answerQuery(HOST_QUERY_COUNT, c.framesAfter);
        void *doc = makeDocument(c.seq, std::vector<uint32_t>(c.seq.size(), 9), "", "", 0);
        EXPECT_EQ(NotifyFrameChange(166, doc, c.kind, c.index, FakeEditor::callback()), c.result);
        auto *d = static_cast<CursorAnimationDocument *>(VcMemLock(doc));
        EXPECT_EQ(firstN(d->sequence, c.seq.size()), c.expect);
        EXPECT_EQ(d->header.frameCount, uint32_t(c.framesAfter));
        EXPECT_EQ(d->header.stepCount, c.seq.size());
        VcMemUnlock(doc);
        VcMemFree(doc);
    }
    // Not a cursor animation document: nothing happens.
    void *other = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, sizeof(CursorAnimationDocument));
    void *tiny = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, 4);
    static_cast<uint8_t *>(VcMemLock(tiny))[0] = 166;
    VcMemUnlock(tiny);
    for (void *doc : {other, tiny, static_cast<void *>(nullptr)})
        EXPECT_EQ(NotifyFrameChange(166, doc, 1, 0, FakeEditor::callback()), 0);
    VcMemFree(other);
    VcMemFree(tiny);
}

TEST_F(Ani, NewFileAndTheChangeFormatCommandAskTheCursorFormat) {
    UiRecorder ui;
    char name[260] = "dir.x/untitled.bmp";
    editor.colorSetting = 16;
    ASSERT_EQ(NewConvFile(nullptr, name, 166, 0, FakeEditor::callback()), 1);
    EXPECT_STREQ(name, "dir.x/untitled.ANI");
    CursorAnimationDocument d = documentOf(editor);
    EXPECT_EQ(std::tie(d.formatCode, d.header.headerSize, d.header.frameCount), std::make_tuple(uint16_t(166), 36u, 1u));
    EXPECT_STREQ(d.author, "Created with Velmora");
    EXPECT_TRUE(ui.dialogs.empty());            // 32 x 32 needs no question
    EXPECT_TRUE(editor.formatChanges.empty());  // nor a conversion
    EXPECT_EQ(editor.menuItems.size(), 4u);

    // 48 x 48 in two colours: the size question, then 32 x 32 with the cursor palette.
    FakeEditor ed;
    ed.imageWidth = ed.imageHeight = 48;
    ed.colorSetting = 2;
    char noDot[260] = "noname";
    ASSERT_EQ(NewConvFile(nullptr, noDot, 166, 0, FakeEditor::callback()), 1);
    EXPECT_STREQ(noDot, "noname");
    EXPECT_EQ(ui.dialogs, (std::vector<int32_t>{107}));
    ASSERT_EQ(ed.formatChanges.size(), 1u);
    const auto &f = ed.formatChanges[0];
    EXPECT_EQ(std::vector<uint32_t>({f.width, f.height, f.colors, f.scale}), std::vector<uint32_t>({32, 32, 3, 0}));

    FakeEditor refusing;
    refusing.refuse(HOST_NEW_DOCUMENT);
    EXPECT_EQ(NewConvFile(nullptr, nullptr, 166, 0, FakeEditor::callback()), 0);
    EXPECT_TRUE(refusing.menuItems.empty());
    {
        FakeEditor noMemory;
        vc::plat::memFailAt(1);
        EXPECT_EQ(NewConvFile(nullptr, nullptr, 166, 0, FakeEditor::callback()), -5);
    }

    // Command 1002: template 108, then the record to the editor; Cancel asks nothing.
    FakeEditor cmd;
    cmd.imageWidth = cmd.imageHeight = 64;
    cmd.colorSetting = 256;
    EXPECT_EQ(ProcessCommand(nullptr, 1002, 166, nullptr, 0, FakeEditor::callback()), 1);
    EXPECT_EQ(ui.dialogs.back(), 108);
    ASSERT_EQ(cmd.formatChanges.size(), 1u);
    const auto &g = cmd.formatChanges[0];
    EXPECT_EQ(std::vector<uint32_t>({g.width, g.colors, g.scale}), std::vector<uint32_t>({64, 256, 1}));
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(ProcessCommand(nullptr, 1002, 166, nullptr, 0, FakeEditor::callback()), 0);
    EXPECT_EQ(cmd.formatChanges.size(), 1u);
    EXPECT_EQ(ProcessCommand(nullptr, 999, 166, nullptr, 0, FakeEditor::callback()), 0);
}

// ---- Round trip through the reference host --------------------------------------------------

TEST_F(Ani, HostRoundTripKeepsRatesSequenceTextsHotspotsAndPixels) {
    if (access(kHourglass, R_OK) != 0) GTEST_SKIP() << "wx3.2-examples not installed";
    std::string out = path("round.ani");
    auto loadHost = [](host::Editor &ed, const std::string &file) {
        ed.makeCurrent();
        uint8_t format = 0;
        return LoadConvImage(nullptr, file.c_str(), nullptr, &format, 0, host::Editor::callback());
    };
    auto docOf = [](void *block) {
        CursorAnimationDocument d{};
        std::memcpy(&d, VcMemLock(block), sizeof d);
        VcMemUnlock(block);
        return d;
    };
    host::Editor first;
    ASSERT_EQ(loadHost(first, kHourglass), 1);
    ASSERT_NE(first.document, nullptr);
    // Make the sequence, a rate and a hotspot our own before saving.
    auto *d = static_cast<CursorAnimationDocument *>(VcMemLock(first.document));
    d->sequence[1] = 5;
    d->rates[2] = 33;
    VcMemUnlock(first.document);
    first.frames[7].hotspot = 3 | 9 << 16;
    void *block = first.currentFrameBlock(8);
    first.makeCurrent();
    ASSERT_EQ(SaveConvImage(nullptr, out.c_str(), block, 166, 0, host::Editor::callback()), 1);
    VcMemFree(block);

    host::Editor second;
    ASSERT_EQ(loadHost(second, out), 1);
    ASSERT_EQ(second.frames.size(), first.frames.size());
    CursorAnimationDocument a = docOf(first.document), b = docOf(second.document);
    EXPECT_EQ(firstN(b.rates, 20), firstN(a.rates, 20));
    EXPECT_EQ(firstN(b.sequence, 20), firstN(a.sequence, 20));
    EXPECT_EQ(b.sequence[1], 5u);
    EXPECT_STREQ(b.title, a.title);
    EXPECT_STREQ(b.author, a.author);
    EXPECT_EQ(std::tie(b.header.flags, b.header.bitCount), std::make_tuple(3u, 8u));
    for (size_t i = 0; i < first.frames.size(); ++i) {
        EXPECT_EQ(second.frames[i].hotspot, first.frames[i].hotspot) << i;
        EXPECT_EQ(second.frames[i].image.bits, first.frames[i].image.bits) << i;
    }
    EXPECT_EQ(second.frames[7].hotspot, 3u | 9u << 16);
}

}  // namespace
