// velmconv icon, and the sizes of convert --to ani --sizes: pictures
// brought to each size (taken as they are where an input has the size,
// else resampled by the library from the largest), then to each depth
// (8 and 4 bits through the host's colour reduction), written through the
// library's icon set writer.
#include "host/icon_set.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/api_convert.h"
#include "host/cli.h"
#include "host/image.h"
#include "host/paths.h"

namespace host {

namespace {

constexpr int32_t kLargestSize = 256;
// Above this an entry is a PNG image of 32 bits; fewer colours are not
// written at such sizes.
constexpr int32_t kLargestPaletteSize = 128;

// A list of whole numbers split at commas; false when an item is not one.
bool numbers(const std::string &text, std::vector<long> &out) {
    out.clear();
    size_t from = 0;
    while (true) {
        const size_t comma = text.find(',', from);
        const auto n = wholeNumber(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (!n) return false;
        out.push_back(*n);
        if (comma == std::string::npos) return true;
        from = comma + 1;
    }
}

// The picture as 32 bits: 32-bit pictures with alpha as they are; others
// opaque but where their mask is set (a 32-bit picture whose alpha is all
// 0 has none).
vc_picture *as32(const vc_picture *p) {
    const int32_t w = vc_picture_width(p), h = vc_picture_height(p);
    const int depth = vc_picture_depth(p);
    bool alpha = false;
    if (depth == 32)
        for (int32_t y = 0; y < h && !alpha; ++y)
            for (int32_t x = 0; x < w && !alpha; ++x) alpha = vc_picture_row_const(p, y)[4 * x + 3] != 0;
    if (alpha) return vc_picture_copy(p);
    const Image img = imageOfPicture(p);
    PicturePtr out(vc_picture_new(w, h, 32));
    if (!out) return nullptr;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *row = vc_picture_row(out.get(), y);
        for (int32_t x = 0; x < w; ++x) {
            const Rgb c = img.pixel(x, y);
            row[4 * x] = uint8_t(c), row[4 * x + 1] = uint8_t(c >> 8), row[4 * x + 2] = uint8_t(c >> 16);
            row[4 * x + 3] = img.masked(x, y) ? 0 : 255;
        }
    }
    int32_t hx = 0, hy = 0;
    if (vc_picture_hotspot(p, &hx, &hy)) vc_picture_set_hotspot(out.get(), hx, hy);
    return out.release();
}

// A 32-bit picture at 8 or 4 bits: the colours reduced, pixels of alpha
// below 128 masked.
vc_picture *withFewerColours(const vc_picture *p, int depth, bool dither) {
    Image img;
    img.width = vc_picture_width(p);
    img.height = vc_picture_height(p);
    img.bitCount = 24;
    img.bits.assign(size_t(img.rowBytes()) * size_t(img.height), 0);
    img.mask.assign(size_t(img.maskRowBytes()) * size_t(img.height), 0);
    for (int32_t y = 0; y < img.height; ++y) {
        const uint8_t *from = vc_picture_row_const(p, y);
        uint8_t *to = img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes();
        for (int32_t x = 0; x < img.width; ++x) {
            std::memcpy(to + 3 * x, from + 4 * x, 3);
            if (from[4 * x + 3] < 128)
                img.mask[size_t(img.height - 1 - y) * img.maskRowBytes() + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
        }
    }
    return pictureOfImage(withDepth(img, uint16_t(depth), dither));
}

// Every picture an input holds: a PNG file's with its alpha (Linux), the
// frames the library reads of the rest (every entry of an icon file).
bool readSources(const std::string &path, std::vector<PicturePtr> &out, std::string &why) {
    if (ownFileOf(path) == OwnFile::png) {
        std::vector<uint8_t> alpha;
        std::optional<Image> img = readPng(path, why, nullptr, &alpha);
        if (!img) return false;
        PicturePtr p(vc_picture_new(img->width, img->height, 32));
        if (!p) return why = vc_status_message(VC_E_MEMORY), false;
        for (int32_t y = 0; y < img->height; ++y) {
            uint8_t *row = vc_picture_row(p.get(), y);
            for (int32_t x = 0; x < img->width; ++x) {
                const Rgb c = img->pixel(x, y);
                row[4 * x] = uint8_t(c), row[4 * x + 1] = uint8_t(c >> 8), row[4 * x + 2] = uint8_t(c >> 16);
                row[4 * x + 3] = alpha.empty() ? 255 : alpha[size_t(y) * size_t(img->width) + size_t(x)];
            }
        }
        out.push_back(std::move(p));
        return true;
    }
    vc_animation *read = nullptr;
    const vc_status status = vc_read_path(path.c_str(), VC_FORMAT_UNKNOWN, nullptr, &read);
    AnimationPtr a(read);
    if (status != VC_OK) return why = vc_status_message(status), false;
    for (uint32_t i = 0; i < vc_animation_frame_count(a.get()); ++i) {
        PicturePtr p(vc_picture_copy(vc_animation_frame_const(a.get(), i)));
        if (!p) return why = vc_status_message(VC_E_MEMORY), false;
        out.push_back(std::move(p));
    }
    return true;
}

std::string joined(const std::vector<int32_t> &sizes) {
    std::string s;
    for (int32_t n : sizes) s += (s.empty() ? "" : ", ") + std::to_string(n);
    return s;
}

}  // namespace

bool parseSizes(const std::string &text, std::vector<int32_t> &sizes, std::string &why) {
    std::vector<long> n;
    sizes.clear();
    if (!numbers(text, n)) return why = "'" + text + "' is not a list of sizes (e.g. 16,32,48,256)", false;
    for (long v : n) {
        if (v < 1 || v > kLargestSize) return why = std::to_string(v) + " is not a size from 1 to 256", false;
        if (std::find(sizes.begin(), sizes.end(), v) != sizes.end()) return why = std::to_string(v) + " is given twice", false;
        sizes.push_back(int32_t(v));
    }
    return true;
}

bool parseDepths(const std::string &text, std::vector<int> &depths, std::string &why) {
    std::vector<long> n;
    depths.clear();
    if (!numbers(text, n)) return why = "'" + text + "' is not a list of depths (32, 8, 4)", false;
    for (long v : n) {
        if (v != 32 && v != 8 && v != 4) return why = std::to_string(v) + " is not a depth of 32, 8 or 4 bits", false;
        if (std::find(depths.begin(), depths.end(), v) != depths.end()) return why = std::to_string(v) + " is given twice", false;
        depths.push_back(int(v));
    }
    return true;
}

bool parseHotspot(const std::string &text, std::pair<int32_t, int32_t> &hotspot, std::string &why) {
    std::vector<long> n;
    if (!numbers(text, n) || n.size() != 2 || n[0] < 0 || n[1] < 0 || n[0] > 65535 || n[1] > 65535)
        return why = "'" + text + "' is not X,Y (two whole numbers from 0)", false;
    hotspot = {int32_t(n[0]), int32_t(n[1])};
    return true;
}

vc_picture *pictureAtSize(const std::vector<const vc_picture *> &sources, int32_t size, bool &resampled) {
    const vc_picture *largest = nullptr;
    for (const vc_picture *p : sources) {
        if (vc_picture_width(p) == size && vc_picture_height(p) == size) {
            resampled = false;
            return as32(p);
        }
        const int64_t area = int64_t(vc_picture_width(p)) * vc_picture_height(p);
        if (!largest || area > int64_t(vc_picture_width(largest)) * vc_picture_height(largest)) largest = p;
    }
    resampled = true;
    if (!largest) return nullptr;
    // A picture that is not square keeps its proportions, centred on a
    // transparent square.
    const int32_t w = vc_picture_width(largest), h = vc_picture_height(largest), m = std::max(w, h);
    const int32_t fitW = std::max<int32_t>(1, int32_t((int64_t(w) * size + m / 2) / m));
    const int32_t fitH = std::max<int32_t>(1, int32_t((int64_t(h) * size + m / 2) / m));
    PicturePtr fitted(vc_picture_resized(largest, fitW, fitH));
    if (!fitted || (fitW == size && fitH == size)) return fitted.release();
    PicturePtr square(vc_picture_new(size, size, 32));
    if (!square) return nullptr;
    const int32_t left = (size - fitW) / 2, top = (size - fitH) / 2;
    for (int32_t y = 0; y < fitH; ++y)
        std::memcpy(vc_picture_row(square.get(), top + y) + 4 * left, vc_picture_row_const(fitted.get(), y), size_t(fitW) * 4);
    int32_t hx = 0, hy = 0;
    if (vc_picture_hotspot(fitted.get(), &hx, &hy)) vc_picture_set_hotspot(square.get(), hx + left, hy + top);
    return square.release();
}

std::pair<int32_t, int32_t> hotspotAtSize(std::pair<int32_t, int32_t> at, int32_t width, int32_t height, int32_t size) {
    const int32_t m = std::max(width, height);
    const auto scaled = [&](int32_t v, int32_t extent) {
        const int32_t fit = std::max<int32_t>(1, int32_t((int64_t(extent) * size + m / 2) / m));
        const int64_t p = (int64_t(2 * v + 1) * fit) / (2 * int64_t(extent));
        return int32_t(std::clamp<int64_t>(p, 0, fit - 1)) + (size - fit) / 2;
    };
    return {scaled(at.first, width), scaled(at.second, height)};
}

int runIconSet(const std::vector<std::string> &inputs, const std::string &out, const IconSetRequest &request) {
    const std::string ext = paths::extension(out);
    if (ext != "ico" && ext != "cur") {
        std::fprintf(stderr, "velmconv: icon: %s: the output must end in .ico or .cur\n", out.c_str());
        return kExitUsage;
    }
    const bool cursor = ext == "cur";
    if (request.hotspot && !cursor) {
        std::fprintf(stderr, "velmconv: --hotspot: an icon (.ico) has no hotspot; write a .cur\n");
        return kExitUsage;
    }
    std::vector<PicturePtr> owned;
    for (const std::string &in : inputs) {
        std::string why;
        if (!readSources(in, owned, why)) {
            std::fprintf(stderr, "velmconv: icon: reading %s: %s\n", in.c_str(), why.c_str());
            return kExitFailed;
        }
    }
    // The hotspot is given in the largest picture's pixels and goes with it
    // to every size.
    const vc_picture *largest = nullptr;
    for (const PicturePtr &p : owned)
        if (!largest || int64_t(vc_picture_width(p.get())) * vc_picture_height(p.get()) >
                            int64_t(vc_picture_width(largest)) * vc_picture_height(largest))
            largest = p.get();
    if (!largest) {
        std::fprintf(stderr, "velmconv: icon: the inputs hold no picture\n");
        return kExitFailed;
    }
    const int32_t baseWidth = vc_picture_width(largest), baseHeight = vc_picture_height(largest);
    std::pair<int32_t, int32_t> hot{0, 0};
    if (request.hotspot) {
        hot = *request.hotspot;
        if (hot.first >= baseWidth || hot.second >= baseHeight) {
            std::fprintf(stderr, "velmconv: --hotspot: %d,%d lies outside the %dx%d picture it is given in\n", hot.first,
                         hot.second, baseWidth, baseHeight);
            return kExitUsage;
        }
    } else {
        vc_picture_hotspot(largest, &hot.first, &hot.second);
    }
    std::vector<const vc_picture *> sources;
    for (const PicturePtr &p : owned) sources.push_back(p.get());

    const std::vector<int> depths = request.depths.empty() ? std::vector<int>{32} : request.depths;
    AnimationPtr set(vc_animation_new());
    if (!set) return std::fprintf(stderr, "velmconv: icon: %s\n", vc_status_message(VC_E_MEMORY)), kExitFailed;
    std::vector<int32_t> taken, resampledSizes, noPalette;
    std::string entries;
    for (int32_t size : request.sizes) {
        bool resampled = false;
        PicturePtr picture(pictureAtSize(sources, size, resampled));
        if (!picture) return std::fprintf(stderr, "velmconv: icon: %s\n", vc_status_message(VC_E_MEMORY)), kExitFailed;
        (resampled ? resampledSizes : taken).push_back(size);
        if (cursor) {
            const auto [hx, hy] = hotspotAtSize(hot, baseWidth, baseHeight, size);
            vc_picture_set_hotspot(picture.get(), hx, hy);
        }
        for (int depth : depths) {
            if (depth != 32 && size > kLargestPaletteSize) {
                if (std::find(noPalette.begin(), noPalette.end(), size) == noPalette.end()) noPalette.push_back(size);
                continue;
            }
            PicturePtr entry(depth == 32 ? vc_picture_copy(picture.get()) : withFewerColours(picture.get(), depth, request.dither));
            if (!entry) return std::fprintf(stderr, "velmconv: icon: %s\n", vc_status_message(VC_E_MEMORY)), kExitFailed;
            int32_t hx = 0, hy = 0;
            if (cursor && vc_picture_hotspot(picture.get(), &hx, &hy)) vc_picture_set_hotspot(entry.get(), hx, hy);
            if (const vc_status s = vc_animation_add_frame(set.get(), entry.get()); s != VC_OK)
                return std::fprintf(stderr, "velmconv: icon: %s\n", vc_status_message(s)), kExitFailed;
            entries += (entries.empty() ? "" : ", ") + std::to_string(size) + "x" + std::to_string(size) + " " +
                       std::to_string(depth) + "-bit" + (cursor ? " hotspot " + std::to_string(hx) + "," + std::to_string(hy) : "");
        }
    }
    if (!noPalette.empty())
        std::fprintf(stderr, "velmconv: note: %s %s written at 32 bits only (PNG entries)\n",
                     noPalette.size() == 1 ? "size" : "sizes", (joined(noPalette) + (noPalette.size() == 1 ? " is" : " are")).c_str());
    const uint32_t count = vc_animation_frame_count(set.get());
    if (const vc_status s = vc_write_path(set.get(), cursor ? VC_FORMAT_CUR : VC_FORMAT_ICO, nullptr, out.c_str()); s != VC_OK) {
        std::fprintf(stderr, "velmconv: icon: writing %s: %s\n", out.c_str(), vc_status_message(s));
        return kExitFailed;
    }
    std::printf("%s: %s of %u entries: %s\n", out.c_str(), cursor ? "cursor" : "icon", count, entries.c_str());
    if (!taken.empty()) std::printf("  taken as given: %s\n", joined(taken).c_str());
    if (!resampledSizes.empty())
        std::printf("  resampled from %dx%d%s: %s\n", baseWidth, baseHeight,
                    baseWidth == baseHeight ? "" : " (proportions kept, centred on a transparent square)",
                    joined(resampledSizes).c_str());
    return kExitOk;
}

}  // namespace host
