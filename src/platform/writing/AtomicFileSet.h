#pragma once
// AtomicFileSet: files that change together or not at all, such as the
// outputs of one export. Each file's new contents are first staged: written
// to a locked temporary file beside it and flushed to the disk (see
// TemporaryFile), after the leftovers of earlier writes of the file are
// removed (see LeftoverTemporaries; each folder is listed once a set). Only
// once every file is staged does the commit move them all in, one after
// the other, and flush their folders. A set that fails to stage a file, or
// is given up, removes its temporary files and the folders it made, so
// that the folders are left as they were.
//
// Until every file is in, each replaced file waits under a hidden name:
// when a move fails half way, the files moved in so far are moved back out
// and every target holds its old contents again (or is missing again).
// Where the file system can, the new file and the file it replaces
// exchange names (renameat2 with RENAME_EXCHANGE), so the target is never
// missing. Where it cannot (FAT, many FUSE mounts), the replaced file is
// first moved aside (".NAME.replaced-", see TemporaryName) and the new one
// moved in after it, so the target is missing between the two renames.
// The commit holds the FolderLock of every folder it moves files in, from
// before its first move until its moves (or the putting back after a failed
// one) are done, so that another write never takes a replaced file that
// waits for the commit, or a staged file, closed before it moves, for a
// leftover (see LeftoverTemporaries), and so that commits of this user's
// processes into one folder take turns: the folder ends with one set's
// files, never some of each. Only where putting a replaced file back fails
// too does it stay under its hidden name, which the log gives, until a
// commit of its target succeeds.
//
// Commits of one process move files in one at a time: each takes the
// process's turn before it takes its folders' locks, so that no commit
// holds a folder while it waits for the turn, and the commit that holds
// the turn may write into any folder from its `whenIn`. The process's exit
// waits for the commit under way (finishCommitsBeforeExit), so that its
// renames, which take little time, are never cut half way; a commit still
// waiting for another process's to let go of a folder has not begun, and
// the exit does not wait for it; a set still being staged, or waiting so,
// when the process exits is abandoned, and the next write of its targets
// removes its temporary files. What a caller must note of the files before
// the process ends it notes within the commit (commit's `whenIn`).
//
// A set is used by one thread at a time.

#include "platform/core/Result.h"
#include "platform/writing/LeftoverTemporaries.h"
#include "platform/writing/TemporaryFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace lf {

class AtomicFileSet {
public:
    AtomicFileSet() = default;
    AtomicFileSet(const AtomicFileSet&) = delete;
    AtomicFileSet& operator=(const AtomicFileSet&) = delete;
    // A set not committed removes its temporary files and its folders.
    ~AtomicFileSet();

    // Makes `folder` and the missing folders on its way. A POSIX error
    // names the folder that could not be made; ENOTDIR where something
    // other than a folder stands in the way.
    Status makeFolders(const std::string& folder);
    // Removes the leftovers of earlier writes of `path`, then stages
    // `bytes` as its new contents; its folder must exist. A POSIX error
    // naming the step that failed, EISDIR when a folder stands at `path`;
    // the files staged before stay staged.
    Status stage(const std::string& path, std::span<const uint8_t> bytes);
    // Moves every staged file in, then flushes the folders that changed.
    // On failure no target has changed (but for a replaced file that could
    // not be put back); the error is the POSIX error of the move that
    // failed, with the target's path under kFilePathErrorKey. Waits first
    // for the commits of this user's processes that hold its folders. A
    // set commits once. While the process exits, a commit that comes too
    // late gives up its files and waits there for the end of the process.
    // `whenIn`, when given, runs once every file is in and the folders are
    // let go, before the commit ends: the process's exit waits for it too,
    // so what the caller notes of the files there is noted before the
    // process ends (a commit that ends while the process exits holds its
    // thread, which never returns from here). It must not commit another
    // set.
    Status commit(const std::function<void()>& whenIn = {});

    // Called by the executable on its way out of main, and registered with
    // std::atexit for an exit from elsewhere: waits for the commit under
    // way to end, and from then on holds every thread that comes to a
    // commit, or ends one, until the process is gone.
    static void finishCommitsBeforeExit();

    // Tests make a commit and the exit meet through these: `hook` runs in
    // a commit after each file is moved in, with the count moved in so far.
    static void setMoveInHookForTesting(std::function<void(size_t movedIn)> hook);
    // `hook` runs when finishCommitsBeforeExit finds a commit under way,
    // before it waits for it.
    static void setExitHookForTesting(std::function<void()> hook);
    // `hook` runs when a commit finds another holding the process's turn,
    // before it waits for it, on the waiting commit's thread.
    static void setTurnWaitHookForTesting(std::function<void()> hook);

private:
    // How far a staged file got on its way in, so that a failed commit can
    // move it back out.
    enum class Move { Staged, Exchanged, Created, MovedAside, Replaced };
    struct StagedFile {
        TemporaryFile file;
        Move move = Move::Staged;
        // Where the replaced file waits once moved aside.
        std::string aside;
    };

    const LeftoverTemporaries& folderOf(const std::string& path);
    Status moveAllIn(const std::function<void(size_t)>& moveInHook, bool foldersHeld);
    Status moveIn(StagedFile& staged);
    Status moveAsideAndIn(StagedFile& staged);
    void moveBackOut(size_t count);
    bool moveBack(StagedFile& staged);
    void removeReplacedFilesAndFlushFolders(bool foldersHeld);
    void discard();
    // A commit that comes too late at the exit gives up its files and
    // holds its thread for the rest of the process's life.
    [[noreturn]] void giveUpAtTheExit();

    std::vector<StagedFile> staged_;
    std::vector<std::string> madeFolders_;
    // The folders staged into, listed once each.
    std::map<std::string, LeftoverTemporaries> folders_;
    bool committed_ = false;
};

}  // namespace lf
