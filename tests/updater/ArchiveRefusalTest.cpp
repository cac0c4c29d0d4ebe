// What a refused archive says, and that no tool asks for anything: the
// reason is the tool's first error, in words, with nothing in it that acts
// on a terminal and no private path.

#include "ArchiveTestSupport.h"
#include "ChildChecks.h"
#include "updater/unpacking/OMAUArchiveListing.h"

#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;
using lf::test::ArchiveTest;
using lf::test::runIn;
using lf::test::showsSafely;

namespace {

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
    // (7z names the folder it writes into); a zip whose entries need a
    // password, which unzip, told the empty one, passes over without a
    // word; and one from MS-DOS whose names unzip writes with slashes for
    // their backslashes, ending as it does for an entry passed over. None
    // of the tools writes into this process's error output.
    const std::string longName = std::string(256, 'x');
    const fs::path tar =
        make("long.tar", "tar -cf %s --transform 's,/layerflow$,/" + longName + ",' layerflow.app");
    const fs::path image = make("long.dmg", "7z a -t7z -si'layerflow.app/" + longName +
                                                "' %s < layerflow.app/layerflow > /dev/null");
    const fs::path zip = make("secret.zip", "zip -q -P secret -r %s layerflow.app");
    lf::test::refuseTheEmptyZipPassword(zip);
    const fs::path backslashes = download() / "backslashes.zip";
    lf::test::writeZip(backslashes, {{"layerflow.app\\version", 0}});
    const std::pair<fs::path, std::string> refusals[] = {
        {tar, "tar: layerflow.app/" + longName + ": Cannot open: File name too long"},
        {image,
         "7z: ERROR: Cannot open output file : errno=36 : File name too long : long.dmg/"
         "layerflow.app/" +
             longName},
        {zip,
         "unzip passed over an entry it could not unpack: encrypted with a password, or "
         "compressed in a way it does not know"},
        {backslashes,
         "unzip did not unpack the archive's entry \"layerflow.app\\version\" under the name "
         "the archive gives it, taking its backslashes for folder separators"}};

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

TEST_F(ArchiveTest, AReasonIsTheToolsFirstErrorNotWhatItSaysBefore) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("genisoimage"), "genisoimage");
    // Cut short: a tar of another system's (with keywords GNU tar warns
    // about), and a disk image, whose error 7z lists with the archive's
    // properties on its standard output. A hard link whose target has a
    // leading "/" (tar says it takes it off) to an entry that is not there.
    ASSERT_TRUE(runIn(source(),
                      "head -c 200000 /dev/urandom > layerflow.app/noise && "
                      "ln layerflow.app/noise layerflow.app/linked"));
    const fs::path pax = make("pax.tar",
                              "tar --format=posix --pax-option=LIBARCHIVE.creationtime:=1700000000 "
                              "-cf %s layerflow.app");
    truncate(pax, 0.5);
    const fs::path image = make("cut.dmg", "genisoimage -quiet -V App -R -o %s .");
    truncate(image, 0.5);
    const fs::path linked =
        make("linked.tar",
             "tar -cf %s --transform='s,^layerflow.app/noise$,/layerflow.app/gone,RSh' "
             "layerflow.app/noise layerflow.app/linked");
    const std::pair<fs::path, std::string> refusals[] = {
        {pax, "tar: Unexpected EOF in archive"},
        {image, "7z: Unexpected end of archive"},
        {linked,
         "tar: layerflow.app/linked: Cannot hard link to \u2018layerflow.app/gone\u2019: No such "
         "file or directory"}};
    for (const auto& [archive, reason] : refusals) {
        SCOPED_TRACE(archive.filename().string());
        const lf::Status refused = extract(archive);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().localizedDescription(), reason);
    }

    // A tool's line that names it already is not named again.
    const fs::path closed = make("closed.tgz", "tar -czf %s layerflow.app");
    const lf::test::UnprivilegedFolder home;
    const fs::path unreadable = home.copyIn(closed);
    fs::permissions(unreadable, fs::perms::none);
    lf::test::expectInChild(
        [&] {
            const lf::Status refused = OMAUExtractArchive(unreadable.string(), {});
            ASSERT_FALSE(refused);
            EXPECT_EQ(refused.error().localizedDescription(),
                      "tar (child): " + unreadable.string() + ": Cannot open: Permission denied");
        },
        {.unprivileged = true});
}

TEST_F(ArchiveTest, AReasonIsTheWholeSentenceOfWhoSaidIt) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("genisoimage"), "genisoimage");
    // Cut short, a tgz and a tbz, whose decompressors tar runs speak for
    // themselves, bzip2 over two lines; a disk image cut short and one
    // that is no disk image, which 7z names before it says why; and bytes
    // that are no zip, which unzip says over three lines.
    ASSERT_TRUE(runIn(source(), "head -c 200000 /dev/urandom > layerflow.app/noise"));
    const fs::path tgz = make("cut.tgz", "tar -czf %s layerflow.app");
    const fs::path tbz = make("cut.tbz", "tar -cjf %s layerflow.app");
    const fs::path image = make("cut.dmg", "genisoimage -quiet -V App -R -o %s .");
    for (const fs::path& archive : {tgz, tbz})
        truncate(archive, 0.5);
    fs::resize_file(image, 30000);
    const fs::path junkImage = download() / "junk.dmg", junkZip = download() / "junk.zip";
    lf::test::writeFile(junkImage, "twenty-one bytes, no.");
    lf::test::writeFile(junkZip, "twenty-one bytes, no.");
    const std::pair<fs::path, std::string> refusals[] = {
        {tgz, "gzip: stdin: unexpected end of file"},
        {tbz, "bzip2: Compressed file ends unexpectedly; perhaps it is corrupted?"},
        {image, "7z: Open ERROR: Cannot open the file as [Dmg] archive"},
        {junkImage, "7z: Open ERROR: Cannot open the file as [Dmg] archive"},
        {junkZip,
         "unzip: End-of-central-directory signature not found.  Either this file is not a "
         "zipfile, or it constitutes one disk of a multi-part archive."}};
    for (const auto& [archive, reason] : refusals) {
        SCOPED_TRACE(archive.filename().string());
        const lf::Status refused = extract(archive);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().localizedDescription(), reason);
    }
}

TEST_F(ArchiveTest, BytesBeforeAZipsFirstEntryAreNoReasonToRefuseIt) {
    // As self-extracting zips are made: unzip warns, and ends as it does
    // for an entry it passed over, having unpacked every one. With an
    // entry it cannot decrypt, that is the reason, not the warning.
    ASSERT_TRUE(
        runIn(source(),
              "head -c 4000 /dev/urandom > ../junk && "
              "zip -qr ../plain.zip layerflow.app -x layerflow.app/resources/version.txt && "
              "cat ../junk ../plain.zip > ../sfx.zip && "
              "zip -q -P secret ../plain.zip layerflow.app/resources/version.txt"));
    lf::test::refuseTheEmptyZipPassword(folder_ / "plain.zip");
    ASSERT_TRUE(runIn(source(),
                      "cat ../junk ../plain.zip > ../encrypted.zip && rm ../junk ../plain.zip"));
    const fs::path whole = download() / "whole.zip", secret = download() / "secret.zip";
    fs::rename(folder_ / "sfx.zip", whole);
    fs::rename(folder_ / "encrypted.zip", secret);
    ASSERT_TRUE(extract(whole)) << lf::describe(extract(whole).error());
    EXPECT_TRUE(fs::is_regular_file(download() / "layerflow.app" / "layerflow"));
    fs::remove_all(download() / "layerflow.app");

    const lf::Status refused = extract(secret);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().localizedDescription(),
              "unzip passed over an entry it could not unpack: encrypted with a password, or "
              "compressed in a way it does not know");
    EXPECT_EQ(downloadHolds(), (std::vector<std::string>{"secret.zip", "whole.zip"}));
}

TEST_F(ArchiveTest, AnArchiveWithAnEntryPassedOverIsRefused) {
    // A file whose name a folder of a later entry takes: encrypted, unzip
    // passes it over with status 1 and no word, whether the folder has an
    // entry of its own or not; after the folder (empty or not), unzip -n
    // and 7z -aos pass it over with status 0. An empty folder after a file
    // of its name: neither tool makes it there.
    const fs::path file = folder_ / "file", full = folder_ / "full", empty = folder_ / "empty";
    fs::create_directories(file / "layerflow.app");
    fs::create_directories(full / "layerflow.app" / "lib");
    fs::create_directories(empty / "layerflow.app" / "lib");
    lf::test::writeFile(file / "layerflow.app" / "lib", "a library");
    lf::test::writeFile(full / "layerflow.app" / "lib" / "x", "");
    const std::string encrypted =
        "unzip passed over an entry it could not unpack: encrypted with a password, or "
        "compressed in a way it does not know";
    const std::string folderTookIt =
        "unzip did not unpack the archive's entry \"layerflow.app/lib\" as the file it is "
        "listed as";
    const std::pair<fs::path, std::string> refusals[] = {
        {make("a.zip",
              "zip -q -P secret ../a.zip layerflow.app/lib && cd ../full && "
              "zip -qr ../a.zip layerflow.app && mv ../a.zip %s",
              file),
         encrypted},
        {make("b.zip",
              "zip -q -P secret ../b.zip layerflow.app/lib && cd ../full && "
              "zip -qrD ../b.zip layerflow.app && mv ../b.zip %s",
              file),
         encrypted},
        {make("c.zip",
              "zip -qr ../c.zip layerflow.app && cd ../file && zip -q ../c.zip layerflow.app/lib "
              "&& mv ../c.zip %s",
              full),
         folderTookIt},
        {make("d.zip",
              "zip -qr ../d.zip layerflow.app && cd ../file && zip -q ../d.zip layerflow.app/lib "
              "&& mv ../d.zip %s",
              empty),
         folderTookIt},
        {make("e.dmg",
              "7z a -t7z ../e.7z layerflow.app >/dev/null && cd ../file && "
              "7z a -t7z ../e.7z layerflow.app/lib >/dev/null && mv ../e.7z %s",
              full),
         "7z" + folderTookIt.substr(5)},
        {make("f.zip",
              "zip -q ../f.zip layerflow.app/lib && cd ../empty && "
              "zip -q ../f.zip layerflow.app/lib && mv ../f.zip %s",
              file),
         "unzip: checkdir error:  f.zip/layerflow.app/lib exists but is not directory unable "
         "to process layerflow.app/lib/."},
        {make("g.dmg",
              "zip -q ../g.zip layerflow.app/lib && cd ../empty && "
              "zip -q ../g.zip layerflow.app/lib && mv ../g.zip %s",
              file),
         "7z: ERROR: Cannot create folder : errno=17 : File exists : g.dmg/layerflow.app/lib"}};
    for (const auto& refusal : {refusals[0], refusals[1]})
        lf::test::refuseTheEmptyZipPassword(refusal.first);
    for (const auto& [archive, reason] : refusals) {
        SCOPED_TRACE(archive.filename().string());
        const lf::Status refused = extract(archive);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().localizedDescription(), reason);
    }
    EXPECT_EQ(downloadHolds(), (std::vector<std::string>{"a.zip", "b.zip", "c.zip", "d.zip",
                                                         "e.dmg", "f.zip", "g.dmg"}));
}

TEST_F(ArchiveTest, NamesInAReasonAreShownEscaped) {
    // Names with escape sequences, a bell and a right-to-left override,
    // each in a refusal of its tool: too long a name for tar and 7z, a
    // file in the way of a folder for unzip, which takes the escapes out
    // itself but not the override.
    const std::string name = "E\x1B]0;OWNED\x07\x1B[31mRED\u202Egnp";
    const std::string escaped = "E\\x1B]0;OWNED\\x07\\x1B[31mRED\\u202Egnp";
    const std::string tooLong = name + std::string(250, 'x');
    const fs::path tar = make(
        "named.tar", "tar -cf %s --transform 's,/version.txt$,/" + tooLong + ",' layerflow.app");
    const fs::path image = make("named.dmg", "7z a -t7z -si'layerflow.app/" + tooLong +
                                                 "' %s < layerflow.app/layerflow > /dev/null");
    fs::create_directories(folder_ / "file" / "layerflow.app");
    fs::create_directories(folder_ / "folder" / "layerflow.app" / name);
    lf::test::writeFile(folder_ / "file" / "layerflow.app" / name, "");
    lf::test::writeFile(folder_ / "folder" / "layerflow.app" / name / "x", "");
    const fs::path zip = make("named.zip",
                              "zip -q ../named.zip 'layerflow.app/" + name +
                                  "' && cd ../folder && zip -q ../named.zip -r layerflow.app "
                                  "&& mv ../named.zip %s",
                              folder_ / "file");
    for (const fs::path& archive : {tar, image, zip}) {
        SCOPED_TRACE(archive.filename().string());
        const lf::Status refused = extract(archive);
        ASSERT_FALSE(refused);
        const std::string reason = refused.error().localizedDescription();
        EXPECT_TRUE(showsSafely(reason)) << reason;
        EXPECT_TRUE(showsSafely(lf::describe(refused.error()))) << "as logged";
        EXPECT_NE(reason.find("\\u202Egnp"), std::string::npos) << reason;
    }
    EXPECT_NE(extract(image).error().localizedDescription().find(escaped), std::string::npos);
}

TEST_F(ArchiveTest, WithSIGCHLDIgnoredAFailingToolIsAFailure) {
    // The kernel then reaps the tools as they end, and how each ended is
    // lost: that is never success. A cut archive, bytes that are no
    // archive, an encrypted disk image and a zip with one encrypted entry.
    ASSERT_TRUE(runIn(source(), "head -c 200000 /dev/urandom > layerflow.app/noise"));
    const fs::path cut = make("cut.tgz", "tar -czf %s layerflow.app");
    truncate(cut, 0.5);
    const fs::path junk = download() / "junk.zip";
    lf::test::writeFile(junk, "twenty-one bytes, no.");
    const fs::path image = make("secret.dmg", "7z a -t7z -psecret -mhe=on %s layerflow.app");
    const fs::path zip =
        make("one.zip",
             "zip -qr ../one.zip layerflow.app -x layerflow.app/noise && "
             "zip -q -P secret ../one.zip layerflow.app/noise && mv ../one.zip %s");
    lf::test::expectInChild(
        [&] {
            std::signal(SIGCHLD, SIG_IGN);
            for (const fs::path& archive : {cut, junk, image, zip})
                EXPECT_FALSE(extract(archive)) << archive.filename();
            EXPECT_EQ(downloadHolds(),
                      (std::vector<std::string>{"cut.tgz", "junk.zip", "one.zip", "secret.dmg"}));
        },
        {});
}

}  // namespace
