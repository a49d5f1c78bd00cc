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
#include <cstdio>
#include <cstring>

#include "common/limits.h"
#include "host/image.h"
#include "host/paths.h"

#if !defined(_WIN32)
#include "common/png.h"
#endif

namespace host {

OwnFile ownFileOf(const std::string &name) {
    const std::string ext = paths::extension(name);
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

std::optional<Image> readPng(const std::string &, std::string &error, std::optional<Rgb> *, std::vector<uint8_t> *) {
    error = "PNG files are read by the Linux build of velmconv only";
    return std::nullopt;
}

bool writePng(const std::string &, const Image &, std::string *error) {
    if (error) *error = "PNG files are written by the Linux build of velmconv only";
    return false;
}

bool writePngRgba(const std::string &, int32_t, int32_t, const std::vector<uint8_t> &, std::string *error) {
    if (error) *error = "PNG files are written by the Linux build of velmconv only";
    return false;
}

#else

std::optional<Image> readPng(const std::string &path, std::string &error, std::optional<Rgb> *transparent,
                             std::vector<uint8_t> *alphaOut) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    uint8_t signature[8] = {};
    if (std::fread(signature, 1, 8, f) != 8 || !vc::plat::isPng(signature, 8)) {
        std::fclose(f);
        error = "not a PNG file";
        return std::nullopt;
    }
    const auto &lim = pictureLimits();
    const auto accept = [&lim](uint32_t width, uint32_t height, std::string &refusal) {
        if (uint64_t(width) * height <= lim.largestPicture && width <= 0x7FFFF) return true;
        refusal = "picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large";
        return false;
    };
    vc::plat::PngFilePicture p;
    const bool read = vc::plat::readPngFile(f, accept, p, error);
    std::fclose(f);
    if (!read) return std::nullopt;
    Image img;
    img.width = int32_t(p.width);
    img.height = int32_t(p.height);
    std::vector<uint8_t> alpha;
    const uint8_t *const top = p.pixels.data();
    if (p.indexed) {
        for (size_t i = 0; i + 2 < p.palette.size(); i += 3) img.palette.push_back(rgb(p.palette[i], p.palette[i + 1], p.palette[i + 2]));
        img.bitCount = p.bitDepth == 1 ? 1 : p.bitDepth <= 4 ? 4 : 8;
        img.bits.assign(size_t(img.rowBytes()) * p.height, 0);
        if (!p.paletteAlpha.empty()) alpha.assign(size_t(p.width) * p.height, 255);
        for (uint32_t y = 0; y < p.height; ++y)
            for (uint32_t x = 0; x < p.width; ++x) {
                const uint8_t i = top[p.rowBytes * y + x];
                uint8_t *row = img.bits.data() + size_t(p.height - 1 - y) * img.rowBytes();
                if (img.bitCount == 8) row[x] = i;
                else if (img.bitCount == 4) row[x >> 1] |= uint8_t(i << ((x & 1) ? 0 : 4));
                else row[x >> 3] |= uint8_t(i << (7 - (x & 7)));
                if (i < p.paletteAlpha.size()) alpha[size_t(y) * p.width + x] = p.paletteAlpha[i];
            }
    } else {
        const uint32_t step = p.alpha ? 4 : 3;
        img.bitCount = 24;
        img.bits.assign(size_t(img.rowBytes()) * p.height, 0);
        if (p.alpha) alpha.resize(size_t(p.width) * p.height);
        for (uint32_t y = 0; y < p.height; ++y) {
            uint8_t *row = img.bits.data() + size_t(p.height - 1 - y) * img.rowBytes();
            for (uint32_t x = 0; x < p.width; ++x) {
                const uint8_t *px = top + p.rowBytes * y + size_t(x) * step;
                row[3 * x] = px[2], row[3 * x + 1] = px[1], row[3 * x + 2] = px[0];
                if (p.alpha) alpha[size_t(y) * p.width + x] = px[3];
            }
        }
    }
    if (alphaOut) *alphaOut = std::move(alpha);
    else if (!alpha.empty()) applyAlpha(img, alpha, transparent);
    return img;
}

static bool writePngPicture(const std::string &path, const vc::plat::PngFilePicture &p, std::string *error);

bool writePng(const std::string &path, const Image &img, std::string *error) {
    const bool hasMask = std::any_of(img.mask.begin(), img.mask.end(), [](uint8_t b) { return b != 0; });
    vc::plat::PngFilePicture p;
    p.width = uint32_t(img.width);
    p.height = uint32_t(img.height);
    if (img.bitCount <= 8 && !hasMask) {
        p.indexed = true;
        p.bitDepth = img.bitCount;
        for (Rgb c : img.palette) p.palette.insert(p.palette.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        const size_t entries = std::min<size_t>(std::max<size_t>(img.palette.size(), 1), size_t(1) << img.bitCount);
        p.palette.resize(3 * entries);
        p.rowBytes = img.width;
    } else {
        p.alpha = hasMask;
        p.bitDepth = 8;
        p.rowBytes = size_t(img.width) * (hasMask ? 4 : 3);
    }
    const size_t entries = p.palette.size() / 3;
    p.pixels.resize(p.rowBytes * p.height);
    for (int32_t y = 0; y < img.height; ++y) {
        uint8_t *row = p.pixels.data() + p.rowBytes * size_t(y);
        for (int32_t x = 0; x < img.width; ++x) {
            if (p.indexed) {
                row[x] = uint8_t(std::min<size_t>(img.index(x, y), entries - 1));
                continue;
            }
            const Rgb c = img.pixel(x, y);
            uint8_t *px = row + size_t(x) * (hasMask ? 4 : 3);
            px[0] = uint8_t(c >> 16), px[1] = uint8_t(c >> 8), px[2] = uint8_t(c);
            if (hasMask) px[3] = img.masked(x, y) ? 0 : 255;
        }
    }
    return writePngPicture(path, p, error);
}

bool writePngRgba(const std::string &path, int32_t width, int32_t height, const std::vector<uint8_t> &rgba,
                  std::string *error) {
    vc::plat::PngFilePicture p;
    p.width = uint32_t(width);
    p.height = uint32_t(height);
    p.alpha = true;
    p.rowBytes = size_t(width) * 4;
    p.pixels = rgba;
    return writePngPicture(path, p, error);
}

static bool writePngPicture(const std::string &path, const vc::plat::PngFilePicture &p, std::string *error) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    std::string message;
    bool ok = vc::plat::writePngFile(f, p, message);
    const bool written = ok && std::ferror(f) == 0;
    const int writeErrno = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        message = std::strerror(errno);
    } else if (ok && !written) {
        ok = false;
        message = std::strerror(writeErrno);
    }
    if (!ok && error) *error = message;
    return ok;
}

#endif

}  // namespace host
