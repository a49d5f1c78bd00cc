// The layers under the exports: memory blocks with handle semantics, the
// 16-bit-heritage file calls, the string table, process attach and detach,
// and the packed-DIB helpers every reader and writer builds on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

#include "controls/reel.h"
#include "common/image_block.h"
#include "platform/owners.h"
#include "support/fake_editor.h"
#include "support/library_test.h"

using namespace vctest;
namespace plat = vc::plat;

namespace {

class Platform : public LibraryTest {};

// ---- Memory blocks ----------------------------------------------------------------------

TEST_F(Platform, BlocksKeepTheirContentsAndStaleOrForeignHandlesAreRejected) {
    const long live = plat::memLiveBlocks();
    void *first = plat::memAlloc(plat::kMemMoveable, 16);
    std::memcpy(plat::memLock(first), "sixteen bytes!!", 16);
    (void)plat::memUnlock(first);
    std::vector<void *> more;
    for (int i = 0; i < 300; ++i) more.push_back(plat::memAlloc(plat::kMemMoveable, size_t(i)));
    for (size_t i = 0; i < more.size(); i += 2) EXPECT_EQ(plat::memFree(more[i]), nullptr);
    const char *kept = static_cast<const char *>(plat::memLock(first));
    EXPECT_EQ(std::tuple(plat::memSize(first), std::string(kept ? kept : "")), std::tuple(16u, "sixteen bytes!!"));
    (void)plat::memUnlock(first);
    for (size_t i = 1; i < more.size(); i += 2) (void)plat::memFree(more[i]);

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
    EXPECT_EQ(plat::memLiveBlocks(), live + 2);
    for (void *h : {first, b}) (void)plat::memFree(h);
}

TEST_F(Platform, LockCountZeroFillSizeLimitsAndRefusedAllocations) {
    void *h = plat::memAlloc(plat::kMemMoveable, 4096);
    std::memset(plat::memLock(h), 0xAB, 4096);
    EXPECT_TRUE(plat::memLock(h) != nullptr);
    EXPECT_EQ((std::tuple{plat::memUnlock(h), plat::memUnlock(h), plat::memUnlock(h)}), std::tuple(true, false, false));
    (void)plat::memFree(h);

    h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, 4096);
    auto *p = static_cast<uint8_t *>(plat::memLock(h));
    EXPECT_EQ(std::count(p, p + 4096, 0), 4096);
    p[0] = 9;
    (void)plat::memUnlock(h);
    ASSERT_EQ(plat::memReAlloc(h, 8192, plat::kMemZeroInit), h);
    p = static_cast<uint8_t *>(plat::memLock(h));
    EXPECT_EQ(std::tuple(int(p[0]), std::count(p + 4096, p + 8192, 0)), std::tuple(9, 4096));
    (void)plat::memUnlock(h);
    // A refused growth counts as the n-th allocation and leaves the block.
    plat::memFailAt(1);
    EXPECT_EQ((std::tuple{plat::memReAlloc(h, 9000, 0), plat::memSize(h)}), std::tuple(nullptr, 8192u));
    (void)plat::memFree(h);

    void *empty = plat::memAlloc(plat::kMemMoveable, 0);
    EXPECT_EQ(plat::memLock(empty), nullptr);
    (void)plat::memFree(empty);
    for (size_t n : {size_t(0x80000000u), SIZE_MAX}) EXPECT_EQ(plat::memAlloc(plat::kMemMoveable, n), nullptr) << n;
}

// ---- Files -------------------------------------------------------------------------------

// Disk files and memory-mapped ones (the fuzzers' and tests' files) answer
// one script alike.
TEST_F(Platform, FileCallsAndTheirReturnConventionsOnDiskAndMapped) {
    for (const std::string &bad : {path("missing"), path(""), std::string()})  // missing, a folder, no name
        EXPECT_EQ(plat::fileOpen(bad.c_str(), plat::kOpenRead), vc::kFileError) << bad;
    EXPECT_EQ(plat::fileOpen(nullptr, plat::kOpenRead), vc::kFileError);
    EXPECT_EQ(plat::fileCreate(path("no/such/dir/x").c_str(), 0), vc::kFileError);
    char buf[32] = {};
    EXPECT_EQ(std::tuple(plat::fileRead(vc::kFileError, buf, 1), plat::fileWrite(vc::kFileError, buf, 1),
                         plat::fileSeek(vc::kFileError, 0, 0), plat::fileClose(vc::kFileError)),
              std::tuple(-1, -1, -1, vc::kFileError));
    plat::memFileMap("/mapped/f.bin", "old", 3);  // created over: emptied, as on disk
    const std::pair<std::string, bool> files[] = {{path("f.bin"), false}, {"/mapped/f.bin", true}};
    for (const auto &[name, mapped] : files) {
        SCOPED_TRACE(name);
        vc::HFile f = plat::fileCreate(name.c_str(), 0);
        ASSERT_NE(f, vc::kFileError);
        EXPECT_EQ(std::tuple(plat::fileOpenCount(), plat::fileWrite(f, "0123456789", 10)), std::tuple(1, 10));
        const std::tuple<int32_t, int, int32_t> seeks[] = {
            {0, plat::kSeekEnd, 10}, {2, plat::kSeekSet, 2}, {3, plat::kSeekCur, 5}, {-20, plat::kSeekCur, -1},
            {0, plat::kSeekSet, 0}};
        for (auto [offset, from, want] : seeks) EXPECT_EQ(plat::fileSeek(f, offset, from), want) << offset;
        // Short at the end, then nothing.
        EXPECT_EQ((std::tuple{plat::fileRead(f, buf, 4), plat::fileRead(f, buf, 100), std::string(buf, 6),
                              plat::fileRead(f, buf, 1)}),
                  std::tuple(4, 6, "456789", 0));
        // Writes come back short after the budget, and what came back short
        // was not written; a write past the end leaves zeros in the gap.
        ASSERT_EQ(plat::fileSeek(f, 0, plat::kSeekSet), 0);
        plat::fileFailWritesAfter(10);
        const std::tuple<const char *, int32_t, int32_t> writes[] = {{"abcdef", 6, 6}, {"ghijkl", 6, 4}, {"m", 1, 0}};
        for (auto [text, n, want] : writes) EXPECT_EQ(plat::fileWrite(f, text, n), want) << text;
        EXPECT_EQ(plat::fileSeek(f, 0, plat::kSeekCur), 10);
        plat::fileFailWritesAfter(-1);
        EXPECT_EQ((std::tuple{plat::fileSeek(f, 12, plat::kSeekSet), plat::fileWrite(f, "z", 1)}), std::tuple(12, 1));
        EXPECT_EQ(plat::fileClose(f), 0);

        // A file opened for writing is not read, but a mapped one is read in any mode.
        f = plat::fileOpen(name.c_str(), plat::kOpenWrite);
        EXPECT_EQ(plat::fileRead(f, buf, 1), mapped ? 1 : -1);
        (void)plat::fileClose(f);
        f = plat::fileOpen(name.c_str(), plat::kOpenRead);
        EXPECT_EQ(plat::fileWrite(f, "x", 1), -1) << "write to a file opened for reading";
        // Deleted while open: the handle keeps the bytes until it is closed.
        EXPECT_TRUE(plat::fileDelete(name.c_str()));
        EXPECT_EQ((std::tuple{plat::fileRead(f, buf, 32), std::string(buf, 13)}),
                  std::tuple(13, std::string("abcdefghij\0\0z", 13)));
        EXPECT_EQ(plat::fileClose(f), 0);
        EXPECT_EQ(plat::fileOpen(name.c_str(), plat::kOpenRead), vc::kFileError);  // gone, and not on disk either
    }
}

// ---- Attach and detach ---------------------------------------------------------------------
// (The string table's rules, cut to the buffer and missing strings empty,
// are seen where the services' message boxes and GetFormats hand them on.)

TEST_F(Platform, AttachKeepsModuleAndRegistersFilmStrip) {
    auto *module = reinterpret_cast<void *>(0x400000);
    EXPECT_EQ(DllMain(module, 1, nullptr), 1);
    for (uint32_t other : {2u, 3u, 77u}) {
        EXPECT_EQ(DllMain(nullptr, other, nullptr), 1);
        EXPECT_EQ(std::tuple(plat::module(), vc::reelClassRegistered()), std::tuple(module, true)) << other;
    }
    EXPECT_EQ(DllMain(module, 0, nullptr), 1);
    EXPECT_EQ(std::tuple(plat::module(), vc::reelClassRegistered()), std::tuple(nullptr, false));
}

// ---- Packed DIB helpers -----------------------------------------------------------------------

TEST_F(Platform, PackedDibsAreMadeZeroedWithTheirHeaderAndHostileHeadersRefused) {
    // Row sizes that would overflow 32 bits stay exact.
    for (auto [w, want] : {std::pair(0, 0ull), std::pair(-3, 0ull), std::pair(0x7FFFFFFF, 6442450944ull)})
        EXPECT_EQ(vc::dibRowBytes(w, 24), want) << w;
    // Width, height, depth, colours; the rows' size, the block's.
    const std::tuple<int32_t, int32_t, uint16_t, uint32_t, uint32_t, size_t> cases[] = {
        {5, 3, 4, 0, 12, 40 + 64 + 12}, {5, 3, 24, 0, 48, 40 + 48}, {33, 2, 8, 17, 72, 40 + 68 + 72}};
    for (auto [w, h, bits, colors, sizeImage, size] : cases) {
        plat::Block b(vc::newPackedDib(w, h, bits, colors));
        ASSERT_TRUE(b.lock() && b.size() == size) << w << "x" << h << "x" << bits;
        const auto &hd = *b.as<ConvBitmapInfoHeader>();
        EXPECT_EQ(std::tuple(hd.biSize, hd.biWidth, hd.biHeight, hd.biPlanes, hd.biBitCount, hd.biCompression,
                             hd.biClrUsed, hd.biSizeImage),
                  std::tuple(40u, w, h, uint16_t(1), bits, 0u, colors, sizeImage));
        EXPECT_EQ(size_t(std::count(b.data() + 40, b.data() + size, 0)), size - 40);
        EXPECT_EQ(std::tuple(vc::dibHeaderUsable(hd, size), vc::dibPackedSize(hd)), std::tuple(true, size));
    }
    const std::tuple<int32_t, int32_t, uint16_t> refused[] = {
        {0, 5, 8}, {5, -5, 8}, {60000, 60000, 24}, {1 << 30, 1 << 30, 128}, {1 << 30, 1 << 29, 256}};
    for (auto [w, h, bits] : refused) EXPECT_EQ(vc::newPackedDib(w, h, bits), nullptr) << w << "x" << h << "x" << bits;

    // Hostile headers are not usable, and their sizes do not wrap.
    const ConvBitmapInfoHeader good = dibHeader(5, 3, 8, 0);
    EXPECT_EQ(std::tuple(vc::dibHeaderUsable(good, 40 + 1024 + 24), vc::dibHeaderUsable(good, 40 + 1024 + 23),
                         vc::dibHeaderUsable(good, 0)),
              std::tuple(true, false, false));
    using H = ConvBitmapInfoHeader;
    const std::function<void(H &)> changes[] = {
        [](H &h) { h.biSize = 124; },     [](H &h) { h.biPlanes = 2; },      [](H &h) { h.biCompression = 1; },
        [](H &h) { h.biBitCount = 2; },   [](H &h) { h.biBitCount = 32; },   [](H &h) { h.biWidth = 0; },
        [](H &h) { h.biHeight = 0; },     [](H &h) { h.biBitCount = 4, h.biClrUsed = 17; },
        [](H &h) { h.biBitCount = 24, h.biClrUsed = 300; }};
    for (size_t i = 0; i < std::size(changes); ++i) {
        H h = good;
        changes[i](h);
        EXPECT_FALSE(vc::dibHeaderUsable(h, SIZE_MAX)) << "change " << i;
    }
    // Sizes that overflow 64 bits must come out huge, never small.
    EXPECT_GT(vc::dibPackedSize(dibHeader(1 << 30, 1 << 30, 128)), 0x7FFF0000ull);
    EXPECT_GT(vc::dibPackedSize(dibHeader(0x7FFFFFFF, INT32_MIN, 65535, 0xFFFFFFFF)), 0x7FFF0000ull);
    EXPECT_FALSE(vc::dibHeaderUsable(dibHeader(0x7FFFFFFF, INT32_MIN, 24), 0x7FFF0000));
}

}  // namespace
