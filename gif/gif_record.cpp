#include "gif/gif_record.h"

#include "resources/strings.h"

namespace vc {

plat::Block NewGifAnimRecord() {
    plat::Block block;
    if (!block.alloc(sizeof(GifAnimRecord))) return block;
    auto *r = block.as<GifAnimRecord>();
    r->formatCode = kGifRecordCode;
    r->commentFlag = 1;
    // A missing string leaves the comment empty, which is a comment too.
    (void)plat::loadString(IDS_DEFAULT_COMMENT, r->comment, kGifCommentMax + 1);
    r->repeat = 1;
    r->loopCount = 0;
    r->frames[0].delay = 1;
    r->frames[0].disposal = 2;
    return block;
}

plat::DocumentLock<GifAnimRecord> lockGifRecord(MemHandle h) {
    plat::DocumentLock<GifAnimRecord> record(h);
    if (record && record->formatCode != kGifRecordCode) record.unlock();
    return record;
}

bool offerGifRecord(plat::Block &record, const EditorLink &editor) {
    if (!record) return false;
    const MemHandle handle = record.release();
    if (editor.offerDocument(handle)) return true;
    record = plat::Block(handle);
    return false;
}

}  // namespace vc
