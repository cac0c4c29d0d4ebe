// The locks that order this user's writes into a folder: they live in a
// private folder of the user's alone, their files go with their holders
// and a waiter keeps its turn across that; and what other programs lock
// (a folder that a backup or sync program, or another user, holds with
// flock, the settings folder too) holds up no write.
#include "platform/files/Data.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/UserRuntimeFolder.h"
#include "platform/settings/UserDefaults.h"
#include "platform/writing/AtomicFile.h"
#include "platform/writing/AtomicFileSet.h"
#include "platform/writing/FolderLock.h"
#include "platform/writing/HiddenName.h"
#include "platform/writing/TemporaryName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace lf;
namespace fs = std::filesystem;

// The private folder is in $XDG_RUNTIME_DIR when that is a folder of the
// user's alone, else made in the temporary folder; a name there that
// another user may have put first (a link, a folder others may enter) is
// refused.
TEST(UserRuntimeFolder, IsAFolderOfTheUsersAloneOrNone) {
    test::TemporaryDirectory scratch;
    const fs::path open = scratch / "open",
                   fallback = scratch / ("layerflow-" + std::to_string(::geteuid()));
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    const test::ScopedEnvironment tmpdir("TMPDIR", scratch.path().string());
    const test::ScopedEnvironment xdg("XDG_RUNTIME_DIR", open.string());
    EXPECT_EQ(userRuntimeFolder().valueOr(""), fallback);
    EXPECT_EQ(fs::symlink_status(fallback).permissions(), fs::perms::owner_all);
    fs::remove(fallback);
    fs::create_directory_symlink(scratch.path(), fallback);
    EXPECT_FALSE(userRuntimeFolder()) << "a link";
    fs::remove(fallback);
    fs::create_directory(fallback);
    fs::permissions(fallback, fs::perms::all);
    EXPECT_FALSE(userRuntimeFolder()) << "a folder others may enter";
}

// The holder removes the lock file as it lets go. A take that waited on
// the file it removed does not hold that file's lock beside one who has
// locked the new file there since (it waits again); and a path that leads
// to the folder another way shares its lock.
TEST(FolderLock, AWaiterKeepsItsTurnAcrossTheRemovalOfTheLockFile) {
    test::TemporaryDirectory scratch;
    const fs::path folder = scratch / "out";
    fs::create_directory(folder);
    fs::create_directory_symlink(folder, scratch / "link");
    const test::ScopedEnvironment xdg("XDG_RUNTIME_DIR", scratch.path().string());

    std::mutex mutex;
    std::condition_variable changed;
    int waits = 0;
    std::optional<FolderLock> waiterHolds;
    FolderLock::setWaitHookForTesting([&] {
        std::lock_guard lock(mutex);
        ++waits;
        changed.notify_all();
    });
    std::optional<FolderLock> first(*FolderLock::take(folder, FolderLock::Wait::Never));
    EXPECT_FALSE(FolderLock::take(scratch / "link", FolderLock::Wait::Never));
    std::thread waiter([&] {
        auto taken = FolderLock::take(folder, FolderLock::Wait::UntilFree);
        ASSERT_TRUE(taken);
        std::lock_guard lock(mutex);
        waiterHolds.emplace(std::move(*taken));
        changed.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return waits == 1; });
    }
    first.reset();
    if (auto newcomer = FolderLock::take(folder, FolderLock::Wait::Never)) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return waits == 2 || waiterHolds; });
        EXPECT_FALSE(waiterHolds) << "two holders at once";
    }
    waiter.join();
    waiterHolds.reset();
    FolderLock::setWaitHookForTesting(nullptr);
    EXPECT_TRUE(fs::is_empty(scratch / "layerflow")) << "the lock files went with their holders";
}

// Another program holds the output folder, a folder in it and the settings
// folder locked: atomic files, sets of files and the user defaults are
// written all the same, and the leftover of a killed write goes.
TEST(ForeignLocks, AFolderThatAnotherProgramLocksHoldsUpNoWrite) {
    test::TemporaryDirectory scratch;
    const fs::path out = scratch / "out", settings = scratch / "layerflow";
    fs::create_directories(out / "sub");
    fs::create_directory(settings);
    const std::string leftover =
        temporaryNamePrefix("a.png", TemporaryRole::NewContents, longestNameIn(out)) +
        std::string(kTemporaryDigits, '0');
    test::writeFile(out / leftover, "left over");
    std::vector<FileDescriptor> lockedByAnother;
    for (const fs::path& folder : {out, out / "sub", settings}) {
        lockedByAnother.emplace_back(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_EQ(::flock(lockedByAnother.back().get(), LOCK_EX | LOCK_NB), 0) << folder;
    }

    EXPECT_TRUE(writeFileAtomically(out / "a.png", Data::fromString("a")));
    AtomicFileSet set;
    ASSERT_TRUE(set.stage(out / "b.png", Data::fromString("b").span()));
    ASSERT_TRUE(set.stage(out / "sub" / "c.png", Data::fromString("c").span()));
    EXPECT_TRUE(set.commit());
    UserDefaults(settings / "defaults.json").setObject("QFAuto2xEnabled", true);

    EXPECT_EQ(test::readFile(out / "a.png"), "a");
    EXPECT_EQ(test::readFile(out / "b.png"), "b");
    EXPECT_EQ(test::readFile(out / "sub" / "c.png"), "c");
    EXPECT_FALSE(fs::exists(out / leftover));
    EXPECT_TRUE(UserDefaults(settings / "defaults.json").boolForKey("QFAuto2xEnabled"));
}
