#include "platform/AtomicFile.h"

#include "platform/FileDescriptor.h"

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

namespace lf {
namespace {

// Every temporary file of a target is named after it, hidden: "." NAME
// ".tmp-" and 16 random hexadecimal digits.
constexpr std::string_view kTemporaryMarker = ".tmp-";
constexpr size_t kTemporarySuffixLength = 16;

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string temporaryPrefix(const std::string& path) {
    std::string prefix = ".";
    prefix += nameOf(path);
    prefix += kTemporaryMarker;
    return prefix;
}

bool isLinkedAs(int fd, const std::string& path) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && opened.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// Whether `name`, past its first `prefixLength` characters, is the random
// part of a temporary file's name.
bool endsInTemporarySuffix(std::string_view name, size_t prefixLength) {
    if (name.size() != prefixLength + kTemporarySuffixLength) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefixLength), name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Whether `name` is that of a temporary file of any target.
bool isTemporaryName(std::string_view name) {
    if (name.size() < 2 + kTemporaryMarker.size() + kTemporarySuffixLength ||
        !name.starts_with('.'))
        return false;
    const size_t prefixLength = name.size() - kTemporarySuffixLength;
    return name.substr(0, prefixLength).ends_with(kTemporaryMarker) &&
           endsInTemporarySuffix(name, prefixLength);
}

// A writer holds an exclusive lock on its temporary file from its creation
// until after the rename, and the kernel drops the lock when the writer
// dies. A temporary file that can be locked, and still has its name, was
// therefore left by a writer that was killed or crashed half way: its
// bytes are of no use, and left alone such files would pile up beside the
// user's files. Opened without waiting, and only a plain file is removed:
// whatever else bears such a name is not ours.
void removeIfAbandoned(const std::string& temporary) {
    FileDescriptor file(
        ::open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return;
    if (isLinkedAs(file.get(), temporary)) ::unlink(temporary.c_str());
}

// Every abandoned temporary file of `folder` whose name `isTemporary` takes.
template <typename NamePredicate>
void removeAbandonedTemporaries(const std::string& folder, const NamePredicate& isTemporary) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (isTemporary(entry.path().filename().string())) removeIfAbandoned(entry.path());
}

void removeTemporariesOfDeadWriters(const std::string& path) {
    const std::string prefix = temporaryPrefix(path);
    removeAbandonedTemporaries(folderOf(path), [&](const std::string& name) {
        return name.starts_with(prefix) && endsInTemporarySuffix(name, prefix.size());
    });
}

// A hidden file beside the target, created exclusively with 0666 so that
// the kernel applies the umask as it would to the target itself, and
// locked for the writer's life.
Result<std::pair<std::string, FileDescriptor>> createTemporaryBeside(const std::string& path) {
    std::random_device random;
    const std::string stem = folderOf(path) + "/" + temporaryPrefix(path);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = stem + fmt::format("{:08x}{:08x}", random(), random());
        int fd;
        do {
            fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return Error::posix(errno, "create a temporary file for " + path);
        FileDescriptor file(fd);
        int locked;
        do {
            locked = ::flock(file.get(), LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const int lockError = errno;
            ::unlink(candidate.c_str());
            return Error::posix(lockError, "lock a temporary file for " + path);
        }
        // Another write of the same target may have taken the new file for
        // a dead writer's between its creation and the lock; then it is gone.
        if (isLinkedAs(file.get(), candidate))
            return std::pair{std::move(candidate), std::move(file)};
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

// The file stays open, and so locked, until after the rename.
Status writeAndReplace(const std::string& path, const std::string& temporary,
                       const FileDescriptor& file, std::span<const uint8_t> bytes) {
    LF_TRY(writeAll(file.get(), bytes));
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        ::fchmod(file.get(), existing.st_mode & 07777) != 0)
        return Error::posix(errno, "keep the permissions of " + path);
    if (::fsync(file.get()) != 0) return Error::posix(errno, "flush " + temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        return Error::posix(errno, "replace " + path);
    return {};
}

}  // namespace

void removeAbandonedTemporaryFiles(const std::string& folder) {
    removeAbandonedTemporaries(folder, isTemporaryName);
}

Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    removeTemporariesOfDeadWriters(path);
    auto created = createTemporaryBeside(path);
    if (!created) return created.error();
    auto& [temporary, file] = *created;
    Status written = writeAndReplace(path, temporary, file, bytes);
    if (!written) {
        ::unlink(temporary.c_str());
        return written;
    }
    // The file closes (and its lock ends) on return: its bytes were flushed
    // before the rename, so nothing is left for the close to report.
    // The rename is durable once the folder's entry is on the disk; a folder
    // that cannot be flushed (some file systems refuse) still holds the file.
    FileDescriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isOpen()) ::fsync(folder.get());
    return {};
}

}  // namespace lf
