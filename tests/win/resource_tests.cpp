// "Open Resource Bitmap" (template 102) as a real dialog opened through
// VelmConv32.dll's LoadConvImage on a DLL built from an .rc script: the list
// as the sorted list box orders it, the preview read back from the screen
// at natural size and scaled, the statics, the preview switch, OK naming
// the image, Cancel. (The lists, statics and previews through
// GetPreviewImage are the native ProgramFiles tables'.)

#include "win_test_util.h"

namespace {

using namespace wintest;

std::vector<std::string> lines(HWND d) {
    std::vector<std::string> out(size_t(SendDlgItemMessageA(d, IDC_RESBMP_LIST, LB_GETCOUNT, 0, 0)));
    for (size_t i = 0; i < out.size(); ++i) out[i] = listLine(d, IDC_RESBMP_LIST, int(i));
    return out;
}
std::string statics(HWND d) { return text(d, IDC_RESBMP_SIZE) + " " + text(d, IDC_RESBMP_COLORS); }

// Chooses a line as the user would and waits for the preview to be drawn;
// returns the preview button's pixels.
Capture choose(HWND d, int line) {
    pickLine(d, IDC_RESBMP_LIST, line);
    UpdateWindow(GetDlgItem(d, IDC_RESBMP_PREVIEW));
    return capture(GetDlgItem(d, IDC_RESBMP_PREVIEW));
}

constexpr uint32_t kLightGrey = 0xC0C0C0;
// The 16 colours of the 32 x 32 test bitmap, whose 8 x 8 squares run
// through them.
const uint32_t kVga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                           0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

using ResourceDialog = LibraryTest;

// The lists of both toolchains' DLLs, the pick, Cancel and a font without
// bitmaps are the native ProgramFiles tables'; here the 64-bit one's
// through the real dialog.
TEST_F(ResourceDialog, ListPreviewStaticsOkAndCancel) {
    const std::vector<std::string> want = {"   100-1031", "   100-1033", "   300-1036", "  2000-1033",
                                           "A_B-1033",    "ABB-1033",    "AB-C-1033",   "LOGO-1033"};
    const std::string file = inFolder("VELMCONV_RESOURCE_FILES", "bitmaps-x86_64.dll");
    bool looked = false;
    whenOpen([&](HWND d) {
        looked = true;
        EXPECT_EQ(std::make_tuple(title(d), text(d, IDC_RESBMP_FILE), lines(d), checked(d, IDC_RESBMP_SHOW),
                                  SendDlgItemMessageA(d, IDC_RESBMP_LIST, LB_GETCURSEL, 0, 0)),
                  std::make_tuple(std::string("Open Resource Bitmap"), file, want, true, LRESULT(0)));

        // 32 x 32 at 4 bits: natural size, centred inside the frame.
        Capture c = choose(d, 1);
        const int boxW = c.width - 2, boxH = c.height - 2;
        const int x0 = (boxW - 32) / 2 + 1, y0 = (boxH - 32) / 2 + 1;
        int wrong = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) wrong += c.at(x0 + x, y0 + y) != kVga[(x / 8 + 4 * (y / 8)) % 16];
        // Around it the grey inside of the black frame.
        EXPECT_EQ(std::make_tuple(wrong, c.at(x0 - 1, y0), c.at(0, 0), statics(d)),
                  std::make_tuple(0, kLightGrey, 0u, std::string("32x32 16")));

        // 200 x 100 at 24 bits: as wide as the box, centred vertically.
        c = choose(d, 3);
        const int h = MulDiv(100, boxH, 200), top = (boxH - h) / 2 + 1;
        const uint32_t topLeft = c.at(1 + boxW / 4, top + h / 4), bottomRight = c.at(1 + 3 * boxW / 4, top + 3 * h / 4);
        EXPECT_EQ(std::make_tuple(c.at(c.width / 2, top - 1), topLeft & 0xFF00FF, bottomRight & 0xFF00FF),
                  std::make_tuple(kLightGrey, 0xFF0000u, 0x0000FFu));
        EXPECT_NEAR(int(topLeft >> 8 & 255), 50, 8);  // green runs down the rows
        EXPECT_NEAR(int(bottomRight >> 8 & 255), 150, 8);
        screenshot(d, "open_resource_bitmap.bmp");

        // Preview off: the crossed box and empty statics; on again.
        click(d, IDC_RESBMP_SHOW);
        UpdateWindow(GetDlgItem(d, IDC_RESBMP_PREVIEW));
        c = capture(GetDlgItem(d, IDC_RESBMP_PREVIEW));
        // Grey between the diagonals, black on them.
        EXPECT_EQ(std::make_tuple(checked(d, IDC_RESBMP_SHOW), statics(d), c.at(c.width / 2, c.height / 4), c.at(c.width - 1, 0)),
                  std::make_tuple(false, std::string(" "), kLightGrey, 0u));
        click(d, IDC_RESBMP_SHOW);
        EXPECT_TRUE(checked(d, IDC_RESBMP_SHOW));
        choose(d, 7);  // the bitmap with an old core header
        click(d, IDOK);
    });
    char name[MAX_PATH] = {};
    lstrcpynA(name, file.c_str(), MAX_PATH);
    ConvImageRecord rec{};
    uint8_t format = 0;
    const int32_t r = load(parent.hwnd, name, &rec, &format, 0, nullptr);
    EXPECT_EQ(std::make_tuple(r, looked, format, std::string(name)), std::make_tuple(CONV_OK, true, uint8_t(0), std::string("LOGO-103.BMP")));
    ASSERT_NE(rec.image, nullptr);
    const std::vector<uint8_t> data = blockBytes(rec.image);
    ASSERT_GT(data.size(), 12u);
    EXPECT_EQ(std::make_tuple(data[0], data[4], data[6]), std::make_tuple(12, 20, 10)) << "core header, 20 x 10";
    GlobalFree(rec.image);

    lstrcpynA(name, file.c_str(), MAX_PATH);
    whenOpen([](HWND d) { click(d, IDCANCEL); });
    EXPECT_EQ(std::make_tuple(load(parent.hwnd, name, &rec, &format, 0, nullptr), std::string(name)),
              std::make_tuple(CONV_CANCELLED, file));
}

}  // namespace
