// Movable memory blocks as the editor sees them: the Windows global heap
// in the Windows test program, the library's own handle table natively.
// The fake editor allocates and frees through these so one source serves
// both.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include "velmconv/headless.h"
#endif

namespace vctest::mem {
#if defined(_WIN32)
inline void *alloc(size_t size, bool zero = true) { return GlobalAlloc(GMEM_MOVEABLE | (zero ? GMEM_ZEROINIT : 0), size); }
inline void *lock(void *block) { return GlobalLock(static_cast<HGLOBAL>(block)); }
inline void unlock(void *block) { GlobalUnlock(static_cast<HGLOBAL>(block)); }
inline void release(void *block) { GlobalFree(static_cast<HGLOBAL>(block)); }
#else
inline void *alloc(size_t size, bool zero = true) { return VcMemAlloc(VC_MEM_MOVEABLE | (zero ? VC_MEM_ZEROINIT : 0), size); }
inline void *lock(void *block) { return VcMemLock(block); }
inline void unlock(void *block) { VcMemUnlock(block); }
inline void release(void *block) { VcMemFree(block); }
#endif
}  // namespace vctest::mem
