#include "updater/walks/OMAUFolderCursor.h"

#include "updater/walks/OMAUFolderAccess.h"

#include <cerrno>
#include <fcntl.h>

namespace {

bool sameFolder(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Why the way back to `path` failed: it vanished, or another entry stands
// under its name, since the cursor came that way.
lf::Error wayBackFailed(int reason, const std::string& path) {
    const char* happened = reason == ENOENT                                           ? "vanished"
                           : reason == ENOTDIR || reason == ELOOP || reason == ESTALE ? "changed"
                                                                                      : nullptr;
    if (!happened) return lf::Error::posix(reason, "return to " + path);
    return lf::Error(
        lf::kPOSIXErrorDomain, reason,
        {{lf::kLocalizedDescriptionKey, path + " " + happened + " while the update was read"}});
}

}  // namespace

OMAUFolderCursor::OMAUFolderCursor(int root, std::string rootPath)
    : root_(root), rootPath_(std::move(rootPath)) {
    Step top{{}, {}};
    if (::fstat(root, &top.status) != 0) top.status = {};
    path_.push_back(std::move(top));
}

std::string OMAUFolderCursor::pathOf(std::string_view name, size_t depth) const {
    std::string path;
    auto append = [&](std::string_view component) {
        if (!path.empty() && !component.empty()) path.push_back('/');
        path.append(component);
    };
    append(rootPath_);
    for (size_t i = 1; i <= depth && i < path_.size(); ++i)
        append(path_[i].name);
    append(name);
    return path.empty() ? std::string(".") : path;
}

lf::Status OMAUFolderCursor::down(const std::string& name) {
    lf::FileDescriptor folder = OMAUEnterFolder(descriptor(), name.c_str());
    Step step{name, {}};
    if (!folder.isOpen() || ::fstat(folder.get(), &step.status) != 0)
        return lf::Error::posix(errno, "open " + pathOf(name));
    path_.push_back(std::move(step));
    current_ = std::move(folder);
    return {};
}

lf::Status OMAUFolderCursor::up() {
    if (path_.size() == 1) return {};
    path_.pop_back();
    if (path_.size() == 1) {
        current_ = lf::FileDescriptor();
        return {};
    }
    lf::FileDescriptor above(
        ::openat(current_.get(), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (above.isOpen() && ::fstat(above.get(), &status) == 0 &&
        sameFolder(status, this->status())) {
        current_ = std::move(above);
        return {};
    }
    // Moved, or its owner can no longer search it.
    size_t failed = 0;
    if (!reopenFromRoot(failed)) {
        const int reason = errno;
        return wayBackFailed(reason, pathOf(path_[failed].name, failed - 1));
    }
    return {};
}

bool OMAUFolderCursor::reopenFromRoot(size_t& failed) {
    lf::FileDescriptor at;
    for (failed = 1; failed < path_.size(); ++failed) {
        at = OMAUEnterFolder(at.isOpen() ? at.get() : root_, path_[failed].name.c_str());
        if (!at.isOpen()) return false;
    }
    failed = path_.size() - 1;
    struct stat status {};
    if (::fstat(at.get(), &status) != 0) return false;
    if (!sameFolder(status, this->status())) {
        errno = ESTALE;
        return false;
    }
    current_ = std::move(at);
    return true;
}
