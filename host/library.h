// How the reference host reaches the library: on Linux it is linked in and
// memory blocks come from its handle table; on Windows the host loads
// VelmConv32.dll from its own folder by the plain export names, as the
// editor does, and blocks come from the global heap.
#pragma once

#include <cstddef>
#include <string>

#include "velmconv/velmconv.h"

namespace host {

struct Library {
    GetFormatsFn getFormats = nullptr;
    DetectFileFormatFn detectFileFormat = nullptr;
    LoadConvImageFn loadConvImage = nullptr;
    SaveConvImageFn saveConvImage = nullptr;
    GetDesiredBitPixFn getDesiredBitPix = nullptr;
    GetPreviewImageFn getPreviewImage = nullptr;
    NewConvFileFn newConvFile = nullptr;
    ProcessCommandFn processCommand = nullptr;
    NotifyFrameChangeFn notifyFrameChange = nullptr;

    bool open(std::string &error);
    void close();

    static void *memAlloc(size_t size);  // movable, zero-filled
    static void *memLock(void *block);
    static void memUnlock(void *block);
    static size_t memSize(void *block);
    static void memFree(void *block);

   private:
    void *module_ = nullptr;
};

}  // namespace host
