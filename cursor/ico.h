// Icon (.ICO) and static cursor (.CUR) files for the editor: the load,
// preview and save, on top of the icon core (codecs/ico_core.h), which
// holds the bytes.
//
// The picker and the one-image writer are also the building blocks of
// animated cursors: every frame of an ANI file is a whole icon file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/ico_core.h"
#include "common/limits.h"
#include "common/format_table.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

namespace vc {

// Content detector (format code 132): reads 4 bytes from the start of the
// open file and answers yes when the first 16-bit word is 0. Leaves the file
// at offset 0.
bool IsIconFile(HFile file);

// Chooses one image of an icon file held in memory (chooseIconImage) and
// makes its icon image data the start of the block.
//   image    a locked block holding the whole file (or its first fileSize
//            bytes); a chosen PNG image is decoded into a new block that
//            takes its place;
//   hotspot  out: the chosen entry's hotspot (x low, y high 16 bits) when the
//            file is a cursor (type 2), else 0; untouched on failure;
//   fileSize bytes valid in image;
//   dataSize optional out: bytes of image data now at the start.
// The choice walks the entries in file order and takes an entry whose
// colour count byte or width x height area beats the best so far (ties keep
// the earlier one). Where that chooses none (every entry 256 x 256, stored
// as 0, or stating neither colours nor an area), the entry whose own image
// header states the most pixels is taken. A chosen entry that cannot be
// handed over (data outside the buffer, a damaged header or PNG image, rows
// past the end, a depth or compression the editor cannot take) is passed
// over and the choice made again among the rest. Images of 32 bits, bitmap
// or PNG, are handed as 24 bits with a mask.
// Returns 1 when an image was handed over; 0 when no entry can be (no
// entries, none chosen, none usable), the block then untouched; -1 when
// memory was refused while decoding the chosen image.
int PickIconImage(plat::Block &image, uint32_t *hotspot, size_t fileSize, size_t *dataSize = nullptr);

// Loads the image PickIconImage chooses into the editor: command 9 (flags
// 17, frame 0), then command 0 for the count and, for the new image
// count - 1, command 13 (hotspot) and command 21 (file name, 132 * 256 +
// index). Gives ok; cancelled when the editor refuses the image; openFailed
// when the file cannot be opened, readFailed when it cannot be read,
// noMemory without memory (for the file or for decoding the chosen image),
// notFormat when it holds no usable image.
Result LoadIconFile(const char *fileName, Wnd parent, HostCallback callback);

// Preview of an icon file: record->image gets a new block with the chosen
// image's data, biHeight halved (colour rows only) and biClrUsed filled in;
// record->bitsOffset gets biSize + 4 x biClrUsed. Gives ok; readFailed when
// the file is missing or shorter than 22 bytes, noMemory without memory,
// damaged when it holds no usable image. Reads the first limits().previewRead bytes: more
// than a preview of old read (65,530), since icon files with large images
// put them last, but bounded, since a preview runs for every file the user
// passes in the file dialog.
Result PreviewIconFile(const char *fileName, ConvImageRecord *record);

// Steps 3 to 5 of the preview on a file image already in a block of
// fileSize valid bytes (also used for the frames of animated cursors).
// Takes the block: on ok it (or the block of the decoded image) is stored,
// unlocked, in record->image with record->bitsOffset set (freed when there
// is no record); on damaged (no usable image) or noMemory (no memory to
// decode it) it is freed.
Result PreviewIconBlock(plat::Block block, size_t fileSize, ConvImageRecord *record);

// Saves the editor's current image as a one-image icon file, or a cursor
// file when the name ends in ".cur" (any case; the hotspot comes from
// command 12). Asks the size question of SelectCursorSize first. Gives ok;
// cancelled when the user cancels; noMemory when the editor cannot report
// the size or hand the image; createFailed when the file cannot be created;
// writeFailed on a short write (the partly written file stays).
Result SaveIconFile(const char *fileName, Wnd parent, HostCallback callback);

// Writes a one-image icon file to a file open for writing: header (type 2 with the
// hotspot in the entry when isCursor, else type 1 and zeros), one entry
// computed from the data's own header, the data, and the pad byte of
// iconFileBytes. Returns non-zero when every byte was written, 0 at the
// first short write.
int WriteIconFile(const plat::File &file, const void *data, uint32_t dataSize, uint32_t hotspot, bool isCursor);

// The format table's adaptors for row 132.
Result iconRowLoad(const LoadRequest &request);
Result iconRowSave(const SaveRequest &request);

}  // namespace vc
