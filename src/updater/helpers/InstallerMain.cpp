// layerflow-update-installer SOURCE DESTINATION BACKUP
//
// The updater's privileged step, run through pkexec when the user may not
// write the installed application folder: replaces DESTINATION with SOURCE
// keeping the old folder at BACKUP until the new one is in place (and
// putting it back on failure), removes the old folder, and gives the new
// one the owner and group the old one had. Those are read from DESTINATION
// itself, not taken from the caller, who could otherwise hand out any
// owner with administrator rights. Exits with 0 once the new folder is in
// place.
//
// With those rights it would replace anything it is given, so DESTINATION
// must be a folder (not a link) holding an installed copy of the
// application that SOURCE holds, by its bundle identifier; anything else
// (a plain file, a link, another application, nothing) is refused with
// status 1 before anything is touched.

#include "updater/installation/OMAUBundleReplacement.h"
#include "updater/installation/OMAUInstalledCopy.h"
#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUFolderWalk.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Gives the folder `root` and everything under it (links themselves, not
// what they point at) the owner and group. It goes from the folder's
// descriptor down, as the user who unpacked the update could put a link in
// a folder's place meanwhile.
bool changeOwner(const fs::path& root, uid_t owner, gid_t group) {
    lf::Result<lf::FileDescriptor> folder = OMAUOpenFolder(root);
    if (!folder) return false;
    bool changed = ::fchown(folder->get(), owner, group) == 0;
    OMAUFolderVisitor visitor;
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        changed =
            ::fchownat(entry.folder, entry.name, owner, group, AT_SYMLINK_NOFOLLOW) == 0 && changed;
        return S_ISDIR(entry.status.st_mode);
    };
    return OMAUWalkFolder(folder->get(), visitor) && changed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fmt::print(stderr, "usage: {} SOURCE DESTINATION BACKUP\n", argv[0]);
        return 2;
    }
    const fs::path source = argv[1], destination = argv[2], backup = argv[3];
    if (!source.is_absolute() || !destination.is_absolute() || !backup.is_absolute() ||
        backup.parent_path() != destination.parent_path()) {
        fmt::print(stderr, "{}: the paths must be absolute, the backup beside the destination\n",
                   argv[0]);
        return 2;
    }
    if (lf::Status same = OMAUCheckSameApplication(source, destination); !same) {
        fmt::print(stderr, "{}: refusing to replace {}: {}\n", argv[0], destination.string(),
                   same.error().localizedDescription());
        return 1;
    }
    if (OMAUStatusOf(backup)) {
        fmt::print(stderr, "{}: {} exists\n", argv[0], backup.string());
        return 1;
    }
    const std::optional<struct stat> installed = OMAUStatusOf(destination);
    if (!installed) {
        fmt::print(stderr, "{}: cannot examine {}: {}\n", argv[0], destination.string(),
                   std::strerror(errno));
        return 1;
    }
    if (lf::Status replaced = OMAUReplaceBundle(source, destination, backup); !replaced) {
        fmt::print(stderr, "{}: {}\n", argv[0], lf::describe(replaced.error()));
        return 1;
    }
    // The new folder is in place: what follows cannot undo that.
    OMAURemoveQuietly(backup);
    if (!changeOwner(destination, installed->st_uid, installed->st_gid))
        fmt::print(stderr, "{}: could not give {} its owner back\n", argv[0], destination.string());
    return 0;
}
