// The reference host's editor: keeps what the library hands over (frames,
// hotspots, transparent colour, the animation document, menu items, file
// notes) and answers the library's requests from it, the way the Velmora
// editor answers its HostCallback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/image.h"
#include "host/library.h"
#include "velmconv/velmconv.h"

namespace host {

struct Frame {
    Image image;
    uint32_t hotspot = 0;  // x low 16 bits, y high 16 bits
    std::string noteFile;  // command 21
    int noteFormat = 0;
};

struct MenuItem {
    int16_t slot;
    uint32_t position, commandId, flags;
    std::string text;
};

struct EditorOptions {
    bool dither = false;           // the dithering preference (query 6)
    bool refuseDocuments = false;  // answer 0 to command 11
    bool refuseFrames = false;     // answer 0 to commands 2 and 9
    std::string soundFile;         // what the file dialog (command 5) picks
    bool verbose = false;          // print every callback to stderr
};

class Editor {
   public:
    explicit Editor(EditorOptions options = {});
    ~Editor();
    Editor(const Editor &) = delete;
    Editor &operator=(const Editor &) = delete;

    // The callback to hand to the library; it talks to the editor made
    // current with makeCurrent (the library calls back on one thread).
    static HostCallback callback();
    void makeCurrent();

    std::vector<Frame> frames;
    int current = -1;  // the image the user works on
    std::optional<Rgb> transparent;
    void *document = nullptr;  // the animation document, owned
    std::vector<MenuItem> menu;
    int formatChanges = 0;
    // Images the library offered that the editor refused, one line each
    // saying which and why.
    std::vector<std::string> refusals;
    // The size the last icon was served at (0 before any).
    mutable int32_t iconWidth = 0, iconHeight = 0;

    void addFrame(Image image);
    // The one rule for what is transparent in what the editor gives out: a
    // frame's mask where it has one, else the pixels of the transparent
    // colour. Before an output both forms are made to say the same: every
    // frame without a mask takes it from the transparent colour (a PNG
    // file's alpha, an icon's mask); with keyColour (an output that holds
    // a transparent colour, not a mask: GIF), masks without a transparent
    // colour get one that no shown pixel of any frame has, and the masked
    // pixels take it.
    void settleTransparency(bool keyColour);
    // A new movable block holding the current frame as a packed DIB of the
    // given depth (the block the editor hands to SaveConvImage).
    void *currentFrameBlock(uint16_t bitCount);

   private:
    intptr_t handle(int32_t command, intptr_t param, intptr_t value);
    // The commands that do more than answer at once, one each.
    intptr_t query(intptr_t param, intptr_t value) const;
    uint16_t colorCount() const;  // the answer to the colour query
    intptr_t takeFrame(intptr_t param, intptr_t value);
    intptr_t takeIcon(intptr_t param, intptr_t value);
    // Takes a frame (commands 2 and 9) or notes why not.
    bool take(const uint8_t *data, intptr_t value, int heightFactor, bool stretch);
    intptr_t serveFrame(intptr_t param, intptr_t value);
    intptr_t serveIcon(intptr_t param, intptr_t value) const;
    intptr_t takeDocument(intptr_t param);
    intptr_t takeMenuItem(intptr_t param);
    intptr_t changeFormat(intptr_t param);
    intptr_t noteFile(intptr_t param, intptr_t value);
    int frameIndex(intptr_t value) const;
    Image frameAt(int index, int32_t width, int32_t height, uint16_t bitCount, bool cursorPalette,
                  bool forIcon = false) const;
    // The one palette of the document at a size and depth: the colours of
    // all frames together, so that a writer's single colour table fits
    // every frame it asks for.
    const std::vector<Rgb> &documentPalette(int32_t width, int32_t height, uint16_t bitCount);
    struct PaletteCache {
        int32_t width = 0, height = 0;
        uint16_t bitCount = 0;
        size_t frames = 0;
        std::vector<Rgb> colors;
    } paletteCache_;
    static intptr_t VC_CALLBACK trampoline(int32_t command, intptr_t param, intptr_t value);

    EditorOptions options_;
    uint16_t colorSetting_ = 0;  // set by a format change; 0 follows the frame
};

}  // namespace host
