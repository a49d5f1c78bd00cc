// How velmconv answers the library's dialogs from its command line: one
// table from the options to the steps a user would take in each dialog,
// worked by two drivers (the headless dialog calls on Linux, the real
// dialog's controls on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/avi_answers.h"

namespace host {

// The options that answer dialogs.
struct DialogAnswers {
    std::vector<int> cancelDialogs;  // --cancel TEMPLATE
    int cursorSize = 0;              // --cursor-size: the radio of template 107, 0 for Enter
    std::string cursorFormat;        // --cursor-format: what template 108 is set to before OK
    std::string gifImport;           // --gif-import: the choice in template 109 before OK
    std::string resource;            // --resource: the line of template 102 picked, as listed or trimmed
    int resourceLine = 0;            // --resource-line: that line by its position, from 1
    AviOptions avi;                  // --avi-*: the AVI dialogs' answers
};

// Whether --cursor-format SIZE[,COLORS[,noscale]] and --gif-import
// sequence[:WxH]|frame:N|assembled can be read (the dialogs judge the
// numbers themselves).
bool cursorFormatReadable(const std::string &value);
bool gifImportReadable(const std::string &value);

// Whether a line of template 102's list is the one --resource names: the
// line as listed (names are padded to 6 characters) or without its
// leading spaces.
bool isResourceLine(const std::string &line, const std::string &asked);

// One thing a user does in a dialog.
struct DialogStep {
    enum Kind { kClick, kText, kSelect, kSelectText } kind;
    int control;
    std::string text;   // kText: the field's new text; kSelectText: the line, leading spaces removed
    int32_t index = 0;  // kSelect: the list line
};

// The answer to a dialog: cancel it, or take the steps and press Enter.
struct DialogAnswer {
    bool cancel = false;
    std::vector<DialogStep> steps;
};

DialogAnswer answerFor(int templateId, const DialogAnswers &options);

// What to say when "GIF - Importoptionen" refuses a sequence size (its
// fields as they read) and the import ends with nothing done: which
// answers would work for a file of `frames` frames. Empty when the size is
// one the dialog takes.
std::string gifImportRefusal(const std::string &width, const std::string &height, size_t frames);

#if !defined(_WIN32)
// What a headless dialog shows in a static or edit, and line index of a
// list: empty when there is no such control or line.
std::string dialogText(VcDialog *dialog, int32_t control);
std::string dialogListLine(VcDialog *dialog, int32_t control, int32_t index);
#endif

#if defined(_WIN32)
// From now on the library's real dialogs on this thread are answered from
// the table as soon as they are shown, so that nothing waits for a person;
// a message box is printed and closed. A dialog that refuses the answer
// (OK leaves it open) is cancelled, saying so. What the AVI dialogs show
// is noted in avi.
void driveDialogs(const DialogAnswers &options, AviRun &avi);
#endif

}  // namespace host
