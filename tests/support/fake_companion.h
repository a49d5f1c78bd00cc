// The AVI companion library as a test scripts it: a video of `count`
// frames, and a writer that records what it is given. AviLibrary takes its
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
    bool opens = true;
    std::set<int32_t> missingFrames;
    std::set<std::string> lacking;  // functions the companion does not have
    std::vector<int32_t> framesAsked;
    std::vector<uint8_t> dib = makeDib(4, 2, 8);  // its first pixel is set to the frame's number
    // Draws a strip cell where a window system draws; true when drawn.
    std::function<bool(int32_t frame, void *dc, int32_t x, int32_t y, int32_t cx, int32_t cy)> draw;
    // Writing: what the library gave, and the answers.
    VfwCreateParams params{};
    std::vector<uint8_t> initHeader;
    int32_t compress = -1, initResult = 1, writesLeft = 1 << 30, mergeResult = 1;
    std::vector<int32_t> positions;
    std::vector<std::vector<uint8_t>> written;
    std::vector<uint32_t> merged;  // ticks, rate
    std::string wave, created;  // the sound file merged; the file made, until it is closed
    // Closes of a file made that came after it was deleted (Windows cannot
    // delete a file still open).
    int closes = 0, optionsShown = 0, closedAfterDelete = 0;
};
inline FakeCompanion *gFakeCompanion = nullptr;

namespace fake_vfw {
inline FakeCompanion &f() { return *gFakeCompanion; }
inline VfwFile VFW_CALL open(const char *) { return f().opens ? 7 : 0; }
inline void VFW_CALL close(VfwFile) {
    ++f().closes;
    if (!f().created.empty() && !std::ifstream(f().created)) ++f().closedAfterDelete;
    f().created.clear();
}
inline void VFW_CALL info(VfwFile, VfwFileInfo *i) {
    i->frameCount = f().count, i->width = f().width, i->height = f().height, i->rate = uint16_t(f().rate);
}
inline const void *VFW_CALL frame(VfwFile, int32_t i) {
    f().framesAsked.push_back(i);
    f().dib[40 + 1024] = uint8_t(i);
    return f().missingFrames.count(i) ? nullptr : f().dib.data();
}
inline int32_t VFW_CALL draw(VfwFile, int32_t i, void *dc, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t) {
    return f().draw ? f().draw(i, dc, x, y, cx, cy) : 1;
}
inline VfwFile VFW_CALL create(const char *name, const VfwCreateParams *p, const void *) {
    f().params = *p, f().created = name;
    std::ofstream(name) << "RIFF";
    return 9;
}
inline void VFW_CALL options(VfwFile, void *) { ++f().optionsShown; }
inline int32_t VFW_CALL init(VfwFile, const void *h, uint32_t size, int32_t compress) {
    f().initHeader.assign(static_cast<const uint8_t *>(h), static_cast<const uint8_t *>(h) + size);
    f().compress = compress;
    return f().initResult;
}
inline int32_t VFW_CALL write(VfwFile, const VfwFrameRecord *r) {
    if (f().writesLeft-- <= 0) return 0;
    f().positions.push_back(r->position);
    f().written.emplace_back(static_cast<const uint8_t *>(r->bits), static_cast<const uint8_t *>(r->bits) + r->size);
    return 1;
}
inline int32_t VFW_CALL merge(VfwFile, const char *wave, uint32_t ticks, uint32_t rate) {
    f().merged = {ticks, rate}, f().wave = wave ? wave : "";
    return f().mergeResult;
}
}  // namespace fake_vfw

inline void *fakeCompanionLookup(const char *name) {
    using namespace fake_vfw;
    const std::pair<const char *, void *> table[] = {
        {"OpenAviFile", reinterpret_cast<void *>(open)},         {"CloseAviFile", reinterpret_cast<void *>(close)},
        {"GetAviFileInfo", reinterpret_cast<void *>(info)},      {"GetAviFrame", reinterpret_cast<void *>(frame)},
        {"DrawAviFrame", reinterpret_cast<void *>(draw)},        {"CreateAviFile", reinterpret_cast<void *>(create)},
        {"ShowCompressOptionsDlg", reinterpret_cast<void *>(options)},
        {"InitAviStreamWrite", reinterpret_cast<void *>(init)},  {"WriteAviFrame", reinterpret_cast<void *>(write)},
        {"MergeSoundFile", reinterpret_cast<void *>(merge)},
    };
    for (const auto &[n, fn] : table)
        if (std::strcmp(n, name) == 0) return f().lacking.count(n) ? nullptr : fn;
    return nullptr;
}

}  // namespace vctest
