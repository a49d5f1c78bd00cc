// The Linux companion's inner parts over FFmpeg's libraries: a streaming
// reader that hands out one decoded frame at a time as a packed DIB, and a
// writer that lays out the AVI file itself (so frames may be written at
// any later tick and sound added after the video). The exports in
// velmvfw_ffmpeg.cpp wrap them; the fuzz harness reaches the reader from
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vfw {

class Reader {
public:
    virtual ~Reader() = default;
    virtual uint32_t frameCount() const = 0;
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    virtual uint32_t rate() const = 0;
    // Frame i as a packed DIB (header, colour table, bottom-up rows), valid
    // until the next call; null when it cannot be had.
    virtual const uint8_t *frame(int64_t i) = 0;
};

// Null when the file is not an AVI file with a video stream FFmpeg decodes.
std::unique_ptr<Reader> openReader(const char *name);
// The same over bytes in memory (kept by the caller while the reader lives).
std::unique_ptr<Reader> openReader(const uint8_t *data, size_t size);

// Keeps FFmpeg's own messages off stderr.
void quietLibraries();

// Pixels per frame a reader accepts; the fuzz harness lowers it.
void setPictureLimit(uint64_t pixels);

// The compressors the compression options offer, in their list's order.
enum class Codec { None, MsVideo1, Cinepak, Mjpeg };

class Writer {
public:
    virtual ~Writer() = default;
    // The frame format: BITMAPINFOHEADER and colour table.
    virtual bool init(const uint8_t *header, size_t size, bool compress) = 0;
    virtual bool write(int32_t position, const uint8_t *bits, size_t size) = 0;
    virtual bool mergeSound(const char *wave, uint32_t ticks, uint32_t rate) = 0;
    virtual bool finish() = 0;
    Codec codec = Codec::None;
    int quality = 75;  // 1 to 100
};

// rate: frames per second; frameHeader: the frame's BITMAPINFOHEADER.
std::unique_ptr<Writer> createWriter(const char *name, uint32_t rate, uint32_t imageBytes,
                                     const uint8_t *frameHeader);

}  // namespace vfw
