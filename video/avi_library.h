// The import's and export's binding to the AVI companion library
// (VELMVFW32), over the AVI core's: loaded from this library's own folder
// for one import, export or preview and freed at its end. Each function is
// looked up by name at every call, so a companion that lacks one answers
// that call with 0 (or does nothing) instead of failing to load.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/avi_core.h"
#include "platform/platform.h"
#include "vfw/velmvfw.h"

namespace vc {

constexpr const char *kAviLibraryName = kAviCompanionName;

class AviLibrary {
public:
    // Loads the companion. When it cannot be loaded and a parent window is
    // given, message 203 ("Video for Windows has not been installed...")
    // is shown with title 200.
    explicit AviLibrary(Wnd parent);
    ~AviLibrary();
    AviLibrary(const AviLibrary &) = delete;
    AviLibrary &operator=(const AviLibrary &) = delete;

    explicit operator bool() const { return bool(*companion_); }

    VfwFile open(const char *name) const;
    void close(VfwFile file) const;
    // False (the record zeroed) when the function is missing.
    bool info(VfwFile file, VfwFileInfo &info) const;
    const void *frame(VfwFile file, int32_t index) const;
    // Looked up once by the import dialog when it opens.
    DrawAviFrameFn drawFunction() const;
    VfwFile create(const char *name, const VfwCreateParams &params, const void *header) const;
    void compressOptions(VfwFile file, Wnd dialog) const;
    int32_t initStream(VfwFile file, const void *header, uint32_t headerSize, int32_t compress) const;
    int32_t write(VfwFile file, const VfwFrameRecord &record) const;
    int32_t mergeSound(VfwFile file, const char *wave, uint32_t ticks, uint32_t rate) const;

    // Test switch: while set, "loading" the companion takes its functions
    // from lookup instead of the library beside the module, and a null
    // lookup makes the companion missing. Cleared with clearTestCompanion.
    using Lookup = void *(*)(const char *name);
    static void setTestCompanion(Lookup lookup);
    static void clearTestCompanion();

private:
    template <class Fn> Fn proc(const char *name) const;
    std::unique_ptr<AviCompanion> companion_;
};

}  // namespace vc
