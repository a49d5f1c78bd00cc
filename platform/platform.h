// The platform layer: the one place that knows which operating system the
// library runs on. Everything above it is portable C++ written against these
// calls. On Windows they are the real kernel and user-interface calls; on
// Linux they are a small handle table, POSIX files and a headless window
// registry answered by a responder that a host or test installs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vc {

using Wnd = void *;        // a window (HWND on Windows)
using MemHandle = void *;  // a movable memory block (HGLOBAL on Windows)
using ModuleHandle = void *;
using HFile = int32_t;     // a file of the 16-bit-heritage calls
constexpr HFile kFileError = -1;

namespace plat {

// ---- Movable memory blocks with handle semantics -------------------------
enum : uint32_t { kMemMoveable = 0x0002, kMemZeroInit = 0x0040 };

MemHandle memAlloc(uint32_t flags, size_t size);
// Grows or shrinks a block; returns the (possibly new) handle or none, in
// which case the old block is untouched.
MemHandle memReAlloc(MemHandle h, size_t size, uint32_t flags);
void *memLock(MemHandle h);    // none for an invalid handle
bool memUnlock(MemHandle h);
size_t memSize(MemHandle h);   // 0 for an invalid handle
MemHandle memFree(MemHandle h);  // none when freed, the handle when not

// A work buffer of one call: a movable zero-filled block, locked while it
// is held and freed on every way out.
struct WorkBlock {
    MemHandle handle = nullptr;
    uint8_t *data = nullptr;

    WorkBlock() = default;
    WorkBlock(const WorkBlock &) = delete;
    WorkBlock &operator=(const WorkBlock &) = delete;
    ~WorkBlock() { release(); }

    // False when the size does not fit the address space or memory is short.
    bool alloc(uint64_t size) {
        if (size > SIZE_MAX) return false;
        handle = memAlloc(kMemMoveable | kMemZeroInit, size_t(size));
        if (!handle) return false;
        data = static_cast<uint8_t *>(memLock(handle));
        if (!data) {
            handle = memFree(handle);
            return false;
        }
        return true;
    }
    void release() {
        if (!handle) return;
        memUnlock(handle);
        memFree(handle);
        handle = nullptr;
        data = nullptr;
    }
};

// Test switches. memFailAt(n): the n-th allocation from now fails (1 = the
// next one); 0 switches it off. memLiveBlocks: blocks allocated through this
// layer and not yet freed.
void memFailAt(long n);
long memLiveBlocks();

// ---- Files: the 16-bit-heritage calls --------------------------------------
enum : int { kOpenRead = 0, kOpenWrite = 1, kOpenReadWrite = 2 };
enum : int { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };

HFile fileOpen(const char *name, int mode);           // kFileError on failure
HFile fileCreate(const char *name, int attributes);   // kFileError on failure
// Read and write return the byte count, or -1 (the all-ones UINT) on error.
int32_t fileRead(HFile f, void *buffer, uint32_t count);
int32_t fileWrite(HFile f, const void *buffer, uint32_t count);
int32_t fileSeek(HFile f, int32_t offset, int origin);  // new position or -1
HFile fileClose(HFile f);                                // 0, or -1
// Deletes a file named in the Windows character set; on Windows the name
// goes through its OEM form first, as the 16-bit call took it.
bool fileDelete(const char *name);
// Test switches: writes come back short once n more bytes have been
// written in total (-1 switches it off); fileOpenCount: files open now.
void fileFailWritesAfter(long n);
long fileOpenCount();

// ---- The module ------------------------------------------------------------
void setModule(ModuleHandle m);
ModuleHandle module();
// Loads string id into buffer (at most max - 1 characters and a NUL);
// returns the length, 0 when there is no such string.
int loadString(unsigned id, char *buffer, int max);
// The library's own file name; returns its length, 0 on failure.
int moduleFileName(char *buffer, int size);
// Loads a library from the folder of this module; none on failure.
void *loadLibraryBeside(const char *name);
void *libraryProc(void *library, const char *name);
void freeLibrary(void *library);

// ---- Windows ---------------------------------------------------------------
struct Rect {
    int32_t left, top, right, bottom;
};
bool windowRect(Wnd w, Rect &r);  // screen coordinates
Wnd parentOf(Wnd w);
void screenSize(int32_t &width, int32_t &height);
bool moveWindow(Wnd w, int32_t x, int32_t y);  // keeps size and Z order
bool enableWindow(Wnd w, bool enable);
bool isWindowEnabled(Wnd w);
bool destroyWindow(Wnd w);
// Text of a dialog control; getItemText returns false when there is none.
bool getItemText(Wnd dialog, int id, char *buffer, int size);
bool setItemText(Wnd dialog, int id, const char *text);

// ---- User interface seam -----------------------------------------------------
int messageBox(Wnd owner, const char *text, const char *title, uint32_t style);
void beep(uint32_t type);
bool chooseColor(Wnd owner, uint32_t &color, uint32_t custom[16]);
bool help(Wnd w, const char *file, uint32_t command, uintptr_t data);
// Handles every waiting message; a message the given dialog accepts as a
// dialog message goes no further. Never waits.
void pumpMessages(Wnd dialog);

// The progress window: created from template 100 or 101, modeless, owned by
// parent. Its window procedure is the portable one of common/progress.h.
Wnd progressWindowCreate(Wnd parent, ModuleHandle module, int templateId);
// Shows the window, updates it at once, and hands it the percentage (the
// WM_USER message of the window procedure).
void progressWindowUpdate(Wnd w, int32_t percent);

// A modal dialog: the portable model answers what the user would; the
// Windows view edits the same model. Returns the dialog's result.
struct DialogModel {
    virtual ~DialogModel() = default;
    // What pressing Enter with the dialog as it stands does; returns the
    // dialog's result.
    virtual intptr_t pressEnter() = 0;
};
intptr_t runDialog(Wnd parent, int templateId, DialogModel &model);

}  // namespace plat
}  // namespace vc
