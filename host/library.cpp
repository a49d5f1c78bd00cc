#include "host/library.h"

#if defined(_WIN32)
#include <windows.h>

#include <filesystem>
#else
#include "velmconv/headless.h"
#endif

namespace host {

#if defined(_WIN32)
namespace {
template <typename T>
bool bind(HMODULE m, const char *name, T &fn, std::string &error) {
    fn = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, name)));
    if (!fn) error = std::string("VelmConv32.dll has no entry point ") + name;
    return fn != nullptr;
}
}  // namespace

bool Library::open(std::string &error) {
    // Beside the program first (its folder in the system's own characters),
    // then wherever the system looks.
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path beside = std::filesystem::path(std::wstring(self, n)).parent_path() / L"VelmConv32.dll";
    HMODULE m = LoadLibraryW(beside.c_str());
    if (!m) m = LoadLibraryA("VelmConv32.dll");
    if (!m) {
        error = "cannot load VelmConv32.dll";
        return false;
    }
    module_ = m;
    return bind(m, "GetFormats", getFormats, error) && bind(m, "DetectFileFormat", detectFileFormat, error) &&
           bind(m, "LoadConvImage", loadConvImage, error) && bind(m, "SaveConvImage", saveConvImage, error) &&
           bind(m, "GetDesiredBitPix", getDesiredBitPix, error) &&
           bind(m, "GetPreviewImage", getPreviewImage, error) && bind(m, "NewConvFile", newConvFile, error) &&
           bind(m, "ProcessCommand", processCommand, error) &&
           bind(m, "NotifyFrameChange", notifyFrameChange, error);
}

void Library::close() {
    if (module_) FreeLibrary(static_cast<HMODULE>(module_));
    module_ = nullptr;
}

void *Library::memAlloc(size_t size) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size); }
void *Library::memLock(void *block) { return GlobalLock(block); }
void Library::memUnlock(void *block) { GlobalUnlock(block); }
size_t Library::memSize(void *block) { return GlobalSize(block); }
void Library::memFree(void *block) {
    if (block) GlobalFree(block);
}
#else
bool Library::open(std::string &) {
    getFormats = GetFormats;
    detectFileFormat = DetectFileFormat;
    loadConvImage = LoadConvImage;
    saveConvImage = SaveConvImage;
    getDesiredBitPix = GetDesiredBitPix;
    getPreviewImage = GetPreviewImage;
    newConvFile = NewConvFile;
    processCommand = ProcessCommand;
    notifyFrameChange = NotifyFrameChange;
    // What the Windows loader does when the editor loads the library.
    static int moduleTag;
    DllMain(&moduleTag, 1, nullptr);
    module_ = &moduleTag;
    return true;
}

void Library::close() {
    if (module_) DllMain(module_, 0, nullptr);
    module_ = nullptr;
}

void *Library::memAlloc(size_t size) { return VcMemAlloc(VC_MEM_MOVEABLE | VC_MEM_ZEROINIT, size); }
void *Library::memLock(void *block) { return VcMemLock(block); }
void Library::memUnlock(void *block) { VcMemUnlock(block); }
size_t Library::memSize(void *block) { return VcMemSize(block); }
void Library::memFree(void *block) {
    if (block) VcMemFree(block);
}
#endif

}  // namespace host
