// Zips whose entries unzip could write under other names than the archive
// gives them: names from MS-DOS, names that come twice, and directories of
// more entries than their end records' count holds.

#include "ArchiveTestSupport.h"
#include "updater/unpacking/OMAUZipEntryNames.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <iterator>

namespace fs = std::filesystem;
using lf::test::ArchiveTest;
using lf::test::runIn;
using lf::test::writeZip;
using lf::test::ZipEntry;

namespace {

// "été", which unzip names otherwise when it comes from MS-DOS.
const std::string kSummer = "\u00e9t\u00e9";

std::ptrdiff_t entriesIn(const fs::path& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// "layerflow.app/" and the files "0", "1"... in it, `count` entries in all.
std::vector<ZipEntry> numberedEntries(size_t count) {
    std::vector<ZipEntry> entries = {{"layerflow.app/"}};
    for (size_t i = 0; entries.size() < count; ++i)
        entries.push_back({"layerflow.app/" + std::to_string(i)});
    return entries;
}

// Reads the names of the entries in `zip` into `names`.
lf::Status readNames(const fs::path& zip, std::vector<OMAUZipEntryName>& names) {
    return OMAUForEachZipEntryName(zip.string(), [&](const OMAUZipEntryName& name) {
        names.push_back(name);
        return true;
    });
}

TEST_F(ArchiveTest, AnEntryNamedTwiceIsRefused) {
    // unzip would ask whether to replace the first copy, and nobody could
    // answer. Named once from each system, the copies land under two
    // names, one of them not the archive's.
    lf::test::writeFile(source() / "layerflow.app" / "twice1", "first");
    lf::test::writeFile(source() / "layerflow.app" / "twice2", "second");
    const fs::path zip = make("twice.zip", "zip -qr %s layerflow.app");
    std::string bytes = lf::test::readText(zip);
    for (size_t at = bytes.find("twice2"); at != std::string::npos; at = bytes.find("twice2", at))
        bytes[at + 5] = '1';
    lf::test::writeFile(zip, bytes);
    const fs::path systems = download() / "systems.zip";
    const std::string name = "layerflow.app/" + kSummer + ".txt";
    writeZip(systems, {{"layerflow.app/"}, {name, 3, true}, {name, 0, true}});
    for (const auto& [archive, twice] :
         {std::pair{zip, std::string("layerflow.app/twice1")}, std::pair{systems, name}}) {
        SCOPED_TRACE(archive.filename().string());
        const lf::Status refused = extract(archive);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().code, kOMAUArchiveHostileContents);
        EXPECT_EQ(refused.error().localizedDescription(),
                  fmt::format("the zip archive {} names the entry \"{}\" twice", archive.string(),
                              twice));
    }
    EXPECT_EQ(downloadHolds(), (std::vector<std::string>{"systems.zip", "twice.zip"}));
}

TEST_F(ArchiveTest, EntriesNamedInUTF8UnpackUnderTheirNamesOrAreRefused) {
    // unzip takes the name of an entry made on MS-DOS for one in that
    // system's code page, flagged UTF-8 or not, and writes and lists it so:
    // a file's name and an empty folder's alike.
    const fs::path zip = download() / "named.zip";
    for (const std::string& name :
         {"layerflow.app/" + kSummer + ".txt", "layerflow.app/" + kSummer + "/"}) {
        for (const uint8_t system : {3, 0}) {
            SCOPED_TRACE(name + (system == 0 ? " from MS-DOS" : " from Unix"));
            writeZip(zip, {{"layerflow.app/", system}, {name, system, true}});
            const lf::Status status = extract(zip);
            if (status || system == 3) {
                ASSERT_TRUE(status) << lf::describe(status.error());
                const fs::path unpacked = download() / name;
                EXPECT_TRUE(name.ends_with('/') ? fs::is_directory(unpacked)
                                                : fs::is_regular_file(unpacked));
                EXPECT_EQ(entriesIn(download() / "layerflow.app"), 1);
                fs::remove_all(download() / "layerflow.app");
                continue;
            }
            EXPECT_EQ(status.error().code, kOMAUArchiveToolFailed);
            EXPECT_EQ(status.error().localizedDescription(),
                      "unzip did not unpack the archive's entry \"" + name +
                          "\" under the name the archive gives it");
            EXPECT_EQ(downloadHolds(), std::vector<std::string>{"named.zip"});
        }
    }

    // Unflagged, a name says nothing of its code page, and unzip's reading
    // of it ("été" in code page 437) is as good as any: the zip installs.
    writeZip(zip, {{"layerflow.app/", 0}, {"layerflow.app/\x82t\x82.txt", 0}});
    const lf::Status unflagged = extract(zip);
    ASSERT_TRUE(unflagged) << lf::describe(unflagged.error());
    EXPECT_EQ(entriesIn(download() / "layerflow.app"), 1);
}

TEST_F(ArchiveTest, ZipsOfMoreEntriesThanTheirCountHoldsAreReadWhole) {
    // Made in memory where the system offers a file system there: so many
    // files are slow to make on a disk.
    const lf::test::ScopedEnvironment inMemory(
        "TMPDIR", fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string());
    const lf::test::TemporaryDirectory folder;
    // 65,535 entries, as Python's zipfile writes them: the end record's
    // count full, and no Zip64 record.
    const fs::path full = folder / "full.zip";
    writeZip(full, numberedEntries(65535));
    const lf::Status installed = OMAUExtractArchive(full.string(), {});
    ASSERT_TRUE(installed) << lf::describe(installed.error());
    EXPECT_EQ(entriesIn(folder / "layerflow.app"), 65534);
    fs::remove_all(folder / "layerflow.app");

    // 65,537, whose count says 1: the last entry, from MS-DOS, is checked
    // like any other.
    std::vector<ZipEntry> entries = numberedEntries(65536);
    entries.push_back({"layerflow.app/" + kSummer + ".txt", 0, true});
    const fs::path wrapped = folder / "wrapped.zip";
    writeZip(wrapped, entries);
    const lf::Status status = OMAUExtractArchive(wrapped.string(), {});
    if (status) {
        EXPECT_TRUE(fs::is_regular_file(folder / "layerflow.app" / (kSummer + ".txt")));
        EXPECT_EQ(entriesIn(folder / "layerflow.app"), 65536);
        return;
    }
    EXPECT_EQ(status.error().localizedDescription(), "unzip did not unpack the archive's entry \"" +
                                                         entries.back().name +
                                                         "\" under the name the archive gives it");
    EXPECT_EQ(entriesIn(folder.path()), 2);
}

TEST(OMAUZipEntryNames, AreReadFromTheCentralDirectoryOfAnyLength) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("python3"), "python3");
    // Past 65,535 entries the end record leaves the numbers to its Zip64
    // form; bytes before the first entry move nothing.
    const lf::test::TemporaryDirectory folder;
    const fs::path zip = folder / "many.zip", cut = folder / "cut.zip";
    ASSERT_TRUE(runIn(folder.path(),
                      "python3 -c 'import zipfile\n"
                      "with zipfile.ZipFile(\"many.zip\", \"w\") as z:\n"
                      "    for i in range(70000): z.writestr(\"%d\" % i, \"\")\n"
                      "    z.writestr(\"\u00e9t\u00e9/\", \"\")'"));
    lf::test::writeFile(folder / "sfx.zip", "sfx" + lf::test::readText(zip));
    for (const fs::path& archive : {zip, folder / "sfx.zip"}) {
        SCOPED_TRACE(archive.filename().string());
        std::vector<OMAUZipEntryName> names;
        const lf::Status read = readNames(archive, names);
        ASSERT_TRUE(read) << lf::describe(read.error());
        ASSERT_EQ(names.size(), 70001u);
        EXPECT_EQ(names[69999].name, "69999");
        EXPECT_FALSE(names[69999].flaggedUTF8);
        EXPECT_EQ(names.back().name, "\u00e9t\u00e9/");
        EXPECT_TRUE(names.back().flaggedUTF8);
    }

    // Cut inside its directory: it holds no longer what the end record says.
    std::string bytes = lf::test::readText(zip);
    const size_t directory = bytes.find("PK\1\2");
    bytes.erase(directory + 46 * 10, 46);
    lf::test::writeFile(cut, bytes);
    const lf::Status broken =
        OMAUForEachZipEntryName(cut.string(), [](const auto&) { return true; });
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().code, kOMAUArchiveUnreadable);
}

TEST(OMAUZipEntryNames, AreReadToTheDirectorysEndAndAgreeWithItsCount) {
    // Without Zip64, a directory of 65,535 entries fills the end record's
    // count, and one of 65,537 states 1 there.
    const lf::test::TemporaryDirectory folder;
    const fs::path zip = folder / "numbered.zip";
    for (const size_t count : {65535u, 65537u}) {
        SCOPED_TRACE(count);
        writeZip(zip, numberedEntries(count));
        std::vector<OMAUZipEntryName> names;
        const lf::Status read = readNames(zip, names);
        ASSERT_TRUE(read) << lf::describe(read.error());
        ASSERT_EQ(names.size(), count);
        EXPECT_EQ(names.back().name, "layerflow.app/" + std::to_string(count - 2));
    }

    // A count that disagrees, modulo 65,536 too.
    std::string bytes = lf::test::readText(zip);
    bytes[bytes.size() - 12] = bytes[bytes.size() - 14] = 2;
    lf::test::writeFile(zip, bytes);
    std::vector<OMAUZipEntryName> names;
    const lf::Status miscounted = readNames(zip, names);
    ASSERT_FALSE(miscounted);
    EXPECT_EQ(miscounted.error().code, kOMAUArchiveUnreadable);
    EXPECT_EQ(
        miscounted.error().localizedDescription(),
        "the zip archive " + zip.string() + " holds 65537 entries where its end record says 2");

    // A name that comes twice, refused before it is handed on.
    writeZip(zip, {{"a"}, {"b"}, {"a"}});
    names.clear();
    const lf::Status twice = readNames(zip, names);
    ASSERT_FALSE(twice);
    EXPECT_EQ(twice.error().code, kOMAUArchiveHostileContents);
    EXPECT_EQ(names.size(), 2u);
}

}  // namespace
