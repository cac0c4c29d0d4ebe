#pragma once
// FileWatcher: tells when files or folders change on disk, over inotify. A
// flow input watches its documents and folders with one.
//
// - A watcher follows paths, not the items they named once: a watched path
//   is resolved as the kernel resolves it, and every folder on the way is
//   watched with the item it leads to. When a folder on the way is moved
//   away, deleted or made again, or a link on the way is switched, the
//   path is watched again where it leads now, and that is a change of the
//   path (a document that appears there again, or is gone). A folder
//   moved away is not watched under its new name, and its watches are let
//   go. A folder on the way whose mode shuts the watcher out, or lets it in
//   again, changes what the path leads to as well.
// - A link is followed wherever it leads, on the way and at the end: a path
//   naming a link is watched through the link and at its target, so
//   switching the link and saving the target are both changes.
// - A save that writes a new file and renames it over the old one is seen,
//   as are writes in place, deletions and a file that appears again.
// - A watched folder is watched with everything below it; links found
//   below it are never followed, so a link to a folder there is not
//   entered.
// - Changes are coalesced: the handler runs once `latency` has passed
//   without a further change, with the watched paths that changed since its
//   last call.
// - A path that does not exist is reported once something appears there,
//   however many of the folders on the way were missing.
//
// Thread-safe. The handler runs on the given queue; after destruction,
// which should happen on that queue, it is not called again. All watchers
// share one inotify instance and one reading thread.

#include "platform/dispatch/DispatchQueue.h"

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

    // For tests: called on the reading thread each time an event sends a
    // watcher to resolve its paths again, just before it looks at them,
    // with that watcher's lock held (the hook must not call a watcher).
    // Null removes it.
    static void setFollowingPathsHookForTesting(std::function<void()> hook);

    struct Core;  // the state the reading thread shares

private:
    std::shared_ptr<Core> core_;
};

}  // namespace lf
