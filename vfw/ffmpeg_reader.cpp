// Reading AVI files over FFmpeg: the demuxer and decoder run on one
// stream, one decoded picture at a time, through our own I/O callbacks so
// a file and a memory buffer take the same path.
//
// Frame i of the file is the picture whose timestamp is the latest at or
// before i: empty chunks (dropped frames, the way a held picture is
// written) carry no packet and leave the previous picture on show.
// An AVI chunk's only time is its place in the stream, and a stream with
// pictures stored out of display order (B-frames) holds them in decoding
// order; the decoder gives them back in display order, so the k-th
// picture out of it takes the k-th chunk time, in order, of the packets
// fed since decoding began. That holds from the start of the stream; after
// a seek the decoder may drop the pictures that lean on frames before the
// key frame (an open group of pictures), so such a stream seeks only to a
// key frame whose place in display order a decoding from the start has
// already found, or to the start itself, and takes up the count again at
// that key frame's place.
// Sequential requests decode forward from where the last one stopped; a
// request behind it, or past a key frame ahead of it, seeks to the key
// frame at or before it.
#include "vfw/ffmpeg_backend.h"

#include "common/bytes.h"
#include "common/dib.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace vfw {
namespace {

uint64_t gPictureLimit = uint64_t(1) << 26;
constexpr int kIoBuffer = 64 * 1024;
constexpr int64_t kKeySpacing = 8;

// Where the bytes come from: a file or a span of memory.
struct Source {
    virtual ~Source() = default;
    virtual int read(uint8_t *buffer, int size) = 0;
    virtual int64_t seek(int64_t offset, int whence) = 0;
};

struct FileSource final : Source {
    FILE *file;
    int64_t size = 0;
    explicit FileSource(FILE *f) : file(f) {
        if (fseeko(file, 0, SEEK_END) == 0) size = ftello(file);
        if (fseeko(file, 0, SEEK_SET) != 0) size = 0;
    }
    ~FileSource() override { fclose(file); }
    int read(uint8_t *buffer, int n) override {
        size_t got = fread(buffer, 1, size_t(n), file);
        return got ? int(got) : AVERROR_EOF;
    }
    int64_t seek(int64_t offset, int whence) override {
        if (whence == AVSEEK_SIZE) return size;
        if (fseeko(file, offset, whence) != 0) return -1;
        return ftello(file);
    }
};

struct MemorySource final : Source {
    const uint8_t *data;
    int64_t size, pos = 0;
    MemorySource(const uint8_t *d, size_t n) : data(d), size(int64_t(n)) {}
    int read(uint8_t *buffer, int n) override {
        int64_t left = size - pos;
        if (left <= 0) return AVERROR_EOF;
        int got = int(std::min<int64_t>(left, n));
        std::memcpy(buffer, data + pos, size_t(got));
        pos += got;
        return got;
    }
    int64_t seek(int64_t offset, int whence) override {
        int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? pos : whence == SEEK_END ? size : -1;
        if (whence == AVSEEK_SIZE) return size;
        if (base < 0 || offset < -base || base + offset > size) return -1;
        pos = base + offset;
        return pos;
    }
};

int readPacket(void *opaque, uint8_t *buffer, int size) { return static_cast<Source *>(opaque)->read(buffer, size); }
int64_t seekSource(void *opaque, int64_t offset, int whence) {
    return static_cast<Source *>(opaque)->seek(offset, whence & ~AVSEEK_FORCE);
}

class FfmpegReader final : public Reader {
public:
    explicit FfmpegReader(std::unique_ptr<Source> source) : source_(std::move(source)) {}
    ~FfmpegReader() override { close(); }

    bool open() {
        if (!openDemuxer()) return false;
        const AVCodecParameters *par = fmt_->streams[stream_]->codecpar;
        if (par->width <= 0 || par->height <= 0 || par->width > 0xFFFF || par->height > 0xFFFF ||
            uint64_t(par->width) * uint64_t(par->height) > gPictureLimit)
            return false;
        width_ = uint32_t(par->width);
        height_ = uint32_t(par->height);
        const AVCodec *codec = avcodec_find_decoder(par->codec_id);
        if (!codec) return false;
        dec_ = avcodec_alloc_context3(codec);
        if (!dec_ || avcodec_parameters_to_context(dec_, par) < 0) return false;
        dec_->thread_count = 1;
        dec_->max_pixels = int64_t(gPictureLimit);
        if (avcodec_open2(dec_, codec, nullptr) < 0) return false;
        const AVCodecDescriptor *desc = avcodec_descriptor_get(par->codec_id);
        reorders_ = desc && (desc->props & AV_CODEC_PROP_REORDER);
        cur_ = av_frame_alloc();
        next_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!cur_ || !next_ || !packet_) return false;

        AVStream *st = fmt_->streams[stream_];
        AVRational tb = st->time_base;
        if (tb.num > 0 && tb.den > 0) rate_ = uint32_t(std::clamp<int64_t>((int64_t(tb.den) + tb.num / 2) / tb.num, 1, 0xFFFF));
        // The index, when there is one, tells where the last picture is;
        // the header's count is believed only without it.
        int entries = avformat_index_get_entries_count(st);
        int64_t count = st->nb_frames;
        if (entries > 0) {
            count = avformat_index_get_entry(st, entries - 1)->timestamp + 1 - startPts();
        }
        frames_ = uint32_t(std::clamp<int64_t>(count, 0, INT32_MAX));
        return frames_ > 0;
    }

    uint32_t frameCount() const override { return frames_; }
    uint32_t width() const override { return width_; }
    uint32_t height() const override { return height_; }
    uint32_t rate() const override { return rate_; }

    const uint8_t *frame(int64_t i) override {
        if (i < 0 || i >= int64_t(frames_) || !fmt_) return nullptr;
        if (i == dibFor_) return dib_.data();
        int64_t target = i + startPts();
        if (needSeek(target) && !seekTo(target)) return nullptr;
        // Decode forward until the next picture lies past the target.
        while (!eof_) {
            if (!nextValid_ && !decodeNext()) break;
            if (pts(next_) > target) break;
            std::swap(cur_, next_);
            curValid_ = true;
            nextValid_ = false;
        }
        if (!curValid_ || pts(cur_) > target) return nullptr;
        // A picture that failed to decode between the last good one and
        // the target: the target cannot be had.
        if (failedPts_ > pts(cur_) && failedPts_ <= target) return nullptr;
        // Past the stream's last packet only the last picture itself.
        if (eof_ && !nextValid_ && target > pts(cur_)) return nullptr;
        if (!toDib(cur_)) return nullptr;
        dibFor_ = i;
        return dib_.data();
    }

private:
    bool openDemuxer() {
        uint8_t *buffer = static_cast<uint8_t *>(av_malloc(kIoBuffer));
        if (!buffer) return false;
        io_ = avio_alloc_context(buffer, kIoBuffer, 0, source_.get(), readPacket, nullptr, seekSource);
        if (!io_) {
            av_free(buffer);
            return false;
        }
        fmt_ = avformat_alloc_context();
        if (!fmt_) return false;
        fmt_->pb = io_;
        fmt_->flags |= AVFMT_FLAG_CUSTOM_IO;
        const AVInputFormat *avi = av_find_input_format("avi");
        if (avformat_open_input(&fmt_, nullptr, avi, nullptr) < 0) {
            fmt_ = nullptr;  // freed by the failed open
            return false;
        }
        stream_ = -1;
        for (unsigned s = 0; s < fmt_->nb_streams; ++s) {
            if (fmt_->streams[s]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && stream_ < 0)
                stream_ = int(s);
            else
                fmt_->streams[s]->discard = AVDISCARD_ALL;
        }
        return stream_ >= 0;
    }

    void close() {
        av_frame_free(&cur_);
        av_frame_free(&next_);
        av_packet_free(&packet_);
        avcodec_free_context(&dec_);
        sws_freeContext(sws_);
        sws_ = nullptr;
        av_freep(&scratch_[0]);
        if (fmt_) avformat_close_input(&fmt_);
        if (io_) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
    }

    int64_t startPts() const {
        int64_t s = fmt_->streams[stream_]->start_time;
        return s == AV_NOPTS_VALUE ? 0 : s;
    }
    static bool keyFrame(const AVFrame *f) {
#ifdef AV_FRAME_FLAG_KEY
        return f->flags & AV_FRAME_FLAG_KEY;
#else
        return f->key_frame;
#endif
    }
    static int64_t pts(const AVFrame *f) {
        return f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    }

    // A key frame kept less than kKeySpacing places from `at` on either side.
    std::map<int64_t, int64_t>::const_iterator keptKeyWithin(int64_t at) const {
        auto next = keySlots_.lower_bound(at);
        if (next != keySlots_.end() && next->first - at < kKeySpacing) return next;
        if (next != keySlots_.begin() && at - std::prev(next)->first < kKeySpacing) return std::prev(next);
        return keySlots_.end();
    }

    // The position the decoder will reach next without seeking.
    int64_t nextPosition() const {
        if (nextValid_) return pts(next_);
        return curValid_ ? pts(cur_) + 1 : startPts();
    }

    bool needSeek(int64_t target) {
        if (curValid_ && target < pts(cur_)) return true;
        if (eof_) return false;
        if (reorders_) {
            auto k = keySlots_.upper_bound(target);
            return k != keySlots_.begin() && std::prev(k)->first > nextPosition();
        }
        AVStream *st = fmt_->streams[stream_];
        int k = av_index_search_timestamp(st, target, AVSEEK_FLAG_BACKWARD);
        return k >= 0 && avformat_index_get_entry(st, k)->timestamp > nextPosition();
    }

    // To the key frame at or before the target; without an index, back to
    // the start by opening the file again.
    bool seekTo(int64_t target) {
        int64_t to = target;
        if (reorders_) {
            auto k = keySlots_.upper_bound(target);
            to = k == keySlots_.begin() ? startPts() : std::prev(k)->second;
        }
        if (av_seek_frame(fmt_, stream_, to, AVSEEK_FLAG_BACKWARD) < 0) {
            avformat_close_input(&fmt_);
            av_freep(&io_->buffer);
            avio_context_free(&io_);
            if (source_->seek(0, SEEK_SET) != 0 || !openDemuxer()) return false;
            to = startPts();
        }
        avcodec_flush_buffers(dec_);
        curValid_ = nextValid_ = eof_ = draining_ = false;
        ticks_.clear();
        synced_ = !reorders_ || to <= startPts();
        failedPts_ = INT64_MIN;
        return true;
    }

    // The next decoded picture into next_; false at the end of the stream.
    bool decodeNext() {
        for (;;) {
            int r = avcodec_receive_frame(dec_, next_);
            if (r == 0) {
                // The frame's own packet's chunk time comes back as its pts.
                const int64_t own = next_->pts;
                auto known = keyChunks_.find(own);
                if (known != keyChunks_.end()) {
                    while (!ticks_.empty() && ticks_.front() < known->second) ticks_.pop_front();
                    synced_ = true;
                }
                int64_t at = nextPosition();
                if (!ticks_.empty()) {
                    at = ticks_.front();
                    ticks_.pop_front();
                }
                next_->best_effort_timestamp = at;
                // Key frames at least kKeySpacing apart are kept, so a video
                // of key frames only does not grow the maps with every frame.
                if (reorders_ && synced_ && keyFrame(next_) && own != AV_NOPTS_VALUE && !keyChunks_.count(own) &&
                    keptKeyWithin(at) == keySlots_.end()) {
                    keyChunks_[own] = at;
                    keySlots_[at] = own;
                }
                if (next_->width != int(width_) || next_->height != int(height_)) {
                    failedPts_ = std::max(failedPts_, at);
                    av_frame_unref(next_);
                    continue;
                }
                nextValid_ = true;
                return true;
            }
            if (r == AVERROR_EOF) {
                eof_ = true;
                return false;
            }
            if (r != AVERROR(EAGAIN)) {
                eof_ = true;
                return false;
            }
            if (draining_) {
                eof_ = true;
                return false;
            }
            r = av_read_frame(fmt_, packet_);
            if (r < 0) {
                draining_ = true;
                if (avcodec_send_packet(dec_, nullptr) < 0) {
                    eof_ = true;
                    return false;
                }
                continue;
            }
            if (packet_->stream_index == stream_ && packet_->size > 0) {
                int64_t at = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
                packet_->pts = at;
                if (avcodec_send_packet(dec_, packet_) < 0) {
                    if (at != AV_NOPTS_VALUE) failedPts_ = std::max(failedPts_, at);
                } else if (at != AV_NOPTS_VALUE) {
                    ticks_.push_back(at);
                }
            }
            av_packet_unref(packet_);
        }
    }

    // The picture as a packed DIB into the reused buffer: 8 bits with its
    // palette when the video is palettised, 24 bits otherwise.
    bool toDib(const AVFrame *f) {
        const bool pal8 = f->format == AV_PIX_FMT_PAL8 && f->data[1];
        const uint32_t bits = pal8 ? 8 : 24;
        const size_t stride = size_t(vc::dibRowBytes(width_, bits));
        const size_t header = 40 + (pal8 ? 1024 : 0);
        const size_t total = header + stride * height_;
        if (dib_.size() != total) dib_.assign(total, 0);
        uint8_t *h = dib_.data();
        std::memset(h, 0, 40);
        vc::storeLe32(h, 40);
        vc::storeLe32(h + 4, width_);
        vc::storeLe32(h + 8, height_);
        vc::storeLe16(h + 12, 1);
        vc::storeLe16(h + 14, bits);
        vc::storeLe32(h + 20, uint32_t(stride * height_));
        vc::storeLe32(h + 32, pal8 ? 256 : 0);
        uint8_t *pixels = h + header;
        if (pal8) {
            const uint32_t *pal = reinterpret_cast<const uint32_t *>(f->data[1]);
            for (int c = 0; c < 256; ++c) {
                vc::storeLe32(h + 40 + 4 * c, pal[c] & 0xFFFFFF);
            }
            for (uint32_t y = 0; y < height_; ++y) {
                uint8_t *row = pixels + (height_ - 1 - y) * stride;
                std::memcpy(row, f->data[0] + ptrdiff_t(y) * f->linesize[0], width_);
                std::memset(row + width_, 0, stride - width_);
            }
            return true;
        }
        // Rows of 24-bit pictures are copied as they are; other formats go
        // through the scaler into a scratch picture of the same size first
        // (its converters take top-down rows at aligned strides).
        const uint8_t *rows = f->data[0];
        ptrdiff_t rowStride = f->linesize[0];
        if (f->format != AV_PIX_FMT_BGR24) {
            sws_ = sws_getCachedContext(sws_, int(width_), int(height_), AVPixelFormat(f->format), int(width_),
                                        int(height_), AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
            if (!sws_) return false;
            if (!scratch_[0] && av_image_alloc(scratch_, scratchStride_, int(width_), int(height_), AV_PIX_FMT_BGR24, 32) < 0)
                return false;
            if (sws_scale(sws_, f->data, f->linesize, 0, int(height_), scratch_, scratchStride_) != int(height_))
                return false;
            rows = scratch_[0];
            rowStride = scratchStride_[0];
        }
        for (uint32_t y = 0; y < height_; ++y) {
            uint8_t *row = pixels + (height_ - 1 - y) * stride;
            std::memcpy(row, rows + ptrdiff_t(y) * rowStride, size_t(width_) * 3);
            std::memset(row + size_t(width_) * 3, 0, stride - size_t(width_) * 3);
        }
        return true;
    }

    std::unique_ptr<Source> source_;
    AVIOContext *io_ = nullptr;
    AVFormatContext *fmt_ = nullptr;
    AVCodecContext *dec_ = nullptr;
    SwsContext *sws_ = nullptr;
    AVFrame *cur_ = nullptr, *next_ = nullptr;
    AVPacket *packet_ = nullptr;
    int stream_ = -1;
    uint32_t frames_ = 0, width_ = 0, height_ = 0, rate_ = 1;
    bool curValid_ = false, nextValid_ = false, eof_ = false, draining_ = false;
    int64_t failedPts_ = INT64_MIN;
    bool reorders_ = false, synced_ = true;
    std::map<int64_t, int64_t> keyChunks_, keySlots_;  // key frames found: chunk time to place, place to chunk time
    std::deque<int64_t> ticks_;  // chunk times of the packets fed, not yet given a picture
    int64_t dibFor_ = -1;
    std::vector<uint8_t> dib_;
    uint8_t *scratch_[4] = {};
    int scratchStride_[4] = {};
};

std::unique_ptr<Reader> openFrom(std::unique_ptr<Source> source) {
    quietLibraries();
    auto reader = std::make_unique<FfmpegReader>(std::move(source));
    if (!reader->open()) return nullptr;
    return reader;
}

}  // namespace

// FFmpeg reports damaged input on stderr; the companion's callers learn
// of it from its results instead.
void quietLibraries() { av_log_set_level(AV_LOG_QUIET); }

void setPictureLimit(uint64_t pixels) { gPictureLimit = pixels; }

std::unique_ptr<Reader> openReader(const char *name) {
    if (!name) return nullptr;
    FILE *f = fopen(name, "rb");
    if (!f) return nullptr;
    return openFrom(std::make_unique<FileSource>(f));
}

std::unique_ptr<Reader> openReader(const uint8_t *data, size_t size) {
    return openFrom(std::make_unique<MemorySource>(data, size));
}

}  // namespace vfw
