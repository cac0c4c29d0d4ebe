#pragma once
// AtomicFileSet: files that change together or not at all, such as the
// outputs of one export. Each file's new contents are first staged: written
// to a locked temporary file beside it and flushed to the disk (see
// TemporaryFile). Only once every file is staged does the commit move them
// all in, one rename after the other, and flush their folders. A set that
// fails to stage a file, or is given up, removes its temporary files and
// the folders it made, so that the folders are left as they were.
//
// The commit exchanges each staged file with the file it replaces
// (renameat2 with RENAME_EXCHANGE), so that the replaced file keeps a
// temporary name until every file is in: when a rename fails half way, the
// files moved in so far are moved back out and every target holds its old
// contents again (or is missing again). On a file system that cannot
// exchange files a plain rename replaces the file, and a failure after it
// cannot bring that file's old contents back.
//
// Commits of one process run one at a time. The process's exit waits for
// the commit under way (finishCommitsBeforeExit), so that its renames,
// which take little time, are never cut half way; a set still being staged
// when the process exits is abandoned, and the next write of its targets
// removes its temporary files.
//
// A set is used by one thread at a time.

#include "platform/Result.h"
#include "platform/TemporaryFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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
    // Stages `bytes` as the new contents of `path`, whose folder must
    // exist. A POSIX error naming the step that failed, EISDIR when a
    // folder stands at `path`; the files staged before stay staged.
    Status stage(const std::string& path, std::span<const uint8_t> bytes);
    // Moves every staged file in, then flushes the folders that changed.
    // On failure no target has changed; the error is the POSIX error of
    // the rename, with the target's path under kFilePathErrorKey. A set
    // commits once. While the process exits, a commit that comes too late
    // gives up its files and waits there for the end of the process.
    Status commit();

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

private:
    enum class Move { Staged, Exchanged, Created, Replaced };
    struct StagedFile {
        TemporaryFile file;
        Move move = Move::Staged;
    };

    Status moveAllIn(const std::function<void(size_t)>& moveInHook);
    Status moveIn(StagedFile& staged);
    void moveBackOut(size_t count);
    void removeReplacedFilesAndFlushFolders();
    void discard();

    std::vector<StagedFile> staged_;
    std::vector<std::string> madeFolders_;
    bool committed_ = false;
};

}  // namespace lf
