// The GIF document record: what a scan of a GIF file finds (screen, global
// palette, one entry per image with its graphic control settings, comment,
// looping) and, once the editor adopts it, the animated GIF document that
// the export and the animation dialog keep their settings in. It lives in
// one movable zero-filled block and is copied as a whole, so it is a plain
// struct with a fixed layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/gif_layout.h"
#include "controls/playback_model.h"
#include "common/editor_link.h"
#include "platform/owners.h"
#include "platform/platform.h"

namespace vc {

// A new record in a movable zero-filled block, locked: code 167, the
// default comment (string 210) in use, endless looping, first frame delay 1
// and disposal 2. Empty when memory is short.
plat::Block NewGifAnimRecord();

// The record in a block, locked, when the block holds one (big enough and
// starting with the GIF format code); else a lock that holds nothing.
plat::DocumentLock<GifAnimRecord> lockGifRecord(MemHandle h);

// Offers the record to the editor as its animation document (unlocking it
// first). True when the editor took it: the block is the editor's then and
// `record` holds nothing; otherwise it stays ours.
bool offerGifRecord(plat::Block &record, const EditorLink &editor);

// What the playback window plays of the record: its screen, frames and
// timing, and the background colour (the palette entry at the background
// index).
PlaybackReel playbackReel(const GifAnimRecord &record);

}  // namespace vc
