// The JPEG load, preview and save. The load reads the file through the
// platform's file calls and hands its bytes to the core; the save has the
// core encode the image block's picture and writes the bytes through the
// same calls, so a save goes wherever the platform's file calls go.
//
// A file that cannot be read whole gives Result::readFailed. A save that
// cannot create or write its file gives Result::writeFailed, as the core's failed
// encoding does; the file is made before the encoding, as the library
// made it before it wrote.
#include "stills/jpeg.h"

#include <cstring>
#include <vector>

#include "codecs/jpeg_core.h"
#include "common/file_window.h"
#include "common/image_block.h"
#include "common/limits.h"
#include "common/whole_file.h"
#include "platform/owners.h"
#include "stills/picture_blocks.h"

namespace vc {

bool DetectJpegFile(HFile file) {
    uint8_t head[2];
    const ByteReader r = readFileHead(file, head, sizeof head);
    return looksLikeJpeg({r.data(), r.size()});
}

Result LoadJpegImage(const char *fileName, MemHandle *image) {
    *image = nullptr;
    plat::Block bytes;
    size_t size = 0;
    if (const Result r = readWholeFile(fileName, bytes, size); r != Result::ok) return r;
    CoreRequest request;
    request.limits = limits();
    Picture picture;
    BlockRows rows;
    rows.header.recordImageSize = false;  // biSizeImage stays 0
    const Result r = decodeJpeg({bytes.data(), size}, request, picture, rows.target());
    // Called directly, bytes of another kind are a file the library cannot read.
    if (r == Result::notFormat) return Result::readFailed;
    if (r != Result::ok) return r;
    *image = rows.block.release();
    return Result::ok;
}

Result GetJpegPreview(const char *fileName, ConvImageRecord *record) {
    record->image = nullptr;
    record->bitsOffset = 0;
    return LoadJpegImage(fileName, &record->image);
}

Result SaveJpegImage(const char *fileName, MemHandle image) {
    const plat::Lock block(image);
    if (!block) return Result::noMemory;
    ConvBitmapInfoHeader h;
    if (block.size() < sizeof h) return Result::unsupported;
    std::memcpy(&h, block.data(), sizeof h);
    if (h.biSize != kBitmapHeaderSize || h.biBitCount != 24 || h.biCompression != 0) return Result::unsupported;
    // Rows follow a colour table of 1 to 256 entries; other counts mean none.
    const int32_t width = h.biWidth;
    const int32_t height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const uint64_t bitsOffset = kBitmapHeaderSize + (h.biClrUsed >= 1 && h.biClrUsed <= 256 ? 4ull * h.biClrUsed : 0);
    const uint64_t rowBytes = dibRowBytes(width, 24);
    // A block too small for the rows its header promises is not read from.
    if (width <= 0 || height <= 0 || bitsOffset + rowBytes * uint64_t(height) > block.size())
        return Result::unsupported;
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.bitCount = 24;
    // The core encodes straight from the block's rows; a top-down block's
    // are turned first. The block stays locked until the encoding is done.
    const uint8_t *rows = block.data() + bitsOffset;
    if (h.biHeight < 0) {
        picture.pixels.resize(size_t(rowBytes * uint64_t(height)));
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(picture.rowFromTop(y), rows + uint64_t(y) * rowBytes, size_t(rowBytes));
        rows = picture.pixels.data();
    }

    plat::File file;
    if (!file.create(fileName)) return Result::writeFailed;
    CoreRequest request;
    request.limits = limits();
    std::vector<uint8_t> bytes;
    if (const Result r = encodeJpeg(picture, rows, JpegWriteOptions{}, request, bytes); r != Result::ok)
        return r;
    if (!file.writeAll(bytes.data(), uint32_t(bytes.size())) || !file.close()) return Result::writeFailed;
    return Result::ok;
}

Result loadJpegRow(const LoadRequest &request) {
    if (!request.record) return Result::notFormat;
    return LoadJpegImage(request.fileName, &request.record->image);
}

Result saveJpegRow(const SaveRequest &request) { return SaveJpegImage(request.fileName, request.image); }

}  // namespace vc
