// The TIFF load, preview and save: the file read whole and handed to the
// core, the picture handed back as an image block; the image block handed
// to the core and its bytes written.
#include "stills/tiff.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "common/file_window.h"
#include "common/image_block.h"
#include "common/limits.h"
#include "common/whole_file.h"
#include "platform/owners.h"
#include "stills/picture_blocks.h"

namespace vc {

namespace tiff {

TiffSaveOptions &saveOptions() {
    static TiffSaveOptions options{0, 5, 8};
    return options;
}

namespace {
Clock gClock = nullptr;
}  // namespace

void setClock(Clock clock) { gClock = clock; }

}  // namespace tiff

namespace {

// The bytes in the order the save has always written them: the header with
// the IFD's offset still 0, everything behind it, and then the offset; a
// write cut short leaves what the writer of old left.
bool writeTiffFile(const char *fileName, const std::vector<uint8_t> &bytes) {
    plat::File f;
    if (!f.create(fileName)) return false;
    uint8_t header[8] = {};
    std::memcpy(header, bytes.data(), 4);
    std::memset(header + 4, 0, 4);
    if (!f.writeAll(header, sizeof header)) return false;
    bool ok = true;
    for (size_t at = sizeof header; ok && at < bytes.size();) {
        const uint32_t chunk = uint32_t(std::min<size_t>(bytes.size() - at, 0x40000000u));
        ok = f.writeAll(bytes.data() + at, chunk);
        at += chunk;
    }
    ok = f.seekTo(4) && f.writeAll(bytes.data() + 4, 4) && ok;
    return f.close() && ok;
}

}  // namespace

bool DetectTiffFile(HFile file) {
    uint8_t head[8];
    const ByteReader r = readFileHead(file, head, sizeof head);
    return r.size() == sizeof head && looksLikeTiff({r.data(), r.size()});
}

Result LoadTiffImage(const char *fileName, MemHandle *image) {
    *image = nullptr;
    plat::Block copy;
    size_t size = 0;
    if (const Result r = readWholeFile(fileName, copy, size); r != Result::ok) return r;

    CoreRequest request;
    request.limits = limits();
    Picture picture;
    BlockRows rows;
    const Result r = decodeTiff({copy.data(), size}, request, picture, rows.target());
    // The front door's detection lets only TIFF signatures by; called
    // directly, a file of another signature is one this load cannot read.
    if (r == Result::notFormat) return Result::unsupported;
    if (r != Result::ok) return r;
    ByteWriter resolution(rows.block.data() + offsetof(ConvBitmapInfoHeader, biXPelsPerMeter), 8);
    resolution.u32(uint32_t(picture.xPelsPerMeter));
    resolution.u32(uint32_t(picture.yPelsPerMeter));
    if (image) *image = rows.block.release();
    return Result::ok;
}

Result GetTiffPreview(const char *fileName, ConvImageRecord *record) {
    if (!record) return Result::notFormat;
    record->image = nullptr;
    record->bitsOffset = 0;
    MemHandle image = nullptr;
    const Result r = LoadTiffImage(fileName, &image);
    record->image = image;
    return r;
}

Result tiffLoadRow(const LoadRequest &request) {
    if (!request.record) return Result::notFormat;
    MemHandle image = nullptr;
    const Result r = LoadTiffImage(request.fileName, &image);
    request.record->image = image;
    return r;
}

Result SaveTiffImage(const char *fileName, MemHandle image, const TiffSaveOptions &options) {
    TiffWriteOptions o;
    o.compression = uint16_t(options.compression);
    o.stripSize = options.stripSize;
    o.clock = tiff::gClock;
    CoreRequest request;
    request.limits = limits();
    request.progress = progressWindowBar();
    std::vector<uint8_t> bytes;
    {
        // Nothing is created for a block the writer cannot take.
        const plat::Lock block(image);
        if (!block) return Result::unsupported;
        ConvBitmapInfoHeader h;
        if (block.size() < sizeof h) return Result::unsupported;
        std::memcpy(&h, block.data(), sizeof h);
        const bool known = options.compression == tiff::kUncompressed || options.compression == tiff::kLzw ||
                           options.compression == tiff::kPackBits;
        if (!dibHeaderUsable(h, block.size()) || options.bitCount != h.biBitCount || !known)
            return Result::unsupported;
        Picture picture;
        const uint8_t *rows = pictureOfBlock(h, block.data(), picture);
        const Result r = encodeTiff(picture, rows, o, request, bytes);
        if (r != Result::ok) return r;
    }
    return writeTiffFile(fileName, bytes) ? Result::ok : Result::writeFailed;
}

Result tiffSaveRow(const SaveRequest &request) {
    TiffSaveOptions &o = tiff::saveOptions();
    uint32_t bitCount = 0;
    if (const plat::Lock block(request.image); block) {
        ByteReader header = ByteReader(block.data(), block.size()).at(0, kBitmapHeaderSize);
        header.skip(offsetof(ConvBitmapInfoHeader, biBitCount));
        bitCount = header.u16();  // 0 when the block is too small for a header
    }
    o = TiffSaveOptions{bitCount, tiff::kLzw, 8};
    return SaveTiffImage(request.fileName, request.image, o);
}

}  // namespace vc
