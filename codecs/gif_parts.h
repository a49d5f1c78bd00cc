// The pieces the GIF core is made of, and that the plug-in's GIF importer
// and exporters use where they work on a canvas of the editor's (a frame
// drawn over the previous one, the image all frames assemble, frames
// written one by one as the editor hands them over): the scan that records
// where every image lies, the decoding of one image onto a canvas, and the
// block writers with the LZW coder.
//
// Everything here works on what the call passes in: a read window (over a
// file, FileWindow, or over bytes in memory, SpanWindow), a canvas, an
// output vector and the coder's tables (GifCoder). Nothing is kept between
// calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "codecs/gif_layout.h"
#include "common/bytes.h"
#include "common/file_window.h"
#include "common/limits.h"
#include "common/picture.h"
#include "common/result.h"

namespace vc {

// A read window over bytes in memory, read as FileWindow reads a file:
// take() hands out at most FileWindow::kSize bytes, and moves past the end
// succeed, the next read coming back short.
class SpanWindow {
public:
    explicit SpanWindow(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

    int64_t tell() const { return int64_t(pos_); }
    bool byte(uint8_t &b) {
        if (pos_ >= size_) return false;
        b = data_[pos_++];
        return true;
    }
    ByteReader take(uint32_t n) {
        n = std::min(n, FileWindow::kSize);
        const uint64_t have = pos_ < size_ ? std::min<uint64_t>(n, size_ - pos_) : 0;
        ByteReader r(have ? data_ + pos_ : nullptr, size_t(have));
        pos_ += have;
        if (have < n) r.fail();
        return r;
    }
    void skip(uint64_t n) { pos_ += n; }
    bool seek(uint64_t offset) {
        if (offset > 0x7FFFFFFF) return false;
        pos_ = offset;
        return true;
    }

private:
    const uint8_t *data_;
    uint64_t size_;
    uint64_t pos_ = 0;
};

// ---- Reading ------------------------------------------------------------------

// Scans from offset 0 into the record: screen, global palette, one entry
// per image (position, size, depth, data position) with the graphic
// control that preceded it, comment and looping. With firstImageOnly it
// stops after the first image descriptor and needs no trailer. Leaves the
// window at offset 6. ok; readFailed when the bytes end inside a structure
// or before the trailer; unsupported when they do not start with "GIF" or
// hold a block of an unknown kind. images, when given, counts every image,
// also those past the record's table of kGifMaxFrames.
template <class Window>
Result scanGif(Window &in, GifAnimRecord &record, bool firstImageOnly, int32_t *images = nullptr);

// Reads one extension after its 0x21 byte into the record (graphic control
// for the entry at the current frame count, comment, looping) and skips the
// rest of its sub-blocks. ok, or readFailed when the bytes end inside its
// head or first sub-block.
template <class Window>
Result readGifExtension(Window &in, GifAnimRecord &record);

// Skips an image's code size byte and data sub-blocks: ok, or readFailed.
template <class Window>
Result skipGifImageData(Window &in);

// Where an image is decoded to: rows bottom up, `stride` bytes apart, of
// 1, 4 or 8 bits, and the colour table (4 bytes an entry: blue, green,
// red, 0) whose first entries a local table replaces.
struct GifCanvas {
    uint8_t *bits = nullptr;
    uint64_t stride = 0;
    int32_t width = 0, height = 0;
    uint16_t depth = 0;
    uint8_t *colors = nullptr;
    uint32_t colorCount = 0;
};

// What a canvas is known to hold before an image is decoded onto it: one
// index in every byte of its rows, padding included (a picture just made,
// or one just filled), or anything (index -1).
struct CanvasFill {
    int32_t index = -1;
};
constexpr CanvasFill kBlankCanvas{0};

// The canvas of a picture (its own pixels and palette).
GifCanvas gifCanvas(Picture &picture);

// Decodes the image whose descriptor is at dataPosition onto the canvas:
// pixels equal to transparent (-1: none) are left as they are at depths 4
// and 8, and the image lands at (left - shiftX, top - shiftY), clipped.
// fill tells what the canvas holds: when it is one index throughout, an
// 8-bit image that lies inside it is decoded straight into its rows (its
// transparent pixels then given the fill's index), and the rows of other
// images without interlace are drawn as they are decoded, with the same
// pixels and result.
// ok; readFailed when the bytes end first; damaged for a code size above
// 11, a local table larger than the canvas's, a code that cannot be
// decoded, or data that ends without an end code after another number of
// pixels than the image holds; noMemory when a buffer is refused or would
// pass limits.largestBlock. An image that fails draws nothing.
template <class Window>
Result decodeGifImage(Window &in, uint32_t dataPosition, const GifCanvas &canvas, int32_t transparent, int32_t shiftX,
                      int32_t shiftY, CanvasFill fill, const Limits &limits);

// Writes count (= w') indices of one image row into a canvas row of the
// given depth, skipping the transparent index at depths 4 and 8.
void StoreIndexRow(uint8_t *destination, const uint8_t *source, uint32_t count, uint16_t depth, int32_t transparent);

// Sets every pixel of rows of depth 1, 4 or 8 (size bytes) to the index.
void fillIndexRows(uint8_t *bits, uint64_t size, uint16_t depth, int32_t index);

// ---- Writing ------------------------------------------------------------------

// The LZW coder's tables for one call (about 450 KB, taken when it is
// made): a writer of several images makes one and codes them all with it.
// The tables go back empty after every image.
class GifCoder {
public:
    GifCoder();  // throws std::bad_alloc when memory is refused
    ~GifCoder();
    GifCoder(const GifCoder &) = delete;
    GifCoder &operator=(const GifCoder &) = delete;
    struct Tables;
    Tables &tables() { return *tables_; }

private:
    std::unique_ptr<Tables> tables_;
};

// An image to write: rows of 1, 4 or 8 bits, `stride` bytes apart, bottom
// row first unless topDown; its colour table (4 bytes an entry).
struct GifImageView {
    const uint8_t *bits = nullptr;
    uint64_t stride = 0;
    uint32_t width = 0, height = 0;
    uint16_t depth = 0;
    bool topDown = false;
    const uint8_t *colors = nullptr;
    uint32_t colorCount = 0;
};

// The view of a picture.
GifImageView gifImageView(const Picture &picture);

// "GIF89a", the screen descriptor and (globalTable) the colour table of
// the image, padded with black up to 2^depth entries. unsupported for a
// depth other than 1, 4 or 8 (nothing written).
Result writeGifHeader(std::vector<uint8_t> &out, const GifImageView &image, uint16_t screenWidth,
                      uint16_t screenHeight, uint8_t backgroundIndex, bool globalTable = true);

// A graphic control extension; transparent < 0 means none.
void writeGifGraphicControl(std::vector<uint8_t> &out, int32_t transparent, uint16_t delay, bool userInput,
                            uint16_t disposal);

// 0x21, label, one sub-block of length 1..255 (none when data is null),
// and a terminator when asked.
void writeGifExtension(std::vector<uint8_t> &out, uint8_t label, const void *data, uint8_t length, bool terminate);

// One sub-block (when data and length are both given), then a terminator
// when asked.
void writeGifSubBlock(std::vector<uint8_t> &out, const void *data, uint8_t length, bool terminate);

// The image descriptor at (left, top), the colour table when localTable,
// and the LZW-coded rows, optionally interlaced. When progress is given,
// each row reports its percentage; a report answered false stops the
// image (cancelled, the output then incomplete). ok, unsupported for a
// depth other than 1, 4 or 8, noMemory.
Result writeGifImage(std::vector<uint8_t> &out, GifCoder &coder, const GifImageView &image, int32_t left, int32_t top,
                     bool interlaced, const Progress *progress, bool localTable = false);

// The comment as one extension: a sub-block per line (its line feed
// included) while a line fits, else pieces of 252 bytes.
void writeGifComment(std::vector<uint8_t> &out, const char *text, size_t length);

// The looping extension with its count (0 endless).
void writeGifLooping(std::vector<uint8_t> &out, uint16_t loopCount);

// Index of the entry nearest (red, green, blue) by the sum of channel
// differences; the first exact or off-by-one match wins at once; 0 for an
// empty table.
int32_t NearestPaletteIndex(const GifRgbQuad *table, uint8_t red, uint8_t green, uint8_t blue, int32_t count);

}  // namespace vc
