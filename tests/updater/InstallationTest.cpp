// Putting an update in place of the installed folder, with a way back.

#include "ChildChecks.h"
#include "UpdaterTestSupport.h"
#include "support/TestSupport.h"
#include "updater/installation/OMAUInstallation.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using lf::test::readText;

namespace {

// Renames, the `failing`-th of which fails; `count` counts them.
OMAUReplacementSteps renamesFailingAt(int failing, int& count) {
    return {[failing, &count](const char* from, const char* to) {
        if (++count == failing) {
            errno = EIO;
            return -1;
        }
        return ::rename(from, to);
    }};
}

class InstallationTest : public ::testing::Test {
protected:
    void SetUp() override {
        installed_ = lf::test::makeApplication(folder_ / "Applications", "layerflow", "1.0");
        update_ = lf::test::makeApplication(folder_ / "download", "layerflow.app", "2.0");
    }
    std::string installedVersion() const { return readText(installed_ / "version"); }
    size_t entriesBesideInstalled() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(installed_.parent_path()),
                                                 fs::directory_iterator()));
    }

    lf::test::TemporaryDirectory folder_;
    // The old copy goes to a trash of the test's own.
    lf::test::ScopedEnvironment trash_{"XDG_DATA_HOME", (folder_ / "data").string()};
    fs::path installed_, update_;
};

TEST_F(InstallationTest, TheUpdateTakesThePlaceOfTheInstalledFolder) {
    ASSERT_TRUE(OMAUMovePathAsUser(update_, installed_));
    EXPECT_EQ(installedVersion(), "2.0");
    EXPECT_TRUE(fs::is_symlink(installed_ / "version"));
    EXPECT_FALSE(fs::exists(update_));
    EXPECT_EQ(entriesBesideInstalled(), 1u) << "the old copy is not left beside it";
}

TEST_F(InstallationTest, AFailedSecondStepPutsTheOldCopyBack) {
    int renames = 0;
    const fs::path backup = installed_.parent_path() / "layerflow.old";
    lf::Status replaced =
        OMAUReplaceBundle(update_, installed_, backup, renamesFailingAt(2, renames));
    ASSERT_FALSE(replaced);
    EXPECT_EQ(renames, 3) << "aside, in place (failed), back";
    EXPECT_EQ(installedVersion(), "1.0");
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(readText(update_ / "version"), "2.0") << "the update is still there to try again";

    // A failed first step changes nothing either.
    renames = 0;
    EXPECT_FALSE(OMAUReplaceBundle(update_, installed_, backup, renamesFailingAt(1, renames)));
    EXPECT_EQ(installedVersion(), "1.0");
}

TEST_F(InstallationTest, AnUpdateOnAnotherFileSystemIsCopiedBesideTheTargetFirst) {
    struct stat temporary = {}, shared = {};
    if (::stat("/dev/shm", &shared) != 0 || ::stat(folder_.path().c_str(), &temporary) != 0 ||
        shared.st_dev == temporary.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    lf::test::ScopedEnvironment tmp("TMPDIR", "/dev/shm");
    lf::test::TemporaryDirectory onShm;
    const fs::path update = lf::test::makeApplication(onShm.path(), "layerflow.app", "3.0");

    int renames = 0;
    const fs::path backup = installed_.parent_path() / "layerflow.old";
    ASSERT_FALSE(OMAUReplaceBundle(update, installed_, backup, renamesFailingAt(2, renames)));
    EXPECT_EQ(installedVersion(), "1.0");
    EXPECT_EQ(entriesBesideInstalled(), 1u) << "the copy beside the target is removed";

    ASSERT_TRUE(OMAUReplaceBundle(update, installed_, backup));
    EXPECT_EQ(installedVersion(), "3.0");
    EXPECT_EQ(readText(backup / "version"), "1.0");
    EXPECT_TRUE(fs::exists(update)) << "copied, not moved";
}

// Whether /dev/shm lies on another file system than `folder`.
bool sharedMemoryIsElsewhere(const fs::path& folder) {
    struct stat shared = {}, here = {};
    return ::stat("/dev/shm", &shared) == 0 && ::stat(folder.c_str(), &here) == 0 &&
           shared.st_dev != here.st_dev;
}

TEST_F(InstallationTest, AnUpdateFromAnotherFileSystemKeepsItsModes) {
    const lf::test::UnprivilegedFolder home;
    if (!sharedMemoryIsElsewhere(home.path())) GTEST_SKIP() << "no second file system at /dev/shm";
    // Modes mean nothing to root, who may read a closed file anyway.
    lf::test::expectInChild(
        [&] {
            ::umask(022);
            lf::test::ScopedEnvironment tmp("TMPDIR", "/dev/shm");
            lf::test::TemporaryDirectory onShm;
            const fs::path update = lf::test::makeApplication(onShm.path(), "layerflow.app", "3.0");
            lf::test::writeFile(update / "closed", "kept");
            fs::permissions(update / "closed", fs::perms::none);
            fs::create_directories(update / "read-only");
            fs::permissions(update / "read-only", fs::perms(0555));
            const fs::path installed =
                lf::test::makeApplication(home.path() / "Applications", "layerflow", "1.0");

            lf::Status replaced = OMAUReplaceBundle(update, installed, home.path() / "old");
            ASSERT_TRUE(replaced) << lf::describe(replaced.error());
            EXPECT_EQ(readText(installed / "version"), "3.0");
            EXPECT_EQ(fs::status(installed).permissions(), fs::perms(0755));
            EXPECT_EQ(fs::status(installed / "closed").permissions(), fs::perms::none);
            EXPECT_EQ(fs::file_size(installed / "closed"), 4u);
            EXPECT_EQ(fs::status(installed / "read-only").permissions(), fs::perms(0555));
            EXPECT_EQ(fs::status(update / "closed").permissions(), fs::perms::none)
                << "the update is given its mode back";
            OMAURemoveQuietly(onShm.path());
        },
        {.unprivileged = true});
}

TEST_F(InstallationTest, ThePrivilegedStepRunsTheInstallerHelper) {
    // /usr/bin/env stands in for pkexec: the helper runs as this user.
    const OMAUPrivilegedMove privileged{"env", LF_UPDATE_INSTALLER};
    ASSERT_TRUE(OMAUMovePathWithForcedAuthentication(update_, installed_, privileged));
    EXPECT_EQ(installedVersion(), "2.0");
    EXPECT_FALSE(fs::exists(installed_.parent_path() / "layerflow.old"))
        << "the old copy is removed";

    // A name taken for the old copy stops the move before anything is asked.
    const fs::path second =
        lf::test::makeApplication(folder_ / "download2", "layerflow.app", "3.0");
    fs::create_directories(installed_.parent_path() / "layerflow.old");
    const OMAUPrivilegedMove neverRun{"false", LF_UPDATE_INSTALLER};
    lf::Status refused = OMAUMovePathWithForcedAuthentication(second, installed_, neverRun);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, EEXIST);
    EXPECT_EQ(installedVersion(), "2.0");
}

TEST_F(InstallationTest, WithSIGCHLDIgnoredAFailingPrivilegedStepIsAFailure) {
    // The kernel then reaps the step as it ends, and how it ended is lost:
    // that is never success.
    lf::test::expectInChild(
        [&] {
            std::signal(SIGCHLD, SIG_IGN);
            const lf::Status refused = OMAUMovePathWithForcedAuthentication(
                update_, installed_, OMAUPrivilegedMove{"false", LF_UPDATE_INSTALLER});
            ASSERT_FALSE(refused);
            EXPECT_EQ(refused.error().localizedDescription(),
                      "the privileged installer ended with a status that could not be read");
            EXPECT_EQ(installedVersion(), "1.0");
        },
        {});
}

TEST_F(InstallationTest, TheInstallerHelperReplacesOnlyAnInstalledCopyOfTheSameApplication) {
    // What it refuses it refuses before touching anything, so this user can
    // see it; as root it would replace what it was given.
    const fs::path elsewhere = folder_ / "elsewhere";
    fs::create_directories(elsewhere);
    lf::test::writeFile(elsewhere / "file", "not an application");
    fs::create_symlink(installed_, elsewhere / "link");
    lf::test::makeApplication(elsewhere, "other", "1.0", "org.example.other");
    const std::pair<const char*, const char*> refused[] = {
        {"file", "is not a folder"},
        {"link", "is a link, not a folder"},
        {"other", "holds org.example.other, another application"},
        {"missing", "No such file or directory"},
    };
    for (const auto& [name, says] : refused) {
        SCOPED_TRACE(name);
        const fs::path destination = elsewhere / name;
        const auto [status, output] = lf::test::runCommand(
            fmt::format("'{}' '{}' '{}' '{}'", LF_UPDATE_INSTALLER, update_.string(),
                        destination.string(), (elsewhere / "backup").string()));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(output.find("refusing to replace " + destination.string()), std::string::npos)
            << output;
        EXPECT_NE(output.find(says), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(elsewhere / "backup"));
        EXPECT_EQ(readText(update_ / "version"), "2.0") << "the update stays";
    }
    EXPECT_EQ(readText(elsewhere / "file"), "not an application");
    EXPECT_TRUE(fs::is_symlink(elsewhere / "link"));
    EXPECT_EQ(readText(elsewhere / "other" / "version"), "1.0");
    EXPECT_FALSE(fs::exists(elsewhere / "missing"));
    EXPECT_EQ(installedVersion(), "1.0");
}

TEST_F(InstallationTest, TheInstallerHelperGivesTheNewFolderTheOldOnesOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only an administrator can give files away";
    ASSERT_EQ(::lchown(installed_.c_str(), 4321, 4322), 0);
    // The helper reads the owner from the installed folder: it is given none.
    ASSERT_TRUE(OMAUMovePathWithForcedAuthentication(
        update_, installed_, OMAUPrivilegedMove{"env", LF_UPDATE_INSTALLER}));
    EXPECT_EQ(installedVersion(), "2.0");
    for (const fs::path& path : {installed_, installed_ / "resources" / "version.txt"}) {
        struct stat status {};
        ASSERT_EQ(::lstat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, 4321u) << path;
        EXPECT_EQ(status.st_gid, 4322u) << path;
    }
}

TEST_F(InstallationTest, TheInstallerHelperInstallsFromAnotherFileSystemForEveryUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "only an administrator can run it for another user";
    const lf::test::UnprivilegedFolder home;
    if (!sharedMemoryIsElsewhere(home.path())) GTEST_SKIP() << "no second file system at /dev/shm";
    ::umask(022);
    lf::test::ScopedEnvironment tmp("TMPDIR", "/dev/shm");
    lf::test::TemporaryDirectory onShm;
    const fs::path update = lf::test::makeApplication(onShm.path(), "layerflow.app", "3.0");
    const fs::path installed =
        lf::test::makeApplication(home.path() / "Applications", "layerflow", "1.0");
    ASSERT_TRUE(OMAUMovePathWithForcedAuthentication(
        update, installed, OMAUPrivilegedMove{"env", LF_UPDATE_INSTALLER}));
    lf::test::expectInChild(
        [&] {
            const auto [status, output] =
                lf::test::runCommand("'" + installed.string() + "/layerflow'");
            EXPECT_EQ(status, 0) << output;
            EXPECT_EQ(output, "3.0\n");
        },
        {.unprivileged = true});
}

TEST_F(InstallationTest, OwnershipAndRunningCopies) {
    EXPECT_TRUE(OMAUCurrentUserOwnsPath(installed_));
    EXPECT_FALSE(OMAUCurrentUserOwnsPath(folder_ / "missing"));
    EXPECT_GE(OMAUCopiesRunning(program_invocation_short_name), 1u) << "this test";
    EXPECT_EQ(OMAUCopiesRunning("no-such-program-here"), 0u);
}

}  // namespace
