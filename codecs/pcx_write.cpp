// PCX writer: header, plane buffer rounded to whole groups of 8 scan lines,
// run-length coding per scan line, and the 256-colour palette block.
#include <algorithm>
#include <cstring>

#include "codecs/pcx.h"
#include "common/services.h"
#include "entry/image_block.h"

namespace vc {

namespace {

inline void put16(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

struct Locked {
    MemHandle h;
    uint8_t *p;
    ~Locked() {
        if (p) plat::memUnlock(h);
    }
};

struct Owned {
    MemHandle h = nullptr;
    uint8_t *p = nullptr;
    bool alloc(uint64_t size) {
        if (size > SIZE_MAX) return false;
        h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, size_t(size));
        if (h && !(p = static_cast<uint8_t *>(plat::memLock(h)))) {
            plat::memFree(h);
            h = nullptr;
        }
        return p != nullptr;
    }
    ~Owned() {
        if (h) {
            plat::memUnlock(h);
            plat::memFree(h);
        }
    }
};

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

}  // namespace

int16_t PcxEncodeLines(HFile file, const uint8_t *planes, uint32_t lines, uint32_t lineBytes) {
    const uint64_t total = uint64_t(lines) * lineBytes;
    Owned out;
    if (total * 2 > 0xFFFFFFFFull || !out.alloc(total * 2)) return CONV_E_MEMORY;
    uint8_t *o = out.p;
    for (uint32_t j = 0; j < lines; ++j) {
        SetProgress(int32_t(50 + uint64_t(50) * j / lines));
        o += pcx::encodeLine(planes + uint64_t(j) * lineBytes, lineBytes, o);
    }
    const uint32_t length = uint32_t(o - out.p);
    if (plat::fileWrite(file, out.p, length) != int32_t(length)) return CONV_E_WRITE;
    return CONV_OK;
}

int16_t SavePcxImage(const char *fileName, MemHandle image, const PcxSaveOptions &options) {
    HFile file = plat::fileCreate(fileName, 0);
    if (file == kFileError) return CONV_E_CREATE;
    struct Closer {
        HFile f;
        ~Closer() { plat::fileClose(f); }
    } closer{file};

    Locked img{image, static_cast<uint8_t *>(plat::memLock(image))};
    if (!img.p) return CONV_E_MEMORY;
    ConvBitmapInfoHeader bih;
    const size_t blockSize = plat::memSize(image);
    if (blockSize < sizeof bih) return CONV_E_UNSUPPORTED;
    std::memcpy(&bih, img.p, sizeof bih);
    const uint32_t depth = bih.biBitCount;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24) return CONV_E_UNSUPPORTED;
    // A block whose header promises more than it holds is not written from.
    if (!dibHeaderUsable(bih, blockSize)) return CONV_E_UNSUPPORTED;

    const uint32_t width = uint32_t(bih.biWidth);
    const uint32_t height = uint32_t(bih.biHeight < 0 ? -int64_t(bih.biHeight) : bih.biHeight);
    const uint32_t xmax = (width - 1) & 0xFFFF, ymax = (height - 1) & 0xFFFF;
    const uint32_t planes = depth == 4 ? 4 : depth == 24 ? 3 : 1;
    const uint32_t lineBytes = depth <= 4 ? (xmax + 16) / 16 * 2 : (xmax + 2) / 2 * 2;
    const uint32_t lines = (ymax + 8) & ~7u;
    const uint32_t colors = dibColorCount(bih);
    const uint8_t *table = img.p + bih.biSize;

    uint8_t hdr[pcx::kHeaderSize] = {};
    hdr[0] = 10;
    hdr[1] = options.version;
    hdr[2] = options.encoding ? 1 : 0;
    hdr[3] = depth <= 4 ? 1 : 8;
    put16(hdr + 8, xmax);
    put16(hdr + 10, ymax);
    put16(hdr + 12, 640);
    put16(hdr + 14, 480);
    if (depth <= 4) {
        for (uint32_t i = 0; i < std::min<uint32_t>(colors, 1u << depth); ++i) {
            hdr[16 + 3 * i] = table[4 * i + 2];
            hdr[17 + 3 * i] = table[4 * i + 1];
            hdr[18 + 3 * i] = table[4 * i];
        }
    }
    hdr[65] = uint8_t(planes);
    put16(hdr + 66, lineBytes);
    put16(hdr + 68, 1);
    plat::fileWrite(file, hdr, sizeof hdr);  // a short header shows in the pixel write

    const uint32_t scanBytes = planes * lineBytes;
    Owned buffer;
    if (!buffer.alloc(uint64_t(lines) * scanBytes)) return CONV_E_MEMORY;
    const uint8_t *rows = table + 4ull * colors;
    const uint64_t rowBytes = dibRowBytes(width, depth);
    const uint32_t k = options.encoding ? 50 : 100;
    // Scan lines past the 16-bit height field's reach are not written.
    const uint32_t filled = std::min(height, lines);
    for (uint32_t i = 0; i < filled; ++i) {
        SetProgress(int32_t(uint64_t(i) * k / height));
        const uint8_t *row = rows + rowBytes * (bih.biHeight < 0 ? i : height - 1 - i);
        uint8_t *scan = buffer.p + uint64_t(i) * scanBytes;
        switch (depth) {
        case 1:
        case 8:
            std::memcpy(scan, row, std::min<uint64_t>(lineBytes, rowBytes));
            break;
        case 4:
            splitNibbles(row, width, scan, lineBytes);
            break;
        case 24: {
            const uint32_t n = std::min(width, lineBytes);
            uint8_t *r = scan, *g = scan + lineBytes, *b = scan + 2 * lineBytes;
            for (uint32_t x = 0; x < n; ++x) {
                b[x] = row[3 * x];
                g[x] = row[3 * x + 1];
                r[x] = row[3 * x + 2];
            }
            break;
        }
        }
    }

    int16_t result;
    if (options.encoding) {
        result = PcxEncodeLines(file, buffer.p, lines, scanBytes);
    } else {
        const uint64_t size = uint64_t(lines) * scanBytes;
        result = size <= 0x7FFFFFFF && plat::fileWrite(file, buffer.p, uint32_t(size)) == int32_t(size)
                     ? CONV_OK
                     : CONV_E_WRITE;
    }
    if (result == CONV_OK && depth == 8) {
        const uint8_t marker = pcx::kPaletteMarker;
        plat::fileWrite(file, &marker, 1);
        for (uint32_t i = 0; i < 256; ++i) {
            uint8_t rgb[3] = {0, 0, 0};
            if (i < colors) {
                rgb[0] = table[4 * i + 2];
                rgb[1] = table[4 * i + 1];
                rgb[2] = table[4 * i];
            }
            plat::fileWrite(file, rgb, 3);
        }
    }
    return result;
}

int16_t savePcxRow(const SaveRequest &request) {
    PcxSaveOptions options{5, 0, 1};
    if (auto *p = static_cast<const ConvBitmapInfoHeader *>(plat::memLock(request.image))) {
        options.bitCount = p->biBitCount;
        plat::memUnlock(request.image);
    }
    return SavePcxImage(request.fileName, request.image, options);
}

}  // namespace vc
