// Without a window system the class registration is a flag that the
// headless film strip and the tests look at.
#include "controls/reel.h"

namespace vc {

namespace {
bool gRegistered = false;
}

bool RegisterReelClass(ModuleHandle) {
    gRegistered = true;
    return true;
}

void UnregisterReelClass(ModuleHandle) { gRegistered = false; }

bool reelClassRegistered() { return gRegistered; }

}  // namespace vc
