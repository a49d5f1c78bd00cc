// PNG files for the editor, through the PNG library. Palette pictures keep
// their indices and table (2-bit ones widened to 4); grey, RGB and pictures
// with alpha come in as 24 bits, 16-bit samples cut to 8. Alpha, from an
// alpha channel or a transparency chunk, becomes the editor's mask (below
// 128 is transparent). Pictures with a mask go out with alpha, palette
// pictures as palette PNGs, the rest as RGB.
//
// The Windows host has no PNG library of its own (the mingw toolchains
// bring none) and refuses PNG names; the library's PNG icon entries are
// decoded there by the system's imaging component, which a console tool
// does not need for its own files.
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "common/limits.h"
#include "host/image.h"

#if !defined(_WIN32)
#include <png.h>
#endif

namespace host {

OwnFile ownFileOf(const std::string &name) {
    const size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    for (char &c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "bmp" ? OwnFile::bmp : ext == "png" ? OwnFile::png : OwnFile::none;
}

std::optional<Image> readOwnFile(const std::string &path, std::string &error, std::optional<Rgb> *transparent) {
    if (ownFileOf(path) == OwnFile::png) return readPng(path, error, transparent);
    return readBmp(path, error, transparent);
}

bool writeOwnFile(const std::string &path, const Image &img, std::string *error) {
    if (ownFileOf(path) == OwnFile::png) return writePng(path, img, error);
    return writeBmp(path, img, error);
}

#if defined(_WIN32)

std::optional<Image> readPng(const std::string &, std::string &error, std::optional<Rgb> *) {
    error = "PNG files are read by the Linux build of velmconv only";
    return std::nullopt;
}

bool writePng(const std::string &, const Image &, std::string *error) {
    if (error) *error = "PNG files are written by the Linux build of velmconv only";
    return false;
}

#else

namespace {

// The library ends an error by a long jump to the setjmp of the function
// that called it; these functions keep only trivially destructible locals
// and leave every owned object to their callers.
struct PngText {
    char text[200] = "damaged PNG file";
};
void onError(png_structp png, png_const_charp message) {
    auto *t = static_cast<PngText *>(png_get_error_ptr(png));
    std::snprintf(t->text, sizeof t->text, "%s", message);
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

struct Shape {
    uint32_t width = 0, height = 0;
    int colorType = 0, bitDepth = 0;
    size_t rowBytes = 0;
    bool alpha = false;  // rows come as RGBA
};

bool readShape(png_structp png, png_infop info, std::FILE *f, Shape &s) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_read_info(png, info);
    s.width = png_get_image_width(png, info);
    s.height = png_get_image_height(png, info);
    s.colorType = png_get_color_type(png, info);
    s.bitDepth = png_get_bit_depth(png, info);
    if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);  // an index a byte
    } else {
        s.alpha = (s.colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        if (!s.alpha) png_set_strip_alpha(png);
    }
    (void)png_set_interlace_handling(png);
    png_read_update_info(png, info);
    s.rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool readRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

bool writeRows(png_structp png, png_infop info, std::FILE *f, const Shape &s, const std::vector<png_color> &palette,
               png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    if (s.colorType == PNG_COLOR_TYPE_PALETTE && s.bitDepth < 8) png_set_packing(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

std::optional<Image> readPng(const std::string &path, std::string &error, std::optional<Rgb> *transparent) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    uint8_t signature[8] = {};
    if (std::fread(signature, 1, 8, f) != 8 || png_sig_cmp(signature, 0, 8)) {
        std::fclose(f);
        error = "not a PNG file";
        return std::nullopt;
    }
    PngText message;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png) png_set_sig_bytes(png, 8);
    Shape s;
    std::optional<Image> result;
    const auto &lim = pictureLimits();
    if (!info || !readShape(png, info, f, s)) {
        error = message.text;
    } else if (uint64_t(s.width) * s.height > lim.largestPicture || s.width > 0x7FFFF) {
        error = "picture of " + std::to_string(s.width) + " x " + std::to_string(s.height) + " pixels is too large";
    } else {
        std::vector<uint8_t> pixels(s.rowBytes * s.height);
        std::vector<png_bytep> rows(s.height);
        for (uint32_t y = 0; y < s.height; ++y) rows[y] = pixels.data() + s.rowBytes * y;
        if (!readRows(png, rows.data())) {
            error = message.text;
        } else {
            Image img;
            img.width = int32_t(s.width);
            img.height = int32_t(s.height);
            std::vector<uint8_t> alpha;
            if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
                png_colorp entries = nullptr;
                int count = 0;
                png_bytep entryAlpha = nullptr;
                int alphaCount = 0;
                png_color_16p unused = nullptr;
                png_get_PLTE(png, info, &entries, &count);
                if (png_get_valid(png, info, PNG_INFO_tRNS))
                    png_get_tRNS(png, info, &entryAlpha, &alphaCount, &unused);
                for (int i = 0; i < count; ++i)
                    img.palette.push_back(rgb(entries[i].red, entries[i].green, entries[i].blue));
                img.bitCount = s.bitDepth == 1 ? 1 : s.bitDepth <= 4 ? 4 : 8;
                img.bits.assign(size_t(img.rowBytes()) * s.height, 0);
                if (alphaCount > 0) alpha.assign(size_t(s.width) * s.height, 255);
                for (uint32_t y = 0; y < s.height; ++y)
                    for (uint32_t x = 0; x < s.width; ++x) {
                        const uint8_t i = rows[y][x];
                        uint8_t *row = img.bits.data() + size_t(s.height - 1 - y) * img.rowBytes();
                        if (img.bitCount == 8) row[x] = i;
                        else if (img.bitCount == 4) row[x >> 1] |= uint8_t(i << ((x & 1) ? 0 : 4));
                        else row[x >> 3] |= uint8_t(i << (7 - (x & 7)));
                        if (i < alphaCount) alpha[size_t(y) * s.width + x] = entryAlpha[i];
                    }
            } else {
                const uint32_t step = s.alpha ? 4 : 3;
                img.bitCount = 24;
                img.bits.assign(size_t(img.rowBytes()) * s.height, 0);
                if (s.alpha) alpha.resize(size_t(s.width) * s.height);
                for (uint32_t y = 0; y < s.height; ++y) {
                    uint8_t *row = img.bits.data() + size_t(s.height - 1 - y) * img.rowBytes();
                    for (uint32_t x = 0; x < s.width; ++x) {
                        const uint8_t *p = rows[y] + size_t(x) * step;
                        row[3 * x] = p[2], row[3 * x + 1] = p[1], row[3 * x + 2] = p[0];
                        if (s.alpha) alpha[size_t(y) * s.width + x] = p[3];
                    }
                }
            }
            if (!alpha.empty()) applyAlpha(img, alpha, transparent);
            result = std::move(img);
        }
    }
    png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
    std::fclose(f);
    return result;
}

bool writePng(const std::string &path, const Image &img, std::string *error) {
    const bool hasMask = std::any_of(img.mask.begin(), img.mask.end(), [](uint8_t b) { return b != 0; });
    Shape s;
    s.width = uint32_t(img.width);
    s.height = uint32_t(img.height);
    std::vector<png_color> palette;
    if (img.bitCount <= 8 && !hasMask) {
        s.colorType = PNG_COLOR_TYPE_PALETTE;
        s.bitDepth = img.bitCount;
        for (Rgb c : img.palette) palette.push_back(png_color{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        palette.resize(std::min<size_t>(std::max<size_t>(palette.size(), 1), size_t(1) << img.bitCount));
        s.rowBytes = img.width;
    } else {
        s.colorType = hasMask ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
        s.bitDepth = 8;
        s.rowBytes = size_t(img.width) * (hasMask ? 4 : 3);
    }
    std::vector<uint8_t> pixels(s.rowBytes * s.height);
    std::vector<png_bytep> rows(s.height);
    for (int32_t y = 0; y < img.height; ++y) {
        uint8_t *row = rows[size_t(y)] = pixels.data() + s.rowBytes * size_t(y);
        for (int32_t x = 0; x < img.width; ++x) {
            if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
                row[x] = uint8_t(std::min<size_t>(img.index(x, y), palette.size() - 1));
                continue;
            }
            const Rgb c = img.pixel(x, y);
            uint8_t *p = row + size_t(x) * (hasMask ? 4 : 3);
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
            if (hasMask) p[3] = img.masked(x, y) ? 0 : 255;
        }
    }
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    PngText message;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && writeRows(png, info, f, s, palette, rows.data());
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    const bool written = ok && std::ferror(f) == 0;
    const int writeErrno = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        std::snprintf(message.text, sizeof message.text, "%s", std::strerror(errno));
    } else if (ok && !written) {
        ok = false;
        std::snprintf(message.text, sizeof message.text, "%s", std::strerror(writeErrno));
    }
    if (!ok && error) *error = message.text;
    return ok;
}

#endif

}  // namespace host
