// Pictures and animations for the public API's tests, made through the API
// itself, and the readers' view of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/program_files.h"
#include "velmconv/api.h"

namespace apitest {

struct AnimationFree {
    void operator()(vc_animation *a) const { vc_animation_free(a); }
};
using AnimationPtr = std::unique_ptr<vc_animation, AnimationFree>;

struct Bytes {
    void *data = nullptr;
    size_t size = 0;
    ~Bytes() { vc_free(data); }
    std::vector<uint8_t> vector() const {
        const auto *p = static_cast<const uint8_t *>(data);
        return {p, p + size};
    }
};

// The colour of a pixel as 0x00RRGGBB, at any depth.
inline uint32_t colorAt(const vc_picture *p, int32_t x, int32_t y) {
    const uint8_t *row = vc_picture_row_const(p, y);
    const int depth = vc_picture_depth(p);
    if (depth == 24 || depth == 32) {
        const uint8_t *px = row + x * (depth / 8);
        return uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0];
    }
    const int perByte = 8 / depth, shift = (perByte - 1 - x % perByte) * depth;
    return vc_picture_palette_color(p, uint32_t(row[x / perByte] >> shift) & ((1u << depth) - 1));
}

// Every pixel's colour, top row first; of every frame in turn.
inline std::vector<uint32_t> colors(const vc_picture *p) {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < vc_picture_height(p); ++y)
        for (int32_t x = 0; x < vc_picture_width(p); ++x) out.push_back(colorAt(p, x, y));
    return out;
}
inline std::vector<std::vector<uint32_t>> frameColors(const vc_animation *a) {
    std::vector<std::vector<uint32_t>> out;
    for (uint32_t i = 0; i < vc_animation_frame_count(a); ++i) out.push_back(colors(vc_animation_frame_const(a, i)));
    return out;
}

// The animation written in the format and read back; null when either
// failed.
inline AnimationPtr through(const vc_animation *a, vc_format format = VC_FORMAT_GIF) {
    Bytes bytes;
    vc_animation *back = nullptr;
    if (vc_write_memory(a, format, nullptr, &bytes.data, &bytes.size) == VC_OK)
        vc_read_memory(bytes.data, bytes.size, format, nullptr, &back);
    return AnimationPtr(back);
}

// The canvases a player shows of the animation, at most `most`.
inline std::vector<std::vector<uint32_t>> playedCanvases(const vc_animation *a, size_t most = 100) {
    vc_player *raw = nullptr;
    std::vector<std::vector<uint32_t>> out;
    if (vc_player_new(a, &raw) != VC_OK) return out;
    const std::unique_ptr<vc_player, void (*)(vc_player *)> player(raw, vc_player_free);
    while (out.size() < most && vc_player_step(player.get())) out.push_back(colors(vc_player_canvas(player.get())));
    return out;
}

// A gradient of 16 colours, shifted by `shift`, at 4, 8 or 24 bits.
inline vc_picture *gradient(int32_t w, int32_t h, int depth, int shift) {
    vc_picture *p = vc_picture_new(w, h, depth);
    uint32_t palette[16];
    for (uint32_t i = 0; i < 16; ++i) palette[i] = (i * 16u) << 16 | (255u - i * 16u) << 8 | (i * 8u);
    if (depth <= 8) vc_picture_set_palette(p, palette, 16);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *row = vc_picture_row(p, y);
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t i = uint32_t(x / 2 + y + shift) % 16;
            if (depth == 8) row[x] = uint8_t(i);
            else if (depth == 4) row[x / 2] |= uint8_t(i << (x % 2 ? 0 : 4));
            else row[3 * x] = uint8_t(palette[i]), row[3 * x + 1] = uint8_t(palette[i] >> 8), row[3 * x + 2] = uint8_t(palette[i] >> 16);
        }
    }
    return p;
}

// frames pictures of w x h at the depth, with delays of 10, 20, ...
// hundredths; masks and hotspots for the cursor formats.
inline AnimationPtr animationFor(vc_format format, int frames, int32_t w = 32, int32_t h = 32, int depth = 8) {
    AnimationPtr a(vc_animation_new());
    for (int i = 0; i < frames; ++i) {
        vc_picture *p = gradient(w, h, depth, i);
        if (format == VC_FORMAT_ICO || format == VC_FORMAT_CUR || format == VC_FORMAT_ANI) vc_picture_add_mask(p);
        if (format == VC_FORMAT_CUR || format == VC_FORMAT_ANI) vc_picture_set_hotspot(p, 3, 5);
        vc_animation_add_frame(a.get(), p);
        vc_picture_free(p);
        vc_frame_set_delay(a.get(), uint32_t(i), 10u * uint32_t(i + 1));
    }
    return a;
}

// A w x h DIB behind a `header`-byte header (its fields past the
// compression 0): the colour table (or masks), `gap` bytes, then the rows.
// As a file, behind a BMP file header naming the rows' offset.
inline std::vector<uint8_t> dib(int32_t w, int32_t h, uint16_t bits, uint32_t compression, const std::vector<uint8_t> &table,
                                const std::vector<uint8_t> &rows, bool file = true, uint32_t gap = 0, uint32_t header = 40) {
    std::vector<uint8_t> d(header);
    using vctest::poke32;
    poke32(d, 0, header), poke32(d, 4, uint32_t(w)), poke32(d, 8, uint32_t(h)), poke32(d, 12, 1u | uint32_t(bits) << 16);
    poke32(d, 16, compression);
    d.insert(d.end(), table.begin(), table.end());
    d.resize(d.size() + gap);
    if (file) {
        d.insert(d.begin(), 14, 0);
        d[0] = 'B', d[1] = 'M';
        poke32(d, 10, uint32_t(d.size()));
    }
    d.insert(d.end(), rows.begin(), rows.end());
    return d;
}

}  // namespace apitest
