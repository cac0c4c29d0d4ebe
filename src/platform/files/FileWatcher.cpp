#include "platform/files/FileWatcher.h"

#include "platform/core/Log.h"
#include "platform/core/TestHook.h"
#include "platform/dispatch/DispatchTimer.h"
#include "platform/files/FolderWalk.h"
#include "platform/files/PathRoute.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lf {
namespace {

// What a watched item, or a folder below a watched folder, reports: every
// change of its own and of its entries.
constexpr uint32_t kChangeEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// Events after which the set of watches may have to change.
constexpr uint32_t kStructureEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// What a folder on the way to a watched item reports: entries made,
// removed or renamed, its own move or deletion, and changes of its own
// and its entries' modes (which open or close the way); writes to the
// files beside the way (the busy temporary folder among them) stay unheard.
constexpr uint32_t kRouteEvents = kStructureEvents | IN_ATTRIB | IN_ONLYDIR;

std::string normalised(const std::string& path) {
    std::error_code error;
    std::string normal = std::filesystem::absolute(path, error).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

struct FollowingPathsPlace;

TestHook<void()>& followingPathsHook() {
    return sharedTestHook<FollowingPathsPlace, void()>();
}

void callFollowingPathsHook() {
    if (const auto hook = followingPathsHook().get()) (*hook)();
}

}  // namespace

struct FileWatcher::Core : std::enable_shared_from_this<Core> {
    struct HeldWatch {
        int descriptor;
        ItemIdentity identity;
        uint32_t events;
    };

    Core(std::shared_ptr<DispatchQueue> queue, Handler handler, std::chrono::nanoseconds latency)
        : queue(std::move(queue)), handler(std::move(handler)), latency(latency) {}

    using Watches = std::map<std::string, HeldWatch>;  // by watched path

    // Watches every observed path anew, keeping the watches of `held` that
    // still serve and letting go of the rest.
    void rewatchLocked(bool reportNewRoutes);
    // Watches the folders on the way to `path` (each before it is looked
    // into), then the item it leads to, and every folder below that item
    // when it is a folder, links there not followed.
    PathRoute watchRouteLocked(const std::string& path, Watches& previous);
    // Watches `path` for `events`, taking over the watch of `previous` when
    // it is of the same item. The item is examined before it is watched:
    // when it is replaced in between, the event of its folder brings the
    // watcher back here.
    void watchLocked(const std::string& path, const ItemIdentity& identity, uint32_t events,
                     Watches& previous);
    void releaseAllLocked();
    void handleEvent(int descriptor, uint32_t mask, const std::string& name);
    void noteChangeLocked(const std::string& observedPath);
    void timerFired();

    std::mutex mutex;
    const std::shared_ptr<DispatchQueue> queue;
    const Handler handler;
    const std::chrono::nanoseconds latency;
    bool alive = true;
    bool suspended = true;
    std::set<std::string> observed;
    // How each observed path was reached when last looked at.
    std::map<std::string, PathRoute> routes;
    Watches held;
    // The paths each descriptor watches here: one inode may be reached by
    // several (hard links, bind mounts).
    std::multimap<int, std::string> heldPaths;
    std::set<std::string> pending;
    std::chrono::steady_clock::time_point lastChange;
    bool timerArmed = false;
};

namespace {

// The process's one inotify instance and the thread that reads it; made on
// first use and kept until exit. A watch descriptor may serve several
// watchers (and, since inotify gives one descriptor per inode, several paths
// of one watcher); it is removed when the last of them lets it go. Its
// events are the union of those its users asked for; each watcher names
// an event's path from its own paths of the descriptor.
class InotifyService {
public:
    static InotifyService& shared() {
        static auto* service = new InotifyService;  // its thread outlives main
        return *service;
    }

    // The descriptor watching `path` for `events` (and what it watched for
    // already), or -1 with errno set. Adding and removing watches take the
    // lock, so a watch one watcher removes is never the one another was
    // just given.
    int acquire(const std::string& path, const std::shared_ptr<FileWatcher::Core>& core,
                uint32_t events) {
        if (fd_ < 0) {
            errno = EBADF;
            return -1;
        }
        std::lock_guard lock(mutex_);
        const int descriptor =
            ::inotify_add_watch(fd_, path.c_str(), events | IN_DONT_FOLLOW | IN_MASK_ADD);
        if (descriptor < 0) return -1;
        auto& [weak, count] = records_[descriptor][core.get()];
        weak = core;
        ++count;
        return descriptor;
    }

    void release(int descriptor, FileWatcher::Core* core) {
        std::lock_guard lock(mutex_);
        auto record = records_.find(descriptor);
        if (record == records_.end()) return;
        auto user = record->second.find(core);
        if (user == record->second.end() || --user->second.second > 0) return;
        record->second.erase(user);
        if (!record->second.empty()) return;
        ::inotify_rm_watch(fd_, descriptor);
        records_.erase(record);
    }

private:
    // The watchers using a descriptor, each with the number of its paths
    // that do.
    using Users = std::map<FileWatcher::Core*, std::pair<std::weak_ptr<FileWatcher::Core>, int>>;

    InotifyService() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ < 0) {
            log("Couldn't watch files for changes: inotify: {}", std::strerror(errno));
            return;
        }
        std::thread([this] { readLoop(); }).detach();
    }

    void readLoop() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            pollfd wait{fd_, POLLIN, 0};
            if (::poll(&wait, 1, -1) < 0) continue;
            const ssize_t length = ::read(fd_, buffer, sizeof buffer);
            if (length <= 0) continue;
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                dispatch(*event);
            }
        }
    }

    // Hands one event to the watchers of its descriptor; none of the
    // service's lock is held while they take it.
    void dispatch(const inotify_event& event) {
        std::vector<std::shared_ptr<FileWatcher::Core>> cores;
        {
            std::lock_guard lock(mutex_);
            if (event.mask & IN_Q_OVERFLOW) {
                // Events were lost: every watcher hears of a change everywhere,
                // once however many watches it holds.
                std::set<FileWatcher::Core*> seen;
                for (auto& [descriptor, users] : records_)
                    for (auto& [key, user] : users)
                        if (auto core = user.first.lock(); core && seen.insert(key).second)
                            cores.push_back(core);
            } else {
                auto record = records_.find(event.wd);
                if (record == records_.end()) return;
                for (auto& [key, user] : record->second)
                    if (auto core = user.first.lock()) cores.push_back(core);
                if (event.mask & IN_IGNORED) records_.erase(record);
            }
        }
        const std::string name = event.len > 0 ? std::string(event.name) : std::string();
        for (const auto& core : cores)
            core->handleEvent(event.wd, event.mask, name);
    }

    const int fd_;
    std::mutex mutex_;
    std::map<int, Users> records_;
};

}  // namespace

void FileWatcher::Core::rewatchLocked(bool reportNewRoutes) {
    Watches previous;
    previous.swap(held);
    std::map<std::string, PathRoute> traced;
    for (const auto& path : observed)
        traced.emplace(path, watchRouteLocked(path, previous));
    for (const auto& [path, watch] : previous)
        InotifyService::shared().release(watch.descriptor, this);
    heldPaths.clear();
    for (const auto& [path, watch] : held)
        heldPaths.emplace(watch.descriptor, path);

    // A path that leads elsewhere now (a folder on the way moved, deleted,
    // made again or opened, a link switched, the item replaced or back) has
    // changed.
    if (reportNewRoutes) {
        for (const auto& [path, route] : traced)
            if (auto before = routes.find(path); before == routes.end() || before->second != route)
                noteChangeLocked(path);
    }
    routes = std::move(traced);
}

PathRoute FileWatcher::Core::watchRouteLocked(const std::string& path, Watches& previous) {
    PathRoute route =
        PathRoute::trace(path, [&](const std::string& folder, const ItemIdentity& identity) {
            watchLocked(folder, identity, kRouteEvents, previous);
        });
    if (!route.end) return route;
    watchLocked(route.end->path, *route.end->identity, kChangeEvents, previous);
    if (!route.endIsFolder) return route;
    // A folder that goes while the tree is walked leaves the others watched.
    walkFolderTree(route.end->path, [&](const std::string& item, const struct stat& info) {
        if (S_ISDIR(info.st_mode))
            watchLocked(item, ItemIdentity::of(info), kChangeEvents, previous);
    });
    return route;
}

void FileWatcher::Core::watchLocked(const std::string& path, const ItemIdentity& identity,
                                    uint32_t events, Watches& previous) {
    auto now = held.find(path);
    if (now != held.end()) {
        if ((now->second.events & events) == events) return;
        events |= now->second.events;
    } else if (auto kept = previous.find(path); kept != previous.end() &&
                                                kept->second.identity == identity &&
                                                (kept->second.events & events) == events) {
        held.insert(previous.extract(kept));
        return;
    }
    const int descriptor = InotifyService::shared().acquire(path, shared_from_this(), events);
    if (descriptor < 0) return;
    if (now != held.end()) {
        InotifyService::shared().release(now->second.descriptor, this);
        now->second = {descriptor, identity, events};
    } else {
        held.emplace(path, HeldWatch{descriptor, identity, events});
    }
}

void FileWatcher::Core::releaseAllLocked() {
    for (const auto& [path, watch] : held)
        InotifyService::shared().release(watch.descriptor, this);
    held.clear();
    heldPaths.clear();
    routes.clear();
}

void FileWatcher::Core::handleEvent(int descriptor, uint32_t mask, const std::string& name) {
    std::lock_guard lock(mutex);
    if (!alive || suspended) return;
    if (mask & IN_Q_OVERFLOW) {
        for (const auto& observedPath : observed)
            noteChangeLocked(observedPath);
        callFollowingPathsHook();
        rewatchLocked(true);
        return;
    }
    // A descriptor let go since the event was handed over says nothing here.
    const auto [first, last] = heldPaths.equal_range(descriptor);
    if (first == last) return;
    bool followPaths = (mask & IN_IGNORED) != 0;
    for (auto entry = first; entry != last; ++entry) {
        const std::string& folder = entry->second;
        const std::string path = name.empty() ? folder : (folder == "/" ? "" : folder) + "/" + name;
        for (const auto& [observedPath, route] : routes) {
            // A mode changed on the way, or of the item, may let the watcher
            // in where it could not look or watch before, or shut it out.
            const bool onTheWay =
                route.passesThrough(path) || (route.end && path == route.end->path);
            if (route.leadsTo(path)) {
                if (mask & kChangeEvents) noteChangeLocked(observedPath);
                if (mask & kStructureEvents) followPaths = true;
            }
            if ((mask & (kStructureEvents | IN_ATTRIB)) && onTheWay) followPaths = true;
        }
    }
    if (mask & IN_IGNORED) {
        // The kernel dropped the watch (its item is gone): forget it here too.
        for (auto it = first; it != last; ++it)
            held.erase(it->second);
        heldPaths.erase(first, last);
    }
    if (!followPaths) return;
    callFollowingPathsHook();
    rewatchLocked(true);
}

void FileWatcher::Core::noteChangeLocked(const std::string& observedPath) {
    pending.insert(observedPath);
    lastChange = std::chrono::steady_clock::now();
    if (timerArmed) return;
    timerArmed = true;
    scheduleAfter(latency, [weak = weak_from_this()] {
        if (auto core = weak.lock()) core->timerFired();
    });
}

void FileWatcher::Core::timerFired() {
    std::set<std::string> changed;
    {
        std::lock_guard lock(mutex);
        if (!alive || suspended || pending.empty()) {
            timerArmed = false;
            return;
        }
        const auto quiet = std::chrono::steady_clock::now() - lastChange;
        if (quiet < latency) {
            scheduleAfter(latency - quiet, [weak = weak_from_this()] {
                if (auto core = weak.lock()) core->timerFired();
            });
            return;
        }
        timerArmed = false;
        changed.swap(pending);
    }
    queue->async([weak = weak_from_this(), changed = std::move(changed)] {
        auto core = weak.lock();
        if (!core) return;
        {
            std::lock_guard lock(core->mutex);
            if (!core->alive) return;
        }
        core->handler(changed);
    });
}

FileWatcher::FileWatcher(std::shared_ptr<DispatchQueue> queue, Handler handler,
                         std::chrono::nanoseconds latency)
    : core_(std::make_shared<Core>(std::move(queue), std::move(handler), latency)) {}

FileWatcher::~FileWatcher() {
    std::lock_guard lock(core_->mutex);
    core_->alive = false;
    core_->releaseAllLocked();
}

void FileWatcher::setWatchedPaths(const std::set<std::string>& paths) {
    std::set<std::string> normal;
    for (const auto& path : paths)
        normal.insert(normalised(path));
    std::lock_guard lock(core_->mutex);
    core_->observed = std::move(normal);
    if (!core_->suspended) core_->rewatchLocked(false);
}

std::set<std::string> FileWatcher::watchedPaths() const {
    std::lock_guard lock(core_->mutex);
    return core_->observed;
}

void FileWatcher::setSuspended(bool suspended) {
    std::lock_guard lock(core_->mutex);
    if (core_->suspended == suspended) return;
    core_->suspended = suspended;
    if (suspended) {
        core_->releaseAllLocked();
        core_->pending.clear();
    } else {
        core_->rewatchLocked(false);
    }
}

bool FileWatcher::isSuspended() const {
    std::lock_guard lock(core_->mutex);
    return core_->suspended;
}

void FileWatcher::setFollowingPathsHookForTesting(std::function<void()> hook) {
    followingPathsHook().set(std::move(hook));
}

}  // namespace lf
