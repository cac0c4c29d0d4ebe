#include "platform/writing/LeftoverTemporaries.h"

#include "platform/files/FileDescriptor.h"
#include "platform/writing/FolderLock.h"
#include "platform/writing/HiddenName.h"
#include "platform/writing/TemporaryFile.h"
#include "platform/writing/TemporaryName.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {
namespace {

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
// waits for more than one target's removals, and it is not held between
// them: a set may stage into many folders.
void LeftoverTemporaries::removeNewContentsOf(const std::string& target) const {
    // Named, so that the lock is held through the removals and not only
    // while the condition is tested.
    const Result<FolderLock> held = FolderLock::take(folder_, FolderLock::Wait::Never);
    if (held) removeLeftovers(target, TemporaryRole::NewContents);
}

void LeftoverTemporaries::removeReplacedFilesOf(const std::string& target) const {
    removeLeftovers(target, TemporaryRole::ReplacedFile);
}

void LeftoverTemporaries::removeLeftovers(const std::string& target, TemporaryRole role) const {
    auto found = namesByPrefix_.find(temporaryNamePrefix(nameOfPath(target), role, longestName_));
    if (found == namesByPrefix_.end()) return;
    for (const std::string& leftover : found->second)
        removeIfAbandoned(folder_ + "/" + leftover);
}

}  // namespace lf
