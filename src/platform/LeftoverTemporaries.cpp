#include "platform/LeftoverTemporaries.h"

#include "platform/FileDescriptor.h"
#include "platform/HiddenName.h"
#include "platform/TemporaryFile.h"
#include "platform/TemporaryName.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {
namespace {

// What stands at a target while its leftovers are removed.
struct TargetHold {
    enum class State { Missing, Held, Busy } state = State::Missing;
    FileDescriptor file;
    struct stat identity {};
};

// A regular file at the target is locked for the hold's life; one that is
// locked already (a commit's new contents), or that cannot be opened, is
// busy: then nobody can tell what its hidden names hold. Anything else (a
// link, a folder) is no file that a commit could lose, so it counts as
// missing. Opened without waiting, and only once known to be a file.
TargetHold holdTarget(const std::string& target) {
    TargetHold hold;
    struct stat named {};
    if (::lstat(target.c_str(), &named) != 0) {
        if (errno != ENOENT) hold.state = TargetHold::State::Busy;
        return hold;
    }
    if (!S_ISREG(named.st_mode)) return hold;
    hold.state = TargetHold::State::Busy;
    hold.file = FileDescriptor(
        ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!hold.file.isOpen() || ::fstat(hold.file.get(), &hold.identity) != 0 ||
        !S_ISREG(hold.identity.st_mode) || ::flock(hold.file.get(), LOCK_EX | LOCK_NB) != 0)
        return hold;
    hold.state = TargetHold::State::Held;
    return hold;
}

// Only a plain file that nobody holds is removed, and never the file that
// the hold has: it was at the target a moment ago, and a commit may have
// moved it aside since.
void removeIfAbandoned(const std::string& leftover, const TargetHold& hold) {
    FileDescriptor file(
        ::open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (hold.state == TargetHold::State::Held && info.st_dev == hold.identity.st_dev &&
        info.st_ino == hold.identity.st_ino)
        return;
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

void LeftoverTemporaries::removeThoseOf(const std::string& target) const {
    const TargetHold hold = holdTarget(target);
    if (hold.state == TargetHold::State::Busy) return;
    const std::string name = nameOfPath(target);
    const auto removeNamed = [&](TemporaryRole role) {
        auto found = namesByPrefix_.find(temporaryNamePrefix(name, role, longestName_));
        if (found == namesByPrefix_.end()) return;
        for (const std::string& leftover : found->second)
            removeIfAbandoned(folder_ + "/" + leftover, hold);
    };
    removeNamed(TemporaryRole::NewContents);
    if (hold.state == TargetHold::State::Held) removeNamed(TemporaryRole::ReplacedFile);
}

}  // namespace lf
