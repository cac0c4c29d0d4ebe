#include "platform/FileDescriptor.h"

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

Result<FileDescriptor> FileDescriptor::openForReading(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Error::posix(errno, "open " + path);
    return FileDescriptor(fd);
}

Result<uint64_t> FileDescriptor::size() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return Error::posix(errno, "stat");
    return static_cast<uint64_t>(info.st_size);
}

Result<size_t> FileDescriptor::readUncached(void* destination, size_t length, uint64_t offset) const {
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
    if (done > 0) ::posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(done), POSIX_FADV_DONTNEED);
    return done;
}

}  // namespace lf
