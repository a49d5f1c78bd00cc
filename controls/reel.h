// The film-strip window class "AVIREEL": registered when the library is
// attached to a process and removed when it is detached.
#pragma once

#include "platform/platform.h"

namespace vc {

constexpr const char *kReelClassName = "AVIREEL";
constexpr unsigned kReelClassStyle = 0x3048;  // CS_DBLCLKS | CS_CLASSDC | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW
constexpr int kReelWindowExtra = 40;          // ten 32-bit state values

bool RegisterReelClass(ModuleHandle module);
void UnregisterReelClass(ModuleHandle module);
bool reelClassRegistered();

}  // namespace vc
