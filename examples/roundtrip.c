/*
 * A program on the public API: makes an icon, an animated cursor and an
 * animated GIF, writes each to memory and to a file, reads them back and
 * checks that what came back is what went in.
 *
 *   cc roundtrip.c -o roundtrip $(pkg-config --cflags --libs velmconv)
 *   ./roundtrip DIRECTORY
 */
#include <stdio.h>
#include <string.h>

#include <velmconv/api.h>

static int failures = 0;

static void check(int ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "roundtrip: %s\n", what);
        ++failures;
    }
}

/* A w x h picture of 8 bits: a diagonal gradient of palette indices. */
static vc_picture *gradient(int32_t w, int32_t h, int shift) {
    vc_picture *p = vc_picture_new(w, h, 8);
    uint32_t palette[16];
    for (uint32_t i = 0; i < 16; ++i) palette[i] = (i * 16u) << 16 | (255u - i * 16u) << 8 | (i * 8u);
    vc_picture_set_palette(p, palette, 16);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *row = vc_picture_row(p, y);
        for (int32_t x = 0; x < w; ++x) row[x] = (uint8_t)((x + y + shift) % 16);
    }
    return p;
}

/* The colour of a pixel as 0x00RRGGBB, at any depth. */
static uint32_t colorAt(const vc_picture *p, int32_t x, int32_t y) {
    const uint8_t *row = vc_picture_row_const(p, y);
    const int depth = vc_picture_depth(p);
    if (depth == 24 || depth == 32) {
        const uint8_t *px = row + x * (depth / 8);
        return (uint32_t)px[2] << 16 | (uint32_t)px[1] << 8 | px[0];
    }
    const int perByte = 8 / depth, shift = (perByte - 1 - x % perByte) * depth;
    return vc_picture_palette_color(p, (uint32_t)(row[x / perByte] >> shift) & ((1u << depth) - 1));
}

static int samePixels(const vc_picture *a, const vc_picture *b) {
    if (!a || !b || vc_picture_width(a) != vc_picture_width(b) || vc_picture_height(a) != vc_picture_height(b)) return 0;
    for (int32_t y = 0; y < vc_picture_height(a); ++y)
        for (int32_t x = 0; x < vc_picture_width(a); ++x)
            if (colorAt(a, x, y) != colorAt(b, x, y)) return 0;
    return 1;
}

static vc_animation *make(vc_format format) {
    vc_animation *a = vc_animation_new();
    for (int i = 0; i < 3; ++i) {
        vc_picture *p = gradient(32, 32, i);
        if (format == VC_FORMAT_ANI || format == VC_FORMAT_ICO) {
            vc_picture_add_mask(p);
            vc_picture_set_hotspot(p, 3, 5);
        }
        vc_animation_add_frame(a, p);
        vc_picture_free(p);
        vc_frame_set_delay(a, (uint32_t)i, 10u * (uint32_t)(i + 1));
    }
    if (format == VC_FORMAT_ANI) {
        const uint32_t frames[4] = {0, 1, 2, 1}, rates[4] = {6, 6, 12, 6};
        vc_animation_set_title(a, "Round trip");
        vc_animation_set_author(a, "The example");
        vc_animation_set_default_rate(a, 6);
        vc_animation_set_steps(a, frames, rates, 4);
    }
    if (format == VC_FORMAT_GIF) vc_animation_set_loop(a, 1, 0);
    return a;
}

static void roundTrip(vc_format format, const char *directory) {
    char path[1024];
    const char *name = vc_format_name(format);
    snprintf(path, sizeof path, "%s/roundtrip.%s", directory, format == VC_FORMAT_ICO ? "ico" : format == VC_FORMAT_ANI ? "ani" : "gif");
    vc_animation *made = make(format);
    void *bytes = NULL;
    size_t size = 0;
    vc_status s = vc_write_memory(made, format, NULL, &bytes, &size);
    check(s == VC_OK, vc_status_message(s));
    check(vc_detect(bytes, size) == format, "the bytes written are detected as their format");
    s = vc_write_path(made, format, NULL, path);
    check(s == VC_OK, vc_status_message(s));
    check(vc_detect_path(path) == format, "the file written is detected as its format");

    vc_animation *back = NULL;
    s = vc_read_memory(bytes, size, VC_FORMAT_UNKNOWN, NULL, &back);
    check(s == VC_OK, vc_status_message(s));
    vc_animation *fromFile = NULL;
    s = vc_read_path(path, VC_FORMAT_UNKNOWN, NULL, &fromFile);
    check(s == VC_OK, vc_status_message(s));
    if (back && fromFile) {
        check(vc_animation_frame_count(back) == 3, "three frames come back");
        check(vc_animation_frame_count(fromFile) == 3, "three frames come back from the file");
        for (uint32_t i = 0; i < vc_animation_frame_count(back) && i < 3; ++i) {
            check(samePixels(vc_animation_frame_const(made, i), vc_animation_frame_const(back, i)), "a frame's pixels come back");
            check(samePixels(vc_animation_frame_const(back, i), vc_animation_frame_const(fromFile, i)), "memory and file agree");
        }
        if (format == VC_FORMAT_GIF) check(vc_frame_delay(back, 2) == 30, "the GIF's delays come back");
        if (format == VC_FORMAT_ANI) {
            uint32_t frame = 0, rate = 0;
            int32_t x = 0, y = 0;
            check(strcmp(vc_animation_title(back), "Round trip") == 0, "the cursor's title comes back");
            check(strcmp(vc_animation_author(back), "The example") == 0, "the cursor's author comes back");
            check(vc_animation_step_count(back) == 4 && vc_animation_step(back, 2, &frame, &rate) && frame == 2 && rate == 12,
                  "the cursor's steps come back");
            check(vc_picture_hotspot(vc_animation_frame_const(back, 0), &x, &y) && x == 3 && y == 5, "the hotspot comes back");
        }
    }
    printf("%s: %zu bytes, %u frames back\n", name, size, back ? vc_animation_frame_count(back) : 0);
    vc_free(bytes);
    vc_animation_free(made);
    vc_animation_free(back);
    vc_animation_free(fromFile);
}

int main(int argc, char **argv) {
    const char *directory = argc > 1 ? argv[1] : ".";
    roundTrip(VC_FORMAT_ICO, directory);
    roundTrip(VC_FORMAT_ANI, directory);
    roundTrip(VC_FORMAT_GIF, directory);
    {
        vc_animation *nothing = NULL;
        const char junk[] = "not a picture";
        vc_status s = vc_read_memory(junk, sizeof junk, VC_FORMAT_UNKNOWN, NULL, &nothing);
        check(s == VC_E_FORMAT && nothing == NULL, "bytes of no format are refused");
    }
    if (failures) return 1;
    printf("roundtrip: an icon, an animated cursor and an animated GIF came back as written\n");
    return 0;
}
