// Bitmaps in program files (code 131): real Debian programs and DLLs built
// by both mingw toolchains listed and read by the core and the importer as
// icoutils' wrestool lists and extracts them and Pillow draws them, NE
// files from the test builder, damaged files listed by the core from
// memory, the preview arithmetic, and a large program scanned without
// being read.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "common/limits.h"
#include "platform/headless_dialog.h"
#include "still_support.h"
#include "support/program_files.h"
#include "codecs/dib_core.h"
#include "codecs/program_core.h"
#include "cores/api_support.h"
#include "programs/resource_reader.h"

namespace {

using namespace vctest;
using stilltest::capture, stilltest::tool;

// A 32-bit bitmap whose three colour masks follow the header.
Bytes bitfields(int w, int h) {
    Bytes b = dib(w, h, 32);
    poke32(b, 16, 3);
    b.insert(b.begin() + 40, 12, 0xFF);
    return b;
}

class ProgramFiles : public stilltest::StillTest {
protected:
    static vc::Result scan(const std::string &file, vc::ResourceBitmapList &list) {
        vc::plat::File f;
        return f.open(file.c_str()) ? vc::ScanProgramFile(f.handle(), false, list) : vc::Result::openFailed;
    }
    // Loads through the export with "Open Resource Bitmap" answered by act
    // (default: Enter on line 0): the dialog's lines, the result, the name
    // left in the file-name buffer, the block handed over, message boxes.
    struct Opened {
        int32_t result = 0;
        std::vector<std::string> lines;
        std::string name;
        Bytes block;
        size_t messages = 0;
    };
    static Opened open(const std::string &file, const std::function<void(vc::ResourceBitmapModel &)> &act = {}) {
        UiRecorder ui;
        Opened o;
        ui.dialogAnswer = [&](int32_t, VcDialog *d) -> intptr_t {
            auto *m = vc::plat::dialogAs<vc::ResourceBitmapModel>(d);
            for (int32_t i = 0; m && i < int32_t(m->items.size()); ++i) o.lines.push_back(m->itemText(i));
            if (m && act) act(*m);
            return VC_DIALOG_DEFAULT;
        };
        char name[260] = {};
        std::snprintf(name, sizeof name, "%s", file.c_str());
        ConvImageRecord rec{};
        uint8_t format = 0;
        o.result = LoadConvImage(nullptr, name, &rec, &format, 0, nullptr);
        o.name = name;
        if (auto *p = static_cast<uint8_t *>(rec.image ? VcMemLock(rec.image) : nullptr))
            o.block.assign(p, p + VcMemSize(rec.image)), VcMemUnlock(rec.image), VcMemFree(rec.image);
        o.messages = ui.messageBoxes.size();
        return o;
    }
};

// A picture's colour at x, y (from the top) as the host's images give it.
host::Rgb colourAt(const vc::Picture &p, int32_t x, int32_t y) {
    const uint8_t *row = p.rowFromTop(y);
    if (p.bitCount >= 24) {
        const uint8_t *q = row + size_t(x) * (p.bitCount / 8);
        return host::rgb(q[2], q[1], q[0]);
    }
    const uint32_t bit = uint32_t(x) * p.bitCount, i = (row[bit / 8] >> (8 - p.bitCount - bit % 8)) & ((1u << p.bitCount) - 1);
    const vc::Rgbq c = i < p.palette.size() ? p.palette[i] : vc::Rgbq{};
    return host::rgb(c.red, c.green, c.blue);
}

// Real programs (NSIS's stubs, Wine's DLLs of both sizes) and built ones
// (one of 150 bitmaps lists the first 100):
// the core's list from memory is the importer's from the file, with the
// names and sizes wrestool lists (its offsets are addresses in memory) and
// each bitmap's data as wrestool extracts it (behind its 14-byte file
// header), from memory and from the file. Pixels as Pillow reads
// wrestool's copy: the host's image of the importer's block is masked
// exactly where Pillow's alpha is below 128, and it and the core's picture
// have Pillow's colour everywhere else.
TEST_F(ProgramFiles, CoreAndImporterReadProgramsAsWrestoolAndPillowDo) {
    if (!tool("wrestool --version >/dev/null") || !tool("/usr/bin/python3 -c 'import PIL'"))
        GTEST_SKIP() << "needs icoutils' wrestool and Pillow";
    std::vector<std::string> files = {VC_RESOURCE_FILES "/bitmaps-i686.dll", VC_RESOURCE_FILES "/bitmaps-x86_64.dll",
                                      VC_RESOURCE_FILES "/many-i686.dll", VC_RESOURCE_FILES "/many-x86_64.dll",  // 150 bitmaps: the first 100
                                      writeFile("a.exe", buildNe({{"", 5, 2, dib(32, 32, 4)}, {"HELLO", 0, 2, dib(20, 10, 1, true)}}))};
    const std::pair<const char *, const char *> dirs[] = {  // folder, the extension of the programs in it
        {"/usr/share/nsis/Stubs", ""}, {"/usr/lib/i386-linux-gnu/wine/i386-windows", ".dll"}, {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", ".dll"}};
    for (const auto &[dir, extension] : dirs)
        if (std::filesystem::is_directory(dir))
            for (const auto &e : std::filesystem::directory_iterator(dir)) {
                vc::ResourceBitmapList list;
                if (e.path().extension() == extension && scan(e.path().string(), list) == vc::Result::ok) files.push_back(e.path().string());
            }
    const std::regex line(R"(--name=(?:'([^']*)'|(\d+))(?: --language=(\d+))? \[type=bitmap offset=0x[0-9a-f]+ size=(\d+)\])");
    const vc::CoreRequest request;
    struct Drawn {
        std::string copy;
        host::Image host;
        vc::Picture core;
        uint32_t header;
    };
    std::vector<Drawn> drawn;
    for (size_t k = 0; k < files.size(); ++k) {
        const std::string &file = files[k], out = path(std::to_string(k));
        SCOPED_TRACE(file);
        const Bytes bytes = stilltest::readBytes(file);
        std::vector<vc::ProgramBitmap> found;
        vc::ResourceBitmapList list;
        ASSERT_EQ(std::make_pair(vc::listProgramBitmaps(bytes, request, found), scan(file, list)), std::make_pair(vc::Result::ok, vc::Result::ok));
        std::filesystem::create_directories(out);
        ASSERT_TRUE(tool("wrestool -x --type=2 -o '" + out + "' '" + file + "'"));
        const std::string listed = capture("wrestool -l --type=2 '" + file + "' 2>/dev/null");
        vc::plat::File f;
        ASSERT_TRUE(f.open(file.c_str()));
        uint32_t i = 0;
        for (std::sregex_iterator m(listed.begin(), listed.end(), line), end; m != end && i < 100; ++m, ++i) {
            const auto &g = *m;
            ASSERT_LT(i, found.size());
            const vc::ResourceBitmapEntry &e = list.entries[i];
            EXPECT_EQ(std::tie(found[i].name, found[i].id, found[i].dataOffset, found[i].dataSize), std::make_tuple(std::string(e.name), i, e.dataOffset, e.dataSize));
            char number[16];
            std::snprintf(number, sizeof number, g[2] == "0" ? "" : "%6s", g[2].str().c_str());
            const std::string text = (g[1].matched ? g[1].str() : number) + (g[3].matched && g[3] != "0" ? "-" + g[3].str() : "");
            EXPECT_EQ(found[i].name + " " + std::to_string(found[i].dataSize), text.substr(0, 31) + " " + g[4].str());
            const std::string copy = out + "/" + std::filesystem::path(file).filename().string() + "_2_" + (g[1].matched ? g[1] : g[2]).str() +
                                     (g[3].matched && g[3] != "1033" ? "_" + g[3].str() : "") + ".bmp";  // its names leave out 1033
            const Bytes extracted = stilltest::readBytes(copy);
            std::span<const uint8_t> data;
            EXPECT_EQ(vc::programBitmapData(bytes, found[i], vc::Limits{}, data), vc::Result::ok);
            EXPECT_EQ(Bytes(data.begin(), data.end()), Bytes(extracted.begin() + long(std::min<size_t>(14, extracted.size())), extracted.end()));
            vc::plat::Block b(vc::ReadResourceData(f.handle(), &e));
            EXPECT_EQ(b.lock() ? Bytes(b.data(), b.data() + b.size()) : Bytes(), Bytes(data.begin(), data.end()));
            std::string why;
            const auto ours = b.lock() ? host::fromPackedDib(b.data(), b.size(), 1, &why) : std::nullopt;
            vc::Picture picture;
            EXPECT_EQ(vc::decodeProgramBitmap(bytes, found[i], request, picture), vc::Result::ok) << e.name;
            ASSERT_TRUE(ours && picture.consistent()) << e.name << ": " << why;
            drawn.push_back({copy, *ours, std::move(picture), vc::loadLe32(data.data())});
        }
        EXPECT_EQ(i, found.size());
    }
    // Pillow's pixels of every copy at once: whether it has alpha, then RGBA.
    // None for a 12-byte header, whose copy's file header wrestool makes
    // point past the rows.
    ASSERT_TRUE(tool("/usr/bin/python3 -c \"import sys, glob; from PIL import Image\n"
                     "for f in glob.glob(sys.argv[1] + '/*/*.bmp'):\n"
                     "  im = Image.open(f)\n"
                     "  try: data = bytes([im.mode == 'RGBA']) + im.convert('RGBA').tobytes()\n"
                     "  except OSError: continue\n"
                     "  open(f + '.rgba', 'wb').write(data)\" '" + path("") + "'"));
    int equal = 0;
    for (const auto &[copy, ours, core, header] : drawn) {
        SCOPED_TRACE(copy);
        const Bytes theirs = stilltest::readBytes(copy + ".rgba");
        ASSERT_EQ(std::tie(core.width, core.height), std::tie(ours.width, ours.height));
        ASSERT_EQ(theirs.size(), header == 12 ? 0 : 1 + 4 * size_t(ours.width) * size_t(ours.height));
        int wrong = 0;
        for (int32_t y = 0; y < ours.height; ++y)
            for (int32_t x = 0; x < ours.width; ++x) {
                const uint8_t *p = theirs.empty() ? nullptr : &theirs[1 + 4 * (size_t(y) * size_t(ours.width) + size_t(x))];
                const bool hidden = ours.masked(x, y);
                wrong += (p && hidden != (theirs[0] && p[3] < 128)) ||
                         (!hidden && (colourAt(core, x, y) != ours.pixel(x, y) || (p && ours.pixel(x, y) != host::rgb(p[0], p[1], p[2]))));
            }
        EXPECT_EQ(wrong, 0);
        equal += wrong == 0;
    }
    EXPECT_GE(equal, 218);  // the built programs' bitmaps at least
    std::printf("%d of %zu bitmaps in %zu programs as wrestool extracts and Pillow reads them\n", equal, drawn.size(), files.size());
}

// Built programs, 32-bit and 64-bit PE and NE with two alignments: the list
// as a sorted list box shows it, the image named after the line picked
// (with the preview off, OK reads the data itself), Cancel, and font files
// without bitmaps.
TEST_F(ProgramFiles, BuiltProgramsListSortedAndNameThePick) {
    const std::vector<std::string> pe = {"   100-1031", "   100-1033", "   300-1036", "  2000-1033",
                                         "A_B-1033",    "ABB-1033",    "AB-C-1033",   "LOGO-1033"};
    const Bytes five = dib(32, 32, 4), hello = dib(20, 10, 1, true), icon = dib(16, 16, 4);
    const std::tuple<std::string, std::vector<std::string>, int, std::string, Bytes> cases[] = {  // file, lines, line picked, name, data
        {VC_RESOURCE_FILES "/bitmaps-i686.dll", pe, 1, "100-1033.BMP", {}},
        {VC_RESOURCE_FILES "/bitmaps-x86_64.dll", pe, 3, "2000-103.BMP", {}},
        {VC_RESOURCE_FILES "/bitmaps-x86_64.dll", pe, 7, "LOGO-103.BMP", {}},
        {writeFile("a.exe", buildNe({{"", 1, 3, icon}, {"", 5, 2, five}, {"G", 0, 14, icon}, {"HELLO", 0, 2, hello}})),
         {"     5", "HELLO"}, 0, "5.BMP", five},
        {writeFile("b.exe", buildNe({{"HELLO", 0, 2, hello}, {"", 5, 2, five}}, 9)), {"     5", "HELLO"}, 1, "HELLO.BMP", hello},
    };
    for (const auto &[file, lines, line, name, data] : cases) {
        SCOPED_TRACE(name);
        const Opened o = open(file, [&](vc::ResourceBitmapModel &m) {
            (void)m.clicked(vc::kResBmpShowPreview), (void)m.select(vc::kResBmpList, line);
            EXPECT_FALSE(m.image);
        });
        EXPECT_EQ(std::tie(o.result, o.lines, o.name), std::make_tuple(int32_t(CONV_OK), lines, name));
        EXPECT_TRUE(data.empty() || Bytes(o.block.begin(), o.block.begin() + long(data.size())) == data);
        const Opened cancelled = open(file, [](vc::ResourceBitmapModel &m) { (void)m.click(2); });
        EXPECT_EQ(std::tie(cancelled.result, cancelled.name, cancelled.block), std::make_tuple(int32_t(CONV_CANCELLED), file, Bytes()));
    }
    for (const char *font : {"/usr/share/wine/fonts/coure.fon", "/usr/share/wine/fonts/sserife.fon"}) {
        uint8_t format = 0;
        char text[64] = {};
        ConvImageRecord rec{nullptr, 0, text, sizeof text};
        const Opened o = open(font);
        const int32_t detected = DetectFileFormat(font, &format, 1), previewed = GetPreviewImage(font, &rec);
        EXPECT_EQ(std::make_tuple(detected, format, o.result, o.messages, previewed),
                  std::make_tuple(CONV_OK, CONV_FMT_RESOURCE, CONV_CANCELLED, size_t(1), CONV_CANCELLED)) << font;
        EXPECT_STREQ(text, "This file does not contain bitmap images");
    }
}

// Damaged programs listed by the core from memory, one field at a time in
// both PE layouts, then every truncation (listed, and previewed through the
// export): nothing loops, reads outside or leaks, and the result is the
// failure the damage calls for. Then what is no program with bitmaps, a
// caller that stops, and the importer's answers to data past the end.
// Moves the section header `by` bytes on, zeroing the bytes it leaves.
void moveSection(PeFile &f, long by) {
    const auto at = f.bytes.begin() + long(f.section);
    std::copy_backward(at, at + 40, at + by + 40);
    std::fill(at, at + by, 0);
}

TEST_F(ProgramFiles, DamagedFilesEndWithTheirFailure) {
    using enum vc::Result;
    const std::tuple<const char *, std::function<void(PeFile &)>, vc::Result, const char *> cases[] = {  // damage, result, first name
        {"intact", [](PeFile &) {}, ok, "LOGO-1033"},
        {"relocations before 64", [](PeFile &f) { poke16(f.bytes, 24, 63); }, notFormat, ""},
        {"no MZ", [](PeFile &f) { f.bytes[0] = 'X'; }, notFormat, ""},
        {"PE without its zero bytes", [](PeFile &f) { f.bytes[66] = 1; }, notFormat, ""},
        {"new header past the end", [](PeFile &f) { poke32(f.bytes, 60, 0x7FFFFFF0); }, readFailed, ""},
        {"two data directories", [](PeFile &f) { poke32(f.bytes, f.optional + (f.bytes[f.optional + 1] == 2 ? 108 : 92), 2); }, noneFound, ""},
        {"no section holds the directory", [](PeFile &f) { poke32(f.bytes, f.section + 12, 0x9000); }, noneFound, ""},
        {"twenty data directories, the sections after them",
         [](PeFile &f) {
             moveSection(f, 32), poke32(f.bytes, f.section - 132, 20);
             poke16(f.bytes, 84, uint32_t(f.section + 32 - f.optional));
         },
         ok, "LOGO-1033"},
        {"a section ending where the resources begin, listed first",
         [](PeFile &f) {
             moveSection(f, 40), poke16(f.bytes, 70, 2);
             poke32(f.bytes, f.section + 12, 0x2000), poke32(f.bytes, f.section + 16, 0x1000), poke32(f.bytes, f.section + 20, 0x7FFFFF00);
         },
         ok, "LOGO-1033"},
        {"root count past the end", [](PeFile &f) { poke32(f.bytes, f.root + 16, 3), poke16(f.bytes, f.root + 14, 0xFFFF); }, readFailed, ""},
        {"subdirectory back at its parent", [](PeFile &f) { poke32(f.bytes, f.languageDir0 + 44, 0x80000018u); }, readFailed, ""},
        {"directory holding itself", [](PeFile &f) { poke32(f.bytes, f.bitmapDir + 28, 0x80000018u); }, readFailed, ""},
        {"loop before any bitmap", [](PeFile &f) { poke32(f.bytes, f.bitmapDir + 20, 0x80000018u); }, noneFound, ""},
        {"name length 0xFFFF", [](PeFile &f) { poke16(f.bytes, f.name0, 0xFFFF); }, ok, nullptr},
        {"name outside the file", [](PeFile &f) { poke32(f.bytes, f.bitmapDir + 16, 0xFFFFFF00u); }, ok, "?\?\?-1033"},
    };
    for (bool plus : {false, true}) {
        for (const auto &[what, damage, result, firstName] : cases) {
            SCOPED_TRACE(std::string(what) + (plus ? " PE32+" : " PE32"));
            PeFile f = buildPe({{"LOGO", 0, 1033, dib(8, 8, 4)}, {"", 7, 1033, dib(9, 3, 24)}}, plus);
            damage(f);
            std::vector<vc::ProgramBitmap> found;
            EXPECT_EQ(vc::listProgramBitmaps(f.bytes, {}, found), result);
            const std::string first = result == ok ? found.at(0).name : "";
            EXPECT_LE(first.size(), 31u);
            EXPECT_EQ(first, firstName ? firstName : first);
        }
    }
    // An MZ file whose new header is neither NE nor PE (a linear "LE" one)
    // is no program of ours, by content too.
    const std::tuple<Bytes, vc::Result, bool> others[] = {  // bytes, result, looks like a program
        {stilltest::readBytes("/usr/share/wine/fonts/coure.fon"), noneFound, true},
        {Bytes{'M', 'Z', 0, 0}, notFormat, false},
        {mzHeader(0x454C), notFormat, false},
        {mzHeader(0x4550), readFailed, true},
    };
    for (const auto &[bytes, result, looks] : others) {
        std::vector<vc::ProgramBitmap> found;
        EXPECT_EQ(std::make_pair(vc::listProgramBitmaps(bytes, {}, found), found.size()), std::make_pair(result, size_t(0)));
        EXPECT_EQ(vc::looksLikeProgram(bytes), looks) << vc::resultName(result);
    }
    // A name of 40 characters keeps its first 31.
    std::vector<vc::ProgramBitmap> named;
    ASSERT_EQ(vc::listProgramBitmaps(buildPe({{std::string(40, 'N'), 0, 1033, dib(8, 8, 4)}}, false).bytes, {}, named), vc::Result::ok);
    EXPECT_EQ(named.at(0).name, std::string(31, 'N'));
    vc::CoreRequest stop;
    stop.progress.report = [](void *, int32_t) { return false; };
    std::vector<vc::ProgramBitmap> found;
    vc::Picture picture;
    PeFile f = buildPe({{"", 7, 0, dib(9, 3, 24)}}, false);
    EXPECT_EQ(vc::listProgramBitmaps(f.bytes, stop, found), cancelled);
    ASSERT_EQ(vc::listProgramBitmaps(f.bytes, {}, found), ok);
    EXPECT_EQ(vc::decodeProgramBitmap(f.bytes, found[0], stop, picture), cancelled);
    // Data said to be larger than the file gives what is there; data
    // outside it leaves OK refused and the dialog cancelled, and is no
    // picture for the core.
    poke32(f.bytes, f.dataEntry0 + 4, 0x7FFFFFFF);
    EXPECT_EQ(open(writeFile("big.dll", f.bytes)).block, dib(9, 3, 24));
    ASSERT_EQ(vc::listProgramBitmaps(f.bytes, {}, found), ok);
    EXPECT_EQ(vc::decodeProgramBitmap(f.bytes, found[0], {}, picture), ok);
    poke32(f.bytes, f.dataEntry0, 0x7FFFFF00);
    const Opened gone = open(writeFile("gone.dll", f.bytes));
    EXPECT_EQ(std::tie(gone.result, gone.block), std::make_tuple(int32_t(CONV_CANCELLED), Bytes()));
    ASSERT_EQ(vc::listProgramBitmaps(f.bytes, {}, found), ok);
    EXPECT_EQ(vc::decodeProgramBitmap(f.bytes, found[0], {}, picture), readFailed);

    for (const Bytes &file : {buildPe({{"LOGO", 0, 1033, dib(8, 8, 4)}}, true).bytes, buildNe({{"", 5, 2, dib(8, 8, 1)}, {"N", 0, 2, dib(8, 8, 1)}})}) {
        for (size_t n = 0; n < file.size(); ++n) {
            // The core over the bytes in memory reads as the importer over a file.
            std::vector<vc::ProgramBitmap> cut;
            vc::ResourceBitmapList list;
            vc::plat::memFileMap("cut.exe", file.data(), n);
            const vc::Result r = vc::listProgramBitmaps(std::span(file.data(), n), {}, cut), scanned = scan("cut.exe", list);
            EXPECT_EQ(std::make_pair(r, cut.size()), std::make_pair(scanned, size_t(list.count))) << n;
            EXPECT_TRUE(r != ok || !cut.empty()) << n;
            ConvImageRecord rec{};
            if (GetPreviewImage("cut.exe", &rec) == 1) VcMemFree(rec.image);
        }
    }
    vc::plat::memFileUnmap("cut.exe");
    // Data over the preview's read limit gives no preview.
    vc::Limits lowered;
    lowered.previewRead = 100;
    vc::setLimits(lowered);
    ConvImageRecord rec{};
    EXPECT_EQ(GetPreviewImage(writeFile("over.dll", buildPe({{"", 7, 0, dib(9, 3, 24)}}, false).bytes).c_str(), &rec), CONV_E_READ);
}

// The preview's placement inside a 120 x 130 button, and the statics.
TEST_F(ProgramFiles, PreviewPlacementAndStatics) {
    const std::tuple<Bytes, int32_t, int32_t, int32_t, int32_t, std::string, std::string> cases[] = {  // header, x, y, w, h, texts
        {dib(32, 32, 4), 44, 49, 32, 32, "32x32", "16"},
        {dib(200, 100, 24), 1, 33, 118, 64, "200x100", "16.7 Mio."},
        {dib(50, 300, 8), 50, 1, 20, 128, "50x300", "256"},  // tall: the width scales by W / height
        {dib(118, 128, 1, true), 1, 1, 118, 128, "118x128", "2"},
        {dib(20, 10, 24, true), 50, 60, 20, 10, "20x10", "16.7 Mio."},  // a core header, no table
        {bitfields(16, 16), 52, 57, 16, 16, "16x16", "16.7 Mio."},
        {dib(64, 1, 24), 28, 64, 64, 1, "64x1", "16.7 Mio."},  // one row is drawable
    };
    vc::BitmapPreview p;
    for (const auto &[header, x, y, w, h, size, colors] : cases) {
        ASSERT_TRUE(vc::bitmapPreview(header.data(), header.size(), 120, 130, p));
        EXPECT_EQ(std::tie(p.x, p.y, p.drawWidth, p.drawHeight, p.sizeText, p.colorsText, p.drawable), std::make_tuple(x, y, w, h, size, colors, true));
        EXPECT_FALSE(vc::bitmapPreview(header.data(), header.size() - 1, 120, 130, p) && p.drawable) << size;
    }
    Bytes tall = dib(1, 1, 24), wraps = dib(1, 1, 24);
    poke32(tall, 8, 0x80000000u);  // a height that cannot be negated
    poke32(wraps, 4, 1u << 28), poke32(wraps, 8, 1u << 24), poke16(wraps, 14, 0x8000);  // 2^24 rows of 2^40 bytes
    for (const Bytes &hostile : {tall, wraps})
        EXPECT_TRUE(vc::bitmapPreview(hostile.data(), hostile.size(), 120, 130, p) && !p.drawable);
    EXPECT_EQ(std::make_tuple(vc::mulDiv(1, 1, 2), vc::mulDiv(-1, 1, 2), vc::mulDiv(5, 3, 0), vc::mulDiv(1 << 30, 8, 2)),
              std::make_tuple(1, -1, -1, -1));
}

// A 50 MB program with its resources at the end: listed without reading
// the file (bytes read and peak memory stay small).
TEST_F(ProgramFiles, LargeProgramIsListedWithoutReadingItWhole) {
    const uint32_t at = 50u << 20;
    const Bytes pe = buildPe({{"", 1, 1033, dib(32, 32, 4)}}, true, at).bytes;
    const std::string file = path("large.dll");
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_TRUE(fd >= 0 && ::pwrite(fd, pe.data(), 0x200, 0) == 0x200 && ::pwrite(fd, &pe[at], pe.size() - at, at) > 0);
    ::close(fd);
    auto field = [](const char *file, const char *name) {
        const Bytes bytes = stilltest::readBytes(file);
        const std::string text(bytes.begin(), bytes.end());
        return std::stoull(text.substr(text.find(name) + std::strlen(name)));
    };
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const uint64_t resident = field("/proc/self/status", "VmRSS:"), read0 = field("/proc/self/io", "rchar:");
    vc::ResourceBitmapList list;
    EXPECT_EQ(scan(file, list), vc::Result::ok);
    EXPECT_EQ(list.count, 1u);
    EXPECT_LT(field("/proc/self/io", "rchar:") - read0, 256u << 10) << "bytes read";
    // Far below the file's 50 MB; the sanitizers' shadow memory and
    // allocator caches alone add a MiB or two in the 32-bit build.
    EXPECT_LT(field("/proc/self/status", "VmHWM:"), resident + 8192) << "peak memory (KiB) above what was resident";
}

// Packed DIBs in the three forms they come in: stored in a program, handed
// over on their own (the API's vc_picture_from_dib), and behind a BMP file
// header. By the result they give: run-length rows (a delta, line ends, a
// run past the row's end dropped, not carried into the row above), rows
// from the top or at the file header's offset, channel masks (alpha from an
// alpha mask, in the header or behind it; stored, 32 bits with masks stay
// 32 bits, their alpha 0 without an alpha mask), 16 bits, and the damaged
// headers. A plain DIB's rows come back as they are.
TEST(DibCore, DecodesEveryKindStoredHandedOverAndInFiles) {
    using enum vc::Result;
    using apitest::dib;
    enum Form { stored, handed, file };
    auto with = [](Bytes b, size_t at, uint32_t v, bool wide = true) { return wide ? poke32(b, at, v) : poke16(b, at, v), b; };
    auto cut = [](Bytes b, size_t n) { return b.resize(n), b; };
    Bytes rle = vctest::dib(4, 2, 8);
    rle.resize(40 + 1024);
    poke32(rle, 16, 1), poke32(rle, 40 + 4 * 5, 0x00FF0000), poke32(rle, 40 + 4 * 7, 0x000000FF);
    rle.insert(rle.end(), {2, 5, 0, 0, 0, 3, 7, 7, 7, 0, 0, 1});  // two of 5; a literal group of three 7s; the end
    Bytes grey;  // entry i is grey i*16
    for (int i = 0; i < 16; ++i) grey.insert(grey.end(), {uint8_t(i * 16), uint8_t(i * 16), uint8_t(i * 16), 0});
    const Bytes masks4444 = {0, 0x0F, 0, 0, 0xF0, 0, 0, 0, 0x0F, 0, 0, 0, 0, 0xF0, 0, 0};
    const Bytes rgb = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0}, rgba = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF};
    const Bytes greys56 = {0x50, 0x50, 0x50, 0xFF, 0x60, 0x60, 0x60, 0x7F};
    Bytes v4 = dib(2, 1, 32, 3, {}, greys56, true, 0, 108);
    for (uint32_t i = 0; i < 4; ++i) poke32(v4, 54 + 4 * i, i == 3 ? 0xFF000000u : 0xFF0000u >> 8 * i);
    // The image size and the colours used given.
    const Bytes rle8 = with(with(dib(2, 1, 8, 1, grey, {2, 5, 0, 1}, false), 20, 4), 32, 16),
                rle8wide = with(with(dib(4, 2, 8, 1, grey, {6, 5, 0, 0, 0, 2, 2, 0, 2, 9, 0, 1}, false), 20, 12), 32, 16);
    struct Row {
        const char *what;
        Bytes bytes;
        Form form;
        vc::Result result;
        uint16_t depth = 0;
        host::Rgb left = 0;        // the top left pixel's colour
        int rightAlpha = -1;       // the right pixel's alpha at 32 bits
        const char *greys = "";    // every pixel's blue / 16, rows from the top
    };
    const Row rows[] = {
        {"core header", vctest::dib(20, 10, 1, true), stored, ok, 1, host::rgb(0x5A, 0x5A, 0x5A)},
        {"32 bits with masks", bitfields(4, 4), stored, ok, 32, host::rgb(0x5A, 0x5A, 0x5A), 0},
        {"run-length 8", rle, stored, ok, 8, host::rgb(0, 0, 0xFF), -1, "FFF5|0055"},
        {"run-length cut short", cut(rle, rle.size() - 6), stored, readFailed},
        {"run-length from the top", with(rle, 8, uint32_t(-2)), stored, damaged},
        {"a header of 20 bytes", with(vctest::dib(2, 2, 8), 0, 20), stored, notFormat},
        {"coded as JPEG", with(vctest::dib(2, 2, 24), 16, 4), stored, unsupported},
        {"depth 7", with(vctest::dib(2, 2, 8), 14, 7, false), stored, unsupported},
        {"no width", with(vctest::dib(2, 2, 8), 4, 0), stored, damaged},
        {"rows cut short", cut(vctest::dib(2, 2, 24), 55), stored, readFailed},
        {"table cut short", cut(vctest::dib(2, 2, 8), 60), stored, readFailed},
        {"a million pixels square", with(with(vctest::dib(1, 1, 8), 4, 1u << 20), 8, 1u << 20), stored, noMemory},
        {"24 bits behind a gap", dib(2, 1, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}, true, 6), file, ok, 24, 0x030201},
        {"8 bits, the table cut at the rows", dib(2, 1, 8, 0, {grey.begin(), grey.begin() + 8}, {1, 0, 0, 0}), file, ok, 8, 0x101010},
        // Bottom row: 3 pixels 1,2,1 then a line end; next: a delta of 2
        // right, literal 5,6,7 (padded), line end; top: 6 pixels of 9.
        {"run-length 4 bits", dib(6, 3, 4, 2, grey, {3, 0x12, 0, 0, 0, 2, 2, 0, 0, 3, 0x56, 0x70, 0, 0, 6, 0x99, 0, 1}), file, ok,
         4, 0x909090, -1, "999999|005670|121000"},
        {"rows from the top", dib(2, -2, 24, 0, {}, {16, 16, 16, 32, 32, 32, 0, 0, 48, 48, 48, 64, 64, 64, 0, 0}), file, ok, 24,
         0x101010, -1, "12|34"},
        {"108-byte header, alpha mask", v4, file, ok, 32, 0x505050, 0x7F},
        {"bit fields", dib(2, 1, 32, 3, rgb, {0x50, 0x50, 0x50, 0, 0x60, 0x60, 0x60, 0}, false), handed, ok, 24, 0x505050, -1, "56"},
        {"alpha bit fields", dib(2, 1, 32, 6, rgba, greys56, false), handed, ok, 32, 0x505050, 0x7F},
        {"16 bits", dib(2, 1, 16, 0, {}, {0x4A, 0x29, 0x8C, 0x31}, false), handed, ok, 24, 0x525252, -1, "56"},
        {"run-length 8, its image size given", rle8, handed, ok, 8, 0x505050, -1, "55"},
        {"run-length 8, a run past the row's end", rle8wide, handed, ok, 8, 0x000000, -1, "0099|5555"},
        {"16-bit alpha mask", dib(2, 1, 16, 6, masks4444, {0x00, 0xFF, 0x00, 0x70}, false), handed, ok, 32, 0xFF0000, 0x77},
        {"plain 32 bits", dib(2, 1, 32, 0, {}, {9, 8, 7, 0x40, 9, 8, 7, 0x40}, false), handed, ok, 24, 0x070809},
        {"no room for the table", dib(2, 1, 8, 0, {}, {1, 0, 0, 0}), file, readFailed},
        {"run-length 24 bits", dib(2, 1, 24, 1, {}, {2, 1, 0, 1}, false), handed, unsupported},
        {"compression 7, no masks behind it", dib(2, 1, 24, 7, {}, {1, 2, 3, 4, 5, 6, 0, 0}, false), handed, unsupported},
        {"run-length 8, no image size", dib(2, 1, 8, 1, Bytes(1024), {2, 1, 0, 1}, false), handed, damaged},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        vc::Picture p;
        ASSERT_EQ(r.form == file     ? vc::decodeBmp(r.bytes, {}, p)
                  : r.form == handed ? vc::decodePackedDib(r.bytes, vc::Limits{}, p, vc::kDibAsInBmp)
                                     : vc::decodePackedDib(r.bytes, vc::Limits{}, p),
                  r.result);
        if (r.result != ok) continue;
        ASSERT_TRUE(p.consistent());
        EXPECT_EQ(std::make_tuple(p.bitCount, colourAt(p, 0, 0), p.bitCount == 32 ? p.rowFromTop(0)[7] : -1), std::make_tuple(r.depth, r.left, r.rightAlpha));
        std::string seen;
        for (int32_t y = 0; *r.greys && y < p.height; ++y)
            for (int32_t x = 0; x < p.width; ++x) (seen += y && !x ? "|" : "") += "0123456789ABCDEF"[(colourAt(p, x, y) & 255) / 16];
        EXPECT_EQ(seen, r.greys);
    }
    const Bytes plain = vctest::dib(3, 2, 8);
    vc::Picture p;
    ASSERT_EQ(vc::decodePackedDib(plain, vc::Limits{}, p), ok);
    EXPECT_EQ(std::make_tuple(p.width, p.height, p.bitCount, p.palette.size(), p.pixels), std::make_tuple(3, 2, uint16_t(8), size_t(256), Bytes(plain.end() - 8, plain.end())));
    Bytes notBmp = {'B', 'A', 0, 0};
    EXPECT_EQ(vc::decodeBmp(notBmp, {}, p), notFormat);
}

}  // namespace
