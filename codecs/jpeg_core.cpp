// The JPEG core over the JPEG library stand-in (ijl11.dll on Windows,
// imported by ordinal; linked in on Linux): the library reads from and
// writes to memory, and decodes into and encodes from the picture's rows.
//
// Damaged input is the library's to judge; this side turns its answers
// into results:
// - Bytes whose parameters the library does not read give readFailed; so
//   does a size of 0 or a pixel side other than 3 bytes per pixel. The
//   library decodes every row before it gives the parameters, as the
//   Windows imaging component does, so a file whose headers or scans stop
//   the decoder (cut before its scan, a scan header it cannot follow)
//   gives readFailed on both systems.
// - An image the library then cannot decode gives unsupported. CMYK files
//   (Adobe's inverted ones too) come in converted to RGB.
// - A picture larger than the request's largestPicture pixels, or whose
//   image block would pass its largestBlock, is refused with noMemory
//   before it is decoded.
// - Data that ends inside the scan is completed by the library, the
//   missing rows grey, on both systems; what trails the last row is not
//   looked at.
//
// The writer has the library encode into a buffer of the pixels' own size
// and 4 KiB first, and only when that proves too small into one of the
// encoder's worst case; a failure of the library gives writeFailed.
#include "codecs/jpeg_core.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "ijl/ijl.h"

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

Result readJpeg(std::span<const uint8_t> bytes, const CoreRequest &request, const RowsTarget &target, Picture &out) {
    if (bytes.size() > UINT32_MAX) return Result::readFailed;
    Session s;
    if (!s.init()) return Result::readFailed;
    s.props.jpegBytes = bytes.data();
    s.props.jpegSizeBytes = uint32_t(bytes.size());
    if (JlRead(&s.props, JL_READ_PARAMS) != JL_OK) return Result::readFailed;
    const int32_t width = s.props.jpegWidth, height = s.props.jpegHeight;
    if (width <= 0 || height <= 0 || s.props.dibChannels != 3) return Result::readFailed;
    // The image block could not hold it: refused before it is decoded.
    const uint64_t rowBytes = pictureRowBytes(width, 24);
    if (uint64_t(width) * uint64_t(height) > request.limits.largestPicture) return Result::noMemory;
    if (40 + rowBytes * uint64_t(height) > request.limits.largestBlock) return Result::noMemory;

    Picture p;
    p.width = width;
    p.height = height;
    p.bitCount = 24;
    uint8_t *rows = rowsOf(target, p);
    if (!rows) return Result::noMemory;
    // The library decodes straight into the rows: bottom-up (a negative
    // height), each padded to whole words (the zeros stay).
    s.props.dibWidth = width;
    s.props.dibHeight = -height;
    s.props.dibPadBytes = int32_t(rowBytes - uint64_t(width) * 3);
    s.props.dibBytes = rows;
    if (JlRead(&s.props, JL_READ_IMAGE) != JL_OK) return Result::unsupported;
    out = std::move(p);
    return Result::ok;
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

Result writeJpeg(const Picture &picture, const uint8_t *rows, const JpegWriteOptions &o, const CoreRequest &request,
                 std::vector<uint8_t> &out) {
    if (picture.bitCount != 24 || !fieldsConsistent(picture)) return Result::unsupported;
    Session s;
    if (!s.init()) return Result::noMemory;
    s.props.jpegSubsampling = o.subsampling;
    s.props.jpegQuality = o.quality;
    s.props.dibWidth = s.props.jpegWidth = picture.width;
    s.props.dibHeight = s.props.jpegHeight = picture.height;
    // The library encodes straight from the rows, padded to whole words,
    // bottom-up.
    s.props.dibBytes = const_cast<uint8_t *>(rows);  // only read
    s.props.dibPadBytes = int32_t(picture.rowBytes() - uint64_t(picture.width) * 3);
    s.props.dibHeight = -picture.height;

    auto capped = [&](uint64_t room) { return std::min<uint64_t>({room, request.limits.largestBlock, UINT32_MAX}); };
    // The encoder fills what it writes; the buffer is not cleared first.
    std::unique_ptr<uint8_t[]> encoded;
    uint64_t room = capped(roomFirst(s.props));
    for (bool retry = false;; retry = true) {
        encoded.reset();  // the first buffer goes before the larger one comes
        encoded.reset(new uint8_t[size_t(room)]);
        s.props.jpegOutBytes = encoded.get();
        s.props.jpegOutSizeBytes = uint32_t(room);
        const int32_t r = JlWrite(&s.props, JL_WRITE_IMAGE);
        if (r == JL_OK) break;
        const uint64_t worst = capped(roomWorst(s.props));
        if (r != JL_E_BUFFER || retry || worst <= room) return Result::writeFailed;
        room = worst;
    }
    out.assign(encoded.get(), encoded.get() + s.props.jpegOutSizeBytes);
    return Result::ok;
}

}  // namespace

bool looksLikeJpeg(std::span<const uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

Result decodeJpeg(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out,
                  const RowsTarget &target) {
    if (!looksLikeJpeg(bytes)) return Result::notFormat;
    try {
        return readJpeg(bytes, request, target, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result decodeJpeg(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out) {
    return decodeJpeg(bytes, request, out, RowsTarget{});
}

Result encodeJpeg(const Picture &picture, const uint8_t *rows, const JpegWriteOptions &options,
                  const CoreRequest &request, std::vector<uint8_t> &out) {
    try {
        return writeJpeg(picture, rows, options, request, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result encodeJpeg(const Picture &picture, const JpegWriteOptions &options, const CoreRequest &request,
                  std::vector<uint8_t> &out) {
    if (!picture.consistent()) return Result::unsupported;
    return encodeJpeg(picture, picture.pixels.data(), options, request, out);
}

Result encodeJpeg(const Picture &picture, const CoreRequest &request, std::vector<uint8_t> &out) {
    return encodeJpeg(picture, JpegWriteOptions{}, request, out);
}

}  // namespace vc
