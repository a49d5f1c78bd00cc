// velmconv: the reference host. It plays the editor's part: loads the
// library, asks for its formats, and drives the exports on files, keeping
// whatever frames, hotspots, documents and menu items the library hands
// over.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/avi_answers.h"
#include "host/editor.h"
#include "host/image.h"
#include "host/library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include "controls/playback_model.h"
#include "cursor/cursor_format.h"  // the control ids of templates 107 and 108
#include "gif/gif_anim.h"          // the document record and its screen
#include "platform/headless_dialog.h"
#include "resources/strings.h"
#include "velmconv/headless.h"
#include "video/resource_reader.h"  // the model of template 102
#endif

namespace {

using host::Editor;
using host::Library;

Library gLib;

const char *formatName(int code) {
    switch (code) {
    case CONV_FMT_PCX: return "PCX";
    case CONV_FMT_GIF: return "GIF";
    case CONV_FMT_TIFF: return "TIFF";
    case CONV_FMT_RESOURCE: return "program resources";
    case CONV_FMT_ICON: return "ICO/CUR";
    case CONV_FMT_JPEG: return "JPEG";
    case CONV_FMT_AVI: return "AVI";
    case CONV_FMT_ANI: return "ANI";
    case CONV_FMT_ANIGIF: return "animated GIF";
    default: return "unknown";
    }
}

const char *resultName(int r) {
    switch (r) {
    case CONV_OK: return "done";
    case CONV_CANCELLED: return "nothing done";
    case CONV_E_OPEN: return "cannot open the file";
    case CONV_E_FORMAT: return "not a format of this library, or not the one expected";
    case CONV_E_READ: return "file short or damaged";
    case CONV_E_UNSUPPORTED: return "variant or format not supported";
    case CONV_E_MEMORY: return "out of memory";
    case CONV_E_DATA: return "image data inconsistent";
    case CONV_E_CREATE: return "cannot create the output file";
    case CONV_E_WRITE: return "writing the output file failed";
    default: return "unknown result";
    }
}

struct Options {
    int format = -1;       // --format CODE
    uint32_t option = 0;   // --option N
    bool parent = true;    // --no-parent: no progress window
    bool quiet = false;
    std::vector<int> cancelDialogs;  // --cancel TEMPLATE
    int cursorSize = 0;              // --cursor-size: the button of template 107, 0 for Enter
    std::string cursorFormat;        // --cursor-format: what template 108 is set to before OK
    std::string gifImport;           // --gif-import: the choice in template 109 before OK
    int maxCanvases = 0;             // --max-canvases: 0 for one pass
    const char *browser = nullptr;   // --browser: the browser preview's command
    std::vector<std::string> script; // --do: actions in the animation dialog
    std::string resource;            // --resource: the line of template 102 picked, leading spaces removed
    host::AviOptions avi;            // --avi-*: the answers to the AVI dialogs
    host::EditorOptions editor;
};

bool hasExtension(const std::string &name, const char *ext) {
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string e = name.substr(dot);
    for (auto &c : e) c = char(std::tolower(static_cast<unsigned char>(c)));
    return e == ext;
}

// ---- The window system the host gives the library ----------------------------
#if defined(_WIN32)
void *makeParentWindow() { return GetConsoleWindow(); }
void installUi(const Options &) {}
#else
bool gProgressShown = false;

void drawProgress(void *, void *window, int32_t percent, int32_t visible) {
    if (!window) {
        if (gProgressShown) std::fputc('\n', stderr);
        gProgressShown = false;
        return;
    }
    if (!visible) return;
    gProgressShown = true;
    const int width = 40;
    int filled = percent * width / 100;
    std::fprintf(stderr, "\rConverting... [%.*s%*s] %3d%%", filled, "########################################",
                 width - filled, "", percent);
    std::fflush(stderr);
}

int32_t showMessage(void *, void *, const char *text, const char *title, uint32_t) {
    std::fprintf(stderr, "%s%s: %s\n", gProgressShown ? "\n" : "", title, text);
    return 1;
}

void beep(void *, uint32_t) { std::fputc('\a', stderr); }

void *makeParentWindow() { return VcCreateWindow(nullptr, 0, 0, 1024, 768); }

constexpr int32_t kCursorAnimationTemplate = 106;

// The --do actions, in order, in the animation dialog: click:ID, text:ID=TEXT,
// select:ID=N, scroll:ID=CODE, reel:ID=CODE,FRAME, keys:shift+ctrl+alt+enter
// (or none), and ok or cancel (also the end of the script: Enter).
intptr_t runScript(const std::vector<std::string> &script, VcDialog *dialog) {
    for (const std::string &action : script) {
        std::string verb = action, arg, value;
        if (size_t c = verb.find(':'); c != std::string::npos) arg = verb.substr(c + 1), verb.resize(c);
        if (size_t e = arg.find_first_of("=,"); e != std::string::npos) value = arg.substr(e + 1), arg.resize(e);
        const int32_t id = std::atoi(arg.c_str());
        int done = 1;
        if (verb == "ok") return VcDialogClick(dialog, 1) ? 1 : VC_DIALOG_DEFAULT;
        else if (verb == "cancel") return 0;
        else if (verb == "click") done = VcDialogClick(dialog, id);
        else if (verb == "text") done = VcDialogSetText(dialog, id, value.c_str());
        else if (verb == "select") done = VcDialogSelect(dialog, id, std::atoi(value.c_str()));
        else if (verb == "scroll") done = VcDialogScroll(dialog, id, std::atoi(value.c_str()));
        else if (verb == "reel") {
            const size_t c = value.find(',');
            VcDialogReelNotify(dialog, id, std::atoi(value.c_str()),
                               c == std::string::npos ? 0 : std::atoi(value.c_str() + c + 1));
        } else if (verb == "keys") {
            int32_t keys = 0;
            if (arg.find("shift") != std::string::npos) keys |= 1;
            if (arg.find("ctrl") != std::string::npos) keys |= 2;
            if (arg.find("alt") != std::string::npos) keys |= 4;
            if (arg.find("enter") != std::string::npos) keys |= 8;
            VcDialogKeys(dialog, keys);
        } else {
            std::fprintf(stderr, "velmconv: unknown action %s\n", action.c_str());
        }
        if (!done) std::fprintf(stderr, "velmconv: %s: refused\n", action.c_str());
    }
    return VC_DIALOG_DEFAULT;
}

// The lines of the last "Open Resource Bitmap" list, for info to print.
std::string gResourceLines;

// Template 102: notes every line with its size and colours as the preview
// shows them, then picks the line named by --resource (default line 0, as
// the dialog selects it); a name not in the list cancels.
intptr_t answerResourceBitmap(const Options &o, VcDialog *dialog) {
    auto *m = vc::plat::dialogAs<vc::ResourceBitmapModel>(dialog);
    if (!m) return VC_DIALOG_DEFAULT;
    gResourceLines.clear();
    int32_t pick = o.resource.empty() ? 0 : -1;
    for (int32_t i = 0; i < int32_t(m->items.size()); ++i) {
        const std::string text = m->itemText(i);
        (void)m->select(vc::kResBmpList, i);
        vc::BitmapPreview p;
        const uint8_t *data = m->image ? m->image.lock() : nullptr;
        const bool known = data && vc::bitmapPreview(data, m->image.size(), 0, 0, p);
        m->image.unlock();
        gResourceLines += "  bitmap: " + text + " (" +
                          (known ? p.sizeText + ", " + p.colorsText + " colours" : std::string("unreadable")) + ")\n";
        if (pick < 0 && text.substr(std::min(text.find_first_not_of(' '), text.size())) == o.resource) pick = i;
    }
    if (pick < 0) {
        std::fprintf(stderr, "velmconv: no bitmap named %s\n", o.resource.c_str());
        return 0;
    }
    (void)m->select(vc::kResBmpList, pick);
    return VC_DIALOG_DEFAULT;
}

// Dialogs are answered as the user pressing Enter would, after the choices
// the command line makes in them, except those it says to cancel.
intptr_t answerDialog(void *user, int32_t templateId, VcDialog *dialog) {
    const auto *o = static_cast<const Options *>(user);
    for (int id : o->cancelDialogs)
        if (id == templateId) return 0;
    if (templateId == IDD_RESOURCE_BITMAP) return answerResourceBitmap(*o, dialog);
    if (host::isAviDialog(templateId)) return host::answerAviDialog(o->avi, templateId, dialog);
    if (templateId == vc::kSelectCursorTemplate && o->cursorSize) VcDialogClick(dialog, o->cursorSize);
    if (templateId == vc::kChangeCursorTemplate && !o->cursorFormat.empty()) {
        // SIZE[,COLORS[,noscale]]: SIZE 16, 32, 64 or WxH; COLORS 2, 16, 256.
        std::string size = o->cursorFormat, colors, rest;
        if (size_t c = size.find(','); c != std::string::npos) colors = size.substr(c + 1), size.resize(c);
        if (size_t c = colors.find(','); c != std::string::npos) rest = colors.substr(c + 1), colors.resize(c);
        if (size == "16") VcDialogClick(dialog, vc::kCursorSize16);
        else if (size == "32") VcDialogClick(dialog, vc::kCursorSize32);
        else if (size == "64") VcDialogClick(dialog, vc::kCursorSize64);
        else if (size_t x = size.find('x'); x != std::string::npos) {
            VcDialogClick(dialog, vc::kCursorSizeOther);
            VcDialogSetText(dialog, vc::kCursorEditX, size.substr(0, x).c_str());
            VcDialogSetText(dialog, vc::kCursorEditY, size.substr(x + 1).c_str());
        }
        if (colors == "2") VcDialogClick(dialog, vc::kCursorColors2);
        else if (colors == "16") VcDialogClick(dialog, vc::kCursorColors16);
        else if (colors == "256") VcDialogClick(dialog, vc::kCursorColors256);
        if (rest == "noscale") VcDialogClick(dialog, vc::kCursorScale);  // on at start
    }
    if ((templateId == kCursorAnimationTemplate || templateId == IDD_GIF_ANIMATION) && !o->script.empty())
        return runScript(o->script, dialog);
    if (templateId == IDD_GIF_IMPORT && !o->gifImport.empty()) {
        // sequence[:WxH], frame:N or assembled. The size fields refuse text
        // while the editor's size rules.
        std::string mode = o->gifImport, arg;
        if (size_t c = mode.find(':'); c != std::string::npos) arg = mode.substr(c + 1), mode.resize(c);
        if (mode == "frame") {
            VcDialogSelect(dialog, IDC_GIFIMP_LIST, std::atoi(arg.c_str()));
        } else if (mode == "assembled") {
            VcDialogClick(dialog, IDC_GIFIMP_ASSEMBLED);
        } else if (size_t x = arg.find('x'); mode == "sequence" && x != std::string::npos) {
            VcDialogSetText(dialog, IDC_GIFIMP_WIDTH, arg.substr(0, x).c_str());
            VcDialogSetText(dialog, IDC_GIFIMP_HEIGHT, arg.substr(x + 1).c_str());
        }
    }
    return VC_DIALOG_DEFAULT;
}

void installUi(const Options &o) {
    VcUiHost ui{};
    ui.user = const_cast<Options *>(&o);
    ui.dialog = answerDialog;
    if (!o.quiet && isatty(2)) ui.progress = drawProgress;
    ui.messageBox = showMessage;
    ui.beep = beep;
    VcSetUiHost(&ui);
    if (o.browser) VcSetBrowserCommand(o.browser);
}
#endif

// ---- Commands ----------------------------------------------------------------

int cmdFormats(const Options &) {
    static const int flagSets[] = {1, 2, 4, 129, 130};
    for (int flags : flagSets) {
        char text[2048] = {};
        uint8_t codes[32] = {};
        int n = gLib.getFormats(text, codes, flags);
        std::printf("flags %d: %d format%s\n", flags, n, n == 1 ? "" : "s");
        const char *p = text;
        for (int i = 0; i < n; ++i) {
            const char *description = p;
            const char *patterns = p + std::strlen(p) + 1;
            std::printf("  %3d  %-40s %s\n", codes[i], description, patterns);
            p = patterns + std::strlen(patterns) + 1;
        }
    }
    return 0;
}

int cmdDetect(const std::vector<std::string> &files) {
    int status = 0;
    for (const auto &f : files) {
        uint8_t byName = 0, byContent = 0;
        int rn = gLib.detectFileFormat(f.c_str(), &byName, 0);
        int rc = gLib.detectFileFormat(f.c_str(), &byContent, 1);
        std::printf("%s\n  by name:    ", f.c_str());
        if (rn == CONV_OK) std::printf("%d (%s)\n", byName, formatName(byName));
        else std::printf("%d (%s)\n", rn, resultName(rn));
        std::printf("  by content: ");
        if (rc == CONV_OK) std::printf("%d (%s)\n", byContent, formatName(byContent));
        else std::printf("%d (%s)\n", rc, resultName(rc));
        if (rc == CONV_E_OPEN) status = 1;
    }
    return status;
}

// Loads a file into the editor: the editor reads BMP itself; everything
// else goes through LoadConvImage, with an output record for single-image
// formats and without one for animations (their frames come through the
// callback; icons hand theirs through it too, but are single-image and so
// still need a record to be loaded at all). Returns the library's result,
// or 1 for BMP.
int loadInto(Editor &ed, const std::string &file, const Options &o, void *parent, uint8_t &format) {
    if (hasExtension(file, ".bmp")) {
        std::string error;
        auto img = host::readBmp(file, error);
        if (!img) {
            std::fprintf(stderr, "velmconv: %s: %s\n", file.c_str(), error.c_str());
            return CONV_E_FORMAT;
        }
        ed.addFrame(std::move(*img));
        format = 0;
        return CONV_OK;
    }
    uint8_t detected = 0;
    int r = gLib.detectFileFormat(file.c_str(), &detected, 1);
    if (r != CONV_OK) return r;
    ed.makeCurrent();
    ConvImageRecord record{};
    bool withRecord = !(detected & CONV_FMT_MULTIFRAME);
    format = detected;
    // The editor's file-name buffer: a program's reader writes the picked
    // bitmap's name into it.
    char name[260] = {};
    std::snprintf(name, sizeof name, "%s", file.c_str());
    r = gLib.loadConvImage(parent, name, withRecord ? &record : nullptr, &format, o.option, Editor::callback());
    if (record.image) {
        size_t size = Library::memSize(record.image);
        if (auto *p = static_cast<const uint8_t *>(Library::memLock(record.image))) {
            auto img = host::fromPackedDib(p, size);
            Library::memUnlock(record.image);
            if (img) ed.addFrame(std::move(*img));
        }
        Library::memFree(record.image);
    }
    return r;
}

// Loads a file for a command that needs its pictures; reports a failure.
bool loadOrReport(Editor &ed, const std::string &file, const Options &o, void *parent) {
    uint8_t format = 0;
    int r = loadInto(ed, file, o, parent, format);
    if (r == CONV_OK) return true;
    std::fprintf(stderr, "velmconv: loading %s: %d (%s)\n", file.c_str(), r, resultName(r));
    return false;
}

// What an animated cursor's document holds: the anih fields at offset 4,
// title and author at 40 and 120, rates at 200, the sequence at 1224.
std::string describeCursorAnimation(const uint8_t *doc) {
    auto u32 = [doc](size_t at) {
        return uint32_t(doc[at] | doc[at + 1] << 8 | doc[at + 2] << 16) | uint32_t(doc[at + 3]) << 24;
    };
    auto text = [doc](size_t at) {
        const char *s = reinterpret_cast<const char *>(doc + at);
        return std::string(s, strnlen(s, 79));
    };
    // Appended piece by piece: chains of + that start from a literal make
    // GCC warn of overlapping copies (-Wrestrict) where there are none.
    const uint32_t steps = std::min<uint32_t>(u32(12), 256);
    std::string out = "  cursor animation: ";
    out += std::to_string(u32(8));
    out += " frames, ";
    out += std::to_string(steps);
    out += " steps, default rate ";
    out += std::to_string(u32(32));
    out += "\n  title: \"";
    out += text(40);
    out += "\"\n  author: \"";
    out += text(120);
    out += "\"\n  steps (frame/rate):";
    for (uint32_t i = 0; i < steps; ++i) {
        out += ' ';
        out += std::to_string(u32(1224 + 4 * i));
        out += '/';
        out += std::to_string(u32(200 + 4 * i));
    }
    out += '\n';
    return out;
}

void printEditor(const Editor &ed) {
    std::printf("  frames: %zu\n", ed.frames.size());
    for (size_t i = 0; i < ed.frames.size(); ++i) {
        const auto &f = ed.frames[i];
        std::printf("  frame %zu: %dx%d, %d bits", i, f.image.width, f.image.height, f.image.bitCount);
        if (f.hotspot) std::printf(", hotspot %u,%u", f.hotspot & 0xFFFF, f.hotspot >> 16);
        if (!f.image.mask.empty()) std::printf(", mask");
        if (!f.noteFile.empty()) std::printf(", noted as %d", f.noteFormat);
        std::printf("\n");
    }
    if (ed.transparent) std::printf("  transparent colour: #%06X\n", *ed.transparent);
    if (ed.document) {
        uint16_t code = 0;
        std::string cursorAnimation;
        if (auto *p = static_cast<const uint8_t *>(Library::memLock(ed.document))) {
            code = uint16_t(p[0] | p[1] << 8);
            if (code == CONV_FMT_ANI && Library::memSize(ed.document) >= 2248)
                cursorAnimation = describeCursorAnimation(p);
            Library::memUnlock(ed.document);
        }
        std::printf("  animation document: %u (%zu bytes)\n", code, Library::memSize(ed.document));
        std::fputs(cursorAnimation.c_str(), stdout);
    }
    for (const auto &m : ed.menu)
        std::printf("  menu item: slot %d, position %u, command %u, flags %u%s%s\n", m.slot, m.position, m.commandId,
                    m.flags, m.text.empty() ? "" : ", ", m.text.c_str());
}

int cmdInfo(const std::string &file, const Options &o, void *parent) {
    Editor ed(o.editor);
    uint8_t format = 0;
    int r = loadInto(ed, file, o, parent, format);
    std::printf("%s\n  result: %d (%s)\n  format byte: %d (%s)\n", file.c_str(), r, resultName(r), format,
                formatName(format));
#if !defined(_WIN32)
    std::fputs(gResourceLines.c_str(), stdout);
#endif
    std::fputs(host::gAviLines.c_str(), stdout);
    printEditor(ed);
    return r == CONV_OK ? 0 : 1;
}

// The code an output file is saved with: --format, else by name; ANI and
// AVI are not known by name to the library, and a GIF with an animation
// document or several frames is saved as an animated GIF.
int saveCode(const std::string &out, const Options &o, const Editor &ed) {
    if (o.format >= 0) return o.format;
    if (hasExtension(out, ".ani")) return CONV_FMT_ANI;
    if (hasExtension(out, ".avi")) return CONV_FMT_AVI;
    uint8_t code = 0;
    if (gLib.detectFileFormat(out.c_str(), &code, 0) != CONV_OK) return -1;
    if (code == CONV_FMT_GIF && (ed.frames.size() > 1 || ed.document)) return CONV_FMT_ANIGIF;
    return code;
}

int cmdConvert(const std::string &in, const std::string &out, const Options &o, void *parent) {
    Editor ed(o.editor);
    if (!loadOrReport(ed, in, o, parent)) return 1;
    if (ed.frames.empty()) {
        std::fprintf(stderr, "velmconv: %s holds no image\n", in.c_str());
        return 1;
    }
    if (hasExtension(out, ".bmp")) return host::writeBmp(out, ed.frames[size_t(ed.current)].image) ? 0 : 1;
    int code = saveCode(out, o, ed);
    if (code < 0) {
        std::fprintf(stderr, "velmconv: %s: no format for this name; give --format CODE\n", out.c_str());
        return 1;
    }
    int depth = gLib.getDesiredBitPix(code, ed.frames[size_t(ed.current)].image.bitCount);
    if (depth == 32 || depth == 16) depth = 24;
    void *block = ed.currentFrameBlock(uint16_t(depth));
    ed.makeCurrent();
    int r = gLib.saveConvImage(parent, out.c_str(), block, code, o.option, Editor::callback());
    Library::memFree(block);
    if (!o.quiet) std::printf("%s -> %s (%d, %s): %d (%s)\n", in.c_str(), out.c_str(), code, formatName(code), r, resultName(r));
    return r == CONV_OK ? 0 : 1;
}

int cmdPreview(const std::string &file, const std::string &out) {
    ConvImageRecord record{};
    char message[261] = {};
    record.messageText = message;
    record.messageSize = sizeof message;
    int r = gLib.getPreviewImage(file.c_str(), &record);
    if (r != CONV_OK || !record.image) {
        std::fprintf(stderr, "velmconv: preview of %s: %d (%s)%s%s\n", file.c_str(), r, resultName(r),
                     message[0] ? ": " : "", message);
        if (record.image) Library::memFree(record.image);
        return 1;
    }
    size_t size = Library::memSize(record.image);
    bool ok = false;
    if (auto *p = static_cast<const uint8_t *>(Library::memLock(record.image))) {
        ok = host::writePackedDibAsBmp(out, p, size, record.bitsOffset);
        Library::memUnlock(record.image);
    }
    Library::memFree(record.image);
    if (!ok) std::fprintf(stderr, "velmconv: cannot write %s\n", out.c_str());
    return ok ? 0 : 1;
}

int cmdExtract(const std::string &file, const std::string &dir, const Options &o, void *parent) {
    Editor ed(o.editor);
    if (!loadOrReport(ed, file, o, parent)) return 1;
    for (size_t i = 0; i < ed.frames.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%03zu.bmp", i);
        if (!host::writeBmp(dir + name, ed.frames[i].image)) {
            std::fprintf(stderr, "velmconv: cannot write %s%s\n", dir.c_str(), name);
            return 1;
        }
    }
    if (!o.quiet) std::printf("%s: %zu frame%s written to %s\n", file.c_str(), ed.frames.size(), ed.frames.size() == 1 ? "" : "s", dir.c_str());
    return 0;
}

#if !defined(_WIN32)
// The playback window as the host shows it: the editor's own frames
// composed on a canvas of pixels by the library's playback model.
class HostCanvas final : public vc::PlaybackSurface {
public:
    HostCanvas(const Editor &ed, const vc::GifAnimRecord &record) : ed_(ed), background_(vc::playbackBackground(record)) {
        canvas.resize(record.screenWidth, record.screenHeight, background_);
        if (ed.transparent) transparent_ = *ed.transparent;
    }
    void fillBackground(int32_t left, int32_t top, int32_t width, int32_t height) override {
        canvas.fill(left, top, width, height, background_);
    }
    bool drawFrame(int32_t frame, int32_t left, int32_t top, int32_t width, int32_t height) override {
        if (frame < 0 || size_t(frame) >= ed_.frames.size()) return false;
        const host::Image &img = ed_.frames[size_t(frame)].image;
        std::vector<uint32_t> pixels(size_t(img.width) * size_t(img.height));
        for (int32_t y = 0; y < img.height; ++y)
            for (int32_t x = 0; x < img.width; ++x) pixels[size_t(y) * size_t(img.width) + size_t(x)] = img.pixel(x, y);
        canvas.compose(pixels.data(), img.width, img.height, left, top, width, height, transparent_);
        return true;
    }
    void paint() override { painted = true; }

    vc::PlaybackCanvas canvas;
    bool painted = false;

private:
    const Editor &ed_;
    uint32_t background_;
    std::optional<uint32_t> transparent_;
};

bool writeCanvas(const std::string &path, const vc::PlaybackCanvas &c) {
    host::Image img;
    img.width = c.width;
    img.height = c.height;
    img.bitCount = 24;
    img.bits.assign(size_t(img.rowBytes()) * size_t(c.height), 0);
    for (int32_t y = 0; y < c.height; ++y)
        for (int32_t x = 0; x < c.width; ++x) {
            uint8_t *p = img.bits.data() + size_t(c.height - 1 - y) * img.rowBytes() + size_t(x) * 3;
            const uint32_t v = c.at(x, y);
            p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
        }
    return host::writeBmp(path, img);
}

// Plays the GIF animation document as the preview window would and writes
// every canvas as it is shown; frames that wait for the user go on at once.
int cmdPlay(const std::string &file, const std::string &dir, const Options &o, void *parent) {
    Editor ed(o.editor);
    if (!loadOrReport(ed, file, o, parent)) return 1;
    vc::GifAnimRecord record{};
    bool isGif = false;
    if (ed.document && Library::memSize(ed.document) >= sizeof record)
        if (auto *p = static_cast<const vc::GifAnimRecord *>(Library::memLock(ed.document))) {
            isGif = p->formatCode == vc::kGifRecordCode;
            std::memcpy(&record, p, sizeof record);
            Library::memUnlock(ed.document);
        }
    if (!isGif || ed.current < 0) {
        std::fprintf(stderr, "velmconv: %s holds no GIF animation\n", file.c_str());
        return 1;
    }
    // As the animation dialog hands it over: the editor's image size, the
    // screen the frames' positions spread over.
    vc::extendGifFrames(record, int32_t(ed.frames.size()));
    record.outputWidth = uint16_t(ed.frames[size_t(ed.current)].image.width);
    record.outputHeight = uint16_t(ed.frames[size_t(ed.current)].image.height);
    vc::ComputeGifScreenSize(record, record.outputWidth, record.outputHeight);
    const int32_t frames = vc::recordFrames(record);
    const int maxCanvases = o.maxCanvases > 0 ? o.maxCanvases : frames;
    HostCanvas surface(ed, record);
    vc::PlaybackModel play(record, true);
    play.start(surface);
    std::printf("%s: %d frame%s, screen %dx%d, repeat %s, loops %u\n", file.c_str(), frames, frames == 1 ? "" : "s",
                record.screenWidth, record.screenHeight, record.repeat ? "on" : "off", record.loopCount);
    int written = 0;
    // Bounded by the delays of maxCanvases frames: at most 32701 ticks each.
    for (uint64_t ticks = 0; written < maxCanvases && ticks < uint64_t(maxCanvases) * 32702 + 2; ++ticks) {
        if (play.idle()) {
            if (play.finished()) break;
            (void)play.userInput();  // a frame waiting for the user: a click
        } else {
            play.tick();
        }
        if (!std::exchange(surface.painted, false)) continue;
        char name[32];
        std::snprintf(name, sizeof name, "/canvas_%03d.bmp", written);
        if (!writeCanvas(dir + name, surface.canvas)) {
            std::fprintf(stderr, "velmconv: cannot write %s%s\n", dir.c_str(), name);
            return 1;
        }
        const vc::GifFrameEntry &f = record.frames[play.current()];
        std::printf("canvas %03d: frame %d, loop %u, ", written, play.current(), play.loopsDone());
        if (f.delay) std::printf("shown %u ticks\n", play.waitCounter() + 1);
        else std::printf(f.userInput ? "waits for the user\n" : "shown 0 ticks\n");
        ++written;
    }
    std::printf("%d canvas%s written to %s%s\n", written, written == 1 ? "" : "es", dir.c_str(),
                play.finished() && play.idle() ? ", finished" : "");
    return 0;
}

// Opens the animation dialog of the file's document (template 106 for an
// animated cursor, 110 for an animated GIF) as the menu command does; the
// --do actions work it. With OUT the document is saved afterwards.
int cmdAnimate(const std::string &file, const std::string *out, const Options &o, void *parent) {
    Editor ed(o.editor);
    uint8_t format = 0;
    if (int r = loadInto(ed, file, o, parent, format); r != CONV_OK) {
        std::fprintf(stderr, "velmconv: loading %s: %d (%s)\n", file.c_str(), r, resultName(r));
        return 1;
    }
    if (!ed.document) {
        std::fprintf(stderr, "velmconv: %s holds no animation document\n", file.c_str());
        return 1;
    }
    ed.makeCurrent();
    const int r = gLib.processCommand(parent, CONV_CMD_ANIMATION, format, ed.document, o.option, Editor::callback());
    std::printf("%s: animation dialog: %d (%s)\n", file.c_str(), r, r == 1 ? "OK" : "cancelled");
    printEditor(ed);
    if (!out) return 0;
    int code = saveCode(*out, o, ed);
    void *block = ed.currentFrameBlock(ed.frames[size_t(ed.current)].image.bitCount);
    const int s = gLib.saveConvImage(parent, out->c_str(), block, code, o.option, Editor::callback());
    Library::memFree(block);
    std::printf("%s -> %s (%d, %s): %d (%s)\n", file.c_str(), out->c_str(), code, formatName(code), s, resultName(s));
    return s == CONV_OK ? 0 : 1;
}
#endif

void usage() {
    std::fputs(
        "usage: velmconv COMMAND [options] ...\n"
        "  formats                    list the formats and filter strings the library offers\n"
        "  detect FILE...             detect each file's format by name and by content\n"
        "  info FILE                  load a file and describe what the editor received\n"
        "  convert IN OUT             load IN and save OUT (format from OUT's name or --format)\n"
        "  preview FILE OUT.bmp       write the library's preview of FILE as a BMP file\n"
        "  extract FILE DIR           write every frame the library hands over as DIR/frame_NNN.bmp\n"
        "  play FILE DIR              play a GIF animation as the preview window does, writing each\n"
        "                             canvas shown as DIR/canvas_NNN.bmp with a timeline (Linux)\n"
        "  animate FILE [OUT]         open the document's animation dialog (106 or 110), work it with\n"
        "                             the --do actions, then save OUT (Linux)\n"
        "options:\n"
        "  --format CODE   format code to save with (128 PCX, 129 GIF, 130 TIFF, 132 ICO/CUR,\n"
        "                  133 JPEG, 165 AVI, 166 ANI, 167 animated GIF)\n"
        "  --option N      option word passed to the load or save\n"
        "  --no-parent     no parent window (no progress window)\n"
        "  --cancel ID     cancel the dialog with template ID (others are answered with Enter)\n"
        "  --cursor-size 16|32|64|keep   the answer to \"Select Cursor Format\" (107)\n"
        "  --cursor-format SIZE[,COLORS[,noscale]]   the answer to \"Change Cursor Format\" (108):\n"
        "                  SIZE 16, 32, 64 or WxH, COLORS 2, 16 or 256\n"
        "  --gif-import sequence[:WxH]|frame:N|assembled   the answer to \"GIF - Importoptionen\" (109),\n"
        "                  asked when a GIF's frames differ in size (default: sequence at the largest size)\n"
        "  --max-canvases N   canvases play writes (default: one pass through the frames)\n"
        "  --browser CMD   the browser preview's command (default xdg-open; '' for none)\n"
        "  --do ACTION     an action in the animation dialog, in order: click:ID, text:ID=TEXT,\n"
        "                  select:ID=N, scroll:ID=CODE, reel:ID=CODE,FRAME, keys:shift+ctrl+alt+enter|none,\n"
        "                  ok, cancel (without either the dialog is answered with Enter)\n"
        "  --resource NAME the bitmap of a program file to load, as \"Open Resource Bitmap\" lists it\n"
        "                  without its leading spaces (default: the first line of the list)\n"
        "  --avi-frames LIST  the frames \"AVI Import\" (103) hands over, from 1: 1-10,15 or all\n"
        "                  (default 1), or every:STEP[:FROM[:COUNT]] through \"AVI Select Frames\" (104)\n"
        "  --avi-rate N    the frame rate \"AVI Export\" (105) writes (1 to 25; default 12)\n"
        "  --avi-delays LIST  each frame's delay in ticks of the rate (one for all, or one per frame)\n"
        "  --avi-sound FILE   the WAVE file merged into the exported video\n"
        "  --avi-codec NAME   the answer to the compression options (default uncompressed)\n"
        "  --dither        the editor prefers dithering\n"
        "  --refuse-documents  the editor refuses animation documents\n"
        "  --sound FILE    the file the editor's file dialog picks\n"
        "  --verbose       print every callback\n"
        "  --quiet         no progress bar or summary lines\n",
        stderr);
}

}  // namespace

int main(int argc, char **argv) {
    Options o;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--format") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.format = std::atoi(v);
        } else if (a == "--option") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.option = uint32_t(std::strtoul(v, nullptr, 0));
        } else if (a == "--cancel") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.cancelDialogs.push_back(std::atoi(v));
        } else if (a == "--cursor-size") {
            const char *v = next();
            if (!v) return usage(), 2;
            std::string s = v;
            o.cursorSize = s == "16" ? 100 : s == "32" ? 101 : s == "64" ? 102 : s == "keep" ? 103 : -1;
            if (o.cursorSize < 0) return usage(), 2;
        } else if (a == "--cursor-format") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.cursorFormat = v;
        } else if (a == "--gif-import") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.gifImport = v;
        } else if (a == "--max-canvases") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.maxCanvases = std::atoi(v);
        } else if (a == "--browser") {
            o.browser = next();
            if (!o.browser) return usage(), 2;
        } else if (a == "--do") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.script.push_back(v);
        } else if (a == "--resource") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.resource = v;
        } else if (a.rfind("--avi-", 0) == 0) {
            if (!host::aviOption(a, next(), o.avi, o.editor.soundFile)) return usage(), 2;
        } else if (a == "--no-parent") o.parent = false;
        else if (a == "--dither") o.editor.dither = true;
        else if (a == "--refuse-documents") o.editor.refuseDocuments = true;
        else if (a == "--sound") {
            const char *v = next();
            if (!v) return usage(), 2;
            o.editor.soundFile = v;
        } else if (a == "--verbose") o.editor.verbose = true;
        else if (a == "--quiet") o.quiet = true;
        else if (a == "-h" || a == "--help") return usage(), 0;
        else args.push_back(a);
    }
    if (args.empty()) return usage(), 2;

    std::string error;
    if (!gLib.open(error)) {
        std::fprintf(stderr, "velmconv: %s\n", error.c_str());
        return 1;
    }
    installUi(o);
    void *parent = o.parent ? makeParentWindow() : nullptr;

    const std::string &cmd = args[0];
    int status = 2;
    if (cmd == "formats" && args.size() == 1) status = cmdFormats(o);
    else if (cmd == "detect" && args.size() >= 2) status = cmdDetect({args.begin() + 1, args.end()});
    else if (cmd == "info" && args.size() == 2) status = cmdInfo(args[1], o, parent);
    else if (cmd == "convert" && args.size() == 3) status = cmdConvert(args[1], args[2], o, parent);
    else if (cmd == "preview" && args.size() == 3) status = cmdPreview(args[1], args[2]);
    else if (cmd == "extract" && args.size() == 3) status = cmdExtract(args[1], args[2], o, parent);
#if !defined(_WIN32)
    else if (cmd == "play" && args.size() == 3) status = cmdPlay(args[1], args[2], o, parent);
    else if (cmd == "animate" && (args.size() == 2 || args.size() == 3))
        status = cmdAnimate(args[1], args.size() == 3 ? &args[2] : nullptr, o, parent);
#endif
    else usage();
    gLib.close();
    return status;
}
