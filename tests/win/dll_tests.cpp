// Host-level tests of VelmConv32.dll: the program binds the library the way
// the editor does (LoadLibrary, GetProcAddress by plain name) and checks
// the exports, the resources and the window class it registers.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "resources/strings.h"
#include "support/fake_editor.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

using wintest::ScratchFile;
using wintest::TestWindow;

struct Exports {
    GetFormatsFn GetFormats;
    DetectFileFormatFn DetectFileFormat;
    LoadConvImageFn LoadConvImage;
    SaveConvImageFn SaveConvImage;
    GetDesiredBitPixFn GetDesiredBitPix;
    GetPreviewImageFn GetPreviewImage;
    NewConvFileFn NewConvFile;
    ProcessCommandFn ProcessCommand;
    NotifyFrameChangeFn NotifyFrameChange;
};

// Where the library is: VELMCONV_DLL (set by the test registration), else
// beside this program.
std::string libraryPath() {
    if (const char *p = std::getenv("VELMCONV_DLL"); p && *p) return p;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string s(self);
    return s.substr(0, s.find_last_of("\\/") + 1) + "VelmConv32.dll";
}

template <typename T>
T bind(HMODULE m, const char *name) {
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}

class Dll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryA(libraryPath().c_str());
        ASSERT_NE(module_, nullptr) << "cannot load " << libraryPath() << " error " << GetLastError();
        x_.GetFormats = bind<GetFormatsFn>(module_, "GetFormats");
        x_.DetectFileFormat = bind<DetectFileFormatFn>(module_, "DetectFileFormat");
        x_.LoadConvImage = bind<LoadConvImageFn>(module_, "LoadConvImage");
        x_.SaveConvImage = bind<SaveConvImageFn>(module_, "SaveConvImage");
        x_.GetDesiredBitPix = bind<GetDesiredBitPixFn>(module_, "GetDesiredBitPix");
        x_.GetPreviewImage = bind<GetPreviewImageFn>(module_, "GetPreviewImage");
        x_.NewConvFile = bind<NewConvFileFn>(module_, "NewConvFile");
        x_.ProcessCommand = bind<ProcessCommandFn>(module_, "ProcessCommand");
        x_.NotifyFrameChange = bind<NotifyFrameChangeFn>(module_, "NotifyFrameChange");
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        if (!module_) GTEST_SKIP() << "library not loaded";
    }

    // GetFormats into buffers pre-filled with a marker byte.
    struct Listing {
        int32_t count;
        std::vector<uint8_t> codes;
        std::vector<char> text;
    };
    static Listing list(int32_t flags) {
        Listing l{0, std::vector<uint8_t>(32, 0xCC), std::vector<char>(2048, char(0xCC))};
        l.count = x_.GetFormats(l.text.data(), l.codes.data(), flags);
        return l;
    }
    // The description/pattern pairs of a listing.
    static std::vector<std::string> pieces(const Listing &l) {
        std::vector<std::string> out;
        const char *p = l.text.data();
        while (*p) {
            out.emplace_back(p);
            p += out.back().size() + 1;
        }
        return out;
    }

    static HMODULE module_;
    static Exports x_;
};
HMODULE Dll::module_ = nullptr;
Exports Dll::x_{};

// ---- Binding ------------------------------------------------------------------------

TEST_F(Dll, EveryEntryPointIsFoundByItsPlainName) {
    for (const char *name : {"DllMain", "GetFormats", "DetectFileFormat", "LoadConvImage", "SaveConvImage",
                             "GetDesiredBitPix", "GetPreviewImage", "NewConvFile", "ProcessCommand",
                             "NotifyFrameChange"})
        EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
    // Internal routines stay inside.
    for (const char *name : {"CreateProgressDialog", "SetProgress", "RegisterReelClass", "_Z11SetProgressi"})
        EXPECT_EQ(GetProcAddress(module_, name), nullptr) << name;
}

// ---- GetFormats ---------------------------------------------------------------------

TEST_F(Dll, GetFormatsListsCodesInTheirFixedOrder) {
    struct Case {
        int32_t flags;
        std::vector<uint8_t> codes;
    };
    const Case cases[] = {
        {1, {131, 132, 129, 128, 130, 133}},
        {129, {132, 129, 128, 130, 133}},
        {130, {165, 166, 167}},
        {4, {166, 167}},
        {2, {165}},
        {7, {166, 167, 165, 131, 132, 129, 128, 130, 133}},
        {135, {166, 167, 165, 166, 167, 132, 129, 128, 130, 133}},
        {128, {}},
    };
    for (const Case &c : cases) {
        Listing l = list(c.flags);
        ASSERT_EQ(l.count, int32_t(c.codes.size())) << "flags " << c.flags;
        EXPECT_EQ(std::vector<uint8_t>(l.codes.begin(), l.codes.begin() + l.count), c.codes) << "flags " << c.flags;
        EXPECT_EQ(l.codes[size_t(l.count)], 0xCC) << "code written past the count, flags " << c.flags;
        if (l.count) {
            EXPECT_EQ(pieces(l).size(), 2 * c.codes.size()) << "flags " << c.flags;
        }
    }
}

TEST_F(Dll, GetFormatsWithNoFlagsListsNothing) {
    Listing l = list(0);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.codes[0], 0xCC);
}

TEST_F(Dll, GetFormatsAviTextIsDescriptionPatternAndTwoNuls) {
    Listing l = list(2);
    ASSERT_EQ(l.count, 1);
    const char expected[] = "Video for Windows(*.AVI)\0*.AVI\0";  // plus the literal's own NUL
    EXPECT_EQ(std::memcmp(l.text.data(), expected, sizeof expected), 0);
    EXPECT_EQ(uint8_t(l.text[sizeof expected]), 0xCC) << "wrote past the double NUL";
}

TEST_F(Dll, GetFormatsWritableIconEntryNamesOnlyIcoAndCur) {
    Listing all = list(1), writable = list(129);
    std::vector<std::string> a = pieces(all), w = pieces(writable);
    ASSERT_GE(a.size(), 4u);
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(a[0], "Ressource Bitmaps(*.EXE;*.DLL;*.SCR)");
    EXPECT_EQ(a[2], "Icon and Cursor(*.ANI;*.ICO;*.CUR)");
    EXPECT_EQ(a[3], "*.ANI;*.ICO;*.CUR");
    EXPECT_EQ(w[0], "Icon and Cursor(*.ICO;*.CUR)");
    EXPECT_EQ(w[1], "*.ICO;*.CUR");
    EXPECT_EQ(w.back(), "*.JPG;*.JPEG");
}

// ---- DetectFileFormat ---------------------------------------------------------------

TEST_F(Dll, DetectByNameUsesTheLastDotWithoutRegardToCase) {
    struct Case {
        const char *name;
        int32_t result;
        uint8_t code;
    };
    const Case cases[] = {
        {"picture.GIF", 1, 129},    {"a.tiff", 1, 130},         {"a.TIF", 1, 130},
        {"x.jpg", 1, 133},          {"x.Jpeg", 1, 133},         {"x.pcx", 1, 128},
        {"x.ico", 1, 132},          {"X.CUR", 1, 132},          {"dir.x\\image.pcx", 1, 128},
        {"archive.tar.gz", -2, 0},  {"noextension", -2, 0},     {"anim.ani", -2, 0},
        {"movie.avi", -2, 0},       {"program.exe", -2, 0},     {"image.gif.bak", -2, 0},
        {"image.", -2, 0},          {".gif", 1, 129},           {"a.jp", -2, 0},
    };
    for (const Case &c : cases) {
        uint8_t code = 0x55;
        EXPECT_EQ(x_.DetectFileFormat(c.name, &code, 0), c.result) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
    }
}

TEST_F(Dll, DetectByContentReportsOpenFailureAndUnknownContent) {
    ScratchFile missing("missing.pcx", "", false);
    uint8_t code = 0x55;
    EXPECT_EQ(x_.DetectFileFormat(missing.path(), &code, 1), -1);
    EXPECT_EQ(code, 0);

    ScratchFile text("notes.gif", "just some words, no image here\r\n");
    code = 0x55;
    EXPECT_EQ(x_.DetectFileFormat(text.path(), &code, 1), -2);
    EXPECT_EQ(code, 0);

    ScratchFile empty("empty.ico", "");
    code = 0x55;
    EXPECT_EQ(x_.DetectFileFormat(empty.path(), &code, 1), -2);
    EXPECT_EQ(code, 0);
}

// ---- GetDesiredBitPix ----------------------------------------------------------------

TEST_F(Dll, GetDesiredBitPixFollowsEachWritersDepths) {
    struct Case {
        int32_t format, bits, result;
    };
    const Case cases[] = {
        {130, 16, 24}, {130, 32, 24}, {130, 8, 8},   {130, 24, 24}, {128, 16, 24}, {128, 4, 4},
        {129, 24, 8},  {167, 24, 8},  {167, 8, 8},   {129, 1, 1},   {133, 1, 24},  {133, 8, 24},
        {132, 32, 32}, {165, 16, 16}, {166, 24, 24}, {131, 32, 32},
        {389, 4, 24},        // only the low byte (133) names the format
        {127, 32, 32},       // outside 128 .. 167: unchanged
        {168, 16, 16},
        {100, 0x10008, 8},   // the result is the 16-bit depth
    };
    for (const Case &c : cases)
        EXPECT_EQ(x_.GetDesiredBitPix(c.format, c.bits), c.result) << c.format << "/" << c.bits;
}

// ---- Loading, preview and saving: the failure paths ---------------------------------------

TEST_F(Dll, LoadConvImagePassesDetectionFailuresThrough) {
    vctest::FakeEditor editor;
    ConvImageRecord record{reinterpret_cast<void *>(0x1234), 0, nullptr, 0};
    uint8_t code = 0x55;

    ScratchFile missing("missing.gif", "", false);
    EXPECT_EQ(x_.LoadConvImage(nullptr, missing.path(), &record, &code, 0, editor.callback()), -1);
    EXPECT_EQ(record.image, nullptr) << "the record's image is cleared first";
    EXPECT_EQ(code, 0);

    ScratchFile text("words.pcx", "neither image nor animation");
    record.image = reinterpret_cast<void *>(0x1234);
    EXPECT_EQ(x_.LoadConvImage(nullptr, text.path(), &record, &code, 0, editor.callback()), -2);
    EXPECT_EQ(record.image, nullptr);
    EXPECT_TRUE(editor.calls.empty());
}

TEST_F(Dll, LoadConvImageWithoutRecordRefusesASingleImageFile) {
    vctest::FakeEditor editor;
    // A PCX header: version 5, run-length encoded, 8 bits, 2 x 2.
    std::string pcx(128, '\0');
    pcx[0] = 0x0A;
    pcx[1] = 5;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = 1;
    pcx[10] = 1;
    pcx[65] = 1;
    pcx[66] = 2;
    ScratchFile file("still.pcx", pcx);
    uint8_t code = 0;
    EXPECT_EQ(x_.LoadConvImage(nullptr, file.path(), nullptr, &code, 0, editor.callback()), -2);
    EXPECT_TRUE(editor.calls.empty()) << "nothing may be loaded";
}

TEST_F(Dll, GetPreviewImageReportsOpenAndFormatFailures) {
    ScratchFile missing("missing.tif", "", false);
    ConvImageRecord record{};
    EXPECT_EQ(x_.GetPreviewImage(missing.path(), &record), -1);
    ScratchFile text("plain.tif", "II*? not really");
    EXPECT_EQ(x_.GetPreviewImage(text.path(), &record), -2);
    EXPECT_EQ(record.image, nullptr);
}

// Watches window creation on this thread for the progress window.
struct CreationWatch {
    struct Seen {
        std::string title;
        HWND owner;
        BOOL ownerEnabled;
    };
    static std::vector<Seen> &seen() {
        static std::vector<Seen> s;
        return s;
    }
    static LRESULT CALLBACK hook(int code, WPARAM wp, LPARAM lp) {
        if (code == HCBT_CREATEWND) {
            const CREATESTRUCTA *cs = reinterpret_cast<CBT_CREATEWNDA *>(lp)->lpcs;
            // Dialogs only: wine also makes helper windows (IME) on the way.
            const bool dialog = cs->lpszClass == MAKEINTATOM(0x8002);  // WC_DIALOG
            if (dialog && !(cs->style & WS_CHILD)) {
                std::string title = HIWORD(reinterpret_cast<uintptr_t>(cs->lpszName)) ? cs->lpszName : "";
                seen().push_back(Seen{title, cs->hwndParent, IsWindowEnabled(cs->hwndParent)});
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    HHOOK handle;
    CreationWatch() : handle(SetWindowsHookExA(WH_CBT, hook, nullptr, GetCurrentThreadId())) { seen().clear(); }
    ~CreationWatch() { UnhookWindowsHookEx(handle); }
};

TEST_F(Dll, SaveWithoutWriterShowsAndRemovesTheProgressWindow) {
    vctest::FakeEditor editor;
    TestWindow parent(50, 50, 500, 400);
    ASSERT_NE(parent.hwnd, nullptr);
    HGLOBAL image = GlobalAlloc(GHND, 40 + 16 * 4 + 32 * 16);
    ScratchFile out("out.exe", "", false);

    for (int32_t format : {131, 0, 7, 255}) {
        CreationWatch watch;
        EXPECT_EQ(x_.SaveConvImage(parent.hwnd, out.path(), image, format, 0, editor.callback()), -4) << format;
        ASSERT_EQ(CreationWatch::seen().size(), 1u) << "one progress window per save";
        EXPECT_EQ(CreationWatch::seen()[0].title, "Converting...");
        EXPECT_EQ(CreationWatch::seen()[0].owner, parent.hwnd);
        EXPECT_FALSE(CreationWatch::seen()[0].ownerEnabled) << "the parent is disabled before the window exists";
        EXPECT_TRUE(IsWindowEnabled(parent.hwnd)) << "the parent is enabled again";
        EXPECT_EQ(FindWindowA(nullptr, "Converting..."), nullptr) << "the progress window is destroyed";
    }
    EXPECT_FALSE(out.exists());
    EXPECT_TRUE(editor.calls.empty());
    GlobalFree(image);
}

TEST_F(Dll, SaveWithoutParentOpensNoProgressWindow) {
    vctest::FakeEditor editor;
    HGLOBAL image = GlobalAlloc(GHND, 40);
    ScratchFile out("none.exe", "", false);
    CreationWatch watch;
    EXPECT_EQ(x_.SaveConvImage(nullptr, out.path(), image, 131, 0, editor.callback()), -4);
    EXPECT_TRUE(CreationWatch::seen().empty());
    GlobalFree(image);
}

// ---- Animation documents: other codes are no business of theirs --------------------------

TEST_F(Dll, DocumentEntryPointsIgnoreOtherFormats) {
    vctest::FakeEditor editor;
    HGLOBAL document = GlobalAlloc(GHND, 64);
    auto *bytes = static_cast<uint8_t *>(GlobalLock(document));
    for (int i = 0; i < 64; ++i) bytes[i] = uint8_t(0xA0 + i);
    GlobalUnlock(document);
    char name[MAX_PATH] = "untitled.gif";

    for (int32_t format : {0, 128, 129, 132, 133, 165, 168, 255, 166 + 256}) {
        EXPECT_EQ(x_.NewConvFile(nullptr, name, format, 0, editor.callback()), 0) << format;
        EXPECT_EQ(x_.ProcessCommand(nullptr, 1001, format, document, 0, editor.callback()), 0) << format;
        EXPECT_EQ(x_.NotifyFrameChange(format, document, 1, 0, editor.callback()), 0) << format;
    }
    EXPECT_STREQ(name, "untitled.gif");
    EXPECT_TRUE(editor.calls.empty());
    bytes = static_cast<uint8_t *>(GlobalLock(document));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(bytes[i], uint8_t(0xA0 + i)) << "document touched at " << i;
    GlobalUnlock(document);
    GlobalFree(document);
}

// ---- Resources -------------------------------------------------------------------------

TEST_F(Dll, StringTableHoldsEveryTextExactly) {
    struct Entry {
        unsigned id;
        const char *text;
    };
#define VC_TEST_ENTRY(id, text) {id, text},
    const Entry entries[] = {VC_STRINGS(VC_TEST_ENTRY)};
#undef VC_TEST_ENTRY
    for (const Entry &e : entries) {
        char buffer[512];
        int n = LoadStringA(module_, e.id, buffer, sizeof buffer);
        EXPECT_EQ(n, int(std::strlen(e.text))) << e.id;
        EXPECT_STREQ(buffer, e.text) << e.id;
    }
    // Ids between the documented ones stay empty.
    char buffer[64];
    for (unsigned id : {99u, 110u, 149u, 202u, 207u, 208u, 211u, 224u})
        EXPECT_EQ(LoadStringA(module_, id, buffer, sizeof buffer), 0) << id;
}

TEST_F(Dll, StringTableKeepsBackslashBAndTheLongTexts) {
    char buffer[512];
    ASSERT_EQ(LoadStringA(module_, 206, buffer, sizeof buffer), 25);
    const char expected[] = {'C', 'h', 'a', 'n', 'g', 'e', ' ', '&', 'F', 'o', 'r', 'm', 'a',
                             't', '.', '.', '.', 0x5C, 'b', 'S', 't', 'r', 'g', '+', 'F', 0};
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof expected), 0) << buffer;

    EXPECT_EQ(LoadStringA(module_, 200, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Error");
    EXPECT_EQ(LoadStringA(module_, 203, buffer, sizeof buffer), 155);
    EXPECT_EQ(std::string(buffer).substr(0, 38), "Video for Windows has not been install");
    EXPECT_EQ(LoadStringA(module_, 100, buffer, sizeof buffer), 36);
    EXPECT_STREQ(buffer, "Z-Soft Paintbrush Image(*.PCX)|*.PCX");
}

INT_PTR CALLBACK silentProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST_F(Dll, ProgressTemplatesHaveTheirCaptionFontAndControls) {
    ASSERT_NE(FindResourceA(module_, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(5)), nullptr);  // RT_DIALOG
    ASSERT_NE(FindResourceA(module_, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)), nullptr);

    for (int id : {100, 101}) {
        HWND dlg = CreateDialogParamA(module_, MAKEINTRESOURCEA(id), nullptr, silentProc, 0);
        ASSERT_NE(dlg, nullptr) << id;
        char text[64] = {};
        GetWindowTextA(dlg, text, sizeof text);
        EXPECT_STREQ(text, "Converting...") << id;
        LONG style = GetWindowLongA(dlg, GWL_STYLE);
        EXPECT_TRUE(style & WS_CAPTION) << id;
        EXPECT_FALSE(style & WS_VISIBLE) << "shown only when progress arrives, template " << id;

        LOGFONTA font{};
        ASSERT_TRUE(GetObjectA(HFONT(SendMessageA(dlg, WM_GETFONT, 0, 0)), sizeof font, &font));
        EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
        HDC dc = GetDC(dlg);
        EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72));
        ReleaseDC(dlg, dc);

        HWND bar = GetDlgItem(dlg, 101);
        ASSERT_NE(bar, nullptr) << id;
        GetClassNameA(bar, text, sizeof text);
        EXPECT_STREQ(text, "Button");
        EXPECT_EQ(GetWindowLongA(bar, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        RECT units{0, 0, 134, 20}, client{};
        MapDialogRect(dlg, &units);
        GetClientRect(bar, &client);
        EXPECT_EQ(client.right, units.right);
        EXPECT_EQ(client.bottom, units.bottom);

        HWND cancel = GetDlgItem(dlg, 102);
        if (id == 100) {
            EXPECT_EQ(cancel, nullptr);
        } else {
            ASSERT_NE(cancel, nullptr);
            GetWindowTextA(cancel, text, sizeof text);
            EXPECT_STREQ(text, "&Cancel");
            EXPECT_EQ(GetWindowLongA(cancel, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        }
        // Every control lies inside the window.
        RECT inside{};
        GetClientRect(dlg, &inside);
        for (HWND c : {bar, cancel}) {
            if (!c) continue;
            RECT r{};
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&r), 2);
            EXPECT_GE(r.left, 0);
            EXPECT_GE(r.top, 0);
            EXPECT_LE(r.right, inside.right);
            EXPECT_LE(r.bottom, inside.bottom);
        }
        DestroyWindow(dlg);
    }
}

TEST_F(Dll, VersionResourceNamesTheProduct) {
    std::string path = libraryPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));
    auto value = [&](const char *name) {
        char *text = nullptr;
        UINT n = 0;
        std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
        return VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void **>(&text), &n) && text
                   ? std::string(text)
                   : std::string("<missing>");
    };
    EXPECT_EQ(value("ProductName"), "VelmConv");
    EXPECT_EQ(value("OriginalFilename"), "VelmConv32.dll");
    EXPECT_EQ(value("FileVersion"), "1.0.0");
    EXPECT_NE(value("FileDescription"), "<missing>");
}

// ---- The film-strip class ------------------------------------------------------------------

TEST_F(Dll, FilmStripClassIsRegisteredWithItsAttributes) {
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(module_, "AVIREEL", &wc));
    EXPECT_EQ(wc.style, 0x3048u);
    EXPECT_EQ(wc.style, UINT(CS_DBLCLKS | CS_CLASSDC | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW));
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 40);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));

    // A strip starts with all ten state values zero.
    HWND strip = CreateWindowExA(0, "AVIREEL", "", WS_POPUP, 0, 0, 200, 60, nullptr, nullptr, module_, nullptr);
    ASSERT_NE(strip, nullptr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(GetWindowLongA(strip, i * 4), 0) << i;
    DestroyWindow(strip);
}

// Unloading removes the class; loading again brings it back. Last in the
// file, because it unloads the library the other tests share.
TEST_F(Dll, UnloadUnregistersTheFilmStripClass) {
    HMODULE old = module_;
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(old, "AVIREEL", &wc));
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    EXPECT_EQ(GetModuleHandleA("VelmConv32.dll"), nullptr) << "still loaded elsewhere";
    EXPECT_FALSE(GetClassInfoA(old, "AVIREEL", &wc));
    SetUpTestSuite();
    ASSERT_NE(module_, nullptr);
    EXPECT_TRUE(GetClassInfoA(module_, "AVIREEL", &wc));
}

}  // namespace
