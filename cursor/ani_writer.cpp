// Writing animated cursors: the document gives the header, steps, title and
// author; the editor gives each frame as icon image data at the chosen
// cursor size, written as a one-image cursor file inside an icon chunk.
// The bytes of each piece come from the animated cursor core.
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "ui/services.h"
#include "cursor/ani.h"
#include "cursor/cursor_anim.h"
#include "cursor/cursor_format.h"
#include "cursor/ico.h"
#include "common/editor_link.h"
#include "common/image_block.h"

namespace vc {

namespace {

// A frame the editor hands over as icon image data (command 8), locked; its
// size is what the editor reported, never more than the block holds.
struct Frame {
    plat::Block block;
    uint32_t size = 0;
};
Frame getFrame(const EditorLink &link, uint32_t cursorSize, uint32_t index) {
    uint32_t inOut = cursorSize;
    Frame frame{plat::Block(link.getIcon(inOut, int32_t(index)))};
    if (!frame.block.lock()) return {};
    const size_t held = frame.block.size();
    frame.size = inOut < held ? inOut : uint32_t(held < UINT32_MAX ? held : UINT32_MAX);
    return frame;
}

// The head of the file from the document: RIFF header, anih, rate, seq
// and, when there is a text, the INFO list.
bool writeHead(const plat::File &f, const CursorAnimationDocument &doc) {
    AniParts parts;
    parts.header = doc.header;
    std::memcpy(parts.title, doc.title, sizeof parts.title);
    std::memcpy(parts.author, doc.author, sizeof parts.author);
    std::memcpy(parts.rates, doc.rates, sizeof parts.rates);
    std::memcpy(parts.sequence, doc.sequence, sizeof parts.sequence);
    const std::vector<uint8_t> head = animatedCursorHead(parts);
    return f.writeAll(head.data(), uint32_t(head.size()));
}

// Sets the RIFF size to the file's length less the 8 bytes of its header.
bool patchRiffSize(const plat::File &f) {
    const int32_t end = f.seek(0, plat::kSeekEnd);
    if (end < 8 || !f.seekTo(4)) return false;
    uint8_t raw[4];
    storeLe32(raw, uint32_t(end) - 8);
    return f.writeAll(raw, 4);
}

Result writeFrames(const plat::File &f, const CursorAnimationDocument &doc, uint32_t cursorSize,
                   const EditorLink &link) {
    const uint32_t frameCount = doc.header.frameCount;
    Frame frame = getFrame(link, cursorSize, 0);
    if (!frame.block) return Result::writeFailed;
    const uint64_t d = frame.size;
    const std::vector<uint8_t> list = animatedCursorFramList(d, frameCount);
    if (!f.writeAll(list.data(), uint32_t(list.size()))) return Result::writeFailed;
    for (uint32_t i = 1; i <= frameCount; ++i) {
        SetProgress(int32_t(uint64_t(100) * i / frameCount));
        const uint32_t hotspot = link.hotspot(int32_t(i - 1));
        const std::vector<uint8_t> chunk =
            animatedCursorFrame({frame.block.data(), frame.size}, uint16_t(hotspot & 0xFFFF), uint16_t(hotspot >> 16));
        if (!f.writeAll(chunk.data(), uint32_t(chunk.size()))) return Result::writeFailed;
        frame = {};
        if (i == frameCount) break;
        frame = getFrame(link, cursorSize, i);
        // The editor ran out of frames: the file ends with those written.
        if (!frame.block) break;
        // The fram list and every icon chunk were sized from frame 0; a
        // frame of another size would make them disagree. The file keeps
        // the frames written so far.
        if (frame.size != d) return Result::damaged;
    }
    return Result::ok;
}

}  // namespace

Result WriteAniFile(const char *fileName, Wnd parent, MemHandle document, HostCallback callback) {
    const EditorLink link(callback);
    if (!link) return Result::cancelled;
    const uint32_t size = SelectCursorSize(parent, callback);
    if (size == kCursorSizeCancelled) return Result::cancelled;
    CursorDocumentLock doc;
    if (!lockCursorDocument(doc, document)) return Result::cancelled;
    doc->header.flags = kAniFlagIcon | kAniFlagSequence;
    // A file may have promised more steps than a document holds; the
    // header written must match the rate and seq chunks.
    doc->header.stepCount = documentSteps(*doc);
    doc->header.width = size & 0xFFFF;
    doc->header.height = size >> 16;
    plat::File f;
    if (!f.create(fileName)) return Result::createFailed;
    Result result = writeHead(f, *doc) ? writeFrames(f, *doc, size, link) : Result::writeFailed;
    if (result == Result::ok && !patchRiffSize(f)) result = Result::writeFailed;
    // A failed close may have lost bytes the system held back.
    if (!f.close() && result == Result::ok) result = Result::writeFailed;
    return result;
}

Result SaveAniFile(const char *fileName, Wnd parent, uint32_t option, MemHandle image, HostCallback callback) {
    const EditorLink link(callback);
    if (!link) return Result::cancelled;
    MemHandle document = link.document();
    plat::Block temporary;
    if (GetDocumentFormat(document) != CONV_FMT_ANI || plat::memSize(document) < sizeof(CursorAnimationDocument)) {
        // Without a document of its own the editor's images become one:
        // the user defines the steps first.
        temporary = newCursorDocument();
        if (!temporary) return Result::noMemory;
        const int32_t count = link.frameCount();
        temporary.as<CursorAnimationDocument>()->header.frameCount = count > 0 ? uint32_t(count) : 0;
        temporary.unlock();
        document = temporary.handle();
        if (CursorAnimationCommand(parent, CONV_CMD_ANIMATION, document, option, callback) != 1) return Result::cancelled;
    }
    bool noSteps = false;
    if (CursorDocumentLock doc; lockCursorDocument(doc, document)) noSteps = doc->header.stepCount == 0;
    if (noSteps && CursorAnimationCommand(parent, CONV_CMD_ANIMATION, document, option, callback) != 1)
        return Result::cancelled;
    if (image && plat::memSize(image) >= kBitmapHeaderSize) {
        if (const plat::Lock held(image); held) {
            ByteReader header(held.data(), kBitmapHeaderSize);
            header.seek(12);
            const uint16_t planes = header.u16(), bitCount = header.u16();
            if (CursorDocumentLock doc; lockCursorDocument(doc, document)) {
                doc->header.bitCount = bitCount;
                doc->header.planes = planes;
            }
        }
    }
    return WriteAniFile(fileName, parent, document, callback);
}

}  // namespace vc
