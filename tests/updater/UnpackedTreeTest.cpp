// Walks of an unpacked tree from its folder's descriptor down: the watch
// handling a change after the tree moved on, a walk meeting a folder
// swapped for a link or replaced on its way back, a folder it may not
// enter, a tree deeper than any path counted and removed with few
// descriptors, read-only folders removed, and what a walk's errors name.

#include "ChildChecks.h"
#include "UpdaterTestSupport.h"
#include "support/TestSupport.h"
#include "updater/unpacking/OMAUUnpackedContents.h"
#include "updater/unpacking/OMAUUnpackedLengthWatch.h"
#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUFolderWalk.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::perms modeOf(const fs::path& path) {
    return fs::symlink_status(path).permissions();
}

TEST(OMAUUnpackedLengthWatch, AChangeHandledLateNeitherLeavesTheTreeNorFailsOnAClosedFolder) {
    // Modes mean nothing to root.
    const lf::test::UnprivilegedFolder home;
    lf::test::expectInChild(
        [&] {
            const fs::path watched = home.path() / "watched", outside = home.path() / "outside";
            fs::create_directories(watched / "x");
            fs::create_directories(outside / "d" / "e");
            fs::permissions(outside / "d" / "e", fs::perms::none);
            fs::permissions(outside / "d", fs::perms::none);
            lf::Result<OMAUUnpackedLengthWatch> watch = OMAUUnpackedLengthWatch::start(watched, {});
            ASSERT_TRUE(watch) << lf::describe(watch.error());

            // The tool makes x/d; by the time the watch handles it, x is a
            // link to a folder outside whose own d is closed.
            fs::create_directory(watched / "x" / "d");
            watch->setChangeHook([&](std::string_view name) {
                if (name != "d" || fs::is_symlink(watched / "x")) return;
                fs::rename(watched / "x", watched / "y");
                fs::create_directory_symlink(outside, watched / "x");
            });
            ASSERT_TRUE(watch->update());
            ASSERT_TRUE(fs::is_symlink(watched / "x"));
            fs::permissions(outside / "d", fs::perms::owner_exec);
            EXPECT_EQ(modeOf(outside / "d" / "e"), fs::perms::none);
            fs::permissions(outside / "d", fs::perms::none);
            EXPECT_EQ(modeOf(outside / "d"), fs::perms::none);

            // A tool closes a folder, and the one holding it, between the
            // change and its handling (tar gives folders their modes once
            // it has filled them): the watch opens them and counts on.
            fs::create_directory(watched / "a");
            ASSERT_TRUE(watch->update());
            fs::create_directory(watched / "a" / "b");
            lf::test::writeFile(watched / "a" / "b" / "file", "12345");
            watch->setChangeHook([&](std::string_view name) {
                if (name != "b" || modeOf(watched / "a") == fs::perms::none) return;
                fs::permissions(watched / "a" / "b", fs::perms::none);
                fs::permissions(watched / "a", fs::perms::none);
            });
            lf::Result<OMAUUnpackedSize> size = watch->update();
            ASSERT_TRUE(size) << lf::describe(size.error());
            EXPECT_EQ(size->length, 5u) << "the file in the closed folder";
            EXPECT_EQ(modeOf(watched / "a" / "b"), fs::perms::owner_all);

            // The file's own changes, handled each after the tool closed
            // its folder again, still count it.
            watch->setChangeHook([&](std::string_view name) {
                if (name == "file") fs::permissions(watched / "a" / "b", fs::perms::none);
            });
            lf::test::writeFile(watched / "a" / "b" / "file", "1234567890");
            size = watch->update();
            ASSERT_TRUE(size) << lf::describe(size.error());
            EXPECT_EQ(size->length, 10u);
        },
        {.unprivileged = true});
}

// A visitor that goes into every folder and notes the path of every entry
// it is shown.
OMAUFolderVisitor notingVisitor(std::vector<std::string>& seen) {
    OMAUFolderVisitor visitor;
    visitor.visit = [&seen](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        seen.push_back(entry.path());
        return S_ISDIR(entry.status.st_mode);
    };
    return visitor;
}

TEST(OMAUFolderWalk, AFolderSwappedForALinkOutsideIsNotEntered) {
    // Once the walk has read "x" as a folder, it becomes a link to a folder
    // outside, before the walk comes to enter it.
    lf::test::TemporaryDirectory home;
    const fs::path tree = home / "tree", outside = home / "outside";
    fs::create_directories(tree / "x");
    fs::create_directories(outside / "inner");
    lf::test::writeFile(outside / "secret", "s");
    lf::Result<lf::FileDescriptor> opened = OMAUOpenFolder(tree);
    ASSERT_TRUE(opened);
    std::vector<std::string> seen;
    OMAUFolderVisitor visitor = notingVisitor(seen);
    const auto visit = visitor.visit;
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        if (entry.path() == "x" && S_ISDIR(entry.status.st_mode)) {
            fs::rename(tree / "x", home / "moved");
            fs::create_directory_symlink(outside, tree / "x");
        }
        return visit(entry);
    };
    std::vector<std::string> entered;
    visitor.enter = [&](const OMAUWalkEntry& entry, int) -> lf::Status {
        entered.push_back(entry.path());
        return {};
    };
    ASSERT_TRUE(OMAUWalkFolder(opened->get(), visitor));
    EXPECT_TRUE(entered.empty()) << entered.front();
    for (const std::string& path : seen)
        EXPECT_EQ(path, "x") << "a path through the link";
}

TEST(OMAUFolderWalk, AFolderReplacedOnTheWayBackFailsTheWalk) {
    // Once the walk is in a/b/d (or a/b/e), that folder moves out of the
    // tree, so ".." leads elsewhere, and a/b is replaced by another folder
    // holding a d and an e of its own: the way back down from the top
    // leads to another folder, and the walk stops there.
    lf::test::TemporaryDirectory home;
    const fs::path tree = home / "tree";
    fs::create_directories(tree / "a" / "b" / "d");
    fs::create_directories(tree / "a" / "b" / "e");
    lf::Result<lf::FileDescriptor> opened = OMAUOpenFolder(tree);
    ASSERT_TRUE(opened);
    std::vector<std::string> seen;
    OMAUFolderVisitor visitor = notingVisitor(seen);
    std::string left;
    visitor.enter = [&](const OMAUWalkEntry& entry, int) -> lf::Status {
        if (entry.depth != 3 || !left.empty()) return {};
        left = entry.name;
        fs::rename(tree / "a" / "b" / left, home / "away");
        fs::rename(tree / "a" / "b", home / "old");
        for (const char* name : {"d", "e"}) {
            fs::create_directories(tree / "a" / "b" / name);
            lf::test::writeFile(tree / "a" / "b" / name / "planted", "p");
        }
        return {};
    };
    lf::Status walked = OMAUWalkFolder(opened->get(), visitor);
    ASSERT_FALSE(walked);
    EXPECT_EQ(walked.error().code, ESTALE);
    EXPECT_EQ(walked.error().localizedDescription(), "a/b changed while the update was read");
    for (const std::string& path : seen)
        EXPECT_EQ(path.find("planted"), std::string::npos) << path;
}

TEST(OMAUFolderWalk, AFolderThatCannotBeEnteredFailsTheCheck) {
    // A folder of another user's that this one may not open (mode 0700),
    // holding a link out: neither gone nor a link, so the check cannot
    // pass over it. Only root can make a folder of another user's.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's folder";
    const lf::test::UnprivilegedFolder home;
    const fs::path tree = home.path() / "layerflow.app";
    fs::create_directories(tree / "foreign");
    fs::create_directory_symlink("/etc", tree / "foreign" / "out");
    fs::permissions(tree / "foreign", fs::perms::owner_all);
    ASSERT_EQ(::chown(tree.c_str(), 65534, 65534), 0);
    lf::test::expectInChild(
        [&] {
            lf::Status checked = OMAUCheckExtractedContents(tree.string());
            ASSERT_FALSE(checked);
            EXPECT_EQ(lf::describe(checked.error()),
                      "NSPOSIXErrorDomain 13: open foreign: Permission denied");
            EXPECT_FALSE(OMAUUnpackedSizeOf(tree.string()));
        },
        {.unprivileged = true});
}

TEST(OMAUFolderWalk, ATreeDeeperThanAnyPathIsCountedAndRemovedWithFewDescriptors) {
    const lf::test::UnprivilegedFolder home;
    lf::test::expectInChild(
        [&] {
            const fs::path tree = home.path() / "unpacked";
            lf::test::makeDeepTree(tree, 2000);
            const rlimit few = {64, 64};
            ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
            lf::Result<OMAUUnpackedSize> size = OMAUUnpackedSizeOf(tree.string());
            ASSERT_TRUE(size) << lf::describe(size.error());
            EXPECT_EQ(size->depth, 2000u);
            EXPECT_EQ(size->entries, 2001u);
            OMAURemoveQuietly(tree);
            EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
        },
        {.unprivileged = true});
}

TEST(OMAUFolderWalk, ReadOnlyFoldersNeverOpenedAreRemoved) {
    // Folders of mode 0555 in one another, each holding a file, none opened
    // to its owner before the removal comes.
    const lf::test::UnprivilegedFolder home;
    lf::test::expectInChild(
        [&] {
            const fs::path tree = home.path() / "unpacked";
            fs::path folder = tree;
            for (const char* name : {"a", "b", "c"}) {
                folder /= name;
                fs::create_directories(folder);
                lf::test::writeFile(folder / "file", name);
            }
            for (; folder != home.path(); folder = folder.parent_path())
                fs::permissions(folder, fs::perms(0555));
            OMAURemoveQuietly(tree);
            EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
        },
        {.unprivileged = true});
}

TEST(OMAUFolderWalk, ItsErrorsNameEntriesBelowTheWalkedFolder) {
    // The folder the walk is in moves away, and the one it came from goes:
    // it cannot go back up, and names the entry that vanished, not where
    // the walked folder lies.
    lf::test::TemporaryDirectory folder;
    fs::create_directories(folder / "layerflow.app" / "resources");
    lf::Result<lf::FileDescriptor> opened = OMAUOpenFolder(folder.path());
    ASSERT_TRUE(opened);
    OMAUFolderVisitor visitor;
    visitor.visit = [](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        return S_ISDIR(entry.status.st_mode);
    };
    visitor.enter = [&](const OMAUWalkEntry& entry, int) -> lf::Status {
        if (std::string_view(entry.name) != "resources") return {};
        fs::rename(folder / "layerflow.app" / "resources", folder / "resources");
        fs::remove(folder / "layerflow.app");
        return {};
    };
    lf::Status walked = OMAUWalkFolder(opened->get(), visitor);
    ASSERT_FALSE(walked);
    EXPECT_EQ(walked.error().localizedDescription(),
              "layerflow.app vanished while the update was read");
}

}  // namespace
