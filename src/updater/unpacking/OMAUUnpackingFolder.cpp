#include "updater/unpacking/OMAUUnpackingFolder.h"

#include "updater/walks/OMAUScratchFolders.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kTag = "unpacking";
// A folder a launch clearing abandoned ones took meanwhile is let go and
// another one made; so many at most.
constexpr int kAttempts = 4;

lf::FileDescriptor openFolder(const fs::path& path) {
    return lf::FileDescriptor(
        ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Whether the folder open as `folder` is ours alone now: held, where the
// file system can hold it at all, and not removed meanwhile (it has a
// link left).
bool takeHold(int folder) {
    struct stat status {};
    if (::flock(folder, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
    return ::fstat(folder, &status) == 0 && status.st_nlink > 0;
}

// ".name.unpacking-XXXXXX", as OMAUReserveFolderBeside names them.
bool isUnpackingFolderName(std::string_view name) {
    const std::string suffix = std::string(".") + kTag + "-";
    const size_t at = name.rfind(suffix);
    return name.starts_with('.') && at != std::string_view::npos && at > 1 &&
           name.size() == at + suffix.size() + 6;
}

}  // namespace

lf::Result<OMAUUnpackingFolder> OMAUUnpackingFolder::reserveBeside(const fs::path& archive) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        lf::Result<fs::path> path = OMAUReserveFolderBeside(archive, kTag);
        if (!path) return path.error();
        lf::FileDescriptor folder = openFolder(*path);
        // Gone already: a launch clearing abandoned folders came first.
        if (!folder.isOpen() && errno != ENOENT)
            return lf::Error::posix(errno, "open the folder the archive unpacks into");
        if (folder.isOpen() && takeHold(folder.get()))
            return OMAUUnpackingFolder(std::move(*path), std::move(folder));
    }
    return lf::Error::posix(EAGAIN, "make a folder for the archive to unpack into");
}

OMAUUnpackingFolder::OMAUUnpackingFolder(OMAUUnpackingFolder&& other) noexcept
    : path_(std::exchange(other.path_, {})), descriptor_(std::move(other.descriptor_)) {}

OMAUUnpackingFolder::~OMAUUnpackingFolder() {
    if (!path_.empty()) OMAURemoveQuietly(path_);
}

void OMAURemoveAbandonedUnpackingFolders(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::optional<struct stat> status = OMAUStatusOf(entry->path());
        if (!status || !S_ISDIR(status->st_mode) || status->st_uid != ::getuid() ||
            !isUnpackingFolderName(entry->path().filename().native()))
            continue;
        // Removed while held, so that no unpacking takes it meanwhile.
        const lf::FileDescriptor held = openFolder(entry->path());
        if (held.isOpen() && ::flock(held.get(), LOCK_EX | LOCK_NB) == 0)
            OMAURemoveQuietly(entry->path());
    }
}
