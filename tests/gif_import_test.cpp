// Animated GIF import: a real animation from Debian in all three modes
// against giftopnm and ImageMagick, with the exact callbacks, and stopped by
// Cancel, the editor's refusal and short memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gif/gif_import.h"
#include "gif_support.h"
#include "platform/headless_dialog.h"
#include "resources/strings.h"
#include "support/fake_editor.h"
#include "support/library_test.h"
#include "support/memory_shim.h"
#include "support/ui_recorder.h"

using namespace vctest;
using gifsupport::Rgb;

namespace {

// Colour index at (x, y), top row first, of a packed DIB of 4 or 8 bits.
unsigned indexAt(const std::vector<uint8_t> &dib, int x, int y) {
    const auto &h = *reinterpret_cast<const ConvBitmapInfoHeader *>(dib.data());
    const size_t stride = (size_t(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    const size_t colors = h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount;
    const uint8_t *row = &dib[40 + 4 * colors + stride * size_t(h.biHeight - 1 - y)];
    return h.biBitCount == 4 ? (x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4) : row[x];
}
Rgb entry(const std::vector<uint8_t> &dib, unsigned i) { return {dib[42 + 4 * i], dib[41 + 4 * i], dib[40 + 4 * i]}; }
using Calls = std::vector<std::pair<int32_t, intptr_t>>;
Calls calls(const FakeEditor &ed) {
    Calls out;
    for (const auto &c : ed.calls) out.push_back({c.command, c.value});
    return out;
}
vc::GifAnimRecord documentOf(const FakeEditor &ed) {
    vc::GifAnimRecord r;
    std::memcpy(&r, mem::lock(ed.documents.at(0)), sizeof r);
    mem::unlock(ed.documents[0]);
    return r;
}

class GifImport : public LibraryTest {
protected:
    // The options dialog answers with what `pick` does to it, then OK.
    template <class F> void answerWith(F pick) {
        ui.dialogAnswer = [pick](int32_t id, VcDialog *d) -> intptr_t {
            auto *m = vc::plat::dialogAs<vc::GifImportOptionsModel>(d);
            if (id != IDD_GIF_IMPORT || !m) return -1;
            pick(d);
            return VcDialogClick(d, 1) ? m->result() : -1;
        };
    }
    int32_t load(const std::string &file) {
        uint8_t format = 0;
        return LoadConvImage(nullptr, file.c_str(), nullptr, &format, 0, FakeEditor::callback());
    }
    // wxWidgets' throbber (8 frames of 32 x 32, transparent 15) remade by
    // gifsicle: frame 3 cut to 20 x 18 at 16,20 and interlaced, frame 5 cut
    // to 10 x 12 at 2,3 without transparency, the last delayed 0.35 s with
    // disposal "previous", 3 loops. None without the package or gifsicle.
    std::string throbber() {
        const std::string gif = "/usr/share/doc/wx3.2-examples/examples/samples/animate/throbber.gif", src = gif + " ";
        if (access(gif.c_str(), R_OK) || !gifsupport::haveTool("/usr/bin/gifsicle")) return "";
        const std::string file = path("throbber.gif");
        const std::string cmd = "/usr/bin/gifsicle --no-warnings --loopcount=3 " + src + "'#0-2' --crop 4,6+20x18 " +
                                "--position 16,20 -i " + src + "'#3' --no-crop --no-position --no-interlace " + src +
                                "'#4' --crop 2,3+10x12 --position 2,3 --no-transparent " + src + "'#5' --no-crop " +
                                "--no-position --same-transparent " + src + "'#6' --delay 35 --disposal previous " +
                                src + "'#7' -o " + file;
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return file;
    }
    UiRecorder ui;
};

TEST_F(GifImport, RealAnimationInEveryModeAgreesWithOtherReaders) {
    const std::string file = throbber();
    if (file.empty()) GTEST_SKIP() << "wx3.2-examples or gifsicle missing";
    std::vector<gifsupport::Ppm> ref;  // giftopnm's frames
    for (int i = 1; i <= 8; ++i)
        for (auto &p : gifsupport::parsePpms(gifsupport::capture("/usr/bin/giftopnm -image=" + std::to_string(i) + " " +
                                                                 file + " 2>/dev/null | /usr/bin/ppmtoppm")))
            ref.push_back(std::move(p));
    ASSERT_EQ(ref.size(), 8u);
    // The DIB holds `want` at x0, y0 and colour `fill` elsewhere.
    auto expectFrame = [](const std::vector<uint8_t> &dib, const gifsupport::Ppm &want, int x0, int y0, unsigned fill) {
        const auto &h = *reinterpret_cast<const ConvBitmapInfoHeader *>(dib.data());
        for (int y = 0; y < h.biHeight; ++y)
            for (int x = 0; x < h.biWidth; ++x) {
                const bool in = x >= x0 && y >= y0 && x < x0 + want.width && y < y0 + want.height;
                ASSERT_EQ(entry(dib, indexAt(dib, x, y)),
                          in ? want.pixels[size_t((y - y0) * want.width + x - x0)] : entry(dib, fill))
                    << x << "," << y;
            }
    };
    {
        // The sequence at 32 x 32: frame 3 pulled back by 4 and 6 on its
        // transparent colour, frame 5 in place on the background; each
        // transparent colour handed over with its running count.
        FakeEditor editor;
        ASSERT_EQ(load(file), CONV_OK);
        ASSERT_EQ(editor.images.size(), 8u);
        for (size_t i = 0; i < 8; ++i)
            expectFrame(editor.images[i].bytes, ref[i], i == 3 ? 12 : i == 5 ? 2 : 0, i == 3 ? 14 : i == 5 ? 3 : 0,
                        i == 5 ? 0 : 15);
        Calls want = {{0, 0}};
        for (intptr_t i = 0, n = 0; i < 8; ++i) {
            want.push_back({2, (i << 8) | 0x11});
            if (i != 5) want.push_back({17, n++});
        }
        want.insert(want.end(), {{11, 0}, {14, 1}, {14, 1}, {14, 2}});
        EXPECT_EQ(calls(editor), want);
        const vc::GifAnimRecord r = documentOf(editor);
        EXPECT_EQ(std::vector<unsigned>({r.repeat, r.loopCount, unsigned(r.frames[3].left), unsigned(r.frames[3].top),
                                         unsigned(r.frames[5].left), r.frames[3].interlaced, r.frames[7].delay,
                                         r.frames[7].disposal}),
                  std::vector<unsigned>({1, 3, 4, 6, 0, 1, 35, 3}));
    }
    {
        FakeEditor editor;
        answerWith([](VcDialog *d) { VcDialogSelect(d, IDC_GIFIMP_LIST, 3); });
        ASSERT_EQ(load(file), CONV_OK);
        EXPECT_EQ(calls(editor),
                  (Calls{{0, 0}, {2, 0x11}, {17, 0}, {0, 0}, {21, 0x8100}, {11, 0}, {14, 1}, {14, 1}, {14, 2}}));
        EXPECT_EQ(editor.notes.at(0).fileName, file);
        expectFrame(editor.images.at(0).bytes, ref[3], 0, 0, 0);
        const vc::GifFrameEntry f = documentOf(editor).frames[0];  // frame 3's own, at the corner
        EXPECT_EQ(std::vector<unsigned>({f.width, f.height, f.interlaced, unsigned(f.left), unsigned(f.top)}),
                  std::vector<unsigned>({20, 18, 1, 0, 0}));
    }
    // Assembled: the frames in turn over background 0 (uncovered top right),
    // without disposal; one frame with every setting 0.
    answerWith([](VcDialog *d) { VcDialogClick(d, IDC_GIFIMP_ASSEMBLED); });
    std::vector<uint8_t> assembled;
    {
        FakeEditor editor;
        ASSERT_EQ(load(file), CONV_OK);
        EXPECT_EQ(calls(editor), (Calls{{0, 0}, {2, 0x11}, {11, 0}, {14, 1}, {14, 1}, {14, 2}}));
        assembled = editor.images.at(0).bytes;
        const vc::GifAnimRecord r = documentOf(editor);
        const vc::GifFrameEntry zero{};
        EXPECT_TRUE(r.frameCount == 1 && std::memcmp(&r.frames[0], &zero, sizeof zero) == 0);
    }
    const Rgb bg = entry(assembled, 0);
    auto stacked = gifsupport::parsePpms(gifsupport::capture(
        "/usr/bin/convert " + file + " -coalesce -delete 0--2 -background 'rgb(" + std::to_string(bg.r) + "," +
        std::to_string(bg.g) + "," + std::to_string(bg.b) + ")' -alpha remove -alpha off ppm:-"));
    ASSERT_EQ(stacked.size(), 1u);
    expectFrame(assembled, stacked[0], 0, 0, 0);
}

// Five frames on background 3, the last put at 6,6 by gifsicle, imported
// as a sequence at 8 x 8: a frame wider or taller than that is pulled back
// past the corner and draws nothing, leaving the fill (or, covering the
// whole picture, the previous frame); a frame sticking out at the right and
// the bottom is pulled back inside.
TEST_F(GifImport, SequenceSmallerThanAFrameDrawsNoneOfIt) {
    if (!gifsupport::haveTool("/usr/bin/gifsicle")) GTEST_SKIP() << "gifsicle missing";
    const struct {
        unsigned w, h, color;
        int left, top;       // kept by the document: the shift
        int x0, y0, x1, y1;  // where the frame's colour shows; colour 3 elsewhere
        unsigned shows;
    } frames[] = {
        {8, 8, 1, 0, 0, 0, 0, 8, 8, 1},
        {12, 12, 2, 4, 4, 0, 0, 8, 8, 1},  // the previous frame, no fill
        {12, 4, 4, 4, 0, 0, 0, 0, 0, 0},
        {4, 12, 5, 0, 4, 0, 0, 0, 0, 0},   // at 2,0: inside on the left, above on the top
        {4, 4, 7, 2, 2, 4, 4, 8, 8, 7},
    };
    gifsupport::GifBytes g;
    g.header(8, 8, 3, 3);
    for (const auto &f : frames)
        g.image(&f == &frames[3] ? 2 : 0, 0, f.w, f.h, std::vector<uint8_t>(f.w * f.h, uint8_t(f.color)), 4);
    const std::string src = writeFile("offscreen-src.gif", g.trailer().b), file = path("offscreen.gif");
    const std::string cmd =
        "/usr/bin/gifsicle --no-warnings " + src + " '#0-3' --position 6,6 " + src + " '#4' -o " + file;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    answerWith([](VcDialog *d) {
        VcDialogSetText(d, IDC_GIFIMP_WIDTH, "8");
        VcDialogSetText(d, IDC_GIFIMP_HEIGHT, "8");
    });
    FakeEditor editor;
    ASSERT_EQ(load(file), CONV_OK);
    ASSERT_EQ(editor.images.size(), 5u);
    const vc::GifAnimRecord r = documentOf(editor);
    for (size_t i = 0; i < 5; ++i) {
        const auto &f = frames[i];
        SCOPED_TRACE(i);
        EXPECT_EQ((std::vector<int>{r.frames[i].left, r.frames[i].top}), (std::vector<int>{f.left, f.top}));
        const auto &dib = editor.images[i].bytes;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool in = x >= f.x0 && x < f.x1 && y >= f.y0 && y < f.y1;
                ASSERT_EQ(entry(dib, indexAt(dib, x, y)), gifsupport::GifBytes::color(in ? f.shows : 3))
                    << x << "," << y;
            }
    }
}

TEST_F(GifImport, CancelRefusalAndShortMemoryStopCleanly) {
    const std::string file = throbber();
    if (file.empty()) GTEST_SKIP() << "wx3.2-examples or gifsicle missing";
    {
        FakeEditor editor;  // Cancel: nothing but the question
        ui.dialogAnswer = [](int32_t, void *) -> intptr_t { return 0; };
        EXPECT_EQ(load(file), CONV_CANCELLED);
        EXPECT_EQ(calls(editor), (Calls{{0, 0}}));
        ui.dialogAnswer = nullptr;
    }
    {
        FakeEditor editor;  // refuses frame 1: the sequence stops, the load succeeds
        editor.hook = [n = 0](int32_t c, intptr_t, intptr_t) mutable -> std::optional<intptr_t> {
            return c == HOST_ADD_FRAME && ++n == 2 ? std::optional<intptr_t>(0) : std::nullopt;
        };
        EXPECT_EQ(load(file), CONV_OK);
        EXPECT_EQ(calls(editor), (Calls{{0, 0}, {2, 0x011}, {17, 0}, {2, 0x111}, {11, 0}, {14, 1}, {14, 1}, {14, 2}}));
    }
    FakeEditor editor;
    vc::plat::memFailAt(2);  // the work picture, after the record
    EXPECT_EQ(load(file), CONV_E_MEMORY);
    EXPECT_EQ(editor.count(HOST_ADD_FRAME), 0u);
}

}  // namespace
