#include "updater/OMAUBundleReplacement.h"

#include "platform/Log.h"
#include "updater/OMAUFolderAccess.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

namespace {

lf::Status copyInto(const fs::path& source, const fs::path& staging) {
    std::error_code error;
    fs::copy(source, staging, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error)
        return lf::Error::posix(error.value(),
                                "copy " + source.string() + " to " + staging.string());
    return {};
}

}  // namespace

std::optional<struct stat> OMAUStatusOf(const fs::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    return status;
}

void OMAURemoveQuietly(const fs::path& path) {
    // A folder its owner may not write cannot be emptied.
    static_cast<void>(OMAUOpenFoldersToOwner(path));
    std::error_code ignored;
    fs::remove_all(path, ignored);
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
