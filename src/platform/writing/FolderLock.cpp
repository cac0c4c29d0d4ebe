#include "platform/writing/FolderLock.h"

#include "platform/core/Log.h"
#include "platform/core/TestHook.h"
#include "platform/files/PathRefusal.h"
#include "platform/files/UserRuntimeFolder.h"
#include "platform/writing/TemporaryFile.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <compare>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lf {
namespace {

// A folder by its device and inode, which name its lock file.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FolderIdentity&) const = default;
};

struct WaitPlace;

TestHook<void()>& waitHook() {
    return sharedTestHook<WaitPlace, void()>();
}

void runWaitHook() {
    if (const auto hook = waitHook().get()) (*hook)();
}

Result<FolderIdentity> identityOf(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return Error::posix(errno, "find the folder " + folder);
    return FolderIdentity{info.st_dev, info.st_ino};
}

std::string lockFileOf(const std::string& runtimeFolder, FolderIdentity folder) {
    return fmt::format("{}/folder-{}-{}.lock", runtimeFolder, folder.device, folder.inode);
}

// The lock file at `path`, made when missing. Opened without waiting and
// without following a link: whatever stands at the name (a FIFO, whose
// open would wait for a writer that may never come, a link) is no lock.
Result<FileDescriptor> openLockFile(const std::string& path) {
    FileDescriptor file(::open(
        path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!file.isOpen()) return Error::posix(errno, "open the lock file " + path);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return Error::posix(errno, "open the lock file " + path);
    if (!S_ISREG(info.st_mode)) return PathRefusal::notAFileOrFolder(info.st_mode).error(path);
    return file;
}

int flockRetried(int fd, int operation) {
    int locked;
    do {
        locked = ::flock(fd, operation);
    } while (locked != 0 && errno == EINTR);
    return locked == 0 ? 0 : errno;
}

}  // namespace

FolderLock::FolderLock(std::string path, FileDescriptor file)
    : path_(std::move(path)), file_(std::move(file)) {}

Result<FolderLock> FolderLock::take(const std::string& folder, Wait wait) {
    auto identity = identityOf(folder);
    if (!identity) return identity.error();
    auto runtime = userRuntimeFolder();
    if (!runtime) return runtime.error();
    return lockFile(lockFileOf(*runtime, *identity), folder, wait);
}

// A holder that let go before this one locked may have removed the file
// it waited on: then the lock is taken again on the file there now.
Result<FolderLock> FolderLock::lockFile(const std::string& path, const std::string& folder,
                                        Wait wait) {
    for (;;) {
        Result<FileDescriptor> file = openLockFile(path);
        if (!file) return file.error();
        int error = flockRetried(file->get(), LOCK_EX | LOCK_NB);
        if (error == EWOULDBLOCK && wait == Wait::UntilFree) {
            runWaitHook();
            error = flockRetried(file->get(), LOCK_EX);
        }
        if (error != 0) return Error::posix(error, "lock the folder " + folder);
        if (fileHasName(file->get(), path)) return FolderLock(path, std::move(*file));
    }
}

// Removed while still held, so that a process waiting on it finds it
// gone once it gets it (see take).
FolderLock::~FolderLock() {
    if (file_.isOpen()) ::unlink(path_.c_str());
}

void FolderLock::setWaitHookForTesting(std::function<void()> hook) {
    waitHook().set(std::move(hook));
}

std::optional<std::vector<FolderLock>> takeFolderLocks(const std::vector<std::string>& folders) {
    std::vector<std::pair<FolderIdentity, std::string>> ordered;
    for (const std::string& folder : folders)
        if (auto identity = identityOf(folder)) ordered.emplace_back(*identity, folder);
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  ordered.end());
    std::vector<FolderLock> held;
    if (ordered.empty()) return held;
    auto runtime = userRuntimeFolder();
    for (const auto& [identity, folder] : ordered) {
        auto lock = runtime ? FolderLock::lockFile(lockFileOf(*runtime, identity), folder,
                                                   FolderLock::Wait::UntilFree)
                            : Result<FolderLock>(runtime.error());
        if (!lock) {
            lf::log("Writing into {} unordered with other processes: {}", folder,
                    describe(lock.error()));
            return std::nullopt;
        }
        held.push_back(std::move(*lock));
    }
    return held;
}

}  // namespace lf
