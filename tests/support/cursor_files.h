// Helpers of the icon, cursor and animated cursor tests (the byte and file
// helpers of still_support.h with them): little-endian bytes, RIFF chunks,
// pictures for the cores, tagged icon image data, one-image cursor files,
// cursor animation documents and outside programs.
#pragma once

#include <cstring>

#include "cursor/ani.h"
#include "still_support.h"
#include "support/fake_editor.h"

namespace vctest {

using stilltest::Bytes, stilltest::operator+, stilltest::readBytes, stilltest::capture;

inline Bytes le32(std::initializer_list<uint32_t> words) {
    Bytes b;
    for (uint32_t v : words)
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    return b;
}
inline void put16(Bytes &b, size_t at, uint16_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
inline void put32(Bytes &b, size_t at, uint32_t v) { put16(b, at, uint16_t(v)), put16(b, at + 2, uint16_t(v >> 16)); }
inline uint16_t get16(const Bytes &b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
inline uint32_t get32(const Bytes &b, size_t at) { return get16(b, at) | uint32_t(get16(b, at + 2)) << 16; }

// A RIFF chunk with its pad byte; `size` overrides the stored size.
inline Bytes chunk(const char *id, const Bytes &body, uint32_t size = UINT32_MAX) {
    Bytes b = Bytes(id, id + 4) + le32({size == UINT32_MAX ? uint32_t(body.size()) : size}) + body;
    if (body.size() & 1) b.push_back(0);
    return b;
}

inline std::span<const uint8_t> in(const Bytes &b) { return {b.data(), b.size()}; }

// A picture of the given depth whose pixels, palette and mask vary.
inline vc::Picture picture(int32_t w, int32_t h, uint16_t bits, int seed) {
    vc::Picture p;
    p.width = w, p.height = h, p.bitCount = bits;
    if (bits <= 8)
        for (uint32_t i = 0; i < (1u << bits); ++i) p.palette.push_back({uint8_t(i), uint8_t(i * 3), uint8_t(seed), 0});
    p.pixels.resize(size_t(p.rowBytes() * uint64_t(h)));
    p.mask.resize(size_t(p.maskRowBytes() * uint64_t(h)));
    for (size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = uint8_t(i * 7 + seed);
    for (size_t i = 0; i < p.mask.size(); ++i) p.mask[i] = uint8_t(i * 5 + seed);
    p.hasHotspot = true, p.hotspotX = seed, p.hotspotY = 2 * seed;
    return p;
}
// Icon image data whose colour rows all hold `tag`, so tests can tell images apart.
inline Bytes iconData(int32_t w, int32_t h, uint16_t bits, uint8_t tag = 0) {
    Bytes dib = makeDib(w, h, bits);
    std::fill(dib.begin() + 40 + 4 * (bits <= 8 ? 1 << bits : 0), dib.end(), tag);
    return iconFromDib(dib);
}
// A one-image 32 x 32 cursor file around icon image data.
inline Bytes cursorFile(const Bytes &data, uint16_t hx, uint16_t hy) {
    Bytes b = {0, 0, 2, 0, 1, 0, 32, 32, 16, 0, uint8_t(hx), uint8_t(hx >> 8), uint8_t(hy), uint8_t(hy >> 8)};
    return b + le32({uint32_t(data.size()), 22}) + data;
}

// What GetPreviewImage makes of a file: its result, the block's bytes
// (freed again) and the offset of the bits in them.
struct Preview {
    int32_t result;
    Bytes block;
    uint32_t bitsOffset;
    const ConvBitmapInfoHeader &header() const { return *reinterpret_cast<const ConvBitmapInfoHeader *>(block.data()); }
};
inline Preview preview(const std::string &file) {
    ConvImageRecord rec{};
    Preview p{GetPreviewImage(file.c_str(), &rec), {}, 0};
    p.bitsOffset = uint32_t(rec.bitsOffset);
    if (!rec.image) return p;
    auto *at = static_cast<const uint8_t *>(VcMemLock(rec.image));
    p.block.assign(at, at + VcMemSize(rec.image));
    VcMemUnlock(rec.image);
    VcMemFree(rec.image);
    return p;
}

// A load through the exports, with an output record or without; icons and
// animated cursors go to the editor only and leave the record's image cleared.
inline int32_t loadCursor(const std::string &file, bool withRecord = false, uint8_t *format = nullptr) {
    ConvImageRecord rec{};
    rec.image = reinterpret_cast<void *>(0x1234);
    uint8_t ignored = 0;
    const int32_t r = LoadConvImage(nullptr, file.c_str(), withRecord ? &rec : nullptr, format ? format : &ignored, 0,
                                    FakeEditor::callback());
    EXPECT_TRUE(!withRecord || rec.image == nullptr) << file;
    return r;
}

// A cursor animation document block with these steps and texts.
inline void *makeDocument(const std::vector<uint32_t> &seq, const std::vector<uint32_t> &rates, const char *title = "",
                          const char *author = "", uint32_t frameCount = 0) {
    void *block = VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, sizeof(vc::CursorAnimationDocument));
    auto *d = static_cast<vc::CursorAnimationDocument *>(VcMemLock(block));
    d->formatCode = 166;
    d->header = {36, frameCount, uint32_t(seq.size()), 0, 0, 0, 0, rates.empty() ? 0 : rates[0], 0};
    std::copy(seq.begin(), seq.end(), d->sequence);
    std::copy(rates.begin(), rates.end(), d->rates);
    std::strncpy(d->title, title, 79);
    std::strncpy(d->author, author, 79);
    VcMemUnlock(block);
    return block;
}

}  // namespace vctest
