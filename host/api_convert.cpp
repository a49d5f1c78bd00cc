#include "host/api_convert.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "host/cli.h"
#include "host/icon_set.h"
#include "host/paths.h"
#include "velmconv/velmconv.h"

namespace host {

namespace {

ApiConversion failed(std::string reason) { return {false, {}, std::move(reason)}; }

vc_format apiFormat(const std::string &name, int code) {
    switch (code) {
    case CONV_FMT_PCX: return VC_FORMAT_PCX;
    case CONV_FMT_GIF:
    case CONV_FMT_ANIGIF: return VC_FORMAT_GIF;
    case CONV_FMT_TIFF: return VC_FORMAT_TIFF;
    case CONV_FMT_ICON: return extensionFor(name, code) == "cur" ? VC_FORMAT_CUR : VC_FORMAT_ICO;
    case CONV_FMT_JPEG: return VC_FORMAT_JPEG;
    case CONV_FMT_AVI: return VC_FORMAT_AVI;
    case CONV_FMT_ANI: return VC_FORMAT_ANI;
    case kXcursor: return VC_FORMAT_XCURSOR;
    default: return VC_FORMAT_UNKNOWN;
    }
}

void setMaskBit(Image &img, int32_t x, int32_t y) {
    img.mask[size_t(img.height - 1 - y) * img.maskRowBytes() + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
}

// A GIF frame: at most 255 colours for the shown pixels and one more,
// the transparent index, for the hidden ones. The hidden pixels first take
// a shown colour so that they claim no entry of their own.
Image keyedFrame(const Image &img, bool dither, int32_t &transparentIndex) {
    Image shown = withDepth(img, 24, false);
    Rgb fill = 0;
    bool found = false;
    for (int32_t y = 0; y < img.height && !found; ++y)
        for (int32_t x = 0; x < img.width && !found; ++x)
            if (!img.masked(x, y)) fill = img.pixel(x, y), found = true;
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x)
            if (img.masked(x, y)) {
                uint8_t *p = shown.bits.data() + size_t(img.height - 1 - y) * shown.rowBytes() + size_t(x) * 3;
                p[0] = uint8_t(fill), p[1] = uint8_t(fill >> 8), p[2] = uint8_t(fill >> 16);
            }
    Image out = withDepth(shown, 8, dither, nullptr, 255);
    transparentIndex = int32_t(out.palette.size());
    out.palette.push_back(0);
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x)
            if (img.masked(x, y)) out.bits[size_t(img.height - 1 - y) * out.rowBytes() + size_t(x)] = uint8_t(transparentIndex);
    out.mask.clear();
    return out;
}

// The picture at the depth the format takes, with what transparency it
// holds: a GIF a transparent index, the others the mask.
PicturePtr preparedFrame(const Image &img, vc_format format, bool dither) {
    int depth = vc_format_depth(format, img.bitCount);
    if (depth == 16 || depth == 32) depth = 24;
    int32_t transparentIndex = -1;
    const bool keyed = format == VC_FORMAT_GIF && !img.mask.empty();
    const Image ready = keyed ? keyedFrame(img, dither, transparentIndex)
                        : depth == img.bitCount ? img
                                                : withDepth(img, uint16_t(depth), dither);
    PicturePtr picture(pictureOfImage(ready));
    if (picture && keyed) vc_picture_set_transparent_index(picture.get(), transparentIndex);
    return picture;
}

// The frames the target takes: every image of an icon file written as an
// icon file, every frame of an animation written as one (GIF, ANI, AVI),
// every image of anything written as an X cursor; else one.
size_t framesFor(vc_format target, vc_format source, uint32_t count) {
    if (target == VC_FORMAT_XCURSOR) return count;
    const bool iconSource = source == VC_FORMAT_ICO || source == VC_FORMAT_CUR;
    const bool iconTarget = target == VC_FORMAT_ICO || target == VC_FORMAT_CUR;
    const bool animationTarget = target == VC_FORMAT_GIF || target == VC_FORMAT_ANI || target == VC_FORMAT_AVI;
    return (iconSource && iconTarget) || (!iconSource && animationTarget) ? count : std::min<uint32_t>(count, 1);
}

// What the written animation keeps of the read one besides its pictures.
void carryTiming(const vc_animation *from, vc_animation *to, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        int32_t left = 0, top = 0;
        vc_frame_position(from, i, &left, &top);
        vc_frame_set_position(to, i, left, top);
        vc_frame_set_delay(to, i, vc_frame_delay(from, i));
        // Exact milliseconds where the source has them (an X cursor's).
        if (vc_frame_delay_ms(from, i) != vc_frame_delay(from, i) * 10)
            vc_frame_set_delay_ms(to, i, vc_frame_delay_ms(from, i));
        vc_frame_set_nominal_size(to, i, vc_frame_nominal_size(from, i));
        vc_frame_set_disposal(to, i, vc_frame_disposal(from, i));
    }
    int32_t width = 0, height = 0;
    vc_animation_screen(from, &width, &height);
    vc_animation_set_screen(to, width, height);
    int repeat = 0;
    uint32_t loops = 0;
    vc_animation_loop(from, &repeat, &loops);
    vc_animation_set_loop(to, repeat, loops);
    vc_animation_set_title(to, vc_animation_title(from));
    vc_animation_set_author(to, vc_animation_author(from));
    if (const uint32_t rate = vc_animation_default_rate(from)) vc_animation_set_default_rate(to, rate);
    for (const vc_comment_kind kind : {VC_COMMENT_COPYRIGHT, VC_COMMENT_LICENSE, VC_COMMENT_OTHER})
        vc_animation_set_comment(to, kind, vc_animation_comment(from, kind));
    std::vector<uint32_t> stepFrames, stepRates;
    for (uint32_t s = 0; s < vc_animation_step_count(from); ++s) {
        uint32_t frame = 0, jiffies = 0;
        if (vc_animation_step(from, s, &frame, &jiffies) && frame < frames)
            stepFrames.push_back(frame), stepRates.push_back(jiffies);
    }
    if (!stepFrames.empty())
        vc_animation_set_steps(to, stepFrames.data(), stepRates.data(), uint32_t(stepFrames.size()));
}

// The input as an animation: the host's own files as one frame, the rest
// through the library.
ApiConversion readInput(const std::string &in, AnimationPtr &read, vc_format &source) {
    std::error_code error;
    if (std::filesystem::is_regular_file(in, error) && std::filesystem::file_size(in, error) == 0 && !error)
        return failed("reading " + in + ": the file is empty");
    if (ownFileOf(in) == OwnFile::none) {
        source = vc_detect_path(in.c_str());
        vc_animation *a = nullptr;
        const vc_status status = vc_read_path(in.c_str(), VC_FORMAT_UNKNOWN, nullptr, &a);
        read.reset(a);
        if (status != VC_OK) return failed("reading " + in + ": " + vc_status_message(status));
        return {true, {}, {}};
    }
    std::string why;
    std::optional<Rgb> transparent;
    std::optional<Image> image = readOwnFile(in, why, &transparent);
    if (!image) return failed("reading " + in + ": " + why);
    if (transparent && image->mask.empty()) maskFromColor(*image, *transparent);
    read.reset(vc_animation_new());
    PicturePtr picture(pictureOfImage(*image));
    if (!read || !picture || vc_animation_add_frame(read.get(), picture.get()) != VC_OK)
        return failed("reading " + in + ": " + vc_status_message(VC_E_MEMORY));
    source = VC_FORMAT_UNKNOWN;
    return {true, {}, {}};
}

}  // namespace

Image imageOfPicture(const vc_picture *picture) {
    std::vector<Rgb> palette;
    for (uint32_t i = 0; i < vc_picture_palette_size(picture); ++i) palette.push_back(vc_picture_palette_color(picture, i));
    std::vector<uint8_t> alpha;
    Image img = imageOfRows(vc_picture_width(picture), vc_picture_height(picture), vc_picture_depth(picture),
                            std::move(palette), [&](int32_t y) { return vc_picture_row_const(picture, y); }, alpha);
    const bool alphaWritten = std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 0; });
    if (alphaWritten) applyAlpha(img, alpha, nullptr);
    if (img.mask.empty() && vc_picture_has_mask(picture)) {
        img.mask.assign(size_t(img.maskRowBytes()) * size_t(img.height), 0);
        for (int32_t y = 0; y < img.height; ++y)
            std::memcpy(img.mask.data() + size_t(img.height - 1 - y) * img.maskRowBytes(),
                        vc_picture_mask_row(const_cast<vc_picture *>(picture), y), img.maskRowBytes());
    }
    const int32_t transparent = vc_picture_transparent_index(picture);
    if (img.mask.empty() && transparent >= 0 && img.bitCount <= 8) {
        img.mask.assign(size_t(img.maskRowBytes()) * size_t(img.height), 0);
        for (int32_t y = 0; y < img.height; ++y)
            for (int32_t x = 0; x < img.width; ++x)
                if (img.index(x, y) == uint32_t(transparent)) setMaskBit(img, x, y);
    }
    return img;
}

vc_picture *pictureOfImage(const Image &img) {
    PicturePtr picture(vc_picture_new(img.width, img.height, img.bitCount));
    if (!picture) return nullptr;
    if (img.bitCount <= 8 && !img.palette.empty() &&
        vc_picture_set_palette(picture.get(), img.palette.data(), uint32_t(img.palette.size())) != VC_OK)
        return nullptr;
    for (int32_t y = 0; y < img.height; ++y)
        std::memcpy(vc_picture_row(picture.get(), y), img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes(),
                    img.rowBytes());
    if (!img.mask.empty()) {
        if (vc_picture_add_mask(picture.get()) != VC_OK) return nullptr;
        for (int32_t y = 0; y < img.height; ++y)
            std::memcpy(vc_picture_mask_row(picture.get(), y),
                        img.mask.data() + size_t(img.height - 1 - y) * img.maskRowBytes(), img.maskRowBytes());
    }
    return picture.release();
}

ApiInput::ApiInput(const std::string &path) : path_(path) {
    AnimationPtr read;
    if (ApiConversion r = readInput(path, read, source_); !r.ok) failure_ = r.reason;
    else if (vc_animation_frame_count(read.get()) == 0) failure_ = path + " holds no picture";
    animation_ = read.release();
}

ApiInput::~ApiInput() { vc_animation_free(animation_); }

ApiConversion ApiInput::convertCursorSize(const std::string &out, const std::string &format, int code,
                                          bool dither) const {
    const uint32_t size = vc_frame_nominal_size(animation_, 0);
    AnimationPtr one(vc_animation_new());
    std::vector<uint32_t> steps, rates;
    for (uint32_t i = 0; one && i < vc_animation_frame_count(animation_); ++i) {
        if (vc_frame_nominal_size(animation_, i) != size) continue;
        if (vc_animation_add_frame(one.get(), vc_animation_frame_const(animation_, i)) != VC_OK)
            return failed(vc_status_message(VC_E_MEMORY));
        const uint32_t ms = vc_frame_delay_ms(animation_, i);
        vc_frame_set_delay_ms(one.get(), uint32_t(steps.size()), ms);
        steps.push_back(uint32_t(steps.size()));
        rates.push_back(std::max<uint32_t>(1, uint32_t((uint64_t(ms) * 60 + 500) / 1000)));
    }
    if (!one) return failed(vc_status_message(VC_E_MEMORY));
    if (steps.size() > 1) vc_animation_set_steps(one.get(), steps.data(), rates.data(), uint32_t(steps.size()));
    ApiInput picked(path_, one.release(), VC_FORMAT_UNKNOWN);
    ApiConversion c = picked.convertTo(out, format, code, dither);
    if (c.ok) c.said += "  the " + std::to_string(steps.size()) + " image(s) of nominal size " + std::to_string(size) + " taken\n";
    return c;
}

ApiConversion ApiInput::convertTo(const std::string &out, const std::string &format, int code, bool dither,
                                  const std::vector<int32_t> &sizes) const {
    if (!failure_.empty()) return failed(failure_);
    const uint32_t count = vc_animation_frame_count(animation_);

    const bool own = code == kOwnBmp || code == kOwnPng;
    const vc_format target = own ? VC_FORMAT_UNKNOWN : apiFormat(format, code);
    if (!own && target == VC_FORMAT_UNKNOWN) return failed(format + " is not a format the library writes");
    // The host's own files take every frame of an animation, one file each.
    const uint32_t frames = uint32_t(framesFor(own ? VC_FORMAT_GIF : target, source_, count));
    // One picture of an icon file for any other format: the one it opens at.
    const uint32_t first = frames == 1 ? std::min(vc_animation_opens_at(animation_), count - 1) : 0;
    // An X cursor written as anything else: the images of its first nominal
    // size, an animated cursor playing them at their delays.
    if (source_ == VC_FORMAT_XCURSOR && target != VC_FORMAT_XCURSOR) return convertCursorSize(out, format, code, dither);

    if (own) {
        for (uint32_t i = 0; i < frames; ++i) {
            const std::string name = frames > 1 ? paths::beforeExtension(out, paths::frameNumber(i, frames)) : out;
            const Image img = imageOfPicture(vc_animation_frame_const(animation_, first + i));
            std::string error;
            if (!(code == kOwnBmp ? writeBmp(name, img, &error) : writePng(name, img, &error)))
                return failed("cannot write " + name + ": " + error);
        }
        return {true, path_ + " -> " + out + (frames > 1 ? " (" + std::to_string(frames) + " frames, numbered)" : "") + "\n", {}};
    }

    AnimationPtr written(vc_animation_new());
    if (!written) return failed(vc_status_message(VC_E_MEMORY));
    if (!sizes.empty()) return sizedFrames(written.get(), out, frames, sizes);
    for (uint32_t i = 0; i < frames; ++i) {
        const vc_picture *from = vc_animation_frame_const(animation_, first + i);
        // An X cursor takes every depth and keeps alpha as it is.
        PicturePtr picture(target == VC_FORMAT_XCURSOR ? vc_picture_copy(from)
                                                       : preparedFrame(imageOfPicture(from), target, dither).release());
        if (!picture) return failed(vc_status_message(VC_E_MEMORY));
        int32_t x = 0, y = 0;
        if (vc_picture_hotspot(from, &x, &y)) vc_picture_set_hotspot(picture.get(), x, y);
        int32_t resolutionX = 0, resolutionY = 0;
        vc_picture_resolution(from, &resolutionX, &resolutionY);
        vc_picture_set_resolution(picture.get(), resolutionX, resolutionY);
        if (const vc_status s = vc_animation_add_frame(written.get(), picture.get()); s != VC_OK)
            return failed(vc_status_message(s));
    }
    carryTiming(animation_, written.get(), frames);
    if (const vc_status s = vc_write_path(written.get(), target, nullptr, out.c_str()); s != VC_OK)
        return failed("writing " + out + ": " + vc_status_message(s));
    std::string said = path_ + " -> " + out + " (" + vc_format_name(target);
    const bool icons = target == VC_FORMAT_ICO || target == VC_FORMAT_CUR;
    if (target == VC_FORMAT_XCURSOR) {
        // An animated cursor's steps are the images written.
        const uint32_t steps = vc_animation_step_count(written.get()), images = steps ? steps : frames;
        said += ", " + std::to_string(images) + (images == 1 ? " image" : " images");
    } else if (frames > 1) {
        said += ", " + std::to_string(frames) + (icons ? " images" : " frames");
    }
    return {true, said + ")\n", {}};
}

// Every frame at every size, the sizes of frame i in group i, 32 bits with
// their alpha; the steps name the frames as they did.
ApiConversion ApiInput::sizedFrames(vc_animation *written, const std::string &out, uint32_t frames,
                                    const std::vector<int32_t> &sizes) const {
    if (apiFormat(out, CONV_FMT_ANI) != VC_FORMAT_ANI) return failed("--sizes: only an animated cursor takes them");
    // One frame from an icon file: all its sizes are the one picture's.
    std::vector<const vc_picture *> all;
    if (frames == 1)
        for (uint32_t k = 0; k < vc_animation_frame_count(animation_); ++k) all.push_back(vc_animation_frame_const(animation_, k));
    for (uint32_t i = 0; i < frames; ++i) {
        const std::vector<const vc_picture *> sources =
            frames == 1 ? all : std::vector<const vc_picture *>{vc_animation_frame_const(animation_, i)};
        for (int32_t size : sizes) {
            bool resampled = false;
            PicturePtr picture(pictureAtSize(sources, size, resampled));
            if (!picture) return failed(vc_status_message(VC_E_MEMORY));
            if (const vc_status s = vc_animation_add_frame(written, picture.get()); s != VC_OK)
                return failed(vc_status_message(s));
            vc_frame_set_group(written, vc_animation_frame_count(written) - 1, i);
        }
    }
    carryTiming(animation_, written, frames);
    if (const vc_status s = vc_write_path(written, VC_FORMAT_ANI, nullptr, out.c_str()); s != VC_OK)
        return failed("writing " + out + ": " + vc_status_message(s));
    std::string list;
    for (int32_t size : sizes) list += (list.empty() ? "" : ", ") + std::to_string(size);
    return {true, path_ + " -> " + out + " (ANI, " + std::to_string(frames) + " frames at sizes " + list + ")\n", {}};
}

}  // namespace host
