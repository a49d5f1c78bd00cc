// JPEG reader and writer over the JPEG library stand-in (ijl11.dll on
// Windows, imported by ordinal; linked in on Linux). The reader reads the
// file through the platform's file calls and hands the library its bytes;
// the writer has the library encode into a block and writes that through
// the same calls, so a save goes wherever the platform's file calls go.
//
// Damaged input is the library's to judge; this side turns its answers
// into result codes:
// - A file that cannot be read whole, or whose parameters the library does
//   not read, gives CONV_E_READ; so does a size of 0 or a pixel side other
//   than 3 bytes per pixel. The library decodes every row before it gives
//   the parameters, as the Windows imaging component does, so a file whose
//   headers or scans stop the decoder (cut before its scan, a scan header
//   it cannot follow) gives CONV_E_READ on both systems.
// - An image the library then cannot decode gives CONV_E_UNSUPPORTED.
//   CMYK files (Adobe's inverted ones too) come in converted to RGB.
// - A picture larger than limits().largestPicture pixels is refused with
//   CONV_E_MEMORY before it is decoded, as is one whose buffers are
//   refused.
// - Data that ends inside the scan is completed by the library, the
//   missing rows grey, on both systems; what trails the last row is not
//   looked at.
//
// A save that cannot create, encode or write its file gives CONV_E_WRITE,
// as the library's own failed write does; a block for the encoded file
// that is refused gives CONV_E_MEMORY.
#include "codecs/jpeg.h"

#include <algorithm>
#include <cstring>

#include "common/whole_file.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "common/image_block.h"
#include "ijl/ijl.h"
#include "platform/owners.h"

namespace vc {

namespace {

// The library's properties record for one call: zero-filled, initialised,
// and released on every way out once initialised.
struct Session {
    JlProperties props;
    bool live = false;
    Session() { std::memset(&props, 0, sizeof props); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    bool init() { return live = JlInit(&props) == JL_OK; }
    ~Session() {
        if (live) (void)JlFree(&props);  // the record is ours; nothing is left to fail
    }
};

int16_t readJpeg(const char *fileName, MemHandle *image) {
    plat::Block bytes;
    size_t size = 0;
    if (const int16_t r = readWholeFile(fileName, bytes, size); r != CONV_OK) return r;
    if (size > UINT32_MAX) return CONV_E_READ;
    Session s;
    if (!s.init()) return CONV_E_READ;
    s.props.jpegBytes = bytes.data();
    s.props.jpegSizeBytes = uint32_t(size);
    if (JlRead(&s.props, JL_READ_PARAMS) != JL_OK) return CONV_E_READ;
    const int32_t width = s.props.jpegWidth, height = s.props.jpegHeight;
    const int32_t channels = s.props.dibChannels;
    if (width <= 0 || height <= 0 || channels != 3) return CONV_E_READ;
    // The image block could not hold it: refused before it is decoded.
    if (uint64_t(width) * uint64_t(height) > limits().largestPicture) return CONV_E_MEMORY;
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitCount = 24;
    spec.recordImageSize = false;  // biSizeImage stays 0
    plat::Block out = makePackedDib(spec);
    if (!out) return CONV_E_MEMORY;
    // The library decodes straight into the block's rows: bottom-up (a
    // negative height), each padded to whole words (the zeros stay).
    s.props.dibWidth = width;
    s.props.dibHeight = -height;
    s.props.dibPadBytes = int32_t(dibRowBytes(width, 24) - uint64_t(width) * 3);
    s.props.dibBytes = out.data() + kBitmapHeaderSize;
    if (JlRead(&s.props, JL_READ_IMAGE) != JL_OK) return CONV_E_UNSUPPORTED;
    *image = out.release();
    return CONV_OK;
}

// Room for the encoded file: first the pixels' own size and 4 KiB for the
// headers (a quality-100 file of a photograph is well below that), then,
// only when that proves too small, the encoder's worst case: 6 bytes a
// pixel of the image padded to whole 16 x 16 blocks, and 2 KiB. Neither
// exceeds the largest block or what the record's size field holds.
uint64_t roomFirst(const JlProperties &p) { return 3ull * uint64_t(p.dibWidth) * uint64_t(p.jpegHeight) + 4096; }
uint64_t roomWorst(const JlProperties &p) {
    return 6ull * ((uint64_t(p.dibWidth) + 15) & ~15ull) * ((uint64_t(p.jpegHeight) + 15) & ~15ull) + 2048;
}
uint64_t capped(uint64_t room) { return std::min<uint64_t>({room, limits().largestBlock, UINT32_MAX}); }

// Encodes the record's pixel side into encoded; its first jpegOutSizeBytes
// bytes are then the file.
int16_t encodeJpeg(JlProperties &props, plat::Block &encoded) {
    uint64_t room = capped(roomFirst(props));
    for (bool retry = false;; retry = true) {
        // alloc gives the first buffer back before it makes the larger one.
        if (!encoded.alloc(room, plat::kMemMoveable)) return CONV_E_MEMORY;
        props.jpegOutBytes = encoded.data();
        props.jpegOutSizeBytes = uint32_t(room);
        const int32_t r = JlWrite(&props, JL_WRITE_IMAGE);
        if (r == JL_OK) return CONV_OK;
        const uint64_t worst = capped(roomWorst(props));
        if (r != JL_E_BUFFER || retry || worst <= room) return CONV_E_WRITE;
        room = worst;
    }
}

}  // namespace

bool DetectJpegFile(HFile file) {
    uint8_t head[2];
    ByteReader r = readFileHead(file, head, sizeof head);
    const uint8_t a = r.u8(), b = r.u8();
    return r.ok() && a == 0xFF && b == 0xD8;
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
    Session s;
    plat::Lock block(image);
    if (!block) return CONV_E_MEMORY;

    ConvBitmapInfoHeader h;
    if (block.size() < sizeof h) return CONV_E_UNSUPPORTED;
    std::memcpy(&h, block.data(), sizeof h);
    if (h.biSize != kBitmapHeaderSize || h.biBitCount != 24 || h.biCompression != 0) return CONV_E_UNSUPPORTED;
    if (!s.init()) return CONV_E_MEMORY;

    const int32_t width = h.biWidth;
    const int32_t height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    s.props.jpegSubsampling = JL_SUBSAMPLE_422;
    s.props.jpegQuality = 100;
    s.props.dibWidth = s.props.jpegWidth = width;
    s.props.dibHeight = s.props.jpegHeight = height;
    // Rows follow a colour table of 1 to 256 entries; other counts mean none.
    const uint64_t bitsOffset = kBitmapHeaderSize + (h.biClrUsed >= 1 && h.biClrUsed <= 256 ? 4ull * h.biClrUsed : 0);
    const uint64_t rowBytes = dibRowBytes(width, 24);
    // A block too small for the rows its header promises is not read from.
    if (width <= 0 || height <= 0 || bitsOffset + rowBytes * uint64_t(height) > block.size())
        return CONV_E_UNSUPPORTED;

    // The library encodes straight from the block's rows, padded to whole
    // words, bottom-up unless the header's height says top-down. The block
    // stays locked until the encoding is done.
    s.props.dibBytes = block.data() + bitsOffset;
    s.props.dibPadBytes = int32_t(rowBytes - uint64_t(width) * 3);
    s.props.dibHeight = h.biHeight < 0 ? height : -height;

    // The file is made before the encoding, as the library made it before
    // it wrote.
    plat::File file;
    if (!file.create(fileName)) return CONV_E_WRITE;
    plat::Block encoded;
    if (const int16_t r = encodeJpeg(s.props, encoded); r != CONV_OK) return r;
    block.unlock();
    if (!file.writeAll(encoded.data(), s.props.jpegOutSizeBytes) || !file.close()) return CONV_E_WRITE;
    return CONV_OK;
}

int16_t loadJpegRow(const LoadRequest &request) {
    if (!request.record) return CONV_E_FORMAT;
    return LoadJpegImage(request.fileName, &request.record->image);
}

int16_t saveJpegRow(const SaveRequest &request) { return SaveJpegImage(request.fileName, request.image); }

}  // namespace vc
