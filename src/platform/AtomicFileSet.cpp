#include "platform/AtomicFileSet.h"

#include "platform/Assert.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {
namespace {

// Commits take turns, and the exit waits for the one under way.
struct CommitGate {
    std::mutex mutex;
    std::condition_variable changed;
    bool committing = false;
    bool exiting = false;
    std::function<void(size_t)> moveInHook;
    std::function<void()> exitHook;
};

// Never destroyed: threads held at the exit wait on it while the process's
// static objects go.
CommitGate& gate() {
    static CommitGate* const shared = new CommitGate;
    return *shared;
}

// Holds the calling thread for the rest of the process's life.
[[noreturn]] void holdUntilTheEnd(std::unique_lock<std::mutex>& lock) {
    for (;;)
        gate().changed.wait(lock);
}

// Waits for the commit under way to end, then takes the turn and the test
// hook; false, without a turn, once the process exits.
bool takeCommitTurn(std::function<void(size_t)>& moveInHook) {
    std::unique_lock lock(gate().mutex);
    gate().changed.wait(lock, [] { return !gate().committing || gate().exiting; });
    if (gate().exiting) return false;
    gate().committing = true;
    moveInHook = gate().moveInHook;
    return true;
}

// A turn that ends while the process exits holds its thread there: the
// exit's static destruction may have begun, and nothing that the thread
// would run next is needed any more.
void endCommitTurn() {
    std::unique_lock lock(gate().mutex);
    gate().committing = false;
    gate().changed.notify_all();
    if (gate().exiting) holdUntilTheEnd(lock);
}

Error renameFailure(int errnum, const std::string& target) {
    Error error = Error::posix(errnum, "replace " + target);
    error.userInfo[kFilePathErrorKey] = target;
    return error;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exchange(const std::string& a, const std::string& b) {
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace

AtomicFileSet::~AtomicFileSet() {
    if (!committed_) discard();
}

Status AtomicFileSet::makeFolders(const std::string& folder) {
    std::filesystem::path made;
    for (const auto& component : std::filesystem::path(folder)) {
        made /= component;
        if (::mkdir(made.c_str(), 0777) == 0) {
            madeFolders_.push_back(made.string());
            continue;
        }
        int error = errno;
        std::error_code unknown;
        if (error == EEXIST && std::filesystem::is_directory(made, unknown)) continue;
        if (error == EEXIST) error = ENOTDIR;
        return Error::posix(error, "create the folder " + made.string());
    }
    return {};
}

Status AtomicFileSet::stage(const std::string& path, std::span<const uint8_t> bytes) {
    if (isFolder(path)) return renameFailure(EISDIR, path);
    auto file = TemporaryFile::createBeside(path);
    if (!file) return file.error();
    LF_TRY(file->write(bytes));
    staged_.push_back(StagedFile{std::move(*file)});
    return {};
}

Status AtomicFileSet::commit() {
    LF_PRECONDITION(!committed_, "a set commits once (AtomicFileSet)");
    std::function<void(size_t)> moveInHook;
    if (!takeCommitTurn(moveInHook)) {
        discard();
        std::unique_lock lock(gate().mutex);
        holdUntilTheEnd(lock);
    }
    Status committed = moveAllIn(moveInHook);
    endCommitTurn();
    return committed;
}

Status AtomicFileSet::moveAllIn(const std::function<void(size_t)>& moveInHook) {
    for (size_t i = 0; i < staged_.size(); ++i) {
        Status moved = moveIn(staged_[i]);
        if (!moved) {
            moveBackOut(i + 1);
            return moved;
        }
        if (moveInHook) moveInHook(i + 1);
    }
    committed_ = true;
    removeReplacedFilesAndFlushFolders();
    return {};
}

// Exchanged where the target exists, so that the replaced file stays at
// hand under the temporary name until the commit ends.
Status AtomicFileSet::moveIn(StagedFile& staged) {
    const std::string& target = staged.file.target();
    if (exchange(staged.file.path(), target)) {
        staged.move = Move::Exchanged;
        // A folder put there since the file was staged goes back.
        return isFolder(staged.file.path()) ? renameFailure(EISDIR, target) : Status();
    }
    const int exchangeError = errno;
    if (exchangeError != ENOENT && exchangeError != EINVAL && exchangeError != ENOSYS)
        return renameFailure(exchangeError, target);
    Status replaced = staged.file.replaceTarget();
    if (!replaced) return renameFailure(static_cast<int>(replaced.error().code), target);
    staged.move = exchangeError == ENOENT ? Move::Created : Move::Replaced;
    return {};
}

// Latest first, so that a target staged twice ends with its first old
// contents. A file plainly renamed over its target cannot go back.
void AtomicFileSet::moveBackOut(size_t count) {
    for (size_t i = count; i-- > 0;) {
        StagedFile& staged = staged_[i];
        const std::string& target = staged.file.target();
        if (staged.move == Move::Exchanged && exchange(staged.file.path(), target))
            staged.move = Move::Staged;
        else if (staged.move == Move::Created && staged.file.isNamed(target))
            ::unlink(target.c_str());
    }
}

// The replaced files go with their temporary names, then the folders that
// got or lost entries are flushed.
void AtomicFileSet::removeReplacedFilesAndFlushFolders() {
    std::set<std::string> folders;
    for (const StagedFile& staged : staged_)
        folders.insert(folderOfPath(staged.file.target()));
    for (const std::string& made : madeFolders_)
        folders.insert(folderOfPath(made));
    staged_.clear();
    for (const std::string& folder : folders)
        flushFolder(folder);
}

// The folders go deepest first; one that holds something else stays.
void AtomicFileSet::discard() {
    staged_.clear();
    for (auto made = madeFolders_.rbegin(); made != madeFolders_.rend(); ++made)
        ::rmdir(made->c_str());
    madeFolders_.clear();
}

void AtomicFileSet::finishCommitsBeforeExit() {
    std::unique_lock lock(gate().mutex);
    gate().exiting = true;
    gate().changed.notify_all();
    if (auto hook = gate().exitHook; hook && gate().committing) {
        lock.unlock();
        hook();
        lock.lock();
    }
    gate().changed.wait(lock, [] { return !gate().committing; });
}

void AtomicFileSet::setMoveInHookForTesting(std::function<void(size_t movedIn)> hook) {
    std::lock_guard lock(gate().mutex);
    gate().moveInHook = std::move(hook);
}

void AtomicFileSet::setExitHookForTesting(std::function<void()> hook) {
    std::lock_guard lock(gate().mutex);
    gate().exitHook = std::move(hook);
}

}  // namespace lf
