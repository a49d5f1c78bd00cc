// velmconv theme: a Windows cursor scheme made into an X cursor theme, and
// an X cursor theme made into a Windows cursor scheme, through the
// library's C API.
//
// Scheme to theme. The scheme is a folder of CUR and ANI files, with an
// install.inf naming each role's file (host/theme_inf.h); without one,
// the files are matched to roles by the words of their names. Each role's
// file becomes OUT/cursors/NAME (its first X name) as an X cursor file,
// and its other X names become symbolic links to it (copies where the
// system refuses links). Every image a file holds becomes an image of its
// own size: a cursor's entries are its sizes, an animated cursor's frames
// each give every size, played in the order its steps say, each step's
// rate turned from jiffies (1/60 s) into milliseconds (rounded). A still
// cursor's images wait 50 ms, as X cursor tools make them. Pixels that
// invert the screen (mask set, colour not black) become opaque black in a
// black-and-white cursor and transparent in one of colours. What the
// install.inf's [X.Cursor.Theme] section says is used instead: nominal
// sizes and exact delays, the theme's Comment and Inherits. OUT/index.theme
// names the theme after the scheme.
//
// Theme to scheme. index.theme gives the name, comment and inherited
// theme; each role takes the first of its X names found in cursors/.
// Images are grouped by nominal size; one image of each size makes a CUR
// file with an entry per size, several an ANI file with one multi-size
// frame per image position (frames that repeat an earlier one are stored
// once and named again by the steps), each step's rate the delay in
// jiffies rounded (at least one). Images above 256 pixels, which cursor
// files cannot hold, are left out, and so are sizes with a different
// number of frames than the others; both are said. install.inf installs
// the scheme and keeps, in [X.Cursor.Theme], the nominal sizes and
// millisecond delays the files cannot hold.
//
// A role without a cursor is never made up: it is reported on standard
// error, and the exit status says so (kExitRolesMissing). Of the
// seventeen roles only the fifteen before Pin and Person are expected;
// those two are reported on standard output when missing.
#pragma once

#include <string>

namespace host::theme {

// The theme was written, but one of the fifteen expected roles had no
// cursor (or its file could not be read).
constexpr int kExitRolesMissing = 3;

struct Options {
    bool toWindows = false;
    bool quiet = false;         // no line per role on standard output
    bool inheritsGiven = false;
    std::string inherits;       // --inherits: the theme's fallback ("" none)
};

// Runs the command; returns the exit code (0 all roles written, 1 nothing
// written or a file could not be written, kExitRolesMissing).
int run(const std::string &in, const std::string &out, const Options &options);

}  // namespace host::theme
