#include "updater/OMAUUnpackedLengthWatch.h"

#include <cerrno>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Every write reports IN_MODIFY; a file or folder that appears or goes, the
// others. A folder moved away keeps its files counted: the count may only
// err upwards.
constexpr uint32_t kChanges = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM |
                              IN_DELETE | IN_ONLYDIR | IN_DONT_FOLLOW;

}  // namespace

lf::Result<OMAUUnpackedLengthWatch> OMAUUnpackedLengthWatch::start(const fs::path& folder) {
    const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify < 0) return lf::Error::posix(errno, "watch " + folder.string());
    OMAUUnpackedLengthWatch watch(lf::FileDescriptor(inotify), folder);
    LF_TRY(watch.watchFolder(folder));
    return watch;
}

lf::Status OMAUUnpackedLengthWatch::watchFolder(const fs::path& folder) {
    const int watch = ::inotify_add_watch(inotify_.get(), folder.c_str(), kChanges);
    if (watch < 0) {
        // Gone again, or no folder (a link) by now: nothing to count there.
        if (errno == ENOENT || errno == ENOTDIR) return {};
        return lf::Error::posix(errno, "watch " + folder.string());
    }
    folders_[watch] = folder;
    // What was written before the watch began.
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->symlink_status(error).type() == fs::file_type::directory)
            LF_TRY(watchFolder(entry->path()));
        else
            examine(entry->path());
    }
    return {};
}

void OMAUUnpackedLengthWatch::examine(const fs::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return forget(path);
    uint64_t& length = lengths_[path.native()];
    total_ = total_ - length + static_cast<uint64_t>(status.st_size);
    length = static_cast<uint64_t>(status.st_size);
}

void OMAUUnpackedLengthWatch::forget(const fs::path& path) {
    const auto known = lengths_.find(path.native());
    if (known == lengths_.end()) return;
    total_ -= known->second;
    lengths_.erase(known);
}

lf::Status OMAUUnpackedLengthWatch::rescan() {
    lengths_.clear();
    total_ = 0;
    return watchFolder(root_);
}

lf::Result<uint64_t> OMAUUnpackedLengthWatch::update() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(inotify_.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0 && errno == EAGAIN) return total_;
        if (length <= 0)
            return lf::Error::posix(length < 0 ? errno : EIO,
                                    "read the watch of " + root_.string());
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                LF_TRY(rescan());
                continue;
            }
            if (event->mask & IN_IGNORED) {
                folders_.erase(event->wd);
                continue;
            }
            const auto folder = folders_.find(event->wd);
            if (folder == folders_.end() || event->len == 0) continue;
            const fs::path path = folder->second / event->name;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                forget(path);
            else if (!(event->mask & IN_ISDIR))
                examine(path);
            else if (event->mask & (IN_CREATE | IN_MOVED_TO))
                LF_TRY(watchFolder(path));
        }
    }
}
