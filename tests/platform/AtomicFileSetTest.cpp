// Commits of file sets where the file system refuses a step: a move that
// fails half way, with and without the exchange of two files, puts every
// replaced file back; a replaced file waiting for its commit is never
// taken for a leftover by another write, nor one left aside by a failed
// commit before a commit of its target succeeds; the leftovers of a
// folder are found by one listing; commits of two processes into one
// folder take turns; and a commit that comes after the exit began is held,
// while one that waits for another process's commit holds up no exit.
#include "ScopedUserAccountFolders.h"
#include "platform/core/Log.h"
#include "platform/files/Data.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/UserRuntimeFolder.h"
#include "platform/writing/AtomicFile.h"
#include "platform/writing/AtomicFileSet.h"
#include "platform/writing/FolderLock.h"
#include "platform/writing/HiddenName.h"
#include "platform/writing/LeftoverTemporaries.h"
#include "platform/writing/TemporaryName.h"
#include "support/ScopedFileStepHook.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

using namespace lf;
namespace fs = std::filesystem;

namespace {

// How a commit moves files in: by exchanging them, or, where the file
// system cannot (the hook says EINVAL, as FAT and FUSE mounts do), by
// moving the replaced file aside first.
enum class Road { Exchange, MoveAside };

const char* nameOf(Road road) {
    return road == Road::Exchange ? "exchange" : "move aside";
}

// Every file in `folder` and its contents.
std::map<std::string, std::string> contentsIn(const fs::path& folder) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        found[entry.path().filename()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return found;
}

// A folder of old a.png, b.png and c.png, and the new contents of those
// and of new.png, staged in the order of `names`.
struct OldFolder {
    test::TemporaryDirectory folder;
    const std::vector<std::string> names = {"a.png", "new.png", "b.png", "c.png"};
    std::map<std::string, std::string> before;

    OldFolder() {
        for (const char* name : {"a.png", "b.png", "c.png"})
            test::writeFile(folder / name, std::string("old ") + name);
        before = contentsIn(folder.path());
    }
    Status stageAll(AtomicFileSet& set) const {
        for (const std::string& name : names)
            LF_TRY(set.stage(folder / name, Data::fromString("new " + name).span()));
        return {};
    }
    std::map<std::string, std::string> allNew() const {
        std::map<std::string, std::string> expected;
        for (const std::string& name : names)
            expected[name] = "new " + name;
        return expected;
    }
};

// Every file below `folder` by its path there, with its contents.
std::map<std::string, std::string> contentsBelow(const fs::path& folder) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            found[fs::relative(entry.path(), folder)] = test::readFile(entry.path());
    return found;
}

// The names in `files` that are not hidden.
std::map<std::string, std::string> visible(std::map<std::string, std::string> files) {
    std::erase_if(files, [](const auto& file) { return file.first.starts_with("."); });
    return files;
}

// Starts a child process that dies with the test's process; in the child,
// `body`'s result is its exit status.
pid_t startChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::_exit(body());
    }
    return child;
}

int exitStatusOf(pid_t child) {
    int status = -1;
    if (::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// How many of this process's descriptors are open on files in `folder`.
size_t openFilesIn(const fs::path& folder) {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const fs::path file = fs::read_symlink(entry.path(), error);
        if (!error && file.parent_path() == folder) ++count;
    }
    return count;
}

// Answers EINVAL to every exchange on the move-aside road, then `fail`.
FileStepHook roadWith(Road road, std::function<int(FileStep, const std::string&)> fail) {
    return [road, fail](FileStep step, const std::string& target) {
        if (road == Road::MoveAside && step == FileStep::Exchange) return EINVAL;
        return fail ? fail(step, target) : 0;
    };
}

}  // namespace

// A move that fails at the n-th file, on either road, leaves every target
// with its old contents, a new file missing again, and no hidden file; on
// each road, a commit that nothing fails moves every file in, none of them
// open while it moves.
TEST(AtomicFileSetRollback, AMoveThatFailsAtAnyFileLeavesEveryTargetAsItWas) {
    const std::vector<std::pair<Road, FileStep>> failures = {{Road::Exchange, FileStep::Exchange},
                                                             {Road::MoveAside, FileStep::MoveAside},
                                                             {Road::MoveAside, FileStep::MoveIn}};
    for (const auto& [road, failingStep] : failures)
        for (size_t n = 1; n <= 4; ++n) {
            const FileStep failing = failingStep;
            SCOPED_TRACE(std::string(nameOf(road)) + ", failing at file " + std::to_string(n) +
                         " of step " + std::to_string(static_cast<int>(failing)));
            OldFolder old;
            size_t calls = 0;
            test::ScopedFileStepHook hook(roadWith(road, [&](FileStep step, const std::string&) {
                return step == failing && ++calls == n ? EIO : 0;
            }));
            {
                AtomicFileSet set;
                ASSERT_TRUE(old.stageAll(set));
                auto committed = set.commit();
                ASSERT_FALSE(committed);
                EXPECT_EQ(committed.error().code, EIO);
                EXPECT_EQ(committed.error().stringForKey(kFilePathErrorKey),
                          old.folder / old.names[n - 1]);
            }
            EXPECT_EQ(contentsIn(old.folder.path()), old.before);
        }
    for (Road road : {Road::Exchange, Road::MoveAside}) {
        SCOPED_TRACE(nameOf(road));
        OldFolder old;
        size_t openWhileMoved = 0;
        test::ScopedFileStepHook hook(roadWith(road, [&](FileStep step, const std::string&) {
            const bool moves = step != FileStep::KeepPermissions && step != FileStep::Flush;
            if (moves) openWhileMoved += openFilesIn(old.folder.path());
            return 0;
        }));
        AtomicFileSet set;
        ASSERT_TRUE(old.stageAll(set));
        ASSERT_TRUE(set.commit());
        EXPECT_EQ(contentsIn(old.folder.path()), old.allNew());
        EXPECT_EQ(openWhileMoved, 0u) << "some file systems (fusefat) damage a file renamed open";
    }
}

// Another write of a.png stages its new contents (and so looks for the
// leftovers of a.png) while a commit has replaced a.png, or on the
// move-aside road has moved it aside and not yet moved the new one in; the
// commit then fails at b.png and puts the old a.png back all the same.
TEST(AtomicFileSetRollback, AReplacedFileWaitingForItsCommitIsNoLeftoverToAnotherWrite) {
    for (Road road : {Road::Exchange, Road::MoveAside}) {
        SCOPED_TRACE(nameOf(road));
        OldFolder old;
        const fs::path a = old.folder / "a.png";
        const auto anotherWriteOfA = [&] {
            AtomicFileSet other;
            EXPECT_TRUE(other.stage(a, Data::fromString("another write").span()));
        };
        test::ScopedFileStepHook hook(roadWith(road, [&](FileStep step, const std::string& target) {
            if (step == FileStep::MoveIn && target == a) anotherWriteOfA();
            const bool movesB = step == FileStep::Exchange || step == FileStep::MoveAside;
            return movesB && target == old.folder / "b.png" ? EIO : 0;
        }));
        AtomicFileSet::setMoveInHookForTesting([&](size_t movedIn) {
            if (movedIn == 1) anotherWriteOfA();
        });
        {
            AtomicFileSet set;
            ASSERT_TRUE(old.stageAll(set));
            EXPECT_FALSE(set.commit());
        }
        AtomicFileSet::setMoveInHookForTesting(nullptr);
        EXPECT_EQ(contentsIn(old.folder.path()), old.before);
    }
}

// Where a replaced file cannot be put back either, it is not removed with
// the temporary files: it stays under its hidden name, which the log gives.
TEST(AtomicFileSetRollback, AReplacedFileThatCannotBePutBackStaysUnderItsHiddenName) {
    for (Road road : {Road::Exchange, Road::MoveAside}) {
        SCOPED_TRACE(nameOf(road));
        OldFolder old;
        test::ScopedFileStepHook hook(roadWith(road, [&](FileStep step, const std::string& target) {
            if (step == FileStep::MoveBack) return EIO;
            const bool movesB = step == FileStep::Exchange || step == FileStep::MoveAside;
            return movesB && target == old.folder / "b.png" ? EIO : 0;
        }));
        LogCapture log;
        {
            AtomicFileSet set;
            ASSERT_TRUE(old.stageAll(set));
            EXPECT_FALSE(set.commit());
        }
        const auto left = contentsIn(old.folder.path());
        EXPECT_EQ(left.at("a.png"), "new a.png");
        EXPECT_EQ(left.at("b.png"), "old b.png");
        EXPECT_FALSE(left.contains("new.png")) << "a new file goes all the same";
        auto kept = std::find_if(left.begin(), left.end(),
                                 [](const auto& file) { return file.second == "old a.png"; });
        ASSERT_NE(kept, left.end());
        EXPECT_TRUE(kept->first.starts_with(".a.png.")) << kept->first;
        EXPECT_TRUE(log.contains(kept->first)) << "the log says where the old a.png is";
        EXPECT_EQ(left.size(), 4u);
    }
}

// On the move-aside road, a commit that can neither move a.png in nor put
// the old one back leaves the old a.png, its only copy, under its hidden
// name; the next write of a.png, by a set or on its own, that fails too
// keeps it, and the first one that succeeds removes it.
TEST(AtomicFileSetRollback, AFileLeftAsideStaysUntilACommitOfItsTargetSucceeds) {
    for (const bool alone : {false, true}) {
        SCOPED_TRACE(alone ? "written on its own" : "written in a set");
        OldFolder old;
        const fs::path a = old.folder / "a.png";
        bool failing = true;
        test::ScopedFileStepHook hook(
            roadWith(Road::MoveAside, [&](FileStep step, const std::string& target) {
                const bool moves = step == FileStep::MoveIn || step == FileStep::MoveBack;
                return failing && moves && target == a ? EIO : 0;
            }));
        const auto writeA = [&](const std::string& bytes) -> Status {
            if (alone) return writeFileAtomically(a, Data::fromString(bytes));
            AtomicFileSet set;
            LF_TRY(set.stage(a, Data::fromString(bytes).span()));
            return set.commit();
        };
        {
            LogCapture log;
            AtomicFileSet set;
            ASSERT_TRUE(set.stage(a, Data::fromString("first").span()));
            ASSERT_FALSE(set.commit());
        }
        auto left = contentsIn(old.folder.path());
        ASSERT_FALSE(left.contains("a.png"));
        auto kept = std::find_if(left.begin(), left.end(),
                                 [](const auto& file) { return file.second == "old a.png"; });
        ASSERT_NE(kept, left.end());
        const std::string aside = kept->first;
        EXPECT_TRUE(aside.starts_with(".a.png.replaced-")) << aside;

        EXPECT_FALSE(writeA("second"));
        EXPECT_EQ(contentsIn(old.folder.path()), left) << "a write that fails keeps it";
        failing = false;
        EXPECT_TRUE(writeA("third"));
        left.erase(aside);
        left["a.png"] = "third";
        EXPECT_EQ(contentsIn(old.folder.path()), left);
    }
}

// One listing of the folder finds the leftovers of every target in it, of
// both kinds, and only those that were there then; a file that a writer
// holds locked stays. While a commit moves files in the folder, every
// leftover stays. New contents left over go before a write stages its
// own; a replaced file left over stays until a commit of its target,
// which holds the folder, succeeds. Names too long to keep whole are
// found by the shortened prefix they were made with.
TEST(LeftoverTemporaries, OneListingFindsTheLeftoversOfEveryTarget) {
    test::TemporaryDirectory folder;
    const size_t longest = longestNameIn(folder.path());
    const std::string longName = std::string(longest - 4, 'x') + ".png";
    const auto leftover = [&](const std::string& name, TemporaryRole role, char digit = '0') {
        const std::string hidden =
            temporaryNamePrefix(name, role, longest) + std::string(kTemporaryDigits, digit);
        test::writeFile(folder / hidden, "left over");
        return hidden;
    };
    const auto names = [&] {
        std::vector<std::string> found;
        for (const auto& [name, bytes] : contentsIn(folder.path()))
            found.push_back(name);
        return found;
    };
    const auto sorted = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    };
    std::vector<std::string> replacedFiles;
    for (const std::string& target : {std::string("a.png"), longName}) {
        leftover(target, TemporaryRole::NewContents);
        replacedFiles.push_back(leftover(target, TemporaryRole::ReplacedFile));
    }
    const std::string held = leftover("a.png", TemporaryRole::NewContents, '1');
    const FileDescriptor writer(::open((folder / held).c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(writer.get(), LOCK_EX | LOCK_NB), 0);
    const std::vector<std::string> all = names();

    const LeftoverTemporaries listed(folder.path());
    const std::string afterTheListing = leftover("a.png", TemporaryRole::ReplacedFile, '2');
    {
        const auto aCommit = FolderLock::take(folder.path(), FolderLock::Wait::Never);
        ASSERT_TRUE(aCommit);
        listed.removeNewContentsOf(folder / "a.png");
        listed.removeNewContentsOf(folder / longName);
        std::vector<std::string> expected = all;
        expected.push_back(afterTheListing);
        EXPECT_EQ(names(), sorted(expected)) << "while a commit moves files";
    }
    listed.removeNewContentsOf(folder / "a.png");
    listed.removeNewContentsOf(folder / longName);
    std::vector<std::string> expected = replacedFiles;
    expected.push_back(held);
    expected.push_back(afterTheListing);
    EXPECT_EQ(names(), sorted(expected)) << "replaced files wait for a commit that succeeds";
    listed.removeReplacedFilesOf(folder / "a.png");
    listed.removeReplacedFilesOf(folder / longName);
    EXPECT_EQ(names(), sorted({held, afterTheListing}));
}

// A commit that comes after the exit began is held before it moves
// anything: the set gives up its files, the targets keep their old
// contents, and its thread waits for the end of the process. In a child
// process, whose exit holds that thread for good.
TEST(AtomicFileSetExit, ACommitThatComesAfterTheExitBeganMovesNothingIn) {
    OldFolder old;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto set = std::make_unique<AtomicFileSet>();
        if (!old.stageAll(*set)) _exit(2);
        AtomicFileSet::finishCommitsBeforeExit();
        std::thread([&set] { (void)set->commit(); }).detach();
        // The staged files go, whether given up or moved in.
        const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
        const auto hasHiddenFiles = [&] {
            const auto files = contentsIn(old.folder.path());
            return std::any_of(files.begin(), files.end(),
                               [](const auto& file) { return file.first.starts_with("."); });
        };
        while (hasHiddenFiles() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(contentsIn(old.folder.path()), old.before);
}

// A commit that waits for another process's commit into its folder has
// not begun: the exit does not wait for it, however long the other takes,
// and the targets keep their old contents. In a child process, where a
// lock of the folder taken as a commit takes it stands for the other
// process's commit.
TEST(AtomicFileSetExit, ACommitWaitingForAnotherProcesssCommitHoldsUpNoExit) {
    OldFolder old;
    const test::TemporaryDirectory runtime;
    const pid_t child = startChild([&] {
        // The lock file, which the child leaves as it ends, goes with the test.
        setUserAccountFoldersForTesting(UserAccountFolders{runtime.path(), runtime.path()});
        auto anotherCommit = FolderLock::take(old.folder.path(), FolderLock::Wait::Never);
        auto set = std::make_unique<AtomicFileSet>();
        if (!anotherCommit || !old.stageAll(*set)) return 2;
        std::promise<void> waits;
        FolderLock::setWaitHookForTesting([&] { waits.set_value(); });
        std::thread([&set] { (void)set->commit(); }).detach();
        waits.get_future().wait();
        AtomicFileSet::finishCommitsBeforeExit();
        // Ends here, as the waiting commit may still use all of the above.
        ::_exit(0);
    });
    EXPECT_EQ(exitStatusOf(child), 0);
    EXPECT_EQ(visible(contentsIn(old.folder.path())), old.before);
}

namespace {

// Two processes commit different versions of the same files into a folder
// and a folder in it, staged in opposite orders: the second, in a child
// process that `prepareSecond` readies first, comes once the first has
// moved one file in, and must wait for it, so the folders end with the
// second version whole, never some files of each.
void expectTwoProcessesTakeTurns(const std::function<void()>& prepareSecond) {
    test::TemporaryDirectory folder;
    fs::create_directory(folder / "sub");
    const std::vector<std::string> names = {"a.png", "sub/b.png", "c.png"};
    const auto stageVersion = [&](AtomicFileSet& set, const std::string& version) -> Status {
        std::vector<std::string> order = names;
        if (version == "second") std::reverse(order.begin(), order.end());
        for (const std::string& name : order)
            LF_TRY(set.stage(folder / name, Data::fromString(version + " " + name).span()));
        return {};
    };
    int goEnds[2], toldEnds[2];
    ASSERT_EQ(::pipe2(goEnds, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(toldEnds, O_CLOEXEC), 0);
    const FileDescriptor goRead(goEnds[0]), goWrite(goEnds[1]), toldRead(toldEnds[0]);
    FileDescriptor toldWrite(toldEnds[1]);
    const pid_t second = startChild([&] {
        prepareSecond();
        AtomicFileSet set;
        char byte = 0;
        if (!stageVersion(set, "second") || ::read(goRead.get(), &byte, 1) != 1) return 2;
        const auto tell = [&](char what) { return ::write(toldWrite.get(), &what, 1) == 1; };
        FolderLock::setWaitHookForTesting([&] { tell('w'); });
        const bool committed = bool(set.commit());
        tell('d');
        return committed ? 0 : 1;
    });
    toldWrite = FileDescriptor();
    AtomicFileSet first;
    ASSERT_TRUE(stageVersion(first, "first"));
    char told = 0;
    AtomicFileSet::setMoveInHookForTesting([&](size_t movedIn) {
        if (movedIn != 1) return;
        const char byte = 'g';
        EXPECT_EQ(::write(goWrite.get(), &byte, 1), 1);
        // Waits for the second to wait for this commit, or to end (a fault).
        EXPECT_EQ(::read(toldRead.get(), &told, 1), 1);
    });
    EXPECT_TRUE(first.commit());
    AtomicFileSet::setMoveInHookForTesting(nullptr);
    EXPECT_EQ(told, 'w') << "the second commit did not wait for the first";
    EXPECT_EQ(exitStatusOf(second), 0);
    std::map<std::string, std::string> expected;
    for (const std::string& name : names)
        expected[name] = "second " + name;
    EXPECT_EQ(contentsBelow(folder.path()), expected);
}

}  // namespace

TEST(AtomicFileSetTurns, CommitsOfTwoProcessesIntoOneFolderTakeTurns) {
    expectTwoProcessesTakeTurns([] {});
}

// The two processes see different environments, one with XDG_RUNTIME_DIR
// and one without, as a cron job or an ssh session beside the application
// does, and another user has put something under the name that the
// temporary folder would give them (a folder open to all, a link, a
// file): they take turns all the same.
TEST(AtomicFileSetTurns, ProcessesOfDifferentEnvironmentsTakeTurns) {
    test::TemporaryDirectory scratch;
    const fs::path xdg = scratch / "xdg", temporary = scratch / "tmp",
                   planted = temporary / ("layerflow-" + std::to_string(::geteuid()));
    fs::create_directory(xdg);
    fs::permissions(xdg, fs::perms::owner_all);
    fs::create_directory(temporary);
    fs::create_directory(scratch / "home");
    const test::ScopedUserAccountFolders account(scratch / "run", scratch / "home");
    const test::ScopedEnvironment noXdg("XDG_RUNTIME_DIR", std::nullopt);
    const test::ScopedEnvironment tmpdir("TMPDIR", temporary.string());
    const std::vector<std::pair<const char*, std::function<void()>>> plants = {
        {"a folder open to all",
         [&] {
             fs::create_directory(planted);
             fs::permissions(planted, fs::perms::all);
         }},
        {"a link", [&] { fs::create_directory_symlink(xdg, planted); }},
        {"a file", [&] { test::writeFile(planted, "planted"); }},
    };
    for (const auto& [name, plant] : plants) {
        SCOPED_TRACE(name);
        fs::remove_all(planted);
        plant();
        expectTwoProcessesTakeTurns([&] { ::setenv("XDG_RUNTIME_DIR", xdg.c_str(), 1); });
    }
    EXPECT_TRUE(fs::is_empty(xdg)) << "nothing was made where the environment points";
}

// One set staged through a folder and through a link to it takes the
// folder's lock once: a second take would wait on the commit's own lock
// for ever. In a child process, which ends with 3 where a take waits.
TEST(AtomicFileSetTurns, ASetThroughAFolderAndALinkToItLocksTheFolderOnce) {
    test::TemporaryDirectory scratch;
    const fs::path folder = scratch / "out", link = scratch / "link";
    fs::create_directory(folder);
    fs::create_directory_symlink(folder, link);
    const pid_t child = startChild([&] {
        FolderLock::setWaitHookForTesting([] { ::_exit(3); });
        AtomicFileSet set;
        if (!set.stage(folder / "a.png", Data::fromString("a").span()) ||
            !set.stage(link / "b.png", Data::fromString("b").span()))
            return 2;
        return set.commit() ? 0 : 1;
    });
    EXPECT_EQ(exitStatusOf(child), 0);
    EXPECT_EQ(contentsBelow(folder),
              (std::map<std::string, std::string>{{"a.png", "a"}, {"b.png", "b"}}));
}

// What a caller notes once the files are in may write a file of its own
// into one of the commit's folders (a save into the settings folder): the
// commit has let go of its folders by then, so the write neither waits for
// it nor hangs.
TEST(AtomicFileSetTurns, WhatACommitNotesMayWriteIntoItsOwnFolder) {
    test::TemporaryDirectory folder;
    AtomicFileSet set;
    ASSERT_TRUE(set.stage(folder / "a.png", Data::fromString("a").span()));
    Status noted = Error::posix(ENOENT, "note");
    ASSERT_TRUE(set.commit([&] {
        noted = writeFileAtomically((folder / "defaults.json").string(), Data::fromString("{}"));
    }));
    EXPECT_TRUE(noted);
    EXPECT_EQ(contentsBelow(folder.path()),
              (std::map<std::string, std::string>{{"a.png", "a"}, {"defaults.json", "{}"}}));
}

namespace {

// In a child process: a commit into `out` notes itself into `settings`
// (a save that records itself), and once it has moved its first file in,
// another thread's commit into `settings` comes and waits for the
// process's turn; with `exitMeanwhile` the exit begins then too, and ends
// the child with 0. Nothing else holds a folder, so a write that has to
// wait for a folder's lock waits on the waiting commit, which waits on
// the writer: the child ends with 3 there.
int commitsMeetingAtTheTurn(const fs::path& out, const fs::path& settings, bool exitMeanwhile) {
    FolderLock::setWaitHookForTesting([] { ::_exit(3); });
    AtomicFileSet intoSettings, intoOut;
    if (!intoSettings.stage(settings / "preset.json", Data::fromString("preset").span()) ||
        !intoOut.stage(out / "a.png", Data::fromString("a").span()) ||
        !intoOut.stage(out / "b.png", Data::fromString("b").span()))
        return 2;
    std::promise<void> settingsCommitWaits, exitWaits;
    AtomicFileSet::setTurnWaitHookForTesting([&] { settingsCommitWaits.set_value(); });
    AtomicFileSet::setExitHookForTesting([&] { exitWaits.set_value(); });
    bool met = false, settingsCommitted = false;
    std::thread settingsCommit;
    AtomicFileSet::setMoveInHookForTesting([&](size_t movedIn) {
        if (movedIn != 1 || std::exchange(met, true)) return;
        settingsCommit = std::thread([&] { settingsCommitted = bool(intoSettings.commit()); });
        settingsCommitWaits.get_future().wait();
        if (!exitMeanwhile) return;
        std::thread([] {
            AtomicFileSet::finishCommitsBeforeExit();
            ::_exit(0);
        }).detach();
        exitWaits.get_future().wait();
    });
    Status noted = Error::posix(ENOENT, "note");
    const bool outCommitted = bool(intoOut.commit([&] {
        noted = writeFileAtomically((settings / "defaults.json").string(), Data::fromString("{}"));
    }));
    settingsCommit.join();
    return outCommitted && noted && settingsCommitted ? 0 : 1;
}

}  // namespace

// A commit waiting for the process's turn holds no folder that the commit
// holding the turn notes itself into: both end, and so does an exit begun
// while they wait on each other, once the commit under way is in.
TEST(AtomicFileSetTurns, ACommitWaitingForTheTurnHoldsUpNoNoteOfTheCommitUnderWay) {
    for (const bool exitMeanwhile : {false, true}) {
        SCOPED_TRACE(exitMeanwhile ? "with an exit" : "without an exit");
        test::TemporaryDirectory out, settings;
        const pid_t child = startChild(
            [&] { return commitsMeetingAtTheTurn(out.path(), settings.path(), exitMeanwhile); });
        EXPECT_EQ(exitStatusOf(child), 0);
        EXPECT_EQ(contentsBelow(out.path()),
                  (std::map<std::string, std::string>{{"a.png", "a"}, {"b.png", "b"}}));
        std::map<std::string, std::string> notes = {{"defaults.json", "{}"}};
        if (!exitMeanwhile) notes["preset.json"] = "preset";
        EXPECT_EQ(visible(contentsBelow(settings.path())), notes);
    }
}
