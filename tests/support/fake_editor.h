// A scriptable stand-in for the Velmora editor: the HostCallback side of
// the plug-in boundary. It records every call, keeps what the library hands
// over (copied out at once, since the library owns whatever it passes by
// pointer), serves frames and icons that a test gives it, and takes
// ownership of accepted animation documents, freeing them when it goes.
//
// HostCallback is a plain function pointer, so calls go through a static
// trampoline to the editor made last (one editor at a time).
//
// Portable: compiled natively and into the Windows test program.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "velmconv/velmconv.h"

namespace vctest {

struct CallRecord {
    int32_t command;
    intptr_t param, value, result;
};

// An image the editor holds: a packed DIB (frames) or icon image data
// (header height doubled, colour rows then mask rows).
struct HeldImage {
    std::vector<uint8_t> bytes;
    bool icon = false;
    intptr_t flags = 0;  // flag word it came with (commands 2 and 9)
};

struct MenuItemCopy {
    int16_t slot;
    uint32_t position, commandId, flags;
    std::string text;
    intptr_t value;
};

struct NoteCopy {
    std::string fileName;
    intptr_t value;
};

struct TransparentCopy {
    uint8_t entry[4];  // blue, green, red, reserved
    intptr_t value;
};

struct IconRequest {
    intptr_t index;
    uint16_t width, height;
};

// The 40-byte header of an uncompressed one-plane DIB of this geometry.
ConvBitmapInfoHeader dibHeader(int32_t width, int32_t height, uint16_t bits, uint32_t clrUsed = 0);
// A packed DIB of it: zeroed pixels, grey-ramp colour table.
std::vector<uint8_t> makeDib(int32_t width, int32_t height, uint16_t bits, uint32_t clrUsed = 0);
// The icon image data of a packed DIB: doubled height, all-zero mask.
std::vector<uint8_t> iconFromDib(const std::vector<uint8_t> &dib);

class FakeEditor {
public:
    FakeEditor();
    ~FakeEditor();
    FakeEditor(const FakeEditor &) = delete;
    FakeEditor &operator=(const FakeEditor &) = delete;

    // The callback to hand to the exports; it reaches the current editor.
    static HostCallback callback();

    // ---- Scripting -------------------------------------------------------
    // A fixed result for a command, with none of the default behaviour
    // (refuse(11) makes the library keep and free its document).
    void answer(int32_t command, intptr_t result) { fixed_[command] = result; }
    void refuse(int32_t command) { answer(command, 0); }
    // A fixed result for command 0 with that value (HOST_QUERY_COUNT ...).
    void answerQuery(int32_t value, intptr_t result) { fixedQuery_[value] = result; }
    // Runs before everything else; a value it returns is the answer.
    std::function<std::optional<intptr_t>(int32_t command, intptr_t param, intptr_t value)> hook;

    // State the editor reports.
    bool hasImage = true;  // query 4 fills width/height
    uint16_t imageWidth = 32, imageHeight = 32;
    intptr_t colorSetting = 16;  // query 3
    std::optional<uint32_t> screenColor;  // query 5
    intptr_t dither = 0;  // query 6
    void *palette = nullptr;  // command 6: 256 entries of red, green, blue, flags
    void *currentDocument = nullptr;  // command 10 (not owned unless taken)
    uint32_t iconSizeExtra = 0;       // added to the size command 8 states for its block
    std::optional<std::string> fileDialogAnswer;  // command 5
    intptr_t backgroundAnswer = 256;  // command 19: nothing chosen

    // Images the editor holds: what the library handed over (commands 2
    // and 9) after what a test gave it. Commands 3 and 8 serve from here.
    void addFrame(std::vector<uint8_t> dib) { images.push_back(HeldImage{std::move(dib), false, 0}); }
    void addIcon(std::vector<uint8_t> data) { images.push_back(HeldImage{std::move(data), true, 0}); }

    // ---- What happened -------------------------------------------------------
    std::vector<CallRecord> calls;
    std::vector<HeldImage> images;
    std::map<intptr_t, uint32_t> hotspots;  // by image index
    std::vector<TransparentCopy> transparents;
    std::vector<MenuItemCopy> menuItems;
    std::vector<NoteCopy> notes;
    std::vector<ConvFormatChange> formatChanges;
    std::vector<IconRequest> iconRequests;
    std::vector<void *> documents;  // accepted through command 11; freed at teardown

    std::vector<int32_t> commands() const;
    size_t count(int32_t command) const;

private:
    static intptr_t VC_CALLBACK trampoline(int32_t command, intptr_t param, intptr_t value);
    intptr_t dispatch(int32_t command, intptr_t param, intptr_t value);
    intptr_t query(intptr_t param, intptr_t value);
    static intptr_t resolve(intptr_t index);  // -1 and 65535 name the current image, image 0
    HeldImage *imageAt(intptr_t index);

    std::map<int32_t, intptr_t> fixed_, fixedQuery_;
    FakeEditor *previous_;
    static FakeEditor *current_;
};

}  // namespace vctest
