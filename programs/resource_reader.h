// Bitmaps stored as resources in program files (format code 131): the
// client of the program core (codecs/program_core.h) that runs "Open
// Resource Bitmap", hands the picked bitmap's data over unchanged and
// writes its name back. The file is read through a file window, never
// loaded as a module, and only its headers and resource directory are
// read, so listing the bitmaps of a large program costs what its directory
// costs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/program_core.h"
#include "common/result.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/dialogs.h"
#include "velmconv/velmconv.h"

namespace vc {

struct LoadRequest;

struct ResourceBitmapEntry {
    char name[32];        // the text shown in the list
    uint32_t dataOffset;  // file offset of the resource data
    uint32_t dataSize;
    uint16_t neNameWord;  // NE files: the resource's id word the name is made from
};

struct ResourceBitmapList {
    static constexpr uint32_t kCapacity = kProgramBitmapMost;
    ResourceBitmapEntry entries[kCapacity];
    uint32_t count = 0;
    bool full() const { return count == kCapacity; }
};

// Reads the program's bitmap list through the program core (detectOnly:
// only whether the file is an MZ file with an NE or PE header, ok or
// notFormat), keeping the first kCapacity entries; the core's results.
Result ScanProgramFile(HFile file, bool detectOnly, ResourceBitmapList &list);

// The entry's data in a new movable block, none when it cannot be read,
// holds no more than 40 bytes or more than most.
MemHandle ReadResourceData(HFile file, const ResourceBitmapEntry *entry, uint64_t most = UINT64_MAX);

bool DetectProgramFile(HFile file);
Result GetResourceBitmapPreview(const char *fileName, ConvImageRecord *record);
// fileName is the editor's writable file-name buffer: it receives the
// picked bitmap's name ("100-1033.BMP").
// noneFound (after the message saying so) for a program without bitmaps,
// cancelled when the dialog ends without a bitmap.
Result LoadResourceBitmap(char *fileName, Wnd parent, ConvImageRecord *record);
// The format row's reader: LoadResourceBitmap with the request's name.
Result loadResourceRow(const LoadRequest &request);

// ---- The preview ---------------------------------------------------------------
// What the statics beside the preview show for a stored bitmap, and where
// it is drawn inside a preview button of right x bottom pixels: at natural
// size when it fits the box inside the one-pixel frame, else scaled to the
// box keeping its aspect, centred on the other axis.
struct BitmapPreview {
    int32_t width = 0, height = 0;  // of the bitmap
    uint16_t bitCount = 0;
    uint32_t bitsOffset = 0;        // of the pixels, from the block's start
    std::string sizeText;           // "%dx%d"
    std::string colorsText;         // "2", "16", "256" or "16.7 Mio."
    int32_t x = 0, y = 0, drawWidth = 0, drawHeight = 0;  // destination, frame included
    bool drawable = false;  // the pixels are all inside the block
};
// False when the block does not start with a header of 12 or 40 bytes or
// more.
bool bitmapPreview(const uint8_t *block, size_t size, int32_t right, int32_t bottom, BitmapPreview &out);
// MulDiv as the system rounds it: a * b / c to the nearest, halves away
// from zero; -1 when c is 0.
int32_t mulDiv(int32_t a, int32_t b, int32_t c);

// ---- "Open Resource Bitmap" (template 102) ---------------------------------------
enum : int {
    kResourceBitmapTemplate = VC_IDD_RESOURCE_BITMAP,
    kResBmpFileName = VC_IDC_RESBMP_FILE,
    kResBmpList = VC_IDC_RESBMP_LIST,
    kResBmpPreview = VC_IDC_RESBMP_PREVIEW,
    kResBmpShowPreview = VC_IDC_RESBMP_SHOW,
    kResBmpSize = VC_IDC_RESBMP_SIZE,
    kResBmpColors = VC_IDC_RESBMP_COLORS,
};

// How a sorted list box orders its lines: letter case ignored, symbols
// before digits before letters, hyphens and apostrophes weighed only when
// the rest is equal.
bool listBoxLess(const std::string &a, const std::string &b);

struct ResourceBitmapModel : plat::DialogModel {
    static constexpr int kTemplate = kResourceBitmapTemplate;
    int templateId() const override { return kTemplate; }

    ResourceBitmapModel(HFile file, char *fileName, const ResourceBitmapList &list)
        : file(file), fileName(fileName), list(list) {}
    HFile file;
    char *fileName;  // shown in static 100; receives the image's name on OK
    const ResourceBitmapList &list;
    std::vector<uint32_t> items;  // list lines, sorted: index into list.entries
    int32_t selection = -1;
    bool showPreview = true;   // check box 103
    plat::Block image;         // the selected bitmap's data, unlocked; none when not loaded

    std::string itemText(int32_t index) const;
    // Fills the list, turns the preview on and selects line 0.
    bool start() override;
    // A line of the list chosen: the data of the new line is loaded when
    // the preview is on.
    bool select(int id, int32_t index) override;
    // Box 103 turns the preview on or off and loads or drops the data.
    bool clicked(int id) override;
    // Static 100 the file's name; 104 and 105 the selected bitmap's size
    // and colours as the preview shows them, empty without a preview.
    bool shownText(int id, std::string &text) const override;
    int32_t listCount(int id) const override { return id == kResBmpList ? int32_t(items.size()) : -1; }
    bool listText(int id, int32_t index, std::string &text) const override;
    int isChecked(int id) const override { return id == kResBmpShowPreview ? showPreview : -1; }
    // Loads the data if need be (refused, staying open, when it cannot be
    // read), names the image in the file-name buffer and ends with the
    // block, which passes to the editor.
    bool pressOk() override;
    void pressCancel() override;
    // The image's name for a list line: leading spaces skipped, at most 8
    // characters, ".BMP"; empty when no text remains.
    static std::string imageName(const std::string &line);
};

}  // namespace vc
