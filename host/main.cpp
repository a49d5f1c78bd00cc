// velmconv: the reference host. It plays the editor's part: loads the
// library, asks for its formats, and drives the exports on files, keeping
// whatever frames, hotspots, documents and menu items the library hands
// over.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/api_convert.h"
#include "host/avi_answers.h"
#include "host/cli.h"
#include "host/dialog_answers.h"
#include "host/documents.h"
#include "host/editor.h"
#include "host/icon_set.h"
#include "host/image.h"
#include "host/library.h"
#include "host/paths.h"
#include "host/theme.h"
#include "host/xcursor_commands.h"
#include "velmconv/api.h"
#include "velmconv/documents.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include "velmconv/headless.h"
#endif

namespace {

using host::Editor;
using host::Library;

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

// The dialogs' answers (--cancel, --cursor-size, --cursor-format,
// --gif-import, --resource) come with the dialog answer table.
struct Options : host::DialogAnswers {
    int format = -1;       // --format CODE
    uint32_t option = 0;   // --option N
    bool parent = true;    // --no-parent: no progress window
    bool quiet = false;
    bool interactive = false;  // --interactive: Windows dialogs wait for the user
    int maxCanvases = 0;             // --max-canvases: 0 for one pass
    const char *browser = nullptr;   // --browser: the browser preview's command
    std::vector<std::string> script; // --do: actions in the animation dialog
    host::EditorOptions editor;
    bool json = false;               // --json: info as one JSON object
    bool everyFrame = false;         // --every-frame: a BMP or PNG output per frame
    host::Batch batch;               // --to, --out, -j: many files
    host::theme::Options theme;      // --to windows|x, --inherits: the theme command
    bool themeDirection = false;     // --to named windows or x
    host::IconSetRequest iconSet;    // --sizes, --depths, --hotspot
};

// One run of velmconv: what its command line asked for, the library it
// drives, and what the run learns while the library works. The commands
// take it, and so do the answers to the library's dialogs, messages and
// progress: the user pointer of the window system the host gives the
// library carries it. Only the callbacks without a pointer of their own
// reach their part through one kept for them: the editor's (the editor
// made current) and, on Windows, the dialog timer's (the session's answers).
struct Session {
    Options o;
    std::vector<std::string> args;  // the command and its arguments
    std::string argument;           // the argument being read, for the message when it is wrong
    Library lib;
    // Why the last load came to nothing, when the host knows more than the
    // result code says (a dialog's refusal, a file the editor could not read).
    std::string loadNote;
    int messagesShown = 0;       // the library's messages shown on the console
    bool progressShown = false;  // the progress bar is on the console's last line
    // The lines of the last "Open Resource Bitmap" list, for info to tell.
    std::vector<host::LoadFacts::Bitmap> resourceLines;
    host::AviRun avi;  // what the AVI dialogs showed
};

// ---- The window system the host gives the library ----------------------------
#if defined(_WIN32)
void *makeParentWindow() { return GetConsoleWindow(); }
void installUi(Session &s) {
    if (!s.o.interactive) host::driveDialogs(s.o, s.avi);
}
#else
void drawProgress(void *user, void *window, int32_t percent, int32_t visible) {
    Session &s = *static_cast<Session *>(user);
    if (!window) {
        if (s.progressShown) std::fputc('\n', stderr);
        s.progressShown = false;
        return;
    }
    if (!visible) return;
    s.progressShown = true;
    const int width = 40;
    int filled = percent * width / 100;
    std::fprintf(stderr, "\rConverting... [%.*s%*s] %3d%%", filled, "########################################",
                 width - filled, "", percent);
    std::fflush(stderr);
}

int32_t showMessage(void *user, void *, const char *text, const char *title, uint32_t) {
    Session &s = *static_cast<Session *>(user);
    ++s.messagesShown;
    std::fprintf(stderr, "%s%s: %s\n", s.progressShown ? "\n" : "", title, text);
    return 1;
}

void beep(void *, uint32_t) { std::fputc('\a', stderr); }

void *makeParentWindow() { return VcCreateWindow(nullptr, 0, 0, 1024, 768); }

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
        if (verb == "ok") return VcDialogClick(dialog, VC_IDOK) ? VC_IDOK : VC_DIALOG_DEFAULT;
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

// Template 102: notes every line with its position (from 1), size and
// colours as the preview shows them, then picks the line named by
// --resource or numbered by --resource-line (default line 1, as the dialog
// selects it); a line not in the list cancels.
intptr_t answerResourceBitmap(Session &s, VcDialog *dialog) {
    const Options &o = s.o;
    const int32_t lines = VcDialogListCount(dialog, VC_IDC_RESBMP_LIST);
    if (lines < 0) return VC_DIALOG_DEFAULT;
    s.resourceLines.clear();
    int32_t pick = o.resourceLine > 0 ? (o.resourceLine <= lines ? o.resourceLine - 1 : -1) : o.resource.empty() ? 0 : -1;
    for (int32_t i = 0; i < lines; ++i) {
        const std::string text = host::dialogListLine(dialog, VC_IDC_RESBMP_LIST, i);
        VcDialogSelect(dialog, VC_IDC_RESBMP_LIST, i);
        s.resourceLines.push_back({i + 1, text, host::dialogText(dialog, VC_IDC_RESBMP_SIZE),
                                   host::dialogText(dialog, VC_IDC_RESBMP_COLORS)});
        if (pick < 0 && o.resourceLine <= 0 && host::isResourceLine(text, o.resource)) pick = i;
    }
    if (pick < 0) {
        if (o.resourceLine > 0)
            std::fprintf(stderr, "velmconv: --resource-line %d: the list has %d bitmap%s\n", o.resourceLine, lines,
                         lines == 1 ? "" : "s");
        else
            std::fprintf(stderr, "velmconv: no bitmap named %s\n", o.resource.c_str());
        return 0;
    }
    VcDialogSelect(dialog, VC_IDC_RESBMP_LIST, pick);
    return VC_DIALOG_DEFAULT;
}

// "GIF - Importoptionen" keeps a sequence size it does not take from
// being chosen, and the import ends with nothing done: notes which answer
// would work instead.
void noteGifImportRefusal(Session &s, VcDialog *dialog) {
    if (VcDialogChecked(dialog, VC_IDC_GIFIMP_SEQUENCE) == 1)
        s.loadNote = host::gifImportRefusal(host::dialogText(dialog, VC_IDC_GIFIMP_WIDTH),
                                            host::dialogText(dialog, VC_IDC_GIFIMP_HEIGHT),
                                            size_t(std::max(0, VcDialogListCount(dialog, VC_IDC_GIFIMP_LIST))));
}

// Dialogs are answered as the user pressing Enter would, after the choices
// the command line makes in them (the answer table), except those it says
// to cancel.
intptr_t answerDialog(void *user, int32_t templateId, VcDialog *dialog) {
    Session &s = *static_cast<Session *>(user);
    const Options &o = s.o;
    const host::DialogAnswer answer = host::answerFor(templateId, o);
    if (answer.cancel) return 0;
    // The list's lines are noted for info as the line is picked.
    if (templateId == VC_IDD_RESOURCE_BITMAP) return answerResourceBitmap(s, dialog);
    if (host::isAviDialog(templateId)) return host::answerAviDialog(o.avi, s.avi, templateId, dialog);
    for (const host::DialogStep &step : answer.steps) {
        if (step.kind == host::DialogStep::kClick) VcDialogClick(dialog, step.control);
        else if (step.kind == host::DialogStep::kText) VcDialogSetText(dialog, step.control, step.text.c_str());
        else if (step.kind == host::DialogStep::kSelect) VcDialogSelect(dialog, step.control, step.index);
    }
    if ((templateId == VC_IDD_CURSOR_ANIMATION || templateId == VC_IDD_GIF_ANIMATION) && !o.script.empty())
        return runScript(o.script, dialog);
    if (templateId == VC_IDD_GIF_IMPORT) noteGifImportRefusal(s, dialog);
    return VC_DIALOG_DEFAULT;
}

void installUi(Session &s) {
    VcUiHost ui{};
    ui.user = &s;
    ui.dialog = answerDialog;
    if (!s.o.quiet && isatty(2)) ui.progress = drawProgress;
    ui.messageBox = showMessage;
    ui.beep = beep;
    VcSetUiHost(&ui);
    if (s.o.browser) VcSetBrowserCommand(s.o.browser);
}
#endif

// ---- Commands ----------------------------------------------------------------

int cmdFormats(Session &s) {
    static const int flagSets[] = {1, 2, 4, 129, 130};
    for (int flags : flagSets) {
        char text[2048] = {};
        uint8_t codes[32] = {};
        int n = s.lib.getFormats(text, codes, flags);
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

int cmdDetect(Session &s, const std::vector<std::string> &files) {
    int status = 0;
    for (const auto &f : files) {
        uint8_t byName = 0, byContent = 0;
        int rn = s.lib.detectFileFormat(f.c_str(), &byName, 0);
        int rc = s.lib.detectFileFormat(f.c_str(), &byContent, 1);
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

// Why no detector took a file: it is empty, or none recognises its
// content (which may be a picture the editor reads itself under its name).
std::string unrecognised(const std::string &file) {
    std::error_code error;
    if (std::filesystem::file_size(host::paths::path(file), error) == 0 && !error) return "the file is empty";
    std::string why = "no format of this library recognises its content";
    char head[8] = {};
    if (std::FILE *f = std::fopen(file.c_str(), "rb")) {
        const size_t n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
        if (n == 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) why += "; it is a PNG picture, which is read under a .png name";
        else if (n >= 2 && head[0] == 'B' && head[1] == 'M') why += "; it looks like a BMP picture, which is read under a .bmp name";
    }
    return why;
}

#if !defined(_WIN32)
// A GIF of more images than an animation holds: says how many were left out.
// Only an editor holding a full animation can have been left short.
void noteDroppedGifImages(const std::string &file, size_t held) {
    if (held < size_t(VC_GIF_MAX_FRAMES)) return;
    vc_animation *all = nullptr;
    if (vc_read_path(file.c_str(), VC_FORMAT_GIF, nullptr, &all) != VC_OK) return;
    const uint32_t images = vc_animation_file_images(all);
    vc_animation_free(all);
    if (images > uint32_t(VC_GIF_MAX_FRAMES))
        std::fprintf(stderr, "velmconv: note: %s holds %u images; an animation holds %d, so %u were dropped\n",
                     file.c_str(), images, VC_GIF_MAX_FRAMES, images - uint32_t(VC_GIF_MAX_FRAMES));
}
#endif

// Loads a file into the editor: the editor reads BMP and PNG itself; everything
// else goes through LoadConvImage, with an output record for single-image
// formats and without one for animations (their frames come through the
// callback; icons hand theirs through it too, but are single-image and so
// still need a record to be loaded at all). Returns the library's result;
// for BMP and PNG, which the editor reads itself, the code of the same
// meaning, with the reason in the session's load note.
int loadInto(Session &s, Editor &ed, const std::string &file, void *parent, uint8_t &format) {
    const Options &o = s.o;
    s.loadNote.clear();
    if (host::ownFileOf(file) != host::OwnFile::none) {
        format = 0;
        if (std::FILE *f = std::fopen(file.c_str(), "rb")) std::fclose(f);
        else return s.loadNote = std::strerror(errno), CONV_E_OPEN;
        auto img = host::readOwnFile(file, s.loadNote, &ed.transparent);
        if (!img) return CONV_E_FORMAT;
        ed.addFrame(std::move(*img));
        return CONV_OK;
    }
    uint8_t detected = 0;
    int r = s.lib.detectFileFormat(file.c_str(), &detected, 1);
    if (r == CONV_E_FORMAT) s.loadNote = unrecognised(file);
    if (r != CONV_OK) return r;
    ed.makeCurrent();
    ConvImageRecord record{};
    bool withRecord = !(detected & CONV_FMT_MULTIFRAME);
    format = detected;
    // The editor's file-name buffer: a program's reader writes the picked
    // bitmap's name into it.
    char name[260] = {};
    std::snprintf(name, sizeof name, "%s", file.c_str());
    const size_t framesBefore = ed.frames.size();
    r = s.lib.loadConvImage(parent, name, withRecord ? &record : nullptr, &format, o.option, Editor::callback());
    if (r == CONV_E_FORMAT && s.loadNote.empty())
        s.loadNote = std::string("its content is ") + formatName(detected) + ", but the load refused it";
#if !defined(_WIN32)
    if (r == CONV_OK && (detected == CONV_FMT_GIF || detected == CONV_FMT_ANIGIF)) noteDroppedGifImages(file, ed.frames.size());
#endif
    if (r == CONV_OK && detected == CONV_FMT_AVI)
        if (const std::string why = host::aviShortfall(s.avi, ed.frames.size() - framesBefore); !why.empty())
            std::fprintf(stderr, "velmconv: %s: %s\n", file.c_str(), why.c_str());
    if (record.image) {
        size_t size = Library::memSize(record.image);
        if (auto *p = static_cast<const uint8_t *>(Library::memLock(record.image))) {
            auto img = host::fromPackedDib(p, size, 1, nullptr, &ed.transparent);
            Library::memUnlock(record.image);
            if (img) ed.addFrame(std::move(*img));
        }
        Library::memFree(record.image);
    }
    return r;
}

// Loads a file for a command that needs its pictures; reports a failure.
bool loadOrReport(Session &s, Editor &ed, const std::string &file, void *parent) {
    uint8_t format = 0;
    s.loadNote.clear();
    int r = loadInto(s, ed, file, parent, format);
    if (r == CONV_OK) return true;
    std::fprintf(stderr, "velmconv: loading %s: %d (%s)%s%s\n", file.c_str(), r, resultName(r),
                 s.loadNote.empty() ? "" : ": ", s.loadNote.c_str());
    return false;
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
            cursorAnimation = code == CONV_FMT_ANI ? host::describeCursorDocument(p, Library::memSize(ed.document))
                                                   : host::describeGifDocument(p, Library::memSize(ed.document));
            Library::memUnlock(ed.document);
        }
        std::printf("  animation document: %u (%zu bytes)\n", code, Library::memSize(ed.document));
        std::fputs(cursorAnimation.c_str(), stdout);
    }
    for (const auto &m : ed.menu)
        std::printf("  menu item: slot %d, position %u, command %u, flags %u%s%s\n", m.slot, m.position, m.commandId,
                    m.flags, m.text.empty() ? "" : ", ", m.text.c_str());
}

int cmdInfo(Session &s, const std::string &file, void *parent) {
    const Options &o = s.o;
    if (host::isXcursorFile(file)) return host::xcursorInfo(file, o.json);
    Editor ed(o.editor);
    uint8_t format = 0;
    s.loadNote.clear();
    int r = loadInto(s, ed, file, parent, format);
    if (o.json) {
        host::LoadFacts facts;
        facts.note = s.loadNote;
#if !defined(_WIN32)
        facts.bitmaps = s.resourceLines;
#endif
        if (s.avi.video)
            facts.videoFrames = s.avi.video->count, facts.videoSize = s.avi.video->size, facts.videoRate = s.avi.video->rate;
        std::fputs(host::editorJson(ed, file, r, resultName(r), format,
                                    host::ownFileOf(file) == host::OwnFile::none ? formatName(format)
                                    : host::ownFileOf(file) == host::OwnFile::png ? "PNG" : "BMP", facts)
                       .c_str(),
                   stdout);
        return r == CONV_OK ? 0 : 1;
    }
    std::printf("%s\n  result: %d (%s)%s%s\n  format: %d (%s)\n", file.c_str(), r, resultName(r),
                s.loadNote.empty() ? "" : ": ", s.loadNote.c_str(), format, formatName(format));
    for (const std::string &line : ed.refusals) std::printf("  %s\n", line.c_str());
#if !defined(_WIN32)
    for (const host::LoadFacts::Bitmap &b : s.resourceLines)
        std::printf("  bitmap %d: %s (%s)\n", b.line, b.name.c_str(),
                    b.size.empty() ? "unreadable" : (b.size + ", " + b.colors + " colours").c_str());
#endif
    std::fputs(host::aviVideoLine(s.avi).c_str(), stdout);
    printEditor(ed);
    return r == CONV_OK ? 0 : 1;
}

// The code an output file is saved with: --format, else by name; ANI and
// AVI are not known by name to the library, and a GIF with an animation
// document or several frames is saved as an animated GIF.
int saveCode(Session &s, const std::string &out, const Editor &ed) {
    if (s.o.format >= 0) return s.o.format;
    if (host::paths::hasExtension(out, "ani")) return CONV_FMT_ANI;
    if (host::paths::hasExtension(out, "avi")) return CONV_FMT_AVI;
    uint8_t code = 0;
    if (s.lib.detectFileFormat(out.c_str(), &code, 0) != CONV_OK) return -1;
    if (code == CONV_FMT_GIF && (ed.frames.size() > 1 || ed.document)) return CONV_FMT_ANIGIF;
    return code;
}

// Refused before the file is made: a compressor that cannot take the
// picture's size, a sound file that cannot be read.
bool aviCodecFits(const std::string &out, int code, const Options &o, const Editor &ed) {
    if (code != CONV_FMT_AVI || ed.frames.empty()) return true;
    const host::Image &p = ed.frames[size_t(ed.current)].image;
    std::string why = host::aviCodecRefusal(o.avi, p.width, p.height);
    if (const std::string &sound = o.editor.soundFile; why.empty() && !sound.empty()) {
        FILE *f = std::fopen(sound.c_str(), "rb");
        if (f) std::fclose(f);
        else why = "the sound file " + sound + " cannot be read (" + std::strerror(errno) + ")";
    }
    if (!why.empty()) std::fprintf(stderr, "velmconv: %s: %s; nothing written\n", out.c_str(), why.c_str());
    return why.empty();
}

// The numbered name of frame i of count: NAME_NNN.EXT for a file NAME.EXT
// given, else DIR/STEM_NNN.bmp; with at least three digits, more when the
// count needs them, so that the names sort as the frames do.
std::string numberedName(const std::string &given, const char *stem, size_t i, size_t count, bool file = false) {
    const std::string number = host::paths::frameNumber(i, count);
    if (file || host::ownFileOf(given) != host::OwnFile::none) return host::paths::beforeExtension(given, number);
    return host::paths::inFolder(given, stem + number + ".bmp");
}

// Saving to the editor's own files (by --format bmp or png, else by the
// name): the current frame, or with --every-frame each frame as
// NAME_NNN.EXT.
int writeOwnFrames(const std::string &in, const std::string &out, const Options &o, const Editor &ed) {
    const bool each = o.everyFrame && ed.frames.size() > 1;
    for (size_t i = each ? 0 : size_t(ed.current); i < (each ? ed.frames.size() : size_t(ed.current) + 1); ++i) {
        const std::string name = each ? numberedName(out, "", i, ed.frames.size(), true) : out;
        std::string error;
        const host::Image &image = ed.frames[i].image;
        if (!(o.format == host::kOwnBmp   ? host::writeBmp(name, image, &error)
              : o.format == host::kOwnPng ? host::writePng(name, image, &error)
                                          : host::writeOwnFile(name, image, &error))) {
            std::fprintf(stderr, "velmconv: cannot write %s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
    }
    if (!o.quiet)
        std::printf("%s -> %s%s\n", in.c_str(), out.c_str(),
                    each ? (" (" + std::to_string(ed.frames.size()) + " frames, numbered)").c_str() : "");
    return 0;
}

// An X cursor in or out: the editor holds no such file, so it goes through
// the library's C API as a batch's conversion does.
int convertThroughApi(const Options &o, const std::string &in, const std::string &out) {
    const std::string name = o.format == host::kXcursor ? "xcursor" : host::paths::extension(out);
    const int code = o.format >= 0 || o.format == host::kXcursor ? o.format : host::parseFormat(name).value_or(-1);
    if (code == -1) {
        std::fprintf(stderr, "velmconv: %s: no format for this name; give --format NAME\n", out.c_str());
        return 1;
    }
    const host::ApiInput input(in);
    const host::ApiConversion c = input.convertTo(out, name, code, o.editor.dither);
    if (!c.ok) {
        std::fprintf(stderr, "velmconv: %s\n", c.reason.c_str());
        return 1;
    }
    if (!o.quiet) std::fputs(c.said.c_str(), stdout);
    return 0;
}

int cmdConvert(Session &s, const std::string &in, const std::string &out, void *parent) {
    const Options &o = s.o;
    if (o.format == host::kXcursor || host::paths::hasExtension(out, "xcursor") || host::isXcursorFile(in))
        return convertThroughApi(o, in, out);
    Editor ed(o.editor);
    if (!loadOrReport(s, ed, in, parent)) return 1;
    if (ed.frames.empty()) {
        std::string why;
        for (const std::string &line : ed.refusals) why += "; " + line;
        std::fprintf(stderr, "velmconv: %s holds no image the editor could take%s\n", in.c_str(), why.c_str());
        return 1;
    }
    if (o.format == host::kOwnBmp || o.format == host::kOwnPng || (o.format < 0 && host::ownFileOf(out) != host::OwnFile::none))
        return ed.settleTransparency(false), writeOwnFrames(in, out, o, ed);
    int code = saveCode(s, out, ed);
    if (code < 0) {
        std::fprintf(stderr, "velmconv: %s: no format for this name; give --format NAME\n", out.c_str());
        return 1;
    }
    if (!aviCodecFits(out, code, o, ed)) return 1;
    // Carried first: a cursor's frames may come out of it with new colours.
    const std::string carried = host::carryDocument(ed, code);
    ed.settleTransparency(code == CONV_FMT_GIF || code == CONV_FMT_ANIGIF);
    int depth = s.lib.getDesiredBitPix(code, ed.frames[size_t(ed.current)].image.bitCount);
    if (depth == 32 || depth == 16) depth = 24;
    void *block = ed.currentFrameBlock(uint16_t(depth));
    ed.makeCurrent();
    const int messagesBefore = s.messagesShown;
    int r = s.lib.saveConvImage(parent, out.c_str(), block, code, o.option, Editor::callback());
    Library::memFree(block);
    // The video written, the sound refused (the export said so in a message).
    // An animated GIF document holds VC_GIF_MAX_FRAMES frames; the rest were not saved.
    if (r == CONV_OK && code == CONV_FMT_ANIGIF && ed.frames.size() > size_t(VC_GIF_MAX_FRAMES))
        std::fprintf(stderr, "velmconv: %s: an animated GIF holds at most %d frames: the last %zu of %zu dropped\n",
                     out.c_str(), VC_GIF_MAX_FRAMES, ed.frames.size() - size_t(VC_GIF_MAX_FRAMES), ed.frames.size());
    const bool soundLost = r == CONV_OK && code == CONV_FMT_AVI && !o.editor.soundFile.empty() && s.messagesShown > messagesBefore;
    if (soundLost)
        std::fprintf(stderr, "velmconv: %s: written without the sound of %s\n", out.c_str(), o.editor.soundFile.c_str());
    // The cursor size question may have chosen another size than the picture's.
    const host::Image &picture = ed.frames[size_t(ed.current)].image;
    std::string resized;
    if ((code == CONV_FMT_ICON || code == CONV_FMT_ANI) && ed.iconWidth &&
        (ed.iconWidth != picture.width || ed.iconHeight != picture.height))
        resized = ", resized from " + std::to_string(picture.width) + "x" + std::to_string(picture.height) + " to " +
                  std::to_string(ed.iconWidth) + "x" + std::to_string(ed.iconHeight);
    if (!o.quiet) {
        std::printf("%s -> %s (%d, %s): %d (%s)%s\n", in.c_str(), out.c_str(), code, formatName(code), r, resultName(r),
                    resized.c_str());
        if (!carried.empty()) std::printf("  carried across: %s\n", carried.c_str());
    }
    return r == CONV_OK && !soundLost ? 0 : 1;
}

int cmdPreview(Session &s, const std::string &file, const std::string &out) {
    std::string error;
    ConvImageRecord record{};
    char message[261] = {};
    record.messageText = message;
    record.messageSize = sizeof message;
    int r = s.lib.getPreviewImage(file.c_str(), &record);
    if (r != CONV_OK || !record.image) {
        std::fprintf(stderr, "velmconv: preview of %s: %d (%s)%s%s\n", file.c_str(), r, resultName(r),
                     message[0] ? ": " : "", message);
        if (record.image) Library::memFree(record.image);
        return 1;
    }
    size_t size = Library::memSize(record.image);
    bool ok = false;
    if (auto *p = static_cast<const uint8_t *>(Library::memLock(record.image))) {
        if (host::ownFileOf(out) == host::OwnFile::png) {
            auto img = host::fromPackedDibAt(p, size, record.bitsOffset);
            ok = img && host::writePng(out, *img, &error);
            if (!img) error = "the preview is not a picture the host can read";
        } else {
            ok = host::writePackedDibAsBmp(out, p, size, record.bitsOffset, &error);
        }
        Library::memUnlock(record.image);
    }
    Library::memFree(record.image);
    if (!ok) std::fprintf(stderr, "velmconv: cannot write %s: %s\n", out.c_str(), error.c_str());
    return ok ? 0 : 1;
}

int cmdExtract(Session &s, const std::string &file, const std::string &dir, void *parent) {
    const Options &o = s.o;
    if (host::isXcursorFile(file))
        return host::xcursorExtract(
            file,
            [&dir](size_t i, size_t count) {
                // Every image as PNG, whatever name was given.
                std::string name = numberedName(dir, "frame", i, count);
                if (host::ownFileOf(name) != host::OwnFile::png) name = name.substr(0, name.size() - 3) + "png";
                return name;
            },
            o.quiet);
    Editor ed(o.editor);
    if (!loadOrReport(s, ed, file, parent)) return 1;
    if (ed.frames.empty()) {
        std::string why;
        for (const std::string &line : ed.refusals) why += "; " + line;
        std::fprintf(stderr, "velmconv: %s: no frame written: the editor took no image%s\n", file.c_str(), why.c_str());
        return 1;
    }
    ed.settleTransparency(false);
    for (size_t i = 0; i < ed.frames.size(); ++i) {
        const std::string name = numberedName(dir, "frame", i, ed.frames.size());
        std::string error;
        if (!host::writeOwnFile(name, ed.frames[i].image, &error)) {
            std::fprintf(stderr, "velmconv: cannot write %s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
    }
    if (!o.quiet) std::printf("%s: %zu frame%s written to %s\n", file.c_str(), ed.frames.size(), ed.frames.size() == 1 ? "" : "s", dir.c_str());
    return 0;
}

#if !defined(_WIN32)
// A player's canvas (24 bits) as a BMP or PNG file of the host's own.
bool writeCanvas(const std::string &path, const vc_picture *canvas) {
    host::Image img;
    img.width = vc_picture_width(canvas);
    img.height = vc_picture_height(canvas);
    img.bitCount = 24;
    img.bits.assign(size_t(img.rowBytes()) * size_t(img.height), 0);
    for (int32_t y = 0; y < img.height; ++y)
        std::memcpy(img.bits.data() + size_t(img.height - 1 - y) * img.rowBytes(), vc_picture_row_const(canvas, y),
                    size_t(img.width) * 3);
    std::string error;
    if (host::writeOwnFile(path, img, &error)) return true;
    std::fprintf(stderr, "velmconv: %s: %s\n", path.c_str(), error.c_str());
    return false;
}

// Plays the animated GIF as the preview window would and writes every
// canvas as it is shown; frames that wait for the user go on at once.
int cmdPlay(Session &s, const std::string &file, const std::string &dir, void *) {
    const Options &o = s.o;
    if (host::isXcursorFile(file))
        return host::xcursorPlay(
            file, 0, o.maxCanvases,
            [&dir](size_t i, size_t count) { return numberedName(dir, "canvas", i, count); }, o.quiet);
    const vc_format format = vc_detect_path(file.c_str());
    vc_animation *read = nullptr;
    std::error_code missing;
    const vc_status status = format == VC_FORMAT_GIF                            ? vc_read_path(file.c_str(), format, nullptr, &read)
                             : std::filesystem::is_regular_file(file, missing) ? VC_OK
                                                                               : VC_E_OPEN;
    const std::unique_ptr<vc_animation, void (*)(vc_animation *)> animation(read, vc_animation_free);
    if (status != VC_OK) {
        std::fprintf(stderr, "velmconv: loading %s: %s\n", file.c_str(), vc_status_message(status));
        return 1;
    }
    vc_player *made = nullptr;
    if (!animation || vc_player_new(animation.get(), &made) != VC_OK) {
        std::fprintf(stderr, "velmconv: %s holds no GIF animation\n", file.c_str());
        return 1;
    }
    const std::unique_ptr<vc_player, void (*)(vc_player *)> player(made, vc_player_free);
    const int frames = int(std::min<uint32_t>(vc_animation_frame_count(animation.get()), VC_GIF_MAX_FRAMES));
    noteDroppedGifImages(file, size_t(frames));
    const int maxCanvases = o.maxCanvases > 0 ? o.maxCanvases : frames;
    int repeat = 0;
    uint32_t loops = 0;
    vc_animation_loop(animation.get(), &repeat, &loops);
    const vc_picture *canvas = vc_player_canvas(player.get());
    if (!o.quiet)
        std::printf("%s: %d frame%s, screen %dx%d, repeat %s, loops %u\n", file.c_str(), frames, frames == 1 ? "" : "s",
                    vc_picture_width(canvas), vc_picture_height(canvas), repeat ? "on" : "off", loops);
    int written = 0;
    for (; written < maxCanvases && vc_player_step(player.get()); ++written) {
        if (!writeCanvas(numberedName(dir, "canvas", size_t(written), size_t(maxCanvases)), canvas)) return 1;
        if (o.quiet) continue;
        std::printf("canvas %03d: frame %d, loop %u, ", written, vc_player_frame(player.get()), vc_player_loop(player.get()));
        if (const uint32_t ticks = vc_player_ticks(player.get()); ticks) std::printf("shown %u ticks\n", ticks);
        else std::printf(vc_player_waits(player.get()) ? "waits for the user\n" : "shown 0 ticks\n");
    }
    if (!o.quiet)
        std::printf("%d canvas%s written to %s%s\n", written, written == 1 ? "" : "es", dir.c_str(),
                    vc_player_finished(player.get()) ? ", finished" : "");
    return 0;
}

// Opens the animation dialog of the file's document (template 106 for an
// animated cursor, 110 for an animated GIF) as the menu command does; the
// --do actions work it. With OUT the document is saved afterwards.
int cmdAnimate(Session &s, const std::string &file, const std::string *out, void *parent) {
    const Options &o = s.o;
    Editor ed(o.editor);
    uint8_t format = 0;
    if (int r = loadInto(s, ed, file, parent, format); r != CONV_OK) {
        std::fprintf(stderr, "velmconv: loading %s: %d (%s)%s%s\n", file.c_str(), r, resultName(r),
                     s.loadNote.empty() ? "" : ": ", s.loadNote.c_str());
        return 1;
    }
    if (!ed.document) {
        std::fprintf(stderr, "velmconv: %s holds no animation document\n", file.c_str());
        return 1;
    }
    ed.makeCurrent();
    const int r = s.lib.processCommand(parent, CONV_CMD_ANIMATION, format, ed.document, o.option, Editor::callback());
    std::printf("%s: animation dialog: %d (%s)\n", file.c_str(), r, r == 1 ? "OK" : "cancelled");
    printEditor(ed);
    if (!out) return 0;
    int code = saveCode(s, *out, ed);
    if (!aviCodecFits(*out, code, o, ed)) return 1;
    ed.settleTransparency(code == CONV_FMT_GIF || code == CONV_FMT_ANIGIF);
    void *block = ed.currentFrameBlock(ed.frames[size_t(ed.current)].image.bitCount);
    const int saved = s.lib.saveConvImage(parent, out->c_str(), block, code, o.option, Editor::callback());
    Library::memFree(block);
    std::printf("%s -> %s (%d, %s): %d (%s)\n", file.c_str(), out->c_str(), code, formatName(code), saved,
                resultName(saved));
    return saved == CONV_OK ? 0 : 1;
}
#endif

// A wrong command line: names the argument being read (an option without
// its value, or with a value it does not take) and points to the help.
int usage(const Session &s) {
    if (s.argument.empty()) std::fputs("velmconv: no command given\n", stderr);
    else std::fprintf(stderr, "velmconv: %s: missing or wrong value\n", s.argument.c_str());
    std::fputs("Try 'velmconv --help' or 'velmconv help COMMAND'.\n", stderr);
    return host::kExitUsage;
}

int badArgument(const std::string &what) {
    std::fprintf(stderr, "velmconv: %s\nTry 'velmconv --help' or 'velmconv help COMMAND'.\n", what.c_str());
    return host::kExitUsage;
}

// A Windows cursor scheme made into an X cursor theme, or (--to windows)
// the other way; through the C API alone.
int cmdTheme(Session &s, const std::string &in, const std::string &out) {
    if (!s.o.batch.targets.empty()) return badArgument("theme: --to takes windows or x");
    host::theme::Options o = s.o.theme;
    o.quiet = s.o.quiet;
    return host::theme::run(in, out, o);
}

// What each command takes after its name, for the message when the count
// is wrong.
int wrongArguments(const std::string &cmd) {
    static const char *const forms[][2] = {
        {"formats", "takes no file"},          {"detect", "takes FILE..."},
        {"info", "takes one FILE"},            {"convert", "takes IN OUT, or --to FORMAT FILE..."},
        {"preview", "takes FILE OUT"},         {"extract", "takes FILE DIR (or NAME.png)"},
        {"play", "takes FILE DIR (or NAME.png)"}, {"animate", "takes FILE [OUT]"},
        {"theme", "takes SCHEME-OR-THEME-DIR OUT-DIR"},
        {"icon", "takes IN... OUT (.ico or .cur)"},
    };
    for (const auto &f : forms)
        if (cmd == f[0]) return badArgument(cmd + " " + f[1]);
    return badArgument("unknown command '" + cmd + "'");
}

// ---- Options ------------------------------------------------------------------
// An option's reading: kGoOn to read on, or the exit code the run ends with.
constexpr int kGoOn = -1;
using TakeOption = int (*)(Session &s, const std::string &name, const char *value);

struct OptionRow {
    const char *name;
    const char *alias;     // a second name, or none
    bool value;            // takes the next argument
    bool forWorkers;       // the workers of a batch are given it too
    TakeOption take;
};

// A value that cannot be read, named with its option.
int notA(const std::string &name, const char *value, const char *what) {
    return badArgument(name + ": '" + value + "' is not " + what);
}

int takeFormat(Session &s, const std::string &, const char *v) {
    const auto code = host::parseFormat(v);
    if (!code) return badArgument("--format: '" + std::string(v) + "' is not a format to save (" + host::formatNames() + ")");
    s.o.format = *code;
    return kGoOn;
}

// FORMAT[,FORMAT...]; for the theme command windows or x.
int takeTargets(Session &s, const std::string &, const char *v) {
    if (const std::string side = v; side == "windows" || side == "x") {
        s.o.themeDirection = true;
        s.o.theme.toWindows = side == "windows";
        return kGoOn;
    }
    if (!s.args.empty() && s.args[0] == "theme") return badArgument("--to: '" + std::string(v) + "' is not windows or x");
    for (std::string list = v; !list.empty();) {
        const size_t comma = list.find(',');
        const std::string name = list.substr(0, comma);
        list = comma == std::string::npos ? "" : list.substr(comma + 1);
        const auto code = host::parseFormat(name);
        if (!code) return badArgument("--to: '" + name + "' is not a format to save (" + host::formatNames() + ")");
        s.o.batch.targets.push_back({name, *code});
    }
    return s.o.batch.targets.empty() ? usage(s) : kGoOn;
}

int takeJobs(Session &s, const std::string &name, const char *v) {
    const auto jobs = host::wholeNumber(v);
    if (!jobs || *jobs < 1 || *jobs > 256) return notA(name, v, "a number of jobs (1 to 256)");
    s.o.batch.jobs = int(*jobs);
    return kGoOn;
}

int takeOption(Session &s, const std::string &, const char *v) {
    char *end = nullptr;
    errno = 0;
    const unsigned long option = std::strtoul(v, &end, 0);
    if (!*v || *end || errno || option > 0xFFFFFFFFul || *v == '-')
        return notA("--option", v, "a number from 0 to 0xFFFFFFFF");
    s.o.option = uint32_t(option);
    return kGoOn;
}

int takeCancel(Session &s, const std::string &, const char *v) {
    const auto id = host::wholeNumber(v);
    if (!id || *id < 0 || *id > 0xFFFF) return notA("--cancel", v, "a dialog template number");
    s.o.cancelDialogs.push_back(int(*id));
    return kGoOn;
}

int takeCursorSize(Session &s, const std::string &, const char *v) {
    const std::string size = v;
    s.o.cursorSize = size == "16" ? 100 : size == "32" ? 101 : size == "64" ? 102 : size == "keep" ? 103 : -1;
    return s.o.cursorSize < 0 ? usage(s) : kGoOn;
}

int takeCursorFormat(Session &s, const std::string &, const char *v) {
    if (!host::cursorFormatReadable(v))
        return notA("--cursor-format", v, "SIZE[,COLORS[,noscale]] (SIZE 16, 32, 64 or WxH; COLORS 2, 16 or 256)");
    s.o.cursorFormat = v;
    return kGoOn;
}

int takeGifImport(Session &s, const std::string &, const char *v) {
    if (!host::gifImportReadable(v)) return notA("--gif-import", v, "sequence[:WxH], frame:N or assembled");
    s.o.gifImport = v;
    return kGoOn;
}

int takeMaxCanvases(Session &s, const std::string &, const char *v) {
    const auto most = host::wholeNumber(v);
    if (!most || *most < 0 || *most > 1000000) return notA("--max-canvases", v, "a number of canvases (0 for one pass)");
    s.o.maxCanvases = int(*most);
    return kGoOn;
}

int takeResourceLine(Session &s, const std::string &, const char *v) {
    const auto line = host::wholeNumber(v);
    if (!line || *line < 1 || *line > 0xFFFF) return notA("--resource-line", v, "a line number (from 1)");
    s.o.resourceLine = int(*line);
    return kGoOn;
}

// Every --avi-* option: the answers of the AVI dialogs.
int takeAvi(Session &s, const std::string &name, const char *v) {
    std::string wrong, note;
    if (!host::aviOption(name, v, s.o.avi, s.o.editor.soundFile, wrong, note)) return usage(s);
    if (!wrong.empty()) return badArgument(name + ": " + wrong);
    if (!note.empty()) std::fprintf(stderr, "velmconv: note: %s: %s\n", name.c_str(), note.c_str());
    return kGoOn;
}

int takeInherits(Session &s, const std::string &, const char *v) {
    s.o.theme.inheritsGiven = true;
    s.o.theme.inherits = v;
    return kGoOn;
}

int takeHelp(Session &s, const std::string &, const char *) {
    return host::printHelp(stdout, s.args.empty() ? "" : s.args[0]) ? host::kExitOk : wrongArguments(s.args[0]);
}

int takeVersion(Session &, const std::string &, const char *) {
    std::printf("velmconv %s\n", VC_VERSION);
    return host::kExitOk;
}

int takeSizes(Session &s, const std::string &name, const char *v) {
    std::string why;
    if (!host::parseSizes(v, s.o.iconSet.sizes, why)) return badArgument(name + ": " + why);
    s.o.batch.sizes = s.o.iconSet.sizes;
    return kGoOn;
}

int takeDepths(Session &s, const std::string &name, const char *v) {
    std::string why;
    return host::parseDepths(v, s.o.iconSet.depths, why) ? kGoOn : badArgument(name + ": " + why);
}

int takeHotspot(Session &s, const std::string &name, const char *v) {
    std::string why;
    std::pair<int32_t, int32_t> at;
    if (!host::parseHotspot(v, at, why)) return badArgument(name + ": " + why);
    s.o.iconSet.hotspot = at;
    return kGoOn;
}

// velmconv icon [--sizes ...] IN... OUT
int cmdIcon(Session &s) {
    if (s.o.iconSet.sizes.empty()) return badArgument("icon: --sizes is needed (e.g. --sizes 16,24,32,48,64,256)");
    host::IconSetRequest request = s.o.iconSet;
    request.dither = s.o.editor.dither;
    return host::runIconSet({s.args.begin() + 1, s.args.end() - 1}, s.args.back(), request);
}

// A flag: what it turns on.
template <auto Field> int turnOn(Session &s, const std::string &, const char *) {
    Field(s.o) = true;
    return kGoOn;
}
// A value kept as it is given.
template <auto Field> int keep(Session &s, const std::string &, const char *v) {
    Field(s.o) = v;
    return kGoOn;
}

constexpr auto everyFrame = [](Options &o) -> bool & { return o.everyFrame; };
constexpr auto json = [](Options &o) -> bool & { return o.json; };
constexpr auto dither = [](Options &o) -> bool & { return o.editor.dither; };
constexpr auto refuseDocuments = [](Options &o) -> bool & { return o.editor.refuseDocuments; };
constexpr auto verbose = [](Options &o) -> bool & { return o.editor.verbose; };
constexpr auto quiet = [](Options &o) -> bool & { return o.quiet; };
constexpr auto interactive = [](Options &o) -> bool & { return o.interactive; };
constexpr auto outDir = [](Options &o) -> std::string & { return o.batch.outDir; };
constexpr auto browser = [](Options &o) -> const char *& { return o.browser; };
constexpr auto resource = [](Options &o) -> std::string & { return o.resource; };
constexpr auto soundFile = [](Options &o) -> std::string & { return o.editor.soundFile; };

int takeScript(Session &s, const std::string &, const char *v) {
    s.o.script.push_back(v);
    return kGoOn;
}

int noParent(Session &s, const std::string &, const char *) {
    s.o.parent = false;
    return kGoOn;
}

// The options in the order they are looked up. --to, --out, -j and --json
// belong to the batch itself and are not handed on to its workers.
const OptionRow kOptions[] = {
    {"--format", nullptr, true, true, takeFormat},
    {"--to", nullptr, true, false, takeTargets},
    {"--out", nullptr, true, false, keep<outDir>},
    {"--inherits", nullptr, true, false, takeInherits},
    {"-j", "--jobs", true, false, takeJobs},
    {"--json", nullptr, false, false, turnOn<json>},
    {"--every-frame", nullptr, false, true, turnOn<everyFrame>},
    {"--version", nullptr, false, true, takeVersion},
    {"--option", nullptr, true, true, takeOption},
    {"--cancel", nullptr, true, true, takeCancel},
    {"--cursor-size", nullptr, true, true, takeCursorSize},
    {"--cursor-format", nullptr, true, true, takeCursorFormat},
    {"--gif-import", nullptr, true, true, takeGifImport},
    {"--max-canvases", nullptr, true, true, takeMaxCanvases},
    {"--browser", nullptr, true, true, keep<browser>},
    {"--do", nullptr, true, true, takeScript},
    {"--resource", nullptr, true, true, keep<resource>},
    {"--resource-line", nullptr, true, true, takeResourceLine},
    {"--no-parent", nullptr, false, true, noParent},
    {"--dither", nullptr, false, true, turnOn<dither>},
    {"--refuse-documents", nullptr, false, true, turnOn<refuseDocuments>},
    {"--sound", nullptr, true, true, keep<soundFile>},
    {"--verbose", nullptr, false, true, turnOn<verbose>},
    {"--quiet", nullptr, false, true, turnOn<quiet>},
    {"--interactive", nullptr, false, true, turnOn<interactive>},
    {"--sizes", nullptr, true, false, takeSizes},
    {"--depths", nullptr, true, false, takeDepths},
    {"--hotspot", nullptr, true, false, takeHotspot},
    {"-h", "--help", false, true, takeHelp},
};
const OptionRow kAviOptions{"--avi-", nullptr, true, true, takeAvi};  // any name it begins

const OptionRow *findOption(const std::string &a) {
    for (const OptionRow &row : kOptions)
        if (a == row.name || (row.alias && a == row.alias)) return &row;
    return a.rfind(kAviOptions.name, 0) == 0 ? &kAviOptions : nullptr;
}

// Reads the command line into the session: kGoOn, or the exit code of a
// run that ends while reading it (a wrong option, --help, --version).
int readCommandLine(Session &s, int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        s.argument = a;
        if (a == "--") {
            s.args.insert(s.args.end(), argv + i + 1, argv + argc);
            break;
        }
        const OptionRow *row = findOption(a);
        if (!row) {
            if (a.size() > 1 && a[0] == '-') return badArgument("unknown option " + a);
            s.args.push_back(a);
            continue;
        }
        const int first = i;
        const char *value = nullptr;
        if (row->value) {
            if (i + 1 >= argc) return usage(s);
            value = argv[++i];
        }
        if (const int end = row->take(s, a, value); end != kGoOn) return end;
        if (row->forWorkers) {
            s.o.batch.options.insert(s.o.batch.options.end(), argv + first, argv + i + 1);
            s.o.batch.optionNames.push_back(a);
        }
    }
    s.argument.clear();
    return kGoOn;
}

// ---- Commands -----------------------------------------------------------------
struct CommandRow {
    const char *name;
    size_t least, most;  // arguments after the name
    int (*run)(Session &s, void *parent);
};

const CommandRow kCommands[] = {
    {"formats", 0, 0, [](Session &s, void *) { return cmdFormats(s); }},
    {"detect", 1, SIZE_MAX, [](Session &s, void *) { return cmdDetect(s, {s.args.begin() + 1, s.args.end()}); }},
    {"info", 1, 1, [](Session &s, void *parent) { return cmdInfo(s, s.args[1], parent); }},
    {"convert", 2, 2, [](Session &s, void *parent) { return cmdConvert(s, s.args[1], s.args[2], parent); }},
    {"preview", 2, 2, [](Session &s, void *) { return cmdPreview(s, s.args[1], s.args[2]); }},
    {"icon", 2, SIZE_MAX, [](Session &s, void *) { return cmdIcon(s); }},
    {"extract", 2, 2, [](Session &s, void *parent) { return cmdExtract(s, s.args[1], s.args[2], parent); }},
    {"theme", 2, 2, [](Session &s, void *) { return cmdTheme(s, s.args[1], s.args[2]); }},
#if !defined(_WIN32)
    {"play", 2, 2, [](Session &s, void *parent) { return cmdPlay(s, s.args[1], s.args[2], parent); }},
    {"animate", 1, 2,
     [](Session &s, void *parent) { return cmdAnimate(s, s.args[1], s.args.size() == 3 ? &s.args[2] : nullptr, parent); }},
#endif
};

// The command the session names, with the library open.
int runCommand(Session &s, void *parent) {
    const std::string &cmd = s.args[0];
    const bool iconOptions = !s.o.iconSet.depths.empty() || s.o.iconSet.hotspot;
    if (cmd != "icon" && iconOptions) return badArgument(std::string(s.o.iconSet.hotspot ? "--hotspot" : "--depths") + " belongs to the icon command");
    if (cmd != "icon" && !s.o.iconSet.sizes.empty()) {
        const bool toAni = cmd == "convert" && !s.o.batch.targets.empty() &&
                           std::all_of(s.o.batch.targets.begin(), s.o.batch.targets.end(),
                                       [](const host::Batch::Target &t) { return t.code == CONV_FMT_ANI; });
        if (!toAni) return badArgument("--sizes belongs to the icon command and to convert --to ani");
    }
    if (cmd == "convert" && !s.o.batch.targets.empty()) {
        s.o.batch.files.assign(s.args.begin() + 1, s.args.end());
        s.o.batch.quiet = s.o.quiet;
        return s.o.batch.files.empty() ? wrongArguments(cmd) : host::runBatch(s.o.batch);
    }
    if (s.o.themeDirection && cmd != "theme") return badArgument("--to windows and --to x belong to the theme command");
    const size_t given = s.args.size() - 1;
    for (const CommandRow &row : kCommands)
        if (cmd == row.name && given >= row.least && given <= row.most) return row.run(s, parent);
    return wrongArguments(cmd);
}

}  // namespace

int main(int argc, char **argv) {
    Session s;
    if (const int end = readCommandLine(s, argc, argv); end != kGoOn) return end;
    if (s.args.empty()) return usage(s);
    if (s.args[0] == "help") {
        if (s.args.size() > 2) return wrongArguments("help");
        return host::printHelp(stdout, s.args.size() == 2 ? s.args[1] : "") ? 0 : wrongArguments(s.args[1]);
    }

    std::string error;
    if (!s.lib.open(error)) {
        std::fprintf(stderr, "velmconv: %s\n", error.c_str());
        return 1;
    }
    installUi(s);
    void *parent = s.o.parent ? makeParentWindow() : nullptr;
    const int status = runCommand(s, parent);
    s.lib.close();
    return status;
}
