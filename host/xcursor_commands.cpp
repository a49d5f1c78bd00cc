#include "host/xcursor_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "host/api_convert.h"
#include "host/image.h"

namespace host {

namespace {

// The file read, or null with the reason said.
AnimationPtr readXcursor(const std::string &file) {
    vc_animation *a = nullptr;
    const vc_status s = vc_read_path(file.c_str(), VC_FORMAT_XCURSOR, nullptr, &a);
    if (s != VC_OK) std::fprintf(stderr, "velmconv: loading %s: %s\n", file.c_str(), vc_status_message(s));
    return AnimationPtr(a);
}

// A 32-bit picture's rows as R G B A, top row first.
std::vector<uint8_t> rgbaOf(const vc_picture *p) {
    const int32_t w = vc_picture_width(p), h = vc_picture_height(p);
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 4);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *row = vc_picture_row_const(p, y);
        uint8_t *to = out.data() + size_t(y) * size_t(w) * 4;
        for (int32_t x = 0; x < w; ++x)
            to[4 * x] = row[4 * x + 2], to[4 * x + 1] = row[4 * x + 1], to[4 * x + 2] = row[4 * x],
                   to[4 * x + 3] = row[4 * x + 3];
    }
    return out;
}

}  // namespace

bool isXcursorFile(const std::string &path) { return vc_detect_path(path.c_str()) == VC_FORMAT_XCURSOR; }

int xcursorInfo(const std::string &file, bool json) {
    const AnimationPtr a = readXcursor(file);
    if (!a) return 1;
    if (json) {
        std::fputs(xcursorJson(a.get(), file).c_str(), stdout);
        return 0;
    }
    const uint32_t count = vc_animation_frame_count(a.get());
    std::printf("%s\n  format: xcursor\n  images: %u\n", file.c_str(), count);
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t size = vc_frame_nominal_size(a.get(), i);
        auto at = std::find_if(sizes.begin(), sizes.end(), [size](const auto &s) { return s.first == size; });
        if (at == sizes.end()) sizes.emplace_back(size, 1);
        else ++at->second;
    }
    for (const auto &[size, images] : sizes)
        std::printf("  nominal size %u: %u frame%s\n", size, images, images == 1 ? "" : "s");
    for (uint32_t i = 0; i < count; ++i) {
        const vc_picture *p = vc_animation_frame_const(a.get(), i);
        int32_t x = 0, y = 0;
        vc_picture_hotspot(p, &x, &y);
        std::printf("  image %u: nominal %u, %dx%d, hotspot %d,%d, delay %u ms\n", i, vc_frame_nominal_size(a.get(), i),
                    vc_picture_width(p), vc_picture_height(p), x, y, vc_frame_delay_ms(a.get(), i));
    }
    const std::pair<const char *, vc_comment_kind> kinds[] = {
        {"copyright", VC_COMMENT_COPYRIGHT}, {"license", VC_COMMENT_LICENSE}, {"comment", VC_COMMENT_OTHER}};
    for (const auto &[name, kind] : kinds)
        if (const char *text = vc_animation_comment(a.get(), kind); *text) std::printf("  %s: %s\n", name, text);
    return 0;
}

int xcursorExtract(const std::string &file, const FrameName &nameOf, bool quiet) {
    const AnimationPtr a = readXcursor(file);
    if (!a) return 1;
    const uint32_t count = vc_animation_frame_count(a.get());
    std::string first;
    for (uint32_t i = 0; i < count; ++i) {
        const vc_picture *p = vc_animation_frame_const(a.get(), i);
        const std::string name = nameOf(i, count);
        std::string error;
        if (!writePngRgba(name, vc_picture_width(p), vc_picture_height(p), rgbaOf(p), &error)) {
            std::fprintf(stderr, "velmconv: cannot write %s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
        if (i == 0) first = name;
    }
    if (!quiet) std::printf("%s: %u image%s written as PNG, from %s\n", file.c_str(), count, count == 1 ? "" : "s",
                            first.c_str());
    return 0;
}

int xcursorPlay(const std::string &file, uint32_t size, int maxCanvases, const FrameName &nameOf, bool quiet) {
    const AnimationPtr a = readXcursor(file);
    if (!a) return 1;
    const uint32_t count = vc_animation_frame_count(a.get());
    if (!size) size = vc_frame_nominal_size(a.get(), 0);
    // The images of the size over white, with their delays in hundredths.
    AnimationPtr shown(vc_animation_new());
    for (uint32_t i = 0; i < count && shown; ++i) {
        if (vc_frame_nominal_size(a.get(), i) != size) continue;
        const vc_picture *p = vc_animation_frame_const(a.get(), i);
        const int32_t w = vc_picture_width(p), h = vc_picture_height(p);
        vc_picture *ground = vc_picture_new(w, h, 24);
        if (!ground) return std::fprintf(stderr, "velmconv: %s\n", vc_status_message(VC_E_MEMORY)), 1;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t *from = vc_picture_row_const(p, y);
            uint8_t *to = vc_picture_row(ground, y);
            for (int32_t x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    const uint32_t alpha = from[4 * x + 3];
                    to[3 * x + c] = uint8_t((from[4 * x + c] * alpha + 255 * (255 - alpha) + 127) / 255);
                }
        }
        const vc_status added = vc_animation_add_frame(shown.get(), ground);
        vc_picture_free(ground);
        if (added != VC_OK) return std::fprintf(stderr, "velmconv: %s\n", vc_status_message(added)), 1;
        vc_frame_set_delay(shown.get(), vc_animation_frame_count(shown.get()) - 1, (vc_frame_delay_ms(a.get(), i) + 5) / 10);
    }
    const uint32_t frames = shown ? vc_animation_frame_count(shown.get()) : 0;
    if (!frames) {
        std::fprintf(stderr, "velmconv: %s holds no image of nominal size %u\n", file.c_str(), size);
        return 1;
    }
    vc_player *made = nullptr;
    if (const vc_status s = vc_player_new(shown.get(), &made); s != VC_OK) {
        std::fprintf(stderr, "velmconv: playing %s: %s\n", file.c_str(), vc_status_message(s));
        return 1;
    }
    const std::unique_ptr<vc_player, void (*)(vc_player *)> player(made, vc_player_free);
    const int most = maxCanvases > 0 ? maxCanvases : int(frames);
    if (!quiet) std::printf("%s: nominal size %u, %u frame%s\n", file.c_str(), size, frames, frames == 1 ? "" : "s");
    int written = 0;
    for (; written < most && vc_player_step(player.get()); ++written) {
        const vc_picture *canvas = vc_player_canvas(player.get());
        Image img;
        img.width = vc_picture_width(canvas);
        img.height = vc_picture_height(canvas);
        img.bitCount = 24;
        img.bits.assign(size_t(img.rowBytes()) * size_t(img.height), 0);
        for (int32_t y = 0; y < img.height; ++y)
            std::memcpy(img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes(), vc_picture_row_const(canvas, y),
                        size_t(img.width) * 3);
        const std::string name = nameOf(size_t(written), size_t(most));
        std::string error;
        if (!writeOwnFile(name, img, &error)) {
            std::fprintf(stderr, "velmconv: %s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
        if (!quiet)
            std::printf("canvas %03d: frame %d, shown %u ticks\n", written, vc_player_frame(player.get()),
                        vc_player_ticks(player.get()));
    }
    if (!quiet) std::printf("%d canvas%s written\n", written, written == 1 ? "" : "es");
    return written ? 0 : 1;
}

}  // namespace host
