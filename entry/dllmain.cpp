// Process attach and detach: keep the module handle (strings, dialogs and
// bitmaps come from it) and register the film-strip class.
#include "controls/reel.h"
#include "platform/platform.h"
#include "velmconv/velmconv.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {
constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;

int32_t attachDetach(void *module, uint32_t reason) {
    if (reason == kProcessAttach) {
        vc::plat::setModule(module);
        vc::RegisterReelClass(module);
    } else if (reason == kProcessDetach) {
        vc::UnregisterReelClass(vc::plat::module());
        vc::plat::setModule(nullptr);
    }
    return 1;
}
}  // namespace

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    return attachDetach(module, reason);
}
#else
// The Linux library has no loader that calls it; a host calls it the way
// the Windows loader would, once at start with reason 1 and once at the end
// with reason 0.
extern "C" VC_EXPORT int32_t VC_API DllMain(void *module, uint32_t reason, void *) {
    return attachDetach(module, reason);
}
#endif
