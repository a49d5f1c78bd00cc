// JPEG through the real Windows binaries: VelmConv32.dll bound by
// name as the editor binds it, and ijl11.dll (the JPEG library stand-in over
// WIC) bound by ordinal as VelmConv32.dll binds it. Wine's WIC encoder
// ignores the quality setting, so pixels are compared with a tolerance.

#include "ijl/ijl.h"
#include "support/jpeg_cases.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

// A 24-bit packed DIB, bottom-up, with a smooth picture JPEG keeps well.
std::vector<uint8_t> gradientDib(int w, int h) {
    const int row = ((w * 24 + 31) / 32) * 4;
    std::vector<uint8_t> dib(40 + size_t(row) * h, 0);
    const BITMAPINFOHEADER bih{40, w, h, 1, 24, 0, 0, 0, 0, 0, 0};
    std::memcpy(dib.data(), &bih, 40);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = &dib[40 + size_t(y) * row + 3 * x];
            p[0] = uint8_t(x * 4), p[1] = uint8_t(y * 4), p[2] = uint8_t(128 + x - y);
        }
    return dib;
}

using WinCodecs = LibraryTest;

// JPEG saved and loaded back through the stand-in, within the encoder's
// tolerance. (PCX, which takes no system path, is the native Pcx tables'.)
TEST_F(WinCodecs, JpegSavesAndLoadsBack) {
    const std::vector<uint8_t> dib = gradientDib(45, 30);
    ScratchFile file("round.jpg", std::string(), false);
    HGLOBAL block = toBlock(dib);
    EXPECT_EQ(save(nullptr, file.path(), block, CONV_FMT_JPEG, 0, nullptr), CONV_OK);
    GlobalFree(block);
    ConvImageRecord rec{};
    uint8_t code = 0;
    ASSERT_EQ(std::make_tuple(load(nullptr, file.path(), &rec, &code, 0, nullptr), code), std::make_tuple(int32_t(CONV_OK), uint8_t(CONV_FMT_JPEG)));
    const std::vector<uint8_t> back = blockBytes(rec.image);
    GlobalFree(static_cast<HGLOBAL>(rec.image));
    ASSERT_EQ(back.size(), dib.size());
    EXPECT_EQ(0, std::memcmp(back.data(), dib.data(), 16));  // size, width, height, planes, 24 bits
    int worst = 0;
    for (size_t i = 40; i < dib.size(); ++i) worst = std::max(worst, std::abs(int(back[i]) - int(dib[i])));
    EXPECT_LE(worst, 24);
}

// The same files as natively, the same results; CMYK as Pillow converts it.
// (Among them ImageMagick's and Pillow's files through the system's decoder.)
TEST_F(WinCodecs, OtherProgramsFilesAndDamagedOnesGiveTheResultsOfLinux) {
    for (const vctest::JpegCase &c : vctest::kJpegCases) {
        const std::string file = inFolder("VELMCONV_ARTIFACTS", std::string("jpeg_files\\") + c.file);
        ConvImageRecord rec{};
        uint8_t code = 0;
        EXPECT_EQ(load(nullptr, file.c_str(), &rec, &code, 0, nullptr), c.result) << c.file;
        if (!rec.image) continue;
        const std::vector<uint8_t> dib = blockBytes(rec.image);
        GlobalFree(static_cast<HGLOBAL>(rec.image));
        if (std::string(c.file).rfind("cmyk", 0) == 0) {
            EXPECT_LE(vctest::worstAgainstRgb(dib, file + ".rgb"), 1) << c.file;
        }
    }
}

// VelmConv32.dll binds these ordinals for the round trip above; here the
// stand-in answers them directly, and not by name.
TEST(StandInLibrary, EntriesAreReachedByOrdinalOnly) {
    HMODULE m = LoadLibraryA(besideProgram("ijl11.dll").c_str());
    ASSERT_NE(m, nullptr) << GetLastError();
    using Entry1 = int32_t(JL_API *)(JlProperties *);
    using Entry2 = int32_t(JL_API *)(JlProperties *, int32_t);
    auto init = bind<Entry1>(m, MAKEINTRESOURCEA(2)), release = bind<Entry1>(m, MAKEINTRESOURCEA(3));
    auto read = bind<Entry2>(m, MAKEINTRESOURCEA(4)), write = bind<Entry2>(m, MAKEINTRESOURCEA(5));
    ASSERT_TRUE(init && release && read && write);
    EXPECT_EQ(GetProcAddress(m, "JlInit"), nullptr);

    ScratchFile file("ordinal.jpg", std::string(), false);
    std::vector<uint8_t> pixels(3 * 16 * 8, 90);
    JlProperties p{}, q{};
    ASSERT_EQ(init(&p), JL_OK);
    p.jpegFile = file.path();
    p.dibBytes = pixels.data();
    p.dibWidth = p.jpegWidth = 16;
    p.dibHeight = p.jpegHeight = 8;
    p.jpegSubsampling = JL_SUBSAMPLE_422;
    ASSERT_EQ(write(&p, JL_WRITE_IMAGE), JL_OK);
    // Into memory: the bytes of the file; a buffer one byte short refused
    // without a byte past it.
    const std::string written = file.read();
    std::vector<uint8_t> out(written.size() + 1, 0xEE);
    p.jpegOutBytes = out.data();
    p.jpegOutSizeBytes = uint32_t(out.size());
    ASSERT_EQ(write(&p, JL_WRITE_IMAGE), JL_OK);
    ASSERT_EQ(p.jpegOutSizeBytes, written.size());
    EXPECT_EQ(std::string(out.begin(), out.end() - 1), written);
    out.assign(out.size(), 0xEE);
    p.jpegOutSizeBytes = uint32_t(written.size() - 1);
    EXPECT_EQ(write(&p, JL_WRITE_IMAGE), JL_E_BUFFER);
    EXPECT_EQ(out[written.size() - 1], 0xEE);
    EXPECT_EQ(release(&p), JL_OK);
    ASSERT_EQ(init(&q), JL_OK);
    q.jpegFile = file.path();
    ASSERT_EQ(read(&q, JL_READ_PARAMS), JL_OK);
    EXPECT_EQ(std::make_tuple(q.jpegWidth, q.jpegHeight, q.jpegChannels), std::make_tuple(16, 8, 3));
    EXPECT_EQ(release(&q), JL_OK);
    FreeLibrary(m);
}

}  // namespace
