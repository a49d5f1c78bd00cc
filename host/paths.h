// The host's rules for file names, in one place and on std::filesystem:
// which part of a name is its extension, and the names the host makes
// from the ones it is given (numbered frames, a batch's outputs).
//
// A name's last part alone has an extension, and only after a dot that is
// not its first character: ".png" (a dot-file), "dir.d/file", "a/.." and
// "dir/" have none. On Windows '\' separates folders as '/' does; on Linux
// it is a character of the name, as everywhere else on the system.
// Extensions compare without regard to case.
#pragma once

#include <filesystem>
#include <string>

namespace host::paths {

// A name of the host as a path (on Windows from the ANSI code page the
// command line and the library use).
std::filesystem::path path(const std::string &name);

// The extension without its dot, in lower case ("png" for "a/B.PNG"):
// empty when the name has none.
std::string extension(const std::string &name);
// Whether the name's extension is ext (given without the dot, in lower case).
bool hasExtension(const std::string &name, const std::string &ext);

// The name with `suffix` put before its extension: "a/b_001.png" for
// "a/b.png" and "_001"; at its end when it has none.
std::string beforeExtension(const std::string &name, const std::string &suffix);

// "_NNN" for frame i of count: at least three digits, more when the count
// needs them, so that the names sort as the frames do.
std::string frameNumber(size_t i, size_t count);

// `name` inside `folder`; joined by '/', which both systems take, unless
// the folder ends in a separator already. An empty folder is the current one.
std::string inFolder(const std::string &folder, const std::string &name);

// The last part of a path with its extension replaced by ext ("a.tar.ico"
// for "x/a.tar.png" and "ico"; ".png.ico" for ".png").
std::string renamed(const std::string &path, const std::string &ext);

// The name `name` takes beside `path`: in the same folder, written as
// the path writes it ("x//b.ico" beside "x//a.png").
std::string beside(const std::string &path, const std::string &name);

}  // namespace host::paths
