// Cursor themes both ways: the install.inf reader against hostile rows,
// Debian's X cursor themes made into Windows schemes and back and compared
// with libXcursor's decode of the originals, a scheme of sample cursors
// made into a theme libXcursor loads, and roles missing on either side.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host/theme_inf.h"
#include "still_support.h"
#include "velmconv/api.h"

#if __has_include(<X11/Xcursor/Xcursor.h>)
#include <X11/Xcursor/Xcursor.h>
#define VC_TEST_XCURSOR_HEADER 1
#endif

namespace {

namespace fs = std::filesystem;
using namespace host::theme;
using stilltest::capture;

// ---- install.inf -------------------------------------------------------------

const char kSchemeInf[] =
    "[Version]\r\nsignature=\"$CHICAGO$\"\r\n[Scheme.Reg]\r\n"
    "HKCU,\"Control Panel\\Cursors\\Schemes\",\"%SCHEME%\",,\"%10%\\%DIR%\\%a%,%10%\\%DIR%\\help.cur,,busy.ani\"\r\n"
    "HKCU,\"Control Panel\\Cursors\",Wait,0x00020000,\"%10%\\%DIR%\\other ; busy.ani\" ; a comment\r\n"
    "[Strings]\r\nDIR = \"Cursors\\x\"\r\nSCHEME = \"Blue, \"\"quoted\"\" 100%%\"\r\na = \"pointer.cur\"\r\n";

struct InfRow {
    const char *name;
    std::string text;
    std::vector<std::pair<size_t, std::string>> files;  // role, file
    std::string scheme;
    size_t skipped;
};

TEST(ThemeInf, SchemesReadAndHostileRowsSkippedWithTheirLine) {
    std::string u16 = "\xFF\xFE";
    for (char16_t c : std::u16string_view(u"[S]\nHKCU,\"Control Panel\\Cursors\",Arrow,,\"a\u00e9.cur\"\n"))
        u16 += char(c & 0xFF), u16 += char(c >> 8);
    const std::vector<InfRow> rows = {
        {"a scheme list, a role row over it, strings, quotes and %%", kSchemeInf,
         {{0, "pointer.cur"}, {1, "help.cur"}, {2, ""}, {3, "other ; busy.ani"}}, "Blue, \"quoted\" 100%", 0},
        {"a row going on over lines, Latin-1 bytes",
         "[R]\nHKCU,\"Control Panel\\Cursors\",\\\n  IBeam,,\"beam\xE9.cur\"\n", {{5, "beam\xC3\xA9.cur"}}, "", 0},
        {"UTF-16 with its mark", u16, {{0, "a\xC3\xA9.cur"}}, "", 0},
        {"an unknown role, a file of no name, a second list",
         "[R]\nHKCU,\"Control Panel\\Cursors\",Bogus,,\"x.cur\"\nHKCU,\"Control Panel\\Cursors\",Arrow,,\"x\\..\"\n"
         "HKCU,\"Control Panel\\Cursors\\Schemes\",A,,\"a.cur\"\nHKCU,\"Control Panel\\Cursors\\Schemes\",B,,\"b.cur\"\n",
         {{0, "a.cur"}}, "A", 3},
        {"eighteen files in the list", "[R]\nHKCU,\"Control Panel\\Cursors\\Schemes\",L,,\"" + std::string(17, ',') + "z.cur\"\n",
         {}, "L", 1},
        {"a row too long, too many fields, an unclosed quote, a section without ']'",
         "[R]\nHKCU," + std::string(70000, 'x') + "\n" + std::string(300, ',') + "\n[oops\nHKCU,\"Control Panel\\Cursors\",No,,\"n.cur\n",
         {{7, "n.cur"}}, "", 4},
        {"strings are replaced once, not again inside what they give",
         "[R]\nHKCU,\"Control Panel\\Cursors\",Hand,,\"%a%\"\n[Strings]\na=\"%b%\"\nb=\"%a%\"\n", {{14, "%b%"}}, "", 0},
    };
    for (const InfRow &row : rows) {
        SCOPED_TRACE(row.name);
        std::string why;
        const std::optional<Scheme> s = readInstallInf(row.text, why);
        ASSERT_TRUE(s) << why;
        for (const auto &[role, file] : row.files) EXPECT_EQ(s->files[role], file) << roles()[role].windows;
        EXPECT_EQ(s->name, row.scheme);
        EXPECT_EQ(s->skipped.size(), row.skipped) << (s->skipped.empty() ? "" : s->skipped[0]);
        for (const std::string &line : s->skipped) EXPECT_EQ(line.rfind("line ", 0), 0u) << line;
    }
    std::string why;
    EXPECT_FALSE(readInstallInf(std::string("[A]\0x", 5), why));
    EXPECT_NE(why.find("NUL"), std::string::npos);
    EXPECT_FALSE(readInstallInf(std::string(kInfLargestFile + 1, ';'), why));
    EXPECT_NE(why.find("larger than"), std::string::npos);
}

// Written and read again: names past ASCII (the text then UTF-16), the X
// section's notes, empty roles.
TEST(ThemeInf, WrittenSchemesReadBackWithTheirNotes) {
    Scheme s;
    s.name = "Fl\xC3\xBC" "ch \"100%\"";
    s.files[0] = "arrow.cur", s.files[3] = "wait.ani", s.files[16] = "person.cur";
    s.comment = "from X", s.inherits = "Adwaita";
    s.notes["wait.ani"] = {{24, 36}, {16, 30, 30}};
    const std::string text = writeInstallInf(s, "Cursors\\" + windowsSafeName(s.name));
    EXPECT_EQ(text.substr(0, 2), "\xFF\xFE");
    std::string why;
    const std::optional<Scheme> back = readInstallInf(text, why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(back->name, s.name);
    EXPECT_EQ(back->files, s.files);
    EXPECT_EQ(back->comment, "from X");
    EXPECT_EQ(back->inherits, "Adwaita");
    ASSERT_EQ(back->notes.count("wait.ani"), 1u);
    EXPECT_EQ(back->notes.at("wait.ani").sizes, (std::vector<uint32_t>{24, 36}));
    EXPECT_EQ(back->notes.at("wait.ani").delays, (std::vector<uint32_t>{16, 30, 30}));
    EXPECT_TRUE(back->skipped.empty());
    EXPECT_EQ(windowsSafeName("a/b:c*."), "a_b_c_");
    EXPECT_EQ(windowsSafeName("CON"), "_CON");
}

TEST(ThemeInf, RolesGuessedFromFileNames) {
    const std::vector<std::pair<const char *, const char *>> names = {
        {"aero_arrow.cur", "Arrow"},      {"Normal Select.cur", "Arrow"},   {"aero_working.ani", "AppStarting"},
        {"Busy.ani", "Wait"},             {"Diagonal Resize 2.cur", "SizeNESW"}, {"dgn1.cur", "SizeNWSE"},
        {"aero_unavail.cur", "No"},       {"beam_r.cur", "IBeam"},          {"Link Select.cur", "Hand"},
        {"aero_up.cur", "UpArrow"},       {"aero_pin.cur", "Pin"},          {"hand_pointer.cur", nullptr},
        {"readme.txt", nullptr},
    };
    for (const auto &[file, role] : names)
        EXPECT_EQ(guessRole(file), role ? roleIndex(role) : kRoleCount) << file;
}

// ---- Through velmconv and libXcursor ---------------------------------------------

struct XImage {
    uint32_t size, width, height, xhot, yhot, delay;
    std::vector<uint32_t> pixels;
    bool operator==(const XImage &) const = default;
};

// libXcursor's decode of a file, loaded at run time: nullopt when the
// library (or its header at build time) is missing.
std::optional<std::vector<XImage>> libXcursorImages(const std::string &file) {
#ifdef VC_TEST_XCURSOR_HEADER
    static void *lib = dlopen("libXcursor.so.1", RTLD_NOW);
    if (!lib) return std::nullopt;
    static auto load = reinterpret_cast<XcursorImages *(*)(const char *)>(dlsym(lib, "XcursorFilenameLoadAllImages"));
    static auto destroy = reinterpret_cast<void (*)(XcursorImages *)>(dlsym(lib, "XcursorImagesDestroy"));
    if (!load || !destroy) return std::nullopt;
    std::vector<XImage> out;
    if (XcursorImages *all = load(file.c_str())) {
        for (int i = 0; i < all->nimage; ++i) {
            const XcursorImage *m = all->images[i];
            out.push_back({m->size, m->width, m->height, m->xhot, m->yhot, m->delay,
                           std::vector<uint32_t>(m->pixels, m->pixels + size_t(m->width) * m->height)});
        }
        destroy(all);
    }
    return out;
#else
    (void)file;
    return std::nullopt;
#endif
}

class ThemeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vctheme-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        if (!libXcursorImages("/dev/null")) GTEST_SKIP() << "needs libXcursor (libxcursor1, libxcursor-dev)";
    }
    void TearDown() override { fs::remove_all(dir); }
    // velmconv's output (both streams) and exit status.
    std::string velmconv(const std::string &args, int &exit) {
        int status = 0;
        const std::string out = capture(std::string(VC_HOST_BINARY) + " " + args + " 2>&1", &status);
        exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return out;
    }
    fs::path dir;
};

// Every role's cursor of the three Debian themes, made into a Windows
// scheme and back, is the original image for image: size, hotspot, delay
// and pixels as libXcursor decodes them.
TEST_F(ThemeCommand, DebianThemesComeBackFromWindowsSchemesAsTheyWere) {
    size_t themes = 0;
    for (const char *name : {"DMZ-White", "Adwaita", "breeze_cursors"}) {
        SCOPED_TRACE(name);
        const fs::path theme = fs::path("/usr/share/icons") / name;
        if (!fs::is_directory(theme / "cursors")) continue;
        ++themes;
        const fs::path scheme = dir / name / "scheme", back = dir / name / "back";
        int exit = -1;
        std::string out = velmconv("theme --to windows " + theme.string() + " " + scheme.string(), exit);
        ASSERT_EQ(exit, 0) << out;
        EXPECT_NE(out.find("15 of 17 roles written"), std::string::npos) << out;
        EXPECT_NE(capture("icotool -l " + (scheme / "arrow.cur").string()).find("--cursor --index=1"), std::string::npos);
        // The busy cursor's ANI as GdkPixbuf's loader plays it (its largest
        // size): a 30 ms step is 2 jiffies (33 ms there), Adwaita's 16 ms one.
        const std::string played = capture(
            "/usr/bin/python3 -W ignore -c \"import sys, gi\ngi.require_version('GdkPixbuf', '2.0')\n"
            "from gi.repository import GdkPixbuf, GLib\nit = GdkPixbuf.PixbufAnimation.new_from_file(sys.argv[1])"
            ".get_iter(GLib.TimeVal())\nprint(it.get_pixbuf().get_width(), it.get_delay_time())\" " +
            (scheme / "wait.ani").string() + " 2>&1");
        if (played.find("No module named") == std::string::npos)  // without Python's gi the check is left out
            EXPECT_NE(played.find(name == std::string("Adwaita") ? " 16\n" : " 33\n"), std::string::npos) << played;
        out = velmconv("theme " + scheme.string() + " " + back.string(), exit);
        ASSERT_EQ(exit, 0) << out;
        size_t compared = 0;
        for (size_t i = 0; i < kExpectedRoles; ++i) {
            const Role &role = roles()[i];
            auto found = std::find_if(role.x.begin(), role.x.end(), [&](const char *x) { return fs::exists(theme / "cursors" / x); });
            ASSERT_NE(found, role.x.end()) << role.windows;
            const auto original = libXcursorImages((theme / "cursors" / *found).string());
            const auto again = libXcursorImages((back / "cursors" / role.x[0]).string());
            ASSERT_TRUE(original && again);
            ASSERT_FALSE(original->empty()) << *found;
            EXPECT_TRUE(*original == *again) << role.windows << ": " << *found << " differs after the round trip ("
                                             << original->size() << " and " << again->size() << " images)";
            for (const char *alias : role.x)
                EXPECT_TRUE(fs::exists(back / "cursors" / alias)) << alias;
            compared += original->size();
        }
        EXPECT_GT(compared, 15u);
        // index.theme: the name and the inherited theme (or none) come back.
        const auto line = [](const fs::path &index, const std::string &key) {
            std::ifstream in(index);
            for (std::string l; std::getline(in, l);)
                if (l.rfind(key, 0) == 0) return l;
            return std::string();
        };
        for (const char *key : {"Name=", "Inherits="})
            EXPECT_EQ(line(theme / "index.theme", key), line(back / "index.theme", key)) << key;
    }
    if (!themes) GTEST_SKIP() << "needs dmz-cursor-theme, adwaita-icon-theme or breeze-cursor-theme";
}

// A scheme of Debian's sample cursors, without install.inf: a theme
// libXcursor loads, each step's rate in milliseconds; the roles it lacks
// said on standard error and the exit status 3.
TEST_F(ThemeCommand, SampleCursorsMakeAThemeAndMissingRolesAreSaid) {
    const std::string wx = "/usr/share/doc/wx3.2-examples/examples/samples";
    if (!fs::exists(wx + "/image/horse.cur") || !fs::exists(wx + "/animate/hourglass.ani"))
        GTEST_SKIP() << "needs wx3.2-examples";
    const fs::path scheme = dir / "My Scheme", theme = dir / "theme";
    fs::create_directories(scheme);
    fs::copy_file(wx + "/image/horse.cur", scheme / "Normal Select.cur");
    fs::copy_file(wx + "/animate/hourglass.ani", scheme / "busy.ani");
    fs::copy_file(wx + "/image/horse3.ani", scheme / "aero_working.ani");
    // A hotspot at x 200 of a 32-pixel cursor, which X cannot hold.
    std::ifstream horse(wx + "/image/horse.cur", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(horse)), {});
    bytes[10] = char(200);
    std::ofstream(scheme / "Precision Select.cur", std::ios::binary) << bytes;
    // Two sizes, each at 32 and 8 bits: the 8-bit entries are left out.
    int exit = -1;
    velmconv("icon --sizes 32,48 --depths 32,8 " + wx + "/image/toucan.png '" + (scheme / "Link Select.cur").string() + "'", exit);
    ASSERT_EQ(exit, 0);
    const std::string out = velmconv("theme '" + scheme.string() + "' " + theme.string(), exit);
    EXPECT_EQ(exit, 3) << out;
    for (const char *said : {"theme: Help (Help Select): no file in the scheme", "theme: SizeAll (Move)",
                             "2 sizes (32, 48), 2 entries of a size held at a greater depth too left out",
                             "1 hotspots outside their picture moved to its edge", "5 of 17 roles written"})
        EXPECT_NE(out.find(said), std::string::npos) << said << "\n" << out;
    EXPECT_EQ(out.find("Pin (Location Select): no file in the scheme (by its file names); no cursor"), std::string::npos);
    std::ifstream index(theme / "index.theme");
    std::string text((std::istreambuf_iterator<char>(index)), {});
    EXPECT_NE(text.find("Name=My Scheme\n"), std::string::npos) << text;

    const auto cross = libXcursorImages((theme / "cursors" / "crosshair").string());
    ASSERT_TRUE(cross && cross->size() == 1);
    EXPECT_EQ((*cross)[0].xhot, 31u);
    const auto hand = libXcursorImages((theme / "cursors" / "pointer").string());
    ASSERT_TRUE(hand && hand->size() == 2);
    EXPECT_EQ((*hand)[0].size * 1000 + (*hand)[1].size, 32048u);
    const auto arrow = libXcursorImages((theme / "cursors" / "default").string());
    ASSERT_TRUE(arrow && arrow->size() == 1);
    EXPECT_EQ((*arrow)[0].delay, 50u);
    const std::string listed = capture("icotool -l '" + (scheme / "Normal Select.cur").string() + "'");
    EXPECT_NE(listed.find("--hotspot-x=" + std::to_string((*arrow)[0].xhot) + " --hotspot-y=" + std::to_string((*arrow)[0].yhot)),
              std::string::npos) << listed;
    // hourglass.ani: each size plays its steps, each at its rate in
    // milliseconds (rounded from jiffies of 1/60 s).
    const auto watch = libXcursorImages((theme / "cursors" / "wait").string());
    vc_animation *ani = nullptr;
    vc_options every;
    vc_options_init(&every);
    every.flags = VC_READ_EVERY_SIZE;
    ASSERT_EQ(vc_read_path((scheme / "busy.ani").c_str(), VC_FORMAT_ANI, &every, &ani), VC_OK);
    const uint32_t steps = vc_animation_step_count(ani);
    ASSERT_TRUE(watch && steps > 1 && watch->size() % steps == 0) << steps;
    for (size_t i = 0; i < watch->size(); ++i) {
        uint32_t frame = 0, jiffies = 0;
        vc_animation_step(ani, uint32_t(i % steps), &frame, &jiffies);
        EXPECT_EQ((*watch)[i].delay, (jiffies * 1000 + 30) / 60) << "image " << i;
    }
    vc_animation_free(ani);
}

// A theme of one cursor made into a scheme: the fourteen roles it lacks
// said, left empty in install.inf, exit status 3.
TEST_F(ThemeCommand, ThemeMissingRolesLeavesThemEmptyInTheScheme) {
    const fs::path source = "/usr/share/icons/DMZ-White/cursors/left_ptr";
    if (!fs::exists(source)) GTEST_SKIP() << "needs dmz-cursor-theme";
    fs::create_directories(dir / "one" / "cursors");
    fs::copy_file(source, dir / "one" / "cursors" / "left_ptr");
    int exit = -1;
    const std::string out = velmconv("theme --to windows " + (dir / "one").string() + " " + (dir / "s").string(), exit);
    EXPECT_EQ(exit, 3) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n') - 4, 14) << out;  // 14 roles said, Pin and Person, one written, summary
    std::string why;
    std::ifstream inf(dir / "s" / "install.inf", std::ios::binary);
    const std::optional<Scheme> s = readInstallInf(std::string((std::istreambuf_iterator<char>(inf)), {}), why);
    ASSERT_TRUE(s) << why;
    EXPECT_EQ(s->files[0], "arrow.cur");
    EXPECT_EQ(std::count(s->files.begin(), s->files.end(), std::string()), 16);
    EXPECT_EQ(s->name, "one");
}

}  // namespace

namespace {

// Command lines the theme command refuses: a direction it does not know
// and --to windows outside it exit 2 naming the option; a folder that is
// not there, an X theme without --to windows and a folder of no cursor
// exit 1 saying why.
TEST_F(ThemeCommand, RefusalsSayWhyWithTheirExitStatus) {
    fs::create_directories(dir / "empty");
    fs::create_directories(dir / "xtheme" / "cursors");
    const std::string d = dir.string();
    const std::vector<std::tuple<std::string, int, const char *>> rows = {
        {"theme --to mac " + d + "/empty " + d + "/o", 2, "--to: 'mac' is not windows or x"},
        {"convert --to windows a.png", 2, "--to windows and --to x belong to the theme command"},
        {"theme " + d + "/none " + d + "/o", 1, "none is not a folder"},
        {"theme " + d + "/xtheme " + d + "/o", 1, "--to windows makes a Windows scheme of it"},
        {"theme --to windows " + d + "/empty " + d + "/o", 1, "has no cursors folder"},
        {"theme " + d + "/empty " + d + "/o", 1, "no cursor of"},
    };
    for (const auto &[line, status, said] : rows) {
        int exit = -1;
        const std::string out = velmconv(line, exit);
        EXPECT_EQ(exit, status) << line << "\n" << out;
        EXPECT_NE(out.find(said), std::string::npos) << line << "\n" << out;
    }
    EXPECT_FALSE(fs::exists(dir / "o" / "index.theme"));
}

}  // namespace
