// PCX reader: header, data area read in one piece, run-length expansion,
// then the planes laid out into a bottom-up image block.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - A header shorter than 128 bytes, a file too short for its data area
//   (for 256 colours: for the data area and the 769-byte palette block
//   behind it), and a data area or palette that cannot be read whole are
//   refused with CONV_E_READ.
// - A first byte other than 10 or 205, a depth (bits per pixel times
//   planes) other than 1, 4, 8 or 24, a window whose far edge lies before
//   its near edge, and a 256-colour file whose palette block does not begin
//   with the marker 12 are refused with CONV_E_UNSUPPORTED; a depth of 4, 8
//   or 24 reached with another plane count than 4, 1 or 3 with
//   CONV_E_DATA.
// - A picture larger than limits().largestPicture pixels, or whose image
//   block would pass limits().largestBlock, is refused with CONV_E_MEMORY.
// - In a padded file (first byte 10), a bytes-per-line field smaller than
//   the bytes a plane line needs means no padding: lines cannot overlap. A
//   packed file (205) does not use the field.
// - The run-length stream is expanded only as far as the rows need and no
//   further than the data could reach (63 bytes per two-byte run), rounded
//   up to whole scan lines; a run cut there is clipped. Runs may cross
//   plane and scan lines.
// - Data that ends before the last row leaves the rows it does not reach
//   at colour index 0; data behind the last row is not read.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/limits.h"
#include "codecs/pcx.h"
#include "common/bytes.h"
#include "common/file_window.h"
#include "common/image_block.h"
#include "platform/owners.h"

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

// The data area: file size - 128 bytes from offset 128, without the
// palette block at depth 8; read in one piece.
int16_t readDataArea(const plat::File &file, int64_t dataSize, plat::Block &data) {
    if (!data.alloc(uint64_t(dataSize ? dataSize : 1))) return CONV_E_MEMORY;
    if (!file.seekTo(pcx::kHeaderSize) || !file.readAll(data.data(), uint32_t(dataSize))) return CONV_E_READ;
    return CONV_OK;
}

void putColor(uint8_t *table, uint32_t i, const uint8_t *rgb) {
    table[4 * i] = rgb[2];
    table[4 * i + 1] = rgb[1];
    table[4 * i + 2] = rgb[0];
}

// The colour table: the palette block behind the data area at depth 8, the
// header palette (or the default one in version-3 files) at depths 1 and 4.
int16_t fillColors(const plat::File &file, const PcxHeader &h, const PcxGeometry &g, int64_t dataSize,
                   uint8_t *table) {
    if (g.depth == 8) {
        uint8_t block[pcx::kPaletteBlockSize];
        const int32_t n = file.seekTo(uint64_t(dataSize) + pcx::kHeaderSize) ? file.read(block, sizeof block) : -1;
        ByteReader r(block, size_t(std::max(n, 0)));
        if (r.u8() != pcx::kPaletteMarker || !r.ok()) return CONV_E_UNSUPPORTED;
        for (uint32_t i = 0; i < 256; ++i) {
            const uint8_t *rgb = r.span(3);
            if (!rgb) return CONV_E_READ;
            putColor(table, i, rgb);
        }
    } else if (g.depth <= 4) {
        const bool standard = h.version == 3;
        for (uint32_t i = 0; i < (1u << g.depth); ++i)
            putColor(table, i, standard ? DefaultPcxPalette[i] : h.palette + 3 * i);
    }
    return CONV_OK;
}

// Lays out the scan lines the data area yields into the rows: raw data in
// place (or, when shorter than the rows, copied out with zeros after it),
// run-length data expanded a few hundred kilobytes at a time into a buffer
// that stays in the cache, so no second picture is ever held.
int16_t layoutData(const PcxHeader &h, const PcxGeometry &g, const plat::Block &data, uint64_t dataSize,
                   uint8_t *rows, uint64_t rowBytes) {
    const uint64_t need = g.scanStride * g.height;
    const bool encoded = h.encoding != 0;
    auto layout = [&](const uint8_t *stream, uint64_t first, uint64_t scans) {
        for (uint64_t i = 0; i < scans; ++i)
            layoutRow(g, stream + i * g.scanStride, rows + (g.height - 1 - (first + i)) * rowBytes);
    };
    if (!encoded && dataSize >= need) {
        layout(data.data(), 0, g.height);
        return CONV_OK;
    }
    // No further than the data could reach (a two-byte run yields at most
    // 63 bytes), rounded up to whole scan lines.
    uint64_t reach = encoded ? dataSize * 32 : dataSize;
    reach = (reach + g.scanStride - 1) / g.scanStride * g.scanStride;
    const uint64_t size = std::min(need, reach);
    const uint64_t scans = size / g.scanStride;
    const uint64_t perChunk = encoded ? std::max<uint64_t>(1, (256 << 10) / g.scanStride) : scans;
    const uint64_t chunk = std::min(scans, perChunk) * g.scanStride;
    plat::Block expanded;
    if (chunk > SIZE_MAX || !expanded.alloc(chunk ? chunk : 1)) return CONV_E_MEMORY;
    if (!encoded) {
        std::memcpy(expanded.data(), data.data(), size_t(std::min(size, dataSize)));
        layout(expanded.data(), 0, scans);
        return CONV_OK;
    }
    pcx::RleState state;
    for (uint64_t first = 0; first < scans; first += perChunk) {
        const uint64_t n = std::min(perChunk, scans - first);
        const size_t want = size_t(n * g.scanStride);
        // What the data does not reach reads as zero.
        const size_t got = pcx::decodeRle(data.data(), size_t(dataSize), state, expanded.data(), want);
        if (got < want) std::memset(expanded.data() + got, 0, want - got);
        layout(expanded.data(), first, n);
    }
    return CONV_OK;
}

int16_t readPcx(const char *fileName, MemHandle *image) {
    plat::File file;
    if (!file.open(fileName)) return CONV_E_OPEN;
    uint8_t bytes[pcx::kHeaderSize];
    if (!file.readAll(bytes, sizeof bytes)) return CONV_E_READ;
    const PcxHeader h = parseHeader(ByteReader(bytes, sizeof bytes));
    const bool packed = h.manufacturer == kPacked;
    if (h.manufacturer != kPadded && !packed) return CONV_E_UNSUPPORTED;
    const int64_t fileSize = file.length();
    if (fileSize < 0) return CONV_E_READ;

    PcxGeometry g;
    g.planes = h.planes;
    g.depth = uint32_t(h.bitsPerPixel) * g.planes;
    // A 256-colour file keeps its palette block behind the data; a file too
    // short to hold both cannot have its data area read.
    const int64_t dataSize =
        fileSize - (g.depth == 8 ? pcx::kHeaderSize + pcx::kPaletteBlockSize : pcx::kHeaderSize);
    if (dataSize < 0) return CONV_E_READ;
    plat::Block data;
    if (const int16_t r = readDataArea(file, dataSize, data); r != CONV_OK) return r;
    if (g.depth != 1 && g.depth != 4 && g.depth != 8 && g.depth != 24) return CONV_E_UNSUPPORTED;

    // A window whose far edge lies before its near edge has no pixels;
    // such a header is no readable PCX file.
    const int32_t width = int32_t(h.xmax) - h.xmin + 1;
    const int32_t height = int32_t(h.ymax) - h.ymin + 1;
    if (width <= 0 || height <= 0) return CONV_E_UNSUPPORTED;
    g.width = uint32_t(width);
    g.height = uint32_t(height);
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitCount = uint16_t(g.depth);
    spec.colors = g.depth == 24 ? 0 : (1u << g.depth);
    spec.pelsPerMeter = 2953;  // 75 dots per inch, whatever the header says
    plat::Block out = makePackedDib(spec);
    if (!out) return CONV_E_MEMORY;
    storeLe32(out.data() + offsetof(ConvBitmapInfoHeader, biClrImportant), spec.colors);
    uint8_t *table = out.data() + kBitmapHeaderSize;
    if (const int16_t r = fillColors(file, h, g, dataSize, table); r != CONV_OK) return r;

    if ((g.depth == 4 && g.planes != 4) || (g.depth == 8 && g.planes != 1) || (g.depth == 24 && g.planes != 3))
        return CONV_E_DATA;

    g.usedBytes = g.depth == 1 || g.depth == 4 ? (g.width + 7) / 8 : g.width;
    // Packed files put plane lines back to back. In padded files a
    // bytes-per-line field smaller than the used bytes means no padding:
    // the lines cannot overlap.
    g.planeStride = packed ? g.usedBytes : std::max<uint32_t>(h.bytesPerLine, g.usedBytes);
    g.scanStride = uint64_t(g.planeStride) * g.planes;

    // Rows past what the data reaches stay at index 0.
    const uint64_t rowBytes = dibRowBytes(width, g.depth);
    if (const int16_t r = layoutData(h, g, data, uint64_t(dataSize), table + 4ull * spec.colors, rowBytes);
        r != CONV_OK)
        return r;

    *image = out.release();
    return CONV_OK;
}

}  // namespace

bool DetectPcxFile(HFile file) {
    uint8_t hdr[pcx::kHeaderSize];
    ByteReader r = readFileHead(file, hdr, sizeof hdr);
    const uint8_t manufacturer = r.u8();
    return r.ok() && (manufacturer == kPadded || manufacturer == kPacked);
}

int16_t LoadPcxImage(const char *fileName, MemHandle *image) {
    *image = nullptr;
    return readPcx(fileName, image);
}

int16_t GetPcxPreview(const char *fileName, ConvImageRecord *record) {
    record->image = nullptr;
    record->bitsOffset = 0;
    return LoadPcxImage(fileName, &record->image);
}

int16_t loadPcxRow(const LoadRequest &request) {
    if (!request.record) return CONV_E_FORMAT;
    return LoadPcxImage(request.fileName, &request.record->image);
}

}  // namespace vc
