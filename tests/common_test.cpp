// The ground every format stands on: the checked byte reader and writer,
// RIFF chunks on spans, the file window, the owners of blocks and files,
// the limits switch. (Memory-mapped files answer the platform's file test
// beside disk files.)
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "common/limits.h"
#include "common/bytes.h"
#include "common/file_window.h"
#include "common/riff.h"
#include "common/image_block.h"
#include "common/png.h"
#include "platform/owners.h"
#include "support/cursor_files.h"
#include "support/library_test.h"

using namespace vctest;
namespace plat = vc::plat;

namespace {

class Ground : public LibraryTest {};

TEST(Bytes, ReaderAndWriterFailStickyAndTouchNothingPastTheEnd) {
    const Bytes b = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xAA};
    vc::ByteReader r(b.data(), b.size());
    EXPECT_EQ((std::tuple{r.u16(), r.u32(), r.ok()}), std::tuple(0x1234, 0x12345678u, true));
    EXPECT_EQ((std::tuple{r.u16(), r.failed()}), std::tuple(0, true));  // one byte left: not enough
    EXPECT_EQ(r.u8(), 0);  // the byte that is there is not read after a failure
    uint8_t out[3] = {9, 9, 9};
    EXPECT_FALSE(r.bytes(out, 3));
    EXPECT_EQ(out[0] | out[1] | out[2], 0);
    // (Big-endian reads are met in the big-endian TIFF files.)

    uint8_t buf[7] = {};
    vc::ByteWriter w(buf, sizeof buf);
    w.u32(0x04030201);
    w.u16(0x0605);
    w.u16(0xFFFF);  // one byte of room left
    EXPECT_FALSE(w.ok());
    w.u8(0x07);  // sticky: the byte that would fit is not written either
    EXPECT_EQ(Bytes(buf, buf + 7), (Bytes{1, 2, 3, 4, 5, 6, 0}));
}

TEST(Bytes, SubViewsAreEmptyAndFailedOutside) {
    const Bytes b(10, 7);
    const vc::ByteReader r(b.data(), b.size());
    const std::tuple<uint64_t, uint64_t, bool> cases[] = {{0, 10, true},         {10, 0, true},        {4, 6, true},
                                                          {4, 7, false},         {11, 0, false},       {2, UINT64_MAX, false},
                                                          {UINT64_MAX, 2, false}};
    for (auto [offset, length, ok] : cases) {
        vc::ByteReader s = r.at(offset, length);
        EXPECT_EQ(std::tuple(s.ok(), s.size()), std::tuple(ok, ok ? length : 0)) << offset << "+" << length;
    }
    vc::ByteReader s = r.at(8, 2);
    // The view ends where its length says, not at the span's end.
    EXPECT_EQ((std::tuple{s.u16(), s.ok(), s.u8(), s.ok()}), std::tuple(0x0707, true, 0, false));
}

TEST(Riff, WalkerSkipsPadsAndStopsAfterATruncatedChunk) {
    Bytes file = chunk("anih", Bytes(3, 1)) + chunk("rate", Bytes(4, 2)) + chunk("seq ", Bytes(8, 3));
    file.resize(file.size() - 3);
    file.push_back(0xEE);  // never read: the walk ended at the cut chunk
    vc::riff::Walker walk(vc::ByteReader(file.data(), file.size()));
    vc::riff::Chunk c;
    using T = std::tuple<std::string, uint32_t, size_t, bool>;
    std::vector<T> seen;
    while (walk.next(c))
        seen.emplace_back(std::string(reinterpret_cast<const char *>(&c.id), 4), c.size, c.body.size(), c.truncated);
    EXPECT_EQ(seen, (std::vector<T>{{"anih", 3, 3, false}, {"rate", 4, 4, false}, {"seq ", 8, 6, true}}));
    // (Lists and their types are walked by the host test over the icon
    // chunks of the animated cursors velmconv writes.)
}

// Whole PNG files keep what the host's pictures hold: a 4-bit palette
// picture comes back with its table, index for index;
// a refused size is refused with the caller's reason before the rows, and
// a file cut short ends with the PNG library's message.
TEST_F(Ground, PngFilesKeepPalettesAndFailWithTheirReason) {
    plat::PngFilePicture out;
    out.width = 3, out.height = 2, out.indexed = true, out.bitDepth = 4, out.rowBytes = 3;
    out.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    out.pixels = {0, 1, 2, 2, 1, 0};
    const std::string file = path("p.png");
    std::string error;
    std::FILE *f = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(f && plat::writePngFile(f, out, error)) << error;
    std::fclose(f);
    auto read = [&](size_t cut, uint32_t largest) {
        if (cut) std::filesystem::resize_file(file, cut);
        plat::PngFilePicture in;
        std::FILE *r = std::fopen(file.c_str(), "rb");
        std::fseek(r, 8, SEEK_SET);
        error.clear();
        const bool ok = plat::readPngFile(
            r, [&](uint32_t w, uint32_t, std::string &why) { return w <= largest || (why = "too wide", false); }, in, error);
        std::fclose(r);
        return std::tuple(ok, in.indexed, in.bitDepth, in.palette, in.pixels, error);
    };
    EXPECT_EQ(read(0, 3), std::tuple(true, true, 4, out.palette, out.pixels, std::string()));
    EXPECT_EQ(std::get<5>(read(0, 2)), "too wide");
    const auto cut = read(60, 3);
    EXPECT_FALSE(std::get<0>(cut));
    EXPECT_EQ(std::get<5>(cut), "Read Error");
}

TEST_F(Ground, FileWindowReadsAcrossRefillsAndSkipsPastTheEnd) {
    const size_t k = vc::FileWindow::kSize;
    Bytes data(3 * k + 100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + i / 256);
    const char *name = "/mapped/window.bin";
    plat::memFileMap(name, data.data(), data.size());
    plat::File f;
    ASSERT_TRUE(f.open(name));
    vc::FileWindow w(f.handle());
    uint8_t b = 0;
    ASSERT_TRUE(w.byte(b));
    w.skip(k - 10);                // inside the first window
    vc::ByteReader r = w.take(20);  // straddles the refill
    const uint8_t *span = r.span(20);
    ASSERT_TRUE(r.ok() && span);
    EXPECT_EQ(Bytes(span, span + 20), Bytes(data.begin() + long(k) - 9, data.begin() + long(k) + 11));
    EXPECT_EQ(w.tell(), int64_t(k + 11));
    for (size_t at : {size_t(3), 2 * k + 5}) {  // back before the window: the file must be moved back
        ASSERT_TRUE(w.seek(at) && w.byte(b));
        EXPECT_EQ(b, data[at]);
    }
    w.skip(k + 1000);  // beyond the end: allowed, the next read comes back short
    EXPECT_EQ((std::tuple{w.byte(b), w.take(4).ok()}), std::tuple(false, false));
    ASSERT_TRUE(w.seek(data.size() - 2) && w.sync());
    EXPECT_EQ(f.position(), int32_t(data.size() - 2));
    plat::memFileUnmap(name);
}

TEST_F(Ground, OwnersGiveBackWhatTheyHoldUnlessHandedOver) {
    const long before = plat::memLiveBlocks();
    vc::MemHandle kept;
    {
        plat::Block a, b;
        ASSERT_TRUE(a.alloc(64) && b.alloc(32));
        EXPECT_EQ(a.data()[63], 0);
        a.data()[0] = 42;
        ASSERT_TRUE(a.resize(4096));
        EXPECT_EQ(std::tuple(a.data()[0], a.size()), std::tuple(42, 4096u));
        kept = a.release();
        EXPECT_EQ(plat::memLiveBlocks(), before + 2);
        plat::memFailAt(1);
        EXPECT_FALSE(b.alloc(8) || b);  // a refused allocation leaves nothing held
    }
    EXPECT_EQ(plat::memLiveBlocks(), before + 1);
    {
        plat::Lock lock(kept);
        ASSERT_TRUE(lock);
        EXPECT_EQ(lock.data()[0], 42);
        plat::Block adopted(kept);  // freed at the end of the scope, after the lock goes
        lock.unlock();
    }
    EXPECT_EQ(std::tuple(plat::memLiveBlocks(), plat::memSize(kept)), std::tuple(before, 0u));
    using Doc = std::array<uint8_t, 32>;
    plat::Block small;
    ASSERT_TRUE(small.alloc(sizeof(Doc) - 1));
    EXPECT_FALSE(plat::DocumentLock<Doc>(small.handle()));  // too small to be the record
}

TEST_F(Ground, LoweredLimitsRefuseLargerPictures) {
    vc::setLimits({.largestPicture = 100});
    EXPECT_FALSE(vc::makePackedDib({.width = 11, .height = 10, .bitCount = 8}));
    EXPECT_TRUE(vc::makePackedDib({.width = 10, .height = 10, .bitCount = 8}));
    vc::setLimits({.largestBlock = 64});
    EXPECT_FALSE(plat::Block().alloc(65));  // the platform's blocks honour the limit too
}

}  // namespace
