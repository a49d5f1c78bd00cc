// Every save, load and preview of every format through the exports, with the
// 1st, 2nd, 3rd ... allocation refused until the operation no longer meets a
// refusal, and every save with its writes cut short after 0, 1, 2 ... bytes
// and with a close that fails.
// Each step must end in its result code with nothing leaked (blocks, files,
// progress windows), the editor's images and documents as they were, and no
// file on disk changed but the one being written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "platform/headless_dialog.h"
#include "platform/owners.h"
#include "support/cursor_files.h"
#include "support/fake_companion.h"
#include "support/program_files.h"
#include "video/avi.h"

using namespace vctest;

namespace {

using Files = std::map<std::string, Bytes>;

struct Format {
    const char *file;  // written by the save, then loaded and previewed
    int32_t code;      // what the editor saves with; 0: read only
    int frames;        // editor images: icons for 132 and 166, frames else
    uint16_t bits;
    bool record;  // loads hand the picture back in the output record
    // Results when memory is refused: besides CONV_E_MEMORY, what the format
    // gives at that point (an editor that has no icon to give, a picture
    // delivered as far as it decoded). An empty preview set: no preview.
    std::set<int32_t> save, load, preview;
    size_t uncheckedTail = 0;  // bytes at the end whose writes decide nothing
};
void PrintTo(const Format &f, std::ostream *os) { *os << f.file; }

class Sweep : public stilltest::StillTest, public ::testing::WithParamInterface<Format> {
protected:
    void SetUp() override {
        StillTest::SetUp();
        gFakeCompanion = &fake;
        vc::AviLibrary::setTestCompanion(fakeCompanionLookup);
        writeFile("neighbour.bin", Bytes(300, 0x5A));
        parent = VcCreateWindow(nullptr, 0, 0, 400, 300);
    }
    void TearDown() override {
        for (void *d : editor.documents) VcMemFree(d);
        editor.documents.clear();
        if (image) VcMemFree(image);
        VcDestroyWindow(parent);
        vc::AviLibrary::clearTestCompanion();
        StillTest::TearDown();
    }

    Files disk(const std::string &except) const {
        Files out;
        for (const auto &e : std::filesystem::directory_iterator(path("")))
            if (e.path().filename() != except) out[e.path().filename().string()] = stilltest::readBytes(e.path().string());
        return out;
    }
    static Bytes bytesOf(void *block) {
        const vc::plat::Lock lock(block);
        return Bytes(lock.data(), lock.data() + vc::plat::memSize(block));
    }
    // What the editor holds: its images, hotspots, documents and the block it saves.
    Files editorData() const {
        Files out;
        for (size_t i = 0; i < editor.images.size(); ++i) out["image" + std::to_string(i)] = editor.images[i].bytes;
        for (auto [i, h] : editor.hotspots) out["hotspot" + std::to_string(i)] = le32({h});
        for (void *b : editor.documents) out["document" + std::to_string(out.size())] = bytesOf(b);
        if (image) out["image"] = bytesOf(image);
        return out;
    }

    // Runs op once per step and checks each step: nothing leaked, nothing on
    // disk but `output` changed, the editor's data unchanged unless the
    // operation loads into it (then what it received is let go).
    void steps(const std::function<bool(long)> &arm, const std::function<int32_t()> &op,
               const std::function<bool(int32_t, long)> &check, const std::string &output, bool loads) {
        const long blocks = vc::plat::memLiveBlocks(), files = vc::plat::fileOpenCount();
        const Files before = disk(output), data = editorData();
        const size_t images = editor.images.size(), documents = editor.documents.size();
        bool more = true;
        for (long n = 0; more && n < 2000; ++n) {
            SCOPED_TRACE("step " + std::to_string(n));
            const bool failedBefore = ::testing::Test::HasFailure();
            more = arm(n);
            const int32_t r = op();
            more = check(r, n) && more;
            if (loads) {
                for (size_t i = documents; i < editor.documents.size(); ++i) VcMemFree(editor.documents[i]);
                editor.documents.resize(documents), editor.images.resize(images);
                editor.currentDocument = documents ? editor.documents.back() : nullptr;
            }
            EXPECT_EQ(std::tuple(vc::plat::memLiveBlocks(), vc::plat::fileOpenCount(), vc::progressState().exists),
                      std::tuple(blocks, files, false));
            EXPECT_EQ(disk(output), before);
            EXPECT_EQ(loads ? data : editorData(), data);
            if (!failedBefore && ::testing::Test::HasFailure()) break;
        }
    }
    // The n-th allocation refused, n = 1, 2 ...; the sweep ends at the first
    // run that made fewer than n allocations, which must succeed. Probing
    // after the run tells whether the refusal was reached.
    void allocationSweep(const std::function<int32_t()> &op, std::set<int32_t> refused, bool loads) {
        SCOPED_TRACE(loads ? "reading" : "saving");
        refused.insert(CONV_E_MEMORY);
        const auto probe = [&](int32_t r, long n) {
            bool reached = true;
            for (long k = 0; k <= n && reached; ++k) {
                vc::MemHandle h = vc::plat::memAlloc(0, 1);
                reached = h && !vc::plat::memFree(h);
            }
            vc::plat::memFailAt(0);
            EXPECT_TRUE(reached ? refused.count(r) : r == CONV_OK) << "allocation " << n + 1 << " refused: " << r;
            return reached;
        };
        steps([](long n) { return vc::plat::memFailAt(n + 1), true; }, op, probe, loads ? "" : GetParam().file, loads);
    }

    // The file name in a buffer of the editor's size: some loads leave a name there.
    const char *name() {
        std::snprintf(name_, sizeof name_, "%s", path(GetParam().file).c_str());
        return name_;
    }
    size_t held() const {  // the size of the file in memory
        size_t size = 0;
        return vc::plat::memFileData(path(GetParam().file).c_str(), &size) ? size : 0;
    }
    int32_t save() { return SaveConvImage(parent, name(), image, GetParam().code, 0, FakeEditor::callback()); }
    int32_t read(bool preview) {
        ConvImageRecord rec{};
        uint8_t format = 0;
        const int32_t r = preview ? GetPreviewImage(name(), &rec)
                                  : LoadConvImage(parent, name(), GetParam().record ? &rec : nullptr, &format, 0,
                                                  FakeEditor::callback());
        EXPECT_TRUE(r == CONV_OK || !rec.image);
        if (rec.image) VcMemFree(rec.image);
        return r;
    }

    FakeEditor editor;
    FakeCompanion fake;
    UiRecorder ui;
    void *parent = nullptr, *image = nullptr;
    char name_[260] = {};
};

TEST_P(Sweep, RefusedMemoryAndShortWritesEndCleanly) {
    const Format &f = GetParam();
    const std::string out = f.file;
    fake.count = 3;
    ui.dialogAnswer = [](int32_t, VcDialog *d) {  // AVI import: the first frame
        if (vc::plat::dialogAs<vc::AviImportModel>(d))
            VcDialogKeys(d, 1), VcDialogReelNotify(d, vc::kAviImportReel, vc::REELN_CLICK, 1), VcDialogKeys(d, 0);
        return VC_DIALOG_DEFAULT;
    };
    const bool icons = f.code == CONV_FMT_ICON || f.code == CONV_FMT_ANI;
    for (int i = 0; i < f.frames; ++i) {
        Bytes dib = makeDib(16, 8, f.bits);
        for (size_t k = dib.size() - 64; k < dib.size(); ++k) dib[k] = uint8_t(k * 37 + i);
        icons ? editor.addIcon(iconData(32, 32, f.bits, uint8_t(0x11 * (i + 1)))) : editor.addFrame(dib);
        editor.hotspots[i] = uint32_t(i + 3) | 5u << 16;
    }
    editor.imageWidth = icons ? 32 : 16;
    editor.imageHeight = icons ? 32 : 8;
    if (f.code == CONV_FMT_ANI || f.code == CONV_FMT_ANIGIF) {
        ASSERT_EQ(NewConvFile(parent, name_, f.code, 0, FakeEditor::callback()), CONV_OK);
    } else if (f.code) {
        image = stilltest::StillTest::handle(editor.images[0].bytes);
    }
    // The file lives in memory (the disk would flush every truncated file on close).
    const Bytes pe = buildPe({{"", 7, 0x409, makeDib(16, 8, f.bits)}}, false).bytes;
    if (f.code != CONV_FMT_AVI) vc::plat::memFileMap(path(out).c_str(), pe.data(), f.code ? 0 : pe.size());
    if (f.code) {
        ASSERT_EQ(save(), CONV_OK);
        const size_t whole = held();
        allocationSweep([&] { return save(); }, f.save, false);
        // Short writes: CONV_E_WRITE, and what was written stays.
        if (f.code != CONV_FMT_AVI) {
            steps([&](long n) { return vc::plat::fileFailWritesAfter(n), n + 1 < long(whole); },
                  [&] { return save(); },
                  [&](int32_t r, long n) {
                      vc::plat::fileFailWritesAfter(-1);
                      EXPECT_EQ(std::pair(r, held()),
                                std::pair(int32_t(size_t(n) + f.uncheckedTail < whole ? CONV_E_WRITE : CONV_OK), size_t(n)));
                      return true;
                  },
                  out, false);
            // A close that fails may have lost what the system held back:
            // CONV_E_WRITE, and the file stays (the TIFF writer's date may
            // have moved on); the next save succeeds.
            for (bool fails : {true, false}) {
                vc::plat::fileFailCloses(fails);
                EXPECT_EQ(save(), fails ? CONV_E_WRITE : CONV_OK);
                vc::plat::fileFailCloses(false);
                EXPECT_EQ(held(), whole);
            }
        }
    }
    if (f.code == CONV_FMT_AVI) writeFile(out, std::string("RIFF\x10\0\0\0AVI LIST", 16));
    allocationSweep([&] { return read(false); }, f.load, true);
    if (!f.preview.empty()) allocationSweep([&] { return read(true); }, f.preview, true);
    vc::plat::memFileUnmap(path(out).c_str());
}

const std::set<int32_t> kMemory = {CONV_E_MEMORY}, kNoPreview = {};
const Format kFormats[] = {
    {"i.ico", CONV_FMT_ICON, 1, 4, true, kMemory, kMemory, kMemory},
    {"c.cur", CONV_FMT_ICON, 1, 1, true, kMemory, kMemory, kMemory},
    // The editor without an icon for frame 0 (-8) or a later one (the file ends there).
    {"a.ani", CONV_FMT_ANI, 2, 4, false, {CONV_E_WRITE, CONV_OK}, kMemory, {CONV_E_UNSUPPORTED}},
    // A picture whose index buffer was refused is delivered blank.
    {"s.gif", CONV_FMT_GIF, 1, 8, true, kMemory, {CONV_OK}, {CONV_OK}},
    {"m.gif", CONV_FMT_ANIGIF, 2, 4, false, kMemory, {CONV_OK}, kNoPreview},
    // The palette block's writes are not checked.
    {"p.pcx", CONV_FMT_PCX, 1, 8, true, kMemory, kMemory, kMemory, 769},
    // A strip buffer refused ends the strips, the directory still comes; a
    // work buffer refused fails the decoding.
    {"t.tif", CONV_FMT_TIFF, 1, 4, true, {CONV_E_WRITE}, {CONV_E_DATA}, {CONV_E_DATA}},
    {"j.jpg", CONV_FMT_JPEG, 1, 24, true, kMemory, kMemory, kMemory},
    // A film strip without its selection block selects nothing.
    {"v.avi", CONV_FMT_AVI, 2, 8, false, {CONV_OK}, {CONV_CANCELLED}, kMemory},
    // OK loads the bitmap again when the selection could not; the preview
    // names data it could not read.
    {"r.exe", 0, 0, 8, true, kNoPreview, {CONV_OK}, {CONV_E_READ}},
};
INSTANTIATE_TEST_SUITE_P(EveryFormat, Sweep, ::testing::ValuesIn(kFormats),
                         [](const auto &info) { return std::string(info.param.file).erase(1, 1); });

}  // namespace
