// The ten entry points: format listing, detection, and dispatch through the
// format table. Nothing throws out of here; every path returns a result code.

#include "ui/services.h"
#include "common/format_table.h"
#include "platform/owners.h"
#include "resources/strings.h"
#include "velmconv/velmconv.h"

namespace vc {

namespace {

struct FilterEntry {
    unsigned stringId;
    uint8_t code;
};

// Appends one filter string at offset (a signed 16-bit offset, as the
// editor's buffer contract has it): '|' becomes NUL and one more NUL goes
// behind, so the list always ends with two NULs.
void appendFilter(char *text, int16_t &offset, const FilterEntry &e, uint8_t *codes, int32_t &count) {
    char *at = text + offset;
    const int n = plat::loadString(e.stringId, at, 64);
    for (int i = 0; i < n; ++i)
        if (at[i] == '|') at[i] = 0;
    at[n + 1] = 0;
    offset = int16_t(offset + n + 1);
    codes[count++] = e.code;
}

int32_t widen(int16_t r) { return int32_t(r); }

int16_t detectByName(const char *fileName, uint8_t &code) {
    const FormatRow *row = findFormatByName(fileName);
    if (!row) return CONV_E_FORMAT;
    code = row->code;
    return CONV_OK;
}

// The row of an animation the editor keeps a document for; none for any
// other code, even where its row has document routines.
FormatRow *animationRow(int32_t format) {
    FormatRow *row = findFormat(format);
    return row && row->animation ? row : nullptr;
}

int16_t detectByContent(const char *fileName, uint8_t &code) {
    plat::File file;
    if (!file.open(fileName)) return CONV_E_OPEN;
    for (const FormatRow &row : formatTable()) {
        if (!row.detect) continue;
        const bool yes = row.detect(file.handle());
        // Every detector's contract is to leave the file at its start; the
        // chain makes sure of it so one careless detector cannot blind the
        // next.
        const bool rewound = file.seekTo(0);
        if (yes) {
            code = row.code;
            return CONV_OK;
        }
        if (!rewound) break;  // the next detectors would read from the wrong place
    }
    return CONV_E_FORMAT;
}

}  // namespace

}  // namespace vc

using namespace vc;

extern "C" {

VC_EXPORT int32_t VC_API GetFormats(char *text, uint8_t *codes, int32_t flags) {
    if (!text || !codes) return 0;
    int16_t offset = 0;
    int32_t count = 0;
    auto add = [&](unsigned id, uint8_t code) { appendFilter(text, offset, FilterEntry{id, code}, codes, count); };
    if (flags & CONV_LIST_ANIMATION) {
        add(IDS_FILTER_ANI, CONV_FMT_ANI);
        add(IDS_FILTER_ANIGIF, CONV_FMT_ANIGIF);
    }
    if (flags & CONV_LIST_AVI) add(IDS_FILTER_AVI, CONV_FMT_AVI);
    if ((flags & CONV_LIST_AVI) && (flags & CONV_LIST_WRITABLE)) {
        add(IDS_FILTER_ANI, CONV_FMT_ANI);
        add(IDS_FILTER_ANIGIF, CONV_FMT_ANIGIF);
    }
    if (flags & CONV_LIST_SINGLE) {
        if (!(flags & CONV_LIST_WRITABLE)) {
            add(IDS_FILTER_RESOURCE, CONV_FMT_RESOURCE);
            add(IDS_FILTER_ICON_ANI, CONV_FMT_ICON);
        } else {
            add(IDS_FILTER_ICON, CONV_FMT_ICON);
        }
        add(IDS_FILTER_GIF, CONV_FMT_GIF);
        add(IDS_FILTER_PCX, CONV_FMT_PCX);
        add(IDS_FILTER_TIFF, CONV_FMT_TIFF);
        add(IDS_FILTER_JPEG, CONV_FMT_JPEG);
    }
    return widen(int16_t(count));
}

VC_EXPORT int32_t VC_API DetectFileFormat(const char *fileName, uint8_t *format, int32_t byContent) {
    uint8_t code = 0;
    if (format) *format = 0;
    int16_t r;
    if (!fileName)
        r = byContent ? CONV_E_OPEN : CONV_E_FORMAT;
    else
        r = byContent ? detectByContent(fileName, code) : detectByName(fileName, code);
    if (r == CONV_OK && format) *format = code;
    return widen(r);
}

VC_EXPORT int32_t VC_API LoadConvImage(void *parent, const char *fileName, ConvImageRecord *record,
                                       uint8_t *format, uint32_t option, HostCallback callback) {
    if (record) record->image = nullptr;
    uint8_t code = 0;
    int32_t r = DetectFileFormat(fileName, &code, 1);
    if (format) *format = code;
    if (r < 0) return r;
    if (!record && !(code & CONV_FMT_MULTIFRAME)) return CONV_E_FORMAT;
    FormatRow *row = findFormat(code);
    Result result = Result::unsupported;
    if (row && row->load) result = row->load(LoadRequest{parent, fileName, record, option, callback});
    if (row && format) *format = record ? row->codeAfterLoadWithRecord : row->codeAfterLoadWithout;
    return widen(toConvResult(result));
}

VC_EXPORT int32_t VC_API SaveConvImage(void *parent, const char *fileName, void *image, int32_t format,
                                       uint32_t option, HostCallback callback) {
    Wnd progress = nullptr;
    if (parent) progress = CreateProgressDialog(parent, plat::module(), IDD_PROGRESS);
    FormatRow *row = findFormat(format);
    Result result = Result::unsupported;
    // The one-image rows of formats that are only read have no writer; the
    // program-resource row (131) is one of them.
    if (row && row->save && fileName && *fileName)
        result = row->save(SaveRequest{parent, fileName, image, option, progress, callback});
    else if (row && row->save)
        result = Result::createFailed;
    if (progress) DestroyProgressDialog(progress);
    return widen(toConvResult(result));
}

VC_EXPORT int32_t VC_API GetDesiredBitPix(int32_t format, int32_t bitsPerPixel) {
    const uint8_t code = uint8_t(format & 0xFF);
    const int32_t bits = int32_t(uint16_t(bitsPerPixel));
    return code < 128 || code > 167 ? bits : desiredBitCount(code, bits);
}

VC_EXPORT int32_t VC_API GetPreviewImage(const char *fileName, ConvImageRecord *record) {
    uint8_t code = 0;
    int32_t r = DetectFileFormat(fileName, &code, 1);
    if (r < 0) return r;
    FormatRow *row = findFormat(code);
    if (!row || !row->preview || !record) return CONV_E_FORMAT;
    return widen(toConvResult(row->preview(fileName, record)));
}

VC_EXPORT int32_t VC_API NewConvFile(void *parent, char *fileName, int32_t format, uint32_t option,
                                     HostCallback callback) {
    FormatRow *row = animationRow(format);
    return row && row->newDocument ? row->newDocument(parent, fileName, option, callback) : 0;
}

VC_EXPORT int32_t VC_API ProcessCommand(void *parent, int32_t commandId, int32_t format, void *document,
                                        uint32_t option, HostCallback callback) {
    FormatRow *row = animationRow(format);
    return row && row->command ? row->command(parent, uint16_t(commandId), document, option, callback) : 0;
}

VC_EXPORT int32_t VC_API NotifyFrameChange(int32_t format, void *document, int32_t changeKind, int32_t frameIndex,
                                           HostCallback callback) {
    FormatRow *row = animationRow(format);
    return row && row->frameChanged ? row->frameChanged(document, changeKind, uint16_t(frameIndex), callback) : 0;
}

}  // extern "C"
