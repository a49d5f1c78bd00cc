// The ground every format stands on: the checked byte reader and writer,
// RIFF chunks on spans, the file window, memory-mapped files, the owners of
// blocks and files, the limits switch, and image blocks built from stored
// bitmaps of both header kinds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/riff.h"
#include "entry/image_block.h"
#include "platform/owners.h"
#include "support/library_test.h"

using namespace vctest;
namespace plat = vc::plat;
using Bytes = std::vector<uint8_t>;

namespace {

class Ground : public LibraryTest {};

TEST(Bytes, ReaderFailsStickyAndGivesZerosPastTheEnd) {
    const Bytes b = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xAA};
    vc::ByteReader r(b.data(), b.size());
    EXPECT_EQ(r.u16(), 0x1234);
    EXPECT_EQ(r.u32(), 0x12345678u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.u16(), 0);  // one byte left: not enough
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.u8(), 0);  // the byte that is there is not read after a failure
    uint8_t out[3] = {9, 9, 9};
    EXPECT_FALSE(r.bytes(out, 3));
    EXPECT_EQ(out[0] | out[1] | out[2], 0);

    vc::ByteReader be(b.data(), b.size());
    EXPECT_EQ(be.u16be(), 0x3412);
    EXPECT_EQ(be.u32be(), 0x78563412u);
}

TEST(Bytes, SubViewsAreEmptyAndFailedOutside) {
    const Bytes b(10, 7);
    const vc::ByteReader r(b.data(), b.size());
    struct Case {
        uint64_t offset, length;
        bool ok;
    } cases[] = {{0, 10, true}, {10, 0, true}, {4, 6, true}, {4, 7, false}, {11, 0, false},
                 {2, UINT64_MAX, false}, {UINT64_MAX, 2, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
        vc::ByteReader s = r.at(c.offset, c.length);
        EXPECT_EQ(s.ok(), c.ok);
        EXPECT_EQ(s.size(), c.ok ? c.length : 0);
    }
    vc::ByteReader s = r.at(8, 2);
    s.u16();
    EXPECT_TRUE(s.ok());
    s.u8();
    EXPECT_FALSE(s.ok());  // the view ends where its length says, not at the span's end
}

TEST(Bytes, WriterWritesNothingThatDoesNotFit) {
    uint8_t buf[7] = {};
    vc::ByteWriter w(buf, sizeof buf);
    w.u32(0x04030201);
    w.u16(0x0605);
    w.u16(0xFFFF);  // one byte of room left
    EXPECT_FALSE(w.ok());
    w.u8(0x07);  // sticky: the byte that would fit is not written either
    EXPECT_EQ(Bytes(buf, buf + 7), (Bytes{1, 2, 3, 4, 5, 6, 0}));
    vc::ByteWriter patch(buf, sizeof buf);
    EXPECT_TRUE(patch.seek(1));
    patch.u16be(0xABCD);
    EXPECT_EQ(buf[1], 0xAB);
    EXPECT_EQ(buf[2], 0xCD);
    EXPECT_FALSE(patch.seek(8));
}

Bytes chunk(const char (&id)[5], const Bytes &body, bool pad = true) {
    Bytes out(8);
    vc::storeLe32(out.data(), vc::riff::fourcc(id));
    vc::storeLe32(out.data() + 4, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) out.push_back(0);
    return out;
}

TEST(Riff, WalkerSkipsPadsAndStopsAfterATruncatedChunk) {
    Bytes file = chunk("anih", Bytes(3, 1));
    const Bytes second = chunk("rate", Bytes(4, 2));
    file.insert(file.end(), second.begin(), second.end());
    Bytes cut = chunk("seq ", Bytes(8, 3));
    cut.resize(cut.size() - 3);
    file.insert(file.end(), cut.begin(), cut.end());
    file.push_back(0xEE);  // never read: the walk ended at the cut chunk

    vc::riff::Walker walk(vc::ByteReader(file.data(), file.size()));
    vc::riff::Chunk c;
    std::vector<std::tuple<std::string, uint32_t, size_t, bool>> seen;
    while (walk.next(c)) seen.emplace_back(std::string(reinterpret_cast<const char *>(&c.id), 4), c.size,
                                           c.body.size(), c.truncated);
    using T = std::tuple<std::string, uint32_t, size_t, bool>;
    EXPECT_EQ(seen, (std::vector<T>{{"anih", 3, 3, false}, {"rate", 4, 4, false}, {"seq ", 8, 6, true}}));

    const Bytes list = chunk("LIST", [] {
        Bytes b = {'f', 'r', 'a', 'm'};
        const Bytes icon = chunk("icon", {5});
        b.insert(b.end(), icon.begin(), icon.end());
        return b;
    }());
    vc::riff::Walker outer(vc::ByteReader(list.data(), list.size()));
    ASSERT_TRUE(outer.next(c));
    EXPECT_EQ(c.listType(), vc::riff::fourcc("fram"));
    vc::riff::Walker inner(c.listBody());
    ASSERT_TRUE(inner.next(c));
    EXPECT_EQ(c.id, vc::riff::fourcc("icon"));
    EXPECT_EQ(c.body.u8(), 5);
}

TEST_F(Ground, MappedFilesBehaveAsDiskFilesDo) {
    const char *name = "/mapped/in.bin";
    const Bytes data = {1, 2, 3, 4, 5};
    plat::memFileMap(name, data.data(), data.size());
    {
        plat::File f;
        ASSERT_TRUE(f.open(name));
        EXPECT_EQ(plat::fileOpenCount(), 1);
        EXPECT_EQ(f.length(), 5);
        uint8_t got[8];
        EXPECT_EQ(f.read(got, 8), 5);  // short at the end, like a disk file
        EXPECT_EQ(f.seek(2, plat::kSeekSet), 2);
        EXPECT_EQ(f.read(got, 2), 2);
        EXPECT_EQ(got[0], 3);
        EXPECT_EQ(f.write(got, 1), -1);  // opened for reading
        EXPECT_EQ(f.seek(-3, plat::kSeekSet), -1);
    }
    EXPECT_EQ(plat::fileOpenCount(), 0);
    {
        plat::File out;
        ASSERT_TRUE(out.create(name));  // truncates, like the disk call
        plat::fileFailWritesAfter(3);
        EXPECT_EQ(out.write("abcdef", 6), 3);  // the short-write switch applies here too
        plat::fileFailWritesAfter(-1);
        EXPECT_EQ(out.seek(5, plat::kSeekSet), 5);
        EXPECT_TRUE(out.writeAll("z", 1));  // past the end: the gap reads as zeros
    }
    size_t size = 0;
    const uint8_t *p = plat::memFileData(name, &size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Bytes(p, p + size), (Bytes{'a', 'b', 'c', 0, 0, 'z'}));
    plat::File open;
    ASSERT_TRUE(open.open(name));
    EXPECT_TRUE(plat::fileDelete(name));
    EXPECT_EQ(plat::memFileData(name, &size), nullptr);
    uint8_t first = 0;
    EXPECT_EQ(open.read(&first, 1), 1);  // an open handle keeps the bytes of a deleted file
    EXPECT_EQ(first, 'a');
    EXPECT_TRUE(open.close());
    EXPECT_EQ(plat::fileOpen(name, plat::kOpenRead), vc::kFileError);  // gone, and not on disk either
}

TEST_F(Ground, FileWindowReadsAcrossRefillsAndSkipsPastTheEnd) {
    Bytes data(3 * vc::FileWindow::kSize + 100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + i / 256);
    const char *name = "/mapped/window.bin";
    plat::memFileMap(name, data.data(), data.size());
    plat::File f;
    ASSERT_TRUE(f.open(name));
    vc::FileWindow w(f.handle());
    uint8_t b = 0;
    ASSERT_TRUE(w.byte(b));
    w.skip(vc::FileWindow::kSize - 10);  // inside the first window
    vc::ByteReader r = w.take(20);       // straddles the refill
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.size(), 20u);
    const uint8_t *span = r.span(20);
    ASSERT_NE(span, nullptr);
    EXPECT_EQ(Bytes(span, span + 20), Bytes(data.begin() + vc::FileWindow::kSize - 9, data.begin() + vc::FileWindow::kSize + 11));
    EXPECT_EQ(w.tell(), int64_t(vc::FileWindow::kSize + 11));
    ASSERT_TRUE(w.seek(2 * vc::FileWindow::kSize + 5));
    ASSERT_TRUE(w.byte(b));
    EXPECT_EQ(b, data[2 * vc::FileWindow::kSize + 5]);
    w.skip(vc::FileWindow::kSize + 1000);  // beyond the end: allowed, the next read comes back short
    EXPECT_FALSE(w.byte(b));
    EXPECT_FALSE(w.take(4).ok());
    ASSERT_TRUE(w.seek(data.size() - 2));
    EXPECT_TRUE(w.sync());
    EXPECT_EQ(f.position(), int32_t(data.size() - 2));
    plat::memFileUnmap(name);
}

TEST_F(Ground, OwnersGiveBackWhatTheyHoldUnlessHandedOver) {
    const long before = plat::memLiveBlocks();
    vc::MemHandle kept;
    {
        plat::Block a, b;
        ASSERT_TRUE(a.alloc(64));
        ASSERT_TRUE(b.alloc(32));
        EXPECT_EQ(a.data()[63], 0);
        a.data()[0] = 42;
        ASSERT_TRUE(a.resize(4096));
        EXPECT_EQ(a.data()[0], 42);
        EXPECT_EQ(a.size(), 4096u);
        kept = a.release();
        EXPECT_EQ(plat::memLiveBlocks(), before + 2);
        plat::memFailAt(1);
        EXPECT_FALSE(b.alloc(8));  // a refused allocation leaves nothing held
        EXPECT_FALSE(b);
    }
    EXPECT_EQ(plat::memLiveBlocks(), before + 1);
    {
        plat::Lock lock(kept);
        ASSERT_TRUE(lock);
        EXPECT_EQ(lock.data()[0], 42);
        plat::Block adopted(kept);  // freed at the end of the scope, after the lock goes
        lock.unlock();
    }
    EXPECT_EQ(plat::memLiveBlocks(), before);
    EXPECT_EQ(plat::memSize(kept), 0u);

    struct Doc {
        uint16_t code;
        uint8_t rest[30];
    };
    plat::Block small;
    ASSERT_TRUE(small.alloc(sizeof(Doc) - 1));
    EXPECT_FALSE(plat::DocumentLock<Doc>(small.handle()));  // too small to be the record
}

Bytes storedBitmap(bool core, uint16_t bits, int32_t w, int32_t h, uint32_t used = 0) {
    Bytes b;
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(i < 4 ? uint8_t(v >> (8 * i)) : 0);
    };
    const uint32_t entries = bits <= 8 ? (used ? used : 1u << bits) : used;
    if (core) {
        put(12, 4), put(uint32_t(w), 2), put(uint32_t(h), 2), put(1, 2), put(bits, 2);
    } else {
        put(40, 4), put(uint32_t(w), 4), put(uint32_t(h), 4), put(1, 2), put(bits, 2);
        put(0, 4 * 4), put(used, 4), put(0, 4);
    }
    for (uint32_t i = 0; i < entries; ++i) {
        put(0x102030 + i, 3);
        if (!core) put(0, 1);
    }
    const size_t rows = size_t(((uint64_t(w) * bits + 31) / 32) * 4 * uint64_t(h));
    for (size_t i = 0; i < rows; ++i) b.push_back(uint8_t(i + 1));
    return b;
}

TEST_F(Ground, StoredBitmapsOfBothHeaderKindsBecomeImageBlocks) {
    struct Case {
        const char *what;
        Bytes stored;
        bool ok;
    } cases[] = {
        {"core 4 bits", storedBitmap(true, 4, 3, 2), true},
        {"core 24 bits", storedBitmap(true, 24, 5, 3), true},
        {"info 8 bits, 3 colours", storedBitmap(false, 8, 4, 4, 3), true},
        {"info 1 bit", storedBitmap(false, 1, 33, 2), true},
        {"info 16 bits", storedBitmap(false, 16, 2, 2), false},
        {"info 8 bits, 257 colours", storedBitmap(false, 8, 2, 2, 257), false},
        {"rows cut short", [] { Bytes b = storedBitmap(true, 8, 4, 4); b.pop_back(); return b; }(), false},
        {"header cut short", Bytes{12, 0, 0, 0, 4, 0}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        plat::Block dib = vc::packedDibFromStored(vc::ByteReader(c.stored.data(), c.stored.size()));
        ASSERT_EQ(bool(dib), c.ok);
        if (!c.ok) continue;
        ConvBitmapInfoHeader h;
        std::memcpy(&h, dib.data(), sizeof h);
        ASSERT_TRUE(vc::dibHeaderUsable(h, dib.size()));
        EXPECT_EQ(dib.size(), vc::dibPackedSize(h));
        const uint32_t entries = vc::dibColorCount(h);
        // First colour as stored (blue, green, red), the quad's fourth byte 0.
        if (entries) {
            EXPECT_EQ(vc::loadLe32(dib.data() + 40), 0x102030u);
        }
        // The rows follow the table unchanged.
        EXPECT_EQ(dib.data()[vc::dibBitsOffset(h)], 1);
        EXPECT_EQ(dib.data()[dib.size() - 1], c.stored.back());
    }
}

TEST_F(Ground, LoweredLimitsRefuseLargerPictures) {
    vc::Limits lowered;
    lowered.largestPicture = 100;
    plat::setLimits(lowered);
    EXPECT_FALSE(vc::makePackedDib({.width = 11, .height = 10, .bitCount = 8}));
    plat::Block fits = vc::makePackedDib({.width = 10, .height = 10, .bitCount = 8});
    EXPECT_TRUE(fits);
    lowered.largestBlock = 64;
    plat::setLimits(lowered);
    plat::Block refused;
    EXPECT_FALSE(refused.alloc(65));  // the platform's blocks honour the limit too
}

}  // namespace
