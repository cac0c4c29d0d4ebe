#include "platform/writing/AtomicFileSet.h"

#include "platform/core/Assert.h"
#include "platform/core/Log.h"
#include "platform/writing/FileStepHook.h"
#include "platform/writing/FolderLock.h"
#include "platform/writing/TemporaryName.h"

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
    // A commit holds the process's turn; it may still wait for its folders.
    bool turnTaken = false;
    // The commit that holds the turn has its folders and moves files in.
    bool underWay = false;
    bool exiting = false;
    std::function<void(size_t)> moveInHook;
    std::function<void()> exitHook;
    std::function<void()> turnWaitHook;
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

// Waits for the commit that holds the turn to end, then takes the turn;
// false, without a turn, once the process exits.
bool takeCommitTurn() {
    std::unique_lock lock(gate().mutex);
    if (gate().turnTaken && gate().turnWaitHook) {
        const auto hook = gate().turnWaitHook;
        lock.unlock();
        hook();
        lock.lock();
    }
    gate().changed.wait(lock, [] { return !gate().turnTaken || gate().exiting; });
    if (gate().exiting) return false;
    gate().turnTaken = true;
    return true;
}

// Once the turn's folders are held, the moves begin, and the exit waits
// for them; false, giving up the turn, once the process exits.
bool beginMoves(std::function<void(size_t)>& moveInHook) {
    std::lock_guard lock(gate().mutex);
    if (gate().exiting) {
        gate().turnTaken = false;
        gate().changed.notify_all();
        return false;
    }
    gate().underWay = true;
    moveInHook = gate().moveInHook;
    return true;
}

// A turn that ends while the process exits holds its thread there: the
// exit's static destruction may have begun, and nothing that the thread
// would run next is needed any more.
void endCommitTurn() {
    std::unique_lock lock(gate().mutex);
    gate().turnTaken = false;
    gate().underWay = false;
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

int exchange(FileStep step, const std::string& staged, const std::string& target) {
    return runFileStep(step, target, [&] {
        return ::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
    });
}

int renameFile(FileStep step, const std::string& from, const std::string& to,
               const std::string& target) {
    return runFileStep(step, target, [&] { return ::rename(from.c_str(), to.c_str()); });
}

// A hidden name beside `target` that nothing has: 64 random bits make a
// taken one all but impossible, and the check makes sure.
std::string freeAsidePath(const std::string& target, size_t longestName) {
    const std::string stem =
        folderOfPath(target) + "/" +
        temporaryNamePrefix(nameOfPath(target), TemporaryRole::ReplacedFile, longestName);
    std::string candidate;
    struct stat taken {};
    do {
        candidate = stem + randomTemporaryDigits();
    } while (::lstat(candidate.c_str(), &taken) == 0);
    return candidate;
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
    const LeftoverTemporaries& folder = folderOf(path);
    folder.removeNewContentsOf(path);
    auto file = TemporaryFile::createBeside(path, folder.longestName());
    if (!file) return file.error();
    LF_TRY(file->write(bytes));
    staged_.push_back(StagedFile{std::move(*file), Move::Staged, {}});
    return {};
}

const LeftoverTemporaries& AtomicFileSet::folderOf(const std::string& path) {
    const std::string folder = folderOfPath(path);
    auto listed = folders_.find(folder);
    if (listed == folders_.end())
        listed = folders_.emplace(folder, LeftoverTemporaries(folder)).first;
    return listed->second;
}

// The process's turn comes first, then the folders' locks: a commit that
// waits for the turn holds no folder, so the commit that holds the turn
// finds free whatever folder its `whenIn` writes into (the settings), even
// one that a later commit is to move files in. Until the folders are held
// the commit has not begun, and the exit does not wait for it, however
// long another process's commit into one of them takes. They are let go
// before `whenIn`, which may write files of its own into any folder, one
// of these too.
Status AtomicFileSet::commit(const std::function<void()>& whenIn) {
    LF_PRECONDITION(!committed_, "a set commits once (AtomicFileSet)");
    std::vector<std::string> folders;
    for (const auto& [folder, leftovers] : folders_)
        folders.push_back(folder);
    if (!takeCommitTurn()) giveUpAtTheExit();
    auto held = takeFolderLocks(folders);
    std::function<void(size_t)> moveInHook;
    if (!beginMoves(moveInHook)) {
        held.reset();
        giveUpAtTheExit();
    }
    Status committed = moveAllIn(moveInHook, held.has_value());
    held.reset();
    if (committed && whenIn) whenIn();
    endCommitTurn();
    return committed;
}

void AtomicFileSet::giveUpAtTheExit() {
    discard();
    std::unique_lock lock(gate().mutex);
    holdUntilTheEnd(lock);
}

// The folders' locks keep other writes from taking the replaced files,
// and the staged files, for leftovers until the commit ends, and so the
// staged files close before any moves (see TemporaryFile::close).
Status AtomicFileSet::moveAllIn(const std::function<void(size_t)>& moveInHook, bool foldersHeld) {
    for (StagedFile& staged : staged_)
        staged.file.close();
    for (size_t i = 0; i < staged_.size(); ++i) {
        Status moved = moveIn(staged_[i]);
        if (!moved) {
            moveBackOut(i + 1);
            return moved;
        }
        if (moveInHook) moveInHook(i + 1);
    }
    committed_ = true;
    removeReplacedFilesAndFlushFolders(foldersHeld);
    return {};
}

// Exchanged where the target exists, so that the replaced file stays at
// hand under the temporary name until the commit ends.
Status AtomicFileSet::moveIn(StagedFile& staged) {
    const std::string& target = staged.file.target();
    const int exchangeError = exchange(FileStep::Exchange, staged.file.path(), target);
    if (exchangeError == 0) {
        staged.move = Move::Exchanged;
        // A folder put there since the file was staged goes back.
        return isFolder(staged.file.path()) ? renameFailure(EISDIR, target) : Status();
    }
    if (exchangeError == EINVAL || exchangeError == ENOSYS) return moveAsideAndIn(staged);
    if (exchangeError != ENOENT) return renameFailure(exchangeError, target);
    Status created = staged.file.replaceTarget();
    if (!created) return renameFailure(static_cast<int>(created.error().code), target);
    staged.move = Move::Created;
    return {};
}

// Where two files cannot be exchanged: the replaced file goes aside first,
// then the new one takes its place.
Status AtomicFileSet::moveAsideAndIn(StagedFile& staged) {
    const std::string& target = staged.file.target();
    const std::string aside = freeAsidePath(target, folderOf(target).longestName());
    const int asideError = renameFile(FileStep::MoveAside, target, aside, target);
    if (asideError != 0 && asideError != ENOENT) return renameFailure(asideError, target);
    if (asideError == 0) {
        staged.aside = aside;
        staged.move = Move::MovedAside;
        if (isFolder(aside)) return renameFailure(EISDIR, target);
    }
    Status movedIn = staged.file.replaceTarget();
    if (!movedIn) return renameFailure(static_cast<int>(movedIn.error().code), target);
    staged.move = staged.aside.empty() ? Move::Created : Move::Replaced;
    return {};
}

// Latest first, so that a target staged twice ends with its first old
// contents.
void AtomicFileSet::moveBackOut(size_t count) {
    for (size_t i = count; i-- > 0;) {
        StagedFile& staged = staged_[i];
        if (moveBack(staged)) continue;
        const std::string& waiting = staged.aside.empty() ? staged.file.path() : staged.aside;
        lf::log("Couldn't put the old {} back after a failed commit: it stays as {}",
                staged.file.target(), waiting);
        if (staged.aside.empty()) staged.file.releaseName();
    }
}

// Whether the target holds what it held before the commit again.
bool AtomicFileSet::moveBack(StagedFile& staged) {
    const std::string& target = staged.file.target();
    switch (staged.move) {
        case Move::Staged:
            return true;
        case Move::Exchanged:
            return exchange(FileStep::MoveBack, staged.file.path(), target) == 0;
        case Move::Created:
            if (staged.file.isNamed(target)) ::unlink(target.c_str());
            return true;
        case Move::MovedAside:
        case Move::Replaced:
            if (renameFile(FileStep::MoveBack, staged.aside, target, target) != 0) return false;
            staged.aside.clear();
            return true;
    }
    return true;
}

// The replaced files go with their temporary names, and, in folders that
// the commit holds, those that earlier commits of the targets left; then
// the folders that got or lost entries are flushed.
void AtomicFileSet::removeReplacedFilesAndFlushFolders(bool foldersHeld) {
    std::set<std::string> folders;
    for (const StagedFile& staged : staged_) {
        const std::string& target = staged.file.target();
        if (!staged.aside.empty()) ::unlink(staged.aside.c_str());
        if (foldersHeld) folderOf(target).removeReplacedFilesOf(target);
        folders.insert(folderOfPath(target));
    }
    for (const std::string& made : madeFolders_)
        folders.insert(folderOfPath(made));
    staged_.clear();
    folders_.clear();
    for (const std::string& folder : folders)
        flushFolder(folder);
}

// The folders go deepest first; one that holds something else stays.
void AtomicFileSet::discard() {
    staged_.clear();
    folders_.clear();
    for (auto made = madeFolders_.rbegin(); made != madeFolders_.rend(); ++made)
        ::rmdir(made->c_str());
    madeFolders_.clear();
}

void AtomicFileSet::finishCommitsBeforeExit() {
    std::unique_lock lock(gate().mutex);
    gate().exiting = true;
    gate().changed.notify_all();
    if (auto hook = gate().exitHook; hook && gate().underWay) {
        lock.unlock();
        hook();
        lock.lock();
    }
    gate().changed.wait(lock, [] { return !gate().underWay; });
}

void AtomicFileSet::setMoveInHookForTesting(std::function<void(size_t movedIn)> hook) {
    std::lock_guard lock(gate().mutex);
    gate().moveInHook = std::move(hook);
}

void AtomicFileSet::setTurnWaitHookForTesting(std::function<void()> hook) {
    std::lock_guard lock(gate().mutex);
    gate().turnWaitHook = std::move(hook);
}

void AtomicFileSet::setExitHookForTesting(std::function<void()> hook) {
    std::lock_guard lock(gate().mutex);
    gate().exitHook = std::move(hook);
}

}  // namespace lf
