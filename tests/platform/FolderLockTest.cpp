// The locks that order this user's writes into a folder: they live in a
// private folder of the user's alone, their files go with their holders
// and a waiter keeps its turn across that; and what other programs lock
// (a folder that a backup or sync program, or another user, holds with
// flock, the settings folder too) holds up no write.
#include "ScopedUserAccountFolders.h"
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

// The private folder is found from the user's account alone: in the
// session folder where that is a folder of the user's alone, else made in
// the home folder; what XDG_RUNTIME_DIR and TMPDIR name changes nothing.
// A session folder that is not the user's alone (a link, one open to its
// group or to all) is passed over, and a name in the home that is not the
// user's alone is refused; a home that cannot take the folder gives none.
TEST(UserRuntimeFolder, IsFoundFromTheAccountAloneAndIsTheUsersAlone) {
    test::TemporaryDirectory scratch;
    const fs::path session = scratch / "run", home = scratch / "home",
                   elsewhere = scratch / "elsewhere", inHome = home / ".cache/layerflow/locks";
    fs::create_directories(home);
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms::owner_all);
    const test::ScopedUserAccountFolders account(session, home);
    const test::ScopedEnvironment xdg("XDG_RUNTIME_DIR", elsewhere.string());
    const test::ScopedEnvironment tmpdir("TMPDIR", elsewhere.string());

    EXPECT_EQ(userRuntimeFolder().valueOr(""), inHome) << "no session folder";
    EXPECT_EQ(fs::symlink_status(inHome).permissions(), fs::perms::owner_all);
    fs::create_directory(session);
    fs::permissions(session, fs::perms::owner_all);
    EXPECT_EQ(userRuntimeFolder().valueOr(""), session / "layerflow");
    EXPECT_EQ(fs::symlink_status(session / "layerflow").permissions(), fs::perms::owner_all);
    for (const fs::perms open : {fs::perms::owner_all | fs::perms::group_all, fs::perms::all}) {
        fs::permissions(session, open);
        EXPECT_EQ(userRuntimeFolder().valueOr(""), inHome) << "a session folder open to others";
    }
    fs::remove_all(session);
    fs::create_directory_symlink(elsewhere, session);
    EXPECT_EQ(userRuntimeFolder().valueOr(""), inHome) << "a session folder that is a link";
    EXPECT_TRUE(fs::is_empty(elsewhere)) << "what the environment names is left alone";

    fs::remove(inHome);
    fs::create_directory_symlink(elsewhere, inHome);
    EXPECT_FALSE(userRuntimeFolder()) << "a link";
    fs::remove(inHome);
    fs::create_directory(inHome);
    for (const fs::perms open :
         {fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec, fs::perms::all}) {
        fs::permissions(inHome, open);
        EXPECT_FALSE(userRuntimeFolder()) << "a folder others may enter";
    }
    const test::ScopedUserAccountFolders homeless(session, scratch / "missing");
    EXPECT_FALSE(userRuntimeFolder()) << "a home that cannot take it";
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
    const test::ScopedUserAccountFolders account(scratch.path(), scratch / "home");

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
