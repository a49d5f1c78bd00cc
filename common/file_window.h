// A read-ahead window over an open file, for formats read piece by piece
// from files too large to read whole (a GIF's sub-blocks, an animated
// cursor's chunks, an AVI's index). Parsers read many small pieces (a
// length byte, a chunk header, one sub-block), which would otherwise be one
// file call each.
//
// Skips move the logical position only; the file is repositioned when the
// window is refilled, so a skip past the end succeeds like the file call
// does and the next read comes back short. sync() leaves the file at the
// logical position for code that reads the file directly afterwards.
//
// The window remembers where the file stands after its own reads, so a
// refill that continues there, and a sync to where the file already is,
// cost no seek: a small file costs one read.
//
// The window holds its 16 KiB buffer itself (no allocation); keep it on the
// stack of the call that reads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "platform/platform.h"

namespace vc {

class FileWindow {
public:
    static constexpr uint32_t kSize = 16384;

    // Starts at the file's current position.
    explicit FileWindow(HFile file) : file_(file) {
        const int32_t at = plat::fileSeek(file, 0, plat::kSeekCur);
        base_ = at < 0 ? 0 : at;
        filePos_ = at;
    }
    // Starts at offset without asking the file; fileIsThere tells that the
    // file stands at that offset already (as a file just opened stands at
    // 0), which saves the seek of the first refill.
    FileWindow(HFile file, uint32_t offset, bool fileIsThere) : file_(file), base_(offset) {
        if (fileIsThere) filePos_ = offset;
    }
    FileWindow(const FileWindow &) = delete;
    FileWindow &operator=(const FileWindow &) = delete;

    HFile file() const { return file_; }
    // The logical position in the file.
    int64_t tell() const { return base_ + pos_; }

    // Copies up to n bytes; returns how many there were.
    size_t read(void *dst, size_t n) {
        auto *d = static_cast<uint8_t *>(dst);
        size_t done = 0;
        while (done < n) {
            if (pos_ == len_ && !refill()) break;
            const size_t k = std::min<size_t>(n - done, len_ - pos_);
            std::memcpy(d + done, buf_ + pos_, k);
            pos_ += uint32_t(k);
            done += k;
        }
        return done;
    }
    bool readAll(void *dst, size_t n) { return read(dst, n) == n; }
    bool byte(uint8_t &b) {
        if (pos_ < len_) {
            b = buf_[pos_++];
            return true;
        }
        return read(&b, 1) == 1;
    }

    // Reads n bytes (at most kSize) into the window and returns a checked
    // reader over them; a reader short of n bytes when the file ends first
    // (its reads then fail). The reader stays valid until the next call.
    ByteReader take(uint32_t n) {
        n = std::min(n, kSize);
        if (len_ - pos_ < n) {
            // Move what is left to the front and fill up behind it.
            const uint32_t left = len_ - pos_;
            std::memmove(buf_, buf_ + pos_, left);
            base_ += pos_;
            pos_ = 0;
            len_ = left;
            while (len_ < n && refillBehind()) {
            }
        }
        const uint32_t have = std::min(n, len_ - pos_);
        ByteReader r(buf_ + pos_, have);
        pos_ += have;
        if (have < n) r.fail();
        return r;
    }

    // A relative move forward; succeeds past the end.
    void skip(uint64_t n) {
        if (uint64_t(pos_) + n <= len_) {
            pos_ += uint32_t(n);
        } else {
            base_ = tell() + int64_t(n);
            pos_ = len_ = 0;
        }
    }
    // An absolute move; false only for an offset the file calls cannot reach.
    bool seek(uint64_t offset) {
        if (offset > 0x7FFFFFFF) return false;
        if (int64_t(offset) >= base_ && int64_t(offset) <= base_ + len_) {
            pos_ = uint32_t(int64_t(offset) - base_);
        } else {
            base_ = int64_t(offset);
            pos_ = len_ = 0;
        }
        return true;
    }
    // Leaves the file at the logical position; false when it cannot be.
    bool sync() {
        const int64_t at = tell();
        if (at == filePos_) return true;
        if (at > INT32_MAX || plat::fileSeek(file_, int32_t(at), plat::kSeekSet) != at) {
            filePos_ = -1;
            return false;
        }
        filePos_ = at;
        return true;
    }

private:
    bool refill() {
        base_ = tell();
        pos_ = len_ = 0;
        return refillBehind();
    }
    // Appends file bytes behind the window's content.
    bool refillBehind() {
        const int64_t at = base_ + len_;
        if (at != filePos_) {
            filePos_ = -1;
            if (at > INT32_MAX || plat::fileSeek(file_, int32_t(at), plat::kSeekSet) != at) return false;
        }
        const int32_t got = plat::fileRead(file_, buf_ + len_, kSize - len_);
        // Where a failed read leaves the file is not known.
        filePos_ = got < 0 ? -1 : at + got;
        if (got <= 0) return false;
        len_ += uint32_t(got);
        return true;
    }

    HFile file_;
    int64_t base_ = 0;     // file offset of buf_[0]
    int64_t filePos_ = -1;  // where the file stands; -1 when not known
    uint32_t pos_ = 0, len_ = 0;
    uint8_t buf_[kSize];
};

// What a content detector reads: up to size bytes from the start of the
// file into buffer, leaving the file at its start as every detector must.
// The reader holds the bytes that were there; it is empty and failed when
// the file cannot be read or put back at its start, so the detector says no.
inline ByteReader readFileHead(HFile file, uint8_t *buffer, uint32_t size) {
    const int32_t got = plat::fileSeek(file, 0, plat::kSeekSet) == 0 ? plat::fileRead(file, buffer, size) : -1;
    const bool rewound = plat::fileSeek(file, 0, plat::kSeekSet) == 0;
    if (got < 0 || !rewound) {
        ByteReader none;
        none.fail();
        return none;
    }
    return ByteReader(buffer, size_t(got));
}

}  // namespace vc
