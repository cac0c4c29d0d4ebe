#include "updater/OMAUFolderAccess.h"

#include "platform/FileDescriptor.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr mode_t kOwnerAccess = S_IRWXU;

// Opens the entry `name` of the folder `parent` to its owner when it is a
// folder; whether it is one.
lf::Result<bool> openToOwner(int parent, const char* name, const fs::path& path) {
    struct stat status {};
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return lf::Error::posix(errno, "examine " + path.string());
    if (!S_ISDIR(status.st_mode)) return false;
    const mode_t mode = status.st_mode & 07777;
    // No link is followed, should one have taken the folder's place since.
    if ((mode & kOwnerAccess) != kOwnerAccess &&
        ::fchmodat(parent, name, mode | kOwnerAccess, AT_SYMLINK_NOFOLLOW) != 0)
        return lf::Error::posix(errno, "give the owner access to " + path.string());
    return true;
}

lf::Status openTreeToOwner(int parent, const char* name, const fs::path& path) {
    lf::Result<bool> isFolder = openToOwner(parent, name, path);
    if (!isFolder) return isFolder.error();
    if (!*isFolder) return {};
    lf::FileDescriptor folder(
        ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.isOpen()) return lf::Error::posix(errno, "open " + path.string());
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(::fdopendir(folder.get()), ::closedir);
    if (!entries) return lf::Error::posix(errno, "open " + path.string());
    folder.release();
    lf::Status first;
    while (const dirent* entry = ::readdir(entries.get())) {
        const std::string_view entryName = entry->d_name;
        if (entryName == "." || entryName == ".." ||
            (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN))
            continue;
        lf::Status opened =
            openTreeToOwner(::dirfd(entries.get()), entry->d_name, path / entryName);
        if (!opened && first) first = opened;
    }
    return first;
}

}  // namespace

lf::Status OMAUOpenFolderToOwner(const fs::path& folder) {
    lf::Result<bool> opened = openToOwner(AT_FDCWD, folder.c_str(), folder);
    return opened ? lf::Status() : opened.error();
}

lf::Status OMAUOpenFoldersToOwner(const fs::path& path) {
    return openTreeToOwner(AT_FDCWD, path.c_str(), path);
}
