// Archives whose folders are read-only or closed, as the tools give them
// their modes once they have filled them: they install, and whatever fails
// leaves nothing behind. Run as an unprivileged user, as modes mean nothing
// to root.

#include "ArchiveTestSupport.h"
#include "ChildChecks.h"
#include "updater/installation/OMAUBundleReplacement.h"
#include "updater/unpacking/OMAUUnpackedLengthWatch.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;
using lf::test::ArchiveTest;
using lf::test::runIn;
using lf::test::setZipFolderModes;

namespace {

TEST_F(ArchiveTest, ReadOnlyAndUnreadableFoldersInstallAndLeaveNothingBehind) {
    // tar gives the entries the modes asked for, the source keeping its
    // own: read-only throughout, "locked" unreadable even to its owner.
    const fs::path application = source() / "layerflow.app";
    fs::create_directories(application / "locked");
    lf::test::writeFile(application / "locked" / "secret", "x");
    const fs::path tgz =
        make("App.tgz",
             "(tar -cf ../App.tar --mode=a-w --exclude=layerflow.app/locked layerflow.app && "
             "tar -rf ../App.tar --mode=a-rwx --no-recursion layerflow.app/locked && "
             "tar -rf ../App.tar layerflow.app/locked/secret && gzip -c ../App.tar > %s)");
    const fs::path zip = make("App.zip",
                              "chmod -R a-w layerflow.app && zip -qry %s layerflow.app; "
                              "made=$?; chmod -R u+w layerflow.app; exit $made");
    ASSERT_EQ(::mkfifo((application / "pipe").c_str(), 0600), 0);
    const fs::path fifo = make("fifo.tgz", "tar -czf %s --mode=a-w layerflow.app");

    // Modes mean nothing to root.
    const lf::test::UnprivilegedFolder home;
    for (const fs::path& archive : {tgz, zip, fifo})
        home.copyIn(archive);
    lf::test::expectInChild(
        [&] {
            ::umask(022);
            const fs::path installed =
                lf::test::makeApplication(home.path() / "Applications", "layerflow.app", "1.0");
            const fs::path unpacked = home.path() / "layerflow.app";
            for (const auto& [name, lockedMode] :
                 {std::pair{"App.tgz", fs::perms(0700)}, std::pair{"App.zip", fs::perms(0755)}}) {
                SCOPED_TRACE(name);
                lf::Status status = OMAUExtractArchive((home.path() / name).string(), {});
                ASSERT_TRUE(status) << lf::describe(status.error());
                // The owner may write the folders now; the other bits stay.
                EXPECT_EQ(fs::status(unpacked).permissions(), fs::perms(0755));
                EXPECT_EQ(fs::status(unpacked / "resources").permissions(), fs::perms(0755));
                EXPECT_EQ(fs::status(unpacked / "locked").permissions(), lockedMode);
                EXPECT_EQ(lf::test::readText(unpacked / "locked" / "secret"), "x");
                ASSERT_TRUE(OMAUReplaceBundle(unpacked, installed, home.path() / "old"));
                EXPECT_EQ(lf::test::readText(installed / "version"), "2.0");
                OMAURemoveQuietly(home.path() / "old");
            }

            // Refused for its FIFO once unpacked, read-only folders and all.
            lf::Status refused = OMAUExtractArchive((home.path() / "fifo.tgz").string(), {});
            ASSERT_FALSE(refused);
            EXPECT_EQ(refused.error().code, kOMAUArchiveHostileContents);
            EXPECT_EQ(lf::describe(refused.error()).find(".unpacking"), std::string::npos)
                << "the private folder is not named";
            std::vector<std::string> left;
            for (const auto& entry : fs::directory_iterator(home.path()))
                left.push_back(entry.path().filename().string());
            std::sort(left.begin(), left.end());
            EXPECT_EQ(left,
                      (std::vector<std::string>{"App.tgz", "App.zip", "Applications", "fifo.tgz"}));

            // A folder already unreadable when the watch comes is opened to be
            // watched; an unreadable one in a read-only one is removed.
            const fs::path watched = home.path() / "watched";
            fs::create_directories(watched / "closed");
            lf::test::writeFile(watched / "closed" / "file", "12345");
            fs::permissions(watched / "closed", fs::perms::none);
            lf::Result<OMAUUnpackedLengthWatch> watch = OMAUUnpackedLengthWatch::start(watched, {});
            ASSERT_TRUE(watch) << lf::describe(watch.error());
            lf::Result<OMAUUnpackedSize> size = watch->update();
            ASSERT_TRUE(size);
            EXPECT_EQ(size->length, 5u);
            EXPECT_EQ(size->entries, 2u);
            fs::permissions(watched / "closed", fs::perms::none);
            fs::permissions(watched, fs::perms(0555));
            OMAURemoveQuietly(watched);
            EXPECT_FALSE(fs::exists(watched));
        },
        {.unprivileged = true});
}

TEST_F(ArchiveTest, NestedClosedFoldersInstallEveryTime) {
    // tar and unzip give folders their modes once they have filled them,
    // so the watch meets folders closed to it at random moments: "a" and
    // "a/b" closed, and twenty folders each in the one before, closed and
    // read-only in turn.
    const fs::path application = source() / "layerflow.app";
    fs::create_directories(application / "a" / "b");
    lf::test::writeFile(application / "a" / "b" / "file", "x");
    fs::path chain = application;
    std::map<std::string, mode_t> zipModes = {{"layerflow.app/a/", 0}, {"layerflow.app/a/b/", 0}};
    for (int level = 1; level <= 20; ++level) {
        chain /= "c";
        zipModes[chain.lexically_relative(source()).string() + "/"] = level % 2 ? 0 : 0555;
    }
    fs::create_directories(chain);
    lf::test::writeFile(chain / "file", "y");
    const fs::path tgz = make(
        "nested.tgz",
        "(tar -cf ../nested.tar --exclude=layerflow.app/a --exclude=layerflow.app/c layerflow.app "
        "&& tar -rf ../nested.tar --no-recursion --mode=a-rwx layerflow.app/a layerflow.app/a/b "
        "&& tar -rf ../nested.tar layerflow.app/a/b/file && p=layerflow.app && "
        "for i in $(seq 20); do p=$p/c; m=a-w; [ $((i % 2)) = 1 ] && m=a-rwx; "
        "tar -rf ../nested.tar --no-recursion --mode=$m $p || exit 1; done && "
        "tar -rf ../nested.tar $p/file && gzip -c ../nested.tar > %s)");
    const fs::path zip = make("nested.zip", "zip -qr %s layerflow.app");
    setZipFolderModes(zip, zipModes);

    const lf::test::UnprivilegedFolder home;
    for (const fs::path& archive : {tgz, zip})
        home.copyIn(archive);
    lf::test::expectInChild(
        [&] {
            const fs::path unpacked = home.path() / "layerflow.app";
            for (int run = 0; run < 50; ++run) {
                for (const char* archive : {"nested.tgz", "nested.zip"}) {
                    SCOPED_TRACE(fmt::format("{}, run {}", archive, run));
                    lf::Status status = OMAUExtractArchive((home.path() / archive).string(), {});
                    ASSERT_TRUE(status) << lf::describe(status.error());
                    EXPECT_EQ(lf::test::readText(unpacked / "a" / "b" / "file"), "x");
                    EXPECT_EQ(lf::test::readText(unpacked / chain.lexically_relative(application) /
                                                 "file"),
                              "y");
                    OMAURemoveQuietly(unpacked);
                }
            }
        },
        {.unprivileged = true});
}

}  // namespace
