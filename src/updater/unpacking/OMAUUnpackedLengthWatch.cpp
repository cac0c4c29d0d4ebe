#include "updater/unpacking/OMAUUnpackedLengthWatch.h"

#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUFolderWalk.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Every write reports IN_MODIFY; a file or folder that appears or goes, the
// others. A folder moved away keeps its files counted: the count may only
// err upwards. A folder is watched through its descriptor's name under
// /proc/self/fd, which leads to that very folder.
constexpr uint32_t kChanges =
    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ONLYDIR;

// How often a folder the tool keeps unreadable is opened to be watched
// before it is left to the count that follows the tool.
constexpr int kWatchAttempts = 4;

// What the watch passes over: a folder gone, or no folder (a link) by now,
// or one the tool keeps closed however often it is opened to its owner,
// which the count that follows the tool sees into.
bool leftToTheCount(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP || error == EACCES;
}

}  // namespace

lf::Result<OMAUUnpackedLengthWatch> OMAUUnpackedLengthWatch::start(
    const fs::path& folder, const OMAUUnpackingLimits& limits) {
    lf::FileDescriptor inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify.isOpen()) return lf::Error::posix(errno, "watch the unpacking");
    lf::FileDescriptor root(
        ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!root.isOpen()) return lf::Error::posix(errno, "watch the unpacking");
    OMAUUnpackedLengthWatch watch(std::move(inotify), std::move(root), limits);
    LF_TRY(watch.watchTree(OMAUFolderIndex::kRoot, watch.folders_.root()));
    return watch;
}

OMAUUnpackedSize OMAUUnpackedLengthWatch::size() const {
    // Every folder watched counts, also one that went again.
    return {total_, std::max<uint64_t>(entries_.size(), folders_.size() - 1), depth_};
}

lf::Result<OMAUUnpackedSize> OMAUUnpackedLengthWatch::update() {
    alignas(inotify_event) char buffer[64 * 1024];
    while (withinLimits()) {
        const ssize_t length = ::read(inotify_.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0 && errno == EAGAIN) break;
        if (length <= 0)
            return lf::Error::posix(length < 0 ? errno : EIO, "read the unpacking's watch");
        for (ssize_t at = 0; at < length;) {
            const auto* change = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + change->len);
            if (changeHook_ && change->len > 0) changeHook_(change->name);
            LF_TRY(handle(*change));
            if (!withinLimits()) break;
        }
    }
    return size();
}

lf::Status OMAUUnpackedLengthWatch::handle(const inotify_event& change) {
    if (change.mask & IN_Q_OVERFLOW) return rescan();
    if (change.mask & IN_IGNORED) {
        watches_.erase(change.wd);
        return {};
    }
    const auto watched = watches_.find(change.wd);
    if (watched == watches_.end() || change.len == 0) return {};
    const uint32_t folder = watched->second;
    if (change.mask & (IN_DELETE | IN_MOVED_FROM))
        forget(folder, change.name);
    else if (!(change.mask & IN_ISDIR))
        examine(folder, change.name);
    else if (change.mask & (IN_CREATE | IN_MOVED_TO))
        return watchFolder(folder, change.name);
    return {};
}

lf::Status OMAUUnpackedLengthWatch::watchFolder(uint32_t parent, const char* name) {
    note(parent, name, 0);
    depth_ = std::max<uint64_t>(depth_, folders_.depth(parent) + 1);
    if (!withinLimits()) return {};
    const int above = folders_.open(parent);
    // Gone, or no longer the folder watched: nothing of the tree to count.
    if (above < 0) return {};
    lf::FileDescriptor opened = OMAUEnterFolder(above, name);
    struct stat status {};
    if (!opened.isOpen() || ::fstat(opened.get(), &status) != 0) {
        // Gone again, or no folder (a link) by now, or kept closed.
        if (leftToTheCount(errno)) return {};
        return lf::Error::posix(errno, "watch the unpacked " + folders_.pathOf(parent, name));
    }
    return watchTree(indexOf(parent, name, status), opened.get());
}

uint32_t OMAUUnpackedLengthWatch::indexOf(uint32_t parent, std::string_view name,
                                          const struct stat& status) {
    Entry& entry = note(parent, name, 0);
    if (entry.folder == OMAUFolderIndex::kRoot || !folders_.isFolder(entry.folder, status))
        entry.folder = folders_.add(parent, std::string(name), status);
    return entry.folder;
}

lf::Status OMAUUnpackedLengthWatch::watchTree(uint32_t folder, int opened) {
    LF_TRY(addWatch(folder, opened));
    // What was written before the watch began.
    std::vector<uint32_t> within = {folder};
    OMAUFolderVisitor visitor;
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        const bool isFolder = S_ISDIR(entry.status.st_mode);
        note(within.back(), entry.name,
             S_ISREG(entry.status.st_mode) ? static_cast<uint64_t>(entry.status.st_size) : 0);
        if (isFolder) depth_ = std::max<uint64_t>(depth_, folders_.depth(within.back()) + 1);
        return isFolder && withinLimits();
    };
    visitor.enter = [&](const OMAUWalkEntry& entry, int entered) -> lf::Status {
        within.push_back(indexOf(within.back(), entry.name, entry.status));
        return addWatch(within.back(), entered);
    };
    visitor.leave = [&](const OMAUWalkEntry&) -> lf::Status {
        within.pop_back();
        return {};
    };
    lf::Status walked =
        OMAUWalkFolder(opened, visitor,
                       folder == OMAUFolderIndex::kRoot ? std::string() : folders_.pathOf(folder));
    if (!walked && walked.error().is(lf::kPOSIXErrorDomain, EACCES)) return {};
    return walked;
}

lf::Status OMAUUnpackedLengthWatch::addWatch(uint32_t folder, int opened) {
    const std::string path = fmt::format("/proc/self/fd/{}", opened);
    int watch = ::inotify_add_watch(inotify_.get(), path.c_str(), kChanges);
    // A watch needs read permission, which a tool may take away again as it
    // gives the folder its own mode once it has filled it (tar does).
    for (int attempt = 0;
         watch < 0 && errno == EACCES && attempt < kWatchAttempts && OMAUOpenToOwner(opened);
         ++attempt)
        watch = ::inotify_add_watch(inotify_.get(), path.c_str(), kChanges);
    if (watch >= 0) {
        watches_[watch] = folder;
        return {};
    }
    if (errno == EACCES) return {};
    return lf::Error::posix(errno, folder == OMAUFolderIndex::kRoot
                                       ? std::string("watch the unpacking")
                                       : "watch the unpacked " + folders_.pathOf(folder));
}

void OMAUUnpackedLengthWatch::examine(uint32_t folder, const char* name) {
    const int opened = folders_.open(folder);
    struct stat status {};
    // What cannot be examined keeps the length last seen; only what is
    // gone is forgotten.
    if (opened < 0) return;
    if (!OMAUExamineEntry(opened, name, status)) {
        if (errno == ENOENT) forget(folder, name);
        return;
    }
    note(folder, name, S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 0);
}

OMAUUnpackedLengthWatch::Entry& OMAUUnpackedLengthWatch::note(uint32_t folder,
                                                              std::string_view name,
                                                              uint64_t length) {
    auto known = entries_.find(OMAUEntryKeyView(folder, name));
    if (known == entries_.end())
        known = entries_.emplace(OMAUEntryKey{folder, std::string(name)}, Entry()).first;
    total_ = total_ - known->second.length + length;
    known->second.length = length;
    return known->second;
}

void OMAUUnpackedLengthWatch::forget(uint32_t folder, std::string_view name) {
    const auto known = entries_.find(OMAUEntryKeyView(folder, name));
    if (known == entries_.end()) return;
    total_ -= known->second.length;
    entries_.erase(known);
}

lf::Status OMAUUnpackedLengthWatch::rescan() {
    entries_.clear();
    watches_.clear();
    folders_.clear();
    total_ = 0;
    depth_ = 0;
    return watchTree(OMAUFolderIndex::kRoot, folders_.root());
}
