// A tool whose start is never reported: the start helper's program
// replaced by a wrapper that runs the tool in its place, handing it the
// report's pipe, which stays open as long as the tool runs. A tool that
// writes more than a pipe holds before anyone reads it then never ends;
// its time, a cancel and the quit end it, with its group, and refuse the
// unpacking.

#include "ArchiveTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/processes/HelperPrograms.h"
#include "updater/unpacking/OMAUArchiveListing.h"
#include "updater/unpacking/OMAUArchiveTool.h"
#include "updater/unpacking/OMAUWorkUnderWay.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using lf::test::ArchiveTest;

namespace {

// In place of the start helper for its life: a script that notes its
// process id (the tool's once it has run it in its place, and its
// group's) and runs the tool without a word.
class SilentStartHelper {
public:
    explicit SilentStartHelper(const fs::path& folder)
        : script_(folder / "silent-start"), started_(folder / "started") {
        lf::test::writeFile(script_, "#!/bin/sh\necho $$ >> '" + started_.string() +
                                         "'\np=\"$3\"\nshift 4\nexec \"$p\" \"$@\"\n");
        ::chmod(script_.c_str(), 0755);
        helper_.emplace(lf::kDieWithParent.variable, script_.string());
    }

    // The tools it started, as they noted themselves.
    std::vector<pid_t> started() const {
        std::vector<pid_t> pids;
        std::ifstream noted(started_);
        for (pid_t pid; noted >> pid;)
            pids.push_back(pid);
        return pids;
    }
    // Whether each tool it started is gone with everything in its group.
    bool nothingLeftRunning() const {
        for (const pid_t tool : started()) {
            if (!lf::test::processEnded(tool)) return false;
            for (const lf::test::GroupMember& member : lf::test::groupMembers(tool))
                if (member.state != 'Z' && member.state != 'X') return false;
        }
        return true;
    }

private:
    fs::path script_, started_;
    std::optional<lf::test::ScopedEnvironment> helper_;
};

// A zip whose names, listed, take far more than a pipe holds.
fs::path zipOfManyNames(const fs::path& folder) {
    const fs::path zip = folder / "App.zip";
    EXPECT_TRUE(lf::test::runIn(
        folder,
        "python3 -c 'import zipfile\n"
        "with zipfile.ZipFile(\"" +
            zip.string() +
            "\", \"w\") as z:\n"
            "    for i in range(3000): z.writestr(\"layerflow.app/%s%05d\" % (\"n\" * 40, "
            "i), \"\")'"));
    return zip;
}

TEST_F(ArchiveTest, AToolStartedWithoutAWordIsEndedWithinItsTime) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("python3"), "python3");
    const fs::path zip = zipOfManyNames(download());
    const SilentStartHelper helper(folder_.path());

    // A listing tool, blocked on its output.
    const lf::Status listed = OMAUReadToolLines(
        OMAUListingArguments(OMAUArchiveKind::ZIP, zip.string()).front(),
        [](std::string_view) { return true; }, 300ms);
    ASSERT_FALSE(listed);
    EXPECT_EQ(listed.error().code, kOMAUArchiveToolFailed);
    EXPECT_EQ(listed.error().localizedDescription(), "unzip did not start within 0.3 seconds");

    // An unpacking tool, blocked on its error output.
    OMAUUnpackingTool tool = lf::test::shellTool(folder_ / "out", "head -c 200000 /dev/zero >&2");
    fs::create_directories(tool.folder);
    tool.timeLimit = 300ms;
    const lf::Result<OMAUUnpackingOutcome> unpacked = OMAURunUnpackingTool(tool);
    ASSERT_FALSE(unpacked);
    EXPECT_EQ(unpacked.error().localizedDescription(), "sh did not start within 0.3 seconds");

    EXPECT_EQ(helper.started().size(), 2u);
    EXPECT_TRUE(helper.nothingLeftRunning());
}

TEST_F(ArchiveTest, ACancelOrAQuitEndsAToolStartedWithoutAWord) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("python3"), "python3");
    const fs::path zip = zipOfManyNames(download());
    const SilentStartHelper helper(folder_.path());
    // Once the tool runs, its start awaited.
    const auto onceStarted = [&] {
        const auto giveUp = std::chrono::steady_clock::now() + lf::test::kPatience;
        while (helper.started().empty() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(1ms);
    };

    std::stop_source stop;
    std::thread canceller([&] {
        onceStarted();
        stop.request_stop();
    });
    const lf::Status cancelled = OMAUExtractArchive(zip.string(), {}, {}, {}, stop.get_token());
    canceller.join();
    ASSERT_FALSE(cancelled);
    EXPECT_TRUE(cancelled.error().is(lf::kPOSIXErrorDomain, ECANCELED))
        << lf::describe(cancelled.error());
    EXPECT_TRUE(helper.nothingLeftRunning());

    // Quitting ends the unarchiver's unpacking, whose delegate hears nothing.
    fs::remove(folder_ / "started");
    auto recorder = std::make_shared<lf::test::UnarchiverRecorder>();
    auto unarchiver = OMAUUnarchiver::create();
    unarchiver->setDelegate(recorder);
    unarchiver->unarchivePath(zip.string());
    onceStarted();
    OMAUEndUnpackings();
    lf::MainQueue::shared()->drain();
    EXPECT_FALSE(recorder->finished.has_value());
    EXPECT_TRUE(helper.nothingLeftRunning());
    EXPECT_EQ(downloadHolds(), std::vector<std::string>{"App.zip"});
}

}  // namespace
