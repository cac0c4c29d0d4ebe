#include "platform/AtomicFile.h"

#include "platform/FileDescriptor.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {
namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden file beside the target, created exclusively with 0666 so that
// the kernel applies the umask as it would to the target itself.
Result<std::pair<std::string, FileDescriptor>> createTemporaryBeside(const std::string& path) {
    std::random_device random;
    const std::string stem = folderOf(path) + "/." + nameOf(path) + ".tmp-";
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = stem + fmt::format("{:08x}{:08x}", random(), random());
        int fd;
        do {
            fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) return std::pair{std::move(candidate), FileDescriptor(fd)};
        if (errno != EEXIST) return Error::posix(errno, "create a temporary file for " + path);
    }
    return Error::posix(EEXIST, "create a temporary file for " + path);
}

Status writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Error::posix(errno, "write");
        }
        done += static_cast<size_t>(n);
    }
    return {};
}

Status writeAndReplace(const std::string& path, const std::string& temporary, FileDescriptor file,
                       std::span<const uint8_t> bytes) {
    LF_TRY(writeAll(file.get(), bytes));
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        ::fchmod(file.get(), existing.st_mode & 07777) != 0)
        return Error::posix(errno, "keep the permissions of " + path);
    if (::fsync(file.get()) != 0) return Error::posix(errno, "flush " + temporary);
    if (::close(file.release()) != 0) return Error::posix(errno, "close " + temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        return Error::posix(errno, "replace " + path);
    return {};
}

}  // namespace

Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    auto created = createTemporaryBeside(path);
    if (!created) return created.error();
    auto& [temporary, file] = *created;
    Status written = writeAndReplace(path, temporary, std::move(file), bytes);
    if (!written) {
        ::unlink(temporary.c_str());
        return written;
    }
    // The rename is durable once the folder's entry is on the disk; a folder
    // that cannot be flushed (some file systems refuse) still holds the file.
    FileDescriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isOpen()) ::fsync(folder.get());
    return {};
}

}  // namespace lf
