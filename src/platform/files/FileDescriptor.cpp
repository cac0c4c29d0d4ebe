#include "platform/files/FileDescriptor.h"

#include "platform/files/PathRefusal.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

namespace {

bool isFileOrFolder(mode_t mode) {
    return S_ISREG(mode) || S_ISDIR(mode);
}

// The refusal of what openForReading does not open, in words a user knows.
Error notAFileOrFolder(const std::string& path, mode_t mode) {
    return PathRefusal::notAFileOrFolder(mode).error(path);
}

}  // namespace

Result<FileDescriptor> FileDescriptor::openForReading(const std::string& path) {
    // Looked at first, so that what is refused is not even opened: an open
    // of a FIFO for reading, waiting or not, lets a writer that waits on it
    // go on to write into nothing.
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !isFileOrFolder(named.st_mode))
        return notAFileOrFolder(path, named.st_mode);
    // Without waiting all the same, for a path that became a FIFO since.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Error::posix(errno, "open " + path);
    FileDescriptor file(fd);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) return Error::posix(errno, "stat " + path);
    if (!isFileOrFolder(opened.st_mode)) return notAFileOrFolder(path, opened.st_mode);
    // Reads wait for their bytes as usual (a file under a lock would
    // otherwise answer EAGAIN).
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Error::posix(errno, "open " + path);
    return file;
}

Result<uint64_t> FileDescriptor::size() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return Error::posix(errno, "stat");
    return static_cast<uint64_t>(info.st_size);
}

Result<size_t> FileDescriptor::readUncached(void* destination, size_t length,
                                            uint64_t offset) const {
    auto* out = static_cast<uint8_t*>(destination);
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Error::posix(errno, "pread");
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    if (done > 0)
        ::posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(done),
                        POSIX_FADV_DONTNEED);
    return done;
}

}  // namespace lf
