#include "updater/walks/OMAUScratchFolders.h"

#include "platform/writing/HiddenName.h"
#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUFolderWalk.h"
#include "updater/walks/OMAUMounts.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Empties the folder open as `folder`, whatever the modes of the folders
// in it, staying on its file system; failures are passed over.
void removeContents(int folder, std::stop_token stop) {
    const std::optional<OMAUMount> home = OMAUMountOf(folder, "");
    if (!home) return;
    OMAUFolderVisitor visitor;
    visitor.stop = std::move(stop);
    // A folder with another file system mounted on it is left, and with it
    // the folders above it; a file mounted over refuses to go (EBUSY).
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        if (S_ISDIR(entry.status.st_mode)) return OMAUMountOf(entry.folder, entry.name) == home;
        ::unlinkat(entry.folder, entry.name, 0);
        return false;
    };
    // A folder its owner may not write cannot be emptied. One mounted on
    // since it was examined ends the removal.
    visitor.enter = [&](const OMAUWalkEntry& entry, int opened) -> lf::Status {
        if (OMAUMountOf(opened, "") != home)
            return lf::Error::posix(EXDEV, "remove " + entry.path());
        static_cast<void>(OMAUOpenToOwner(opened));
        return {};
    };
    visitor.leave = [](const OMAUWalkEntry& entry) -> lf::Status {
        ::unlinkat(entry.folder, entry.name, AT_REMOVEDIR);
        return {};
    };
    static_cast<void>(OMAUOpenToOwner(folder));
    static_cast<void>(OMAUWalkFolder(folder, visitor));
}

}  // namespace

std::optional<struct stat> OMAUStatusOf(const fs::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    return status;
}

void OMAURemoveQuietly(const fs::path& path, std::stop_token stop) {
    try {
        lf::Result<OMAUPlace> place = OMAUOpenPlace(path);
        if (!place) return;
        const int above = place->folder.get();
        const char* name = place->name.c_str();
        lf::FileDescriptor folder = OMAUEnterFolder(above, name);
        if (folder.isOpen()) {
            // Another file system mounted at `path` is not ours to empty.
            if (OMAUMountOf(folder.get(), "") != OMAUMountOf(above, "")) return;
            removeContents(folder.get(), std::move(stop));
            folder = lf::FileDescriptor();
            ::unlinkat(above, name, AT_REMOVEDIR);
        } else if (errno == ENOTDIR || errno == ELOOP) {
            ::unlinkat(above, name, 0);
        }
    } catch (const std::bad_alloc&) {
        // Left for a later clean-up, as any other failure.
    }
}

bool OMAUIsReservedSuffix(std::string_view suffix) {
    const auto letterOrDigit = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    return suffix.size() == kOMAUReservedSuffixLength &&
           std::all_of(suffix.begin(), suffix.end(), letterOrDigit);
}

std::string OMAUFolderPatternBeside(const fs::path& target, const std::string& tag) {
    const fs::path folder = target.parent_path();
    const std::string name =
        lf::hiddenNamePrefix(target.filename().string(), "." + tag + "-", kOMAUReservedSuffixLength,
                             lf::longestNameIn(folder.string()));
    return (folder / (name + std::string(kOMAUReservedSuffixLength, 'X'))).string();
}

lf::Result<fs::path> OMAUReserveFolderBeside(const fs::path& target, const std::string& tag) {
    std::string pattern = OMAUFolderPatternBeside(target, tag);
    if (!::mkdtemp(pattern.data()))
        return lf::Error::posix(errno, "make a folder beside " + target.string());
    return fs::path(pattern);
}
