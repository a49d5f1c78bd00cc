// PNG decoding on Linux: the PNG library, reading from memory. Its own
// allocations go through the platform's blocks, so the memory test switch
// and the live-block count see them too.
//
// The library reports errors by a long jump back to the setjmp of the
// function that called it, so the functions holding a setjmp keep only
// trivially destructible locals; the blocks live in the caller.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "platform/owners.h"
#include "common/png.h"

namespace vc::plat {

namespace {

// Ancillary chunks (text, profiles) are never looked at; this bounds what
// the library may allocate for one of them.
constexpr png_alloc_size_t kChunkMemory = png_alloc_size_t(4) << 20;

struct Input {
    const uint8_t *data;
    size_t size, at;
};
// Set when the library's own memory was refused: the decode then ends as
// noMemory rather than unusable.
struct Memory {
    bool refused = false;
};

void readInput(png_structp png, png_bytep out, size_t n) {
    auto *in = static_cast<Input *>(png_get_io_ptr(png));
    if (n > in->size - in->at) png_error(png, "cut short");
    std::memcpy(out, in->data + in->at, n);
    in->at += n;
}

void onError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void onWarning(png_structp, png_const_charp) {}

// Each allocation is a locked block with its handle in front of the bytes.
constexpr size_t kHandleRoom = 16;
png_voidp allocate(png_structp png, png_alloc_size_t size) {
    MemHandle h = size <= SIZE_MAX - kHandleRoom ? memAlloc(kMemMoveable, size_t(size) + kHandleRoom) : nullptr;
    auto *p = h ? static_cast<uint8_t *>(memLock(h)) : nullptr;
    if (!p) {
        if (h) (void)memFree(h);
        static_cast<Memory *>(png_get_mem_ptr(png))->refused = true;
        return nullptr;
    }
    std::memcpy(p, &h, sizeof h);
    return p + kHandleRoom;
}
void release(png_structp, png_voidp at) {
    if (!at) return;
    MemHandle h;
    std::memcpy(&h, static_cast<uint8_t *>(at) - kHandleRoom, sizeof h);
    (void)memUnlock(h);
    (void)memFree(h);
}

// Reads the header and sets up the transforms to 8-bit BGRA; the sink
// decides on the size before the library sizes its row buffers by it.
bool start(png_structp png, png_infop info, PngSink &sink, uint32_t &width, uint32_t &height, int &passes) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    const int type = png_get_color_type(png, info);
    png_set_expand(png);  // palette and small grey depths to 8 bits, tRNS to alpha
    png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!(type & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    passes = png_set_interlace_handling(png);
    if (!sink.size(width, height)) return false;
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == size_t(width) * 4;
}

// Reads every pass into rows (one row reused when there is one pass, the
// whole image when the passes fill it in bit by bit), handing each final row
// to the sink.
bool readRows(png_structp png, PngSink &sink, uint8_t *rows, uint32_t width, uint32_t height, int passes) {
    if (setjmp(png_jmpbuf(png))) return false;
    const size_t stride = size_t(width) * 4;
    for (int pass = 0; pass < passes; ++pass) {
        const bool last = pass == passes - 1;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t *row = passes == 1 ? rows : rows + y * stride;
            png_read_row(png, row, nullptr);
            if (last) sink.row(y, row);
        }
    }
    return true;
}

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

}  // namespace

PngResult decodePng(const uint8_t *data, size_t size, PngSink &sink) {
    if (!isPng(data, size)) return PngResult::unusable;
    Input in{data, size, 0};
    Memory memory;
    Reader r;
    r.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning, &memory, allocate, release);
    if (r.png) r.info = png_create_info_struct(r.png);
    if (!r.info) return PngResult::noMemory;
    png_set_read_fn(r.png, &in, readInput);
    png_set_chunk_malloc_max(r.png, kChunkMemory);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);

    uint32_t width = 0, height = 0;
    int passes = 1;
    const auto failed = [&] { return memory.refused ? PngResult::noMemory : PngResult::unusable; };
    if (!start(r.png, r.info, sink, width, height, passes)) return failed();
    // The sink has taken the size, so a whole image of 4-byte pixels is
    // within the limits.
    Block rows;
    if (!rows.alloc(uint64_t(width) * 4 * (passes == 1 ? 1 : height), kMemMoveable)) return PngResult::noMemory;
    return readRows(r.png, sink, rows.data(), width, height, passes) ? PngResult::done : failed();
}

}  // namespace vc::plat
