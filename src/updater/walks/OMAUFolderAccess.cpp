#include "updater/walks/OMAUFolderAccess.h"

#include "updater/walks/OMAUFolderWalk.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr mode_t kOwnerAccess = S_IRWXU;

// How often a folder whose permission a tool keeps taking away is opened
// to its owner again before it is given up on.
constexpr int kOpeningAttempts = 4;

bool ownerLacksAccess(const struct stat& status) {
    return (status.st_mode & kOwnerAccess) != kOwnerAccess;
}

mode_t openedMode(const struct stat& status) {
    return (status.st_mode & 07777) | kOwnerAccess;
}

// Opens the folder open as `folder`, whose status is `status`, to its owner.
bool openToOwner(int folder, const struct stat& status) {
    return !ownerLacksAccess(status) || ::fchmod(folder, openedMode(status)) == 0;
}

// Gives the owner access to `parent`, which the lookup of a name needs,
// and to its folder `name`, which opening it needs. The change goes
// through the parent's descriptor and, for the folder, is refused should a
// link stand in its place.
bool openEntryToOwner(int parent, const char* name) {
    struct stat status {};
    if (::fstat(parent, &status) != 0 || !openToOwner(parent, status)) return false;
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(status.st_mode)) {
        errno = S_ISLNK(status.st_mode) ? ELOOP : ENOTDIR;
        return false;
    }
    return !ownerLacksAccess(status) ||
           ::fchmodat(parent, name, openedMode(status), AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

lf::FileDescriptor OMAUEnterFolder(int parent, const char* name) {
    for (int attempt = 0;; ++attempt) {
        lf::FileDescriptor folder(
            ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.isOpen() || errno != EACCES || attempt == kOpeningAttempts ||
            !openEntryToOwner(parent, name))
            return folder;
    }
}

bool OMAUExamineEntry(int folder, const char* name, struct stat& status) {
    for (int attempt = 0;; ++attempt) {
        if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0) return true;
        if (errno != EACCES || attempt == kOpeningAttempts || !OMAUOpenToOwner(folder))
            return false;
    }
}

lf::Status OMAUOpenToOwner(int folder) {
    struct stat status {};
    if (::fstat(folder, &status) != 0 || !openToOwner(folder, status))
        return lf::Error::posix(errno, "give the owner access to the folder");
    return {};
}

lf::Status OMAUOpenFoldersToOwner(int folder, std::stop_token stop) {
    LF_TRY(OMAUOpenToOwner(folder));
    OMAUFolderVisitor visitor;
    visitor.stop = std::move(stop);
    visitor.visit = [](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        return S_ISDIR(entry.status.st_mode);
    };
    visitor.enter = [](const OMAUWalkEntry& entry, int opened) -> lf::Status {
        if (!openToOwner(opened, entry.status))
            return lf::Error::posix(errno, "give the owner access to " + entry.path());
        return {};
    };
    return OMAUWalkFolder(folder, visitor);
}

lf::Result<OMAUPlace> OMAUOpenPlace(const std::filesystem::path& path) {
    std::filesystem::path normal = path.lexically_normal();
    if (!normal.has_filename() && normal.has_parent_path()) normal = normal.parent_path();
    const std::filesystem::path parent = normal.has_parent_path() ? normal.parent_path() : ".";
    lf::FileDescriptor folder(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isOpen()) return lf::Error::posix(errno, "open " + parent.string());
    return OMAUPlace{std::move(folder), normal.filename().string()};
}

lf::Result<lf::FileDescriptor> OMAUOpenFolder(const std::filesystem::path& path) {
    lf::Result<OMAUPlace> place = OMAUOpenPlace(path);
    if (!place) return place.error();
    lf::FileDescriptor opened = OMAUEnterFolder(place->folder.get(), place->name.c_str());
    if (!opened.isOpen()) return lf::Error::posix(errno, "open " + path.string());
    return opened;
}
