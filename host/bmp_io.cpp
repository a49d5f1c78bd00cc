// BMP files, the editor's own format, and the packed DIBs the library
// hands the editor, read by the library: every header people meet, every
// depth, channel masks, run-length rows and rows stored from the top are
// its to know (velmconv/api.h, vc_picture_from_dib). Here the picture
// becomes the editor's image (an alpha mask makes the mask: alpha below 128
// is transparent) and a refusal is put in words with the header's numbers.
// The Windows host calls the same functions in velmconv.dll.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "host/image.h"
#include "velmconv/api.h"

namespace host {

namespace {

// What the library said of bytes it would not read.
enum class Refusal { none, format, read, unsupported, damaged, memory };

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The library's picture as the editor's image; alpha, where the DIB has
// it, becomes the mask even when every pixel is hidden.
Image imageOf(int32_t width, int32_t height, int depth, std::vector<Rgb> palette,
              const std::function<const uint8_t *(int32_t)> &rowFromTop, std::optional<Rgb> *transparent) {
    std::vector<uint8_t> alpha;
    Image img = imageOfRows(width, height, depth, std::move(palette), rowFromTop, alpha);
    if (!alpha.empty()) applyAlpha(img, alpha, transparent);
    return img;
}

Refusal refusalOf(vc_status s) {
    switch (s) {
    case VC_OK: return Refusal::none;
    case VC_E_FORMAT: return Refusal::format;
    case VC_E_UNSUPPORTED: return Refusal::unsupported;
    case VC_E_DATA: return Refusal::damaged;
    case VC_E_MEMORY: return Refusal::memory;
    default: return Refusal::read;
    }
}

Refusal read(const uint8_t *data, size_t size, bool file, Image &img, std::optional<Rgb> *transparent) {
    std::unique_ptr<vc_animation, void (*)(vc_animation *)> animation(nullptr, vc_animation_free);
    std::unique_ptr<vc_picture, void (*)(vc_picture *)> own(nullptr, vc_picture_free);
    const vc_picture *picture = nullptr;
    if (file) {
        vc_animation *a = nullptr;
        if (const vc_status s = vc_read_memory(data, size, VC_FORMAT_BMP, nullptr, &a); s != VC_OK) return refusalOf(s);
        animation.reset(a);
        picture = vc_animation_frame_const(a, 0);
    } else {
        vc_picture *p = nullptr;
        if (const vc_status s = vc_picture_from_dib(data, size, &p); s != VC_OK) return refusalOf(s);
        own.reset(p);
        picture = p;
    }
    std::vector<Rgb> palette;
    for (uint32_t i = 0; i < vc_picture_palette_size(picture); ++i) palette.push_back(vc_picture_palette_color(picture, i));
    img = imageOf(vc_picture_width(picture), vc_picture_height(picture), vc_picture_depth(picture), std::move(palette),
                  [&](int32_t y) { return vc_picture_row_const(picture, y); }, transparent);
    return Refusal::none;
}

// Why a DIB was refused, with the numbers of its header: a BMP file's (the
// header at 14, the rows at bitsOffset) or a packed one's (header 0). A
// packed DIB of plain rows behind a 40-byte header is told of in the
// editor's words.
std::string refusal(Refusal why, const uint8_t *data, size_t size, size_t header, uint64_t bitsOffset) {
    if (size < header + 4) return header ? "file cut short in the header" : "no bitmap header";
    const uint8_t *h = data + header;
    const uint32_t headerSize = le32(h);
    if (!header && size < 40 && headerSize != 12) return "no bitmap header";
    if (size - header < std::max<uint32_t>(headerSize, 16) || (!header && headerSize != 12 && headerSize < 40))
        return header ? "file cut short in the header" : "a bitmap header the editor does not know";
    if (why == Refusal::format) return "unknown BMP header size " + std::to_string(headerSize);
    const bool core = headerSize == 12;
    const int64_t width = core ? int64_t(le32(h + 4) & 0xFFFF) : int32_t(le32(h + 4));
    const int64_t height = core ? int16_t(le32(h + 6)) : int32_t(le32(h + 8));
    const uint32_t bits = core ? le32(h + 10) & 0xFFFF : le32(h + 14) & 0xFFFF;
    const uint32_t compression = core ? 0 : le32(h + 16);
    const bool rle = compression == 1 || compression == 2;
    const bool plain = !header && headerSize == 40 && compression == 0 && bits != 16;
    const std::string size2 = std::to_string(width) + " x " + std::to_string(height == INT32_MIN ? 0 : height < 0 ? -height : height);
    const bool unusable = width <= 0 || height == 0 || height == INT32_MIN;
    if (unusable && !plain && why == Refusal::unsupported) why = Refusal::damaged;  // the size is told of first
    switch (why) {
    case Refusal::unsupported:
        if (plain) return "a depth the editor does not know";
        if (headerSize == 64 && compression > 2)
            return "compression " + std::to_string(compression) + " of the 64-byte header is not supported";
        return "compression " + std::to_string(compression) + " at " + std::to_string(bits) + " bits is not supported";
    case Refusal::damaged:
        if (plain) return width <= 0 ? "the editor's images are 1 to 32768 pixels wide" : "the editor's images are 1 to 65536 pixels high";
        if (unusable) return "picture size " + size2 + " is not usable";
        if (rle && height < 0) return "run-length data stored from the top is not allowed";
        return "run-length data too short for a picture this large";
    case Refusal::memory: return "picture of " + size2 + " pixels is too large";
    default: break;
    }
    if (plain) return le32(h + 32) > 256 ? "more than 256 colours in its table" : "its pixels end past the block";
    if (bits <= 8) {
        // The table behind the header, cut at a file's rows (channel masks
        // at these depths were refused as unsupported before).
        const uint32_t entry = core ? 3 : 4, used = core ? 0 : le32(h + 32);
        const uint64_t tableAt = header + headerSize;
        uint64_t count = std::min<uint64_t>(used ? used : 1u << bits, 1u << bits);
        if (header) count = std::min<uint64_t>(count, bitsOffset > tableAt ? (bitsOffset - tableAt) / entry : 0);
        if (count == 0 || tableAt + count * entry > size) return "colour table missing or cut short";
    }
    if (header && bitsOffset >= size) return "no pixels: the pixel offset lies past the end of the file";
    if (rle) return "run-length data runs past the end of the file";
    return header ? "file cut short in the pixels" : "its pixels end past the block";
}

}  // namespace

std::optional<Image> bmpFromBytes(const uint8_t *data, size_t size, std::string &error,
                                  std::optional<Rgb> *transparent) {
    if (size < 2 || data[0] != 'B' || data[1] != 'M') {
        error = "not a BMP file";
        return std::nullopt;
    }
    Image img;
    const Refusal why = read(data, size, true, img, transparent);
    if (why != Refusal::none) {
        error = refusal(why, data, size, 14, size >= 14 ? le32(data + 10) : 0);
        return std::nullopt;
    }
    // The widest picture the editor's files take.
    if (img.width > 0x7FFF * 16) {
        error = "picture of " + std::to_string(img.width) + " x " + std::to_string(img.height) + " pixels is too large";
        return std::nullopt;
    }
    return img;
}

std::optional<Image> readBmp(const std::string &path, std::string &error, std::optional<Rgb> *transparent) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bmpFromBytes(data.data(), data.size(), error, transparent);
}

std::optional<Image> fromPackedDib(const uint8_t *p, size_t size, int heightFactor, std::string *why,
                                   std::optional<Rgb> *transparent) {
    if (heightFactor == 2) return fromIconData(p, size, why);
    auto refuse = [why](std::string reason) -> std::optional<Image> {
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    if (!p) return refuse("no bitmap header");
    Image img;
    if (const Refusal r = read(p, size, false, img, transparent); r != Refusal::none)
        return refuse(refusal(r, p, size, 0, 0));
    if (img.width > 32768) return refuse("the editor's images are 1 to 32768 pixels wide");
    if (img.height > 65536) return refuse("the editor's images are 1 to 65536 pixels high");
    return img;
}

std::optional<Image> fromPackedDibAt(const uint8_t *p, size_t size, size_t bitsOffset) {
    if (!bitsOffset || !p || size < 40 || size > SIZE_MAX - 14) return fromPackedDib(p, size);
    // The rows elsewhere in the block: read as the BMP file the block makes.
    std::vector<uint8_t> file(14);
    file[0] = 'B', file[1] = 'M';
    const uint32_t offset = uint32_t(std::min<uint64_t>(14 + uint64_t(bitsOffset), UINT32_MAX));
    for (int i = 0; i < 4; ++i) file[10 + i] = uint8_t(offset >> (8 * i));
    file.insert(file.end(), p, p + size);
    std::string error;
    return bmpFromBytes(file.data(), file.size(), error);
}

}  // namespace host
