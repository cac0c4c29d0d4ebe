#include "platform/writing/TemporaryFile.h"

#include "platform/writing/FileStepHook.h"
#include "platform/writing/TemporaryName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lf {
namespace {

// Never waits: whoever else holds a file this new is not waited for.
int lockAtOnce(int fd) {
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    return locked == 0 ? 0 : errno;
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

// How a file system that cannot store permissions (FAT, many FUSE mounts)
// answers a change of them on a file that the writer owns, where nothing
// else could refuse it. The new contents then have what that file system
// gives every file, as the replaced file had.
bool cannotStorePermissions(int error) {
    return error == ENOSYS || error == EPERM || error == EOPNOTSUPP || error == ENOTSUP;
}

}  // namespace

std::string folderOfPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOfPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool fileHasName(int fd, const std::string& path) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && opened.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

void flushFolder(const std::string& folder) {
    FileDescriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.isOpen()) ::fsync(opened.get());
}

// Created exclusively with 0666, so that the kernel applies the umask as
// it would to the target itself.
Result<TemporaryFile> TemporaryFile::createBeside(const std::string& target, size_t longestName) {
    const std::string stem =
        folderOfPath(target) + "/" +
        temporaryNamePrefix(nameOfPath(target), TemporaryRole::NewContents, longestName);
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = stem + randomTemporaryDigits();
        int fd;
        do {
            fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return Error::posix(errno, "create a temporary file for " + target);
        FileDescriptor file(fd);
        const int lockError = lockAtOnce(file.get());
        // Held by another since its creation (another write that took it
        // for a dead writer's, or any program that opened it): it goes,
        // and another name is tried.
        if (lockError == EWOULDBLOCK) {
            if (fileHasName(file.get(), candidate)) ::unlink(candidate.c_str());
            lastError = EWOULDBLOCK;
            continue;
        }
        if (lockError != 0) {
            ::unlink(candidate.c_str());
            return Error::posix(lockError, "lock a temporary file for " + target);
        }
        // Another write of the same target may have taken the new file for
        // a dead writer's between its creation and the lock; then it is gone.
        if (fileHasName(file.get(), candidate))
            return TemporaryFile(target, std::move(candidate), std::move(file));
    }
    return Error::posix(lastError, "create a temporary file for " + target);
}

TemporaryFile::TemporaryFile(std::string target, std::string path, FileDescriptor file)
    : target_(std::move(target)), path_(std::move(path)), file_(std::move(file)) {
    struct stat opened {};
    if (::fstat(file_.get(), &opened) == 0) {
        device_ = opened.st_dev;
        inode_ = opened.st_ino;
    }
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : target_(std::move(other.target_)),
      path_(std::move(other.path_)),
      file_(std::move(other.file_)),
      device_(other.device_),
      inode_(other.inode_),
      movedIn_(std::exchange(other.movedIn_, true)) {}

// The file closes, and its lock ends, after the name is gone.
TemporaryFile::~TemporaryFile() {
    if (!movedIn_) ::unlink(path_.c_str());
}

Status TemporaryFile::write(std::span<const uint8_t> bytes) {
    LF_TRY(writeAll(file_.get(), bytes));
    LF_TRY(keepPermissionsOfTarget());
    if (const int error =
            runFileStep(FileStep::Flush, target_, [&] { return ::fsync(file_.get()); }))
        return Error::posix(error, "flush " + path_);
    return {};
}

Status TemporaryFile::keepPermissionsOfTarget() {
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) return {};
    const int error = runFileStep(FileStep::KeepPermissions, target_,
                                  [&] { return ::fchmod(file_.get(), existing.st_mode & 07777); });
    if (error == 0 || cannotStorePermissions(error)) return {};
    return Error::posix(error, "keep the permissions of " + target_);
}

Status TemporaryFile::replaceTarget() {
    if (const int error = runFileStep(FileStep::MoveIn, target_,
                                      [&] { return ::rename(path_.c_str(), target_.c_str()); }))
        return Error::posix(error, "replace " + target_);
    movedIn_ = true;
    return {};
}

bool TemporaryFile::isNamed(const std::string& path) const {
    struct stat named {};
    return ::lstat(path.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
}

}  // namespace lf
