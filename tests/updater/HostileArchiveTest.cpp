// Hostile archives: entries that leave their folder, listings that are too
// large or lie, and unpackings held to their limits however the archive
// lies, in little memory too.

#include "ArchiveTestSupport.h"
#include "ChildChecks.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

namespace fs = std::filesystem;
using lf::test::ArchiveTest;
using lf::test::kSanitizerEndsWhereMemoryRunsOut;
using lf::test::largestLengthWhile;
using lf::test::limitAddressSpace;
using lf::test::runIn;
using lf::test::understateGzipLength;
using lf::test::understateZipLengths;

namespace {

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

    // Links to absolute paths and links that climb out, one of them to a
    // real folder beside the download folder: read-only, holding a closed
    // one, which no opening of the unpacked folders may reach.
    const fs::path outside = folder_ / "outside";
    fs::create_directories(outside / "closed");
    fs::permissions(outside / "closed", fs::perms::none);
    fs::permissions(outside, fs::perms(0555));
    for (const char* target : {"/etc/passwd", "../../../../etc", "../../../outside"}) {
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
            EXPECT_EQ(fs::status(outside).permissions(), fs::perms(0555));
            EXPECT_EQ(fs::symlink_status(outside / "closed").permissions(), fs::perms::none);
        }
    }
    fs::permissions(outside, fs::perms::owner_all);
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
        lf::Status status = OMAUExtractArchive(archive.string(), {}, {.length = kLimit});
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().code, kOMAUArchiveTooLarge);
        EXPECT_FALSE(fs::exists(download() / "layerflow.app")) << "refused before unpacking";
        EXPECT_TRUE(OMAUExtractArchive(archive.string(), {}, {.length = 4 * kLimit}))
            << "within a larger one";
        fs::remove_all(download());
        fs::create_directories(download());
    }

    // The unpacked files are counted again, since a listing can lie: three
    // entries, each taking a block more than its length.
    fs::create_directories(download() / "a" / "b");
    lf::test::writeFile(download() / "a" / "b" / "big", "");
    fs::resize_file(download() / "a" / "b" / "big", kLimit);
    const lf::Result<OMAUUnpackedSize> unpacked = OMAUUnpackedSizeOf(download().string());
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(unpacked->length, kLimit);
    EXPECT_EQ(unpacked->entries, 3u);
    constexpr uint64_t kDiskUse = kLimit + 3 * kOMAUEntryBlock;
    EXPECT_EQ(unpacked->diskUse(), kDiskUse);
    EXPECT_TRUE(unpacked->within({.length = kDiskUse, .entries = 3}));
    EXPECT_FALSE(unpacked->within({.length = kDiskUse - 1}));
    EXPECT_FALSE(unpacked->within({.entries = 2}));
}

TEST_F(ArchiveTest, APathDeeperThanTheBoundIsRefusedBeforeUnpacking) {
    // 200 folders in the application's: the listing is read as far as the
    // first folder past 128.
    const fs::path deep = folder_ / "deep";
    fs::path bottom = deep / "layerflow.app";
    for (int level = 0; level < 200; ++level)
        bottom /= "d";
    fs::create_directories(bottom);
    lf::test::writeFile(bottom / "file", "x");
    const fs::path archive = make("deep.tgz", "tar -czf %s layerflow.app", deep);
    lf::Status status = extract(archive);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().code, kOMAUArchiveTooLarge);
    EXPECT_EQ(status.error().localizedDescription(),
              "the archive " + archive.string() +
                  " holds a path 129 folders deep, more than the 128 an update may hold");
    EXPECT_EQ(std::distance(fs::directory_iterator(download()), fs::directory_iterator()), 1)
        << "nothing unpacked";
}

TEST_F(ArchiveTest, AListingOfHalfAMillionEntriesIsRefusedInLittleMemory) {
    // 500,000 entries a kilobyte long: a gigabyte of listing, read and
    // counted as tar prints it, under an address space limited to what a
    // fresh process maps plus 256 MiB (in a process other tests ran in,
    // the memory they freed would count within the limit and be given out
    // again).
    if (const std::optional<std::string> archive = lf::test::freshProcessArgument()) {
        ASSERT_TRUE(limitAddressSpace(256 << 20));
        lf::Status refused = OMAUExtractArchive(*archive, {});
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().localizedDescription(),
                  "the archive " + *archive +
                      " holds 100001 entries, more than the 100000 an update may hold");
        return;
    }
    // One gzip piece of 1,000 entries, written 500 times (gzip takes pieces
    // one after another as one stream), then the archive's end.
    const fs::path names = folder_ / "names";
    const std::string name =
        std::string(250, 'a') + "/" + std::string(250, 'b') + "/" + std::string(250, 'c');
    fs::create_directories(names / name);
    lf::test::writeFile(names / name / std::string(250, 'd'), "");
    std::string list;
    for (int i = 0; i < 1000; ++i)
        list += name + "/" + std::string(250, 'd') + "\n";
    lf::test::writeFile(names / "list", list);
    const fs::path archive =
        make("huge.tgz",
             "(tar --format=gnu --record-size=512 -cf ../piece.tar -T list && "
             "head -c -1024 ../piece.tar | gzip -1 > ../piece.gz && "
             "(for i in $(seq 500); do cat ../piece.gz; done; head -c 1024 /dev/zero | gzip) "
             "> %s)",
             names);
    lf::test::expectInFreshProcess(archive.string());
    EXPECT_EQ(downloadHolds(), std::vector<std::string>{"huge.tgz"});
}

TEST_F(ArchiveTest, AnArchiveThatNeedsMoreMemoryThanThereIsIsRefusedAndLeavesNothing) {
    if (kSanitizerEndsWhereMemoryRunsOut)
        GTEST_SKIP() << "the sanitizer ends the process where memory runs out";
    // 60,000 files of long names, which the watch keeps in memory as they
    // come, against 4 MiB more than a fresh process maps (as above): the
    // update is refused, the process goes on, and nothing stays behind.
    if (const std::optional<std::string> archive = lf::test::freshProcessArgument()) {
        ASSERT_TRUE(limitAddressSpace(4 << 20));
        EXPECT_FALSE(OMAUExtractArchive(*archive, {}));
        return;
    }
    // Made in memory where the system offers a file system there: so many
    // files are slow to make on a disk.
    lf::test::ScopedEnvironment inMemory(
        "TMPDIR", fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string());
    lf::test::TemporaryDirectory folder;
    fs::create_directories(folder / "many" / "layerflow.app");
    for (int i = 0; i < 60000; ++i)
        lf::test::writeFile(
            folder / "many" / "layerflow.app" / (std::string(200, 'x') + std::to_string(i)), "");
    fs::create_directories(folder / "download");
    const fs::path archive = folder / "download" / "many.tgz";
    ASSERT_TRUE(runIn(folder / "many", "tar -czf '" + archive.string() + "' layerflow.app"));
    lf::test::expectInFreshProcess(archive.string());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "download"), fs::directory_iterator()),
              1);
}

TEST_F(ArchiveTest, EveryEntryCountsAndTakesABlock) {
    // 300 empty files: no length, yet 301 entries with their folder, each
    // taking an inode and a block.
    const fs::path empty = folder_ / "empty";
    fs::create_directories(empty / "layerflow.app");
    for (int i = 0; i < 300; ++i)
        lf::test::writeFile(empty / "layerflow.app" / std::to_string(i), "");
    const fs::path archive = make("empty.tgz", "tar -czf %s layerflow.app", empty);
    constexpr uint64_t kDiskUse = 301 * kOMAUEntryBlock;
    const std::pair<OMAUUnpackingLimits, std::string> refusals[] = {
        {{.length = kDiskUse - 1},
         "takes 1232896 bytes on disk, more than the 1232895 an update may unpack to"},
        {{.entries = 300}, "holds 301 entries, more than the 300 an update may hold"}};
    for (const auto& [limits, says] : refusals) {
        lf::Status listed = OMAUExtractArchive(archive.string(), {}, limits);
        ASSERT_FALSE(listed);
        EXPECT_EQ(listed.error().code, kOMAUArchiveTooLarge);
        EXPECT_EQ(listed.error().localizedDescription(),
                  "the archive " + archive.string() + " " + says)
            << "refused before unpacking";
        EXPECT_FALSE(fs::exists(download() / "layerflow.app"));
    }
    EXPECT_TRUE(OMAUExtractArchive(archive.string(), {}, {.length = kDiskUse, .entries = 301}));
}

TEST_F(ArchiveTest, HostileArchivesNeverHoldMoreThanTheLimitAndItsSlack) {
    // 32 MiB of zeros, in one file and in 64 of 512 KiB (each within the
    // limit, so only their sum can stop them), against a limit of 1 MiB.
    constexpr uint64_t kLimit = 1 << 20;
    const fs::path one = folder_ / "one", many = folder_ / "many";
    fs::create_directories(one / "layerflow.app");
    fs::create_directories(many / "layerflow.app");
    lf::test::writeFile(one / "layerflow.app" / "zeros", std::string(32 << 20, '\0'));
    for (int i = 0; i < 64; ++i)
        lf::test::writeFile(many / "layerflow.app" / ("zeros" + std::to_string(i)),
                            std::string(512 << 10, '\0'));
    const auto zip = [](const fs::path& archive) { understateZipLengths(archive, 1003); };
    const auto gzip = [](const fs::path& archive) { understateGzipLength(archive, 1000); };
    struct Hostile {
        const char* name;
        fs::path from;
        const char* command;
        std::function<void(const fs::path&)> lie;
        int64_t refusal;
    };
    const Hostile hostile[] = {
        // A compressed stream knows no length of its contents: refused
        // before unpacking.
        {"layerflow.dmg", one, "(bzip2 -c layerflow.app/zeros > %s)", {}, kOMAUArchiveUnreadable},
        {"one.zip", one, "zip -qrD %s layerflow.app", zip, kOMAUArchiveTooLarge},
        {"many.zip", many, "zip -qrD %s layerflow.app", zip, kOMAUArchiveTooLarge},
        // 7z takes the length of a gzip stream's contents from its trailer.
        {"trailer.dmg", one, "(gzip -c layerflow.app/zeros > %s)", gzip, kOMAUArchiveTooLarge},
        // tar reads the lengths from its own headers, and gzip checks the
        // trailer against what it unpacked.
        {"trailer.tgz", one, "tar -czf %s layerflow.app", gzip, kOMAUArchiveToolFailed},
    };
    for (const Hostile& archive : hostile) {
        SCOPED_TRACE(archive.name);
        const fs::path path = make(archive.name, archive.command, archive.from);
        if (archive.lie) archive.lie(path);
        std::optional<lf::Status> status;
        const uint64_t largest = largestLengthWhile(
            path, [&] { status = OMAUExtractArchive(path.string(), {}, {.length = kLimit}); });
        EXPECT_LE(largest, kLimit + kOMAUUnpackingSlack);
        ASSERT_FALSE(*status);
        EXPECT_EQ(status->error().code, archive.refusal) << lf::describe(status->error());
        if (archive.refusal == kOMAUArchiveTooLarge) {
            EXPECT_NE(status->error().localizedDescription().find(std::to_string(kLimit)),
                      std::string::npos)
                << "the error names the limit";
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(download()), fs::directory_iterator()), 1)
            << "nothing unpacked is left";
        fs::remove(path);
    }
}

TEST_F(ArchiveTest, ASparseFileLongerThanListedStopsAtTheLimit) {
    // The listing says 1,000 bytes; the file's map puts its data at 64 MiB,
    // where tar goes in one step, before any watch could see it.
    constexpr uint64_t kLimit = 1 << 20;
    const fs::path sparse = folder_ / "sparse";
    fs::create_directories(sparse / "layerflow.app");
    lf::test::writeFile(sparse / "layerflow.app" / "holes", "");
    fs::resize_file(sparse / "layerflow.app" / "holes", (64 << 20) - 1);
    std::ofstream(sparse / "layerflow.app" / "holes", std::ios::app) << 'x';
    const fs::path archive =
        make("sparse.tar", "tar --format=posix --sparse-version=0.0 -cSf %s layerflow.app", sparse);
    std::string bytes = lf::test::readText(archive);
    const size_t length = bytes.find("GNU.sparse.size=67108864");
    ASSERT_NE(length, std::string::npos);
    bytes.replace(length, 24, "GNU.sparse.size=00001000");
    lf::test::writeFile(archive, bytes);

    std::optional<lf::Status> status;
    const uint64_t largest = largestLengthWhile(
        archive, [&] { status = OMAUExtractArchive(archive.string(), {}, {.length = kLimit}); });
    EXPECT_LE(largest, kLimit + 1);
    ASSERT_FALSE(*status);
    EXPECT_EQ(status->error().code, kOMAUArchiveTooLarge);
    // The kernel's limit stopped it, not a count.
    EXPECT_EQ(status->error().localizedDescription(),
              "the archive " + archive.string() +
                  " holds a file longer than the 1048576 bytes an update may unpack to");
    EXPECT_EQ(std::distance(fs::directory_iterator(download()), fs::directory_iterator()), 1)
        << "nothing unpacked is left";

    // A file cut at the limit with data in it weighs past the limit in the
    // count too; the cut still says more.
    OMAUUnpackingOutcome cut;
    cut.termination.status = SIGXFSZ;
    lf::Status refused = OMAURequireUnpacked(
        "App.tar", "tar", cut, {.length = kLimit + 1, .entries = 2}, {.length = kLimit});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().localizedDescription(),
              "the archive App.tar holds a file longer than the 1048576 bytes an update may "
              "unpack to");
}

}  // namespace
