// Linux side of the platform layer: a handle table for memory blocks, POSIX
// files behind the 16-bit-heritage calls, the string table compiled in, and
// headless windows whose dialogs are answered by the installed VcUiHost.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <bitset>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "platform/headless_dialog.h"
#include "platform/headless_window.h"
#include "platform/platform.h"
#include "platform/switches.h"
#include "resources/strings.h"
#include "velmconv/headless.h"

namespace vc::plat {

// ---- Memory blocks ---------------------------------------------------------------
namespace {
struct Block {
    uint8_t *data = nullptr;
    size_t size = 0;
    uint32_t generation = 0;
    int locks = 0;
    bool live = false;
};
std::vector<Block> gBlocks;
std::vector<size_t> gFreeSlots;
long gLiveBlocks = 0;
size_t gLiveBytes = 0, gPeakBytes = 0;

void countBytes(size_t freed, size_t taken) {
    gLiveBytes = gLiveBytes - freed + taken;
    if (gLiveBytes > gPeakBytes) gPeakBytes = gLiveBytes;
}
using detail::allocationRefused;
using detail::maxBlock;

// A handle is the tag 0x2 in its low four bits, the slot number above it
// and the slot's generation in the bits left, so that a stale handle does
// not reach the block that took its slot. A 32-bit handle has room for a
// million slots and 256 generations.
constexpr bool kWideHandles = sizeof(uintptr_t) >= 8;
constexpr unsigned kSlotBits = kWideHandles ? 28 : 20;
constexpr unsigned kGenerationShift = 4 + kSlotBits;
constexpr uint32_t kGenerationMask = kWideHandles ? 0x7FFFFFFF : 0xFF;
constexpr size_t kSlots = (size_t(1) << kSlotBits) - 1;

MemHandle makeHandle(size_t index, uint32_t generation) {
    uintptr_t v = (uintptr_t(generation) << kGenerationShift) | (uintptr_t(index + 1) << 4) | 0x2;
    return reinterpret_cast<MemHandle>(v);
}

Block *findBlock(MemHandle h) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if ((v & 0xF) != 0x2) return nullptr;
    size_t index = size_t((v >> 4) & kSlots);
    if (index == 0 || index > gBlocks.size()) return nullptr;
    Block &b = gBlocks[index - 1];
    if (!b.live || b.generation != uint32_t(v >> kGenerationShift)) return nullptr;
    return &b;
}
}  // namespace

long memLiveBlocks() { return gLiveBlocks; }
size_t memPeakBytes() { return gPeakBytes; }
void memResetPeak() { gPeakBytes = gLiveBytes; }

MemHandle memAlloc(uint32_t flags, size_t size) {
    if (allocationRefused() || size > maxBlock()) return nullptr;
    if (gFreeSlots.empty() && gBlocks.size() >= kSlots) return nullptr;
    uint8_t *data = static_cast<uint8_t *>(
        (flags & kMemZeroInit) ? std::calloc(size ? size : 1, 1) : std::malloc(size ? size : 1));
    if (!data) return nullptr;
    size_t index;
    if (!gFreeSlots.empty()) {
        index = gFreeSlots.back();
        gFreeSlots.pop_back();
    } else {
        gBlocks.emplace_back();
        index = gBlocks.size() - 1;
    }
    Block &b = gBlocks[index];
    b.data = data;
    b.size = size;
    b.generation = (b.generation + 1) & kGenerationMask;
    b.locks = 0;
    b.live = true;
    ++gLiveBlocks;
    countBytes(0, size);
    return makeHandle(index, b.generation);
}

MemHandle memReAlloc(MemHandle h, size_t size, uint32_t flags) {
    Block *b = findBlock(h);
    if (!b || allocationRefused() || size > maxBlock()) return nullptr;
    auto *data = static_cast<uint8_t *>(std::realloc(b->data, size ? size : 1));
    if (!data) return nullptr;
    if ((flags & kMemZeroInit) && size > b->size) std::memset(data + b->size, 0, size - b->size);
    countBytes(b->size, size);
    b->data = data;
    b->size = size;
    return h;
}

void *memLock(MemHandle h) {
    Block *b = findBlock(h);
    if (!b || b->size == 0) return nullptr;
    ++b->locks;
    return b->data;
}

bool memUnlock(MemHandle h) {
    Block *b = findBlock(h);
    if (!b || b->locks == 0) return false;
    return --b->locks > 0;
}

size_t memSize(MemHandle h) {
    Block *b = findBlock(h);
    return b ? b->size : 0;
}

MemHandle memFree(MemHandle h) {
    Block *b = findBlock(h);
    if (!b) return h;
    std::free(b->data);
    countBytes(b->size, 0);
    b->data = nullptr;
    b->size = 0;
    b->live = false;
    gFreeSlots.push_back(size_t(b - gBlocks.data()));
    --gLiveBlocks;
    return nullptr;
}

// ---- Files ---------------------------------------------------------------------------
// Disk files are POSIX descriptors. Mapped files (the test switch) live in
// memory under their names and are handed out as handles from kMemFileBase
// on, far above any descriptor the process can get.
namespace {
long gOpenFiles = 0;

// Descriptors of regular files opened for reading only. A read there that
// comes back short has met the end of the file, so fileRead does not ask
// again (which would cost a call and return nothing); other descriptors
// (pipes, devices, files open for writing) may deliver in pieces.
constexpr int kTrackedDescriptors = 4096;
std::bitset<kTrackedDescriptors> gEndsWhenShort;

void noteEndsWhenShort(int fd, bool yes) {
    if (fd >= 0 && fd < kTrackedDescriptors) gEndsWhenShort[size_t(fd)] = yes;
}
bool endsWhenShort(int fd) { return fd >= 0 && fd < kTrackedDescriptors && gEndsWhenShort[size_t(fd)]; }

struct MemFile {
    std::vector<uint8_t> bytes;
};
struct OpenMemFile {
    // None: the slot is free. Shared, so that a file deleted while open
    // keeps its bytes for the handle, as a disk file does.
    std::shared_ptr<MemFile> file;
    size_t position = 0;
    bool writable = false;
};
constexpr HFile kMemFileBase = 0x40000000;
std::map<std::string, std::shared_ptr<MemFile>, std::less<>> gMemFiles;
std::vector<OpenMemFile> gOpenMem;

std::shared_ptr<MemFile> mappedFile(const char *name) {
    if (gMemFiles.empty()) return nullptr;
    auto it = gMemFiles.find(std::string_view(name));
    return it == gMemFiles.end() ? nullptr : it->second;
}

HFile openMem(std::shared_ptr<MemFile> file, bool writable) {
    size_t slot = 0;
    while (slot < gOpenMem.size() && gOpenMem[slot].file) ++slot;
    if (slot == gOpenMem.size()) gOpenMem.emplace_back();
    gOpenMem[slot] = OpenMemFile{std::move(file), 0, writable};
    ++gOpenFiles;
    return kMemFileBase + HFile(slot);
}

OpenMemFile *openMemFile(HFile f) {
    if (f < kMemFileBase || size_t(f - kMemFileBase) >= gOpenMem.size()) return nullptr;
    OpenMemFile &o = gOpenMem[size_t(f - kMemFileBase)];
    return o.file ? &o : nullptr;
}
}  // namespace

long fileOpenCount() { return gOpenFiles; }

void memFileMap(const char *name, const void *data, size_t size) {
    const auto *p = static_cast<const uint8_t *>(data);
    std::shared_ptr<MemFile> &file = gMemFiles[name];
    if (!file) file = std::make_shared<MemFile>();
    file->bytes.assign(p, p + size);
}

const uint8_t *memFileData(const char *name, size_t *size) {
    const std::shared_ptr<MemFile> file = name ? mappedFile(name) : nullptr;
    if (size) *size = file ? file->bytes.size() : 0;
    return file ? file->bytes.data() : nullptr;
}

void memFileUnmap(const char *name) {
    // Handles still open keep the bytes until they are closed.
    auto it = gMemFiles.find(std::string_view(name));
    if (it != gMemFiles.end()) gMemFiles.erase(it);
}

HFile fileOpen(const char *name, int mode) {
    if (!name || !*name) return kFileError;
    if (std::shared_ptr<MemFile> file = mappedFile(name)) return openMem(std::move(file), (mode & 3) != kOpenRead);
    int flags = O_RDONLY;
    switch (mode & 3) {
    case kOpenWrite: flags = O_WRONLY; break;
    case kOpenReadWrite: flags = O_RDWR; break;
    default: break;
    }
    int fd = ::open(name, flags | O_CLOEXEC);
    if (fd < 0) return kFileError;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return kFileError;
    }
    noteEndsWhenShort(fd, S_ISREG(st.st_mode) && flags == O_RDONLY);
    ++gOpenFiles;
    return fd;
}

HFile fileCreate(const char *name, int /*attributes*/) {
    if (!name || !*name) return kFileError;
    if (std::shared_ptr<MemFile> file = mappedFile(name)) {
        file->bytes.clear();
        return openMem(std::move(file), true);
    }
    int fd = ::open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return kFileError;
    noteEndsWhenShort(fd, false);
    ++gOpenFiles;
    return fd;
}

int32_t fileRead(HFile f, void *buffer, uint32_t count) {
    if (f < 0) return -1;
    if (OpenMemFile *o = openMemFile(f)) {
        const std::vector<uint8_t> &bytes = o->file->bytes;
        const size_t n = o->position < bytes.size() ? std::min<size_t>(count, bytes.size() - o->position) : 0;
        if (n) std::memcpy(buffer, bytes.data() + o->position, n);
        o->position += n;
        return int32_t(n);
    }
    if (f >= kMemFileBase) return -1;
    auto *p = static_cast<uint8_t *>(buffer);
    const bool once = endsWhenShort(f);
    uint32_t done = 0;
    while (done < count) {
        const uint32_t want = count - done;
        ssize_t n = ::read(f, p + done, want);
        if (n < 0) return -1;
        if (n == 0) break;
        done += uint32_t(n);
        // One call moves at most 0x7FFFF000 bytes, short of the end.
        if (once && want <= 0x7FFFF000u) break;
    }
    return int32_t(done);
}

int32_t fileWrite(HFile f, const void *buffer, uint32_t count) {
    if (f < 0) return -1;
    uint32_t allowed = detail::writeAllowance(count);
    if (OpenMemFile *o = openMemFile(f)) {
        if (!o->writable) return -1;
        std::vector<uint8_t> &bytes = o->file->bytes;
        if (bytes.size() < o->position + allowed) bytes.resize(o->position + allowed);
        if (allowed) std::memcpy(bytes.data() + o->position, buffer, allowed);
        o->position += allowed;
        return int32_t(allowed);
    }
    if (f >= kMemFileBase) return -1;
    auto *p = static_cast<const uint8_t *>(buffer);
    uint32_t done = 0;
    while (done < allowed) {
        ssize_t n = ::write(f, p + done, allowed - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += uint32_t(n);
    }
    return int32_t(done);
}

int32_t fileSeek(HFile f, int32_t offset, int origin) {
    if (f < 0) return -1;
    if (OpenMemFile *o = openMemFile(f)) {
        const int64_t base = origin == kSeekCur ? int64_t(o->position)
                             : origin == kSeekEnd ? int64_t(o->file->bytes.size())
                                                  : 0;
        const int64_t to = base + offset;
        if (to < 0 || to > 0x7FFFFFFF) return -1;
        o->position = size_t(to);
        return int32_t(to);
    }
    if (f >= kMemFileBase) return -1;
    int whence = origin == kSeekCur ? SEEK_CUR : origin == kSeekEnd ? SEEK_END : SEEK_SET;
    off_t r = ::lseek(f, offset, whence);
    if (r < 0 || r > 0x7FFFFFFF) return -1;
    return int32_t(r);
}

HFile fileClose(HFile f) {
    if (f < 0) return kFileError;
    if (OpenMemFile *o = openMemFile(f)) {
        o->file.reset();
        --gOpenFiles;
        return detail::closeRefused() ? kFileError : 0;
    }
    if (f >= kMemFileBase) return kFileError;
    noteEndsWhenShort(f, false);
    if (::close(f) != 0) return kFileError;
    --gOpenFiles;
    return detail::closeRefused() ? kFileError : 0;
}

bool fileDelete(const char *name) {
    if (!name || !*name) return false;
    if (mappedFile(name)) {
        memFileUnmap(name);
        return true;
    }
    return ::unlink(name) == 0;
}

// ---- Module, strings, libraries -------------------------------------------------------
namespace {
ModuleHandle gModule = nullptr;
struct StringEntry {
    unsigned id;
    const char *text;
};
#define VC_STRING_ENTRY(id, text) {id, text},
const StringEntry kStrings[] = {VC_STRINGS(VC_STRING_ENTRY)};
#undef VC_STRING_ENTRY
}  // namespace

void setModule(ModuleHandle m) { gModule = m; }
ModuleHandle module() { return gModule; }

int loadString(unsigned id, char *buffer, int max) {
    if (!buffer || max <= 0) return 0;
    buffer[0] = 0;
    for (const auto &e : kStrings) {
        if (e.id != id) continue;
        size_t n = std::strlen(e.text);
        if (n > size_t(max - 1)) n = size_t(max - 1);
        std::memcpy(buffer, e.text, n);
        buffer[n] = 0;
        return int(n);
    }
    return 0;
}

int moduleFileName(char *buffer, int size) {
    if (!buffer || size <= 0) return 0;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&moduleFileName), &info) || !info.dli_fname) return 0;
    char resolved[4096];
    const char *name = info.dli_fname;
    // The program itself, started through PATH, is named as typed: its
    // file is the one the kernel ran.
    if (!std::strchr(name, '/')) {
        const ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
        if (n > 0) resolved[n] = 0, name = resolved;
    } else if (realpath(info.dli_fname, resolved)) {
        name = resolved;
    }
    size_t n = std::strlen(name);
    if (n >= size_t(size)) return 0;
    std::memcpy(buffer, name, n + 1);
    return int(n);
}

// A library loaded here stays mapped after its last free (RTLD_NODELETE):
// the AVI companion's FFmpeg libraries and what they link set up
// process-wide state in their initialisers that nothing ever frees, so
// unmapping them after every operation would strand that memory each time
// (a leak per import or export in a long-running host). The handle is
// still released at every free, as on Windows, and the next load finds the
// library already initialised.
void *loadLibraryBeside(const char *name) {
    char self[4096];
    if (!name || !moduleFileName(self, sizeof self)) return nullptr;
    std::string dir(self);
    dir.resize(dir.rfind('/') + 1);
    void *h = dlopen((dir + name).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!h) {
        // The Linux build of a companion DLL carries the .so suffix.
        std::string base(name);
        auto dot = base.rfind('.');
        if (dot != std::string::npos) base.resize(dot);
        h = dlopen((dir + base + ".so").c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    }
    return h;
}

void *libraryProc(void *library, const char *name) { return library ? dlsym(library, name) : nullptr; }
void freeLibrary(void *library) {
    if (library) dlclose(library);
}

// ---- Headless windows --------------------------------------------------------------------
namespace {
std::map<uintptr_t, Window> gWindows;
uintptr_t gNextWindow = 0x10000;
int32_t gScreenW = 1024, gScreenH = 768;
VcUiHost gHost{};
}  // namespace

const VcUiHost &uiHost() { return gHost; }
void setUiHost(const VcUiHost &host) { gHost = host; }
void setScreenSize(int32_t width, int32_t height) {
    gScreenW = width;
    gScreenH = height;
}

Window *findWindow(Wnd w) {
    auto it = gWindows.find(reinterpret_cast<uintptr_t>(w));
    return it == gWindows.end() ? nullptr : &it->second;
}

Wnd newWindow(Wnd parent, Rect r) {
    uintptr_t id = gNextWindow;
    gNextWindow += 0x10;
    Window w;
    w.parent = parent;
    w.rect = r;
    gWindows[id] = w;
    return reinterpret_cast<Wnd>(id);
}

bool windowRect(Wnd w, Rect &r) {
    Window *win = findWindow(w);
    if (!win) return false;
    r = win->rect;
    return true;
}

Wnd parentOf(Wnd w) {
    Window *win = findWindow(w);
    return win ? win->parent : nullptr;
}

void screenSize(int32_t &width, int32_t &height) {
    width = gScreenW;
    height = gScreenH;
}

bool moveWindow(Wnd w, int32_t x, int32_t y) {
    Window *win = findWindow(w);
    if (!win) return false;
    int32_t width = win->rect.right - win->rect.left, height = win->rect.bottom - win->rect.top;
    win->rect = Rect{x, y, x + width, y + height};
    return true;
}

bool enableWindow(Wnd w, bool enable) {
    Window *win = findWindow(w);
    if (!win) return false;
    bool wasDisabled = !win->enabled;
    win->enabled = enable;
    return wasDisabled;
}

bool isWindowEnabled(Wnd w) {
    Window *win = findWindow(w);
    return win && win->enabled;
}

bool destroyWindow(Wnd w) {
    Window *win = findWindow(w);
    if (!win) return false;
    bool progress = win->progress;
    gWindows.erase(reinterpret_cast<uintptr_t>(w));
    if (progress && gHost.progress) gHost.progress(gHost.user, nullptr, 0, 0);
    return true;
}

bool getItemText(Wnd dialog, int id, char *buffer, int size) {
    Window *win = findWindow(dialog);
    if (!win || !buffer || size <= 0) return false;
    auto it = win->items.find(id);
    if (it == win->items.end()) return false;
    size_t n = it->second.size();
    if (n > size_t(size - 1)) n = size_t(size - 1);
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = 0;
    return true;
}

bool setItemText(Wnd dialog, int id, const char *text) {
    Window *win = findWindow(dialog);
    if (!win) return false;
    win->items[id] = text ? text : "";
    return true;
}

// ---- User interface seam ------------------------------------------------------------------
int messageBox(Wnd owner, const char *text, const char *title, uint32_t style) {
    if (gHost.messageBox) return gHost.messageBox(gHost.user, owner, text, title, style);
    // The first button of the box's button set.
    switch (style & 0xF) {
    case 2: return 3;  // abort, retry, ignore: abort
    case 3:
    case 4: return 6;  // yes ...: yes
    case 5: return 4;  // retry, cancel: retry
    default: return 1; // ok
    }
}

void beep(uint32_t type) {
    if (gHost.beep) gHost.beep(gHost.user, type);
}

bool chooseColor(Wnd owner, uint32_t &color, uint32_t custom[16]) {
    if (!gHost.chooseColor) return false;
    return gHost.chooseColor(gHost.user, owner, &color, custom) != 0;
}

bool help(Wnd, const char *file, uint32_t command, uintptr_t data) {
    if (!gHost.help) return false;
    return gHost.help(gHost.user, file, command, data) != 0;
}

uint32_t paletteEntries(void *palette, PaletteColor *out, uint32_t max) {
    if (!palette || !out) return 0;
    const uint32_t n = max < 256 ? max : 256;
    std::memcpy(out, palette, n * sizeof(PaletteColor));
    return n;
}

void pumpMessages(Wnd dialog) {
    if (gHost.pump) gHost.pump(gHost.user, dialog);
}

bool tempDirectory(char *buffer, int size) {
    if (!buffer || size <= 0) return false;
    const char *dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    const size_t n = std::strlen(dir);
    const bool slash = dir[n - 1] == '/';
    if (n + (slash ? 0 : 1) + 1 > size_t(size)) return false;
    std::memcpy(buffer, dir, n);
    if (!slash) buffer[n] = '/';
    buffer[n + (slash ? 0 : 1)] = 0;
    return true;
}

uint32_t tickCount() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint32_t(uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000);
}

namespace {
// The browser command the host configured; unset means the default.
std::optional<std::string> gBrowser;
}  // namespace

void setBrowserCommand(const char *command) {
    if (command) gBrowser = command;
    else gBrowser.reset();
}

namespace {
// Browsers still running when the preview stopped waiting for them:
// reaped once they have ended, at the next start.
std::vector<pid_t> gBrowsers;

bool onPath(const char *program) {
    const char *path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/bin:/bin";
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!dir.empty() && access((dir + '/' + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

void pause(long ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&t, &t) != 0) {}
}
}  // namespace

BrowserCommand browserCommand() {
    if (gBrowser) return BrowserCommand{*gBrowser, false};
    return BrowserCommand{onPath("xdg-open") ? "xdg-open" : "", false};
}

bool startBrowser(const char *commandLine, int32_t, int32_t) {
    if (!commandLine || !*commandLine) return false;
    std::erase_if(gBrowsers, [](pid_t p) { return waitpid(p, nullptr, WNOHANG) != 0; });
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", commandLine, static_cast<char *>(nullptr));
        _exit(127);
    }
    pause(500);
    bool ended = false;
    int status = 0;
    for (int waited = 0; waited < 10000 && !ended; waited += 50) {
        ended = waitpid(child, &status, WNOHANG) == child;
        if (!ended) pause(50);
    }
    if (!ended) gBrowsers.push_back(child);
    // The shell's own answers for a program it could not find (127) or
    // could not run (126): nothing was started.
    if (ended && WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127)) return false;
    pause(500);
    return true;
}

intptr_t runDialog(Wnd, int templateId, DialogModel &model) {
    if (gHost.dialog) {
        VcDialog dialog{model};
        intptr_t r = gHost.dialog(gHost.user, templateId, &dialog);
        if (r != VC_DIALOG_DEFAULT) return r;
    }
    return model.pressEnter();
}

}  // namespace vc::plat
