#include "updater/installation/OMAUFolderCopy.h"

#include "platform/files/FileDescriptor.h"
#include "updater/walks/OMAUFolderCursor.h"
#include "updater/walks/OMAUFolderWalk.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kModeBits = 07777;

// The file `entry` open for reading, opened to its owner for the moment
// of the opening should its mode keep them out.
lf::FileDescriptor openToCopy(const OMAUWalkEntry& entry) {
    constexpr int kReading = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    lf::FileDescriptor file(::openat(entry.folder, entry.name, kReading));
    if (file.isOpen() || errno != EACCES) return file;
    const mode_t mode = entry.status.st_mode & kModeBits;
    if (::fchmodat(entry.folder, entry.name, mode | S_IRUSR, AT_SYMLINK_NOFOLLOW) != 0) {
        errno = EACCES;
        return file;
    }
    file = lf::FileDescriptor(::openat(entry.folder, entry.name, kReading));
    const int opening = errno;
    ::fchmodat(entry.folder, entry.name, mode, AT_SYMLINK_NOFOLLOW);
    errno = opening;
    return file;
}

lf::Status copyFile(const OMAUWalkEntry& entry, int destination) {
    lf::FileDescriptor from = openToCopy(entry);
    if (!from.isOpen()) return lf::Error::posix(errno, "open " + entry.path());
    lf::FileDescriptor to(::openat(destination, entry.name,
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!to.isOpen()) return lf::Error::posix(errno, "make the copy of " + entry.path());
    for (;;) {
        const ssize_t copied = ::sendfile(to.get(), from.get(), nullptr, size_t{1} << 30);
        if (copied < 0 && errno == EINTR) continue;
        if (copied < 0) return lf::Error::posix(errno, "copy " + entry.path());
        if (copied == 0) break;
    }
    if (::fchmod(to.get(), entry.status.st_mode & kModeBits) != 0)
        return lf::Error::posix(errno, "give the copy of " + entry.path() + " its mode");
    return {};
}

lf::Status copyLink(const OMAUWalkEntry& entry, int destination) {
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlinkat(entry.folder, entry.name, target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) == target.size())
        return lf::Error::posix(length < 0 ? errno : ENAMETOOLONG, "read the link " + entry.path());
    target.resize(static_cast<size_t>(length));
    if (::symlinkat(target.c_str(), destination, entry.name) != 0)
        return lf::Error::posix(errno, "make the copy of " + entry.path());
    return {};
}

}  // namespace

lf::Status OMAUCopyFolder(int source, int destination) {
    // Where the copy is, folder for folder with the walk of the source.
    OMAUFolderCursor copy(destination);
    OMAUFolderVisitor visitor;
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        const mode_t mode = entry.status.st_mode;
        if (S_ISDIR(mode)) {
            // Writable until what it holds is copied.
            if (::mkdirat(copy.descriptor(), entry.name, S_IRWXU) != 0)
                return lf::Error::posix(errno, "make the copy of " + entry.path());
            return true;
        }
        if (S_ISREG(mode))
            LF_TRY(copyFile(entry, copy.descriptor()));
        else if (S_ISLNK(mode))
            LF_TRY(copyLink(entry, copy.descriptor()));
        else
            return lf::Error::posix(EINVAL, "copy " + entry.path() + ", which is no file");
        return false;
    };
    visitor.enter = [&](const OMAUWalkEntry& entry, int) { return copy.down(entry.name); };
    visitor.leave = [&](const OMAUWalkEntry& entry) -> lf::Status {
        LF_TRY(copy.up());
        if (::fchmodat(copy.descriptor(), entry.name, entry.status.st_mode & kModeBits,
                       AT_SYMLINK_NOFOLLOW) != 0)
            return lf::Error::posix(errno, "give the copy of " + entry.path() + " its mode");
        return {};
    };
    LF_TRY(OMAUWalkFolder(source, visitor));
    struct stat status {};
    if (::fstat(source, &status) != 0 || ::fchmod(destination, status.st_mode & kModeBits) != 0)
        return lf::Error::posix(errno, "give the copy its mode");
    return {};
}
