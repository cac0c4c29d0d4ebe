#pragma once
// FileWatcher: tells when files or folders change on disk, over inotify. A
// flow input watches its documents and folders with one.
//
// - Every watched path has a watch of its own and one on its parent folder,
//   so a save that writes a new file and renames it over the old one is
//   seen, as are deletions and a file that appears again at the path.
// - A watched folder is watched with everything below it; links are never
//   followed, so a link to a folder is not entered.
// - Changes are coalesced: the handler runs once `latency` has passed
//   without a further change, with the watched paths that changed since its
//   last call.
// - A path that does not exist is never reported until something appears
//   there (if its parent folder exists).
//
// Thread-safe. The handler runs on the given queue; after destruction,
// which should happen on that queue, it is not called again. All watchers
// share one inotify instance and one reading thread.

#include "platform/DispatchQueue.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

namespace lf {

class FileWatcher {
public:
    using Handler = std::function<void(const std::set<std::string>& changedPaths)>;
    static constexpr std::chrono::milliseconds kDefaultLatency{500};

    // A watcher that is suspended and watches nothing yet.
    FileWatcher(std::shared_ptr<DispatchQueue> queue, Handler handler,
                std::chrono::nanoseconds latency = kDefaultLatency);
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    // Replaces the watched paths (made absolute and normal; changes are
    // reported under these forms).
    void setWatchedPaths(const std::set<std::string>& paths);
    std::set<std::string> watchedPaths() const;

    // A suspended watcher holds no watches and reports nothing; changes
    // made while it is suspended are not reported later.
    void setSuspended(bool suspended);
    bool isSuspended() const;

    struct Core;  // the state the reading thread shares

private:
    std::shared_ptr<Core> core_;
};

}  // namespace lf
