/*
 * VelmConv for programs: the library's formats without an editor.
 *
 * Read an icon, a cursor, an animated cursor, an X cursor, a GIF (still or animated), a
 * PCX, TIFF, JPEG or BMP picture, an AVI video or the bitmaps inside a program,
 * from memory or from a path, into an animation of pictures; write one
 * back. Nothing here opens a window, asks a question or keeps state
 * between calls: two threads may read and write different files at once.
 *
 * Every file reads as a vc_animation. A still picture is one frame; an
 * icon or cursor file holds one frame per image of its directory; a
 * program gives one frame per bitmap, named by the bitmap's resource name;
 * an X cursor file gives one frame per image, in file order, each with its
 * nominal size, hotspot and delay in milliseconds.
 *
 * Pictures are 1, 4 or 8 bits with a palette, or 24 bits (blue, green,
 * red) or 32 bits (blue, green, red, alpha). vc_picture_row gives row y
 * counted from the top; rows are vc_picture_stride bytes apart in memory,
 * bottom row first, as in a BMP file.
 *
 * Functions that can fail return a vc_status; vc_status_message says in
 * words what it means. Handles the library gives are freed by their own
 * free functions; a frame's picture belongs to its animation.
 *
 *   #include <velmconv/api.h>
 *   cc prog.c $(pkg-config --cflags --libs velmconv)
 */
#ifndef VELMCONV_API_H
#define VELMCONV_API_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VC_APIENTRY __cdecl
#if defined(VELMCONV_BUILDING)
#define VC_APIEXPORT
#else
#define VC_APIEXPORT __declspec(dllimport)
#endif
#else
#define VC_APIENTRY
#define VC_APIEXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Results ------------------------------------------------------------ */
typedef enum vc_status {
    VC_OK = 0,
    VC_CANCELLED = 1,      /* the progress callback said stop */
    VC_NONE_FOUND = 2,     /* a good file with nothing to give (a program without bitmaps) */
    VC_E_OPEN = 3,         /* the file cannot be opened */
    VC_E_FORMAT = 4,       /* not a file of the format asked for, or of none the library reads */
    VC_E_READ = 5,         /* the file is short, or reading failed */
    VC_E_UNSUPPORTED = 6,  /* a kind of the format the library does not handle */
    VC_E_MEMORY = 7,       /* larger than the limits, or memory was refused */
    VC_E_DATA = 8,         /* the data inside the file is damaged */
    VC_E_CREATE = 9,       /* the file cannot be created */
    VC_E_WRITE = 10,       /* writing failed */
    VC_E_ARGUMENT = 11     /* a null handle, a frame out of range, a picture the format cannot hold */
} vc_status;

/* What a status means, in a short English sentence; never null. */
VC_APIEXPORT const char *VC_APIENTRY vc_status_message(vc_status status);

/* ---- Formats ------------------------------------------------------------ */
typedef enum vc_format {
    VC_FORMAT_UNKNOWN = 0,
    VC_FORMAT_ICO = 1,
    VC_FORMAT_CUR = 2,
    VC_FORMAT_ANI = 3,      /* animated cursor */
    VC_FORMAT_GIF = 4,      /* still or animated */
    VC_FORMAT_PCX = 5,
    VC_FORMAT_TIFF = 6,
    VC_FORMAT_JPEG = 7,
    VC_FORMAT_AVI = 8,
    VC_FORMAT_PROGRAM = 9,  /* EXE, DLL and the like: read only */
    VC_FORMAT_BMP = 10,     /* read only; see vc_picture_from_dib for what it gives */
    VC_FORMAT_XCURSOR = 11  /* X cursor files ("Xcur"): 32-bit pictures of several nominal sizes */
} vc_format;

/* The format the bytes start as, by their content; VC_FORMAT_UNKNOWN when none. */
VC_APIEXPORT vc_format VC_APIENTRY vc_detect(const void *bytes, size_t size);
/* The same for a file; VC_FORMAT_UNKNOWN also when it cannot be read. */
VC_APIEXPORT vc_format VC_APIENTRY vc_detect_path(const char *path);
/* "ICO", "CUR", "ANI", "GIF", "PCX", "TIFF", "JPEG", "AVI", "program", "BMP", "xcursor", "unknown". */
VC_APIEXPORT const char *VC_APIENTRY vc_format_name(vc_format format);
/* Whether the library writes the format. */
VC_APIEXPORT int VC_APIENTRY vc_format_writable(vc_format format);
/* The depth a picture of `depth` bits is written at in the format: PCX and
 * TIFF take 1, 4, 8 or 24 bits, GIF at most 8, JPEG 24, X cursors 32;
 * icons, cursors and AVI keep the depth. A program converting for a format reduces its
 * pictures to this depth first (vc_write refuses a picture the format
 * cannot hold). */
VC_APIEXPORT int VC_APIENTRY vc_format_depth(vc_format format, int depth);

/* ---- Options of one call (null for the defaults) -------------------------- */
typedef struct vc_options {
    size_t size;                /* sizeof(vc_options): set by vc_options_init */
    uint64_t largest_picture;   /* pixels in one picture; 0 the default */
    uint64_t largest_block;     /* bytes of one picture's pixels; 0 the default */
    uint32_t largest_frames;    /* frames in one animation; 0 the default */
    /* Called with 0 to 100 as the work goes on; returning 0 stops it
     * (VC_CANCELLED). May be null. */
    int (*progress)(void *context, int percent);
    void *context;
    /* VC_READ_... bits (see "Icon and cursor sets" below); 0 by default.
     * A caller built before this field sets a smaller size and gets 0. */
    uint32_t flags;
} vc_options;

VC_APIEXPORT void VC_APIENTRY vc_options_init(vc_options *options);

/* ---- Pictures --------------------------------------------------------------- */
typedef struct vc_picture vc_picture;

/* A new picture of the size and depth (1, 4, 8, 24, 32), pixels zero, a
 * palette of 2^depth black entries up to 8 bits; null when the arguments
 * are out of range or memory is refused. */
VC_APIEXPORT vc_picture *VC_APIENTRY vc_picture_new(int32_t width, int32_t height, int depth);
VC_APIEXPORT vc_picture *VC_APIENTRY vc_picture_copy(const vc_picture *picture);
VC_APIEXPORT void VC_APIENTRY vc_picture_free(vc_picture *picture);

VC_APIEXPORT int32_t VC_APIENTRY vc_picture_width(const vc_picture *picture);
VC_APIEXPORT int32_t VC_APIENTRY vc_picture_height(const vc_picture *picture);
VC_APIEXPORT int VC_APIENTRY vc_picture_depth(const vc_picture *picture);
VC_APIEXPORT size_t VC_APIENTRY vc_picture_stride(const vc_picture *picture);
/* Row y from the top; null when y is out of range. */
VC_APIEXPORT uint8_t *VC_APIENTRY vc_picture_row(vc_picture *picture, int32_t y);
VC_APIEXPORT const uint8_t *VC_APIENTRY vc_picture_row_const(const vc_picture *picture, int32_t y);

/* Palette entries as 0x00RRGGBB. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_picture_palette_size(const vc_picture *picture);
VC_APIEXPORT uint32_t VC_APIENTRY vc_picture_palette_color(const vc_picture *picture, uint32_t index);
/* Sets the palette to count entries (at most 2^depth). */
VC_APIEXPORT vc_status VC_APIENTRY vc_picture_set_palette(vc_picture *picture, const uint32_t *colors, uint32_t count);

/* The mask of an icon or cursor: 1 bit per pixel, 1 where the screen shows
 * through, rows of vc_picture_mask_stride bytes, row y from the top. A
 * picture without a mask gives null; vc_picture_add_mask adds one (all 0). */
VC_APIEXPORT int VC_APIENTRY vc_picture_has_mask(const vc_picture *picture);
VC_APIEXPORT vc_status VC_APIENTRY vc_picture_add_mask(vc_picture *picture);
VC_APIEXPORT size_t VC_APIENTRY vc_picture_mask_stride(const vc_picture *picture);
VC_APIEXPORT uint8_t *VC_APIENTRY vc_picture_mask_row(vc_picture *picture, int32_t y);

/* A cursor's hotspot; has_hotspot 0 when the picture has none. */
VC_APIEXPORT int VC_APIENTRY vc_picture_hotspot(const vc_picture *picture, int32_t *x, int32_t *y);
VC_APIEXPORT void VC_APIENTRY vc_picture_set_hotspot(vc_picture *picture, int32_t x, int32_t y);

/* Resolution in pixels per metre; 0 when not known. */
VC_APIEXPORT void VC_APIENTRY vc_picture_resolution(const vc_picture *picture, int32_t *x, int32_t *y);
VC_APIEXPORT void VC_APIENTRY vc_picture_set_resolution(vc_picture *picture, int32_t x, int32_t y);

/* A GIF frame's transparent palette index; -1 none. */
VC_APIEXPORT int32_t VC_APIENTRY vc_picture_transparent_index(const vc_picture *picture);
VC_APIEXPORT void VC_APIENTRY vc_picture_set_transparent_index(vc_picture *picture, int32_t index);

/* A packed DIB (header, colour table, rows: what the editor's protocol and
 * the clipboard hand over) as a new picture the caller frees, read as a BMP
 * file's DIB is: the 12-byte core header and the 40, 52, 56, 64, 108 and
 * 124-byte headers; 1, 4, 8 and 24 bits as they are; 16 and 32 bits with
 * an alpha mask as 32 bits B G R A (the alpha as stored, scaled to 8 bits,
 * never premultiplied), without one as 24 bits (the fourth byte of plain
 * 32-bit rows means nothing); run-length rows of 4 and 8 bits unpacked
 * (pixels the runs skip are index 0), their data ending where the header's
 * image size says; rows stored top down turned. *out is null on failure.
 * A BMP file (VC_FORMAT_BMP) reads the same way, with its rows at the
 * offset its file header names and its run-length data running on to the
 * end of the file. */
VC_APIEXPORT vc_status VC_APIENTRY vc_picture_from_dib(const void *dib, size_t size, vc_picture **out);

/* ---- Animations ------------------------------------------------------------ */
typedef struct vc_animation vc_animation;

VC_APIEXPORT vc_animation *VC_APIENTRY vc_animation_new(void);
VC_APIEXPORT void VC_APIENTRY vc_animation_free(vc_animation *animation);

VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_frame_count(const vc_animation *animation);
/* Frame i's picture, owned by the animation; null out of range. */
VC_APIEXPORT vc_picture *VC_APIENTRY vc_animation_frame(vc_animation *animation, uint32_t index);
VC_APIEXPORT const vc_picture *VC_APIENTRY vc_animation_frame_const(const vc_animation *animation, uint32_t index);
/* The frame a viewer shows of the file: for an icon or cursor file, the one
 * image it opens at (the entry of most colours, then of largest area, in
 * file order); 0 for every other file. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_opens_at(const vc_animation *animation);
/* The images the file holds: more than the frames when a GIF holds more
 * than the 256 it gives; else the frame count. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_file_images(const vc_animation *animation);
/* Appends a copy of the picture as a new last frame (no delay, at 0, 0). */
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_add_frame(vc_animation *animation, const vc_picture *picture);

/* Frame timing and place: delay in hundredths of a second; the position on
 * the animation's screen; GIF disposal 0 none, 1 leave, 2 background,
 * 3 previous. Out-of-range frames read as 0 and are not set. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_delay(const vc_animation *animation, uint32_t index);
VC_APIEXPORT void VC_APIENTRY vc_frame_set_delay(vc_animation *animation, uint32_t index, uint32_t hundredths);
VC_APIEXPORT void VC_APIENTRY vc_frame_position(const vc_animation *animation, uint32_t index, int32_t *left,
                                                int32_t *top);
VC_APIEXPORT void VC_APIENTRY vc_frame_set_position(vc_animation *animation, uint32_t index, int32_t left,
                                                    int32_t top);
VC_APIEXPORT int VC_APIENTRY vc_frame_disposal(const vc_animation *animation, uint32_t index);
VC_APIEXPORT void VC_APIENTRY vc_frame_set_disposal(vc_animation *animation, uint32_t index, int disposal);
/* Whether a GIF frame waits for the user (a click or Enter) before the next
 * one shows, when its delay is 0. */
VC_APIEXPORT int VC_APIENTRY vc_frame_user_input(const vc_animation *animation, uint32_t index);
VC_APIEXPORT void VC_APIENTRY vc_frame_set_user_input(vc_animation *animation, uint32_t index, int waits);
/* Delay in milliseconds: exact for a frame read from an X cursor file or
 * set with vc_frame_set_delay_ms, else the hundredths times 10. Setting it
 * sets the hundredths to the milliseconds rounded; setting the hundredths
 * makes the milliseconds their value times 10 again. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_delay_ms(const vc_animation *animation, uint32_t index);
VC_APIEXPORT void VC_APIENTRY vc_frame_set_delay_ms(vc_animation *animation, uint32_t index, uint32_t ms);
/* An X cursor image's nominal size (the size a desktop asks for); 0 means
 * the picture's own size (the larger of width and height), which is what
 * the writer puts for it. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_nominal_size(const vc_animation *animation, uint32_t index);
VC_APIEXPORT void VC_APIENTRY vc_frame_set_nominal_size(vc_animation *animation, uint32_t index, uint32_t size);
/* A program bitmap's resource name ("LOGO", "#103"); "" for other frames. */
VC_APIEXPORT const char *VC_APIENTRY vc_frame_name(const vc_animation *animation, uint32_t index);

/* The screen the frames are placed on; 0 x 0 means the first frame's size. */
VC_APIEXPORT void VC_APIENTRY vc_animation_screen(const vc_animation *animation, int32_t *width, int32_t *height);
VC_APIEXPORT void VC_APIENTRY vc_animation_set_screen(vc_animation *animation, int32_t width, int32_t height);
/* GIF looping: loops 0 plays for ever; repeat 0 writes no looping block. */
VC_APIEXPORT void VC_APIENTRY vc_animation_loop(const vc_animation *animation, int *repeat, uint32_t *loops);
VC_APIEXPORT void VC_APIENTRY vc_animation_set_loop(vc_animation *animation, int repeat, uint32_t loops);
/* Animated cursors' title and author (UTF-8 as stored); "" when none. */
VC_APIEXPORT const char *VC_APIENTRY vc_animation_title(const vc_animation *animation);
VC_APIEXPORT const char *VC_APIENTRY vc_animation_author(const vc_animation *animation);
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_title(vc_animation *animation, const char *title);
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_author(vc_animation *animation, const char *author);
/* X cursor comments by kind; "" when the animation has none of it. A file
 * with several of one kind gives the first; setting replaces all of that
 * kind (an empty or null text removes them). VC_E_ARGUMENT for another
 * kind or a text above 1 MiB. */
typedef enum vc_comment_kind {
    VC_COMMENT_COPYRIGHT = 1,
    VC_COMMENT_LICENSE = 2,
    VC_COMMENT_OTHER = 3
} vc_comment_kind;
VC_APIEXPORT const char *VC_APIENTRY vc_animation_comment(const vc_animation *animation, vc_comment_kind kind);
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_comment(vc_animation *animation, vc_comment_kind kind,
                                                            const char *text);
/* Animated cursors: the default rate and the steps, each a frame index and
 * a rate, in jiffies (1/60 s). A cursor without steps plays its frames in
 * order at the default rate. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_default_rate(const vc_animation *animation);
VC_APIEXPORT void VC_APIENTRY vc_animation_set_default_rate(vc_animation *animation, uint32_t jiffies);
VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_step_count(const vc_animation *animation);
VC_APIEXPORT int VC_APIENTRY vc_animation_step(const vc_animation *animation, uint32_t step, uint32_t *frame,
                                               uint32_t *jiffies);
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_steps(vc_animation *animation, const uint32_t *frames,
                                                          const uint32_t *jiffies, uint32_t count);

/* ---- Reading and writing ---------------------------------------------------- */
/* A GIF gives at most its first 256 images, as many as the editor's
 * animation document holds (velmconv/documents.h, VC_GIF_MAX_FRAMES);
 * vc_animation_file_images says how many the file holds.
 * format VC_FORMAT_UNKNOWN detects it by content. On success *animation is
 * a new animation the caller frees; on failure it is null. */
VC_APIEXPORT vc_status VC_APIENTRY vc_read_memory(const void *bytes, size_t size, vc_format format,
                                                  const vc_options *options, vc_animation **animation);
VC_APIEXPORT vc_status VC_APIENTRY vc_read_path(const char *path, vc_format format, const vc_options *options,
                                                vc_animation **animation);

/* Writes the animation in the format: every frame for ICO, CUR, ANI, GIF
 * and AVI, the first frame for PCX, TIFF and JPEG (a 32-bit one as its 24
 * colour bits). GIF takes pictures of up to 8 bits. An X cursor takes
 * every depth as 32 bits with alpha (a mask or a GIF's transparent index
 * as transparency) and plays an animated cursor's steps: one image per
 * step with the step's rate in milliseconds (jiffies x 1000 / 60,
 * rounded); without steps one image per frame with its delay. On success *bytes is a
 * new buffer of *size bytes the caller frees with vc_free. */
VC_APIEXPORT vc_status VC_APIENTRY vc_write_memory(const vc_animation *animation, vc_format format,
                                                   const vc_options *options, void **bytes, size_t *size);
/* The same into a file; a file that was there is replaced only when the
 * whole file was written. */
VC_APIEXPORT vc_status VC_APIENTRY vc_write_path(const vc_animation *animation, vc_format format,
                                                 const vc_options *options, const char *path);
VC_APIEXPORT void VC_APIENTRY vc_free(void *bytes);

/* ---- Icon and cursor sets ----------------------------------------------------- */
/* One icon is often stored at several sizes (16, 32, 48, 256 ...): the
 * frames of one group are the sizes of one picture. vc_frame_group gives a
 * frame's group: the number set by vc_frame_set_group, else the frame's own
 * index (every frame a picture of its own).
 *
 * Writing VC_FORMAT_ICO or VC_FORMAT_CUR puts every frame in as an entry,
 * whatever its group: pictures up to 128 pixels as bitmaps (32-bit ones
 * with their alpha and an AND mask set where alpha is 0; 1, 4 and 8 bits
 * with their palette and mask), larger ones as 32-bit PNG images (the
 * directory states 256 and more as 0: a PNG image's own header says). A
 * cursor's entries each keep their own hotspot. Writing VC_FORMAT_ANI of
 * an animation whose frames share groups writes one animation frame per
 * group (in the order the groups first appear), its icon holding every
 * picture of the group; the steps then name groups by that order.
 *
 * Reading with VC_READ_EVERY_SIZE in vc_options.flags gives every entry of
 * an icon or cursor file (group 0) and of every frame of an animated cursor
 * (the group is the animation frame's number, and the steps name groups);
 * without it an animated cursor gives each frame's one chosen image, and
 * an icon or cursor file every entry with its own group as before. */
#define VC_READ_EVERY_SIZE 0x1u

VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_group(const vc_animation *animation, uint32_t index);
VC_APIEXPORT void VC_APIENTRY vc_frame_set_group(vc_animation *animation, uint32_t index, uint32_t group);

/* A new 32-bit picture of the given size resampled from the picture (any
 * depth; indices through the palette, a mask taken as alpha 0), colours
 * weighted by alpha so that transparent pixels do not darken the edges.
 * The hotspot is scaled with the picture. Null when the sizes are out of
 * range (1 to 65535) or memory is refused; the caller frees it. */
VC_APIEXPORT vc_picture *VC_APIENTRY vc_picture_resized(const vc_picture *picture, int32_t width, int32_t height);

/* ---- Playing an animated GIF --------------------------------------------- */
/* A player shows an animation (a GIF as vc_read_path gives it) canvas by
 * canvas as the editor's preview window plays it once the GIF came in as
 * a sequence of frames: the frames the size of the largest (one frame: its
 * own size, at the corner), each placed at its position, on a screen as
 * large as the frames' positions spread (a 24-bit canvas, first filled
 * with the global table's background colour); disposal 2 and 3 clear the
 * frame's rectangle to the background before the next; the colour of the
 * last transparent index is left out of every frame; looping as the
 * animation says. At most its first 256 frames play.
 *
 * Time runs in ticks of 10 ms: a frame with a delay of d hundredths stays
 * d + 1 ticks; one of delay 0 gives way at once, or, with the user-input
 * flag, waits for the user, and the player goes on as a click would. The
 * player reads the animation, which must stay unchanged and alive while
 * the player lives; players of one animation may run on several threads. */
typedef struct vc_player vc_player;

/* A new player, its canvas blank; VC_E_ARGUMENT for a null or empty
 * animation or a frame that is no picture, VC_E_MEMORY for a screen past the
 * default limits. On failure *player is null. */
VC_APIEXPORT vc_status VC_APIENTRY vc_player_new(const vc_animation *animation, vc_player **player);
VC_APIEXPORT void VC_APIENTRY vc_player_free(vc_player *player);
/* Plays on until the next canvas shows: 1 then, 0 when the animation has
 * finished (nothing more will show). */
VC_APIEXPORT int VC_APIENTRY vc_player_step(vc_player *player);
/* The canvas as it shows now, 24 bits, owned by the player and changed by
 * the next step; its size is the screen's. */
VC_APIEXPORT const vc_picture *VC_APIENTRY vc_player_canvas(const vc_player *player);
/* The frame the last step showed (-1 before the first) and the loops
 * played before it (0 in the first pass). */
VC_APIEXPORT int32_t VC_APIENTRY vc_player_frame(const vc_player *player);
VC_APIEXPORT uint32_t VC_APIENTRY vc_player_loop(const vc_player *player);
/* Ticks the canvas stays (0: the next follows at once or waits), and
 * whether it waits for the user. */
VC_APIEXPORT uint32_t VC_APIENTRY vc_player_ticks(const vc_player *player);
VC_APIEXPORT int VC_APIENTRY vc_player_waits(const vc_player *player);
/* Whether the animation has finished: no step will show anything more. */
VC_APIEXPORT int VC_APIENTRY vc_player_finished(const vc_player *player);

#ifdef __cplusplus
}
#endif

#endif
