// The editor's two animation documents side by side: the animated cursor's
// and the animated GIF's. The editor holds both kinds, so when a file of
// one is saved as the other it carries over what they share (timing,
// transparency, looping, texts) instead of letting the writer start from
// its defaults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/editor.h"

namespace host {

// GIF delays count 1/100 s, cursor rates 1/60 s (jiffies); both rounded
// to the nearest step (in 64 bits: a file's rate may be any 32-bit value).
constexpr uint64_t jiffiesFromHundredths(uint64_t hundredths) { return (hundredths * 60 + 50) / 100; }
constexpr uint64_t hundredthsFromJiffies(uint64_t jiffies) { return (jiffies * 100 + 30) / 60; }

// Before a save with format `code`: when the editor's document is the other
// animation document, it is replaced by one of the kind the writer uses,
// made from it (an animated cursor's steps become the GIF's frames, in
// step order). Returns what was carried across as one line for the user,
// empty when nothing was converted.
std::string carryDocument(Editor &ed, int code);

// The lines `info` prints for a GIF animation document: looping, and each
// frame's delay, disposal and transparency. Empty for any other block.
std::string describeGifDocument(const void *document, size_t size);
// The lines `info` prints for a cursor animation document: counts, default
// rate, title, author and the steps. Empty for any other block.
std::string describeCursorDocument(const void *document, size_t size);

}  // namespace host
