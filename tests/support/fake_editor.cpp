#include "support/fake_editor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/memory_shim.h"

namespace vctest {

namespace {
// Nothing the library hands over legitimately comes near this; a header
// that claims more is treated as nonsense rather than read.
constexpr uint64_t kSaneImageBytes = 64u << 20;

uint64_t colorEntries(const ConvBitmapInfoHeader &h) {
    return h.biClrUsed ? h.biClrUsed : h.biBitCount <= 8 ? uint64_t(1) << h.biBitCount : 0;
}

ConvBitmapInfoHeader headerOf(const std::vector<uint8_t> &bytes) {
    ConvBitmapInfoHeader h{};
    if (bytes.size() >= sizeof h) std::memcpy(&h, bytes.data(), sizeof h);
    return h;
}

// Byte sizes computed independently of the library, from a header the
// caller vouches for; 0 for a header that makes no sense. Icon data holds
// colour rows and mask rows for half the header's height.
size_t imageBytes(const ConvBitmapInfoHeader &h, bool icon) {
    static const uint16_t depths[] = {1, 4, 8, 16, 24, 32};
    if (h.biSize < 40 || h.biSize > 1024 || h.biWidth <= 0 || h.biWidth > 65535 || h.biHeight == 0 ||
        h.biHeight < (icon ? 2 : -65535) || h.biHeight > 65535 || h.biClrUsed > 256 ||
        std::find(std::begin(depths), std::end(depths), h.biBitCount) == std::end(depths))
        return 0;
    auto rowBytes = [&](uint32_t bits) { return (uint64_t(h.biWidth) * bits + 31) / 32 * 4; };
    const uint64_t rows = icon ? uint64_t(h.biHeight) / 2 : uint64_t(std::abs(int64_t(h.biHeight)));
    const uint64_t n = h.biSize + 4 * colorEntries(h) + (rowBytes(h.biBitCount) + (icon ? rowBytes(1) : 0)) * rows;
    return n <= kSaneImageBytes ? size_t(n) : 0;
}
}  // namespace

ConvBitmapInfoHeader dibHeader(int32_t width, int32_t height, uint16_t bits, uint32_t clrUsed) {
    return ConvBitmapInfoHeader{40, width, height, 1, bits, 0, 0, 0, 0, clrUsed, 0};
}

std::vector<uint8_t> makeDib(int32_t width, int32_t height, uint16_t bits, uint32_t clrUsed) {
    const ConvBitmapInfoHeader h = dibHeader(width, height, bits, clrUsed);
    std::vector<uint8_t> out(imageBytes(h, false));
    if (out.empty()) return out;
    std::memcpy(out.data(), &h, sizeof h);
    const uint64_t colors = colorEntries(h);
    for (uint64_t i = 0; i < colors; ++i) std::memset(&out[40 + 4 * i], int(colors > 1 ? i * 255 / (colors - 1) : 0), 3);
    return out;
}

std::vector<uint8_t> iconFromDib(const std::vector<uint8_t> &dib) {
    ConvBitmapInfoHeader h = headerOf(dib);
    if (h.biHeight <= 0) return {};
    h.biHeight *= 2;
    const size_t size = imageBytes(h, true);
    if (!size || dib.size() > size) return {};
    std::vector<uint8_t> out(size);
    std::memcpy(out.data(), dib.data(), dib.size());  // the mask stays zero: all opaque
    std::memcpy(out.data(), &h, sizeof h);
    return out;
}

FakeEditor *FakeEditor::current_ = nullptr;

FakeEditor::FakeEditor() : previous_(current_) { current_ = this; }

FakeEditor::~FakeEditor() {
    for (void *doc : documents) mem::release(doc);
    current_ = previous_;
}

HostCallback FakeEditor::callback() { return &FakeEditor::trampoline; }

intptr_t VC_CALLBACK FakeEditor::trampoline(int32_t command, intptr_t param, intptr_t value) {
    if (!current_) return 0;
    intptr_t r = current_->dispatch(command, param, value);
    current_->calls.push_back(CallRecord{command, param, value, r});
    return r;
}

std::vector<int32_t> FakeEditor::commands() const {
    std::vector<int32_t> out;
    for (const auto &c : calls) out.push_back(c.command);
    return out;
}

size_t FakeEditor::count(int32_t command) const {
    return size_t(std::count_if(calls.begin(), calls.end(), [&](const CallRecord &c) { return c.command == command; }));
}

intptr_t FakeEditor::resolve(intptr_t index) { return index == -1 || index == 65535 ? 0 : index; }

HeldImage *FakeEditor::imageAt(intptr_t index) {
    index = resolve(index);
    return index >= 0 && size_t(index) < images.size() ? &images[size_t(index)] : nullptr;
}

intptr_t FakeEditor::query(intptr_t param, intptr_t value) {
    if (auto it = fixedQuery_.find(int32_t(value)); it != fixedQuery_.end()) return it->second;
    switch (value) {
    case HOST_QUERY_COUNT: return intptr_t(images.size());
    case HOST_QUERY_COLORS: return colorSetting;
    case HOST_QUERY_SIZE:
        if (!hasImage || !param) return 0;
        reinterpret_cast<uint16_t *>(param)[0] = imageWidth, reinterpret_cast<uint16_t *>(param)[1] = imageHeight;
        return 1;
    case HOST_QUERY_SCREEN_COLOR:
        if (screenColor && param) *reinterpret_cast<uint32_t *>(param) = *screenColor;
        return screenColor && param;
    case HOST_QUERY_DITHER: return dither;
    default: return 0;
    }
}

intptr_t FakeEditor::dispatch(int32_t command, intptr_t param, intptr_t value) {
    if (hook)
        if (auto r = hook(command, param, value)) return *r;
    if (command != HOST_QUERY)
        if (auto it = fixed_.find(command); it != fixed_.end()) return it->second;
    switch (command) {
    case HOST_QUERY: return query(param, value);
    case HOST_ADD_FRAME:
    case HOST_ADD_ICON: {
        if (!param) return 0;
        ConvBitmapInfoHeader h;
        std::memcpy(&h, reinterpret_cast<const void *>(param), sizeof h);
        const bool icon = command == HOST_ADD_ICON;
        const size_t size = imageBytes(h, icon);
        const auto *p = reinterpret_cast<const uint8_t *>(param);
        // A header the editor cannot make sense of: keep it for the test
        // to look at, but do not take the image.
        images.push_back(HeldImage{std::vector<uint8_t>(p, p + (size ? size : sizeof h)), icon, value});
        return size ? 1 : 0;
    }
    case HOST_GET_FRAME: {
        HeldImage *img = imageAt(value);
        if (!param || !img) return 0;
        auto *dst = reinterpret_cast<uint8_t *>(param);
        ConvBitmapInfoHeader want;
        std::memcpy(&want, dst, sizeof want);
        std::vector<uint8_t> src = img->bytes;
        if (img->icon && src.size() >= 40) {
            ConvBitmapInfoHeader h = headerOf(src);
            h.biHeight /= 2;
            std::memcpy(src.data(), &h, sizeof h);
        }
        // Never write past what the library's own header says its block holds.
        const size_t room = imageBytes(want, false);
        std::memcpy(dst, src.data(), std::min(room ? room : sizeof want, src.size()));
        return 1;
    }
    case HOST_GET_FRAME_DATA:  // 128 bytes, all zero
        if (param) std::memset(reinterpret_cast<void *>(param), 0, 128);
        return param != 0;
    case HOST_FILE_DIALOG:  // an 80-byte buffer
        if (param && fileDialogAnswer) std::snprintf(reinterpret_cast<char *>(param), 80, "%s", fileDialogAnswer->c_str());
        return param && fileDialogAnswer;
    case HOST_GET_PALETTE:
        if (param) *reinterpret_cast<void **>(param) = palette;
        return palette != nullptr;
    case HOST_GET_ICON: {
        if (!param) return 0;
        auto *size = reinterpret_cast<uint32_t *>(param);
        iconRequests.push_back(IconRequest{value, uint16_t(*size & 0xFFFF), uint16_t(*size >> 16)});
        const HeldImage *img = imageAt(value);
        const std::vector<uint8_t> data = !img ? std::vector<uint8_t>() : img->icon ? img->bytes : iconFromDib(img->bytes);
        void *block = data.empty() ? nullptr : mem::alloc(data.size(), false);
        if (!block) return 0;
        std::memcpy(mem::lock(block), data.data(), data.size());
        mem::unlock(block);
        *size = uint32_t(data.size()) + iconSizeExtra;
        return reinterpret_cast<intptr_t>(block);
    }
    case HOST_GET_DOCUMENT:
        if (param) *reinterpret_cast<void **>(param) = currentDocument;
        return currentDocument != nullptr;
    case HOST_NEW_DOCUMENT:
        if (param) documents.push_back(currentDocument = reinterpret_cast<void *>(param));
        return param != 0;
    case HOST_GET_HOTSPOT:
        if (param) *reinterpret_cast<uint32_t *>(param) = hotspots[resolve(value)];
        return param != 0;
    case HOST_SET_HOTSPOT:
        hotspots[resolve(value)] = uint32_t(param);
        return 1;
    case HOST_ADD_MENU_ITEM: {
        if (!param) return 0;
        const auto *item = reinterpret_cast<const ConvMenuItem *>(param);
        menuItems.push_back(MenuItemCopy{item->slot, item->position, item->commandId, item->flags,
                                         item->text ? std::string(item->text) : std::string(), value});
        return 1;
    }
    case HOST_CHANGE_FORMAT:
        if (param) formatChanges.push_back(*reinterpret_cast<const ConvFormatChange *>(param));
        return param != 0;
    case HOST_SET_TRANSPARENT:
        if (param) std::memcpy(transparents.emplace_back(TransparentCopy{{}, value}).entry, reinterpret_cast<const void *>(param), 4);
        return param != 0;
    case HOST_PICK_BACKGROUND: return backgroundAnswer;
    case HOST_NOTE_FILE:
        notes.push_back(NoteCopy{param ? std::string(reinterpret_cast<const char *>(param)) : std::string(), value});
        return 1;
    default: return 0;  // 15 (no frame DC), 20, and anything unknown
    }
}

}  // namespace vctest
