// Little-endian bytes in and out: the one reader and the one writer every
// file structure goes through.
//
// ByteReader reads from a span with sticky failure: a read past the end
// gives 0 (and no bytes), and sets the failed flag, which stays set. A
// parser reads a whole structure and checks ok() once, instead of checking
// every field: the values it read from a short structure are zeros it must
// not act on, and it does not, because it checks before it uses them.
// at(offset, length) is a sub-view of the same bytes, empty and failed when
// any of it lies outside.
//
// ByteWriter writes into a caller's buffer with the same sticky failure: a
// write that does not fit writes nothing and sets the flag.
//
// Neither allocates, neither throws; both are plain values to copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vc {

// The one little-endian load and store in library code.
inline uint16_t loadLe16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t loadLe32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void storeLe16(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void storeLe32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t *data, size_t size) : data_(data), size_(data ? size : 0) {}
    ByteReader(const void *data, size_t size) : ByteReader(static_cast<const uint8_t *>(data), size) {}

    // True while every read so far was inside the bytes.
    bool ok() const { return !failed_; }
    bool failed() const { return failed_; }
    // Marks the structure as unusable (a value the parser checked is out of
    // range), so that one check at the end covers it too.
    void fail() { failed_ = true; }

    size_t size() const { return size_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    const uint8_t *data() const { return data_; }
    // The byte at the position; none past the end.
    const uint8_t *here() const { return pos_ < size_ ? data_ + pos_ : nullptr; }

    uint8_t u8() {
        if (!take(1)) return 0;
        return data_[pos_ - 1];
    }
    uint16_t u16() {
        if (!take(2)) return 0;
        return loadLe16(data_ + pos_ - 2);
    }
    uint32_t u32() {
        if (!take(4)) return 0;
        return loadLe32(data_ + pos_ - 4);
    }
    int16_t i16() { return int16_t(u16()); }
    int32_t i32() { return int32_t(u32()); }
    // Big-endian, for the one format that has a byte order mark.
    uint16_t u16be() {
        if (!take(2)) return 0;
        return uint16_t(data_[pos_ - 2] << 8 | data_[pos_ - 1]);
    }
    uint32_t u32be() {
        if (!take(4)) return 0;
        const uint8_t *p = data_ + pos_ - 4;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }

    // Copies count bytes out; zero-fills out and fails when they are not
    // all there.
    bool bytes(void *out, size_t count) {
        if (!take(count)) {
            if (count) std::memset(out, 0, count);
            return false;
        }
        if (count) std::memcpy(out, data_ + pos_ - count, count);
        return true;
    }
    // The next count bytes in place, none (and failed) when they are not
    // all there.
    const uint8_t *span(size_t count) {
        if (!take(count)) return nullptr;
        return data_ + pos_ - count;
    }
    bool skip(uint64_t count) { return take(count); }
    // Moves to an absolute offset; the end itself is allowed.
    bool seek(uint64_t offset) {
        if (offset > size_) return fail(), false;
        pos_ = size_t(offset);
        return true;
    }

    // length bytes from offset as a reader of their own, positioned at
    // their start; empty and failed when any of them lies outside.
    ByteReader at(uint64_t offset, uint64_t length) const {
        if (offset > size_ || length > size_ - offset) {
            ByteReader r;
            r.failed_ = true;
            return r;
        }
        return ByteReader(data_ + offset, size_t(length));
    }
    // From offset to the end.
    ByteReader from(uint64_t offset) const { return offset > size_ ? at(offset, 0) : at(offset, size_ - offset); }

private:
    bool take(uint64_t count) {
        if (failed_ || count > size_ - pos_) {
            failed_ = true;
            pos_ = size_;
            return false;
        }
        pos_ += size_t(count);
        return true;
    }

    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool failed_ = false;
};

class ByteWriter {
public:
    ByteWriter() = default;
    ByteWriter(uint8_t *data, size_t size) : data_(data), size_(data ? size : 0) {}
    ByteWriter(void *data, size_t size) : ByteWriter(static_cast<uint8_t *>(data), size) {}

    bool ok() const { return !failed_; }
    bool failed() const { return failed_; }
    size_t position() const { return pos_; }
    size_t size() const { return size_; }
    uint8_t *data() const { return data_; }

    void u8(uint32_t v) {
        if (uint8_t *p = take(1)) p[0] = uint8_t(v);
    }
    void u16(uint32_t v) {
        if (uint8_t *p = take(2)) storeLe16(p, v);
    }
    void u32(uint32_t v) {
        if (uint8_t *p = take(4)) storeLe32(p, v);
    }
    void bytes(const void *from, size_t count) {
        if (uint8_t *p = take(count); p && count) std::memcpy(p, from, count);
    }
    void fill(uint8_t value, size_t count) {
        if (uint8_t *p = take(count); p && count) std::memset(p, value, count);
    }
    // Room for count bytes the caller fills, none (and failed) when short.
    uint8_t *reserve(size_t count) { return take(count); }
    // Moves to an absolute offset (to patch a size written earlier).
    bool seek(uint64_t offset) {
        if (offset > size_) return failed_ = true, false;
        pos_ = size_t(offset);
        return true;
    }

private:
    uint8_t *take(uint64_t count) {
        if (failed_ || count > size_ - pos_) {
            failed_ = true;
            return nullptr;
        }
        pos_ += size_t(count);
        return data_ + pos_ - count;
    }

    uint8_t *data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace vc
