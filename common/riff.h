// RIFF chunks on byte spans: the walker the animated cursor and the AVI
// readers share. A chunk is a four-character id, a 32-bit little-endian
// size and that many bytes, padded to an even length; a LIST or RIFF chunk
// begins its body with a four-character type and holds chunks.
//
// The walker never reads outside its span. A chunk whose size runs past the
// end is handed out with the bytes that are there and marked truncated;
// what a format does with it is that format's policy, written at the top of
// its reader. After a truncated chunk the walk ends.
#pragma once

#include <cstdint>

#include "common/bytes.h"

namespace vc::riff {

constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

constexpr uint32_t kRiff = fourcc("RIFF");
constexpr uint32_t kList = fourcc("LIST");
constexpr uint32_t kHeaderSize = 8;

struct Chunk {
    uint32_t id = 0;
    uint32_t size = 0;    // as the header says
    ByteReader body;      // the bytes of the body that are there
    bool truncated = false;  // fewer than size bytes were there
    // The list type of a LIST or RIFF chunk (the body's first four bytes).
    uint32_t listType() const {
        ByteReader r = body;
        return r.u32();
    }
    // The chunks inside a LIST or RIFF chunk, after its type.
    ByteReader listBody() const { return body.from(4); }
};

// The size a chunk takes in a file: header, body and pad byte.
constexpr uint64_t paddedSize(uint32_t size) { return kHeaderSize + uint64_t(size) + (size & 1); }

class Walker {
public:
    explicit Walker(ByteReader span) : in_(span) {}

    // The next chunk; false at the end of the span, after a truncated
    // chunk, or when fewer than eight bytes of a header are left.
    bool next(Chunk &c) {
        if (done_ || in_.remaining() < kHeaderSize) return false;
        c.id = in_.u32();
        c.size = in_.u32();
        const uint64_t have = in_.remaining();
        c.truncated = c.size > have;
        c.body = in_.at(in_.position(), c.truncated ? have : c.size);
        if (c.truncated) {
            done_ = true;
            return true;
        }
        in_.skip(c.size);
        if (c.size & 1) in_.skip(in_.remaining() ? 1 : 0);
        return true;
    }
    // Offset of the next header within the span.
    size_t position() const { return in_.position(); }

private:
    ByteReader in_;
    bool done_ = false;
};

inline void writeHeader(ByteWriter &w, uint32_t id, uint32_t size) {
    w.u32(id);
    w.u32(size);
}

}  // namespace vc::riff
