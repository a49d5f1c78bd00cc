// Bitmaps in program files (code 131): real Debian programs listed and read
// as icoutils' wrestool lists and extracts them, DLLs built by both mingw
// toolchains, NE files from the test builder, damaged files, the preview
// arithmetic, and a large program scanned without being read.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include "platform/headless_dialog.h"
#include "still_support.h"
#include "support/program_files.h"
#include "video/resource_reader.h"

namespace {

using namespace vctest;
using stilltest::readBytes;
namespace fs = std::filesystem;

const std::string kWine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";

std::string run(const std::string &command) {
    std::string out;
    if (std::FILE *p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

Bytes dib(int w, int h, uint16_t bits, bool core = false) {
    Bytes b;
    const size_t colors = bits <= 8 ? size_t(1) << bits : 0, row = (size_t(w) * bits + 31) / 32 * 4;
    if (core) {
        poke32(b, 0, 12), poke16(b, 4, uint32_t(w)), poke16(b, 6, uint32_t(h)), poke16(b, 8, 1), poke16(b, 10, bits);
    } else {
        poke32(b, 0, 40), poke32(b, 4, uint32_t(w)), poke32(b, 8, uint32_t(h)), poke16(b, 12, 1), poke16(b, 14, bits);
    }
    b.resize(core ? 12 : 40);
    b.resize(b.size() + colors * (core ? 3 : 4) + row * size_t(h), 0x5A);
    return b;
}

class ProgramFiles : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        DllMain(reinterpret_cast<void *>(0x400000), 1, nullptr);
    }
    int16_t scan(const std::string &file, vc::ResourceBitmapList &list) {
        vc::plat::File f;
        if (!f.open(file.c_str())) return CONV_E_OPEN;
        return vc::ScanProgramFile(f.handle(), false, list);
    }
    Bytes data(const std::string &file, const vc::ResourceBitmapEntry &e) {
        vc::plat::File f;
        EXPECT_TRUE(f.open(file.c_str()));
        vc::plat::Block b(vc::ReadResourceData(f.handle(), &e));
        return b.lock() ? Bytes(b.data(), b.data() + b.size()) : Bytes{};
    }
    // Loads through the export with "Open Resource Bitmap" answered by act
    // (default: Enter on line 0): the dialog's lines, the result, the name
    // left in the file-name buffer and the block handed over.
    struct Opened {
        int32_t result = 0;
        std::vector<std::string> lines;
        std::string name;
        Bytes block;
        std::vector<std::string> messages;
    };
    Opened open(const std::string &file, const std::function<intptr_t(vc::ResourceBitmapModel &)> &act = {}) {
        UiRecorder ui;
        Opened o;
        ui.dialogAnswer = [&](int32_t id, VcDialog *d) -> intptr_t {
            auto *m = vc::plat::dialogAs<vc::ResourceBitmapModel>(d);
            if (!m) return 0;
            for (int32_t i = 0; i < int32_t(m->items.size()); ++i) o.lines.push_back(m->itemText(i));
            return act ? act(*m) : VC_DIALOG_DEFAULT;
        };
        char name[260] = {};
        std::snprintf(name, sizeof name, "%s", file.c_str());
        ConvImageRecord rec{};
        uint8_t format = 0;
        o.result = LoadConvImage(nullptr, name, &rec, &format, 0, nullptr);
        o.name = name;
        if (rec.image) {
            auto *p = static_cast<uint8_t *>(VcMemLock(rec.image));
            o.block.assign(p, p + VcMemSize(rec.image));
            VcMemUnlock(rec.image);
            VcMemFree(rec.image);
        }
        for (const auto &m : ui.messageBoxes) o.messages.push_back(m.title + ": " + m.text);
        return o;
    }
};

// Every bitmap icoutils lists, in its order, with the same name and size
// (its offsets are addresses in memory, not in the file); the data as wrestool extracts it (behind its 14-byte file header),
// and line 0 as the editor receives it, pixel for pixel as ImageMagick
// reads wrestool's file.
TEST_F(ProgramFiles, ListAndDataMatchWhatWrestoolFinds) {
    std::vector<std::string> files = {kWine + "comctl32.dll", kWine + "shell32.dll", kWine + "user32.dll", kWine + "cards.dll",
                                      VC_RESOURCE_FILES "/bitmaps-i686.dll", VC_RESOURCE_FILES "/bitmaps-x86_64.dll"};
    for (const auto &e : fs::directory_iterator("/usr/share/nsis/Stubs"))
        if (e.path().filename() != "uninst") files.push_back(e.path().string());  // that one is an icon
    const std::regex line(R"(--name=(?:'([^']*)'|(\d+)) --language=(\d+) \[type=bitmap offset=0x[0-9a-f]+ size=(\d+)\])");
    for (const auto &file : files) {
        SCOPED_TRACE(file);
        const std::string listed = run("wrestool -l --type=2 '" + file + "'");
        ASSERT_FALSE(listed.empty()) << "wrestool finds no bitmaps";
        vc::ResourceBitmapList list;
        ASSERT_EQ(scan(file, list), CONV_OK);
        uint32_t i = 0;
        std::map<std::string, std::string> select;  // list text -> wrestool's selection
        for (std::sregex_iterator m(listed.begin(), listed.end(), line), end; m != end && i < 100; ++m, ++i) {
            const auto &g = *m;
            char number[16];
            std::snprintf(number, sizeof number, g[2] == "0" ? "" : "%6s", g[2].str().c_str());
            const std::string text = (g[1].matched ? g[1].str() : number) + (g[3] == "0" ? "" : "-" + g[3].str());
            ASSERT_LT(i, list.count);
            EXPECT_EQ(list.entries[i].name, text.substr(0, 31));
            EXPECT_EQ(list.entries[i].dataSize, std::stoul(g[4]));
            select[list.entries[i].name] = "--name='" + (g[1].matched ? g[1] : g[2]).str() + "' --language=" + g[3].str();
            const std::string extracted = run("wrestool -x --type=2 " + select[list.entries[i].name] + " '" + file + "'");
            EXPECT_EQ(data(file, list.entries[i]), Bytes(extracted.begin() + std::min<size_t>(14, extracted.size()), extracted.end()));
        }
        EXPECT_EQ(i, list.count);

        const Opened o = open(file);
        ASSERT_EQ(o.result, CONV_OK);
        // Pixels of the plain headers the host draws (wrestool's file header
        // is wrong for core headers).
        if (vc::loadLe32(o.block.data()) != 40 || vc::loadLe32(o.block.data() + 16) != 0) continue;
        auto got = host::fromPackedDib(o.block.data(), o.block.size());
        ASSERT_TRUE(got);
        ASSERT_TRUE(stilltest::tool("wrestool -x --type=2 " + select[o.lines[0]] + " '" + file +
                                    "' > '" + path("ref.bmp") + "' && /usr/bin/convert '" + path("ref.bmp") +
                                    "' -type TrueColor -compress none BMP3:'" + path("ref3.bmp") + "'"));
        std::string error;
        EXPECT_EQ(stilltest::worst(*got, host::readBmp(path("ref3.bmp"), error).value_or(host::Image{})), 0) << error;
    }
}

// The built DLLs, 32-bit and 64-bit: the list as a sorted list box shows
// it, the image named after the line picked, and 150 bitmaps listing 100.
TEST_F(ProgramFiles, BuiltProgramsListSortedAndNameThePick) {
    const std::vector<std::string> lines = {"   100-1031", "   100-1033", "   300-1036", "  2000-1033",
                                            "A_B-1033",    "ABB-1033",    "AB-C-1033",   "LOGO-1033"};
    const std::pair<int, std::string> picks[] = {{1, "100-1033.BMP"}, {3, "2000-103.BMP"}, {7, "LOGO-103.BMP"}};
    for (const std::string arch : {"i686", "x86_64"}) {
        SCOPED_TRACE(arch);
        const std::string file = VC_RESOURCE_FILES "/bitmaps-" + arch + ".dll";
        for (const auto &[line, name] : picks) {
            const Opened o = open(file, [line = line](vc::ResourceBitmapModel &m) {
                m.select(vc::kResBmpList, line);
                m.click(vc::kResBmpShowPreview);  // preview off: OK loads the data itself
                EXPECT_FALSE(m.image);
                return VC_DIALOG_DEFAULT;
            });
            EXPECT_EQ(o.lines, lines);
            EXPECT_EQ(o.result, CONV_OK);
            EXPECT_EQ(o.name, name);
            EXPECT_TRUE(host::fromPackedDib(o.block.data(), o.block.size()));
        }
        const Opened cancelled = open(file, [](vc::ResourceBitmapModel &m) { return m.click(2), VC_DIALOG_DEFAULT; });
        EXPECT_EQ(std::make_tuple(cancelled.result, cancelled.name, cancelled.block.size()), std::make_tuple(0, file, size_t(0)));

        const Opened many = open(VC_RESOURCE_FILES "/many-" + arch + ".dll");
        ASSERT_EQ(many.lines.size(), 100u);
        EXPECT_EQ(many.lines.front() + many.lines.back(), "  1000-1033  1099-1033");
    }
}

// 16-bit programs from the builder (numbered and named bitmaps between
// other types, two alignments), and Wine's font files: NE files without
// bitmaps, detected, then refused with message 201.
TEST_F(ProgramFiles, NeFilesAndFontsWithoutBitmaps) {
    const Bytes icon = dib(16, 16, 4), picture = dib(32, 32, 4), old = dib(20, 10, 1, true);
    for (uint16_t shift : {4, 9}) {
        const NeFile ne = buildNe({{3, 1, "", icon}, {2, 5, "", picture}, {14, 0, "GROUP", icon}, {2, 0, "HELLO", old}}, shift);
        const std::string file = writeFile("ne.exe", ne.bytes);
        for (const auto &[line, name, bytes] : {std::tuple{0, "5.BMP", picture}, std::tuple{1, "HELLO.BMP", old}}) {
            const Opened o = open(file, [line = line](vc::ResourceBitmapModel &m) { return m.select(vc::kResBmpList, line), VC_DIALOG_DEFAULT; });
            EXPECT_EQ(o.lines, (std::vector<std::string>{"     5", "HELLO"}));
            EXPECT_EQ(o.name, name);
            EXPECT_EQ(Bytes(o.block.begin(), o.block.begin() + long(std::min(o.block.size(), bytes.size()))), bytes);
        }
    }
    for (const char *font : {"/usr/share/wine/fonts/coure.fon", "/usr/share/wine/fonts/sserife.fon"}) {
        SCOPED_TRACE(font);
        uint8_t format = 0;
        EXPECT_EQ(DetectFileFormat(font, &format, 1), CONV_OK);
        EXPECT_EQ(format, CONV_FMT_RESOURCE);
        const Opened o = open(font);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.messages, (std::vector<std::string>{"Error: This file does not contain bitmap images"}));
        char text[64] = {};
        ConvImageRecord rec{nullptr, 0, text, sizeof text};
        EXPECT_EQ(GetPreviewImage(font, &rec), 0);
        EXPECT_STREQ(text, "This file does not contain bitmap images");
    }
}

// Damaged files: one field at a time in both PE layouts, and every
// truncation; nothing loops, reads outside or leaks, and the result is the
// failure the damage calls for.
TEST_F(ProgramFiles, DamagedFilesEndWithTheirFailure) {
    struct Case {
        const char *what;
        std::function<void(PeFile &)> damage;
        int16_t result;
        const char *firstName;
    };
    const Case cases[] = {
        {"intact", [](PeFile &) {}, 1, "LOGO-1033"},
        {"relocations before 64", [](PeFile &f) { poke16(f.bytes, 24, 63); }, -2, ""},
        {"PE without its zero bytes", [](PeFile &f) { f.bytes[66] = 1; }, -2, ""},
        {"new header past the end", [](PeFile &f) { poke32(f.bytes, 60, 0x7FFFFFF0); }, -3, ""},
        {"two data directories", [](PeFile &f) { poke32(f.bytes, f.optional + (f.bytes[f.optional + 1] == 2 ? 108 : 92), 2); }, 0, ""},
        {"no section holds the directory", [](PeFile &f) { poke32(f.bytes, f.section + 12, 0x9000); }, 0, ""},
        {"root count past the end", [](PeFile &f) { poke32(f.bytes, f.root + 16, 3), poke16(f.bytes, f.root + 14, 0xFFFF); }, -3, ""},
        {"subdirectory back at its parent", [](PeFile &f) { poke32(f.bytes, f.languageDir0 + 24 + 20, 0x80000018u); }, -3, ""},
        {"directory holding itself", [](PeFile &f) { poke32(f.bytes, f.bitmapDir + 28, 0x80000018u); }, -3, ""},
        {"loop before any bitmap", [](PeFile &f) { poke32(f.bytes, f.bitmapDir + 20, 0x80000018u); }, 0, ""},
        {"name length 0xFFFF", [](PeFile &f) { poke16(f.bytes, f.name0, 0xFFFF); }, 1, nullptr},
        {"name outside the file", [](PeFile &f) { poke32(f.bytes, f.bitmapDir + 16, 0xFFFFFF00u); }, 1, "?\?\?-1033"},
    };
    for (bool plus : {false, true}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (plus ? " PE32+" : " PE32"));
            PeFile f = buildPe({{"LOGO", 0, 1033, dib(8, 8, 4)}, {"", 7, 1033, dib(9, 3, 24)}}, plus);
            c.damage(f);
            vc::ResourceBitmapList list;
            EXPECT_EQ(scan(writeFile("pe.dll", f.bytes), list), c.result);
            if (c.result != 1) continue;
            if (c.firstName) {
                EXPECT_STREQ(list.entries[0].name, c.firstName);
            }
            EXPECT_LE(std::strlen(list.entries[0].name), 31u);
        }
    }
    // Data larger than the file, or outside it: the block holds what is
    // there; data that is not there leaves OK refused and the dialog
    // cancelled.
    PeFile f = buildPe({{"", 7, 0, dib(9, 3, 24)}}, false);
    poke32(f.bytes, f.dataEntry0 + 4, 0x7FFFFFFF);
    EXPECT_EQ(open(writeFile("big.dll", f.bytes)).block.size(), dib(9, 3, 24).size());
    poke32(f.bytes, f.dataEntry0, 0x7FFFFF00);
    const Opened gone = open(writeFile("gone.dll", f.bytes));
    EXPECT_EQ(std::make_tuple(gone.result, gone.block.size()), std::make_tuple(0, size_t(0)));

    const Bytes whole = buildPe({{"LOGO", 0, 1033, dib(8, 8, 4)}}, true).bytes;
    const Bytes ne = buildNe({{2, 5, "", dib(8, 8, 1)}, {2, 0, "N", dib(8, 8, 1)}}).bytes;
    for (const Bytes *file : {&whole, &ne}) {
        for (size_t n = 0; n < file->size(); ++n) {
            vc::plat::memFileMap("cut.exe", file->data(), n);
            vc::ResourceBitmapList list;
            const int16_t r = scan("cut.exe", list);
            EXPECT_TRUE(r <= 0 || list.count > 0) << n;
            ConvImageRecord rec{};
            if (GetPreviewImage("cut.exe", &rec) == 1) VcMemFree(rec.image);
        }
        vc::plat::memFileUnmap("cut.exe");
    }
}

// The preview's placement inside a 120 x 130 button, and the statics.
TEST_F(ProgramFiles, PreviewPlacementAndStatics) {
    const struct {
        Bytes header;
        int32_t x, y, w, h;
        std::string size, colors;
    } cases[] = {
        {dib(32, 32, 4), 44, 49, 32, 32, "32x32", "16"},
        {dib(200, 100, 24), 1, 33, 118, 64, "200x100", "16.7 Mio."},
        {dib(50, 300, 8), 50, 1, 20, 128, "50x300", "256"},  // tall: the width scales by W / height
        {dib(118, 128, 1, true), 1, 1, 118, 128, "118x128", "2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        vc::BitmapPreview p;
        ASSERT_TRUE(vc::bitmapPreview(c.header.data(), c.header.size(), 120, 130, p));
        EXPECT_EQ(std::make_tuple(p.x, p.y, p.drawWidth, p.drawHeight, p.sizeText, p.colorsText, p.drawable),
                  std::make_tuple(c.x, c.y, c.w, c.h, c.size, c.colors, true));
        EXPECT_FALSE(vc::bitmapPreview(c.header.data(), c.header.size() - 1, 120, 130, p) && p.drawable);
    }
    Bytes hostile = dib(1, 1, 24);
    poke32(hostile, 8, 0x80000000u);  // a height that cannot be negated
    vc::BitmapPreview p;
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
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, pe.data(), 0x200, 0), 0x200);
    ASSERT_EQ(::pwrite(fd, pe.data() + at, pe.size() - at, at), ssize_t(pe.size() - at));
    ::close(fd);
    auto readSoFar = [] {
        const std::string io = stilltest::readText("/proc/self/io");
        return std::stoull(io.substr(io.find("rchar:") + 6));
    };
    auto status = [](const char *field) {
        const std::string text = stilltest::readText("/proc/self/status");
        return std::stoull(text.substr(text.find(field) + std::strlen(field)));
    };
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const uint64_t resident = status("VmRSS:"), read0 = readSoFar();
    vc::ResourceBitmapList list;
    EXPECT_EQ(scan(file, list), CONV_OK);
    const uint64_t read = readSoFar() - read0, peak = status("VmHWM:");
    EXPECT_EQ(list.count, 1u);
    EXPECT_LT(read, 256u << 10) << "bytes read";
    EXPECT_LT(peak, resident + 1024) << "peak memory (KiB) above what was resident before";
}

}  // namespace
