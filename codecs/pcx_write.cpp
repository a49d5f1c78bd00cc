// PCX writer: header, plane buffer rounded to whole groups of 8 scan lines,
// run-length coding per scan line, and the 256-colour palette block.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "codecs/pcx.h"
#include "common/bytes.h"
#include "ui/services.h"
#include "common/image_block.h"
#include "platform/owners.h"

namespace vc {

namespace {

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

// Where the image block's parts lie and how the file lays them out.
struct SaveLayout {
    uint32_t depth = 0, width = 0, height = 0;
    bool topDown = false;  // the block's rows run top down (negative height)
    uint32_t xmax = 0, ymax = 0;  // the header's window, low 16 bits
    uint32_t planes = 0, lineBytes = 0, lines = 0, scanBytes = 0;
    uint32_t colors = 0;             // entries of the block's colour table
    const uint8_t *table = nullptr;  // blue, green, red, reserved
    const uint8_t *rows = nullptr;
    uint64_t rowBytes = 0;
};

SaveLayout layoutOf(const ConvBitmapInfoHeader &bih, const uint8_t *block) {
    SaveLayout l;
    l.depth = bih.biBitCount;
    l.width = uint32_t(bih.biWidth);
    l.height = uint32_t(bih.biHeight < 0 ? -int64_t(bih.biHeight) : bih.biHeight);
    l.topDown = bih.biHeight < 0;
    l.xmax = (l.width - 1) & 0xFFFF;
    l.ymax = (l.height - 1) & 0xFFFF;
    l.planes = l.depth == 4 ? 4 : l.depth == 24 ? 3 : 1;
    l.lineBytes = l.depth <= 4 ? (l.xmax + 16) / 16 * 2 : (l.xmax + 2) / 2 * 2;
    l.lines = (l.ymax + 8) & ~7u;  // whole groups of 8 scan lines
    l.scanBytes = l.planes * l.lineBytes;
    l.colors = dibColorCount(bih);
    l.table = block + bih.biSize;
    l.rows = l.table + 4ull * l.colors;
    l.rowBytes = dibRowBytes(l.width, l.depth);
    return l;
}

void buildHeader(uint8_t (&hdr)[pcx::kHeaderSize], const SaveLayout &l, const PcxSaveOptions &options) {
    std::memset(hdr, 0, sizeof hdr);
    ByteWriter w(hdr, sizeof hdr);
    w.u8(10);  // manufacturer: padded plane lines
    w.u8(options.version);
    w.u8(options.encoding ? 1 : 0);
    w.u8(l.depth <= 4 ? 1 : 8);
    w.u16(0);  // Xmin, Ymin
    w.u16(0);
    w.u16(l.xmax);
    w.u16(l.ymax);
    w.u16(640);  // resolution
    w.u16(480);
    uint8_t *palette = w.reserve(48);
    if (l.depth <= 4) {
        for (uint32_t i = 0; i < std::min<uint32_t>(l.colors, 1u << l.depth); ++i) {
            palette[3 * i] = l.table[4 * i + 2];
            palette[3 * i + 1] = l.table[4 * i + 1];
            palette[3 * i + 2] = l.table[4 * i];
        }
    }
    w.u8(0);  // reserved
    w.u8(l.planes);
    w.u16(l.lineBytes);
    w.u16(1);  // palette information
}

// Fills the plane buffer, top row first, reporting 0..k per cent before
// each row. Scan lines past the 16-bit height field's reach are not filled.
void fillPlanes(const SaveLayout &l, uint32_t k, uint8_t *buffer) {
    const uint32_t filled = std::min(l.height, l.lines);
    for (uint32_t i = 0; i < filled; ++i) {
        SetProgress(int32_t(uint64_t(i) * k / l.height));
        const uint8_t *row = l.rows + l.rowBytes * (l.topDown ? i : l.height - 1 - i);
        uint8_t *scan = buffer + uint64_t(i) * l.scanBytes;
        switch (l.depth) {
        case 1:
        case 8:
            std::memcpy(scan, row, std::min<uint64_t>(l.lineBytes, l.rowBytes));
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
}

// The pixel data in one write: run-length coded, or the plane buffer as it
// is.
int16_t writePixels(const plat::File &file, const SaveLayout &l, const PcxSaveOptions &options,
                    const uint8_t *buffer) {
    if (options.encoding) return PcxEncodeLines(file.handle(), buffer, l.lines, l.scanBytes);
    const uint64_t size = uint64_t(l.lines) * l.scanBytes;
    return size <= 0x7FFFFFFF && file.writeAll(buffer, uint32_t(size)) ? CONV_OK : CONV_E_WRITE;
}

// The 256-colour palette block: the marker, then one write per triplet,
// the block's colours first and zeros behind them. Its writes are not
// checked: the pixel data's write decides the result.
void writePaletteBlock(const plat::File &file, const SaveLayout &l) {
    const uint8_t marker = pcx::kPaletteMarker;
    (void)file.write(&marker, 1);
    for (uint32_t i = 0; i < 256; ++i) {
        uint8_t rgb[3] = {0, 0, 0};
        if (i < l.colors) {
            rgb[0] = l.table[4 * i + 2];
            rgb[1] = l.table[4 * i + 1];
            rgb[2] = l.table[4 * i];
        }
        (void)file.write(rgb, 3);
    }
}

}  // namespace

int16_t PcxEncodeLines(HFile file, const uint8_t *planes, uint32_t lines, uint32_t lineBytes) {
    const uint64_t total = uint64_t(lines) * lineBytes;
    plat::Block out;
    if (total * 2 > 0xFFFFFFFFull || !out.alloc(total * 2)) return CONV_E_MEMORY;
    uint8_t *o = out.data();
    for (uint32_t j = 0; j < lines; ++j) {
        SetProgress(int32_t(50 + uint64_t(50) * j / lines));
        o += pcx::encodeLine(planes + uint64_t(j) * lineBytes, lineBytes, o);
    }
    const uint32_t length = uint32_t(o - out.data());
    if (plat::fileWrite(file, out.data(), length) != int32_t(length)) return CONV_E_WRITE;
    return CONV_OK;
}

int16_t SavePcxImage(const char *fileName, MemHandle image, const PcxSaveOptions &options) {
    plat::File file;
    if (!file.create(fileName)) return CONV_E_CREATE;

    const plat::Lock block(image);
    if (!block) return CONV_E_MEMORY;
    ConvBitmapInfoHeader bih;
    if (block.size() < sizeof bih) return CONV_E_UNSUPPORTED;
    std::memcpy(&bih, block.data(), sizeof bih);
    const uint32_t depth = bih.biBitCount;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24) return CONV_E_UNSUPPORTED;
    // A block whose header promises more than it holds is not written from.
    if (!dibHeaderUsable(bih, block.size())) return CONV_E_UNSUPPORTED;
    const SaveLayout l = layoutOf(bih, block.data());

    uint8_t hdr[pcx::kHeaderSize];
    buildHeader(hdr, l, options);
    (void)file.write(hdr, sizeof hdr);  // a short header shows in the pixel write

    plat::Block buffer;
    if (!buffer.alloc(uint64_t(l.lines) * l.scanBytes)) return CONV_E_MEMORY;
    fillPlanes(l, options.encoding ? 50 : 100, buffer.data());
    const int16_t result = writePixels(file, l, options, buffer.data());
    if (result == CONV_OK && depth == 8) writePaletteBlock(file, l);
    // A close that fails may have lost what the system held back: as the
    // other writers do, the save then reports a write failure.
    if (!file.close() && result == CONV_OK) return CONV_E_WRITE;
    return result;
}

int16_t savePcxRow(const SaveRequest &request) {
    PcxSaveOptions options{5, 0, 1};
    if (const plat::Lock block(request.image); block) {
        ByteReader header(block.data(), block.size());
        header.skip(offsetof(ConvBitmapInfoHeader, biBitCount));
        options.bitCount = header.u16();  // 0 when the block is too small for it
    }
    return SavePcxImage(request.fileName, request.image, options);
}

}  // namespace vc
