// The PCX load, preview and save. The load reads the file whole and hands
// it to the core; the save writes the core's bytes in the three parts the
// writer has always written: the header, whose short write shows in the
// next one; the pixel data, whose write decides the result; and at 8 bits
// the palette block, whose writes are not checked.
#include "stills/pcx.h"

#include <cstring>
#include <vector>

#include "common/dib.h"
#include "common/file_window.h"
#include "common/image_block.h"
#include "common/limits.h"
#include "common/whole_file.h"
#include "platform/owners.h"
#include "stills/picture_blocks.h"

namespace vc {

bool DetectPcxFile(HFile file) {
    uint8_t hdr[pcx::kHeaderSize];
    const ByteReader r = readFileHead(file, hdr, sizeof hdr);
    return looksLikePcx({r.data(), r.size()});
}

Result LoadPcxImage(const char *fileName, MemHandle *image) {
    *image = nullptr;
    plat::Block bytes;
    size_t size = 0;
    WholeFileRules rules;
    rules.openFailure = Result::openFailed;
    if (const Result r = readWholeFile(fileName, bytes, size, rules); r != Result::ok) return r;
    CoreRequest request;
    request.limits = limits();
    Picture picture;
    BlockRows rows;
    rows.header.pelsPerMeter = kDefaultPelsPerMeter;  // as the core gives
    const Result r = decodePcx({bytes.data(), size}, request, picture, rows.target());
    // Called directly, a file of another first byte is one this load cannot
    // read, or cannot even read the header of.
    if (r == Result::notFormat) return size < pcx::kHeaderSize ? Result::readFailed : Result::unsupported;
    if (r != Result::ok) return r;
    const uint32_t colors = picture.bitCount == 24 ? 0 : (1u << picture.bitCount);
    storeLe32(rows.block.data() + offsetof(ConvBitmapInfoHeader, biClrImportant), colors);
    *image = rows.block.release();
    return Result::ok;
}

Result GetPcxPreview(const char *fileName, ConvImageRecord *record) {
    record->image = nullptr;
    record->bitsOffset = 0;
    return LoadPcxImage(fileName, &record->image);
}

Result loadPcxRow(const LoadRequest &request) {
    if (!request.record) return Result::notFormat;
    return LoadPcxImage(request.fileName, &request.record->image);
}

Result SavePcxImage(const char *fileName, MemHandle image, const PcxSaveOptions &options) {
    plat::File file;
    if (!file.create(fileName)) return Result::createFailed;

    std::vector<uint8_t> bytes;
    uint16_t depth = 0;
    {
        const plat::Lock block(image);
        if (!block) return Result::noMemory;
        ConvBitmapInfoHeader bih;
        if (block.size() < sizeof bih) return Result::unsupported;
        std::memcpy(&bih, block.data(), sizeof bih);
        depth = bih.biBitCount;
        // A block whose header promises more than it holds is not written from.
        if (!dibHeaderUsable(bih, block.size())) return Result::unsupported;
        PcxWriteOptions o;
        o.version = options.version;
        o.encoded = options.encoding != 0;
        CoreRequest request;
        request.limits = limits();
        request.progress = progressWindowBar();
        Picture picture;
        const uint8_t *rows = pictureOfBlock(bih, block.data(), picture);
        if (const Result r = encodePcx(picture, rows, o, request, bytes); r != Result::ok) return r;
    }
    const size_t palette = depth == 8 ? pcx::kPaletteBlockSize : 0;
    const size_t pixels = bytes.size() - pcx::kHeaderSize - palette;
    (void)file.write(bytes.data(), pcx::kHeaderSize);  // a short header shows in the pixel write
    Result result = pixels <= 0x7FFFFFFF && file.writeAll(bytes.data() + pcx::kHeaderSize, uint32_t(pixels))
                        ? Result::ok
                        : Result::writeFailed;
    if (result == Result::ok && palette) (void)file.write(bytes.data() + bytes.size() - palette, uint32_t(palette));
    // A close that fails may have lost what the system held back: as the
    // other writers do, the save then reports a write failure.
    if (!file.close() && result == Result::ok) result = Result::writeFailed;
    return result;
}

Result savePcxRow(const SaveRequest &request) {
    PcxSaveOptions options{5, 0, 1};
    if (const plat::Lock block(request.image); block) {
        ByteReader header(block.data(), block.size());
        header.skip(offsetof(ConvBitmapInfoHeader, biBitCount));
        options.bitCount = header.u16();  // 0 when the block is too small for it
    }
    return SavePcxImage(request.fileName, request.image, options);
}

}  // namespace vc
