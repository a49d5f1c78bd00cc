// The platform layer: the one place that knows which operating system the
// library runs on. Everything above it is portable C++ written against these
// calls. On Windows they are the real kernel and user-interface calls; on
// Linux they are a small handle table, POSIX files and a headless window
// registry answered by a responder that a host or test installs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>


namespace vc {

using Wnd = void *;        // a window (HWND on Windows)
using MemHandle = void *;  // a movable memory block (HGLOBAL on Windows)
using ModuleHandle = void *;
using HFile = int32_t;     // a file of the 16-bit-heritage calls
constexpr HFile kFileError = -1;

namespace plat {

// ---- Movable memory blocks with handle semantics -------------------------
enum : uint32_t { kMemMoveable = 0x0002, kMemZeroInit = 0x0040 };

[[nodiscard]] MemHandle memAlloc(uint32_t flags, size_t size);
// Grows or shrinks a block; returns the (possibly new) handle or none, in
// which case the old block is untouched.
[[nodiscard]] MemHandle memReAlloc(MemHandle h, size_t size, uint32_t flags);
[[nodiscard]] void *memLock(MemHandle h);    // none for an invalid handle
[[nodiscard]] bool memUnlock(MemHandle h);
[[nodiscard]] size_t memSize(MemHandle h);   // 0 for an invalid handle
[[nodiscard]] MemHandle memFree(MemHandle h);  // none when freed, the handle when not

// Test switches. memFailAt(n): the n-th allocation from now fails (1 = the
// next one); 0 switches it off. memLiveBlocks: blocks allocated through this
// layer and not yet freed.
void memFailAt(long n);
long memLiveBlocks();
// Linux side: the most bytes held in blocks at once since the last reset
// (for the memory benchmark).
size_t memPeakBytes();
void memResetPeak();

// The largest block memAlloc hands out; the limits record (common/limits.h)
// sets it, so a lowered limit reaches the allocations too.
void setLargestBlock(uint64_t bytes);

// ---- Files: the 16-bit-heritage calls --------------------------------------
enum : int { kOpenRead = 0, kOpenWrite = 1, kOpenReadWrite = 2 };
enum : int { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };

[[nodiscard]] HFile fileOpen(const char *name, int mode);           // kFileError on failure
[[nodiscard]] HFile fileCreate(const char *name, int attributes);   // kFileError on failure
// Read and write return the byte count, or -1 (the all-ones UINT) on error.
[[nodiscard]] int32_t fileRead(HFile f, void *buffer, uint32_t count);
[[nodiscard]] int32_t fileWrite(HFile f, const void *buffer, uint32_t count);
[[nodiscard]] int32_t fileSeek(HFile f, int32_t offset, int origin);  // new position or -1
[[nodiscard]] HFile fileClose(HFile f);                                // 0, or -1
// Deletes a file named in the Windows character set; on Windows the name
// goes through its OEM form first, as the 16-bit call took it.
[[nodiscard]] bool fileDelete(const char *name);
// Test switches: writes come back short once n more bytes have been
// written in total (-1 switches it off); closes report a failure (the file
// is closed all the same) while fileFailCloses is on; fileOpenCount: files
// open now.
void fileFailWritesAfter(long n);
void fileFailCloses(bool on);
long fileOpenCount();

// Test switch (Linux side only): a file held in memory. While a name is
// mapped, the file calls open, create, read, write, seek, close and delete
// it in memory instead of on disk, with the same results a disk file gives
// (short writes under the write switch included). Tests and fuzz harnesses
// feed readers through the exports this way without touching the disk.
// Setting a name again replaces its bytes; unmapping or deleting forgets the
// name, and a handle still open keeps the bytes until it is closed.
void memFileMap(const char *name, const void *data, size_t size);
// The bytes of a mapped file (a save's output), none when not mapped.
const uint8_t *memFileData(const char *name, size_t *size);
void memFileUnmap(const char *name);

// ---- The module ------------------------------------------------------------
void setModule(ModuleHandle m);
ModuleHandle module();
// Loads string id into buffer (at most max - 1 characters and a NUL);
// returns the length, 0 when there is no such string.
[[nodiscard]] int loadString(unsigned id, char *buffer, int max);
// The library's own file name; returns its length, 0 on failure.
[[nodiscard]] int moduleFileName(char *buffer, int size);
// Loads a library from the folder of this module, without the system's
// critical-error box on Windows; none on failure.
[[nodiscard]] void *loadLibraryBeside(const char *name);
[[nodiscard]] void *libraryProc(void *library, const char *name);
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
// The colours of the editor's palette handle (command 6), from entry 0, at
// most max of them; returns how many were copied, 0 without a palette. On
// Windows the handle is a logical palette; the headless editor's handle
// points at 256 entries of this layout, which is the system's own.
struct PaletteColor {
    uint8_t red, green, blue, flags;
};
[[nodiscard]] uint32_t paletteEntries(void *palette, PaletteColor *out, uint32_t max);
// Handles every waiting message; a message the given dialog accepts as a
// dialog message goes no further. Never waits.
void pumpMessages(Wnd dialog);

// The folder for temporary files, with its separator at the end; false
// when the system gives none that fits the buffer.
[[nodiscard]] bool tempDirectory(char *buffer, int size);
// Milliseconds since the system started (wrapping).
[[nodiscard]] uint32_t tickCount();
// The web browser's open command: on Windows the default value of the
// classes root's "htmlfile\shell\open\command", else of
// "http\shell\open\command", read into 260 bytes (a longer value counts as
// none) and marked for shortening to its program; on Linux the command the
// host configured (VcSetBrowserCommand), else xdg-open when it is
// installed, used as it stands. Empty text when there is none.
struct BrowserCommand {
    std::string text;
    bool shorten = false;
};
[[nodiscard]] BrowserCommand browserCommand();
// Starts a command line whose window should be width x height pixels,
// gives it half a second, waits until it is ready for input (on Linux:
// until it has ended) for at most 10 seconds, and another half second.
// false when it could not be started. On Linux the line runs through
// /bin/sh: a program the shell cannot find or run (its exit status 127 or
// 126 within the wait) counts as not started; the size has no way to reach
// the program.
[[nodiscard]] bool startBrowser(const char *commandLine, int32_t width, int32_t height);

// The progress window: created from template 100 or 101, modeless, owned by
// parent. Its window procedure is the portable one of common/progress.h.
Wnd progressWindowCreate(Wnd parent, ModuleHandle module, int templateId);
// Shows the window, updates it at once, and hands it the percentage (the
// WM_USER message of the window procedure).
void progressWindowUpdate(Wnd w, int32_t percent);

// A modal dialog's portable model. Every dialog model speaks the same
// words, whichever drives it (its Win32 view, a headless responder through
// the UI seam, a test):
//   start()            the portable part of WM_INITDIALOG; false ends the
//                      dialog at once (its result is then set)
//   click(id)          the user clicked button, check box or radio button
//                      id: a check box toggles, a radio button is checked
//                      alone in its group, OK (1) and Cancel (2) press those;
//                      false when the dialog refused it (it beeped)
//   textField(id)      an edit's text as the model keeps it; setText puts
//                      text there as typing would (refused while the edit
//                      is disabled) and tells the model through edited(id)
//   select(id, index)  the user chose line index of list id
//   scroll(id, code)   the arrows (a scroll bar) beside a field
//   reelNotify(...)    a film strip's notification, in dialogs with strips
//                      (they are the strips' parents, controls/reel_model.h)
//   shownText(id)      what static id shows; listCount(id) and listText(id,
//                      index) the lines of list id; isChecked(id) whether
//                      check box or radio button id is checked (1) or not
//                      (0), -1 when the model keeps no such button: what a
//                      host reads to choose its answer
//   pressOk(), pressCancel(), pressEnter()
//   ended(), result()  whether the dialog ended, and with what
// The keys held while the user acts are part of what the view hands over.
struct DialogModel {
    enum : int { kOk = 1, kCancel = 2 };
    virtual ~DialogModel() = default;
    // Which dialog this is: its template id.
    virtual int templateId() const = 0;

    virtual bool start() { return true; }
    bool click(int id) {
        if (id == kOk) return pressOk();
        if (id == kCancel) {
            pressCancel();
            return true;
        }
        return clicked(id);
    }
    // A click on any other control than OK and Cancel.
    virtual bool clicked(int id) { return false; }
    virtual std::string *textField(int id) { return nullptr; }
    virtual bool enabled(int id) const { return true; }
    virtual void edited(int id) {}
    virtual bool select(int id, int32_t index) { return false; }
    virtual void scroll(int id, int code) {}
    virtual bool shownText(int id, std::string &text) const { return false; }
    virtual int32_t listCount(int id) const { return -1; }
    virtual bool listText(int id, int32_t index, std::string &text) const { return false; }
    virtual int isChecked(int id) const { return -1; }
    // OK: true when the dialog ended with its result; false when it
    // refused (beeped) and stays open.
    virtual bool pressOk() = 0;
    virtual void pressCancel() { end(0); }
    // What pressing Enter with the dialog as it stands does: OK, and where
    // OK is refused headless, with nobody to correct the fields, Cancel.
    virtual intptr_t pressEnter() {
        if (!pressOk()) pressCancel();
        return result();
    }

    bool setText(int id, const char *text) {
        std::string *field = textField(id);
        if (!field || !enabled(id)) return false;
        *field = text ? text : "";
        edited(id);
        return true;
    }
    bool ended() const { return ended_; }
    intptr_t result() const { return result_; }

    bool shiftDown = false, ctrlDown = false, altDown = false, enterDown = false;
    Wnd window = nullptr;  // the dialog's window while one is shown

protected:
    void end(intptr_t result) {
        ended_ = true;
        result_ = result;
    }

private:
    bool ended_ = false;
    intptr_t result_ = 0;
};
// Runs template templateId (the model's own) modally over the model and
// returns the dialog's result: on Windows through the view registered for
// the template (-1 when there is none), headless through the host's
// responder or, by default, Enter.
intptr_t runDialog(Wnd parent, int templateId, DialogModel &model);

}  // namespace plat
}  // namespace vc
