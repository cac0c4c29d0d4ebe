#include "updater/OMAUUnpackedLengthWatch.h"

#include "updater/OMAUFolderAccess.h"

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

// How often a folder the tool keeps unreadable is opened before the
// unpacking is refused.
constexpr int kOpeningAttempts = 4;

}  // namespace

lf::Result<OMAUUnpackedLengthWatch> OMAUUnpackedLengthWatch::start(const fs::path& folder,
                                                                   uint64_t maximumEntries) {
    const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify < 0) return lf::Error::posix(errno, "watch the unpacking");
    OMAUUnpackedLengthWatch watch(lf::FileDescriptor(inotify), folder, maximumEntries);
    LF_TRY(watch.watchFolder(folder));
    return watch;
}

lf::Status OMAUUnpackedLengthWatch::watchFolder(const fs::path& folder) {
    if (folder != root_) note(folder, 0);
    if (full()) return {};
    auto addWatch = [&] { return ::inotify_add_watch(inotify_.get(), folder.c_str(), kChanges); };
    int watch = addWatch();
    // A watch needs read permission, which a tool may take away again as it
    // gives the folder its own mode once it has filled it (tar does).
    for (int attempt = 0; watch < 0 && errno == EACCES && attempt < kOpeningAttempts &&
                          OMAUOpenFolderToOwner(folder);
         ++attempt)
        watch = addWatch();
    if (watch < 0) {
        // Gone again, or no folder (a link) by now: nothing to count there.
        if (errno == ENOENT || errno == ENOTDIR) return {};
        return lf::Error::posix(
            errno, folder == root_
                       ? std::string("watch the unpacking")
                       : "watch the unpacked " + folder.lexically_relative(root_).string());
    }
    folders_[watch] = folder;
    // What was written before the watch began.
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end && !full();
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
    if (::lstat(path.c_str(), &status) != 0) return forget(path);
    note(path, S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 0);
}

void OMAUUnpackedLengthWatch::note(const fs::path& path, uint64_t length) {
    uint64_t& known = lengths_[path.native()];
    total_ = total_ - known + length;
    known = length;
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

lf::Result<OMAUUnpackedSize> OMAUUnpackedLengthWatch::update() {
    alignas(inotify_event) char buffer[64 * 1024];
    while (!full()) {
        const ssize_t length = ::read(inotify_.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0 && errno == EAGAIN) break;
        if (length <= 0)
            return lf::Error::posix(length < 0 ? errno : EIO, "read the unpacking's watch");
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
    return size();
}
