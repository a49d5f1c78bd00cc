// Icon (.ICO) and static cursor (.CUR) files in memory: a 6-byte header, a
// directory of 16-byte entries, then each entry's image, either icon image
// data (a 40-byte bitmap header whose height counts colour and mask rows,
// the colour table, the colour rows, the 1-bit mask rows) or a PNG image.
//
// Every frame of an animated cursor is a whole icon file, so the animated
// cursor core builds on the one-image writer and the chooser below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/picture.h"
#include "common/result.h"

namespace vc {

constexpr uint32_t kIconHeaderSize = 6;
constexpr uint32_t kIconEntrySize = 16;
// Header plus one entry: where a one-image file's image data starts.
constexpr uint32_t kIconSingleDataOffset = kIconHeaderSize + kIconEntrySize;
constexpr uint16_t kIconTypeIcon = 1;
constexpr uint16_t kIconTypeCursor = 2;

// One directory entry as the file stores it. An icon's entry holds planes
// and depth where a cursor's holds its hotspot (the hotspot also goes into
// the entry's picture).
struct IconEntry {
    uint8_t width = 0, height = 0;  // 0 stands for 256
    uint8_t colorCount = 0, reserved = 0;
    uint16_t planesOrHotspotX = 0, bitCountOrHotspotY = 0;
    uint32_t bytesInRes = 0, imageOffset = 0;
    bool png = false;               // the image is a PNG stream
    // ok when the entry's picture was decoded; otherwise why not
    // (damaged, unsupported, noMemory) and the picture is empty.
    Result status = Result::ok;
};

struct IconFile {
    bool cursor = false;
    // Directory order; a cursor's hotspots in the pictures. Bitmap entries
    // keep their depth (1, 4, 8, 24, 32); PNG entries are 32-bit BGRA.
    std::vector<Picture> images;
    // What the directory says of each image, in the same order (filled by
    // the decoder; the encoder writes entries of its own).
    std::vector<IconEntry> entries;
};

// Whether the bytes start as an icon or cursor file: a first 16-bit word
// of 0 (the reserved word; nothing else in the header tells more).
bool looksLikeIcon(std::span<const uint8_t> bytes);

// Every entry of the directory, each decoded into a picture. A directory
// that runs past the end is read as far as its entries are whole. An entry
// whose image cannot be decoded stays in the file with an empty picture and
// its status. The pictures together keep within limits.largestBlock bytes
// (checked from each entry's header before it is decoded; an entry past it
// is noMemory). The call is ok when at least one entry decoded, noneFound for
// a directory of no entries, notFormat when the bytes are not an icon file,
// else the first entry's failure (noMemory when any entry hit a limit).
Result decodeIconFile(std::span<const uint8_t> bytes, const CoreRequest &request, IconFile &out);

// The picture of one directory entry (a cursor's with its hotspot), as
// decodeIconFile gives it; noneFound when the directory has no such entry.
Result decodeIconEntry(std::span<const uint8_t> bytes, uint32_t index, const CoreRequest &request, Picture &out);

// An icon or cursor file of the pictures as uncompressed bitmaps with masks
// (a 32-bit picture without a mask gets one from its alpha), each entry
// written as the one-image writer writes it, the file padded to an even
// size. unsupported for an empty file or an inconsistent picture.
Result encodeIconFile(const IconFile &file, const CoreRequest &request, std::vector<uint8_t> &out);

// ---- Icon sets -----------------------------------------------------------

// Entries of an icon set wider or taller than this are PNG images.
constexpr int32_t kIconSetLargestBitmap = 128;

// An icon or cursor file of several entries, as systems of today read them:
//   - a picture up to 128 pixels is a bitmap at its own depth with its
//     palette; a 32-bit one keeps its alpha and gets an AND mask set where
//     alpha is 0 (its own mask when every alpha byte is 0, an image without
//     alpha); 1, 4, 8 and 24 bits keep their mask (none: all shown);
//   - a larger one is a PNG image of its colours and alpha (see
//     pictureToBgra), its directory size 0 from 256 on (the directory can
//     state no more; the PNG image's own header states its size);
//   - the directory gives an icon's entries one plane and their depth (32
//     for a PNG image), a cursor's its hotspot, and the colour count of
//     depths below 8.
// unsupported for no pictures, more than 65535 or an inconsistent picture;
// noMemory past the limits.
Result encodeIconSet(const IconFile &file, const CoreRequest &request, std::vector<uint8_t> &out);

// A picture as straight (not premultiplied) B G R A rows from the top, 4
// bytes a pixel: indices through the palette, 24 bits opaque, 32 bits with
// their alpha (every alpha 0 stands for none: opaque). Where there is no
// alpha, pixels the mask covers are transparent.
void pictureToBgra(const Picture &p, std::vector<uint8_t> &out);

// ---- The image the editor takes -------------------------------------------

// Bytes of icon image data that a header describes: header, colour table,
// colour rows and mask rows for a height of biHeight / 2 rows each; 0 when
// the header is not one the library can hand across (40-byte header, one or
// no plane, uncompressed, depth 1, 4, 8, 24 or 32, positive size, at most
// 256 colour entries).
uint64_t iconDataBytes(const ConvBitmapInfoHeader &h);

struct IconChoice {
    uint32_t index = 0;          // the entry chosen
    bool cursor = false;         // the file is a cursor: the hotspot is the entry's
    uint16_t hotspotX = 0, hotspotY = 0;
    // Icon image data of 1, 4, 8 or 24 bits: a bitmap stored whole as it
    // is stored (to the end of its entry), 32 bits narrowed to 24 with a
    // mask; a PNG image or a 32-bit bitmap without mask rows built anew.
    std::vector<uint8_t> data;
    bool built = false;          // data was built anew rather than taken from the file
};

// Chooses the one image an icon file opens at. The choice walks the
// entries in file order and takes an entry whose colour count byte or
// width x height area beats the best so far (ties keep the earlier one).
// Where that chooses none (every entry 256 x 256, stored as 0, or stating
// neither colours nor an area), the entry whose own image header states the
// most pixels is taken. A chosen entry that cannot be used is passed over
// and the choice made again among the rest. ok; notFormat when no entry is
// usable; noMemory when memory was refused while decoding the chosen image.
Result chooseIconImage(std::span<const uint8_t> bytes, const CoreRequest &request, IconChoice &out);

// A one-image icon file around icon image data: header (type 2 with the
// hotspot in the entry for a cursor, else type 1 and zeros), one entry
// computed from the data's own header, the data, and a pad byte when the
// sum is odd (so the file can stand as an even-sized chunk body).
std::vector<uint8_t> oneImageIconFile(std::span<const uint8_t> iconData, bool cursor, uint16_t hotspotX,
                                      uint16_t hotspotY);

// Bytes oneImageIconFile gives for image data of dataSize bytes.
constexpr uint64_t iconFileBytes(uint64_t dataSize) {
    const uint64_t n = kIconSingleDataOffset + dataSize;
    return n + (n & 1);
}

}  // namespace vc
