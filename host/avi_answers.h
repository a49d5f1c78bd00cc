// The host's answers to the AVI dialogs (templates 103 to 105 and the
// companion's compression options), worked through their controls as a
// user would, from the --avi-* options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct VcDialog;

namespace host {

struct AviOptions {
    // --avi-frames: 1-based frames ("1-10,15"), "all", or
    // "every:STEP[:FROM[:COUNT]]" for the stepping dialog.
    std::string frames = "1";
    std::string rate;                 // --avi-rate
    std::vector<std::string> delays;  // --avi-delays: one per frame, or one for all
    std::string codec;                // --avi-codec: the compression options' choice
};

// Takes an --avi-* option and its value; false when flag is not one or
// the value is missing. The sound file goes to the editor's file dialog
// (soundFile). wrong says why a value cannot be taken; note, what the
// dialogs will make of a value they change (a rate above 25, a delay
// above 99).
bool aviOption(const std::string &flag, const char *value, AviOptions &options, std::string &soundFile,
               std::string &wrong, std::string &note);

// --avi-frames as the frames to select on a strip of count frames (0-based,
// in order), or, for every:STEP[:FROM[:COUNT]], the stepping dialog's
// fields (from, number, step) and no frames.
struct AviSelection {
    std::vector<int32_t> frames;
    bool stepping = false;
    std::string from, number, step;
};
AviSelection aviSelection(const AviOptions &options, int32_t count);

// What the AVI dialogs of one run showed and were given: kept by the run
// and handed to whatever answers its dialogs.
struct AviRun {
    struct Video {
        std::string count, size, rate;  // as the import dialog showed them
    };
    std::optional<Video> video;  // the last video the import dialog showed
    int32_t asked = 0;           // frames its selection asked for
    // The stepping dialog's fields while the import dialog opens it.
    std::optional<AviSelection> stepping;
};
void noteAviVideo(AviRun &run, const std::string &count, const std::string &size, const std::string &rate);
// The number of frames a selection asks for, for aviShortfall.
void noteAviAsked(AviRun &run, const AviSelection &selection);
// The line info gives the video ("  video: ...\n"); empty without one.
std::string aviVideoLine(const AviRun &run);
// After an AVI import that handed over `handed` frames: why fewer came than
// the selection asked for (a file cut short or damaged), empty when all came.
std::string aviShortfall(const AviRun &run, size_t handed);
// --avi-delays: frame's delay (empty: none given).
std::string aviDelay(const AviOptions &options, int32_t frame);
// Why the compressor --avi-codec names cannot take a picture of width x
// height (MS Video 1 and Cinepak work on blocks of 4 x 4); empty when it can.
std::string aviCodecRefusal(const AviOptions &options, int32_t width, int32_t height);

#if !defined(_WIN32)
// Answers templates 103, 104 and 105; VC_DIALOG_DEFAULT for the others.
intptr_t answerAviDialog(const AviOptions &options, AviRun &run, int32_t templateId, VcDialog *dialog);
bool isAviDialog(int32_t templateId);
#endif

}  // namespace host
