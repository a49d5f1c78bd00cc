// Reading animated cursors: frames go to the editor one by one through the
// callback (command 9), the rest of the file into a cursor animation
// document that is offered to the editor when the file is opened as an
// animation. The file is read piece by piece through a file window: chunk
// headers and small bodies as checked spans, the INFO list as one span
// walked chunk by chunk, each frame's icon file into a block of its own.
//
// Choices for what the file format leaves open, all made so that a damaged
// file never reads or writes outside its buffers:
// - A file that does not start with RIFF and ACON is refused with
//   CONV_E_FORMAT. The RIFF size is ignored (some programs store the whole
//   file's length there): the top-level chunks run to the end of the file,
//   and a header that cannot be read whole is the normal end.
// - An anih, rate or seq body cut by the end of the file, a list type that
//   cannot be read, and a skip the file calls cannot make (to 2 GiB or
//   beyond) end the load with CONV_E_READ. A list shorter than its type
//   still has four type bytes read, from whatever follows it.
// - A later chunk of a kind replaces what an earlier one gave: an anih fills
//   the default steps over rate and seq read before it, and a rate or seq
//   after it overwrites them. Each body is copied over the document's
//   mirror of it as far as it goes: a short anih changes only the bytes it
//   holds, a rate or seq of more than 256 steps gives its first 256. A frame
//   count of 0 (also from an anih too short to hold one) is CONV_E_UNSUPPORTED.
// - INFO never fails the load. Title and author keep at most 79 characters;
//   a text claiming more than its list holds ends the INFO walk (texts read
//   before stay); a text cut by the end of the file keeps what is there.
//   The next chunk starts behind the list as its size says.
// - In the fram list, an icon subchunk claiming more than its list or the
//   file holds ends the load with CONV_E_READ, and no memory for a frame
//   with CONV_E_MEMORY. A frame whose icon file holds no usable image
//   (CONV_E_DATA) or that the editor refuses (0) does not stop the walk:
//   the load answers the last such result.
// - The preview answers CONV_E_UNSUPPORTED for every failure past the form
//   header.
#include <algorithm>
#include <cstring>

#include "cursor/ani.h"
#include "cursor/ico.h"
#include "common/editor_link.h"
#include "common/format_table.h"

namespace vc {

namespace {

// Bytes from the window's position to the end of the file as it was when
// opened: no body larger than that is ever allocated.
uint64_t bytesLeft(const FileWindow &in, uint64_t length) {
    const uint64_t at = uint64_t(in.tell());
    return at < length ? length - at : 0;
}

bool readFormHeader(FileWindow &in) {
    ByteReader r = in.take(12);
    const uint32_t id = r.u32();
    r.skip(4);
    const uint32_t form = r.u32();
    return r.ok() && id == kIdRiff && form == kIdAcon;
}

bool readListType(FileWindow &in, uint32_t &type) {
    ByteReader r = in.take(4);
    type = r.u32();
    return r.ok();
}

// The body of a LIST after its type: its padded size less the 4 type bytes.
uint64_t listContent(const ChunkHeader &h) {
    const uint64_t l = paddedBody(h.size);
    return l >= 4 ? l - 4 : 0;
}

// Reads an icon subchunk's body into a new zero-filled block: CONV_E_MEMORY
// when memory is refused, CONV_E_READ when the read comes back short.
int16_t readIconBody(FileWindow &in, const ChunkHeader &h, plat::Block &block) {
    if (!block.alloc(h.size ? h.size : 1)) return CONV_E_MEMORY;
    if (!in.readAll(block.data(), h.size) || !SkipBytes(in, paddedBody(h.size) - h.size)) return CONV_E_READ;
    return CONV_OK;
}

// Hands a frame's chosen image to the editor with its frame number in bits
// 8 to 15 of the flags, then its hotspot to the image it became.
int16_t offerFrame(plat::Block &block, uint32_t size, uint32_t frame, const EditorLink &link) {
    uint32_t hotspot = 0;
    if (const int picked = PickIconImage(block, &hotspot, size); picked != 1)
        return picked < 0 ? CONV_E_MEMORY : CONV_E_DATA;
    if (!link.addIcon(block.data(), EditorLink::sequenceFlags(frame, HOST_FRAME_GIF))) return CONV_CANCELLED;
    const int32_t count = link.frameCount();
    if (count >= 1) link.setHotspot(hotspot, count - 1);
    return CONV_OK;
}

// The frames of a fram list of n bytes.
int16_t readFrames(FileWindow &in, uint64_t length, uint64_t n, const EditorLink &link) {
    int16_t result = CONV_OK;
    uint32_t frame = 0;
    while (n >= riff::kHeaderSize) {
        ChunkHeader h;
        if (!ReadChunkHeader(in, h)) return CONV_E_READ;
        n -= riff::kHeaderSize;
        if (h.id == kIdIcon) {
            if (h.size > n || h.size > bytesLeft(in, length)) return CONV_E_READ;
            plat::Block block;
            int16_t r = readIconBody(in, h, block);
            if (r == CONV_E_MEMORY) return r;
            if (r == CONV_OK) r = offerFrame(block, h.size, frame, link);
            if (r != CONV_OK) result = r;
            ++frame;
        } else if (!SkipChunk(in, h)) {
            return CONV_E_READ;
        }
        const uint64_t used = paddedBody(h.size);
        n = used < n ? n - used : 0;
    }
    return result;
}

// The bytes of a list of `declared` bytes as one span: from the window when
// they fit in it, else in spill (no more than the file still holds; none
// when memory is refused).
ByteReader listSpan(FileWindow &in, uint64_t declared, uint64_t left, plat::Block &spill) {
    if (declared <= FileWindow::kSize) {
        const ByteReader r = in.take(uint32_t(declared));
        return ByteReader(r.data(), r.size());  // as many as the file holds
    }
    const uint64_t n = std::min(declared, left);
    if (!spill.alloc(n ? n : 1, plat::kMemMoveable)) return {};
    return ByteReader(spill.data(), in.read(spill.data(), size_t(n)));
}

// The subchunks of an INFO list that claims `declared` bytes after its type
// and holds those of `content`: title and author.
void readInfo(ByteReader content, uint64_t declared, CursorAnimationDocument &doc) {
    riff::Walker walk(content);
    for (;;) {
        const uint64_t at = walk.position();
        riff::Chunk c;
        if (!walk.next(c)) return;
        if (c.id != kIdInam && c.id != kIdIart) continue;
        if (c.size > declared - at - riff::kHeaderSize) return;
        char *text = c.id == kIdInam ? doc.title : doc.author;
        // A later text replaces an earlier one whole, and the last byte of
        // the field always stays the terminating NUL.
        std::memset(text, 0, kAniTextSize);
        ByteReader body = c.body;
        body.bytes(text, std::min<size_t>(body.size(), kAniTextSize - 1));
    }
}

// Steps that anih implies: each shows for the default rate, and the frames
// follow each other in turn.
void fillDefaultSteps(CursorAnimationDocument &doc) {
    const uint32_t steps = documentSteps(doc);
    for (uint32_t i = 0; i < steps; ++i) {
        doc.rates[i] = doc.header.defaultRate;
        doc.sequence[i] = i % doc.header.frameCount;
    }
}

int16_t readList(FileWindow &in, uint64_t length, const ChunkHeader &h, CursorAnimationDocument &doc,
                 const EditorLink &link) {
    const int64_t start = in.tell();
    uint32_t type = 0;
    if (!readListType(in, type)) return CONV_E_READ;
    const uint64_t content = listContent(h);
    if (type == kIdFram) return readFrames(in, length, content, link);
    if (type != kIdInfo) return SkipBytes(in, content) ? CONV_OK : CONV_E_READ;
    plat::Block spill;
    readInfo(listSpan(in, content, bytesLeft(in, length), spill), content, doc);
    return in.seek(uint64_t(start) + paddedBody(h.size)) ? CONV_OK : CONV_E_READ;
}

// The top-level walk; ends normally when no further chunk header can be read.
int16_t readChunks(FileWindow &in, uint64_t length, CursorAnimationDocument &doc, const EditorLink &link) {
    ChunkHeader h;
    while (ReadChunkHeader(in, h)) {
        switch (h.id) {
        case kIdRate:
            if (!ReadChunkBody(in, h, doc.rates, sizeof doc.rates)) return CONV_E_READ;
            break;
        case kIdSeq:
            if (!ReadChunkBody(in, h, doc.sequence, sizeof doc.sequence)) return CONV_E_READ;
            break;
        case kIdAnih:
            if (!ReadChunkBody(in, h, &doc.header, sizeof doc.header)) return CONV_E_READ;
            if (doc.header.frameCount == 0) return CONV_E_UNSUPPORTED;
            fillDefaultSteps(doc);
            break;
        case kIdList:
            if (int16_t r = readList(in, length, h, doc, link); r != CONV_OK) return r;
            break;
        default:
            if (!SkipChunk(in, h)) return CONV_E_READ;
            break;
        }
    }
    return CONV_OK;
}

// To the fram list of the top level, skipping everything else; n gets its
// content's size.
bool findFramList(FileWindow &in, uint64_t &n) {
    for (;;) {
        ChunkHeader h;
        if (!ReadChunkHeader(in, h)) return false;
        if (h.id != kIdList) {
            if (!SkipChunk(in, h)) return false;
            continue;
        }
        uint32_t type = 0;
        if (!readListType(in, type)) return false;
        n = listContent(h);
        if (type == kIdFram) return true;
        if (!SkipBytes(in, n)) return false;
    }
}

// To the first icon subchunk within n bytes of a list.
bool findFirstIcon(FileWindow &in, uint64_t &n, ChunkHeader &h) {
    for (;;) {
        if (n < riff::kHeaderSize || !ReadChunkHeader(in, h)) return false;
        n -= riff::kHeaderSize;
        if (h.id == kIdIcon) return true;
        if (!SkipChunk(in, h)) return false;
        const uint64_t used = paddedBody(h.size);
        n = used < n ? n - used : 0;
    }
}

uint64_t openLength(const plat::File &file) {
    const int64_t length = file.length();
    return length > 0 ? uint64_t(length) : 0;
}

}  // namespace

int16_t LoadAniFile(const char *fileName, bool asAnimation, HostCallback callback) {
    plat::File file;
    if (!file.open(fileName)) return CONV_E_OPEN;
    const uint64_t length = openLength(file);
    FileWindow in(file.handle());
    if (!readFormHeader(in)) return CONV_E_FORMAT;
    plat::Block document = newCursorDocument();
    if (!document) return CONV_E_MEMORY;
    const EditorLink link(callback);
    const int16_t result = readChunks(in, length, *document.as<CursorAnimationDocument>(), link);
    document.unlock();
    if (result == CONV_OK && asAnimation && link.offerDocument(document.handle())) {
        (void)document.release();  // the editor owns the document now
        addCursorAnimationMenu(callback);
    }
    return result;
}

int16_t PreviewAniFile(const char *fileName, ConvImageRecord *record) {
    if (!record) return CONV_E_UNSUPPORTED;
    record->image = nullptr;
    plat::File file;
    if (!file.open(fileName)) return CONV_E_FORMAT;
    const uint64_t length = openLength(file);
    FileWindow in(file.handle());
    if (!readFormHeader(in)) return CONV_E_FORMAT;
    uint64_t n = 0;
    ChunkHeader h;
    if (!findFramList(in, n) || !findFirstIcon(in, n, h)) return CONV_E_UNSUPPORTED;
    if (h.size > n || h.size > bytesLeft(in, length)) return CONV_E_UNSUPPORTED;
    plat::Block block;
    if (readIconBody(in, h, block) != CONV_OK) return CONV_E_UNSUPPORTED;
    // The icon preview takes the block: it stores it in the record or frees it.
    PreviewIconBlock(std::move(block), h.size, record);
    return record->image ? CONV_OK : CONV_E_UNSUPPORTED;
}

}  // namespace vc
