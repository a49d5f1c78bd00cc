#include "host/avi_answers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host/cli.h"
#include "host/dialog_answers.h"
#include "velmconv/dialogs.h"

#if !defined(_WIN32)
#include "velmconv/headless.h"
#endif

namespace host {

namespace {

// What is wrong with a --avi-frames value; empty when it is good: "all",
// every:STEP[:FROM[:COUNT]] of numbers from 1, or items N or N-M from 1.
std::string framesProblem(const std::string &value) {
    if (value == "all") return {};
    const bool every = value.rfind("every:", 0) == 0;
    const std::string list = every ? value.substr(6) : value;
    const char separator = every ? ':' : ',';
    int items = 0;
    for (size_t at = 0; at <= list.size(); ++items) {
        const size_t end = std::min(list.find(separator, at), list.size());
        const std::string item = list.substr(at, end - at);
        at = end + 1;
        const size_t dash = every ? std::string::npos : item.find('-');
        const auto first = wholeNumber(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : wholeNumber(item.substr(dash + 1));
        if (!first || !last || *first < 1 || *last < *first || (every && items >= 3))
            return "'" + value + "' is not a frame list (1-10,15 or all, frames from 1) nor every:STEP[:FROM[:COUNT]]";
    }
    return {};
}

}  // namespace

bool aviOption(const std::string &flag, const char *value, AviOptions &o, std::string &soundFile, std::string &wrong,
               std::string &note) {
    if (!value) return false;
    const std::string v = value;
    if (flag == "--avi-frames") {
        wrong = framesProblem(v);
        o.frames = v;
    } else if (flag == "--avi-rate") {
        // The export dialog writes 12 for a rate outside 1 to 25.
        const auto rate = wholeNumber(v);
        if (!rate || *rate < 1) wrong = "'" + v + "' is not a frame rate (1 to 25 frames per second)";
        else if (*rate > 25) note = v + " is more than the export dialog's 25 frames per second: it writes 12";
        o.rate = v;
    } else if (flag == "--avi-sound") soundFile = v;
    else if (flag == "--avi-codec") {
        static const char *const names[] = VC_COMPRESSOR_NAMES;
        if (std::find(std::begin(names), std::end(names), v) == std::end(names)) {
            wrong = "'" + v + "' is not a compressor (";
            for (const char *n : names) wrong += std::string(n) + (n == names[VC_COMPRESSOR_COUNT - 1] ? ")" : ", ");
        }
        o.codec = v;
    } else if (flag == "--avi-delays") {
        // Ticks from 0 (the frame left out); the dialog's delay field holds
        // two digits, so 99 at most.
        o.delays.clear();
        for (size_t at = 0; at <= v.size() && wrong.empty();) {
            size_t comma = std::min(v.find(',', at), v.size());
            const std::string item = v.substr(at, comma - at);
            at = comma + 1;
            const auto ticks = wholeNumber(item);
            if (!ticks || *ticks < 0) wrong = "'" + item + "' is not a delay in ticks (0 to 99)";
            else if (*ticks > 99 && note.empty()) note = item + " ticks is more than the export dialog's delay holds: 99 used";
            o.delays.push_back(ticks && *ticks > 99 ? "99" : item);
        }
    } else return false;
    return true;
}

namespace {

// The frames of a list such as "1-10,15", 0-based, below count.
std::vector<int32_t> listedFrames(const std::string &list, int32_t count) {
    std::vector<int32_t> frames;
    for (size_t at = 0; at < list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        const std::string item = list.substr(at, comma - at);
        at = comma + 1;
        const size_t dash = item.find('-');
        int32_t first = std::atoi(item.c_str()), last = dash == std::string::npos ? first : std::atoi(item.c_str() + dash + 1);
        for (int32_t f = std::max(first, 1); f <= last && f <= count; ++f) frames.push_back(f - 1);
    }
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

}  // namespace

std::string aviCodecRefusal(const AviOptions &o, int32_t width, int32_t height) {
#if defined(_WIN32)
    return "";  // the Windows host leaves the system's compressors alone
#endif
    if ((o.codec != "msvideo1" && o.codec != "cinepak") || (width % 4 == 0 && height % 4 == 0)) return "";
    return "--avi-codec " + o.codec + " takes only pictures whose width and height are multiples of 4, this one is " +
           std::to_string(width) + " x " + std::to_string(height);
}

std::string aviShortfall(const AviRun &run, size_t handed) {
    if (handed >= size_t(run.asked)) return "";
    return "only " + std::to_string(handed) + " of the " + std::to_string(run.asked) +
           " frames asked for could be read; the file promised " + (run.video ? run.video->count : "") +
           " frames, the file ends or is damaged before the rest";
}

void noteAviAsked(AviRun &run, const AviSelection &s) {
    run.asked = s.stepping ? std::max(0, std::atoi(s.number.c_str())) : int32_t(s.frames.size());
}

void noteAviVideo(AviRun &run, const std::string &count, const std::string &size, const std::string &rate) {
    run.video = AviRun::Video{count, size, rate};
    run.asked = 0;
}

std::string aviVideoLine(const AviRun &run) {
    if (!run.video) return "";
    return "  video: " + run.video->count + " frames, " + run.video->size + ", " + run.video->rate + " frames per second\n";
}

AviSelection aviSelection(const AviOptions &o, int32_t count) {
    AviSelection s;
    if (o.frames.rfind("every:", 0) == 0) {
        // every:STEP[:FROM[:COUNT]] through "Select Frames...".
        const std::string rest = o.frames.substr(6);
        const int32_t step = std::max(1, std::atoi(rest.c_str()));
        const size_t c1 = rest.find(':');
        const int32_t from = c1 == std::string::npos ? 1 : std::max(1, std::atoi(rest.c_str() + c1 + 1));
        const size_t c2 = c1 == std::string::npos ? c1 : rest.find(':', c1 + 1);
        const int32_t fit = count >= from ? (count - from) / step + 1 : 0;
        const int32_t number = c2 == std::string::npos ? std::min(fit, 255) : std::atoi(rest.c_str() + c2 + 1);
        s.stepping = true;
        s.from = std::to_string(from), s.number = std::to_string(number), s.step = std::to_string(step);
    } else {
        s.frames = o.frames == "all" ? listedFrames("1-" + std::to_string(count), count) : listedFrames(o.frames, count);
    }
    return s;
}

std::string aviDelay(const AviOptions &o, int32_t frame) {
    if (o.delays.empty()) return {};
    return o.delays[o.delays.size() == 1 ? 0 : std::min<size_t>(size_t(frame), o.delays.size() - 1)];
}

#if !defined(_WIN32)
namespace {

intptr_t answerImport(const AviOptions &o, AviRun &run, VcDialog *dialog) {
    const int32_t count = VcDialogReelCount(dialog, VC_IDC_AVI_REEL);
    if (count < 0) return VC_DIALOG_DEFAULT;
    noteAviVideo(run, dialogText(dialog, VC_IDC_AVIIMP_COUNT), dialogText(dialog, VC_IDC_AVIIMP_SIZE),
                 dialogText(dialog, VC_IDC_AVIIMP_RATE));
    const AviSelection s = aviSelection(o, count);
    noteAviAsked(run, s);
    if (s.stepping) {
        run.stepping = s;
        VcDialogClick(dialog, VC_IDC_AVIIMP_SELECT);
        run.stepping.reset();
    } else {
        // One Shift+click per frame, each toggling that frame.
        VcDialogKeys(dialog, VC_KEY_SHIFT);
        for (int32_t f : s.frames) VcDialogReelNotify(dialog, VC_IDC_AVI_REEL, VC_REEL_CLICK, f);
        VcDialogKeys(dialog, 0);
    }
    return VC_DIALOG_DEFAULT;
}

intptr_t answerSelect(const AviRun &run, VcDialog *dialog) {
    if (!run.stepping) return VC_DIALOG_DEFAULT;
    VcDialogSetText(dialog, VC_IDC_AVISEL_FROM, run.stepping->from.c_str());
    VcDialogSetText(dialog, VC_IDC_AVISEL_NUMBER, run.stepping->number.c_str());
    VcDialogSetText(dialog, VC_IDC_AVISEL_STEP, run.stepping->step.c_str());
    return VC_DIALOG_DEFAULT;
}

intptr_t answerExport(const AviOptions &o, VcDialog *dialog) {
    const int32_t count = VcDialogReelCount(dialog, VC_IDC_AVI_REEL);
    if (count < 0) return VC_DIALOG_DEFAULT;
    if (!o.rate.empty()) VcDialogSetText(dialog, VC_IDC_AVIEXP_RATE, o.rate.c_str());
    // Each frame clicked and its delay typed; the next click (or Run)
    // hands the delay over.
    if (!o.delays.empty())
        for (int32_t f = 0; f < count; ++f) {
            VcDialogReelNotify(dialog, VC_IDC_AVI_REEL, VC_REEL_CLICK, f);
            VcDialogSetText(dialog, VC_IDC_AVIEXP_DELAY, aviDelay(o, f).c_str());
        }
    VcDialogClick(dialog, VC_IDC_AVIEXP_WAVE_BUTTON);  // empty unless --avi-sound named a file
    if (!o.codec.empty()) VcDialogClick(dialog, VC_IDC_AVIEXP_COMPRESS);
    return VC_DIALOG_DEFAULT;
}

// The companion's compression options: the compressor named by --avi-codec.
intptr_t answerCompression(const AviOptions &o, VcDialog *dialog) {
    static const char *const names[] = VC_COMPRESSOR_NAMES;
    for (int i = 0; i < VC_COMPRESSOR_COUNT; ++i)
        if (o.codec == names[i]) VcDialogSelect(dialog, VC_IDC_COMPRESS_LIST, i);
    return VC_DIALOG_DEFAULT;
}

}  // namespace

bool isAviDialog(int32_t templateId) {
    return templateId == VC_IDD_AVI_IMPORT || templateId == VC_IDD_AVI_SELECT || templateId == VC_IDD_AVI_EXPORT ||
           templateId == VC_IDD_COMPRESS_OPTIONS;
}

intptr_t answerAviDialog(const AviOptions &o, AviRun &run, int32_t templateId, VcDialog *dialog) {
    switch (templateId) {
    case VC_IDD_AVI_IMPORT: return answerImport(o, run, dialog);
    case VC_IDD_AVI_SELECT: return answerSelect(run, dialog);
    case VC_IDD_AVI_EXPORT: return answerExport(o, dialog);
    case VC_IDD_COMPRESS_OPTIONS: return answerCompression(o, dialog);
    default: return VC_DIALOG_DEFAULT;
    }
}
#endif

}  // namespace host
