#include "platform/writing/LeftoverTemporaries.h"

#include "platform/writing/HiddenName.h"
#include "platform/writing/TemporaryFile.h"
#include "platform/writing/TemporaryName.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {
namespace {

FileDescriptor openFolder(const std::string& folder) {
    return FileDescriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Opened without waiting, and only a plain file that nobody holds is
// removed: whatever else bears such a name is not ours, and a locked file
// has a live writer.
void removeIfAbandoned(const std::string& leftover) {
    FileDescriptor file(
        ::open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return;
    if (fileHasName(file.get(), leftover)) ::unlink(leftover.c_str());
}

}  // namespace

LeftoverTemporaries::LeftoverTemporaries(const std::string& folder)
    : folder_(folder), longestName_(longestNameIn(folder)) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        if (auto prefix = temporaryPrefixOf(name))
            namesByPrefix_[std::string(*prefix)].push_back(std::move(name));
    }
}

// The folder's lock is taken for each target, so that a commit never
// waits for more than one target's removals, and the folder is not held
// open between them: a set may stage into many folders.
void LeftoverTemporaries::removeThoseOf(const std::string& target) const {
    const FileDescriptor opened = openFolder(folder_);
    if (!opened.isOpen() || ::flock(opened.get(), LOCK_EX | LOCK_NB) != 0) return;
    const std::string name = nameOfPath(target);
    for (TemporaryRole role : {TemporaryRole::NewContents, TemporaryRole::ReplacedFile}) {
        auto found = namesByPrefix_.find(temporaryNamePrefix(name, role, longestName_));
        if (found == namesByPrefix_.end()) continue;
        for (const std::string& leftover : found->second)
            removeIfAbandoned(folder_ + "/" + leftover);
    }
}

FolderMoveLock::FolderMoveLock(const std::string& folder) : folder_(openFolder(folder)) {
    if (!folder_.isOpen()) return;
    while (::flock(folder_.get(), LOCK_SH) != 0 && errno == EINTR) {
    }
}

}  // namespace lf
