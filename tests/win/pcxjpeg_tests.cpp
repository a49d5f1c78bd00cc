// JPEG and PCX through the real Windows binaries: VelmConv32.dll bound by
// name as the editor binds it, and ijl11.dll (the JPEG library stand-in over
// WIC) bound by ordinal as VelmConv32.dll binds it. Wine's WIC encoder
// ignores the quality setting, so pixels are compared with a tolerance.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ijl/ijl.h"
#include "velmconv/velmconv.h"
#include "win_test_util.h"

namespace {

std::string besideProgram(const char *name) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string s(self);
    return s.substr(0, s.find_last_of("\\/") + 1) + name;
}

std::string libraryPath() {
    if (const char *p = std::getenv("VELMCONV_DLL"); p && *p) return p;
    return besideProgram("VelmConv32.dll");
}

template <typename T>
T bindName(HMODULE m, const char *name) {
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}
template <typename T>
T bindOrdinal(HMODULE m, int ordinal) {
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, MAKEINTRESOURCEA(ordinal))));
}

// A 24-bit packed DIB, bottom-up, with a smooth picture JPEG keeps well.
std::vector<uint8_t> gradientDib(int w, int h) {
    const int row = ((w * 24 + 31) / 32) * 4;
    std::vector<uint8_t> dib(40 + size_t(row) * h, 0);
    BITMAPINFOHEADER bih{};
    bih.biSize = 40;
    bih.biWidth = w;
    bih.biHeight = h;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    std::memcpy(dib.data(), &bih, 40);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = &dib[40 + size_t(y) * row + 3 * x];
            p[0] = uint8_t(x * 4), p[1] = uint8_t(y * 4), p[2] = uint8_t(128 + x - y);
        }
    return dib;
}

HGLOBAL toBlock(const std::vector<uint8_t> &bytes) {
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(g), bytes.data(), bytes.size());
    GlobalUnlock(g);
    return g;
}

std::vector<uint8_t> fromBlock(void *block) {
    auto g = static_cast<HGLOBAL>(block);
    auto *p = static_cast<uint8_t *>(GlobalLock(g));
    std::vector<uint8_t> out(p, p + GlobalSize(g));
    GlobalUnlock(g);
    return out;
}

int worstDiff(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, size_t from) {
    int worst = 0;
    for (size_t i = from; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

class WinCodecs : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA(libraryPath().c_str());
        ASSERT_NE(module_, nullptr) << "cannot load " << libraryPath() << " error " << GetLastError();
        load_ = bindName<LoadConvImageFn>(module_, "LoadConvImage");
        save_ = bindName<SaveConvImageFn>(module_, "SaveConvImage");
        ASSERT_TRUE(load_ && save_);
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }

    // Saves the DIB in a format and loads the file back; the loaded block.
    std::vector<uint8_t> roundTrip(const std::vector<uint8_t> &dib, int32_t format, const char *name) {
        wintest::ScratchFile file(name, std::string(), false);
        HGLOBAL block = toBlock(dib);
        EXPECT_EQ(save_(nullptr, file.path(), block, format, 0, nullptr), CONV_OK);
        GlobalFree(block);
        ConvImageRecord rec{};
        uint8_t code = 0;
        EXPECT_EQ(load_(nullptr, file.path(), &rec, &code, 0, nullptr), CONV_OK);
        EXPECT_EQ(code, format);
        if (!rec.image) return {};
        std::vector<uint8_t> out = fromBlock(rec.image);
        GlobalFree(static_cast<HGLOBAL>(rec.image));
        return out;
    }

    HMODULE module_ = nullptr;
    LoadConvImageFn load_ = nullptr;
    SaveConvImageFn save_ = nullptr;
};

TEST_F(WinCodecs, JpegSavesAndLoadsThroughTheStandInLibrary) {
    std::vector<uint8_t> dib = gradientDib(45, 30);
    std::vector<uint8_t> back = roundTrip(dib, CONV_FMT_JPEG, "round.jpg");
    ASSERT_EQ(back.size(), dib.size());
    EXPECT_EQ(0, std::memcmp(back.data(), dib.data(), 16));  // size, 45 x 30, planes
    EXPECT_EQ(back[14], 24);
    EXPECT_LE(worstDiff(back, dib, 40), 24);

    // A sample picture nobody here wrote, where the test machine has it.
    const char *sample = "Z:\\usr\\libexec\\installed-tests\\SDL2_image\\sample.jpg";
    if (GetFileAttributesA(sample) != INVALID_FILE_ATTRIBUTES) {
        ConvImageRecord rec{};
        uint8_t code = 0;
        ASSERT_EQ(load_(nullptr, sample, &rec, &code, 0, nullptr), CONV_OK);
        std::vector<uint8_t> s = fromBlock(rec.image);
        GlobalFree(static_cast<HGLOBAL>(rec.image));
        BITMAPINFOHEADER h;
        std::memcpy(&h, s.data(), 40);
        EXPECT_EQ(h.biWidth, 23);
        EXPECT_EQ(h.biHeight, 42);
        EXPECT_EQ(h.biBitCount, 24);
    }

    // Garbage after the JPEG signature: detected, then refused.
    wintest::ScratchFile junk("junk.jpg", std::string("\xFF\xD8", 2) + std::string(200, 'x'));
    ConvImageRecord rec{};
    uint8_t code = 0;
    const int32_t r = load_(nullptr, junk.path(), &rec, &code, 0, nullptr);
    EXPECT_TRUE(r == CONV_E_READ || r == CONV_E_UNSUPPORTED) << r;
    EXPECT_EQ(rec.image, nullptr);
}

TEST_F(WinCodecs, PcxRoundTripsExactlyAtEveryDepth) {
    std::vector<uint8_t> dib = gradientDib(21, 19);
    std::vector<uint8_t> back = roundTrip(dib, CONV_FMT_PCX, "round.pcx");
    ASSERT_EQ(back.size(), dib.size());
    // The reader states 75 dpi; everything else and every pixel is as saved.
    EXPECT_EQ(0, std::memcmp(back.data() + 40, dib.data() + 40, dib.size() - 40));
    // A 4-bit picture with its palette.
    std::vector<uint8_t> four(40 + 16 * 4 + 12 * 7, 0);
    BITMAPINFOHEADER bih{40, 21, 7, 1, 4, 0, 0, 0, 0, 16, 16};
    std::memcpy(four.data(), &bih, 40);
    for (int i = 0; i < 16; ++i) four[40 + 4 * i] = uint8_t(i * 16), four[41 + 4 * i] = uint8_t(255 - i);
    for (size_t i = 40 + 64; i < four.size(); ++i) four[i] = uint8_t(i * 13);
    for (int y = 0; y < 7; ++y) four[40 + 64 + 12 * y + 10] &= 0xF0, four[40 + 64 + 12 * y + 11] = 0;
    back = roundTrip(four, CONV_FMT_PCX, "four.pcx");
    ASSERT_EQ(back.size(), four.size());
    EXPECT_EQ(0, std::memcmp(back.data() + 40, four.data() + 40, four.size() - 40));
}

TEST(StandInLibrary, EntriesAreReachedByOrdinalOnly) {
    HMODULE m = LoadLibraryA(besideProgram("ijl11.dll").c_str());
    ASSERT_NE(m, nullptr) << GetLastError();
    using Entry1 = int32_t(JL_API *)(JlProperties *);
    using Entry2 = int32_t(JL_API *)(JlProperties *, int32_t);
    auto init = bindOrdinal<Entry1>(m, 2);
    auto release = bindOrdinal<Entry1>(m, 3);
    auto read = bindOrdinal<Entry2>(m, 4);
    auto write = bindOrdinal<Entry2>(m, 5);
    ASSERT_TRUE(init && release && read && write);
    EXPECT_EQ(GetProcAddress(m, "JlInit"), nullptr);

    wintest::ScratchFile file("ordinal.jpg", std::string(), false);
    std::vector<uint8_t> pixels(3 * 16 * 8);
    for (size_t i = 0; i < pixels.size(); i += 3) pixels[i] = 30, pixels[i + 1] = 90, pixels[i + 2] = 200;
    JlProperties p;
    std::memset(&p, 0, sizeof p);
    ASSERT_EQ(init(&p), JL_OK);
    EXPECT_EQ(p.dibChannels, 3);
    p.jpegFile = file.path();
    p.dibBytes = pixels.data();
    p.dibWidth = p.jpegWidth = 16;
    p.dibHeight = p.jpegHeight = 8;
    p.jpegQuality = 100;
    p.jpegSubsampling = JL_SUBSAMPLE_422;
    ASSERT_EQ(write(&p, JL_WRITE_IMAGE), JL_OK);
    EXPECT_EQ(release(&p), JL_OK);

    JlProperties q;
    std::memset(&q, 0, sizeof q);
    ASSERT_EQ(init(&q), JL_OK);
    q.jpegFile = file.path();
    ASSERT_EQ(read(&q, JL_READ_PARAMS), JL_OK);
    EXPECT_EQ(q.jpegWidth, 16);
    EXPECT_EQ(q.jpegHeight, 8);
    EXPECT_EQ(q.jpegChannels, 3);
    std::vector<uint8_t> back(pixels.size(), 0);
    q.dibBytes = back.data();
    q.dibWidth = 16;
    q.dibHeight = 8;
    ASSERT_EQ(read(&q, JL_READ_IMAGE), JL_OK);
    EXPECT_LE(worstDiff(back, pixels, 0), 12);
    EXPECT_EQ(release(&q), JL_OK);
    FreeLibrary(m);
}

}  // namespace
