#include "host/editor.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "common/bytes.h"
#include "host/quantize.h"

namespace host {

namespace {
Editor *gCurrent = nullptr;

uint16_t depthForColors(uint32_t colors) { return colors < 16 ? 1 : colors == 16 ? 4 : 8; }
}  // namespace

Editor::Editor(EditorOptions options) : options_(std::move(options)) {}

Editor::~Editor() {
    if (document) Library::memFree(document);
    if (gCurrent == this) gCurrent = nullptr;
}

HostCallback Editor::callback() { return &Editor::trampoline; }
void Editor::makeCurrent() { gCurrent = this; }

intptr_t VC_CALLBACK Editor::trampoline(int32_t command, intptr_t param, intptr_t value) {
    if (!gCurrent) return 0;
    intptr_t r = gCurrent->handle(command, param, value);
    if (gCurrent->options_.verbose)
        std::fprintf(stderr, "callback %d (%#llx, %lld) -> %lld\n", command, (unsigned long long)param,
                     (long long)value, (long long)r);
    return r;
}

void Editor::addFrame(Image image) {
    frames.push_back(Frame{std::move(image), 0, {}, 0});
    current = int(frames.size()) - 1;
}

void Editor::settleTransparency(bool keyColour) {
    if (transparent)
        for (Frame &f : frames)
            if (f.image.mask.empty()) maskFromColor(f.image, *transparent);
    if (!keyColour || transparent) return;
    std::vector<bool> shown(size_t(1) << 24);
    bool anyMasked = false;
    for (const Frame &f : frames)
        for (int32_t y = 0; y < f.image.height; ++y)
            for (int32_t x = 0; x < f.image.width; ++x) {
                const bool masked = f.image.masked(x, y);
                anyMasked = anyMasked || masked;
                if (!masked) shown[f.image.pixel(x, y)] = true;
            }
    if (!anyMasked) return;
    Rgb key = rgb(255, 0, 255);
    for (Rgb c = 0; shown[key] && c <= 0xFFFFFF; ++c) key = c;
    for (Frame &f : frames) {
        if (f.image.mask.empty()) continue;
        // At 24 bits the key needs no room in a colour table.
        if (f.image.bitCount != 24) f.image = withDepth(f.image, 24, false);
        for (int32_t y = 0; y < f.image.height; ++y)
            for (int32_t x = 0; x < f.image.width; ++x)
                if (f.image.masked(x, y)) {
                    uint8_t *p = f.image.bits.data() + size_t(f.image.height - 1 - y) * f.image.rowBytes() + size_t(x) * 3;
                    p[0] = uint8_t(key), p[1] = uint8_t(key >> 8), p[2] = uint8_t(key >> 16);
                }
    }
    transparent = key;
    paletteCache_ = {};
}

int Editor::frameIndex(intptr_t value) const {
    int32_t v = int32_t(value);
    if (v == -1 || v == 65535) return current;
    return v >= 0 && v < int(frames.size()) ? v : -1;
}

Image Editor::frameAt(int index, int32_t width, int32_t height, uint16_t bitCount, bool cursorPalette,
                     bool forIcon) const {
    Image img = scaled(frames[size_t(index)].image, width, height);
    if (img.mask.empty() && transparent) maskFromColor(img, *transparent);
    if (forIcon && !img.mask.empty()) {
        // An icon holds what its mask hides as black (a colour there is
        // XORed onto the screen); made so before the colours are reduced,
        // black is one of them.
        if (img.bitCount <= 8) img = withDepth(img, 24, false);
        blackUnderMask(img);
    }
    std::vector<Rgb> bw = fixedPalette(2);
    if (img.bitCount != bitCount || cursorPalette) img = withDepth(img, bitCount, options_.dither, cursorPalette ? &bw : nullptr);
    return img;
}

const std::vector<Rgb> &Editor::documentPalette(int32_t width, int32_t height, uint16_t bitCount) {
    PaletteCache &c = paletteCache_;
    if (c.width == width && c.height == height && c.bitCount == bitCount && c.frames == frames.size())
        return c.colors;
    c = PaletteCache{width, height, bitCount, frames.size(), {}};
    const size_t maxColors = size_t(1) << bitCount;
    // Frames that already share a palette that fits keep it as it is.
    bool shared = true;
    for (const Frame &f : frames)
        shared = shared && f.image.bitCount <= bitCount && f.image.palette == frames[0].image.palette;
    if (shared && !frames[0].image.palette.empty()) {
        c.colors = frames[0].image.palette;
        return c.colors;
    }
    std::vector<Rgb> pixels;
    for (size_t i = 0; i < frames.size(); ++i) {
        Image img = frameAt(int(i), width, height, 24, false);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) pixels.push_back(img.pixel(x, y));
    }
    std::vector<Rgb> distinct;
    std::set<Rgb> seen;
    bool fits = true;
    for (Rgb p : pixels) {
        if (!seen.insert(p).second) continue;
        if (distinct.size() == maxColors) {
            fits = false;
            break;
        }
        distinct.push_back(p);
    }
    if (fits) {
        c.colors = distinct;
    } else {
        std::vector<uint8_t> indices;
        quantize(pixels, width, height * int32_t(frames.size()), int(maxColors), options_.dither, c.colors, indices);
    }
    return c.colors;
}

void *Editor::currentFrameBlock(uint16_t bitCount) {
    if (current < 0) return nullptr;
    const Image &src = frames[size_t(current)].image;
    Image img = src.bitCount == bitCount ? src : withDepth(src, bitCount, options_.dither);
    // With a full colour table: a writer fills this block with every other
    // frame in turn (command 3), each with a full table.
    if (img.bitCount <= 8) img.palette.resize(size_t(1) << img.bitCount, 0);
    std::vector<uint8_t> dib = toPackedDib(img);
    void *block = Library::memAlloc(dib.size());
    if (!block) return nullptr;
    if (void *p = Library::memLock(block)) {
        std::memcpy(p, dib.data(), dib.size());
        Library::memUnlock(block);
    }
    return block;
}

// One function per command; the switch only routes.
intptr_t Editor::handle(int32_t command, intptr_t param, intptr_t value) {
    switch (command) {
    case HOST_QUERY: return query(param, value);
    case HOST_ADD_FRAME: return takeFrame(param, value);
    case HOST_ADD_ICON: return takeIcon(param, value);
    case HOST_GET_FRAME: return serveFrame(param, value);
    case HOST_GET_FRAME_DATA: {
        // What the editor knows of the frame: its number, size and depth
        // as four 32-bit values, the rest zero.
        if (!param) return 0;
        std::memset(reinterpret_cast<void *>(param), 0, 128);
        const int i = frameIndex(value);
        if (i < 0) return 0;
        const Image &img = frames[size_t(i)].image;
        const uint32_t info[4] = {uint32_t(i), uint32_t(img.width), uint32_t(img.height), img.bitCount};
        std::memcpy(reinterpret_cast<void *>(param), info, sizeof info);
        return 1;
    }
    case HOST_FILE_DIALOG:
        if (options_.soundFile.empty() || !param) return 0;
        std::snprintf(reinterpret_cast<char *>(param), 80, "%s", options_.soundFile.c_str());
        return 1;
    case HOST_GET_PALETTE:
        // The headless editor has no logical palette.
        if (param) *reinterpret_cast<void **>(param) = nullptr;
        return 0;
    case HOST_GET_ICON: return serveIcon(param, value);
    case HOST_GET_DOCUMENT:
        if (param) *reinterpret_cast<void **>(param) = document;
        return document != nullptr;
    case HOST_NEW_DOCUMENT: return takeDocument(param);
    case HOST_GET_HOTSPOT: {
        int i = frameIndex(value);
        if (!param) return 0;
        *reinterpret_cast<uint32_t *>(param) = i >= 0 ? frames[size_t(i)].hotspot : 0;
        return i >= 0;
    }
    case HOST_SET_HOTSPOT: {
        int i = frameIndex(value);
        if (i < 0) return 0;
        frames[size_t(i)].hotspot = uint32_t(param);
        return 1;
    }
    case HOST_ADD_MENU_ITEM: return takeMenuItem(param);
    case HOST_GET_FRAME_DC:
        // No device contexts without a window system.
        if (param) *reinterpret_cast<void **>(param) = nullptr;
        return 0;
    case HOST_CHANGE_FORMAT: return changeFormat(param);
    case HOST_SET_TRANSPARENT: {
        if (!param) return 0;
        const auto *q = reinterpret_cast<const uint8_t *>(param);
        transparent = rgb(q[2], q[1], q[0]);
        return 1;
    }
    case HOST_PICK_BACKGROUND: return -1;  // nothing chosen
    case HOST_EDIT_TRANSPARENT: return 0;
    case HOST_NOTE_FILE: return noteFile(param, value);
    default: return 0;
    }
}

intptr_t Editor::query(intptr_t param, intptr_t value) const {
    switch (value) {
    case HOST_QUERY_COUNT: return intptr_t(frames.size());
    case HOST_QUERY_SIZE: {
        if (current < 0 || !param) return 0;
        auto *wh = reinterpret_cast<uint16_t *>(param);
        wh[0] = uint16_t(frames[size_t(current)].image.width);
        wh[1] = uint16_t(frames[size_t(current)].image.height);
        return 1;
    }
    case HOST_QUERY_COLORS: return colorCount();
    case HOST_QUERY_SCREEN_COLOR:
        if (!transparent || !param) return 0;
        // A Windows colour value: red in the low byte.
        *reinterpret_cast<uint32_t *>(param) =
            ((*transparent >> 16) & 255) | (*transparent & 0xFF00) | ((*transparent & 255) << 16);
        return 1;
    case HOST_QUERY_DITHER: return options_.dither ? 1 : 0;
    default: return 0;
    }
}

uint16_t Editor::colorCount() const {
    if (colorSetting_) return colorSetting_;
    if (current < 0) return 256;
    uint16_t bits = frames[size_t(current)].image.bitCount;
    return bits == 1 ? 2 : bits == 4 ? 16 : 256;
}

bool Editor::take(const uint8_t *data, intptr_t value, int heightFactor, bool stretch) {
    std::string why;
    auto img = fromPackedDib(data, SIZE_MAX / 2, heightFactor, &why);
    if (!img) {
        // The frame number rides in bits 8 to 15 of a sequence's flags.
        // A core header keeps its fields in 16 bits.
        const bool core = vc::loadLe32(data) == 12;
        const int64_t width = core ? vc::loadLe16(data + 4) : int32_t(vc::loadLe32(data + 4));
        const int64_t height = (core ? vc::loadLe16(data + 6) : int32_t(vc::loadLe32(data + 8))) / heightFactor;
        const uint16_t bits = vc::loadLe16(data + (core ? 10 : 14));
        refusals.push_back("image " + std::to_string((value >> 8) & 0xFF) + " (" + std::to_string(width) + "x" +
                           std::to_string(height) + ", " + std::to_string(bits) + " bits) refused: " + why);
        return false;
    }
    if (stretch && current >= 0) {
        const Image &cur = frames[size_t(current)].image;
        *img = scaled(*img, cur.width, cur.height);
    }
    addFrame(std::move(*img));
    return true;
}

intptr_t Editor::takeFrame(intptr_t param, intptr_t value) {
    if (options_.refuseFrames || !param) return 0;
    return take(reinterpret_cast<const uint8_t *>(param), value, 1, (value & HOST_FRAME_STRETCH) != 0);
}

intptr_t Editor::takeIcon(intptr_t param, intptr_t value) {
    if (options_.refuseFrames || !param) return 0;
    return take(reinterpret_cast<const uint8_t *>(param), value, 2, false);
}

intptr_t Editor::serveFrame(intptr_t param, intptr_t value) {
    int i = frameIndex(value);
    if (i < 0 || !param) return 0;
    auto *h = reinterpret_cast<ConvBitmapInfoHeader *>(param);
    if (h->biWidth <= 0 || h->biHeight <= 0) return 0;
    const uint16_t bits = h->biBitCount ? h->biBitCount : 24;
    Image img = frames.size() > 1 && bits <= 8
                    ? withDepth(frameAt(i, h->biWidth, h->biHeight, 24, false), bits, options_.dither,
                                &documentPalette(h->biWidth, h->biHeight, bits))
                    : frameAt(i, h->biWidth, h->biHeight, bits, false);
    std::vector<uint8_t> dib = toPackedDib(img);
    // The library sized the block for the frame at this size and depth
    // with a full colour table.
    ConvBitmapInfoHeader out;
    std::memcpy(&out, dib.data(), sizeof out);
    uint32_t tableEntries = img.bitCount <= 8 ? (1u << img.bitCount) : 0;
    auto *dst = reinterpret_cast<uint8_t *>(param);
    out.biClrUsed = 0;
    std::memcpy(dst, &out, sizeof out);
    std::memset(dst + 40, 0, 4 * tableEntries);
    std::memcpy(dst + 40, dib.data() + 40, 4 * img.palette.size());
    std::memcpy(dst + 40 + 4 * tableEntries, img.bits.data(), img.bits.size());
    return 1;
}

intptr_t Editor::serveIcon(intptr_t param, intptr_t value) const {
    int i = frameIndex(value);
    if (i < 0 || !param) return 0;
    auto *size = reinterpret_cast<uint32_t *>(param);
    int32_t w = int32_t(*size & 0xFFFF), h = int32_t(*size >> 16);
    if (w <= 0 || h <= 0) return 0;
    iconWidth = w, iconHeight = h;
    Image img = frameAt(i, w, h, depthForColors(colorCount()), colorSetting_ == 3, true);
    // Every frame at one size and depth has one byte size: a writer sizes
    // its chunks from the first. A full colour table makes it so however
    // few colours a frame has.
    if (img.bitCount <= 8) img.palette.resize(size_t(1) << img.bitCount, 0);
    blackUnderMask(img);
    std::vector<uint8_t> data = toPackedDib(img, true);
    void *block = Library::memAlloc(data.size());
    if (!block) return 0;
    if (void *p = Library::memLock(block)) {
        std::memcpy(p, data.data(), data.size());
        Library::memUnlock(block);
    }
    *size = uint32_t(data.size());
    return reinterpret_cast<intptr_t>(block);
}

intptr_t Editor::takeDocument(intptr_t param) {
    if (options_.refuseDocuments || !param) return 0;
    if (document && document != reinterpret_cast<void *>(param)) Library::memFree(document);
    document = reinterpret_cast<void *>(param);
    menu.clear();
    return 1;
}

intptr_t Editor::takeMenuItem(intptr_t param) {
    if (!param) return 0;
    const auto *item = reinterpret_cast<const ConvMenuItem *>(param);
    menu.push_back(MenuItem{item->slot, item->position, item->commandId, item->flags,
                            item->commandId && item->text ? item->text : ""});
    return 1;
}

namespace {
// Without scaling a picture keeps its pixels at the top left of a new
// white canvas of the given size.
Image onCanvas(const Image &img, int32_t width, int32_t height) {
    Image canvas = withDepth(img, 24, false);
    Image out;
    out.width = width;
    out.height = height;
    out.bitCount = 24;
    out.bits.assign(size_t(out.rowBytes()) * out.height, 0xFF);
    for (int32_t y = 0; y < out.height && y < canvas.height; ++y)
        for (int32_t x = 0; x < out.width && x < canvas.width; ++x) {
            Rgb c = canvas.pixel(x, y);
            uint8_t *p = out.bits.data() + size_t(out.height - 1 - y) * out.rowBytes() + size_t(x) * 3;
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    return out;
}
}  // namespace

intptr_t Editor::changeFormat(intptr_t param) {
    if (!param) return 0;
    const auto *change = reinterpret_cast<const ConvFormatChange *>(param);
    if (change->width == 0 || change->height == 0 || change->width > 1024 || change->height > 1024) return 0;
    const int32_t width = int32_t(change->width), height = int32_t(change->height);
    uint16_t bits = depthForColors(change->colors);
    std::vector<Rgb> bw = fixedPalette(2);
    for (Frame &f : frames) {
        Image img = change->scale ? scaled(f.image, width, height) : f.image;
        if (!change->scale && (img.width != width || img.height != height)) img = onCanvas(img, width, height);
        f.image = withDepth(img, bits, options_.dither, change->colors == 3 ? &bw : nullptr);
    }
    colorSetting_ = uint16_t(change->colors);
    ++formatChanges;
    paletteCache_ = {};
    return 1;
}

intptr_t Editor::noteFile(intptr_t param, intptr_t value) {
    int i = frameIndex(value & 0xFF);
    if (i < 0 || !param) return 0;
    frames[size_t(i)].noteFile = reinterpret_cast<const char *>(param);
    frames[size_t(i)].noteFormat = int((value >> 8) & 0xFF);
    return 1;
}

}  // namespace host
