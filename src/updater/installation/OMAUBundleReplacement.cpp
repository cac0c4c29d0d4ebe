#include "updater/installation/OMAUBundleReplacement.h"

#include "updater/installation/OMAUFolderCopy.h"
#include "updater/shared/OMAULog.h"
#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <cerrno>
#include <cstdio>

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

}  // namespace

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
            OMAULog("*** the old copy of {} could not be put back; it is at {}",
                    destination.string(), backup.string());
        discardStaging();
        return error;
    }
    return {};
}
