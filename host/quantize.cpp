#include "host/quantize.h"

#if defined(VC_HOST_HAVE_IMAGEQUANT)
#include <libimagequant.h>
#endif

#include <map>

namespace host {

std::vector<uint8_t> mapToPalette(const std::vector<Rgb> &pixels, const std::vector<Rgb> &palette) {
    std::vector<uint8_t> out;
    out.reserve(pixels.size());
    std::map<Rgb, uint8_t> cache;
    for (Rgb c : pixels) {
        auto it = cache.find(c);
        if (it != cache.end()) {
            out.push_back(it->second);
            continue;
        }
        int best = 0;
        long bestDistance = -1;
        for (size_t i = 0; i < palette.size(); ++i) {
            long dr = long((c >> 16) & 255) - long((palette[i] >> 16) & 255);
            long dg = long((c >> 8) & 255) - long((palette[i] >> 8) & 255);
            long db = long(c & 255) - long(palette[i] & 255);
            long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = int(i);
            }
        }
        cache.emplace(c, uint8_t(best));
        out.push_back(uint8_t(best));
    }
    return out;
}

std::vector<Rgb> fixedPalette(int colors) {
    if (colors <= 2) return {rgb(0, 0, 0), rgb(255, 255, 255)};
    if (colors <= 16)
        return {rgb(0, 0, 0),       rgb(128, 0, 0),   rgb(0, 128, 0),   rgb(128, 128, 0),
                rgb(0, 0, 128),     rgb(128, 0, 128), rgb(0, 128, 128), rgb(192, 192, 192),
                rgb(128, 128, 128), rgb(255, 0, 0),   rgb(0, 255, 0),   rgb(255, 255, 0),
                rgb(0, 0, 255),     rgb(255, 0, 255), rgb(0, 255, 255), rgb(255, 255, 255)};
    std::vector<Rgb> p;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) p.push_back(rgb(uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)));
    for (int i = 0; i < 40; ++i) {
        uint8_t v = uint8_t(i * 255 / 39);
        p.push_back(rgb(v, v, v));
    }
    return p;
}

void quantize(const std::vector<Rgb> &pixels, int32_t width, int32_t height, int maxColors, bool dither,
              std::vector<Rgb> &palette, std::vector<uint8_t> &indices) {
#if defined(VC_HOST_HAVE_IMAGEQUANT)
    std::vector<uint8_t> rgba(pixels.size() * 4);
    for (size_t i = 0; i < pixels.size(); ++i) {
        rgba[i * 4] = uint8_t(pixels[i] >> 16);
        rgba[i * 4 + 1] = uint8_t(pixels[i] >> 8);
        rgba[i * 4 + 2] = uint8_t(pixels[i]);
        rgba[i * 4 + 3] = 255;
    }
    liq_attr *attr = liq_attr_create();
    liq_image *image = attr ? liq_image_create_rgba(attr, rgba.data(), width, height, 0) : nullptr;
    liq_result *result = nullptr;
    bool ok = image && liq_set_max_colors(attr, maxColors) == LIQ_OK &&
              liq_image_quantize(image, attr, &result) == LIQ_OK;
    if (ok) {
        liq_set_dithering_level(result, dither ? 1.0f : 0.0f);
        indices.assign(pixels.size(), 0);
        ok = liq_write_remapped_image(result, image, indices.data(), indices.size()) == LIQ_OK;
    }
    if (ok) {
        const liq_palette *pal = liq_get_palette(result);
        palette.clear();
        for (unsigned i = 0; i < pal->count; ++i)
            palette.push_back(rgb(pal->entries[i].r, pal->entries[i].g, pal->entries[i].b));
    }
    if (result) liq_result_destroy(result);
    if (image) liq_image_destroy(image);
    if (attr) liq_attr_destroy(attr);
    if (ok) return;
#else
    (void)width;
    (void)height;
    (void)dither;
#endif
    palette = fixedPalette(maxColors);
    indices = mapToPalette(pixels, palette);
}

}  // namespace host
