// X cursor files in velmconv's commands. The editor has no X cursor
// format, so these files go through the library's C API alone: info tells
// every image (nominal size, size, hotspot, delay) and the comments,
// extract writes every image as a PNG picture with its alpha, play shows
// the images of one nominal size in turn as the cursor animates.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "velmconv/api.h"

namespace host {

// Whether the file's content is an X cursor.
bool isXcursorFile(const std::string &path);

// The name of image i of count in the folder or beside the name given.
using FrameName = std::function<std::string(size_t index, size_t count)>;

int xcursorInfo(const std::string &file, bool json);
// info --json of an X cursor: its nominal sizes with their image counts,
// every image and the comments.
std::string xcursorJson(const vc_animation *animation, const std::string &file);
int xcursorExtract(const std::string &file, const FrameName &nameOf, bool quiet);
// Plays the images of the first image's nominal size (of `size` when not
// 0) over a white ground, writing each canvas; at most maxCanvases (0:
// one pass).
int xcursorPlay(const std::string &file, uint32_t size, int maxCanvases, const FrameName &nameOf, bool quiet);

}  // namespace host
