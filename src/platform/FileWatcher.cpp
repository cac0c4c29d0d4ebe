#include "platform/FileWatcher.h"

#include "platform/DispatchTimer.h"
#include "platform/Log.h"

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

constexpr uint32_t kChangeEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// Events after which the set of watches may have to change.
constexpr uint32_t kStructureEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

bool isInside(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    if (folder == "/") return path.size() > 1 && path[0] == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

std::string parentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || path == "/") return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string normalised(const std::string& path) {
    std::error_code error;
    std::string normal = std::filesystem::absolute(path, error).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

}  // namespace

struct FileWatcher::Core : std::enable_shared_from_this<Core> {
    struct HeldWatch {
        int descriptor;
        dev_t device;
        ino_t inode;
    };

    Core(std::shared_ptr<DispatchQueue> queue, Handler handler, std::chrono::nanoseconds latency)
        : queue(std::move(queue)), handler(std::move(handler)), latency(latency) {}

    void rewatchLocked();
    void releaseAllLocked();
    void handleEvent(const std::string& path, uint32_t mask, int descriptor);
    void noteChangeLocked(const std::string& observedPath);
    void timerFired();

    std::mutex mutex;
    const std::shared_ptr<DispatchQueue> queue;
    const Handler handler;
    const std::chrono::nanoseconds latency;
    bool alive = true;
    bool suspended = true;
    std::set<std::string> observed;
    std::map<std::string, HeldWatch> held;  // by watched path
    std::set<std::string> pending;
    std::chrono::steady_clock::time_point lastChange;
    bool timerArmed = false;
};

namespace {

// The process's one inotify instance and the thread that reads it; made on
// first use and kept until exit. A watch descriptor may serve several
// watchers (and, since inotify gives one descriptor per inode, several paths
// of one watcher); it is removed when the last of them lets it go.
class InotifyService {
public:
    static InotifyService& shared() {
        static auto* service = new InotifyService;  // its thread outlives main
        return *service;
    }

    // The descriptor watching `path`, or -1 with errno set.
    int acquire(const std::string& path, const std::shared_ptr<FileWatcher::Core>& core) {
        if (fd_ < 0) {
            errno = EBADF;
            return -1;
        }
        const int descriptor =
            ::inotify_add_watch(fd_, path.c_str(), kChangeEvents | IN_DONT_FOLLOW);
        if (descriptor < 0) return -1;
        std::lock_guard lock(mutex_);
        Record& record = records_[descriptor];
        if (record.path.empty()) record.path = path;
        auto& [weak, count] = record.users[core.get()];
        weak = core;
        ++count;
        return descriptor;
    }

    void release(int descriptor, FileWatcher::Core* core) {
        std::lock_guard lock(mutex_);
        auto record = records_.find(descriptor);
        if (record == records_.end()) return;
        auto user = record->second.users.find(core);
        if (user == record->second.users.end() || --user->second.second > 0) return;
        record->second.users.erase(user);
        if (!record->second.users.empty()) return;
        ::inotify_rm_watch(fd_, descriptor);
        records_.erase(record);
    }

private:
    struct Record {
        std::string path;
        std::map<FileWatcher::Core*, std::pair<std::weak_ptr<FileWatcher::Core>, int>> users;
    };

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
        std::string path;
        {
            std::lock_guard lock(mutex_);
            if (event.mask & IN_Q_OVERFLOW) {
                // Events were lost: every watcher hears of a change everywhere,
                // once however many watches it holds.
                std::set<FileWatcher::Core*> seen;
                for (auto& [descriptor, record] : records_)
                    for (auto& [key, user] : record.users)
                        if (auto core = user.first.lock(); core && seen.insert(key).second)
                            cores.push_back(core);
            } else {
                auto record = records_.find(event.wd);
                if (record == records_.end()) return;
                path = record->second.path;
                if (event.len > 0 && event.name[0] != '\0') {
                    if (path != "/") path += '/';
                    path += event.name;
                }
                for (auto& [key, user] : record->second.users)
                    if (auto core = user.first.lock()) cores.push_back(core);
                if (event.mask & IN_IGNORED) records_.erase(record);
            }
        }
        for (const auto& core : cores)
            core->handleEvent(path, event.mask, event.wd);
    }

    const int fd_;
    std::mutex mutex_;
    std::map<int, Record> records_;
};

}  // namespace

void FileWatcher::Core::rewatchLocked() {
    // The paths that need a watch: each watched path, its parent folder, and
    // every folder below a watched folder, links not followed.
    std::map<std::string, struct stat> wanted;
    auto want = [&](const std::string& path) {
        struct stat info {};
        if (!path.empty() && ::lstat(path.c_str(), &info) == 0) wanted.emplace(path, info);
        return info;
    };
    for (const auto& path : observed) {
        want(parentOf(path));
        if (!S_ISDIR(want(path).st_mode)) continue;
        std::error_code error;
        auto options = std::filesystem::directory_options::skip_permission_denied;
        for (std::filesystem::recursive_directory_iterator it(path, options, error), end;
             !error && it != end; it.increment(error)) {
            if (it->is_directory(error) && !it->is_symlink(error)) want(it->path().string());
        }
    }

    auto self = shared_from_this();
    for (auto it = held.begin(); it != held.end();) {
        auto now = wanted.find(it->first);
        const bool same = now != wanted.end() && now->second.st_dev == it->second.device &&
                          now->second.st_ino == it->second.inode;
        if (same) {
            ++it;
            continue;
        }
        InotifyService::shared().release(it->second.descriptor, this);
        it = held.erase(it);
    }
    for (const auto& [path, info] : wanted) {
        if (held.count(path)) continue;
        const int descriptor = InotifyService::shared().acquire(path, self);
        if (descriptor >= 0) held.emplace(path, HeldWatch{descriptor, info.st_dev, info.st_ino});
    }
}

void FileWatcher::Core::releaseAllLocked() {
    for (const auto& [path, watch] : held)
        InotifyService::shared().release(watch.descriptor, this);
    held.clear();
}

void FileWatcher::Core::handleEvent(const std::string& path, uint32_t mask, int descriptor) {
    std::lock_guard lock(mutex);
    if (!alive || suspended) return;
    bool matched = false;
    if (mask & IN_Q_OVERFLOW) {
        for (const auto& observedPath : observed)
            noteChangeLocked(observedPath);
        matched = true;
    } else if (mask & kChangeEvents) {
        for (const auto& observedPath : observed) {
            if (!isInside(path, observedPath)) continue;
            noteChangeLocked(observedPath);
            matched = true;
        }
    }
    if (mask & IN_IGNORED) {
        // The kernel dropped the watch (its item is gone): forget it here too.
        for (auto it = held.begin(); it != held.end(); ++it) {
            if (it->second.descriptor != descriptor) continue;
            held.erase(it);
            break;
        }
    }
    if ((mask & IN_IGNORED) || (matched && (mask & (kStructureEvents | IN_Q_OVERFLOW))))
        rewatchLocked();
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
    if (!core_->suspended) core_->rewatchLocked();
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
        core_->rewatchLocked();
    }
}

bool FileWatcher::isSuspended() const {
    std::lock_guard lock(core_->mutex);
    return core_->suspended;
}

}  // namespace lf
