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

namespace vc {

PlaybackReel playbackReel(const GifAnimRecord &record) {
    PlaybackReel reel;
    reel.screenWidth = record.screenWidth;
    reel.screenHeight = record.screenHeight;
    reel.outputWidth = record.outputWidth;
    reel.outputHeight = record.outputHeight;
    reel.repeat = record.repeat != 0;
    reel.loopCount = record.loopCount;
    const GifRgbQuad &q = record.globalPalette[record.backgroundIndex & 0xFF];
    reel.background = uint32_t(q.red) << 16 | uint32_t(q.green) << 8 | q.blue;
    reel.backgroundBrush = record.backgroundBrush;
    const int32_t n = recordFrames(record);
    reel.frames.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        const GifFrameEntry &f = record.frames[i];
        reel.frames.push_back(PlaybackFrame{f.left, f.top, f.delay, f.disposal, f.userInput != 0});
    }
    return reel;
}

}  // namespace vc
