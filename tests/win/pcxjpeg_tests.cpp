// JPEG and PCX through the real Windows binaries: VelmConv32.dll bound by
// name as the editor binds it, and ijl11.dll (the JPEG library stand-in over
// WIC) bound by ordinal as VelmConv32.dll binds it. Wine's WIC encoder
// ignores the quality setting, so pixels are compared with a tolerance.

#include "ijl/ijl.h"
#include "support/jpeg_cases.h"
#include "win_test_util.h"

namespace {

using namespace wintest;

template <typename T>
T bindOrdinal(HMODULE m, int ordinal) {
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, MAKEINTRESOURCEA(ordinal))));
}

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

int worstDiff(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, size_t from) {
    int worst = 0;
    for (size_t i = from; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

class WinCodecs : public LibraryTest {
protected:
    // Saves the DIB in a format and loads the file back; the loaded block.
    std::vector<uint8_t> roundTrip(const std::vector<uint8_t> &dib, int32_t format, const char *name) {
        ScratchFile file(name, std::string(), false);
        HGLOBAL block = toBlock(dib);
        EXPECT_EQ(save(nullptr, file.path(), block, format, 0, nullptr), CONV_OK);
        GlobalFree(block);
        ConvImageRecord rec{};
        uint8_t code = 0;
        EXPECT_EQ(load(nullptr, file.path(), &rec, &code, 0, nullptr), CONV_OK);
        EXPECT_EQ(code, format);
        if (!rec.image) return {};
        std::vector<uint8_t> out = blockBytes(rec.image);
        GlobalFree(static_cast<HGLOBAL>(rec.image));
        return out;
    }
};

// JPEG through the stand-in within the encoder's tolerance; PCX exactly,
// but for the 75 dpi its reader states.
TEST_F(WinCodecs, JpegAndPcxSaveAndLoadBack) {
    for (auto [format, name, w, h, tolerance] :
         {std::tuple{CONV_FMT_JPEG, "round.jpg", 45, 30, 24}, std::tuple{CONV_FMT_PCX, "round.pcx", 21, 19, 0}}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> dib = gradientDib(w, h);
        std::vector<uint8_t> back = roundTrip(dib, format, name);
        ASSERT_EQ(back.size(), dib.size());
        EXPECT_EQ(0, std::memcmp(back.data(), dib.data(), 16));  // size, width, height, planes, 24 bits
        EXPECT_LE(worstDiff(back, dib, 40), tolerance);
    }
}

TEST_F(WinCodecs, JpegOfAnotherProgramLoadsAndJunkIsRefused) {
    // A sample picture nobody here wrote, where the test machine has it.
    const char *sample = "Z:\\usr\\libexec\\installed-tests\\SDL2_image\\sample.jpg";
    ConvImageRecord rec{};
    uint8_t code = 0;
    if (GetFileAttributesA(sample) != INVALID_FILE_ATTRIBUTES) {
        ASSERT_EQ(load(nullptr, sample, &rec, &code, 0, nullptr), CONV_OK);
        BITMAPINFOHEADER bih;
        std::memcpy(&bih, blockBytes(rec.image).data(), 40);
        GlobalFree(static_cast<HGLOBAL>(rec.image));
        EXPECT_EQ(std::make_tuple(bih.biWidth, bih.biHeight, bih.biBitCount), std::make_tuple(23L, 42L, WORD(24)));
    }
    // Garbage after the JPEG signature: detected, then refused.
    ScratchFile junk("junk.jpg", std::string("\xFF\xD8", 2) + std::string(200, 'x'));
    rec.image = nullptr;
    const int32_t r = load(nullptr, junk.path(), &rec, &code, 0, nullptr);
    EXPECT_TRUE(r == CONV_E_READ || r == CONV_E_UNSUPPORTED) << r;
    EXPECT_EQ(rec.image, nullptr);
}

// The same files as natively, the same results; CMYK as Pillow converts it.
TEST_F(WinCodecs, OtherProgramsFilesAndDamagedOnesGiveTheResultsOfLinux) {
    const char *artifacts = std::getenv("VELMCONV_ARTIFACTS");
    ASSERT_TRUE(artifacts && *artifacts);
    for (const vctest::JpegCase &c : vctest::kJpegCases) {
        const std::string file = std::string(artifacts) + "\\jpeg_files\\" + c.file;
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
    auto init = bindOrdinal<Entry1>(m, 2), release = bindOrdinal<Entry1>(m, 3);
    auto read = bindOrdinal<Entry2>(m, 4), write = bindOrdinal<Entry2>(m, 5);
    ASSERT_TRUE(init && release && read && write);
    EXPECT_EQ(GetProcAddress(m, "JlInit"), nullptr);

    ScratchFile file("ordinal.jpg", std::string(), false);
    std::vector<uint8_t> pixels(3 * 16 * 8, 90);
    JlProperties p, q;
    std::memset(&p, 0, sizeof p);
    std::memset(&q, 0, sizeof q);
    ASSERT_EQ(init(&p), JL_OK);
    EXPECT_EQ(p.dibChannels, 3);
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
    EXPECT_EQ(q.jpegWidth, 16);
    EXPECT_EQ(q.jpegHeight, 8);
    EXPECT_EQ(q.jpegChannels, 3);
    EXPECT_EQ(release(&q), JL_OK);
    FreeLibrary(m);
}

}  // namespace
