#pragma once
// An owned POSIX file descriptor with the positioned reads the document
// storage needs.

#include "platform/core/Result.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lf {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    // Opens `path` for reading, a link followed, without ever waiting:
    // only a regular file or a folder opens. Anything else (a FIFO, a
    // socket, a device) is refused with a POSIX error naming the path and
    // what it is: it holds no bytes to read at positions, and opening a
    // FIFO for reading waits until a writer comes, which may be never.
    static Result<FileDescriptor> openForReading(const std::string& path);

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    int release();

    // Current size of the file in bytes.
    Result<uint64_t> size() const;

    // Reads up to `length` bytes at `offset` with pread, retrying interrupted
    // and partial reads; returns the count read, less than `length` only at
    // the end of the file. Afterwards the kernel is told to drop the pages it
    // cached for the range, so large documents pass through without filling
    // the page cache.
    Result<size_t> readUncached(void* destination, size_t length, uint64_t offset) const;

private:
    int fd_ = -1;
};

}  // namespace lf
