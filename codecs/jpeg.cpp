// JPEG reader and writer over the JPEG library stand-in (ijl11.dll on
// Windows, imported by ordinal; linked in on Linux).
#include "codecs/jpeg.h"

#include <cstring>
#include <string>

#include "entry/image_block.h"
#include "ijl/ijl.h"

namespace vc {

namespace {

// A movable block locked for the call, freed on every way out unless kept.
struct Buffer {
    MemHandle h = nullptr;
    uint8_t *p = nullptr;
    bool alloc(uint64_t size) {
        if (size == 0 || size > SIZE_MAX) return false;
        h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, size_t(size));
        if (h && !(p = static_cast<uint8_t *>(plat::memLock(h)))) {
            plat::memFree(h);
            h = nullptr;
        }
        return p != nullptr;
    }
    MemHandle keep() {
        MemHandle r = h;
        plat::memUnlock(h);
        h = nullptr;
        p = nullptr;
        return r;
    }
    ~Buffer() {
        if (h) {
            plat::memUnlock(h);
            plat::memFree(h);
        }
    }
};

// The properties record released on every way out once initialised.
struct Session {
    JlProperties props;
    bool live = false;
    Session() { std::memset(&props, 0, sizeof props); }
    bool init() { return live = JlInit(&props) == JL_OK; }
    ~Session() {
        if (live) JlFree(&props);
    }
};

int16_t readJpeg(const char *fileName, MemHandle *image) {
    const std::string name = fileName;
    Session s;
    if (!s.init()) return CONV_E_READ;
    s.props.jpegFile = name.c_str();
    if (JlRead(&s.props, JL_READ_PARAMS) != JL_OK) return CONV_E_READ;
    const int32_t width = s.props.jpegWidth, height = s.props.jpegHeight;
    const int32_t channels = s.props.dibChannels;
    if (width <= 0 || height <= 0 || channels != 3) return CONV_E_READ;
    Buffer pixels;
    if (!pixels.alloc(uint64_t(channels) * uint64_t(width) * uint64_t(height))) return CONV_E_MEMORY;
    s.props.dibWidth = width;
    s.props.dibHeight = height;
    s.props.dibBytes = pixels.p;
    if (JlRead(&s.props, JL_READ_IMAGE) != JL_OK) return CONV_E_UNSUPPORTED;

    Buffer out;
    const uint64_t rowBytes = dibRowBytes(width, 24);
    const uint64_t size = kBitmapHeaderSize + rowBytes * uint64_t(height);
    if (size > 0x7FFF0000ull || !out.alloc(size)) return CONV_E_MEMORY;
    ConvBitmapInfoHeader h{};
    h.biSize = kBitmapHeaderSize;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::memcpy(out.p, &h, sizeof h);
    // Buffer rows run top down without padding; the block's run bottom up.
    const size_t line = size_t(width) * 3;
    uint8_t *rows = out.p + kBitmapHeaderSize;
    for (int32_t i = 0; i < height; ++i)
        std::memcpy(rows + rowBytes * uint64_t(height - 1 - i), pixels.p + line * size_t(i), line);
    *image = out.keep();
    return CONV_OK;
}

}  // namespace

bool DetectJpegFile(HFile file) {
    uint8_t a = 0, b = 0;
    const bool two = plat::fileRead(file, &a, 1) == 1 && plat::fileRead(file, &b, 1) == 1;
    plat::fileSeek(file, 0, plat::kSeekSet);
    return two && a == 0xFF && b == 0xD8;
}

int16_t LoadJpegImage(const char *fileName, MemHandle *image) {
    *image = nullptr;
    return readJpeg(fileName, image);
}

int16_t GetJpegPreview(const char *fileName, ConvImageRecord *record) {
    record->image = nullptr;
    record->bitsOffset = 0;
    return LoadJpegImage(fileName, &record->image);
}

int16_t SaveJpegImage(const char *fileName, MemHandle image) {
    const std::string name = fileName;
    Session s;
    auto *block = static_cast<uint8_t *>(plat::memLock(image));
    if (!block) return CONV_E_MEMORY;
    struct Unlock {
        MemHandle h;
        bool on = true;
        void now() {
            if (on) plat::memUnlock(h);
            on = false;
        }
        ~Unlock() { now(); }
    } unlock{image};

    ConvBitmapInfoHeader h;
    const size_t blockSize = plat::memSize(image);
    if (blockSize < sizeof h) return CONV_E_UNSUPPORTED;
    std::memcpy(&h, block, sizeof h);
    if (h.biSize != kBitmapHeaderSize || h.biBitCount != 24 || h.biCompression != 0) return CONV_E_UNSUPPORTED;
    if (!s.init()) return CONV_E_MEMORY;

    const int32_t width = h.biWidth;
    const int32_t height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    s.props.jpegSubsampling = JL_SUBSAMPLE_422;
    s.props.jpegFile = name.c_str();
    s.props.jpegQuality = 100;
    s.props.dibWidth = s.props.jpegWidth = width;
    s.props.dibHeight = s.props.jpegHeight = height;
    // Rows follow a colour table of 1 to 256 entries; other counts mean none.
    const uint64_t bitsOffset = kBitmapHeaderSize + (h.biClrUsed >= 1 && h.biClrUsed <= 256 ? 4ull * h.biClrUsed : 0);
    const uint64_t rowBytes = dibRowBytes(width, 24);
    // A block too small for the rows its header promises is not read from.
    if (width <= 0 || height <= 0 || bitsOffset + rowBytes * uint64_t(height) > blockSize) return CONV_E_UNSUPPORTED;

    Buffer pixels;
    if (!pixels.alloc(3ull * uint64_t(width) * uint64_t(height))) return CONV_E_MEMORY;
    s.props.dibBytes = pixels.p;
    const size_t line = size_t(width) * 3;
    const uint8_t *rows = block + bitsOffset;
    for (int32_t r = 0; r < height; ++r) {
        const int32_t src = h.biHeight < 0 ? height - 1 - r : r;
        std::memcpy(pixels.p + line * size_t(height - 1 - r), rows + rowBytes * uint64_t(src), line);
    }
    unlock.now();
    if (JlWrite(&s.props, JL_WRITE_IMAGE) != JL_OK) return CONV_E_WRITE;
    return CONV_OK;
}

int16_t loadJpegRow(const LoadRequest &request) {
    if (!request.record) return CONV_E_FORMAT;
    return LoadJpegImage(request.fileName, &request.record->image);
}

int16_t saveJpegRow(const SaveRequest &request) { return SaveJpegImage(request.fileName, request.image); }

}  // namespace vc
