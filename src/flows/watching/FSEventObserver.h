#pragma once
// FSEventObserver: reports changes inside a changing set of folders to a
// delegate, through one event stream (the inotify file watcher) over the
// whole set. Nothing in the application makes one today; flow inputs answer
// its delegate calls as they answer QFFileObserver's.
//
// Each change is reported as the observed folder it happened in, with
// "scan recursively" set: the watcher gathers the changes below a folder,
// so the delegate looks at the whole folder again.
//
// Changing the path set keeps the stream and the watches of the folders
// that stay, so no change in them is lost; suspending drops the stream, and
// resuming makes a new one that reports only later changes.
//
// Threads: any thread may call any member. All stream work runs on a
// serial queue of the observer's own (on the low-priority global queue);
// every delegate call and every change of the delegate on another (on the
// default global queue). The path set is guarded by a semaphore.

#include "platform/dispatch/DispatchSemaphore.h"

#include <atomic>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace lf {
class DispatchQueue;
class FileWatcher;
}  // namespace lf
class FSEventObserver;

class FSEventObserverDelegate {
public:
    virtual ~FSEventObserverDelegate() = default;
    virtual void observedChangeInDirectoryAtPath(FSEventObserver& observer, const std::string& path,
                                                 bool shouldScanRecursively) = 0;
};

class FSEventObserver : public std::enable_shared_from_this<FSEventObserver> {
public:
    // Suspended, observing nothing. `options` changes nothing.
    explicit FSEventObserver(unsigned options = 0);
    ~FSEventObserver();
    FSEventObserver(const FSEventObserver&) = delete;
    FSEventObserver& operator=(const FSEventObserver&) = delete;

    std::set<std::string> observedPaths() const;
    void setObservedPaths(const std::set<std::string>& paths);
    void addObservedPath(const std::string& path);
    void removeObservedPath(const std::string& path);

    bool isSuspended() const { return isSuspended_; }
    void setSuspended(bool suspended);

    std::weak_ptr<FSEventObserverDelegate> delegate() const;
    // Runs on the delegate queue and returns once set.
    void setDelegate(std::weak_ptr<FSEventObserverDelegate> delegate);

    // Whether an event stream runs now (waits for pending stream updates).
    bool hasStream() const;

private:
    void updateStream();
    void processEventsWithPaths(const std::set<std::string>& paths);

    std::atomic<bool> isSuspended_{true};
    const std::shared_ptr<lf::DispatchQueue> streamDispatchQueue_;
    const std::shared_ptr<lf::DispatchQueue> delegateQueue_;
    // Stream queue only.
    std::unique_ptr<lf::FileWatcher> stream_;
    std::optional<std::set<std::string>> streamPaths_;
    mutable lf::DispatchSemaphore observingLock_{1};
    std::set<std::string> observedPaths_;
    // Delegate queue only.
    std::weak_ptr<FSEventObserverDelegate> delegate_;
};
