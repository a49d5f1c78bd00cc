// The AVI companion library (VELMVFW32.so over FFmpeg), through its
// functions as the plug-in finds them beside itself. AVI files written by
// FFmpeg's command-line tool are read frame for frame and compared with
// FFmpeg's own decoding (avi_tool.py ref: per tick the picture a player
// shows); what the companion writes is checked by ffprobe and decoded by
// ffmpeg.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include "still_support.h"
#include "support/avi_pixels.h"
#include "support/library_test.h"
#include "vfw/velmvfw.h"
#include "vfw/velmvfw_linux.h"

namespace {

using namespace avitest;
using vc::loadLe32;
using stilltest::capture, stilltest::tool;

// FFmpeg's pictures of the file, one per tick.
Bytes reference(const std::string &file) {
    return tool(std::string("/usr/bin/python3 ") + VC_AVI_TOOL + " ref " + file + " " + file + ".ref") ? slurp(file + ".ref")
                                                                                                    : Bytes();
}
// The ticks of the video packets ffprobe sees (dropped frames have none).
std::string packetTicks(const std::string &file) {
    return capture("ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 " + file +
               " | grep -o '^[0-9]*' | tr '\\n' ' '");
}
long residentKb() {
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int gCodecChoice = 0;
intptr_t answerCompression(void *, VfwDialogModel *model) {
    if (model->templateId() != VFW_COMPRESS_TEMPLATE || !model->select(VFW_COMPRESS_LIST, gCodecChoice)) return 2;
    for (const char *bad : {"0", "101", "9x", "x"})  // refused: 1 to 100
        if (model->setText(VFW_COMPRESS_QUALITY, bad) && model->pressOk()) return 0;
    model->setText(VFW_COMPRESS_QUALITY, "90");
    return model->pressOk() ? model->result() : 2;
}

class AviCompanion : public vctest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        lib_ = vc::plat::loadLibraryBeside("VELMVFW32.DLL");
        if (!lib_) GTEST_SKIP() << "no AVI companion library in this build (FFmpeg's libraries not found)";
        if (!tool("ffmpeg -version >/dev/null && ffprobe -version >/dev/null")) GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
        fn<VfwBindHostFn>(VFW_BIND_HOST)(answerCompression);
        guard_ = static_cast<uint8_t *>(mmap(nullptr, room_ + page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ASSERT_TRUE(guard_ != MAP_FAILED && mprotect(guard_ + room_, page_, PROT_NONE) == 0);
    }
    void TearDown() override {
        if (lib_) vc::plat::freeLibrary(lib_);
        if (guard_) munmap(guard_, room_ + page_);
        LibraryTest::TearDown();
    }
    template <class F> F fn(const char *name) {
        auto f = reinterpret_cast<F>(vc::plat::libraryProc(lib_, name));
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    VfwFile open(const std::string &name) { return fn<OpenAviFileFn>("OpenAviFile")(name.c_str()); }
    const uint8_t *frame(VfwFile f, int64_t i) {
        return static_cast<const uint8_t *>(fn<GetAviFrameFn>("GetAviFrame")(f, int32_t(i)));
    }
    VfwFileInfo info(VfwFile f) {
        VfwFileInfo fi{};
        fn<GetAviFileInfoFn>("GetAviFileInfo")(f, &fi);
        return fi;
    }
    void close(VfwFile f) { fn<CloseAviFileFn>("CloseAviFile")(f); }
    // Every frame is handed to the companion with its last byte against a
    // page that cannot be read, so that a read past its end (FFmpeg's code
    // is not instrumented by the sanitizers) ends the process.
    bool write(VfwFile f, int32_t tick, const Bytes &bits) {
        uint8_t *const at = guard_ + room_ - bits.size();
        std::memcpy(at, bits.data(), bits.size());
        VfwFrameRecord rec{tick, 1, at, uint32_t(bits.size()), nullptr};
        return fn<WriteAviFrameFn>("WriteAviFrame")(f, &rec);
    }
    VfwFile create(const std::string &file, const VfwCreateParams *params, const uint8_t *header) {
        return fn<CreateAviFileFn>("CreateAviFile")(file.c_str(), params, header);
    }
    bool init(VfwFile f, const Bytes &header, size_t size = 0, bool compress = false) {
        return fn<InitAviStreamWriteFn>("InitAviStreamWrite")(f, header.data(), uint32_t(size ? size : header.size()), compress);
    }
    bool merge(VfwFile f, const char *wave, uint32_t ticks, uint32_t rate = 12) {
        return fn<MergeSoundFileFn>("MergeSoundFile")(f, wave, ticks, rate);
    }
    // A file with its stream begun, frames of w x h at bits, `rate` a second;
    // compressed with the codec chosen in the companion's dialog, if any.
    VfwFile stream(const std::string &file, const Bytes &header, int32_t w, int32_t h, int bits, uint16_t rate = 12, int codec = -1) {
        const VfwCreateParams params{rate, uint32_t(strideOf(w, bits) * size_t(h)), 0, 0, uint16_t(bits > 8)};
        const VfwFile f = create(file, &params, header.data());
        gCodecChoice = codec;
        if (f && codec >= 0) fn<ShowCompressOptionsDlgFn>("ShowCompressOptionsDlg")(f, nullptr);
        return f && init(f, header, 0, codec >= 0) ? f : 0;
    }
    // A file FFmpeg writes from its test pattern.
    std::string ffmpegAvi(std::string name, const std::string &args, int frames, const char *size) {
        std::replace(name.begin(), name.end(), ' ', '_');
        const std::string file = path(name + ".avi");
        EXPECT_TRUE(tool("ffmpeg -v error -y -f lavfi -i testsrc=r=12:s=" + std::string(size) + " -f lavfi -i sine=f=440 " +
                       args + " -frames:v " + std::to_string(frames) + " " + file));
        return file;
    }
    // One frame well into the file first, every frame in order, then some
    // backwards, against FFmpeg's pictures.
    void expectFramesMatch(const std::string &file, int ticks) {
        VfwFile f = open(file);
        ASSERT_NE(f, 0u);
        const VfwFileInfo fi = info(f);
        EXPECT_EQ(std::pair(int(fi.frameCount), int(fi.rate)), std::pair(ticks, 12));
        const Bytes ref = reference(file);
        const size_t size = size_t(fi.width) * fi.height * 3;
        ASSERT_EQ(ref.size(), size * fi.frameCount);
        std::vector<int64_t> order{int64_t(fi.frameCount) * 2 / 3};
        for (int64_t i = 0; i < fi.frameCount; ++i) order.push_back(i);
        for (int64_t i : {int64_t(fi.frameCount) - 1, int64_t(0), int64_t(fi.frameCount) / 2, int64_t(fi.frameCount) / 2 - 1, int64_t(1)})
            order.push_back(std::clamp<int64_t>(i, 0, fi.frameCount - 1));
        for (int64_t i : order) {
            const uint8_t *dib = frame(f, i);
            ASSERT_NE(dib, nullptr) << "frame " << i;
            EXPECT_TRUE(dibToBgr(dib) == Bytes(ref.begin() + long(size) * i, ref.begin() + long(size) * (i + 1))) << "frame " << i;
            EXPECT_EQ(vc::loadLe16(dib + 12), 1) << "planes of frame " << i;
        }
        EXPECT_EQ(frame(f, fi.frameCount), nullptr);
        EXPECT_EQ(frame(f, -1), nullptr);
        close(f);
    }

    // The file's own layout: the main and stream headers as written, and
    // every index entry naming a chunk of its id and size in the movi list;
    // the sound's chunks hold what its stream header counts.
    static void expectLayout(const std::string &file, uint32_t ticks, int32_t w, int32_t h, bool sound) {
        const Bytes b = stilltest::readBytes(file);
        const auto at = [&](const char *id) {
            const auto i = std::search(b.begin(), b.end(), id, id + 4);
            return i == b.end() ? size_t(0) : size_t(i - b.begin());
        };
        const auto u32 = [&](size_t i) { return i + 4 <= b.size() ? vc::loadLe32(&b[i]) : 0u; };
        const size_t avih = at("avih") + 8, vids = at("vids"), auds = at("auds"), movi = at("movi"), idx1 = at("idx1");
        ASSERT_TRUE(avih > 8 && vids && movi && idx1);
        EXPECT_EQ(std::vector<uint32_t>({u32(avih), u32(avih + 4), u32(avih + 16), u32(avih + 24), u32(avih + 32), u32(avih + 36)}),
                  std::vector<uint32_t>({1000000u / 12, u32(avih + 28) * 12, ticks, sound ? 2u : 1u, uint32_t(w), uint32_t(h)}));
        EXPECT_EQ(std::vector<uint32_t>({u32(vids - 4), u32(vids + 20), u32(vids + 24), u32(vids + 32)}),
                  std::vector<uint32_t>({56u, 1u, 12u, ticks}));
        uint64_t soundBytes = 0;
        for (size_t e = idx1 + 8; e + 16 <= idx1 + 8 + u32(idx1 + 4); e += 16) {
            const size_t chunk = movi + u32(e + 8);
            EXPECT_EQ(std::pair(u32(chunk), u32(chunk + 4)), std::pair(u32(e), u32(e + 12))) << "index entry " << (e - idx1 - 8) / 16;
            if (u32(e) == vc::loadLe32(reinterpret_cast<const uint8_t *>("01wb"))) soundBytes += u32(e + 12);
        }
        if (sound) {
            EXPECT_EQ(std::pair(u32(auds - 4), soundBytes), std::pair(56u, uint64_t(u32(auds + 32)) * u32(auds + 44)));
        }
    }

    void *lib_ = nullptr;
    const size_t page_ = size_t(sysconf(_SC_PAGESIZE)), room_ = 256 * page_;  // room for the largest frame
    uint8_t *guard_ = nullptr;
};

TEST_F(AviCompanion, FilesFfmpegWritesImportFrameForFrame) {
    const std::tuple<const char *, const char *, int, int, const char *> rows[] = {  // name, ffmpeg's arguments, frames, ticks, size
        {"pal8", "-c:v rawvideo -pix_fmt pal8 -an", 30, 30, "33x24"},
        {"bgr24", "-c:v rawvideo -pix_fmt bgr24 -an", 30, 30, "33x24"},
        {"one frame", "-c:v rawvideo -pix_fmt bgr24 -an", 1, 1, "33x24"},
        {"msvideo1", "-c:v msvideo1 -an", 30, 30, "32x24"},
        {"mjpeg", "-c:v mjpeg -pix_fmt yuvj420p -an", 30, 30, "36x20"},
        {"msvideo1 with sound", "-c:v msvideo1 -c:a pcm_s16le -shortest", 30, 30, "32x24"},
        // Stored out of display order (B-frames), key frames every 8.
        {"h264 b-frames", "-c:v libx264 -g 8 -an", 30, 30, "32x24"},
        {"mpeg4 b-frames", "-c:v mpeg4 -bf 2 -g 8 -an", 30, 30, "32x24"},
        // Ticks 2, 4 and 5 dropped: the pictures before them held.
        {"held frames", "-c:v rawvideo -pix_fmt bgr24 -an -vf select='not(eq(n\\,2)+eq(n\\,4)+eq(n\\,5))' -fps_mode passthrough", 9, 12, "33x24"},
    };
    for (const auto &[name, args, frames, ticks, size] : rows) {
        SCOPED_TRACE(name);
        expectFramesMatch(ffmpegAvi(name, args, frames, size), ticks);
    }
}

// 40000 frames: counted, and read one after the other without memory
// growing with them.
TEST_F(AviCompanion, LongFileReadsWithFlatMemory) {
    const std::string file = path("long.avi");
    ASSERT_TRUE(tool("ffmpeg -v error -y -f lavfi -i testsrc=r=25:s=8x8:d=1600 -c:v rawvideo -pix_fmt pal8 " + file));
    VfwFile f = open(file);
    ASSERT_NE(f, 0u);
    EXPECT_EQ(info(f).frameCount, 40000u);
    [[maybe_unused]] long base = 0;  // unused where the sanitizer keeps freed buffers
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
    // writeRamps: frames at ticks 0, 1, 3 and the last again at 5, the
    // ticks between dropped (the picture held). Bits, the codec chosen, its name, the mean difference per channel it
    // may leave, sound merged.
    const std::tuple<int, int, const char *, int, bool> rows[] = {
        {8, 0, "rawvideo", 0, false}, {24, 0, "rawvideo", 0, true}, {24, 1, "msvideo1", 12, false},
        {8, 1, "msvideo1", 12, false}, {24, 2, "cinepak", 12, false}, {24, 3, "mjpeg", 12, true},
    };
    const std::string wave = path("tone.wav");
    ASSERT_TRUE(tool("ffmpeg -v error -y -f lavfi -i sine=f=300:d=2 -ac 2 -ar 22050 -c:a pcm_u8 " + wave));
    const int32_t w = 36, h = 20;
    for (const auto &[bits, codec, codecName, tolerance, sound] : rows) {
        SCOPED_TRACE(std::string(codecName) + " from " + std::to_string(bits) + " bits");
        const Bytes header = dibHeader(w, h, bits);
        const std::string file = path(std::string("written_") + codecName + std::to_string(bits) + ".avi");
        VfwFile f = stream(file, header, w, h, bits, 12, codec);
        ASSERT_NE(f, 0u);
        const Bytes shown = writeRamps([&](int32_t t, const Bytes &pixels) { return write(f, t, pixels); }, header, w, h, bits);
        ASSERT_FALSE(shown.empty());
        EXPECT_FALSE(write(f, 4, rampPixels(w, h, bits, 0)));  // ticks only go forward
        EXPECT_FALSE(merge(f, file.c_str(), 6)) << "not a WAVE file";
        EXPECT_EQ(sound && merge(f, wave.c_str(), 6), sound);
        close(f);
        expectLayout(file, 6, w, h, sound);

        EXPECT_EQ(capture("ffprobe -v error -select_streams v -show_entries stream=codec_name,r_frame_rate,nb_frames -of csv=p=0 " + file),
                  std::string(codecName) + ",12/1,6\n");
        EXPECT_EQ(packetTicks(file), "0 1 3 5 ");
        // The sound, decoded at its 22050 a second (none without it), runs on to
        // the video's end: the tone, not silence, in its last samples.
        const std::string samples = capture("ffmpeg -v error -i " + file + " -map 0:a? -ar 22050 -f s16le - 2>/dev/null");
        ASSERT_EQ(samples.size(), sound ? 11025u * 4 : 0u);
        EXPECT_TRUE(!sound || samples.substr(samples.size() - 400) != std::string(400, '\0'));
        const Bytes ref = reference(file);
        ASSERT_EQ(ref.size(), shown.size());
        long diff = 0;
        for (size_t i = 0; i < ref.size(); ++i) diff += std::abs(int(ref[i]) - int(shown[i]));
        EXPECT_LE(diff / long(ref.size()), tolerance);
    }
}

// Calls the companion cannot follow end in 0 and change nothing: handles
// it did not give out or gave for the other direction, missing arguments,
// frame formats it does not write, writes out of order or short, sound
// before the stream or twice.
TEST_F(AviCompanion, CallsOutsideItsRulesAreRefused) {
    const Bytes header = dibHeader(8, 4, 8), bits = rampPixels(8, 4, 8, 0);
    const VfwCreateParams params{12, uint32_t(bits.size()), 0, 0, 0}, noRate{0, uint32_t(bits.size()), 0, 0, 0};
    const std::string name = path("refused.avi"), wave = path("tone.wav");
    ASSERT_TRUE(tool("ffmpeg -v error -y -f lavfi -i sine=d=1 " + wave));
    const auto patched = [&](size_t at, int64_t v) {
        Bytes h = header;
        at == 14 ? vc::storeLe16(h.data() + at, uint32_t(v)) : vc::storeLe32(h.data() + at, uint32_t(v));
        return h;
    };
    const Bytes badFormats[] = {patched(0, 39),    patched(0, 2000),        patched(4, 0),  patched(4, 70000),
                                patched(8, 0),     patched(8, -4),          patched(8, 70000), patched(16, 1),
                                patched(14, 2),    Bytes(header.begin(), header.begin() + 39)};
    for (const Bytes &h : badFormats) {
        VfwFile f = create(name, &params, header.data());
        EXPECT_FALSE(init(f, h)) << &h - badFormats;
        close(f);
    }
    Bytes huge = patched(4, 65535);  // frames of 2 GiB and more
    vc::storeLe32(huge.data() + 8, 65535), vc::storeLe16(huge.data() + 14, 32);
    VfwFile reader = open(ffmpegAvi("small", "-c:v rawvideo -pix_fmt pal8 -an", 2, "8x4"));
    VfwFile fresh = create(name, &params, header.data()), w = stream(path("ok.avi"), header, 8, 4, 8);
    ASSERT_TRUE(reader && fresh && w && write(w, 3, bits));
    VfwFrameRecord noBits{4, 1, nullptr, uint32_t(bits.size()), nullptr};
    VfwFileInfo fi{};
    const std::pair<const char *, std::function<bool()>> calls[] = {
        {"reading a file that is not there", [&] { return open(path("none.avi")) != 0; }},
        {"reading no file", [&] { return fn<OpenAviFileFn>("OpenAviFile")(nullptr) != 0; }},
        {"no create parameters", [&] { return create(name, nullptr, header.data()) != 0; }},
        {"rate 0", [&] { return create(name, &noRate, header.data()) != 0; }},
        {"a core header", [&] { return create(name, &params, patched(0, 12).data()) != 0; }},
        {"a folder that is not there", [&] { return create(path("none/x.avi"), &params, header.data()) != 0; }},
        {"frames of 2 GiB", [&] { return init(fresh, huge, 40); }},
        {"a stream twice", [&] { return init(w, header); }},
        {"a stream on a reader", [&] { return init(reader, header); }},
        {"a frame before the stream", [&] { return write(fresh, 0, bits); }},
        {"a frame one byte short", [&] { return write(w, 4, Bytes(bits.begin(), bits.end() - 1)); }},
        {"a tick past 2^24", [&] { return write(w, 1 << 24, bits); }},
        {"no record", [&] { return fn<WriteAviFrameFn>("WriteAviFrame")(w, nullptr) != 0; }},
        {"no pixels", [&] { return fn<WriteAviFrameFn>("WriteAviFrame")(w, &noBits) != 0; }},
        {"sound before the stream", [&] { return merge(fresh, wave.c_str(), 4); }},
        {"sound of no ticks", [&] { return merge(w, wave.c_str(), 0); }},
        {"sound at rate 0", [&] { return merge(w, wave.c_str(), 4, 0); }},
        {"no sound file", [&] { return merge(w, nullptr, 4); }},
        {"sound twice", [&] { return !merge(w, wave.c_str(), 4) || merge(w, wave.c_str(), 4); }},
        {"the size of a writer", [&] { return (fi = info(w)).frameCount || fi.width || fi.rate; }},
        {"a handle not given out", [&] { return frame(w + 1, 0) || init(w + 1, header, 40); }},
    };
    for (const auto &[what, call] : calls) EXPECT_FALSE(call()) << what;
    fn<GetAviFileInfoFn>("GetAviFileInfo")(reader, nullptr);
    fn<ShowCompressOptionsDlgFn>("ShowCompressOptionsDlg")(reader, nullptr);
    close(w + 1), close(reader), close(fresh), close(w);
    EXPECT_EQ(packetTicks(path("ok.avi")), "3 ");  // the one frame written, the ticks before it dropped
}

// Sound of every sample format a WAVE file holds reaches the file as the
// same 16-bit samples, filled with silence to the video's length (two
// channels: the silence is counted in samples of both).
TEST_F(AviCompanion, SoundOfEverySampleFormat) {
    const Bytes header = dibHeader(8, 4, 24);
    std::string first;
    for (const std::string codec : {"pcm_s16le", "pcm_u8", "pcm_s32le", "pcm_f32le", "pcm_f64le"}) {
        SCOPED_TRACE(codec);
        const std::string wave = path(codec + ".wav"), file = path(codec + ".avi");
        ASSERT_TRUE(tool("ffmpeg -v error -y -f lavfi -i sine=f=200:d=0.5:sample_rate=8000 -ac 2 -c:a " + codec + " " + wave));
        VfwFile f = stream(file, header, 8, 4, 24);
        ASSERT_TRUE(f && write(f, 11, rampPixels(8, 4, 24, 0)));
        EXPECT_TRUE(merge(f, wave.c_str(), 12));
        close(f);
        const std::string samples = capture("ffmpeg -v error -i " + file + " -map 0:a -f s16le -");
        ASSERT_EQ(samples.size(), 32000u);  // one second at 8000 per second, two channels
        EXPECT_EQ(samples.substr(16000), std::string(16000, '\0'));
        if (first.empty()) first = samples;
        const auto at = [](const std::string &s, size_t i) { return int16_t(vc::loadLe16(reinterpret_cast<const uint8_t *>(&s[i]))); };
        for (size_t i = 0; i < 16000; i += 2) ASSERT_LE(std::abs(at(samples, i) - at(first, i)), codec == "pcm_u8" ? 256 : 1) << i;
    }
}

// A full disk: the frame that does not fit gives 0, and the file keeps the
// frames before it, readable.
TEST_F(AviCompanion, FullDiskKeepsTheFramesWritten) {
    const std::string file = path("full.avi");
    const Bytes bits = rampPixels(64, 32, 24, 0);
    VfwFile f = stream(file, dibHeader(64, 32, 24), 64, 32, 24, 10);
    ASSERT_TRUE(f);
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096 + 12 + 5 * (bits.size() + 8) + 100;
    setrlimit(RLIMIT_FSIZE, &small);
    int written = 0;
    while (write(f, written, bits)) ++written;
    close(f);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(written, 5);
    EXPECT_EQ(packetTicks(file), "0 1 2 3 4 ");
}

// Damaged and lying files open or not, but every frame asked of them is a
// whole picture of the file's size or none. (Random damage is fuzz_avi's,
// which checks the same on every input.)
TEST_F(AviCompanion, HostileFilesNeverCrash) {
    const Bytes good = slurp(ffmpegAvi("base", "-c:v rawvideo -pix_fmt pal8 -an", 30, "16x16"));
    ASSERT_GT(good.size(), 9000u);
    auto find = [&](const char *id) { return size_t(std::search(good.begin(), good.end(), id, id + 4) - good.begin()); };
    auto patched = [&](Bytes b, const char *id, size_t offset, uint32_t value) {
        vc::storeLe32(b.data() + find(id) + offset, value);
        return b;
    };
    const Bytes noIndex(good.begin(), good.begin() + long(find("idx1")));
    Bytes zeroSized = good;
    for (size_t at = find("idx1") + 8; at + 16 <= good.size(); at += 16) vc::storeLe32(zeroSized.data() + at + 12, 0);
    // The second MJPEG frame replaced by a smaller picture, padded to its chunk.
    Bytes mjpeg = slurp(ffmpegAvi("mjpeg base", "-c:v mjpeg -an", 30, "16x16"));
    const std::string small = path("small.jpg");
    ASSERT_TRUE(tool("ffmpeg -v error -y -f lavfi -i testsrc=s=8x8 -frames:v 1 -c:v mjpeg " + small));
    const Bytes jpeg = slurp(small);
    const auto chunk = [&](auto from, const char *id) { return std::search(from, mjpeg.end(), id, id + 4); };
    const size_t at = size_t(chunk(chunk(chunk(mjpeg.begin(), "movi"), "00dc") + 4, "00dc") - mjpeg.begin());
    ASSERT_LE(jpeg.size(), loadLe32(mjpeg.data() + at + 4));
    std::fill_n(std::copy(jpeg.begin(), jpeg.end(), mjpeg.begin() + long(at) + 8), loadLe32(mjpeg.data() + at + 4) - jpeg.size(), 0);
    using Row = std::tuple<const char *, Bytes, int>;  // name, bytes, frame count (-1: not opened; -2: any)
    const Row rows[] = {
        {"whole", good, 30},
        {"cut in the frames", Bytes(good.begin(), good.begin() + long(good.size() / 2)), -2},
        {"cut in the headers", Bytes(good.begin(), good.begin() + 200), -1},
        {"no index", noIndex, 30},
        {"lying length", patched(good, "strh", 8 + 32, 0x7FFFFFF0), 30},
        {"lying length, no index", patched(noIndex, "strh", 8 + 32, 5000), 5000},
        {"huge width", patched(good, "strf", 8 + 4, 60000), -2},
        {"huge height", patched(good, "strf", 8 + 8, 0x7FFFFFFF), -1},
        {"a compression FFmpeg does not know", patched(good, "strf", 8 + 16, 0x58585858), -1},
        {"no width", patched(good, "strf", 8 + 4, 0), -1},
        {"no height", patched(good, "strf", 8 + 8, 0), -1},
        {"width past 65535", patched(good, "strf", 8 + 4, 70000), -1},
        {"a picture past the limit", patched(patched(good, "strf", 8 + 4, 60000), "strf", 8 + 8, 60000), -1},
        {"zero-sized frames", zeroSized, -2},
        {"index past the end", patched(good, "idx1", 8 + 8, 0x7FFFFF00), -2},
        {"a frame of another size", mjpeg, -2},
    };
    for (const auto &[name, bytes, count] : rows) {
        SCOPED_TRACE(name);
        VfwFile f = open(writeFile("hostile.avi", bytes));
        EXPECT_TRUE(count != -1 || f == 0);
        if (!f) continue;
        const VfwFileInfo fi = info(f);
        EXPECT_TRUE(count < 0 || int(fi.frameCount) == count) << fi.frameCount;
        int had = 0;
        for (int64_t i : {int64_t(0), int64_t(29), int64_t(3), int64_t(4999), int64_t(fi.frameCount) - 1, int64_t(1)})
            if (const uint8_t *dib = frame(f, i)) {
                ++had;
                EXPECT_EQ(std::pair(loadLe32(dib + 4), loadLe32(dib + 8)), std::pair(fi.width, fi.height));
            }
        EXPECT_EQ(had, count == 30 ? 5 : count == 5000 ? 4 : had) << "frames past the data are not had";
        close(f);
    }
}

}  // namespace
