// The still formats' cores run from memory: on real files and on every
// cut and damaged copy of them they give what the importer hands the
// editor (the same result, the same picture); what they write reads back
// and is what the save writes; progress can stop them; the limits they
// keep are the request's; and several threads run them at once with the
// results of one.
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "codecs/jpeg_core.h"
#include "codecs/pcx_core.h"
#include "codecs/tiff_core.h"
#include "still_support.h"
#include "stills/tiff.h"

using namespace stilltest;

namespace {

struct Core {
    const char *name;
    uint8_t code;
    const char *extension;
    vc::Result (*decode)(std::span<const uint8_t>, const vc::CoreRequest &, vc::Picture &);
    vc::Result (*decodeInto)(std::span<const uint8_t>, const vc::CoreRequest &, vc::Picture &, const vc::RowsTarget &);
    std::function<vc::Result(const vc::Picture &, const vc::CoreRequest &, Bytes &)> encode;
    bool (*looksLike)(std::span<const uint8_t>);
    std::vector<std::string> realFiles;
    std::vector<uint16_t> depths;  // written; the first is the one every core takes
    bool lossless = true;
    bool encodeReports = true, decodeReports = true;  // progress
};
void PrintTo(const Core &c, std::ostream *os) { *os << c.name; }

void fixedClock(int &y, int &mo, int &d, int &h, int &mi, int &s) { y = 2026, mo = 3, d = 4, h = 5, mi = 6, s = 7; }

const std::string kGo = "/usr/share/gocode/src/golang.org/x/image/testdata/";
const std::string kSample = "/usr/libexec/installed-tests/SDL2_image/sample.";

const Core kCores[] = {
    {"pcx", CONV_FMT_PCX, ".pcx", vc::decodePcx, vc::decodePcx,
     [](const vc::Picture &p, const vc::CoreRequest &r, Bytes &out) { return vc::encodePcx(p, r, out); },
     vc::looksLikePcx, {kSample + "pcx", "/usr/share/games/heroes/tilesets/level09.pcx"}, {24, 1, 4, 8}, true, true, false},
    {"tiff", CONV_FMT_TIFF, ".tif", vc::decodeTiff, vc::decodeTiff,
     [](const vc::Picture &p, const vc::CoreRequest &r, Bytes &out) {
         vc::TiffWriteOptions o;
         o.clock = fixedClock;
         return vc::encodeTiff(p, o, r, out);
     },
     vc::looksLikeTiff,
     {kSample + "tif", kGo + "video-001-uncompressed.tiff", kGo + "blue-purple-pink.lzwcompressed.tiff",
      kGo + "bw-packbits.tiff", kGo + "video-001-gray.tiff", kGo + "video-001-paletted.tiff",
      kGo + "video-001-strip-64.tiff", kGo + "video-001.tiff", kGo + "no_rps.tiff"},
     {24, 1, 4, 8}},
    {"jpeg", CONV_FMT_JPEG, ".jpg", vc::decodeJpeg, vc::decodeJpeg,
     [](const vc::Picture &p, const vc::CoreRequest &r, Bytes &out) { return vc::encodeJpeg(p, r, out); },
     vc::looksLikeJpeg, {kSample + "jpg", kGo + "go-turns-two-280x360.jpeg"}, {24}, false, false, false},
};

class StillCore : public StillTest, public ::testing::WithParamInterface<Core> {
protected:
    void SetUp() override {
        StillTest::SetUp();
        code = GetParam().code;
        vc::tiff::setClock(fixedClock);
    }
    void TearDown() override {
        vc::tiff::setClock(nullptr);
        StillTest::TearDown();
    }
    std::vector<Bytes> realFiles() {
        std::vector<Bytes> files;
        for (const std::string &f : GetParam().realFiles)
            if (std::filesystem::exists(f)) files.push_back(readBytes(f));
        return files;
    }
    // The importer's result and block against the core's on the same bytes.
    void sameAsImporter(const Bytes &file, const std::string &what) {
        SCOPED_TRACE(what);
        vc::Picture p;
        const vc::Result r = GetParam().decode(file, vc::CoreRequest{}, p);
        const int32_t imported = load(file);
        if (r == vc::Result::notFormat) {  // the importer is not reached: the detection says so
            EXPECT_FALSE(GetParam().looksLike(file));
            return;
        }
        ASSERT_EQ(vc::toConvResult(r), imported) << vc::resultName(r);
        if (r != vc::Result::ok) return;
        ASSERT_TRUE(p.consistent());
        EXPECT_EQ(std::tuple(p.width, p.height, p.bitCount, p.xPelsPerMeter, p.yPelsPerMeter),
                  std::tuple(header.biWidth, header.biHeight, header.biBitCount, header.biXPelsPerMeter,
                             header.biYPelsPerMeter));
        const uint8_t *table = block.data() + 40, *bits = block.data() + vc::dibBitsOffset(header);
        EXPECT_EQ(Bytes(table, bits), Bytes(reinterpret_cast<const uint8_t *>(p.palette.data()),
                                            reinterpret_cast<const uint8_t *>(p.palette.data() + p.palette.size())));
        EXPECT_EQ(Bytes(bits, bits + (block.size() - (bits - block.data()))), p.pixels);
    }
};

vc::Picture patterned(int32_t w, int32_t h, uint16_t bits) {
    vc::Picture p;
    p.width = w, p.height = h, p.bitCount = bits;
    p.xPelsPerMeter = 3937, p.yPelsPerMeter = 2953;
    if (bits <= 8)
        for (uint32_t i = 0; i < (1u << bits); ++i) p.palette.push_back({uint8_t(i * 7), uint8_t(255 - i), uint8_t(i), 0});
    p.pixels.resize(p.rowBytes() * h);
    const uint64_t used = (uint64_t(w) * bits + 7) / 8;  // bytes of a row that are pixels
    for (int32_t y = 0; y < h; ++y)
        for (uint64_t x = 0; x < used; ++x) p.rowFromTop(y)[x] = uint8_t((x * x + y * 3) / 5 + y);
    if (bits < 8 && (uint64_t(w) * bits) % 8)  // bits past the width are not the picture
        for (int32_t y = 0; y < h; ++y) p.rowFromTop(y)[used - 1] &= uint8_t(0xFF00 >> (uint64_t(w) * bits % 8));
    return p;
}

TEST_P(StillCore, RealCutAndDamagedFilesGiveWhatTheImporterGives) {
    const std::vector<Bytes> files = realFiles();
    if (files.empty()) GTEST_SKIP() << "needs the sample pictures of the Debian packages (golang-x-image, SDL2_image tests)";
    std::mt19937 random(37);
    for (size_t i = 0; i < files.size(); ++i) {
        const Bytes &f = files[i];
        const std::string name = GetParam().realFiles[i];
        sameAsImporter(f, name);
        for (size_t cut : {size_t(0), size_t(3), size_t(8), f.size() / 3, f.size() - 1})
            sameAsImporter(Bytes(f.begin(), f.begin() + long(std::min(cut, f.size()))), name + " cut");
        for (int n = 0; n < 12; ++n) {
            Bytes d = f;
            for (int k = 0; k < 4; ++k) d[random() % std::min<size_t>(d.size(), 512)] = uint8_t(random());
            sameAsImporter(d, name + " damaged " + std::to_string(n));
        }
    }
}

TEST_P(StillCore, WhatItWritesReadsBackAndIsWhatTheSaveWrites) {
    for (uint16_t bits : GetParam().depths)
        for (auto [w, h] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{300, 41}}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(w) + "x" + std::to_string(h));
            const vc::Picture p = patterned(w, h, bits);
            Bytes written;
            ASSERT_EQ(GetParam().encode(p, vc::CoreRequest{}, written), vc::Result::ok);
            EXPECT_TRUE(GetParam().looksLike(written));
            vc::Picture back;
            ASSERT_EQ(GetParam().decode(written, vc::CoreRequest{}, back), vc::Result::ok);
            EXPECT_EQ(std::tuple(back.width, back.height, back.bitCount), std::tuple(w, h, bits));
            if (GetParam().lossless) {
                EXPECT_EQ(back.pixels, p.pixels);
            }
            if (bits > 1) {  // bilevel files keep no colours
                EXPECT_EQ(back.palette, p.palette);
            }

            // The save of the same picture as an image block.
            ConvBitmapInfoHeader h0{40, w, h, 1, bits, 0, 0, 3937, 2953, 0, 0};
            Bytes dib(reinterpret_cast<uint8_t *>(&h0), reinterpret_cast<uint8_t *>(&h0) + 40);
            dib.insert(dib.end(), reinterpret_cast<const uint8_t *>(p.palette.data()),
                       reinterpret_cast<const uint8_t *>(p.palette.data() + p.palette.size()));
            dib.insert(dib.end(), p.pixels.begin(), p.pixels.end());
            ASSERT_EQ(save(dib, path("saved" + std::string(GetParam().extension))), CONV_OK);
            EXPECT_EQ(readBytes(path("saved" + std::string(GetParam().extension))), written);
        }
}

TEST_P(StillCore, ProgressStopsItAndTheLimitsAreTheRequests) {
    const vc::Picture p = patterned(64, 300, GetParam().depths[0]);
    Bytes written;
    ASSERT_EQ(GetParam().encode(p, vc::CoreRequest{}, written), vc::Result::ok);
    vc::Picture back;
    int calls = 0;
    vc::CoreRequest stop;
    stop.progress = {[](void *c, int32_t) { return ++*static_cast<int *>(c) < 3; }, &calls};
    Bytes none;
    EXPECT_EQ(GetParam().encode(p, stop, none) == vc::Result::cancelled, GetParam().encodeReports);
    calls = 0;
    EXPECT_EQ(GetParam().decode(written, stop, back) == vc::Result::cancelled, GetParam().decodeReports);
    vc::CoreRequest small;
    small.limits.largestPicture = 64 * 300 - 1;
    EXPECT_EQ(GetParam().decode(written, small, back), vc::Result::noMemory);
    small.limits = {};
    small.limits.largestBlock = p.pixels.size();
    EXPECT_EQ(GetParam().decode(written, small, back), vc::Result::noMemory);
    EXPECT_EQ(GetParam().decode(written, vc::CoreRequest{}, back), vc::Result::ok);
    // Rows the caller names and then refuses.
    const vc::RowsTarget refused{[](void *, const vc::Picture &) -> uint8_t * { return nullptr; }, nullptr};
    EXPECT_EQ(GetParam().decodeInto(written, vc::CoreRequest{}, back, refused), vc::Result::noMemory);
}

TEST_P(StillCore, ThreadsAtOnceGiveTheResultsOfOne) {
    std::vector<vc::Picture> pictures;
    for (int i = 0; i < 8; ++i) pictures.push_back(patterned(40 + 13 * i, 30 + 7 * i, GetParam().depths[i % GetParam().depths.size()]));
    struct Outcome {
        Bytes written;
        vc::Picture back;
        vc::Result r = vc::Result::damaged;
    };
    auto run = [&](size_t i, Outcome &o) {
        o.r = GetParam().encode(pictures[i], vc::CoreRequest{}, o.written);
        if (o.r == vc::Result::ok) o.r = GetParam().decode(o.written, vc::CoreRequest{}, o.back);
    };
    std::vector<Outcome> alone(pictures.size()), together(pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) run(i, alone[i]);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < pictures.size(); ++i) threads.emplace_back([&, i] { run(i, together[i]); });
    for (std::thread &t : threads) t.join();
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(together[i].r, vc::Result::ok);
        EXPECT_EQ(together[i].written, alone[i].written);
        EXPECT_EQ(together[i].back.pixels, alone[i].back.pixels);
    }
}

INSTANTIATE_TEST_SUITE_P(Stills, StillCore, ::testing::ValuesIn(kCores),
                         [](const auto &info) { return std::string(info.param.name); });

// TIFF: a compression the reader does not read is told before the picture
// is allocated (a picture past the limits still gives damage), and the
// reader's refusals come as the request's results.
TEST(TiffCore, CompressionIsCheckedBeforeThePictureAndRefusalsAreNamed) {
    vc::Picture p = patterned(16, 16, 8);
    Bytes file;
    ASSERT_EQ(vc::encodeTiff(p, {vc::tiff::kUncompressed}, vc::CoreRequest{}, file), vc::Result::ok);
    const uint32_t ifd = vc::loadLe32(file.data() + 4);
    vc::storeLe16(file.data() + ifd + 2 + 5 * 12 + 8, 7);  // Compression: JPEG
    vc::CoreRequest small;
    small.limits.largestPicture = 16;
    vc::Picture out;
    EXPECT_EQ(vc::decodeTiff(file, small, out), vc::Result::damaged);
    const std::pair<Bytes, vc::Result> cases[] = {
        {{'I', 'I', 42}, vc::Result::notFormat},
        {{'M', 'M', 0, 42}, vc::Result::notFormat},
        {{'I', 'I', 42, 0, 8, 0, 0, 0}, vc::Result::unsupported},
        {{'I', 'X', 42, 0, 8, 0, 0, 0}, vc::Result::notFormat},
    };
    for (const auto &[bytes, result] : cases) EXPECT_EQ(vc::decodeTiff(bytes, {}, out), result);
    p.bitCount = 32;
    p.pixels.resize(p.rowBytes() * 16);
    p.palette.clear();
    EXPECT_EQ(vc::encodeTiff(p, {}, file), vc::Result::unsupported);
    EXPECT_EQ(vc::encodeTiff(patterned(4, 4, 8), {2}, {}, file), vc::Result::unsupported);
}

// Without a clock of its own the writer stamps the file with the local
// time (the save's tests all install a fixed clock): the DateTime the core
// writes is the minute of the call, field by field.
TEST(TiffCore, ItsDateTimeIsTheLocalTimeOfTheWrite) {
    const auto minute = [] {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        char text[32];
        std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:", &t);
        return std::string(text);
    };
    const std::string before = minute();
    Bytes file;
    ASSERT_EQ(vc::encodeTiff(patterned(4, 4, 24), {}, file), vc::Result::ok);
    const std::string after = minute(), bytes(file.begin(), file.end());
    EXPECT_TRUE(bytes.find(before) != std::string::npos || bytes.find(after) != std::string::npos) << before;
}

}  // namespace
