// The AVI companion library as a test scripts it: a video of `count`
// frames and a writer that records what it is given. AviLibrary takes its
// functions from fakeCompanionLookup while a test has set it as the
// companion. Portable: native and Windows tests.
#pragma once

#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/fake_editor.h"
#include "vfw/velmvfw.h"

namespace vctest {

struct FakeCompanion {
    uint32_t count = 30, width = 4, height = 2, rate = 10;
    bool canDraw = true, opens = true;
    std::set<int32_t> missingFrames;
    std::vector<int32_t> framesAsked;
    std::vector<uint8_t> dib = makeDib(4, 2, 8);
    // Writing.
    std::string created;
    VfwCreateParams params{};
    std::vector<uint8_t> initHeader;
    int32_t compress = -1, initResult = 1, writesLeft = 1 << 30, mergeResult = 1;
    struct Written {
        int32_t position;
        std::vector<uint8_t> bits;
    };
    std::vector<Written> written;
    std::vector<uint32_t> merged;  // ticks, rate
    int closes = 0, optionsShown = 0;
    // Draws a strip cell where a window system draws; true when drawn.
    std::function<bool(int32_t frame, void *dc, int32_t x, int32_t y, int32_t cx, int32_t cy)> draw;
};
inline FakeCompanion *gFakeCompanion = nullptr;

inline VfwFile VFW_CALL fakeOpen(const char *) { return gFakeCompanion->opens ? 7 : 0; }
inline void VFW_CALL fakeClose(VfwFile) { ++gFakeCompanion->closes; }
inline void VFW_CALL fakeInfo(VfwFile, VfwFileInfo *info) {
    info->frameCount = gFakeCompanion->count, info->width = gFakeCompanion->width, info->height = gFakeCompanion->height;
    info->rate = uint16_t(gFakeCompanion->rate);
}
const void *VFW_CALL fakeFrame(VfwFile, int32_t i) {
    gFakeCompanion->framesAsked.push_back(i);
    if (gFakeCompanion->missingFrames.count(i)) return nullptr;
    gFakeCompanion->dib[40 + 1024] = uint8_t(i);  // the frame's number in its first pixel
    return gFakeCompanion->dib.data();
}
inline int32_t VFW_CALL fakeDraw(VfwFile, int32_t frame, void *dc, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t) {
    return gFakeCompanion->draw ? gFakeCompanion->draw(frame, dc, x, y, cx, cy) : 1;
}
inline VfwFile VFW_CALL fakeCreate(const char *name, const VfwCreateParams *p, const void *) {
    gFakeCompanion->created = name;
    gFakeCompanion->params = *p;
    std::ofstream(name) << "RIFF";
    return 9;
}
inline void VFW_CALL fakeOptions(VfwFile, void *) { ++gFakeCompanion->optionsShown; }
inline int32_t VFW_CALL fakeInit(VfwFile, const void *h, uint32_t size, int32_t compress) {
    gFakeCompanion->initHeader.assign(static_cast<const uint8_t *>(h), static_cast<const uint8_t *>(h) + size);
    gFakeCompanion->compress = compress;
    return gFakeCompanion->initResult;
}
inline int32_t VFW_CALL fakeWrite(VfwFile, const VfwFrameRecord *r) {
    if (gFakeCompanion->writesLeft-- <= 0) return 0;
    const auto *bits = static_cast<const uint8_t *>(r->bits);
    gFakeCompanion->written.push_back({r->position, std::vector<uint8_t>(bits, bits + r->size)});
    return 1;
}
inline int32_t VFW_CALL fakeMerge(VfwFile, const char *, uint32_t ticks, uint32_t rate) {
    gFakeCompanion->merged = {ticks, rate};
    return gFakeCompanion->mergeResult;
}

inline void *fakeCompanionLookup(const char *name) {
    const struct {
        const char *name;
        void *fn;
    } table[] = {
        {"OpenAviFile", reinterpret_cast<void *>(fakeOpen)},
        {"CloseAviFile", reinterpret_cast<void *>(fakeClose)},
        {"GetAviFileInfo", reinterpret_cast<void *>(fakeInfo)},
        {"GetAviFrame", reinterpret_cast<void *>(fakeFrame)},
        {"DrawAviFrame", gFakeCompanion->canDraw ? reinterpret_cast<void *>(fakeDraw) : nullptr},
        {"CreateAviFile", reinterpret_cast<void *>(fakeCreate)},
        {"ShowCompressOptionsDlg", reinterpret_cast<void *>(fakeOptions)},
        {"InitAviStreamWrite", reinterpret_cast<void *>(fakeInit)},
        {"WriteAviFrame", reinterpret_cast<void *>(fakeWrite)},
        {"MergeSoundFile", reinterpret_cast<void *>(fakeMerge)},
    };
    for (const auto &e : table)
        if (std::strcmp(e.name, name) == 0) return e.fn;
    return nullptr;
}

}  // namespace vctest
