// Cursor schemes of Windows on paper: the roles a scheme fills, the X
// cursor names each role goes by, and the install.inf that installs a
// scheme (read and written here, with nothing but the standard library,
// so the fuzz harness takes it alone).
//
// The roles are the values under HKCU "Control Panel\Cursors", in the
// order the "Control Panel\Cursors\Schemes" list gives them: Arrow, Help,
// AppStarting, Wait, Crosshair, IBeam, NWPen, No, SizeNS, SizeWE,
// SizeNWSE, SizeNESW, SizeAll, UpArrow, Hand, Pin, Person. Pin and Person
// came last and most schemes leave them out; the fifteen before them are
// the ones a scheme is expected to fill.
//
// Reading an install.inf. The text is UTF-16 (little or big endian, by
// its byte-order mark), UTF-8 or, without a mark and not valid UTF-8, the
// Windows Latin code page (read as Latin-1). Lines end in CR, LF or both;
// a line whose last character outside quotes is '\' goes on in the next.
// ';' outside quotes starts a comment. "[name]" starts a section (names
// compare without regard to case). A row is KEY = FIELD, FIELD, ... or
// FIELD, ...; a field in double quotes keeps commas, semicolons and
// spaces, and "" inside it is one quote. %NAME% is replaced by the
// [Strings] row NAME (once, not again inside what it gives), %% is one
// '%', and a %NAME% not in [Strings] (the folder numbers such as %10%)
// stays as it is.
//   The scheme is found in the rows of any section that begin with HKCU:
// "Control Panel\Cursors\Schemes", NAME, FLAGS, "FILE,FILE,..." names the
// scheme and its files in the role order; "Control Panel\Cursors", ROLE,
// FLAGS, "FILE" names one role's file (this wins over the list);
// "Control Panel\Cursors", , FLAGS, "NAME" names the scheme. A file is
// what follows the last '\' or '/' of its path. Without a name in the
// rows, the [Strings] row SCHEME_NAME names the scheme.
//   Hostile rows are skipped, each with a note saying which line and why:
// an unknown role, a file name that is empty, "." or "..", a list of more
// than seventeen files (the rest ignored), a second scheme list, a row or
// a replaced value past kInfLongestLine, more than kInfMostFields fields,
// an unclosed quote (the field runs to the end of the line). A text past
// kInfLargestFile bytes or with a NUL outside UTF-16 is refused whole.
//
// The section [X.Cursor.Theme] (which Windows does not read) carries what
// an X cursor theme holds and Windows files cannot: the theme's Comment
// and Inherits, and per file the nominal size of each image in the file's
// order (an animated cursor: of each frame's images) and the delay of
// each step in milliseconds (a still cursor: its one delay). A scheme
// written from a theme and made into a theme again keeps them exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host::theme {

constexpr size_t kRoleCount = 17;
constexpr size_t kExpectedRoles = 15;  // Pin and Person may be missing
constexpr size_t kInfLargestFile = size_t(1) << 20;
constexpr size_t kInfLongestLine = 64 * 1024;
constexpr size_t kInfMostFields = 256;
// Nominal sizes and delays one file's row may list.
constexpr size_t kInfMostValues = 65536;

struct Role {
    const char *windows;    // the registry value: "Arrow"
    const char *title;      // as the mouse settings call it: "Normal Select"
    const char *file;       // the stem of the file a scheme written here gives it: "arrow"
    std::vector<const char *> x;       // X cursor names: the first is the file, the others links
    std::vector<const char *> words;   // file names (or their words) that mean the role in a scheme without install.inf
};
// The roles in the order of the scheme list.
const std::array<Role, kRoleCount> &roles();
// A role by its registry value (any case); kRoleCount when none.
size_t roleIndex(std::string_view windowsName);

// What the X cursor theme kept about one file.
struct XFileNote {
    std::vector<uint32_t> sizes;   // nominal size of each image (of each frame's images)
    std::vector<uint32_t> delays;  // ms of each step; one value for a still cursor
};

struct Scheme {
    std::string name;                                // "" when the file names none
    std::array<std::string, kRoleCount> files;       // file names without folders; "" when not named
    std::string comment;                             // from [X.Cursor.Theme]
    std::optional<std::string> inherits;             // from there too: "" for none, nullopt when not kept
    std::map<std::string, XFileNote> notes;          // by file name in lower case
    std::vector<std::string> skipped;                // "line N: why", for each row left out
};

// Reads an install.inf; nullopt, with why, for a text refused whole.
std::optional<Scheme> readInstallInf(std::string_view bytes, std::string &why);

// The install.inf of a scheme: files[i] the file of role i ("" when the
// theme had none), folder the folder under the Windows folder it copies
// them to ("Cursors\NAME"). ASCII when every character is, else UTF-16LE
// with its byte-order mark, as the Windows installer reads it. Every role
// has its own registry row; the scheme list leaves out a file whose name
// holds a comma, which would split it. What readInstallInf reads, written
// here, reads back the same (the fuzz harness holds it to that).
std::string writeInstallInf(const Scheme &scheme, const std::string &folder);

// The scheme's role for a file name (without folder) of a scheme without
// install.inf; kRoleCount when no word of it names one role alone.
size_t guessRole(std::string_view fileName);

// A name as a file or folder name Windows takes and an install.inf can
// carry in its scheme list: letters, digits, space, - _ . ( ) + & ! ' and
// characters past ASCII kept, every other one '_'; never empty, never
// ending in a dot or space.
std::string windowsSafeName(std::string_view name);

// Lower case of ASCII letters.
std::string lowerAscii(std::string_view text);

}  // namespace host::theme
