#include "cursor/cursor_format.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/editor_link.h"

namespace vc {

uint32_t cursorSizeForChoice(intptr_t result, uint16_t width, uint16_t height) {
    switch (result) {
    case kCursorSize16: return cursorSize(16, 16);
    case kCursorSize32: return cursorSize(32, 32);
    case kCursorSize64: return cursorSize(64, 64);
    case kCursorSizeKeep: return cursorSize(width, height);
    default: return kCursorSizeCancelled;
    }
}

uint32_t SelectCursorSize(Wnd parent, HostCallback callback) {
    uint16_t wh[2] = {0, 0};
    if (!EditorLink(callback).imageSize(wh)) return 0;
    if (wh[0] == wh[1] && (wh[0] == 16 || wh[0] == 32 || wh[0] == 64)) return cursorSize(wh[0], wh[1]);
    SelectCursorSizeModel model;
    return cursorSizeForChoice(plat::runDialog(parent, kSelectCursorTemplate, model), wh[0], wh[1]);
}

bool parseCursorField(const std::string &text, long &value) {
    const char *s = text.c_str();
    while (*s == ' ' || *s == '\t') ++s;
    if (!*s) return false;
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (end == s || errno == ERANGE) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end) return false;
    value = v;
    return true;
}

bool ChangeCursorFormatModel::start() {
    const EditorLink link(callback);
    uint16_t wh[2] = {0, 0};
    if (!link.imageSize(wh)) wh[0] = wh[1] = 0;
    x = std::to_string(wh[0]);
    y = std::to_string(wh[1]);
    if (wh[0] == 16 && wh[1] == 16)
        sizeChoice = kCursorSize16;
    else if (wh[0] == 64 && wh[1] == 64)
        sizeChoice = kCursorSize64;
    else
        sizeChoice = kCursorSize32;
    const int32_t colors = link.colorSetting();
    if (record) record->colors = uint32_t(colors);
    colorChoice = colors < 16 ? kCursorColors2 : colors == 16 ? kCursorColors16 : kCursorColors256;
    scale = true;
    return true;
}

bool ChangeCursorFormatModel::clicked(int id) {
    if (id >= kCursorSize16 && id <= kCursorSizeOther)
        sizeChoice = id;
    else if (id >= kCursorColors2 && id <= kCursorColors256)
        colorChoice = id;
    else if (id == kCursorScale)
        scale = !scale;
    else
        return false;
    return true;
}

bool ChangeCursorFormatModel::pressOk() {
    uint32_t w, h;
    switch (sizeChoice) {
    case kCursorSize16: w = h = 16; break;
    case kCursorSize32: w = h = 32; break;
    case kCursorSize64: w = h = 64; break;
    default: {
        // "other" has a lower limit only; a value must still fit the record.
        long vx, vy;
        if (!parseCursorField(x, vx) || !parseCursorField(y, vy) || vx < 8 || vy < 8 || vx > long(UINT32_MAX >> 1) ||
            vy > long(UINT32_MAX >> 1)) {
            plat::beep(0);
            return false;
        }
        w = uint32_t(vx);
        h = uint32_t(vy);
    }
    }
    end(1);
    if (!record) return true;
    record->width = w;
    record->height = h;
    if (colorChoice == kCursorColors2)
        record->colors = 3;
    else if (colorChoice == kCursorColors16)
        record->colors = 16;
    else if (colorChoice == kCursorColors256)
        record->colors = 256;
    record->scale = scale ? 1 : 0;
    record->reserved = 0;
    return true;
}

int32_t ChangeCursorFormatDialog(Wnd parent, HostCallback callback, ConvFormatChange *record) {
    ChangeCursorFormatModel model(callback, record);
    (void)model.start();  // it always starts
    return plat::runDialog(parent, kChangeCursorTemplate, model) == 1 ? 1 : 0;
}

int ChangeCursorFormatModel::isChecked(int id) const {
    if (id >= kCursorSize16 && id <= kCursorSizeOther) return sizeChoice == id;
    if (id >= kCursorColors2 && id <= kCursorColors256) return colorChoice == id;
    return id == kCursorScale ? scale : -1;
}

}  // namespace vc
