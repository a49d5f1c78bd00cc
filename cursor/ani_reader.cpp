// Reading animated cursors: frames go to the editor one by one through the
// callback (command 9), the rest of the file into a cursor animation
// document that is offered to the editor when the file is opened as an
// animation.
#include <cstring>

#include "cursor/ani.h"
#include "cursor/ico.h"
#include "entry/format_table.h"

namespace vc {

namespace {

// An open file that closes itself, with the length it had when opened: no
// body larger than what is left of the file is ever allocated.
struct InputFile {
    HFile handle = kFileError;
    uint32_t length = 0;
    explicit InputFile(const char *name) {
        handle = plat::fileOpen(name, plat::kOpenRead);
        if (handle == kFileError) return;
        int32_t end = plat::fileSeek(handle, 0, plat::kSeekEnd);
        length = end > 0 ? uint32_t(end) : 0;
        plat::fileSeek(handle, 0, plat::kSeekSet);
    }
    ~InputFile() {
        if (handle != kFileError) plat::fileClose(handle);
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
    bool ok() const { return handle != kFileError; }
    uint32_t position() const {
        int32_t p = plat::fileSeek(handle, 0, plat::kSeekCur);
        return p > 0 ? uint32_t(p) : 0;
    }
    // Bytes from the current position to the end of the file.
    uint32_t left() const {
        uint32_t p = position();
        return p < length ? length - p : 0;
    }
    bool seekTo(uint64_t offset) const {
        return offset <= 0x7FFFFFFF && plat::fileSeek(handle, int32_t(offset), plat::kSeekSet) >= 0;
    }
};

bool readFormHeader(HFile f) {
    ChunkHeader riff;
    uint8_t form[4];
    return ReadChunkHeader(f, riff) && riff.id == kIdRiff && plat::fileRead(f, form, 4) == 4 &&
           std::memcmp(form, "ACON", 4) == 0;
}

bool readListType(HFile f, uint32_t &type) {
    uint8_t raw[4];
    if (plat::fileRead(f, raw, 4) != 4) return false;
    type = uint32_t(raw[0]) | uint32_t(raw[1]) << 8 | uint32_t(raw[2]) << 16 | uint32_t(raw[3]) << 24;
    return true;
}

// The body of a LIST after its type: its padded size less the 4 type bytes.
uint64_t listContent(const ChunkHeader &h) {
    uint64_t l = paddedSize(h.size);
    return l >= 4 ? l - 4 : 0;
}

// Reads an icon subchunk's body into a new zero-filled block; none when
// memory is refused (result -5) or the read comes back short (-3).
MemHandle readIconBody(const InputFile &in, const ChunkHeader &h, int16_t &result) {
    MemHandle block = plat::memAlloc(plat::kMemMoveable | plat::kMemZeroInit, h.size ? h.size : 1);
    if (!block) {
        result = CONV_E_MEMORY;
        return nullptr;
    }
    void *p = plat::memLock(block);
    bool read = p && ReadChunkBody(in.handle, h, p, h.size);
    if (p) plat::memUnlock(block);
    if (!read) {
        plat::memFree(block);
        result = CONV_E_READ;
        return nullptr;
    }
    return block;
}

// The frames of a fram list of n bytes: each icon subchunk's chosen image
// goes to the editor with its frame number in bits 8 to 15 of the flags.
// A bad or refused frame does not stop the walk; the last such result is
// what the list answers.
int16_t readFrames(const InputFile &in, uint64_t n, HostCallback callback) {
    int16_t result = CONV_OK;
    uint32_t frame = 0;
    while (n >= 8) {
        ChunkHeader h;
        if (!ReadChunkHeader(in.handle, h)) return CONV_E_READ;
        n -= 8;
        // A body reaching past its list or the file is damage, not data.
        if (h.id == kIdIcon && (h.size > n || h.size > in.left())) return CONV_E_READ;
        if (h.id == kIdIcon) {
            int16_t failure = CONV_OK;
            MemHandle block = readIconBody(in, h, failure);
            if (!block && failure == CONV_E_MEMORY) return CONV_E_MEMORY;
            if (!block) {
                result = failure;
            } else {
                auto *p = static_cast<uint8_t *>(plat::memLock(block));
                uint32_t hotspot = 0;
                if (!p || !PickIconImage(p, &hotspot, h.size)) {
                    result = CONV_E_DATA;
                } else if (callback &&
                           callback(HOST_ADD_ICON, reinterpret_cast<intptr_t>(p), intptr_t(((frame & 255) << 8) | 17))) {
                    intptr_t count = callback(HOST_QUERY, 0, HOST_QUERY_COUNT);
                    if (count >= 1) callback(HOST_SET_HOTSPOT, intptr_t(hotspot), count - 1);
                } else {
                    result = CONV_CANCELLED;
                }
                if (p) plat::memUnlock(block);
                plat::memFree(block);
            }
            ++frame;
        } else if (!SkipChunk(in.handle, h)) {
            return CONV_E_READ;
        }
        uint64_t used = paddedSize(h.size);
        n = used < n ? n - used : 0;
    }
    return result;
}

// The INFO list of n bytes: title and author, each cut to 79 characters.
int16_t readInfo(const InputFile &in, uint64_t n, CursorAnimationDocument &doc) {
    while (n >= 8) {
        ChunkHeader h;
        if (!ReadChunkHeader(in.handle, h)) return CONV_E_READ;
        n -= 8;
        if (h.id == kIdInam || h.id == kIdIart) {
            if (h.size > n) return CONV_E_READ;
            char *text = h.id == kIdInam ? doc.title : doc.author;
            // A later text replaces an earlier one whole, and the last byte
            // of the field always stays the terminating NUL.
            std::memset(text, 0, kAniTextSize);
            if (!ReadChunkBody(in.handle, h, text, kAniTextSize - 1)) return CONV_E_READ;
        } else if (!SkipChunk(in.handle, h)) {
            return CONV_E_READ;
        }
        uint64_t used = paddedSize(h.size);
        n = used < n ? n - used : 0;
    }
    return CONV_OK;
}

// Steps that anih implies: each shows for the default rate, and the frames
// follow each other in turn.
void fillDefaultSteps(CursorAnimationDocument &doc) {
    uint32_t steps = documentSteps(doc);
    for (uint32_t i = 0; i < steps; ++i) {
        doc.rates[i] = doc.header.defaultRate;
        doc.sequence[i] = i % doc.header.frameCount;
    }
}

// The top-level walk; ends normally when no further chunk header can be read.
int16_t readChunks(const InputFile &in, CursorAnimationDocument &doc, HostCallback callback) {
    ChunkHeader h;
    while (ReadChunkHeader(in.handle, h)) {
        switch (h.id) {
        case kIdRate:
            if (!ReadChunkBody(in.handle, h, doc.rates, sizeof doc.rates)) return CONV_E_READ;
            break;
        case kIdSeq:
            if (!ReadChunkBody(in.handle, h, doc.sequence, sizeof doc.sequence)) return CONV_E_READ;
            break;
        case kIdAnih:
            if (!ReadChunkBody(in.handle, h, &doc.header, sizeof doc.header)) return CONV_E_READ;
            if (doc.header.frameCount == 0) return CONV_E_UNSUPPORTED;
            fillDefaultSteps(doc);
            break;
        case kIdList: {
            uint32_t start = in.position();
            uint32_t type = 0;
            if (!readListType(in.handle, type)) return CONV_E_READ;
            uint64_t content = listContent(h);
            if (type == kIdInfo) {
                readInfo(in, content, doc);
                // Whatever the INFO walk made of its subchunks, the next
                // chunk starts behind the list.
                if (!in.seekTo(uint64_t(start) + paddedSize(h.size))) return CONV_E_READ;
            } else if (type == kIdFram) {
                int16_t r = readFrames(in, content, callback);
                if (r != CONV_OK) return r;
            } else if (!SkipChunk(in.handle, ChunkHeader{h.id, uint32_t(content)})) {
                return CONV_E_READ;
            }
            break;
        }
        default:
            if (!SkipChunk(in.handle, h)) return CONV_E_READ;
            break;
        }
    }
    return CONV_OK;
}

}  // namespace

int16_t LoadAniFile(const char *fileName, bool asAnimation, HostCallback callback) {
    InputFile in(fileName);
    if (!in.ok()) return CONV_E_OPEN;
    if (!readFormHeader(in.handle)) return CONV_E_FORMAT;
    MemHandle block = newCursorDocument();
    if (!block) return CONV_E_MEMORY;
    auto *doc = static_cast<CursorAnimationDocument *>(plat::memLock(block));
    int16_t result = doc ? readChunks(in, *doc, callback) : int16_t(CONV_E_MEMORY);
    if (doc) plat::memUnlock(block);
    if (result == CONV_OK && asAnimation && callback) {
        if (callback(HOST_NEW_DOCUMENT, reinterpret_cast<intptr_t>(block), 0)) {
            addCursorAnimationMenu(callback);
            return CONV_OK;  // the editor owns the document now
        }
    }
    plat::memFree(block);
    return result;
}

int16_t PreviewAniFile(const char *fileName, ConvImageRecord *record) {
    if (!record) return CONV_E_UNSUPPORTED;
    record->image = nullptr;
    InputFile in(fileName);
    if (!in.ok() || !readFormHeader(in.handle)) return CONV_E_FORMAT;
    ChunkHeader h;
    // To the fram list, skipping everything else.
    uint64_t n = 0;
    for (;;) {
        if (!ReadChunkHeader(in.handle, h)) return CONV_E_UNSUPPORTED;
        if (h.id != kIdList) {
            if (!SkipChunk(in.handle, h)) return CONV_E_UNSUPPORTED;
            continue;
        }
        uint32_t type = 0;
        if (!readListType(in.handle, type)) return CONV_E_UNSUPPORTED;
        n = listContent(h);
        if (type == kIdFram) break;
        if (!SkipChunk(in.handle, ChunkHeader{h.id, uint32_t(n)})) return CONV_E_UNSUPPORTED;
    }
    // To its first icon subchunk.
    for (;;) {
        if (n < 8 || !ReadChunkHeader(in.handle, h)) return CONV_E_UNSUPPORTED;
        n -= 8;
        if (h.id == kIdIcon) break;
        if (!SkipChunk(in.handle, h)) return CONV_E_UNSUPPORTED;
        uint64_t used = paddedSize(h.size);
        n = used < n ? n - used : 0;
    }
    if (h.size > n || h.size > in.left()) return CONV_E_UNSUPPORTED;
    int16_t failure = CONV_OK;
    MemHandle block = readIconBody(in, h, failure);
    if (!block) return CONV_E_UNSUPPORTED;
    // The icon preview takes the block: it stores it in the record or frees it.
    PreviewIconBlock(block, h.size, record);
    return record->image ? CONV_OK : CONV_E_UNSUPPORTED;
}

}  // namespace vc
