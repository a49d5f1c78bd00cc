// The film-strip window class "AVIREEL": registered when the library is
// attached to a process and removed when it is detached.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace vc {

constexpr const char *kReelClassName = "AVIREEL";
constexpr unsigned kReelClassStyle = 0x3048;  // CS_DBLCLKS | CS_CLASSDC | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW
constexpr int kReelWindowExtra = 40;          // ten 32-bit state values
constexpr int kReelScrollBarId = 99;
constexpr int kSprocketBitmap = 100;  // 60 x 10, five periods of 12 columns

// What goes with REEL_DRAWFRAME: the parent draws frame `frame` into the
// cell (x, y, cx, cy) of dc, the strip's own paint DC.
struct REELDRAW {
    void *dc;
    int16_t frame;
    int16_t x, y, cx, cy;
};

bool RegisterReelClass(ModuleHandle module);
void UnregisterReelClass(ModuleHandle module);
bool reelClassRegistered();

// The memory device context every film strip draws through, which the
// playback window draws through too; none while no strip lives (Windows).
void *reelSharedDc();

// The cell of a frame that has no picture: light grey with the frame's
// index (from 0) written from the cell's centre.
void DrawFramePlaceholder(const REELDRAW *draw);

}  // namespace vc
