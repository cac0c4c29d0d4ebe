// The headless road end to end: layerflow DOCUMENT --save-to FOLDER on the
// tagged test documents, compared with the files their expected results
// list, and the errors that must write nothing.

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <sys/wait.h>

using namespace lf;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// Runs layerflow with `arguments`; its settings live in `scratch`, so the
// user's own never change what it writes.
Outcome runLayerflow(const std::vector<std::string>& arguments, const fs::path& scratch) {
    std::string command = "XDG_CONFIG_HOME=" + quoted((scratch / "config").string()) + " " +
                          quoted(LF_LAYERFLOW_PATH);
    for (const auto& argument : arguments) {
        command += ' ';
        command += quoted(argument);
    }
    command += " >";
    command +=
        quoted((scratch / "stdout").string()) + " 2>" + quoted((scratch / "stderr").string());
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = lf::test::readFile(scratch / "stdout");
    outcome.err = lf::test::readFile(scratch / "stderr");
    return outcome;
}

// Every file below `folder`, as paths relative to it.
std::set<std::string> filesBelow(const fs::path& folder) {
    std::set<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; ++it)
        if (it->is_regular_file()) files.insert(fs::relative(it->path(), folder).string());
    return files;
}

std::set<std::string> lines(const std::string& text) {
    std::set<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.insert(line);
    return result;
}

// The width and height a PNG's header gives.
std::pair<uint32_t, uint32_t> pngSize(const fs::path& path) {
    const std::string bytes = lf::test::readFile(path);
    if (bytes.size() < 24) return {0, 0};
    auto bigEndian = [&](size_t offset) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
        return value;
    };
    return {bigEndian(16), bigEndian(20)};
}

class HeadlessExport : public ::testing::Test {
protected:
    void SetUp() override { LF_REQUIRE_SHARED_DOCUMENTS(); }

    // Runs layerflow on one document and checks that it failed with the
    // error and wrote nothing.
    void expectFailure(const fs::path& document, const std::string& domainAndCode) {
        const fs::path out = scratch / "out";
        Outcome outcome =
            runLayerflow({document.string(), "--save-to", out.string()}, scratch.path());
        EXPECT_EQ(outcome.status, 1) << document;
        EXPECT_NE(outcome.err.find(domainAndCode), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(filesBelow(out).empty()) << document;
    }

    test::TemporaryDirectory scratch;
};

}  // namespace

TEST_F(HeadlessExport, TaggedDocumentsWriteExactlyTheirExpectedFiles) {
    const fs::path tagged = test::sharedFile("psd-tagged");
    std::vector<fs::path> expectations;
    for (const auto& entry : fs::directory_iterator(tagged / "expected"))
        if (entry.path().extension() == ".json") expectations.push_back(entry.path());
    std::sort(expectations.begin(), expectations.end());
    ASSERT_EQ(expectations.size(), 14u);

    for (const auto& expectation : expectations) {
        SCOPED_TRACE(expectation.filename().string());
        const nlohmann::json expected = nlohmann::json::parse(lf::test::readFile(expectation));
        const fs::path document = tagged / expected["document"].get<std::string>();
        if (expected["result"] != "success") {
            const auto& error = expected["result"]["error"];
            expectFailure(document, error["domain"].get<std::string>() + " " +
                                        std::to_string(error["code"].get<int>()));
            continue;
        }
        const fs::path out = scratch / expectation.stem();
        Outcome outcome =
            runLayerflow({document.string(), "--save-to", out.string()}, scratch.path());
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        std::set<std::string> paths, printed;
        for (const auto& output : expected["outputs"]) {
            const std::string path = output["path"];
            paths.insert(path);
            printed.insert((out / path).string());
            if (output["format"] == "png") {
                EXPECT_EQ(pngSize(out / path), std::make_pair(output["width"].get<uint32_t>(),
                                                              output["height"].get<uint32_t>()))
                    << path;
            }
        }
        EXPECT_EQ(filesBelow(out), paths);
        EXPECT_EQ(lines(outcome.out), printed);
        // Nothing beside the folder: names that would leave it are refused.
        for (const auto& entry : fs::directory_iterator(scratch.path())) {
            const fs::path name = entry.path().filename();
            EXPECT_TRUE(!entry.is_regular_file() || name == "stdout" || name == "stderr") << name;
        }
    }
}

TEST_F(HeadlessExport, UnreadableAndUnsupportedDocumentsWriteNothing) {
    const fs::path notADocument = scratch / "notes.psd";
    test::writeFile(notADocument, "these are notes, not layers");
    expectFailure(notADocument, "QFExportFlowErrorDomain -10");
    expectFailure(test::sharedFile("psd/colormodes/4x4_16bit_cmyk.psd"),
                  "QFExportFlowErrorDomain -11");
    expectFailure(test::sharedFile("psd/colormodes/4x4_32bit_rgb.psd"),
                  "QFExportFlowErrorDomain -11");
    expectFailure(scratch / "missing.psd", "NSPOSIXErrorDomain 2:");
    // A document that fails ends the run, whatever came before it.
    const fs::path out = scratch / "out";
    Outcome outcome = runLayerflow(
        {test::sharedFile("psd-tagged/01-plain.psd").string(),
         test::sharedFile("psd/colormodes/4x4_16bit_cmyk.psd").string(), "--save-to", out.string()},
        scratch.path());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(filesBelow(out).empty());
}

// A document of 64 GiB is read where its layers are, never whole: a
// tagged document followed by a hole exports as the document alone does;
// a valid header and nothing else fails with what it holds, status 1.
TEST_F(HeadlessExport, ADocumentOf64GiBIsReadOnlyWhereItsLayersAre) {
    constexpr uintmax_t k64GiB = uintmax_t{64} << 30;
    const fs::path big = scratch / "big.psd", out = scratch / "big";
    fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"), big);
    fs::resize_file(big, k64GiB);
    Outcome outcome = runLayerflow({big.string(), "--save-to", out.string()}, scratch.path());
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(filesBelow(out), std::set<std::string>{"pixel.png"});

    fs::resize_file(big, 26);
    fs::resize_file(big, k64GiB);
    expectFailure(big, "QFExportFlowErrorDomain -30");
}

// A run keeps its documents open while it reads them: a folder of more
// documents than the soft limit of open files it was started with exports.
TEST_F(HeadlessExport, AFolderOfMoreDocumentsThanTheSoftLimitOfOpenFilesExports) {
    const fs::path documents = scratch / "documents", out = scratch / "out";
    fs::create_directory(documents);
    for (int i = 0; i < 80; ++i)
        fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"),
                      documents / ("d" + std::to_string(i) + ".psd"));
    const auto [status, output] = test::runCommand(
        "ulimit -Sn 48 && XDG_CONFIG_HOME=" + quoted((scratch / "config").string()) + " " +
        quoted(LF_LAYERFLOW_PATH) + " " + quoted(documents.string()) + " --save-to " +
        quoted(out.string()));
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(filesBelow(out), std::set<std::string>{"pixel.png"});
}

// At the limit of open files an export fails, and says why in words, not
// in the keys of its texts: under every limit from one where hardly a file
// opens up to one where the export succeeds, the error line holds no key
// (three or more dotted names: "flow.output.error.cannot-save"), and some
// limit makes the write of the outputs fail.
TEST_F(HeadlessExport, AtTheLimitOfOpenFilesTheErrorIsInWords) {
    // Their checks open a pipe to find out whether memory may be read, and
    // take what they cannot read for a fault: at the limit every check fails.
    if (kSanitized) GTEST_SKIP() << "the sanitizers need descriptors of their own";
    const std::regex key(R"([a-z0-9-]+(\.[a-z0-9-]+){2,})");
    bool writeFailed = false, succeeded = false;
    for (int limit = 4; limit <= 64; ++limit) {
        const fs::path out = scratch / ("out" + std::to_string(limit));
        // prlimit sets the limit for the export alone: the shell's own
        // redirections need descriptors past a small limit.
        const auto [status, output] = test::runCommand(
            "XDG_CONFIG_HOME=" + quoted((scratch / "config").string()) +
            " prlimit --nofile=" + std::to_string(limit) + " -- " + quoted(LF_LAYERFLOW_PATH) +
            " " + quoted(test::sharedFile("psd-tagged/05-folders.psd").string()) + " --save-to " +
            quoted(out.string()));
        succeeded = status == 0;
        if (succeeded) break;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("layerflow: ")) continue;
            EXPECT_FALSE(std::regex_search(line, key)) << "limit " << limit << ": " << line;
            writeFailed = writeFailed ||
                          line.find("cannot be saved in the output folder") != std::string::npos;
        }
    }
    EXPECT_TRUE(writeFailed);
    EXPECT_TRUE(succeeded);
}

TEST_F(HeadlessExport, BadArgumentsShowTheUsage) {
    const std::string document = test::sharedFile("psd-tagged/01-plain.psd").string();
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--save-to", (scratch / "out").string()},
             {document, "--frobnicate", "--save-to", (scratch / "out").string()}}) {
        Outcome outcome = runLayerflow(arguments, scratch.path());
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.err.find("usage: layerflow DOCUMENT... --save-to FOLDER"),
                  std::string::npos);
    }
    const fs::path text = scratch / "notes.txt";
    test::writeFile(text, "x");
    Outcome outcome =
        runLayerflow({text.string(), "--save-to", (scratch / "out").string()}, scratch.path());
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find("is not a Photoshop document"), std::string::npos);
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

// A full disk: the export runs in a mount namespace of its own, into a
// small file system there (a tmpfs) that is full; its error names the
// output and the output folder and gives the reason, and nothing of the
// output is left there, not even the output folder the export made.
// Skipped where no user and mount namespaces can be made.
TEST_F(HeadlessExport, AFullDiskNamesTheOutputFolder) {
    if (test::runCommand("unshare -Urm true").first != 0)
        GTEST_SKIP() << "no user and mount namespaces here to mount a small file system in";
    const fs::path disk = scratch / "disk", out = disk / "out";
    fs::create_directory(disk);
    const std::string script =
        "mount -t tmpfs -o size=64k tmpfs " + quoted(disk.string()) + " && (cat /dev/zero > " +
        quoted((disk / "filler").string()) +
        ") 2>/dev/null; XDG_CONFIG_HOME=" + quoted((scratch / "config").string()) + " " +
        quoted(LF_LAYERFLOW_PATH) + " " +
        quoted(test::sharedFile("psd-tagged/01-plain.psd").string()) + " --save-to " +
        quoted(out.string()) + "; echo \"status $?\"; ls -A " + quoted(disk.string());
    const auto [status, output] = test::runCommand("unshare -Urm sh -c " + quoted(script));
    EXPECT_EQ(status, 0) << output;
    const std::string error =
        "layerflow: NSPOSIXErrorDomain 28: “pixel.png” cannot be saved in the "
        "output folder “" +
        out.string() + "”: No space left on device\n";
    // Its status follows, and the disk holds only what filled it.
    EXPECT_TRUE(output.ends_with(error + "status 1\nfiller\n")) << output;
}
