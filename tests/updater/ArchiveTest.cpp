// Unpacking update archives that the tests make with the system's tools,
// and refusing damaged and hostile ones.

#include "UpdaterTestSupport.h"
#include "platform/MainQueue.h"
#include "support/TestSupport.h"
#include "updater/OMAUArchiveExtraction.h"
#include "updater/OMAUUnarchiver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using lf::test::runIn;

namespace {

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        LF_REQUIRE_INSTALLED(lf::test::hasProgram("tar") && lf::test::hasProgram("zip") &&
                                 lf::test::hasProgram("unzip") && lf::test::hasProgram("7z") &&
                                 lf::test::hasProgram("bzip2"),
                             "tar, zip, unzip, bzip2 and 7z");
        lf::test::makeApplication(source(), "layerflow.app", "2.0");
        fs::create_directories(download());
    }
    fs::path source() const { return folder_ / "source"; }
    fs::path download() const { return folder_ / "download"; }
    // Makes download()/name from source() with `command` ("%s" = the archive).
    fs::path make(const std::string& name, const std::string& command) {
        const fs::path archive = download() / name;
        std::string line = command;
        std::string quoted = "'";
        quoted += archive.string() + "'";
        line.replace(line.find("%s"), 2, quoted);
        EXPECT_TRUE(runIn(source(), line)) << line;
        return archive;
    }
    lf::Status extract(const fs::path& archive) {
        extracted_ = 0;
        return OMAUExtractArchive(archive.string(),
                                  [this](uint64_t length) { extracted_ += length; });
    }
    // Truncates the archive to `share` of its size.
    void truncate(const fs::path& archive, double share) {
        fs::resize_file(archive, static_cast<uintmax_t>(fs::file_size(archive) * share));
    }

    lf::test::TemporaryDirectory folder_;
    uint64_t extracted_ = 0;
};

TEST_F(ArchiveTest, EachKindUnpacksBesideTheArchive) {
    const std::pair<const char*, const char*> kinds[] = {
        {"App.tar", "tar -cf %s layerflow.app"},
        {"App 2.0.tgz", "tar -czf %s layerflow.app"},
        {"App.tbz", "tar -cjf %s layerflow.app"},
        {"App.zip", "zip -qry %s layerflow.app"},
    };
    for (const auto& [name, command] : kinds) {
        SCOPED_TRACE(name);
        const fs::path archive = make(name, command);
        ASSERT_TRUE(extract(archive)) << lf::describe(extract(archive).error());
        EXPECT_EQ(extracted_, fs::file_size(archive)) << "the whole archive counted once";
        EXPECT_EQ(lf::test::readText(download() / "layerflow.app" / "version"), "2.0");
        EXPECT_TRUE(fs::is_symlink(download() / "layerflow.app" / "version"));
        EXPECT_TRUE(
            static_cast<bool>(fs::status(download() / "layerflow.app" / "layerflow").permissions() &
                              fs::perms::owner_exec));
        fs::remove_all(download());
        fs::create_directories(download());
    }
}

TEST_F(ArchiveTest, ADiskImageUnpacksWhereDebianCanMakeOne) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("genisoimage"), "genisoimage");
    const fs::path image = make("App.dmg", "genisoimage -quiet -V App -R -hfs -o %s .");
    lf::Status tooLarge = OMAUExtractArchive(image.string(), {}, 8);
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.error().code, kOMAUArchiveTooLarge) << "its listing counted";
    ASSERT_TRUE(extract(image)) << lf::describe(extract(image).error());
    EXPECT_EQ(lf::test::readText(download() / "layerflow.app" / "version"), "2.0");
}

TEST_F(ArchiveTest, OnlyTheExactExtensionsAreArchives) {
    EXPECT_EQ(OMAUArchiveKindOfPath("/a/App 1.2.tgz"), OMAUArchiveKind::TGZ);
    EXPECT_FALSE(OMAUArchiveKindOfPath("/a/App.tar.gz")) << "extension gz";
    EXPECT_FALSE(OMAUArchiveKindOfPath("/a/App.ZIP"));
    const fs::path archive = make("App.tar.gz", "tar -czf %s layerflow.app");
    lf::Status status = extract(archive);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().code, kOMAUArchiveUnknownKind);
}

TEST_F(ArchiveTest, TruncatedArchivesFail) {
    for (const auto& [name, command] : {std::pair{"App.tgz", "tar -czf %s layerflow.app"},
                                        std::pair{"App.tbz", "tar -cjf %s layerflow.app"},
                                        std::pair{"App.zip", "zip -qry %s layerflow.app"},
                                        std::pair{"App.tar", "tar -cf %s layerflow.app"}}) {
        SCOPED_TRACE(name);
        // Big enough that a cut reaches into the contents, not only padding.
        lf::test::writeFile(source() / "layerflow.app" / "resources" / "big",
                            std::string(200000, 'x') + std::to_string(rand()));
        const fs::path archive = make(name, command);
        truncate(archive, 0.4);
        EXPECT_FALSE(extract(archive));
        fs::remove_all(download());
        fs::create_directories(download());
    }
}

TEST_F(ArchiveTest, EntriesAndLinksThatLeaveTheFolderAreRefused) {
    // "../" in a name: unzip would drop it quietly, tar refuses it.
    fs::create_directories(source() / "deep" / "er");
    lf::test::writeFile(source() / "evil", "x");
    const fs::path zipUp = make("up.zip", "cd deep/er && zip -q %s ../../evil");
    lf::Status zipped = extract(zipUp);
    ASSERT_FALSE(zipped);
    EXPECT_EQ(zipped.error().code, kOMAUArchiveHostileContents);

    const fs::path tarUp = make("up.tar", "cd deep/er && tar -cPf %s ../../evil");
    EXPECT_FALSE(extract(tarUp));

    // Absolute names, which the tools would make relative.
    const fs::path absolute = make("absolute.tar", "tar -cPf %s \"$PWD/evil\"");
    lf::Status absoluteStatus = extract(absolute);
    ASSERT_FALSE(absoluteStatus);
    EXPECT_EQ(absoluteStatus.error().code, kOMAUArchiveHostileContents);

    // Links to absolute paths and links that climb out.
    for (const char* target : {"/etc/passwd", "../../../../etc"}) {
        SCOPED_TRACE(target);
        fs::remove(source() / "layerflow.app" / "escape");
        fs::create_symlink(target, source() / "layerflow.app" / "escape");
        for (const auto& [name, command] : {std::pair{"link.tar", "tar -cf %s layerflow.app"},
                                            std::pair{"link.zip", "zip -qry %s layerflow.app"}}) {
            fs::remove_all(download());
            fs::create_directories(download());
            lf::Status status = extract(make(name, command));
            ASSERT_FALSE(status) << name;
            EXPECT_EQ(status.error().code, kOMAUArchiveHostileContents) << name;
        }
    }
}

TEST_F(ArchiveTest, ArchivesThatUnpackTooLargeAreRefused) {
    // 8 MiB of zeros pack into a few kilobytes; the limit here is 4 MiB.
    constexpr uint64_t kLimit = 4 << 20;
    lf::test::writeFile(source() / "layerflow.app" / "zeros", std::string(8 << 20, '\0'));
    for (const auto& [name, command] : {std::pair{"App.zip", "zip -qry %s layerflow.app"},
                                        std::pair{"App.tgz", "tar -czf %s layerflow.app"}}) {
        SCOPED_TRACE(name);
        const fs::path archive = make(name, command);
        EXPECT_LT(fs::file_size(archive), 64u << 10);
        lf::Status status = OMAUExtractArchive(archive.string(), {}, kLimit);
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().code, kOMAUArchiveTooLarge);
        EXPECT_FALSE(fs::exists(download() / "layerflow.app")) << "refused before unpacking";
        EXPECT_TRUE(OMAUExtractArchive(archive.string(), {}, 4 * kLimit)) << "within a larger one";
        fs::remove_all(download());
        fs::create_directories(download());
    }

    // The unpacked files are counted again, the archive aside, since a
    // listing can lie.
    const fs::path archive = download() / "App.zip";
    lf::test::writeFile(archive, "");
    fs::resize_file(archive, 2 * kLimit);
    EXPECT_TRUE(OMAUCheckUnpackedLength(download().string(), archive.string(), kLimit));
    fs::create_directories(download() / "a" / "b");
    lf::test::writeFile(download() / "a" / "b" / "big", "");
    fs::resize_file(download() / "a" / "b" / "big", kLimit + 1);
    lf::Status unpacked = OMAUCheckUnpackedLength(download().string(), archive.string(), kLimit);
    ASSERT_FALSE(unpacked);
    EXPECT_EQ(unpacked.error().code, kOMAUArchiveTooLarge);
}

TEST_F(ArchiveTest, SpecialFilesAndSetIDBitsAreRefused) {
    ASSERT_EQ(::mkfifo((source() / "layerflow.app" / "pipe").c_str(), 0600), 0);
    lf::Status fifo = extract(make("fifo.tar", "tar -cf %s layerflow.app"));
    ASSERT_FALSE(fifo);
    EXPECT_EQ(fifo.error().code, kOMAUArchiveHostileContents);

    fs::remove(source() / "layerflow.app" / "pipe");
    fs::remove_all(download());
    fs::create_directories(download());
    fs::permissions(source() / "layerflow.app" / "layerflow", fs::perms::set_uid,
                    fs::perm_options::add);
    // tar keeps the bit for root only; the folder is checked either way.
    lf::Status setID = extract(make("setid.tar", "tar -cf %s layerflow.app"));
    EXPECT_TRUE(!setID || geteuid() != 0);
    fs::permissions(download() / "layerflow.app" / "layerflow", fs::perms::set_uid,
                    fs::perm_options::add);
    lf::Status checked = OMAUCheckExtractedContents(download().string());
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error().code, kOMAUArchiveHostileContents);
}

class UnarchiverRecorder : public OMAUUnarchiverDelegate {
public:
    uint64_t extracted = 0;
    std::optional<bool> finished;
    void unarchiverExtractedLength(OMAUUnarchiver&, uint64_t length) override {
        extracted += length;
    }
    void unarchiverDidFinish(std::shared_ptr<OMAUUnarchiver>) override { finished = true; }
    void unarchiverDidFail(std::shared_ptr<OMAUUnarchiver>) override { finished = false; }
};

TEST_F(ArchiveTest, TheUnarchiverReportsOnTheMainQueue) {
    const fs::path archive = make("App.tgz", "tar -czf %s layerflow.app");
    const fs::path broken = make("Broken.zip", "zip -qry %s layerflow.app");
    truncate(broken, 0.5);
    for (const auto& [path, succeeds] : {std::pair{archive, true}, std::pair{broken, false}}) {
        auto recorder = std::make_shared<UnarchiverRecorder>();
        auto unarchiver = OMAUUnarchiver::create();
        unarchiver->setDelegate(recorder);
        unarchiver->unarchivePath(path.string());
        lf::MainQueue::shared()->runUntil([&] { return recorder->finished.has_value(); });
        ASSERT_TRUE(recorder->finished.has_value());
        EXPECT_EQ(*recorder->finished, succeeds) << path;
        EXPECT_EQ(unarchiver->failure().has_value(), !succeeds);
        if (succeeds) {
            lf::MainQueue::shared()->drain();
            EXPECT_EQ(recorder->extracted, fs::file_size(path));
        }
    }
}

}  // namespace
