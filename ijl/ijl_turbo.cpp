// The codec backend of the JPEG library stand-in on Linux: libjpeg-turbo,
// which reads and writes the blue-green-red pixel order directly.
//
// libjpeg reports fatal errors by calling error_exit, which here jumps back
// to the entry; nothing with a destructor lives between setjmp and the
// library calls.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "ijl/ijl_backend.h"

namespace jl {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1); }
void onMessage(j_common_ptr) {}  // warnings (e.g. a short file) are not printed

void useErrorManager(jpeg_error_mgr *&slot, ErrorManager &err) {
    slot = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.output_message = onMessage;
}

constexpr int kRowBatch = 16;

// Hands the caller's rows to the codec a batch at a time, top row first
// whichever way up they are stored, while the codec's scan line (which the
// codec advances) is below height.
template <class Pass>
void forEachRowBatch(const JlProperties &p, const JDIMENSION &scanline, JDIMENSION height, Pass pass) {
    JSAMPROW rows[kRowBatch];
    while (scanline < height) {
        const JDIMENSION first = scanline;
        const JDIMENSION n = height - first < JDIMENSION(kRowBatch) ? height - first : JDIMENSION(kRowBatch);
        for (JDIMENSION i = 0; i < n; ++i) rows[i] = rowAt(p, first + i);
        pass(rows, n);
    }
}

// The named file of a source that has no bytes in memory; none for bytes
// and when the file cannot be opened (sourceOpened tells the two apart).
// Returned by value, so the decoders hold it in a variable that nothing
// changes after their setjmp.
std::FILE *openSource(const Source &source) {
    return source.bytes || !source.file ? nullptr : std::fopen(source.file, "rb");
}
bool sourceOpened(const Source &source, std::FILE *file) { return source.bytes || file; }

void closeSource(std::FILE *file) {
    if (file) std::fclose(file);
}

void useSource(jpeg_decompress_struct &cinfo, const Source &source, std::FILE *file) {
    if (source.bytes)
        jpeg_mem_src(&cinfo, source.bytes, source.size);
    else
        jpeg_stdio_src(&cinfo, file);
}

// A destination of the caller's buffer that stops at its end: running out
// of room is a fatal error of the encoder, told apart from the others by
// the flag, so nothing is written past the buffer and no other memory is
// taken for the file.
struct BufferDestination {
    jpeg_destination_mgr pub{};
    uint8_t *start = nullptr;
    size_t capacity = 0;
    volatile bool full = false;  // read after the jump back to the entry

    void attach(jpeg_compress_struct &cinfo, uint8_t *bytes, size_t size) {
        start = bytes;
        capacity = size;
        pub.init_destination = [](j_compress_ptr c) {
            auto *self = reinterpret_cast<BufferDestination *>(c->dest);
            self->pub.next_output_byte = self->start;
            self->pub.free_in_buffer = self->capacity;
        };
        pub.empty_output_buffer = [](j_compress_ptr c) -> boolean {
            reinterpret_cast<BufferDestination *>(c->dest)->full = true;
            onError(reinterpret_cast<j_common_ptr>(c));
        };
        pub.term_destination = [](j_compress_ptr) {};  // the bytes are in place already
        cinfo.dest = &pub;
    }
};

// The settings and the scan of a write, the same whatever the destination.
void encode(jpeg_compress_struct &cinfo, const JlProperties &p) {
    cinfo.image_width = JDIMENSION(p.dibWidth);
    cinfo.image_height = JDIMENSION(rowCount(p));
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, p.jpegQuality, TRUE);
    // Luminance sampling factors; the chroma components stay at 1 x 1.
    const int h = p.jpegSubsampling == JL_SUBSAMPLE_NONE ? 1 : 2;
    const int v = p.jpegSubsampling == JL_SUBSAMPLE_420 ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = h;
    cinfo.comp_info[0].v_samp_factor = v;
    jpeg_start_compress(&cinfo, TRUE);
    forEachRowBatch(p, cinfo.next_scanline, cinfo.image_height,
                    [&](JSAMPARRAY rows, JDIMENSION n) { jpeg_write_scanlines(&cinfo, rows, n); });
    jpeg_finish_compress(&cinfo);
}

}  // namespace

int32_t readParams(const Source &source, int32_t &width, int32_t &height, int32_t &channels) {
    std::FILE *const f = openSource(source);
    if (!sourceOpened(source, f)) return JL_E_OPEN;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    useErrorManager(cinfo.err, err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        closeSource(f);
        return JL_E_DECODE;
    }
    jpeg_create_decompress(&cinfo);
    useSource(cinfo, source, f);
    jpeg_read_header(&cinfo, TRUE);
    width = int32_t(cinfo.image_width);
    height = int32_t(cinfo.image_height);
    channels = cinfo.num_components;
    jpeg_destroy_decompress(&cinfo);
    closeSource(f);
    return JL_OK;
}

int32_t readImage(const JlProperties &p) {
    const Source source = sourceOf(p);
    std::FILE *const f = openSource(source);
    if (!sourceOpened(source, f)) return JL_E_OPEN;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    useErrorManager(cinfo.err, err);
    volatile int32_t failure = JL_E_DECODE;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        closeSource(f);
        return failure;
    }
    jpeg_create_decompress(&cinfo);
    useSource(cinfo, source, f);
    jpeg_read_header(&cinfo, TRUE);
    failure = JL_E_SIZE;
    if (int64_t(cinfo.image_width) != p.dibWidth || int64_t(cinfo.image_height) != rowCount(p))
        onError(reinterpret_cast<j_common_ptr>(&cinfo));
    // Four-component files (CMYK) have no conversion to BGR here.
    failure = JL_E_UNSUPPORTED;
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)
        onError(reinterpret_cast<j_common_ptr>(&cinfo));
    failure = JL_E_DECODE;
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    forEachRowBatch(p, cinfo.output_scanline, cinfo.output_height,
                    [&](JSAMPARRAY rows, JDIMENSION n) { jpeg_read_scanlines(&cinfo, rows, n); });
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    closeSource(f);
    return JL_OK;
}

int32_t writeImage(const JlProperties &p, uint32_t &written) {
    std::FILE *const f = p.jpegOutBytes ? nullptr : std::fopen(p.jpegFile, "wb");
    if (!p.jpegOutBytes && !f) return JL_E_OPEN;
    BufferDestination buffer;
    jpeg_compress_struct cinfo;
    ErrorManager err;
    useErrorManager(cinfo.err, err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        if (f) std::fclose(f);
        return buffer.full ? JL_E_BUFFER : JL_E_ENCODE;
    }
    jpeg_create_compress(&cinfo);
    if (f)
        jpeg_stdio_dest(&cinfo, f);
    else
        buffer.attach(cinfo, p.jpegOutBytes, p.jpegOutSizeBytes);
    encode(cinfo, p);
    if (!f) written = uint32_t(p.jpegOutSizeBytes - cinfo.dest->free_in_buffer);
    jpeg_destroy_compress(&cinfo);
    if (!f) return JL_OK;
    const bool bad = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || bad) return JL_E_ENCODE;
    return JL_OK;
}

}  // namespace jl
