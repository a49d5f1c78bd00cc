// What the dialog views need of the Windows film strip beyond its messages.
#pragma once

#include <windows.h>

#include "controls/reel.h"
#include "controls/reel_model.h"
#include "common/editor_link.h"

namespace vc::win {

// Lets the strip window show and drive a dialog model's own strip model
// (the one its portable rules work on) instead of the one it made for
// itself; its notifications then reach the dialog as WM_COMMAND, as every
// host of the control receives them. False when strip is no film strip.
bool bindReel(HWND strip, ReelModel &model);
// Brings the window up to date after the model changed outside a message
// of its own: repaint, scroll bar, the state values in its extra bytes.
void syncReel(HWND strip);
// Draws a strip cell from the editor's picture of frame `frame` (its
// width x height stretched into the cell, in the editor's palette when it
// has one), or the placeholder when the editor cannot draw the frame.
void drawEditorFrame(const REELDRAW &cell, const EditorLink &editor, int32_t frame, void *palette, int width,
                     int height);

}  // namespace vc::win
