// Owners of the platform's resources: a movable block the library made, a
// lock on a block somebody else owns (the editor's image, an animation
// document), and a file of the 16-bit-heritage calls. Each gives back what
// it holds on every way out of the scope that holds it, so no reader,
// writer or dialog pairs its frees by hand.
//
// The owners never throw and never allocate beyond the resource itself;
// every failure is a false or null result the caller turns into its code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/platform.h"

namespace vc::plat {

// A movable block the library made and still owns. alloc() leaves it
// locked; release() unlocks it and hands the handle over (to the editor,
// through the output record or the callback); otherwise the destructor
// unlocks and frees it.
class Block {
public:
    Block() = default;
    // Takes ownership of a block made elsewhere in the library (unlocked).
    explicit Block(MemHandle adopt) : handle_(adopt) {}
    Block(Block &&other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)), data_(std::exchange(other.data_, nullptr)) {}
    Block &operator=(Block &&other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
            data_ = std::exchange(other.data_, nullptr);
        }
        return *this;
    }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;
    ~Block() { reset(); }

    // A new movable block of size bytes (zero-filled unless flags say
    // otherwise), locked. False, holding nothing, when the size does not
    // fit the address space or memory is refused.
    [[nodiscard]] bool alloc(uint64_t size, uint32_t flags = kMemMoveable | kMemZeroInit) {
        reset();
        if (size > SIZE_MAX) return false;
        handle_ = memAlloc(flags, size_t(size));
        if (!handle_) return false;
        if (!lock()) {
            reset();
            return false;
        }
        return true;
    }

    // Grows or shrinks the block, keeping its bytes and its lock state; on
    // failure the block is untouched.
    [[nodiscard]] bool resize(uint64_t size, uint32_t flags = kMemMoveable | kMemZeroInit) {
        if (!handle_ || size > SIZE_MAX) return false;
        const bool wasLocked = data_ != nullptr;
        unlock();
        MemHandle grown = memReAlloc(handle_, size_t(size), flags);
        if (grown) handle_ = grown;
        if (wasLocked && !lock()) return false;
        return grown != nullptr;
    }

    // Locks the block if it is not locked yet; none when it cannot be.
    uint8_t *lock() {
        if (!data_ && handle_) data_ = static_cast<uint8_t *>(memLock(handle_));
        return data_;
    }
    void unlock() {
        if (data_) (void)memUnlock(handle_);
        data_ = nullptr;
    }

    // Hands the block over: unlocked, no longer owned.
    [[nodiscard]] MemHandle release() {
        unlock();
        return std::exchange(handle_, nullptr);
    }
    // Frees the block now.
    void reset() {
        unlock();
        if (handle_) (void)memFree(handle_);
        handle_ = nullptr;
    }

    MemHandle handle() const { return handle_; }
    uint8_t *data() const { return data_; }
    template <class T> T *as() const { return reinterpret_cast<T *>(data_); }
    size_t size() const { return handle_ ? memSize(handle_) : 0; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    MemHandle handle_ = nullptr;
    uint8_t *data_ = nullptr;
};

// A lock on a block the library does not own: the editor's image during a
// save, an animation document during a command. Unlocked on every way out;
// never freed.
class Lock {
public:
    Lock() = default;
    explicit Lock(MemHandle h) { (void)lock(h); }
    Lock(Lock &&other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)), data_(std::exchange(other.data_, nullptr)) {}
    Lock &operator=(Lock &&other) noexcept {
        if (this != &other) {
            unlock();
            handle_ = std::exchange(other.handle_, nullptr);
            data_ = std::exchange(other.data_, nullptr);
        }
        return *this;
    }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    ~Lock() { unlock(); }

    // Locks h (after unlocking what was held); false for a handle that
    // cannot be locked.
    bool lock(MemHandle h) {
        unlock();
        if (!h) return false;
        data_ = static_cast<uint8_t *>(memLock(h));
        if (data_) handle_ = h;
        return data_ != nullptr;
    }
    void unlock() {
        if (data_) (void)memUnlock(handle_);
        handle_ = nullptr;
        data_ = nullptr;
    }

    MemHandle handle() const { return handle_; }
    uint8_t *data() const { return data_; }
    template <class T> T *as() const { return reinterpret_cast<T *>(data_); }
    size_t size() const { return handle_ ? memSize(handle_) : 0; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    MemHandle handle_ = nullptr;
    uint8_t *data_ = nullptr;
};

// A scoped lock of an animation document (a block that begins with its
// format code), seen as its record type.
template <class Record> class DocumentLock {
public:
    DocumentLock() = default;
    explicit DocumentLock(MemHandle document) { (void)lock(document); }
    // False when the block cannot be locked or is too small for the record.
    bool lock(MemHandle document) {
        if (!lock_.lock(document)) return false;
        if (lock_.size() < sizeof(Record)) {
            lock_.unlock();
            return false;
        }
        return true;
    }
    void unlock() { lock_.unlock(); }
    Record *get() const { return lock_.as<Record>(); }
    Record *operator->() const { return get(); }
    Record &operator*() const { return *get(); }
    MemHandle handle() const { return lock_.handle(); }
    size_t size() const { return lock_.size(); }
    explicit operator bool() const { return bool(lock_); }

private:
    Lock lock_;
};

// A file of the 16-bit-heritage calls, closed on every way out. A failed
// save leaves what it wrote on disk; the owner only closes.
class File {
public:
    File() = default;
    explicit File(HFile adopt) : handle_(adopt) {}
    File(File &&other) noexcept : handle_(std::exchange(other.handle_, kFileError)) {}
    File &operator=(File &&other) noexcept {
        if (this != &other) {
            (void)close();
            handle_ = std::exchange(other.handle_, kFileError);
        }
        return *this;
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File() { (void)close(); }

    [[nodiscard]] bool open(const char *name, int mode = kOpenRead) {
        (void)close();
        handle_ = fileOpen(name, mode);
        return handle_ != kFileError;
    }
    [[nodiscard]] bool create(const char *name, int attributes = 0) {
        (void)close();
        handle_ = fileCreate(name, attributes);
        return handle_ != kFileError;
    }
    // Closes now; false when the close failed (a write the system held back
    // may have been lost).
    bool close() {
        if (handle_ == kFileError) return true;
        return fileClose(std::exchange(handle_, kFileError)) != kFileError;
    }

    // Byte count read or written, -1 on error, as the calls return it.
    [[nodiscard]] int32_t read(void *buffer, uint32_t count) const { return fileRead(handle_, buffer, count); }
    [[nodiscard]] int32_t write(const void *buffer, uint32_t count) const {
        return fileWrite(handle_, buffer, count);
    }
    // Exactly count bytes, or false.
    [[nodiscard]] bool readAll(void *buffer, uint32_t count) const { return read(buffer, count) == int32_t(count); }
    [[nodiscard]] bool writeAll(const void *buffer, uint32_t count) const {
        return write(buffer, count) == int32_t(count);
    }
    // New position or -1.
    [[nodiscard]] int32_t seek(int32_t offset, int origin) const { return fileSeek(handle_, offset, origin); }
    [[nodiscard]] bool seekTo(uint64_t offset) const {
        return offset <= 0x7FFFFFFF && seek(int32_t(offset), kSeekSet) == int32_t(offset);
    }
    [[nodiscard]] int32_t position() const { return seek(0, kSeekCur); }
    // The file's length, leaving the position where it was; -1 on error.
    [[nodiscard]] int64_t length() const {
        const int32_t here = position();
        if (here < 0) return -1;
        const int32_t end = seek(0, kSeekEnd);
        if (end < 0 || seek(here, kSeekSet) != here) return -1;
        return end;
    }

    HFile handle() const { return handle_; }
    explicit operator bool() const { return handle_ != kFileError; }

private:
    HFile handle_ = kFileError;
};

}  // namespace vc::plat
