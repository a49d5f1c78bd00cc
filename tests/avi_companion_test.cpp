// The AVI companion library (VELMVFW32.so over FFmpeg), through its
// functions as the plug-in finds them beside itself. AVI files written by
// FFmpeg's command-line tool are read frame for frame and compared with
// FFmpeg's own decoding; what the companion writes is checked by ffprobe
// and decoded by ffmpeg.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "common/bytes.h"
#include "support/library_test.h"
#include "vfw/velmvfw.h"
#include "vfw/velmvfw_linux.h"

namespace {

using vc::loadLe32;
using Bytes = std::vector<uint8_t>;

bool sh(const std::string &cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }
std::string out(const std::string &cmd) {
    std::string text;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
        pclose(p);
    }
    return text;
}
Bytes slurp(const std::string &name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// A packed DIB's pixels as top-down BGR rows.
Bytes dibToBgr(const uint8_t *dib) {
    const int32_t w = int32_t(loadLe32(dib + 4)), h = int32_t(loadLe32(dib + 8));
    const int bits = vc::loadLe16(dib + 14);
    const uint32_t colours = bits == 8 ? (loadLe32(dib + 32) ? loadLe32(dib + 32) : 256) : 0;
    const uint8_t *pal = dib + 40, *pix = pal + 4 * colours;
    const size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
    Bytes bgr;
    for (int32_t y = h - 1; y >= 0; --y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t *p = bits == 8 ? pal + 4 * pix[size_t(y) * stride + size_t(x)] : pix + size_t(y) * stride + 3 * size_t(x);
            bgr.insert(bgr.end(), p, p + 3);
        }
    return bgr;
}

// The ticks of the video packets ffprobe sees (empty chunks carry none).
std::vector<int64_t> packetTicks(const std::string &file) {
    std::vector<int64_t> ticks;
    std::string text = out("ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 " + file);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (at < end && std::isdigit(uint8_t(text[at]))) ticks.push_back(std::stoll(text.substr(at, end - at)));
        at = end + 1;
    }
    return ticks;
}

// FFmpeg's decoding of the file: the pictures with their ticks.
std::map<int64_t, Bytes> ffmpegFrames(const std::string &file, size_t frameBytes) {
    const std::string raw = file + ".raw";
    std::map<int64_t, Bytes> frames;
    if (!sh("ffmpeg -v error -y -i " + file + " -map 0:v -fps_mode passthrough -f rawvideo -pix_fmt bgr24 " + raw))
        return frames;
    Bytes all = slurp(raw);
    size_t k = 0;
    for (int64_t tick : packetTicks(file)) {
        if ((k + 1) * frameBytes > all.size()) break;
        frames[tick] = Bytes(all.begin() + long(k * frameBytes), all.begin() + long((k + 1) * frameBytes));
        ++k;
    }
    return frames;
}

long residentKb() {
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int gCodecChoice = 0;
intptr_t answerCompression(void *, VfwDialogModel *model) {
    if (model->templateId() != VFW_COMPRESS_TEMPLATE || !model->select(VFW_COMPRESS_LIST, gCodecChoice)) return 2;
    if (model->setText(VFW_COMPRESS_QUALITY, "0") && model->pressOk()) return 0;  // refused: 1 to 100
    model->setText(VFW_COMPRESS_QUALITY, "90");
    return model->pressOk() ? model->result() : 2;
}

class AviCompanion : public vctest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        lib_ = vc::plat::loadLibraryBeside("VELMVFW32.DLL");
        if (!lib_) GTEST_SKIP() << "no AVI companion library in this build (FFmpeg's libraries not found)";
        if (!sh("ffmpeg -version") || !sh("ffprobe -version")) GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
        open = fn<OpenAviFileFn>("OpenAviFile");
        close = fn<CloseAviFileFn>("CloseAviFile");
        info = fn<GetAviFileInfoFn>("GetAviFileInfo");
        frame = fn<GetAviFrameFn>("GetAviFrame");
        create = fn<CreateAviFileFn>("CreateAviFile");
        init = fn<InitAviStreamWriteFn>("InitAviStreamWrite");
        write = fn<WriteAviFrameFn>("WriteAviFrame");
        merge = fn<MergeSoundFileFn>("MergeSoundFile");
        fn<VfwBindHostFn>(VFW_BIND_HOST)(answerCompression);
    }
    void TearDown() override {
        if (lib_) vc::plat::freeLibrary(lib_);
        LibraryTest::TearDown();
    }
    template <class F> F fn(const char *name) {
        auto f = reinterpret_cast<F>(vc::plat::libraryProc(lib_, name));
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    // A file FFmpeg writes from its test pattern.
    std::string ffmpegAvi(const std::string &name, const std::string &args, int frames, const char *size = "32x24") {
        std::string base = name;
        std::replace(base.begin(), base.end(), ' ', '_');
        const std::string file = path(base + ".avi");
        EXPECT_TRUE(sh("ffmpeg -v error -y -f lavfi -i testsrc=r=12:s=" + std::string(size) + " -f lavfi -i sine=f=440 " +
                       args + " -frames:v " + std::to_string(frames) + " " + file));
        return file;
    }
    // Every frame (then some backwards) against FFmpeg's decoding: frame i
    // is the picture of the latest tick at or before i.
    void expectFramesMatch(const std::string &file, int expectedCount) {
        VfwFile f = open(file.c_str());
        ASSERT_NE(f, 0u);
        VfwFileInfo fi{};
        info(f, &fi);
        EXPECT_EQ(int(fi.frameCount), expectedCount);
        EXPECT_EQ(fi.rate, 12);
        auto ref = ffmpegFrames(file, size_t(fi.width) * fi.height * 3);
        ASSERT_FALSE(ref.empty());
        std::vector<int> order;
        for (int i = 0; i < int(fi.frameCount); ++i) order.push_back(i);
        for (int i : {int(fi.frameCount) - 1, 0, int(fi.frameCount) / 2, 1}) order.push_back(std::min(i, int(fi.frameCount) - 1));
        for (int i : order) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const uint8_t *dib = static_cast<const uint8_t *>(frame(f, i));
            ASSERT_NE(dib, nullptr);
            EXPECT_EQ(loadLe32(dib + 4), fi.width);
            auto it = std::prev(ref.upper_bound(i));
            EXPECT_TRUE(dibToBgr(dib) == it->second);
        }
        EXPECT_EQ(frame(f, int32_t(fi.frameCount)), nullptr);
        EXPECT_EQ(frame(f, -1), nullptr);
        close(f);
    }

    void *lib_ = nullptr;
    OpenAviFileFn open;
    CloseAviFileFn close;
    GetAviFileInfoFn info;
    GetAviFrameFn frame;
    CreateAviFileFn create;
    InitAviStreamWriteFn init;
    WriteAviFrameFn write;
    MergeSoundFileFn merge;
};

TEST_F(AviCompanion, FilesFfmpegWritesImportFrameForFrame) {
    struct Row {
        const char *name, *args;
        int frames, ticks;
        const char *size;
    } rows[] = {
        {"pal8", "-c:v rawvideo -pix_fmt pal8 -an", 30, 30, "33x24"},
        {"bgr24", "-c:v rawvideo -pix_fmt bgr24 -an", 30, 30, "33x24"},
        {"one frame", "-c:v rawvideo -pix_fmt bgr24 -an", 1, 1, "33x24"},
        {"msvideo1", "-c:v msvideo1 -an", 30, 30, "32x24"},
        {"cinepak", "-c:v cinepak -an", 30, 30, "32x24"},
        {"mjpeg", "-c:v mjpeg -pix_fmt yuvj420p -an", 30, 30, "32x24"},
        {"msvideo1 with sound", "-c:v msvideo1 -c:a pcm_s16le -shortest", 30, 30, "32x24"},
        // Ticks 2, 4 and 5 dropped: the pictures before them held.
        {"held frames", "-c:v rawvideo -pix_fmt bgr24 -an -vf select='not(eq(n\\,2)+eq(n\\,4)+eq(n\\,5))' -fps_mode passthrough", 9, 12, "33x24"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        expectFramesMatch(ffmpegAvi(r.name, r.args, r.frames, r.size), r.ticks);
    }
    if (out("ffmpeg -v error -encoders").find(" msrle ") != std::string::npos)
        expectFramesMatch(ffmpegAvi("msrle", "-c:v msrle -pix_fmt pal8 -an", 30), 30);
    else
        std::printf("MS-RLE row left out: this ffmpeg has no MS-RLE encoder\n");
}

// 40000 frames: counted, and read one after the other without memory
// growing with them.
TEST_F(AviCompanion, LongFileReadsWithFlatMemory) {
    const std::string file = path("long.avi");
    ASSERT_TRUE(sh("ffmpeg -v error -y -f lavfi -i testsrc=r=25:s=8x8:d=1600 -c:v rawvideo -pix_fmt pal8 " + file));
    VfwFile f = open(file.c_str());
    ASSERT_NE(f, 0u);
    VfwFileInfo fi{};
    info(f, &fi);
    EXPECT_EQ(fi.frameCount, 40000u);
    long base = 0;
    for (int i = 0; i < 40000; ++i) {
        if (!frame(f, i)) FAIL() << "frame " << i;
        if (i == 2000) base = residentKb();
    }
#ifndef __SANITIZE_ADDRESS__  // its quarantine keeps freed packet buffers
    EXPECT_LT(residentKb() - base, 1024) << "memory grew while reading";
#endif
    EXPECT_NE(frame(f, 20000), nullptr);
    close(f);
}

TEST_F(AviCompanion, WrittenFilesReadBackByFfprobeAndFfmpeg) {
    // Delays 1, 2, 3 at 12 per second: frames at ticks 0, 1, 3 and the
    // last again at 5, the ticks between dropped (the picture held).
    struct Row {
        const char *name;
        uint16_t bits;
        int codec;
        const char *codecName;
        int tolerance;  // mean difference per channel the codec may leave
        bool sound;
    } rows[] = {
        {"8-bit", 8, 0, "rawvideo", 0, false},
        {"24-bit with sound", 24, 0, "rawvideo", 0, true},
        {"MS Video 1", 24, 1, "msvideo1", 12, false},
        {"Cinepak", 24, 2, "cinepak", 12, false},
        {"MS Video 1 from 8 bits", 8, 1, "msvideo1", 12, false},
        {"Motion JPEG", 24, 3, "mjpeg", 12, true},
    };
    const std::string wave = path("tone.wav");
    ASSERT_TRUE(sh("ffmpeg -v error -y -f lavfi -i sine=f=300:d=2 -ac 2 -ar 22050 -c:a pcm_u8 " + wave));
    const int32_t w = 36, h = 20, positions[] = {0, 1, 3, 5};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        const size_t stride = ((size_t(w) * r.bits + 31) / 32) * 4;
        Bytes header(40 + (r.bits == 8 ? 1024 : 0));
        vc::storeLe32(header.data(), 40);
        vc::storeLe32(header.data() + 4, w);
        vc::storeLe32(header.data() + 8, h);
        vc::storeLe16(header.data() + 12, 1);
        vc::storeLe16(header.data() + 14, r.bits);
        for (size_t c = 0; 40 + 4 * c < header.size(); ++c) vc::storeLe32(header.data() + 40 + 4 * c, uint32_t(c * 0x010101));
        const std::string file = path("written" + std::to_string(&r - rows) + ".avi");
        VfwCreateParams params{12, uint32_t(stride * h), 0, 0, uint16_t(r.bits > 8)};
        VfwFile f = create(file.c_str(), &params, header.data());
        ASSERT_NE(f, 0u);
        gCodecChoice = r.codec;
        fn<ShowCompressOptionsDlgFn>("ShowCompressOptionsDlg")(f, nullptr);
        ASSERT_TRUE(init(f, header.data(), uint32_t(header.size()), 1));
        std::vector<Bytes> written;
        for (int k = 0; k < 4; ++k) {
            Bytes bits(stride * h);
            for (size_t i = 0; i < bits.size(); ++i) bits[i] = uint8_t((i % stride) * 5 / 4 + (i / stride) * 3 + k * 50);
            VfwFrameRecord rec{positions[k], 1, bits.data(), uint32_t(bits.size()), nullptr};
            ASSERT_TRUE(write(f, &rec));
            Bytes dib = header;
            dib.insert(dib.end(), bits.begin(), bits.end());
            written.push_back(dibToBgr(dib.data()));
        }
        VfwFrameRecord early{4, 1, written[0].data(), uint32_t(stride * h), nullptr};
        EXPECT_FALSE(write(f, &early));  // ticks only go forward
        EXPECT_FALSE(merge(f, file.c_str(), 6, 12)) << "not a WAVE file";
        if (r.sound) {
            EXPECT_TRUE(merge(f, wave.c_str(), 6, 12));
        }
        close(f);

        EXPECT_EQ(out("ffprobe -v error -select_streams v -show_entries stream=codec_name,r_frame_rate,nb_frames -of csv=p=0 " + file),
                  std::string(r.codecName) + ",12/1,6\n");
        EXPECT_EQ(packetTicks(file), std::vector<int64_t>({0, 1, 3, 5}));
        EXPECT_EQ(out("ffprobe -v error -select_streams a -show_entries stream=nb_frames,sample_rate -of csv=p=0 " + file),
                  r.sound ? "22050,11025\n" : "");
        auto ref = ffmpegFrames(file, size_t(w) * h * 3);
        VfwFile back = open(file.c_str());
        ASSERT_NE(back, 0u);
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(ref.count(positions[k]), 1u);
            const Bytes &got = ref[positions[k]];
            long diff = 0;
            for (size_t i = 0; i < got.size(); ++i) diff += std::abs(int(got[i]) - int(written[size_t(k)][i]));
            EXPECT_LE(diff / long(got.size()), r.tolerance) << "frame " << k;
            const void *mine = frame(back, positions[k]);
            ASSERT_NE(mine, nullptr);
            EXPECT_TRUE(dibToBgr(static_cast<const uint8_t *>(mine)) == got);
        }
        close(back);
    }
}

// A full disk: the frame that does not fit gives 0, and the file keeps the
// frames before it, readable.
TEST_F(AviCompanion, FullDiskKeepsTheFramesWritten) {
    const std::string file = path("full.avi");
    Bytes header(40);
    vc::storeLe32(header.data(), 40);
    vc::storeLe32(header.data() + 4, 64);
    vc::storeLe32(header.data() + 8, 32);
    vc::storeLe16(header.data() + 12, 1);
    vc::storeLe16(header.data() + 14, 24);
    Bytes bits(64 * 32 * 3, 0x5A);
    VfwCreateParams params{10, uint32_t(bits.size()), 0, 0, 1};
    VfwFile f = create(file.c_str(), &params, header.data());
    ASSERT_TRUE(f && init(f, header.data(), 40, 0));
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{}, small{};
    getrlimit(RLIMIT_FSIZE, &saved);
    small = saved;
    small.rlim_cur = 4096 + 12 + 5 * (bits.size() + 8) + 100;
    setrlimit(RLIMIT_FSIZE, &small);
    int written = 0;
    for (VfwFrameRecord rec{0, 1, bits.data(), uint32_t(bits.size()), nullptr}; write(f, &rec); ++rec.position) ++written;
    close(f);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(written, 5);
    EXPECT_EQ(out("ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 " + file), "5\n");
}

// Damaged and lying files open or not, but every frame asked of them is a
// whole picture of the file's size or none.
TEST_F(AviCompanion, HostileFilesNeverCrash) {
    const Bytes good = slurp(ffmpegAvi("base", "-c:v rawvideo -pix_fmt pal8 -an", 30, "16x16"));
    ASSERT_GT(good.size(), 9000u);
    auto find = [&](const Bytes &b, const char *id) {
        return size_t(std::search(b.begin(), b.end(), id, id + 4) - b.begin());
    };
    auto patched = [&](const char *id, size_t offset, uint32_t value) {
        Bytes b = good;
        vc::storeLe32(b.data() + find(b, id) + offset, value);
        return b;
    };
    Bytes noIndex(good.begin(), good.begin() + long(find(good, "idx1")));
    Bytes lyingNoIndex = noIndex;
    vc::storeLe32(lyingNoIndex.data() + find(noIndex, "strh") + 8 + 32, 5000);
    Bytes zeroSized = good;
    for (size_t at = find(good, "idx1") + 8; at + 16 <= good.size(); at += 16) vc::storeLe32(zeroSized.data() + at + 12, 0);
    struct Row {
        const char *name;
        Bytes bytes;
        int count;  // -1: not opened; -2: any
    } rows[] = {
        {"whole", good, 30},
        {"cut in the frames", Bytes(good.begin(), good.begin() + long(good.size() / 2)), -2},
        {"cut in the headers", Bytes(good.begin(), good.begin() + 200), -1},
        {"no index", noIndex, 30},
        {"lying length", patched("strh", 8 + 32, 0x7FFFFFF0), 30},
        {"lying length, no index", lyingNoIndex, 5000},
        {"huge width", patched("strf", 8 + 4, 60000), -2},
        {"huge height", patched("strf", 8 + 8, 0x7FFFFFFF), -1},
        {"zero-sized frames", zeroSized, -2},
        {"index past the end", patched("idx1", 8 + 8, 0x7FFFFF00), -2},
    };
    std::mt19937 rng(12);
    std::vector<Row> all(std::begin(rows), std::end(rows));
    for (int k = 0; k < 40; ++k) {
        Bytes b = good;
        for (int n = 0; n < 6; ++n) b[rng() % 2200] = uint8_t(rng());
        all.push_back({"flipped header bytes", b, -2});
    }
    for (const Row &r : all) {
        SCOPED_TRACE(r.name);
        const std::string file = writeFile("hostile.avi", r.bytes);
        VfwFile f = open(file.c_str());
        if (r.count == -1) {
            EXPECT_EQ(f, 0u);
        }
        if (!f) continue;
        VfwFileInfo fi{};
        info(f, &fi);
        if (r.count >= 0) {
            EXPECT_EQ(int(fi.frameCount), r.count);
        }
        int had = 0;
        for (int64_t i : {int64_t(0), int64_t(29), int64_t(3), int64_t(4999), int64_t(fi.frameCount) - 1, int64_t(1)}) {
            const uint8_t *dib = static_cast<const uint8_t *>(frame(f, int32_t(i)));
            if (!dib) continue;
            ++had;
            EXPECT_EQ(loadLe32(dib + 4), fi.width);
            EXPECT_EQ(loadLe32(dib + 8), fi.height);
        }
        if (r.count == 30 || r.count == 5000) {
            EXPECT_EQ(had, r.count == 30 ? 5 : 4) << "frames past the data are not had";
        }
        close(f);
    }
}

}  // namespace
