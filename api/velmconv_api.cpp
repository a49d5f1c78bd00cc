// The public C API (velmconv/api.h): handles over the pictures and
// animations the format cores give and take, and one dispatch from a
// format to its core. Nothing here keeps state between calls.
#include "velmconv/api.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "codecs/ani_core.h"
#include "codecs/avi_core.h"
#include "codecs/dib_core.h"
#include "codecs/gif_core.h"
#include "codecs/ico_core.h"
#include "codecs/jpeg_core.h"
#include "codecs/pcx_core.h"
#include "codecs/program_core.h"
#include "codecs/tiff_core.h"
#include "codecs/xcursor_core.h"
#include "common/picture.h"
#include "common/format_table.h"
#include "common/resample.h"
#include "common/result.h"
#include "controls/playback_model.h"
#include "gif/gif_anim.h"
#include "gif/gif_record.h"

struct vc_picture {
    vc::Picture picture;
};
static_assert(std::is_standard_layout_v<vc_picture>);

struct vc_animation {
    vc::Animation animation;
    std::vector<std::string> names;  // a program bitmap's name per frame; may be shorter than the frames
    uint32_t opensAt = 0;            // the frame the file opens at (an icon file's chosen image)
    std::vector<vc::XcursorComment> comments;  // an X cursor's, in file order
};

// A player: the preview window's model over the frames as the editor holds
// them after a GIF came in as a sequence (see playerRecord), composed on the
// window's canvas of pixels.
struct vc_player final : vc::PlaybackSurface {
    const vc::Animation *animation = nullptr;
    // Where each frame's picture lies inside the output-size frame the
    // editor holds, and the colour table it has there.
    std::vector<std::pair<int32_t, int32_t>> inner;
    std::vector<std::array<uint32_t, 256>> tables;
    std::optional<uint32_t> transparent;
    uint32_t background = 0;
    vc::PlaybackCanvas canvas;
    std::vector<uint32_t> frame;  // one output-size frame, top row first
    std::unique_ptr<vc::PlaybackModel> play;
    vc_picture shown;  // the canvas as a picture
    bool painted = false;

    void fillBackground(int32_t left, int32_t top, int32_t width, int32_t height) override {
        canvas.fill(left, top, width, height, background);
    }
    bool drawFrame(int32_t index, int32_t left, int32_t top, int32_t width, int32_t height) override;
    void paint() override { painted = true; }
};

namespace {

uint32_t rgbOf(const vc::Rgbq &q) { return uint32_t(q.red) << 16 | uint32_t(q.green) << 8 | q.blue; }

uint32_t pixelColor(const vc::Picture &p, const std::array<uint32_t, 256> &table, const uint8_t *row, int32_t x) {
    if (p.bitCount >= 24) {
        const uint8_t *px = row + size_t(x) * (p.bitCount / 8);
        return uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0];
    }
    const uint32_t perByte = 8u / p.bitCount, shift = (perByte - 1 - uint32_t(x) % perByte) * p.bitCount;
    return table[(row[uint32_t(x) / perByte] >> shift) & ((1u << p.bitCount) - 1)];
}

// The animated GIF document the editor would keep for the animation read
// as a sequence: frames of the largest frame's size (one frame: its own,
// at 0, 0), each pulled back inside it where it would stick out at the
// right or the bottom, the pull kept as its position; the screen spread by
// the positions as the animation dialog makes it. A new document's first
// frame has a delay of 1, which an image without a graphic control keeps.
void playerRecord(const vc::Animation &a, vc::GifAnimRecord &record, vc_player &player) {
    const int32_t n = int32_t(std::min<size_t>(a.frames.size(), size_t(vc::kGifMaxFrames)));
    int32_t w = 0, h = 0;
    for (int32_t i = 0; i < n; ++i) {
        w = std::max(w, a.frames[size_t(i)].picture.width);
        h = std::max(h, a.frames[size_t(i)].picture.height);
    }
    record.frameCount = int16_t(n);
    record.outputWidth = uint16_t(w);
    record.outputHeight = uint16_t(h);
    record.repeat = a.repeat;
    record.loopCount = a.loopCount;
    record.backgroundIndex = uint16_t(a.backgroundIndex & 0xFF);
    record.globalColorCount = int16_t(std::min<size_t>(a.globalPalette.size(), 256));
    for (int32_t i = 0; i < record.globalColorCount; ++i) {
        const vc::Rgbq &q = a.globalPalette[size_t(i)];
        record.globalPalette[i] = vc::GifRgbQuad{q.blue, q.green, q.red, 0};
    }
    for (int32_t i = 0; i < n; ++i) {
        const vc::Frame &f = a.frames[size_t(i)];
        vc::GifFrameEntry &e = record.frames[i];
        const int32_t left = n == 1 ? 0 : int16_t(f.left), top = n == 1 ? 0 : int16_t(f.top);
        const int32_t sx = std::max(0, left + f.picture.width - w), sy = std::max(0, top + f.picture.height - h);
        e.left = int16_t(sx);
        e.top = int16_t(sy);
        e.delay = uint16_t(std::min<uint32_t>(f.delay, 0xFFFF));
        if (i == 0 && !f.graphicControl) e.delay = 1;
        e.disposal = f.disposal;
        e.userInput = f.userInput;
        player.inner.emplace_back(left - sx, top - sy);
    }
    vc::ComputeGifScreenSize(record, record.outputWidth, record.outputHeight);
}

// The colour tables the editor's frames have: the sequence is decoded into
// one picture whose table starts as the global one and takes each frame's
// local colours over its first entries, for that frame and those after it.
// A frame's own table holds the global one where it has no local colours.
void playerTables(const vc::Animation &a, size_t frames, vc_player &player) {
    std::array<uint32_t, 256> global{}, table{};
    for (size_t i = 0; i < std::min<size_t>(a.globalPalette.size(), 256); ++i) global[i] = rgbOf(a.globalPalette[i]);
    table = global;
    for (size_t i = 0; i < frames; ++i) {
        const vc::Picture &p = a.frames[i].picture;
        for (size_t k = 0; k < std::min<size_t>(p.palette.size(), 256); ++k)
            if (rgbOf(p.palette[k]) != global[k]) table[k] = rgbOf(p.palette[k]);
        player.tables.push_back(table);
    }
}

// The editor's one transparent colour: that of the last frame with a
// transparent index its picture's table holds (as deep as the file's
// deepest table).
std::optional<uint32_t> transparentColor(const vc::Animation &a, const vc_player &player) {
    std::optional<uint32_t> color;
    size_t colors = std::min<size_t>(a.globalPalette.size(), 256);
    for (size_t i = 0; i < player.tables.size(); ++i)
        if (a.frames[i].picture.bitCount <= 8) colors = std::max(colors, size_t(1) << a.frames[i].picture.bitCount);
    for (size_t i = 0; i < player.tables.size(); ++i) {
        const int32_t index = a.frames[i].picture.transparentIndex;
        if (index >= 0 && size_t(index) < colors) color = player.tables[i][size_t(index)];
    }
    return color;
}

// The canvas as a 24-bit picture.
void showCanvas(const vc::PlaybackCanvas &c, vc::Picture &out) {
    out.width = c.width;
    out.height = c.height;
    out.bitCount = 24;
    out.pixels.assign(size_t(out.rowBytes() * uint64_t(c.height)), 0);
    for (int32_t y = 0; y < c.height; ++y) {
        uint8_t *row = out.rowFromTop(y);
        for (int32_t x = 0; x < c.width; ++x) {
            const uint32_t v = c.at(x, y);
            row[3 * x] = uint8_t(v), row[3 * x + 1] = uint8_t(v >> 8), row[3 * x + 2] = uint8_t(v >> 16);
        }
    }
}

}  // namespace

// Frame i as the editor holds it: output size, ground of the frame's
// transparent index (else the background index) where its picture is
// smaller, the picture at its place inside.
bool vc_player::drawFrame(int32_t index, int32_t left, int32_t top, int32_t width, int32_t height) {
    if (index < 0 || size_t(index) >= inner.size()) return false;
    const vc::Picture &p = animation->frames[size_t(index)].picture;
    const std::array<uint32_t, 256> &table = tables[size_t(index)];
    const int32_t w = play->reel().outputWidth, h = play->reel().outputHeight;
    const int32_t ground = p.transparentIndex >= 0 ? p.transparentIndex : int32_t(animation->backgroundIndex);
    frame.assign(size_t(w) * size_t(h), p.bitCount <= 8 ? table[size_t(ground) & 0xFF] : 0);
    const auto [dx, dy] = inner[size_t(index)];
    for (int32_t y = std::max(0, -dy); y < p.height && y + dy < h; ++y) {
        const uint8_t *row = p.rowFromTop(y);
        for (int32_t x = std::max(0, -dx); x < p.width && x + dx < w; ++x)
            frame[size_t(y + dy) * size_t(w) + size_t(x + dx)] = pixelColor(p, table, row, x);
    }
    canvas.compose(frame.data(), w, h, left, top, width, height, transparent);
    return true;
}

namespace {

using vc::Result;

vc_picture *handle(vc::Picture &p) { return reinterpret_cast<vc_picture *>(&p); }
const vc_picture *handle(const vc::Picture &p) { return reinterpret_cast<const vc_picture *>(&p); }

vc_status statusOf(Result r) {
    switch (r) {
    case Result::ok: return VC_OK;
    case Result::cancelled: return VC_CANCELLED;
    case Result::noneFound: return VC_NONE_FOUND;
    case Result::openFailed: return VC_E_OPEN;
    case Result::notFormat: return VC_E_FORMAT;
    case Result::readFailed: return VC_E_READ;
    case Result::unsupported: return VC_E_UNSUPPORTED;
    case Result::noMemory: return VC_E_MEMORY;
    case Result::damaged: return VC_E_DATA;
    case Result::createFailed: return VC_E_CREATE;
    case Result::writeFailed: return VC_E_WRITE;
    }
    return VC_E_DATA;
}

// The request of one call: the caller's limits where it set them, the
// library's defaults elsewhere, and its progress callback.
struct CallRequest {
    vc::CoreRequest request;
    int (*progress)(void *, int) = nullptr;
    void *context = nullptr;
    uint32_t flags = 0;  // VC_READ_...

    explicit CallRequest(const vc_options *options) {
        if (!options || options->size < offsetof(vc_options, flags)) return;
        if (options->size >= offsetof(vc_options, flags) + sizeof options->flags) flags = options->flags;
        if (options->largest_picture) request.limits.largestPicture = options->largest_picture;
        if (options->largest_block) request.limits.largestBlock = options->largest_block;
        if (options->largest_frames) request.limits.largestFrameCount = options->largest_frames;
        progress = options->progress;
        context = options->context;
        if (progress) {
            request.progress.report = [](void *self, int32_t percent) {
                auto *call = static_cast<CallRequest *>(self);
                return call->progress(call->context, int(percent)) != 0;
            };
            request.progress.context = this;
        }
    }
    CallRequest(const CallRequest &) = delete;
    CallRequest &operator=(const CallRequest &) = delete;
};

std::span<const uint8_t> spanOf(const void *bytes, size_t size) {
    return {static_cast<const uint8_t *>(bytes), bytes ? size : 0};
}

// The C API may be called from several threads at once, so files are read
// with the standard library here, not through the platform layer's handle and
// block tables (common/whole_file.h), which belong to one thread.
bool readFile(const char *path, std::vector<uint8_t> &bytes, vc_status &status) {
    std::error_code error;
    const auto length = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in) {
        status = VC_E_OPEN;
        return false;
    }
    try {
        bytes.resize(size_t(length));
    } catch (const std::exception &) {
        status = VC_E_MEMORY;
        return false;
    }
    if (!in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size()))) {
        status = VC_E_READ;
        return false;
    }
    return true;
}

// A file of its own beside nothing else, for the companion library, which
// reads and writes AVI files by name; removed when the call ends.
struct ScratchFile {
    std::string path;
    ScratchFile() {
        std::error_code error;
        auto dir = std::filesystem::temp_directory_path(error);
        if (error) return;
        std::string pattern = (dir / "velmconv-XXXXXX.avi").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
#if defined(_WIN32)
        // _mktemp_s wants the Xs last.
        name.resize(name.size() - 5);
        name.push_back(0);
        if (_mktemp_s(name.data(), name.size()) != 0) return;
        std::string made = std::string(name.data()) + ".avi";
        name.assign(made.begin(), made.end());
        name.push_back(0);
#else
        const int fd = mkstemps(name.data(), 4);
        if (fd < 0) return;
        close(fd);
#endif
        path = name.data();
    }
    ~ScratchFile() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

vc_format detectBytes(std::span<const uint8_t> bytes) {
    // Animated cursors before AVI (both RIFF); the formats with signatures
    // before the icon, whose reserved word of 0 says little on its own: an
    // icon here also has type 1 (icon) or 2 (cursor) and an image.
    if (vc::looksLikeAnimatedCursor(bytes)) return VC_FORMAT_ANI;
    if (vc::looksLikeXcursor(bytes)) return VC_FORMAT_XCURSOR;
    if (vc::looksLikeAvi(bytes)) return VC_FORMAT_AVI;
    if (vc::looksLikeGif(bytes)) return VC_FORMAT_GIF;
    if (vc::looksLikeTiff(bytes)) return VC_FORMAT_TIFF;
    if (vc::looksLikeJpeg(bytes)) return VC_FORMAT_JPEG;
    if (vc::looksLikeProgram(bytes)) return VC_FORMAT_PROGRAM;
    if (vc::looksLikePcx(bytes)) return VC_FORMAT_PCX;
    if (vc::looksLikeBmp(bytes)) return VC_FORMAT_BMP;
    if (vc::looksLikeIcon(bytes) && bytes.size() >= 6 && (bytes[2] == 1 || bytes[2] == 2) && bytes[3] == 0 &&
        (bytes[4] | bytes[5]) != 0)
        return bytes[2] == 2 ? VC_FORMAT_CUR : VC_FORMAT_ICO;
    return VC_FORMAT_UNKNOWN;
}

Result readStill(Result (*decode)(std::span<const uint8_t>, const vc::CoreRequest &, vc::Picture &),
                 std::span<const uint8_t> bytes, const vc::CoreRequest &request, vc_animation &out) {
    vc::Frame frame;
    const Result r = decode(bytes, request, frame.picture);
    if (r != Result::ok) return r;
    out.animation.screenWidth = frame.picture.width;
    out.animation.screenHeight = frame.picture.height;
    out.animation.frames.push_back(std::move(frame));
    return Result::ok;
}

Result readProgram(std::span<const uint8_t> bytes, const vc::CoreRequest &request, vc_animation &out) {
    std::vector<vc::ProgramBitmap> list;
    Result r = vc::listProgramBitmaps(bytes, request, list);
    if (r != Result::ok) return r;
    for (const vc::ProgramBitmap &bitmap : list) {
        vc::Frame frame;
        r = vc::decodeProgramBitmap(bytes, bitmap, request, frame.picture);
        if (r != Result::ok) return r;
        out.animation.frames.push_back(std::move(frame));
        out.names.push_back(bitmap.name);
    }
    return Result::ok;
}

Result readXcursor(std::span<const uint8_t> bytes, const vc::CoreRequest &request, vc_animation &out) {
    vc::XcursorFile file;
    const Result r = vc::decodeXcursor(bytes, request, file);
    if (r != Result::ok) return r;
    for (vc::XcursorImage &image : file.images) {
        vc::Frame frame;
        frame.picture = std::move(image.picture);
        frame.nominalSize = image.nominalSize;
        frame.delayMs = image.delayMs;
        frame.delay = uint32_t((uint64_t(image.delayMs) + 5) / 10);
        frame.delayExact = true;
        out.animation.frames.push_back(std::move(frame));
    }
    out.comments = std::move(file.comments);
    return Result::ok;
}

uint32_t frameDelayMs(const vc::Frame &f) {
    return f.delayExact ? f.delayMs : uint32_t(std::min<uint64_t>(uint64_t(f.delay) * 10, UINT32_MAX));
}

// An X cursor of the animation: an animated cursor's steps each an image
// at its rate, other animations each frame at its delay.
Result writeXcursor(const vc_animation &in, const vc::CoreRequest &request, std::vector<uint8_t> &out) {
    const vc::Animation &a = in.animation;
    vc::XcursorFile file;
    file.comments = in.comments;
    auto add = [&](const vc::Frame &f, uint32_t ms) {
        vc::XcursorImage image;
        if (!vc::xcursorPicture(f.picture, image.picture)) return false;
        image.nominalSize = f.nominalSize ? f.nominalSize : uint32_t(std::max(f.picture.width, f.picture.height));
        image.delayMs = ms;
        file.images.push_back(std::move(image));
        return true;
    };
    const uint32_t steps = vc_animation_step_count(&in);
    if (uint64_t(std::max<size_t>(steps, a.frames.size())) > request.limits.largestFrameCount) return Result::noMemory;
    if (steps) {
        for (uint32_t i = 0; i < steps; ++i) {
            uint32_t index = 0, jiffies = 0;
            vc_animation_step(&in, i, &index, &jiffies);
            if (index >= a.frames.size()) return Result::unsupported;
            if (!add(a.frames[index], uint32_t((uint64_t(jiffies) * 1000 + 30) / 60))) return Result::unsupported;
        }
    } else {
        for (const vc::Frame &f : a.frames) {
            const uint32_t ms = !f.delayExact && !f.delay && a.defaultRate
                                    ? uint32_t((uint64_t(a.defaultRate) * 1000 + 30) / 60)
                                    : frameDelayMs(f);
            if (!add(f, ms)) return Result::unsupported;
        }
    }
    return vc::encodeXcursor(file, request, out);
}

Result readAs(vc_format format, std::span<const uint8_t> bytes, const char *path, const vc::CoreRequest &request,
              uint32_t flags, vc_animation &out) {
    const bool everySize = flags & VC_READ_EVERY_SIZE;
    switch (format) {
    case VC_FORMAT_ICO:
    case VC_FORMAT_CUR: {
        vc::IconFile icons;
        const Result r = vc::decodeIconFile(bytes, request, icons);
        if (r != Result::ok) return r;
        vc::IconChoice choice;
        const bool chosen = vc::chooseIconImage(bytes, request, choice) == Result::ok;
        for (size_t entry = 0; entry < icons.images.size(); ++entry) {
            vc::Picture &p = icons.images[entry];
            // An entry that could not be decoded stays out.
            if (!p.consistent()) continue;
            if (chosen && entry == choice.index) out.opensAt = uint32_t(out.animation.frames.size());
            vc::Frame frame;
            frame.picture = std::move(p);
            if (everySize) frame.group = 0;
            out.animation.frames.push_back(std::move(frame));
        }
        return Result::ok;
    }
    case VC_FORMAT_ANI: return vc::decodeAnimatedCursor(bytes, request, out.animation, everySize);
    case VC_FORMAT_GIF: return vc::decodeGif(bytes, request, out.animation);
    case VC_FORMAT_PCX: return readStill(vc::decodePcx, bytes, request, out);
    case VC_FORMAT_TIFF: return readStill(vc::decodeTiff, bytes, request, out);
    case VC_FORMAT_JPEG: return readStill(vc::decodeJpeg, bytes, request, out);
    case VC_FORMAT_BMP: return readStill(vc::decodeBmp, bytes, request, out);
    case VC_FORMAT_PROGRAM: return readProgram(bytes, request, out);
    case VC_FORMAT_XCURSOR: return readXcursor(bytes, request, out);
    case VC_FORMAT_AVI: {
        if (path) return vc::readAvi(path, request, out.animation);
        ScratchFile scratch;
        if (scratch.path.empty()) return Result::createFailed;
        std::ofstream file(scratch.path, std::ios::binary);
        if (!file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size())) || !file.flush())
            return Result::writeFailed;
        file.close();
        return vc::readAvi(scratch.path.c_str(), request, out.animation);
    }
    case VC_FORMAT_UNKNOWN: break;
    }
    return Result::notFormat;
}

vc_status readInto(std::span<const uint8_t> bytes, const char *path, vc_format format, const vc_options *options,
                   vc_animation **animation) {
    if (!animation) return VC_E_ARGUMENT;
    *animation = nullptr;
    if (format == VC_FORMAT_UNKNOWN) format = detectBytes(bytes);
    if (format == VC_FORMAT_UNKNOWN) return VC_E_FORMAT;
    CallRequest call(options);
    try {
        auto out = std::make_unique<vc_animation>();
        const Result r = readAs(format, bytes, path, call.request, call.flags, *out);
        if (r != Result::ok) return statusOf(r);
        *animation = out.release();
        return VC_OK;
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
}

// The frames as the cores take them: every picture must be one the
// library can write.
bool writable(const vc::Animation &a, bool every) {
    if (a.frames.empty()) return false;
    for (const vc::Frame &f : a.frames) {
        if (!f.picture.consistent()) return false;
        if (!every) break;
    }
    return true;
}

// The still formats hold no alpha: a 32-bit picture is written as its 24
// colour bits.
vc::Picture stillOf(const vc::Picture &p) {
    if (p.bitCount != 32) return p;
    vc::Picture rgb = p;
    rgb.bitCount = 24;
    rgb.pixels.assign(size_t(rgb.rowBytes() * uint64_t(rgb.height)), 0);
    for (int32_t y = 0; y < p.height; ++y) {
        const uint8_t *from = p.rowFromTop(y);
        uint8_t *to = rgb.rowFromTop(y);
        for (int32_t x = 0; x < p.width; ++x) std::memcpy(to + 3 * x, from + 4 * x, 3);
    }
    return rgb;
}

// Whether frames share groups: then each frame's animation frame (its
// group's place in the order groups first appear) in `groups`.
bool sharedGroups(const vc::Animation &a, std::vector<uint32_t> &groups) {
    std::vector<int64_t> seen;
    bool shared = false;
    for (size_t i = 0; i < a.frames.size(); ++i) {
        const int64_t g = a.frames[i].group < 0 ? -1 - int64_t(i) : a.frames[i].group;
        const auto at = std::find(seen.begin(), seen.end(), g);
        shared = shared || at != seen.end();
        groups.push_back(uint32_t(at - seen.begin()));
        if (at == seen.end()) seen.push_back(g);
    }
    return shared;
}

Result writeAs(const vc_animation &in, vc_format format, const vc::CoreRequest &request, std::vector<uint8_t> &out,
               const char *path) {
    const vc::Animation &a = in.animation;
    switch (format) {
    case VC_FORMAT_ICO:
    case VC_FORMAT_CUR: {
        vc::IconFile icons;
        icons.cursor = format == VC_FORMAT_CUR;
        for (const vc::Frame &f : a.frames) icons.images.push_back(f.picture);
        return vc::encodeIconSet(icons, request, out);
    }
    case VC_FORMAT_ANI: {
        std::vector<uint32_t> groups;
        if (!sharedGroups(a, groups)) return vc::encodeAnimatedCursor(a, request, out);
        return vc::encodeAnimatedCursorSets(a, groups, request, out);
    }
    case VC_FORMAT_GIF: {
        if (a.screenWidth > 0 && a.screenHeight > 0) return vc::encodeGif(a, request, out);
        // No screen given: the frames' extent.
        vc::Animation sized = a;
        for (const vc::Frame &f : a.frames) {
            sized.screenWidth = std::max(sized.screenWidth, f.left + f.picture.width);
            sized.screenHeight = std::max(sized.screenHeight, f.top + f.picture.height);
        }
        return vc::encodeGif(sized, request, out);
    }
    case VC_FORMAT_PCX: return vc::encodePcx(stillOf(a.frames.front().picture), request, out);
    case VC_FORMAT_TIFF: return vc::encodeTiff(stillOf(a.frames.front().picture), request, out);
    case VC_FORMAT_JPEG: return vc::encodeJpeg(stillOf(a.frames.front().picture), request, out);
    case VC_FORMAT_AVI: {
        if (path) return vc::writeAvi(a, path, request);
        ScratchFile scratch;
        if (scratch.path.empty()) return Result::createFailed;
        const Result r = vc::writeAvi(a, scratch.path.c_str(), request);
        if (r != Result::ok) return r;
        vc_status status = VC_OK;
        return readFile(scratch.path.c_str(), out, status) ? Result::ok : Result::readFailed;
    }
    case VC_FORMAT_XCURSOR: return writeXcursor(in, request, out);
    case VC_FORMAT_PROGRAM:
    case VC_FORMAT_BMP:
    case VC_FORMAT_UNKNOWN: break;
    }
    return Result::unsupported;
}

vc_status writeCommon(const vc_animation *animation, vc_format format, const vc_options *options,
                      std::vector<uint8_t> &bytes, const char *path) {
    if (!animation) return VC_E_ARGUMENT;
    if (!vc_format_writable(format)) return VC_E_UNSUPPORTED;
    const bool every = format != VC_FORMAT_PCX && format != VC_FORMAT_TIFF && format != VC_FORMAT_JPEG;
    if (!writable(animation->animation, every)) return VC_E_ARGUMENT;
    CallRequest call(options);
    try {
        return statusOf(writeAs(*animation, format, call.request, bytes, path));
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
}

vc::Frame *frameAt(vc_animation *a, uint32_t i) {
    return a && i < a->animation.frames.size() ? &a->animation.frames[i] : nullptr;
}
const vc::Frame *frameAt(const vc_animation *a, uint32_t i) {
    return a && i < a->animation.frames.size() ? &a->animation.frames[i] : nullptr;
}

}  // namespace

extern "C" {

VC_APIEXPORT const char *VC_APIENTRY vc_status_message(vc_status status) {
    switch (status) {
    case VC_OK: return "done";
    case VC_CANCELLED: return "stopped by the caller";
    case VC_NONE_FOUND: return "the file holds nothing of the kind asked for";
    case VC_E_OPEN: return "the file cannot be opened";
    case VC_E_FORMAT: return "the data is not of the format asked for, or of any format the library reads";
    case VC_E_READ: return "the file is shorter than its contents say, or cannot be read";
    case VC_E_UNSUPPORTED: return "the library does not handle this kind of the format";
    case VC_E_MEMORY: return "the picture is larger than the limits allow, or memory was refused";
    case VC_E_DATA: return "the data inside the file is damaged";
    case VC_E_CREATE: return "the file cannot be created";
    case VC_E_WRITE: return "writing the file failed";
    case VC_E_ARGUMENT: return "an argument is missing or out of range";
    }
    return "unknown status";
}

VC_APIEXPORT vc_format VC_APIENTRY vc_detect(const void *bytes, size_t size) {
    return detectBytes(spanOf(bytes, size));
}

VC_APIEXPORT vc_format VC_APIENTRY vc_detect_path(const char *path) {
    if (!path) return VC_FORMAT_UNKNOWN;
    std::ifstream in(path, std::ios::binary);
    if (!in) return VC_FORMAT_UNKNOWN;
    // Enough for every format's signature and the program header's offset.
    std::vector<uint8_t> head(4096);
    in.read(reinterpret_cast<char *>(head.data()), std::streamsize(head.size()));
    head.resize(size_t(in.gcount()));
    return detectBytes(head);
}

VC_APIEXPORT const char *VC_APIENTRY vc_format_name(vc_format format) {
    switch (format) {
    case VC_FORMAT_ICO: return "ICO";
    case VC_FORMAT_CUR: return "CUR";
    case VC_FORMAT_ANI: return "ANI";
    case VC_FORMAT_GIF: return "GIF";
    case VC_FORMAT_PCX: return "PCX";
    case VC_FORMAT_TIFF: return "TIFF";
    case VC_FORMAT_JPEG: return "JPEG";
    case VC_FORMAT_AVI: return "AVI";
    case VC_FORMAT_PROGRAM: return "program";
    case VC_FORMAT_BMP: return "BMP";
    case VC_FORMAT_XCURSOR: return "xcursor";
    case VC_FORMAT_UNKNOWN: break;
    }
    return "unknown";
}

VC_APIEXPORT int VC_APIENTRY vc_format_writable(vc_format format) {
    return (format != VC_FORMAT_UNKNOWN && format != VC_FORMAT_PROGRAM && format <= VC_FORMAT_PROGRAM) ||
           format == VC_FORMAT_XCURSOR;
}

VC_APIEXPORT int VC_APIENTRY vc_format_depth(vc_format format, int depth) {
    int32_t code = 0;
    switch (format) {
    case VC_FORMAT_PCX: code = CONV_FMT_PCX; break;
    case VC_FORMAT_TIFF: code = CONV_FMT_TIFF; break;
    case VC_FORMAT_GIF: code = CONV_FMT_GIF; break;
    case VC_FORMAT_JPEG: code = CONV_FMT_JPEG; break;
    case VC_FORMAT_XCURSOR: return 32;
    default: return depth;
    }
    return vc::desiredBitCount(code, depth);
}

VC_APIEXPORT void VC_APIENTRY vc_options_init(vc_options *options) {
    if (!options) return;
    *options = vc_options{};
    options->size = sizeof(vc_options);
}

// ---- Pictures ----------------------------------------------------------------------------

VC_APIEXPORT vc_picture *VC_APIENTRY vc_picture_new(int32_t width, int32_t height, int depth) {
    if (width <= 0 || height <= 0 || (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32))
        return nullptr;
    const vc::Limits defaults;
    if (uint64_t(width) * uint64_t(height) > defaults.largestPicture) return nullptr;
    const uint64_t bytes = vc::pictureRowBytes(width, uint32_t(depth)) * uint64_t(height);
    if (bytes > defaults.largestBlock) return nullptr;
    try {
        auto *p = new vc_picture;
        p->picture.width = width;
        p->picture.height = height;
        p->picture.bitCount = uint16_t(depth);
        p->picture.pixels.assign(size_t(bytes), 0);
        if (depth <= 8) p->picture.palette.assign(size_t(1) << depth, vc::Rgbq{});
        return p;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

VC_APIEXPORT vc_picture *VC_APIENTRY vc_picture_copy(const vc_picture *picture) {
    if (!picture) return nullptr;
    try {
        return new vc_picture{picture->picture};
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

VC_APIEXPORT void VC_APIENTRY vc_picture_free(vc_picture *picture) { delete picture; }

VC_APIEXPORT int32_t VC_APIENTRY vc_picture_width(const vc_picture *p) { return p ? p->picture.width : 0; }
VC_APIEXPORT int32_t VC_APIENTRY vc_picture_height(const vc_picture *p) { return p ? p->picture.height : 0; }
VC_APIEXPORT int VC_APIENTRY vc_picture_depth(const vc_picture *p) { return p ? p->picture.bitCount : 0; }
VC_APIEXPORT size_t VC_APIENTRY vc_picture_stride(const vc_picture *p) { return p ? size_t(p->picture.rowBytes()) : 0; }

VC_APIEXPORT uint8_t *VC_APIENTRY vc_picture_row(vc_picture *p, int32_t y) {
    if (!p || y < 0 || y >= p->picture.height || p->picture.pixels.size() < p->picture.rowBytes() * uint64_t(p->picture.height))
        return nullptr;
    return p->picture.rowFromTop(y);
}

VC_APIEXPORT const uint8_t *VC_APIENTRY vc_picture_row_const(const vc_picture *p, int32_t y) {
    return vc_picture_row(const_cast<vc_picture *>(p), y);
}

VC_APIEXPORT uint32_t VC_APIENTRY vc_picture_palette_size(const vc_picture *p) {
    return p ? uint32_t(p->picture.palette.size()) : 0;
}

VC_APIEXPORT uint32_t VC_APIENTRY vc_picture_palette_color(const vc_picture *p, uint32_t index) {
    return p && index < p->picture.palette.size() ? rgbOf(p->picture.palette[index]) : 0;
}

VC_APIEXPORT vc_status VC_APIENTRY vc_picture_set_palette(vc_picture *p, const uint32_t *colors, uint32_t count) {
    if (!p || (count && !colors) || p->picture.bitCount > 8 || count > (1u << p->picture.bitCount))
        return VC_E_ARGUMENT;
    p->picture.palette.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        p->picture.palette[i] = vc::Rgbq{uint8_t(colors[i]), uint8_t(colors[i] >> 8), uint8_t(colors[i] >> 16), 0};
    return VC_OK;
}

VC_APIEXPORT int VC_APIENTRY vc_picture_has_mask(const vc_picture *p) { return p && !p->picture.mask.empty(); }

VC_APIEXPORT vc_status VC_APIENTRY vc_picture_add_mask(vc_picture *p) {
    if (!p || p->picture.width <= 0 || p->picture.height <= 0) return VC_E_ARGUMENT;
    try {
        p->picture.mask.assign(size_t(p->picture.maskRowBytes() * uint64_t(p->picture.height)), 0);
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
    return VC_OK;
}

VC_APIEXPORT size_t VC_APIENTRY vc_picture_mask_stride(const vc_picture *p) {
    return p ? size_t(p->picture.maskRowBytes()) : 0;
}

VC_APIEXPORT uint8_t *VC_APIENTRY vc_picture_mask_row(vc_picture *p, int32_t y) {
    if (!p || y < 0 || y >= p->picture.height ||
        p->picture.mask.size() != p->picture.maskRowBytes() * uint64_t(p->picture.height))
        return nullptr;
    return p->picture.mask.data() + uint64_t(p->picture.height - 1 - y) * p->picture.maskRowBytes();
}

VC_APIEXPORT int VC_APIENTRY vc_picture_hotspot(const vc_picture *p, int32_t *x, int32_t *y) {
    if (x) *x = p ? p->picture.hotspotX : 0;
    if (y) *y = p ? p->picture.hotspotY : 0;
    return p && p->picture.hasHotspot;
}

VC_APIEXPORT void VC_APIENTRY vc_picture_set_hotspot(vc_picture *p, int32_t x, int32_t y) {
    if (!p) return;
    p->picture.hasHotspot = true;
    p->picture.hotspotX = x;
    p->picture.hotspotY = y;
}

VC_APIEXPORT void VC_APIENTRY vc_picture_resolution(const vc_picture *p, int32_t *x, int32_t *y) {
    if (x) *x = p ? p->picture.xPelsPerMeter : 0;
    if (y) *y = p ? p->picture.yPelsPerMeter : 0;
}

VC_APIEXPORT void VC_APIENTRY vc_picture_set_resolution(vc_picture *p, int32_t x, int32_t y) {
    if (!p) return;
    p->picture.xPelsPerMeter = x;
    p->picture.yPelsPerMeter = y;
}

VC_APIEXPORT int32_t VC_APIENTRY vc_picture_transparent_index(const vc_picture *p) {
    return p ? p->picture.transparentIndex : -1;
}

VC_APIEXPORT void VC_APIENTRY vc_picture_set_transparent_index(vc_picture *p, int32_t index) {
    if (p) p->picture.transparentIndex = index < 0 ? -1 : index;
}

VC_APIEXPORT vc_status VC_APIENTRY vc_picture_from_dib(const void *dib, size_t size, vc_picture **out) {
    if (!out) return VC_E_ARGUMENT;
    *out = nullptr;
    if (!dib && size) return VC_E_ARGUMENT;
    try {
        auto made = std::make_unique<vc_picture>();
        const Result r = vc::decodePackedDib(spanOf(dib, size), vc::Limits{}, made->picture, vc::kDibAsInBmp);
        if (r != Result::ok) return statusOf(r);
        *out = made.release();
        return VC_OK;
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
}

// ---- Animations --------------------------------------------------------------------------

VC_APIEXPORT vc_animation *VC_APIENTRY vc_animation_new(void) { return new (std::nothrow) vc_animation; }
VC_APIEXPORT void VC_APIENTRY vc_animation_free(vc_animation *a) { delete a; }

VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_frame_count(const vc_animation *a) {
    return a ? uint32_t(a->animation.frames.size()) : 0;
}

VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_opens_at(const vc_animation *a) { return a ? a->opensAt : 0; }

VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_file_images(const vc_animation *a) {
    if (!a) return 0;
    return std::max(a->animation.imagesInFile, uint32_t(a->animation.frames.size()));
}

VC_APIEXPORT vc_picture *VC_APIENTRY vc_animation_frame(vc_animation *a, uint32_t i) {
    vc::Frame *f = frameAt(a, i);
    return f ? handle(f->picture) : nullptr;
}

VC_APIEXPORT const vc_picture *VC_APIENTRY vc_animation_frame_const(const vc_animation *a, uint32_t i) {
    const vc::Frame *f = frameAt(a, i);
    return f ? handle(f->picture) : nullptr;
}

VC_APIEXPORT vc_status VC_APIENTRY vc_animation_add_frame(vc_animation *a, const vc_picture *picture) {
    if (!a || !picture || !picture->picture.consistent()) return VC_E_ARGUMENT;
    if (a->animation.frames.size() >= vc::Limits{}.largestFrameCount) return VC_E_MEMORY;
    try {
        vc::Frame frame;
        frame.picture = picture->picture;
        a->animation.frames.push_back(std::move(frame));
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
    return VC_OK;
}

VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_delay(const vc_animation *a, uint32_t i) {
    const vc::Frame *f = frameAt(a, i);
    return f ? f->delay : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_frame_set_delay(vc_animation *a, uint32_t i, uint32_t hundredths) {
    if (vc::Frame *f = frameAt(a, i)) {
        f->delay = hundredths;
        f->delayExact = false;
    }
}
VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_delay_ms(const vc_animation *a, uint32_t i) {
    const vc::Frame *f = frameAt(a, i);
    return f ? frameDelayMs(*f) : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_frame_set_delay_ms(vc_animation *a, uint32_t i, uint32_t ms) {
    if (vc::Frame *f = frameAt(a, i)) {
        f->delayMs = ms;
        f->delay = uint32_t((uint64_t(ms) + 5) / 10);
        f->delayExact = true;
    }
}
VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_nominal_size(const vc_animation *a, uint32_t i) {
    const vc::Frame *f = frameAt(a, i);
    return f ? f->nominalSize : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_frame_set_nominal_size(vc_animation *a, uint32_t i, uint32_t size) {
    if (vc::Frame *f = frameAt(a, i)) f->nominalSize = size;
}
VC_APIEXPORT void VC_APIENTRY vc_frame_position(const vc_animation *a, uint32_t i, int32_t *left, int32_t *top) {
    const vc::Frame *f = frameAt(a, i);
    if (left) *left = f ? f->left : 0;
    if (top) *top = f ? f->top : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_frame_set_position(vc_animation *a, uint32_t i, int32_t left, int32_t top) {
    if (vc::Frame *f = frameAt(a, i)) {
        f->left = left;
        f->top = top;
    }
}
VC_APIEXPORT int VC_APIENTRY vc_frame_disposal(const vc_animation *a, uint32_t i) {
    const vc::Frame *f = frameAt(a, i);
    return f ? f->disposal : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_frame_set_disposal(vc_animation *a, uint32_t i, int disposal) {
    if (vc::Frame *f = frameAt(a, i); f && disposal >= 0 && disposal <= 7) f->disposal = uint8_t(disposal);
}
VC_APIEXPORT int VC_APIENTRY vc_frame_user_input(const vc_animation *a, uint32_t i) {
    const vc::Frame *f = frameAt(a, i);
    return f && f->userInput;
}
VC_APIEXPORT void VC_APIENTRY vc_frame_set_user_input(vc_animation *a, uint32_t i, int waits) {
    if (vc::Frame *f = frameAt(a, i)) f->userInput = waits != 0;
}
VC_APIEXPORT const char *VC_APIENTRY vc_frame_name(const vc_animation *a, uint32_t i) {
    return a && i < a->names.size() ? a->names[i].c_str() : "";
}

VC_APIEXPORT void VC_APIENTRY vc_animation_screen(const vc_animation *a, int32_t *width, int32_t *height) {
    if (width) *width = a ? a->animation.screenWidth : 0;
    if (height) *height = a ? a->animation.screenHeight : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_animation_set_screen(vc_animation *a, int32_t width, int32_t height) {
    if (!a) return;
    a->animation.screenWidth = std::max(width, 0);
    a->animation.screenHeight = std::max(height, 0);
}
VC_APIEXPORT void VC_APIENTRY vc_animation_loop(const vc_animation *a, int *repeat, uint32_t *loops) {
    if (repeat) *repeat = a && a->animation.repeat;
    if (loops) *loops = a ? a->animation.loopCount : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_animation_set_loop(vc_animation *a, int repeat, uint32_t loops) {
    if (!a) return;
    a->animation.repeat = repeat != 0;
    a->animation.loopCount = loops;
}
VC_APIEXPORT const char *VC_APIENTRY vc_animation_title(const vc_animation *a) {
    return a ? a->animation.title.c_str() : "";
}
VC_APIEXPORT const char *VC_APIENTRY vc_animation_author(const vc_animation *a) {
    return a ? a->animation.author.c_str() : "";
}
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_title(vc_animation *a, const char *title) {
    if (!a) return VC_E_ARGUMENT;
    a->animation.title = title ? title : "";
    return VC_OK;
}
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_author(vc_animation *a, const char *author) {
    if (!a) return VC_E_ARGUMENT;
    a->animation.author = author ? author : "";
    return VC_OK;
}
VC_APIEXPORT const char *VC_APIENTRY vc_animation_comment(const vc_animation *a, vc_comment_kind kind) {
    if (!a) return "";
    for (const vc::XcursorComment &c : a->comments)
        if (c.kind == uint32_t(kind)) return c.text.c_str();
    return "";
}
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_comment(vc_animation *a, vc_comment_kind kind, const char *text) {
    if (!a || kind < VC_COMMENT_COPYRIGHT || kind > VC_COMMENT_OTHER) return VC_E_ARGUMENT;
    const size_t length = text ? std::strlen(text) : 0;
    if (length > vc::kXcursorLargestComment) return VC_E_ARGUMENT;
    try {
        // The first of the kind keeps its place; the others go.
        auto &list = a->comments;
        auto first = std::find_if(list.begin(), list.end(), [kind](const auto &c) { return c.kind == uint32_t(kind); });
        if (first != list.end() && length) {
            first->text.assign(text, length);
            ++first;
        } else if (first == list.end() && length) {
            list.push_back(vc::XcursorComment{uint32_t(kind), std::string(text, length)});
            return VC_OK;
        }
        list.erase(std::remove_if(first, list.end(), [kind](const auto &c) { return c.kind == uint32_t(kind); }),
                   list.end());
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
    return VC_OK;
}
VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_default_rate(const vc_animation *a) {
    return a ? a->animation.defaultRate : 0;
}
VC_APIEXPORT void VC_APIENTRY vc_animation_set_default_rate(vc_animation *a, uint32_t jiffies) {
    if (a) a->animation.defaultRate = jiffies;
}
VC_APIEXPORT uint32_t VC_APIENTRY vc_animation_step_count(const vc_animation *a) {
    return a ? uint32_t(std::max(a->animation.sequence.size(), a->animation.rates.size())) : 0;
}
VC_APIEXPORT int VC_APIENTRY vc_animation_step(const vc_animation *a, uint32_t step, uint32_t *frame,
                                               uint32_t *jiffies) {
    if (!a || step >= vc_animation_step_count(a)) return 0;
    const vc::Animation &an = a->animation;
    if (frame) *frame = step < an.sequence.size() ? an.sequence[step] : step;
    if (jiffies) *jiffies = step < an.rates.size() ? an.rates[step] : an.defaultRate;
    return 1;
}
VC_APIEXPORT vc_status VC_APIENTRY vc_animation_set_steps(vc_animation *a, const uint32_t *frames,
                                                          const uint32_t *jiffies, uint32_t count) {
    if (!a || (count && (!frames || !jiffies))) return VC_E_ARGUMENT;
    try {
        a->animation.sequence.assign(frames, frames + count);
        a->animation.rates.assign(jiffies, jiffies + count);
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
    return VC_OK;
}

// ---- Icon and cursor sets ------------------------------------------------------------------

VC_APIEXPORT uint32_t VC_APIENTRY vc_frame_group(const vc_animation *a, uint32_t i) {
    const vc::Frame *f = frameAt(a, i);
    return !f ? 0 : f->group < 0 ? i : uint32_t(f->group);
}

VC_APIEXPORT void VC_APIENTRY vc_frame_set_group(vc_animation *a, uint32_t i, uint32_t group) {
    if (vc::Frame *f = frameAt(a, i)) f->group = group;
}

VC_APIEXPORT vc_picture *VC_APIENTRY vc_picture_resized(const vc_picture *picture, int32_t width, int32_t height) {
    constexpr int32_t kLargest = 65535;
    if (!picture || !picture->picture.consistent() || width < 1 || height < 1 || width > kLargest || height > kLargest)
        return nullptr;
    const vc::Picture &p = picture->picture;
    const vc::Limits limits;
    for (const uint64_t pixels : {uint64_t(p.width) * uint64_t(p.height), uint64_t(width) * uint64_t(height)})
        if (pixels > limits.largestPicture || 4 * pixels > limits.largestBlock) return nullptr;
    try {
        vc::BgraPixels from, to;
        from.width = p.width;
        from.height = p.height;
        vc::pictureToBgra(p, from.bytes);
        if (!vc::resampleBgra(from, width, height, to)) return nullptr;
        auto made = std::make_unique<vc_picture>();
        vc::Picture &q = made->picture;
        q.width = width;
        q.height = height;
        q.bitCount = 32;
        q.pixels.resize(size_t(q.rowBytes() * uint64_t(height)));
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(q.rowFromTop(y), to.bytes.data() + size_t(y) * size_t(width) * 4, size_t(width) * 4);
        q.xPelsPerMeter = p.xPelsPerMeter;
        q.yPelsPerMeter = p.yPelsPerMeter;
        if (p.hasHotspot) {
            // The centre of the hotspot's pixel, scaled, names the new pixel.
            const auto scale = [](int32_t at, int32_t from, int32_t to) {
                const int64_t v = (int64_t(2 * at + 1) * to) / (2 * int64_t(from));
                return int32_t(std::clamp<int64_t>(v, 0, to - 1));
            };
            q.hasHotspot = true;
            q.hotspotX = scale(p.hotspotX, p.width, width);
            q.hotspotY = scale(p.hotspotY, p.height, height);
        }
        return made.release();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// ---- Reading and writing -------------------------------------------------------------------

VC_APIEXPORT vc_status VC_APIENTRY vc_read_memory(const void *bytes, size_t size, vc_format format,
                                                  const vc_options *options, vc_animation **animation) {
    if (!bytes && size) return VC_E_ARGUMENT;
    return readInto(spanOf(bytes, size), nullptr, format, options, animation);
}

VC_APIEXPORT vc_status VC_APIENTRY vc_read_path(const char *path, vc_format format, const vc_options *options,
                                                vc_animation **animation) {
    if (!animation) return VC_E_ARGUMENT;
    *animation = nullptr;
    if (!path) return VC_E_ARGUMENT;
    std::vector<uint8_t> bytes;
    vc_status status = VC_OK;
    if (format == VC_FORMAT_UNKNOWN) format = vc_detect_path(path);
    if (format == VC_FORMAT_AVI) return readInto({}, path, format, options, animation);
    if (!readFile(path, bytes, status)) return status;
    return readInto(bytes, path, format, options, animation);
}

VC_APIEXPORT vc_status VC_APIENTRY vc_write_memory(const vc_animation *animation, vc_format format,
                                                   const vc_options *options, void **bytes, size_t *size) {
    if (!bytes || !size) return VC_E_ARGUMENT;
    *bytes = nullptr;
    *size = 0;
    std::vector<uint8_t> out;
    const vc_status status = writeCommon(animation, format, options, out, nullptr);
    if (status != VC_OK) return status;
    void *copy = std::malloc(std::max<size_t>(out.size(), 1));
    if (!copy) return VC_E_MEMORY;
    if (!out.empty()) std::memcpy(copy, out.data(), out.size());
    *bytes = copy;
    *size = out.size();
    return VC_OK;
}

VC_APIEXPORT vc_status VC_APIENTRY vc_write_path(const vc_animation *animation, vc_format format,
                                                 const vc_options *options, const char *path) {
    if (!path) return VC_E_ARGUMENT;
    if (format == VC_FORMAT_AVI) {
        std::vector<uint8_t> unused;
        return writeCommon(animation, format, options, unused, path);
    }
    std::vector<uint8_t> out;
    const vc_status status = writeCommon(animation, format, options, out, nullptr);
    if (status != VC_OK) return status;
    // Written beside the target and renamed over it, so a file that was
    // there stays whole when writing fails.
    const std::string temporary = std::string(path) + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) return VC_E_CREATE;
        if (!file.write(reinterpret_cast<const char *>(out.data()), std::streamsize(out.size())) || !file.flush()) {
            file.close();
            std::remove(temporary.c_str());
            return VC_E_WRITE;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        return VC_E_WRITE;
    }
    return VC_OK;
}

VC_APIEXPORT void VC_APIENTRY vc_free(void *bytes) { std::free(bytes); }

// ---- Playing -------------------------------------------------------------------------------

VC_APIEXPORT vc_status VC_APIENTRY vc_player_new(const vc_animation *animation, vc_player **player) {
    if (!player) return VC_E_ARGUMENT;
    *player = nullptr;
    if (!animation || animation->animation.frames.empty()) return VC_E_ARGUMENT;
    const vc::Animation &a = animation->animation;
    const size_t n = std::min<size_t>(a.frames.size(), size_t(vc::kGifMaxFrames));
    for (size_t i = 0; i < n; ++i)
        if (!a.frames[i].picture.consistent()) return VC_E_ARGUMENT;
    try {
        auto made = std::make_unique<vc_player>();
        made->animation = &a;
        auto record = std::make_unique<vc::GifAnimRecord>();  // zero-filled
        playerRecord(a, *record, *made);
        // The canvas and one frame of the output size, 4 bytes a pixel.
        const vc::Limits limits;
        for (const uint64_t pixels : {uint64_t(record->screenWidth) * record->screenHeight,
                                      uint64_t(record->outputWidth) * record->outputHeight})
            if (pixels > limits.largestPicture || 4 * pixels > limits.largestBlock) return VC_E_MEMORY;
        vc::PlaybackReel reel = vc::playbackReel(*record);
        made->background = reel.background;
        playerTables(a, n, *made);
        made->transparent = transparentColor(a, *made);
        made->canvas.resize(reel.screenWidth, reel.screenHeight, reel.background);
        // The timer of the NT line: a delay's hundredths are its ticks.
        made->play = std::make_unique<vc::PlaybackModel>(std::move(reel), true);
        made->play->start(*made);
        showCanvas(made->canvas, made->shown.picture);
        *player = made.release();
        return VC_OK;
    } catch (const std::bad_alloc &) {
        return VC_E_MEMORY;
    }
}

VC_APIEXPORT void VC_APIENTRY vc_player_free(vc_player *player) { delete player; }

VC_APIEXPORT int VC_APIENTRY vc_player_step(vc_player *player) {
    if (!player) return 0;
    vc::PlaybackModel &play = *player->play;
    player->painted = false;
    try {
        // Each pass either counts a tick down or shows a frame (or
        // finishes), and a delay is at most 65535 ticks, so this ends.
        while (!player->painted) {
            if (play.idle()) {
                if (play.finished()) return 0;
                const uint64_t before = play.shown();
                (void)play.userInput();  // a frame waiting for the user: a click
                if (play.shown() == before && !player->painted) return 0;
            } else {
                play.tick();
            }
        }
        showCanvas(player->canvas, player->shown.picture);
    } catch (const std::bad_alloc &) {
        // Memory refused for a frame: the window closes as when the
        // editor has no picture for it.
        play.close();
        return 0;
    }
    return 1;
}

VC_APIEXPORT const vc_picture *VC_APIENTRY vc_player_canvas(const vc_player *player) {
    return player ? &player->shown : nullptr;
}

VC_APIEXPORT int32_t VC_APIENTRY vc_player_frame(const vc_player *player) {
    return player ? player->play->current() : -1;
}

VC_APIEXPORT uint32_t VC_APIENTRY vc_player_loop(const vc_player *player) {
    return player ? player->play->loopsDone() : 0;
}

namespace {
const vc::PlaybackFrame *shownFrame(const vc_player *player) {
    if (!player) return nullptr;
    const int32_t i = player->play->current();
    const auto &frames = player->play->reel().frames;
    return i >= 0 && size_t(i) < frames.size() ? &frames[size_t(i)] : nullptr;
}
}  // namespace

VC_APIEXPORT uint32_t VC_APIENTRY vc_player_ticks(const vc_player *player) {
    const vc::PlaybackFrame *f = shownFrame(player);
    return f && f->delay ? player->play->waitCounter() + 1 : 0;
}

VC_APIEXPORT int VC_APIENTRY vc_player_waits(const vc_player *player) {
    const vc::PlaybackFrame *f = shownFrame(player);
    return f && !f->delay && f->userInput;
}

VC_APIEXPORT int VC_APIENTRY vc_player_finished(const vc_player *player) {
    return player && player->play->finished() && player->play->idle();
}

}  // extern "C"
