#include "platform/TemporaryFile.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lf {
namespace {

constexpr std::string_view kTemporaryMarker = ".tmp-";
constexpr size_t kTemporarySuffixLength = 16;

std::string nameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "." NAME ".tmp-": what every temporary file of the target begins with.
std::string temporaryPrefix(const std::string& target) {
    std::string prefix = ".";
    prefix += nameOf(target);
    prefix += kTemporaryMarker;
    return prefix;
}

bool isLinkedAs(int fd, const std::string& path) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && opened.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// Whether `name` is the prefix followed by the random part of a temporary
// file's name, in lower-case hexadecimal as the writers make it.
bool isTemporaryName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + kTemporarySuffixLength || !name.starts_with(prefix))
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Opened without waiting, and only a plain file is removed: whatever else
// bears such a name is not ours. A file still locked has a live writer.
void removeIfAbandoned(const std::string& temporary) {
    FileDescriptor file(
        ::open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return;
    if (isLinkedAs(file.get(), temporary)) ::unlink(temporary.c_str());
}

// Nothing is reported: a leftover that cannot be removed now stays for the
// next write of its target.
void removeAbandonedTemporariesOf(const std::string& target) {
    const std::string prefix = temporaryPrefix(target);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folderOfPath(target), error))
        if (isTemporaryName(entry.path().filename().string(), prefix))
            removeIfAbandoned(entry.path());
}

int lockWaiting(int fd) {
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    return locked;
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

}  // namespace

std::string folderOfPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void flushFolder(const std::string& folder) {
    FileDescriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.isOpen()) ::fsync(opened.get());
}

// Created exclusively with 0666, so that the kernel applies the umask as
// it would to the target itself.
Result<TemporaryFile> TemporaryFile::createBeside(const std::string& target) {
    removeAbandonedTemporariesOf(target);
    std::random_device random;
    const std::string stem = folderOfPath(target) + "/" + temporaryPrefix(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = stem + fmt::format("{:08x}{:08x}", random(), random());
        int fd;
        do {
            fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return Error::posix(errno, "create a temporary file for " + target);
        FileDescriptor file(fd);
        if (lockWaiting(file.get()) != 0) {
            const int lockError = errno;
            ::unlink(candidate.c_str());
            return Error::posix(lockError, "lock a temporary file for " + target);
        }
        // Another write of the same target may have taken the new file for
        // a dead writer's between its creation and the lock; then it is gone.
        if (isLinkedAs(file.get(), candidate))
            return TemporaryFile(target, std::move(candidate), std::move(file));
    }
    return Error::posix(EEXIST, "create a temporary file for " + target);
}

TemporaryFile::TemporaryFile(std::string target, std::string path, FileDescriptor file)
    : target_(std::move(target)), path_(std::move(path)), file_(std::move(file)) {}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : target_(std::move(other.target_)),
      path_(std::move(other.path_)),
      file_(std::move(other.file_)),
      movedIn_(std::exchange(other.movedIn_, true)) {}

// The file closes, and its lock ends, after the name is gone.
TemporaryFile::~TemporaryFile() {
    if (!movedIn_) ::unlink(path_.c_str());
}

Status TemporaryFile::write(std::span<const uint8_t> bytes) {
    LF_TRY(writeAll(file_.get(), bytes));
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        ::fchmod(file_.get(), existing.st_mode & 07777) != 0)
        return Error::posix(errno, "keep the permissions of " + target_);
    if (::fsync(file_.get()) != 0) return Error::posix(errno, "flush " + path_);
    return {};
}

Status TemporaryFile::replaceTarget() {
    if (::rename(path_.c_str(), target_.c_str()) != 0)
        return Error::posix(errno, "replace " + target_);
    movedIn_ = true;
    return {};
}

bool TemporaryFile::isNamed(const std::string& path) const {
    return isLinkedAs(file_.get(), path);
}

}  // namespace lf
