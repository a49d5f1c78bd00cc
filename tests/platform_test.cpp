// The layers under the exports: memory blocks with handle semantics, the
// 16-bit-heritage file calls, the string table, process attach and detach,
// and the packed-DIB helpers every reader and writer builds on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "controls/reel.h"
#include "entry/image_block.h"
#include "support/fake_editor.h"
#include "support/library_test.h"

using namespace vctest;
namespace plat = vc::plat;

namespace {

class Platform : public LibraryTest {};

std::string lockedText(void *h) {
    const char *p = static_cast<const char *>(plat::memLock(h));
    std::string text = p ? p : "(none)";
    (void)plat::memUnlock(h);
    return text;
}

// ---- Memory blocks ----------------------------------------------------------------------

TEST_F(Platform, BlocksKeepTheirContentsWhileOthersComeAndGo) {
    void *first = plat::memAlloc(plat::kMemMoveable, 16);
    ASSERT_NE(first, nullptr);
    std::memcpy(plat::memLock(first), "sixteen bytes!!", 16);
    (void)plat::memUnlock(first);
    std::vector<void *> more;
    for (int i = 0; i < 300; ++i) more.push_back(plat::memAlloc(plat::kMemMoveable, size_t(i)));
    for (size_t i = 0; i < more.size(); i += 2) EXPECT_EQ(plat::memFree(more[i]), nullptr);
    EXPECT_EQ(plat::memSize(first), 16u);
    EXPECT_EQ(lockedText(first), "sixteen bytes!!");
    for (size_t i = 1; i < more.size(); i += 2) (void)plat::memFree(more[i]);
    (void)plat::memFree(first);
}

TEST_F(Platform, StaleAndForeignHandlesAreRejected) {
    long live = plat::memLiveBlocks();
    void *a = plat::memAlloc(plat::kMemMoveable, 8);
    EXPECT_EQ(plat::memFree(a), nullptr);
    void *b = plat::memAlloc(plat::kMemMoveable, 8);  // may reuse a's slot
    for (uintptr_t bogus : {uintptr_t(a), uintptr_t(0), uintptr_t(1), uintptr_t(0x12), ~uintptr_t(0xD)}) {
        auto *h = reinterpret_cast<void *>(bogus);
        EXPECT_FALSE(plat::memUnlock(h));
        EXPECT_EQ(std::tuple(plat::memLock(h), plat::memSize(h), plat::memFree(h), plat::memReAlloc(h, 10, 0)),
                  std::tuple(nullptr, 0u, h, nullptr)) << h;
    }
    EXPECT_NE(plat::memLock(b), nullptr) << "a stale handle freed its slot's new block";
    (void)plat::memUnlock(b);
    EXPECT_EQ(plat::memLiveBlocks(), live + 1);
    (void)plat::memFree(b);
}

TEST_F(Platform, LockCountZeroFillAndSizeLimits) {
    void *h = plat::memAlloc(plat::kMemMoveable, 4096);
    std::memset(plat::memLock(h), 0xAB, 4096);
    EXPECT_TRUE(plat::memLock(h) != nullptr);
    EXPECT_TRUE(plat::memUnlock(h)) << "still locked once";
    EXPECT_FALSE(plat::memUnlock(h));
    EXPECT_FALSE(plat::memUnlock(h));
    (void)plat::memFree(h);

    h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, 4096);
    auto *p = static_cast<uint8_t *>(plat::memLock(h));
    EXPECT_EQ(std::count(p, p + 4096, 0), 4096);
    p[0] = 9;
    (void)plat::memUnlock(h);
    ASSERT_EQ(plat::memReAlloc(h, 8192, plat::kMemZeroInit), h);
    p = static_cast<uint8_t *>(plat::memLock(h));
    EXPECT_EQ(p[0], 9);
    EXPECT_EQ(std::count(p + 4096, p + 8192, 0), 4096);
    (void)plat::memUnlock(h);
    (void)plat::memFree(h);

    void *empty = plat::memAlloc(plat::kMemMoveable, 0);
    EXPECT_EQ(plat::memLock(empty), nullptr);
    (void)plat::memFree(empty);
    EXPECT_EQ(plat::memAlloc(plat::kMemMoveable, size_t(0x80000000u)), nullptr);
    EXPECT_EQ(plat::memAlloc(plat::kMemMoveable, SIZE_MAX), nullptr);
}

TEST_F(Platform, MemFailAtRefusesExactlyTheNthAllocation) {
    plat::memFailAt(3);
    void *a = plat::memAlloc(0, 4), *b = plat::memAlloc(0, 4), *c = plat::memAlloc(0, 4), *d = plat::memAlloc(0, 4);
    EXPECT_TRUE(a && b && !c && d);
    // Growing a block counts as an allocation; a refused one leaves the block.
    std::memcpy(plat::memLock(a), "abc", 4);
    (void)plat::memUnlock(a);
    plat::memFailAt(1);
    EXPECT_EQ(plat::memReAlloc(a, 1000, 0), nullptr);
    EXPECT_EQ(plat::memSize(a), 4u);
    EXPECT_EQ(lockedText(a), "abc");
    for (void *h : {a, b, d}) (void)plat::memFree(h);
}

// ---- Files -------------------------------------------------------------------------------

TEST_F(Platform, FileCallsAndTheirReturnConventions) {
    for (const std::string &bad : {path("missing"), path(""), std::string()})  // missing, a folder, no name
        EXPECT_EQ(plat::fileOpen(bad.c_str(), plat::kOpenRead), vc::kFileError) << bad;
    EXPECT_EQ(plat::fileOpen(nullptr, plat::kOpenRead), vc::kFileError);
    EXPECT_EQ(plat::fileCreate(path("no/such/dir/x").c_str(), 0), vc::kFileError);
    EXPECT_EQ(plat::fileOpenCount(), 0);

    vc::HFile f = plat::fileCreate(path("f.bin").c_str(), 0);
    ASSERT_NE(f, vc::kFileError);
    EXPECT_EQ(plat::fileOpenCount(), 1);
    EXPECT_EQ(plat::fileWrite(f, "0123456789", 10), 10);
    EXPECT_EQ(plat::fileSeek(f, 0, plat::kSeekEnd), 10);
    EXPECT_EQ(plat::fileSeek(f, 2, plat::kSeekSet), 2);
    EXPECT_EQ(plat::fileSeek(f, 3, plat::kSeekCur), 5);
    EXPECT_EQ(plat::fileSeek(f, -20, plat::kSeekCur), -1);
    EXPECT_EQ(plat::fileSeek(f, 0, plat::kSeekSet), 0);
    char buf[32] = {};
    EXPECT_EQ(plat::fileRead(f, buf, 4), 4);
    EXPECT_EQ(plat::fileRead(f, buf, 100), 6);  // short at the end
    EXPECT_EQ(std::string(buf, 6), "456789");
    EXPECT_EQ(plat::fileRead(f, buf, 1), 0);
    EXPECT_EQ(plat::fileClose(f), 0);

    f = plat::fileOpen(path("f.bin").c_str(), plat::kOpenWrite);
    EXPECT_EQ(plat::fileRead(f, buf, 1), -1) << "read from a file opened for writing";
    (void)plat::fileClose(f);
    f = plat::fileOpen(path("f.bin").c_str(), plat::kOpenRead);
    EXPECT_EQ(plat::fileWrite(f, "x", 1), -1) << "write to a file opened for reading";
    (void)plat::fileClose(f);

    EXPECT_EQ(plat::fileRead(vc::kFileError, buf, 1), -1);
    EXPECT_EQ(plat::fileWrite(vc::kFileError, buf, 1), -1);
    EXPECT_EQ(plat::fileSeek(vc::kFileError, 0, 0), -1);
    EXPECT_EQ(plat::fileClose(vc::kFileError), vc::kFileError);
}

TEST_F(Platform, WritesComeBackShortAfterTheBudget) {
    vc::HFile f = plat::fileCreate(path("short.bin").c_str(), 0);
    plat::fileFailWritesAfter(10);
    EXPECT_EQ(plat::fileWrite(f, "abcdef", 6), 6);
    EXPECT_EQ(plat::fileWrite(f, "ghijkl", 6), 4);
    EXPECT_EQ(plat::fileWrite(f, "m", 1), 0);
    EXPECT_EQ(plat::fileSeek(f, 0, plat::kSeekEnd), 10) << "what came back short was not written";
    plat::fileFailWritesAfter(-1);
    EXPECT_EQ(plat::fileWrite(f, "mnopq", 5), 5);
    plat::fileFailWritesAfter(0);
    EXPECT_EQ(plat::fileWrite(f, "x", 1), 0);
    (void)plat::fileClose(f);
}

// ---- String table, attach and detach ---------------------------------------------------------

// The filter strings, the two menu texts and the error title and text are
// checked where the exports and the services hand them on.
TEST_F(Platform, StringTableTexts) {
    const std::pair<unsigned, const char *> strings[] = {
        {150, "WAVE Files(*.WAV)|*.WAV"},
        {203, "Video for Windows has not been installed on your system. To be able to use AVI-Import and "
              "Export Video for Windows Version 1.1 or higher must be Installed."},
        {204, "Error adding Sound to the AVI File! Please check the filename and your hard disk space."},
        {209, "Frame %d: %dx%d  %d Colors"},
        {210, "Created with Velmora"},
        {220, "Nothing"},
        {221, "Leave as is"},
        {222, "Background"},
        {223, "Previous Image"},
    };
    char buf[512];
    for (const auto &[id, text] : strings) {
        EXPECT_EQ(plat::loadString(id, buf, sizeof buf), int(std::strlen(text))) << id;
        EXPECT_STREQ(buf, text) << id;
    }
    for (unsigned missing : {0u, 99u, 110u, 202u, 207u, 224u, 65535u}) {
        std::strcpy(buf, "junk");
        EXPECT_EQ(plat::loadString(missing, buf, sizeof buf), 0) << missing;
        EXPECT_STREQ(buf, "") << missing;
    }
    EXPECT_EQ(plat::loadString(200, buf, 3), 2);
    EXPECT_STREQ(buf, "Er");
    for (size_t size : {1, 0}) EXPECT_EQ(plat::loadString(200, buf, size), 0) << size;
    EXPECT_EQ(plat::loadString(200, nullptr, 10), 0);
}

TEST_F(Platform, AttachKeepsModuleAndRegistersFilmStrip) {
    auto *module = reinterpret_cast<void *>(0x400000);
    EXPECT_EQ(DllMain(module, 1, nullptr), 1);
    EXPECT_EQ(plat::module(), module);
    EXPECT_TRUE(vc::reelClassRegistered());
    for (uint32_t other : {2u, 3u, 77u}) {
        EXPECT_EQ(DllMain(nullptr, other, nullptr), 1);
        EXPECT_EQ(plat::module(), module) << other;
        EXPECT_TRUE(vc::reelClassRegistered()) << other;
    }
    EXPECT_EQ(DllMain(module, 0, nullptr), 1);
    EXPECT_EQ(plat::module(), nullptr);
    EXPECT_FALSE(vc::reelClassRegistered());
}

// ---- Packed DIB helpers -----------------------------------------------------------------------

TEST_F(Platform, RowSizesAndColourCounts) {
    const std::tuple<int32_t, uint16_t, uint64_t> rows[] = {
        {5, 4, 4}, {5, 24, 16}, {32, 1, 4}, {33, 1, 8}, {3, 8, 4}, {0, 8, 0}, {-3, 8, 0},
        {0x7FFFFFFF, 24, 6442450944ull}};
    for (auto [w, bits, want] : rows) EXPECT_EQ(vc::dibRowBytes(w, bits), want) << w << "/" << bits;
    EXPECT_EQ(std::tuple(vc::dibColorCount(0, 8), vc::dibColorCount(17, 8), vc::dibColorCount(0, 24),
                         vc::dibColorCount(0, 1)),
              std::tuple(256u, 17u, 0u, 2u));
    EXPECT_EQ(vc::dibBitsOffset(dibHeader(32, 32, 4)), 104u);
    EXPECT_EQ(vc::dibPackedSize(dibHeader(5, -3, 24)), 40u + 48u);
}

TEST_F(Platform, NewPackedDibMakesAZeroedBlockWithItsHeader) {
    const struct {
        int32_t w, h;
        uint16_t bits;
        uint32_t colors;
        size_t size;
    } cases[] = {
        {5, 3, 4, 0, 40 + 64 + 12}, {5, 3, 24, 0, 40 + 48}, {2, 2, 8, 17, 40 + 68 + 8}, {1, 1, 1, 0, 40 + 8 + 4}};
    for (const auto &c : cases) {
        void *h = vc::newPackedDib(c.w, c.h, c.bits, c.colors);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(plat::memSize(h), c.size);
        auto *p = static_cast<const uint8_t *>(plat::memLock(h));
        ConvBitmapInfoHeader hd;
        std::memcpy(&hd, p, sizeof hd);
        EXPECT_EQ(std::tuple(hd.biSize, hd.biWidth, hd.biHeight, hd.biPlanes, hd.biBitCount, hd.biCompression,
                             hd.biClrUsed, hd.biSizeImage),
                  std::tuple(40u, c.w, c.h, uint16_t(1), c.bits, 0u, c.colors,
                             vc::dibRowBytes(c.w, c.bits) * uint32_t(c.h)));
        EXPECT_EQ(size_t(std::count(p + 40, p + c.size, 0)), c.size - 40);
        EXPECT_TRUE(vc::dibHeaderUsable(hd, c.size));
        (void)plat::memUnlock(h);
        (void)plat::memFree(h);
    }
    const std::tuple<int32_t, int32_t, uint16_t> refused[] = {
        {0, 5, 8}, {5, 0, 8}, {-5, 5, 8}, {60000, 60000, 24}, {1 << 30, 1 << 30, 128}, {1 << 30, 1 << 29, 256}};
    for (auto [w, h, bits] : refused) EXPECT_EQ(vc::newPackedDib(w, h, bits), nullptr) << w << "x" << h << "x" << bits;
    plat::memFailAt(1);
    EXPECT_EQ(vc::newPackedDib(5, 5, 8), nullptr);
}

TEST_F(Platform, HostileHeadersAreNotUsableAndTheirSizesDoNotWrap) {
    const ConvBitmapInfoHeader good = dibHeader(5, 3, 8, 0);
    const size_t size = 40 + 1024 + 24;
    ASSERT_TRUE(vc::dibHeaderUsable(good, size));
    EXPECT_FALSE(vc::dibHeaderUsable(good, size - 1));
    EXPECT_FALSE(vc::dibHeaderUsable(good, 0));
    auto bad = [&](auto change) {
        ConvBitmapInfoHeader h = good;
        change(h);
        return !vc::dibHeaderUsable(h, SIZE_MAX);
    };
    EXPECT_TRUE(bad([](auto &h) { h.biSize = 12; }));
    EXPECT_TRUE(bad([](auto &h) { h.biSize = 124; }));
    EXPECT_TRUE(bad([](auto &h) { h.biPlanes = 0; }));
    EXPECT_TRUE(bad([](auto &h) { h.biPlanes = 2; }));
    EXPECT_TRUE(bad([](auto &h) { h.biCompression = 1; }));
    for (uint16_t bits : {0, 2, 16, 32, 65535}) EXPECT_TRUE(bad([&](auto &h) { h.biBitCount = bits; })) << bits;
    EXPECT_TRUE(bad([](auto &h) { h.biWidth = 0; }));
    EXPECT_TRUE(bad([](auto &h) { h.biWidth = -1; }));
    EXPECT_TRUE(bad([](auto &h) { h.biHeight = 0; }));
    EXPECT_TRUE(bad([](auto &h) { h.biClrUsed = 257; }));
    EXPECT_TRUE(bad([](auto &h) { h.biClrUsed = 0xFFFFFFFF; }));
    EXPECT_TRUE(bad([](auto &h) { h.biBitCount = 4; h.biClrUsed = 17; }));
    EXPECT_TRUE(bad([](auto &h) { h.biBitCount = 24; h.biClrUsed = 300; }));
    // Sizes that overflow 64 bits must come out huge, never small.
    EXPECT_GT(vc::dibPackedSize(dibHeader(1 << 30, 1 << 30, 128)), 0x7FFF0000ull);
    EXPECT_GT(vc::dibPackedSize(dibHeader(0x7FFFFFFF, INT32_MIN, 65535, 0xFFFFFFFF)), 0x7FFF0000ull);
    EXPECT_FALSE(vc::dibHeaderUsable(dibHeader(0x7FFFFFFF, INT32_MIN, 24), 0x7FFF0000));
}

}  // namespace
