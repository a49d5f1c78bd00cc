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
#include <jerror.h>

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

// The most memory the parameter read's check of a file's scans takes: the
// coefficients of a 20-megapixel progressive photograph (4:2:0).
constexpr long kCheckedScans = 64l << 20;

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

// Starts the decoder with the output the reader takes: blue, green, red
// from grey, RGB and YCbCr files; the inks themselves from four-component
// files (CMYK and YCCK), which inkToBgr converts.
void startDecode(jpeg_decompress_struct &cinfo) {
    const bool inks = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = inks ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
}

// One row of CMYK samples as blue, green, red, the way the Windows imaging
// component converts: each colour is (255 - ink) x (255 - black) / 255,
// rounded down. Files with an Adobe marker store every sample inverted
// (255 means no ink), as Adobe's programs write them.
void inkToBgr(const JSAMPLE *in, uint8_t *out, JDIMENSION width, bool inverted) {
    // What is left of each colour: 255 - ink, which an inverted file stores.
    const auto left = [inverted](JSAMPLE v) { return inverted ? unsigned(v) : 255u - v; };
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned black = left(in[3]);
        out[0] = uint8_t(left(in[2]) * black / 255);
        out[1] = uint8_t(left(in[1]) * black / 255);
        out[2] = uint8_t(left(in[0]) * black / 255);
    }
}

}  // namespace

int32_t readParams(const Source &source, int32_t &width, int32_t &height, int32_t &channels) {
    std::FILE *const f = openSource(source);
    if (!sourceOpened(source, f)) return JL_E_OPEN;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    useErrorManager(cinfo.err, err);
    volatile bool checking = false;
    if (setjmp(err.jump)) {
        const bool tooLargeToCheck = checking && cinfo.err->msg_code == JERR_NO_BACKING_STORE;
        jpeg_destroy_decompress(&cinfo);
        closeSource(f);
        return tooLargeToCheck ? JL_OK : JL_E_DECODE;
    }
    jpeg_create_decompress(&cinfo);
    useSource(cinfo, source, f);
    jpeg_read_header(&cinfo, TRUE);
    width = int32_t(cinfo.image_width);
    height = int32_t(cinfo.image_height);
    channels = cinfo.num_components;
    // The Windows decoder decodes every row before it answers, so a file
    // whose scans stop the decoder is refused here on both systems. Only a
    // file of several scans (progressive ones) can have such damage past its
    // first scan header: a single scan's damaged data only warns, and its
    // rows are completed. Starting the decoder reads every scan of such a
    // file into the coefficient buffer; a file whose buffer would pass
    // kCheckedScans bytes is not checked here (its header is), so that a
    // small file claiming a huge picture costs no more than the reader's
    // limits allow later, and damage in it ends the image read instead.
    cinfo.mem->max_memory_to_use = kCheckedScans;
    checking = true;
    startDecode(cinfo);
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
    failure = JL_E_DECODE;
    startDecode(cinfo);
    if (cinfo.out_color_space == JCS_EXT_BGR) {
        forEachRowBatch(p, cinfo.output_scanline, cinfo.output_height,
                        [&](JSAMPARRAY rows, JDIMENSION n) { jpeg_read_scanlines(&cinfo, rows, n); });
    } else {
        JSAMPARRAY ink = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                    cinfo.output_width * 4, 1);
        const bool inverted = cinfo.saw_Adobe_marker;
        while (cinfo.output_scanline < cinfo.output_height) {
            const JDIMENSION y = cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, ink, 1);
            inkToBgr(ink[0], rowAt(p, y), cinfo.output_width, inverted);
        }
    }
    // What follows the last row is not looked at, as on Windows: a file
    // whose every row decodes is read whatever trails its scan.
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
