// The companion's ten functions on Windows, over the system's Video for
// Windows: the AVI file library reads and writes, the installed
// decompressors and compressors do the codecs, DrawDib draws.
//
// Frames are asked of the system as 8-bit DIBs (with the stream's colour
// table) when the stream is palettised, as 24-bit DIBs otherwise. Frames
// written at a later position than the stream's end are the file library's
// to place: it leaves the positions between as dropped frames.
#include <windows.h>
#include <mmsystem.h>
#include <vfw.h>

#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "common/dib.h"
#include "vfw/velmvfw.h"

namespace {

// One per handle; the first field tells readers from writers. A handle is
// followed only when the set of handles given out holds it.
enum : uint32_t { kReaderTag = 0x52495641, kWriterTag = 0x57495641 };
std::set<uint32_t *> gHandles;

struct Reader {
    uint32_t tag = kReaderTag;
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PGETFRAME frames = nullptr;
    HDRAWDIB draw = nullptr;
    std::vector<uint8_t> converted;  // the last frame the system gave in another layout
    LONG start = 0, length = 0;
    uint32_t width = 0, height = 0, rate = 0;
    ~Reader() {
        if (draw) DrawDibClose(draw);
        if (frames) AVIStreamGetFrameClose(frames);
        if (stream) AVIStreamRelease(stream);
        if (file) AVIFileRelease(file);
        AVIFileExit();
    }
};

struct Writer {
    uint32_t tag = kWriterTag;
    std::string name;
    PAVIFILE file = nullptr;
    PAVISTREAM raw = nullptr, compressed = nullptr;
    COMPVARS choice{};
    bool chosen = false;
    BITMAPINFOHEADER format{};
    uint32_t rate = 0, imageBytes = 0;
    ~Writer() {
        finish();
        if (chosen) ICCompressorFree(&choice);
        AVIFileExit();
    }
    // Releasing the streams and the file writes the headers and index.
    void finish() {
        if (compressed) AVIStreamRelease(compressed);
        if (raw) AVIStreamRelease(raw);
        if (file) AVIFileRelease(file);
        compressed = raw = nullptr;
        file = nullptr;
    }
    PAVISTREAM video() const { return compressed ? compressed : raw; }
};

template <class T> T *as(VfwFile file, uint32_t tag) {
    auto it = gHandles.find(reinterpret_cast<uint32_t *>(file));
    return it != gHandles.end() && **it == tag ? reinterpret_cast<T *>(file) : nullptr;
}
template <class T> VfwFile give(T *p) {
    try {
        gHandles.insert(&p->tag);
    } catch (...) {
        delete p;
        return 0;
    }
    return reinterpret_cast<VfwFile>(p);
}

// The format to ask for: the stream's colour table at 8 bits when it has
// one, else 24 bits.
struct Wanted {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

bool ask(Reader &r, Wanted &want) {
    LONG size = 0;
    if (AVIStreamReadFormat(r.stream, r.start, nullptr, &size) != 0 || size < LONG(sizeof(BITMAPINFOHEADER)))
        return false;
    auto *format = static_cast<uint8_t *>(::operator new(size_t(size), std::nothrow));
    if (!format) return false;
    bool ok = AVIStreamReadFormat(r.stream, r.start, format, &size) == 0;
    BITMAPINFOHEADER in{};
    if (ok) std::memcpy(&in, format, sizeof in);
    std::memset(&want, 0, sizeof want);
    want.header.biSize = sizeof(BITMAPINFOHEADER);
    want.header.biWidth = in.biWidth;
    want.header.biHeight = in.biHeight < 0 ? -in.biHeight : in.biHeight;
    want.header.biPlanes = 1;
    want.header.biBitCount = 24;
    if (ok && in.biBitCount >= 1 && in.biBitCount <= 8 && in.biSize >= sizeof in && in.biSize <= DWORD(size)) {
        DWORD colours = in.biClrUsed ? in.biClrUsed : 1u << in.biBitCount;
        if (colours > 256) colours = 256;
        if (in.biSize + 4 * colours <= DWORD(size)) {
            std::memcpy(want.colours, format + in.biSize, 4 * colours);
            want.header.biBitCount = 8;
            want.header.biClrUsed = colours;
        }
    }
    ::operator delete(format);
    return ok;
}


// A frame the system gave top-down, or at 16 or 32 bits, as a bottom-up
// DIB of 8 bits (with its colour table) or 24 bits, in the reader's buffer.
const void *converted(Reader &r, const BITMAPINFOHEADER *dib) {
    const int bits = dib->biBitCount;
    const bool fields = dib->biCompression == BI_BITFIELDS && (bits == 16 || bits == 32);
    if ((dib->biCompression != BI_RGB && !fields) || (bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        dib->biWidth <= 0 || dib->biHeight == 0)
        return nullptr;
    const DWORD colours = bits == 8 ? (dib->biClrUsed ? dib->biClrUsed : 256) : 0;
    const auto *in = reinterpret_cast<const uint8_t *>(dib) + dib->biSize + (fields ? 12 : 4 * colours);
    DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    if (fields) std::memcpy(masks, reinterpret_cast<const uint8_t *>(dib) + dib->biSize, sizeof masks);
    const size_t w = size_t(dib->biWidth), rows = size_t(dib->biHeight < 0 ? -dib->biHeight : dib->biHeight);
    const int outBits = bits == 8 ? 8 : 24;
    const size_t inStride = size_t(vc::dibRowBytes(int64_t(w), bits)), outStride = size_t(vc::dibRowBytes(int64_t(w), outBits));
    const size_t header = sizeof(BITMAPINFOHEADER) + 4 * colours;
    try {
        r.converted.assign(header + outStride * rows, 0);
    } catch (...) {
        return nullptr;
    }
    auto *out = reinterpret_cast<BITMAPINFOHEADER *>(r.converted.data());
    *out = {sizeof(BITMAPINFOHEADER), LONG(w), LONG(rows), 1, WORD(outBits), BI_RGB, DWORD(outStride * rows), 0, 0, colours, 0};
    std::memcpy(out + 1, reinterpret_cast<const uint8_t *>(dib) + dib->biSize, 4 * colours);
    // A channel of a mask widened to 8 bits.
    auto channel = [](DWORD v, DWORD mask) -> uint8_t {
        if (!mask) return 0;
        int shift = 0, width = 0;
        while (!(mask >> shift & 1)) ++shift;
        while (shift + width < 32 && (mask >> (shift + width) & 1)) ++width;
        DWORD c = (v & mask) >> shift;
        return uint8_t(width >= 8 ? c >> (width - 8) : (c << (8 - width)) | (c >> (2 * width - 8 > 0 ? 2 * width - 8 : 0)));
    };
    for (size_t y = 0; y < rows; ++y) {
        const uint8_t *src = in + (dib->biHeight < 0 ? rows - 1 - y : y) * inStride;
        uint8_t *dst = r.converted.data() + header + y * outStride;
        if (bits == 8 || bits == 24) {
            std::memcpy(dst, src, w * (bits / 8));
            continue;
        }
        for (size_t x = 0; x < w; ++x, dst += 3) {
            DWORD v = bits == 16 ? DWORD(src[2 * x] | src[2 * x + 1] << 8)
                                 : DWORD(src[4 * x] | src[4 * x + 1] << 8 | src[4 * x + 2] << 16 | DWORD(src[4 * x + 3]) << 24);
            dst[0] = channel(v, masks[2]);
            dst[1] = channel(v, masks[1]);
            dst[2] = channel(v, masks[0]);
        }
    }
    return r.converted.data();
}

// A WAVE file's format and samples, read through the multimedia I/O.
struct Wave {
    HMMIO in = nullptr;
    MMCKINFO riff{}, data{};
    WAVEFORMATEX format{};
    ~Wave() {
        if (in) mmioClose(in, 0);
    }
    bool open(const char *name) {
        if (!(in = mmioOpenA(const_cast<char *>(name), nullptr, MMIO_READ | MMIO_ALLOCBUF))) return false;
        MMCKINFO fmt{};
        riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
        fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
        data.ckid = mmioFOURCC('d', 'a', 't', 'a');
        if (mmioDescend(in, &riff, nullptr, MMIO_FINDRIFF) != 0 || mmioDescend(in, &fmt, &riff, MMIO_FINDCHUNK) != 0 ||
            fmt.cksize < 16)
            return false;
        const LONG want = LONG(fmt.cksize < sizeof format ? fmt.cksize : sizeof format);
        if (mmioRead(in, reinterpret_cast<HPSTR>(&format), want) != want || mmioAscend(in, &fmt, 0) != 0) return false;
        if (fmt.cksize < sizeof format) format.cbSize = 0;
        // Plain samples only: a format with extra bytes needs its codec.
        return format.cbSize == 0 && format.nBlockAlign && format.nSamplesPerSec && format.nAvgBytesPerSec &&
               mmioDescend(in, &data, &riff, MMIO_FINDCHUNK) == 0;
    }
};

struct Streams {
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr, sound = nullptr;
    ~Streams() {
        if (sound) AVIStreamRelease(sound);
        if (video) AVIStreamRelease(video);
        if (file) AVIFileRelease(file);
    }
};

bool readFormat(PAVISTREAM stream, std::string &format) {
    LONG size = 0;
    if (AVIStreamReadFormat(stream, AVIStreamStart(stream), nullptr, &size) != 0 || size <= 0) return false;
    format.resize(size_t(size));
    return AVIStreamReadFormat(stream, AVIStreamStart(stream), &format[0], &size) == 0;
}

bool copySound(const char *name, const char *copy, Wave &wave, ULONGLONG total) {
    Streams from, to;
    AVISTREAMINFOA video{}, sound{};
    std::string format, frame;
    if (AVIFileOpenA(&from.file, name, OF_READ, nullptr) != 0 ||
        AVIFileGetStream(from.file, &from.video, streamtypeVIDEO, 0) != 0 ||
        AVIStreamInfoA(from.video, &video, sizeof video) != 0 || !readFormat(from.video, format))
        return false;
    DeleteFileA(copy);
    sound.fccType = streamtypeAUDIO;
    sound.dwScale = wave.format.nBlockAlign;
    sound.dwRate = wave.format.nAvgBytesPerSec;
    sound.dwSampleSize = wave.format.nBlockAlign;
    sound.dwQuality = DWORD(-1);
    video.dwLength = 0;
    if (AVIFileOpenA(&to.file, copy, OF_CREATE | OF_WRITE, nullptr) != 0 ||
        AVIFileCreateStreamA(to.file, &to.video, &video) != 0 ||
        AVIStreamSetFormat(to.video, 0, &format[0], LONG(format.size())) != 0 ||
        AVIFileCreateStreamA(to.file, &to.sound, &sound) != 0 ||
        AVIStreamSetFormat(to.sound, 0, &wave.format, sizeof(PCMWAVEFORMAT)) != 0)
        return false;
    const LONG first = AVIStreamStart(from.video), end = first + AVIStreamLength(from.video);
    for (LONG at = first; at < end; ++at) {
        LONG bytes = 0, samples = 0;
        if (AVIStreamRead(from.video, at, 1, nullptr, 0, &bytes, &samples) != 0) return false;
        if (bytes <= 0) continue;  // a dropped frame
        frame.resize(size_t(bytes));
        if (AVIStreamRead(from.video, at, 1, &frame[0], bytes, &bytes, &samples) != 0 ||
            AVIStreamWrite(to.video, at, 1, &frame[0], bytes, AVIStreamIsKeyFrame(from.video, at) ? AVIIF_KEYFRAME : 0,
                           nullptr, nullptr) != 0)
            return false;
    }
    const WAVEFORMATEX &f = wave.format;
    const bool silent8 = f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 8;
    static char block[65536];
    const ULONGLONG perBlock = sizeof block / f.nBlockAlign;
    ULONGLONG available = wave.data.cksize / f.nBlockAlign, at = 0;
    while (at < total) {
        const ULONGLONG n = total - at < perBlock ? total - at : perBlock;
        const ULONGLONG fromFile = available > at ? (available - at < n ? available - at : n) : 0;
        LONG got = fromFile ? mmioRead(wave.in, block, LONG(fromFile * f.nBlockAlign)) : 0;
        got = got > 0 ? LONG(got / f.nBlockAlign) : 0;
        if (ULONGLONG(got) < fromFile) available = at + ULONGLONG(got);
        std::memset(block + got * f.nBlockAlign, silent8 ? 0x80 : 0, size_t(n - ULONGLONG(got)) * f.nBlockAlign);
        if (AVIStreamWrite(to.sound, LONG(at), LONG(n), block, LONG(n * f.nBlockAlign), AVIIF_KEYFRAME, nullptr,
                           nullptr) != 0)
            return false;
        at += n;
    }
    return at > 0;
}

}  // namespace

extern "C" {

VfwFile VFW_CALL OpenAviFile(const char *name) {
    if (!name) return 0;
    auto *r = new (std::nothrow) Reader;
    if (!r) return 0;
    AVIFileInit();
    AVISTREAMINFOA info{};
    Wanted want{};
    if (AVIFileOpenA(&r->file, name, OF_READ | OF_SHARE_DENY_WRITE, nullptr) != 0 ||
        AVIFileGetStream(r->file, &r->stream, streamtypeVIDEO, 0) != 0 ||
        AVIStreamInfoA(r->stream, &info, sizeof info) != 0) {
        delete r;
        return 0;
    }
    r->start = AVIStreamStart(r->stream);
    r->length = AVIStreamLength(r->stream);
    r->width = uint32_t(info.rcFrame.right - info.rcFrame.left);
    r->height = uint32_t(info.rcFrame.bottom - info.rcFrame.top);
    r->rate = info.dwScale ? (info.dwRate + info.dwScale / 2) / info.dwScale : 0;
    // Palettised video at 8 bits with its colour table; other video in
    // the decompressor's own format (turned into 24 bits as it comes:
    // Wine's MS Video 1 decompressor swaps red and blue when asked for 24
    // bits itself), else asked for 24 bits.
    const bool known = ask(*r, want);
    if (known) {
        r->width = uint32_t(want.header.biWidth);
        r->height = uint32_t(want.header.biHeight);
        if (want.header.biBitCount == 8) r->frames = AVIStreamGetFrameOpen(r->stream, &want.header);
        want.header.biBitCount = 24;
        want.header.biClrUsed = 0;
    }
    if (!r->frames) r->frames = AVIStreamGetFrameOpen(r->stream, nullptr);
    if (!r->frames && known) r->frames = AVIStreamGetFrameOpen(r->stream, &want.header);
    if (!r->frames || r->length <= 0 || !r->width || !r->height) {
        delete r;
        return 0;
    }
    return give(r);
}

void VFW_CALL CloseAviFile(VfwFile file) {
    Reader *r = as<Reader>(file, kReaderTag);
    Writer *w = as<Writer>(file, kWriterTag);
    gHandles.erase(reinterpret_cast<uint32_t *>(file));
    delete r;
    delete w;
}

void VFW_CALL GetAviFileInfo(VfwFile file, VfwFileInfo *info) {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    Reader *r = as<Reader>(file, kReaderTag);
    if (!r) return;
    info->frameCount = uint32_t(r->length);
    info->width = r->width;
    info->height = r->height;
    info->rate = uint16_t(r->rate);
}

const void *VFW_CALL GetAviFrame(VfwFile file, int32_t frame) {
    Reader *r = as<Reader>(file, kReaderTag);
    if (!r || frame < 0 || frame >= r->length) return nullptr;
    auto *dib = static_cast<const BITMAPINFOHEADER *>(AVIStreamGetFrame(r->frames, r->start + frame));
    if (!dib || (dib->biHeight > 0 && dib->biCompression == BI_RGB && (dib->biBitCount == 8 || dib->biBitCount == 24)))
        return dib;
    return converted(*r, dib);
}

int32_t VFW_CALL DrawAviFrame(VfwFile file, int32_t frame, void *dc, int32_t x, int32_t y, int32_t cx, int32_t cy,
                              int32_t) {
    Reader *r = as<Reader>(file, kReaderTag);
    auto *dib = static_cast<const BITMAPINFOHEADER *>(GetAviFrame(file, frame));
    if (!r || !dib || !dc) return 0;
    if (!r->draw && !(r->draw = DrawDibOpen())) return 0;
    DWORD colours = dib->biBitCount <= 8 ? (dib->biClrUsed ? dib->biClrUsed : 1u << dib->biBitCount) : 0;
    auto *bits = reinterpret_cast<const uint8_t *>(dib) + dib->biSize + 4 * colours;
    return DrawDibDraw(r->draw, static_cast<HDC>(dc), int16_t(x), int16_t(y), int16_t(cx), int16_t(cy),
                       const_cast<BITMAPINFOHEADER *>(dib), const_cast<uint8_t *>(bits), 0, 0, dib->biWidth,
                       dib->biHeight, 0)
               ? 1
               : 0;
}

VfwFile VFW_CALL CreateAviFile(const char *name, const VfwCreateParams *params, const void *bitmapInfoHeader) {
    if (!name || !params || !bitmapInfoHeader || !params->rate) return 0;
    auto *w = new (std::nothrow) Writer;
    if (!w) return 0;
    AVIFileInit();
    std::memcpy(&w->format, bitmapInfoHeader, sizeof w->format);
    w->format.biSize = sizeof w->format;
    w->rate = params->rate;
    w->imageBytes = params->imageBytes;
    w->name = name;
    // The file library adds to a file that exists: start from none.
    DeleteFileA(name);
    if (AVIFileOpenA(&w->file, name, OF_CREATE | OF_WRITE, nullptr) != 0) {
        delete w;
        return 0;
    }
    return give(w);
}

void VFW_CALL ShowCompressOptionsDlg(VfwFile file, void *dialog) {
    Writer *w = as<Writer>(file, kWriterTag);
    if (!w) return;
    COMPVARS choice{};
    choice.cbSize = sizeof choice;
    if (w->chosen) choice = w->choice;
    if (!ICCompressorChoose(static_cast<HWND>(dialog), ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, &w->format,
                            nullptr, &choice, nullptr))
        return;
    w->choice = choice;
    w->chosen = true;
}

int32_t VFW_CALL InitAviStreamWrite(VfwFile file, const void *frameHeader, uint32_t headerSize, int32_t compress) {
    Writer *w = as<Writer>(file, kWriterTag);
    if (!w || w->raw || !frameHeader || headerSize < sizeof(BITMAPINFOHEADER)) return 0;
    auto *header = static_cast<const BITMAPINFOHEADER *>(frameHeader);
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
    info.dwScale = 1;
    info.dwRate = w->rate;
    info.dwSuggestedBufferSize = w->imageBytes;
    info.dwQuality = DWORD(-1);
    SetRect(&info.rcFrame, 0, 0, header->biWidth, header->biHeight < 0 ? -header->biHeight : header->biHeight);
    if (AVIFileCreateStreamA(w->file, &w->raw, &info) != 0) return 0;
    const DWORD handler = w->chosen ? w->choice.fccHandler : 0;
    if (compress && handler && handler != mmioFOURCC('D', 'I', 'B', ' ')) {
        AVICOMPRESSOPTIONS options{};
        options.fccType = streamtypeVIDEO;
        options.fccHandler = handler;
        options.dwKeyFrameEvery = DWORD(w->choice.lKey);
        options.dwQuality = DWORD(w->choice.lQ);
        options.dwBytesPerSecond = DWORD(w->choice.lDataRate) * 1024;
        options.dwFlags = AVICOMPRESSF_VALID | (w->choice.lKey ? AVICOMPRESSF_KEYFRAMES : 0) |
                          (w->choice.lDataRate ? AVICOMPRESSF_DATARATE : 0);
        options.lpParms = w->choice.lpState;
        options.cbParms = DWORD(w->choice.cbState);
        if (AVIMakeCompressedStream(&w->compressed, w->raw, &options, nullptr) != 0) {
            w->compressed = nullptr;
            return 0;
        }
    }
    return AVIStreamSetFormat(w->video(), 0, const_cast<void *>(frameHeader), LONG(headerSize)) == 0;
}

int32_t VFW_CALL WriteAviFrame(VfwFile file, const VfwFrameRecord *frame) {
    Writer *w = as<Writer>(file, kWriterTag);
    if (!w || !w->raw || !frame || !frame->bits || frame->position < 0) return 0;
    return AVIStreamWrite(w->video(), frame->position, 1, const_cast<void *>(frame->bits), LONG(frame->size),
                          AVIIF_KEYFRAME, nullptr, nullptr) == 0;
}

// The file library adds no stream to a file once frames are in it, so
// the sound goes into a copy: the video's chunks as they are (dropped
// frames stay dropped) and the WAVE file's samples as they are, cut to the
// video's length or filled with silence up to it. The copy then takes the
// file's place; on any failure the file stays as it was.
int32_t VFW_CALL MergeSoundFile(VfwFile file, const char *waveName, uint32_t totalTicks, uint32_t rate) {
    Writer *w = as<Writer>(file, kWriterTag);
    if (!w || !w->raw || !waveName || !totalTicks || !rate) return 0;
    Wave wave;
    if (!wave.open(waveName)) return 0;
    w->finish();
    const std::string copy = w->name + "~";
    bool ok = copySound(w->name.c_str(), copy.c_str(), wave, ULONGLONG(totalTicks) * wave.format.nSamplesPerSec / rate);
    if (ok) ok = DeleteFileA(w->name.c_str()) && MoveFileA(copy.c_str(), w->name.c_str());
    if (!ok) DeleteFileA(copy.c_str());
    return ok;
}

}  // extern "C"
