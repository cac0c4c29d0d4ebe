#pragma once
// FolderLock: what orders this user's writes into one folder, across all
// of this user's processes. A commit holds the lock of every folder it
// moves files in, from before its first move until its moves (or the
// putting back after a failed one) are done (see AtomicFileSet), so that
// two commits into one folder take turns, and the leftovers of earlier
// writes are removed only by a write that holds it (see
// LeftoverTemporaries).
//
// The lock is an exclusive flock on a lock file in the user's private
// runtime folder (see userRuntimeFolder), named by the folder's device
// and inode: a path that leads to the folder another way shares it. Only
// this user's processes can open it, so no other user or program can
// hold up a write by locking the folder, or anything in it. The holder
// removes the lock file as it lets go, so that folders written once leave
// nothing behind; a process that waits on the removed file finds it gone
// and locks the one there now. The file of a holder that was killed stays
// for the next holder. Whatever else stands at its name (a FIFO, a link)
// is no lock, and is never waited on.
//
// A lock is held by one thread; any thread may take one.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lf {

class FolderLock {
public:
    enum class Wait {
        // For the process that holds it, which only a write of this user's
        // does, and for a short while: a commit's moves.
        UntilFree,
        // Not at all: a lock that is held is not taken.
        Never,
    };

    // The lock of `folder`. A POSIX error: EWOULDBLOCK when another holds
    // it and `wait` is Never; else why the lock file cannot be had (the
    // folder is not found, or the user has no private runtime folder).
    static Result<FolderLock> take(const std::string& folder, Wait wait);

    FolderLock(FolderLock&&) noexcept = default;
    FolderLock& operator=(FolderLock&&) = delete;
    // Removes the lock file, then lets go.
    ~FolderLock();

    // Tests see through this when a take has to wait for another holder:
    // `hook` runs then, before the take waits, on the taking thread.
    static void setWaitHookForTesting(std::function<void()> hook);

private:
    friend std::optional<std::vector<FolderLock>> takeFolderLocks(
        const std::vector<std::string>& folders);
    FolderLock(std::string path, FileDescriptor file);
    // Locks the lock file at `path`, the one of `folder`.
    static Result<FolderLock> lockFile(const std::string& path, const std::string& folder,
                                       Wait wait);

    std::string path_;
    FileDescriptor file_;
};

// The locks of `folders`, each taken once however many paths lead to it,
// waiting for their holders: in the order of their device and inode, so
// that two writes into some of the same folders never hold one each and
// wait for the other's. A folder that is not found is left out. None when
// a lock cannot be had: the write then goes on unordered with other
// processes, as a line on the log says, and removes no leftovers.
std::optional<std::vector<FolderLock>> takeFolderLocks(const std::vector<std::string>& folders);

}  // namespace lf
