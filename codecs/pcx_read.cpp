// PCX reader: header, data area read in one piece, run-length expansion,
// then the planes laid out into a bottom-up image block.
#include <algorithm>
#include <cstring>

#include "codecs/pcx.h"
#include "entry/image_block.h"

namespace vc {

const uint8_t DefaultPcxPalette[16][3] = {
    {0, 0, 0},       {0, 0, 128},     {0, 128, 0},   {0, 128, 128}, {128, 0, 0},     {128, 0, 128},
    {128, 128, 0},   {128, 128, 128}, {192, 192, 192}, {0, 0, 255}, {0, 255, 0},     {0, 255, 255},
    {255, 0, 0},     {255, 0, 255},   {255, 255, 0}, {255, 255, 255}};

namespace {

inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }

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
            row[4 * j] = uint8_t(v);
            row[4 * j + 1] = uint8_t(v >> 8);
            row[4 * j + 2] = uint8_t(v >> 16);
            row[4 * j + 3] = uint8_t(v >> 24);
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

// A block freed on every way out of the reader.
struct Block {
    MemHandle h = nullptr;
    uint8_t *p = nullptr;
    bool alloc(size_t size) {
        h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, size);
        if (!h) return false;
        p = static_cast<uint8_t *>(plat::memLock(h));
        if (!p) {
            plat::memFree(h);
            h = nullptr;
        }
        return p != nullptr;
    }
    MemHandle release() {
        MemHandle r = h;
        if (h) plat::memUnlock(h);
        h = nullptr;
        p = nullptr;
        return r;
    }
    ~Block() {
        if (h) {
            plat::memUnlock(h);
            plat::memFree(h);
        }
    }
};

struct File {
    HFile f;
    ~File() {
        if (f != kFileError) plat::fileClose(f);
    }
};

int16_t readPcx(const char *fileName, MemHandle *image) {
    File file{plat::fileOpen(fileName, plat::kOpenRead)};
    if (file.f == kFileError) return CONV_E_OPEN;
    uint8_t hdr[pcx::kHeaderSize];
    if (plat::fileRead(file.f, hdr, sizeof hdr) != int32_t(sizeof hdr)) return CONV_E_READ;
    const bool packed = hdr[0] == 205;
    if (hdr[0] != 10 && !packed) return CONV_E_UNSUPPORTED;
    const int32_t fileSize = plat::fileSeek(file.f, 0, plat::kSeekEnd);
    if (fileSize < 0) return CONV_E_READ;

    PcxGeometry g;
    g.planes = hdr[65];
    g.depth = uint32_t(hdr[3]) * g.planes;
    // A 256-colour file keeps its palette block behind the data; a file too
    // short to hold both cannot have its data area read.
    const int64_t dataSize = int64_t(fileSize) - (g.depth == 8 ? pcx::kHeaderSize + pcx::kPaletteBlockSize
                                                              : pcx::kHeaderSize);
    if (dataSize < 0) return CONV_E_READ;
    Block data;
    if (!data.alloc(size_t(dataSize ? dataSize : 1))) return CONV_E_MEMORY;
    if (plat::fileSeek(file.f, int32_t(pcx::kHeaderSize), plat::kSeekSet) != int32_t(pcx::kHeaderSize) ||
        plat::fileRead(file.f, data.p, uint32_t(dataSize)) != int32_t(dataSize))
        return CONV_E_READ;
    if (g.depth != 1 && g.depth != 4 && g.depth != 8 && g.depth != 24) return CONV_E_UNSUPPORTED;

    // A window whose far edge lies before its near edge has no pixels;
    // such a header is no readable PCX file.
    const int32_t width = int32_t(le16(hdr + 8)) - le16(hdr + 4) + 1;
    const int32_t height = int32_t(le16(hdr + 10)) - le16(hdr + 6) + 1;
    if (width <= 0 || height <= 0) return CONV_E_UNSUPPORTED;
    g.width = uint32_t(width);
    g.height = uint32_t(height);
    const uint32_t colors = g.depth == 24 ? 0 : (1u << g.depth);
    Block out;
    {
        MemHandle h = newPackedDib(width, height, uint16_t(g.depth), colors);
        if (!h) return CONV_E_MEMORY;
        out.h = h;
        out.p = static_cast<uint8_t *>(plat::memLock(h));
        if (!out.p) return CONV_E_MEMORY;
    }
    auto *bih = reinterpret_cast<ConvBitmapInfoHeader *>(out.p);
    bih->biXPelsPerMeter = 2953;
    bih->biYPelsPerMeter = 2953;
    bih->biClrImportant = colors;
    uint8_t *table = out.p + kBitmapHeaderSize;

    if (g.depth == 8) {
        uint8_t marker = 0;
        if (plat::fileSeek(file.f, int32_t(dataSize + pcx::kHeaderSize), plat::kSeekSet) < 0 ||
            plat::fileRead(file.f, &marker, 1) != 1 || marker != pcx::kPaletteMarker)
            return CONV_E_UNSUPPORTED;
        for (uint32_t i = 0; i < 256; ++i) {
            uint8_t rgb[3];
            if (plat::fileRead(file.f, rgb, 3) != 3) return CONV_E_READ;
            table[4 * i] = rgb[2];
            table[4 * i + 1] = rgb[1];
            table[4 * i + 2] = rgb[0];
        }
    } else if (g.depth <= 4) {
        const bool standard = hdr[1] == 3;
        for (uint32_t i = 0; i < colors; ++i) {
            const uint8_t *rgb = standard ? DefaultPcxPalette[i] : hdr + 16 + 3 * i;
            table[4 * i] = rgb[2];
            table[4 * i + 1] = rgb[1];
            table[4 * i + 2] = rgb[0];
        }
    }

    if ((g.depth == 4 && g.planes != 4) || (g.depth == 8 && g.planes != 1) || (g.depth == 24 && g.planes != 3))
        return CONV_E_DATA;

    g.usedBytes = g.depth == 1 || g.depth == 4 ? (g.width + 7) / 8 : g.width;
    // Packed files put plane lines back to back. In padded files a
    // bytes-per-line field smaller than the used bytes means no padding:
    // the lines cannot overlap.
    g.planeStride = packed ? g.usedBytes : std::max<uint32_t>(le16(hdr + 66), g.usedBytes);
    g.scanStride = uint64_t(g.planeStride) * g.planes;
    const uint64_t need = g.scanStride * g.height;

    // The stream is expanded only as far as the rows need, and no further
    // than the data could reach (a two-byte run yields at most 63 bytes),
    // rounded up to whole scan lines; rows past it stay at index 0.
    const uint8_t *stream = data.p;
    uint64_t available = uint64_t(dataSize);
    Block expanded;
    const bool encoded = hdr[2] != 0;
    if (encoded || available < need) {
        uint64_t reach = encoded ? uint64_t(dataSize) * 32 : uint64_t(dataSize);
        reach = (reach + g.scanStride - 1) / g.scanStride * g.scanStride;
        const uint64_t size = std::min(need, reach);
        if (size > SIZE_MAX || !expanded.alloc(size_t(size ? size : 1))) return CONV_E_MEMORY;
        if (encoded)
            pcx::decodeRle(data.p, size_t(dataSize), expanded.p, size_t(size));
        else
            std::memcpy(expanded.p, data.p, size_t(std::min<uint64_t>(size, available)));
        stream = expanded.p;
        available = size;
    }

    const uint64_t rowBytes = dibRowBytes(width, g.depth);
    uint8_t *rows = table + 4 * colors;
    const uint64_t scans = std::min<uint64_t>(g.height, available / g.scanStride);
    for (uint64_t i = 0; i < scans; ++i)
        layoutRow(g, stream + i * g.scanStride, rows + (g.height - 1 - i) * rowBytes);

    *image = out.release();
    return CONV_OK;
}

}  // namespace

bool DetectPcxFile(HFile file) {
    uint8_t hdr[pcx::kHeaderSize];
    int32_t n = plat::fileRead(file, hdr, sizeof hdr);
    plat::fileSeek(file, 0, plat::kSeekSet);
    return n >= 1 && (hdr[0] == 10 || hdr[0] == 205);
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
