// Reading animated cursors for the editor: the file is read whole and
// walked by the animated cursor core (walkAnimatedCursor, whose rules say
// what a damaged file gives); frames go to the editor one by one through
// the callback (command 9) as the walk reaches them, the rest of the file
// into a cursor animation document that is offered to the editor when the
// file is opened as an animation.
//
// - A file that cannot be opened is Result::openFailed, one that cannot be
//   read readFailed (a preview's notFormat for both); one without RIFF and
//   ACON notFormat.
// - No memory for a frame's copy ends the load with noMemory. A frame whose
//   icon file holds no usable image (damaged), that cannot be decoded for
//   want of memory (noMemory) or that the editor refuses (cancelled) does
//   not stop its fram list: the load answers the last such result.
// - The preview reads the first limits().previewRead bytes, as the icon
//   preview does (a preview runs for every file the user passes in the file
//   dialog), and answers unsupported for every failure past the form
//   header, a first frame beyond those bytes among them.
#include <algorithm>
#include <cstring>

#include "cursor/ani.h"
#include "cursor/ico.h"
#include "common/editor_link.h"
#include "common/format_table.h"
#include "common/limits.h"
#include "common/whole_file.h"

namespace vc {

namespace {

// A frame's icon file in a block of its own: none when memory is refused.
plat::Block copyFrame(std::span<const uint8_t> iconFile) {
    plat::Block block;
    if (!block.alloc(iconFile.empty() ? 1 : iconFile.size())) return {};
    std::memcpy(block.data(), iconFile.data(), iconFile.size());
    return block;
}

// Hands each frame's chosen image to the editor with its frame number in
// bits 8 to 15 of the flags, then its hotspot to the image it became.
class OfferFrames final : public AniFrameSink {
public:
    explicit OfferFrames(const EditorLink &link) : link_(link) {}
    Result frame(std::span<const uint8_t> iconFile, uint32_t number, bool &stop) override {
        plat::Block block = copyFrame(iconFile);
        if (!block) {
            stop = true;
            return Result::noMemory;
        }
        uint32_t hotspot = 0;
        if (const int picked = PickIconImage(block, &hotspot, iconFile.size()); picked != 1)
            return picked < 0 ? Result::noMemory : Result::damaged;
        if (!link_.addIcon(block.data(), EditorLink::sequenceFlags(number, HOST_FRAME_GIF))) return Result::cancelled;
        const int32_t count = link_.frameCount();
        if (count >= 1) link_.setHotspot(hotspot, count - 1);
        return Result::ok;
    }

private:
    const EditorLink &link_;
};

}  // namespace

Result LoadAniFile(const char *fileName, bool asAnimation, HostCallback callback) {
    plat::Block file;
    size_t size = 0;
    if (const Result r = readWholeFile(fileName, file, size, {.openFailure = Result::openFailed}); r != Result::ok)
        return r;
    const std::span<const uint8_t> bytes(file.data(), size);
    if (!looksLikeAnimatedCursor(bytes)) return Result::notFormat;
    plat::Block document = newCursorDocument();
    if (!document) return Result::noMemory;
    const EditorLink link(callback);
    AniParts parts;
    OfferFrames frames(link);
    const Result result = walkAnimatedCursor(bytes, parts, frames);
    auto &doc = *document.as<CursorAnimationDocument>();
    doc.header = parts.header;
    std::memcpy(doc.title, parts.title, sizeof doc.title);
    std::memcpy(doc.author, parts.author, sizeof doc.author);
    std::memcpy(doc.rates, parts.rates, sizeof doc.rates);
    std::memcpy(doc.sequence, parts.sequence, sizeof doc.sequence);
    document.unlock();
    if (result == Result::ok && asAnimation && link.offerDocument(document.handle())) {
        (void)document.release();  // the editor owns the document now
        addCursorAnimationMenu(callback);
    }
    return result;
}

Result PreviewAniFile(const char *fileName, ConvImageRecord *record) {
    if (!record) return Result::unsupported;
    record->image = nullptr;
    plat::Block file;
    size_t size = 0;
    if (const Result r = readWholeFile(fileName, file, size, {.limit = limits().previewRead}); r != Result::ok)
        return r == Result::noMemory ? Result::unsupported : Result::notFormat;
    const std::span<const uint8_t> bytes(file.data(), size);
    if (!looksLikeAnimatedCursor(bytes)) return Result::notFormat;
    std::span<const uint8_t> first;
    if (!firstAnimatedCursorFrame(bytes, first)) return Result::unsupported;
    plat::Block block = copyFrame(first);
    if (!block) return Result::unsupported;
    // The icon preview takes the block: it stores it in the record or frees it.
    PreviewIconBlock(std::move(block), first.size(), record);
    return record->image ? Result::ok : Result::unsupported;
}

}  // namespace vc
