// PNG decoding on Linux: the PNG library, reading from memory. Its own
// allocations come from the C heap, not the platform's block table, so
// decodes on several threads at once share nothing; the memory test switch
// still sees each of them.
//
// The library reports errors by a long jump back to the setjmp of the
// function that called it, so the functions holding a setjmp keep only
// trivially destructible locals; the blocks live in the caller.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "common/png.h"
#include "platform/switches.h"

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

png_voidp allocate(png_structp png, png_alloc_size_t size) {
    void *p = size <= detail::maxBlock() && !detail::allocationRefused() ? std::malloc(size_t(size)) : nullptr;
    if (!p) static_cast<Memory *>(png_get_mem_ptr(png))->refused = true;
    return p;
}
void release(png_structp, png_voidp at) { std::free(at); }

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
    const uint64_t rowsSize = uint64_t(width) * 4 * (passes == 1 ? 1 : height);
    if (rowsSize > detail::maxBlock() || detail::allocationRefused()) return PngResult::noMemory;
    std::vector<uint8_t> rows;
    try {
        rows.resize(size_t(rowsSize));
    } catch (const std::bad_alloc &) {
        return PngResult::noMemory;
    }
    return readRows(r.png, sink, rows.data(), width, height, passes) ? PngResult::done : failed();
}

// ---- Streams written to memory ------------------------------------------------
namespace {
void appendOutput(png_structp png, png_bytep data, size_t n) {
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    bool refused = false;
    try {
        out->insert(out->end(), data, data + n);
    } catch (const std::bad_alloc &) {
        refused = true;
    }
    // Outside the handler: the error jumps back to the encoder's caller.
    if (refused) png_error(png, "out of memory");
}
void flushOutput(png_structp) {}
struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Writer() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};
}  // namespace

bool encodePng(uint32_t width, uint32_t height, const uint8_t *bgra, std::vector<uint8_t> &out) {
    out.clear();
    Writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (w.png) w.info = png_create_info_struct(w.png);
    if (!w.info) return false;
    std::vector<const uint8_t *> rows;
    try {
        rows.resize(height);
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (uint32_t y = 0; y < height; ++y) rows[y] = bgra + size_t(y) * width * 4;
    if (setjmp(png_jmpbuf(w.png))) {
        out.clear();
        return false;
    }
    png_set_write_fn(w.png, &out, appendOutput, flushOutput);
    png_set_IHDR(w.png, w.info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(w.png, 9);
    png_write_info(w.png, w.info);
    png_set_bgr(w.png);
    png_write_rows(w.png, const_cast<png_bytepp>(rows.data()), height);
    png_write_end(w.png, nullptr);
    return true;
}

// ---- Whole files, palettes kept ------------------------------------------------
namespace {

// The library's message for a file that cannot be read or written.
struct FileMessage {
    char text[200] = "damaged PNG file";
};
void onFileError(png_structp png, png_const_charp message) {
    auto *t = static_cast<FileMessage *>(png_get_error_ptr(png));
    std::snprintf(t->text, sizeof t->text, "%s", message);
    png_longjmp(png, 1);
}

// Reads the header and sets up the transforms: indices one a byte, other
// pictures 8-bit RGB, RGBA when they have alpha.
bool readFileShape(png_structp png, png_infop info, std::FILE *f, PngFilePicture &p) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_read_info(png, info);
    p.width = png_get_image_width(png, info);
    p.height = png_get_image_height(png, info);
    const int type = png_get_color_type(png, info);
    p.bitDepth = png_get_bit_depth(png, info);
    p.indexed = type == PNG_COLOR_TYPE_PALETTE;
    if (p.indexed) {
        png_set_packing(png);
    } else {
        p.alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        if (!p.alpha) png_set_strip_alpha(png);
    }
    (void)png_set_interlace_handling(png);
    png_read_update_info(png, info);
    p.rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool readFileRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

bool writeFileRows(png_structp png, png_infop info, std::FILE *f, const PngFilePicture &p,
                   const std::vector<png_color> &palette, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_set_IHDR(png, info, p.width, p.height, p.bitDepth,
                 p.indexed ? PNG_COLOR_TYPE_PALETTE : p.alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    if (p.indexed && p.bitDepth < 8) png_set_packing(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

std::vector<png_bytep> rowPointers(uint8_t *pixels, size_t rowBytes, uint32_t height) {
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = pixels + rowBytes * y;
    return rows;
}

}  // namespace

bool readPngFile(std::FILE *f, const std::function<bool(uint32_t, uint32_t, std::string &)> &accept,
                 PngFilePicture &p, std::string &error) {
    FileMessage message;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, onFileError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png) png_set_sig_bytes(png, 8);
    bool ok = false;
    if (!info || !readFileShape(png, info, f, p)) {
        error = message.text;
    } else if (accept(p.width, p.height, error)) {
        p.pixels.assign(p.rowBytes * p.height, 0);
        std::vector<png_bytep> rows = rowPointers(p.pixels.data(), p.rowBytes, p.height);
        ok = readFileRows(png, rows.data());
        if (!ok) error = message.text;
    }
    if (ok && p.indexed) {
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &entries, &count);
        for (int i = 0; i < count; ++i) p.palette.insert(p.palette.end(), {entries[i].red, entries[i].green, entries[i].blue});
        png_bytep entryAlpha = nullptr;
        int alphaCount = 0;
        png_color_16p unused = nullptr;
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_get_tRNS(png, info, &entryAlpha, &alphaCount, &unused);
        if (alphaCount > 0) p.paletteAlpha.assign(entryAlpha, entryAlpha + alphaCount);
    }
    png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
    return ok;
}

bool writePngFile(std::FILE *f, const PngFilePicture &p, std::string &error) {
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < p.palette.size(); i += 3) palette.push_back(png_color{p.palette[i], p.palette[i + 1], p.palette[i + 2]});
    // The library takes the rows as changeable but only reads them.
    std::vector<png_bytep> rows = rowPointers(const_cast<uint8_t *>(p.pixels.data()), p.rowBytes, p.height);
    FileMessage message;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, onFileError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && writeFileRows(png, info, f, p, palette, rows.data());
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (!ok) error = message.text;
    return ok;
}

}  // namespace vc::plat
