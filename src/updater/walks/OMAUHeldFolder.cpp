#include "updater/walks/OMAUHeldFolder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A folder a launch clearing abandoned ones took between its making and
// its hold is let go and another one made; so many at most.
constexpr int kAttempts = 4;

lf::FileDescriptor openFolder(const fs::path& path) {
    return lf::FileDescriptor(
        ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Whether the folder open as `folder` is held now, where the file system
// can hold it at all, and was not removed meanwhile (it has a link left);
// errno says why not.
bool takeHold(int folder) {
    struct stat status {};
    if (::flock(folder, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
    if (::fstat(folder, &status) != 0) return false;
    errno = ENOENT;
    return status.st_nlink > 0;
}

}  // namespace

lf::Result<OMAUHeldFolder> OMAUHeldFolder::make(const std::string& pattern) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string path = pattern;
        if (!::mkdtemp(path.data()))
            return lf::Error::posix(
                errno, "make a folder beside " + fs::path(pattern).parent_path().string());
        lf::FileDescriptor folder = openFolder(path);
        // Gone already: a launch clearing abandoned folders came first.
        if (!folder.isOpen() && errno != ENOENT)
            return lf::Error::posix(errno, "open the folder " + path);
        if (folder.isOpen() && takeHold(folder.get()))
            return OMAUHeldFolder(std::move(path), std::move(folder));
    }
    return lf::Error::posix(EAGAIN,
                            "make a folder beside " + fs::path(pattern).parent_path().string());
}

lf::Result<OMAUHeldFolder> OMAUHeldFolder::hold(const fs::path& path) {
    lf::FileDescriptor folder = openFolder(path);
    if (!folder.isOpen() || !takeHold(folder.get()))
        return lf::Error::posix(errno, "hold the folder " + path.string());
    return OMAUHeldFolder(path, std::move(folder));
}

std::optional<OMAUHeldFolder> OMAUHeldFolder::takeAbandoned(const fs::path& path) {
    lf::FileDescriptor folder = openFolder(path);
    struct stat status {};
    if (!folder.isOpen() || ::fstat(folder.get(), &status) != 0 || status.st_uid != ::getuid())
        return std::nullopt;
    if (::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
    return OMAUHeldFolder(path, std::move(folder));
}
