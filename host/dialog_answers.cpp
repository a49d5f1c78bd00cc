#include "host/dialog_answers.h"

#include <algorithm>
#include <cstdlib>

#include "host/cli.h"
#include "velmconv/dialogs.h"

#if !defined(_WIN32)
#include "velmconv/headless.h"
#endif

namespace host {

namespace {

// SIZE[,COLORS[,noscale]]: SIZE 16, 32, 64 or WxH; COLORS 2, 16, 256.
void changeCursorFormat(const std::string &value, std::vector<DialogStep> &steps) {
    std::string size = value, colors, rest;
    if (size_t c = size.find(','); c != std::string::npos) colors = size.substr(c + 1), size.resize(c);
    if (size_t c = colors.find(','); c != std::string::npos) rest = colors.substr(c + 1), colors.resize(c);
    if (size == "16") steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_SIZE16, {}});
    else if (size == "32") steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_SIZE32, {}});
    else if (size == "64") steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_SIZE64, {}});
    else if (size_t x = size.find('x'); x != std::string::npos) {
        steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_SIZE_OTHER, {}});
        steps.push_back({DialogStep::kText, VC_IDC_CURSOR_X, size.substr(0, x)});
        steps.push_back({DialogStep::kText, VC_IDC_CURSOR_Y, size.substr(x + 1)});
    }
    if (colors == "2") steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_COLORS2, {}});
    else if (colors == "16") steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_COLORS16, {}});
    else if (colors == "256") steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_COLORS256, {}});
    if (rest == "noscale") steps.push_back({DialogStep::kClick, VC_IDC_CURSOR_SCALE, {}});  // on at start
}

// sequence[:WxH], frame:N or assembled. The size fields refuse text while
// the editor's size rules.
void gifImport(const std::string &value, std::vector<DialogStep> &steps) {
    std::string mode = value, arg;
    if (size_t c = mode.find(':'); c != std::string::npos) arg = mode.substr(c + 1), mode.resize(c);
    if (mode == "frame") {
        steps.push_back({DialogStep::kSelect, VC_IDC_GIFIMP_LIST, {}, std::atoi(arg.c_str())});
    } else if (mode == "assembled") {
        steps.push_back({DialogStep::kClick, VC_IDC_GIFIMP_ASSEMBLED, {}});
    } else if (size_t x = arg.find('x'); mode == "sequence" && x != std::string::npos) {
        steps.push_back({DialogStep::kText, VC_IDC_GIFIMP_WIDTH, arg.substr(0, x)});
        steps.push_back({DialogStep::kText, VC_IDC_GIFIMP_HEIGHT, arg.substr(x + 1)});
    }
}

}  // namespace

std::string gifImportRefusal(const std::string &width, const std::string &height, size_t frames) {
    // A field that is no number reads as 0, as the dialog reads it.
    static constexpr unsigned long kMin = VC_GIF_IMPORT_MIN_SIZE, kMax = VC_GIF_IMPORT_MAX_SIZE;
    auto number = [](const std::string &text) {
        char *end = nullptr;
        const unsigned long v = std::strtoul(text.c_str(), &end, 10);
        return end && end != text.c_str() && !*end ? v : 0ul;
    };
    const unsigned long w = number(width), h = number(height);
    auto fits = [](unsigned long v) { return v >= kMin && v <= kMax; };
    if (fits(w) && fits(h)) return {};
    auto clamp = [](unsigned long v) { return std::to_string(std::clamp(v, kMin, kMax)); };
    return "the frames differ in size and the GIF import options refused a sequence of " + std::to_string(w) + "x" +
           std::to_string(h) + " (each side " + std::to_string(kMin) + " to " + std::to_string(kMax) +
           " pixels); give --gif-import sequence:" + clamp(w) + "x" + clamp(h) + ", frame:N (0 to " +
           std::to_string(frames ? frames - 1 : 0) + ") or assembled";
}

DialogAnswer answerFor(int templateId, const DialogAnswers &o) {
    DialogAnswer a;
    for (int id : o.cancelDialogs)
        if (id == templateId) a.cancel = true;
    if (a.cancel) return a;
    switch (templateId) {
    case VC_IDD_SELECT_CURSOR:
        if (o.cursorSize) a.steps.push_back({DialogStep::kClick, o.cursorSize, {}});
        break;
    case VC_IDD_CHANGE_CURSOR:
        if (!o.cursorFormat.empty()) changeCursorFormat(o.cursorFormat, a.steps);
        break;
    case VC_IDD_GIF_IMPORT:
        if (!o.gifImport.empty()) gifImport(o.gifImport, a.steps);
        break;
    case VC_IDD_RESOURCE_BITMAP:
        if (o.resourceLine > 0) a.steps.push_back({DialogStep::kSelect, VC_IDC_RESBMP_LIST, {}, o.resourceLine - 1});
        else if (!o.resource.empty()) a.steps.push_back({DialogStep::kSelectText, VC_IDC_RESBMP_LIST, o.resource});
        break;
    default: break;
    }
    return a;
}

#if !defined(_WIN32)
namespace {

// A text the library copies out through read(buffer, size), which returns
// the text's whole length or -1.
template <class Read> std::string copiedText(Read read) {
    const int32_t length = read(nullptr, 0);
    if (length <= 0) return {};
    std::string text(size_t(length) + 1, '\0');
    read(text.data(), length + 1);
    text.resize(size_t(length));
    return text;
}

}  // namespace

std::string dialogText(VcDialog *dialog, int32_t control) {
    return copiedText([&](char *buffer, int32_t size) { return VcDialogGetText(dialog, control, buffer, size); });
}

std::string dialogListLine(VcDialog *dialog, int32_t control, int32_t index) {
    return copiedText(
        [&](char *buffer, int32_t size) { return VcDialogListText(dialog, control, index, buffer, size); });
}
#endif

bool isResourceLine(const std::string &line, const std::string &asked) {
    return line == asked || line.substr(std::min(line.find_first_not_of(' '), line.size())) == asked;
}

namespace {

// W x H in whole numbers.
bool isSize(const std::string &text) {
    const size_t x = text.find('x');
    return x != std::string::npos && wholeNumber(text.substr(0, x)) && wholeNumber(text.substr(x + 1));
}

}  // namespace

bool cursorFormatReadable(const std::string &value) {
    std::string size = value, colors, rest;
    if (size_t c = size.find(','); c != std::string::npos) colors = size.substr(c + 1), size.resize(c);
    if (size_t c = colors.find(','); c != std::string::npos) rest = colors.substr(c + 1), colors.resize(c);
    const bool sizeOk = size == "16" || size == "32" || size == "64" || isSize(size);
    const bool colorsOk = colors.empty() || colors == "2" || colors == "16" || colors == "256";
    return sizeOk && colorsOk && (rest.empty() || rest == "noscale") && (value.find(',') == std::string::npos || !colors.empty());
}

bool gifImportReadable(const std::string &value) {
    if (value == "assembled" || value == "sequence") return true;
    if (value.rfind("frame:", 0) == 0) return wholeNumber(value.substr(6)).value_or(-1) >= 0;
    return value.rfind("sequence:", 0) == 0 && isSize(value.substr(9));
}

}  // namespace host
