// The editor's callback behind typed calls. Every reader, writer, document
// routine and dialog model talks to the editor through an EditorLink, so the
// command numbers, the pointer casts and the composed words (the file note,
// the frame flag word) are written once, here.
//
// A link made from no callback answers every call with 0 (nothing done,
// nothing known), which is what each caller does without an editor.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

class EditorLink {
public:
    EditorLink() = default;
    explicit EditorLink(HostCallback callback) : callback_(callback) {}

    explicit operator bool() const { return callback_ != nullptr; }
    HostCallback callback() const { return callback_; }

    // ---- Questions (HOST_QUERY) ----
    // Frames the editor holds.
    int32_t frameCount() const { return int32_t(call(HOST_QUERY, 0, HOST_QUERY_COUNT)); }
    // The colour setting: below 16 two colours, 16, or 256; 0 unknown.
    int32_t colorSetting() const { return int32_t(call(HOST_QUERY, 0, HOST_QUERY_COLORS)); }
    // Fills two 16-bit numbers, width then height; false when the editor
    // has no image size to give.
    bool imageSize(uint16_t size[2]) const { return call(HOST_QUERY, ptr(size), HOST_QUERY_SIZE) != 0; }
    // The screen colour of the images; false when there is none.
    bool screenColor(uint32_t &color) const { return call(HOST_QUERY, ptr(&color), HOST_QUERY_SCREEN_COLOR) != 0; }
    bool ditherWanted() const { return call(HOST_QUERY, 0, HOST_QUERY_DITHER) != 0; }

    // ---- Frames handed over (the editor owns the block once it said yes) ----
    // A packed DIB with the flag word (HOST_FRAME_* in the low byte, a frame
    // number above it where the format keeps one).
    bool addFrame(const void *dib, uint32_t flags) const { return call(HOST_ADD_FRAME, ptr(dib), flags) != 0; }
    // Icon image data (a directory entry's image), with the flag word.
    bool addIcon(const void *image, uint32_t flags) const { return call(HOST_ADD_ICON, ptr(image), flags) != 0; }
    // The flag word of a frame of a sequence: its number in the high byte.
    static constexpr uint32_t sequenceFlags(uint32_t frame, uint32_t flags) { return ((frame & 0xFF) << 8) | flags; }

    // ---- Frames asked for ----
    // Fills the header (and, where the block behind it is big enough, the
    // colour table and rows) of frame index.
    bool getFrame(void *dib, int32_t frame) const { return call(HOST_GET_FRAME, ptr(dib), frame) != 0; }
    // The editor's 128 bytes about frame `frame`, which the AVI export
    // passes on to the companion library with the frame.
    bool frameData(void *buffer, int32_t frame) const { return call(HOST_GET_FRAME_DATA, ptr(buffer), frame) != 0; }
    // A device-dependent bitmap of a frame for drawing (the film strip).
    bool getFrameBitmap(void **bitmap, int32_t frame) const {
        return call(HOST_GET_FRAME_DC, ptr(bitmap), frame) != 0;
    }
    // The editor's memory DC for drawing frame `frame`, with the frame's
    // bitmap stored through `bitmap`; none when it cannot draw the frame.
    void *frameDc(void **bitmap, int32_t frame) const {
        return reinterpret_cast<void *>(call(HOST_GET_FRAME_DC, ptr(bitmap), frame));
    }
    // An icon image of the given size (w | h << 16 in, byte count out); the
    // block belongs to the caller afterwards.
    MemHandle getIcon(uint32_t &sizeInOut, int32_t image) const {
        return reinterpret_cast<MemHandle>(call(HOST_GET_ICON, ptr(&sizeInOut), image));
    }
    // The editor's palette block (which 1: the image's, 0: the screen's).
    bool getPalette(MemHandle &palette, int32_t which) const {
        return call(HOST_GET_PALETTE, ptr(&palette), which) != 0;
    }

    // ---- Hotspots, packed x | y << 16 ----
    uint32_t hotspot(int32_t image) const {
        uint32_t packed = 0;
        call(HOST_GET_HOTSPOT, ptr(&packed), image);
        return packed;
    }
    void setHotspot(uint32_t packed, int32_t image) const { call(HOST_SET_HOTSPOT, intptr_t(packed), image); }

    // ---- Documents ----
    // Offers a new animation document; true when the editor took it (and
    // owns it from then on).
    bool offerDocument(MemHandle document) const { return call(HOST_NEW_DOCUMENT, ptr(document), 0) != 0; }
    // The editor's current document, none when it has none.
    MemHandle document() const {
        MemHandle document = nullptr;
        call(HOST_GET_DOCUMENT, ptr(&document), 0);
        return document;
    }
    // Asks the editor to change the image format; its answer.
    intptr_t changeFormat(ConvFormatChange &change) const { return call(HOST_CHANGE_FORMAT, ptr(&change), 0); }
    intptr_t addMenuItem(const ConvMenuItem &item, int16_t slot) const {
        return call(HOST_ADD_MENU_ITEM, ptr(&item), slot);
    }

    // ---- Colours ----
    // A colour-table entry to be made transparent in the last frame.
    void setTransparent(const uint8_t *entry, int32_t count) const {
        call(HOST_SET_TRANSPARENT, ptr(entry), count);
    }
    // The editor's background colour picker; the index chosen.
    intptr_t pickBackground(int32_t index, Wnd dialog) const { return call(HOST_PICK_BACKGROUND, index, ptr(dialog)); }
    void editTransparent(Wnd dialog) const { call(HOST_EDIT_TRANSPARENT, 0, ptr(dialog)); }

    // ---- Files ----
    // Notes the file an image came from: the format code and the image's
    // index (low byte) in one word.
    void noteFile(const char *fileName, uint8_t format, int32_t image) const {
        call(HOST_NOTE_FILE, ptr(fileName), intptr_t(uint32_t(format) * 256 + (uint32_t(image) & 0xFF)));
    }
    // The editor's file dialog over an 80-character filter/name buffer.
    bool fileDialog(char *buffer, Wnd dialog) const { return call(HOST_FILE_DIALOG, ptr(buffer), ptr(dialog)) != 0; }

private:
    template <class T> static intptr_t ptr(T *p) { return reinterpret_cast<intptr_t>(p); }
    intptr_t call(int32_t command, intptr_t param, intptr_t value) const {
        return callback_ ? callback_(command, param, value) : 0;
    }

    HostCallback callback_ = nullptr;
};

}  // namespace vc
