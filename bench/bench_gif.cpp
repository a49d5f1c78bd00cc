// GIF decoding and encoding: our reader and writer against giflib, and our
// reader against Wuffs, on the same files in one run. Decoding is measured
// on both paths a user takes: each frame into a DIB of its own (the rows
// decode_*), and animation import, every frame drawn over the picture it
// lands on, as a sequence (import_seq_*) and as the assembled image
// (import_asm_*), against Wuffs drawing every frame onto its canvas of
// colour indices (its source-over blend, which it has only for colour
// canvases, is not asked for). The files are real:
// a 4-megapixel wallpaper photograph that a Debian package ships (its JPEG
// in place), turned into GIFs at bench time by ImageMagick (256 colours
// with and without dithering, 1-bit line art, 1-bit dithering); animations,
// small icons and emoticons of many small frames that packages ship, read
// in place. One synthetic file stays: a screen recording whose later frames
// are small changed rectangles with text, written by giflib, which none of
// the real ones is.
// Decoding starts from the file's name and ends with every frame's pixels
// in memory: each side opens and reads the file on every pass (giflib
// through its stdio stream, ours through its read window, the core and
// Wuffs from the file read whole into memory). For icon-sized files these calls are much
// of the cost. Encoding starts from the pixels giflib decodes from the
// same file.
//
//   build/<dir>/bench/bench_gif
// MB/s counts one byte per pixel. The ratios printed after the table are
// the peer's CPU time over ours (both run on one thread; CPU time is
// steadier than wall time on a shared machine): above 1, we are faster.
// The encoders' rows count the bytes each one wrote (file_bytes).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <gif_lib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "codecs/gif_core.h"
#include "common/image_block.h"
#include "gif/gif_import.h"
#include "gif/gif_read.h"
#include "gif/gif_record.h"
#include "gif/gif_write.h"
#if VC_BENCH_WUFFS
#include "bench/wuffs_gif_peer.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

struct Frame {
    uint32_t left, top, width, height;
    Bytes pixels;  // one index per pixel, top row first
};

struct Movie {
    std::string name;
    uint32_t width, height;
    unsigned bits;
    std::vector<vc::GifRgbQuad> palette;
    std::vector<Frame> frames;
};

// A desktop: background, windows with title bars and lines of "text",
// a pointer that moves and a window that scrolls; each later frame is the
// changed rectangle only, as screen recorders write them.
Movie screen() {
    Movie m{"screen", 800, 600, 8, {}, {}};
    for (int i = 0; i < 256; ++i) m.palette.push_back(vc::GifRgbQuad{uint8_t(i * 7), uint8_t(i * 3), uint8_t(i), 0});
    Bytes desk(size_t(m.width) * m.height, 20);
    std::mt19937 rng(2);
    auto window = [&](uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, uint8_t body, unsigned scroll) {
        for (uint32_t y = y0; y < y0 + h; ++y)
            for (uint32_t x = x0; x < x0 + w; ++x) {
                uint8_t c = body;
                if (y < y0 + 18) c = 60;
                else if (x == x0 || x == x0 + w - 1 || y == y0 + h - 1) c = 0;
                else {
                    // Text lines of 12 pixels: glyph-like runs.
                    uint32_t ly = (y - y0 - 18 + scroll) % 12, lx = x - x0;
                    uint32_t word = ((y - y0 - 18 + scroll) / 12 * 131 + lx / 7) * 2654435761u;
                    if (ly > 2 && ly < 10 && lx > 6 && (word >> 28) > 3 && ((word >> (lx % 7 + 8)) & 1)) c = 1;
                }
                desk[size_t(y) * m.width + x] = c;
            }
    };
    window(40, 30, 420, 300, 255, 0);
    window(300, 200, 460, 360, 250, 0);
    m.frames.push_back(Frame{0, 0, m.width, m.height, desk});
    for (int k = 1; k < 24; ++k) {
        window(300, 200, 460, 360, 250, unsigned(k) * 3);
        // The pointer: a small arrow moving across.
        uint32_t px = 100 + uint32_t(k) * 25, py = 80 + uint32_t(k) * 12;
        for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x = 0; x <= y / 2; ++x) desk[size_t(py + y) * m.width + px + x] = x == y / 2 ? 0 : 200;
        const uint32_t l = 100 + uint32_t(k - 1) * 25 < 300 ? 100 + uint32_t(k - 1) * 25 : 300;
        const uint32_t t = 80 + uint32_t(k - 1) * 12 < 200 ? 80 + uint32_t(k - 1) * 12 : 200;
        Frame f{l, t, 760 - l, 560 - t, {}};
        f.pixels.resize(size_t(f.width) * f.height);
        for (uint32_t y = 0; y < f.height; ++y)
            std::memcpy(&f.pixels[size_t(y) * f.width], &desk[size_t(t + y) * m.width + l], f.width);
        m.frames.push_back(std::move(f));
    }
    return m;
}

// Many small frames: 32 x 32 sprites of changing noise walking over a
// 256 x 256 screen, each frame where the sprite now stands.
Movie sprites() {
    Movie m{"sprites32", 256, 256, 8, {}, {}};
    for (int i = 0; i < 256; ++i) m.palette.push_back(vc::GifRgbQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i * 5), 0});
    std::mt19937 rng(3);
    m.frames.push_back(Frame{0, 0, m.width, m.height, Bytes(size_t(m.width) * m.height, 7)});
    for (uint32_t k = 1; k < 256; ++k) {
        Frame f{(k * 37) % 224, (k * 53) % 224, 32, 32, Bytes(32 * 32)};
        for (size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = uint8_t(i % 32 < 16 ? k : rng() % 16);
        m.frames.push_back(std::move(f));
    }
    return m;
}

// ---- Our side ---------------------------------------------------------------
std::vector<vc::MemHandle> ourDibs(const Movie &m) {
    std::vector<vc::MemHandle> dibs;
    for (const Frame &f : m.frames) {
        vc::plat::Block block = vc::makePackedDib(vc::gifDibSpec(uint16_t(m.bits), int32_t(f.width), int32_t(f.height),
                                                                m.palette.data(), int32_t(m.palette.size())));
        auto *dib = block.as<ConvBitmapInfoHeader>();
        uint8_t *bits = reinterpret_cast<uint8_t *>(dib) + vc::dibBitsOffset(*dib);
        const uint64_t stride = vc::dibRowBytes(f.width, m.bits);
        for (uint32_t y = 0; y < f.height; ++y)
            vc::StoreIndexRow(bits + (f.height - 1 - y) * stride, &f.pixels[size_t(y) * f.width], f.width,
                              uint16_t(m.bits), -1);
        dibs.push_back(block.release());
    }
    return dibs;
}

void ourEncode(const Movie &m, const std::vector<vc::MemHandle> &dibs, const std::string &name) {
    vc::plat::File f;
    if (!f.create(name.c_str())) return;
    bool written = vc::WriteGifHeader(f.handle(), vc::plat::Lock(dibs[0]).as<ConvBitmapInfoHeader>(),
                                      uint16_t(m.width), uint16_t(m.height), 0) == vc::Result::ok;
    // One coder's tables for every frame, as the animated save has them.
    vc::GifCoder coder;
    for (size_t i = 0; i < dibs.size(); ++i) {
        const vc::plat::Lock dib(dibs[i]);
        written = vc::WriteGifImage(f.handle(), coder, dib.as<ConvBitmapInfoHeader>(), int32_t(m.frames[i].left),
                                    int32_t(m.frames[i].top), false, false) == vc::Result::ok && written;
    }
    const uint8_t trailer = 0x3B;
    // A file that was not written whole fails the read-back check.
    if (!written || !f.writeAll(&trailer, 1)) std::fprintf(stderr, "%s: not written whole\n", name.c_str());
}

// Scan, then every frame into a DIB of its own, through one read window
// over the file, as the loader reads a single image.
size_t ourDecode(const std::string &name) {
    vc::plat::File f;
    if (!f.open(name.c_str())) return 0;
    vc::FileWindow in(f.handle(), 0, true);
    static vc::GifAnimRecord rec;
    std::memset(&rec, 0, sizeof rec);
    size_t pixels = 0;
    if (vc::ParseGifStructure(in, rec, false) == vc::Result::ok) {
        for (int i = 0; i < rec.frameCount; ++i) {
            const vc::GifFrameEntry &e = rec.frames[i];
            vc::plat::Block dib = vc::makePackedDib(
                vc::gifDibSpec(e.bitsPerPixel, e.width, e.height, rec.globalPalette, rec.globalColorCount));
            // Blank, as the loader's DIB of a single image is.
            if (dib && vc::DecodeGifImageAt(in, e.dataPosition, dib.as<ConvBitmapInfoHeader>(), -1, e.left, e.top,
                                            vc::kBlankCanvas) == vc::Result::ok)
                pixels += size_t(e.width) * e.height;
        }
    }
    return pixels;
}

// Animation import through the import code: the scan, then every frame
// drawn over the picture it lands on, as a sequence handed over frame by
// frame (to an editor that takes them all) or as the assembled image.
intptr_t takeEveryFrame(int32_t command, intptr_t, intptr_t) { return command == HOST_ADD_FRAME ? 1 : 0; }

size_t ourImport(const std::string &name, bool assembled) {
    vc::GifLoad load;
    if (!load.file.open(name.c_str(), vc::plat::kOpenRead)) return 0;
    vc::FileWindow in(load.file.handle(), 0, true);
    load.window = &in;
    load.record = vc::NewGifAnimRecord();
    vc::MemHandle image = nullptr;
    if (assembled)
        load.image = &image;
    else
        load.editor = vc::EditorLink(takeEveryFrame);
    if (!load.record || vc::ParseGifStructure(in, load.rec(), false) != vc::Result::ok) return 0;
    vc::GifAnimRecord &rec = load.rec();
    rec.outputWidth = rec.screenWidth;
    rec.outputHeight = rec.screenHeight;
    size_t pixels = 0;
    for (int i = 0; i < vc::recordFrames(rec); ++i) pixels += size_t(rec.frames[i].width) * rec.frames[i].height;
    const vc::Result r = assembled ? vc::ImportGifAssembled(load) : vc::ImportGifSequence(load);
    const vc::plat::Block owned(image);  // the assembled picture, freed
    return r == vc::Result::ok ? pixels : 0;
}

// The core: the file read whole into memory (as Wuffs reads it), then
// every frame into a picture of its own.
size_t coreDecode(const std::string &name) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st{};
    size_t got = 0, size = 0;
    std::unique_ptr<uint8_t[]> data;  // not zeroed: the read fills it
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        size = size_t(st.st_size);
        data.reset(new uint8_t[size]);
        for (ssize_t n = 1; got < size && n > 0; got += size_t(n > 0 ? n : 0)) n = read(fd, data.get() + got, size - got);
    }
    close(fd);
    vc::Animation a;
    if (got != size || vc::decodeGif({data.get(), size}, {}, a) != vc::Result::ok) return 0;
    size_t pixels = 0;
    for (const vc::Frame &f : a.frames) pixels += size_t(f.picture.width) * size_t(f.picture.height);
    return pixels;
}

// ---- giflib -----------------------------------------------------------------
void gifEncode(const Movie &m, const std::string &name) {
    int err = 0;
    GifFileType *gif = EGifOpenFileName(name.c_str(), false, &err);
    GifColorType colors[256] = {};
    for (size_t i = 0; i < m.palette.size(); ++i)
        colors[i] = GifColorType{m.palette[i].red, m.palette[i].green, m.palette[i].blue};
    const int entries = 1 << m.bits;
    ColorMapObject *map = GifMakeMapObject(entries, colors);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, int(m.width), int(m.height), int(m.bits), 0, map);
    for (const Frame &f : m.frames) {
        EGifPutImageDesc(gif, int(f.left), int(f.top), int(f.width), int(f.height), false, nullptr);
        for (uint32_t y = 0; y < f.height; ++y)
            EGifPutLine(gif, const_cast<GifPixelType *>(&f.pixels[size_t(y) * f.width]), int(f.width));
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
}

size_t gifDecode(const std::string &name) {
    int err = 0;
    GifFileType *gif = DGifOpenFileName(name.c_str(), &err);
    size_t pixels = 0;
    if (gif && DGifSlurp(gif) == GIF_OK)
        for (int i = 0; i < gif->ImageCount; ++i)
            pixels += size_t(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
    DGifCloseFile(gif, &err);
    return pixels;
}

// The pixels giflib decodes from a file, at the depth our encoder takes
// (1, 4 or 8); the first colour table found is the palette. Empty when the
// file does not decode.
Movie gifLoad(const std::string &name, const std::string &label) {
    Movie m{label, 0, 0, 8, {}, {}};
    int err = 0;
    GifFileType *gif = DGifOpenFileName(name.c_str(), &err);
    if (gif && DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        m.width = uint32_t(gif->SWidth);
        m.height = uint32_t(gif->SHeight);
        const ColorMapObject *map = gif->SColorMap ? gif->SColorMap : gif->SavedImages[0].ImageDesc.ColorMap;
        const int depth = map ? map->BitsPerPixel : 8;
        m.bits = depth <= 1 ? 1 : depth <= 4 ? 4 : 8;
        for (int i = 0; map && i < map->ColorCount; ++i)
            m.palette.push_back(vc::GifRgbQuad{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0});
        for (int i = 0; i < gif->ImageCount; ++i) {
            const GifImageDesc &d = gif->SavedImages[i].ImageDesc;
            const uint8_t *raster = gif->SavedImages[i].RasterBits;
            m.frames.push_back(Frame{uint32_t(d.Left), uint32_t(d.Top), uint32_t(d.Width), uint32_t(d.Height),
                                     Bytes(raster, raster + size_t(d.Width) * d.Height)});
        }
    }
    DGifCloseFile(gif, &err);
    return m;
}

size_t totalPixels(const Movie &m) {
    size_t n = 0;
    for (const Frame &f : m.frames) n += f.pixels.size();
    return n;
}

#if VC_BENCH_WUFFS
// Wuffs decodes from memory: the file is read whole first, with as few
// calls as a file can be read (open, size, one read, close), so that both
// sides pay for the file and neither more than it must.
size_t wuffsDecode(const std::string &name) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st{};
    size_t got = 0;
    Bytes data;
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        data.resize(size_t(st.st_size));
        for (ssize_t n = 1; got < data.size() && n > 0; got += size_t(n > 0 ? n : 0))
            n = read(fd, data.data() + got, data.size() - got);
    }
    close(fd);
    return got == data.size() ? wuffsGifDecode(data.data(), data.size()) : 0;
}
#endif

// ---- The files ----------------------------------------------------------------------

// A row of the table: one or more GIF files decoded together (the icons
// are many small files), and what giflib reads from them for the encoders.
struct Input {
    std::string name;
    std::vector<std::string> files;
    size_t pixels = 0;  // every frame of every file, as giflib reads them
    std::vector<Movie> movies;
};

// The photograph (mate-backgrounds), 2560 x 1600.
const char *const kPhoto = "/usr/share/backgrounds/mate/nature/LadyBird.jpg";
const char *const kAnimations = "/usr/libexec/installed-tests/gdk-pixbuf/";  // gdk-pixbuf-tests
const char *const kIcons = "/usr/share/doc/wx3.2-examples/examples/samples/";  // wx3.2-examples
// Emoticons of up to 133 frames, most of them a small changed rectangle
// over the one before (pidgin-themes).
const char *const kEmotes = "/usr/share/pixmaps/pidgin/emotes/QIP-pidgin/";

std::string scratchName(const std::string &what) {
    return "/tmp/bench_gif_" + std::to_string(getpid()) + "_" + what + ".gif";
}

bool exists(const std::string &name) { return access(name.c_str(), R_OK) == 0; }

std::vector<Input> &inputs() {
    static std::vector<Input> all;
    return all;
}

void addInput(std::string name, std::vector<std::string> files) {
    Input in{std::move(name), std::move(files), 0, {}};
    for (const std::string &f : in.files) {
        if (!exists(f)) {
            std::fprintf(stderr, "bench_gif: %s is missing; row %s left out\n", f.c_str(), in.name.c_str());
            return;
        }
        in.movies.push_back(gifLoad(f, in.name));
        for (const Frame &fr : in.movies.back().frames) in.pixels += fr.pixels.size();
    }
    if (in.pixels == 0) {
        std::fprintf(stderr, "bench_gif: row %s does not decode through giflib; left out\n", in.name.c_str());
        return;
    }
    inputs().push_back(std::move(in));
}

void makeInputs() {
    if (exists(kPhoto)) {
        const struct {
            const char *name, *options;
        } fromPhoto[] = {
            {"photo_dithered", "-dither FloydSteinberg -colors 256"},
            {"photo_flat", "+dither -colors 256"},
            {"lineart1", "-colorspace Gray -threshold 50% -type bilevel"},
            {"dithered1", "-colorspace Gray -dither FloydSteinberg -monochrome"},
        };
        for (const auto &p : fromPhoto) {
            const std::string out = scratchName(p.name);
            const std::string command = std::string("/usr/bin/convert ") + kPhoto + " " + p.options + " " + out;
            if (std::system(command.c_str()) != 0) std::fprintf(stderr, "bench_gif: %s failed\n", command.c_str());
            addInput(p.name, {out});
        }
    } else {
        std::fprintf(stderr, "bench_gif: no %s (package mate-backgrounds); photograph rows left out\n", kPhoto);
    }
    addInput("anim_party", {std::string(kAnimations) + "1_partyanimsm2.gif"});
    addInput("anim_aero", {std::string(kAnimations) + "aero.gif"});
    addInput("anim_table", {std::string(kAnimations) + "circular-table.gif"});
    std::vector<std::string> icons;
    for (const char *icon : {"xrc/rc/fileopen.gif", "xrc/rc/filesave.gif", "xrc/rc/update.gif", "xrc/rc/quotes.gif",
                             "xrc/rc/fuzzy.gif", "help/back.gif", "help/forward.gif", "help/up.gif",
                             "help/contents.gif", "html/test/i18n.gif"})
        icons.push_back(std::string(kIcons) + icon);
    addInput("icons", icons);
    // The longest emoticon alone, and all of them: many files of many
    // frames, where what a frame costs besides its pixels shows.
    addInput("anim_emote133", {std::string(kEmotes) + "bj.gif"});
    std::vector<std::string> emotes;
    if (DIR *dir = opendir(kEmotes)) {
        while (const dirent *e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".gif") == 0) emotes.push_back(kEmotes + name);
        }
        closedir(dir);
        std::sort(emotes.begin(), emotes.end());
    }
    if (emotes.empty())
        std::fprintf(stderr, "bench_gif: no %s (package pidgin-themes); row emotes left out\n", kEmotes);
    else
        addInput("emotes", emotes);
    const std::string screenFile = scratchName("screen");
    gifEncode(screen(), screenFile);
    addInput("screen", {screenFile});
    const std::string spritesFile = scratchName("sprites32");
    gifEncode(sprites(), spritesFile);
    addInput("sprites32", {spritesFile});
}

void removeInputs() {
    for (const Input &in : inputs())
        for (const std::string &f : in.files)
            if (f.rfind("/tmp/bench_gif_", 0) == 0) std::remove(f.c_str());
}

// ---- The benchmarks -----------------------------------------------------------------

enum class Who { ours, core, giflib, wuffs, sequence, assembled };

void BM_Decode(benchmark::State &state, const Input *in, Who who) {
    for (auto _ : state) {
        size_t n = 0;
        for (const std::string &f : in->files) {
            if (who == Who::ours) n += ourDecode(f);
            else if (who == Who::core) n += coreDecode(f);
            else if (who == Who::giflib) n += gifDecode(f);
            else if (who == Who::sequence || who == Who::assembled) n += ourImport(f, who == Who::assembled);
#if VC_BENCH_WUFFS
            else n += wuffsDecode(f);
#endif
        }
        if (n != in->pixels) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * in->pixels));
    size_t frames = 0;
    for (const Movie &m : in->movies) frames += m.frames.size();
    state.counters["frames"] = benchmark::Counter(double(state.iterations() * frames), benchmark::Counter::kIsRate);
}

void BM_Encode(benchmark::State &state, const Movie *m, bool ours) {
    const std::string name = scratchName(m->name + (ours ? "_ours" : "_giflib"));
    std::vector<vc::MemHandle> dibs = ourDibs(*m);
    for (auto _ : state) {
        if (ours)
            ourEncode(*m, dibs, name);
        else
            gifEncode(*m, name);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * totalPixels(*m)));
    // The size of what was written, to hold ours against giflib's.
    struct stat st{};
    state.counters["file_bytes"] = stat(name.c_str(), &st) == 0 ? double(st.st_size) : 0.0;
    // Our file must decode to the same pixels through giflib.
    if (ours) {
        int err = 0;
        GifFileType *gif = DGifOpenFileName(name.c_str(), &err);
        bool same = gif && DGifSlurp(gif) == GIF_OK && gif->ImageCount == int(m->frames.size());
        for (int i = 0; same && i < gif->ImageCount; ++i)
            same = std::memcmp(gif->SavedImages[i].RasterBits, m->frames[size_t(i)].pixels.data(),
                               m->frames[size_t(i)].pixels.size()) == 0;
        DGifCloseFile(gif, &err);
        if (!same) state.SkipWithError("our file does not read back through giflib");
    }
    for (auto h : dibs) const vc::plat::Block owned(h);  // freed at once
    std::remove(name.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    makeInputs();
    std::vector<vcbench::Pair> pairs;
    for (const Input &in : inputs()) {
        const std::string base = "decode_" + in.name;
        for (Who who : {Who::ours, Who::core, Who::giflib, Who::wuffs}) {
#if !VC_BENCH_WUFFS
            if (who == Who::wuffs) continue;
#endif
            const char *tag = who == Who::ours     ? "/ours"
                              : who == Who::core   ? "/core"
                              : who == Who::giflib ? "/giflib"
                                                   : "/wuffs";
            benchmark::RegisterBenchmark((base + tag).c_str(), BM_Decode, &in, who)->Unit(benchmark::kMillisecond);
        }
        pairs.push_back({base + " ours/giflib", base + "/giflib", base + "/ours"});
        pairs.push_back({base + " core/ours", base + "/ours", base + "/core"});
#if VC_BENCH_WUFFS
        pairs.push_back({base + " ours/wuffs", base + "/wuffs", base + "/ours"});
#endif
        // Animation import: every frame drawn over the picture.
        const std::string seq = "import_seq_" + in.name, asm_ = "import_asm_" + in.name;
        benchmark::RegisterBenchmark((seq + "/ours").c_str(), BM_Decode, &in, Who::sequence)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((asm_ + "/ours").c_str(), BM_Decode, &in, Who::assembled)->Unit(benchmark::kMillisecond);
#if VC_BENCH_WUFFS
        pairs.push_back({seq + " ours/wuffs", base + "/wuffs", seq + "/ours"});
        pairs.push_back({asm_ + " ours/wuffs", base + "/wuffs", asm_ + "/ours"});
#endif
    }
#if !VC_BENCH_WUFFS
    std::fprintf(stderr, "bench_gif: built without wuffs-v0.4.c (VC_WUFFS_DIR); no Wuffs column\n");
#endif
    // Encoding: the files that are one movie each.
    for (const Input &in : inputs()) {
        if (in.movies.size() != 1) continue;
        const std::string base = "encode_" + in.name;
        for (bool ours : {true, false})
            benchmark::RegisterBenchmark((base + (ours ? "/ours" : "/giflib")).c_str(), BM_Encode, &in.movies[0], ours)
                ->Unit(benchmark::kMillisecond);
        pairs.push_back({base + " ours/giflib", base + "/giflib", base + "/ours"});
    }
    const int r = vcbench::runWithRatios(argc, argv, "throughput ours / peer (peer CPU time / our CPU time):", pairs);
    removeInputs();
    return r;
}
