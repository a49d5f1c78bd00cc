// The Windows driver of the dialog answer table: a thread timer, running
// inside whatever modal loop the library has going, finds the dialogs it
// shows (known by their captions, read from the library's own templates)
// and works their controls as a user would.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "host/dialog_answers.h"
#include "velmconv/dialogs.h"

namespace host {

namespace {

// The run whose dialogs the timer answers: the timer's procedure is
// called without a pointer of its own, so the answers and what the AVI
// dialogs show are reached from here (the console host runs one command
// on one thread).
struct {
    const DialogAnswers *answers = nullptr;
    AviRun *avi = nullptr;
} gRun;
// Template id by caption, for the templates a user answers or leaves alone.
std::map<std::wstring, int> gTemplates;
// Dialogs answered and still open, with the ticks since. A tick may run
// inside another (a message box the answer brought up has a loop of its
// own); the windows it adds are closed by the time the outer one ends.
std::map<HWND, int> gAnswered;

// The film strip's messages and its click notification, as the control
// documents them for the dialogs that hold one.
constexpr UINT kReelGetCount = WM_USER + 257, kReelSetSel = WM_USER + 261;
constexpr WORD kReelClick = VC_REEL_CLICK;
static_assert(WM_USER + 257 == 1281 && WM_USER + 261 == 1285, "the strip's message numbers");

uint16_t word(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

// The caption of a DIALOG or DIALOGEX template of the module.
std::wstring templateCaption(HMODULE module, int id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto *p = loaded ? static_cast<const uint8_t *>(LockResource(loaded)) : nullptr;
    const size_t size = found ? SizeofResource(module, found) : 0;
    if (!p || size < 26) return {};
    size_t at = word(p) == 1 && word(p + 2) == 0xFFFF ? 26 : 18;
    // The menu and the class: none, an ordinal or a string.
    for (int field = 0; field < 2; ++field) {
        if (at + 2 > size) return {};
        if (word(p + at) == 0xFFFF) {
            at += 4;
            continue;
        }
        while (at + 2 <= size && word(p + at)) at += 2;
        at += 2;
    }
    std::wstring caption;
    for (; at + 2 <= size && word(p + at); at += 2) caption += wchar_t(word(p + at));
    return caption;
}

std::wstring windowText(HWND w) {
    wchar_t buffer[512] = {};
    GetWindowTextW(w, buffer, 512);
    return buffer;
}

std::string narrow(const std::wstring &text) {
    char buffer[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof buffer - 1, nullptr, nullptr);
    return buffer;
}

std::string itemText(HWND dialog, int id) {
    char buffer[64] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

void command(HWND dialog, int id, int code) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), LPARAM(GetDlgItem(dialog, id)));
}

void select(HWND dialog, int id, int32_t index) {
    SendDlgItemMessageW(dialog, id, LB_SETCURSEL, WPARAM(index), 0);
    command(dialog, id, LBN_SELCHANGE);
}

// The line of the list box that reads `text`, as listed or without its
// leading spaces.
int32_t lineOf(HWND dialog, int id, const std::string &text) {
    const LRESULT lines = SendDlgItemMessageA(dialog, id, LB_GETCOUNT, 0, 0);
    for (int32_t i = 0; i < lines; ++i) {
        const LRESULT length = SendDlgItemMessageA(dialog, id, LB_GETTEXTLEN, WPARAM(i), 0);
        if (length < 0 || length > 1000) continue;
        std::string line(size_t(length) + 1, '\0');
        SendDlgItemMessageA(dialog, id, LB_GETTEXT, WPARAM(i), LPARAM(line.data()));
        line.resize(size_t(length));
        if (isResourceLine(line, text)) return i;
    }
    return -1;
}

// Enter: the default button, as the dialog manager sends it.
void pressEnter(HWND dialog) {
    const LRESULT id = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    command(dialog, HIWORD(id) == DC_HASDEFID ? LOWORD(id) : IDOK, BN_CLICKED);
}

// The AVI dialogs from --avi-*: frames selected on the strip with its own
// message, the stepping dialog filled in, each frame of the export clicked
// (the notification the strip sends) and its delay typed.
void answerAvi(HWND dialog, int templateId) {
    const AviOptions &o = gRun.answers->avi;
    AviRun &run = *gRun.avi;
    const auto frameCount = [&] { return int32_t(SendDlgItemMessageA(dialog, VC_IDC_AVI_REEL, kReelGetCount, 0, 0)); };
    if (templateId == VC_IDD_AVI_IMPORT) {
        noteAviVideo(run, itemText(dialog, VC_IDC_AVIIMP_COUNT), itemText(dialog, VC_IDC_AVIIMP_SIZE),
                     itemText(dialog, VC_IDC_AVIIMP_RATE));
        const AviSelection s = aviSelection(o, frameCount());
        noteAviAsked(run, s);
        if (s.stepping) {
            run.stepping = s;
            command(dialog, VC_IDC_AVIIMP_SELECT, BN_CLICKED);  // the timer answers the dialog it opens
            run.stepping.reset();
        }
        for (size_t i = 0; i < s.frames.size();) {  // one message per run of frames
            size_t j = i;
            while (j + 1 < s.frames.size() && s.frames[j + 1] == s.frames[j] + 1) ++j;
            SendDlgItemMessageA(dialog, VC_IDC_AVI_REEL, kReelSetSel, 1, MAKELPARAM(s.frames[i], s.frames[j]));
            i = j + 1;
        }
    } else if (templateId == VC_IDD_AVI_SELECT && run.stepping) {
        SetDlgItemTextA(dialog, VC_IDC_AVISEL_FROM, run.stepping->from.c_str());
        SetDlgItemTextA(dialog, VC_IDC_AVISEL_NUMBER, run.stepping->number.c_str());
        SetDlgItemTextA(dialog, VC_IDC_AVISEL_STEP, run.stepping->step.c_str());
    } else if (templateId == VC_IDD_AVI_EXPORT) {
        if (!o.rate.empty()) SetDlgItemTextA(dialog, VC_IDC_AVIEXP_RATE, o.rate.c_str());
        if (!o.delays.empty())
            for (int32_t f = 0, n = frameCount(); f < n; ++f) {
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(VC_IDC_AVI_REEL, kReelClick), LPARAM(f));
                command(dialog, VC_IDC_AVIEXP_DELAY, EN_SETFOCUS);
                SetDlgItemTextA(dialog, VC_IDC_AVIEXP_DELAY, aviDelay(o, f).c_str());
            }
        command(dialog, VC_IDC_AVIEXP_WAVE_BUTTON, BN_CLICKED);  // no name unless --avi-sound gave one
    }
}

void answer(HWND dialog, int templateId) {
    const DialogAnswer a = answerFor(templateId, *gRun.answers);
    if (a.cancel) return command(dialog, IDCANCEL, BN_CLICKED);
    answerAvi(dialog, templateId);
    for (const DialogStep &step : a.steps) {
        switch (step.kind) {
        case DialogStep::kClick: SendDlgItemMessageW(dialog, step.control, BM_CLICK, 0, 0); break;
        case DialogStep::kText:
            // As a user types: into the field first, then the text.
            command(dialog, step.control, EN_SETFOCUS);
            SetDlgItemTextA(dialog, step.control, step.text.c_str());
            break;
        case DialogStep::kSelect: {
            const LRESULT lines = SendDlgItemMessageA(dialog, step.control, LB_GETCOUNT, 0, 0);
            if (step.index < 0 || step.index >= lines) {
                std::fprintf(stderr, "velmconv: line %d: \"%s\" lists %d\n", int(step.index) + 1,
                             narrow(windowText(dialog)).c_str(), int(lines));
                return command(dialog, IDCANCEL, BN_CLICKED);
            }
            select(dialog, step.control, step.index);
            break;
        }
        case DialogStep::kSelectText: {
            const int32_t line = lineOf(dialog, step.control, step.text);
            if (line < 0) {
                std::fprintf(stderr, "velmconv: no line %s in \"%s\"\n", step.text.c_str(), narrow(windowText(dialog)).c_str());
                return command(dialog, IDCANCEL, BN_CLICKED);
            }
            select(dialog, step.control, line);
            break;
        }
        }
    }
    pressEnter(dialog);
}

// A message box: its text goes to the console, its first button closes it.
void closeMessageBox(HWND box) {
    std::fprintf(stderr, "%s: %s\n", narrow(windowText(box)).c_str(), narrow(windowText(GetDlgItem(box, 0xFFFF))).c_str());
    for (int id : {IDOK, IDYES, IDCANCEL, IDNO})
        if (GetDlgItem(box, id)) return command(box, id, BN_CLICKED);
}

BOOL CALLBACK visit(HWND w, LPARAM seen) {
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(w)) return TRUE;
    reinterpret_cast<std::vector<HWND> *>(seen)->push_back(w);
    return TRUE;
}

void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD) {
    std::vector<HWND> open;
    EnumThreadWindows(GetCurrentThreadId(), visit, LPARAM(&open));
    std::map<HWND, int> still;
    for (HWND dialog : open) {
        // Behind a message box of its own: left as it is until it is back.
        if (!IsWindowEnabled(dialog)) {
            if (const auto was = gAnswered.find(dialog); was != gAnswered.end()) still[dialog] = was->second;
            continue;
        }
        const auto known = gTemplates.find(windowText(dialog));
        const int templateId = known == gTemplates.end() ? 0 : known->second;
        if (templateId == VC_IDD_PROGRESS || templateId == VC_IDD_PROGRESS_CANCEL || templateId == VC_IDD_GIF_PREVIEW) continue;
        if (const auto was = gAnswered.find(dialog); was != gAnswered.end()) {
            // Still open some ticks after its answer: OK was refused.
            still[dialog] = was->second + 1;
            if (was->second + 1 < 3) continue;
            std::string why;
            if (templateId == VC_IDD_GIF_IMPORT && IsDlgButtonChecked(dialog, VC_IDC_GIFIMP_SEQUENCE) == BST_CHECKED)
                why = gifImportRefusal(itemText(dialog, VC_IDC_GIFIMP_WIDTH), itemText(dialog, VC_IDC_GIFIMP_HEIGHT),
                                       size_t(SendDlgItemMessageA(dialog, VC_IDC_GIFIMP_LIST, LB_GETCOUNT, 0, 0)));
            std::fprintf(stderr, "velmconv: \"%s\" refused the answer of the command line; cancelled%s%s\n",
                         narrow(windowText(dialog)).c_str(), why.empty() ? "" : ": ", why.c_str());
            command(dialog, IDCANCEL, BN_CLICKED);
            continue;
        }
        still[dialog] = 0;
        if (templateId) answer(dialog, templateId);
        else closeMessageBox(dialog);
    }
    gAnswered = std::move(still);
}

}  // namespace

void driveDialogs(const DialogAnswers &options, AviRun &avi) {
    gRun = {&options, &avi};
    if (HMODULE library = GetModuleHandleA("VelmConv32.dll"))
        for (int id : {VC_IDD_PROGRESS, VC_IDD_PROGRESS_CANCEL, VC_IDD_RESOURCE_BITMAP, VC_IDD_CURSOR_ANIMATION, VC_IDD_SELECT_CURSOR,
                       VC_IDD_CHANGE_CURSOR, VC_IDD_GIF_IMPORT, VC_IDD_GIF_ANIMATION, VC_IDD_GIF_PREVIEW, VC_IDD_AVI_IMPORT, VC_IDD_AVI_SELECT,
                       VC_IDD_AVI_EXPORT})
            if (std::wstring caption = templateCaption(library, id); !caption.empty()) gTemplates[caption] = id;
    SetTimer(nullptr, 0, 30, onTick);
}

}  // namespace host
