// The locks that order this user's writes into a folder: they live in a
// private folder of the user's alone, their files go with their holders
// and a waiter keeps its turn across that; and what other programs lock
// (a folder that a backup or sync program, or another user, holds with
// flock, the settings folder too) holds up no write.
#include "ScopedUserAccountFolders.h"
#include "platform/core/Log.h"
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
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace lf;
namespace fs = std::filesystem;

namespace {

// Why the private folder cannot be had, as the log says it; empty when it can.
std::string refusalOfTheRuntimeFolder() {
    const Result<std::string> folder = userRuntimeFolder();
    return folder ? "" : folder.error().localizedDescription();
}

// What the user's group or others may do with a folder that is not the
// user's alone: anything, or only what one of them may.
const fs::perms kOpenToOthers[] = {
    fs::perms::owner_all | fs::perms::group_all,
    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
    fs::perms::owner_all | fs::perms::others_all,
    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec,
    fs::perms::all,
};

}  // namespace

// The private folder is found from the user's account alone: in the
// session folder where that is a folder of the user's alone, else made in
// the home folder; what XDG_RUNTIME_DIR and TMPDIR name changes nothing.
// A session folder that is not the user's alone (a link, one open to its
// group or to others) is passed over, and a name in the home that is not
// the user's alone is refused, saying why; a home that cannot take the
// folder gives none.
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
    for (const fs::perms open : kOpenToOthers) {
        fs::permissions(session, open);
        EXPECT_EQ(userRuntimeFolder().valueOr(""), inHome) << "a session folder open to others";
    }
    fs::remove_all(session);
    fs::create_directory_symlink(elsewhere, session);
    EXPECT_EQ(userRuntimeFolder().valueOr(""), inHome) << "a session folder that is a link";
    EXPECT_TRUE(fs::is_empty(elsewhere)) << "what the environment names is left alone";

    const std::string refused = "use the private folder " + inHome.string() + ": ";
    fs::remove(inHome);
    fs::create_directory_symlink(elsewhere, inHome);
    EXPECT_EQ(refusalOfTheRuntimeFolder(), refused + "it is a link");
    fs::remove(inHome);
    fs::create_directory(inHome);
    for (const fs::perms open : kOpenToOthers) {
        fs::permissions(inHome, open);
        EXPECT_EQ(refusalOfTheRuntimeFolder(), refused + "it is open to its group or to others");
    }
    // Only an administrator can give a folder away.
    fs::permissions(inHome, fs::perms::owner_all);
    if (::geteuid() == 0 && ::chown(inHome.c_str(), 65534, 65534) == 0) {
        EXPECT_EQ(refusalOfTheRuntimeFolder(), refused + "it is another user's");
    }
    const test::ScopedUserAccountFolders homeless(session, scratch / "missing");
    EXPECT_FALSE(userRuntimeFolder()) << "a home that cannot take it";
}

// Where no test puts the account's folders, the password database names
// the user's home, whatever $HOME says: the folder is the session
// folder's where that is the user's alone, else the home's.
TEST(UserRuntimeFolder, IsFoundThroughThePasswordDatabase) {
    test::TemporaryDirectory scratch;
    const test::ScopedEnvironment home("HOME", scratch.path().string());
    const test::ScopedEnvironment xdg("XDG_RUNTIME_DIR", scratch.path().string());
    const struct passwd* account = ::getpwuid(::geteuid());
    ASSERT_TRUE(account && account->pw_dir);
    const fs::path session = "/run/user/" + std::to_string(::geteuid());
    struct stat info {};
    const bool sessionIsTheUsersAlone = ::lstat(session.c_str(), &info) == 0 &&
                                        S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
                                        (info.st_mode & 077) == 0;

    // What it makes in the home stays, as an export would leave it.
    const Result<std::string> folder = userRuntimeFolder();
    ASSERT_TRUE(folder) << describe(folder.error());
    EXPECT_EQ(*folder, sessionIsTheUsersAlone
                           ? session / "layerflow"
                           : fs::path(account->pw_dir) / ".cache/layerflow/locks");
    EXPECT_EQ(fs::symlink_status(*folder).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(scratch.path())) << "what the environment names is left alone";
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

// Whatever else stands at a lock file's name is no lock (a FIFO, whose
// open would wait for a writer that may never come; a link): the write
// goes on unordered with other processes, as the log says, and ends with
// its files. What stands there is left as it is.
TEST(FolderLock, WhatIsNoFileAtTheLockFilesNameIsNoLock) {
    test::TemporaryDirectory scratch;
    const fs::path out = scratch / "out", target = scratch / "target";
    fs::create_directory(out);
    test::writeFile(target, "target");
    const test::ScopedUserAccountFolders account(scratch.path(), scratch / "home");
    struct stat folder {};
    ASSERT_EQ(::stat(out.c_str(), &folder), 0);
    const fs::path lockFile =
        scratch / "layerflow" /
        ("folder-" + std::to_string(folder.st_dev) + "-" + std::to_string(folder.st_ino) + ".lock");
    ASSERT_EQ(userRuntimeFolder().valueOr(""), lockFile.parent_path());

    const std::vector<std::pair<const char*, std::function<int()>>> plants = {
        {"a FIFO", [&] { return ::mkfifo(lockFile.c_str(), 0600); }},
        {"a link", [&] { return ::symlink(target.c_str(), lockFile.c_str()); }},
    };
    for (const auto& [name, plant] : plants) {
        SCOPED_TRACE(name);
        fs::remove(lockFile);
        ASSERT_EQ(plant(), 0);
        const fs::file_type planted = fs::symlink_status(lockFile).type();
        const LogCapture log;
        AtomicFileSet set;
        ASSERT_TRUE(set.stage(out / "a.png", Data::fromString(name).span()));
        std::future<bool> committed =
            std::async(std::launch::async, [&] { return bool(set.commit()); });
        if (committed.wait_for(test::kPatience) == std::future_status::timeout) {
            ADD_FAILURE() << "the commit waits for a writer of the FIFO";
            const FileDescriptor writer(::open(lockFile.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        }
        EXPECT_TRUE(committed.get());
        EXPECT_EQ(test::readFile(out / "a.png"), name);
        EXPECT_TRUE(log.contains("unordered with other processes"));
        EXPECT_EQ(fs::symlink_status(lockFile).type(), planted);
    }
    EXPECT_EQ(test::readFile(target), "target");
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
