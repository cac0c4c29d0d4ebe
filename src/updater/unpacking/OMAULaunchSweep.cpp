#include "updater/unpacking/OMAULaunchSweep.h"

#include "updater/unpacking/OMAUUnpackingFolder.h"
#include "updater/unpacking/OMAUWorkUnderWay.h"
#include "updater/walks/OMAUHeldFolder.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <new>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The names in `folder` that `keep` keeps; none when it cannot be read.
template <class Keep>
std::vector<fs::path> entriesOf(const fs::path& folder, Keep keep) {
    std::vector<fs::path> kept;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        if (keep(entry->path().filename().native())) kept.push_back(entry->path());
    return kept;
}

// Removes the unpacking folders in the download folder `folder` that no
// unpacking holds, each while held so that none is taken meanwhile.
void removeAbandonedUnpackingFolders(const fs::path& folder, std::stop_token stop) {
    for (const fs::path& unpacking : entriesOf(folder, OMAUIsUnpackingFolderName)) {
        if (stop.stop_requested()) return;
        if (std::optional<OMAUHeldFolder> held = OMAUHeldFolder::takeAbandoned(unpacking))
            OMAURemoveQuietly(held->path(), stop);
    }
}

void sweep(const fs::path& temporaryFolder, std::string_view prefix, std::stop_token stop) {
    // Only names the engine makes: a folder of the user's that merely
    // begins alike is theirs.
    const auto named = [&](std::string_view name) {
        return name.starts_with(prefix) && OMAUIsReservedSuffix(name.substr(prefix.size()));
    };
    for (const fs::path& download : entriesOf(temporaryFolder, named)) {
        if (stop.stop_requested()) return;
        if (std::optional<OMAUHeldFolder> held = OMAUHeldFolder::takeAbandoned(download))
            OMAURemoveQuietly(held->path(), stop);
        else if (const std::optional<struct stat> status = OMAUStatusOf(download);
                 status && S_ISDIR(status->st_mode) && status->st_uid == ::getuid())
            removeAbandonedUnpackingFolders(download, stop);
    }
}

}  // namespace

void OMAUSweepAbandonedFolders(const fs::path& temporaryFolder, std::string_view prefix,
                               std::stop_token stop) {
    try {
        sweep(temporaryFolder, prefix, std::move(stop));
    } catch (const std::bad_alloc&) {
        // Left to the next launch, as any other failure.
    }
}

std::shared_ptr<OMAULaunchSweep> OMAULaunchSweep::start(fs::path temporaryFolder,
                                                        std::string prefix) {
    std::promise<void> ended;
    auto sweep = std::shared_ptr<OMAULaunchSweep>(new OMAULaunchSweep(ended.get_future().share()));
    std::stop_source stop;
    std::thread([registered = OMAUWorkUnderWay(stop), stop, ended = std::move(ended),
                 temporaryFolder = std::move(temporaryFolder),
                 prefix = std::move(prefix)]() mutable {
        OMAUSweepAbandonedFolders(temporaryFolder, prefix, stop.get_token());
        ended.set_value();
        // The lambda, and the registration with it, go as the thread ends.
    }).detach();
    return sweep;
}
