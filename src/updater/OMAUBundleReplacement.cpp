#include "updater/OMAUBundleReplacement.h"

#include "platform/Log.h"
#include "updater/OMAUFolderAccess.h"
#include "updater/OMAUFolderCopy.h"
#include "updater/OMAUFolderWalk.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Copies the folder `source` into the empty `staging`, which takes its mode.
lf::Status copyInto(const fs::path& source, const fs::path& staging) {
    lf::Result<lf::FileDescriptor> from = OMAUOpenFolder(source);
    if (!from) return from.error();
    lf::Result<lf::FileDescriptor> to = OMAUOpenFolder(staging);
    if (!to) return to.error();
    if (lf::Status copied = OMAUCopyFolder(from->get(), to->get()); !copied)
        return lf::Error(
            copied.error().domain, copied.error().code,
            {{lf::kLocalizedDescriptionKey, "copy " + source.string() + " to " + staging.string() +
                                                ": " + copied.error().localizedDescription()}});
    return {};
}

// Empties the folder open as `folder`, whatever the modes of the folders
// in it; failures are passed over.
void removeContents(int folder) {
    OMAUFolderVisitor visitor;
    visitor.visit = [](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        if (S_ISDIR(entry.status.st_mode)) return true;
        ::unlinkat(entry.folder, entry.name, 0);
        return false;
    };
    // A folder its owner may not write cannot be emptied.
    visitor.enter = [](const OMAUWalkEntry&, int opened) -> lf::Status {
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

void OMAURemoveQuietly(const fs::path& path) {
    try {
        lf::Result<OMAUPlace> place = OMAUOpenPlace(path);
        if (!place) return;
        const int above = place->folder.get();
        const char* name = place->name.c_str();
        lf::FileDescriptor folder = OMAUEnterFolder(above, name);
        if (folder.isOpen()) {
            removeContents(folder.get());
            folder = lf::FileDescriptor();
            ::unlinkat(above, name, AT_REMOVEDIR);
        } else if (errno == ENOTDIR || errno == ELOOP) {
            ::unlinkat(above, name, 0);
        }
    } catch (const std::bad_alloc&) {
        // Left for a later clean-up, as any other failure.
    }
}

lf::Result<fs::path> OMAUReserveFolderBeside(const fs::path& target, const std::string& tag) {
    std::string name = ".";
    name += target.filename().string() + "." + tag + "-XXXXXX";
    std::string pattern = (target.parent_path() / name).string();
    if (!::mkdtemp(pattern.data()))
        return lf::Error::posix(errno, "make a folder beside " + target.string());
    return fs::path(pattern);
}

lf::Status OMAUReplaceBundle(const fs::path& source, const fs::path& destination,
                             const fs::path& backup, const OMAUReplacementSteps& steps) {
    auto rename = steps.rename ? steps.rename : [](const char* from, const char* to) {
        return ::rename(from, to);
    };
    const auto sourceStatus = OMAUStatusOf(source);
    const auto folderStatus = OMAUStatusOf(destination.parent_path());
    if (!sourceStatus || !folderStatus)
        return lf::Error::posix(errno, "examine " + source.string());
    if (!OMAUStatusOf(destination))
        return lf::Error::posix(errno, "examine " + destination.string());

    // Only a rename within one file system is all or nothing.
    fs::path incoming = source;
    if (sourceStatus->st_dev != folderStatus->st_dev) {
        lf::Result<fs::path> staging = OMAUReserveFolderBeside(destination, "new");
        if (!staging) return staging.error();
        if (lf::Status copied = copyInto(source, *staging); !copied) {
            OMAURemoveQuietly(*staging);
            return copied;
        }
        incoming = *staging;
    }
    auto discardStaging = [&] {
        if (incoming != source) OMAURemoveQuietly(incoming);
    };

    if (rename(destination.c_str(), backup.c_str()) != 0) {
        lf::Error error = lf::Error::posix(errno, "move " + destination.string() + " aside");
        discardStaging();
        return error;
    }
    if (rename(incoming.c_str(), destination.c_str()) != 0) {
        lf::Error error = lf::Error::posix(errno, "move the update to " + destination.string());
        if (rename(backup.c_str(), destination.c_str()) != 0)
            lf::log("*** the old copy of {} could not be put back; it is at {}",
                    destination.string(), backup.string());
        discardStaging();
        return error;
    }
    return {};
}
