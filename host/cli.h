// The command line of velmconv beyond the single commands: format names,
// help texts, the JSON description of what the editor holds, and batches
// of files converted by worker processes.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/editor.h"

namespace host {

// Exit codes: every command ends with one of these.
constexpr int kExitOk = 0;       // done
constexpr int kExitFailed = 1;   // a file could not be read, converted or written (in a batch: any of them)
constexpr int kExitUsage = 2;    // the command line is wrong

// The editor's own files in the format names, besides the library's codes.
constexpr int kOwnBmp = -10, kOwnPng = -11;
// X cursors, which the library's C API writes and the editor does not know.
constexpr int kXcursor = -12;

// A format to save with, as --format and --to name it: the library's code
// in digits, or a name ("tiff", "ico", "anigif", "bmp", "png").
std::optional<int> parseFormat(const std::string &text);
// The extension a format's output gets ("tif", "ico", ...); the name a
// cursor was asked by keeps "cur".
std::string extensionFor(const std::string &formatText, int code);
// The names, for messages: "pcx, gif, tiff, ...".
std::string formatNames();
// A whole number in decimal digits (a sign allowed) and nothing else.
std::optional<long> wholeNumber(const std::string &text);

// Help: the overview (command empty) or one command's page with examples;
// false for a command that does not exist.
bool printHelp(std::FILE *to, const std::string &command);

// What info tells besides the editor's contents: why the load came to
// nothing, a program file's bitmaps as "Open Resource Bitmap" lists them,
// the video "AVI Import" showed.
struct LoadFacts {
    std::string note;
    struct Bitmap {
        int line;                        // from 1
        std::string name;                // as listed
        std::string size, colors;        // as the preview shows them; empty when unreadable
    };
    std::vector<Bitmap> bitmaps;
    std::string videoFrames, videoSize, videoRate;  // empty without a video
};

// What the editor holds after a load, as one JSON object.
std::string editorJson(const Editor &ed, const std::string &file, int result, const char *resultText, int format,
                       const char *formatText, const LoadFacts &facts);

// Many files converted to each of the formats asked for, N at once on
// threads, through the library's C API.
struct Batch {
    struct Target {
        std::string format;  // as given to --to
        int code = 0;        // parsed
    };
    std::vector<std::string> files;
    std::vector<Target> targets;   // --to FORMAT[,FORMAT...]: every file to each
    std::string outDir;            // empty: beside each input
    int jobs = 1;                  // files at once
    std::vector<std::string> options;  // the other options given, with their values
    std::vector<std::string> optionNames;  // the options among them, as given
    bool quiet = false;
    std::vector<int32_t> sizes;    // --sizes: each animated cursor frame at these sizes
};
int runBatch(const Batch &batch);

}  // namespace host
