// Unpacking update archives that the tests make with the system's tools,
// and refusing damaged and hostile ones.

#include "ChildChecks.h"
#include "UpdaterTestSupport.h"
#include "platform/MainQueue.h"
#include "support/TestSupport.h"
#include "updater/installation/OMAUBundleReplacement.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAUArchiveListing.h"
#include "updater/unpacking/OMAUArchiveTool.h"
#include "updater/unpacking/OMAUUnarchiver.h"
#include "updater/unpacking/OMAUUnpackedLengthWatch.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using lf::test::runIn;

namespace {

// The address sanitizer reports an allocation that fails and ends the
// process, where std::bad_alloc would be thrown.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// Limits this process's address space to what it maps now and `more`;
// whether it could.
bool limitAddressSpace(size_t more) {
    const std::string status = lf::test::readText("/proc/self/status");
    const size_t mapped = std::stoull(status.substr(status.find("VmSize:") + 7)) << 10;
    const rlimit addressSpace = {mapped + more, mapped + more};
    return ::setrlimit(RLIMIT_AS, &addressSpace) == 0;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        LF_REQUIRE_INSTALLED(lf::test::hasProgram("tar") && lf::test::hasProgram("zip") &&
                                 lf::test::hasProgram("unzip") && lf::test::hasProgram("7z") &&
                                 lf::test::hasProgram("bzip2") && lf::test::hasProgram("gzip") &&
                                 lf::test::hasProgram("prlimit"),
                             "tar, zip, unzip, bzip2, gzip, 7z and prlimit");
        lf::test::makeApplication(source(), "layerflow.app", "2.0");
        fs::create_directories(download());
    }
    fs::path source() const { return folder_ / "source"; }
    fs::path download() const { return folder_ / "download"; }
    // Makes download()/name in `from` (source() unless given) with `command`
    // ("%s" = the archive).
    fs::path make(const std::string& name, const std::string& command, fs::path from = {}) {
        const fs::path archive = download() / name;
        std::string line = command;
        std::string quoted = "'";
        quoted += archive.string() + "'";
        line.replace(line.find("%s"), 2, quoted);
        EXPECT_TRUE(runIn(from.empty() ? source() : from, line)) << line;
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
    // counted as tar prints it, under an address space limited to what the
    // process maps plus 256 MiB. One gzip piece of 1,000 entries, written
    // 500 times (gzip takes pieces one after another as one stream), then
    // the archive's end.
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
    lf::test::expectInChild(
        [&] {
            ASSERT_TRUE(limitAddressSpace(256 << 20));
            lf::Status refused = OMAUExtractArchive(archive.string(), {});
            ASSERT_FALSE(refused);
            EXPECT_EQ(refused.error().localizedDescription(),
                      "the archive " + archive.string() +
                          " holds 100001 entries, more than the 100000 an update may hold");
        },
        {});
    EXPECT_EQ(std::distance(fs::directory_iterator(download()), fs::directory_iterator()), 1);
}

TEST_F(ArchiveTest, AnArchiveThatNeedsMoreMemoryThanThereIsIsRefusedAndLeavesNothing) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "the address sanitizer ends the process where memory runs out";
    // 60,000 files of long names, which the watch keeps in memory as they
    // come, against 4 MiB more than the process maps: the update is refused,
    // the process goes on, and nothing stays behind. Made in memory where
    // the system offers a file system there: so many files are slow to make
    // on a disk.
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
    lf::test::expectInChild(
        [&] {
            ASSERT_TRUE(limitAddressSpace(4 << 20));
            EXPECT_FALSE(OMAUExtractArchive(archive.string(), {}));
        },
        {});
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

// Rewrites every length a zip archive states of its entries' contents (in
// the local headers and the central directory) as `length`: the contents
// stay whole, so the archive still tests as sound (unzip -t). The archive
// must hold no folder entries (zip -D).
void understateZipLengths(const fs::path& archive, uint32_t length) {
    std::string bytes = lf::test::readText(archive);
    for (const auto& [signature, offset] :
         {std::pair{std::string("PK\3\4"), 22}, std::pair{std::string("PK\1\2"), 24}})
        for (size_t at = bytes.find(signature); at != std::string::npos;
             at = bytes.find(signature, at + 4))
            for (int i = 0; i < 4; ++i)
                bytes[at + offset + i] = static_cast<char>(length >> (8 * i));
    lf::test::writeFile(archive, bytes);
}

// Gives the folders that `modes` names the modes it gives them, in the
// Unix half of their attributes in the zip archive's central directory,
// which unzip applies once everything is unpacked.
void setZipFolderModes(const fs::path& archive, const std::map<std::string, mode_t>& modes) {
    std::string bytes = lf::test::readText(archive);
    for (size_t at = bytes.find("PK\1\2"); at != std::string::npos;
         at = bytes.find("PK\1\2", at + 4)) {
        const auto field = [&](size_t offset) {
            return static_cast<uint8_t>(bytes[at + offset]) |
                   static_cast<uint8_t>(bytes[at + offset + 1]) << 8;
        };
        const auto mode = modes.find(bytes.substr(at + 46, field(28)));
        if (mode == modes.end()) continue;
        // The MS-DOS half says "folder" (0x10).
        const uint32_t attributes = static_cast<uint32_t>(S_IFDIR | mode->second) << 16 | 0x10;
        for (int i = 0; i < 4; ++i)
            bytes[at + 38 + i] = static_cast<char>(attributes >> (8 * i));
    }
    lf::test::writeFile(archive, bytes);
}

// Rewrites the length a gzip stream states of its contents, in its trailer.
void understateGzipLength(const fs::path& archive, uint32_t length) {
    std::string bytes = lf::test::readText(archive);
    for (int i = 0; i < 4; ++i)
        bytes[bytes.size() - 4 + i] = static_cast<char>(length >> (8 * i));
    lf::test::writeFile(archive, bytes);
}

// The bytes of the plain files under `folder` but `archive`, as they are
// at this moment; files that go meanwhile are passed over.
uint64_t lengthBeside(const fs::path& folder, const fs::path& archive) {
    uint64_t total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator walk(folder, error), end; !error && walk != end;
         walk.increment(error)) {
        struct stat status {};
        if (walk->path() != archive && ::lstat(walk->path().c_str(), &status) == 0 &&
            S_ISREG(status.st_mode))
            total += static_cast<uint64_t>(status.st_size);
    }
    return total;
}

// The most the files beside `archive` held together at any of the looks,
// taken every millisecond, while `work` ran.
uint64_t largestLengthWhile(const fs::path& archive, const std::function<void()>& work) {
    std::atomic<bool> done = false;
    uint64_t largest = 0;
    std::thread looker([&] {
        while (!done) {
            largest = std::max(largest, lengthBeside(archive.parent_path(), archive));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    work();
    done = true;
    looker.join();
    return largest;
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

TEST_F(ArchiveTest, AnEntryThatComesTwiceKeepsItsFirstCopy) {
    // unzip would ask whether to replace it, and nobody could answer.
    lf::test::writeFile(source() / "layerflow.app" / "twice1", "first");
    lf::test::writeFile(source() / "layerflow.app" / "twice2", "second");
    const fs::path zip = make("twice.zip", "zip -qr %s layerflow.app");
    std::string bytes = lf::test::readText(zip);
    for (size_t at = bytes.find("twice2"); at != std::string::npos; at = bytes.find("twice2", at))
        bytes[at + 5] = '1';
    lf::test::writeFile(zip, bytes);
    lf::Status status = extract(zip);
    ASSERT_TRUE(status) << lf::describe(status.error());
    EXPECT_EQ(lf::test::readText(download() / "layerflow.app" / "twice1"), "first");
}

TEST_F(ArchiveTest, NoToolAsksForAPasswordOnTheTerminal) {
    const fs::path zip = make("secret.zip", "zip -q -P secret -r %s layerflow.app");
    const fs::path image = make("secret.dmg", "7z a -t7z -psecret -mhe=on %s layerflow.app");
    // Started from a shell, the application has a controlling terminal,
    // where a tool could ask and wait for ever (or, in a background
    // process group, be stopped).
    lf::test::expectInChild(
        [&] {
            for (const fs::path& archive : {zip, image}) {
                SCOPED_TRACE(archive.filename().string());
                lf::Status status = OMAUExtractArchive(archive.string(), {});
                ASSERT_FALSE(status);
                EXPECT_EQ(status.error().code, kOMAUArchiveToolFailed)
                    << lf::describe(status.error());
                EXPECT_FALSE(fs::exists(download() / "layerflow.app"));
            }
            // No tool can even open it.
            EXPECT_FALSE(OMAUToolOutput({"sh", "-c", ": </dev/tty"}));

            // Nor would one ask where it could: each tool, listing or
            // unpacking, is told the empty password. Run here in the
            // terminal's foreground, reading it, a tool that asked would
            // wait until the child is given up on.
            for (const auto& [kind, archive] :
                 {std::pair{OMAUArchiveKind::ZIP, zip}, std::pair{OMAUArchiveKind::DMG, image}}) {
                std::vector<std::vector<std::string>> tools =
                    OMAUListingArguments(kind, archive.string());
                tools.push_back(
                    OMAUUnpackingArguments(kind, archive.string(), (folder_ / "out").string()));
                for (const std::vector<std::string>& arguments : tools) {
                    SCOPED_TRACE(fmt::format("{}", fmt::join(arguments, " ")));
                    lf::ChildProcess::Options options;
                    options.arguments = arguments;
                    options.searchPath = true;
                    lf::Result<lf::ChildProcess> tool = lf::ChildProcess::spawn(options);
                    ASSERT_TRUE(tool);
                    EXPECT_TRUE(tool->waitUntil(std::chrono::steady_clock::time_point::max()));
                }
            }
        },
        {.withTerminal = true});
}

TEST_F(ArchiveTest, RefusalsGiveTheirReasonInWordsAndNoPrivatePath) {
    // A name longer than a file system takes, in a tar and in a disk image
    // (7z names the folder it writes into); and a zip whose entries need a
    // password, which unzip, told the empty one, passes over without a
    // word. None of the tools writes into this process's error output.
    const std::string longName = std::string(256, 'x');
    const fs::path tar =
        make("long.tar", "tar -cf %s --transform 's,/layerflow$,/" + longName + ",' layerflow.app");
    const fs::path image = make("long.dmg", "7z a -t7z -si'layerflow.app/" + longName +
                                                "' %s < layerflow.app/layerflow > /dev/null");
    const fs::path zip = make("secret.zip", "zip -q -P secret -r %s layerflow.app");
    const std::pair<fs::path, std::string> refusals[] = {
        {tar, "tar: layerflow.app/" + longName + ": Cannot open: File name too long"},
        {image,
         "7z: ERROR: Cannot open output file : errno=36 : File name too long : long.dmg/"
         "layerflow.app/" +
             longName},
        {zip,
         "unzip passed over an entry it could not unpack: encrypted with a password, or "
         "compressed in a way it does not know"}};

    const fs::path said = folder_ / "stderr";
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open(said.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, STDERR_FILENO);
    ::close(file);
    std::vector<lf::Status> refused;
    for (const auto& [archive, reason] : refusals)
        refused.push_back(extract(archive));
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);

    for (size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(refusals[i].first.filename().string());
        ASSERT_FALSE(refused[i]);
        EXPECT_EQ(refused[i].error().code, kOMAUArchiveToolFailed);
        EXPECT_EQ(refused[i].error().localizedDescription(), refusals[i].second);
        EXPECT_EQ(lf::describe(refused[i].error()).find(".unpacking"), std::string::npos);
    }
    EXPECT_EQ(lf::test::readText(said), "");
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

    // 7z: a block an entry; a folder needs no length, a file or a stream does.
    const std::string folder =
        "Path = a\nFolder = +\nSize = \n\nPath = a/b\nFolder = -\nSize = 4\n";
    EXPECT_EQ(OMAU7zListingLength(folder).valueOr(0), 4u);
    for (const std::string& listing :
         {folder + "\nPath = a/c\nFolder = -\nSize = \nPacked Size = 9\n",
          std::string("Size = \nPacked Size = 49\n"), std::string("Path = a/d\nFolder = -\n")}) {
        lf::Result<uint64_t> sevenZip = OMAU7zListingLength(listing);
        ASSERT_FALSE(sevenZip) << listing;
        EXPECT_EQ(sevenZip.error().code, kOMAUArchiveUnreadable);
    }

    EXPECT_EQ(OMAUZipTotalsLength("2 files, 8388608 bytes uncompressed, 8144 bytes compressed:  "
                                  "99.9%")
                  .valueOr(0),
              8388608u);
    EXPECT_FALSE(OMAUZipTotalsLength("Empty zipfile."));
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
