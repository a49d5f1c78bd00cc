// X cursor files in memory: the cursor files of X11 desktops and their
// themes. A file is a header ("Xcur", header size, version, entry count),
// a table of contents of (type, subtype, position) entries, and the chunks
// the entries point at. Two kinds of chunk are known: images (subtype the
// nominal size; width, height, hotspot, delay in milliseconds, then
// width x height pixels as 32-bit little-endian ARGB, premultiplied by
// alpha) and comments (subtype the kind: copyright 1, license 2, other 3;
// a length, then UTF-8 text without a NUL). Every number is a 32-bit
// little-endian word.
//
// What the reader keeps: every image of every nominal size, in the order
// of the table of contents (the order a cursor's animation plays in), each
// as a 32-bit B G R A picture with straight alpha (the pictures' own
// convention: colour channels not multiplied by alpha) with its hotspot,
// its nominal size and its delay in milliseconds; every comment with its
// kind as stored, in table order.
//
// Damaged input (each refusal names the first fault met, in table order):
//   - Fewer than 16 bytes or another magic: notFormat.
//   - A header size below 16, a header or a table that runs past the end:
//     readFailed. A header larger than 16 is skipped, as its size says.
//   - More table entries than 65536 or than the limit on frames:
//     noMemory, before anything else is read.
//   - An entry pointing outside the file, or a chunk cut by the end:
//     readFailed.
//   - A chunk whose own type or subtype differs from its entry's, a chunk
//     header size below its kind's (36 for images, 20 for comments), an
//     image side of 0 or above 32767, a hotspot past the image (x above
//     the width or y above the height): damaged. A larger chunk header is
//     skipped as its size says.
//   - An image above the picture limit, or images whose pixels together
//     pass the block limit (entries may point at one chunk many times):
//     noMemory. A comment above 1 MiB: damaged.
//   - Two chunks sharing bytes (two entries naming one chunk included):
//     damaged, once every chunk was checked. X's own loader would give
//     such a chunk twice; refusing it keeps the pictures from holding
//     more than the file (a table of 65536 entries naming one large image
//     would otherwise ask for gigabytes).
//   - Entries of other types are skipped. Delays are kept as they are, 0
//     included.
//   - A file without images is unsupported.
//   - Premultiplied colour above its alpha (which no correctly made
//     file holds) reads as full intensity.
//
// The writer puts the 16-byte header, the table (images then comments)
// and the chunks in table order, each at the position its entry names,
// chunk versions 1: the layout X's own library and its cursor generator
// write, so a file they made is rewritten byte for byte from what the
// reader gives (unless it holds unknown chunks or colour above alpha).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/picture.h"
#include "common/result.h"

namespace vc {

constexpr uint32_t kXcursorMagic = 0x72756358;  // "Xcur"
constexpr uint32_t kXcursorVersion = 0x10000;
constexpr uint32_t kXcursorImageType = 0xfffd0002;
constexpr uint32_t kXcursorCommentType = 0xfffe0001;
constexpr uint32_t kXcursorFileHeaderSize = 16;
constexpr uint32_t kXcursorTocEntrySize = 12;
constexpr uint32_t kXcursorImageHeaderSize = 36;
constexpr uint32_t kXcursorCommentHeaderSize = 20;
constexpr uint32_t kXcursorLargestSide = 0x7fff;
constexpr uint32_t kXcursorLargestToc = 0x10000;
constexpr uint32_t kXcursorLargestComment = 0x100000;

enum XcursorCommentKind : uint32_t { kXcursorCopyright = 1, kXcursorLicense = 2, kXcursorOther = 3 };

struct XcursorImage {
    Picture picture;           // 32 bits B G R A, straight alpha, with its hotspot
    uint32_t nominalSize = 0;  // the size the image is chosen for
    uint32_t delayMs = 0;      // how long it shows in an animation
};

struct XcursorComment {
    uint32_t kind = kXcursorOther;
    std::string text;
};

struct XcursorFile {
    std::vector<XcursorImage> images;
    std::vector<XcursorComment> comments;
};

// Whether the bytes start with the magic.
bool looksLikeXcursor(std::span<const uint8_t> bytes);

// The file's images and comments, as above.
Result decodeXcursor(std::span<const uint8_t> bytes, const CoreRequest &request, XcursorFile &out);

// A file of the images and comments. unsupported for no images, a picture
// that is not 32 bits or not consistent, a side above 32767, a hotspot
// past its image, a comment above 1 MiB; noMemory past the limits.
Result encodeXcursor(const XcursorFile &file, const CoreRequest &request, std::vector<uint8_t> &out);

// A picture of any depth as the 32-bit straight-alpha picture an X cursor
// holds: palette colours looked up; where the picture has a mask, masked
// pixels transparent and the rest opaque (a 32-bit picture keeps its own
// alpha unless every pixel's alpha is 0, the old form that relies on the
// mask); without a mask 24-bit and palette pixels opaque, a GIF's
// transparent index transparent. The hotspot is kept. false when the
// picture is not consistent.
bool xcursorPicture(const Picture &in, Picture &out);

// One straight-alpha B G R A pixel as the file's premultiplied ARGB word,
// and back (colour rounded to nearest; back, a colour above alpha gives
// 255 and alpha 0 gives black).
uint32_t premultipliedArgb(const uint8_t *bgra);
void straightBgra(uint32_t argb, uint8_t *bgra);

}  // namespace vc
