// Animated cursors: the core's walk, reading and writing from memory, and
// through the exports real files from Debian packages and built ones, the
// document the reader makes, the failure results of both, the exact bytes
// the writer puts on disk (read back by the GdkPixbuf ANI loader) and the
// document routines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <tuple>

#include "codecs/ani_core.h"
#include "cursor/cursor_format.h"
#include "support/cursor_files.h"
#include "support/library_test.h"
#include "support/ui_recorder.h"
#include "ui/services.h"

using namespace vctest;
using vc::CursorAnimationDocument;
using U = std::vector<uint32_t>;

namespace {

const char *const kHourglass = "/usr/share/doc/wx3.2-examples/examples/samples/animate/hourglass.ani";
const char *const kHorse = "/usr/share/doc/wx3.2-examples/examples/samples/image/horse3.ani";

Bytes list(const char *type, const std::vector<Bytes> &parts, const char *id = "LIST") {
    Bytes body(type, type + 4);
    for (const auto &p : parts) body = body + p;
    return chunk(id, body);
}
// fullLength: the RIFF size holds the file length, as some programs write it.
Bytes riff(const std::vector<Bytes> &parts, bool fullLength = false) {
    Bytes b = list("ACON", parts, "RIFF");
    if (fullLength) put32(b, 4, uint32_t(b.size()));
    return b;
}
Bytes values(const char *id, const U &v) {
    Bytes b;
    for (uint32_t x : v) b = b + le32({x});
    return chunk(id, b);
}
Bytes anih(uint32_t frames, uint32_t steps, uint32_t rate) { return values("anih", {36, frames, steps, 0, 0, 0, 0, rate, 1}); }
Bytes frames(int n) {
    std::vector<Bytes> icons;
    for (int i = 0; i < n; ++i) icons.push_back(chunk("icon", cursorFile(iconData(32, 32, 4, uint8_t(i * 17)), 1, 2)));
    return list("fram", icons);
}

CursorAnimationDocument documentOf(void *block) {
    CursorAnimationDocument d{};
    std::memcpy(&d, VcMemLock(block), sizeof d);
    VcMemUnlock(block);
    return d;
}
U firstN(const uint32_t *p, size_t n) { return U(p, p + n); }

class Ani : public LibraryTest {
protected:
    int32_t save(const std::string &p, void *image = nullptr, void *parent = nullptr) {
        return SaveConvImage(parent, p.c_str(), image, 166, 0, FakeEditor::callback());
    }
    void setDocument(void *block) { editor.documents.push_back(editor.currentDocument = block); }
    // The editor's documents go before the fixture counts the blocks.
    void TearDown() override {
        for (void *doc : editor.documents) VcMemFree(doc);
        editor.documents.clear();
        LibraryTest::TearDown();
    }
    FakeEditor editor;
};

TEST_F(Ani, RealFilesLoadAsFramesAndDocumentWithTheirRatesTextsAndHotspots) {
    if (access(kHourglass, R_OK) != 0 || access(kHorse, R_OK) != 0) GTEST_SKIP() << "wx3.2-examples not installed";
    uint8_t format = 0;
    // hourglass.ani: INFO with an odd-length INAM before anih, rate after
    // it, no seq, RIFF size equal to the file length.
    ASSERT_EQ(loadCursor(kHourglass, false, &format), CONV_OK);
    EXPECT_EQ(format, 166);
    U rates(20, 4), seq;
    for (uint32_t i = 0; i < 20; ++i) {
        seq.push_back(i);
        EXPECT_EQ(editor.hotspots[i], 16u | 15u << 16) << i;
    }
    rates[0] = 24;
    CursorAnimationDocument d = documentOf(editor.documents.at(0));
    EXPECT_EQ(std::make_tuple(d.formatCode, d.header.frameCount, d.header.stepCount, d.header.defaultRate),
              std::make_tuple(uint16_t(166), 20u, 20u, 10u));
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
    ASSERT_EQ(loadCursor(kHorse, true, &format), CONV_OK);
    EXPECT_EQ(std::make_tuple(format, second.images.size(), second.count(HOST_NEW_DOCUMENT), second.menuItems.size()),
              std::make_tuple(uint8_t(132), size_t(4), size_t(0), size_t(0)));
}

// The walk of the core fills what the importer's document holds: steps
// default from anih, a later chunk wins, texts are cut; each frame is
// handed with its number in its list.
TEST_F(Ani, CoreWalkStepsDefaultFromAnihTheLaterChunkWinsAndTextsAreCut) {
    struct Numbers final : vc::AniFrameSink {
        U seen;
        vc::Result frame(std::span<const uint8_t>, uint32_t number, bool &) override { return seen.push_back(number), vc::Result::ok; }
    };
    Bytes rate = values("rate", {1, 2, 3, 4, 5}), seq = values("seq ", {2, 2, 1, 1, 0}), inam(100, 'T');
    inam.push_back(0);
    struct Case {
        Bytes file;
        U rates, seq;
        std::string title, author;
    } cases[] = {
        // anih alone (3 frames, 5 steps, rate 10): steps cycle the frames.
        {riff({anih(3, 5, 10), frames(3)}), {10, 10, 10, 10, 10, 0}, {0, 1, 2, 0, 1, 0}, "", ""},
        {riff({anih(3, 5, 10), rate, seq, frames(3)}), {1, 2, 3, 4, 5}, {2, 2, 1, 1, 0}, "", ""},
        // anih after rate and seq wins; RIFF size holding the full length.
        {riff({rate, seq, anih(3, 5, 10), frames(3)}, true), U(5, 10), {0, 1, 2, 0, 1}, "", ""},
        // INFO texts: cut to 79 characters, NUL-terminated even without a NUL.
        {riff({list("INFO", {chunk("ISFT", {1, 2}), chunk("INAM", inam), chunk("IART", {'a', 'b', 'c'})}), anih(1, 1, 1),
               frames(1)}),
         {1}, {0}, std::string(79, 'T'), "abc"},
        // An INAM claiming more than its list holds is stepped over.
        {riff({list("INFO", {chunk("INAM", {'x', 0}, 500)}), anih(1, 1, 1), frames(1)}), {1}, {0}, "", ""},
        // Texts come from INFO lists only.
        {riff({list("META", {chunk("INAM", {'x', 0})}), anih(1, 1, 1), frames(1)}), {1}, {0}, "", ""},
        // An INFO list larger than the reader's window is read whole.
        {riff({list("INFO", {chunk("ISFT", Bytes(20000, 'x')), chunk("INAM", {'b', 'i', 'g', 0})}), anih(1, 1, 1), frames(1)}),
         {1}, {0}, "big", ""},
    };
    for (const Case &c : cases) {
        vc::AniParts d;
        Numbers sink;
        ASSERT_EQ(vc::walkAnimatedCursor(in(c.file), d, sink), vc::Result::ok) << c.title;
        EXPECT_EQ(firstN(d.rates, c.rates.size()), c.rates);
        EXPECT_EQ(firstN(d.sequence, c.seq.size()), c.seq);
        EXPECT_EQ(std::make_tuple(std::string(d.title), std::string(d.author)), std::make_tuple(c.title, c.author));
    }
    // The header as the file has it (planes 1 before a rate of 10), and the
    // first frame the fram list's, whatever lists come before it.
    vc::AniParts h;
    Numbers one;
    ASSERT_EQ(vc::walkAnimatedCursor(in(riff({values("anih", {36, 3, 5, 0, 0, 0, 1, 10, 1}), frames(3)})), h, one),
              vc::Result::ok);
    EXPECT_EQ(std::tuple(h.header.planes, h.header.defaultRate, h.header.flags), std::tuple(1u, 10u, 1u));
    const Bytes odd = riff({anih(3, 5, 10), list("zzzz", {chunk("icon", {1, 2})}), frames(3)});
    std::span<const uint8_t> first;
    ASSERT_TRUE(vc::firstAnimatedCursorFrame(in(odd), first));
    EXPECT_EQ(Bytes(first.begin(), first.end()), cursorFile(iconData(32, 32, 4, 0), 1, 2));
    // Over 256 steps fill 256; a frame count of 2^32 - 1 is only a divisor.
    vc::AniParts d;
    Numbers sink;
    ASSERT_EQ(vc::walkAnimatedCursor(in(riff({anih(0xFFFFFFFF, 100000, 7), values("rate", U(300, 3)), frames(3)})), d, sink),
              vc::Result::ok);
    EXPECT_EQ(std::make_tuple(d.header.stepCount, d.rates[255], d.sequence[255], sink.seen),
              std::make_tuple(100000u, 3u, 255u, U{0, 1, 2}));
}

// Each damaged file gets its result from the core and from the importer
// alike; the importer has handed the frames the walk reached before the
// end, and offers the document only for a file read whole.
TEST_F(Ani, FailuresGetTheirResultsAndNothingLeaks) {
    using enum vc::Result;
    Bytes data = cursorFile(iconData(32, 32, 4, 1), 0, 0), icon = chunk("icon", data);
    struct Case {
        const char *what;
        Bytes file;
        vc::Result result;
        size_t images;  // handed to the editor
    } cases[] = {
        {"frame count 0", riff({anih(0, 4, 1), frames(2)}), unsupported, 0},
        {"anih too short for a frame count", riff({values("anih", {36})}), unsupported, 0},
        {"short anih", riff({values("anih", {36, 2}), frames(2)}), ok, 2},
        {"long anih", riff({values("anih", {36, 2, 2, 0, 0, 0, 0, 5, 1, 0x04030201}), frames(2)}), ok, 2},
        {"rate past the end", riff({anih(1, 1, 1), chunk("rate", {1, 0, 0, 0}, 4000)}), readFailed, 0},
        {"icon past its list", riff({anih(1, 1, 1), list("fram", {chunk("icon", {1, 2, 3, 4}, 100)})}), readFailed, 0},
        {"icon of 2 GiB in a list of 4 GiB, 50 kB into the file",
         riff({anih(1, 1, 1), chunk("pad ", Bytes(50000, 0)),
               chunk("LIST", Bytes{'f', 'r', 'a', 'm'} + chunk("icon", {1, 2}, 0x7FFFFFF0), 0xFFFFFFF0)}),
         readFailed, 0},
        {"chunk reaching past 2 GiB", riff({anih(1, 1, 1), frames(1), chunk("junk", {1, 2}, 0x7FFFFFF0)}), readFailed, 1},
        {"icon of junk between good ones", riff({anih(3, 3, 1), list("fram", {icon, chunk("icon", Bytes(40, 0x55)), icon})}),
         damaged, 2},
        {"list shorter than its type", riff({anih(1, 1, 1), chunk("LIST", {}), frames(1)}), ok, 0},
        {"not an animated cursor", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}, notFormat, 0},
    };
    for (const auto &c : cases) {
        vc::Animation a;
        EXPECT_EQ(vc::resultName(vc::decodeAnimatedCursor(in(c.file), {}, a)), vc::resultName(c.result)) << c.what;
        EXPECT_EQ(a.frames.size(), c.result == ok ? c.images : 0) << c.what;
        FakeEditor ed;
        EXPECT_EQ(vc::LoadAniFile(writeFile("f.ani", c.file).c_str(), true, FakeEditor::callback()), c.result) << c.what;
        EXPECT_EQ(ed.count(HOST_ADD_ICON), c.images) << c.what;
        EXPECT_EQ(ed.count(HOST_NEW_DOCUMENT), c.result == ok ? 1u : 0u) << c.what;
    }
    EXPECT_EQ(vc::LoadAniFile(path("missing.ani").c_str(), true, FakeEditor::callback()), openFailed);
    vc::CoreRequest stop;
    stop.progress.report = [](void *, int32_t) { return false; };
    vc::Animation stopped;
    EXPECT_EQ(vc::decodeAnimatedCursor(in(riff({anih(2, 2, 1), frames(2)})), stop, stopped), cancelled);

    // The preview takes the first icon past foreign chunks; none, one of junk
    // or one past the end: -4.
    std::string withJunk = writeFile("p.ani", riff({anih(1, 1, 1), list("junk", {chunk("abcd", {1, 2, 3})}),
                                                     list("fram", {chunk("xxxx", {9, 9, 9}), icon})}));
    EXPECT_EQ(std::make_tuple(preview(withJunk).result, preview(withJunk).bitsOffset), std::make_tuple(CONV_OK, 104u));
    for (const Bytes &bad : {riff({anih(1, 1, 1)}), riff({list("fram", {chunk("xxxx", {1})})}),
                             riff({list("fram", {chunk("icon", Bytes(30, 0xEE))})}),
                             riff({chunk("LIST", Bytes{'f', 'r', 'a', 'm'} + icon, 20), anih(1, 1, 1)})})
        EXPECT_EQ(preview(writeFile("bad.ani", bad)).result, CONV_E_UNSUPPORTED);

    // Refused frames are still all offered; a refused document is freed.
    std::string good = writeFile("g.ani", riff({anih(3, 3, 1), frames(3)}));
    for (int32_t refused : {HOST_ADD_ICON, HOST_NEW_DOCUMENT}) {
        FakeEditor ed;
        ed.refuse(refused);
        EXPECT_EQ(loadCursor(good), refused == HOST_NEW_DOCUMENT ? CONV_OK : CONV_CANCELLED);
        EXPECT_EQ(ed.count(HOST_ADD_ICON), 3u);
        EXPECT_EQ(ed.count(HOST_NEW_DOCUMENT), refused == HOST_NEW_DOCUMENT ? 1u : 0u);
        EXPECT_TRUE(ed.menuItems.empty());
    }
}

TEST_F(Ani, WrittenFileHasTheDocumentedLayoutByteForByte) {
    Bytes icon0 = iconData(32, 32, 4, 0x11), icon1 = iconData(32, 32, 4, 0x22);
    editor.addIcon(icon0);
    editor.addIcon(icon1);
    editor.hotspots[0] = 3 | 4 << 16;
    editor.hotspots[1] = 5 | 6 << 16;
    setDocument(makeDocument({0, 1, 0}, {7, 7, 7}, "abcd", "", 2));
    void *image = VcMemAlloc(VC_MEM_MOVEABLE, 40 + 64 + 512);
    std::memcpy(VcMemLock(image), makeDib(32, 32, 4).data(), 40);
    VcMemUnlock(image);
    std::string out = path("w.ani");
    EXPECT_EQ(save(out, image), CONV_OK);
    VcMemFree(image);
    // Pad bytes count in the enclosing sizes: INFO 18 holds INAM's 5 + 1.
    Bytes fram = list("fram", {chunk("icon", cursorFile(icon0, 3, 4)), chunk("icon", cursorFile(icon1, 5, 6))});
    Bytes info = {'L', 'I', 'S', 'T', 18, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 5, 0, 0, 0, 'a', 'b', 'c', 'd', 0, 0};
    EXPECT_EQ(readBytes(out), riff({values("anih", {36, 2, 3, 32, 32, 4, 1, 7, 3}), values("rate", {7, 7, 7}),
                                  values("seq ", {0, 1, 0}), info, fram}));
    ASSERT_EQ(editor.iconRequests.size(), 2u);
    EXPECT_EQ(std::make_tuple(editor.iconRequests[1].index, editor.iconRequests[1].width), std::make_tuple(1, 32));

    // The editor's blocks here are larger than the sizes it reports, as
    // rounding allocators make them: only the reported bytes go out.
    const Bytes written = readBytes(out);
    editor.hook = [&](int32_t cmd, intptr_t param, intptr_t value) -> std::optional<intptr_t> {
        if (cmd != HOST_GET_ICON) return std::nullopt;
        const Bytes &b = value ? icon1 : icon0;
        void *block = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, b.size() + 16);
        std::memcpy(VcMemLock(block), b.data(), b.size());
        VcMemUnlock(block);
        *reinterpret_cast<uint32_t *>(param) = uint32_t(b.size());
        return reinterpret_cast<intptr_t>(block);
    };
    ASSERT_EQ(save(out), CONV_OK);
    editor.hook = nullptr;
    EXPECT_EQ(readBytes(out), written);
}

// Saved, the GdkPixbuf loader reads our frames, sizes and delays; the
// progress runs through the frames; what the editor fails to give ends the
// file early or fails it.
TEST_F(Ani, SaveIsReadByGdkPixbufReportsProgressCutsShortAndFailsLeavingPartialFiles) {
    for (int i = 0; i < 3; ++i) editor.addIcon(iconData(32, 32, 4, uint8_t(0x10 * (i + 1))));
    setDocument(makeDocument({0, 1, 2, 1}, {6, 12, 30, 60}, "t", "a", 3));
    std::string out = path("c.ani");
    UiRecorder ui;
    void *parent = VcCreateWindow(nullptr, 0, 0, 800, 600);
    ASSERT_EQ(save(out, nullptr, parent), CONV_OK);
    std::vector<int32_t> percents;
    for (const auto &e : ui.progress)
        if (e.visible) percents.push_back(e.percent);
    EXPECT_EQ(percents, (std::vector<int32_t>{33, 66, 100}));
    const size_t full = readBytes(out).size();
    std::string script = writeFile(
        "read.py",
        "import sys, gi\ngi.require_version('GdkPixbuf', '2.0')\nfrom gi.repository import GdkPixbuf, GLib\n"
        "t = GLib.TimeVal()\nit = GdkPixbuf.PixbufAnimation.new_from_file(sys.argv[1]).get_iter(t)\n"
        "seen = []\nfor step in range(4):\n    p = it.get_pixbuf()\n    seen.append(p.get_pixels())\n"
        "    print(p.get_width(), p.get_height(), it.get_delay_time())\n"
        "    t.add(it.get_delay_time() * 1000)\n    it.advance(t)\n"
        "print(len(set(seen)), seen[1] == seen[3])\n");
    std::string text = capture("/usr/bin/python3 -W ignore " + script + " " + out + " 2>&1");
    // Delays in ms are the rates in 1/60 s; three distinct frames, step 3
    // showing frame 1 again.
    const bool gdk = text.find("No module named") == std::string::npos;
    if (gdk) {
        EXPECT_EQ(text, "32 32 100\n32 32 200\n32 32 500\n32 32 1000\n3 True\n");
    }

    // An editor stating more bytes than its blocks hold: the blocks' bytes
    // are written.
    const Bytes saved = readBytes(out);
    editor.iconSizeExtra = 100;
    ASSERT_EQ(save(out, nullptr, parent), CONV_OK);
    EXPECT_EQ(readBytes(out), saved);
    editor.iconSizeExtra = 0;

    // The editor stops giving frames after the first: one frame, result 1;
    // none at all: -8.
    for (intptr_t first : {1, 0}) {
        editor.hook = [first](int32_t cmd, intptr_t, intptr_t value) -> std::optional<intptr_t> {
            return cmd == HOST_GET_ICON && value >= first ? std::optional<intptr_t>(0) : std::nullopt;
        };
        ASSERT_EQ(save(out, nullptr, parent), first ? CONV_OK : CONV_E_WRITE);
        Bytes got = readBytes(out);
        if (first) {  // two frames of 8 + 22 + 744 bytes fewer
            EXPECT_EQ(std::make_tuple(got.size(), get32(got, 4)), std::make_tuple(full - 2 * 774, uint32_t(got.size() - 8)));
        }
    }
    editor.hook = nullptr;

    // Frame 2 in another byte size than frame 0 (2 or 256 colours, not 16):
    // -6, the file kept with the two frames before it and its sizes unpatched.
    for (uint16_t bits : {1, 8}) {
        editor.images[2].bytes = iconData(32, 32, bits, 2);
        ASSERT_EQ(save(out, nullptr, parent), CONV_E_DATA) << bits;
        const Bytes got = readBytes(out);
        EXPECT_EQ(std::make_tuple(got.size(), get32(got, 4)), std::make_tuple(full - 774, 0u)) << bits;
    }

    // (Short writes and refused memory: the sweep.)
    EXPECT_EQ(save(path("no/such/dir.ani"), nullptr, parent), CONV_E_CREATE);
    VcDestroyWindow(parent);
    if (!gdk) GTEST_SKIP() << "needs Python's GdkPixbuf bindings (gi) to read the saved file back";
}

TEST_F(Ani, SaveWithoutDocumentDefinesStepsInTheDialogOrStopsOnCancel) {
    for (int i = 0; i < 2; ++i) editor.addIcon(iconData(16, 16, 1, uint8_t(i)));
    editor.imageWidth = editor.imageHeight = 16;
    UiRecorder ui;
    ASSERT_EQ(save(path("t.ani")), CONV_OK);
    EXPECT_EQ(ui.dialogs, (std::vector<int32_t>{106}));
    Bytes got = readBytes(path("t.ani"));
    // One step per frame, both frames written at 16 x 16; OK sends the
    // hotspots once (the dialog ended by its own OK is not pressed again).
    EXPECT_EQ(Bytes(got.begin() + 56, got.begin() + 88), values("rate", {0, 0}) + values("seq ", {0, 1}));
    EXPECT_EQ(get32(got, 12 + 8 + 12), 16u);
    EXPECT_EQ(editor.count(HOST_SET_HOTSPOT), 2u);
    // A block of a document's size holding another format is no document:
    // the steps are asked for again.
    setDocument(VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, sizeof(CursorAnimationDocument)));
    ui.dialogs.clear();
    ASSERT_EQ(save(path("t.ani")), CONV_OK);
    EXPECT_EQ(ui.dialogs, (std::vector<int32_t>{106}));
    editor.currentDocument = nullptr;

    // Cancel on the steps, or on the size asked for an image of no standard size.
    for (const auto &[dialog, side] : {std::pair{106, 16}, {107, 20}}) {
        editor.imageWidth = editor.imageHeight = uint16_t(side);
        ui.dialogAnswer = [dialog](int32_t id, void *) -> intptr_t { return id == dialog ? 0 : VC_DIALOG_DEFAULT; };
        EXPECT_EQ(save(path("never.ani")), CONV_CANCELLED) << dialog;
        EXPECT_NE(access(path("never.ani").c_str(), F_OK), 0) << dialog;
    }
}

TEST_F(Ani, FrameChangesKeepTheSequenceValid) {
    struct Case {
        U seq;
        int kind, index, framesAfter;
        U expect;
        int32_t result;
    } cases[] = {
        {{0, 1, 2, 1}, 1, 1, 4, {0, 2, 3, 2}, 1},  // inserted before frame 1
        {{0, 1, 2, 3}, 3, 1, 3, {0, 1, 1, 2}, 1},  // frame 1 deleted
        {{0, 0, 0}, 3, 0, 0, {0, 0, 0}, 1},
        {{0, 1, 2, 3}, 3, 3, 3, {0, 1, 2, 2}, 1},
        {{0, 1}, 2, 0, 2, {0, 1}, 0},
        {{0, 1}, 0, 0, 2, {0, 1}, 0},
        {U(256, 1), 1, 0, 3, U(256, 2), 1},  // every step the document has room for
        {U(256, 1), 3, 0, 1, U(256, 0), 1},
    };
    for (const auto &c : cases) {
        FakeEditor ed;
        ed.answerQuery(HOST_QUERY_COUNT, c.framesAfter);
        void *doc = makeDocument(c.seq, U(c.seq.size(), 9));
        EXPECT_EQ(NotifyFrameChange(166, doc, c.kind, c.index, FakeEditor::callback()), c.result);
        CursorAnimationDocument d = documentOf(doc);
        VcMemFree(doc);
        EXPECT_EQ(std::make_tuple(firstN(d.sequence, c.seq.size()), d.header.frameCount, d.header.stepCount),
                  std::make_tuple(c.expect, uint32_t(c.framesAfter), uint32_t(c.seq.size())));
    }
    // Not a cursor animation document, or a block too small for one: nothing happens.
    void *other = makeDocument({0}, {1}), *tiny = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, 4);
    for (void *b : {other, tiny}) static_cast<uint8_t *>(VcMemLock(b))[0] = b == tiny ? 166 : 0, VcMemUnlock(b);
    for (void *doc : {other, tiny, static_cast<void *>(nullptr)})
        EXPECT_EQ(NotifyFrameChange(166, doc, 1, 0, FakeEditor::callback()), 0);
    VcMemFree(other), VcMemFree(tiny);
}

TEST_F(Ani, NewFileAndTheChangeFormatCommandAskTheCursorFormat) {
    UiRecorder ui;
    char name[260] = "dir.x/untitled.bmp";
    editor.colorSetting = 16;
    ASSERT_EQ(NewConvFile(nullptr, name, 166, 0, FakeEditor::callback()), CONV_OK);
    EXPECT_STREQ(name, "dir.x/untitled.ANI");
    CursorAnimationDocument d = documentOf(editor.documents.at(0));
    EXPECT_EQ(std::make_tuple(d.formatCode, d.header.headerSize, d.header.frameCount, std::string(d.author)),
              std::make_tuple(uint16_t(166), 36u, 1u, std::string("Created with Velmora")));
    EXPECT_TRUE(ui.dialogs.empty() && editor.formatChanges.empty());  // 32 x 32 needs no question nor conversion
    EXPECT_EQ(editor.menuItems.size(), 4u);

    // An image of no standard size asks the size (107): the editor converts
    // to a size other than its own, and two colours to the cursor palette.
    const struct {
        uint16_t width, height;
        int32_t colors;
        intptr_t answer;  // to 107
        U change;         // width, height, colours, scale; empty: none asked
    } sizes[] = {
        {48, 48, 2, VC_DIALOG_DEFAULT, {32, 32, 3, 0}},
        {48, 48, 16, VC_DIALOG_DEFAULT, {32, 32, 16, 0}},
        {48, 32, 16, VC_DIALOG_DEFAULT, {32, 32, 16, 0}},
        {24, 24, 16, vc::kCursorSize64, {64, 64, 16, 0}},
        {47, 47, 2, vc::kCursorSizeKeep, {47, 47, 3, 0}},
        {47, 47, 16, vc::kCursorSizeKeep, {}},
        {16, 16, 16, VC_DIALOG_DEFAULT, {}},  // the standard sizes pass unasked
        {64, 64, 16, VC_DIALOG_DEFAULT, {}},
        {32, 32, 0, VC_DIALOG_DEFAULT, {}},  // no colour setting
    };
    for (const auto &c : sizes) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "/" << c.colors);
        FakeEditor ed;
        ed.imageWidth = c.width, ed.imageHeight = c.height, ed.colorSetting = c.colors;
        ui.dialogAnswer = [&c](int32_t, void *) -> intptr_t { return c.answer; };
        ASSERT_EQ(NewConvFile(nullptr, nullptr, 166, 0, FakeEditor::callback()), CONV_OK);
        U got;
        for (const auto &f : ed.formatChanges) got.insert(got.end(), {f.width, f.height, f.colors, f.scale});
        EXPECT_EQ(got, c.change);
    }
    EXPECT_EQ(std::count(ui.dialogs.begin(), ui.dialogs.end(), 107), 6);
    ui.dialogAnswer = nullptr;
    FakeEditor ed;  // a refused document adds no menu
    ed.refuse(HOST_NEW_DOCUMENT);
    EXPECT_EQ(NewConvFile(nullptr, nullptr, 166, 0, FakeEditor::callback()), CONV_CANCELLED);
    EXPECT_TRUE(ed.menuItems.empty());

    // Command 1002: template 108, then the record to the editor; Cancel asks nothing.
    FakeEditor cmd;
    cmd.imageWidth = cmd.imageHeight = 64;
    cmd.colorSetting = 256;
    EXPECT_EQ(ProcessCommand(nullptr, 1002, 166, nullptr, 0, FakeEditor::callback()), CONV_OK);
    ASSERT_EQ(cmd.formatChanges.size(), 1u);
    EXPECT_EQ(U({cmd.formatChanges[0].width, cmd.formatChanges[0].colors, cmd.formatChanges[0].scale}), U({64, 256, 1}));
    ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
    EXPECT_EQ(ProcessCommand(nullptr, 1002, 166, nullptr, 0, FakeEditor::callback()), CONV_CANCELLED);
    EXPECT_EQ(cmd.formatChanges.size(), 1u);
}

}  // namespace

// An animation written and read back unchanged; the importer hands the same
// frames with their numbers, hotspots and steps, and the texts go into its
// document. What the writer cannot write is refused.
TEST_F(Ani, CoreRoundTripsAndTheImporterReadsWhatItWrites) {
    vc::Animation a;
    for (int i = 1; i <= 3; ++i) a.frames.push_back({.picture = picture(32, 32, 4, i)});
    a.sequence = {0, 1, 2, 1}, a.rates = {6, 12, 30, 60}, a.defaultRate = 3, a.title = "t", a.author = "a";
    std::vector<uint8_t> bytes;
    ASSERT_EQ(vc::encodeAnimatedCursor(a, {}, bytes), vc::Result::ok);
    vc::Animation b;
    ASSERT_EQ(vc::decodeAnimatedCursor(bytes, {}, b), vc::Result::ok);
    EXPECT_EQ(std::tie(b.title, b.author, b.defaultRate, b.rates, b.sequence),
              std::tie(a.title, a.author, a.defaultRate, a.rates, a.sequence));
    ASSERT_EQ(b.frames.size(), 3u);
    FakeEditor ed;
    ASSERT_EQ(loadCursor(writeFile("core.ani", bytes)), CONV_OK);
    ASSERT_EQ(ed.images.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const vc::Picture &x = a.frames[i].picture, &y = b.frames[i].picture;
        EXPECT_EQ(std::tie(x.width, x.bitCount, x.palette, x.pixels, x.mask, x.hotspotX, x.hotspotY),
                  std::tie(y.width, y.bitCount, y.palette, y.pixels, y.mask, y.hotspotX, y.hotspotY))
            << i;
        EXPECT_EQ(Bytes(ed.images[i].bytes.begin() + 40 + 4 * 16, ed.images[i].bytes.end()), y.pixels + y.mask) << i;
        // Each frame handed with its number in its list above the flags.
        EXPECT_EQ(std::make_tuple(ed.hotspots[intptr_t(i)], ed.images[i].flags),
                  std::make_tuple(vc::packPoint(y.hotspotX, y.hotspotY), intptr_t(17 + 256 * i)))
            << i;
    }
    const CursorAnimationDocument d = documentOf(ed.documents.at(0));
    EXPECT_EQ(std::make_tuple(d.header.frameCount, d.header.stepCount, d.header.width, d.header.bitCount, d.header.flags,
                              firstN(d.rates, 4), firstN(d.sequence, 4), std::string(d.title), std::string(d.author)),
              std::make_tuple(3u, 4u, 32u, 4u, vc::kAniFlagIcon | vc::kAniFlagSequence, a.rates, a.sequence, a.title, a.author));
    // Without steps of its own, each frame in turn at the default rate.
    vc::Animation plain = a;
    plain.sequence.clear(), plain.rates.clear();
    ASSERT_EQ(vc::encodeAnimatedCursor(plain, {}, bytes), vc::Result::ok);
    ASSERT_EQ(vc::decodeAnimatedCursor(bytes, {}, b), vc::Result::ok);
    EXPECT_EQ(std::tie(b.sequence, b.rates), std::make_tuple(U{0, 1, 2}, U(3, 3)));

    vc::CoreRequest stop;
    stop.progress.report = [](void *, int32_t) { return false; };
    vc::Animation none, stepPastFrames = a, ratesOff = a;
    stepPastFrames.sequence[1] = 3;
    ratesOff.rates.pop_back();
    for (const vc::Animation *bad : {&none, &stepPastFrames, &ratesOff})
        EXPECT_EQ(vc::encodeAnimatedCursor(*bad, {}, bytes), vc::Result::unsupported);
    EXPECT_EQ(vc::encodeAnimatedCursor(a, stop, bytes), vc::Result::cancelled);
}

// The head ends in an INFO list of the texts there are, each with its NUL
// and padded to even, and in none without texts; a title filling its field
// without a NUL is cut to 79 characters. The largest head: 256 steps and
// both texts at their 79 characters.
TEST_F(Ani, CoreHeadEndsInTheTextsThereAre) {
    const std::string t(79, 't'), a(79, 'a');
    const struct {
        std::string title, author;
        uint32_t steps;
        Bytes info;
    } cases[] = {
        {"", "", 3, {}},
        {"", "Me", 3, list("INFO", {chunk("IART", {'M', 'e', 0})})},
        {std::string(80, 't'), a, 256,
         list("INFO", {chunk("INAM", Bytes(t.begin(), t.end()) + Bytes{0}), chunk("IART", Bytes(a.begin(), a.end()) + Bytes{0})})},
    };
    for (const auto &c : cases) {
        vc::AniParts parts;
        parts.header.stepCount = c.steps;
        std::memcpy(parts.title, c.title.data(), c.title.size());
        std::memcpy(parts.author, c.author.data(), c.author.size());
        const std::vector<uint8_t> head = vc::animatedCursorHead(parts);
        EXPECT_EQ(Bytes(head.begin() + 12 + 44 + 2 * (8 + 4 * c.steps), head.end()), c.info) << c.steps << c.author;
    }
}
