// BMP files, the editor's own format: every header people meet (the 12-byte
// core header, the 40-byte one and its later 52, 56, 108 and 124-byte
// forms, the 64-byte second core form), palettes of 1, 4 and 8 bits, 16
// and 32-bit pixels with or without channel masks (an alpha mask makes the
// editor's mask: alpha below 128 is transparent), 24 bits, run-length
// coded 4 and 8-bit rows, and rows stored from the top. Pixels a
// run-length delta or line end skips keep colour 0.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/bytes.h"
#include "common/dib.h"
#include "common/limits.h"
#include "host/image.h"

namespace host {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

// One channel of a masked pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t top = 0;
    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        top = m >> shift;
    }
    uint8_t of(uint32_t px) const { return top ? uint8_t((uint64_t((px & mask) >> shift) * 255 + top / 2) / top) : 0; }
};

struct Header {
    int32_t width = 0, height = 0;
    bool topDown = false;
    uint16_t bitCount = 0;
    uint32_t compression = kRgb, colors = 0, entrySize = 4;
    uint32_t masks[4] = {};  // red, green, blue, alpha
};

void putIndex(Image &img, int32_t x, int32_t rowFromBottom, uint32_t i) {
    uint8_t *row = img.bits.data() + size_t(rowFromBottom) * img.rowBytes();
    if (img.bitCount == 8) row[x] = uint8_t(i);
    else if (img.bitCount == 4) row[x >> 1] |= uint8_t((i & 15) << ((x & 1) ? 0 : 4));
    else row[x >> 3] |= uint8_t((i & 1) << (7 - (x & 7)));
}

// Run-length coded rows, from the bottom: runs, literal groups (padded to
// whole words), line ends, deltas and the bitmap's end. Running off the
// picture or off the data is damage.
bool decodeRle(vc::ByteReader in, Image &img, bool four, std::string &error) {
    int32_t x = 0, y = 0;
    // Pixels past the row's end are dropped; x stops there so that no run
    // of runs can carry it far.
    auto put = [&](uint32_t i) {
        if (x < img.width && y < img.height) putIndex(img, x, y, i);
        x = std::min(x + 1, img.width);
    };
    while (in.ok()) {
        const uint8_t count = in.u8(), value = in.u8();
        if (!in.ok()) break;
        if (count) {
            for (uint32_t k = 0; k < count; ++k) put(four ? (k & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) x = 0, ++y;
        else if (value == 1) return true;
        else if (value == 2) {
            x = std::min(x + in.u8(), img.width);
            y += in.u8();
        } else {
            const uint32_t bytes = four ? (value + 1u) / 2 : value;
            const uint8_t *p = in.span(bytes);
            if (!p) break;
            for (uint32_t k = 0; k < value; ++k) put(four ? (k & 1 ? p[k / 2] & 15 : p[k / 2] >> 4) : p[k]);
            if (bytes & 1) in.skip(1);
        }
        if (y > img.height) break;
    }
    // Files that stop at the last line end without the bitmap's end code
    // are common enough to take.
    if (in.ok() || y >= img.height) return true;
    error = "run-length data runs past the end of the file";
    return false;
}

bool readHeader(vc::ByteReader &r, uint32_t headerSize, Header &h, std::string &error) {
    if (headerSize == 12) {
        h.width = r.u16();
        h.height = int16_t(r.u16());
        (void)r.u16();
        h.bitCount = r.u16();
        h.entrySize = 3;
        h.colors = h.bitCount <= 8 ? 1u << h.bitCount : 0;
        return r.ok();
    }
    static constexpr uint32_t kSizes[] = {40, 52, 56, 64, 108, 124};
    if (std::find(std::begin(kSizes), std::end(kSizes), headerSize) == std::end(kSizes)) {
        error = "unknown BMP header size " + std::to_string(headerSize);
        return false;
    }
    h.width = r.i32();
    int32_t height = r.i32();
    (void)r.u16();
    h.bitCount = r.u16();
    h.compression = r.u32();
    r.skip(12);
    const uint32_t used = r.u32();
    r.skip(4);
    if (!r.ok()) return false;
    // The second core form numbers its codings differently past RLE4.
    if (headerSize == 64 && h.compression > kRle4) {
        error = "compression " + std::to_string(h.compression) + " of the 64-byte header is not supported";
        return false;
    }
    if (height == INT32_MIN) height = 0;
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    if (h.bitCount <= 8) h.colors = used ? used : 1u << std::min<uint16_t>(h.bitCount, 8);
    // Masks: inside the later headers, else behind the 40-byte one.
    const uint32_t maskCount = h.compression == kAlphaBitfields ? 4 : h.compression == kBitfields ? 3 : 0;
    if (headerSize >= 52 || maskCount) {
        const uint32_t inHeader = headerSize >= 56 ? 4 : headerSize >= 52 ? 3 : 0;
        const uint32_t n = std::max(inHeader, maskCount);
        for (uint32_t i = 0; i < n; ++i) h.masks[i] = r.u32();
    }
    return r.ok();
}

}  // namespace

std::optional<Image> bmpFromBytes(const uint8_t *data, size_t size, std::string &error,
                                  std::optional<Rgb> *transparent) {
    vc::ByteReader file(data, size);
    if (file.u8() != 'B' || file.u8() != 'M') {
        error = "not a BMP file";
        return std::nullopt;
    }
    file.skip(8);
    const uint32_t bitsOffset = file.u32();
    const uint32_t headerSize = file.u32();
    if (!file.ok() || headerSize > size - 14) {
        error = "file cut short in the header";
        return std::nullopt;
    }
    // The masks of a 40-byte header follow it, those of later ones are
    // inside: read on from the header's start either way.
    vc::ByteReader r = file.from(18);
    Header h;
    if (!readHeader(r, headerSize, h, error)) {
        if (error.empty()) error = "file cut short in the header";
        return std::nullopt;
    }
    const auto &lim = pictureLimits();
    if (h.width <= 0 || h.height <= 0) {
        error = "picture size " + std::to_string(h.width) + " x " + std::to_string(h.height) + " is not usable";
        return std::nullopt;
    }
    if (uint64_t(h.width) * uint64_t(h.height) > lim.largestPicture || h.width > 0x7FFF * 16) {
        error = "picture of " + std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels is too large";
        return std::nullopt;
    }
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    const bool masked = h.compression == kBitfields || h.compression == kAlphaBitfields;
    const bool depthOk = rle ? (h.compression == kRle8 ? h.bitCount == 8 : h.bitCount == 4)
                       : masked ? (h.bitCount == 16 || h.bitCount == 32)
                       : h.compression == kRgb && (h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 ||
                                                    h.bitCount == 16 || h.bitCount == 24 || h.bitCount == 32);
    if (!depthOk) {
        error = "compression " + std::to_string(h.compression) + " at " + std::to_string(h.bitCount) +
                " bits is not supported";
        return std::nullopt;
    }
    if (rle && h.topDown) {
        error = "run-length data stored from the top is not allowed";
        return std::nullopt;
    }
    // The colour table follows the header (and the masks a 40-byte header
    // keeps behind it); a table longer than the room before the pixels is
    // cut to what fits.
    Image img;
    img.width = h.width;
    img.height = h.height;
    if (h.bitCount <= 8) {
        const size_t tableAt = 14 + size_t(headerSize) +
                               (headerSize == 40 ? 4 * (h.compression == kAlphaBitfields ? 4 : masked ? 3 : 0) : 0);
        size_t room = bitsOffset > tableAt ? (bitsOffset - tableAt) / h.entrySize : 0;
        const size_t count = std::min<size_t>({h.colors, 256, room});
        vc::ByteReader table = file.at(tableAt, count * h.entrySize);
        if (!table.ok() || count == 0) {
            error = "colour table missing or cut short";
            return std::nullopt;
        }
        for (size_t i = 0; i < count; ++i) {
            const uint8_t *q = table.span(h.entrySize);
            img.palette.push_back(rgb(q[2], q[1], q[0]));
        }
        img.bitCount = h.bitCount;
    } else {
        img.bitCount = 24;
    }
    if (bitsOffset >= size) {
        error = "no pixels: the pixel offset lies past the end of the file";
        return std::nullopt;
    }
    img.bits.assign(size_t(img.rowBytes()) * size_t(img.height), 0);
    if (rle) {
        if (uint64_t(h.width) * uint64_t(h.height) > uint64_t(size - bitsOffset) * lim.expansion) {
            error = "run-length data too short for a picture this large";
            return std::nullopt;
        }
        if (!decodeRle(file.from(bitsOffset), img, h.compression == kRle4, error)) return std::nullopt;
        return img;
    }
    const uint64_t srcRow = vc::dibRowBytes(h.width, h.bitCount);
    vc::ByteReader pixels = file.at(bitsOffset, srcRow * uint64_t(h.height));
    if (!pixels.ok()) {
        error = "file cut short in the pixels";
        return std::nullopt;
    }
    const uint8_t *src = pixels.data();
    if (h.bitCount <= 8 || h.bitCount == 24) {
        for (int32_t y = 0; y < h.height; ++y)
            std::memcpy(img.bits.data() + size_t(y) * img.rowBytes(),
                        src + srcRow * uint64_t(h.topDown ? h.height - 1 - y : y), img.rowBytes());
        return img;
    }
    // 16 and 32 bits: the channel masks, or 5-5-5 and 8-8-8 without them.
    if (!masked) {
        if (h.bitCount == 16) h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
        else h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
        h.masks[3] = 0;  // the fourth byte of plain 32-bit rows means nothing
    }
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alphaChannel(h.masks[3]);
    std::vector<uint8_t> alpha;
    if (h.masks[3]) alpha.assign(size_t(h.width) * size_t(h.height), 255);
    for (int32_t y = 0; y < h.height; ++y) {
        const uint8_t *row = src + srcRow * uint64_t(h.topDown ? y : h.height - 1 - y);
        uint8_t *out = img.bits.data() + size_t(h.height - 1 - y) * img.rowBytes();
        for (int32_t x = 0; x < h.width; ++x) {
            const uint32_t px = h.bitCount == 16 ? vc::loadLe16(row + 2 * x) : vc::loadLe32(row + 4 * size_t(x));
            out[3 * x] = blue.of(px), out[3 * x + 1] = green.of(px), out[3 * x + 2] = red.of(px);
            if (!alpha.empty()) alpha[size_t(y) * size_t(h.width) + size_t(x)] = alphaChannel.of(px);
        }
    }
    if (!alpha.empty()) applyAlpha(img, alpha, transparent);
    return img;
}

std::optional<Image> readBmp(const std::string &path, std::string &error, std::optional<Rgb> *transparent) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bmpFromBytes(data.data(), data.size(), error, transparent);
}

}  // namespace host
