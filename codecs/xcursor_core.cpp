// X cursor files: the reader and writer described in xcursor_core.h.
#include "codecs/xcursor_core.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/bytes.h"

namespace vc {

namespace {

struct TocEntry {
    uint32_t type = 0, subtype = 0, position = 0;
};

// The chunk an entry points at, its header checked against the entry and
// read; the reader stands at the chunk's own fields, header its header size.
Result openChunk(const ByteReader &file, const TocEntry &entry, uint32_t leastHeader, ByteReader &chunk,
                 uint32_t &header) {
    chunk = file.from(entry.position);
    header = chunk.u32();
    const uint32_t type = chunk.u32(), subtype = chunk.u32();
    (void)chunk.u32();  // version: any is read
    if (!chunk.ok()) return Result::readFailed;
    if (type != entry.type || subtype != entry.subtype || header < leastHeader) return Result::damaged;
    return Result::ok;
}

// An image chunk checked, its end (an offset in the file) given, and when
// out is given its picture decoded.
Result readImage(const ByteReader &file, const TocEntry &entry, const Limits &limits, uint64_t &blockBytes,
                 uint64_t &end, XcursorImage *out) {
    ByteReader chunk;
    uint32_t header = 0;
    Result r = openChunk(file, entry, kXcursorImageHeaderSize, chunk, header);
    if (r != Result::ok) return r;
    const uint32_t width = chunk.u32(), height = chunk.u32(), hotX = chunk.u32(), hotY = chunk.u32();
    const uint32_t delay = chunk.u32();
    if (!chunk.ok()) return Result::readFailed;
    if (width == 0 || height == 0 || width > kXcursorLargestSide || height > kXcursorLargestSide) return Result::damaged;
    if (hotX > width || hotY > height) return Result::damaged;
    const uint64_t pixels = uint64_t(width) * height;
    blockBytes += 4 * pixels;
    if (pixels > limits.largestPicture || blockBytes > limits.largestBlock) return Result::noMemory;
    // The rest of a longer header is skipped.
    if (!chunk.skip(header - kXcursorImageHeaderSize)) return Result::readFailed;
    const uint8_t *data = chunk.span(size_t(4 * pixels));
    if (!data) return Result::readFailed;
    end = uint64_t(entry.position) + chunk.position();
    if (!out) return Result::ok;

    Picture &p = out->picture;
    p.width = int32_t(width);
    p.height = int32_t(height);
    p.bitCount = 32;
    p.hasHotspot = true;
    p.hotspotX = int32_t(hotX);
    p.hotspotY = int32_t(hotY);
    p.pixels.assign(size_t(4 * pixels), 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t *row = p.rowFromTop(int32_t(y));
        const uint8_t *from = data + size_t(4) * width * y;
        for (uint32_t x = 0; x < width; ++x) straightBgra(loadLe32(from + 4 * x), row + 4 * x);
    }
    out->nominalSize = entry.subtype;
    out->delayMs = delay;
    return Result::ok;
}

Result readComment(const ByteReader &file, const TocEntry &entry, uint64_t &end, XcursorComment *out) {
    ByteReader chunk;
    uint32_t header = 0;
    Result r = openChunk(file, entry, kXcursorCommentHeaderSize, chunk, header);
    if (r != Result::ok) return r;
    const uint32_t length = chunk.u32();
    if (!chunk.ok()) return Result::readFailed;
    if (length > kXcursorLargestComment) return Result::damaged;
    if (!chunk.skip(header - kXcursorCommentHeaderSize)) return Result::readFailed;
    const uint8_t *text = chunk.span(length);
    if (!text && length) return Result::readFailed;
    end = uint64_t(entry.position) + chunk.position();
    if (!out) return Result::ok;
    out->kind = entry.subtype;
    out->text.assign(reinterpret_cast<const char *>(text), length);
    return Result::ok;
}

}  // namespace

uint32_t premultipliedArgb(const uint8_t *bgra) {
    const uint32_t a = bgra[3];
    auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | scale(bgra[2]) << 16 | scale(bgra[1]) << 8 | scale(bgra[0]);
}

void straightBgra(uint32_t argb, uint8_t *bgra) {
    const uint32_t a = argb >> 24;
    auto unscale = [a](uint32_t c) -> uint8_t {
        if (a == 0) return 0;
        return uint8_t(std::min<uint32_t>(255, (c * 255 + a / 2) / a));
    };
    bgra[0] = unscale(argb & 0xFF);
    bgra[1] = unscale(argb >> 8 & 0xFF);
    bgra[2] = unscale(argb >> 16 & 0xFF);
    bgra[3] = uint8_t(a);
}

bool looksLikeXcursor(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && loadLe32(bytes.data()) == kXcursorMagic;
}

Result decodeXcursor(std::span<const uint8_t> bytes, const CoreRequest &request, XcursorFile &out) {
    out = XcursorFile{};
    ByteReader file(bytes.data(), bytes.size());
    if (bytes.size() < kXcursorFileHeaderSize || !looksLikeXcursor(bytes)) return Result::notFormat;
    file.skip(4);
    const uint32_t header = file.u32();
    (void)file.u32();  // version: any is read
    const uint32_t count = file.u32();
    if (count > kXcursorLargestToc || count > request.limits.largestFrameCount) return Result::noMemory;
    if (header < kXcursorFileHeaderSize || !file.seek(header)) return Result::readFailed;
    std::vector<TocEntry> toc(count);
    for (TocEntry &e : toc) {
        e.type = file.u32();
        e.subtype = file.u32();
        e.position = file.u32();
    }
    if (!file.ok()) return Result::readFailed;

    // Every chunk checked before any pixel is decoded: their headers, the
    // limits, and that no two share bytes, so that the pictures never hold
    // more than the file.
    const ByteReader whole(bytes.data(), bytes.size());
    uint64_t blockBytes = 0;
    std::vector<std::pair<uint64_t, uint64_t>> extents;  // start, end
    bool anyImage = false;
    for (const TocEntry &e : toc) {
        uint64_t end = 0;
        Result r = Result::ok;
        if (e.type == kXcursorImageType) r = readImage(whole, e, request.limits, blockBytes, end, nullptr);
        else if (e.type == kXcursorCommentType) r = readComment(whole, e, end, nullptr);
        else continue;
        if (r != Result::ok) return r;
        extents.emplace_back(e.position, end);
        anyImage = anyImage || e.type == kXcursorImageType;
    }
    if (!anyImage) return Result::unsupported;
    std::sort(extents.begin(), extents.end());
    for (size_t i = 1; i < extents.size(); ++i)
        if (extents[i].first < extents[i - 1].second) return Result::damaged;

    for (size_t i = 0; i < toc.size(); ++i) {
        if (!request.progress(int32_t(i * 100 / toc.size()))) return out = XcursorFile{}, Result::cancelled;
        uint64_t end = 0, unused = 0;
        if (toc[i].type == kXcursorImageType) {
            out.images.emplace_back();
            readImage(whole, toc[i], request.limits, unused, end, &out.images.back());
        } else if (toc[i].type == kXcursorCommentType) {
            out.comments.emplace_back();
            readComment(whole, toc[i], end, &out.comments.back());
        }
    }
    if (!request.progress(100)) return out = XcursorFile{}, Result::cancelled;
    return Result::ok;
}

Result encodeXcursor(const XcursorFile &file, const CoreRequest &request, std::vector<uint8_t> &out) {
    out.clear();
    if (file.images.empty()) return Result::unsupported;
    const uint64_t count = file.images.size() + file.comments.size();
    if (count > kXcursorLargestToc || file.images.size() > request.limits.largestFrameCount) return Result::noMemory;
    uint64_t total = kXcursorFileHeaderSize + count * kXcursorTocEntrySize;
    for (const XcursorImage &image : file.images) {
        const Picture &p = image.picture;
        if (!p.consistent() || p.bitCount != 32 || uint32_t(p.width) > kXcursorLargestSide ||
            uint32_t(p.height) > kXcursorLargestSide)
            return Result::unsupported;
        if (p.hotspotX < 0 || p.hotspotY < 0 || p.hotspotX > p.width || p.hotspotY > p.height)
            return Result::unsupported;
        if (uint64_t(p.width) * uint64_t(p.height) > request.limits.largestPicture) return Result::noMemory;
        total += kXcursorImageHeaderSize + 4 * uint64_t(p.width) * uint64_t(p.height);
    }
    for (const XcursorComment &c : file.comments) {
        if (c.text.size() > kXcursorLargestComment) return Result::unsupported;
        total += kXcursorCommentHeaderSize + c.text.size();
    }
    if (total > request.limits.largestBlock || total > UINT32_MAX) return Result::noMemory;
    out.assign(size_t(total), 0);
    ByteWriter w(out.data(), out.size());
    w.u32(kXcursorMagic);
    w.u32(kXcursorFileHeaderSize);
    w.u32(kXcursorVersion);
    w.u32(uint32_t(count));
    uint64_t position = kXcursorFileHeaderSize + count * kXcursorTocEntrySize;
    for (const XcursorImage &image : file.images) {
        w.u32(kXcursorImageType);
        w.u32(image.nominalSize);
        w.u32(uint32_t(position));
        position += kXcursorImageHeaderSize + 4 * uint64_t(image.picture.width) * uint64_t(image.picture.height);
    }
    for (const XcursorComment &c : file.comments) {
        w.u32(kXcursorCommentType);
        w.u32(c.kind);
        w.u32(uint32_t(position));
        position += kXcursorCommentHeaderSize + c.text.size();
    }
    for (size_t i = 0; i < file.images.size(); ++i) {
        if (!request.progress(int32_t(i * 100 / file.images.size()))) return out.clear(), Result::cancelled;
        const XcursorImage &image = file.images[i];
        const Picture &p = image.picture;
        w.u32(kXcursorImageHeaderSize);
        w.u32(kXcursorImageType);
        w.u32(image.nominalSize);
        w.u32(1);
        w.u32(uint32_t(p.width));
        w.u32(uint32_t(p.height));
        w.u32(uint32_t(p.hotspotX));
        w.u32(uint32_t(p.hotspotY));
        w.u32(image.delayMs);
        for (int32_t y = 0; y < p.height; ++y) {
            const uint8_t *row = p.rowFromTop(y);
            for (int32_t x = 0; x < p.width; ++x) w.u32(premultipliedArgb(row + 4 * x));
        }
    }
    for (const XcursorComment &c : file.comments) {
        w.u32(kXcursorCommentHeaderSize);
        w.u32(kXcursorCommentType);
        w.u32(c.kind);
        w.u32(1);
        w.u32(uint32_t(c.text.size()));
        w.bytes(c.text.data(), c.text.size());
    }
    if (!w.ok() || w.position() != out.size()) return out.clear(), Result::writeFailed;
    return request.progress(100) ? Result::ok : (out.clear(), Result::cancelled);
}

bool xcursorPicture(const Picture &in, Picture &out) {
    if (!in.consistent()) return false;
    out = Picture{};
    out.width = in.width;
    out.height = in.height;
    out.bitCount = 32;
    out.hasHotspot = in.hasHotspot;
    out.hotspotX = in.hotspotX;
    out.hotspotY = in.hotspotY;
    out.xPelsPerMeter = in.xPelsPerMeter;
    out.yPelsPerMeter = in.yPelsPerMeter;
    out.pixels.assign(size_t(out.rowBytes() * uint64_t(out.height)), 0);
    const bool masked = !in.mask.empty();
    bool anyAlpha = false;
    if (in.bitCount == 32)
        for (size_t i = 3; i < in.pixels.size() && !anyAlpha; i += 4) anyAlpha = in.pixels[i] != 0;
    for (int32_t y = 0; y < in.height; ++y) {
        const uint8_t *from = in.rowFromTop(y);
        const uint8_t *maskRow = masked ? in.mask.data() + uint64_t(in.height - 1 - y) * in.maskRowBytes() : nullptr;
        uint8_t *to = out.rowFromTop(y);
        for (int32_t x = 0; x < in.width; ++x) {
            uint8_t *px = to + 4 * x;
            bool clear = maskRow && (maskRow[x / 8] >> (7 - x % 8) & 1);
            if (in.bitCount >= 24) {
                std::memcpy(px, from + size_t(x) * (in.bitCount / 8), 3);
                px[3] = in.bitCount == 32 && anyAlpha ? from[4 * x + 3] : uint8_t(clear ? 0 : 255);
            } else {
                const uint32_t perByte = 8u / in.bitCount, shift = (perByte - 1 - uint32_t(x) % perByte) * in.bitCount;
                const uint32_t index = (from[uint32_t(x) / perByte] >> shift) & ((1u << in.bitCount) - 1);
                if (index < in.palette.size()) {
                    px[0] = in.palette[index].blue;
                    px[1] = in.palette[index].green;
                    px[2] = in.palette[index].red;
                }
                if (!masked && in.transparentIndex >= 0 && index == uint32_t(in.transparentIndex)) clear = true;
                px[3] = clear ? 0 : 255;
            }
            if (px[3] == 0) px[0] = px[1] = px[2] = 0;
        }
    }
    return true;
}

}  // namespace vc
