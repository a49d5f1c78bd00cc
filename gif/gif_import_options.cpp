// The import options dialog (template 109) and the choice of the import mode.
#include "gif/gif_import.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "ui/services.h"
#include "common/image_block.h"
#include "gif/gif_dialog.h"
#include "gif/gif_read.h"
#include "resources/strings.h"

namespace vc {

namespace {

int frameCountOf(const GifAnimRecord &r) {
    int n = r.frameCount;
    if (n < 0) return 0;
    return n > kGifMaxFrames ? kGifMaxFrames : n;
}

}  // namespace

// ---- Import options dialog ------------------------------------------------------

bool GifImportOptionsModel::start() {
    char format[30];
    // Without its string the list shows empty lines; nothing else depends on it.
    if (plat::loadString(IDS_FRAME_DESCRIPTION, format, sizeof format) <= 0) format[0] = 0;
    frameTexts.clear();
    const int n = frameCountOf(*record);
    for (int i = 0; i < n; ++i) {
        const GifFrameEntry &f = record->frames[i];
        char line[96];
        std::snprintf(line, sizeof line, format, i, int(f.width), int(f.height), 1 << (f.bitsPerPixel & 15));
        frameTexts.emplace_back(line);
        if (f.width < minWidth) minWidth = f.width;
        if (f.width > maxWidth) maxWidth = f.width;
        if (f.height < minHeight) minHeight = f.height;
        if (f.height > maxHeight) maxHeight = f.height;
    }
    // Frames added to a document that already has frames take its size.
    const EditorLink editor(callback);
    if (editor.frameCount() != 0) {
        // The editor writes the size into the record's output size.
        uint16_t size[2] = {record->outputWidth, record->outputHeight};
        const bool given = editor.imageSize(size);
        record->outputWidth = size[0];
        record->outputHeight = size[1];
        if (given) {
            maxWidth = record->outputWidth;
            maxHeight = record->outputHeight;
            sizeLocked = true;
        }
    }
    widthText = std::to_string(unsigned(maxWidth));
    heightText = std::to_string(unsigned(maxHeight));
    checkedRadio = IDC_GIFIMP_SEQUENCE;
    return true;
}

void GifImportOptionsModel::scroll(int scrollBarId, int scrollCode) {
    if (scrollBarId == IDC_GIFIMP_WIDTH_SPIN) {
        if (auto v = stepValue(widthText.c_str(), scrollCode, minWidth, maxWidth)) widthText = std::to_string(*v);
    } else if (scrollBarId == IDC_GIFIMP_HEIGHT_SPIN) {
        if (auto v = stepValue(heightText.c_str(), scrollCode, minHeight, maxHeight)) heightText = std::to_string(*v);
    } else {
        return;
    }
    checkedRadio = IDC_GIFIMP_SEQUENCE;
}

bool GifImportOptionsModel::select(int listId, int32_t index) {
    if (listId != IDC_GIFIMP_LIST) return false;
    listSelection = index;
    checkedRadio = IDC_GIFIMP_FRAME;
    return true;
}

std::string *GifImportOptionsModel::textField(int id) {
    return id == IDC_GIFIMP_WIDTH ? &widthText : id == IDC_GIFIMP_HEIGHT ? &heightText : nullptr;
}

bool GifImportOptionsModel::enabled(int id) const {
    return !(sizeLocked && id >= IDC_GIFIMP_WIDTH && id <= IDC_GIFIMP_HEIGHT_SPIN);
}

void GifImportOptionsModel::edited(int editId) {
    focus = editId;
    if (editId == IDC_GIFIMP_WIDTH || editId == IDC_GIFIMP_HEIGHT) checkedRadio = IDC_GIFIMP_SEQUENCE;
}

bool GifImportOptionsModel::listText(int id, int32_t index, std::string &text) const {
    if (id != IDC_GIFIMP_LIST || index < 0 || size_t(index) >= frameTexts.size()) return false;
    text = frameTexts[size_t(index)];
    return true;
}

int GifImportOptionsModel::isChecked(int id) const {
    if (id != IDC_GIFIMP_SEQUENCE && id != IDC_GIFIMP_FRAME && id != IDC_GIFIMP_ASSEMBLED) return -1;
    return checkedRadio == id;
}

bool GifImportOptionsModel::clicked(int radioId) {
    if (radioId < IDC_GIFIMP_SEQUENCE || radioId > IDC_GIFIMP_ASSEMBLED) return false;
    checkedRadio = radioId;
    return true;
}

bool GifImportOptionsModel::pressOk() {
    auto stay = [&](int control) {
        focus = control;
        ++beeps;
        plat::beep(0xFFFFFFFFu);
        return false;
    };
    switch (checkedRadio) {
    case IDC_GIFIMP_ASSEMBLED:
        end(kGifImportAssembled);
        break;
    case IDC_GIFIMP_FRAME:
        record->selectedFrame = uint32_t(listSelection);
        if (listSelection < 0) return stay(IDC_GIFIMP_LIST);
        end(kGifImportFrame);
        break;
    case IDC_GIFIMP_SEQUENCE: {
        // A field that is no number reads as 0, which is out of range too.
        uint32_t w = parseDialogUnsigned(widthText).value_or(0);
        record->outputWidth = uint16_t(w);
        if (w < kGifImportMinSize || w > kGifImportMaxSize) return stay(IDC_GIFIMP_WIDTH);
        uint32_t h = parseDialogUnsigned(heightText).value_or(0);
        record->outputHeight = uint16_t(h);
        if (h < kGifImportMinSize || h > kGifImportMaxSize) return stay(IDC_GIFIMP_HEIGHT);
        end(kGifImportSequence);
        break;
    }
    default:
        return false;
    }
    return true;
}

int16_t ShowGifImportOptions(Wnd parent, GifAnimRecord *record, HostCallback callback) {
    GifImportOptionsModel model;
    model.record = record;
    model.callback = callback;
    (void)model.start();  // it always starts
    intptr_t r = plat::runDialog(parent, IDD_GIF_IMPORT, model);
    // A dialog that could not be shown imports nothing.
    if (r < kGifImportCancel || r > kGifImportSequence) return kGifImportCancel;
    return int16_t(r);
}

int16_t ChooseGifImportMode(Wnd parent, GifAnimRecord *record, HostCallback callback) {
    const int n = frameCountOf(*record);
    if (n < 2 || !callback) {
        record->selectedFrame = 0;
        return kGifImportFrame;
    }
    const GifFrameEntry &first = record->frames[0];
    bool same = true;
    for (int i = 1; i < n && same; ++i)
        same = record->frames[i].width == first.width && record->frames[i].height == first.height;
    if (same) {
        record->outputWidth = first.width;
        record->outputHeight = first.height;
        return kGifImportSequence;
    }
    return ShowGifImportOptions(parent, record, callback);
}

}  // namespace vc
