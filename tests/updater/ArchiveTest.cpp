// Unpacking update archives that the tests make with the system's tools:
// every kind, the unarchiver's reports, and the entries and links refused
// once unpacked.

#include "ArchiveTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "updater/unpacking/OMAUArchiveListing.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using lf::test::ArchiveTest;
using lf::test::runIn;
using lf::test::UnarchiverRecorder;

namespace {

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

TEST_F(ArchiveTest, ArchivesWithTheLongestNamesUnpack) {
    // Their private folders, named after them, would pass the longest name
    // the folder takes; they are shortened, beside names that begin alike.
    for (const size_t length : {238, 255}) {
        SCOPED_TRACE(length);
        const std::string name = std::string(length - 4, 'a') + ".tgz";
        const fs::path archive = make(name, "tar -czf %s layerflow.app");
        ASSERT_TRUE(extract(archive)) << lf::describe(extract(archive).error());
        EXPECT_EQ(downloadHolds(), (std::vector<std::string>{name, "layerflow.app"}));
        fs::remove_all(download());
        fs::create_directories(download());
    }
}

TEST_F(ArchiveTest, ADiskImageUnpacksWhereDebianCanMakeOne) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("genisoimage"), "genisoimage");
    const fs::path image = make("App.dmg", "genisoimage -quiet -V App -R -hfs -o %s .");
    lf::Status tooLarge = OMAUExtractArchive(image.string(), {}, {.length = 8});
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

TEST_F(ArchiveTest, LinksMayNotClimbAboveTheirTopFolder) {
    // Taken one component at a time from the link's folder, within the
    // folder at every step.
    const fs::path application = source() / "layerflow.app";
    fs::create_symlink("../version", application / "resources" / "back");
    fs::create_symlink("../resources/./version.txt", application / "resources" / "again");
    fs::create_symlink("..", application / "resources" / "top");
    EXPECT_TRUE(OMAUCheckExtractedContents(application.string()));

    // The folder's own name leads out of it once it is installed under
    // another; so does a link climbing back out through another link,
    // which the system takes from where that link leads ("top/.." is the
    // folder's parent).
    for (const auto& [link, target] :
         {std::pair{"x", "../layerflow.app/resources/version.txt"},
          std::pair{"resources/up", "../../layerflow.app"}, std::pair{"y", "/etc/passwd"},
          std::pair{"z", "resources/top/.."}, std::pair{"w", "resources/top/../x"}}) {
        SCOPED_TRACE(target);
        fs::create_symlink(target, application / link);
        lf::Status status = OMAUCheckExtractedContents(application.string());
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().code, kOMAUArchiveHostileContents);
        fs::remove(application / link);
    }

    // Down through a link is fine, back out through one is not, also when
    // the links go round in a loop the system would give up on.
    fs::create_symlink("resources/top/resources/version.txt", application / "through");
    fs::create_symlink("second/x", application / "first");
    fs::create_symlink("first/x", application / "second");
    EXPECT_TRUE(OMAUCheckExtractedContents(application.string()));
    for (const char* target : {"resources/top/resources/../../x", "first/../version"}) {
        SCOPED_TRACE(target);
        fs::create_symlink(target, application / "back");
        EXPECT_FALSE(OMAUCheckExtractedContents(application.string()));
        fs::remove(application / "back");
    }

    // Named, the application's folder bounds the links in it, the outermost
    // of that name (the same name deeper down belongs to its contents).
    lf::test::makeApplication(application / "plugins", "layerflow.app", "nested");
    fs::create_symlink("../../resources/version.txt",
                       application / "plugins" / "layerflow.app" / "outer");
    EXPECT_TRUE(OMAUCheckExtractedContents(source().string(), "layerflow.app"));
    fs::create_directories(source() / "sibling");
    fs::create_symlink("../sibling", application / "beside");
    EXPECT_TRUE(OMAUCheckExtractedContents(source().string()));
    lf::Status beside = OMAUCheckExtractedContents(source().string(), "layerflow.app");
    ASSERT_FALSE(beside);
    EXPECT_EQ(beside.error().localizedDescription(),
              "the archive's entry layerflow.app/beside is a link that leads out of its folder");
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
    EXPECT_EQ(fs::exists(download() / "layerflow.app"), static_cast<bool>(setID));
    lf::Status checked = OMAUCheckExtractedContents(source().string());
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error().code, kOMAUArchiveHostileContents);
}

TEST(OMAUArchiveListing, EveryEntryButAFolderGivesALength) {
    // tar: a device gives "major,minor"; anything else unreadable refuses
    // the archive, as its length could be anything.
    EXPECT_EQ(OMAUTarListingLength("-rw-r--r-- 0/0 10 2026-01-01 00:00 a\n"
                                   "crw-r--r-- 0/0 1,3 2026-01-01 00:00 null\n")
                  .valueOr(0),
              10u);
    lf::Result<uint64_t> tar = OMAUTarListingLength("-rw-r--r-- 0/0 1O 2026-01-01 00:00 a\n");
    ASSERT_FALSE(tar);
    EXPECT_EQ(tar.error().code, kOMAUArchiveUnreadable);

    // 7z: the archive's own properties, then a block an entry and the
    // summary; a folder needs no length, a file or a stream does. An error
    // 7z lists among the properties (a cut archive) refuses the archive.
    const std::string properties = "\n--\nPath = a.dmg\nType = Iso\n\n----------\n";
    const std::string folder =
        properties + "Path = a\nFolder = +\nSize = \n\nPath = a/b\nFolder = -\nSize = 4\n";
    EXPECT_EQ(OMAU7zListingLength(folder + "\n\nWarnings: 1\n").valueOr(0), 4u);
    for (const std::string& listing :
         {folder + "\nPath = a/c\nFolder = -\nSize = \nPacked Size = 9\n",
          properties + "Size = \nPacked Size = 49\n", properties + "Path = a/d\nFolder = -\n"}) {
        lf::Result<uint64_t> sevenZip = OMAU7zListingLength(listing);
        ASSERT_FALSE(sevenZip) << listing;
        EXPECT_EQ(sevenZip.error().code, kOMAUArchiveUnreadable);
    }
    lf::Result<uint64_t> cut = OMAU7zListingLength(
        "\n--\nPath = a.dmg\nType = Iso\nERRORS:\nUnexpected end of archive\n" + folder);
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().code, kOMAUArchiveToolFailed);
    EXPECT_EQ(cut.error().localizedDescription(), "7z: Unexpected end of archive");

    EXPECT_EQ(OMAUZipTotalsLength("2 files, 8388608 bytes uncompressed, 8144 bytes compressed:  "
                                  "99.9%")
                  .valueOr(0),
              8388608u);
    EXPECT_FALSE(OMAUZipTotalsLength("Empty zipfile."));
}

TEST_F(ArchiveTest, TheUnarchiverReportsOnTheMainQueue) {
    const fs::path archive = make("App.tgz", "tar -czf %s layerflow.app");
    const fs::path broken = make("Broken.zip", "zip -qry %s layerflow.app");
    truncate(broken, 0.5);
    for (const auto& [path, succeeds] : {std::pair{archive, true}, std::pair{broken, false}}) {
        auto recorder = std::make_shared<UnarchiverRecorder>();
        auto unarchiver = OMAUUnarchiver::create();
        unarchiver->setDelegate(recorder);
        unarchiver->unarchivePath(path.string());
        lf::MainQueue::shared()->runUntil([&] { return recorder->finished.has_value(); },
                                          lf::test::kPatience);
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
