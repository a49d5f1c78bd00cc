// Writing animated cursors: the document gives the header, steps, title and
// author; the editor gives each frame as icon image data at the chosen
// cursor size, written as a one-image cursor file inside an icon chunk.
#include <cstring>
#include <memory>

#include "common/services.h"
#include "cursor/ani.h"
#include "cursor/cursor_anim.h"
#include "cursor/cursor_format.h"
#include "cursor/ico.h"
#include "entry/image_block.h"

namespace vc {

namespace {

// A frame the editor handed over as icon image data (command 8); the
// library frees it when done.
struct IconFrame {
    MemHandle block = nullptr;
    const uint8_t *data = nullptr;
    uint32_t size = 0;
    IconFrame(HostCallback callback, uint32_t cursorSize, uint32_t index) {
        uint32_t inOut = cursorSize;
        block = reinterpret_cast<MemHandle>(callback(HOST_GET_ICON, reinterpret_cast<intptr_t>(&inOut), intptr_t(index)));
        if (!block) return;
        data = static_cast<const uint8_t *>(plat::memLock(block));
        size_t held = plat::memSize(block);
        // Never trust a size beyond the block that holds the data.
        size = inOut < held ? inOut : uint32_t(held < UINT32_MAX ? held : UINT32_MAX);
    }
    ~IconFrame() {
        if (!block) return;
        if (data) plat::memUnlock(block);
        plat::memFree(block);
    }
    IconFrame(const IconFrame &) = delete;
    IconFrame &operator=(const IconFrame &) = delete;
    bool ok() const { return block && data; }
};

// The INFO list body size: 4 for the type, then each text with its NUL as
// a subchunk padded to even.
uint32_t infoListSize(size_t title, size_t author) {
    uint32_t size = 4;
    if (title) size += 8 + uint32_t(paddedSize(uint32_t(title + 1)));
    if (author) size += 8 + uint32_t(paddedSize(uint32_t(author + 1)));
    return size;
}

bool writeHead(HFile f, const CursorAnimationDocument &doc) {
    const uint32_t steps = documentSteps(doc);
    if (!WriteChunkHeader(f, kIdRiff, 0) || !WriteFourCC(f, kIdAcon)) return false;
    if (!WriteChunk(f, kIdAnih, kAniHeaderSize, &doc.header)) return false;
    if (!WriteChunk(f, kIdRate, 4 * steps, doc.rates)) return false;
    if (!WriteChunk(f, kIdSeq, 4 * steps, doc.sequence)) return false;
    size_t title = strnlen(doc.title, kAniTextSize - 1), author = strnlen(doc.author, kAniTextSize - 1);
    if (!title && !author) return true;
    // The texts with their terminating NUL, never reading past the fields.
    char titleText[kAniTextSize] = {}, authorText[kAniTextSize] = {};
    std::memcpy(titleText, doc.title, title);
    std::memcpy(authorText, doc.author, author);
    if (!WriteChunkHeader(f, kIdList, infoListSize(title, author)) || !WriteFourCC(f, kIdInfo)) return false;
    if (title && !WriteChunk(f, kIdInam, uint32_t(title + 1), titleText)) return false;
    if (author && !WriteChunk(f, kIdIart, uint32_t(author + 1), authorText)) return false;
    return true;
}

// Sets the RIFF size to the file's length less the 8 bytes of its header.
bool patchRiffSize(HFile f) {
    int32_t end = plat::fileSeek(f, 0, plat::kSeekEnd);
    if (end < 8 || plat::fileSeek(f, 4, plat::kSeekSet) != 4) return false;
    uint32_t size = uint32_t(end) - 8;
    uint8_t raw[4] = {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
    return plat::fileWrite(f, raw, 4) == 4;
}

int16_t writeFrames(HFile f, CursorAnimationDocument &doc, uint32_t cursorSize, HostCallback callback) {
    const uint32_t frameCount = doc.header.frameCount;
    auto frame = std::make_unique<IconFrame>(callback, cursorSize, 0);
    if (!frame->ok()) return CONV_E_WRITE;
    const uint64_t d = frame->size;
    if (!WriteChunkHeader(f, kIdList, uint32_t((d + 30) * frameCount + 4)) || !WriteFourCC(f, kIdFram))
        return CONV_E_WRITE;
    for (uint32_t i = 1; i <= frameCount; ++i) {
        SetProgress(int32_t(uint64_t(100) * i / frameCount));
        uint32_t hotspot = 0;
        callback(HOST_GET_HOTSPOT, reinterpret_cast<intptr_t>(&hotspot), intptr_t(i - 1));
        if (!WriteChunkHeader(f, kIdIcon, frame->size + 22) ||
            !WriteIconFile(f, frame->data, frame->size, hotspot, true))
            return CONV_E_WRITE;
        frame.reset();
        if (i == frameCount) break;
        frame = std::make_unique<IconFrame>(callback, cursorSize, i);
        // The editor ran out of frames: the file ends with those written.
        if (!frame->ok()) break;
    }
    return CONV_OK;
}

}  // namespace

int16_t WriteAniFile(const char *fileName, Wnd parent, MemHandle document, HostCallback callback) {
    if (!callback) return CONV_CANCELLED;
    uint32_t size = SelectCursorSize(parent, callback);
    if (size == kCursorSizeCancelled) return CONV_CANCELLED;
    CursorAnimationDocument *doc = lockCursorDocument(document);
    if (!doc) return CONV_CANCELLED;
    doc->header.flags = kAniFlagIcon | kAniFlagSequence;
    // A file may have promised more steps than a document holds; the
    // header written must match the rate and seq chunks.
    doc->header.stepCount = documentSteps(*doc);
    doc->header.width = size & 0xFFFF;
    doc->header.height = size >> 16;
    HFile f = plat::fileCreate(fileName, 0);
    if (f == kFileError) {
        plat::memUnlock(document);
        return CONV_E_CREATE;
    }
    int16_t result = writeHead(f, *doc) ? writeFrames(f, *doc, size, callback) : int16_t(CONV_E_WRITE);
    if (result == CONV_OK && !patchRiffSize(f)) result = CONV_E_WRITE;
    plat::fileClose(f);
    plat::memUnlock(document);
    return result;
}

int16_t SaveAniFile(const char *fileName, Wnd parent, uint32_t option, MemHandle image, HostCallback callback) {
    if (!callback) return CONV_CANCELLED;
    MemHandle document = nullptr;
    callback(HOST_GET_DOCUMENT, reinterpret_cast<intptr_t>(&document), 0);
    MemHandle temporary = nullptr;
    if (GetDocumentFormat(document) != CONV_FMT_ANI || plat::memSize(document) < sizeof(CursorAnimationDocument)) {
        // Without a document of its own the editor's images become one:
        // the user defines the steps first.
        temporary = newCursorDocument();
        if (!temporary) return CONV_E_MEMORY;
        if (auto *doc = static_cast<CursorAnimationDocument *>(plat::memLock(temporary))) {
            intptr_t count = callback(HOST_QUERY, 0, HOST_QUERY_COUNT);
            doc->header.frameCount = count > 0 ? uint32_t(count) : 0;
            plat::memUnlock(temporary);
        }
        document = temporary;
        if (CursorAnimationCommand(parent, CONV_CMD_ANIMATION, document, option, callback) != 1) {
            plat::memFree(temporary);
            return CONV_CANCELLED;
        }
    }
    bool noSteps = false;
    if (auto *doc = lockCursorDocument(document)) {
        noSteps = doc->header.stepCount == 0;
        plat::memUnlock(document);
    }
    if (noSteps && CursorAnimationCommand(parent, CONV_CMD_ANIMATION, document, option, callback) != 1) {
        if (temporary) plat::memFree(temporary);
        return CONV_CANCELLED;
    }
    if (image) {
        ConvBitmapInfoHeader h{};
        const void *p = plat::memSize(image) >= sizeof h ? plat::memLock(image) : nullptr;
        if (p) {
            std::memcpy(&h, p, sizeof h);
            plat::memUnlock(image);
            if (auto *doc = lockCursorDocument(document)) {
                doc->header.bitCount = h.biBitCount;
                doc->header.planes = h.biPlanes;
                plat::memUnlock(document);
            }
        }
    }
    int16_t result = WriteAniFile(fileName, parent, document, callback);
    if (temporary) plat::memFree(temporary);
    return result;
}

}  // namespace vc
