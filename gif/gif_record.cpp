#include "gif/gif_record.h"

#include <cstring>

#include "resources/strings.h"

namespace vc {

static_assert(gifInterlacedPosition(0, 10) == 0 && gifInterlacedPosition(8, 10) == 1);
static_assert(gifInterlacedPosition(4, 10) == 2 && gifInterlacedPosition(2, 10) == 3);
static_assert(gifInterlacedPosition(6, 10) == 4 && gifInterlacedPosition(1, 10) == 5);
static_assert(gifInterlacedPosition(9, 10) == 9);

MemHandle NewGifAnimRecord() {
    MemHandle h = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, sizeof(GifAnimRecord));
    if (!h) return nullptr;
    auto *r = static_cast<GifAnimRecord *>(plat::memLock(h));
    if (!r) {
        plat::memFree(h);
        return nullptr;
    }
    r->formatCode = kGifRecordCode;
    r->commentFlag = 1;
    plat::loadString(IDS_DEFAULT_COMMENT, r->comment, kGifCommentMax + 1);
    r->repeat = 1;
    r->loopCount = 0;
    r->frames[0].delay = 1;
    r->frames[0].disposal = 2;
    plat::memUnlock(h);
    return h;
}

GifAnimRecord *lockGifRecord(MemHandle h) {
    if (!h || plat::memSize(h) < sizeof(GifAnimRecord)) return nullptr;
    auto *r = static_cast<GifAnimRecord *>(plat::memLock(h));
    if (r && r->formatCode != kGifRecordCode) {
        plat::memUnlock(h);
        return nullptr;
    }
    return r;
}

}  // namespace vc
