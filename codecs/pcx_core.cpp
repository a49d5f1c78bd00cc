// The PCX core: the reader of padded and packed files and the writer of
// padded ones, bytes in and bytes out.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - Bytes shorter than the 128-byte header, or (for 256 colours) than the
//   header, the data area and the 769-byte palette block behind it, are
//   refused as not readable.
// - A first byte other than 10 or 205 is not PCX; a depth (bits per pixel
//   times planes) other than 1, 4, 8 or 24, a window whose far edge lies
//   before its near edge, and a 256-colour file whose palette block does
//   not begin with the marker 12 are refused as unsupported; a depth of 4,
//   8 or 24 reached with another plane count than 4, 1 or 3 as damaged.
// - A picture larger than the request's largestPicture pixels, or whose
//   image block would pass its largestBlock, is refused with noMemory.
// - In a padded file (first byte 10), a bytes-per-line field smaller than
//   the bytes a plane line needs means no padding: lines cannot overlap. A
//   packed file (205) does not use the field.
// - The run-length stream is expanded only as far as the rows need and no
//   further than the data could reach (63 bytes per two-byte run), rounded
//   up to whole scan lines; a run cut there is clipped. Runs may cross
//   plane and scan lines.
// - Data that ends before the last row leaves the rows it does not reach
//   at colour index 0; data behind the last row is not read.
//
// The writer lays the rows out as plane lines in a buffer rounded to whole
// groups of 8 scan lines and codes each scan line on its own.
#include "codecs/pcx_core.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "common/dib.h"
#include "common/bytes.h"

namespace vc {

const uint8_t DefaultPcxPalette[16][3] = {
    {0, 0, 0},       {0, 0, 128},     {0, 128, 0},   {0, 128, 128}, {128, 0, 0},     {128, 0, 128},
    {128, 128, 0},   {128, 128, 128}, {192, 192, 192}, {0, 0, 255}, {0, 255, 0},     {0, 255, 255},
    {255, 0, 0},     {255, 0, 255},   {255, 255, 0}, {255, 255, 255}};

namespace {

constexpr uint8_t kPadded = 10, kPacked = 205;  // the two first bytes read

// The header fields the reader uses.
struct PcxHeader {
    uint8_t manufacturer = 0, version = 0, encoding = 0, bitsPerPixel = 0;
    uint16_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    const uint8_t *palette = nullptr;  // 16 triplets: red, green, blue
    uint8_t planes = 0;
    uint16_t bytesPerLine = 0;
};

PcxHeader parseHeader(ByteReader r) {
    PcxHeader h;
    h.manufacturer = r.u8();
    h.version = r.u8();
    h.encoding = r.u8();
    h.bitsPerPixel = r.u8();
    h.xmin = r.u16();
    h.ymin = r.u16();
    h.xmax = r.u16();
    h.ymax = r.u16();
    r.skip(4);  // resolution, not used
    h.palette = r.span(48);
    r.skip(1);
    h.planes = r.u8();
    h.bytesPerLine = r.u16();
    return h;
}

// Everything the layout needs from the header.
struct PcxGeometry {
    uint32_t width = 0, height = 0;
    uint32_t depth = 0, planes = 0;
    uint32_t usedBytes = 0;    // bytes of one plane line that carry pixels
    uint32_t planeStride = 0;  // distance from one plane line to the next
    uint64_t scanStride = 0;   // distance from one scan line to the next
};

// Each plane byte covers 8 pixels, i.e. 4 bytes of a 4-bit row. The table
// spreads its bits into those 4 bytes as the lowest bit of each nibble
// (left pixel in the high nibble); a plane's bit is then a shift away.
struct Spread4 {
    uint32_t v[256];
    constexpr Spread4() : v() {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t r = 0;
            for (uint32_t m = 0; m < 8; ++m)
                if (b & (0x80u >> m)) r |= (m & 1 ? 0x01u : 0x10u) << (8 * (m / 2));
            v[b] = r;
        }
    }
};
constexpr Spread4 kSpread4;

void layoutRow(const PcxGeometry &g, const uint8_t *scan, uint8_t *row) {
    switch (g.depth) {
    case 1:
        std::memcpy(row, scan, g.usedBytes);
        break;
    case 8:
        std::memcpy(row, scan, g.width);
        break;
    case 4:
        for (uint32_t j = 0; j < g.usedBytes; ++j) {
            uint32_t v = kSpread4.v[scan[j]] | kSpread4.v[scan[g.planeStride + j]] << 1 |
                         kSpread4.v[scan[2 * g.planeStride + j]] << 2 | kSpread4.v[scan[3 * g.planeStride + j]] << 3;
            storeLe32(row + 4 * j, v);  // the leftmost pixels in the first byte
        }
        break;
    case 24: {
        const uint8_t *r = scan, *gr = scan + g.planeStride, *b = scan + 2 * g.planeStride;
        for (uint32_t x = 0; x < g.width; ++x) {
            row[3 * x] = b[x];
            row[3 * x + 1] = gr[x];
            row[3 * x + 2] = r[x];
        }
        break;
    }
    }
}

void putColor(Rgbq &c, const uint8_t *rgb) {
    c.blue = rgb[2];
    c.green = rgb[1];
    c.red = rgb[0];
}

// The colour table: the palette block behind the data area at depth 8, the
// header palette (or the default one in version-3 files) at depths 1 and 4.
Result fillColors(std::span<const uint8_t> bytes, const PcxHeader &h, const PcxGeometry &g, uint64_t dataSize,
                  Rgbq *table) {
    if (g.depth == 8) {
        ByteReader r = ByteReader(bytes.data(), bytes.size()).from(dataSize + pcx::kHeaderSize);
        if (r.u8() != pcx::kPaletteMarker || !r.ok()) return Result::unsupported;
        for (uint32_t i = 0; i < 256; ++i) {
            const uint8_t *rgb = r.span(3);
            if (!rgb) return Result::readFailed;
            putColor(table[i], rgb);
        }
    } else if (g.depth <= 4) {
        const bool standard = h.version == 3;
        for (uint32_t i = 0; i < (1u << g.depth); ++i)
            putColor(table[i], standard ? DefaultPcxPalette[i] : h.palette + 3 * i);
    }
    return Result::ok;
}

// Lays out the scan lines the data area yields into the rows: raw data in
// place (or, when shorter than the rows, copied out with zeros after it),
// run-length data expanded a few hundred kilobytes at a time into a buffer
// that stays in the cache, so no second picture is ever held.
void layoutData(const PcxHeader &h, const PcxGeometry &g, const uint8_t *data, uint64_t dataSize, uint8_t *rows,
                uint64_t rowBytes) {
    const uint64_t need = g.scanStride * g.height;
    const bool encoded = h.encoding != 0;
    auto layout = [&](const uint8_t *stream, uint64_t first, uint64_t scans) {
        for (uint64_t i = 0; i < scans; ++i)
            layoutRow(g, stream + i * g.scanStride, rows + (g.height - 1 - (first + i)) * rowBytes);
    };
    if (!encoded && dataSize >= need) {
        layout(data, 0, g.height);
        return;
    }
    // No further than the data could reach (a two-byte run yields at most
    // 63 bytes), rounded up to whole scan lines.
    uint64_t reach = encoded ? dataSize * 32 : dataSize;
    reach = (reach + g.scanStride - 1) / g.scanStride * g.scanStride;
    const uint64_t size = std::min(need, reach);
    const uint64_t scans = size / g.scanStride;
    const uint64_t perChunk = encoded ? std::max<uint64_t>(1, (256 << 10) / g.scanStride) : scans;
    const uint64_t chunk = std::min(scans, perChunk) * g.scanStride;
    std::vector<uint8_t> expanded(size_t(chunk ? chunk : 1));
    if (!encoded) {
        if (const size_t n = size_t(std::min(size, dataSize))) std::memcpy(expanded.data(), data, n);
        layout(expanded.data(), 0, scans);
        return;
    }
    pcx::RleState state;
    for (uint64_t first = 0; first < scans; first += perChunk) {
        const uint64_t n = std::min(perChunk, scans - first);
        const size_t want = size_t(n * g.scanStride);
        // What the data does not reach reads as zero.
        const size_t got = pcx::decodeRle(data, size_t(dataSize), state, expanded.data(), want);
        if (got < want) std::memset(expanded.data() + got, 0, want - got);
        layout(expanded.data(), first, n);
    }
}

Result readPcx(std::span<const uint8_t> bytes, const CoreRequest &request, const RowsTarget &target, Picture &out) {
    const PcxHeader h = parseHeader(ByteReader(bytes.data(), bytes.size()));
    const bool packed = h.manufacturer == kPacked;
    const uint64_t fileSize = bytes.size();

    PcxGeometry g;
    g.planes = h.planes;
    g.depth = uint32_t(h.bitsPerPixel) * g.planes;
    // A 256-colour file keeps its palette block behind the data; bytes too
    // short to hold both have no data area to read.
    const uint64_t around = g.depth == 8 ? pcx::kHeaderSize + pcx::kPaletteBlockSize : pcx::kHeaderSize;
    if (fileSize < around) return Result::readFailed;
    const uint64_t dataSize = fileSize - around;
    if (g.depth != 1 && g.depth != 4 && g.depth != 8 && g.depth != 24) return Result::unsupported;

    // A window whose far edge lies before its near edge has no pixels;
    // such a header is no readable PCX file.
    const int32_t width = int32_t(h.xmax) - h.xmin + 1;
    const int32_t height = int32_t(h.ymax) - h.ymin + 1;
    if (width <= 0 || height <= 0) return Result::unsupported;
    g.width = uint32_t(width);
    g.height = uint32_t(height);
    // The picture as an image block would hold it, against the limits.
    const uint32_t colors = g.depth == 24 ? 0 : (1u << g.depth);
    const uint64_t rowBytes = pictureRowBytes(width, g.depth);
    if (uint64_t(width) * uint64_t(height) > request.limits.largestPicture) return Result::noMemory;
    if (40 + 4ull * colors + rowBytes * uint64_t(height) > request.limits.largestBlock) return Result::noMemory;

    Picture p;
    p.width = width;
    p.height = height;
    p.bitCount = uint16_t(g.depth);
    p.xPelsPerMeter = p.yPelsPerMeter = kDefaultPelsPerMeter;  // whatever the header says
    p.palette.resize(colors);
    if (const Result r = fillColors(bytes, h, g, dataSize, p.palette.data()); r != Result::ok) return r;

    if ((g.depth == 4 && g.planes != 4) || (g.depth == 8 && g.planes != 1) || (g.depth == 24 && g.planes != 3))
        return Result::damaged;

    g.usedBytes = g.depth == 1 || g.depth == 4 ? (g.width + 7) / 8 : g.width;
    // Packed files put plane lines back to back. In padded files a
    // bytes-per-line field smaller than the used bytes means no padding:
    // the lines cannot overlap.
    g.planeStride = packed ? g.usedBytes : std::max<uint32_t>(h.bytesPerLine, g.usedBytes);
    g.scanStride = uint64_t(g.planeStride) * g.planes;

    // Rows past what the data reaches stay at index 0.
    uint8_t *rows = rowsOf(target, p);
    if (!rows) return Result::noMemory;
    layoutData(h, g, bytes.data() + pcx::kHeaderSize, dataSize, rows, rowBytes);
    out = std::move(p);
    return Result::ok;
}

// ---- Writer ---------------------------------------------------------------

// Splits a row of 4-bit pixels (two per byte, left in the high nibble) into
// four 1-bit plane lines of lineBytes each; pixels past `width` stay 0.
void splitNibbles(const uint8_t *row, uint32_t width, uint8_t *plane, uint32_t lineBytes) {
    const uint32_t pixels = std::min<uint64_t>(width, uint64_t(lineBytes) * 8);
    for (uint32_t x0 = 0; x0 < pixels; x0 += 8) {
        uint32_t p0 = 0, p1 = 0, p2 = 0, p3 = 0;
        const uint32_t n = std::min<uint32_t>(8, pixels - x0);
        for (uint32_t m = 0; m < n; ++m) {
            const uint32_t x = x0 + m;
            const uint32_t idx = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
            const uint32_t bit = 0x80u >> m;
            if (idx & 1) p0 |= bit;
            if (idx & 2) p1 |= bit;
            if (idx & 4) p2 |= bit;
            if (idx & 8) p3 |= bit;
        }
        const uint32_t j = x0 / 8;
        plane[j] = uint8_t(p0);
        plane[lineBytes + j] = uint8_t(p1);
        plane[2 * lineBytes + j] = uint8_t(p2);
        plane[3 * lineBytes + j] = uint8_t(p3);
    }
}

// How the file lays the picture out.
struct SaveLayout {
    uint32_t depth = 0, width = 0, height = 0;
    uint32_t xmax = 0, ymax = 0;  // the header's window, low 16 bits
    uint32_t planes = 0, lineBytes = 0, lines = 0, scanBytes = 0;
};

SaveLayout layoutOf(const Picture &p) {
    SaveLayout l;
    l.depth = p.bitCount;
    l.width = uint32_t(p.width);
    l.height = uint32_t(p.height);
    l.xmax = (l.width - 1) & 0xFFFF;
    l.ymax = (l.height - 1) & 0xFFFF;
    l.planes = l.depth == 4 ? 4 : l.depth == 24 ? 3 : 1;
    l.lineBytes = l.depth <= 4 ? (l.xmax + 16) / 16 * 2 : (l.xmax + 2) / 2 * 2;
    l.lines = (l.ymax + 8) & ~7u;  // whole groups of 8 scan lines
    l.scanBytes = l.planes * l.lineBytes;
    return l;
}

void appendHeader(std::vector<uint8_t> &out, const Picture &p, const SaveLayout &l, const PcxWriteOptions &options) {
    uint8_t hdr[pcx::kHeaderSize] = {};
    ByteWriter w(hdr, sizeof hdr);
    w.u8(10);  // manufacturer: padded plane lines
    w.u8(options.version);
    w.u8(options.encoded ? 1 : 0);
    w.u8(l.depth <= 4 ? 1 : 8);
    w.u16(0);  // Xmin, Ymin
    w.u16(0);
    w.u16(l.xmax);
    w.u16(l.ymax);
    w.u16(640);  // resolution
    w.u16(480);
    uint8_t *palette = w.reserve(48);
    if (l.depth <= 4) {
        for (uint32_t i = 0; i < std::min<uint64_t>(p.palette.size(), 1u << l.depth); ++i) {
            palette[3 * i] = p.palette[i].red;
            palette[3 * i + 1] = p.palette[i].green;
            palette[3 * i + 2] = p.palette[i].blue;
        }
    }
    w.u8(0);  // reserved
    w.u8(uint8_t(l.planes));
    w.u16(l.lineBytes);
    w.u16(1);  // palette information
    out.insert(out.end(), hdr, hdr + sizeof hdr);
}

// Fills the plane buffer, top row first, reporting 0..k per cent before
// each row. Scan lines past the 16-bit height field's reach are not filled.
bool fillPlanes(const Picture &p, const uint8_t *rows, const SaveLayout &l, uint32_t k, const Progress &progress,
                uint8_t *buffer) {
    const uint64_t rowBytes = p.rowBytes();
    const uint32_t filled = std::min(l.height, l.lines);
    for (uint32_t i = 0; i < filled; ++i) {
        if (!progress(int32_t(uint64_t(i) * k / l.height))) return false;
        const uint8_t *row = rows + rowBytes * (l.height - 1 - i);
        uint8_t *scan = buffer + uint64_t(i) * l.scanBytes;
        switch (l.depth) {
        case 1:
        case 8:
            std::memcpy(scan, row, std::min<uint64_t>(l.lineBytes, rowBytes));
            break;
        case 4:
            splitNibbles(row, l.width, scan, l.lineBytes);
            break;
        case 24: {
            const uint32_t n = std::min(l.width, l.lineBytes);
            uint8_t *r = scan, *g = scan + l.lineBytes, *b = scan + 2 * l.lineBytes;
            for (uint32_t x = 0; x < n; ++x) {
                b[x] = row[3 * x];
                g[x] = row[3 * x + 1];
                r[x] = row[3 * x + 2];
            }
            break;
        }
        }
    }
    return true;
}

// The run-length coded lines, reporting 50..100 per cent before each.
Result appendCodedLines(std::vector<uint8_t> &out, const uint8_t *planes, uint32_t lines, uint32_t lineBytes,
                        const Progress &progress) {
    const uint64_t total = uint64_t(lines) * lineBytes;
    if (total * 2 > 0xFFFFFFFFull) return Result::noMemory;
    // Each line is coded into a buffer of its worst case and appended.
    std::vector<uint8_t> line(2 * size_t(lineBytes));
    for (uint32_t j = 0; j < lines; ++j) {
        if (!progress(int32_t(50 + uint64_t(50) * j / lines))) return Result::cancelled;
        const size_t n = pcx::encodeLine(planes + uint64_t(j) * lineBytes, lineBytes, line.data());
        out.insert(out.end(), line.data(), line.data() + n);
    }
    return Result::ok;
}

// The 256-colour palette block: the marker, then the picture's colours
// and zeros behind them.
void appendPaletteBlock(std::vector<uint8_t> &out, const Picture &p) {
    out.push_back(pcx::kPaletteMarker);
    for (uint32_t i = 0; i < 256; ++i) {
        const Rgbq c = i < p.palette.size() ? p.palette[i] : Rgbq{};
        out.insert(out.end(), {c.red, c.green, c.blue});
    }
}

Result writePcx(const Picture &p, const uint8_t *rows, const PcxWriteOptions &options, const CoreRequest &request,
                std::vector<uint8_t> &out) {
    const uint32_t depth = p.bitCount;
    if ((depth != 1 && depth != 4 && depth != 8 && depth != 24) || !fieldsConsistent(p)) return Result::unsupported;
    const SaveLayout l = layoutOf(p);
    const uint64_t planes = uint64_t(l.lines) * l.scanBytes;
    std::vector<uint8_t> file;
    // Room for the worst coding (only what is written is touched).
    file.reserve(size_t(pcx::kHeaderSize + 2 * planes + (depth == 8 ? pcx::kPaletteBlockSize : 0)));
    appendHeader(file, p, l, options);
    std::vector<uint8_t> buffer(static_cast<size_t>(planes));
    if (!fillPlanes(p, rows, l, options.encoded ? 50 : 100, request.progress, buffer.data())) return Result::cancelled;
    if (options.encoded) {
        if (const Result r = appendCodedLines(file, buffer.data(), l.lines, l.scanBytes, request.progress);
            r != Result::ok)
            return r;
    } else {
        if (buffer.size() > 0x7FFFFFFF) return Result::writeFailed;
        file.insert(file.end(), buffer.begin(), buffer.end());
    }
    if (depth == 8) appendPaletteBlock(file, p);
    out = std::move(file);
    return Result::ok;
}

}  // namespace

bool looksLikePcx(std::span<const uint8_t> bytes) {
    return !bytes.empty() && (bytes[0] == kPadded || bytes[0] == kPacked);
}

Result decodePcx(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out,
                 const RowsTarget &target) {
    if (!looksLikePcx(bytes)) return Result::notFormat;
    if (bytes.size() < pcx::kHeaderSize) return Result::readFailed;
    try {
        return readPcx(bytes, request, target, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result decodePcx(std::span<const uint8_t> bytes, const CoreRequest &request, Picture &out) {
    return decodePcx(bytes, request, out, RowsTarget{});
}

Result encodePcx(const Picture &picture, const uint8_t *rows, const PcxWriteOptions &options,
                 const CoreRequest &request, std::vector<uint8_t> &out) {
    try {
        return writePcx(picture, rows, options, request, out);
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

Result encodePcx(const Picture &picture, const PcxWriteOptions &options, const CoreRequest &request,
                 std::vector<uint8_t> &out) {
    if (!picture.consistent()) return Result::unsupported;
    return encodePcx(picture, picture.pixels.data(), options, request, out);
}

Result encodePcx(const Picture &picture, const CoreRequest &request, std::vector<uint8_t> &out) {
    return encodePcx(picture, PcxWriteOptions{}, request, out);
}

}  // namespace vc
