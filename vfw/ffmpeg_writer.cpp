// Writing AVI files on Linux. The file's layout is ours: a fixed header
// area (the main header, the video stream's header and format, room for a
// sound stream added later, padding) before the 'movi' list, the chunks in
// the order they are written, and the 'idx1' index appended when the file
// is finished, which also writes the header area again with the final
// counts. Frames go out as they come, so memory does not grow with the
// video beyond its 16-byte index entries.
//
// A frame written at a later tick than the next one leaves the ticks in
// between as empty chunks (indexed, no key frame): dropped frames, during
// which players keep the previous picture on show. This is what Video for
// Windows' own file writer does when a stream is written at a later
// position, and what FFmpeg reads back as packets at the written ticks.
//
// Uncompressed frames are DIBs ('DIB ', BI_RGB, the colour table in the
// stream format); a compressor chosen in the compression options encodes
// through libavcodec into a format Video for Windows players decode.
#include "vfw/ffmpeg_backend.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/riff.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace vfw {
namespace {

constexpr int64_t kHeaderArea = 4096;     // where the 'movi' list starts
constexpr int64_t kLargestFile = 0x7FF00000;  // an AVI 1.0 file stays below 2 GiB
constexpr uint32_t kLargestTicks = 1u << 24;
constexpr uint32_t kKeyFrame = 0x10;
constexpr uint32_t kHasIndex = 0x10;

using vc::loadLe16, vc::loadLe32, vc::riff::fourcc;

// Little-endian output into a growing buffer.
struct Out {
    std::vector<uint8_t> b;
    void u16(uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(v);
        u16(v >> 16);
    }
    void bytes(const uint8_t *p, size_t n) { b.insert(b.end(), p, p + n); }
    // Starts a chunk or list; returns where its size goes.
    size_t open(uint32_t id, uint32_t type = 0) {
        u32(id);
        size_t at = b.size();
        u32(0);
        if (type) u32(type);
        return at;
    }
    void close(size_t at) {
        uint32_t size = uint32_t(b.size() - at - 4);
        for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(size >> (8 * k));
    }
};

struct Encoding {
    AVCodecID id;
    AVPixelFormat format;
    uint16_t bits;
    uint32_t compression, handler;
};
bool encodingOf(Codec c, Encoding &e) {
    switch (c) {
    case Codec::MsVideo1:
        e = {AV_CODEC_ID_MSVIDEO1, AV_PIX_FMT_RGB555LE, 16, fourcc("CRAM"), fourcc("MSVC")};
        return true;
    case Codec::Cinepak:
        e = {AV_CODEC_ID_CINEPAK, AV_PIX_FMT_RGB24, 24, fourcc("cvid"), fourcc("cvid")};
        return true;
    case Codec::Mjpeg:
        e = {AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, 24, fourcc("MJPG"), fourcc("MJPG")};
        return true;
    case Codec::None:
        break;
    }
    return false;
}

class AviWriter final : public Writer {
public:
    AviWriter(int fd, uint32_t rate, uint32_t imageBytes, const uint8_t *header)
        : fd_(fd), rate_(rate), imageBytes_(imageBytes) {
        width_ = int32_t(loadLe32(header + 4));
        height_ = int32_t(loadLe32(header + 8));
    }
    ~AviWriter() override {
        (void)finish();
        avcodec_free_context(&enc_);
        av_frame_free(&picture_);
        av_packet_free(&packet_);
        sws_freeContext(sws_);
    }

    bool init(const uint8_t *header, size_t size, bool compress) override {
        if (inited_ || fd_ < 0 || !header || size < 40 || loadLe32(header) < 40 || loadLe32(header) > size) return false;
        const uint32_t headerSize = loadLe32(header);
        width_ = int32_t(loadLe32(header + 4));
        height_ = int32_t(loadLe32(header + 8));
        bits_ = loadLe16(header + 14);
        const uint32_t compression = loadLe32(header + 16);
        if (width_ <= 0 || width_ > 0xFFFF || height_ == 0 || height_ < -0xFFFF || height_ > 0xFFFF ||
            compression != 0 || (bits_ != 1 && bits_ != 4 && bits_ != 8 && bits_ != 16 && bits_ != 24 && bits_ != 32))
            return false;
        // Rows bottom-up as DIBs keep them; a top-down frame is refused.
        if (height_ < 0) return false;
        stride_ = ((size_t(width_) * bits_ + 31) / 32) * 4;
        frameBytes_ = stride_ * size_t(height_);
        if (frameBytes_ >= size_t(kLargestFile)) return false;
        colours_ = 0;
        if (bits_ <= 8) {
            colours_ = loadLe32(header + 32);
            if (colours_ == 0 || colours_ > (1u << bits_)) colours_ = 1u << bits_;
        }
        // A table shorter than the depth's (4-bit frames widened to 8 bits
        // bring their 16 entries): the entries not given are black.
        const size_t given = std::min(size - headerSize, 4 * size_t(colours_));
        palette_.assign(header + headerSize, header + headerSize + given);
        palette_.resize(4 * size_t(colours_), 0);

        Encoding e{};
        if (compress && bits_ >= 8 && encodingOf(codec, e)) {
            if (!openEncoder(e)) return false;
            chunkId_ = fourcc("00dc");
            handler_ = e.handler;
            format_ = bitmapHeader(e.bits, e.compression, 0);
        } else {
            chunkId_ = fourcc("00db");
            handler_ = fourcc("DIB ");
            Out f;
            f.b = bitmapHeader(bits_, 0, colours_);
            f.bytes(palette_.data(), palette_.size());
            format_ = std::move(f.b);
        }
        inited_ = true;
        moviEnd_ = kHeaderArea + 12;
        if (!writeHeader(false)) {
            inited_ = false;
            return false;
        }
        return true;
    }

    bool write(int32_t position, const uint8_t *bits, size_t size) override {
        if (!inited_ || !bits || position < 0 || uint32_t(position) < ticks_ || uint32_t(position) >= kLargestTicks ||
            size < frameBytes_)
            return false;
        // The ticks skipped are dropped frames.
        while (ticks_ < uint32_t(position)) {
            if (!chunk(chunkId_, nullptr, 0, 0)) return false;
            ++ticks_;
        }
        if (enc_) {
            if (!encode(bits)) return false;
        } else if (!chunk(chunkId_, bits, frameBytes_, kKeyFrame)) {
            return false;
        }
        ++ticks_;
        return true;
    }

    bool mergeSound(const char *wave, uint32_t ticks, uint32_t rate) override {
        if (!inited_ || soundSamples_ || !wave || !ticks || !rate) return false;
        const int64_t mark = moviEnd_;
        const size_t indexMark = index_.size();
        const bool wasFailed = failed_;
        if (readSound(wave, uint64_t(ticks), rate)) return true;
        // Nothing of a failed merge stays in the file: the video is kept.
        moviEnd_ = mark;
        index_.resize(indexMark);
        soundSamples_ = 0;
        soundChannels_ = 0;
        failed_ = wasFailed || ftruncate(fd_, mark) != 0;
        return false;
    }

    bool finish() override {
        if (fd_ < 0) return true;
        bool ok = true;
        if (inited_) {
            if (enc_ && !failed_) ok = drain();
            // The index after the chunks; when it cannot be written the
            // file stays readable without it.
            const int64_t indexAt = moviEnd_;
            Out idx;
            idx.u32(fourcc("idx1"));
            idx.u32(uint32_t(index_.size()));
            idx.bytes(index_.data(), index_.size());
            bool indexed = moviEnd_ + int64_t(idx.b.size()) <= kLargestFile && put(indexAt, idx.b.data(), idx.b.size());
            if (!indexed) {
                ok = false;
                if (ftruncate(fd_, indexAt) != 0) ok = false;
            }
            fileEnd_ = indexed ? indexAt + int64_t(idx.b.size()) : indexAt;
            ok = writeHeader(indexed) && ok;
        }
        if (close(fd_) != 0) ok = false;
        fd_ = -1;
        return ok && !failed_;
    }

private:
    std::vector<uint8_t> bitmapHeader(uint16_t bits, uint32_t compression, uint32_t colours) const {
        Out f;
        f.u32(40);
        f.u32(uint32_t(width_));
        f.u32(uint32_t(height_));
        f.u16(1);
        f.u16(bits);
        f.u32(compression);
        f.u32(compression ? uint32_t(size_t(width_) * size_t(height_) * bits / 8) : uint32_t(frameBytes_));
        f.u32(0);
        f.u32(0);
        f.u32(colours);
        f.u32(0);
        return std::move(f.b);
    }

    bool openEncoder(const Encoding &e) {
        const AVCodec *codec = avcodec_find_encoder(e.id);
        if (!codec) return false;
        enc_ = avcodec_alloc_context3(codec);
        picture_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!enc_ || !picture_ || !packet_) return false;
        enc_->width = width_;
        enc_->height = height_;
        enc_->pix_fmt = e.format;
        enc_->time_base = AVRational{1, int(rate_)};
        enc_->framerate = AVRational{int(rate_), 1};
        enc_->thread_count = 1;
        if (e.id == AV_CODEC_ID_MJPEG) {
            // Quality 100 is the finest quantiser, 1 the coarsest.
            enc_->flags |= AV_CODEC_FLAG_QSCALE;
            enc_->global_quality = FF_QP2LAMBDA * (1 + (100 - quality) * 30 / 99);
            enc_->color_range = AVCOL_RANGE_JPEG;
        }
        if (avcodec_open2(enc_, codec, nullptr) < 0) return false;
        picture_->format = e.format;
        picture_->width = width_;
        picture_->height = height_;
        if (av_frame_get_buffer(picture_, 0) < 0) return false;
        AVPixelFormat source = bits_ == 8 ? AV_PIX_FMT_PAL8 : bits_ == 16 ? AV_PIX_FMT_RGB555LE
                             : bits_ == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGR0;
        sws_ = sws_getContext(width_, height_, source, width_, height_, e.format, SWS_POINT, nullptr, nullptr,
                              nullptr);
        if (!sws_) return false;
        // The colour table as the scaler takes a palette.
        for (uint32_t c = 0; c < 256; ++c) {
            uint32_t v = c < colours_ ? loadLe32(palette_.data() + 4 * c) & 0xFFFFFF : 0;
            swsPalette_[c] = v | 0xFF000000u;
        }
        return true;
    }

    bool encode(const uint8_t *bits) {
        if (av_frame_make_writable(picture_) < 0) return fail();
        // The scaler reads whole words past the end of a row, so it works
        // on a copy with room behind the frame, never on the caller's block.
        if (input_.size() != frameBytes_ + kScalerSlack) input_.assign(frameBytes_ + kScalerSlack, 0);
        std::memcpy(input_.data(), bits, frameBytes_);
        const uint8_t *src[4] = {input_.data() + stride_ * size_t(height_ - 1), reinterpret_cast<const uint8_t *>(swsPalette_),
                                 nullptr, nullptr};
        int srcStride[4] = {-int(stride_), 0, 0, 0};
        if (sws_scale(sws_, src, srcStride, 0, height_, picture_->data, picture_->linesize) != height_) return fail();
        picture_->pts = ticks_;
        if (avcodec_send_frame(enc_, picture_) < 0) return fail();
        return packets();
    }

    bool drain() { return avcodec_send_frame(enc_, nullptr) >= 0 && packets(); }

    bool packets() {
        for (;;) {
            int r = avcodec_receive_packet(enc_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return fail();
            bool ok = chunk(chunkId_, packet_->data, size_t(packet_->size),
                            packet_->flags & AV_PKT_FLAG_KEY ? kKeyFrame : 0);
            av_packet_unref(packet_);
            if (!ok) return false;
        }
    }

    bool fail() {
        failed_ = true;
        return false;
    }

    bool put(int64_t at, const uint8_t *data, size_t size) {
        while (size) {
            ssize_t n = pwrite(fd_, data, size, at);
            if (n <= 0) return false;
            data += n;
            size -= size_t(n);
            at += n;
        }
        return true;
    }

    // One chunk at the end of the 'movi' list, and its index entry. A
    // chunk cut short (a full disk) is taken off again, so the file ends
    // with whole chunks.
    bool chunk(uint32_t id, const uint8_t *data, size_t size, uint32_t flags) {
        const size_t padded = size + (size & 1);
        if (moviEnd_ + 8 + int64_t(padded) + int64_t(index_.size()) + 32 > kLargestFile) return fail();
        uint8_t head[8];
        Out h;
        h.u32(id);
        h.u32(uint32_t(size));
        std::memcpy(head, h.b.data(), 8);
        static const uint8_t zero = 0;
        iovec parts[3] = {{head, 8}, {const_cast<uint8_t *>(data), size}, {const_cast<uint8_t *>(&zero), padded - size}};
        size_t want = 8 + padded, done = 0;
        int64_t at = moviEnd_;
        while (done < want) {
            // Skip the parts written already.
            iovec rest[3];
            int n = 0;
            size_t skip = done;
            for (const iovec &p : parts) {
                if (skip >= p.iov_len) {
                    skip -= p.iov_len;
                    continue;
                }
                rest[n++] = {static_cast<uint8_t *>(p.iov_base) + skip, p.iov_len - skip};
                skip = 0;
            }
            ssize_t w = pwritev(fd_, rest, n, at + int64_t(done));
            if (w <= 0) {
                // A failed cut leaves a torn chunk after the indexed ones,
                // which readers skip.
                if (ftruncate(fd_, moviEnd_) != 0) failed_ = true;
                return fail();
            }
            done += size_t(w);
        }
        Out e;
        e.u32(id);
        e.u32(flags);
        e.u32(uint32_t(moviEnd_ - (kHeaderArea + 8)));
        e.u32(uint32_t(size));
        index_.insert(index_.end(), e.b.begin(), e.b.end());
        moviEnd_ += int64_t(want);
        largestChunk_ = std::max(largestChunk_, uint32_t(size));
        return true;
    }

    // The header area: RIFF and 'hdrl' with the streams, padding up to the
    // 'movi' list, and that list's own header.
    bool writeHeader(bool indexed) {
        const uint32_t suggested = std::max<uint32_t>(largestChunk_, uint32_t(std::min<size_t>(frameBytes_, imageBytes_ ? imageBytes_ : frameBytes_)));
        Out o;
        o.u32(fourcc("RIFF"));
        o.u32(uint32_t(std::max(fileEnd_, moviEnd_) - 8));
        o.u32(fourcc("AVI "));
        size_t hdrl = o.open(fourcc("LIST"), fourcc("hdrl"));
        size_t avih = o.open(fourcc("avih"));
        o.u32(1000000 / rate_);
        o.u32(suggested * rate_);
        o.u32(0);
        o.u32(indexed ? kHasIndex : 0);
        o.u32(ticks_);
        o.u32(0);
        o.u32(soundChannels_ ? 2 : 1);
        o.u32(suggested);
        o.u32(uint32_t(width_));
        o.u32(uint32_t(height_));
        for (int k = 0; k < 4; ++k) o.u32(0);
        o.close(avih);

        size_t strl = o.open(fourcc("LIST"), fourcc("strl"));
        size_t strh = o.open(fourcc("strh"));
        o.u32(fourcc("vids"));
        o.u32(handler_);
        o.u32(0);
        o.u32(0);
        o.u32(0);
        o.u32(1);
        o.u32(rate_);
        o.u32(0);
        o.u32(ticks_);
        o.u32(suggested);
        o.u32(0xFFFFFFFF);
        o.u32(0);
        o.u16(0);
        o.u16(0);
        o.u16(uint32_t(width_));
        o.u16(uint32_t(height_));
        o.close(strh);
        size_t strf = o.open(fourcc("strf"));
        o.bytes(format_.data(), format_.size());
        o.close(strf);
        o.close(strl);

        if (soundChannels_) {
            const uint32_t align = 2 * soundChannels_;
            size_t astrl = o.open(fourcc("LIST"), fourcc("strl"));
            size_t ah = o.open(fourcc("strh"));
            o.u32(fourcc("auds"));
            o.u32(0);
            o.u32(0);
            o.u32(0);
            o.u32(0);
            o.u32(align);
            o.u32(soundRate_ * align);
            o.u32(0);
            o.u32(soundSamples_);
            o.u32(soundRate_ * align);
            o.u32(0xFFFFFFFF);
            o.u32(align);
            for (int k = 0; k < 4; ++k) o.u16(0);
            o.close(ah);
            size_t af = o.open(fourcc("strf"));
            o.u16(1);
            o.u16(soundChannels_);
            o.u32(soundRate_);
            o.u32(soundRate_ * align);
            o.u16(align);
            o.u16(16);
            o.u16(0);
            o.close(af);
            o.close(astrl);
        }
        o.close(hdrl);
        size_t junk = o.open(fourcc("JUNK"));
        o.b.resize(size_t(kHeaderArea), 0);
        o.close(junk);
        o.u32(fourcc("LIST"));
        o.u32(uint32_t(moviEnd_ - kHeaderArea - 8));
        o.u32(fourcc("movi"));
        return put(0, o.b.data(), o.b.size());
    }

    // The WAVE file's samples as 16-bit PCM chunks of a second or less,
    // cut or filled with silence to ticks / rate seconds.
    bool readSound(const char *wave, uint64_t ticks, uint32_t rate) {
        AVFormatContext *in = nullptr;
        if (avformat_open_input(&in, wave, av_find_input_format("wav"), nullptr) < 0) return false;
        struct Closer {
            AVFormatContext *&in;
            AVCodecContext *dec = nullptr;
            AVFrame *frame = av_frame_alloc();
            AVPacket *packet = av_packet_alloc();
            ~Closer() {
                av_frame_free(&frame);
                av_packet_free(&packet);
                avcodec_free_context(&dec);
                avformat_close_input(&in);
            }
        } c{in};
        int si = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (si < 0 || !c.frame || !c.packet) return false;
        const AVCodecParameters *par = in->streams[si]->codecpar;
        const AVCodec *codec = avcodec_find_decoder(par->codec_id);
        if (!codec || !(c.dec = avcodec_alloc_context3(codec)) || avcodec_parameters_to_context(c.dec, par) < 0 ||
            avcodec_open2(c.dec, codec, nullptr) < 0)
            return false;
        const int channels = c.dec->ch_layout.nb_channels;
        if (channels < 1 || channels > 8 || c.dec->sample_rate < 1 || c.dec->sample_rate > 384000) return false;
        soundChannels_ = uint32_t(channels);
        soundRate_ = uint32_t(c.dec->sample_rate);
        const uint64_t total = ticks * soundRate_ / rate;
        if (total > 0x7FFFFFFF / (2 * soundChannels_)) return false;
        std::vector<uint8_t> block;
        const size_t blockSamples = soundRate_;
        block.reserve(blockSamples * 2 * soundChannels_);
        uint64_t written = 0;
        auto flush = [&]() {
            if (block.empty()) return true;
            bool ok = chunk(fourcc("01wb"), block.data(), block.size(), kKeyFrame);
            written += block.size() / (2 * soundChannels_);
            block.clear();
            return ok;
        };
        auto sample = [&](int16_t v) {
            block.push_back(uint8_t(v));
            block.push_back(uint8_t(uint16_t(v) >> 8));
        };
        bool draining = false;
        while (written + block.size() / (2 * soundChannels_) < total) {
            int r = avcodec_receive_frame(c.dec, c.frame);
            if (r == 0) {
                if (c.frame->ch_layout.nb_channels != channels) return false;
                const AVSampleFormat fmt = AVSampleFormat(c.frame->format);
                const bool planar = av_sample_fmt_is_planar(fmt);
                const AVSampleFormat packed = av_get_packed_sample_fmt(fmt);
                for (int s = 0; s < c.frame->nb_samples; ++s) {
                    if (written + block.size() / (2 * soundChannels_) >= total) break;
                    for (int ch = 0; ch < channels; ++ch) {
                        const uint8_t *base = c.frame->extended_data[planar ? ch : 0];
                        const size_t k = planar ? size_t(s) : size_t(s) * size_t(channels) + size_t(ch);
                        sample(toS16(packed, base, k));
                    }
                    if (block.size() >= blockSamples * 2 * soundChannels_ && !flush()) return false;
                }
                av_frame_unref(c.frame);
                continue;
            }
            if (r != AVERROR(EAGAIN) || draining) break;
            if (av_read_frame(in, c.packet) < 0) {
                draining = true;
                if (avcodec_send_packet(c.dec, nullptr) < 0) break;
                continue;
            }
            if (c.packet->stream_index == si && avcodec_send_packet(c.dec, c.packet) < 0) {
                av_packet_unref(c.packet);
                return false;
            }
            av_packet_unref(c.packet);
        }
        // Silence for the rest of the video's length.
        while (written + block.size() / (2 * soundChannels_) < total) {
            sample(0);
            if (block.size() % (2 * soundChannels_) == 0 && block.size() >= blockSamples * 2 * soundChannels_ && !flush())
                return false;
        }
        if (!flush()) return false;
        soundSamples_ = uint32_t(written);
        return soundSamples_ > 0;
    }

    static int16_t toS16(AVSampleFormat fmt, const uint8_t *base, size_t k) {
        auto clip = [](double v) { return int16_t(std::clamp(v * 32768.0, -32768.0, 32767.0)); };
        switch (fmt) {
        case AV_SAMPLE_FMT_U8:
            return int16_t((int(base[k]) - 128) << 8);
        case AV_SAMPLE_FMT_S16:
            return int16_t(loadLe16(base + 2 * k));
        case AV_SAMPLE_FMT_S32:
            return int16_t(int32_t(loadLe32(base + 4 * k)) >> 16);
        case AV_SAMPLE_FMT_S64: {
            int64_t v;
            std::memcpy(&v, base + 8 * k, 8);
            return int16_t(v >> 48);
        }
        case AV_SAMPLE_FMT_FLT: {
            float v;
            std::memcpy(&v, base + 4 * k, 4);
            return clip(v);
        }
        case AV_SAMPLE_FMT_DBL: {
            double v;
            std::memcpy(&v, base + 8 * k, 8);
            return clip(v);
        }
        default:
            return 0;
        }
    }

    int fd_;
    uint32_t rate_, imageBytes_;
    int32_t width_ = 0, height_ = 0;
    uint16_t bits_ = 0;
    uint32_t colours_ = 0;
    size_t stride_ = 0, frameBytes_ = 0;
    std::vector<uint8_t> palette_, format_, index_, input_;
    static constexpr size_t kScalerSlack = AV_INPUT_BUFFER_PADDING_SIZE;
    uint32_t handler_ = 0, chunkId_ = 0;
    bool inited_ = false, failed_ = false;
    int64_t moviEnd_ = 0, fileEnd_ = 0;
    uint32_t ticks_ = 0, largestChunk_ = 0;
    uint32_t soundChannels_ = 0, soundRate_ = 0, soundSamples_ = 0;
    AVCodecContext *enc_ = nullptr;
    AVFrame *picture_ = nullptr;
    AVPacket *packet_ = nullptr;
    SwsContext *sws_ = nullptr;
    uint32_t swsPalette_[256] = {};
};

}  // namespace

std::unique_ptr<Writer> createWriter(const char *name, uint32_t rate, uint32_t imageBytes, const uint8_t *frameHeader) {
    if (!name || !frameHeader || rate < 1 || rate > 1000 || loadLe32(frameHeader) < 40) return nullptr;
    quietLibraries();
    int fd = open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<AviWriter>(fd, rate, imageBytes, frameHeader);
}

}  // namespace vfw
