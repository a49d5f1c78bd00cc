// Packed DIBs made into pictures.
#include "codecs/dib_core.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/bytes.h"

namespace vc {

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

struct DibHeader {
    uint32_t size = 0;
    int32_t width = 0, height = 0;
    bool topDown = false;
    uint16_t bitCount = 0;
    uint32_t compression = kRgb, colors = 0, entrySize = 4, maskBytes = 0, imageBytes = 0;
    int32_t xPels = 0, yPels = 0;
    uint32_t masks[4] = {};  // red, green, blue, alpha
};

Result readDibHeader(ByteReader r, DibHeader &h, bool alphaFromMask) {
    h.size = r.u32();
    if (h.size == 12) {
        h.width = r.u16();
        h.height = int16_t(r.u16());
        (void)r.u16();
        h.bitCount = r.u16();
        h.entrySize = 3;
        h.colors = h.bitCount <= 8 ? 1u << h.bitCount : 0;
    } else {
        static constexpr uint32_t kSizes[] = {40, 52, 56, 64, 108, 124};
        if (std::find(std::begin(kSizes), std::end(kSizes), h.size) == std::end(kSizes)) return Result::notFormat;
        h.width = r.i32();
        int32_t height = r.i32();
        (void)r.u16();
        h.bitCount = r.u16();
        h.compression = r.u32();
        h.imageBytes = r.u32();
        h.xPels = r.i32();
        h.yPels = r.i32();
        const uint32_t used = r.u32();
        r.skip(4);
        if (!r.ok()) return Result::readFailed;
        // The second core form numbers its codings differently past RLE4.
        if (h.size == 64 && h.compression > kRle4) return Result::unsupported;
        if (height == INT32_MIN) height = 0;
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        h.colors = used ? used : h.bitCount <= 8 ? 1u << h.bitCount : 0;
        // Masks: inside the later headers, else behind the 40-byte one.
        const uint32_t maskCount = h.compression == kAlphaBitfields ? 4 : h.compression == kBitfields ? 3 : 0;
        const uint32_t inHeader = h.size >= 56 ? 4 : h.size >= 52 ? 3 : 0;
        for (uint32_t i = 0; i < std::max(inHeader, maskCount); ++i) h.masks[i] = r.u32();
        if (h.size == 40) h.maskBytes = 4 * maskCount;
    }
    if (!r.ok()) return Result::readFailed;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    const bool masked = h.compression == kBitfields || h.compression == kAlphaBitfields;
    const uint16_t b = h.bitCount;
    const bool known = rle ? b == (h.compression == kRle8 ? 8 : 4)
                       : masked ? b == 16 || b == 32
                       : h.compression == kRgb && (b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32);
    if (!known) return Result::unsupported;
    if (h.width <= 0 || h.height <= 0 || (rle && h.topDown)) return Result::damaged;
    if (!masked) {
        // 5-5-5 and 8-8-8 without masks; the fourth byte of plain 32-bit
        // rows is kept as it is, unless alpha comes from a mask alone.
        if (b == 16) h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
        if (b == 32 && alphaFromMask) h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
        h.masks[3] = 0;
    }
    return Result::ok;
}

void putIndex(Picture &p, int32_t x, int32_t rowFromBottom, uint32_t i) {
    uint8_t *row = p.pixels.data() + size_t(rowFromBottom) * p.rowBytes();
    if (p.bitCount == 8) row[x] = uint8_t(i);
    else row[x >> 1] |= uint8_t((i & 15) << ((x & 1) ? 0 : 4));
}

// Run-length rows from the bottom: runs, literal groups (padded to whole
// words), line ends, deltas and the bitmap's end. Pixels past a row's end
// are dropped. Data that stops after the last row without the end code is
// taken; data that stops before it is readFailed.
Result decodeRle(ByteReader in, Picture &p, bool four) {
    int32_t x = 0, y = 0;
    auto put = [&](uint32_t i) {
        if (x < p.width && y < p.height) putIndex(p, x, y, i);
        x = std::min(x + 1, p.width);
    };
    while (in.ok()) {
        const uint8_t count = in.u8(), value = in.u8();
        if (!in.ok()) break;
        if (count) {
            for (uint32_t k = 0; k < count; ++k) put(four ? (k & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return Result::ok;
        } else if (value == 2) {
            x = std::min(x + in.u8(), p.width);
            y += in.u8();
        } else {
            const uint32_t bytes = four ? (value + 1u) / 2 : value;
            const uint8_t *q = in.span(bytes);
            if (!q) break;
            for (uint32_t k = 0; k < value; ++k) put(four ? (k & 1 ? q[k / 2] & 15 : q[k / 2] >> 4) : q[k]);
            if (bytes & 1) in.skip(1);
        }
        if (y > p.height) break;
    }
    return y >= p.height ? Result::ok : Result::readFailed;
}

Result decodeDib(std::span<const uint8_t> dib, const Limits &limits, Picture &out, const DibForm &form) {
    ByteReader all(dib.data(), dib.size());
    DibHeader h;
    if (const Result r = readDibHeader(all.from(form.headerAt), h, form.alphaFromMask); r != Result::ok) return r;
    if (uint64_t(h.width) * uint64_t(h.height) > limits.largestPicture) return Result::noMemory;
    Picture p;
    p.width = h.width, p.height = h.height;
    const bool wide = h.bitCount == 16 || h.bitCount == 32;
    p.bitCount = form.alphaFromMask && wide ? (h.masks[3] ? 32 : 24) : h.bitCount == 16 ? 24 : h.bitCount;
    p.xPelsPerMeter = h.xPels, p.yPelsPerMeter = h.yPels;
    const uint64_t picture = p.rowBytes() * uint64_t(p.height);
    if (picture > limits.largestBlock) return Result::noMemory;

    const uint64_t tableAt = form.headerAt + h.size + h.maskBytes;
    const uint64_t bitsAt = form.bitsAt.value_or(tableAt + uint64_t(h.entrySize) * h.colors);
    if (h.bitCount <= 8) {
        // Rows at an offset of their own cut the table to what fits before them.
        const uint64_t room = bitsAt > tableAt ? (bitsAt - tableAt) / h.entrySize : 0;
        const uint32_t count = uint32_t(std::min<uint64_t>({h.colors, 1u << h.bitCount, room}));
        if (count == 0) return Result::readFailed;
        ByteReader table = all.at(tableAt, uint64_t(count) * h.entrySize);
        if (!table.ok()) return Result::readFailed;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t *q = table.span(h.entrySize);
            p.palette.push_back(Rgbq{q[0], q[1], q[2], 0});
        }
    }
    if (bitsAt > dib.size() || (form.bitsAt && bitsAt == dib.size())) return Result::readFailed;
    ByteReader bits = all.from(bitsAt);
    p.pixels.assign(size_t(picture), 0);
    if (h.compression == kRle8 || h.compression == kRle4) {
        if (form.runsEndAtImageSize) bits = bits.at(0, std::min<uint64_t>(bits.size(), h.imageBytes));
        if (uint64_t(h.width) * uint64_t(h.height) > uint64_t(bits.size()) * limits.expansion) return Result::damaged;
        const Result r = decodeRle(bits, p, h.compression == kRle4);
        if (r == Result::ok) out = std::move(p);
        return r;
    }
    const uint64_t srcRow = pictureRowBytes(h.width, h.bitCount);
    if (srcRow * uint64_t(h.height) > bits.size()) return Result::readFailed;
    const uint8_t *src = bits.data();
    const bool plain = h.bitCount <= 8 || h.bitCount == 24 || (h.bitCount == 32 && h.compression == kRgb && !form.alphaFromMask);
    for (int32_t y = 0; y < h.height; ++y) {
        // y counts the picture's rows from the bottom.
        const uint8_t *row = src + srcRow * uint64_t(h.topDown ? h.height - 1 - y : y);
        uint8_t *to = p.pixels.data() + size_t(y) * p.rowBytes();
        if (plain) {
            std::memcpy(to, row, size_t(p.rowBytes()));
            continue;
        }
        const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
        const uint32_t step = p.bitCount / 8;
        for (int32_t x = 0; x < h.width; ++x) {
            const uint32_t px = h.bitCount == 16 ? loadLe16(row + 2 * size_t(x)) : loadLe32(row + 4 * size_t(x));
            uint8_t *q = to + size_t(x) * step;
            q[0] = blue.of(px), q[1] = green.of(px), q[2] = red.of(px);
            if (step == 4) q[3] = alpha.of(px);
        }
    }
    out = std::move(p);
    return Result::ok;
}

}  // namespace

Result decodePackedDib(std::span<const uint8_t> dib, const Limits &limits, Picture &out, const DibForm &form) {
    try {
        return decodeDib(dib, limits, out, form);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

bool looksLikeBmp(std::span<const uint8_t> bytes) { return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M'; }

Result decodeBmp(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out) {
    if (!looksLikeBmp(bytes)) return Result::notFormat;
    ByteReader file(bytes.data(), bytes.size());
    file.skip(10);
    const uint32_t bitsAt = file.u32();
    if (!file.ok()) return Result::readFailed;
    return decodePackedDib(bytes, request.limits, out, DibForm{14, bitsAt, true});
}

}  // namespace vc
